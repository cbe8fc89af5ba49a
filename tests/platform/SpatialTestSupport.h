// Helpers for tests that talk to the spatial renderer through the Windows API: a counted-reference
// holder, an event holder, and the usual steps of opening a client and a stream.
#pragma once

#include <windows.h>

#include <mmdeviceapi.h>
#include <spatialaudioclient.h>

#include <cstdint>

namespace testing_support {

// Holds one counted reference; releases it when replaced or destroyed.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out-parameters: releases what is held first.
    T** Put() {
        Reset();
        return &m_p;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    void Reset() {
        if (m_p != nullptr) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }

private:
    T* m_p = nullptr;
};

// An auto-reset event, closed when the holder goes.
class EventHolder {
public:
    EventHolder() : m_hEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~EventHolder() { Close(); }
    EventHolder(const EventHolder&) = delete;
    EventHolder& operator=(const EventHolder&) = delete;
    HANDLE Get() const { return m_hEvent; }
    void Close() {
        if (m_hEvent != nullptr) {
            CloseHandle(m_hEvent);
            m_hEvent = nullptr;
        }
    }

private:
    HANDLE m_hEvent;
};

// The default render endpoint's spatial-audio client, activated without parameters.
inline HRESULT OpenDefaultClient(ComRef<ISpatialAudioClient>& out_client,
                                 const PROPVARIANT* in_pParams = nullptr) {
    ComRef<IMMDeviceEnumerator> enumerator;
    HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                  __uuidof(IMMDeviceEnumerator), enumerator.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    ComRef<IMMDevice> device;
    hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Put());
    if (FAILED(hr)) {
        return hr;
    }
    return device->Activate(__uuidof(ISpatialAudioClient), CLSCTX_INPROC_SERVER,
                            const_cast<PROPVARIANT*>(in_pParams), out_client.PutVoid());
}

// The first format the client offers (valid while in_client lives).
inline const WAVEFORMATEX* FirstFormat(ISpatialAudioClient* in_pClient,
                                       ComRef<IAudioFormatEnumerator>& io_enumerator) {
    WAVEFORMATEX* pFormat = nullptr;
    if (FAILED(in_pClient->GetSupportedAudioObjectFormatEnumerator(io_enumerator.Put())) ||
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
                              ComRef<ISpatialAudioObjectRenderStream>& out_stream) {
    ComRef<IAudioFormatEnumerator> formats;
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
    return in_pClient->ActivateSpatialAudioStream(
        &variant, __uuidof(ISpatialAudioObjectRenderStream), out_stream.PutVoid());
}

}  // namespace testing_support
