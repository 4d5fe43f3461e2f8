// OPTION and RADIO, SHEET and TAB.
#include "ui/controls/choice_controls.h"

#include <algorithm>
#include <charconv>

#include "platform/display/display.h"

namespace sk::ui {

using namespace sk::platform::display;
namespace ev = control_events;

namespace {

std::string without_mnemonic(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

bool contains(const ControlDefinition& parent, const ControlDefinition* target) {
    for (const auto& c : parent.children)
        if (&c == target || contains(c, target)) return true;
    return false;
}

void for_each_descendant(const ControlDefinition& parent, const std::function<void(const ControlDefinition&)>& f) {
    for (const auto& c : parent.children) {
        f(c);
        for_each_descendant(c, f);
    }
}

}  // namespace

bool on_hidden_page(const ControlDefinition& definition) {
    bool hidden = false;
    for_each_control([&](const ControlDefinition& d, Control& c) {
        if (d.kind != kKindSheet) return true;
        const auto* sheet = dynamic_cast<const SheetControl*>(&c);
        if (sheet == nullptr) return true;
        for (std::size_t i = 0; i < d.children.size(); ++i) {
            if (i != sheet->selected() && contains(d.children[i], &definition)) {
                hidden = true;
                return false;
            }
        }
        return true;
    });
    return hidden;
}

// ---- OPTION --------------------------------------------------------------------

OptionControl::OptionControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding,
                             const PixelRect& rect)
    : WidgetControl(host, definition, binding, rect, kStyleNoFocus) {
    display();
}

std::size_t OptionControl::index_of(const ControlDefinition& radio) const {
    const auto& kids = definition().children;
    for (std::size_t i = 0; i < kids.size(); ++i)
        if (&kids[i] == &radio) return i + 1;
    return 0;
}

bool OptionControl::is_chosen(const ControlDefinition& radio) const {
    return m_chosen != 0 && index_of(radio) == m_chosen;
}

void OptionControl::display() {
    const auto* v = variable();
    if (v != nullptr) {
        m_chosen = 0;
        const auto& kids = definition().children;
        if (is_string_type(v->type)) {
            std::string value(trim_right(variable_text(*v)));
            for (std::size_t i = 0; i < kids.size(); ++i)
                if (without_mnemonic(kids[i].text) == value) m_chosen = i + 1;
        } else {
            double n = variable_number(*v);
            if (n >= 1 && n <= static_cast<double>(kids.size())) m_chosen = static_cast<std::size_t>(n);
        }
    }
    repaint();
    redraw_members();
}

void OptionControl::redraw_members() const {
    for (const auto& kid : definition().children)
        if (auto* r = dynamic_cast<RadioControl*>(control_for(&kid))) pd::invalidate(r->window());
}

void OptionControl::choose(const ControlDefinition& radio) {
    std::size_t index = index_of(radio);
    if (index == 0) return;
    m_chosen = index;
    if (const auto* v = variable()) {
        if (is_string_type(v->type)) set_variable_text(*v, without_mnemonic(radio.text));
        else set_variable_number(*v, static_cast<double>(index));
    }
    redraw_members();
    if (radio.field != 0) host().post_event(radio.field, ev::kAccepted);
}

RadioControl* OptionControl::neighbour(const ControlDefinition& radio, bool backwards) const {
    const auto& kids = definition().children;
    std::size_t i = index_of(radio);
    if (i == 0 || kids.empty()) return nullptr;
    for (std::size_t step = 1; step < kids.size(); ++step) {
        std::size_t k = backwards ? (i - 1 + kids.size() - step) % kids.size() : (i - 1 + step) % kids.size();
        auto* r = dynamic_cast<RadioControl*>(control_for(&kids[k]));
        if (r != nullptr && r->takes_focus()) return r;
    }
    return nullptr;
}

void OptionControl::paint(Painter& p, const Rect& c) {
    p.fill_rect(c, face_color());
    const int h = font().metrics().height;
    p.draw_edge(Rect{c.left, c.top + h / 2, c.right, c.bottom}, Edge::kEtched);
    if (!definition().text.empty()) {
        Size s = measure_text(font(), definition().text, kTextSingleLine | kTextMnemonic, c.width());
        Rect caption = Rect::from_size(c.left + 8, c.top, s.width + 4, h);
        p.fill_rect(caption, face_color());
        p.draw_text(caption.inset(2, 0), definition().text, font(),
                    system_color(is_disabled() ? SystemColor::kGrayText : SystemColor::kWindowText),
                    kTextLeft | kTextSingleLine | kTextMnemonic);
    }
}

// ---- RADIO ---------------------------------------------------------------------

RadioControl::RadioControl(ControlHost& host, const ControlDefinition& definition, const PixelRect& rect)
    : WidgetControl(host, definition, VariableRef{}, rect, 0) {}

OptionControl* RadioControl::option() const { return dynamic_cast<OptionControl*>(container_of(definition())); }

bool RadioControl::is_checked() const {
    const OptionControl* o = option();
    return o != nullptr && o->is_chosen(definition());
}

void RadioControl::choose() {
    if (OptionControl* o = option()) o->choose(definition());
    else post(ev::kAccepted);
}

void RadioControl::activate() {
    if (is_disabled()) return;
    focus();
    choose();
}

bool RadioControl::on_key_down(const Message& m) {
    switch (m.wparam) {
        case kVkSpace: choose(); return true;
        case kVkUp:
        case kVkLeft:
        case kVkDown:
        case kVkRight: {
            OptionControl* o = option();
            RadioControl* next = o ? o->neighbour(definition(), m.wparam == kVkUp || m.wparam == kVkLeft) : nullptr;
            if (next != nullptr) {
                next->focus();
                next->choose();
            }
            return true;
        }
        case kVkTab: host().focus_next(field(), m.modifiers & kModShift); return true;
        default: return false;
    }
}

bool RadioControl::on_mouse(const Message& m) {
    if (m.code == kMsgLButtonUp && client().contains(m.pos)) {
        choose();
        return true;
    }
    return m.code == kMsgLButtonDown;
}

void RadioControl::paint(Painter& p, const Rect& c) {
    p.fill_rect(c, face_color());
    const int d = 12;
    const int top = c.top + (c.height() - d) / 2;
    const Point centre{c.left + d / 2, top + d / 2};
    const Color dark = system_color(SystemColor::kButtonShadow), light = system_color(SystemColor::kButtonHighlight);
    const Color well = system_color(is_disabled() ? SystemColor::kButtonFace : SystemColor::kWindow);
    // A round well: the upper-left half in shadow, the lower-right lit.
    for (int y = 0; y < d; ++y) {
        for (int x = 0; x < d; ++x) {
            const int dx = 2 * x - d + 1, dy = 2 * y - d + 1;
            const int r2 = dx * dx + dy * dy;
            if (r2 > d * d) continue;
            Color col = well;
            if (r2 > (d - 3) * (d - 3)) col = (dx + dy < 0) ? dark : light;
            p.set_pixel(Point{c.left + x, top + y}, col);
        }
    }
    if (is_checked()) {
        const Color ink = system_color(is_disabled() ? SystemColor::kGrayText : SystemColor::kWindowText);
        p.fill_rect(Rect{centre.x - 2, centre.y - 2, centre.x + 2, centre.y + 2}, ink);
    }
    Rect text{c.left + d + 4, c.top, c.right, c.bottom};
    p.draw_text(text, definition().text, font(),
                system_color(is_disabled() ? SystemColor::kGrayText : SystemColor::kWindowText),
                kTextLeft | kTextVCenter | kTextSingleLine | kTextMnemonic);
    if (has_focus()) {
        Size s = measure_text(font(), definition().text, kTextSingleLine | kTextMnemonic, text.width());
        int y = text.top + (text.height() - s.height) / 2;
        p.draw_focus_rect(Rect{text.left - 1, y - 1, std::min(text.right, text.left + s.width + 1), y + s.height + 1});
    }
}

// ---- TAB -----------------------------------------------------------------------

TabControl::TabControl(const ControlDefinition& definition, const PixelRect& rect) : Control(definition), m_rect(rect) {
    register_control(definition, this);
}

TabControl::~TabControl() { unregister_control(definition(), this); }

// ---- SHEET ---------------------------------------------------------------------

SheetControl::SheetControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding,
                           const PixelRect& rect)
    : WidgetControl(host, definition, binding, rect, 0) {
    // The sheet lies under every control of the window, those declared before it
    // included: raise each earlier sibling in turn, keeping their order.
    if (window() != 0) {
        for (WindowId w : child_windows(parent_window(window())))
            if (w != window()) bring_to_top(w);
    }
    display();
}

