// The mixer's render stream through its life, for both builds: how it is opened, what happens
// without an endpoint or a grant, and how a lost stream comes back (on the same endpoint, whose
// dynamic objects the lost stream must give back first, and on a new one); the Universal Windows
// build's wait for its completion and its handler as a platform object.

#include <gtest/gtest.h>

#include <objidl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ActivationHandler.h"
#include "ClientActivationParams.h"
#include "MixerTestSupport.h"
#include "standin/Control.h"

namespace {

using mixer_tests::AllNear;
using mixer_tests::kMono;
using mixer_tests::kStereo;
using mixer_tests::SoundingObjects;

const float kCentreGain = std::cos(0.25f * 3.14159265f);
constexpr const char* kLostNotice = "WS Mixer Plugin: Resetting";
constexpr const char* kBackNotice = "WS Mixer Plugin: Objects restored";
using LevelledNotices = std::vector<std::pair<std::string, uint32_t>>;

template <typename TypeParam>
class MixerStreamTest : public mixer_tests::MixerTest<TypeParam> {
protected:
    // The notices posted so far, each of the desktop build's two and at its level.
    std::vector<std::string> Notices() {
        std::vector<std::string> texts;
        for (const host::HostMonitorLog::Message& message :
             this->m_pContext->MonitorLog().Messages()) {
            EXPECT_EQ(1u, message.eLevel);
            texts.push_back(message.text);
        }
        return texts;
    }
    // What the build posts for one loss that ends with the objects back.
    static std::vector<std::string> LostAndBack() {
        if (!TypeParam::kDesktop) {
            return {};
        }
        return {kLostNotice, kBackNotice};
    }

    // Two voices ahead at their own distances, playing.
    void PlayTwoVoices() {
        this->AddVoice(kMono, {0.5f}, 2.0f, 0.0f);
        this->AddVoice(kMono, {0.25f}, 3.0f, 0.0f);
        this->Frame();
        ASSERT_EQ(2u, SoundingObjects(this->LastPass()));
    }

    // Frames until both voices sound again, whole passes of them, on a stream other than
    // in_uLostStream (on objects in either order: each voice that starts gets a fresh one).
    bool PlayingAgainOnAnotherStream(uint64_t in_uLostStream) {
        return this->FramesUntil([&]() {
            const standin::Pass pass = this->LastPass();
            if (pass.streamId == 0 || pass.streamId == in_uLostStream ||
                SoundingObjects(pass) != 2) {
                return false;
            }
            size_t uWhole = 0;
            for (const standin::ObjectPass& object : pass.objects) {
                uWhole += AllNear(object.samples, 0.5f) || AllNear(object.samples, 0.25f) ? 1 : 0;
            }
            return uWhole == 2;
        });
    }

    uint64_t CurrentStreamId() { return standin::StreamActivations().back().streamId; }

