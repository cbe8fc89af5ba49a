// Counts heap allocations made through operator new by code outside the stand-in platform (under
// ThreadSanitizer: every heap allocation, through the sanitizer's hook), so a test can show that a
// plug-in's audio-thread or worker path allocates nothing.
#pragma once

#include <cstdint>

namespace testing_support {

// Whether allocations are counted in this build (under ThreadSanitizer they are counted through
// the sanitizer's allocation hook, which sees plain malloc too). A test that proves an absence of
// allocations skips itself where they are not.
bool AllocationCountingAvailable();

// Allocations on any thread since the program started (platform allocations excluded).
uint64_t GlobalAllocationCount();
// Allocations on the calling thread.
uint64_t ThreadAllocationCount();
// Allocations on the calling thread, the stand-in platform's own included: for tests of the
// stand-in itself.
uint64_t ThreadAllocationCountWithPlatform();

// Counts the allocations made on every thread while it lives.
class AllocationWatch {
public:
    AllocationWatch() : m_uStart(GlobalAllocationCount()) {}
    uint64_t Count() const { return GlobalAllocationCount() - m_uStart; }

private:
    uint64_t m_uStart;
};

}  // namespace testing_support
