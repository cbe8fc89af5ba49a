// Short scenes played through the three plug-ins into the stepped renderer, checked by what the
// player wrote: where the sound is in the 7.1.4 and binaural files, and what the report counts.

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "SceneReport.h"
#include "ScenePlayer.h"
#include "SceneTestSupport.h"
#include "StandinFixture.h"

namespace {

using scene::SceneSpec;
using scene::VoiceSpec;
using scene_tests::Decibels;
using scene_tests::LoudestOutsideDb;
using scene_tests::ReadWav;
using scene_tests::ToneLevelDb;
using scene_tests::WavFile;

VoiceSpec MixerVoice(const std::string& in_name, scene::SignalKind in_eKind, double in_fAzimuth,
                     double in_fDistance = 2.0) {
    VoiceSpec voice;
    voice.name = in_name;
    voice.signal.eKind = in_eKind;
    voice.fGain = 0.5;
    voice.trajectory = {{0.0, in_fAzimuth, 0.0, in_fDistance}};
    return voice;
}

class ScenePlayerTest : public testing_support::StandinTest {
protected:
    // Plays in_scene; the files land in this test's directory.
    void Play(const SceneSpec& in_scene) {
        const std::string directory = scene_tests::OutputDirectory();
        scene::ScenePlayerOptions options;
        options.speakerPath = directory + "/speakers.wav";
        options.binauralPath = directory + "/binaural.wav";
        options.bRealTime = m_bRealTime;
        options.bMixOnOwnThread = m_bMixOnOwnThread;
        options.bLockstepOnOneCpu = m_bLockstepOnOneCpu;
        std::string error;
        ASSERT_TRUE(scene::PlayScene(in_scene, options, m_result, error)) << error;
        ASSERT_TRUE(ReadWav(options.speakerPath, m_speakers));
        ASSERT_TRUE(ReadWav(options.binauralPath, m_binaural));
        m_speakerBytes = FileBytes(options.speakerPath);
        m_binauralBytes = FileBytes(options.binauralPath);
        m_report = nlohmann::json::parse(scene::BuildReport(in_scene, m_result, {}));
        EXPECT_EQ(0u, m_result.uOutstandingBlocks);
        EXPECT_EQ(0u, m_result.uBadFrees);
        EXPECT_TRUE(m_result.hostErrors.empty()) << m_result.hostErrors.front();
    }

    static SceneSpec ShortScene(double in_fSeconds) {
        SceneSpec scene;
        scene.name = "test";
        scene.fDurationSeconds = in_fSeconds;
        scene.uGrant = 8;
        return scene;
    }

    // One speaker of the 7.1.4 file: where its sound starts and ends, and the longest run of
    // exact zeros between (a gap: a pass or a ring read that brought nothing).
    struct ChannelSpan {
        size_t uFirst = SIZE_MAX;
        size_t uLast = 0;
        size_t uLongestZeros = 0;
        size_t uLongestZerosAt = 0;
    };
    ChannelSpan SpanOf(int in_iChannel) const {
        ChannelSpan span;
        size_t uZeros = 0;
        for (size_t uFrame = 0; uFrame < m_speakers.Frames(); ++uFrame) {
            if (m_speakers.samples[uFrame * m_speakers.iChannels + in_iChannel] == 0.0f) {
                ++uZeros;
                continue;
            }
            if (span.uFirst != SIZE_MAX && uZeros > span.uLongestZeros) {
                span.uLongestZeros = uZeros;
                span.uLongestZerosAt = uFrame - uZeros;
            }
            span.uFirst = std::min(span.uFirst, uFrame);
            span.uLast = uFrame;
            uZeros = 0;
        }
        return span;
    }

    static std::vector<uint8_t> FileBytes(const std::string& in_path) {
        std::ifstream file(in_path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
                                    std::istreambuf_iterator<char>());
    }

