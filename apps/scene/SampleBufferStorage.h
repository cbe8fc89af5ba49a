// A host audio buffer with its own storage: planar 32-bit float channels of MaxFrames() frames.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "ZvSampleBuffer.h"

namespace scene {

class SampleBufferStorage {
public:
    SampleBufferStorage(ZvChannelLayout in_layout, uint16_t in_uMaxFrames)
        : m_samples(static_cast<size_t>(in_layout.uNumChannels) * in_uMaxFrames, 0.0f) {
        m_buffer.pData = m_samples.data();
        m_buffer.channelConfig = in_layout;
        m_buffer.eState = 0;
        m_buffer.uMaxFrames = in_uMaxFrames;
        m_buffer.uValidFrames = in_uMaxFrames;
    }
    SampleBufferStorage(const SampleBufferStorage&) = delete;
    SampleBufferStorage& operator=(const SampleBufferStorage&) = delete;

    ZvSampleBuffer* Buffer() { return &m_buffer; }
    float* Channel(uint32_t in_uIndex) {
        return m_samples.data() + static_cast<size_t>(in_uIndex) * m_buffer.uMaxFrames;
    }
    uint32_t Channels() const { return m_buffer.channelConfig.uNumChannels; }
    ZvChannelLayout Layout() const { return m_buffer.channelConfig; }

    // Silence in every channel, and every frame valid again.
    void Clear() {
        std::fill(m_samples.begin(), m_samples.end(), 0.0f);
        m_buffer.uValidFrames = m_buffer.uMaxFrames;
    }
    bool IsSilent() const {
        return std::all_of(m_samples.begin(), m_samples.end(),
                           [](float in_fSample) { return in_fSample == 0.0f; });
    }

private:
    std::vector<float> m_samples;
    ZvSampleBuffer m_buffer;
};

}  // namespace scene
