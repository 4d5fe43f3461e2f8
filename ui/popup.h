// POPUP: a menu described by a string, shown at a point and tracked until the user
// chooses an item or dismisses it.
//
// Items are separated by "|". "-" alone is a separator; a leading "~" greys an
// item, and after it "+" checks it ("-" there is skipped); "Text{...}" opens a
// submenu whose items run to the matching "}". Items other than separators and
// submenu titles are numbered 1, 2, 3 ... across all levels. An unbalanced brace
// ends the level at the end of the string.
#pragma once

#include <optional>
#include <string_view>

#include "platform/display/geometry.h"
#include "platform/display/menu.h"

namespace sk::ui {

// Builds the native menu; command identifiers are the item numbers. count gets the
// number of items.
sk::platform::display::MenuId build_popup_menu(std::string_view text, int* count = nullptr);

// The chosen item's number, 0 when the menu was dismissed. Without a point the menu
// shows at the mouse position (screen coordinates).
int popup(std::string_view text, std::optional<sk::platform::display::Point> at = std::nullopt);

}  // namespace sk::ui
