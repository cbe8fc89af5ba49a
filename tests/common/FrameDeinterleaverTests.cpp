// The sink's deinterleaving kernel against the plain per-sample rule: column counts of every bed
// and then some, frames wider than the columns taken, frame counts on and off the blocks of four,
// columns left out anywhere, and any bit pattern (NaNs, infinities, negative zeros, subnormals)
// carried over bit for bit; nothing is written outside the columns' frames.

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <random>
#include <vector>

#include "FrameDeinterleaver.h"

namespace {

constexpr uint32_t kGuard = 8;
constexpr uint32_t kGuardBits = 0x7FC0DEADu;  // a NaN no input holds

TEST(FrameDeinterleaverTest, EveryPathGivesEveryColumnItsSamplesBitForBitAndNothingMore) {
    std::mt19937 random(20261209);
    std::uniform_int_distribution<uint32_t> bits;
    int iChecked = 0;
    for (uint32_t uColumns = 1; uColumns <= 14; ++uColumns) {
        for (uint32_t uExtra : {0u, 1u, 3u}) {
            const uint32_t uStride = uColumns + uExtra;
            for (uint32_t uFrames : {0u, 1u, 3u, 4u, 7u, 64u, 481u}) {
                std::vector<uint32_t> frames(static_cast<size_t>(uFrames) * uStride);
                for (uint32_t& uBits : frames) {
                    do {
                        uBits = bits(random);
                    } while (uBits == kGuardBits);
                }
                // A column or two left out now and then, anywhere.
                std::vector<bool> skipped(uColumns, false);
                if (uColumns > 1 && bits(random) % 2 == 0) {
                    skipped[bits(random) % uColumns] = true;
                    skipped[bits(random) % uColumns] = true;
                }
                for (InterleavePath ePath : {InterleavePath::Portable, InterleavePath::Sse2}) {
                    SCOPED_TRACE(testing::Message()
                                 << "columns " << uColumns << " stride " << uStride << " frames "
                                 << uFrames << " path " << static_cast<int>(ePath));
                    std::vector<std::vector<uint32_t>> columns(
                        uColumns, std::vector<uint32_t>(uFrames + 2 * kGuard, kGuardBits));
                    std::vector<float*> apColumns(uColumns, nullptr);
                    for (uint32_t uColumn = 0; uColumn < uColumns; ++uColumn) {
                        if (!skipped[uColumn]) {
                            apColumns[uColumn] =
                                reinterpret_cast<float*>(columns[uColumn].data() + kGuard);
                        }
                    }
                    float afFrames[1];
                    const float* pFrames =
                        frames.empty() ? afFrames : reinterpret_cast<const float*>(frames.data());
                    if (!DeinterleaveFramesOn(ePath, pFrames, uStride, uColumns, uFrames,
                                              apColumns.data())) {
                        EXPECT_EQ(ePath, InterleavePath::Sse2);
                        continue;
                    }
                    for (uint32_t uColumn = 0; uColumn < uColumns; ++uColumn) {
                        for (uint32_t uSlot = 0; uSlot < uFrames + 2 * kGuard; ++uSlot) {
                            const bool bFrame = uSlot >= kGuard && uSlot < kGuard + uFrames;
                            const uint32_t uWant =
                                bFrame && !skipped[uColumn]
                                    ? frames[static_cast<size_t>(uSlot - kGuard) * uStride +
                                             uColumn]
                                    : kGuardBits;
                            ASSERT_EQ(uWant, columns[uColumn][uSlot])
                                << "column " << uColumn << " slot " << uSlot;
                        }
                    }
                    ++iChecked;
                }
            }
        }
    }
    EXPECT_GT(iChecked, 14 * 3 * 7);
    // The function the sink calls takes a path that is there.
    std::vector<float> frames = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f};
    float afLeft[3] = {}, afRight[3] = {};
    float* apColumns[2] = {afLeft, afRight};
    DeinterleaveFrames(frames.data(), 2, 2, 3, apColumns);
    EXPECT_EQ(5.0f, afLeft[2]);
    EXPECT_EQ(6.0f, afRight[2]);
}

}  // namespace
