// Input routing: mouse messages to the window under the mouse (or the capture),
// keyboard messages to the focus; clicks activate, focus and act on frames.
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

// A press on a window's frame; true when the frame handled it.
bool press_frame(WindowRec& w, Point screen, std::uint32_t button) {
    if (w.style == 0) return false;
    Rect s = screen_rect_of(w);
    FramePart part = frame_part(w, Point{screen.x - s.left, screen.y - s.top});
    if (part == FramePart::kClient || part == FramePart::kNone) return false;
    if (button != kButtonLeft) return true;
    auto& st = state();
    switch (part) {
    case FramePart::kCloseBox: {
        Message m;
        m.code = kMsgClose;
        m.time = now_ms();
        post_to_window(w, m);
        break;
    }
    case FramePart::kMaximizeBox:
        set_size_state_locked(&w, w.size_state == kSizeMaximized ? kSizeRestored : kSizeMaximized);
        break;
    case FramePart::kMinimizeBox:
        set_size_state_locked(&w, w.size_state == kSizeMinimized ? kSizeRestored : kSizeMinimized);
        break;
    case FramePart::kCaption:
        if (w.size_state != kSizeMaximized) {
            st.dragging = w.handle;
            st.drag_offset = Point{screen.x - s.left, screen.y - s.top};
        }
        break;
    default:
        break;
    }
    return true;
}

}  // namespace

void input_mouse_move(Point screen) {
    auto& st = state();
    st.mouse = screen;
    if (WindowRec* d = find(st.dragging)) {
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
    if (!down) {
        st.buttons &= ~button;
        if (button == kButtonLeft) st.dragging = 0;
        WindowRec* target = mouse_target(screen);
        if (target) post_to_window(*target, mouse_message(up_code(button), *target, screen));
        return;
    }
    st.buttons |= button;
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
        for (WindowRec* p = target; p && p->kind == WindowKind::kChild; p = find(p->parent)) {
            if (p->style & kStyleCaption) bring_to_top_locked(*p);
        }
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
    st.last_press = DisplayState::Press{target->handle, button, t, screen, dbl};
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

void input_key(std::uint32_t vk, bool down) {
    auto& st = state();
    std::uint32_t mod = vk == kVkShift ? 1u * kModShift : vk == kVkControl ? 1u * kModControl : vk == kVkMenu ? 1u * kModAlt : 0u;
    if (mod) {
        if (down) st.modifiers |= mod;
        else st.modifiers &= ~mod;
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
