// A host engine with a sink and an effect on the stand-in renderer, paced as real engines pace
// them, and an audit of every pass the renderer played.
//
// Each host frame renders the effect's bus (twelve channels, 7.1.4), hands it to ProcessInPlace,
// then renders the sink's mix (twelve channels) and hands it to ConsumeFrame; the engine runs
// frames while the sink asks (a burst of up to the sink's ring). Every sample names its channel
// and its frame: channel k at frame t carries (t mod 2^19) * 16 + k + 1, positive in the sink's
// mix and negative on the effect's bus, so that a stream's first sound tells whose it is (a
// re-opened stream is a new one).
//
// The audit holds each stream's passes against that signal: every sample of a bed object is its
// own channel's and follows the one before on that channel (nothing lost, doubled or reordered);
// once a channel has sounded, an exact zero is a gap; a pass after the stream's first sound that
// is silent or has zeros counts as short. The latency of a pass is the frames the engine had
// rendered when the pass ran less the first frame the pass played (what waits between the
// engine's buffer and the renderer).
//
// Settings are plain values (host buffer, period, buffer count, a late-wake schedule), so that
// the mixer's tests can take the same shape.
//
// Threads: the test's thread drives everything; in real-time pacing the stand-in's threads run
// the passes, and passes are audited on the test's thread.
#pragma once

#include <gtest/gtest.h>

#include <spatialaudioclient.h>

#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "HostAllocator.h"
#include "HostEffectContext.h"
#include "HostGlobalContext.h"
#include "HostSinkContext.h"
#include "ISACFXPlugin.h"
#include "SinkFrameDriver.h"
#include "SinkPluginParams.h"
#include "TransitionSoak.h"
#include "ZvSinkISAC.h"
#include "standin/Renderer.h"

namespace testing_support {

struct PacingSettings {
    uint16_t uHostFrames = 480;
    uint32_t uPeriodFrames = 480;
    uint16_t uBufferCount = 2;
    uint32_t uSampleRate = 48000;
};

// What one stream played, pass by pass.
struct StreamAudit {
    uint64_t uPasses = 0;
    uint64_t uShortPasses = 0;     // after the first sound: silent or with zeros
    uint64_t uGapSamples = 0;      // exact zeros on a channel that has sounded
    uint64_t uWrongSamples = 0;    // another channel's, or a frame played again
    uint64_t uSkippedSamples = 0;  // frames jumped over (a renderer that skipped a pass)
    uint64_t uMaxLatency = 0;      // frames, after the first sound
    bool bSounded = false;
    bool bEffect = false;   // whose stream: the effect's bus carries negative samples
    uint64_t uStreams = 0;  // in a sum: the streams that sounded
    std::map<uint32_t, uint64_t> nextFrame;  // per channel: the frame expected next
    std::string firstFault;
};

class PacingRig final : public host::SinkMixSource {
public:
    static constexpr uint64_t kFrameModulus = uint64_t{1} << 19;
    static constexpr uint32_t kChannels = 12;
    static constexpr uint32_t kSevenOneFourMask = 0x2D63F;

    static float Sample(uint32_t in_uChannel, uint64_t in_uFrame) {
        return static_cast<float>((in_uFrame % kFrameModulus) * 16 + in_uChannel + 1);
    }

    // Stepped: the device is lost, and a new default endpoint with in_uPeriodFrames per pass
    // takes its place; both plug-ins re-open on it by themselves.
    void ReplaceEndpoint(uint32_t in_uPeriodFrames) {
        m_settings.uPeriodFrames = in_uPeriodFrames;
        standin::LoseDevice();
        standin::EndpointConfig endpoint;
        endpoint.frameCount = in_uPeriodFrames;
        endpoint.formats = {standin::FloatMonoFormat(m_settings.uSampleRate)};
        standin::SetDefaultEndpoint(endpoint);
    }

