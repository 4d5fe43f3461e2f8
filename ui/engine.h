// Start-up of the window engine: the thread table with the caller as the main
// thread, the display, the frame support for menus, status bars and MDI windows,
// and message boxes as the runtime's way of showing its messages.
#pragma once

namespace sk::ui {

// Safe to call again. False when the display cannot be opened.
bool initialise_engine();

}  // namespace sk::ui
