// The sink's two threads at work: the transition soak in real-time pacing, TermPlugin while the
// worker waits, and the frame path and the worker allocating nothing. Run under ThreadSanitizer
// too (label concurrency).

#include <gtest/gtest.h>

#include <stdio.h>

#include <chrono>
#include <vector>

#include "AllocationCounter.h"
#include "SinkTestSupport.h"
#include "SinkTransitionSoak.h"
#include "TaggedMixSource.h"
#include "WaitUntil.h"
#include "standin/Control.h"

namespace {

using host::TaggedMixSource;
using sink_testing::SinkSetup;
using sink_testing::SinkTransitionSoak;
using testing_support::WaitUntil;

constexpr const char* kBegin = "ISpatialAudioObjectRenderStreamBase::BeginUpdatingAudioObjects";
constexpr const char* kEnd = "ISpatialAudioObjectRenderStreamBase::EndUpdatingAudioObjects";

class SinkConcurrencyTest : public sink_testing::SinkTest {};

// The transition soak for seconds in real-time pacing: the renderer by its own clock, the host
// waking every 10 ms, the worker re-opening on its own thread; every sample still its channel's,
// nothing stale after a re-open, sound back after every fault, and no race.
TEST_F(SinkTransitionSoak, SecondsOfTransitionsInRealTime) {
    SoakInRealTime(61, std::chrono::seconds(6));
    EXPECT_GT(m_uCycle, 4u);
}

// TermPlugin while the worker waits for a pass that will not come returns once the worker's run
// has ended, within its 100 ms wait; while passes come, within one of them.
TEST_F(SinkConcurrencyTest, TermPluginWhileTheWorkerWaitsReturnsWithinItsWait) {
    standin::SetPacing(standin::Pacing::RealTime);
    for (bool bLost : {false, true}) {
        SCOPED_TRACE(bLost ? "device lost" : "playing");
        ASSERT_EQ(ZV_Success, CreateSink(SinkSetup()));
        ASSERT_TRUE(WaitUntil([]() { return standin::CallCount(kEnd) >= 3; }));
        if (bLost) {
            // Once the worker has waited in vain twice, it waits for a pass that will not come.
            standin::LoseDevice();
            const uint64_t uWaits = standin::CallCount("WaitForSingleObject");
            ASSERT_TRUE(WaitUntil(
                [&]() { return standin::CallCount("WaitForSingleObject") >= uWaits + 2; }));
        }
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(ZV_Success, m_pSink->TermPlugin(&m_allocator));
        const double dMilliseconds =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        m_pSink = nullptr;
        EXPECT_EQ(0u, standin::Live().runningCallbacks) << "TermPlugin returned before the worker";
        printf("TermPlugin (%s): %.1f ms\n", bLost ? "device lost" : "playing", dMilliseconds);
        EXPECT_LT(dMilliseconds, 1000.0);
        DestroySink();
        standin::SetDefaultEndpoint(standin::EndpointConfig());
        standin::ClearCallLog();
    }
}

// 10,000 host frames through the stepped renderer, with one loss and re-open on the way: neither
// the host thread's frame operations nor the worker allocate, from the heap or from the host.
TEST_F(SinkConcurrencyTest, TheFramePathAndTheWorkerAllocateNothing) {
    if (!testing_support::AllocationCountingAvailable()) {
        GTEST_SKIP() << "allocations are not counted in this build";
    }
    SinkSetup setup;
    setup.uChannelConfig = 3;
    ASSERT_EQ(ZV_Success, CreateSink(setup));
    TaggedMixSource source;
    std::unique_ptr<host::SinkFrameDriver> pDriver = MakeDriver();
    pDriver->SetSource(&source);
    for (int i = 0; i < 4; ++i) {
        pDriver->FillSink();
        ASSERT_EQ(1u, standin::Step());
    }
    // The 5000th pass from here fails to begin: the stream is lost and re-opened on the way.
    standin::FailCall(kBegin, 5000, AUDCLNT_E_DEVICE_INVALIDATED);

    const uint64_t uHostAllocations = m_allocator.AllocationCount();
    const uint64_t uFramesBefore = pDriver->FramesRun();
    testing_support::AllocationWatch watch;
    while (pDriver->FramesRun() - uFramesBefore < 10000) {
        pDriver->FillSink();
        // The pass that fails to begin does not end: its step waits only briefly. The next
        // fill re-opens the stream.
        standin::Step(std::chrono::milliseconds(200));
    }
    EXPECT_EQ(0u, watch.Count()) << "allocations by the sink's threads";
    EXPECT_EQ(uHostAllocations, m_allocator.AllocationCount());
    EXPECT_EQ(2u, standin::ClientActivations().size()) << "the loss on the way was re-opened";
    standin::ClearFaults();
}

}  // namespace
