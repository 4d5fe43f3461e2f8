// A small demo screen: a framed window with a caption, a text child, a field and a
// button, painted through paint messages and saved as /tmp/display-demo.png for a
// look by eye. The checks make sure the screen holds what the demo painted.
#include "platform/display/display.h"
#include "platform/display/headless.h"

#include <gtest/gtest.h>

using namespace sk::platform::display;

namespace {

struct Demo {
    WindowId frame = 0, text = 0, field = 0, button = 0;
};

void paint_demo(const Demo& d, const Message& m) {
    auto font = open_font(FontSpec{"MS Sans Serif", 8});
    auto fixed = open_font(FontSpec{"Fixedsys", 9});
    PaintSession s = begin_paint(m.window);
    Painter& p = s.painter();
    Rect c = client_rect(m.window);
    if (m.window == d.frame) {
        p.fill_rect(c, system_color(SystemColor::kButtonFace));
        p.draw_text(Rect{8, 140, c.right - 8, 160}, "&Location:", *font, system_color(SystemColor::kButtonText), kTextMnemonic);
    } else if (m.window == d.text) {
        p.fill_rect(c, system_color(SystemColor::kWindow));
        p.draw_edge(c, Edge::kSunken);
        Color ink = system_color(SystemColor::kWindowText);
        p.draw_text(Rect{6, 4, c.right - 6, 20}, "Sitekeeper keeps a list of web sites.", *font, ink);
        p.draw_text(Rect{6, 20, c.right - 6, 36}, "Caf\xC3\xA9 \x93quoted\x94 \xE2\x82\xAC 100 - \xC3\xA4\xC3\xB6\xC3\xBC", *font, ink);
        p.draw_text(Rect{6, 40, c.right - 6, 56}, "http://www.example.org/ [Fixedsys]", *fixed, ink);
        p.fill_rect(Rect{4, 62, c.right - 4, 62 + font->metrics().height + 2}, system_color(SystemColor::kHighlight));
        p.draw_text(Rect{6, 63, c.right - 6, 80}, "Highlighted row", *font, system_color(SystemColor::kHighlightText));
        p.draw_focus_rect(Rect{4, 62, c.right - 4, 62 + font->metrics().height + 2});
    } else if (m.window == d.field) {
        p.fill_rect(c, system_color(SystemColor::kWindow));
        p.draw_edge(c, Edge::kSunken);
        p.draw_text(Rect{4, 2, c.right - 4, c.bottom - 2}, "http://", *font, system_color(SystemColor::kWindowText), kTextVCenter);
    } else if (m.window == d.button) {
        p.fill_rect(c, system_color(SystemColor::kButtonFace));
        p.draw_edge(c, Edge::kRaised);
        p.draw_text(c, "OK", *font, system_color(SystemColor::kButtonText), kTextCenter | kTextVCenter);
    }
}

}  // namespace

TEST(Demo, ScreenOfAFramedWindowWithTextIsSaved) {
    ASSERT_TRUE(open_display(Backend::kHeadless, Size{400, 260}));
    Demo d;
    WindowSpec f;
    f.rect = Rect::from_size(20, 16, 360, 228);
    f.text = "Sitekeeper - demo";
    f.style = kStyleSizable | kStyleCaption | kStyleSysMenu | kStyleMinimizeBox | kStyleMaximizeBox;
    f.visible = true;
    d.frame = create_window(f);
    auto child = [&](Rect r, std::uint32_t id) {
        WindowSpec s;
        s.kind = WindowKind::kChild;
        s.parent = d.frame;
        s.rect = r;
        s.identifier = id;
        s.visible = true;
        return create_window(s);
    };
    d.text = child(Rect::from_size(8, 8, 336, 124), 0x4001);
    d.field = child(Rect::from_size(70, 136, 200, 21), 0x4002);
    d.button = child(Rect::from_size(276, 170, 68, 24), 0x4003);
    ASSERT_TRUE(set_active_window(d.frame));
    Message m;
    while (peek_message(m, true)) {
        if (m.code == kMsgPaint) paint_demo(d, m);
    }
    ASSERT_TRUE(headless::save_screenshot("/tmp/display-demo.png"));

    // The caption row shows the active colours (blue over most of its width), and the
    // text child holds dark ink on white.
    Surface screen = headless::screen_image();
    Rect outer = screen_rect(d.frame);
    int caption_y = client_to_screen(d.frame, Point{0, 0}).y - screen_metrics().caption_height / 2;
    int blue = 0;
    for (int x = outer.left; x < outer.right; ++x) {
        Color c = screen.pixel(x, caption_y);
        if (blue_of(c) > red_of(c) + 0x40) ++blue;
    }
    EXPECT_GT(blue, outer.width() / 2);
    Point origin = client_to_screen(d.text, Point{0, 0});
    int dark = 0;
    for (int y = origin.y + 4; y < origin.y + 20; ++y)
        for (int x = origin.x + 6; x < origin.x + 200; ++x)
            if (red_of(screen.pixel(x, y)) < 0x60) ++dark;
    EXPECT_GT(dark, 100);
    close_display();
}
