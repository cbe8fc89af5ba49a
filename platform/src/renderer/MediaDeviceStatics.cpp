// The Windows Runtime side of the asynchronous route: RoGetActivationFactory for the class
// "Windows.Media.Devices.MediaDevice", whose statics name the default render device by its
// device-interface path. Only GetDefaultAudioRenderId is implemented.

#include <windows.h>

#include <mmdeviceapi.h>
#include <roapi.h>
#include <windows.media.devices.h>

#include <mutex>
#include <string>

#include "CallScope.h"
#include "ClassRegistry.h"
#include "ComObject.h"
#include "HStringInternal.h"
#include "RendererCore.h"

namespace standin {
namespace detail {
namespace {

using ABI::Windows::Media::Devices::AudioDeviceRole;
using ABI::Windows::Media::Devices::AudioDeviceRole_Communications;
using ABI::Windows::Media::Devices::AudioDeviceRole_Default;
using ABI::Windows::Media::Devices::IMediaDeviceStatics;

// The activation factory of MediaDevice. It holds nothing; any thread may call it (it is agile).
class MediaDeviceStatics final : public ComObject<IMediaDeviceStatics> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return AnswerQueryInterface(riid, ppv,
                                    {{__uuidof(IUnknown), static_cast<IUnknown*>(this)},
                                     {__uuidof(IInspectable), static_cast<IInspectable*>(this)},
                                     {__uuidof(IAgileObject), static_cast<IUnknown*>(this)},
                                     {__uuidof(IMediaDeviceStatics), this}});
    }

    HRESULT STDMETHODCALLTYPE GetIids(ULONG* iidCount, IID** iids) override {
        STANDIN_CALL_HRESULT("IInspectable::GetIids");
        if (iidCount != nullptr) {
            *iidCount = 0;
        }
        if (iids != nullptr) {
            *iids = nullptr;
        }
        return NotImplemented("IInspectable::GetIids");
    }
    HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING* className) override {
        STANDIN_CALL_HRESULT("IInspectable::GetRuntimeClassName");
        if (className != nullptr) {
            *className = nullptr;
        }
        return NotImplemented("IInspectable::GetRuntimeClassName");
    }
    HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel* trustLevel) override {
        STANDIN_CALL_HRESULT("IInspectable::GetTrustLevel");
        if (trustLevel == nullptr) {
            return E_POINTER;
        }
        *trustLevel = BaseTrust;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetAudioCaptureSelector(HSTRING* selector) override {
        return Unimplemented("IMediaDeviceStatics::GetAudioCaptureSelector", selector);
    }
    HRESULT STDMETHODCALLTYPE GetAudioRenderSelector(HSTRING* selector) override {
        return Unimplemented("IMediaDeviceStatics::GetAudioRenderSelector", selector);
    }
    HRESULT STDMETHODCALLTYPE GetVideoCaptureSelector(HSTRING* selector) override {
        return Unimplemented("IMediaDeviceStatics::GetVideoCaptureSelector", selector);
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioCaptureId(AudioDeviceRole,
                                                       HSTRING* deviceId) override {
        return Unimplemented("IMediaDeviceStatics::GetDefaultAudioCaptureId", deviceId);
    }

    // Every role names the one default render endpoint; with none, E_NOTFOUND and no string.
    HRESULT STDMETHODCALLTYPE GetDefaultAudioRenderId(AudioDeviceRole role,
                                                      HSTRING* deviceId) override {
        STANDIN_CALL_HRESULT("IMediaDeviceStatics::GetDefaultAudioRenderId");
        if (deviceId == nullptr) {
            return E_POINTER;
        }
        *deviceId = nullptr;
        if (role != AudioDeviceRole_Default && role != AudioDeviceRole_Communications) {
            return E_INVALIDARG;
        }
        std::shared_ptr<EndpointState> endpoint;
        {
            std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
            endpoint = RendererCore::Instance().DefaultEndpointLocked();
        }
        if (!endpoint) {
            return E_NOTFOUND;
        }
        return CreateHString(endpoint->DeviceInterfacePath(), deviceId);
    }

private:
    ~MediaDeviceStatics() override = default;

    static HRESULT Unimplemented(const char* in_pszMethod, HSTRING* out_phString) {
        CallScope scope(in_pszMethod);
        if (out_phString != nullptr) {
            *out_phString = nullptr;
        }
        return scope.Failed() ? scope.Fault() : NotImplemented(in_pszMethod);
    }
};

}  // namespace
}  // namespace detail
}  // namespace standin

extern "C" {

HRESULT WINAPI RoGetActivationFactory(HSTRING activatableClassId, REFIID iid, void** factory) {
    STANDIN_CALL_HRESULT("RoGetActivationFactory");
    if (factory == nullptr) {
        return E_POINTER;
    }
    *factory = nullptr;
    if (!standin::detail::ComUsableOnThisThread()) {
        return CO_E_NOTINITIALIZED;
    }
    if (standin::detail::HStringText(activatableClassId) !=
        RuntimeClass_Windows_Media_Devices_MediaDevice) {
        return REGDB_E_CLASSNOTREG;
    }
    // Answered without a logged QueryInterface: the client made one call.
    using ABI::Windows::Media::Devices::IMediaDeviceStatics;
    if (iid != __uuidof(IUnknown) && iid != __uuidof(IInspectable) &&
        iid != __uuidof(IAgileObject) && iid != __uuidof(IMediaDeviceStatics)) {
        return E_NOINTERFACE;
    }
    *factory = static_cast<IMediaDeviceStatics*>(new standin::detail::MediaDeviceStatics());
    return S_OK;
}

}  // extern "C"
