// A condition variable for a std::mutex whose waiters sleep on a futex of its own.
//
// A thread woken from glibc's condition variable takes its mutex back marked as contended, so its
// next unlock makes a wake-up system call that finds nobody. The stepped renderer's threads wait
// and are woken at every pass (each render worker on its stream's event, the stepping thread on
// the step's debts), and those calls made a third of the stand-in's system calls. A waiter here
// takes the mutex back with a plain lock.
//
// The contract of std::condition_variable's notify_all, wait and wait_until: a waiter may wake
// without a notification, so it looks at its condition again under the mutex; a notifier changes
// what the waiters look at under the mutex, and notifies with or without holding it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

namespace standin {
namespace detail {

class WaitQueue {
public:
    void NotifyAll();
    // Lets go of io_lock until a notification (or a spurious wake-up), then takes it back.
    void Wait(std::unique_lock<std::mutex>& io_lock);
    // The same, until in_deadline at the latest; false when it has passed.
    bool WaitUntil(std::unique_lock<std::mutex>& io_lock,
                   std::chrono::steady_clock::time_point in_deadline);

private:
    // Moved on by every notification; the futex word the waiters sleep on. A waiter reads it
    // under the mutex, so a notification for a change made after that read moves it on and
    // either wakes the waiter or keeps it from sleeping.
    std::atomic<uint32_t> m_uSequence{0};
    // Threads between reading the sequence and leaving the futex; a notification with none makes
    // no system call. Sequentially consistent, like the sequence.
    std::atomic<uint32_t> m_uWaiters{0};
};

}  // namespace detail
}  // namespace standin
