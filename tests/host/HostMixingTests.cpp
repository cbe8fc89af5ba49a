// The test host's mixing services, which the mixer's bed route and object mix-down rely on:
// ramped channel adds and matrix mixes with padded rows.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "HostGlobalContext.h"
#include "OwnedSampleBuffer.h"

namespace {

using testing_support::OwnedSampleBuffer;

TEST(HostMixingTest, AddChannelRampedAddsWithALinearRamp) {
    host::HostGlobalContext global;
    constexpr uint32_t kFrames = 100;
    std::vector<float> source(kFrames);
    for (uint32_t uFrame = 0; uFrame < kFrames; ++uFrame) {
        source[uFrame] = 1.0f + static_cast<float>(uFrame);
    }
    std::vector<float> destination(kFrames + 10, 0.5f);

    global.AddChannelRamped(source.data(), destination.data(), 0.2f, 1.2f, kFrames);
    for (uint32_t uFrame = 0; uFrame < kFrames; ++uFrame) {
        const double fGain = 0.2 + (1.2 - 0.2) * uFrame / kFrames;
        EXPECT_NEAR(0.5 + source[uFrame] * fGain, destination[uFrame], 1e-4) << uFrame;
    }
    // The ramp starts exactly at the previous gain and never writes past the frames it was given.
    EXPECT_FLOAT_EQ(0.5f + 1.0f * 0.2f, destination[0]);
    for (uint32_t uFrame = kFrames; uFrame < destination.size(); ++uFrame) {
        EXPECT_EQ(0.5f, destination[uFrame]);
    }
    EXPECT_TRUE(global.Errors().empty());
}

// A stereo input into a 5.1 output whose buffers have different strides, through two matrices
// whose padding holds NaN, with both the matrix and the gain ramping.
class HostMatrixMixTest : public ::testing::Test {
protected:
    static constexpr uint16_t kFrames = 64;
    static constexpr uint16_t kOutputMaxFrames = 80;
    static constexpr uint32_t kInputs = 2;
    static constexpr uint32_t kOutputs = 6;
    static constexpr uint32_t kStride = 8;

    HostMatrixMixTest()
        : m_input(ZvChannelLayout::FromMask(0x3), kFrames, kFrames),
          m_output(ZvChannelLayout::FromMask(0x3F), kOutputMaxFrames, 0),
          m_prevVolumes(kInputs * kStride, std::numeric_limits<float>::quiet_NaN()),
          m_nextVolumes(kInputs * kStride, std::numeric_limits<float>::quiet_NaN()) {
        for (uint32_t uIn = 0; uIn < kInputs; ++uIn) {
            for (uint32_t uFrame = 0; uFrame < kFrames; ++uFrame) {
                m_input.At(uIn, uFrame) = 0.1f * (uIn + 1) + 0.01f * uFrame;
            }
            for (uint32_t uOut = 0; uOut < kOutputs; ++uOut) {
                m_prevVolumes[uIn * kStride + uOut] = 0.05f * (uIn * kOutputs + uOut + 1);
                m_nextVolumes[uIn * kStride + uOut] = 1.0f - 0.04f * (uIn * kOutputs + uOut);
            }
        }
        for (uint32_t uOut = 0; uOut < kOutputs; ++uOut) {
            for (uint32_t uFrame = 0; uFrame < kOutputMaxFrames; ++uFrame) {
                m_output.At(uOut, uFrame) = uFrame < kFrames ? 0.25f * uOut : 7.0f;
            }
        }
    }

    ZV::SpeakerVolumeMatrix Prev() { return {m_prevVolumes.data(), kInputs, kOutputs}; }
    ZV::SpeakerVolumeMatrix Next() { return {m_nextVolumes.data(), kInputs, kOutputs}; }

    host::HostGlobalContext m_global;
    OwnedSampleBuffer m_input;
    OwnedSampleBuffer m_output;
    std::vector<float> m_prevVolumes;
    std::vector<float> m_nextVolumes;
};

TEST_F(HostMatrixMixTest, MixesEveryInputIntoEveryOutputThroughInterpolatedMatrices) {
    m_global.MixWithVolumes(m_input.Get(), m_output.Get(), 0.5f, 1.0f, Prev(), Next());
    ASSERT_TRUE(m_global.Errors().empty());

    for (uint32_t uOut = 0; uOut < kOutputs; ++uOut) {
        for (uint32_t uFrame = 0; uFrame < kFrames; ++uFrame) {
            const double fRamp = static_cast<double>(uFrame) / kFrames;
            const double fGain = 0.5 + 0.5 * fRamp;
            double fExpected = 0.25 * uOut;
            for (uint32_t uIn = 0; uIn < kInputs; ++uIn) {
                const double fPrev = m_prevVolumes[uIn * kStride + uOut];
                const double fNext = m_nextVolumes[uIn * kStride + uOut];
                fExpected += m_input.At(uIn, uFrame) * (fPrev + (fNext - fPrev) * fRamp) * fGain;
            }
            ASSERT_NEAR(fExpected, m_output.At(uOut, uFrame), 1e-5)
                << "output " << uOut << " frame " << uFrame;
        }
        for (uint32_t uFrame = kFrames; uFrame < kOutputMaxFrames; ++uFrame) {
            ASSERT_EQ(7.0f, m_output.At(uOut, uFrame)) << "beyond the valid frames";
        }
    }
    EXPECT_EQ(0u, m_output.Get()->uValidFrames);
    EXPECT_EQ(1u, m_global.MixWithVolumesCalls());
}

TEST_F(HostMatrixMixTest, RefusesMatricesThatDoNotFitTheBuffers) {
    const std::vector<float> before = m_output.Samples();
    ZV::SpeakerVolumeMatrix tooNarrow = Next();
    tooNarrow.uNumOutputs = 2;
    m_global.MixWithVolumes(m_input.Get(), m_output.Get(), 1.0f, 1.0f, Prev(), tooNarrow);
    m_input.Get()->uValidFrames = kOutputMaxFrames + 1;
    m_global.MixWithVolumes(m_input.Get(), m_output.Get(), 1.0f, 1.0f, Prev(), Next());

    EXPECT_EQ(before, m_output.Samples());
    EXPECT_EQ(2u, m_global.Errors().size());
}

}  // namespace
