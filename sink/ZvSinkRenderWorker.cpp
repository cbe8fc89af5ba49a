// The sink's render worker: one long run of a thread-pool work item that takes one render period
// from the ring for every period of time: into the bed objects for every pass of the renderer, and
// into nothing for every period that passes without one, so that the engine, which renders
// whenever the ring has room, keeps the pace of the clock.
#include <objbase.h>
#include <string.h>

#include "FrameDeinterleaver.h"
#include "ZvSinkISAC.h"

VOID CALLBACK ZvSinkISAC::RenderWorker(PTP_CALLBACK_INSTANCE /*in_pInstance*/, PVOID in_pvContext,
                                       PTP_WORK /*in_pWork*/) {
    static_cast<ZvSinkISAC*>(in_pvContext)->RunRenderLoop();
}

void ZvSinkISAC::RunRenderLoop() {
    const HRESULT hrCom = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    PassPace pace;
    while (m_bRunning.load(std::memory_order_acquire)) {
        const int32_t eState = m_eStreamState.load(std::memory_order_acquire);
        if (eState == StreamRunning || eState == StreamOpened) {
            m_tick.Stop();
            ServeStream(pace);
        } else {
            pace = PassPace();
            ServeClock();
        }
    }
    m_tick.Stop();
    if (SUCCEEDED(hrCom)) {
        CoUninitialize();
    }
}

void ZvSinkISAC::ServeStream(PassPace& io_pace) {
    // The first wait after a pass gives the renderer half a period of slack; once it has let a
    // period go by, each wait is one period. The waits add up to kPassWaitMilliseconds at most.
    DWORD dwWait = io_pace.uSilentMs == 0 ? m_uTickMilliseconds + (m_uTickMilliseconds + 1) / 2
                                          : m_uTickMilliseconds;
    if (dwWait > kPassWaitMilliseconds - io_pace.uSilentMs) {
        dwWait = kPassWaitMilliseconds - io_pace.uSilentMs;
    }
    const DWORD dwResult = WaitForSingleObject(m_hEvent.Get(), dwWait);
    if (dwResult == WAIT_OBJECT_0) {
        io_pace.uSilentMs = 0;
        // The host thread may have taken a re-opened stream over during the wait.
        RenderPass(m_eStreamState.load(std::memory_order_acquire) == StreamRunning, io_pace.bTaken);
        io_pace.bTaken = false;
        return;
    }
    // The renderer let a period go by: the engine's period goes too, into the scratch (once the
    // ring is the stream's: a stream waiting to be taken over leaves it to the host thread). A
    // renderer that was only late plays it with its next pass, so lateness skips nothing; a
    // further period let go by replaces it.
    if (m_eStreamState.load(std::memory_order_acquire) == StreamRunning) {
        // A ring that held less than a period gave nothing: the late pass then reads for itself
        // rather than play the scratch's previous period again.
        io_pace.bTaken = TakePeriod() || io_pace.bTaken;
    }
    io_pace.uSilentMs += dwWait;
    // A failed wait is as good as a renderer that stopped asking for passes.
    if (dwResult != WAIT_TIMEOUT || io_pace.uSilentMs >= kPassWaitMilliseconds) {
        io_pace = PassPace();
        LoseStream();
    }
}

bool ZvSinkISAC::TakePeriod() {
    // All or nothing: when the ring holds less, nothing is read (the scratch keeps what it had).
    const uint32_t uFrames =
        m_uPeriodFrames < m_uScratchFrames ? m_uPeriodFrames : m_uScratchFrames;
    return m_pRing->Read(uint32_t{m_uFrameBytes} * uFrames, m_pScratch);
}

void ZvSinkISAC::ServeClock() {
    if (!m_tick.Started()) {
        m_tick.Start(m_uTickMilliseconds);
        m_uTickFramesX1000 = 0;
    }
    if (!m_tick.WaitTick(kPassWaitMilliseconds)) {
        return;
    }
    // One tick's frames at the engine's rate; the thousandths of a frame are carried over.
    m_uTickFramesX1000 += uint64_t{m_reopen.SampleRate()} * m_uTickMilliseconds;
    const uint32_t uFrames = static_cast<uint32_t>(m_uTickFramesX1000 / 1000);
    m_uTickFramesX1000 %= 1000;
    Drain(uFrames);
    if (m_reopen.Due()) {
        Reopen();
    }
}

void ZvSinkISAC::Drain(uint32_t in_uFrames) {
    m_pRing->Discard(in_uFrames * uint32_t{m_uFrameBytes});
}

void ZvSinkISAC::LoseStream() {
    // Nothing played before the loss may be played again after a re-open.
    memset(m_pScratch, 0, size_t{m_uFrameBytes} * m_uScratchFrames);
    // The host thread stops handing buffers over from its next frame.
    m_eStreamState.store(StreamLost, std::memory_order_release);
    ReleaseStream();
    // The first re-open comes at once.
    Reopen();
}

void ZvSinkISAC::Reopen() {
    m_reopen.Record(OpenSpatialStream() == ZV_Success, m_eStreamState);
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

void ZvSinkISAC::RenderPass(bool in_bPlaying, bool in_bTaken) {
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

    // One period leaves the ring in every pass, whatever became of the objects (unless the
    // period the renderer was late for was taken already). A stream waiting to be taken over
    // plays silence (the buffers come zeroed), and so does a pass that finds less than a period
    // in the ring: the frames it holds are played whole by the next pass, and nothing played
    // before is played again.
    if (in_bPlaying && !in_bTaken) {
        in_bPlaying = TakePeriod();
    }
    if (in_bPlaying) {
        // The frames every buffer has room for are taken apart in one go (in vectors); then each
        // buffer gets the rest of the pass that it has room for, and silence after it.
        const uint32_t uStride = m_channelLayout.uNumChannels;
        uint32_t uCommonFrames = uFrames;
        for (uint32_t uObject = 0; uObject < m_uNumBedObjects; ++uObject) {
            if (apBuffers[uObject] != nullptr && auBufferFrames[uObject] < uCommonFrames) {
                uCommonFrames = auBufferFrames[uObject];
            }
        }
        DeinterleaveFrames(m_pScratch, uStride, m_uNumBedObjects, uCommonFrames, apBuffers);
        for (uint32_t uObject = 0; uObject < m_uNumBedObjects; ++uObject) {
            float* const pOut = apBuffers[uObject];
            if (pOut == nullptr) {
                continue;
            }
            const uint32_t uObjectFrames =
                auBufferFrames[uObject] < uFrames ? auBufferFrames[uObject] : uFrames;
            for (uint32_t uFrame = uCommonFrames; uFrame < uObjectFrames; ++uFrame) {
                pOut[uFrame] = m_pScratch[static_cast<size_t>(uFrame) * uStride + uObject];
            }
            memset(pOut + uObjectFrames, 0,
                   (auBufferFrames[uObject] - uObjectFrames) * sizeof(float));
        }
    }

    const bool bEnded = SUCCEEDED(m_pStream->EndUpdatingAudioObjects());
    if (!bBegun || !bEnded) {
        LoseStream();
    }
}
