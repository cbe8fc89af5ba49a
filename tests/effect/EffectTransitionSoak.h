// The effect through seeded transitions (ZV_SOAK_SEED and ZV_SOAK_CYCLES choose others than the
// tests' own), the sink's soak's faults: renderers that stop asking for passes, passes that fail
// to begin with each documented code, an endpoint removed and returned, objects that fail at
// GetBuffer and at activation, re-opens that fail up to three times. The engine hands over a
// 480-frame buffer of a twelve-channel bus, whose every sample names its channel and its frame,
// every period. After every period:
// - the buffer came back untouched (the bus passes through) or silent (taken to the renderer);
// - every sample any bed object played is silence or its own channel's, and no stream opened
//   after a loss plays a frame taken before it;
// - the bus is never taken for more than the 100 ms in which a silent renderer is noticed without
//   the renderer playing it (objects that keep failing let it pass through sooner) (stepped);
// - in steady playing every channel reaches its object;
// and after every device fault sound is back within one retry interval of the device's return
// (stepped; in real time, eventually). At the end nothing is allocated, referenced or open (the
// fixture checks).
//
// Stepped, each period is one renderer step; in real-time pacing the engine wakes every 10 ms,
// and a device stays away for at most one failed re-open, so that a run takes seconds.
#pragma once

#include <gtest/gtest.h>

#include <stdio.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "EffectTestSupport.h"
#include "HostBusDriver.h"
#include "TransitionSoak.h"
#include "standin/Control.h"

namespace effect_tests {

constexpr uint16_t kSoakFrames = 480;
// Periods in which the bus may be taken without the renderer playing it: the 100 ms in which a
// silent renderer is noticed, and the period that notices it.
constexpr uint32_t kMaxUnheardPeriods = 11;

inline bool DecodeSample(float in_fSample, uint32_t& out_uChannel, uint64_t& out_uFrame) {
    const uint32_t uValue = static_cast<uint32_t>(in_fSample);
    if (static_cast<float>(uValue) != in_fSample || uValue < 100000) {
        return false;
    }
    out_uChannel = uValue / 100000 - 1;
    out_uFrame = uValue % 100000;
    return true;
}

class EffectTransitionSoak : public EffectTest {
protected:
    void SetUp() override {
        EffectTest::SetUp();
        standin::CapturePasses(16);
        const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kSevenOneFourMask);
        ASSERT_EQ(ZV_Success, Init(layout, kSoakFrames));
        m_pBus.reset(new host::HostBusDriver(*m_pEffect, layout, kSoakFrames));
    }
    void TearDown() override {
        m_pBus.reset();
        EffectTest::TearDown();
    }

    // Runs in_uCycles cycles of the seed from ZV_SOAK_SEED (else in_uSeed), stepped or in real
    // time; in real time, until in_wallTime has passed too.
    void Soak(uint32_t in_uSeed, uint32_t in_uCycles, bool in_bRealTime,
              std::chrono::seconds in_wallTime = std::chrono::seconds(0)) {
        m_bRealTime = in_bRealTime;
        m_start = std::chrono::steady_clock::now();
        if (m_bRealTime) {
            standin::SetPacing(standin::Pacing::RealTime);
            // Also what the engine handed over between a pass and its audit.
            m_audit.SetMaxAge(10 * kSoakFrames);
        }
        m_uSeed = testing_support::FromEnvironment("ZV_SOAK_SEED", in_uSeed);
        const uint32_t uCycles = testing_support::FromEnvironment("ZV_SOAK_CYCLES", in_uCycles);
        testing_support::SoakRandom random(m_uSeed);
        const auto start = std::chrono::steady_clock::now();
        for (m_uCycle = 1;
             m_uCycle <= uCycles || std::chrono::steady_clock::now() - start < in_wallTime;
             ++m_uCycle) {
            if (!Cycle(random)) {
                return;
            }
        }
        printf("seed %u: %u cycles, %llu s of audio, %u failed re-opens, %zu streams\n", m_uSeed,
               m_uCycle - 1,
               static_cast<unsigned long long>(m_pEffect->AudioTimeMilliseconds() / 1000),
               m_pEffect->FailedReopens(), standin::StreamActivations().size());
    }

