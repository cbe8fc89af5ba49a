// Pacing of render streams with a client on another thread: stepped pacing (one pass per Step,
// time-outs on renderer time), real-time pacing by the clock, and a client written like the
// plug-ins whose samples must arrive bit for bit in both.

#include <gtest/gtest.h>

#include <windows.h>

#include <spatialaudioclient.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "BedSineClient.h"
#include "SpatialTestSupport.h"
#include "StandinFixture.h"
#include "standin/Renderer.h"

namespace {

using testing_support::ActivateStream;
using testing_support::BedSineClient;
using testing_support::OpenDefaultClient;
using testing_support::StreamRequest;
using testing_support::WaitUntil;

// Wall time of one Step with in_timeout, which must end in_uEnded passes.
int64_t StepMilliseconds(std::chrono::milliseconds in_timeout, size_t in_uEnded) {
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(in_uEnded, standin::Step(in_timeout));
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 before)
        .count();
}

class RendererPacingTest : public testing_support::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        m_hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    void TearDown() override {
        StopClient();
        m_stream.Reset();
        m_client.Reset();
        CloseHandle(m_hEvent);
        StandinTest::TearDown();
    }

    void OpenStream() {
        ASSERT_EQ(S_OK, OpenDefaultClient(m_client));
        StreamRequest request;
        request.hEvent = m_hEvent;
        ASSERT_EQ(S_OK, ActivateStream(m_client.Get(), request, m_stream));
        ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                             m_object.ReleaseAndGetAddressOf()));
    }

    // A client thread: waits for each pass (at most in_dwTimeoutMs), writes the pass number into
    // the first sample, ends the pass; counts time-outs and the wall time of every Begin.
    void StartClient(DWORD in_dwTimeoutMs = 100) {
        m_bRun = true;
        m_thread = std::thread([this, in_dwTimeoutMs]() {
            uint32_t uPass = 0;
            while (m_bRun.load()) {
                if (WaitForSingleObject(m_hEvent, in_dwTimeoutMs) != WAIT_OBJECT_0) {
                    m_uTimeouts.fetch_add(1);
                    continue;
                }
                UINT32 uAvailable = 0, uFrames = 0;
                if (FAILED(m_stream->BeginUpdatingAudioObjects(&uAvailable, &uFrames))) {
                    continue;
                }
                m_beginTimes[uPass % m_beginTimes.size()] = std::chrono::steady_clock::now();
                BYTE* pBuffer = nullptr;
                UINT32 uBytes = 0;
                if (SUCCEEDED(m_object->GetBuffer(&pBuffer, &uBytes))) {
                    reinterpret_cast<float*>(pBuffer)[0] = static_cast<float>(uPass);
                }
                m_stream->EndUpdatingAudioObjects();
                m_uPasses.store(++uPass);
            }
        });
    }
    void StopClient() {
        if (m_thread.joinable()) {
            m_bRun = false;
            SetEvent(m_hEvent);
            m_thread.join();
        }
        m_object.Reset();
    }

    ComPtr<ISpatialAudioClient> m_client;
    ComPtr<ISpatialAudioObjectRenderStream> m_stream;
    ComPtr<ISpatialAudioObject> m_object;
    HANDLE m_hEvent = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_bRun{false};
    std::atomic<uint32_t> m_uPasses{0};
    std::atomic<uint32_t> m_uTimeouts{0};
    std::vector<std::chrono::steady_clock::time_point> m_beginTimes =
        std::vector<std::chrono::steady_clock::time_point>(64);
};

TEST_F(RendererPacingTest, EachStepRunsExactlyOnePassOfEveryStartedStream) {
    OpenStream();
    standin::CapturePasses(100);
    StartClient();
    EXPECT_EQ(0u, standin::Step()) << "a stream that is not started is not paced";
    ASSERT_EQ(S_OK, m_stream->Start());
    ASSERT_TRUE(standin::WaitForStartedStreams(1));
    for (uint32_t i = 1; i <= 20; ++i) {
        ASSERT_EQ(1u, standin::Step());
        EXPECT_EQ(i, standin::Streams().at(0).passes)
            << "Step returns only after the client ended its pass";
    }
    const std::vector<standin::StreamStats> stats = standin::Streams();
    ASSERT_EQ(1u, stats.size());
    EXPECT_EQ(20u, stats[0].signalled);
    EXPECT_EQ(20u, stats[0].passes);
    EXPECT_EQ(0u, stats[0].missedPasses);
    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(20u, passes.size());
    for (size_t i = 0; i < passes.size(); ++i) {
        EXPECT_EQ(static_cast<float>(i), passes[i].objects.at(0).samples.at(0));
    }
    EXPECT_EQ(0u, m_uTimeouts.load());
}

