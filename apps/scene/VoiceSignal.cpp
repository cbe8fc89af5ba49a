#include "VoiceSignal.h"

#include <cmath>

#include <sndfile.h>

namespace scene {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Reads in_path whole into one vector per channel of in_uChannels (extra file channels dropped, a
// mono file copied to both), resampled linearly to in_fRate.
bool ReadWav(const std::string& in_path, uint32_t in_uChannels, double in_fRate,
             std::vector<std::vector<float>>& out_channels, std::string& out_error) {
    SF_INFO info = {};
    SNDFILE* pFile = sf_open(in_path.c_str(), SFM_READ, &info);
    if (pFile == nullptr) {
        out_error = "cannot read " + in_path + ": " + sf_strerror(nullptr);
        return false;
    }
    std::vector<float> interleaved(static_cast<size_t>(info.frames) * info.channels);
    const sf_count_t uRead = sf_readf_float(pFile, interleaved.data(), info.frames);
    sf_close(pFile);
    if (info.channels < 1 || uRead <= 0) {
        out_error = in_path + " holds no samples";
        return false;
    }
    const double fStep = static_cast<double>(info.samplerate) / in_fRate;
    const size_t uOutFrames = static_cast<size_t>(static_cast<double>(uRead) / fStep);
    out_channels.assign(in_uChannels, std::vector<float>(uOutFrames));
    for (uint32_t uChannel = 0; uChannel < in_uChannels; ++uChannel) {
        const int iSource = std::min<int>(static_cast<int>(uChannel), info.channels - 1);
        for (size_t uFrame = 0; uFrame < uOutFrames; ++uFrame) {
            const double fPosition = static_cast<double>(uFrame) * fStep;
            const size_t uBase = static_cast<size_t>(fPosition);
            const double fFraction = fPosition - static_cast<double>(uBase);
            const size_t uNext = std::min<size_t>(uBase + 1, static_cast<size_t>(uRead) - 1);
            const float fA = interleaved[uBase * info.channels + iSource];
            const float fB = interleaved[uNext * info.channels + iSource];
            out_channels[uChannel][uFrame] = static_cast<float>(fA + (fB - fA) * fFraction);
        }
    }
    return true;
}

}  // namespace

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
    m_noise.seed(in_scene.uSeed * 7919u + in_uVoiceIndex);
    if (m_eKind == SignalKind::WavFile) {
        if (!ReadWav(in_voice.signal.wavPath, m_uChannels, m_fSampleRate, m_wav, out_error)) {
            return false;
        }
        m_uEndFrame = std::min<uint64_t>(m_uEndFrame, m_uStartFrame + m_wav[0].size());
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

double VoiceSignal::SampleAt(uint32_t in_uChannel, uint64_t in_uFrame) {
    const double fTime = static_cast<double>(in_uFrame) / m_fSampleRate;
    switch (m_eKind) {
        case SignalKind::Tone: {
            const double fFrequency =
                m_frequencies[std::min<size_t>(in_uChannel, m_frequencies.size() - 1)];
            return std::sin(kTwoPi * fFrequency * fTime);
        }
        case SignalKind::Noise: {
            std::uniform_real_distribution<double> uniform(-1.0, 1.0);
            return uniform(m_noise);
        }
        case SignalKind::Sweep: {
            // Exponential sweep: the phase is the integral of f0 * k^(t/T), restarting each period.
            const double fLocal = std::fmod(fTime, m_fSweepPeriod);
            const double fRatio = m_fSweepEnd / m_fSweepStart;
            double fPhase;
            if (std::fabs(fRatio - 1.0) < 1e-9) {
                fPhase = m_fSweepStart * fLocal;
            } else {
                const double fLogRatio = std::log(fRatio);
                fPhase = m_fSweepStart * m_fSweepPeriod / fLogRatio *
                         (std::exp(fLogRatio * fLocal / m_fSweepPeriod) - 1.0);
            }
            // The right channel of a stereo sweep runs a quarter turn behind, so the two differ.
            return std::sin(kTwoPi * (fPhase - 0.25 * in_uChannel));
        }
        case SignalKind::WavFile: {
            const uint64_t uOffset = in_uFrame - m_uStartFrame;
            const std::vector<float>& channel = m_wav[in_uChannel];
            return uOffset < channel.size() ? channel[uOffset] : 0.0;
        }
    }
    return 0.0;
}

void VoiceSignal::Render(uint64_t in_uFirstFrame, uint32_t in_uFrames,
                         float* const* out_ppChannels) {
    for (uint32_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
        const uint64_t uSceneFrame = in_uFirstFrame + uFrame;
        const float fEnvelope = Envelope(uSceneFrame);
        for (uint32_t uChannel = 0; uChannel < m_uChannels; ++uChannel) {
            // Noise is drawn for every frame, sounding or not, so that it does not depend on
            // where a voice starts.
            const double fSample = fEnvelope > 0.0f || m_eKind == SignalKind::Noise
                                       ? SampleAt(uChannel, uSceneFrame)
                                       : 0.0;
            out_ppChannels[uChannel][uFrame] = static_cast<float>(fSample) * fEnvelope;
        }
    }
}

}  // namespace scene
