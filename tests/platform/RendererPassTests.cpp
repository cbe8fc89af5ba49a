// The rules of a processing pass: order of calls, buffers, the life of objects, positions and
// volumes, Reset, the lost device, and what the capture records. One thread plays the client;
// Step with no wait stands in for the renderer asking for a pass.

#include <gtest/gtest.h>

#include <windows.h>

#include <spatialaudioclient.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "AllocationCounter.h"
#include "SpatialTestSupport.h"
#include "StandinFixture.h"
#include "standin/Renderer.h"

namespace {

using testing_support::ActivateStream;
using testing_support::OpenDefaultClient;
using testing_support::StreamRequest;

class RendererPassTest : public testing_support::StandinTest {
protected:
    // A client and a started stream on the default endpoint (configured first if asked).
    void Open(uint32_t in_uMaxDynamic = 4, uint32_t in_uStaticMask = 0x1FFE) {
        ASSERT_EQ(S_OK, OpenDefaultClient(m_client));
        StreamRequest request;
        request.hEvent = m_hEvent;
        request.uStaticMask = in_uStaticMask;
        request.uMaxDynamic = in_uMaxDynamic;
        ASSERT_EQ(S_OK, ActivateStream(m_client.Get(), request, m_stream));
        ASSERT_EQ(S_OK, m_stream->Start());
    }
    // A stream on an endpoint that grants 32 dynamic objects, with twelve static objects (bits 1
    // to 12) and all 32 dynamic ones activated.
    void OpenCrowded(std::vector<ComPtr<ISpatialAudioObject>>& out_objects) {
        standin::EndpointConfig config;
        config.maxDynamicObjects = 32;
        standin::SetDefaultEndpoint(config);
        Open(32);
        out_objects.resize(44);
        for (size_t i = 0; i < out_objects.size(); ++i) {
            const AudioObjectType eType =
                i < 12 ? static_cast<AudioObjectType>(2u << i) : AudioObjectType_Dynamic;
            ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(
                                eType, out_objects[i].ReleaseAndGetAddressOf()));
        }
    }
    HRESULT Begin() {
        UINT32 uAvailable = 0;
        return m_stream->BeginUpdatingAudioObjects(&uAvailable, &m_uFrames);
    }
    HRESULT End() { return m_stream->EndUpdatingAudioObjects(); }
    float* Buffer(ISpatialAudioObject* in_pObject, UINT32* out_puBytes = nullptr) {
        BYTE* pBuffer = nullptr;
        UINT32 uBytes = 0;
        EXPECT_EQ(S_OK, in_pObject->GetBuffer(&pBuffer, &uBytes));
        if (out_puBytes != nullptr) {
            *out_puBytes = uBytes;
        }
        return reinterpret_cast<float*>(pBuffer);
    }
    void SetUp() override {
        StandinTest::SetUp();
        m_hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    void TearDown() override {
        m_stream.Reset();
        m_client.Reset();
        CloseHandle(m_hEvent);
        StandinTest::TearDown();
    }

    ComPtr<ISpatialAudioClient> m_client;
    HANDLE m_hEvent = nullptr;
    ComPtr<ISpatialAudioObjectRenderStream> m_stream;
    UINT32 m_uFrames = 0;
};

TEST_F(RendererPassTest, CallsOutOfPassOrderAreRefused) {
    Open();
    ComPtr<ISpatialAudioObject> object;
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_Dynamic,
                                                         object.ReleaseAndGetAddressOf()));
    BYTE* pBuffer = reinterpret_cast<BYTE*>(0x1);
    UINT32 uBytes = 7;
    EXPECT_EQ(SPTLAUDCLNT_E_OUT_OF_ORDER, End());
    EXPECT_EQ(SPTLAUDCLNT_E_OUT_OF_ORDER, object->GetBuffer(&pBuffer, &uBytes));
    EXPECT_EQ(nullptr, pBuffer);
    EXPECT_EQ(0u, uBytes);
    EXPECT_EQ(SPTLAUDCLNT_E_OUT_OF_ORDER, object->SetPosition(1, 0, 0));
    EXPECT_EQ(SPTLAUDCLNT_E_OUT_OF_ORDER, object->SetVolume(0.5f));
    EXPECT_EQ(SPTLAUDCLNT_E_OUT_OF_ORDER, object->SetEndOfStream(0));
    ASSERT_EQ(S_OK, Begin());
    EXPECT_EQ(SPTLAUDCLNT_E_OUT_OF_ORDER, Begin());
    Buffer(object.Get());
    EXPECT_EQ(S_OK, End());
    EXPECT_EQ(SPTLAUDCLNT_E_OUT_OF_ORDER, End());

    const std::vector<standin::StreamStats> streams = standin::Streams();
    ASSERT_EQ(1u, streams.size());
    EXPECT_EQ(7u, streams[0].outOfOrderCalls);
    EXPECT_EQ(1u, streams[0].passes);
}

