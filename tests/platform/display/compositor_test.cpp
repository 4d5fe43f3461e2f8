// The composed screen: z-order, clipping of children, retained images that only
// change where painted, the caret, and the screenshot file.
#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "platform/system_error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace sk::platform::display;

namespace {

constexpr Color kRed = rgb(0xFF, 0, 0);
constexpr Color kBlue = rgb(0, 0, 0xFF);
constexpr Color kGreen = rgb(0, 0xFF, 0);

class Compositor : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(open_display(Backend::kHeadless, Size{200, 150})); }
    void TearDown() override { close_display(); }

    static WindowId solid(WindowKind kind, WindowId parent, Rect r, Color c) {
        WindowSpec s;
        s.kind = kind;
        s.parent = parent;
        s.rect = r;
        s.visible = true;
        s.background = c;
        return create_window(s);
    }
    static void paint_all(Color over = 0) {
        Message m;
        while (peek_message(m, true)) {
            if (m.code != kMsgPaint) continue;
            PaintSession p = begin_paint(m.window);
            if (over) p.painter().fill_rect(p.rect(), over);
        }
    }
    static Color at(int x, int y) { return headless::screen_pixel(Point{x, y}); }
};

}  // namespace

TEST_F(Compositor, ZOrderDecidesWhichWindowShows) {
    Color desktop = system_color(SystemColor::kDesktop);
    WindowId a = solid(WindowKind::kTopLevel, 0, Rect::from_size(10, 10, 100, 80), kRed);
    WindowId b = solid(WindowKind::kTopLevel, 0, Rect::from_size(60, 40, 100, 80), kBlue);
    paint_all();
    EXPECT_EQ(at(5, 5), desktop);
    EXPECT_EQ(at(20, 20), kRed);
    EXPECT_EQ(at(80, 60), kBlue);  // the overlap shows the later window
    ASSERT_TRUE(bring_to_top(a));
    EXPECT_EQ(at(80, 60), kRed);
    EXPECT_EQ(at(150, 100), kBlue);
    // A popup stays above top-level windows, even when they are brought to the top later.
    WindowId popup = solid(WindowKind::kPopup, 0, Rect::from_size(70, 50, 20, 20), kGreen);
    ASSERT_TRUE(bring_to_top(b));
    EXPECT_EQ(at(75, 55), kGreen);
    ASSERT_TRUE(show_window(popup, false));
    EXPECT_EQ(at(75, 55), kBlue);
    ASSERT_TRUE(move_window(b, Rect::from_size(150, 100, 40, 40)));
    EXPECT_EQ(at(75, 55), kRed);
    EXPECT_EQ(at(140, 100), desktop);  // what b left is repainted
    ASSERT_TRUE(destroy_window(a));
    EXPECT_EQ(at(20, 20), desktop);
}

TEST_F(Compositor, ChildrenAreClippedToTheirParentsClientArea) {
    WindowSpec s;
    s.rect = Rect::from_size(20, 20, 100, 80);
    s.style = kStyleBorder;
    s.visible = true;
    s.background = kRed;
    WindowId parent = create_window(s);
    // Hangs over the parent's right and bottom edges.
    WindowId c = solid(WindowKind::kChild, parent, Rect::from_size(60, 50, 100, 100), kBlue);
    WindowId grandchild = solid(WindowKind::kChild, c, Rect::from_size(0, 0, 10, 10), kGreen);
    paint_all();
    EXPECT_EQ(at(21, 21), kRed);                       // the parent's client
    EXPECT_EQ(at(20, 20), rgb(0, 0, 0));               // its one-pixel border
    EXPECT_EQ(at(81 + 5, 71 + 5), kGreen);             // 20 + border + 60 + 5
    EXPECT_EQ(at(100, 90), kBlue);
    EXPECT_EQ(at(119, 90), rgb(0, 0, 0));              // the border covers the child
    EXPECT_EQ(at(125, 90), system_color(SystemColor::kDesktop));  // and nothing shows outside
    EXPECT_EQ(headless::window_at(Point{125, 90}), 0u);
    EXPECT_EQ(headless::window_at(Point{85, 75}), grandchild);
    ASSERT_TRUE(show_window(c, false));
    EXPECT_EQ(at(86, 76), kRed);  // hiding a child hides its children
}

