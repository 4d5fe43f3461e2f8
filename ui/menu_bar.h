// Menu bars built from a window definition's MENUBAR records, the separator
// tidying, copies for MDI children, and the tidying of a window's system menu.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/display/menu.h"
#include "ui/definition.h"

namespace sk::ui {

using sk::platform::display::MenuId;

// What the engine keeps of one command item of a built menu.
struct MenuItemInfo {
    std::int32_t field = 0;   // negative
    std::string message;      // its own, else its menu's, else the window's
    std::uint32_t action = 0;
    bool is_check = false;    // an item bound to a variable toggles a check mark
};

// A submenu of a built menu and the message its entry shows while highlighted: the
// MENU record's own, empty when it has none.
struct SubmenuInfo {
    MenuId menu = 0;
    std::string message;
};

inline constexpr std::uint32_t kCommandBase = 0x4000;  // native identifier = field number + 4000h

// Builds the native menu bar, tidied, and lists its command items and, when asked,
// its submenus.
MenuId build_menu_bar(const MenuBarDefinition& bar, const std::string& window_message,
                      std::vector<MenuItemInfo>& items, std::vector<SubmenuInfo>* submenus = nullptr);

// Removes, at every level, a separator that opens a menu, one that follows
// another separator, and one left at the end.
void tidy_separators(MenuId menu);

// A deep copy of a menu and its submenus; with submenus given, their handles are
// changed to those of the copy.
MenuId copy_menu(MenuId menu, std::vector<SubmenuInfo>* submenus = nullptr);

// Takes out of w's system menu what the window can never use. What it cannot use in
// its present state the window manager greys whenever the menu opens.
void tidy_system_menu(sk::platform::display::WindowId w);

}  // namespace sk::ui
