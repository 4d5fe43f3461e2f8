// Date serials and time values.
#include "runtime/date_time.h"

#include <gtest/gtest.h>

namespace sk::rt {
namespace {

TEST(DateTime, AnchorSerials) {
    std::int32_t s = 0;
    ASSERT_TRUE(date_to_serial(1801, 1, 1, &s));
    EXPECT_EQ(s, 4);
    ASSERT_TRUE(date_to_serial(1901, 1, 1, &s));
    EXPECT_EQ(s, 36528);
    ASSERT_TRUE(date_to_serial(2099, 12, 31, &s));
    EXPECT_EQ(s, 109211);
    ASSERT_TRUE(date_to_serial(1900, 12, 31, &s));
    EXPECT_EQ(s, 36527);
    ASSERT_TRUE(date_to_serial(2000, 3, 1, &s));
    std::int32_t feb29 = 0;
    ASSERT_TRUE(date_to_serial(2000, 2, 29, &feb29));
    EXPECT_EQ(s, feb29 + 1);
}

TEST(DateTime, EverySerialRoundTripsAndDaysAreConsecutive) {
    DateParts prev{1800, 12, 31};
    for (std::int32_t s = kFirstDate; s <= kLastDate; ++s) {
        DateParts p{};
        ASSERT_TRUE(serial_to_date(s, &p)) << s;
        std::int32_t back = 0;
        ASSERT_TRUE(date_to_serial(p.year, p.month, p.day, &back)) << s;
        ASSERT_EQ(back, s);
        // The day after prev, by the calendar alone.
        DateParts next = prev;
        if (++next.day > days_in_month(next.year, next.month)) {
            next.day = 1;
            if (++next.month > 12) next.month = 1, ++next.year;
        }
        ASSERT_EQ(p.year, next.year) << s;
        ASSERT_EQ(p.month, next.month) << s;
        ASSERT_EQ(p.day, next.day) << s;
        prev = p;
    }
}

TEST(DateTime, LeapYearsAndInvalidDates) {
    std::int32_t s = 0;
    EXPECT_FALSE(date_to_serial(1900, 2, 29, &s));
    EXPECT_TRUE(date_to_serial(2000, 2, 29, &s));
    EXPECT_TRUE(date_to_serial(1804, 2, 29, &s));
    EXPECT_FALSE(date_to_serial(1803, 2, 29, &s));
    EXPECT_FALSE(date_to_serial(1800, 12, 31, &s));
    EXPECT_FALSE(date_to_serial(2100, 1, 1, &s));
    EXPECT_FALSE(date_to_serial(2000, 13, 1, &s));
    EXPECT_FALSE(date_to_serial(2000, 4, 31, &s));
    EXPECT_FALSE(date_to_serial(2000, 1, 0, &s));
    std::int32_t two_digit = 0, full = 0;
    ASSERT_TRUE(date_to_serial(24, 3, 7, &two_digit));
    ASSERT_TRUE(date_to_serial(1924, 3, 7, &full));
    EXPECT_EQ(two_digit, full);
    DateParts p{};
    EXPECT_FALSE(serial_to_date(3, &p));
    EXPECT_FALSE(serial_to_date(109212, &p));
    EXPECT_FALSE(serial_to_date(-5, &p));
}

TEST(DateTime, DayOfWeek) {
    EXPECT_EQ(day_of_week(4), 4);      // Thursday 1 January 1801
    EXPECT_EQ(day_of_week(36528), 2);  // Tuesday 1 January 1901
    std::int32_t s = 0;
    ASSERT_TRUE(date_to_serial(2024, 3, 7, &s));
    EXPECT_EQ(day_of_week(s), 4);      // a Thursday
    EXPECT_EQ(day_of_week(-1), 6);
}

TEST(DateTime, TimeValues) {
    EXPECT_EQ(time_value(0, 0, 0, 0), 0);
    EXPECT_EQ(time_value(0, 0, 0, 1), 2);
    EXPECT_EQ(time_value(12, 0, 0, 0), 12 * 360000 + 1);
    EXPECT_EQ(time_value(23, 59, 59, 99), 8640000);
    EXPECT_EQ(time_value(24, 0, 0, 0), 0);
    EXPECT_EQ(time_value(1, 60, 0, 0), 0);
    TimeParts t{};
    ASSERT_TRUE(time_to_parts(time_value(13, 5, 7, 42), &t));
    EXPECT_EQ(t.hour, 13);
    EXPECT_EQ(t.minute, 5);
    EXPECT_EQ(t.second, 7);
    EXPECT_EQ(t.hundredths, 42);
    ASSERT_TRUE(time_to_parts(1, &t));
    EXPECT_EQ(t.hour + t.minute + t.second + t.hundredths, 0);
    EXPECT_FALSE(time_to_parts(0, &t));
    EXPECT_FALSE(time_to_parts(8640001, &t));
}

}  // namespace
}  // namespace sk::rt
