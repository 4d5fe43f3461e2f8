// Native menus: menu bars drawn in a top-level window's non-client area under its
// caption, drop-down and cascading submenus, popup menus tracked on demand, and each
// window's system menu.
//
// A menu is a list of entries; an entry is a command (identifier, text with "&"
// marking its mnemonic, flags), a separator, or a submenu. Menus may be built and
// changed from any thread; the window manager serialises them like windows.
//
// Choosing a command of a window's menu bar or system menu posts kMsgCommand
// (wparam: the identifier) or kMsgSysCommand to the window's thread; highlighting an
// entry posts kMsgMenuSelect (wparam: its identifier, 0 when the menu closes; lparam:
// the menu holding the entry, flags: its position, so that a submenu entry, which
// has no identifier of its own, can be told apart). The
// menu bar is entered with the mouse, with Alt or F10 alone, or with Alt and an
// item's mnemonic; arrows, Enter, Escape and mnemonics work inside it. Left and Right
// walk the bar round, through the window's system menu and a maximised MDI child's
// before the bar's menus. A mnemonic is any letter, matched by its upper case
// (upper_case_char), typed as a key or as text; text typed while a menu is up goes
// to the menu, never to a window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display/geometry.h"
#include "platform/display/message.h"

namespace sk::platform::display {

// A menu handle. 0 is "no menu"; handles are never reused within a run.
using MenuId = std::uint32_t;

enum MenuFlags : std::uint32_t {
    kMenuGrayed = 0x0001,        // shown grey, cannot be chosen
    kMenuChecked = 0x0002,       // a check mark before the text
    kMenuRightJustify = 0x0004,  // in a menu bar: this and later items at the right end
    kMenuSeparator = 0x0008,
    kMenuHidden = 0x0010,        // kept in the menu, not shown
};

struct MenuEntry {
    std::uint32_t identifier = 0;  // commands only
    std::string text;              // UTF-8; "&x" marks the mnemonic; a tab separates a right-aligned part
    std::uint32_t flags = 0;
    MenuId submenu = 0;            // non-zero for a submenu entry
};

MenuId create_menu();
// Destroys the menu and its submenus (a menu attached to a window goes with it).
bool destroy_menu(MenuId menu);
bool is_menu(MenuId menu);

// Entries by position (0-based). Inserting at a position past the end appends.
bool insert_menu_entry(MenuId menu, int position, const MenuEntry& entry);
bool append_menu_entry(MenuId menu, const MenuEntry& entry);
bool remove_menu_entry(MenuId menu, int position);  // a submenu entry's submenu is destroyed
int menu_entry_count(MenuId menu);
bool menu_entry(MenuId menu, int position, MenuEntry* out);
// A submenu replaced this way is not destroyed. A submenu that would contain its own
// menu (a cycle) is refused with 87, as is a submenu handle that does not exist.
bool set_menu_entry(MenuId menu, int position, const MenuEntry& entry);
// The position of the command with this identifier in menu or its submenus, with
// the menu that holds it; -1 when there is none.
int find_menu_command(MenuId menu, std::uint32_t identifier, MenuId* holder);

// Menu bars (top-level windows only; a child is refused with 87). Attaching changes
// the window's client area (posts kMsgSize) and redraws the bar; 0 detaches. The window owns an attached menu until it is
// detached or replaced; a replaced menu is not destroyed.
bool set_window_menu(WindowId window, MenuId menu);
MenuId window_menu(WindowId window);
// Redraws the bar after its entries changed.
bool redraw_menu_bar(WindowId window);

// The window's system menu (Restore, Move, Size, Minimize, Maximize, separator,
// Close), created on first use with the standard identifiers of SysCommand. The
// engine may remove entries; the window manager greys Restore, Move, Size, Minimize
// and Maximize for the window's present state on every call and each time the menu
// opens (maximised: Move, Size, Maximize; minimised: Size, Minimize; otherwise
// Restore). Choosing one posts kMsgSysCommand. The
// window manager carries out Minimize, Maximize, Restore, Move and Size itself before
// posting (as the caption boxes do); Close is only posted, and the window decides.
MenuId system_menu(WindowId window);

// Shows menu as a popup at a screen point and tracks it on the calling thread until
// a command is chosen or the menu is dismissed (Escape, a click outside). Returns the
// chosen command's identifier, 0 when none was chosen. With right_button set the
// right mouse button chooses as well. Messages for the thread's other windows wait in
// the queue meanwhile; paint messages are still delivered to dispatch, when given.
std::uint32_t track_popup_menu(MenuId menu, Point screen, WindowId owner, bool right_button,
                               void (*dispatch)(const Message&, void*) = nullptr, void* context = nullptr);
// True while a menu bar or popup menu is being tracked.
bool menu_tracking();

// Where entries are shown, in screen coordinates (empty when not shown): an entry of
// a window's menu bar, and an entry of a menu that is open as a drop-down right now.
Rect menu_bar_entry_rect(WindowId window, int position);
Rect open_menu_entry_rect(MenuId menu, int position);
// The menus open now, outermost first (empty when none).
std::vector<MenuId> open_menus();

}  // namespace sk::platform::display
