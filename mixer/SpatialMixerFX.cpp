#include "SpatialMixerFX.h"

#include <string.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "AssertHook.h"
#include "HostMemory.h"
#include "RingFormat.h"
#include "SampleRateMatch.h"
#include "SpatialMixerFXAttachmentParams.h"

namespace {

constexpr const char* kSource = "SpatialMixerFX";
constexpr const char* kRingInitFailedReport = "!\"ISAC CBuff InitFailed.\"";
// The notice for a renderer at another rate than the engine's, an error for the sound designer.
constexpr const char* kWrongRatePrefix = "WS Mixer Plugin: no spatial objects: ";
constexpr const char* kWrongRateSuffix = "; every voice is mixed into the bus";
constexpr uint32_t kWrongRateLevel = 2;
// The rate of the engine's audio time when neither the host nor a renderer names one.
constexpr uint32_t kFallbackSampleRate = 48000;

// pi / 2 in single precision (0x3FC90FDB).
constexpr float kHalfPi = 1.5707964f;
// The gain of each channel of a stereo input in its mono downmix (0x3F333333).
constexpr float kStereoDownmixGain = 0.7f;
// A layout names at most 255 channels: the bed route's matrices have room for that many rows.
constexpr uint32_t kMaxLayoutChannels = 255;

template <typename T>
T Smaller(T in_a, T in_b) {
    return in_a < in_b ? in_a : in_b;
}

// The renderer takes volumes from 0 to 1; anything else (NaN included) is brought into range.
float RendererVolume(float in_fVolume) {
    if (!(in_fVolume > 0.0f)) {
        return 0.0f;
    }
    return in_fVolume > 1.0f ? 1.0f : in_fVolume;
}

// The record as the host expects it before each Get3DPosition.
void PrepareRay(ZV::ZvEmitterRay& out_rRay) {
    out_rRay = ZV::ZvEmitterRay();
    out_rRay.fDistance = 0.0f;
    out_rRay.fAzimuth = 0.0f;
    out_rRay.fElevation = 0.0f;
    out_rRay.uListenerId = 0;
    out_rRay.fSpread = 1.0f;
    out_rRay.fFocus = 1.0f;
    out_rRay.fOcclusion = 1.0f;
    out_rRay.uEmitterChannelMask = 0xFFFFFFFFu;
    out_rRay.uPositionIndex = 0;
}

// An input's share of its object's volume.
float ShareOf(float in_fVolume, float in_fLoudest) {
    return in_fLoudest > 0.0f ? in_fVolume / in_fLoudest : 1.0f;
}

bool SamePosition(const InputSlot& in_a, const InputSlot& in_b) {
    return in_a.fX == in_b.fX && in_a.fY == in_b.fY && in_a.fZ == in_b.fZ;
}

}  // namespace

SpatialMixerFX* SpatialMixerFX::Create(ZV::IPluginMemAlloc* in_pAllocator,
                                       const MixerStreamActivation& in_rActivation) {
    void* pMemory = HostAllocateZeroed(in_pAllocator, sizeof(SpatialMixerFX));
    if (pMemory == nullptr) {
        return nullptr;
    }
    return new (pMemory) SpatialMixerFX(in_pAllocator, in_rActivation);
}

SpatialMixerFX::SpatialMixerFX(ZV::IPluginMemAlloc* in_pAllocator,
                               const MixerStreamActivation& in_rActivation)
    : m_pCreationAllocator(in_pAllocator),
      m_rActivation(in_rActivation),
      m_worker(m_apRecords, kMaxObjectRecords, m_stream, m_iMaxObjects, m_timeline) {}

SpatialMixerFX::~SpatialMixerFX() = default;

// ---- Life cycle ----

