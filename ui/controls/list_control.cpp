// The list control: keys, scroll bars, mouse, locating, drop-down and painting.
#include "ui/controls/list_control.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/display/display.h"
#include "platform/display/scroll_bar.h"

namespace sk::ui {

using namespace sk::platform::display;
namespace ev = control_events;

namespace {

constexpr std::uint64_t kLocatorPauseMs = 1000;  // a longer pause starts a new locator text

int border_width() { return std::max(1, screen_metrics().border_width); }

std::uint32_t list_style(const ControlDefinition& d) {
    std::uint32_t style = kStyleDoubleClicks;
    if (d.drop == 0) style |= kStyleClientEdge;
    return style;
}

bool parse_int(std::string_view s, long& out) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc();
}

}  // namespace

ListControl::ListControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding,
                         VariableRef source, const PixelRect& rect)
    : WidgetControl(host, definition, binding, rect, list_style(definition)),
      m_rows(parse_list_format(definition.format, host.unit_scale(), border_width()), row_source(source),
             definition.strings),
      m_drop_count(definition.drop) {
    if (is_drop()) {
        m_drop = std::make_unique<DropDown>(m_rows, font_ptr());
    } else {
        m_vscroll = (definition.flags & kListVScroll) != 0;
        m_hscroll = (definition.flags & kListHScroll) != 0;
    }
    update_scroll_bars();
}

ListControl::~ListControl() { m_drop.reset(); }

bool ListControl::owns_window(WindowId w) const {
    return w != 0 && (w == window() || (m_drop && w == m_drop->window()));
}

int ListControl::row_height() const { return list_row_height(font()); }
int ListControl::header_height() const { return is_drop() ? 0 : list_header_height(format(), font()); }

Rect ListControl::rows_area() const {
    Rect c = client();
    c.top += header_height();
    return c;
}

int ListControl::page_for_height(int client_height) const {
    int n = (client_height - header_height()) / row_height();
    if (n <= 0 && row_count() > 0) n = 1;
    return std::max(0, n);
}

int ListControl::rows_per_page() const {
    if (is_drop()) return m_drop_count;
    return page_for_height(client().height());
}

int ListControl::thumb() const {
    if (is_immediate() || window() == 0) return m_thumb;
    return static_cast<int>(m_top) - 1;
}

void ListControl::set_thumb(int position) {
    if (is_immediate()) {
        m_thumb = std::clamp(position, 0, 100);
        if (window() != 0 && m_vscroll) set_scroll_position(window(), ScrollBarKind::kVertical, m_thumb);
        return;
    }
    scroll_to(static_cast<long>(position) + 1);
}

bool ListControl::vertical_bar_needed(int client_height) const {
    // The procedure owns an immediate list's thumb and answers its gestures even with
    // an empty page, so that bar is always there.
    if (is_immediate()) return true;
    return static_cast<long>(row_count()) > page_for_height(client_height);
}

void ListControl::place_scroll_bars() {
    if (window() == 0 || is_drop()) return;
    // Decided from the client area the list has with no bars at all, so that the
    // answer depends only on the list's size, rows and columns and showing a bar
    // never makes the next pass take it away again. The vertical bar takes width,
    // which may make the columns too wide; a horizontal bar takes height, which may
    // push rows past the page.
    const Rect outer = window_rect(window());
    const Rect bare = client_area_for_style(window_style(window()), Size{outer.width(), outer.height()});
    const int bar = std::max(0, screen_metrics().scroll_bar_width);
    const auto narrowed = [bar](int extent) { return std::max(0, extent - bar); };
    const int columns = format().total_width();
    bool vertical = m_vscroll && vertical_bar_needed(bare.height());
    const bool horizontal = m_hscroll && columns > (vertical ? narrowed(bare.width()) : bare.width());
    if (horizontal && !vertical) vertical = m_vscroll && vertical_bar_needed(narrowed(bare.height()));
    show_scroll_bar(window(), ScrollBarKind::kVertical, vertical);
    show_scroll_bar(window(), ScrollBarKind::kHorizontal, horizontal);
}

