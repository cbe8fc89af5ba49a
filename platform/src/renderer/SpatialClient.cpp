#include "SpatialClient.h"

#include <bitset>
#include <cmath>
#include <cstring>

#include "CallScope.h"
#include "FormatEnumerator.h"
#include "KernelObjects.h"
#include "RenderStream.h"
#include "RendererCore.h"

namespace standin {
namespace detail {
namespace {

constexpr uint32_t kStaticTypeBits = 0x3FFFE;  // FrontLeft (1 << 1) to BackCenter (1 << 17)

struct SpeakerDirection {
    AudioObjectType eType;
    float fAzimuth;    // degrees, positive to the listener's right
    float fElevation;  // degrees, positive upwards
};

// The usual speaker layout of the bed positions.
constexpr SpeakerDirection kSpeakerDirections[] = {
    {AudioObjectType_FrontLeft, -30.0f, 0.0f},
    {AudioObjectType_FrontRight, 30.0f, 0.0f},
    {AudioObjectType_FrontCenter, 0.0f, 0.0f},
    {AudioObjectType_LowFrequency, 0.0f, 0.0f},  // not directional: placed with the centre
    {AudioObjectType_SideLeft, -90.0f, 0.0f},
    {AudioObjectType_SideRight, 90.0f, 0.0f},
    {AudioObjectType_BackLeft, -135.0f, 0.0f},
    {AudioObjectType_BackRight, 135.0f, 0.0f},
    {AudioObjectType_TopFrontLeft, -30.0f, 45.0f},
    {AudioObjectType_TopFrontRight, 30.0f, 45.0f},
    {AudioObjectType_TopBackLeft, -135.0f, 45.0f},
    {AudioObjectType_TopBackRight, 135.0f, 45.0f},
    {AudioObjectType_BottomFrontLeft, -30.0f, -45.0f},
    {AudioObjectType_BottomFrontRight, 30.0f, -45.0f},
    {AudioObjectType_BottomBackLeft, -135.0f, -45.0f},
    {AudioObjectType_BottomBackRight, 135.0f, -45.0f},
    {AudioObjectType_BackCenter, 180.0f, 0.0f},
};

uint32_t BitCount(uint32_t in_uBits) {
    return static_cast<uint32_t>(std::bitset<32>(in_uBits).count());
}

}  // namespace

HRESULT SpatialClient::QueryInterface(REFIID riid, void** ppv) {
    return AnswerQueryInterface(
        riid, ppv,
        {{__uuidof(IUnknown), static_cast<IUnknown*>(this)},
         {__uuidof(ISpatialAudioClient), static_cast<ISpatialAudioClient*>(this)}});
}

bool SpatialClient::Offers(const WAVEFORMATEX& in_format) const {
    for (const WAVEFORMATEX& offered : m_pEndpoint->Config().formats) {
        if (SameFormat(offered, in_format)) {
            return true;
        }
    }
    return false;
}

// Positions on the unit sphere in the renderer's coordinates: +x right, +y up, -z in front.
HRESULT SpatialClient::GetStaticObjectPosition(AudioObjectType type, float* x, float* y, float* z) {
    STANDIN_CALL_HRESULT("ISpatialAudioClient::GetStaticObjectPosition");
    if (x == nullptr || y == nullptr || z == nullptr) {
        return E_POINTER;
    }
    constexpr float kRadiansPerDegree = 3.14159265358979f / 180.0f;
    for (const SpeakerDirection& direction : kSpeakerDirections) {
        if (direction.eType == type) {
            const float fAzimuth = direction.fAzimuth * kRadiansPerDegree;
            const float fElevation = direction.fElevation * kRadiansPerDegree;
            *x = std::sin(fAzimuth) * std::cos(fElevation);
            *y = std::sin(fElevation);
            *z = -std::cos(fAzimuth) * std::cos(fElevation);
            return S_OK;
        }
    }
    return E_INVALIDARG;  // dynamic, none, or more than one type
}

HRESULT SpatialClient::GetNativeStaticObjectTypeMask(AudioObjectType* mask) {
    STANDIN_CALL_HRESULT("ISpatialAudioClient::GetNativeStaticObjectTypeMask");
    if (mask == nullptr) {
        return E_POINTER;
    }
    *mask = static_cast<AudioObjectType>(m_pEndpoint->Config().nativeStaticMask);
    return S_OK;
}

HRESULT SpatialClient::GetMaxDynamicObjectCount(UINT32* value) {
    STANDIN_CALL_HRESULT("ISpatialAudioClient::GetMaxDynamicObjectCount");
    if (value == nullptr) {
        return E_POINTER;
    }
    *value = m_pEndpoint->Config().maxDynamicObjects;
    return S_OK;
}

HRESULT SpatialClient::GetSupportedAudioObjectFormatEnumerator(
    IAudioFormatEnumerator** enumerator) {
    STANDIN_CALL_HRESULT("ISpatialAudioClient::GetSupportedAudioObjectFormatEnumerator");
    if (enumerator == nullptr) {
        return E_POINTER;
    }
    *enumerator = new FormatEnumerator(m_pEndpoint->Config().formats);
    return S_OK;
}

HRESULT SpatialClient::GetMaxFrameCount(const WAVEFORMATEX* objectFormat,
                                        UINT32* frameCountPerBuffer) {
    STANDIN_CALL_HRESULT("ISpatialAudioClient::GetMaxFrameCount");
    if (objectFormat == nullptr || frameCountPerBuffer == nullptr) {
        return E_POINTER;
    }
    if (!Offers(*objectFormat)) {
        return AUDCLNT_E_UNSUPPORTED_FORMAT;
    }
    *frameCountPerBuffer = m_pEndpoint->Config().frameCount;
    return S_OK;
}

HRESULT SpatialClient::IsAudioObjectFormatSupported(const WAVEFORMATEX* objectFormat) {
    STANDIN_CALL_HRESULT("ISpatialAudioClient::IsAudioObjectFormatSupported");
    if (objectFormat == nullptr) {
        return E_POINTER;
    }
    return Offers(*objectFormat) ? S_OK : AUDCLNT_E_UNSUPPORTED_FORMAT;
}

HRESULT SpatialClient::IsSpatialAudioStreamAvailable(REFIID streamUuid, const PROPVARIANT*) {
    STANDIN_CALL_HRESULT("ISpatialAudioClient::IsSpatialAudioStreamAvailable");
    if (streamUuid != __uuidof(ISpatialAudioObjectRenderStream)) {
        return SPTLAUDCLNT_E_STREAM_NOT_AVAILABLE;
    }
    std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
    return m_pEndpoint->LostLocked() ? AUDCLNT_E_DEVICE_INVALIDATED : S_OK;
}

HRESULT SpatialClient::ActivateSpatialAudioStream(const PROPVARIANT* activationParams, REFIID riid,
                                                  void** stream) {
    STANDIN_CALL_HRESULT("ISpatialAudioClient::ActivateSpatialAudioStream");
    if (stream == nullptr) {
        return E_POINTER;
    }
    *stream = nullptr;

    // What arrived, as far as it can be read safely.
    StreamActivation record;
    SpatialAudioObjectRenderStreamActivationParams params = {};
    HRESULT hr = S_OK;
    if (activationParams == nullptr) {
        hr = E_INVALIDARG;
    } else {
        record.vt = activationParams->vt;
        if (activationParams->vt != VT_BLOB) {
            hr = E_INVALIDARG;
        } else {
            record.blobSize = activationParams->blob.cbSize;
            if (activationParams->blob.cbSize != sizeof(params) ||
                activationParams->blob.pBlobData == nullptr) {
                hr = E_INVALIDARG;
            } else {
                std::memcpy(&params, activationParams->blob.pBlobData, sizeof(params));
                if (params.ObjectFormat != nullptr) {
                    record.objectFormat = *params.ObjectFormat;
                }
                record.staticObjectTypeMask = static_cast<uint32_t>(params.StaticObjectTypeMask);
                record.minDynamicObjectCount = params.MinDynamicObjectCount;
                record.maxDynamicObjectCount = params.MaxDynamicObjectCount;
                record.category = static_cast<uint32_t>(params.Category);
                record.hadEventHandle = params.EventHandle != nullptr;
                record.hadNotifyObject = params.NotifyObject != nullptr;
            }
        }
    }

    const EndpointConfig& config = m_pEndpoint->Config();
    const uint32_t uMask = record.staticObjectTypeMask;
    std::shared_ptr<Event> event;
    if (SUCCEEDED(hr)) {
        if (riid != __uuidof(ISpatialAudioObjectRenderStream)) {
            hr = E_NOINTERFACE;
        } else if (params.ObjectFormat == nullptr || params.EventHandle == nullptr ||
                   (uMask & ~kStaticTypeBits) != 0 ||
                   params.MinDynamicObjectCount > params.MaxDynamicObjectCount) {
            hr = E_INVALIDARG;
        } else if (!Offers(*params.ObjectFormat)) {
            hr = AUDCLNT_E_UNSUPPORTED_FORMAT;
        } else if (!(event = LookupEvent(params.EventHandle))) {
            hr = E_INVALIDARG;
        } else if (params.MaxDynamicObjectCount > 0 && config.maxDynamicObjects == 0) {
            hr = E_INVALIDARG;  // dynamic objects asked for while spatial sound is off
        }
    }

    // Static types the endpoint does not render natively take dynamic objects, except the
    // low-frequency one.
    const uint32_t uNonNative =
        BitCount(uMask & ~config.nativeStaticMask & ~uint32_t{AudioObjectType_LowFrequency});
    // The stream's reference to the client's notify object, taken (and given back on failure)
    // without the renderer's lock: AddRef and Release are client code.
    IUnknown* const pNotify =
        SUCCEEDED(hr) ? reinterpret_cast<IUnknown*>(params.NotifyObject) : nullptr;
    if (pNotify != nullptr) {
        pNotify->AddRef();
    }
    RenderStream* pStream = nullptr;
    {
        RendererCore& core = RendererCore::Instance();
        std::lock_guard<std::mutex> lock(core.Mutex());
        if (SUCCEEDED(hr) && m_pEndpoint->LostLocked()) {
            hr = AUDCLNT_E_DEVICE_INVALIDATED;
        }
        if (SUCCEEDED(hr) && uint64_t{params.MinDynamicObjectCount} + uNonNative >
                                 core.FreeDynamicObjectsLocked(m_pEndpoint.get())) {
            hr = SPTLAUDCLNT_E_NO_MORE_OBJECTS;
        }
        if (SUCCEEDED(hr)) {
            StreamSetup setup;
            setup.endpoint = m_pEndpoint;
            setup.format = *params.ObjectFormat;
            setup.uStaticMask = uMask;
            setup.uMinDynamic = params.MinDynamicObjectCount;
            setup.uMaxDynamic = params.MaxDynamicObjectCount;
            setup.uNonNativeStatics = uNonNative;
            setup.event = event;
            setup.pNotify = pNotify;
            pStream = RenderStream::CreateLocked(setup);
            record.streamId = pStream->Id();
        }
        record.result = hr;
        core.RecordStreamActivationLocked(record);
    }
    if (pStream == nullptr && pNotify != nullptr) {
        pNotify->Release();
    }
    *stream = static_cast<ISpatialAudioObjectRenderStream*>(pStream);
    return hr;
}

HRESULT ActivateSpatialClient(const std::shared_ptr<EndpointState>& in_endpoint,
                              const PROPVARIANT* in_pParams, bool in_bAsynchronous,
                              HRESULT in_hrScripted, IUnknown** out_ppClient) {
    *out_ppClient = nullptr;
    ClientActivation record;
    record.asynchronous = in_bAsynchronous;
    record.hasParams = in_pParams != nullptr;
    HRESULT hr = S_OK;
    if (in_pParams != nullptr) {
        record.vt = in_pParams->vt;
        if (in_pParams->vt == VT_BLOB) {
            record.blobSize = in_pParams->blob.cbSize;
            if (in_pParams->blob.cbSize == sizeof(record.params) &&
                in_pParams->blob.pBlobData != nullptr) {
                std::memcpy(&record.params, in_pParams->blob.pBlobData, sizeof(record.params));
            } else {
                hr = E_INVALIDARG;
            }
        } else if (in_pParams->vt != VT_EMPTY) {
            hr = E_INVALIDARG;
        }
    }
    {
        RendererCore& core = RendererCore::Instance();
        std::lock_guard<std::mutex> lock(core.Mutex());
        if (SUCCEEDED(hr) && FAILED(in_hrScripted)) {
            hr = in_hrScripted;
        }
        if (SUCCEEDED(hr) && in_endpoint->LostLocked()) {
            hr = AUDCLNT_E_DEVICE_INVALIDATED;
        }
        record.result = hr;
        core.RecordClientActivationLocked(record);
    }
    if (SUCCEEDED(hr)) {
        *out_ppClient = static_cast<ISpatialAudioClient*>(new SpatialClient(in_endpoint));
    }
    return hr;
}

}  // namespace detail
}  // namespace standin
