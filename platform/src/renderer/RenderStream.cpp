#include "RenderStream.h"

#include <algorithm>
#include <cstring>

#include "AudioObject.h"
#include "CallScope.h"
#include "LiveCounters.h"
#include "RendererCore.h"

namespace standin {
namespace detail {
namespace {

constexpr uint32_t kFirstStaticType = AudioObjectType_FrontLeft;
constexpr uint32_t kLastStaticType = AudioObjectType_BackCenter;

bool IsStaticType(uint32_t in_uType) {
    return in_uType >= kFirstStaticType && in_uType <= kLastStaticType &&
           (in_uType & (in_uType - 1)) == 0;
}

uint32_t FramesOr(uint32_t in_uValue, uint32_t in_uDefault) {
    return in_uValue != 0 ? in_uValue : in_uDefault;
}

}  // namespace

RenderStream* RenderStream::CreateLocked(const StreamSetup& in_setup) {
    RendererCore& core = RendererCore::Instance();
    // The stream's own handle to the client's event: the client may close its handle at any time.
    const HANDLE hDuplicate = InsertHandle(in_setup.event);
    auto* pStream =
        new RenderStream(in_setup, core.NewStreamIdLocked(), core.GenerationLocked(), hDuplicate);
    core.AddStreamLocked(pStream);
    pStream->UseClockLocked(core.SteppedLocked());
    return pStream;
}

RenderStream::RenderStream(const StreamSetup& in_setup, uint64_t in_uId, uint64_t in_uGeneration,
                           HANDLE in_hDuplicate)
    : m_uId(in_uId),
      m_uGeneration(in_uGeneration),
      m_pEndpoint(in_setup.endpoint),
      m_format(in_setup.format),
      m_uStaticMask(in_setup.uStaticMask),
      m_uMinDynamic(in_setup.uMinDynamic),
      m_uMaxDynamic(in_setup.uMaxDynamic),
      m_uNonNativeStatics(in_setup.uNonNativeStatics),
      m_uFrames(in_setup.endpoint->Config().frameCount),
      m_uBufferFrames(FramesOr(in_setup.endpoint->Config().bufferFrames, m_uFrames)),
      m_uReportedFrames(FramesOr(in_setup.endpoint->Config().reportedFrameCount, m_uFrames)),
      m_uPeriodNs(m_format.nSamplesPerSec == 0
                      ? 10000000u
                      : uint64_t{m_uFrames} * 1000000000u / m_format.nSamplesPerSec),
      m_hEvent(in_hDuplicate),
      m_event(in_setup.event),
      m_clock(std::make_shared<VirtualClock>()),
      m_pNotify(in_setup.pNotify) {
    m_objects.reserve(32);
    m_stats.streamId = m_uId;
}

RenderStream::~RenderStream() {
    {
        std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
        RendererCore::Instance().RemoveStreamLocked(this);
    }
    // Waits on the client's event no longer run on this stream's clock.
    m_event->DetachClock(m_clock);
    CloseKernelHandle(m_hEvent);
    if (m_pNotify != nullptr) {
        m_pNotify->Release();
    }
}

HRESULT RenderStream::QueryInterface(REFIID riid, void** ppv) {
    return AnswerQueryInterface(riid, ppv,
                                {{__uuidof(IUnknown), static_cast<IUnknown*>(this)},
                                 {__uuidof(ISpatialAudioObjectRenderStreamBase),
                                  static_cast<ISpatialAudioObjectRenderStreamBase*>(this)},
                                 {__uuidof(ISpatialAudioObjectRenderStream),
                                  static_cast<ISpatialAudioObjectRenderStream*>(this)}});
}

StreamStats RenderStream::StatsLocked() const {
    StreamStats stats = m_stats;
    stats.started = m_bStarted;
    stats.lost = LostLocked();
    return stats;
}

uint32_t RenderStream::PoolUseLocked() const {
    return std::max(m_uMinDynamic, m_uActiveDynamic) + m_uNonNativeStatics;
}

uint32_t RenderStream::AvailableDynamicLocked() const {
    if (LostLocked() || m_uActiveDynamic >= m_uMaxDynamic) {
        return 0;
    }
    const uint32_t uReservedSpare =
        m_uMinDynamic > m_uActiveDynamic ? m_uMinDynamic - m_uActiveDynamic : 0;
    const uint64_t uReachable =
        uint64_t{uReservedSpare} + RendererCore::Instance().FreeDynamicObjectsLocked(Endpoint());
    return static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{m_uMaxDynamic - m_uActiveDynamic}, uReachable));
}

