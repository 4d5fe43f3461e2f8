// The compositor: redraws the damaged parts of the screen from the windows'
// retained images, bottom of the z-order first, each child clipped to its parent's
// client area; then the caret. Also finds the window under a screen point.
#include "platform/display/window_manager.h"

namespace sk::platform::display::detail {

namespace {

void draw_tree(Surface& screen, const WindowRec& w, const Rect& clip) {
    if (!w.visible) return;
    Rect s = screen_rect_of(w);
    Rect visible = s.intersect(clip);
    if (visible.is_empty()) return;
    screen.copy_from(w.surface, visible.offset(-s.left, -s.top), visible.origin());
    if (w.size_state == kSizeMinimized) return;
    Rect client = client_in_window(w).offset(s.left, s.top);
    Rect inner = client.intersect(clip);
    if (inner.is_empty()) return;
    for (WindowId c : w.children) {
        if (const WindowRec* child = find(c)) draw_tree(screen, *child, inner);
    }
}

// The caret's rectangle on the screen, clipped to its window and the window's
// ancestors; empty when it is not to be drawn now.
Rect caret_on_screen() {
    auto& st = state();
    const WindowRec* w = find(st.caret_owner);
    if (!w || !st.caret_shown || !shown(*w)) return Rect{};
    int blink = metrics_locked().caret_blink_ms;
    if (blink > 0 && (now_ms() / static_cast<std::uint64_t>(blink)) % 2 != 0) return Rect{};
    Rect s = screen_rect_of(*w);
    Rect client = client_in_window(*w).offset(s.left, s.top);
    Rect r = st.caret.offset(client.left, client.top).intersect(client);
    for (const WindowRec* p = w->kind == WindowKind::kChild ? find(w->parent) : nullptr; p;
         p = p->kind == WindowKind::kChild ? find(p->parent) : nullptr) {
        Rect ps = screen_rect_of(*p);
        r = r.intersect(client_in_window(*p).offset(ps.left, ps.top));
    }
    // Covered by another window: leave it out rather than invert someone else's pixels.
    if (!r.is_empty() && hit_window(Point{r.left, r.top}) != w->handle) return Rect{};
    return r;
}

WindowId hit_tree(const WindowRec& w, Point p) {
    if (!w.visible) return 0;
    Rect s = screen_rect_of(w);
    if (!s.contains(p)) return 0;
    if (w.size_state != kSizeMinimized) {
        Rect client = client_in_window(w).offset(s.left, s.top);
        if (client.contains(p)) {
            for (auto it = w.children.rbegin(); it != w.children.rend(); ++it) {
                const WindowRec* c = find(*it);
                if (!c) continue;
                if (WindowId hit = hit_tree(*c, p)) return hit;
            }
        }
    }
    return w.handle;
}

}  // namespace

WindowId hit_window(Point p) {
    auto& st = state();
    for (auto it = st.top_windows.rbegin(); it != st.top_windows.rend(); ++it) {
        const WindowRec* w = find(*it);
        if (!w) continue;
        if (WindowId hit = hit_tree(*w, p)) return hit;
    }
    return 0;
}

void compose_locked() {
    auto& st = state();
    // The caret blinks on the clock, so its area is recomposed every time.
    if (const WindowRec* w = find(st.caret_owner); w && st.caret_shown) {
        Rect s = screen_rect_of(*w);
        Rect client = client_in_window(*w);
        add_damage(st.caret.offset(s.left + client.left, s.top + client.top));
    }
    if (st.damage.empty()) return;
    Color desktop = system_color(SystemColor::kDesktop);
    std::vector<Rect> damage;
    damage.swap(st.damage);
    for (const Rect& d : damage) {
        st.screen.fill(d, desktop);
        for (WindowId id : st.top_windows) {
            if (const WindowRec* w = find(id)) draw_tree(st.screen, *w, d);
        }
    }
    Rect caret = caret_on_screen();
    for (int y = caret.top; y < caret.bottom; ++y) {
        Color* row = st.screen.row(y);
        for (int x = caret.left; x < caret.right; ++x) row[x] ^= 0x00FFFFFFu;
    }
    if (!caret.is_empty()) add_damage(caret);  // so the next composition takes it away again
}

}  // namespace sk::platform::display::detail
