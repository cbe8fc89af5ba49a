// The ring against its reference model (ReferenceRing.h) on long random sequences of writes, reads
// and resets.

#include <gtest/gtest.h>

#include <stdint.h>

#include <random>
#include <vector>

#include "HostAllocatorTest.h"
#include "ReferenceRing.h"
#include "RingTestSupport.h"

namespace {

using ring_testing::HostRing;
using testing_support::ReferenceRing;

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
        ReferenceRing model(uCapacity);
        model.SetReaderFormat(format);
        model.SetWriterFormat(format);

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
