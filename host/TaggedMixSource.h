// A mix whose every sample says where it came from: channel k of the buffer (in the buffer's own
// order) at frame t of the stream carries (k + 1) + (t mod 4096) / 4096. Every such value is exact
// in 32-bit float, and so is any gain that is a power of two times it, so a test can check what a
// plug-in made of the mix bit for bit and tell which channel and which frame each sample is.
//
// Threads: used by the one thread that drives the plug-in.
#pragma once

#include <stdint.h>

#include "SinkFrameDriver.h"

namespace host {

class TaggedMixSource final : public SinkMixSource {
public:
    static constexpr uint32_t kFramePeriod = 4096;

    static float Sample(uint32_t in_uChannel, uint64_t in_uFrame) {
        return static_cast<float>(in_uChannel + 1) +
               static_cast<float>(in_uFrame % kFramePeriod) / static_cast<float>(kFramePeriod);
    }
    // The channel and the frame (modulo kFramePeriod) of a sample made by Sample; false for 0
    // and anything Sample cannot make.
    static bool Decode(float in_fSample, uint32_t& out_uChannel, uint32_t& out_uFrame);

    // The ramp every buffer is handed over with (unity until set).
    void SetRamp(ZvVolumeRamp in_ramp) { m_ramp = in_ramp; }
    // Frames of the stream rendered so far: the next buffer starts at this frame.
    uint64_t FramePosition() const { return m_uFramePosition; }

    ZvVolumeRamp Render(uint64_t in_uBuffer, ZvSampleBuffer& io_rBuffer) override;

private:
    ZvVolumeRamp m_ramp = {1.0f, 1.0f};
    uint64_t m_uFramePosition = 0;
};

}  // namespace host
