#include "CallScope.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "standin/Control.h"

namespace standin {
namespace {

constexpr size_t kLogCapacity = 65536;

struct ArmedFault {
    std::string name;
    uint32_t uFirst;  // 1-based index of the first failing call, counted from arming
    uint32_t uCount;
    HRESULT hr;
    uint32_t uSeen = 0;
};

// The hot path of every platform call takes no lock: the log is a ring of name pointers filled
// through an atomic index, and the fault list is looked at only while a fault is armed. The ring
// starts all null: a reader may meet an entry whose index a caller has taken but not yet filled.
struct CallRegistry {
    std::unique_ptr<std::atomic<const char*>[]> log {
        new std::atomic<const char*>[ kLogCapacity ]()
    };
    std::atomic<uint64_t> uLogged{
        0};  // calls logged since the last clear; the ring keeps the latest
    std::atomic<size_t> uArmedFaults{0};  // faults and actions armed (release by the arming)
    std::mutex mutex;                     // guards faults, actions and resetHooks
    std::vector<ArmedFault> faults;
    std::vector<std::pair<std::string, std::shared_ptr<std::function<void()>>>> actions;
    std::vector<void (*)()> resetHooks;
};

CallRegistry& Registry() {
    static CallRegistry* s_pRegistry = new CallRegistry();  // never destroyed: used at exit
    return *s_pRegistry;
}

thread_local int t_iDepth = 0;

}  // namespace

namespace detail {

CallScope::CallScope(const char* in_pszName) : m_hrFault(S_OK) {
    CallRegistry& registry = Registry();
    if (registry.uArmedFaults.load(std::memory_order_acquire) != 0) {
        // The action runs as the caller's own code, outside the registry's lock.
        std::shared_ptr<std::function<void()>> pAction;
        {
            std::lock_guard<std::mutex> lock(registry.mutex);
            for (const auto& action : registry.actions) {
                if (action.first == in_pszName) {
                    pAction = action.second;
                }
            }
        }
        if (pAction) {
            (*pAction)();
        }
    }
    ++t_iDepth;
    const uint64_t uIndex = registry.uLogged.fetch_add(1, std::memory_order_relaxed);
    registry.log[uIndex % kLogCapacity].store(in_pszName, std::memory_order_relaxed);
    if (registry.uArmedFaults.load(std::memory_order_acquire) == 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (ArmedFault& fault : registry.faults) {
        if (fault.name != in_pszName) {
            continue;
        }
        ++fault.uSeen;
        if (fault.uSeen >= fault.uFirst &&
            (fault.uCount == UINT32_MAX || fault.uSeen - fault.uFirst < fault.uCount)) {
            m_hrFault = fault.hr;
        }
    }
}

CallScope::~CallScope() {
    --t_iDepth;
}

InternalScope::InternalScope() {
    ++t_iDepth;
}
InternalScope::~InternalScope() {
    --t_iDepth;
}

void AddResetHook(void (*in_pfnHook)()) {
    CallRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.resetHooks.push_back(in_pfnHook);
}

}  // namespace detail

void FailCall(const std::string& in_name, uint32_t in_uNth, HRESULT in_hr, uint32_t in_uCount) {
    CallRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.faults.push_back(ArmedFault{in_name, in_uNth == 0 ? 1 : in_uNth, in_uCount, in_hr});
    registry.uArmedFaults.store(registry.faults.size() + registry.actions.size(),
                                std::memory_order_release);
}

void OnCall(const std::string& in_name, std::function<void()> in_action) {
    CallRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.actions.emplace_back(in_name,
                                  std::make_shared<std::function<void()>>(std::move(in_action)));
    registry.uArmedFaults.store(registry.faults.size() + registry.actions.size(),
                                std::memory_order_release);
}

void ClearFaults() {
    CallRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.faults.clear();
    registry.actions.clear();
    registry.uArmedFaults.store(0, std::memory_order_release);
}

std::vector<std::string> CallLog() {
    CallRegistry& registry = Registry();
    const uint64_t uLogged = registry.uLogged.load(std::memory_order_acquire);
    const uint64_t uKept = uLogged < kLogCapacity ? uLogged : kLogCapacity;
    std::vector<std::string> calls;
    calls.reserve(uKept);
    for (uint64_t i = uLogged - uKept; i < uLogged; ++i) {
        const char* pszName = registry.log[i % kLogCapacity].load(std::memory_order_relaxed);
        calls.emplace_back(pszName != nullptr ? pszName : "");
    }
    return calls;
}

void ClearCallLog() {
    Registry().uLogged.store(0, std::memory_order_release);
}

uint64_t CallCount(const std::string& in_name) {
    uint64_t uCount = 0;
    for (const std::string& call : CallLog()) {
        if (call == in_name) {
            ++uCount;
        }
    }
    return uCount;
}

bool InsidePlatformCall() {
    return t_iDepth > 0;
}

void Reset() {
    std::vector<void (*)()> hooks;
    {
        CallRegistry& registry = Registry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.faults.clear();
        registry.actions.clear();
        registry.uArmedFaults.store(0, std::memory_order_release);
        hooks = registry.resetHooks;
    }
    ClearCallLog();
    for (void (*pfnHook)() : hooks) {
        pfnHook();
    }
}

}  // namespace standin