    PacingRig(host::HostAllocator& io_allocator, const PacingSettings& in_settings)
        : m_allocator(io_allocator),
          m_settings(in_settings),
          m_global(in_settings.uHostFrames, in_settings.uSampleRate),
          m_sinkContext(m_global, in_settings.uBufferCount),
          m_effectContext(m_global) {}
    ~PacingRig() override { Stop(); }

    // Installs the endpoint, then creates and initialises both plug-ins; false when either fails.
    bool Start(standin::Pacing in_ePacing) {
        standin::EndpointConfig endpoint;
        endpoint.frameCount = m_settings.uPeriodFrames;
        endpoint.formats = {standin::FloatMonoFormat(m_settings.uSampleRate)};
        standin::SetDefaultEndpoint(endpoint);
        standin::SetPacing(in_ePacing);
        standin::CapturePasses(1 << 14);
        const size_t uActivations = standin::StreamActivations().size();

        m_pParams = static_cast<SinkPluginParams*>(CreateSinkPluginParams(&m_allocator));
        m_pParams->InitParameters(&m_allocator, nullptr, 0);
        const uint32_t uConfig = 3;  // twelve channels
        m_pParams->SetParameter(SinkParamId_ChannelConfig, &uConfig, 4);
        m_pSink = static_cast<ZvSinkISAC*>(CreateZvSinkISAC(&m_allocator));
        ZvAudioFormat sinkFormat = {m_settings.uSampleRate, ZvChannelLayout::FromMask(0x3)};
        if (m_pSink->InitPlugin(&m_allocator, &m_sinkContext, m_pParams, sinkFormat) !=
            ZV_Success) {
            return false;
        }
        m_pEffect = static_cast<ISACFXPlugin*>(CreateISACFXPlugin(&m_allocator));
        ZvAudioFormat busFormat = {m_settings.uSampleRate,
                                   ZvChannelLayout::FromMask(kSevenOneFourMask)};
        if (m_pEffect->InitPlugin(&m_allocator, &m_effectContext, nullptr, busFormat) !=
            ZV_Success) {
            return false;
        }
        if (standin::StreamActivations().size() < uActivations + 2) {
            return false;
        }
        m_bus.assign(size_t{kChannels} * m_settings.uHostFrames, 0.0f);
        m_busBuffer.pData = m_bus.data();
        m_busBuffer.uMaxFrames = m_settings.uHostFrames;
        m_busBuffer.channelConfig = busFormat.channelConfig;
        m_pDriver = std::make_unique<host::SinkFrameDriver>(*m_pSink, sinkFormat.channelConfig,
                                                            m_settings.uHostFrames);
        m_pDriver->SetSource(this);
        return true;
    }

    void Stop() {
        m_pDriver.reset();
        if (m_pEffect != nullptr) {
            m_pEffect->TermPlugin(&m_allocator);
            m_pEffect = nullptr;
        }
        if (m_pSink != nullptr) {
            m_pSink->TermPlugin(&m_allocator);
            m_pSink = nullptr;
        }
        if (m_pParams != nullptr) {
            m_pParams->TermParameters(&m_allocator);
            m_pParams = nullptr;
        }
    }

    // One host frame: the effect's bus, then the sink's mix.
    ZvVolumeRamp Render(uint64_t /*in_uBuffer*/, ZvSampleBuffer& io_rBuffer) override {
        const uint32_t uFrames = m_settings.uHostFrames;
        for (uint32_t uChannel = 0; uChannel < kChannels; ++uChannel) {
            float* pBus = m_bus.data() + size_t{uChannel} * uFrames;
            float* pMix = io_rBuffer.GetChannel(uChannel);
            for (uint32_t uFrame = 0; uFrame < uFrames; ++uFrame) {
                pMix[uFrame] = Sample(uChannel, m_uFramesRendered + uFrame);
                pBus[uFrame] = -pMix[uFrame];
            }
        }
        m_busBuffer.uValidFrames = static_cast<uint16_t>(uFrames);
        m_pEffect->ProcessInPlace(&m_busBuffer);
        m_uFramesRendered += uFrames;
        return ZvVolumeRamp{1.0f, 1.0f};
    }

