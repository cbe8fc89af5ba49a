// What goes on around a lost stream: the renderer stops asking for passes, a pass fails, objects
// fail, a re-open fails. The host keeps rendering at the pace of the clock throughout; the worker
// re-opens at once and, after a failure, again after 1, 2, 4 and 8 seconds of the engine's audio
// time; the host thread takes a re-opened stream over at its next frame, and it plays nothing the
// engine rendered before the loss.

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "CoreShare.h"
#include "SampleRateMatch.h"
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

constexpr const char* kActivateObject =
    "ISpatialAudioObjectRenderStream::ActivateSpatialAudioObject";

std::vector<float> Tagged(uint32_t in_uChannel, uint64_t in_uFirst, size_t in_uFrames) {
    std::vector<float> samples(in_uFrames);
    for (size_t i = 0; i < in_uFrames; ++i) {
        samples[i] = TaggedMixSource::Sample(in_uChannel, in_uFirst + i);
    }
    return samples;
}

const std::vector<float> kSilentPeriod(480, 0.0f);

class SinkStreamLossTest : public sink_testing::SinkTest {
protected:
    // One 480-frame host buffer per 480-frame pass; stereo.
    void SetUp() override {
        SinkTest::SetUp();
        standin::CapturePasses(64);
    }
    void TearDown() override {
        m_pDriver.reset();
        SinkTest::TearDown();
    }

    void Create(uint32_t in_uSampleRate = 48000) {
        SinkSetup setup;
        setup.uFramesPerBuffer = 480;
        setup.uSampleRate = in_uSampleRate;
        ASSERT_EQ(ZV_Success, CreateSink(setup));
        m_pDriver = MakeDriver();
        m_pDriver->SetSource(&m_source);
    }

    // One period: the renderer's step, then the host renders whatever the sink asks for. Returns
    // the host frames that ran.
    uint32_t StepAndFill() {
        standin::Step();
        return m_pDriver->FillSink();
    }

    // Plays two buffers, then leaves two more in the ring (a period and a buffer): the ring is
    // full as far as the host is concerned when the stream goes.
    void PlayAndFill() {
        ASSERT_EQ(2u, FillAndStep(*m_pDriver, 2));
        ASSERT_EQ(1u, m_pDriver->FillSink());
        ASSERT_EQ(0u, m_pDriver->FillSink());
        standin::TakePasses();
    }

    // Right after a re-open: the stream runs, and the pass after the next plays what the engine
    // renders.
    void ExpectSoundBack() {
        EXPECT_EQ(StreamRunning, m_pSink->GetStreamState());
        EXPECT_EQ(1u, StepAndFill());
        standin::TakePasses();
        EXPECT_EQ(1u, StepAndFill());
        const std::vector<float> played = PlayedFrontLeft();
        ASSERT_EQ(480u, played.size());
        uint32_t uChannel = 0, uFrame = 0;
        EXPECT_TRUE(TaggedMixSource::Decode(played[0], uChannel, uFrame)) << "sound is back";
    }

    std::vector<float> PlayedFrontLeft() {
        std::vector<standin::Pass> passes = standin::TakePasses();
        EXPECT_EQ(1u, passes.size());
        const standin::ObjectPass* pObject =
            passes.empty() ? nullptr : FindObject(passes.back(), AudioObjectType_FrontLeft);
        return pObject != nullptr ? pObject->samples : std::vector<float>();
    }

    // Steps until a client activation more than in_uBefore has been made (at most in_uSteps);
    // the audio time when it was, or UINT64_MAX. The host keeps the pace of the clock: a buffer
    // per 10 ms period at 48 kHz, now and then none at the 441 frames per period of 44.1 kHz.
    uint64_t StepUntilActivation(size_t in_uBefore, int in_iSteps) {
        for (int i = 0; i < in_iSteps; ++i) {
            const uint32_t uFrames = StepAndFill();
            if (m_format.uSampleRate == 44100) {
                EXPECT_GE(2u, uFrames);
            } else {
                EXPECT_TRUE(uFrames == 1 || uFrames == 2) << "the host keeps the pace of the clock";
            }
            if (standin::ClientActivations().size() > in_uBefore) {
                return m_pSink->AudioTimeMilliseconds();
            }
        }
        return UINT64_MAX;
    }

