// Scene files as users write them (what is read, what is refused and where), the signals a voice
// plays, and the built-in scene's promises.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <vector>

#include "HrtfSet.h"
#include "SceneFile.h"
#include "SceneTestSupport.h"
#include "Trajectory.h"
#include "VoiceSignal.h"

namespace {

using scene::ParseScene;
using scene::SceneSpec;

TEST(SceneFileTest, ReadsEveryPartOfAScene) {
    const char* pszText = R"({
        "name": "demo", "duration": 2.5, "seed": 9,
        "renderer": {"grant": 4, "frameCount": 256},
        "host": {"framesPerBuffer": 256, "bufferCount": 4},
        "sink": {"directGain": 0.5, "channelConfig": 1},
        "mixer": {"bypass": true, "maxObjects": 6},
        "music": {"layout": "5.1"},
        "voices": [
          {"name": "a", "source": {"type": "tone", "frequencies": [100, 200]}, "channels": 2,
           "gain": 0.25, "start": 0.5, "end": 2, "bypassLocal": true,
           "trajectory": [{"time": 0, "azimuth": -90, "elevation": 10, "distance": 3},
                          {"time": 2, "azimuth": 90}]},
          {"source": {"type": "sweep", "from": 50, "to": 500, "period": 1}, "route": "music"},
          {"source": {"type": "wav", "file": "x.wav"}, "route": "master"},
          {"source": {"type": "noise"}}
        ]})";
    SceneSpec scene;
    std::string error;
    ASSERT_TRUE(ParseScene(pszText, "/scenes", scene, error)) << error;
    EXPECT_EQ("demo", scene.name);
    EXPECT_EQ(2.5, scene.fDurationSeconds);
    EXPECT_EQ(9u, scene.uSeed);
    EXPECT_EQ(4u, scene.uGrant);
    EXPECT_EQ(256u, scene.uRendererFrames);
    EXPECT_EQ(256u, scene.uHostFrames);
    EXPECT_EQ(4u, scene.uSinkBufferCount);
    EXPECT_EQ(0.5f, scene.fSinkDirectGain);
    EXPECT_EQ(1, scene.iSinkChannelConfig);
    EXPECT_TRUE(scene.bMixerBypass);
    EXPECT_EQ(6, scene.iMixerMaxObjects);
    EXPECT_EQ(0x60Fu, scene.uMusicBusMask);
    ASSERT_EQ(4u, scene.voices.size());
    const scene::VoiceSpec& first = scene.voices[0];
    EXPECT_EQ((std::vector<double>{100, 200}), first.signal.frequencies);
    EXPECT_EQ(2u, first.uChannels);
    EXPECT_EQ(0.25, first.fGain);
    EXPECT_TRUE(first.bBypassLocal);
    EXPECT_EQ(scene::VoiceRoute::Mixer, first.eRoute);
    ASSERT_EQ(2u, first.trajectory.size());
    EXPECT_EQ(1.0, first.trajectory[1].fDistance);  // defaulted
    EXPECT_EQ(scene::SignalKind::Sweep, scene.voices[1].signal.eKind);
    EXPECT_EQ(scene::VoiceRoute::Music, scene.voices[1].eRoute);
    EXPECT_EQ("/scenes/x.wav", scene.voices[2].signal.wavPath);
    EXPECT_EQ(scene::VoiceRoute::Master, scene.voices[2].eRoute);
    EXPECT_EQ("voice 4", scene.voices[3].name);
}