void RenderStream::SignalLocked() {
    if (m_bSignalPending) {
        ++m_stats.missedPasses;
    }
    m_bSignalPending = true;
    ++m_stats.signalled;
    m_event->Set();
}

void RenderStream::StepLocked(bool in_bSignal, EventWakeups& io_wakeups) {
    if (!in_bSignal) {
        m_clock->Advance(m_uPeriodNs, io_wakeups);
        return;
    }
    if (m_bSignalPending) {
        ++m_stats.missedPasses;
    }
    m_bSignalPending = true;
    ++m_stats.signalled;
    m_clock->Advance(m_uPeriodNs, io_wakeups, m_event.get());
}

void RenderStream::AwaitPassLocked() {
    if (!m_bPassAwaited) {
        m_bPassAwaited = true;
        StepDebts::Incur();
    }
}

bool RenderStream::ForgivePassLocked() {
    if (!m_bPassAwaited) {
        return false;
    }
    m_bPassAwaited = false;
    StepDebts::Forgive();
    return true;
}

void RenderStream::UseClockLocked(bool in_bStepped) {
    if (in_bStepped) {
        m_event->SetClock(m_clock);
    } else {
        m_event->DetachClock(m_clock);
    }
}

void RenderStream::ObjectEndedLocked(const AudioObject* in_pObject) {
    if (in_pObject->IsDynamic() && m_uActiveDynamic > 0) {
        --m_uActiveDynamic;
    }
}

void RenderStream::RemoveObjectLocked(const AudioObject* in_pObject) {
    auto it = std::find(m_objects.begin(), m_objects.end(), in_pObject);
    if (it != m_objects.end()) {
        m_objects.erase(it);
    }
}

