// tonecheck decides whether the Wine run passes: it must pass a faithful recording of what the
// host played, and fail each way a recording can go wrong (wrong channel, frequency or level, a
// leak into another channel, a dropout, a missing tone).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "ToneAnalysis.h"
#include "ToneSchedule.h"

namespace {

constexpr uint32_t kChannels = 12;
constexpr uint32_t kRate = spatialhost::kSampleRate;

// Three tones as the host schedules them: 400 ms lead-in, 300 ms tones, 200 ms gaps.
spatialhost::ToneSchedule MakeSchedule() {
    spatialhost::ToneSchedule schedule(kRate * 4 / 10, kRate * 3 / 10, kRate * 2 / 10);
    schedule.Add(spatialhost::Tone{0, 0, 250.0f, 0.25f});
    schedule.Add(spatialhost::Tone{1, 6, 375.0f, 0.25f});
    schedule.Add(spatialhost::Tone{2, 11, 500.0f, 0.25f});
    return schedule;
}

// What the host writes for the checker, read back the way tonecheck reads it.
std::vector<tonecheck::ExpectedTone> Expectations(const spatialhost::ToneSchedule& in_schedule) {
    std::FILE* pFile = std::tmpfile();
    in_schedule.WriteExpectations(pFile);
    std::rewind(pFile);
    std::string text;
    for (int c = std::fgetc(pFile); c != EOF; c = std::fgetc(pFile)) {
        text.push_back(static_cast<char>(c));
    }
    std::fclose(pFile);
    std::vector<tonecheck::ExpectedTone> tones;
    EXPECT_TRUE(tonecheck::ParseExpectations(text, tones));
    return tones;
}

// A faithful recording: the schedule's sources on their channels, preceded by in_uDelayFrames of
// silence (the output's latency).
std::vector<float> Record(const spatialhost::ToneSchedule& in_schedule, uint32_t in_uDelayFrames) {
    const uint64_t uFrames = in_uDelayFrames + in_schedule.TotalFrames() + kRate / 10;
    std::vector<float> samples(uFrames * kChannels, 0.0f);
    for (uint64_t uFrame = 0; uFrame < in_schedule.TotalFrames(); ++uFrame) {
        for (const spatialhost::Tone& tone : in_schedule.Tones()) {
            samples[(in_uDelayFrames + uFrame) * kChannels + tone.uChannel] +=
                in_schedule.Sample(tone.uSource, uFrame);
        }
    }
    return samples;
}

std::vector<tonecheck::MeasuredTone> Analyse(const std::vector<float>& in_samples) {
    return tonecheck::AnalyseRecording(in_samples, kChannels, kRate, Expectations(MakeSchedule()));
}

// The frames of tone in_uTone in a recording made with in_uDelayFrames.
size_t ToneStart(uint32_t in_uTone, uint32_t in_uDelayFrames) {
    return in_uDelayFrames + kRate * 4 / 10 + in_uTone * (kRate / 2);
}

TEST(ToneCheckTest, AFaithfulRecordingPassesWithTheScheduleMeasured) {
    const spatialhost::ToneSchedule schedule = MakeSchedule();
    const std::vector<tonecheck::MeasuredTone> measured = Analyse(Record(schedule, 12345));
    ASSERT_EQ(3u, measured.size());
    for (size_t uTone = 0; uTone < measured.size(); ++uTone) {
        SCOPED_TRACE(uTone);
        const spatialhost::Tone& tone = schedule.Tones()[uTone];
        EXPECT_TRUE(measured[uTone].bPassed) << measured[uTone].failure;
        EXPECT_EQ(tone.uChannel, measured[uTone].uChannel);
        EXPECT_NEAR(tone.fFrequency, measured[uTone].fFrequency, 0.2);
        EXPECT_NEAR(20.0 * std::log10(tone.fAmplitude), measured[uTone].fLevelDb, 0.1);
        EXPECT_EQ(0u, measured[uTone].uDropouts);
        EXPECT_NEAR(0.0, measured[uTone].fTimingErrorMs, 5.0);
        EXPECT_LT(measured[uTone].fOtherLevelDb, -150.0);
    }
}

// Each new stream of Wine's renderer plays its first 10 ms and then pauses for 20 to 30 ms; the
// checker measures past that.
TEST(ToneCheckTest, AStreamStartGapBeforeTheMeasuredWindowPasses) {
    std::vector<float> samples = Record(MakeSchedule(), 0);
    const size_t uGapBegin = ToneStart(0, 0) + kRate / 100;
    std::vector<float> shifted(samples.begin(), samples.begin() + uGapBegin * kChannels);
    shifted.resize(shifted.size() + (kRate * 25 / 1000) * kChannels, 0.0f);
    shifted.insert(shifted.end(), samples.begin() + uGapBegin * kChannels, samples.end());
    for (const tonecheck::MeasuredTone& tone : Analyse(shifted)) {
        EXPECT_TRUE(tone.bPassed) << tone.failure;
    }
}

TEST(ToneCheckTest, EachFaultFailsItsToneAndNoOther) {
    struct Fault {
        const char* pszName;
        const char* pszFailure;  // a word the reason must hold
        bool bGlitch;            // a fault of the real-time path that may be run again
        void (*pfnApply)(std::vector<float>&);
    };
    const Fault faults[] = {
        {"on the wrong channel", "channel", false,
         [](std::vector<float>& io) {
             for (size_t f = ToneStart(1, 0); f < ToneStart(1, 0) + kRate * 3 / 10; ++f) {
                 io[f * kChannels + 4] = io[f * kChannels + 6];
                 io[f * kChannels + 6] = 0.0f;
             }
         }},
        {"2 dB low", "dBFS", false,
         [](std::vector<float>& io) {
             for (size_t f = ToneStart(1, 0); f < ToneStart(1, 0) + kRate * 3 / 10; ++f) {
                 io[f * kChannels + 6] *= 0.794f;
             }
         }},
        {"at another frequency", "Hz", false,
         [](std::vector<float>& io) {
             for (size_t f = 0; f < kRate * 3 / 10; ++f) {
                 io[(ToneStart(1, 0) + f) * kChannels + 6] =
                     0.25f * static_cast<float>(std::sin(6.283185307 * 380.0 * f / kRate));
             }
         }},
        {"leaking into a silent channel at -50 dB", "another channel", false,
         [](std::vector<float>& io) {
             for (size_t f = ToneStart(1, 0); f < ToneStart(1, 0) + kRate * 3 / 10; ++f) {
                 io[f * kChannels + 3] = 0.00316f * io[f * kChannels + 6] / 0.25f;
             }
         }},
        {"with a 10 ms dropout", "dropout", true,
         [](std::vector<float>& io) {
             const size_t uBegin = ToneStart(1, 0) + kRate / 10;
             for (size_t f = uBegin; f < uBegin + kRate / 100; ++f) {
                 io[f * kChannels + 6] = 0.0f;
             }
         }},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.pszName);
        std::vector<float> samples = Record(MakeSchedule(), 0);
        fault.pfnApply(samples);
        const std::vector<tonecheck::MeasuredTone> measured = Analyse(samples);
        ASSERT_EQ(3u, measured.size());
        EXPECT_TRUE(measured[0].bPassed) << measured[0].failure;
        EXPECT_FALSE(measured[1].bPassed);
        EXPECT_NE(std::string::npos, measured[1].failure.find(fault.pszFailure))
            << measured[1].failure;
        EXPECT_EQ(fault.bGlitch, measured[1].bGlitchOnly);
        EXPECT_TRUE(measured[2].bPassed) << measured[2].failure;
    }
}