    // Stepped: the renderer runs in_uPasses passes, each audited. The engine's thread wakes every
    // in_uWakeFrames of renderer time (0: before every pass), each wake late by up to
    // in_uLateFrames (seeded), and renders what the sink asks for; a wake falls on the first pass
    // at or after its time.
    void RunStepped(uint64_t in_uPasses, uint32_t in_uWakeFrames = 0, uint32_t in_uLateFrames = 0,
                    uint32_t in_uSeed = 1) {
        std::mt19937 random(in_uSeed);
        std::uniform_int_distribution<uint32_t> late(0, in_uLateFrames);
        uint64_t uWakeBase = 0;
        uint64_t uNextWake = 0;
        for (uint64_t i = 0; i < in_uPasses; ++i) {
            const uint64_t uTime = i * m_settings.uPeriodFrames;
            while (uTime >= uNextWake) {
                m_pDriver->FillSink(1 << 16);
                uWakeBase += in_uWakeFrames;
                uNextWake = in_uWakeFrames == 0 ? uTime + 1 : uWakeBase + late(random);
            }
            standin::Step();
            Audit(standin::TakePasses(), true);
        }
    }

    // Real time: the engine's thread wakes twice per host buffer, each wake late by up to
    // in_fLateShare of a host buffer (seeded), for in_wallTime.
    void RunRealTime(std::chrono::milliseconds in_wallTime, double in_fLateShare,
                     uint32_t in_uSeed) {
        typedef std::chrono::steady_clock Clock;
        std::mt19937 random(in_uSeed);
        const double fBufferSeconds =
            static_cast<double>(m_settings.uHostFrames) / m_settings.uSampleRate;
        std::uniform_real_distribution<double> late(0.0, in_fLateShare * fBufferSeconds);
        const Clock::time_point start = Clock::now();
        const auto wake = std::chrono::duration<double>(fBufferSeconds / 2);
        for (uint64_t uWake = 0; Clock::now() - start < in_wallTime; ++uWake) {
            std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                      wake * static_cast<double>(uWake) +
                                                      std::chrono::duration<double>(late(random))));
            Audit(standin::TakePasses(), false);
            m_pDriver->FillSink(1 << 16);
        }
    }

    // Every stream of the sink (of the effect) in one audit: counts add up, the latency is the
    // largest, the first fault is the first stream's that had one.
    StreamAudit SinkAudit() const { return Sum(false); }
    StreamAudit EffectAudit() const { return Sum(true); }
    uint64_t FramesRendered() const { return m_uFramesRendered; }

