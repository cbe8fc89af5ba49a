// The spatial effect: an in-place effect on a bus of up to twelve channels that takes the bus's
// sound away from the engine's output and plays it on the spatial renderer's static bed objects
// instead (bus column k on bed entry k: front left, front right, front centre, low frequency, back
// left, back right, side left, side right, then the four top objects). The engine's buffer comes
// back silent where its samples were sent. While the renderer is unavailable (no stream, a lost
// stream, no dynamic objects granted, a bus without a speaker mask) the bus passes through
// untouched and is heard through the engine.
//
// A stream is lost when the renderer asks for no pass for 100 ms, when a begin or end of a pass
// fails, or when the worker has not delivered the bus's objects for kUndeliveredPassLimit passes
// in a row (objects that keep failing). The next buffer re-opens it, on an empty ring: nothing the
// engine rendered before the loss is played after it. The dead stream, client and event are
// released at once. A re-open that fails, or a stream whose objects never played, is tried again
// after one second of the engine's audio time, then two, four and eight, and every eight seconds
// from then on; the bus passes through meanwhile.
//
// Threads. The host's audio thread calls every slot (InitPlugin, ProcessInPlace, ResetPlugin,
// TermPlugin) and re-opens a lost stream; one render worker (a thread-pool work item started by
// InitPlugin) moves samples from the ring into the renderer's object buffers. Samples cross only
// through m_pRing, under its own lock. Besides the ring they share:
// - m_bRunning: written by the audio thread only (set before the work item is submitted, cleared
//   by TermPlugin); the worker loads it with acquire and the clear is a release store.
// - m_eStreamState: the hand-over of the stream. The audio thread writes StreamClosed, and
//   StreamRunning with a release store after the client, stream, event, period and released bed
//   objects are in place and the ring is empty; the worker loads it with acquire at the start of
//   each cycle and touches the stream only after reading StreamRunning. The worker's only write
//   is StreamLost, a release store made after its last use of the stream in that cycle (after
//   EndUpdatingAudioObjects, or at once after a failed wait); the audio thread loads it with
//   acquire and only then releases or replaces the stream, its event, its client and the bed
//   objects. So the two threads never use those at the same time.
// - m_bObjectsNeverPlayed: set by the worker (relaxed) when it gives up a stream whose objects
//   failed in every pass; the StreamLost release store publishes it to the audio thread, which
//   clears it while the worker keeps off the stream.
// - m_bed[].pObject: activated (and released when the renderer has ended them) by the worker while
//   the state is StreamRunning; released by the audio thread only after it has read StreamLost.
// - m_pScratch and m_uScratchFrames: the worker's alone once it runs (made before submission).
// Everything else (m_pInterleave, m_uMaxDynamicObjects, the sizes, m_uPeriodFrames, the host frame
// count and the retry schedule) is the audio thread's; the worker takes a pass's frame count from
// BeginUpdatingAudioObjects into a local.
#pragma once

#include <spatialaudioclient.h>
#include <windows.h>

#include <stdint.h>

#include <atomic>

#include "BedObjects.h"
#include "CBuffer.h"
#include "ComPtr.h"
#include "HandleHolder.h"
#include "IdlePause.h"
#include "RetrySchedule.h"
#include "StreamState.h"
#include "ZvHostEngine.h"

class ISACFXPlugin final : public ZV::IInPlaceEffectPlugin {
public:
    // A bus of more channels than the bed has objects is refused.
    static constexpr uint32_t kMaxChannels = kBedObjectCount;
    // Passes in a row that did not deliver every object before the stream counts as lost.
    static constexpr uint32_t kUndeliveredPassLimit = 3;

    ISACFXPlugin();
    // Releases the bed objects (entry 11 down to 0), then the stream, then the client, and closes
    // the event; the stream is not stopped first.
    ~ISACFXPlugin();
    ISACFXPlugin(const ISACFXPlugin&) = delete;
    ISACFXPlugin& operator=(const ISACFXPlugin&) = delete;

    // Stops the worker, frees the buffers and destroys the effect through in_pAllocator. Safe
    // after any InitPlugin, failed or not.
    ZvResult TermPlugin(ZV::IPluginMemAlloc* in_pAllocator) override;
    // Empties the ring: the worker plays silence until new buffers arrive.
    ZvResult ResetPlugin() override;
    ZvResult DescribePlugin(ZvPluginInfo& out_rPluginInfo) override;
    // 1, or 2 when the bus has no channel or more than twelve, the renderer cannot be opened or a
    // buffer, the ring or the worker cannot be had. A failed set-up keeps nothing but the channel
    // layout: the bus then passes through.
    ZvResult InitPlugin(ZV::IPluginMemAlloc* in_pAllocator, ZV::IEffectPluginContext* in_pContext,
                        ZV::IPluginParam* in_pParams, ZvAudioFormat& io_rFormat) override;
    void ProcessInPlace(ZvSampleBuffer* io_pBuffer) override;
    // Answers 45 whatever it is given, and does nothing else.
    ZvResult TimeSkip(uint32_t in_uFrames) override;

