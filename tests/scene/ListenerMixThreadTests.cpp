// The listener mix on its own thread writes the same files, byte for byte, as on the caller's
// thread, with a queue short enough that the producer has to wait for room; and every batch
// queued before the end is mixed.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "ListenerMixThread.h"
#include "SceneTestSupport.h"

namespace {

constexpr uint32_t kBlock = 480;
constexpr uint32_t kPeriods = 120;

std::vector<uint8_t> FileBytes(const std::string& in_path) {
    std::ifstream file(in_path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>());
}

// Period in_uIndex of a small scene: a bed object and two dynamic objects circling the listener,
// every sample different.
std::vector<standin::Pass> Period(uint64_t in_uIndex) {
    std::vector<standin::Pass> passes(2);
    for (uint64_t uStream = 0; uStream < 2; ++uStream) {
        passes[uStream].streamId = uStream + 1;
        passes[uStream].index = in_uIndex;
        passes[uStream].frames = kBlock;
    }
    auto samples = [&](double in_fFrequency) {
        std::vector<float> block(kBlock);
        for (uint32_t uFrame = 0; uFrame < kBlock; ++uFrame) {
            block[uFrame] = static_cast<float>(
                0.3 * std::sin(0.0001309 * in_fFrequency * (in_uIndex * kBlock + uFrame)));
        }
        return block;
    };
    passes[0].objects.push_back(
        {1, AudioObjectType_FrontLeft, true, samples(440.0), 0.0f, 0.0f, 0.0f, 1.0f});
    for (uint64_t uObject = 0; uObject < 2; ++uObject) {
        const double fAngle = 0.02 * in_uIndex + 3.0 * uObject;
        passes[1].objects.push_back({10 + uObject, AudioObjectType_Dynamic, true,
                                     samples(300.0 + 200.0 * uObject),
                                     static_cast<float>(2.0 * std::sin(fAngle)), 0.3f,
                                     static_cast<float>(-2.0 * std::cos(fAngle)), 0.8f});
    }
    return passes;
}

struct MixedFiles {
    std::vector<uint8_t> speakers;
    std::vector<uint8_t> binaural;
    uint64_t uDropped = 0;
};

scene::PassRendererConfig Config(const std::string& in_directory) {
    scene::PassRendererConfig config;
    config.speakerPath = in_directory + "/speakers.wav";
    config.binauralPath = in_directory + "/binaural.wav";
    return config;
}

MixedFiles Mix(const std::string& in_directory, bool in_bOwnThread, size_t in_uMaxBatches) {
    const scene::PassRendererConfig config = Config(in_directory);
    scene::PassRenderer renderer;
    std::string error;
    EXPECT_TRUE(renderer.Open(config, error)) << error;
    MixedFiles files;
    {
        scene::ListenerMixThread mix(renderer, in_bOwnThread, in_uMaxBatches);
        for (uint64_t uIndex = 0; uIndex < kPeriods; ++uIndex) {
            EXPECT_TRUE(mix.Add(uIndex * kBlock, Period(uIndex)));
        }
        mix.Finish();
        files.uDropped = mix.DroppedBatches();
    }
    EXPECT_TRUE(renderer.Finish(kPeriods * kBlock, error)) << error;
    files.speakers = FileBytes(config.speakerPath);
    files.binaural = FileBytes(config.binauralPath);
    return files;
}

TEST(ListenerMixThreadTest, WritesTheSameBytesAsMixingOnTheCallersThread) {
    const std::string directory = scene_tests::OutputDirectory();
    const MixedFiles inline_ = Mix(directory, false, 1);
    ASSERT_GT(inline_.speakers.size(), size_t{kPeriods} * kBlock * 12 * sizeof(float));
    for (size_t uMaxBatches :
         {size_t{1}, size_t{3}, scene::ListenerMixThread::kDefaultMaxBatches}) {
        SCOPED_TRACE(uMaxBatches);
        const MixedFiles threaded = Mix(directory, true, uMaxBatches);
        EXPECT_EQ(0u, threaded.uDropped);
        EXPECT_TRUE(inline_.speakers == threaded.speakers);
        EXPECT_TRUE(inline_.binaural == threaded.binaural);
    }
}

TEST(ListenerMixThreadTest, TheDestructorMixesWhatWasQueued) {
    scene::PassRenderer renderer;
    std::string error;
    ASSERT_TRUE(renderer.Open(Config(scene_tests::OutputDirectory()), error)) << error;
    {
        scene::ListenerMixThread mix(renderer, true, 4);
        for (uint64_t uIndex = 0; uIndex < 20; ++uIndex) {
            ASSERT_TRUE(mix.Add(uIndex * kBlock, Period(uIndex)));
        }
    }
    // Every period reached the renderer: each stream saw all of its passes.
    ASSERT_EQ(2u, renderer.StreamStats().size());
    EXPECT_EQ(20u, renderer.StreamStats().at(1).uPasses);
    EXPECT_EQ(20u, renderer.StreamStats().at(2).uPasses);
    ASSERT_TRUE(renderer.Finish(20 * kBlock, error)) << error;
}

}  // namespace
