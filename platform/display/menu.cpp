// Menus: the menu table, menu bars in the non-client area, drop-down and cascading
// popups painted by the window manager, the system menu, and popup tracking on the
// calling thread. Tracking itself (mouse and keys) is in menu_tracking.cpp.
#include "platform/display/menu.h"

#include <algorithm>

#include "platform/display/menu_layout.h"
#include "platform/display/utf8.h"
#include "platform/display/window_manager.h"
#include "platform/system_error.h"

namespace sk::platform::display {

using namespace detail;

namespace detail {

MenuRec* find_menu(MenuId m) {
    auto& st = state();
    auto it = st.menus.find(m);
    return it == st.menus.end() ? nullptr : it->second.get();
}

const Font* menu_font() {
    static std::shared_ptr<const Font> font = open_font(FontSpec{"MS Sans Serif", 8, 400});
    return font.get();
}

std::string_view label_part(std::string_view text) {
    std::size_t tab = text.find('\t');
    return tab == std::string_view::npos ? text : text.substr(0, tab);
}

std::string_view accelerator_part(std::string_view text) {
    std::size_t tab = text.find('\t');
    return tab == std::string_view::npos ? std::string_view{} : text.substr(tab + 1);
}

int label_width(std::string_view text) {
    const Font* f = menu_font();
    if (!f) return 0;
    std::vector<TextLine> lines = layout_text(*f, label_part(text), kTextMnemonic | kTextSingleLine, 1 << 20);
    return lines.empty() ? 0 : lines[0].width;
}

char32_t mnemonic_of(std::string_view text) {
    std::string_view label = label_part(text);
    for (std::size_t i = 0; i + 1 < label.size(); ++i) {
        if (label[i] != '&') continue;
        if (label[i + 1] == '&') {
            ++i;
            continue;
        }
        std::size_t pos = i + 1;
        return upper_case_char(decode_char(label, pos));
    }
    return 0;
}

bool is_separator(const MenuEntry& e) {
    return (e.flags & kMenuSeparator) != 0 || (e.submenu == 0 && e.text.empty());
}

bool is_selectable(const MenuEntry& e) {
    return !(e.flags & kMenuHidden) && !is_separator(e);
}

// --- Menu bar layout ------------------------------------------------------------------

BarLayout bar_layout(const WindowRec& w, int width) {
    BarLayout out;
    MenuRec* menu = find_menu(w.menu);
    int reserved_left = 0, reserved_right = 0;
    WindowRec* child = maximized_mdi_child(w);
    if (child) {
        reserved_left = kBarChildIcon;
        reserved_right = 3 * kBarButtonWidth + 4;
        int top = (kMenuRowHeight - kBarButtonHeight) / 2;
        out.items.push_back(BarItem{kBarChildSysMenu, Rect::from_size(1, 1, kBarChildIcon - 2, kMenuRowHeight - 2)});
        int right = width - 2;
        out.items.push_back(BarItem{kBarChildClose, Rect::from_size(right - kBarButtonWidth, top, kBarButtonWidth, kBarButtonHeight)});
        out.items.push_back(BarItem{kBarChildRestore, Rect::from_size(right - 2 - 2 * kBarButtonWidth, top, kBarButtonWidth, kBarButtonHeight)});
        out.items.push_back(BarItem{kBarChildMinimize, Rect::from_size(right - 2 - 3 * kBarButtonWidth, top, kBarButtonWidth, kBarButtonHeight)});
    }
    int row = 0;
    int x = reserved_left;
    auto limit = [&](int r) { return width - (r == 0 ? reserved_right : 0); };
    if (menu) {
        std::size_t n = menu->entries.size();
        std::size_t right_from = n;
        for (std::size_t i = 0; i < n; ++i) {
            if (menu->entries[i].flags & kMenuRightJustify) {
                right_from = i;
                break;
            }
        }
        auto item_width = [&](const MenuEntry& e) { return is_separator(e) ? 6 : label_width(e.text) + 2 * kBarItemPadding; };
        for (std::size_t i = 0; i < right_from; ++i) {
            const MenuEntry& e = menu->entries[i];
            if (e.flags & kMenuHidden) continue;
            int iw = item_width(e);
            int row_start = row == 0 ? reserved_left : 0;
            if (x + iw > limit(row) && x > row_start) {
                ++row;
                x = 0;
            }
            if (!is_separator(e)) out.items.push_back(BarItem{static_cast<int>(i), Rect::from_size(x, row * kMenuRowHeight + 1, iw, kMenuRowHeight - 2)});
            x += iw;
        }
        // The right-justified group ends at the right end of the row it fits on.
        int group = 0;
        for (std::size_t i = right_from; i < n; ++i) {
            if (!(menu->entries[i].flags & kMenuHidden)) group += item_width(menu->entries[i]);
        }
        if (group > 0) {
            if (x + group > limit(row) && x > 0) {
                ++row;
                x = 0;
            }
            int gx = std::max(x, limit(row) - group);
            for (std::size_t i = right_from; i < n; ++i) {
                const MenuEntry& e = menu->entries[i];
                if (e.flags & kMenuHidden) continue;
                int iw = item_width(e);
                if (!is_separator(e)) out.items.push_back(BarItem{static_cast<int>(i), Rect::from_size(gx, row * kMenuRowHeight + 1, iw, kMenuRowHeight - 2)});
                gx += iw;
            }
        }
    }
    out.rows = row + 1;
    return out;
}

// Bar items in window coordinates.
BarLayout bar_layout_in_window(const WindowRec& w) {
    NonClientLayout nc = nonclient_layout(w);
    BarLayout b = bar_layout(w, nc.menu_bar.width());
    for (BarItem& it : b.items) it.rect = it.rect.offset(nc.menu_bar.left, nc.menu_bar.top);
    return b;
}

void relayout_menu_bar(WindowRec& w) {
    if (w.kind == WindowKind::kChild || !find_menu(w.menu)) {
        w.menu_rows = 0;
        return;
    }
    int f = frame_thickness(w.style);
    w.menu_rows = bar_layout(w, std::max(0, w.rect.width() - 2 * f)).rows;
}

int menu_bar_height(const WindowRec& w) {
    return w.menu_rows * kMenuRowHeight;
}

void paint_menu_bar(WindowRec& w, Painter& p, const Rect& bar) {
    Color face = system_color(SystemColor::kMenu);
    p.fill_rect(bar, face);
    const Font* font = menu_font();
    MenuRec* menu = find_menu(w.menu);
    if (!font) return;
    auto& st = state();
    bool tracking_here = st.track.active && st.track.bar_window == w.handle;
    BarLayout b = bar_layout(w, bar.width());
    p.save();
    p.clip_to(bar);
    for (const BarItem& it : b.items) {
        Rect r = it.rect.offset(bar.left, bar.top);
        bool hot = tracking_here && st.track.bar_index == it.entry;
        switch (it.entry) {
        case kBarChildSysMenu:
            if (hot) p.fill_rect(r, system_color(SystemColor::kHighlight));
            draw_caption_button(p, r, FramePart::kSysMenuBox, false);
            continue;
        case kBarChildClose:
            draw_caption_button(p, r, FramePart::kCloseBox, false);
            continue;
        case kBarChildRestore:
            draw_caption_button(p, r, FramePart::kMaximizeBox, true);
            continue;
        case kBarChildMinimize:
            draw_caption_button(p, r, FramePart::kMinimizeBox, false);
            continue;
        default:
            break;
        }
        if (!menu || it.entry < 0 || static_cast<std::size_t>(it.entry) >= menu->entries.size()) continue;
        const MenuEntry& e = menu->entries[static_cast<std::size_t>(it.entry)];
        Color ink = system_color(SystemColor::kMenuText);
        if (hot) {
            p.fill_rect(r, system_color(SystemColor::kHighlight));
            ink = system_color(SystemColor::kHighlightText);
        }
        Rect text_box{r.left + kBarItemPadding, r.top, r.right, r.bottom};
        unsigned flags = kTextMnemonic | kTextSingleLine | kTextVCenter;
        std::string label(label_part(e.text));
        if (e.flags & kMenuGrayed) {
            if (!hot) p.draw_text(text_box.offset(1, 1), label, *font, system_color(SystemColor::kButtonHighlight), flags);
            ink = system_color(SystemColor::kGrayText);
        }
        p.draw_text(text_box, label, *font, ink, flags);
    }
    p.restore();
}

// --- Drop-down layout and painting ----------------------------------------------------

DropLayout drop_layout(const MenuRec& menu) {
    DropLayout out;
    const Font* font = menu_font();
    int item_h = (font ? font->metrics().height : 13) + 5;
    int left_w = 0, right_w = 0;
    for (const MenuEntry& e : menu.entries) {
        if ((e.flags & kMenuHidden) || is_separator(e)) continue;
        left_w = std::max(left_w, label_width(e.text));
        if (font) right_w = std::max(right_w, font->text_width(accelerator_part(e.text)));
    }
    out.text_left = kDropBorder + kDropGutter;
    out.accel_left = out.text_left + left_w + (right_w > 0 ? kDropAccelGap : 0);
    int width = out.accel_left + right_w + kDropGutter + kDropBorder;
    width = std::max(width, kDropMinWidth);
    int y = kDropBorder;
    for (const MenuEntry& e : menu.entries) {
        if (e.flags & kMenuHidden) {
            out.items.push_back(Rect{});
            continue;
        }
        int h = is_separator(e) ? kDropSeparatorHeight : item_h;
        out.items.push_back(Rect{kDropBorder, y, width - kDropBorder, y + h});
        y += h;
    }
    out.size = Size{width, std::max(y + kDropBorder, 2 * kDropBorder + 4)};
    return out;
}

namespace {

void draw_check(Painter& p, Point at, Color c) {
    static const char* const kRows[] = {"......#", ".....##", "#...###", "##.###.", "#####..", ".###...", "..#...."};
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x)
            if (kRows[y][x] == '#') p.set_pixel(Point{at.x + x, at.y + y}, c);
}

void draw_arrow(Painter& p, Point at, Color c) {
    for (int i = 0; i < 4; ++i) p.fill_rect(Rect{at.x + i, at.y + i, at.x + i + 1, at.y + 7 - i}, c);
}

}  // namespace

void paint_drop(WindowRec& win, const MenuRec& menu, int highlight) {
    if (win.surface.is_empty()) return;
    DropLayout d = drop_layout(menu);
    Rect outer{0, 0, win.rect.width(), win.rect.height()};
    Painter p(win.surface, Point{0, 0}, outer);
    p.fill_rect(outer, system_color(SystemColor::kMenu));
    p.draw_edge(outer, Edge::kRaised);
    const Font* font = menu_font();
    for (std::size_t i = 0; i < menu.entries.size() && i < d.items.size(); ++i) {
        const MenuEntry& e = menu.entries[i];
        Rect r = d.items[i];
        if (r.is_empty()) continue;
        if (is_separator(e)) {
            int y = r.top + r.height() / 2 - 1;
            p.fill_rect(Rect{r.left + 1, y, r.right - 1, y + 1}, system_color(SystemColor::kButtonShadow));
            p.fill_rect(Rect{r.left + 1, y + 1, r.right - 1, y + 2}, system_color(SystemColor::kButtonHighlight));
            continue;
        }
        bool hot = static_cast<int>(i) == highlight;
        bool grayed = (e.flags & kMenuGrayed) != 0;
        Color ink = system_color(SystemColor::kMenuText);
        if (hot) {
            p.fill_rect(r, system_color(SystemColor::kHighlight));
            ink = system_color(SystemColor::kHighlightText);
        }
        // Greyed entries are embossed: a white copy one pixel down and right under grey ink.
        auto draw_all = [&](int dx, Color c) {
            int cy = r.top + (r.height() - 7) / 2 + dx;
            if (e.flags & kMenuChecked) draw_check(p, Point{r.left + 6 + dx, cy}, c);
            if (e.submenu) draw_arrow(p, Point{r.right - 10 + dx, cy}, c);
            if (!font) return;
            Rect text_box{d.text_left + dx, r.top + dx, r.right, r.bottom + dx};
            p.draw_text(text_box, std::string(label_part(e.text)), *font, c, kTextMnemonic | kTextSingleLine | kTextVCenter);
            std::string_view accel = accelerator_part(e.text);
            if (!accel.empty()) {
                p.draw_text(Rect{d.accel_left + dx, r.top + dx, r.right, r.bottom + dx}, std::string(accel), *font, c,
                            kTextSingleLine | kTextVCenter);
            }
        };
        if (grayed) {
            if (!hot) draw_all(1, system_color(SystemColor::kButtonHighlight));
            ink = system_color(SystemColor::kGrayText);
        }
        draw_all(0, ink);
    }
}

}  // namespace detail