void ListControl::update_scroll_bars() {
    if (window() == 0 || is_drop()) return;
    place_scroll_bars();
    if (m_vscroll) {
        if (is_immediate()) {
            set_scroll_range(window(), ScrollBarKind::kVertical, 0, 100);
            set_scroll_position(window(), ScrollBarKind::kVertical, m_thumb);
        } else {
            const long rows = static_cast<long>(row_count()), page = rows_per_page();
            set_scroll_range(window(), ScrollBarKind::kVertical, 0, rows > page ? static_cast<int>(rows - page) : 0);
            set_scroll_page(window(), ScrollBarKind::kVertical, std::max(0, static_cast<int>(page)));
            set_scroll_position(window(), ScrollBarKind::kVertical, static_cast<int>(m_top) - 1);
        }
    }
    // Narrowed columns leave no blank room at the right: the offset comes back within
    // what is left to scroll, to the columns' start once they fit.
    const int extra = std::max(0, format().total_width() - client().width());
    if (m_hoffset > extra) {
        m_hoffset = extra;
        repaint();
    }
    if (m_hscroll) {
        set_scroll_range(window(), ScrollBarKind::kHorizontal, 0, extra);
        set_scroll_position(window(), ScrollBarKind::kHorizontal, m_hoffset);
    }
}

void ListControl::display() {
    const std::size_t count = row_count();
    if (m_selected > count) m_selected = count;
    // The bars first: the rows decide them, and they decide the page.
    place_scroll_bars();
    if (!is_immediate()) scroll_to(static_cast<long>(m_top));
    else m_top = 1;
    update_scroll_bars();
    repaint();
    if (m_drop && m_drop->is_open()) {
        // A reloaded page of an immediate drop list keeps the highlight on the choice.
        if (is_immediate() && m_selected != 0)
            m_drop->move_highlight(static_cast<long>(m_selected) - static_cast<long>(m_drop->highlighted()));
        invalidate(m_drop->window());
    }
}

void ListControl::set_selected(std::size_t row) {
    row = std::min(row, row_count());
    if (row == m_selected) return;
    m_selected = row;
    if (!is_immediate()) ensure_visible(row);
    repaint();
    post(ev::kNewSelection);
    if (m_choice_hook) m_choice_hook(row);
}

void ListControl::select_by_right_button(std::size_t row) {
    row = std::min(row, row_count());
    if (row != m_selected) {
        m_selected = row;
        if (!is_immediate()) ensure_visible(row);
        repaint();
        if (m_choice_hook) m_choice_hook(row);
    }
    // Reported even when the row was already selected: the procedure tells the right
    // button from other selections by the event's key code and opens its popup menu.
    if (field() != 0) host().post_event_with_code(field(), ev::kNewSelection, kKeyCodeRightButton);
}

void ListControl::ensure_visible(std::size_t row) {
    if (row == 0) return;
    const std::size_t page = static_cast<std::size_t>(std::max(1, rows_per_page()));
    if (row < m_top) scroll_to(static_cast<long>(row));
    else if (row >= m_top + page) scroll_to(static_cast<long>(row - page + 1));
}

void ListControl::scroll_to(long top) {
    const long count = static_cast<long>(row_count()), page = std::max(1, rows_per_page());
    const long last_top = count > page ? count - page + 1 : 1;
    top = std::clamp(top, 1L, last_top);
    if (static_cast<std::size_t>(top) != m_top) {
        m_top = static_cast<std::size_t>(top);
        repaint();
    }
    if (window() != 0 && m_vscroll && !is_immediate() && !is_drop())
        set_scroll_position(window(), ScrollBarKind::kVertical, static_cast<int>(m_top) - 1);
}

void ListControl::scroll_horizontally(int offset) {
    int extra = std::max(0, format().total_width() - client().width());
    offset = std::clamp(offset, 0, extra);
    if (offset == m_hoffset) return;
    m_hoffset = offset;
    if (window() != 0 && m_hscroll) set_scroll_position(window(), ScrollBarKind::kHorizontal, m_hoffset);
    repaint();
}

void ListControl::move_selection(long delta) {
    const long count = static_cast<long>(row_count());
    if (count == 0) return;
    long row = m_selected == 0 ? (delta > 0 ? 0 : count + 1) : static_cast<long>(m_selected);
    set_selected(static_cast<std::size_t>(std::clamp(row + delta, 1L, count)));
}

