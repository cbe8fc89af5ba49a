// A host audio buffer with its own storage, for tests that hand buffers to plug-ins and host
// services. Samples are planar: channel k starts at k * uMaxFrames.
#pragma once

#include <stdint.h>

#include <vector>

#include "ZvSampleBuffer.h"

namespace testing_support {

class OwnedSampleBuffer {
public:
    OwnedSampleBuffer(ZvChannelLayout in_layout, uint16_t in_uMaxFrames, uint16_t in_uValidFrames)
        : m_samples(static_cast<size_t>(in_layout.uNumChannels) * in_uMaxFrames, 0.0f) {
        m_buffer.pData = m_samples.data();
        m_buffer.channelConfig = in_layout;
        m_buffer.eState = 0;
        m_buffer.uMaxFrames = in_uMaxFrames;
        m_buffer.uValidFrames = in_uValidFrames;
    }
    OwnedSampleBuffer(const OwnedSampleBuffer&) = delete;
    OwnedSampleBuffer& operator=(const OwnedSampleBuffer&) = delete;

    ZvSampleBuffer* Get() { return &m_buffer; }
    float& At(uint32_t in_uChannel, uint32_t in_uFrame) {
        return m_samples.at(static_cast<size_t>(in_uChannel) * m_buffer.uMaxFrames + in_uFrame);
    }
    float* Channel(uint32_t in_uChannel) {
        return m_samples.data() + static_cast<size_t>(in_uChannel) * m_buffer.uMaxFrames;
    }
    const std::vector<float>& Samples() const { return m_samples; }

private:
    std::vector<float> m_samples;
    ZvSampleBuffer m_buffer{};
};

}  // namespace testing_support
