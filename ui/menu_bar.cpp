// Building, tidying and copying menus.
#include "ui/menu_bar.h"

#include "platform/display/window.h"

namespace sk::ui {

namespace pd = sk::platform::display;

namespace {

void build_level(MenuId into, const std::vector<MenuDefinition>& chain, const std::string& message,
                 std::vector<MenuItemInfo>& items, std::vector<SubmenuInfo>* submenus) {
    for (const MenuDefinition& m : chain) {
        pd::MenuEntry e;
        e.text = m.text;
        if (m.flags & kFlagDisabled) e.flags |= pd::kMenuGrayed;
        if (m.flags & kItemRightJustify) e.flags |= pd::kMenuRightJustify;
        if (m.kind == kKindMenu) {
            // The menu's message is the default of its items.
            const std::string& own = m.message.empty() ? message : m.message;
            e.submenu = pd::create_menu();
            if (submenus) submenus->push_back(SubmenuInfo{e.submenu, m.message});
            build_level(e.submenu, m.children, own, items, submenus);
            if (m.field != 0) e.identifier = static_cast<std::uint32_t>(m.field) + kCommandBase;
        } else if (m.is_separator()) {
            e = pd::MenuEntry{};
            e.flags = pd::kMenuSeparator;
        } else {
            e.identifier = static_cast<std::uint32_t>(m.field) + kCommandBase;
            items.push_back(MenuItemInfo{m.field, m.message.empty() ? message : m.message, m.action,
                                         m.binding.has_value()});
        }
        pd::append_menu_entry(into, e);
    }
}

bool is_separator_at(MenuId menu, int i) {
    pd::MenuEntry e;
    return pd::menu_entry(menu, i, &e) && (e.flags & pd::kMenuSeparator) && e.submenu == 0;
}

}  // namespace

void tidy_separators(MenuId menu) {
    for (int i = 0; i < pd::menu_entry_count(menu); ++i) {
        pd::MenuEntry e;
        if (pd::menu_entry(menu, i, &e) && e.submenu) tidy_separators(e.submenu);
    }
    while (pd::menu_entry_count(menu) > 0 && is_separator_at(menu, 0)) pd::remove_menu_entry(menu, 0);
    for (int i = 1; i < pd::menu_entry_count(menu);) {
        if (is_separator_at(menu, i) && is_separator_at(menu, i - 1))
            pd::remove_menu_entry(menu, i);
        else
            ++i;
    }
    const int n = pd::menu_entry_count(menu);
    if (n > 0 && is_separator_at(menu, n - 1)) pd::remove_menu_entry(menu, n - 1);
}

MenuId build_menu_bar(const MenuBarDefinition& bar, const std::string& window_message,
                      std::vector<MenuItemInfo>& items, std::vector<SubmenuInfo>* submenus) {
    const MenuId menu = pd::create_menu();
    build_level(menu, bar.menus, window_message, items, submenus);
    tidy_separators(menu);
    return menu;
}

MenuId copy_menu(MenuId menu, std::vector<SubmenuInfo>* submenus) {
    const MenuId out = pd::create_menu();
    for (int i = 0; i < pd::menu_entry_count(menu); ++i) {
        pd::MenuEntry e;
        if (!pd::menu_entry(menu, i, &e)) continue;
        if (e.submenu) {
            const MenuId original = e.submenu;
            e.submenu = copy_menu(original, submenus);
            if (submenus)
                for (SubmenuInfo& s : *submenus)
                    if (s.menu == original) s.menu = e.submenu;
        }
        pd::append_menu_entry(out, e);
    }
    return out;
}

void tidy_system_menu(pd::WindowId w) {
    const MenuId menu = pd::system_menu(w);
    if (!menu) return;
    const std::uint32_t style = pd::window_style(w);
    const auto remove = [&](std::uint32_t id) {
        MenuId holder = 0;
        const int at = pd::find_menu_command(menu, id, &holder);
        if (at >= 0 && holder == menu) pd::remove_menu_entry(menu, at);
    };
    const bool max_box = style & pd::kStyleMaximizeBox, min_box = style & pd::kStyleMinimizeBox;
    if (!max_box) remove(pd::kSysMaximize);
    if (!min_box) remove(pd::kSysMinimize);
    if (!max_box && !min_box) {
        remove(pd::kSysRestore);
        // And the separator before Close.
        MenuId holder = 0;
        const int close = pd::find_menu_command(menu, pd::kSysClose, &holder);
        if (close > 0 && is_separator_at(menu, close - 1)) pd::remove_menu_entry(menu, close - 1);
    }
    if (!(style & pd::kStyleSizable)) remove(pd::kSysSize);
    if (!(style & pd::kStyleCaption)) remove(pd::kSysMove);
    // Greying by the window's state is the window manager's: it updates the size and
    // position commands each time the menu opens.
    tidy_separators(menu);
}

}  // namespace sk::ui
