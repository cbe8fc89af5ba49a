// Owns one block of COM task memory (CoTaskMemAlloc) and frees it with CoTaskMemFree when replaced
// or destroyed.
#pragma once

#include <objbase.h>

template <typename T>
class TaskMemHolder {
public:
    TaskMemHolder() = default;
    ~TaskMemHolder() { Reset(); }
    TaskMemHolder(const TaskMemHolder&) = delete;
    TaskMemHolder& operator=(const TaskMemHolder&) = delete;
    TaskMemHolder(TaskMemHolder&& io_other) noexcept : m_pMemory(io_other.Detach()) {}
    TaskMemHolder& operator=(TaskMemHolder&& io_other) noexcept {
        if (this != &io_other) {
            Reset(io_other.Detach());
        }
        return *this;
    }

    // Replaces the block with a new one of in_uBytes bytes (not initialised). False, and nothing
    // held, when the allocation fails.
    bool Allocate(SIZE_T in_uBytes) {
        Reset(static_cast<T*>(CoTaskMemAlloc(in_uBytes)));
        return m_pMemory != nullptr;
    }

    T* Get() const { return m_pMemory; }
    explicit operator bool() const { return m_pMemory != nullptr; }

    void Reset(T* in_pMemory = nullptr) {
        T* pOld = m_pMemory;
        m_pMemory = in_pMemory;
        if (pOld != nullptr && pOld != in_pMemory) {
            CoTaskMemFree(pOld);
        }
    }
    // Gives the block to the caller, who must free it with CoTaskMemFree.
    T* Detach() {
        T* pMemory = m_pMemory;
        m_pMemory = nullptr;
        return pMemory;
    }

private:
    T* m_pMemory = nullptr;
};
