// Internal layout of menus shared by the menu files: the geometry of menu bars and
// drop-downs, and the helpers that read entry texts. Not for use outside
// platform/display. Everything here requires the display mutex.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "platform/display/window_manager.h"

namespace sk::platform::display::detail {

constexpr int kMenuRowHeight = 18;
constexpr int kBarItemPadding = 6;
constexpr int kBarChildIcon = 18;      // a maximised MDI child's system box at the bar's left
constexpr int kBarButtonWidth = 16;
constexpr int kBarButtonHeight = 14;
constexpr int kDropBorder = 3;
constexpr int kDropGutter = 19;        // room for the check mark, and for the submenu arrow
constexpr int kDropAccelGap = 16;
constexpr int kDropSeparatorHeight = 8;
constexpr int kDropMinWidth = 60;

// Bar entries that are not menu entries: a maximised MDI child's controls, and the
// window's own system menu, which the keyboard walk reaches though it drops from the
// caption's system box rather than from the bar.
enum BarSpecial : int {
    kBarChildSysMenu = -2, kBarChildMinimize = -3, kBarChildRestore = -4, kBarChildClose = -5, kBarFrameSysMenu = -6,
};

struct BarItem {
    int entry = -1;  // position in the bar's menu, or a BarSpecial
    Rect rect;
};
struct BarLayout {
    std::vector<BarItem> items;
    int rows = 1;
};
// Items relative to the bar's top-left corner, for a bar of the given width.
BarLayout bar_layout(const WindowRec& w, int width);
BarLayout bar_layout_in_window(const WindowRec& w);

struct DropLayout {
    Size size;
    std::vector<Rect> items;  // one per entry, in popup coordinates; empty for hidden entries
    int text_left = 0;
    int accel_left = 0;
};
DropLayout drop_layout(const MenuRec& menu);
void paint_drop(WindowRec& win, const MenuRec& menu, int highlight);

const Font* menu_font();
std::string_view label_part(std::string_view text);        // before the tab
std::string_view accelerator_part(std::string_view text);  // after the tab
int label_width(std::string_view text);
char32_t mnemonic_of(std::string_view text);               // upper case (upper_case_char); 0 for none
bool is_separator(const MenuEntry& e);
bool is_selectable(const MenuEntry& e);                    // shown and not a separator (greyed counts)

// The window's system menu, created on first use; each call greys its size and
// position commands for the window's present state.
MenuId system_menu_locked(WindowRec& w);
// Starts tracking a popup menu for track_popup_menu; null when it cannot be shown.
std::shared_ptr<MenuTrack::Outcome> start_popup_tracking(MenuId menu, Point screen, WindowId owner, bool right_button);

}  // namespace sk::platform::display::detail
