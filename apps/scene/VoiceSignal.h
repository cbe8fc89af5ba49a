// The samples of one voice: its signal (tone, noise, sweep or WAV file) at its gain of 1, between
// its start and end with 5 ms fades so that voices that come and go do not click.
//
// Every sample is a function of the voice and the scene frame alone (noise too: a counter-based
// generator), so a voice sounds the same wherever a block starts. Tones and sweeps take their
// sine from a polynomial (SineOfCycles), some twenty times cheaper than std::sin and within
// 1e-11 of it: with a dozen voices, std::sin cost more than all three plug-ins together.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SceneDescription.h"
#include "WavSource.h"

namespace scene {

// sin(2 pi in_fCycles), for any finite in_fCycles whose integer part fits 63 bits.
double SineOfCycles(double in_fCycles);

class VoiceSignal {
public:
    // Prepares in_voice of in_scene; a WAV source is opened here (and read as it plays). False,
    // with out_error, when the file cannot be read.
    bool Prepare(const SceneSpec& in_scene, const VoiceSpec& in_voice, uint32_t in_uVoiceIndex,
                 std::string& out_error);

    // Writes in_uFrames samples of every channel from scene frame in_uFirstFrame on: channel c
    // at out_ppChannels[c].
    void Render(uint64_t in_uFirstFrame, uint32_t in_uFrames, float* const* out_ppChannels);

    // Whether the voice sounds anywhere in [in_uFirstFrame, in_uFirstFrame + in_uFrames).
    bool IsActive(uint64_t in_uFirstFrame, uint32_t in_uFrames) const;

    uint32_t Channels() const { return m_uChannels; }
    // The WAV file the voice plays, or null.
    const WavSource* Wav() const { return m_pWav.get(); }

private:
    float Envelope(uint64_t in_uFrame) const;
    double ToneCyclesPerFrame(uint32_t in_uChannel) const;
    void RenderSweep(uint64_t in_uFirstFrame, uint32_t in_uFrames,
                     float* const* out_ppChannels) const;

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
    uint64_t m_uNoiseSeed = 0;
    std::unique_ptr<WavSource> m_pWav;
};

}  // namespace scene
