// The display: which backend shows the windows, the screen, the display clock and
// the small system services (clipboard, cursors, screen metrics, beep).
//
// The backend is chosen by SITEKEEPER_DISPLAY: "headless" keeps everything in memory
// (for tests; see headless.h), "sdl" (the default) shows the screen in an OS window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/display/colors.h"
#include "platform/display/font.h"
#include "platform/display/geometry.h"
#include "platform/display/message.h"
#include "platform/display/message_queue.h"
#include "platform/display/painter.h"
#include "platform/display/window.h"

namespace sk::platform::display {

enum class Backend { kHeadless, kSdl };

// The backend SITEKEEPER_DISPLAY asks for; an unknown value reads as the default.
Backend backend_from_environment();

// Opens the display with the backend from the environment. Returns false and sets
// last_system_error() when it cannot be opened (50 for a backend this build lacks).
bool open_display();
bool open_display(Backend backend, Size screen = Size{1024, 768});
// Destroys every window and queue and closes the backend.
void close_display();
bool is_display_open();
Backend display_backend();

// The display clock in milliseconds: the headless backend's virtual clock, otherwise
// monotonic time since the display opened. Timers, double clicks and the caret's
// blinking run on it.
std::uint64_t display_clock_ms();

struct ScreenMetrics {
    int width = 0;
    int height = 0;
    int dpi = 96;
    int caption_height = 18;
    int small_caption_height = 15;
    int border_width = 1;
    int dialog_frame_width = 3;
    int sizing_frame_width = 4;
    int menu_bar_height = 18;
    int scroll_bar_width = 16;
    int double_click_ms = 500;
    int double_click_distance = 4;  // pixels either way
    int caret_blink_ms = 530;
};
ScreenMetrics screen_metrics();

// Plain-text clipboard, UTF-8.
void set_clipboard_text(std::string_view text);
std::string clipboard_text();
bool clipboard_has_text();

enum class Cursor { kArrow, kWait, kIBeam, kCross, kSizeNS, kSizeWE, kSizeNWSE, kSizeNESW, kSizeAll, kNo, kHand };
void set_cursor(Cursor cursor);
Cursor current_cursor();

// The screen as the backend last showed it: the SDL backend reads its OS window back.
// False for the headless backend, or when nothing was shown within timeout_ms.
bool read_presented_screen(Surface& out, int timeout_ms = 2000);

// Sounds the system beep; the headless backend only counts them.
void beep();
std::uint64_t beep_count();

}  // namespace sk::platform::display