    TaggedMixSource m_source;
    std::unique_ptr<host::SinkFrameDriver> m_pDriver;
};

// The renderer stops asking for passes. Its first missing period gets half a period of slack;
// from the second on, the worker drains one period from the ring for every period, so the host is
// asked for a buffer every period. After 100 ms it is lost, and the worker re-opens with a new
// client (with a new tracing id), stream, objects and event; the next frame takes the new stream
// over on an empty ring: it plays what the engine renders from then on, never what it rendered
// before the loss.
TEST_F(SinkStreamLossTest, ASilentRendererIsLostAndTheReopenedStreamPlaysNothingOld) {
    Create();
    PlayAndFill();  // frames 0 to 959 played, 960 to 1439 in the ring
    const uint64_t uOldStream = standin::StreamActivations().back().streamId;
    const uint64_t uLossFrame = m_source.FramePosition();
    standin::LoseDevice();
    standin::SetDefaultEndpoint(standin::EndpointConfig());

    EXPECT_EQ(0u, StepAndFill()) << "half a period of slack";
    for (int i = 2; i <= 10; ++i) {
        EXPECT_EQ(1u, StepAndFill()) << "period " << i;
        EXPECT_EQ(StreamRunning, m_pSink->GetStreamState()) << "lost before 100 ms";
    }
    // The eleventh period ends the 100 ms: the worker re-opens, and the frame that this period
    // lets run takes the new stream over.
    const uint64_t uReopenFrame = m_source.FramePosition();
    EXPECT_EQ(2u, StepAndFill()) << "the emptied ring is queued again: a period and a buffer";
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
    // new stream's duplicate are all that is open, with the sink's pacing timer.
    EXPECT_EQ(2u, standin::Live().eventHandles);
    EXPECT_EQ(3u, standin::Live().handles);
    EXPECT_EQ(2u, standin::Live().audioObjects);

    ASSERT_EQ(1u, standin::Step());
    std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(1u, passes.size());
    EXPECT_EQ(streams[1].streamId, passes[0].streamId);
    ASSERT_EQ(2u, passes[0].objects.size());
    EXPECT_LT(uLossFrame, uReopenFrame);
    EXPECT_EQ(Tagged(0, uReopenFrame, 480), passes[0].objects[0].samples)
        << "rendered after the re-open";
    EXPECT_EQ(1u, m_pDriver->FillSink());
    ASSERT_EQ(1u, standin::Step());
    EXPECT_EQ(Tagged(0, uReopenFrame + 480, 480), PlayedFrontLeft());
}

// A renderer late for its passes (the worker's first wait runs out before the pass comes): the
// period it lets go by is taken from the ring at once, so the host renders on, and played by the
// late pass, so nothing is skipped or played twice. The host then waits for the late renderer
// once, never two periods in a row.
TEST_F(SinkStreamLossTest, ALateRendererSkipsNothing) {
    Create();
    ASSERT_EQ(2u, FillAndStep(*m_pDriver, 2));
    ASSERT_EQ(1u, m_pDriver->FillSink());
    standin::DelaySignals(2);
    EXPECT_EQ(0u, StepAndFill()) << "half a period of slack";
    EXPECT_EQ(1u, StepAndFill()) << "the period let go by is taken";
    EXPECT_EQ(0u, StepAndFill()) << "the late pass plays it";
    EXPECT_EQ(1u, StepAndFill());
    EXPECT_EQ(1u, StepAndFill());
    EXPECT_EQ(StreamRunning, m_pSink->GetStreamState());
    EXPECT_EQ(Tagged(0, 0, 5 * 480),
              sink_testing::ObjectStream(standin::TakePasses(), AudioObjectType_FrontLeft))
        << "every frame once, in order";
}

