#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "standin/Control.h"

// ThreadSanitizer's run-time brings operator new and delete of its own, which a program cannot
// replace; there the counter listens to the sanitizer's allocation hook instead.
#if defined(__SANITIZE_THREAD__)
#define ZV_COUNT_THROUGH_SANITIZER_HOOK 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZV_COUNT_THROUGH_SANITIZER_HOOK 1
#endif
#endif

namespace {

std::atomic<uint64_t> g_uAllocations{0};
thread_local uint64_t t_uAllocations = 0;
thread_local uint64_t t_uAllocationsWithPlatform = 0;

void CountAllocation() {
    ++t_uAllocationsWithPlatform;
    if (!standin::InsidePlatformCall()) {
        g_uAllocations.fetch_add(1, std::memory_order_relaxed);
        ++t_uAllocations;
    }
}

#if !defined(ZV_COUNT_THROUGH_SANITIZER_HOOK)

void* CountedAllocate(std::size_t in_uSize) {
    CountAllocation();
    void* pMemory = std::malloc(in_uSize == 0 ? 1 : in_uSize);
    if (pMemory == nullptr) {
        throw std::bad_alloc();
    }
    return pMemory;
}

#endif

}  // namespace

#if defined(ZV_COUNT_THROUGH_SANITIZER_HOOK)

namespace {
// The executable's own thread-local, which needs no allocation: the hook ignores the allocations
// made while it runs (the first look at the platform's thread-local state of a thread allocates).
thread_local bool t_bInHook = false;
}  // namespace

// The sanitizer run-time calls this on every heap allocation.
extern "C" void __sanitizer_malloc_hook(const volatile void*, size_t) {
    if (t_bInHook) {
        return;
    }
    t_bInHook = true;
    CountAllocation();
    t_bInHook = false;
}

#endif

namespace testing_support {

bool AllocationCountingAvailable() {
    return true;
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

#if !defined(ZV_COUNT_THROUGH_SANITIZER_HOOK)

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

#endif
