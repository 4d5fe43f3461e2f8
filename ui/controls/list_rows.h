// The rows of a list, drop list or combo: the parsed format over the row source
// (a queue and its record layout) or the definition's fixed rows, each cell
// formatted through its column's picture; and the drawing of the header and of a
// page of rows, shared by the list box and the drop-down popups.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display/painter.h"
#include "ui/controls/list_format.h"
#include "ui/controls/variable.h"

namespace sk::ui {

class ListRows {
public:
    ListRows() = default;
    ListRows(ListFormat format, const RowSource* source, std::vector<std::string> fixed_rows);

    ListFormat& format() { return m_format; }
    const ListFormat& format() const { return m_format; }
    const RowSource* source() const { return m_source; }

    // Rows are numbered from 1.
    std::size_t count() const;
    // The cell as its picture shows it, trailing blanks removed. Empty outside the
    // rows or for a column whose field the record does not hold.
    std::string cell(std::size_t row, std::size_t column) const;
    // The text of the row's first column, leading and trailing blanks removed.
    std::string row_text(std::size_t row) const;

private:
    ListFormat m_format;
    const RowSource* m_source = nullptr;
    std::vector<std::string> m_fixed;
};

struct RowPaint {
    std::size_t top = 1;       // first row drawn
    std::size_t selected = 0;  // 0 when none
    int hoffset = 0;           // horizontal scroll in pixels
    int row_height = 1;
    bool focused = false;
    bool disabled = false;
};

// The row height lists use for a font.
int list_row_height(const sk::platform::display::Font& font);
// The height of the band of group headers above the column headers: the row height
// plus the raised edge, 0 when no group has a header.
int list_group_band_height(const ListFormat& format, const sk::platform::display::Font& font);
// The header's height: the column headers' band (the tallest "H" height, else the
// row height plus the raised edge) under the groups' band; 0 when the format has no
// header.
int list_header_height(const ListFormat& format, const sk::platform::display::Font& font);

// Paints the groups' band (when there is one) and the column headers in 'band'.
void paint_list_header(sk::platform::display::Painter& painter, const sk::platform::display::Rect& band,
                       const ListFormat& format, const sk::platform::display::Font& font, int hoffset,
                       bool disabled);
void paint_list_rows(sk::platform::display::Painter& painter, const sk::platform::display::Rect& area,
                     const ListRows& rows, const sk::platform::display::Font& font, const RowPaint& how);
// The closed box of a drop list: the chosen text in a sunken field with the drop
// arrow's button at its right; the text is highlighted while the box has the focus.
void paint_drop_box(sk::platform::display::Painter& painter, const sk::platform::display::Rect& box,
                    std::string_view text, const sk::platform::display::Font& font, bool focused, bool disabled);

}  // namespace sk::ui
