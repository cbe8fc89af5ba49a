// The mixer's objects under every pacing a host produces, on the stepped renderer: host buffers of
// 64 to 4096 frames written in bursts as the output asks for them, periods of 120 to 4096 frames,
// voices that start and end in mid-stream, a host that wakes late, a period that changes at a
// re-open. Each voice plays its own constant value into its own object, so that every frame of it
// can be found in the passes: heard once, in order, without a gap, and how late.

#include <gtest/gtest.h>

#include <stdint.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <deque>
#include <tuple>
#include <vector>

#include "HostSpeakerPanner.h"
#include "MixerPacing.h"
#include "MixerTestSupport.h"

namespace {

using mixer_tests::kMono;
using mixer_tests::kStereo;
using mixer_tests::OutputPacer;
using mixer_tests::PacedVoice;
using mixer_tests::Pacing;
using mixer_tests::VoiceLedger;

constexpr uint32_t kRate = 48000;
constexpr uint32_t kSevenOneFour = 0x2D63F;

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
            m_ledger.Voices().push_back(voice);
            AddVoice(kMono, {fValue}, 2.0f, static_cast<float>(m_ledger.Voices().size()))
                .SetPlaying(false);
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
        for (const PacedVoice& voice : m_ledger.Voices()) {
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
            // A period and two host buffers at most.
            m_ledger.Rendering(
                uFrame, m_pacing.uHostFrames, m_uOutputFrames,
                m_uDelayLimit != 0 ? m_uDelayLimit : m_pacing.uPeriod + 2 * m_pacing.uHostFrames);
            for (size_t i = 0; i < m_ledger.Voices().size(); ++i) {
                m_pDriver->VoiceAt(i).SetPlaying(VoiceLedger::Plays(m_ledger.Voices()[i], uFrame));
            }
            const ZvSampleBuffer& bus = m_pDriver->RunFrame();
            if (m_bRender) {
                // The bus goes to the output, which plays it in step with the mixer's passes.
                for (uint32_t uFrame = 0; uFrame < m_pacing.uHostFrames; ++uFrame) {
                    std::vector<float> frame(bus.NumChannels());
                    for (uint32_t uChannel = 0; uChannel < bus.NumChannels(); ++uChannel) {
                        frame[uChannel] = bus.GetChannel(uChannel)[uFrame];
                    }
                    m_bed.push_back(std::move(frame));
                }
            }
        }
        ASSERT_EQ(1u, standin::Step());
        m_pOutput->Pass();
        if (m_bRender) {
            const bool bPlays = m_bed.size() >= m_pacing.uPeriod;
            m_rendered.resize(m_uOutputFrames + m_pacing.uPeriod, std::vector<float>(12, 0.0f));
            for (uint32_t uFrame = 0; bPlays && uFrame < m_pacing.uPeriod; ++uFrame) {
                m_rendered[m_uOutputFrames + uFrame] = m_bed.front();
                m_bed.pop_front();
            }
        }
        Listen();
    }

    // Finds every voice's frames in the passes since the last look.
    void Listen() {
        for (const standin::Pass& pass : standin::TakePasses()) {
            m_objectAzimuths.clear();
            for (const standin::ObjectPass& object : pass.objects) {
                if (m_bRender) {
                    Render(object);
                } else {
                    m_ledger.Hear(object.samples, m_uOutputFrames);
                }
            }
            m_uOutputFrames += pass.frames;
        }
    }

    // The renderer's output in 7.1.4, as the host's panning law would place the object: the two
    // routes then differ in nothing but their timing. Notes the azimuths of sounding objects.
    void Render(const standin::ObjectPass& in_object) {
        const float fAzimuth = std::atan2(in_object.x, -in_object.z);
        float afVolumes[16] = {};
        ZV::SpeakerVolumeMatrix matrix = {afVolumes, 1, 12};
        host::ComputePanningMatrix(mixer_tests::Layout(kMono), mixer_tests::Layout(kSevenOneFour),
                                   fAzimuth * 57.29578f, matrix);
        m_rendered.resize(m_uOutputFrames + in_object.samples.size(), std::vector<float>(12, 0.0f));
        for (size_t i = 0; i < in_object.samples.size(); ++i) {
            for (uint32_t uChannel = 0; uChannel < 12; ++uChannel) {
                m_rendered[m_uOutputFrames + i][uChannel] +=
                    in_object.samples[i] * in_object.volume * afVolumes[uChannel];
            }
        }
        if (mixer_tests::IsSounding(in_object)) {
            m_objectAzimuths.push_back(fAzimuth);
        }
    }

    // The power of the in_fFrequency component of the rendered output, summed over the
    // channels, in the window of in_uFrames frames from in_uFirst.
    double PowerAt(double in_fFrequency, uint64_t in_uFirst, uint32_t in_uFrames) const {
        double fPower = 0.0;
        for (uint32_t uChannel = 0; uChannel < 12; ++uChannel) {
            std::complex<double> amplitude;
            for (uint32_t i = 0; i < in_uFrames; ++i) {
                const double fPhase =
                    6.283185307179586 * in_fFrequency * double(in_uFirst + i) / kRate;
                amplitude += double(m_rendered[in_uFirst + i][uChannel]) *
                             std::complex<double>(std::cos(fPhase), -std::sin(fPhase));
            }
            amplitude *= 2.0 / in_uFrames;
            fPower += std::norm(amplitude);
        }
        return fPower;
    }

    // No overrun, and every voice heard whole (VoiceLedger); the largest delay.
    uint64_t ExpectHeardWhole() {
        EXPECT_EQ(0u, m_pMixer->RingOverruns());
        return m_ledger.ExpectHeardWhole(m_pacing.uHostFrames);
    }

    Pacing m_pacing;
    uint64_t m_uDelayLimit = 0;  // 0: a period and two host buffers
    std::unique_ptr<OutputPacer> m_pOutput;
    VoiceLedger m_ledger;
    uint64_t m_uOutputFrames = 0;
    // Rendering: the bus's frames not played yet, the output in 7.1.4 (per frame, the channels),
    // the azimuths of the sounding objects of each pass.
    bool m_bRender = false;
    std::deque<std::vector<float>> m_bed;
    std::vector<std::vector<float>> m_rendered;
    std::vector<float> m_objectAzimuths;
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
    const uint64_t uHeard = m_ledger.Voices()[0].uHeard + m_ledger.Voices()[1].uHeard;
    PacedPass();
    EXPECT_EQ(uHeard, m_ledger.Voices()[0].uHeard + m_ledger.Voices()[1].uHeard);
}

