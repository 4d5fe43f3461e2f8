// The modal loop of the engine's own dialogs (message boxes, the file dialog):
// the dialog's messages go to its handler, every other message of the thread to
// the engine's routing, and the global runtime lock is given up while waiting.
#pragma once

#include <functional>
#include <vector>

#include "platform/display/message.h"

namespace sk::ui {

// Disables every enabled window of the program other than except; returns them
// for enable_windows.
std::vector<sk::platform::display::WindowId> disable_program_windows(sk::platform::display::WindowId except);
void enable_windows(const std::vector<sk::platform::display::WindowId>& windows);

// Runs until done() holds or the dialog window is gone. handle gets every message
// of the dialog and its children.
void run_dialog_loop(sk::platform::display::WindowId dialog,
                     const std::function<void(const sk::platform::display::Message&)>& handle,
                     const std::function<bool()>& done);

// The window a dialog of the calling thread belongs to: the thread's innermost
// window, else the frame, else the active window; 0 when there is none.
sk::platform::display::WindowId dialog_owner();

}  // namespace sk::ui
