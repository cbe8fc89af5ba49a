// The effect's audio-thread cost: ProcessInPlace on a 7.1.4 bus of 1024-frame buffers (interleave
// in mask order, one ring write, the buffer left silent), with a running stream on the stepped
// stand-in renderer. The baseline is one copy of the bus buffer. Two cases:
// - held: the renderer runs no pass, so the ring stays full and every write goes where the ring
//   has room, the same few buffers (the audio thread's own work, with its cache warm);
// - drained: between buffers (untimed) the renderer runs the passes that are due, so the worker
//   reads the ring on its own thread as in a game, and each write lands in memory that the ring
//   last used a whole ring ago. The ring is sized for the sink's deepest burst and the largest
//   period, larger than a core's own cache here; this case shows what that costs the audio
//   thread. It has no target.
#include <benchmark/benchmark.h>

#include <windows.h>

#include <stdint.h>

#include <chrono>
#include <string>

#include "CopyRatio.h"
#include "HostAllocator.h"
#include "HostBusDriver.h"
#include "HostEffectContext.h"
#include "HostGlobalContext.h"
#include "ISACFXPlugin.h"
#include "standin/Control.h"
#include "standin/Renderer.h"

namespace {

constexpr uint16_t kFrames = 1024;
constexpr uint32_t kMask714 = 0x2D63F;
constexpr double kTarget = 2.5;

template <bool kDrained>
void BM_EffectProcessInPlace(benchmark::State& io_state) {
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(kMask714);
    standin::Reset();
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    host::HostAllocator allocator;
    host::HostGlobalContext global(kFrames);
    host::HostEffectContext context(global);
    ISACFXPlugin* pEffect = static_cast<ISACFXPlugin*>(CreateISACFXPlugin(&allocator));
    ZvAudioFormat format = {48000, layout};
    if (pEffect->InitPlugin(&allocator, &context, nullptr, format) != ZV_Success) {
        io_state.SkipWithError("the effect could not be set up");
    } else {
        host::HostBusDriver driver(*pEffect, layout, kFrames);
        const uint64_t uPeriod = standin::DefaultEndpoint().frameCount;
        uint64_t uWritten = 0;
        uint64_t uPlayed = 0;
        // One buffer, timed; then, drained, the passes it made due, untimed. The samples were
        // zeroed by the previous buffer; what matters is the work done on them.
        auto process = [&]() {
            const auto start = std::chrono::steady_clock::now();
            driver.ProcessAsFilled(kFrames);
            benchmark::DoNotOptimize(driver.Buffer().pData);
            const auto end = std::chrono::steady_clock::now();
            for (uWritten += kFrames; kDrained && uPlayed + uPeriod <= uWritten;
                 uPlayed += uPeriod) {
                standin::Step();
            }
            return std::chrono::duration<double>(end - start).count();
        };
        for (auto _ : io_state) {
            io_state.SetIterationTime(process());
        }
        const size_t uBytes = size_t{layout.uNumChannels} * kFrames * sizeof(float);
        io_state.SetBytesProcessed(static_cast<int64_t>(io_state.iterations() * uBytes));

        bench::CopyBaseline baseline(uBytes);
        const bench::TimedBatch buffers = [&process](uint64_t in_uBuffers) {
            double fSeconds = 0.0;
            for (uint64_t i = 0; i < in_uBuffers; ++i) {
                fSeconds += process();
            }
            return fSeconds;
        };
        const double fRatio = bench::MedianCostRatio(buffers, baseline);
        bench::ReportRatio(io_state, fRatio, baseline, kDrained ? 0.0 : kTarget,
                           "memcpy of " + std::to_string(uBytes) + " B");
    }
    pEffect->TermPlugin(&allocator);
    CoUninitialize();
}
BENCHMARK_TEMPLATE(BM_EffectProcessInPlace, false)
    ->Name("BM_EffectProcessInPlace/channels:12/frames:1024")
    ->UseManualTime();
BENCHMARK_TEMPLATE(BM_EffectProcessInPlace, true)
    ->Name("BM_EffectProcessInPlace/drained/channels:12/frames:1024")
    ->UseManualTime();

}  // namespace