    // Every notice posted so far, with its level.
    LevelledNotices NoticesWithLevels() {
        LevelledNotices notices;
        for (const host::HostMonitorLog::Message& message :
             this->m_pContext->MonitorLog().Messages()) {
            notices.emplace_back(message.text, message.eLevel);
        }
        return notices;
    }
};
TYPED_TEST_SUITE(MixerStreamTest, mixer_tests::Builds, mixer_tests::BuildNames);

TYPED_TEST(MixerStreamTest, OpensOneStreamForTheWholeGrantWithTheBuildsActivationRecord) {
    ASSERT_EQ(ZV_Success, this->Start());
    EXPECT_EQ(StreamRunning, this->m_pMixer->CurrentStreamState());
    const std::vector<standin::ClientActivation> clients = standin::ClientActivations();
    ASSERT_EQ(1u, clients.size());
    EXPECT_EQ(!TypeParam::kDesktop, clients[0].asynchronous);
    EXPECT_EQ(VT_BLOB, clients[0].vt);
    EXPECT_EQ(48u, clients[0].blobSize);
    EXPECT_EQ(2016, clients[0].params.majorVersion);
    EXPECT_EQ(2, clients[0].params.minorVersion1);
    EXPECT_EQ(6, clients[0].params.minorVersion2);
    EXPECT_EQ(TypeParam::kActivationMinorVersion3, clients[0].params.minorVersion3);
    EXPECT_EQ(0, memcmp(&kZvApplicationId, &clients[0].params.appId, sizeof(GUID)));
    const std::vector<standin::StreamActivation> streams = standin::StreamActivations();
    ASSERT_EQ(1u, streams.size());
    EXPECT_EQ(16u, streams[0].minDynamicObjectCount);
    EXPECT_EQ(16u, streams[0].maxDynamicObjectCount);
    EXPECT_TRUE(streams[0].hadEventHandle);
    EXPECT_FALSE(streams[0].hadNotifyObject);
    EXPECT_EQ(1u, standin::StartedStreamCount());
}

TYPED_TEST(MixerStreamTest, WithoutAnEndpointOrAGrantEveryVoicePlaysOnTheBed) {
    standin::RemoveDefaultEndpoint();
    ASSERT_EQ(ZV_Success, this->Start());
    EXPECT_EQ(StreamClosed, this->m_pMixer->CurrentStreamState());
    EXPECT_EQ(0u, standin::Live().workItems) << "no worker without a stream";
    this->AddVoice(kMono, {1.0f}, 1.0f, 0.0f);
    this->Frame();
    EXPECT_NEAR(kCentreGain, this->Mix(0, 0), 1e-5f);
    SpatialMixerFX::MonitorData counters = this->LastCounters();
    EXPECT_EQ(0u, counters.uPlayingObjects);
    EXPECT_EQ(1u, counters.uTotalVoices);
    EXPECT_EQ(0u, counters.uMaxAvailableObjects);
    this->Terminate();

    // Spatial sound off: the renderer grants nothing, so no stream is asked for.
    standin::EndpointConfig noGrant;
    noGrant.maxDynamicObjects = 0;
    standin::SetDefaultEndpoint(noGrant);
    ASSERT_EQ(ZV_Success, this->Start());
    EXPECT_TRUE(standin::StreamActivations().empty());
    this->AddVoice(kMono, {1.0f}, 1.0f, 0.0f);
    this->Frame();
    EXPECT_NEAR(kCentreGain, this->Mix(0, 0), 1e-5f);
    counters = this->LastCounters();
    EXPECT_EQ(0u, counters.uPlayingObjects);
    EXPECT_EQ(0u, counters.uMaxAvailableObjects);
}

TYPED_TEST(MixerStreamTest, AStreamLostInAPassIsReopenedOnTheSameEndpointOnceItsObjectsAreGone) {
    ASSERT_EQ(ZV_Success, this->Start());
    this->PlayTwoVoices();
    const uint64_t uLost = this->CurrentStreamId();

    // The next pass fails to begin; its End is out of order, so that pass never ends.
    standin::FailCall("ISpatialAudioObjectRenderStreamBase::BeginUpdatingAudioObjects", 1,
                      AUDCLNT_E_RESOURCES_INVALIDATED);
    this->m_pDriver->RunFrame();
    standin::Step(std::chrono::milliseconds(100));
    ASSERT_TRUE(testing_support::WaitUntil(
        [&]() { return this->m_pMixer->CurrentStreamState() == StreamLost; }));

    // While the stream is lost no voice waits in a record: they play on the bed.
    const size_t uCountersBefore = this->Counters().size();
    this->m_pDriver->RunFrame();
    EXPECT_NEAR(0.75f * kCentreGain, this->Mix(0, 0), 1e-5f);
    EXPECT_EQ(uCountersBefore, this->Counters().size()) << "no counters in a reset frame";

    // The new stream asks the same endpoint for its whole grant: it gets it only because the lost
    // stream and every object on it were released first.
    ASSERT_TRUE(this->PlayingAgainOnAnotherStream(uLost));
    const std::vector<standin::StreamActivation> streams = standin::StreamActivations();
    ASSERT_EQ(2u, streams.size());
    EXPECT_EQ(S_OK, streams[1].result);
    EXPECT_EQ(16u, streams[1].minDynamicObjectCount);
    EXPECT_EQ(1u, standin::StartedStreamCount());
    EXPECT_EQ(this->LostAndBack(), this->Notices());
    EXPECT_EQ(2u, this->LastCounters().uPlayingObjects);
    EXPECT_EQ(2u, this->LastCounters().uTotalVoices);
}

TYPED_TEST(MixerStreamTest, ALostDeviceGivesWayToTheNewDefaultEndpointWhosePeriodsAreReadInFull) {
    ASSERT_EQ(ZV_Success, this->Start());
    this->PlayTwoVoices();
    const uint64_t uLost = this->CurrentStreamId();

    // The renderer stops signalling: the worker's wait runs out after 100 ms of renderer time.
    standin::LoseDevice();
    ASSERT_TRUE(this->StepUntilLost());
    // The new endpoint's passes are twice as long as those of the stream the mixer started with.
    standin::EndpointConfig newEndpoint;
    newEndpoint.id = L"{0.0.0.00000000}.{a1b2c3d4-0000-4000-8000-000000000001}";
    newEndpoint.maxDynamicObjects = 8;
    newEndpoint.frameCount = 960;
    standin::SetDefaultEndpoint(newEndpoint);

    // Two host buffers for every pass: each pass finds what it takes.
    standin::Pass pass;
    ASSERT_TRUE(this->FramesUntil([&]() {
        this->m_pDriver->RunFrame();
        pass = this->LastPass();
        return pass.streamId != 0 && pass.streamId != uLost && SoundingObjects(pass) == 2;
    }));
    for (int i = 0; i < 4; ++i) {
        this->m_pDriver->RunFrame();
        this->Frame();
        // Each voice on an object of its own, the louder one activated first or second.
        std::vector<std::vector<float>> sounding;
        for (const standin::ObjectPass& object : this->LastPass().objects) {
            if (mixer_tests::IsSounding(object)) {
                sounding.push_back(object.samples);
            }
        }
        ASSERT_EQ(2u, sounding.size());
        std::sort(sounding.begin(), sounding.end());
        ASSERT_EQ(960u, sounding[0].size());
        EXPECT_TRUE(AllNear(sounding[0], 0.25f)) << i;
        EXPECT_TRUE(AllNear(sounding[1], 0.5f)) << i;
    }
    EXPECT_EQ(8u, this->LastCounters().uMaxAvailableObjects);
    EXPECT_EQ(this->LostAndBack(), this->Notices());
}

TYPED_TEST(MixerStreamTest, ALossWithoutAnEndpointPlaysOnTheBedUntilOneIsBackWithinASecond) {
    ASSERT_EQ(ZV_Success, this->Start());
    this->PlayTwoVoices();
    standin::LoseDevice();
    standin::RemoveDefaultEndpoint();
    ASSERT_TRUE(this->StepUntilLost());
    for (int i = 0; i < 3; ++i) {
        this->SettledFrame();
    }
    EXPECT_EQ(StreamClosed, this->m_pMixer->CurrentStreamState());
    EXPECT_NEAR(0.75f * kCentreGain, this->Mix(0, 0), 1e-5f);
    const SpatialMixerFX::MonitorData counters = this->LastCounters();
    EXPECT_EQ(0u, counters.uPlayingObjects);
    EXPECT_EQ(2u, counters.uTotalVoices);
    EXPECT_EQ(0u, counters.uMaxAvailableObjects);

    // An endpoint that comes back is found by the next attempt, a second of audio time (100
    // buffers) after the first one failed; the voices play on the bed until then.
    standin::SetDefaultEndpoint(standin::EndpointConfig());
    int iFrames = 0;
    size_t uSounding = 0;
    while (iFrames < 110 && uSounding != 2) {
        EXPECT_EQ(0u, uSounding);
        EXPECT_NEAR(0.75f * kCentreGain, this->Mix(0, 0), 1e-5f) << iFrames;
        this->SettledFrame();
        uSounding = SoundingObjects(this->LastPass());
        ++iFrames;
    }
    EXPECT_LE(95, iFrames);
    EXPECT_EQ(2u, uSounding);
    EXPECT_EQ(0.0f, this->Mix(0, 0));
    EXPECT_EQ(this->LostAndBack(), this->Notices());
}

// A renderer that keeps failing (the lost device stays the default endpoint: spatial sound
// switched off looks the same) is tried again after 1, 2, 4, 8 and 8 seconds of audio time, in
// both builds, and never by the audio thread itself; the voices play on the bed, and the desktop
// build posts one notice when the objects go and one when they are back.
TYPED_TEST(MixerStreamTest, ARendererThatKeepsFailingIsTriedAgainAtGrowingIntervals) {
    ASSERT_EQ(ZV_Success, this->Start());
    this->PlayTwoVoices();
    standin::LoseDevice();
    ASSERT_TRUE(this->StepUntilLost());
    const size_t uActivationsBefore = standin::ClientActivations().size();
    std::vector<uint64_t> attemptFrames;
    while (attemptFrames.size() < 6 && this->m_pDriver->FramesRun() < 3000) {
        const uint64_t uActivationCalls = standin::CallCount("ActivateAudioInterfaceAsync") +
                                          standin::CallCount("IMMDevice::Activate");
        this->SettledFrame();
        if (standin::CallCount("ActivateAudioInterfaceAsync") +
                standin::CallCount("IMMDevice::Activate") !=
            uActivationCalls) {
            attemptFrames.push_back(this->m_pDriver->FramesRun());
        }
        ASSERT_NE(StreamRunning, this->m_pMixer->CurrentStreamState());
        ASSERT_NEAR(0.75f * kCentreGain, this->Mix(1, 0), 1e-5f);
    }
    ASSERT_EQ(6u, attemptFrames.size());
    EXPECT_EQ(uActivationsBefore + 6, standin::ClientActivations().size());
    // Each failure is seen in the frame after its attempt; the next attempt comes one interval
    // (10 ms buffers) later.
    const uint64_t aIntervals[5] = {100, 200, 400, 800, 800};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(1 + aIntervals[i], attemptFrames[i + 1] - attemptFrames[i]) << i;
    }
    if (TypeParam::kDesktop) {
        EXPECT_EQ(std::vector<std::string>{kLostNotice}, this->Notices());
    }

