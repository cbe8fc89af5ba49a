// Owns one Windows Runtime string (HSTRING) and deletes it with WindowsDeleteString when replaced
// or destroyed.
#pragma once

#include <winstring.h>

class HStringHolder {
public:
    HStringHolder() = default;
    ~HStringHolder() { Reset(); }
    HStringHolder(const HStringHolder&) = delete;
    HStringHolder& operator=(const HStringHolder&) = delete;

    HSTRING Get() const { return m_hString; }
    explicit operator bool() const { return m_hString != nullptr; }

    // For out-parameters: deletes the string held before and gives the slot to fill.
    HSTRING* ReleaseAndGetAddressOf() {
        Reset();
        return &m_hString;
    }
    void Reset() {
        const HSTRING hOld = m_hString;
        m_hString = nullptr;
        if (hOld != nullptr) {
            WindowsDeleteString(hOld);
        }
    }

private:
    HSTRING m_hString = nullptr;
};
