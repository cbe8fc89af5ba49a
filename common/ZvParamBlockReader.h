// Reads the fields of a parameter block from a sound bank: little-endian, unaligned, one after
// the other, never past the block's end.
//
// A field that the rest of the block does not hold whole is not read (the caller's value stays)
// and no later field is read either. Every field asked for counts against the block size all the
// same, so that UnaccountedBytes() is 0 exactly when the fields asked for fill the block: a short
// block and a long one both leave it non-zero. A null block is read as an empty one.
//
// Every platform the plug-ins run on is little-endian, so a field is its bytes copied as they are.
#pragma once

#include <stdint.h>
#include <string.h>

#include <type_traits>

class ZvParamBlockReader {
public:
    ZvParamBlockReader(const void* in_pBlock, uint32_t in_uBlockSize)
        : m_pNext(static_cast<const uint8_t*>(in_pBlock)),
          m_uBlockSize(in_pBlock != nullptr ? in_uBlockSize : 0),
          m_uLeft(m_uBlockSize),
          m_uCounted(0) {}

    // Copies the next sizeof(T) bytes into io_value and returns true when the block holds them.
    template <typename T>
    bool Read(T& io_value) {
        static_assert(std::is_trivially_copyable<T>::value, "fields are plain bytes");
        static_assert(sizeof(T) <= UINT32_MAX, "field size fits the block size");
        m_uCounted += static_cast<uint32_t>(sizeof(T));
        if (m_uLeft < sizeof(T)) {
            m_uLeft = 0;
            return false;
        }
        memcpy(&io_value, m_pNext, sizeof(T));
        m_pNext += sizeof(T);
        m_uLeft -= static_cast<uint32_t>(sizeof(T));
        return true;
    }

    // The block size minus the sizes of every field asked for, in unsigned 32-bit arithmetic.
    uint32_t UnaccountedBytes() const { return m_uBlockSize - m_uCounted; }

private:
    const uint8_t* m_pNext;
    uint32_t m_uBlockSize;
    uint32_t m_uLeft;
    uint32_t m_uCounted;
};
