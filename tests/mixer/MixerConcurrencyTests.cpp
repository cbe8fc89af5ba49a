// The mixer's threads at the renderer's real pace, for both builds (run under ThreadSanitizer
// too): an audio thread moving 32 voices frame after frame while the render worker feeds their
// objects, through a lost device and a failed pass; and a TermPlugin in the middle of passes.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "MixerTestSupport.h"
#include "PlacementExchange.h"
#include "VoiceSoak.h"
#include "standin/Control.h"

namespace {

using mixer_tests::kMono;
using mixer_tests::kStereo;

constexpr auto kPeriod = std::chrono::milliseconds(10);  // 480 frames at 48 kHz

// The audio thread publishes a new position and volume every frame while the render worker takes
// them for its passes: every placement the worker takes is one the audio thread published whole
// (all four values from one frame), never older than one it took before, and once the writer
// has stopped the worker finds the last one.
TEST(PlacementExchangeTest, TheReaderTakesWholePlacementsInOrderWhileTheWriterPublishes) {
    PlacementExchange exchange;
    constexpr uint32_t kPublished = 200000;
    std::atomic<bool> bDone{false};
    std::thread writer([&]() {
        for (uint32_t i = 1; i <= kPublished; ++i) {
            const float f = static_cast<float>(i);
            exchange.Publish(Placement{f, -f, 0.5f * f, 1.0f / f});
        }
        bDone.store(true, std::memory_order_release);
    });
    uint32_t uTorn = 0;
    uint32_t uBackwards = 0;
    uint32_t uReads = 0;
    float fLast = 0.0f;
    auto check = [&](const Placement& in_placement) {
        ++uReads;
        const float f = in_placement.fX;
        if (f == 0.0f) {
            return;  // nothing published yet: the initial placement
        }
        if (in_placement.fY != -f || in_placement.fZ != 0.5f * f ||
            in_placement.fVolume != 1.0f / f) {
            ++uTorn;
        }
        if (f < fLast) {
            ++uBackwards;
        }
        fLast = f;
    };
    while (!bDone.load(std::memory_order_acquire)) {
        check(exchange.Latest());
    }
    writer.join();
    check(exchange.Latest());
    EXPECT_EQ(0u, uTorn) << "of " << uReads << " placements taken";
    EXPECT_EQ(0u, uBackwards);
    EXPECT_EQ(static_cast<float>(kPublished), fLast);
}

template <typename Build>
class MixerConcurrencyTest : public mixer_tests::MixerTest<Build> {
protected:
    void SetUp() override {
        mixer_tests::MixerTest<Build>::SetUp();
        standin::CapturePasses(0);
        standin::SetPacing(standin::Pacing::RealTime);
    }

    // One frame of the audio thread at the renderer's pace: the voices move a little each frame.
    void PacedFrame() {
        const float fTurn = 0.01f * static_cast<float>(this->m_pDriver->FramesRun());
        for (size_t i = 0; i < this->m_pDriver->VoiceCount(); ++i) {
            this->m_pDriver->VoiceAt(i).Context().SetPosition(1.0f + static_cast<float>(i), fTurn,
                                                              0.1f);
        }
        this->m_pDriver->RunFrame();
        m_next += kPeriod;
        std::this_thread::sleep_until(m_next);
    }

    // Paced frames until every voice plays on an object again (bounded); whether they do.
    bool FramesUntilAllPlay(uint32_t in_uVoices) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            PacedFrame();
            if (this->LastCounters().uPlayingObjects == in_uVoices) {
                return true;
            }
        }
        return false;
    }

    // Paced frames until a stream opened after the first in_uStreamsBefore has run a few passes
    // with every voice on an object (bounded); whether it has.
    bool FramesUntilANewStreamPlays(size_t in_uStreamsBefore, uint32_t in_uVoices) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            PacedFrame();
            const std::vector<standin::StreamActivation> activations = standin::StreamActivations();
            if (activations.size() <= in_uStreamsBefore || activations.back().result != S_OK ||
                this->LastCounters().uPlayingObjects != in_uVoices) {
                continue;
            }
            for (const standin::StreamStats& stream : standin::Streams()) {
                if (stream.streamId == activations.back().streamId && stream.passes >= 5) {
                    return true;
                }
            }
        }
        return false;
    }

    std::chrono::steady_clock::time_point m_next = std::chrono::steady_clock::now();
};
TYPED_TEST_SUITE(MixerConcurrencyTest, mixer_tests::Builds, mixer_tests::BuildNames);

