// The mixer's render worker: one long thread-pool work item that waits for the renderer's event
// (at most 100 milliseconds), then, in one pass, hands each object record within the object
// budget its samples, position and volume through the record's dynamic object.
//
// Every pass takes one period of the mixer's timeline (MixerTimeline.h) from every record at once,
// or, while the timeline holds less than a period (before its pre-roll, or when the host fell
// behind), nothing from any: the objects then play silence and the rings keep what they hold. A
// record's part of the period is read from its ring straight into the object's buffer, after the
// silence that comes before its occupancy's first frame; a record that cannot play this pass (no
// object, no buffer) still lets go of its part, so that it stays on the timeline. A record that
// plays for a new occupancy (ObjectRecord.h) gets a fresh object, whose position is set in the
// very pass that carries its first samples. A record whose voices have stopped plays out what its
// ring holds (the last pass of it filled up with silence), even beyond the budget, and then tells
// the audio thread that its occupancy is over.
//
// Each cycle borrows the mixer's current stream (SharedRenderStream) and runs only on a stream
// that is StreamRunning; otherwise the worker sleeps about a millisecond and looks again, so a
// stream lost or closed for good costs next to nothing. A missed event or a failed Begin or End
// marks the stream lost; the cycle that does so releases every record's object before it gives
// the stream back, so that a re-activation finds the renderer's objects free. An object whose
// buffer the renderer refuses with SPTLAUDCLNT_E_RESOURCES_INVALIDATED (the renderer ended it,
// as it does to objects skipped in a pass) is released, and the next pass activates a fresh one.
//
// Threads: Start and Stop run on the audio thread; the loop on a thread-pool thread in the
// multithreaded apartment. m_bRunning is an atomic, release store by the audio thread and acquire
// loads by the worker. The records and their rings are set up before Start and freed after Stop;
// Stop returns only when the work function has returned. The worker allocates nothing and holds
// no lock but a ring's and SharedRenderStream's, one at a time.
#pragma once

#include <spatialaudioclient.h>
#include <threadpoolapiset.h>
#include <windows.h>

#include <stdint.h>

#include <atomic>

#include "MixerRenderStream.h"
#include "MixerTimeline.h"
#include "ObjectRecord.h"
#include "SharedRenderStream.h"

class MixerRenderWorker {
public:
    static constexpr DWORD kEventWaitMilliseconds = 100;

    // in_ppRecords: kMaxRecords record pointers (null for a record that does not exist);
    // in_rMaxObjects: the mixer's MaxObjects snapshot; io_rTimeline: the records' timeline.
    MixerRenderWorker(ObjectRecord* const* in_ppRecords, uint32_t in_uMaxRecords,
                      SharedRenderStream& io_rStream, const std::atomic<int32_t>& in_rMaxObjects,
                      MixerTimeline& io_rTimeline);
    ~MixerRenderWorker();
    MixerRenderWorker(const MixerRenderWorker&) = delete;
    MixerRenderWorker& operator=(const MixerRenderWorker&) = delete;

    // False when the work item cannot be created; nothing runs then.
    bool Start();
    // Returns once the work function has returned; does nothing when not started.
    void Stop();
    bool IsStarted() const { return m_pWork != nullptr; }

    // Releases every record's object. The worker's own when it runs; anyone's once it is stopped.
    void ReleaseObjects();

private:
    static void CALLBACK WorkCallback(PTP_CALLBACK_INSTANCE in_pInstance, PVOID in_pContext,
                                      PTP_WORK in_pWork);
    void Run();
    void RunCycle(MixerRenderStream& io_rStream);
    // Active, or still holding a tail of voices that stopped.
    static bool HasSomethingToPlay(const ObjectRecord& in_record);
    void FeedRecord(ObjectRecord& io_rRecord, ISpatialAudioObjectRenderStream* in_pStream,
                    const MixerTimeline::Pass& in_pass, uint32_t in_uPeriod);
    // The record's part of the pass's period from its ring, into out_pBuffer (in_uBufferFrames
    // long; null: the part is let go of), after the silence before its occupancy's first frame;
    // how many frames of the buffer that filled (silence included). out_bPlayedOut: a tail
    // whose last frame this pass took (the caller tells the audio thread, see FeedRecord).
    uint32_t TakePart(ObjectRecord& io_rRecord, uint32_t in_uState,
                      const MixerTimeline::Pass& in_pass, uint32_t in_uPeriod, float* out_pBuffer,
                      uint32_t in_uBufferFrames, bool& out_bPlayedOut);

    ObjectRecord* const* const m_ppRecords;
    const uint32_t m_uMaxRecords;
    SharedRenderStream& m_rStream;
    const std::atomic<int32_t>& m_rMaxObjects;
    MixerTimeline& m_rTimeline;
    std::atomic<bool> m_bRunning{false};
    PTP_WORK m_pWork = nullptr;  // audio thread only
};
