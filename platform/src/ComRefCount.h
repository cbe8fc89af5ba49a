// The reference count of a stand-in COM object, kept in the live counters so that tests can see
// every object and reference a client left behind.
#pragma once

#include <windows.h>

#include <atomic>

#include "LiveCounters.h"

namespace standin {
namespace detail {

class ComRefCount {
public:
    // A new object holds one reference, its creator's.
    ComRefCount() {
        Counters().comObjects.fetch_add(1);
        Counters().references.fetch_add(1);
    }
    ~ComRefCount() { Counters().comObjects.fetch_sub(1); }
    ComRefCount(const ComRefCount&) = delete;
    ComRefCount& operator=(const ComRefCount&) = delete;

    ULONG AddRef() {
        Counters().references.fetch_add(1);
        return static_cast<ULONG>(m_count.fetch_add(1, std::memory_order_relaxed) + 1);
    }
    // Returns the new count; the caller deletes the object at 0. The acquire-release decrement
    // orders every use of the object before its destruction.
    ULONG Release() {
        Counters().references.fetch_sub(1);
        return static_cast<ULONG>(m_count.fetch_sub(1, std::memory_order_acq_rel) - 1);
    }
    ULONG Count() const { return static_cast<ULONG>(m_count.load(std::memory_order_relaxed)); }

private:
    std::atomic<long> m_count{1};
};

}  // namespace detail
}  // namespace standin
