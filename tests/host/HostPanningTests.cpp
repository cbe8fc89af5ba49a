// The test host's panning law: constant power for every channel, the right speakers for a
// direction, rows and columns in buffer order (low-frequency channel last), padding cleared.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "HostSpeakerPanner.h"

namespace {

constexpr uint32_t kStereo = 0x3;
constexpr uint32_t kMono = 0x4;
constexpr uint32_t kTwoOne = 0xB;
constexpr uint32_t kFiveOne = 0x3F;
constexpr uint32_t kSevenOne = 0x63F;
constexpr uint32_t kSevenOneFour = 0x2D63F;
constexpr float kHalfPower = 0.70710678f;

// A panning matrix filled for in_fAzimuth, its storage poisoned first so that an entry the law
// forgets to write shows.
struct Panned {
    Panned(uint32_t in_uInputMask, uint32_t in_uOutputMask, float in_fAzimuth)
        : Panned(ZvChannelLayout::FromMask(in_uInputMask),
                 ZvChannelLayout::FromMask(in_uOutputMask), in_fAzimuth) {}
    Panned(ZvChannelLayout in_input, ZvChannelLayout in_output, float in_fAzimuth)
        : uInputs(in_input.uNumChannels),
          uOutputs(in_output.uNumChannels),
          uStride(ZV::SpeakerVolumeRowStride(uOutputs)),
          volumes(uInputs * uStride, std::numeric_limits<float>::quiet_NaN()) {
        ZV::SpeakerVolumeMatrix matrix{volumes.data(), uInputs, uOutputs};
        host::ComputePanningMatrix(in_input, in_output, in_fAzimuth, matrix);
    }
    float At(uint32_t in_uRow, uint32_t in_uColumn) const {
        return volumes.at(in_uRow * uStride + in_uColumn);
    }
    double RowPower(uint32_t in_uRow) const {
        double fPower = 0.0;
        for (uint32_t uColumn = 0; uColumn < uOutputs; ++uColumn) {
            fPower += static_cast<double>(At(in_uRow, uColumn)) * At(in_uRow, uColumn);
        }
        return fPower;
    }
    // The row as a vector over the output channels, for whole-row comparisons.
    std::vector<float> Row(uint32_t in_uRow) const {
        return std::vector<float>(volumes.begin() + in_uRow * uStride,
                                  volumes.begin() + in_uRow * uStride + uOutputs);
    }

