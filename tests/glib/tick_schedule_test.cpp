// SPDX-License-Identifier: MIT
#include "Lintara/platform/glib/TickSchedule.hpp"

#include <gtest/gtest.h>

using lintara::glib::TickSchedule;

namespace {
constexpr std::int64_t second = 1'000'000;
constexpr std::int64_t start = 5 * second + 123;
} // namespace

TEST(TickSchedule, LateFiringsDoNotPushBackTheGrid)
{
    TickSchedule schedule(start, second);
    EXPECT_EQ(schedule.due(), start + second);
    EXPECT_FALSE(schedule.isDue(start + second - 1));
    EXPECT_TRUE(schedule.isDue(start + second));

    // 300 ms late: the next one is still due on the grid, 700 ms later.
    schedule.fired(start + second + 300'000);
    EXPECT_EQ(schedule.due(), start + 2 * second);
    // On time, to the microsecond: the next is one interval on.
    schedule.fired(start + 2 * second);
    EXPECT_EQ(schedule.due(), start + 3 * second);
    // A thousand firings, each a little late, end exactly on the grid.
    for (std::int64_t n = 3; n < 1003; ++n) {
        schedule.fired(start + n * second + 999'000);
    }
    EXPECT_EQ(schedule.due(), start + 1003 * second);
}

TEST(TickSchedule, AFiringHeldUpForSeveralIntervalsCatchesUpOnce)
{
    TickSchedule schedule(start, second);
    // Nothing fired for 9.5 s (a dialog was open): one firing, then back on
    // the grid at 10 s, not a burst of nine.
    ASSERT_TRUE(schedule.isDue(start + 9 * second + 500'000));
    schedule.fired(start + 9 * second + 500'000);
    EXPECT_EQ(schedule.due(), start + 10 * second);
    EXPECT_FALSE(schedule.isDue(start + 9 * second + 500'001));
}

TEST(TickSchedule, SleepsNeverWakeEarly)
{
    TickSchedule schedule(start, second);
    EXPECT_EQ(schedule.millisUntilDue(start), 1000);
    EXPECT_EQ(schedule.millisUntilDue(start + second - 1), 1); // 1 µs left still waits 1 ms
    EXPECT_EQ(schedule.millisUntilDue(start + second - 1000), 1);
    EXPECT_EQ(schedule.millisUntilDue(start + second - 1001), 2);
    EXPECT_EQ(schedule.millisUntilDue(start + second), 0);
    EXPECT_EQ(schedule.millisUntilDue(start + 50 * second), 0);
}

TEST(TickSchedule, OddIntervalsAndABackwardClock)
{
    TickSchedule schedule(0, 250'000);
    schedule.fired(1'000'001);
    EXPECT_EQ(schedule.due(), 1'250'000);
    // A reading before the start cannot come from a monotonic clock; it
    // leaves the schedule where it was instead of moving it back.
    schedule.fired(-5);
    EXPECT_EQ(schedule.due(), 1'250'000);
    // A zero interval would divide by zero; it is taken as one microsecond.
    TickSchedule tiny(0, 0);
    tiny.fired(10);
    EXPECT_EQ(tiny.due(), 11);
}
