// Failures during set-up and in the worker: every platform call of a run failed in turn, and every
// host allocation of a set-up refused in turn, leave no block, live object, reference or handle
// once the effect is terminated, and the effect fails the set-up (2) rather than running half made.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AssertRecorder.h"
#include "EffectTestSupport.h"
#include "FaultSweep.h"
#include "StandinFixture.h"
#include "standin/Control.h"
#include "standin/Renderer.h"

namespace {

using effect_tests::EffectTest;
using effect_tests::SampleSource;
using testing_support::NothingLive;

class EffectFaultTest : public EffectTest {
protected:
    // One run: set-up, a buffer, one pass, another buffer, termination. A pass that a fault keeps
    // from ending lets Step return after a short while.
    ZvResult Run() {
        const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kFiveOneMask);
        const ZvResult eResult = Init(layout, 480);
        if (m_pEffect != nullptr) {
            host::HostBusDriver driver(*m_pEffect, layout, 480);
            driver.Process(480, SampleSource());
            standin::Step(std::chrono::milliseconds(150));
            driver.Process(480, SampleSource());
            Term();
        }
        return eResult;
    }
};

TEST_F(EffectFaultTest, EachFailingPlatformCallLeavesNothingBehind) {
    uint32_t uSetUpFailures = 0;
    testing_support::SweepPlatformFaults(
        [&]() {
            standin::CapturePasses(0);
            if (Run() != ZV_Success) {
                ++uSetUpFailures;
            }
        },
        [&](const testing_support::FailedCall&) {
            EXPECT_EQ(0u, m_allocator.OutstandingBlocks());
            EXPECT_TRUE(
                testing_support::WaitUntil([]() { return standin::Live().runningCallbacks == 0; }));
            EXPECT_TRUE(NothingLive());
        });
    // The set-up's own failures (enumerator, endpoint, client, formats, event, stream, work item)
    // all fail the set-up.
    EXPECT_GE(uSetUpFailures, 8u);
}

TEST_F(EffectFaultTest, EachRefusedHostAllocationFailsTheSetUpAndLeavesNothingBehind) {
    ASSERT_EQ(ZV_Success, Run());
    const uint64_t uAllocations = m_allocator.AllocationCount();
    ASSERT_GE(uAllocations, 5u) << "effect, interleave, ring, ring storage, scratch";
    for (uint64_t uNth = 1; uNth <= uAllocations; ++uNth) {
        SCOPED_TRACE(uNth);
        m_allocator.FailAllocation(uNth);
        EXPECT_EQ(ZV_Failure, Run());
        m_allocator.FailAllocation(0);
        EXPECT_EQ(0u, m_allocator.OutstandingBlocks());
        EXPECT_TRUE(NothingLive());
    }
}

TEST_F(EffectFaultTest, ARingWhoseLockCannotBeMadeIsReportedAndFailsTheSetUp) {
    testing_support::AssertRecorder checks;
    standin::FailCall("InitializeCriticalSectionEx", 1, E_OUTOFMEMORY);
    EXPECT_EQ(ZV_Failure, Run());
    EXPECT_TRUE(checks.Saw("!\"ISAC CBuffer InitFailed.\"", "CBuffer"));
    EXPECT_TRUE(NothingLive());
}

}  // namespace
