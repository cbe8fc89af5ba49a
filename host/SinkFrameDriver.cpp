#include "SinkFrameDriver.h"

#include <algorithm>

namespace host {

SinkFrameDriver::SinkFrameDriver(ZV::ISinkPlugin& io_rSink, ZvChannelLayout in_layout,
                                 uint16_t in_uMaxFrames)
    : m_rSink(io_rSink) {
    m_buffer.uMaxFrames = in_uMaxFrames;
    m_buffer.uValidFrames = in_uMaxFrames;
    SetLayout(in_layout);
}

void SinkFrameDriver::SetLayout(ZvChannelLayout in_layout) {
    // Exactly the channels of the layout, so that a plug-in reading past them reads past the
    // allocation (a vector keeps its old capacity on assign).
    m_samples =
        std::vector<float>(static_cast<size_t>(in_layout.uNumChannels) * m_buffer.uMaxFrames, 0.0f);
    m_buffer.pData = m_samples.data();
    m_buffer.channelConfig = in_layout;
}

bool SinkFrameDriver::RunFrame() {
    uint32_t uBuffersNeeded = 0;
    m_rSink.IsDataNeeded(uBuffersNeeded);
    if (uBuffersNeeded == 0) {
        return false;
    }
    if (m_uFramesToSkip > 0) {
        --m_uFramesToSkip;
    } else {
        ZvVolumeRamp gain = {1.0f, 1.0f};
        if (m_pSource != nullptr) {
            gain = m_pSource->Render(m_uBuffersConsumed, m_buffer);
        } else {
            std::fill(m_samples.begin(), m_samples.end(), 0.0f);
        }
        m_rSink.ConsumeFrame(&m_buffer, gain);
        ++m_uBuffersConsumed;
    }
    m_rSink.OnFrameEnd();
    ++m_uFramesRun;
    return true;
}

uint32_t SinkFrameDriver::FillSink(uint32_t in_uMaxFrames) {
    uint32_t uFrames = 0;
    while (uFrames < in_uMaxFrames && RunFrame()) {
        ++uFrames;
    }
    return uFrames;
}

}  // namespace host
