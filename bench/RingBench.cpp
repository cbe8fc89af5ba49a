// The sample ring as the plug-ins use it: the audio thread writes one host buffer of interleaved
// 32-bit samples, the render worker reads whole render periods of 480 frames as soon as the ring
// holds one. The bytes go through memory twice (into the ring and out of it), so the baseline is
// two copies of the host buffer.

#include <benchmark/benchmark.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "CBuffer.h"
#include "CopyRatio.h"
#include "HostAllocator.h"
#include "HostMemory.h"

namespace {

constexpr uint16_t kPeriodFrames = 480;
constexpr double kTarget = 1.5;

// One writer and one reader of a ring holding three host buffers (as the effect's does; the mono
// ring of 1024-frame buffers is the mixer's 16384 bytes less one buffer, close enough).
class RingRig {
public:
    RingRig(uint16_t in_uChannels, uint16_t in_uHostFrames)
        : m_uBufferBytes(uint32_t{in_uChannels} * 4 * in_uHostFrames),
          m_uPeriodBytes(uint32_t{in_uChannels} * 4 * kPeriodFrames),
          m_pRing(HostNew<CBuffer>(&m_allocator, 3 * m_uBufferBytes, &m_allocator, "")),
          m_buffer(m_uBufferBytes, 0x5A),
          m_period(m_uPeriodBytes) {
        m_pRing->SetReaderFormat(RingFormat::Float32(in_uChannels, kPeriodFrames));
        m_pRing->SetWriterFormat(RingFormat::Float32(in_uChannels, in_uHostFrames));
    }
    ~RingRig() { HostDelete(&m_allocator, m_pRing); }
    RingRig(const RingRig&) = delete;
    RingRig& operator=(const RingRig&) = delete;

    // One host buffer in, and out again period by period as the renderer would take it (the
    // reader keeps count, so no read comes back empty).
    void WriteAndRead() {
        m_pRing->Write(m_uBufferBytes, m_buffer.data());
        m_uUnread += m_uBufferBytes;
        while (m_uUnread >= m_uPeriodBytes) {
            m_pRing->Read(m_uPeriodBytes, m_period.data());
            m_uUnread -= m_uPeriodBytes;
        }
        benchmark::DoNotOptimize(m_period.data());
    }
    uint32_t BufferBytes() const { return m_uBufferBytes; }

private:
    host::HostAllocator m_allocator;
    uint32_t m_uBufferBytes;
    uint32_t m_uPeriodBytes;
    CBuffer* m_pRing;
    std::vector<uint8_t> m_buffer;
    std::vector<uint8_t> m_period;
    uint32_t m_uUnread = 0;
};

// Arguments: channels, frames per host buffer.
void BM_RingWriteRead(benchmark::State& io_state) {
    RingRig rig(static_cast<uint16_t>(io_state.range(0)), static_cast<uint16_t>(io_state.range(1)));
    for (auto _ : io_state) {
        rig.WriteAndRead();
    }
    io_state.SetBytesProcessed(static_cast<int64_t>(io_state.iterations()) * rig.BufferBytes());

    bench::CopyBaseline baseline(rig.BufferBytes(), 2);
    const double fRatio =
        bench::MedianCostRatio(bench::WallClockBatch([&rig] { rig.WriteAndRead(); }), baseline);
    bench::ReportRatio(io_state, fRatio, baseline, kTarget,
                       "2 x memcpy of " + std::to_string(rig.BufferBytes()) + " B");
}
BENCHMARK(BM_RingWriteRead)->ArgNames({"channels", "frames"})->Args({1, 1024})->Args({12, 1024});

}  // namespace