TEST_F(RendererPassTest, BuffersComeBackZeroedAndHoldOnePassOfFrames) {
    standin::EndpointConfig config;
    config.frameCount = 240;
    config.reportedFrameCount = 256;
    standin::SetDefaultEndpoint(config);
    Open();
    ComPtr<ISpatialAudioObject> object;
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                         object.ReleaseAndGetAddressOf()));
    for (int iPass = 0; iPass < 3; ++iPass) {
        ASSERT_EQ(S_OK, Begin());
        EXPECT_EQ(256u, m_uFrames) << "Begin reports the scripted frame count";
        UINT32 uBytes = 0;
        float* pSamples = Buffer(object.Get(), &uBytes);
        ASSERT_EQ(240u * 4u, uBytes);
        for (UINT32 i = 0; i < 240; ++i) {
            ASSERT_EQ(0.0f, pSamples[i]) << "pass " << iPass << " sample " << i;
            pSamples[i] = 1.0f + static_cast<float>(i);
        }
        ASSERT_EQ(S_OK, End());
    }

    // A smaller buffer than the pass, for clients that must not write past it.
    config.bufferFrames = 100;
    standin::SetDefaultEndpoint(config);
    Open();
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                         object.ReleaseAndGetAddressOf()));
    ASSERT_EQ(S_OK, Begin());
    UINT32 uBytes = 0;
    Buffer(object.Get(), &uBytes);
    EXPECT_EQ(400u, uBytes);
    EXPECT_EQ(S_OK, End());
}

TEST_F(RendererPassTest, ObjectWithoutABufferInAPassIsEndedForGood) {
    Open();
    ComPtr<ISpatialAudioObject> fed, skipped, waiting;
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                         fed.ReleaseAndGetAddressOf()));
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_FrontRight,
                                                         skipped.ReleaseAndGetAddressOf()));
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_Dynamic,
                                                         waiting.ReleaseAndGetAddressOf()));

    ASSERT_EQ(S_OK, Begin());
    Buffer(fed.Get());
    Buffer(skipped.Get());
    ASSERT_EQ(S_OK, End());
    ASSERT_EQ(S_OK, Begin());
    Buffer(fed.Get());  // skipped gets no buffer in this pass; waiting never had one
    ASSERT_EQ(S_OK, End());

    BOOL bActive = TRUE;
    EXPECT_EQ(S_OK, skipped->IsActive(&bActive));
    EXPECT_FALSE(bActive);
    EXPECT_EQ(S_OK, fed->IsActive(&bActive));
    EXPECT_TRUE(bActive);
    EXPECT_EQ(S_OK, waiting->IsActive(&bActive));
    EXPECT_TRUE(bActive) << "an object lives from its first GetBuffer";

    ASSERT_EQ(S_OK, Begin());
    BYTE* pBuffer = nullptr;
    UINT32 uBytes = 0;
    EXPECT_EQ(SPTLAUDCLNT_E_RESOURCES_INVALIDATED, skipped->GetBuffer(&pBuffer, &uBytes));
    EXPECT_EQ(SPTLAUDCLNT_E_RESOURCES_INVALIDATED, skipped->SetVolume(0.5f));
    EXPECT_EQ(SPTLAUDCLNT_E_RESOURCES_INVALIDATED, skipped->SetEndOfStream(0));
    Buffer(fed.Get());
    Buffer(waiting.Get());
    // The ended object's type is free again: the client releases it and activates a new one.
    ComPtr<ISpatialAudioObject> replacement;
    EXPECT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_FrontRight,
                                                         replacement.ReleaseAndGetAddressOf()));
    Buffer(replacement.Get());
    ASSERT_EQ(S_OK, End());
    EXPECT_EQ(1u, standin::Streams()[0].objectsEndedImplicitly);
}

