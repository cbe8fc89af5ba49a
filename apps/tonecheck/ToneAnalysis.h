// Holds a multichannel recording against the tones that were played into it: each tone must
// arrive, in order, on its channel, at its frequency and level, without dropouts, while every
// other channel stays silent.
//
// The recording is found tone by tone: a tone's onset is the first 5 ms block after the previous
// tone's end where any channel rises above the activity threshold; what is measured is the window
// from 50 ms after the onset (a new stream's start-up gap lies before) to 25 ms before the tone's
// end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tonecheck {

struct ExpectedTone {
    uint32_t uChannel;
    double fFrequency;  // Hz
    double fAmplitude;  // peak, linear
    uint32_t uStartMs;  // from the start of the played schedule
    uint32_t uDurationMs;
};

struct MeasuredTone {
    bool bFound = false;
    uint32_t uChannel = 0;          // the loudest channel
    double fFrequency = 0.0;        // Hz, from the zero crossings of the window
    double fLevelDb = -200.0;       // peak level of the window, dBFS (from its RMS)
    double fOtherLevelDb = -200.0;  // loudest other channel over the window, dBFS
    uint32_t uDropouts = 0;         // 5 ms blocks of the window below half the tone's RMS
    double fOnsetMs = 0.0;          // in the recording
    double fTimingErrorMs = 0.0;    // onset against the first tone's, compared with the schedule
    bool bPassed = false;
    // Failed only by dropouts or timing: on its channel, with the other channels silent, and
    // (without dropouts) at its frequency and level; or failed in any way after an earlier tone's
    // dropout, which leaves the rest of the recording out of place.
    bool bGlitchOnly = false;
    std::string failure;  // why it did not pass
};

struct Tolerances {
    double fFrequencyHz = 2.0;
    double fLevelDb = 1.0;
    double fSilenceDb = -60.0;  // another channel louder than this is a leak
    double fTimingMs = 100.0;
};

// in_samples: interleaved 32-bit float frames of in_uChannels channels at in_uSampleRate.
std::vector<MeasuredTone> AnalyseRecording(const std::vector<float>& in_samples,
                                           uint32_t in_uChannels, uint32_t in_uSampleRate,
                                           const std::vector<ExpectedTone>& in_expected,
                                           const Tolerances& in_tolerances = Tolerances());

// Parses the lines "channel frequency amplitude start_ms duration_ms"; false on a malformed line.
bool ParseExpectations(const std::string& in_text, std::vector<ExpectedTone>& out_rTones);

}  // namespace tonecheck
