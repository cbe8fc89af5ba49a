#include "RendererProbe.h"

#include <mmdeviceapi.h>
#include <spatialaudioclient.h>
#include <windows.h>

#include <cstdint>

#include "ComPtr.h"
#include "HandleHolder.h"

namespace spatialhost {
namespace {

constexpr uint32_t kBedMask = 0x1FFE;  // the twelve types of a 7.1.4 bed

class Printer {
public:
    explicit Printer(std::FILE* out_pFile) : m_pFile(out_pFile) {}
    void Hr(const char* in_pszKey, HRESULT in_hr) {
        std::fprintf(m_pFile, "%s: 0x%08lX\n", in_pszKey,
                     static_cast<unsigned long>(static_cast<uint32_t>(in_hr)));
    }
    void Value(const char* in_pszKey, unsigned long in_uValue) {
        std::fprintf(m_pFile, "%s: %lu\n", in_pszKey, in_uValue);
    }
    void Hex(const char* in_pszKey, unsigned long in_uValue) {
        std::fprintf(m_pFile, "%s: 0x%lX\n", in_pszKey, in_uValue);
    }

private:
    std::FILE* m_pFile;
};

HRESULT ActivateStream(ISpatialAudioClient* in_pClient, const WAVEFORMATEX* in_pFormat,
                       uint32_t in_uStaticMask, UINT32 in_uMinDynamic, UINT32 in_uMaxDynamic,
                       HANDLE in_hEvent, ComPtr<ISpatialAudioObjectRenderStream>& out_rStream) {
    SpatialAudioObjectRenderStreamActivationParams params = {};
    params.ObjectFormat = in_pFormat;
    params.StaticObjectTypeMask = static_cast<AudioObjectType>(in_uStaticMask);
    params.MinDynamicObjectCount = in_uMinDynamic;
    params.MaxDynamicObjectCount = in_uMaxDynamic;
    params.Category = AudioCategory_GameEffects;
    params.EventHandle = in_hEvent;
    params.NotifyObject = nullptr;
    PROPVARIANT variant;
    PropVariantInit(&variant);
    variant.vt = VT_BLOB;
    variant.blob.cbSize = sizeof(params);
    variant.blob.pBlobData = reinterpret_cast<BYTE*>(&params);
    return in_pClient->ActivateSpatialAudioStream(&variant,
                                                  __uuidof(ISpatialAudioObjectRenderStream),
                                                  out_rStream.ReleaseAndGetVoidAddressOf());
}

// Waits for the stream's next pass (at most 500 ms, the renderer's first pass may take a while).
bool WaitForPass(HANDLE in_hEvent) {
    return WaitForSingleObject(in_hEvent, 500) == WAIT_OBJECT_0;
}

void ProbePasses(Printer& io_out, ISpatialAudioObjectRenderStream* in_pStream, HANDLE in_hEvent) {
    ComPtr<ISpatialAudioObject> frontLeft;
    ComPtr<ISpatialAudioObject> frontRight;
    io_out.Hr("activate FrontLeft",
              in_pStream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                     frontLeft.ReleaseAndGetAddressOf()));
    ComPtr<ISpatialAudioObject> second;
    io_out.Hr("activate FrontLeft again",
              in_pStream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                     second.ReleaseAndGetAddressOf()));
    io_out.Hr("activate BackCenter (outside the mask)",
              in_pStream->ActivateSpatialAudioObject(AudioObjectType_BackCenter,
                                                     second.ReleaseAndGetAddressOf()));
    io_out.Hr("activate Dynamic (none granted)",
              in_pStream->ActivateSpatialAudioObject(AudioObjectType_Dynamic,
                                                     second.ReleaseAndGetAddressOf()));
    io_out.Hr("activate FrontRight",
              in_pStream->ActivateSpatialAudioObject(AudioObjectType_FrontRight,
                                                     frontRight.ReleaseAndGetAddressOf()));
    if (!frontLeft || !frontRight) {
        return;
    }
    AudioObjectType eType = AudioObjectType_None;
    io_out.Hr("GetAudioObjectType", frontLeft->GetAudioObjectType(&eType));
    io_out.Hex("GetAudioObjectType value", eType);
    BYTE* pBuffer = nullptr;
    UINT32 uLength = 0;
    io_out.Hr("GetBuffer before Begin", frontLeft->GetBuffer(&pBuffer, &uLength));
    io_out.Hr("SetPosition on a static object", frontLeft->SetPosition(1.0f, 0.0f, 0.0f));
    io_out.Hr("End before Begin", in_pStream->EndUpdatingAudioObjects());

