// Hands an object's position and volume from the audio thread to the render worker whole.
//
// The four values change every host frame for a moving voice, and the worker may read them while
// the audio thread writes the next frame's: read as four separate atomics, a pass could carry the
// x of one frame and the y and z of the next, a place where no voice ever was. A triple buffer
// keeps them together without either side waiting: the writer fills its own slot and swaps it
// into the middle; the reader swaps the middle into its own slot when the writer has put a newer
// one there, and reads its slot.
//
// One writer thread (Publish) and one reader thread (Latest). The swaps are acq_rel exchanges, so
// a slot's values are complete before the other side can see its index; what the writer publishes
// before it writes the frame into the ring, the reader that has read that frame from the ring
// finds in Latest.
#pragma once

#include <stdint.h>

#include <atomic>

struct Placement {
    float fX = 0.0f;  // renderer coordinates
    float fY = 0.0f;
    float fZ = 0.0f;
    float fVolume = 1.0f;
};

class PlacementExchange {
public:
    // Writer.
    void Publish(const Placement& in_placement) {
        m_aSlots[m_uBack] = in_placement;
        const uint32_t uOld = m_uMiddle.exchange(m_uBack | kFresh, std::memory_order_acq_rel);
        m_uBack = uOld & kIndex;
    }

    // Reader: the latest placement published (the one before, if none is newer).
    const Placement& Latest() {
        if ((m_uMiddle.load(std::memory_order_acquire) & kFresh) != 0) {
            const uint32_t uOld = m_uMiddle.exchange(m_uFront, std::memory_order_acq_rel);
            m_uFront = uOld & kIndex;
        }
        return m_aSlots[m_uFront];
    }

private:
    static constexpr uint32_t kIndex = 3u;
    static constexpr uint32_t kFresh = 4u;  // the middle slot was published and not yet taken

    Placement m_aSlots[3];
    std::atomic<uint32_t> m_uMiddle{1};  // the slot between the two sides, with kFresh
    uint32_t m_uBack = 0;                // the writer's
    uint32_t m_uFront = 2;               // the reader's
};
