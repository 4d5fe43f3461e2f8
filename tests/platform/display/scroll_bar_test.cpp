// Scroll bars on the headless display: the room they take, the gestures on them and
// the repeat while a button is held; and moving and sizing windows with the mouse.
#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "platform/display/menu.h"
#include "platform/display/scroll_bar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

using namespace sk::platform::display;

namespace {

constexpr std::uint32_t kFramed = kStyleSizable | kStyleCaption | kStyleSysMenu | kStyleMinimizeBox | kStyleMaximizeBox;

class Bars : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(open_display(Backend::kHeadless, Size{640, 480}));
        WindowSpec s;
        s.rect = Rect::from_size(40, 30, 300, 200);
        s.text = "List";
        s.style = kFramed;
        s.visible = true;
        w = create_window(s);
        ASSERT_TRUE(set_active_window(w));
        drain();
    }
    void TearDown() override { close_display(); }

    static std::vector<Message> drain() {
        std::vector<Message> out;
        Message m;
        while (peek_message(m, true)) {
            if (m.code == kMsgPaint) begin_paint(m.window);
            else out.push_back(m);
        }
        return out;
    }
    static std::vector<Message> scrolls(const std::vector<Message>& all) {
        std::vector<Message> out;
        std::copy_if(all.begin(), all.end(), std::back_inserter(out), [](const Message& m) { return m.code == kMsgScroll; });
        return out;
    }
    // The vertical bar's rectangle on the screen (right of the client area).
    Rect vbar() const {
        Point c = client_to_screen(w, Point{0, 0});
        Rect cr = client_rect(w);
        return Rect{c.x + cr.width(), c.y, c.x + cr.width() + 16, c.y + cr.height()};
    }
    WindowId w = 0;
};

}  // namespace

TEST_F(Bars, ShowingBarsTakesTheirRoomFromTheClientArea) {
    Rect before = client_rect(w);
    ASSERT_TRUE(show_scroll_bar(w, ScrollBarKind::kVertical, true));
    auto got = drain();
    EXPECT_EQ(client_rect(w).width(), before.width() - 16);
    ASSERT_TRUE(std::any_of(got.begin(), got.end(), [&](const Message& m) {
        return m.code == kMsgSize && m.wparam == static_cast<std::uint64_t>(before.width() - 16);
    }));
    ASSERT_TRUE(show_scroll_bar(w, ScrollBarKind::kHorizontal, true));
    EXPECT_EQ(client_rect(w).height(), before.height() - 16);
    EXPECT_TRUE(scroll_bar_shown(w, ScrollBarKind::kHorizontal));
    ASSERT_TRUE(show_scroll_bar(w, ScrollBarKind::kVertical, false));
    ASSERT_TRUE(show_scroll_bar(w, ScrollBarKind::kHorizontal, false));
    EXPECT_EQ(client_rect(w), before);

    // Ranges and positions: the position stays inside, less a page at the end.
    EXPECT_FALSE(set_scroll_range(w, ScrollBarKind::kVertical, 10, 5));
    ASSERT_TRUE(set_scroll_range(w, ScrollBarKind::kVertical, 0, 99));
    ASSERT_TRUE(set_scroll_page(w, ScrollBarKind::kVertical, 10));
    ASSERT_TRUE(set_scroll_position(w, ScrollBarKind::kVertical, 500));
    EXPECT_EQ(scroll_position(w, ScrollBarKind::kVertical), 90);
    ASSERT_TRUE(set_scroll_position(w, ScrollBarKind::kVertical, -5));
    EXPECT_EQ(scroll_position(w, ScrollBarKind::kVertical), 0);
    // Extreme ranges neither overflow nor leave the range.
    ASSERT_TRUE(show_scroll_bar(w, ScrollBarKind::kVertical, true));
    ASSERT_TRUE(set_scroll_range(w, ScrollBarKind::kVertical, INT_MIN, INT_MAX));
    ASSERT_TRUE(set_scroll_page(w, ScrollBarKind::kVertical, INT_MAX));
    ASSERT_TRUE(set_scroll_position(w, ScrollBarKind::kVertical, INT_MAX));
    headless::screen_image();
    EXPECT_FALSE(set_scroll_page(w, ScrollBarKind::kVertical, -1));
}

TEST_F(Bars, ClicksScrollAndRepeatWhileHeld) {
    ASSERT_TRUE(show_scroll_bar(w, ScrollBarKind::kVertical, true));
    ASSERT_TRUE(set_scroll_range(w, ScrollBarKind::kVertical, 0, 100));
    ASSERT_TRUE(set_scroll_position(w, ScrollBarKind::kVertical, 50));
    drain();
    Rect b = vbar();
    Point up{b.left + 8, b.top + 8}, down{b.left + 8, b.bottom - 8};

    headless::click(up);
    auto got = scrolls(drain());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].wparam, kScrollLineUp);
    EXPECT_EQ(got[0].lparam, 50);
    EXPECT_EQ(got[0].flags, 1u);
    EXPECT_EQ(got[1].wparam, kScrollEndScroll);
    EXPECT_EQ(scroll_position(w, ScrollBarKind::kVertical), 50);  // the bar does not move itself

    // Held: the first repeat after 400 ms, then every 50 ms, until the release.
    headless::mouse_down(down);
    headless::advance_clock(399);
    EXPECT_EQ(scrolls(drain()).size(), 1u);
    headless::advance_clock(101);
    auto held = scrolls(drain());
    ASSERT_EQ(held.size(), 3u);
    EXPECT_EQ(held[2].wparam, kScrollLineDown);
    // Off the arrow the repeat pauses; back on, it goes on.
    headless::mouse_move(Point{b.left + 8, b.top + 60});
    headless::advance_clock(200);
    EXPECT_TRUE(scrolls(drain()).empty());
    headless::mouse_up(Point{b.left + 8, b.top + 60});
    EXPECT_EQ(scrolls(drain()).at(0).wparam, kScrollEndScroll);
    headless::advance_clock(500);
    EXPECT_TRUE(scrolls(drain()).empty());

    // The track below the thumb pages down, until the thumb reaches the mouse.
    Point track{b.left + 8, b.bottom - 24};
    headless::mouse_down(track);
    EXPECT_EQ(scrolls(drain()).at(0).wparam, kScrollPageDown);
    ASSERT_TRUE(set_scroll_position(w, ScrollBarKind::kVertical, 100));
    headless::advance_clock(600);
    EXPECT_TRUE(scrolls(drain()).empty());
    headless::mouse_up(track);
    drain();
}