TEST_F(RendererPacingTest, SignalsLeftUnansweredAreCountedAsMissedPasses) {
    OpenStream();
    ASSERT_EQ(S_OK, m_stream->Start());
    standin::Step(std::chrono::milliseconds(0));
    standin::Step(std::chrono::milliseconds(0));
    standin::Step(std::chrono::milliseconds(0));
    UINT32 uAvailable = 0, uFrames = 0;
    ASSERT_EQ(S_OK, m_stream->BeginUpdatingAudioObjects(&uAvailable, &uFrames));
    ASSERT_EQ(S_OK, m_stream->EndUpdatingAudioObjects());
    standin::Step(std::chrono::milliseconds(0));
    EXPECT_EQ(2u, standin::Streams().at(0).missedPasses);
    EXPECT_EQ(4u, standin::Streams().at(0).signalled);
    // The step that gave up no longer waits for its pass: a step that signals nothing returns at
    // once instead of running out its time.
    standin::DelaySignals(1);
    EXPECT_LT(StepMilliseconds(std::chrono::seconds(30), 0u), 20000);
}

TEST_F(RendererPacingTest, SteppedTimeOutsRunOnRendererTime) {
    OpenStream();
    ASSERT_EQ(S_OK, m_stream->Start());
    standin::LoseDevice();
    std::atomic<DWORD> dwResult{WAIT_FAILED};
    std::thread client([&]() { dwResult = WaitForSingleObject(m_hEvent, 100); });
    ASSERT_TRUE(WaitUntil([&]() { return standin::WaitingThreads(m_hEvent) == 1; }));
    // 100 ms of renderer time is ten periods of 10 ms: however long nine steps take on the wall
    // clock, the wait is still under way after them.
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(0u, standin::Step()) << "a lost stream is not paced";
    }
    EXPECT_EQ(WAIT_FAILED, dwResult.load());
    // The tenth step brings renderer time to the deadline; the waiting thread then ends its wait
    // however long the wall clock makes it take.
    standin::Step();
    EXPECT_TRUE(WaitUntil([&]() { return dwResult.load() != WAIT_FAILED; }));
    client.join();
    EXPECT_EQ(WAIT_TIMEOUT, dwResult.load());
}

TEST_F(RendererPacingTest, AStreamStoppedOrReleasedInsteadOfItsPassEndsTheStepsWait) {
    OpenStream();
    ASSERT_EQ(S_OK, m_stream->Start());
    // Answers the first signal by stopping the stream, the second by releasing it.
    std::thread client([&]() {
        if (WaitForSingleObject(m_hEvent, 1000) == WAIT_OBJECT_0) {
            m_stream->Stop();
        }
        m_stream->Start();
        if (WaitForSingleObject(m_hEvent, 1000) == WAIT_OBJECT_0) {
            m_object.Reset();
            m_stream.Reset();
        }
        WaitForSingleObject(m_hEvent, 20);  // on the wall clock: the stream is gone
    });
    ASSERT_TRUE(WaitUntil([&]() { return standin::WaitingThreads(m_hEvent) == 1; }));
    // Neither pass will ever end: a step that still waited for one would run out its time.
    for (int i = 0; i < 2; ++i) {
        EXPECT_LT(StepMilliseconds(std::chrono::seconds(30), 0u), 20000);
    }
    client.join();
}

