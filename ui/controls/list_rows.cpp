// Reading list cells from the row source and drawing them.
#include "ui/controls/list_rows.h"

#include <algorithm>

#include "platform/display/colors.h"
#include "platform/display/display.h"

namespace sk::ui {

using namespace sk::platform::display;

ListRows::ListRows(ListFormat format, const RowSource* source, std::vector<std::string> fixed_rows)
    : m_format(std::move(format)), m_source(source), m_fixed(std::move(fixed_rows)) {}

std::size_t ListRows::count() const {
    if (m_source != nullptr && m_source->queue != nullptr) return m_source->queue->count();
    return m_fixed.size();
}

namespace {
std::string_view trim(std::string_view s) {
    s = trim_right(s);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return s;
}
}  // namespace

std::string ListRows::cell(std::size_t row, std::size_t column) const {
    if (column >= m_format.columns.size() || row == 0 || row > count()) return std::string();
    const ListColumn& c = m_format.columns[column];
    if (m_source == nullptr || m_source->queue == nullptr) {
        // A fixed row is one text, shown in the first column.
        return column == 0 ? std::string(trim_right(m_fixed[row - 1])) : std::string();
    }
    sk::data::Queue& q = *m_source->queue;
    unsigned char* record = q.at(row);
    if (c.field < 0) return std::string();
    QueueField f;
    if (static_cast<std::size_t>(c.field) < m_source->fields.size()) {
        f = m_source->fields[static_cast<std::size_t>(c.field)];
    } else if (m_source->fields.empty() && c.field == 0) {
        // A queue without a declared layout is one text field.
        f = QueueField{0, sk::rt::kTypeString, static_cast<std::uint32_t>(q.record_size()), 0};
    } else {
        return std::string();
    }
    sk::rt::BoundVariable v = record_field(record, q.record_size(), f);
    if (v.address == nullptr) return std::string();
    return std::string(trim_right(format_variable(v, c.picture)));
}

std::string ListRows::row_text(std::size_t row) const { return std::string(trim(cell(row, 0))); }

int list_row_height(const Font& font) { return font.metrics().height + 2; }

int list_group_band_height(const ListFormat& format, const Font& font) {
    return format.has_group_header() ? list_row_height(font) + 4 : 0;
}

int list_header_height(const ListFormat& format, const Font& font) {
    if (!format.has_header()) return 0;
    int h = format.header_height();
    return (h > 0 ? h : list_row_height(font) + 4) + list_group_band_height(format, font);
}

namespace {

void draw_cell(Painter& p, const Rect& cell, std::string_view text, const Font& font, Color ink,
               std::uint8_t justify, int indent) {
    Rect box = cell.inset(2, 0);
    int w = font.text_width(text);
    int x = box.left + indent;
    switch (justify) {
        case kJustifyRight:
        case kJustifyDecimal: x = box.right - indent - w; break;
        case kJustifyCenter: x = box.left + (box.width() - w) / 2; break;
        default: break;
    }
    p.save();
    p.clip_to(cell);
    p.draw_text_run(Point{x, cell.top + (cell.height() - font.metrics().height) / 2}, text, font, ink);
    p.restore();
}

}  // namespace

void paint_list_header(Painter& p, const Rect& whole, const ListFormat& format, const Font& font, int hoffset,
                       bool disabled) {
    p.fill_rect(whole, system_color(SystemColor::kButtonFace));
    const Color ink = system_color(disabled ? SystemColor::kGrayText : SystemColor::kButtonText);
    Rect band = whole;
    if (const int group_band = list_group_band_height(format, font); group_band > 0) {
        // The groups' band: one raised cell across each group's columns, over a raised
        // strip where columns belong to no group.
        band.top = std::min(whole.bottom, whole.top + group_band);
        const Rect groups{whole.left, whole.top, whole.right, band.top};
        p.draw_edge(Rect{groups.left, groups.top, groups.right + 2, groups.bottom}, Edge::kRaised);
        for (const ListGroup& g : format.groups) {
            int left = 0, right = -1;
            for (std::size_t i = g.first; i < g.first + g.count && i < format.columns.size(); ++i) {
                const ListColumn& c = format.columns[i];
                if (c.width == 0) continue;
                if (right < left) left = c.left;
                right = std::max(right, c.right);
            }
            if (right <= left) continue;
            Rect cell{groups.left + left - hoffset, groups.top, groups.left + right - hoffset, groups.bottom};
            p.fill_rect(cell, system_color(SystemColor::kButtonFace));
            p.draw_edge(cell, Edge::kRaised);
            draw_cell(p, cell.inset(1, 1), g.header, font, ink, g.justify, g.indent);
        }
    }
    int last = band.left;
    for (const ListColumn& c : format.columns) {
        if (c.width == 0) continue;
        Rect cell{band.left + c.left - hoffset, band.top, band.left + c.right - hoffset, band.bottom};
        last = cell.right;
        p.draw_edge(cell, Edge::kRaised);
        draw_cell(p, cell.inset(1, 1), c.header, font, ink, c.header_justify, c.header_indent);
    }
    if (last < band.right) p.draw_edge(Rect{last, band.top, band.right + 2, band.bottom}, Edge::kRaised);
}

void paint_list_rows(Painter& p, const Rect& area, const ListRows& rows, const Font& font, const RowPaint& how) {
    const Color window = system_color(how.disabled ? SystemColor::kButtonFace : SystemColor::kWindow);
    p.fill_rect(area, window);
    const ListFormat& format = rows.format();
    const std::size_t count = rows.count();
    const int h = std::max(1, how.row_height);
    const Color grid = system_color(SystemColor::kButtonShadow);
    int y = area.top;
    for (std::size_t row = how.top; row <= count && y < area.bottom; ++row, y += h) {
        Rect line{area.left, y, area.right, y + h};
        const bool selected = row == how.selected;
        Color ink = system_color(how.disabled ? SystemColor::kGrayText : SystemColor::kWindowText);
        if (selected && !how.disabled) {
            p.fill_rect(line, system_color(how.focused ? SystemColor::kHighlight : SystemColor::kButtonFace));
            if (how.focused) ink = system_color(SystemColor::kHighlightText);
        }
        for (std::size_t i = 0; i < format.columns.size(); ++i) {
            const ListColumn& c = format.columns[i];
            if (c.width == 0) continue;
            Rect cell{area.left + c.left - how.hoffset, y, area.left + c.right - how.hoffset, y + h};
            if (c.flags & kColumnBorder) cell.right -= 1;
            int lift = (c.flags & kColumnUnderline) ? 1 : 0;
            draw_cell(p, cell.offset(0, -lift), rows.cell(row, i), font, ink, c.justify, c.indent);
        }
        if (selected && how.focused) p.draw_focus_rect(line);
    }
    // Column borders run the height of the list.
    for (const ListColumn& c : format.columns) {
        if (!(c.flags & kColumnBorder) || c.width == 0) continue;
        int x = area.left + c.right - how.hoffset - 1;
        p.draw_line(Point{x, area.top}, Point{x, area.bottom - 1}, grid);
    }
}

void paint_drop_box(Painter& p, const Rect& c, std::string_view text, const Font& font, bool focused, bool disabled) {
    const int button = std::min(c.width() / 2, screen_metrics().scroll_bar_width);
    p.fill_rect(c, system_color(disabled ? SystemColor::kButtonFace : SystemColor::kWindow));
    p.draw_edge(c, Edge::kSunken);
    Rect inner = c.inset(2, 2);
    Rect arrow{inner.right - button, inner.top, inner.right, inner.bottom};
    p.fill_rect(arrow, system_color(SystemColor::kButtonFace));
    p.draw_edge(arrow, Edge::kRaised);
    const Color ink = system_color(disabled ? SystemColor::kGrayText : SystemColor::kButtonText);
    int cx = (arrow.left + arrow.right) / 2, cy = (arrow.top + arrow.bottom) / 2 - 1;
    for (int i = 0; i < 4; ++i) p.draw_line(Point{cx - 3 + i, cy + i}, Point{cx + 3 - i, cy + i}, ink);
    Rect field{inner.left, inner.top, arrow.left, inner.bottom};
    if (focused) p.fill_rect(field.inset(1, 1), system_color(SystemColor::kHighlight));
    p.save();
    p.clip_to(field);
    const Color tc = focused ? system_color(SystemColor::kHighlightText)
                             : system_color(disabled ? SystemColor::kGrayText : SystemColor::kWindowText);
    p.draw_text_run(Point{field.left + 2, field.top + (field.height() - font.metrics().height) / 2}, text, font, tc);
    p.restore();
    if (focused) p.draw_focus_rect(field.inset(1, 1));
}

}  // namespace sk::ui