namespace {

MenuRec* get_menu(MenuId m) {
    MenuRec* r = find_menu(m);
    if (!r) set_last_system_error(kErrInvalidHandle);
    return r;
}

// True when target is menu itself or reachable through menu's submenus.
bool reaches(MenuId menu, MenuId target, int depth = 0) {
    if (menu == target) return true;
    if (depth > 64) return true;  // refuse absurd nesting as if it were a cycle
    MenuRec* m = find_menu(menu);
    if (!m) return false;
    for (const MenuEntry& e : m->entries) {
        if (e.submenu && reaches(e.submenu, target, depth + 1)) return true;
    }
    return false;
}

bool valid_entry_for(MenuId menu, const MenuEntry& entry) {
    if (entry.submenu == 0) return true;
    if (!find_menu(entry.submenu) || reaches(entry.submenu, menu)) {
        set_last_system_error(kErrInvalidParameter);
        return false;
    }
    return true;
}

void destroy_menu_locked(MenuId id, int depth = 0) {
    MenuRec* m = find_menu(id);
    if (!m || depth > 64) return;
    auto& st = state();
    if (st.track.active) {
        for (const MenuLevel& l : st.track.levels) {
            if (l.menu == id) {
                end_menu_tracking(true);
                break;
            }
        }
        if (st.track.active && st.track.bar_window && find(st.track.bar_window) &&
            find(st.track.bar_window)->menu == id) {
            end_menu_tracking(true);
        }
    }
    std::vector<MenuId> subs;
    for (const MenuEntry& e : m->entries)
        if (e.submenu) subs.push_back(e.submenu);
    if (WindowRec* w = find(m->bar_of); w && w->menu == id) {
        Rect old = client_in_window(*w);
        w->menu = 0;
        relayout_menu_bar(*w);
        nonclient_changed(*w, old);
    }
    if (WindowRec* w = find(m->system_of); w && w->system_menu == id) w->system_menu = 0;
    st.menus.erase(id);
    for (MenuId s : subs) destroy_menu_locked(s, depth + 1);
}

// Repaints whatever shows the menu: an open level, or a bar it belongs to.
void menu_changed(MenuId id) {
    auto& st = state();
    if (!st.track.active) return;
    for (const MenuLevel& l : st.track.levels) {
        if (l.menu != id) continue;
        MenuRec* m = find_menu(id);
        WindowRec* w = find(l.window);
        if (!m || !w) continue;
        DropLayout d = drop_layout(*m);
        if (d.size != Size{w->rect.width(), w->rect.height()}) {
            move_locked(*w, Rect::from_size(w->rect.left, w->rect.top, d.size.width, d.size.height));
            w->invalid = Rect{};
        }
        paint_drop(*w, *m, l.highlight);
        damage_window(*w);
    }
}

}  // namespace

