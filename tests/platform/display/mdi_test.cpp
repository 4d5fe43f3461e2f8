// The MDI client on the headless display: child activation, the maximised child
// merged into the frame, icons, and the cascade and tile arrangements.
#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "platform/display/mdi.h"
#include "platform/display/menu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace sk::platform::display;

namespace {

constexpr std::uint32_t kFramed = kStyleSizable | kStyleCaption | kStyleSysMenu | kStyleMinimizeBox | kStyleMaximizeBox;

class Mdi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(open_display(Backend::kHeadless, Size{800, 600}));
        WindowSpec s;
        s.rect = Rect::from_size(10, 10, 600, 400);
        s.text = "Sitekeeper";
        s.style = kFramed;
        s.visible = true;
        frame = create_window(s);
        MenuId bar = create_menu(), file = create_menu();
        append_menu_entry(file, MenuEntry{1, "E&xit", 0, 0});
        append_menu_entry(bar, MenuEntry{0, "&File", 0, file});
        ASSERT_TRUE(set_window_menu(frame, bar));
        client = create_mdi_client(frame);
        ASSERT_NE(client, 0u);
        ASSERT_TRUE(set_active_window(frame));
        drain();
    }
    void TearDown() override { close_display(); }

    WindowId child(const char* text, Rect r) {
        WindowSpec s;
        s.kind = WindowKind::kChild;
        s.parent = client;
        s.rect = r;
        s.text = text;
        s.style = kFramed;
        s.visible = true;
        s.background = rgb(0xFF, 0xFF, 0xFF);
        return create_window(s);
    }
    static std::vector<Message> drain() {
        std::vector<Message> out;
        Message m;
        while (peek_message(m, true)) {
            if (m.code == kMsgPaint) {
                PaintSession p = begin_paint(m.window);
                p.painter().fill_rect(p.rect(), system_color(SystemColor::kWindow));
            } else {
                out.push_back(m);
            }
        }
        return out;
    }
    static std::vector<Message> activations(const std::vector<Message>& all, WindowId w) {
        std::vector<Message> out;
        std::copy_if(all.begin(), all.end(), std::back_inserter(out),
                     [&](const Message& m) { return m.code == kMsgActivate && m.window == w; });
        return out;
    }

    WindowId frame = 0, client = 0;
};

}  // namespace

TEST_F(Mdi, ClientFollowsTheFrameAndChildrenActivateInsideIt) {
    EXPECT_EQ(mdi_client_of(frame), client);
    EXPECT_TRUE(is_mdi_client(client));
    EXPECT_EQ(window_rect(client), client_rect(frame));
    EXPECT_EQ(create_mdi_client(frame), 0u);  // one per frame
    ASSERT_TRUE(set_window_size(frame, Size{640, 420}));
    EXPECT_EQ(window_rect(client), client_rect(frame));

    WindowId a = child("Browse Locations", Rect::from_size(10, 10, 200, 150));
    WindowId b = child("Browse Categories", Rect::from_size(60, 40, 200, 150));
    EXPECT_EQ(mdi_active_child(client), b);
    auto got = drain();
    ASSERT_FALSE(activations(got, a).empty());
    EXPECT_EQ(activations(got, a).back().wparam, 0u);
    EXPECT_EQ(activations(got, b).back().wparam, 1u);

    // A click inside a's visible part activates it and brings it to the top.
    headless::click(client_to_screen(a, Point{5, 5}));
    EXPECT_EQ(mdi_active_child(client), a);
    EXPECT_EQ(child_windows(client).back(), a);
    EXPECT_EQ(mdi_children(client), (std::vector<WindowId>{a, b}));
    // The active child's caption is drawn active, the other's inactive.
    Color active_caption = headless::screen_pixel(Point{screen_rect(a).left + 30, screen_rect(a).top + 8});
    Color inactive_caption = headless::screen_pixel(Point{screen_rect(b).right - 60, screen_rect(b).top + 8});
    EXPECT_GT(blue_of(active_caption), red_of(active_caption) + 0x40);
    EXPECT_EQ(red_of(inactive_caption), blue_of(inactive_caption));

    // Child frames size by their borders and move by their captions inside the client.
    Rect sa = screen_rect(a);
    headless::mouse_down(Point{sa.right - 2, sa.bottom - 2});
    headless::mouse_move(Point{sa.right + 18, sa.bottom + 8});
    headless::mouse_up(Point{sa.right + 18, sa.bottom + 8});
    EXPECT_EQ(window_rect(a), Rect::from_size(10, 10, 220, 160));
    headless::mouse_down(Point{sa.left + 40, sa.top + 10});
    headless::mouse_move(Point{sa.left + 50, sa.top + 15});
    headless::mouse_up(Point{sa.left + 50, sa.top + 15});
    EXPECT_EQ(window_rect(a), Rect::from_size(20, 15, 220, 160));

    // Ctrl+F6 goes to the next child; closing the active child activates the next one.
    headless::press_key(kVkF1 + 5, kModControl);
    EXPECT_EQ(mdi_active_child(client), b);
    headless::press_key(kVkF1 + 3, kModControl);
    got = drain();
    EXPECT_TRUE(std::any_of(got.begin(), got.end(), [&](const Message& m) { return m.code == kMsgClose && m.window == b; }));
    ASSERT_TRUE(destroy_window(b));
    EXPECT_EQ(mdi_active_child(client), a);
    EXPECT_EQ(mdi_children(client), std::vector<WindowId>{a});
}