TYPED_TEST(MixerConcurrencyTest, ThirtyTwoMovingVoicesPlayOnThroughLossesAtTheRenderersPace) {
    standin::EndpointConfig endpoint;
    endpoint.maxDynamicObjects = 40;
    standin::SetDefaultEndpoint(endpoint);
    ASSERT_EQ(ZV_Success, this->Start(kStereo, 32));
    for (int i = 0; i < 32; ++i) {
        this->AddVoice(kMono, {0.01f * static_cast<float>(i + 1)}, 1.0f, 0.0f);
    }
    this->m_next = std::chrono::steady_clock::now();
    ASSERT_TRUE(this->FramesUntilAllPlay(32));
    for (int i = 0; i < 20; ++i) {
        this->PacedFrame();
    }

    // The device goes; a new default endpoint comes.
    ASSERT_EQ(1u, standin::StreamActivations().size());
    standin::LoseDevice();
    endpoint.id = L"{0.0.0.00000000}.{a1b2c3d4-0000-4000-8000-000000000002}";
    standin::SetDefaultEndpoint(endpoint);
    ASSERT_TRUE(this->FramesUntilANewStreamPlays(1, 32));

    // A pass fails to begin: the stream is opened anew on the same endpoint.
    standin::FailCall("ISpatialAudioObjectRenderStreamBase::BeginUpdatingAudioObjects", 1,
                      AUDCLNT_E_DEVICE_INVALIDATED);
    ASSERT_TRUE(this->FramesUntilANewStreamPlays(2, 32));
    EXPECT_EQ(3u, standin::StreamActivations().size());
    for (int i = 0; i < 20; ++i) {
        this->PacedFrame();
    }

    const SpatialMixerFX::MonitorData counters = this->LastCounters();
    EXPECT_EQ(32u, counters.uPlayingObjects);
    EXPECT_EQ(32u, counters.uTotalVoices);
    EXPECT_EQ(32u, counters.uMaxAvailableObjects);
    // The worker alone drove every pass, one at a time: the only calls out of order are those of
    // the pass that went on after its Begin failed (32 buffers and its End).
    uint64_t uOutOfOrder = 0;
    for (const standin::StreamStats& stream : standin::Streams()) {
        uOutOfOrder += stream.outOfOrderCalls;
    }
    EXPECT_EQ(33u, uOutOfOrder);
    // The desktop build's notices: the objects lost and back, twice.
    EXPECT_EQ(TypeParam::kDesktop ? 4u : 0u, this->m_pContext->MonitorLog().MessageCount());
}

TYPED_TEST(MixerConcurrencyTest, TermPluginInTheMiddleOfPassesReturnsOnlyOnceTheWorkerHas) {
    ASSERT_EQ(ZV_Success, this->Start());
    for (int i = 0; i < 4; ++i) {
        this->AddVoice(kMono, {0.5f}, 1.0f, static_cast<float>(i));
    }
    this->m_next = std::chrono::steady_clock::now();
    ASSERT_TRUE(this->FramesUntilAllPlay(4));
    this->m_pDriver->RemoveAllVoices();
    ASSERT_EQ(ZV_Success, this->m_pMixer->TermPlugin(&this->m_allocator));
    this->m_pMixer = nullptr;
    // Nothing of the worker is left running, and the stream is gone with the mixer.
    const standin::LiveCounts live = standin::Live();
    EXPECT_EQ(0u, live.runningCallbacks);
    EXPECT_EQ(0u, live.workItems);
    EXPECT_EQ(0u, live.audioObjects);
    EXPECT_EQ(0u, standin::StartedStreamCount());
}

// The voice soak at the renderer's real pace, its render worker and the desktop build's
// activations on their own threads: the same checks, for about three seconds.
template <typename Build>
using MixerRealTimeSoakTest = mixer_tests::VoiceSoakTest<Build>;
TYPED_TEST_SUITE(MixerRealTimeSoakTest, mixer_tests::Builds, mixer_tests::BuildNames);

TYPED_TEST(MixerRealTimeSoakTest, EveryVoiceIsHeardOnceWhereItIsAtTheRenderersPace) {
    const mixer_tests::SoakCoverage coverage = this->Soak(23, 300, true);
    EXPECT_EQ(2u, coverage.uLosses);
    EXPECT_LE(2u, coverage.uReturns);
    EXPECT_LE(10000u, coverage.uObjectSamplesHeard);
    printf("%s\n", coverage.Summary().c_str());
}

}  // namespace
