// How a host engine paces a mixer bus, as plain parameters, and the output that paces it: the
// host runs its frames when its output (the sink) asks for buffers, so it renders in bursts of
// several buffers after a long renderer period and one or none after a short one. Nothing here
// is the mixer's own: it can serve every plug-in's pacing tests.
#pragma once

#include <stdint.h>

namespace mixer_tests {

// One pacing of the matrix.
struct Pacing {
    uint32_t uHostFrames = 480;  // frames per host buffer
    uint32_t uPeriod = 480;      // frames per renderer pass
    // Every in_uLateEvery-th pass the host wakes late: the last buffer of its fill comes after
    // the pass, when the output can spare it (0: never late).
    uint32_t uLateEvery = 0;
};

// The host's output as the sink documents its ring: whole host buffers, at least a period and a
// buffer (or in_uBufferCount buffers, if more); the host writes one more buffer while strictly
// more than one is free, and each pass takes a period (or nothing, if it holds less).
class OutputPacer {
public:
    explicit OutputPacer(const Pacing& in_pacing, uint32_t in_uBufferCount = 2)
        : m_pacing(in_pacing) {
        const uint32_t uHost = in_pacing.uHostFrames;
        uint32_t uBuffers = (in_pacing.uPeriod + 2 * uHost - 1) / uHost;
        uBuffers = uBuffers > in_uBufferCount ? uBuffers : in_uBufferCount;
        m_uCapacity = uBuffers * uHost;
    }

    // The host buffers to run before the next pass: a burst as the output asks for them.
    uint32_t BuffersBeforePass() {
        uint32_t uBuffers = 0;
        while (m_uCapacity - (m_uHeld + uBuffers * m_pacing.uHostFrames) > m_pacing.uHostFrames) {
            ++uBuffers;
        }
        ++m_uPasses;
        // Late: the last buffer after the pass, when the output holds a period without it.
        if (m_pacing.uLateEvery != 0 && m_uPasses % m_pacing.uLateEvery == 0 && uBuffers != 0 &&
            m_uHeld + (uBuffers - 1) * m_pacing.uHostFrames >= m_pacing.uPeriod) {
            --uBuffers;
        }
        m_uHeld += uBuffers * m_pacing.uHostFrames;
        return uBuffers;
    }
    // The pass takes its period.
    void Pass() { m_uHeld -= m_uHeld >= m_pacing.uPeriod ? m_pacing.uPeriod : 0; }
    uint32_t Capacity() const { return m_uCapacity; }

private:
    Pacing m_pacing;
    uint32_t m_uCapacity = 0;
    uint32_t m_uHeld = 0;
    uint64_t m_uPasses = 0;
};

}  // namespace mixer_tests
