// The interleaving kernel of the sink and the effect against the plain per-sample rule, for every
// column count a bed can have and then some, frame counts on and off its blocks of four and its
// chunks, silent columns anywhere, and both modes: every output float bit for bit.

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <random>
#include <vector>

#include "FrameInterleaver.h"

namespace {

uint32_t Bits(float in_fValue) {
    uint32_t uBits;
    memcpy(&uBits, &in_fValue, sizeof(uBits));
    return uBits;
}

float FromBits(uint32_t in_uBits) {
    float fValue;
    memcpy(&fValue, &in_uBits, sizeof(fValue));
    return fValue;
}

// Planar channels 4 KiB apart as the host lays them out, with a guard after the last one.
struct Planar {
    Planar(uint32_t in_uChannels, uint32_t in_uFrames, std::mt19937& io_random)
        : uStride(in_uFrames < 1024 ? 1024 : in_uFrames), samples(in_uChannels * uStride + 16) {
        std::uniform_real_distribution<float> value(-2.0f, 2.0f);
        for (float& fSample : samples) {
            fSample = value(io_random);
        }
    }
    const float* Channel(uint32_t in_uChannel) const {
        return samples.data() + in_uChannel * uStride;
    }
    uint32_t uStride;
    std::vector<float> samples;
};

TEST(FrameInterleaverTest, EveryLayoutMatchesTheOneSampleRuleBitForBit) {
    std::mt19937 random(7);
    const uint32_t auFrames[] = {0, 1, 3, 4, 5, 63, 64, 65, 68, 130, 480, 1024};
    for (uint32_t uColumns = 1; uColumns <= 16; ++uColumns) {
        for (uint32_t uFrames : auFrames) {
            SCOPED_TRACE(testing::Message() << uColumns << " columns, " << uFrames << " frames");
            const Planar planar(uColumns, uFrames, random);
            std::vector<const float*> sources(uColumns);
            for (uint32_t c = 0; c < uColumns; ++c) {
                // Now and then a silent column, in any place of a group of four.
                sources[c] = random() % 5 == 0 ? nullptr : planar.Channel(c);
            }
            const float fGain = 0.75f;
            const float fStep = -0.3f / static_cast<float>(uFrames == 0 ? 1 : uFrames);
            // One float more than the frames fill, to see that nothing is written past them.
            std::vector<float> plain(uColumns * uFrames + 1, 99.0f);
            std::vector<float> ramped(uColumns * uFrames + 1, 99.0f);
            // In two calls split anywhere, as the ring's end splits a write: the same floats.
            const uint32_t uSplit = uFrames == 0 ? 0 : static_cast<uint32_t>(random() % uFrames);
            InterleaveFrames(sources.data(), uColumns, 0, uSplit, plain.data());
            InterleaveFrames(sources.data(), uColumns, uSplit, uFrames - uSplit,
                             plain.data() + uSplit * uColumns);
            InterleaveFramesRamped(sources.data(), uColumns, 0, uSplit, fGain, fStep,
                                   ramped.data());
            InterleaveFramesRamped(sources.data(), uColumns, uSplit, uFrames - uSplit, fGain, fStep,
                                   ramped.data() + uSplit * uColumns);
            for (uint32_t f = 0; f < uFrames; ++f) {
                const float fFrameGain = fGain + fStep * static_cast<float>(f);
                for (uint32_t c = 0; c < uColumns; ++c) {
                    const float fSource = sources[c] != nullptr ? sources[c][f] : 0.0f;
                    const float fRamped = sources[c] != nullptr ? fSource * fFrameGain : 0.0f;
                    ASSERT_EQ(Bits(fSource), Bits(plain[f * uColumns + c])) << f << ", " << c;
                    ASSERT_EQ(Bits(fRamped), Bits(ramped[f * uColumns + c])) << f << ", " << c;
                }
            }
            EXPECT_EQ(99.0f, plain.back());
            EXPECT_EQ(99.0f, ramped.back());
        }
    }
}

// Without a gain the samples are copied, not computed: a signalling NaN, a denormal and -0 arrive
// as they left; a silent column is +0 even under a negative gain.
TEST(FrameInterleaverTest, UnityCopiesEveryBitAndSilenceIsPositiveZero) {
    const uint32_t kFrames = 8;
    std::vector<float> channel(kFrames);
    const uint32_t auBits[] = {0x7F800001u, 0x00000001u, 0x80000000u, 0xFFC00000u,
                               0x3F800000u, 0x7F7FFFFFu, 0x80800000u, 0x00000000u};
    for (uint32_t f = 0; f < kFrames; ++f) {
        channel[f] = FromBits(auBits[f]);
    }
    const float* apSources[4] = {channel.data(), nullptr, channel.data(), nullptr};
    std::vector<float> out(4 * kFrames);
    InterleaveFrames(apSources, 4, 0, kFrames, out.data());
    for (uint32_t f = 0; f < kFrames; ++f) {
        EXPECT_EQ(auBits[f], Bits(out[4 * f]));
        EXPECT_EQ(0u, Bits(out[4 * f + 1]));
        EXPECT_EQ(auBits[f], Bits(out[4 * f + 2]));
    }
    InterleaveFramesRamped(apSources, 4, 0, kFrames, -1.0f, 0.0f, out.data());
    for (uint32_t f = 0; f < kFrames; ++f) {
        EXPECT_EQ(0u, Bits(out[4 * f + 3]));
    }
}

}  // namespace
