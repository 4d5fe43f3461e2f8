// Fonts through fontconfig and FreeType, with a glyph cache per font.
#include "platform/display/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/display/utf8.h"
#include "platform/system_error.h"

namespace sk::platform::display {

struct Font::Impl {
    FT_Face face = nullptr;
    mutable std::mutex mutex;  // guards face and cache: FreeType faces are not thread-safe
    // Elements of an unordered_map keep their address when it grows, so a glyph's
    // reference stays valid for the font's lifetime.
    mutable std::unordered_map<char32_t, Glyph> cache;
    // The cached glyphs of U+0000-U+00FF, set once under the mutex and read without
    // it: nearly all text drawn is in this range, and a lock per character was a
    // tenth of the time of drawing a line.
    mutable std::array<std::atomic<const Glyph*>, 256> latin{};
};

namespace {

std::atomic<int> g_scale_percent{100};

// The FreeType library and the cache of opened fonts. Declared in this order so that
// the fonts (and their faces) go before the library at exit.
struct FontRegistry {
    std::mutex mutex;  // guards library creation, face creation and the cache
    FT_Library library = nullptr;
    bool fontconfig_ready = false;
    std::map<std::string, std::shared_ptr<const Font>> fonts;

    ~FontRegistry() {
        fonts.clear();
        if (library) FT_Done_FreeType(library);
        // Releases fontconfig's configuration and caches so that leak checkers stay quiet.
        if (fontconfig_ready) FcFini();
    }
};

FontRegistry& registry() {
    static FontRegistry r;
    return r;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Finds the font file for a family and style; false when fontconfig has nothing.
bool match_font_file(const std::string& family, const FontSpec& spec, int pixels, std::string& file, int& index) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(std::clamp(spec.weight, 1, 1000)));
    FcPatternAddInteger(pattern, FC_SLANT, spec.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixels);
    if (spec.fixed_pitch) FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    FcChar8* path = nullptr;
    bool ok = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path;
    if (ok) {
        file = reinterpret_cast<const char*>(path);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    }
    FcPatternDestroy(match);
    return ok;
}

std::string cache_key(const FontSpec& s) {
    return lower(s.face) + '\x1f' + std::to_string(s.point_size) + '\x1f' + std::to_string(s.weight) + '\x1f' +
           (s.italic ? 'i' : '-') + (s.underline ? 'u' : '-') + (s.strike_out ? 's' : '-') +
           (s.fixed_pitch ? 'f' : '-') + '\x1f' + std::to_string(logical_dpi());
}

int ceil_26_6(FT_Pos v) {
    return static_cast<int>((v + 63) >> 6);
}

}  // namespace

std::string map_face_name(std::string_view face, bool fixed_pitch) {
    std::string f = lower(face);
    static const char* const kSans[] = {"ms sans serif", "helv", "ms shell dlg", "system", "ms shell dlg 2"};
    static const char* const kMono[] = {"fixedsys", "courier", "terminal"};
    static const char* const kSerif[] = {"ms serif", "tms rmn"};
    for (const char* n : kSans) if (f == n) return "DejaVu Sans";
    for (const char* n : kMono) if (f == n) return "DejaVu Sans Mono";
    for (const char* n : kSerif) if (f == n) return "DejaVu Serif";
    if (f.empty()) return fixed_pitch ? "DejaVu Sans Mono" : "DejaVu Sans";
    return std::string(face);
}

int logical_dpi() {
    return 96 * g_scale_percent.load() / 100;
}

void set_display_scale(int percent) {
    g_scale_percent.store(std::clamp(percent, 50, 400));
}

int points_to_pixels(int points) {
    return (points * logical_dpi() + 36) / 72;
}

