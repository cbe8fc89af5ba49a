// DirectGain is changed by SetParameter while the audio thread reads it: a reader sees only whole
// values that were written.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "HostAllocatorTest.h"
#include "SinkPluginParams.h"

namespace {

class SinkPluginParamsThreadTest : public testing_support::HostAllocatorTest {};

TEST_F(SinkPluginParamsThreadTest, TheAudioThreadSeesEitherTheOldOrTheNewGain) {
    ZV::IPluginParam* pParams = CreateSinkPluginParams(&m_allocator);
    ASSERT_NE(nullptr, pParams);
    const SinkPluginParams* pSinkParams = static_cast<const SinkPluginParams*>(pParams);
    constexpr int kChanges = 20000;
    std::atomic<bool> bChanging{true};  // release by the changer when done, acquire by the reader
    int iOddValues = 0;
    int iReads = 0;

    std::thread audioThread([&]() {
        // Runs at least until the changer is done, then once more.
        for (bool bLast = false; !bLast; ++iReads) {
            bLast = !bChanging.load(std::memory_order_acquire);
            const float fGain = pSinkParams->GetDirectGain();
            if (fGain != 1.0f && fGain != 0.25f && fGain != 0.75f) {
                ++iOddValues;
            }
        }
    });
    for (int i = 0; i < kChanges; ++i) {
        const float fGain = (i & 1) != 0 ? 0.75f : 0.25f;
        ASSERT_EQ(ZV_Success, pParams->SetParameter(SinkParamId_DirectGain, &fGain, sizeof(fGain)));
    }
    bChanging.store(false, std::memory_order_release);
    audioThread.join();

    EXPECT_EQ(0, iOddValues);
    EXPECT_GT(iReads, 0);
    EXPECT_EQ(0.75f, pSinkParams->GetDirectGain());
    pParams->TermParameters(&m_allocator);
}

}  // namespace
