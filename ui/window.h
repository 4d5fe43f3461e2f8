// The engine's window objects: opening a window from its definition, its controls
// and their host, the event queue, the ACCEPT loop with its dispatcher, the
// statements procedures use (EVENT, FIELD, ACCEPTED, KEYCODE, POST, SELECT,
// DISPLAY, properties) and closing.
//
// A procedure reads like this:
//
//     Window w(WindowType::kWindow, "LKDB32$lkdb3001", "SELECTCATEGORIES$QUICKWINDOW", bindings);
//     w.open();
//     while (w.accept()) {
//         switch (event()) { ... case kEventAccepted: ...; }
//     }
//     w.close();
//
// ACCEPT runs the window's message pump on a fiber of its own and hands the
// procedure one event per iteration; the procedure's next call of accept() is the
// end of its loop body. cycle() before that asks that the event's default action
// not be taken.
//
// Every statement runs under the global runtime lock (ui/thread.h).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display/font.h"
#include "platform/display/message.h"
#include "ui/controls/control.h"
#include "ui/definition.h"
#include "ui/event.h"

namespace sk::ui {

class Fiber;
class Window;

enum class WindowType { kApplication, kMdiChild, kWindow, kReport };

// Runtime errors of window statements.
enum WindowError : int {
    kErrorReportControl = 522,
    kErrorAppActive = 526,
    kErrorAppModal = 527,
    kErrorAppOpen = 528,
    kErrorWindowOpen = 529,
    kErrorMdiNoApp = 530,
    kErrorMdiModal = 531,
    kErrorMdiOnAppThread = 532,
    kErrorMdiOpen = 533,
    kErrorAlreadyOpen = 535,
    kErrorNotOpen = 536,
    kErrorAcceptNoWindow = 537,
    kErrorPrintNotReport = 538,
};

// Engine properties used on windows and controls.
enum Property : std::uint32_t {
    kPropX = 31746,
    kPropY = 31747,
    kPropWidth = 31748,
    kPropHeight = 31749,
    kPropDisabled = 31839,
    kPropHelp = 31846,
    kPropIconize = 31849,
    kPropMessage = 31859,
    kPropAcceptAll = 31898,
    kPropAlertKeys = 32006,
};

// Key codes: the virtual key in the low byte, 100h Shift, 200h Control, 400h Alt.
inline constexpr std::uint32_t kKeyShift = 0x100, kKeyControl = 0x200, kKeyAlt = 0x400;
inline constexpr std::uint32_t kKeyCodeMask = 0x7FF;
std::uint32_t key_code_of(std::uint32_t virtual_key, std::uint32_t modifiers);

// What a window of a frame kind adds on top of the core: menu bar, status bar, MDI
// client, command routing. Installed by the frame support (ui/frame.h); without it
// windows have none of these.
class WindowExtras {
public:
    virtual ~WindowExtras() = default;
    // After the native window exists, before the controls are built. False fails the open.
    virtual bool on_create(Window& window) = 0;
    // A message for the window's own native handle; true when consumed.
    virtual bool handle_message(Window& window, const sk::platform::display::Message& m) = 0;
    // Keys of the menu bar (pre-translation); true when consumed.
    virtual bool translate_key(Window& window, const sk::platform::display::Message& m) = 0;
    virtual void show_message(Window& window, std::string_view text) = 0;
    virtual void on_first_accept(Window& window) = 0;
    virtual void on_close(Window& window) = 0;
};
using ExtrasFactory = std::unique_ptr<WindowExtras> (*)(Window& window);
void set_extras_factory(ExtrasFactory factory);

class Window : public ControlHost {
public:
    Window(WindowType type, std::string module_string, std::string label, void* const* bindings = nullptr);
    ~Window() override;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // OPEN and CLOSE. A failed open raises its runtime error and returns false.
    bool open();
    void close();
    bool is_open() const { return m_handle != 0 || m_report_open; }

    // One iteration of ACCEPT: true with an event current, false when the loop ends.
    bool accept();
    // Hands the current event back without its default action (the loop's CYCLE).
    void cycle() { m_cycled = true; }

