// COMBO, SPIN and TEXT.
#include "ui/controls/edit_variants.h"

#include <algorithm>
#include <cmath>

#include "platform/display/display.h"
#include "platform/display/utf8.h"
#include "ui/controls/list_control.h"

namespace sk::ui {

using namespace sk::platform::display;
namespace ev = control_events;

namespace {
int button_width(const Rect& c) { return std::min(c.width() / 2, screen_metrics().scroll_bar_width); }

void draw_arrow(Painter& p, const Rect& r, bool up, Color ink) {
    int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    const int size = std::max(1, std::min(4, r.height() / 3));
    for (int i = 0; i < size; ++i) {
        int y = up ? cy - size / 2 + i : cy + size / 2 - i - (size % 2 ? 0 : 1);
        p.draw_line(Point{cx - i, y}, Point{cx + i, y}, ink);
    }
}
}  // namespace

// ---- COMBO ---------------------------------------------------------------------

ComboControl::ComboControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding,
                           VariableRef source, const PixelRect& rect)
    : EntryControl(host, definition, binding, rect, definition.picture),
      m_rows(parse_list_format(definition.format, host.unit_scale(), std::max(1, screen_metrics().border_width)),
             row_source(source), definition.strings),
      m_drop(m_rows, font_ptr()) {
    on_resize();
}

ComboControl::~ComboControl() { m_drop.close(); }

bool ComboControl::owns_window(WindowId w) const { return w != 0 && (w == window() || w == m_drop.window()); }

Rect ComboControl::button_rect() const {
    Rect c = client();
    return Rect{c.right - 2 - button_width(c), c.top + 2, c.right - 2, c.bottom - 2};
}

Rect ComboControl::text_area() const {
    Rect a = EntryControl::text_area();
    a.right = button_rect().left - 1;
    return a;
}

void ComboControl::select_row(std::size_t row) {
    if (row > m_rows.count()) row = 0;
    m_selected = row;
    if (row != 0) replace_text(m_rows.row_text(row));
}

void ComboControl::pick(std::size_t row) {
    m_drop.close();
    repaint();
    if (row == 0 || row == m_selected) return;
    m_selected = row;
    replace_text(m_rows.row_text(row));
    post(ev::kNewSelection);
}

void ComboControl::drop_down() {
    if (m_drop.is_open() || window() == 0) return;
    post(ev::kDroppingDown);
    // Highlight the row that matches the text, when one does.
    std::size_t match = 0;
    for (std::size_t r = 1; r <= m_rows.count() && match == 0; ++r)
        if (m_rows.row_text(r) == trim_right(text())) match = r;
    m_drop.open(window(), screen_rect(window()), definition().drop > 0 ? definition().drop : 5, match ? match : m_selected);
    post(ev::kDroppedDown);
}

void ComboControl::close_up() {
    m_drop.close();
    repaint();
}

bool ComboControl::handle_message(const Message& m) {
    if (m_drop.is_open() && m.window == m_drop.window()) {
        if (std::size_t row = m_drop.handle_message(m)) pick(row);
        return true;
    }
    return EntryControl::handle_message(m);
}

bool ComboControl::on_key_down(const Message& m) {
    const bool open = m_drop.is_open();
    if (m.wparam == kVkF1 + 3 || ((m.wparam == kVkDown || m.wparam == kVkUp) && (m.modifiers & kModAlt))) {
        open ? close_up() : drop_down();
        return true;
    }
    if (open) {
        switch (m.wparam) {
            case kVkDown: m_drop.move_highlight(1); return true;
            case kVkUp: m_drop.move_highlight(-1); return true;
            case kVkNext: m_drop.move_highlight(m_drop.visible_rows()); return true;
            case kVkPrior: m_drop.move_highlight(-m_drop.visible_rows()); return true;
            case kVkReturn: pick(m_drop.highlighted()); return true;
            case kVkEscape: close_up(); return true;
            default: break;
        }
    }
    return EntryControl::on_key_down(m);
}

bool ComboControl::on_mouse(const Message& m) {
    if (m.code == kMsgLButtonDown && button_rect().contains(m.pos)) {
        m_drop.is_open() ? close_up() : drop_down();
        return true;
    }
    return EntryControl::on_mouse(m);
}

void ComboControl::on_focus(bool gained) {
    if (!gained) m_drop.close();
    EntryControl::on_focus(gained);
}

