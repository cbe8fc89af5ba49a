// The engine's mix on its way through the sink to the bed objects, bit for bit: the host renders a
// tagged mix (every sample names its buffer channel and its frame), the stepped renderer runs one
// pass at a time, and the tests read what each bed object played.

#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "OwnedSampleBuffer.h"
#include "SinkTestSupport.h"
#include "TaggedMixSource.h"
#include "TransitionSoak.h"

namespace {

using host::TaggedMixSource;
using sink_testing::EndpointWithPeriod;
using sink_testing::FillAndStep;
using sink_testing::FindObject;
using sink_testing::ObjectStream;
using sink_testing::SinkSetup;

// Which buffer channel each bed object plays, for a buffer in the sink's own layout (the host
// stores the low-frequency channel last).
using ChannelMap = std::map<AudioObjectType, uint32_t>;

ChannelMap ExpectedMap(uint32_t in_uChannelConfig) {
    switch (in_uChannelConfig) {
        case 0:
            return {{AudioObjectType_FrontLeft, 0}, {AudioObjectType_FrontRight, 1}};
        case 1:  // front L R C, LFE, side L R: the sides play on the back objects
            return {{AudioObjectType_FrontLeft, 0},   {AudioObjectType_FrontRight, 1},
                    {AudioObjectType_FrontCenter, 2}, {AudioObjectType_LowFrequency, 5},
                    {AudioObjectType_BackLeft, 3},    {AudioObjectType_BackRight, 4}};
        case 2:  // front L R C, LFE, back L R, side L R
            return {{AudioObjectType_FrontLeft, 0},   {AudioObjectType_FrontRight, 1},
                    {AudioObjectType_FrontCenter, 2}, {AudioObjectType_LowFrequency, 7},
                    {AudioObjectType_BackLeft, 3},    {AudioObjectType_BackRight, 4},
                    {AudioObjectType_SideLeft, 5},    {AudioObjectType_SideRight, 6}};
        default:  // 7.1.4
            return testing_support::SevenOneFourBedChannels();
    }
}

// in_uFrames samples of buffer channel in_uChannel from stream frame in_uFirst on, times a gain.
std::vector<float> Tagged(uint32_t in_uChannel, uint64_t in_uFirst, size_t in_uFrames,
                          float in_fGain = 1.0f) {
    std::vector<float> samples(in_uFrames);
    for (size_t i = 0; i < in_uFrames; ++i) {
        samples[i] = in_fGain * TaggedMixSource::Sample(in_uChannel, in_uFirst + i);
    }
    return samples;
}

const std::vector<float> kSilentPeriod(480, 0.0f);

class SinkFrameFlowTest : public sink_testing::SinkTest {
protected:
    void SetUp() override {
        SinkTest::SetUp();
        standin::CapturePasses(4096);
    }

    // One host buffer per pass: 480 frames per buffer and per pass, two slots, a two-buffer ring.
    void CreateLockstepSink(uint32_t in_uChannelConfig) {
        SinkSetup setup;
        setup.uFramesPerBuffer = 480;
        setup.uChannelConfig = in_uChannelConfig;
        ASSERT_EQ(ZV_Success, CreateSink(setup));
        m_pDriver = MakeDriver();
        m_pDriver->SetSource(&m_source);
    }

    // In lockstep: one host buffer, then one pass; the pass.
    standin::Pass FillAndTakePass() {
        EXPECT_TRUE(m_pDriver->RunFrame());
        EXPECT_EQ(1u, standin::Step());
        std::vector<standin::Pass> passes = standin::TakePasses();
        EXPECT_EQ(1u, passes.size());
        return passes.empty() ? standin::Pass() : passes.back();
    }

    std::vector<float> Played(const standin::Pass& in_pass, AudioObjectType in_eType) {
        const standin::ObjectPass* pObject = FindObject(in_pass, in_eType);
        EXPECT_NE(nullptr, pObject) << "object type " << in_eType;
        return pObject != nullptr ? pObject->samples : std::vector<float>();
    }

