// Buttons, labels, check boxes, drawings and progress bars.
#include "ui/controls/static_controls.h"

#include <algorithm>
#include <cmath>

#include "platform/display/display.h"
#include "platform/display/message_queue.h"
#include "ui/controls/image_file.h"

namespace sk::ui {

using namespace sk::platform::display;
namespace ev = control_events;

pd::Color definition_color(std::int32_t color) {
    const auto c = static_cast<std::uint32_t>(color);
    return rgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// ---- BUTTON ------------------------------------------------------------------

ButtonControl::ButtonControl(ControlHost& host, const ControlDefinition& definition, const PixelRect& rect)
    : WidgetControl(host, definition, VariableRef{}, rect, 0), m_default((definition.options & kButtonDefault) != 0) {}

void ButtonControl::set_default(bool is_default) {
    m_default = is_default;
    repaint();
}

void ButtonControl::press() {
    if (is_disabled()) return;
    if (definition().action != 0) {
        if (m_action_hook) {
            m_action_hook(definition().action);
        } else {
            // The window carries the action out as it does for the button's command.
            Message cmd;
            cmd.code = kMsgCommand;
            cmd.window = host().client_window();
            cmd.wparam = static_cast<std::uint32_t>(field() + 0x4000);
            post_message(cmd);
        }
        return;
    }
    post(ev::kAccepted);
}

bool ButtonControl::on_other(const Message& m) {
    if (m.code != kMsgCommand) return false;
    // The window's command for this button (Enter on the default button): a button
    // with a standard action has had it carried out and reports nothing.
    if (definition().action == 0 && !is_disabled()) post(ev::kAccepted);
    return true;
}

bool ButtonControl::on_key_down(const Message& m) {
    switch (m.wparam) {
        case kVkSpace:
            m_pressed = true;
            repaint();
            return true;
        case kVkReturn: press(); return true;
        case kVkTab: host().focus_next(field(), m.modifiers & kModShift); return true;
        default: return false;
    }
}

bool ButtonControl::on_key_up(const Message& m) {
    if (m.wparam != kVkSpace || !m_pressed) return false;
    m_pressed = false;
    repaint();
    press();
    return true;
}

bool ButtonControl::on_mouse(const Message& m) {
    const bool inside = client().contains(m.pos);
    switch (m.code) {
        case kMsgLButtonDown:
        case kMsgLButtonDblClk:
            m_tracking = m_pressed = true;
            set_capture(window());
            repaint();
            return true;
        case kMsgMouseMove:
            if (m_tracking && inside != m_pressed) {
                m_pressed = inside;
                repaint();
            }
            return true;
        case kMsgLButtonUp:
            if (!m_tracking) return true;
            m_tracking = m_pressed = false;
            release_capture();
            repaint();
            if (inside) press();
            return true;
        default: return false;
    }
}

void ButtonControl::on_focus(bool gained) {
    if (!gained) m_pressed = m_tracking = false;
    repaint();
}

void ButtonControl::paint(Painter& p, const Rect& c) {
    p.fill_rect(c, face_color());
    Rect r = c;
    if (m_default || has_focus()) {
        p.frame_rect(r, system_color(SystemColor::kWindowFrame));
        r = r.inset(1, 1);
    }
    p.draw_edge(r, m_pressed ? Edge::kSunkenThin : Edge::kRaised);
    Rect text = r.inset(3, 2);
    if (m_pressed) text = text.offset(1, 1);
    const unsigned flags = kTextCenter | kTextVCenter | kTextSingleLine | kTextMnemonic;
    if (is_disabled()) {
        p.draw_text(text.offset(1, 1), definition().text, font(), system_color(SystemColor::kButtonHighlight), flags);
        p.draw_text(text, definition().text, font(), system_color(SystemColor::kButtonShadow), flags);
    } else {
        p.draw_text(text, definition().text, font(), system_color(SystemColor::kButtonText), flags);
    }
    if (has_focus()) p.draw_focus_rect(r.inset(3, 3));
}

// ---- PROMPT and STRING ---------------------------------------------------------

LabelControl::LabelControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding,
                           const PixelRect& rect)
    : WidgetControl(host, definition, binding, rect, kStyleNoFocus),
      m_picture(definition.kind == kKindStringVar ? definition.picture : std::string()), m_text(definition.text) {
    display();
}

void LabelControl::display() {
    if (const auto* v = variable()) m_text = std::string(trim_right(format_variable(*v, m_picture)));
    repaint();
}

void LabelControl::set_text(std::string_view text) {
    m_text = std::string(text);
    repaint();
}

char LabelControl::mnemonic() const { return definition().kind == kKindPrompt ? mnemonic_of(m_text) : 0; }

bool LabelControl::get_property(std::uint32_t number, std::int32_t index, std::string* value) {
    (void)index;
    // 31745: the control's text.
    if (number != 31745) return false;
    if (value) *value = m_text;
    return true;
}

void LabelControl::paint(Painter& p, const Rect& c) {
    p.fill_rect(c, face_color());
    unsigned flags = kTextLeft | kTextSingleLine;
    if (definition().kind == kKindPrompt) flags |= kTextMnemonic;
    const Color ink = system_color(is_disabled() ? SystemColor::kGrayText : SystemColor::kWindowText);
    p.draw_text(c, m_text, font(), ink, flags);
}

// ---- CHECK ---------------------------------------------------------------------

CheckControl::CheckControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding,
                           const PixelRect& rect)
    : WidgetControl(host, definition, binding, rect, 0) {
    display();
}

