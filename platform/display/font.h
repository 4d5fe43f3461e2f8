// Fonts: chosen by face, size and style through fontconfig, rasterised anti-aliased
// by FreeType, with a per-font glyph cache.
//
// Face names of the window definitions are mapped to faces that exist here: the
// dialog faces ("MS Sans Serif", "Helv", "MS Shell Dlg", "System") to DejaVu Sans,
// the terminal faces ("Fixedsys", "Courier", "Terminal") to DejaVu Sans Mono and
// "MS Serif" / "Tms Rmn" to DejaVu Serif. Sizes are in points at the logical
// resolution (96 pixels per inch times the display scale).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display/geometry.h"

namespace sk::platform::display {

struct FontSpec {
    std::string face = "MS Sans Serif";
    int point_size = 8;
    int weight = 400;  // 100-900; 700 is bold
    bool italic = false;
    bool underline = false;
    bool strike_out = false;
    bool fixed_pitch = false;  // a preference used when the face is not known
};

struct FontMetrics {
    int height = 0;              // full cell height: ascent + descent
    int ascent = 0;              // baseline distance from the top of the cell
    int descent = 0;
    int average_char_width = 0;  // (width of "A".."Z" "a".."z" / 26 + 1) / 2
    int max_char_width = 0;
    int em_pixels = 0;           // the pixel size the face was set to
};

// One rasterised character: an 8-bit coverage map placed relative to the pen
// position on the baseline.
struct Glyph {
    int width = 0;
    int height = 0;
    int left = 0;     // from the pen position to the bitmap's left edge
    int top = 0;      // from the baseline up to the bitmap's top edge
    int advance = 0;  // pen movement in whole pixels
    std::vector<std::uint8_t> coverage;  // width * height, row by row
};

class Font {
public:
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    const FontSpec& spec() const { return m_spec; }
    const FontMetrics& metrics() const { return m_metrics; }
    const std::string& file() const { return m_file; }  // the font file fontconfig chose

    // The glyph of c, rasterised on first use. The reference stays valid for the
    // font's lifetime. Safe to call from any thread.
    const Glyph& glyph(char32_t c) const;

    // Width in pixels of one line of UTF-8 text (no line breaks are interpreted).
    int text_width(std::string_view text) const;
    Size text_extent(std::string_view text) const { return Size{text_width(text), m_metrics.height}; }

    // Vertical offsets from the baseline (positive downwards) and thickness of the
    // underline and strike-out strokes.
    int underline_offset() const { return m_underline_offset; }
    int strike_out_offset() const { return m_strike_offset; }
    int stroke_thickness() const { return m_stroke; }

private:
    friend std::shared_ptr<const Font> open_font(const FontSpec& spec);
    Font() = default;
    struct Impl;
    FontSpec m_spec;
    FontMetrics m_metrics;
    std::string m_file;
    int m_underline_offset = 1;
    int m_strike_offset = -3;
    int m_stroke = 1;
    std::unique_ptr<Impl> m_impl;
};

// The font for spec, shared with every other caller asking for the same spec.
// Returns nullptr and sets last_system_error() (2, file not found) when no font
// file can be found or loaded.
std::shared_ptr<const Font> open_font(const FontSpec& spec);

// The family name a definition's face name is looked up as.
std::string map_face_name(std::string_view face, bool fixed_pitch);

// Logical pixels per inch: 96 at a scale of 100 percent.
int logical_dpi();
// Sets the scale for large displays (100 = 96 dpi, 150 = 144 dpi); 50 to 400.
// Fonts opened afterwards use the new resolution.
void set_display_scale(int percent);
int points_to_pixels(int points);

}  // namespace sk::platform::display
