// Multimedia devices: the endpoint enumerator, endpoints, and asynchronous interface activation.
#pragma once

#include "propidl.h"
#include "unknwn.h"
#include "winerror.h"

#ifndef E_NOTFOUND
#define E_NOTFOUND HRESULT_FROM_WIN32(ERROR_NOT_FOUND)
#endif

#define DEVICE_STATE_ACTIVE 0x00000001
#define DEVICE_STATE_DISABLED 0x00000002
#define DEVICE_STATE_NOTPRESENT 0x00000004
#define DEVICE_STATE_UNPLUGGED 0x00000008
#define DEVICE_STATEMASK_ALL 0x0000000F

typedef enum EDataFlow {
    eRender = 0,
    eCapture = 1,
    eAll = 2,
    EDataFlow_enum_count = 3,
} EDataFlow;

typedef enum ERole {
    eConsole = 0,
    eMultimedia = 1,
    eCommunications = 2,
    ERole_enum_count = 3,
} ERole;

struct IPropertyStore;
struct IMMDeviceCollection;
struct IMMNotificationClient;

struct IMMDevice : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD dwClsCtx,
                                               PROPVARIANT* pActivationParams,
                                               void** ppInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD stgmAccess,
                                                        IPropertyStore** ppProperties) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetId(LPWSTR* ppstrId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(DWORD* pdwState) = 0;
};
STANDIN_UUID(IMMDevice, 0xd666063f, 0x1587, 0x4e43, 0x81, 0xf1, 0xb9, 0x48, 0xe8, 0x07, 0x36, 0x3f)

struct IMMDeviceEnumerator : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow dataFlow, DWORD dwStateMask,
                                                         IMMDeviceCollection** ppDevices) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow dataFlow, ERole role,
                                                              IMMDevice** ppEndpoint) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR pwstrId, IMMDevice** ppDevice) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient* pClient) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient* pClient) = 0;
};
STANDIN_UUID(IMMDeviceEnumerator, 0xa95664d2, 0x9614, 0x4f35, 0xa7, 0x46, 0xde, 0x8d, 0xb6, 0x36,
             0x17, 0xe6)

// The coclass of the device enumerator: __uuidof(MMDeviceEnumerator) is its CLSID.
class MMDeviceEnumerator;
STANDIN_UUID(MMDeviceEnumerator, 0xbcde0395, 0xe52f, 0x467c, 0x8e, 0x3d, 0xc4, 0x57, 0x92, 0x91,
             0x69, 0x2e)

struct IActivateAudioInterfaceAsyncOperation : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetActivateResult(HRESULT* activateResult,
                                                        IUnknown** activatedInterface) = 0;
};
STANDIN_UUID(IActivateAudioInterfaceAsyncOperation, 0x72a22d78, 0xcde4, 0x431d, 0xb8, 0xcc, 0x84,
             0x3a, 0x71, 0x19, 0x9b, 0x6d)

struct IActivateAudioInterfaceCompletionHandler : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE
    ActivateCompleted(IActivateAudioInterfaceAsyncOperation* activateOperation) = 0;
};
STANDIN_UUID(IActivateAudioInterfaceCompletionHandler, 0x41d949ab, 0x9862, 0x444a, 0x80, 0xf6, 0xc2,
             0x61, 0x33, 0x4d, 0xa5, 0xeb)

#ifdef __cplusplus
extern "C" {
#endif

// Activates an interface on the device that deviceInterfacePath names and calls the completion
// handler on another thread when the activation has finished.
__declspec(dllimport) HRESULT WINAPI
    ActivateAudioInterfaceAsync(LPCWSTR deviceInterfacePath, REFIID riid,
                                PROPVARIANT* activationParams,
                                IActivateAudioInterfaceCompletionHandler* completionHandler,
                                IActivateAudioInterfaceAsyncOperation** activationOperation);

#ifdef __cplusplus
}
#endif
