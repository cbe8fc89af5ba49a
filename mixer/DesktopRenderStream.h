// The desktop build's render stream: activated synchronously on the default render endpoint's
// console role, and re-activated in place when it is lost.
//
// A re-activation posts "WS Mixer Plugin: Resetting" (level 1) and runs at most once a second,
// however often the audio thread asks: a renderer that keeps failing costs one attempt a second,
// not one per frame. It first releases the lost stream, client and event, so that the new stream
// finds the renderer's dynamic objects free. Its outcome: StreamRunning on a new stream;
// StreamClosed when there is no endpoint any more (the mixer stays on the bed for good); any other
// failure leaves StreamLost, so that the next attempt comes a second later. Every failure leaves
// 0 available objects.
//
// Threads: created, activated and re-activated on the audio thread. The re-activation changes
// the stream only while the state is StreamLost and the render worker holds no reference
// (MixerRenderStream, SharedRenderStream). The reference count is an atomic changed with
// read-modify-write operations (acq_rel on release).
#pragma once

#include <atomic>
#include <chrono>

#include "MixerRenderStream.h"
#include "ZvHostEngine.h"

class DesktopRenderStream final : public MixerRenderStream {
public:
    static constexpr const char* kResetNotice = "WS Mixer Plugin: Resetting";
    static constexpr uint32_t kResetNoticeLevel = 1;
    static constexpr std::chrono::milliseconds kResetInterval{1000};

    // A new stream object holding one reference (the caller's), not yet activated, or null.
    static DesktopRenderStream* Create(ZV::IPluginMemAlloc* in_pAllocator);

    // The synchronous activation: releases what an earlier one left, then opens a new stream.
    // The state becomes StreamRunning, or StreamClosed when there is no endpoint; after any other
    // failure it is in_eStateOnFailure.
    SpatialOpenResult Activate(StreamState in_eStateOnFailure);
    // The reset of a lost stream (see above); in_pContext receives the notice.
    void Reset(ZV::IMixerPluginContext* in_pContext);

    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

private:
    explicit DesktopRenderStream(ZV::IPluginMemAlloc* in_pAllocator);
    ~DesktopRenderStream() = default;

    std::atomic<ULONG> m_uRefs{1};
    ZV::IPluginMemAlloc* const m_pAllocator;
    bool m_bResetAttempted = false;  // audio thread only
    std::chrono::steady_clock::time_point m_lastResetAttempt;
};
