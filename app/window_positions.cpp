// Saving and restoring window placements through the profile file.
#include "app/window_positions.h"

#include "platform/profile.h"

#include <algorithm>
#include <climits>
#include <string>

namespace sk::app {

namespace {

// Entry values are compared as 20-character fields.
constexpr std::size_t kValueLimit = 20;

std::string_view section_name(std::string_view section)
{
    return section.substr(0, std::min(section.size(), kSectionNameLimit));
}

// Converts an entry's text to a number and truncates it to an integer: blanks,
// an optional sign, decimal digits, and a fraction that is dropped. Text that is
// not a number reads as 0, and values beyond the integer range are held at its
// ends rather than overflowing.
int entry_number(std::string_view file, std::string_view section, std::string_view entry)
{
    const std::string text = sk::platform::read_profile_string(file, section, entry, "");
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

bool entry_says_yes(std::string_view file, std::string_view section, std::string_view entry)
{
    std::string text = sk::platform::read_profile_string(file, section, entry, "");
    if (text.size() > kValueLimit)
        text.resize(kValueLimit);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text == "Yes";
}

}  // namespace

bool SaveWindowPosition(std::string_view section_text, std::string_view ini_file,
                        const WindowPlacement& window)
{
    if (window.minimized)
        return false;
    const std::string_view section = section_name(section_text);
    using sk::platform::write_profile_string;
    write_profile_string(ini_file, section, "Maximize", window.maximized ? "Yes" : "No");
    write_profile_string(ini_file, section, "XPosit", std::to_string(window.x));
    write_profile_string(ini_file, section, "YPosit", std::to_string(window.y));
    write_profile_string(ini_file, section, "Width", std::to_string(window.width));
    write_profile_string(ini_file, section, "Height", std::to_string(window.height));
    return true;
}

bool RestoreWindowPosition(std::string_view section_text, std::string_view ini_file,
                           WindowPlacement* window)
{
    const std::string_view section = section_name(section_text);
    if (entry_number(ini_file, section, "XPosit") == 0)
        return false;

    if (!window->maximized) {
        [&] {
            const int x = entry_number(ini_file, section, "XPosit");
            if (x == 0)
                return;
            const int y = entry_number(ini_file, section, "YPosit");
            if (y == 0)
                return;
            int width = window->width;
            int height = window->height;
            if (window->resizable) {
                // A size that is not positive cannot be a window's; it reads
                // like a missing entry.
                width = entry_number(ini_file, section, "Width");
                if (width <= 0)
                    return;
                height = entry_number(ini_file, section, "Height");
                if (height <= 0)
                    return;
            }
            window->x = x;
            window->y = y;
            window->width = width;
            window->height = height;
        }();
    }

    window->maximized = entry_says_yes(ini_file, section, "Maximize");
    return true;
}

}  // namespace sk::app
