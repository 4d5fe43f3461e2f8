// The clock: monotonic ticks, local time, and the test override.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <ctime>
#include <unistd.h>

using namespace sk::platform;

TEST(Clock, TicksAdvanceInHundredths) {
    std::uint32_t start = tick_hundredths();
    ::usleep(120'000);
    std::uint32_t elapsed = tick_hundredths() - start;
    EXPECT_GE(elapsed, 11u);
    EXPECT_LT(elapsed, 200u);
}

TEST(Clock, LocalTimeMatchesTheSystemClock) {
    std::time_t before = std::time(nullptr);
    LocalTime t = local_time();
    std::tm parts {};
    localtime_r(&before, &parts);
    EXPECT_EQ(t.year, parts.tm_year + 1900);
    EXPECT_EQ(t.month, parts.tm_mon + 1);
    EXPECT_EQ(t.day_of_week, parts.tm_wday);
    EXPECT_GE(t.hundredths, 0);
    EXPECT_LE(t.hundredths, 99);
    EXPECT_GE(t.second, 0);
    EXPECT_LE(t.second, 59);
    int seconds_now = t.hour * 3600 + t.minute * 60 + t.second;
    int seconds_then = parts.tm_hour * 3600 + parts.tm_min * 60 + parts.tm_sec;
    EXPECT_LE(seconds_now - seconds_then, 2);
}

TEST(Clock, OverrideFreezesLocalTimeUntilCleared) {
    LocalTime fixed{1999, 12, 31, 23, 59, 58, 42, 5};
    set_clock_override(&fixed);
    fixed.year = 2000;  // the override holds a copy
    ::usleep(20'000);
    LocalTime t = local_time();
    EXPECT_EQ(t.year, 1999);
    EXPECT_EQ(t.hundredths, 42);
    EXPECT_EQ(t.day_of_week, 5);
    set_clock_override(nullptr);
    EXPECT_GT(local_time().year, 2000);
}
