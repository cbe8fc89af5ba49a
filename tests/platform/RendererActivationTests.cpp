// The device enumerator, the device, the spatial-audio client and the activation of streams and
// objects, as the platform documentation describes them. The tests call the Windows API and use
// the stand-in's control API only to script the endpoint and to read what arrived.

#include <gtest/gtest.h>

#include <windows.h>

#include <mmdeviceapi.h>
#include <spatialaudioclient.h>

#include <cmath>
#include <cstring>

#include "SpatialTestSupport.h"
#include "StandinFixture.h"
#include "standin/Renderer.h"

namespace {

using testing_support::ActivateStream;
using testing_support::EventHolder;
using testing_support::OpenDefaultClient;
using testing_support::StandinTest;
using testing_support::StreamRequest;

class RendererActivationTest : public StandinTest {};

TEST_F(RendererActivationTest, EnumeratorHandsOutTheDefaultRenderEndpointForEveryRole) {
    ComPtr<IMMDeviceEnumerator> enumerator;
    ASSERT_EQ(S_OK, CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                     __uuidof(IMMDeviceEnumerator),
                                     enumerator.ReleaseAndGetVoidAddressOf()));
    for (ERole role : {eConsole, eMultimedia, eCommunications}) {
        ComPtr<IMMDevice> device;
        EXPECT_EQ(S_OK, enumerator->GetDefaultAudioEndpoint(eRender, role,
                                                            device.ReleaseAndGetAddressOf()));
        DWORD dwState = 0;
        ASSERT_TRUE(device);
        EXPECT_EQ(S_OK, device->GetState(&dwState));
        EXPECT_EQ(static_cast<DWORD>(DEVICE_STATE_ACTIVE), dwState);
    }
    ComPtr<IMMDevice> device;
    EXPECT_EQ(E_NOTFOUND, enumerator->GetDefaultAudioEndpoint(eCapture, eConsole,
                                                              device.ReleaseAndGetAddressOf()));
    EXPECT_EQ(E_INVALIDARG,
              enumerator->GetDefaultAudioEndpoint(eAll, eConsole, device.ReleaseAndGetAddressOf()));
    EXPECT_FALSE(device);

    standin::RemoveDefaultEndpoint();
    IMMDevice* pDevice = reinterpret_cast<IMMDevice*>(0x1);
    EXPECT_EQ(E_NOTFOUND, enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &pDevice));
    EXPECT_EQ(nullptr, pDevice) << "a failed call leaves no stale pointer behind";

    // Methods the stand-in does not implement say so instead of pretending to succeed.
    EXPECT_EQ(E_NOTIMPL, enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, nullptr));
}

TEST_F(RendererActivationTest, DeviceIdIsTaskMemoryAndGetDeviceFindsTheSameEndpoint) {
    standin::EndpointConfig config;
    config.id = L"{0.0.0.00000000}.{aaaaaaaa-1111-2222-3333-444444444444}";
    standin::SetDefaultEndpoint(config);
    ComPtr<IMMDeviceEnumerator> enumerator;
    ASSERT_EQ(S_OK, CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                     __uuidof(IMMDeviceEnumerator),
                                     enumerator.ReleaseAndGetVoidAddressOf()));
    ComPtr<IMMDevice> device;
    ASSERT_EQ(S_OK, enumerator->GetDefaultAudioEndpoint(eRender, eConsole,
                                                        device.ReleaseAndGetAddressOf()));
    LPWSTR pszId = nullptr;
    ASSERT_EQ(S_OK, device->GetId(&pszId));
    EXPECT_EQ(config.id, std::wstring(pszId));
    EXPECT_EQ(1u, standin::Live().taskMemBlocks);
    ComPtr<IMMDevice> same;
    EXPECT_EQ(S_OK, enumerator->GetDevice(pszId, same.ReleaseAndGetAddressOf()));
    CoTaskMemFree(pszId);
    EXPECT_EQ(0u, standin::Live().taskMemBlocks);
    EXPECT_EQ(E_NOTFOUND,
              enumerator->GetDevice(L"{0.0.0.00000000}.{other}", same.ReleaseAndGetAddressOf()));

    // Only the spatial-audio client is activated here.
    ComPtr<IUnknown> other;
    EXPECT_EQ(E_NOINTERFACE, device->Activate(__uuidof(IMMDevice), CLSCTX_INPROC_SERVER, nullptr,
                                              other.ReleaseAndGetVoidAddressOf()));
    EXPECT_FALSE(other);
}