ZvResult SpatialMixerFX::InitPlugin(ZV::IPluginMemAlloc* in_pAllocator,
                                    ZV::IMixerPluginContext* in_pContext,
                                    ZV::IPluginParam* in_pParams, ZvAudioFormat& io_rFormat) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    if (in_pAllocator == nullptr || in_pContext == nullptr ||
        in_pContext->GlobalContext() == nullptr || m_pAllocator != nullptr) {
        return ZV_Failure;
    }
    m_pParams = static_cast<SpatialMixerFXParams*>(in_pParams);
    RefreshParameterSnapshot();
    if (m_pParams != nullptr) {
        m_pParams->ClearChangeFlags();
    }
    m_pGlobalContext = in_pContext->GlobalContext();
    m_uMaxFrames = m_pGlobalContext->GetFramesPerBuffer();
    m_uEngineSampleRate = io_rFormat.uSampleRate;
    m_pAllocator = in_pAllocator;
    m_pContext = in_pContext;
    m_outputLayout = io_rFormat.channelConfig;

    if (!m_stream.Init()) {
        return ZV_Failure;
    }
    if (m_stream.Current() == nullptr) {
        // A stream that cannot be opened is no error: every input then takes the bed route.
        MixerRenderStream* pOpened = m_rActivation.Open(in_pAllocator, m_uEngineSampleRate);
        if (pOpened != nullptr && pOpened->State() != StreamRunning) {
            NoticeRefusedRate(*pOpened);
            pOpened->Release();
            pOpened = nullptr;
        }
        m_stream.Exchange(pOpened);
    }
    // The engine's audio time goes at its own rate (the renderer's when the host names none).
    m_uSampleRate = m_uEngineSampleRate;
    if (m_uSampleRate == kUnstatedSampleRate) {
        const uint32_t uRendererRate =
            m_stream.Current() != nullptr ? m_stream.Current()->SampleRate() : 0u;
        m_uSampleRate = uRendererRate != 0 ? uRendererRate : kFallbackSampleRate;
    }
    // Every later stream must have that rate too: the engine's does not change with its output.
    m_uEngineSampleRate = m_uSampleRate;
    m_inputMap.Init(in_pAllocator);
    m_bInputMapReady = true;

    if (!AllocateBuffers()) {
        // Nothing is left running; TermPlugin frees what was allocated.
        ReleaseStream();
        return ZV_Failure;
    }
    const MixerRenderStream* pStream = m_stream.Current();
    if (pStream != nullptr && pStream->State() == StreamRunning && !m_worker.Start()) {
        // Without a worker nobody would feed the objects: run on the bed instead.
        ReleaseStream();
    }
    m_bReady = true;
    return ZV_Success;
}

bool SpatialMixerFX::AllocateBuffers() {
    const uint32_t uChannels =
        m_outputLayout.uNumChannels != 0 ? uint32_t{m_outputLayout.uNumChannels} : 1u;
    const uint32_t uFrames = m_uMaxFrames != 0 ? uint32_t{m_uMaxFrames} : 1u;
    if (!SizeProduct32(m_uBufferBytes, uChannels, uFrames, sizeof(float))) {
        return false;
    }
    if (!AllocateSamples(m_scratch)) {
        return false;
    }
    for (InputSlot& slot : m_aSlots) {
        slot.bAssigned = false;
        if (!AllocateSamples(slot.samples)) {
            return false;
        }
    }
    // Every ring holds what the timeline may hold: the longest period the renderer hands out
    // (or the one of the stream just opened, if it is longer) and four host buffers.
    const MixerRenderStream* pStream = m_stream.Current();
    const uint32_t uRingFrames =
        m_timeline.Configure(uFrames, pStream != nullptr ? pStream->FrameCount() : 0u);
    uint32_t uRingBytes = 0;
    if (!SizeProduct32(uRingBytes, uRingFrames, sizeof(float), 1u)) {
        return false;
    }
    const RingFormat ringFormat = RingFormat::Float32(1, ObjectRecord::kRingFormatFrames);
    for (ObjectRecord*& pRecord : m_apRecords) {
        pRecord = HostNew<ObjectRecord>(m_pAllocator);
        if (pRecord == nullptr) {
            return false;
        }
        pRecord->pRing =
            HostNew<CBuffer>(m_pAllocator, uRingBytes, m_pAllocator, kRingInitFailedReport);
        if (pRecord->pRing == nullptr || !pRecord->pRing->IsUsable()) {
            return false;
        }
        pRecord->pRing->SetReaderFormat(ringFormat);
        pRecord->pRing->SetWriterFormat(ringFormat);
        pRecord->uBufferBytes = m_uBufferBytes;
        if (!AllocateSamples(pRecord->samples)) {
            return false;
        }
    }

    // The bed route's two matrices, for any input the layouts can describe into this output.
    uint32_t uVolumeBytes = 0;
    if (!SizeProduct32(m_uVolumeFloats, kMaxLayoutChannels,
                       ZV::SpeakerVolumeRowStride(m_outputLayout.uNumChannels)) ||
        !SizeProduct32(uVolumeBytes, m_uVolumeFloats != 0 ? m_uVolumeFloats : 1u, sizeof(float))) {
        return false;
    }
    m_pPrevVolumes = static_cast<float*>(HostAllocateZeroed(m_pAllocator, uVolumeBytes));
    m_pNextVolumes = static_cast<float*>(HostAllocateZeroed(m_pAllocator, uVolumeBytes));
    if (m_pPrevVolumes == nullptr || m_pNextVolumes == nullptr) {
        return false;
    }

    return true;
}

bool SpatialMixerFX::AllocateSamples(ZvSampleBuffer& out_rBuffer) {
    out_rBuffer.pData = static_cast<float*>(HostAllocateZeroed(m_pAllocator, m_uBufferBytes));
    out_rBuffer.channelConfig = m_outputLayout;
    out_rBuffer.eState = 0;
    out_rBuffer.uMaxFrames = m_uMaxFrames;
    out_rBuffer.uValidFrames = 0;
    return out_rBuffer.pData != nullptr;
}

