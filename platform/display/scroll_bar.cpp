// Standard scroll bars in the non-client area: their state, how they are drawn, and
// the gestures on them (arrow and track clicks that repeat while held, thumb drags).
#include "platform/display/scroll_bar.h"

#include <algorithm>
#include <limits>

#include "platform/display/window_manager.h"
#include "platform/system_error.h"

namespace sk::platform::display {

using namespace detail;

namespace {

constexpr std::uint64_t kRepeatDelayMs = 400;
constexpr int kRepeatIntervalMs = 50;
constexpr int kMinThumb = 8;

enum class Part { kNone, kArrowUp, kPageUp, kThumb, kPageDown, kArrowDown };

ScrollBarState& bar_state(WindowRec& w, ScrollBarKind bar) {
    return bar == ScrollBarKind::kVertical ? w.vscroll : w.hscroll;
}

// The largest position the thumb can show: with a page, the range's end less the page.
int top_position(const ScrollBarState& s) {
    long long top = s.page > 0 ? static_cast<long long>(s.maximum) - s.page + 1 : s.maximum;
    return static_cast<int>(std::max<long long>(top, s.minimum));
}

// The geometry of one bar along its length, in window coordinates.
struct BarGeometry {
    Rect rect;
    bool vertical = true;
    int start = 0, end = 0;        // along the bar
    int arrow = 16;                // length of each arrow button
    int track_start = 0, track_end = 0;
    int thumb_start = 0, thumb_end = 0;  // empty when there is no thumb
    bool enabled = true;
};

BarGeometry geometry(const WindowRec& w, ScrollBarKind bar) {
    NonClientLayout nc = nonclient_layout(w);
    const ScrollBarState& s = bar == ScrollBarKind::kVertical ? w.vscroll : w.hscroll;
    BarGeometry g;
    g.vertical = bar == ScrollBarKind::kVertical;
    g.rect = g.vertical ? nc.vscroll : nc.hscroll;
    g.start = g.vertical ? g.rect.top : g.rect.left;
    g.end = g.vertical ? g.rect.bottom : g.rect.right;
    int thickness = g.vertical ? g.rect.width() : g.rect.height();
    int length = g.end - g.start;
    g.arrow = std::min(thickness, length / 2);
    g.track_start = g.start + g.arrow;
    g.track_end = g.end - g.arrow;
    g.enabled = s.maximum > s.minimum;
    int track = g.track_end - g.track_start;
    long long span = static_cast<long long>(s.maximum) - s.minimum;
    g.thumb_start = g.thumb_end = g.track_start;
    if (!g.enabled || track <= 0) return g;
    int thumb = s.page > 0 ? static_cast<int>(std::min<long long>(track, static_cast<long long>(track) * s.page / (span + 1))) : thickness;
    thumb = std::max(thumb, std::min(kMinThumb, track));
    if (thumb >= track) return g;  // no room for a thumb to move: none is shown
    int travel = track - thumb;
    long long positions = static_cast<long long>(top_position(s)) - s.minimum;
    long long pos = static_cast<long long>(std::clamp(s.position, s.minimum, top_position(s))) - s.minimum;
    int offset = positions > 0 ? static_cast<int>(travel * pos / positions) : 0;
    g.thumb_start = g.track_start + offset;
    g.thumb_end = g.thumb_start + thumb;
    return g;
}

Part part_at(const BarGeometry& g, Point p) {
    if (!g.rect.contains(p)) return Part::kNone;
    int a = g.vertical ? p.y : p.x;
    if (a < g.track_start) return Part::kArrowUp;
    if (a >= g.track_end) return Part::kArrowDown;
    if (g.thumb_end > g.thumb_start) {
        if (a < g.thumb_start) return Part::kPageUp;
        if (a >= g.thumb_end) return Part::kPageDown;
        return Part::kThumb;
    }
    return Part::kNone;
}

Rect along(const BarGeometry& g, int from, int to) {
    return g.vertical ? Rect{g.rect.left, from, g.rect.right, to} : Rect{from, g.rect.top, to, g.rect.bottom};
}

void draw_arrow_glyph(Painter& p, const Rect& b, ScrollBarKind bar, bool up, bool enabled, int shift) {
    int cx = b.left + b.width() / 2 - 1 + shift, cy = b.top + b.height() / 2 - 1 + shift;
    auto draw = [&](int dx, Color c) {
        for (int i = 0; i < 4; ++i) {
            if (bar == ScrollBarKind::kVertical) {
                int y = up ? cy - 2 + i : cy + 1 - i;
                p.fill_rect(Rect{cx - i + dx, y + dx, cx + i + 1 + dx, y + 1 + dx}, c);
            } else {
                int x = up ? cx - 2 + i : cx + 1 - i;
                p.fill_rect(Rect{x + dx, cy - i + dx, x + 1 + dx, cy + i + 1 + dx}, c);
            }
        }
    };
    if (!enabled) {
        draw(1, system_color(SystemColor::kButtonHighlight));
        draw(0, system_color(SystemColor::kGrayText));
    } else {
        draw(0, system_color(SystemColor::kButtonText));
    }
}

void paint_bar(WindowRec& w, Painter& p, ScrollBarKind bar) {
    BarGeometry g = geometry(w, bar);
    if (g.rect.is_empty()) return;
    auto& st = state();
    bool tracking = st.scroll.window == w.handle && st.scroll.bar == bar;
    // The track: a fine checkerboard of the face and the highlight.
    Rect track = along(g, g.track_start, g.track_end);
    Color face = system_color(SystemColor::kScrollBar), hi = system_color(SystemColor::kButtonHighlight);
    p.fill_rect(track, face);
    for (int y = track.top; y < track.bottom; ++y)
        for (int x = track.left + ((track.left + y) & 1); x < track.right; x += 2) p.set_pixel(Point{x, y}, hi);
    if (tracking && !st.scroll.thumb && (st.scroll.action == kScrollPageUp || st.scroll.action == kScrollPageDown)) {
        Rect dark = st.scroll.action == kScrollPageUp ? along(g, g.track_start, g.thumb_start) : along(g, g.thumb_end, g.track_end);
        p.fill_rect(dark, system_color(SystemColor::kButtonDarkShadow));
    }
    for (int k = 0; k < 2; ++k) {
        bool up = k == 0;
        Rect b = up ? along(g, g.start, g.track_start) : along(g, g.track_end, g.end);
        if (b.is_empty()) continue;
        bool pressed = tracking && !st.scroll.thumb && st.scroll.action == (up ? kScrollLineUp : kScrollLineDown);
        p.fill_rect(b, system_color(SystemColor::kButtonFace));
        if (pressed) p.frame_rect(b, system_color(SystemColor::kButtonShadow));
        else p.draw_edge(b, Edge::kRaised);
        draw_arrow_glyph(p, b, bar, up, g.enabled, pressed ? 1 : 0);
    }
    if (g.thumb_end > g.thumb_start) {
        Rect t = along(g, g.thumb_start, g.thumb_end);
        p.fill_rect(t, system_color(SystemColor::kButtonFace));
        p.draw_edge(t, Edge::kRaised);
    }
}

void refresh(WindowRec& w) {
    paint_frame(w);
    damage_window(w);
}

void post_scroll(WindowRec& w, ScrollBarKind bar, ScrollAction action, int position) {
    Message m;
    m.code = kMsgScroll;
    m.wparam = action;
    m.lparam = position;
    m.flags = static_cast<std::uint32_t>(bar);
    m.time = now_ms();
    post_to_window(w, m);
}

Point window_point(const WindowRec& w, Point screen) {
    Rect s = screen_rect_of(w);
    return Point{screen.x - s.left, screen.y - s.top};
}

ScrollAction action_of(Part part) {
    switch (part) {
    case Part::kArrowUp: return kScrollLineUp;
    case Part::kArrowDown: return kScrollLineDown;
    case Part::kPageUp: return kScrollPageUp;
    case Part::kPageDown: return kScrollPageDown;
    default: return kScrollEndScroll;
    }
}

WindowRec* get(WindowId w) {
    WindowRec* r = find(w);
    if (!r) set_last_system_error(kErrInvalidHandle);
    return r;
}

}  // namespace

namespace detail {

void paint_scroll_bars(WindowRec& w, Painter& p, const NonClientLayout& layout) {
    if (w.vscroll.shown) paint_bar(w, p, ScrollBarKind::kVertical);
    if (w.hscroll.shown) paint_bar(w, p, ScrollBarKind::kHorizontal);
    if (!layout.size_box.is_empty()) p.fill_rect(layout.size_box, system_color(SystemColor::kButtonFace));
}

void scroll_bar_press(WindowRec& w, Point wp) {
    auto& st = state();
    for (ScrollBarKind bar : {ScrollBarKind::kVertical, ScrollBarKind::kHorizontal}) {
        if (!bar_state(w, bar).shown) continue;
        BarGeometry g = geometry(w, bar);
        Part part = part_at(g, wp);
        if (part == Part::kNone || !g.enabled) continue;
        ScrollBarState& s = bar_state(w, bar);
        st.scroll = ScrollTrack{};
        st.scroll.window = w.handle;
        st.scroll.bar = bar;
        if (part == Part::kThumb) {
            st.scroll.thumb = true;
            st.scroll.action = kScrollThumbTrack;
            st.scroll.grab_offset = (g.vertical ? wp.y : wp.x) - g.thumb_start;
            st.scroll.drag_position = s.position;
        } else {
            st.scroll.action = action_of(part);
            st.scroll.repeat_due = now_ms() + kRepeatDelayMs;
            post_scroll(w, bar, st.scroll.action, s.position);
        }
        refresh(w);
        return;
    }
}

bool scroll_mouse_move(Point screen) {
    auto& st = state();
    WindowRec* w = find(st.scroll.window);
    if (!w) return false;
    if (!st.scroll.thumb) return true;
    BarGeometry g = geometry(*w, st.scroll.bar);
    ScrollBarState& s = bar_state(*w, st.scroll.bar);
    Point wp = window_point(*w, screen);
    int travel = (g.track_end - g.track_start) - (g.thumb_end - g.thumb_start);
    int start = (g.vertical ? wp.y : wp.x) - st.scroll.grab_offset - g.track_start;
    long long positions = static_cast<long long>(top_position(s)) - s.minimum;
    int pos = s.minimum;
    if (travel > 0) {
        start = std::clamp(start, 0, travel);
        pos = static_cast<int>(s.minimum + (static_cast<long long>(start) * positions + travel / 2) / travel);
    }
    if (pos != st.scroll.drag_position) {
        st.scroll.drag_position = pos;
        post_scroll(*w, st.scroll.bar, kScrollThumbTrack, pos);
    }
    return true;
}

bool scroll_mouse_up() {
    auto& st = state();
    WindowRec* w = find(st.scroll.window);
    if (!w) return false;
    ScrollTrack t = st.scroll;
    st.scroll = ScrollTrack{};
    if (t.thumb) post_scroll(*w, t.bar, kScrollThumbPosition, t.drag_position);
    post_scroll(*w, t.bar, kScrollEndScroll, bar_state(*w, t.bar).position);
    refresh(*w);
    return true;
}

std::uint64_t next_system_timer() {
    auto& st = state();
    if (!find(st.scroll.window) || st.scroll.thumb) return std::numeric_limits<std::uint64_t>::max();
    return st.scroll.repeat_due;
}

std::uint64_t run_system_timers() {
    auto& st = state();
    WindowRec* w = find(st.scroll.window);
    std::uint64_t now = now_ms();
    if (w && !st.scroll.thumb && now >= st.scroll.repeat_due) {
        // The gesture repeats while the mouse stays over the part it began on; a page
        // click stops once the thumb has come up to the mouse.
        BarGeometry g = geometry(*w, st.scroll.bar);
        Part part = part_at(g, window_point(*w, st.mouse));
        if (action_of(part) == st.scroll.action) post_scroll(*w, st.scroll.bar, st.scroll.action, bar_state(*w, st.scroll.bar).position);
        st.scroll.repeat_due = now + kRepeatIntervalMs;
    }
    return next_system_timer();
}

}  // namespace detail

bool show_scroll_bar(WindowId window, ScrollBarKind bar, bool shown_now) {
    Lock lock(state().mutex);
    WindowRec* w = get(window);
    if (!w) return false;
    ScrollBarState& s = bar_state(*w, bar);
    if (s.shown == shown_now) return true;
    Rect old = client_in_window(*w);
    s.shown = shown_now;
    if (!shown_now && state().scroll.window == window && state().scroll.bar == bar) state().scroll = ScrollTrack{};
    nonclient_changed(*w, old);
    return true;
}

bool scroll_bar_shown(WindowId window, ScrollBarKind bar) {
    Lock lock(state().mutex);
    WindowRec* w = get(window);
    return w && bar_state(*w, bar).shown;
}

bool set_scroll_range(WindowId window, ScrollBarKind bar, int minimum, int maximum) {
    Lock lock(state().mutex);
    WindowRec* w = get(window);
    if (!w) return false;
    if (minimum > maximum) {
        set_last_system_error(kErrInvalidParameter);
        return false;
    }
    ScrollBarState& s = bar_state(*w, bar);
    s.minimum = minimum;
    s.maximum = maximum;
    s.position = std::clamp(s.position, s.minimum, top_position(s));
    if (s.shown) refresh(*w);
    return true;
}

bool set_scroll_position(WindowId window, ScrollBarKind bar, int position) {
    Lock lock(state().mutex);
    WindowRec* w = get(window);
    if (!w) return false;
    ScrollBarState& s = bar_state(*w, bar);
    int clamped = std::clamp(position, s.minimum, top_position(s));
    if (clamped == s.position) return true;
    s.position = clamped;
    if (s.shown) refresh(*w);
    return true;
}

int scroll_position(WindowId window, ScrollBarKind bar) {
    Lock lock(state().mutex);
    WindowRec* w = get(window);
    return w ? bar_state(*w, bar).position : 0;
}

bool scroll_range(WindowId window, ScrollBarKind bar, int* minimum, int* maximum) {
    Lock lock(state().mutex);
    WindowRec* w = get(window);
    if (!w) return false;
    if (minimum) *minimum = bar_state(*w, bar).minimum;
    if (maximum) *maximum = bar_state(*w, bar).maximum;
    return true;
}

bool set_scroll_page(WindowId window, ScrollBarKind bar, int page) {
    Lock lock(state().mutex);
    WindowRec* w = get(window);
    if (!w) return false;
    if (page < 0) {
        set_last_system_error(kErrInvalidParameter);
        return false;
    }
    ScrollBarState& s = bar_state(*w, bar);
    s.page = page;
    s.position = std::clamp(s.position, s.minimum, top_position(s));
    if (s.shown) refresh(*w);
    return true;
}

}  // namespace sk::platform::display
