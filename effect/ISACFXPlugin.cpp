#include "ISACFXPlugin.h"

#include <string.h>

#include "AssertHook.h"
#include "BedObjects.h"
#include "BusInterleaver.h"
#include "HostMemory.h"
#include "PacingSizes.h"
#include "RingFormat.h"
#include "SampleRateMatch.h"
#include "SpatialStreamOpener.h"
#include "StreamHandOver.h"

namespace {

constexpr const char* kSource = "ISACFX";
constexpr const char* kChannelCountMessage =
    "Windows Sonic Effect plugin error: Channel Count > 12";
constexpr uint32_t kErrorLevel = 2;
// The notice for a renderer at another rate than the engine's ("...: the engine runs at 44100 Hz,
// the renderer plays at 48000 Hz; ..."), at kErrorLevel.
constexpr const char* kWrongRatePrefix = "Windows Sonic Effect plugin error: ";
constexpr const char* kWrongRateSuffix = "; the bus plays through the engine";
constexpr const char* kRingInitFailedReport = "!\"ISAC CBuffer InitFailed.\"";

// All twelve bed types are reserved whatever the bus's channel count; no dynamic objects are used,
// but the renderer's maximum is asked: without spatial sound (0) the effect does not divert.
constexpr SpatialStreamRequest kStreamRequest = {kBedObjectMask, DynamicObjectUse::None, true, 1,
                                                 false};

// The longest the worker waits for the renderer before it takes the stream for lost.
constexpr DWORD kPassWaitMs = 100;

// The rate that audio time goes by when neither the host nor the renderer names one.
constexpr uint32_t kFallbackSampleRate = 48000;

constexpr uint32_t kSampleBytes = sizeof(float);

uint32_t Min(uint32_t in_uA, uint32_t in_uB) {
    return in_uA < in_uB ? in_uA : in_uB;
}

// The ring's producer of a bus buffer's interleaved frames (the context is its BusColumns).
void ProduceBusFrames(void* in_pContext, uint32_t in_uFirstFrame, uint32_t in_uFrames,
                      uint8_t* out_pDestination) {
    InterleaveBusFrames(*static_cast<const BusColumns*>(in_pContext), in_uFirstFrame, in_uFrames,
                        reinterpret_cast<float*>(out_pDestination));
}

}  // namespace

ISACFXPlugin::ISACFXPlugin()
    : m_pScratch(nullptr),
      m_uPeriodFrames(0),
      m_uFrameBytes(0),
      m_uNumChannels(0),
      m_pInterleave(nullptr),
      m_channelLayout(),
      m_uRingBytes(0),
      m_uInterleaveBytes(0),
      m_pRing(nullptr),
      m_bRunning(false),
      m_eStreamState(StreamClosed),
      m_uMaxDynamicObjects(0),
      m_bed(),
      m_pWork(nullptr),
      m_uInterleaveFrames(0),
      m_uScratchFrames(0),
      m_uOpenedSampleRate(0),
      m_uEngineSampleRate(kUnstatedSampleRate),
      m_bRateNoticed(false),
      m_uRateNoticeDue(0),
      m_pContext(nullptr),
      m_reopen(),
      m_tick(),
      m_uTickMilliseconds(0) {}

// The members do the releasing, in reverse order of declaration: the bed objects (the array from
// its last entry down), the stream, the client, and last the event.
ISACFXPlugin::~ISACFXPlugin() = default;