void SpatialMixerFX::FreeSamples(ZvSampleBuffer& io_rBuffer) {
    if (io_rBuffer.pData != nullptr) {
        m_pAllocator->Free(io_rBuffer.pData);
        io_rBuffer.pData = nullptr;
    }
}

void SpatialMixerFX::ReleaseStream() {
    MixerRenderStream* pStream = m_stream.Exchange(nullptr);
    if (pStream != nullptr) {
        pStream->Release();
    }
    if (m_pSpentStream != nullptr) {
        m_pSpentStream->Release();
        m_pSpentStream = nullptr;
    }
}

ZvResult SpatialMixerFX::TermPlugin(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    ZV::IPluginMemAlloc* pAllocator =
        in_pAllocator != nullptr ? in_pAllocator : m_pCreationAllocator;
    if (m_bInputMapReady) {
        for (auto it = m_inputMap.begin(); it != m_inputMap.end(); ++it) {
            ZV_CHECK(kSource, (*it).pUserData);
        }
        m_inputMap.Term();
    }

    m_worker.Stop();
    // The objects hold the stream; they go first.
    m_worker.ReleaseObjects();
    if (m_pAllocator != nullptr) {
        FreeSamples(m_scratch);
        for (InputSlot& slot : m_aSlots) {
            FreeSamples(slot.samples);
        }
        for (ObjectRecord*& pRecord : m_apRecords) {
            if (pRecord != nullptr) {
                FreeSamples(pRecord->samples);
                HostDelete(m_pAllocator, pRecord->pRing);
                HostDelete(m_pAllocator, pRecord);
                pRecord = nullptr;
            }
        }
        if (m_pPrevVolumes != nullptr) {
            m_pAllocator->Free(m_pPrevVolumes);
            m_pPrevVolumes = nullptr;
        }
        if (m_pNextVolumes != nullptr) {
            m_pAllocator->Free(m_pNextVolumes);
            m_pNextVolumes = nullptr;
        }
    }
    ReleaseStream();

    if (pAllocator != nullptr) {
        this->~SpatialMixerFX();
        pAllocator->Free(this);
    }
    return ZV_Success;
}

ZvResult SpatialMixerFX::ResetPlugin() {
    if (!m_bReady) {
        return ZV_Success;
    }
    if (m_scratch.pData != nullptr) {
        memset(m_scratch.pData, 0, m_uBufferBytes);
    }
    const MixerRenderStream* pStream = m_stream.Current();
    const uint32_t uRecords =
        Smaller(pStream != nullptr ? pStream->MaxDynamicObjects() : 0u, kMaxObjectRecords);
    for (uint32_t uRecord = 0; uRecord < uRecords; ++uRecord) {
        if (m_apRecords[uRecord] != nullptr && m_apRecords[uRecord]->samples.pData != nullptr) {
            memset(m_apRecords[uRecord]->samples.pData, 0, m_uBufferBytes);
        }
    }
    for (InputSlot& slot : m_aSlots) {
        if (slot.samples.pData != nullptr) {
            memset(slot.samples.pData, 0, m_uBufferBytes);
        }
    }
    return ZV_Success;
}

ZvResult SpatialMixerFX::DescribePlugin(ZvPluginInfo& out_rPluginInfo) {
    out_rPluginInfo.eType = ZvPluginTypeMixer;
    out_rPluginInfo.uBuildVersion = kZvBuildVersion;
    out_rPluginInfo.bIsInPlace = true;
    out_rPluginInfo.bCanProcessObjects = false;
    return ZV_Success;
}

StreamState SpatialMixerFX::CurrentStreamState() const {
    const MixerRenderStream* pStream = m_stream.Current();
    return pStream != nullptr ? pStream->State() : StreamClosed;
}

bool SpatialMixerFX::StreamActivationPending() const {
    const MixerRenderStream* pStream = m_stream.Current();
    return pStream != nullptr && pStream->ActivationPending();
}

void SpatialMixerFX::RefreshParameterSnapshot() {
    if (m_pParams == nullptr) {
        m_bBypass = false;
        m_iMaxObjects.store(SpatialMixerFXParams::kDefaultMaxObjects, std::memory_order_relaxed);
        return;
    }
    const SpatialMixerFXParams::Values values = m_pParams->GetValues();
    m_bBypass = values.bBypass;
    m_iMaxObjects.store(values.iMaxObjects, std::memory_order_relaxed);
}

// ---- Inputs ----

void SpatialMixerFX::ConnectInput(ZV::IMixerInputContext* in_pInput) {
    if (in_pInput != nullptr) {
        in_pInput->GetAttachmentParameters();
    }
}