    io_out.Hr("Start", in_pStream->Start());
    io_out.Hr("Reset while started", in_pStream->Reset());
    io_out.Value("first pass signalled", WaitForPass(in_hEvent) ? 1 : 0);
    UINT32 uAvailable = 99;
    UINT32 uFrames = 0;
    io_out.Hr("Begin", in_pStream->BeginUpdatingAudioObjects(&uAvailable, &uFrames));
    io_out.Value("Begin available dynamic objects", uAvailable);
    io_out.Value("Begin frame count", uFrames);
    io_out.Hr("Begin again", in_pStream->BeginUpdatingAudioObjects(&uAvailable, &uFrames));
    pBuffer = nullptr;
    io_out.Hr("GetBuffer", frontLeft->GetBuffer(&pBuffer, &uLength));
    io_out.Value("GetBuffer length", uLength);
    bool bZeroed = pBuffer != nullptr;
    for (UINT32 uByte = 0; pBuffer != nullptr && uByte < uLength; ++uByte) {
        bZeroed = bZeroed && pBuffer[uByte] == 0;
    }
    io_out.Value("GetBuffer zeroed", bZeroed ? 1 : 0);
    io_out.Hr("SetVolume", frontLeft->SetVolume(0.5f));
    io_out.Hr("GetBuffer FrontRight", frontRight->GetBuffer(&pBuffer, &uLength));
    io_out.Hr("End", in_pStream->EndUpdatingAudioObjects());
    io_out.Hr("End again", in_pStream->EndUpdatingAudioObjects());

    // A pass that skips FrontRight's buffer: the renderer ends that object.
    io_out.Value("second pass signalled", WaitForPass(in_hEvent) ? 1 : 0);
    io_out.Hr("Begin (second pass)", in_pStream->BeginUpdatingAudioObjects(&uAvailable, &uFrames));
    io_out.Hr("GetBuffer FrontLeft (second pass)", frontLeft->GetBuffer(&pBuffer, &uLength));
    io_out.Hr("End (second pass)", in_pStream->EndUpdatingAudioObjects());
    io_out.Value("third pass signalled", WaitForPass(in_hEvent) ? 1 : 0);
    io_out.Hr("Begin (third pass)", in_pStream->BeginUpdatingAudioObjects(&uAvailable, &uFrames));
    BOOL bActive = TRUE;
    io_out.Hr("IsActive FrontRight after a skipped pass", frontRight->IsActive(&bActive));
    io_out.Value("IsActive FrontRight value", bActive ? 1 : 0);
    io_out.Hr("GetBuffer FrontRight after a skipped pass",
              frontRight->GetBuffer(&pBuffer, &uLength));
    io_out.Hr("GetBuffer FrontLeft (third pass)", frontLeft->GetBuffer(&pBuffer, &uLength));
    io_out.Hr("End (third pass)", in_pStream->EndUpdatingAudioObjects());
    io_out.Hr("Stop", in_pStream->Stop());
    io_out.Hr("Reset after Stop", in_pStream->Reset());
}

}  // namespace