    // The renderer is back: the next attempt, at most 8 seconds later, brings the objects back.
    standin::SetDefaultEndpoint(standin::EndpointConfig());
    const uint64_t uBack = this->m_pDriver->FramesRun();
    size_t uSounding = 0;
    while (uSounding != 2 && this->m_pDriver->FramesRun() < uBack + 820) {
        this->SettledFrame();
        uSounding = SoundingObjects(this->LastPass());
    }
    EXPECT_EQ(2u, uSounding);
    EXPECT_EQ(this->LostAndBack(), this->Notices());
}

// A renderer that opens streams and fails each one's first pass: every attempt succeeds and is
// lost at once, and is tried again at the same growing intervals, not in every other frame.
TYPED_TEST(MixerStreamTest, ARendererThatFailsEveryNewStreamIsTriedAtGrowingIntervalsToo) {
    ASSERT_EQ(ZV_Success, this->Start());
    this->PlayTwoVoices();
    standin::FailCall("ISpatialAudioObjectRenderStreamBase::BeginUpdatingAudioObjects", 1,
                      AUDCLNT_E_RESOURCES_INVALIDATED, UINT32_MAX);
    std::vector<uint64_t> streamFrames;
    size_t uStreams = standin::StreamActivations().size();
    while (this->m_pDriver->FramesRun() < 350) {
        const bool bRunning = this->m_pMixer->CurrentStreamState() == StreamRunning;
        this->m_pDriver->RunFrame();
        if (bRunning) {
            // The stream's first pass fails (a pass whose Begin fails never ends: the step gives
            // up on it), and the worker marks the stream lost.
            standin::Step(std::chrono::milliseconds(10));
            ASSERT_TRUE(testing_support::WaitUntil(
                [&]() { return this->m_pMixer->CurrentStreamState() == StreamLost; }));
        }
        this->Settle();
        if (standin::StreamActivations().size() != uStreams) {
            uStreams = standin::StreamActivations().size();
            streamFrames.push_back(this->m_pDriver->FramesRun());
        }
        if (!bRunning) {
            ASSERT_NEAR(0.75f * kCentreGain, this->Mix(1, 0), 1e-5f);
        }
    }
    // Once at the loss, then 1 and 2 seconds (100 and 200 buffers) after each stream was lost.
    ASSERT_EQ(3u, streamFrames.size());
    EXPECT_EQ(102u, streamFrames[1] - streamFrames[0]);
    EXPECT_EQ(202u, streamFrames[2] - streamFrames[1]);
}

