// Kernel objects behind HANDLE values: a process-wide handle table, events, and the renderer clock
// that paces waits on the events of stepped streams (and on waitable timers in stepped pacing).
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "WaitQueue.h"

namespace standin {
namespace detail {

class Event;

// Events whose waiters a step set going, woken (WakeAll) once the step has let go of its locks:
// a thread woken under a lock that the step still holds would run only to block on that lock.
typedef std::vector<std::shared_ptr<Event>> EventWakeups;
void WakeAll(EventWakeups& io_wakeups);

class KernelObject {
public:
    virtual ~KernelObject() = default;
    virtual bool IsEvent() const { return false; }
    // What a wait on the object's handle waits for (null: the object cannot be waited on).
    virtual std::shared_ptr<Event> Waitable() { return nullptr; }
};

// Time as the stepped renderer keeps it: it moves only when the renderer runs a step. Waits with a
// time-out on an event attached to a clock expire on this time instead of the wall clock's.
class VirtualClock {
public:
    uint64_t NowNs() const { return m_uNowNs.load(std::memory_order_acquire); }
    // Moves the clock on and releases the waiters of the attached events whose time-out it
    // reached (see StepDebts); their events go to io_wakeups. With in_pSignal (an attached
    // event), that event is set for the step (SetForStep) in the same hold of its lock as the
    // time moves, so that none of its waiters can see the new time without the signal.
    void Advance(uint64_t in_uNs, EventWakeups& io_wakeups, Event* in_pSignal = nullptr);
    void Attach(const std::shared_ptr<Event>& in_event);

private:
    friend class Event;
    std::atomic<uint64_t> m_uNowNs{0};
    std::mutex m_mutex;
    std::vector<std::weak_ptr<Event>> m_events;
};

// What a Step waits for besides the passes: every thread that the step set going (a pass it ended,
// a wait it signalled or expired by the renderer's clock, a timer that fired for it), and every
// work callback submitted that has not blocked yet, must be back
// in a blocking wait of the platform (blocked on an event or a timer, with its time-out running
// from the time of this step and where the next step's signal finds it; Sleep; waiting for work
// callbacks), or have left its work callback or ended, before Step returns. So a stepped test finds
// every render worker settled after each step, whatever the threads' timing.
//
// The side that sets a thread going incurs the debt (Incur); the thread takes it over when it
// returns (Owe) and settles it at its next blocking wait (Settle).
class StepDebts {
public:
    static void Incur();
    // The calling thread takes one incurred debt over.
    static void Owe();
    // One incurred debt is settled without a thread taking it over (a released waiter that goes on
    // waiting).
    static void Forgive();
    // Settles the calling thread's debts.
    static void Settle();
    // Waits until every debt is settled, or until in_deadline. Only the payment of the last
    // debt wakes the waiting thread.
    static bool WaitSettled(std::chrono::steady_clock::time_point in_deadline);
    // Times WaitSettled was woken by a payment (at most once per wait that did not time out).
    static uint64_t StepperWakeups();
};

class Event final : public KernelObject, public std::enable_shared_from_this<Event> {
public:
    Event(bool in_bManualReset, bool in_bInitialState)
        : m_bManualReset(in_bManualReset), m_bSignalled(in_bInitialState) {}
    bool IsEvent() const override { return true; }
    std::shared_ptr<Event> Waitable() override { return shared_from_this(); }

    void Set();
    // Sets the event and releases one of its waiters (all of a manual-reset event's) for the step
    // that set it: a stepped timer's expiry, a stepped stream's signal. The event goes to
    // io_wakeups, to be woken when the step lets go of its locks.
    void SetForStep(EventWakeups& io_wakeups);
    void Reset();
    // WAIT_OBJECT_0 or WAIT_TIMEOUT. Uses the attached clock, if any, for a finite time-out; an
    // event with a clock also gives up a wait of any length in a work callback that is being
    // waited for.
    DWORD Wait(DWORD in_dwMilliseconds);

    // Paces finite waits by in_clock from now on (null: the wall clock again). A wait that is
    // under way goes on under the new clock: from the new clock's present time, or for its whole
    // time-out on the wall clock.
    void SetClock(std::shared_ptr<VirtualClock> in_clock);
    // Back to the wall clock if (and only if) the event is paced by in_clock.
    void DetachClock(const std::shared_ptr<VirtualClock>& in_clock);
    // Wakes the waiters so that they look at their end conditions again.
    void Wake();
    // Wake without the event's lock, for a change made under it that the caller has let go of.
    void WakeUnlocked() { m_condition.NotifyAll(); }
    // Threads blocked in Wait right now.
    size_t Waiters();

private:
    // One thread blocked in Wait (m_mutex held whenever it is touched).
    struct Waiter {
        const VirtualClock* pClock = nullptr;  // the clock its deadline is on
        uint64_t uDeadlineNs = UINT64_MAX;     // on pClock; UINT64_MAX: none
        bool bExpired = false;                 // a step moved pClock past the deadline
        bool bReleased = false;                // a step set it going and incurred a debt
    };

    friend class VirtualClock;
    // Whether it released a waiter (one to wake).
    bool SetForStepLocked();
    // Releases (for the step) the waiters whose deadline on in_pClock has come; whether any.
    bool ExpireLocked(const VirtualClock* in_pClock, uint64_t in_uNowNs);
    DWORD ConsumeLocked();

    const bool m_bManualReset;
    std::mutex m_mutex;
    WaitQueue m_condition;
    bool m_bSignalled;
    std::vector<Waiter*> m_waiters;
    std::shared_ptr<VirtualClock> m_clock;
};

// The handle table. Handles are small multiples of 4, as on Windows; 0 is never a handle.
HANDLE InsertHandle(std::shared_ptr<KernelObject> in_object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE in_handle);
std::shared_ptr<Event> LookupEvent(HANDLE in_handle);
// The event behind a handle that can be waited on (an event, or a waitable timer's), or null.
std::shared_ptr<Event> LookupWaitable(HANDLE in_handle);
bool CloseKernelHandle(HANDLE in_handle);

}  // namespace detail
}  // namespace standin
