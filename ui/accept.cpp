// The ACCEPT loop: the window's message pump on its fiber, the dispatcher that
// picks the event the procedure sees next, synchronous deliveries, the
// pre-translation of keys, command routing and the default actions of events.
#include <algorithm>

#include "platform/display/display.h"
#include "platform/file.h"
#include "runtime/error.h"
#include "ui/controls/edit_variants.h"
#include "ui/controls/list_control.h"
#include "ui/controls/static_controls.h"
#include "ui/engine_state.h"
#include "ui/fiber.h"
#include "ui/message_box.h"
#include "ui/thread.h"
#include "ui/window.h"

namespace sk::ui {

namespace pd = sk::platform::display;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kPumpStack = 1024 * 1024;
#else
constexpr std::size_t kPumpStack = 256 * 1024;
#endif

constexpr std::uint32_t kVkF4 = 0x73;
constexpr std::uint8_t kButtonDefault = 0x01;  // button option: the dialog's default button

}  // namespace

struct WindowAccess {
    // A synchronous delivery to a window that may be on another thread: on this
    // thread it happens now (or not at all); another thread gets it ahead of its
    // queue when its pump next looks, without the sender waiting for the answer.
    static void send_sync(Window* target, int event) {
        if (!target || !target->m_handle) return;
        if (target->m_thread == thread_number()) {
            target->deliver_sync(event, 0);
            return;
        }
        const std::uint64_t n = store_record(target->make_record(event, 0));
        pd::Message m;
        m.code = static_cast<pd::MessageCode>(kMsgSyncEvent);
        m.window = target->m_handle;
        m.wparam = n;
        if (!pd::post_message(m)) take_record(n);
    }

    static void wake(Window* w) {
        if (!w || !w->m_handle) return;
        pd::Message m;
        m.code = static_cast<pd::MessageCode>(kMsgCloseDownCheck);
        m.window = w->m_handle;
        pd::post_message(m);
    }
};

bool Window::in_accept() const { return m_pump && m_pump->running(); }

bool Window::accept() {
    if (m_report_open) return false;
    if (!m_handle) {
        if (!m_pump && !top_window()) sk::rt::runtime_error(kErrorAcceptNoWindow);
        return false;
    }
    if (!m_pump) {
        m_cycled = false;
        m_pump = std::make_unique<Fiber>([this] { pump(); }, kPumpStack);
    }
    m_pump->resume();
    if (m_pump->finished()) {
        m_pump.reset();
        m_loop_ended = false;
        if (m_close_requested) {
            m_close_requested = false;
            destroy_native();
        }
        return false;
    }
    return true;
}

void Window::finish_pump() {
    if (!m_pump || Fiber::current() == m_pump.get()) return;
    m_closing = true;
    while (!m_pump->finished()) m_pump->resume();
    m_closing = false;
}

void Window::pump() {
    first_accept();
    while (m_handle && !m_closing && !m_loop_ended) {
        if (dispatch_once()) continue;
        if (!m_handle || m_closing || m_loop_ended) break;
        pd::Message m;
        if (pd::peek_message(m, true)) {
            if (m.code == pd::kMsgQuit) continue;
            if (window_of_native(m.window) == this && pre_translate(m)) continue;
            route_message(m);
            continue;
        }
        LockRelease unlocked;
        pd::wait_for_message(-1);
    }
}

void Window::first_accept() {
    if (m_activated) return;
    m_activated = true;
    EngineState& e = engine();
    if (m_type == WindowType::kWindow) {
        // Modal: every other window of the program waits until this one closes.
        for (const auto& [h, w] : e.natives) {
            if (w == this || w->m_type == WindowType::kMdiChild) continue;
            if (pd::is_enabled(h)) {
                pd::enable_window(h, false);
                m_disabled.push_back(h);
            }
        }
    }
    pd::show_window(m_handle, true);
    if (m_type != WindowType::kMdiChild) pd::set_active_window(m_handle);
    if (m_extras) m_extras->on_first_accept(*this);
    for (const auto& c : m_controls) c->display();
    if (!focused_control()) {
        std::vector<Control*> order = focus_order();
        if (!order.empty()) {
            order.front()->focus();
            if (!order.front()->owns_window(pd::focus_window())) pd::set_focus(order.front()->window());
        }
    }
    pd::invalidate(m_handle);
}

