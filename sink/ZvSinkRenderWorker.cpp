// The sink's render worker: one long run of a thread-pool work item that takes one render period
// from the ring for every period of time: into the bed objects for every pass of the renderer, and
// into nothing for every period that passes without one, so that the engine, which renders
// whenever the ring has room, keeps the pace of the clock.
#include <objbase.h>
#include <string.h>

#include "ZvSinkISAC.h"

VOID CALLBACK ZvSinkISAC::RenderWorker(PTP_CALLBACK_INSTANCE /*in_pInstance*/, PVOID in_pvContext,
                                       PTP_WORK /*in_pWork*/) {
    static_cast<ZvSinkISAC*>(in_pvContext)->RunRenderLoop();
}

void ZvSinkISAC::RunRenderLoop() {
    const HRESULT hrCom = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    WorkerClock clock;
    while (m_bRunning.load(std::memory_order_acquire)) {
        if (m_eStreamState.load(std::memory_order_acquire) == StreamRunning) {
            if (clock.bTicking) {
                CancelWaitableTimer(m_hTick.Get());
                clock.bTicking = false;
            }
            ServeStream(clock);
        } else {
            // Closed or lost: the host thread owns the stream now.
            clock.uSilentMs = 0;
            ServeClock(clock);
        }
    }
    CancelWaitableTimer(m_hTick.Get());
    if (SUCCEEDED(hrCom)) {
        CoUninitialize();
    }
}

void ZvSinkISAC::ServeStream(WorkerClock& io_clock) {
    // The first wait after a pass gives the renderer half a period of slack; once it has let a
    // period go by, each wait is one period. The waits add up to kPassWaitMilliseconds at most.
    DWORD dwWait = io_clock.uSilentMs == 0 ? m_uTickMilliseconds + (m_uTickMilliseconds + 1) / 2
                                           : m_uTickMilliseconds;
    if (dwWait > kPassWaitMilliseconds - io_clock.uSilentMs) {
        dwWait = kPassWaitMilliseconds - io_clock.uSilentMs;
    }
    const DWORD dwResult = WaitForSingleObject(m_hEvent.Get(), dwWait);
    if (dwResult == WAIT_OBJECT_0) {
        io_clock.uSilentMs = 0;
        RenderPass();
        return;
    }
    // The renderer let a period go by: the engine's period goes too.
    Drain(m_uPeriodFrames < m_uScratchFrames ? m_uPeriodFrames : m_uScratchFrames);
    io_clock.uSilentMs += dwWait;
    // A failed wait is as good as a renderer that stopped asking for passes. Nothing of the
    // stream is in use at this point, so the host thread may take it over at once.
    if (dwResult != WAIT_TIMEOUT || io_clock.uSilentMs >= kPassWaitMilliseconds) {
        io_clock.uSilentMs = 0;
        PublishLost();
    }
}

void ZvSinkISAC::ServeClock(WorkerClock& io_clock) {
    if (!io_clock.bTicking) {
        // The first tick one period from now, then one every period.
        LARGE_INTEGER due;
        due.QuadPart = -static_cast<LONGLONG>(m_uTickMilliseconds) * 10000;
        io_clock.uTickFramesX1000 = 0;
        io_clock.bTicking =
            SetWaitableTimer(m_hTick.Get(), &due, static_cast<LONG>(m_uTickMilliseconds), nullptr,
                             nullptr, FALSE) != FALSE;
        if (!io_clock.bTicking) {
            // Without a timer the period is slept; still no core burnt.
            Sleep(m_uTickMilliseconds);
        }
    }
    // The bound lets a stopped timer (or a termination in stepped pacing) end the wait.
    if (io_clock.bTicking &&
        WaitForSingleObject(m_hTick.Get(), kPassWaitMilliseconds) != WAIT_OBJECT_0) {
        return;
    }
    // One tick's frames at the engine's rate; the thousandths of a frame are carried over.
    io_clock.uTickFramesX1000 += uint64_t{m_uSampleRate} * m_uTickMilliseconds;
    const uint32_t uFrames = static_cast<uint32_t>(io_clock.uTickFramesX1000 / 1000);
    io_clock.uTickFramesX1000 %= 1000;
    Drain(uFrames);
}

