#include "ActivationHandler.h"

#include <roapi.h>
#include <spatialaudioclient.h>
#include <windows.media.devices.h>

#include <new>
#include <utility>

#include "ClientActivationParams.h"
#include "PropVariantHolder.h"
#include "SpatialStreamOpener.h"

namespace {

using ABI::Windows::Media::Devices::AudioDeviceRole_Default;
using ABI::Windows::Media::Devices::IMediaDeviceStatics;

// The stream the Universal Windows build opens once the client arrives: no static objects, every
// dynamic object granted (capped at 32), a start that must succeed.
constexpr SpatialStreamRequest kStreamRequest = {0, DynamicObjectUse::Required, true, 1, true};

constexpr int32_t kActivationMinorVersion3 = 1;

constexpr wchar_t kMediaDeviceClass[] = RuntimeClass_Windows_Media_Devices_MediaDevice;

}  // namespace

ActivationHandler* ActivationHandler::Create(ZV::IPluginMemAlloc* in_pAllocator,
                                             uint32_t in_uEngineSampleRate) {
    if (in_pAllocator == nullptr) {
        return nullptr;
    }
    void* pMemory = in_pAllocator->Malloc(sizeof(ActivationHandler));
    if (pMemory == nullptr) {
        return nullptr;
    }
    return new (pMemory) ActivationHandler(in_pAllocator, in_uEngineSampleRate);
}

ActivationHandler::ActivationHandler(ZV::IPluginMemAlloc* in_pAllocator,
                                     uint32_t in_uEngineSampleRate)
    : MixerRenderStream(in_uEngineSampleRate), m_pAllocator(in_pAllocator) {
    // Aggregated: the marshaler's IMarshal counts on this object. Without it the handler still
    // works in-process; its IMarshal methods then answer E_OUTOFMEMORY.
    CoCreateFreeThreadedMarshaler(static_cast<IMarshal*>(this),
                                  m_marshaler.ReleaseAndGetAddressOf());
}

ActivationHandler::~ActivationHandler() {
    // The stream and the client go first (MixerRenderStream's destructor), then the marshaler
    // and the device id with the members.
    Drop();
}

HRESULT ActivationHandler::StartActivation() {
    BeginActivation();
    HRESULT hr = ReadDefaultRenderId();
    if (FAILED(hr)) {
        Fail(StreamClosed);
        return hr;
    }

    // Without task memory for the activation record the client is activated without one.
    PropVariantHolder activationParams;
    BuildClientActivationParams(kActivationMinorVersion3, activationParams);
    UINT32 uLength = 0;
    const PCWSTR pszDeviceId = WindowsGetStringRawBuffer(m_deviceId.Get(), &uLength);
    ComPtr<IActivateAudioInterfaceAsyncOperation> operation;
    // The platform holds its own references (to the handler among them) until the completion has
    // run; the operation is not needed here.
    hr = ActivateAudioInterfaceAsync(pszDeviceId, __uuidof(ISpatialAudioClient),
                                     activationParams.IsEmpty() ? nullptr : activationParams.Get(),
                                     static_cast<IActivateAudioInterfaceCompletionHandler*>(this),
                                     operation.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
        Fail(StreamClosed);
    }
    return hr;
}

HRESULT ActivationHandler::ReadDefaultRenderId() {
    HStringHolder className;
    HRESULT hr = WindowsCreateString(
        kMediaDeviceClass,
        static_cast<UINT32>(sizeof(kMediaDeviceClass) / sizeof(kMediaDeviceClass[0]) - 1),
        className.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
        return hr;
    }
    ComPtr<IMediaDeviceStatics> statics;
    hr = RoGetActivationFactory(className.Get(), __uuidof(IMediaDeviceStatics),
                                statics.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr) || !statics) {
        return FAILED(hr) ? hr : E_NOINTERFACE;
    }
    hr = statics->GetDefaultAudioRenderId(AudioDeviceRole_Default,
                                          m_deviceId.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr) && !m_deviceId) {
        hr = E_FAIL;
    }
    return hr;
}