void CheckControl::display() {
    if (const auto* v = variable()) m_checked = !variable_is_empty(*v);
    repaint();
}

void CheckControl::toggle() {
    m_checked = !m_checked;
    if (const auto* v = variable()) {
        if (is_string_type(v->type)) set_variable_text(*v, m_checked ? "1" : "");
        else set_variable_number(*v, m_checked ? 1 : 0);
    }
    repaint();
    post(ev::kAccepted);
}

void CheckControl::activate() {
    if (is_disabled()) return;
    focus();
    toggle();
}

bool CheckControl::on_key_down(const Message& m) {
    if (m.wparam == kVkSpace) {
        toggle();
        return true;
    }
    if (m.wparam == kVkTab) {
        host().focus_next(field(), m.modifiers & kModShift);
        return true;
    }
    return false;
}

bool CheckControl::on_mouse(const Message& m) {
    if (m.code == kMsgLButtonUp && client().contains(m.pos)) {
        toggle();
        return true;
    }
    return m.code == kMsgLButtonDown;
}

void CheckControl::paint(Painter& p, const Rect& c) {
    p.fill_rect(c, face_color());
    const int box = 13;
    const int top = (c.height() - box) / 2;
    Rect b = Rect::from_size(c.left, c.top + top, box, box);
    p.fill_rect(b, system_color(is_disabled() ? SystemColor::kButtonFace : SystemColor::kWindow));
    p.draw_edge(b, Edge::kSunken);
    if (m_checked) {
        const Color ink = system_color(is_disabled() ? SystemColor::kGrayText : SystemColor::kWindowText);
        // The tick: three strokes of a short and a long arm.
        for (int dy = 0; dy < 3; ++dy) {
            p.draw_line(Point{b.left + 3, b.top + 5 + dy}, Point{b.left + 5, b.top + 7 + dy}, ink);
            p.draw_line(Point{b.left + 5, b.top + 7 + dy}, Point{b.left + 9, b.top + 3 + dy}, ink);
        }
    }
    Rect text{b.right + 4, c.top, c.right, c.bottom};
    const Color ink = system_color(is_disabled() ? SystemColor::kGrayText : SystemColor::kWindowText);
    p.draw_text(text, definition().text, font(), ink, kTextLeft | kTextVCenter | kTextSingleLine | kTextMnemonic);
    if (has_focus()) {
        Size s = measure_text(font(), definition().text, kTextSingleLine | kTextMnemonic, text.width());
        int y = text.top + (text.height() - s.height) / 2;
        p.draw_focus_rect(Rect{text.left - 1, y - 1, std::min(text.right, text.left + s.width + 1), y + s.height + 1});
    }
}

