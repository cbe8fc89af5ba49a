// The effect on the stepped renderer: what reaches which bed object, bit for bit; what comes back
// to the engine; when the bus passes through untouched; the ring between the two threads.

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "AssertRecorder.h"
#include "EffectTestSupport.h"
#include "HostBusDriver.h"
#include "standin/Control.h"
#include "standin/Renderer.h"

namespace {

using effect_tests::EffectTest;
using effect_tests::kBedTypes;
using effect_tests::Sample;
using effect_tests::SampleSource;
using effect_tests::Snapshot;

bool BitwiseEqual(const std::vector<float>& in_a, const std::vector<float>& in_b) {
    return in_a.size() == in_b.size() &&
           memcmp(in_a.data(), in_b.data(), in_a.size() * sizeof(float)) == 0;
}

// Every sample of the bus buffer, from bus frame in_uFirstFrame on.
void FillBus(host::HostBusDriver& io_bus, uint64_t in_uFirstFrame) {
    const ZvSampleBuffer& buffer = io_bus.Buffer();
    for (uint32_t uChannel = 0; uChannel < buffer.NumChannels(); ++uChannel) {
        for (uint32_t uFrame = 0; uFrame < buffer.uMaxFrames; ++uFrame) {
            io_bus.Channel(uChannel)[uFrame] = Sample(uChannel, in_uFirstFrame + uFrame);
        }
    }
}

// The objects of a pass, which must be the first in_uCount bed types in table order.
void ExpectBedObjects(const standin::Pass& in_pass, uint32_t in_uCount) {
    ASSERT_EQ(in_uCount, in_pass.objects.size());
    for (uint32_t uEntry = 0; uEntry < in_uCount; ++uEntry) {
        EXPECT_EQ(kBedTypes[uEntry], in_pass.objects[uEntry].type) << "entry " << uEntry;
        EXPECT_TRUE(in_pass.objects[uEntry].gotBuffer);
    }
}

// Object j of in_pass holds bus channel in_auColumnSource[j] from bus frame in_uFirstFrame on.
::testing::AssertionResult PassCarries(const standin::Pass& in_pass,
                                       const std::vector<uint32_t>& in_auColumnSource,
                                       uint64_t in_uFirstFrame) {
    if (in_pass.objects.size() != in_auColumnSource.size()) {
        return ::testing::AssertionFailure() << in_pass.objects.size() << " objects";
    }
    for (size_t uEntry = 0; uEntry < in_auColumnSource.size(); ++uEntry) {
        const std::vector<float>& samples = in_pass.objects[uEntry].samples;
        if (samples.size() != in_pass.frames) {
            return ::testing::AssertionFailure() << "entry " << uEntry << " has " << samples.size();
        }
        for (uint32_t uFrame = 0; uFrame < in_pass.frames; ++uFrame) {
            const float fExpected = Sample(in_auColumnSource[uEntry], in_uFirstFrame + uFrame);
            if (memcmp(&samples[uFrame], &fExpected, sizeof(float)) != 0) {
                return ::testing::AssertionFailure()
                       << "entry " << uEntry << " frame " << uFrame << ": " << samples[uFrame]
                       << " instead of " << fExpected;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult PassIsSilent(const standin::Pass& in_pass) {
    for (const standin::ObjectPass& object : in_pass.objects) {
        for (float fSample : object.samples) {
            if (fSample != 0.0f) {
                return ::testing::AssertionFailure() << "a sample " << fSample;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

struct BusCase {
    const char* pszName;
    uint32_t uMask;
    std::vector<uint32_t> auColumnSource;  // the buffer channel each bed entry plays
};

// Two host buffers of 500 valid frames (of 512) feed two passes of 480 frames: the bed entries
// carry the bus's channels in speaker order, the low-frequency channel (stored last by the host)
// on the low-frequency object, and the buffer comes back zeroed only where it was valid.
TEST_F(EffectTest, EachBusReachesTheBedEntriesInMaskOrderAndLeavesSilence) {
    const BusCase cases[] = {
        {"mono on a centre speaker", 0x4, {0}},
        {"stereo", effect_tests::kStereoMask, {0, 1}},
        {"5.1", effect_tests::kFiveOneMask, {0, 1, 2, 5, 3, 4}},
        {"7.1.4", effect_tests::kSevenOneFourMask, {0, 1, 2, 11, 3, 4, 5, 6, 7, 8, 9, 10}},
    };
    for (const BusCase& bus : cases) {
        SCOPED_TRACE(bus.pszName);
        const ZvChannelLayout layout = ZvChannelLayout::FromMask(bus.uMask);
        ASSERT_EQ(ZV_Success, Init(layout));
        const uint32_t uChannels = layout.uNumChannels;
        host::HostBusDriver driver(*m_pEffect, layout, 512);
        for (int iBuffer = 0; iBuffer < 2; ++iBuffer) {
            // Past the valid frames the buffer holds a marker that must come back as it was.
            for (uint32_t uChannel = 0; uChannel < uChannels; ++uChannel) {
                for (uint32_t uFrame = 500; uFrame < 512; ++uFrame) {
                    driver.Channel(uChannel)[uFrame] = -1.0f;
                }
            }
            const ZvSampleBuffer& processed = driver.Process(500, SampleSource());
            for (uint32_t uChannel = 0; uChannel < uChannels; ++uChannel) {
                const float* pChannel = processed.pData + size_t{uChannel} * 512;
                for (uint32_t uFrame = 0; uFrame < 500; ++uFrame) {
                    ASSERT_EQ(0.0f, pChannel[uFrame]) << "channel " << uChannel;
                }
                for (uint32_t uFrame = 500; uFrame < 512; ++uFrame) {
                    ASSERT_EQ(-1.0f, pChannel[uFrame]) << "channel " << uChannel;
                }
            }
        }
        ASSERT_EQ(1u, standin::Step());
        ASSERT_EQ(1u, standin::Step());
        const std::vector<standin::Pass> passes = standin::TakePasses();
        ASSERT_EQ(2u, passes.size());
        ExpectBedObjects(passes[0], uChannels);
        EXPECT_TRUE(PassCarries(passes[0], bus.auColumnSource, 0));
        EXPECT_TRUE(PassCarries(passes[1], bus.auColumnSource, 480));
        Term();
        standin::Reset();
        standin::CapturePasses(256);
    }
}

// What the effect asks of the renderer: the whole bed, no dynamic objects, its own version.
TEST_F(EffectTest, TheStreamReservesTheWholeBedAndNoDynamicObjects) {
    ASSERT_EQ(ZV_Success, Init(ZvChannelLayout::FromMask(effect_tests::kStereoMask)));
    const std::vector<standin::StreamActivation> streams = standin::StreamActivations();
    ASSERT_EQ(1u, streams.size());
    EXPECT_EQ(0x1FFEu, streams[0].staticObjectTypeMask);
    EXPECT_EQ(0u, streams[0].maxDynamicObjectCount);
    EXPECT_EQ(1, standin::ClientActivations().at(0).params.minorVersion3);
}

// Whatever keeps the effect from the renderer, the buffer comes back exactly as the host gave it.
TEST_F(EffectTest, WithoutARendererTheBusPassesThroughUntouched) {
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kFiveOneMask);
    auto expectUntouched = [&](const char* in_pszWhy) {
        SCOPED_TRACE(in_pszWhy);
        host::HostBusDriver driver(*m_pEffect, layout, 512);
        for (int iBuffer = 0; iBuffer < 3; ++iBuffer) {
            FillBus(driver, 7u * iBuffer);
            const std::vector<float> before = Snapshot(driver);
            driver.ProcessAsFilled(512);
            EXPECT_TRUE(BitwiseEqual(before, Snapshot(driver)));
        }
    };

    // No endpoint: the set-up fails, and the effect keeps nothing.
    standin::RemoveDefaultEndpoint();
    EXPECT_EQ(ZV_Failure, Init(layout));
    expectUntouched("no endpoint");
    Term();

    // Spatial sound off: the stream runs, the objects get silence, the bus stays with the engine.
    standin::EndpointConfig noSpatialSound;
    noSpatialSound.maxDynamicObjects = 0;
    standin::SetDefaultEndpoint(noSpatialSound);
    ASSERT_EQ(ZV_Success, Init(layout));
    expectUntouched("no dynamic objects");
    ASSERT_EQ(1u, standin::Step());
    std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(1u, passes.size());
    EXPECT_TRUE(PassIsSilent(passes[0]));

    // Lost, and the re-open fails on the lost device: passed through from then on.
    standin::LoseDevice();
    ASSERT_TRUE(StepUntilLost());
    expectUntouched("lost");
    EXPECT_EQ(StreamClosed, State());
}

TEST_F(EffectTest, ABusWithoutSpeakerBitsPassesThroughAndFeedsNothing) {
    ZvChannelLayout maskless;
    maskless.uNumChannels = 2;
    maskless.eConfigType = ZV_ChannelConfigType_Anonymous;
    for (const bool bAtInit : {true, false}) {
        SCOPED_TRACE(bAtInit ? "mask 0 at set-up" : "mask 0 in the buffer");
        const ZvChannelLayout initLayout =
            bAtInit ? maskless : ZvChannelLayout::FromMask(effect_tests::kStereoMask);
        ASSERT_EQ(ZV_Success, Init(initLayout));
        host::HostBusDriver driver(*m_pEffect, maskless, 512);
        FillBus(driver, 0);
        const std::vector<float> before = Snapshot(driver);
        driver.ProcessAsFilled(512);
        EXPECT_TRUE(BitwiseEqual(before, Snapshot(driver)));
        ASSERT_EQ(1u, standin::Step());
        const std::vector<standin::Pass> passes = standin::TakePasses();
        ASSERT_EQ(1u, passes.size());
        EXPECT_TRUE(PassIsSilent(passes[0]));
        Term();
    }
}

// A buffer that lacks a speaker of the set-up mask gets silence in that column, even when an
// earlier buffer filled it; a column whose source lies beyond the buffer's channels too.
TEST_F(EffectTest, AMissingSpeakerGivesSilenceInItsColumnNeverStaleSamples) {
    ASSERT_EQ(ZV_Success, Init(ZvChannelLayout::FromMask(effect_tests::kFiveOneMask), 480));
    host::HostBusDriver driver(*m_pEffect, ZvChannelLayout::FromMask(effect_tests::kFiveOneMask),
                               480);
    driver.Process(480, SampleSource());
    ASSERT_EQ(1u, standin::Step());

    // Front left, right and centre only: the LFE and back columns fall silent.
    driver.SetLayout(ZvChannelLayout::FromMask(0x7));
    driver.Process(480, SampleSource());
    ASSERT_EQ(1u, standin::Step());

    // Claims five speakers but holds two channels: the sources beyond the second are missing.
    testing_support::AssertRecorder checks;
    ZvChannelLayout shortBuffer = ZvChannelLayout::FromMask(0x37);  // 5.1 without the LFE
    shortBuffer.uNumChannels = 2;
    driver.SetLayout(shortBuffer);
    driver.Process(480, SampleSource());
    EXPECT_TRUE(checks.Saw("in_uIndex < NumChannels()", "ZvCommonDefs"));
    ASSERT_EQ(1u, standin::Step());

    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(3u, passes.size());
    EXPECT_TRUE(PassCarries(passes[0], {0, 1, 2, 5, 3, 4}, 0));
    for (size_t uPass = 1; uPass < 3; ++uPass) {
        SCOPED_TRACE(uPass);
        const uint32_t uLiveColumns = uPass == 1 ? 3 : 2;
        for (uint32_t uEntry = 0; uEntry < 6; ++uEntry) {
            const std::vector<float>& samples = passes[uPass].objects[uEntry].samples;
            for (uint32_t uFrame = 0; uFrame < 480; ++uFrame) {
                const float fExpected =
                    uEntry < uLiveColumns ? Sample(uEntry, 480 * uPass + uFrame) : 0.0f;
                ASSERT_EQ(fExpected, samples[uFrame]) << "entry " << uEntry << " frame " << uFrame;
            }
        }
    }
}

// The bounds the host's buffer and the renderer's objects set: more valid frames than the buffer
// holds, object buffers shorter than a pass, a pass count larger than the scratch.
TEST_F(EffectTest, NeitherThePassNorTheInterleaveWritesPastABuffer) {
    standin::EndpointConfig endpoint;
    endpoint.bufferFrames = 240;        // object buffers of half a pass
    endpoint.reportedFrameCount = 960;  // Begin claims twice the period
    standin::SetDefaultEndpoint(endpoint);
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kStereoMask);
    ASSERT_EQ(ZV_Success, Init(layout, 256));

    host::HostBusDriver driver(*m_pEffect, layout, 256);
    driver.Process(256, SampleSource());
    // 300 valid frames in a buffer of 256: only the 256 it holds are taken, and only they zeroed.
    driver.Process(300, SampleSource());
    for (uint32_t uFrame = 0; uFrame < 256; ++uFrame) {
        ASSERT_EQ(0.0f, driver.Channel(1)[uFrame]);
    }
    ASSERT_EQ(1u, standin::Step());
    ASSERT_EQ(1u, standin::Step());
    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(2u, passes.size());
    // Each pass moves as much as the shortest object buffer takes: frames 0..239, then 240..479.
    for (uint32_t uEntry = 0; uEntry < 2; ++uEntry) {
        for (uint32_t uPass = 0; uPass < 2; ++uPass) {
            const std::vector<float>& samples = passes[uPass].objects[uEntry].samples;
            ASSERT_EQ(240u, samples.size());
            for (uint32_t uFrame = 0; uFrame < 240; ++uFrame) {
                ASSERT_EQ(Sample(uEntry, 240 * uPass + uFrame), samples[uFrame]);
            }
        }
    }
}

// The ring: one pass worth plays and empties it, less is silence; ResetPlugin empties it; a host
// running ahead keeps the newest three buffers; small host buffers still fill a pass.
TEST_F(EffectTest, TheRingPlaysWholePassesOrSilence) {
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kStereoMask);
    ASSERT_EQ(ZV_Success, Init(layout, 480));
    host::HostBusDriver driver(*m_pEffect, layout, 480);
    driver.Process(480, SampleSource());  // exactly one pass
    ASSERT_EQ(1u, standin::Step());
    ASSERT_EQ(1u, standin::Step());       // empty now
    driver.Process(479, SampleSource());  // one frame short of a pass
    ASSERT_EQ(1u, standin::Step());
    std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(3u, passes.size());
    EXPECT_TRUE(PassCarries(passes[0], {0, 1}, 0));
    EXPECT_TRUE(PassIsSilent(passes[1]));
    EXPECT_TRUE(PassIsSilent(passes[2]));

    // ResetPlugin drops the 479 frames and whatever follows them before the next pass.
    driver.Process(480, SampleSource());
    EXPECT_EQ(ZV_Success, m_pEffect->ResetPlugin());
    ASSERT_EQ(1u, standin::Step());
    driver.Process(480, SampleSource());
    ASSERT_EQ(1u, standin::Step());
    passes = standin::TakePasses();
    ASSERT_EQ(2u, passes.size());
    EXPECT_TRUE(PassIsSilent(passes[0]));
    EXPECT_TRUE(PassCarries(passes[1], {0, 1}, 480 + 479 + 480));
}

// A burst of five host buffers before the passes (as a sink's queue asks for): the ring holds it
// all, and the passes play it from its first frame on, every frame once.
TEST_F(EffectTest, ABurstOfHostBuffersIsPlayedWhole) {
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kStereoMask);
    ASSERT_EQ(ZV_Success, Init(layout, 512));
    host::HostBusDriver driver(*m_pEffect, layout, 512);
    for (int iBuffer = 0; iBuffer < 5; ++iBuffer) {
        driver.Process(512, SampleSource());
    }
    for (int iPass = 0; iPass < 6; ++iPass) {
        ASSERT_EQ(1u, standin::Step());
    }
    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(6u, passes.size());
    // Frames 0 to 2559: five full passes, then silence (2400 to 2559 wait for a whole period).
    for (uint32_t uPass = 0; uPass < 5; ++uPass) {
        EXPECT_TRUE(PassCarries(passes[uPass], {0, 1}, 480 * uPass)) << "pass " << uPass;
    }
    EXPECT_TRUE(PassIsSilent(passes[5]));
}

TEST_F(EffectTest, SmallHostBuffersStillFillAPass) {
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kStereoMask);
    ASSERT_EQ(ZV_Success, Init(layout, 128));
    host::HostBusDriver driver(*m_pEffect, layout, 128);
    for (int iBuffer = 0; iBuffer < 4; ++iBuffer) {
        driver.Process(128, SampleSource());
    }
    ASSERT_EQ(1u, standin::Step());
    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(1u, passes.size());
    EXPECT_TRUE(PassCarries(passes[0], {0, 1}, 0));
}

// A lost stream: the worker re-opens it on the new default endpoint with a fresh client, stream,
// objects and tracing id; until the next buffer takes it over the bus passes through, and the new
// stream starts on an empty ring: it plays what the bus carries from then on, never what was left
// in the ring before the loss.
TEST_F(EffectTest, ALostStreamIsReopenedAndStartsOnAnEmptyRing) {
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kStereoMask);
    ASSERT_EQ(ZV_Success, Init(layout, 480));
    host::HostBusDriver driver(*m_pEffect, layout, 480);
    driver.Process(480, SampleSource());
    driver.Process(480, SampleSource());  // frames 480 to 959 stay in the ring
    ASSERT_EQ(1u, standin::Step());

    standin::LoseDevice();
    standin::SetDefaultEndpoint(standin::EndpointConfig());
    ASSERT_TRUE(StepUntilLost());
    EXPECT_EQ(StreamOpened, State());
    const std::vector<standin::ClientActivation> clients = standin::ClientActivations();
    ASSERT_EQ(2u, clients.size());
    EXPECT_NE(0, memcmp(&clients[0].params.tracingContextId, &clients[1].params.tracingContextId,
                        sizeof(GUID)));
    ASSERT_EQ(2u, standin::StreamActivations().size());

    standin::TakePasses();
    driver.Process(480, SampleSource());  // frames 960 to 1439
    EXPECT_EQ(StreamRunning, State());
    EXPECT_EQ(0.0f, driver.Channel(0)[0]) << "taken to the new stream";
    ASSERT_EQ(1u, standin::Step());
    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(1u, passes.size());
    EXPECT_EQ(standin::StreamActivations()[1].streamId, passes[0].streamId);
    ExpectBedObjects(passes[0], 2);
    EXPECT_TRUE(PassCarries(passes[0], {0, 1}, 960)) << "nothing from before the loss";
}

// A re-open that fails releases the dead stream, client and event at once and is tried again
// after 1, 2, 4 and 8 seconds of audio time (host buffers), then every 8 seconds, each try
// counted; the bus passes through untouched meanwhile, and once the device is back the next try
// takes the bus to the renderer again.
TEST_F(EffectTest, AFailedReopenIsTriedAgainAfterOneTwoFourAndEightSeconds) {
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kStereoMask);
    ASSERT_EQ(ZV_Success, Init(layout, 480));
    host::HostBusDriver driver(*m_pEffect, layout, 480);
    standin::LoseDevice();
    ASSERT_TRUE(StepUntilLost());
    EXPECT_EQ(StreamClosed, State());
    ASSERT_EQ(2u, standin::ClientActivations().size()) << "the first re-open comes at once";
    const standin::LiveCounts live = standin::Live();
    EXPECT_EQ(0u, live.comObjects) << "the dead stream and client are gone";
    EXPECT_EQ(0u, live.eventHandles);
    EXPECT_EQ(1u, live.workItems);

    // Host buffers of 10 ms, each followed by a renderer period, until the next try, at most
    // in_iBuffers; its audio time.
    auto processUntilTry = [&](int in_iBuffers) {
        const size_t uTries = standin::ClientActivations().size();
        for (int i = 0; i < in_iBuffers; ++i) {
            const uint64_t uFirst = driver.FramesProcessed();
            driver.Process(480, SampleSource());
            EXPECT_EQ(Sample(1, uFirst + 479), driver.Channel(1)[479]) << "passes through";
            standin::Step();
            if (standin::ClientActivations().size() > uTries) {
                return m_pEffect->AudioTimeMilliseconds();
            }
        }
        return uint64_t{UINT64_MAX};
    };
    uint64_t uPrevious = m_pEffect->AudioTimeMilliseconds();
    for (uint64_t uInterval : {1000u, 2000u, 4000u, 8000u, 8000u}) {
        SCOPED_TRACE(uInterval);
        const uint64_t uAt = processUntilTry(1000);
        EXPECT_GE(uAt, uPrevious + uInterval);
        EXPECT_LT(uAt, uPrevious + uInterval + 20);
        uPrevious = uAt;
    }
    EXPECT_EQ(6u, m_pEffect->FailedReopens());

    standin::SetDefaultEndpoint(standin::EndpointConfig());
    ASSERT_NE(UINT64_MAX, processUntilTry(810));
    EXPECT_EQ(StreamOpened, State());
    driver.Process(480, SampleSource());
    EXPECT_EQ(StreamRunning, State());
    EXPECT_EQ(0.0f, driver.Channel(1)[479]) << "the bus goes to the renderer again";
}

// The effect's notices so far, each with its level.
std::vector<std::pair<std::string, uint32_t>> Notices(host::HostEffectContext& in_context) {
    std::vector<std::pair<std::string, uint32_t>> notices;
    for (const host::HostMonitorLog::Message& message : in_context.MonitorLog().Messages()) {
        notices.emplace_back(message.text, message.eLevel);
    }
    return notices;
}

std::pair<std::string, uint32_t> WrongRateNotice(uint32_t in_uEngine, uint32_t in_uRenderer) {
    return {"Windows Sonic Effect plugin error: the engine runs at " + std::to_string(in_uEngine) +
                " Hz, the renderer plays at " + std::to_string(in_uRenderer) +
                " Hz; the bus plays through the engine",
            2u};
}

// The renderer plays at its own rate (48 kHz, as Windows Sonic does), and the effect converts
// none: a bus at 44.1 kHz would be heard 8.8 % sharp and fast through it. Such a renderer is as
// good as none: InitPlugin answers 2 after one level-2 notice naming both rates, and no stream is
// asked for. At the renderer's rate, or naming none, the effect takes the bus and says nothing.
TEST_F(EffectTest, ARendererAtAnotherRateThanTheEnginesIsAsGoodAsNone) {
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kStereoMask);
    EXPECT_EQ(ZV_Failure, Init(layout, 480, 44100));
    EXPECT_TRUE(standin::StreamActivations().empty());
    EXPECT_EQ(0u, standin::Live().workItems);
    EXPECT_EQ(decltype(Notices(*m_pContext)){WrongRateNotice(44100, 48000)}, Notices(*m_pContext));
    Term();

    for (const uint32_t uRate : {48000u, 0u}) {
        SCOPED_TRACE(uRate);
        ASSERT_EQ(ZV_Success, Init(layout, 480, uRate));
        host::HostBusDriver driver(*m_pEffect, layout, 480);
        driver.Process(480, SampleSource());
        EXPECT_EQ(0.0f, driver.Channel(0)[0]) << "taken to the renderer";
        EXPECT_TRUE(Notices(*m_pContext).empty());
        Term();
    }
}

// A re-open onto a renderer at another rate than the engine's is a failed re-open, for an engine
// at 48 kHz and at 44.1 kHz alike, and for one that named no rate (it runs at the rate of the
// renderer it first played through): tried again on the schedule, asking for no stream, the bus
// passing through untouched, with one level-2 notice naming both rates (posted by the audio
// thread); once the renderer is back at the engine's rate, the next try takes the bus again.
TEST_F(EffectTest, AReopenOntoAnotherRateIsAFailedReopen) {
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kStereoMask);
    struct Case {
        uint32_t uRecordRate, uRate, uOtherRate;  // the format record's, the engine's, the other
    };
    for (const Case& rates :
         {Case{48000, 48000, 44100}, Case{44100, 44100, 48000}, Case{0, 48000, 44100}}) {
        SCOPED_TRACE(rates.uRecordRate);
        standin::SetDefaultEndpoint(testing_support::EndpointAtRate(rates.uRate));
        ASSERT_EQ(ZV_Success, Init(layout, 480, rates.uRecordRate));
        host::HostBusDriver driver(*m_pEffect, layout, 480);
        const size_t uClients = standin::ClientActivations().size();
        const size_t uStreams = standin::StreamActivations().size();
        standin::LoseDevice();
        standin::SetDefaultEndpoint(testing_support::EndpointAtRate(rates.uOtherRate));
        ASSERT_TRUE(StepUntilLost());
        EXPECT_EQ(StreamClosed, State());
        EXPECT_EQ(uClients + 1, standin::ClientActivations().size())
            << "the first re-open comes at once";
        EXPECT_EQ(1u, m_pEffect->FailedReopens());

        // Buffers, each followed by a renderer period, until two more tries have failed.
        while (m_pEffect->FailedReopens() < 3 && driver.FramesProcessed() < 480u * 500) {
            FillBus(driver, driver.FramesProcessed());
            const std::vector<float> before = Snapshot(driver);
            driver.ProcessAsFilled(480);
            ASSERT_TRUE(BitwiseEqual(before, Snapshot(driver))) << "passes through untouched";
            standin::Step();
        }
        EXPECT_EQ(3u, m_pEffect->FailedReopens());
        EXPECT_EQ(uClients + 3, standin::ClientActivations().size());
        EXPECT_EQ(uStreams, standin::StreamActivations().size()) << "no stream at the wrong rate";
        const auto notices = Notices(*m_pContext);
        EXPECT_EQ(decltype(notices){WrongRateNotice(rates.uRate, rates.uOtherRate)}, notices);

        standin::SetDefaultEndpoint(testing_support::EndpointAtRate(rates.uRate));
        for (int i = 0; i < 500 && State() != StreamOpened; ++i) {
            driver.Process(480, SampleSource());
            standin::Step();
        }
        ASSERT_EQ(StreamOpened, State());
        driver.Process(480, SampleSource());
        EXPECT_EQ(StreamRunning, State());
        EXPECT_EQ(0.0f, driver.Channel(1)[479]) << "the bus goes to the renderer again";
        EXPECT_EQ(notices, Notices(*m_pContext));
        Term();
    }
}

