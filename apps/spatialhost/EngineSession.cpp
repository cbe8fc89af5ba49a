#include "EngineSession.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "ZvChannelLayout.h"
#include "ZvResult.h"

namespace spatialhost {
namespace {

constexpr uint32_t kLayout714 = 0x2D63F;
constexpr uint32_t kMonoMask = 0x4;  // front centre
constexpr float kVoiceDistance = 10.0f;
constexpr float kPi = 3.14159265f;

// Planar storage for in_layout and a buffer over it.
void MakeBuffer(ZvChannelLayout in_layout, std::vector<float>& out_rSamples,
                ZvSampleBuffer& out_rBuffer) {
    out_rSamples.assign(size_t{in_layout.uNumChannels} * EngineSession::kFramesPerBuffer, 0.0f);
    out_rBuffer = ZvSampleBuffer{};
    out_rBuffer.pData = out_rSamples.data();
    out_rBuffer.channelConfig = in_layout;
    out_rBuffer.uMaxFrames = EngineSession::kFramesPerBuffer;
    out_rBuffer.uValidFrames = 0;
}

void Clear(std::vector<float>& io_samples) {
    std::memset(io_samples.data(), 0, io_samples.size() * sizeof(float));
}

}  // namespace

EngineSession::EngineSession(const SessionConfig& in_config, std::FILE* io_pLog)
    : m_config(in_config),
      m_pLog(io_pLog),
      m_global(kFramesPerBuffer, in_config.uSampleRate),
      m_sinkContext(m_global, kBufferCount),
      m_effectContext(m_global),
      m_mixerContext(m_global) {}

EngineSession::~EngineSession() {
    Close();
}

bool EngineSession::Open() {
    return LoadLibraries() && OpenSink() && OpenBus();
}

bool EngineSession::LoadLibraries() {
    if (!m_sinkLibrary.Load(m_config.pszSinkLibrary)) {
        std::fprintf(m_pLog, "sink library: %s\n", m_sinkLibrary.Error().c_str());
        return false;
    }
    if (m_config.eBus != BusKind::None && !m_busLibrary.Load(m_config.pszBusLibrary)) {
        std::fprintf(m_pLog, "bus library: %s\n", m_busLibrary.Error().c_str());
        return false;
    }
    return true;
}

bool EngineSession::OpenBus() {
    switch (m_config.eBus) {
        case BusKind::None:
            return true;
        case BusKind::Effect:
            return OpenEffect();
        case BusKind::Mixer:
            return OpenMixer();
    }
    return false;
}

bool EngineSession::OpenSink() {
    const ZvPluginRegistration* pRecord = m_sinkLibrary.Find(kZvCompanyId, kZvSinkPluginId);
    if (pRecord == nullptr || pRecord->pCreatePlugin == nullptr ||
        pRecord->pCreateParam == nullptr) {
        std::fprintf(m_pLog, "sink: no record (275, 170) with both factories\n");
        m_bPluginMissing = true;
        return false;
    }
    m_pSinkParams = pRecord->pCreateParam(&m_allocator);
    if (m_pSinkParams == nullptr) {
        std::fprintf(m_pLog, "sink: no parameter object\n");
        return false;
    }
    // The sink's bank block: DirectGain 1.0, then ChannelConfig.
    uint8_t aBlock[8];
    const float fGain = 1.0f;
    std::memcpy(aBlock, &fGain, 4);
    std::memcpy(aBlock + 4, &m_config.uChannelConfig, 4);
    m_pSinkParams->InitParameters(&m_allocator, aBlock, sizeof(aBlock));
    m_pSink = static_cast<ZV::ISinkPlugin*>(pRecord->pCreatePlugin(&m_allocator));
    if (m_pSink == nullptr) {
        std::fprintf(m_pLog, "sink: no plug-in object\n");
        TermParams(m_pSinkParams);
        return false;
    }
    ZvAudioFormat format = {m_config.uSampleRate, ZvChannelLayout::FromMask(kLayout714)};
    const ZvResult eResult =
        m_pSink->InitPlugin(&m_allocator, &m_sinkContext, m_pSinkParams, format);
    m_eSinkInit = eResult;
    if (eResult != ZV_Success) {
        std::fprintf(m_pLog, "sink: InitPlugin %d\n", static_cast<int>(eResult));
        CloseSink();
        return false;
    }
    m_sinkLayout = format.channelConfig;
    MakeBuffer(m_sinkLayout, m_masterSamples, m_master);
    std::fprintf(m_pLog, "sink: playing %u channels (mask 0x%X)\n", m_sinkLayout.uNumChannels,
                 static_cast<unsigned>(m_sinkLayout.uChannelMask));
    return true;
}

void EngineSession::CloseSink() {
    if (m_pSink != nullptr) {
        m_pSink->TermPlugin(&m_allocator);
        m_pSink = nullptr;
    }
    TermParams(m_pSinkParams);
}

bool EngineSession::TermParams(ZV::IPluginParam*& io_pParams) {
    if (io_pParams != nullptr) {
        io_pParams->TermParameters(&m_allocator);
        io_pParams = nullptr;
    }
    return true;
}

bool EngineSession::OpenEffect() {
    const ZvPluginRegistration* pRecord = m_busLibrary.Find(kZvCompanyId, kZvEffectPluginId);
    if (pRecord == nullptr || pRecord->pCreatePlugin == nullptr ||
        pRecord->pCreateParam == nullptr) {
        std::fprintf(m_pLog, "effect: no record (275, 270) with both factories\n");
        m_bPluginMissing = true;
        return false;
    }
    m_pBusParams = pRecord->pCreateParam(&m_allocator);
    if (m_pBusParams == nullptr) {
        return false;
    }
    m_pBusParams->InitParameters(&m_allocator, nullptr, 0);
    m_pEffect = static_cast<ZV::IInPlaceEffectPlugin*>(pRecord->pCreatePlugin(&m_allocator));
    if (m_pEffect == nullptr) {
        return false;
    }
    ZvAudioFormat format = {m_config.uSampleRate, ZvChannelLayout::FromMask(kLayout714)};
    const ZvResult eResult =
        m_pEffect->InitPlugin(&m_allocator, &m_effectContext, m_pBusParams, format);
    m_eBusInit = eResult;
    std::fprintf(m_pLog, "effect: InitPlugin %d on a %u-channel bus\n", static_cast<int>(eResult),
                 format.channelConfig.uNumChannels);
    MakeBuffer(format.channelConfig, m_busSamples, m_bus);
    return eResult == ZV_Success;
}

bool EngineSession::OpenMixer() {
    const ZvPluginRegistration* pRecord = m_busLibrary.Find(kZvCompanyId, kZvMixerPluginId);
    if (pRecord == nullptr || pRecord->pCreatePlugin == nullptr ||
        pRecord->pCreateParam == nullptr) {
        std::fprintf(m_pLog, "mixer: no record (275, 799) with both factories\n");
        m_bPluginMissing = true;
        return false;
    }
    m_pBusParams = pRecord->pCreateParam(&m_allocator);
    if (m_pBusParams == nullptr) {
        return false;
    }
    // The mixer's bank block: Bypass 0, MaxObjects 32.
    const uint8_t aBlock[5] = {0, 32, 0, 0, 0};
    m_pBusParams->InitParameters(&m_allocator, aBlock, sizeof(aBlock));
    m_pMixer = static_cast<ZV::IMixerPlugin*>(pRecord->pCreatePlugin(&m_allocator));
    if (m_pMixer == nullptr) {
        return false;
    }
    ZvAudioFormat format = {m_config.uSampleRate, ZvChannelLayout::FromMask(kLayout714)};
    const ZvResult eResult =
        m_pMixer->InitPlugin(&m_allocator, &m_mixerContext, m_pBusParams, format);
    m_eBusInit = eResult;
    std::fprintf(m_pLog, "mixer: InitPlugin %d with %zu voices\n", static_cast<int>(eResult),
                 m_config.voices.size());
    if (eResult != ZV_Success) {
        return false;
    }
    MakeBuffer(format.channelConfig, m_busSamples, m_bus);
    MakeBuffer(ZvChannelLayout::FromMask(kMonoMask), m_voiceSamples, m_voice);
    for (size_t uVoice = 0; uVoice < m_config.voices.size(); ++uVoice) {
        m_voices.push_back(
            std::make_unique<host::HostMixerInputContext>(static_cast<uint32_t>(uVoice + 1)));
        m_voices.back()->SetPosition(kVoiceDistance,
                                     m_config.voices[uVoice].fAzimuthDegrees * kPi / 180.0f, 0.0f);
        m_pMixer->ConnectInput(m_voices.back().get());
    }
    return true;
}

void EngineSession::FillBySpeaker(const ToneSchedule& in_schedule, ZvSampleBuffer& io_buffer,
                                  uint64_t in_uFrame) {
    // The host stores speaker s of the layout (mask order) in its pipeline channel.
    for (uint32_t uSpeaker = 0; uSpeaker < io_buffer.NumChannels(); ++uSpeaker) {
        float* pChannel =
            io_buffer.GetChannel(ZV::MaskOrderToPipelineIndex(io_buffer.channelConfig, uSpeaker));
        for (uint32_t uOffset = 0; uOffset < kFramesPerBuffer; ++uOffset) {
            pChannel[uOffset] = in_schedule.Sample(uSpeaker, in_uFrame + uOffset);
        }
    }
    io_buffer.uValidFrames = kFramesPerBuffer;
}

namespace {

double MillisecondsSince(std::chrono::steady_clock::time_point in_start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - in_start)
        .count();
}

}  // namespace

