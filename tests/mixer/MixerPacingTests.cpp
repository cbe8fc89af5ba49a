// The mixer's objects under every pacing a host produces, on the stepped renderer: host buffers of
// 64 to 4096 frames written in bursts as the output asks for them, periods of 120 to 4096 frames,
// voices that start and end in mid-stream, a host that wakes late, a period that changes at a
// re-open. Each voice plays its own constant value into its own object, so that every frame of it
// can be found in the passes: heard once, in order, without a gap, and how late.

#include <gtest/gtest.h>

#include <stdint.h>

#include <cstdio>
#include <tuple>
#include <vector>

#include "MixerPacing.h"
#include "MixerTestSupport.h"

namespace {

using mixer_tests::kMono;
using mixer_tests::kStereo;
using mixer_tests::OutputPacer;
using mixer_tests::Pacing;

constexpr uint32_t kRate = 48000;

// A voice of the run: its value and the host frames it plays, [uFirstFrame, uEndFrame).
struct PacedVoice {
    float fValue = 0.0f;
    uint64_t uFirstFrame = 0;
    uint64_t uEndFrame = 0;
    // The renderer's clock (frames since the stream's first pass) when the host ran its first
    // frame.
    uint64_t uRenderedAt = 0;
    uint64_t uLatestHeard = 0;  // a period and two host buffers after that
    // What the passes carried of it: output positions (frames since the stream's first pass).
    uint64_t uHeard = 0;
    uint64_t uFirstHeard = 0;
    uint64_t uLastHeard = 0;
};

class MixerPacingTest : public mixer_tests::MixerTest<mixer_tests::AsyncBuild> {
protected:
    // Starts the mixer for in_pacing, with voices playing the given stretches of seconds.
    void StartPaced(const Pacing& in_pacing, std::vector<std::pair<double, double>> in_times,
                    uint32_t in_uOutputBuffers = 2) {
        m_pacing = in_pacing;
        standin::EndpointConfig endpoint;
        endpoint.frameCount = in_pacing.uPeriod;
        standin::SetDefaultEndpoint(endpoint);
        ASSERT_EQ(ZV_Success,
                  Start(kStereo, 32, false, static_cast<uint16_t>(in_pacing.uHostFrames)));
        m_pOutput = std::make_unique<OutputPacer>(in_pacing, in_uOutputBuffers);
        float fValue = 0.5f;
        for (const auto& times : in_times) {
            PacedVoice voice;
            voice.fValue = fValue;
            voice.uFirstFrame = FrameAt(times.first);
            voice.uEndFrame = FrameAt(times.second);
            m_voices.push_back(voice);
            AddVoice(kMono, {fValue}, 2.0f, static_cast<float>(m_voices.size())).SetPlaying(false);
            fValue *= 0.5f;
        }
    }

    uint64_t FrameAt(double in_fSeconds) const {
        return static_cast<uint64_t>(in_fSeconds * kRate / m_pacing.uHostFrames);
    }

    // Passes, each after the host frames its output asks for, until the host has run
    // in_uFrames frames in all.
    void RunUntilFrame(uint64_t in_uFrames) {
        while (m_pDriver->FramesRun() < in_uFrames) {
            PacedPass();
        }
    }
    // Enough passes for the mixer to play out what it holds: the host goes on with frames
    // without voices, as an engine's bus does.
    void PlayOut() {
        const uint32_t uPasses =
            (m_pacing.uPeriod + 4 * m_pacing.uHostFrames) / m_pacing.uPeriod + 2;
        for (const PacedVoice& voice : m_voices) {
            ASSERT_TRUE(voice.uEndFrame <= m_pDriver->FramesRun() ||
                        voice.uFirstFrame >= m_pDriver->FramesRun())
                << "a voice still plays";
        }
        for (uint32_t uPass = 0; uPass < uPasses; ++uPass) {
            PacedPass();
        }
    }

