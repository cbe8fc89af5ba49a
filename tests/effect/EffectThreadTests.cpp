// The audio thread and the render worker together: nothing allocated on either path, the
// transition soak in real-time pacing (clean under ThreadSanitizer), and a termination that does
// not wait longer than one bounded wait of the worker.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "AllocationCounter.h"
#include "EffectTestSupport.h"
#include "EffectTransitionSoak.h"
#include "WaitUntil.h"
#include "standin/Control.h"
#include "standin/Renderer.h"

namespace {

using effect_tests::EffectTest;
using effect_tests::EffectTransitionSoak;
using effect_tests::SampleSource;
using testing_support::WaitUntil;

// 10,000 buffers through ProcessInPlace with the worker filling a pass after each: neither thread
// takes memory from the heap or from the host.
TEST_F(EffectTest, ProcessingAndTheWorkerAllocateNothing) {
    if (!testing_support::AllocationCountingAvailable()) {
        GTEST_SKIP() << "allocations are not counted in this build";
    }
    standin::CapturePasses(0);
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kSevenOneFourMask);
    ASSERT_EQ(ZV_Success, Init(layout, 512));
    host::HostBusDriver driver(*m_pEffect, layout, 512);
    driver.Process(512, SampleSource());
    ASSERT_EQ(1u, standin::Step());  // the objects are activated in the first pass

    const uint64_t uHostAllocations = m_allocator.MallocCalls();
    uint64_t uPasses = 0;
    testing_support::AllocationWatch watch;
    for (int iBuffer = 0; iBuffer < 10000; ++iBuffer) {
        driver.Process(512, SampleSource());
        uPasses += standin::Step();
        if (iBuffer % 1000 == 0) {
            m_pEffect->ResetPlugin();
        }
    }
    EXPECT_EQ(0u, watch.Count());
    EXPECT_EQ(uHostAllocations, m_allocator.MallocCalls());
    EXPECT_EQ(10000u, uPasses);
    EXPECT_EQ(0.0f, driver.Channel(11)[511]);
}

// The transition soak for seconds in real-time pacing: the renderer by its own clock, the engine
// waking every 10 ms, the worker re-opening on its own thread; every buffer untouched or taken,
// every sample its channel's, nothing stale after a re-open, sound back after every fault, and no
// race.
TEST_F(EffectTransitionSoak, SecondsOfTransitionsInRealTime) {
    SoakInRealTime(61, std::chrono::seconds(6));
    EXPECT_GT(m_uCycle, 4u);
}

// A termination while the worker waits for a renderer that no longer signals ends with that wait.
TEST_F(EffectTest, TerminationDuringAWaitReturnsWithinTheWaitsBound) {
    standin::SetPacing(standin::Pacing::RealTime);
    ASSERT_EQ(ZV_Success, Init(ZvChannelLayout::FromMask(effect_tests::kStereoMask), 480));
    ASSERT_TRUE(WaitUntil([]() {
        const std::vector<standin::StreamStats> stats = standin::Streams();
        return !stats.empty() && stats.back().passes >= 3;
    }));
    standin::LoseDevice();
    const auto start = std::chrono::steady_clock::now();
    Term();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // About 100 ms; the bound only has to tell a bounded wait from a hang.
    EXPECT_LT(elapsed, std::chrono::seconds(1));
}

}  // namespace