FrameTimes EngineSession::TakeFrameTimes() {
    FrameTimes times = std::move(m_times);
    m_times = FrameTimes();
    // Room for a minute of frames, so that keeping their times allocates nothing while they run.
    m_times.frameMs.reserve(6000);
    m_bTiming = true;
    return times;
}

bool EngineSession::ProduceFrame(const ToneSchedule& in_schedule) {
    const auto frameStart = std::chrono::steady_clock::now();
    double dSinkMs = 0;
    if (m_pSink != nullptr) {
        uint32_t uNeeded = 0;
        if (m_pSink->IsDataNeeded(uNeeded) != ZV_Success) {
            ++m_uBadAnswers;
        }
        if (uNeeded == 0) {
            ++m_uNotNeeded;
            return false;
        }
        dSinkMs = MillisecondsSince(frameStart);
    }
    RenderMix(in_schedule);
    if (m_pSink != nullptr) {
        const auto sinkStart = std::chrono::steady_clock::now();
        m_pSink->ConsumeFrame(&m_master, ZvVolumeRamp{1.0f, 1.0f});
        m_pSink->OnFrameEnd();
        if (m_pSink->IsStarved()) {
            ++m_uBadAnswers;
            m_pSink->ResetStarved();
        }
        dSinkMs += MillisecondsSince(sinkStart);
    }
    m_uFrame += kFramesPerBuffer;
    if (m_bTiming) {
        const double dFrameMs = MillisecondsSince(frameStart);
        m_times.dLongestFrameMs = std::max(m_times.dLongestFrameMs, dFrameMs);
        m_times.dLongestSinkMs = std::max(m_times.dLongestSinkMs, dSinkMs);
        if (m_times.frameMs.size() < m_times.frameMs.capacity()) {
            m_times.frameMs.push_back(dFrameMs);
        }
    }
    return true;
}

