// The clock a render worker keeps while it has no stream to pace it: a periodic waitable timer
// (high resolution where the system has one), whose ticks the worker waits for. On the stand-in
// in stepped pacing the ticks come with the renderer's steps, so a stepped test drives the worker
// without a stream exactly as one with a stream.
//
// Threads: made and destroyed by the owner's set-up and termination; used by the worker alone in
// between.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "HandleHolder.h"

class PeriodTimer {
public:
    // False when no timer can be had.
    bool Create() {
        m_hTimer.Reset(CreateWaitableTimerExW(
            nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS));
        if (!m_hTimer) {
            m_hTimer.Reset(CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS));
        }
        return static_cast<bool>(m_hTimer);
    }
    void Close() { m_hTimer.Reset(); }

    // Ticks one period from now, then every period (milliseconds, at least one).
    void Start(uint32_t in_uPeriodMs) {
        m_uPeriodMs = in_uPeriodMs > 0 ? in_uPeriodMs : 1;
        LARGE_INTEGER due;
        due.QuadPart = -static_cast<LONGLONG>(m_uPeriodMs) * 10000;
        m_bTicking = SetWaitableTimer(m_hTimer.Get(), &due, static_cast<LONG>(m_uPeriodMs), nullptr,
                                      nullptr, FALSE) != FALSE;
        m_bStarted = true;
    }
    void Stop() {
        if (m_bTicking) {
            CancelWaitableTimer(m_hTimer.Get());
        }
        m_bTicking = false;
        m_bStarted = false;
    }
    bool Started() const { return m_bStarted; }

    // Waits for the next tick, at most in_dwBound milliseconds (a bound that lets a termination
    // in stepped pacing, or a stopped timer, end the wait); true when it came. A timer that could
    // not be set is replaced by sleeping one period.
    bool WaitTick(DWORD in_dwBound) {
        if (!m_bTicking) {
            Sleep(m_uPeriodMs);
            return true;
        }
        return WaitForSingleObject(m_hTimer.Get(), in_dwBound) == WAIT_OBJECT_0;
    }

private:
    HandleHolder m_hTimer;
    uint32_t m_uPeriodMs = 1;
    bool m_bTicking = false;
    bool m_bStarted = false;
};
