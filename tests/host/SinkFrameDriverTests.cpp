// The host's frame driver against a sink that records what it is asked: the order of the calls in
// a frame, no frame while the device wants nothing, the buffers it hands over; and the tagged mix
// it renders.

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "SinkFrameDriver.h"
#include "TaggedMixSource.h"

namespace {

using host::SinkFrameDriver;
using host::TaggedMixSource;

// Answers IsDataNeeded from a script (then 0) and records every call.
class RecordingSink final : public ZV::ISinkPlugin {
public:
    struct HandOver {
        uint32_t uLayoutWord;
        uint16_t uValidFrames;
        ZvVolumeRamp ramp;
        std::vector<float> firstChannel;
    };

    std::deque<uint32_t> answers;
    std::vector<std::string> calls;
    std::vector<HandOver> handOvers;

    ZvResult TermPlugin(ZV::IPluginMemAlloc*) override { return ZV_Success; }
    ZvResult ResetPlugin() override { return ZV_Success; }
    ZvResult DescribePlugin(ZvPluginInfo&) override { return ZV_Success; }
    ZvResult InitPlugin(ZV::IPluginMemAlloc*, ZV::ISinkPluginContext*, ZV::IPluginParam*,
                        ZvAudioFormat&) override {
        return ZV_Success;
    }
    ZvResult IsDataNeeded(uint32_t& out_uBuffersNeeded) override {
        calls.push_back("IsDataNeeded");
        out_uBuffersNeeded = answers.empty() ? 0 : answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        return ZV_Success;
    }
    void ConsumeFrame(ZvSampleBuffer* in_pBuffer, ZvVolumeRamp in_gain) override {
        calls.push_back("ConsumeFrame");
        handOvers.push_back(HandOver{
            in_pBuffer->channelConfig.Serialize(), in_pBuffer->uValidFrames, in_gain,
            std::vector<float>(in_pBuffer->pData, in_pBuffer->pData + in_pBuffer->uMaxFrames)});
    }
    void OnFrameEnd() override { calls.push_back("OnFrameEnd"); }
    bool IsStarved() override { return false; }
    void ResetStarved() override {}
};

const ZvChannelLayout kStereo = ZvChannelLayout::FromMask(0x3);

TEST(SinkFrameDriverTest, AFrameAsksThenHandsOverThenEnds) {
    RecordingSink sink;
    sink.answers = {1, 1, 0, 1, 1, 1};
    SinkFrameDriver driver(sink, kStereo, 8);
    TaggedMixSource source;
    source.SetRamp(ZvVolumeRamp{0.5f, 0.25f});
    driver.SetSource(&source);

    EXPECT_EQ(2u, driver.FillSink()) << "until the sink wants nothing";
    EXPECT_EQ(
        (std::vector<std::string>{"IsDataNeeded", "ConsumeFrame", "OnFrameEnd", "IsDataNeeded",
                                  "ConsumeFrame", "OnFrameEnd", "IsDataNeeded"}),
        sink.calls);
    ASSERT_EQ(2u, sink.handOvers.size());
    EXPECT_EQ(kStereo.Serialize(), sink.handOvers[1].uLayoutWord);
    EXPECT_EQ(8u, sink.handOvers[1].uValidFrames);
    EXPECT_EQ(0.5f, sink.handOvers[1].ramp.fPrev);
    EXPECT_EQ(0.25f, sink.handOvers[1].ramp.fNext);
    EXPECT_EQ(TaggedMixSource::Sample(0, 8), sink.handOvers[1].firstChannel[0]);
    EXPECT_EQ(2u, driver.FramesRun());

    // A skipped frame ends without a hand-over.
    driver.SkipConsume(1);
    EXPECT_TRUE(driver.RunFrame());
    ASSERT_LE(2u, sink.calls.size());
    EXPECT_EQ("IsDataNeeded", sink.calls[sink.calls.size() - 2]);
    EXPECT_EQ("OnFrameEnd", sink.calls.back());
    EXPECT_EQ(2u, driver.BuffersConsumed());
    EXPECT_EQ(1u, driver.FillSink(1)) << "the limit holds while the sink wants more";
    EXPECT_EQ(1u, sink.answers.size());
}

TEST(TaggedMixSourceTest, EverySampleNamesItsChannelAndFrame) {
    TaggedMixSource source;
    std::vector<float> samples(3 * 5, -1.0f);
    ZvSampleBuffer buffer{samples.data(), ZvChannelLayout::FromMask(0x7), 0, 5, 4};
    source.Render(0, buffer);
    source.Render(1, buffer);
    EXPECT_EQ(8u, source.FramePosition());
    for (uint32_t uChannel = 0; uChannel < 3; ++uChannel) {
        for (uint32_t uFrame = 0; uFrame < 4; ++uFrame) {
            uint32_t uDecodedChannel = 99;
            uint32_t uDecodedFrame = 99;
            ASSERT_TRUE(TaggedMixSource::Decode(samples[uChannel * 5 + uFrame], uDecodedChannel,
                                                uDecodedFrame));
            EXPECT_EQ(uChannel, uDecodedChannel);
            EXPECT_EQ(4 + uFrame, uDecodedFrame);
        }
        EXPECT_EQ(-1.0f, samples[uChannel * 5 + 4]) << "beyond the valid frames";
    }
    uint32_t uChannel = 0;
    uint32_t uFrame = 0;
    EXPECT_FALSE(TaggedMixSource::Decode(0.0f, uChannel, uFrame));
    EXPECT_FALSE(TaggedMixSource::Decode(0.5f * TaggedMixSource::Sample(0, 1), uChannel, uFrame));
    EXPECT_TRUE(TaggedMixSource::Decode(TaggedMixSource::Sample(255, 4095), uChannel, uFrame));
    EXPECT_EQ(255u, uChannel);
    EXPECT_EQ(4095u, uFrame);
}

}  // namespace
