// The sink's frame path on the host's audio thread: one host buffer of the engine's mix
// interleaved with its ramp into a slot and written into the ring (ConsumeFrame, then OnFrameEnd),
// for each of the four layouts with 512-frame buffers. The sink runs on the stand-in renderer,
// whose worker stays in its wait meanwhile; the ring drops its oldest data as it fills.

#include <benchmark/benchmark.h>

#include <windows.h>

#include <stdint.h>

#include <vector>

#include "AssertHook.h"
#include "HostAllocator.h"
#include "HostGlobalContext.h"
#include "HostSinkContext.h"
#include "SinkPluginParams.h"
#include "ZvSinkISAC.h"

ZvAssertHook g_pfnZvAssertHook = nullptr;

namespace {

constexpr uint16_t kHostFrames = 512;

// Argument: ChannelConfig (0 stereo to 3 twelve channels).
void BM_SinkConsumeFrame(benchmark::State& io_state) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    host::HostAllocator allocator;
    host::HostGlobalContext global(kHostFrames);
    host::HostSinkContext context(global);
    ZV::IPluginParam* pParams = CreateSinkPluginParams(&allocator);
    pParams->InitParameters(&allocator, nullptr, 0);
    const uint32_t uConfig = static_cast<uint32_t>(io_state.range(0));
    pParams->SetParameter(SinkParamId_ChannelConfig, &uConfig, sizeof(uConfig));
    auto* pSink = static_cast<ZvSinkISAC*>(CreateZvSinkISAC(&allocator));
    ZvAudioFormat format = {48000, ZvChannelLayout::FromMask(0x3)};
    if (pSink->InitPlugin(&allocator, &context, pParams, format) != ZV_Success) {
        io_state.SkipWithError("the sink did not open");
    } else {
        const uint32_t uChannels = format.channelConfig.uNumChannels;
        std::vector<float> samples(size_t{uChannels} * kHostFrames, 0.25f);
        ZvSampleBuffer buffer{samples.data(), format.channelConfig, 0, kHostFrames, kHostFrames};
        for (auto _ : io_state) {
            pSink->ConsumeFrame(&buffer, ZvVolumeRamp{0.5f, 1.0f});
            pSink->OnFrameEnd();
        }
        io_state.SetBytesProcessed(static_cast<int64_t>(io_state.iterations()) * uChannels *
                                   kHostFrames * sizeof(float));
    }
    pSink->TermPlugin(&allocator);
    pParams->TermParameters(&allocator);
    CoUninitialize();
}
BENCHMARK(BM_SinkConsumeFrame)->Arg(0)->Arg(1)->Arg(2)->Arg(3);

}  // namespace

BENCHMARK_MAIN();
