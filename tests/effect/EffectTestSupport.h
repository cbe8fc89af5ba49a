// What the effect's tests share: an effect on the test host (allocator, global and effect
// contexts) over the stand-in renderer, a bus driver, and a sample that names its channel and frame
// so that every sample of a run can be checked bit for bit.
#pragma once

#include <gtest/gtest.h>

#include <stdint.h>

#include <chrono>
#include <memory>
#include <vector>

#include "HostAllocatorTest.h"
#include "HostBusDriver.h"
#include "HostEffectContext.h"
#include "HostGlobalContext.h"
#include "ISACFXPlugin.h"
#include "WaitUntil.h"
#include "standin/Renderer.h"

namespace effect_tests {

// Exact in a float (below 2^24) and different for every channel and for 100000 frames.
inline float Sample(uint32_t in_uChannel, uint64_t in_uFrame) {
    return static_cast<float>((in_uChannel + 1) * 100000u +
                              static_cast<uint32_t>(in_uFrame % 100000));
}

struct SampleSource {
    float operator()(uint32_t in_uChannel, uint64_t in_uFrame) const {
        return Sample(in_uChannel, in_uFrame);
    }
};

// The bed types in the order of the effect's table.
constexpr AudioObjectType kBedTypes[12] = {
    AudioObjectType_FrontLeft,     AudioObjectType_FrontRight,  AudioObjectType_FrontCenter,
    AudioObjectType_LowFrequency,  AudioObjectType_BackLeft,    AudioObjectType_BackRight,
    AudioObjectType_SideLeft,      AudioObjectType_SideRight,   AudioObjectType_TopFrontLeft,
    AudioObjectType_TopFrontRight, AudioObjectType_TopBackLeft, AudioObjectType_TopBackRight,
};

constexpr uint32_t kStereoMask = 0x3;
constexpr uint32_t kFiveOneMask = 0x3F;  // front left, right, centre, LFE, back left, right
constexpr uint32_t kSevenOneFourMask = 0x2D63F;

class EffectTest : public testing_support::HostAllocatorTest {
protected:
    void SetUp() override {
        HostAllocatorTest::SetUp();
        standin::CapturePasses(256);
    }

    void TearDown() override {
        Term();
        HostAllocatorTest::TearDown();
    }

    // Creates the effect and initialises it on a bus of in_layout, the engine at in_uSampleRate.
    ZvResult Init(ZvChannelLayout in_layout, uint16_t in_uFramesPerBuffer = 512,
                  uint32_t in_uSampleRate = 48000) {
        m_pGlobal = std::make_unique<host::HostGlobalContext>(in_uFramesPerBuffer);
        m_pContext = std::make_unique<host::HostEffectContext>(*m_pGlobal);
        ZV::IPlugin* pPlugin = CreateISACFXPlugin(&m_allocator);
        m_pEffect = static_cast<ISACFXPlugin*>(pPlugin);
        if (m_pEffect == nullptr) {
            return ZV_Failure;
        }
        ZvAudioFormat format = {in_uSampleRate, in_layout};
        return m_pEffect->InitPlugin(&m_allocator, m_pContext.get(), nullptr, format);
    }

    void Term() {
        if (m_pEffect != nullptr) {
            EXPECT_EQ(ZV_Success, m_pEffect->TermPlugin(&m_allocator));
            m_pEffect = nullptr;
        }
    }

    StreamState State() const { return m_pEffect->GetStreamState(); }

    // After the device is lost, its events are no longer signalled: the worker's wait expires
    // once renderer time has moved 100 ms past the start of the wait. Steps until the stream has
    // gone (each step returns with the worker settled: it then holds a re-opened stream, or none).
    bool StepUntilLost() {
        for (int i = 0; i < 200; ++i) {
            standin::Step(std::chrono::milliseconds(200));
            if (State() != StreamRunning) {
                return true;
            }
        }
        return false;
    }

    std::unique_ptr<host::HostGlobalContext> m_pGlobal;
    std::unique_ptr<host::HostEffectContext> m_pContext;
    ISACFXPlugin* m_pEffect = nullptr;
};

// The samples of a buffer's channels, as bytes are compared: a copy to check "untouched" against.
inline std::vector<float> Snapshot(host::HostBusDriver& io_bus) {
    ZvSampleBuffer& buffer = io_bus.Buffer();
    return std::vector<float>(buffer.pData,
                              buffer.pData + size_t{buffer.NumChannels()} * buffer.uMaxFrames);
}

}  // namespace effect_tests