TEST_F(RendererActivationTest, ClientActivationRecordsArriveAsPassed) {
    SpatialAudioClientActivationParams params = {};
    params.tracingContextId = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    params.appId = {0xA1A2A3A4, 0xB1B2, 0xC1C2, {1, 2, 3, 4, 5, 6, 7, 8}};
    params.majorVersion = 2016;
    params.minorVersion1 = 2;
    params.minorVersion2 = 6;
    params.minorVersion3 = 1;
    PROPVARIANT variant;
    PropVariantInit(&variant);
    variant.vt = VT_BLOB;
    variant.blob.cbSize = sizeof(params);
    variant.blob.pBlobData = reinterpret_cast<BYTE*>(&params);

    ComPtr<ISpatialAudioClient> client;
    EXPECT_EQ(S_OK, OpenDefaultClient(client, &variant));
    EXPECT_EQ(S_OK, OpenDefaultClient(client, nullptr));
    variant.blob.cbSize = 40;  // not the record's size
    EXPECT_EQ(E_INVALIDARG, OpenDefaultClient(client, &variant));

    const std::vector<standin::ClientActivation> records = standin::ClientActivations();
    ASSERT_EQ(3u, records.size());
    EXPECT_TRUE(records[0].hasParams);
    EXPECT_EQ(VT_BLOB, records[0].vt);
    EXPECT_EQ(48u, records[0].blobSize);
    EXPECT_EQ(0, std::memcmp(&params, &records[0].params, sizeof(params)));
    EXPECT_FALSE(records[0].asynchronous);
    EXPECT_FALSE(records[1].hasParams);
    EXPECT_EQ(40u, records[2].blobSize);
    EXPECT_EQ(E_INVALIDARG, records[2].result);
}

TEST_F(RendererActivationTest, ClientReportsWhatTheEndpointIsConfiguredWith) {
    standin::EndpointConfig config;
    config.formats = {standin::FloatMonoFormat(48000), standin::FloatMonoFormat(44100)};
    config.frameCount = 441;
    config.maxDynamicObjects = 120;
    config.nativeStaticMask = 0x3F;
    standin::SetDefaultEndpoint(config);
    ComPtr<ISpatialAudioClient> client;
    ASSERT_EQ(S_OK, OpenDefaultClient(client));

    ComPtr<IAudioFormatEnumerator> formats;
    ASSERT_EQ(S_OK,
              client->GetSupportedAudioObjectFormatEnumerator(formats.ReleaseAndGetAddressOf()));
    UINT32 uCount = 0;
    ASSERT_EQ(S_OK, formats->GetCount(&uCount));
    ASSERT_EQ(2u, uCount);
    WAVEFORMATEX* pFormat = nullptr;
    ASSERT_EQ(S_OK, formats->GetFormat(1, &pFormat));
    EXPECT_EQ(44100u, pFormat->nSamplesPerSec);
    EXPECT_EQ(WAVE_FORMAT_IEEE_FLOAT, pFormat->wFormatTag);
    EXPECT_EQ(4u, pFormat->nBlockAlign);
    EXPECT_EQ(E_INVALIDARG, formats->GetFormat(2, &pFormat));
    EXPECT_EQ(nullptr, pFormat);

    UINT32 uValue = 0;
    EXPECT_EQ(S_OK, client->GetMaxDynamicObjectCount(&uValue));
    EXPECT_EQ(120u, uValue);
    const WAVEFORMATEX offered = standin::FloatMonoFormat(44100);
    EXPECT_EQ(S_OK, client->GetMaxFrameCount(&offered, &uValue));
    EXPECT_EQ(441u, uValue);
    AudioObjectType eMask = AudioObjectType_None;
    EXPECT_EQ(S_OK, client->GetNativeStaticObjectTypeMask(&eMask));
    EXPECT_EQ(0x3Fu, static_cast<uint32_t>(eMask));
    EXPECT_EQ(S_OK, client->IsAudioObjectFormatSupported(&offered));
    WAVEFORMATEX stereo = standin::FloatMonoFormat(48000);
    stereo.nChannels = 2;
    stereo.nBlockAlign = 8;
    stereo.nAvgBytesPerSec = 48000 * 8;
    EXPECT_EQ(AUDCLNT_E_UNSUPPORTED_FORMAT, client->IsAudioObjectFormatSupported(&stereo));
    EXPECT_EQ(AUDCLNT_E_UNSUPPORTED_FORMAT, client->GetMaxFrameCount(&stereo, &uValue));

    // An endpoint may offer nothing at all.
    config.formats.clear();
    standin::SetDefaultEndpoint(config);
    ASSERT_EQ(S_OK, OpenDefaultClient(client));
    ASSERT_EQ(S_OK,
              client->GetSupportedAudioObjectFormatEnumerator(formats.ReleaseAndGetAddressOf()));
    ASSERT_EQ(S_OK, formats->GetCount(&uCount));
    EXPECT_EQ(0u, uCount);
}

