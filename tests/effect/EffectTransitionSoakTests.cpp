// The effect through a thousand seeded transitions on the stepped renderer (ZV_SOAK_SEED and
// ZV_SOAK_CYCLES choose others), the sink's soak's faults: renderers that stop asking for passes,
// passes that fail to begin with each documented code, an endpoint removed and returned, objects
// that fail at GetBuffer and at activation, re-opens that fail up to three times. The engine
// hands over a 480-frame buffer of a twelve-channel bus, whose every sample names its channel and
// its frame, before each 480-frame period. After every period:
// - the buffer came back untouched (the bus passes through) or silent (taken to the renderer);
// - every sample any bed object played is silence or its own channel's, and no stream opened
//   after a loss plays a frame taken before it;
// - the bus is never taken for more than the 100 ms in which a silent renderer is noticed without
//   the renderer playing it (objects that keep failing let it pass through sooner);
// - in steady playing every channel reaches its object;
// and after every device fault sound is back within one retry interval of the device's return.
// At the end nothing is allocated, referenced or open (the fixture checks).

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "EffectTestSupport.h"
#include "HostBusDriver.h"
#include "TransitionSoak.h"
#include "standin/Control.h"

namespace {

using effect_tests::Sample;
using testing_support::CycleFault;
using testing_support::PassAudit;
using testing_support::RendererFault;
using testing_support::SoakRandom;

constexpr uint16_t kFrames = 480;
// Periods in which the bus may be taken without the renderer playing it: the 100 ms in which a
// silent renderer is noticed, and the period that notices it.
constexpr uint32_t kMaxUnheardPeriods = 11;

bool DecodeSample(float in_fSample, uint32_t& out_uChannel, uint64_t& out_uFrame) {
    const uint32_t uValue = static_cast<uint32_t>(in_fSample);
    if (static_cast<float>(uValue) != in_fSample || uValue < 100000) {
        return false;
    }
    out_uChannel = uValue / 100000 - 1;
    out_uFrame = uValue % 100000;
    return true;
}

uint32_t FromEnvironment(const char* in_pszName, uint32_t in_uDefault) {
    const char* pszValue = getenv(in_pszName);
    return pszValue != nullptr ? static_cast<uint32_t>(strtoul(pszValue, nullptr, 0)) : in_uDefault;
}

class EffectTransitionSoak : public effect_tests::EffectTest {
protected:
    void SetUp() override {
        EffectTest::SetUp();
        standin::CapturePasses(16);
        const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kSevenOneFourMask);
        ASSERT_EQ(ZV_Success, Init(layout, kFrames));
        m_pBus.reset(new host::HostBusDriver(*m_pEffect, layout, kFrames));
    }
    void TearDown() override {
        m_pBus.reset();
        EffectTest::TearDown();
    }

    // One period: the engine's buffer, then the renderer's step; the buffer and every pass of the
    // step are held against the signal. False (with the failure recorded) when an invariant
    // broke.
    bool Period() {
        // The buffer as the engine hands it over, kept to compare with what comes back.
        const uint64_t uFirst = m_pBus->FramesProcessed();
        for (uint32_t uChannel = 0; uChannel < 12; ++uChannel) {
            float* const pChannel = m_pBus->Channel(uChannel);
            for (uint32_t uFrame = 0; uFrame < kFrames; ++uFrame) {
                pChannel[uFrame] = Sample(uChannel, uFirst + uFrame);
            }
        }
        const std::vector<float> handedOver = effect_tests::Snapshot(*m_pBus);
        m_pBus->ProcessAsFilled(kFrames);
        const std::vector<float> cameBack = effect_tests::Snapshot(*m_pBus);
        const bool bTaken = cameBack == m_silence;
        if (!bTaken && cameBack != handedOver) {
            return Fail("a buffer came back neither untouched nor silent");
        }
        standin::Step();
        bool bHeard = false;
        m_bEveryObject = false;
        for (const standin::Pass& pass : standin::TakePasses()) {
            const PassAudit::Result result = m_audit.Check(pass, m_pBus->FramesProcessed());
            if (!result.failure.empty()) {
                return Fail(result.failure);
            }
            if (result.bSound) {
                m_uSoundStream = pass.streamId;
                bHeard = true;
            }
            m_bEveryObject = result.bEveryObject;
        }
        m_uUnheardPeriods = bTaken && !bHeard ? m_uUnheardPeriods + 1 : 0;
        if (m_uUnheardPeriods > kMaxUnheardPeriods) {
            return Fail("the bus was taken and not played for " +
                        std::to_string(m_uUnheardPeriods) + " periods");
        }
        return true;
    }

