// The headless backend's test controls: injected input, the virtual clock, idle
// detection, window search and the composed screen.
#include "platform/display/headless.h"

#include <limits>

#include "platform/display/png_writer.h"
#include "platform/display/window_manager.h"
#include "platform/system_error.h"

namespace sk::platform::display::headless {

using namespace detail;

namespace {

Lock open_lock() {
    return Lock(state().mutex);
}

bool idle_locked() {
    auto& st = state();
    std::thread::id me = std::this_thread::get_id();
    for (auto& [thread, q] : st.queues) {
        if (thread == me) continue;
        if (q->window_count <= 0 && q->posted.empty()) continue;
        // A thread inside a popup menu's loop holds its messages back until the menu ends.
        if (q->in_menu_loop && q->waiting) continue;
        Message scratch;
        if (!q->waiting || next_message(thread, scratch, false)) return false;
    }
    return true;
}

template <typename Pred>
WindowId search(const std::vector<WindowId>& windows, Pred pred) {
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        const WindowRec* w = find(*it);
        if (!w) continue;
        if (pred(*w)) return w->handle;
        if (WindowId hit = search(w->children, pred)) return hit;
    }
    return 0;
}

}  // namespace

void mouse_move(Point screen) {
    Lock lock = open_lock();
    if (state().open) input_mouse_move(screen);
}

void mouse_down(Point screen, std::uint32_t button) {
    Lock lock = open_lock();
    if (state().open) input_mouse_button(screen, button, true);
}

void mouse_up(Point screen, std::uint32_t button) {
    Lock lock = open_lock();
    if (state().open) input_mouse_button(screen, button, false);
}

void click(Point screen, std::uint32_t button) {
    Lock lock = open_lock();
    if (!state().open) return;
    if (state().mouse != screen) input_mouse_move(screen);
    input_mouse_button(screen, button, true);
    input_mouse_button(screen, button, false);
}

void mouse_wheel(Point screen, int distance) {
    Lock lock = open_lock();
    if (state().open) input_mouse_wheel(screen, distance);
}

Point mouse_position() {
    Lock lock = open_lock();
    return state().mouse;
}

void key_down(std::uint32_t vk) {
    Lock lock = open_lock();
    if (state().open) input_key(vk, true);
}

void key_up(std::uint32_t vk) {
    Lock lock = open_lock();
    if (state().open) input_key(vk, false);
}

void press_key(std::uint32_t vk, std::uint32_t modifiers) {
    Lock lock = open_lock();
    if (!state().open) return;
    if (modifiers & kModShift) input_key(kVkShift, true);
    if (modifiers & kModControl) input_key(kVkControl, true);
    if (modifiers & kModAlt) input_key(kVkMenu, true);
    input_key(vk, true);
    input_key(vk, false);
    if (modifiers & kModAlt) input_key(kVkMenu, false);
    if (modifiers & kModControl) input_key(kVkControl, false);
    if (modifiers & kModShift) input_key(kVkShift, false);
}

void type_text(std::string_view utf8) {
    Lock lock = open_lock();
    if (state().open) input_text(utf8);
}

std::uint64_t clock_ms() {
    Lock lock = open_lock();
    return now_ms();
}

void advance_clock(std::uint64_t ms) {
    auto& st = state();
    Lock lock = open_lock();
    if (!st.open || !st.virtual_clock) return;
    std::uint64_t target = st.virtual_ms + ms;
    while (st.open && st.virtual_ms < target) {
        // Step to the next timer falling due after now (or to the end).
        std::uint64_t next = target;
        for (auto& [id, w] : st.windows) {
            for (const Timer& t : w->timers) {
                if (t.due > st.virtual_ms && t.due < next) next = t.due;
            }
        }
        std::uint64_t system_due = next_system_timer();
        if (system_due > st.virtual_ms && system_due < next) next = system_due;
        st.virtual_ms = next;
        run_system_timers();
        notify_all_queues();
        lock.unlock();
        wait_until_idle(2000);
        lock.lock();
    }
}

bool wait_until_idle(int timeout_ms) {
    auto& st = state();
    Lock lock = open_lock();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
    while (!idle_locked()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        // Re-check on every change and at least every few milliseconds.
        st.idle_changed.wait_for(lock, std::chrono::milliseconds(5));
    }
    return true;
}

WindowId find_window_by_text(std::string_view text) {
    Lock lock = open_lock();
    return search(state().top_windows, [&](const WindowRec& w) { return w.text == text; });
}

WindowId find_window_by_identifier(std::uint32_t identifier) {
    Lock lock = open_lock();
    return search(state().top_windows, [&](const WindowRec& w) { return w.identifier == identifier; });
}

WindowId window_at(Point screen) {
    Lock lock = open_lock();
    return hit_window(screen);
}

Surface screen_image() {
    Lock lock = open_lock();
    compose_locked();
    return state().screen;
}

Color screen_pixel(Point p) {
    Lock lock = open_lock();
    compose_locked();
    return state().screen.pixel(p.x, p.y);
}

bool save_screenshot(const std::string& path) {
    Surface image = screen_image();
    if (image.is_empty()) {
        set_last_system_error(kErrInvalidFunction);
        return false;
    }
    return write_png(image, path);
}

}  // namespace sk::platform::display::headless
