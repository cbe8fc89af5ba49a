// Kernel objects behind HANDLE values: a process-wide handle table, events, and the renderer clock
// that paces waits on the events of stepped streams.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace standin {
namespace detail {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    virtual bool IsEvent() const { return false; }
};

class Event;

// Time as the stepped renderer keeps it: it moves only when the renderer runs a step. Waits with a
// time-out on an event attached to a clock expire on this time instead of the wall clock's.
class VirtualClock {
public:
    uint64_t NowNs() const { return m_uNowNs.load(std::memory_order_acquire); }
    // Moves the clock on and wakes every waiter of the attached events so that it can look at it.
    void Advance(uint64_t in_uNs);
    void Attach(const std::shared_ptr<Event>& in_event);

private:
    std::atomic<uint64_t> m_uNowNs{0};
    std::mutex m_mutex;
    std::vector<std::weak_ptr<Event>> m_events;
};

class Event final : public KernelObject, public std::enable_shared_from_this<Event> {
public:
    Event(bool in_bManualReset, bool in_bInitialState)
        : m_bManualReset(in_bManualReset), m_bSignalled(in_bInitialState) {}
    bool IsEvent() const override { return true; }

    void Set();
    void Reset();
    // WAIT_OBJECT_0 or WAIT_TIMEOUT. Uses the attached clock, if any, for a finite time-out.
    DWORD Wait(DWORD in_dwMilliseconds);

    // Paces finite waits by in_clock from now on (null: the wall clock again). A wait that is
    // under way goes on under the new clock: from the new clock's present time, or for its whole
    // time-out on the wall clock.
    void SetClock(std::shared_ptr<VirtualClock> in_clock);
    // Back to the wall clock if (and only if) the event is paced by in_clock.
    void DetachClock(const std::shared_ptr<VirtualClock>& in_clock);
    // Wakes the waiters so that they look at their end conditions again.
    void Wake();
    // Threads blocked in Wait right now.
    size_t Waiters();

private:
    // Counts a thread blocked in Wait for its scope (m_mutex held when it is made and ends).
    class WaiterScope {
    public:
        explicit WaiterScope(size_t& io_uWaiters) : m_uWaiters(io_uWaiters) { ++m_uWaiters; }
        ~WaiterScope() { --m_uWaiters; }
        WaiterScope(const WaiterScope&) = delete;
        WaiterScope& operator=(const WaiterScope&) = delete;

    private:
        size_t& m_uWaiters;
    };

    friend class VirtualClock;
    const bool m_bManualReset;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_bSignalled;
    size_t m_uWaiters = 0;
    std::shared_ptr<VirtualClock> m_clock;
};

// The handle table. Handles are small multiples of 4, as on Windows; 0 is never a handle.
HANDLE InsertHandle(std::shared_ptr<KernelObject> in_object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE in_handle);
std::shared_ptr<Event> LookupEvent(HANDLE in_handle);
bool CloseKernelHandle(HANDLE in_handle);

}  // namespace detail
}  // namespace standin
