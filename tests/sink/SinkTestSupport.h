// The spatial sink on the stand-in platform, created and initialised the way the host engine does
// it: a parameter object from the sink's factory, a sink context over a global context, the host
// allocator. Teardown terminates what a test left, then checks that every host block came back,
// that nothing of the stand-in is alive and that no check reported unless the test took the
// reports.
#pragma once

#include <gtest/gtest.h>

#include <spatialaudioclient.h>

#include <map>
#include <memory>
#include <vector>

#include "AssertRecorder.h"
#include "HostAllocatorTest.h"
#include "HostGlobalContext.h"
#include "HostSinkContext.h"
#include "SinkFrameDriver.h"
#include "SinkPluginParams.h"
#include "ZvSinkISAC.h"
#include "standin/Renderer.h"

namespace sink_testing {

struct SinkSetup {
    uint16_t uFramesPerBuffer = 512;
    uint16_t uBufferCount = 2;
    uint32_t uChannelConfig = 0;
    float fDirectGain = 1.0f;
    uint32_t uSampleRate = 48000;  // the engine's, in the format record
    // The layout the host offers in the format record (kept for a ChannelConfig that names none).
    ZvChannelLayout hostLayout = ZvChannelLayout::FromMask(0x3F);
};

// The speaker masks of ChannelConfig 0 to 3, as the host sees them.
constexpr uint32_t kStereoMask = 0x3;
constexpr uint32_t kSixChannelMask = 0x60F;
constexpr uint32_t kEightChannelMask = 0x63F;
constexpr uint32_t kTwelveChannelMask = 0x2D63F;

class SinkTest : public testing_support::HostAllocatorTest {
protected:
    void TearDown() override {
        DestroySink();
        EXPECT_TRUE(m_checks.Reports().empty()) << "unexpected check: " << FirstReport();
        testing_support::HostAllocatorTest::TearDown();
    }

    // Creates the parameter object and the sink and initialises the sink; InitPlugin's result.
    ZvResult CreateSink(const SinkSetup& in_setup) {
        m_pGlobal.reset(new host::HostGlobalContext(in_setup.uFramesPerBuffer));
        m_pContext.reset(new host::HostSinkContext(*m_pGlobal, in_setup.uBufferCount));
        m_pParams = static_cast<SinkPluginParams*>(CreateSinkPluginParams(&m_allocator));
        EXPECT_NE(nullptr, m_pParams);
        m_pParams->InitParameters(&m_allocator, nullptr, 0);
        m_pParams->SetParameter(SinkParamId_ChannelConfig, &in_setup.uChannelConfig, 4);
        m_pParams->SetParameter(SinkParamId_DirectGain, &in_setup.fDirectGain, 4);
        m_pSink = static_cast<ZvSinkISAC*>(CreateZvSinkISAC(&m_allocator));
        EXPECT_NE(nullptr, m_pSink);
        m_format.uSampleRate = in_setup.uSampleRate;
        m_format.channelConfig = in_setup.hostLayout;
        return m_pSink->InitPlugin(&m_allocator, m_pContext.get(), m_pParams, m_format);
    }

    // TermPlugin and TermParameters, as the host ends a sink.
    void DestroySink() {
        if (m_pSink != nullptr) {
            EXPECT_EQ(ZV_Success, m_pSink->TermPlugin(&m_allocator));
            m_pSink = nullptr;
        }
        if (m_pParams != nullptr) {
            m_pParams->TermParameters(&m_allocator);
            m_pParams = nullptr;
        }
        if (m_pContext) {
            EXPECT_TRUE(m_pContext->Errors().empty());
        }
    }

    // A driver for the sink, rendering in the layout the sink asked for.
    std::unique_ptr<host::SinkFrameDriver> MakeDriver() {
        return std::unique_ptr<host::SinkFrameDriver>(new host::SinkFrameDriver(
            *m_pSink, m_format.channelConfig, m_pGlobal->GetFramesPerBuffer()));
    }