TEST_F(RendererActivationTest, StaticPositionsFollowTheUsualSpeakerLayout) {
    ComPtr<ISpatialAudioClient> client;
    ASSERT_EQ(S_OK, OpenDefaultClient(client));
    struct Expected {
        AudioObjectType eType;
        double dAzimuth;  // degrees to the right of straight ahead
        double dElevation;
    };
    const Expected expected[] = {
        {AudioObjectType_FrontLeft, -30, 0},     {AudioObjectType_FrontRight, 30, 0},
        {AudioObjectType_FrontCenter, 0, 0},     {AudioObjectType_SideLeft, -90, 0},
        {AudioObjectType_SideRight, 90, 0},      {AudioObjectType_BackLeft, -135, 0},
        {AudioObjectType_BackRight, 135, 0},     {AudioObjectType_TopFrontLeft, -30, 45},
        {AudioObjectType_TopFrontRight, 30, 45}, {AudioObjectType_TopBackLeft, -135, 45},
        {AudioObjectType_TopBackRight, 135, 45}, {AudioObjectType_BackCenter, 180, 0},
    };
    constexpr double kDegrees = 180.0 / 3.14159265358979;
    for (const Expected& speaker : expected) {
        float x = 0, y = 0, z = 0;
        ASSERT_EQ(S_OK, client->GetStaticObjectPosition(speaker.eType, &x, &y, &z));
        // Right-handed: +x right, +y up, -z in front of the listener.
        const double dAzimuth = std::atan2(x, -z) * kDegrees;
        const double dElevation =
            std::atan2(y, std::sqrt(double{x} * x + double{z} * z)) * kDegrees;
        EXPECT_NEAR(std::fabs(speaker.dAzimuth) == 180 ? 180 : speaker.dAzimuth,
                    std::fabs(speaker.dAzimuth) == 180 ? std::fabs(dAzimuth) : dAzimuth, 1.0)
            << "type " << speaker.eType;
        EXPECT_NEAR(speaker.dElevation, dElevation, 1.0) << "type " << speaker.eType;
    }
    float x, y, z;
    EXPECT_EQ(E_INVALIDARG, client->GetStaticObjectPosition(AudioObjectType_Dynamic, &x, &y, &z));
    EXPECT_EQ(E_INVALIDARG, client->GetStaticObjectPosition(
                                static_cast<AudioObjectType>(AudioObjectType_FrontLeft |
                                                             AudioObjectType_FrontRight),
                                &x, &y, &z));
}

