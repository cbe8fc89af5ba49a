// When to try again to open a renderer stream that could not be opened. A lost output (headphones
// unplugged, spatial sound switched off, a driver restarting) usually comes back within seconds,
// so the first try comes one second after the failure and each further one waits twice as long as
// the one before, up to eight seconds: sound returns within one interval of the output's return,
// and an output that never returns costs one try every eight seconds.
//
// Time is the caller's: any count of milliseconds that only moves forward. The plug-ins count the
// engine's audio time (host frames rendered), which keeps pace with the clock while the engine
// plays and makes a stepped test exact.
//
// Threads: one object per stream, used by one thread (the one that opens the stream).
#pragma once

#include <stdint.h>

class RetrySchedule {
public:
    static constexpr uint64_t kFirstIntervalMilliseconds = 1000;
    static constexpr uint64_t kLongestIntervalMilliseconds = 8000;

    // The stream is open: nothing to try, and a later failure starts from the first interval.
    void Succeeded() {
        m_bPending = false;
        m_uIntervalMilliseconds = kFirstIntervalMilliseconds;
    }

    // An open failed at in_uNowMilliseconds: the next try is due one interval later, and the
    // interval after that is twice as long (at most the longest).
    void Failed(uint64_t in_uNowMilliseconds) {
        ++m_uFailures;
        m_bPending = true;
        m_uDueMilliseconds = in_uNowMilliseconds + m_uIntervalMilliseconds;
        m_uIntervalMilliseconds = m_uIntervalMilliseconds * 2 < kLongestIntervalMilliseconds
                                      ? m_uIntervalMilliseconds * 2
                                      : kLongestIntervalMilliseconds;
    }

    // Whether a try is waiting and its time has come.
    bool Due(uint64_t in_uNowMilliseconds) const {
        return m_bPending && in_uNowMilliseconds >= m_uDueMilliseconds;
    }

    bool Pending() const { return m_bPending; }
    // When the waiting try is due (meaningful while Pending).
    uint64_t DueMilliseconds() const { return m_uDueMilliseconds; }
    // Failed opens since the object was made (successes do not clear it).
    uint32_t Failures() const { return m_uFailures; }

private:
    uint64_t m_uDueMilliseconds = 0;
    uint64_t m_uIntervalMilliseconds = kFirstIntervalMilliseconds;
    uint32_t m_uFailures = 0;
    bool m_bPending = false;
};
