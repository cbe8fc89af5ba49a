// A test that hands the test host's allocator to the code under test and checks, when it ends,
// that every block came back and nothing foreign was freed. Link zv_host to use it.
#pragma once

#include <gtest/gtest.h>

#include "AssertRecorder.h"
#include "HostAllocator.h"

namespace testing_support {

class HostAllocatorTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(0u, m_allocator.OutstandingBlocks()) << "blocks left in the host allocator";
        EXPECT_TRUE(m_allocator.Errors().empty()) << "a free of memory the host did not hand out";
    }

    host::HostAllocator m_allocator;
    AssertRecorder m_checks;
};

}  // namespace testing_support
