#include "ScenePlayer.h"

#include <windows.h>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

#include "EngineOutputPasses.h"
#include "HostAllocator.h"
#include "HrtfSet.h"
#include "HostBusDriver.h"
#include "HostEffectContext.h"
#include "HostGlobalContext.h"
#include "HostMixerContext.h"
#include "HostSinkContext.h"
#include "HostSpeakerPanner.h"
#include "ListenerMixThread.h"
#include "LockstepCpu.h"
#include "MixerBusDriver.h"
#include "PacingSizes.h"
#include "PluginSet.h"
#include "SampleBufferStorage.h"
#include "SceneReport.h"
#include "SinkFrameDriver.h"
#include "Trajectory.h"
#include "VoiceSignal.h"
#include "standin/Renderer.h"

namespace scene {

namespace {

typedef std::chrono::steady_clock Clock;

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr size_t kCapturedPasses = 4096;

uint32_t Nanoseconds(Clock::duration in_duration) {
    const auto uNs = std::chrono::duration_cast<std::chrono::nanoseconds>(in_duration).count();
    return static_cast<uint32_t>(std::min<int64_t>(uNs, UINT32_MAX));
}

// The distance law of the scene's engine: full level up to 1 m, then 1 / distance.
float DistanceVolume(double in_fDistance) {
    return static_cast<float>(1.0 / std::max(1.0, in_fDistance));
}

double Seconds(Clock::duration in_duration) {
    return std::chrono::duration<double>(in_duration).count();
}

// The processor time of the whole process so far (every thread, user and system).
double ProcessorSeconds() {
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// The sink's slot count for the host's buffer size, as the sink documents it.
uint32_t SinkSlots(uint16_t in_uBufferCount, uint16_t in_uHostFrames) {
    uint32_t uSlots = in_uBufferCount;
    if (in_uHostFrames == 256) {
        uSlots = std::max<uint32_t>(uSlots, 5);
    } else if (in_uHostFrames == 512) {
        uSlots = std::max<uint32_t>(uSlots, 3);
    }
    return uSlots;
}

// The sink's ring in frames, as the sink sizes it (for the largest period it plays).
uint64_t SinkRingCapacity(const SceneSpec& in_scene) {
    return SinkRingFrames(SizingPeriodFrames(in_scene.uRendererFrames), in_scene.uHostFrames,
                          SinkSlots(in_scene.uSinkBufferCount, in_scene.uHostFrames));
}

float* ChannelOf(const ZvSampleBuffer& in_buffer, uint32_t in_uIndex) {
    return in_buffer.pData + static_cast<size_t>(in_uIndex) * in_buffer.uMaxFrames;
}

// Adds every channel of in_source to the channel of io_destination with the same speaker; a
// speaker the destination lacks is dropped.
void AddBus(const ZvSampleBuffer& in_source, ZvSampleBuffer& io_destination, uint32_t in_uFrames) {
    const ZvChannelLayout source = in_source.channelConfig;
    const ZvChannelLayout destination = io_destination.channelConfig;
    uint32_t uSourceIndex = 0;
    for (uint32_t uBit = 0; uBit < 20; ++uBit) {
        const uint32_t uSpeaker = 1u << uBit;
        if ((source.uChannelMask & uSpeaker) == 0) {
            continue;
        }
        const uint32_t uFrom = ZV::MaskOrderToPipelineIndex(source, uSourceIndex++);
        if ((destination.uChannelMask & uSpeaker) == 0) {
            continue;
        }
        const uint32_t uDestinationIndex =
            ZV::GetNumNonZeroBits(destination.uChannelMask & (uSpeaker - 1));
        const uint32_t uTo = ZV::MaskOrderToPipelineIndex(destination, uDestinationIndex);
        const float* pFrom = ChannelOf(in_source, uFrom);
        float* pTo = ChannelOf(io_destination, uTo);
        for (uint32_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
            pTo[uFrame] += pFrom[uFrame];
        }
    }
}

// A plug-in object or parameter object, ended through the allocator when the holder goes.
struct PluginHolder {
    ZV::IPlugin* pPlugin = nullptr;
    ZV::IPluginMemAlloc* pAllocator = nullptr;
    void Reset() {
        if (pPlugin != nullptr) {
            pPlugin->TermPlugin(pAllocator);
        }
        pPlugin = nullptr;
    }
    ~PluginHolder() { Reset(); }
};

struct ParamsHolder {
    ZV::IPluginParam* pParams = nullptr;
    ZV::IPluginMemAlloc* pAllocator = nullptr;
    void Reset() {
        if (pParams != nullptr) {
            pParams->TermParameters(pAllocator);
        }
        pParams = nullptr;
    }
    ~ParamsHolder() { Reset(); }
};

struct ComApartment {
    bool bInitialised = false;
    ComApartment() { bInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
    ~ComApartment() {
        if (bInitialised) {
            CoUninitialize();
        }
    }
};

// The renderer's capture and observer are the player's for the run; they are switched off again
// however the run ends.
struct CaptureScope {
    CaptureScope() { standin::CapturePasses(kCapturedPasses); }
    ~CaptureScope() {
        standin::CapturePasses(0);
        standin::SetPacing(standin::Pacing::Stepped);
    }
};

// Where a voice of the mixer bus is in the renderer's coordinates (+x right, +y up, +z behind).
void RendererPosition(const Direction& in_position, double out_aXyz[3]) {
    const double fAzimuth = in_position.fAzimuth * kRadiansPerDegree;
    const double fElevation = in_position.fElevation * kRadiansPerDegree;
    out_aXyz[0] = in_position.fDistance * std::cos(fElevation) * std::sin(fAzimuth);
    out_aXyz[1] = in_position.fDistance * std::sin(fElevation);
    out_aXyz[2] = -in_position.fDistance * std::cos(fElevation) * std::cos(fAzimuth);
}

// Per mixer voice, the spans in which it sounded on a dynamic object: the renderer's objects are
// anonymous, so a voice counts as on an object at a moment when an object sounded within 20 ms of
// it at the position the voice had in one of the host buffers around then (within a centimetre;
// the mixer's positions lead the passes by a few buffers). Music and master voices get no spans.
std::vector<std::vector<VoiceRouteSpan>> VoiceRoutes(
    const SceneSpec& in_scene,
    const std::map<uint64_t, std::vector<TrajectorySample>>& in_objects) {
    constexpr double kStep = 0.02;  // the objects' sampling interval
    const double fBuffer = static_cast<double>(in_scene.uHostFrames) / in_scene.uSampleRate;
    // The objects' samples by 20 ms step.
    std::map<int64_t, std::vector<const TrajectorySample*>> byStep;
    for (const auto& object : in_objects) {
        for (const TrajectorySample& sample : object.second) {
            byStep[static_cast<int64_t>(std::floor(sample.fTime / kStep))].push_back(&sample);
        }
    }
    std::vector<std::vector<VoiceRouteSpan>> routes(in_scene.voices.size());
    // A voice's position per host buffer, from the oldest still looked at on (the moments go
    // forward, so each buffer's position is worked out once).
    std::deque<std::array<double, 3>> positions;
    int64_t iFirstPosition = 0;
    for (size_t uVoice = 0; uVoice < in_scene.voices.size(); ++uVoice) {
        const VoiceSpec& voice = in_scene.voices[uVoice];
        if (voice.eRoute != VoiceRoute::Mixer) {
            continue;
        }
        positions.clear();
        iFirstPosition = 0;
        const double fEnd = VoiceEnd(in_scene, voice);
        for (double fTime = voice.fStart; fTime < fEnd; fTime += kStep) {
            bool bObject = false;
            const int64_t iStep = static_cast<int64_t>(std::floor(fTime / kStep));
            auto first = byStep.lower_bound(iStep - 1);
            if (first != byStep.end() && first->first <= iStep + 1) {
                // Where the voice was in the host buffers from two before to six after this
                // moment.
                const int64_t iFrom =
                    std::max<int64_t>(0, static_cast<int64_t>(fTime / fBuffer) - 2);
                while (!positions.empty() && iFirstPosition < iFrom) {
                    positions.pop_front();
                    ++iFirstPosition;
                }
                if (positions.empty()) {
                    iFirstPosition = iFrom;
                }
                while (iFirstPosition + static_cast<int64_t>(positions.size()) <= iFrom + 8) {
                    const int64_t iBuffer = iFirstPosition + static_cast<int64_t>(positions.size());
                    std::array<double, 3> xyz;
                    RendererPosition(PositionAt(voice.trajectory, (iBuffer + 0.5) * fBuffer),
                                     xyz.data());
                    positions.push_back(xyz);
                }
                for (auto it = first; it != byStep.end() && it->first <= iStep + 1 && !bObject;
                     ++it) {
                    for (const TrajectorySample* pSample : it->second) {
                        for (const std::array<double, 3>& xyz : positions) {
                            const double fDx = pSample->fX - xyz[0];
                            const double fDy = pSample->fY - xyz[1];
                            const double fDz = pSample->fZ - xyz[2];
                            bObject = bObject || fDx * fDx + fDy * fDy + fDz * fDz < 1e-4;
                        }
                    }
                }
            }
            std::vector<VoiceRouteSpan>& spans = routes[uVoice];
            const double fTo = std::min(fEnd, fTime + kStep);
            if (!spans.empty() && spans.back().bObject == bObject) {
                spans.back().fTo = fTo;
            } else {
                spans.push_back(VoiceRouteSpan{fTime, fTo, bObject});
            }
        }
        // Another voice passing through this one's position gives a moment of a match: a span on
        // an object shorter than 100 ms between two in the bed is taken as the bed.
        std::vector<VoiceRouteSpan>& spans = routes[uVoice];
        for (size_t uSpan = 1; uSpan + 1 < spans.size(); ++uSpan) {
            if (spans[uSpan].bObject && spans[uSpan].fTo - spans[uSpan].fFrom < 0.1) {
                spans[uSpan - 1].fTo = spans[uSpan + 1].fTo;
                spans.erase(spans.begin() + uSpan, spans.begin() + uSpan + 2);
                --uSpan;
            }
        }
    }
    return routes;
}

struct Voice {
    const VoiceSpec* pSpec = nullptr;
    uint32_t uInputId = 0;
    VoiceSignal signal;
    // Music and master voices: the voice's own buffer, which the player pans into its bus.
    std::unique_ptr<SampleBufferStorage> pBuffer;
    // Mixer voices: an input of the mixer bus while the voice plays.
    ParamsHolder attachment;
    host::MixerBusDriver::Voice* pInput = nullptr;
    bool bEnded = false;
    float fLastVolume = -1.0f;
};

// The engine for one scene. The sink drives it, as an output device drives the engine's audio
// thread: each host frame that the sink wants runs Render, which plays the mixer bus, the music
// bus and the voices routed to the final mix, and hands the final mix to the sink.
class Run final : public host::SinkMixSource {
public:
    Run(const SceneSpec& in_scene, const ScenePlayerOptions& in_options, SceneRunResult& io_result)
        : m_scene(in_scene),
          m_options(in_options),
          m_result(io_result),
          m_global(in_scene.uHostFrames, in_scene.uSampleRate),
          m_sinkContext(m_global, in_scene.uSinkBufferCount),
          m_effectContext(m_global, 2, 2),
          m_mixerContext(m_global, 3, 3) {}

    ~Run() override { Terminate(); }

    bool Play(std::string& out_error);

    // One host frame of the whole engine, into the sink's buffer.
    ZvVolumeRamp Render(uint64_t in_uBuffer, ZvSampleBuffer& io_rBuffer) override;

private:
    bool CreateParams(const ZvPluginRegistration* in_pRecord, const host::ParameterBlock& in_block,
                      ParamsHolder& out_params, std::string& out_error);
    // The voices' signals (their WAV files opened), before any output is.
    bool PrepareVoices(std::string& out_error);
    // Gives the renderer, before the run, the sample buffers that its captured passes will fill.
    void PrepareCaptureBuffers();
    bool InitPlugins(std::string& out_error);
    void NoteNewStreams(const char* in_pszOwner);
    // Runs host frames while the sink wants them (at most the sink's slots), each timed.
    void RunSinkFrames();
    // Without a sink: runs host frames on the engine's own output until it has played
    // in_uFrames frames, each timed, and hands every whole block of it to the listener mix.
    void PlayOwnOutput(uint64_t in_uFrames);
    void RecordFrameTimes(Clock::duration in_frame, Clock::duration in_plugins);
    void UpdateMixerVoices(uint64_t in_uFirst, double in_fTime);
    void ReadMixerCounters();
    void TakePasses(uint64_t in_uFrame);
    void PlacePassesByClock(Clock::time_point in_start);
    void ModelPasses(const std::vector<standin::Pass>& in_passes);
    void PanVoice(Voice& io_voice, ZvSampleBuffer& io_bus, double in_fTime);
    void Terminate();
    // True (with out_error) when a stop was asked for.
    bool Stopped(std::string& out_error) const;

    const SceneSpec& m_scene;
    const ScenePlayerOptions& m_options;
    SceneRunResult& m_result;

    PluginSet m_plugins;
    host::HostAllocator m_allocator;
    host::HostGlobalContext m_global;
    host::HostSinkContext m_sinkContext;
    host::HostEffectContext m_effectContext;
    host::HostMixerContext m_mixerContext;
    ParamsHolder m_sinkParams, m_effectParams, m_mixerParams;
    PluginHolder m_sink, m_effect, m_mixer;
    ZV::ISinkPlugin* m_pSink = nullptr;
    ZV::IInPlaceEffectPlugin* m_pEffect = nullptr;
    ZV::IMixerPlugin* m_pMixer = nullptr;
    std::vector<std::unique_ptr<Voice>> m_voices;

    std::unique_ptr<host::SinkFrameDriver> m_pSinkDriver;  // the final mix
    std::unique_ptr<host::MixerBusDriver> m_pMixerBus;
    std::unique_ptr<host::HostBusDriver> m_pMusicBus;  // the effect's bus
    bool m_bEffectReady = false;  // the effect initialised: the music bus goes through it
    // When the sink could not be opened, the engine's final mix, which it plays on its own output
    // (the files then hold that output), and its blocks for the listener mix.
    std::unique_ptr<SampleBufferStorage> m_pOwnMix;
    std::unique_ptr<EngineOutputPasses> m_pOwnOutput;
    uint64_t m_uOwnBuffers = 0;
    std::vector<float> m_panVolumes;
    uint64_t m_uFirstFrame = 0;     // the scene frame that the frame being rendered starts at
    Clock::duration m_inRender{};   // this frame: time inside Render
    Clock::duration m_inPlugins{};  // this frame: the mixer's and the effect's calls
    Clock::duration m_inSources{};  // this frame: the mixer voices' signals
    uint64_t m_uMixerPosts = 0;

    PassRenderer m_output;
    std::unique_ptr<ListenerMixThread> m_pMix;
    // Made and let go on the run's thread; after the plug-ins' workers have ended.
    std::unique_ptr<LockstepCpu> m_pLockstep;
    size_t m_uActivationsSeen = 0;
    bool m_bEffectDiverts = false;
    // Real-time pacing: per stream, the renderer period of its pass 0.
    std::map<uint64_t, int64_t> m_streamBase;
    bool m_bTerminated = false;
};

bool Run::CreateParams(const ZvPluginRegistration* in_pRecord, const host::ParameterBlock& in_block,
                       ParamsHolder& out_params, std::string& out_error) {
    out_params.pAllocator = &m_allocator;
    out_params.pParams = in_pRecord->pCreateParam(&m_allocator);
    if (out_params.pParams == nullptr) {
        out_error = "a parameter factory gave nothing";
        return false;
    }
    const ZvResult eResult = out_params.pParams->InitParameters(
        &m_allocator, in_block.bytes.empty() ? nullptr : in_block.bytes.data(),
        static_cast<uint32_t>(in_block.bytes.size()));
    if (eResult != ZV_Success) {
        out_error = "InitParameters answered " + std::to_string(eResult);
        return false;
    }
    return true;
}

void Run::NoteNewStreams(const char* in_pszOwner) {
    const std::vector<standin::StreamActivation> activations = standin::StreamActivations();
    for (size_t uIndex = m_uActivationsSeen; uIndex < activations.size(); ++uIndex) {
        if (activations[uIndex].streamId != 0) {
            m_result.streamOwners[activations[uIndex].streamId] = in_pszOwner;
        }
    }
    m_uActivationsSeen = activations.size();
}

bool Run::InitPlugins(std::string& out_error) {
    host::ParameterBlock sinkBlock, effectBlock, mixerBlock;
    if (!m_plugins.SinkBlock(m_scene, sinkBlock, out_error) ||
        !m_plugins.EffectBlock(effectBlock, out_error) ||
        !m_plugins.MixerBlock(m_scene, mixerBlock, out_error)) {
        return false;
    }
    if (!CreateParams(m_plugins.Sink(), sinkBlock, m_sinkParams, out_error) ||
        !CreateParams(m_plugins.Effect(), effectBlock, m_effectParams, out_error) ||
        !CreateParams(m_plugins.Mixer(), mixerBlock, m_mixerParams, out_error)) {
        return false;
    }

    // The sink first: it chooses the final mix's layout.
    m_sink.pAllocator = &m_allocator;
    m_sink.pPlugin = m_plugins.Sink()->pCreatePlugin(&m_allocator);
    m_pSink = static_cast<ZV::ISinkPlugin*>(m_sink.pPlugin);
    ZvAudioFormat masterFormat = {m_scene.uSampleRate, ZvChannelLayout::FromMask(0x3)};
    if (m_pSink == nullptr) {
        out_error = "the sink's factory gave nothing";
        return false;
    }
    const ZvResult eSink =
        m_pSink->InitPlugin(&m_allocator, &m_sinkContext, m_sinkParams.pParams, masterFormat);
    if (eSink != ZV_Success) {
        // As an engine does when its output device cannot be opened: it plays its final mix, in
        // the layout the sink chose, on its own output.
        std::string why = "the sink answered " + std::to_string(eSink) + " to InitPlugin";
        if (m_scene.uSampleRate != m_result.uRendererSampleRate) {
            why += " (the scene runs at " + std::to_string(m_scene.uSampleRate) +
                   " Hz, the renderer plays at " + std::to_string(m_result.uRendererSampleRate) +
                   " Hz, and no plug-in plays at the wrong rate)";
        }
        m_result.ownOutputReason = why;
        m_result.warnings.push_back(
            why +
            ": the files hold the engine's own output, its final mix on the "
            "bed's speakers, with no spatial object");
        m_pOwnMix =
            std::make_unique<SampleBufferStorage>(masterFormat.channelConfig, m_scene.uHostFrames);
        m_pOwnOutput = std::make_unique<EngineOutputPasses>(masterFormat.channelConfig,
                                                            m_scene.uRendererFrames);
    }
    NoteNewStreams("sink");
    m_result.uSinkLayoutMask = masterFormat.channelConfig.uChannelMask;

    m_effect.pAllocator = &m_allocator;
    m_effect.pPlugin = m_plugins.Effect()->pCreatePlugin(&m_allocator);
    m_pEffect = static_cast<ZV::IInPlaceEffectPlugin*>(m_effect.pPlugin);
    ZvAudioFormat musicFormat = {m_scene.uSampleRate,
                                 ZvChannelLayout::FromMask(m_scene.uMusicBusMask)};
    if (m_pEffect == nullptr) {
        out_error = "the effect's factory gave nothing";
        return false;
    }
    const ZvResult eEffect =
        m_pEffect->InitPlugin(&m_allocator, &m_effectContext, m_effectParams.pParams, musicFormat);
    m_bEffectReady = eEffect == ZV_Success;
    if (!m_bEffectReady) {
        // The engine leaves an effect that failed out of its bus.
        m_result.warnings.push_back("the effect answered " + std::to_string(eEffect) +
                                    " to InitPlugin: the music bus plays without it");
    }
    NoteNewStreams("effect");

    m_mixer.pAllocator = &m_allocator;
    m_mixer.pPlugin = m_plugins.Mixer()->pCreatePlugin(&m_allocator);
    m_pMixer = static_cast<ZV::IMixerPlugin*>(m_mixer.pPlugin);
    ZvAudioFormat mixFormat = {m_scene.uSampleRate, masterFormat.channelConfig};
    if (m_pMixer == nullptr ||
        m_pMixer->InitPlugin(&m_allocator, &m_mixerContext, m_mixerParams.pParams, mixFormat) !=
            ZV_Success) {
        out_error = "the mixer did not initialise";
        return false;
    }
    NoteNewStreams("mixer");

    const uint16_t uFrames = m_scene.uHostFrames;
    if (!m_pOwnOutput) {
        m_pSinkDriver =
            std::make_unique<host::SinkFrameDriver>(*m_pSink, masterFormat.channelConfig, uFrames);
        m_pSinkDriver->SetSource(this);
    }
    m_pMixerBus =
        std::make_unique<host::MixerBusDriver>(*m_pMixer, masterFormat.channelConfig, uFrames);
    m_pMusicBus =
        std::make_unique<host::HostBusDriver>(*m_pEffect, musicFormat.channelConfig, uFrames);

    for (auto& pVoice : m_voices) {
        if (pVoice->pSpec->eRoute == VoiceRoute::Mixer) {
            host::ParameterBlock block;
            if (!m_plugins.AttachmentBlock(pVoice->pSpec->bBypassLocal, block, out_error) ||
                !CreateParams(m_plugins.Attachment(), block, pVoice->attachment, out_error)) {
                return false;
            }
        } else {
            const uint32_t uMask = pVoice->pSpec->uChannels == 2 ? 0x3 : 0x4;
            pVoice->pBuffer =
                std::make_unique<SampleBufferStorage>(ZvChannelLayout::FromMask(uMask), uFrames);
        }
    }
    return true;
}

void Run::PrepareCaptureBuffers() {
    // As many as can be in flight: a full mix queue of batches (those the mix thread has taken and
    // not yet given back included) and the one being taken, each with every object the streams
    // may play (the sink's and the effect's beds of up to a speaker each, the mixer's granted
    // objects). Made and touched here, so that the run does not allocate a buffer (a fresh page in
    // every second one) per object per pass until the queue has once been full.
    const size_t uBuffers = std::min(standin::kMaxRecycledSampleBuffers,
                                     (ListenerMixThread::kDefaultMaxBatches + 1) *
                                         (2 * size_t{kSpeakerChannels} + size_t{m_scene.uGrant}));
    std::vector<standin::Pass> spare(1);
    spare[0].objects.resize(uBuffers);
    for (standin::ObjectPass& object : spare[0].objects) {
        object.samples.assign(m_scene.uRendererFrames, 0.0f);
    }
    standin::RecyclePasses(spare);
}

bool Run::PrepareVoices(std::string& out_error) {
    for (size_t uIndex = 0; uIndex < m_scene.voices.size(); ++uIndex) {
        auto pVoice = std::make_unique<Voice>();
        pVoice->pSpec = &m_scene.voices[uIndex];
        pVoice->uInputId = static_cast<uint32_t>(uIndex + 1);
        if (!pVoice->signal.Prepare(m_scene, *pVoice->pSpec, static_cast<uint32_t>(uIndex),
                                    out_error)) {
            return false;
        }
        m_voices.push_back(std::move(pVoice));
    }
    return true;
}

void Run::PanVoice(Voice& io_voice, ZvSampleBuffer& io_bus, double in_fTime) {
    SampleBufferStorage& buffer = *io_voice.pBuffer;
    float* apChannels[2] = {buffer.Channel(0),
                            buffer.Channels() > 1 ? buffer.Channel(1) : buffer.Channel(0)};
    io_voice.signal.Render(m_uFirstFrame, m_scene.uHostFrames, apChannels);
    const Direction position = PositionAt(io_voice.pSpec->trajectory, in_fTime);
    const uint32_t uInputs = io_voice.pBuffer->Channels();
    const uint32_t uOutputs = io_bus.NumChannels();
    const uint32_t uStride = ZV::SpeakerVolumeRowStride(uOutputs);
    m_panVolumes.assign(static_cast<size_t>(uInputs) * uStride, 0.0f);
    ZV::SpeakerVolumeMatrix matrix = {m_panVolumes.data(), uInputs, uOutputs};
    host::ComputePanningMatrix(io_voice.pBuffer->Layout(), io_bus.channelConfig,
                               static_cast<float>(position.fAzimuth), matrix);
    const float fGain = static_cast<float>(io_voice.pSpec->fGain);
    for (uint32_t uIn = 0; uIn < uInputs; ++uIn) {
        const float* pFrom = io_voice.pBuffer->Channel(uIn);
        for (uint32_t uOut = 0; uOut < uOutputs; ++uOut) {
            const float fVolume = m_panVolumes[uIn * uStride + uOut] * fGain;
            if (fVolume == 0.0f) {
                continue;
            }
            float* pTo = ChannelOf(io_bus, uOut);
            for (uint32_t uFrame = 0; uFrame < m_scene.uHostFrames; ++uFrame) {
                pTo[uFrame] += pFrom[uFrame] * fVolume;
            }
        }
    }
}

// Mixer voices join the mixer bus (ConnectInput) in the frame in which they start and leave it
// (DisconnectInput) after the frame in which they end, as the engine's voices do; between, each
// frame sets its ray and its distance volume, ramping from the last frame's.
void Run::UpdateMixerVoices(uint64_t in_uFirst, double in_fTime) {
    const uint32_t uFrames = m_scene.uHostFrames;
    for (auto& pVoice : m_voices) {
        Voice& voice = *pVoice;
        if (voice.pSpec->eRoute != VoiceRoute::Mixer || voice.bEnded) {
            continue;
        }
        const bool bActive = voice.signal.IsActive(in_uFirst, uFrames);
        if (!bActive) {
            if (voice.pInput != nullptr) {
                for (const auto& error : voice.pInput->Context().Errors()) {
                    m_result.hostErrors.push_back(voice.pSpec->name + ": " + error);
                }
                m_pMixerBus->RemoveVoice(*voice.pInput);
                voice.pInput = nullptr;
                voice.bEnded = true;
            }
            continue;
        }
        if (voice.pInput == nullptr) {
            const uint32_t uMask = voice.pSpec->uChannels == 2 ? 0x3 : 0x4;
            voice.pInput = &m_pMixerBus->AddVoice(ZvChannelLayout::FromMask(uMask), voice.uInputId);
            voice.pInput->Context().SetAttachmentParameters(voice.attachment.pParams);
            const float fGain = static_cast<float>(voice.pSpec->fGain);
            voice.pInput->SetBaseVolume(ZvVolumeRamp{fGain, fGain});
            Voice* pThis = &voice;
            voice.pInput->SetSource([this, pThis](ZvSampleBuffer& io_buffer, uint64_t) {
                const Clock::time_point start = Clock::now();
                float* apChannels[2] = {io_buffer.pData, io_buffer.pData + io_buffer.uMaxFrames};
                pThis->signal.Render(m_uFirstFrame, io_buffer.uValidFrames, apChannels);
                m_inSources += Clock::now() - start;
            });
        }
        const Direction position = PositionAt(voice.pSpec->trajectory, in_fTime);
        voice.pInput->Context().SetPosition(
            static_cast<float>(position.fDistance),
            static_cast<float>(position.fAzimuth * kRadiansPerDegree),
            static_cast<float>(position.fElevation * kRadiansPerDegree));
        const float fVolume = DistanceVolume(position.fDistance);
        const float fPrevVolume = voice.fLastVolume < 0.0f ? fVolume : voice.fLastVolume;
        voice.fLastVolume = fVolume;
        voice.pInput->SetEmitterListenerVolume(ZvVolumeRamp{fPrevVolume, fVolume});
    }
}

// The counters the mixer posted in this frame (its 12-byte record), if it posted any. With a
// running stream (a grant in the record) the frame went onto the mixer's timeline; a frame
// without a record is one in which the mixer lost its stream and emptied its rings.
void Run::ReadMixerCounters() {
    uint32_t aValues[3] = {};
    uint32_t uSize = 0;
    const uint64_t uPosts = m_mixerContext.MonitorLog().LatestData(aValues, sizeof(aValues), uSize);
    MixerCounters counters;
    if (uPosts != m_uMixerPosts && uSize >= sizeof(aValues)) {
        counters = MixerCounters{aValues[0], aValues[1], aValues[2], true};
        m_result.uObjectRecordsUsed = std::max(m_result.uObjectRecordsUsed, aValues[0]);
        if (aValues[2] > 0) {
            m_result.mixerTimeline.Write(m_scene.uHostFrames);
        }
    } else {
        m_result.mixerTimeline.Reset();
    }
    m_uMixerPosts = uPosts;
    m_result.counters.push_back(counters);
}

ZvVolumeRamp Run::Render(uint64_t in_uBuffer, ZvSampleBuffer& io_rBuffer) {
    const Clock::time_point renderStart = Clock::now();
    const uint32_t uFrames = m_scene.uHostFrames;
    const uint64_t uFirst = in_uBuffer * uFrames;
    const double fTime = (static_cast<double>(uFirst) + uFrames / 2.0) / m_scene.uSampleRate;
    m_uFirstFrame = uFirst;
    io_rBuffer.uValidFrames = static_cast<uint16_t>(uFrames);

    // The mixer bus: each playing voice with its ray.
    UpdateMixerVoices(uFirst, fTime);
    {
        const Clock::time_point start = Clock::now();
        m_pMixerBus->RunFrame();
        m_inPlugins += Clock::now() - start;
    }
    ReadMixerCounters();

    // The music bus through the effect. A bus that had sound and comes back silent was diverted
    // to the renderer; a silent bus keeps what was last seen.
    ZvSampleBuffer& music = m_pMusicBus->Buffer();
    std::fill(music.pData, music.pData + static_cast<size_t>(music.NumChannels()) * uFrames, 0.0f);
    for (auto& pVoice : m_voices) {
        if (pVoice->pSpec->eRoute == VoiceRoute::Music &&
            pVoice->signal.IsActive(uFirst, uFrames)) {
            PanVoice(*pVoice, music, fTime);
        }
    }
    auto silent = [&]() {
        return std::all_of(music.pData,
                           music.pData + static_cast<size_t>(music.NumChannels()) * uFrames,
                           [](float in_fSample) { return in_fSample == 0.0f; });
    };
    const bool bMusicSounds = !silent();
    if (m_bEffectReady) {
        const Clock::time_point start = Clock::now();
        m_pMusicBus->ProcessAsFilled(static_cast<uint16_t>(uFrames));
        m_inPlugins += Clock::now() - start;
    }
    if (bMusicSounds) {
        m_bEffectDiverts = silent();
    }
    if (m_bEffectDiverts) {
        m_result.effectRing.Write(uFrames);
    }

    // The final mix: the mixer bus, the music bus and the voices routed to it.
    std::fill(io_rBuffer.pData,
              io_rBuffer.pData + static_cast<size_t>(io_rBuffer.NumChannels()) * uFrames, 0.0f);
    AddBus(m_pMixerBus->MixBuffer(), io_rBuffer, uFrames);
    AddBus(music, io_rBuffer, uFrames);
    for (auto& pVoice : m_voices) {
        if (pVoice->pSpec->eRoute == VoiceRoute::Master &&
            pVoice->signal.IsActive(uFirst, uFrames)) {
            PanVoice(*pVoice, io_rBuffer, fTime);
        }
    }
    if (!m_pOwnOutput) {
        m_result.sinkRing.Write(uFrames);
    }
    m_inRender += Clock::now() - renderStart;
    return ZvVolumeRamp{1.0f, 1.0f};
}

void Run::RunSinkFrames() {
    // As many frames as the sink asks for: at most its whole ring (a burst), and one more.
    const uint32_t uLimit =
        static_cast<uint32_t>(SinkRingCapacity(m_scene) / m_scene.uHostFrames + 1);
    for (uint32_t uFrame = 0; uFrame < uLimit; ++uFrame) {
        m_inRender = m_inPlugins = m_inSources = Clock::duration{};
        const Clock::time_point start = Clock::now();
        if (!m_pSinkDriver->RunFrame()) {
            return;
        }
        const Clock::duration frame = Clock::now() - start;
        // The sink's own calls are the frame less what Render did; the mixer's time less its
        // voices' signals.
        RecordFrameTimes(frame, frame - m_inRender + m_inPlugins - m_inSources);
    }
}

void Run::PlayOwnOutput(uint64_t in_uFrames) {
    const uint32_t uHost = m_scene.uHostFrames;
    while (m_uOwnBuffers * uHost < in_uFrames) {
        m_inRender = m_inPlugins = m_inSources = Clock::duration{};
        const Clock::time_point start = Clock::now();
        ZvSampleBuffer& mix = *m_pOwnMix->Buffer();
        Render(m_uOwnBuffers++, mix);
        RecordFrameTimes(Clock::now() - start, m_inPlugins - m_inSources);
        m_pOwnOutput->Add(mix, uHost);
        standin::Pass block;
        while (m_pOwnOutput->Take(block)) {
            const uint64_t uFrame = (m_pOwnOutput->BlocksTaken() - 1) * m_scene.uRendererFrames;
            std::vector<standin::Pass> blocks;
            blocks.push_back(std::move(block));
            m_pMix->Add(uFrame, std::move(blocks));
        }
    }
}

void Run::RecordFrameTimes(Clock::duration in_frame, Clock::duration in_plugins) {
    m_result.pluginNanoseconds.push_back(Nanoseconds(in_plugins));
    m_result.frameNanoseconds.push_back(Nanoseconds(in_frame));
    ++m_result.uHostBuffers;
}

void Run::ModelPasses(const std::vector<standin::Pass>& in_passes) {
    const uint32_t uPeriod = m_scene.uRendererFrames;
    for (const standin::Pass& pass : in_passes) {
        if (m_result.streamOwners.find(pass.streamId) == m_result.streamOwners.end()) {
            // A stream opened again after a loss.
            NoteNewStreams(pass.objects.empty() || pass.objects[0].type == AudioObjectType_Dynamic
                               ? "mixer"
                               : "bed");
        }
        const std::string& owner = m_result.streamOwners[pass.streamId];
        if (owner == "sink") {
            m_result.sinkRing.Read(uPeriod);
        } else if (owner == "effect") {
            if (m_result.effectRing.Written() > 0) {
                m_result.effectRing.Read(uPeriod);
            }
        } else if (owner == "mixer") {
            m_result.mixerTimeline.Read(uPeriod);
        }
    }
}

void Run::TakePasses(uint64_t in_uFrame) {
    std::vector<standin::Pass> passes = standin::TakePasses();
    ModelPasses(passes);
    m_pMix->Add(in_uFrame, std::move(passes));
}

// Real-time pacing: each stream's passes are placed one period apart from where its first pass
// fell on the clock.
void Run::PlacePassesByClock(Clock::time_point in_start) {
    std::vector<standin::Pass> passes = standin::TakePasses();
    if (passes.empty()) {
        return;
    }
    ModelPasses(passes);
    const double fPeriod = static_cast<double>(m_scene.uRendererFrames) / m_scene.uSampleRate;
    const double fNow = std::chrono::duration<double>(Clock::now() - in_start).count();
    for (standin::Pass& pass : passes) {
        auto it = m_streamBase.find(pass.streamId);
        if (it == m_streamBase.end()) {
            const int64_t iPeriod = static_cast<int64_t>(std::floor(fNow / fPeriod));
            it = m_streamBase.emplace(pass.streamId, iPeriod - static_cast<int64_t>(pass.index))
                     .first;
        }
        const int64_t iPeriod = it->second + static_cast<int64_t>(pass.index);
        if (iPeriod < 0) {
            continue;
        }
        std::vector<standin::Pass> one;
        one.push_back(std::move(pass));
        m_pMix->Add(static_cast<uint64_t>(iPeriod) * m_scene.uRendererFrames, std::move(one));
    }
}

bool Run::Play(std::string& out_error) {
    m_result.uSampleRate = m_scene.uSampleRate;
    m_result.uHostFrames = m_scene.uHostFrames;
    m_result.uRendererFrames = m_scene.uRendererFrames;
    m_result.bRealTime = m_options.bRealTime;
    // The scene, then the passes that play out what the plug-ins hold: the engine runs on as
    // during the scene (its voices have ended, so it renders silence), for as many passes as the
    // sink's queue and the mixer's records take to empty, and one more. The files hold it all.
    m_result.uTotalFrames =
        static_cast<uint64_t>(std::llround(m_scene.fDurationSeconds * m_scene.uSampleRate)) +
        PlayOutFrames(m_scene);
    m_result.sinkRing = RingFillModel(SinkRingCapacity(m_scene));
    m_result.effectRing = RingFillModel(
        EffectRingFrames(SizingPeriodFrames(m_scene.uRendererFrames), m_scene.uHostFrames));
    m_result.mixerTimeline = MixerTimelineModel(m_scene.uHostFrames, m_scene.uRendererFrames);

    const Clock::time_point setupStart = Clock::now();
    if (!m_plugins.Load(out_error)) {
        m_result.bLibraryMissing = true;
        return false;
    }
    // The renderer plays at its own rate (48 kHz, as the real one does), whatever the scene's.
    standin::EndpointConfig endpoint = standin::DefaultEndpoint();
    endpoint.frameCount = m_scene.uRendererFrames;
    endpoint.maxDynamicObjects = m_scene.uGrant;
    standin::SetDefaultEndpoint(endpoint);
    m_result.uRendererSampleRate =
        endpoint.formats.empty() ? 0u : endpoint.formats[0].nSamplesPerSec;
    standin::SetPacing(m_options.bRealTime ? standin::Pacing::RealTime : standin::Pacing::Stepped);
    m_uActivationsSeen = standin::StreamActivations().size();

    PassRendererConfig outputConfig;
    outputConfig.uSampleRate = m_scene.uSampleRate;
    outputConfig.uBlockFrames = m_scene.uRendererFrames;
    outputConfig.sofaPath = m_options.sofaPath;
    outputConfig.speakerPath = m_options.speakerPath;
    outputConfig.binauralPath = m_options.binauralPath;
    outputConfig.uLevelWindowFrames = m_scene.uSampleRate / 10;
    outputConfig.uSceneFrames =
        static_cast<uint64_t>(std::llround(m_scene.fDurationSeconds * m_scene.uSampleRate));
    m_result.uLevelWindowFrames = outputConfig.uLevelWindowFrames;
    // The inputs first (the voices' WAV files, then the SOFA set in Open), then the output files,
    // then the plug-ins: once started, their streams run by the clock with real-time pacing.
    if (!PrepareVoices(out_error) || !m_output.Open(outputConfig, out_error)) {
        return false;
    }
    // The mix thread starts before the pin, so that it runs wherever a processor is free.
    m_pMix = std::make_unique<ListenerMixThread>(m_output, m_options.bMixOnOwnThread);
    PrepareCaptureBuffers();
    if (!m_options.bRealTime && m_options.bLockstepOnOneCpu) {
        m_pLockstep = std::make_unique<LockstepCpu>();
        m_result.iLockstepCpu = m_pLockstep->Cpu();
    }
    if (!InitPlugins(out_error)) {
        return false;
    }

    const uint64_t uTotal = m_result.uTotalFrames;
    const uint32_t uHost = m_scene.uHostFrames;
    const uint32_t uPeriod = m_scene.uRendererFrames;
    const uint64_t uSteps = (uTotal + uPeriod - 1) / uPeriod;
    // The per-frame records are made room for before the run, so that the frames do not grow
    // them: the sink keeps at most its slots ahead of the renderer.
    const uint64_t uHostBuffers = (uSteps * uPeriod) / uHost + 2 * m_scene.uSinkBufferCount + 8;
    m_result.counters.reserve(uHostBuffers);
    m_result.pluginNanoseconds.reserve(uHostBuffers);
    m_result.frameNanoseconds.reserve(uHostBuffers);
    const Clock::time_point start = Clock::now();
    const double fStartProcessor = ProcessorSeconds();
    m_result.fSetupSeconds = Seconds(start - setupStart);
    if (m_options.bRealTime) {
        // The engine's audio thread wakes twice per host buffer and runs the frames the sink
        // wants; the renderer passes by the clock.
        const Clock::duration wake = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(uHost / 2.0 / m_scene.uSampleRate));
        const Clock::time_point end =
            start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                        static_cast<double>(uTotal) / m_scene.uSampleRate));
        for (Clock::time_point next = start; next < end; next += wake) {
            std::this_thread::sleep_until(next);
            if (Stopped(out_error)) {
                return false;
            }
            // The passes since the last wake first: they took from the rings before the frames
            // that follow wrote to them, and the ring models must see them in that order.
            PlacePassesByClock(start);
            if (m_pOwnOutput) {
                // The engine's own output takes the frames due by the clock.
                PlayOwnOutput(static_cast<uint64_t>(
                    std::ceil(Seconds(Clock::now() - start) * m_scene.uSampleRate)));
            } else {
                RunSinkFrames();
            }
            if (m_options.progress) {
                m_options.progress(
                    std::min(1.0, Seconds(Clock::now() - start) * m_scene.uSampleRate / uTotal));
            }
        }
        // The passes of the last buffer.
        std::this_thread::sleep_until(end + std::chrono::milliseconds(50));
        PlacePassesByClock(start);
        if (m_pOwnOutput) {
            PlayOwnOutput(uTotal);
        }
    } else {
        // Stepped: before each pass, the frames that the sink wants (or, without a sink, that the
        // engine's own output plays in it); then the pass.
        for (uint64_t uStep = 0; uStep < uSteps; ++uStep) {
            if (Stopped(out_error)) {
                return false;
            }
            if (m_pOwnOutput) {
                PlayOwnOutput((uStep + 1) * uPeriod);
            } else {
                RunSinkFrames();
            }
            standin::Step();
            TakePasses(uStep * uPeriod);
            if (m_options.progress && (uStep % 16 == 0 || uStep + 1 == uSteps)) {
                m_options.progress(static_cast<double>(uStep + 1) / uSteps);
            }
        }
        m_result.uSteps = uSteps;
    }