MenuId create_menu() {
    auto& st = state();
    Lock lock(st.mutex);
    if (!st.open) {
        set_last_system_error(kErrInvalidFunction);
        return 0;
    }
    auto rec = std::make_unique<MenuRec>();
    rec->handle = st.next_menu++;
    MenuId id = rec->handle;
    st.menus.emplace(id, std::move(rec));
    return id;
}

bool destroy_menu(MenuId menu) {
    Lock lock(state().mutex);
    if (!get_menu(menu)) return false;
    destroy_menu_locked(menu);
    return true;
}

bool is_menu(MenuId menu) {
    Lock lock(state().mutex);
    return find_menu(menu) != nullptr;
}

bool insert_menu_entry(MenuId menu, int position, const MenuEntry& entry) {
    Lock lock(state().mutex);
    MenuRec* m = get_menu(menu);
    if (!m || !valid_entry_for(menu, entry)) return false;
    if (position < 0 || static_cast<std::size_t>(position) > m->entries.size()) position = static_cast<int>(m->entries.size());
    m->entries.insert(m->entries.begin() + position, entry);
    menu_changed(menu);
    return true;
}

bool append_menu_entry(MenuId menu, const MenuEntry& entry) {
    return insert_menu_entry(menu, -1, entry);
}

bool remove_menu_entry(MenuId menu, int position) {
    Lock lock(state().mutex);
    MenuRec* m = get_menu(menu);
    if (!m) return false;
    if (position < 0 || static_cast<std::size_t>(position) >= m->entries.size()) {
        set_last_system_error(kErrInvalidParameter);
        return false;
    }
    MenuId sub = m->entries[static_cast<std::size_t>(position)].submenu;
    m->entries.erase(m->entries.begin() + position);
    if (sub) destroy_menu_locked(sub);
    menu_changed(menu);
    return true;
}

