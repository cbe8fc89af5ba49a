// The mixer's audio-thread cost of one frame: 32 stereo voices at distinct positions, each
// downmixed to mono into its own dynamic object (MixInput), then FinishMix mixing every object
// down and queueing it in its ring, with 1024-frame buffers. The baseline is one copy of the
// voices' input samples.

#include <benchmark/benchmark.h>

#include <stdint.h>

#include <string>

#include "CopyRatio.h"
#include "MixerRig.h"

namespace {

constexpr uint16_t kFrames = 1024;
constexpr uint32_t kVoices = 32;
constexpr double kTarget = 4.0;

void BM_MixerFrame(benchmark::State& io_state) {
    bench::MixerRig rig(kVoices, 2, kFrames, 32);
    if (!rig.Initialised()) {
        io_state.SkipWithError("the mixer has no running stream");
        return;
    }
    for (auto _ : io_state) {
        rig.RunFrame();
    }
    io_state.SetItemsProcessed(static_cast<int64_t>(io_state.iterations() * kVoices));

    bench::CopyBaseline baseline(rig.InputBytes());
    const double fRatio =
        bench::MedianCostRatio(bench::WallClockBatch([&rig] { rig.RunFrame(); }), baseline);
    bench::ReportRatio(io_state, fRatio, baseline, kTarget,
                       "memcpy of " + std::to_string(rig.InputBytes()) + " B");
}
BENCHMARK(BM_MixerFrame)->Name("BM_MixerFrame/stereo_voices:32/frames:1024");

}  // namespace