// A host that keeps nine buffers of 4096 frames in its output, far more than a period and two
// buffers: what does not fit into the rings before the first pass is not kept (the rings hold
// 4096 frames and four buffers), and the first pass lets go of what leaves less than two
// buffers of room. From then on the objects keep that delay and never overrun, and the voices
// are heard whole.
TEST_F(MixerPacingTest, AVeryDeepOutputGetsNoMoreDelayThanTheRingsHold) {
    m_uDelayLimit = 4096 + 2 * 4096;
    StartPaced(Pacing{4096, 480}, {{1.0, 2.0}, {1.4, 1.7}}, 9);
    PacedPass();
    EXPECT_EQ(8u - 5u, m_pMixer->RingOverruns());
    RunUntilFrame(FrameAt(2.0));
    PlayOut();
    EXPECT_EQ(3u, m_pMixer->RingOverruns());
    m_ledger.ExpectHeardWhole(m_pacing.uHostFrames);
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
        PacedVoice& voice = m_ledger.Voices()[i + 1];
        voice.uFirstFrame = m_pDriver->FramesRun() + 3;
        voice.uEndFrame = voice.uFirstFrame + FrameAt(0.2);
        RunUntilFrame(voice.uEndFrame);
        PlayOut();
    }
    ExpectHeardWhole();
}

class MixerHandOverTest : public MixerPacingTest,
                          public ::testing::WithParamInterface<std::tuple<int, int>> {};