TEST_F(Mdi, MaximisedChildMergesIntoTheFrame) {
    WindowId a = child("Browse Locations", Rect::from_size(10, 10, 200, 150));
    ASSERT_TRUE(maximize_window(a));
    EXPECT_EQ(displayed_caption(frame), "Sitekeeper - [Browse Locations]");
    EXPECT_EQ(window_text(frame), "Sitekeeper");
    // Only the child's client area shows, filling the MDI client.
    EXPECT_EQ(client_to_screen(a, Point{0, 0}), client_to_screen(client, Point{0, 0}));
    EXPECT_EQ(client_rect(a).width(), client_rect(client).width());

    // A child opened now opens maximised; the one before is restored behind it.
    WindowId b = child("Browse Categories", Rect::from_size(40, 40, 200, 150));
    EXPECT_EQ(size_state(b), kSizeMaximized);
    EXPECT_EQ(size_state(a), kSizeRestored);
    EXPECT_EQ(displayed_caption(frame), "Sitekeeper - [Browse Categories]");

    // The child's restore button sits at the right of the frame's menu bar.
    Rect fs = screen_rect(frame);
    Rect first = menu_bar_entry_rect(frame, 0);
    headless::click(Point{fs.right - 4 - 2 - 16 - 2 - 8, first.top + 8});
    EXPECT_EQ(size_state(b), kSizeRestored);
    EXPECT_EQ(displayed_caption(frame), "Sitekeeper");
    EXPECT_EQ(window_rect(b), Rect::from_size(40, 40, 200, 150));

    // Its close button asks the child to close.
    ASSERT_TRUE(maximize_window(b));
    drain();
    headless::click(Point{fs.right - 4 - 2 - 8, first.top + 8});
    auto got = drain();
    EXPECT_TRUE(std::any_of(got.begin(), got.end(), [&](const Message& m) { return m.code == kMsgClose && m.window == b; }));
    // Destroying the maximised child hands the maximised state on.
    ASSERT_TRUE(destroy_window(b));
    EXPECT_EQ(size_state(a), kSizeMaximized);
    EXPECT_EQ(displayed_caption(frame), "Sitekeeper - [Browse Locations]");
}

