// The spatial mixer on a bus: each input (voice) of the frame either becomes, downmixed to mono,
// part of a dynamic spatial-audio object at the input's 3D position (the object route), or is
// mixed into the bus's own buffer with the speaker volumes the host computes (the bed route).
// FinishMix sums the inputs of every object, fixes its position and volume, queues its samples in
// the object's ring for the render worker, and posts the counters {playing objects, voices,
// available objects} for the design tool.
//
// An input takes the object route while the render stream runs with a grant above 0, it has one
// or two channels besides the low-frequency one, neither the mixer's Bypass nor the input's
// BypassLocal is set, it is among the first 32 inputs of the frame, it has a ray, and an object
// within the budget (MaxObjects and the grant, compared unsigned) is already at its very
// position, still held for it, or free. An input keeps its object from frame to frame while it
// plays on (ObjectRecord.h); inputs at one position share one object (the later ones of the frame
// join the first), and when inputs that shared one part, the first of the frame keeps it. Each
// input of a shared object is heard at its own emitter-listener volume: the object plays at the
// loudest of them, and the others' samples are scaled down to theirs. An input's low-frequency
// channel takes the bed route (the host's speaker volumes, that channel only) while the rest of
// it is on an object; an input of the low-frequency channel alone takes the bed route. A frame
// whose FinishMix does not take the object path empties every record, so that no voice waits in
// a record that nobody mixes down.
//
// A lost stream is re-activated at once, and, while that fails, again after 1 second of the
// engine's audio time (host frames x frames per buffer / sample rate), then after intervals that
// double up to 8 seconds (RetrySchedule); the voices play on the bed meanwhile. A stream that is
// lost again before it has run for 1 second counts as one more failed attempt, so a renderer
// that opens streams and fails them at once is tried at the same growing intervals. A stream that
// could not be opened at InitPlugin is not looked for again.
//
// The render stream plays at the renderer's rate, and every stream is asked for at the engine's
// (the format record's; a host that names none takes the rate of the renderer it first plays
// through, and keeps it). A renderer at another rate gets no stream: the mixer posts one notice
// naming both rates (again only after a stream has run since) and runs as without a renderer,
// every voice on the bed and 0 available objects in its counters; after a loss, an activation
// refused for its rate is a failed attempt like any other.
//
// The two builds differ only in how the render stream is opened and re-opened, and in their
// notices (MixerStreamActivation); their factories are in SpatialMixerFXFactory.h.
//
// Threads: every host-facing operation runs on the host's audio thread. The render worker
// (MixerRenderWorker) shares with it the object records (see ObjectRecord.h for who writes what),
// the render stream (SharedRenderStream) and m_iMaxObjects (the MaxObjects snapshot: an atomic
// written by the audio thread and read by the worker, relaxed). Everything else is the audio
// thread's.
#pragma once

#include <stdint.h>

#include <atomic>

#include "InputSlot.h"
#include "MixerInputData.h"
#include "MixerRenderWorker.h"
#include "MixerStreamActivation.h"
#include "MixerTimeline.h"
#include "ObjectRecord.h"
#include "RetrySchedule.h"
#include "SharedRenderStream.h"
#include "SpatialMixerFXParams.h"
#include "ZvHostEngine.h"
#include "ZvMixerInputMap.h"

class SpatialMixerFX final : public ZV::IMixerPlugin {
public:
    static constexpr uint32_t kMaxInputSlots = 32;
    static constexpr uint32_t kMaxObjectRecords = 32;

    // The record of counters posted every frame (little-endian on every target of the family).
    struct MonitorData {
        uint32_t uPlayingObjects;       // records mixed down this frame
        uint32_t uTotalVoices;          // MixInput calls of the frame, both routes
        uint32_t uMaxAvailableObjects;  // the renderer's grant (at most 32), 0 without a stream
    };
    static_assert(sizeof(MonitorData) == 12, "the design tool reads 12 bytes");

    // A zero-filled mixer in in_pAllocator's memory that opens its render stream through
    // in_rActivation (which must outlive it), or null.
    static SpatialMixerFX* Create(ZV::IPluginMemAlloc* in_pAllocator,
                                  const MixerStreamActivation& in_rActivation);

    // IPlugin
    ZvResult TermPlugin(ZV::IPluginMemAlloc* in_pAllocator) override;
    ZvResult ResetPlugin() override;
    ZvResult DescribePlugin(ZvPluginInfo& out_rPluginInfo) override;
    // IMixerPlugin
    ZvResult InitPlugin(ZV::IPluginMemAlloc* in_pAllocator, ZV::IMixerPluginContext* in_pContext,
                        ZV::IPluginParam* in_pParams, ZvAudioFormat& io_rFormat) override;
    void ConnectInput(ZV::IMixerInputContext* in_pInput) override;
    void DisconnectInput(ZV::IMixerInputContext* in_pInput) override;
    void MixInput(ZV::IMixerInputContext* in_pInputContext, ZvVolumeRamp in_baseVolume,
                  ZvVolumeRamp in_emitterListenerVolume, ZvSampleBuffer* io_pInputBuffer,
                  ZvSampleBuffer* io_pMixBuffer) override;
    void FinishMix(ZvSampleBuffer* io_pMixBuffer) override;
    void PostEffects(ZvSampleBuffer* io_pMixBuffer) override;
    void EndFrame(uint32_t in_uFrameIndex, ZV::IFrameEndHooks* in_pHooks) override;