// A failed begin or end of a pass, or a failed wait, loses the stream too (a failed begin only
// after the pass has been ended); the worker re-opens it and the next frame takes it over. The
// new stream never plays the buffer that was in the ring when the old one was lost.
TEST_F(SinkStreamLossTest, EachFailureOfAPassMarksTheStreamLost) {
    Create();
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
        const uint64_t uInRing = m_source.FramePosition();
        m_pDriver->FillSink();
        // The failing pass does not end well, so Step waits for it only briefly.
        standin::Step(std::chrono::milliseconds(200));
        ASSERT_TRUE(WaitUntil([&]() { return m_pSink->GetStreamState() == StreamOpened; }));
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
        EXPECT_NE(Tagged(0, uInRing, 480), PlayedFrontLeft()) << "what the ring held";
    }
}

// An object that cannot be activated, or whose buffer the renderer does not hand out (which ends
// it), silences its own channel until a later pass activates a new one; the other channel plays
// on, and every pass takes its period from the ring, so the host keeps rendering.
TEST_F(SinkStreamLossTest, AFailingObjectSilencesOnlyItsChannelUntilItIsActivatedAgain) {
    // Front right fails at the open and again at the first pass.
    standin::FailCall(kActivateObject, 2, SPTLAUDCLNT_E_INTERNAL, 2);
    Create();
    ASSERT_EQ(2u, m_pDriver->FillSink());
    ASSERT_EQ(1u, StepAndFill());
    ASSERT_EQ(1u, StepAndFill());
    std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(2u, passes.size());
    ASSERT_EQ(1u, passes[0].objects.size()) << "no front right yet";
    EXPECT_EQ(Tagged(0, 0, 480), passes[0].objects[0].samples);
    ASSERT_NE(nullptr, FindObject(passes[1], AudioObjectType_FrontRight));
    EXPECT_EQ(Tagged(0, 480, 480), FindObject(passes[1], AudioObjectType_FrontLeft)->samples);
    EXPECT_EQ(Tagged(1, 480, 480), FindObject(passes[1], AudioObjectType_FrontRight)->samples);
    const uint64_t uFrontLeftId = FindObject(passes[1], AudioObjectType_FrontLeft)->objectId;

    // Front left's buffer is refused in the next pass: the renderer ends it.
    standin::FailCall("ISpatialAudioObjectBase::GetBuffer", 1, SPTLAUDCLNT_E_INTERNAL);
    ASSERT_EQ(1u, StepAndFill());
    ASSERT_EQ(1u, StepAndFill());
    passes = standin::TakePasses();
    ASSERT_EQ(2u, passes.size());
    EXPECT_EQ(nullptr, FindObject(passes[0], AudioObjectType_FrontLeft)) << "released at once";
    EXPECT_EQ(Tagged(1, 960, 480), FindObject(passes[0], AudioObjectType_FrontRight)->samples);
    const standin::ObjectPass* pNewFrontLeft = FindObject(passes[1], AudioObjectType_FrontLeft);
    ASSERT_NE(nullptr, pNewFrontLeft);
    EXPECT_NE(uFrontLeftId, pNewFrontLeft->objectId) << "a new object";
    EXPECT_EQ(Tagged(0, 1440, 480), pNewFrontLeft->samples);
    EXPECT_EQ(Tagged(1, 1440, 480), FindObject(passes[1], AudioObjectType_FrontRight)->samples);
    EXPECT_EQ(2u, standin::Live().audioObjects) << "the ended one was released";
}