LevelledNotices::value_type WrongRateNotice(const char* in_pszEngine, const char* in_pszRenderer) {
    return {std::string("WS Mixer Plugin: no spatial objects: the engine runs at ") + in_pszEngine +
                " Hz, the renderer plays at " + in_pszRenderer +
                " Hz; every voice is mixed into the bus",
            2u};
}

// The renderer plays at 48 kHz unless told otherwise. An engine at 44.1 kHz gets no stream (its
// voices would play 8.8 % sharp and fast): one notice naming both rates, every voice on the bed,
// 0 available objects in the counters, no worker. At 48 kHz, or naming no rate, it plays on
// objects without a notice.
TYPED_TEST(MixerStreamTest, AtInitPluginAnEngineAtAnotherRateThanTheRenderersGetsNoObjects) {
    this->m_uEngineRate = 44100;
    ASSERT_EQ(ZV_Success, this->Start());
    EXPECT_EQ(StreamClosed, this->m_pMixer->CurrentStreamState());
    EXPECT_TRUE(standin::StreamActivations().empty());
    EXPECT_EQ(0u, standin::Live().workItems);
    this->AddVoice(kMono, {1.0f}, 1.0f, 0.0f);
    for (int i = 0; i < 3; ++i) {
        this->Frame();
        EXPECT_NEAR(kCentreGain, this->Mix(0, 0), 1e-5f);
        const SpatialMixerFX::MonitorData counters = this->LastCounters();
        EXPECT_EQ(0u, counters.uPlayingObjects);
        EXPECT_EQ(1u, counters.uTotalVoices);
        EXPECT_EQ(0u, counters.uMaxAvailableObjects);
    }
    EXPECT_EQ(0u, standin::TakePasses().size());
    EXPECT_EQ(LevelledNotices{WrongRateNotice("44100", "48000")}, this->NoticesWithLevels());
    this->Terminate();

    for (const uint32_t uRate : {48000u, kUnstatedSampleRate}) {
        this->m_uEngineRate = uRate;
        ASSERT_EQ(ZV_Success, this->Start());
        EXPECT_EQ(StreamRunning, this->m_pMixer->CurrentStreamState()) << uRate;
        this->AddVoice(kMono, {1.0f}, 1.0f, 0.0f);
        this->Frame();
        EXPECT_EQ(1u, SoundingObjects(this->LastPass())) << uRate;
        EXPECT_EQ(16u, this->LastCounters().uMaxAvailableObjects);
        EXPECT_TRUE(this->NoticesWithLevels().empty());
        this->Terminate();
    }
}

