// Objects and buffers in host-allocator memory. Every engine-side allocation of a plug-in comes
// from the host's allocator: objects are constructed in its memory with placement new and destroyed
// by their destructor followed by Free. Sizes handed to the host are checked to fit in 32 bits.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <new>
#include <utility>

#include "ZvHostEngine.h"

// Constructs a T in memory from in_pAllocator. Null when the allocator is null or gives nothing.
template <typename T, typename... Args>
T* HostNew(ZV::IPluginMemAlloc* in_pAllocator, Args&&... in_args) {
    static_assert(alignof(T) <= alignof(max_align_t), "the host allocator aligns like malloc");
    if (in_pAllocator == nullptr) {
        return nullptr;
    }
    void* pMemory = in_pAllocator->Malloc(sizeof(T));
    if (pMemory == nullptr) {
        return nullptr;
    }
    return new (pMemory) T(std::forward<Args>(in_args)...);
}

// Destroys an object made by HostNew and gives its memory back. in_pObject must point at the whole
// object (its most derived type or a base at offset 0); null does nothing.
template <typename T>
void HostDelete(ZV::IPluginMemAlloc* in_pAllocator, T* in_pObject) {
    if (in_pObject == nullptr) {
        return;
    }
    in_pObject->~T();
    in_pAllocator->Free(in_pObject);
}

// The product of the factors, computed in 64 bits. False (and out_uSize 0) when it does not fit in
// 32 bits; a negative factor never fits.
template <typename... Factors>
bool SizeProduct32(uint32_t& out_uSize, Factors... in_factors) {
    static_assert(sizeof...(Factors) > 0, "at least one factor");
    const int64_t aiFactors[] = {static_cast<int64_t>(in_factors)...};
    out_uSize = 0;
    bool bZero = false;
    for (const int64_t iFactor : aiFactors) {
        if (iFactor < 0 || iFactor > int64_t{UINT32_MAX}) {
            return false;
        }
        bZero = bZero || iFactor == 0;
    }
    if (bZero) {
        return true;
    }
    uint64_t uProduct = 1;
    for (const int64_t iFactor : aiFactors) {
        // Both operands are below 2^32, so the product cannot wrap 64 bits.
        uProduct *= static_cast<uint64_t>(iFactor);
        if (uProduct > UINT32_MAX) {
            return false;
        }
    }
    out_uSize = static_cast<uint32_t>(uProduct);
    return true;
}

// in_uBytes of zeroed memory from in_pAllocator (the host hands out memory with any content), or
// null.
inline void* HostAllocateZeroed(ZV::IPluginMemAlloc* in_pAllocator, uint32_t in_uBytes) {
    if (in_pAllocator == nullptr) {
        return nullptr;
    }
    void* pMemory = in_pAllocator->Malloc(in_uBytes);
    if (pMemory != nullptr) {
        memset(pMemory, 0, in_uBytes);
    }
    return pMemory;
}