TEST_F(RendererPacingTest, AWaitInWorkThatIsBeingWaitedForEndsAtOnce) {
    OpenStream();
    ASSERT_EQ(S_OK, m_stream->Start());
    struct Context {
        HANDLE hEvent;
        std::atomic<bool> bRun{true};
        std::atomic<int> iTimeouts{0};
    } context;
    context.hEvent = m_hEvent;
    PTP_WORK pWork = CreateThreadpoolWork(
        [](PTP_CALLBACK_INSTANCE, PVOID pv, PTP_WORK) {
            auto* pContext = static_cast<Context*>(pv);
            while (pContext->bRun.load()) {
                if (WaitForSingleObject(pContext->hEvent, 100) == WAIT_TIMEOUT) {
                    pContext->iTimeouts.fetch_add(1);
                }
            }
        },
        &context, nullptr);
    ASSERT_NE(nullptr, pWork);
    SubmitThreadpoolWork(pWork);
    // No step comes; stopping the work must not wait for one.
    context.bRun = false;
    WaitForThreadpoolWorkCallbacks(pWork, FALSE);
    CloseThreadpoolWork(pWork);
    EXPECT_LE(context.iTimeouts.load(), 1);
}

TEST_F(RendererPacingTest, ChangingThePacingDoesNotEndAWaitUnderWay) {
    OpenStream();
    ASSERT_EQ(S_OK, m_stream->Start());
    std::atomic<DWORD> dwResult{WAIT_FAILED};
    std::atomic<bool> bWaiting{false};
    std::thread waiter([&]() {
        bWaiting = true;
        dwResult = WaitForSingleObject(m_hEvent, 5000);
    });
    ASSERT_TRUE(WaitUntil([&]() { return bWaiting.load(); }));
    standin::SetPacing(standin::Pacing::RealTime);
    waiter.join();
    EXPECT_EQ(WAIT_OBJECT_0, dwResult.load()) << "the pacer's signal, not a time-out, ends it";
}

TEST_F(RendererPacingTest, RealTimePacingSignalsOncePerPeriod) {
    OpenStream();
    standin::SetPacing(standin::Pacing::RealTime);
    StartClient(1000);
    ASSERT_EQ(S_OK, m_stream->Start());
    ASSERT_TRUE(WaitUntil([this]() { return m_uPasses.load() >= 51; }, std::chrono::seconds(10)));
    StopClient();
    // The mean interval between the first 51 Begins (each answering one signal): never shorter
    // than about a period (one signal per period, not more), and not much longer (the clock
    // paces it, not something slower). The upper bound leaves room for a loaded machine that
    // wakes the renderer's thread or the client late now and then.
    const double dMeanMs =
        std::chrono::duration<double, std::milli>(m_beginTimes[50] - m_beginTimes[0]).count() /
        50.0;
    EXPECT_GT(dMeanMs, 8.0);
    EXPECT_LT(dMeanMs, 16.0);
    EXPECT_EQ(0u, standin::Step()) << "Step does nothing in real-time pacing";
}

TEST_F(RendererPacingTest, ReleasingAStreamPutsWaitsOnItsEventBackOnTheWallClock) {
    OpenStream();
    m_object.Reset();
    m_stream.Reset();
    // No step will ever come for this event again; the wait ends by the wall clock.
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_hEvent, 20));
}

TEST_F(RendererPacingTest, StreamsFromBeforeAResetStayValidButAreNotPaced) {
    OpenStream();
    ASSERT_EQ(S_OK, m_stream->Start());
    standin::CapturePasses(10);
    standin::Reset();
    EXPECT_EQ(0u, standin::StartedStreamCount());
    EXPECT_EQ(0u, standin::Step(std::chrono::milliseconds(0)));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_hEvent, 20)) << "on the wall clock again";
    UINT32 uAvailable = 0, uFrames = 0;
    ASSERT_EQ(S_OK, m_stream->BeginUpdatingAudioObjects(&uAvailable, &uFrames));
    BYTE* pBuffer = nullptr;
    UINT32 uBytes = 0;
    EXPECT_EQ(S_OK, m_object->GetBuffer(&pBuffer, &uBytes));
    EXPECT_EQ(S_OK, m_stream->EndUpdatingAudioObjects());
    EXPECT_TRUE(standin::Streams().empty());
    EXPECT_TRUE(standin::TakePasses().empty());
}

