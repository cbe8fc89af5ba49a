// Critical sections, events, waitable timers, waits, handles, Sleep and the thread's last error.

#include <windows.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <new>
#include <thread>

#include "CallScope.h"
#include "standin/Control.h"
#include "KernelObjects.h"
#include "LiveCounters.h"
#include "WaitableTimers.h"

using standin::detail::CallScope;
using standin::detail::Counters;
using standin::detail::TimerService;

namespace {

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION),
              "the lock fits in the Windows record");
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION), "and is aligned for it");

std::recursive_mutex* LockOf(LPCRITICAL_SECTION in_pSection) {
    return std::launder(reinterpret_cast<std::recursive_mutex*>(in_pSection->Opaque));
}

thread_local DWORD t_dwLastError = ERROR_SUCCESS;

void SetLastErrorFromHresult(HRESULT in_hr) {
    t_dwLastError = static_cast<DWORD>(in_hr) & 0xFFFFu;
}

std::shared_ptr<standin::detail::Timer> LookupTimer(HANDLE in_hTimer) {
    return std::dynamic_pointer_cast<standin::detail::Timer>(
        standin::detail::LookupHandle(in_hTimer));
}

}  // namespace

namespace standin {

size_t WaitingThreads(HANDLE in_hEvent) {
    std::shared_ptr<detail::Event> event = detail::LookupWaitable(in_hEvent);
    return event ? event->Waiters() : 0;
}

}  // namespace standin

