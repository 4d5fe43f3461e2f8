// Opening and closing the display, the display clock, screen metrics, clipboard,
// cursors and the beep.
#include "platform/display/display.h"

#include <cstdlib>
#include <cstring>

#include "platform/display/window_manager.h"
#include "platform/system_error.h"

namespace sk::platform::display {

using namespace detail;

namespace detail {

ScreenMetrics metrics_locked() {
    ScreenMetrics m;
    m.width = state().screen.width();
    m.height = state().screen.height();
    m.dpi = logical_dpi();
    return m;
}

}  // namespace detail

Backend backend_from_environment() {
    const char* v = std::getenv("SITEKEEPER_DISPLAY");
    if (v && std::strcmp(v, "headless") == 0) return Backend::kHeadless;
    return Backend::kSdl;
}

bool open_display() {
    return open_display(backend_from_environment());
}

bool open_display(Backend backend, Size screen) {
    auto& st = state();
    Lock lock(st.mutex);
    if (st.open) {
        if (st.backend == backend) return true;
        set_last_system_error(kErrInvalidFunction);
        return false;
    }
    if (screen.width <= 0 || screen.height <= 0 || screen.width > 16384 || screen.height > 16384) {
        set_last_system_error(kErrInvalidParameter);
        return false;
    }
    st.open = true;
    st.backend = backend;
    st.virtual_clock = backend == Backend::kHeadless;
    st.virtual_ms = 0;
    st.opened_at = std::chrono::steady_clock::now();
    st.screen = Surface(screen.width, screen.height, system_color(SystemColor::kDesktop));
    st.damage.clear();
    st.damage.push_back(st.screen.bounds());
    st.active = st.focus = st.capture = st.hover = st.dragging = 0;
    st.caret_owner = 0;
    st.caret_shown = false;
    st.mouse = Point{};
    st.buttons = st.modifiers = 0;
    st.last_press = DisplayState::Press{};
    st.clipboard.clear();
    st.clipboard_set = false;
    st.clipboard_dirty = false;
    st.readback_requested = st.readback_ready = false;
    st.cursor = st.app_cursor = Cursor::kArrow;
    st.beeps = 0;
    st.track = MenuTrack{};
    st.scroll = ScrollTrack{};
    st.sizing = SizeTrack{};
    st.alt_alone = false;
    st.frame_cursor = false;
    if (backend == Backend::kSdl && !sdl_start(screen)) {
        st.open = false;
        st.screen = Surface();
        st.damage.clear();
        return false;
    }
    return true;
}

void close_display() {
    auto& st = state();
    sdl_stop();  // first, without the mutex: the backend's thread takes it while it runs
    Lock lock(st.mutex);
    if (!st.open) return;
    std::vector<WindowId> tops = st.top_windows;
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) destroy_locked(*it);
    st.windows.clear();
    st.top_windows.clear();
    st.menus.clear();
    st.track = MenuTrack{};
    st.open = false;
    // Waiting loops see the display closed; their queues live on in their own hands.
    for (auto& [id, q] : st.queues) {
        q->woken = true;
        q->ready.notify_all();
    }
    st.queues.clear();
    st.damage.clear();
    st.idle_changed.notify_all();
}

bool is_display_open() {
    Lock lock(state().mutex);
    return state().open;
}

Backend display_backend() {
    Lock lock(state().mutex);
    return state().backend;
}

std::uint64_t display_clock_ms() {
    Lock lock(state().mutex);
    return now_ms();
}

ScreenMetrics screen_metrics() {
    Lock lock(state().mutex);
    return metrics_locked();
}

void set_clipboard_text(std::string_view text) {
    Lock lock(state().mutex);
    state().clipboard.assign(text);
    state().clipboard_set = true;
    state().clipboard_dirty = state().open && state().backend == Backend::kSdl;
}

bool read_presented_screen(Surface& out, int timeout_ms) {
    auto& st = state();
    Lock lock(st.mutex);
    if (!st.open || st.backend != Backend::kSdl) {
        set_last_system_error(kErrNotSupported);
        return false;
    }
    st.readback_ready = false;
    st.readback_requested = true;
    add_damage(st.screen.bounds());  // so that the next pass presents and reads back
    bool ok = st.idle_changed.wait_for(lock, std::chrono::milliseconds(std::max(timeout_ms, 0)),
                                       [&] { return st.readback_ready || !st.open; });
    if (!ok || !st.readback_ready) return false;
    out = st.readback;
    return true;
}

std::string clipboard_text() {
    Lock lock(state().mutex);
    return state().clipboard;
}

bool clipboard_has_text() {
    Lock lock(state().mutex);
    return state().clipboard_set;
}

void set_cursor(Cursor cursor) {
    Lock lock(state().mutex);
    state().app_cursor = cursor;
    // While the mouse rests on a sizing border the border's shape stays.
    if (!state().frame_cursor) state().cursor = cursor;
}

Cursor current_cursor() {
    Lock lock(state().mutex);
    return state().cursor;
}

void beep() {
    Lock lock(state().mutex);
    ++state().beeps;
}

std::uint64_t beep_count() {
    Lock lock(state().mutex);
    return state().beeps;
}

}  // namespace sk::platform::display
