// The sink's frame path on the host's audio thread: one 1024-frame buffer of the engine's 7.1.4
// mix interleaved with its volume ramp into a slot and written into the ring (ConsumeFrame, then
// OnFrameEnd). The sink runs on the stepped stand-in renderer, whose worker stays in its wait
// meanwhile; the ring drops its oldest data as it fills. The baseline is one copy of the buffer.

#include <benchmark/benchmark.h>

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "CopyRatio.h"
#include "HostAllocator.h"
#include "HostGlobalContext.h"
#include "HostSinkContext.h"
#include "SinkPluginParams.h"
#include "ZvSinkISAC.h"
#include "standin/Control.h"

namespace {

constexpr uint16_t kHostFrames = 1024;
constexpr uint32_t kTwelveChannels = 3;  // ChannelConfig of 7.1.4
constexpr double kTarget = 2.0;

void BM_SinkFrame(benchmark::State& io_state) {
    standin::Reset();
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    host::HostAllocator allocator;
    host::HostGlobalContext global(kHostFrames);
    host::HostSinkContext context(global);
    ZV::IPluginParam* pParams = CreateSinkPluginParams(&allocator);
    pParams->InitParameters(&allocator, nullptr, 0);
    pParams->SetParameter(SinkParamId_ChannelConfig, &kTwelveChannels, sizeof(kTwelveChannels));
    auto* pSink = static_cast<ZvSinkISAC*>(CreateZvSinkISAC(&allocator));
    ZvAudioFormat format = {48000, ZvChannelLayout::FromMask(0x3)};
    if (pSink->InitPlugin(&allocator, &context, pParams, format) != ZV_Success) {
        io_state.SkipWithError("the sink did not open");
    } else {
        const uint32_t uChannels = format.channelConfig.uNumChannels;
        std::vector<float> samples(size_t{uChannels} * kHostFrames, 0.25f);
        ZvSampleBuffer buffer{samples.data(), format.channelConfig, 0, kHostFrames, kHostFrames};
        auto frame = [pSink, &buffer] {
            pSink->ConsumeFrame(&buffer, ZvVolumeRamp{0.5f, 1.0f});
            pSink->OnFrameEnd();
        };
        for (auto _ : io_state) {
            frame();
        }
        const size_t uBytes = samples.size() * sizeof(float);
        io_state.SetBytesProcessed(static_cast<int64_t>(io_state.iterations() * uBytes));

        bench::CopyBaseline baseline(uBytes);
        const double fRatio = bench::MedianCostRatio(bench::WallClockBatch(frame), baseline);
        bench::ReportRatio(io_state, fRatio, baseline, kTarget,
                           "memcpy of " + std::to_string(uBytes) + " B");
    }
    pSink->TermPlugin(&allocator);
    pParams->TermParameters(&allocator);
    CoUninitialize();
}
BENCHMARK(BM_SinkFrame)->Name("BM_SinkFrame/channels:12/frames:1024");

}  // namespace
