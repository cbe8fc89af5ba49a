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

void MixerRenderWorker::SetBuffer(uint8_t* in_pBuffer, uint32_t in_uBytes) {
    m_pBuffer = in_pBuffer;
    m_uBufferBytes = in_pBuffer != nullptr ? in_uBytes : 0;
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
    // Compared as unsigned: a negative MaxObjects does not limit.
    const uint32_t uMaxObjects =
        static_cast<uint32_t>(m_rMaxObjects.load(std::memory_order_relaxed));
    uint32_t uObjects = io_rStream.MaxDynamicObjects();
    uObjects = uMaxObjects < uObjects ? uMaxObjects : uObjects;
    uObjects = uObjects < m_uMaxRecords ? uObjects : m_uMaxRecords;
    for (uint32_t uRecord = 0; uRecord < uObjects; ++uRecord) {
        if (m_ppRecords[uRecord] != nullptr) {
            FeedRecord(*m_ppRecords[uRecord], pRenderStream);
        }
    }
    if (pRenderStream->EndUpdatingAudioObjects() != S_OK) {
        io_rStream.MarkLost();
    }
}

void MixerRenderWorker::FeedRecord(ObjectRecord& io_rRecord,
                                   ISpatialAudioObjectRenderStream* in_pStream) {
    if (!io_rRecord.object) {
        if (FAILED(in_pStream->ActivateSpatialAudioObject(
                AudioObjectType_Dynamic, io_rRecord.object.ReleaseAndGetAddressOf())) ||
            !io_rRecord.object) {
            io_rRecord.object.Reset();  // the next pass tries again
            return;
        }
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
    io_rRecord.object->SetPosition(io_rRecord.fX.load(std::memory_order_relaxed),
                                   io_rRecord.fY.load(std::memory_order_relaxed),
                                   io_rRecord.fZ.load(std::memory_order_relaxed));
    io_rRecord.object->SetVolume(io_rRecord.fVolume.load(std::memory_order_relaxed));

    // Whole samples, and never more than the byte buffer holds; what is not read plays silence.
    uint32_t uRead = uLength < m_uBufferBytes ? uLength : m_uBufferBytes;
    uRead -= uRead % sizeof(float);
    const bool bRead = uRead != 0 && io_rRecord.bActive.load(std::memory_order_relaxed) &&
                       io_rRecord.pRing != nullptr && io_rRecord.pRing->Read(uRead, m_pBuffer);
    if (bRead) {
        memcpy(pBuffer, m_pBuffer, uRead);
    } else {
        uRead = 0;
    }
    memset(pBuffer + uRead, 0, uLength - uRead);
}