void EngineSession::RenderMix(const ToneSchedule& in_schedule) {
    if (m_pEffect != nullptr) {
        FillBySpeaker(in_schedule, m_bus, m_uFrame);
        const auto busStart = std::chrono::steady_clock::now();
        m_pEffect->ProcessInPlace(&m_bus);
        m_times.dLongestBusMs = std::max(m_times.dLongestBusMs, MillisecondsSince(busStart));
    } else if (m_pMixer != nullptr) {
        Clear(m_busSamples);
        m_bus.uValidFrames = 0;
        const ZvVolumeRamp unity = {1.0f, 1.0f};
        for (size_t uVoice = 0; uVoice < m_voices.size(); ++uVoice) {
            for (uint32_t uOffset = 0; uOffset < kFramesPerBuffer; ++uOffset) {
                m_voiceSamples[uOffset] =
                    in_schedule.Sample(static_cast<uint32_t>(uVoice), m_uFrame + uOffset);
            }
            m_voice.uValidFrames = kFramesPerBuffer;
            m_pMixer->MixInput(m_voices[uVoice].get(), unity, unity, &m_voice, &m_bus);
        }
        m_pMixer->FinishMix(&m_bus);
        m_pMixer->PostEffects(&m_bus);
        m_pMixer->EndFrame(static_cast<uint32_t>(m_uFrame / kFramesPerBuffer), nullptr);
        m_busEnergy.resize(m_bus.NumChannels(), 0.0);
        for (uint32_t uChannel = 0; uChannel < m_bus.NumChannels(); ++uChannel) {
            const float* pChannel = m_bus.GetChannel(uChannel);
            for (uint32_t uOffset = 0; uOffset < kFramesPerBuffer; ++uOffset) {
                m_busEnergy[uChannel] += double{pChannel[uOffset]} * pChannel[uOffset];
            }
        }
    }
    if (m_pSink == nullptr) {
        return;
    }
    if (m_pEffect != nullptr || m_pMixer != nullptr) {
        // The bus feeds the final mix; both are in the 7.1.4 layout, channel for channel.
        std::memcpy(m_masterSamples.data(), m_busSamples.data(),
                    std::min(m_masterSamples.size(), m_busSamples.size()) * sizeof(float));
        m_master.uValidFrames = kFramesPerBuffer;
    } else {
        FillBySpeaker(in_schedule, m_master, m_uFrame);
    }
}

