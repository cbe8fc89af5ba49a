#include "MixerRenderWorker.h"

#include <objbase.h>
#include <string.h>

#include "IdlePause.h"

namespace {

// Lets go of the oldest in_uFrames frames the ring holds.
void DiscardFrames(CBuffer& io_rRing, uint32_t in_uFrames) {
    io_rRing.Discard(in_uFrames * static_cast<uint32_t>(sizeof(float)));
}

// The frames from in_uFrom to in_uTo, 0 when in_uTo is not after in_uFrom, at most in_uLimit.
uint32_t Span(uint32_t in_uFrom, uint32_t in_uTo, uint32_t in_uLimit) {
    const int32_t iSpan = static_cast<int32_t>(in_uTo - in_uFrom);
    if (iSpan <= 0) {
        return 0;
    }
    return static_cast<uint32_t>(iSpan) < in_uLimit ? static_cast<uint32_t>(iSpan) : in_uLimit;
}

}  // namespace

MixerRenderWorker::MixerRenderWorker(ObjectRecord* const* in_ppRecords, uint32_t in_uMaxRecords,
                                     SharedRenderStream& io_rStream,
                                     const std::atomic<int32_t>& in_rMaxObjects,
                                     MixerTimeline& io_rTimeline)
    : m_ppRecords(in_ppRecords),
      m_uMaxRecords(in_uMaxRecords),
      m_rStream(io_rStream),
      m_rMaxObjects(in_rMaxObjects),
      m_rTimeline(io_rTimeline) {}

MixerRenderWorker::~MixerRenderWorker() {
    Stop();
}

bool MixerRenderWorker::Start() {
    if (m_pWork != nullptr) {
        return true;
    }
    m_bRunning.store(true, std::memory_order_release);
    m_pWork = CreateThreadpoolWork(&MixerRenderWorker::WorkCallback, this, nullptr);
    if (m_pWork == nullptr) {
        m_bRunning.store(false, std::memory_order_release);
        return false;
    }
    SubmitThreadpoolWork(m_pWork);
    return true;
}

void MixerRenderWorker::Stop() {
    if (m_pWork == nullptr) {
        return;
    }
    m_bRunning.store(false, std::memory_order_release);
    WaitForThreadpoolWorkCallbacks(m_pWork, FALSE);
    CloseThreadpoolWork(m_pWork);
    m_pWork = nullptr;
}

void MixerRenderWorker::ReleaseObjects() {
    for (uint32_t uRecord = 0; uRecord < m_uMaxRecords; ++uRecord) {
        if (m_ppRecords[uRecord] != nullptr) {
            m_ppRecords[uRecord]->object.Reset();
        }
    }
}

void CALLBACK MixerRenderWorker::WorkCallback(PTP_CALLBACK_INSTANCE /*in_pInstance*/,
                                              PVOID in_pContext, PTP_WORK /*in_pWork*/) {
    static_cast<MixerRenderWorker*>(in_pContext)->Run();
}

void MixerRenderWorker::Run() {
    const HRESULT hrCom = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IdlePause idle;
    while (m_bRunning.load(std::memory_order_acquire)) {
        MixerRenderStream* pStream = m_rStream.Borrow();
        if (pStream == nullptr) {
            // No running stream: never spin.
            idle.Sleep();
            continue;
        }
        idle.Reset();
        RunCycle(*pStream);
        if (pStream->State() != StreamRunning) {
            // The objects hold the lost stream: they go before it is given back.
            ReleaseObjects();
        }
        m_rStream.GiveBack(pStream);
    }
    if (SUCCEEDED(hrCom)) {
        CoUninitialize();
    }
}