bool Window::dispatch_once() {
    EngineState& e = engine();
    // Focus moving between threads.
    if (Window* fw = window_of_native(pd::focus_window())) set_focus_thread(fw->m_thread);
    const int now = focus_thread();
    if (e.focus_seen == 0) {
        // Until the focus first lands on a thread there is nothing it moved from.
        if (now > 0) e.focus_seen = now;
    } else if (now != e.focus_seen) {
        const int before = e.focus_seen;
        e.focus_seen = now;
        if (before > 0) WindowAccess::send_sync(thread_top_window(before), kEventLoseFocus);
        if (now > 0) WindowAccess::send_sync(thread_top_window(now), kEventGainFocus);
        if (m_closing || m_loop_ended || !m_handle) return false;
    }
    if (m_close_down_check || m_close_down == 2) {
        m_close_down_check = false;
        run_close_down();
        if (m_loop_ended) return false;
    }
    std::unique_ptr<EventRecord> r;
    if (!m_queue.empty()) {
        r = std::move(m_queue.front());
        m_queue.pop_front();
    } else if (m_accept_all) {
        Control* next = nullptr;
        for (const auto& c : m_controls)
            if (c->field() > m_accept_cursor && (!next || c->field() < next->field())) next = c.get();
        if (!next) {
            m_accept_all = false;
            post(kEventCompleted);
            return false;
        }
        if (!next->accept()) {
            m_accept_all = false;
            select(next->field());
            return false;
        }
        m_accept_cursor = next->field();
        r = make_record(kEventAccepted, next->field());
    } else {
        return false;
    }
    // A selection overtaken by a later SELECT is never seen.
    if (r->code == absolute_code(kEventSelected) && r->field != m_selection_target) return true;
    bool cycled = false;
    deliver(std::move(r), false, &cycled);
    return true;
}

void Window::deliver(std::unique_ptr<EventRecord> record, bool synchronous, bool* cycled) {
    *cycled = false;
    if (m_closing || !m_pump || Fiber::current() != m_pump.get()) return;
    EngineState& e = engine();
    if (!synchronous) {
        if (e.last_event_thread > 0 && e.last_event_thread != m_thread) {
            Window* other = thread_top_window(e.last_event_thread);
            if (other && other->m_handle && !other->m_suspended) {
                other->m_suspended = true;
                WindowAccess::send_sync(other, kEventSuspend);
            }
        }
        e.last_event_thread = m_thread;
        if (m_suspended) {
            m_suspended = false;
            bool ignored = false;
            deliver(make_record(kEventResume, 0), true, &ignored);
            if (m_closing || !m_handle) return;
        }
    } else {
        ++e.modal;
    }
    m_current = std::move(record);
    m_cycled = false;
    m_delivering = true;
    m_pump->yield();  // the procedure runs its loop body
    m_delivering = false;
    const bool was_cycled = m_cycled;
    m_cycled = false;
    if (synchronous) --e.modal;
    *cycled = was_cycled;
    if (m_closing || !m_handle || !m_current) return;
    after_event(*m_current, was_cycled);
}

void Window::after_event(const EventRecord& record, bool cycled) {
    switch (app_value(record.code)) {
    case kEventCloseDown:
        m_close_down_asked = false;
        if (!cycled) {
            m_loop_closing = true;
            end_loop();
            if (m_parent && m_parent->m_close_down == 1) m_parent->m_close_down = 2;
        } else if (m_parent && m_parent->m_close_down == 1) {
            m_parent->m_close_down = 0;
        }
        WindowAccess::wake(m_parent);
        break;
    case kEventCloseWindow:
        if (!cycled) m_close_down = 2;
        break;
    case kEventOpenFailed:
        end_loop();
        break;
    case kEventSelected:
        if (Control* c = control(record.field)) {
            c->focus();
            if (c->window() && !c->owns_window(pd::focus_window())) pd::set_focus(c->window());
        }
        m_selected = record.field;
        break;
    case kEventTimer:
        m_timer_pending = false;
        break;
    default:
        break;
    }
}

