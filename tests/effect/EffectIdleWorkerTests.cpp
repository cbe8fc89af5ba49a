// An effect whose stream is lost for good keeps its worker looping until termination: it must
// sleep between its looks at the stream state, never spin a core.

#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <thread>

#include "EffectTestSupport.h"
#include "standin/Control.h"
#include "standin/Renderer.h"

namespace {

using effect_tests::EffectTest;

double ProcessCpuSeconds() {
    timespec now = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

TEST_F(EffectTest, AWorkerWithoutAStreamSleepsInsteadOfSpinning) {
    const ZvChannelLayout layout = ZvChannelLayout::FromMask(effect_tests::kStereoMask);
    ASSERT_EQ(ZV_Success, Init(layout, 480));
    host::HostBusDriver driver(*m_pEffect, layout, 480);
    standin::LoseDevice();
    ASSERT_TRUE(StepUntilLost());
    driver.Process(480, effect_tests::SampleSource());  // the one re-open fails on the lost device
    ASSERT_EQ(StreamClosed, State());

    // Nothing else runs in the process meanwhile (stepped pacing has no renderer thread), so its
    // CPU time over a couple of seconds is the worker's.
    const uint64_t uSleepsBefore = standin::CallCount("Sleep");
    const auto wallStart = std::chrono::steady_clock::now();
    const double dCpuStart = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(2));  // the measuring window
    const double dCpu = ProcessCpuSeconds() - dCpuStart;
    const double dWall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    RecordProperty("worker_cpu_permille", static_cast<int>(dCpu / dWall * 1000.0 + 0.5));
    EXPECT_LT(dCpu, 0.02 * dWall) << dCpu << " s of CPU in " << dWall << " s";
    // It is still looking at the state: the loop runs every few milliseconds.
    EXPECT_GT(standin::CallCount("Sleep") - uSleepsBefore, 100u);
}

}  // namespace
