// The engine's own output, for a run whose sink could not be opened (an engine at another sample
// rate than the renderer's, say). An engine whose output device fails plays its final mix on its
// own output instead; the player lets the listener hear that output as a 7.1.4 bed plays it: each
// channel of the final mix becomes the static bed object of its speaker, and the host buffers are
// cut into blocks of the listener mix's length, which the listener mix (PassRenderer) takes as it
// takes the renderer's passes.
//
// A speaker that no static object type plays (front left and right of centre, top centre, top
// front centre, top back centre) is dropped; the sink's four layouts have none of them.
//
// Used on one thread (the player's).
#pragma once

#include <cstdint>
#include <vector>

#include "ZvSampleBuffer.h"
#include "standin/Renderer.h"

namespace scene {

class EngineOutputPasses {
public:
    // The stream the blocks are counted under in the listener mix; the renderer's stream ids
    // count up from 1 and never reach it.
    static constexpr uint64_t kStreamId = UINT64_MAX;

    EngineOutputPasses(ZvChannelLayout in_layout, uint32_t in_uBlockFrames);

    // Queues the first in_uFrames frames of in_buffer (planar, in the host's channel order of the
    // layout given at construction).
    void Add(const ZvSampleBuffer& in_buffer, uint32_t in_uFrames);
    // Frames queued and not yet taken.
    uint64_t Waiting() const { return m_uWaiting; }
    // The next block, at output frame BlocksTaken() * block frames; false when a whole block is
    // not queued yet.
    bool Take(standin::Pass& out_block);
    uint64_t BlocksTaken() const { return m_uBlocksTaken; }

private:
    struct Speaker {
        AudioObjectType eType;
        uint32_t uBufferChannel;  // where the host stores it
        std::vector<float> queued;
    };

    std::vector<Speaker> m_speakers;
    uint32_t m_uBlockFrames;
    uint64_t m_uWaiting = 0;
    uint64_t m_uBlocksTaken = 0;
};

}  // namespace scene
