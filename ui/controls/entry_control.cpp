// Entry fields: display through the picture, typing, leaving the field, painting.
#include "ui/controls/entry_control.h"

#include <algorithm>

#include "platform/display/display.h"
#include "platform/display/utf8.h"

namespace sk::ui {

using namespace sk::platform::display;
namespace ev = control_events;

namespace {
constexpr int kMargin = 3;  // edge (2) and a pixel of air before the text
}

EntryControl::EntryControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding,
                           const PixelRect& rect, std::string_view picture)
    : WidgetControl(host, definition, binding, rect, kStyleDoubleClicks), m_picture(picture),
      m_options(definition.options) {
    EditBuffer::Options o;
    o.read_only = (m_options & kEntryReadOnly) != 0;
    o.upper_case = (m_options & kEntryUpperCase) != 0;
    o.capitalise = (m_options & kEntryCapitalise) != 0;
    m_edit.set_options(o);
    // Text pictures scroll when the text is wider than the box; the fixed layouts of
    // number, date, time and pattern pictures are kept to the box instead.
    m_scrolls = m_picture.is_string();
    on_resize();
    display();
}

pd::Rect EntryControl::text_area() const {
    Rect c = client();
    return Rect{c.left + kMargin, c.top + 2, c.right - kMargin, c.bottom - 2};
}

void EntryControl::on_resize() {
    std::size_t max = m_picture.has_picture() ? m_picture.width() : 600;
    if (max == 0) max = 600;
    m_edit.set_limits(max, m_scrolls ? -1 : std::max(0, text_area().width()), &font());
}

void EntryControl::display() {
    std::string before = m_edit.text();
    if (const auto* v = variable()) {
        std::string text = format_variable(*v, m_picture);
        m_edit.set_text(m_picture.is_string() ? trim_right(text) : std::string_view(text));
    }
    if (m_edit.text() != before) m_accepted = false;
    m_modified = false;
    // The shown value is the program's: an undo never goes back past it.
    m_has_undo = false;
    if (has_focus()) m_edit.select_all();
    m_scroll = 0;
    follow_caret();
    m_settled = snapshot();
    repaint();
}

EntryControl::Snapshot EntryControl::snapshot() const { return Snapshot{m_edit.text(), m_edit.caret(), m_edit.anchor()}; }

void EntryControl::restore(const Snapshot& s) {
    m_edit.set_text(s.text);
    m_edit.set_caret(s.anchor, false);
    m_edit.set_caret(s.caret, true);
}

bool EntryControl::undo() {
    if (!m_has_undo || m_edit.options().read_only) return false;
    Snapshot now = snapshot();
    restore(m_undo);
    m_undo = std::move(now);
    m_settled = snapshot();
    m_modified = true;
    follow_caret();
    repaint();
    if (definition().flags & kControlImmediate) post(ev::kNewSelection);
    return true;
}

void EntryControl::replace_text(std::string_view text) {
    m_edit.set_text(text);
    changed();
}

int EntryControl::validate_and_store() {
    const auto* v = variable();
    if (v == nullptr) {
        // Nothing to store into: the text still has to read through the picture.
        if (m_picture.has_picture() && !m_picture.is_string()) {
            double d = 0;
            if (!sk::rt::deformat_number(m_edit.text(), m_picture.compiled(), &d)) return kStoreUnreadable;
        }
        return 0;
    }
    return store_variable(*v, m_picture, m_edit.text());
}

void EntryControl::leave() {
    if (!m_modified && m_accepted) return;
    m_failure = validate_and_store();
    if (m_failure != 0) {
        // The text stays as typed so that the user can correct it.
        m_accepted = false;
        if (field() != 0) host().post_event_with_code(field(), ev::kRejected, m_failure);
        return;
    }
    display();
    m_accepted = true;
    m_modified = false;
    post(ev::kAccepted);
}

