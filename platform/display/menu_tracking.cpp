// Menu tracking: the open drop-down levels as popup windows, and what the mouse and
// the keyboard do to them. Tracking is driven by the input functions of the window
// manager, so a menu bar needs no loop on its window's thread; track_popup_menu waits
// on its own thread until the tracking ends.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "platform/display/menu_layout.h"
#include "platform/display/utf8.h"
#include "platform/display/window_manager.h"

namespace sk::platform::display::detail {

namespace {

constexpr int kNoBarItem = INT_MIN;

MenuTrack& track() {
    return state().track;
}

void post_simple(WindowId window, MessageCode code, std::uint64_t wparam, std::int64_t lparam = 0, std::uint32_t flags = 0) {
    WindowRec* w = find(window);
    if (!w) return;
    Message m;
    m.code = code;
    m.wparam = wparam;
    m.lparam = lparam;
    m.flags = flags;
    m.time = now_ms();
    post_to_window(*w, m);
}

void post_select(MenuId holder, int position) {
    MenuRec* m = find_menu(holder);
    if (!m || position < 0 || static_cast<std::size_t>(position) >= m->entries.size()) return;
    post_simple(track().owner, kMsgMenuSelect, m->entries[static_cast<std::size_t>(position)].identifier,
                static_cast<std::int64_t>(holder), static_cast<std::uint32_t>(position));
}

void repaint_bar() {
    if (WindowRec* w = find(track().bar_window)) {
        paint_frame(*w);
        damage_window(*w);
    }
}

void repaint_level(std::size_t i) {
    MenuLevel& l = track().levels[i];
    WindowRec* w = find(l.window);
    MenuRec* m = find_menu(l.menu);
    if (!w || !m) return;
    paint_drop(*w, *m, l.highlight);
    damage_window(*w);
}

void close_levels_from(std::size_t first) {
    auto& levels = track().levels;
    while (levels.size() > first) {
        WindowId w = levels.back().window;
        levels.pop_back();
        if (find(w)) destroy_locked(w);
    }
}

// The first selectable entry at or after from, stepping by dir and wrapping; -1 if none.
int next_selectable(const MenuRec& m, int from, int dir) {
    int n = static_cast<int>(m.entries.size());
    if (n == 0) return -1;
    int pos = from;
    for (int k = 0; k < n; ++k) {
        pos = ((pos % n) + n) % n;
        if (is_selectable(m.entries[static_cast<std::size_t>(pos)])) return pos;
        pos += dir;
    }
    return -1;
}

// Opens menu as a new level, under (or, for a cascade, beside) anchor on the screen.
bool open_level(MenuId menu, const Rect& anchor, bool below, bool highlight_first) {
    auto& st = state();
    MenuRec* m = find_menu(menu);
    if (!m) return false;
    DropLayout d = drop_layout(*m);
    Size screen{st.screen.width(), st.screen.height()};
    int x, y;
    if (below) {
        x = anchor.left;
        y = anchor.bottom;
        if (y + d.size.height > screen.height && anchor.top - d.size.height >= 0) y = anchor.top - d.size.height;
    } else {
        x = anchor.right - kDropBorder;
        y = anchor.top - kDropBorder;
        if (x + d.size.width > screen.width) x = anchor.left - d.size.width + kDropBorder;
    }
    x = std::max(0, std::min(x, screen.width - d.size.width));
    y = std::max(0, std::min(y, screen.height - d.size.height));
    WindowSpec spec;
    spec.kind = WindowKind::kPopup;
    spec.rect = Rect::from_size(x, y, d.size.width, d.size.height);
    spec.visible = true;
    spec.background = system_color(SystemColor::kMenu);
    WindowRec* owner = find(track().owner);
    if (owner) spec.parent = top_level_rec(owner)->handle;
    std::thread::id thread = owner ? owner->thread : std::this_thread::get_id();
    WindowRec* w = create_window_locked(spec, thread);
    if (!w) return false;
    w->internal = true;
    w->invalid = Rect{};
    MenuLevel level;
    level.menu = menu;
    level.window = w->handle;
    level.highlight = highlight_first ? next_selectable(*m, 0, 1) : -1;
    track().levels.push_back(level);
    repaint_level(track().levels.size() - 1);
    if (level.highlight >= 0) post_select(menu, level.highlight);
    return true;
}

Rect level_item_on_screen(std::size_t i, int pos) {
    MenuLevel& l = track().levels[i];
    WindowRec* w = find(l.window);
    MenuRec* m = find_menu(l.menu);
    if (!w || !m) return Rect{};
    DropLayout d = drop_layout(*m);
    if (pos < 0 || static_cast<std::size_t>(pos) >= d.items.size()) return Rect{};
    Rect s = screen_rect_of(*w);
    return d.items[static_cast<std::size_t>(pos)].offset(s.left, s.top);
}

// Highlights pos in level i; a new highlight closes deeper levels, and a submenu
// entry opens its cascade when open_submenu is set.
void highlight(std::size_t i, int pos, bool open_submenu, bool highlight_first) {
    auto& t = track();
    if (i >= t.levels.size()) return;
    MenuLevel& l = t.levels[i];
    if (l.highlight != pos) {
        close_levels_from(i + 1);
        l.highlight = pos;
        repaint_level(i);
        post_select(l.menu, pos);
    }
    MenuRec* m = find_menu(t.levels[i].menu);
    if (!m || pos < 0 || !open_submenu || t.levels.size() > i + 1) return;
    const MenuEntry& e = m->entries[static_cast<std::size_t>(pos)];
    if (e.submenu && !(e.flags & kMenuGrayed)) open_level(e.submenu, level_item_on_screen(i, pos), false, highlight_first);
}

// Where w's system menu drops from, on the screen: its system box, else its caption,
// else its top-left corner.
Rect system_menu_anchor(const WindowRec& w) {
    Rect s = screen_rect_of(w);
    Rect box = frame_button_rect(w, FramePart::kSysMenuBox);
    if (box.is_empty()) box = caption_rect(w);
    return box.is_empty() ? Rect{s.left, s.top, s.left, s.top} : box.offset(s.left, s.top);
}

// The bar entries in the order Left and Right walk them: the window's own system
// menu, a maximised child's system menu, then the bar's menus, wrapping round.
std::vector<int> bar_order() {
    std::vector<int> order;
    WindowRec* w = find(track().bar_window);
    if (!w) return order;
    if (w->style & kStyleSysMenu) order.push_back(kBarFrameSysMenu);
    BarLayout b = bar_layout(*w, nonclient_layout(*w).menu_bar.width());
    for (const BarItem& it : b.items) {
        if (it.entry == kBarChildSysMenu || it.entry >= 0) order.push_back(it.entry);
    }
    std::stable_sort(order.begin(), order.end(), [](int a, int b) { return a < 0 && b >= 0; });
    return order;
}

Rect bar_item_on_screen(int entry) {
    WindowRec* w = find(track().bar_window);
    if (!w) return Rect{};
    if (entry == kBarFrameSysMenu) return system_menu_anchor(*w);
    Rect s = screen_rect_of(*w);
    for (const BarItem& it : bar_layout_in_window(*w).items) {
        if (it.entry == entry) return it.rect.offset(s.left, s.top);
    }
    return Rect{};
}

int bar_item_at(Point screen) {
    WindowRec* w = find(track().bar_window);
    if (!w) return kNoBarItem;
    Rect s = screen_rect_of(*w);
    Point p{screen.x - s.left, screen.y - s.top};
    for (const BarItem& it : bar_layout_in_window(*w).items) {
        if (it.rect.contains(p)) return it.entry;
    }
    return kNoBarItem;
}

int level_at(Point screen) {
    auto& levels = track().levels;
    for (int i = static_cast<int>(levels.size()) - 1; i >= 0; --i) {
        WindowRec* w = find(levels[static_cast<std::size_t>(i)].window);
        if (w && screen_rect_of(*w).contains(screen)) return i;
    }
    return -1;
}

int item_at(std::size_t i, Point screen) {
    MenuLevel& l = track().levels[i];
    WindowRec* w = find(l.window);
    MenuRec* m = find_menu(l.menu);
    if (!w || !m) return -1;
    DropLayout d = drop_layout(*m);
    Rect s = screen_rect_of(*w);
    Point p{screen.x - s.left, screen.y - s.top};
    for (std::size_t k = 0; k < d.items.size(); ++k) {
        if (d.items[k].contains(p) && is_selectable(m->entries[k])) return static_cast<int>(k);
    }
    return -1;
}

WindowRec* merged_child() {
    WindowRec* w = find(track().bar_window);
    return w ? maximized_mdi_child(*w) : nullptr;
}

void start_tracking(WindowId owner, WindowId bar_window) {
    end_menu_tracking(true);
    auto& t = track();
    t = MenuTrack{};
    t.active = true;
    t.owner = owner;
    t.bar_window = bar_window;
}

// Carries out a command: the tracking ends and the command goes where it belongs.
void choose(MenuId holder, int position) {
    MenuRec* m = find_menu(holder);
    if (!m || position < 0 || static_cast<std::size_t>(position) >= m->entries.size()) return;
    const MenuEntry e = m->entries[static_cast<std::size_t>(position)];
    if (!is_selectable(e) || (e.flags & kMenuGrayed) || e.submenu) return;
    auto& t = track();
    WindowId owner = t.owner;
    WindowId system_of = m->system_of;
    bool popup = t.popup;
    if (t.outcome) t.outcome->result = e.identifier;
    end_menu_tracking(true);
    if (popup) return;
    if (WindowRec* target = find(system_of)) {
        carry_out_sys_command(*target, e.identifier);
        return;
    }
    post_simple(owner, kMsgCommand, e.identifier);
}

// Acts on one of a merged MDI child's buttons in the frame's bar.
void child_button(int entry) {
    WindowRec* child = merged_child();
    end_menu_tracking(true);
    if (!child) return;
    if (entry == kBarChildClose) post_simple(child->handle, kMsgClose, 0);
    else if (entry == kBarChildRestore) carry_out_sys_command(*child, kSysRestore);
    else if (entry == kBarChildMinimize) carry_out_sys_command(*child, kSysMinimize);
}

bool is_child_button(int entry) {
    return entry == kBarChildClose || entry == kBarChildRestore || entry == kBarChildMinimize;
}

// Highlights a bar entry and, when open is set, drops its menu down.
void open_bar_entry(int entry, bool open, bool by_key) {
    auto& t = track();
    close_levels_from(0);
    t.bar_index = entry;
    t.bar_open = false;
    repaint_bar();
    WindowRec* bar = find(t.bar_window);
    if (!bar) return;
    MenuId sub = 0;
    if (entry == kBarFrameSysMenu) {
        sub = system_menu_locked(*bar);
        post_simple(t.owner, kMsgMenuSelect, 0, 0, 0);
    } else if (entry == kBarChildSysMenu) {
        if (WindowRec* child = merged_child()) sub = system_menu_locked(*child);
        post_simple(t.owner, kMsgMenuSelect, 0, 0, 0);
    } else if (MenuRec* m = find_menu(bar->menu); m && entry >= 0 && static_cast<std::size_t>(entry) < m->entries.size()) {
        const MenuEntry& e = m->entries[static_cast<std::size_t>(entry)];
        post_select(m->handle, entry);
        if (!(e.flags & kMenuGrayed)) sub = e.submenu;
    }
    if (open && sub) {
        open_level(sub, bar_item_on_screen(entry), true, by_key);
        t.bar_open = true;
    }
}

void move_bar(int dir, bool open) {
    std::vector<int> order = bar_order();
    if (order.empty()) return;
    auto it = std::find(order.begin(), order.end(), track().bar_index);
    int idx = it == order.end() ? 0 : static_cast<int>(it - order.begin()) + dir;
    int n = static_cast<int>(order.size());
    idx = ((idx % n) + n) % n;
    open_bar_entry(order[static_cast<std::size_t>(idx)], open, true);
}

// Enter or a mnemonic on the highlighted bar entry: open it, or carry out a command.
void activate_bar_entry(int entry) {
    WindowRec* bar = find(track().bar_window);
    if (!bar) return;
    MenuRec* m = find_menu(bar->menu);
    if (entry >= 0 && m && static_cast<std::size_t>(entry) < m->entries.size() && !m->entries[static_cast<std::size_t>(entry)].submenu) {
        choose(m->handle, entry);
        return;
    }
    open_bar_entry(entry, true, true);
}

// The mnemonic a key stands for (letters and digits; upper case), 0 for none.
char32_t key_mnemonic(std::uint32_t vk) {
    if (vk >= kVkA && vk <= kVkZ) return vk;
    if (vk >= kVk0 && vk <= kVk0 + 9) return vk;
    if (vk >= kVkNumpad0 && vk <= kVkNumpad0 + 9) return '0' + (vk - kVkNumpad0);
    return 0;
}

// Entries of m whose mnemonic is c.
std::vector<int> mnemonic_matches(const MenuRec& m, char32_t c) {
    std::vector<int> out;
    for (std::size_t i = 0; i < m.entries.size(); ++i) {
        if (is_selectable(m.entries[i]) && mnemonic_of(m.entries[i].text) == c) out.push_back(static_cast<int>(i));
    }
    return out;
}

void level_mnemonic(char32_t c) {
    auto& t = track();
    std::size_t i = t.levels.size() - 1;
    MenuRec* m = find_menu(t.levels[i].menu);
    if (!m) return;
    std::vector<int> hits = mnemonic_matches(*m, c);
    if (hits.empty()) {
        ++state().beeps;
        return;
    }
    if (hits.size() == 1) {
        const MenuEntry& e = m->entries[static_cast<std::size_t>(hits[0])];
        if (e.submenu) highlight(i, hits[0], true, true);
        else choose(m->handle, hits[0]);
        return;
    }
    // Several entries share the letter: step the highlight through them.
    int current = t.levels[i].highlight;
    int next = hits[0];
    for (int h : hits) {
        if (h > current) {
            next = h;
            break;
        }
    }
    highlight(i, next, false, false);
}

void level_key(std::uint32_t vk) {
    auto& t = track();
    std::size_t i = t.levels.size() - 1;
    MenuLevel& l = t.levels[i];
    MenuRec* m = find_menu(l.menu);
    if (!m) return;
    bool bar_mode = t.bar_window != 0;
    switch (vk) {
    case kVkUp:
    case kVkDown: {
        int dir = vk == kVkDown ? 1 : -1;
        int from = l.highlight < 0 ? (dir > 0 ? 0 : static_cast<int>(m->entries.size()) - 1) : l.highlight + dir;
        highlight(i, next_selectable(*m, from, dir), false, false);
        break;
    }
    case kVkRight: {
        const MenuEntry* e = l.highlight >= 0 ? &m->entries[static_cast<std::size_t>(l.highlight)] : nullptr;
        if (e && e->submenu && !(e->flags & kMenuGrayed)) {
            if (t.levels.size() == i + 1) open_level(e->submenu, level_item_on_screen(i, l.highlight), false, true);
        } else if (bar_mode) {
            move_bar(1, true);
        }
        break;
    }
    case kVkLeft:
        if (t.levels.size() > 1) close_levels_from(t.levels.size() - 1);
        else if (bar_mode) move_bar(-1, true);
        break;
    case kVkReturn:
        if (l.highlight >= 0) {
            const MenuEntry& e = m->entries[static_cast<std::size_t>(l.highlight)];
            if (e.submenu) highlight(i, l.highlight, true, true);
            else choose(m->handle, l.highlight);
        }
        break;
    case kVkEscape:
        if (t.levels.size() > 1) {
            close_levels_from(t.levels.size() - 1);
        } else if (bar_mode) {
            close_levels_from(0);
            t.bar_open = false;
            repaint_bar();
        } else {
            end_menu_tracking(true);
        }
        break;
    default:
        if (char32_t c = key_mnemonic(vk)) level_mnemonic(c);
        break;
    }
}

// A mnemonic typed while only the bar is highlighted opens (or chooses) its entry.
void bar_mnemonic(char32_t c) {
    WindowRec* bar = find(track().bar_window);
    MenuRec* m = bar ? find_menu(bar->menu) : nullptr;
    std::vector<int> hits = m ? mnemonic_matches(*m, c) : std::vector<int>{};
    if (hits.empty()) ++state().beeps;
    else activate_bar_entry(hits[0]);
}

void bar_key(std::uint32_t vk) {
    auto& t = track();
    switch (vk) {
    case kVkLeft: move_bar(-1, false); break;
    case kVkRight: move_bar(1, false); break;
    case kVkUp:
    case kVkDown:
    case kVkReturn: activate_bar_entry(t.bar_index); break;
    case kVkEscape: end_menu_tracking(true); break;
    default:
        if (char32_t c = key_mnemonic(vk)) bar_mnemonic(c);
        break;
    }
}

// True when a press at screen is the second click of a double click on window w's
// frame, the first having been recorded in last_press.
bool second_click_on(const WindowRec& w, Point screen) {
    const auto& last = state().last_press;
    ScreenMetrics sm = metrics_locked();
    return last.window == w.handle && last.on_frame && last.button == kButtonLeft &&
           now_ms() - last.time <= static_cast<std::uint64_t>(sm.double_click_ms) &&
           std::abs(screen.x - last.where.x) <= sm.double_click_distance &&
           std::abs(screen.y - last.where.y) <= sm.double_click_distance;
}

}  // namespace

std::shared_ptr<MenuTrack::Outcome> start_popup_tracking(MenuId menu, Point screen, WindowId owner, bool right_button) {
    auto& st = state();
    start_tracking(owner, 0);
    auto& t = track();
    t.popup = true;
    t.right_button = right_button;
    t.outcome = std::make_shared<MenuTrack::Outcome>();
    std::shared_ptr<MenuTrack::Outcome> outcome = t.outcome;
    // A button still held from the click that asked for the menu chooses on release.
    t.pressed = (st.buttons & (kButtonLeft | (right_button ? kButtonRight : 0u))) != 0;
    t.opened_by_press = true;
    if (!open_level(menu, Rect{screen.x, screen.y, screen.x, screen.y}, true, false)) {
        end_menu_tracking(false);
        outcome->done = true;
        return nullptr;
    }
    return outcome;
}

void end_menu_tracking(bool notify) {
    auto& st = state();
    if (!st.track.active) return;
    MenuTrack old = std::move(st.track);
    st.track = MenuTrack{};
    for (auto it = old.levels.rbegin(); it != old.levels.rend(); ++it) {
        if (find(it->window)) destroy_locked(it->window);
    }
    if (WindowRec* w = find(old.bar_window)) {
        paint_frame(*w);
        damage_window(*w);
    }
    if (notify && !old.popup) post_simple(old.owner, kMsgMenuSelect, 0);
    if (old.outcome) old.outcome->done = true;
    notify_all_queues();
}

bool menu_mouse_move(Point screen) {
    auto& t = track();
    if (!t.active) return false;
    int li = level_at(screen);
    if (li >= 0) {
        int pos = item_at(static_cast<std::size_t>(li), screen);
        if (pos >= 0) highlight(static_cast<std::size_t>(li), pos, true, false);
        return true;
    }
    if (t.bar_window && (t.bar_open || t.pressed)) {
        int b = bar_item_at(screen);
        if (b != kNoBarItem && b != t.bar_index && !is_child_button(b)) open_bar_entry(b, true, false);
    }
    return true;
}

bool menu_mouse_button(Point screen, std::uint32_t button, bool down) {
    auto& t = track();
    if (!t.active) return false;
    bool chooser = button == kButtonLeft || (button == kButtonRight && t.right_button);
    int li = level_at(screen);
    if (down) {
        if (li >= 0) {
            if (chooser) {
                t.pressed = true;
                t.opened_by_press = false;
                int pos = item_at(static_cast<std::size_t>(li), screen);
                if (pos >= 0) highlight(static_cast<std::size_t>(li), pos, true, false);
            }
            return true;
        }
        int b = t.bar_window ? bar_item_at(screen) : kNoBarItem;
        if (b != kNoBarItem) {
            if (is_child_button(b)) {
                child_button(b);
            } else if (b == t.bar_index && (t.bar_open || !t.levels.empty())) {
                end_menu_tracking(true);  // a click on the open title closes its menu
            } else if (button == kButtonLeft) {
                open_bar_entry(b, true, false);
                t.pressed = true;
                t.opened_by_press = true;
            }
            return true;
        }
        // A second click on the icon whose click opened its system menu restores it.
        if (WindowRec* icon = find(t.icon_of); icon && button == kButtonLeft && screen_rect_of(*icon).contains(screen)) {
            bool dbl = second_click_on(*icon, screen);
            WindowId id = icon->handle;
            end_menu_tracking(true);
            state().last_press = DisplayState::Press{};
            icon = find(id);
            if (dbl && icon && icon->size_state == kSizeMinimized) set_size_state_locked(icon, kSizeRestored);
            return true;
        }
        // A second click on the system box that opened the menu is a double click: the
        // window is asked to close.
        if (WindowRec* owner = find(t.sys_box_of); owner && button == kButtonLeft) {
            Rect s = screen_rect_of(*owner);
            Rect box = frame_button_rect(*owner, FramePart::kSysMenuBox).offset(s.left, s.top);
            const auto& last = state().last_press;
            ScreenMetrics sm = metrics_locked();
            if (box.contains(screen)) {
                bool dbl = last.window == owner->handle && last.on_frame &&
                           now_ms() - last.time <= static_cast<std::uint64_t>(sm.double_click_ms);
                WindowId id = owner->handle;
                end_menu_tracking(true);
                state().last_press = DisplayState::Press{};
                if (dbl) post_simple(id, kMsgClose, 0);
                return true;
            }
        }
        end_menu_tracking(true);  // a press outside the menus dismisses them and goes no further
        return true;
    }
    if (!t.pressed || !chooser) return true;
    t.pressed = false;
    if (li >= 0) {
        int pos = item_at(static_cast<std::size_t>(li), screen);
        if (pos >= 0) {
            MenuRec* m = find_menu(t.levels[static_cast<std::size_t>(li)].menu);
            if (m && !m->entries[static_cast<std::size_t>(pos)].submenu) choose(m->handle, pos);
        }
        return true;
    }
    int b = t.bar_window ? bar_item_at(screen) : kNoBarItem;
    if (b != kNoBarItem && b == t.bar_index) {
        WindowRec* bar = find(t.bar_window);
        MenuRec* m = bar ? find_menu(bar->menu) : nullptr;
        if (b >= 0 && m && static_cast<std::size_t>(b) < m->entries.size() && !m->entries[static_cast<std::size_t>(b)].submenu) {
            choose(m->handle, b);  // a bar entry without a menu is a command of its own
            return true;
        }
        t.opened_by_press = false;
        return true;
    }
    if (t.opened_by_press) t.opened_by_press = false;
    else end_menu_tracking(true);
    return true;
}

bool menu_key(std::uint32_t vk, bool down) {
    auto& t = track();
    if (!t.active) return false;
    if (!down || vk == kVkShift || vk == kVkControl || vk == kVkMenu) return true;
    if (vk == kVkF10) {
        end_menu_tracking(true);
        return true;
    }
    if (!t.levels.empty()) level_key(vk);
    else if (t.bar_window) bar_key(vk);
    return true;
}

bool menu_text(std::string_view utf8) {
    auto& t = track();
    if (!t.active) return false;
    std::size_t pos = 0;
    // Each character is a mnemonic, in turn, for as long as the menus stay up.
    while (pos < utf8.size() && t.active) {
        char32_t c = upper_case_char(decode_char(utf8, pos));
        if (c <= 0x20 || c == 0x7F) continue;
        if (!t.levels.empty()) level_mnemonic(c);
        else if (t.bar_window) bar_mnemonic(c);
    }
    return true;
}

void menu_bar_press(WindowRec& w, Point window_point, std::uint32_t button) {
    if (button != kButtonLeft) return;
    start_tracking(w.handle, w.handle);
    auto& t = track();
    Point screen{window_point.x + screen_rect_of(w).left, window_point.y + screen_rect_of(w).top};
    int b = bar_item_at(screen);
    if (b == kNoBarItem) {
        end_menu_tracking(false);
        return;
    }
    if (is_child_button(b)) {
        child_button(b);
        return;
    }
    open_bar_entry(b, true, false);
    t.pressed = true;
    t.opened_by_press = true;
}

void open_system_menu(WindowRec& w, bool by_key) {
    // A maximised MDI child's system box is in its frame's bar.
    if (WindowRec* client = mdi_client_rec_of(w); client && w.size_state == kSizeMaximized) {
        WindowRec* frame = top_level_rec(client);
        if (frame && maximized_mdi_child(*frame) == &w && find_menu(frame->menu)) {
            start_tracking(frame->handle, frame->handle);
            open_bar_entry(kBarChildSysMenu, true, by_key);
            return;
        }
    }
    // From the keyboard, a window with a menu bar opens it as the first stop of the
    // bar's walk, so that Left and Right go on to the bar's menus.
    if (by_key && w.kind == WindowKind::kTopLevel && w.size_state != kSizeMinimized && find_menu(w.menu) && w.menu_rows > 0) {
        start_tracking(w.handle, w.handle);
        open_bar_entry(kBarFrameSysMenu, true, true);
        if (track().levels.empty()) end_menu_tracking(false);
        return;
    }
    start_tracking(w.handle, 0);
    if (!by_key) track().sys_box_of = w.handle;
    if (!open_level(system_menu_locked(w), system_menu_anchor(w), true, by_key)) end_menu_tracking(false);
}

void open_icon_menu(WindowRec& w) {
    open_system_menu(w, false);
    auto& t = track();
    if (t.active && t.sys_box_of == w.handle) {
        t.sys_box_of = 0;
        t.icon_of = w.handle;
    }
}

bool menu_enter_by_key(WindowRec& top) {
    if (!find_menu(top.menu) || top.menu_rows == 0) return false;
    start_tracking(top.handle, top.handle);
    std::vector<int> order = bar_order();
    if (order.empty()) {
        end_menu_tracking(false);
        return false;
    }
    // The first real entry, not a merged child's system box nor the window's own; a bar
    // with nothing but the window's system menu to walk is not entered.
    int first = order[0];
    for (int e : order) {
        if (e >= 0) {
            first = e;
            break;
        }
    }
    if (first == kBarFrameSysMenu) {
        first = order.size() > 1 ? order[1] : kBarFrameSysMenu;
        if (first == kBarFrameSysMenu) {
            end_menu_tracking(false);
            return false;
        }
    }
    open_bar_entry(first, false, true);
    return true;
}

bool menu_alt_key(WindowRec& top, std::uint32_t vk) {
    if (vk == kVkSpace) {
        if (!(top.style & kStyleSysMenu)) return false;
        open_system_menu(top, true);
        return true;
    }
    if (vk == kVkSubtract || vk == 0xBD) {
        WindowRec* client = find(top.mdi_client);
        WindowRec* child = client && !client->mdi_order.empty() ? find(client->mdi_order.front()) : nullptr;
        if (!child || !(child->style & kStyleSysMenu)) return false;
        open_system_menu(*child, true);
        return true;
    }
    char32_t c = key_mnemonic(vk);
    return c && menu_alt_char(top, c);
}

bool menu_alt_char(WindowRec& top, char32_t c) {
    MenuRec* m = find_menu(top.menu);
    if (!m || top.menu_rows == 0) return false;
    std::vector<int> hits = mnemonic_matches(*m, upper_case_char(c));
    if (hits.empty()) return false;
    start_tracking(top.handle, top.handle);
    activate_bar_entry(hits[0]);
    return true;
}

}  // namespace sk::platform::display::detail
