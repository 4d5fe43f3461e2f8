// Date serials and time values: conversions between the runtime's integers and
// their calendar parts.
#include "runtime/date_time.h"

namespace sk::rt {
namespace {

// Days before each month in a common year.
constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr int kMonthLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr std::int32_t kFirstDateOf1901 = 36528;

}  // namespace

bool is_leap_year(int year) {
    // The serial range runs from 1801 to 2099, where the only century year that is
    // not a leap year is 1900; 1800 and 2100 never occur.
    return year % 4 == 0 && year != 1900 && year != 1800 && year != 2100;
}

int days_in_month(int year, int month) {
    if (month < 1 || month > 12) return 0;
    if (month == 2 && is_leap_year(year)) return 29;
    return kMonthLength[month - 1];
}

bool date_to_serial(int year, int month, int day, std::int32_t* serial) {
    if (year < 100) year += 1900;
    if (year <= 1800 || year >= 2100) return false;
    if (month < 1 || month > 12) return false;
    if (day < 1 || day > days_in_month(year, month)) return false;
    std::int32_t s = (year - 1801) * 1461 / 4 + kDaysBefore[month - 1] + day + 2;
    // The four-year cycle counts 1900 as a leap year; the dates before 1901 make up
    // for it here.
    if (year < 1901) s += 1;
    if (month > 2 && is_leap_year(year)) s += 1;
    if (serial) *serial = s;
    return true;
}

bool serial_to_date(std::int32_t serial, DateParts* out) {
    if (serial < kFirstDate || serial > kLastDate) return false;
    std::int32_t a = serial - 3;
    if (serial < kFirstDateOf1901) a -= 1;
    const std::int32_t cycle = a / 1461;
    const std::int32_t in_cycle = a % 1461;
    int year;
    int day_of_year;
    if (in_cycle == 1460) {
        year = 1804 + 4 * cycle;
        day_of_year = 365;
    } else {
        year = 1801 + 4 * cycle + in_cycle / 365;
        day_of_year = in_cycle % 365;
    }
    int month = 1;
    while (month < 12 && day_of_year >= days_in_month(year, month)) {
        day_of_year -= days_in_month(year, month);
        ++month;
    }
    if (out) *out = DateParts{year, month, day_of_year + 1};
    return true;
}

std::int32_t time_value(int hour, int minute, int second, int hundredths) {
    if (hour == 0 && minute == 0 && second == 0 && hundredths == 0) return 0;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        hundredths < 0 || hundredths > 99)
        return 0;
    return hour * 360000 + minute * 6000 + second * 100 + hundredths + 1;
}

bool time_to_parts(std::int32_t value, TimeParts* out) {
    if (value < 1 || value > kLastTime) return false;
    std::int32_t v = value - 1;
    TimeParts p;
    p.hour = static_cast<int>(v / 360000);
    v %= 360000;
    p.minute = static_cast<int>(v / 6000);
    v %= 6000;
    p.second = static_cast<int>(v / 100);
    p.hundredths = static_cast<int>(v % 100);
    if (out) *out = p;
    return true;
}

int day_of_week(std::int32_t serial) {
    // Serial 4 (1 January 1801) was a Thursday, so the serial modulo 7 is the
    // weekday counted from Sunday.
    int r = static_cast<int>(serial % 7);
    return r < 0 ? r + 7 : r;
}

}  // namespace sk::rt