int menu_entry_count(MenuId menu) {
    Lock lock(state().mutex);
    MenuRec* m = get_menu(menu);
    return m ? static_cast<int>(m->entries.size()) : -1;
}

bool menu_entry(MenuId menu, int position, MenuEntry* out) {
    Lock lock(state().mutex);
    MenuRec* m = get_menu(menu);
    if (!m) return false;
    if (position < 0 || static_cast<std::size_t>(position) >= m->entries.size() || !out) {
        set_last_system_error(kErrInvalidParameter);
        return false;
    }
    *out = m->entries[static_cast<std::size_t>(position)];
    return true;
}

bool set_menu_entry(MenuId menu, int position, const MenuEntry& entry) {
    Lock lock(state().mutex);
    MenuRec* m = get_menu(menu);
    if (!m) return false;
    if (position < 0 || static_cast<std::size_t>(position) >= m->entries.size()) {
        set_last_system_error(kErrInvalidParameter);
        return false;
    }
    if (!valid_entry_for(menu, entry)) return false;
    m->entries[static_cast<std::size_t>(position)] = entry;
    menu_changed(menu);
    return true;
}

namespace {

int find_command_locked(MenuId menu, std::uint32_t identifier, MenuId* holder, int depth) {
    MenuRec* m = find_menu(menu);
    if (!m || depth > 64) return -1;
    for (std::size_t i = 0; i < m->entries.size(); ++i) {
        const MenuEntry& e = m->entries[i];
        if (e.submenu == 0 && !is_separator(e) && e.identifier == identifier) {
            if (holder) *holder = menu;
            return static_cast<int>(i);
        }
    }
    for (const MenuEntry& e : m->entries) {
        if (!e.submenu) continue;
        int found = find_command_locked(e.submenu, identifier, holder, depth + 1);
        if (found >= 0) return found;
    }
    return -1;
}

}  // namespace

