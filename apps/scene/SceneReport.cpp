#include "SceneReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace scene {

namespace {

using nlohmann::json;
using ordered = nlohmann::ordered_json;

double Round(double in_fValue, int in_iDigits) {
    const double fScale = std::pow(10.0, in_iDigits);
    return std::round(in_fValue * fScale) / fScale;
}

// A ring's counters: the sink's or the effect's ring, or the mixer's timeline.
template <typename RingModel>
ordered RingJson(const RingModel& in_ring) {
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

// The RMS level in dBFS of the windows of in_levels that fall in [in_uFrom, in_uTo) (window
// indices); -120 for silence.
double LevelDb(const std::vector<float>& in_levels, size_t in_uFrom, size_t in_uTo) {
    double fSum = 0.0;
    size_t uCount = 0;
    for (size_t uWindow = in_uFrom; uWindow < std::min(in_uTo, in_levels.size()); ++uWindow) {
        fSum += static_cast<double>(in_levels[uWindow]) * in_levels[uWindow];
        ++uCount;
    }
    const double fRms = uCount > 0 ? std::sqrt(fSum / uCount) : 0.0;
    return fRms > 1e-6 ? Round(20.0 * std::log10(fRms), 1) : -120.0;
}

const char* RouteName(VoiceRoute in_eRoute) {
    switch (in_eRoute) {
        case VoiceRoute::Mixer:
            return "mixer";
        case VoiceRoute::Music:
            return "music";
        case VoiceRoute::Master:
            return "master";
    }
    return "mixer";
}

uint64_t Sum(const std::vector<uint64_t>& in_counts) {
    uint64_t uSum = 0;
    for (uint64_t uCount : in_counts) {
        uSum += uCount;
    }
    return uSum;
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

std::vector<std::string> RunWarnings(const SceneRunResult& in_result) {
    std::vector<std::string> warnings;
    const struct {
        const char* pszFile;
        uint64_t uNonFinite, uClipped;
    } aFiles[] = {
        {"7.1.4", Sum(in_result.speakerNonFinite), Sum(in_result.speakerClipped)},
        {"binaural", Sum(in_result.binauralNonFinite), Sum(in_result.binauralClipped)},
    };
    for (const auto& file : aFiles) {
        if (file.uNonFinite > 0) {
            warnings.push_back(std::string("the ") + file.pszFile + " file had " +
                               std::to_string(file.uNonFinite) +
                               " samples that were not numbers; they were written as silence");
        }
        if (file.uClipped > 0) {
            warnings.push_back(std::string("the ") + file.pszFile +
                               " file clips: " + std::to_string(file.uClipped) +
                               " samples lie beyond full scale (lower the gains)");
        }
    }
    const double fBudget = 1e9 * in_result.uHostFrames / in_result.uSampleRate;
    uint64_t uOver = 0;
    for (uint32_t uNs : in_result.frameNanoseconds) {
        uOver += uNs > fBudget;
    }
    // A buffer or two over on a shared machine is another process taking the core for a moment;
    // one in a hundred is the scene asking more than the audio thread can give.
    const uint64_t uBuffers = in_result.frameNanoseconds.size();
    if (uOver >= 2 && uOver * 100 >= uBuffers) {
        char szBudget[32];
        std::snprintf(szBudget, sizeof(szBudget), "%.2f", fBudget / 1e6);
        warnings.push_back("the audio thread took longer than its budget (one host buffer, " +
                           std::string(szBudget) + " ms) in " + std::to_string(uOver) + " of " +
                           std::to_string(in_result.frameNanoseconds.size()) +
                           " host buffers: a real device would have dropped out");
    }
    return warnings;
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
    report["rendererSampleRate"] = in_result.uRendererSampleRate;
    report["grantedObjects"] = in_scene.uGrant;
    report["pacing"] = in_result.bRealTime ? "real time" : "stepped";
    report["output"] = in_result.ownOutputReason.empty()
                           ? std::string("the spatial renderer")
                           : "the engine's own output: " + in_result.ownOutputReason;
    report["setupSeconds"] = Round(in_result.fSetupSeconds, 4);
    report["wallSeconds"] = Round(in_result.fWallSeconds, 4);
    report["processorSeconds"] = Round(in_result.fProcessorSeconds, 4);
    if (in_result.iLockstepCpu >= 0) {
        report["lockstepProcessor"] = in_result.iLockstepCpu;
    } else {
        report["lockstepProcessor"] = nullptr;
    }
    report["timesFasterThanRealTime"] =
        in_result.fWallSeconds > 0.0 ? Round(fDuration / in_result.fWallSeconds, 1) : 0.0;
    report["files"] = {{"speakers7_1_4", in_files.speakers},
                       {"binaural", in_files.binaural},
                       {"picture", in_files.picture},
                       {"page", in_files.page}};
    report["warnings"] = in_result.warnings;
    report["notes"] = in_result.notes;

    // Per second: the mixer's counters of the frames that start in that second.
    ordered seconds = ordered::array();
    const size_t uFrames = in_result.counters.size();
    size_t uFrame = 0;
    for (uint64_t uSecond = 0; uSecond * in_result.uSampleRate < in_result.uTotalFrames;
         ++uSecond) {
        uint32_t uMinPlaying = UINT32_MAX, uMaxPlaying = 0, uMinVoices = UINT32_MAX, uMaxVoices = 0;
        uint32_t uMaxAvailable = 0;
        size_t uRecords = 0;
        const size_t uFirstFrame = uFrame;
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
        const double fBudgetNs = 1e9 * in_result.uHostFrames / in_result.uSampleRate;
        uint32_t uSlowest = 0;
        for (size_t uHost = uFirstFrame;
             uHost < uFrame && uHost < in_result.frameNanoseconds.size(); ++uHost) {
            uSlowest = std::max(uSlowest, in_result.frameNanoseconds[uHost]);
        }
        const size_t uWindowsPerSecond = std::max<size_t>(
            1, in_result.uSampleRate / std::max<uint32_t>(1, in_result.uLevelWindowFrames));
        const size_t uWindowFrom = static_cast<size_t>(uSecond) * uWindowsPerSecond;
        ordered second;
        second["second"] = uSecond;
        second["mixerRecords"] = uRecords;
        second["playingObjects"] = {{"min", uRecords ? uMinPlaying : 0}, {"max", uMaxPlaying}};
        second["voices"] = {{"min", uRecords ? uMinVoices : 0}, {"max", uMaxVoices}};
        second["maxAvailableObjects"] = uMaxAvailable;
        second["audioThreadMaxShareOfBudget"] = Round(uSlowest / fBudgetNs, 5);
        for (const std::vector<float>& levels : in_result.speakerLevels) {
            second["speakerLevelDb"].push_back(
                LevelDb(levels, uWindowFrom, uWindowFrom + uWindowsPerSecond));
        }
        for (const std::vector<float>& levels : in_result.binauralLevels) {
            second["binauralLevelDb"].push_back(
                LevelDb(levels, uWindowFrom, uWindowFrom + uWindowsPerSecond));
        }
        seconds.push_back(second);
    }
    report["perSecond"] = seconds;

    ordered rings;
    rings["sink"] = RingJson(in_result.sinkRing);
    rings["effect"] = RingJson(in_result.effectRing);
    const MixerTimelineModel& timeline = in_result.mixerTimeline;
    ordered mixer = RingJson(timeline);
    mixer["framesLetGo"] = timeline.LetGoFrames();
    mixer["objectRecordsUsed"] = in_result.uObjectRecordsUsed;
    rings["mixer"] = mixer;
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
            stream["playOutPasses"] = seen->second.uPlayOutPasses;
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
    uint64_t uOverBudget = 0;
    for (uint32_t uNs : in_result.frameNanoseconds) {
        uOverBudget += uNs > 1e3 * fBudget;
    }
    audioThread["hostBuffersOverBudget"] = uOverBudget;
    report["audioThread"] = audioThread;

    ordered levels;
    for (size_t uChannel = 0; uChannel < in_result.speakerPeaks.size(); ++uChannel) {
        levels["speakerPeak"].push_back(Round(in_result.speakerPeaks[uChannel], 5));
    }
    for (float fPeak : in_result.binauralPeaks) {
        levels["binauralPeak"].push_back(Round(fPeak, 5));
    }
    levels["speakerNonFiniteSamples"] = Sum(in_result.speakerNonFinite);
    levels["speakerClippedSamples"] = Sum(in_result.speakerClipped);
    levels["binauralNonFiniteSamples"] = Sum(in_result.binauralNonFinite);
    levels["binauralClippedSamples"] = Sum(in_result.binauralClipped);
    levels["nonFinite"] = Sum(in_result.speakerNonFinite) + Sum(in_result.binauralNonFinite) > 0;
    levels["clipped"] = Sum(in_result.speakerClipped) + Sum(in_result.binauralClipped) > 0;
    report["levels"] = levels;

    ordered voices = ordered::array();
    for (size_t uVoice = 0; uVoice < in_scene.voices.size(); ++uVoice) {
        const VoiceSpec& spec = in_scene.voices[uVoice];
        ordered voice;
        voice["name"] = spec.name;
        voice["route"] = RouteName(spec.eRoute);
        voice["start"] = spec.fStart;
        voice["end"] = VoiceEnd(in_scene, spec);
        if (uVoice < in_result.voiceRoutes.size() && spec.eRoute == VoiceRoute::Mixer) {
            ordered spans = ordered::array();
            for (const VoiceRouteSpan& span : in_result.voiceRoutes[uVoice]) {
                spans.push_back({{"from", Round(span.fFrom, 3)},
                                 {"to", Round(span.fTo, 3)},
                                 {"on", span.bObject ? "object" : "bed"}});
            }
            voice["spans"] = spans;
        }
        voices.push_back(voice);
    }
    report["voices"] = voices;

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
         "documents (sink: the largest period and two host buffers, at least its slots; effect: "
         "the sink's ring and one more period and buffer). The model adds what the host handed "
         "over (the sink: one buffer per frame, which runs only when the sink asks for it; the "
         "effect: each buffer it diverted, seen as a bus that came back silent) and takes one "
         "period per renderer pass of that plug-in's stream. An overrun is a write beyond the "
         "free space (the ring drops its oldest data); a short pass is a pass that found less "
         "than a period (it plays silence). The mixer's object records follow one timeline, "
         "modelled as one ring of the largest period (4096 frames, or the renderer's if longer) "
         "and four host buffers: a host buffer goes onto it in every frame in which the mixer "
         "posted its counters with a grant (its stream runs); a frame without counters (the "
         "stream was lost) empties it. A buffer that does not fit is an overrun (lost from every "
         "record). A pass that starts the timeline with less than a period plays silence first "
         "and keeps a host buffer in hand (a voice starting is heard as late as every other, not "
         "cut); a short pass is one that finds less than a period while the timeline runs (the "
         "host fell behind: a gap in every playing object). framesLetGo: delay dropped, once, at "
         "a start that found more than the rings hold with two host buffers to spare. "
         "objectRecordsUsed: the most objects the mixer played at once."},
        {"output",
         "Where the files' sound comes from: the spatial renderer (what the three plug-ins "
         "played through it), or, when the sink did not initialise (a scene at another sample "
         "rate than the renderer's, whose 48 kHz no plug-in converts to), the engine's own "
         "output: its final mix in the sink's layout, each speaker heard as the bed plays it."},
        {"rendererStreams",
         "From the renderer: events signalled, passes, missed signals, out-of-order calls and "
         "objects the renderer ended because a pass skipped them; and from the captured passes: "
         "passes heard; silent passes (every object buffer all zeros) among the scene's own, which "
         "for the effect and the mixer include the short passes that actually happened; and the "
         "play-out passes after the scene's last frame (what the plug-ins still held, then "
         "silence), which are not counted as silent."},
        {"audioThread",
         "Wall time on the player's audio thread per host buffer: pluginCalls sums the plug-ins' "
         "own calls (MixInput, FinishMix, PostEffects, EndFrame, ProcessInPlace, IsDataNeeded, "
         "ConsumeFrame, OnFrameEnd); wholeHostFrame adds the host's own work (signals, panning, "
         "bus mixing). Budget: one host buffer's duration. The 99th percentile is by nearest "
         "rank. The listener mix runs on a thread of its own and is not in these times. "
         "hostBuffersOverBudget counts the whole host frames that took longer than the budget; "
         "a warning is given when they are at least two and at least one in a hundred (a single "
         "one is another process taking the core)."},
        {"levels",
         "Peaks per channel of both files; samples that were not finite numbers (written to the "
         "file as silence) and samples beyond full scale (magnitude above 1), counted over every "
         "channel. Per second: the RMS level in dBFS of every 7.1.4 channel and of both ears "
         "(-120 for silence)."},
        {"voices",
         "Each voice's route; for voices of the mixer bus, the spans in which a dynamic object "
         "sounded at the voice's position (on an object) and the rest of its time (mixed into "
         "the bus, heard through the sink's bed)."},
        {"wallSeconds",
         "From the first host frame until both WAV files are shut: the frames, the renderer's "
         "passes, the listener mix and the files. processorSeconds: the processor time that the "
         "whole process spent in that time, every thread, user and system (other work on the "
         "machine slows the wall time, far less this). setupSeconds (before it) loads the "
         "libraries and the HRTF set and starts the plug-ins. lockstepProcessor: the processor "
         "that a stepped run kept the audio thread and the plug-ins' render workers on, as they "
         "hand every pass over in lock step (null: left to the scheduler)."},
    };
    return report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace scene
