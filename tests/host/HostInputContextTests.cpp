// The test host's input context: rays as the mixer reads them, speaker volumes from the ray's
// azimuth with the previous call's direction as the previous matrix, refused matrices, and
// audio-thread services that allocate nothing.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "AllocationCounter.h"
#include "HostGlobalContext.h"
#include "HostMixerContext.h"
#include "HostMixerInputContext.h"
#include "OwnedSampleBuffer.h"

namespace {

constexpr float kPi = 3.14159265f;

ZV::ZvEmitterRay PreparedRay() {
    ZV::ZvEmitterRay ray;
    std::memset(&ray, 0xAB, sizeof(ray));
    ray.fDistance = 0.0f;
    ray.fAzimuth = 0.0f;
    ray.fElevation = 0.0f;
    ray.uListenerId = 0;
    ray.fSpread = 1.0f;
    ray.uEmitterChannelMask = 0xFFFFFFFFu;
    ray.uPositionIndex = 0;
    return ray;
}

TEST(HostInputContextTest, Get3DPositionFillsTheLeadingFloatsOfTheRayAsked) {
    host::HostMixerInputContext input;
    input.SetRays({{10.0f, 0.5f, -0.25f}, {3.0f, -1.0f, 0.125f}});
    ZV::IMixerInputContext* pInput = &input;
    ASSERT_EQ(2u, pInput->GetRayCount());

    ZV::ZvEmitterRay ray = PreparedRay();
    const ZV::ZvEmitterRay prepared = ray;
    ASSERT_EQ(ZV_Success, pInput->Get3DPosition(1, ray));
    EXPECT_EQ(3.0f, ray.fDistance);
    EXPECT_EQ(-1.0f, ray.fAzimuth);
    EXPECT_EQ(0.125f, ray.fElevation);
    // Everything after the three floats is as the caller left it, and the context kept the
    // record as it arrived.
    EXPECT_EQ(0, std::memcmp(reinterpret_cast<const uint8_t*>(&prepared) + 12,
                             reinterpret_cast<const uint8_t*>(&ray) + 12, sizeof(ray) - 12));
    EXPECT_EQ(0, std::memcmp(&prepared, &input.LastRayReceived(), sizeof(prepared)));

    ASSERT_EQ(ZV_Success, pInput->Get3DPosition(0, ray));
    EXPECT_EQ(10.0f, ray.fDistance);
    EXPECT_TRUE(input.Errors().empty());

    // A ray the input does not have, or a failure the test asks for, leaves the record alone.
    ray = prepared;
    EXPECT_EQ(ZV_Failure, pInput->Get3DPosition(2, ray));
    EXPECT_EQ(1u, input.Errors().size());
    input.FailGet3DPosition(true);
    EXPECT_EQ(ZV_Failure, pInput->Get3DPosition(0, ray));
    EXPECT_EQ(0, std::memcmp(&prepared, &ray, sizeof(ray)));
}

class HostSpeakerVolumesTest : public ::testing::Test {
protected:
    static constexpr uint32_t kOutputs = 6;  // 5.1: FL FR FC BL BR LFE
    static constexpr uint32_t kStride = 8;

    ZvResult Compute() {
        std::fill(m_prev.begin(), m_prev.end(), -1.0f);
        std::fill(m_next.begin(), m_next.end(), -1.0f);
        ZV::SpeakerVolumeMatrix prev{m_prev.data(), 1, kOutputs};
        ZV::SpeakerVolumeMatrix next{m_next.data(), 1, kOutputs};
        return m_input.ComputeSpeakerVolumes(ZvChannelLayout::FromMask(0x4),
                                             ZvChannelLayout::FromMask(0x3F), prev, next);
    }

