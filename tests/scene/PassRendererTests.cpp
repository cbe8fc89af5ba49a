// What a listener hears from renderer passes: static objects on their own speaker, dynamic
// objects panned to where they are, louder in the nearer ear, volumes applied; both files read
// back through libsndfile with their channel counts and rate.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "HrtfSet.h"
#include "PassRenderer.h"
#include "SceneTestSupport.h"
#include "SpeakerLayout.h"

namespace {

using scene_tests::Decibels;
using scene_tests::ReadWav;
using scene_tests::WavFile;

constexpr uint32_t kBlock = 480;
constexpr uint32_t kRate = 48000;

std::vector<float> Noise(uint32_t in_uSeed) {
    std::mt19937 generator(in_uSeed);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    std::vector<float> samples(kBlock);
    for (float& fSample : samples) {
        fSample = uniform(generator);
    }
    return samples;
}

std::vector<float> Tone(uint64_t in_uFirstFrame, double in_fFrequency) {
    std::vector<float> samples(kBlock);
    for (uint32_t uFrame = 0; uFrame < kBlock; ++uFrame) {
        samples[uFrame] = static_cast<float>(
            0.5 * std::sin(6.283185307179586 * in_fFrequency * (in_uFirstFrame + uFrame) / kRate));
    }
    return samples;
}

standin::ObjectPass Dynamic(uint64_t in_uId, std::vector<float> in_samples, float in_fX,
                            float in_fY, float in_fZ, float in_fVolume = 1.0f) {
    standin::ObjectPass object;
    object.objectId = in_uId;
    object.type = AudioObjectType_Dynamic;
    object.gotBuffer = true;
    object.samples = std::move(in_samples);
    object.x = in_fX;
    object.y = in_fY;
    object.z = in_fZ;
    object.volume = in_fVolume;
    return object;
}

standin::ObjectPass Static(uint64_t in_uId, AudioObjectType in_eType,
                           std::vector<float> in_samples) {
    standin::ObjectPass object;
    object.objectId = in_uId;
    object.type = in_eType;
    object.gotBuffer = true;
    object.samples = std::move(in_samples);
    return object;
}

standin::Pass PassOf(uint64_t in_uStream, uint64_t in_uIndex,
                     std::vector<standin::ObjectPass> in_objects) {
    standin::Pass pass;
    pass.streamId = in_uStream;
    pass.index = in_uIndex;
    pass.frames = kBlock;
    pass.objects = std::move(in_objects);
    return pass;
}

class PassRendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_directory = scene_tests::OutputDirectory();
        m_config.uSampleRate = kRate;
        m_config.uBlockFrames = kBlock;
        m_config.speakerPath = m_directory + "/speakers.wav";
        m_config.binauralPath = m_directory + "/binaural.wav";
        std::string error;
        ASSERT_TRUE(m_renderer.Open(m_config, error)) << error;
    }

    // Plays in_uPasses passes made by in_makePass(index), then reads both files back.
    template <typename MakePasses>
    void Play(uint32_t in_uPasses, MakePasses in_makePasses) {
        for (uint32_t uPass = 0; uPass < in_uPasses; ++uPass) {
            m_renderer.AddPasses(uint64_t{uPass} * kBlock, in_makePasses(uPass));
        }
        std::string error;
        ASSERT_TRUE(m_renderer.Finish(uint64_t{in_uPasses} * kBlock, error)) << error;
        ASSERT_TRUE(ReadWav(m_config.speakerPath, m_speakers));
        ASSERT_TRUE(ReadWav(m_config.binauralPath, m_binaural));
    }

    std::string m_directory;
    scene::PassRendererConfig m_config;
    scene::PassRenderer m_renderer;
    WavFile m_speakers;
    WavFile m_binaural;
};

