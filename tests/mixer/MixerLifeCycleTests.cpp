// The mixer's life and memory, for both builds: what the host-facing slots answer, the inputs'
// own data, every platform fault and every failed host allocation of InitPlugin undone by
// TermPlugin, and frames that allocate nothing.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "FaultSweep.h"
#include "MixerTestSupport.h"

namespace {

using mixer_tests::kMono;
using mixer_tests::kStereo;
using mixer_tests::SoundingObjects;

template <typename Build>
using MixerLifeCycleTest = mixer_tests::MixerTest<Build>;
TYPED_TEST_SUITE(MixerLifeCycleTest, mixer_tests::Builds, mixer_tests::BuildNames);

// Records the order in which EndFrame calls the host's frame-end operations.
class RecordingFrameEndHooks final : public ZV::IFrameEndHooks {
public:
    void OnFlushBegin() override { m_calls += "b"; }
    void OnFlush() override { m_calls += "f"; }
    void OnFlushEnd() override { m_calls += "e"; }
    void OnFrameDone() override { m_calls += "d"; }
    std::string m_calls;
};

TYPED_TEST(MixerLifeCycleTest, SlotsAnswerTheHostAsTheContractSays) {
    // A mixer that never ran is terminated cleanly; a null allocator gives no mixer.
    SpatialMixerFX* pUnused = SpatialMixerFX::Create(&this->m_allocator, TypeParam::Activation());
    ASSERT_NE(nullptr, pUnused);
    EXPECT_EQ(ZV_Success, pUnused->TermPlugin(&this->m_allocator));
    EXPECT_EQ(nullptr, SpatialMixerFX::Create(nullptr, TypeParam::Activation()));

    ASSERT_EQ(ZV_Success, this->Start());
    ZvPluginInfo info;
    memset(&info, 0xAB, sizeof(info));
    EXPECT_EQ(ZV_Success, this->m_pMixer->DescribePlugin(info));
    EXPECT_EQ(6u, info.eType);
    EXPECT_EQ(0x7E002u, info.uBuildVersion);
    EXPECT_TRUE(info.bIsInPlace);
    EXPECT_EQ(0xAB, *reinterpret_cast<const uint8_t*>(&info.bReserved));
    EXPECT_FALSE(info.bCanProcessObjects);
    EXPECT_FALSE(this->m_pMixer->SupportsOfflineRendering());
    // InitPlugin is made once.
    EXPECT_EQ(ZV_Failure, this->m_pMixer->InitPlugin(&this->m_allocator, this->m_pContext.get(),
                                                     this->m_pParams, this->m_format));

    // EndFrame runs the host's four operations in order and clears the parameters' flags.
    RecordingFrameEndHooks hooks;
    this->m_pDriver->SetFrameEndHooks(&hooks);
    const int32_t iEight = 8;
    this->m_pParams->SetParameter(6, &iEight, 4);
    EXPECT_TRUE(this->m_pParams->HasAnyChanged());
    this->AddVoice(kMono, {1.0f}, 1.0f, 0.0f);
    this->Frame();
    EXPECT_EQ("bfed", hooks.m_calls);
    EXPECT_FALSE(this->m_pParams->HasAnyChanged());

    // A host that takes no monitoring data gets none; the mix goes on.
    const size_t uPosted = this->Counters().size();
    this->m_pContext->MonitorLog().SetCanPostData(false);
    this->Frame();
    EXPECT_EQ(uPosted, this->Counters().size());
    EXPECT_EQ(1u, SoundingObjects(this->LastPass()));
    EXPECT_EQ(ZV_Success, this->m_pMixer->ResetPlugin());
}

TYPED_TEST(MixerLifeCycleTest, AnInputsDataLivesFromItsFirstObjectFrameToItsDisconnection) {
    ASSERT_EQ(ZV_Success, this->Start());
    std::vector<host::MixerBusDriver::Voice*> voices;
    for (int i = 0; i < 4; ++i) {
        voices.push_back(&this->AddVoice(kMono, {0.5f}, 1.0f + static_cast<float>(i), 0.0f));
    }
    // A voice of the bed route needs no data.
    auto& bedVoice = this->AddVoice(0x3F, {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f}, 1.0f, 0.0f);
    const size_t uBlocksBefore = this->m_allocator.OutstandingBlocks();
    this->Frame();
    // Four data blocks and the map's first storage.
    EXPECT_EQ(uBlocksBefore + 5, this->m_allocator.OutstandingBlocks());
    EXPECT_EQ(nullptr, bedVoice.Context().GetInputData());
    for (auto* pVoice : voices) {
        EXPECT_NE(nullptr, pVoice->Context().GetInputData());
    }

    // The fifth voice's data needs the map to grow; when it cannot, nothing is kept and the voice
    // plays on the bed for that frame, and gets its data the next.
    auto& fifth = this->AddVoice(kMono, {0.25f}, 9.0f, 0.0f);
    this->m_allocator.FailAllocation(2);
    this->Frame();
    EXPECT_EQ(nullptr, fifth.Context().GetInputData());
    EXPECT_EQ(uBlocksBefore + 5, this->m_allocator.OutstandingBlocks());
    EXPECT_NE(0.0f, this->Mix(0, 0));
    EXPECT_EQ(4u, SoundingObjects(this->LastPass()));
    this->Frame();
    EXPECT_NE(nullptr, fifth.Context().GetInputData());
    EXPECT_EQ(0.0f, this->Mix(0, 0));
    EXPECT_EQ(5u, SoundingObjects(this->LastPass()));

    // Disconnecting frees the data and takes it away from the input.
    const size_t uBlocks = this->m_allocator.OutstandingBlocks();
    host::HostMixerInputContext& context = voices[1]->Context();
    this->m_pMixer->DisconnectInput(&context);
    EXPECT_EQ(nullptr, context.GetInputData());
    EXPECT_EQ(uBlocks - 1, this->m_allocator.OutstandingBlocks());
    // Reconnected, it starts with fresh data.
    this->m_pMixer->ConnectInput(&context);
    this->Frame();
    EXPECT_NE(nullptr, context.GetInputData());
    EXPECT_EQ(uBlocks, this->m_allocator.OutstandingBlocks());
}

TYPED_TEST(MixerLifeCycleTest, EveryFailedHostAllocationOfInitPluginIsUndoneByTermPlugin) {
    // The allocations of a clean InitPlugin.
    uint64_t uStart = 0;
    this->m_beforeInit = [&]() { uStart = this->m_allocator.MallocCalls(); };
    ASSERT_EQ(ZV_Success, this->Start());
    const uint64_t uAllocations = this->m_allocator.MallocCalls() - uStart;
    this->Terminate();
    ASSERT_GT(uAllocations, 60u);

    for (uint64_t uFailing = 1; uFailing <= uAllocations; ++uFailing) {
        SCOPED_TRACE(uFailing);
        this->m_beforeInit = [&]() { this->m_allocator.FailAllocation(uFailing); };
        const ZvResult eResult = this->Start();
        // Only the stream's own object may be missing without failing InitPlugin: the mixer then
        // runs on the bed.
        if (eResult == ZV_Success) {
            EXPECT_EQ(StreamClosed, this->m_pMixer->CurrentStreamState());
        } else {
            EXPECT_EQ(ZV_Failure, eResult);
        }
        this->AddVoice(kMono, {1.0f}, 1.0f, 0.0f);
        this->m_pDriver->RunFrame();
        this->Terminate();
        EXPECT_EQ(0u, this->m_allocator.OutstandingBlocks());
        EXPECT_TRUE(testing_support::NothingLive());
    }
}

TYPED_TEST(MixerLifeCycleTest, EveryPlatformFaultOfInitPluginIsUndoneByTermPlugin) {
    testing_support::SweepPlatformFaults(
        [&]() {
            this->Start();
            this->AddVoice(kMono, {1.0f}, 1.0f, 0.0f);
            this->m_pDriver->RunFrame();
            this->Terminate();
            // A lock that cannot be had makes a ring unusable, which is reported.
            this->m_checks.Clear();
        },
        [&](const testing_support::FailedCall&) {
            EXPECT_EQ(0u, this->m_allocator.OutstandingBlocks());
            EXPECT_TRUE(testing_support::NothingLive());
        });
}

TYPED_TEST(MixerLifeCycleTest, FramesAllocateNothingFromTheHeapOrTheHost) {
    if (!testing_support::AllocationCountingAvailable()) {
        GTEST_SKIP() << "allocations are not counted in this build";
    }
    standin::CapturePasses(0);
    ASSERT_EQ(ZV_Success, this->Start(kStereo, 4));
    for (int i = 0; i < 8; ++i) {
        auto& voice =
            this->AddVoice(i % 2 == 0 ? kMono : kStereo, {0.1f, 0.2f}, 1.0f + i, 0.1f * i);
        voice.SetEmitterListenerVolume({0.5f, 0.7f});
    }
    // The inputs' data come with the first frame.
    this->Frame();
    // The audio thread's frames, counted on this thread around each frame; the worker's passes,
    // as what every other thread allocated (the stepping itself allocates on this thread).
    const testing_support::AllocationWatch everywhere;
    const uint64_t uThisThreadBefore = testing_support::ThreadAllocationCount();
    const uint64_t uHostAllocations = this->m_allocator.MallocCalls();
    uint64_t uFrameAllocations = 0;
    for (int i = 0; i < 10000; ++i) {
        const uint64_t uBefore = testing_support::ThreadAllocationCount();
        this->m_pDriver->RunFrame();
        uFrameAllocations += testing_support::ThreadAllocationCount() - uBefore;
        standin::Step();
    }
    const uint64_t uThisThread = testing_support::ThreadAllocationCount() - uThisThreadBefore;
    EXPECT_EQ(0u, uFrameAllocations);
    EXPECT_EQ(0u, everywhere.Count() - uThisThread);
    EXPECT_EQ(uHostAllocations, this->m_allocator.MallocCalls());
    EXPECT_EQ(4u, this->LastCounters().uPlayingObjects);
}

}  // namespace