int find_menu_command(MenuId menu, std::uint32_t identifier, MenuId* holder) {
    Lock lock(state().mutex);
    if (!get_menu(menu)) return -1;
    return find_command_locked(menu, identifier, holder, 0);
}

bool set_window_menu(WindowId window, MenuId menu) {
    Lock lock(state().mutex);
    WindowRec* w = find(window);
    if (!w) {
        set_last_system_error(kErrInvalidHandle);
        return false;
    }
    if (w->kind == WindowKind::kChild && menu != 0) {
        set_last_system_error(kErrInvalidParameter);
        return false;
    }
    MenuRec* m = nullptr;
    if (menu != 0 && !(m = get_menu(menu))) return false;
    auto& st = state();
    if (st.track.active && st.track.bar_window == window) end_menu_tracking(true);
    if (MenuRec* old = find_menu(w->menu); old && old->bar_of == window) old->bar_of = 0;
    if (m) {
        // A menu shows on one window at a time.
        if (WindowRec* other = find(m->bar_of); other && other != w && other->menu == menu) {
            Rect old = client_in_window(*other);
            other->menu = 0;
            relayout_menu_bar(*other);
            nonclient_changed(*other, old);
        }
        m->bar_of = window;
    }
    Rect old = client_in_window(*w);
    w->menu = menu;
    relayout_menu_bar(*w);
    nonclient_changed(*w, old);
    return true;
}

