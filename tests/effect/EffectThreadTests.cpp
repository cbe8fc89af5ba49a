// The audio thread and the render worker together: nothing allocated on either path, a real-time
// run with losses and re-opens injected (clean under ThreadSanitizer), and a termination that does
// not wait longer than one bounded wait of the worker.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "AllocationCounter.h"
#include "EffectTestSupport.h"
#include "WaitUntil.h"
#include "standin/Control.h"
#include "standin/Renderer.h"

namespace {

using effect_tests::EffectTest;
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

// Real-time pacing: the host feeds buffers at about its own pace while devices are lost (replaced
// by new endpoints) and update calls fail; each loss is followed by one re-open, and the bus
// reaches the stream of the last re-open.
TEST_F(EffectTest, ARealTimeRunWithLossesReopensAndKeepsPlaying) {
    standin::CapturePasses(0);
    standin::SetPacing(standin::Pacing::RealTime);
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kFiveOneMask);
    ASSERT_EQ(ZV_Success, Init(layout, 480));
    host::HostBusDriver driver(*m_pEffect, layout, 480);

    const char* const kFailingCalls[] = {
        "ISpatialAudioObjectRenderStreamBase::BeginUpdatingAudioObjects",
        "ISpatialAudioObjectRenderStreamBase::EndUpdatingAudioObjects",
        "WaitForSingleObject",
    };
    constexpr size_t kLosses = 6;
    size_t uLosses = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (uLosses < kLosses && std::chrono::steady_clock::now() < deadline) {
        driver.Process(480, SampleSource());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the host's pace
        // Each loss waits until the one before it has been followed by a re-open and a few passes.
        const std::vector<standin::StreamStats> stats = standin::Streams();
        if (State() != StreamRunning || stats.empty() || stats.back().passes < 5 ||
            standin::StreamActivations().size() != uLosses + 1) {
            continue;
        }
        if (uLosses % 2 == 0) {
            standin::LoseDevice();
            standin::SetDefaultEndpoint(standin::EndpointConfig());
        } else {
            standin::FailCall(kFailingCalls[(uLosses / 2) % 3], 1, AUDCLNT_E_DEVICE_INVALIDATED);
        }
        ++uLosses;
    }
    ASSERT_EQ(kLosses, uLosses);
    // The last loss is followed by a re-open and by passes on the new stream.
    ASSERT_TRUE(WaitUntil(
        [&]() {
            driver.Process(480, SampleSource());
            const std::vector<standin::StreamStats> stats = standin::Streams();
            return standin::StreamActivations().size() == kLosses + 1 && !stats.empty() &&
                   stats.back().passes >= 5;
        },
        std::chrono::seconds(30)));
    EXPECT_EQ(StreamRunning, State());
    EXPECT_EQ(0.0f, driver.Channel(5)[479]) << "the bus goes to the renderer again";
    standin::ClearFaults();
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
