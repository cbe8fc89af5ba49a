// Critical sections, events, waits, handles, Sleep and the thread's last error.

#include <windows.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <new>
#include <thread>

#include "CallScope.h"
#include "standin/Control.h"
#include "KernelObjects.h"
#include "LiveCounters.h"

using standin::detail::CallScope;
using standin::detail::Counters;

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

}  // namespace

namespace standin {

size_t WaitingThreads(HANDLE in_hEvent) {
    std::shared_ptr<detail::Event> event = detail::LookupEvent(in_hEvent);
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

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    CallScope scope("WaitForSingleObject");
    std::shared_ptr<standin::detail::Event> event = standin::detail::LookupEvent(hHandle);
    if (scope.Failed() || !event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return event->Wait(dwMilliseconds);
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    CallScope scope("Sleep");
    if (dwMilliseconds == 0) {
        std::this_thread::yield();
    } else {
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