TEST(SceneFileTest, RefusesBadScenesAndSaysWhere) {
    struct Case {
        const char* pszText;
        const char* pszWhere;
    };
    const Case aCases[] = {
        {"{", "not valid JSON"},
        {"[]", "scene: must be an object"},
        {R"({"duration": 2})", "scene.voices"},
        {R"({"voices": [{"channels": 3}]})", "voices[0].channels"},
        {R"({"voices": [{"route": "bus"}]})", "voices[0].route"},
        {R"({"voices": [{"source": {"type": "drum"}}]})", "voices[0].source.type"},
        {R"({"voices": [{"source": {"type": "tone", "frequency": -1}}]})",
         "voices[0].source.frequency"},
        {R"({"voices": [{"source": {"type": "wav"}}]})", "voices[0].source.file"},
        {R"({"voices": [{"trajectory": [{"time": 2}, {"time": 1}]}]})",
         "voices[0].trajectory[1].time"},
        {R"({"voices": [{"trajectory": [{"distance": 0}]}]})", "voices[0].trajectory[0].distance"},
        {R"({"voices": [], "sink": {"channelConfig": 4}})", "sink.channelConfig"},
        {R"({"voices": [], "music": {"layout": "9.1"}})", "music.layout"},
        {R"({"voices": [], "duration": "long"})", "scene.duration"},
        {R"({"voices": [], "renderer": {"frameCount": 1.5}})", "renderer.frameCount"},
    };
    for (const Case& testCase : aCases) {
        SceneSpec scene;
        std::string error;
        EXPECT_FALSE(ParseScene(testCase.pszText, "", scene, error)) << testCase.pszText;
        EXPECT_NE(std::string::npos, error.find(testCase.pszWhere))
            << testCase.pszText << " gave: " << error;
    }
}

// Scenes that must be refused, kept as files in hostile/: each names the value at fault, says
// why, and suggests the key that was meant.
TEST(SceneFileTest, RefusesHostileScenesAndSaysWhereAndWhy) {
    struct Case {
        const char* pszFile;
        const char* pszMessage;
    };
    const Case aCases[] = {
        {"gain-1e39", "voices[0].gain: must lie between 0 and 100"},
        {"sweep-period-1e-300", "voices[0].source.period: must lie between"},
        {"sweep-to-1e300", "voices[0].source.to: 1e+300 Hz is not below half the sample rate"},
        {"frequency-1e9", "voices[0].source.frequency: 1e+09 Hz is not below half the sample"},
        {"frequency-infinite", "not valid JSON: number overflow parsing '1e400'"},
        {"direct-gain-1e30", "sink.directGain: must lie between 0 and 100"},
        {"misspelt-duration", "unknown key 'durration' in the scene (did you mean 'duration'?)"},
        {"misspelt-source", "unknown key 'sourse' in voices[0] (did you mean 'source'?)"},
        {"misspelt-gain", "unknown key 'gian' in voices[2] (did you mean 'gain'?)"},
        {"misspelt-trajectory",
         "unknown key 'trajectroy' in voices[0] (did you mean 'trajectory'?)"},
        {"misspelt-route", "unknown key 'rout' in voices[0] (did you mean 'route'?)"},
        {"misspelt-azimuth",
         "unknown key 'azimuht' in voices[0].trajectory[0] (did you mean 'azimuth'?)"},
        {"duplicate-gain", "duplicate key 'gain' in voices[0]"},
        {"duplicate-duration", "duplicate key 'duration' in the scene"},
        {"missing-comma", "line 5, column 23: not valid JSON: syntax error"},
        {"end-before-start", "voices[0].end: must come after the voice's start (2 s)"},
        {"end-negative", "voices[0].end: must lie between 0 and 3600"},
        {"duration-1e-9", "scene.duration: 1e-09 s is shorter than one host buffer"},
        {"voices-300", "scene.voices: 300 voices; a scene plays at most 256"},
        {"tone-with-file", "voices[0].source.file: a tone source has no 'file'"},
        {"distance-zero", "voices[0].trajectory[0].distance: must lie between 0.01"},
        {"name-parent", "is not one path component"},
        {"name-control", "the name holds control characters"},
    };
    for (const Case& testCase : aCases) {
        const std::string path =
            std::string(ZV_SCENE_TESTS_DIR "/hostile/") + testCase.pszFile + ".json";
        SceneSpec scene;
        std::string error;
        std::vector<std::string> warnings;
        const bool bRefused = !scene::LoadSceneFile(path, scene, error) ||
                              !scene::CheckScene(scene, warnings, error) ||
                              !scene::CheckOutputName(scene.name, error);
        EXPECT_TRUE(bRefused) << testCase.pszFile;
        EXPECT_NE(std::string::npos, error.find(testCase.pszMessage))
            << testCase.pszFile << " gave: " << error;
    }
}

