// The sample ring's rule at its plainest, for the ring's model tests and its fuzzer to hold it
// against: storage of `capacity` bytes, each whole writer frame copied byte after byte at the
// write position (which wraps at the end), the free count dropping by what was copied, and a
// write that copies more than is free leaving the ring full with the read position at the write
// position. A read takes its bytes only when the ring holds them all. The frame sizes follow the
// two formats: decided together once both have a frame count (the channels times the block
// align of each, or 0 for both when either is not 32 bits per sample), kept as they were while
// either has none; the ring does nothing while either size is 0. Setting the reader format also
// rewinds both positions.
#pragma once

#include <stdint.h>

#include <algorithm>
#include <vector>

#include "RingFormat.h"

namespace testing_support {

class ReferenceRing {
public:
    // An unusable ring (no storage: a capacity of 0 or a failed set-up) does nothing at all.
    explicit ReferenceRing(uint32_t in_uCapacity, bool in_bUsable = true)
        : m_storage(in_bUsable ? in_uCapacity : 0, 0),
          m_uCapacity(in_bUsable ? in_uCapacity : 0),
          m_uFree(m_uCapacity) {}

    bool Usable() const { return m_uCapacity != 0; }

    void SetReaderFormat(const RingFormat& in_format) {
        if (!Usable()) {
            return;
        }
        m_reader = in_format;
        m_uReadPos = 0;
        m_uWritePos = 0;
        UpdateFrameSizes();
    }
    void SetWriterFormat(const RingFormat& in_format) {
        if (!Usable()) {
            return;
        }
        m_writer = in_format;
        UpdateFrameSizes();
    }

    void Write(const uint8_t* in_pBytes, uint32_t in_uCount) {
        if (!Configured() || in_pBytes == nullptr) {
            return;
        }
        const uint32_t uFrames = in_uCount / m_uWriterFrameBytes;
        for (uint32_t uFrame = 0; uFrame < uFrames; ++uFrame) {
            for (uint32_t b = 0; b < m_uWriterFrameBytes; ++b) {
                m_storage[m_uWritePos] = in_pBytes[uFrame * m_uWriterFrameBytes + b];
                m_uWritePos = (m_uWritePos + 1) % m_uCapacity;
            }
        }
        const uint64_t uCopied = uint64_t{uFrames} * m_uWriterFrameBytes;
        if (uCopied > m_uFree) {
            m_uReadPos = m_uWritePos;
            m_uFree = 0;
        } else {
            m_uFree -= static_cast<uint32_t>(uCopied);
        }
    }
    // The in-place write of in_uFrames writer frames whose bytes are in_pFrames: false, and
    // nothing done, unless the ring is configured and both its capacity and its write position
    // are whole writer frames; otherwise the bytes written as Write writes them.
    bool WriteFrames(const uint8_t* in_pFrames, uint32_t in_uFrames) {
        if (!Configured() || m_uCapacity % m_uWriterFrameBytes != 0 ||
            m_uWritePos % m_uWriterFrameBytes != 0) {
            return false;
        }
        Write(in_pFrames, in_uFrames * m_uWriterFrameBytes);
        return true;
    }
    void Write(const std::vector<uint8_t>& in_bytes) {
        Write(in_bytes.data(), static_cast<uint32_t>(in_bytes.size()));
    }

    // True, and out_bytes filled, when the ring held in_uCount bytes and gave them.
    bool Read(uint32_t in_uCount, std::vector<uint8_t>& out_bytes) {
        if (!Configured() || in_uCount > m_uCapacity - m_uFree) {
            return false;
        }
        out_bytes.resize(in_uCount);
        for (uint32_t b = 0; b < in_uCount; ++b) {
            out_bytes[b] = m_storage[m_uReadPos];
            m_uReadPos = (m_uReadPos + 1) % m_uCapacity;
        }
        m_uFree += in_uCount;
        return true;
    }

    void Reset() {
        if (!Usable()) {
            return;
        }
        std::fill(m_storage.begin(), m_storage.end(), 0);
        m_uReadPos = m_uWritePos = 0;
        m_uFree = m_uCapacity;
    }

    uint32_t Free() const { return m_uFree; }
    uint32_t Available() const { return m_uCapacity - m_uFree; }
    uint32_t WriterFrameBytes() const { return m_uWriterFrameBytes; }
    bool Configured() const {
        return Usable() && m_uWriterFrameBytes != 0 && m_uReaderFrameBytes != 0;
    }

private:
    void UpdateFrameSizes() {
        if (m_writer.uNumFrames == 0 || m_reader.uNumFrames == 0) {
            return;
        }
        if (m_writer.uBitsPerSample == 32 && m_reader.uBitsPerSample == 32) {
            m_uWriterFrameBytes = uint32_t{m_writer.uNumChannels} * m_writer.uBlockAlign;
            m_uReaderFrameBytes = uint32_t{m_reader.uNumChannels} * m_reader.uBlockAlign;
        } else {
            m_uWriterFrameBytes = 0;
            m_uReaderFrameBytes = 0;
        }
    }

    std::vector<uint8_t> m_storage;
    uint32_t m_uCapacity;
    uint32_t m_uReadPos = 0;
    uint32_t m_uWritePos = 0;
    uint32_t m_uFree;
    RingFormat m_writer = {};
    RingFormat m_reader = {};
    uint32_t m_uWriterFrameBytes = 0;
    uint32_t m_uReaderFrameBytes = 0;
};

}  // namespace testing_support