    uint32_t uInputs;
    uint32_t uOutputs;
    uint32_t uStride;
    std::vector<float> volumes;
};

void ExpectRowNear(const std::vector<float>& in_expected, const std::vector<float>& in_row) {
    ASSERT_EQ(in_expected.size(), in_row.size());
    for (size_t uColumn = 0; uColumn < in_row.size(); ++uColumn) {
        EXPECT_NEAR(in_expected[uColumn], in_row[uColumn], 1e-5) << "column " << uColumn;
    }
}

TEST(HostPanningTest, EveryPannedChannelKeepsItsPowerAndTheLowFrequencyChannelIsRoutedWhole) {
    for (uint32_t uOutputMask : {kStereo, kFiveOne, kSevenOne, kSevenOneFour}) {
        const ZvChannelLayout output = ZvChannelLayout::FromMask(uOutputMask);
        for (uint32_t uInputMask : {kMono, kStereo, kTwoOne, kFiveOne}) {
            const ZvChannelLayout input = ZvChannelLayout::FromMask(uInputMask);
            for (float fAzimuth = -180.0f; fAzimuth <= 180.0f; fAzimuth += 7.5f) {
                SCOPED_TRACE(testing::Message() << "output " << std::hex << uOutputMask << " input "
                                                << uInputMask << std::dec << " at " << fAzimuth);
                const Panned panned(input, output, fAzimuth);
                const uint32_t uLfeRow = input.HasLfe() ? panned.uInputs - 1 : UINT32_MAX;
                const uint32_t uLfeColumn = output.HasLfe() ? panned.uOutputs - 1 : UINT32_MAX;
                for (uint32_t uRow = 0; uRow < panned.uInputs; ++uRow) {
                    for (uint32_t uPad = panned.uOutputs; uPad < panned.uStride; ++uPad) {
                        ASSERT_EQ(0.0f, panned.At(uRow, uPad)) << "padding of row " << uRow;
                    }
                    if (uRow == uLfeRow) {
                        ASSERT_NEAR(output.HasLfe() ? 1.0 : 0.0, panned.RowPower(uRow), 1e-6);
                        if (output.HasLfe()) {
                            ASSERT_EQ(1.0f, panned.At(uRow, uLfeColumn));
                        }
                        continue;
                    }
                    ASSERT_NEAR(1.0, panned.RowPower(uRow), 1e-5) << "row " << uRow;
                    if (output.HasLfe()) {
                        ASSERT_EQ(0.0f, panned.At(uRow, uLfeColumn)) << "row " << uRow;
                    }
                }
            }
        }
    }
}

TEST(HostPanningTest, MonoInputGoesToTheSpeakerAtItsAzimuth) {
    // 5.1 in buffer order: FL FR FC BL BR LFE.
    ExpectRowNear({0, 1, 0, 0, 0, 0}, Panned(kMono, kFiveOne, 30.0f).Row(0));
    ExpectRowNear({1, 0, 0, 0, 0, 0}, Panned(kMono, kFiveOne, -30.0f).Row(0));
    ExpectRowNear({0, 0, 1, 0, 0, 0}, Panned(kMono, kFiveOne, 0.0f).Row(0));
    ExpectRowNear({0, 0, 0, 0, 1, 0}, Panned(kMono, kFiveOne, 135.0f).Row(0));
    ExpectRowNear({0, 0, 0, 1, 0, 0}, Panned(kMono, kFiveOne, -135.0f + 360.0f).Row(0));
    // 7.1 in buffer order: FL FR FC BL BR SL SR LFE.
    ExpectRowNear({0, 0, 0, 0, 0, 0, 1, 0}, Panned(kMono, kSevenOne, 90.0f).Row(0));
    ExpectRowNear({0, 0, 0, 0, 0, 1, 0, 0}, Panned(kMono, kSevenOne, -90.0f).Row(0));
}

TEST(HostPanningTest, BetweenTwoSpeakersThePowerMovesTowardsTheNearerOne) {
    // Halfway between FR (30) and SR (90), and behind, halfway between BR and BL.
    ExpectRowNear({0, kHalfPower, 0, 0, 0, 0, kHalfPower, 0},
                  Panned(kMono, kSevenOne, 60.0f).Row(0));
    ExpectRowNear({0, 0, 0, kHalfPower, kHalfPower, 0, 0, 0},
                  Panned(kMono, kSevenOne, 180.0f).Row(0));
    const Panned nearSide(kMono, kSevenOne, 80.0f);
    EXPECT_GT(nearSide.At(0, 6), nearSide.At(0, 1));
    const Panned nearFront(kMono, kSevenOne, 40.0f);
    EXPECT_GT(nearFront.At(0, 1), nearFront.At(0, 6));
    // Stereo output: straight ahead is centred; to the right, the long way round through the
    // back puts most of it on the right: 60 of 300 degrees from FR towards FL.
    ExpectRowNear({kHalfPower, kHalfPower}, Panned(kMono, kStereo, 0.0f).Row(0));
    ExpectRowNear({std::sin(0.1f * 3.14159265f), std::cos(0.1f * 3.14159265f)},
                  Panned(kMono, kStereo, 90.0f).Row(0));
    // 7.1.4 (FL FR FC BL BR SL SR TFL TFR TBL TBR LFE): the tops stay silent.
    ExpectRowNear({0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, Panned(kMono, kSevenOneFour, 30.0f).Row(0));
}

TEST(HostPanningTest, StereoInputKeepsItsWidthAroundTheInputsAzimuth) {
    const Panned ahead(kStereo, kFiveOne, 0.0f);
    ExpectRowNear({1, 0, 0, 0, 0, 0}, ahead.Row(0));
    ExpectRowNear({0, 1, 0, 0, 0, 0}, ahead.Row(1));

    // Turned 60 degrees right: the left channel sits at +30 (FR), the right one at +90, which
    // on 5.1 lies 60 of the 105 degrees from FR to BR.
    const Panned turned(kStereo, kFiveOne, 60.0f);
    ExpectRowNear({0, 1, 0, 0, 0, 0}, turned.Row(0));
    const float fAngle = 60.0f / 105.0f * 3.14159265f / 2.0f;
    ExpectRowNear({0, std::cos(fAngle), 0, 0, std::sin(fAngle), 0}, turned.Row(1));
}

TEST(HostPanningTest, LowFrequencyChannelIsLastInBothBuffers) {
    // 2.1 input (FL FR LFE) on 5.1 (FL FR FC BL BR LFE).
    const Panned panned(kTwoOne, kFiveOne, 0.0f);
    ExpectRowNear({1, 0, 0, 0, 0, 0}, panned.Row(0));
    ExpectRowNear({0, 1, 0, 0, 0, 0}, panned.Row(1));
    ExpectRowNear({0, 0, 0, 0, 0, 1}, panned.Row(2));
    // Without a low-frequency speaker the channel goes nowhere.
    ExpectRowNear({0, 0}, Panned(kTwoOne, kStereo, 0.0f).Row(2));
}

}  // namespace
