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
#include "platform/display/menu.h"
#include "platform/display/scroll_bar.h"
#include "platform/display/surface.h"

namespace sk::platform::display::detail {

struct Timer {
    std::uint32_t id = 0;
    std::uint32_t interval = 0;
    std::uint64_t due = 0;
};

struct ScrollBarState {
    bool shown = false;
    int minimum = 0;
    int maximum = 100;
    int position = 0;
    int page = 0;
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
    WindowId last_focus = 0;         // top-level windows and MDI children: the window to refocus on activation
    WindowId focus_before_minimize = 0;  // the focus inside this window when it was minimised
    bool internal = false;           // a window of the window manager's own (menu popups): posts nothing
    MenuId menu = 0;                 // attached menu bar
    int menu_rows = 0;               // rows the bar takes; updated by relayout_menu_bar()
    MenuId system_menu = 0;          // created on first use
    ScrollBarState hscroll;
    ScrollBarState vscroll;
    // MDI: a frame knows its client; a client knows its children, most recently active first.
    WindowId mdi_client = 0;
    bool is_mdi_client = false;
    std::vector<WindowId> mdi_order;
};

struct MenuRec {
    MenuId handle = 0;
    std::vector<MenuEntry> entries;
    WindowId bar_of = 0;     // the window showing this menu as its bar
    WindowId system_of = 0;  // the window whose system menu this is
};

// One open level of a tracked menu: a popup window showing a menu.
struct MenuLevel {
    MenuId menu = 0;
    WindowId window = 0;  // the popup window, 0 while only the bar is highlighted
    int highlight = -1;   // entry position, -1 none
};

// The menu being tracked, driven by the input functions below.
struct MenuTrack {
    bool active = false;
    bool popup = false;         // track_popup_menu: no bar, the result is returned
    bool right_button = false;  // the right button chooses too
    WindowId owner = 0;         // gets kMsgCommand / kMsgMenuSelect
    WindowId bar_window = 0;    // the window whose bar is tracked
    int bar_index = -1;         // highlighted bar entry (-1 none); see MenuBarPart for the MDI buttons
    bool bar_open = false;      // the highlighted bar entry's drop-down is open
    bool pressed = false;       // a button went down inside the menus and is still held
    bool opened_by_press = false;  // this press opened the current drop-down (its release keeps it open)
    WindowId sys_box_of = 0;       // the system menu was opened by a click on this window's system box
    WindowId icon_of = 0;          // the system menu was opened by a click on this minimised window
    std::vector<MenuLevel> levels;
    // track_popup_menu's outcome: set when the tracking ends, read by the waiting thread.
    struct Outcome {
        bool done = false;
        std::uint32_t result = 0;
    };
    std::shared_ptr<Outcome> outcome;
};

// A scroll bar gesture in progress.
struct ScrollTrack {
    WindowId window = 0;
    ScrollBarKind bar = ScrollBarKind::kVertical;
    ScrollAction action = kScrollLineUp;  // repeating action, or kScrollThumbTrack while dragging
    bool thumb = false;
    int grab_offset = 0;   // mouse offset into the thumb along the bar
    int drag_position = 0;
    std::uint64_t repeat_due = 0;
};

// Moving or sizing a window with the mouse (or from its system menu).
struct SizeTrack {
    WindowId window = 0;
    unsigned edges = 0;   // SizingEdge bits; 0 moves
    Point start;          // mouse at the start, screen
    Rect start_rect;      // the window's rectangle at the start (parent coordinates)
    bool keyboard = false;  // started from the system menu: ends with a click or Enter
};

struct ThreadQueue {
    std::deque<Message> posted;
    std::condition_variable ready;
    bool woken = false;
    bool waiting = false;
    int window_count = 0;
    bool in_menu_loop = false;  // inside track_popup_menu: its posted messages wait
};

constexpr int kIconDragThreshold = 4;  // pixels either way

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
        bool on_frame = false;
    } last_press;
    // A caption drag in progress: the window and the mouse offset from its origin.
    WindowId dragging = 0;
    Point drag_offset;
    // A press on a minimised window's caption: it moves only once the mouse has moved
    // further than kIconDragThreshold, and a release before that opens its system menu.
    WindowId icon_press = 0;
    bool icon_moved = false;

    // Menus, scroll bar and sizing gestures.
    std::map<MenuId, std::unique_ptr<MenuRec>> menus;
    MenuId next_menu = 1;
    MenuTrack track;
    ScrollTrack scroll;
    SizeTrack sizing;
    bool alt_alone = false;      // Alt went down and nothing else happened since
    // The window manager took the last key-down (menus, mnemonics, sizing): the text that
    // keystroke produces is not typed anywhere. Cleared by the next key event.
    bool swallow_key_text = false;
    Cursor app_cursor = Cursor::kArrow;  // what set_cursor() asked for; the frame may show another
    bool frame_cursor = false;           // the shown cursor is a sizing border's

    std::string clipboard;
    bool clipboard_set = false;
    bool clipboard_dirty = false;  // set here, not yet handed to the OS clipboard
    // A copy of what the screen backend last showed, asked for by read_presented_screen().
    bool readback_requested = false;
    bool readback_ready = false;
    Surface readback;
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
// The session asks to end: refused while a top-level window is shown (the active
// one, else the topmost, is posted kMsgEndSessionRefused). True when none is shown.
bool end_session_locked();
void notify_all_queues();
// The deepest shown window at a screen point, 0 for none.
WindowId hit_window(Point screen);
void compose_locked();