void SpatialMixerFX::DisconnectInput(ZV::IMixerInputContext* in_pInput) {
    if (in_pInput == nullptr || in_pInput->GetInputData() == nullptr) {
        return;
    }
    if (m_bInputMapReady) {
        m_inputMap.RemoveInput(in_pInput);
    }
    // The input must not keep a pointer to data that is gone.
    in_pInput->SetInputData(nullptr);
}

void SpatialMixerFX::MixInput(ZV::IMixerInputContext* in_pInputContext, ZvVolumeRamp in_baseVolume,
                              ZvVolumeRamp in_emitterListenerVolume,
                              ZvSampleBuffer* io_pInputBuffer, ZvSampleBuffer* io_pMixBuffer) {
    // A mixer whose InitPlugin failed is not usable (and the host does not use it).
    if (in_pInputContext == nullptr || io_pInputBuffer == nullptr || io_pMixBuffer == nullptr ||
        !m_bReady) {
        return;
    }
    ZV_CHECK(kSource, io_pInputBuffer->uValidFrames == io_pMixBuffer->MaxFrames());
    in_pInputContext->GetConnectionType();
    // Never more frames than any of the buffers involved holds.
    uint32_t uFrames = Smaller(io_pInputBuffer->uValidFrames, io_pInputBuffer->uMaxFrames);
    uFrames = Smaller(uFrames, uint32_t{io_pMixBuffer->MaxFrames()});
    uFrames = Smaller(uFrames, uint32_t{m_uMaxFrames});

    // The channels that count: the low-frequency one does not (on the 8-bit field, as the host
    // counts).
    const ZvChannelLayout inputLayout = io_pInputBuffer->channelConfig;
    uint32_t uChannels = inputLayout.uNumChannels;
    if (inputLayout.HasLfe()) {
        uChannels = (uChannels - 1u) & 0xFFu;
    }

    // Eligibility: a running stream with a grant, one or two channels, no bypass. The
    // low-frequency channel alone has no place to be heard from.
    const MixerRenderStream* pStream = m_stream.Current();
    // A stream whose passes are longer than the rings can pre-roll plays nothing: the bed then.
    const uint32_t uGrant = pStream != nullptr && pStream->State() == StreamRunning &&
                                    m_timeline.Fits(pStream->FrameCount())
                                ? Smaller(pStream->MaxDynamicObjects(), kMaxObjectRecords)
                                : 0u;
    bool bEligible = uGrant != 0 && uChannels >= 1 && uChannels <= 2;
    if (bEligible) {
        RefreshParameterSnapshot();
        const auto* pAttachment = static_cast<const SpatialMixerFXAttachmentParams*>(
            in_pInputContext->GetAttachmentParameters());
        bEligible = (pAttachment == nullptr || !pAttachment->GetBypassLocal()) && !m_bBypass;
    }

    auto* pInputData = static_cast<MixerInputData*>(in_pInputContext->GetInputData());
    if (bEligible && pInputData == nullptr) {
        pInputData = m_inputMap.AddInput(in_pInputContext);
        if (pInputData != nullptr) {
            in_pInputContext->SetInputData(pInputData);
        } else {
            bEligible = false;  // no memory: the bed, for this call
        }
    }

    bool bAssigned = false;
    if (bEligible && m_uInputIndex < kMaxInputSlots) {
        InputSlot& slot = m_aSlots[m_uInputIndex];
        // Compared as unsigned: a negative MaxObjects does not limit.
        const uint32_t uBudget =
            Smaller(static_cast<uint32_t>(m_iMaxObjects.load(std::memory_order_relaxed)), uGrant);
        bAssigned = AssignToObject(slot, in_pInputContext, uBudget, *pInputData);
        if (bAssigned) {
            slot.fVolumePrev = RendererVolume(in_emitterListenerVolume.fPrev);
            slot.fVolumeNext = RendererVolume(in_emitterListenerVolume.fNext);
            Downmix(slot, *io_pInputBuffer, uChannels, in_baseVolume, uFrames);
        }
    }
    ++m_uInputIndex;

    // On an object, the low-frequency channel still goes to the bus's own.
    if (!bAssigned || inputLayout.HasLfe()) {
        MixIntoBed(in_pInputContext, in_baseVolume, in_emitterListenerVolume, io_pInputBuffer,
                   io_pMixBuffer, bAssigned);
    }
    if (pInputData != nullptr) {
        pInputData->bConsumed = true;
    }
    io_pMixBuffer->uValidFrames = static_cast<uint16_t>(uFrames);
}

