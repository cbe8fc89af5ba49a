// The scene player's listener mix alone: one renderer period of passes like the default scene's
// (a 7.1.4 bed from the sink, a stereo bed from the effect, eight moving dynamic objects) mixed to
// 7.1.4 and convolved to binaural, against the period's real-time budget (10 ms at 480 frames).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "PassRenderer.h"

namespace {

constexpr uint32_t kBlock = 480;

std::vector<standin::Pass> MakePasses(uint64_t in_uIndex, std::mt19937& io_random) {
    std::uniform_real_distribution<float> uniform(-0.3f, 0.3f);
    auto samples = [&]() {
        std::vector<float> block(kBlock);
        for (float& fSample : block) {
            fSample = uniform(io_random);
        }
        return block;
    };
    std::vector<standin::Pass> passes(3);
    const AudioObjectType aBed[] = {
        AudioObjectType_FrontLeft,     AudioObjectType_FrontRight,  AudioObjectType_FrontCenter,
        AudioObjectType_LowFrequency,  AudioObjectType_BackLeft,    AudioObjectType_BackRight,
        AudioObjectType_SideLeft,      AudioObjectType_SideRight,   AudioObjectType_TopFrontLeft,
        AudioObjectType_TopFrontRight, AudioObjectType_TopBackLeft, AudioObjectType_TopBackRight};
    for (uint32_t uStream = 0; uStream < 3; ++uStream) {
        passes[uStream].streamId = uStream + 1;
        passes[uStream].index = in_uIndex;
        passes[uStream].frames = kBlock;
    }
    for (uint32_t uType = 0; uType < 12; ++uType) {
        passes[0].objects.push_back({uType + 1, aBed[uType], true, samples(), 0, 0, 0, 1.0f});
    }
    for (uint32_t uType = 0; uType < 2; ++uType) {
        passes[1].objects.push_back({100 + uType, aBed[uType], true, samples(), 0, 0, 0, 1.0f});
    }
    for (uint32_t uObject = 0; uObject < 8; ++uObject) {
        const double fAngle = 0.01 * in_uIndex + uObject * 0.8;
        passes[2].objects.push_back({200 + uObject, AudioObjectType_Dynamic, true, samples(),
                                     static_cast<float>(2 * std::sin(fAngle)), 0.5f,
                                     static_cast<float>(-2 * std::cos(fAngle)), 0.7f});
    }
    return passes;
}

void BM_ListenerMixPerPeriod(benchmark::State& io_state) {
    char szDirectory[] = "/tmp/scene_bench_XXXXXX";
    if (mkdtemp(szDirectory) == nullptr) {
        io_state.SkipWithError("no temporary directory");
        return;
    }
    scene::PassRendererConfig config;
    config.speakerPath = std::string(szDirectory) + "/speakers.wav";
    config.binauralPath = std::string(szDirectory) + "/binaural.wav";
    scene::PassRenderer renderer;
    std::string error;
    if (!renderer.Open(config, error)) {
        io_state.SkipWithError(error.c_str());
        return;
    }
    std::mt19937 random(1);
    std::vector<std::vector<standin::Pass>> periods;
    for (uint64_t uIndex = 0; uIndex < 64; ++uIndex) {
        periods.push_back(MakePasses(uIndex, random));
    }
    uint64_t uPeriod = 0;
    for (auto _ : io_state) {
        renderer.AddPasses(uPeriod * kBlock, periods[uPeriod % periods.size()]);
        ++uPeriod;
    }
    renderer.Finish(uPeriod * kBlock, error);
    // Seconds of audio mixed per second of CPU: above 1 is faster than real time.
    io_state.counters["audioSecondsPerSecond"] = benchmark::Counter(
        static_cast<double>(uPeriod) * kBlock / 48000.0, benchmark::Counter::kIsRate);
    std::remove(config.speakerPath.c_str());
    std::remove(config.binauralPath.c_str());
    std::remove(szDirectory);
}
BENCHMARK(BM_ListenerMixPerPeriod)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
