// Plays voices into a mixer plug-in frame by frame, as the host engine's bus does: every frame,
// each playing voice's buffer is filled by its source and handed to MixInput with its two volume
// ramps, in the order the voices were added (or the one set); then FinishMix, PostEffects and
// EndFrame close the frame.
// The bus's own buffer (the mix buffer) starts each frame silent and holds, after it, what the
// mixer mixed into the bed.
//
// A voice has its own input context (rays, attachment parameters: HostMixerInputContext), its
// channel layout and a source that fills its buffer for a frame; a test or a scene changes its
// rays and ramps between frames. Adding a voice connects it to the mixer, removing it disconnects
// it.
//
// Threads: one thread (the host's audio thread) runs the frames and changes the voices between
// them. Running a frame allocates nothing (the sources must not either).
#pragma once

#include <stdint.h>

#include <functional>
#include <memory>
#include <vector>

#include "HostMixerInputContext.h"
#include "ZvHostEngine.h"

namespace host {

class MixerBusDriver {
public:
    // Fills the voice's buffer (planar, uMaxFrames per channel, uValidFrames to fill) for the
    // frame with the given index (0 for the first frame the driver runs).
    typedef std::function<void(ZvSampleBuffer& io_buffer, uint64_t in_uFrameIndex)> Source;

    class Voice {
    public:
        Voice(uint32_t in_uInputId, ZvChannelLayout in_layout, uint16_t in_uFrames);
        Voice(const Voice&) = delete;
        Voice& operator=(const Voice&) = delete;

        HostMixerInputContext& Context() { return m_context; }
        ZvSampleBuffer& Buffer() { return m_buffer; }
        void SetSource(Source in_source) { m_source = std::move(in_source); }
        void SetBaseVolume(ZvVolumeRamp in_ramp) { m_baseVolume = in_ramp; }
        void SetEmitterListenerVolume(ZvVolumeRamp in_ramp) { m_emitterListenerVolume = in_ramp; }
        // A voice that does not play stays connected but is not handed to MixInput (as the
        // engine does with a voice that has stopped); every voice plays when added.
        void SetPlaying(bool in_bPlaying) { m_bPlaying = in_bPlaying; }
        bool IsPlaying() const { return m_bPlaying; }
        ZvVolumeRamp BaseVolume() const { return m_baseVolume; }
        ZvVolumeRamp EmitterListenerVolume() const { return m_emitterListenerVolume; }

        // Ready-made sources: every sample of channel c is in_values[c] (0 beyond them); a sine
        // of in_fFrequency hertz at in_uSampleRate with amplitude in_fAmplitude on every channel,
        // continuous from frame to frame.
        static Source Constant(std::vector<float> in_values);
        static Source Sine(float in_fFrequency, float in_fAmplitude, uint32_t in_uSampleRate);

    private:
        friend class MixerBusDriver;
        void Fill(uint64_t in_uFrameIndex);

        HostMixerInputContext m_context;
        std::vector<float> m_samples;
        ZvSampleBuffer m_buffer{};
        Source m_source;
        ZvVolumeRamp m_baseVolume{1.0f, 1.0f};
        ZvVolumeRamp m_emitterListenerVolume{1.0f, 1.0f};
        bool m_bPlaying = true;
    };

    // The mixer must be initialised with an output of in_outputLayout; frames are
    // in_uFramesPerBuffer long (the global context's GetFramesPerBuffer).
    MixerBusDriver(ZV::IMixerPlugin& io_mixer, ZvChannelLayout in_outputLayout,
                   uint16_t in_uFramesPerBuffer);
    ~MixerBusDriver();
    MixerBusDriver(const MixerBusDriver&) = delete;
    MixerBusDriver& operator=(const MixerBusDriver&) = delete;

    // Adds a voice (ConnectInput) that plays from the next frame on. Silent until given a source.
    Voice& AddVoice(ZvChannelLayout in_layout, uint32_t in_uInputId = 0);
    // Disconnects the voice (DisconnectInput) and forgets it.
    void RemoveVoice(Voice& io_voice);
    // Disconnects every voice.
    void RemoveAllVoices();
    size_t VoiceCount() const { return m_voices.size(); }
    Voice& VoiceAt(size_t in_uIndex) { return *m_voices.at(in_uIndex); }

    // The order in which the next frames hand the voices to MixInput, as indexes of VoiceAt
    // (each at most once; voices left out are not handed over); empty: the order of addition.
    void SetCallOrder(std::vector<size_t> in_order) { m_callOrder = std::move(in_order); }

    // EndFrame's second argument (null by default).
    void SetFrameEndHooks(ZV::IFrameEndHooks* in_pHooks) { m_pHooks = in_pHooks; }

    // Runs one frame and returns the bus's buffer after it.
    const ZvSampleBuffer& RunFrame();
    const ZvSampleBuffer& MixBuffer() const { return m_mixBuffer; }
    // Sample in_uFrame of channel in_uChannel of the bus's buffer.
    float MixSample(uint32_t in_uChannel, uint32_t in_uFrame) const;
    uint64_t FramesRun() const { return m_uFrameIndex; }

private:
    ZV::IMixerPlugin& m_rMixer;
    uint16_t m_uFrames;
    std::vector<float> m_mixSamples;
    ZvSampleBuffer m_mixBuffer{};
    std::vector<std::unique_ptr<Voice>> m_voices;
    std::vector<size_t> m_callOrder;
    ZV::IFrameEndHooks* m_pHooks = nullptr;
    uint64_t m_uFrameIndex = 0;
};

}  // namespace host