    // Opens the default endpoint's spatial-audio stream with all twelve bed types reserved. 1 on
    // success (StreamRunning), 2 on failure: StreamClosed when there is no endpoint, the state
    // unchanged otherwise. Called on the audio thread only, while the worker keeps off the stream.
    ZvResult OpenSpatialStream();

    // The stream state as the audio thread sees it; for tests and diagnostics.
    StreamState GetStreamState() const {
        return static_cast<StreamState>(m_eStreamState.load(std::memory_order_acquire));
    }
    // Failed re-opens so far (and streams whose objects never played), and whether a re-open is
    // waiting for its time; audio thread.
    uint32_t FailedReopens() const { return m_retry.Failures(); }
    bool ReopenPending() const { return m_retry.Pending(); }
    // The engine's audio time in milliseconds: the host buffers processed so far, of the host's
    // frames per buffer at the engine's rate (the renderer's when the host names none).
    uint64_t AudioTimeMilliseconds() const;

private:
    struct BedEntry {
        uint32_t eType;  // AudioObjectType
        ComPtr<ISpatialAudioObject> pObject;
    };

    static VOID CALLBACK RenderWorkerCallback(PTP_CALLBACK_INSTANCE in_pInstance,
                                              PVOID in_pvContext, PTP_WORK in_pWork);
    void RenderWorker();
    // What the worker keeps of the running stream's passes.
    struct PassRecord {
        uint32_t uUndelivered = 0;  // passes in a row that did not deliver every object
        bool bDelivered = false;    // a pass of this stream delivered every object
    };

    // One cycle of the worker: wait for the renderer, fill one pass, publish a loss; or, without
    // a running stream, one idle pause.
    void RenderCycle(IdlePause& io_idle, PassRecord& io_passes);
    // Inside a pass: hands every bed object its samples (or silence). Returns whether every
    // object got them; a missing object or buffer makes the pass write nothing and read nothing
    // from the ring.
    bool FillPass(uint32_t in_uReportedFrames);
    // The stream, its objects, client and event go (the state is not StreamRunning).
    void ReleaseStream();
    // Audio thread: the buffer's chance to re-open a lost or closed stream.
    void ServeReopen(int32_t in_eState);
    // Undoes a set-up that failed part way: the buffers made so far, the stream and its objects.
    void ReleaseSetUp(ZV::IPluginMemAlloc* in_pAllocator);
    bool Diverts(const ZvSampleBuffer& in_buffer) const;

    float* m_pScratch;         // one pass of interleaved samples, m_uScratchFrames frames
    uint32_t m_uPeriodFrames;  // GetMaxFrameCount of the latest open
    HandleHolder m_hEvent;     // closed only after the stream that signals it is released
    ComPtr<ISpatialAudioClient> m_pClient;
    ComPtr<ISpatialAudioObjectRenderStream> m_pStream;
    uint16_t m_uFrameBytes;   // m_uNumChannels * 4
    uint16_t m_uNumChannels;  // channels of the bus, at most 12
    float* m_pInterleave;     // one host buffer of interleaved samples for a ring that cannot
                              // take frames in place; zeroed at InitPlugin
    ZvChannelLayout m_channelLayout;
    uint32_t m_uRingBytes;
    uint32_t m_uInterleaveBytes;
    CBuffer* m_pRing;
    std::atomic<bool> m_bRunning;  // release store by the audio thread, acquire load by the worker
    std::atomic<int32_t> m_eStreamState;  // StreamState; release stores, acquire loads
    uint32_t m_uMaxDynamicObjects;
    BedEntry m_bed[kMaxChannels];
    PTP_WORK m_pWork;
    uint32_t m_uInterleaveFrames;  // frames per host buffer at InitPlugin
    uint32_t m_uScratchFrames;     // frames m_pScratch holds (the period at InitPlugin)
    uint32_t m_uSampleRate;        // the engine's rate, or the renderer's when it names none
    uint64_t m_uHostFrames;        // host buffers processed
    RetrySchedule m_retry;         // when a failed re-open is tried again
    std::atomic<bool> m_bObjectsNeverPlayed;  // the lost stream's objects failed in every pass
};
static_assert(std::atomic<int32_t>::is_always_lock_free, "the stream state is one machine word");
static_assert(std::atomic<bool>::is_always_lock_free, "the run flag is one machine word");

// The effect factory of the effect's registration: a new ISACFXPlugin in host memory, or null (a
// null allocator is reported).
ZV::IPlugin* CreateISACFXPlugin(ZV::IPluginMemAlloc* in_pAllocator);
