// The clock: monotonic ticks in hundredths of a second and the local date and time.
#pragma once

#include <cstdint>

namespace sk::platform {

struct LocalTime {
    int year, month, day, hour, minute, second, hundredths, day_of_week;
};  // month 1-12, day_of_week 0 = Sunday

LocalTime local_time();           // current local date and time
std::uint32_t tick_hundredths();  // monotonic clock in hundredths of a second
// Tests: freeze local_time(); nullptr restores the real clock. The value is copied.
void set_clock_override(const LocalTime* fixed);

}  // namespace sk::platform
