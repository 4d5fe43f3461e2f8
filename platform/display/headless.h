// Test controls of the headless backend: input injection, the virtual clock, waiting
// until the program is idle, finding windows, and the composed screen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/display/geometry.h"
#include "platform/display/message.h"
#include "platform/display/surface.h"

namespace sk::platform::display::headless {

// Mouse input at screen coordinates. The window under the mouse (or the capture
// window) gets the messages, with positions relative to its client area; a press
// activates and focuses as the window manager does, and presses on the frame act on
// it (close box, maximise and minimise boxes, caption dragging).
void mouse_move(Point screen);
void mouse_down(Point screen, std::uint32_t button = kButtonLeft);
void mouse_up(Point screen, std::uint32_t button = kButtonLeft);
void click(Point screen, std::uint32_t button = kButtonLeft);  // down and up
void mouse_wheel(Point screen, int distance);                  // 120 per notch
Point mouse_position();

// Keyboard input to the focus window (the active window when nothing has the focus).
// Shift, Control and Alt keys change the modifiers of later messages.
void key_down(std::uint32_t virtual_key);
void key_up(std::uint32_t virtual_key);
void press_key(std::uint32_t virtual_key, std::uint32_t modifiers = 0);  // with modifiers held around it
// Text input: one kMsgChar per character of the UTF-8 text. While a menu is up the
// characters are its mnemonics. Text typed between a key_down the window manager took
// (a menu key, say) and the next key event is that keystroke's own text, and dropped.
void type_text(std::string_view utf8);

// The virtual clock. Advancing it by ms steps through every timer that falls due on
// the way and lets the other threads handle each before going on.
std::uint64_t clock_ms();
void advance_clock(std::uint64_t ms);

// Waits until every other thread that owns windows or has messages waits in its
// queue with nothing to deliver. False when that does not happen within timeout_ms.
bool wait_until_idle(int timeout_ms = 5000);

// Windows by text (exact, UTF-8) or identifier, searched top of the z-order first,
// children before their parents' later siblings. 0 when none.
WindowId find_window_by_text(std::string_view text);
WindowId find_window_by_identifier(std::uint32_t identifier);
// The shown window at a screen point (deepest child), 0 for the desktop.
WindowId window_at(Point screen);

// Composes the damaged parts of the screen and returns a copy.
Surface screen_image();
Color screen_pixel(Point p);
// Composes and writes the screen as a PNG file. False (and last_system_error) on failure.
bool save_screenshot(const std::string& path);

}  // namespace sk::platform::display::headless
