// The painter: drawing primitives on a surface, with a clip rectangle and a
// translation. Everything drawn is clipped; nothing outside the clip changes.
#pragma once

#include <string_view>
#include <vector>

#include "platform/display/colors.h"
#include "platform/display/font.h"
#include "platform/display/geometry.h"
#include "platform/display/surface.h"

namespace sk::platform::display {

// Text layout flags for draw_text and measure_text.
enum TextFlags : unsigned {
    kTextLeft = 0x0000,
    kTextCenter = 0x0001,
    kTextRight = 0x0002,
    kTextTop = 0x0000,
    kTextVCenter = 0x0004,   // single lines only, as a line is centred in its box
    kTextBottom = 0x0008,
    kTextWordBreak = 0x0010, // wrap at spaces to the box's width
    kTextSingleLine = 0x0020,// line breaks are shown as spaces
    kTextNoClip = 0x0100,    // do not clip to the box (the painter's clip still applies)
    kTextMnemonic = 0x0200,  // "&x" underlines x, "&&" shows one "&"
    kTextEndEllipsis = 0x0400,// a single line too wide for the box ends in "..."
};

// Classic three-dimensional edges, two pixels wide unless named thin.
enum class Edge {
    kRaised,       // a button
    kSunken,       // an edit field or list
    kEtched,       // a group box line
    kBump,
    kRaisedThin,   // one pixel: status bar zones, menu bar items
    kSunkenThin,
};

// The layout of text in a box: lines and their widths. Used by draw_text and by
// callers that need the height of wrapped text.
struct TextLine {
    std::string text;         // without mnemonic markers
    int width = 0;
    int mnemonic_index = -1;  // byte offset in text of the underlined character
};
std::vector<TextLine> layout_text(const Font& font, std::string_view text, unsigned flags, int box_width);
// Size of the laid-out text: the widest line and lines x cell height.
Size measure_text(const Font& font, std::string_view text, unsigned flags, int box_width);

class Painter {
public:
    // origin: where logical (0, 0) lands on the target; clip: in target coordinates.
    Painter(Surface& target, Point origin, Rect clip);

    void translate(int dx, int dy) { m_origin.x += dx, m_origin.y += dy; }
    // Narrows the clip to r (logical coordinates); it can only shrink.
    void clip_to(const Rect& r);
    Rect clip_rect() const;  // the current clip in logical coordinates
    void save();
    void restore();  // back to the last save(); does nothing without one

    void set_pixel(Point p, Color c);
    Color pixel(Point p) const;  // 0 outside the target
    void fill_rect(const Rect& r, Color c);
    void frame_rect(const Rect& r, Color c, int thickness = 1);
    void draw_line(Point a, Point b, Color c);  // both end points included
    void draw_edge(const Rect& r, Edge edge);
    void draw_focus_rect(const Rect& r);  // dotted, inverting: drawing it twice removes it
    void invert_rect(const Rect& r);
    void draw_image(Point at, const Surface& image);  // pixels with alpha 0 are left out

    // Draws one run of text with the top of its cell at 'at'; returns the pen advance.
    int draw_text_run(Point at, std::string_view text, const Font& font, Color c);
    // Draws text laid out in box with the flags above; returns the height of the text.
    int draw_text(const Rect& box, std::string_view text, const Font& font, Color c, unsigned flags = kTextLeft);

private:
    Rect to_target(const Rect& r) const { return r.offset(m_origin.x, m_origin.y); }
    void blend_glyph(const Glyph& g, int pen_x, int baseline, Color c);

    Surface* m_target;
    Point m_origin;
    Rect m_clip;
    struct Saved {
        Point origin;
        Rect clip;
    };
    std::vector<Saved> m_saved;
};

}  // namespace sk::platform::display
