// Opening a render stream: what reaches the renderer, what the caller gets, and that every failure
// leaves nothing behind and the caller's earlier stream untouched.

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "ClientActivationParams.h"
#include "SpatialStreamOpener.h"
#include "FaultSweep.h"
#include "StandinFixture.h"
#include "standin/Renderer.h"

namespace {

using testing_support::NothingLive;

constexpr SpatialStreamRequest kBedRequest = {0x1FFE, DynamicObjectUse::None, false, 0, false};
constexpr SpatialStreamRequest kDynamicRequest = {0, DynamicObjectUse::Required, true, 2, true};

class SpatialStreamOpenerTest : public testing_support::StandinTest {};

TEST_F(SpatialStreamOpenerTest, ABedStreamReservesTheStaticTypesAndNoDynamicObjects) {
    {
        SpatialStream stream;
        ASSERT_EQ(SpatialOpenResult::Opened, OpenDefaultSpatialStream(kBedRequest, stream));
        EXPECT_TRUE(stream.client);
        EXPECT_TRUE(stream.stream);
        EXPECT_TRUE(stream.event);
        EXPECT_EQ(480u, stream.uFrameCount);
        EXPECT_EQ(0u, stream.uMaxDynamicObjects) << "the maximum was not asked for";
        EXPECT_EQ(1u, standin::StartedStreamCount());

        const std::vector<standin::ClientActivation> clients = standin::ClientActivations();
        ASSERT_EQ(1u, clients.size());
        EXPECT_TRUE(clients[0].hasParams);
        EXPECT_EQ(VT_BLOB, clients[0].vt);
        EXPECT_EQ(48u, clients[0].blobSize);
        EXPECT_EQ(kZvApplicationId, clients[0].params.appId);
        EXPECT_EQ(2016, clients[0].params.majorVersion);
        EXPECT_EQ(2, clients[0].params.minorVersion1);
        EXPECT_EQ(6, clients[0].params.minorVersion2);
        EXPECT_EQ(0, clients[0].params.minorVersion3);

        const std::vector<standin::StreamActivation> streams = standin::StreamActivations();
        ASSERT_EQ(1u, streams.size());
        EXPECT_EQ(VT_BLOB, streams[0].vt);
        EXPECT_EQ(sizeof(SpatialAudioObjectRenderStreamActivationParams), streams[0].blobSize);
        EXPECT_EQ(0x1FFEu, streams[0].staticObjectTypeMask);
        EXPECT_EQ(0u, streams[0].minDynamicObjectCount);
        EXPECT_EQ(0u, streams[0].maxDynamicObjectCount);
        EXPECT_EQ(static_cast<uint32_t>(AudioCategory_GameEffects), streams[0].category);
        EXPECT_TRUE(streams[0].hadEventHandle);
        EXPECT_FALSE(streams[0].hadNotifyObject);
        EXPECT_EQ(WAVE_FORMAT_IEEE_FLOAT, streams[0].objectFormat.wFormatTag);
    }
    EXPECT_TRUE(NothingLive());
}

TEST_F(SpatialStreamOpenerTest, ADynamicStreamTakesTheWholeGrantUpToThirtyTwo) {
    standin::EndpointConfig endpoint;
    endpoint.maxDynamicObjects = 40;
    standin::SetDefaultEndpoint(endpoint);
    {
        SpatialStream stream;
        ASSERT_EQ(SpatialOpenResult::Opened, OpenDefaultSpatialStream(kDynamicRequest, stream));
        EXPECT_EQ(32u, stream.uMaxDynamicObjects);
        const standin::StreamActivation activation = standin::StreamActivations().back();
        EXPECT_EQ(0u, activation.staticObjectTypeMask);
        EXPECT_EQ(32u, activation.minDynamicObjectCount);
        EXPECT_EQ(32u, activation.maxDynamicObjectCount);
        EXPECT_EQ(2, standin::ClientActivations().back().params.minorVersion3);
    }
    EXPECT_TRUE(NothingLive());
}

TEST_F(SpatialStreamOpenerTest, NoGrantFailsADynamicStreamButNotABedStream) {
    standin::EndpointConfig endpoint;
    endpoint.maxDynamicObjects = 0;
    standin::SetDefaultEndpoint(endpoint);
    {
        SpatialStream dynamicStream;
        EXPECT_EQ(SpatialOpenResult::Failed,
                  OpenDefaultSpatialStream(kDynamicRequest, dynamicStream));
        EXPECT_FALSE(dynamicStream.client);
        SpatialStream bedStream;
        const SpatialStreamRequest bedAskingForTheMaximum = {0x1FFE, DynamicObjectUse::None, true,
                                                             1, false};
        EXPECT_EQ(SpatialOpenResult::Opened,
                  OpenDefaultSpatialStream(bedAskingForTheMaximum, bedStream));
        EXPECT_EQ(0u, bedStream.uMaxDynamicObjects);
    }
    EXPECT_TRUE(NothingLive());
}

TEST_F(SpatialStreamOpenerTest, NoEndpointAndNoEnumeratorAreBothNoEndpoint) {
    SpatialStream stream;
    standin::RemoveDefaultEndpoint();
    EXPECT_EQ(SpatialOpenResult::NoEndpoint, OpenDefaultSpatialStream(kBedRequest, stream));
    standin::SetDefaultEndpoint(standin::EndpointConfig());
    standin::FailCall("CoCreateInstance", 1, E_OUTOFMEMORY);
    EXPECT_EQ(SpatialOpenResult::NoEndpoint, OpenDefaultSpatialStream(kBedRequest, stream));
    EXPECT_TRUE(NothingLive());
}

TEST_F(SpatialStreamOpenerTest, WithoutTaskMemoryTheClientIsActivatedWithoutARecord) {
    standin::FailCall("CoTaskMemAlloc", 1, E_OUTOFMEMORY);
    {
        SpatialStream stream;
        ASSERT_EQ(SpatialOpenResult::Opened, OpenDefaultSpatialStream(kBedRequest, stream));
        EXPECT_FALSE(standin::ClientActivations().back().hasParams);
    }
    EXPECT_TRUE(NothingLive());
}

TEST_F(SpatialStreamOpenerTest, AZeroFrameCountFailsTheOpen) {
    standin::FailCall("ISpatialAudioClient::GetMaxFrameCount", 1, E_FAIL);
    SpatialStream stream;
    EXPECT_EQ(SpatialOpenResult::Failed, OpenDefaultSpatialStream(kBedRequest, stream));
    EXPECT_TRUE(NothingLive());
}

TEST_F(SpatialStreamOpenerTest, AFailedStartFailsOnlyWhenTheCallerSaysSo) {
    standin::FailCall("ISpatialAudioObjectRenderStreamBase::Start", 1, E_FAIL, 2);
    {
        SpatialStream lenient;
        EXPECT_EQ(SpatialOpenResult::Opened, OpenDefaultSpatialStream(kBedRequest, lenient));
        SpatialStream strict;
        EXPECT_EQ(SpatialOpenResult::Failed, OpenDefaultSpatialStream(kDynamicRequest, strict));
        EXPECT_FALSE(strict.stream);
    }
    EXPECT_TRUE(NothingLive());
}

SpatialStreamRequest AtRate(const SpatialStreamRequest& in_request, uint32_t in_uEngineRate) {
    SpatialStreamRequest request = in_request;
    request.uEngineSampleRate = in_uEngineRate;
    return request;
}

// The renderer plays at its own rate (the stand-in's, like the real one's, is 48 kHz unless it is
// told otherwise): an engine at any other rate gets no stream, on either route, and a stream it
// had stays as it was; an engine that names no rate takes the renderer's.
TEST_F(SpatialStreamOpenerTest, AStreamOpensOnlyAtTheEnginesRate) {
    {
        SpatialStream previous;
        ASSERT_EQ(SpatialOpenResult::Opened,
                  OpenDefaultSpatialStream(AtRate(kBedRequest, 48000), previous));
        EXPECT_EQ(48000u, previous.uSampleRate);
        EXPECT_EQ(48000u, standin::StreamActivations().back().objectFormat.nSamplesPerSec);
        ISpatialAudioObjectRenderStream* const pPrevious = previous.stream.Get();
        const standin::LiveCounts baseline = standin::Live();
        for (const SpatialStreamRequest& request : {kBedRequest, kDynamicRequest}) {
            EXPECT_EQ(SpatialOpenResult::WrongRate,
                      OpenDefaultSpatialStream(AtRate(request, 44100), previous));
            EXPECT_EQ(48000u, previous.uSampleRate) << "the rate the renderer offers";
            EXPECT_EQ(pPrevious, previous.stream.Get());
            EXPECT_EQ(1u, standin::StreamActivations().size()) << "no stream was asked for";
            const standin::LiveCounts live = standin::Live();
            EXPECT_EQ(baseline.comObjects, live.comObjects);
            EXPECT_EQ(baseline.references, live.references);
            EXPECT_EQ(baseline.handles, live.handles);
            EXPECT_EQ(0u, live.taskMemBlocks);
        }

        SpatialStream onClient;
        ASSERT_EQ(SpatialOpenResult::Opened, OpenDefaultSpatialStream(kBedRequest, onClient));
        onClient.stream.Reset();
        onClient.uSampleRate = 0;
        EXPECT_EQ(SpatialOpenResult::WrongRate,
                  OpenSpatialStreamOnClient(AtRate(kDynamicRequest, 96000), onClient));
        EXPECT_FALSE(onClient.stream);
        EXPECT_EQ(48000u, onClient.uSampleRate);
    }

    // A renderer told to play at 44.1 kHz takes an engine at 44.1 kHz, and one that does not say.
    standin::EndpointConfig endpoint;
    endpoint.formats = {standin::FloatMonoFormat(44100)};
    standin::SetDefaultEndpoint(endpoint);
    for (const uint32_t uEngineRate : {44100u, kUnstatedSampleRate}) {
        SpatialStream stream;
        ASSERT_EQ(SpatialOpenResult::Opened,
                  OpenDefaultSpatialStream(AtRate(kDynamicRequest, uEngineRate), stream));
        EXPECT_EQ(44100u, stream.uSampleRate);
    }
    SpatialStream stream;
    EXPECT_EQ(SpatialOpenResult::WrongRate,
              OpenDefaultSpatialStream(AtRate(kBedRequest, 48000), stream));
    EXPECT_EQ(44100u, stream.uSampleRate);
    EXPECT_FALSE(stream.client);
    EXPECT_TRUE(NothingLive());
}

TEST(RateMismatchTextTest, NamesBothRatesAndIsCutToFit) {
    EXPECT_STREQ("Effect: the engine runs at 44100 Hz, the renderer plays at 48000 Hz; bypassed",
                 RateMismatchText("Effect: ", 44100, 48000, "; bypassed").Get());
    EXPECT_STREQ("the engine runs at 4294967295 Hz, the renderer plays at 0 Hz",
                 RateMismatchText(nullptr, 4294967295u, 0, nullptr).Get());
    const std::string longText(400, 'x');
    const RateMismatchText cut(longText.c_str(), 1, 2, longText.c_str());
    EXPECT_EQ(RateMismatchText::kCapacity - 1, strlen(cut.Get()));
}

// Every platform call of an open, failed in turn: nothing is left alive, and a stream opened before
// stays when the open fails.
TEST_F(SpatialStreamOpenerTest, EachFailingCallLeavesNothingBehindAndTheOldStreamIntact) {
    for (const SpatialStreamRequest& request : {kBedRequest, kDynamicRequest}) {
        SpatialStream previous;
        ASSERT_EQ(SpatialOpenResult::Opened, OpenDefaultSpatialStream(request, previous));
        const standin::LiveCounts baseline = standin::Live();
        testing_support::SweepPlatformFaults(
            [&]() {
                ISpatialAudioObjectRenderStream* const pPrevious = previous.stream.Get();
                if (OpenDefaultSpatialStream(request, previous) != SpatialOpenResult::Opened) {
                    EXPECT_EQ(pPrevious, previous.stream.Get());
                    EXPECT_TRUE(previous.event);
                }
            },
            [&](const testing_support::FailedCall&) {
                const standin::LiveCounts live = standin::Live();
                EXPECT_EQ(baseline.comObjects, live.comObjects);
                EXPECT_EQ(baseline.references, live.references);
                EXPECT_EQ(baseline.handles, live.handles);
                EXPECT_EQ(0u, live.taskMemBlocks);
            });
    }
    EXPECT_TRUE(NothingLive());
}

}  // namespace
