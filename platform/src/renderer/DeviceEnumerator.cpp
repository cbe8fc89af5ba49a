// IMMDeviceEnumerator, the class that CoCreateInstance(__uuidof(MMDeviceEnumerator)) creates. It
// knows one render endpoint (the default, for every role) or none, and no capture endpoints.

#include <windows.h>

#include <mmdeviceapi.h>

#include <mutex>

#include "CallScope.h"
#include "ClassRegistry.h"
#include "ComObject.h"
#include "Device.h"
#include "RendererCore.h"

namespace standin {
namespace detail {
namespace {

class DeviceEnumerator final : public ComObject<IMMDeviceEnumerator> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return AnswerQueryInterface(
            riid, ppv,
            {{__uuidof(IUnknown), static_cast<IUnknown*>(this)},
             {__uuidof(IMMDeviceEnumerator), static_cast<IMMDeviceEnumerator*>(this)}});
    }

    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD,
                                                 IMMDeviceCollection** ppDevices) override {
        STANDIN_CALL_HRESULT("IMMDeviceEnumerator::EnumAudioEndpoints");
        if (ppDevices != nullptr) {
            *ppDevices = nullptr;
        }
        return NotImplemented("IMMDeviceEnumerator::EnumAudioEndpoints");
    }

    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow dataFlow, ERole role,
                                                      IMMDevice** ppEndpoint) override {
        STANDIN_CALL_HRESULT("IMMDeviceEnumerator::GetDefaultAudioEndpoint");
        if (ppEndpoint == nullptr) {
            return E_POINTER;
        }
        *ppEndpoint = nullptr;
        if ((dataFlow != eRender && dataFlow != eCapture) || role < eConsole ||
            role >= ERole_enum_count) {
            return E_INVALIDARG;
        }
        if (dataFlow == eCapture) {
            return E_NOTFOUND;
        }
        std::shared_ptr<EndpointState> endpoint;
        {
            std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
            endpoint = RendererCore::Instance().DefaultEndpointLocked();
        }
        if (!endpoint) {
            return E_NOTFOUND;
        }
        *ppEndpoint = new Device(std::move(endpoint));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR pwstrId, IMMDevice** ppDevice) override {
        STANDIN_CALL_HRESULT("IMMDeviceEnumerator::GetDevice");
        if (ppDevice == nullptr || pwstrId == nullptr) {
            return E_POINTER;
        }
        *ppDevice = nullptr;
        std::shared_ptr<EndpointState> endpoint;
        {
            std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
            endpoint = RendererCore::Instance().DefaultEndpointLocked();
        }
        if (!endpoint || !SameDeviceId(endpoint->Config().id, pwstrId)) {
            return E_NOTFOUND;
        }
        *ppDevice = new Device(std::move(endpoint));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient*) override {
        STANDIN_CALL_HRESULT("IMMDeviceEnumerator::RegisterEndpointNotificationCallback");
        return NotImplemented("IMMDeviceEnumerator::RegisterEndpointNotificationCallback");
    }

    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient*) override {
        STANDIN_CALL_HRESULT("IMMDeviceEnumerator::UnregisterEndpointNotificationCallback");
        return NotImplemented("IMMDeviceEnumerator::UnregisterEndpointNotificationCallback");
    }

private:
    ~DeviceEnumerator() override = default;
};

HRESULT CreateDeviceEnumerator(REFIID in_riid, void** out_ppv) {
    // Answered without a logged QueryInterface: the client made one call, CoCreateInstance.
    if (in_riid != __uuidof(IUnknown) && in_riid != __uuidof(IMMDeviceEnumerator)) {
        return E_NOINTERFACE;
    }
    *out_ppv = static_cast<IMMDeviceEnumerator*>(new DeviceEnumerator());
    return S_OK;
}

struct Registration {
    Registration() { RegisterComClass(__uuidof(MMDeviceEnumerator), &CreateDeviceEnumerator); }
};
const Registration g_registration;

}  // namespace
}  // namespace detail
}  // namespace standin
