#include "KernelObjects.h"

#include <algorithm>
#include <unordered_map>

#include "LiveCounters.h"
#include "ThreadPoolInternal.h"

namespace standin {
namespace detail {
namespace {

struct HandleTable {
    std::mutex mutex;
    uintptr_t uNext = 4;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
};

HandleTable& Table() {
    static HandleTable* s_pTable = new HandleTable();  // never destroyed: used at exit
    return *s_pTable;
}

struct DebtBook {
    std::mutex mutex;
    WaitQueue settled;
    size_t uOutstanding = 0;
    bool bStepperWaiting = false;  // a step is blocked in WaitSettled
    uint64_t uStepperWakeups = 0;  // times a settling thread woke it
};

DebtBook& Debts() {
    static DebtBook* s_pDebts = new DebtBook();  // never destroyed: threads settle at exit
    return *s_pDebts;
}

// The debts the calling thread has taken over; a thread that ends settles them.
struct ThreadDebts {
    size_t uOwed = 0;
    ~ThreadDebts() { StepDebts::Settle(); }
};
thread_local ThreadDebts t_debts;

// Pays in_uCount debts. Only the payment that settles the last debt wakes the stepping thread,
// and only if it is waiting: a step sets several threads going, and waking it at every payment
// would cost a cross-processor wake-up each, more than the passes themselves.
void Pay(size_t in_uCount) {
    DebtBook& debts = Debts();
    bool bWake = false;
    {
        std::lock_guard<std::mutex> lock(debts.mutex);
        debts.uOutstanding -= std::min(in_uCount, debts.uOutstanding);
        bWake = debts.uOutstanding == 0 && debts.bStepperWaiting;
        if (bWake) {
            debts.bStepperWaiting = false;
            ++debts.uStepperWakeups;
        }
    }
    if (bWake) {
        // Outside the lock, so that the woken thread does not block on it at once.
        debts.settled.NotifyAll();
    }
}

}  // namespace

void StepDebts::Incur() {
    DebtBook& debts = Debts();
    std::lock_guard<std::mutex> lock(debts.mutex);
    ++debts.uOutstanding;
}

void StepDebts::Owe() {
    ++t_debts.uOwed;
}

void StepDebts::Forgive() {
    Pay(1);
}

void StepDebts::Settle() {
    if (t_debts.uOwed == 0) {
        return;
    }
    const size_t uOwed = t_debts.uOwed;
    t_debts.uOwed = 0;
    Pay(uOwed);
}

bool StepDebts::WaitSettled(std::chrono::steady_clock::time_point in_deadline) {
    DebtBook& debts = Debts();
    std::unique_lock<std::mutex> lock(debts.mutex);
    while (debts.uOutstanding != 0) {
        debts.bStepperWaiting = true;
        if (!debts.settled.WaitUntil(lock, in_deadline) && debts.uOutstanding != 0) {
            debts.bStepperWaiting = false;
            return false;
        }
    }
    debts.bStepperWaiting = false;
    return true;
}

uint64_t StepDebts::StepperWakeups() {
    DebtBook& debts = Debts();
    std::lock_guard<std::mutex> lock(debts.mutex);
    return debts.uStepperWakeups;
}

void WakeAll(EventWakeups& io_wakeups) {
    for (const std::shared_ptr<Event>& event : io_wakeups) {
        event->WakeUnlocked();
    }
    io_wakeups.clear();
}

void VirtualClock::Advance(uint64_t in_uNs, EventWakeups& io_wakeups, Event* in_pSignal) {
    bool bSignalWakes = false;
    if (in_pSignal != nullptr) {
        std::lock_guard<std::mutex> lock(in_pSignal->m_mutex);
        m_uNowNs.fetch_add(in_uNs, std::memory_order_acq_rel);
        bSignalWakes = in_pSignal->SetForStepLocked();
    } else {
        m_uNowNs.fetch_add(in_uNs, std::memory_order_acq_rel);
    }
    const uint64_t uNow = NowNs();
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_events.begin(); it != m_events.end();) {
        std::shared_ptr<Event> event = it->lock();
        if (!event) {
            it = m_events.erase(it);
            continue;
        }
        ++it;
        bool bWake = bSignalWakes && event.get() == in_pSignal;
        {
            std::lock_guard<std::mutex> eventLock(event->m_mutex);
            // Waiters whose time-out has not come sleep on: waking them would be futile.
            bWake = event->ExpireLocked(this, uNow) || bWake;
        }
        if (bWake) {
            io_wakeups.push_back(std::move(event));
        }
    }
}

void VirtualClock::Attach(const std::shared_ptr<Event>& in_event) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back(in_event);
}

void Event::Set() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bSignalled = true;
    }
    // Woken after the lock is let go, so that a waiter does not wake only to wait for it.
    m_condition.NotifyAll();
}

void Event::SetForStep(EventWakeups& io_wakeups) {
    bool bWake = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        bWake = SetForStepLocked();
    }
    // A timer nobody waits on wakes nobody.
    if (bWake) {
        io_wakeups.push_back(shared_from_this());
    }
}

bool Event::SetForStepLocked() {
    m_bSignalled = true;
    bool bAny = false;
    for (Waiter* pWaiter : m_waiters) {
        if (!pWaiter->bReleased) {
            pWaiter->bReleased = true;
            bAny = true;
            StepDebts::Incur();
            if (!m_bManualReset) {
                break;  // an auto-reset event lets one waiter go
            }
        }
    }
    // The caller wakes the waiters once it has let go of its locks (EventWakeups).
    return bAny;
}

void Event::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bSignalled = false;
}

size_t Event::Waiters() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_waiters.size();
}

void Event::Wake() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_condition.NotifyAll();
}