TEST_F(RendererActivationTest, StreamActivationRefusesABadRecord) {
    ComPtr<ISpatialAudioClient> client;
    ASSERT_EQ(S_OK, OpenDefaultClient(client));
    EventHolder event;
    ComPtr<ISpatialAudioObjectRenderStream> stream;

    EXPECT_EQ(E_INVALIDARG,
              client->ActivateSpatialAudioStream(nullptr, __uuidof(ISpatialAudioObjectRenderStream),
                                                 stream.ReleaseAndGetVoidAddressOf()));
    StreamRequest request;
    EXPECT_EQ(E_INVALIDARG, ActivateStream(client.Get(), request, stream)) << "null event";
    request.hEvent = event.Get();
    const WAVEFORMATEX other = standin::FloatMonoFormat(44100);
    request.pFormat = &other;
    EXPECT_EQ(AUDCLNT_E_UNSUPPORTED_FORMAT, ActivateStream(client.Get(), request, stream));
    request.pFormat = nullptr;
    request.uStaticMask = 0x1FFE | AudioObjectType_Dynamic;
    EXPECT_EQ(E_INVALIDARG, ActivateStream(client.Get(), request, stream));
    request.uStaticMask = 0x1FFE;
    request.uMinDynamic = 17;  // more than the grant of 16
    request.uMaxDynamic = 17;
    EXPECT_EQ(SPTLAUDCLNT_E_NO_MORE_OBJECTS, ActivateStream(client.Get(), request, stream));
    request.uMinDynamic = 3;
    request.uMaxDynamic = 2;
    EXPECT_EQ(E_INVALIDARG, ActivateStream(client.Get(), request, stream));
    EXPECT_FALSE(stream);

    request.uMinDynamic = 2;
    request.uMaxDynamic = 8;
    ASSERT_EQ(S_OK, ActivateStream(client.Get(), request, stream));

    const std::vector<standin::StreamActivation> records = standin::StreamActivations();
    ASSERT_EQ(7u, records.size());
    EXPECT_EQ(VT_EMPTY, records[0].vt);
    EXPECT_FALSE(records[1].hadEventHandle);
    EXPECT_EQ(44100u, records[2].objectFormat.nSamplesPerSec);
    const standin::StreamActivation& good = records.back();
    EXPECT_EQ(VT_BLOB, good.vt);
    EXPECT_EQ(sizeof(SpatialAudioObjectRenderStreamActivationParams), good.blobSize);
    EXPECT_EQ(48000u, good.objectFormat.nSamplesPerSec);
    EXPECT_EQ(0x1FFEu, good.staticObjectTypeMask);
    EXPECT_EQ(2u, good.minDynamicObjectCount);
    EXPECT_EQ(8u, good.maxDynamicObjectCount);
    EXPECT_EQ(static_cast<uint32_t>(AudioCategory_GameEffects), good.category);
    EXPECT_TRUE(good.hadEventHandle);
    EXPECT_FALSE(good.hadNotifyObject);
    EXPECT_EQ(S_OK, good.result);
    EXPECT_NE(0u, good.streamId);
}

TEST_F(RendererActivationTest, WithSpatialSoundOffOnlyStaticStreamsActivate) {
    standin::EndpointConfig config;
    config.maxDynamicObjects = 0;
    standin::SetDefaultEndpoint(config);
    ComPtr<ISpatialAudioClient> client;
    ASSERT_EQ(S_OK, OpenDefaultClient(client));
    EventHolder event;
    StreamRequest request;
    request.hEvent = event.Get();
    request.uMaxDynamic = 1;
    ComPtr<ISpatialAudioObjectRenderStream> stream;
    EXPECT_EQ(E_INVALIDARG, ActivateStream(client.Get(), request, stream));
    request.uMaxDynamic = 0;
    EXPECT_EQ(S_OK, ActivateStream(client.Get(), request, stream));
    ComPtr<ISpatialAudioObject> object;
    EXPECT_EQ(SPTLAUDCLNT_E_NO_MORE_OBJECTS,
              stream->ActivateSpatialAudioObject(AudioObjectType_Dynamic,
                                                 object.ReleaseAndGetAddressOf()));
    EXPECT_EQ(S_OK, stream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                       object.ReleaseAndGetAddressOf()));
}

