#include "SpatialStreamOpener.h"

#include <mmdeviceapi.h>

#include "ClientActivationParams.h"
#include "PropVariantHolder.h"

namespace {

// Creates the auto-reset, initially unsignalled, unnamed event the renderer signals.
HANDLE CreateBufferEvent() {
    return CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

}  // namespace

SpatialOpenResult OpenDefaultSpatialStream(const SpatialStreamRequest& in_request,
                                           SpatialStream& out_rStream) {
    ComPtr<IMMDevice> endpoint;
    {
        ComPtr<IMMDeviceEnumerator> enumerator;
        if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                    __uuidof(IMMDeviceEnumerator),
                                    enumerator.ReleaseAndGetVoidAddressOf())) ||
            !enumerator ||
            FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole,
                                                       endpoint.ReleaseAndGetAddressOf())) ||
            !endpoint) {
            return SpatialOpenResult::NoEndpoint;
        }
    }

    SpatialStream opened;
    {
        // Without task memory for the activation record the client is activated without one.
        PropVariantHolder activationParams;
        BuildClientActivationParams(in_request.iActivationMinorVersion3, activationParams);
        if (FAILED(endpoint->Activate(__uuidof(ISpatialAudioClient), CLSCTX_INPROC_SERVER,
                                      activationParams.IsEmpty() ? nullptr : activationParams.Get(),
                                      opened.client.ReleaseAndGetVoidAddressOf())) ||
            !opened.client) {
            return SpatialOpenResult::Failed;
        }
    }

    const SpatialOpenResult eResult = OpenSpatialStreamOnClient(in_request, opened);
    if (eResult == SpatialOpenResult::Opened) {
        out_rStream = std::move(opened);
    } else if (eResult == SpatialOpenResult::WrongRate) {
        out_rStream.uSampleRate = opened.uSampleRate;
    }
    return eResult;
}

SpatialOpenResult OpenSpatialStreamOnClient(const SpatialStreamRequest& in_request,
                                            SpatialStream& io_rStream) {
    if (!io_rStream.client) {
        return SpatialOpenResult::Failed;
    }
    ISpatialAudioClient* pClient = io_rStream.client.Get();

    // The object format is the first one the client offers. It belongs to the format enumerator,
    // which is therefore kept until the stream is activated.
    ComPtr<IAudioFormatEnumerator> formats;
    UINT32 uFormatCount = 0;
    WAVEFORMATEX* pFormat = nullptr;
    if (FAILED(
            pClient->GetSupportedAudioObjectFormatEnumerator(formats.ReleaseAndGetAddressOf())) ||
        !formats || FAILED(formats->GetCount(&uFormatCount)) || uFormatCount == 0 ||
        FAILED(formats->GetFormat(0, &pFormat)) || pFormat == nullptr) {
        return SpatialOpenResult::Failed;
    }
    // The renderer plays this format at its own rate: samples at another rate would play too fast
    // or too slow.
    if (!SampleRatesMatch(in_request.uEngineSampleRate, pFormat->nSamplesPerSec)) {
        io_rStream.uSampleRate = pFormat->nSamplesPerSec;
        return SpatialOpenResult::WrongRate;
    }

    // A renderer that names no frame count gives the render worker nothing to size its passes by.
    UINT32 uFrameCount = 0;
    pClient->GetMaxFrameCount(pFormat, &uFrameCount);
    if (uFrameCount == 0) {
        return SpatialOpenResult::Failed;
    }

    UINT32 uMaxDynamicObjects = 0;
    const bool bDynamic = in_request.eDynamicObjects == DynamicObjectUse::Required;
    if (bDynamic || in_request.bQueryMaxDynamicObjects) {
        const HRESULT hr = pClient->GetMaxDynamicObjectCount(&uMaxDynamicObjects);
        if (FAILED(hr)) {
            uMaxDynamicObjects = 0;
        }
        if (bDynamic) {
            if (uMaxDynamicObjects > kMaxDynamicObjects) {
                uMaxDynamicObjects = kMaxDynamicObjects;
            }
            if (hr != S_OK || uMaxDynamicObjects == 0) {
                return SpatialOpenResult::Failed;
            }
        }
    }

    HandleHolder event;
    event.Reset(CreateBufferEvent());
    if (!event) {
        return SpatialOpenResult::Failed;
    }

    SpatialAudioObjectRenderStreamActivationParams streamParams = {};
    streamParams.ObjectFormat = pFormat;
    streamParams.StaticObjectTypeMask = static_cast<AudioObjectType>(in_request.uStaticObjectMask);
    streamParams.MinDynamicObjectCount = bDynamic ? uMaxDynamicObjects : 0;
    streamParams.MaxDynamicObjectCount = bDynamic ? uMaxDynamicObjects : 0;
    streamParams.Category = AudioCategory_GameEffects;
    streamParams.EventHandle = event.Get();
    streamParams.NotifyObject = nullptr;

    // The record lives on the stack; the PROPVARIANT only points at it and owns nothing.
    PROPVARIANT streamVariant;
    PropVariantInit(&streamVariant);
    streamVariant.vt = VT_BLOB;
    streamVariant.blob.cbSize = sizeof(streamParams);
    streamVariant.blob.pBlobData = reinterpret_cast<BYTE*>(&streamParams);

    ComPtr<ISpatialAudioObjectRenderStream> stream;
    if (FAILED(pClient->ActivateSpatialAudioStream(&streamVariant,
                                                   __uuidof(ISpatialAudioObjectRenderStream),
                                                   stream.ReleaseAndGetVoidAddressOf())) ||
        !stream) {
        return SpatialOpenResult::Failed;
    }
    if (FAILED(stream->Start()) && in_request.bStartMustSucceed) {
        return SpatialOpenResult::Failed;
    }

    io_rStream.stream = std::move(stream);
    io_rStream.event = std::move(event);
    io_rStream.uFrameCount = uFrameCount;
    io_rStream.uSampleRate = pFormat->nSamplesPerSec;
    io_rStream.uMaxDynamicObjects = uMaxDynamicObjects;
    return SpatialOpenResult::Opened;
}
