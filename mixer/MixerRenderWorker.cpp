#include "MixerRenderWorker.h"

#include <objbase.h>
#include <string.h>

#include "IdlePause.h"

MixerRenderWorker::MixerRenderWorker(ObjectRecord* const* in_ppRecords, uint32_t in_uMaxRecords,
                                     SharedRenderStream& io_rStream,
                                     const std::atomic<int32_t>& in_rMaxObjects)
    : m_ppRecords(in_ppRecords),
      m_uMaxRecords(in_uMaxRecords),
      m_rStream(io_rStream),
      m_rMaxObjects(in_rMaxObjects) {}

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
    for (uint32_t uRecord = 0; uRecord < uGrant; ++uRecord) {
        ObjectRecord* pRecord = m_ppRecords[uRecord];
        if (pRecord != nullptr && (uRecord < uBudget || HasSomethingToPlay(*pRecord))) {
            FeedRecord(*pRecord, pRenderStream);
        }
    }
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
                                   ISpatialAudioObjectRenderStream* in_pStream) {
    // Acquire: the samples of this occupancy in the ring and its first position are visible.
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
            return;
        }
        io_rRecord.uObjectOccupancy = uOccupancy;
    }
    BYTE* pBuffer = nullptr;
    UINT32 uLength = 0;
    const HRESULT hr = io_rRecord.object->GetBuffer(&pBuffer, &uLength);
    if (FAILED(hr) || pBuffer == nullptr) {
        if (hr == SPTLAUDCLNT_E_RESOURCES_INVALIDATED) {
            // The renderer ended the object; a fresh one takes its place next pass.
            io_rRecord.object.Reset();
        }
        return;
    }

    // Whole samples, straight from the ring; what is not read plays silence.
    const uint32_t uWhole = uLength - uLength % sizeof(float);
    uint32_t uRead = 0;
    CBuffer* pRing = io_rRecord.pRing;
    if (pRing != nullptr && io_rRecord.uDrained.load(std::memory_order_relaxed) != uOccupancy) {
        if (ObjectRecord::IsActive(uState)) {
            // A ring that runs short gives a silent pass and keeps what it holds.
            if (uWhole != 0 && pRing->Read(uWhole, pBuffer)) {
                uRead = uWhole;
            }
        } else {
            // The voices stopped and nothing is written any more: the tail, then the end of the
            // occupancy.
            const uint32_t uAvailable = pRing->BytesAvailable();
            const uint32_t uTail = uAvailable < uWhole ? uAvailable : uWhole;
            if (uTail != 0 && pRing->Read(uTail, pBuffer)) {
                uRead = uTail;
            }
            if (uTail == uAvailable) {
                io_rRecord.uDrained.store(uOccupancy, std::memory_order_release);
            }
        }
    }
    memset(pBuffer + uRead, 0, uLength - uRead);
    // After the ring: the position is never older than the samples it carries.
    io_rRecord.object->SetPosition(io_rRecord.fX.load(std::memory_order_relaxed),
                                   io_rRecord.fY.load(std::memory_order_relaxed),
                                   io_rRecord.fZ.load(std::memory_order_relaxed));
    io_rRecord.object->SetVolume(io_rRecord.fVolume.load(std::memory_order_relaxed));
}
