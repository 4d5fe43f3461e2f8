// Window positions remembered between runs, one profile section per procedure.
//
// A section holds "Maximize" ("Yes" or "No") and the normal (not maximised)
// "XPosit", "YPosit", "Width" and "Height" of the procedure's window as plain
// decimal integers. The routines work on a plain description of the window; the
// window engine reads the window's properties into it and applies what comes back.
#pragma once

#include <cstddef>
#include <string_view>

namespace sk::app {

// The profile file every procedure passes.
inline constexpr std::string_view kPositionsFile = "LKDB32.INI";

// Section names are held in an 80-byte buffer: at most 79 characters are used.
inline constexpr std::size_t kSectionNameLimit = 79;

struct WindowPlacement {
    int x = 0;               // normal position and size, in the window's own units
    int y = 0;
    int width = 0;
    int height = 0;
    bool maximized = false;
    bool minimized = false;  // read by the save only
    bool resizable = true;   // a fixed-size window keeps its size on restore
};

// Saves the window's placement. The caller takes the window out of the maximised
// state first, so that x, y, width and height are those of the normal window, and
// passes whether it was maximised in `maximized`. A minimised window writes
// nothing, keeping the entries of its previous close. Returns whether the entries
// were written; write failures of the profile file are otherwise not reported.
bool SaveWindowPosition(std::string_view section, std::string_view ini_file,
                        const WindowPlacement& window);

// Applies the stored placement to *window, which holds the window as it was just
// opened. Without a stored horizontal position (missing or 0) nothing changes and
// the result is false. Otherwise the position and size are taken when the window
// is not maximised and the stored values are usable (a 0 leaves them as they were;
// a fixed-size window keeps its width and height), and `maximized` is set from
// "Maximize"; the result is true and the caller applies position, size and
// maximised state.
bool RestoreWindowPosition(std::string_view section, std::string_view ini_file,
                           WindowPlacement* window);

}  // namespace sk::app