TEST_F(RendererPassTest, EndOfStreamPlaysTheGivenFramesAndEndsTheObject) {
    standin::CapturePasses(4);
    Open();
    ComPtr<ISpatialAudioObject> object;
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_Dynamic,
                                                         object.ReleaseAndGetAddressOf()));
    ASSERT_EQ(S_OK, Begin());
    float* pSamples = Buffer(object.Get());
    for (UINT32 i = 0; i < m_uFrames; ++i) {
        pSamples[i] = 0.25f;
    }
    EXPECT_EQ(E_INVALIDARG, object->SetEndOfStream(m_uFrames + 1));
    EXPECT_EQ(S_OK, object->SetEndOfStream(100));
    ASSERT_EQ(S_OK, End());

    BOOL bActive = TRUE;
    EXPECT_EQ(S_OK, object->IsActive(&bActive));
    EXPECT_FALSE(bActive);
    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(1u, passes.size());
    ASSERT_EQ(1u, passes[0].objects.size());
    const std::vector<float>& samples = passes[0].objects[0].samples;
    ASSERT_EQ(480u, samples.size());
    EXPECT_EQ(0.25f, samples[99]);
    EXPECT_EQ(0.0f, samples[100]);
    EXPECT_EQ(0.0f, samples[479]);
    EXPECT_EQ(0u, standin::Streams()[0].objectsEndedImplicitly);
}

TEST_F(RendererPassTest, PositionAndVolumePersistAndStaticObjectsHaveNoPosition) {
    standin::CapturePasses(8);
    Open();
    ComPtr<ISpatialAudioObject> dynamic, bed;
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_Dynamic,
                                                         dynamic.ReleaseAndGetAddressOf()));
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_BackLeft,
                                                         bed.ReleaseAndGetAddressOf()));
    ASSERT_EQ(S_OK, Begin());
    Buffer(dynamic.Get());
    Buffer(bed.Get());
    EXPECT_EQ(S_OK, dynamic->SetPosition(1.5f, -0.5f, -2.0f));
    EXPECT_EQ(S_OK, dynamic->SetVolume(0.25f));
    EXPECT_EQ(SPTLAUDCLNT_E_PROPERTY_NOT_SUPPORTED, bed->SetPosition(1.0f, 0.0f, 0.0f));
    EXPECT_EQ(S_OK, bed->SetVolume(0.5f));
    EXPECT_EQ(E_INVALIDARG, dynamic->SetVolume(1.5f));
    EXPECT_EQ(E_INVALIDARG, dynamic->SetVolume(-0.1f));
    EXPECT_EQ(E_INVALIDARG, dynamic->SetVolume(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(E_INVALIDARG, dynamic->SetPosition(std::numeric_limits<float>::infinity(), 0, 0));
    ASSERT_EQ(S_OK, End());
    ASSERT_EQ(S_OK, Begin());  // nothing set in this pass: the values stay
    Buffer(dynamic.Get());
    Buffer(bed.Get());
    ASSERT_EQ(S_OK, End());

    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(2u, passes.size());
    for (const standin::Pass& pass : passes) {
        ASSERT_EQ(2u, pass.objects.size());
        const standin::ObjectPass& first = pass.objects[0];
        EXPECT_EQ(AudioObjectType_Dynamic, first.type);
        EXPECT_EQ(1.5f, first.x);
        EXPECT_EQ(-0.5f, first.y);
        EXPECT_EQ(-2.0f, first.z);
        EXPECT_EQ(0.25f, first.volume);
        EXPECT_EQ(AudioObjectType_BackLeft, pass.objects[1].type);
        EXPECT_EQ(0.5f, pass.objects[1].volume);
    }
    EXPECT_EQ(0u, passes[0].index);
    EXPECT_EQ(1u, passes[1].index);
}

TEST_F(RendererPassTest, ResetNeedsAStoppedStreamAndRevokesEveryObject) {
    Open();
    ComPtr<ISpatialAudioObject> object;
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                         object.ReleaseAndGetAddressOf()));
    EXPECT_EQ(SPTLAUDCLNT_E_STREAM_NOT_STOPPED, m_stream->Reset());
    ASSERT_EQ(S_OK, m_stream->Stop());
    EXPECT_EQ(S_OK, m_stream->Reset());
    BOOL bActive = TRUE;
    EXPECT_EQ(S_OK, object->IsActive(&bActive));
    EXPECT_FALSE(bActive);
    ASSERT_EQ(S_OK, Begin());
    BYTE* pBuffer = nullptr;
    UINT32 uBytes = 0;
    EXPECT_EQ(SPTLAUDCLNT_E_RESOURCES_INVALIDATED, object->GetBuffer(&pBuffer, &uBytes));
    ComPtr<ISpatialAudioObject> again;
    EXPECT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                         again.ReleaseAndGetAddressOf()));
    EXPECT_EQ(S_OK, End());
}

