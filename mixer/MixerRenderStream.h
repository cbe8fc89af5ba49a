// The render stream through which the mixer's object records play, as the mixer and its render
// worker see it: the stream state, the renderer's limits, the started dynamic-object stream and
// the event the renderer signals for each pass.
//
// Both builds of the mixer hand the mixer one of these: the Universal Windows build its
// ActivationHandler (activated asynchronously), the desktop build a DesktopRenderStream
// (activated synchronously at InitPlugin, on a thread-pool thread after a loss). Each attempt at a
// re-activation is a new object. The object is reference counted; the mixer holds one reference
// and its render worker takes another for each cycle (SharedRenderStream).
//
// Threads and ordering. The activating thread (the completion thread, or a thread-pool thread in
// the desktop build's re-activation, or the thread of InitPlugin) writes the stream, the event, the
// frame count, the rate and the maximum while the state is not StreamRunning, then publishes them
// with a release store of StreamRunning (Publish); a rate it refused is written before the
// activation completes (CompleteActivation, release), and read only once it has. Readers load the
// state with acquire ordering and read the rest only when they saw StreamRunning or StreamLost (a
// stream that ran): MaxDynamicObjects and FrameCount answer 0 otherwise, so that a reader never
// touches fields that an activation in flight is writing. The render worker moves the state from
// StreamRunning to StreamLost (release store) and nothing else. A stream is activated once: a
// re-activation makes a new stream object.
//
// Every activation asks for a stream at the engine's rate, given at creation: a renderer that
// plays at another rate gets none (SampleRateMatch.h), and the stream stays StreamClosed with the
// renderer's rate in RefusedSampleRate.
#pragma once

#include <spatialaudioclient.h>
#include <windows.h>

#include <stdint.h>

#include <atomic>

#include "SpatialStreamOpener.h"
#include "StreamState.h"

class MixerRenderStream {
public:
    MixerRenderStream(const MixerRenderStream&) = delete;
    MixerRenderStream& operator=(const MixerRenderStream&) = delete;

    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

    // Acquire: a reader that sees StreamRunning also sees what Publish wrote before it.
    StreamState State() const {
        return static_cast<StreamState>(m_eState.load(std::memory_order_acquire));
    }
    // The render worker: the renderer stopped signalling or failed an update call.
    void MarkLost() { m_eState.store(StreamLost, std::memory_order_release); }

    // Whether an activation that is to make this stream run is still under way on another thread;
    // once it is not, the state is final until the render worker marks the stream lost. Acquire:
    // a reader that sees the activation over also sees everything it wrote.
    bool ActivationPending() const { return !m_bCompleted.load(std::memory_order_acquire); }

    // The renderer's maximum dynamic object count (at most 32) of a stream that ran, else 0.
    uint32_t MaxDynamicObjects() const { return HasRun() ? m_opened.uMaxDynamicObjects : 0; }
    // Frames per pass of a stream that ran, else 0.
    uint32_t FrameCount() const { return HasRun() ? m_opened.uFrameCount : 0; }
    // The renderer's rate of a stream that ran, else 0.
    uint32_t SampleRate() const { return HasRun() ? m_opened.uSampleRate : 0; }
    // The renderer's rate when the activation found it playing at another rate than the engine's
    // and opened nothing; 0 otherwise. Only once the activation is over (ActivationPending false).
    uint32_t RefusedSampleRate() const { return m_uRefusedSampleRate; }

    // Only for the render worker while it holds the stream for a cycle in which it saw
    // StreamRunning.
    ISpatialAudioObjectRenderStream* Stream() const { return m_opened.stream.Get(); }
    HANDLE Event() const { return m_opened.event.Get(); }

protected:
    // in_uEngineSampleRate: the rate every activation of the stream asks for (kUnstatedSampleRate:
    // whatever the renderer plays at).
    explicit MixerRenderStream(uint32_t in_uEngineSampleRate)
        : m_uEngineSampleRate(in_uEngineSampleRate) {}
    // Releases the stream and client before the event is closed.
    ~MixerRenderStream() { Drop(); }

    // in_request at the engine's rate.
    SpatialStreamRequest AtEngineRate(const SpatialStreamRequest& in_request) const;
    // What an open came to, by the activating thread: Opened publishes the stream
    // (StreamRunning); anything else drops what is held (StreamClosed) and, for WrongRate, keeps
    // the renderer's rate. Does not complete the activation.
    void Conclude(SpatialOpenResult in_eResult, SpatialStream&& io_opened);
    // Takes over an opened stream and publishes it: StreamRunning.
    void Publish(SpatialStream&& io_opened);
    // Releases everything held (the stream and client before the event) and sets in_eState; the
    // maximum and the frame count read 0 from now on.
    void Drop(StreamState in_eState = StreamClosed);

    // An activation on another thread begins (before it is handed to that thread) and ends (its
    // last write, release).
    void BeginActivation() { m_bCompleted.store(false, std::memory_order_relaxed); }
    void CompleteActivation() { m_bCompleted.store(true, std::memory_order_release); }

private:
    bool HasRun() const {
        const int32_t eState = m_eState.load(std::memory_order_acquire);
        return eState == StreamRunning || eState == StreamLost;
    }

    std::atomic<int32_t> m_eState{StreamClosed};
    std::atomic<bool> m_bCompleted{true};  // no activation under way
    SpatialStream m_opened;                // published by the release store of StreamRunning
    const uint32_t m_uEngineSampleRate;
    uint32_t m_uRefusedSampleRate = 0;  // published by the activation's completion
};
