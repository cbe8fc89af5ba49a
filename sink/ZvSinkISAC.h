// The spatial sink: the host engine's output device, played through the spatial renderer's static
// bed objects.
//
// InitPlugin picks the output layout (ChannelConfig; a value that names none is reported and falls
// back to the host's layout when it is one of the four, else to stereo), opens a render stream on
// the default endpoint with the twelve bed types reserved, activates one bed object per output
// channel, sizes the sample ring and starts the render worker. Each host frame, ConsumeFrame
// interleaves the engine's mix (planar, in the host's channel order) in the sink's layout, with
// the volume ramp and DirectGain applied, straight into the ring (through a staging slot when the
// ring cannot take frames in place), and the slot index moves on; OnFrameEnd writes a silent
// buffer for a frame that handed nothing over.
//
// The worker takes one render period from the ring for every period of time, whatever happens,
// so that the engine keeps the pace of the clock: for every pass of the renderer (it plays the
// period on the bed objects it has; an object the renderer ended or that could not be activated
// is released and activated anew on a later pass, and only its channel is silent until then; a
// ring short of a period plays silence and keeps its frames for the next pass), for every period
// that a renderer which stopped asking for passes lets go by, and, while there is no stream at all,
// for every tick of its pacing timer.
//
// A renderer that asks for no pass for 100 ms, or a failed begin or end of a pass, loses the
// stream. The worker releases it at once and re-opens at once, away from the host's audio thread
// (an open can hold a thread for tens of milliseconds); a re-open that fails is tried again after
// one second of the engine's audio time, then after two, four and eight, and every eight seconds
// from then on. The audio thread takes a re-opened stream over at its next frame and starts it on
// an empty ring, and the lost stream's scratch is zeroed: nothing the engine rendered before the
// loss is played after it.
//
// Every open, re-opens included, is for a renderer that plays at the engine's rate (the format
// record's; a host that names none runs at the rate of the first renderer it plays through): the
// sink converts no rate, and samples at 44.1 kHz played at 48 kHz sound 8.8 % sharp and fast. A
// renderer at another rate is reported through the assertion hook with both rates (once, until a
// stream opens again) and counts as no device: InitPlugin answers 4, so that the engine plays on
// its own output, and a re-open fails and is tried again on the schedule above.
//
// Threads. The host thread calls every slot (InitPlugin, the frame operations, TermPlugin); the
// render worker runs on a thread-pool thread from InitPlugin to TermPlugin.
// - m_bRunning: written by the host thread (set before the work is submitted, cleared by
//   TermPlugin, release), read by the worker (acquire).
// - m_eStreamState: written by the worker (release: StreamLost once it is done with the stream and
//   the scratch; StreamOpened once a re-opened stream, its event, period and objects are in place;
//   StreamClosed after a failed re-open), and by the host thread only to take a re-opened stream
//   over (StreamOpened to StreamRunning, by compare-and-exchange, after emptying the ring). Both
//   threads load it with acquire.
// - The stream, its client, event, period and bed objects (m_pClient, m_pStream, m_hEvent,
//   m_uPeriodFrames, m_bed) are the host thread's in InitPlugin, before the work is submitted, and
//   the worker's from then on until TermPlugin has stopped it; so are the scratch and the pacing
//   timer. The worker reads the ring only while it sees StreamRunning.
// - The ring (CBuffer) is shared through its own lock. The engine's audio time is counted by the
//   host thread and read by the worker, which keeps the retry schedule (ReopenSchedule). The ring's
//   formats, the frame and period sizes and the rate are fixed before the work is submitted.
// - Everything else (slots, starvation and frame flags, parameters) belongs to the host thread.
#pragma once

#include <spatialaudioclient.h>
#include <windows.h>

#include <stdint.h>

#include <atomic>

#include "CBuffer.h"
#include "ComPtr.h"
#include "HandleHolder.h"
#include "PeriodTimer.h"
#include "ReopenSchedule.h"
#include "SinkLayouts.h"
#include "SinkPluginParams.h"
#include "StreamState.h"
#include "ZvHostEngine.h"

