// What the mixer's tests share: the two builds as test types, and a fixture that sets up a mixer
// of one build on the stand-in renderer (stepped pacing, passes captured) with the test host's
// allocator, contexts, parameter object and bus driver.
#pragma once

#include <gtest/gtest.h>

#include <stdint.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AssertRecorder.h"
#include "AsyncStreamActivation.h"
#include "DesktopStreamActivation.h"
#include "HostAllocatorTest.h"
#include "HostGlobalContext.h"
#include "HostMixerContext.h"
#include "MixerBusDriver.h"
#include "SpatialMixerFX.h"
#include "SpatialMixerFXParams.h"
#include "WaitUntil.h"
#include "standin/Renderer.h"

namespace mixer_tests {

// The Universal Windows build: asynchronous activation through an ActivationHandler.
struct AsyncBuild {
    static constexpr bool kDesktop = false;
    static constexpr int32_t kActivationMinorVersion3 = 1;
    static const MixerStreamActivation& Activation() {
        static const AsyncStreamActivation s_activation;
        return s_activation;
    }
};

// The desktop build: synchronous activation, re-activated in place with a notice.
struct DesktopBuild {
    static constexpr bool kDesktop = true;
    static constexpr int32_t kActivationMinorVersion3 = 2;
    static const MixerStreamActivation& Activation() {
        static const DesktopStreamActivation s_activation;
        return s_activation;
    }
};

struct BuildNames {
    template <typename T>
    static std::string GetName(int) {
        return T::kDesktop ? "Desktop" : "Async";
    }
};

using Builds = ::testing::Types<AsyncBuild, DesktopBuild>;

constexpr float kHalfPi = 1.5707964f;

inline ZvChannelLayout Layout(uint32_t in_uMask) {
    return ZvChannelLayout::FromMask(in_uMask);
}
constexpr uint32_t kMono = ZV_SPEAKER_FRONT_CENTER;
constexpr uint32_t kStereo = ZV_SPEAKER_FRONT_LEFT | ZV_SPEAKER_FRONT_RIGHT;
constexpr uint32_t kTwoPointOne = kStereo | ZV_SPEAKER_LOW_FREQUENCY;
constexpr uint32_t kThreeChannels = kStereo | ZV_SPEAKER_FRONT_CENTER;

// The counters record as the mixer posts it.
inline std::vector<SpatialMixerFX::MonitorData> CountersOf(host::HostMonitorLog& in_log) {
    std::vector<SpatialMixerFX::MonitorData> counters;
    for (const std::vector<uint8_t>& record : in_log.DataRecords()) {
        SpatialMixerFX::MonitorData data = {};
        if (record.size() == sizeof(data)) {
            memcpy(&data, record.data(), sizeof(data));
            counters.push_back(data);
        }
    }
    return counters;
}

template <typename Build>
class MixerTest : public testing_support::HostAllocatorTest {
protected:
    static constexpr uint16_t kFrames = 480;  // one renderer pass per host buffer (by default)

    void SetUp() override {
        HostAllocatorTest::SetUp();
        standin::CapturePasses(256);
    }

    void TearDown() override {
        Terminate();
        // A check that a test did not expect (and Clear) is a fault: the mixer reports only
        // what a host or a platform did wrong.
        for (const testing_support::CheckReport& report : m_checks.Reports()) {
            ADD_FAILURE() << "check reported: " << report.expression << " (" << report.source
                          << ")";
        }
        HostAllocatorTest::TearDown();
    }

    // Creates the parameter object (the 5-byte block of in_bBypass and in_iMaxObjects) and the
    // mixer, and initialises the mixer for an output of in_uOutputMask.
    ZvResult Start(uint32_t in_uOutputMask = kStereo, int32_t in_iMaxObjects = 32,
                   bool in_bBypass = false, uint16_t in_uFrames = kFrames) {
        m_pGlobal = std::make_unique<host::HostGlobalContext>(in_uFrames);
        m_pContext = std::make_unique<host::HostMixerContext>(*m_pGlobal);
        m_pParams = static_cast<SpatialMixerFXParams*>(CreateSpatialMixerFXParams(&m_allocator));
        EXPECT_NE(nullptr, m_pParams);
        uint8_t aBlock[5] = {static_cast<uint8_t>(in_bBypass ? 1 : 0)};
        memcpy(aBlock + 1, &in_iMaxObjects, 4);
        m_pParams->InitParameters(&m_allocator, aBlock, sizeof(aBlock));
        m_pMixer = SpatialMixerFX::Create(
            &m_allocator, m_pActivation != nullptr ? *m_pActivation : Build::Activation());
        EXPECT_NE(nullptr, m_pMixer);
        m_format.uSampleRate = m_uEngineRate;
        m_format.channelConfig = Layout(in_uOutputMask);
        if (m_beforeInit) {
            m_beforeInit();
        }
        const ZvResult eResult =
            m_pMixer->InitPlugin(&m_allocator, m_pContext.get(), m_pParams, m_format);
        m_pDriver =
            std::make_unique<host::MixerBusDriver>(*m_pMixer, m_format.channelConfig, in_uFrames);
        return eResult;
    }