TEST_F(Compositor, PaintingChangesOnlyTheInvalidArea) {
    WindowId w = solid(WindowKind::kTopLevel, 0, Rect::from_size(0, 0, 100, 100), kRed);
    paint_all();
    ASSERT_TRUE(invalidate_rect(w, Rect{10, 10, 20, 20}));
    EXPECT_EQ(invalid_rect(w), (Rect{10, 10, 20, 20}));
    paint_all(kBlue);  // fills the whole client area, but the session clips it
    EXPECT_EQ(at(15, 15), kBlue);
    EXPECT_EQ(at(25, 25), kRed);
    EXPECT_EQ(at(9, 9), kRed);
    EXPECT_TRUE(invalid_rect(w).is_empty());
    // Drawing outside a paint message works too, and leaves the invalid area alone.
    {
        PaintSession d = begin_draw(w, Rect{50, 50, 60, 60});
        d.painter().fill_rect(Rect{0, 0, 100, 100}, kGreen);
    }
    EXPECT_EQ(at(55, 55), kGreen);
    EXPECT_EQ(at(61, 61), kRed);
    // Growing the window invalidates only what is new; the retained image keeps the rest.
    ASSERT_TRUE(set_window_size(w, Size{150, 100}));
    EXPECT_EQ(invalid_rect(w), (Rect{100, 0, 150, 100}));
    EXPECT_EQ(at(55, 55), kGreen);
    EXPECT_EQ(window_image(w).width(), 150);
}

TEST_F(Compositor, TheCaretInvertsAndBlinksWithoutTouchingTheImage) {
    WindowId w = solid(WindowKind::kTopLevel, 0, Rect::from_size(0, 0, 100, 100), rgb(0xFF, 0xFF, 0xFF));
    paint_all();
    ASSERT_TRUE(create_caret(w, Size{2, 12}));
    ASSERT_TRUE(set_caret_position(Point{30, 40}));
    EXPECT_EQ(at(30, 40), rgb(0xFF, 0xFF, 0xFF));  // not shown yet
    ASSERT_TRUE(show_caret(true));
    EXPECT_EQ(at(30, 40), rgb(0, 0, 0));
    EXPECT_EQ(at(31, 51), rgb(0, 0, 0));
    EXPECT_EQ(at(32, 40), rgb(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(window_image(w).pixel(30, 40), rgb(0xFF, 0xFF, 0xFF));
    headless::advance_clock(static_cast<std::uint64_t>(screen_metrics().caret_blink_ms));
    EXPECT_EQ(at(30, 40), rgb(0xFF, 0xFF, 0xFF));  // the off phase
    headless::advance_clock(static_cast<std::uint64_t>(screen_metrics().caret_blink_ms));
    EXPECT_EQ(at(30, 40), rgb(0, 0, 0));
    ASSERT_TRUE(set_caret_position(Point{60, 40}));
    EXPECT_EQ(at(30, 40), rgb(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(at(60, 40), rgb(0, 0, 0));
    ASSERT_TRUE(destroy_caret());
    EXPECT_EQ(at(60, 40), rgb(0xFF, 0xFF, 0xFF));
}

TEST_F(Compositor, ScreenshotsAreWrittenAsPng) {
    solid(WindowKind::kTopLevel, 0, Rect::from_size(0, 0, 50, 50), kRed);
    std::string path = ::testing::TempDir() + "compositor_test.png";
    ASSERT_TRUE(headless::save_screenshot(path));
    std::ifstream in(path, std::ios::binary);
    char sig[8] = {};
    in.read(sig, 8);
    EXPECT_EQ(std::string(sig + 1, 3), "PNG");
    std::remove(path.c_str());
    EXPECT_FALSE(headless::save_screenshot("/nonexistent-dir/x.png"));
    EXPECT_NE(sk::platform::last_system_error(), 0);
}