TEST_F(PassRendererTest, FilesReadBackAsTwelveAndTwoChannelsAtTheSceneRate) {
    Play(20, [](uint32_t in_uPass) {
        return std::vector<standin::Pass>{
            PassOf(1, in_uPass, {Dynamic(1, Noise(in_uPass), 0, 0, -1)})};
    });
    EXPECT_EQ(12, m_speakers.iChannels);
    EXPECT_EQ(kRate, static_cast<uint32_t>(m_speakers.iSampleRate));
    EXPECT_EQ(SF_FORMAT_WAVEX, m_speakers.iFormat & SF_FORMAT_TYPEMASK);
    EXPECT_EQ(20u * kBlock, m_speakers.Frames());
    EXPECT_EQ(2, m_binaural.iChannels);
    EXPECT_EQ(kRate, static_cast<uint32_t>(m_binaural.iSampleRate));
    EXPECT_EQ(20u * kBlock, m_binaural.Frames());

    // The 7.1.4 file names its speakers, in the extensible format's order.
    SF_INFO info = {};
    SNDFILE* pFile = sf_open(m_config.speakerPath.c_str(), SFM_READ, &info);
    ASSERT_NE(nullptr, pFile);
    int aMap[12] = {};
    ASSERT_EQ(SF_TRUE, sf_command(pFile, SFC_GET_CHANNEL_MAP_INFO, aMap, sizeof(aMap)));
    sf_close(pFile);
    EXPECT_EQ(SF_CHANNEL_MAP_LEFT, aMap[0]);
    EXPECT_EQ(SF_CHANNEL_MAP_LFE, aMap[3]);
    EXPECT_EQ(SF_CHANNEL_MAP_REAR_LEFT, aMap[4]);
    EXPECT_EQ(SF_CHANNEL_MAP_SIDE_LEFT, aMap[6]);
    EXPECT_EQ(SF_CHANNEL_MAP_TOP_REAR_RIGHT, aMap[11]);
}

TEST_F(PassRendererTest, AToneOnTheFrontLeftBedObjectIsOnlyInChannelZero) {
    Play(50, [](uint32_t in_uPass) {
        return std::vector<standin::Pass>{
            PassOf(1, in_uPass,
                   {Static(1, AudioObjectType_FrontLeft, Tone(in_uPass * kBlock, 1000)),
                    Static(2, AudioObjectType_FrontRight, std::vector<float>(kBlock)),
                    Static(3, AudioObjectType_LowFrequency, std::vector<float>(kBlock))})};
    });
    EXPECT_NEAR(0.125, m_speakers.Energy(0), 0.005);  // a sine of amplitude 0.5
    for (int iChannel = 1; iChannel < 12; ++iChannel) {
        EXPECT_EQ(0.0, m_speakers.Energy(iChannel)) << "channel " << iChannel;
    }
}

TEST_F(PassRendererTest, EveryBedObjectPlaysOnItsOwnSpeakerAndTwoStreamsAdd) {
    // Stream 1 plays the twelve bed types, each with its own tone level; stream 2 adds the same
    // front-left signal again.
    const AudioObjectType aTypes[12] = {
        AudioObjectType_FrontLeft,     AudioObjectType_FrontRight,  AudioObjectType_FrontCenter,
        AudioObjectType_LowFrequency,  AudioObjectType_BackLeft,    AudioObjectType_BackRight,
        AudioObjectType_SideLeft,      AudioObjectType_SideRight,   AudioObjectType_TopFrontLeft,
        AudioObjectType_TopFrontRight, AudioObjectType_TopBackLeft, AudioObjectType_TopBackRight};
    Play(10, [&](uint32_t in_uPass) {
        std::vector<standin::ObjectPass> bed;
        for (uint32_t uType = 0; uType < 12; ++uType) {
            std::vector<float> samples(kBlock, 0.01f * (uType + 1));
            bed.push_back(Static(uType + 1, aTypes[uType], samples));
        }
        return std::vector<standin::Pass>{
            PassOf(1, in_uPass, bed),
            PassOf(2, in_uPass,
                   {Static(50, AudioObjectType_FrontLeft, std::vector<float>(kBlock, 0.01f))})};
    });
    for (int iType = 0; iType < 12; ++iType) {
        const int iChannel = scene::StaticObjectChannel(aTypes[iType]);
        const double fLevel = 0.01 * (iType + 1) + (iType == 0 ? 0.01 : 0.0);
        EXPECT_NEAR(fLevel * fLevel, m_speakers.Energy(iChannel), 1e-7) << "type " << iType;
    }
}