// Objects that keep failing: after a few passes without them the stream counts as lost, so the
// bus passes through instead of being silenced for nothing. Since they never played, the re-open
// waits for its time; then it plays.
TEST_F(EffectTest, ObjectsThatKeepFailingLetTheBusPassThrough) {
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kStereoMask);
    ASSERT_EQ(ZV_Success, Init(layout, 480));
    host::HostBusDriver driver(*m_pEffect, layout, 480);
    standin::FailCall("ISpatialAudioObjectRenderStream::ActivateSpatialAudioObject", 1,
                      SPTLAUDCLNT_E_STATIC_OBJECT_NOT_AVAILABLE, UINT32_MAX);
    for (uint32_t uPass = 0; uPass < ISACFXPlugin::kUndeliveredPassLimit; ++uPass) {
        driver.Process(480, SampleSource());
        EXPECT_EQ(0.0f, driver.Channel(0)[0]) << "taken while the stream runs";
        ASSERT_EQ(1u, standin::Step());
    }
    EXPECT_EQ(StreamClosed, State());
    for (int i = 0; i < 50; ++i) {
        const uint64_t uFirst = driver.FramesProcessed();
        driver.Process(480, SampleSource());
        EXPECT_EQ(Sample(0, uFirst), driver.Channel(0)[0]) << "passes through";
        standin::Step();
    }
    EXPECT_EQ(1u, standin::ClientActivations().size()) << "no re-open before its time";
    EXPECT_EQ(1u, m_pEffect->FailedReopens());

    standin::ClearFaults();
    for (int i = 0; i < 60 && standin::ClientActivations().size() == 1; ++i) {
        driver.Process(480, SampleSource());
        standin::Step();
    }
    ASSERT_EQ(StreamOpened, State());
    standin::TakePasses();
    driver.Process(480, SampleSource());
    const uint64_t uFirst = driver.FramesProcessed() - 480;
    ASSERT_EQ(1u, standin::Step());
    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(1u, passes.size());
    EXPECT_TRUE(PassCarries(passes[0], {0, 1}, uFirst));
}