// The output pausing for 400 ms within a tone: the tail of that tone comes after the gap, where
// the next tone was due. The pause is a glitch that the harness plays once more, and so is every
// fault of the tones after it; a wrong channel without a pause before it stays a failure.
TEST(ToneCheckTest, TonesAfterAPauseCountAsGlitches) {
    const std::vector<float> samples = Record(MakeSchedule(), 0);
    const size_t uPauseAt = ToneStart(1, 0) + kRate / 10;
    std::vector<float> paused(samples.begin(), samples.begin() + uPauseAt * kChannels);
    paused.resize(paused.size() + (kRate * 4 / 10) * kChannels, 0.0f);
    paused.insert(paused.end(), samples.begin() + uPauseAt * kChannels, samples.end());

    const std::vector<tonecheck::MeasuredTone> measured = Analyse(paused);
    ASSERT_EQ(3u, measured.size());
    EXPECT_TRUE(measured[0].bPassed) << measured[0].failure;
    EXPECT_FALSE(measured[1].bPassed);
    EXPECT_NE(0u, measured[1].uDropouts);
    EXPECT_TRUE(measured[1].bGlitchOnly);
    EXPECT_FALSE(measured[2].bPassed);  // the tail of tone 1 is taken for it
    EXPECT_TRUE(measured[2].bGlitchOnly) << measured[2].failure;
}

TEST(ToneCheckTest, AMissingToneOrAShortRecordingFails) {
    std::vector<float> samples = Record(MakeSchedule(), 0);
    // The last tone never arrives.
    for (size_t f = ToneStart(2, 0); f < samples.size() / kChannels; ++f) {
        samples[f * kChannels + 11] = 0.0f;
    }
    std::vector<tonecheck::MeasuredTone> measured = Analyse(samples);
    ASSERT_EQ(3u, measured.size());
    EXPECT_FALSE(measured[2].bPassed);
    EXPECT_FALSE(measured[2].bFound);

    // The recording stops within the last tone.
    samples = Record(MakeSchedule(), 0);
    samples.resize((ToneStart(2, 0) + kRate / 10) * kChannels);
    measured = Analyse(samples);
    EXPECT_FALSE(measured[2].bPassed);

    // Nothing at all: no tone passes.
    measured = Analyse(std::vector<float>(kRate * kChannels, 0.0f));
    for (const tonecheck::MeasuredTone& tone : measured) {
        EXPECT_FALSE(tone.bPassed);
    }
}

// The host keeps its engine running on a schedule without tones while it waits (the loss run):
// that schedule is silence, for every source and frame, and has no length of its own.
TEST(ToneCheckTest, AScheduleWithoutTonesIsSilence) {
    const spatialhost::ToneSchedule silence(0, 0, 0);
    EXPECT_EQ(0u, silence.TotalFrames());
    for (const uint64_t uFrame : {uint64_t{0}, uint64_t{1}, uint64_t{1} << 40}) {
        EXPECT_EQ(0.0f, silence.Sample(0, uFrame));
    }
    spatialhost::ToneSchedule gapless(10, 0, 0);
    gapless.Add(spatialhost::Tone{0, 0, 250.0f, 0.25f});
    EXPECT_EQ(0.0f, gapless.Sample(0, 100));
}

TEST(ToneCheckTest, MalformedExpectationsAreRefused) {
    std::vector<tonecheck::ExpectedTone> tones;
    EXPECT_TRUE(
        tonecheck::ParseExpectations("0 250.0 0.25 400 300\n\n6 375 0.25 900 300\r\n", tones));
    EXPECT_EQ(2u, tones.size());
    EXPECT_FALSE(tonecheck::ParseExpectations("0 250.0 0.25 400\n", tones));
    EXPECT_FALSE(tonecheck::ParseExpectations("zero 250 0.25 400 300\n", tones));
}

}  // namespace