// Where a point of a top-level window's frame lies.
enum class FramePart {
    kNone, kClient, kCaption, kCloseBox, kMaximizeBox, kMinimizeBox, kBorder,
    kSysMenuBox, kMenuBar, kVScroll, kHScroll, kSizeBox,
};
FramePart frame_part(const WindowRec& w, Point window_point);
Rect caption_rect(const WindowRec& w);  // window coordinates; empty without a caption
Rect frame_button_rect(const WindowRec& w, FramePart part);
// Whether a caption box does anything: a maximise or minimise box the window's style
// lacks is drawn greyed and ignores clicks, unless the window is in that state.
bool frame_box_enabled(const WindowRec& w, FramePart part);
// Draws a caption button (face, edge and glyph); kSysMenuBox draws the small window icon.
// With restores set a maximise or minimise box shows the Restore glyph.
void draw_caption_button(Painter& p, const Rect& b, FramePart part, bool restores);

// The parts of a window's outer rectangle, in window (surface) coordinates.
struct NonClientLayout {
    Rect caption;
    Rect menu_bar;
    Rect vscroll;
    Rect hscroll;
    Rect size_box;  // the square where both bars meet
    Rect client;
};
NonClientLayout nonclient_layout(const WindowRec& w);
int frame_thickness(std::uint32_t style);

// Sizing borders: which edges a point of the frame moves.
enum SizingEdge : unsigned { kEdgeLeft = 1, kEdgeTop = 2, kEdgeRight = 4, kEdgeBottom = 8 };
unsigned sizing_edges(const WindowRec& w, Point window_point);
Cursor cursor_for_edges(unsigned edges);
// After the non-client area changed (menu bar, scroll bars, style): tells the window
// its new client size, invalidates the client and lets MDI clients and maximised
// children follow. old_client is the client rectangle before the change.
void nonclient_changed(WindowRec& w, const Rect& old_client);
// Lets maximised children and an MDI client follow their parent's client area, which
// was old_client before the change.
void follow_parent_client(WindowRec& w, const Rect& old_client);
// Creates a window record on the owner's thread (or the caller's, for owner 0).
WindowRec* create_window_locked(const WindowSpec& spec, std::thread::id thread);

// Menus (menu.cpp).
MenuRec* find_menu(MenuId m);
void relayout_menu_bar(WindowRec& w);  // recomputes w.menu_rows for its width
int menu_bar_height(const WindowRec& w);
void paint_menu_bar(WindowRec& w, Painter& p, const Rect& bar);
// Input while menus may be tracked: true when the menus took the event.
bool menu_mouse_move(Point screen);
bool menu_mouse_button(Point screen, std::uint32_t button, bool down);
bool menu_key(std::uint32_t vk, bool down);
// Text typed while menus are tracked: each character is a mnemonic. True when taken.
bool menu_text(std::string_view utf8);
// A press on a window's menu bar (window coordinates); starts tracking.
void menu_bar_press(WindowRec& w, Point window_point, std::uint32_t button);
// Opens w's system menu as a drop-down under its system box, tracked by keyboard or mouse.
void open_system_menu(WindowRec& w, bool by_key);
// Opens a minimised window's system menu after a click on it; a second click on the
// window within the double-click time restores it.
void open_icon_menu(WindowRec& w);
// Alt alone or F10 entered the active window's bar; Alt plus a key asked for a mnemonic.
bool menu_enter_by_key(WindowRec& top);
bool menu_alt_key(WindowRec& top, std::uint32_t vk);
bool menu_alt_char(WindowRec& top, char32_t c);  // Alt with a typed character: a bar mnemonic
void end_menu_tracking(bool notify);
void forget_window_menus(WindowRec& w);  // a window is going: its bar and system menu go with it
void carry_out_sys_command(WindowRec& w, std::uint32_t command);

// Scroll bars (scroll_bar.cpp).
void paint_scroll_bars(WindowRec& w, Painter& p, const NonClientLayout& layout);
void scroll_bar_press(WindowRec& w, Point window_point);
bool scroll_mouse_move(Point screen);
bool scroll_mouse_up();
// Runs the window manager's own timers (scroll repeat) that are due; returns the next due time.
std::uint64_t run_system_timers();
std::uint64_t next_system_timer();

// MDI (mdi.cpp).
WindowRec* mdi_client_rec_of(const WindowRec& child);  // the client when child is an MDI child
WindowRec* maximized_mdi_child(const WindowRec& frame);
void mdi_child_pressed(WindowRec& child);
void mdi_forget(WindowRec& w);
bool mdi_child_active(const WindowRec& child);
// The MDI child that w is or lies inside, null when none.
WindowRec* enclosing_mdi_child(WindowRec* w);
std::string caption_text_locked(const WindowRec& w);
void place_minimized_mdi_child(WindowRec& child);
void mdi_child_created(WindowRec& w);
void mdi_child_visibility(WindowRec& w, bool visible);  // shown: it becomes active; hidden: the next one does       // a new child of an MDI client becomes its active child
void mdi_size_state_changed(WindowRec& w);  // a child maximised or restored changes its frame's bar and caption

// The SDL backend (sdl_backend.cpp). Start is called with the mutex held and returns
// once the OS window exists (false when it cannot be made); stop without the mutex.
bool sdl_start(Size screen);
void sdl_stop();

// Input from a backend, at screen coordinates, routed as the window manager does.
void input_mouse_move(Point screen);
void input_mouse_button(Point screen, std::uint32_t button, bool down);
void input_mouse_wheel(Point screen, int distance);
void input_key(std::uint32_t virtual_key, bool down);
void input_text(std::string_view utf8);

}  // namespace sk::platform::display::detail
