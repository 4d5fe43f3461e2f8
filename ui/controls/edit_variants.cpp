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
    // A quick second press on the button arrives as a double click: it is one more press.
    if ((m.code == kMsgLButtonDown || m.code == kMsgLButtonDblClk) && button_rect().contains(m.pos)) {
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
constexpr int kTextMarginX = 3, kTextMarginY = 2;  // the edge and a pixel of air

// Appends the shown lines of one paragraph (text[from, to) holds no line break),
// wrapped by the painter's layout. The layout gives the lines' texts; their places
// in the paragraph are found again by stepping over the spaces each break swallowed.
void wrap_paragraph(const Font& font, std::string_view text, std::size_t from, std::size_t to, int width,
                    std::vector<TextControl::Line>& out) {
    const std::size_t first = out.size();
    std::vector<TextLine> laid = layout_text(font, text.substr(from, to - from), kTextWordBreak, width);
    std::size_t pos = from;
    for (std::size_t k = 0; k < laid.size(); ++k) {
        if (k > 0)
            while (pos < to && text[pos] == ' ') ++pos;
        const std::string& t = laid[k].text;
        if (pos + t.size() > to || text.compare(pos, t.size(), t) != 0) {
            // A layout that does not retrace the paragraph: show the rest as one line
            // rather than lose any of it.
            out.push_back(TextControl::Line{pos, to, false});
            break;
        }
        out.push_back(TextControl::Line{pos, pos + t.size(), true});
        pos += t.size();
    }
    if (out.size() == first) out.push_back(TextControl::Line{from, from, false});
    // The last line runs to the paragraph's end, trailing spaces included.
    out.back().end = to;
    out.back().soft = false;
}
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
    if (v->type == sk::rt::kTypeCString || v->type == sk::rt::kTypePString) return v->size > 0 ? v->size - 1 : 0;
    return v->size;
}

