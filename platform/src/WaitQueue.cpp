#include "WaitQueue.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <ctime>

namespace standin {
namespace detail {
namespace {

uint32_t* FutexWord(std::atomic<uint32_t>& in_word) {
    static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) &&
                  std::atomic<uint32_t>::is_always_lock_free);
    return reinterpret_cast<uint32_t*>(&in_word);
}

}  // namespace

void WaitQueue::NotifyAll() {
    m_uSequence.fetch_add(1);
    if (m_uWaiters.load() != 0) {
        syscall(SYS_futex, FutexWord(m_uSequence), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr,
                0);
    }
}

void WaitQueue::Wait(std::unique_lock<std::mutex>& io_lock) {
    m_uWaiters.fetch_add(1);
    const uint32_t uSeen = m_uSequence.load();
    io_lock.unlock();
    // Returns at once if a notification has moved the sequence on since it was read.
    syscall(SYS_futex, FutexWord(m_uSequence), FUTEX_WAIT_PRIVATE, uSeen, nullptr, nullptr, 0);
    m_uWaiters.fetch_sub(1);
    io_lock.lock();
}

bool WaitQueue::WaitUntil(std::unique_lock<std::mutex>& io_lock,
                          std::chrono::steady_clock::time_point in_deadline) {
    // The steady clock is CLOCK_MONOTONIC, which an absolute FUTEX_WAIT_BITSET measures by.
    const auto since = in_deadline.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    timespec deadline = {};
    deadline.tv_sec = static_cast<time_t>(seconds.count());
    deadline.tv_nsec = static_cast<long>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count());
    m_uWaiters.fetch_add(1);
    const uint32_t uSeen = m_uSequence.load();
    io_lock.unlock();
    syscall(SYS_futex, FutexWord(m_uSequence), FUTEX_WAIT_BITSET_PRIVATE, uSeen, &deadline, nullptr,
            FUTEX_BITSET_MATCH_ANY);
    m_uWaiters.fetch_sub(1);
    io_lock.lock();
    return std::chrono::steady_clock::now() < in_deadline;
}

}  // namespace detail
}  // namespace standin
