#include "SceneReport.h"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

namespace scene {

namespace {

using nlohmann::json;
using ordered = nlohmann::ordered_json;

double Round(double in_fValue, int in_iDigits) {
    const double fScale = std::pow(10.0, in_iDigits);
    return std::round(in_fValue * fScale) / fScale;
}

ordered RingJson(const RingFillModel& in_ring) {
    ordered ring;
    ring["capacityFrames"] = in_ring.Capacity();
    ring["framesWritten"] = in_ring.Written();
    ring["passes"] = in_ring.Passes();
    ring["overruns"] = in_ring.Overruns();
    ring["overrunFrames"] = in_ring.OverrunFrames();
    ring["shortPasses"] = in_ring.ShortPasses();
    return ring;
}

ordered TimeJson(const TimeSummary& in_summary, double in_fBudgetMicroseconds) {
    ordered time;
    time["meanMicroseconds"] = Round(in_summary.fMeanMicroseconds, 2);
    time["p99Microseconds"] = Round(in_summary.fP99Microseconds, 2);
    time["maxMicroseconds"] = Round(in_summary.fMaxMicroseconds, 2);
    time["meanShareOfBudget"] = Round(in_summary.fMeanMicroseconds / in_fBudgetMicroseconds, 5);
    time["p99ShareOfBudget"] = Round(in_summary.fP99Microseconds / in_fBudgetMicroseconds, 5);
    time["maxShareOfBudget"] = Round(in_summary.fMaxMicroseconds / in_fBudgetMicroseconds, 5);
    return time;
}

}  // namespace

TimeSummary SummariseTimes(const std::vector<uint32_t>& in_nanoseconds) {
    TimeSummary summary;
    if (in_nanoseconds.empty()) {
        return summary;
    }
    std::vector<uint32_t> sorted = in_nanoseconds;
    std::sort(sorted.begin(), sorted.end());
    double fSum = 0.0;
    for (uint32_t uNs : sorted) {
        fSum += uNs;
    }
    // The 99th percentile by the nearest-rank rule.
    const size_t uRank = static_cast<size_t>(std::ceil(0.99 * sorted.size()));
    summary.fMeanMicroseconds = fSum / sorted.size() / 1000.0;
    summary.fP99Microseconds = sorted[std::max<size_t>(uRank, 1) - 1] / 1000.0;
    summary.fMaxMicroseconds = sorted.back() / 1000.0;
    return summary;
}

std::string BuildReport(const SceneSpec& in_scene, const SceneRunResult& in_result,
                        const ReportFiles& in_files) {
    ordered report;
    const double fDuration = static_cast<double>(in_result.uTotalFrames) / in_result.uSampleRate;
    report["scene"] = in_scene.name;
    report["durationSeconds"] = fDuration;
    report["sampleRate"] = in_result.uSampleRate;
    report["hostFramesPerBuffer"] = in_result.uHostFrames;
    report["rendererFramesPerPass"] = in_result.uRendererFrames;
    report["grantedObjects"] = in_scene.uGrant;
    report["pacing"] = in_result.bRealTime ? "real time" : "stepped";
    report["setupSeconds"] = Round(in_result.fSetupSeconds, 4);
    report["wallSeconds"] = Round(in_result.fWallSeconds, 4);
    report["timesFasterThanRealTime"] =
        in_result.fWallSeconds > 0.0 ? Round(fDuration / in_result.fWallSeconds, 1) : 0.0;
    report["files"] = {{"speakers7_1_4", in_files.speakers},
                       {"binaural", in_files.binaural},
                       {"picture", in_files.picture}};

    // Per second: the mixer's counters of the frames that start in that second.
    ordered seconds = ordered::array();
    const size_t uFrames = in_result.counters.size();
    size_t uFrame = 0;
    for (uint64_t uSecond = 0; uSecond * in_result.uSampleRate < in_result.uTotalFrames;
         ++uSecond) {
        uint32_t uMinPlaying = UINT32_MAX, uMaxPlaying = 0, uMinVoices = UINT32_MAX, uMaxVoices = 0;
        uint32_t uMaxAvailable = 0;
        size_t uRecords = 0;
        for (; uFrame < uFrames &&
               uFrame * in_result.uHostFrames < (uSecond + 1) * in_result.uSampleRate;
             ++uFrame) {
            const MixerCounters& counters = in_result.counters[uFrame];
            if (!counters.bPosted) {
                continue;
            }
            ++uRecords;
            uMinPlaying = std::min(uMinPlaying, counters.uPlayingObjects);
            uMaxPlaying = std::max(uMaxPlaying, counters.uPlayingObjects);
            uMinVoices = std::min(uMinVoices, counters.uVoices);
            uMaxVoices = std::max(uMaxVoices, counters.uVoices);
            uMaxAvailable = counters.uMaxAvailableObjects;
        }
        ordered second;
        second["second"] = uSecond;
        second["mixerRecords"] = uRecords;
        second["playingObjects"] = {{"min", uRecords ? uMinPlaying : 0}, {"max", uMaxPlaying}};
        second["voices"] = {{"min", uRecords ? uMinVoices : 0}, {"max", uMaxVoices}};
        second["maxAvailableObjects"] = uMaxAvailable;
        seconds.push_back(second);
    }
    report["perSecond"] = seconds;

    ordered rings;
    rings["sink"] = RingJson(in_result.sinkRing);
    rings["effect"] = RingJson(in_result.effectRing);
    ordered mixerRings = ordered::array();
    for (size_t uRecord = 0; uRecord < in_result.mixerRings.size(); ++uRecord) {
        if (in_result.mixerRings[uRecord].Written() == 0) {
            continue;
        }
        ordered ring = RingJson(in_result.mixerRings[uRecord]);
        ring["objectRecord"] = uRecord;
        mixerRings.push_back(ring);
    }
    rings["mixerObjects"] = mixerRings;
    report["rings"] = rings;

    ordered streams = ordered::array();
    for (const standin::StreamStats& stats : in_result.rendererStreams) {
        ordered stream;
        auto owner = in_result.streamOwners.find(stats.streamId);
        stream["streamId"] = stats.streamId;
        stream["plugin"] = owner == in_result.streamOwners.end() ? "unknown" : owner->second;
        stream["signalled"] = stats.signalled;
        stream["passes"] = stats.passes;
        stream["missedPasses"] = stats.missedPasses;
        stream["outOfOrderCalls"] = stats.outOfOrderCalls;
        stream["objectsEndedImplicitly"] = stats.objectsEndedImplicitly;
        stream["lost"] = stats.lost;
        auto seen = in_result.streams.find(stats.streamId);
        if (seen != in_result.streams.end()) {
            stream["passesHeard"] = seen->second.uPasses;
            stream["silentPasses"] = seen->second.uSilentPasses;
            stream["passesWithoutObjects"] = seen->second.uEmptyPasses;
            stream["maxObjects"] = seen->second.uMaxObjects;
        }
        streams.push_back(stream);
    }
    report["rendererStreams"] = streams;

    const double fBudget = 1e6 * in_result.uHostFrames / in_result.uSampleRate;
    ordered audioThread;
    audioThread["budgetMicroseconds"] = Round(fBudget, 2);
    audioThread["hostBuffers"] = in_result.uHostBuffers;
    audioThread["pluginCalls"] = TimeJson(SummariseTimes(in_result.pluginNanoseconds), fBudget);
    audioThread["wholeHostFrame"] = TimeJson(SummariseTimes(in_result.frameNanoseconds), fBudget);
    audioThread["listenerMixBatchesDropped"] = in_result.uDroppedMixBatches;
    report["audioThread"] = audioThread;

    ordered levels;
    for (size_t uChannel = 0; uChannel < in_result.speakerPeaks.size(); ++uChannel) {
        levels["speakerPeak"].push_back(Round(in_result.speakerPeaks[uChannel], 5));
    }
    for (float fPeak : in_result.binauralPeaks) {
        levels["binauralPeak"].push_back(Round(fPeak, 5));
    }
    report["levels"] = levels;

    ordered checks;
    checks["pluginChecksReported"] = in_result.uPluginChecks;
    checks["hostContractErrors"] = in_result.hostErrors;
    checks["monitorMessages"] = in_result.monitorMessages;
    checks["hostBlocksOutstanding"] = in_result.uOutstandingBlocks;
    checks["hostBadFrees"] = in_result.uBadFrees;
    checks["hrtfDirections"] = in_result.uHrtfDirections;
    checks["hrtfTransforms"] = in_result.uHrtfTransforms;
    report["checks"] = checks;

    report["howMeasured"] = {
        {"perSecond",
         "The mixer's 12-byte counter record (playing objects, voices, max available objects) as "
         "it posted it with PostMonitorData in each host frame that starts in that second; min "
         "and max over those frames, max available objects as last posted."},
        {"rings",
         "A host-side model of each plug-in's sample ring, with the capacity the plug-in "
         "documents (sink: its slots times one host buffer; effect: three host buffers; mixer: "
         "4096 samples per object record). The model adds what the host handed over (the sink: "
         "one buffer per frame, which runs only when the sink asks for it; the effect: each buffer "
         "it diverted, seen as "
         "a bus that came back silent; the mixer: one buffer per playing object record, records "
         "0 to playing - 1) and takes one period per renderer pass of that plug-in's stream. An "
         "overrun is a write beyond the free space (the ring drops its oldest data); a short pass "
         "is a pass that found less than a period (the sink repeats its last period, the effect "
         "and the mixer play silence)."},
        {"rendererStreams",
         "From the renderer: events signalled, passes, missed signals, out-of-order calls and "
         "objects the renderer ended because a pass skipped them; and from the captured passes: "
         "passes heard and silent passes (every object buffer all zeros), which for the effect "
         "and the mixer include the short passes that actually happened."},
        {"audioThread",
         "Wall time on the player's audio thread per host buffer: pluginCalls sums the plug-ins' "
         "own calls (MixInput, FinishMix, PostEffects, EndFrame, ProcessInPlace, IsDataNeeded, "
         "ConsumeFrame, OnFrameEnd); wholeHostFrame adds the host's own work (signals, panning, "
         "bus mixing). Budget: one host buffer's duration. The 99th percentile is by nearest "
         "rank. The listener mix runs on a thread of its own and is not in these times."},
        {"wallSeconds",
         "From the first host frame until both WAV files are shut: the frames, the renderer's "
         "passes, the listener mix and the files. setupSeconds (before it) loads the libraries "
         "and the HRTF set and starts the plug-ins."},
    };
    return report.dump(2) + "\n";
}

}  // namespace scene
