// The sink's life: creation, InitPlugin (layout, stream, buffers, worker), the stream's opening and
// re-opening, and TermPlugin. The frame operations are in ZvSinkFrameFlow.cpp, the render worker
// in ZvSinkRenderWorker.cpp.
#include "ZvSinkISAC.h"

#include <utility>

#include "AssertHook.h"
#include "HostMemory.h"
#include "PacingSizes.h"
#include "SampleRateMatch.h"
#include "SpatialStreamOpener.h"

namespace {

constexpr const char* kSource = "ZvSinkISAC";
// The rate that audio time and the pacing timer go by when neither the host nor the renderer
// names one.
constexpr uint32_t kFallbackSampleRate = 48000;

// The bed stream: the twelve static types, no dynamic objects, a Start whose result is not looked
// at, and the family's activation record with its last version number 0.
constexpr SpatialStreamRequest kBedStreamRequest = {kBedObjectMask, DynamicObjectUse::None, false,
                                                    0, false};

// The ring's frame counts are 16-bit; the ring only needs them to be non-zero.
uint16_t RingFrameCount(uint32_t in_uFrames) {
    return in_uFrames > 0xFFFFu ? static_cast<uint16_t>(0xFFFFu)
                                : static_cast<uint16_t>(in_uFrames);
}

}  // namespace

ZvSinkISAC::ZvSinkISAC()
    : m_uCurrentSlot(0),
      m_uFrameBytes(0),
      m_channelLayout(),
      m_uRingBytes(0),
      m_uSlotBytes(0),
      m_pRing(nullptr),
      m_bRunning(false),
      m_pScratch(nullptr),
      m_uPeriodFrames(0),
      m_eStreamState(StreamClosed),
      m_uNumBedObjects(0),
      m_iNumSlots(0),
      m_pContext(nullptr),
      m_pParams(nullptr),
      m_pSlotStorage(nullptr),
      m_pSlots(),
      m_bStarved(false),
      m_bFrameConsumed(false),
      m_pWork(nullptr),
      m_pAllocator(nullptr),
      m_uFramesPerBuffer(0),
      m_uScratchFrames(0),
      m_uOpenedSampleRate(0),
      m_uEngineSampleRate(kUnstatedSampleRate),
      m_bRateReported(false),
      m_reopen(),
      m_tick(),
      m_uTickMilliseconds(0),
      m_uTickFramesX1000(0),
      m_uQueueFrames(0) {
    for (BedEntry& entry : m_bed) {
        entry.eType = AudioObjectType_None;
    }
}

ZvSinkISAC::~ZvSinkISAC() {
    ReleaseAll();
}

ZvResult ZvSinkISAC::DescribePlugin(ZvPluginInfo& out_rPluginInfo) {
    out_rPluginInfo.eType = ZvPluginTypeSink;
    out_rPluginInfo.uBuildVersion = kZvBuildVersion;
    out_rPluginInfo.bIsInPlace = false;
    // The byte between the two flags is the host's; the sink leaves it as it is.
    out_rPluginInfo.bCanProcessObjects = false;
    return ZV_Success;
}

