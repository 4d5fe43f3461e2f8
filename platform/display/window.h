// Native windows: creation, geometry, visibility, z-order, activation, focus,
// capture, invalidation and painting, timers and the caret.
//
// A window belongs to the thread that created it: its messages go to that thread's
// queue (message_queue.h). Every function here may be called from any thread; the
// window manager serialises them. Failures return false / 0 and set
// last_system_error() (6 invalid handle, 87 invalid parameter).
//
// Coordinates: a child's rectangle is relative to its parent's client area, a
// top-level or popup window's to the screen. Client coordinates start at the
// top-left corner of the client area, inside the non-client frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/display/geometry.h"
#include "platform/display/message.h"
#include "platform/display/painter.h"
#include "platform/display/surface.h"

namespace sk::platform::display {

namespace detail {
struct PaintAccess;
}

enum class WindowKind {
    kTopLevel,  // an application or dialog window; can be activated
    kChild,     // lives inside its parent's client area, clipped to it
    kPopup,     // above all top-level windows (menus, tips); never activated
};

// Style bits of a window's frame and behaviour.
enum WindowStyle : std::uint32_t {
    kStyleBorder = 0x0001,        // one-pixel black border
    kStyleDialogFrame = 0x0002,   // raised three-pixel frame
    kStyleSizable = 0x0004,       // four-pixel sizing frame
    kStyleCaption = 0x0008,       // title bar with the window's text
    kStyleSysMenu = 0x0010,       // close box (and the system menu of the caption)
    kStyleMinimizeBox = 0x0020,
    kStyleMaximizeBox = 0x0040,
    kStyleClientEdge = 0x0080,    // sunken two-pixel edge inside the frame
    kStyleNoFocus = 0x0100,       // a click does not give the window the focus
    kStyleDoubleClicks = 0x0200,  // a second click in time becomes a double click
    kStyleToolWindow = 0x0400,    // small caption
};

struct WindowSpec {
    WindowKind kind = WindowKind::kTopLevel;
    WindowId parent = 0;   // a child's parent (required); a top-level's or popup's owner (optional)
    Rect rect;             // outer rectangle
    std::string text;      // caption or control text, UTF-8
    std::uint32_t style = 0;
    std::uint32_t identifier = 0;  // the engine uses field number + 4000h
    std::uintptr_t user_data = 0;
    bool visible = false;
    Color background = rgb(0xC0, 0xC0, 0xC0);  // fill of a new or grown surface
};

WindowId create_window(const WindowSpec& spec);
// Destroys w and its children; posts kMsgDestroy for each to its thread, drops their
// pending messages and hands activation, focus and capture on.
bool destroy_window(WindowId w);
bool is_window(WindowId w);

// Geometry.
bool move_window(WindowId w, const Rect& rect);  // posts kMsgMove / kMsgSize on change
bool set_window_position(WindowId w, Point origin);
bool set_window_size(WindowId w, Size size);
Rect window_rect(WindowId w);   // outer rectangle in parent (or screen) coordinates
Rect screen_rect(WindowId w);   // outer rectangle in screen coordinates
Rect client_rect(WindowId w);   // {0, 0, client width, client height}
Point client_to_screen(WindowId w, Point p);
Point screen_to_client(WindowId w, Point p);

// Maximise fills the parent's client area (the screen for a top-level window);
// minimise hides the window's contents behind its caption. Both remember the restored
// rectangle; restore returns to it. Post kMsgSize with the new SizeState.
bool maximize_window(WindowId w);
bool minimize_window(WindowId w);
bool restore_window(WindowId w);
SizeState size_state(WindowId w);
Rect restored_rect(WindowId w);

// State.
bool show_window(WindowId w, bool visible);
bool is_visible(WindowId w);          // the window's own flag
bool is_shown(WindowId w);            // visible with all its ancestors
bool enable_window(WindowId w, bool enabled);
bool is_enabled(WindowId w);
bool bring_to_top(WindowId w);        // top of its siblings (popups stay above top-levels)
bool set_window_text(WindowId w, std::string_view text);
std::string window_text(WindowId w);
std::uint32_t window_identifier(WindowId w);
bool set_window_identifier(WindowId w, std::uint32_t identifier);
std::uintptr_t window_user_data(WindowId w);
bool set_window_user_data(WindowId w, std::uintptr_t data);
std::uint32_t window_style(WindowId w);
bool set_window_style(WindowId w, std::uint32_t style);
WindowKind window_kind(WindowId w);
WindowId parent_window(WindowId w);   // a child's parent; a top-level's owner
WindowId top_level_of(WindowId w);    // w itself for top-level and popup windows
std::thread::id window_thread(WindowId w);
// Children of w (or the top-level and popup windows for 0), bottom of the z-order first.
std::vector<WindowId> child_windows(WindowId w);

// Activation, focus and capture. Activating a top-level window brings it to the top,
// posts kMsgActivate to the old and new windows, and gives the focus back to the
// window of it that had it last (or to the window itself). Disabled windows are never
// activated or focused.
bool set_active_window(WindowId w);
WindowId active_window();
bool set_focus(WindowId w);  // 0 removes the focus
WindowId focus_window();
bool set_capture(WindowId w);
bool release_capture();
WindowId capture_window();

// Invalidation and painting. An invalid area makes the owner thread's queue deliver
// kMsgPaint for the window once no posted messages are waiting.
bool invalidate(WindowId w);                  // the whole client area
bool invalidate_rect(WindowId w, const Rect& client);
bool validate(WindowId w);
Rect invalid_rect(WindowId w);                // client coordinates, empty when valid

// A paint session draws on a copy of part of the window's retained image, which
// end_paint() (or the destructor) puts back and hands to the compositor. Between begin
// and end, no display lock is held, so the painting code may call anything here.
class PaintSession {
public:
    PaintSession(PaintSession&& other) noexcept;
    PaintSession& operator=(PaintSession&&) = delete;
    ~PaintSession();