    void PacedPass() {
        const uint32_t uBuffers = m_pOutput->BuffersBeforePass();
        for (uint32_t uBuffer = 0; uBuffer < uBuffers; ++uBuffer) {
            const uint64_t uFrame = m_pDriver->FramesRun();
            for (size_t i = 0; i < m_voices.size(); ++i) {
                m_pDriver->VoiceAt(i).SetPlaying(uFrame >= m_voices[i].uFirstFrame &&
                                                 uFrame < m_voices[i].uEndFrame);
                if (uFrame == m_voices[i].uFirstFrame) {
                    m_voices[i].uRenderedAt = m_uOutputFrames;
                    m_voices[i].uLatestHeard =
                        m_uOutputFrames + m_pacing.uPeriod + 2 * m_pacing.uHostFrames;
                }
            }
            m_pDriver->RunFrame();
        }
        ASSERT_EQ(1u, standin::Step());
        m_pOutput->Pass();
        Listen();
    }

    // Finds every voice's frames in the passes since the last look.
    void Listen() {
        for (const standin::Pass& pass : standin::TakePasses()) {
            for (const standin::ObjectPass& object : pass.objects) {
                for (size_t i = 0; i < object.samples.size(); ++i) {
                    const float fSample = object.samples[i];
                    if (fSample == 0.0f) {
                        continue;
                    }
                    PacedVoice* pVoice = VoiceOf(fSample);
                    if (pVoice == nullptr) {
                        ++m_uForeign;
                        continue;
                    }
                    const uint64_t uPosition = m_uOutputFrames + i;
                    if (pVoice->uHeard == 0) {
                        pVoice->uFirstHeard = uPosition;
                    }
                    pVoice->uLastHeard = uPosition;
                    ++pVoice->uHeard;
                }
            }
            m_uOutputFrames += pass.frames;
        }
    }

    PacedVoice* VoiceOf(float in_fSample) {
        for (PacedVoice& voice : m_voices) {
            if (voice.fValue == in_fSample) {
                return &voice;
            }
        }
        return nullptr;
    }

    // Every frame of every voice heard once, in one stretch without a gap, its first frame no
    // later than a period and two host buffers (of the renderer's clock) after the host ran it;
    // no overrun. Returns the largest of these delays (frames).
    uint64_t ExpectHeardWhole() {
        EXPECT_EQ(0u, m_uForeign) << "samples of no voice";
        EXPECT_EQ(0u, m_pMixer->RingOverruns());
        uint64_t uLatest = 0;
        for (const PacedVoice& voice : m_voices) {
            const uint64_t uFrames = (voice.uEndFrame - voice.uFirstFrame) * m_pacing.uHostFrames;
            EXPECT_EQ(uFrames, voice.uHeard) << "voice " << voice.fValue;
            EXPECT_EQ(voice.uHeard, voice.uLastHeard + 1 - voice.uFirstHeard)
                << "a gap in voice " << voice.fValue;
            EXPECT_LE(voice.uRenderedAt, voice.uFirstHeard) << "voice " << voice.fValue;
            EXPECT_LE(voice.uFirstHeard, voice.uLatestHeard) << "voice " << voice.fValue;
            const uint64_t uDelay = voice.uFirstHeard - voice.uRenderedAt;
            uLatest = uDelay > uLatest ? uDelay : uLatest;
        }
        return uLatest;
    }