// After a loss, a renderer that now plays at another rate than the engine's is a failed attempt,
// for an engine at 44.1 kHz and at 48 kHz alike, and for one that named no rate (it runs at the
// rate of the renderer it first played through): the voices stay on the bed with 0 available
// objects, attempts go on at growing intervals (each asks for no stream), one notice names both
// rates, and a renderer back at the engine's rate brings the objects back.
TYPED_TEST(MixerStreamTest, AfterALossARendererAtAnotherRateIsAFailedAttempt) {
    struct Case {
        uint32_t uRecordRate, uRate, uOtherRate;  // the format record's, the engine's, the other
        const char *pszRate, *pszOtherRate;
    };
    const Case aCases[3] = {{44100u, 44100u, 48000u, "44100", "48000"},
                            {48000u, 48000u, 44100u, "48000", "44100"},
                            {kUnstatedSampleRate, 48000u, 44100u, "48000", "44100"}};
    for (const Case& rates : aCases) {
        const uint32_t uRate = rates.uRate;
        standin::SetDefaultEndpoint(testing_support::EndpointAtRate(uRate));
        this->m_uEngineRate = rates.uRecordRate;
        ASSERT_EQ(ZV_Success, this->Start());
        this->PlayTwoVoices();
        standin::LoseDevice();
        ASSERT_TRUE(this->StepUntilLost());
        standin::SetDefaultEndpoint(testing_support::EndpointAtRate(rates.uOtherRate));
        const size_t uStreams = standin::StreamActivations().size();
        const size_t uClients = standin::ClientActivations().size();
        for (int i = 0; i < 330; ++i) {
            this->SettledFrame();
            ASSERT_NE(StreamRunning, this->m_pMixer->CurrentStreamState()) << uRate << " " << i;
            ASSERT_NEAR(0.75f * kCentreGain, this->Mix(0, 0), 1e-5f) << uRate << " " << i;
            // The frame that finds the loss posts no counters.
            ASSERT_EQ(i == 0 ? 16u : 0u, this->LastCounters().uMaxAvailableObjects) << i;
        }
        // At the loss, then about 1 and 2 seconds of audio time later.
        EXPECT_EQ(uClients + 3, standin::ClientActivations().size()) << uRate;
        EXPECT_EQ(uStreams, standin::StreamActivations().size()) << uRate;
        const auto rateNotice = WrongRateNotice(rates.pszRate, rates.pszOtherRate);
        const LevelledNotices lost = TypeParam::kDesktop
                                         ? LevelledNotices{{kLostNotice, 1u}, rateNotice}
                                         : LevelledNotices{rateNotice};
        EXPECT_EQ(lost, this->NoticesWithLevels());

        // The renderer at the engine's rate again: the next attempt, within 4 seconds.
        standin::SetDefaultEndpoint(testing_support::EndpointAtRate(uRate));
        size_t uSounding = 0;
        for (int i = 0; i < 400 && uSounding != 2; ++i) {
            this->SettledFrame();
            uSounding = SoundingObjects(this->LastPass());
        }
        EXPECT_EQ(2u, uSounding) << uRate;
        LevelledNotices back = lost;
        if (TypeParam::kDesktop) {
            back.emplace_back(kBackNotice, 1u);
        }
        EXPECT_EQ(back, this->NoticesWithLevels());
        this->Terminate();
    }
}

