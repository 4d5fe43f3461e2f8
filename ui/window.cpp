// Window objects: open and close, the controls' host, posting, and the
// statements on the current event. The ACCEPT loop and its dispatcher are in
// ui/accept.cpp.
#include "ui/window.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/display/display.h"
#include "runtime/error.h"
#include "ui/engine_state.h"
#include "ui/fiber.h"
#include "ui/thread.h"

namespace sk::ui {

namespace pd = sk::platform::display;

namespace {

int text_width_of(std::string_view text, const void* font) {
    return static_cast<const pd::Font*>(font)->text_width(text);
}

void raise(int code) { sk::rt::runtime_error(code); }

}  // namespace

EngineState& engine() {
    // Never destroyed, like the thread table: threads may outlive main's statics.
    static EngineState* e = new EngineState;
    return *e;
}

std::uint32_t key_code_of(std::uint32_t virtual_key, std::uint32_t modifiers) {
    std::uint32_t code = virtual_key & 0xFF;
    if (modifiers & pd::kModShift) code |= kKeyShift;
    if (modifiers & pd::kModControl) code |= kKeyControl;
    if (modifiers & pd::kModAlt) code |= kKeyAlt;
    return code;
}

void set_extras_factory(ExtrasFactory factory) { engine().extras = factory; }

bool initialise_core() {
    initialise_threads();
    if (!pd::is_display_open()) return pd::open_display();
    return true;
}

bool is_modal() { return engine().modal > 0; }
int modal_count() { return engine().modal; }
Window* application_frame() { return engine().frame; }
void set_shutting_down(bool shutting_down) { engine().shutting_down = shutting_down; }

Window* window_of_native(WindowId w) {
    EngineState& e = engine();
    for (int depth = 0; w != 0 && depth < 64; ++depth) {
        auto it = e.natives.find(w);
        if (it != e.natives.end()) return it->second;
        if (pd::window_kind(w) != pd::WindowKind::kChild) return nullptr;
        w = pd::parent_window(w);
    }
    return nullptr;
}

std::size_t records_in_flight() {
    EngineState& e = engine();
    std::lock_guard<std::mutex> g(e.records_mutex);
    return e.records.size();
}

std::uint64_t store_record(std::unique_ptr<EventRecord> record) {
    EngineState& e = engine();
    std::lock_guard<std::mutex> g(e.records_mutex);
    const std::uint64_t n = e.next_record++;
    e.records.emplace(n, std::move(record));
    return n;
}

std::unique_ptr<EventRecord> take_record(std::uint64_t number) {
    EngineState& e = engine();
    std::lock_guard<std::mutex> g(e.records_mutex);
    auto it = e.records.find(number);
    if (it == e.records.end()) return nullptr;
    std::unique_ptr<EventRecord> r = std::move(it->second);
    e.records.erase(it);
    return r;
}

void discard_records(const Window* window, std::uint64_t serial) {
    EngineState& e = engine();
    std::lock_guard<std::mutex> g(e.records_mutex);
    for (auto it = e.records.begin(); it != e.records.end();) {
        if (it->second->window == window && it->second->window_serial == serial)
            it = e.records.erase(it);
        else
            ++it;
    }
}

// ---- Window ------------------------------------------------------------------

Window::Window(WindowType type, std::string module_string, std::string label, void* const* bindings)
    : m_type(type), m_module(std::move(module_string)), m_label(std::move(label)), m_bindings(bindings) {}

Window::~Window() {
    if (is_open()) close();
}

const WindowDefinition& Window::definition() const {
    static const WindowDefinition empty;
    return m_loaded ? m_loaded->window : empty;
}

bool Window::open() {
    initialise_core();
    EngineState& e = engine();
    if (is_open()) {
        raise(kErrorAlreadyOpen);
        return false;
    }
    DefinitionFailure failure;
    std::optional<LoadedDefinition> loaded = find_window_definition(m_module, m_label, &failure);
    if (!loaded) {
        raise_definition_failure(failure);
        return false;
    }
    m_loaded = std::make_unique<LoadedDefinition>(std::move(*loaded));
    m_class_name = "TesWinClass" + std::to_string(++e.class_counter);
    m_thread = thread_number();
    const WindowDefinition& def = m_loaded->window;
    m_message = def.message;
    m_help = def.help;
    m_alert_keys = def.alert_keys;

    switch (m_type) {
    case WindowType::kApplication:
        if (e.frame) return raise(kErrorAppActive), false;
        if (is_modal()) return raise(kErrorAppModal), false;
        break;
    case WindowType::kMdiChild:
        if (!e.frame || e.frame->m_close_down != 0 || !e.frame->m_handle) return raise(kErrorMdiNoApp), false;
        if (is_modal()) return raise(kErrorMdiModal), false;
        if (m_thread == e.frame->m_thread) return raise(kErrorMdiOnAppThread), false;
        break;
    case WindowType::kReport:
        // A report keeps its layout for the report engine; it has no native window.
        m_report_open = true;
        m_serial = ++e.serial;
        return true;
    case WindowType::kWindow:
        break;
    }

    if (!open_native()) {
        const int code = m_type == WindowType::kApplication ? kErrorAppOpen
                         : m_type == WindowType::kMdiChild  ? kErrorMdiOpen
                                                            : kErrorWindowOpen;
        destroy_native();
        raise(code);
        return false;
    }
    build_controls();
    if (!m_handle) return false;  // a binding failure closed it again
    if (def.timer != 0) pd::set_timer(m_handle, 1, def.timer * 10);
    post(kEventOpenWindow);
    return true;
}

bool Window::open_native() {
    EngineState& e = engine();
    const WindowDefinition& def = m_loaded->window;

    pd::FontSpec spec;
    if (def.font) {
        spec.face = def.font->name;
        spec.point_size = def.font->size > 0 ? def.font->size : 8;
        if (def.font->style != -1) {
            const std::int32_t st = def.font->style;
            spec.weight = (st & 0x7FF) ? (st & 0x7FF) : 400;
            spec.fixed_pitch = st & 0x800;
            spec.italic = st & 0x1000;
            spec.underline = st & 0x2000;
            spec.strike_out = st & 0x4000;
        }
    }
    m_font = pd::open_font(spec);
    m_unit_context = UnitContext{};
    if (m_font) {
        m_unit_context.text_width = text_width_of;
        m_unit_context.font = m_font.get();
        m_unit_context.char_height = m_font->metrics().height;
    }
    m_unit_context.dpi_x = m_unit_context.dpi_y = pd::logical_dpi();
    m_scale = sk::ui::unit_scale(def.attributes, m_unit_context);

    // Frame styles.
    std::uint32_t style = 0;
    switch (def.frame & kFrameMask) {
    case 0: style |= pd::kStyleBorder; break;
    case kFrameResizable: style |= pd::kStyleSizable | pd::kStyleCaption; break;
    case kFrameDouble: style |= pd::kStyleDialogFrame; break;
    default: break;
    }
    if (def.frame & kFrameMaximizeBox) style |= pd::kStyleMaximizeBox | pd::kStyleSysMenu;
    // A child of the frame may always fill the frame's client area; other windows
    // only when their definition asks for the box, since their layout is fixed.
    if (m_type == WindowType::kMdiChild) style |= pd::kStyleMaximizeBox;
    if (def.frame & kFrameSystemMenu) style |= pd::kStyleSysMenu;
    if (!def.icon.empty()) style |= pd::kStyleSysMenu | pd::kStyleMinimizeBox;
    if (!def.title.empty()) style |= pd::kStyleCaption;
    if (style & pd::kStyleSysMenu) style |= pd::kStyleCaption;

    const int cw = std::max(1, to_pixels(m_scale, true, def.width));
    const int ch = std::max(1, to_pixels(m_scale, false, def.height));
    const pd::Rect probe = pd::client_area_for_style(style, pd::Size{1000, 1000});
    const int ow = cw + (1000 - probe.width());
    const int oh = ch + (1000 - probe.height());

    pd::WindowSpec ws;
    ws.text = def.title;
    ws.style = style;
    ws.background = pd::system_color((def.frame & kFrameGrey) || m_type == WindowType::kApplication
                                         ? pd::SystemColor::kButtonFace
                                         : pd::SystemColor::kWindow);
    pd::Size area{pd::screen_metrics().width, pd::screen_metrics().height};
    if (m_type == WindowType::kMdiChild) {
        ws.kind = pd::WindowKind::kChild;
        ws.parent = e.frame->m_mdi_client ? e.frame->m_mdi_client : e.frame->m_handle;
        const pd::Rect pc = pd::client_rect(ws.parent);
        area = pd::Size{pc.width(), pc.height()};
        m_parent = e.frame;
    } else if (e.frame && e.frame->m_handle) {
        ws.parent = e.frame->m_handle;  // owned by the frame
    }
    int x, y;
    if ((def.attributes & kWinCentre) || (def.x == kDefault && m_type != WindowType::kMdiChild &&
                                          m_type != WindowType::kApplication)) {
        x = (area.width - ow) / 2;
        y = (area.height - oh) / 2;
    } else if (def.x == kDefault || def.y == kDefault) {
        const int base = m_type == WindowType::kMdiChild ? 0 : 16;
        const int step = (e.cascade++ % 8) * 20;
        x = base + step;
        y = base + step;
        // A window the next cascade step would push past the area starts the
        // cascade again, so that it opens whole where it fits at all.
        if (step > 0 && (x + ow > area.width || y + oh > area.height)) {
            x = y = base;
            e.cascade = 1;
        }
    } else {
        x = to_pixels(m_scale, true, def.x);
        y = to_pixels(m_scale, false, def.y);
    }
    ws.rect = pd::Rect::from_size(std::max(0, x), std::max(0, y), ow, oh);
    m_handle = pd::create_window(ws);
    if (!m_handle) return false;
    m_serial = ++e.serial;
    e.natives[m_handle] = this;

    if (m_type == WindowType::kApplication) e.frame = this;
    if (m_parent) m_parent->m_children.push_back(this);
    m_below = thread_top_window(m_thread);
    set_thread_top_window(m_thread, this);
    if (m_type == WindowType::kWindow) {
        ++e.modal;
        m_counted_modal = true;
        m_was_active = pd::active_window();
    }

    if (e.extras) {
        m_extras = e.extras(*this);
        if (m_extras && !m_extras->on_create(*this)) return false;
    }
    // The definition gives the client size; menus and bars may have taken some.
    const pd::Rect now = pd::client_rect(m_handle);
    const pd::Rect outer = pd::window_rect(m_handle);
    if (now.width() != cw || now.height() != ch)
        pd::set_window_size(m_handle, pd::Size{outer.width() + cw - now.width(), outer.height() + ch - now.height()});
    if (def.frame & kFrameMaximized)
        pd::maximize_window(m_handle);
    else if (def.frame & kFrameMinimized)
        pd::minimize_window(m_handle);
    return true;
}

void Window::build_controls() {
    const WindowDefinition& def = m_loaded->window;
    std::vector<BindingSlot> slots = binding_slots(def);
    std::map<const ControlDefinition*, std::pair<VariableRef, VariableRef>> refs;
    if (!slots.empty()) {
        static void* const kEmpty[] = {nullptr};
        std::vector<void*> out;
        DefinitionFailure failure;
        if (!assign_bindings(def, m_bindings ? m_bindings : kEmpty, out, &failure)) {
            destroy_native();
            raise_definition_failure(failure);
            return;
        }
        for (std::size_t i = 0; i < slots.size() && i < out.size(); ++i) {
            auto& pair = refs[slots[i].control];
            (slots[i].is_row_source ? pair.second : pair.first) = VariableRef{out[i], slots[i].tag};
        }
    }
    // Every record, depth first, parents before children: a container's pages and
    // members are controls of the window like any other.
    const auto build = [&](const auto& self, const std::vector<ControlDefinition>& chain,
                           const std::string& message, const std::string& help) -> void {
        for (const ControlDefinition& c : chain) {
            if (!kind_layout(c.kind)) continue;
            const PixelRect r = control_rect(c, m_scale, m_unit_context, 0, 0);
            auto it = refs.find(&c);
            VariableRef binding, rows;
            if (it != refs.end()) binding = it->second.first, rows = it->second.second;
            std::unique_ptr<Control> control = create_control(*this, c, binding, rows, r);
            if (control) {
                if (c.flags & kFlagDisabled) control->set_disabled(true);
                m_controls.push_back(std::move(control));
            }
            const std::string& m = c.attr.message.empty() ? message : c.attr.message;
            const std::string& h = c.attr.help.empty() ? help : c.attr.help;
            self(self, c.children, m, h);
        }
    };
    build(build, def.controls, def.message, def.help);
}

void Window::destroy_native() {
    EngineState& e = engine();
    if (m_pump && !m_pump->finished()) finish_pump();
    m_pump.reset();
    if (m_extras) m_extras->on_close(*this);
    // The windows this one kept waiting are enabled again before it goes, so that the
    // activation it gives up can return to one of them (its owner, the frame).
    for (WindowId w : m_disabled) pd::enable_window(w, true);
    m_disabled.clear();
    if (m_handle) {
        pd::show_window(m_handle, false);
        pd::kill_timer(m_handle, 1);
    }
    discard_records(this, m_serial);
    m_controls.clear();
    m_extras.reset();
    if (m_handle) {
        pd::destroy_window(m_handle);
        e.natives.erase(m_handle);
    }
    m_handle = 0;
    m_report_open = false;
    m_queue.clear();
    m_activated = false;
    m_accept_all = false;
    m_accept_cursor = 0;
    m_selection_target = 0;
    m_timer_pending = false;
    m_close_down = 0;
    m_close_down_asked = false;
    m_loop_closing = false;
    m_loop_ended = false;
    m_suspended = false;
    // Out of the thread's chain.
    if (thread_top_window(m_thread) == this) {
        set_thread_top_window(m_thread, m_below);
    } else {
        for (Window* w = thread_top_window(m_thread); w; w = w->m_below)
            if (w->m_below == this) {
                w->m_below = m_below;
                break;
            }
    }
    Window* below = m_below;
    m_below = nullptr;
    if (m_counted_modal) {
        --e.modal;
        m_counted_modal = false;
    }
    if (m_parent) {
        auto& kids = m_parent->m_children;
        kids.erase(std::remove(kids.begin(), kids.end(), this), kids.end());
        if (m_parent->m_handle) {
            m_parent->m_close_down_check = true;
            pd::Message m;
            m.code = static_cast<pd::MessageCode>(kMsgCloseDownCheck);
            m.window = m_parent->m_handle;
            pd::post_message(m);
        }
        m_parent = nullptr;
    }
    if (e.frame == this) {
        for (Window* c : m_children) c->m_parent = nullptr;
        m_children.clear();
        e.frame = nullptr;
    }
    if (e.last_event_thread == m_thread && !thread_top_window(m_thread)) e.last_event_thread = -1;
    const WindowId was_active = m_was_active;
    m_was_active = 0;
    if (m_type == WindowType::kWindow) {
        if (below && below->m_handle) pd::set_active_window(pd::top_level_of(below->m_handle));
        // A procedure's only window leaves no window of its own thread behind: the
        // keyboard goes back to the window that was active when it opened, else to
        // the frame, rather than to nothing.
        if (pd::active_window() == 0 && was_active && pd::is_window(was_active) && pd::is_shown(was_active))
            pd::set_active_window(was_active);
        if (pd::active_window() == 0 && e.frame && e.frame->m_handle && pd::is_shown(e.frame->m_handle))
            pd::set_active_window(e.frame->m_handle);
    }
}

void Window::close() {
    if (!is_open()) {
        raise(kErrorNotOpen);
        return;
    }
    if (m_pump && Fiber::current() == m_pump.get()) {
        // Asked from inside the pump's own message handling: the pump ends its loop
        // and accept() finishes the close when it gets control back.
        m_close_requested = true;
        end_loop();
        return;
    }
    destroy_native();
}

void close_thread_windows(int thread) {
    while (Window* w = thread_top_window(thread)) {
        w->close();
        if (thread_top_window(thread) == w) break;  // it could not close now; never spin
    }
}

Control* Window::control(std::int32_t field) const {
    if (field == 0) return nullptr;
    for (const auto& c : m_controls)
        if (c->field() == field) return c.get();
    return nullptr;
}

Control* Window::control_of_native(WindowId w) const {
    for (int depth = 0; w != 0 && w != m_handle && depth < 64; ++depth) {
        for (const auto& c : m_controls)
            if (c->owns_window(w)) return c.get();
        w = pd::parent_window(w);
    }
    return nullptr;
}

Control* Window::focused_control() const { return control_of_native(pd::focus_window()); }

// ---- Events and posting ----------------------------------------------------------

std::unique_ptr<EventRecord> Window::make_record(int event, std::int32_t field) const {
    auto r = std::make_unique<EventRecord>();
    r->window = const_cast<Window*>(this);
    r->window_serial = m_serial;
    r->code = absolute_code(event);
    r->thread = m_thread;
    r->field = field;
    r->selection_target = m_selection_target;
    r->key_code = thread_key_code(m_thread);
    r->key_char = thread_key_char(m_thread);
    WindowId relative = m_handle;
    if (Control* c = control(field); c && c->window()) relative = c->window();
    if (relative) {
        const pd::Point p = pd::screen_to_client(relative, engine().mouse);
        r->mouse_x = p.x;
        r->mouse_y = p.y;
    }
    return r;
}

void Window::post(int event, std::int32_t field) {
    if (engine().shutting_down) return;
    if (!is_open()) {
        raise(kErrorNotOpen);
        return;
    }
    if (m_report_open) {
        if (field != 0) raise(kErrorReportControl);
        return;
    }
    post_record(make_record(event, field));
}

void Window::post_record(std::unique_ptr<EventRecord> record) {
    const std::uint64_t n = store_record(std::move(record));
    pd::Message m;
    m.code = static_cast<pd::MessageCode>(kMsgEventRecord);
    m.window = m_handle;
    m.wparam = n;
    if (!pd::post_message(m)) take_record(n);
}

void Window::post_event(std::int32_t field, std::uint16_t event) {
    if (field == 0) return;  // a control without a field number posts nothing
    post(event, field);
}

// A control's event with a code: "EVENT:Rejected" carries the entry's failure code
// in its record; any other event carries the code as its key code (a list's right
// press reports 2), which also becomes the thread's current key code.
void Window::post_event_with_code(std::int32_t field, std::uint16_t event, int code) {
    if (field == 0) return;
    if (engine().shutting_down) return;
    if (!is_open()) {
        raise(kErrorNotOpen);
        return;
    }
    if (m_report_open) {
        raise(kErrorReportControl);
        return;
    }
    std::unique_ptr<EventRecord> r;
    if (event == kEventRejected) {
        r = make_record(event, field);
        r->failure = code;
    } else {
        const std::uint32_t low = static_cast<std::uint32_t>(code) & kKeyCodeMask;
        set_thread_key(m_thread, (thread_key_code(m_thread) & ~kKeyCodeMask) | low, thread_key_char(m_thread));
        r = make_record(event, field);
    }
    post_record(std::move(r));
}

void Window::take_event_record(std::uint64_t number, bool synchronous) {
    std::unique_ptr<EventRecord> r = take_record(number);
    if (!r || r->window != this || r->window_serial != m_serial) return;
    if (synchronous) {
        deliver_sync(app_value(r->code), r->field);
        return;
    }
    m_queue.push_back(std::move(r));
}

int Window::event() const { return m_current ? app_value(m_current->code) : 0; }
std::int32_t Window::field() const { return m_current ? m_current->field : 0; }
std::int32_t Window::accepted() const {
    return m_current && m_current->code == absolute_code(kEventAccepted) ? m_current->field : 0;
}
std::uint32_t Window::keycode() const {
    return (m_current ? m_current->key_code : thread_key_code(m_thread)) & kKeyCodeMask;
}
void* Window::menu_variable(std::int32_t field) const {
    if (!m_loaded || !m_bindings) return nullptr;
    const WindowDefinition& def = m_loaded->window;
    std::size_t at = binding_slots(def).size();
    // The list is zero-terminated: never read past its end.
    for (std::size_t i = 0; i < at; ++i)
        if (!m_bindings[i]) return nullptr;
    for (const MenuDefinition* m : menu_bindings(def)) {
        void* v = m_bindings[at++];
        if (!v) return nullptr;
        if (m->field == field) return v;
    }
    return nullptr;
}

int Window::reject_code() const {
    return m_current && m_current->code == absolute_code(kEventRejected) ? m_current->failure : 0;
}
void Window::set_keycode(std::uint32_t code) {
    const std::uint32_t low = code & kKeyCodeMask;
    set_thread_key(m_thread, (thread_key_code(m_thread) & ~kKeyCodeMask) | low, thread_key_char(m_thread));
    if (m_current) m_current->key_code = (m_current->key_code & ~kKeyCodeMask) | low;
}

void Window::select(std::int32_t field) {
    if (!is_open()) {
        raise(kErrorNotOpen);
        return;
    }
    if (field == 0) {
        m_accept_all = true;
        m_accept_cursor = 0;
        // Wake the pump should it be waiting; the pass needs no message of its own.
        pd::Message m;
        m.code = static_cast<pd::MessageCode>(kMsgQueryContinueThread);
        m.window = m_handle;
        pd::post_message(m);
        return;
    }
    m_selection_target = field;
    post(kEventSelected, field);
}

void Window::display(std::int32_t first, std::int32_t last) {
    if (!is_open()) {
        raise(kErrorNotOpen);
        return;
    }
    if (last == 0) last = first;
    for (const auto& c : m_controls) {
        if (first == 0 || (c->field() >= first && c->field() <= last)) c->display();
    }
}

void Window::show_message(std::string_view text) {
    if (m_extras) m_extras->show_message(*this, text);
}

std::vector<Control*> Window::focus_order() const {
    std::vector<Control*> out;
    for (const auto& c : m_controls) {
        if (!c->takes_focus() || !c->window()) continue;
        if (!pd::is_enabled(c->window()) || !pd::is_shown(c->window())) continue;
        out.push_back(c.get());
    }
    return out;
}

void Window::focus_next(std::int32_t from_field, bool backwards) {
    std::vector<Control*> order = focus_order();
    if (order.empty()) return;
    int at = -1;
    for (std::size_t i = 0; i < order.size(); ++i)
        if (order[i]->field() == from_field) at = static_cast<int>(i);
    const int n = static_cast<int>(order.size());
    int next = at < 0 ? (backwards ? n - 1 : 0) : (at + (backwards ? n - 1 : 1)) % n;
    Control* c = order[next];
    c->focus();
    if (!c->owns_window(pd::focus_window())) pd::set_focus(c->window());
}

// ---- Properties ---------------------------------------------------------------------

std::string Window::property(std::int32_t field, std::uint32_t number, std::int32_t index) {
    if (!is_open()) {
        raise(kErrorNotOpen);
        return {};
    }
    if (number < 32000 && index >= 1) number += index - 1, index = 0;
    const auto units = [&](bool horizontal, int pixels) { return std::to_string(to_units(m_scale, horizontal, pixels)); };
    if (field == 0) {
        const pd::Rect r = pd::window_rect(m_handle);
        const pd::Rect c = pd::client_rect(m_handle);
        switch (number) {
        case kPropX: return units(true, r.left);
        case kPropY: return units(false, r.top);
        case kPropWidth: return units(true, c.width());
        case kPropHeight: return units(false, c.height());
        case kPropHelp: return m_help;
        case kPropIconize: return pd::size_state(m_handle) == pd::kSizeMinimized ? "1" : "";
        case kPropMessage: return m_message;
        case kPropAcceptAll: return m_accept_all ? "1" : "";
        case kPropAlertKeys:
            if (index >= 1 && static_cast<std::size_t>(index) <= m_alert_keys.size())
                return std::to_string(m_alert_keys[index - 1]);
            return index == 0 ? std::to_string(m_alert_keys.size()) : "0";
        default: return {};
        }
    }
    Control* c = control(field);
    if (!c) return {};
    const PixelRect r = c->rect();
    switch (number) {
    case kPropX: return units(true, r.left);
    case kPropY: return units(false, r.top);
    case kPropWidth: return units(true, r.right - r.left);
    case kPropHeight: return units(false, r.bottom - r.top);
    case kPropDisabled: return c->window() && !pd::is_enabled(c->window()) ? "1" : "";
    default: {
        std::string value;
        c->get_property(number, index, &value);
        return value;
    }
    }
}

bool Window::set_property(std::int32_t field, std::uint32_t number, std::string_view value, std::int32_t index) {
    if (!is_open()) {
        raise(kErrorNotOpen);
        return false;
    }
    if (number < 32000 && index >= 1) number += index - 1, index = 0;
    const bool truth = !value.empty() && value != "0";
    if (field == 0) {
        switch (number) {
        case kPropHelp: m_help = value; return true;
        case kPropIconize:
            if (truth)
                pd::minimize_window(m_handle);
            else if (pd::size_state(m_handle) == pd::kSizeMinimized)
                pd::restore_window(m_handle);
            return true;
        case kPropMessage:
            m_message = value;
            show_message(m_message);
            return true;
        case kPropAcceptAll:
            m_accept_all = truth;
            m_accept_cursor = 0;
            return true;
        case kPropAlertKeys: {
            const std::uint32_t key = static_cast<std::uint32_t>(std::strtoul(std::string(value).c_str(), nullptr, 10));
            if (std::find(m_alert_keys.begin(), m_alert_keys.end(), key) == m_alert_keys.end())
                m_alert_keys.push_back(key);
            return true;
        }
        default: return false;
        }
    }
    Control* c = control(field);
    if (!c) return false;
    if (number == kPropDisabled) {
        c->set_disabled(truth);
        return true;
    }
    return c->set_property(number, index, value);
}

// ---- Free statements ------------------------------------------------------------------

Window* top_window() { return thread_top_window(thread_number()); }

int event() {
    Window* w = top_window();
    return w ? w->event() : 0;
}
std::int32_t field() {
    Window* w = top_window();
    return w ? w->field() : 0;
}
std::int32_t accepted() {
    Window* w = top_window();
    return w ? w->accepted() : 0;
}
std::uint32_t keycode() {
    Window* w = top_window();
    return w ? w->keycode() : thread_key_code(thread_number()) & kKeyCodeMask;
}
void setkeycode(std::uint32_t code) {
    if (Window* w = top_window())
        w->set_keycode(code);
    else
        set_thread_key(thread_number(), code & kKeyCodeMask, thread_key_char(thread_number()));
}
void post(int event, std::int32_t control, int thread) {
    if (thread == 0) thread = thread_number();
    Window* w = thread_top_window(thread);
    if (!w || !w->is_open()) return;
    if (control != 0) {
        w->post_event(control, static_cast<std::uint16_t>(event));
    } else {
        w->post(event, 0);
    }
}
void select(std::int32_t control) {
    if (Window* w = top_window())
        w->select(control);
    else
        raise(kErrorNotOpen);
}
void display(std::int32_t first, std::int32_t last) {
    if (Window* w = top_window())
        w->display(first, last);
    else
        raise(kErrorNotOpen);
}
void cycle() {
    if (Window* w = top_window()) w->cycle();
}

}  // namespace sk::ui