class ZvSinkISAC final : public ZV::ISinkPlugin {
public:
    // The staging slots: one per host buffer queued, at most this many.
    static constexpr int32_t kMaxSlots = 9;
    // The longest a renderer may ask for no pass before the worker takes the stream as lost.
    static constexpr DWORD kPassWaitMilliseconds = 100;

    ZvSinkISAC();
    ~ZvSinkISAC();
    ZvSinkISAC(const ZvSinkISAC&) = delete;
    ZvSinkISAC& operator=(const ZvSinkISAC&) = delete;

    // Slots 1 to 3 (4 and 5 keep the host interface's answers: false and 0).
    ZvResult TermPlugin(ZV::IPluginMemAlloc* in_pAllocator) override;
    ZvResult ResetPlugin() override { return ZV_Success; }
    ZvResult DescribePlugin(ZvPluginInfo& out_rPluginInfo) override;

    // Slots 6 to 11.
    ZvResult InitPlugin(ZV::IPluginMemAlloc* in_pAllocator, ZV::ISinkPluginContext* in_pContext,
                        ZV::IPluginParam* in_pParams, ZvAudioFormat& io_rFormat) override;
    ZvResult IsDataNeeded(uint32_t& out_uBuffersNeeded) override;
    void ConsumeFrame(ZvSampleBuffer* in_pBuffer, ZvVolumeRamp in_gain) override;
    void OnFrameEnd() override;
    bool IsStarved() override { return m_bStarved; }
    void ResetStarved() override { m_bStarved = false; }

    // Opens the stream (releasing any earlier one first) and activates the bed objects:
    // ZV_Success or ZV_Failure; the caller publishes the state. The host thread calls it in
    // InitPlugin, the worker for every re-open.
    ZvResult OpenSpatialStream();

    // What the host thread (and tests) may look at.
    StreamState GetStreamState() const {
        return static_cast<StreamState>(m_eStreamState.load(std::memory_order_acquire));
    }
    int32_t NumSlots() const { return m_iNumSlots; }
    uint16_t CurrentSlot() const { return m_uCurrentSlot; }
    uint32_t RingBytes() const { return m_uRingBytes; }
    uint32_t SlotBytes() const { return m_uSlotBytes; }
    uint32_t PeriodFrames() const { return m_uPeriodFrames; }
    uint32_t NumBedObjects() const { return m_uNumBedObjects; }
    // Failed re-opens so far.
    uint32_t FailedReopens() const { return m_reopen.Failures(); }
    // The engine's audio time in milliseconds: the host frames rendered so far, at the engine's
    // rate (the renderer's when the host names none).
    uint64_t AudioTimeMilliseconds() const { return m_reopen.AudioTimeMilliseconds(); }

private:
    struct BedEntry {
        AudioObjectType eType;
        ComPtr<ISpatialAudioObject> pObject;
    };

    static VOID CALLBACK RenderWorker(PTP_CALLBACK_INSTANCE in_pInstance, PVOID in_pvContext,
                                      PTP_WORK in_pWork);
    void RunRenderLoop();
    // What the worker keeps of the renderer's pace while a stream runs.
    struct PassPace {
        uint32_t uSilentMs = 0;  // the time the renderer has asked for no pass
        bool bTaken = false;     // the next pass's period is in the scratch already
    };
    // Waits for the stream's next pass and plays it (silence while a re-opened stream waits to be
    // taken over), or takes a period the renderer let go by from the ring; loses the stream after
    // kPassWaitMilliseconds without a pass.
    void ServeStream(PassPace& io_pace);
    // Without a stream: drains one tick's frames and re-opens when a try is due.
    void ServeClock();
    // in_bTaken: the period to play is in the scratch already (a late renderer's).
    void RenderPass(bool in_bPlaying, bool in_bTaken);
    // Reads one period from the ring into the scratch (all or nothing); returns whether it did.
    bool TakePeriod();
    // Activates the bed objects that have none (failures leave them empty until the next pass).
    void ActivateMissingObjects();
    // Drops in_uFrames frames from the ring, as a pass would have taken them.
    void Drain(uint32_t in_uFrames);
    // The worker is done with the stream: silence in the scratch, StreamLost, the stream
    // released, and the first re-open at once.
    void LoseStream();
    // One re-open: StreamOpened, or StreamClosed with the next try scheduled.
    void Reopen();
    // One period of in_uPeriodFrames in whole milliseconds (at least one) at the engine's rate.
    uint32_t TickMilliseconds(uint32_t in_uPeriodFrames) const;
    // Host thread: takes a re-opened stream over, on an empty ring.
    void TakeReopenedStream();