    void Terminate() {
        if (m_pDriver) {
            for (size_t i = 0; i < m_pDriver->VoiceCount(); ++i) {
                for (const std::string& error : m_pDriver->VoiceAt(i).Context().Errors()) {
                    m_inputErrors.push_back(error);
                }
            }
            m_pDriver->RemoveAllVoices();
            m_pDriver.reset();
        }
        if (m_pMixer != nullptr) {
            EXPECT_EQ(ZV_Success, m_pMixer->TermPlugin(&m_allocator));
            m_pMixer = nullptr;
        }
        if (m_pParams != nullptr) {
            m_pParams->TermParameters(&m_allocator);
            m_pParams = nullptr;
        }
        if (m_pGlobal) {
            EXPECT_TRUE(m_pGlobal->Errors().empty()) << "the mixer broke the host contract";
        }
        for (const std::string& error : m_inputErrors) {
            ADD_FAILURE() << error;
        }
        m_inputErrors.clear();
        // A completion still under way reaches only its own handler; it is done before the
        // allocator and the stand-in are checked.
        EXPECT_TRUE(standin::WaitForCompletions());
    }

    // A voice of in_uMask whose every sample of channel c is in_values[c], at one ray.
    host::MixerBusDriver::Voice& AddVoice(uint32_t in_uMask, std::vector<float> in_values,
                                          float in_fDistance, float in_fAzimuth,
                                          float in_fElevation = 0.0f) {
        host::MixerBusDriver::Voice& voice =
            m_pDriver->AddVoice(Layout(in_uMask), static_cast<uint32_t>(m_pDriver->VoiceCount()));
        voice.SetSource(host::MixerBusDriver::Voice::Constant(std::move(in_values)));
        voice.Context().SetPosition(in_fDistance, in_fAzimuth, in_fElevation);
        return voice;
    }

    // One host frame, then one renderer pass.
    void Frame() {
        m_pDriver->RunFrame();
        standin::Step();
    }

    // One frame and its pass, then a bounded wait until the other threads have done what the
    // frame set off: no activation of the render stream is under way, and the worker holds no
    // lost stream. The next frame sees every outcome, so a run of these is the same every time.
    void SettledFrame() {
        Frame();
        Settle();
    }
    void Settle() {
        EXPECT_TRUE(testing_support::WaitUntil([&]() {
            return !m_pMixer->StreamActivationPending() &&
                   (m_pMixer->CurrentStreamState() != StreamLost || !m_pMixer->WorkerHoldsStream());
        }));
    }

    // Runs frames (each with its pass) until in_predicate holds, for a bounded while; whether it
    // held. For conditions that another thread brings about (the worker ending its cycle).
    template <typename Predicate>
    bool FramesUntil(Predicate in_predicate) {
        return testing_support::WaitUntil(
            [&]() {
                if (in_predicate()) {
                    return true;
                }
                Frame();
                return in_predicate();
            },
            std::chrono::seconds(10));
    }

    // Steps the renderer until the worker has marked the stream lost (after a lost device, a
    // 100-millisecond wait ends with the tenth step) and let go of it.
    bool StepUntilLost() {
        return testing_support::WaitUntil([&]() {
            if (m_pMixer->CurrentStreamState() != StreamLost) {
                standin::Step(std::chrono::milliseconds(50));
            }
            return m_pMixer->CurrentStreamState() == StreamLost && !m_pMixer->WorkerHoldsStream();
        });
    }

    std::vector<SpatialMixerFX::MonitorData> Counters() {
        return CountersOf(m_pContext->MonitorLog());
    }
    SpatialMixerFX::MonitorData LastCounters() {
        const std::vector<SpatialMixerFX::MonitorData> counters = Counters();
        return counters.empty() ? SpatialMixerFX::MonitorData{99, 99, 99} : counters.back();
    }

    // The last captured pass (empty when none).
    standin::Pass LastPass() {
        std::vector<standin::Pass> passes = standin::TakePasses();
        return passes.empty() ? standin::Pass() : passes.back();
    }

    float Mix(uint32_t in_uChannel, uint32_t in_uFrame) const {
        return m_pDriver->MixSample(in_uChannel, in_uFrame);
    }

    // Another activation than the build's (for a shorter wait, say); null: the build's.
    const MixerStreamActivation* m_pActivation = nullptr;
    // Runs right before InitPlugin (to arm an allocation failure, say).
    std::function<void()> m_beforeInit;
    // The rate the format record names at InitPlugin.
    uint32_t m_uEngineRate = 48000;
    std::unique_ptr<host::HostGlobalContext> m_pGlobal;
    std::unique_ptr<host::HostMixerContext> m_pContext;
    SpatialMixerFXParams* m_pParams = nullptr;
    SpatialMixerFX* m_pMixer = nullptr;
    ZvAudioFormat m_format = {};
    std::unique_ptr<host::MixerBusDriver> m_pDriver;
    std::vector<std::string> m_inputErrors;
};

inline bool IsSounding(const standin::ObjectPass& in_object) {
    for (float fSample : in_object.samples) {
        if (fSample != 0.0f) {
            return true;
        }
    }
    return false;
}

// The objects of a pass that carry sound (the worker activates every object within the budget;
// those without an input play silence).
inline size_t SoundingObjects(const standin::Pass& in_pass) {
    size_t uCount = 0;
    for (const standin::ObjectPass& object : in_pass.objects) {
        uCount += IsSounding(object) ? 1 : 0;
    }
    return uCount;
}

// Every sample of in_samples is in_fValue (within float rounding).
inline ::testing::AssertionResult AllNear(const std::vector<float>& in_samples, float in_fValue,
                                          float in_fTolerance = 1e-5f) {
    if (in_samples.empty()) {
        return ::testing::AssertionFailure() << "no samples";
    }
    for (size_t i = 0; i < in_samples.size(); ++i) {
        if (!(std::fabs(in_samples[i] - in_fValue) <= in_fTolerance)) {
            return ::testing::AssertionFailure()
                   << "sample " << i << " is " << in_samples[i] << ", not " << in_fValue;
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace mixer_tests