    // The current event.
    int event() const;
    std::int32_t field() const;
    std::int32_t accepted() const;
    std::uint32_t keycode() const;
    void set_keycode(std::uint32_t code);
    // The failure code carried by the current "EVENT:Rejected", 0 for other events.
    int reject_code() const;
    // The variable bound to a menu item of this window's own menu bar: menu items
    // with a binding take the entries of the binding list that follow the controls',
    // depth first. nullptr when the item has none or the list ends before it.
    void* menu_variable(std::int32_t field) const;
    const EventRecord* current_event() const { return m_current.get(); }

    // POST to this window (app value; control 0 = none).
    void post(int event, std::int32_t field = 0);
    // SELECT: a control, or with 0 the accept-all pass.
    void select(std::int32_t field = 0);
    // DISPLAY: the controls from first to last (0 = all).
    void display(std::int32_t first = 0, std::int32_t last = 0);
    // Property access on the window (field 0) or one of its controls.
    std::string property(std::int32_t field, std::uint32_t number, std::int32_t index = 0);
    bool set_property(std::int32_t field, std::uint32_t number, std::string_view value, std::int32_t index = 0);

    // What the engine knows about the window.
    WindowType type() const { return m_type; }
    WindowId handle() const { return m_handle; }
    int thread() const { return m_thread; }
    const std::string& module_string() const { return m_module; }
    const std::string& label() const { return m_label; }
    const WindowDefinition& definition() const;
    const LoadedDefinition* loaded() const { return m_loaded.get(); }
    Control* control(std::int32_t field) const;
    const std::vector<std::unique_ptr<Control>>& controls() const { return m_controls; }
    Control* control_of_native(WindowId w) const;
    Control* focused_control() const;
    std::int32_t selected_field() const { return m_selected; }
    bool accept_all() const { return m_accept_all; }
    int close_down_state() const { return m_close_down; }
    bool in_accept() const;  // the procedure waits in this window's ACCEPT
    std::size_t queued_events() const { return m_queue.size(); }
    Window* parent() const { return m_parent; }
    const std::vector<Window*>& children() const { return m_children; }
    WindowExtras* extras() const { return m_extras.get(); }
    const std::string& class_name() const { return m_class_name; }
    std::shared_ptr<const sk::platform::display::Font> font() const { return m_font; }
    const UnitContext& unit_context() const { return m_unit_context; }
    bool shown_help() const { return m_shown_help; }
    void set_shown_help() { m_shown_help = true; }
    const std::string& message_text() const { return m_message; }
    const std::string& help_keyword() const { return m_help; }
    // The MDI client of a frame (set by the frame support).
    WindowId mdi_client() const { return m_mdi_client; }
    void set_mdi_client(WindowId client) { m_mdi_client = client; }

    // Sends the window a close request, as its close box does.
    void request_close() { post(kEventCloseWindow); }
    // Delivers an event to the procedure at once when it waits in this window's
    // ACCEPT on this thread; returns whether it cycled. Otherwise the event is
    // dropped (false).
    bool deliver_sync(int event, std::int32_t field = 0);
    // Routes a command (menu item, accelerator, button) with this identifier.
    void command(std::uint32_t identifier);

    // ControlHost.
    WindowId client_window() const override { return m_handle; }
    const UnitScale& unit_scale() const override { return m_scale; }
    std::shared_ptr<const sk::platform::display::Font> window_font() const override { return m_font; }
    void post_event(std::int32_t field, std::uint16_t event) override;
    void post_event_with_code(std::int32_t field, std::uint16_t event, int code) override;
    bool deliver_now(std::int32_t field, std::uint16_t event) override;
    void show_message(std::string_view text) override;
    void focus_next(std::int32_t from_field, bool backwards) override;

