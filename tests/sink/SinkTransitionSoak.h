// The sink through seeded transitions (ZV_SOAK_SEED and ZV_SOAK_CYCLES choose others than the
// tests' own): renderers that stop asking for passes, passes that fail to begin with each
// documented code, an endpoint removed and returned, objects that fail at GetBuffer and at
// activation, re-opens that fail up to three times before the device returns. The host renders a
// twelve-channel mix in which every sample names its channel and its frame, one 480-frame buffer
// whenever the sink asks. After every period:
// - the host has not waited more than one period for IsDataNeeded to ask again (stepped);
// - every sample any bed object played is silence or its own channel's, never another's, and no
//   stream opened after a loss plays a frame written before it;
// - in steady playing every channel reaches its object;
// and after every device fault sound is back within one retry interval of the device's return
// (stepped; in real time, eventually). At the end nothing is allocated, referenced or open (the
// fixture checks).
//
// Stepped, each period is one renderer step; in real-time pacing the host wakes every 10 ms, and
// a device stays away for at most one failed re-open, so that a run takes seconds.
#pragma once

#include <gtest/gtest.h>

#include <stdio.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "SinkTestSupport.h"
#include "TransitionSoak.h"
#include "standin/Control.h"

namespace sink_testing {

class SinkTransitionSoak : public sink_testing::SinkTest {
protected:
    void SetUp() override {
        SinkTest::SetUp();
        standin::CapturePasses(16);
        sink_testing::SinkSetup setup;
        setup.uFramesPerBuffer = 480;
        setup.uChannelConfig = 3;
        ASSERT_EQ(ZV_Success, CreateSink(setup));
        m_pDriver = MakeDriver();
        m_pDriver->SetSource(&m_source);
    }
    void TearDown() override {
        m_pDriver.reset();
        SinkTest::TearDown();
    }

    // Runs in_uCycles cycles of the seed from ZV_SOAK_SEED (else in_uSeed), stepped or in real
    // time; in real time, until in_wallTime has passed too.
    void Soak(uint32_t in_uSeed, uint32_t in_uCycles, bool in_bRealTime,
              std::chrono::seconds in_wallTime = std::chrono::seconds(0)) {
        m_bRealTime = in_bRealTime;
        if (m_bRealTime) {
            standin::SetPacing(standin::Pacing::RealTime);
            // Also what the host rendered between a pass and its audit.
            m_audit.SetMaxAge(8 * 480);
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
               static_cast<unsigned long long>(m_pSink->AudioTimeMilliseconds() / 1000),
               m_pSink->FailedReopens(), standin::StreamActivations().size());
    }

    // One period: the renderer's step (in real time, 10 ms of the clock), then the host renders
    // whatever the sink asks for; every pass played meanwhile is held against the signal. False
    // (with the failure recorded) when an invariant broke.
    bool Period() {
        if (m_bRealTime) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else {
            standin::Step();
        }
        if (m_pDriver->FillSink() == 0) {
            if (++m_uPeriodsWithoutFrame > 1 && !m_bRealTime) {
                return Fail("the host waited two periods for IsDataNeeded");
            }
        } else {
            m_uPeriodsWithoutFrame = 0;
        }
        for (const standin::Pass& pass : standin::TakePasses()) {
            const testing_support::PassAudit::Result result =
                m_audit.Check(pass, m_source.FramePosition());
            if (!result.failure.empty()) {
                return Fail(result.failure);
            }
            if (result.bSound) {
                m_uSoundStream = pass.streamId;
            }
            m_bEveryObject = result.bEveryObject;
        }
        return true;
    }

    bool Fail(const std::string& in_what) {
        ADD_FAILURE() << in_what << " (seed " << m_uSeed << ", cycle " << m_uCycle << ": "
                      << testing_support::Describe(m_fault) << ", audio time "
                      << m_pSink->AudioTimeMilliseconds() << " ms)";
        return false;
    }

    // Periods until in_done holds, at most in_uLimit of them.
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
            // The failures come within the next two passes; each failed object is activated
            // anew on a later pass, and meanwhile the others play.
            if (!Period() || !Period() ||
                !PeriodsUntil([&]() { return m_bEveryObject; }, 12,
                              "had every object back after object faults")) {
                return false;
            }
            standin::ClearFaults();
            return true;
        }

        // A device fault: the re-opens fail uFailedReopens times while the device is away.
        const uint64_t uLostStream = m_uSoundStream;
        const uint32_t uFailuresBefore = m_pSink->FailedReopens();
        m_audit.Loss(m_source.FramePosition());
        testing_support::LoseDevice(m_fault);
        if (m_fault.uFailedReopens > 0 &&
            !PeriodsUntil(
                [&]() {
                    return m_pSink->FailedReopens() - uFailuresBefore >= m_fault.uFailedReopens;
                },
                2000, "failed the re-opens")) {
            return false;
        }
        testing_support::ReturnDevice();
        if (m_fault.uActivationFailures > 0) {
            testing_support::FailObjects(m_fault, 1);
        }
        // Sound is back within the retry interval that runs when the device returns (without a
        // failed re-open: once the loss is noticed, within 100 ms), and two periods.
        const uint64_t uReturned = m_pSink->AudioTimeMilliseconds();
        if (!PeriodsUntil([&]() { return m_uSoundStream > uLostStream; }, 2000, "had sound back")) {
            return false;
        }
        const uint64_t uAllowed =
            (m_fault.uFailedReopens > 0 ? testing_support::RetryIntervalMs(m_fault.uFailedReopens)
                                        : 110) +
            20;
        if (!m_bRealTime && m_pSink->AudioTimeMilliseconds() - uReturned > uAllowed) {
            return Fail("sound came back " +
                        std::to_string(m_pSink->AudioTimeMilliseconds() - uReturned) +
                        " ms after the device");
        }
        standin::ClearFaults();
        return true;
    }

    ChannelFrameSource m_source;
    std::unique_ptr<host::SinkFrameDriver> m_pDriver;
    // No sample is older than the ring holds (two buffers) and a period.
    testing_support::PassAudit m_audit{testing_support::SevenOneFourBedChannels(),
                                       &ChannelFrameSource::Decode,
                                       ChannelFrameSource::kFrameModulus, 3 * 480};
    bool m_bRealTime = false;
    uint32_t m_uSeed = 0;
    uint32_t m_uCycle = 0;
    testing_support::CycleFault m_fault;
    uint32_t m_uPeriodsWithoutFrame = 0;
    uint64_t m_uSoundStream = 0;  // the latest stream that played the signal
    bool m_bEveryObject = false;  // the latest pass had every object play the signal
};

}  // namespace sink_testing
