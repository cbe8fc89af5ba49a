// The report's figures from what a run measured, the ring model's rules, what the files may hold,
// and the picture as an image (converted to PNG with rsvg-convert).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include <nlohmann/json.hpp>

#include "RingFillModel.h"
#include "ScenePicture.h"
#include "SceneReport.h"
#include "SceneTestSupport.h"
#include "WavTimeline.h"

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

TEST(ScenePictureTest, DrawsEveryVoiceWithALegendAndStaysValidXmlWhateverTheNames) {
    // Two mixer voices (one on an object, then in the bed) and a music voice; names and a title
    // with markup, a control character and a byte that is not UTF-8.
    scene::SceneSpec scene;
    scene.fDurationSeconds = 1.0;
    scene.voices.resize(3);
    scene.voices[0].name = "mover <a&b>";
    scene.voices[0].trajectory = {{0, -90, 0, 2}, {1, 90, 0, 2}};
    scene.voices[1].name = std::string("bell\x01\xff");
    scene.voices[1].trajectory = {{0, 180, -60, 3}};
    scene.voices[2].name = "music";
    scene.voices[2].eRoute = scene::VoiceRoute::Music;
    scene::SceneRunResult result;
    result.uTotalFrames = 48000;
    result.speakerLevels.assign(12, std::vector<float>(10, 0.1f));
    result.voiceRoutes = {{{0.0, 0.5, true}, {0.5, 1.0, false}}, {{0.0, 1.0, true}}, {}};
    const std::string svg = scene::BuildPicture("A <test> & \"picture\"\x07", scene, result);
    for (const char* pszText : {"mover &lt;a&amp;b&gt; (mixer bus)", "music (music bus (effect))",
                                "stroke-dasharray", "bell\xEF\xBF\xBD\xEF\xBF\xBD"}) {
        EXPECT_NE(std::string::npos, svg.find(pszText)) << pszText;
    }
    // The first voice's path is split where it leaves its object: one solid, one dashed.
    const std::string colour = std::string("stroke=\"") + scene::VoiceColour(0) + "\"";
    EXPECT_NE(std::string::npos, svg.find(colour + " stroke-width=\"2\""));
    EXPECT_NE(std::string::npos,
              svg.find(colour + " stroke-width=\"1.5\" stroke-opacity=\"0.85\" stroke-dasharray"));
    const std::string directory = scene_tests::OutputDirectory();
    const std::string svgPath = directory + "/picture.svg";
    const std::string pngPath = directory + "/picture.png";
    std::ofstream(svgPath) << svg;
    std::string output;
    ASSERT_EQ(
        0, scene_tests::RunCommand("rsvg-convert -o '" + pngPath + "' '" + svgPath + "'", output))
        << output;
    EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), scene_tests::FileText(pngPath).substr(0, 8));
}

TEST(SceneReportTest, CountsAndFlagsWhatIsNotANumberOrClipsAndWarnsOfASlowAudioThread) {
    // A file given NaN, infinities and samples beyond full scale writes silence in their place
    // and counts them; the report flags them, and a host buffer over its budget is a warning.
    const std::string path = scene_tests::OutputDirectory() + "/odd.wav";
    scene::WavTimeline timeline;
    std::string error;
    ASSERT_TRUE(timeline.Open(path, 2, 48000, nullptr, 4800, error)) << error;
    float* pFrames = timeline.Frames(0, 4);
    const float aOdd[8] = {NAN, 0.5f, INFINITY, -2.0f, 0.25f, -INFINITY, 1.5f, 0.0f};
    std::copy(aOdd, aOdd + 8, pFrames);
    ASSERT_TRUE(timeline.Close(4, error)) << error;
    scene_tests::WavFile file;
    ASSERT_TRUE(scene_tests::ReadWav(path, file));
    EXPECT_EQ((std::vector<float>{0.0f, 0.5f, 0.0f, -2.0f, 0.25f, 0.0f, 1.5f, 0.0f}), file.samples);
    EXPECT_EQ((std::vector<uint64_t>{2, 1}), timeline.NonFiniteSamples());
    EXPECT_EQ((std::vector<uint64_t>{1, 1}), timeline.ClippedSamples());
    EXPECT_EQ(2.0f, timeline.Peaks()[1]);

    scene::SceneRunResult result;
    result.uTotalFrames = 48000;
    result.speakerNonFinite = timeline.NonFiniteSamples();
    result.binauralClipped = timeline.ClippedSamples();
    // Two of 150 host buffers over 10.67 ms; one alone would be another process's doing.
    scene::SceneRunResult once;
    once.frameNanoseconds.assign(150, 1000);
    once.frameNanoseconds[7] = 20000000;
    EXPECT_TRUE(scene::RunWarnings(once).empty());
    result.frameNanoseconds = once.frameNanoseconds;
    result.frameNanoseconds[9] = 11000000;
    result.warnings = scene::RunWarnings(result);
    const json report = json::parse(scene::BuildReport(scene::SceneSpec(), result, {}));
    EXPECT_EQ(3, report["levels"]["speakerNonFiniteSamples"]);
    EXPECT_EQ(2, report["levels"]["binauralClippedSamples"]);
    EXPECT_TRUE(report["levels"]["nonFinite"].get<bool>());
    EXPECT_TRUE(report["levels"]["clipped"].get<bool>());
    EXPECT_EQ(2, report["audioThread"]["hostBuffersOverBudget"]);
    const std::string warnings = report["warnings"].dump();
    for (const char* pszText : {"7.1.4 file had 3 samples that were not numbers",
                                "binaural file clips: 2 samples", "in 2 of 150 host buffers"}) {
        EXPECT_NE(std::string::npos, warnings.find(pszText)) << warnings;
    }
}

}  // namespace
