// What a hot path costs next to the physical limit of its work, moving its bytes through memory
// once: every case is timed against a plain memcpy of the same bytes, in the same run and on the
// same machine state, so that the ratio means something on a noisy shared machine where the
// times alone do not.
//
// The ratio is measured in rounds after Google Benchmark's own timing loop: each round times a
// batch of baseline copies and a batch of the case (in alternating order, each batch long enough
// to dwarf the clock), and the case's time per operation is divided by the copy's. The reported
// ratio is the median of the rounds, which a descheduled batch or a neighbour's burst does not
// move.
#pragma once

#include <benchmark/benchmark.h>

#include <stddef.h>
#include <stdint.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// Rounds per ratio (--ratio_rounds=N; fewer in the quick run that only proves the cases run).
void SetRatioRounds(uint32_t in_uRounds);
uint32_t RatioRounds();

// The plain copy that a case is compared with: in_uCopies memcpy calls of in_uBytes each, between
// buffers of its own (touched once, so that neither the first round nor the page faults count).
class CopyBaseline {
public:
    explicit CopyBaseline(size_t in_uBytes, uint32_t in_uCopies = 1);
    void Run();
    size_t Bytes() const { return m_uBytes; }

private:
    size_t m_uBytes;
    uint32_t m_uCopies;
    std::vector<uint8_t> m_source;
    std::vector<uint8_t> m_destination;
};

// Runs a batch of in_uOperations operations and returns the seconds they took.
typedef std::function<double(uint64_t in_uOperations)> TimedBatch;

// A batch that times in_operation run in_uOperations times with the wall clock.
template <typename Operation>
TimedBatch WallClockBatch(Operation in_operation) {
    return [in_operation](uint64_t in_uOperations) mutable {
        const auto start = std::chrono::steady_clock::now();
        for (uint64_t i = 0; i < in_uOperations; ++i) {
            in_operation();
        }
        benchmark::ClobberMemory();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
}

// The median ratio of the case's time per operation to the baseline's.
double MedianCostRatio(const TimedBatch& in_case, CopyBaseline& io_baseline);

// Sets the counters every case reports: "copy_ratio" (the case against its baseline), "target"
// (the ratio the case must stay within; 0 where there is none) and the bytes the baseline copies
// per operation. Also labels the run with what the baseline is.
void ReportRatio(benchmark::State& io_state, double in_fRatio, const CopyBaseline& in_baseline,
                 double in_fTarget, const std::string& in_baselineLabel);

}  // namespace bench
