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

// Every path this build has on this processor, widest first.
std::vector<InterleavePath> AvailablePaths() {
    std::vector<InterleavePath> paths;
    for (InterleavePath ePath :
         {InterleavePath::Avx, InterleavePath::Sse2, InterleavePath::Portable}) {
        if (InterleavePathAvailable(ePath)) {
            paths.push_back(ePath);
        }
    }
    return paths;
}

const char* PathName(InterleavePath in_ePath) {
    switch (in_ePath) {
        case InterleavePath::Portable:
            return "portable";
        case InterleavePath::Sse2:
            return "SSE2";
        case InterleavePath::Avx:
            return "AVX";
    }
    return "?";
}

TEST(FrameInterleaverTest, TheWidestPathTheProcessorHasIsTaken) {
    EXPECT_TRUE(InterleavePathAvailable(InterleavePath::Portable));
#if defined(__x86_64__) && defined(__GNUC__)
    // 64-bit x86 builds of GCC and clang have the SSE2 and the AVX paths; AVX is taken exactly
    // where the processor (and the system) can run it.
    EXPECT_TRUE(InterleavePathAvailable(InterleavePath::Sse2));
    __builtin_cpu_init();
    const bool bAvx = __builtin_cpu_supports("avx") != 0;
    EXPECT_EQ(bAvx, InterleavePathAvailable(InterleavePath::Avx));
    EXPECT_EQ(bAvx ? InterleavePath::Avx : InterleavePath::Sse2, SelectedInterleavePath());
#endif
    EXPECT_TRUE(InterleavePathAvailable(SelectedInterleavePath()));
}

// A path this build or this processor lacks writes nothing rather than the wrong instructions.
TEST(FrameInterleaverTest, AMissingPathWritesNothing) {
    const std::vector<float> channel(16, 1.0f);
    const float* apSources[1] = {channel.data()};
    for (InterleavePath ePath :
         {InterleavePath::Avx, InterleavePath::Sse2, InterleavePath::Portable}) {
        std::vector<float> out(16, 99.0f);
        InterleaveFramesOn(ePath, apSources, 1, 0, 16, out.data());
        InterleaveFramesRampedOn(ePath, apSources, 1, 0, 16, 2.0f, 0.0f, out.data());
        const float fExpected = InterleavePathAvailable(ePath) ? 2.0f : 99.0f;
        for (float fOut : out) {
            EXPECT_EQ(fExpected, fOut) << PathName(ePath);
        }
    }
}

// Samples with the values a multiplication treats specially, now and then among the others.
void SprinkleSpecialValues(Planar& io_planar, std::mt19937& io_random) {
    const uint32_t auBits[] = {0x7F800001u, 0x7FC00000u, 0xFFC00001u, 0x00000001u, 0x80000003u,
                               0x80000000u, 0x00000000u, 0x7F800000u, 0xFF800000u, 0x7F7FFFFFu};
    for (float& fSample : io_planar.samples) {
        if (io_random() % 17 == 0) {
            fSample = FromBits(auBits[io_random() % (sizeof(auBits) / sizeof(auBits[0]))]);
        }
    }
}

// The paths against each other, byte for byte, over the whole output and a guard after it: every
// column count up to 24 (one to three groups of eight and every remainder), then wider ones;
// frame counts on and off the blocks of four and eight and the chunks; calls that start at any
// frame (as the ring's end splits a write); no, some and only silent columns; no ramp, rising and
// falling ramps. Every path this machine has takes part (on this one: AVX, SSE2 and portable).
TEST(FrameInterleaverTest, EveryPathLaysOutTheSameBytes) {
    const std::vector<InterleavePath> paths = AvailablePaths();
    ASSERT_FALSE(paths.empty());
    std::mt19937 random(11);
    const uint32_t auFrames[] = {0,  1,  2,   3,   4,   5,   6,   7,   8,   9,   11,   12,
                                 15, 16, 17,  23,  24,  31,  33,  56,  63,  64,  65,   71,
                                 72, 79, 120, 127, 128, 129, 136, 200, 477, 480, 1017, 1024};
    const uint32_t auFirstFrames[] = {0, 1, 4, 7, 8, 13, 479};
    std::vector<uint32_t> columnCounts;
    for (uint32_t uColumns = 1; uColumns <= 24; ++uColumns) {
        columnCounts.push_back(uColumns);
    }
    for (uint32_t uColumns : {27u, 31u, 32u, 36u, 64u, 255u}) {
        columnCounts.push_back(uColumns);
    }
    for (uint32_t uColumns : columnCounts) {
        for (uint32_t uFrames : auFrames) {
            // Long calls of many columns and calls from late frames: a sample of them.
            if ((uColumns > 24 || uFrames > 480) && random() % 4 != 0) {
                continue;
            }
            const uint32_t uFirstFrame = auFirstFrames[random() % 7];
            Planar planar(uColumns, uFirstFrame + uFrames, random);
            SprinkleSpecialValues(planar, random);
            for (uint32_t uSilence = 0; uSilence < 3; ++uSilence) {
                std::vector<const float*> sources(uColumns);
                for (uint32_t c = 0; c < uColumns; ++c) {
                    const bool bSilent = uSilence == 2 || (uSilence == 1 && random() % 3 == 0);
                    sources[c] = bSilent ? nullptr : planar.Channel(c);
                }
                const float fGain = uSilence == 1 ? -0.5f : 1.25f;
                const float fStep = (random() % 2 == 0 ? 0.7f : -0.9f) /
                                    static_cast<float>(uFirstFrame + uFrames + 1);
                SCOPED_TRACE(testing::Message()
                             << uColumns << " columns, " << uFrames << " frames from "
                             << uFirstFrame << ", silence " << uSilence);
                const size_t uFloats = size_t{uColumns} * uFrames + 9;
                std::vector<float> plainFirst;
                std::vector<float> rampedFirst;
                for (InterleavePath ePath : paths) {
                    std::vector<float> plain(uFloats, 99.0f);
                    std::vector<float> ramped(uFloats, 99.0f);
                    InterleaveFramesOn(ePath, sources.data(), uColumns, uFirstFrame, uFrames,
                                       plain.data());
                    InterleaveFramesRampedOn(ePath, sources.data(), uColumns, uFirstFrame, uFrames,
                                             fGain, fStep, ramped.data());
                    if (plainFirst.empty()) {
                        plainFirst = plain;
                        rampedFirst = ramped;
                        continue;
                    }
                    ASSERT_EQ(0, memcmp(plainFirst.data(), plain.data(), uFloats * sizeof(float)))
                        << PathName(paths[0]) << " and " << PathName(ePath) << " differ";
                    ASSERT_EQ(0, memcmp(rampedFirst.data(), ramped.data(), uFloats * sizeof(float)))
                        << PathName(paths[0]) << " and " << PathName(ePath) << " differ, ramped";
                }
                // And the path the plug-ins take gives the same bytes.
                std::vector<float> selected(uFloats, 99.0f);
                InterleaveFramesRamped(sources.data(), uColumns, uFirstFrame, uFrames, fGain, fStep,
                                       selected.data());
                ASSERT_EQ(0, memcmp(rampedFirst.data(), selected.data(), uFloats * sizeof(float)));
                EXPECT_EQ(99.0f, rampedFirst.back());
            }
        }
    }
}

}  // namespace
