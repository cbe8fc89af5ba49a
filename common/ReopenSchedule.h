// When a plug-in's render worker tries again to open a stream that could not be opened: the
// retry schedule (RetrySchedule) kept in the engine's audio time (EngineAudioTime), with the
// failures counted for anyone to read.
//
// Threads: the host's audio thread counts its buffers (CountBuffer); the worker alone asks and
// records tries (Due, Opened, Failed); any thread reads the time and the failures.
#pragma once

#include <stdint.h>

#include <atomic>

#include "EngineAudioTime.h"
#include "RetrySchedule.h"

class ReopenSchedule {
public:
    void Configure(uint32_t in_uFramesPerBuffer, uint32_t in_uSampleRate) {
        m_time.Configure(in_uFramesPerBuffer, in_uSampleRate);
    }
    uint32_t SampleRate() const { return m_time.SampleRate(); }
    void CountBuffer() { m_time.CountBuffer(); }
    uint64_t AudioTimeMilliseconds() const { return m_time.Milliseconds(); }

    bool Due() const { return m_retry.Due(m_time.Milliseconds()); }
    void Opened() { m_retry.Succeeded(); }
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