    Painter& painter() { return *m_painter; }
    Rect rect() const { return m_rect; }  // the area being painted, in client coordinates
    WindowId window() const { return m_window; }
    bool is_valid() const { return m_window != 0; }
    void end();

private:
    friend struct detail::PaintAccess;
    PaintSession(WindowId w, Rect rect, Surface&& scratch);
    WindowId m_window = 0;
    Rect m_rect;
    Surface m_scratch;
    std::unique_ptr<Painter> m_painter;
};

// Paints the invalid area (and validates it). The painter uses client coordinates
// and is clipped to the area.
PaintSession begin_paint(WindowId w);
// Paints the given client area now, outside a paint message; the invalid area stays.
PaintSession begin_draw(WindowId w, const Rect& client);

// Copy of the window's retained image (outer rectangle, non-client area included).
Surface window_image(WindowId w);

// The user's session (log-off, shut-down) asks whether the program may end. While
// the program shows a top-level window the answer is no, and that window (the
// active one, else the topmost) is posted kMsgEndSessionRefused so that the program
// can tell the user why. True when the program shows no window.
bool request_end_session();

// Timers: kMsgTimer with the identifier every interval of the display clock. Setting
// an existing identifier again restarts it. A timer that falls behind fires once.
bool set_timer(WindowId w, std::uint32_t timer, std::uint32_t interval_ms);
bool kill_timer(WindowId w, std::uint32_t timer);

// The caret: one per program, an inverted rectangle drawn over the window's image by
// the compositor (so it never disturbs what the window painted). It blinks on the
// display clock every blink interval while shown.
bool create_caret(WindowId w, Size size);
bool destroy_caret();
bool set_caret_position(Point client);
bool show_caret(bool shown);
WindowId caret_window();

// Non-client geometry of a style: the client area inside an outer rectangle of that size.
Rect client_area_for_style(std::uint32_t style, Size outer);

}  // namespace sk::platform::display
