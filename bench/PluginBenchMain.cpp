// The plug-ins' benchmarks in one program. Besides Google Benchmark's own flags it takes
//   --ratio_rounds=N   rounds of the copy-ratio measurement of each case (default 15)
//   --check_targets    exit with 1 when a case's median ratio misses its target
// and ends with a table of every case: its time per operation, its ratio to a plain copy of the
// same bytes measured in the same run, and its target.

#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "AssertHook.h"
#include "CopyRatio.h"

ZvAssertHook g_pfnZvAssertHook = nullptr;

namespace {

struct Row {
    std::string name;
    std::string label;
    double fSecondsPerOperation = 0.0;
    double fRatio = 0.0;
    double fTarget = 0.0;
    double fBytes = 0.0;
    bool bError = false;
    std::string error;
    bool bFromMedian = false;
};

// Prints what the console reporter prints and keeps one row per case: the median over
// repetitions when there are several, else the one run.
class TableReporter final : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal.
    TableReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& in_runs) override {
        ConsoleReporter::ReportRuns(in_runs);
        for (const Run& run : in_runs) {
            const bool bMedian =
                run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !bMedian) {
                continue;
            }
            const std::string name = run.run_name.str();
            Row& row = m_rows[name];
            if (!bMedian && row.bFromMedian) {
                continue;
            }
            row.bFromMedian = bMedian;
            row.name = name;
            row.label = run.report_label;
            row.bError = run.error_occurred;
            row.error = run.error_message;
            row.fSecondsPerOperation =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            row.fRatio = Counter(run, "copy_ratio");
            row.fTarget = Counter(run, "target");
            row.fBytes = Counter(run, "copied_bytes");
            bool bSeen = false;
            for (const std::string& seen : m_order) {
                bSeen = bSeen || seen == name;
            }
            if (!bSeen) {
                m_order.push_back(name);
            }
        }
    }

    // Prints the table; returns the number of cases that missed their target.
    int PrintTable() const {
        int iMissed = 0;
        printf("\n| case | time per op | baseline | ratio to baseline | target | met |\n");
        printf("|---|---:|---|---:|---:|:---:|\n");
        for (const std::string& name : m_order) {
            const Row& row = m_rows.at(name);
            if (row.bError) {
                printf("| %s | error: %s | | | | |\n", row.name.c_str(), row.error.c_str());
                ++iMissed;
                continue;
            }
            const bool bHasTarget = row.fTarget > 0.0;
            const bool bMet = !bHasTarget || row.fRatio <= row.fTarget;
            iMissed += bMet ? 0 : 1;
            char szTarget[32] = "none";
            if (bHasTarget) {
                snprintf(szTarget, sizeof(szTarget), "<= %.1f", row.fTarget);
            }
            printf("| %s | %.2f us | %s | %.2f | %s | %s |\n", row.name.c_str(),
                   row.fSecondsPerOperation * 1e6,
                   row.label.size() > 3 ? row.label.c_str() + 3 : row.label.c_str(), row.fRatio,
                   szTarget, bHasTarget ? (bMet ? "yes" : "NO") : "-");
        }
        return iMissed;
    }

private:
    static double Counter(const Run& in_run, const char* in_pszName) {
        auto it = in_run.counters.find(in_pszName);
        return it != in_run.counters.end() ? it->second.value : 0.0;
    }

    std::map<std::string, Row> m_rows;
    std::vector<std::string> m_order;
};

}  // namespace

int main(int argc, char** argv) {
    bool bCheckTargets = false;
    int iKept = 1;
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "--ratio_rounds=", 15) == 0) {
            bench::SetRatioRounds(static_cast<uint32_t>(strtoul(argv[i] + 15, nullptr, 10)));
        } else if (strcmp(argv[i], "--check_targets") == 0) {
            bCheckTargets = true;
        } else {
            argv[iKept++] = argv[i];
        }
    }
    argc = iKept;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const int iMissed = reporter.PrintTable();
    benchmark::Shutdown();
    return bCheckTargets && iMissed != 0 ? 1 : 0;
}
