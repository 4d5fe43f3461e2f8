// The application frame and what every window gets beyond the core: the menu bar
// with its command routing and status-bar messages, the status bar, the system
// menu's tidying, the frame's MDI client, MDI children sharing the frame's menu
// bar until they change an item, and the standard actions that arrange children.
#pragma once

#include <cstdint>
#include <string_view>

#include "ui/menu_bar.h"
#include "ui/status_bar.h"
#include "ui/window.h"

namespace sk::ui {

// Installs the frame support for every window opened from now on.
void install_frame_support();

// The status bar a window shows its messages in (its own, or the frame's for the
// active MDI child); null when there is none.
StatusBar* status_bar_of(Window& window);
// Sets a zone's text of the window's own status bar; an index outside it is ignored.
void set_zone_text(Window& window, int zone, std::string_view text);

// The menu bar the window shows (an MDI child without its own: the frame's, or its
// private copy once it changed an item); 0 when none.
MenuId menu_bar_of(Window& window);
// Changing a menu item: an MDI child sharing the frame's menu bar gets a private
// copy first. False when the window has no such item.
bool set_menu_item_enabled(Window& window, std::int32_t field, bool enabled);
bool set_menu_item_checked(Window& window, std::int32_t field, bool checked);
bool set_menu_item_hidden(Window& window, std::int32_t field, bool hidden);
bool set_menu_item_text(Window& window, std::int32_t field, std::string_view text);
bool menu_item_checked(Window& window, std::int32_t field);
// True once an MDI child has its private copy.
bool has_private_menu(Window& window);

}  // namespace sk::ui
