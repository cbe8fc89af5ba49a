// The host's channel-index rule: the low-frequency channel, when the mask has one, is stored last.

#include <gtest/gtest.h>

#include <vector>

#include "AssertRecorder.h"
#include "ZvChannelLayout.h"

namespace {

std::vector<uint32_t> PipelineIndices(ZvChannelLayout in_layout) {
    std::vector<uint32_t> indices;
    for (uint32_t s = 0; s < in_layout.uNumChannels; ++s) {
        indices.push_back(ZV::MaskOrderToPipelineIndex(in_layout, s));
    }
    return indices;
}

TEST(ChannelLayoutTest, WithoutTheLowFrequencyBitTheIndexIsUnchanged) {
    testing_support::AssertRecorder recorder;
    EXPECT_EQ((std::vector<uint32_t>{0, 1}), PipelineIndices(ZvChannelLayout::FromMask(0x3)));
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6}),
              PipelineIndices(ZvChannelLayout::FromMask(0x637)));
    EXPECT_TRUE(recorder.Reports().empty());
}

TEST(ChannelLayoutTest, TheLowFrequencyChannelIsStoredLast) {
    testing_support::AssertRecorder recorder;
    // 5.1: front left, right, centre, LFE, side left, side right.
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 2, 5, 3, 4}),
              PipelineIndices(ZvChannelLayout::FromMask(0x60F)));
    // 7.1: LFE in buffer channel 7; the four channels after it move down by one.
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 2, 7, 3, 4, 5, 6}),
              PipelineIndices(ZvChannelLayout::FromMask(0x63F)));
    EXPECT_EQ(11u, ZV::MaskOrderToPipelineIndex(ZvChannelLayout::FromMask(0x2D63F), 3));
    EXPECT_EQ(3u, ZV::MaskOrderToPipelineIndex(ZvChannelLayout::FromMask(0x2D63F), 4));
    // Fewer front channels put the LFE earlier in mask order.
    EXPECT_EQ((std::vector<uint32_t>{0, 2, 1}), PipelineIndices(ZvChannelLayout::FromMask(0x19)));
    EXPECT_EQ((std::vector<uint32_t>{0}), PipelineIndices(ZvChannelLayout::FromMask(0x8)));
    EXPECT_TRUE(recorder.Reports().empty());
}

TEST(ChannelLayoutTest, ANonStandardOrEmptyLayoutIsReportedAndStillComputed) {
    testing_support::AssertRecorder recorder;
    ZvChannelLayout anonymous = ZvChannelLayout::FromMask(0x60F);
    anonymous.eConfigType = ZV_ChannelConfigType_Anonymous;
    EXPECT_EQ(5u, ZV::MaskOrderToPipelineIndex(anonymous, 3));
    std::vector<testing_support::CheckReport> reports = recorder.Reports();
    ASSERT_EQ(1u, reports.size());
    EXPECT_EQ("in_channelConfig.eConfigType == ZV_ChannelConfigType_Standard",
              reports[0].expression);
    EXPECT_EQ("ZvCommonDefs", reports[0].source);
    EXPECT_GT(reports[0].line, 0);

    recorder.Clear();
    ZvChannelLayout empty;
    empty.uNumChannels = 2;
    empty.eConfigType = ZV_ChannelConfigType_Standard;
    EXPECT_EQ(1u, ZV::MaskOrderToPipelineIndex(empty, 1));
    reports = recorder.Reports();
    ASSERT_EQ(1u, reports.size());
    EXPECT_EQ("ZV::GetNumNonZeroBits( in_channelConfig.uChannelMask )", reports[0].expression);
    EXPECT_EQ("ZvCommonDefs", reports[0].source);
    EXPECT_GT(reports[0].line, 0);
}

}  // namespace
