// Windows Sonic's spatial-audio client: static (bed) and dynamic audio objects rendered by the
// operating system.
#pragma once

#include "audioclient.h"
#include "mmreg.h"
#include "propidl.h"
#include "unknwn.h"

#define SPTLAUDCLNT_E_DESTROYED AUDCLNT_ERR(0x100)
#define SPTLAUDCLNT_E_OUT_OF_ORDER AUDCLNT_ERR(0x101)
#define SPTLAUDCLNT_E_RESOURCES_INVALIDATED AUDCLNT_ERR(0x102)
#define SPTLAUDCLNT_E_NO_MORE_OBJECTS AUDCLNT_ERR(0x103)
#define SPTLAUDCLNT_E_PROPERTY_NOT_SUPPORTED AUDCLNT_ERR(0x104)
#define SPTLAUDCLNT_E_ERRORS_IN_OBJECT_CALLS AUDCLNT_ERR(0x105)
#define SPTLAUDCLNT_E_METADATA_FORMAT_NOT_SUPPORTED AUDCLNT_ERR(0x106)
#define SPTLAUDCLNT_E_STREAM_NOT_AVAILABLE AUDCLNT_ERR(0x107)
#define SPTLAUDCLNT_E_INVALID_LICENSE AUDCLNT_ERR(0x108)
#define SPTLAUDCLNT_E_STREAM_NOT_STOPPED AUDCLNT_ERR(0x10a)
#define SPTLAUDCLNT_E_STATIC_OBJECT_NOT_AVAILABLE AUDCLNT_ERR(0x10b)
#define SPTLAUDCLNT_E_OBJECT_ALREADY_ACTIVE AUDCLNT_ERR(0x10c)
#define SPTLAUDCLNT_E_INTERNAL AUDCLNT_ERR(0x10d)

typedef enum AudioObjectType {
    AudioObjectType_None = 0,
    AudioObjectType_Dynamic = 1 << 0,
    AudioObjectType_FrontLeft = 1 << 1,
    AudioObjectType_FrontRight = 1 << 2,
    AudioObjectType_FrontCenter = 1 << 3,
    AudioObjectType_LowFrequency = 1 << 4,
    AudioObjectType_SideLeft = 1 << 5,
    AudioObjectType_SideRight = 1 << 6,
    AudioObjectType_BackLeft = 1 << 7,
    AudioObjectType_BackRight = 1 << 8,
    AudioObjectType_TopFrontLeft = 1 << 9,
    AudioObjectType_TopFrontRight = 1 << 10,
    AudioObjectType_TopBackLeft = 1 << 11,
    AudioObjectType_TopBackRight = 1 << 12,
    AudioObjectType_BottomFrontLeft = 1 << 13,
    AudioObjectType_BottomFrontRight = 1 << 14,
    AudioObjectType_BottomBackLeft = 1 << 15,
    AudioObjectType_BottomBackRight = 1 << 16,
    AudioObjectType_BackCenter = 1 << 17,
} AudioObjectType;

struct ISpatialAudioObjectRenderStreamNotify;

// Optional record of the client activation; used by the platform only for event tracing.
typedef struct SpatialAudioClientActivationParams {
    GUID tracingContextId;
    GUID appId;
    int majorVersion;
    int minorVersion1;
    int minorVersion2;
    int minorVersion3;
} SpatialAudioClientActivationParams;
static_assert(sizeof(SpatialAudioClientActivationParams) == 48, "client activation record");

typedef struct SpatialAudioObjectRenderStreamActivationParams {
    const WAVEFORMATEX* ObjectFormat;
    AudioObjectType StaticObjectTypeMask;
    UINT32 MinDynamicObjectCount;
    UINT32 MaxDynamicObjectCount;
    AUDIO_STREAM_CATEGORY Category;
    HANDLE EventHandle;
    ISpatialAudioObjectRenderStreamNotify* NotifyObject;
} SpatialAudioObjectRenderStreamActivationParams;
static_assert(sizeof(SpatialAudioObjectRenderStreamActivationParams) ==
                  (sizeof(void*) == 8 ? 40 : 28),
              "stream activation record");

