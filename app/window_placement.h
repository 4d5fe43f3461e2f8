// Remembering an open window's place: the window's normal rectangle in its own
// units and its maximised state, read from and written to its procedure's section
// of the positions file.
#pragma once

#include <string_view>

namespace sk::ui {
class Window;
}

namespace sk::app {

// Moves and sizes the window (and maximises it) as it was when it last closed.
void restore_window_position(sk::ui::Window& window, std::string_view section);
// Writes the window's place; a minimised window writes nothing.
void save_window_position(sk::ui::Window& window, std::string_view section);

}  // namespace sk::app