// Passes of a block that arrive after the block was first mixed (a stream late by the clock) add
// to what is there on every speaker: the same speaker file, bit for bit, as when they all came
// together (each sample gets one bed and one object term, whose sum does not depend on order).
TEST_F(PassRendererTest, PassesOfABlockThatArriveLaterAddToItOnEverySpeaker) {
    const AudioObjectType aTypes[12] = {
        AudioObjectType_FrontLeft,     AudioObjectType_FrontRight,  AudioObjectType_FrontCenter,
        AudioObjectType_LowFrequency,  AudioObjectType_BackLeft,    AudioObjectType_BackRight,
        AudioObjectType_SideLeft,      AudioObjectType_SideRight,   AudioObjectType_TopFrontLeft,
        AudioObjectType_TopFrontRight, AudioObjectType_TopBackLeft, AudioObjectType_TopBackRight};
    auto bed = [&](uint32_t in_uPass) {
        std::vector<standin::ObjectPass> objects;
        for (uint32_t uType = 0; uType < 12; ++uType) {
            objects.push_back(Static(uType + 1, aTypes[uType],
                                     Tone(uint64_t{in_uPass} * kBlock, 200.0 + 90.0 * uType)));
        }
        return PassOf(1, in_uPass, std::move(objects));
    };
    auto circling = [&](uint32_t in_uPass) {
        const float fAngle = 0.05f * static_cast<float>(in_uPass);
        return PassOf(2, in_uPass,
                      {Dynamic(40, Noise(in_uPass), 2.0f * std::sin(fAngle), 0.5f,
                               -2.0f * std::cos(fAngle))});
    };
    constexpr uint32_t kPasses = 40;
    scene::PassRendererConfig lateConfig = m_config;
    lateConfig.speakerPath = m_directory + "/late-speakers.wav";
    lateConfig.binauralPath = m_directory + "/late-binaural.wav";
    scene::PassRenderer late;
    std::string error;
    ASSERT_TRUE(late.Open(lateConfig, error)) << error;
    for (uint32_t uPass = 0; uPass < kPasses; ++uPass) {
        late.AddPasses(uint64_t{uPass} * kBlock, {bed(uPass)});
        late.AddPasses(uint64_t{uPass} * kBlock, {circling(uPass)});
    }
    ASSERT_TRUE(late.Finish(uint64_t{kPasses} * kBlock, error)) << error;
    Play(kPasses, [&](uint32_t in_uPass) {
        return std::vector<standin::Pass>{bed(in_uPass), circling(in_uPass)};
    });
    WavFile lateSpeakers;
    ASSERT_TRUE(ReadWav(lateConfig.speakerPath, lateSpeakers));
    ASSERT_EQ(m_speakers.samples.size(), lateSpeakers.samples.size());
    ASSERT_EQ(size_t{kPasses} * kBlock * 12, lateSpeakers.samples.size());
    for (size_t uSample = 0; uSample < lateSpeakers.samples.size(); ++uSample) {
        ASSERT_EQ(m_speakers.samples[uSample], lateSpeakers.samples[uSample])
            << "frame " << uSample / 12 << " channel " << uSample % 12;
    }
    for (int iChannel = 0; iChannel < 12; ++iChannel) {
        EXPECT_GT(lateSpeakers.Energy(iChannel), 0.01) << "channel " << iChannel;
    }
}

// A voice 2 m to one side is at least 6 dB louder in the nearer ear.
TEST_F(PassRendererTest, AnObjectToTheRightIsLouderInTheRightEar) {
    Play(100, [](uint32_t in_uPass) {
        return std::vector<standin::Pass>{
            PassOf(1, in_uPass, {Dynamic(1, Noise(in_uPass), 2, 0, 0)})};
    });
    const double fLeft = m_binaural.Energy(0);
    const double fRight = m_binaural.Energy(1);
    ASSERT_GT(fLeft, 0.0);
    EXPECT_GT(Decibels(fRight / fLeft), 6.0);
    // On the speakers it is on the right side: the side right speaker carries it all.
    EXPECT_GT(m_speakers.Energy(7), 0.0);
    EXPECT_EQ(0.0, m_speakers.Energy(6));
    EXPECT_EQ(0.0, m_speakers.Energy(0));
}