bool ListControl::report(std::uint16_t event) {
    if (field() == 0) return false;
    return host().deliver_now(field(), event);
}

void ListControl::choose(std::size_t row) {
    set_selected(row);
    close_up();
}

void ListControl::drop_down() {
    if (!m_drop || m_drop->is_open() || window() == 0) return;
    post(ev::kDroppingDown);
    Rect box = screen_rect(window());
    m_drop->open(window(), box, m_drop_count, m_selected);
    post(ev::kDroppedDown);
}

void ListControl::close_up() {
    if (m_drop) m_drop->close();
    repaint();
}

bool ListControl::handle_message(const Message& m) {
    if (m_drop && m_drop->is_open() && m.window == m_drop->window()) {
        if (is_immediate() && (m.code == kMsgScroll || m.code == kMsgMouseWheel)) {
            dropped_scroll(m);
            return true;
        }
        if (std::size_t row = m_drop->handle_message(m)) choose(row);
        return true;
    }
    return WidgetControl::handle_message(m);
}

bool ListControl::on_key_down(const Message& m) {
    const bool ctrl = m.modifiers & kModControl;
    const long page = std::max(1, rows_per_page());
    if (is_drop()) {
        const bool open = is_dropped();
        if (open && is_immediate() && !(m.modifiers & kModAlt) && dropped_navigation(m.wparam, ctrl)) return true;
        switch (m.wparam) {
            case kVkF1 + 3: open ? close_up() : drop_down(); return true;
            case kVkDown:
                if (m.modifiers & kModAlt) {
                    open ? close_up() : drop_down();
                    return true;
                }
                if (open) m_drop->move_highlight(1);
                else move_selection(1);
                return true;
            case kVkUp:
                if (open) m_drop->move_highlight(-1);
                else move_selection(-1);
                return true;
            case kVkReturn:
                if (!open) return false;
                choose(m_drop->highlighted());
                return true;
            case kVkEscape:
                if (!open) return false;
                close_up();
                return true;
            case kVkTab: host().focus_next(field(), m.modifiers & kModShift); return true;
            default: return false;
        }
    }
    if (is_immediate()) {
        switch (m.wparam) {
            case kVkHome: report(ev::kScrollTop); return true;
            case kVkEnd: report(ev::kScrollBottom); return true;
            case kVkUp: report(ev::kScrollUp); return true;
            case kVkDown: report(ev::kScrollDown); return true;
            case kVkPrior: report(ctrl ? ev::kScrollTop : ev::kPageUp); return true;
            case kVkNext: report(ctrl ? ev::kScrollBottom : ev::kPageDown); return true;
            default: break;
        }
    } else {
        switch (m.wparam) {
            case kVkHome: set_selected(row_count() > 0 ? 1 : 0); return true;
            case kVkEnd: set_selected(row_count()); return true;
            case kVkUp: move_selection(-1); return true;
            case kVkDown: move_selection(1); return true;
            case kVkPrior:
                if (ctrl) set_selected(row_count() > 0 ? 1 : 0);
                else move_selection(-page);
                return true;
            case kVkNext:
                if (ctrl) set_selected(row_count());
                else move_selection(page);
                return true;
            default: break;
        }
    }
    const int step = std::max(1, font().metrics().average_char_width * 2);
    switch (m.wparam) {
        case kVkLeft: scroll_horizontally(m_hoffset - step); return true;
        case kVkRight: scroll_horizontally(m_hoffset + step); return true;
        case kVkReturn:
            if (m_selected == 0 && !is_immediate()) return false;
            post(ev::kAccepted);
            return true;
        case kVkTab: host().focus_next(field(), m.modifiers & kModShift); return true;
        default: return false;
    }
}