ZvResult ISACFXPlugin::TermPlugin(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    if (m_pInterleave != nullptr && in_pAllocator != nullptr) {
        in_pAllocator->Free(m_pInterleave);
        m_pInterleave = nullptr;
    }
    if (m_bRunning.load(std::memory_order_relaxed)) {
        m_bRunning.store(false, std::memory_order_release);
        // The worker notices at the end of its cycle: at most one wait of kPassWaitMs.
        WaitForThreadpoolWorkCallbacks(m_pWork, FALSE);
        CloseThreadpoolWork(m_pWork);
        m_pWork = nullptr;
    }
    if (in_pAllocator == nullptr) {
        return ZV_Success;  // nothing can be given back without the allocator
    }
    if (m_pScratch != nullptr) {
        in_pAllocator->Free(m_pScratch);
        m_pScratch = nullptr;
    }
    HostDelete(in_pAllocator, m_pRing);
    m_pRing = nullptr;
    HostDelete(in_pAllocator, this);
    return ZV_Success;
}

ZvResult ISACFXPlugin::ResetPlugin() {
    if (m_pRing != nullptr) {
        m_pRing->Reset();
    }
    return ZV_Success;
}

ZvResult ISACFXPlugin::DescribePlugin(ZvPluginInfo& out_rPluginInfo) {
    out_rPluginInfo.eType = ZvPluginTypeEffect;
    out_rPluginInfo.uBuildVersion = kZvBuildVersion;
    out_rPluginInfo.bIsInPlace = true;
    out_rPluginInfo.bCanProcessObjects = false;
    return ZV_Success;
}

ZvResult ISACFXPlugin::TimeSkip(uint32_t /*in_uFrames*/) {
    return ZV_UnsupportedOperation;
}