TEST_F(PassRendererTest, AnObjectToTheLeftIsLouderInTheLeftEar) {
    Play(100, [](uint32_t in_uPass) {
        return std::vector<standin::Pass>{
            PassOf(1, in_uPass, {Dynamic(1, Noise(in_uPass), -2, 0, 0)})};
    });
    EXPECT_GT(Decibels(m_binaural.Energy(0) / m_binaural.Energy(1)), 6.0);
    EXPECT_GT(m_speakers.Energy(6), 0.0);
    EXPECT_EQ(0.0, m_speakers.Energy(7));
}

TEST_F(PassRendererTest, AnObjectMovingFromFrontToBackMovesItsEnergyToTheBackSpeakers) {
    constexpr uint32_t kPasses = 200;
    Play(kPasses, [](uint32_t in_uPass) {
        // From 2 m ahead (-z) to 2 m behind (+z), passing to the right.
        const double fAngle = 3.141592653589793 * in_uPass / (kPasses - 1);
        const float fX = static_cast<float>(2.0 * std::sin(fAngle));
        const float fZ = static_cast<float>(-2.0 * std::cos(fAngle));
        return std::vector<standin::Pass>{
            PassOf(1, in_uPass, {Dynamic(1, Noise(in_uPass), fX, 0, fZ)})};
    });
    const size_t uQuarter = kPasses * kBlock / 4;
    auto front = [&](size_t in_uFrom, size_t in_uTo) {
        return m_speakers.Energy(0, in_uFrom, in_uTo) + m_speakers.Energy(1, in_uFrom, in_uTo) +
               m_speakers.Energy(2, in_uFrom, in_uTo);
    };
    auto back = [&](size_t in_uFrom, size_t in_uTo) {
        return m_speakers.Energy(4, in_uFrom, in_uTo) + m_speakers.Energy(5, in_uFrom, in_uTo);
    };
    EXPECT_GT(front(0, uQuarter), 10.0 * back(0, uQuarter));
    EXPECT_GT(back(3 * uQuarter, 4 * uQuarter), 10.0 * front(3 * uQuarter, 4 * uQuarter));
    // Constant power on the way: every quarter carries about the same energy.
    double fTotal[4] = {};
    for (int iQuarter = 0; iQuarter < 4; ++iQuarter) {
        for (int iChannel = 0; iChannel < 12; ++iChannel) {
            fTotal[iQuarter] +=
                m_speakers.Energy(iChannel, iQuarter * uQuarter, (iQuarter + 1) * uQuarter);
        }
    }
    for (int iQuarter = 1; iQuarter < 4; ++iQuarter) {
        EXPECT_NEAR(1.0, fTotal[iQuarter] / fTotal[0], 0.1) << "quarter " << iQuarter;
    }
}

TEST_F(PassRendererTest, AnObjectsVolumeScalesBothFiles) {
    // Object 1 at volume 1 straight ahead for 20 passes, then object 2 with the same samples at
    // volume 0.5 for 20 passes.
    Play(40, [](uint32_t in_uPass) {
        const bool bFirst = in_uPass < 20;
        return std::vector<standin::Pass>{PassOf(
            1, in_uPass,
            {Dynamic(bFirst ? 1 : 2, Noise(in_uPass % 20), 0, 0, -1, bFirst ? 1.0f : 0.5f)})};
    });
    const size_t uHalf = 20 * kBlock;
    EXPECT_NEAR(0.25, m_speakers.Energy(2, uHalf, 2 * uHalf) / m_speakers.Energy(2, 0, uHalf),
                0.01);
    // The binaural tail of the first half spills into the second; compare away from the change.
    const double fFirst = m_binaural.Energy(0, 2 * kBlock, uHalf);
    const double fSecond = m_binaural.Energy(0, uHalf + 2 * kBlock, 2 * uHalf);
    EXPECT_NEAR(0.25, fSecond / fFirst, 0.02);
}