// A re-open that fails leaves the sink without a stream: it holds nothing of the dead device, its
// worker takes one period from the ring per period by its own timer, and the host renders on at
// that pace. The re-open is tried again after 1, 2, 4 and 8 seconds of audio time, then every 8
// seconds, each try counted; once the device is back the next try plays again.
TEST_F(SinkStreamLossTest, AFailedReopenIsTriedAgainAfterOneTwoFourAndEightSeconds) {
    Create();
    ASSERT_EQ(2u, FillAndStep(*m_pDriver, 2));
    standin::TakePasses();
    standin::LoseDevice(AUDCLNT_E_DEVICE_INVALIDATED, standin::LostSignalling::Continues);
    StepAndFill();
    ASSERT_EQ(2u, standin::ClientActivations().size()) << "the first re-open comes at once";
    EXPECT_EQ(AUDCLNT_E_DEVICE_INVALIDATED, standin::ClientActivations()[1].result);
    EXPECT_EQ(StreamClosed, m_pSink->GetStreamState());
    EXPECT_EQ(1u, m_pSink->FailedReopens());
    const standin::LiveCounts live = standin::Live();
    EXPECT_EQ(0u, live.comObjects);
    EXPECT_EQ(0u, live.eventHandles);
    EXPECT_EQ(1u, live.handles) << "the worker's timer";
    EXPECT_EQ(1u, live.workItems);

    uint64_t uPrevious = m_pSink->AudioTimeMilliseconds();
    for (uint64_t uInterval : {1000u, 2000u, 4000u, 8000u, 8000u}) {
        SCOPED_TRACE(uInterval);
        const size_t uTries = standin::ClientActivations().size();
        const uint64_t uAt = StepUntilActivation(uTries, 1000);
        ASSERT_NE(UINT64_MAX, uAt);
        // The try comes in the first frame at or after its time (the host's frames run up to a
        // buffer, 10 ms, ahead of the clock that the worker ticks by).
        EXPECT_GE(uAt + 10, uPrevious + uInterval);
        EXPECT_LT(uAt, uPrevious + uInterval + 20);
        uPrevious = uAt;
    }
    EXPECT_EQ(6u, m_pSink->FailedReopens());
    EXPECT_TRUE(standin::TakePasses().empty());

    // The device comes back two seconds into an eight-second interval.
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(1u, StepAndFill());
    }
    standin::SetDefaultEndpoint(standin::EndpointConfig());
    const size_t uTries = standin::ClientActivations().size();
    ASSERT_NE(UINT64_MAX, StepUntilActivation(uTries, 610));
    ExpectSoundBack();
}

// The renderer plays at its own rate (48 kHz, as Windows Sonic does), and the sink converts none:
// an engine at 44.1 kHz would be heard 8.8 % sharp and fast through it. Such a renderer is no
// device for the engine: InitPlugin answers 4 (the engine plays on its own output) after one report
// that names both rates, and no stream is asked for. At the renderer's rate, or naming none, the
// sink opens and says nothing.
TEST_F(SinkStreamLossTest, ARendererAtAnotherRateThanTheEnginesIsNoDevice) {
    SinkSetup setup;
    setup.uSampleRate = 44100;
    EXPECT_EQ(ZV_DeviceNotOpened, CreateSink(setup));
    EXPECT_TRUE(standin::StreamActivations().empty());
    EXPECT_EQ(0u, standin::Live().workItems);
    ASSERT_EQ(1u, m_checks.Reports().size());
    EXPECT_TRUE(m_checks.Saw(
        "the engine runs at 44100 Hz, the renderer plays at 48000 Hz: no stream at the wrong rate",
        "ZvSinkISAC"))
        << FirstReport();
    m_checks.Clear();
    DestroySink();

    standin::SetDefaultEndpoint(testing_support::EndpointAtRate(44100));
    for (const uint32_t uRate : {44100u, kUnstatedSampleRate}) {
        SCOPED_TRACE(uRate);
        Create(uRate);
        ASSERT_EQ(2u, FillAndStep(*m_pDriver, 2));
        EXPECT_EQ(2u, standin::TakePasses().size());
        // The engine's audio time goes at 44.1 kHz.
        EXPECT_EQ(m_source.FramePosition() * 1000 / 44100, m_pSink->AudioTimeMilliseconds());
        m_pDriver.reset();
        m_source = TaggedMixSource();
        DestroySink();
    }
}