ZvResult ISACFXPlugin::InitPlugin(ZV::IPluginMemAlloc* in_pAllocator,
                                  ZV::IEffectPluginContext* in_pContext,
                                  ZV::IPluginParam* /*in_pParams*/, ZvAudioFormat& io_rFormat) {
    // The host initialises an effect once; a second set-up would lose the first one's worker.
    ZV_CHECK(kSource, m_pWork == NULL);
    if (m_pWork != nullptr) {
        return ZV_Failure;
    }
    ZV_CHECK(kSource, in_pAllocator != NULL);
    ZV_CHECK(kSource, in_pContext != NULL);
    if (in_pAllocator == nullptr || in_pContext == nullptr) {
        return ZV_Failure;
    }

    const ZvChannelLayout layout = io_rFormat.channelConfig;
    m_uNumChannels = static_cast<uint16_t>(layout.uNumChannels);
    if (m_uNumChannels > kMaxChannels) {
        in_pContext->PostMonitorMessage(kChannelCountMessage, kErrorLevel);
        return ZV_Failure;
    }
    if (m_uNumChannels == 0) {
        return ZV_Failure;  // nothing to divert, and no frame to size the ring by
    }
    m_channelLayout = layout;
    m_pContext = in_pContext;

    // A renderer at another rate than the engine's gets nothing: the bus stays with the engine
    // rather than play 8.8 % sharp and fast.
    m_uEngineSampleRate = io_rFormat.uSampleRate;
    if (OpenSpatialStream() != ZV_Success) {
        PostRateNotice();
        return ZV_Failure;
    }
    m_eStreamState.store(StreamRunning, std::memory_order_relaxed);  // published by the submission
    for (uint32_t uEntry = 0; uEntry < kMaxChannels; ++uEntry) {
        m_bed[uEntry].eType = static_cast<uint32_t>(kBedObjectTypes[uEntry]);
    }
    // A host that names no rate runs at the renderer's, and every re-open must find it again.
    if (m_uEngineSampleRate == kUnstatedSampleRate) {
        m_uEngineSampleRate = m_uOpenedSampleRate != 0 ? m_uOpenedSampleRate : kFallbackSampleRate;
    }
    const uint32_t uSampleRate = m_uEngineSampleRate;

    m_uFrameBytes = static_cast<uint16_t>(m_uNumChannels * kSampleBytes);
    ZV::IGlobalPluginContext* pGlobal = in_pContext->GlobalContext();
    m_uInterleaveFrames = pGlobal != nullptr ? pGlobal->GetFramesPerBuffer() : 0;
    // The scratch and the ring are sized for the largest period a re-opened endpoint may have, so
    // that a re-open never needs memory.
    m_uScratchFrames = SizingPeriodFrames(m_uPeriodFrames);
    m_reopen.Configure(m_uInterleaveFrames, uSampleRate);
    // Without a stream the worker ticks once per render period (whole milliseconds, at least one).
    m_uTickMilliseconds = TickMilliseconds(m_uPeriodFrames);
    // The ring holds a sink's whole queue and a period a late renderer has not taken yet
    // (PacingSizes.h says why that is enough).
    uint32_t uPassBytes = 0;
    if (m_uInterleaveFrames == 0 ||
        !SizeProduct32(m_uInterleaveBytes, m_uFrameBytes, m_uInterleaveFrames) ||
        !SizeProduct32(uPassBytes, m_uFrameBytes, m_uScratchFrames) ||
        !SizeProduct32(m_uRingBytes, m_uFrameBytes,
                       EffectRingFrames(m_uScratchFrames, m_uInterleaveFrames))) {
        ReleaseSetUp(in_pAllocator);
        return ZV_Failure;
    }

    m_pInterleave = static_cast<float*>(HostAllocateZeroed(in_pAllocator, m_uInterleaveBytes));
    if (m_pInterleave == nullptr || !m_tick.Create()) {
        ReleaseSetUp(in_pAllocator);
        return ZV_Failure;
    }
    m_pRing = HostNew<CBuffer>(in_pAllocator, m_uRingBytes, in_pAllocator, kRingInitFailedReport);
    if (m_pRing == nullptr || !m_pRing->IsUsable()) {
        ReleaseSetUp(in_pAllocator);
        return ZV_Failure;
    }
    // The ring only needs the frame counts to be non-zero; a period beyond 16 bits is clamped.
    const uint16_t uReaderFrames =
        static_cast<uint16_t>(m_uScratchFrames > 0xFFFFu ? 0xFFFFu : m_uScratchFrames);
    m_pRing->SetReaderFormat(RingFormat::Float32(m_uNumChannels, uReaderFrames));
    m_pRing->SetWriterFormat(
        RingFormat::Float32(m_uNumChannels, static_cast<uint16_t>(m_uInterleaveFrames)));
    m_pScratch = static_cast<float*>(HostAllocateZeroed(in_pAllocator, uPassBytes));
    if (m_pScratch == nullptr) {
        ReleaseSetUp(in_pAllocator);
        return ZV_Failure;
    }

    m_bRunning.store(true, std::memory_order_relaxed);  // published by the submission
    m_pWork = CreateThreadpoolWork(&ISACFXPlugin::RenderWorkerCallback, this, nullptr);
    if (m_pWork == nullptr) {
        m_bRunning.store(false, std::memory_order_relaxed);
        ReleaseSetUp(in_pAllocator);
        return ZV_Failure;
    }
    SubmitThreadpoolWork(m_pWork);
    return ZV_Success;
}

void ISACFXPlugin::ReleaseSetUp(ZV::IPluginMemAlloc* in_pAllocator) {
    if (m_pScratch != nullptr) {
        in_pAllocator->Free(m_pScratch);
        m_pScratch = nullptr;
    }
    HostDelete(in_pAllocator, m_pRing);
    m_pRing = nullptr;
    if (m_pInterleave != nullptr) {
        in_pAllocator->Free(m_pInterleave);
        m_pInterleave = nullptr;
    }
    ReleaseStream();
    m_tick.Close();
    m_eStreamState.store(StreamClosed, std::memory_order_relaxed);
}

void ISACFXPlugin::ReleaseStream() {
    // The objects belong to the stream, and the event goes only after the stream that signals it.
    for (uint32_t uEntry = kMaxChannels; uEntry-- > 0;) {
        m_bed[uEntry].pObject.Reset();
    }
    m_pStream.Reset();
    m_pClient.Reset();
    m_hEvent.Reset();
    m_uMaxDynamicObjects.store(0, std::memory_order_relaxed);
}

