// Drives an in-place effect the way the engine does on a bus: one planar buffer of the bus's
// layout, filled by a source for each host buffer and handed to ProcessInPlace.
//
// The layout may be anything the engine could hand over, a malformed one included (channels
// without speaker bits, more speaker bits than channels, a type other than standard): the buffer
// always holds uNumChannels planar channels of MaxFrames() samples. A changed layout takes effect
// for the following buffers, as when the engine reconfigures a bus.
//
// Process allocates nothing, so a test can count the effect's own allocations around it. Frames
// are counted from the first buffer, so that a source can make every sample of a run different.
//
// Threads: one thread (the test's "audio thread") uses a driver.
#pragma once

#include <stdint.h>

#include <vector>

#include "ZvHostEngine.h"
#include "ZvSampleBuffer.h"

namespace host {

class HostBusDriver {
public:
    HostBusDriver(ZV::IInPlaceEffectPlugin& io_effect, ZvChannelLayout in_layout,
                  uint16_t in_uMaxFrames);
    HostBusDriver(const HostBusDriver&) = delete;
    HostBusDriver& operator=(const HostBusDriver&) = delete;

    // A new layout for the next buffers (the storage is made anew, zeroed).
    void SetLayout(ZvChannelLayout in_layout);

    // Fills the first in_uValidFrames samples of every channel with
    // in_source(channel, frame of the run), sets uValidFrames and hands the buffer to the effect.
    // Returns the buffer as the effect left it. in_uValidFrames is clamped to MaxFrames() for the
    // filling only; the buffer carries it as given.
    template <typename Source>
    ZvSampleBuffer& Process(uint16_t in_uValidFrames, Source&& in_source) {
        const uint32_t uFill =
            in_uValidFrames < m_buffer.uMaxFrames ? in_uValidFrames : m_buffer.uMaxFrames;
        for (uint32_t uChannel = 0; uChannel < m_buffer.NumChannels(); ++uChannel) {
            float* pChannel = Channel(uChannel);
            for (uint32_t uFrame = 0; uFrame < uFill; ++uFrame) {
                pChannel[uFrame] = in_source(uChannel, m_uFramesProcessed + uFrame);
            }
        }
        return ProcessAsFilled(in_uValidFrames);
    }

    // Hands the buffer as it stands to the effect, with in_uValidFrames valid frames.
    ZvSampleBuffer& ProcessAsFilled(uint16_t in_uValidFrames);

    ZvSampleBuffer& Buffer() { return m_buffer; }
    float* Channel(uint32_t in_uChannel) {
        return m_samples.data() + static_cast<size_t>(in_uChannel) * m_buffer.uMaxFrames;
    }
    // Frames handed over so far (the sum of the valid frames of every processed buffer).
    uint64_t FramesProcessed() const { return m_uFramesProcessed; }

private:
    ZV::IInPlaceEffectPlugin& m_rEffect;
    std::vector<float> m_samples;
    ZvSampleBuffer m_buffer;
    uint64_t m_uFramesProcessed = 0;
};

}  // namespace host
