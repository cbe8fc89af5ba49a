// The schedule of re-tries after a failed open: one second, then doubling, never more than eight.

#include <gtest/gtest.h>

#include <vector>

#include "RetrySchedule.h"

namespace {

// The gaps between tries when every try fails at the moment it is due.
std::vector<uint64_t> GapsOfFailingTries(RetrySchedule& io_schedule, uint64_t in_uStart,
                                         int in_iTries) {
    std::vector<uint64_t> gaps;
    uint64_t uNow = in_uStart;
    io_schedule.Failed(uNow);
    for (int i = 0; i < in_iTries; ++i) {
        const uint64_t uDue = io_schedule.DueMilliseconds();
        EXPECT_FALSE(io_schedule.Due(uDue - 1)) << "try " << i << " is early";
        EXPECT_TRUE(io_schedule.Due(uDue)) << "try " << i << " is late";
        gaps.push_back(uDue - uNow);
        uNow = uDue;
        io_schedule.Failed(uNow);
    }
    return gaps;
}

TEST(RetryScheduleTest, DoublesFromOneSecondUpToEightAndStartsOverAfterASuccess) {
    RetrySchedule schedule;
    EXPECT_FALSE(schedule.Pending());
    EXPECT_FALSE(schedule.Due(UINT64_MAX)) << "nothing failed, nothing to try";

    const std::vector<uint64_t> expected = {1000, 2000, 4000, 8000, 8000, 8000};
    EXPECT_EQ(expected, GapsOfFailingTries(schedule, 5, 6));
    EXPECT_EQ(7u, schedule.Failures());

    schedule.Succeeded();
    EXPECT_FALSE(schedule.Pending());
    EXPECT_FALSE(schedule.Due(UINT64_MAX));
    EXPECT_EQ(7u, schedule.Failures()) << "the count of failures is kept";

    // The next loss starts again from one second.
    EXPECT_EQ((std::vector<uint64_t>{1000, 2000}), GapsOfFailingTries(schedule, 100000, 2));
}

}  // namespace