void Window::run_close_down() {
    if (m_close_down != 2) return;
    std::vector<Window*> open;
    for (Window* c : m_children)
        if (c->m_handle) open.push_back(c);
    if (open.empty()) {
        end_loop();
        return;
    }
    for (Window* c : open) {
        if (!c->m_loop_closing && !c->m_close_down_asked) {
            c->m_close_down_asked = true;
            m_close_down = 1;
            c->post(kEventCloseDown);
            return;
        }
    }
    // A child that accepted is on its way out; its closing wakes us again.
    for (Window* c : open)
        if (c->m_loop_closing) return;
    pd::beep();
    m_close_down = 0;
}

bool Window::deliver_sync(int event, std::int32_t field) {
    if (!m_handle || m_closing || !m_pump || Fiber::current() != m_pump.get()) return false;
    if (thread_top_window(m_thread) != this) return false;
    bool cycled = false;
    deliver(make_record(event, field), true, &cycled);
    return cycled;
}

bool Window::deliver_now(std::int32_t field, std::uint16_t event) { return deliver_sync(event, field); }

// ---- Messages -------------------------------------------------------------------------

// The user's session asked to end while this window was shown, and the platform
// refused: say why, over the window brought to the top.
static void refuse_end_session(WindowId shown) {
    if (shown && pd::is_window(shown)) pd::bring_to_top(pd::top_level_of(shown));
    std::string caption = sk::platform::program_path();
    if (const std::size_t slash = caption.find_last_of('/'); slash != std::string::npos) caption.erase(0, slash + 1);
    message_box("Application still active.\n\nQuit the application before quitting Windows.", caption, {}, kBoxOk, kBoxOk,
                kBoxIconExclamation | kBoxSystemModal);
}

void route_message(const pd::Message& m) {
    EngineState& e = engine();
    const int me = thread_number();
    if (m.code >= pd::kMsgMouseMove && m.code <= pd::kMsgMouseWheel && m.window)
        e.mouse = pd::client_to_screen(m.window, m.pos);
    if (m.code == pd::kMsgKeyDown)
        set_thread_key(me, key_code_of(static_cast<std::uint32_t>(m.wparam), m.modifiers), thread_key_char(me));
    if (m.code == pd::kMsgChar && m.wparam < 0x100)
        set_thread_key(me, thread_key_code(me), static_cast<std::uint8_t>(m.wparam));
    if (background_tick(m)) return;
    if (m.code == pd::kMsgEndSessionRefused) {
        refuse_end_session(m.window);
        return;
    }
    Window* w = window_of_native(m.window);
    // A control's own popup (a combo's drop list) is a window above the others,
    // owned by the control's top-level window: the control paints it and reads
    // its clicks.
    if (!w && m.window && pd::window_kind(m.window) == pd::WindowKind::kPopup) {
        if (Window* owner = window_of_native(pd::parent_window(m.window))) {
            if (Control* c = owner->control_of_native(m.window)) {
                c->handle_message(m);
                if (m.code == pd::kMsgPaint && pd::is_window(m.window) && !pd::invalid_rect(m.window).is_empty())
                    pd::validate(m.window);
                return;
            }
        }
    }
    if (w && m.window != w->handle()) {
        if (Control* c = w->control_of_native(m.window)) {
            c->handle_message(m);
            if (m.code == pd::kMsgSetFocus && w->handle()) {
                const std::string& text = c->definition().attr.message;
                w->show_message(text.empty() ? w->message_text() : text);
            }
            if (m.code == pd::kMsgPaint && pd::is_window(m.window) && !pd::invalid_rect(m.window).is_empty())
                pd::validate(m.window);
            return;
        }
    }
    if (w) w->handle_own_message(m);
    if (m.code == pd::kMsgPaint && m.window && pd::is_window(m.window) && !pd::invalid_rect(m.window).is_empty())
        pd::validate(m.window);
}

void Window::paint_background() {
    pd::PaintSession s = pd::begin_paint(m_handle);
    if (!s.is_valid()) return;
    const WindowDefinition& def = definition();
    const bool grey = (def.frame & kFrameGrey) || m_type == WindowType::kApplication;
    s.painter().fill_rect(pd::client_rect(m_handle),
                          pd::system_color(grey ? pd::SystemColor::kButtonFace : pd::SystemColor::kWindow));
}