// Three voices of their own frequencies, on a grant of two objects (MaxObjects): when the first
// ends, the third goes from the bed to its object; when MaxObjects falls to one, the second goes
// to the bed, and when it is back at two, back to an object. The bed plays through the host's
// output in step with the objects, so that each voice's level in the 7.1.4 output stays where it
// was: within 1 dB of it in every 10-millisecond window while it plays.
TEST_P(MixerHandOverTest, AVoiceHandedBetweenAnObjectAndTheBedKeepsItsLevel) {
    m_pacing = Pacing{static_cast<uint32_t>(std::get<0>(GetParam())),
                      static_cast<uint32_t>(std::get<1>(GetParam()))};
    standin::EndpointConfig endpoint;
    endpoint.frameCount = m_pacing.uPeriod;
    standin::SetDefaultEndpoint(endpoint);
    ASSERT_EQ(ZV_Success,
              Start(kSevenOneFour, 2, false, static_cast<uint16_t>(m_pacing.uHostFrames)));
    m_pOutput = std::make_unique<OutputPacer>(m_pacing, 3);
    m_bRender = true;
    const double afFrequencies[3] = {300.0, 500.0, 700.0};
    const float afAzimuths[3] = {0.3f, -0.8f, 2.0f};
    const double afSeconds[3][2] = {{0.0, 0.3}, {0.0, 1.0}, {0.0, 1.0}};
    for (int i = 0; i < 3; ++i) {
        AddVoice(kMono, {}, 2.0f, afAzimuths[i])
            .SetSource(host::MixerBusDriver::Voice::Sine(static_cast<float>(afFrequencies[i]),
                                                         0.25f, kRate));
        PacedVoice voice;
        voice.uFirstFrame = FrameAt(afSeconds[i][0]);
        voice.uEndFrame = FrameAt(afSeconds[i][1]);
        m_ledger.Voices().push_back(voice);
    }
    auto setMaxObjects = [&](int32_t in_iMaxObjects) {
        m_pParams->SetParameter(6, &in_iMaxObjects, 4);
    };
    // Whether the voice sounds on an object in the last pass.
    auto onObject = [&](int in_iVoice) {
        for (float fAzimuth : m_objectAzimuths) {
            if (std::fabs(fAzimuth - afAzimuths[in_iVoice]) < 1e-3f) {
                return true;
            }
        }
        return false;
    };
    RunUntilFrame(FrameAt(0.2));
    EXPECT_TRUE(onObject(0) && onObject(1) && !onObject(2));
    // The third voice has taken the first one's object.
    RunUntilFrame(FrameAt(0.6));
    EXPECT_TRUE(onObject(2));
    setMaxObjects(1);
    RunUntilFrame(FrameAt(0.8));
    EXPECT_FALSE(onObject(1));
    setMaxObjects(2);
    RunUntilFrame(FrameAt(1.0));
    EXPECT_TRUE(onObject(1));
    PlayOut();
    EXPECT_EQ(0u, m_pMixer->RingOverruns());

    // Whole windows while the voice plays, from its first full one to its last.
    const uint32_t uWindow = 480;
    for (int iVoice = 1; iVoice < 3; ++iVoice) {
        double fLowest = 1e9;
        double fHighest = -1e9;
        const uint64_t uFirst = (m_ledger.Voices()[iVoice].renderedAt.front() +
                                 2 * m_pacing.uPeriod + 2 * m_pacing.uHostFrames + uWindow - 1) /
                                uWindow * uWindow;
        const uint64_t uEnd = m_ledger.Voices()[iVoice].uEndFrame *
                              m_pacing.uHostFrames;  // no later than its last frame
        for (uint64_t uAt = uFirst; uAt + uWindow <= uEnd; uAt += uWindow) {
            const double fDecibels =
                10.0 * std::log10(PowerAt(afFrequencies[iVoice], uAt, uWindow) / (0.25 * 0.25));
            fLowest = std::min(fLowest, fDecibels);
            fHighest = std::max(fHighest, fDecibels);
            EXPECT_NEAR(0.0, fDecibels, 1.0) << "voice " << iVoice << " at frame " << uAt;
        }
        std::printf("hand-over %u %u voice %d: %.2f to %.2f dB\n", m_pacing.uHostFrames,
                    m_pacing.uPeriod, iVoice, fLowest, fHighest);
    }
}

