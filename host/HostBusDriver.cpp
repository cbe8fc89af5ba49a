#include "HostBusDriver.h"

namespace host {

HostBusDriver::HostBusDriver(ZV::IInPlaceEffectPlugin& io_effect, ZvChannelLayout in_layout,
                             uint16_t in_uMaxFrames)
    : m_rEffect(io_effect), m_buffer{} {
    m_buffer.uMaxFrames = in_uMaxFrames;
    SetLayout(in_layout);
}

void HostBusDriver::SetLayout(ZvChannelLayout in_layout) {
    m_samples.assign(static_cast<size_t>(in_layout.uNumChannels) * m_buffer.uMaxFrames, 0.0f);
    m_buffer.pData = m_samples.empty() ? nullptr : m_samples.data();
    m_buffer.channelConfig = in_layout;
    m_buffer.eState = 0;
    m_buffer.uValidFrames = 0;
}

ZvSampleBuffer& HostBusDriver::ProcessAsFilled(uint16_t in_uValidFrames) {
    m_buffer.uValidFrames = in_uValidFrames;
    m_rEffect.ProcessInPlace(&m_buffer);
    m_uFramesProcessed += in_uValidFrames;
    return m_buffer;
}

}  // namespace host
