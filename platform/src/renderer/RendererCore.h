// The shared state of the stand-in spatial renderer: the default endpoint, the registry of live
// render streams, pacing (the real-time pacer thread or Step), the activation histories and the
// pass capture. Behind the control API of standin/Renderer.h and the COM objects of the renderer.
//
// Threads: client calls come from any thread (plug-in audio threads, render workers, completion
// threads); Step, the control API and Reset come from the test thread; the pacer thread signals
// events in real-time pacing. Every field below, and every field that RenderStream and
// AudioObject mark "guarded", is read and written only with m_mutex held; there are no atomics
// here. The mutex is never held while client code runs (completion handlers, pass observers,
// releases of client objects). Lock order: m_mutex, then an event's or a clock's own mutex, or the
// handle table's; never the other way round.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Endpoint.h"
#include "KernelObjects.h"
#include "standin/Renderer.h"

namespace standin {
namespace detail {

class RenderStream;

typedef std::function<void(const Pass&)> PassObserver;

class RendererCore {
public:
    static RendererCore& Instance();

    std::mutex& Mutex() { return m_mutex; }

    // ---- With Mutex() held ----
    std::shared_ptr<EndpointState> DefaultEndpointLocked() const { return m_pDefault; }
    uint64_t GenerationLocked() const { return m_uGeneration; }
    bool SteppedLocked() const { return m_ePacing == Pacing::Stepped; }
    uint64_t NewStreamIdLocked() { return ++m_uLastStreamId; }
    uint64_t NewObjectIdLocked() { return ++m_uLastObjectId; }

    void AddStreamLocked(RenderStream* in_pStream);
    // Takes the stream out of the registry; its statistics stay in the history.
    void RemoveStreamLocked(RenderStream* in_pStream);
    // Dynamic objects of the endpoint's grant that no stream holds or has reserved.
    uint32_t FreeDynamicObjectsLocked(const EndpointState* in_pEndpoint) const;

    void RecordClientActivationLocked(const ClientActivation& in_record);
    void RecordStreamActivationLocked(const StreamActivation& in_record);

    // Whether ended passes of a stream of in_uGeneration are captured or observed.
    bool WantsPassesLocked(uint64_t in_uGeneration) const;
    // Keeps the pass if capture is on; returns the observer to call (after unlocking), if any,
    // with the pass. Without an observer the pass is moved into the capture (io_pass is then
    // left empty), so that a captured pass's buffers are not copied twice.
    std::shared_ptr<const PassObserver> RecordPassLocked(Pass& io_pass);
    // An empty list of room for in_uObjects objects, for a captured pass: one that a pass given
    // back by RecyclePasses held, where there is one (it then allocates nothing).
    std::vector<ObjectPass> ObjectListLocked(size_t in_uObjects);
    // in_uSamples samples copied from in_pSamples, into a buffer given back by RecyclePasses when
    // there is one (the copy then allocates nothing).
    std::vector<float> CapturedSamplesLocked(const float* in_pSamples, size_t in_uSamples);

    // Wakes WaitForStartedStreams to look again (a stream started, stopped, was lost or went
    // away), and the pacer to look at its schedule. A pass's end wakes Step through its debt.
    void NotifyLocked();

    // ---- Control API: each takes the lock itself ----
    void SetDefaultEndpoint(const EndpointConfig& in_config);
    void RemoveDefaultEndpoint();
    EndpointConfig DefaultEndpoint();
    void LoseDevice(HRESULT in_hrBegin, LostSignalling in_eSignalling);
    void SetPacing(Pacing in_ePacing);
    size_t Step(std::chrono::milliseconds in_timeout);
    void DelaySignals(uint32_t in_uSteps);
    bool WaitForStartedStreams(size_t in_uCount, std::chrono::milliseconds in_timeout);
    size_t StartedStreamCount();
    std::vector<ClientActivation> ClientActivations();
    std::vector<StreamActivation> StreamActivations();
    void CapturePasses(size_t in_uMaxPasses);
    std::vector<Pass> TakePasses();
    void RecyclePasses(std::vector<Pass>& io_passes);
    void SetPassObserver(PassObserver in_observer);
    std::vector<StreamStats> Streams();
    // Back to one default endpoint with the default configuration, stepped pacing, no capture,
    // no observer, empty histories. Streams that clients still hold stay valid but are no longer
    // paced, and waits on their events run on the wall clock again.
    void Reset();

private:
    RendererCore();
    void PacerLoop();
    size_t StartedCountLocked() const;
    // Stops the pacer thread; the caller joins the returned thread after unlocking.
    std::thread StopPacerLocked();

    std::mutex m_mutex;
    std::condition_variable m_changed;    // see NotifyLocked
    std::condition_variable m_pacerWake;  // schedule changed or the pacer must stop
    std::shared_ptr<EndpointState> m_pDefault;
    std::vector<RenderStream*> m_streams;  // every live stream, of any generation
    uint64_t m_uGeneration = 1;            // advanced by Reset
    uint64_t m_uLastStreamId = 0;
    uint64_t m_uLastObjectId = 0;
    Pacing m_ePacing = Pacing::Stepped;
    uint64_t m_uStepNs = 10000000;  // what a Step moves timer time by: the latest default's period
    uint32_t m_uDelayedSteps = 0;   // steps still to come that signal no stream (DelaySignals)
    std::thread m_pacer;
    bool m_bPacerStop = false;
    std::vector<ClientActivation> m_clientActivations;
    std::vector<StreamActivation> m_streamActivations;
    std::vector<StreamStats> m_retiredStreams;  // streams of this generation that went away
    size_t m_uMaxPasses = 0;
    std::deque<Pass> m_passes;
    // Sample buffers of passes given back, for the next captured passes (at most
    // kMaxSpareBuffers; Reset drops them).
    std::vector<std::vector<float>> m_spareSamples;
    // Object lists of passes given back, emptied, for the next captured passes (at most
    // kMaxSpareObjectLists; Reset drops them).
    static constexpr size_t kMaxSpareObjectLists = 256;
    std::vector<std::vector<ObjectPass>> m_spareObjectLists;
    std::shared_ptr<const PassObserver> m_pObserver;
};

}  // namespace detail
}  // namespace standin
