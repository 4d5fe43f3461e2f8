// The clock: monotonic ticks and the local date and time, with a test override.
#include "platform/clock.h"

#include <ctime>
#include <mutex>
#include <optional>

namespace sk::platform {

namespace {

std::mutex g_override_mutex;
std::optional<LocalTime> g_override;  // guarded by g_override_mutex

}  // namespace

LocalTime local_time() {
    {
        std::lock_guard<std::mutex> guard(g_override_mutex);
        if (g_override) return *g_override;
    }
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct tm parts {};
    time_t seconds = now.tv_sec;
    if (::localtime_r(&seconds, &parts) == nullptr) {
        // Cannot happen for a time the system clock gives; keep a valid date anyway.
        return LocalTime{1970, 1, 1, 0, 0, 0, 0, 4};
    }
    LocalTime t{};
    t.year = parts.tm_year + 1900;
    t.month = parts.tm_mon + 1;
    t.day = parts.tm_mday;
    t.hour = parts.tm_hour;
    t.minute = parts.tm_min;
    // A leap second reads as the last second of its minute.
    t.second = parts.tm_sec > 59 ? 59 : parts.tm_sec;
    t.hundredths = static_cast<int>(now.tv_nsec / 10'000'000);
    t.day_of_week = parts.tm_wday;
    return t;
}

// Wraps around after about 497 days, like the system's own tick count; callers
// compare ticks by unsigned difference.
std::uint32_t tick_hundredths() {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    auto ticks = static_cast<std::uint64_t>(now.tv_sec) * 100u + static_cast<std::uint64_t>(now.tv_nsec) / 10'000'000u;
    return static_cast<std::uint32_t>(ticks);
}

void set_clock_override(const LocalTime* fixed) {
    std::lock_guard<std::mutex> guard(g_override_mutex);
    if (fixed) g_override = *fixed;
    else g_override.reset();
}

}  // namespace sk::platform