// The Universal Windows build waits for its completion a bounded while.
class AsyncStreamTest : public MixerStreamTest<mixer_tests::AsyncBuild> {
protected:
    void SetUp() override {
        MixerStreamTest<mixer_tests::AsyncBuild>::SetUp();
        m_pActivation = &m_shortWait;
    }
    const AsyncStreamActivation m_shortWait{50};
};

TEST_F(AsyncStreamTest, ACompletionThatDoesNotComeInTimeLeavesTheMixerOnTheBed) {
    EXPECT_EQ(2000u, AsyncStreamActivation::kDefaultWaitMilliseconds);
    for (const standin::Completion eMode : {standin::Completion::Hold, standin::Completion::Drop}) {
        standin::SetCompletion(eMode);
        ASSERT_EQ(ZV_Success, this->Start());
        EXPECT_EQ(StreamClosed, this->m_pMixer->CurrentStreamState());
        EXPECT_EQ(0u, standin::Live().workItems);
        this->AddVoice(kMono, {1.0f}, 1.0f, 0.0f);
        this->Frame();
        EXPECT_NEAR(kCentreGain, this->Mix(0, 0), 1e-5f);
        EXPECT_EQ(0u, this->LastCounters().uMaxAvailableObjects);

        // The late completion opens a stream on the handler the mixer let go, which goes with
        // it: the mixer never sees it.
        standin::SetCompletion(standin::Completion::Deliver);
        ASSERT_TRUE(standin::WaitForCompletions());
        this->Frame();
        EXPECT_EQ(StreamClosed, this->m_pMixer->CurrentStreamState());
        EXPECT_EQ(0u, standin::StartedStreamCount());
        this->Terminate();
    }
}