    // One period: the engine's buffer, then the renderer's step; in real time, 10 ms of the clock
    // and the buffers the engine is due to hand over by then (two ahead of the clock, so that the
    // ring does not run short). The buffers and every pass played meanwhile are held against the
    // signal. False (with the failure recorded) when an invariant broke.
    bool Period() {
        bool bTaken = false;
        if (!m_bRealTime) {
            if (!HandOver(bTaken)) {
                return false;
            }
            standin::Step();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const uint64_t uDue =
                static_cast<uint64_t>(
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start)
                        .count() *
                    48000.0) +
                2 * kSoakFrames;
            while (m_pBus->FramesProcessed() < uDue) {
                if (!HandOver(bTaken)) {
                    return false;
                }
            }
        }
        bool bHeard = false;
        for (const standin::Pass& pass : standin::TakePasses()) {
            const testing_support::PassAudit::Result result =
                m_audit.Check(pass, m_pBus->FramesProcessed());
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
        if (m_uUnheardPeriods > kMaxUnheardPeriods && !m_bRealTime) {
            return Fail("the bus was taken and not played for " +
                        std::to_string(m_uUnheardPeriods) + " periods");
        }
        return true;
    }

    // One buffer as the engine hands it over, kept to compare with what comes back: untouched,
    // or (out_rbTaken) silent.
    bool HandOver(bool& out_rbTaken) {
        const uint64_t uFirst = m_pBus->FramesProcessed();
        for (uint32_t uChannel = 0; uChannel < 12; ++uChannel) {
            float* const pChannel = m_pBus->Channel(uChannel);
            for (uint32_t uFrame = 0; uFrame < kSoakFrames; ++uFrame) {
                pChannel[uFrame] = Sample(uChannel, uFirst + uFrame);
            }
        }
        const std::vector<float> handedOver = effect_tests::Snapshot(*m_pBus);
        m_pBus->ProcessAsFilled(kSoakFrames);
        const std::vector<float> cameBack = effect_tests::Snapshot(*m_pBus);
        out_rbTaken = cameBack == m_silence;
        return out_rbTaken || cameBack == handedOver ||
               Fail("a buffer came back neither untouched nor silent");
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

    bool Cycle(testing_support::SoakRandom& io_random) {
        // Steady playing: every channel reaches its object from the third period on (in real
        // time, where the ring may run short now and then, in some period).
        const uint32_t uSteady = io_random.Between(3, 8);
        bool bEverySeen = false;
        m_bEveryObject = false;
        for (uint32_t i = 0; i < uSteady; ++i) {
            if (!Period()) {
                return false;
            }
            bEverySeen = bEverySeen || m_bEveryObject;
            if (i >= 2 && !m_bEveryObject && !m_bRealTime) {
                return Fail("a channel did not reach its object in steady playing");
            }
        }
        if (!bEverySeen) {
            return Fail("no channel reached its object in steady playing");
        }

        m_fault = io_random.NextFault();
        m_bEveryObject = false;
        if (m_bRealTime && m_fault.uFailedReopens > 1) {
            m_fault.uFailedReopens = 1;
        }
        if (m_fault.eKind == testing_support::RendererFault::ObjectsFail) {
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
        if (!m_bRealTime && m_pEffect->AudioTimeMilliseconds() - uReturned > uAllowed) {
            return Fail("sound came back " +
                        std::to_string(m_pEffect->AudioTimeMilliseconds() - uReturned) +
                        " ms after the device");
        }
        standin::ClearFaults();
        return true;
    }

    std::unique_ptr<host::HostBusDriver> m_pBus;
    const std::vector<float> m_silence = std::vector<float>(12 * kSoakFrames, 0.0f);
    // No sample is older than the ring holds (three buffers) and a period.
    testing_support::PassAudit m_audit{testing_support::SevenOneFourBedChannels(), &DecodeSample,
                                       100000, 4 * kSoakFrames};
    bool m_bRealTime = false;
    std::chrono::steady_clock::time_point m_start;
    uint32_t m_uSeed = 0;
    uint32_t m_uCycle = 0;
    testing_support::CycleFault m_fault;
    uint32_t m_uUnheardPeriods = 0;
    uint64_t m_uSoundStream = 0;
    bool m_bEveryObject = false;
};

}  // namespace effect_tests