// A failed Begin is a loss too, after the cycle's End: the worker re-opens at once, the next
// buffer goes to the new stream, and the new stream never plays what the ring held at the loss.
TEST_F(EffectTest, AFailedBeginLosesTheStream) {
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kStereoMask);
    ASSERT_EQ(ZV_Success, Init(layout, 480));
    host::HostBusDriver driver(*m_pEffect, layout, 480);
    driver.Process(480, SampleSource());
    driver.Process(480, SampleSource());  // frames 0 to 959 in the ring
    standin::FailCall("ISpatialAudioObjectRenderStreamBase::BeginUpdatingAudioObjects", 1,
                      AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_EQ(0u, standin::Step(std::chrono::milliseconds(100)));
    ASSERT_TRUE(testing_support::WaitUntil([this]() { return State() != StreamRunning; }));
    EXPECT_EQ(1u,
              standin::CallCount("ISpatialAudioObjectRenderStreamBase::EndUpdatingAudioObjects"));
    driver.Process(480, SampleSource());  // frames 960 to 1439
    EXPECT_EQ(2u, standin::StreamActivations().size());
    standin::TakePasses();
    ASSERT_EQ(1u, standin::Step());
    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(1u, passes.size());
    EXPECT_FALSE(PassCarries(passes[0], {0, 1}, 0)) << "what the ring held";
    EXPECT_FALSE(PassCarries(passes[0], {0, 1}, 480)) << "what the ring held";
    EXPECT_EQ(StreamRunning, State());
    EXPECT_EQ(0.0f, driver.Channel(1)[0]) << "the new stream takes the bus";
}

// An object whose buffer cannot be had spoils that pass only: nothing is written, the period
// leaves the ring all the same (as in the sink: the bus keeps the clock's pace and plays no later
// afterwards), and the object is replaced by a new one for the next pass.
TEST_F(EffectTest, AnObjectThatFailsItsBufferIsReplacedAndTheBusKeepsItsPace) {
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kStereoMask);
    ASSERT_EQ(ZV_Success, Init(layout, 480));
    host::HostBusDriver driver(*m_pEffect, layout, 480);
    driver.Process(480, SampleSource());
    driver.Process(480, SampleSource());
    standin::FailCall("ISpatialAudioObjectBase::GetBuffer", 2, SPTLAUDCLNT_E_RESOURCES_INVALIDATED);
    ASSERT_EQ(1u, standin::Step());
    ASSERT_EQ(1u, standin::Step());
    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(2u, passes.size());
    EXPECT_TRUE(PassIsSilent(passes[0]));
    ExpectBedObjects(passes[1], 2);
    EXPECT_TRUE(PassCarries(passes[1], {0, 1}, 480));
    EXPECT_EQ(StreamRunning, State());
}

}  // namespace
