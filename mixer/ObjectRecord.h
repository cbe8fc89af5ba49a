// What feeds one dynamic object of the render stream: record i feeds object i.
//
// A record is held by a group of voices at one position (its occupancy) for as long as at least
// one of them keeps playing on it: a voice keeps its record, and so its object, from frame to
// frame. When the last of them stops, the record drains: the render worker plays what its ring
// still holds (its tail), then silence, and tells the audio thread that the occupancy is over;
// only then may new voices take the record. Each new occupancy gets a fresh dynamic object from
// the worker, positioned before its first samples play, so nothing of one occupancy is ever heard
// through another's object or from another's place. Every record follows the mixer's one timeline
// (MixerTimeline.h): an occupancy's samples start at the timeline position of its first frame
// (uStartFrame), and its ring holds the frames from there to the written position that the
// worker has not read yet.
//
// Threads. The audio thread builds the record's inputs and mono mix in MixInput and FinishMix
// (everything under "Audio thread": no other thread touches it), and hands the render worker the
// mix through the ring (its own lock) with the position, the volume, the start frame and the state
// word (occupancy and active flag). The position and the volume go together through a triple
// buffer (PlacementExchange.h), so a pass carries the four values of one frame; the start frame
// is a relaxed atomic, written before the new occupancy is published. FinishMix publishes the
// placement and the start frame before it publishes the state (release) and before it writes the
// frame into the ring, and the worker reads the ring before it takes the placement, so a pass
// never carries a position older than its newest samples. The worker takes them before it says that
// a tail is played out, so a tail's last pass never carries the position or the volume of voices
// that took the record after it. The worker loads the state with acquire ordering. m_uDrained is
// the worker's answer (release store after those loads, acquire load by the audio thread); the
// audio thread writes it only while the worker holds no stream (the reset of a lost stream). The
// spatial object and uObjectOccupancy belong to the render worker while it runs; the audio thread
// touches them only when the worker is stopped.
#pragma once

#include <spatialaudioclient.h>

#include <stdint.h>

#include <atomic>

#include "CBuffer.h"
#include "ComPtr.h"
#include "InputSlot.h"
#include "PlacementExchange.h"
#include "ZvSampleBuffer.h"

struct ObjectRecord {
    static constexpr uint32_t kMaxInputs = 32;
    // Both sides of the ring move mono 32-bit floats (the frame count of the ring's formats only
    // has to be set); its capacity comes from the timeline (MixerTimeline::Configure).
    static constexpr uint16_t kRingFormatFrames = 1024;

    // The state word: the occupancy number in the upper 31 bits, the active flag in bit 0.
    static constexpr uint32_t StateWord(uint32_t in_uOccupancy, bool in_bActive) {
        return (in_uOccupancy << 1) | (in_bActive ? 1u : 0u);
    }
    static constexpr uint32_t OccupancyOf(uint32_t in_uState) { return in_uState >> 1; }
    static constexpr uint32_t NextOccupancy(uint32_t in_uOccupancy) {
        return (in_uOccupancy + 1) & 0x7FFFFFFFu;
    }
    static constexpr bool IsActive(uint32_t in_uState) { return (in_uState & 1u) != 0; }

    // Audio thread.
    uint32_t uInputCount = 0;  // 0: no input this frame
    InputSlot* apInputs[kMaxInputs] = {};
    ZvSampleBuffer samples = {};  // channel 0: the object's mono mix of the frame
    uint32_t uBufferBytes = 0;
    uint32_t uOccupancy = 0;     // the occupancy published last (31 bits that wrap, only compared)
    bool bHeld = false;          // had inputs at the last object mix-down: reserved for its voices
    bool bNewOccupancy = false;  // taken this frame by voices that were not on it
    // Free for new voices: nobody holds it and the worker has played out its last occupancy.
    bool IsFree() const {
        return !bHeld && uInputCount == 0 && uDrained.load(std::memory_order_acquire) == uOccupancy;
    }

    // Audio thread to render worker.
    // Renderer coordinates, (x, y, -z) of the first input, and the volume within [0, 1].
    PlacementExchange placement;
    std::atomic<uint32_t> uState{0};       // StateWord(occupancy, had inputs in the last mix-down)
    std::atomic<uint32_t> uStartFrame{0};  // the timeline position of the occupancy's first frame
    CBuffer* pRing = nullptr;              // set up before the worker starts
    // Render worker to audio thread: the occupancy whose samples are all played out.
    std::atomic<uint32_t> uDrained{0};

    // Render worker.
    ComPtr<ISpatialAudioObject> object;
    uint32_t uObjectOccupancy = 0;  // the occupancy the object plays for
};
