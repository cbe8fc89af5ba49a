#include "RendererCore.h"

#include <algorithm>
#include <utility>

#include "CallScope.h"
#include "RenderStream.h"
#include "WaitableTimers.h"

namespace standin {
namespace detail {
namespace {

void ResetRendererHook() {
    RendererCore::Instance().Reset();
}

// One period of an endpoint: its frames per pass at the rate of its first format (10 ms when it
// names no rate).
uint64_t PeriodNs(const EndpointConfig& in_config) {
    const uint32_t uRate = in_config.formats.empty() ? 0 : in_config.formats[0].nSamplesPerSec;
    return uRate == 0 ? 10000000u : uint64_t{in_config.frameCount} * 1000000000u / uRate;
}

}  // namespace

RendererCore& RendererCore::Instance() {
    static RendererCore* s_pCore = new RendererCore();  // never destroyed: used at exit
    return *s_pCore;
}

RendererCore::RendererCore()
    : m_pDefault(std::make_shared<EndpointState>(m_uGeneration, EndpointConfig())) {
    AddResetHook(&ResetRendererHook);
}

void RendererCore::AddStreamLocked(RenderStream* in_pStream) {
    m_streams.push_back(in_pStream);
    m_changed.notify_all();
}

void RendererCore::RemoveStreamLocked(RenderStream* in_pStream) {
    auto it = std::find(m_streams.begin(), m_streams.end(), in_pStream);
    if (it == m_streams.end()) {
        return;
    }
    m_streams.erase(it);
    in_pStream->ForgivePassLocked();
    if (in_pStream->Generation() == m_uGeneration) {
        m_retiredStreams.push_back(in_pStream->StatsLocked());
        m_retiredStreams.back().started = false;
    }
    NotifyLocked();
}

uint32_t RendererCore::FreeDynamicObjectsLocked(const EndpointState* in_pEndpoint) const {
    uint64_t uUsed = 0;
    for (const RenderStream* pStream : m_streams) {
        if (pStream->Endpoint() == in_pEndpoint) {
            uUsed += pStream->PoolUseLocked();
        }
    }
    const uint64_t uGrant = in_pEndpoint->Config().maxDynamicObjects;
    return uUsed >= uGrant ? 0 : static_cast<uint32_t>(uGrant - uUsed);
}

void RendererCore::RecordClientActivationLocked(const ClientActivation& in_record) {
    m_clientActivations.push_back(in_record);
}

void RendererCore::RecordStreamActivationLocked(const StreamActivation& in_record) {
    m_streamActivations.push_back(in_record);
}

bool RendererCore::WantsPassesLocked(uint64_t in_uGeneration) const {
    return in_uGeneration == m_uGeneration && (m_uMaxPasses > 0 || m_pObserver);
}

std::shared_ptr<const PassObserver> RendererCore::RecordPassLocked(Pass& io_pass) {
    if (m_uMaxPasses > 0) {
        if (m_passes.size() >= m_uMaxPasses) {
            m_passes.pop_front();
        }
        if (m_pObserver) {
            m_passes.push_back(io_pass);
        } else {
            m_passes.push_back(std::move(io_pass));
        }
    }
    return m_pObserver;
}

std::vector<ObjectPass> RendererCore::ObjectListLocked(size_t in_uObjects) {
    std::vector<ObjectPass> objects;
    if (!m_spareObjectLists.empty()) {
        objects = std::move(m_spareObjectLists.back());
        m_spareObjectLists.pop_back();
    }
    objects.reserve(in_uObjects);
    return objects;
}

std::vector<float> RendererCore::CapturedSamplesLocked(const float* in_pSamples,
                                                       size_t in_uSamples) {
    std::vector<float> samples;
    if (!m_spareSamples.empty()) {
        samples = std::move(m_spareSamples.back());
        m_spareSamples.pop_back();
    }
    samples.assign(in_pSamples, in_pSamples + in_uSamples);
    return samples;
}

void RendererCore::NotifyLocked() {
    m_changed.notify_all();
    m_pacerWake.notify_all();
}

size_t RendererCore::StartedCountLocked() const {
    size_t uCount = 0;
    for (const RenderStream* pStream : m_streams) {
        if (pStream->Generation() == m_uGeneration && pStream->StartedLocked() &&
            !pStream->LostLocked()) {
            ++uCount;
        }
    }
    return uCount;
}

void RendererCore::SetDefaultEndpoint(const EndpointConfig& in_config) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pDefault = std::make_shared<EndpointState>(m_uGeneration, in_config);
    m_uStepNs = PeriodNs(in_config);
}

void RendererCore::RemoveDefaultEndpoint() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pDefault.reset();
}

EndpointConfig RendererCore::DefaultEndpoint() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pDefault ? m_pDefault->Config() : EndpointConfig();
}

