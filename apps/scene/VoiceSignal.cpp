#include "VoiceSignal.h"

#include <algorithm>
#include <cmath>

#include "ZvVectorClones.h"

namespace scene {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// One uniform value in [-1, 1) per (seed, frame, channel): a SplitMix64 step of their mix, whose
// top 24 bits make a float exactly.
double NoiseAt(uint64_t in_uSeed, uint64_t in_uFrame, uint32_t in_uChannel) {
    uint64_t uValue = in_uSeed + (in_uFrame * 2 + in_uChannel + 1) * 0x9E3779B97F4A7C15ull;
    uValue = (uValue ^ (uValue >> 30)) * 0xBF58476D1CE4E5B9ull;
    uValue = (uValue ^ (uValue >> 27)) * 0x94D049BB133111EBull;
    uValue ^= uValue >> 31;
    return static_cast<double>(uValue >> 40) * (2.0 / 16777216.0) - 1.0;
}

inline double Sine(double in_fCycles) {
    // Rounded to the nearest whole turn by the 1.5 * 2^52 trick (exact below 2^51 turns; no
    // branch and no libm call, so the loops that call this vectorise), then folded to a quarter
    // turn: sin(2 pi t) = sign(t) sin(2 pi min(|t|, 1/2 - |t|)) for t in [-1/2, 1/2].
    constexpr double kRoundingShift = 6755399441055744.0;
    const double fTurn = in_fCycles - ((in_fCycles + kRoundingShift) - kRoundingShift);
    const double fMagnitude = std::fabs(fTurn);
    const double fQuarter = std::min(fMagnitude, 0.5 - fMagnitude);
    // The Taylor series to x^15: below 7e-12 from sin for 0 <= x <= pi / 2.
    const double fX = kTwoPi * fQuarter;
    const double fX2 = fX * fX;
    double fSum = -1.0 / 1307674368000.0;
    fSum = fSum * fX2 + 1.0 / 6227020800.0;
    fSum = fSum * fX2 - 1.0 / 39916800.0;
    fSum = fSum * fX2 + 1.0 / 362880.0;
    fSum = fSum * fX2 - 1.0 / 5040.0;
    fSum = fSum * fX2 + 1.0 / 120.0;
    fSum = fSum * fX2 - 1.0 / 6.0;
    return std::copysign(fX + fX * fX2 * fSum, fTurn);
}

// The tone's and the noise's loops, built for the processor's widest vectors too and chosen when
// the program loads (AVX-512 does the noise's 64-bit multiplies eight at a time); see
// ZvVectorClones.h.
ZV_VECTOR_CLONES void RenderTone(float* out_pSamples, double in_fFirst, double in_fCyclesPerFrame,
                                 int32_t in_iFrames) {
    for (int32_t iFrame = 0; iFrame < in_iFrames; ++iFrame) {
        out_pSamples[iFrame] =
            static_cast<float>(Sine(in_fFirst + in_fCyclesPerFrame * static_cast<double>(iFrame)));
    }
}

// Sines of a block's phases (in turns, less in_fLag each): the sweep's phases follow a recurrence
// frame by frame, its sines do not.
ZV_VECTOR_CLONES void RenderSines(float* out_pSamples, const double* in_pCycles, double in_fLag,
                                  int32_t in_iFrames) {
    for (int32_t iFrame = 0; iFrame < in_iFrames; ++iFrame) {
        out_pSamples[iFrame] = static_cast<float>(Sine(in_pCycles[iFrame] - in_fLag));
    }
}

ZV_VECTOR_CLONES void RenderNoise(float* out_pSamples, uint64_t in_uSeed, uint64_t in_uFirstFrame,
                                  uint32_t in_uFrames, uint32_t in_uChannel) {
    for (uint32_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
        out_pSamples[uFrame] =
            static_cast<float>(NoiseAt(in_uSeed, in_uFirstFrame + uFrame, in_uChannel));
    }
}

}  // namespace

double SineOfCycles(double in_fCycles) {
    return Sine(in_fCycles);
}

bool VoiceSignal::Prepare(const SceneSpec& in_scene, const VoiceSpec& in_voice,
                          uint32_t in_uVoiceIndex, std::string& out_error) {
    m_eKind = in_voice.signal.eKind;
    m_uChannels = in_voice.uChannels;
    m_fSampleRate = in_scene.uSampleRate;
    m_uStartFrame = static_cast<uint64_t>(std::llround(in_voice.fStart * m_fSampleRate));
    m_uEndFrame = static_cast<uint64_t>(std::llround(VoiceEnd(in_scene, in_voice) * m_fSampleRate));
    m_uFadeFrames = std::max<uint32_t>(1, in_scene.uSampleRate / 200);
    m_frequencies = in_voice.signal.frequencies;
    if (m_frequencies.empty()) {
        m_frequencies.push_back(440.0);
    }
    m_fSweepStart = in_voice.signal.fStartHz;
    m_fSweepEnd = in_voice.signal.fEndHz;
    m_fSweepPeriod = in_voice.signal.fPeriodSeconds;
    m_uNoiseSeed = (static_cast<uint64_t>(in_scene.uSeed) << 32) ^ (in_uVoiceIndex * 7919ull);
    if (m_eKind == SignalKind::WavFile) {
        m_pWav = std::make_unique<WavSource>();
        if (!m_pWav->Open(in_voice.signal.wavPath, m_uChannels, in_scene.uSampleRate, out_error)) {
            return false;
        }
        m_uEndFrame = std::min<uint64_t>(m_uEndFrame, m_uStartFrame + m_pWav->Frames());
    }
    return true;
}

bool VoiceSignal::IsActive(uint64_t in_uFirstFrame, uint32_t in_uFrames) const {
    return in_uFirstFrame < m_uEndFrame && in_uFirstFrame + in_uFrames > m_uStartFrame;
}

