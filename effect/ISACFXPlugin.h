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
// in a row (objects that keep failing). The worker releases it at once and re-opens at once, away
// from the host's audio thread (an open can hold a thread for tens of milliseconds); a re-open
// that fails, or a stream whose objects never played, is tried again after one second of the
// engine's audio time, then two, four and eight, and every eight seconds from then on. The bus
// passes through meanwhile. The audio thread takes a re-opened stream over at its next buffer and
// starts it on an empty ring: nothing the engine rendered before the loss is played after it.
//
// Every open, re-opens included, is for a renderer that plays at the engine's rate (the format
// record's; a host that names none runs at the rate of the first renderer it plays through): the
// effect converts no rate, and a bus at 44.1 kHz played at 48 kHz sounds 8.8 % sharp and fast. A
// renderer at another rate is as good as none: InitPlugin answers 2, a re-open fails and is tried
// again on the schedule above, and the bus passes through untouched; one level-2 notice names both
// rates (again only after a stream has opened since), posted by the audio thread.
//
// Threads. The host's audio thread calls every slot (InitPlugin, ProcessInPlace, ResetPlugin,
// TermPlugin); one render worker (a thread-pool work item started by InitPlugin) moves samples
// from the ring into the renderer's object buffers and owns the stream. Samples cross only
// through m_pRing, under its own lock. Besides the ring they share:
// - m_bRunning: written by the audio thread only (set before the work item is submitted, cleared
//   by TermPlugin); the worker loads it with acquire and the clear is a release store.
// - m_eStreamState: written by the worker (release: StreamLost once it is done with the stream,
//   StreamOpened once a re-opened stream, its event, period, objects and dynamic-object count are
//   in place, StreamClosed after a failed re-open), and by the audio thread only to take a
//   re-opened stream over (StreamOpened to StreamRunning, by compare-and-exchange, after emptying
//   the ring). Both threads load it with acquire; the worker reads the ring only while it sees
//   StreamRunning, and the audio thread diverts the bus only then.
// - The stream, client, event, period and bed objects are the audio thread's in InitPlugin,
//   before the work item is submitted, and the worker's from then on until TermPlugin has stopped
//   it; so are m_pScratch and the worker's timer. m_uMaxDynamicObjects is
//   written by whoever opens and read by the audio thread (relaxed; the state publishes it).
// - The engine's audio time is counted by the audio thread and read by the worker, which keeps
//   the retry schedule (ReopenSchedule).
// Everything else (m_pInterleave, the sizes) is the audio thread's.
#pragma once

#include <spatialaudioclient.h>
#include <windows.h>

#include <stdint.h>

#include <atomic>

#include "BedObjects.h"
#include "CBuffer.h"
#include "ComPtr.h"
#include "HandleHolder.h"
#include "PeriodTimer.h"
#include "ReopenSchedule.h"
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

    // Opens the default endpoint's spatial-audio stream with all twelve bed types reserved,
    // releasing any earlier stream first: 1 on success, 2 on failure; the caller publishes the
    // state. InitPlugin calls it on the audio thread, the worker for every re-open.
    ZvResult OpenSpatialStream();

    // The stream state as the audio thread sees it; for tests and diagnostics.
    StreamState GetStreamState() const {
        return static_cast<StreamState>(m_eStreamState.load(std::memory_order_acquire));
    }
    // Failed re-opens so far (and streams whose objects never played).
    uint32_t FailedReopens() const { return m_reopen.Failures(); }
    // The engine's audio time in milliseconds: the host buffers processed so far, of the host's
    // frames per buffer at the engine's rate (the renderer's when the host names none).
    uint64_t AudioTimeMilliseconds() const { return m_reopen.AudioTimeMilliseconds(); }

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

    // One cycle of the worker with a stream: wait for the renderer, fill one pass, lose the
    // stream.
    void RenderCycle(PassRecord& io_passes);
    // One cycle without a stream: a tick of the worker's timer, and a re-open when one is due.
    void IdleCycle();
    // Inside a pass: hands every bed object its samples (silence unless in_bPlaying). Returns
    // whether every object got them; a missing object or buffer makes the pass write nothing and
    // read nothing from the ring.
    bool FillPass(uint32_t in_uReportedFrames, bool in_bPlaying);
    // The stream, its objects, client and event go.
    void ReleaseStream();
    // One period of in_uPeriodFrames in whole milliseconds (at least one) at the engine's rate.
    uint32_t TickMilliseconds(uint32_t in_uPeriodFrames) const;
    // The worker is done with the stream: StreamLost, the stream released, and a re-open at once
    // unless in_bObjectsNeverPlayed (then when the retry is due).
    void LoseStream(bool in_bObjectsNeverPlayed);
    // One re-open: StreamOpened, or StreamClosed with the next try scheduled.
    void Reopen();
    // Audio thread: posts the notice of a refused rate that an open left, if any.
    void PostRateNotice();
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
    std::atomic<uint32_t> m_uMaxDynamicObjects;
    BedEntry m_bed[kMaxChannels];
    PTP_WORK m_pWork;
    uint32_t m_uInterleaveFrames;  // frames per host buffer at InitPlugin
    uint32_t m_uScratchFrames;     // frames m_pScratch holds (the largest period sized for)
    uint32_t m_uOpenedSampleRate;  // the object format's rate of the latest open
    // The rate every stream must play at: the format record's (kUnstatedSampleRate: any) until
    // InitPlugin has opened the first, then the engine's.
    uint32_t m_uEngineSampleRate;
    bool m_bRateNoticed;  // whoever opens: a refused rate was noticed, no stream opened since
    // A notice the audio thread is to post: the renderer's refused rate (UINT32_MAX for a
    // renderer that names 0 Hz), or 0. Stored by whoever opens (release), exchanged with 0 by the
    // audio thread (acquire).
    std::atomic<uint32_t> m_uRateNoticeDue;
    ZV::IEffectPluginContext* m_pContext;  // InitPlugin's; not owned
    ReopenSchedule m_reopen;               // audio time: host buffers (ProcessInPlace calls)
    PeriodTimer m_tick;                    // the worker's clock while there is no stream
    uint32_t m_uTickMilliseconds;          // its period: one render period, in whole milliseconds
};
static_assert(std::atomic<int32_t>::is_always_lock_free, "the stream state is one machine word");
static_assert(std::atomic<bool>::is_always_lock_free, "the run flag is one machine word");

// The effect factory of the effect's registration: a new ISACFXPlugin in host memory, or null (a
// null allocator is reported).
ZV::IPlugin* CreateISACFXPlugin(ZV::IPluginMemAlloc* in_pAllocator);
