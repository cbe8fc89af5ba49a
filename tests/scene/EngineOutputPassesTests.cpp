// The engine's own output as the listener mix takes it: each speaker of the final mix on the
// static object of that speaker (the low-frequency channel, which the host stores last, on the
// low-frequency object), every frame once and in order across host buffers and blocks.

#include <gtest/gtest.h>

#include <vector>

#include "EngineOutputPasses.h"
#include "ZvChannelLayout.h"

namespace {

TEST(EngineOutputPassesTest, EverySpeakerPlaysOnItsObjectEveryFrameOnceAcrossBuffersAndBlocks) {
    // 5.1 with side speakers: FL FR FC LFE SL SR in mask order, LFE stored last by the host.
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(0x60F);
    constexpr uint32_t kHostFrames = 3;
    constexpr uint32_t kBlockFrames = 4;
    scene::EngineOutputPasses output(layout, kBlockFrames);
    // The host's channel c of frame f of the run holds 1000 * (c + 1) + f.
    std::vector<float> samples(6 * kHostFrames);
    ZvSampleBuffer buffer = {};
    buffer.pData = samples.data();
    buffer.channelConfig = layout;
    buffer.uMaxFrames = kHostFrames;
    buffer.uValidFrames = kHostFrames;
    standin::Pass block;
    std::vector<standin::Pass> blocks;
    for (uint32_t uBuffer = 0; uBuffer < 4; ++uBuffer) {
        for (uint32_t uChannel = 0; uChannel < 6; ++uChannel) {
            for (uint32_t uFrame = 0; uFrame < kHostFrames; ++uFrame) {
                samples[uChannel * kHostFrames + uFrame] =
                    static_cast<float>(1000 * (uChannel + 1) + uBuffer * kHostFrames + uFrame);
            }
        }
        output.Add(buffer, kHostFrames);
        while (output.Take(block)) {
            blocks.push_back(block);
        }
    }
    ASSERT_EQ(3u, blocks.size());
    EXPECT_EQ(0u, output.Waiting());
    EXPECT_FALSE(output.Take(block));

    // Speaker (in mask order) -> object type, and the host channel that holds it.
    const AudioObjectType aTypes[6] = {AudioObjectType_FrontLeft,   AudioObjectType_FrontRight,
                                       AudioObjectType_FrontCenter, AudioObjectType_LowFrequency,
                                       AudioObjectType_SideLeft,    AudioObjectType_SideRight};
    const uint32_t aHostChannels[6] = {0, 1, 2, 5, 3, 4};
    for (uint32_t uBlock = 0; uBlock < blocks.size(); ++uBlock) {
        const standin::Pass& pass = blocks[uBlock];
        EXPECT_EQ(scene::EngineOutputPasses::kStreamId, pass.streamId);
        EXPECT_EQ(uBlock, pass.index);
        ASSERT_EQ(6u, pass.objects.size());
        for (uint32_t uSpeaker = 0; uSpeaker < 6; ++uSpeaker) {
            const standin::ObjectPass& object = pass.objects[uSpeaker];
            EXPECT_EQ(aTypes[uSpeaker], object.type) << uSpeaker;
            ASSERT_EQ(kBlockFrames, object.samples.size());
            for (uint32_t uFrame = 0; uFrame < kBlockFrames; ++uFrame) {
                EXPECT_EQ(static_cast<float>(1000 * (aHostChannels[uSpeaker] + 1) +
                                             uBlock * kBlockFrames + uFrame),
                          object.samples[uFrame])
                    << "block " << uBlock << ", speaker " << uSpeaker << ", frame " << uFrame;
            }
        }
    }
}

}  // namespace