bool ListControl::dropped_navigation(std::uint32_t vk, bool ctrl) {
    const long count = static_cast<long>(row_count());
    const long at = static_cast<long>(m_drop->highlighted());
    const long page = std::max(1, m_drop->visible_rows());
    long target = at;
    std::uint16_t edge = 0;  // reported when the move runs past the rows held
    switch (vk) {
        case kVkUp: target = at - 1, edge = ev::kScrollUp; break;
        case kVkDown: target = at + 1, edge = ev::kScrollDown; break;
        case kVkPrior: ctrl ? (target = 1, edge = ev::kScrollTop) : (target = at - page, edge = ev::kPageUp); break;
        case kVkNext: ctrl ? (target = count, edge = ev::kScrollBottom) : (target = at + page, edge = ev::kPageDown); break;
        case kVkHome: target = 1, edge = ev::kScrollTop; break;
        case kVkEnd: target = count, edge = ev::kScrollBottom; break;
        default: return false;
    }
    // The top and bottom are always the procedure's to find (the rows are one page
    // of its file); a line or page move only when it leaves the rows held.
    const bool past = edge == ev::kScrollTop || edge == ev::kScrollBottom || target < 1 || target > count;
    if (count > 0) {
        m_drop->move_highlight(std::clamp(target, 1L, count) - at);
        follow_highlight();
    }
    if (past) {
        report(edge);
        if (is_dropped()) follow_highlight();
    }
    return true;
}

void ListControl::dropped_scroll(const Message& m) {
    const std::size_t before = m_drop->top();
    m_drop->handle_message(m);
    std::uint16_t event = 0;
    bool always = false;  // the top and bottom are the procedure's to find
    if (m.code == kMsgMouseWheel) {
        event = m.lparam > 0 ? ev::kScrollUp : ev::kScrollDown;
    } else {
        switch (m.wparam) {
            case kScrollLineUp: event = ev::kScrollUp; break;
            case kScrollLineDown: event = ev::kScrollDown; break;
            case kScrollPageUp: event = ev::kPageUp; break;
            case kScrollPageDown: event = ev::kPageDown; break;
            case kScrollTop: event = ev::kScrollTop, always = true; break;
            case kScrollBottom: event = ev::kScrollBottom, always = true; break;
            default: return;  // a drag stays within the rows held
        }
    }
    if (always || m_drop->top() == before) report(event);
}

void ListControl::follow_highlight() {
    if (!m_drop || !m_drop->is_open()) return;
    const std::size_t row = m_drop->highlighted();
    if (row != 0 && row != m_selected) set_selected(row);
}

bool ListControl::on_char(const Message& m) {
    if (m.wparam < 0x20 || m.wparam == 0x7F || (m.modifiers & (kModControl | kModAlt))) return false;
    if (is_immediate() && !is_drop()) {
        post(ev::kLocate);
        return true;
    }
    locate(std::string_view(m.text));
    return true;
}

void ListControl::locate(std::string_view typed) {
    const std::uint64_t now = display_clock_ms();
    if (now - m_locator_time > kLocatorPauseMs) m_locator.clear();
    m_locator_time = now;
    m_locator += typed;
    const std::size_t column = format().locator_column >= 0 ? static_cast<std::size_t>(format().locator_column) : 0;
    auto starts = [&](const std::string& text, const std::string& prefix) {
        std::size_t i = text.find_first_not_of(' ');
        if (i == std::string::npos || text.size() - i < prefix.size()) return false;
        for (std::size_t k = 0; k < prefix.size(); ++k)
            if (std::toupper(static_cast<unsigned char>(text[i + k])) != std::toupper(static_cast<unsigned char>(prefix[k])))
                return false;
        return true;
    };
    for (std::size_t row = 1; row <= row_count(); ++row) {
        if (starts(m_rows.cell(row, column), m_locator)) {
            if (is_dropped()) {
                m_drop->move_highlight(static_cast<long>(row) - static_cast<long>(m_drop->highlighted()));
                if (is_immediate()) follow_highlight();
            } else {
                set_selected(row);
            }
            return;
        }
    }
}

int ListControl::resize_grab(int x) const {
    const int zone = 3 * border_width();
    const auto& cols = format().columns;
    for (std::size_t i = cols.size(); i-- > 0;) {
        if (!(cols[i].flags & kColumnResizable)) continue;
        int edge = cols[i].right - m_hoffset;
        if (x >= edge - zone && x <= edge + zone) return static_cast<int>(i);
    }
    return -1;
}

