#include "MixerBusDriver.h"

#include <algorithm>
#include <cmath>

namespace host {

namespace {

ZvSampleBuffer MakeBuffer(std::vector<float>& io_samples, ZvChannelLayout in_layout,
                          uint16_t in_uFrames) {
    io_samples.assign(static_cast<size_t>(in_layout.uNumChannels) * in_uFrames, 0.0f);
    ZvSampleBuffer buffer{};
    buffer.pData = io_samples.empty() ? nullptr : io_samples.data();
    buffer.channelConfig = in_layout;
    buffer.eState = 0;
    buffer.uMaxFrames = in_uFrames;
    buffer.uValidFrames = in_uFrames;
    return buffer;
}

}  // namespace

MixerBusDriver::Voice::Voice(uint32_t in_uInputId, ZvChannelLayout in_layout, uint16_t in_uFrames)
    : m_context(in_uInputId), m_buffer(MakeBuffer(m_samples, in_layout, in_uFrames)) {}

void MixerBusDriver::Voice::Fill(uint64_t in_uFrameIndex) {
    std::fill(m_samples.begin(), m_samples.end(), 0.0f);
    m_buffer.uValidFrames = m_buffer.uMaxFrames;
    if (m_source) {
        m_source(m_buffer, in_uFrameIndex);
    }
}

MixerBusDriver::Source MixerBusDriver::Voice::Constant(std::vector<float> in_values) {
    return [values = std::move(in_values)](ZvSampleBuffer& io_buffer, uint64_t) {
        const uint32_t uChannels =
            std::min<uint32_t>(io_buffer.NumChannels(), static_cast<uint32_t>(values.size()));
        for (uint32_t uChannel = 0; uChannel < uChannels; ++uChannel) {
            float* pChannel =
                io_buffer.pData + static_cast<size_t>(uChannel) * io_buffer.uMaxFrames;
            std::fill(pChannel, pChannel + io_buffer.uValidFrames, values[uChannel]);
        }
    };
}

MixerBusDriver::Source MixerBusDriver::Voice::Sine(float in_fFrequency, float in_fAmplitude,
                                                   uint32_t in_uSampleRate) {
    return [in_fFrequency, in_fAmplitude, in_uSampleRate](ZvSampleBuffer& io_buffer,
                                                          uint64_t in_uFrameIndex) {
        constexpr double kTwoPi = 6.283185307179586;
        const double fStep = kTwoPi * in_fFrequency / in_uSampleRate;
        const uint64_t uFirst = in_uFrameIndex * io_buffer.uMaxFrames;
        for (uint32_t uFrame = 0; uFrame < io_buffer.uValidFrames; ++uFrame) {
            const float fSample =
                in_fAmplitude *
                static_cast<float>(std::sin(fStep * static_cast<double>(uFirst + uFrame)));
            for (uint32_t uChannel = 0; uChannel < io_buffer.NumChannels(); ++uChannel) {
                io_buffer.pData[static_cast<size_t>(uChannel) * io_buffer.uMaxFrames + uFrame] =
                    fSample;
            }
        }
    };
}

MixerBusDriver::MixerBusDriver(ZV::IMixerPlugin& io_mixer, ZvChannelLayout in_outputLayout,
                               uint16_t in_uFramesPerBuffer)
    : m_rMixer(io_mixer),
      m_uFrames(in_uFramesPerBuffer),
      m_mixBuffer(MakeBuffer(m_mixSamples, in_outputLayout, in_uFramesPerBuffer)) {}

MixerBusDriver::~MixerBusDriver() {
    RemoveAllVoices();
}

MixerBusDriver::Voice& MixerBusDriver::AddVoice(ZvChannelLayout in_layout, uint32_t in_uInputId) {
    m_voices.push_back(std::make_unique<Voice>(in_uInputId, in_layout, m_uFrames));
    Voice& voice = *m_voices.back();
    m_rMixer.ConnectInput(&voice.Context());
    return voice;
}

void MixerBusDriver::RemoveVoice(Voice& io_voice) {
    auto it =
        std::find_if(m_voices.begin(), m_voices.end(),
                     [&](const std::unique_ptr<Voice>& in_p) { return in_p.get() == &io_voice; });
    if (it == m_voices.end()) {
        return;
    }
    m_rMixer.DisconnectInput(&(*it)->Context());
    m_voices.erase(it);
}

void MixerBusDriver::RemoveAllVoices() {
    for (const std::unique_ptr<Voice>& pVoice : m_voices) {
        m_rMixer.DisconnectInput(&pVoice->Context());
    }
    m_voices.clear();
}

const ZvSampleBuffer& MixerBusDriver::RunFrame() {
    std::fill(m_mixSamples.begin(), m_mixSamples.end(), 0.0f);
    m_mixBuffer.uValidFrames = 0;
    const size_t uCalls = m_callOrder.empty() ? m_voices.size() : m_callOrder.size();
    for (size_t uCall = 0; uCall < uCalls; ++uCall) {
        const size_t uIndex = m_callOrder.empty() ? uCall : m_callOrder[uCall];
        if (uIndex >= m_voices.size() || !m_voices[uIndex]->m_bPlaying) {
            continue;
        }
        Voice& voice = *m_voices[uIndex];
        voice.Fill(m_uFrameIndex);
        m_rMixer.MixInput(&voice.Context(), voice.m_baseVolume, voice.m_emitterListenerVolume,
                          &voice.m_buffer, &m_mixBuffer);
    }
    m_rMixer.FinishMix(&m_mixBuffer);
    m_rMixer.PostEffects(&m_mixBuffer);
    m_rMixer.EndFrame(static_cast<uint32_t>(m_uFrameIndex), m_pHooks);
    ++m_uFrameIndex;
    return m_mixBuffer;
}

float MixerBusDriver::MixSample(uint32_t in_uChannel, uint32_t in_uFrame) const {
    return m_mixSamples.at(static_cast<size_t>(in_uChannel) * m_uFrames + in_uFrame);
}

}  // namespace host