TEST_F(Bars, DraggingTheThumbReportsPositions) {
    ASSERT_TRUE(show_scroll_bar(w, ScrollBarKind::kVertical, true));
    ASSERT_TRUE(set_scroll_range(w, ScrollBarKind::kVertical, 0, 100));
    drain();
    Rect b = vbar();
    int travel = b.height() - 3 * 16;  // two arrows and the square thumb
    Point thumb{b.left + 8, b.top + 16 + 8};
    headless::mouse_down(thumb);
    headless::mouse_move(Point{thumb.x, thumb.y + travel / 2});
    headless::mouse_move(Point{thumb.x, thumb.y + travel * 4});  // past the end: the last position
    headless::mouse_up(Point{thumb.x, thumb.y + travel * 4});
    auto got = scrolls(drain());
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].wparam, kScrollThumbTrack);
    EXPECT_NEAR(static_cast<double>(got[0].lparam), 50.0, 1.0);
    EXPECT_EQ(got[1].wparam, kScrollThumbTrack);
    EXPECT_EQ(got[1].lparam, 100);
    EXPECT_EQ(got[2].wparam, kScrollThumbPosition);
    EXPECT_EQ(got[2].lparam, 100);
    EXPECT_EQ(got[3].wparam, kScrollEndScroll);
    EXPECT_EQ(scroll_position(w, ScrollBarKind::kVertical), 0);

    ASSERT_TRUE(show_scroll_bar(w, ScrollBarKind::kHorizontal, true));
    ASSERT_TRUE(set_scroll_range(w, ScrollBarKind::kHorizontal, 0, 10));
    ASSERT_TRUE(set_scroll_page(w, ScrollBarKind::kHorizontal, 4));
    ASSERT_TRUE(set_scroll_position(w, ScrollBarKind::kVertical, 30));
    headless::save_screenshot("/tmp/display-scroll.png");
}

TEST_F(Bars, BordersSizeTheWindowWithTheMatchingCursor) {
    Rect s = screen_rect(w);
    headless::mouse_move(Point{s.right - 2, s.top + 100});
    EXPECT_EQ(current_cursor(), Cursor::kSizeWE);
    headless::mouse_move(Point{s.right - 2, s.bottom - 2});
    EXPECT_EQ(current_cursor(), Cursor::kSizeNWSE);
    headless::mouse_move(Point{s.left + 1, s.bottom - 5});
    EXPECT_EQ(current_cursor(), Cursor::kSizeNESW);
    headless::mouse_move(Point{s.left + 100, s.top + 1});
    EXPECT_EQ(current_cursor(), Cursor::kSizeNS);
    set_cursor(Cursor::kIBeam);
    headless::mouse_move(client_to_screen(w, Point{50, 50}));
    EXPECT_EQ(current_cursor(), Cursor::kIBeam);

    // The bottom-right corner drags both edges; the left edge stops at the smallest width.
    headless::mouse_down(Point{s.right - 2, s.bottom - 2});
    headless::mouse_move(Point{s.right + 28, s.bottom + 18});
    headless::mouse_up(Point{s.right + 28, s.bottom + 18});
    EXPECT_EQ(window_rect(w), Rect::from_size(40, 30, 330, 220));
    auto got = drain();
    EXPECT_TRUE(std::any_of(got.begin(), got.end(), [](const Message& m) { return m.code == kMsgSize; }));
    s = screen_rect(w);
    headless::mouse_down(Point{s.left + 1, s.top + 100});
    headless::mouse_move(Point{s.left + 1000, s.top + 100});
    headless::mouse_up(Point{s.left + 1000, s.top + 100});
    EXPECT_EQ(window_rect(w).right, 40 + 330);
    EXPECT_EQ(window_rect(w).width(), 120);

    // A double click on the caption maximises and restores.
    headless::advance_clock(1000);
    s = screen_rect(w);
    Point cap{s.left + 60, s.top + 10};
    headless::click(cap);
    headless::click(cap);
    EXPECT_EQ(size_state(w), kSizeMaximized);
    headless::advance_clock(1000);
    headless::click(Point{60, 10});
    headless::click(Point{60, 10});
    EXPECT_EQ(size_state(w), kSizeRestored);

    // Move from the system menu: arrows move, Enter ends, Escape would put it back.
    Rect before = window_rect(w);
    headless::press_key(kVkSpace, kModAlt);
    headless::press_key(kVkA + ('M' - 'A'));
    headless::press_key(kVkRight);
    headless::press_key(kVkRight);
    headless::press_key(kVkDown);
    headless::press_key(kVkReturn);
    EXPECT_EQ(window_rect(w), before.offset(16, 8));
    headless::press_key(kVkSpace, kModAlt);
    headless::press_key(kVkA + ('S' - 'A'));
    headless::press_key(kVkRight);
    headless::press_key(kVkEscape);
    EXPECT_EQ(window_rect(w), before.offset(16, 8));
}
