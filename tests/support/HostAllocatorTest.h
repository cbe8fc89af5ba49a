// A test that hands plug-in code the test host's allocator, on the stand-in platform, and ends by
// checking that every block came back and nothing was freed twice or from elsewhere. The checks
// that plug-in code reports during the test are recorded in m_checks.
#pragma once

#include <gtest/gtest.h>

#include "AssertRecorder.h"
#include "HostAllocator.h"
#include "StandinFixture.h"

namespace testing_support {

class HostAllocatorTest : public StandinTest {
protected:
    void TearDown() override {
        EXPECT_EQ(0u, m_allocator.OutstandingBlocks()) << "host blocks leaked";
        EXPECT_TRUE(m_allocator.Errors().empty()) << "bad frees of host memory";
        StandinTest::TearDown();
    }

    host::HostAllocator m_allocator;
    AssertRecorder m_checks;
};

}  // namespace testing_support
