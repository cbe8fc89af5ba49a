// The test host's allocator: what the engine hands to every plug-in. It counts outstanding blocks
// and bytes, catches frees of memory it did not hand out (or handed out and already took back),
// and can be told to fail an allocation, so that tests can sweep every allocation of a set-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "ZvHostEngine.h"

namespace host {

class HostAllocator final : public ZV::IPluginMemAlloc {
public:
    HostAllocator() = default;
    ~HostAllocator();
    HostAllocator(const HostAllocator&) = delete;
    HostAllocator& operator=(const HostAllocator&) = delete;

    void* Malloc(size_t in_uSize) override;
    void Free(void* in_pMemory) override;

    // Makes the in_uNth Malloc from now on (1 = the next) return null; 0 disarms.
    void FailAllocation(uint64_t in_uNth);
    // Makes every Malloc from the in_uNth on return null.
    void FailAllocationsFrom(uint64_t in_uNth);

    size_t OutstandingBlocks() const;
    size_t OutstandingBytes() const;
    uint64_t AllocationCount() const;  // Malloc calls that succeeded
    uint64_t MallocCalls() const;      // Malloc calls, failed ones included
    // Frees of null are allowed; frees of unknown or already freed memory are recorded here.
    std::vector<std::string> Errors() const;

private:
    mutable std::mutex m_mutex;
    std::unordered_map<void*, size_t> m_blocks;
    size_t m_uBytes = 0;
    uint64_t m_uAllocations = 0;
    uint64_t m_uMallocCalls = 0;
    uint64_t m_uFailAt = 0;  // absolute Malloc call number to fail; 0 = none
    bool m_bFailFromThenOn = false;
    std::vector<std::string> m_errors;
};

}  // namespace host
