// The modal loop of the engine's own dialogs (message boxes, the file dialog,
// the printer set-up): the dialog's messages go to its handler, every other
// message of the thread to the engine's routing, and the global runtime lock is
// given up while waiting. Also the parts the dialogs share: the frame window
// centred over its owner and the look of their push buttons.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display/font.h"
#include "platform/display/geometry.h"
#include "platform/display/message.h"
#include "platform/display/painter.h"

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

// Creates a dialog's frame window of the given style around a client area of
// client's size, owned by owner and centred over it (over the screen when owner
// is 0 or gone), visible. Returns 0 when the window cannot be made.
sk::platform::display::WindowId create_centred_dialog(sk::platform::display::WindowId owner, const std::string& caption,
                                                      std::uint32_t style, sk::platform::display::Size client);

// Runs dialog modally: the program's other windows are disabled and the dialog
// is active with the focus until done() holds or it is gone (run_dialog_loop).
// Then the windows are enabled again, the dialog destroyed, owner made active
// and the focus handed back to had_focus (either may be 0).
void run_modal_dialog(sk::platform::display::WindowId dialog, sk::platform::display::WindowId owner,
                      sk::platform::display::WindowId had_focus,
                      const std::function<void(const sk::platform::display::Message&)>& handle,
                      const std::function<bool()>& done);

// Paints a dialog's push button into r: the dark frame of the default button
// (the one Enter presses), the face raised or, while pressed, sunken, the
// centred caption with its mnemonic, and the focus frame when it has the focus.
void paint_dialog_button(sk::platform::display::Painter& p, const sk::platform::display::Rect& r,
                         std::string_view caption, const sk::platform::display::Font& font, bool is_default,
                         bool is_pressed, bool has_focus);

}  // namespace sk::ui