struct IAudioFormatEnumerator : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCount(UINT32* count) = 0;
    // The format stays owned by the enumerator and valid while it lives.
    virtual HRESULT STDMETHODCALLTYPE GetFormat(UINT32 index, WAVEFORMATEX** format) = 0;
};
STANDIN_UUID(IAudioFormatEnumerator, 0xdcdaa858, 0x895a, 0x4a22, 0xa5, 0xeb, 0x67, 0xbd, 0xa5, 0x06,
             0x09, 0x6d)

struct ISpatialAudioObjectBase : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** buffer, UINT32* bufferLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEndOfStream(UINT32 frameCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsActive(BOOL* isActive) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAudioObjectType(AudioObjectType* audioObjectType) = 0;
};
STANDIN_UUID(ISpatialAudioObjectBase, 0xcce0b8f2, 0x8d4d, 0x4efb, 0xa8, 0xcf, 0x3d, 0x6e, 0xcf,
             0x1c, 0x30, 0xe0)

struct ISpatialAudioObject : public ISpatialAudioObjectBase {
    virtual HRESULT STDMETHODCALLTYPE SetPosition(float x, float y, float z) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetVolume(float volume) = 0;
};
STANDIN_UUID(ISpatialAudioObject, 0xdde28967, 0x521b, 0x46e5, 0x8f, 0x00, 0xbd, 0x6f, 0x2b, 0xc8,
             0xab, 0x1d)

struct ISpatialAudioObjectRenderStreamBase : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetAvailableDynamicObjectCount(UINT32* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetService(REFIID riid, void** service) = 0;
    virtual HRESULT STDMETHODCALLTYPE Start() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginUpdatingAudioObjects(UINT32* availableDynamicObjectCount,
                                                                UINT32* frameCountPerBuffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndUpdatingAudioObjects() = 0;
};
STANDIN_UUID(ISpatialAudioObjectRenderStreamBase, 0xfeaaf403, 0xc1d8, 0x450d, 0xaa, 0x05, 0xe0,
             0xcc, 0xee, 0x75, 0x02, 0xa8)

struct ISpatialAudioObjectRenderStream : public ISpatialAudioObjectRenderStreamBase {
    virtual HRESULT STDMETHODCALLTYPE
    ActivateSpatialAudioObject(AudioObjectType type, ISpatialAudioObject** audioObject) = 0;
};
STANDIN_UUID(ISpatialAudioObjectRenderStream, 0xbab5f473, 0xb423, 0x477b, 0x85, 0xf5, 0xb5, 0xa3,
             0x32, 0xa0, 0x41, 0x53)

struct ISpatialAudioClient : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetStaticObjectPosition(AudioObjectType type, float* x,
                                                              float* y, float* z) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNativeStaticObjectTypeMask(AudioObjectType* mask) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMaxDynamicObjectCount(UINT32* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetSupportedAudioObjectFormatEnumerator(IAudioFormatEnumerator** enumerator) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMaxFrameCount(const WAVEFORMATEX* objectFormat,
                                                       UINT32* frameCountPerBuffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    IsAudioObjectFormatSupported(const WAVEFORMATEX* objectFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    IsSpatialAudioStreamAvailable(REFIID streamUuid, const PROPVARIANT* auxiliaryInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    ActivateSpatialAudioStream(const PROPVARIANT* activationParams, REFIID riid, void** stream) = 0;
};
STANDIN_UUID(ISpatialAudioClient, 0xbbf8e066, 0xaaaa, 0x49be, 0x9a, 0x4d, 0xfd, 0x2a, 0x85, 0x8e,
             0xa2, 0x7f)