uint32_t ISACFXPlugin::TickMilliseconds(uint32_t in_uPeriodFrames) const {
    const uint32_t uRate = m_reopen.SampleRate() != 0 ? m_reopen.SampleRate() : kFallbackSampleRate;
    const uint32_t uMs =
        static_cast<uint32_t>((uint64_t{in_uPeriodFrames} * 1000 + uRate / 2) / uRate);
    return uMs != 0 ? uMs : 1;
}

ZvResult ISACFXPlugin::OpenSpatialStream() {
    // Nothing of a previous stream survives an open, failed or not.
    ReleaseStream();

    SpatialStreamRequest request = kStreamRequest;
    request.uEngineSampleRate = m_uEngineSampleRate;
    SpatialStream opened;
    switch (OpenDefaultSpatialStream(request, opened)) {
        case SpatialOpenResult::NoEndpoint:
            m_eStreamState.store(StreamClosed, std::memory_order_relaxed);
            return ZV_Failure;
        case SpatialOpenResult::Failed:
            return ZV_Failure;
        case SpatialOpenResult::WrongRate:
            // One notice until a stream opens again; the audio thread posts it.
            if (!m_bRateNoticed) {
                m_bRateNoticed = true;
                m_uRateNoticeDue.store(opened.uSampleRate != 0 ? opened.uSampleRate : UINT32_MAX,
                                       std::memory_order_release);
            }
            return ZV_Failure;
        case SpatialOpenResult::Opened:
            break;
    }
    m_bRateNoticed = false;
    m_uPeriodFrames = opened.uFrameCount;
    m_uMaxDynamicObjects.store(opened.uMaxDynamicObjects, std::memory_order_relaxed);
    m_uOpenedSampleRate = opened.uSampleRate;
    if (m_uTickMilliseconds != 0) {
        m_uTickMilliseconds = TickMilliseconds(m_uPeriodFrames);
    }
    m_pStream = std::move(opened.stream);
    m_pClient = std::move(opened.client);
    m_hEvent = std::move(opened.event);
    return ZV_Success;
}

void ISACFXPlugin::PostRateNotice() {
    const uint32_t uRendererRate = m_uRateNoticeDue.exchange(0, std::memory_order_acquire);
    if (uRendererRate == 0 || m_pContext == nullptr) {
        return;
    }
    const RateMismatchText text(kWrongRatePrefix, m_uEngineSampleRate,
                                uRendererRate == UINT32_MAX ? 0 : uRendererRate, kWrongRateSuffix);
    m_pContext->PostMonitorMessage(text.Get(), kErrorLevel);
}

bool ISACFXPlugin::Diverts(const ZvSampleBuffer& in_buffer) const {
    // Only a complete set-up with a worker to drain the ring, and a renderer that offers spatial
    // sound, takes the bus; a bus without speaker bits has no column to fill and passes through.
    return m_pWork != nullptr && m_uMaxDynamicObjects.load(std::memory_order_relaxed) > 0 &&
           in_buffer.pData != nullptr && m_channelLayout.uChannelMask != 0 &&
           in_buffer.channelConfig.uChannelMask != 0;
}

