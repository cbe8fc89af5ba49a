// Bookkeeping shared by every stand-in entry point: the call log, injected faults, and the mark
// that the calling thread is inside the platform.
#pragma once

#include <windows.h>

#include <cstdint>

namespace standin {
namespace detail {

// Opened at the top of every stand-in function and method: logs the call, marks the thread as
// inside the platform for the scope's life, and says whether a fault was injected into this call.
class CallScope {
public:
    explicit CallScope(const char* in_pszName);
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

    // S_OK, or the HRESULT with which this call must fail.
    HRESULT Fault() const { return m_hrFault; }
    bool Failed() const { return m_hrFault != S_OK; }

private:
    HRESULT m_hrFault;
};

// For the stand-in's own work outside a named call (its threads): marks the thread as inside the
// platform without logging anything.
class InternalScope {
public:
    InternalScope();
    ~InternalScope();
    InternalScope(const InternalScope&) = delete;
    InternalScope& operator=(const InternalScope&) = delete;
};

// Hooks that standin::Reset runs (the renderer registers its own).
void AddResetHook(void (*in_pfnHook)());

}  // namespace detail
}  // namespace standin

// Opens the call scope and returns the injected HRESULT from the enclosing function if there is
// one.
#define STANDIN_CALL_HRESULT(name)                       \
    ::standin::detail::CallScope standinCallScope(name); \
    if (standinCallScope.Failed())                       \
    return standinCallScope.Fault()
