#include "LiveCounters.h"

#include "standin/Control.h"

namespace standin {
namespace detail {

LiveCounters& Counters() {
    static LiveCounters* s_pCounters = new LiveCounters();  // never destroyed: used at exit
    return *s_pCounters;
}

}  // namespace detail

LiveCounts Live() {
    const detail::LiveCounters& counters = detail::Counters();
    LiveCounts counts;
    counts.comObjects = static_cast<size_t>(counters.comObjects.load());
    counts.references = static_cast<size_t>(counters.references.load());
    counts.audioObjects = static_cast<size_t>(counters.audioObjects.load());
    counts.eventHandles = static_cast<size_t>(counters.eventHandles.load());
    counts.handles = static_cast<size_t>(counters.handles.load());
    counts.workItems = static_cast<size_t>(counters.workItems.load());
    counts.runningCallbacks = static_cast<size_t>(counters.runningCallbacks.load());
    counts.taskMemBlocks = static_cast<size_t>(counters.taskMemBlocks.load());
    counts.hstrings = static_cast<size_t>(counters.hstrings.load());
    counts.criticalSections = static_cast<size_t>(counters.criticalSections.load());
    counts.windows = static_cast<size_t>(counters.windows.load());
    return counts;
}

}  // namespace standin