TEST_F(RendererActivationTest, StreamKeepsItsOwnDuplicateOfTheEventAndNeverClosesTheCallers) {
    ComPtr<ISpatialAudioClient> client;
    ASSERT_EQ(S_OK, OpenDefaultClient(client));
    HANDLE hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    StreamRequest request;
    request.hEvent = hEvent;
    ComPtr<ISpatialAudioObjectRenderStream> stream;
    ASSERT_EQ(S_OK, ActivateStream(client.Get(), request, stream));
    EXPECT_EQ(2u, standin::Live().eventHandles);

    // The caller may close its handle; the stream still signals the event through its own.
    HANDLE hCopy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), hEvent, GetCurrentProcess(), &hCopy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    ASSERT_TRUE(CloseHandle(hEvent));
    ASSERT_EQ(S_OK, stream->Start());
    EXPECT_EQ(0u, standin::Step(std::chrono::milliseconds(0)));  // signal without waiting
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hCopy, 0));

    // Releasing the stream closes its duplicate and nothing else.
    stream.Reset();
    EXPECT_EQ(1u, standin::Live().eventHandles);
    EXPECT_TRUE(SetEvent(hCopy));
    EXPECT_TRUE(CloseHandle(hCopy));
}

// A notify object that counts its references and calls back into the renderer from AddRef and
// Release, which would deadlock if the renderer held its lock while calling them.
class CountingNotify final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        standin::Streams();
        return ++m_uRefs;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        standin::Streams();
        return --m_uRefs;
    }
    ULONG m_uRefs = 1;
};

TEST_F(RendererActivationTest, StreamHoldsTheNotifyObjectForItsLifeOnly) {
    ComPtr<ISpatialAudioClient> client;
    ASSERT_EQ(S_OK, OpenDefaultClient(client));
    EventHolder event;
    ComPtr<IAudioFormatEnumerator> formats;
    CountingNotify notify;
    SpatialAudioObjectRenderStreamActivationParams params = {};
    params.ObjectFormat = testing_support::FirstFormat(client.Get(), formats);
    params.StaticObjectTypeMask = static_cast<AudioObjectType>(0x1FFE);
    params.Category = AudioCategory_GameEffects;
    params.EventHandle = event.Get();
    params.NotifyObject =
        reinterpret_cast<ISpatialAudioObjectRenderStreamNotify*>(static_cast<IUnknown*>(&notify));
    PROPVARIANT variant;
    PropVariantInit(&variant);
    variant.vt = VT_BLOB;
    variant.blob.cbSize = sizeof(params);
    variant.blob.pBlobData = reinterpret_cast<BYTE*>(&params);
    ComPtr<ISpatialAudioObjectRenderStream> stream;
    ASSERT_EQ(S_OK, client->ActivateSpatialAudioStream(&variant,
                                                       __uuidof(ISpatialAudioObjectRenderStream),
                                                       stream.ReleaseAndGetVoidAddressOf()));
    EXPECT_EQ(2u, notify.m_uRefs);
    EXPECT_TRUE(standin::StreamActivations().back().hadNotifyObject);
    stream.Reset();
    EXPECT_EQ(1u, notify.m_uRefs);

    params.MinDynamicObjectCount = params.MaxDynamicObjectCount = 1000;  // refused
    EXPECT_EQ(
        SPTLAUDCLNT_E_NO_MORE_OBJECTS,
        client->ActivateSpatialAudioStream(&variant, __uuidof(ISpatialAudioObjectRenderStream),
                                           stream.ReleaseAndGetVoidAddressOf()));
    EXPECT_EQ(1u, notify.m_uRefs) << "a refused activation keeps no reference";
}

