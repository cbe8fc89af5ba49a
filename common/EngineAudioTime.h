// The engine's audio time as a plug-in counts it: the host buffers rendered so far, each of the
// host's frames per buffer, at the engine's rate. While the engine plays it keeps pace with the
// clock; in a stepped test it is exact. A plug-in schedules its re-open tries by it.
//
// Threads: the host's audio thread counts the buffers; any thread reads the time. The count is one
// atomic word, stored by its one writer and loaded with relaxed ordering (nothing else is published
// with it); the frames per buffer and the rate are set before other threads read.
#pragma once

#include <stdint.h>

#include <atomic>

class EngineAudioTime {
public:
    // A rate of 0 counts no time.
    void Configure(uint32_t in_uFramesPerBuffer, uint32_t in_uSampleRate) {
        m_uFramesPerBuffer = in_uFramesPerBuffer;
        m_uSampleRate = in_uSampleRate;
    }
    uint32_t SampleRate() const { return m_uSampleRate; }

    // One more host buffer rendered (audio thread only).
    void CountBuffer() {
        m_uBuffers.store(m_uBuffers.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }

    uint64_t Milliseconds() const {
        return m_uSampleRate == 0 ? 0
                                  : m_uBuffers.load(std::memory_order_relaxed) *
                                        m_uFramesPerBuffer * 1000 / m_uSampleRate;
    }

private:
    std::atomic<uint64_t> m_uBuffers{0};
    uint32_t m_uFramesPerBuffer = 0;
    uint32_t m_uSampleRate = 0;
};
// On 32-bit x86 GCC (which builds the 32-bit library) promises a lock-free 64-bit atomic; clang
// moves it with single 64-bit instructions too but does not promise it for the type.
static_assert(std::atomic<uint64_t>::is_always_lock_free || sizeof(void*) == 4,
              "the buffer count is moved whole, without a lock");