TEST(SceneFileTest, FilesThatCannotBeReadSayWhy) {
    const std::string directory = scene_tests::OutputDirectory();
    const std::string plain = directory + "/plain.json";
    std::ofstream(plain) << "{\"voices\": []}";
    const std::pair<std::string, const char*> aCases[] = {
        {"/nonexistent/scene.json", "/nonexistent/scene.json: No such file or directory"},
        {directory, "is a directory"},
        {plain + "/scene.json", "Not a directory"},
    };
    for (const auto& testCase : aCases) {
        SceneSpec scene;
        std::string error;
        EXPECT_FALSE(scene::LoadSceneFile(testCase.first, scene, error));
        EXPECT_NE(std::string::npos, error.find(testCase.second)) << error;
    }
    // The SOFA set: missing, and a file that is not one.
    std::string error;
    EXPECT_FALSE(scene::HrtfSet::CheckFile(directory + "/none.sofa", error));
    EXPECT_NE(std::string::npos, error.find("No such file or directory")) << error;
    EXPECT_FALSE(scene::HrtfSet::CheckFile(plain, error));
    EXPECT_NE(std::string::npos, error.find("is not a SOFA file")) << error;
}

TEST(SceneFileTest, AVoiceThatStartsAfterTheEndIsAWarning) {
    SceneSpec scene;
    std::string error;
    ASSERT_TRUE(ParseScene(R"({"duration": 2, "voices": [{"start": 3}]})", "", scene, error));
    std::vector<std::string> warnings;
    EXPECT_TRUE(scene::CheckScene(scene, warnings, error)) << error;
    ASSERT_EQ(1u, warnings.size());
    EXPECT_NE(std::string::npos, warnings[0].find("it is not heard")) << warnings[0];
}

TEST(TrajectoryTest, InterpolatesLinearlyAndHoldsAtTheEnds) {
    const std::vector<scene::TrajectoryPoint> points = {{1, 0, 0, 2}, {3, 360, 40, 4}};
    EXPECT_EQ(0.0, scene::PositionAt(points, 0).fAzimuth);
    const scene::Direction middle = scene::PositionAt(points, 2);
    EXPECT_DOUBLE_EQ(180.0, middle.fAzimuth);
    EXPECT_DOUBLE_EQ(20.0, middle.fElevation);
    EXPECT_DOUBLE_EQ(3.0, middle.fDistance);
    EXPECT_EQ(360.0, scene::PositionAt(points, 10).fAzimuth);
    EXPECT_EQ(1.0, scene::PositionAt({}, 5).fDistance);
}

class VoiceSignalTest : public ::testing::Test {
protected:
    // Renders in_uFrames from frame 0 in blocks of 480.
    std::vector<std::vector<float>> Render(const scene::VoiceSpec& in_voice, uint32_t in_uFrames) {
        scene::VoiceSignal signal;
        std::string error;
        EXPECT_TRUE(signal.Prepare(m_scene, in_voice, 0, error)) << error;
        std::vector<std::vector<float>> channels(in_voice.uChannels,
                                                 std::vector<float>(in_uFrames));
        for (uint32_t uFirst = 0; uFirst < in_uFrames; uFirst += 480) {
            float* apChannels[2] = {channels[0].data() + uFirst,
                                    in_voice.uChannels > 1 ? channels[1].data() + uFirst : nullptr};
            signal.Render(uFirst, std::min(480u, in_uFrames - uFirst), apChannels);
        }
        return channels;
    }

    SceneSpec m_scene;
};

TEST_F(VoiceSignalTest, SoundsOnlyBetweenStartAndEndWithShortFades) {
    scene::VoiceSpec voice;
    voice.signal.frequencies = {1000};
    voice.fStart = 0.1;
    voice.fEnd = 0.2;
    const auto channels = Render(voice, 14400);
    for (uint32_t uFrame = 0; uFrame < 4800; ++uFrame) {
        ASSERT_EQ(0.0f, channels[0][uFrame]) << uFrame;
    }
    for (uint32_t uFrame = 9600; uFrame < 14400; ++uFrame) {
        ASSERT_EQ(0.0f, channels[0][uFrame]) << uFrame;
    }
    // The first samples rise from silence; in the middle the tone has its full amplitude.
    EXPECT_LT(std::fabs(channels[0][4801]), 0.01f);
    float fPeak = 0.0f;
    for (uint32_t uFrame = 6000; uFrame < 8000; ++uFrame) {
        fPeak = std::max(fPeak, std::fabs(channels[0][uFrame]));
    }
    EXPECT_NEAR(1.0f, fPeak, 0.01f);
    scene::VoiceSignal signal;
    std::string error;
    ASSERT_TRUE(signal.Prepare(m_scene, voice, 0, error));
    EXPECT_FALSE(signal.IsActive(0, 4800));
    EXPECT_TRUE(signal.IsActive(4700, 480));
    EXPECT_FALSE(signal.IsActive(9600, 480));
}

