#include "KernelObjects.h"

#include <unordered_map>

#include "LiveCounters.h"
#include "ThreadPoolInternal.h"

namespace standin {
namespace detail {
namespace {

struct HandleTable {
    std::mutex mutex;
    uintptr_t uNext = 4;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
};

HandleTable& Table() {
    static HandleTable* s_pTable = new HandleTable();  // never destroyed: used at exit
    return *s_pTable;
}

}  // namespace

void VirtualClock::Advance(uint64_t in_uNs) {
    m_uNowNs.fetch_add(in_uNs, std::memory_order_acq_rel);
    std::vector<std::shared_ptr<Event>> events;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_events.begin(); it != m_events.end();) {
            if (std::shared_ptr<Event> event = it->lock()) {
                events.push_back(std::move(event));
                ++it;
            } else {
                it = m_events.erase(it);
            }
        }
    }
    for (const std::shared_ptr<Event>& event : events) {
        event->Wake();
    }
}

void VirtualClock::Attach(const std::shared_ptr<Event>& in_event) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back(in_event);
}

void Event::Set() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bSignalled = true;
    m_condition.notify_all();
}

void Event::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bSignalled = false;
}

size_t Event::Waiters() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uWaiters;
}

void Event::Wake() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_condition.notify_all();
}

void Event::SetClock(std::shared_ptr<VirtualClock> in_clock) {
    if (in_clock) {
        in_clock->Attach(shared_from_this());
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clock = std::move(in_clock);
    m_condition.notify_all();
}

void Event::DetachClock(const std::shared_ptr<VirtualClock>& in_clock) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_clock == in_clock) {
        m_clock.reset();
        m_condition.notify_all();
    }
}

DWORD Event::Wait(DWORD in_dwMilliseconds) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto consume = [this]() {
        if (!m_bManualReset) {
            m_bSignalled = false;
        }
        return WAIT_OBJECT_0;
    };
    if (m_bSignalled) {
        return consume();
    }
    if (in_dwMilliseconds == 0) {
        return WAIT_TIMEOUT;
    }
    WaiterScope waiter(m_uWaiters);
    if (in_dwMilliseconds == INFINITE) {
        m_condition.wait(lock, [this]() { return m_bSignalled; });
        return consume();
    }

    if (m_clock) {
        // Stepped pacing: the time-out runs on the renderer's clock. A pool thread whose work is
        // being waited for gives up at once, since no step may come to end its wait.
        std::shared_ptr<VirtualClock> clock = m_clock;
        uint64_t uDeadline = clock->NowNs() + uint64_t{in_dwMilliseconds} * 1000000u;
        WorkWaitRegistration registration(shared_from_this());
        for (;;) {
            if (m_bSignalled) {
                return consume();
            }
            if (m_clock != clock) {
                if (!m_clock) {
                    break;  // on the wall clock from here
                }
                clock = m_clock;
                uDeadline = clock->NowNs() + uint64_t{in_dwMilliseconds} * 1000000u;
                continue;
            }
            if (clock->NowNs() >= uDeadline || registration.WorkIsBeingWaitedFor()) {
                return WAIT_TIMEOUT;
            }
            m_condition.wait(lock);
        }
    }

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(in_dwMilliseconds);
    if (m_condition.wait_until(lock, deadline, [this]() { return m_bSignalled; })) {
        return consume();
    }
    return WAIT_TIMEOUT;
}

HANDLE InsertHandle(std::shared_ptr<KernelObject> in_object) {
    const bool bEvent = in_object->IsEvent();
    HandleTable& table = Table();
    uintptr_t uValue;
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        uValue = table.uNext;
        table.uNext += 4;
        table.objects.emplace(uValue, std::move(in_object));
    }
    Counters().handles.fetch_add(1);
    if (bEvent) {
        Counters().eventHandles.fetch_add(1);
    }
    return reinterpret_cast<HANDLE>(uValue);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE in_handle) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(in_handle));
    return it == table.objects.end() ? nullptr : it->second;
}

std::shared_ptr<Event> LookupEvent(HANDLE in_handle) {
    std::shared_ptr<KernelObject> object = LookupHandle(in_handle);
    if (!object || !object->IsEvent()) {
        return nullptr;
    }
    return std::static_pointer_cast<Event>(object);
}

bool CloseKernelHandle(HANDLE in_handle) {
    std::shared_ptr<KernelObject> object;
    {
        HandleTable& table = Table();
        std::lock_guard<std::mutex> lock(table.mutex);
        auto it = table.objects.find(reinterpret_cast<uintptr_t>(in_handle));
        if (it == table.objects.end()) {
            return false;
        }
        object = std::move(it->second);
        table.objects.erase(it);
    }
    Counters().handles.fetch_sub(1);
    if (object->IsEvent()) {
        Counters().eventHandles.fetch_sub(1);
    }
    return true;  // the object goes when its last handle (or internal user) lets it go
}

}  // namespace detail
}  // namespace standin
