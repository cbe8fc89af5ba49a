// How a render worker waits while its stream is not running. It has to look again and again at
// its run flag and at the stream state (the host thread may re-open the stream, or stop the
// worker, at any time), but must never spin a core, nor cost more than a trace of one while a
// stream is lost or closed for good. So it sleeps 1 millisecond after the first idle look and
// twice as long after each further one, up to 8 milliseconds (less than a renderer period): a
// stream re-opened at once is taken up at once, one re-opened later within 8 milliseconds, and a
// worker idle for good wakes about 125 times a second.
//
// Threads: one object per worker, on its stack; the worker alone uses it.
#pragma once

#include <windows.h>

class IdlePause {
public:
    static constexpr DWORD kFirstMilliseconds = 1;
    static constexpr DWORD kLongestMilliseconds = 8;

    // Sleeps, and lengthens the next sleep.
    void Sleep() {
        ::Sleep(m_dwNextMilliseconds);
        m_dwNextMilliseconds = m_dwNextMilliseconds * 2 < kLongestMilliseconds
                                   ? m_dwNextMilliseconds * 2
                                   : kLongestMilliseconds;
    }
    // The stream runs again: the next idle look starts short.
    void Reset() { m_dwNextMilliseconds = kFirstMilliseconds; }

private:
    DWORD m_dwNextMilliseconds = kFirstMilliseconds;
};