void RendererCore::LoseDevice(HRESULT in_hrBegin, LostSignalling in_eSignalling) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pDefault) {
        m_pDefault->LoseLocked(in_hrBegin, in_eSignalling == LostSignalling::Continues);
        // A lost stream's pass can never end (Begin fails).
        for (RenderStream* pStream : m_streams) {
            if (pStream->LostLocked()) {
                pStream->ForgivePassLocked();
            }
        }
        NotifyLocked();
    }
}

std::thread RendererCore::StopPacerLocked() {
    m_bPacerStop = true;
    m_pacerWake.notify_all();
    return std::move(m_pacer);
}

void RendererCore::SetPacing(Pacing in_ePacing) {
    std::thread stopped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (in_ePacing == m_ePacing) {
            return;
        }
        m_ePacing = in_ePacing;
        const auto now = std::chrono::steady_clock::now();
        for (RenderStream* pStream : m_streams) {
            if (pStream->Generation() == m_uGeneration) {
                pStream->UseClockLocked(in_ePacing == Pacing::Stepped);
                pStream->ScheduleLocked(now + pStream->Period());
            }
        }
        if (in_ePacing == Pacing::RealTime) {
            m_bPacerStop = false;
            m_pacer = std::thread(&RendererCore::PacerLoop, this);
        } else {
            stopped = StopPacerLocked();
        }
        TimerService::Instance().UseSteppedTime(in_ePacing == Pacing::Stepped);
    }
    if (stopped.joinable()) {
        stopped.join();
    }
}

// Real-time pacing: signals each started stream once per period by the steady clock, sleeping
// until the next due signal (or a change of the schedule) in between. A stream that fell more
// than a period behind (the machine was busy) is rescheduled from now rather than signalled in a
// burst.
void RendererCore::PacerLoop() {
    InternalScope scope;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_bPacerStop) {
        const auto now = std::chrono::steady_clock::now();
        auto wakeAt = now + std::chrono::seconds(1);
        for (RenderStream* pStream : m_streams) {
            if (pStream->Generation() != m_uGeneration || !pStream->SignalledLocked()) {
                continue;
            }
            if (pStream->NextSignalLocked() <= now) {
                pStream->SignalLocked();
                auto next = pStream->NextSignalLocked() + pStream->Period();
                if (next <= now) {
                    next = now + pStream->Period();
                }
                pStream->ScheduleLocked(next);
            }
            wakeAt = std::min(wakeAt, pStream->NextSignalLocked());
        }
        m_pacerWake.wait_until(lock, wakeAt);
    }
}

size_t RendererCore::Step(std::chrono::milliseconds in_timeout) {
    struct Target {
        uint64_t uId;
        uint64_t uPassesBefore;
    };
    std::vector<Target> targets;
    const auto deadline = std::chrono::steady_clock::now() + in_timeout;
    // The caller is not one of the threads the step waits for.
    StepDebts::Settle();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_ePacing != Pacing::Stepped) {
        return 0;
    }
    const uint64_t uGeneration = m_uGeneration;
    // The waiters the step sets going, woken once it unlocks (kept per thread, so that a step
    // allocates nothing once the first has grown it).
    thread_local EventWakeups wakeups;
    // Timer time moves on first, so that a worker a timer wakes finds this step's pass signalled.
    TimerService::Instance().Step(m_uStepNs, wakeups);
    // Renderer time moves on to the next period for every stream, paced or not (waits on lost
    // streams expire by it), together with the signal of that period's pass. Moving time first
    // means a client's next wait always starts at the time of the pass it just ended, whatever
    // the threads' timing.
    const bool bDelayed = m_uDelayedSteps > 0;
    if (bDelayed) {
        --m_uDelayedSteps;
    }
    for (RenderStream* pStream : m_streams) {
        if (pStream->Generation() != uGeneration) {
            continue;
        }
        const bool bSignal = pStream->SignalledLocked() && !bDelayed;
        // A lost stream's pass can never end (Begin fails): it is signalled but not waited for.
        // The debt for the pass is incurred before the signal, so that the pass cannot end first.
        if (bSignal && !pStream->LostLocked()) {
            pStream->AwaitPassLocked();
            targets.push_back(Target{pStream->Id(), pStream->PassesLocked()});
        }
        pStream->StepLocked(bSignal, wakeups);
    }
    lock.unlock();
    // The threads set going are woken only now, so that none of them runs into the lock.
    WakeAll(wakeups);

    // Every signalled stream's pass is a debt, paid when the thread that ended it is back in a
    // wait, or forgiven when the stream stops, is lost or goes away. So one wait covers the
    // passes and every thread the step set going (a pass ended, a wait expired, a timer fired),
    // and only the last of them to settle wakes this thread.
    StepDebts::WaitSettled(deadline);

    lock.lock();
    size_t uEnded = 0;
    for (const Target& target : targets) {
        auto it = std::find_if(m_streams.begin(), m_streams.end(),
                               [&](const RenderStream* p) { return p->Id() == target.uId; });
        if (m_uGeneration != uGeneration) {
            continue;
        }
        if (it == m_streams.end()) {
            // Gone: released, perhaps right after it ended this pass.
            for (const StreamStats& retired : m_retiredStreams) {
                if (retired.streamId == target.uId && retired.passes > target.uPassesBefore) {
                    ++uEnded;
                }
            }
        } else if ((*it)->PassesLocked() > target.uPassesBefore) {
            ++uEnded;
        } else {
            // Timed out: the next step does not wait for this pass any more.
            (*it)->ForgivePassLocked();
        }
    }
    return uEnded;
}

