// The sink and the effect over every pacing of the matrix (host buffers of 64 to 4096 frames,
// renderer periods of 120 to 4096 frames), stepped: the engine's thread wakes twice per host
// buffer, each wake up to half a buffer late, and renders the bursts the sink asks for. After the
// first sound nothing is lost, doubled, silent or short in either stream, and no frame waits longer
// than one period plus two host buffers. The latency of each cell is printed ("latency H P sink
// effect") for the table in the notes.
#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "HostAllocatorTest.h"
#include "PacingHarness.h"
#include "PacingSizes.h"

namespace {

using testing_support::PacingRig;
using testing_support::PacingSettings;
using testing_support::StreamAudit;

::testing::AssertionResult Clean(const char* in_pszName, const StreamAudit& in_audit,
                                 uint64_t in_uLatencyBound) {
    if (in_audit.uPasses == 0 || !in_audit.bSounded) {
        return ::testing::AssertionFailure() << in_pszName << " never sounded";
    }
    if (in_audit.uShortPasses != 0 || in_audit.uGapSamples != 0 || in_audit.uWrongSamples != 0 ||
        in_audit.uSkippedSamples != 0) {
        return ::testing::AssertionFailure()
               << in_pszName << ": " << in_audit.uShortPasses << " short or silent passes of "
               << in_audit.uPasses << ", " << in_audit.uGapSamples << " zeros inside sound, "
               << in_audit.uWrongSamples
               << " samples lost, doubled or misplaced; first: " << in_audit.firstFault;
    }
    if (in_audit.uMaxLatency > in_uLatencyBound) {
        return ::testing::AssertionFailure() << in_pszName << ": latency " << in_audit.uMaxLatency
                                             << " frames, more than " << in_uLatencyBound;
    }
    return ::testing::AssertionSuccess();
}

class PacingMatrixTest : public testing_support::HostAllocatorTest,
                         public ::testing::WithParamInterface<std::tuple<uint16_t, uint32_t>> {};

TEST_P(PacingMatrixTest, SinkAndEffectPlayEveryFrameOnceWithinAPeriodAndTwoBuffers) {
    PacingSettings settings;
    settings.uHostFrames = std::get<0>(GetParam());
    settings.uPeriodFrames = std::get<1>(GetParam());
    PacingRig rig(m_allocator, settings);
    ASSERT_TRUE(rig.Start(standin::Pacing::Stepped));
    // A second of audio, and at least what a few host buffers take.
    const uint64_t uPasses = std::max<uint64_t>(
        48000 / settings.uPeriodFrames, 4ull * settings.uHostFrames / settings.uPeriodFrames + 8);
    // The engine wakes twice per host buffer, each wake up to half a buffer late.
    rig.RunStepped(uPasses, settings.uHostFrames / 2, settings.uHostFrames / 2, 17);
    // One period and two host buffers; host buffers below 256 frames queue 256 frames instead of
    // one buffer (a margin against the engine thread's scheduling).
    const uint64_t uBound = uint64_t{settings.uPeriodFrames} + settings.uHostFrames +
                            std::max(settings.uHostFrames, uint16_t{256});
    EXPECT_EQ(uBound, SinkLatencyBoundFrames(settings.uPeriodFrames, settings.uHostFrames));
    EXPECT_TRUE(Clean("sink", rig.SinkAudit(), uBound));
    EXPECT_TRUE(Clean("effect", rig.EffectAudit(), uBound));
    std::printf("latency %u %u %llu %llu\n", settings.uHostFrames, settings.uPeriodFrames,
                static_cast<unsigned long long>(rig.SinkAudit().uMaxLatency),
                static_cast<unsigned long long>(rig.EffectAudit().uMaxLatency));
    rig.Stop();
}

INSTANTIATE_TEST_SUITE_P(
    HostBuffersByPeriods, PacingMatrixTest,
    ::testing::Combine(::testing::Values<uint16_t>(64, 128, 256, 480, 512, 1024, 2048, 4096),
                       ::testing::Values<uint32_t>(120, 256, 480, 512, 1024, 2048, 4096)),
    [](const ::testing::TestParamInfo<std::tuple<uint16_t, uint32_t>>& in_info) {
        return "Host" + std::to_string(std::get<0>(in_info.param)) + "Period" +
               std::to_string(std::get<1>(in_info.param));
    });

}  // namespace

namespace {

class PacingReopenTest : public testing_support::HostAllocatorTest {};

// The endpoint comes back with a longer period, then with a shorter one: each re-opened stream
// of both plug-ins plays whole periods of every frame once.
TEST_F(PacingReopenTest, APeriodThatChangesAtAReopenIsPlayedWhole) {
    PacingSettings settings;
    settings.uHostFrames = 512;
    settings.uPeriodFrames = 480;
    PacingRig rig(m_allocator, settings);
    ASSERT_TRUE(rig.Start(standin::Pacing::Stepped));
    rig.RunStepped(50, 256, 256, 5);
    rig.ReplaceEndpoint(1024);
    rig.RunStepped(100, 256, 256, 6);
    rig.ReplaceEndpoint(256);
    rig.RunStepped(200, 256, 256, 7);
    const uint64_t uBound = 1024 + 2 * 512;
    for (const StreamAudit& audit : {rig.SinkAudit(), rig.EffectAudit()}) {
        EXPECT_TRUE(Clean(audit.bEffect ? "effect" : "sink", audit, uBound));
        EXPECT_EQ(3u, audit.uStreams) << (audit.bEffect ? "effect" : "sink");
    }
    rig.Stop();
}

}  // namespace