bool SpatialMixerFX::AssignToObject(InputSlot& io_rSlot, ZV::IMixerInputContext* in_pInputContext,
                                    uint32_t in_uBudget, MixerInputData& io_rInput) {
    io_rSlot.bAssigned = false;
    const uint32_t uNumRays = in_pInputContext->GetRayCount();
    if (uNumRays == 0) {
        return false;
    }
    // Every ray is asked for, from the last to the first; the slot keeps ray 0.
    for (uint32_t uRay = uNumRays; uRay-- > 0;) {
        ZV::ZvEmitterRay ray;
        PrepareRay(ray);
        if (in_pInputContext->Get3DPosition(uRay, ray) != ZV_Success) {
            // The host broke its contract; the ray is taken as the call left it.
            ZvReportCheck("in_pInputContext->Get3DPosition(uNumRays - 1, ray) == ZV_Success",
                          kSource, __LINE__);
        }
        if (uRay == 0) {
            const float fDistance = ray.fDistance;
            const float fAzimuth = ray.fAzimuth;
            const float fElevation = ray.fElevation;
            const float fHorizontal = std::sin(kHalfPi - fElevation) * fDistance;
            io_rSlot.fX = std::sin(fAzimuth) * fHorizontal;
            io_rSlot.fY = std::cos(kHalfPi - fElevation) * fDistance;
            io_rSlot.fZ = std::cos(fAzimuth) * fHorizontal;
        }
    }

    // Inputs at the very same position share a record: the one the first of them took.
    for (uint32_t uRecord = 0; uRecord < in_uBudget; ++uRecord) {
        const ObjectRecord& record = *m_apRecords[uRecord];
        if (record.uInputCount != 0 && record.uInputCount < ObjectRecord::kMaxInputs &&
            SamePosition(*record.apInputs[0], io_rSlot)) {
            JoinRecord(uRecord, io_rSlot, io_rInput);
            return true;
        }
    }
    // An input that plays on keeps its record, unless one of those it shared it with came first
    // this frame from another position.
    const uint32_t uOwn = io_rInput.uRecord;
    if (uOwn < in_uBudget) {
        const ObjectRecord& record = *m_apRecords[uOwn];
        if (record.bHeld && record.uOccupancy == io_rInput.uOccupancy && record.uInputCount == 0) {
            JoinRecord(uOwn, io_rSlot, io_rInput);
            return true;
        }
    }
    // Otherwise a new occupancy of the first free record within the budget.
    for (uint32_t uRecord = 0; uRecord < in_uBudget; ++uRecord) {
        ObjectRecord& record = *m_apRecords[uRecord];
        if (record.IsFree()) {
            record.bNewOccupancy = true;
            JoinRecord(uRecord, io_rSlot, io_rInput);
            return true;
        }
    }
    return false;
}

void SpatialMixerFX::JoinRecord(uint32_t in_uRecord, InputSlot& io_rSlot,
                                MixerInputData& io_rInput) {
    ObjectRecord& record = *m_apRecords[in_uRecord];
    record.apInputs[record.uInputCount++] = &io_rSlot;
    io_rSlot.bAssigned = true;
    io_rInput.uRecord = in_uRecord;
    io_rInput.uOccupancy =
        record.bNewOccupancy ? ObjectRecord::NextOccupancy(record.uOccupancy) : record.uOccupancy;
}

void SpatialMixerFX::Downmix(InputSlot& io_rSlot, const ZvSampleBuffer& in_input,
                             uint32_t in_uChannels, ZvVolumeRamp in_baseVolume,
                             uint32_t in_uFrames) {
    // The mono mix is made in the slot's own samples, which are all zero here: a slot is cleared
    // whenever it leaves a record (and at ResetPlugin), and it joined one just now. Adding into
    // zeros gives the same samples as adding into a cleared scratch and copying them over, with
    // one pass less over the memory.
    float* pMono = io_rSlot.samples.pData;
    const float fGain = in_uChannels == 2 ? kStereoDownmixGain : 1.0f;
    const float fPrev = in_baseVolume.fPrev * fGain;
    const float fNext = in_baseVolume.fNext * fGain;
    // Only channels the buffer really has are read.
    const uint32_t uStored = in_input.NumChannels();
    if (uStored >= 1 && in_input.pData != nullptr) {
        m_pGlobalContext->AddChannelRamped(in_input.GetChannel(0), pMono, fPrev, fNext, in_uFrames);
        if (in_uChannels == 2 && uStored >= 2) {
            m_pGlobalContext->AddChannelRamped(in_input.GetChannel(1), pMono, fPrev, fNext,
                                               in_uFrames);
        }
    }
}