const ControlDefinition* SheetControl::selected_definition() const {
    return m_selected < tab_count() ? &definition().children[m_selected] : nullptr;
}

bool SheetControl::tab_enabled(std::size_t index) const {
    if (index >= tab_count()) return false;
    const ControlDefinition& tab = definition().children[index];
    if (auto* t = dynamic_cast<TabControl*>(control_for(&tab))) return !t->is_disabled();
    return !(tab.flags & kFlagDisabled);
}

void SheetControl::display() {
    if (const auto* v = variable()) {
        double n = variable_number(*v);
        if (n >= 1 && n <= static_cast<double>(tab_count()) && static_cast<std::size_t>(n) - 1 != m_selected) {
            m_selected = static_cast<std::size_t>(n) - 1;
            show_pages();
        }
    }
    repaint();
}

void SheetControl::show_pages() {
    for (std::size_t i = 0; i < tab_count(); ++i) {
        const bool hidden = i != m_selected;
        for_each_descendant(definition().children[i], [&](const ControlDefinition& d) {
            if (Control* c = control_for(&d)) c->set_hidden(hidden);
        });
    }
}

bool SheetControl::select_tab(std::size_t index) {
    if (index >= tab_count() || index == m_selected || !tab_enabled(index)) return false;
    // The procedure hears of the change before it happens and may refuse it.
    if (field() != 0 && host().deliver_now(field(), ev::kTabChanging)) return false;
    m_selected = index;
    if (const auto* v = variable()) set_variable_number(*v, static_cast<double>(index + 1));
    show_pages();
    repaint();
    post(ev::kNewSelection);
    return true;
}