TEST_F(RendererActivationTest, DynamicObjectsAreLimitedByTheStreamAndTheEndpointsGrant) {
    standin::EndpointConfig config;
    config.maxDynamicObjects = 4;
    standin::SetDefaultEndpoint(config);
    ComPtr<ISpatialAudioClient> client;
    ASSERT_EQ(S_OK, OpenDefaultClient(client));
    EventHolder event;
    StreamRequest request;
    request.hEvent = event.Get();
    request.uMinDynamic = 1;
    request.uMaxDynamic = 3;
    ComPtr<ISpatialAudioObjectRenderStream> first;
    ASSERT_EQ(S_OK, ActivateStream(client.Get(), request, first));

    ComPtr<ISpatialAudioObject> objects[4];
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(S_OK, first->ActivateSpatialAudioObject(AudioObjectType_Dynamic,
                                                          objects[i].ReleaseAndGetAddressOf()));
    }
    EXPECT_EQ(SPTLAUDCLNT_E_NO_MORE_OBJECTS,
              first->ActivateSpatialAudioObject(AudioObjectType_Dynamic,
                                                objects[3].ReleaseAndGetAddressOf()))
        << "the stream's maximum";
    UINT32 uAvailable = 99;
    EXPECT_EQ(S_OK, first->GetAvailableDynamicObjectCount(&uAvailable));
    EXPECT_EQ(0u, uAvailable);

    // The grant is shared: one object is left on the endpoint for a second stream.
    ComPtr<ISpatialAudioObjectRenderStream> second;
    request.uMinDynamic = 2;
    request.uMaxDynamic = 2;
    EXPECT_EQ(SPTLAUDCLNT_E_NO_MORE_OBJECTS, ActivateStream(client.Get(), request, second));
    request.uMinDynamic = 0;
    ASSERT_EQ(S_OK, ActivateStream(client.Get(), request, second));
    EXPECT_EQ(S_OK, second->GetAvailableDynamicObjectCount(&uAvailable));
    EXPECT_EQ(1u, uAvailable);
    EXPECT_EQ(S_OK, second->ActivateSpatialAudioObject(AudioObjectType_Dynamic,
                                                       objects[3].ReleaseAndGetAddressOf()));
    ComPtr<ISpatialAudioObject> extra;
    EXPECT_EQ(SPTLAUDCLNT_E_NO_MORE_OBJECTS,
              second->ActivateSpatialAudioObject(AudioObjectType_Dynamic,
                                                 extra.ReleaseAndGetAddressOf()));

    // Releasing an object gives its place back.
    objects[0].Reset();
    EXPECT_EQ(S_OK, second->ActivateSpatialAudioObject(AudioObjectType_Dynamic,
                                                       extra.ReleaseAndGetAddressOf()));
    EXPECT_EQ(4u, standin::Live().audioObjects);
}

TEST_F(RendererActivationTest, StaticObjectsFollowTheStreamsMaskOncePerType) {
    ComPtr<ISpatialAudioClient> client;
    ASSERT_EQ(S_OK, OpenDefaultClient(client));
    EventHolder event;
    StreamRequest request;
    request.hEvent = event.Get();
    request.uStaticMask = AudioObjectType_FrontLeft | AudioObjectType_FrontRight;
    ComPtr<ISpatialAudioObjectRenderStream> stream;
    ASSERT_EQ(S_OK, ActivateStream(client.Get(), request, stream));

    ComPtr<ISpatialAudioObject> left, again, centre;
    EXPECT_EQ(S_OK, stream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                       left.ReleaseAndGetAddressOf()));
    EXPECT_EQ(SPTLAUDCLNT_E_OBJECT_ALREADY_ACTIVE,
              stream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                 again.ReleaseAndGetAddressOf()));
    EXPECT_EQ(SPTLAUDCLNT_E_STATIC_OBJECT_NOT_AVAILABLE,
              stream->ActivateSpatialAudioObject(AudioObjectType_FrontCenter,
                                                 centre.ReleaseAndGetAddressOf()));
    EXPECT_EQ(E_INVALIDARG, stream->ActivateSpatialAudioObject(AudioObjectType_None,
                                                               centre.ReleaseAndGetAddressOf()));
    EXPECT_FALSE(again);
    EXPECT_FALSE(centre);
    AudioObjectType eType = AudioObjectType_None;
    EXPECT_EQ(S_OK, left->GetAudioObjectType(&eType));
    EXPECT_EQ(AudioObjectType_FrontLeft, eType);

    // Once released, the type can be activated anew.
    left.Reset();
    EXPECT_EQ(S_OK, stream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                       again.ReleaseAndGetAddressOf()));
}

