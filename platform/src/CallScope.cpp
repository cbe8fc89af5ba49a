#include "CallScope.h"

#include <cstring>
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

struct CallRegistry {
    std::mutex mutex;
    std::vector<const char*> log = std::vector<const char*>(kLogCapacity);
    uint64_t uLogged = 0;  // calls logged since the last clear; the ring keeps the latest
    std::vector<ArmedFault> faults;
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
    ++t_iDepth;
    CallRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.log[registry.uLogged % kLogCapacity] = in_pszName;
    ++registry.uLogged;
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
}

void ClearFaults() {
    CallRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.faults.clear();
}

std::vector<std::string> CallLog() {
    CallRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const uint64_t uKept = registry.uLogged < kLogCapacity ? registry.uLogged : kLogCapacity;
    std::vector<std::string> calls;
    calls.reserve(uKept);
    for (uint64_t i = registry.uLogged - uKept; i < registry.uLogged; ++i) {
        calls.emplace_back(registry.log[i % kLogCapacity]);
    }
    return calls;
}

void ClearCallLog() {
    CallRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.uLogged = 0;
}

uint64_t CallCount(const std::string& in_name) {
    CallRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const uint64_t uKept = registry.uLogged < kLogCapacity ? registry.uLogged : kLogCapacity;
    uint64_t uCount = 0;
    for (uint64_t i = registry.uLogged - uKept; i < registry.uLogged; ++i) {
        if (in_name == registry.log[i % kLogCapacity]) {
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
        registry.uLogged = 0;
        hooks = registry.resetHooks;
    }
    for (void (*pfnHook)() : hooks) {
        pfnHook();
    }
}

}  // namespace standin
