// A spatial mixer (desktop build) on a stereo bus of the stepped stand-in renderer, with its host
// around it and a number of voices at distinct positions. The voices' buffers are filled once:
// a frame hands them over as they are, so that a frame costs only what the mixer does with them.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <vector>

#include "DesktopStreamActivation.h"
#include "HostAllocator.h"
#include "HostGlobalContext.h"
#include "HostMixerContext.h"
#include "HostMixerInputContext.h"
#include "SpatialMixerFX.h"
#include "SpatialMixerFXParams.h"
#include "standin/Control.h"
#include "standin/Renderer.h"

namespace bench {

class MixerRig {
public:
    // in_uVoices voices of in_uChannels channels; the renderer grants in_uGrant objects and runs
    // passes of in_uPassFrames frames.
    MixerRig(uint32_t in_uVoices, uint32_t in_uChannels, uint16_t in_uFrames, uint32_t in_uGrant,
             uint32_t in_uPassFrames = 480)
        : m_global(in_uFrames), m_context(m_global) {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        standin::Reset();
        standin::EndpointConfig endpoint;
        endpoint.maxDynamicObjects = in_uGrant;
        endpoint.frameCount = in_uPassFrames;
        standin::SetDefaultEndpoint(endpoint);
        m_pParams = static_cast<SpatialMixerFXParams*>(CreateSpatialMixerFXParams(&m_allocator));
        m_pParams->InitParameters(&m_allocator, nullptr, 0);
        m_pMixer = SpatialMixerFX::Create(&m_allocator, s_activation);
        const ZvChannelLayout bus = ZvChannelLayout::FromMask(0x3);
        ZvAudioFormat format = {48000, bus};
        m_bInitialised =
            m_pMixer->InitPlugin(&m_allocator, &m_context, m_pParams, format) == ZV_Success &&
            m_pMixer->CurrentStreamState() == StreamRunning;
        m_mixSamples.assign(size_t{bus.uNumChannels} * in_uFrames, 0.0f);
        m_mixBuffer = ZvSampleBuffer{m_mixSamples.data(), bus, 0, in_uFrames, 0};

        const ZvChannelLayout voiceLayout =
            ZvChannelLayout::FromMask(in_uChannels == 1 ? 0x4u : 0x3u);
        for (uint32_t i = 0; i < in_uVoices; ++i) {
            m_voices.push_back(std::make_unique<Voice>(i, voiceLayout, in_uFrames));
            Voice& voice = *m_voices.back();
            voice.context.SetPosition(1.0f + static_cast<float>(i), 0.1f * static_cast<float>(i),
                                      0.0f);
            m_pMixer->ConnectInput(&voice.context);
        }
    }
    ~MixerRig() {
        for (const std::unique_ptr<Voice>& pVoice : m_voices) {
            m_pMixer->DisconnectInput(&pVoice->context);
        }
        m_pMixer->TermPlugin(&m_allocator);
        m_pParams->TermParameters(&m_allocator);
        standin::Reset();
        CoUninitialize();
    }
    MixerRig(const MixerRig&) = delete;
    MixerRig& operator=(const MixerRig&) = delete;

    bool Initialised() const { return m_bInitialised; }
    SpatialMixerFX& Mixer() { return *m_pMixer; }

    // One frame of the bus: every voice through MixInput, then the end of the mix.
    void RunFrame() {
        for (const std::unique_ptr<Voice>& pVoice : m_voices) {
            m_pMixer->MixInput(&pVoice->context, ZvVolumeRamp{1.0f, 1.0f}, ZvVolumeRamp{1.0f, 1.0f},
                               &pVoice->buffer, &m_mixBuffer);
        }
        m_pMixer->FinishMix(&m_mixBuffer);
        m_pMixer->PostEffects(&m_mixBuffer);
        m_pMixer->EndFrame(m_uFrameIndex++, nullptr);
    }

    // Bytes of all voices' samples of one frame.
    size_t InputBytes() const {
        size_t uBytes = 0;
        for (const std::unique_ptr<Voice>& pVoice : m_voices) {
            uBytes += pVoice->samples.size() * sizeof(float);
        }
        return uBytes;
    }

private:
    struct Voice {
        Voice(uint32_t in_uId, ZvChannelLayout in_layout, uint16_t in_uFrames)
            : context(in_uId), samples(size_t{in_layout.uNumChannels} * in_uFrames) {
            for (size_t i = 0; i < samples.size(); ++i) {
                samples[i] = 0.001f * static_cast<float>((i + in_uId) % 997);
            }
            buffer = ZvSampleBuffer{samples.data(), in_layout, 0, in_uFrames, in_uFrames};
        }
        host::HostMixerInputContext context;
        std::vector<float> samples;
        ZvSampleBuffer buffer;
    };

    static const DesktopStreamActivation s_activation;

    host::HostAllocator m_allocator;
    host::HostGlobalContext m_global;
    host::HostMixerContext m_context;
    SpatialMixerFXParams* m_pParams = nullptr;
    SpatialMixerFX* m_pMixer = nullptr;
    bool m_bInitialised = false;
    std::vector<float> m_mixSamples;
    ZvSampleBuffer m_mixBuffer = {};
    std::vector<std::unique_ptr<Voice>> m_voices;
    uint32_t m_uFrameIndex = 0;
};

inline const DesktopStreamActivation MixerRig::s_activation;

}  // namespace bench
