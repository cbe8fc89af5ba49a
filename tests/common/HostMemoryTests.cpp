// Objects and buffers in host-allocator memory, and sizes checked to fit in 32 bits.

#include <gtest/gtest.h>

#include <stdint.h>

#include <vector>

#include "HostAllocatorTest.h"
#include "HostMemory.h"

namespace {

class HostMemoryTest : public testing_support::HostAllocatorTest {};

// Records its construction and destruction.
class Tracked {
public:
    Tracked(int in_iValue, std::vector<int>& io_events)
        : m_iValue(in_iValue), m_rEvents(io_events) {
        m_rEvents.push_back(in_iValue);
    }
    ~Tracked() { m_rEvents.push_back(-m_iValue); }
    int m_iValue;

private:
    std::vector<int>& m_rEvents;
};

TEST_F(HostMemoryTest, ObjectsAreConstructedInHostMemoryAndDestroyedBeforeItIsFreed) {
    std::vector<int> events;
    Tracked* pObject = HostNew<Tracked>(&m_allocator, 7, events);
    ASSERT_NE(nullptr, pObject);
    EXPECT_EQ(7, pObject->m_iValue);
    EXPECT_EQ(1u, m_allocator.OutstandingBlocks());
    EXPECT_EQ(sizeof(Tracked), m_allocator.OutstandingBytes());
    HostDelete(&m_allocator, pObject);
    EXPECT_EQ((std::vector<int>{7, -7}), events);
    HostDelete<Tracked>(&m_allocator, nullptr);
    EXPECT_EQ(2u, events.size());
}

TEST_F(HostMemoryTest, NoObjectIsConstructedWithoutMemory) {
    std::vector<int> events;
    EXPECT_EQ(nullptr, HostNew<Tracked>(nullptr, 1, events));
    m_allocator.FailAllocation(1);
    EXPECT_EQ(nullptr, HostNew<Tracked>(&m_allocator, 2, events));
    EXPECT_TRUE(events.empty());
}

TEST_F(HostMemoryTest, ZeroedMemoryIsZeroed) {
    // The test host fills fresh blocks with a pattern.
    uint8_t* pBytes = static_cast<uint8_t*>(HostAllocateZeroed(&m_allocator, 64));
    ASSERT_NE(nullptr, pBytes);
    EXPECT_EQ(std::vector<uint8_t>(64, 0), std::vector<uint8_t>(pBytes, pBytes + 64));
    m_allocator.Free(pBytes);
    EXPECT_EQ(nullptr, HostAllocateZeroed(nullptr, 64));
}

TEST(SizeProduct32Test, ProductsThatFitIn32BitsAreComputedAndOthersFailCleanly) {
    uint32_t uSize = 123;
    EXPECT_TRUE(SizeProduct32(uSize, 12, 4, 1024));
    EXPECT_EQ(49152u, uSize);
    EXPECT_TRUE(SizeProduct32(uSize, 65535u, 65537u));
    EXPECT_EQ(UINT32_MAX, uSize);

    EXPECT_FALSE(SizeProduct32(uSize, 65536u, 65536u));
    EXPECT_EQ(0u, uSize) << "a failed product leaves no stale size behind";
    EXPECT_FALSE(SizeProduct32(uSize, uint64_t{1} << 32));
    EXPECT_FALSE(SizeProduct32(uSize, UINT64_MAX, 1));
    EXPECT_FALSE(SizeProduct32(uSize, 9, int32_t{-1}, 4)) << "a negative slot count";
    // Wraps in 32 bits to a small number; must not pass for one.
    EXPECT_FALSE(SizeProduct32(uSize, 0x10001u, 0x10000u, 2u));

    EXPECT_TRUE(SizeProduct32(uSize, 70000u, 0u, 70000u));
    EXPECT_EQ(0u, uSize);
}

}  // namespace