bool SheetControl::get_property(std::uint32_t number, std::int32_t index, std::string* value) {
    (void)index;
    if (number != 31887) return false;
    if (value) *value = std::to_string(m_selected + 1);
    return true;
}

bool SheetControl::set_property(std::uint32_t number, std::int32_t index, std::string_view value) {
    (void)index;
    if (number != 31887) return false;
    long n = 0;
    std::from_chars(value.data(), value.data() + value.size(), n);
    if (n >= 1) select_tab(static_cast<std::size_t>(n - 1));
    return true;
}

int SheetControl::strip_height() const { return font().metrics().height + 8; }

Rect SheetControl::tab_rect(std::size_t index) const {
    int x = 2;
    for (std::size_t i = 0; i < tab_count(); ++i) {
        std::string_view text = definition().children[i].text;
        int w = measure_text(font(), text, kTextSingleLine | kTextMnemonic, 10000).width + 14;
        if (i == index) return Rect{x, 2, x + w, strip_height()};
        x += w;
    }
    return Rect{};
}

bool SheetControl::on_key_down(const Message& m) {
    const bool ctrl = m.modifiers & kModControl, shift = m.modifiers & kModShift;
    auto step = [&](bool backwards) {
        const std::size_t n = tab_count();
        for (std::size_t k = 1; k < n; ++k) {
            std::size_t i = backwards ? (m_selected + n - k) % n : (m_selected + k) % n;
            if (tab_enabled(i)) {
                select_tab(i);
                return;
            }
        }
    };
    switch (m.wparam) {
        case kVkLeft: step(true); return true;
        case kVkRight: step(false); return true;
        case kVkPrior:
            if (!ctrl) return false;
            step(true);
            return true;
        case kVkNext:
            if (!ctrl) return false;
            step(false);
            return true;
        case kVkTab:
            if (ctrl) step(shift);
            else host().focus_next(field(), shift);
            return true;
        default: return false;
    }
}

bool SheetControl::on_mouse(const Message& m) {
    if (m.code != kMsgLButtonDown) return false;
    for (std::size_t i = 0; i < tab_count(); ++i) {
        if (tab_rect(i).inset(0, -2).contains(m.pos)) {
            select_tab(i);
            return true;
        }
    }
    return true;
}

void SheetControl::paint(Painter& p, const Rect& c) {
    p.fill_rect(c, face_color());
    const int strip = strip_height();
    Rect page{c.left, c.top + strip, c.right, c.bottom};
    p.draw_edge(page, Edge::kRaised);
    const Color light = system_color(SystemColor::kButtonHighlight), dark = system_color(SystemColor::kButtonShadow),
                darker = system_color(SystemColor::kButtonDarkShadow);
    for (std::size_t i = 0; i < tab_count(); ++i) {
        Rect t = tab_rect(i);
        const bool on = i == m_selected;
        if (on) t = Rect{t.left - 2, t.top - 2, t.right + 2, t.bottom + 1};
        p.fill_rect(Rect{t.left + 1, t.top + 1, t.right - 1, t.bottom}, face_color());
        p.draw_line(Point{t.left, t.top + 2}, Point{t.left, t.bottom - 1}, light);
        p.draw_line(Point{t.left + 1, t.top + 1}, Point{t.left + 1, t.top + 1}, light);
        p.draw_line(Point{t.left + 2, t.top}, Point{t.right - 3, t.top}, light);
        p.draw_line(Point{t.right - 2, t.top + 1}, Point{t.right - 2, t.bottom - 1}, dark);
        p.draw_line(Point{t.right - 1, t.top + 2}, Point{t.right - 1, t.bottom - 1}, darker);
        if (on) p.fill_rect(Rect{t.left + 1, t.bottom - 1, t.right - 2, t.bottom + 1}, face_color());
        const bool enabled = tab_enabled(i) && !is_disabled();
        Rect text = t.inset(2, 2);
        p.draw_text(text, definition().children[i].text, font(),
                    system_color(enabled ? SystemColor::kButtonText : SystemColor::kGrayText),
                    kTextCenter | kTextVCenter | kTextSingleLine | kTextMnemonic);
        if (on && has_focus()) p.draw_focus_rect(text.inset(1, 1));
    }
}

}  // namespace sk::ui
