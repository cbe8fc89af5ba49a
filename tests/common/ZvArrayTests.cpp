// ZvArray in host-allocator memory: geometric growth, a failed growth that keeps the array
// intact, removal by moving the last item, and the index and storage checks.

#include <gtest/gtest.h>

#include <vector>

#include "HostAllocatorTest.h"
#include "ZvArray.h"

namespace {

class ZvArrayTest : public testing_support::HostAllocatorTest {
protected:
    void TearDown() override {
        m_array.Term(&m_allocator);
        HostAllocatorTest::TearDown();
    }

    std::vector<uint32_t> Items() const {
        return std::vector<uint32_t>(m_array.begin(), m_array.end());
    }

    ZvArray<uint32_t> m_array;
};

TEST_F(ZvArrayTest, GrowsGeometricallyAndKeepsEveryItem) {
    constexpr uint32_t kCount = 1000;
    for (uint32_t uItem = 0; uItem < kCount; ++uItem) {
        ASSERT_TRUE(m_array.AddLast(&m_allocator, uItem * 3u));
    }
    ASSERT_EQ(kCount, m_array.Length());
    for (uint32_t uItem = 0; uItem < kCount; ++uItem) {
        ASSERT_EQ(uItem * 3u, *m_array.At(uItem));
    }
    // Growing one item at a time would take a thousand allocations; doubling takes about ten.
    EXPECT_LE(m_allocator.MallocCalls(), 10u);
    EXPECT_GE(m_array.Reserved(), kCount);
    EXPECT_LT(m_array.Reserved(), 2 * kCount);
    EXPECT_EQ(1u, m_allocator.OutstandingBlocks());

    m_array.Term(&m_allocator);
    EXPECT_EQ(0u, m_array.Length());
    EXPECT_EQ(0u, m_allocator.OutstandingBlocks());
    EXPECT_TRUE(m_checks.Reports().empty());
}

TEST_F(ZvArrayTest, FailedGrowthKeepsTheArrayIntact) {
    // No storage yet: the first growth fails and the array stays empty.
    m_allocator.FailAllocation(1);
    EXPECT_FALSE(m_array.AddLast(&m_allocator, 1));
    EXPECT_EQ(0u, m_array.Length());
    EXPECT_EQ(0u, m_array.Reserved());

    uint32_t uItem = 0;
    while (m_array.Length() < m_array.Reserved() || m_array.Length() == 0) {
        ASSERT_TRUE(m_array.AddLast(&m_allocator, 100 + uItem++));
    }
    const std::vector<uint32_t> before = Items();
    const uint32_t uReserved = m_array.Reserved();

    m_allocator.FailAllocation(1);
    EXPECT_FALSE(m_array.AddLast(&m_allocator, 999));
    EXPECT_EQ(before, Items());
    EXPECT_EQ(uReserved, m_array.Reserved());
    m_allocator.FailAllocation(1);
    EXPECT_FALSE(m_array.Reserve(&m_allocator, uReserved + 1));
    EXPECT_EQ(uReserved, m_array.Reserved());
    EXPECT_EQ(before, Items());

    // The next growth succeeds and nothing was lost on the way.
    ASSERT_TRUE(m_array.AddLast(&m_allocator, 999));
    std::vector<uint32_t> expected = before;
    expected.push_back(999);
    EXPECT_EQ(expected, Items());
    EXPECT_EQ(1u, m_allocator.OutstandingBlocks());
    EXPECT_TRUE(m_checks.Reports().empty());
}

TEST_F(ZvArrayTest, EraseMovesTheLastItemIntoTheGap) {
    for (uint32_t uItem = 0; uItem < 5; ++uItem) {
        ASSERT_TRUE(m_array.AddLast(&m_allocator, uItem));
    }
    m_array.Erase(1);
    EXPECT_EQ((std::vector<uint32_t>{0, 4, 2, 3}), Items());
    m_array.Erase(3);
    EXPECT_EQ((std::vector<uint32_t>{0, 4, 2}), Items());
    m_array.Erase(0);
    EXPECT_EQ((std::vector<uint32_t>{2, 4}), Items());
    EXPECT_TRUE(m_checks.Reports().empty());

    m_array.Erase(2);
    EXPECT_EQ((std::vector<uint32_t>{2, 4}), Items());
    EXPECT_EQ(nullptr, m_array.At(2));
    ASSERT_EQ(2u, m_checks.Reports().size());
    EXPECT_TRUE(m_checks.Saw("in_uIndex < m_uLength", "ZvArray"));

    m_array.RemoveAll();
    EXPECT_TRUE(m_array.IsEmpty());
    EXPECT_EQ(1u, m_allocator.OutstandingBlocks());
}

TEST_F(ZvArrayTest, StorageNeedsTheAllocatorToGoBack) {
    ASSERT_TRUE(m_array.AddLast(&m_allocator, 7));
    m_array.Term(nullptr);
    EXPECT_TRUE(m_checks.Saw("in_pAllocator != NULL", "ZvArray"));
    EXPECT_EQ(7u, *m_array.At(0));

    // Growing needs the allocator too.
    while (m_array.Length() < m_array.Reserved()) {
        ASSERT_TRUE(m_array.AddLast(&m_allocator, 8));
    }
    const uint32_t uLength = m_array.Length();
    m_checks.Clear();
    EXPECT_FALSE(m_array.AddLast(nullptr, 9));
    EXPECT_EQ(uLength, m_array.Length());
    EXPECT_TRUE(m_checks.Saw("in_pAllocator != NULL", "ZvArray"));
    EXPECT_EQ(1u, m_allocator.OutstandingBlocks());
}

TEST(ZvArrayLeakTest, DestroyingAnArrayThatStillHoldsStorageIsReported) {
    testing_support::AssertRecorder checks;
    host::HostAllocator allocator;
    {
        ZvArray<uint64_t> array;
        ASSERT_TRUE(array.AddLast(&allocator, 1));
    }
    EXPECT_TRUE(checks.Saw("m_pItems == nullptr", "ZvArray"));
    // The storage is really lost to the array; the allocator gives it back when it goes.
    EXPECT_EQ(1u, allocator.OutstandingBlocks());
}

}  // namespace