void ISACFXPlugin::ProcessInPlace(ZvSampleBuffer* io_pBuffer) {
    if (io_pBuffer == nullptr || m_pRing == nullptr) {
        return;
    }
    m_reopen.CountBuffer();
    if (m_uRateNoticeDue.load(std::memory_order_relaxed) != 0) {
        PostRateNotice();
    }
    if (io_pBuffer->uValidFrames == 0) {
        return;
    }
    // A stream the worker re-opened starts with this buffer.
    TakeOpenedStream(m_eStreamState, *m_pRing);
    if (m_eStreamState.load(std::memory_order_acquire) != StreamRunning) {
        return;  // the bus passes through
    }
    if (!Diverts(*io_pBuffer)) {
        return;
    }

    // Never past the host's buffer nor past the interleave buffer.
    const uint32_t uFrames =
        Min(Min(io_pBuffer->uValidFrames, io_pBuffer->uMaxFrames), m_uInterleaveFrames);
    if (uFrames == 0) {
        return;
    }
    // The interleaved frames go straight into the ring, the interleaving being their one pass
    // through memory; a ring that cannot take them in place gets them through m_pInterleave.
    BusColumns columns;
    FindBusColumns(*io_pBuffer, m_channelLayout.uChannelMask, m_uNumChannels, columns);
    if (!m_pRing->WriteFrames(uFrames, &ProduceBusFrames, &columns)) {
        InterleaveBusFrames(columns, 0, uFrames, m_pInterleave);
        m_pRing->Write(uFrames * m_uFrameBytes, m_pInterleave);
    }

    // The frames sent to the renderer leave silence in the engine's buffer.
    const uint32_t uChannels = Min(m_uNumChannels, io_pBuffer->NumChannels());
    for (uint32_t uChannel = 0; uChannel < uChannels; ++uChannel) {
        memset(io_pBuffer->GetChannel(uChannel), 0, uFrames * kSampleBytes);
    }
}

VOID CALLBACK ISACFXPlugin::RenderWorkerCallback(PTP_CALLBACK_INSTANCE /*in_pInstance*/,
                                                 PVOID in_pvContext, PTP_WORK /*in_pWork*/) {
    static_cast<ISACFXPlugin*>(in_pvContext)->RenderWorker();
}

void ISACFXPlugin::RenderWorker() {
    // The renderer's objects are used from the multithreaded apartment. The pool thread is handed
    // back as it was found.
    const HRESULT hrCom = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    PassRecord passes;
    while (m_bRunning.load(std::memory_order_acquire)) {
        const int32_t eState = m_eStreamState.load(std::memory_order_acquire);
        if (eState == StreamRunning || eState == StreamOpened) {
            m_tick.Stop();
            RenderCycle(passes);
        } else {
            // The next stream starts a new record.
            passes = PassRecord();
            IdleCycle();
        }
    }
    m_tick.Stop();
    if (SUCCEEDED(hrCom)) {
        CoUninitialize();
    }
}

void ISACFXPlugin::IdleCycle() {
    // Never spin: one look per tick, at most one per render period.
    if (!m_tick.Started()) {
        m_tick.Start(m_uTickMilliseconds);
    }
    if (m_tick.WaitTick(kPassWaitMs) && m_reopen.Due()) {
        Reopen();
    }
}

void ISACFXPlugin::RenderCycle(PassRecord& io_passes) {
    if (WaitForSingleObject(m_hEvent.Get(), kPassWaitMs) != WAIT_OBJECT_0) {
        LoseStream(false);
        return;
    }
    for (uint32_t uEntry = 0; uEntry < m_uNumChannels; ++uEntry) {
        BedEntry& entry = m_bed[uEntry];
        if (!entry.pObject) {
            // A failure leaves the entry empty; the pass then writes nothing.
            m_pStream->ActivateSpatialAudioObject(static_cast<AudioObjectType>(entry.eType),
                                                  entry.pObject.ReleaseAndGetAddressOf());
        }
    }
    UINT32 uAvailableDynamicObjects = 0;
    UINT32 uReportedFrames = 0;
    const bool bBegun = SUCCEEDED(
        m_pStream->BeginUpdatingAudioObjects(&uAvailableDynamicObjects, &uReportedFrames));
    // The audio thread may have taken a re-opened stream over during the wait.
    const bool bPlaying = m_eStreamState.load(std::memory_order_acquire) == StreamRunning;
    const bool bDelivered = bBegun && FillPass(uReportedFrames, bPlaying);
    const bool bEnded = SUCCEEDED(m_pStream->EndUpdatingAudioObjects());
    if (bDelivered && bEnded) {
        io_passes.uUndelivered = 0;
        io_passes.bDelivered = true;
    } else {
        ++io_passes.uUndelivered;
    }
    // Objects that keep failing lose the bus as surely as a lost stream: the bus passes through
    // once the stream counts as lost.
    const bool bObjectsFailing = io_passes.uUndelivered >= kUndeliveredPassLimit;
    if (!bBegun || !bEnded || bObjectsFailing) {
        LoseStream(bBegun && bEnded && !io_passes.bDelivered);
    }
}