    Terminate();
    m_pLockstep.reset();
    m_result.rendererStreams = standin::Streams();
    m_pMix->Finish();
    m_result.uDroppedMixBatches = m_pMix->DroppedBatches();
    m_result.streams = m_output.StreamStats();
    m_result.trajectories = m_output.Trajectories();
    if (!m_output.Finish(uTotal, out_error)) {
        return false;
    }
    m_result.fWallSeconds = Seconds(Clock::now() - start);
    m_result.fProcessorSeconds = ProcessorSeconds() - fStartProcessor;
    m_result.speakerLevels = m_output.Speakers().Levels();
    m_result.speakerPeaks = m_output.Speakers().Peaks();
    m_result.binauralPeaks = m_output.Binaural().Peaks();
    m_result.binauralLevels = m_output.Binaural().Levels();
    m_result.speakerNonFinite = m_output.Speakers().NonFiniteSamples();
    m_result.speakerClipped = m_output.Speakers().ClippedSamples();
    m_result.binauralNonFinite = m_output.Binaural().NonFiniteSamples();
    m_result.binauralClipped = m_output.Binaural().ClippedSamples();
    m_result.voiceRoutes = VoiceRoutes(m_scene, m_result.trajectories);
    const std::vector<std::string> warnings = RunWarnings(m_result);
    m_result.warnings.insert(m_result.warnings.end(), warnings.begin(), warnings.end());
    m_result.uHrtfTransforms = m_output.Transforms();
    m_result.uHrtfDirections = m_output.Hrtf().CachedDirections();
    m_result.uOutstandingBlocks = m_allocator.OutstandingBlocks();
    m_result.uBadFrees = m_allocator.Errors().size();
    return true;
}

bool Run::Stopped(std::string& out_error) const {
    const int iSignal =
        m_options.pStop != nullptr ? m_options.pStop->load(std::memory_order_relaxed) : 0;
    if (iSignal == 0) {
        return false;
    }
    out_error = "stopped by signal " + std::to_string(iSignal) + " (" + strsignal(iSignal) + ")";
    return true;
}

void Run::Terminate() {
    if (m_bTerminated) {
        return;
    }
    m_bTerminated = true;
    // The drivers go first: the mixer bus disconnects its voices.
    for (auto& pVoice : m_voices) {
        if (pVoice->pInput != nullptr) {
            for (const auto& error : pVoice->pInput->Context().Errors()) {
                m_result.hostErrors.push_back(pVoice->pSpec->name + ": " + error);
            }
            pVoice->pInput = nullptr;
        }
    }
    m_pMixerBus.reset();
    m_pMusicBus.reset();
    m_pSinkDriver.reset();
    // Plug-ins before their parameters, parameters before the allocator.
    m_mixer.Reset();
    m_effect.Reset();
    m_sink.Reset();
    for (auto& pVoice : m_voices) {
        pVoice->attachment.Reset();
    }
    m_mixerParams.Reset();
    m_effectParams.Reset();
    m_sinkParams.Reset();
    for (const auto& error : m_global.Errors()) {
        m_result.hostErrors.push_back(error);
    }
    for (const auto& error : m_sinkContext.Errors()) {
        m_result.hostErrors.push_back("sink: " + error);
    }
    for (const auto& message : m_sinkContext.MonitorLog().Messages()) {
        m_result.monitorMessages.push_back("sink: " + message.text);
    }
    for (const auto& message : m_effectContext.MonitorLog().Messages()) {
        m_result.monitorMessages.push_back("effect: " + message.text);
    }
    for (const auto& message : m_mixerContext.MonitorLog().Messages()) {
        m_result.monitorMessages.push_back("mixer: " + message.text);
    }
}

}  // namespace

