// What the ring tests share: a ring in host memory, byte patterns and a frame-by-frame reference.
#pragma once

#include <gtest/gtest.h>

#include <stdint.h>

#include <vector>

#include "CBuffer.h"
#include "HostMemory.h"

namespace ring_testing {

constexpr const char* kSinkReport = "!\"ISAC CirBuffer InitFailed.\"";

// A CBuffer constructed in host memory, as its owners make it, and destroyed with it.
class HostRing {
public:
    HostRing(ZV::IPluginMemAlloc& io_allocator, uint32_t in_uCapacity,
             const char* in_pszReport = kSinkReport)
        : m_rAllocator(io_allocator),
          m_pRing(HostNew<CBuffer>(&io_allocator, in_uCapacity, &io_allocator, in_pszReport)) {}
    ~HostRing() { HostDelete(&m_rAllocator, m_pRing); }
    HostRing(const HostRing&) = delete;
    HostRing& operator=(const HostRing&) = delete;

    CBuffer* Get() const { return m_pRing; }
    CBuffer* operator->() const { return m_pRing; }
    CBuffer& operator*() const { return *m_pRing; }

    // Both sides with in_uChannels 4-byte, 32-bit samples per frame.
    void SetFormats(uint16_t in_uChannels, uint16_t in_uWriterFrames = 256,
                    uint16_t in_uReaderFrames = 480) const {
        m_pRing->SetReaderFormat(RingFormat::Float32(in_uChannels, in_uReaderFrames));
        m_pRing->SetWriterFormat(RingFormat::Float32(in_uChannels, in_uWriterFrames));
    }

private:
    ZV::IPluginMemAlloc& m_rAllocator;
    CBuffer* m_pRing;
};

// Bytes in_uFirst, in_uFirst + 1, ... (mod 256).
inline std::vector<uint8_t> Counting(uint32_t in_uCount, uint32_t in_uFirst = 1) {
    std::vector<uint8_t> bytes(in_uCount);
    for (uint32_t i = 0; i < in_uCount; ++i) {
        bytes[i] = static_cast<uint8_t>(in_uFirst + i);
    }
    return bytes;
}

// Reads in_uCount bytes; an empty vector when the ring refuses the read.
inline std::vector<uint8_t> ReadBytes(CBuffer& io_ring, uint32_t in_uCount) {
    std::vector<uint8_t> bytes(in_uCount);
    if (!io_ring.Read(in_uCount, bytes.data())) {
        return {};
    }
    return bytes;
}

}  // namespace ring_testing
