// Plays a scene through the three plug-ins into the stand-in renderer, as the engine would:
// once per host buffer, the voices of the mixer bus go through the mixer (MixInput for each
// playing voice with its ray, FinishMix, EndFrame), the music bus through the effect
// (ProcessInPlace), and the final mix (the mixer bus's own mix, the music bus and the voices
// routed straight to it) through the sink (IsDataNeeded, ConsumeFrame, OnFrameEnd). The renderer
// is stepped one pass at a time so that it keeps up with the host (or runs by the clock with
// real-time pacing), and every pass goes to a PassRenderer, which writes the 7.1.4 and binaural
// files.
//
// Runs on the calling thread, which acts as the engine's audio thread (COM initialised there for
// the run); the plug-ins' render workers run on the stand-in's thread pool.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "SceneDescription.h"
#include "SceneRunResult.h"

namespace scene {

struct ScenePlayerOptions {
    std::string speakerPath;
    std::string binauralPath;
    std::string sofaPath = "/usr/share/libmysofa/default.sofa";
    bool bRealTime = false;
    // The listener mix (the 7.1.4 and binaural files) on a thread of its own; false mixes on the
    // player's thread. The files are the same either way.
    bool bMixOnOwnThread = true;
    // Stepped pacing: keeps the audio thread and the plug-ins' render workers, which hand each
    // pass over in lock step, on one processor (LockstepCpu.h). The files are the same either way.
    bool bLockstepOnOneCpu = true;
    // Called now and then with the share of the scene played (0 to 1).
    std::function<void(double)> progress;
    // When set and not 0 (a signal number), the run stops at the next host buffer and fails.
    const std::atomic<int>* pStop = nullptr;
};

// Checks what the scene reads before anything is written: every WAV source opens as sound, and
// the SOFA file is there and readable. out_notes gets, per WAV source, the channels it plays and
// its rate. False with out_error naming the first input at fault.
bool CheckSceneInputs(const SceneSpec& in_scene, const std::string& in_sofaPath,
                      std::vector<std::string>& out_notes, std::string& out_error);

// The frames the player runs on after the scene's last host frame, in whole passes, so that what
// the plug-ins hold is played out: the sink's queue at its longest, or the mixer's (the largest
// period and two host buffers), and two passes more. The output files hold the scene and these.
uint64_t PlayOutFrames(const SceneSpec& in_scene);

// False with out_error when the scene could not be played (a library or file missing, a plug-in
// that would not initialise, a stop asked for); out_result holds what was measured up to then.
// Inputs are opened (libraries, WAV sources, the SOFA set) before the output files are created.
bool PlayScene(const SceneSpec& in_scene, const ScenePlayerOptions& in_options,
               SceneRunResult& out_result, std::string& out_error);

}  // namespace scene
