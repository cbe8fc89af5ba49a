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
// ring short of a period plays the previous period again), for every period that a renderer which
// stopped asking for passes lets go by, and, while there is no stream at all, for every tick of
// its pacing timer.
//
// A renderer that asks for no pass for 100 ms, or a failed begin or end of a pass, marks the
// stream lost; the next ConsumeFrame re-opens it on the host thread. A re-open that fails is
// tried again after one second of the engine's audio time, then after two, four and eight, and
// every eight seconds from then on. Every re-open starts from an empty ring and scratch: nothing
// the engine rendered before the loss is played after it.
//
// Threads. The host thread calls every slot (InitPlugin, the frame operations with the re-open,
// TermPlugin); the render worker runs on a thread-pool thread from InitPlugin to TermPlugin.
// - m_bRunning: written by the host thread (set before the work is submitted, cleared by
//   TermPlugin, release), read by the worker (acquire).
// - m_eStreamState: the worker only moves StreamRunning to StreamLost (release, after its last
//   use of the stream and of the scratch in that pass, the scratch zeroed); the host thread moves
//   StreamLost or StreamClosed to StreamClosed and, after a successful open, to StreamRunning
//   (release, once the stream, event, period and objects are in place and the ring is empty).
//   Both threads load it with acquire.
// - m_pClient, m_pStream, m_hEvent, m_uPeriodFrames and m_bed are written by the host thread only
//   while the state is not StreamRunning, and read by the worker only after it loaded
//   StreamRunning; the state's release/acquire pair orders them. The worker keeps off them in
//   every other state, except that while it runs it releases and activates bed objects.
// - The ring (CBuffer) is shared through its own lock. The scratch is the worker's; the ring's
//   formats, the frame and period sizes, the pacing timer and the rate are fixed before the work
//   is submitted and freed only after it returned.
// - Everything else (slots, starvation and frame flags, parameters, the host frame count and the
//   retry schedule) belongs to the host thread.
#pragma once

#include <spatialaudioclient.h>
#include <windows.h>

#include <stdint.h>

#include <atomic>

#include "CBuffer.h"
#include "ComPtr.h"
#include "HandleHolder.h"
#include "RetrySchedule.h"
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

    // Opens (or re-opens) the stream and activates the bed objects: ZV_Success, or ZV_Failure
    // with the state StreamClosed. Host thread only, while the worker keeps off the stream.
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
    // Failed re-opens so far, and whether one is waiting for its time (host thread).
    uint32_t FailedReopens() const { return m_retry.Failures(); }
    bool ReopenPending() const { return m_retry.Pending(); }
    // The engine's audio time in milliseconds: the host frames rendered so far, at the engine's
    // rate (the renderer's when the host names none).
    uint64_t AudioTimeMilliseconds() const;
    // The event of the stream now open (null when none is), which the worker waits on.
    HANDLE StreamEvent() const { return m_hEvent.Get(); }

private:
    struct BedEntry {
        AudioObjectType eType;
        ComPtr<ISpatialAudioObject> pObject;
    };

    // The worker's own time keeping: how long the running stream's renderer has asked for no
    // pass, and the pacing timer's ticks while there is no stream.
    struct WorkerClock {
        uint32_t uSilentMs = 0;
        bool bTicking = false;
        uint64_t uTickFramesX1000 = 0;  // frames owed to the clock, in thousandths
    };

    static VOID CALLBACK RenderWorker(PTP_CALLBACK_INSTANCE in_pInstance, PVOID in_pvContext,
                                      PTP_WORK in_pWork);
    void RunRenderLoop();
    // Waits for the running stream's next pass and plays it, or drains a period the renderer let
    // go by; marks the stream lost after kPassWaitMilliseconds without a pass.
    void ServeStream(WorkerClock& io_clock);
    // Without a stream: drains what the clock's tick is owed.
    void ServeClock(WorkerClock& io_clock);
    void RenderPass();
    // Activates the bed objects that have none (failures leave them empty until the next pass).
    void ActivateMissingObjects();
    // Drops in_uFrames frames from the ring, as a pass would have taken them.
    void Drain(uint32_t in_uFrames);
    // The worker is done with the stream: silence in the scratch, then StreamLost.
    void PublishLost();
    // Host thread: the frame's chance to re-open a lost or closed stream.
    void ServeReopen();

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
    uint32_t m_uScratchFrames;          // frames the scratch holds: the first open's period
    uint32_t m_uSampleRate;             // the engine's rate, or the renderer's when it names none
    uint32_t m_uOpenedSampleRate;       // the object format's rate of the latest open
    uint64_t m_uHostFrames;             // host frames rendered (OnFrameEnd calls)
    RetrySchedule m_retry;              // when a failed re-open is tried again
    HandleHolder m_hTick;               // the worker's pacing timer while there is no stream
    uint32_t m_uTickMilliseconds;       // its period: one render period, in whole milliseconds
};
static_assert(std::atomic<int32_t>::is_always_lock_free, "the stream state is one machine word");
static_assert(std::atomic<bool>::is_always_lock_free, "the run flag is one machine word");

// The plug-in factory of the sink's registration: a new ZvSinkISAC in host memory, or null (a null
// allocator is reported).
ZV::IPlugin* CreateZvSinkISAC(ZV::IPluginMemAlloc* in_pAllocator);
