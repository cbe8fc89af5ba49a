// What the thread pool tells the rest of the stand-in: the work item a pool thread is running, and
// whether someone waits for it (WaitForThreadpoolWorkCallbacks), so that a stepped wait inside
// that work can give up instead of waiting for a renderer step that will not come.
#pragma once

#include <windows.h>

#include <memory>

namespace standin {
namespace detail {

class Event;

// While alive on a pool thread, records the event the thread waits on in its work item.
class WorkWaitRegistration {
public:
    explicit WorkWaitRegistration(std::shared_ptr<Event> in_event);
    ~WorkWaitRegistration();
    WorkWaitRegistration(const WorkWaitRegistration&) = delete;
    WorkWaitRegistration& operator=(const WorkWaitRegistration&) = delete;

    bool WorkIsBeingWaitedFor() const;

private:
    PTP_WORK m_pWork;
};

}  // namespace detail
}  // namespace standin
