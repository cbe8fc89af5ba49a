// What one run of a scene measured, for the report and the picture.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "PassRenderer.h"
#include "MixerTimelineModel.h"
#include "RingFillModel.h"

namespace scene {

// The mixer's counter record of one host frame (0 where none was posted).
struct MixerCounters {
    uint32_t uPlayingObjects = 0;
    uint32_t uVoices = 0;
    uint32_t uMaxAvailableObjects = 0;
    bool bPosted = false;
};

// How one voice was played over time, for the picture and the page: a mixer voice is on a
// dynamic object or mixed into the bus (the bed) at each moment; music and master voices keep
// their route.
struct VoiceRouteSpan {
    double fFrom = 0.0;  // seconds
    double fTo = 0.0;
    bool bObject = false;
};

struct SceneRunResult {
    uint32_t uSampleRate = 48000;
    uint32_t uHostFrames = 512;
    uint32_t uRendererFrames = 480;
    uint32_t uRendererSampleRate = 48000;  // the rate of the format the renderer offers
    uint64_t uTotalFrames = 0;             // output frames
    uint64_t uHostBuffers = 0;
    uint64_t uSteps = 0;
    bool bRealTime = false;
    double fSetupSeconds = 0.0;  // loading the libraries and the HRTF set, starting the plug-ins
    double fWallSeconds = 0.0;   // the run: frames, passes, listener mix, until the files are shut
    double fProcessorSeconds = 0.0;  // the run's processor time, all threads, user and system
    // The processor that a stepped run kept its audio thread and the render workers on, or -1.
    int iLockstepCpu = -1;
    uint32_t uSinkLayoutMask = 0;
    // Why the files hold the engine's own output (its final mix on the bed's speakers) rather
    // than what the renderer played: the sink could not be opened. Empty when they hold the
    // renderer's.
    std::string ownOutputReason;

    std::vector<MixerCounters> counters;      // per host frame
    std::vector<uint32_t> pluginNanoseconds;  // per host frame: the plug-ins' calls
    std::vector<uint32_t> frameNanoseconds;   // per host frame: the whole frame on the host
    uint64_t uDroppedMixBatches = 0;          // passes the listener mix never got (a stall)

    RingFillModel sinkRing;
    RingFillModel effectRing;
    MixerTimelineModel mixerTimeline;  // all of the mixer's object records
    uint32_t uObjectRecordsUsed = 0;   // the most objects the mixer played at once

    std::map<uint64_t, std::string> streamOwners;  // renderer stream id -> "sink", "effect", ...
    std::map<uint64_t, StreamPassStats> streams;   // what the renderer saw per stream
    std::vector<standin::StreamStats> rendererStreams;
    std::map<uint64_t, std::vector<TrajectorySample>> trajectories;
    std::vector<std::vector<float>> speakerLevels;  // per 7.1.4 channel, RMS per window
    uint32_t uLevelWindowFrames = 4800;
    std::vector<float> speakerPeaks;
    std::vector<float> binauralPeaks;
    std::vector<std::vector<float>> binauralLevels;  // per ear, RMS per window
    // Per channel: samples that were not finite (written as silence), and beyond full scale.
    std::vector<uint64_t> speakerNonFinite, speakerClipped;
    std::vector<uint64_t> binauralNonFinite, binauralClipped;
    // Per voice of the scene: its spans on an object or in the bed (mixer voices only).
    std::vector<std::vector<VoiceRouteSpan>> voiceRoutes;
    // What the user should know: inputs as they are used (a WAV file's channels and rate), and
    // what went wrong without stopping the run (clipping, the audio thread over its budget).
    std::vector<std::string> notes;
    std::vector<std::string> warnings;
    bool bLibraryMissing = false;  // a plug-in library could not be loaded

    uint64_t uPluginChecks = 0;  // reports through the assertion hook
    std::vector<std::string> hostErrors;
    size_t uOutstandingBlocks = 0;
    size_t uBadFrees = 0;
    uint64_t uHrtfTransforms = 0;
    size_t uHrtfDirections = 0;
    std::vector<std::string> monitorMessages;
};

}  // namespace scene
