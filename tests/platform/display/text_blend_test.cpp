// Text drawing compared pixel for pixel with a plain reference blend: each covered
// pixel becomes (ink * a + ground * (255 - a) + 127) / 255 per channel, full coverage
// the ink, no coverage leaves the pixel alone. The painter keeps per-thread tables of
// blended colours, so the cases change ink and ground between runs on purpose.
#include "platform/display/font.h"
#include "platform/display/painter.h"
#include "platform/display/utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>

using namespace sk::platform::display;

namespace {

constexpr Color kWhite = rgb(0xFF, 0xFF, 0xFF);
constexpr Color kBlack = rgb(0, 0, 0);

std::shared_ptr<const Font> dialog_font() {
    return open_font(FontSpec{"MS Sans Serif", 8});
}

// The reference: a run drawn with the top of its cell at (x, y) on surface coordinates,
// clipped to clip.
void reference_run(Surface& s, const Rect& clip, Point at, std::string_view text, const Font& font, Color ink) {
    Rect box = clip.intersect(s.bounds());
    int pen = at.x;
    int baseline = at.y + font.metrics().ascent;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const Glyph& g = font.glyph(decode_char(text, pos));
        for (int gy = 0; gy < g.height; ++gy) {
            for (int gx = 0; gx < g.width; ++gx) {
                Point p{pen + g.left + gx, baseline - g.top + gy};
                unsigned a = g.coverage[static_cast<std::size_t>(gy * g.width + gx)];
                if (!box.contains(p) || a == 0) continue;
                Color d = s.pixel(p.x, p.y);
                if (a == 255) {
                    s.set_pixel(p.x, p.y, ink | 0xFF000000u);
                    continue;
                }
                auto mix = [&](unsigned i, unsigned b) { return (i * a + b * (255 - a) + 127) / 255; };
                s.set_pixel(p.x, p.y, rgb(mix(red_of(ink), red_of(d)), mix(green_of(ink), green_of(d)),
                                          mix(blue_of(ink), blue_of(d))));
            }
        }
        pen += g.advance;
    }
}

// Where the two surfaces first differ, or "" when they are equal.
std::string first_difference(const Surface& a, const Surface& b) {
    if (a.width() != b.width() || a.height() != b.height()) return "sizes differ";
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                char buf[96];
                std::snprintf(buf, sizeof buf, "(%d, %d): %08X, expected %08X", x, y, a.pixel(x, y), b.pixel(x, y));
                return buf;
            }
    return "";
}

// Draws the same runs through a painter and through the reference, on copies of start.
struct Pair {
    Surface drawn, expected;
    explicit Pair(const Surface& start) : drawn(start), expected(start) {}
    void run(Point at, std::string_view text, const Font& font, Color ink, Rect clip = Rect{0, 0, 100000, 100000}) {
        Painter p(drawn, Point{0, 0}, drawn.bounds());
        p.clip_to(clip);
        int advance = p.draw_text_run(at, text, font, ink);
        EXPECT_EQ(advance, font.text_width(text));
        reference_run(expected, clip, at, text, font, ink);
    }
};

const char* const kSamples[] = {
    "Sitekeeper home", "Caf\xC3\xA9 guide \xE2\x82\xAC 5", "ftp.example.net/pub", "Zoom WAVE jiffy",
    "\xCE\xA9mega \xD0\x96 \xE4\xB8\xAD", "bad \x80\xC3 bytes", "@#%&*()[]{}",
};

}  // namespace

TEST(TextBlend, MatchesTheReferenceOnPlainGroundsAndWhenInkAndGroundChange) {
    auto font = dialog_font();
    ASSERT_NE(font, nullptr);
    // Grounds and inks in an order that switches each now and then, including a
    // ground whose alpha is 0 (which uncovered pixels must keep).
    const Color grounds[] = {kWhite, rgb(0, 0, 0x80), kWhite, rgb(0xC0, 0xC0, 0xC0), 0x00FFFFFFu, rgb(0x12, 0x34, 0x56)};
    const Color inks[] = {kBlack, kWhite, rgb(0xFF, 0, 0), kBlack, rgb(0x80, 0x80, 0x80), rgb(0x20, 0xF0, 0x08)};
    for (Color ground : grounds) {
        Surface start(420, 130, ground);
        Pair pair(start);
        int y = 0;
        for (Color ink : inks) {
            for (const char* text : kSamples) {
                pair.run(Point{3 + (y % 3) * 140, (y / 3) * 9}, text, *font, ink);
                ++y;
            }
        }
        ASSERT_EQ(first_difference(pair.drawn, pair.expected), "") << "ground " << std::hex << ground;
    }
}

