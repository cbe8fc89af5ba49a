// The mixer's parameter objects are set by the host on one thread while the mixer reads them and
// clears their change flags on the audio thread. ThreadSanitizer checks the accesses; the test
// checks that no read sees a value that was never written.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "HostAllocatorTest.h"
#include "SpatialMixerFXAttachmentParams.h"
#include "SpatialMixerFXParams.h"

namespace {

constexpr int kRounds = 20000;

class MixerParamsConcurrencyTest : public testing_support::HostAllocatorTest {};

TEST_F(MixerParamsConcurrencyTest, AudioThreadReadsWholeValuesWhileTheHostSetsThem) {
    auto* pParams = static_cast<SpatialMixerFXParams*>(CreateSpatialMixerFXParams(&m_allocator));
    auto* pAttachment = static_cast<SpatialMixerFXAttachmentParams*>(
        CreateSpatialMixerFXAttachmentParams(&m_allocator));
    ASSERT_NE(nullptr, pParams);
    ASSERT_NE(nullptr, pAttachment);
    ASSERT_EQ(ZV_Success, pParams->InitParameters(&m_allocator, nullptr, 0));
    ASSERT_EQ(ZV_Success, pAttachment->InitParameters(&m_allocator, nullptr, 0));

    std::atomic<bool> bWriterDone{false};
    std::thread writer([&]() {
        const uint8_t aBlocks[2][5] = {{0x01, 0x10, 0x32, 0x54, 0x76},
                                       {0x00, 0x20, 0x00, 0x00, 0x00}};
        for (int iRound = 0; iRound < kRounds; ++iRound) {
            const float fBypass = (iRound & 1) != 0 ? 1.0f : 0.0f;
            const int32_t iMaxObjects = (iRound & 2) != 0 ? -1 : 7;
            pParams->SetParameter(SpatialMixerFXParams::kBypassId, &fBypass, 4);
            pParams->SetParameter(SpatialMixerFXParams::kMaxObjectsId, &iMaxObjects, 4);
            pParams->SetParameterBlock(aBlocks[iRound & 1], 5);
            pAttachment->SetParameter(SpatialMixerFXAttachmentParams::kBypassLocalId, &fBypass, 4);
        }
        bWriterDone.store(true, std::memory_order_release);
    });

    // The audio thread's side: snapshot, clear the flags, as the mixer does every frame.
    int iBadValues = 0;
    int iReads = 0;
    while (!bWriterDone.load(std::memory_order_acquire) || iReads < 100) {
        const SpatialMixerFXParams::Values values = pParams->GetValues();
        if (values.iMaxObjects != 32 && values.iMaxObjects != 7 && values.iMaxObjects != -1 &&
            values.iMaxObjects != 0x76543210 && values.iMaxObjects != 0x20) {
            ++iBadValues;
        }
        (void)pAttachment->GetBypassLocal();
        (void)pParams->HasChanged(SpatialMixerFXParams::kBypassId);
        pParams->ClearChangeFlags();
        pAttachment->ClearChangeFlags();
        ++iReads;
    }
    writer.join();
    EXPECT_EQ(0, iBadValues);

    // After the last write the values and flags are those of the last round.
    EXPECT_FALSE(pParams->GetValues().bBypass);
    EXPECT_EQ(0x20, pParams->GetValues().iMaxObjects);
    EXPECT_TRUE(pAttachment->GetBypassLocal());
    EXPECT_EQ(ZV_Success, pParams->TermParameters(&m_allocator));
    EXPECT_EQ(ZV_Success, pAttachment->TermParameters(&m_allocator));
}

}  // namespace