std::size_t ListControl::row_at(int y) const {
    Rect area = rows_area();
    if (y < area.top) return 0;
    std::size_t row = m_top + static_cast<std::size_t>((y - area.top) / row_height());
    return row <= row_count() ? row : 0;
}

bool ListControl::on_mouse(const Message& m) {
    if (is_drop()) {
        // A quick second press on the box arrives as a double click: it is one more press.
        if (m.code == kMsgLButtonDown || m.code == kMsgLButtonDblClk) {
            is_dropped() ? close_up() : drop_down();
            return true;
        }
        if (m.code == kMsgMouseWheel) {
            move_selection(m.lparam > 0 ? -1 : 1);
            return true;
        }
        return false;
    }
    switch (m.code) {
        case kMsgMouseMove:
            if (m_resizing >= 0) {
                ListFormat& f = m_rows.format();
                ListColumn& c = f.columns[static_cast<std::size_t>(m_resizing)];
                c.width = std::max(0, m.pos.x + m_hoffset - c.left - ((c.flags & kColumnBorder) ? border_width() : 0));
                layout_columns(f, border_width());
                update_scroll_bars();
                repaint();
                return true;
            }
            set_cursor(resize_grab(m.pos.x) >= 0 ? Cursor::kSizeWE : Cursor::kArrow);
            return true;
        case kMsgLButtonDown: {
            int grab = resize_grab(m.pos.x);
            if (grab >= 0) {
                m_resizing = grab;
                set_capture(window());
                return true;
            }
            if (std::size_t row = row_at(m.pos.y)) set_selected(row);
            return true;
        }
        case kMsgRButtonDown:
            if (std::size_t row = row_at(m.pos.y)) select_by_right_button(row);
            else if (row_count() == 0) select_by_right_button(0);  // the popup of an empty list
            return true;
        case kMsgLButtonUp:
            if (m_resizing >= 0) release_capture();
            m_resizing = -1;
            return true;
        case kMsgLButtonDblClk:
            if (std::size_t row = row_at(m.pos.y)) {
                set_selected(row);
                post(ev::kAccepted);
            }
            return true;
        case kMsgMouseWheel:
            if (is_immediate()) report(m.lparam > 0 ? ev::kScrollUp : ev::kScrollDown);
            else scroll_to(static_cast<long>(m_top) + (m.lparam > 0 ? -3 : 3));
            return true;
        default: return false;
    }
}

bool ListControl::on_other(const Message& m) {
    if (m.code == kMsgCaptureLost) {
        m_resizing = -1;
        return true;
    }
    // A quick second right press arrives as a double click; it is one more press.
    if (m.code == kMsgRButtonDblClk) {
        if (is_disabled() || is_drop()) return false;
        if (std::size_t row = row_at(m.pos.y)) select_by_right_button(row);
        else if (row_count() == 0) select_by_right_button(0);
        return true;
    }
    if (m.code != kMsgScroll || is_disabled()) return false;
    const bool vertical = m.flags == 1;
    const long page = std::max(1, rows_per_page());
    if (!vertical) {
        const int step = std::max(1, font().metrics().average_char_width * 2);
        switch (m.wparam) {
            case kScrollLineUp: scroll_horizontally(m_hoffset - step); break;
            case kScrollLineDown: scroll_horizontally(m_hoffset + step); break;
            case kScrollPageUp: scroll_horizontally(m_hoffset - client().width()); break;
            case kScrollPageDown: scroll_horizontally(m_hoffset + client().width()); break;
            case kScrollTop: scroll_horizontally(0); break;
            case kScrollBottom: scroll_horizontally(format().total_width()); break;
            case kScrollThumbTrack:
            case kScrollThumbPosition: scroll_horizontally(static_cast<int>(m.lparam)); break;
            default: break;
        }
        return true;
    }
    if (is_immediate()) {
        switch (m.wparam) {
            case kScrollLineUp: report(ev::kScrollUp); break;
            case kScrollLineDown: report(ev::kScrollDown); break;
            case kScrollPageUp: report(ev::kPageUp); break;
            case kScrollPageDown: report(ev::kPageDown); break;
            case kScrollTop: report(ev::kScrollTop); break;
            case kScrollBottom: report(ev::kScrollBottom); break;
            case kScrollThumbTrack:
                // The thumb follows the drag; the procedure reads where it is and reloads.
                m_thumb = std::clamp(static_cast<int>(m.lparam), 0, 100);
                set_scroll_position(window(), ScrollBarKind::kVertical, m_thumb);
                report(ev::kScrollDrag);
                break;
            default: break;  // the end of a drag or of scrolling raises nothing
        }
        return true;
    }
    switch (m.wparam) {
        case kScrollLineUp: scroll_to(static_cast<long>(m_top) - 1); break;
        case kScrollLineDown: scroll_to(static_cast<long>(m_top) + 1); break;
        case kScrollPageUp: scroll_to(static_cast<long>(m_top) - page); break;
        case kScrollPageDown: scroll_to(static_cast<long>(m_top) + page); break;
        case kScrollTop: scroll_to(1); break;
        case kScrollBottom: scroll_to(static_cast<long>(row_count())); break;
        case kScrollThumbTrack:
        case kScrollThumbPosition: scroll_to(static_cast<long>(m.lparam) + 1); break;
        default: break;
    }
    return true;
}

