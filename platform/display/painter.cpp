// Drawing primitives and text layout.
#include "platform/display/painter.h"

#include <cstdlib>

#include "platform/display/utf8.h"

namespace sk::platform::display {

namespace {

// Removes mnemonic markers from one paragraph; returns the byte offset of the marked
// character in the result, or -1.
int strip_mnemonic(std::string_view in, std::string& out) {
    int index = -1;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '&' && i + 1 < in.size()) {
            ++i;
            if (in[i] != '&' && index < 0) index = static_cast<int>(out.size());
        } else if (in[i] == '&') {
            continue;  // a trailing "&" marks nothing
        }
        out += in[i];
    }
    return index;
}

// Byte length of the character at text[pos].
std::size_t char_length(std::string_view text, std::size_t pos) {
    std::size_t next = pos;
    decode_char(text, next);
    return next - pos;
}

void wrap_paragraph(const Font& font, const std::string& text, int mnemonic, int box_width,
                    std::vector<TextLine>& lines) {
    std::size_t start = 0;
    auto emit = [&](std::size_t from, std::size_t to) {
        TextLine line;
        line.text = text.substr(from, to - from);
        while (!line.text.empty() && line.text.back() == ' ') line.text.pop_back();
        line.width = font.text_width(line.text);
        if (mnemonic >= 0 && static_cast<std::size_t>(mnemonic) >= from && static_cast<std::size_t>(mnemonic) < to &&
            static_cast<std::size_t>(mnemonic) - from < line.text.size()) {
            line.mnemonic_index = mnemonic - static_cast<int>(from);
        }
        lines.push_back(std::move(line));
    };
    if (text.empty()) {
        lines.push_back(TextLine{});
        return;
    }
    while (start < text.size()) {
        // Take words while they fit; a word wider than the box is broken between characters.
        std::size_t pos = start;
        std::size_t last_break = std::string::npos;
        int width = 0;
        while (pos < text.size()) {
            std::size_t len = char_length(text, pos);
            std::size_t p = pos;
            int w = font.glyph(decode_char(text, p)).advance;
            if (text[pos] == ' ') last_break = pos;
            if (width + w > box_width && pos > start && text[pos] != ' ') break;
            width += w;
            pos += len;
        }
        if (pos >= text.size()) {
            emit(start, text.size());
            break;
        }
        std::size_t end = (last_break != std::string::npos && last_break > start) ? last_break : pos;
        emit(start, end);
        start = end;
        while (start < text.size() && text[start] == ' ') ++start;
    }
}

}  // namespace

