// Counts heap allocations made through operator new by code outside the stand-in platform, so a
// test can show that a plug-in's audio-thread or worker path allocates nothing.
#pragma once

#include <cstdint>

namespace testing_support {

// False in builds whose sanitizer runtime owns operator new (every count is then 0): a test that
// proves an absence of allocations skips itself there.
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
