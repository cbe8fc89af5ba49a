// Owns one kernel handle (an event, for instance) and closes it with CloseHandle when replaced or
// destroyed. Null and INVALID_HANDLE_VALUE both mean "no handle".
#pragma once

#include <windows.h>

class HandleHolder {
public:
    HandleHolder() = default;
    ~HandleHolder() { Reset(); }
    HandleHolder(const HandleHolder&) = delete;
    HandleHolder& operator=(const HandleHolder&) = delete;
    HandleHolder(HandleHolder&& io_other) noexcept : m_hHandle(io_other.Detach()) {}
    HandleHolder& operator=(HandleHolder&& io_other) noexcept {
        if (this != &io_other) {
            Reset(io_other.Detach());
        }
        return *this;
    }

    HANDLE Get() const { return m_hHandle; }
    explicit operator bool() const { return IsValid(m_hHandle); }

    // Closes the handle held before and owns in_hHandle from now on.
    void Reset(HANDLE in_hHandle = nullptr) {
        const HANDLE hOld = m_hHandle;
        m_hHandle = in_hHandle;
        if (IsValid(hOld) && hOld != in_hHandle) {
            CloseHandle(hOld);
        }
    }
    // Gives the handle to the caller, who must close it.
    HANDLE Detach() {
        const HANDLE hHandle = m_hHandle;
        m_hHandle = nullptr;
        return hHandle;
    }

private:
    static bool IsValid(HANDLE in_hHandle) {
        return in_hHandle != nullptr && in_hHandle != INVALID_HANDLE_VALUE;
    }

    HANDLE m_hHandle = nullptr;
};