TEST_F(VoiceSignalTest, StereoSignalsDifferBetweenChannels) {
    scene::VoiceSpec voice;
    voice.uChannels = 2;
    voice.signal.frequencies = {300, 500};
    auto tone = Render(voice, 4800);
    EXPECT_NE(tone[0], tone[1]);
    voice.signal.eKind = scene::SignalKind::Sweep;
    auto sweep = Render(voice, 4800);
    EXPECT_NE(sweep[0], sweep[1]);
    voice.signal.eKind = scene::SignalKind::Noise;
    auto noise = Render(voice, 4800);
    EXPECT_NE(noise[0], noise[1]);
}

TEST(SineOfCyclesTest, MatchesStdSinOverManyTurnsAndBothSigns) {
    double fWorst = 0.0;
    for (int i = -200000; i <= 200000; ++i) {
        // Irregular steps, quarter turns and their neighbours, and phases far from zero.
        const double fCycles = i * 0.0123456789 + (i % 7 == 0 ? 1e5 : 0.0);
        fWorst = std::max(fWorst, std::fabs(scene::SineOfCycles(fCycles) -
                                            std::sin(6.283185307179586 * fCycles)));
    }
    for (double fQuarter : {0.0, 0.25, 0.5, 0.75, -0.25, -0.5}) {
        fWorst = std::max(fWorst, std::fabs(scene::SineOfCycles(fQuarter) -
                                            std::sin(6.283185307179586 * fQuarter)));
    }
    // The polynomial is within 7e-12; std::sin's own argument carries about 7e-11 of rounding at
    // 1e5 turns.
    EXPECT_LT(fWorst, 5e-10);
}

TEST_F(VoiceSignalTest, EverySampleIsTheSameWhateverTheBlocks) {
    // The player renders in host buffers, a test in blocks of 480: a voice must not depend on
    // where a block starts (noise and sweeps included).
    for (scene::SignalKind eKind :
         {scene::SignalKind::Tone, scene::SignalKind::Noise, scene::SignalKind::Sweep}) {
        SCOPED_TRACE(static_cast<int>(eKind));
        scene::VoiceSpec voice;
        voice.uChannels = 2;
        voice.signal.eKind = eKind;
        voice.signal.fPeriodSeconds = 0.05;  // restarts inside blocks
        voice.fStart = 0.01;
        const auto blocks = Render(voice, 9600);
        scene::VoiceSignal signal;
        std::string error;
        ASSERT_TRUE(signal.Prepare(m_scene, voice, 0, error));
        std::vector<std::vector<float>> odd(2, std::vector<float>(9600));
        for (uint32_t uFirst = 0; uFirst < 9600; uFirst += 512) {
            float* apChannels[2] = {odd[0].data() + uFirst, odd[1].data() + uFirst};
            signal.Render(uFirst, std::min(512u, 9600 - uFirst), apChannels);
        }
        for (int iChannel = 0; iChannel < 2; ++iChannel) {
            for (uint32_t uFrame = 0; uFrame < 9600; ++uFrame) {
                ASSERT_NEAR(blocks[iChannel][uFrame], odd[iChannel][uFrame], 1e-6f)
                    << "channel " << iChannel << " frame " << uFrame;
            }
        }
        // Full scale, and not stuck.
        const auto peak = std::max_element(blocks[0].begin(), blocks[0].end());
        EXPECT_GT(*peak, 0.9f);
    }
}

