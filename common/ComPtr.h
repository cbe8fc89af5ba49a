// Holds one counted reference to a COM object and releases it when replaced or destroyed.
//
// Every change of the count is explicit: Attach takes over a reference the caller already holds,
// CopyFrom adds one, Detach hands the held one back, Reset releases it. There is no conversion to
// or from a raw pointer that would hide an AddRef or a Release.
#pragma once

#include <unknwn.h>

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& io_other) noexcept : m_pObject(io_other.Detach()) {}
    ComPtr& operator=(ComPtr&& io_other) noexcept {
        if (this != &io_other) {
            Attach(io_other.Detach());
        }
        return *this;
    }

    T* Get() const { return m_pObject; }
    T* operator->() const { return m_pObject; }
    explicit operator bool() const { return m_pObject != nullptr; }

    // Takes over the caller's reference to in_pObject; the one held before is released.
    void Attach(T* in_pObject) {
        T* pOld = m_pObject;
        m_pObject = in_pObject;
        if (pOld != nullptr) {
            pOld->Release();
        }
    }
    // Gives the held reference to the caller, who must release it.
    T* Detach() {
        T* pObject = m_pObject;
        m_pObject = nullptr;
        return pObject;
    }
    // Holds a new reference to in_pObject (AddRef), releasing the one held before.
    void CopyFrom(T* in_pObject) {
        if (in_pObject != nullptr) {
            in_pObject->AddRef();
        }
        Attach(in_pObject);
    }
    void Reset() { Attach(nullptr); }

    // For out-parameters of platform calls: releases what is held and gives the slot to fill.
    T** ReleaseAndGetAddressOf() {
        Reset();
        return &m_pObject;
    }
    // The same for calls whose out-parameter is a void** (activation, QueryInterface).
    void** ReleaseAndGetVoidAddressOf() {
        return reinterpret_cast<void**>(ReleaseAndGetAddressOf());
    }

    // QueryInterface for U into out_rOther (which is released first).
    template <typename U>
    HRESULT As(ComPtr<U>& out_rOther) const {
        if (m_pObject == nullptr) {
            out_rOther.Reset();
            return E_POINTER;
        }
        return m_pObject->QueryInterface(__uuidof(U), out_rOther.ReleaseAndGetVoidAddressOf());
    }

private:
    T* m_pObject = nullptr;
};
