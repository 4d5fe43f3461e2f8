// Input routing: mouse messages to the window under the mouse (or the capture),
// keyboard messages to the focus; clicks activate, focus and act on frames.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/display/utf8.h"
#include "platform/display/window_manager.h"

namespace sk::platform::display::detail {

namespace {

Point client_point(const WindowRec& w, Point screen) {
    Rect s = screen_rect_of(w);
    Rect c = client_in_window(w);
    return Point{screen.x - s.left - c.left, screen.y - s.top - c.top};
}

Message mouse_message(MessageCode code, const WindowRec& w, Point screen) {
    auto& st = state();
    Message m;
    m.code = code;
    m.pos = client_point(w, screen);
    m.wparam = st.buttons;
    m.modifiers = st.modifiers;
    m.time = now_ms();
    return m;
}

MessageCode down_code(std::uint32_t button, bool dbl) {
    if (button == kButtonRight) return dbl ? kMsgRButtonDblClk : kMsgRButtonDown;
    if (button == kButtonMiddle) return dbl ? kMsgMButtonDblClk : kMsgMButtonDown;
    return dbl ? kMsgLButtonDblClk : kMsgLButtonDown;
}

MessageCode up_code(std::uint32_t button) {
    if (button == kButtonRight) return kMsgRButtonUp;
    if (button == kButtonMiddle) return kMsgMButtonUp;
    return kMsgLButtonUp;
}

// The window that should get a mouse message at a point: the capture, else the
// window under the mouse.
WindowRec* mouse_target(Point screen) {
    auto& st = state();
    if (WindowRec* c = find(st.capture)) return c;
    return find(hit_window(screen));
}

bool is_double_on_frame(const WindowRec& w, Point screen, std::uint32_t button) {
    auto& st = state();
    const auto& last = st.last_press;
    ScreenMetrics sm = metrics_locked();
    return last.on_frame && last.window == w.handle && last.button == button && !last.was_double &&
           now_ms() - last.time <= static_cast<std::uint64_t>(sm.double_click_ms) &&
           std::abs(screen.x - last.where.x) <= sm.double_click_distance &&
           std::abs(screen.y - last.where.y) <= sm.double_click_distance;
}

bool has_nonclient_parts(const WindowRec& w) {
    return w.style != 0 || w.menu != 0 || w.vscroll.shown || w.hscroll.shown;
}

void start_sizing(WindowRec& w, unsigned edges, Point screen, bool keyboard) {
    auto& st = state();
    st.sizing = SizeTrack{};
    st.sizing.window = w.handle;
    st.sizing.edges = edges;
    st.sizing.start = screen;
    st.sizing.start_rect = w.rect;
    st.sizing.keyboard = keyboard;
    st.cursor = edges ? cursor_for_edges(edges) : Cursor::kSizeAll;
    st.frame_cursor = true;
}

// A press on a window's frame; true when the frame handled it.
bool press_frame(WindowRec& w, Point screen, std::uint32_t button) {
    if (!has_nonclient_parts(w)) return false;
    Rect s = screen_rect_of(w);
    Point wp{screen.x - s.left, screen.y - s.top};
    FramePart part = frame_part(w, wp);
    if (part == FramePart::kClient || part == FramePart::kNone) return false;
    if (button != kButtonLeft) return true;
    auto& st = state();
    bool dbl = is_double_on_frame(w, screen, button);
    st.last_press = DisplayState::Press{w.handle, button, now_ms(), screen, dbl, true};
    st.icon_press = 0;
    st.icon_moved = false;
    switch (part) {
    case FramePart::kCloseBox: {
        Message m;
        m.code = kMsgClose;
        m.time = now_ms();
        post_to_window(w, m);
        break;
    }
    case FramePart::kMaximizeBox:
        if (frame_box_enabled(w, part))
            set_size_state_locked(&w, w.size_state == kSizeMaximized ? kSizeRestored : kSizeMaximized);
        break;
    case FramePart::kMinimizeBox:
        if (frame_box_enabled(w, part))
            set_size_state_locked(&w, w.size_state == kSizeMinimized ? kSizeRestored : kSizeMinimized);
        break;
    case FramePart::kSysMenuBox:
        if (dbl) {
            Message m;
            m.code = kMsgClose;
            m.time = now_ms();
            post_to_window(w, m);
        } else {
            open_system_menu(w, false);
        }
        break;
    case FramePart::kMenuBar:
        menu_bar_press(w, wp, button);
        break;
    case FramePart::kVScroll:
    case FramePart::kHScroll:
        scroll_bar_press(w, wp);
        break;
    case FramePart::kCaption:
        if (dbl) {
            // A double click on the caption maximises, or restores a maximised or minimised window.
            st.dragging = 0;
            if (w.size_state != kSizeRestored) set_size_state_locked(&w, kSizeRestored);
            else if (w.style & kStyleMaximizeBox) set_size_state_locked(&w, kSizeMaximized);
        } else if (w.size_state != kSizeMaximized) {
            st.dragging = w.handle;
            st.drag_offset = Point{screen.x - s.left, screen.y - s.top};
            // A minimised window is an icon: a click opens its system menu, a drag moves it.
            if (w.size_state == kSizeMinimized && (w.style & kStyleSysMenu)) st.icon_press = w.handle;
        }
        break;
    case FramePart::kBorder:
        if (unsigned edges = sizing_edges(w, wp)) start_sizing(w, edges, screen, false);
        break;
    default:
        break;
    }
    return true;
}

// The sizing rectangle for the mouse at screen.
void apply_sizing(Point screen) {
    auto& st = state();
    WindowRec* w = find(st.sizing.window);
    if (!w) return;
    int dx = screen.x - st.sizing.start.x, dy = screen.y - st.sizing.start.y;
    Rect r = st.sizing.start_rect;
    unsigned e = st.sizing.edges;
    if (e == 0) {
        r = r.offset(dx, dy);
    } else {
        int f = frame_thickness(w->style);
        int min_w = 2 * f + 112;
        int min_h = 2 * f + ((w->style & kStyleCaption) ? 18 : 0) + 1;
        if (e & kEdgeLeft) r.left = std::min(r.left + dx, r.right - min_w);
        if (e & kEdgeRight) r.right = std::max(r.right + dx, r.left + min_w);
        if (e & kEdgeTop) r.top = std::min(r.top + dy, r.bottom - min_h);
        if (e & kEdgeBottom) r.bottom = std::max(r.bottom + dy, r.top + min_h);
    }
    move_locked(*w, r);
}

void end_sizing(bool cancel) {
    auto& st = state();
    WindowRec* w = find(st.sizing.window);
    if (w && cancel) move_locked(*w, st.sizing.start_rect);
    st.sizing = SizeTrack{};
    st.frame_cursor = false;
    st.cursor = st.app_cursor;
}

// Arrow keys, Enter and Escape while moving or sizing from the system menu.
void sizing_key(std::uint32_t vk) {
    auto& st = state();
    constexpr int kStep = 8;
    switch (vk) {
    case kVkLeft: st.sizing.start.x += kStep; break;
    case kVkRight: st.sizing.start.x -= kStep; break;
    case kVkUp: st.sizing.start.y += kStep; break;
    case kVkDown: st.sizing.start.y -= kStep; break;
    case kVkReturn: end_sizing(false); return;
    case kVkEscape: end_sizing(true); return;
    default: return;
    }
    apply_sizing(st.mouse);
}

// The shape the mouse shows over a window's sizing border.
void update_frame_cursor(Point screen) {
    auto& st = state();
    WindowRec* w = find(hit_window(screen));
    unsigned edges = 0;
    if (w) {
        Rect s = screen_rect_of(*w);
        edges = sizing_edges(*w, Point{screen.x - s.left, screen.y - s.top});
    }
    if (edges) {
        st.cursor = cursor_for_edges(edges);
        st.frame_cursor = true;
    } else if (st.frame_cursor) {
        st.frame_cursor = false;
        st.cursor = st.app_cursor;
    }
}

}  // namespace

void input_mouse_move(Point screen) {
    auto& st = state();
    st.mouse = screen;
    if (menu_mouse_move(screen)) return;
    if (scroll_mouse_move(screen)) return;
    if (find(st.sizing.window)) {
        apply_sizing(screen);
        return;
    }
    if (!st.capture) update_frame_cursor(screen);
    if (WindowRec* d = find(st.dragging)) {
        if (st.icon_press == d->handle && !st.icon_moved) {
            const Point from = st.last_press.where;
            if (std::abs(screen.x - from.x) <= kIconDragThreshold && std::abs(screen.y - from.y) <= kIconDragThreshold) return;
            st.icon_moved = true;
        }
        // Caption drag: the window follows the mouse; a child stays in parent coordinates.
        Rect s = screen_rect_of(*d);
        int dx = screen.x - st.drag_offset.x - s.left;
        int dy = screen.y - st.drag_offset.y - s.top;
        move_locked(*d, d->rect.offset(dx, dy));
        return;
    }
    WindowRec* target = mouse_target(screen);
    WindowId id = target ? target->handle : 0;
    if (st.hover != id) {
        if (WindowRec* old = find(st.hover)) {
            Message m;
            m.code = kMsgMouseLeave;
            m.time = now_ms();
            post_to_window(*old, m);
        }
        st.hover = id;
    }
    if (!target) return;
    Message m = mouse_message(kMsgMouseMove, *target, screen);
    bool in_client = client_in_window(*target).offset(screen_rect_of(*target).left, screen_rect_of(*target).top).contains(screen);
    if (in_client || st.capture == id) post_to_window(*target, m);
}

void input_mouse_button(Point screen, std::uint32_t button, bool down) {
    auto& st = state();
    st.mouse = screen;
    st.alt_alone = false;
    if (down) st.buttons |= button;
    else st.buttons &= ~button;
    if (menu_mouse_button(screen, button, down)) return;
    if (!down && button == kButtonLeft && scroll_mouse_up()) return;
    if (find(st.scroll.window)) return;  // other buttons wait while a scroll bar is held
    if (find(st.sizing.window)) {
        // A drag ends with the release; a move or size from the system menu with a click.
        if (st.sizing.keyboard ? down : !down) end_sizing(false);
        return;
    }
    if (!down) {
        if (button == kButtonLeft) {
            st.dragging = 0;
            WindowRec* icon = find(st.icon_press);
            bool clicked = icon && !st.icon_moved && icon->size_state == kSizeMinimized;
            st.icon_press = 0;
            st.icon_moved = false;
            if (clicked) {
                open_icon_menu(*icon);
                return;
            }
        }
        WindowRec* target = mouse_target(screen);
        if (target) post_to_window(*target, mouse_message(up_code(button), *target, screen));
        return;
    }
    WindowRec* target = mouse_target(screen);
    if (!target) return;
    if (st.capture != target->handle) {
        WindowRec* top = top_level_rec(target);
        if (top && top->kind == WindowKind::kTopLevel) {
            if (!top->enabled) {
                // A window disabled behind a modal one: the press only beeps.
                ++st.beeps;
                return;
            }
            // Activation refocuses the window's last focus: let that be the pressed window,
            // so the focus moves once.
            if (st.active != top->handle && enabled_chain(*target) && !(target->style & kStyleNoFocus) &&
                frame_part(*target, Point{screen.x - screen_rect_of(*target).left,
                                          screen.y - screen_rect_of(*target).top}) == FramePart::kClient) {
                top->last_focus = target->handle;
            }
            if (st.active != top->handle) activate_locked(top->handle);
            else bring_to_top_locked(*top);
        }
        if (!enabled_chain(*target)) return;
        // Framed children (child frames) come to the top of their siblings when pressed.
        // A press on a control of an inactive MDI child makes that control the one the
        // child's activation refocuses, so the focus moves once.
        bool takes_press_focus = !(target->style & kStyleNoFocus) &&
                                 frame_part(*target, Point{screen.x - screen_rect_of(*target).left,
                                                           screen.y - screen_rect_of(*target).top}) == FramePart::kClient;
        for (WindowRec* p = target; p && p->kind == WindowKind::kChild; p = find(p->parent)) {
            if (p->style & kStyleCaption) bring_to_top_locked(*p);
            if (mdi_client_rec_of(*p)) {
                if (p != target && takes_press_focus) p->last_focus = target->handle;
                mdi_child_pressed(*p);
            }
        }
        if (!find(target->handle)) return;
        if (press_frame(*target, screen, button)) return;
        if (!(target->style & kStyleNoFocus)) focus_locked(target->handle);
        if (!find(target->handle)) return;
    }
    std::uint64_t t = now_ms();
    ScreenMetrics sm = metrics_locked();
    const auto& last = st.last_press;
    bool dbl = (target->style & kStyleDoubleClicks) && last.window == target->handle && last.button == button &&
               !last.was_double && t - last.time <= static_cast<std::uint64_t>(sm.double_click_ms) &&
               std::abs(screen.x - last.where.x) <= sm.double_click_distance &&
               std::abs(screen.y - last.where.y) <= sm.double_click_distance;
    st.last_press = DisplayState::Press{target->handle, button, t, screen, dbl, false};
    post_to_window(*target, mouse_message(down_code(button, dbl), *target, screen));
}

void input_mouse_wheel(Point screen, int distance) {
    auto& st = state();
    WindowRec* target = find(st.focus);
    if (!target) target = mouse_target(screen);
    if (!target) return;
    Message m = mouse_message(kMsgMouseWheel, *target, screen);
    m.lparam = distance;
    post_to_window(*target, m);
}

namespace {

void post_plain(WindowRec& w, MessageCode code, std::uint64_t wparam = 0) {
    Message m;
    m.code = code;
    m.wparam = wparam;
    m.time = now_ms();
    post_to_window(w, m);
}

// The keys the window manager takes before the focus window sees them: menu entry,
// mnemonics of the menu bar, and the keys of an MDI frame. True when taken.
bool system_key(std::uint32_t vk, bool down, bool alt_alone_released) {
    auto& st = state();
    WindowRec* top = find(st.active);
    if (alt_alone_released || (down && vk == kVkF10 && !(st.modifiers & (kModShift | kModControl | kModAlt)))) {
        if (!top) return false;
        if (!menu_enter_by_key(*top) && vk == kVkF10) {
            post_plain(*top, kMsgSysCommand, kSysKeyMenu);
        } else if (alt_alone_released && top->menu_rows == 0) {
            post_plain(*top, kMsgSysCommand, kSysKeyMenu);
        }
        return vk == kVkF10;
    }
    if (!down || !top) return false;
    if ((st.modifiers & kModAlt) && !(st.modifiers & kModControl) && vk != kVkMenu) return menu_alt_key(*top, vk);
    if ((st.modifiers & kModControl) && !(st.modifiers & kModAlt)) {
        WindowRec* client = find(top->mdi_client);
        std::vector<WindowId> kids;
        if (client) {
            for (WindowId id : client->mdi_order) {
                WindowRec* c = find(id);
                if (c && c->visible) kids.push_back(id);
            }
        }
        if (kids.empty()) return false;
        if (vk == kVkF1 + 3) {  // Ctrl+F4 asks the active child to close
            post_plain(*find(kids.front()), kMsgClose);
            return true;
        }
        if (vk == kVkF1 + 5 || vk == kVkTab) {  // Ctrl+F6 / Ctrl+Tab: the next child, Shift for the previous
            if (kids.size() < 2) return true;
            // Forward takes the child behind the active one and sends the active one to the
            // back; Shift goes the other way round.
            bool back = (st.modifiers & kModShift) != 0;
            WindowId previous = kids.front();
            if (WindowRec* c = find(back ? kids.back() : kids[1])) mdi_child_pressed(*c);
            if (!back) {
                if (WindowRec* cl = find(top->mdi_client)) {
                    std::erase(cl->mdi_order, previous);
                    cl->mdi_order.push_back(previous);
                }
            }
            return true;
        }
    }
    return false;
}

}  // namespace

void input_key(std::uint32_t vk, bool down) {
    auto& st = state();
    std::uint32_t mod = vk == kVkShift ? 1u * kModShift : vk == kVkControl ? 1u * kModControl : vk == kVkMenu ? 1u * kModAlt : 0u;
    if (mod) {
        if (down) st.modifiers |= mod;
        else st.modifiers &= ~mod;
    }
    // Alt pressed and released with nothing in between enters (or leaves) the menu bar.
    bool alt_alone_released = false;
    if (vk == kVkMenu) {
        if (down) st.alt_alone = st.modifiers == kModAlt;
        else alt_alone_released = st.alt_alone, st.alt_alone = false;
    } else if (down) {
        st.alt_alone = false;
    }
    // Each key event ends the keystroke before it; a key-down taken below swallows its text.
    st.swallow_key_text = false;
    if (find(st.sizing.window)) {
        if (down) sizing_key(vk);
        st.swallow_key_text = down;
        return;
    }
    if (st.track.active) {
        if (alt_alone_released) end_menu_tracking(true);
        else menu_key(vk, down);
        st.swallow_key_text = down;
        return;
    }
    if (system_key(vk, down, alt_alone_released)) {
        st.swallow_key_text = down;
        return;
    }
    WindowRec* target = find(st.focus);
    if (!target) target = find(st.active);
    if (!target) return;
    if (down && vk == kVkF1 + 3 && (st.modifiers & kModAlt) && !(st.modifiers & kModControl)) {
        // Alt+F4 asks the active window to close.
        if (WindowRec* top = find(st.active)) {
            Message m;
            m.code = kMsgClose;
            m.time = now_ms();
            post_to_window(*top, m);
            st.swallow_key_text = true;
            return;
        }
    }
    Message m;
    m.code = down ? kMsgKeyDown : kMsgKeyUp;
    m.wparam = vk;
    m.lparam = 1;
    m.modifiers = st.modifiers;
    m.time = now_ms();
    post_to_window(*target, m);
}

void input_text(std::string_view utf8) {
    auto& st = state();
    st.alt_alone = false;  // a character typed with Alt held makes it a combination
    if (st.swallow_key_text) {
        // The text of a keystroke whose key-down the window manager took.
        st.swallow_key_text = false;
        return;
    }
    if (menu_text(utf8)) return;  // typed characters are mnemonics while a menu is up
    if ((st.modifiers & kModAlt) && !(st.modifiers & kModControl) && !utf8.empty()) {
        // Alt with a character no key code stands for may still be a bar's mnemonic.
        std::size_t first = 0;
        WindowRec* top = find(st.active);
        if (top && menu_alt_char(*top, decode_char(utf8, first))) return;
    }
    WindowRec* target = find(st.focus);
    if (!target) target = find(st.active);
    if (!target) return;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t c = decode_char(utf8, pos);
        std::string encoded;
        append_utf8(encoded, c);
        Message m;
        m.code = kMsgChar;
        m.wparam = c;
        m.modifiers = st.modifiers;
        m.time = now_ms();
        std::memcpy(m.text, encoded.data(), std::min(encoded.size(), sizeof m.text - 1));
        post_to_window(*target, m);
    }
}

}  // namespace sk::platform::display::detail

namespace sk::platform::display::detail {

void carry_out_sys_command(WindowRec& w, std::uint32_t command) {
    // The window manager carries out the size and position commands itself, as the
    // frame's boxes do; Close only asks, and the window decides.
    switch (command) {
    case kSysMinimize: set_size_state_locked(&w, kSizeMinimized); break;
    case kSysMaximize: set_size_state_locked(&w, kSizeMaximized); break;
    case kSysRestore: set_size_state_locked(&w, kSizeRestored); break;
    case kSysMove:
        if (w.size_state != kSizeMaximized) start_sizing(w, 0, state().mouse, true);
        break;
    case kSysSize:
        if ((w.style & kStyleSizable) && w.size_state == kSizeRestored) start_sizing(w, kEdgeRight | kEdgeBottom, state().mouse, true);
        break;
    default: break;
    }
    if (!find(w.handle)) return;
    Message m;
    m.code = kMsgSysCommand;
    m.wparam = command;
    m.time = now_ms();
    post_to_window(w, m);
}

}  // namespace sk::platform::display::detail