TEST_F(PassRendererTest, CountsPassesAndSilentPassesPerStream) {
    Play(10, [](uint32_t in_uPass) {
        std::vector<float> samples =
            in_uPass % 2 == 0 ? Noise(in_uPass) : std::vector<float>(kBlock);
        return std::vector<standin::Pass>{PassOf(7, in_uPass, {Dynamic(1, samples, 0, 0, -1)}),
                                          PassOf(8, in_uPass, {})};
    });
    const auto& streams = m_renderer.StreamStats();
    ASSERT_EQ(2u, streams.size());
    EXPECT_EQ(10u, streams.at(7).uPasses);
    EXPECT_EQ(5u, streams.at(7).uSilentPasses);
    EXPECT_TRUE(streams.at(7).bDynamic);
    EXPECT_EQ(10u, streams.at(8).uEmptyPasses);
    // Only sounding passes leave a trajectory sample.
    ASSERT_EQ(1u, m_renderer.Trajectories().size());
    EXPECT_EQ(5u, m_renderer.Trajectories().at(1).size());
}

// Directions below the set's lowest measured elevation keep their left-right balance: straight
// below sounds as balanced as straight ahead at every azimuth, and mirrored directions mirror.
TEST(HrtfSetTest, DirectionsBelowTheMeasuredOnesStaySymmetric) {
    scene::HrtfSet hrtf;
    std::string error;
    ASSERT_TRUE(hrtf.Open("/usr/share/libmysofa/default.sofa", kRate, 1024, 545, error)) << error;
    auto balanceDb = [&](double in_fAzimuth, double in_fElevation) {
        const scene::HrtfSet::Spectra spectra = hrtf.SpectraFor(in_fAzimuth, in_fElevation);
        double fLeft = 0.0, fRight = 0.0;
        for (size_t uBin = 0; uBin < 513; ++uBin) {
            fLeft += std::norm(spectra.pLeft[uBin]);
            fRight += std::norm(spectra.pRight[uBin]);
        }
        return Decibels(fRight / fLeft);
    };
    EXPECT_GT(hrtf.LowestElevation(), -90.0);  // the test is about what the set lacks
    for (double fAzimuth : {0.0, 45.0, 90.0, 135.0, 180.0, -90.0}) {
        EXPECT_NEAR(0.0, balanceDb(fAzimuth, -90.0), 1.5) << fAzimuth;
    }
    EXPECT_NEAR(0.0, balanceDb(0.0, -89.9), 1.5);
    for (double fElevation : {-85.0, -70.0, -50.0, -20.0}) {
        for (double fAzimuth : {30.0, 90.0, 150.0}) {
            EXPECT_NEAR(balanceDb(fAzimuth, fElevation), -balanceDb(-fAzimuth, fElevation), 1.5)
                << fAzimuth << ", " << fElevation;
            EXPECT_GT(balanceDb(fAzimuth, fElevation), 0.0) << fAzimuth << ", " << fElevation;
        }
    }
}

// A tone that jumps from the right to the left, and one that circles slowly: the filter changes
// are crossfaded, so nothing but the tone reaches the headphone file (no click, no burst).
TEST_F(PassRendererTest, FilterChangesOfAJumpingOrMovingToneMakeNoClick) {
    constexpr uint32_t kPasses = 150;
    Play(kPasses, [](uint32_t in_uPass) {
        const float fSide = in_uPass < 60 ? 2.0f : -2.0f;
        // Round once in 150 passes (1.5 s), one degree every 20 ms or so.
        const double fAngle = 6.283185307179586 * in_uPass / kPasses;
        return std::vector<standin::Pass>{
            PassOf(1, in_uPass,
                   {Dynamic(1, Tone(uint64_t{in_uPass} * kBlock, 1000), fSide, 0, 0),
                    Dynamic(2, Tone(uint64_t{in_uPass} * kBlock, 3000),
                            static_cast<float>(2 * std::sin(fAngle)), 0.5f,
                            static_cast<float>(-2 * std::cos(fAngle)))})};
    });
    for (int iEar = 0; iEar < 2; ++iEar) {
        EXPECT_GT(scene_tests::ToneLevelDb(m_binaural, iEar, 0, 40 * kBlock, 1000), -30.0);
        EXPECT_LT(scene_tests::LoudestOutsideDb(m_binaural, iEar, {1000, 3000}, 250, kBlock,
                                                (kPasses - 2) * kBlock),
                  -70.0)
            << "ear " << iEar;
    }
}

}  // namespace