private:
    // in_bTimed: the passes ran right after the frames rendered so far (stepped), which gives
    // their latency.
    void Audit(const std::vector<standin::Pass>& in_passes, bool in_bTimed) {
        static const std::map<AudioObjectType, uint32_t> kChannelOf = SevenOneFourBedChannels();
        for (const standin::Pass& pass : in_passes) {
            StreamAudit& audit = m_audits[pass.streamId];
            ++audit.uPasses;
            const bool bSoundedBefore = audit.bSounded;
            bool bShort = false;
            uint64_t uFirstFrame = UINT64_MAX;
            for (const standin::ObjectPass& object : pass.objects) {
                const auto it = kChannelOf.find(object.type);
                if (it == kChannelOf.end()) {
                    continue;
                }
                // The effect's bus column k plays on bed entry k: the 7.1.4 buffer's order.
                const uint32_t uChannel = it->second;
                for (const float fSample : object.samples) {
                    if (fSample != 0.0f && !audit.bSounded) {
                        audit.bEffect = fSample < 0.0f;
                    }
                    AuditSample(audit, uChannel, audit.bEffect ? -fSample : fSample, bShort,
                                uFirstFrame);
                }
            }
            if (bSoundedBefore && bShort) {
                ++audit.uShortPasses;
            }
            if (in_bTimed && uFirstFrame != UINT64_MAX && bSoundedBefore) {
                const uint64_t uLatency =
                    (m_uFramesRendered % kFrameModulus + kFrameModulus - uFirstFrame) %
                    kFrameModulus;
                audit.uMaxLatency = std::max(audit.uMaxLatency, uLatency);
            }
        }
    }

    StreamAudit Sum(bool in_bEffect) const {
        StreamAudit sum;
        for (const auto& stream : m_audits) {
            const StreamAudit& audit = stream.second;
            if (!audit.bSounded || audit.bEffect != in_bEffect) {
                continue;
            }
            sum.bSounded = true;
            sum.bEffect = in_bEffect;
            sum.uPasses += audit.uPasses;
            sum.uShortPasses += audit.uShortPasses;
            sum.uGapSamples += audit.uGapSamples;
            sum.uWrongSamples += audit.uWrongSamples;
            sum.uSkippedSamples += audit.uSkippedSamples;
            sum.uMaxLatency = std::max(sum.uMaxLatency, audit.uMaxLatency);
            ++sum.uStreams;
            if (sum.firstFault.empty() && !audit.firstFault.empty()) {
                sum.firstFault = "stream " + std::to_string(stream.first) + ", " + audit.firstFault;
            }
        }
        return sum;
    }

    static void AuditSample(StreamAudit& io_audit, uint32_t in_uChannel, float in_fSample,
                            bool& io_bShort, uint64_t& io_uFirstFrame) {
        if (in_fSample == 0.0f) {
            io_bShort = true;
            if (io_audit.nextFrame.count(in_uChannel) != 0) {
                ++io_audit.uGapSamples;
                Note(io_audit, "a zero on channel " + std::to_string(in_uChannel));
            }
            return;
        }
        const uint32_t uValue = static_cast<uint32_t>(in_fSample);
        const uint32_t uChannel = uValue % 16 - 1;
        const uint64_t uFrame = uValue / 16;
        io_audit.bSounded = true;
        if (static_cast<float>(uValue) != in_fSample || uChannel != in_uChannel) {
            ++io_audit.uWrongSamples;
            Note(io_audit, "channel " + std::to_string(in_uChannel) + " played another's sample");
            return;
        }
        const auto it = io_audit.nextFrame.find(in_uChannel);
        if (it != io_audit.nextFrame.end() && it->second != uFrame) {
            // Ahead of the frame expected: frames skipped; behind it: played again.
            const bool bAhead =
                (uFrame + kFrameModulus - it->second) % kFrameModulus < kFrameModulus / 2;
            ++(bAhead ? io_audit.uSkippedSamples : io_audit.uWrongSamples);
            Note(io_audit, "channel " + std::to_string(in_uChannel) + " played frame " +
                               std::to_string(uFrame) + " after " + std::to_string(it->second - 1));
        }
        io_audit.nextFrame[in_uChannel] = (uFrame + 1) % kFrameModulus;
        if (io_uFirstFrame == UINT64_MAX) {
            io_uFirstFrame = uFrame;
        }
    }

    static void Note(StreamAudit& io_audit, const std::string& in_what) {
        if (io_audit.firstFault.empty()) {
            io_audit.firstFault = "pass " + std::to_string(io_audit.uPasses) + ": " + in_what;
        }
    }

    host::HostAllocator& m_allocator;
    PacingSettings m_settings;
    host::HostGlobalContext m_global;
    host::HostSinkContext m_sinkContext;
    host::HostEffectContext m_effectContext;
    SinkPluginParams* m_pParams = nullptr;
    ZvSinkISAC* m_pSink = nullptr;
    ISACFXPlugin* m_pEffect = nullptr;
    std::unique_ptr<host::SinkFrameDriver> m_pDriver;
    std::vector<float> m_bus;
    ZvSampleBuffer m_busBuffer{};
    uint64_t m_uFramesRendered = 0;
    std::map<uint64_t, StreamAudit> m_audits;  // by stream id
};

}  // namespace testing_support
