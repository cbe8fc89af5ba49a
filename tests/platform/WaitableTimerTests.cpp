// Waitable timers as Windows documents them (a periodic timer signals once per period, a one-shot
// once, setting a timer again clears its signal, cancelling stops it), on the wall clock in
// real-time pacing and on renderer time in stepped pacing, where each Step fires the timers due by
// then and returns only once their waiters have settled back into a wait.

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "StandinFixture.h"
#include "standin/Renderer.h"

namespace {

using testing_support::WaitUntil;

// 100-nanosecond units, negative: relative to now.
LARGE_INTEGER RelativeDue(int64_t in_iMilliseconds) {
    LARGE_INTEGER due;
    due.QuadPart = -in_iMilliseconds * 10000;
    return due;
}

class WaitableTimerTest : public testing_support::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        m_hTimer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
        ASSERT_NE(nullptr, m_hTimer);
    }
    void TearDown() override {
        CloseHandle(m_hTimer);
        StandinTest::TearDown();
    }

    HANDLE m_hTimer = nullptr;
};

TEST_F(WaitableTimerTest, StepsFireAPeriodicTimerOncePerPeriodAndAOneShotOnce) {
    // The default endpoint's period is 10 ms: one step per period.
    const LARGE_INTEGER due = RelativeDue(10);
    ASSERT_TRUE(SetWaitableTimer(m_hTimer, &due, 10, nullptr, nullptr, FALSE));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_hTimer, 0)) << "not due before a step";
    for (int i = 0; i < 3; ++i) {
        standin::Step();
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_hTimer, 0)) << "step " << i;
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_hTimer, 0)) << "a synchronization timer";
    }
    standin::Step();
    standin::Step();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_hTimer, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_hTimer, 0)) << "missed expiries leave one signal";

    // Setting it again clears the signal; a one-shot due in 25 ms fires with the third step.
    standin::Step();
    const LARGE_INTEGER later = RelativeDue(25);
    ASSERT_TRUE(SetWaitableTimer(m_hTimer, &later, 0, nullptr, nullptr, FALSE));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_hTimer, 0));
    standin::Step();
    standin::Step();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_hTimer, 0));
    standin::Step();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_hTimer, 0));
    standin::Step();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_hTimer, 0)) << "once";

    ASSERT_TRUE(SetWaitableTimer(m_hTimer, &due, 10, nullptr, nullptr, FALSE));
    ASSERT_TRUE(CancelWaitableTimer(m_hTimer));
    standin::Step();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_hTimer, 0)) << "cancelled";
}

// A worker woken by the timer works a while (without any call of the platform) before it waits
// again: each step still returns only after it has.
TEST_F(WaitableTimerTest, AStepReturnsOnceTheTimersWaiterWaitsAgain) {
    struct Context {
        HANDLE hTimer;
        std::atomic<bool> bRun{true};
        std::atomic<int> iTicks{0};
    } context;
    context.hTimer = m_hTimer;
    PTP_WORK pWork = CreateThreadpoolWork(
        [](PTP_CALLBACK_INSTANCE, PVOID pv, PTP_WORK) {
            auto* pContext = static_cast<Context*>(pv);
            while (pContext->bRun.load()) {
                if (WaitForSingleObject(pContext->hTimer, INFINITE) == WAIT_OBJECT_0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    pContext->iTicks.fetch_add(1);
                }
            }
        },
        &context, nullptr);
    ASSERT_NE(nullptr, pWork);
    SubmitThreadpoolWork(pWork);
    ASSERT_TRUE(WaitUntil([&]() { return standin::WaitingThreads(m_hTimer) == 1; }));
    const LARGE_INTEGER due = RelativeDue(10);
    ASSERT_TRUE(SetWaitableTimer(m_hTimer, &due, 10, nullptr, nullptr, FALSE));
    for (int i = 1; i <= 5; ++i) {
        standin::Step();
        EXPECT_EQ(i, context.iTicks.load());
    }
    // No step comes any more: stopping the work ends its wait on the timer at once.
    context.bRun = false;
    WaitForThreadpoolWorkCallbacks(pWork, FALSE);
    CloseThreadpoolWork(pWork);
    EXPECT_EQ(5, context.iTicks.load());
}

TEST_F(WaitableTimerTest, OnTheWallClockAPeriodicTimerSignalsOncePerPeriod) {
    standin::SetPacing(standin::Pacing::RealTime);
    const LARGE_INTEGER due = RelativeDue(10);
    ASSERT_TRUE(SetWaitableTimer(m_hTimer, &due, 10, nullptr, nullptr, FALSE));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_hTimer, 1000));
    }
    const double dMeanMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count() /
        30.0;
    EXPECT_GT(dMeanMs, 8.0);
    EXPECT_LT(dMeanMs, 12.0);
    ASSERT_TRUE(CancelWaitableTimer(m_hTimer));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_hTimer, 30)) << "cancelled";

    // A due time that has passed (an absolute one: 1 January 1601) fires at once, and only once.
    LARGE_INTEGER past;
    past.QuadPart = 0;
    ASSERT_TRUE(SetWaitableTimer(m_hTimer, &past, 0, nullptr, nullptr, FALSE));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_hTimer, 1000));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_hTimer, 30));
}

TEST_F(WaitableTimerTest, NamedTimersAndCompletionRoutinesAreRefused) {
    EXPECT_EQ(nullptr, CreateWaitableTimerExW(nullptr, L"shared", 0, TIMER_ALL_ACCESS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    const LARGE_INTEGER due = RelativeDue(10);
    EXPECT_FALSE(SetWaitableTimer(
        m_hTimer, &due, 0, [](LPVOID, DWORD, DWORD) {}, nullptr, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
    EXPECT_FALSE(SetWaitableTimer(nullptr, &due, 0, nullptr, nullptr, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

}  // namespace