ZvResult ZvSinkISAC::InitPlugin(ZV::IPluginMemAlloc* in_pAllocator,
                                ZV::ISinkPluginContext* in_pContext, ZV::IPluginParam* in_pParams,
                                ZvAudioFormat& io_rFormat) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    ZV_CHECK(kSource, in_pContext != NULL);
    // The host initialises a sink once; a second call would leak what the first one took.
    ZV_CHECK(kSource, m_pAllocator == NULL);
    if (in_pAllocator == nullptr || in_pContext == nullptr || m_pAllocator != nullptr) {
        return ZV_DeviceNotOpened;
    }
    ZV::IGlobalPluginContext* const pGlobal = in_pContext->GlobalContext();
    ZV_CHECK(kSource, pGlobal != NULL);
    if (pGlobal == nullptr) {
        return ZV_DeviceNotOpened;
    }

    m_pAllocator = in_pAllocator;
    m_pContext = in_pContext;
    // The host hands the sink the parameter object created from the sink's own registration.
    m_pParams = static_cast<SinkPluginParams*>(in_pParams);

    // Frames per host buffer are taken once: every later use (slot size, IsDataNeeded, silent
    // buffers, the bound on a buffer's frames) goes by this value.
    m_uFramesPerBuffer = pGlobal->GetFramesPerBuffer();
    m_iNumSlots = in_pContext->GetBufferCount();
    if (m_uFramesPerBuffer == 256 && m_iNumSlots < 5) {
        m_iNumSlots = 5;
    } else if (m_uFramesPerBuffer == 512 && m_iNumSlots < 3) {
        m_iNumSlots = 3;
    }
    // The slot table has kMaxSlots entries, and at least one slot must exist.
    ZV_CHECK(kSource, m_iNumSlots >= 1 && m_iNumSlots <= kMaxSlots);
    if (m_iNumSlots < 1) {
        m_iNumSlots = 1;
    } else if (m_iNumSlots > kMaxSlots) {
        m_iNumSlots = kMaxSlots;
    }

    // The layout: ChannelConfig's (without parameters, the parameters' default, stereo). A value
    // that names none is reported and falls back to the host's layout when that is one of the
    // four, else to stereo: the sink never plays without a bed object per channel. The host then
    // renders in it.
    const uint32_t uChannelConfig = m_pParams != nullptr ? m_pParams->GetChannelConfig() : 0;
    ZV_CHECK(kSource, uChannelConfig < kSinkLayoutCount);
    if (!SinkLayoutFromConfig(uChannelConfig, m_channelLayout)) {
        m_channelLayout = SinkFallbackLayout(io_rFormat.channelConfig);
    }
    m_uNumBedObjects = m_channelLayout.uNumChannels;
    io_rFormat.channelConfig = m_channelLayout;
    for (uint32_t i = 0; i < kBedObjectCount; ++i) {
        m_bed[i].eType = kBedObjectTypes[i];
    }

    // Nothing can be played without frames: fail before anything is opened.
    ZV_CHECK(kSource, m_uFramesPerBuffer != 0);
    if (m_uFramesPerBuffer == 0) {
        return ZV_DeviceNotOpened;
    }

    // A renderer at another rate than the engine's is no device for it: the engine then plays
    // on its own output rather than 8.8 % sharp and fast.
    m_uEngineSampleRate = io_rFormat.uSampleRate;
    if (OpenSpatialStream() != ZV_Success) {
        return ZV_DeviceNotOpened;
    }
    m_eStreamState.store(StreamRunning, std::memory_order_relaxed);  // published by the submission
    // The scratch and the ring are sized for the largest period a re-opened endpoint may have, so
    // that a re-open never needs memory.
    m_uScratchFrames = SizingPeriodFrames(m_uPeriodFrames);
    // A host that names no rate runs at the renderer's, and every re-open must find it again.
    if (m_uEngineSampleRate == kUnstatedSampleRate) {
        m_uEngineSampleRate = m_uOpenedSampleRate != 0 ? m_uOpenedSampleRate : kFallbackSampleRate;
    }
    const uint32_t uSampleRate = m_uEngineSampleRate;
    m_reopen.Configure(m_uFramesPerBuffer, uSampleRate);
    // The pacing timer ticks once per render period (in whole milliseconds, at least one).
    m_uTickMilliseconds = TickMilliseconds(m_uPeriodFrames);
    if (!m_tick.Create() || !AllocateBuffers()) {
        ReleaseAll();
        return ZV_DeviceNotOpened;
    }

    // One run of the work routine lasts for the sink's whole life.
    m_bRunning.store(true, std::memory_order_release);
    m_pWork = CreateThreadpoolWork(&ZvSinkISAC::RenderWorker, this, nullptr);
    if (m_pWork == nullptr) {
        m_bRunning.store(false, std::memory_order_release);
        ReleaseAll();
        return ZV_DeviceNotOpened;
    }
    SubmitThreadpoolWork(m_pWork);
    return ZV_Success;
}

bool ZvSinkISAC::AllocateBuffers() {
    const uint32_t uChannels = m_channelLayout.uNumChannels;
    m_uFrameBytes = static_cast<uint16_t>(uChannels * sizeof(float));

    uint32_t uStorageBytes = 0;
    if (!SizeProduct32(m_uSlotBytes, m_uFrameBytes, m_uFramesPerBuffer) ||
        !SizeProduct32(uStorageBytes, m_iNumSlots, m_uSlotBytes)) {
        return false;
    }
    m_pSlotStorage = static_cast<uint8_t*>(HostAllocateZeroed(m_pAllocator, uStorageBytes));
    if (m_pSlotStorage == nullptr) {
        return false;
    }
    for (int32_t i = 0; i < m_iNumSlots; ++i) {
        m_pSlots[i] =
            reinterpret_cast<float*>(m_pSlotStorage + static_cast<size_t>(i) * m_uSlotBytes);
    }

    // The ring holds the queue the host keeps (a period plus a buffer) and the buffer that tops it
    // up, for the largest period (PacingSizes.h says why that never runs dry nor over).
    const uint64_t uRingFrames =
        SinkRingFrames(m_uScratchFrames, m_uFramesPerBuffer, static_cast<uint32_t>(m_iNumSlots));
    if (!SizeProduct32(m_uRingBytes, uRingFrames, m_uFrameBytes)) {
        return false;
    }
    m_pRing = HostNew<CBuffer>(m_pAllocator, m_uRingBytes, m_pAllocator,
                               "!\"ISAC CirBuffer InitFailed.\"");
    if (m_pRing == nullptr || !m_pRing->IsUsable()) {
        return false;
    }
    // The reader's format first: it also rewinds both positions.
    m_pRing->SetReaderFormat(
        RingFormat::Float32(static_cast<uint16_t>(uChannels), RingFrameCount(m_uScratchFrames)));
    m_pRing->SetWriterFormat(
        RingFormat::Float32(static_cast<uint16_t>(uChannels), m_uFramesPerBuffer));

    uint32_t uScratchBytes = 0;
    if (!SizeProduct32(uScratchBytes, m_uFrameBytes, m_uScratchFrames)) {
        return false;
    }
    m_pScratch = static_cast<float*>(HostAllocateZeroed(m_pAllocator, uScratchBytes));
    return m_pScratch != nullptr;
}