TEST_F(RendererActivationTest, NonNativeStaticTypesTakeDynamicObjectsButTheLowFrequencyOneDoesNot) {
    standin::EndpointConfig config;
    config.nativeStaticMask = AudioObjectType_FrontLeft | AudioObjectType_FrontRight;
    config.maxDynamicObjects = 2;
    standin::SetDefaultEndpoint(config);
    ComPtr<ISpatialAudioClient> client;
    ASSERT_EQ(S_OK, OpenDefaultClient(client));
    EventHolder event;
    StreamRequest request;
    request.hEvent = event.Get();
    // Front centre is not native and takes one of the two dynamic objects; LFE takes none.
    request.uStaticMask = AudioObjectType_FrontLeft | AudioObjectType_FrontRight |
                          AudioObjectType_FrontCenter | AudioObjectType_LowFrequency;
    request.uMinDynamic = 2;
    request.uMaxDynamic = 2;
    ComPtr<ISpatialAudioObjectRenderStream> stream;
    EXPECT_EQ(SPTLAUDCLNT_E_NO_MORE_OBJECTS, ActivateStream(client.Get(), request, stream));
    request.uMinDynamic = 1;
    EXPECT_EQ(S_OK, ActivateStream(client.Get(), request, stream));
    UINT32 uAvailable = 0;
    EXPECT_EQ(S_OK, stream->GetAvailableDynamicObjectCount(&uAvailable));
    EXPECT_EQ(1u, uAvailable);
}

// Asks every interface of interest and checks which are answered, that a refusal leaves a null
// pointer and adds no reference, and that every answer is the same object.
void ExpectInterfaces(IUnknown* in_pObject, std::initializer_list<IID> in_answered,
                      std::initializer_list<IID> in_refused) {
    IUnknown* pIdentity = nullptr;
    ASSERT_EQ(S_OK,
              in_pObject->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&pIdentity)));
    for (const IID& iid : in_answered) {
        void* pInterface = nullptr;
        EXPECT_EQ(S_OK, in_pObject->QueryInterface(iid, &pInterface));
        ASSERT_NE(nullptr, pInterface);
        IUnknown* pOther = nullptr;
        static_cast<IUnknown*>(pInterface)
            ->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&pOther));
        EXPECT_EQ(pIdentity, pOther);
        pOther->Release();
        static_cast<IUnknown*>(pInterface)->Release();
    }
    const size_t uReferences = standin::Live().references;
    for (const IID& iid : in_refused) {
        void* pInterface = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(E_NOINTERFACE, in_pObject->QueryInterface(iid, &pInterface));
        EXPECT_EQ(nullptr, pInterface);
    }
    EXPECT_EQ(uReferences, standin::Live().references);
    pIdentity->Release();
}