TEST_F(RendererPassTest, LostDeviceFailsBeginAndInvalidatesObjectsUntilANewEndpointArrives) {
    Open();
    ComPtr<ISpatialAudioObject> object;
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                         object.ReleaseAndGetAddressOf()));
    ASSERT_EQ(S_OK, Begin());
    Buffer(object.Get());
    ASSERT_EQ(S_OK, End());

    standin::LoseDevice(AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_EQ(0u, standin::Step(std::chrono::milliseconds(0)));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_hEvent, 0)) << "a lost device never signals";
    EXPECT_EQ(AUDCLNT_E_DEVICE_INVALIDATED, Begin());
    BYTE* pBuffer = nullptr;
    UINT32 uBytes = 0;
    EXPECT_EQ(SPTLAUDCLNT_E_RESOURCES_INVALIDATED, object->GetBuffer(&pBuffer, &uBytes));
    EXPECT_EQ(SPTLAUDCLNT_E_RESOURCES_INVALIDATED, End());
    BOOL bActive = TRUE;
    EXPECT_EQ(S_OK, object->IsActive(&bActive));
    EXPECT_FALSE(bActive);
    ComPtr<ISpatialAudioObject> another;
    EXPECT_EQ(SPTLAUDCLNT_E_RESOURCES_INVALIDATED,
              m_stream->ActivateSpatialAudioObject(AudioObjectType_FrontRight,
                                                   another.ReleaseAndGetAddressOf()));
    EXPECT_TRUE(standin::Streams()[0].lost);
    EXPECT_EQ(0u, standin::StartedStreamCount());

    // The lost device is still the default until another arrives; activating on it fails.
    ComPtr<ISpatialAudioClient> client;
    EXPECT_EQ(AUDCLNT_E_DEVICE_INVALIDATED, OpenDefaultClient(client));
    standin::SetDefaultEndpoint(standin::EndpointConfig());
    object.Reset();
    Open();
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                         object.ReleaseAndGetAddressOf()));
    EXPECT_EQ(0u, standin::Step(std::chrono::milliseconds(0)));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_hEvent, 0));
    EXPECT_EQ(S_OK, Begin());
    Buffer(object.Get());
    EXPECT_EQ(S_OK, End());

    // Begin can be scripted to fail with the other documented codes.
    standin::LoseDevice(SPTLAUDCLNT_E_DESTROYED);
    EXPECT_EQ(SPTLAUDCLNT_E_DESTROYED, Begin());
}

