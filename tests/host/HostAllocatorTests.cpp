// The test host's allocator: counting, foreign frees and injected failures.

#include <gtest/gtest.h>

#include "HostAllocator.h"

namespace {

TEST(HostAllocatorTest, CountsOutstandingBlocksAndBytes) {
    host::HostAllocator allocator;
    void* pFirst = allocator.Malloc(10);
    void* pSecond = allocator.Malloc(20);
    EXPECT_EQ(2u, allocator.OutstandingBlocks());
    EXPECT_EQ(30u, allocator.OutstandingBytes());
    allocator.Free(pFirst);
    allocator.Free(pSecond);
    allocator.Free(nullptr);
    EXPECT_EQ(0u, allocator.OutstandingBlocks());
    EXPECT_EQ(0u, allocator.OutstandingBytes());
    EXPECT_TRUE(allocator.Errors().empty());
}

TEST(HostAllocatorTest, CatchesDoubleAndForeignFrees) {
    host::HostAllocator allocator;
    void* pBlock = allocator.Malloc(8);
    allocator.Free(pBlock);
    allocator.Free(pBlock);
    int iOnStack = 0;
    allocator.Free(&iOnStack);
    EXPECT_EQ(2u, allocator.Errors().size());
}

TEST(HostAllocatorTest, FailsTheNthAllocationOnly) {
    host::HostAllocator allocator;
    allocator.FailAllocation(2);
    void* pFirst = allocator.Malloc(4);
    void* pSecond = allocator.Malloc(4);
    void* pThird = allocator.Malloc(4);
    EXPECT_NE(nullptr, pFirst);
    EXPECT_EQ(nullptr, pSecond);
    EXPECT_NE(nullptr, pThird);
    allocator.Free(pFirst);
    allocator.Free(pThird);
}

TEST(HostAllocatorTest, FailsEveryAllocationFromTheNthOn) {
    host::HostAllocator allocator;
    allocator.FailAllocationsFrom(1);
    EXPECT_EQ(nullptr, allocator.Malloc(4));
    EXPECT_EQ(nullptr, allocator.Malloc(4));
    allocator.FailAllocationsFrom(0);
    void* pBlock = allocator.Malloc(4);
    EXPECT_NE(nullptr, pBlock);
    allocator.Free(pBlock);
}

}  // namespace