std::vector<TextLine> layout_text(const Font& font, std::string_view text, unsigned flags, int box_width) {
    std::vector<TextLine> lines;
    std::vector<std::string> paragraphs;
    std::string current;
    for (char ch : text) {
        if (ch == '\r') continue;
        if (ch == '\n') {
            if (flags & kTextSingleLine) {
                current += ' ';
            } else {
                paragraphs.push_back(std::move(current));
                current.clear();
            }
            continue;
        }
        current += ch;
    }
    paragraphs.push_back(std::move(current));

    for (const std::string& para : paragraphs) {
        std::string clean;
        int mnemonic = -1;
        if (flags & kTextMnemonic) mnemonic = strip_mnemonic(para, clean);
        else clean = para;
        if ((flags & kTextWordBreak) && !(flags & kTextSingleLine)) {
            wrap_paragraph(font, clean, mnemonic, box_width, lines);
            continue;
        }
        TextLine line;
        line.text = std::move(clean);
        line.mnemonic_index = mnemonic;
        line.width = font.text_width(line.text);
        if ((flags & kTextEndEllipsis) && line.width > box_width) {
            int dots = font.text_width("...");
            while (!line.text.empty() && font.text_width(line.text) + dots > box_width) {
                // Drop the last whole character, stepping back over UTF-8 continuation bytes.
                std::size_t cut = line.text.size() - 1;
                while (cut > 0 && (static_cast<unsigned char>(line.text[cut]) & 0xC0) == 0x80) --cut;
                line.text.resize(cut);
            }
            if (line.mnemonic_index >= static_cast<int>(line.text.size())) line.mnemonic_index = -1;
            line.text += "...";
            line.width = font.text_width(line.text);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

Size measure_text(const Font& font, std::string_view text, unsigned flags, int box_width) {
    std::vector<TextLine> lines = layout_text(font, text, flags, box_width);
    Size s{0, static_cast<int>(lines.size()) * font.metrics().height};
    for (const TextLine& l : lines) s.width = std::max(s.width, l.width);
    return s;
}

Painter::Painter(Surface& target, Point origin, Rect clip)
    : m_target(&target), m_origin(origin), m_clip(clip.intersect(target.bounds())) {}

void Painter::clip_to(const Rect& r) {
    m_clip = m_clip.intersect(to_target(r));
}

Rect Painter::clip_rect() const {
    return m_clip.offset(-m_origin.x, -m_origin.y);
}

void Painter::save() {
    m_saved.push_back(Saved{m_origin, m_clip});
}

void Painter::restore() {
    if (m_saved.empty()) return;
    m_origin = m_saved.back().origin;
    m_clip = m_saved.back().clip;
    m_saved.pop_back();
}

void Painter::set_pixel(Point p, Color c) {
    Point t{p.x + m_origin.x, p.y + m_origin.y};
    if (m_clip.contains(t)) m_target->set_pixel(t.x, t.y, c);
}

Color Painter::pixel(Point p) const {
    return m_target->pixel(p.x + m_origin.x, p.y + m_origin.y);
}

void Painter::fill_rect(const Rect& r, Color c) {
    m_target->fill(to_target(r).intersect(m_clip), c);
}

void Painter::frame_rect(const Rect& r, Color c, int thickness) {
    if (r.is_empty() || thickness <= 0) return;
    int t = std::min({thickness, (r.width() + 1) / 2, (r.height() + 1) / 2});
    fill_rect(Rect{r.left, r.top, r.right, r.top + t}, c);
    fill_rect(Rect{r.left, r.bottom - t, r.right, r.bottom}, c);
    fill_rect(Rect{r.left, r.top + t, r.left + t, r.bottom - t}, c);
    fill_rect(Rect{r.right - t, r.top + t, r.right, r.bottom - t}, c);
}

void Painter::draw_line(Point a, Point b, Color c) {
    if (a.y == b.y) {
        fill_rect(Rect{std::min(a.x, b.x), a.y, std::max(a.x, b.x) + 1, a.y + 1}, c);
        return;
    }
    if (a.x == b.x) {
        fill_rect(Rect{a.x, std::min(a.y, b.y), a.x + 1, std::max(a.y, b.y) + 1}, c);
        return;
    }
    int dx = std::abs(b.x - a.x), sx = a.x < b.x ? 1 : -1;
    int dy = -std::abs(b.y - a.y), sy = a.y < b.y ? 1 : -1;
    int err = dx + dy;
    Point p = a;
    for (;;) {
        set_pixel(p, c);
        if (p == b) break;
        int e2 = 2 * err;
        if (e2 >= dy) err += dy, p.x += sx;
        if (e2 <= dx) err += dx, p.y += sy;
    }
}

void Painter::draw_edge(const Rect& r, Edge edge) {
    if (r.is_empty()) return;
    // One ring: top and left in one colour, bottom and right in the other.
    auto ring = [&](const Rect& q, Color top_left, Color bottom_right) {
        if (q.is_empty()) return;
        fill_rect(Rect{q.left, q.top, q.right - 1, q.top + 1}, top_left);
        fill_rect(Rect{q.left, q.top + 1, q.left + 1, q.bottom - 1}, top_left);
        fill_rect(Rect{q.left, q.bottom - 1, q.right, q.bottom}, bottom_right);
        fill_rect(Rect{q.right - 1, q.top, q.right, q.bottom - 1}, bottom_right);
    };
    Color hi = system_color(SystemColor::kButtonHighlight);
    Color light = system_color(SystemColor::kButtonLight);
    Color shadow = system_color(SystemColor::kButtonShadow);
    Color dark = system_color(SystemColor::kButtonDarkShadow);
    Rect inner = r.inset(1, 1);
    switch (edge) {
    case Edge::kRaised:
        ring(r, light, dark);
        ring(inner, hi, shadow);
        break;
    case Edge::kSunken:
        ring(r, shadow, hi);
        ring(inner, dark, light);
        break;
    case Edge::kEtched:
        ring(r, shadow, hi);
        ring(inner, hi, shadow);
        break;
    case Edge::kBump:
        ring(r, hi, shadow);
        ring(inner, shadow, hi);
        break;
    case Edge::kRaisedThin:
        ring(r, hi, shadow);
        break;
    case Edge::kSunkenThin:
        ring(r, shadow, hi);
        break;
    }
}

void Painter::invert_rect(const Rect& r) {
    Rect t = to_target(r).intersect(m_clip);
    for (int y = t.top; y < t.bottom; ++y) {
        Color* row = m_target->row(y);
        for (int x = t.left; x < t.right; ++x) row[x] ^= 0x00FFFFFFu;
    }
}

void Painter::draw_focus_rect(const Rect& r) {
    if (r.is_empty()) return;
    // Every other pixel of the border, on a checkerboard so that corners line up.
    auto dot = [&](int x, int y) {
        if (((x + y) & 1) != 0) return;
        Point t{x + m_origin.x, y + m_origin.y};
        if (m_clip.contains(t)) m_target->row(t.y)[t.x] ^= 0x00FFFFFFu;
    };
    for (int x = r.left; x < r.right; ++x) {
        dot(x, r.top);
        if (r.bottom - 1 != r.top) dot(x, r.bottom - 1);
    }
    for (int y = r.top + 1; y < r.bottom - 1; ++y) {
        dot(r.left, y);
        if (r.right - 1 != r.left) dot(r.right - 1, y);
    }
}

void Painter::draw_image(Point at, const Surface& image) {
    Rect t = Rect::from_size(at.x + m_origin.x, at.y + m_origin.y, image.width(), image.height()).intersect(m_clip);
    for (int y = t.top; y < t.bottom; ++y) {
        const Color* src = image.row(y - (at.y + m_origin.y));
        Color* dst = m_target->row(y);
        for (int x = t.left; x < t.right; ++x) {
            Color c = src[x - (at.x + m_origin.x)];
            if ((c >> 24) != 0) dst[x] = c | 0xFF000000u;
        }
    }
}

namespace {

// The colour of ink at coverage a over the pixel d, each channel
// (ink * a + d * (255 - a) + 127) / 255. Coverage 0 leaves d as it is, alpha included.
// Red and blue are worked in the two 16-bit halves of one word and alpha and green in
// another: a channel's sum is at most 255 * 255 + 127, so the halves never carry into
// each other, and (y + 1 + (y >> 8)) >> 8 equals y / 255 for every such y.
inline Color blend_pixel(Color ink, Color d, unsigned a) {
    if (a == 0) return d;
    if (a == 255) return ink | 0xFF000000u;
    unsigned rest = 255 - a;
    std::uint32_t rb = (ink & 0x00FF00FFu) * a + (d & 0x00FF00FFu) * rest + 0x007F007Fu;
    std::uint32_t ag = ((ink >> 8) & 0x00FF00FFu) * a + ((d >> 8) & 0x00FF00FFu) * rest + 0x007F007Fu;
    rb = ((rb + 0x00010001u + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    ag = ((ag + 0x00010001u + ((ag >> 8) & 0x00FF00FFu)) >> 8) & 0x000000FFu;
    return 0xFF000000u | rb | (ag << 8);
}

// Text is nearly always drawn on a plain background, so the blended colours of one ink
// over one ground are kept for every coverage value: a pixel that still holds the
// ground then costs one table read.
struct BlendTable {
    Color ink = 0;
    Color ground = 0;
    bool filled = false;
    Color out[256];

    void fill(Color new_ink, Color new_ground) {
        ink = new_ink;
        ground = new_ground;
        filled = true;
        for (unsigned a = 0; a < 256; ++a) out[a] = blend_pixel(ink, ground, a);
    }
};

// A few inks and grounds per thread (painting happens on the thread that owns the
// window): normal and selected list rows alternate between two pairs.
struct BlendTables {
    static constexpr int kCount = 4;
    BlendTable tables[kCount];
    int current = 0;
    int next_victim = 0;

    BlendTable& find_or_fill(Color ink, Color ground) {
        for (int i = 0; i < kCount; ++i) {
            if (tables[i].filled && tables[i].ink == ink && tables[i].ground == ground) return tables[current = i];
        }
        current = next_victim;
        next_victim = (next_victim + 1) % kCount;
        tables[current].fill(ink, ground);
        return tables[current];
    }
};

thread_local BlendTables t_blend;

// Another ground colour is adopted once this many pixels of one glyph's box in a row
// held it; scattered ones (a neighbouring glyph's ink, a gradient) are blended directly.
constexpr int kGroundSwitchPixels = 8;

}  // namespace

void Painter::blend_glyph(const Glyph& g, int pen_x, int baseline, Color c) {
    int gx = pen_x + g.left + m_origin.x;
    int gy = baseline - g.top + m_origin.y;
    Rect t = Rect::from_size(gx, gy, g.width, g.height).intersect(m_clip);
    if (t.is_empty()) return;
    BlendTables& tables = t_blend;
    BlendTable* table = &tables.tables[tables.current];
    if (!table->filled || table->ink != c) {
        table = &tables.find_or_fill(c, table->filled ? table->ground : m_target->row(t.top)[t.left]);
    }
    Color ground = table->ground;
    const Color* out = table->out;
    const Color solid = c | 0xFF000000u;
    Color candidate = ground;
    int candidate_count = 0;
    int width = t.width();
    for (int y = t.top; y < t.bottom; ++y) {
        const std::uint8_t* cov = g.coverage.data() + static_cast<std::size_t>(y - gy) * static_cast<std::size_t>(g.width) +
                                  static_cast<std::size_t>(t.left - gx);
        Color* dst = m_target->row(y) + t.left;
        for (int i = 0; i < width; ++i) {
            unsigned a = cov[i];
            if (a == 0) continue;
            Color d = dst[i];
            if (d == ground) {
                dst[i] = out[a];
                continue;
            }
            // Ink over its own solid colour stays that colour: text drawn over itself.
            if (d == solid) continue;
            dst[i] = blend_pixel(c, d, a);
            // A different plain background: switch tables once it is clearly the ground here.
            if (d == candidate) {
                if (++candidate_count >= kGroundSwitchPixels) {
                    table = &tables.find_or_fill(c, d);
                    ground = d;
                    out = table->out;
                    candidate_count = 0;
                }
            } else {
                candidate = d;
                candidate_count = 1;
            }
        }
    }
}

int Painter::draw_text_run(Point at, std::string_view text, const Font& font, Color c) {
    const FontMetrics& m = font.metrics();
    int baseline = at.y + m.ascent;
    int pen = at.x;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto byte = static_cast<unsigned char>(text[pos]);
        char32_t ch = byte < 0x80 ? (++pos, char32_t{byte}) : decode_char(text, pos);
        const Glyph& g = font.glyph(ch);
        if (g.width > 0) blend_glyph(g, pen, baseline, c);
        pen += g.advance;
    }
    int t = font.stroke_thickness();
    if (font.spec().underline) fill_rect(Rect{at.x, baseline + font.underline_offset(), pen, baseline + font.underline_offset() + t}, c);
    if (font.spec().strike_out) fill_rect(Rect{at.x, baseline + font.strike_out_offset(), pen, baseline + font.strike_out_offset() + t}, c);
    return pen - at.x;
}

int Painter::draw_text(const Rect& box, std::string_view text, const Font& font, Color c, unsigned flags) {
    std::vector<TextLine> lines = layout_text(font, text, flags, box.width());
    int line_height = font.metrics().height;
    int total = static_cast<int>(lines.size()) * line_height;
    int y = box.top;
    if (flags & kTextBottom) y = box.bottom - total;
    else if (flags & kTextVCenter) y = box.top + (box.height() - total) / 2;
    save();
    if (!(flags & kTextNoClip)) clip_to(box);
    for (const TextLine& line : lines) {
        int x = box.left;
        if (flags & kTextRight) x = box.right - line.width;
        else if (flags & kTextCenter) x = box.left + (box.width() - line.width) / 2;
        draw_text_run(Point{x, y}, line.text, font, c);
        if (line.mnemonic_index >= 0) {
            std::string_view before(line.text.data(), static_cast<std::size_t>(line.mnemonic_index));
            std::size_t p = static_cast<std::size_t>(line.mnemonic_index);
            int ux = x + font.text_width(before);
            int uw = font.glyph(decode_char(line.text, p)).advance;
            int uy = y + font.metrics().ascent + font.underline_offset();
            fill_rect(Rect{ux, uy, ux + uw, uy + font.stroke_thickness()}, c);
        }
        y += line_height;
    }
    restore();
    return total;
}

}  // namespace sk::platform::display
