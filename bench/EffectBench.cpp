// The effect's audio-thread cost: ProcessInPlace on a bus of 2, 6 or 12 channels (interleave in
// mask order, one ring write, the buffer zeroed), with a running stream on the stand-in renderer
// (stepped pacing: the worker waits, so the ring keeps its newest three buffers).

#include <benchmark/benchmark.h>

#include <windows.h>

#include <stdint.h>

#include "AssertHook.h"
#include "HostAllocator.h"
#include "HostBusDriver.h"
#include "HostEffectContext.h"
#include "HostGlobalContext.h"
#include "ISACFXPlugin.h"
#include "standin/Control.h"

ZvAssertHook g_pfnZvAssertHook = nullptr;

namespace {

// Argument: the bus's speaker mask.
void BM_EffectProcessInPlace(benchmark::State& io_state) {
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(static_cast<uint32_t>(io_state.range(0)));
    constexpr uint16_t kFrames = 512;
    standin::Reset();
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    host::HostAllocator allocator;
    host::HostGlobalContext global(kFrames);
    host::HostEffectContext context(global);
    ISACFXPlugin* pEffect = static_cast<ISACFXPlugin*>(CreateISACFXPlugin(&allocator));
    ZvAudioFormat format = {48000, layout};
    if (pEffect == nullptr ||
        pEffect->InitPlugin(&allocator, &context, nullptr, format) != ZV_Success) {
        io_state.SkipWithError("the effect could not be set up");
        return;
    }
    host::HostBusDriver driver(*pEffect, layout, kFrames);
    for (auto _ : io_state) {
        // The samples were zeroed by the previous buffer; what matters is the work done on them.
        driver.ProcessAsFilled(kFrames);
        benchmark::DoNotOptimize(driver.Buffer().pData);
    }
    io_state.SetItemsProcessed(static_cast<int64_t>(io_state.iterations()) * kFrames *
                               layout.uNumChannels);
    pEffect->TermPlugin(&allocator);
    CoUninitialize();
}
BENCHMARK(BM_EffectProcessInPlace)->Arg(0x3)->Arg(0x3F)->Arg(0x2D63F);

}  // namespace

BENCHMARK_MAIN();