// A re-open onto a renderer at another rate than the engine's is a failed re-open, for an engine
// at 48 kHz and at 44.1 kHz alike, and for one that named no rate (it runs at the rate of the
// renderer it first played through): tried again on the schedule, asking for no stream, with one
// report naming both rates; once the renderer is back at the engine's rate, the next try plays.
TEST_F(SinkStreamLossTest, AReopenOntoAnotherRateIsAFailedReopen) {
    struct Case {
        uint32_t uRecordRate, uRate, uOtherRate;  // the format record's, the engine's, the other
    };
    for (const Case& rates : {Case{48000, 48000, 44100}, Case{44100, 44100, 48000},
                              Case{kUnstatedSampleRate, 48000, 44100}}) {
        SCOPED_TRACE(rates.uRecordRate);
        standin::SetDefaultEndpoint(testing_support::EndpointAtRate(rates.uRate));
        Create(rates.uRecordRate);
        ASSERT_EQ(2u, FillAndStep(*m_pDriver, 2));
        const size_t uClients = standin::ClientActivations().size();
        const size_t uStreams = standin::StreamActivations().size();
        standin::LoseDevice(AUDCLNT_E_DEVICE_INVALIDATED, standin::LostSignalling::Continues);
        standin::SetDefaultEndpoint(testing_support::EndpointAtRate(rates.uOtherRate));
        EXPECT_EQ(2u, StepAndFill()) << "the host goes on: a period and a buffer queued";
        ASSERT_EQ(uClients + 1, standin::ClientActivations().size())
            << "the first re-open comes at once";
        EXPECT_EQ(StreamClosed, m_pSink->GetStreamState());
        EXPECT_EQ(1u, m_pSink->FailedReopens());
        const std::string report =
            "the engine runs at " + std::to_string(rates.uRate) + " Hz, the renderer plays at " +
            std::to_string(rates.uOtherRate) + " Hz: no stream at the wrong rate";
        for (int iTry = 0; iTry < 2; ++iTry) {
            ASSERT_NE(UINT64_MAX, StepUntilActivation(standin::ClientActivations().size(), 250));
        }
        EXPECT_EQ(3u, m_pSink->FailedReopens());
        EXPECT_EQ(uStreams, standin::StreamActivations().size()) << "no stream at the wrong rate";
        EXPECT_EQ(1u, m_checks.Reports().size()) << "one report for the tries";
        EXPECT_TRUE(m_checks.Saw(report, "ZvSinkISAC")) << FirstReport();
        m_checks.Clear();
        standin::TakePasses();

        standin::SetDefaultEndpoint(testing_support::EndpointAtRate(rates.uRate));
        ASSERT_NE(UINT64_MAX, StepUntilActivation(standin::ClientActivations().size(), 450));
        EXPECT_EQ(3u, m_pSink->FailedReopens());
        ExpectSoundBack();
        m_pDriver.reset();
        m_source = TaggedMixSource();
        DestroySink();
    }
}

// Without a stream the worker only ticks once per period: two seconds of it in real time cost a
// trace of a core. Each tick wakes two threads here, the worker and the stand-in's timer thread
// (the system's own timer on Windows), so the bound is a little above the idle workers' 2 %.
TEST_F(SinkStreamLossTest, AWorkerWithoutAStreamCostsATraceOfACore) {
    standin::SetPacing(standin::Pacing::RealTime);
    Create();
    standin::LoseDevice(AUDCLNT_E_DEVICE_INVALIDATED, standin::LostSignalling::Continues);
    ASSERT_TRUE(WaitUntil([&]() {
        m_pDriver->FillSink();
        return m_pSink->GetStreamState() == StreamClosed;
    }));
    // Two seconds in which the test thread only sleeps.
    const uint64_t uWaitsBefore = standin::CallCount("WaitForSingleObject");
    const auto start = std::chrono::steady_clock::now();
    const double dShare = testing_support::ProcessCoreShareWhileSleeping(std::chrono::seconds(2));
    const double dWall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double dTicksPerSecond =
        static_cast<double>(standin::CallCount("WaitForSingleObject") - uWaitsBefore) / dWall;
    printf("sink without a stream: %.2f%% of a core, %.0f ticks a second\n", dShare * 100.0,
           dTicksPerSecond);
    RecordProperty("idle_cpu_percent", std::to_string(dShare * 100.0));
    EXPECT_LT(dShare, 0.03);
    EXPECT_GT(dTicksPerSecond, 50.0) << "about one tick per 10 ms period";
    EXPECT_LT(dTicksPerSecond, 120.0);
}

}  // namespace
