// A mixer whose render stream is gone, in either build, keeps its worker looping until
// termination: it must sleep between its looks at the stream, never spin a core. Measured as the
// process's CPU time over a few seconds in which no frame runs (the stepped renderer has no thread
// of its own), against 2 percent of a core; an idle worker costs a small fraction of that.

#include <gtest/gtest.h>

#include <stdio.h>

#include <chrono>
#include <string>

#include "CoreShare.h"
#include "MixerTestSupport.h"
#include "standin/Control.h"

namespace {

using mixer_tests::kMono;

constexpr double kMaxIdleCoreShare = 0.02;

template <typename Build>
class MixerIdleWorkerTest : public mixer_tests::MixerTest<Build> {
protected:
    // Plays a voice, then loses the device (and with in_bEndpointLeft false, every endpoint) and
    // runs frames until the mixer has given the stream up.
    void LoseTheStream(bool in_bEndpointLeft) {
        ASSERT_EQ(ZV_Success, this->Start());
        this->AddVoice(kMono, {0.5f}, 2.0f, 0.0f);
        this->Frame();
        ASSERT_EQ(StreamRunning, this->m_pMixer->CurrentStreamState());
        standin::LoseDevice();
        if (!in_bEndpointLeft) {
            standin::RemoveDefaultEndpoint();
        }
        ASSERT_TRUE(this->StepUntilLost());
        // The reset path runs on the next frames (once the worker has let go of the stream);
        // with no endpoint it ends closed, and on the dead device it ends without a running
        // stream (lost until the desktop build's next attempt a second later).
        if (in_bEndpointLeft) {
            for (int i = 0; i < 3; ++i) {
                this->Frame();
            }
        } else {
            ASSERT_TRUE(this->FramesUntil(
                [&]() { return this->m_pMixer->CurrentStreamState() == StreamClosed; }));
        }
        ASSERT_NE(StreamRunning, this->m_pMixer->CurrentStreamState());
    }

    void ExpectIdle() {
        const uint64_t uSleepsBefore = standin::CallCount("Sleep");
        const double fShare =
            testing_support::ProcessCoreShareWhileSleeping(std::chrono::seconds(3));
        this->RecordProperty("idle_core_permille", std::to_string(fShare * 1000.0));
        printf("idle mixer: %.2f %% of a core\n", fShare * 100.0);
        EXPECT_LT(fShare, kMaxIdleCoreShare) << fShare * 100.0 << " % of a core";
        // The worker is still there, looking at the stream every few milliseconds.
        EXPECT_GT(standin::CallCount("Sleep") - uSleepsBefore, 150u);
    }
};
TYPED_TEST_SUITE(MixerIdleWorkerTest, mixer_tests::Builds, mixer_tests::BuildNames);

TYPED_TEST(MixerIdleWorkerTest, AStreamClosedForGoodLeavesTheWorkerAsleep) {
    this->LoseTheStream(false);
    EXPECT_EQ(StreamClosed, this->m_pMixer->CurrentStreamState());
    this->ExpectIdle();
}

TYPED_TEST(MixerIdleWorkerTest, AStreamLostOnADeadDeviceLeavesTheWorkerAsleep) {
    this->LoseTheStream(true);
    this->ExpectIdle();
}

}  // namespace
