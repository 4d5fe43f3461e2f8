// Start-up of the window engine: the thread table with the caller as the main
// thread, the display, the frame support for menus, status bars and MDI windows,
// and message boxes as the runtime's way of showing its messages.
#pragma once

#include <cstdint>
#include <functional>

namespace sk::ui {

// Safe to call again. False when the display cannot be opened.
bool initialise_engine();

// The background timer: a routine called on every tick of a timer that belongs to
// no window of the program. It runs on the thread that registers it, between that
// thread's events, while the thread waits for them. Registering again replaces the
// routine and restarts the interval; an empty routine or interval 0 stops it.
void set_background_timer(std::function<void()> routine, std::uint32_t interval_ms);

}  // namespace sk::ui