TEST(TextBlend, MatchesTheReferenceOverInkGradientsAndNoise) {
    auto font = dialog_font();
    // Text over itself and over other text, in several inks.
    Surface plain(300, 60, kWhite);
    Pair over(plain);
    for (int pass = 0; pass < 4; ++pass) {
        for (const char* text : kSamples) over.run(Point{2 + pass, 2 + pass * 2}, text, *font, pass == 2 ? rgb(0xFF, 0, 0) : kBlack);
    }
    ASSERT_EQ(first_difference(over.drawn, over.expected), "");

    // A horizontal gradient: no pixel's ground repeats often.
    Surface gradient(300, 40);
    for (int y = 0; y < gradient.height(); ++y)
        for (int x = 0; x < gradient.width(); ++x) gradient.set_pixel(x, y, rgb(x & 0xFF, (x * 3 + y) & 0xFF, 255 - (x & 0xFF)));
    Pair graded(gradient);
    for (const char* text : kSamples) graded.run(Point{4, 10}, text, *font, rgb(0x10, 0x20, 0x30));
    ASSERT_EQ(first_difference(graded.drawn, graded.expected), "");

    // Random grounds with random alpha, and a long run of one odd colour in the middle
    // so that the painter adopts it as its ground.
    std::mt19937 rng(7);
    Surface noise(300, 40);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) noise.set_pixel(x, y, static_cast<Color>(rng()));
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 100; x < 200; ++x) noise.set_pixel(x, y, rgb(0x33, 0x66, 0x99));
    Pair noisy(noise);
    for (int i = 0; i < 3; ++i)
        for (const char* text : kSamples) noisy.run(Point{-20 + 60 * i, 5 + 9 * i}, text, *font, rgb(0xEE, 0xDD, 0x01));
    ASSERT_EQ(first_difference(noisy.drawn, noisy.expected), "");
}

TEST(TextBlend, MatchesTheReferenceWhenClippedOrTranslated) {
    auto font = dialog_font();
    Surface start(200, 50, kWhite);
    Pair pair(start);
    pair.run(Point{-7, -4}, "Sitekeeper home", *font, kBlack);             // off the top left edge
    pair.run(Point{150, 40}, "Sitekeeper home", *font, kBlack);            // off the bottom right edge
    pair.run(Point{10, 15}, "Caf\xC3\xA9 guide", *font, kBlack, Rect{14, 18, 40, 22});  // through a slit
    pair.run(Point{10, 25}, "Zoom", *font, kBlack, Rect{0, 0, 0, 0});      // nothing visible
    ASSERT_EQ(first_difference(pair.drawn, pair.expected), "");

    // A painter with an origin draws what the reference draws shifted by it.
    Surface moved(200, 50, kWhite), expected(200, 50, kWhite);
    Painter p(moved, Point{30, 12}, Rect{20, 10, 180, 40});
    p.draw_text_run(Point{-5, 0}, "ftp.example.net/pub", *font, rgb(0, 0, 0xFF));
    reference_run(expected, Rect{20, 10, 180, 40}, Point{25, 12}, "ftp.example.net/pub", *font, rgb(0, 0, 0xFF));
    ASSERT_EQ(first_difference(moved, expected), "");
}

TEST(TextBlend, GlyphsAreTheSameFromEveryThread) {
    // A size nothing else opens, so that both threads race to rasterise every glyph.
    auto font = open_font(FontSpec{"MS Serif", 13});
    ASSERT_NE(font, nullptr);
    std::string all;
    for (char32_t c = 0x20; c < 0x180; ++c) append_utf8(all, c);
    int widths[2] = {0, 0};
    std::thread a([&] { widths[0] = font->text_width(all); });
    std::thread b([&] { widths[1] = font->text_width(all); });
    a.join();
    b.join();
    EXPECT_EQ(widths[0], widths[1]);
    EXPECT_EQ(widths[0], font->text_width(all));
    EXPECT_EQ(&font->glyph(U'A'), &font->glyph(U'A'));
}