void TextControl::display() {
    if (const auto* v = variable()) m_text = std::string(trim_right(variable_text(*v)));
    m_text = std::string(utf8_prefix(m_text, capacity()));
    m_caret = std::min(m_caret, m_text.size());
    m_modified = false;
    // The shown value is the program's: an undo never goes back past it.
    m_has_undo = false;
    m_typing = false;
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

int TextControl::wrap_width() const { return std::max(1, client().width() - 2 * kTextMarginX); }

int TextControl::visible_lines() const {
    return std::max(1, (client().height() - 2 * kTextMarginY) / std::max(1, font().metrics().height));
}

const std::vector<TextControl::Line>& TextControl::lines() const {
    const int width = wrap_width();
    if (width == m_laid_width && m_text == m_laid_text && !m_lines.empty()) return m_lines;
    m_lines.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i <= m_text.size(); ++i) {
        if (i == m_text.size() || m_text[i] == '\n' || m_text[i] == '\r') {
            wrap_paragraph(font(), m_text, start, i, width, m_lines);
            if (i < m_text.size() && m_text[i] == '\r' && i + 1 < m_text.size() && m_text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    m_laid_text = m_text;
    m_laid_width = width;
    return m_lines;
}

std::size_t TextControl::line_of(std::size_t position) const {
    const auto& ls = lines();
    for (std::size_t i = 0; i < ls.size(); ++i) {
        if (ls[i].soft ? (i + 1 < ls.size() && position < ls[i + 1].start) : position <= ls[i].end) return i;
    }
    return ls.size() - 1;
}

std::size_t TextControl::previous_position(std::size_t position) const {
    if (position == 0) return 0;
    std::size_t p = 0, last = 0;
    while (p < position) last = p, decode_char(m_text, p);
    // A CR LF pair is one step.
    if (last + 1 == position && m_text[last] == '\n' && last > 0 && m_text[last - 1] == '\r') return last - 1;
    return last;
}

std::size_t TextControl::next_position(std::size_t position) const {
    if (position >= m_text.size()) return m_text.size();
    if (m_text[position] == '\r' && position + 1 < m_text.size() && m_text[position + 1] == '\n') return position + 2;
    decode_char(m_text, position);
    return position;
}

std::size_t TextControl::line_last(std::size_t line) const {
    const auto& ls = lines();
    const Line& l = ls[line];
    if (!l.soft) return l.end;
    const std::size_t next = ls[line + 1].start;
    if (l.end < next) return l.end;  // before the spaces the break swallowed
    // Broken inside a word: the end is the next line's start, so stop a character short.
    std::size_t p = l.start, last = l.start;
    while (p < l.end) last = p, decode_char(m_text, p);
    return last;
}

int TextControl::x_on_line(std::size_t line, std::size_t position) const {
    const Line& l = lines()[line];
    position = std::max(position, l.start);
    return font().text_width(std::string_view(m_text).substr(l.start, position - l.start));
}

std::size_t TextControl::position_on_line(std::size_t line, int x) const {
    const std::size_t last = line_last(line);
    std::size_t p = lines()[line].start;
    int left = 0;
    while (p < last) {
        std::size_t n = p;
        decode_char(m_text, n);
        const int right = x_on_line(line, n);
        if (x < (left + right + 1) / 2) break;
        left = right;
        p = n;
    }
    return p;
}

pd::Point TextControl::caret_point(std::size_t position) const {
    const std::size_t li = line_of(position);
    return Point{kTextMarginX + x_on_line(li, position),
                 kTextMarginY + (static_cast<int>(li) - m_first_line) * font().metrics().height};
}

void TextControl::changed() {
    m_modified = true;
    follow_caret();
    repaint();
}

void TextControl::remember(bool typed) {
    if (!(typed && m_typing && m_has_undo)) {
        m_undo_text = m_text;
        m_undo_caret = m_caret;
        m_has_undo = true;
    }
    m_typing = typed;
}

bool TextControl::undo() {
    if (!m_has_undo || read_only()) return false;
    std::swap(m_text, m_undo_text);
    std::swap(m_caret, m_undo_caret);
    m_caret = std::min(m_caret, m_text.size());
    m_typing = false;
    changed();
    return true;
}

void TextControl::insert(std::string_view s, bool typed) {
    if (read_only()) return;
    if (m_text.size() + s.size() > capacity()) {
        beep();
        return;
    }
    remember(typed);
    m_text.insert(m_caret, s);
    m_caret += s.size();
    changed();
}

void TextControl::erase(std::size_t from, std::size_t to) {
    if (read_only() || from >= to) return;
    remember(false);
    m_text.erase(from, to - from);
    m_caret = from;
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
        case EditAction::kUndo: undo(); return true;
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
    insert(std::string_view(m.text), true);
    return true;
}

bool TextControl::on_key_down(const Message& m) {
    const std::size_t li = line_of(m_caret);
    const std::size_t count = lines().size();
    const bool ctrl = m.modifiers & kModControl;
    if ((ctrl && m.wparam == 'Z') || (m.wparam == kVkBack && (m.modifiers & kModAlt))) {
        undo();
        return true;
    }
    // Moving the caret ends a run of typing: the next character starts a new change.
    m_typing = false;
    switch (m.wparam) {
        case kVkLeft: m_caret = previous_position(m_caret); break;
        case kVkRight: m_caret = next_position(m_caret); break;
        case kVkUp:
            if (li > 0) m_caret = position_on_line(li - 1, x_on_line(li, m_caret));
            break;
        case kVkDown:
            if (li + 1 < count) m_caret = position_on_line(li + 1, x_on_line(li, m_caret));
            break;
        case kVkPrior:
        case kVkNext: {
            const long page = std::max(1, visible_lines() - 1);
            const long target = std::clamp(static_cast<long>(li) + (m.wparam == kVkNext ? page : -page), 0L,
                                           static_cast<long>(count) - 1);
            m_caret = position_on_line(static_cast<std::size_t>(target), x_on_line(li, m_caret));
            break;
        }
        case kVkHome: m_caret = ctrl ? 0 : lines()[li].start; break;
        case kVkEnd: m_caret = ctrl ? m_text.size() : line_last(li); break;
        case kVkReturn:
            if (read_only()) return false;
            insert("\r\n");
            return true;
        case kVkBack:
            if (m_caret > 0) erase(previous_position(m_caret), m_caret);
            return true;
        case kVkDelete:
            if (m_caret < m_text.size()) erase(m_caret, next_position(m_caret));
            return true;
        case kVkTab: host().focus_next(field(), m.modifiers & kModShift); return true;
        default:
            if (ctrl && m.wparam == 'V') return edit_action(EditAction::kPaste);
            if (ctrl && m.wparam == 'C') return edit_action(EditAction::kCopy);
            return false;
    }
    follow_caret();
    repaint();
    return true;
}

std::size_t TextControl::position_at(Point pt) const {
    const int h = std::max(1, font().metrics().height);
    const int last = static_cast<int>(lines().size()) - 1;
    const int row = pt.y < kTextMarginY ? -1 : (pt.y - kTextMarginY) / h;
    const int li = std::clamp(row + m_first_line, 0, last);
    return position_on_line(static_cast<std::size_t>(li), pt.x - kTextMarginX);
}

bool TextControl::on_mouse(const Message& m) {
    if (m.code == kMsgMouseWheel) {
        const int last = std::max(0, static_cast<int>(lines().size()) - visible_lines());
        m_first_line = std::clamp(m_first_line + (m.lparam > 0 ? -3 : 3), 0, last);
        place_caret();
        repaint();
        return true;
    }
    if (m.code != kMsgLButtonDown) return m.code == kMsgLButtonUp;
    m_typing = false;
    m_caret = position_at(m.pos);
    follow_caret();
    repaint();
    return true;
}

void TextControl::on_resize() {
    follow_caret();
    repaint();
}

void TextControl::follow_caret() {
    const int visible = visible_lines();
    const int li = static_cast<int>(line_of(m_caret));
    const int last_first = std::max(0, static_cast<int>(lines().size()) - visible);
    if (li < m_first_line) m_first_line = li;
    if (li >= m_first_line + visible) m_first_line = li - visible + 1;
    // A text that became shorter leaves no empty page below its end.
    m_first_line = std::clamp(m_first_line, 0, last_first);
    place_caret();
}

void TextControl::place_caret() {
    if (caret_window() != window() || window() == 0) return;
    set_caret_position(caret_point(m_caret));
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
    const auto& ls = lines();
    for (std::size_t i = static_cast<std::size_t>(std::max(0, m_first_line)); i < ls.size(); ++i) {
        int y = kTextMarginY + (static_cast<int>(i) - m_first_line) * h;
        if (y >= c.bottom) break;
        p.draw_text_run(Point{kTextMarginX, y}, std::string_view(m_text).substr(ls[i].start, ls[i].end - ls[i].start),
                        font(), ink);
    }
    p.restore();
}

}  // namespace sk::ui
