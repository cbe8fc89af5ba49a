// The spatial sink: the host engine's output device, played through the spatial renderer's static
// bed objects.
//
// InitPlugin picks the output layout (ChannelConfig), opens a render stream on the default
// endpoint with the twelve bed types reserved, activates one bed object per output channel, sizes
// the sample ring and starts the render worker. Each host frame, ConsumeFrame interleaves the
// engine's mix (planar, in the host's channel order) in the sink's layout, with the volume ramp
// and DirectGain applied, straight into the ring (through a staging slot when the ring cannot
// take frames in place), and the slot index moves on; OnFrameEnd writes a silent buffer for a
// frame that handed nothing over. The worker waits for each pass of the
// renderer (at most 100 ms), reads one render period from the ring and de-interleaves it into the
// objects' buffers; when the ring holds less than a period it plays the previous one again.
//
// A wait that times out or fails, or a failed begin or end of a pass, marks the stream lost; the
// next ConsumeFrame re-opens it on the host thread, once. If that fails the sink stays silent
// until the host creates it again.
//
// Threads. The host thread calls every slot (InitPlugin, the frame operations with the re-open,
// TermPlugin); the render worker runs on a thread-pool thread from InitPlugin to TermPlugin.
// - m_bRunning: written by the host thread (set before the work is submitted, cleared by
//   TermPlugin, release), read by the worker (acquire).
// - m_eStreamState: the worker only moves StreamRunning to StreamLost (release, after its last
//   use of the stream in that pass); the host thread moves StreamLost to StreamClosed and, after
//   a successful open, to StreamRunning (release, once the stream, event, period and objects are
//   in place). Both threads load it with acquire.
// - m_pClient, m_pStream, m_hEvent, m_uPeriodFrames and m_bed are written by the host thread only
//   while the state is not StreamRunning, and read by the worker only after it loaded
//   StreamRunning; the state's release/acquire pair orders them. The worker keeps off them in
//   every other state.
// - The ring (CBuffer) is shared through its own lock. The scratch, the ring's formats, the frame
//   and period sizes the worker uses are fixed before the work is submitted and freed only after
//   it returned.
// - Everything else (slots, starvation and frame flags, parameters) belongs to the host thread.
#pragma once

#include <spatialaudioclient.h>
#include <windows.h>

#include <stdint.h>

#include <atomic>

#include "CBuffer.h"
#include "ComPtr.h"
#include "HandleHolder.h"
#include "SinkLayouts.h"
#include "SinkPluginParams.h"
#include "StreamState.h"
#include "ZvHostEngine.h"

class ZvSinkISAC final : public ZV::ISinkPlugin {
public:
    // The staging slots: one per host buffer queued, at most this many.
    static constexpr int32_t kMaxSlots = 9;
    // The longest the worker waits for a pass before it takes the stream as lost.
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
    // The event of the stream now open (null when none is), which the worker waits on.
    HANDLE StreamEvent() const { return m_hEvent.Get(); }

private:
    struct BedEntry {
        AudioObjectType eType;
        ComPtr<ISpatialAudioObject> pObject;
    };

    static VOID CALLBACK RenderWorker(PTP_CALLBACK_INSTANCE in_pInstance, PVOID in_pvContext,
                                      PTP_WORK in_pWork);
    void RunRenderLoop();
    void RenderPass();

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
};
static_assert(std::atomic<int32_t>::is_always_lock_free, "the stream state is one machine word");
static_assert(std::atomic<bool>::is_always_lock_free, "the run flag is one machine word");

// The plug-in factory of the sink's registration: a new ZvSinkISAC in host memory, or null (a null
// allocator is reported).
ZV::IPlugin* CreateZvSinkISAC(ZV::IPluginMemAlloc* in_pAllocator);