class PluginStyleClientTest : public testing_support::StandinTest {};

// The client of the plug-ins' shape: one second of a sine on front left, silence on the other
// eleven bed objects, bit for bit, then nothing left alive.
void ExpectSineArrived(const std::vector<standin::Pass>& in_passes) {
    ASSERT_GE(in_passes.size(), 100u);
    uint64_t uFrame = 0;
    size_t uMismatches = 0;
    for (size_t p = 0; p < 100; ++p) {
        const standin::Pass& pass = in_passes[p];
        ASSERT_EQ(p, pass.index);
        ASSERT_EQ(12u, pass.objects.size());
        for (size_t i = 0; i < pass.objects.size(); ++i) {
            const standin::ObjectPass& object = pass.objects[i];
            EXPECT_EQ(static_cast<AudioObjectType>(2u << i), object.type);
            ASSERT_EQ(480u, object.samples.size());
            for (size_t f = 0; f < object.samples.size(); ++f) {
                const float fExpected = i == 0 ? BedSineClient::Sample(uFrame + f) : 0.0f;
                if (std::memcmp(&fExpected, &object.samples[f], sizeof(float)) != 0) {
                    ++uMismatches;
                }
            }
        }
        uFrame += 480;
    }
    EXPECT_EQ(0u, uMismatches);
    EXPECT_EQ(48000u, uFrame);
}

TEST_F(PluginStyleClientTest, ArrivesBitForBitInSteppedPacing) {
    standin::CapturePasses(200);
    {
        BedSineClient client;
        ASSERT_EQ(S_OK, client.Open(100));
        ASSERT_TRUE(standin::WaitForStartedStreams(1));
        for (int i = 0; i < 100; ++i) {
            ASSERT_EQ(1u, standin::Step());
        }
        EXPECT_EQ(100u, standin::Streams().at(0).passes);
        client.Close();
        EXPECT_EQ(0u, client.Failures());
    }
    ExpectSineArrived(standin::TakePasses());
    EXPECT_TRUE(testing_support::NothingLive());
}

TEST_F(PluginStyleClientTest, ArrivesBitForBitInRealTimePacing) {
    standin::CapturePasses(400);
    standin::SetPacing(standin::Pacing::RealTime);
    {
        BedSineClient client;
        ASSERT_EQ(S_OK, client.Open(100));
        ASSERT_TRUE(WaitUntil([&]() { return client.Passes() >= 100; }, std::chrono::seconds(20)));
        client.Close();
        EXPECT_EQ(0u, client.Failures());
    }
    ExpectSineArrived(standin::TakePasses());
    EXPECT_TRUE(testing_support::NothingLive());
}

TEST_F(PluginStyleClientTest, EveryStepPacesEachStartedStreamOnceAndWakesOnlyOnce) {
    BedSineClient first, second, third;
    ASSERT_EQ(S_OK, first.Open(10));
    ASSERT_EQ(S_OK, second.Open(10));
    ASSERT_EQ(S_OK, third.Open(10));
    ASSERT_TRUE(standin::WaitForStartedStreams(3));
    const uint64_t uWakeupsBefore = standin::StepWakeups();
    constexpr uint64_t kSteps = 30;
    for (uint64_t i = 0; i < kSteps; ++i) {
        ASSERT_EQ(3u, standin::Step());
    }
    // Each step sets three workers going (a signal and a pass each): only the last of them to
    // settle wakes the stepping thread, not every pass's end or every worker's return to a wait.
    EXPECT_LE(standin::StepWakeups() - uWakeupsBefore, kSteps);
    const std::vector<standin::StreamStats> streams = standin::Streams();
    ASSERT_EQ(3u, streams.size());
    for (const standin::StreamStats& stats : streams) {
        EXPECT_EQ(kSteps, stats.passes);
        EXPECT_EQ(0u, stats.missedPasses);
        EXPECT_EQ(0u, stats.objectsEndedImplicitly);
    }
    first.Close();
    EXPECT_EQ(2u, standin::Step()) << "a released stream is no longer paced";
    second.Close();
    third.Close();
    EXPECT_EQ(0u, first.Failures() + second.Failures() + third.Failures());
}

}  // namespace