extern "C" {

DWORD WINAPI GetLastError(void) {
    return t_dwLastError;
}
void WINAPI SetLastError(DWORD dwErrCode) {
    t_dwLastError = dwErrCode;
}

DWORD WINAPI GetCurrentThreadId(void) {
    return static_cast<DWORD>(::syscall(SYS_gettid));
}

BOOL WINAPI InitializeCriticalSectionEx(LPCRITICAL_SECTION lpCriticalSection, DWORD, DWORD) {
    CallScope scope("InitializeCriticalSectionEx");
    if (scope.Failed()) {
        SetLastErrorFromHresult(scope.Fault());
        return FALSE;
    }
    new (lpCriticalSection->Opaque) std::recursive_mutex();
    Counters().criticalSections.fetch_add(1);
    return TRUE;
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    CallScope scope("InitializeCriticalSection");
    new (lpCriticalSection->Opaque) std::recursive_mutex();
    Counters().criticalSections.fetch_add(1);
}

// Entering and leaving are not logged calls: they cannot fail (so there is no fault to inject),
// they allocate nothing, and a real critical section costs next to nothing there, which the
// audio thread's short holds of its ring's lock count on. A logged call would add a process-wide
// atomic count and a thread-local mark to every hold and crowd the other calls out of the log.
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    LockOf(lpCriticalSection)->lock();
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    CallScope scope("TryEnterCriticalSection");
    return LockOf(lpCriticalSection)->try_lock() ? TRUE : FALSE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    LockOf(lpCriticalSection)->unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    CallScope scope("DeleteCriticalSection");
    LockOf(lpCriticalSection)->~recursive_mutex();
    Counters().criticalSections.fetch_sub(1);
}

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                           LPCWSTR lpName) {
    CallScope scope("CreateEventW");
    if (scope.Failed()) {
        SetLastErrorFromHresult(scope.Fault());
        return nullptr;
    }
    if (lpName != nullptr) {
        // Named (shared) events are not part of the stand-in.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return standin::detail::InsertHandle(
        std::make_shared<standin::detail::Event>(bManualReset != FALSE, bInitialState != FALSE));
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    CallScope scope("SetEvent");
    std::shared_ptr<standin::detail::Event> event = standin::detail::LookupEvent(hEvent);
    if (scope.Failed() || !event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Set();
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    CallScope scope("ResetEvent");
    std::shared_ptr<standin::detail::Event> event = standin::detail::LookupEvent(hEvent);
    if (scope.Failed() || !event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Reset();
    return TRUE;
}

HANDLE WINAPI CreateWaitableTimerExW(LPSECURITY_ATTRIBUTES, LPCWSTR lpTimerName, DWORD dwFlags,
                                     DWORD) {
    CallScope scope("CreateWaitableTimerExW");
    if (scope.Failed()) {
        SetLastErrorFromHresult(scope.Fault());
        return nullptr;
    }
    constexpr DWORD kKnownFlags =
        CREATE_WAITABLE_TIMER_MANUAL_RESET | CREATE_WAITABLE_TIMER_HIGH_RESOLUTION;
    if (lpTimerName != nullptr || (dwFlags & ~kKnownFlags) != 0) {
        // Named (shared) timers are not part of the stand-in.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return standin::detail::InsertHandle(
        TimerService::Instance().Create((dwFlags & CREATE_WAITABLE_TIMER_MANUAL_RESET) != 0));
}

BOOL WINAPI SetWaitableTimer(HANDLE hTimer, const LARGE_INTEGER* lpDueTime, LONG lPeriod,
                             PTIMERAPCROUTINE pfnCompletionRoutine, LPVOID, BOOL) {
    CallScope scope("SetWaitableTimer");
    std::shared_ptr<standin::detail::Timer> timer = LookupTimer(hTimer);
    if (scope.Failed()) {
        SetLastErrorFromHresult(scope.Fault());
        return FALSE;
    }
    if (!timer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (pfnCompletionRoutine != nullptr) {
        std::fprintf(stderr,
                     "standin: assertion failed: timer completion routines are not "
                     "implemented by the stand-in\n");
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (lpDueTime == nullptr || lPeriod < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Negative: relative, in 100-nanosecond units. Positive: an absolute FILETIME (100-nanosecond
    // units since 1 January 1601, UTC), which is this many of them after the Unix epoch.
    constexpr int64_t kUnixEpochAsFileTime = 116444736000000000;
    int64_t iDelay100Ns = 0;
    if (lpDueTime->QuadPart < 0) {
        iDelay100Ns = -lpDueTime->QuadPart;
    } else {
        const int64_t iNow100Ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                      std::chrono::system_clock::now().time_since_epoch())
                                          .count() /
                                      100 +
                                  kUnixEpochAsFileTime;
        iDelay100Ns = lpDueTime->QuadPart > iNow100Ns ? lpDueTime->QuadPart - iNow100Ns : 0;
    }
    TimerService::Instance().Set(timer, static_cast<uint64_t>(iDelay100Ns) * 100u,
                                 static_cast<uint64_t>(lPeriod) * 1000000u);
    return TRUE;
}

BOOL WINAPI CancelWaitableTimer(HANDLE hTimer) {
    CallScope scope("CancelWaitableTimer");
    std::shared_ptr<standin::detail::Timer> timer = LookupTimer(hTimer);
    if (scope.Failed() || !timer) {
        SetLastError(scope.Failed() ? static_cast<DWORD>(scope.Fault() & 0xFFFF)
                                    : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    TimerService::Instance().Cancel(timer);
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    CallScope scope("WaitForSingleObject");
    std::shared_ptr<standin::detail::Event> event = standin::detail::LookupWaitable(hHandle);
    if (scope.Failed() || !event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return event->Wait(dwMilliseconds);
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    CallScope scope("Sleep");
    if (dwMilliseconds == 0) {
        // A yield, as in a spin: not a blocking wait that settles what a step set going.
        std::this_thread::yield();
    } else {
        standin::detail::StepDebts::Settle();
        std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
    }
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    CallScope scope("CloseHandle");
    if (!standin::detail::CloseKernelHandle(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HANDLE WINAPI GetCurrentProcess(void) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

BOOL WINAPI DuplicateHandle(HANDLE, HANDLE hSourceHandle, HANDLE, LPHANDLE lpTargetHandle, DWORD,
                            BOOL, DWORD dwOptions) {
    CallScope scope("DuplicateHandle");
    std::shared_ptr<standin::detail::KernelObject> object =
        standin::detail::LookupHandle(hSourceHandle);
    if (scope.Failed() || !object || lpTargetHandle == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpTargetHandle = standin::detail::InsertHandle(object);
    if ((dwOptions & DUPLICATE_CLOSE_SOURCE) != 0) {
        standin::detail::CloseKernelHandle(hSourceHandle);
    }
    return TRUE;
}

}  // extern "C"