INSTANTIATE_TEST_SUITE_P(Pacings, MixerHandOverTest,
                         ::testing::Values(std::make_tuple(512, 480), std::make_tuple(256, 1024),
                                           std::make_tuple(2048, 480), std::make_tuple(128, 4096)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& in_info) {
                             return "Host" + std::to_string(std::get<0>(in_info.param)) + "Period" +
                                    std::to_string(std::get<1>(in_info.param));
                         });

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

// A tail's last pass plays at its own voice's place and volume, even when the engine gives the
// record to a new voice in the middle of that pass, as a real engine's audio thread may while
// the render worker fills the objects. The host frame runs inside the worker's SetPosition call,
// that is after the worker took the tail's last frames and before it set the object's volume.
// Host buffers of 256 frames against periods of 480, so that the tail ends inside a pass.
class MixerTailRaceTest : public mixer_tests::MixerTest<mixer_tests::AsyncBuild> {};

TEST_F(MixerTailRaceTest, ATailsLastPassKeepsItsVoicesPlaceAndVolumeWhenNewVoicesTakeItsRecord) {
    standin::EndpointConfig endpoint;
    endpoint.frameCount = 480;
    endpoint.maxDynamicObjects = 1;  // one record: the new voice can only take the tail's
    standin::SetDefaultEndpoint(endpoint);
    ASSERT_EQ(ZV_Success, Start(kStereo, 32, false, 256));
    constexpr float kTail = 0.5f;
    constexpr float kNew = 0.125f;
    host::MixerBusDriver::Voice& tail = AddVoice(kMono, {kTail}, 2.0f, 1.0f);
    host::MixerBusDriver::Voice& next = AddVoice(kMono, {kNew}, 2.0f, -2.0f);
    next.SetEmitterListenerVolume({0.25f, 0.25f});
    next.SetPlaying(false);
    // Two buffers a pass: the host keeps ahead of the renderer.
    auto pass = [&]() {
        m_pDriver->RunFrame();
        m_pDriver->RunFrame();
        standin::Step();
    };
    for (int i = 0; i < 6; ++i) {
        pass();
        Settle();
    }
    tail.SetPlaying(false);
    // Until the new voice is on the object: a host frame at each of the worker's SetPosition
    // calls; while the tail plays out, the new voice waits on the bed.
    bool bTaken = false;
    standin::OnCall("ISpatialAudioObject::SetPosition", [&]() {
        if (bTaken) {
            return;
        }
        next.SetPlaying(true);
        m_pDriver->RunFrame();
        bTaken = LastCounters().uPlayingObjects == 1;
    });
    for (int i = 0; i < 8; ++i) {
        pass();
    }
    standin::ClearFaults();
    EXPECT_TRUE(bTaken) << "the new voice never took the record";

    // Each object plays at its own voice's place and volume, its samples' and its silence's.
    bool bTailEnded = false;
    bool bHeardNew = false;
    for (const standin::Pass& pass : standin::TakePasses()) {
        for (const standin::ObjectPass& object : pass.objects) {
            const auto& samples = object.samples;
            const bool bTail = std::count(samples.begin(), samples.end(), kTail) > 0;
            const bool bNew = std::count(samples.begin(), samples.end(), kNew) > 0;
            EXPECT_FALSE(bTail && bNew) << "pass " << pass.index << ": both on one object";
            bTailEnded = bTailEnded || (bTail && samples.back() == 0.0f);
            bHeardNew = bHeardNew || bNew;
            if (bTail || (!bNew && object.x > 0.0f)) {
                EXPECT_EQ(1.0f, object.volume) << "pass " << pass.index << ", the tail's object";
                EXPECT_GT(object.x, 0.0f) << "pass " << pass.index << ", the tail's object";
            } else {
                EXPECT_EQ(0.25f, object.volume) << "pass " << pass.index << ", the new object";
                EXPECT_LT(object.x, 0.0f) << "pass " << pass.index << ", the new object";
            }
        }
    }
    EXPECT_TRUE(bTailEnded) << "no pass ended the tail inside its period";
    EXPECT_TRUE(bHeardNew);
}
