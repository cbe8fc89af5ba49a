// The host engine of spatialhost: an output sink, optionally with one bus in front of it (a
// 12-channel bus through the spatial effect, or a mixer bus with mono voices), all found through
// the plug-in libraries' registration lists and driven on the calling thread (the host's audio
// thread) at the output's pace.
//
// An engine frame: the engine's audio thread asks the sink whether it wants data, at most once
// per host buffer of time (kept three buffers ahead of the clock, so that the sink's ring of six
// rides out the renderer's jitter). While it does not, the thread waits (1 ms) and asks again: the
// engine is paced by its output. When it does, the bus (if any) is filled from the tone schedule
// and processed, the bus's output (or, without a bus, the schedule itself) makes the final mix in
// the sink's layout, and the sink consumes it and ends the frame (ConsumeFrame, OnFrameEnd).
//
// Failures of the plug-ins after start are theirs to absorb: the session only records what the
// sink answers (IsDataNeeded's result, IsStarved) so that a run can check that nothing was
// reported to the host.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "HostAllocator.h"
#include "HostEffectContext.h"
#include "HostGlobalContext.h"
#include "HostMixerContext.h"
#include "HostMixerInputContext.h"
#include "HostSinkContext.h"
#include "PluginLibrary.h"
#include "ToneSchedule.h"
#include "ZvHostEngine.h"
#include "ZvSampleBuffer.h"

namespace spatialhost {

enum class BusKind { None, Effect, Mixer };

// How long the engine's audio thread spent in the frames it ran, as a run that measures it needs:
// the longest frame, and the longest time in each plug-in's calls within one frame, since the
// last TakeFrameTimes; and every frame's time, for medians.
struct FrameTimes {
    double dLongestFrameMs = 0;
    double dLongestSinkMs = 0;  // IsDataNeeded, ConsumeFrame and OnFrameEnd of one frame
    double dLongestBusMs = 0;   // the bus plug-in's calls of one frame
    std::vector<double> frameMs;
};

struct Voice {
    float fAzimuthDegrees;  // where the voice is heard, 0 ahead, positive to the right
};

struct SessionConfig {
    const wchar_t* pszSinkLibrary = L"ZvSpatialSink.dll";
    uint32_t uChannelConfig = 3;  // the sink's ChannelConfig: 0 stereo .. 3 the 7.1.4 layout
    BusKind eBus = BusKind::None;
    const wchar_t* pszBusLibrary = nullptr;
    std::vector<Voice> voices;           // the mixer bus's inputs
    uint32_t uSampleRate = kSampleRate;  // the engine's, in every format record
};

class EngineSession {
public:
    static constexpr uint16_t kFramesPerBuffer = 512;
    static constexpr uint16_t kBufferCount = 6;

    EngineSession(const SessionConfig& in_config, std::FILE* io_pLog);
    ~EngineSession();
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;

    // Loads the libraries and initialises the plug-ins; false (logged) when one is missing or
    // refuses.
    bool Open();
    // Open in its steps: the libraries; the sink (below); the bus (effect or mixer), if any.
    bool LoadLibraries();
    bool OpenBus();
    // (Re)creates only the sink, as a host does after its output was lost: false while the sink
    // cannot open the renderer.
    bool OpenSink();
    void CloseSink();

    // Plays in_schedule from its start at the output's pace; in_keepGoing is asked between frames
    // whether to go on past the schedule's end (silence then), for a run that waits for something
    // outside (also while the output wants no data).
    template <typename KeepGoing>
    void Play(const ToneSchedule& in_schedule, KeepGoing&& in_keepGoing);
    void Play(const ToneSchedule& in_schedule) {
        Play(in_schedule, [] { return false; });
    }

    // Terminates every plug-in; then checks that the host allocator got every block back. False
    // (logged) when something stayed or the sink reported anything while it played.
    bool Close();

