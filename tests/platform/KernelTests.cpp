// Events, waits, critical sections and thread-pool work as the Windows documentation describes
// them. These tests use only the Windows API, so they could run against the real one.

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "StandinFixture.h"

namespace {

using testing_support::StandinTest;

class KernelTest : public StandinTest {};

TEST_F(KernelTest, AutoResetEventWakesOneWaitAndResets) {
    HANDLE hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, hEvent);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hEvent, 0));
    ASSERT_TRUE(SetEvent(hEvent));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hEvent, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hEvent, 0)) << "an auto-reset event resets";
    EXPECT_TRUE(CloseHandle(hEvent));
}

TEST_F(KernelTest, ManualResetEventStaysSignalledUntilReset) {
    HANDLE hEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(nullptr, hEvent);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hEvent, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hEvent, 0));
    ASSERT_TRUE(ResetEvent(hEvent));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hEvent, 0));
    EXPECT_TRUE(CloseHandle(hEvent));
}

TEST_F(KernelTest, TimedWaitEndsAfterItsTimeOut) {
    HANDLE hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hEvent, 30));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    CloseHandle(hEvent);
}

TEST_F(KernelTest, SignalFromAnotherThreadEndsAWait) {
    HANDLE hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::thread signaller([hEvent]() { SetEvent(hEvent); });
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hEvent, 5000));
    signaller.join();
    CloseHandle(hEvent);
}

// Two threads hand a turn back and forth through two auto-reset events, as a render worker and
// its renderer do every pass; then four threads pass a row of manual-reset events that another
// opens one after another. A signal that did not wake its waiter would end a wait by its
// time-out: no wait may need it, however the threads meet the signals.
TEST_F(KernelTest, EveryWaitIsWokenByItsSignalRoundAfterRound) {
    constexpr int kRounds = 20000;
    constexpr DWORD kPatience = 2000;  // ms; no wait that is signalled comes near it
    HANDLE hPing = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE hPong = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, hPing);
    ASSERT_NE(nullptr, hPong);
    // The first lost signal ends both loops, so that a failure costs one time-out.
    std::atomic<bool> bLost{false};
    std::thread partner([&]() {
        for (int i = 0; i < kRounds && !bLost.load(); ++i) {
            if (WaitForSingleObject(hPing, kPatience) != WAIT_OBJECT_0) {
                bLost.store(true);
            }
            SetEvent(hPong);
        }
    });
    int iRounds = 0;
    for (; iRounds < kRounds && !bLost.load(); ++iRounds) {
        SetEvent(hPing);
        if (WaitForSingleObject(hPong, kPatience) != WAIT_OBJECT_0) {
            bLost.store(true);
        }
    }
    partner.join();
    EXPECT_FALSE(bLost.load()) << "a signal was lost in round " << iRounds;

    // A gate per round, opened once: a waiter that comes late finds it open, one that waits
    // must be woken.
    constexpr int kGateRounds = 500;
    constexpr int kWaiters = 4;
    std::vector<HANDLE> gates(kGateRounds);
    for (HANDLE& hGate : gates) {
        hGate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(nullptr, hGate);
    }
    std::atomic<int> iPassed{0};
    std::atomic<int> iTimedOut{0};
    std::vector<std::thread> waiters;
    for (int iWaiter = 0; iWaiter < kWaiters; ++iWaiter) {
        waiters.emplace_back([&]() {
            for (HANDLE hGate : gates) {
                if (WaitForSingleObject(hGate, kPatience) == WAIT_OBJECT_0) {
                    iPassed.fetch_add(1);
                } else {
                    iTimedOut.fetch_add(1);
                }
            }
        });
    }
    for (HANDLE hGate : gates) {
        SetEvent(hGate);
    }
    for (std::thread& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(kGateRounds * kWaiters, iPassed.load());
    EXPECT_EQ(0, iTimedOut.load());
    for (HANDLE hGate : gates) {
        CloseHandle(hGate);
    }
    CloseHandle(hPong);
    CloseHandle(hPing);
}

