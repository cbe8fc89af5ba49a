#include "ToneAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace tonecheck {
namespace {

constexpr double kBlockMs = 5.0;
constexpr double kSkipMs = 50.0;
constexpr double kTailMs = 25.0;
constexpr double kActiveRms = 0.02;  // about -34 dBFS

double ToDb(double in_fAmplitude) {
    return in_fAmplitude > 1e-10 ? 20.0 * std::log10(in_fAmplitude) : -200.0;
}

class Recording {
public:
    Recording(const std::vector<float>& in_samples, uint32_t in_uChannels, uint32_t in_uRate)
        : m_samples(in_samples),
          m_uChannels(in_uChannels),
          m_uRate(in_uRate),
          m_uFrames(in_uChannels == 0 ? 0 : in_samples.size() / in_uChannels) {}

    size_t Frames() const { return m_uFrames; }
    size_t MsToFrames(double in_fMs) const {
        return static_cast<size_t>(in_fMs * m_uRate / 1000.0);
    }
    double FramesToMs(size_t in_uFrames) const { return 1000.0 * in_uFrames / m_uRate; }
    float At(size_t in_uFrame, uint32_t in_uChannel) const {
        return m_samples[in_uFrame * m_uChannels + in_uChannel];
    }
    uint32_t Channels() const { return m_uChannels; }

    double Rms(uint32_t in_uChannel, size_t in_uBegin, size_t in_uEnd) const {
        double fSum = 0.0;
        for (size_t uFrame = in_uBegin; uFrame < in_uEnd; ++uFrame) {
            fSum += double{At(uFrame, in_uChannel)} * At(uFrame, in_uChannel);
        }
        return in_uEnd > in_uBegin ? std::sqrt(fSum / (in_uEnd - in_uBegin)) : 0.0;
    }

    // The first frame of the first block at or after in_uFrom in which a channel is active.
    bool FindOnset(size_t in_uFrom, size_t& out_rOnset) const {
        const size_t uBlock = MsToFrames(kBlockMs);
        for (size_t uBegin = in_uFrom; uBegin + uBlock <= m_uFrames; uBegin += uBlock) {
            for (uint32_t uChannel = 0; uChannel < m_uChannels; ++uChannel) {
                if (Rms(uChannel, uBegin, uBegin + uBlock) > kActiveRms) {
                    out_rOnset = uBegin;
                    return true;
                }
            }
        }
        return false;
    }

    // Frequency from the rising zero crossings, interpolated between samples.
    double Frequency(uint32_t in_uChannel, size_t in_uBegin, size_t in_uEnd) const {
        double fFirst = -1.0;
        double fLast = -1.0;
        size_t uCrossings = 0;
        for (size_t uFrame = in_uBegin + 1; uFrame < in_uEnd; ++uFrame) {
            const double fA = At(uFrame - 1, in_uChannel);
            const double fB = At(uFrame, in_uChannel);
            if (fA < 0.0 && fB >= 0.0) {
                const double fAt = static_cast<double>(uFrame - 1) + (-fA) / (fB - fA);
                if (fFirst < 0.0) {
                    fFirst = fAt;
                }
                fLast = fAt;
                ++uCrossings;
            }
        }
        if (uCrossings < 2 || fLast <= fFirst) {
            return 0.0;
        }
        return static_cast<double>(uCrossings - 1) * m_uRate / (fLast - fFirst);
    }

private:
    const std::vector<float>& m_samples;
    uint32_t m_uChannels;
    uint32_t m_uRate;
    size_t m_uFrames;
};

}  // namespace

