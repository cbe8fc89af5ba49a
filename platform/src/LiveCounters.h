// Counts of live stand-in resources, read by standin::Live().
#pragma once

#include <atomic>
#include <cstddef>

namespace standin {
namespace detail {

struct LiveCounters {
    std::atomic<long> comObjects{0};
    std::atomic<long> references{0};
    std::atomic<long> audioObjects{0};
    std::atomic<long> eventHandles{0};
    std::atomic<long> handles{0};
    std::atomic<long> workItems{0};
    std::atomic<long> runningCallbacks{0};
    std::atomic<long> taskMemBlocks{0};
    std::atomic<long> hstrings{0};
    std::atomic<long> criticalSections{0};
    std::atomic<long> windows{0};
};

LiveCounters& Counters();

}  // namespace detail
}  // namespace standin
