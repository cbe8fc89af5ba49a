// Thread-pool work items. Each submission runs on a thread of its own, which is plenty for
// plug-ins that submit one long-running work item each.

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "CallScope.h"
#include "KernelObjects.h"
#include "LiveCounters.h"
#include "ThreadPoolInternal.h"

struct _TP_WORK {
    PTP_WORK_CALLBACK pfnCallback = nullptr;
    PVOID pvContext = nullptr;
    std::mutex mutex;
    std::condition_variable idle;
    int iOutstanding = 0;  // submitted callbacks that have not returned
    bool bClosed = false;  // CloseThreadpoolWork was called; the last callback frees the item
    int iWaiters = 0;      // threads inside WaitForThreadpoolWorkCallbacks
    std::atomic<bool> bWaitedFor{false};
    std::shared_ptr<standin::detail::Event> waitingOn;  // the event a callback waits on, if any
};

namespace standin {
namespace detail {
namespace {

thread_local _TP_WORK* t_pCurrentWork = nullptr;

void RunCallback(_TP_WORK* in_pWork) {
    // The submission's debt: a renderer step waits until the callback first blocks.
    StepDebts::Owe();
    t_pCurrentWork = in_pWork;
    in_pWork->pfnCallback(nullptr, in_pWork->pvContext, in_pWork);
    t_pCurrentWork = nullptr;
    // A callback that returned has settled whatever a renderer step set it going for.
    StepDebts::Settle();

    bool bFree = false;
    {
        std::lock_guard<std::mutex> lock(in_pWork->mutex);
        --in_pWork->iOutstanding;
        Counters().runningCallbacks.fetch_sub(1);
        bFree = in_pWork->bClosed && in_pWork->iOutstanding == 0 && in_pWork->iWaiters == 0;
        in_pWork->idle.notify_all();
    }
    if (bFree) {
        delete in_pWork;
    }
}

}  // namespace

WorkWaitRegistration::WorkWaitRegistration(std::shared_ptr<Event> in_event)
    : m_pWork(t_pCurrentWork) {
    if (m_pWork != nullptr) {
        std::lock_guard<std::mutex> lock(m_pWork->mutex);
        m_pWork->waitingOn = std::move(in_event);
    }
}

WorkWaitRegistration::~WorkWaitRegistration() {
    if (m_pWork != nullptr) {
        std::lock_guard<std::mutex> lock(m_pWork->mutex);
        m_pWork->waitingOn.reset();
    }
}

bool WorkWaitRegistration::WorkIsBeingWaitedFor() const {
    return m_pWork != nullptr && m_pWork->bWaitedFor.load();
}

}  // namespace detail
}  // namespace standin

using standin::detail::CallScope;
using standin::detail::Counters;

extern "C" {

PTP_WORK WINAPI CreateThreadpoolWork(PTP_WORK_CALLBACK pfnwk, PVOID pv, PTP_CALLBACK_ENVIRON) {
    CallScope scope("CreateThreadpoolWork");
    if (scope.Failed() || pfnwk == nullptr) {
        SetLastError(scope.Failed() ? static_cast<DWORD>(scope.Fault() & 0xFFFF)
                                    : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    _TP_WORK* pWork = new _TP_WORK();
    pWork->pfnCallback = pfnwk;
    pWork->pvContext = pv;
    Counters().workItems.fetch_add(1);
    return pWork;
}

void WINAPI SubmitThreadpoolWork(PTP_WORK pwk) {
    CallScope scope("SubmitThreadpoolWork");
    {
        std::lock_guard<std::mutex> lock(pwk->mutex);
        ++pwk->iOutstanding;
        Counters().runningCallbacks.fetch_add(1);
    }
    // A callback that has not blocked yet is one of the threads a renderer step waits for.
    standin::detail::StepDebts::Incur();
    std::thread(standin::detail::RunCallback, pwk).detach();
}

void WINAPI WaitForThreadpoolWorkCallbacks(PTP_WORK pwk, BOOL /*fCancelPendingCallbacks*/) {
    CallScope scope("WaitForThreadpoolWorkCallbacks");
    standin::detail::StepDebts::Settle();
    // Every submission starts at once, so there is nothing pending to cancel.
    std::shared_ptr<standin::detail::Event> waitingOn;
    {
        std::lock_guard<std::mutex> lock(pwk->mutex);
        ++pwk->iWaiters;
        pwk->bWaitedFor.store(true);
        waitingOn = pwk->waitingOn;
    }
    if (waitingOn) {
        waitingOn->Wake();
    }
    bool bFree = false;
    {
        std::unique_lock<std::mutex> lock(pwk->mutex);
        pwk->idle.wait(lock, [pwk]() { return pwk->iOutstanding == 0; });
        --pwk->iWaiters;
        if (pwk->iWaiters == 0) {
            pwk->bWaitedFor.store(false);
        }
        bFree = pwk->bClosed && pwk->iOutstanding == 0 && pwk->iWaiters == 0;
    }
    if (bFree) {
        delete pwk;
    }
}

void WINAPI CloseThreadpoolWork(PTP_WORK pwk) {
    CallScope scope("CloseThreadpoolWork");
    bool bFree = false;
    {
        std::lock_guard<std::mutex> lock(pwk->mutex);
        pwk->bClosed = true;
        bFree = pwk->iOutstanding == 0 && pwk->iWaiters == 0;
    }
    Counters().workItems.fetch_sub(1);
    if (bFree) {
        delete pwk;
    }
}

}  // extern "C"
