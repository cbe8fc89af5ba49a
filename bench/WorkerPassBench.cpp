// One render-worker pass of each plug-in against the stepped stand-in renderer: the renderer
// signals the stream's event, the worker wakes, reads one render period of 480 frames from the
// ring(s) into the objects' buffers, and ends the pass; the renderer's Step returns when it has.
// The audio thread hands over one host buffer (or frame) of 480 frames before each pass, outside
// the timing, so that every pass plays data. The baseline is one copy of the pass's samples; the
// time includes the two thread wake-ups of the hand-over and the stand-in's own bookkeeping, which
// dwarf the copy, so there is no target.

#include <benchmark/benchmark.h>

#include <windows.h>

#include <stdint.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "CopyRatio.h"
#include "HostAllocator.h"
#include "HostBusDriver.h"
#include "HostEffectContext.h"
#include "HostGlobalContext.h"
#include "HostSinkContext.h"
#include "ISACFXPlugin.h"
#include "MixerRig.h"
#include "SinkPluginParams.h"
#include "ZvSinkISAC.h"
#include "standin/Control.h"
#include "standin/Renderer.h"

namespace {

constexpr uint16_t kPassFrames = 480;
constexpr uint32_t kBedChannels = 12;

class SinkPassRig {
public:
    SinkPassRig() : m_global(kPassFrames), m_context(m_global) {
        standin::Reset();
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        m_pParams = CreateSinkPluginParams(&m_allocator);
        m_pParams->InitParameters(&m_allocator, nullptr, 0);
        const uint32_t uTwelveChannels = 3;
        m_pParams->SetParameter(SinkParamId_ChannelConfig, &uTwelveChannels, 4);
        m_pSink = static_cast<ZvSinkISAC*>(CreateZvSinkISAC(&m_allocator));
        ZvAudioFormat format = {48000, ZvChannelLayout::FromMask(0x3)};
        m_bReady = m_pSink->InitPlugin(&m_allocator, &m_context, m_pParams, format) == ZV_Success;
        m_samples.assign(size_t{format.channelConfig.uNumChannels} * kPassFrames, 0.25f);
        m_buffer =
            ZvSampleBuffer{m_samples.data(), format.channelConfig, 0, kPassFrames, kPassFrames};
    }
    ~SinkPassRig() {
        m_pSink->TermPlugin(&m_allocator);
        m_pParams->TermParameters(&m_allocator);
        CoUninitialize();
    }
    SinkPassRig(const SinkPassRig&) = delete;
    SinkPassRig& operator=(const SinkPassRig&) = delete;

    bool Ready() const { return m_bReady; }
    void Feed() {
        m_pSink->ConsumeFrame(&m_buffer, ZvVolumeRamp{1.0f, 1.0f});
        m_pSink->OnFrameEnd();
    }
    size_t PassBytes() const { return size_t{kBedChannels} * kPassFrames * sizeof(float); }

private:
    host::HostAllocator m_allocator;
    host::HostGlobalContext m_global;
    host::HostSinkContext m_context;
    ZV::IPluginParam* m_pParams = nullptr;
    ZvSinkISAC* m_pSink = nullptr;
    bool m_bReady = false;
    std::vector<float> m_samples;
    ZvSampleBuffer m_buffer = {};
};

class EffectPassRig {
public:
    EffectPassRig() : m_global(kPassFrames), m_context(m_global) {
        standin::Reset();
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const ZvChannelLayout layout = ZvChannelLayout::FromMask(0x2D63F);
        m_pEffect = static_cast<ISACFXPlugin*>(CreateISACFXPlugin(&m_allocator));
        ZvAudioFormat format = {48000, layout};
        m_bReady = m_pEffect->InitPlugin(&m_allocator, &m_context, nullptr, format) == ZV_Success;
        m_pDriver = std::make_unique<host::HostBusDriver>(*m_pEffect, layout, kPassFrames);
    }
    ~EffectPassRig() {
        m_pDriver.reset();
        m_pEffect->TermPlugin(&m_allocator);
        CoUninitialize();
    }
    EffectPassRig(const EffectPassRig&) = delete;
    EffectPassRig& operator=(const EffectPassRig&) = delete;

    bool Ready() const { return m_bReady; }
    void Feed() {
        m_pDriver->Process(kPassFrames, [](uint32_t in_uChannel, uint64_t in_uFrame) {
            return 0.001f * static_cast<float>(in_uChannel + in_uFrame % 1000);
        });
    }
    size_t PassBytes() const { return size_t{kBedChannels} * kPassFrames * sizeof(float); }

private:
    host::HostAllocator m_allocator;
    host::HostGlobalContext m_global;
    host::HostEffectContext m_context;
    ISACFXPlugin* m_pEffect = nullptr;
    bool m_bReady = false;
    std::unique_ptr<host::HostBusDriver> m_pDriver;
};

class MixerPassRig {
public:
    static constexpr uint32_t kObjects = 32;

    MixerPassRig() : m_rig(kObjects, 1, kPassFrames, kObjects, kPassFrames) {}

    bool Ready() const { return m_rig.Initialised(); }
    void Feed() { m_rig.RunFrame(); }
    size_t PassBytes() const { return size_t{kObjects} * kPassFrames * sizeof(float); }

private:
    bench::MixerRig m_rig;
};

// Argument-free: one case per plug-in.
template <typename Rig>
void BM_WorkerPass(benchmark::State& io_state) {
    Rig rig;
    if (!rig.Ready()) {
        io_state.SkipWithError("the plug-in could not be set up");
        return;
    }
    bool bEveryPassEnded = true;
    for (auto _ : io_state) {
        io_state.PauseTiming();
        rig.Feed();
        io_state.ResumeTiming();
        bEveryPassEnded = standin::Step() == 1 && bEveryPassEnded;
    }
    if (!bEveryPassEnded) {
        io_state.SkipWithError("a pass did not end");
        return;
    }
    // Only the passes are timed: the feeding of each stays outside.
    bench::TimedBatch passes = [&rig](uint64_t in_uPasses) {
        double fSeconds = 0.0;
        for (uint64_t i = 0; i < in_uPasses; ++i) {
            rig.Feed();
            const auto start = std::chrono::steady_clock::now();
            standin::Step();
            fSeconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        return fSeconds;
    };
    bench::CopyBaseline baseline(rig.PassBytes());
    const double fRatio = bench::MedianCostRatio(passes, baseline);
    bench::ReportRatio(io_state, fRatio, baseline, 0.0,
                       "memcpy of " + std::to_string(rig.PassBytes()) + " B");
}
BENCHMARK_TEMPLATE(BM_WorkerPass, SinkPassRig)
    ->Name("BM_WorkerPass/sink/channels:12/frames:480")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_WorkerPass, EffectPassRig)
    ->Name("BM_WorkerPass/effect/channels:12/frames:480")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_WorkerPass, MixerPassRig)
    ->Name("BM_WorkerPass/mixer/objects:32/frames:480")
    ->Unit(benchmark::kMicrosecond);

}  // namespace