    Pacing m_pacing;
    std::unique_ptr<OutputPacer> m_pOutput;
    std::vector<PacedVoice> m_voices;
    uint64_t m_uOutputFrames = 0;
    uint64_t m_uForeign = 0;
};

// The scene player's defaults: 512-frame host buffers, 480-frame periods, an output of three
// buffers. A voice that starts in mid-stream is heard from its first frame on without a pass
// of silence.
TEST_F(MixerPacingTest, AVoiceThatStartsInMidStreamHasNoSilentPassAfterItsFirstSamples) {
    StartPaced(Pacing{512, 480}, {{0.0, 0.5}, {0.1, 0.4}, {0.23, 0.5}}, 3);
    RunUntilFrame(FrameAt(0.5));
    PlayOut();
    ExpectHeardWhole();
}

// The last frames of every voice are heard when the host goes on with frames without voices;
// a voice's tail is never cut short by the end of its voices.
TEST_F(MixerPacingTest, WhatTheMixerHoldsPlaysOutWhileTheHostRunsFramesWithoutVoices) {
    StartPaced(Pacing{1024, 2048}, {{0.0, 0.3}, {0.05, 0.3}});
    RunUntilFrame(FrameAt(0.3));
    PlayOut();
    ExpectHeardWhole();
    // Then only silence.
    const uint64_t uHeard = m_voices[0].uHeard + m_voices[1].uHeard;
    PacedPass();
    EXPECT_EQ(uHeard, m_voices[0].uHeard + m_voices[1].uHeard);
}

// A re-open onto another endpoint whose period is longer, and then onto one whose period is
// shorter: the voices that start after each are heard whole, as soon as before.
TEST_F(MixerPacingTest, APeriodThatChangesAtAReopenIsPlayedWithoutAGap) {
    StartPaced(Pacing{512, 480}, {{0.0, 0.2}, {1.0, 1.0}, {1.0, 1.0}});
    RunUntilFrame(FrameAt(0.2));
    PlayOut();
    const uint32_t auPeriods[] = {2048, 256};
    for (size_t i = 0; i < 2; ++i) {
        standin::LoseDevice();
        ASSERT_TRUE(StepUntilLost());
        standin::EndpointConfig endpoint;
        endpoint.frameCount = auPeriods[i];
        standin::SetDefaultEndpoint(endpoint);
        ASSERT_TRUE(FramesUntil([&]() {
            return m_pMixer->CurrentStreamState() == StreamRunning &&
                   standin::StartedStreamCount() == 1;
        }));
        Listen();
        m_pacing.uPeriod = auPeriods[i];
        m_pOutput = std::make_unique<OutputPacer>(m_pacing);
        PacedVoice& voice = m_voices[i + 1];
        voice.uFirstFrame = m_pDriver->FramesRun() + 3;
        voice.uEndFrame = voice.uFirstFrame + FrameAt(0.2);
        RunUntilFrame(voice.uEndFrame);
        PlayOut();
    }
    ExpectHeardWhole();
}

class MixerPacingMatrixTest : public MixerPacingTest,
                              public ::testing::WithParamInterface<std::tuple<int, int>> {};

// Under a second of audio per cell: voices from the start, in mid-stream, ending in mid-stream
// (every 5th pass the host is late with its last buffer, where its output can spare it).
TEST_P(MixerPacingMatrixTest, EveryFrameOfEveryVoiceIsHeardOnceWithoutAGapAndSoonEnough) {
    const Pacing pacing{static_cast<uint32_t>(std::get<0>(GetParam())),
                        static_cast<uint32_t>(std::get<1>(GetParam())), 5};
    StartPaced(pacing, {{0.0, 0.6}, {0.13, 0.7}, {0.31, 0.45}});
    RunUntilFrame(FrameAt(0.7));
    PlayOut();
    const uint64_t uDelay = ExpectHeardWhole();
    std::printf("delay %u %u %llu\n", pacing.uHostFrames, pacing.uPeriod,
                static_cast<unsigned long long>(uDelay));
}

INSTANTIATE_TEST_SUITE_P(
    HostBuffersAndPeriods, MixerPacingMatrixTest,
    ::testing::Combine(::testing::Values(64, 128, 256, 480, 512, 1024, 2048, 4096),
                       ::testing::Values(120, 256, 480, 512, 1024, 2048, 4096)),
    [](const ::testing::TestParamInfo<std::tuple<int, int>>& in_info) {
        return "Host" + std::to_string(std::get<0>(in_info.param)) + "Period" +
               std::to_string(std::get<1>(in_info.param));
    });

}  // namespace
