// The samples of one voice: its signal (tone, noise, sweep or WAV file) at its gain of 1, between
// its start and end with 5 ms fades so that voices that come and go do not click.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "SceneDescription.h"

namespace scene {

class VoiceSignal {
public:
    // Prepares in_voice of in_scene; a WAV source is read here. False, with out_error, when the
    // file cannot be read.
    bool Prepare(const SceneSpec& in_scene, const VoiceSpec& in_voice, uint32_t in_uVoiceIndex,
                 std::string& out_error);

    // Writes in_uFrames samples of every channel from scene frame in_uFirstFrame on: channel c
    // at out_ppChannels[c]. Frames must be asked for in order (noise and sweeps keep state).
    void Render(uint64_t in_uFirstFrame, uint32_t in_uFrames, float* const* out_ppChannels);

    // Whether the voice sounds anywhere in [in_uFirstFrame, in_uFirstFrame + in_uFrames).
    bool IsActive(uint64_t in_uFirstFrame, uint32_t in_uFrames) const;

    uint32_t Channels() const { return m_uChannels; }

private:
    float Envelope(uint64_t in_uFrame) const;
    double SampleAt(uint32_t in_uChannel, uint64_t in_uFrame);

    SignalKind m_eKind = SignalKind::Tone;
    uint32_t m_uChannels = 1;
    double m_fSampleRate = 48000.0;
    uint64_t m_uStartFrame = 0;
    uint64_t m_uEndFrame = 0;
    uint32_t m_uFadeFrames = 240;
    std::vector<double> m_frequencies;
    double m_fSweepStart = 100.0;
    double m_fSweepEnd = 4000.0;
    double m_fSweepPeriod = 2.0;
    std::mt19937 m_noise;
    std::vector<std::vector<float>> m_wav;  // per channel, at the scene's rate
};

}  // namespace scene
