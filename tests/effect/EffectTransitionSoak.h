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

class EffectTransitionSoak : public EffectTest,
                             public testing_support::SoakCycles<EffectTransitionSoak> {
public:
    // No sample is older than the ring holds (three buffers) and a period; a silent renderer is
    // noticed after 100 ms.
    EffectTransitionSoak()
        : testing_support::SoakCycles<EffectTransitionSoak>(
              testing_support::SevenOneFourBedChannels(), &DecodeSample, 100000, 4 * kSoakFrames,
              100) {}

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
        if (!AuditPasses(bHeard)) {
            return false;
        }
        m_uUnheardPeriods = bTaken && !bHeard ? m_uUnheardPeriods + 1 : 0;
        if (m_uUnheardPeriods > kMaxUnheardPeriods && !m_bRealTime) {
            return Fail("the bus was taken and not played for " +
                        std::to_string(m_uUnheardPeriods) + " periods");
        }
        return true;
    }
    uint32_t FailedReopens() const { return m_pEffect->FailedReopens(); }
    uint64_t AudioTimeMs() const { return m_pEffect->AudioTimeMilliseconds(); }
    uint64_t FramesWritten() const { return m_pBus->FramesProcessed(); }

protected:
    void SetUp() override {
        EffectTest::SetUp();
        standin::CapturePasses(16);
        const ZvChannelLayout layout = ZvChannelLayout::FromMask(kSevenOneFourMask);
        ASSERT_EQ(ZV_Success, Init(layout, kSoakFrames));
        m_pBus.reset(new host::HostBusDriver(*m_pEffect, layout, kSoakFrames));
    }
    void TearDown() override {
        m_pBus.reset();
        EffectTest::TearDown();
    }

    // A run in real time: seconds of it, and the engine may hand over a few buffers between a
    // pass and its audit.
    void SoakInRealTime(uint32_t in_uSeed, std::chrono::seconds in_wallTime) {
        Soak(in_uSeed, 0, true, in_wallTime, 10 * kSoakFrames);
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
        const std::vector<float> handedOver = Snapshot(*m_pBus);
        m_pBus->ProcessAsFilled(kSoakFrames);
        const std::vector<float> cameBack = Snapshot(*m_pBus);
        out_rbTaken = cameBack == m_silence;
        return out_rbTaken || cameBack == handedOver ||
               Fail("a buffer came back neither untouched nor silent");
    }

    std::unique_ptr<host::HostBusDriver> m_pBus;
    const std::vector<float> m_silence = std::vector<float>(12 * kSoakFrames, 0.0f);
    uint32_t m_uUnheardPeriods = 0;
};

}  // namespace effect_tests
