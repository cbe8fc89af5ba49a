// Owns a PROPVARIANT and what it points at: PropVariantClear runs when the holder is cleared or
// destroyed (a VT_BLOB's data is task memory, freed then).
#pragma once

#include <objbase.h>

class PropVariantHolder {
public:
    PropVariantHolder() { PropVariantInit(&m_value); }
    ~PropVariantHolder() { Clear(); }
    PropVariantHolder(const PropVariantHolder&) = delete;
    PropVariantHolder& operator=(const PropVariantHolder&) = delete;

    PROPVARIANT* Get() { return &m_value; }
    const PROPVARIANT* Get() const { return &m_value; }
    bool IsEmpty() const { return m_value.vt == VT_EMPTY; }

    // Holds a VT_BLOB of in_uBytes that owns in_pTaskMemory (CoTaskMemAlloc memory).
    void AttachBlob(void* in_pTaskMemory, ULONG in_uBytes) {
        Clear();
        m_value.vt = VT_BLOB;
        m_value.blob.cbSize = in_uBytes;
        m_value.blob.pBlobData = static_cast<BYTE*>(in_pTaskMemory);
    }

    void Clear() {
        if (m_value.vt != VT_EMPTY) {
            PropVariantClear(&m_value);
        }
        PropVariantInit(&m_value);
    }

private:
    PROPVARIANT m_value;
};