    uint32_t SinkSpeakerCount() const { return m_sinkLayout.uNumChannels; }
    // What the latest InitPlugin of the sink and of the bus answered (0 before any).
    ZvResult SinkInitResult() const { return m_eSinkInit; }
    ZvResult BusInitResult() const { return m_eBusInit; }
    // The notices the bus's plug-in posted, each with its level.
    std::vector<host::HostMonitorLog::Message> BusNotices();
    // The sum of the squares of what the mixer bus carried on speaker in_uSpeaker (mask order of
    // its 7.1.4 layout) after each frame's mix.
    double BusEnergy(uint32_t in_uSpeaker) const;
    // The times of the frames run since the last call (kept from the first call on).
    FrameTimes TakeFrameTimes();
    // Open failed because a library does not carry the plug-in at all (not built into it yet).
    bool PluginMissing() const { return m_bPluginMissing; }

private:
    bool OpenEffect();
    bool OpenMixer();
    // One engine frame if the sink wants data; false (no frame) when it does not.
    bool ProduceFrame(const ToneSchedule& in_schedule);
    // The bus (if any) and the final mix of the current frame.
    void RenderMix(const ToneSchedule& in_schedule);
    void FillBySpeaker(const ToneSchedule& in_schedule, ZvSampleBuffer& io_buffer,
                       uint64_t in_uFrame);
    bool CheckMixerCounters();
    bool TermParams(ZV::IPluginParam*& io_pParams);

    SessionConfig m_config;
    std::FILE* m_pLog;
    host::HostAllocator m_allocator;
    host::HostGlobalContext m_global;
    host::HostSinkContext m_sinkContext;
    host::HostEffectContext m_effectContext;
    host::HostMixerContext m_mixerContext;
    host::PluginLibrary m_sinkLibrary;
    host::PluginLibrary m_busLibrary;

    ZV::IPluginParam* m_pSinkParams = nullptr;
    ZV::ISinkPlugin* m_pSink = nullptr;
    ZvChannelLayout m_sinkLayout = {};
    ZV::IPluginParam* m_pBusParams = nullptr;
    ZV::IInPlaceEffectPlugin* m_pEffect = nullptr;
    ZV::IMixerPlugin* m_pMixer = nullptr;
    std::vector<std::unique_ptr<host::HostMixerInputContext>> m_voices;

    std::vector<float> m_masterSamples;
    ZvSampleBuffer m_master = {};
    std::vector<float> m_busSamples;
    ZvSampleBuffer m_bus = {};
    std::vector<float> m_voiceSamples;
    ZvSampleBuffer m_voice = {};

    bool m_bTiming = false;  // frame times are kept (after the first TakeFrameTimes)
    FrameTimes m_times;
    uint64_t m_uFrame = 0;       // frames of the current schedule produced so far
    uint64_t m_uNotNeeded = 0;   // IsDataNeeded answers of 0
    uint64_t m_uBadAnswers = 0;  // IsDataNeeded results other than 1, IsStarved true
    bool m_bPluginMissing = false;
    ZvResult m_eSinkInit = static_cast<ZvResult>(0);
    ZvResult m_eBusInit = static_cast<ZvResult>(0);
    std::vector<double> m_busEnergy;  // per bus channel (the host's order)
};

template <typename KeepGoing>
void EngineSession::Play(const ToneSchedule& in_schedule, KeepGoing&& in_keepGoing) {
    const auto start = std::chrono::steady_clock::now();
    m_uFrame = 0;
    // Three host buffers ahead of the clock: the sink's ring then rides out the renderer's jitter.
    const uint64_t uAhead = 3 * uint64_t{kFramesPerBuffer};
    for (;;) {
        if (m_uFrame >= in_schedule.TotalFrames() && !in_keepGoing()) {
            return;
        }
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - start);
        const uint64_t uDue =
            static_cast<uint64_t>(elapsed.count()) * m_config.uSampleRate / 1000000 + uAhead;
        if (m_uFrame >= uDue) {
            Sleep(1);
            continue;
        }
        if (!ProduceFrame(in_schedule)) {
            Sleep(1);  // the output has not taken enough yet
        }
    }
}

}  // namespace spatialhost
