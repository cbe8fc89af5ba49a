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

#include <chrono>
#include <memory>
#include <thread>

#include "SinkTestSupport.h"
#include "TransitionSoak.h"
#include "standin/Control.h"

namespace sink_testing {

class SinkTransitionSoak : public SinkTest, public testing_support::SoakCycles<SinkTransitionSoak> {
public:
    // No sample is older than the ring holds (two buffers) and a period; a silent renderer is
    // noticed after 100 ms, in the eleventh period.
    SinkTransitionSoak()
        : testing_support::SoakCycles<SinkTransitionSoak>(
              testing_support::SevenOneFourBedChannels(), &ChannelFrameSource::Decode,
              ChannelFrameSource::kFrameModulus, 3 * 480, 110) {}

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
        bool bHeard = false;
        return AuditPasses(bHeard);
    }
    uint32_t FailedReopens() const { return m_pSink->FailedReopens(); }
    uint64_t AudioTimeMs() const { return m_pSink->AudioTimeMilliseconds(); }
    uint64_t FramesWritten() const { return m_source.FramePosition(); }

protected:
    void SetUp() override {
        SinkTest::SetUp();
        standin::CapturePasses(16);
        SinkSetup setup;
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

    // A run in real time: seconds of it, and the host may render a few buffers between a pass
    // and its audit.
    void SoakInRealTime(uint32_t in_uSeed, std::chrono::seconds in_wallTime) {
        Soak(in_uSeed, 0, true, in_wallTime, 8 * 480);
    }

    ChannelFrameSource m_source;
    std::unique_ptr<host::SinkFrameDriver> m_pDriver;
    uint32_t m_uPeriodsWithoutFrame = 0;
};

}  // namespace sink_testing
