#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "standin/Control.h"

namespace {

std::atomic<uint64_t> g_uAllocations{0};
thread_local uint64_t t_uAllocations = 0;

void CountAllocation() {
    if (!standin::InsidePlatformCall()) {
        g_uAllocations.fetch_add(1, std::memory_order_relaxed);
        ++t_uAllocations;
    }
}

}  // namespace

namespace testing_support {

uint64_t GlobalAllocationCount() {
    return g_uAllocations.load(std::memory_order_relaxed);
}
uint64_t ThreadAllocationCount() {
    return t_uAllocations;
}

}  // namespace testing_support

// ThreadSanitizer brings its own operator new, which a program cannot replace as well; there the
// counter listens to the sanitizer's allocation hook instead (which also sees malloc).
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZV_COUNT_THROUGH_SANITIZER_HOOK 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define ZV_COUNT_THROUGH_SANITIZER_HOOK 1
#endif

#ifdef ZV_COUNT_THROUGH_SANITIZER_HOOK

extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*in_pfnMallocHook)(const volatile void*, size_t),
    void (*in_pfnFreeHook)(const volatile void*));

namespace {

void OnMalloc(const volatile void*, size_t) {
    CountAllocation();
}
void OnFree(const volatile void*) {}

[[maybe_unused]] const int g_iHookInstalled =
    __sanitizer_install_malloc_and_free_hooks(&OnMalloc, &OnFree);

}  // namespace

#else

namespace {

void* CountedAllocate(std::size_t in_uSize) {
    CountAllocation();
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

#endif  // ZV_COUNT_THROUGH_SANITIZER_HOOK
