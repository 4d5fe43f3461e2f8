// Paint sessions, timers and the caret of windows.
#include <algorithm>

#include "platform/display/window.h"
#include "platform/display/window_manager.h"
#include "platform/system_error.h"

namespace sk::platform::display {

using namespace detail;

PaintSession::PaintSession(WindowId w, Rect rect, Surface&& scratch)
    : m_window(w), m_rect(rect), m_scratch(std::move(scratch)) {
    m_painter = std::make_unique<Painter>(m_scratch, Point{-rect.left, -rect.top}, m_scratch.bounds());
}

PaintSession::PaintSession(PaintSession&& other) noexcept
    : m_window(other.m_window), m_rect(other.m_rect), m_scratch(std::move(other.m_scratch)) {
    // The painter points at the scratch surface, which moved with its buffer intact.
    m_painter = std::make_unique<Painter>(m_scratch, Point{-m_rect.left, -m_rect.top}, m_scratch.bounds());
    other.m_window = 0;
}

PaintSession::~PaintSession() {
    end();
}

void PaintSession::end() {
    if (m_window == 0) return;
    WindowId w = m_window;
    m_window = 0;
    Lock lock(state().mutex);
    WindowRec* r = find(w);
    if (!r || m_rect.is_empty()) return;
    Rect c = client_in_window(*r);
    // The window may have changed size while painting: put back only what still fits.
    Rect area = m_rect.intersect(Rect{0, 0, c.width(), c.height()});
    if (area.is_empty()) return;
    r->surface.copy_from(m_scratch, area.offset(-m_rect.left, -m_rect.top), Point{c.left + area.left, c.top + area.top});
    if (shown(*r)) {
        Rect s = screen_rect_of(*r);
        add_damage(area.offset(s.left + c.left, s.top + c.top));
    }
}

namespace detail {

struct PaintAccess {
    static PaintSession make(WindowId w, Rect rect, Surface&& scratch) {
        return PaintSession(w, rect, std::move(scratch));
    }
};

}  // namespace detail

namespace {

WindowRec* get(WindowId w) {
    WindowRec* r = find(w);
    if (!r) set_last_system_error(kErrInvalidHandle);
    return r;
}

PaintSession make_session(WindowRec* r, Rect area) {
    if (!r) return PaintAccess::make(0, Rect{}, Surface());
    Rect c = client_in_window(*r);
    area = area.intersect(Rect{0, 0, c.width(), c.height()});
    Surface scratch(area.width(), area.height(), r->background);
    scratch.copy_from(r->surface, area.offset(c.left, c.top), Point{0, 0});
    return PaintAccess::make(r->handle, area, std::move(scratch));
}

}  // namespace

PaintSession begin_paint(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    Rect area = r ? r->invalid : Rect{};
    if (r) r->invalid = Rect{};
    return make_session(r, area);
}

PaintSession begin_draw(WindowId w, const Rect& client) {
    Lock lock(state().mutex);
    return make_session(get(w), client);
}

Surface window_image(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r ? r->surface : Surface();
}

bool set_timer(WindowId w, std::uint32_t timer, std::uint32_t interval_ms) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    if (interval_ms == 0) interval_ms = 1;
    std::uint64_t due = now_ms() + interval_ms;
    for (Timer& t : r->timers) {
        if (t.id == timer) {
            t.interval = interval_ms;
            t.due = due;
            queue_of(r->thread).ready.notify_all();
            return true;
        }
    }
    r->timers.push_back(Timer{timer, interval_ms, due});
    queue_of(r->thread).ready.notify_all();
    return true;
}

bool kill_timer(WindowId w, std::uint32_t timer) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    auto n = std::erase_if(r->timers, [timer](const Timer& t) { return t.id == timer; });
    if (n == 0) {
        set_last_system_error(kErrInvalidParameter);
        return false;
    }
    return true;
}

namespace {

void damage_caret() {
    auto& st = state();
    WindowRec* r = find(st.caret_owner);
    if (!r || !st.caret_shown) return;
    Rect s = screen_rect_of(*r);
    Rect c = client_in_window(*r);
    add_damage(st.caret.offset(s.left + c.left, s.top + c.top));
}

}  // namespace

bool create_caret(WindowId w, Size size) {
    auto& st = state();
    Lock lock(st.mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    damage_caret();
    st.caret_owner = w;
    st.caret = Rect::from_size(0, 0, std::max(size.width, 1), std::max(size.height, 1));
    st.caret_shown = false;
    return true;
}

bool destroy_caret() {
    auto& st = state();
    Lock lock(st.mutex);
    damage_caret();
    st.caret_owner = 0;
    st.caret_shown = false;
    return true;
}

bool set_caret_position(Point client) {
    auto& st = state();
    Lock lock(st.mutex);
    if (!st.caret_owner) {
        set_last_system_error(kErrInvalidHandle);
        return false;
    }
    damage_caret();
    st.caret = Rect::from_size(client.x, client.y, st.caret.width(), st.caret.height());
    damage_caret();
    return true;
}

bool show_caret(bool shown_now) {
    auto& st = state();
    Lock lock(st.mutex);
    if (!st.caret_owner) {
        set_last_system_error(kErrInvalidHandle);
        return false;
    }
    damage_caret();
    st.caret_shown = shown_now;
    damage_caret();
    return true;
}

WindowId caret_window() {
    Lock lock(state().mutex);
    return state().caret_owner;
}

}  // namespace sk::platform::display