void MixerRenderWorker::RunCycle(MixerRenderStream& io_rStream) {
    if (WaitForSingleObject(io_rStream.Event(), kEventWaitMilliseconds) != WAIT_OBJECT_0) {
        io_rStream.MarkLost();
        return;
    }
    ISpatialAudioObjectRenderStream* pRenderStream = io_rStream.Stream();
    UINT32 uAvailableObjects = 0;
    UINT32 uFrameCount = 0;
    if (pRenderStream->BeginUpdatingAudioObjects(&uAvailableObjects, &uFrameCount) != S_OK) {
        // The pass goes on: the object calls fail or succeed on their own.
        io_rStream.MarkLost();
    }
    // Compared as unsigned: a negative MaxObjects does not limit. Beyond the budget only records
    // that still have something to play are fed.
    const uint32_t uMaxObjects =
        static_cast<uint32_t>(m_rMaxObjects.load(std::memory_order_relaxed));
    uint32_t uGrant = io_rStream.MaxDynamicObjects();
    uGrant = uGrant < m_uMaxRecords ? uGrant : m_uMaxRecords;
    const uint32_t uBudget = uMaxObjects < uGrant ? uMaxObjects : uGrant;
    const uint32_t uPeriod = io_rStream.FrameCount();
    const MixerTimeline::Pass pass = m_rTimeline.BeginPass(uPeriod);
    for (uint32_t uRecord = 0; uRecord < uGrant; ++uRecord) {
        ObjectRecord* pRecord = m_ppRecords[uRecord];
        if (pRecord != nullptr && (uRecord < uBudget || HasSomethingToPlay(*pRecord))) {
            FeedRecord(*pRecord, pRenderStream, pass, uPeriod);
        }
    }
    m_rTimeline.EndPass(pass, uPeriod);
    if (pRenderStream->EndUpdatingAudioObjects() != S_OK) {
        io_rStream.MarkLost();
    }
}

bool MixerRenderWorker::HasSomethingToPlay(const ObjectRecord& in_record) {
    const uint32_t uState = in_record.uState.load(std::memory_order_acquire);
    return ObjectRecord::IsActive(uState) ||
           in_record.uDrained.load(std::memory_order_relaxed) != ObjectRecord::OccupancyOf(uState);
}

void MixerRenderWorker::FeedRecord(ObjectRecord& io_rRecord,
                                   ISpatialAudioObjectRenderStream* in_pStream,
                                   const MixerTimeline::Pass& in_pass, uint32_t in_uPeriod) {
    // Acquire: the samples of this occupancy in the ring, its start and its first position are
    // visible.
    const uint32_t uState = io_rRecord.uState.load(std::memory_order_acquire);
    const uint32_t uOccupancy = ObjectRecord::OccupancyOf(uState);
    if (io_rRecord.object && io_rRecord.uObjectOccupancy != uOccupancy) {
        // Voices that were not on the object before: a fresh one, so that nothing of them sounds
        // from where the object was, and nothing of the earlier ones through them.
        io_rRecord.object.Reset();
    }
    if (!io_rRecord.object) {
        if (FAILED(in_pStream->ActivateSpatialAudioObject(
                AudioObjectType_Dynamic, io_rRecord.object.ReleaseAndGetAddressOf())) ||
            !io_rRecord.object) {
            io_rRecord.object.Reset();  // the next pass tries again
        } else {
            io_rRecord.uObjectOccupancy = uOccupancy;
        }
    }
    BYTE* pBuffer = nullptr;
    UINT32 uLength = 0;
    if (io_rRecord.object) {
        const HRESULT hr = io_rRecord.object->GetBuffer(&pBuffer, &uLength);
        if (FAILED(hr) || pBuffer == nullptr) {
            if (hr == SPTLAUDCLNT_E_RESOURCES_INVALIDATED) {
                // The renderer ended the object; a fresh one takes its place next pass.
                io_rRecord.object.Reset();
            }
            pBuffer = nullptr;
            uLength = 0;
        }
    }
    // Whole samples, straight from the ring; the rest of the buffer plays silence. Without a
    // buffer the record's part of the period goes all the same.
    float* pSamples = reinterpret_cast<float*>(pBuffer);
    const uint32_t uFrames = uLength / static_cast<uint32_t>(sizeof(float));
    bool bPlayedOut = false;
    const uint32_t uFilled =
        TakePart(io_rRecord, uState, in_pass, in_uPeriod, pSamples, uFrames, bPlayedOut);
    // After the ring: the position and the volume are never older than the samples they carry.
    // And before the tail's end is told: from then on the audio thread may give the record to
    // other voices and store their position and volume, which this tail must not carry.
    const Placement placement = io_rRecord.placement.Latest();
    if (bPlayedOut) {
        io_rRecord.uDrained.store(uOccupancy, std::memory_order_release);
    }
    if (pBuffer == nullptr) {
        return;
    }
    memset(pBuffer + uFilled * sizeof(float), 0, uLength - uFilled * sizeof(float));
    io_rRecord.object->SetPosition(placement.fX, placement.fY, placement.fZ);
    io_rRecord.object->SetVolume(placement.fVolume);
}