TEST_F(RendererActivationTest, EachObjectAnswersExactlyItsSdkInterfaces) {
    ComPtr<IMMDeviceEnumerator> enumerator;
    ASSERT_EQ(S_OK, CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                     __uuidof(IMMDeviceEnumerator),
                                     enumerator.ReleaseAndGetVoidAddressOf()));
    ComPtr<IMMDevice> device;
    ASSERT_EQ(S_OK, enumerator->GetDefaultAudioEndpoint(eRender, eConsole,
                                                        device.ReleaseAndGetAddressOf()));
    ComPtr<ISpatialAudioClient> client;
    ASSERT_EQ(S_OK, device->Activate(__uuidof(ISpatialAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                                     client.ReleaseAndGetVoidAddressOf()));
    ComPtr<IAudioFormatEnumerator> formats;
    ASSERT_EQ(S_OK,
              client->GetSupportedAudioObjectFormatEnumerator(formats.ReleaseAndGetAddressOf()));
    EventHolder event;
    StreamRequest request;
    request.hEvent = event.Get();
    request.uMaxDynamic = 1;
    ComPtr<ISpatialAudioObjectRenderStream> stream;
    ASSERT_EQ(S_OK, ActivateStream(client.Get(), request, stream));
    ComPtr<ISpatialAudioObject> object;
    ASSERT_EQ(S_OK, stream->ActivateSpatialAudioObject(AudioObjectType_Dynamic,
                                                       object.ReleaseAndGetAddressOf()));

    ExpectInterfaces(enumerator.Get(), {__uuidof(IMMDeviceEnumerator)},
                     {__uuidof(IMMDevice), __uuidof(IAgileObject), __uuidof(IMarshal)});
    ExpectInterfaces(device.Get(), {__uuidof(IMMDevice)},
                     {__uuidof(IMMDeviceEnumerator), __uuidof(ISpatialAudioClient)});
    ExpectInterfaces(client.Get(), {__uuidof(ISpatialAudioClient)},
                     {__uuidof(IMMDevice), __uuidof(ISpatialAudioObjectRenderStream)});
    ExpectInterfaces(formats.Get(), {__uuidof(IAudioFormatEnumerator)},
                     {__uuidof(ISpatialAudioClient)});
    ExpectInterfaces(
        stream.Get(),
        {__uuidof(ISpatialAudioObjectRenderStreamBase), __uuidof(ISpatialAudioObjectRenderStream)},
        {__uuidof(ISpatialAudioObject), __uuidof(ISpatialAudioClient)});
    ExpectInterfaces(object.Get(),
                     {__uuidof(ISpatialAudioObjectBase), __uuidof(ISpatialAudioObject)},
                     {__uuidof(ISpatialAudioObjectRenderStream), __uuidof(IAgileObject)});
}

TEST_F(RendererActivationTest, AnyMethodCanBeMadeToFailOnItsNthCall) {
    ComPtr<ISpatialAudioClient> client;
    ASSERT_EQ(S_OK, OpenDefaultClient(client));
    EventHolder event;
    StreamRequest request;
    request.hEvent = event.Get();
    standin::FailCall("ISpatialAudioClient::ActivateSpatialAudioStream", 2, E_OUTOFMEMORY);
    ComPtr<ISpatialAudioObjectRenderStream> streams[3];
    EXPECT_EQ(S_OK, ActivateStream(client.Get(), request, streams[0]));
    EXPECT_EQ(E_OUTOFMEMORY, ActivateStream(client.Get(), request, streams[1]));
    EXPECT_FALSE(streams[1]);
    EXPECT_EQ(S_OK, ActivateStream(client.Get(), request, streams[2]));

    // Methods are named after the interface that declares them.
    standin::ClearCallLog();
    standin::FailCall("ISpatialAudioObjectRenderStreamBase::BeginUpdatingAudioObjects", 1,
                      SPTLAUDCLNT_E_INTERNAL);
    UINT32 uAvailable = 0, uFrames = 0;
    EXPECT_EQ(SPTLAUDCLNT_E_INTERNAL, streams[0]->BeginUpdatingAudioObjects(&uAvailable, &uFrames));
    EXPECT_EQ(S_OK, streams[0]->BeginUpdatingAudioObjects(&uAvailable, &uFrames));
    EXPECT_EQ(S_OK, streams[0]->EndUpdatingAudioObjects());
    const std::vector<std::string> expected = {
        "ISpatialAudioObjectRenderStreamBase::BeginUpdatingAudioObjects",
        "ISpatialAudioObjectRenderStreamBase::BeginUpdatingAudioObjects",
        "ISpatialAudioObjectRenderStreamBase::EndUpdatingAudioObjects"};
    EXPECT_EQ(expected, standin::CallLog());

    standin::FailCall("IUnknown::QueryInterface", 1, E_NOINTERFACE);
    ComPtr<ISpatialAudioClient> same;
    EXPECT_EQ(E_NOINTERFACE, client->QueryInterface(__uuidof(ISpatialAudioClient),
                                                    same.ReleaseAndGetVoidAddressOf()));
    EXPECT_FALSE(same);
}

}  // namespace