int ProbeRenderer(std::FILE* out_pFile) {
    Printer out(out_pFile);
    ComPtr<IMMDeviceEnumerator> enumerator;
    out.Hr(
        "CoCreateInstance MMDeviceEnumerator",
        CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                         __uuidof(IMMDeviceEnumerator), enumerator.ReleaseAndGetVoidAddressOf()));
    if (!enumerator) {
        return 1;
    }
    ComPtr<IMMDevice> endpoint;
    out.Hr("GetDefaultAudioEndpoint", enumerator->GetDefaultAudioEndpoint(
                                          eRender, eConsole, endpoint.ReleaseAndGetAddressOf()));
    if (!endpoint) {
        return 1;
    }
    ComPtr<ISpatialAudioClient> client;
    out.Hr("Activate ISpatialAudioClient without parameters",
           endpoint->Activate(__uuidof(ISpatialAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                              client.ReleaseAndGetVoidAddressOf()));
    if (!client) {
        return 1;
    }

    ComPtr<IAudioFormatEnumerator> formats;
    out.Hr("GetSupportedAudioObjectFormatEnumerator",
           client->GetSupportedAudioObjectFormatEnumerator(formats.ReleaseAndGetAddressOf()));
    UINT32 uCount = 0;
    WAVEFORMATEX* pFormat = nullptr;
    if (formats) {
        out.Hr("format GetCount", formats->GetCount(&uCount));
        out.Value("format count", uCount);
        out.Hr("GetFormat 0", formats->GetFormat(0, &pFormat));
    }
    if (pFormat == nullptr) {
        return 1;
    }
    out.Value("format tag", pFormat->wFormatTag);
    out.Value("format channels", pFormat->nChannels);
    out.Value("format rate", pFormat->nSamplesPerSec);
    out.Value("format bits", pFormat->wBitsPerSample);
    out.Value("format block align", pFormat->nBlockAlign);
    WAVEFORMATEX* pBeyond = nullptr;
    out.Hr("GetFormat beyond the count", formats->GetFormat(uCount, &pBeyond));

    UINT32 uFrames = 0;
    out.Hr("GetMaxFrameCount", client->GetMaxFrameCount(pFormat, &uFrames));
    out.Value("GetMaxFrameCount value", uFrames);
    UINT32 uMaxDynamic = 99;
    out.Hr("GetMaxDynamicObjectCount", client->GetMaxDynamicObjectCount(&uMaxDynamic));
    out.Value("GetMaxDynamicObjectCount value", uMaxDynamic);
    AudioObjectType eNativeMask = AudioObjectType_None;
    out.Hr("GetNativeStaticObjectTypeMask", client->GetNativeStaticObjectTypeMask(&eNativeMask));
    float x = 0, y = 0, z = 0;
    out.Hr("GetStaticObjectPosition FrontLeft",
           client->GetStaticObjectPosition(AudioObjectType_FrontLeft, &x, &y, &z));
    out.Hr("IsAudioObjectFormatSupported", client->IsAudioObjectFormatSupported(pFormat));
    WAVEFORMATEX stereo = *pFormat;
    stereo.nChannels = 2;
    stereo.nBlockAlign = static_cast<WORD>(2 * pFormat->nBlockAlign);
    stereo.nAvgBytesPerSec = stereo.nBlockAlign * stereo.nSamplesPerSec;
    out.Hr("IsAudioObjectFormatSupported stereo", client->IsAudioObjectFormatSupported(&stereo));

    HandleHolder event;
    event.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ComPtr<ISpatialAudioObjectRenderStream> stream;
    out.Hr("stream with a null event",
           ActivateStream(client.Get(), pFormat, kBedMask, 0, 0, nullptr, stream));
    stream.Reset();
    out.Hr("stream with another format",
           ActivateStream(client.Get(), &stereo, kBedMask, 0, 0, event.Get(), stream));
    stream.Reset();
    out.Hr("stream asking one dynamic object",
           ActivateStream(client.Get(), pFormat, kBedMask, 1, 1, event.Get(), stream));
    stream.Reset();
    out.Hr("stream with the bed mask",
           ActivateStream(client.Get(), pFormat, kBedMask, 0, 0, event.Get(), stream));
    if (!stream) {
        return 1;
    }
    ComPtr<ISpatialAudioObjectRenderStream> secondStream;
    HandleHolder secondEvent;
    secondEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    out.Hr("a second bed stream on the same client",
           ActivateStream(client.Get(), pFormat, kBedMask, 0, 0, secondEvent.Get(), secondStream));
    secondStream.Reset();

    ProbePasses(out, stream.Get(), event.Get());
    stream.Reset();
    client.Reset();
    // The caller's event outlives the stream: the renderer keeps a duplicate, never the original.
    out.Value(
        "caller's event usable after release",
        SetEvent(event.Get()) && WaitForSingleObject(event.Get(), 0) == WAIT_OBJECT_0 ? 1 : 0);
    return 0;
}

}  // namespace spatialhost
