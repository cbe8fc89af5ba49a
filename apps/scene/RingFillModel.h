// The host's model of one plug-in's sample ring: how full it is, given what the host wrote into
// it and what each renderer pass took out, with the ring's documented rules (a write beyond the
// free space drops the oldest data; a pass that finds less than a period takes nothing). The
// plug-ins do not expose their rings, so the player counts overruns and short passes from this
// model; the capacities are the ones the plug-ins document.
#pragma once

#include <cstdint>

namespace scene {

class RingFillModel {
public:
    explicit RingFillModel(uint64_t in_uCapacityFrames = 0) : m_uCapacity(in_uCapacityFrames) {}

    void Write(uint64_t in_uFrames) {
        m_uFill += in_uFrames;
        m_uWritten += in_uFrames;
        if (m_uFill > m_uCapacity) {
            m_uOverrunFrames += m_uFill - m_uCapacity;
            ++m_uOverruns;
            m_uFill = m_uCapacity;
        }
    }

    // A pass that wants in_uFrames: true when the ring held them (and gave them up).
    bool Read(uint64_t in_uFrames) {
        ++m_uPasses;
        if (m_uFill < in_uFrames) {
            ++m_uShortPasses;
            return false;
        }
        m_uFill -= in_uFrames;
        return true;
    }

    uint64_t Capacity() const { return m_uCapacity; }
    uint64_t Fill() const { return m_uFill; }
    uint64_t Written() const { return m_uWritten; }
    uint64_t Passes() const { return m_uPasses; }
    uint64_t Overruns() const { return m_uOverruns; }            // writes that dropped data
    uint64_t OverrunFrames() const { return m_uOverrunFrames; }  // frames dropped
    uint64_t ShortPasses() const { return m_uShortPasses; }

private:
    uint64_t m_uCapacity;
    uint64_t m_uFill = 0;
    uint64_t m_uWritten = 0;
    uint64_t m_uPasses = 0;
    uint64_t m_uOverruns = 0;
    uint64_t m_uOverrunFrames = 0;
    uint64_t m_uShortPasses = 0;
};

}  // namespace scene