bool Window::handle_own_message(const pd::Message& m) {
    if (m_extras && m_extras->handle_message(*this, m)) return true;
    if (m.window != m_handle || !m_handle) return false;
    const WindowDefinition& def = definition();
    switch (static_cast<std::uint32_t>(m.code)) {
    case pd::kMsgPaint:
        paint_background();
        return true;
    case pd::kMsgClose:
        request_close();
        return true;
    case kMsgEventRecord:
        take_event_record(m.wparam, false);
        return true;
    case kMsgSyncEvent:
        take_event_record(m.wparam, true);
        return true;
    case kMsgCloseDownCheck:
        m_close_down_check = true;
        return true;
    case kMsgBringToTop: {
        Window* top = thread_top_window(m_thread);
        if (top && top->m_type == WindowType::kMdiChild && top->m_parent) top = top->m_parent;
        if (top && top->m_handle) pd::bring_to_top(pd::top_level_of(top->m_handle));
        return true;
    }
    case pd::kMsgTimer:
        if (m.wparam == 1 && !m_timer_pending && thread_top_window(m_thread) == this && in_accept()) {
            m_timer_pending = true;
            deliver_sync(kEventTimer);
            m_timer_pending = false;
        }
        return true;
    case pd::kMsgCommand:
        command(static_cast<std::uint32_t>(m.wparam));
        return true;
    case pd::kMsgSysCommand:
        switch (m.wparam) {
        case pd::kSysClose: request_close(); break;
        case pd::kSysMinimize: pd::minimize_window(m_handle); break;
        case pd::kSysMaximize: pd::maximize_window(m_handle); break;
        case pd::kSysRestore: pd::restore_window(m_handle); break;
        default: break;
        }
        return true;
    case pd::kMsgMove:
        if (def.attributes & kWinMoveSizeEvents) post(kEventMoved);
        return true;
    case pd::kMsgSize:
        if (def.attributes & kWinMoveSizeEvents) {
            post(kEventSized);
            if (m.flags == pd::kSizeMaximized) post(kEventMaximized);
            else if (m.flags == pd::kSizeMinimized) post(kEventIconized);
        }
        return true;
    default:
        return false;
    }
}

// The key code of a mouse-button press: left 1, right 2, middle 4, and their double
// clicks 5, 6 and 7, with the modifier bits as for keys. 0 for other messages.
static std::uint32_t mouse_key_code(const pd::Message& m) {
    std::uint32_t button = 0;
    switch (static_cast<std::uint32_t>(m.code)) {
        case pd::kMsgLButtonDown: button = 1; break;
        case pd::kMsgRButtonDown: button = 2; break;
        case pd::kMsgMButtonDown: button = 4; break;
        case pd::kMsgLButtonDblClk: button = 5; break;
        case pd::kMsgRButtonDblClk: button = 6; break;
        case pd::kMsgMButtonDblClk: button = 7; break;
        default: return 0;
    }
    return key_code_of(button, m.modifiers);
}

bool Window::pre_translate(const pd::Message& m) {
    if (const std::uint32_t button = mouse_key_code(m); button != 0) {
        // A press becomes the thread's last key code, so that the event it causes
        // (a list's NewSelection) tells which button it was; alert keys may name it.
        set_thread_key(m_thread, button, thread_key_char(m_thread));
        return alert(button);
    }
    if (m.code != pd::kMsgKeyDown) return false;
    const std::uint32_t code = key_code_of(static_cast<std::uint32_t>(m.wparam), m.modifiers);
    set_thread_key(m_thread, code, thread_key_char(m_thread));
    if (alert(code)) return true;
    if (!m_handle || m_closing) return true;
    if (m_type == WindowType::kMdiChild && !is_modal() && code == (kVkF4 | kKeyControl)) {
        request_close();
        return true;
    }
    if (m_extras && m_extras->translate_key(*this, m)) return true;
    return navigate_dialog(m);
}