void ListControl::on_focus(bool gained) {
    if (gained) host().show_message(definition().attr.message);
    else {
        host().show_message("");
        if (is_dropped()) close_up();
        m_locator.clear();
    }
    repaint();
}

void ListControl::on_resize() {
    place_scroll_bars();
    if (!is_immediate()) scroll_to(static_cast<long>(m_top));
    update_scroll_bars();
}

bool ListControl::get_property(std::uint32_t number, std::int32_t index, std::string* value) {
    (void)index;
    long v = 0;
    switch (number) {
        case kPropVScroll: v = m_vscroll; break;
        case kPropHScroll: v = m_hscroll; break;
        case kPropRowsPerPage: v = rows_per_page(); break;
        case kPropSelected: v = static_cast<long>(m_selected); break;
        case kPropThumb: v = thumb(); break;
        default: return false;
    }
    if (value) *value = std::to_string(v);
    return true;
}

bool ListControl::set_property(std::uint32_t number, std::int32_t index, std::string_view value) {
    (void)index;
    long v = 0;
    if (!parse_int(value, v)) v = 0;
    switch (number) {
        case kPropVScroll:
            m_vscroll = v != 0;
            if (window() != 0 && !is_drop() && !m_vscroll) set_scroll_range(window(), ScrollBarKind::kVertical, 0, 0);
            update_scroll_bars();
            if (!is_immediate()) scroll_to(static_cast<long>(m_top));  // the page may have grown
            return true;
        case kPropHScroll:
            m_hscroll = v != 0;
            if (!m_hscroll) scroll_horizontally(0);
            update_scroll_bars();
            if (!is_immediate()) scroll_to(static_cast<long>(m_top));
            return true;
        case kPropSelected: set_selected(static_cast<std::size_t>(std::max(0L, v))); return true;
        case kPropThumb: set_thumb(static_cast<int>(std::clamp(v, -1000000L, 1000000L))); return true;
        case kPropRowsPerPage: return true;  // read only
        default: return false;
    }
}

void ListControl::paint_drop_box(Painter& p, const Rect& c) {
    sk::ui::paint_drop_box(p, c, m_rows.row_text(m_selected), font(), has_focus() && !is_dropped(), is_disabled());
}

void ListControl::paint(Painter& p, const Rect& c) {
    if (is_drop()) {
        paint_drop_box(p, c);
        return;
    }
    const int header = header_height();
    if (header > 0) paint_list_header(p, Rect{c.left, c.top, c.right, c.top + header}, format(), font(), m_hoffset, is_disabled());
    RowPaint how;
    how.top = m_top;
    how.selected = m_selected;
    how.hoffset = m_hoffset;
    how.row_height = row_height();
    how.focused = has_focus();
    how.disabled = is_disabled();
    paint_list_rows(p, Rect{c.left, c.top + header, c.right, c.bottom}, m_rows, font(), how);
}

}  // namespace sk::ui