// Wine's renderer, whose audio server went away, keeps signalling every period and fails each
// Begin: a client must take the failed Begin (not only a silent event) for a lost stream.
TEST_F(RendererPassTest, ALostDeviceThatKeepsSignallingFailsEveryBegin) {
    Open();
    ComPtr<ISpatialAudioObject> object;
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                         object.ReleaseAndGetAddressOf()));
    standin::LoseDevice(AUDCLNT_E_DEVICE_INVALIDATED, standin::LostSignalling::Continues);
    for (int iPeriod = 0; iPeriod < 3; ++iPeriod) {
        SCOPED_TRACE(iPeriod);
        EXPECT_EQ(0u, standin::Step(std::chrono::milliseconds(0))) << "no pass can end";
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_hEvent, 0));
        EXPECT_EQ(AUDCLNT_E_DEVICE_INVALIDATED, Begin());
        EXPECT_EQ(SPTLAUDCLNT_E_RESOURCES_INVALIDATED, End());
    }
    EXPECT_TRUE(standin::Streams()[0].lost);
    EXPECT_EQ(0u, standin::StartedStreamCount());

    // A new endpoint is a working device again.
    standin::SetDefaultEndpoint(standin::EndpointConfig());
    object.Reset();
    Open();
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_FrontLeft,
                                                         object.ReleaseAndGetAddressOf()));
    EXPECT_EQ(0u, standin::Step(std::chrono::milliseconds(0)));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_hEvent, 0));
    ASSERT_EQ(S_OK, Begin());
    Buffer(object.Get());
    EXPECT_EQ(S_OK, End());
}

TEST_F(RendererPassTest, CaptureKeepsTheLatestPassesAndTheObserverSeesEveryOne) {
    Open();
    ComPtr<ISpatialAudioObject> object;
    ASSERT_EQ(S_OK, m_stream->ActivateSpatialAudioObject(AudioObjectType_FrontCenter,
                                                         object.ReleaseAndGetAddressOf()));
    standin::CapturePasses(3);
    std::vector<uint64_t> observed;
    standin::SetPassObserver([&observed](const standin::Pass& in_pass) {
        observed.push_back(in_pass.index);
        // The renderer holds no lock while the observer runs: it may call back in.
        EXPECT_EQ(1u, standin::Streams().size());
    });
    for (int iPass = 0; iPass < 5; ++iPass) {
        ASSERT_EQ(S_OK, Begin());
        Buffer(object.Get())[0] = static_cast<float>(iPass);
        ASSERT_EQ(S_OK, End());
    }
    standin::SetPassObserver(nullptr);
    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(3u, passes.size());
    for (size_t i = 0; i < passes.size(); ++i) {
        EXPECT_EQ(2u + i, passes[i].index);
        EXPECT_EQ(480u, passes[i].frames);
        ASSERT_EQ(1u, passes[i].objects.size());
        EXPECT_EQ(static_cast<float>(2 + i), passes[i].objects[0].samples[0]);
        EXPECT_TRUE(passes[i].objects[0].gotBuffer);
    }
    EXPECT_EQ((std::vector<uint64_t>{0, 1, 2, 3, 4}), observed);
    EXPECT_TRUE(standin::TakePasses().empty());
}

TEST_F(RendererPassTest, APassAllocatesNothingWhenNobodyCapturesIt) {
    if (!testing_support::AllocationCountingAvailable()) {
        GTEST_SKIP() << "this build cannot count allocations";
    }
    std::vector<ComPtr<ISpatialAudioObject>> objects;
    ASSERT_NO_FATAL_FAILURE(OpenCrowded(objects));
    uint64_t uAllocations = 0;
    for (int iPass = 0; iPass < 20; ++iPass) {
        standin::Step(std::chrono::milliseconds(0));  // the test's control call, not measured
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_hEvent, 0));
        const uint64_t uBefore = testing_support::ThreadAllocationCountWithPlatform();
        ASSERT_EQ(S_OK, Begin());
        for (size_t i = 0; i < objects.size(); ++i) {
            BYTE* pBuffer = nullptr;
            UINT32 uBytes = 0;
            ASSERT_EQ(S_OK, objects[i]->GetBuffer(&pBuffer, &uBytes));
            if (i >= 12) {
                ASSERT_EQ(S_OK, objects[i]->SetPosition(0.0f, 0.0f, -1.0f));
                ASSERT_EQ(S_OK, objects[i]->SetVolume(0.5f));
            }
        }
        ASSERT_EQ(S_OK, End());
        uAllocations += testing_support::ThreadAllocationCountWithPlatform() - uBefore;
    }
    EXPECT_EQ(0u, uAllocations);
}