bool EntryControl::accept() {
    if (m_modified || !m_accepted) {
        m_failure = validate_and_store();
        if (m_failure != 0) {
            m_accepted = false;
            return false;
        }
        display();
        m_accepted = true;
        m_modified = false;
    }
    if (m_options & kEntryRequired) {
        const auto* v = variable();
        if (v != nullptr ? variable_is_empty(*v) : trim_right(m_edit.text()).empty()) return false;
    }
    return true;
}

void EntryControl::changed() {
    if (m_edit.text() != m_settled.text) {
        m_undo = std::move(m_settled);
        m_has_undo = true;
    }
    m_settled = snapshot();
    m_modified = true;
    follow_caret();
    repaint();
    if (definition().flags & kControlImmediate) post(ev::kNewSelection);
}

void EntryControl::apply(EditResult r) {
    switch (r) {
        case EditResult::kChanged: changed(); break;
        case EditResult::kRefused: beep(); break;
        case EditResult::kUnchanged:
        case EditResult::kIgnored: follow_caret(); repaint(); break;
    }
}

bool EntryControl::edit_action(EditAction action) {
    switch (action) {
        case EditAction::kCopy:
            if (m_edit.has_selection() && !(m_options & kEntryPassword)) set_clipboard_text(m_edit.selected_text());
            return true;
        case EditAction::kCut:
            if (m_edit.options().read_only) return true;
            if (m_edit.has_selection() && !(m_options & kEntryPassword)) set_clipboard_text(m_edit.selected_text());
            apply(m_edit.delete_selection());
            return true;
        case EditAction::kPaste:
            if (m_edit.options().read_only) return true;
            apply(m_edit.paste(clipboard_text()));
            return true;
        case EditAction::kClear: apply(m_edit.delete_selection()); return true;
        case EditAction::kUndo: undo(); return true;
    }
    return false;
}

bool EntryControl::on_key_down(const Message& m) {
    const bool shift = m.modifiers & kModShift;
    const bool ctrl = m.modifiers & kModControl;
    switch (m.wparam) {
        case kVkLeft: m_edit.move_left(shift, ctrl); break;
        case kVkRight: m_edit.move_right(shift, ctrl); break;
        case kVkHome: m_edit.move_home(shift); break;
        case kVkEnd: m_edit.move_end(shift); break;
        case kVkBack:
            if (m.modifiers & kModAlt) {
                undo();
                return true;
            }
            apply(m_edit.backspace());
            return true;
        case kVkDelete:
            if (shift) return edit_action(EditAction::kCut);
            apply(m_edit.delete_forward());
            return true;
        case kVkInsert:
            if (ctrl) return edit_action(EditAction::kCopy);
            if (shift) return edit_action(EditAction::kPaste);
            EditBuffer::set_insert_mode(!EditBuffer::insert_mode());
            return true;
        case kVkTab:
            host().focus_next(field(), shift);
            return true;
        default:
            if (ctrl && !(m.modifiers & kModAlt)) {
                switch (m.wparam) {
                    case 'C': return edit_action(EditAction::kCopy);
                    case 'X': return edit_action(EditAction::kCut);
                    case 'V': return edit_action(EditAction::kPaste);
                    case 'A': m_edit.select_all(); break;
                    case 'Z': undo(); return true;
                    default: return false;
                }
                break;
            }
            return false;
    }
    follow_caret();
    repaint();
    return true;
}

bool EntryControl::on_char(const Message& m) {
    const char32_t c = static_cast<char32_t>(m.wparam);
    // Control characters a backend makes of Ctrl+letter were handled as keys.
    if ((m.modifiers & kModControl) && c < 0x20) return true;
    if (c == 8) return true;  // Backspace arrives as a key
    EditResult r = m_edit.type_char(c, std::string_view(m.text), m.modifiers & kModShift);
    if (r == EditResult::kIgnored) return false;
    apply(r);
    return true;
}