void SpatialMixerFX::MixIntoBed(ZV::IMixerInputContext* in_pInputContext,
                                ZvVolumeRamp in_baseVolume, ZvVolumeRamp in_emitterListenerVolume,
                                ZvSampleBuffer* in_pInputBuffer, ZvSampleBuffer* io_pMixBuffer,
                                bool in_bLowFrequencyOnly) {
    const uint32_t uInputs = in_pInputBuffer->NumChannels();
    const uint32_t uOutputs = io_pMixBuffer->NumChannels();
    const uint32_t uNeeded = uInputs * ZV::SpeakerVolumeRowStride(uOutputs);
    ZV_CHECK(kSource, uNeeded <= m_uVolumeFloats);
    if (uNeeded > m_uVolumeFloats || m_pPrevVolumes == nullptr || m_pNextVolumes == nullptr) {
        return;
    }
    ZV::SpeakerVolumeMatrix prevVolumes = {m_pPrevVolumes, uInputs, uOutputs};
    ZV::SpeakerVolumeMatrix nextVolumes = {m_pNextVolumes, uInputs, uOutputs};
    in_pInputContext->ComputeSpeakerVolumes(in_pInputBuffer->channelConfig,
                                            io_pMixBuffer->channelConfig, prevVolumes, nextVolumes);
    if (in_bLowFrequencyOnly && uInputs != 0) {
        // The host stores the low-frequency channel last: every other row goes silent.
        const size_t uOtherFloats = size_t{uInputs - 1} * ZV::SpeakerVolumeRowStride(uOutputs);
        memset(m_pPrevVolumes, 0, uOtherFloats * sizeof(float));
        memset(m_pNextVolumes, 0, uOtherFloats * sizeof(float));
    }
    m_pGlobalContext->MixWithVolumes(
        in_pInputBuffer, io_pMixBuffer, in_baseVolume.fPrev * in_emitterListenerVolume.fPrev,
        in_baseVolume.fNext * in_emitterListenerVolume.fNext, prevVolumes, nextVolumes);
}

// ---- End of the mix ----

void SpatialMixerFX::FinishMix(ZvSampleBuffer* io_pMixBuffer) {
    if (io_pMixBuffer == nullptr || !m_bReady) {
        return;
    }
    // The engine's audio time, this frame included.
    m_uAudioFrames += m_uMaxFrames;
    const uint64_t uNow = m_uAudioFrames * 1000u / m_uSampleRate;

    MixerRenderStream* pStream = m_stream.Current();
    const StreamState eState = pStream != nullptr ? pStream->State() : StreamClosed;
    switch (eState) {
        case StreamRunning: {
            if (m_bRecovering) {
                m_bRecovering = false;
                m_bAttemptPending = false;
                m_bWrongRateNoticed = false;
                m_bProving = true;
                m_uRunningSince = uNow;
                m_rActivation.NoticeObjectsBack(m_pContext);
            }
            // A stream that has run a whole first interval is back for good: the next loss is
            // tried again at once, and the intervals start from the first.
            if (m_bProving && uNow - m_uRunningSince >= RetrySchedule::kFirstIntervalMilliseconds) {
                m_bProving = false;
                m_retry.Succeeded();
            }
            const uint32_t uGrant = pStream->MaxDynamicObjects();
            const uint32_t uPlaying =
                MixDownRecords(*io_pMixBuffer, Smaller(uGrant, kMaxObjectRecords));
            PostCounters(uPlaying, uGrant);
            m_uInputIndex = 0;
            ClearConsumedFlags();
            break;
        }
        case StreamLost:
            // No counters this frame; the inputs that reached records go nowhere, and the next
            // frame starts at slot 0.
            EmptyRecords();
            m_uInputIndex = 0;
            ResetLostStream(uNow);
            break;
        case StreamClosed:
        default:
            EmptyRecords();
            PostCounters(0, 0);
            m_uInputIndex = 0;
            ClearConsumedFlags();
            if (m_bRecovering) {
                RetryReactivation(uNow);
            }
            break;
    }
}