void ISACFXPlugin::LoseStream(bool in_bObjectsNeverPlayed) {
    // The audio thread lets the bus pass through from its next buffer.
    m_eStreamState.store(StreamLost, std::memory_order_release);
    ReleaseStream();
    if (in_bObjectsNeverPlayed) {
        // As good as a failed open: the next try waits for its time.
        m_reopen.Failed();
        m_eStreamState.store(StreamClosed, std::memory_order_release);
        return;
    }
    Reopen();
}

void ISACFXPlugin::Reopen() {
    m_reopen.Record(OpenSpatialStream() == ZV_Success, m_eStreamState);
}

bool ISACFXPlugin::FillPass(uint32_t in_uReportedFrames, bool in_bPlaying) {
    float* apBuffers[kMaxChannels] = {};
    uint32_t auBufferFrames[kMaxChannels] = {};
    // Never past the scratch nor past any object's buffer.
    uint32_t uFrames = Min(in_uReportedFrames, m_uScratchFrames);
    bool bAllBuffers = true;
    for (uint32_t uEntry = 0; uEntry < m_uNumChannels; ++uEntry) {
        ComPtr<ISpatialAudioObject>& object = m_bed[uEntry].pObject;
        if (!object) {
            bAllBuffers = false;
            continue;
        }
        BYTE* pBuffer = nullptr;
        UINT32 uBufferBytes = 0;
        if (FAILED(object->GetBuffer(&pBuffer, &uBufferBytes))) {
            // An object the renderer has ended stays unusable: release it so that the next pass
            // activates a new one.
            object.Reset();
            bAllBuffers = false;
            continue;
        }
        if (pBuffer == nullptr) {
            bAllBuffers = false;
            continue;
        }
        apBuffers[uEntry] = reinterpret_cast<float*>(pBuffer);
        auBufferFrames[uEntry] = uBufferBytes / kSampleBytes;
        uFrames = Min(uFrames, auBufferFrames[uEntry]);
    }
    if (!bAllBuffers) {
        // The period goes by all the same: the engine's frames for it leave the ring, so that
        // the ring holds no more after the objects are back than before they failed (it would
        // otherwise play everything later by a period for every such pass).
        if (in_bPlaying) {
            m_pRing->Discard(Min(in_uReportedFrames, m_uScratchFrames) * m_uFrameBytes);
        }
        return false;
    }

    // All or nothing: a ring that ran short (or was just emptied by ResetPlugin) gives silence,
    // and so does a stream that waits to be taken over (the ring is not its own yet).
    const bool bRead =
        in_bPlaying && uFrames > 0 && m_pRing->Read(uFrames * m_uFrameBytes, m_pScratch);
    const uint32_t uColumns = m_uNumChannels;
    for (uint32_t uEntry = 0; uEntry < uColumns; ++uEntry) {
        float* pOut = apBuffers[uEntry];
        if (bRead) {
            const float* pIn = m_pScratch + uEntry;
            for (uint32_t uFrame = 0; uFrame < uFrames; ++uFrame) {
                pOut[uFrame] = pIn[static_cast<size_t>(uFrame) * uColumns];
            }
        } else {
            memset(pOut, 0, uFrames * kSampleBytes);
        }
        memset(pOut + uFrames, 0, (auBufferFrames[uEntry] - uFrames) * kSampleBytes);
    }
    return true;
}

ZV::IPlugin* CreateISACFXPlugin(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    return HostNew<ISACFXPlugin>(in_pAllocator);
}