std::vector<MeasuredTone> AnalyseRecording(const std::vector<float>& in_samples,
                                           uint32_t in_uChannels, uint32_t in_uSampleRate,
                                           const std::vector<ExpectedTone>& in_expected,
                                           const Tolerances& in_tolerances) {
    const Recording recording(in_samples, in_uChannels, in_uSampleRate);
    std::vector<MeasuredTone> measured(in_expected.size());
    size_t uCursor = 0;
    double fFirstOnsetMs = -1.0;
    const size_t uBlock = recording.MsToFrames(kBlockMs);
    // Once a tone has had a dropout, the output paused for an unknown time: the tones after it
    // can no longer be placed in the recording (the tail of the paused tone may be taken for the
    // next one), so their faults count as glitches of the real-time path too.
    bool bPausedBefore = false;
    for (size_t uTone = 0; uTone < in_expected.size(); ++uTone) {
        const ExpectedTone& expected = in_expected[uTone];
        MeasuredTone& result = measured[uTone];
        size_t uOnset = 0;
        if (!recording.FindOnset(uCursor, uOnset)) {
            result.failure = "not found";
            result.bGlitchOnly = bPausedBefore;
            continue;
        }
        const size_t uBegin = uOnset + recording.MsToFrames(kSkipMs);
        const size_t uEnd = uOnset + recording.MsToFrames(expected.uDurationMs - kTailMs);
        if (uEnd > recording.Frames() || uEnd <= uBegin + uBlock) {
            result.failure = "recording ends within the tone";
            result.bGlitchOnly = bPausedBefore;
            continue;
        }
        result.bFound = true;
        result.fOnsetMs = recording.FramesToMs(uOnset);
        if (fFirstOnsetMs < 0.0) {
            fFirstOnsetMs = result.fOnsetMs - expected.uStartMs;
        }
        result.fTimingErrorMs = result.fOnsetMs - fFirstOnsetMs - expected.uStartMs;

        double fLoudest = -1.0;
        for (uint32_t uChannel = 0; uChannel < recording.Channels(); ++uChannel) {
            const double fRms = recording.Rms(uChannel, uBegin, uEnd);
            if (fRms > fLoudest) {
                fLoudest = fRms;
                result.uChannel = uChannel;
            }
        }
        for (uint32_t uChannel = 0; uChannel < recording.Channels(); ++uChannel) {
            if (uChannel != result.uChannel) {
                result.fOtherLevelDb =
                    std::max(result.fOtherLevelDb,
                             ToDb(std::sqrt(2.0) * recording.Rms(uChannel, uBegin, uEnd)));
            }
        }
        result.fLevelDb = ToDb(std::sqrt(2.0) * fLoudest);
        result.fFrequency = recording.Frequency(result.uChannel, uBegin, uEnd);
        const double fHalfRms = 0.5 * expected.fAmplitude / std::sqrt(2.0);
        for (size_t uFrom = uBegin; uFrom + uBlock <= uEnd; uFrom += uBlock) {
            if (recording.Rms(result.uChannel, uFrom, uFrom + uBlock) < fHalfRms) {
                ++result.uDropouts;
            }
        }
        // The next tone starts after this one has ended (later than scheduled when the output
        // paused within it).
        uCursor = uEnd;
        while (uCursor + uBlock <= recording.Frames() &&
               recording.Rms(result.uChannel, uCursor, uCursor + uBlock) > kActiveRms) {
            uCursor += uBlock;
        }

        const double fExpectedDb = ToDb(expected.fAmplitude);
        char szWhy[160] = "";
        if (result.uChannel != expected.uChannel) {
            std::snprintf(szWhy, sizeof(szWhy), "on channel %u, expected %u", result.uChannel,
                          expected.uChannel);
        } else if (result.uDropouts != 0) {
            // A dropout also bends the frequency and the level measured: it is named first.
            std::snprintf(szWhy, sizeof(szWhy), "%u dropouts", result.uDropouts);
        } else if (std::fabs(result.fFrequency - expected.fFrequency) >
                   in_tolerances.fFrequencyHz) {
            std::snprintf(szWhy, sizeof(szWhy), "at %.1f Hz, expected %.1f", result.fFrequency,
                          expected.fFrequency);
        } else if (std::fabs(result.fLevelDb - fExpectedDb) > in_tolerances.fLevelDb) {
            std::snprintf(szWhy, sizeof(szWhy), "at %.2f dBFS, expected %.2f", result.fLevelDb,
                          fExpectedDb);
        } else if (result.fOtherLevelDb > in_tolerances.fSilenceDb) {
            std::snprintf(szWhy, sizeof(szWhy), "another channel at %.1f dBFS",
                          result.fOtherLevelDb);
        } else if (std::fabs(result.fTimingErrorMs) > in_tolerances.fTimingMs) {
            std::snprintf(szWhy, sizeof(szWhy), "%.0f ms off the schedule", result.fTimingErrorMs);
        }
        result.failure = szWhy;
        result.bPassed = result.failure.empty();
        // A dropout bends the frequency and the level measured, so those are not held against it.
        result.bGlitchOnly =
            !result.bPassed &&
            (bPausedBefore ||
             (result.uChannel == expected.uChannel &&
              result.fOtherLevelDb <= in_tolerances.fSilenceDb &&
              (result.uDropouts != 0 ||
               (std::fabs(result.fFrequency - expected.fFrequency) <= in_tolerances.fFrequencyHz &&
                std::fabs(result.fLevelDb - fExpectedDb) <= in_tolerances.fLevelDb))));
        bPausedBefore = bPausedBefore || result.uDropouts != 0;
    }
    return measured;
}

bool ParseExpectations(const std::string& in_text, std::vector<ExpectedTone>& out_rTones) {
    out_rTones.clear();
    std::istringstream lines(in_text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        std::istringstream fields(line);
        ExpectedTone tone = {};
        if (!(fields >> tone.uChannel >> tone.fFrequency >> tone.fAmplitude >> tone.uStartMs >>
              tone.uDurationMs)) {
            return false;
        }
        out_rTones.push_back(tone);
    }
    return true;
}

}  // namespace tonecheck
