// The drop-down popup of drop lists and combo boxes.
#include "ui/controls/drop_down.h"

#include <algorithm>

#include "platform/display/colors.h"
#include "platform/display/scroll_bar.h"

namespace sk::ui {

using namespace sk::platform::display;

DropDown::DropDown(const ListRows& rows, std::shared_ptr<const Font> font) : m_rows(&rows), m_font(std::move(font)) {}

DropDown::~DropDown() { close(); }

void DropDown::open(WindowId owner, const Rect& box, int visible_rows, std::size_t selected) {
    close();
    const std::size_t count = m_rows->count();
    m_visible = std::max(1, std::min(visible_rows, static_cast<int>(std::max<std::size_t>(count, 1))));
    const int h = list_row_height(*m_font);
    WindowSpec spec;
    spec.kind = WindowKind::kPopup;
    spec.parent = top_level_of(owner);
    spec.rect = Rect{box.left, box.bottom, box.right, box.bottom + m_visible * h + 2};
    spec.style = kStyleBorder | kStyleNoFocus;
    spec.visible = true;
    spec.background = system_color(SystemColor::kWindow);
    m_window = create_window(spec);
    if (m_window == 0) return;
    if (count > static_cast<std::size_t>(m_visible)) {
        show_scroll_bar(m_window, ScrollBarKind::kVertical, true);
        set_scroll_range(m_window, ScrollBarKind::kVertical, 0, static_cast<int>(count) - m_visible);
    }
    m_highlight = selected <= count ? selected : 0;
    m_top = 1;
    if (m_highlight > static_cast<std::size_t>(m_visible)) scroll_to(m_highlight - m_visible + 1);
    invalidate(m_window);
}

void DropDown::close() {
    if (m_window != 0 && is_window(m_window)) destroy_window(m_window);
    m_window = 0;
}

void DropDown::scroll_to(std::size_t top) {
    const std::size_t count = m_rows->count();
    const std::size_t last_top = count > static_cast<std::size_t>(m_visible) ? count - m_visible + 1 : 1;
    m_top = std::clamp<std::size_t>(top, 1, last_top);
    if (m_window != 0) {
        set_scroll_position(m_window, ScrollBarKind::kVertical, static_cast<int>(m_top) - 1);
        invalidate(m_window);
    }
}

void DropDown::move_highlight(long delta) {
    const long count = static_cast<long>(m_rows->count());
    if (count == 0) return;
    long h = std::clamp(static_cast<long>(m_highlight) + delta, 1L, count);
    m_highlight = static_cast<std::size_t>(h);
    if (m_highlight < m_top) scroll_to(m_highlight);
    else if (m_highlight >= m_top + m_visible) scroll_to(m_highlight - m_visible + 1);
    if (m_window != 0) invalidate(m_window);
}

void DropDown::paint() {
    PaintSession s = begin_paint(m_window);
    if (!s.is_valid()) return;
    RowPaint how;
    how.top = m_top;
    how.selected = m_highlight;
    how.row_height = list_row_height(*m_font);
    how.focused = true;
    paint_list_rows(s.painter(), client_rect(m_window), *m_rows, *m_font, how);
}

std::size_t DropDown::handle_message(const Message& m) {
    if (m_window == 0 || m.window != m_window) return 0;
    const int h = list_row_height(*m_font);
    switch (m.code) {
        case kMsgPaint: paint(); return 0;
        case kMsgMouseMove: {
            std::size_t row = m_top + static_cast<std::size_t>(std::max(0, m.pos.y) / h);
            if (row <= m_rows->count() && row != m_highlight) {
                m_highlight = row;
                invalidate(m_window);
            }
            return 0;
        }
        case kMsgLButtonDown:
        case kMsgLButtonUp: {
            if (m.pos.y < 0) return 0;
            std::size_t row = m_top + static_cast<std::size_t>(m.pos.y / h);
            return m.code == kMsgLButtonUp && row <= m_rows->count() ? row : 0;
        }
        case kMsgMouseWheel: scroll_to(m.lparam > 0 ? (m_top > 3 ? m_top - 3 : 1) : m_top + 3); return 0;
        case kMsgScroll:
            switch (m.wparam) {
                case kScrollLineUp: scroll_to(m_top > 1 ? m_top - 1 : 1); break;
                case kScrollLineDown: scroll_to(m_top + 1); break;
                case kScrollPageUp: scroll_to(m_top > static_cast<std::size_t>(m_visible) ? m_top - m_visible : 1); break;
                case kScrollPageDown: scroll_to(m_top + m_visible); break;
                case kScrollTop: scroll_to(1); break;
                case kScrollBottom: scroll_to(m_rows->count()); break;
                case kScrollThumbTrack:
                case kScrollThumbPosition: scroll_to(static_cast<std::size_t>(std::max<std::int64_t>(0, m.lparam)) + 1); break;
                default: break;
            }
            return 0;
        default: return 0;
    }
}

}  // namespace sk::ui
