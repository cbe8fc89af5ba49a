// Waitable timers of the stand-in and the time they run on.
//
// On the wall clock (real-time pacing) one service thread sets each timer's event when its due
// time comes, and again every period for a periodic timer. In stepped pacing (the default) timer
// time is the renderer's: it moves only when the renderer's Step moves it, by one period of the
// default endpoint, and each timer whose due time has come fires then, for that step (its waiter
// is one of the threads Step waits to see settled: StepDebts). A finite wait on a timer runs on the
// same time, and a wait of any length gives up in a work callback that is being waited for, as a
// wait on a stepped stream's event does. Switching the pacing carries every timer over with the
// time it had left.
//
// Threads: any thread creates, sets, cancels and waits; Step and the pacing switch come from the
// renderer's control side. Every timer's schedule is guarded by the service's mutex. Lock order:
// the renderer's mutex, then the service's, then a clock's or an event's.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "KernelObjects.h"

namespace standin {
namespace detail {

class Timer final : public KernelObject {
public:
    explicit Timer(bool in_bManualReset)
        : m_event(std::make_shared<Event>(in_bManualReset, false)) {}
    std::shared_ptr<Event> Waitable() override { return m_event; }

private:
    friend class TimerService;
    const std::shared_ptr<Event> m_event;
    // Guarded by the service's mutex.
    bool m_bActive = false;
    uint64_t m_uDueNs = 0;  // on the service's present time line
    uint64_t m_uPeriodNs = 0;
};

class TimerService {
public:
    static TimerService& Instance();

    std::shared_ptr<Timer> Create(bool in_bManualReset);
    // Not signalled, and due in_uDelayNs from now, then every in_uPeriodNs (0: once).
    void Set(const std::shared_ptr<Timer>& in_timer, uint64_t in_uDelayNs, uint64_t in_uPeriodNs);
    // Not due any more; the signal stays as it is.
    void Cancel(const std::shared_ptr<Timer>& in_timer);

    // Stepped time (true) or the wall clock from now on.
    void UseSteppedTime(bool in_bStepped);
    // Stepped time moves on by in_uNs and the timers due by then fire; the waiters set going are
    // woken through io_wakeups. Nothing on the wall clock.
    void Step(uint64_t in_uNs, EventWakeups& io_wakeups);

private:
    TimerService();
    uint64_t NowLocked() const;
    // Fires the timers due at in_uNowNs (for a step, whose wake-ups go to io_pStepWakeups, when
    // that is not null) and schedules their next due.
    void FireDueLocked(uint64_t in_uNowNs, EventWakeups* io_pStepWakeups);
    void WallLoop();

    std::mutex m_mutex;
    std::condition_variable m_wallWake;
    std::vector<std::weak_ptr<Timer>> m_timers;
    bool m_bStepped = true;
    const std::shared_ptr<VirtualClock> m_clock;  // stepped time
    std::thread m_wallThread;                     // runs while time is the wall clock's
};

}  // namespace detail
}  // namespace standin