void Event::SetClock(std::shared_ptr<VirtualClock> in_clock) {
    if (in_clock) {
        in_clock->Attach(shared_from_this());
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clock = std::move(in_clock);
    m_condition.NotifyAll();
}

void Event::DetachClock(const std::shared_ptr<VirtualClock>& in_clock) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_clock == in_clock) {
        m_clock.reset();
        m_condition.NotifyAll();
    }
}

bool Event::ExpireLocked(const VirtualClock* in_pClock, uint64_t in_uNowNs) {
    bool bAny = false;
    for (Waiter* pWaiter : m_waiters) {
        if (!pWaiter->bExpired && pWaiter->pClock == in_pClock &&
            pWaiter->uDeadlineNs <= in_uNowNs) {
            pWaiter->bExpired = true;
            bAny = true;
            if (!pWaiter->bReleased) {
                pWaiter->bReleased = true;
                StepDebts::Incur();
            }
        }
    }
    return bAny;
}

DWORD Event::ConsumeLocked() {
    if (!m_bManualReset) {
        m_bSignalled = false;
    }
    return WAIT_OBJECT_0;
}

DWORD Event::Wait(DWORD in_dwMilliseconds) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_bSignalled) {
        // The thread goes on working: whatever a step set it going for is not settled yet.
        return ConsumeLocked();
    }
    if (in_dwMilliseconds == 0) {
        return WAIT_TIMEOUT;
    }

    Waiter waiter;
    m_waiters.push_back(&waiter);
    // Under a renderer clock (stepped pacing) the time-out runs on that clock, and a pool thread
    // whose work is being waited for gives up at once, since no step may come to end its wait.
    // On the wall clock a finite wait ends with its time-out.
    const bool bFinite = in_dwMilliseconds != INFINITE;
    const uint64_t uTimeoutNs = uint64_t{in_dwMilliseconds} * 1000000u;
    std::shared_ptr<VirtualClock> clock = m_clock;
    std::chrono::steady_clock::time_point wallDeadline;
    auto startTiming = [&]() {
        waiter.bExpired = false;
        waiter.pClock = clock.get();
        waiter.uDeadlineNs = clock && bFinite ? clock->NowNs() + uTimeoutNs : UINT64_MAX;
        wallDeadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(in_dwMilliseconds);
    };
    startTiming();
    WorkWaitRegistration registration(shared_from_this());
    // A thread that blocks has settled whatever a step set it going for; it does so only once it
    // is among the waiters, where the next step's signal finds it, and its time-out runs from the
    // time of this step. It settles off the lock: the last payment wakes the stepping thread,
    // whose next step takes this lock to signal the event and would otherwise find it held.
    // Whatever changes meanwhile (a signal, an expiry, another clock) the loop sees under the lock.
    lock.unlock();
    StepDebts::Settle();
    lock.lock();
    DWORD dwResult = WAIT_TIMEOUT;
    for (;;) {
        if (m_bSignalled) {
            dwResult = ConsumeLocked();
            break;
        }
        if (m_clock != clock) {
            clock = m_clock;
            startTiming();
        } else if (clock) {
            // Only the step that moves the clock past the deadline ends the wait (ExpireLocked),
            // so that the step knows this thread is going and waits for it to settle.
            if (waiter.bExpired || registration.WorkIsBeingWaitedFor()) {
                break;
            }
        } else if (bFinite && std::chrono::steady_clock::now() >= wallDeadline) {
            break;
        }
        if (waiter.bReleased && !waiter.bExpired) {
            // Set going by a step, but another waiter took the signal (or the clock changed):
            // still waiting.
            waiter.bReleased = false;
            StepDebts::Forgive();
        }
        if (clock || !bFinite) {
            m_condition.Wait(lock);
        } else {
            m_condition.WaitUntil(lock, wallDeadline);
        }
    }
    m_waiters.erase(std::find(m_waiters.begin(), m_waiters.end(), &waiter));
    if (waiter.bReleased) {
        StepDebts::Owe();
    }
    return dwResult;
}

HANDLE InsertHandle(std::shared_ptr<KernelObject> in_object) {
    const bool bEvent = in_object->IsEvent();
    HandleTable& table = Table();
    uintptr_t uValue;
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        uValue = table.uNext;
        table.uNext += 4;
        table.objects.emplace(uValue, std::move(in_object));
    }
    Counters().handles.fetch_add(1);
    if (bEvent) {
        Counters().eventHandles.fetch_add(1);
    }
    return reinterpret_cast<HANDLE>(uValue);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE in_handle) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(in_handle));
    return it == table.objects.end() ? nullptr : it->second;
}

std::shared_ptr<Event> LookupWaitable(HANDLE in_handle) {
    std::shared_ptr<KernelObject> object = LookupHandle(in_handle);
    return object ? object->Waitable() : nullptr;
}

std::shared_ptr<Event> LookupEvent(HANDLE in_handle) {
    std::shared_ptr<KernelObject> object = LookupHandle(in_handle);
    if (!object || !object->IsEvent()) {
        return nullptr;
    }
    return std::static_pointer_cast<Event>(object);
}

bool CloseKernelHandle(HANDLE in_handle) {
    std::shared_ptr<KernelObject> object;
    {
        HandleTable& table = Table();
        std::lock_guard<std::mutex> lock(table.mutex);
        auto it = table.objects.find(reinterpret_cast<uintptr_t>(in_handle));
        if (it == table.objects.end()) {
            return false;
        }
        object = std::move(it->second);
        table.objects.erase(it);
    }
    Counters().handles.fetch_sub(1);
    if (object->IsEvent()) {
        Counters().eventHandles.fetch_sub(1);
    }
    return true;  // the object goes when its last handle (or internal user) lets it go
}

}  // namespace detail
}  // namespace standin
