#include "ToneSchedule.h"

#include <cmath>

namespace spatialhost {

uint64_t ToneSchedule::TotalFrames() const {
    return m_uLeadInFrames + static_cast<uint64_t>(m_tones.size()) * (m_uToneFrames + m_uGapFrames);
}

float ToneSchedule::Sample(uint32_t in_uSource, uint64_t in_uFrame) const {
    if (in_uFrame < m_uLeadInFrames || m_tones.empty() || m_uToneFrames == 0) {
        return 0.0f;
    }
    const uint64_t uPeriod = uint64_t{m_uToneFrames} + m_uGapFrames;
    const uint64_t uIndex = (in_uFrame - m_uLeadInFrames) / uPeriod;
    const uint64_t uOffset = (in_uFrame - m_uLeadInFrames) % uPeriod;
    if (uIndex >= m_tones.size() || uOffset >= m_uToneFrames) {
        return 0.0f;
    }
    const Tone& tone = m_tones[uIndex];
    if (tone.uSource != in_uSource) {
        return 0.0f;
    }
    const double kTwoPi = 6.283185307179586;
    return static_cast<float>(
        tone.fAmplitude *
        std::sin(kTwoPi * tone.fFrequency * static_cast<double>(uOffset) / kSampleRate));
}

void ToneSchedule::WriteExpectations(std::FILE* out_pFile) const {
    const uint64_t uPeriod = uint64_t{m_uToneFrames} + m_uGapFrames;
    for (size_t uIndex = 0; uIndex < m_tones.size(); ++uIndex) {
        const Tone& tone = m_tones[uIndex];
        const uint64_t uStart = m_uLeadInFrames + uIndex * uPeriod;
        std::fprintf(out_pFile, "%u %.1f %.4f %llu %u\n", tone.uChannel, tone.fFrequency,
                     tone.fAmplitude, static_cast<unsigned long long>(uStart * 1000 / kSampleRate),
                     static_cast<unsigned>(uint64_t{m_uToneFrames} * 1000 / kSampleRate));
    }
}

}  // namespace spatialhost
