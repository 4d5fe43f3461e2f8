// Internal state of the window manager, shared by the files of the display layer
// (windows, queues, frames, compositor, input, backends). Not for use outside
// platform/display.
//
// Invariant 1: every field of DisplayState is guarded by DisplayState::mutex.
// Invariant 2: no code holds the mutex while it calls back into painting code of a
//              procedure; paint sessions work on copies (window.h).
// Invariant 3: a window's surface always has the size of its outer rectangle.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/display/display.h"
#include "platform/display/surface.h"

namespace sk::platform::display::detail {

struct Timer {
    std::uint32_t id = 0;
    std::uint32_t interval = 0;
    std::uint64_t due = 0;
};

struct WindowRec {
    WindowId handle = 0;
    WindowKind kind = WindowKind::kTopLevel;
    WindowId parent = 0;
    std::thread::id thread;
    Rect rect;
    std::uint32_t style = 0;
    std::string text;
    std::uint32_t identifier = 0;
    std::uintptr_t user_data = 0;
    bool visible = false;
    bool enabled = true;
    Color background = 0;
    std::vector<WindowId> children;  // bottom of the z-order first
    Surface surface;
    Rect invalid;                    // client coordinates
    std::vector<Timer> timers;
    SizeState size_state = kSizeRestored;
    Rect restore_rect;
    WindowId last_focus = 0;         // for top-level windows: the window to refocus on activation
};

struct ThreadQueue {
    std::deque<Message> posted;
    std::condition_variable ready;
    bool woken = false;
    bool waiting = false;
    int window_count = 0;
};

struct DisplayState {
    std::mutex mutex;
    bool open = false;
    Backend backend = Backend::kHeadless;
    std::map<WindowId, std::unique_ptr<WindowRec>> windows;
    std::vector<WindowId> top_windows;  // top-level and popup windows, bottom first
    std::map<std::thread::id, std::shared_ptr<ThreadQueue>> queues;  // shared: a waiter keeps its own alive
    WindowId next_handle = 1;
    WindowId active = 0;
    WindowId focus = 0;
    WindowId capture = 0;

    // The screen and the damage waiting to be composed, in screen coordinates.
    Surface screen;
    std::vector<Rect> damage;

    // The clock: virtual for the headless backend.
    bool virtual_clock = true;
    std::uint64_t virtual_ms = 0;
    std::chrono::steady_clock::time_point opened_at;
    std::condition_variable idle_changed;

    // The caret (client coordinates of caret_owner).
    WindowId caret_owner = 0;
    Rect caret;
    bool caret_shown = false;

    // Input state.
    Point mouse;
    std::uint32_t buttons = 0;
    std::uint32_t modifiers = 0;
    WindowId hover = 0;
    struct Press {
        WindowId window = 0;
        std::uint32_t button = 0;
        std::uint64_t time = 0;
        Point where;
        bool was_double = false;
    } last_press;
    // A caption drag in progress: the window and the mouse offset from its origin.
    WindowId dragging = 0;
    Point drag_offset;

    std::string clipboard;
    bool clipboard_set = false;
    Cursor cursor = Cursor::kArrow;
    std::uint64_t beeps = 0;
};

DisplayState& state();
using Lock = std::unique_lock<std::mutex>;

// Everything below requires the mutex to be held.
WindowRec* find(WindowId w);
std::uint64_t now_ms();
ScreenMetrics metrics_locked();
ThreadQueue& queue_of(std::thread::id thread);  // created on demand
// Finds the next message for a thread without waiting; removes it when remove is set.
bool next_message(std::thread::id thread, Message& out, bool remove);
// The earliest timer due of a thread's windows, or UINT64_MAX.
std::uint64_t next_timer_due(std::thread::id thread);
// Registers the calling thread so that its windows and queue go when it ends.
void adopt_current_thread();
void post_locked(std::thread::id thread, const Message& m);
void post_to_window(WindowRec& w, Message m);
Rect screen_rect_of(const WindowRec& w);   // outer rectangle on the screen
Rect client_in_window(const WindowRec& w); // client area in window (surface) coordinates
bool shown(const WindowRec& w);            // visible with all ancestors, and not minimised away
bool enabled_chain(const WindowRec& w);    // enabled with all ancestors
WindowRec* top_level_rec(WindowRec* w);
void add_damage(const Rect& screen);
void damage_window(const WindowRec& w);    // its whole screen area, if shown
void paint_frame(WindowRec& w);            // non-client area into the surface
bool activate_locked(WindowId w);
bool focus_locked(WindowId w);
void bring_to_top_locked(WindowRec& w);
bool move_locked(WindowRec& w, const Rect& rect);
bool set_size_state_locked(WindowRec* w, SizeState target);
void destroy_locked(WindowId w);
void notify_all_queues();
// The deepest shown window at a screen point, 0 for none.
WindowId hit_window(Point screen);
void compose_locked();

// Where a point of a top-level window's frame lies.
enum class FramePart { kNone, kClient, kCaption, kCloseBox, kMaximizeBox, kMinimizeBox, kBorder };
FramePart frame_part(const WindowRec& w, Point window_point);
Rect caption_rect(const WindowRec& w);  // window coordinates; empty without a caption
Rect frame_button_rect(const WindowRec& w, FramePart part);

// Input from a backend, at screen coordinates, routed as the window manager does.
void input_mouse_move(Point screen);
void input_mouse_button(Point screen, std::uint32_t button, bool down);
void input_mouse_wheel(Point screen, int distance);
void input_key(std::uint32_t virtual_key, bool down);
void input_text(std::string_view utf8);

}  // namespace sk::platform::display::detail