void RendererCore::DelaySignals(uint32_t in_uSteps) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uDelayedSteps = in_uSteps;
}

bool RendererCore::WaitForStartedStreams(size_t in_uCount, std::chrono::milliseconds in_timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, in_timeout,
                              [&]() { return StartedCountLocked() >= in_uCount; });
}

size_t RendererCore::StartedStreamCount() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return StartedCountLocked();
}

std::vector<ClientActivation> RendererCore::ClientActivations() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_clientActivations;
}

std::vector<StreamActivation> RendererCore::StreamActivations() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_streamActivations;
}

void RendererCore::CapturePasses(size_t in_uMaxPasses) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uMaxPasses = in_uMaxPasses;
    while (m_passes.size() > m_uMaxPasses) {
        m_passes.pop_front();
    }
}

std::vector<Pass> RendererCore::TakePasses() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<Pass> passes(std::make_move_iterator(m_passes.begin()),
                             std::make_move_iterator(m_passes.end()));
    m_passes.clear();
    return passes;
}

void RendererCore::RecyclePasses(std::vector<Pass>& io_passes) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_spareSamples.capacity() == 0) {
            m_spareSamples.reserve(kMaxRecycledSampleBuffers);
        }
        if (m_spareObjectLists.capacity() == 0) {
            m_spareObjectLists.reserve(kMaxSpareObjectLists);
        }
        for (Pass& pass : io_passes) {
            bool bAllTaken = true;
            for (ObjectPass& object : pass.objects) {
                if (object.samples.capacity() == 0) {
                    continue;
                }
                if (m_spareSamples.size() == kMaxRecycledSampleBuffers) {
                    bAllTaken = false;
                    break;
                }
                m_spareSamples.push_back(std::move(object.samples));
            }
            // The pass's list of objects too, for a pass to come: emptied here only when it
            // holds no buffer any more (nothing is freed under the lock).
            if (bAllTaken && pass.objects.capacity() > 0 &&
                m_spareObjectLists.size() < kMaxSpareObjectLists) {
                pass.objects.clear();
                m_spareObjectLists.push_back(std::move(pass.objects));
            }
        }
    }
    // The rest is freed outside the lock.
    io_passes.clear();
}

void RendererCore::SetPassObserver(PassObserver in_observer) {
    std::shared_ptr<const PassObserver> pNew;
    if (in_observer) {
        pNew = std::make_shared<const PassObserver>(std::move(in_observer));
    }
    std::shared_ptr<const PassObserver> pOld;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        pOld = std::move(m_pObserver);
        m_pObserver = std::move(pNew);
    }
    // pOld (the client's function) is destroyed here, outside the lock, unless a pass that is
    // calling it still holds it.
}

std::vector<StreamStats> RendererCore::Streams() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<StreamStats> stats = m_retiredStreams;
    for (const RenderStream* pStream : m_streams) {
        if (pStream->Generation() == m_uGeneration) {
            stats.push_back(pStream->StatsLocked());
        }
    }
    std::sort(stats.begin(), stats.end(),
              [](const StreamStats& a, const StreamStats& b) { return a.streamId < b.streamId; });
    return stats;
}

void RendererCore::Reset() {
    std::thread stopped;
    std::shared_ptr<const PassObserver> pOldObserver;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Streams of the old generation keep working for their clients but are never paced
        // again; their events go back to the wall clock so that timed waits on them still end.
        for (RenderStream* pStream : m_streams) {
            if (pStream->Generation() == m_uGeneration) {
                pStream->UseClockLocked(false);
            }
            pStream->ForgivePassLocked();
        }
        ++m_uGeneration;
        m_pDefault = std::make_shared<EndpointState>(m_uGeneration, EndpointConfig());
        m_uStepNs = PeriodNs(EndpointConfig());
        m_uDelayedSteps = 0;
        TimerService::Instance().UseSteppedTime(true);
        if (m_ePacing == Pacing::RealTime) {
            stopped = StopPacerLocked();
        }
        m_ePacing = Pacing::Stepped;
        m_clientActivations.clear();
        m_streamActivations.clear();
        m_retiredStreams.clear();
        m_uMaxPasses = 0;
        m_passes.clear();
        m_spareSamples = std::vector<std::vector<float>>();
        m_spareObjectLists = std::vector<std::vector<ObjectPass>>();
        pOldObserver = std::move(m_pObserver);
        NotifyLocked();
    }
    if (stopped.joinable()) {
        stopped.join();
    }
}

}  // namespace detail
}  // namespace standin