    TaggedMixSource m_source;
    std::unique_ptr<host::SinkFrameDriver> m_pDriver;
};

// Each of the four layouts, with host buffers of 512 frames against passes of 480: every bed
// object plays its channel's samples, every frame once and in order.
TEST_F(SinkFrameFlowTest, EachLayoutPlaysEveryChannelOnItsBedObjectBitForBit) {
    for (uint32_t uConfig = 0; uConfig < 4; ++uConfig) {
        SCOPED_TRACE(uConfig);
        SinkSetup setup;
        setup.uChannelConfig = uConfig;
        ASSERT_EQ(ZV_Success, CreateSink(setup));
        TaggedMixSource source;
        std::unique_ptr<host::SinkFrameDriver> pDriver = MakeDriver();
        pDriver->SetSource(&source);
        ASSERT_EQ(12u, FillAndStep(*pDriver, 12));

        const std::vector<standin::Pass> passes = standin::TakePasses();
        const ChannelMap expected = ExpectedMap(uConfig);
        ASSERT_EQ(expected.size(), passes.back().objects.size());
        for (const auto& entry : expected) {
            EXPECT_EQ(Tagged(entry.second, 0, 12 * 480), ObjectStream(passes, entry.first))
                << "object type " << entry.first;
        }
        pDriver.reset();
        DestroySink();
    }
}

// Four-frame buffers and passes: a ramp from 0 to 1 gives the gains 0, 0.25, 0.5 and 0.75 on
// every channel, times DirectGain, which a change applies from the next buffer on (unlike a
// change of ChannelConfig).
TEST_F(SinkFrameFlowTest, TheRampAndDirectGainApplyToEveryFrame) {
    standin::SetDefaultEndpoint(EndpointWithPeriod(4));
    SinkSetup setup;
    setup.uFramesPerBuffer = 4;
    setup.uChannelConfig = 3;
    ASSERT_EQ(ZV_Success, CreateSink(setup));
    std::unique_ptr<host::SinkFrameDriver> pDriver = MakeDriver();
    pDriver->SetSource(&m_source);

    struct Buffer {
        ZvVolumeRamp ramp;
        float fDirectGain;
        float afGains[4];
    };
    const Buffer aBuffers[] = {
        {{0.0f, 1.0f}, 1.0f, {0.0f, 0.25f, 0.5f, 0.75f}},
        {{0.0f, 1.0f}, 0.5f, {0.0f, 0.125f, 0.25f, 0.375f}},
        {{1.0f, 0.5f}, 0.5f, {0.5f, 0.4375f, 0.375f, 0.3125f}},
    };
    uint64_t uFirstFrame = 0;
    for (const Buffer& buffer : aBuffers) {
        m_source.SetRamp(buffer.ramp);
        ASSERT_EQ(ZV_Success,
                  m_pParams->SetParameter(SinkParamId_DirectGain, &buffer.fDirectGain, 4));
        ASSERT_TRUE(pDriver->RunFrame());
        ASSERT_EQ(1u, standin::Step());
        const std::vector<standin::Pass> passes = standin::TakePasses();
        ASSERT_EQ(1u, passes.size());
        for (const auto& entry : ExpectedMap(3)) {
            std::vector<float> expected(4);
            for (uint32_t uFrame = 0; uFrame < 4; ++uFrame) {
                expected[uFrame] = buffer.afGains[uFrame] *
                                   TaggedMixSource::Sample(entry.second, uFirstFrame + uFrame);
            }
            EXPECT_EQ(expected, Played(passes[0], entry.first)) << "object type " << entry.first;
        }
        uFirstFrame += 4;
        // The layout was chosen at InitPlugin: a later change of ChannelConfig does nothing.
        const uint32_t uStereo = 0;
        ASSERT_EQ(ZV_Success, m_pParams->SetParameter(SinkParamId_ChannelConfig, &uStereo, 4));
    }
}

// A buffer in another layout than the sink's: its channels go by their speakers, a speaker it
// lacks plays silence, and a speaker the sink lacks is dropped.
TEST_F(SinkFrameFlowTest, BuffersInOtherLayoutsAreMatchedSpeakerBySpeaker) {
    struct Case {
        uint32_t uSinkConfig;
        uint32_t uBufferMask;
        ChannelMap playing;  // every other object of the sink plays silence
    };
    const Case aCases[] = {
        // Stereo into 7.1.4: the two front objects only.
        {3, 0x3, {{AudioObjectType_FrontLeft, 0}, {AudioObjectType_FrontRight, 1}}},
        // 7.1 (low-frequency channel stored last, as channel 7) into 7.1.4.
        {3,
         0x63F,
         {{AudioObjectType_FrontLeft, 0},
          {AudioObjectType_FrontRight, 1},
          {AudioObjectType_FrontCenter, 2},
          {AudioObjectType_LowFrequency, 7},
          {AudioObjectType_BackLeft, 3},
          {AudioObjectType_BackRight, 4},
          {AudioObjectType_SideLeft, 5},
          {AudioObjectType_SideRight, 6}}},
        // 7.1.4 into stereo: only the first two channels.
        {0, 0x2D63F, {{AudioObjectType_FrontLeft, 0}, {AudioObjectType_FrontRight, 1}}},
        // 5.1 with back speakers into the sink's six channels, whose surrounds are side
        // speakers: the buffer has none of them.
        {1,
         0x3F,
         {{AudioObjectType_FrontLeft, 0},
          {AudioObjectType_FrontRight, 1},
          {AudioObjectType_FrontCenter, 2},
          {AudioObjectType_LowFrequency, 5}}},
    };
    for (const Case& test : aCases) {
        SCOPED_TRACE(std::to_string(test.uSinkConfig) + " from mask " +
                     std::to_string(test.uBufferMask));
        CreateLockstepSink(test.uSinkConfig);
        m_pDriver->SetLayout(ZvChannelLayout::FromMask(test.uBufferMask));
        const uint64_t uFirst = m_source.FramePosition();
        const standin::Pass pass = FillAndTakePass();
        ASSERT_EQ(ExpectedMap(test.uSinkConfig).size(), pass.objects.size());
        for (const standin::ObjectPass& object : pass.objects) {
            const auto it = test.playing.find(object.type);
            const std::vector<float> expected =
                it != test.playing.end() ? Tagged(it->second, uFirst, 480) : kSilentPeriod;
            EXPECT_EQ(expected, object.samples) << "object type " << object.type;
        }
        m_pDriver.reset();
        DestroySink();
    }
}

// A layout that names more speakers than the buffer has channels: a speaker whose channel lies
// beyond the buffer plays silence (and is reported), and nothing past the buffer is read.
TEST_F(SinkFrameFlowTest, AChannelBeyondTheBufferPlaysSilenceAndIsReported) {
    CreateLockstepSink(2);
    ZvChannelLayout shortLayout = ZvChannelLayout::FromMask(0x63F);
    shortLayout.uNumChannels = 2;
    m_pDriver->SetLayout(shortLayout);
    const standin::Pass pass = FillAndTakePass();
    EXPECT_TRUE(m_checks.Saw("in_uIndex < NumChannels()", "ZvCommonDefs"));
    m_checks.Clear();
    // The low-frequency speaker is stored last: in a two-channel buffer, as channel 1.
    const ChannelMap playing = {{AudioObjectType_FrontLeft, 0},
                                {AudioObjectType_FrontRight, 1},
                                {AudioObjectType_LowFrequency, 1}};
    ASSERT_EQ(8u, pass.objects.size());
    for (const standin::ObjectPass& object : pass.objects) {
        const auto it = playing.find(object.type);
        EXPECT_EQ(it != playing.end() ? Tagged(it->second, 0, 480) : kSilentPeriod, object.samples)
            << "object type " << object.type;
    }
}

// A buffer is used up to the smallest of its valid frames, its size and the host's buffer size;
// a buffer shorter than the host's is used whole.
TEST_F(SinkFrameFlowTest, ValidFramesBeyondTheBufferOrTheHostBufferAreCutOff) {
    CreateLockstepSink(0);
    m_pDriver->SetValidFrames(600);  // more than the 480 the buffer holds
    EXPECT_EQ(Tagged(0, 0, 480), Played(FillAndTakePass(), AudioObjectType_FrontLeft));
    EXPECT_EQ(Tagged(1, 480, 480), Played(FillAndTakePass(), AudioObjectType_FrontRight));

    // A 960-frame buffer for a host whose buffers are 480 frames, handed over into the last slot:
    // its first 480 frames reach the ring, the rest nowhere (the next pass finds the ring empty
    // and plays silence).
    EXPECT_EQ(Tagged(0, 960, 480), Played(FillAndTakePass(), AudioObjectType_FrontLeft));
    ASSERT_EQ(1u, m_pSink->CurrentSlot());
    host::SinkFrameDriver longBuffers(*m_pSink, m_format.channelConfig, 960);
    longBuffers.SetSource(&m_source);
    const uint64_t uFirst = m_source.FramePosition();
    EXPECT_TRUE(longBuffers.RunFrame());
    ASSERT_EQ(2u, standin::Step() + standin::Step());
    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(2u, passes.size());
    EXPECT_EQ(Tagged(0, uFirst, 480), Played(passes[0], AudioObjectType_FrontLeft));
    EXPECT_EQ(kSilentPeriod, Played(passes[1], AudioObjectType_FrontLeft));
    EXPECT_EQ(960u, m_source.FramePosition() - uFirst);

    // 240-frame buffers claiming 300 valid frames: 240 of each reach the ring, two make a pass.
    host::SinkFrameDriver shortBuffers(*m_pSink, m_format.channelConfig, 240);
    shortBuffers.SetSource(&m_source);
    shortBuffers.SetValidFrames(300);
    const uint64_t uShortFirst = m_source.FramePosition();
    EXPECT_TRUE(shortBuffers.RunFrame());
    EXPECT_TRUE(shortBuffers.RunFrame());
    ASSERT_EQ(1u, standin::Step());
    const std::vector<standin::Pass> shortPasses = standin::TakePasses();
    ASSERT_EQ(1u, shortPasses.size());
    EXPECT_EQ(Tagged(1, uShortFirst, 480), Played(shortPasses[0], AudioObjectType_FrontRight));
}

// A frame that hands nothing over, or a buffer without valid frames, still ends with a silent
// buffer in the ring, on the next slot.
TEST_F(SinkFrameFlowTest, AFrameWithoutSamplesPlaysSilenceAndMovesTheSlotOn) {
    CreateLockstepSink(0);
    EXPECT_EQ(Tagged(0, 0, 480), Played(FillAndTakePass(), AudioObjectType_FrontLeft));
    EXPECT_EQ(1u, m_pSink->CurrentSlot());

    m_pDriver->SkipConsume(1);
    const standin::Pass skipped = FillAndTakePass();
    EXPECT_EQ(0u, m_pSink->CurrentSlot());
    EXPECT_EQ(kSilentPeriod, Played(skipped, AudioObjectType_FrontLeft));
    EXPECT_EQ(kSilentPeriod, Played(skipped, AudioObjectType_FrontRight));

    m_pDriver->SetValidFrames(0);
    EXPECT_EQ(kSilentPeriod, Played(FillAndTakePass(), AudioObjectType_FrontRight));
    EXPECT_EQ(1u, m_pSink->CurrentSlot());

    m_pDriver->SetValidFrames(480);
    EXPECT_EQ(Tagged(1, 480, 480), Played(FillAndTakePass(), AudioObjectType_FrontRight));
}

// When the ring holds less than a period, the objects play silence (nothing is played twice),
// and the frames the ring holds wait for the next pass.
TEST_F(SinkFrameFlowTest, AShortRingPlaysSilenceAndKeepsItsFrames) {
    CreateLockstepSink(1);
    const standin::Pass first = FillAndTakePass();
    testing_support::OwnedSampleBuffer buffer(ZvChannelLayout::FromMask(0x60F), 480, 240);
    m_pSink->ConsumeFrame(buffer.Get(), ZvVolumeRamp{1.0f, 1.0f});
    m_pSink->OnFrameEnd();
    ASSERT_EQ(1u, standin::Step()) << "a pass with half a period in the ring";
    const std::vector<standin::Pass> silent = standin::TakePasses();
    ASSERT_EQ(1u, silent.size());
    for (const auto& entry : ExpectedMap(1)) {
        EXPECT_EQ(Tagged(entry.second, 0, 480), Played(first, entry.first));
        EXPECT_EQ(kSilentPeriod, Played(silent[0], entry.first));
    }
    // The next buffer completes the period: the held half first.
    const std::vector<float> played = Played(FillAndTakePass(), AudioObjectType_BackLeft);
    ASSERT_EQ(480u, played.size());
    EXPECT_EQ(std::vector<float>(240, 0.0f),
              std::vector<float>(played.begin(), played.begin() + 240));
    EXPECT_EQ(Tagged(3, 480, 240), std::vector<float>(played.begin() + 240, played.end()));
}

// The sink asks for a buffer only while its ring holds less than one period plus one host buffer,
// and its slots go round one per buffer written.
TEST_F(SinkFrameFlowTest, TheSinkAsksForDataWhileLessThanAPeriodAndABufferIsQueued) {
    CreateLockstepSink(0);  // 480-frame buffers and periods: 960 frames queued
    testing_support::OwnedSampleBuffer buffer(ZvChannelLayout::FromMask(0x3), 480, 480);
    uint32_t uNeeded = 0;
    EXPECT_EQ(ZV_Success, m_pSink->IsDataNeeded(uNeeded));
    EXPECT_EQ(1u, uNeeded);
    m_pSink->ConsumeFrame(buffer.Get(), ZvVolumeRamp{1.0f, 1.0f});
    m_pSink->OnFrameEnd();
    buffer.Get()->uValidFrames = 479;
    m_pSink->ConsumeFrame(buffer.Get(), ZvVolumeRamp{1.0f, 1.0f});
    m_pSink->OnFrameEnd();
    m_pSink->IsDataNeeded(uNeeded);
    EXPECT_EQ(1u, uNeeded) << "959 frames queued";
    buffer.Get()->uValidFrames = 1;
    m_pSink->ConsumeFrame(buffer.Get(), ZvVolumeRamp{1.0f, 1.0f});
    m_pSink->OnFrameEnd();
    m_pSink->IsDataNeeded(uNeeded);
    EXPECT_EQ(0u, uNeeded) << "960 frames queued";
    DestroySink();

    SinkSetup threeSlots;  // 512 frames: three slots
    ASSERT_EQ(ZV_Success, CreateSink(threeSlots));
    ASSERT_EQ(3, m_pSink->NumSlots());
    for (uint16_t uExpected : {1, 2, 0, 1}) {
        m_pSink->OnFrameEnd();
        EXPECT_EQ(uExpected, m_pSink->CurrentSlot());
    }
}

// The delay from ConsumeFrame to the renderer: for every sample, the renderer frames that pass
// between its hand-over (just before a pass) and the pass that plays it. It never exceeds what the
// ring holds ahead of it. The figures go to the test's output and its recorded properties.
TEST_F(SinkFrameFlowTest, TheDelayFromConsumeFrameToTheRendererStaysWithinTheRing) {
    for (uint16_t uHostFrames : {256, 512, 1024}) {
        SCOPED_TRACE(uHostFrames);
        SinkSetup setup;
        setup.uFramesPerBuffer = uHostFrames;
        ASSERT_EQ(ZV_Success, CreateSink(setup));
        TaggedMixSource source;
        std::unique_ptr<host::SinkFrameDriver> pDriver = MakeDriver();
        pDriver->SetSource(&source);

        constexpr size_t kPasses = 64;
        std::vector<uint64_t> handedOverBefore(kPasses);  // frames handed over before pass k
        for (size_t k = 0; k < kPasses; ++k) {
            pDriver->FillSink();
            handedOverBefore[k] = source.FramePosition();
            ASSERT_EQ(1u, standin::Step());
        }
        const std::vector<float> played =
            ObjectStream(standin::TakePasses(), AudioObjectType_FrontLeft);
        ASSERT_EQ(Tagged(0, 0, kPasses * 480), played) << "every frame once, in order";

        // Renderer frame r plays stream frame r; it was handed over before pass c, the first
        // pass whose hand-overs reach past r.
        uint64_t uMin = UINT64_MAX;
        uint64_t uMax = 0;
        double dSum = 0;
        const size_t uSteadyFrom = 8 * 480;  // after the ring's first fill
        for (uint64_t r = uSteadyFrom; r < played.size(); ++r) {
            const size_t c = static_cast<size_t>(
                std::upper_bound(handedOverBefore.begin(), handedOverBefore.end(), r) -
                handedOverBefore.begin());
            ASSERT_LT(c, kPasses);
            ASSERT_LE(c * 480, r);
            const uint64_t uDelay = r - c * 480;
            uMin = std::min(uMin, uDelay);
            uMax = std::max(uMax, uDelay);
            dSum += static_cast<double>(uDelay);
        }
        const uint64_t uRingFrames = m_pSink->RingBytes() / (2 * 4);
        EXPECT_LT(uMax, uRingFrames);
        const double dMean = dSum / static_cast<double>(played.size() - uSteadyFrom);
        printf(
            "host buffer %u frames, %d slots, ring %llu frames: delay %llu to %llu frames, "
            "mean %.0f\n",
            uHostFrames, m_pSink->NumSlots(), static_cast<unsigned long long>(uRingFrames),
            static_cast<unsigned long long>(uMin), static_cast<unsigned long long>(uMax), dMean);
        RecordProperty("delay_max_frames_" + std::to_string(uHostFrames), std::to_string(uMax));
        pDriver.reset();
        DestroySink();
    }
}

}  // namespace