TEST_F(Mdi, ArrangementsCascadeTileAndLineUpIcons) {
    WindowId a = child("A", Rect::from_size(100, 100, 100, 80));
    WindowId b = child("B", Rect::from_size(120, 90, 100, 80));
    WindowId c = child("C", Rect::from_size(140, 80, 100, 80));
    Rect area = client_rect(client);

    ASSERT_TRUE(mdi_cascade(client));
    // Least recently active at the top-left, each further one a caption lower and right.
    EXPECT_EQ(window_rect(a).origin(), (Point{0, 0}));
    EXPECT_EQ(window_rect(b).origin(), (Point{22, 22}));
    EXPECT_EQ(window_rect(c).origin(), (Point{44, 44}));
    EXPECT_EQ(child_windows(client).back(), c);
    EXPECT_EQ(window_rect(c).right, area.width());

    ASSERT_TRUE(mdi_tile(client, false));  // side by side
    std::vector<Rect> cols{window_rect(c), window_rect(b), window_rect(a)};
    EXPECT_EQ(cols[0].left, 0);
    EXPECT_EQ(cols[2].right, area.width());
    for (const Rect& r : cols) EXPECT_EQ(r.height(), area.height());
    EXPECT_EQ(cols[0].right, cols[1].left);

    ASSERT_TRUE(mdi_tile(client, true));  // one above the other
    EXPECT_EQ(window_rect(c).top, 0);
    EXPECT_EQ(window_rect(a).bottom, area.height());
    EXPECT_EQ(window_rect(a).width(), area.width());

    // Minimised children become icons along the bottom; tiling leaves their row free.
    ASSERT_TRUE(minimize_window(a));
    ASSERT_TRUE(minimize_window(b));
    Rect ia = window_rect(a), ib = window_rect(b);
    EXPECT_EQ(ia.bottom, area.height());
    EXPECT_EQ(ia.left, 0);
    EXPECT_EQ(ib.left, 160);
    EXPECT_EQ(ib.top, ia.top);
    ASSERT_TRUE(mdi_tile(client, true));
    EXPECT_EQ(window_rect(c), (Rect{0, 0, area.width(), area.height() - ia.height()}));
    ASSERT_TRUE(move_window(a, Rect::from_size(300, 20, ia.width(), ia.height())));
    ASSERT_TRUE(mdi_arrange_icons(client));
    EXPECT_EQ(window_rect(b).left, 0);
    EXPECT_EQ(window_rect(a).left, 160);
    EXPECT_EQ(window_rect(a).bottom, area.height());
    ASSERT_TRUE(restore_window(a));
    EXPECT_EQ(window_rect(a).width(), area.width());  // back to where the horizontal tile put it

    // A child created hidden becomes active when shown; hiding it hands activation back.
    WindowSpec hidden;
    hidden.kind = WindowKind::kChild;
    hidden.parent = client;
    hidden.rect = Rect::from_size(5, 5, 120, 90);
    hidden.style = kFramed;
    WindowId d = create_window(hidden);
    EXPECT_EQ(mdi_active_child(client), c);
    drain();
    ASSERT_TRUE(show_window(d, true));
    EXPECT_EQ(mdi_active_child(client), d);
    auto got = drain();
    EXPECT_EQ(activations(got, d).at(0).wparam, 1u);
    ASSERT_TRUE(show_window(d, false));
    EXPECT_NE(mdi_active_child(client), d);

    EXPECT_FALSE(mdi_cascade(frame));  // not a client
    EXPECT_FALSE(mdi_activate(frame));
}

TEST_F(Mdi, ScreenshotOfAFrameWithChildren) {
    WindowId a = child("Browse Locations", Rect::from_size(10, 10, 260, 180));
    WindowId b = child("Browse Categories", Rect::from_size(120, 90, 260, 180));
    WindowId c = child("Read Me", Rect::from_size(0, 0, 200, 120));
    ASSERT_TRUE(minimize_window(c));
    ASSERT_TRUE(mdi_activate(b));
    drain();
    (void)a;
    ASSERT_TRUE(headless::save_screenshot("/tmp/display-mdi.png"));
    ASSERT_TRUE(maximize_window(b));
    drain();
    ASSERT_TRUE(headless::save_screenshot("/tmp/display-mdi-maximised.png"));
}
