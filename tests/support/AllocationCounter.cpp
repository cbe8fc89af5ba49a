#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "standin/Control.h"

// ThreadSanitizer's runtime defines operator new and delete itself and a program cannot replace
// them; under it nothing is counted. The allocation tests make their proof under the other
// presets.
#if defined(__SANITIZE_THREAD__)
#define ZV_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZV_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef ZV_COUNT_ALLOCATIONS
#define ZV_COUNT_ALLOCATIONS 1
#endif

namespace {

std::atomic<uint64_t> g_uAllocations{0};
thread_local uint64_t t_uAllocations = 0;

}  // namespace

namespace testing_support {

bool AllocationsAreCounted() {
    return ZV_COUNT_ALLOCATIONS != 0;
}

uint64_t GlobalAllocationCount() {
    return g_uAllocations.load(std::memory_order_relaxed);
}
uint64_t ThreadAllocationCount() {
    return t_uAllocations;
}

}  // namespace testing_support

#if ZV_COUNT_ALLOCATIONS
namespace {

void* CountedAllocate(std::size_t in_uSize) {
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
#endif  // ZV_COUNT_ALLOCATIONS