MenuId window_menu(WindowId window) {
    Lock lock(state().mutex);
    WindowRec* w = find(window);
    if (!w) {
        set_last_system_error(kErrInvalidHandle);
        return 0;
    }
    return w->menu;
}

bool redraw_menu_bar(WindowId window) {
    Lock lock(state().mutex);
    WindowRec* w = find(window);
    if (!w) {
        set_last_system_error(kErrInvalidHandle);
        return false;
    }
    Rect old = client_in_window(*w);
    relayout_menu_bar(*w);
    nonclient_changed(*w, old);
    return true;
}

namespace detail {

namespace {

// Greys the size and position commands the window cannot carry out in its present
// state; the engine's other changes to the menu (removed entries, Close) are kept.
void grey_system_menu_by_state(WindowRec& w, MenuRec& m) {
    bool maximized = w.size_state == kSizeMaximized, minimized = w.size_state == kSizeMinimized;
    bool changed = false;
    for (MenuEntry& e : m.entries) {
        if (e.submenu || is_separator(e)) continue;
        bool greyed;
        switch (e.identifier) {
        case kSysRestore: greyed = !maximized && !minimized; break;
        case kSysMove: greyed = maximized; break;
        case kSysSize: greyed = maximized || minimized; break;
        case kSysMinimize: greyed = minimized; break;
        case kSysMaximize: greyed = maximized; break;
        default: continue;
        }
        std::uint32_t flags = greyed ? (e.flags | kMenuGrayed) : (e.flags & ~kMenuGrayed);
        changed = changed || flags != e.flags;
        e.flags = flags;
    }
    if (changed) menu_changed(m.handle);
}

}  // namespace

MenuId system_menu_locked(WindowRec& w) {
    if (MenuRec* m = find_menu(w.system_menu)) {
        grey_system_menu_by_state(w, *m);
        return w.system_menu;
    }
    auto& st = state();
    auto rec = std::make_unique<MenuRec>();
    rec->handle = st.next_menu++;
    rec->system_of = w.handle;
    rec->entries = {
        MenuEntry{kSysRestore, "&Restore", 0, 0},   MenuEntry{kSysMove, "&Move", 0, 0},
        MenuEntry{kSysSize, "&Size", 0, 0},         MenuEntry{kSysMinimize, "Mi&nimize", 0, 0},
        MenuEntry{kSysMaximize, "Ma&ximize", 0, 0}, MenuEntry{0, "", kMenuSeparator, 0},
        MenuEntry{kSysClose, w.kind == WindowKind::kChild ? "&Close\tCtrl+F4" : "&Close\tAlt+F4", 0, 0},
    };
    MenuId id = rec->handle;
    grey_system_menu_by_state(w, *rec);
    st.menus.emplace(id, std::move(rec));
    w.system_menu = id;
    return id;
}

void forget_window_menus(WindowRec& w) {
    auto& st = state();
    if (st.track.active) {
        bool involved = st.track.owner == w.handle || st.track.bar_window == w.handle;
        for (const MenuLevel& l : st.track.levels) involved = involved || l.window == w.handle;
        if (involved) {
            WindowId handle = w.handle;
            end_menu_tracking(true);
            if (!find(handle)) return;  // w was one of the menu's own popups
        }
    }
    MenuId bar = w.menu, sys = w.system_menu;
    w.menu = 0;
    w.system_menu = 0;
    if (MenuRec* m = find_menu(bar); m && m->bar_of == w.handle) {
        m->bar_of = 0;
        destroy_menu_locked(bar);
    }
    if (find_menu(sys)) destroy_menu_locked(sys);
}

}  // namespace detail

