// ISpatialAudioObjectRenderStream of the stand-in renderer: the pass order, the objects and their
// limits, the stream's own duplicate of the client's event, and its pacing.
//
// Threads: the client calls from any thread (usually its render worker for the pass calls and
// another thread for activation, Start and release); RendererCore calls the *Locked members from
// Step, the pacer and the control API. Fields set in the constructor are constant. Every other
// field is guarded by the renderer's mutex (RendererCore::Mutex), including the object list that
// AudioObject reads and writes. Object buffers are written by the client without the lock between
// Begin and End, on the client's pass thread; the stream zeroes them in Begin and reads them in
// End, on that same thread, so no other thread touches them.
#pragma once

#include <windows.h>

#include <spatialaudioclient.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "ComObject.h"
#include "Endpoint.h"
#include "KernelObjects.h"
#include "standin/Renderer.h"

namespace standin {
namespace detail {

class AudioObject;

// What a stream is made of; checked by the client's ActivateSpatialAudioStream before.
struct StreamSetup {
    std::shared_ptr<EndpointState> endpoint;
    WAVEFORMATEX format = {};
    uint32_t uStaticMask = 0;
    uint32_t uMinDynamic = 0;
    uint32_t uMaxDynamic = 0;
    uint32_t uNonNativeStatics = 0;  // static types of the mask the endpoint renders as objects
    std::shared_ptr<Event> event;    // the client's event
    IUnknown* pNotify = nullptr;     // a reference to the client's notify object, handed over
};

class RenderStream final : public ComObject<ISpatialAudioObjectRenderStream> {
public:
    // With the renderer's mutex held: registers the stream and attaches its event to the stream's
    // clock in stepped pacing.
    static RenderStream* CreateLocked(const StreamSetup& in_setup);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    // ISpatialAudioObjectRenderStreamBase
    HRESULT STDMETHODCALLTYPE GetAvailableDynamicObjectCount(UINT32* value) override;
    HRESULT STDMETHODCALLTYPE GetService(REFIID riid, void** service) override;
    HRESULT STDMETHODCALLTYPE Start() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE BeginUpdatingAudioObjects(UINT32* availableDynamicObjectCount,
                                                        UINT32* frameCountPerBuffer) override;
    HRESULT STDMETHODCALLTYPE EndUpdatingAudioObjects() override;
    // ISpatialAudioObjectRenderStream
    HRESULT STDMETHODCALLTYPE
    ActivateSpatialAudioObject(AudioObjectType type, ISpatialAudioObject** audioObject) override;

    // Constant.
    uint64_t Id() const { return m_uId; }
    uint64_t Generation() const { return m_uGeneration; }
    const EndpointState* Endpoint() const { return m_pEndpoint.get(); }
    uint32_t FramesPerPass() const { return m_uFrames; }
    uint32_t BlockAlign() const { return m_format.nBlockAlign; }
    uint32_t BufferBytes() const { return m_uBufferFrames * m_format.nBlockAlign; }

    // ---- With the renderer's mutex held ----
    bool LostLocked() const { return m_pEndpoint->LostLocked(); }
    // Started, and either working or lost on a device that goes on signalling its streams.
    bool SignalledLocked() const {
        return StartedLocked() && (!LostLocked() || m_pEndpoint->SignalsWhileLostLocked());
    }
    bool StartedLocked() const { return m_bStarted; }
    bool InPassLocked() const { return m_bInPass; }
    uint64_t PassesLocked() const { return m_stats.passes; }
    StreamStats StatsLocked() const;
    // The share of the endpoint's dynamic objects this stream holds or has reserved.
    uint32_t PoolUseLocked() const;
    // The renderer asks for a pass: signals the event and counts a signal left unanswered.
    void SignalLocked();
    // Stepped pacing: renderer time moves on by one period and, with in_bSignal, the renderer
    // asks for that period's pass; no waiter of the event sees the new time without the signal.
    // The waiters it sets going are woken through io_wakeups.
    void StepLocked(bool in_bSignal, EventWakeups& io_wakeups);
    // The step under way waits for this stream's next pass: a step debt is incurred for it, which
    // the thread that ends the pass takes over (and settles at its next wait).
    void AwaitPassLocked();
    // The step no longer waits for the pass (stopped, lost, released, timed out): its debt is
    // forgiven. Whether it was awaited.
    bool ForgivePassLocked();
    // Waits on the event use the stream's clock (stepped pacing) or the wall clock.
    void UseClockLocked(bool in_bStepped);
    std::chrono::steady_clock::time_point NextSignalLocked() const { return m_nextSignal; }
    void ScheduleLocked(std::chrono::steady_clock::time_point in_next) { m_nextSignal = in_next; }
    std::chrono::nanoseconds Period() const { return std::chrono::nanoseconds(m_uPeriodNs); }
    void CountOutOfOrderLocked() { ++m_stats.outOfOrderCalls; }
    // An object stopped being active (ended, revoked or destroyed while active).
    void ObjectEndedLocked(const AudioObject* in_pObject);
    void RemoveObjectLocked(const AudioObject* in_pObject);

private:
    RenderStream(const StreamSetup& in_setup, uint64_t in_uId, uint64_t in_uGeneration,
                 HANDLE in_hDuplicate);
    ~RenderStream() override;
    uint32_t AvailableDynamicLocked() const;

    const uint64_t m_uId;
    const uint64_t m_uGeneration;
    const std::shared_ptr<EndpointState> m_pEndpoint;
    const WAVEFORMATEX m_format;
    const uint32_t m_uStaticMask;
    const uint32_t m_uMinDynamic;
    const uint32_t m_uMaxDynamic;
    const uint32_t m_uNonNativeStatics;
    const uint32_t m_uFrames;          // frames of every pass
    const uint32_t m_uBufferFrames;    // frames of each object buffer
    const uint32_t m_uReportedFrames;  // what Begin reports
    const uint64_t m_uPeriodNs;
    const HANDLE m_hEvent;  // the stream's own duplicate of the client's handle
    const std::shared_ptr<Event> m_event;
    const std::shared_ptr<VirtualClock> m_clock;
    IUnknown* const m_pNotify;

    // Guarded by the renderer's mutex.
    bool m_bStarted = false;
    bool m_bInPass = false;
    bool m_bSignalPending = false;  // signalled and not yet answered by a Begin
    bool m_bPassAwaited = false;    // a step's debt stands for the next pass's end
    uint32_t m_uActiveDynamic = 0;
    std::vector<AudioObject*> m_objects;  // live objects, in activation order
    StreamStats m_stats;
    std::chrono::steady_clock::time_point m_nextSignal;
};

}  // namespace detail
}  // namespace standin