uint32_t ZvSinkISAC::TickMilliseconds(uint32_t in_uPeriodFrames) const {
    // One render period in whole milliseconds, at least one, at the engine's rate.
    const uint32_t uRate = m_reopen.SampleRate() != 0 ? m_reopen.SampleRate() : kFallbackSampleRate;
    const uint32_t uMs =
        static_cast<uint32_t>((uint64_t{in_uPeriodFrames} * 1000 + uRate / 2) / uRate);
    return uMs != 0 ? uMs : 1;
}

ZvResult ZvSinkISAC::OpenSpatialStream() {
    // Nothing of a previous stream survives an open; the objects belong to that stream, and the
    // old stream goes before its event.
    ReleaseStream();

    SpatialStreamRequest request = kBedStreamRequest;
    request.uEngineSampleRate = m_uEngineSampleRate;
    SpatialStream opened;
    const SpatialOpenResult eResult = OpenDefaultSpatialStream(request, opened);
    if (eResult == SpatialOpenResult::WrongRate && !m_bRateReported) {
        // Once until a stream opens again: a renderer that stays at its rate is not reported at
        // every try.
        m_bRateReported = true;
        const RateMismatchText text(nullptr, m_uEngineSampleRate, opened.uSampleRate,
                                    ": no stream at the wrong rate");
        ZvReportCheck(text.Get(), kSource, __LINE__);
    }
    if (eResult != SpatialOpenResult::Opened) {
        return ZV_Failure;
    }
    m_bRateReported = false;
    m_pClient = std::move(opened.client);
    m_pStream = std::move(opened.stream);
    m_hEvent = std::move(opened.event);
    m_uPeriodFrames = opened.uFrameCount;
    m_uOpenedSampleRate = opened.uSampleRate;
    // The host thread's queue follows the new period from the frame that takes the stream over
    // (the state's release store publishes it). A period beyond the scratch plays as much of
    // itself as the scratch holds.
    const uint32_t uPeriod = m_uScratchFrames != 0 && m_uPeriodFrames > m_uScratchFrames
                                 ? m_uScratchFrames
                                 : m_uPeriodFrames;
    m_uQueueFrames.store(static_cast<uint32_t>(SinkQueueFrames(uPeriod, m_uFramesPerBuffer)),
                         std::memory_order_relaxed);
    if (m_uTickMilliseconds != 0) {
        m_uTickMilliseconds = TickMilliseconds(m_uPeriodFrames);
    }

    // One object per output channel. An object that cannot be activated stays empty until a
    // later pass activates it; only its channel is silent until then.
    ActivateMissingObjects();
    return ZV_Success;
}

void ZvSinkISAC::StopWorker() {
    m_bRunning.store(false, std::memory_order_release);
    if (m_pWork != nullptr) {
        // The one run ends within a pass wait; pending runs (there are none) are not cancelled.
        WaitForThreadpoolWorkCallbacks(m_pWork, FALSE);
        CloseThreadpoolWork(m_pWork);
        m_pWork = nullptr;
    }
}

void ZvSinkISAC::ReleaseStream() {
    for (uint32_t i = kBedObjectCount; i-- > 0;) {
        m_bed[i].pObject.Reset();
    }
    m_pStream.Reset();
    m_pClient.Reset();
    m_hEvent.Reset();
}

void ZvSinkISAC::ReleaseAll() {
    // The worker goes first: it reads the ring and the scratch and uses the stream.
    StopWorker();

    m_uCurrentSlot = 0;
    for (float*& pSlot : m_pSlots) {
        pSlot = nullptr;
    }
    if (m_pSlotStorage != nullptr) {
        m_pAllocator->Free(m_pSlotStorage);
    }
    if (m_pScratch != nullptr) {
        m_pAllocator->Free(m_pScratch);
    }
    if (m_pRing != nullptr) {
        HostDelete(m_pAllocator, m_pRing);
    }
    m_pSlotStorage = nullptr;
    m_pScratch = nullptr;
    m_pRing = nullptr;
    m_bFrameConsumed = false;

    ReleaseStream();
    m_tick.Close();
    m_eStreamState.store(StreamClosed, std::memory_order_relaxed);
}

ZvResult ZvSinkISAC::TermPlugin(ZV::IPluginMemAlloc* in_pAllocator) {
    ReleaseAll();
    ZV_CHECK(kSource, in_pAllocator != NULL);
    if (in_pAllocator != nullptr) {
        HostDelete(in_pAllocator, this);
    }
    return ZV_Success;
}

ZV::IPlugin* CreateZvSinkISAC(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    return HostNew<ZvSinkISAC>(in_pAllocator);
}