    bool m_bRealTime = false;
    bool m_bMixOnOwnThread = true;
    bool m_bLockstepOnOneCpu = true;
    scene::SceneRunResult m_result;
    WavFile m_speakers;
    WavFile m_binaural;
    std::vector<uint8_t> m_speakerBytes, m_binauralBytes;
    nlohmann::json m_report;
};

TEST_F(ScenePlayerTest, BothFilesReadBackWithTheirChannelsRateAndLength) {
    SceneSpec scene = ShortScene(0.5);
    scene.voices.push_back(MixerVoice("a", scene::SignalKind::Noise, 0));
    Play(scene);
    EXPECT_EQ(12, m_speakers.iChannels);
    EXPECT_EQ(48000, m_speakers.iSampleRate);
    // The scene, then the play-out of what the plug-ins hold: whole passes, at least the sink's
    // longest queue (a period and two host buffers).
    const uint64_t uPlayOut = scene::PlayOutFrames(scene);
    EXPECT_EQ(0u, uPlayOut % 480);
    EXPECT_GE(uPlayOut, 480u + 2 * 512);
    EXPECT_EQ(24000u + uPlayOut, m_speakers.Frames());
    EXPECT_EQ(2, m_binaural.iChannels);
    EXPECT_EQ(48000, m_binaural.iSampleRate);
    EXPECT_EQ(24000u + uPlayOut, m_binaural.Frames());
}

// The sink's and the effect's routes at host buffers and periods that dropped out before: a
// stereo chord through the effect (front left and right) and a tone straight into the sink (back
// left and right). No modelled overrun or short pass, no silent pass in either stream, no run of
// exact zeros inside the sound, and every frame of the scene heard: the play-out after it brings
// the last frames that the plug-ins held.
TEST_F(ScenePlayerTest, TheSinkAndTheEffectPlayAnyHostBufferAndPeriodWithoutAGap) {
    const std::pair<uint16_t, uint32_t> aSettings[] = {{128, 480},  {256, 480},  {400, 480},
                                                       {512, 1200}, {512, 2048}, {512, 4096}};
    for (const auto& setting : aSettings) {
        SCOPED_TRACE("host " + std::to_string(setting.first) + ", period " +
                     std::to_string(setting.second));
        SceneSpec scene = ShortScene(1.0);
        scene.uHostFrames = setting.first;
        scene.uRendererFrames = setting.second;
        VoiceSpec music = MixerVoice("music", scene::SignalKind::Tone, 0.0);
        music.signal.frequencies = {220.0, 277.18};
        music.uChannels = 2;
        music.eRoute = scene::VoiceRoute::Music;
        scene.voices.push_back(music);
        VoiceSpec master = MixerVoice("master", scene::SignalKind::Tone, 180.0);
        master.signal.frequencies = {330.0};
        master.eRoute = scene::VoiceRoute::Master;
        scene.voices.push_back(master);
        Play(scene);
        if (HasFatalFailure()) {
            return;
        }
        for (const char* pszRing : {"sink", "effect"}) {
            EXPECT_EQ(0, m_report["rings"][pszRing]["overruns"]) << pszRing;
            EXPECT_EQ(0, m_report["rings"][pszRing]["shortPasses"]) << pszRing;
        }
        for (const nlohmann::json& stream : m_report["rendererStreams"]) {
            // Only the play-out after the scene may be silent.
            if (stream["plugin"] == "sink" || stream["plugin"] == "effect") {
                EXPECT_EQ(0, stream["silentPasses"]) << stream["plugin"];
                EXPECT_EQ(scene::PlayOutFrames(scene) / setting.second,
                          stream["playOutPasses"].get<uint64_t>())
                    << stream["plugin"];
            }
        }
        for (int iChannel : {0, 1, 4, 5}) {
            const ChannelSpan span = SpanOf(iChannel);
            ASSERT_NE(SIZE_MAX, span.uFirst) << "channel " << iChannel << " silent";
            EXPECT_LT(span.uLongestZeros, 2u) << "a gap on channel " << iChannel;
            EXPECT_GE(span.uLast - span.uFirst + 1, 48000u - 2)
                << "the end of channel " << iChannel;
        }
    }
}

// The built-in scene, as a new user first hears it: voices on objects that start and end
// mid-scene, more of them than the grant (voices handed between objects and the bed), music
// through the effect and voices straight into the sink. Every speaker sounds from its first
// frame to its last without a run of exact zeros, and the report's counters say the same: no
// overrun, no short pass in any plug-in, no silent pass in any stream before the play-out.
TEST_F(ScenePlayerTest, TheDefaultScenePlaysWithoutAGapAndItsReportSaysSo) {
    Play(scene::DefaultScene());
    if (HasFatalFailure()) {
        return;
    }
    for (const char* pszRing : {"sink", "effect", "mixer"}) {
        EXPECT_EQ(0, m_report["rings"][pszRing]["overruns"]) << pszRing;
        EXPECT_EQ(0, m_report["rings"][pszRing]["shortPasses"]) << pszRing;
    }
    EXPECT_EQ(8, m_report["rings"]["mixer"]["objectRecordsUsed"]);
    std::set<std::string> plugins;
    for (const nlohmann::json& stream : m_report["rendererStreams"]) {
        if (stream["passes"] == 0) {
            continue;
        }
        plugins.insert(stream["plugin"].get<std::string>());
        EXPECT_EQ(0, stream["silentPasses"]) << stream["plugin"];
        EXPECT_EQ(0, stream["missedPasses"]) << stream["plugin"];
        EXPECT_GT(stream["playOutPasses"], 0) << stream["plugin"];
    }
    EXPECT_EQ((std::set<std::string>{"sink", "effect", "mixer"}), plugins);
    for (int iChannel = 0; iChannel < 12; ++iChannel) {
        if (iChannel == 3) {
            continue;  // the low-frequency channel: nothing in the scene plays on it
        }
        const ChannelSpan span = SpanOf(iChannel);
        ASSERT_NE(SIZE_MAX, span.uFirst) << "speaker " << iChannel << " silent";
        EXPECT_LT(span.uLongestZeros, 16u)
            << "a gap on speaker " << iChannel << " at frame " << span.uLongestZerosAt;
    }
}

TEST_F(ScenePlayerTest, AMonoVoiceToOneSideIsLouderInThatEar) {
    for (double fAzimuth : {90.0, -90.0}) {
        SCOPED_TRACE(fAzimuth);
        SceneSpec scene = ShortScene(1.0);
        scene.voices.push_back(MixerVoice("side", scene::SignalKind::Noise, fAzimuth));
        Play(scene);
        const double fLeft = m_binaural.Energy(0);
        const double fRight = m_binaural.Energy(1);
        ASSERT_GT(fLeft + fRight, 1e-6) << "nothing reached the renderer";
        EXPECT_GT(Decibels(fAzimuth > 0 ? fRight / fLeft : fLeft / fRight), 6.0);
        // It was a dynamic object, not a bed channel.
        EXPECT_EQ(1, m_report["perSecond"][0]["playingObjects"]["max"]);
    }
}

TEST_F(ScenePlayerTest, AToneOnTheFrontLeftBedObjectIsOnlyInChannelZero) {
    // A one-channel music bus plays on the front-left bed object through the effect, and the
    // effect leaves silence in the bus, so the sink's bed carries nothing.
    SceneSpec scene = ShortScene(0.5);
    scene.uMusicBusMask = 0x4;
    VoiceSpec tone;
    tone.signal.frequencies = {1000};
    tone.eRoute = scene::VoiceRoute::Music;
    scene.voices.push_back(tone);
    Play(scene);
    EXPECT_GT(m_speakers.Energy(0), 0.01);
    for (int iChannel = 1; iChannel < 12; ++iChannel) {
        EXPECT_EQ(0.0, m_speakers.Energy(iChannel)) << "channel " << iChannel;
    }
}

TEST_F(ScenePlayerTest, AVoiceMovingFromFrontToBackTakesItsEnergyToTheBackSpeakers) {
    SceneSpec scene = ShortScene(2.0);
    VoiceSpec voice = MixerVoice("mover", scene::SignalKind::Noise, 0);
    voice.trajectory = {{0.0, 0.0, 0.0, 2.0}, {2.0, 180.0, 0.0, 2.0}};
    scene.voices.push_back(voice);
    Play(scene);
    const size_t uQuarter = m_speakers.Frames() / 4;
    auto front = [&](size_t in_uFrom) {
        return m_speakers.Energy(0, in_uFrom, in_uFrom + uQuarter) +
               m_speakers.Energy(1, in_uFrom, in_uFrom + uQuarter) +
               m_speakers.Energy(2, in_uFrom, in_uFrom + uQuarter);
    };
    auto back = [&](size_t in_uFrom) {
        return m_speakers.Energy(4, in_uFrom, in_uFrom + uQuarter) +
               m_speakers.Energy(5, in_uFrom, in_uFrom + uQuarter);
    };
    EXPECT_GT(front(0), 4.0 * back(0));
    EXPECT_GT(back(3 * uQuarter), 4.0 * front(3 * uQuarter));
}

TEST_F(ScenePlayerTest, TheReportCountsGrantedObjectsAndVoices) {
    // Six mono voices at distinct positions and a grant of four: four objects play, six voices.
    SceneSpec scene = ShortScene(2.0);
    scene.uGrant = 4;
    for (int iVoice = 0; iVoice < 6; ++iVoice) {
        scene.voices.push_back(MixerVoice("v" + std::to_string(iVoice), scene::SignalKind::Tone,
                                          -150.0 + 60.0 * iVoice));
    }
    Play(scene);
    for (const nlohmann::json& second : m_report["perSecond"]) {
        if (second["second"] >= 2) {
            continue;  // the play-out after the scene: no voice plays
        }
        EXPECT_EQ(4, second["playingObjects"]["min"]);
        EXPECT_EQ(4, second["playingObjects"]["max"]);
        EXPECT_EQ(6, second["voices"]["max"]);
        EXPECT_EQ(4, second["maxAvailableObjects"]);
    }
    // The stepped renderer keeps up with the host: no ring ran over or short after the start.
    EXPECT_EQ(0, m_report["rings"]["sink"]["overruns"]);
    EXPECT_EQ(0, m_report["rings"]["sink"]["shortPasses"]);
    EXPECT_EQ(4, m_report["rings"]["mixer"]["objectRecordsUsed"]);
    EXPECT_EQ(0, m_report["rings"]["mixer"]["overruns"]);
    EXPECT_EQ(0, m_report["rings"]["mixer"]["shortPasses"]);
    // Each voice's route over time, for the picture: four on objects, two in the bed, throughout.
    std::map<std::string, int> routes;
    for (const nlohmann::json& voice : m_report["voices"]) {
        ASSERT_EQ(1u, voice["spans"].size()) << voice.dump();
        ++routes[voice["spans"][0]["on"].get<std::string>()];
    }
    EXPECT_EQ(4, routes["object"]);
    EXPECT_EQ(2, routes["bed"]);
}

TEST_F(ScenePlayerTest, VoicesBeyondTheGrantAndBypassedVoicesAreHeardThroughTheSink) {
    // No objects at all: the voice goes to the mixer bus and through the sink's bed; bypassing
    // does the same with objects to spare.
    for (bool bBypass : {false, true}) {
        SCOPED_TRACE(bBypass);
        SceneSpec scene = ShortScene(0.5);
        scene.uGrant = bBypass ? 8 : 0;
        VoiceSpec voice = MixerVoice("bed", scene::SignalKind::Noise, 30.0);
        voice.bBypassLocal = bBypass;
        scene.voices.push_back(voice);
        Play(scene);
        EXPECT_EQ(0, m_report["perSecond"][0]["playingObjects"]["max"]);
        // Panned by the host onto the front right speaker of the 7.1.4 bed.
        EXPECT_GT(m_speakers.Energy(1), 100.0 * m_speakers.Energy(0));
    }
}

// Where the threads run changes nothing the player writes: the listener mix on the player's
// thread with every thread left to the scheduler, against the mix on its own thread with the
// audio thread and the render workers kept on one processor. The caller's thread gets its
// processors back after the run.
TEST_F(ScenePlayerTest, TheFilesAreTheSameWhereverTheThreadsRun) {
    // Every route, a voice that starts late and one that ends early, more voices than objects.
    SceneSpec scene = ShortScene(1.5);
    scene.uGrant = 2;
    VoiceSpec mover = MixerVoice("mover", scene::SignalKind::Sweep, -90);
    mover.uChannels = 2;
    mover.trajectory.push_back({1.5, 90.0, 30.0, 1.0});
    scene.voices.push_back(mover);
    VoiceSpec late = MixerVoice("late", scene::SignalKind::Tone, 30);
    late.fStart = 0.4;
    late.fEnd = 1.1;
    scene.voices.push_back(late);
    scene.voices.push_back(MixerVoice("third", scene::SignalKind::Noise, 150));
    VoiceSpec music = MixerVoice("music", scene::SignalKind::Tone, 0);
    music.eRoute = scene::VoiceRoute::Music;
    scene.voices.push_back(music);
    VoiceSpec master = MixerVoice("master", scene::SignalKind::Noise, -30);
    master.eRoute = scene::VoiceRoute::Master;
    master.fGain = 0.05;
    scene.voices.push_back(master);

    cpu_set_t before;
    ASSERT_EQ(0, pthread_getaffinity_np(pthread_self(), sizeof(before), &before));
    m_bMixOnOwnThread = false;
    m_bLockstepOnOneCpu = false;
    Play(scene);
    EXPECT_TRUE(m_report["lockstepProcessor"].is_null());
    const std::vector<uint8_t> speakers = m_speakerBytes;
    const std::vector<uint8_t> binaural = m_binauralBytes;
    ASSERT_GT(m_speakers.Energy(0) + m_speakers.Energy(1), 1e-6);
    m_bMixOnOwnThread = true;
    m_bLockstepOnOneCpu = true;
    Play(scene);
    EXPECT_EQ(0, m_report["audioThread"]["listenerMixBatchesDropped"]);
    EXPECT_TRUE(speakers == m_speakerBytes);
    EXPECT_TRUE(binaural == m_binauralBytes);
    if (CPU_COUNT(&before) > 1) {
        ASSERT_TRUE(m_report["lockstepProcessor"].is_number());
        EXPECT_TRUE(CPU_ISSET(m_report["lockstepProcessor"].get<int>(), &before));
    } else {
        EXPECT_TRUE(m_report["lockstepProcessor"].is_null());
    }
    cpu_set_t after;
    ASSERT_EQ(0, pthread_getaffinity_np(pthread_self(), sizeof(after), &after));
    EXPECT_TRUE(CPU_EQUAL(&before, &after));
}

TEST_F(ScenePlayerTest, RealTimePacingPlaysAlongTheClock) {
    m_bRealTime = true;
    SceneSpec scene = ShortScene(0.5);
    scene.voices.push_back(MixerVoice("a", scene::SignalKind::Noise, 90));
    Play(scene);
    EXPECT_GE(m_result.fWallSeconds, 0.45);
    EXPECT_GT(m_binaural.Energy(1), m_binaural.Energy(0));
}

// The renderer plays at 48 kHz whatever the scene's rate. At 44.1 kHz no plug-in plays through
// it: the sink does not open, so the engine plays its final mix on its own output, which the files
// hold at the scene's rate; the effect leaves the music bus alone and the mixer mixes its voice
// into its bus. Each tone is heard where the engine puts it, whole and steady, with nothing
// between the tones (a frame lost or doubled where the output is cut into blocks would click),
// and by the clock as in steps, the same to the byte.
TEST_F(ScenePlayerTest, ASceneAtAnotherRateThanTheRenderersPlaysOnTheEnginesOwnOutput) {
    SceneSpec scene = ShortScene(1.0);
    scene.uSampleRate = 44100;
    VoiceSpec music = MixerVoice("music", scene::SignalKind::Tone, 0);
    music.signal.frequencies = {1000};
    music.eRoute = scene::VoiceRoute::Music;
    VoiceSpec voice = MixerVoice("voice", scene::SignalKind::Tone, 30);
    voice.signal.frequencies = {500};
    scene.voices = {music, voice};
    std::vector<uint8_t> stepped;
    for (const bool bRealTime : {false, true}) {
        SCOPED_TRACE(bRealTime);
        m_bRealTime = bRealTime;
        Play(scene);
        EXPECT_TRUE(standin::StreamActivations().empty()) << "nothing played at the wrong rate";
        EXPECT_EQ(0u, m_report["rendererStreams"].size());
        EXPECT_EQ(44100, m_report["sampleRate"]);
        EXPECT_EQ(48000, m_report["rendererSampleRate"]);
        const std::string output = m_report["output"];
        EXPECT_EQ(0u, output.find("the engine's own output: the sink answered 4 to InitPlugin "
                                  "(the scene runs at 44100 Hz, the renderer plays at 48000 Hz"))
            << output;
        // The sink's fall-back and the effect's absence, said first in the warnings too (a loaded
        // machine may add one of the audio thread's time).
        ASSERT_LE(2u, m_result.warnings.size()) << m_report["warnings"].dump(1);
        const std::string why = output.substr(output.find(':') + 2);
        EXPECT_EQ(0u, m_result.warnings[0].find(why)) << m_result.warnings[0];
        EXPECT_EQ(0u, m_result.warnings[1].find("the effect answered 2 to InitPlugin"))
            << m_result.warnings[1];
        std::vector<std::string> notices = m_report["checks"]["monitorMessages"];
        ASSERT_EQ(2u, notices.size());
        EXPECT_EQ(0u, notices[0].find("effect: ")) << notices[0];
        EXPECT_EQ(0u, notices[1].find("mixer: ")) << notices[1];
        for (const std::string& notice : notices) {
            EXPECT_NE(std::string::npos,
                      notice.find("the engine runs at 44100 Hz, the renderer plays at 48000 Hz"))
                << notice;
        }
        for (const nlohmann::json& second : m_report["perSecond"]) {
            EXPECT_EQ(0, second["playingObjects"]["max"]);
            EXPECT_EQ(0, second["maxAvailableObjects"]);
        }

        EXPECT_EQ(44100, m_speakers.iSampleRate);
        // The scene, then the play-out after its last frame.
        EXPECT_EQ(44100u + scene::PlayOutFrames(scene), m_speakers.Frames());
        EXPECT_EQ(44100, m_binaural.iSampleRate);
        // The music bus (stereo) on the front pair, the voice at 30 degrees panned by the host
        // onto the front right; the fades at the ends left out.
        const size_t uFrom = 2205, uTo = 44100 - 2205, uQuarter = (uTo - uFrom) / 4;
        for (int iChannel = 0; iChannel < 12; ++iChannel) {
            if (iChannel > 1) {
                // The host's panning gains there are cos(pi / 2) at most.
                EXPECT_LT(m_speakers.Energy(iChannel), 1e-12 * m_speakers.Energy(1)) << iChannel;
                continue;
            }
            const std::vector<double> tones =
                iChannel == 0 ? std::vector<double>{1000} : std::vector<double>{500, 1000};
            const double fLevel = ToneLevelDb(m_speakers, iChannel, uFrom, uTo, 1000);
            EXPECT_GT(fLevel, -20.0) << iChannel;
            for (size_t uPart = 0; uPart < 4; ++uPart) {
                const size_t uStart = uFrom + uPart * uQuarter;
                for (const double fTone : tones) {
                    EXPECT_NEAR(ToneLevelDb(m_speakers, iChannel, uFrom, uTo, fTone),
                                ToneLevelDb(m_speakers, iChannel, uStart, uStart + uQuarter, fTone),
                                0.1)
                        << iChannel << " " << fTone << " " << uPart;
                }
            }
            // Beyond the window's main lobe (86 Hz), nothing; a click would spread far above that.
            EXPECT_LT(LoudestOutsideDb(m_speakers, iChannel, tones, 150.0, uFrom, uTo), -80.0)
                << iChannel;
        }
        EXPECT_GT(m_speakers.Energy(1), m_speakers.Energy(0));
        if (!bRealTime) {
            stepped = m_speakerBytes;
        }
    }
    EXPECT_TRUE(stepped == m_speakerBytes);
}

}  // namespace