float VoiceSignal::Envelope(uint64_t in_uFrame) const {
    if (in_uFrame < m_uStartFrame || in_uFrame >= m_uEndFrame) {
        return 0.0f;
    }
    const uint64_t uSinceStart = in_uFrame - m_uStartFrame;
    const uint64_t uToEnd = m_uEndFrame - 1 - in_uFrame;
    const uint64_t uEdge = std::min(uSinceStart, uToEnd);
    if (uEdge >= m_uFadeFrames) {
        return 1.0f;
    }
    return static_cast<float>(uEdge) / static_cast<float>(m_uFadeFrames);
}

double VoiceSignal::ToneCyclesPerFrame(uint32_t in_uChannel) const {
    return m_frequencies[std::min<size_t>(in_uChannel, m_frequencies.size() - 1)] / m_fSampleRate;
}

void VoiceSignal::RenderSweep(uint64_t in_uFirstFrame, uint32_t in_uFrames,
                              float* const* out_ppChannels) const {
    // Exponential sweep: the phase is the integral of f0 * k^(t/T), restarting each period,
    // f0 T / ln k (k^(t/T) - 1). k^(t/T) is taken exactly at the block's start and at each
    // restart, and grows by one frame's factor between.
    const double fFrame = 1.0 / m_fSampleRate;
    const double fLogRatio = std::log(m_fSweepEnd / m_fSweepStart);
    const bool bFlat = std::fabs(fLogRatio) < 1e-9;
    const double fScale = bFlat ? 0.0 : m_fSweepStart * m_fSweepPeriod / fLogRatio;
    const double fFrameGrowth = std::exp(fLogRatio * fFrame / m_fSweepPeriod);
    double fLocal = std::fmod(static_cast<double>(in_uFirstFrame) * fFrame, m_fSweepPeriod);
    double fGrowth = std::exp(fLogRatio * fLocal / m_fSweepPeriod);
    // The phases of a stretch of frames first (on the stack: this runs on the audio thread), then
    // their sines per channel in vectors.
    constexpr uint32_t kStretch = 256;
    double aPhases[kStretch];
    for (uint32_t uDone = 0; uDone < in_uFrames; uDone += kStretch) {
        const uint32_t uFrames = std::min(kStretch, in_uFrames - uDone);
        for (uint32_t uFrame = 0; uFrame < uFrames; ++uFrame) {
            aPhases[uFrame] = bFlat ? m_fSweepStart * fLocal : fScale * (fGrowth - 1.0);
            fLocal += fFrame;
            fGrowth *= fFrameGrowth;
            if (fLocal >= m_fSweepPeriod) {
                fLocal -= m_fSweepPeriod;
                fGrowth = std::exp(fLogRatio * fLocal / m_fSweepPeriod);
            }
        }
        // The right channel of a stereo sweep runs a quarter turn behind, so the two differ.
        for (uint32_t uChannel = 0; uChannel < m_uChannels; ++uChannel) {
            RenderSines(out_ppChannels[uChannel] + uDone, aPhases, 0.25 * uChannel,
                        static_cast<int32_t>(uFrames));
        }
    }
}

void VoiceSignal::Render(uint64_t in_uFirstFrame, uint32_t in_uFrames,
                         float* const* out_ppChannels) {
    // One loop per kind without a switch inside, so that the tone's and the noise's vectorise.
    if (m_eKind == SignalKind::Sweep) {
        RenderSweep(in_uFirstFrame, in_uFrames, out_ppChannels);
    } else if (m_eKind == SignalKind::WavFile) {
        // Before the voice's start: silence, and the file is not read.
        const uint64_t uLead = in_uFirstFrame < m_uStartFrame
                                   ? std::min<uint64_t>(m_uStartFrame - in_uFirstFrame, in_uFrames)
                                   : 0;
        for (uint32_t uChannel = 0; uChannel < m_uChannels; ++uChannel) {
            std::fill(out_ppChannels[uChannel], out_ppChannels[uChannel] + uLead, 0.0f);
        }
        if (uLead < in_uFrames) {
            float* apFrom[2] = {out_ppChannels[0] + uLead,
                                m_uChannels > 1 ? out_ppChannels[1] + uLead : nullptr};
            m_pWav->Read(in_uFirstFrame + uLead - m_uStartFrame,
                         static_cast<uint32_t>(in_uFrames - uLead), apFrom);
        }
    }
    for (uint32_t uChannel = 0; uChannel < m_uChannels; ++uChannel) {
        float* pOut = out_ppChannels[uChannel];
        if (m_eKind == SignalKind::Tone) {
            // The block's first phase without its whole turns, then frame offsets as 32-bit
            // integers: both keep the loop in vector registers.
            const double fCyclesPerFrame = ToneCyclesPerFrame(uChannel);
            double fFirst = fCyclesPerFrame * static_cast<double>(in_uFirstFrame);
            fFirst -= std::floor(fFirst);
            RenderTone(pOut, fFirst, fCyclesPerFrame, static_cast<int32_t>(in_uFrames));
        } else if (m_eKind == SignalKind::Noise) {
            RenderNoise(pOut, m_uNoiseSeed, in_uFirstFrame, in_uFrames, uChannel);
        }
        // The envelope: silence outside the voice's span, fades at its edges.
        const uint64_t uEnd = in_uFirstFrame + in_uFrames;
        if (in_uFirstFrame >= m_uStartFrame + m_uFadeFrames &&
            uEnd + m_uFadeFrames <= m_uEndFrame) {
            continue;  // all of the block at full level
        }
        for (uint32_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
            pOut[uFrame] *= Envelope(in_uFirstFrame + uFrame);
        }
    }
}

}  // namespace scene
