// Setting the sink up and taking it down: the layout it asks the host for and the bed objects it
// plays on, its slot and ring sizes, what it tells the host about itself, and that every failure
// of a platform call or a host allocation gives the documented result and leaves nothing behind.

#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "FaultSweep.h"
#include "SinkTestSupport.h"
#include "standin/Control.h"

namespace {

using sink_testing::SinkSetup;
using testing_support::NothingLive;

class SinkSetupTest : public sink_testing::SinkTest {};

TEST_F(SinkSetupTest, TheSinkDescribesItselfAndAnswersTheCommonSlots) {
    ASSERT_EQ(ZV_Success, CreateSink(SinkSetup()));
    ZvPluginInfo info;
    memset(&info, 0xAA, sizeof(info));
    EXPECT_EQ(ZV_Success, m_pSink->DescribePlugin(info));
    EXPECT_EQ(uint32_t{ZvPluginTypeSink}, info.eType);
    EXPECT_EQ(516098u, info.uBuildVersion);
    uint8_t aBytes[sizeof(info)];
    memcpy(aBytes, &info, sizeof(info));
    EXPECT_EQ(0, aBytes[8]) << "not an in-place plug-in";
    EXPECT_EQ(0xAA, aBytes[9]) << "the byte between the flags is not the sink's";
    EXPECT_EQ(0, aBytes[10]);

    ZV::IPlugin* const pPlugin = m_pSink;
    EXPECT_FALSE(pPlugin->SupportsOfflineRendering());
    EXPECT_EQ(0, pPlugin->RelocateMedia(nullptr, nullptr));
    EXPECT_EQ(ZV_Success, m_pSink->ResetPlugin());
    EXPECT_FALSE(m_pSink->IsStarved());
    m_pSink->ResetStarved();
    EXPECT_FALSE(m_pSink->IsStarved());
}

TEST_F(SinkSetupTest, TheFactoryNeedsAnAllocatorThatGivesMemory) {
    EXPECT_EQ(nullptr, CreateZvSinkISAC(nullptr));
    EXPECT_TRUE(m_checks.Saw("in_pAllocator != NULL", "ZvSinkISAC"));
    m_checks.Clear();
    m_allocator.FailAllocation(1);
    EXPECT_EQ(nullptr, CreateZvSinkISAC(&m_allocator));
}

// ChannelConfig 0 to 3 pick a layout, which the host is told to render in, and activate one bed
// object per channel in the bed table's order. Any other value is reported and falls back to the
// host's layout when that is one of the four, else to stereo: never a layout without objects. The
// stream always reserves the twelve bed types.
TEST_F(SinkSetupTest, EachChannelConfigPicksItsLayoutAndItsBedObjects) {
    const AudioObjectType aBed[] = {
        AudioObjectType_FrontLeft,     AudioObjectType_FrontRight,  AudioObjectType_FrontCenter,
        AudioObjectType_LowFrequency,  AudioObjectType_BackLeft,    AudioObjectType_BackRight,
        AudioObjectType_SideLeft,      AudioObjectType_SideRight,   AudioObjectType_TopFrontLeft,
        AudioObjectType_TopFrontRight, AudioObjectType_TopBackLeft, AudioObjectType_TopBackRight};
    struct Case {
        uint32_t uChannelConfig;
        uint32_t uHostMask;
        uint32_t uLayoutWord;  // the format record's layout afterwards
        size_t uObjects;
    };
    const Case aCases[] = {
        {0, 0x3F, 2 | 0x100 | (0x3u << 12), 2},
        {1, 0x3F, 6 | 0x100 | (0x60Fu << 12), 6},
        {2, 0x3F, 8 | 0x100 | (0x63Fu << 12), 8},
        {3, 0x3F, 12 | 0x100 | (0x2D63Fu << 12), 12},
        {7, 0x3F, 2 | 0x100 | (0x3u << 12), 2},     // not one of the four: stereo
        {4, 0x60F, 6 | 0x100 | (0x60Fu << 12), 6},  // the host's, which is one of them
        {0xFFFFFFFF, 0x2D63F, 12 | 0x100 | (0x2D63Fu << 12), 12},
        {7, 0, 2 | 0x100 | (0x3u << 12), 2},  // the host names no channel at all
    };
    standin::CapturePasses(1);
    for (const Case& test : aCases) {
        SCOPED_TRACE(std::to_string(test.uChannelConfig) + " on a host layout of mask " +
                     std::to_string(test.uHostMask));
        SinkSetup setup;
        setup.uChannelConfig = test.uChannelConfig;
        setup.hostLayout = ZvChannelLayout::FromMask(test.uHostMask);
        ASSERT_EQ(ZV_Success, CreateSink(setup));
        EXPECT_EQ(test.uChannelConfig > 3,
                  m_checks.Saw("uChannelConfig < kSinkLayoutCount", "ZvSinkISAC"));
        m_checks.Clear();
        EXPECT_EQ(test.uLayoutWord, m_format.channelConfig.Serialize());
        EXPECT_EQ(test.uObjects, m_pSink->NumBedObjects());
        EXPECT_EQ(StreamRunning, m_pSink->GetStreamState());
        EXPECT_EQ(0x1FFEu, standin::StreamActivations().back().staticObjectTypeMask);

        ASSERT_EQ(1u, standin::Step());
        const std::vector<standin::Pass> passes = standin::TakePasses();
        ASSERT_EQ(1u, passes.size());
        ASSERT_EQ(test.uObjects, passes[0].objects.size());
        for (size_t i = 0; i < test.uObjects; ++i) {
            EXPECT_EQ(aBed[i], passes[0].objects[i].type) << "object " << i;
            EXPECT_TRUE(passes[0].objects[i].gotBuffer);
        }
        DestroySink();
    }
}

// The host's count of buffers, raised for 256 and 512 frames, within 1 to 9 (a count outside is
// reported). The ring holds whole host buffers, at least the slots and at least the largest period
// (4096 frames) plus two host buffers (256 frames and a buffer for smaller ones).
TEST_F(SinkSetupTest, SlotsFollowTheHostsCountWithinOneToNine) {
    struct Case {
        uint16_t uFrames;
        uint16_t uCount;
        int32_t iSlots;
        uint32_t uRingBuffers;
        bool bReported;
    };
    const Case aCases[] = {
        {256, 2, 5, 18, false}, {512, 2, 3, 10, false}, {1024, 2, 2, 6, false},
        {256, 7, 7, 18, false}, {512, 4, 4, 10, false}, {1024, 12, 9, 9, true},
        {1024, 0, 1, 6, true},  {64, 2, 2, 69, false},  {480, 1, 1, 11, false},
        {441, 2, 2, 12, false},
    };
    for (const Case& test : aCases) {
        SCOPED_TRACE(std::to_string(test.uFrames) + " frames, " + std::to_string(test.uCount));
        SinkSetup setup;
        setup.uFramesPerBuffer = test.uFrames;
        setup.uBufferCount = test.uCount;
        setup.uChannelConfig = 1;
        ASSERT_EQ(ZV_Success, CreateSink(setup));
        EXPECT_EQ(test.iSlots, m_pSink->NumSlots());
        EXPECT_EQ(6u * 4u * test.uFrames, m_pSink->SlotBytes());
        EXPECT_EQ(test.uRingBuffers * m_pSink->SlotBytes(), m_pSink->RingBytes());
        EXPECT_EQ(test.bReported,
                  m_checks.Saw("m_iNumSlots >= 1 && m_iNumSlots <= kMaxSlots", "ZvSinkISAC"));
        m_checks.Clear();
        DestroySink();
    }
}

TEST_F(SinkSetupTest, NoFramesFailBeforeAnythingIsOpened) {
    SinkSetup noFrames;
    noFrames.uFramesPerBuffer = 0;
    EXPECT_EQ(ZV_DeviceNotOpened, CreateSink(noFrames));
    EXPECT_TRUE(m_checks.Saw("m_uFramesPerBuffer != 0", "ZvSinkISAC"));
    EXPECT_TRUE(standin::ClientActivations().empty());
    m_checks.Clear();
}

TEST_F(SinkSetupTest, WithoutAnEndpointInitFailsAndStartsNoWorker) {
    standin::RemoveDefaultEndpoint();
    EXPECT_EQ(ZV_DeviceNotOpened, CreateSink(SinkSetup()));
    EXPECT_EQ(StreamClosed, m_pSink->GetStreamState());
    EXPECT_EQ(0u, standin::Live().workItems);
    EXPECT_EQ(0u, standin::CallCount("CreateThreadpoolWork"));
    uint32_t uNeeded = 7;
    m_pSink->IsDataNeeded(uNeeded);
    EXPECT_EQ(0u, uNeeded) << "a sink that is not open wants nothing";
}

// What InitPlugin returns when each platform call it makes fails in turn: the calls that open the
// stream or set up the ring and the worker fail it; the tracing record, the objects and the start
// are not needed to play. Whatever happened, TermPlugin leaves nothing alive and no host block.
TEST_F(SinkSetupTest, EachFailingPlatformCallGivesItsResultAndLeavesNothing) {
    const std::map<std::string, ZvResult> expected = {
        {"CoCreateInstance", ZV_DeviceNotOpened},
        {"IMMDeviceEnumerator::GetDefaultAudioEndpoint", ZV_DeviceNotOpened},
        {"CoCreateGuid", ZV_Success},
        {"CoTaskMemAlloc", ZV_Success},
        {"IMMDevice::Activate", ZV_DeviceNotOpened},
        {"ISpatialAudioClient::GetSupportedAudioObjectFormatEnumerator", ZV_DeviceNotOpened},
        {"IAudioFormatEnumerator::GetCount", ZV_DeviceNotOpened},
        {"IAudioFormatEnumerator::GetFormat", ZV_DeviceNotOpened},
        {"ISpatialAudioClient::GetMaxFrameCount", ZV_DeviceNotOpened},
        {"CreateEventW", ZV_DeviceNotOpened},
        {"ISpatialAudioClient::ActivateSpatialAudioStream", ZV_DeviceNotOpened},
        {"ISpatialAudioObjectRenderStream::ActivateSpatialAudioObject", ZV_Success},
        {"ISpatialAudioObjectRenderStreamBase::Start", ZV_Success},
        {"InitializeCriticalSectionEx", ZV_DeviceNotOpened},
        {"CreateThreadpoolWork", ZV_DeviceNotOpened},
        // The pacing timer: without a high-resolution one, an ordinary one.
        {"CreateWaitableTimerExW", ZV_Success},
        // The worker's own calls: its apartment is not needed, and a failed wait only marks the
        // stream lost.
        {"CoInitializeEx", ZV_Success},
        {"WaitForSingleObject", ZV_Success},
        {"CancelWaitableTimer", ZV_Success},
    };
    SinkSetup setup;
    setup.uChannelConfig = 3;
    ZvResult eResult = ZV_Failure;
    testing_support::SweepPlatformFaults(
        [&]() {
            eResult = CreateSink(setup);
            DestroySink();
        },
        [&](const testing_support::FailedCall& in_call) {
            const auto it = expected.find(in_call.name);
            ASSERT_NE(expected.end(), it) << "a call the sink was not known to make";
            EXPECT_EQ(it->second, eResult);
            EXPECT_EQ(0u, m_allocator.OutstandingBlocks());
            EXPECT_TRUE(NothingLive());
            if (in_call.name == "InitializeCriticalSectionEx") {
                EXPECT_TRUE(m_checks.Saw("!\"ISAC CirBuffer InitFailed.\"", "CBuffer"));
            }
            m_checks.Clear();
        });
    EXPECT_EQ(ZV_Success, eResult) << "the clean run";
}

// Every host allocation of InitPlugin (slots, ring, ring storage, scratch) failing in turn fails
// it, and TermPlugin gives back every block.
TEST_F(SinkSetupTest, EachFailingHostAllocationFailsInitAndLeavesNothing) {
    SinkSetup setup;
    setup.uChannelConfig = 2;
    ASSERT_EQ(ZV_Success, CreateSink(setup));
    DestroySink();
    const uint64_t uBefore = m_allocator.MallocCalls();
    ASSERT_EQ(ZV_Success, CreateSink(setup));
    // Parameters and sink come from the factories; the rest is InitPlugin's.
    const uint64_t uInitAllocations = m_allocator.MallocCalls() - uBefore - 2;
    DestroySink();
    EXPECT_EQ(4u, uInitAllocations);

    for (uint64_t uFailing = 1; uFailing <= uInitAllocations; ++uFailing) {
        SCOPED_TRACE(uFailing);
        // The parameter object and the sink are the first two allocations.
        m_allocator.FailAllocation(2 + uFailing);
        EXPECT_EQ(ZV_DeviceNotOpened, CreateSink(setup));
        m_allocator.FailAllocation(0);
        EXPECT_EQ(StreamClosed, m_pSink->GetStreamState());
        EXPECT_EQ(0u, standin::Live().workItems);
        DestroySink();
        EXPECT_EQ(0u, m_allocator.OutstandingBlocks());
        EXPECT_TRUE(NothingLive());
    }
}

}  // namespace
