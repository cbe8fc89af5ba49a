// An effect whose stream is lost for good keeps its worker looping until termination, to re-open
// when a try is due: it ticks once per render period, never spins a core.

#include <gtest/gtest.h>

#include <stdio.h>

#include <chrono>

#include "CoreShare.h"
#include "EffectTestSupport.h"
#include "WaitUntil.h"
#include "standin/Control.h"
#include "standin/Renderer.h"

namespace {

using effect_tests::EffectTest;

// Each tick wakes two threads here, the worker and the stand-in's timer thread (the system's own
// timer on Windows).
TEST_F(EffectTest, AWorkerWithoutAStreamTicksInsteadOfSpinning) {
    standin::SetPacing(standin::Pacing::RealTime);
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kStereoMask);
    ASSERT_EQ(ZV_Success, Init(layout, 480));
    standin::LoseDevice(AUDCLNT_E_DEVICE_INVALIDATED, standin::LostSignalling::Continues);
    ASSERT_TRUE(testing_support::WaitUntil([this]() { return State() == StreamClosed; }));

    const uint64_t uWaitsBefore = standin::CallCount("WaitForSingleObject");
    const auto start = std::chrono::steady_clock::now();
    const double dShare = testing_support::ProcessCoreShareWhileSleeping(std::chrono::seconds(2));
    const double dWall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double dTicksPerSecond =
        static_cast<double>(standin::CallCount("WaitForSingleObject") - uWaitsBefore) / dWall;
    printf("effect without a stream: %.2f%% of a core, %.0f ticks a second\n", dShare * 100.0,
           dTicksPerSecond);
    RecordProperty("worker_cpu_permille", static_cast<int>(dShare * 1000.0 + 0.5));
    EXPECT_LT(dShare, 0.03);
    EXPECT_GT(dTicksPerSecond, 50.0) << "about one tick per 10 ms period";
    EXPECT_LT(dTicksPerSecond, 120.0);
}

}  // namespace