bool CheckSceneInputs(const SceneSpec& in_scene, const std::string& in_sofaPath,
                      std::vector<std::string>& out_notes, std::string& out_error) {
    for (size_t uIndex = 0; uIndex < in_scene.voices.size(); ++uIndex) {
        const VoiceSpec& voice = in_scene.voices[uIndex];
        if (voice.signal.eKind != SignalKind::WavFile) {
            continue;
        }
        const std::string where = "voices[" + std::to_string(uIndex) + "] (\"" + voice.name + "\")";
        WavSource source;
        if (!source.Open(voice.signal.wavPath, voice.uChannels, in_scene.uSampleRate, out_error)) {
            out_error = where + ": " + out_error;
            return false;
        }
        out_notes.push_back(where + ": " + source.Describe());
    }
    return HrtfSet::CheckFile(in_sofaPath, out_error);
}

// The mixer's records play out as the engine runs on with no voice.
uint64_t PlayOutFrames(const SceneSpec& in_scene) {
    const uint64_t uPeriod = in_scene.uRendererFrames;
    const uint64_t uHeld =
        std::max<uint64_t>(SinkLatencyBoundFrames(in_scene.uRendererFrames, in_scene.uHostFrames),
                           uint64_t{kLargestPeriodFrames} + 2ull * in_scene.uHostFrames);
    return ((uHeld + uPeriod - 1) / uPeriod + 2) * uPeriod;
}

bool PlayScene(const SceneSpec& in_scene, const ScenePlayerOptions& in_options,
               SceneRunResult& out_result, std::string& out_error) {
    out_result = SceneRunResult();
    ComApartment apartment;
    CaptureScope capture;
    Run run(in_scene, in_options, out_result);
    return run.Play(out_error);
}

}  // namespace scene