// Raises "EVENT:PreAlert" for a key in the alert set; unless the procedure cycles,
// the key is consumed and "EVENT:AlertKey" posted. Returns true when consumed.
bool Window::alert(std::uint32_t code) {
    if (std::find(m_alert_keys.begin(), m_alert_keys.end(), code) == m_alert_keys.end()) return false;
    Control* f = focused_control();
    const std::int32_t at = f ? f->field() : 0;
    const bool cycled = deliver_sync(kEventPreAlert, at);
    if (!m_handle || m_closing) return true;
    if (cycled) return false;
    post(kEventAlertKey, at);
    return true;
}

// The button that Enter presses when the focus is not on a button: the one shown
// as default, which a procedure may change after opening (a select's "&Select").
Control* Window::default_button() const {
    for (const auto& c : m_controls)
        if (const auto* b = dynamic_cast<const ButtonControl*>(c.get()); b && b->is_default()) return c.get();
    return nullptr;
}

// An open drop list keeps Enter and Escape for itself: they pick a row or close
// the list, and neither presses a button of the window.
static bool drop_list_open(const Control* c) {
    if (const auto* combo = dynamic_cast<const ComboControl*>(c)) return combo->is_dropped();
    if (const auto* list = dynamic_cast<const ListControl*>(c)) return list->is_dropped();
    return false;
}

bool Window::navigate_dialog(const pd::Message& m) {
    const std::uint32_t vk = static_cast<std::uint32_t>(m.wparam);
    const std::uint32_t mods = m.modifiers;
    Control* f = focused_control();
    if ((vk == pd::kVkReturn || vk == pd::kVkEscape) && drop_list_open(f)) return false;
    if (vk == pd::kVkTab && !(mods & (pd::kModControl | pd::kModAlt))) {
        focus_next(f ? f->field() : 0, mods & pd::kModShift);
        return true;
    }
    if (vk == pd::kVkReturn && mods == 0) {
        if (f && f->definition().kind == kKindText) return false;
        Control* b = f && f->definition().kind == kKindButton ? f : default_button();
        if (!b) return false;
        command(static_cast<std::uint32_t>(b->field()) + 0x4000);
        return true;
    }
    if (vk == pd::kVkEscape && mods == 0) {
        command(2);  // the dialog's cancel command
        return true;
    }
    return false;
}

void Window::command(std::uint32_t identifier) {
    if (identifier == 0) {
        post(kEventAlertKey);
        return;
    }
    const std::int32_t f = static_cast<std::int32_t>(identifier) - 0x4000;
    Control* c = control(f);
    if (!c) {
        if (identifier == 2) request_close();
        return;
    }
    const std::uint32_t action = c->definition().action;
    if (action != 0 && perform_standard_action(*this, action)) return;
    if (c->takes_focus()) {
        c->focus();
        if (c->window() && !c->owns_window(pd::focus_window())) pd::set_focus(c->window());
    }
    pd::Message cmd;
    cmd.code = pd::kMsgCommand;
    cmd.window = c->window();
    cmd.wparam = identifier;
    if (!c->handle_message(cmd) && c->definition().kind == kKindButton) post_event(f, kEventAccepted);
}

bool perform_standard_action(Window& window, std::uint32_t code) {
    EngineState& e = engine();
    Control* focused = window.focused_control();
    const auto edit = [&](EditAction a) {
        if (focused) focused->edit_action(a);
        return true;
    };
    switch (code) {
    case 2: case 3: case 4: case 17: case 18:
        // The MDI arrangements; nothing to arrange without a frame.
        if (!e.frame) return true;
        return e.action_hook ? e.action_hook(window, code) : true;
    case 5: case 6: case 7: case 8:
        // This platform has no help viewer: the keyword is chosen and nothing shows.
        return true;
    case 10: return edit(EditAction::kCut);
    case 11: return edit(EditAction::kCopy);
    case 12: return edit(EditAction::kPaste);
    case 13: return edit(EditAction::kClear);
    case 14: return edit(EditAction::kUndo);
    case 15:
        window.request_close();
        return true;
    case 16:
        return e.action_hook ? e.action_hook(window, code) : true;
    default:
        return false;
    }
}

}  // namespace sk::ui
