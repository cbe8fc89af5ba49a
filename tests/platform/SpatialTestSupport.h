// Helpers for tests that talk to the spatial renderer through the Windows API: an event holder and
// the usual steps of opening a client and a stream.
#pragma once

#include <windows.h>

#include <mmdeviceapi.h>
#include <spatialaudioclient.h>

#include <cstdint>

#include "ComPtr.h"
#include "HandleHolder.h"

namespace testing_support {

// An auto-reset event, closed when the holder goes.
class EventHolder {
public:
    EventHolder() { m_event.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr)); }
    HANDLE Get() const { return m_event.Get(); }
    void Close() { m_event.Reset(); }

private:
    HandleHolder m_event;
};

// The default render endpoint's spatial-audio client, activated without parameters.
inline HRESULT OpenDefaultClient(ComPtr<ISpatialAudioClient>& out_client,
                                 const PROPVARIANT* in_pParams = nullptr) {
    ComPtr<IMMDeviceEnumerator> enumerator;
    HRESULT hr =
        CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                         __uuidof(IMMDeviceEnumerator), enumerator.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr)) {
        return hr;
    }
    ComPtr<IMMDevice> device;
    hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
        return hr;
    }
    return device->Activate(__uuidof(ISpatialAudioClient), CLSCTX_INPROC_SERVER,
                            const_cast<PROPVARIANT*>(in_pParams),
                            out_client.ReleaseAndGetVoidAddressOf());
}

// The first format the client offers (valid while in_client lives).
inline const WAVEFORMATEX* FirstFormat(ISpatialAudioClient* in_pClient,
                                       ComPtr<IAudioFormatEnumerator>& io_enumerator) {
    WAVEFORMATEX* pFormat = nullptr;
    if (FAILED(in_pClient->GetSupportedAudioObjectFormatEnumerator(
            io_enumerator.ReleaseAndGetAddressOf())) ||
        FAILED(io_enumerator->GetFormat(0, &pFormat))) {
        return nullptr;
    }
    return pFormat;
}

struct StreamRequest {
    const WAVEFORMATEX* pFormat = nullptr;  // null: the first offered format
    uint32_t uStaticMask = 0x1FFE;
    uint32_t uMinDynamic = 0;
    uint32_t uMaxDynamic = 0;
    HANDLE hEvent = nullptr;
};

inline HRESULT ActivateStream(ISpatialAudioClient* in_pClient, const StreamRequest& in_request,
                              ComPtr<ISpatialAudioObjectRenderStream>& out_stream) {
    ComPtr<IAudioFormatEnumerator> formats;
    const WAVEFORMATEX* pFormat =
        in_request.pFormat != nullptr ? in_request.pFormat : FirstFormat(in_pClient, formats);
    SpatialAudioObjectRenderStreamActivationParams params = {};
    params.ObjectFormat = pFormat;
    params.StaticObjectTypeMask = static_cast<AudioObjectType>(in_request.uStaticMask);
    params.MinDynamicObjectCount = in_request.uMinDynamic;
    params.MaxDynamicObjectCount = in_request.uMaxDynamic;
    params.Category = AudioCategory_GameEffects;
    params.EventHandle = in_request.hEvent;
    params.NotifyObject = nullptr;
    PROPVARIANT variant;
    PropVariantInit(&variant);
    variant.vt = VT_BLOB;
    variant.blob.cbSize = sizeof(params);
    variant.blob.pBlobData = reinterpret_cast<BYTE*>(&params);
    return in_pClient->ActivateSpatialAudioStream(&variant,
                                                  __uuidof(ISpatialAudioObjectRenderStream),
                                                  out_stream.ReleaseAndGetVoidAddressOf());
}

}  // namespace testing_support
