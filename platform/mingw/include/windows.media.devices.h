// The statics of the Windows Runtime class Windows.Media.Devices.MediaDevice, up to the default
// audio render id, which MinGW-w64 does not declare. The method order is the runtime's (after
// IInspectable's three); the rest of the interface is not called.
#pragma once

#include <inspectable.h>

#ifndef RuntimeClass_Windows_Media_Devices_MediaDevice
#define RuntimeClass_Windows_Media_Devices_MediaDevice L"Windows.Media.Devices.MediaDevice"
#endif

namespace ABI {
namespace Windows {
namespace Media {
namespace Devices {

enum AudioDeviceRole {
    AudioDeviceRole_Default = 0,
    AudioDeviceRole_Communications = 1,
};

struct IMediaDeviceStatics : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE GetAudioCaptureSelector(HSTRING* selector) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAudioRenderSelector(HSTRING* selector) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVideoCaptureSelector(HSTRING* selector) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDefaultAudioCaptureId(AudioDeviceRole role,
                                                               HSTRING* deviceId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDefaultAudioRenderId(AudioDeviceRole role,
                                                              HSTRING* deviceId) = 0;
};

}  // namespace Devices
}  // namespace Media
}  // namespace Windows
}  // namespace ABI

__CRT_UUID_DECL(ABI::Windows::Media::Devices::IMediaDeviceStatics, 0xaa2d9a40, 0x909f, 0x4bba, 0xbf,
                0x8b, 0x0c, 0x0d, 0x29, 0x6f, 0x14, 0xf0)