TEST_F(AsyncStreamTest, AFailedActivationLeavesNoObjects) {
    standin::SetActivationResult(E_ACCESSDENIED);
    ASSERT_EQ(ZV_Success, this->Start());
    EXPECT_EQ(StreamClosed, this->m_pMixer->CurrentStreamState());
    this->AddVoice(kMono, {1.0f}, 1.0f, 0.0f);
    this->Frame();
    EXPECT_EQ(0u, this->LastCounters().uMaxAvailableObjects);
    EXPECT_NEAR(kCentreGain, this->Mix(0, 0), 1e-5f);
}

TEST_F(AsyncStreamTest, TheHandlerIsAnAgileCountedObjectWithAForwardingMarshaler) {
    ActivationHandler* pHandler =
        ActivationHandler::Create(&this->m_allocator, kUnstatedSampleRate);
    ASSERT_NE(nullptr, pHandler);
    IUnknown* pUnknown = nullptr;
    ASSERT_EQ(S_OK,
              pHandler->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&pUnknown)));
    IUnknown* pAgile = nullptr;
    ASSERT_EQ(S_OK,
              pHandler->QueryInterface(__uuidof(IAgileObject), reinterpret_cast<void**>(&pAgile)));
    EXPECT_EQ(pUnknown, pAgile);
    IActivateAudioInterfaceCompletionHandler* pCompletion = nullptr;
    ASSERT_EQ(S_OK, pHandler->QueryInterface(__uuidof(IActivateAudioInterfaceCompletionHandler),
                                             reinterpret_cast<void**>(&pCompletion)));
    IUnknown* pOther = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, pHandler->QueryInterface(__uuidof(ISpatialAudioClient),
                                                      reinterpret_cast<void**>(&pOther)));
    EXPECT_EQ(nullptr, pOther);
    // Three answers added three references to the creator's one.
    EXPECT_EQ(4u, pHandler->AddRef() - 1);
    pHandler->Release();

    IMarshal* pMarshal = nullptr;
    ASSERT_EQ(S_OK,
              pHandler->QueryInterface(__uuidof(IMarshal), reinterpret_cast<void**>(&pMarshal)));
    DWORD uSize = 0;
    EXPECT_EQ(S_OK,
              pMarshal->GetMarshalSizeMax(__uuidof(IUnknown), pUnknown, 0, nullptr, 0, &uSize));
    EXPECT_NE(0u, uSize);
    pMarshal->Release();
    pCompletion->Release();
    pAgile->Release();
    EXPECT_EQ(1u, pUnknown->Release());
    EXPECT_EQ(0u, pHandler->Release());

    // Without its marshaler the handler still counts and completes; marshalling is refused.
    standin::FailCall("CoCreateFreeThreadedMarshaler", 1, E_OUTOFMEMORY);
    pHandler = ActivationHandler::Create(&this->m_allocator, kUnstatedSampleRate);
    ASSERT_NE(nullptr, pHandler);
    CLSID clsid = {};
    EXPECT_EQ(E_OUTOFMEMORY,
              pHandler->GetUnmarshalClass(__uuidof(IUnknown), nullptr, 0, nullptr, 0, &clsid));
    void* pUnmarshalled = &clsid;
    EXPECT_EQ(E_OUTOFMEMORY,
              pHandler->UnmarshalInterface(nullptr, __uuidof(IUnknown), &pUnmarshalled));
    EXPECT_EQ(nullptr, pUnmarshalled);
    EXPECT_EQ(0u, pHandler->Release());
}

}  // namespace
