// When a plug-in's render worker tries again to open a stream that could not be opened: the
// retry schedule (RetrySchedule) kept in the engine's audio time (EngineAudioTime), with the
// failures counted for anyone to read, and the publication of each re-open's outcome.
//
// Threads: the host's audio thread counts its buffers (CountBuffer); the worker alone asks and
// records tries (Due, Record, Failed); any thread reads the time and the failures.
#pragma once

#include <stdint.h>

#include <atomic>

#include "EngineAudioTime.h"
#include "RetrySchedule.h"
#include "StreamState.h"

class ReopenSchedule {
public:
    void Configure(uint32_t in_uFramesPerBuffer, uint32_t in_uSampleRate) {
        m_time.Configure(in_uFramesPerBuffer, in_uSampleRate);
    }
    uint32_t SampleRate() const { return m_time.SampleRate(); }
    void CountBuffer() { m_time.CountBuffer(); }
    uint64_t AudioTimeMilliseconds() const { return m_time.Milliseconds(); }

    bool Due() const { return m_retry.Due(m_time.Milliseconds()); }
    // A re-open's outcome, published in the stream state (release): StreamOpened, for the audio
    // thread to take over at its next frame, or StreamClosed with the next try scheduled.
    void Record(bool in_bOpened, std::atomic<int32_t>& io_eState) {
        if (in_bOpened) {
            m_retry.Succeeded();
        } else {
            Failed();
        }
        io_eState.store(in_bOpened ? StreamOpened : StreamClosed, std::memory_order_release);
    }
    // A try that failed (or counts as failed) at the present audio time.
    void Failed() {
        m_retry.Failed(m_time.Milliseconds());
        m_uFailures.store(m_retry.Failures(), std::memory_order_relaxed);
    }
    uint32_t Failures() const { return m_uFailures.load(std::memory_order_relaxed); }

private:
    EngineAudioTime m_time;
    RetrySchedule m_retry;  // the worker's
    std::atomic<uint32_t> m_uFailures{0};
};