    std::string FirstReport() const {
        const std::vector<testing_support::CheckReport> reports = m_checks.Reports();
        return reports.empty() ? std::string() : reports[0].source + ": " + reports[0].expression;
    }

    std::unique_ptr<host::HostGlobalContext> m_pGlobal;
    std::unique_ptr<host::HostSinkContext> m_pContext;
    SinkPluginParams* m_pParams = nullptr;
    ZvSinkISAC* m_pSink = nullptr;
    ZvAudioFormat m_format{};
};

// A mix in which channel k (in the buffer's order) at frame t of the stream carries the integer
// (t mod 2^19) * 16 + k + 1: exact in a float, and naming its channel and its frame for half a
// minute of audio, far longer than anything a ring holds.
class ChannelFrameSource final : public host::SinkMixSource {
public:
    static constexpr uint64_t kFrameModulus = uint64_t{1} << 19;

    static float Sample(uint32_t in_uChannel, uint64_t in_uFrame) {
        return static_cast<float>((in_uFrame % kFrameModulus) * 16 + in_uChannel + 1);
    }
    static bool Decode(float in_fSample, uint32_t& out_uChannel, uint64_t& out_uFrame) {
        const uint32_t uValue = static_cast<uint32_t>(in_fSample);
        if (static_cast<float>(uValue) != in_fSample || uValue % 16 == 0) {
            return false;
        }
        out_uChannel = uValue % 16 - 1;
        out_uFrame = uValue / 16;
        return true;
    }

    uint64_t FramePosition() const { return m_uFramePosition; }

    ZvVolumeRamp Render(uint64_t /*in_uBuffer*/, ZvSampleBuffer& io_rBuffer) override {
        const uint32_t uFrames = io_rBuffer.uValidFrames < io_rBuffer.uMaxFrames
                                     ? io_rBuffer.uValidFrames
                                     : io_rBuffer.uMaxFrames;
        for (uint32_t uChannel = 0; uChannel < io_rBuffer.NumChannels(); ++uChannel) {
            float* const pChannel = io_rBuffer.GetChannel(uChannel);
            for (uint32_t uFrame = 0; uFrame < uFrames; ++uFrame) {
                pChannel[uFrame] = Sample(uChannel, m_uFramePosition + uFrame);
            }
        }
        m_uFramePosition += uFrames;
        return ZvVolumeRamp{1.0f, 1.0f};
    }

private:
    uint64_t m_uFramePosition = 0;
};

// The endpoint every sink test plays on unless it says otherwise: 480 frames per pass.
inline standin::EndpointConfig EndpointWithPeriod(uint32_t in_uFrames) {
    standin::EndpointConfig endpoint;
    endpoint.frameCount = in_uFrames;
    return endpoint;
}

// The object of in_eType in a pass, or null.
inline const standin::ObjectPass* FindObject(const standin::Pass& in_pass,
                                             AudioObjectType in_eType) {
    for (const standin::ObjectPass& object : in_pass.objects) {
        if (object.type == in_eType) {
            return &object;
        }
    }
    return nullptr;
}

// What one object played across passes, one pass after the other.
inline std::vector<float> ObjectStream(const std::vector<standin::Pass>& in_passes,
                                       AudioObjectType in_eType) {
    std::vector<float> samples;
    for (const standin::Pass& pass : in_passes) {
        if (const standin::ObjectPass* pObject = FindObject(pass, in_eType)) {
            samples.insert(samples.end(), pObject->samples.begin(), pObject->samples.end());
        }
    }
    return samples;
}

// In step with the renderer: the host fills the sink, then the renderer runs one pass; in_uPasses
// times. Returns the passes that ended.
inline size_t FillAndStep(host::SinkFrameDriver& io_driver, size_t in_uPasses) {
    size_t uEnded = 0;
    for (size_t i = 0; i < in_uPasses; ++i) {
        io_driver.FillSink(1024);
        uEnded += standin::Step();
    }
    return uEnded;
}

}  // namespace sink_testing