HRESULT ActivationHandler::ActivateCompleted(IActivateAudioInterfaceAsyncOperation* in_pOperation) {
    HRESULT hrActivation = E_FAIL;
    ComPtr<IUnknown> activated;
    if (in_pOperation == nullptr || FAILED(in_pOperation->GetActivateResult(
                                        &hrActivation, activated.ReleaseAndGetAddressOf()))) {
        Fail(StreamClosed);
        return S_OK;
    }
    // A failed activation leaves the state as it was: StreamClosed, no objects.
    SpatialStream opened;
    if (FAILED(hrActivation) || FAILED(activated.As(opened.client)) || !opened.client) {
        Fail(StreamClosed);
        return S_OK;
    }
    Conclude(OpenSpatialStreamOnClient(AtEngineRate(kStreamRequest), opened), std::move(opened));
    CompleteActivation();
    return S_OK;
}

void ActivationHandler::Fail(StreamState in_eState) {
    Drop(in_eState);
    CompleteActivation();
}

HRESULT ActivationHandler::QueryInterface(REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IAgileObject) ||
        riid == __uuidof(IMarshal)) {
        *ppvObject = static_cast<IMarshal*>(this);
    } else if (riid == __uuidof(IActivateAudioInterfaceCompletionHandler)) {
        *ppvObject = static_cast<IActivateAudioInterfaceCompletionHandler*>(this);
    } else {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG ActivationHandler::AddRef() {
    return m_uRefs.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG ActivationHandler::Release() {
    const ULONG uRefs = m_uRefs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (uRefs == 0) {
        ZV::IPluginMemAlloc* pAllocator = m_pAllocator;
        this->~ActivationHandler();
        pAllocator->Free(this);
    }
    return uRefs;
}

bool ActivationHandler::Marshaler(ComPtr<IMarshal>& out_rMarshaler) {
    return m_marshaler && SUCCEEDED(m_marshaler.As(out_rMarshaler)) && out_rMarshaler;
}

HRESULT ActivationHandler::GetUnmarshalClass(REFIID riid, void* pv, DWORD dwDestContext,
                                             void* pvDestContext, DWORD mshlflags, CLSID* pCid) {
    ComPtr<IMarshal> marshaler;
    return Marshaler(marshaler) ? marshaler->GetUnmarshalClass(riid, pv, dwDestContext,
                                                               pvDestContext, mshlflags, pCid)
                                : E_OUTOFMEMORY;
}

HRESULT ActivationHandler::GetMarshalSizeMax(REFIID riid, void* pv, DWORD dwDestContext,
                                             void* pvDestContext, DWORD mshlflags, DWORD* pSize) {
    ComPtr<IMarshal> marshaler;
    return Marshaler(marshaler) ? marshaler->GetMarshalSizeMax(riid, pv, dwDestContext,
                                                               pvDestContext, mshlflags, pSize)
                                : E_OUTOFMEMORY;
}

HRESULT ActivationHandler::MarshalInterface(IStream* pStm, REFIID riid, void* pv,
                                            DWORD dwDestContext, void* pvDestContext,
                                            DWORD mshlflags) {
    ComPtr<IMarshal> marshaler;
    return Marshaler(marshaler) ? marshaler->MarshalInterface(pStm, riid, pv, dwDestContext,
                                                              pvDestContext, mshlflags)
                                : E_OUTOFMEMORY;
}

HRESULT ActivationHandler::UnmarshalInterface(IStream* pStm, REFIID riid, void** ppv) {
    ComPtr<IMarshal> marshaler;
    if (!Marshaler(marshaler)) {
        if (ppv != nullptr) {
            *ppv = nullptr;
        }
        return E_OUTOFMEMORY;
    }
    return marshaler->UnmarshalInterface(pStm, riid, ppv);
}

HRESULT ActivationHandler::ReleaseMarshalData(IStream* pStm) {
    ComPtr<IMarshal> marshaler;
    return Marshaler(marshaler) ? marshaler->ReleaseMarshalData(pStm) : E_OUTOFMEMORY;
}

HRESULT ActivationHandler::DisconnectObject(DWORD dwReserved) {
    ComPtr<IMarshal> marshaler;
    return Marshaler(marshaler) ? marshaler->DisconnectObject(dwReserved) : E_OUTOFMEMORY;
}