void ZvSinkISAC::Drain(uint32_t in_uFrames) {
    m_pRing->Discard(in_uFrames * uint32_t{m_uFrameBytes});
}

void ZvSinkISAC::PublishLost() {
    // Nothing played before the loss may be played again after a re-open.
    memset(m_pScratch, 0, size_t{m_uFrameBytes} * m_uScratchFrames);
    m_eStreamState.store(StreamLost, std::memory_order_release);
}

void ZvSinkISAC::ActivateMissingObjects() {
    for (uint32_t uObject = 0; uObject < m_uNumBedObjects; ++uObject) {
        BedEntry& entry = m_bed[uObject];
        if (!entry.pObject) {
            // A failure leaves the entry empty; the next pass tries again.
            m_pStream->ActivateSpatialAudioObject(entry.eType,
                                                  entry.pObject.ReleaseAndGetAddressOf());
        }
    }
}

void ZvSinkISAC::RenderPass() {
    ActivateMissingObjects();
    UINT32 uAvailableDynamic = 0;
    UINT32 uReportedFrames = 0;  // every pass is one period long; the renderer's count is unused
    const bool bBegun =
        SUCCEEDED(m_pStream->BeginUpdatingAudioObjects(&uAvailableDynamic, &uReportedFrames));

    // A pass never moves more than the scratch holds (the period of the first open) or the
    // period of the stream now open.
    const uint32_t uFrames =
        m_uPeriodFrames < m_uScratchFrames ? m_uPeriodFrames : m_uScratchFrames;
    float* apBuffers[kBedObjectCount] = {};
    uint32_t auBufferFrames[kBedObjectCount] = {};
    if (bBegun) {
        for (uint32_t uObject = 0; uObject < m_uNumBedObjects; ++uObject) {
            ComPtr<ISpatialAudioObject>& object = m_bed[uObject].pObject;
            BYTE* pBuffer = nullptr;
            UINT32 uBytes = 0;
            if (!object) {
                continue;
            }
            if (FAILED(object->GetBuffer(&pBuffer, &uBytes))) {
                // The renderer ends an object whose buffer it did not hand out: a new one is
                // activated on the next pass.
                object.Reset();
                continue;
            }
            apBuffers[uObject] = reinterpret_cast<float*>(pBuffer);
            auBufferFrames[uObject] = pBuffer != nullptr ? uBytes / sizeof(float) : 0;
        }
    }

    // One period leaves the ring in every pass, whatever became of the objects. When the ring
    // holds less, nothing is read and the scratch still holds the previous period, which plays
    // again.
    m_pRing->Read(uint32_t{m_uFrameBytes} * uFrames, m_pScratch);
    const uint32_t uStride = m_channelLayout.uNumChannels;
    for (uint32_t uObject = 0; uObject < m_uNumBedObjects; ++uObject) {
        float* const pOut = apBuffers[uObject];
        if (pOut == nullptr) {
            continue;
        }
        const uint32_t uObjectFrames =
            auBufferFrames[uObject] < uFrames ? auBufferFrames[uObject] : uFrames;
        const float* pIn = m_pScratch + uObject;
        for (uint32_t uFrame = 0; uFrame < uObjectFrames; ++uFrame) {
            pOut[uFrame] = pIn[static_cast<size_t>(uFrame) * uStride];
        }
        memset(pOut + uObjectFrames, 0, (auBufferFrames[uObject] - uObjectFrames) * sizeof(float));
    }

    const bool bEnded = SUCCEEDED(m_pStream->EndUpdatingAudioObjects());
    // Published only now: the pass is over, and the host thread may release the stream.
    if (!bBegun || !bEnded) {
        PublishLost();
    }
}
