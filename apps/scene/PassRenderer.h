// Turns what the spatial renderer receives into what a listener would hear: every pass of every
// render stream is mixed into a 12-channel 7.1.4 file (static objects on their own speakers,
// dynamic objects panned by VBAP, volumes applied) and a binaural headphone file (every object
// convolved with the head-related impulse responses of its direction, 6 dB down: see
// kBinauralGain).
//
// Passes that play at the same time are handed in together (AddPasses with their output frame);
// static objects of one type from several streams are summed before they are convolved. Gains
// and volumes of a dynamic object ramp from its previous pass to the current one.
//
// Also keeps, per stream, the passes and the silent passes it saw, and per dynamic object the
// positions at which it sounded, for the report and the picture.
//
// Used on one thread (the player's).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BinauralRenderer.h"
#include "HrtfSet.h"
#include "VbapPanner.h"
#include "WavTimeline.h"
#include "standin/Renderer.h"

namespace scene {

struct PassRendererConfig {
    uint32_t uSampleRate = 48000;
    uint32_t uBlockFrames = 480;  // the renderer's frames per pass
    std::string sofaPath = "/usr/share/libmysofa/default.sofa";
    std::string speakerPath;   // the 7.1.4 file
    std::string binauralPath;  // the headphone file
    uint32_t uLevelWindowFrames = 4800;
    // Frames behind the latest pass that may still receive passes (real-time pacing delivers
    // streams slightly out of step); earlier frames are written out.
    uint32_t uLateFrames = 24000;
    // The scene's own frames; passes from here on are the play-out, which brings what the
    // plug-ins still held and then silence.
    uint64_t uSceneFrames = UINT64_MAX;
};

struct StreamPassStats {
    uint64_t uPasses = 0;
    uint64_t uSilentPasses = 0;   // passes of the scene in which every object's buffer held zeros
    uint64_t uPlayOutPasses = 0;  // passes after the scene's last frame
    uint64_t uEmptyPasses = 0;    // passes without any active object
    uint32_t uMaxObjects = 0;
    bool bStatic = false;   // had static objects
    bool bDynamic = false;  // had dynamic objects
};

struct TrajectorySample {
    double fTime;
    float fX, fY, fZ;
};

class PassRenderer {
public:
    PassRenderer() = default;

    bool Open(const PassRendererConfig& in_config, std::string& out_error);
    void AddPasses(uint64_t in_uFrame, const std::vector<standin::Pass>& in_passes);
    // Writes both files up to in_uTotalFrames and closes them.
    bool Finish(uint64_t in_uTotalFrames, std::string& out_error);

    const std::map<uint64_t, StreamPassStats>& StreamStats() const { return m_streams; }
    // Per dynamic object (renderer object id): where it was in the passes in which it sounded,
    // at most one sample per 20 ms.
    const std::map<uint64_t, std::vector<TrajectorySample>>& Trajectories() const {
        return m_trajectories;
    }
    const WavTimeline& Speakers() const { return m_speakers; }
    const WavTimeline& Binaural() const { return m_binaural; }
    const HrtfSet& Hrtf() const { return m_hrtf; }
    uint64_t Transforms() const { return m_pBinaural ? m_pBinaural->Transforms() : 0; }

private:
    struct DynamicState {
        SpeakerGains gains{};
        SpeakerDirection direction{0.0, 0.0};
        float fVolume = 0.0f;
        bool bSeen = false;
        double fLastSampleTime = -1.0;
        // The last position the object was placed at, and its direction and gains there.
        float afPosition[3] = {0.0f, 0.0f, 0.0f};
        bool bPlaced = false;
        SpeakerDirection placedDirection{0.0, 0.0};
        SpeakerGains placedGains{};
    };

    // io_pSpeakers: the block, a row of uBlockFrames frames per speaker. in_bSilent: every
    // sample of the object's pass is zero.
    void AddDynamic(uint64_t in_uFrame, const standin::ObjectPass& in_object, bool in_bSilent,
                    float* io_pSpeakers, size_t in_uFrames);

    PassRendererConfig m_config;
    VbapPanner m_panner;
    HrtfSet m_hrtf;
    std::unique_ptr<BinauralRenderer> m_pBinaural;
    WavTimeline m_speakers;
    WavTimeline m_binaural;
    std::map<uint64_t, StreamPassStats> m_streams;
    std::map<uint64_t, DynamicState> m_dynamic;
    std::map<uint64_t, std::vector<TrajectorySample>> m_trajectories;
    // Sums of static objects by type bit (bits 1 to 17) for the block being mixed.
    std::vector<std::vector<float>> m_staticSums;
    std::vector<bool> m_staticUsed;
    std::vector<float> m_earLeft, m_earRight;
    std::vector<float> m_speakerRows;  // the block being mixed, a row of frames per speaker
    uint64_t m_uLatestFrame = 0;
};

}  // namespace scene
