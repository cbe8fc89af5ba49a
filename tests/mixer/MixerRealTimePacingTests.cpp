// The mixer at the renderer's real pace (run under ThreadSanitizer too), fed by an audio thread
// that wakes once a host buffer, up to half a buffer late, and then runs the frames its output
// asks for: every voice, starting and ending in mid-stream, heard whole and without a gap.

#include <gtest/gtest.h>

#include <stdint.h>

#include <chrono>
#include <random>
#include <thread>
#include <tuple>

#include "MixerPacing.h"
#include "MixerTestSupport.h"

namespace {

using mixer_tests::OutputPacer;
using mixer_tests::PacedVoice;
using mixer_tests::Pacing;
using mixer_tests::VoiceLedger;

constexpr uint32_t kRate = 48000;

class MixerRealTimePacingTest : public mixer_tests::MixerTest<mixer_tests::AsyncBuild>,
                                public ::testing::WithParamInterface<std::tuple<int, int>> {
protected:
    void SetUp() override {
        MixerTest::SetUp();
        standin::CapturePasses(4096);
        standin::SetPacing(standin::Pacing::RealTime);
    }

    // The passes the renderer has run on the mixer's stream.
    static uint64_t Passes(uint64_t in_uStreamId) {
        for (const standin::StreamStats& stream : standin::Streams()) {
            if (stream.streamId == in_uStreamId) {
                return stream.passes;
            }
        }
        return 0;
    }
};

TEST_P(MixerRealTimePacingTest, EveryVoiceIsHeardWholeWithTheAudioThreadWokenUpToHalfABufferLate) {
    const Pacing pacing{static_cast<uint32_t>(std::get<0>(GetParam())),
                        static_cast<uint32_t>(std::get<1>(GetParam()))};
    standin::EndpointConfig endpoint;
    endpoint.frameCount = pacing.uPeriod;
    standin::SetDefaultEndpoint(endpoint);
    ASSERT_EQ(ZV_Success,
              Start(mixer_tests::kStereo, 32, false, static_cast<uint16_t>(pacing.uHostFrames)));
    ASSERT_EQ(1u, standin::StreamActivations().size());
    const uint64_t uStreamId = standin::StreamActivations().back().streamId;
    auto frameAt = [&](double in_fSeconds) {
        return static_cast<uint64_t>(in_fSeconds * kRate / pacing.uHostFrames);
    };
    VoiceLedger ledger;
    const double afSeconds[3][2] = {{0.0, 0.8}, {0.21, 0.6}, {0.43, 0.9}};
    float fValue = 0.5f;
    for (const auto& seconds : afSeconds) {
        PacedVoice voice;
        voice.fValue = fValue;
        voice.uFirstFrame = frameAt(seconds[0]);
        voice.uEndFrame = frameAt(seconds[1]);
        ledger.Voices().push_back(voice);
        AddVoice(mixer_tests::kMono, {fValue}, 2.0f, fValue).SetPlaying(false);
        fValue *= 0.5f;
    }

    // An output that holds a period, two buffers and one more: the host's lateness is the
    // output's to bridge, and the mixer's objects keep in step with it.
    OutputPacer output(pacing,
                       (pacing.uPeriod + 2 * pacing.uHostFrames - 1) / pacing.uHostFrames + 2);
    std::mt19937 random(pacing.uHostFrames * 7919u + pacing.uPeriod);
    const std::chrono::microseconds buffer(uint64_t{pacing.uHostFrames} * 1000000u / kRate);
    std::uniform_int_distribution<int64_t> late(0, buffer.count() / 2);
    const uint64_t uEnd = frameAt(1.0);
    uint64_t uPassesSeen = Passes(uStreamId);
    const auto start = std::chrono::steady_clock::now();
    std::chrono::microseconds worstLate(0);
    for (uint64_t uWake = 0; m_pDriver->FramesRun() < uEnd; ++uWake) {
        const auto due = start + uWake * buffer;
        std::this_thread::sleep_until(due + std::chrono::microseconds(late(random)));
        worstLate = std::max(worstLate, std::chrono::duration_cast<std::chrono::microseconds>(
                                            std::chrono::steady_clock::now() - due));
        const uint64_t uPasses = Passes(uStreamId);
        for (; uPassesSeen < uPasses; ++uPassesSeen) {
            output.Pass();
        }
        for (uint32_t uBuffers = output.BuffersWanted(); uBuffers != 0; --uBuffers) {
            const uint64_t uFrame = m_pDriver->FramesRun();
            // No later than the output plays the bed.
            ledger.Rendering(uFrame, pacing.uHostFrames, uPasses * pacing.uPeriod,
                             output.Capacity());
            for (size_t i = 0; i < ledger.Voices().size(); ++i) {
                m_pDriver->VoiceAt(i).SetPlaying(VoiceLedger::Plays(ledger.Voices()[i], uFrame));
            }
            m_pDriver->RunFrame();
            output.Wrote(1);
        }
        for (const standin::Pass& pass : standin::TakePasses()) {
            for (const standin::ObjectPass& object : pass.objects) {
                ledger.Hear(object.samples, pass.index * pass.frames);
            }
        }
    }
    std::printf("host %u, period %u: woken up to %lld us late (a buffer is %lld us)\n",
                pacing.uHostFrames, pacing.uPeriod, static_cast<long long>(worstLate.count()),
                static_cast<long long>(buffer.count()));
    EXPECT_EQ(0u, m_pMixer->RingOverruns());
    ledger.ExpectHeardWhole(pacing.uHostFrames);
}

INSTANTIATE_TEST_SUITE_P(Pacings, MixerRealTimePacingTest,
                         ::testing::Values(std::make_tuple(480, 480), std::make_tuple(256, 1024),
                                           std::make_tuple(1024, 256)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& in_info) {
                             return "Host" + std::to_string(std::get<0>(in_info.param)) + "Period" +
                                    std::to_string(std::get<1>(in_info.param));
                         });

}  // namespace
