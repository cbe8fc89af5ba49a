#include "TaggedMixSource.h"

#include <cmath>

namespace host {

bool TaggedMixSource::Decode(float in_fSample, uint32_t& out_uChannel, uint32_t& out_uFrame) {
    if (!(in_fSample >= 1.0f) || in_fSample >= 257.0f) {
        return false;
    }
    const float fWhole = std::floor(in_fSample);
    const float fFrame = (in_fSample - fWhole) * static_cast<float>(kFramePeriod);
    if (fFrame != std::floor(fFrame)) {
        return false;
    }
    out_uChannel = static_cast<uint32_t>(fWhole) - 1;
    out_uFrame = static_cast<uint32_t>(fFrame);
    return true;
}

ZvVolumeRamp TaggedMixSource::Render(uint64_t /*in_uBuffer*/, ZvSampleBuffer& io_rBuffer) {
    const uint32_t uFrames = io_rBuffer.uValidFrames < io_rBuffer.uMaxFrames
                                 ? io_rBuffer.uValidFrames
                                 : io_rBuffer.uMaxFrames;
    for (uint32_t uChannel = 0; uChannel < io_rBuffer.NumChannels(); ++uChannel) {
        float* const pChannel =
            io_rBuffer.pData + static_cast<size_t>(uChannel) * io_rBuffer.uMaxFrames;
        for (uint32_t uFrame = 0; uFrame < uFrames; ++uFrame) {
            pChannel[uFrame] = Sample(uChannel, m_uFramePosition + uFrame);
        }
    }
    m_uFramePosition += uFrames;
    return m_ramp;
}

}  // namespace host
