// A growable array of plain values whose storage comes from the host allocator.
//
// The array holds no allocator: every operation that may allocate or free takes it, and the owner
// passes the same one each time. Growth is geometric (new storage, copy, free the old), so adding
// n items costs O(n) copies in all. A growth that cannot get its storage leaves the array exactly
// as it was and reports the failure to the caller. Removal moves the last item into the gap, so
// the order of the items is not kept.
//
// The storage must be given back with Term() before the array is destroyed; the destructor
// reports storage that was not.
//
// Threads: an array belongs to one thread at a time (the plug-ins use theirs on the audio thread).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <type_traits>

#include "AssertHook.h"
#include "ZvHostEngine.h"

template <typename T>
class ZvArray {
    static_assert(std::is_trivially_copyable<T>::value, "items are moved as plain bytes");

public:
    ZvArray() = default;
    ~ZvArray() { ZV_CHECK("ZvArray", m_pItems == nullptr); }
    ZvArray(const ZvArray&) = delete;
    ZvArray& operator=(const ZvArray&) = delete;

    uint32_t Length() const { return m_uLength; }
    uint32_t Reserved() const { return m_uReserved; }
    bool IsEmpty() const { return m_uLength == 0; }

    T* begin() { return m_pItems; }
    T* end() { return m_pItems + m_uLength; }
    const T* begin() const { return m_pItems; }
    const T* end() const { return m_pItems + m_uLength; }

    // The item at in_uIndex; an index beyond the items is reported and gives null.
    T* At(uint32_t in_uIndex) {
        ZV_CHECK("ZvArray", in_uIndex < m_uLength);
        return in_uIndex < m_uLength ? m_pItems + in_uIndex : nullptr;
    }
    const T* At(uint32_t in_uIndex) const {
        ZV_CHECK("ZvArray", in_uIndex < m_uLength);
        return in_uIndex < m_uLength ? m_pItems + in_uIndex : nullptr;
    }

    // Appends in_item, growing the storage when it is full. False when the storage could not
    // grow; the array is then unchanged.
    bool AddLast(ZV::IPluginMemAlloc* in_pAllocator, const T& in_item) {
        if (m_uLength == m_uReserved && !Grow(in_pAllocator)) {
            return false;
        }
        m_pItems[m_uLength] = in_item;
        ++m_uLength;
        return true;
    }

    // Makes room for at least in_uCount items. False when the storage could not grow; the array
    // is then unchanged.
    bool Reserve(ZV::IPluginMemAlloc* in_pAllocator, uint32_t in_uCount) {
        return in_uCount <= m_uReserved || Reallocate(in_pAllocator, in_uCount);
    }

    // Removes the item at in_uIndex by moving the last item into its place. An index beyond the
    // items is reported and removes nothing.
    void Erase(uint32_t in_uIndex) {
        ZV_CHECK("ZvArray", in_uIndex < m_uLength);
        if (in_uIndex >= m_uLength) {
            return;
        }
        --m_uLength;
        if (in_uIndex != m_uLength) {
            m_pItems[in_uIndex] = m_pItems[m_uLength];
        }
    }

    // Forgets every item and keeps the storage.
    void RemoveAll() { m_uLength = 0; }

    // Forgets every item and gives the storage back.
    void Term(ZV::IPluginMemAlloc* in_pAllocator) {
        if (m_pItems == nullptr) {
            m_uLength = 0;
            return;
        }
        ZV_CHECK("ZvArray", in_pAllocator != NULL);
        if (in_pAllocator == nullptr) {
            return;  // without the allocator the storage cannot be freed; keep it usable
        }
        in_pAllocator->Free(m_pItems);
        m_pItems = nullptr;
        m_uLength = 0;
        m_uReserved = 0;
    }

private:
    static constexpr uint32_t kFirstReserve = 4;
    static constexpr uint32_t kMaxItems = static_cast<uint32_t>(
        (SIZE_MAX / sizeof(T) < UINT32_MAX) ? SIZE_MAX / sizeof(T) : UINT32_MAX);

    bool Grow(ZV::IPluginMemAlloc* in_pAllocator) {
        if (m_uReserved == kMaxItems) {
            return false;
        }
        // Doubling, from kFirstReserve, capped at the most items the storage size can express.
        const uint32_t uGrowth = m_uReserved == 0 ? kFirstReserve : m_uReserved;
        const uint32_t uNewReserve =
            uGrowth > kMaxItems - m_uReserved ? kMaxItems : m_uReserved + uGrowth;
        return Reallocate(in_pAllocator, uNewReserve);
    }

    bool Reallocate(ZV::IPluginMemAlloc* in_pAllocator, uint32_t in_uNewReserve) {
        ZV_CHECK("ZvArray", in_pAllocator != NULL);
        if (in_pAllocator == nullptr || in_uNewReserve > kMaxItems) {
            return false;
        }
        T* pNewItems = static_cast<T*>(in_pAllocator->Malloc(sizeof(T) * in_uNewReserve));
        if (pNewItems == nullptr) {
            return false;
        }
        if (m_uLength != 0) {
            memcpy(static_cast<void*>(pNewItems), m_pItems, sizeof(T) * m_uLength);
        }
        if (m_pItems != nullptr) {
            in_pAllocator->Free(m_pItems);
        }
        m_pItems = pNewItems;
        m_uReserved = in_uNewReserve;
        return true;
    }

    T* m_pItems = nullptr;
    uint32_t m_uLength = 0;
    uint32_t m_uReserved = 0;
};
