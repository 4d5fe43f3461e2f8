// Date serials and time values.
//
// A date is a day count: serial 4 is 1 January 1801, serial 36528 is 1 January
// 1901 and serial 109211 is 31 December 2099. Leap years are the years divisible
// by 4 except 1900 (2000 is one). A time is hundredths of a second since midnight
// plus 1, so 1 is midnight, 8640000 is 23:59:59.99 and 0 means "no time".
#pragma once

#include <cstdint>

namespace sk::rt {

inline constexpr std::int32_t kFirstDate = 4, kLastDate = 109211;
inline constexpr std::int32_t kLastTime = 8640000;

struct DateParts { int year, month, day; };
struct TimeParts { int hour, minute, second, hundredths; };

// A year below 100 is 1900 + year; otherwise it must lie in 1801..2099.
// Returns false (serial untouched) for an invalid year, month or day.
bool date_to_serial(int year, int month, int day, std::int32_t* serial);
// False outside 4..109211.
bool serial_to_date(std::int32_t serial, DateParts* out);
// hours * 360000 + minutes * 6000 + seconds * 100 + hundredths + 1; 0 when all
// four are zero. Fields out of range give 0 as well.
std::int32_t time_value(int hour, int minute, int second, int hundredths);
// False outside 1..8640000.
bool time_to_parts(std::int32_t value, TimeParts* out);
// 0 = Sunday. Serials outside the valid range are reduced the same way, so the
// result is always 0..6.
int day_of_week(std::int32_t serial);

// Helpers shared with the picture code.
bool is_leap_year(int year);
int days_in_month(int year, int month);  // 0 for a month outside 1..12

}  // namespace sk::rt
