#include "Device.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include <spatialaudioclient.h>

#include "CallScope.h"
#include "RendererCore.h"
#include "SpatialClient.h"
#include "TaskMemory.h"

namespace standin {
namespace detail {

HRESULT Device::QueryInterface(REFIID riid, void** ppv) {
    return AnswerQueryInterface(riid, ppv,
                                {{__uuidof(IUnknown), static_cast<IUnknown*>(this)},
                                 {__uuidof(IMMDevice), static_cast<IMMDevice*>(this)}});
}

HRESULT Device::Activate(REFIID iid, DWORD, PROPVARIANT* pActivationParams, void** ppInterface) {
    STANDIN_CALL_HRESULT("IMMDevice::Activate");
    if (ppInterface == nullptr) {
        return E_POINTER;
    }
    *ppInterface = nullptr;
    if (iid != __uuidof(ISpatialAudioClient)) {
        // Windows activates more (IAudioClient and others); the stand-in only the spatial client.
        NotImplemented("IMMDevice::Activate of an interface other than ISpatialAudioClient");
        return E_NOINTERFACE;
    }
    IUnknown* pClient = nullptr;
    const HRESULT hr = ActivateSpatialClient(m_pEndpoint, pActivationParams, false, S_OK, &pClient);
    *ppInterface = pClient;  // the client's IUnknown is its ISpatialAudioClient
    return hr;
}

HRESULT Device::OpenPropertyStore(DWORD, IPropertyStore** ppProperties) {
    STANDIN_CALL_HRESULT("IMMDevice::OpenPropertyStore");
    if (ppProperties != nullptr) {
        *ppProperties = nullptr;
    }
    return NotImplemented("IMMDevice::OpenPropertyStore");
}

HRESULT Device::GetId(LPWSTR* ppstrId) {
    STANDIN_CALL_HRESULT("IMMDevice::GetId");
    if (ppstrId == nullptr) {
        return E_POINTER;
    }
    const std::wstring& id = m_pEndpoint->Config().id;
    auto* pszId = static_cast<LPWSTR>(AllocateTaskMemory((id.size() + 1) * sizeof(WCHAR)));
    if (pszId == nullptr) {
        *ppstrId = nullptr;
        return E_OUTOFMEMORY;
    }
    std::memcpy(pszId, id.c_str(), (id.size() + 1) * sizeof(WCHAR));
    *ppstrId = pszId;
    return S_OK;
}

HRESULT Device::GetState(DWORD* pdwState) {
    STANDIN_CALL_HRESULT("IMMDevice::GetState");
    if (pdwState == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
    *pdwState = m_pEndpoint->LostLocked() ? DEVICE_STATE_NOTPRESENT : DEVICE_STATE_ACTIVE;
    return S_OK;
}

}  // namespace detail
}  // namespace standin