uint32_t SpatialMixerFX::MixDownRecords(const ZvSampleBuffer& in_mixBuffer, uint32_t in_uRecords) {
    uint32_t uFrames = Smaller(in_mixBuffer.uValidFrames, in_mixBuffer.uMaxFrames);
    uFrames = Smaller(uFrames, uint32_t{m_uMaxFrames});
    if (uFrames == 0) {
        // No input set the buffer's frames: the frame still lasts one host buffer, and the
        // timeline moves on by that, so that what the records hold plays out.
        uFrames = m_uMaxFrames;
    }
    // All records or none: a buffer that does not fit into the rings goes to none of them, so
    // that every record stays on the one timeline.
    const bool bRoom = m_timeline.HasRoomFor(uFrames);
    if (!bRoom) {
        ++m_uRingOverruns;
    }
    uint32_t uPlaying = 0;
    for (uint32_t uRecord = 0; uRecord < in_uRecords; ++uRecord) {
        ObjectRecord& record = *m_apRecords[uRecord];
        if (record.uInputCount == 0) {
            if (record.bHeld) {
                // Its voices stopped (or moved on): the worker plays out the tail.
                record.bHeld = false;
                record.uState.store(ObjectRecord::StateWord(record.uOccupancy, false),
                                    std::memory_order_release);
            }
            continue;
        }
        if (record.bNewOccupancy) {
            // Its voices are heard from the timeline's frame of their first samples on.
            record.bNewOccupancy = false;
            record.uOccupancy = ObjectRecord::NextOccupancy(record.uOccupancy);
            record.uStartFrame.store(m_timeline.Written(), std::memory_order_relaxed);
        }
        record.bHeld = true;
        float fVolume = 1.0f;
        const float* pMono = MixRecord(record, uFrames, fVolume);
        // The renderer's frame: +z is behind the listener, the host's +z in front of it. The
        // position and the volume go out before the occupancy they belong to, and all of them
        // before the samples that play there.
        const InputSlot& first = *record.apInputs[0];
        record.placement.Publish(Placement{first.fX, first.fY, -first.fZ, fVolume});
        record.uState.store(ObjectRecord::StateWord(record.uOccupancy, true),
                            std::memory_order_release);
        if (bRoom) {
            record.pRing->Write(uFrames * sizeof(float), pMono);
        }
        ++uPlaying;
        ReleaseInputs(record);
    }
    if (bRoom) {
        m_timeline.Advance(uFrames);
    }
    // Records beyond the grant never have inputs (the budget stays within it); should one have
    // any, its slots are let go all the same, so that every slot outside a record stays zero.
    for (uint32_t uRecord = in_uRecords; uRecord < kMaxObjectRecords; ++uRecord) {
        ObjectRecord* pRecord = m_apRecords[uRecord];
        if (pRecord != nullptr && pRecord->uInputCount != 0) {
            ReleaseInputs(*pRecord);
            pRecord->bNewOccupancy = false;
        }
    }
    return uPlaying;
}

const float* SpatialMixerFX::MixRecord(ObjectRecord& io_rRecord, uint32_t in_uFrames,
                                       float& out_fVolume) {
    // A record of one input is that input's samples as they are, at its own volume: adding a
    // slot to zeros at unity gain gives the slot back bit for bit (a slot never holds -0, being a
    // sum started from +0), so the ring takes them from the slot.
    if (io_rRecord.uInputCount == 1) {
        out_fVolume = io_rRecord.apInputs[0]->fVolumeNext;
        return io_rRecord.apInputs[0]->samples.pData;
    }
    // The object plays at the loudest input's volume; each input is scaled to its own, with a
    // ramp between the frame's two ends as the host's volumes have them.
    float fLoudestPrev = 0.0f;
    float fLoudestNext = 0.0f;
    for (uint32_t uInput = 0; uInput < io_rRecord.uInputCount; ++uInput) {
        fLoudestPrev = std::max(fLoudestPrev, io_rRecord.apInputs[uInput]->fVolumePrev);
        fLoudestNext = std::max(fLoudestNext, io_rRecord.apInputs[uInput]->fVolumeNext);
    }
    float* pMono = io_rRecord.samples.pData;
    memset(pMono, 0, in_uFrames * sizeof(float));
    for (uint32_t uInput = 0; uInput < io_rRecord.uInputCount; ++uInput) {
        const InputSlot& slot = *io_rRecord.apInputs[uInput];
        m_pGlobalContext->AddChannelRamped(slot.samples.pData, pMono,
                                           ShareOf(slot.fVolumePrev, fLoudestPrev),
                                           ShareOf(slot.fVolumeNext, fLoudestNext), in_uFrames);
    }
    out_fVolume = fLoudestNext;
    return pMono;
}

void SpatialMixerFX::ReleaseInputs(ObjectRecord& io_rRecord) {
    for (uint32_t uInput = 0; uInput < io_rRecord.uInputCount; ++uInput) {
        ClearSlot(*io_rRecord.apInputs[uInput]);
        io_rRecord.apInputs[uInput] = nullptr;
    }
    io_rRecord.uInputCount = 0;
}

void SpatialMixerFX::EmptyRecords() {
    for (ObjectRecord* pRecord : m_apRecords) {
        if (pRecord == nullptr) {
            continue;
        }
        ReleaseInputs(*pRecord);
        pRecord->bNewOccupancy = false;
        if (pRecord->bHeld) {
            pRecord->bHeld = false;
            pRecord->uState.store(ObjectRecord::StateWord(pRecord->uOccupancy, false),
                                  std::memory_order_release);
        }
    }
}

void SpatialMixerFX::ResetRecords() {
    m_timeline.Reset();

    for (ObjectRecord* pRecord : m_apRecords) {
        if (pRecord == nullptr) {
            continue;
        }
        // What the rings still hold belongs to the lost stream.
        if (pRecord->pRing != nullptr) {
            pRecord->pRing->Reset();
        }
        pRecord->bHeld = false;
        pRecord->uState.store(ObjectRecord::StateWord(pRecord->uOccupancy, false),
                              std::memory_order_relaxed);
        pRecord->uDrained.store(pRecord->uOccupancy, std::memory_order_relaxed);
    }
}

