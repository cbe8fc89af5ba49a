// Throughput of the sample ring as the plug-ins use it: the audio thread writes one host buffer of
// interleaved 32-bit samples, the render worker reads render periods of 480 frames.

#include <benchmark/benchmark.h>

#include <stdint.h>

#include <vector>

#include "AssertHook.h"
#include "CBuffer.h"
#include "HostAllocator.h"
#include "HostMemory.h"

ZvAssertHook g_pfnZvAssertHook = nullptr;

namespace {

constexpr uint16_t kPeriodFrames = 480;

// Arguments: channels, frames per host buffer. The ring holds three host buffers, as the effect's.
void BM_RingHostBufferThroughPeriods(benchmark::State& io_state) {
    const uint16_t uChannels = static_cast<uint16_t>(io_state.range(0));
    const uint16_t uHostFrames = static_cast<uint16_t>(io_state.range(1));
    const uint32_t uFrameBytes = uint32_t{uChannels} * 4;
    const uint32_t uBufferBytes = uFrameBytes * uHostFrames;
    const uint32_t uPeriodBytes = uFrameBytes * kPeriodFrames;

    host::HostAllocator allocator;
    CBuffer* pRing = HostNew<CBuffer>(&allocator, 3 * uBufferBytes, &allocator, "");
    pRing->SetReaderFormat(RingFormat::Float32(uChannels, kPeriodFrames));
    pRing->SetWriterFormat(RingFormat::Float32(uChannels, uHostFrames));
    std::vector<uint8_t> buffer(uBufferBytes, 0x5A);
    std::vector<uint8_t> period(uPeriodBytes);

    for (auto _ : io_state) {
        pRing->Write(uBufferBytes, buffer.data());
        while (pRing->Read(uPeriodBytes, period.data())) {
        }
        benchmark::DoNotOptimize(period.data());
    }
    io_state.SetBytesProcessed(static_cast<int64_t>(io_state.iterations()) * uBufferBytes);
    HostDelete(&allocator, pRing);
}
BENCHMARK(BM_RingHostBufferThroughPeriods)
    ->Args({2, 256})
    ->Args({2, 1024})
    ->Args({12, 512})
    ->Args({12, 1024});

// A write several times longer than the ring: only the newest capacity bytes are copied.
void BM_RingOverlongWrite(benchmark::State& io_state) {
    const uint32_t uCapacity = 16384;
    host::HostAllocator allocator;
    CBuffer* pRing = HostNew<CBuffer>(&allocator, uCapacity, &allocator, "");
    pRing->SetReaderFormat(RingFormat::Float32(1, 1024));
    pRing->SetWriterFormat(RingFormat::Float32(1, 1024));
    std::vector<uint8_t> buffer(static_cast<size_t>(io_state.range(0)) * uCapacity, 0x5A);
    for (auto _ : io_state) {
        pRing->Write(static_cast<uint32_t>(buffer.size()), buffer.data());
    }
    io_state.SetBytesProcessed(static_cast<int64_t>(io_state.iterations()) * uCapacity);
    HostDelete(&allocator, pRing);
}
BENCHMARK(BM_RingOverlongWrite)->Arg(1)->Arg(8);

}  // namespace

BENCHMARK_MAIN();
