// The spatial mixer on a bus: each input (voice) of the frame either becomes, downmixed to mono,
// part of a dynamic spatial-audio object at the input's 3D position (the object route), or is
// mixed into the bus's own buffer with the speaker volumes the host computes (the bed route).
// FinishMix sums the inputs of every object, fixes its position and volume, queues its samples in
// the object's ring for the render worker, and posts the counters {playing objects, voices,
// available objects} for the design tool.
//
// An input takes the object route while the render stream runs with a grant above 0, it has at
// most two channels besides the low-frequency one, neither the mixer's Bypass nor the input's
// BypassLocal is set, it is among the first 32 inputs of the frame, it has a ray, and an object
// within the budget (MaxObjects and the grant, compared unsigned) is free or already at its very
// position. A frame whose FinishMix does not take the object path empties every record, so that
// no voice waits in a record that nobody mixes down.
//
// The two builds differ only in how the render stream is opened and re-opened after a loss
// (MixerStreamActivation); their factories are in SpatialMixerFXFactory.h.
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
#include "ObjectRecord.h"
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
                        uint32_t in_uBudget, float in_fVolume);
    void Downmix(InputSlot& io_rSlot, const ZvSampleBuffer& in_input, uint32_t in_uChannels,
                 ZvVolumeRamp in_baseVolume, uint32_t in_uFrames);
    void MixIntoBed(ZV::IMixerInputContext* in_pInputContext, ZvVolumeRamp in_baseVolume,
                    ZvVolumeRamp in_emitterListenerVolume, ZvSampleBuffer* in_pInputBuffer,
                    ZvSampleBuffer* io_pMixBuffer);

    // FinishMix's paths.
    uint32_t MixDownRecords(const ZvSampleBuffer& in_mixBuffer, uint32_t in_uRecords);
    void EmptyRecords();
    // Takes every input off the record, clearing each one's slot.
    void ReleaseInputs(ObjectRecord& io_rRecord);
    // Zeroes the slot's samples and marks it unassigned: a slot outside a record is all zero.
    void ClearSlot(InputSlot& io_rSlot);
    void PostCounters(uint32_t in_uPlayingObjects, uint32_t in_uMaxAvailableObjects);
    void ClearConsumedFlags();
    void ResetLostStream();

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
    MixerRenderWorker m_worker;
    uint8_t* m_pWorkerBuffer = nullptr;
};