TEST_F(KernelTest, ClosedOrUnknownHandlesFail) {
    HANDLE hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(hEvent));
    EXPECT_FALSE(CloseHandle(hEvent));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(hEvent, 0));
    EXPECT_FALSE(SetEvent(hEvent));
}

TEST_F(KernelTest, DuplicateHandleKeepsTheEventAliveAfterTheOriginalCloses) {
    HANDLE hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE hCopy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), hEvent, GetCurrentProcess(), &hCopy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    EXPECT_EQ(2u, standin::Live().eventHandles);
    ASSERT_TRUE(CloseHandle(hEvent));
    ASSERT_TRUE(SetEvent(hCopy));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hCopy, 0));
    ASSERT_TRUE(CloseHandle(hCopy));
}

TEST_F(KernelTest, CriticalSectionExcludesAndIsRecursive) {
    CRITICAL_SECTION section;
    ASSERT_TRUE(InitializeCriticalSectionEx(&section, 0, 0));
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);  // the owner may enter again
    std::atomic<bool> bOtherGotIn{false};
    std::thread other([&]() {
        if (TryEnterCriticalSection(&section)) {
            bOtherGotIn = true;
            LeaveCriticalSection(&section);
        }
    });
    other.join();
    EXPECT_FALSE(bOtherGotIn);
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);

    int iCounter = 0;
    std::thread workers[4];
    for (std::thread& worker : workers) {
        worker = std::thread([&]() {
            for (int i = 0; i < 10000; ++i) {
                EnterCriticalSection(&section);
                ++iCounter;
                LeaveCriticalSection(&section);
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(40000, iCounter);
    DeleteCriticalSection(&section);
}

struct WorkState {
    std::atomic<int> iRuns{0};
    std::atomic<bool> bRelease{false};
    std::atomic<DWORD> dwThread{0};
};

VOID CALLBACK CountingWork(PTP_CALLBACK_INSTANCE, PVOID pvContext, PTP_WORK) {
    auto* pState = static_cast<WorkState*>(pvContext);
    pState->dwThread = GetCurrentThreadId();
    while (!pState->bRelease.load()) {
        Sleep(1);
    }
    pState->iRuns.fetch_add(1);
}

TEST_F(KernelTest, WorkRunsOnAnotherThreadAndWaitingReturnsOnlyAfterItEnds) {
    WorkState state;
    PTP_WORK pWork = CreateThreadpoolWork(&CountingWork, &state, nullptr);
    ASSERT_NE(nullptr, pWork);
    SubmitThreadpoolWork(pWork);
    ASSERT_TRUE(testing_support::WaitUntil([&]() { return state.dwThread.load() != 0; }));
    EXPECT_NE(GetCurrentThreadId(), state.dwThread.load());
    EXPECT_EQ(1u, standin::Live().runningCallbacks);

    std::thread releaser([&]() {
        Sleep(20);
        state.bRelease = true;
    });
    WaitForThreadpoolWorkCallbacks(pWork, FALSE);
    EXPECT_EQ(1, state.iRuns.load()) << "the wait returned before the callback did";
    releaser.join();
    CloseThreadpoolWork(pWork);
}

TEST_F(KernelTest, ClosingWorkWhileItRunsFreesItAfterTheCallback) {
    WorkState state;
    PTP_WORK pWork = CreateThreadpoolWork(&CountingWork, &state, nullptr);
    SubmitThreadpoolWork(pWork);
    CloseThreadpoolWork(pWork);
    EXPECT_EQ(0u, standin::Live().workItems);
    state.bRelease = true;
    EXPECT_TRUE(
        testing_support::WaitUntil([&]() { return standin::Live().runningCallbacks == 0; }));
    EXPECT_EQ(1, state.iRuns.load());
}

}  // namespace
