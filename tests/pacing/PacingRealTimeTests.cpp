// The sink and the effect in real-time pacing: the renderer passes by the clock, and the engine's
// thread wakes twice per host buffer, each wake up to half a buffer late (seeded). Within every
// stream each frame is played at most once, in order, on its own channel: no period played twice,
// nothing torn between the threads. Skipped frames and silent or short passes are printed, not
// asserted: on a shared machine the renderer's and the test's own threads are late by more than
// the half buffer the plug-ins are built for (a renderer that skips a pass has its period dropped
// to keep the clock's pace); the stepped matrix holds them to zero for that lateness.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <tuple>

#include "HostAllocatorTest.h"
#include "PacingHarness.h"

namespace {

using testing_support::PacingRig;
using testing_support::PacingSettings;
using testing_support::StreamAudit;

class PacingRealTimeTest : public testing_support::HostAllocatorTest,
                           public ::testing::WithParamInterface<std::tuple<uint16_t, uint32_t>> {};

TEST_P(PacingRealTimeTest, LateWakesLoseNothing) {
    PacingSettings settings;
    settings.uHostFrames = std::get<0>(GetParam());
    settings.uPeriodFrames = std::get<1>(GetParam());
    PacingRig rig(m_allocator, settings);
    ASSERT_TRUE(rig.Start(standin::Pacing::RealTime));
    rig.RunRealTime(std::chrono::milliseconds(2000), 0.5, 23);
    rig.Stop();
    for (const StreamAudit& audit : {rig.SinkAudit(), rig.EffectAudit()}) {
        const char* pszName = audit.bEffect ? "effect" : "sink";
        EXPECT_TRUE(audit.bSounded) << pszName;
        EXPECT_EQ(0u, audit.uWrongSamples) << pszName << ": " << audit.firstFault;
        std::printf("%s: %llu passes, %llu short or silent, %llu samples skipped, %llu streams\n",
                    pszName, static_cast<unsigned long long>(audit.uPasses),
                    static_cast<unsigned long long>(audit.uShortPasses),
                    static_cast<unsigned long long>(audit.uSkippedSamples),
                    static_cast<unsigned long long>(audit.uStreams));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, PacingRealTimeTest,
    ::testing::Values(std::make_tuple(uint16_t{480}, 480u), std::make_tuple(uint16_t{128}, 480u),
                      std::make_tuple(uint16_t{1024}, 256u)),
    [](const ::testing::TestParamInfo<std::tuple<uint16_t, uint32_t>>& in_info) {
        return "Host" + std::to_string(std::get<0>(in_info.param)) + "Period" +
               std::to_string(std::get<1>(in_info.param));
    });

}  // namespace
