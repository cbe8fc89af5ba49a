// The sink through a thousand seeded transitions on the stepped renderer (ZV_SOAK_SEED and
// ZV_SOAK_CYCLES choose others): renderers that stop asking for passes, passes that fail to begin
// with each documented code, an endpoint removed and returned, objects that fail at GetBuffer and
// at activation, re-opens that fail up to three times before the device returns. The host renders
// a twelve-channel mix in which every sample names its channel and its frame, one 480-frame buffer
// per 480-frame period. After every period:
// - the host has not waited more than one period for IsDataNeeded to ask again;
// - every sample any bed object played is silence or its own channel's, never another's, and no
//   stream opened after a loss plays a frame written before it;
// - in steady playing every channel reaches its object;
// and after every device fault sound is back within one retry interval of the device's return.
// At the end nothing is allocated, referenced or open (the fixture checks).

#include <gtest/gtest.h>

#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "SinkTestSupport.h"
#include "TransitionSoak.h"
#include "standin/Control.h"

namespace {

using sink_testing::ChannelFrameSource;
using testing_support::CycleFault;
using testing_support::PassAudit;
using testing_support::RendererFault;
using testing_support::SoakRandom;

uint32_t FromEnvironment(const char* in_pszName, uint32_t in_uDefault) {
    const char* pszValue = getenv(in_pszName);
    return pszValue != nullptr ? static_cast<uint32_t>(strtoul(pszValue, nullptr, 0)) : in_uDefault;
}

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

    // One period: the renderer's step, then the host renders whatever the sink asks for; every
    // pass of the step is held against the signal. False (with the failure recorded) when an
    // invariant broke.
    bool Period() {
        standin::Step();
        if (m_pDriver->FillSink() == 0) {
            if (++m_uPeriodsWithoutFrame > 1) {
                return Fail("the host waited two periods for IsDataNeeded");
            }
        } else {
            m_uPeriodsWithoutFrame = 0;
        }
        m_bEveryObject = false;
        for (const standin::Pass& pass : standin::TakePasses()) {
            const PassAudit::Result result = m_audit.Check(pass, m_source.FramePosition());
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

    bool Cycle(SoakRandom& io_random) {
        // Steady playing: from the third period on every channel reaches its object.
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
        if (m_pSink->AudioTimeMilliseconds() - uReturned > uAllowed) {
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
    PassAudit m_audit{testing_support::SevenOneFourBedChannels(), &ChannelFrameSource::Decode,
                      ChannelFrameSource::kFrameModulus, 3 * 480};
    uint32_t m_uSeed = 0;
    uint32_t m_uCycle = 0;
    CycleFault m_fault;
    uint32_t m_uPeriodsWithoutFrame = 0;
    uint64_t m_uSoundStream = 0;  // the latest stream that played the signal
    bool m_bEveryObject = false;  // the latest pass had every object play the signal
};

TEST_F(SinkTransitionSoak, AThousandTransitionsKeepTheHostGoingAndEveryChannelInItsPlace) {
    m_uSeed = FromEnvironment("ZV_SOAK_SEED", 16);
    const uint32_t uCycles = FromEnvironment("ZV_SOAK_CYCLES", 1000);
    SoakRandom random(m_uSeed);
    for (m_uCycle = 1; m_uCycle <= uCycles; ++m_uCycle) {
        if (!Cycle(random)) {
            return;
        }
    }
    printf("seed %u: %u cycles, %llu s of audio, %u failed re-opens, %zu streams\n", m_uSeed,
           uCycles, static_cast<unsigned long long>(m_pSink->AudioTimeMilliseconds() / 1000),
           m_pSink->FailedReopens(), standin::StreamActivations().size());
    EXPECT_EQ(StreamRunning, m_pSink->GetStreamState());
}

}  // namespace