void SpatialMixerFX::ClearSlot(InputSlot& io_rSlot) {
    memset(io_rSlot.samples.pData, 0, m_uMaxFrames * sizeof(float));
    io_rSlot.bAssigned = false;
}

void SpatialMixerFX::PostCounters(uint32_t in_uPlayingObjects, uint32_t in_uMaxAvailableObjects) {
    if (m_pContext->CanPostMonitorData()) {
        const MonitorData data = {in_uPlayingObjects, m_uInputIndex, in_uMaxAvailableObjects};
        m_pContext->PostMonitorData(&data, sizeof(data));
    }
}

void SpatialMixerFX::ClearConsumedFlags() {
    for (ZvMixerInputMap<MixerInputData>::Entry& entry : m_inputMap) {
        MixerInputData* pInput = entry.pUserData;
        ZV_CHECK(kSource, pInput);
        if (pInput != nullptr) {
            pInput->bConsumed = false;
        }
    }
}

void SpatialMixerFX::ResetLostStream(uint64_t in_uNowMilliseconds) {
    MixerRenderStream* pLost = nullptr;
    if (!m_stream.TakeUnlessBorrowed(pLost)) {
        // The worker is still ending the cycle that found the loss (and releasing the objects
        // that hold the stream): the next frame tries again.
        return;
    }
    ResetRecords();
    // An attempt's stream lost before it had run a first interval is a failed attempt, so that a
    // renderer that opens streams and then fails them is tried at growing intervals too.
    const bool bAttemptFailed = m_bRecovering || m_bProving;
    if (!m_bRecovering) {
        m_bRecovering = true;
        m_rActivation.NoticeObjectsLost(m_pContext);
    }
    if (bAttemptFailed) {
        // The lost stream goes to the next attempt, which lets it go first.
        m_bProving = false;
        m_bAttemptPending = false;
        m_retry.Failed(in_uNowMilliseconds);
        m_pSpentStream = pLost;
        return;
    }
    StartReactivation(pLost, in_uNowMilliseconds);
}

void SpatialMixerFX::StartReactivation(MixerRenderStream* in_pOld, uint64_t in_uNowMilliseconds) {
    MixerRenderStream* pNew = m_rActivation.Reopen(m_pAllocator, m_uEngineSampleRate, in_pOld);
    m_stream.Exchange(pNew);
    m_bAttemptPending = pNew != nullptr;
    if (pNew == nullptr) {
        m_retry.Failed(in_uNowMilliseconds);
    }
}

void SpatialMixerFX::RetryReactivation(uint64_t in_uNowMilliseconds) {
    if (m_bAttemptPending) {
        const MixerRenderStream* pAttempt = m_stream.Current();
        // An attempt still under way, or one that has just come to run (the next frame takes it
        // up), is no failure.
        if (pAttempt != nullptr &&
            (pAttempt->ActivationPending() || pAttempt->State() != StreamClosed)) {
            return;
        }
        m_bAttemptPending = false;
        if (pAttempt != nullptr) {
            NoticeRefusedRate(*pAttempt);
        }
        m_retry.Failed(in_uNowMilliseconds);
    }
    if (m_retry.Due(in_uNowMilliseconds)) {
        // A stream that is not running is never borrowed by the worker.
        MixerRenderStream* pOld = m_stream.Exchange(nullptr);
        if (pOld == nullptr) {
            pOld = m_pSpentStream;
            m_pSpentStream = nullptr;
        }
        StartReactivation(pOld, in_uNowMilliseconds);
    }
}

void SpatialMixerFX::NoticeRefusedRate(const MixerRenderStream& in_attempt) {
    const uint32_t uRendererRate = in_attempt.RefusedSampleRate();
    if (uRendererRate == 0 || m_bWrongRateNoticed) {
        return;
    }
    m_bWrongRateNoticed = true;
    const RateMismatchText text(kWrongRatePrefix, m_uEngineSampleRate, uRendererRate,
                                kWrongRateSuffix);
    m_pContext->PostMonitorMessage(text.Get(), kWrongRateLevel);
}

void SpatialMixerFX::PostEffects(ZvSampleBuffer* /*io_pMixBuffer*/) {}

void SpatialMixerFX::EndFrame(uint32_t /*in_uFrameIndex*/, ZV::IFrameEndHooks* in_pHooks) {
    if (in_pHooks != nullptr) {
        in_pHooks->OnFlushBegin();
        in_pHooks->OnFlush();
        in_pHooks->OnFlushEnd();
        in_pHooks->OnFrameDone();
    }
    if (m_pParams != nullptr) {
        m_pParams->ClearChangeFlags();
    }
}
