#include "WaitableTimers.h"

#include <algorithm>
#include <chrono>

#include "CallScope.h"

namespace standin {
namespace detail {
namespace {

uint64_t WallNowNs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace

TimerService& TimerService::Instance() {
    static TimerService* s_pService = new TimerService();  // never destroyed: used at exit
    return *s_pService;
}

TimerService::TimerService() : m_clock(std::make_shared<VirtualClock>()) {}

uint64_t TimerService::NowLocked() const {
    return m_bStepped ? m_clock->NowNs() : WallNowNs();
}

std::shared_ptr<Timer> TimerService::Create(bool in_bManualReset) {
    std::shared_ptr<Timer> timer = std::make_shared<Timer>(in_bManualReset);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                  [](const std::weak_ptr<Timer>& in_t) { return in_t.expired(); }),
                   m_timers.end());
    m_timers.push_back(timer);
    if (m_bStepped) {
        timer->m_event->SetClock(m_clock);
    }
    return timer;
}

void TimerService::Set(const std::shared_ptr<Timer>& in_timer, uint64_t in_uDelayNs,
                       uint64_t in_uPeriodNs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    in_timer->m_event->Reset();
    in_timer->m_bActive = true;
    in_timer->m_uDueNs = NowLocked() + in_uDelayNs;
    in_timer->m_uPeriodNs = in_uPeriodNs;
    if (in_uDelayNs == 0) {
        FireDueLocked(NowLocked(), nullptr);  // a due time that has passed fires at once
    }
    m_wallWake.notify_all();
}

void TimerService::Cancel(const std::shared_ptr<Timer>& in_timer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    in_timer->m_bActive = false;
}

void TimerService::FireDueLocked(uint64_t in_uNowNs, EventWakeups* io_pStepWakeups) {
    for (const std::weak_ptr<Timer>& weak : m_timers) {
        const std::shared_ptr<Timer> timer = weak.lock();
        if (!timer || !timer->m_bActive || timer->m_uDueNs > in_uNowNs) {
            continue;
        }
        if (io_pStepWakeups != nullptr) {
            timer->m_event->SetForStep(*io_pStepWakeups);
        } else {
            timer->m_event->Set();
        }
        if (timer->m_uPeriodNs == 0) {
            timer->m_bActive = false;
            continue;
        }
        // Expiries that came while nobody looked leave one signal, not a burst of them.
        while (timer->m_uDueNs <= in_uNowNs) {
            timer->m_uDueNs += timer->m_uPeriodNs;
        }
    }
}

void TimerService::UseSteppedTime(bool in_bStepped) {
    std::thread stopped;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (in_bStepped == m_bStepped) {
        return;
    }
    const uint64_t uOldNow = NowLocked();
    m_bStepped = in_bStepped;
    const uint64_t uNewNow = NowLocked();
    for (const std::weak_ptr<Timer>& weak : m_timers) {
        if (const std::shared_ptr<Timer> timer = weak.lock()) {
            const uint64_t uLeft = timer->m_uDueNs > uOldNow ? timer->m_uDueNs - uOldNow : 0;
            timer->m_uDueNs = uNewNow + uLeft;
            if (in_bStepped) {
                timer->m_event->SetClock(m_clock);
            } else {
                timer->m_event->DetachClock(m_clock);
            }
        }
    }
    if (in_bStepped) {
        stopped = std::move(m_wallThread);
    } else {
        m_wallThread = std::thread(&TimerService::WallLoop, this);
    }
    m_wallWake.notify_all();
    lock.unlock();
    if (stopped.joinable()) {
        stopped.join();
    }
}

void TimerService::Step(uint64_t in_uNs, EventWakeups& io_wakeups) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bStepped) {
        return;
    }
    FireDueLocked(m_clock->NowNs() + in_uNs, &io_wakeups);
    // Then the time itself, which expires the timed waits on the timers.
    m_clock->Advance(in_uNs, io_wakeups);
}

void TimerService::WallLoop() {
    InternalScope scope;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_bStepped) {
        const uint64_t uNow = WallNowNs();
        FireDueLocked(uNow, nullptr);
        uint64_t uNext = UINT64_MAX;
        for (const std::weak_ptr<Timer>& weak : m_timers) {
            const std::shared_ptr<Timer> timer = weak.lock();
            if (timer && timer->m_bActive) {
                uNext = std::min(uNext, timer->m_uDueNs);
            }
        }
        if (uNext == UINT64_MAX) {
            m_wallWake.wait(lock);
        } else {
            m_wallWake.wait_for(lock, std::chrono::nanoseconds(uNext - uNow));
        }
    }
}

}  // namespace detail
}  // namespace standin
