// Which route each voice takes and what arrives where, for both builds through the stepped
// renderer: the objects' samples, positions and volumes, the bed that really is mixed into the
// bus, the sharing of positions, the limits, and the counters of every frame.

#include <gtest/gtest.h>

#include <cmath>

#include "MixerTestSupport.h"
#include "SpatialMixerFXAttachmentParams.h"

namespace {

using mixer_tests::AllNear;
using mixer_tests::kHalfPi;
using mixer_tests::kMono;
using mixer_tests::kStereo;
using mixer_tests::kThreeChannels;
using mixer_tests::kTwoPointOne;
using mixer_tests::SoundingObjects;

// Gain of a voice straight ahead on each front speaker of the host's stereo panning.
const float kCentreGain = std::cos(0.25f * 3.14159265f);

template <typename Build>
using MixerRoutingTest = mixer_tests::MixerTest<Build>;
TYPED_TEST_SUITE(MixerRoutingTest, mixer_tests::Builds, mixer_tests::BuildNames);

TYPED_TEST(MixerRoutingTest, VoicesBecomeObjectsWithTheirDownmixPositionAndVolume) {
    ASSERT_EQ(ZV_Success, this->Start());
    auto& mono = this->AddVoice(kMono, {0.5f}, 10.0f, 0.0f);
    mono.SetEmitterListenerVolume({0.2f, 0.8f});
    mono.SetBaseVolume({0.5f, 1.0f});
    auto& stereo = this->AddVoice(kStereo, {0.2f, 0.4f}, 10.0f, kHalfPi);
    stereo.SetEmitterListenerVolume({0.6f, 0.6f});
    // 2.1 counts as stereo: its low-frequency channel (stored last) is left out.
    auto& twoOne = this->AddVoice(kTwoPointOne, {0.1f, 0.3f, 0.9f}, 2.0f, 0.0f, kHalfPi);
    twoOne.SetEmitterListenerVolume({1.0f, 0.4f});
    this->Frame();

    // Every object of the grant is activated; the three voices sound in the first three.
    const standin::Pass pass = this->LastPass();
    ASSERT_EQ(16u, pass.objects.size());
    EXPECT_EQ(3u, SoundingObjects(pass));
    for (const standin::ObjectPass& object : pass.objects) {
        EXPECT_EQ(AudioObjectType_Dynamic, object.type);
        ASSERT_EQ(480u, object.samples.size());
    }
    // Mono at 1.0 under the base ramp from 0.5 to 1.0; the emitter ramp's end is the volume.
    EXPECT_FLOAT_EQ(0.25f, pass.objects[0].samples[0]);
    EXPECT_NEAR(0.5f * 0.75f, pass.objects[0].samples[240], 1e-6f);
    EXPECT_FLOAT_EQ(0.8f, pass.objects[0].volume);
    EXPECT_TRUE(AllNear(pass.objects[1].samples, 0.7f * (0.2f + 0.4f)));
    EXPECT_FLOAT_EQ(0.6f, pass.objects[1].volume);
    EXPECT_TRUE(AllNear(pass.objects[2].samples, 0.7f * (0.1f + 0.3f)));
    EXPECT_FLOAT_EQ(0.4f, pass.objects[2].volume);

    // Ahead at 10 metres is -z for the renderer; a quarter turn is +x; straight up is +y.
    EXPECT_NEAR(0.0f, pass.objects[0].x, 1e-6f);
    EXPECT_NEAR(0.0f, pass.objects[0].y, 1e-6f);
    EXPECT_FLOAT_EQ(-10.0f, pass.objects[0].z);
    EXPECT_FLOAT_EQ(10.0f, pass.objects[1].x);
    EXPECT_NEAR(0.0f, pass.objects[1].y, 1e-6f);
    EXPECT_NEAR(0.0f, pass.objects[1].z, 1e-5f);
    EXPECT_NEAR(0.0f, pass.objects[2].x, 1e-6f);
    EXPECT_FLOAT_EQ(2.0f, pass.objects[2].y);
    EXPECT_NEAR(0.0f, pass.objects[2].z, 1e-6f);

    // Nothing of them reached the bed.
    for (uint32_t uFrame = 0; uFrame < 480; ++uFrame) {
        ASSERT_EQ(0.0f, this->Mix(0, uFrame));
        ASSERT_EQ(0.0f, this->Mix(1, uFrame));
    }
    const SpatialMixerFX::MonitorData counters = this->LastCounters();
    EXPECT_EQ(3u, counters.uPlayingObjects);
    EXPECT_EQ(3u, counters.uTotalVoices);
    EXPECT_EQ(16u, counters.uMaxAvailableObjects);
}

TYPED_TEST(MixerRoutingTest, VoicesAtTheVerySamePositionShareOneObjectEachAtItsOwnVolume) {
    ASSERT_EQ(ZV_Success, this->Start());
    this->AddVoice(kMono, {0.25f}, 5.0f, 0.3f, 0.1f).SetEmitterListenerVolume({0.9f, 0.9f});
    this->AddVoice(kMono, {0.5f}, 5.0f, 0.3f, 0.1f).SetEmitterListenerVolume({0.3f, 0.3f});
    // Off by one step of the float: another object.
    this->AddVoice(kMono, {0.125f}, 5.0f, std::nextafter(0.3f, 1.0f), 0.1f);
    // Azimuth 0 and -0 give x = 0 and x = -0, which compare equal.
    this->AddVoice(kMono, {0.0625f}, 7.0f, 0.0f);
    this->AddVoice(kMono, {0.03125f}, 7.0f, -0.0f);
    this->Frame();
    this->Frame();

    const standin::Pass pass = this->LastPass();
    ASSERT_EQ(16u, pass.objects.size());
    EXPECT_EQ(3u, SoundingObjects(pass));
    // The object plays at the louder voice's volume; the other one is heard at its own.
    EXPECT_FLOAT_EQ(0.9f, pass.objects[0].volume);
    EXPECT_TRUE(AllNear(pass.objects[0].samples, 0.25f + 0.5f * 0.3f / 0.9f));
    EXPECT_TRUE(AllNear(pass.objects[1].samples, 0.125f));
    EXPECT_TRUE(AllNear(pass.objects[2].samples, 0.09375f));
    EXPECT_EQ(3u, this->LastCounters().uPlayingObjects);
    EXPECT_EQ(5u, this->LastCounters().uTotalVoices);
}

TYPED_TEST(MixerRoutingTest, MaxObjectsLimitsUnsignedAndTheRestIsReallyMixedIntoTheBus) {
    ASSERT_EQ(ZV_Success, this->Start(kStereo, 3));
    for (int i = 0; i < 5; ++i) {
        this->AddVoice(kMono, {1.0f}, 1.0f + static_cast<float>(i), 0.0f);
    }
    this->Frame();
    standin::Pass pass = this->LastPass();
    ASSERT_EQ(3u, pass.objects.size());
    for (const standin::ObjectPass& object : pass.objects) {
        EXPECT_TRUE(AllNear(object.samples, 1.0f));
    }
    // The fourth and fifth voices, straight ahead, on both front speakers.
    EXPECT_NEAR(2.0f * kCentreGain, this->Mix(0, 0), 1e-5f);
    EXPECT_NEAR(2.0f * kCentreGain, this->Mix(1, 479), 1e-5f);
    EXPECT_EQ(480, this->m_pDriver->MixBuffer().uValidFrames);
    EXPECT_EQ(3u, this->LastCounters().uPlayingObjects);
    EXPECT_EQ(5u, this->LastCounters().uTotalVoices);

    // A negative MaxObjects is a huge unsigned one: every voice gets its object.
    const int32_t iNegative = -1;
    ASSERT_EQ(ZV_Success, this->m_pParams->SetParameter(6, &iNegative, 4));
    this->Frame();
    this->Frame();
    pass = this->LastPass();
    EXPECT_EQ(5u, SoundingObjects(pass));
    EXPECT_EQ(0.0f, this->Mix(0, 0));
    EXPECT_EQ(5u, this->LastCounters().uPlayingObjects);

    // MaxObjects 0: the whole bus on the bed, every frame counted.
    const int32_t iNone = 0;
    ASSERT_EQ(ZV_Success, this->m_pParams->SetParameter(6, &iNone, 4));
    this->Frame();
    EXPECT_NEAR(5.0f * kCentreGain, this->Mix(0, 100), 1e-5f);
    EXPECT_EQ(0u, this->LastCounters().uPlayingObjects);
    EXPECT_EQ(5u, this->LastCounters().uTotalVoices);
    EXPECT_EQ(16u, this->LastCounters().uMaxAvailableObjects);
    EXPECT_EQ(this->m_pDriver->FramesRun(), this->Counters().size());
}

TYPED_TEST(MixerRoutingTest, ExcludedVoicesTakeTheBedRoute) {
    // The mixer's bypass.
    ASSERT_EQ(ZV_Success, this->Start(kStereo, 32, true));
    this->AddVoice(kMono, {1.0f}, 3.0f, 0.0f);
    this->Frame();
    EXPECT_NEAR(kCentreGain, this->Mix(0, 10), 1e-5f);
    EXPECT_EQ(0u, this->LastCounters().uPlayingObjects);
    this->Terminate();

    // An attachment made without a block has BypassLocal set; clearing it lets the voice through
    // from the next MixInput on.
    ASSERT_EQ(ZV_Success, this->Start());
    ZV::IPluginParam* pAttachment = CreateSpatialMixerFXAttachmentParams(&this->m_allocator);
    ASSERT_NE(nullptr, pAttachment);
    pAttachment->InitParameters(&this->m_allocator, nullptr, 0);
    auto& attached = this->AddVoice(kMono, {1.0f}, 3.0f, 0.0f);
    attached.Context().SetAttachmentParameters(pAttachment);
    this->AddVoice(kMono, {0.5f}, 4.0f, 0.0f);
    this->Frame();
    EXPECT_NEAR(kCentreGain, this->Mix(1, 10), 1e-5f);
    EXPECT_EQ(1u, this->LastCounters().uPlayingObjects);
    const float fOff = 0.0f;
    ASSERT_EQ(ZV_Success, pAttachment->SetParameter(0, &fOff, 4));
    this->Frame();
    EXPECT_EQ(0.0f, this->Mix(1, 10));
    EXPECT_EQ(2u, this->LastCounters().uPlayingObjects);
    this->Terminate();
    pAttachment->TermParameters(&this->m_allocator);

    // Three channels (without counting the low-frequency one), and a voice without rays.
    ASSERT_EQ(ZV_Success, this->Start());
    this->AddVoice(kThreeChannels, {0.1f, 0.2f, 0.4f}, 3.0f, 0.0f);
    this->AddVoice(kThreeChannels | ZV_SPEAKER_LOW_FREQUENCY, {0.0f, 0.0f, 0.0f, 0.0f}, 3.0f, 0.0f);
    auto& rayless = this->AddVoice(kMono, {1.0f}, 3.0f, 0.0f);
    rayless.Context().SetRays({});
    this->Frame();
    EXPECT_NEAR(0.1f + (0.4f + 1.0f) * kCentreGain, this->Mix(0, 0), 1e-5f);
    EXPECT_NEAR(0.2f + (0.4f + 1.0f) * kCentreGain, this->Mix(1, 0), 1e-5f);
    EXPECT_EQ(0u, this->LastCounters().uPlayingObjects);
    EXPECT_EQ(3u, this->LastCounters().uTotalVoices);
    EXPECT_EQ(0u, SoundingObjects(this->LastPass()));
}

TYPED_TEST(MixerRoutingTest, TheThirtyThirdVoiceOfAFrameTakesTheBedEvenWithObjectsFree) {
    standin::EndpointConfig endpoint;
    endpoint.maxDynamicObjects = 40;
    standin::SetDefaultEndpoint(endpoint);
    ASSERT_EQ(ZV_Success, this->Start(kStereo, -5));
    const std::vector<standin::StreamActivation> streams = standin::StreamActivations();
    ASSERT_EQ(1u, streams.size());
    EXPECT_EQ(32u, streams[0].minDynamicObjectCount);
    EXPECT_EQ(32u, streams[0].maxDynamicObjectCount);
    EXPECT_EQ(0u, streams[0].staticObjectTypeMask);
    EXPECT_EQ(6u, streams[0].category);

    for (int i = 0; i < 33; ++i) {
        this->AddVoice(kMono, {1.0f}, 1.0f + static_cast<float>(i), 0.0f);
    }
    this->Frame();
    EXPECT_EQ(32u, this->LastPass().objects.size());
    EXPECT_NEAR(kCentreGain, this->Mix(0, 0), 1e-5f);
    const SpatialMixerFX::MonitorData counters = this->LastCounters();
    EXPECT_EQ(32u, counters.uPlayingObjects);
    EXPECT_EQ(33u, counters.uTotalVoices);
    EXPECT_EQ(32u, counters.uMaxAvailableObjects);
}

TYPED_TEST(MixerRoutingTest, LoweringMaxObjectsAndRaisingItBringsTheHigherObjectsBackWithSound) {
    ASSERT_EQ(ZV_Success, this->Start(kStereo, 4));
    const float afValues[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    for (int i = 0; i < 4; ++i) {
        this->AddVoice(kMono, {afValues[i]}, 2.0f, 0.5f * static_cast<float>(i));
    }
    this->Frame();
    const standin::Pass before = this->LastPass();
    ASSERT_EQ(4u, before.objects.size());

    const int32_t iTwo = 2;
    this->m_pParams->SetParameter(6, &iTwo, 4);
    this->Frame();
    this->Frame();
    this->Frame();
    // Objects 2 and 3 played out what they held, were skipped and ended by the renderer; their
    // voices play on the bed.
    EXPECT_EQ(2u, this->LastPass().objects.size());
    EXPECT_NE(0.0f, this->Mix(0, 0));
    EXPECT_LE(2u, standin::Streams().back().objectsEndedImplicitly);

    const int32_t iFour = 4;
    this->m_pParams->SetParameter(6, &iFour, 4);
    standin::Pass after;
    ASSERT_TRUE(this->FramesUntil([&]() {
        after = this->LastPass();
        return after.objects.size() == 4 && !after.objects[3].samples.empty() &&
               after.objects[3].samples[0] != 0.0f;
    }));
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(AllNear(after.objects[i].samples, afValues[i])) << i;
    }
    EXPECT_EQ(before.objects[1].objectId, after.objects[1].objectId);
    EXPECT_NE(before.objects[2].objectId, after.objects[2].objectId);
    EXPECT_NE(before.objects[3].objectId, after.objects[3].objectId);
    EXPECT_EQ(0.0f, this->Mix(0, 0));
}

TYPED_TEST(MixerRoutingTest, TheRingsAbsorbHostBuffersLongerThanARendererPass) {
    ASSERT_EQ(ZV_Success, this->Start(kStereo, 32, false, 512));
    this->AddVoice(kMono, {0.5f}, 1.0f, 0.0f);
    // Each pass takes 480 of the 512 samples a frame adds: every pass is full.
    for (int i = 0; i < 12; ++i) {
        this->Frame();
        EXPECT_TRUE(AllNear(this->LastPass().objects.at(0).samples, 0.5f)) << i;
    }
    // A pass with nothing new: the ring still holds 12 * 32 samples, less than a pass: silence,
    // and what it holds plays next.
    this->m_pDriver->VoiceAt(0).SetSource(host::MixerBusDriver::Voice::Constant({0.25f}));
    standin::Step();
    EXPECT_TRUE(AllNear(this->LastPass().objects.at(0).samples, 0.0f));
    this->Frame();
    const std::vector<float> samples = this->LastPass().objects.at(0).samples;
    EXPECT_FLOAT_EQ(0.5f, samples[0]);
    EXPECT_FLOAT_EQ(0.5f, samples[12 * 32 - 1]);
    EXPECT_FLOAT_EQ(0.25f, samples[12 * 32]);
}

TYPED_TEST(MixerRoutingTest, EveryRayIsAskedForAndRayZeroPlacesTheVoice) {
    ASSERT_EQ(ZV_Success, this->Start());
    auto& voice = this->AddVoice(kMono, {1.0f}, 1.0f, 0.0f);
    voice.Context().SetRays({{4.0f, 0.0f, 0.0f}, {9.0f, 1.0f, 0.0f}, {7.0f, 2.0f, 0.0f}});
    this->Frame();
    EXPECT_EQ(3u, voice.Context().Get3DPositionCalls());
    EXPECT_FLOAT_EQ(-4.0f, this->LastPass().objects.at(0).z);
    // The record as the mixer prepares it; ray 0 is the last one asked for.
    const ZV::ZvEmitterRay& ray = voice.Context().LastRayReceived();
    EXPECT_EQ(0.0f, ray.fDistance);
    EXPECT_EQ(0u, ray.uListenerId);
    EXPECT_EQ(1.0f, ray.fSpread);
    EXPECT_EQ(1.0f, ray.fFocus);
    EXPECT_EQ(1.0f, ray.fOcclusion);
    EXPECT_EQ(0xFFFFFFFFu, ray.uEmitterChannelMask);
    EXPECT_EQ(0u, ray.uPositionIndex);
    EXPECT_TRUE(this->m_checks.Reports().empty());

    // A host that fails the call breaks its contract: reported, and the ray taken as it is.
    voice.Context().FailGet3DPosition(true);
    this->Frame();
    this->Frame();
    EXPECT_TRUE(this->m_checks.Saw(
        "in_pInputContext->Get3DPosition(uNumRays - 1, ray) == ZV_Success", "SpatialMixerFX"));
    this->m_checks.Clear();
    const standin::Pass pass = this->LastPass();
    ASSERT_EQ(1u, SoundingObjects(pass));
    EXPECT_EQ(0.0f, pass.objects[0].x);
    EXPECT_EQ(0.0f, pass.objects[0].z);
}

TYPED_TEST(MixerRoutingTest, VolumesReachTheRendererWithinZeroToOne) {
    ASSERT_EQ(ZV_Success, this->Start());
    this->AddVoice(kMono, {1.0f}, 1.0f, 0.0f).SetEmitterListenerVolume({1.0f, 3.5f});
    this->AddVoice(kMono, {1.0f}, 2.0f, 0.0f).SetEmitterListenerVolume({1.0f, -0.5f});
    this->AddVoice(kMono, {1.0f}, 3.0f, 0.0f).SetEmitterListenerVolume({1.0f, NAN});
    this->Frame();
    const standin::Pass pass = this->LastPass();
    ASSERT_EQ(3u, SoundingObjects(pass));
    EXPECT_EQ(1.0f, pass.objects[0].volume);
    EXPECT_EQ(0.0f, pass.objects[1].volume);
    EXPECT_EQ(0.0f, pass.objects[2].volume);
}

}  // namespace
