// The report's figures from what a run measured, the ring model's rules, and the picture as an
// image (converted to PNG with rsvg-convert).

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include <nlohmann/json.hpp>

#include "RingFillModel.h"
#include "ScenePicture.h"
#include "SceneReport.h"
#include "SceneTestSupport.h"

namespace {

using nlohmann::json;

TEST(RingFillModelTest, DropsTheOldestOnOverrunAndGivesNothingToAShortPass) {
    scene::RingFillModel ring(1536);
    ring.Write(512);
    EXPECT_TRUE(ring.Read(480));
    EXPECT_FALSE(ring.Read(480));  // 32 frames left
    EXPECT_EQ(32u, ring.Fill());
    ring.Write(1536);  // 32 too many
    EXPECT_EQ(1u, ring.Overruns());
    EXPECT_EQ(32u, ring.OverrunFrames());
    EXPECT_EQ(1536u, ring.Fill());
    EXPECT_TRUE(ring.Read(1536));
    EXPECT_EQ(3u, ring.Passes());
    EXPECT_EQ(1u, ring.ShortPasses());
    EXPECT_EQ(2048u, ring.Written());
}

TEST(SceneReportTest, TimesAreSummarisedByMeanNearestRankPercentileAndMax) {
    std::vector<uint32_t> times;
    for (uint32_t i = 1; i <= 200; ++i) {
        times.push_back(i * 1000);
    }
    const scene::TimeSummary summary = scene::SummariseTimes(times);
    EXPECT_DOUBLE_EQ(100.5, summary.fMeanMicroseconds);
    EXPECT_DOUBLE_EQ(198.0, summary.fP99Microseconds);
    EXPECT_DOUBLE_EQ(200.0, summary.fMaxMicroseconds);
    EXPECT_EQ(0.0, scene::SummariseTimes({}).fMaxMicroseconds);
}

// Two seconds of host frames: four playing objects and six voices in the first second, two and
// three in the second; one frame without a record.
TEST(SceneReportTest, PerSecondCountersComeFromTheFramesOfThatSecond) {
    scene::SceneRunResult result;
    result.uSampleRate = 48000;
    result.uHostFrames = 480;
    result.uTotalFrames = 96000;
    for (int iFrame = 0; iFrame < 200; ++iFrame) {
        scene::MixerCounters counters;
        counters.bPosted = iFrame != 150;
        counters.uPlayingObjects = iFrame < 100 ? 4 : 2;
        counters.uVoices = iFrame < 100 ? 6 : 3;
        counters.uMaxAvailableObjects = 4;
        result.counters.push_back(counters);
        result.pluginNanoseconds.push_back(1000);
        result.frameNanoseconds.push_back(2000);
    }
    result.sinkRing = scene::RingFillModel(1536);
    result.sinkRing.Write(512);
    result.sinkRing.Read(480);
    result.sinkRing.Read(480);
    const json report = json::parse(scene::BuildReport(scene::SceneSpec(), result, {}));
    ASSERT_EQ(2u, report["perSecond"].size());
    const json& first = report["perSecond"][0];
    EXPECT_EQ(100, first["mixerRecords"]);
    EXPECT_EQ(4, first["playingObjects"]["min"]);
    EXPECT_EQ(4, first["playingObjects"]["max"]);
    EXPECT_EQ(6, first["voices"]["max"]);
    EXPECT_EQ(4, first["maxAvailableObjects"]);
    const json& second = report["perSecond"][1];
    EXPECT_EQ(99, second["mixerRecords"]);
    EXPECT_EQ(2, second["playingObjects"]["max"]);
    EXPECT_EQ(3, second["voices"]["min"]);
    EXPECT_EQ(1, report["rings"]["sink"]["shortPasses"]);
    EXPECT_DOUBLE_EQ(10000.0, report["audioThread"]["budgetMicroseconds"].get<double>());
    EXPECT_DOUBLE_EQ(0.0001,
                     report["audioThread"]["pluginCalls"]["maxShareOfBudget"].get<double>());
    EXPECT_TRUE(report["howMeasured"].contains("rings"));
}

TEST(ScenePictureTest, ThePictureConvertsToAPng) {
    scene::SceneRunResult result;
    result.uTotalFrames = 48000;
    result.uLevelWindowFrames = 4800;
    result.speakerLevels.assign(12, std::vector<float>(10, 0.1f));
    result.speakerLevels[3].assign(10, 0.0f);
    for (int i = 0; i < 50; ++i) {
        result.trajectories[1].push_back(
            scene::TrajectorySample{i * 0.02, static_cast<float>(i) / 10.0f, 0.0f, -2.0f});
    }
    const std::string directory = scene_tests::OutputDirectory();
    const std::string svgPath = directory + "/picture.svg";
    const std::string pngPath = directory + "/picture.png";
    {
        std::ofstream file(svgPath);
        file << scene::BuildPicture("A <test> & \"picture\"", result);
    }
    const std::string command = "rsvg-convert -o '" + pngPath + "' '" + svgPath + "'";
    ASSERT_EQ(0, std::system(command.c_str()));
    std::ifstream png(pngPath, std::ios::binary);
    char aMagic[8] = {};
    png.read(aMagic, sizeof(aMagic));
    EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), std::string(aMagic, 8));
}

}  // namespace