bool ComboControl::get_property(std::uint32_t number, std::int32_t index, std::string* value) {
    (void)index;
    if (number != kPropSelected) return false;
    if (value) *value = std::to_string(m_selected);
    return true;
}

bool ComboControl::set_property(std::uint32_t number, std::int32_t index, std::string_view value) {
    (void)index;
    if (number != kPropSelected) return false;
    double n = 0;
    if (sk::rt::picture_detail::parse_plain_number(value, &n) && n >= 0) select_row(static_cast<std::size_t>(n));
    return true;
}

void ComboControl::paint(Painter& p, const Rect& c) {
    EntryControl::paint(p, c);
    Rect b = button_rect();
    p.fill_rect(b, system_color(SystemColor::kButtonFace));
    p.draw_edge(b, m_drop.is_open() ? Edge::kSunkenThin : Edge::kRaised);
    draw_arrow(p, b, false, system_color(is_disabled() ? SystemColor::kGrayText : SystemColor::kButtonText));
}

// ---- SPIN ----------------------------------------------------------------------

SpinControl::SpinControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding,
                         VariableRef source, const PixelRect& rect)
    : EntryControl(host, definition, binding, rect, definition.picture),
      m_rows(parse_list_format("", host.unit_scale()), row_source(source), definition.strings) {
    if (m_rows.format().columns.empty()) m_rows.format() = parse_list_format("1L", host.unit_scale());
    on_resize();
}

Rect SpinControl::button_rect(bool up) const {
    Rect c = client();
    Rect b{c.right - 2 - button_width(c), c.top + 2, c.right - 2, c.bottom - 2};
    const int mid = (b.top + b.bottom) / 2;
    return up ? Rect{b.left, b.top, b.right, mid} : Rect{b.left, mid, b.right, b.bottom};
}

Rect SpinControl::text_area() const {
    Rect a = EntryControl::text_area();
    a.right = button_rect(true).left - 1;
    return a;
}

void SpinControl::step(bool up) {
    if (buffer().options().read_only || is_disabled()) return;
    if (m_rows.source() != nullptr || m_rows.count() > 0) {
        const std::size_t n = m_rows.count();
        if (n == 0) return;
        std::size_t at = 0;
        for (std::size_t r = 1; r <= n && at == 0; ++r)
            if (m_rows.row_text(r) == trim_right(text())) at = r;
        std::size_t next = at == 0 ? 1 : up ? std::min(n, at + 1) : (at > 1 ? at - 1 : 1);
        if (next != at) replace_text(m_rows.row_text(next));
        return;
    }
    double value = 0;
    if (picture().has_picture() && !picture().is_string()) sk::rt::deformat_number(text(), picture().compiled(), &value);
    else sk::rt::picture_detail::parse_plain_number(text(), &value);
    const double step = definition().step != 0 ? std::fabs(definition().step) : 1;
    double next = value + (up ? step : -step);
    const double low = definition().low, high = definition().high;
    if (high > low) next = std::clamp(next, low, high);
    std::string shown;
    if (picture().has_picture() && !picture().is_string()) {
        shown.assign(picture().width(), ' ');
        sk::rt::format_number(picture().compiled(), next, shown.data(), shown.size());
    } else {
        char buffer[400];
        shown.assign(buffer, sk::rt::picture_detail::plain_number_text(next, buffer, sizeof buffer));
    }
    replace_text(shown);
}

bool SpinControl::on_key_down(const Message& m) {
    if (m.wparam == kVkUp || m.wparam == kVkDown) {
        step(m.wparam == kVkUp);
        return true;
    }
    return EntryControl::on_key_down(m);
}

bool SpinControl::on_mouse(const Message& m) {
    if ((m.code == kMsgLButtonDown || m.code == kMsgLButtonDblClk) &&
        (button_rect(true).contains(m.pos) || button_rect(false).contains(m.pos))) {
        step(button_rect(true).contains(m.pos));
        return true;
    }
    if (m.code == kMsgMouseWheel) {
        step(m.lparam > 0);
        return true;
    }
    return EntryControl::on_mouse(m);
}

void SpinControl::paint(Painter& p, const Rect& c) {
    EntryControl::paint(p, c);
    const Color ink = system_color(is_disabled() ? SystemColor::kGrayText : SystemColor::kButtonText);
    for (bool up : {true, false}) {
        Rect b = button_rect(up);
        p.fill_rect(b, system_color(SystemColor::kButtonFace));
        p.draw_edge(b, Edge::kRaisedThin);
        draw_arrow(p, b, up, ink);
    }
}

