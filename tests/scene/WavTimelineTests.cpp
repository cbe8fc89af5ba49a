// The output files' timeline against a plain reckoning of the same adds, one sample at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "SceneTestSupport.h"
#include "WavTimeline.h"

namespace {

// What the file and the levels must be for the frames in in_added (every add made into them, in
// order), measured one sample at a time in frame order.
struct Reckoning {
    std::vector<float> file;
    std::vector<std::vector<float>> levels;
    std::vector<float> peaks;
    std::vector<uint64_t> nonFinite;
    std::vector<uint64_t> clipped;
};

Reckoning Reckon(const std::vector<float>& in_added, uint32_t in_uChannels, uint32_t in_uWindow) {
    Reckoning out;
    out.file = in_added;
    out.levels.assign(in_uChannels, {});
    out.peaks.assign(in_uChannels, 0.0f);
    out.nonFinite.assign(in_uChannels, 0);
    out.clipped.assign(in_uChannels, 0);
    std::vector<double> sums(in_uChannels, 0.0);
    const size_t uFrames = in_added.size() / in_uChannels;
    for (size_t uFrame = 0; uFrame < uFrames; ++uFrame) {
        for (uint32_t uChannel = 0; uChannel < in_uChannels; ++uChannel) {
            float& fSample = out.file[uFrame * in_uChannels + uChannel];
            if (!std::isfinite(fSample)) {
                fSample = 0.0f;
                ++out.nonFinite[uChannel];
            } else if (std::fabs(fSample) > 1.0f) {
                ++out.clipped[uChannel];
            }
            sums[uChannel] += static_cast<double>(fSample) * fSample;
            out.peaks[uChannel] = std::max(out.peaks[uChannel], std::fabs(fSample));
        }
        const bool bWindowEnds = (uFrame + 1) % in_uWindow == 0;
        const bool bLast = uFrame + 1 == uFrames;
        if (bWindowEnds || bLast) {
            const double fFrames = bWindowEnds ? in_uWindow : (uFrame + 1) % in_uWindow;
            for (uint32_t uChannel = 0; uChannel < in_uChannels; ++uChannel) {
                out.levels[uChannel].push_back(
                    static_cast<float>(std::sqrt(sums[uChannel] / fFrames)));
                sums[uChannel] = 0.0;
            }
        }
    }
    return out;
}

// Seeded rounds for the speakers' twelve channels, the ears' two and an odd count: blocks of any
// length arrive at the written edge, behind it (adding to frames already handed out), or beyond
// it (leaving silence between); the timeline writes out at random points. Samples are mostly
// within full scale, some beyond it, a few not numbers, some negative zeros. The file must hold
// every add (non-numbers as silence), and the levels, peaks and counts must be the plain
// reckoning's to the bit; a range no add reached before must come uncleared, and only such one.
TEST(WavTimelineTest, FilesLevelsAndCountsMatchAPlainReckoningHoweverTheFramesArrive) {
    std::mt19937 random(20261209);
    std::uniform_real_distribution<float> within(-1.0f, 1.0f);
    std::uniform_real_distribution<float> beyond(-3.0f, 3.0f);
    auto sample = [&]() {
        const uint32_t uDraw = random() % 1000;
        if (uDraw < 2) {
            return NAN;
        }
        if (uDraw < 4) {
            return uDraw == 2 ? INFINITY : -INFINITY;
        }
        if (uDraw < 20) {
            return beyond(random);
        }
        return uDraw < 30 ? -0.0f : within(random);
    };
    int iRound = 0;
    for (uint32_t uChannels : {12u, 2u, 5u}) {
        for (int iTake = 0; iTake < 3; ++iTake, ++iRound) {
            SCOPED_TRACE("round " + std::to_string(iRound) + ", " + std::to_string(uChannels) +
                         " channels");
            const uint32_t uWindow = 50 + random() % 1500;
            const size_t uTotal = 30000 + random() % 30000;
            const std::string path =
                scene_tests::OutputDirectory() + "/timeline-" + std::to_string(iRound) + ".wav";
            scene::WavTimeline timeline;
            std::string error;
            ASSERT_TRUE(timeline.Open(path, uChannels, 48000, nullptr, uWindow, error)) << error;

            std::vector<float> added(uTotal * uChannels, 0.0f);
            size_t uHandedOut = 0;  // frames handed out so far (the timeline's edge)
            size_t uFrame = 0;
            while (uFrame < uTotal) {
                const size_t uLength = std::min<size_t>(1 + random() % 3000, uTotal - uFrame);
                const uint32_t uHow = random() % 4;
                bool bUncleared = false;
                float* pFrames = uHow == 0 ? timeline.Frames(uFrame, uLength)
                                           : timeline.Frames(uFrame, uLength, &bUncleared);
                ASSERT_NE(nullptr, pFrames) << "frame " << uFrame;
                EXPECT_EQ(uHow != 0 && uFrame >= uHandedOut, bUncleared) << "frame " << uFrame;
                for (size_t uIndex = 0; uIndex < uLength * uChannels; ++uIndex) {
                    const float fValue = sample();
                    float& fReckoned = added[uFrame * uChannels + uIndex];
                    if (bUncleared) {
                        pFrames[uIndex] = fValue;
                        fReckoned = fValue;
                    } else {
                        pFrames[uIndex] += fValue;
                        fReckoned += fValue;
                    }
                }
                uHandedOut = std::max(uHandedOut, uFrame + uLength);
                // Next: back into what was handed out (not before what was written), at the
                // edge, or beyond it.
                const uint32_t uStep = random() % 5;
                if (uStep == 0) {
                    uFrame = std::max<size_t>(timeline.WrittenFrames(),
                                              uFrame - std::min<size_t>(uFrame, random() % 2000));
                } else if (uStep == 1) {
                    uFrame = uHandedOut + random() % 3000;
                } else {
                    uFrame = uHandedOut;
                }
                if (random() % 3 == 0 && uFrame > timeline.WrittenFrames()) {
                    const uint64_t uWriteTo =
                        timeline.WrittenFrames() + random() % (uFrame - timeline.WrittenFrames());
                    timeline.FlushBefore(uWriteTo);
                    uFrame = std::max<size_t>(uFrame, timeline.WrittenFrames());
                }
            }
            ASSERT_TRUE(timeline.Close(uTotal, error)) << error;

            const Reckoning reckoned = Reckon(added, uChannels, uWindow);
            scene_tests::WavFile file;
            ASSERT_TRUE(scene_tests::ReadWav(path, file));
            ASSERT_EQ(reckoned.file.size(), file.samples.size());
            size_t uDifferent = 0;
            for (size_t uIndex = 0; uIndex < file.samples.size(); ++uIndex) {
                // Bit for bit: a negative zero stays one.
                uDifferent +=
                    std::signbit(reckoned.file[uIndex]) != std::signbit(file.samples[uIndex]) ||
                    reckoned.file[uIndex] != file.samples[uIndex];
            }
            EXPECT_EQ(0u, uDifferent);
            EXPECT_EQ(reckoned.levels, timeline.Levels());
            EXPECT_EQ(reckoned.peaks, timeline.Peaks());
            EXPECT_EQ(reckoned.nonFinite, timeline.NonFiniteSamples());
            EXPECT_EQ(reckoned.clipped, timeline.ClippedSamples());
            EXPECT_EQ(0u, timeline.LateAdds());
        }
    }
}

}  // namespace
