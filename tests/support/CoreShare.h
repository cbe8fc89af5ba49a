// The share of one core that the process uses while the calling thread sleeps for in_window: its
// CPU time (every thread's) over the wall time. With nothing else running in the process, that is
// what its idle workers cost.
#pragma once

#include <time.h>

#include <chrono>
#include <thread>

namespace testing_support {

inline double ProcessCpuSeconds() {
    timespec now = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

inline double ProcessCoreShareWhileSleeping(std::chrono::milliseconds in_window) {
    const double fCpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(in_window);
    const double fWall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    return (ProcessCpuSeconds() - fCpuBefore) / fWall;
}

}  // namespace testing_support