// Passes given back lend their buffers to the passes captured after them: those allocate no
// sample buffers, and hold their own samples only (an end of stream's tail is silence, not what
// the buffer held before).
TEST_F(RendererPassTest, CapturedPassesReuseTheBuffersGivenBackAndHoldOnlyTheirOwnSamples) {
    const bool bCounting = testing_support::AllocationCountingAvailable();
    standin::CapturePasses(8);
    std::vector<ComPtr<ISpatialAudioObject>> objects;
    ASSERT_NO_FATAL_FAILURE(OpenCrowded(objects));
    const size_t kEnding = 20;  // sets its end of stream in the last pass
    std::vector<const float*> lent;
    const standin::ObjectPass* pLentList = nullptr;
    for (int iPass = 0; iPass < 3; ++iPass) {
        ASSERT_EQ(S_OK, Begin());
        for (size_t i = 0; i < objects.size(); ++i) {
            float* pSamples = Buffer(objects[i].Get());
            for (UINT32 uFrame = 0; uFrame < m_uFrames; ++uFrame) {
                pSamples[uFrame] = static_cast<float>(1000 * iPass + i) + 0.001f * uFrame;
            }
        }
        if (iPass == 2) {
            ASSERT_EQ(S_OK, objects[kEnding]->SetEndOfStream(100));
        }
        const uint64_t uBefore = testing_support::ThreadAllocationCountWithPlatform();
        ASSERT_EQ(S_OK, End());
        const uint64_t uAllocations =
            testing_support::ThreadAllocationCountWithPlatform() - uBefore;
        std::vector<standin::Pass> passes = standin::TakePasses();
        ASSERT_EQ(1u, passes.size());
        ASSERT_EQ(objects.size(), passes[0].objects.size());
        if (iPass > 0) {
            EXPECT_EQ(pLentList, passes[0].objects.data()) << "the pass got a list of its own";
        }
        for (size_t i = 0; i < objects.size(); ++i) {
            const std::vector<float>& samples = passes[0].objects[i].samples;
            ASSERT_EQ(m_uFrames, samples.size());
            const UINT32 uPlayed = iPass == 2 && i == kEnding ? 100 : m_uFrames;
            for (UINT32 uFrame = 0; uFrame < m_uFrames; ++uFrame) {
                const float fExpected = uFrame < uPlayed
                                            ? static_cast<float>(1000 * iPass + i) + 0.001f * uFrame
                                            : 0.0f;
                ASSERT_EQ(fExpected, samples[uFrame])
                    << "pass " << iPass << " object " << i << " frame " << uFrame;
            }
            if (iPass > 0) {
                EXPECT_NE(lent.end(), std::find(lent.begin(), lent.end(), samples.data()))
                    << "object " << i << " got a buffer of its own";
            }
        }
        if (bCounting) {
            if (iPass == 0) {
                EXPECT_LE(objects.size(), uAllocations) << "the first pass has no buffers to reuse";
            } else {
                // Perhaps a block of the capture's queue: the buffers and the list of objects
                // are those given back.
                EXPECT_LE(uAllocations, 1u) << "pass " << iPass;
            }
        }
        lent.clear();
        for (const standin::ObjectPass& object : passes[0].objects) {
            lent.push_back(object.samples.data());
        }
        pLentList = passes[0].objects.data();
        standin::RecyclePasses(passes);
        EXPECT_TRUE(passes.empty());
    }
}

// A stream's destruction records its history in the stand-in: that is the platform's work, not
// the client's whose Release ends it, so a client's allocation count does not see it.
TEST_F(RendererPassTest, ReleasingTheLastReferenceAllocatesNothingForTheClient) {
    if (!testing_support::AllocationCountingAvailable()) {
        GTEST_SKIP() << "this build cannot count allocations";
    }
    ASSERT_EQ(S_OK, OpenDefaultClient(m_client));
    StreamRequest request;
    request.hEvent = m_hEvent;
    uint64_t uAllocations = 0;
    for (int i = 0; i < 20; ++i) {
        ComPtr<ISpatialAudioObjectRenderStream> stream;
        ASSERT_EQ(S_OK, ActivateStream(m_client.Get(), request, stream));
        ASSERT_EQ(S_OK, stream->Start());
        const uint64_t uBefore = testing_support::ThreadAllocationCount();
        stream.Reset();
        uAllocations += testing_support::ThreadAllocationCount() - uBefore;
    }
    EXPECT_EQ(0u, uAllocations);
}

}  // namespace
