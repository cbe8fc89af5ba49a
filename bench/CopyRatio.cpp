#include "CopyRatio.h"

#include <string.h>

#include <algorithm>

namespace bench {

namespace {

uint32_t g_uRatioRounds = 15;

// Each batch runs at least this long, so that the clock's own cost and resolution do not count.
constexpr double kBatchSeconds = 200e-6;
constexpr uint64_t kMaxBatch = 1u << 20;

// Operations per batch for an operation that took in_fSeconds once.
uint64_t BatchSize(double in_fSeconds) {
    if (!(in_fSeconds > 0.0)) {
        return kMaxBatch;
    }
    const double fOperations = kBatchSeconds / in_fSeconds;
    if (fOperations >= static_cast<double>(kMaxBatch)) {
        return kMaxBatch;
    }
    return fOperations < 1.0 ? 1 : static_cast<uint64_t>(fOperations);
}

}  // namespace

void SetRatioRounds(uint32_t in_uRounds) {
    g_uRatioRounds = in_uRounds == 0 ? 1 : in_uRounds;
}

uint32_t RatioRounds() {
    return g_uRatioRounds;
}

CopyBaseline::CopyBaseline(size_t in_uBytes, uint32_t in_uCopies)
    : m_uBytes(in_uBytes),
      m_uCopies(in_uCopies),
      m_source(in_uBytes, 0x5A),
      m_destination(in_uBytes, 0) {}

void CopyBaseline::Run() {
    for (uint32_t i = 0; i < m_uCopies; ++i) {
        memcpy(m_destination.data(), m_source.data(), m_uBytes);
        benchmark::DoNotOptimize(m_destination.data());
    }
}

double MedianCostRatio(const TimedBatch& in_case, CopyBaseline& io_baseline) {
    const TimedBatch baseline = WallClockBatch([&io_baseline] { io_baseline.Run(); });
    // Warm both up and size their batches from one short batch each.
    const uint64_t uCaseBatch = BatchSize(in_case(4) / 4.0);
    const uint64_t uBaselineBatch = BatchSize(baseline(16) / 16.0);

    std::vector<double> ratios;
    ratios.reserve(g_uRatioRounds);
    for (uint32_t uRound = 0; uRound < g_uRatioRounds; ++uRound) {
        double fCase = 0.0;
        double fBaseline = 0.0;
        if (uRound % 2 == 0) {
            fBaseline = baseline(uBaselineBatch);
            fCase = in_case(uCaseBatch);
        } else {
            fCase = in_case(uCaseBatch);
            fBaseline = baseline(uBaselineBatch);
        }
        const double fPerCase = fCase / static_cast<double>(uCaseBatch);
        const double fPerBaseline = fBaseline / static_cast<double>(uBaselineBatch);
        ratios.push_back(fPerBaseline > 0.0 ? fPerCase / fPerBaseline : 0.0);
    }
    std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
    return ratios[ratios.size() / 2];
}

void ReportRatio(benchmark::State& io_state, double in_fRatio, const CopyBaseline& in_baseline,
                 double in_fTarget, const std::string& in_baselineLabel) {
    io_state.counters["copy_ratio"] = in_fRatio;
    io_state.counters["target"] = in_fTarget;
    io_state.counters["copied_bytes"] = static_cast<double>(in_baseline.Bytes());
    io_state.SetLabel("vs " + in_baselineLabel);
}

}  // namespace bench