    // Allocates the slots, the ring and the scratch; false when any of them cannot be had.
    bool AllocateBuffers();
    // Lays in_uFrames frames of the buffer out in the sink's layout, with the ramp, into the ring
    // (in place, or through the current slot), and moves on to the next slot.
    void HandOver(const ZvSampleBuffer& in_buffer, uint32_t in_uFrames, ZvVolumeRamp in_gain);
    void NextSlot();
    void StopWorker();
    // Gives back everything InitPlugin took, in any state it left it: the sink is empty again.
    void ReleaseAll();
    void ReleaseStream();

    uint16_t m_uCurrentSlot;
    uint16_t m_uFrameBytes;  // one interleaved frame: channels * 4
    ZvChannelLayout m_channelLayout;
    uint32_t m_uRingBytes;
    uint32_t m_uSlotBytes;  // one host buffer of interleaved frames
    CBuffer* m_pRing;       // owned (host memory)
    std::atomic<bool> m_bRunning;
    float* m_pScratch;         // m_uScratchFrames interleaved frames, owned (host memory)
    uint32_t m_uPeriodFrames;  // GetMaxFrameCount of the stream now open
    HandleHolder m_hEvent;
    ComPtr<ISpatialAudioClient> m_pClient;
    ComPtr<ISpatialAudioObjectRenderStream> m_pStream;
    std::atomic<int32_t> m_eStreamState;  // StreamState
    uint32_t m_uNumBedObjects;
    BedEntry m_bed[kBedObjectCount];
    int32_t m_iNumSlots;
    ZV::ISinkPluginContext* m_pContext;  // not owned
    SinkPluginParams* m_pParams;         // not owned
    uint8_t* m_pSlotStorage;             // all slots, owned (host memory)
    float* m_pSlots[kMaxSlots];
    bool m_bStarved;
    bool m_bFrameConsumed;
    PTP_WORK m_pWork;
    ZV::IPluginMemAlloc* m_pAllocator;  // InitPlugin's, which the buffers come from; not owned
    uint16_t m_uFramesPerBuffer;        // the host's frames per buffer, taken at InitPlugin
    uint32_t m_uScratchFrames;          // frames the scratch holds: the largest period sized for
    uint32_t m_uOpenedSampleRate;       // the object format's rate of the latest open
    // The rate every stream must play at: the format record's (kUnstatedSampleRate: any) until
    // InitPlugin has opened the first, then the engine's.
    uint32_t m_uEngineSampleRate;
    bool m_bRateReported;          // a refused rate was reported and no stream has opened since
    ReopenSchedule m_reopen;       // audio time: host frames (OnFrameEnd calls)
    PeriodTimer m_tick;            // the worker's clock while there is no stream
    uint32_t m_uTickMilliseconds;  // its period: one render period, in whole milliseconds
    uint64_t m_uTickFramesX1000;   // frames owed to the clock, in thousandths
    // The host asks for a buffer while the ring holds fewer frames: one period of the stream now
    // open plus one host buffer. Written by whoever opens (before the state publishes the
    // stream), read by the host thread; relaxed.
    std::atomic<uint32_t> m_uQueueFrames;
};
static_assert(std::atomic<int32_t>::is_always_lock_free, "the stream state is one machine word");
static_assert(std::atomic<bool>::is_always_lock_free, "the run flag is one machine word");

// The plug-in factory of the sink's registration: a new ZvSinkISAC in host memory, or null (a null
// allocator is reported).
ZV::IPlugin* CreateZvSinkISAC(ZV::IPluginMemAlloc* in_pAllocator);
