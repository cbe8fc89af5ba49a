// The desktop build's render stream, on the default render endpoint's console role. InitPlugin
// activates it synchronously; a re-activation after a loss runs on a thread-pool thread instead,
// because opening a stream costs the audio thread milliseconds on a real renderer (several, and
// tens at worst, under Wine's).
//
// Threads: created on the thread that asks (the audio thread, or InitPlugin's). Activate runs on
// the calling thread. StartActivation hands the activation to a thread-pool work item that owns
// the lost stream it was given and releases it first (so that the new stream finds the renderer's
// dynamic objects free), then activates, then completes (MixerRenderStream: its last write, with
// release ordering). The work item touches only this object and the lost stream; the destructor
// waits for it, and the work holds no reference, so the last Release is always the owner's and
// never leaves the work running. The reference count is an atomic changed with read-modify-write
// operations (acq_rel on release).
#pragma once

#include <threadpoolapiset.h>
#include <windows.h>

#include <atomic>

#include "MixerRenderStream.h"
#include "ZvHostEngine.h"

class DesktopRenderStream final : public MixerRenderStream {
public:
    // A new stream object holding one reference (the caller's), not yet activated, or null. Its
    // activation asks for a stream at in_uEngineSampleRate (MixerRenderStream).
    static DesktopRenderStream* Create(ZV::IPluginMemAlloc* in_pAllocator,
                                       uint32_t in_uEngineSampleRate);

    // The activation on the calling thread, whose COM the caller has initialised: StreamRunning,
    // or StreamClosed after any failure (a renderer at another rate than the engine's among them).
    SpatialOpenResult Activate();
    // Starts the activation on a thread-pool thread, which first releases in_pLost (the caller's
    // reference, taken over; may be null). False when no work item can be had: in_pLost is then
    // released here, and the stream stays StreamClosed with nothing pending.
    bool StartActivation(MixerRenderStream* in_pLost);

    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

private:
    DesktopRenderStream(ZV::IPluginMemAlloc* in_pAllocator, uint32_t in_uEngineSampleRate);
    ~DesktopRenderStream();

    static void CALLBACK ActivationWork(PTP_CALLBACK_INSTANCE in_pInstance, PVOID in_pContext,
                                        PTP_WORK in_pWork);

    std::atomic<ULONG> m_uRefs{1};
    ZV::IPluginMemAlloc* const m_pAllocator;
    PTP_WORK m_pWork = nullptr;            // the owner's thread: created, waited for, closed
    MixerRenderStream* m_pLost = nullptr;  // handed to the work, which releases it
};
