// List format strings: the column layout of list, drop list and combo controls.
//
// Grammar (letters in either case):
//   format   := { column | "[" { column } "]" modifiers }
//   column   := width justification [ "(" n ")" ] modifiers
//   width    := decimal number, horizontal units
//   justification := "L" | "R" | "C" | "D"
//   modifiers := { "|" | "M" | "~" text "~" [justification] [ "(" n ")" ]
//                | "@" picture "@" | "#" n "#" | "_" | "/" | "?" | "*" | "I"
//                | "T" [ "(" { "L" | "1" | "B" | "I" } ")" ] | "F"
//                | "S" [ "(" n ")" ] | "H" "(" n ")" }
// Parsing of a column stops at the first character that is none of these; that
// character starts the next column. A character that can start nothing is skipped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ui/controls/variable.h"
#include "ui/definition.h"

namespace sk::ui {

enum Justification : std::uint8_t { kJustifyLeft = 0, kJustifyRight = 1, kJustifyCenter = 2, kJustifyDecimal = 3 };

// Column flag bits.
inline constexpr std::uint32_t kColumnBorder = 0x10, kColumnUnderline = 0x20, kColumnFixed = 0x40,
                               kColumnScroll = 0x80, kColumnResizable = 0x100, kColumnLocator = 0x400,
                               kColumnIcon = 0x800, kColumnSlash = 0x4200, kColumnTree = 0x8000;
// Column option bits.
inline constexpr std::uint32_t kColumnOptionStar = 0x1, kColumnOptionTreeL = 0x4, kColumnOptionTreeB = 0x8,
                               kColumnOptionTreeI = 0x10, kColumnOptionTree1 = 0x20;
// Header option bits.
inline constexpr std::uint32_t kHeaderOptionHeight = 0x2;

struct ListColumn {
    int left = 0, right = -1;  // pixels; right = left + width, or left - 1 for width 0
    int width = 0;
    int indent = 0;
    std::uint8_t justify = kJustifyLeft;
    std::uint8_t header_justify = kJustifyLeft;
    std::string header;
    int header_indent = 0;
    std::string picture_text;  // as written, e.g. "@s15@" gives "s15"
    ControlPicture picture;
    int field = 0;             // queue field shown
    std::uint32_t flags = 0;
    std::uint32_t options = 0;
    std::uint32_t header_options = 0;
    int scroll_width = 0;
    int header_height = 0;
};

// A group of columns written "[" columns "]" with its own header, shown in a band
// above the columns' headers across the group's columns.
struct ListGroup {
    std::size_t first = 0, count = 0;  // columns of the group
    std::string header;
    std::uint32_t flags = 0;
    std::uint8_t justify = kJustifyLeft;  // of the header text
    int indent = 0;                       // pixels
};

struct ListFormat {
    std::vector<ListColumn> columns;
    std::vector<ListGroup> groups;
    int locator_column = -1;  // the column marked "?", or -1
    bool has_header() const;
    // True when some group has a header text: the header then has a group band.
    bool has_group_header() const;
    int header_height() const;  // the largest "H" height, 0 when none is given
    int total_width() const;    // the right edge of the last column
};

// border_width: the window border width that a "|" adds to a column's extent.
ListFormat parse_list_format(std::string_view format, const UnitScale& scale, int border_width = 1);
// Recomputes left and right edges from the widths (after a column was resized).
void layout_columns(ListFormat& format, int border_width = 1);

}  // namespace sk::ui
