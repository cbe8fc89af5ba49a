// The test host engine's audio thread as an output device (sink) plug-in sees it: each host frame
// asks IsDataNeeded and, when the device wants a buffer, renders the mix in the device's layout,
// hands it over with ConsumeFrame and closes the frame with OnFrameEnd. When the device wants
// nothing, no frame runs, as the engine waits for its device. FillSink is what the engine does each
// time its audio thread wakes: run frames until the device is satisfied.
//
// The driver renders into one buffer it allocates up front; running frames allocates nothing. What
// the buffer holds comes from a SinkMixSource. Pacing is the caller's: a test steps the renderer
// between fills, a real-time run wakes the driver on its own clock.
//
// Threads: one thread drives the sink; the driver is not shared.
#pragma once

#include <stdint.h>

#include <vector>

#include "ZvHostEngine.h"

namespace host {

// What the engine renders for its output device.
class SinkMixSource {
public:
    virtual ~SinkMixSource() = default;
    // Fills the first uValidFrames frames (at most uMaxFrames) of every channel of io_rBuffer,
    // whose layout and frame counts are set, with the in_uBuffer-th buffer of the mix (0 for the
    // first handed over), and returns the volume ramp that goes with it. Runs on the driving
    // thread once per buffer handed over; must not allocate.
    virtual ZvVolumeRamp Render(uint64_t in_uBuffer, ZvSampleBuffer& io_rBuffer) = 0;
};

class SinkFrameDriver {
public:
    static constexpr uint32_t kDefaultFillLimit = 64;

    // Buffers of in_uMaxFrames frames per channel in in_layout, each claiming in_uMaxFrames valid
    // frames until SetValidFrames says otherwise. The sink must outlive the driver's use of it.
    SinkFrameDriver(ZV::ISinkPlugin& io_rSink, ZvChannelLayout in_layout, uint16_t in_uMaxFrames);
    SinkFrameDriver(const SinkFrameDriver&) = delete;
    SinkFrameDriver& operator=(const SinkFrameDriver&) = delete;

    // Null: silence at unity gain. The source must outlive its use.
    void SetSource(SinkMixSource* in_pSource) { m_pSource = in_pSource; }
    // Renders in another layout from the next frame on (allocates; not while frames run).
    void SetLayout(ZvChannelLayout in_layout);
    // What each buffer claims as valid; may be more than it holds, to test a device's bounds.
    void SetValidFrames(uint16_t in_uValidFrames) { m_buffer.uValidFrames = in_uValidFrames; }
    // The next in_uFrames frames that run hand nothing over: IsDataNeeded, then OnFrameEnd only.
    void SkipConsume(uint32_t in_uFrames) { m_uFramesToSkip = in_uFrames; }

    // One host frame if the device wants data. Returns whether a frame ran.
    bool RunFrame();
    // Runs frames while the device wants data, at most in_uMaxFrames. Returns how many ran.
    uint32_t FillSink(uint32_t in_uMaxFrames = kDefaultFillLimit);

    uint64_t FramesRun() const { return m_uFramesRun; }
    uint64_t BuffersConsumed() const { return m_uBuffersConsumed; }
    // The buffer the driver renders into (its samples are the last ones handed over).
    const ZvSampleBuffer& Buffer() const { return m_buffer; }

private:
    ZV::ISinkPlugin& m_rSink;
    SinkMixSource* m_pSource = nullptr;
    std::vector<float> m_samples;  // planar: channel k at k * uMaxFrames
    ZvSampleBuffer m_buffer{};
    uint32_t m_uFramesToSkip = 0;
    uint64_t m_uFramesRun = 0;
    uint64_t m_uBuffersConsumed = 0;
};

}  // namespace host