uint32_t MixerRenderWorker::TakePart(ObjectRecord& io_rRecord, uint32_t in_uState,
                                     const MixerTimeline::Pass& in_pass, uint32_t in_uPeriod,
                                     float* out_pBuffer, uint32_t in_uBufferFrames,
                                     bool& out_bPlayedOut) {
    const uint32_t uOccupancy = ObjectRecord::OccupancyOf(in_uState);
    CBuffer* pRing = io_rRecord.pRing;
    if (pRing == nullptr || io_rRecord.uDrained.load(std::memory_order_relaxed) == uOccupancy) {
        return 0;
    }
    const bool bActive = ObjectRecord::IsActive(in_uState);
    uint32_t uHeld = pRing->BytesAvailable() / static_cast<uint32_t>(sizeof(float));
    if (in_pass.bPlays) {
        // The ring holds the occupancy's frames from its first one, or from where the last pass
        // ended if that is later.
        const uint32_t uStart = io_rRecord.uStartFrame.load(std::memory_order_relaxed);
        const uint32_t uFirstHeld =
            static_cast<int32_t>(uStart - in_pass.uFrom) > 0 ? uStart : in_pass.uFrom;
        // Frames before the period (a start that lets go of delay) go; the period's frames
        // before the first one held are silence.
        const uint32_t uSkipped = Span(uFirstHeld, in_pass.uPosition, uHeld);
        DiscardFrames(*pRing, uSkipped);
        uHeld -= uSkipped;
        const uint32_t uLead = Span(in_pass.uPosition, uFirstHeld, in_uPeriod);
        // Playing on, the ring holds the rest of the period; stopped, the tail may end within it.
        const uint32_t uWanted = in_uPeriod - uLead;
        const uint32_t uTaken = uWanted < uHeld ? uWanted : uHeld;
        const uint32_t uLeadInBuffer = uLead < in_uBufferFrames ? uLead : in_uBufferFrames;
        const uint32_t uKept =
            uTaken < in_uBufferFrames - uLeadInBuffer ? uTaken : in_uBufferFrames - uLeadInBuffer;
        if (out_pBuffer != nullptr) {
            memset(out_pBuffer, 0, uLeadInBuffer * sizeof(float));
            pRing->Read(uKept * static_cast<uint32_t>(sizeof(float)), out_pBuffer + uLeadInBuffer);
        } else {
            DiscardFrames(*pRing, uKept);
        }
        // Only a buffer shorter than the period (or none) leaves frames to let go of.
        DiscardFrames(*pRing, uTaken - uKept);
        uHeld -= uTaken;
        out_bPlayedOut = !bActive && uHeld == 0;
        return out_pBuffer != nullptr ? uLeadInBuffer + uKept : 0u;
    }
    // Nothing moves on the timeline this pass; only a tail that is all played out ends.
    out_bPlayedOut = !bActive && uHeld == 0;
    return 0;
}
