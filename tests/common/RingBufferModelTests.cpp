// The ring against a reference model on long random sequences of writes, reads and resets. The
// model is the plain rule: each whole writer frame is copied byte after byte at the write position,
// which wraps at the end of the storage; the free count drops by what was copied, and a write that
// copies more than is free leaves the ring full with the read position at the write position.

#include <gtest/gtest.h>

#include <stdint.h>

#include <random>
#include <vector>

#include "HostAllocatorTest.h"
#include "RingTestSupport.h"

namespace {

using ring_testing::HostRing;

class ReferenceRing {
public:
    ReferenceRing(uint32_t in_uCapacity, uint32_t in_uFrameBytes)
        : m_storage(in_uCapacity, 0),
          m_uCapacity(in_uCapacity),
          m_uFrameBytes(in_uFrameBytes),
          m_uFree(in_uCapacity) {}

    void Write(const std::vector<uint8_t>& in_bytes) {
        const uint32_t uFrames = static_cast<uint32_t>(in_bytes.size()) / m_uFrameBytes;
        for (uint32_t uFrame = 0; uFrame < uFrames; ++uFrame) {
            for (uint32_t b = 0; b < m_uFrameBytes; ++b) {
                m_storage[m_uWritePos] = in_bytes[uFrame * m_uFrameBytes + b];
                m_uWritePos = (m_uWritePos + 1) % m_uCapacity;
            }
        }
        const uint64_t uCopied = uint64_t{uFrames} * m_uFrameBytes;
        if (uCopied > m_uFree) {
            m_uReadPos = m_uWritePos;
            m_uFree = 0;
        } else {
            m_uFree -= static_cast<uint32_t>(uCopied);
        }
    }

    bool Read(uint32_t in_uBytes, std::vector<uint8_t>& out_bytes) {
        if (in_uBytes > m_uCapacity - m_uFree) {
            return false;
        }
        out_bytes.resize(in_uBytes);
        for (uint32_t b = 0; b < in_uBytes; ++b) {
            out_bytes[b] = m_storage[m_uReadPos];
            m_uReadPos = (m_uReadPos + 1) % m_uCapacity;
        }
        m_uFree += in_uBytes;
        return true;
    }

    void Reset() {
        std::fill(m_storage.begin(), m_storage.end(), 0);
        m_uReadPos = m_uWritePos = 0;
        m_uFree = m_uCapacity;
    }

    uint32_t Free() const { return m_uFree; }

private:
    std::vector<uint8_t> m_storage;
    uint32_t m_uCapacity;
    uint32_t m_uFrameBytes;
    uint32_t m_uReadPos = 0;
    uint32_t m_uWritePos = 0;
    uint32_t m_uFree;
};

class RingBufferModelTest : public testing_support::HostAllocatorTest {};

TEST_F(RingBufferModelTest, LongRandomSequencesMatchTheFrameByFrameRule) {
    std::mt19937 random(20240611);
    for (int iRun = 0; iRun < 60; ++iRun) {
        const uint32_t uCapacity = std::uniform_int_distribution<uint32_t>(1, 96)(random);
        const uint16_t uChannels = std::uniform_int_distribution<uint16_t>(1, 3)(random);
        // Block aligns other than 4 make frame sizes that do not divide the capacity.
        const uint16_t uBlockAlign = std::uniform_int_distribution<uint16_t>(1, 4)(random);
        const uint32_t uFrameBytes = uint32_t{uChannels} * uBlockAlign;
        SCOPED_TRACE("capacity " + std::to_string(uCapacity) + ", frame " +
                     std::to_string(uFrameBytes));

        HostRing ring(m_allocator, uCapacity);
        RingFormat format = RingFormat::Float32(uChannels, 64);
        format.uBlockAlign = uBlockAlign;
        ring->SetReaderFormat(format);
        ring->SetWriterFormat(format);
        ReferenceRing model(uCapacity, uFrameBytes);

        uint8_t uNextByte = 0;
        for (int iStep = 0; iStep < 1500; ++iStep) {
            const int iAction = std::uniform_int_distribution<int>(0, 99)(random);
            if (iAction < 48) {
                // Writes from empty up to three capacities, often not whole frames.
                std::vector<uint8_t> bytes(
                    std::uniform_int_distribution<uint32_t>(0, 3 * uCapacity)(random));
                for (uint8_t& uByte : bytes) {
                    uByte = ++uNextByte;
                }
                ring->Write(static_cast<uint32_t>(bytes.size()), bytes.data());
                model.Write(bytes);
            } else if (iAction < 97) {
                const uint32_t uCount =
                    std::uniform_int_distribution<uint32_t>(0, uCapacity + 2)(random);
                std::vector<uint8_t> actual(uCount, 0xEE);
                std::vector<uint8_t> expected;
                const bool bExpected = model.Read(uCount, expected);
                ASSERT_EQ(bExpected, ring->Read(uCount, actual.data())) << "step " << iStep;
                if (bExpected) {
                    ASSERT_EQ(expected, actual) << "step " << iStep;
                } else {
                    ASSERT_EQ(std::vector<uint8_t>(uCount, 0xEE), actual) << "step " << iStep;
                }
            } else {
                ring->Reset();
                model.Reset();
            }
            ASSERT_EQ(model.Free(), ring->BytesFree()) << "step " << iStep;
            ASSERT_EQ(uCapacity - model.Free(), ring->BytesAvailable()) << "step " << iStep;
        }
    }
}

}  // namespace