    // The state of the current render stream (StreamClosed without one), for the host's
    // diagnostics; audio thread.
    StreamState CurrentStreamState() const;
    // Whether an activation of the render stream is under way on another thread, and whether the
    // render worker holds the stream for a cycle right now; audio thread.
    bool StreamActivationPending() const;
    bool WorkerHoldsStream() const { return m_stream.IsBorrowed(); }
    // Host buffers that found no room in the object records' rings and were not written to them
    // (audio thread).
    uint64_t RingOverruns() const { return m_uRingOverruns; }

private:
    SpatialMixerFX(ZV::IPluginMemAlloc* in_pAllocator, const MixerStreamActivation& in_rActivation);
    ~SpatialMixerFX();

    bool AllocateBuffers();
    bool AllocateSamples(ZvSampleBuffer& out_rBuffer);
    void FreeSamples(ZvSampleBuffer& io_rBuffer);
    void ReleaseStream();
    void RefreshParameterSnapshot();

    // MixInput's object route: true when the slot joined a record.
    bool AssignToObject(InputSlot& io_rSlot, ZV::IMixerInputContext* in_pInputContext,
                        uint32_t in_uBudget, MixerInputData& io_rInput);
    void JoinRecord(uint32_t in_uRecord, InputSlot& io_rSlot, MixerInputData& io_rInput);
    void Downmix(InputSlot& io_rSlot, const ZvSampleBuffer& in_input, uint32_t in_uChannels,
                 ZvVolumeRamp in_baseVolume, uint32_t in_uFrames);
    // The bed route: every channel of the input, or only its low-frequency one.
    void MixIntoBed(ZV::IMixerInputContext* in_pInputContext, ZvVolumeRamp in_baseVolume,
                    ZvVolumeRamp in_emitterListenerVolume, ZvSampleBuffer* in_pInputBuffer,
                    ZvSampleBuffer* io_pMixBuffer, bool in_bLowFrequencyOnly);

    // FinishMix's paths.
    uint32_t MixDownRecords(const ZvSampleBuffer& in_mixBuffer, uint32_t in_uRecords);
    // The record's mono mix of the frame (its inputs, each at its own volume) and the volume the
    // object plays at.
    const float* MixRecord(ObjectRecord& io_rRecord, uint32_t in_uFrames, float& out_fVolume);
    void EmptyRecords();
    // After a loss: every ring emptied and every record free (the worker holds no stream).
    void ResetRecords();
    // Takes every input off the record, clearing each one's slot.
    void ReleaseInputs(ObjectRecord& io_rRecord);
    // Zeroes the slot's samples and marks it unassigned: a slot outside a record is all zero.
    void ClearSlot(InputSlot& io_rSlot);
    void PostCounters(uint32_t in_uPlayingObjects, uint32_t in_uMaxAvailableObjects);
    void ClearConsumedFlags();
    void ResetLostStream(uint64_t in_uNowMilliseconds);
    // An activation that ended without a stream: when the renderer plays at another rate than the
    // engine's, the notice, unless it was posted and no stream has run since.
    void NoticeRefusedRate(const MixerRenderStream& in_attempt);
    // Hands in_pOld (the mixer's reference, or null) to the activation for a new stream.
    void StartReactivation(MixerRenderStream* in_pOld, uint64_t in_uNowMilliseconds);
    // While the objects are lost: the outcome of the last attempt, and the next one when it is due.
    void RetryReactivation(uint64_t in_uNowMilliseconds);

    ZV::IPluginMemAlloc* const m_pCreationAllocator;
    const MixerStreamActivation& m_rActivation;

    ZV::IPluginMemAlloc* m_pAllocator = nullptr;
    ZV::IMixerPluginContext* m_pContext = nullptr;
    bool m_bReady = false;  // InitPlugin succeeded: the frame operations may run
    ZV::IGlobalPluginContext* m_pGlobalContext = nullptr;
    SpatialMixerFXParams* m_pParams = nullptr;

    // The parameter snapshot.
    bool m_bBypass = false;
    std::atomic<int32_t> m_iMaxObjects{SpatialMixerFXParams::kDefaultMaxObjects};

    uint16_t m_uMaxFrames = 0;
    // The rate every stream is asked for: the format record's until InitPlugin has opened the
    // first (kUnstatedSampleRate: any), then the engine's audio-time rate.
    uint32_t m_uEngineSampleRate = 0;
    uint32_t m_uSampleRate = 0;  // the rate of the engine's audio time
    bool m_bWrongRateNoticed = false;
    ZvChannelLayout m_outputLayout;
    uint32_t m_uBufferBytes = 0;  // of every slot, record and scratch buffer
    uint32_t m_uInputIndex = 0;   // MixInput calls since the last FinishMix

    InputSlot m_aSlots[kMaxInputSlots];
    ObjectRecord* m_apRecords[kMaxObjectRecords] = {};
    ZvSampleBuffer m_scratch = {};
    // The bed route's speaker volumes: room for the most input channels a layout can name.
    float* m_pPrevVolumes = nullptr;
    float* m_pNextVolumes = nullptr;
    uint32_t m_uVolumeFloats = 0;  // of each matrix

    ZvMixerInputMap<MixerInputData> m_inputMap;
    bool m_bInputMapReady = false;

    SharedRenderStream m_stream;
    MixerTimeline m_timeline;  // before the worker, which uses it
    MixerRenderWorker m_worker;
    uint64_t m_uRingOverruns = 0;

    // Re-activation after a loss, in the engine's audio time (milliseconds).
    uint64_t m_uAudioFrames = 0;     // frames of the FinishMix calls so far
    bool m_bRecovering = false;      // the objects are lost: re-activations are under way
    bool m_bAttemptPending = false;  // the current stream is an attempt whose outcome is not in
    bool m_bProving = false;         // back, but not yet for a whole first interval
    uint64_t m_uRunningSince = 0;    // when the objects came back
    MixerRenderStream* m_pSpentStream = nullptr;  // lost while proving; for the next attempt
    RetrySchedule m_retry;
};