MenuId system_menu(WindowId window) {
    Lock lock(state().mutex);
    WindowRec* w = find(window);
    if (!w) {
        set_last_system_error(kErrInvalidHandle);
        return 0;
    }
    return system_menu_locked(*w);
}

std::uint32_t track_popup_menu(MenuId menu, Point screen, WindowId owner, bool right_button,
                               void (*dispatch)(const Message&, void*), void* context) {
    auto& st = state();
    Lock lock(st.mutex);
    if (!st.open || !get_menu(menu)) {
        if (!st.open) set_last_system_error(kErrInvalidFunction);
        return 0;
    }
    if (owner && !find(owner)) {
        set_last_system_error(kErrInvalidHandle);
        return 0;
    }
    std::thread::id me = std::this_thread::get_id();
    std::shared_ptr<MenuTrack::Outcome> outcome = start_popup_tracking(menu, screen, owner, right_button);
    if (!outcome) return 0;
    adopt_current_thread();
    queue_of(me);
    std::shared_ptr<ThreadQueue> q = st.queues[me];
    q->in_menu_loop = true;
    while (st.open && !outcome->done) {
        if (dispatch) {
            // Paint messages still reach the thread's windows while the menu is up.
            WindowId paint = 0;
            for (auto& [id, w] : st.windows) {
                if (w->thread == me && !w->internal && !w->invalid.is_empty() && shown(*w)) {
                    paint = id;
                    break;
                }
            }
            if (paint) {
                Message m;
                m.code = kMsgPaint;
                m.window = paint;
                m.time = now_ms();
                q->in_menu_loop = false;
                lock.unlock();
                dispatch(m, context);
                lock.lock();
                q->in_menu_loop = true;
                continue;
            }
        }
        q->waiting = true;
        st.idle_changed.notify_all();
        q->ready.wait_for(lock, std::chrono::milliseconds(20));
        q->waiting = false;
    }
    q->in_menu_loop = false;
    if (!st.open) return 0;
    return outcome->result;
}

bool menu_tracking() {
    Lock lock(state().mutex);
    return state().track.active;
}

}  // namespace sk::platform::display

namespace sk::platform::display {

Rect menu_bar_entry_rect(WindowId window, int position) {
    Lock lock(state().mutex);
    WindowRec* w = find(window);
    if (!w) {
        set_last_system_error(kErrInvalidHandle);
        return Rect{};
    }
    if (w->menu_rows == 0 || !find_menu(w->menu)) return Rect{};
    Rect s = screen_rect_of(*w);
    for (const BarItem& it : bar_layout_in_window(*w).items) {
        if (it.entry == position) return it.rect.offset(s.left, s.top);
    }
    return Rect{};
}

Rect open_menu_entry_rect(MenuId menu, int position) {
    Lock lock(state().mutex);
    for (const MenuLevel& l : state().track.levels) {
        if (l.menu != menu) continue;
        MenuRec* m = find_menu(menu);
        WindowRec* w = find(l.window);
        if (!m || !w) return Rect{};
        DropLayout d = drop_layout(*m);
        if (position < 0 || static_cast<std::size_t>(position) >= d.items.size()) return Rect{};
        Rect s = screen_rect_of(*w);
        return d.items[static_cast<std::size_t>(position)].offset(s.left, s.top);
    }
    return Rect{};
}

std::vector<MenuId> open_menus() {
    Lock lock(state().mutex);
    std::vector<MenuId> out;
    for (const MenuLevel& l : state().track.levels) out.push_back(l.menu);
    return out;
}

}  // namespace sk::platform::display