std::vector<host::HostMonitorLog::Message> EngineSession::BusNotices() {
    return m_config.eBus == BusKind::Mixer ? m_mixerContext.MonitorLog().Messages()
                                           : m_effectContext.MonitorLog().Messages();
}

double EngineSession::BusEnergy(uint32_t in_uSpeaker) const {
    const uint32_t uChannel =
        ZV::MaskOrderToPipelineIndex(ZvChannelLayout::FromMask(kLayout714), in_uSpeaker);
    return uChannel < m_busEnergy.size() ? m_busEnergy[uChannel] : 0.0;
}

bool EngineSession::CheckMixerCounters() {
    // Every frame posts {playing objects, voices mixed, available objects}.
    const std::vector<std::vector<uint8_t>> records = m_mixerContext.MonitorLog().DataRecords();
    const uint64_t uPosts = m_mixerContext.MonitorLog().DataPostCount();
    bool bGood = uPosts > 0;
    int32_t aLast[3] = {-1, -1, -1};
    for (const std::vector<uint8_t>& record : records) {
        if (record.size() != 12) {
            bGood = false;
            continue;
        }
        std::memcpy(aLast, record.data(), 12);
        if (aLast[0] != 0 || aLast[1] != static_cast<int32_t>(m_voices.size()) || aLast[2] != 0) {
            bGood = false;
        }
    }
    std::fprintf(m_pLog,
                 "mixer counters: %llu records, last {playing %d, voices %d, available %d}%s\n",
                 static_cast<unsigned long long>(uPosts), aLast[0], aLast[1], aLast[2],
                 bGood ? "" : " UNEXPECTED");
    return bGood;
}

bool EngineSession::Close() {
    bool bGood = true;
    if (m_pEffect != nullptr) {
        m_pEffect->TermPlugin(&m_allocator);
        m_pEffect = nullptr;
    }
    if (m_pMixer != nullptr) {
        bGood = CheckMixerCounters() && bGood;
        for (auto& voice : m_voices) {
            m_pMixer->DisconnectInput(voice.get());
        }
        m_pMixer->TermPlugin(&m_allocator);
        m_pMixer = nullptr;
        m_voices.clear();
    }
    TermParams(m_pBusParams);
    CloseSink();
    if (m_allocator.OutstandingBlocks() != 0 || !m_allocator.Errors().empty()) {
        std::fprintf(m_pLog, "host allocator: %zu blocks not given back, %zu bad frees\n",
                     m_allocator.OutstandingBlocks(), m_allocator.Errors().size());
        bGood = false;
    }
    if (m_uNotNeeded != 0) {
        std::fprintf(m_pLog, "sink: asked %llu times before it wanted data\n",
                     static_cast<unsigned long long>(m_uNotNeeded));
    }
    m_uNotNeeded = 0;
    if (m_uBadAnswers != 0) {
        std::fprintf(m_pLog, "sink: %llu failures reported to the host\n",
                     static_cast<unsigned long long>(m_uBadAnswers));
        bGood = false;
    }
    m_uBadAnswers = 0;
    return bGood;
}

}  // namespace spatialhost
