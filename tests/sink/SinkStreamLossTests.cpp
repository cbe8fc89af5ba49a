// A stream that goes away under the sink: the renderer stops signalling, or a pass fails. The
// worker marks the stream lost, the next frame re-opens it on the host thread with everything new,
// and a re-open that fails leaves the sink silent and idle for good.

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <time.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "OwnedSampleBuffer.h"
#include "SinkTestSupport.h"
#include "TaggedMixSource.h"
#include "WaitUntil.h"
#include "standin/Control.h"

namespace {

using host::TaggedMixSource;
using sink_testing::FillAndStep;
using sink_testing::FindObject;
using sink_testing::SinkSetup;
using testing_support::WaitUntil;

std::vector<float> Tagged(uint32_t in_uChannel, uint64_t in_uFirst, size_t in_uFrames) {
    std::vector<float> samples(in_uFrames);
    for (size_t i = 0; i < in_uFrames; ++i) {
        samples[i] = TaggedMixSource::Sample(in_uChannel, in_uFirst + i);
    }
    return samples;
}

double ProcessCpuSeconds() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class SinkStreamLossTest : public sink_testing::SinkTest {
protected:
    // One 480-frame host buffer per 480-frame pass; stereo.
    void SetUp() override {
        SinkTest::SetUp();
        standin::CapturePasses(64);
        SinkSetup setup;
        setup.uFramesPerBuffer = 480;
        ASSERT_EQ(ZV_Success, CreateSink(setup));
        m_pDriver = MakeDriver();
        m_pDriver->SetSource(&m_source);
    }
    void TearDown() override {
        m_pDriver.reset();
        SinkTest::TearDown();
    }

    // Plays two buffers, then leaves one more in the ring: the ring is full as far as the host is
    // concerned when the stream goes.
    void PlayAndFill() {
        ASSERT_EQ(2u, FillAndStep(*m_pDriver, 2));
        ASSERT_EQ(1u, m_pDriver->FillSink());
        ASSERT_EQ(0u, m_pDriver->FillSink());
        standin::TakePasses();
    }

    // The renderer stops signalling. Once the worker has begun its wait after its last pass, the
    // wait expires with the tenth step (100 ms of renderer time), and not before.
    void LoseTheDevice() {
        ASSERT_TRUE(
            WaitUntil([&]() { return standin::WaitingThreads(m_pSink->StreamEvent()) == 1; }));
        standin::LoseDevice();
        for (int i = 0; i < 9; ++i) {
            EXPECT_EQ(0u, standin::Step());
        }
        EXPECT_EQ(StreamRunning, m_pSink->GetStreamState()) << "lost before 100 ms";
        EXPECT_EQ(0u, standin::Step());
        ASSERT_TRUE(WaitUntil([&]() { return m_pSink->GetStreamState() == StreamLost; }))
            << "still running 100 ms after the wait began";
    }

    std::vector<float> PlayedFrontLeft() {
        std::vector<standin::Pass> passes = standin::TakePasses();
        EXPECT_EQ(1u, passes.size());
        const standin::ObjectPass* pObject =
            passes.empty() ? nullptr : FindObject(passes.back(), AudioObjectType_FrontLeft);
        return pObject != nullptr ? pObject->samples : std::vector<float>();
    }

    TaggedMixSource m_source;
    std::unique_ptr<host::SinkFrameDriver> m_pDriver;
};

// Lost within 100 ms of renderer time; the frame that re-opens comes although the ring is full;
// the new stream has a new client (with a new tracing id), stream, objects and event; the
// re-opening frame's buffer is dropped and a silent one takes its place.
TEST_F(SinkStreamLossTest, ASilentRendererIsLostAndTheNextFrameReopensEverything) {
    PlayAndFill();  // frames 0 to 959 played, 960 to 1439 in the ring
    const uint64_t uOldStream = standin::StreamActivations().back().streamId;
    LoseTheDevice();
    standin::SetDefaultEndpoint(standin::EndpointConfig());

    uint32_t uNeeded = 0;
    m_pSink->IsDataNeeded(uNeeded);
    EXPECT_EQ(1u, uNeeded) << "a lost stream asks for the frame that re-opens it";
    EXPECT_EQ(1u, m_pDriver->FillSink());  // frames 1440 to 1919, dropped
    EXPECT_EQ(StreamRunning, m_pSink->GetStreamState());

    const std::vector<standin::ClientActivation> clients = standin::ClientActivations();
    ASSERT_EQ(2u, clients.size());
    const GUID zero = {};
    EXPECT_NE(0, memcmp(&clients[0].params.tracingContextId, &clients[1].params.tracingContextId,
                        sizeof(GUID)));
    EXPECT_NE(0, memcmp(&zero, &clients[1].params.tracingContextId, sizeof(GUID)));
    const std::vector<standin::StreamActivation> streams = standin::StreamActivations();
    ASSERT_EQ(2u, streams.size());
    EXPECT_NE(uOldStream, streams[1].streamId);
    // The lost stream is gone with its duplicate of the old event: the sink's new event and the
    // new stream's duplicate are all that is open.
    EXPECT_EQ(2u, standin::Live().eventHandles);
    EXPECT_EQ(2u, standin::Live().audioObjects);

    ASSERT_EQ(1u, standin::Step());
    std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(1u, passes.size());
    EXPECT_EQ(streams[1].streamId, passes[0].streamId);
    ASSERT_EQ(2u, passes[0].objects.size());
    EXPECT_EQ(Tagged(0, 960, 480), passes[0].objects[0].samples) << "what the ring held";
    ASSERT_EQ(1u, standin::Step());
    EXPECT_EQ(std::vector<float>(480, 0.0f), PlayedFrontLeft()) << "the dropped frame's silence";
    EXPECT_EQ(1u, FillAndStep(*m_pDriver, 1));
    EXPECT_EQ(Tagged(0, 1920, 480), PlayedFrontLeft());
}

// A failed begin or end of a pass, or a failed wait, marks the stream lost too (a failed begin
// only after the pass has been ended); the next frame re-opens it.
TEST_F(SinkStreamLossTest, EachFailureOfAPassMarksTheStreamLost) {
    const char* const apszCalls[] = {
        "ISpatialAudioObjectRenderStreamBase::BeginUpdatingAudioObjects",
        "ISpatialAudioObjectRenderStreamBase::EndUpdatingAudioObjects",
        "WaitForSingleObject",
    };
    size_t uOpens = 1;
    for (const char* pszCall : apszCalls) {
        SCOPED_TRACE(pszCall);
        ASSERT_EQ(2u, FillAndStep(*m_pDriver, 2));
        const uint64_t uEndsBefore =
            standin::CallCount("ISpatialAudioObjectRenderStreamBase::EndUpdatingAudioObjects");
        standin::FailCall(pszCall, 1, AUDCLNT_E_DEVICE_INVALIDATED);
        m_pDriver->FillSink();
        // The failing pass does not end well, so Step waits for it only briefly.
        standin::Step(std::chrono::milliseconds(200));
        ASSERT_TRUE(WaitUntil([&]() { return m_pSink->GetStreamState() == StreamLost; }));
        standin::ClearFaults();
        if (strcmp(pszCall, apszCalls[0]) == 0) {
            EXPECT_EQ(uEndsBefore + 1, standin::CallCount(apszCalls[1]))
                << "the pass whose begin failed is ended";
        }

        m_pDriver->FillSink();
        EXPECT_EQ(StreamRunning, m_pSink->GetStreamState());
        EXPECT_EQ(++uOpens, standin::ClientActivations().size());
        standin::TakePasses();
        EXPECT_EQ(1u, FillAndStep(*m_pDriver, 1)) << "the new stream plays";
    }
}

// A re-open that fails leaves the sink closed: it holds nothing of the dead device, never tries
// again (not even once a new device is there), keeps feeding the ring silence while the host asks,
// and its worker idles without burning a core.
TEST_F(SinkStreamLossTest, AFailedReopenLeavesTheSinkSilentAndIdle) {
    PlayAndFill();
    LoseTheDevice();  // the lost device stays the default: activating on it fails
    EXPECT_EQ(1u, m_pDriver->FillSink());
    EXPECT_EQ(StreamClosed, m_pSink->GetStreamState());
    ASSERT_EQ(2u, standin::ClientActivations().size());
    EXPECT_EQ(AUDCLNT_E_DEVICE_INVALIDATED, standin::ClientActivations()[1].result);
    const standin::LiveCounts live = standin::Live();
    EXPECT_EQ(0u, live.comObjects);
    EXPECT_EQ(0u, live.eventHandles);
    EXPECT_EQ(1u, live.workItems);

    standin::SetDefaultEndpoint(standin::EndpointConfig());
    testing_support::OwnedSampleBuffer buffer(ZvChannelLayout::FromMask(0x3), 480, 480);
    for (int i = 0; i < 3; ++i) {
        m_pSink->ConsumeFrame(buffer.Get(), ZvVolumeRamp{1.0f, 1.0f});
        m_pSink->OnFrameEnd();
    }
    EXPECT_EQ(2u, standin::ClientActivations().size()) << "no second re-open";
    EXPECT_EQ(StreamClosed, m_pSink->GetStreamState());

    // Two seconds of an idle worker; the test thread only sleeps meanwhile.
    const double dCpuBefore = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double dWall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double dShare = (ProcessCpuSeconds() - dCpuBefore) / dWall;
    printf("idle sink: %.2f%% of a core\n", dShare * 100.0);
    RecordProperty("idle_cpu_percent", std::to_string(dShare * 100.0));
    EXPECT_LT(dShare, 0.02);
    EXPECT_GT(standin::CallCount("Sleep"), 0u) << "the worker sleeps while closed";
}

}  // namespace