    bool Fail(const std::string& in_what) {
        ADD_FAILURE() << in_what << " (seed " << m_uSeed << ", cycle " << m_uCycle << ": "
                      << testing_support::Describe(m_fault) << ", audio time "
                      << m_pEffect->AudioTimeMilliseconds() << " ms)";
        return false;
    }

    template <typename Done>
    bool PeriodsUntil(Done in_done, uint32_t in_uLimit, const char* in_pszWhat) {
        for (uint32_t i = 0; !in_done(); ++i) {
            if (i == in_uLimit) {
                return Fail(std::string("never ") + in_pszWhat);
            }
            if (!Period()) {
                return false;
            }
        }
        return true;
    }

    bool Cycle(SoakRandom& io_random) {
        const uint32_t uSteady = io_random.Between(3, 8);
        for (uint32_t i = 0; i < uSteady; ++i) {
            if (!Period()) {
                return false;
            }
            if (i >= 2 && !m_bEveryObject) {
                return Fail("a channel did not reach its object in steady playing");
            }
        }

        m_fault = io_random.NextFault();
        if (m_fault.eKind == RendererFault::ObjectsFail) {
            testing_support::FailObjects(m_fault, io_random.Between(1, 12));
            // Failed objects are activated anew on a later pass; objects that keep failing for
            // a few passes lose the stream, which then comes back (at once, as it had played).
            if (!Period() || !Period() ||
                !PeriodsUntil([&]() { return m_bEveryObject; }, 40,
                              "had every object back after object faults")) {
                return false;
            }
            standin::ClearFaults();
            return true;
        }

        const uint64_t uLostStream = m_uSoundStream;
        const uint32_t uFailuresBefore = m_pEffect->FailedReopens();
        m_audit.Loss(m_pBus->FramesProcessed());
        testing_support::LoseDevice(m_fault);
        if (m_fault.uFailedReopens > 0 &&
            !PeriodsUntil(
                [&]() {
                    return m_pEffect->FailedReopens() - uFailuresBefore >= m_fault.uFailedReopens;
                },
                2000, "failed the re-opens")) {
            return false;
        }
        testing_support::ReturnDevice();
        if (m_fault.uActivationFailures > 0) {
            testing_support::FailObjects(m_fault, 1);
        }
        const uint64_t uReturned = m_pEffect->AudioTimeMilliseconds();
        if (!PeriodsUntil([&]() { return m_uSoundStream > uLostStream; }, 2000, "had sound back")) {
            return false;
        }
        const uint64_t uAllowed =
            (m_fault.uFailedReopens > 0 ? testing_support::RetryIntervalMs(m_fault.uFailedReopens)
                                        : 100) +
            20;
        if (m_pEffect->AudioTimeMilliseconds() - uReturned > uAllowed) {
            return Fail("sound came back " +
                        std::to_string(m_pEffect->AudioTimeMilliseconds() - uReturned) +
                        " ms after the device");
        }
        standin::ClearFaults();
        return true;
    }

    std::unique_ptr<host::HostBusDriver> m_pBus;
    const std::vector<float> m_silence = std::vector<float>(12 * kFrames, 0.0f);
    // No sample is older than the ring holds (three buffers) and a period.
    PassAudit m_audit{testing_support::SevenOneFourBedChannels(), &DecodeSample, 100000,
                      4 * kFrames};
    uint32_t m_uSeed = 0;
    uint32_t m_uCycle = 0;
    CycleFault m_fault;
    uint32_t m_uUnheardPeriods = 0;
    uint64_t m_uSoundStream = 0;
    bool m_bEveryObject = false;
};

TEST_F(EffectTransitionSoak, AThousandTransitionsTakeTheBusOnlyWhileTheRendererPlaysIt) {
    m_uSeed = FromEnvironment("ZV_SOAK_SEED", 16);
    const uint32_t uCycles = FromEnvironment("ZV_SOAK_CYCLES", 1000);
    SoakRandom random(m_uSeed);
    for (m_uCycle = 1; m_uCycle <= uCycles; ++m_uCycle) {
        if (!Cycle(random)) {
            return;
        }
    }
    printf("seed %u: %u cycles, %llu s of audio, %u failed re-opens, %zu streams\n", m_uSeed,
           uCycles, static_cast<unsigned long long>(m_pEffect->AudioTimeMilliseconds() / 1000),
           m_pEffect->FailedReopens(), standin::StreamActivations().size());
}

}  // namespace
