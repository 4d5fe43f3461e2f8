// Fonts, text layout and the painter's primitives, drawn on off-screen surfaces.
#include "platform/display/font.h"
#include "platform/display/painter.h"
#include "platform/display/utf8.h"

#include <gtest/gtest.h>

using namespace sk::platform::display;

namespace {

constexpr Color kWhite = rgb(0xFF, 0xFF, 0xFF);
constexpr Color kBlack = rgb(0, 0, 0);

std::shared_ptr<const Font> dialog_font(int weight = 400) {
    return open_font(FontSpec{"MS Sans Serif", 8, weight});
}

// The bounding box of pixels that differ from background.
Rect ink_box(const Surface& s, Color background) {
    Rect box;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            if (s.pixel(x, y) != background) box = box.unite(Rect{x, y, x + 1, y + 1});
    return box;
}

}  // namespace

TEST(Font, MetricsAreStableAndConsistent) {
    auto font = dialog_font();
    ASSERT_NE(font, nullptr);
    EXPECT_NE(font->file().find("DejaVuSans"), std::string::npos);
    const FontMetrics& m = font->metrics();
    EXPECT_EQ(m.em_pixels, 11);  // 8 points at 96 pixels per inch
    EXPECT_EQ(m.height, m.ascent + m.descent);
    EXPECT_GE(m.height, 12);
    EXPECT_LE(m.height, 15);
    int letters = font->text_width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(m.average_char_width, (letters / 26 + 1) / 2);
    EXPECT_GE(m.average_char_width, 5);
    EXPECT_LE(m.average_char_width, 8);
    // The same spec gives the same font, and the same numbers every time.
    EXPECT_EQ(dialog_font().get(), font.get());
    EXPECT_EQ(font->text_width("Sitekeeper"), font->text_width("Sitekeeper"));
    EXPECT_EQ(font->text_width("ab"), font->text_width("a") + font->text_width("b"));

    auto bold = dialog_font(700);
    ASSERT_NE(bold, nullptr);
    EXPECT_NE(bold->file(), font->file());
    EXPECT_GT(bold->text_width("Sitekeeper"), font->text_width("Sitekeeper"));

    auto fixed = open_font(FontSpec{"Fixedsys", 9});
    ASSERT_NE(fixed, nullptr);
    EXPECT_NE(fixed->file().find("Mono"), std::string::npos);
    EXPECT_EQ(fixed->text_width("iiii"), fixed->text_width("WWWW"));
    EXPECT_EQ(map_face_name("helv", false), "DejaVu Sans");

    auto big = open_font(FontSpec{"MS Sans Serif", 16});
    EXPECT_GT(big->metrics().height, m.height * 3 / 2);
}

TEST(Font, InvalidUtf8ShowsAsWindows1252) {
    std::string text = "a\x80\xC3\xA9\xE2\x82\xAC\xC3";  // a, stray euro byte, e-acute, euro, cut-off lead
    std::size_t pos = 0;
    EXPECT_EQ(decode_char(text, pos), U'a');
    EXPECT_EQ(decode_char(text, pos), 0x20ACu);
    EXPECT_EQ(decode_char(text, pos), 0xE9u);
    EXPECT_EQ(decode_char(text, pos), 0x20ACu);
    EXPECT_EQ(decode_char(text, pos), 0xC3u);
    EXPECT_EQ(pos, text.size());
    pos = 0;
    EXPECT_EQ(decode_char("\xC0\xAF", pos), 0xC0u);  // overlong form
    pos = 0;
    EXPECT_EQ(decode_char("\xED\xA0\x80", pos), 0xEDu);  // surrogate
    auto font = dialog_font();
    EXPECT_EQ(font->text_width("\x80"), font->text_width("\xE2\x82\xAC"));
}

TEST(Painter, TextInksInsideItsExtentAndNeverOutsideTheClip) {
    auto font = dialog_font();
    Surface s(200, 40, kWhite);
    Painter p(s, Point{0, 0}, s.bounds());
    int advance = p.draw_text_run(Point{10, 5}, "Sitekeeper", *font, kBlack);
    Size extent = font->text_extent("Sitekeeper");
    EXPECT_EQ(advance, extent.width);
    Rect ink = ink_box(s, kWhite);
    ASSERT_FALSE(ink.is_empty());
    EXPECT_TRUE(Rect::from_size(10 - 1, 5, extent.width + 2, extent.height).intersect(ink) == ink);
    EXPECT_GT(ink.width(), extent.width / 2);
    // Mostly dark, crisp strokes rather than a grey smear.
    int dark = 0;
    for (int y = ink.top; y < ink.bottom; ++y)
        for (int x = ink.left; x < ink.right; ++x)
            if (red_of(s.pixel(x, y)) < 0x40) ++dark;
    EXPECT_GT(dark, 40);

    Surface clipped(200, 40, kWhite);
    Painter q(clipped, Point{0, 0}, clipped.bounds());
    q.clip_to(Rect{0, 0, 30, 40});
    q.draw_text_run(Point{10, 5}, "Sitekeeper", *font, kBlack);
    Rect cink = ink_box(clipped, kWhite);
    ASSERT_FALSE(cink.is_empty());
    EXPECT_LE(cink.right, 30);
    // Text clipped to its own box, inside a translated painter.
    Surface boxed(200, 40, kWhite);
    Painter r(boxed, Point{0, 0}, boxed.bounds());
    r.translate(50, 10);
    r.draw_text(Rect{0, 0, 20, 15}, "Sitekeeper", *font, kBlack, kTextLeft);
    Rect bink = ink_box(boxed, kWhite);
    EXPECT_GE(bink.left, 50);
    EXPECT_LE(bink.right, 70);
    EXPECT_LE(bink.bottom, 25);
}

