// The JSON report of a run: per second the mixer's counters (playing objects, voices, max
// available objects, from the 12-byte record the mixer posts each frame); per plug-in ring the
// modelled overruns and short passes; per renderer stream its passes and silent passes; the
// audio thread's time per host buffer against the buffer's real-time budget; and what the run
// left behind (plug-in checks, host contract errors, host memory). The report says in words how
// each figure was measured.
#pragma once

#include <string>

#include "SceneDescription.h"
#include "SceneRunResult.h"

namespace scene {

struct ReportFiles {
    std::string speakers;
    std::string binaural;
    std::string report;
    std::string picture;
    std::string page;
};

// The report as JSON text (text that is not UTF-8, such as a name, has its bad bytes replaced).
std::string BuildReport(const SceneSpec& in_scene, const SceneRunResult& in_result,
                        const ReportFiles& in_files);

// What a run's figures call for the user to know: samples that were not numbers or went beyond
// full scale in either file, host buffers in which the audio thread took longer than the buffer
// lasts (when they are at least two and at least one in a hundred).
std::vector<std::string> RunWarnings(const SceneRunResult& in_result);

struct TimeSummary {
    double fMeanMicroseconds = 0.0;
    double fP99Microseconds = 0.0;
    double fMaxMicroseconds = 0.0;
};
TimeSummary SummariseTimes(const std::vector<uint32_t>& in_nanoseconds);

}  // namespace scene
