// Costs of the spatial mixer: one frame of the host's audio thread (MixInput for every voice,
// then FinishMix) for buses of several sizes, and the render worker's share of a core once its
// render stream is gone for good (the target: under 2 percent of one core, in either build).

#include <benchmark/benchmark.h>

#include <time.h>
#include <windows.h>

#include <chrono>
#include <memory>
#include <thread>

#include "AssertHook.h"
#include "AsyncStreamActivation.h"
#include "DesktopStreamActivation.h"
#include "HostAllocator.h"
#include "HostGlobalContext.h"
#include "HostMixerContext.h"
#include "MixerBusDriver.h"
#include "SpatialMixerFX.h"
#include "SpatialMixerFXParams.h"
#include "standin/Control.h"
#include "standin/Renderer.h"

ZvAssertHook g_pfnZvAssertHook = nullptr;

namespace {

constexpr uint16_t kFrames = 480;
constexpr double kIdleWorkerTargetPercent = 2.0;

const AsyncStreamActivation kAsyncActivation;
const DesktopStreamActivation kDesktopActivation;

// A mixer on a stereo bus of the stand-in renderer's default endpoint, with its host around it.
class MixerRig {
public:
    MixerRig(bool in_bDesktop, uint32_t in_uGrant) {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        standin::Reset();
        standin::EndpointConfig endpoint;
        endpoint.maxDynamicObjects = in_uGrant;
        standin::SetDefaultEndpoint(endpoint);
        m_pParams = static_cast<SpatialMixerFXParams*>(CreateSpatialMixerFXParams(&m_allocator));
        m_pParams->InitParameters(&m_allocator, nullptr, 0);
        m_pMixer = SpatialMixerFX::Create(
            &m_allocator, in_bDesktop
                              ? static_cast<const MixerStreamActivation&>(kDesktopActivation)
                              : kAsyncActivation);
        ZvAudioFormat format = {48000, ZvChannelLayout::FromMask(0x3)};
        m_bInitialised =
            m_pMixer->InitPlugin(&m_allocator, &m_context, m_pParams, format) == ZV_Success;
        m_pBus = std::make_unique<host::MixerBusDriver>(*m_pMixer, format.channelConfig, kFrames);
    }
    ~MixerRig() {
        m_pBus.reset();
        m_pMixer->TermPlugin(&m_allocator);
        m_pParams->TermParameters(&m_allocator);
        standin::WaitForCompletions();
        standin::Reset();
        CoUninitialize();
    }
    MixerRig(const MixerRig&) = delete;
    MixerRig& operator=(const MixerRig&) = delete;

    bool Initialised() const { return m_bInitialised; }
    SpatialMixerFX& Mixer() { return *m_pMixer; }
    host::MixerBusDriver& Bus() { return *m_pBus; }

private:
    host::HostAllocator m_allocator;
    host::HostGlobalContext m_global{kFrames};
    host::HostMixerContext m_context{m_global};
    SpatialMixerFXParams* m_pParams = nullptr;
    SpatialMixerFX* m_pMixer = nullptr;
    std::unique_ptr<host::MixerBusDriver> m_pBus;
    bool m_bInitialised = false;
};

// Argument: voices on the bus (at distinct positions; at most 32 of a frame get objects, of a
// grant of 32, the others are mixed into the bus).
void BM_MixerFrame(benchmark::State& io_state) {
    MixerRig rig(true, 32);
    if (!rig.Initialised()) {
        io_state.SkipWithError("InitPlugin failed");
        return;
    }
    const int64_t iVoices = io_state.range(0);
    for (int64_t i = 0; i < iVoices; ++i) {
        host::MixerBusDriver::Voice& voice = rig.Bus().AddVoice(
            ZvChannelLayout::FromMask(i % 2 == 0 ? 0x4 : 0x3), static_cast<uint32_t>(i));
        voice.SetSource(host::MixerBusDriver::Voice::Sine(220.0f + i, 0.1f, 48000));
        voice.Context().SetPosition(1.0f + static_cast<float>(i), 0.1f * i, 0.0f);
    }
    for (auto _ : io_state) {
        rig.Bus().RunFrame();
        benchmark::DoNotOptimize(rig.Bus().MixBuffer().pData);
    }
    io_state.SetItemsProcessed(io_state.iterations() * iVoices);
}
BENCHMARK(BM_MixerFrame)->Arg(8)->Arg(32)->Arg(64);

double ProcessCpuSeconds() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Arguments: the build (0 Universal Windows, 1 desktop) and how the stream went (0 lost with no
// endpoint left: closed for good; 1 lost with the lost device still the default endpoint). While
// this thread sleeps, what the process spends is the idle worker's.
void BM_IdleWorkerCoreShare(benchmark::State& io_state) {
    const bool bDesktop = io_state.range(0) != 0;
    const bool bEndpointLeft = io_state.range(1) != 0;
    MixerRig rig(bDesktop, 16);
    if (!rig.Initialised() || rig.Mixer().CurrentStreamState() != StreamRunning) {
        io_state.SkipWithError("no running stream to lose");
        return;
    }
    standin::LoseDevice();
    if (!bEndpointLeft) {
        standin::RemoveDefaultEndpoint();
    }
    // The worker's wait runs out on renderer time; then a frame takes the reset path.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (rig.Mixer().CurrentStreamState() == StreamRunning &&
           std::chrono::steady_clock::now() < deadline) {
        standin::Step(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    rig.Bus().RunFrame();
    rig.Bus().RunFrame();

    double fWorst = 0.0;
    for (auto _ : io_state) {
        const double fCpuBefore = ProcessCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        const double fCpu = ProcessCpuSeconds() - fCpuBefore;
        const double fWall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        io_state.SetIterationTime(fWall);
        const double fPercent = 100.0 * fCpu / fWall;
        fWorst = fPercent > fWorst ? fPercent : fWorst;
    }
    io_state.counters["worker_core_percent"] = fWorst;
    if (fWorst >= kIdleWorkerTargetPercent) {
        io_state.SkipWithError("the idle worker takes 2 percent of a core or more");
    }
}
BENCHMARK(BM_IdleWorkerCoreShare)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->UseManualTime()
    ->Iterations(4)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
