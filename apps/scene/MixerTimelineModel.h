// The host's model of the mixer's timeline: the one delay line that all of its object records
// follow (every playing record is written the same host buffer at the same position, and each
// renderer pass plays one period of every record at once). The plug-in does not expose it, so
// the player follows the documented rules to count what a listener would hear as a fault:
// - a host buffer that does not fit into the rings is not written to any record (an overrun:
//   the whole buffer is lost);
// - a pass that finds nothing stops the timeline (the host stopped writing); a stopped timeline
//   that finds less than a period starts a period and a host buffer behind the last frame
//   written, silence first (the pre-roll: nothing is lost, every voice is heard late alike);
// - a running timeline that finds less than a period (the host fell behind) plays silence where
//   the frames are missing and starts again: a short pass, a gap in every playing voice;
// - a stopped timeline that finds more than the rings hold with two host buffers to spare lets
//   the oldest frames go, once, so that no later buffer runs over.
// The mixer writes its rings only in frames whose stream runs (it posts its counters with the
// stream's grant then) and empties them when it loses the stream.
#pragma once

#include <algorithm>
#include <cstdint>

namespace scene {

class MixerTimelineModel {
public:
    // The largest period the mixer sizes its rings for without knowing the renderer's.
    static constexpr uint64_t kLargestPeriodFrames = 4096;

    MixerTimelineModel() = default;
    MixerTimelineModel(uint32_t in_uHostFrames, uint32_t in_uPeriodFrames)
        : m_uHostFrames(in_uHostFrames),
          m_uCapacity(std::max<uint64_t>(in_uPeriodFrames, kLargestPeriodFrames) +
                      4ull * in_uHostFrames) {}

    void Write(uint64_t in_uFrames) {
        if (m_uHeld + in_uFrames > m_uCapacity) {
            ++m_uOverruns;
            m_uOverrunFrames += in_uFrames;
            return;
        }
        m_uHeld += in_uFrames;
        m_uWritten += in_uFrames;
    }

    void Read(uint64_t in_uPeriod) {
        ++m_uPasses;
        if (m_uHeld == 0) {
            if (m_bRunning) {
                ++m_uShortPasses;
            }
            m_bRunning = false;
            return;
        }
        if (m_uHeld < in_uPeriod) {
            if (m_bRunning) {
                ++m_uShortPasses;
            }
            m_uHeld = m_uHostFrames;  // the pre-roll keeps a host buffer in hand
        } else {
            const uint64_t uRoom = m_uCapacity - 2 * m_uHostFrames;
            if (!m_bRunning && m_uHeld > uRoom) {
                m_uLetGoFrames += m_uHeld - uRoom;
                m_uHeld = uRoom;
            }
            m_uHeld -= in_uPeriod;
        }
        m_bRunning = true;
    }

    // The stream was lost: the mixer empties its rings before it takes a new one.
    void Reset() {
        m_uHeld = 0;
        m_bRunning = false;
    }

    uint64_t Capacity() const { return m_uCapacity; }
    uint64_t Written() const { return m_uWritten; }
    uint64_t Passes() const { return m_uPasses; }
    uint64_t Overruns() const { return m_uOverruns; }            // host buffers not written
    uint64_t OverrunFrames() const { return m_uOverrunFrames; }  // their frames
    uint64_t ShortPasses() const { return m_uShortPasses; }      // gaps while running
    uint64_t LetGoFrames() const { return m_uLetGoFrames; }      // delay let go at a start

private:
    uint64_t m_uHostFrames = 0;
    uint64_t m_uCapacity = 0;
    uint64_t m_uHeld = 0;
    bool m_bRunning = false;
    uint64_t m_uWritten = 0;
    uint64_t m_uPasses = 0;
    uint64_t m_uOverruns = 0;
    uint64_t m_uOverrunFrames = 0;
    uint64_t m_uShortPasses = 0;
    uint64_t m_uLetGoFrames = 0;
};

}  // namespace scene