// ---- TEXT ----------------------------------------------------------------------

namespace {
constexpr std::uint8_t kTextReadOnly = 0x80;
constexpr std::size_t kTextWithoutVariable = 65535;
}  // namespace

TextControl::TextControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding,
                         const PixelRect& rect)
    : WidgetControl(host, definition, binding, rect, kStyleDoubleClicks) {
    display();
}

bool TextControl::read_only() const { return (definition().options & kTextReadOnly) != 0; }

std::size_t TextControl::capacity() const {
    const auto* v = variable();
    if (v == nullptr) return kTextWithoutVariable;
    if (v->type == sk::rt::kTypeCString || v->type == sk::rt::kTypePString) return v->size - 1;
    return v->size;
}

void TextControl::display() {
    if (const auto* v = variable()) m_text = std::string(trim_right(variable_text(*v)));
    m_text = std::string(utf8_prefix(m_text, capacity()));
    m_caret = std::min(m_caret, m_text.size());
    m_modified = false;
    follow_caret();
    repaint();
}

bool TextControl::store() {
    if (const auto* v = variable()) set_variable_text(*v, m_text);
    m_modified = false;
    return true;
}

bool TextControl::accept() {
    if (m_modified) store();
    return true;
}

std::vector<TextControl::Line> TextControl::lines() const {
    std::vector<Line> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= m_text.size(); ++i) {
        if (i == m_text.size() || m_text[i] == '\n' || m_text[i] == '\r') {
            out.push_back(Line{start, i});
            if (i < m_text.size() && m_text[i] == '\r' && i + 1 < m_text.size() && m_text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    return out;
}

std::size_t TextControl::line_of(std::size_t position) const {
    auto ls = lines();
    for (std::size_t i = 0; i < ls.size(); ++i)
        if (position <= ls[i].end) return i;
    return ls.empty() ? 0 : ls.size() - 1;
}

void TextControl::changed() {
    m_modified = true;
    follow_caret();
    repaint();
}

void TextControl::insert(std::string_view s) {
    if (read_only()) return;
    if (m_text.size() + s.size() > capacity()) {
        beep();
        return;
    }
    m_text.insert(m_caret, s);
    m_caret += s.size();
    changed();
}

bool TextControl::edit_action(EditAction action) {
    switch (action) {
        case EditAction::kPaste: {
            std::string clip = clipboard_text();
            std::size_t room = capacity() > m_text.size() ? capacity() - m_text.size() : 0;
            insert(utf8_prefix(clip, room));
            return true;
        }
        case EditAction::kCopy: set_clipboard_text(m_text); return true;
        default: return false;
    }
}

bool TextControl::on_char(const Message& m) {
    const char32_t c = static_cast<char32_t>(m.wparam);
    if (c == '\t' || c == 0x1B || (m.modifiers & kModControl)) return false;
    if (c == '\r' || c == '\n') return true;  // Enter arrives as a key
    if (c < 0x20 || c == 0x7F) {
        beep();
        return true;
    }
    if (read_only()) {
        beep();
        return true;
    }
    insert(std::string_view(m.text));
    return true;
}

bool TextControl::on_key_down(const Message& m) {
    auto ls = lines();
    const std::size_t li = line_of(m_caret);
    auto column_x = [&](std::size_t line, std::size_t pos) {
        return font().text_width(std::string_view(m_text).substr(ls[line].start, pos - ls[line].start));
    };
    auto at_x = [&](std::size_t line, int x) {
        std::size_t p = ls[line].start;
        while (p < ls[line].end) {
            std::size_t n = p;
            decode_char(m_text, n);
            if (column_x(line, n) > x) break;
            p = n;
        }
        return p;
    };
    auto key = [&](std::uint32_t vk) {
        Message k;
        k.code = kMsgKeyDown;
        k.window = m.window;
        k.wparam = vk;
        return k;
    };
    switch (m.wparam) {
        case kVkLeft:
            if (m_caret > 0) {
                std::size_t p = 0, last = 0;
                while (p < m_caret) last = p, decode_char(m_text, p);
                m_caret = (last + 1 == m_caret && m_text[last] == '\n' && last > 0 && m_text[last - 1] == '\r') ? last - 1 : last;
            }
            break;
        case kVkRight:
            if (m_caret < m_text.size()) {
                if (m_text[m_caret] == '\r' && m_caret + 1 < m_text.size() && m_text[m_caret + 1] == '\n') m_caret += 2;
                else decode_char(m_text, m_caret);
            }
            break;
        case kVkUp:
            if (li > 0) m_caret = at_x(li - 1, column_x(li, m_caret));
            break;
        case kVkDown:
            if (li + 1 < ls.size()) m_caret = at_x(li + 1, column_x(li, m_caret));
            break;
        case kVkHome: m_caret = (m.modifiers & kModControl) ? 0 : ls[li].start; break;
        case kVkEnd: m_caret = (m.modifiers & kModControl) ? m_text.size() : ls[li].end; break;
        case kVkReturn:
            if (read_only()) return false;
            insert("\r\n");
            return true;
        case kVkBack:
            if (read_only() || m_caret == 0) return true;
            {
                std::size_t end = m_caret;
                on_key_down(key(kVkLeft));
                m_text.erase(m_caret, end - m_caret);
                changed();
            }
            return true;
        case kVkDelete:
            if (read_only() || m_caret >= m_text.size()) return true;
            {
                std::size_t start = m_caret;
                on_key_down(key(kVkRight));
                m_text.erase(start, m_caret - start);
                m_caret = start;
                changed();
            }
            return true;
        case kVkTab: host().focus_next(field(), m.modifiers & kModShift); return true;
        default:
            if ((m.modifiers & kModControl) && m.wparam == 'V') return edit_action(EditAction::kPaste);
            if ((m.modifiers & kModControl) && m.wparam == 'C') return edit_action(EditAction::kCopy);
            return false;
    }
    follow_caret();
    repaint();
    return true;
}

std::size_t TextControl::position_at(Point pt) const {
    auto ls = lines();
    const int h = font().metrics().height;
    int li = std::clamp((pt.y - 2) / std::max(1, h) + m_first_line, 0, static_cast<int>(ls.size()) - 1);
    const Line& l = ls[static_cast<std::size_t>(li)];
    std::size_t p = l.start;
    while (p < l.end) {
        std::size_t n = p;
        decode_char(m_text, n);
        if (font().text_width(std::string_view(m_text).substr(l.start, n - l.start)) > pt.x - 3) break;
        p = n;
    }
    return p;
}

bool TextControl::on_mouse(const Message& m) {
    if (m.code != kMsgLButtonDown) return m.code == kMsgLButtonUp;
    m_caret = position_at(m.pos);
    follow_caret();
    repaint();
    return true;
}

void TextControl::follow_caret() {
    const int h = std::max(1, font().metrics().height);
    const int visible = std::max(1, (client().height() - 4) / h);
    const int li = static_cast<int>(line_of(m_caret));
    if (li < m_first_line) m_first_line = li;
    if (li >= m_first_line + visible) m_first_line = li - visible + 1;
    place_caret();
}

void TextControl::place_caret() {
    if (caret_window() != window() || window() == 0) return;
    auto ls = lines();
    const std::size_t li = line_of(m_caret);
    int x = font().text_width(std::string_view(m_text).substr(ls[li].start, m_caret - ls[li].start));
    set_caret_position(Point{3 + x, 2 + (static_cast<int>(li) - m_first_line) * font().metrics().height});
}

void TextControl::on_focus(bool gained) {
    if (gained) {
        create_caret(window(), Size{1, font().metrics().height});
        place_caret();
        show_caret(true);
        host().show_message(definition().attr.message);
        return;
    }
    if (caret_window() == window()) destroy_caret();
    host().show_message("");
    if (m_modified) {
        store();
        post(ev::kAccepted);
    }
}

void TextControl::paint(Painter& p, const Rect& c) {
    p.fill_rect(c, system_color(is_disabled() || read_only() ? SystemColor::kButtonFace : SystemColor::kWindow));
    p.draw_edge(c, Edge::kSunken);
    p.save();
    p.clip_to(c.inset(2, 2));
    const int h = font().metrics().height;
    const Color ink = system_color(is_disabled() ? SystemColor::kGrayText : SystemColor::kWindowText);
    auto ls = lines();
    for (std::size_t i = static_cast<std::size_t>(std::max(0, m_first_line)); i < ls.size(); ++i) {
        int y = 2 + (static_cast<int>(i) - m_first_line) * h;
        if (y >= c.bottom) break;
        p.draw_text_run(Point{3, y}, std::string_view(m_text).substr(ls[i].start, ls[i].end - ls[i].start), font(), ink);
    }
    p.restore();
}

}  // namespace sk::ui
