// The common control window: creation, geometry, state and message routing.
#include "ui/controls/control_base.h"

#include <cctype>
#include <unordered_map>

#include "platform/display/display.h"

namespace sk::ui {

namespace {
std::unordered_map<const ControlDefinition*, Control*>& registry() {
    static std::unordered_map<const ControlDefinition*, Control*> controls;
    return controls;
}
}  // namespace

void register_control(const ControlDefinition& definition, Control* control) { registry()[&definition] = control; }

void unregister_control(const ControlDefinition& definition, const Control* control) {
    auto it = registry().find(&definition);
    if (it != registry().end() && it->second == control) registry().erase(it);
}

Control* control_for(const ControlDefinition* definition) {
    auto it = registry().find(definition);
    return it == registry().end() ? nullptr : it->second;
}

void for_each_control(const std::function<bool(const ControlDefinition&, Control&)>& visit) {
    // A copy: the visitor may create or destroy controls.
    std::vector<std::pair<const ControlDefinition*, Control*>> all(registry().begin(), registry().end());
    for (const auto& [def, control] : all)
        if (!visit(*def, *control)) return;
}

Control* container_of(const ControlDefinition& definition) {
    for (const auto& [def, control] : registry()) {
        const auto& kids = def->children;
        if (!kids.empty() && &definition >= kids.data() && &definition < kids.data() + kids.size()) return control;
    }
    return nullptr;
}

std::shared_ptr<const pd::Font> control_font(const ControlHost& host) {
    if (auto f = host.window_font()) return f;
    static std::shared_ptr<const pd::Font> fallback;
    if (!fallback) fallback = pd::open_font(pd::FontSpec{});
    return fallback;
}

char mnemonic_of(std::string_view text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 1])));
    }
    return 0;
}

WidgetControl::WidgetControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding,
                             const PixelRect& rect, std::uint32_t style)
    : Control(definition), m_host(&host), m_binding(binding), m_rect(rect), m_style(style),
      m_font(control_font(host)) {
    pd::WindowSpec spec;
    spec.kind = pd::WindowKind::kChild;
    spec.parent = host.client_window();
    spec.rect = pd::Rect{rect.left, rect.top, rect.right, rect.bottom};
    spec.style = style;
    spec.identifier = static_cast<std::uint32_t>(definition.field + 0x4000);
    m_hidden = on_hidden_page(definition);
    spec.visible = !m_hidden;
    spec.background = pd::system_color(pd::SystemColor::kButtonFace);
    m_window = pd::create_window(spec);
    if (definition.flags & kFlagDisabled) set_disabled(true);
    register_control(definition, this);
}

WidgetControl::~WidgetControl() {
    unregister_control(definition(), this);
    if (m_window != 0 && pd::is_window(m_window)) pd::destroy_window(m_window);
}

bool WidgetControl::takes_focus() const {
    return !(m_style & pd::kStyleNoFocus) && !m_disabled && !m_hidden && m_window != 0;
}

void WidgetControl::focus() {
    if (m_window != 0) pd::set_focus(m_window);
}

void WidgetControl::move(const PixelRect& rect) {
    m_rect = rect;
    if (m_window != 0) pd::move_window(m_window, pd::Rect{rect.left, rect.top, rect.right, rect.bottom});
    on_resize();
    repaint();
}

void WidgetControl::set_hidden(bool hidden) {
    m_hidden = hidden;
    if (m_window != 0) pd::show_window(m_window, !hidden);
}

void WidgetControl::set_disabled(bool disabled) {
    m_disabled = disabled;
    if (m_window != 0) pd::enable_window(m_window, !disabled);
    repaint();
}

void WidgetControl::post(std::uint16_t event) const {
    if (field() != 0) m_host->post_event(field(), event);
}

void WidgetControl::repaint() const {
    if (m_window != 0) pd::invalidate(m_window);
}

pd::Rect WidgetControl::client() const {
    return m_window != 0 ? pd::client_rect(m_window)
                         : pd::Rect{0, 0, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top};
}

pd::Color WidgetControl::face_color() const { return pd::system_color(pd::SystemColor::kButtonFace); }

bool WidgetControl::handle_message(const pd::Message& m) {
    using namespace pd;
    if (m.window != m_window || m_window == 0) return false;
    switch (m.code) {
        case kMsgPaint: {
            PaintSession session = begin_paint(m_window);
            if (session.is_valid()) paint(session.painter(), client());
            return true;
        }
        case kMsgSetFocus: on_focus(true); return true;
        case kMsgKillFocus: on_focus(false); return true;
        case kMsgSize: on_resize(); repaint(); return true;
        case kMsgKeyDown: return !m_disabled && on_key_down(m);
        case kMsgKeyUp: return !m_disabled && on_key_up(m);
        case kMsgChar: return !m_disabled && on_char(m);
        case kMsgMouseMove:
        case kMsgLButtonDown:
        case kMsgLButtonUp:
        case kMsgLButtonDblClk:
        case kMsgRButtonDown:
        case kMsgRButtonUp:
        case kMsgMouseWheel:
        case kMsgMouseLeave: return !m_disabled && on_mouse(m);
        default: return on_other(m);
    }
}

}  // namespace sk::ui