TEST(Painter, TextLayoutAlignsWrapsAndMarksMnemonics) {
    auto font = dialog_font();
    auto lines = layout_text(*font, "&Insert", kTextMnemonic, 100);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "Insert");
    EXPECT_EQ(lines[0].mnemonic_index, 0);
    lines = layout_text(*font, "Save && E&xit", kTextMnemonic, 100);
    EXPECT_EQ(lines[0].text, "Save & Exit");
    EXPECT_EQ(lines[0].mnemonic_index, 8);
    lines = layout_text(*font, "one two three four five six seven", kTextWordBreak, 60);
    ASSERT_GT(lines.size(), 2u);
    for (const TextLine& l : lines) EXPECT_LE(l.width, 60) << l.text;
    EXPECT_EQ(layout_text(*font, "a\r\nb", 0, 100).size(), 2u);
    EXPECT_EQ(layout_text(*font, "a\r\nb", kTextSingleLine, 100).size(), 1u);
    Size wrapped = measure_text(*font, "one two three four five six seven", kTextWordBreak, 60);
    EXPECT_EQ(wrapped.height, static_cast<int>(lines.size()) * font->metrics().height);
    auto cut = layout_text(*font, "A long description of a site", kTextEndEllipsis, 50);
    EXPECT_LE(cut[0].width, 50);
    EXPECT_EQ(cut[0].text.substr(cut[0].text.size() - 3), "...");

    Surface s(100, 20, kWhite);
    Painter p(s, Point{0, 0}, s.bounds());
    p.draw_text(Rect{0, 0, 100, 20}, "OK", *font, kBlack, kTextRight | kTextVCenter);
    Rect ink = ink_box(s, kWhite);
    EXPECT_GE(ink.left, 100 - font->text_width("OK") - 1);
    EXPECT_LE(ink.right, 100);
}

TEST(Painter, PrimitivesDrawWhereAsked) {
    Surface s(40, 40, kWhite);
    Painter p(s, Point{0, 0}, s.bounds());
    p.frame_rect(Rect{5, 5, 15, 15}, kBlack);
    EXPECT_EQ(s.pixel(5, 5), kBlack);
    EXPECT_EQ(s.pixel(14, 14), kBlack);
    EXPECT_EQ(s.pixel(10, 10), kWhite);
    EXPECT_EQ(s.pixel(15, 15), kWhite);
    p.draw_line(Point{20, 20}, Point{30, 25}, kBlack);
    EXPECT_EQ(s.pixel(20, 20), kBlack);
    EXPECT_EQ(s.pixel(30, 25), kBlack);
    p.draw_edge(Rect{0, 20, 10, 30}, Edge::kSunken);
    EXPECT_EQ(s.pixel(0, 20), system_color(SystemColor::kButtonShadow));
    EXPECT_EQ(s.pixel(9, 29), system_color(SystemColor::kButtonHighlight));
    EXPECT_EQ(s.pixel(1, 21), system_color(SystemColor::kButtonDarkShadow));

    // The focus rectangle inverts, so drawing it twice restores the pixels.
    Surface before = s;
    p.draw_focus_rect(Rect{2, 2, 38, 38});
    EXPECT_NE(s.pixel(2, 2), before.pixel(2, 2));
    EXPECT_EQ(s.pixel(3, 2), before.pixel(3, 2));
    p.draw_focus_rect(Rect{2, 2, 38, 38});
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(s.pixel(x, y), before.pixel(x, y));

    // Save and restore bring back the clip and the translation.
    p.save();
    p.translate(10, 10);
    p.clip_to(Rect{0, 0, 5, 5});
    p.fill_rect(Rect{0, 0, 40, 40}, rgb(1, 2, 3));
    p.restore();
    EXPECT_EQ(s.pixel(12, 12), rgb(1, 2, 3));
    EXPECT_NE(s.pixel(16, 16), rgb(1, 2, 3));
    EXPECT_EQ(p.clip_rect(), s.bounds());
    p.fill_rect(Rect{-100, -100, 1000, 1000}, kWhite);  // far outside: clipped, no fault
    EXPECT_EQ(s.pixel(39, 39), kWhite);
}
