// A mixer's per-input data, keyed by the host's input context.
//
// The map owns the user data: AddInput constructs a T_USERDATA in host-allocator memory,
// RemoveInput and Term destroy and free it. Lookup is a linear search (a bus has few inputs);
// removal moves the last entry into the gap, so the order of the entries is not kept. Init must
// give the map its allocator before anything else; a map used without one reports it and does
// nothing.
//
// Threads: used on the host's audio thread only.
#pragma once

#include <stdint.h>

#include <new>
#include <type_traits>

#include "AssertHook.h"
#include "ZvArray.h"
#include "ZvHostEngine.h"

template <typename T_USERDATA>
class ZvMixerInputMap {
    static_assert(std::is_default_constructible<T_USERDATA>::value, "user data starts fresh");

public:
    struct Entry {
        ZV::IMixerInputContext* pContext;
        T_USERDATA* pUserData;
    };

    ZvMixerInputMap() = default;
    ZvMixerInputMap(const ZvMixerInputMap&) = delete;
    ZvMixerInputMap& operator=(const ZvMixerInputMap&) = delete;

    void Init(ZV::IPluginMemAlloc* in_pAllocator) { m_pAllocator = in_pAllocator; }

    uint32_t Length() const { return m_entries.Length(); }
    Entry* begin() { return m_entries.begin(); }
    Entry* end() { return m_entries.end(); }
    const Entry* begin() const { return m_entries.begin(); }
    const Entry* end() const { return m_entries.end(); }

    // The data of in_pContext, or null when the map has none.
    T_USERDATA* Exists(const ZV::IMixerInputContext* in_pContext) const {
        const Entry* pEntry = FindEntry(in_pContext);
        return pEntry != nullptr ? pEntry->pUserData : nullptr;
    }

    // The data of in_pContext, made fresh (value-initialised) when the map has none. Null when
    // the data or the map's storage cannot be allocated; nothing is then kept.
    T_USERDATA* AddInput(ZV::IMixerInputContext* in_pContext) {
        if (!HasAllocator()) {
            return nullptr;
        }
        if (T_USERDATA* pExisting = Exists(in_pContext)) {
            return pExisting;
        }
        void* pMemory = m_pAllocator->Malloc(sizeof(T_USERDATA));
        if (pMemory == nullptr) {
            return nullptr;
        }
        T_USERDATA* pUserData = new (pMemory) T_USERDATA();
        if (!m_entries.AddLast(m_pAllocator, Entry{in_pContext, pUserData})) {
            Destroy(pUserData);
            return nullptr;
        }
        return pUserData;
    }

    // Frees the data of in_pContext and forgets the input; an unknown input changes nothing.
    void RemoveInput(const ZV::IMixerInputContext* in_pContext) {
        if (!HasAllocator()) {
            return;
        }
        Entry* pEntry = FindEntry(in_pContext);
        if (pEntry == nullptr) {
            return;
        }
        Destroy(pEntry->pUserData);
        m_entries.Erase(static_cast<uint32_t>(pEntry - m_entries.begin()));
    }

    // Frees every input's data and the map's storage. The map can be used again afterwards.
    void Term() {
        if (!HasAllocator()) {
            return;
        }
        for (Entry& entry : m_entries) {
            Destroy(entry.pUserData);
        }
        m_entries.Term(m_pAllocator);
    }

private:
    bool HasAllocator() const {
        // clang-format off
        ZV_CHECK("ZvMixerInputMap", m_pAllocator || !"Allocator not set. Did you forget to call ZvMixerInputMap::Init()?");
        // clang-format on
        return m_pAllocator != nullptr;
    }

    const Entry* FindEntry(const ZV::IMixerInputContext* in_pContext) const {
        for (const Entry& entry : m_entries) {
            if (entry.pContext == in_pContext) {
                return &entry;
            }
        }
        return nullptr;
    }
    Entry* FindEntry(const ZV::IMixerInputContext* in_pContext) {
        return const_cast<Entry*>(
            static_cast<const ZvMixerInputMap*>(this)->FindEntry(in_pContext));
    }

    void Destroy(T_USERDATA* in_pUserData) {
        if (in_pUserData != nullptr) {
            in_pUserData->~T_USERDATA();
            m_pAllocator->Free(in_pUserData);
        }
    }

    ZV::IPluginMemAlloc* m_pAllocator = nullptr;
    ZvArray<Entry> m_entries;
};