// WAV sources at other rates come out at the scene's rate with their tones where they were and no
// image or alias above -90 dBFS (a 96 kHz file's 30 kHz tone must not fold to 18 kHz; an 8 kHz
// file's 1 kHz tone must not mirror to 7 and 9 kHz).
TEST_F(VoiceSignalTest, WavSourcesAreResampledWithoutImagesOrAliases) {
    struct Case {
        int iRate;
        std::vector<double> tones;      // per file channel; the voice plays the first two
        std::vector<double> heard;      // per voice channel: the tone that must come through
        std::vector<double> forbidden;  // images and aliases, in either channel
    };
    const Case aCases[] = {
        {8000, {1000, 1500}, {1000, 1500}, {7000, 9000, 6500, 9500, 15000, 17000}},
        {44100, {2000, 3000}, {2000, 3000}, {5900, 1900, 6900, 900}},
        {96000, {5000, 30000}, {5000, 0}, {18000}},
    };
    const std::string directory = scene_tests::OutputDirectory();
    for (const Case& testCase : aCases) {
        SCOPED_TRACE(testCase.iRate);
        const std::string path = directory + "/" + std::to_string(testCase.iRate) + ".wav";
        scene_tests::WriteToneWav(path, testCase.iRate, testCase.tones, 1.2);
        scene::VoiceSpec voice;
        voice.uChannels = 2;
        voice.signal.eKind = scene::SignalKind::WavFile;
        voice.signal.wavPath = path;
        const auto channels = Render(voice, 48000);
        for (size_t uChannel = 0; uChannel < 2; ++uChannel) {
            scene_tests::WavFile out;
            out.iChannels = 1;
            out.iSampleRate = 48000;
            out.samples = channels[uChannel];
            if (testCase.heard[uChannel] > 0) {
                EXPECT_NEAR(-6.0,
                            scene_tests::ToneLevelDb(out, 0, 4800, 43200, testCase.heard[uChannel]),
                            0.2);
            }
            for (double fHz : testCase.forbidden) {
                EXPECT_LT(scene_tests::ToneLevelDb(out, 0, 4800, 43200, fHz), -90.0) << fHz;
            }
        }
    }
}

// A long file in a short scene: only what plays is read. A file with more channels than the voice
// says which of them play.
TEST_F(VoiceSignalTest, AWavSourceReadsOnlyWhatPlaysAndSaysWhichChannels) {
    const std::string path = scene_tests::OutputDirectory() + "/long.wav";
    scene_tests::WriteToneWav(path, 8000, {100, 200, 300, 400, 500, 600, 700, 800}, 120.0);
    scene::VoiceSpec voice;
    voice.uChannels = 2;
    voice.signal.eKind = scene::SignalKind::WavFile;
    voice.signal.wavPath = path;
    m_scene.fDurationSeconds = 0.5;
    scene::VoiceSignal signal;
    std::string error;
    ASSERT_TRUE(signal.Prepare(m_scene, voice, 0, error)) << error;
    std::vector<float> left(480), right(480);
    float* apChannels[2] = {left.data(), right.data()};
    for (uint64_t uFirst = 0; uFirst < 24000; uFirst += 480) {
        signal.Render(uFirst, 480, apChannels);
    }
    ASSERT_NE(nullptr, signal.Wav());
    EXPECT_LT(signal.Wav()->FileFramesRead(), 4000u + 2 * 4096u);
    EXPECT_NE(std::string::npos,
              signal.Wav()->Describe().find("plays channels 1-2 (channels 3-8 are not played)"))
        << signal.Wav()->Describe();
}

TEST(DefaultSceneTest, HasMoreObjectVoicesThanGrantedAndEveryRoute) {
    const SceneSpec scene = scene::DefaultScene();
    EXPECT_NEAR(10.0, scene.fDurationSeconds, 1.0);
    size_t uMixerVoices = 0, uStereoMixerVoices = 0, uBypassed = 0;
    bool bMusic = false, bMaster = false;
    for (const scene::VoiceSpec& voice : scene.voices) {
        if (voice.eRoute == scene::VoiceRoute::Mixer) {
            ++uMixerVoices;
            uStereoMixerVoices += voice.uChannels == 2;
            uBypassed += voice.bBypassLocal;
        }
        bMusic = bMusic || voice.eRoute == scene::VoiceRoute::Music;
        bMaster = bMaster || voice.eRoute == scene::VoiceRoute::Master;
    }
    EXPECT_GT(uMixerVoices - uBypassed, scene.uGrant);
    EXPECT_GE(uStereoMixerVoices, 1u);
    EXPECT_EQ(1u, uBypassed);
    EXPECT_TRUE(bMusic);
    EXPECT_TRUE(bMaster);
}

}  // namespace