    // Engine internals used by the message routing.
    bool handle_own_message(const sk::platform::display::Message& m);
    bool pre_translate(const sk::platform::display::Message& m);
    bool alert(std::uint32_t code);
    void take_event_record(std::uint64_t number, bool synchronous);
    void note_child_closing() { m_close_down_check = true; }

private:
    friend struct WindowAccess;
    bool open_native();
    void build_controls();
    void pump();
    bool dispatch_once();
    void deliver(std::unique_ptr<EventRecord> record, bool synchronous, bool* cycled);
    void after_event(const EventRecord& record, bool cycled);
    void run_close_down();
    void first_accept();
    void end_loop() { m_loop_ended = true; }
    void finish_pump();
    std::unique_ptr<EventRecord> make_record(int event, std::int32_t field) const;
    void post_record(std::unique_ptr<EventRecord> record);
    void paint_background();
    bool navigate_dialog(const sk::platform::display::Message& m);
    Control* default_button() const;
    std::vector<Control*> focus_order() const;
    void destroy_native();

    WindowType m_type;
    std::string m_module, m_label;
    void* const* m_bindings;

    std::unique_ptr<LoadedDefinition> m_loaded;
    WindowId m_handle = 0;
    bool m_report_open = false;
    std::uint64_t m_serial = 0;
    int m_thread = 0;
    std::string m_class_name;
    std::shared_ptr<const sk::platform::display::Font> m_font;
    UnitContext m_unit_context;
    UnitScale m_scale;
    std::vector<std::unique_ptr<Control>> m_controls;
    std::unique_ptr<WindowExtras> m_extras;
    WindowId m_mdi_client = 0;
    std::string m_message, m_help;
    std::vector<std::uint32_t> m_alert_keys;

    std::deque<std::unique_ptr<EventRecord>> m_queue;
    std::unique_ptr<EventRecord> m_current;
    std::unique_ptr<Fiber> m_pump;
    bool m_cycled = false;
    bool m_loop_ended = false;
    bool m_closing = false;       // close() is unwinding the pump
    bool m_close_requested = false;  // close() was called from inside the pump
    bool m_activated = false;
    bool m_delivering = false;    // the pump has handed an event to the procedure
    bool m_accept_all = false;
    std::int32_t m_accept_cursor = 0;
    std::int32_t m_selection_target = 0;
    std::int32_t m_selected = 0;
    bool m_timer_pending = false;
    int m_close_down = 0;         // 0 none, 1 waiting for a child, 2 pending
    bool m_close_down_asked = false;  // a child: a CloseDown is on its way
    bool m_close_down_check = false;
    bool m_loop_closing = false;  // a child whose loop ended on CloseDown
    bool m_suspended = false;
    bool m_shown_help = false;
    bool m_counted_modal = false;
    std::vector<WindowId> m_disabled;  // windows disabled while this one is modal
    WindowId m_was_active = 0;         // the active window when this modal one opened
    Window* m_parent = nullptr;        // the frame of an MDI child
    std::vector<Window*> m_children;   // a frame's MDI children in opening order
    Window* m_below = nullptr;         // the thread's top window before this one opened
};

// ---- Statements on the calling thread's innermost window -------------------

Window* top_window();  // the calling thread's innermost open window, or null
int event();
std::int32_t field();
std::int32_t accepted();
std::uint32_t keycode();
void setkeycode(std::uint32_t code);
// POST: to the top window of thread (0 = the calling thread); nothing when that
// thread has no window.
void post(int event, std::int32_t control = 0, int thread = 0);
void select(std::int32_t control = 0);
void display(std::int32_t first = 0, std::int32_t last = 0);
// CYCLE for the innermost window's loop.
void cycle();

// ---- Process-wide engine state -----------------------------------------------

// Sets up the thread table (the caller becomes the main thread) and opens the
// display when it is not open yet. Safe to call again.
bool initialise_core();
bool is_modal();
int modal_count();
Window* application_frame();
// Stops all posting (the program is ending).
void set_shutting_down(bool shutting_down);
// The engine window whose native handle (or an ancestor's) is w.
Window* window_of_native(WindowId w);
// Routes one message of the calling thread to the window or control it is for,
// as every message loop of the engine does (ACCEPT, message boxes, popups).
void route_message(const sk::platform::display::Message& m);
// Closes every window still open on a thread, innermost first.
void close_thread_windows(int thread);
// The number of the event-record messages in flight (tests: closing frees them).
std::size_t records_in_flight();

}  // namespace sk::ui