std::shared_ptr<const Font> open_font(const FontSpec& spec) {
    FontRegistry& reg = registry();
    std::lock_guard<std::mutex> guard(reg.mutex);
    std::string key = cache_key(spec);
    if (auto it = reg.fonts.find(key); it != reg.fonts.end()) return it->second;

    if (!reg.fontconfig_ready) {
        if (!FcInit()) {
            set_last_system_error(kErrFileNotFound);
            return nullptr;
        }
        reg.fontconfig_ready = true;
    }
    if (!reg.library && FT_Init_FreeType(&reg.library) != 0) {
        reg.library = nullptr;
        set_last_system_error(kErrGeneralFailure);
        return nullptr;
    }
    int pixels = std::max(1, points_to_pixels(std::max(1, spec.point_size)));
    std::string file;
    int index = 0;
    if (!match_font_file(map_face_name(spec.face, spec.fixed_pitch), spec, pixels, file, index)) {
        set_last_system_error(kErrFileNotFound);
        return nullptr;
    }
    FT_Face face = nullptr;
    if (FT_New_Face(reg.library, file.c_str(), index, &face) != 0) {
        set_last_system_error(kErrFileNotFound);
        return nullptr;
    }
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels)) != 0) {
        FT_Done_Face(face);
        set_last_system_error(kErrInvalidData);
        return nullptr;
    }
    std::shared_ptr<Font> font(new Font());
    font->m_spec = spec;
    font->m_file = file;
    font->m_impl = std::make_unique<Font::Impl>();
    font->m_impl->face = face;

    const FT_Size_Metrics& sm = face->size->metrics;
    FontMetrics& m = font->m_metrics;
    m.em_pixels = pixels;
    m.ascent = ceil_26_6(sm.ascender);
    m.descent = ceil_26_6(-sm.descender);
    m.height = m.ascent + m.descent;
    m.max_char_width = ceil_26_6(sm.max_advance);
    int letters = font->text_width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m.average_char_width = (letters / 26 + 1) / 2;

    font->m_stroke = std::max(1, (pixels + 7) / 14);
    font->m_underline_offset = std::max(1, std::min(m.descent - font->m_stroke, (m.descent + 1) / 2));
    font->m_strike_offset = -std::max(1, (pixels * 3 + 5) / 10);

    reg.fonts.emplace(key, font);
    return font;
}

Font::~Font() {
    // Called with the registry's mutex held (the cache owns the fonts), or at exit.
    if (m_impl && m_impl->face) FT_Done_Face(m_impl->face);
}

const Glyph& Font::glyph(char32_t c) const {
    if (c < m_impl->latin.size()) {
        if (const Glyph* g = m_impl->latin[c].load(std::memory_order_acquire)) return *g;
    }
    std::lock_guard<std::mutex> guard(m_impl->mutex);
    if (auto it = m_impl->cache.find(c); it != m_impl->cache.end()) return it->second;
    Glyph g;
    FT_Face face = m_impl->face;
    FT_UInt index = FT_Get_Char_Index(face, c);
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_NORMAL) == 0 &&
        FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0) {
        FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        if (bm.pixel_mode == FT_PIXEL_MODE_GRAY && bm.buffer) {
            g.width = static_cast<int>(bm.width);
            g.height = static_cast<int>(bm.rows);
            g.coverage.resize(static_cast<std::size_t>(g.width) * static_cast<std::size_t>(g.height));
            for (int y = 0; y < g.height; ++y) {
                const unsigned char* src = bm.buffer + static_cast<std::ptrdiff_t>(y) * bm.pitch;
                std::copy(src, src + g.width, g.coverage.begin() + static_cast<std::ptrdiff_t>(y) * g.width);
            }
        }
    }
    const Glyph& cached = m_impl->cache.emplace(c, std::move(g)).first->second;
    if (c < m_impl->latin.size()) m_impl->latin[c].store(&cached, std::memory_order_release);
    return cached;
}

int Font::text_width(std::string_view text) const {
    int width = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto byte = static_cast<unsigned char>(text[pos]);
        width += glyph(byte < 0x80 ? (++pos, char32_t{byte}) : decode_char(text, pos)).advance;
    }
    return width;
}

}  // namespace sk::platform::display
