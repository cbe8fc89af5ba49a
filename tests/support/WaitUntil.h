// Bounded waiting for another thread to reach a state; never a bare sleep.
#pragma once

#include <chrono>
#include <thread>

namespace testing_support {

// Polls in_predicate every millisecond until it holds or in_timeout passes; returns its last value.
template <typename Predicate>
bool WaitUntil(Predicate in_predicate,
               std::chrono::milliseconds in_timeout = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + in_timeout;
    while (!in_predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return in_predicate();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace testing_support