HRESULT RenderStream::GetAvailableDynamicObjectCount(UINT32* value) {
    STANDIN_CALL_HRESULT("ISpatialAudioObjectRenderStreamBase::GetAvailableDynamicObjectCount");
    if (value == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
    *value = AvailableDynamicLocked();
    return S_OK;
}

HRESULT RenderStream::GetService(REFIID, void** service) {
    STANDIN_CALL_HRESULT("ISpatialAudioObjectRenderStreamBase::GetService");
    if (service == nullptr) {
        return E_POINTER;
    }
    *service = nullptr;
    return NotImplemented("ISpatialAudioObjectRenderStreamBase::GetService");
}

HRESULT RenderStream::Start() {
    STANDIN_CALL_HRESULT("ISpatialAudioObjectRenderStreamBase::Start");
    RendererCore& core = RendererCore::Instance();
    std::lock_guard<std::mutex> lock(core.Mutex());
    if (LostLocked()) {
        return m_pEndpoint->LostResultLocked();
    }
    if (!m_bStarted) {
        m_bStarted = true;
        m_nextSignal = std::chrono::steady_clock::now() + Period();
        core.NotifyLocked();
    }
    return S_OK;
}

HRESULT RenderStream::Stop() {
    STANDIN_CALL_HRESULT("ISpatialAudioObjectRenderStreamBase::Stop");
    RendererCore& core = RendererCore::Instance();
    std::lock_guard<std::mutex> lock(core.Mutex());
    m_bStarted = false;
    ForgivePassLocked();
    core.NotifyLocked();
    return S_OK;
}

HRESULT RenderStream::Reset() {
    STANDIN_CALL_HRESULT("ISpatialAudioObjectRenderStreamBase::Reset");
    std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
    if (m_bStarted) {
        return SPTLAUDCLNT_E_STREAM_NOT_STOPPED;
    }
    for (AudioObject* pObject : m_objects) {
        pObject->RevokeLocked();
    }
    m_bInPass = false;
    m_bSignalPending = false;
    return S_OK;
}

HRESULT RenderStream::BeginUpdatingAudioObjects(UINT32* availableDynamicObjectCount,
                                                UINT32* frameCountPerBuffer) {
    STANDIN_CALL_HRESULT("ISpatialAudioObjectRenderStreamBase::BeginUpdatingAudioObjects");
    if (availableDynamicObjectCount == nullptr || frameCountPerBuffer == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
    if (LostLocked()) {
        return m_pEndpoint->LostResultLocked();
    }
    if (m_bInPass) {
        ++m_stats.outOfOrderCalls;
        return SPTLAUDCLNT_E_OUT_OF_ORDER;
    }
    m_bInPass = true;
    m_bSignalPending = false;
    for (AudioObject* pObject : m_objects) {
        pObject->BeginPassLocked();
    }
    *availableDynamicObjectCount = AvailableDynamicLocked();
    *frameCountPerBuffer = m_uReportedFrames;
    return S_OK;
}

HRESULT RenderStream::EndUpdatingAudioObjects() {
    STANDIN_CALL_HRESULT("ISpatialAudioObjectRenderStreamBase::EndUpdatingAudioObjects");
    RendererCore& core = RendererCore::Instance();
    std::shared_ptr<const PassObserver> pObserver;
    Pass pass;
    {
        std::lock_guard<std::mutex> lock(core.Mutex());
        if (LostLocked()) {
            m_bInPass = false;
            return SPTLAUDCLNT_E_RESOURCES_INVALIDATED;
        }
        if (!m_bInPass) {
            ++m_stats.outOfOrderCalls;
            return SPTLAUDCLNT_E_OUT_OF_ORDER;
        }
        m_bInPass = false;
        // Nothing is allocated for a pass that nobody captures or observes.
        const bool bRecord = core.WantsPassesLocked(m_uGeneration);
        if (bRecord) {
            pass.streamId = m_uId;
            pass.index = m_stats.passes;
            pass.frames = m_uFrames;
            pass.objects = core.ObjectListLocked(m_objects.size());
        }
        for (AudioObject* pObject : m_objects) {
            if (pObject->EndPassLocked(bRecord ? &pass : nullptr)) {
                ++m_stats.objectsEndedImplicitly;
            }
        }
        ++m_stats.passes;
        // Step waits until the thread that ended the pass is back in a wait: the thread takes
        // the debt the step incurred for the pass over, or incurs one for a pass no step awaits.
        if (m_bPassAwaited) {
            m_bPassAwaited = false;
            StepDebts::Owe();
        } else if (core.SteppedLocked() && m_uGeneration == core.GenerationLocked()) {
            StepDebts::Incur();
            StepDebts::Owe();
        }
        if (bRecord) {
            pObserver = core.RecordPassLocked(pass);
        }
    }
    // Nobody waits for a pass's end but the step, which its debt wakes.
    if (pObserver) {
        (*pObserver)(pass);
    }
    return S_OK;
}

HRESULT RenderStream::ActivateSpatialAudioObject(AudioObjectType type,
                                                 ISpatialAudioObject** audioObject) {
    STANDIN_CALL_HRESULT("ISpatialAudioObjectRenderStream::ActivateSpatialAudioObject");
    if (audioObject == nullptr) {
        return E_POINTER;
    }
    *audioObject = nullptr;
    RendererCore& core = RendererCore::Instance();
    std::lock_guard<std::mutex> lock(core.Mutex());
    if (LostLocked()) {
        return SPTLAUDCLNT_E_RESOURCES_INVALIDATED;
    }
    const uint32_t uType = static_cast<uint32_t>(type);
    if (uType == AudioObjectType_Dynamic) {
        if (m_uActiveDynamic >= m_uMaxDynamic) {
            return SPTLAUDCLNT_E_NO_MORE_OBJECTS;
        }
        if (m_uActiveDynamic >= m_uMinDynamic && core.FreeDynamicObjectsLocked(Endpoint()) == 0) {
            return SPTLAUDCLNT_E_NO_MORE_OBJECTS;
        }
    } else if (IsStaticType(uType)) {
        if ((m_uStaticMask & uType) == 0) {
            return SPTLAUDCLNT_E_STATIC_OBJECT_NOT_AVAILABLE;
        }
        for (const AudioObject* pObject : m_objects) {
            if (pObject->Type() == type && pObject->ActiveLocked()) {
                return SPTLAUDCLNT_E_OBJECT_ALREADY_ACTIVE;
            }
        }
    } else {
        return E_INVALIDARG;
    }
    auto* pObject = new AudioObject(this, core.NewObjectIdLocked(), type);
    m_objects.push_back(pObject);
    if (pObject->IsDynamic()) {
        ++m_uActiveDynamic;
    }
    *audioObject = pObject;
    return S_OK;
}

}  // namespace detail
}  // namespace standin