    host::HostMixerInputContext m_input;
    std::vector<float> m_prev = std::vector<float>(kStride);
    std::vector<float> m_next = std::vector<float>(kStride);
};

TEST_F(HostSpeakerVolumesTest, NextFollowsTheRayAndPreviousTheCallBefore) {
    // No ray: straight ahead.
    ASSERT_EQ(ZV_Success, Compute());
    EXPECT_NEAR(1.0f, m_next[2], 1e-6);
    EXPECT_EQ(m_prev, m_next);

    m_input.SetPosition(10.0f, kPi / 6.0f, 0.0f);
    ASSERT_EQ(ZV_Success, Compute());
    EXPECT_NEAR(1.0f, m_prev[2], 1e-6);  // where it was
    EXPECT_NEAR(1.0f, m_next[1], 1e-6);  // front right, where it is

    m_input.SetPosition(10.0f, -kPi / 6.0f, 0.0f);
    ASSERT_EQ(ZV_Success, Compute());
    EXPECT_NEAR(1.0f, m_prev[1], 1e-6);
    EXPECT_NEAR(1.0f, m_next[0], 1e-6);
    EXPECT_EQ(3u, m_input.ComputeSpeakerVolumesCalls());
    EXPECT_TRUE(m_input.Errors().empty());

    // A matrix of another shape is refused, and neither matrix is touched.
    std::vector<float> narrow(kStride, -1.0f);
    ZV::SpeakerVolumeMatrix wrongOutputs{narrow.data(), 1, 2};
    ZV::SpeakerVolumeMatrix fine{m_next.data(), 1, kOutputs};
    std::fill(m_next.begin(), m_next.end(), -1.0f);
    EXPECT_EQ(ZV_BadParameter,
              m_input.ComputeSpeakerVolumes(ZvChannelLayout::FromMask(0x4),
                                            ZvChannelLayout::FromMask(0x3F), wrongOutputs, fine));
    EXPECT_EQ(std::vector<float>(kStride, -1.0f), narrow);
    EXPECT_EQ(std::vector<float>(kStride, -1.0f), m_next);
    EXPECT_EQ(1u, m_input.Errors().size());
}

// The mixer proves that its audio-thread path allocates nothing; the host services it calls
// there must not allocate either, or the proof would fail for the host's sake.
TEST(HostAudioThreadServicesTest, AllocateNothing) {
    if (!testing_support::AllocationCountingAvailable()) {
        GTEST_SKIP() << "allocations are not counted in this build";
    }
    host::HostGlobalContext global(64);
    host::HostMixerContext context(global);
    host::HostMixerInputContext input;
    input.SetPosition(2.0f, 1.0f, 0.0f);
    testing_support::OwnedSampleBuffer inputBuffer(ZvChannelLayout::FromMask(0x3), 64, 64);
    testing_support::OwnedSampleBuffer mixBuffer(ZvChannelLayout::FromMask(0x63F), 64, 0);
    std::vector<float> prev(2 * 8);
    std::vector<float> next(2 * 8);
    const uint8_t aRecord[12] = {1, 0, 0, 0, 2, 0, 0, 0, 32, 0, 0, 0};

    testing_support::AllocationWatch watch;
    for (int iFrame = 0; iFrame < 300; ++iFrame) {
        ZV::ZvEmitterRay ray = PreparedRay();
        input.Get3DPosition(0, ray);
        ZV::SpeakerVolumeMatrix prevMatrix{prev.data(), 2, 8};
        ZV::SpeakerVolumeMatrix nextMatrix{next.data(), 2, 8};
        input.ComputeSpeakerVolumes(inputBuffer.Get()->channelConfig,
                                    mixBuffer.Get()->channelConfig, prevMatrix, nextMatrix);
        global.MixWithVolumes(inputBuffer.Get(), mixBuffer.Get(), 1.0f, 1.0f, prevMatrix,
                              nextMatrix);
        global.AddChannelRamped(inputBuffer.Channel(0), mixBuffer.Channel(0), 1.0f, 0.5f, 64);
        if (context.CanPostMonitorData()) {
            context.PostMonitorData(aRecord, sizeof(aRecord));
        }
        context.PostMonitorMessage("WS Mixer Plugin: Resetting", 1);
    }
    EXPECT_EQ(0u, watch.Count());
    EXPECT_TRUE(global.Errors().empty());
    EXPECT_TRUE(input.Errors().empty());
}

}  // namespace
