// The sink's render worker: one long run of a thread-pool work item that moves one render period
// from the ring into the bed objects for every pass of the renderer.
#include <objbase.h>
#include <string.h>

#include "IdlePause.h"
#include "ZvSinkISAC.h"

VOID CALLBACK ZvSinkISAC::RenderWorker(PTP_CALLBACK_INSTANCE /*in_pInstance*/, PVOID in_pvContext,
                                       PTP_WORK /*in_pWork*/) {
    static_cast<ZvSinkISAC*>(in_pvContext)->RunRenderLoop();
}

void ZvSinkISAC::RunRenderLoop() {
    const HRESULT hrCom = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IdlePause idle;
    while (m_bRunning.load(std::memory_order_acquire)) {
        if (m_eStreamState.load(std::memory_order_acquire) != StreamRunning) {
            // Closed or lost: the host thread owns the stream now. Idle without burning a core,
            // and still see a cleared run flag within a few milliseconds.
            idle.Sleep();
            continue;
        }
        idle.Reset();
        // A time-out is as good as a failure: the renderer has stopped asking for passes. Nothing
        // of the stream is in use at this point, so the host thread may take it over at once.
        if (!m_hEvent ||
            WaitForSingleObject(m_hEvent.Get(), kPassWaitMilliseconds) != WAIT_OBJECT_0) {
            m_eStreamState.store(StreamLost, std::memory_order_release);
            continue;
        }
        RenderPass();
    }
    if (SUCCEEDED(hrCom)) {
        CoUninitialize();
    }
}

void ZvSinkISAC::RenderPass() {
    UINT32 uAvailableDynamic = 0;
    UINT32 uReportedFrames = 0;  // every pass is one period long; the renderer's count is unused
    const bool bBegun =
        SUCCEEDED(m_pStream->BeginUpdatingAudioObjects(&uAvailableDynamic, &uReportedFrames));

    // A pass never moves more than the scratch holds (the period of the first open), the period
    // of the stream now open, or the shortest object buffer.
    uint32_t uFrames = m_uPeriodFrames < m_uScratchFrames ? m_uPeriodFrames : m_uScratchFrames;
    float* apBuffers[kBedObjectCount] = {};
    uint32_t auBufferFrames[kBedObjectCount] = {};
    bool bEveryBuffer = bBegun;
    if (bBegun) {
        for (uint32_t uObject = 0; uObject < m_uNumBedObjects; ++uObject) {
            ISpatialAudioObject* const pObject = m_bed[uObject].pObject.Get();
            BYTE* pBuffer = nullptr;
            UINT32 uBytes = 0;
            if (pObject == nullptr || FAILED(pObject->GetBuffer(&pBuffer, &uBytes)) ||
                pBuffer == nullptr) {
                bEveryBuffer = false;
                continue;
            }
            apBuffers[uObject] = reinterpret_cast<float*>(pBuffer);
            auBufferFrames[uObject] = uBytes / static_cast<UINT32>(sizeof(float));
            if (auBufferFrames[uObject] < uFrames) {
                uFrames = auBufferFrames[uObject];
            }
        }
    }

    // A missing buffer leaves the whole period unplayed and the ring as it is.
    if (bEveryBuffer) {
        // When the ring holds less than this pass needs, nothing is read and the scratch still
        // holds the previous period, which plays again.
        m_pRing->Read(uint32_t{m_uFrameBytes} * uFrames, m_pScratch);
        const uint32_t uStride = m_channelLayout.uNumChannels;
        for (uint32_t uObject = 0; uObject < m_uNumBedObjects; ++uObject) {
            float* const pOut = apBuffers[uObject];
            const float* pIn = m_pScratch + uObject;
            for (uint32_t uFrame = 0; uFrame < uFrames; ++uFrame) {
                pOut[uFrame] = pIn[static_cast<size_t>(uFrame) * uStride];
            }
            memset(pOut + uFrames, 0, (auBufferFrames[uObject] - uFrames) * sizeof(float));
        }
    }

    const bool bEnded = SUCCEEDED(m_pStream->EndUpdatingAudioObjects());
    // Published only now: the pass is over, and the host thread may release the stream.
    if (!bBegun || !bEnded) {
        m_eStreamState.store(StreamLost, std::memory_order_release);
    }
}