bool EntryControl::on_mouse(const Message& m) {
    Rect area = text_area();
    int x = m.pos.x - area.left + m_scroll;
    switch (m.code) {
        case kMsgLButtonDown:
            m_edit.set_caret(position_at(x), m.modifiers & kModShift);
            m_dragging = true;
            set_capture(window());
            break;
        case kMsgMouseMove:
            if (!m_dragging) return true;
            m_edit.set_caret(position_at(x), true);
            break;
        case kMsgLButtonUp:
            if (m_dragging) release_capture();
            m_dragging = false;
            return true;
        case kMsgLButtonDblClk: m_edit.select_word_at(position_at(x)); break;
        default: return false;
    }
    follow_caret();
    repaint();
    return true;
}

void EntryControl::on_focus(bool gained) {
    if (gained) {
        create_caret(window(), Size{1, font().metrics().height});
        m_edit.select_all();
        // Undo reaches back to the text the field was entered with.
        m_has_undo = false;
        m_settled = snapshot();
        follow_caret();
        show_caret(true);
        host().show_message(definition().attr.message);
        repaint();
        return;
    }
    if (caret_window() == window()) destroy_caret();
    m_dragging = false;
    m_edit.set_caret(m_edit.caret(), false);
    m_scroll = 0;
    host().show_message("");
    repaint();
    leave();
}

std::string EntryControl::shown_text() const {
    if (!(m_options & kEntryPassword)) return m_edit.text();
    std::size_t n = 0;
    for (std::size_t p = 0; p < m_edit.text().size(); ++n) decode_char(m_edit.text(), p);
    return std::string(n, kPasswordMask);
}

int EntryControl::x_of(std::size_t position) const {
    const std::string& t = m_edit.text();
    if (!(m_options & kEntryPassword)) return font().text_width(std::string_view(t).substr(0, position));
    std::size_t n = 0;
    for (std::size_t p = 0; p < position && p < t.size(); ++n) decode_char(t, p);
    return font().text_width(std::string(n, kPasswordMask));
}

std::size_t EntryControl::position_at(int x) const {
    const std::string& t = m_edit.text();
    std::size_t p = 0;
    int left = 0;
    while (p < t.size()) {
        std::size_t next = p;
        decode_char(t, next);
        int right = x_of(next);
        if (x < (left + right + 1) / 2) return p;
        left = right;
        p = next;
    }
    return t.size();
}

void EntryControl::follow_caret() {
    const int width = std::max(1, text_area().width());
    const int cx = x_of(m_edit.caret());
    if (cx - m_scroll < 0) m_scroll = cx;
    else if (cx - m_scroll > width - 1) m_scroll = cx - width + 1;
    const int total = x_of(m_edit.text().size());
    if (total - m_scroll < width - 1) m_scroll = std::max(0, total - width + 1);
    if (!m_scrolls) m_scroll = 0;
    place_caret();
}

void EntryControl::place_caret() {
    if (caret_window() != window() || window() == 0) return;
    Rect area = text_area();
    int top = area.top + (area.height() - font().metrics().height) / 2;
    set_caret_position(Point{area.left + x_of(m_edit.caret()) - m_scroll, top});
}

void EntryControl::paint(Painter& p, const Rect& c) {
    const bool grey = is_disabled() || m_edit.options().read_only;
    p.fill_rect(c, system_color(grey ? SystemColor::kButtonFace : SystemColor::kWindow));
    p.draw_edge(c, Edge::kSunken);
    Rect area = text_area();
    p.save();
    p.clip_to(area);
    const std::string shown = shown_text();
    const int top = area.top + (area.height() - font().metrics().height) / 2;
    const Color ink = system_color(is_disabled() ? SystemColor::kGrayText : SystemColor::kWindowText);
    p.draw_text_run(Point{area.left - m_scroll, top}, shown, font(), ink);
    if (m_edit.has_selection() && has_focus()) {
        int a = x_of(m_edit.selection_start()) - m_scroll, b = x_of(m_edit.selection_end()) - m_scroll;
        Rect sel{area.left + a, top, area.left + b, top + font().metrics().height};
        p.save();
        p.clip_to(sel);
        p.fill_rect(sel, system_color(SystemColor::kHighlight));
        p.draw_text_run(Point{area.left - m_scroll, top}, shown, font(), system_color(SystemColor::kHighlightText));
        p.restore();
    }
    p.restore();
}

}  // namespace sk::ui
