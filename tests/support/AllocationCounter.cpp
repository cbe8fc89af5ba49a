#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "standin/Control.h"

namespace {

std::atomic<uint64_t> g_uAllocations{0};
thread_local uint64_t t_uAllocations = 0;
thread_local uint64_t t_uAllocationsWithPlatform = 0;

[[maybe_unused]] void* CountedAllocate(std::size_t in_uSize) {
    ++t_uAllocationsWithPlatform;
    if (!standin::InsidePlatformCall()) {
        g_uAllocations.fetch_add(1, std::memory_order_relaxed);
        ++t_uAllocations;
    }
    void* pMemory = std::malloc(in_uSize == 0 ? 1 : in_uSize);
    if (pMemory == nullptr) {
        throw std::bad_alloc();
    }
    return pMemory;
}

}  // namespace

namespace testing_support {

bool AllocationCountingAvailable() {
#ifdef ZV_NO_ALLOCATION_COUNTING
    return false;
#else
    return true;
#endif
}

uint64_t GlobalAllocationCount() {
    return g_uAllocations.load(std::memory_order_relaxed);
}
uint64_t ThreadAllocationCount() {
    return t_uAllocations;
}
uint64_t ThreadAllocationCountWithPlatform() {
    return t_uAllocationsWithPlatform;
}

}  // namespace testing_support

#ifndef ZV_NO_ALLOCATION_COUNTING
void* operator new(std::size_t in_uSize) {
    return CountedAllocate(in_uSize);
}
void* operator new[](std::size_t in_uSize) {
    return CountedAllocate(in_uSize);
}
void* operator new(std::size_t in_uSize, const std::nothrow_t&) noexcept {
    try {
        return CountedAllocate(in_uSize);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t in_uSize, const std::nothrow_t&) noexcept {
    try {
        return CountedAllocate(in_uSize);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* in_pMemory) noexcept {
    std::free(in_pMemory);
}
void operator delete[](void* in_pMemory) noexcept {
    std::free(in_pMemory);
}
void operator delete(void* in_pMemory, std::size_t) noexcept {
    std::free(in_pMemory);
}
void operator delete[](void* in_pMemory, std::size_t) noexcept {
    std::free(in_pMemory);
}
#endif  // ZV_NO_ALLOCATION_COUNTING
