// The sink's two threads at work: a real-time run with losses injected while the host keeps
// rendering, TermPlugin while the worker waits, and the frame path and the worker allocating
// nothing. Run under ThreadSanitizer too (label concurrency).

#include <gtest/gtest.h>

#include <stdio.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "AllocationCounter.h"
#include "SinkTestSupport.h"
#include "TaggedMixSource.h"
#include "TransitionSoak.h"
#include "WaitUntil.h"
#include "standin/Control.h"

namespace {

using host::TaggedMixSource;
using sink_testing::SinkSetup;
using testing_support::WaitUntil;

constexpr const char* kBegin = "ISpatialAudioObjectRenderStreamBase::BeginUpdatingAudioObjects";
constexpr const char* kEnd = "ISpatialAudioObjectRenderStreamBase::EndUpdatingAudioObjects";

class SinkConcurrencyTest : public sink_testing::SinkTest {
protected:
    void TearDown() override {
        standin::SetPassObserver(nullptr);
        SinkTest::TearDown();
    }

    // Drives the sink as an engine's audio thread does, waking every 2 ms, until in_done holds
    // or in_limit passes. Returns in_done's last answer.
    template <typename Done>
    bool DriveUntil(host::SinkFrameDriver& io_driver, Done in_done,
                    std::chrono::milliseconds in_limit) {
        const auto deadline = std::chrono::steady_clock::now() + in_limit;
        while (!in_done()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return in_done();
            }
            io_driver.FillSink();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
};

// Several seconds in real time with a lost device, failing begins and ends and a failing wait,
// one after the other, while the host keeps rendering: every loss ends in a re-open that plays
// again, every sample any object plays is silence or its own channel's, and nothing races.
TEST_F(SinkConcurrencyTest, ARealTimeRunRecoversFromEveryInjectedLoss) {
    std::atomic<uint64_t> uPasses{0};
    std::atomic<uint64_t> uForeignSamples{0};
    const std::map<AudioObjectType, uint32_t> kChannels =
        testing_support::SevenOneFourBedChannels();
    standin::SetPassObserver([&](const standin::Pass& in_pass) {
        for (const standin::ObjectPass& object : in_pass.objects) {
            const auto it = kChannels.find(object.type);
            for (float fSample : object.samples) {
                uint32_t uChannel = 0;
                uint32_t uFrame = 0;
                if (fSample != 0.0f &&
                    (it == kChannels.end() || !TaggedMixSource::Decode(fSample, uChannel, uFrame) ||
                     uChannel != it->second)) {
                    uForeignSamples.fetch_add(1, std::memory_order_relaxed);
                }
            }
        }
        uPasses.fetch_add(1, std::memory_order_relaxed);
    });
    standin::SetPacing(standin::Pacing::RealTime);
    SinkSetup setup;
    setup.uChannelConfig = 3;
    ASSERT_EQ(ZV_Success, CreateSink(setup));
    TaggedMixSource source;
    std::unique_ptr<host::SinkFrameDriver> pDriver = MakeDriver();
    pDriver->SetSource(&source);

    // Each loss, then the host renders on until the new stream has played for a while.
    const std::vector<std::string> losses = {"device", kBegin, kEnd, "WaitForSingleObject",
                                             "device"};
    const auto passesOfLatestStream = []() {
        const std::vector<standin::StreamStats> streams = standin::Streams();
        return streams.empty() ? uint64_t{0} : streams.back().passes;
    };
    ASSERT_TRUE(DriveUntil(
        *pDriver, [&]() { return passesOfLatestStream() >= 60; }, std::chrono::seconds(5)));
    for (size_t i = 0; i < losses.size(); ++i) {
        SCOPED_TRACE(losses[i]);
        if (losses[i] == "device") {
            standin::LoseDevice();
            standin::SetDefaultEndpoint(standin::EndpointConfig());
        } else {
            standin::FailCall(losses[i], 1, AUDCLNT_E_DEVICE_INVALIDATED);
        }
        const size_t uOpens = i + 2;
        ASSERT_TRUE(DriveUntil(
            *pDriver,
            [&]() {
                return standin::ClientActivations().size() == uOpens &&
                       m_pSink->GetStreamState() == StreamRunning && passesOfLatestStream() >= 60;
            },
            std::chrono::seconds(5)))
            << "no new stream playing after the loss";
        standin::ClearFaults();
    }
    EXPECT_EQ(losses.size() + 1, standin::ClientActivations().size());
    EXPECT_EQ(losses.size() + 1, standin::StreamActivations().size());
    EXPECT_GT(uPasses.load(), 5u * 60u);
    EXPECT_EQ(0u, uForeignSamples.load());
    printf("%llu passes, %llu frames rendered\n", static_cast<unsigned long long>(uPasses.load()),
           static_cast<unsigned long long>(source.FramePosition()));
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
            standin::LoseDevice();
            ASSERT_TRUE(
                WaitUntil([&]() { return standin::WaitingThreads(m_pSink->StreamEvent()) == 1; }));
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
