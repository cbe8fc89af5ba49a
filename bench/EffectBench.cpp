// The effect's audio-thread cost: ProcessInPlace on a 7.1.4 bus of 1024-frame buffers (interleave
// in mask order, one ring write, the buffer left silent), with a running stream on the stepped
// stand-in renderer (its worker waits, so the ring keeps its newest three buffers). The baseline is
// one copy of the bus buffer.

#include <benchmark/benchmark.h>

#include <windows.h>

#include <stdint.h>

#include <string>

#include "CopyRatio.h"
#include "HostAllocator.h"
#include "HostBusDriver.h"
#include "HostEffectContext.h"
#include "HostGlobalContext.h"
#include "ISACFXPlugin.h"
#include "standin/Control.h"

namespace {

constexpr uint16_t kFrames = 1024;
constexpr uint32_t kMask714 = 0x2D63F;
constexpr double kTarget = 2.5;

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
        // The samples were zeroed by the previous buffer; what matters is the work done on them.
        auto process = [&driver] {
            driver.ProcessAsFilled(kFrames);
            benchmark::DoNotOptimize(driver.Buffer().pData);
        };
        for (auto _ : io_state) {
            process();
        }
        const size_t uBytes = size_t{layout.uNumChannels} * kFrames * sizeof(float);
        io_state.SetBytesProcessed(static_cast<int64_t>(io_state.iterations() * uBytes));

        bench::CopyBaseline baseline(uBytes);
        const double fRatio = bench::MedianCostRatio(bench::WallClockBatch(process), baseline);
        bench::ReportRatio(io_state, fRatio, baseline, kTarget,
                           "memcpy of " + std::to_string(uBytes) + " B");
    }
    pEffect->TermPlugin(&allocator);
    CoUninitialize();
}
BENCHMARK(BM_EffectProcessInPlace)->Name("BM_EffectProcessInPlace/channels:12/frames:1024");

}  // namespace