// ---- IMAGE, BOX, LINE, REGION ------------------------------------------------------

GraphicControl::GraphicControl(ControlHost& host, const ControlDefinition& definition, const PixelRect& rect)
    : WidgetControl(host, definition, VariableRef{}, rect, kStyleNoFocus) {
    if (definition.kind == kKindImage && !definition.file.empty()) m_image = load_image(definition.file);
}

void GraphicControl::paint(Painter& p, const Rect& c) {
    const auto& d = definition();
    switch (d.kind) {
        case kKindBox:
        case kKindRegion:
            p.fill_rect(c, d.color2 != -1 ? definition_color(d.color2) : face_color());
            if (d.color1 != -1) p.frame_rect(c, definition_color(d.color1));
            else if (d.kind == kKindBox) p.draw_edge(c, Edge::kEtched);
            break;
        case kKindLine: {
            p.fill_rect(c, face_color());
            // An etched line: shadow with a highlight beside it.
            const Color dark = system_color(SystemColor::kButtonShadow), light = system_color(SystemColor::kButtonHighlight);
            if (c.height() <= 2) {
                p.draw_line(Point{c.left, c.top}, Point{c.right - 1, c.top}, dark);
                p.draw_line(Point{c.left, c.top + 1}, Point{c.right - 1, c.top + 1}, light);
            } else if (c.width() <= 2) {
                p.draw_line(Point{c.left, c.top}, Point{c.left, c.bottom - 1}, dark);
                p.draw_line(Point{c.left + 1, c.top}, Point{c.left + 1, c.bottom - 1}, light);
            } else {
                p.draw_line(Point{c.left, c.top}, Point{c.right - 1, c.bottom - 1}, dark);
            }
            break;
        }
        default:
            // The picture from the top left corner, clipped to the control; where it is
            // transparent, or when there is none, the face colour shows.
            p.fill_rect(c, face_color());
            if (m_image) p.draw_image(Point{c.left, c.top}, *m_image);
            break;
    }
}

bool GraphicControl::on_mouse(const Message& m) {
    if (definition().kind != kKindRegion) return false;
    const bool immediate = definition().flags & kControlImmediate;
    switch (m.code) {
        case kMsgLButtonDown: post(ev::kAccepted); return true;
        case kMsgLButtonUp:
            if (immediate) post(ev::kMouseUp);
            return true;
        case kMsgMouseMove:
            if (!immediate) return true;
            if (!m_inside) {
                m_inside = true;
                post(ev::kMouseIn);
            }
            post(ev::kMouseMove);
            return true;
        case kMsgMouseLeave:
            if (immediate && m_inside) post(ev::kMouseOut);
            m_inside = false;
            return true;
        default: return false;
    }
}

// ---- PROGRESS ------------------------------------------------------------------

ProgressControl::ProgressControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding,
                                 const PixelRect& rect)
    : WidgetControl(host, definition, binding, rect, kStyleNoFocus) {
    display();
}

void ProgressControl::display() {
    double before = m_value;
    if (const auto* v = variable()) m_value = variable_number(*v);
    if (m_value != before) repaint();
}

double ProgressControl::fraction() const {
    double low = definition().low, high = definition().high;
    if (low == 0 && high == 0) high = 100;  // a bar without a range counts in percent
    if (!(high > low)) return 0;
    return std::clamp((m_value - low) / (high - low), 0.0, 1.0);
}

void ProgressControl::paint(Painter& p, const Rect& c) {
    p.fill_rect(c, face_color());
    p.draw_edge(c, Edge::kSunkenThin);
    Rect inner = c.inset(2, 2);
    const int filled = static_cast<int>(std::lround(inner.width() * fraction()));
    // Classic blocks: a little wider than two thirds of the bar's height, one pixel apart.
    const int block = std::max(2, inner.height() * 2 / 3);
    const Color fill = system_color(SystemColor::kHighlight);
    for (int x = inner.left; x < inner.left + filled; x += block + 1)
        p.fill_rect(Rect{x, inner.top, std::min(x + block, inner.left + filled), inner.bottom}, fill);
}

}  // namespace sk::ui
