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
    // A control inside parent; focusable unless style says otherwise.
    static WindowId control(WindowId parent, Rect r, std::uint32_t style = 0) {
        WindowSpec s;
        s.kind = WindowKind::kChild;
        s.parent = parent;
        s.rect = r;
        s.style = style;
        s.visible = true;
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

namespace {

Point caption_point(WindowId w) {
    Rect s = screen_rect(w);
    return Point{s.left + 40, s.top + 10};  // past the system box, before the caption buttons
}

std::vector<std::uint32_t> greyed_commands(MenuId menu) {
    std::vector<std::uint32_t> out;
    for (int i = 0; i < menu_entry_count(menu); ++i) {
        MenuEntry e;
        if (menu_entry(menu, i, &e) && (e.flags & kMenuGrayed)) out.push_back(e.identifier);
    }
    return out;
}

// The screen's pixels in r, row by row.
std::vector<Color> pixels(const Rect& r) {
    Surface s = headless::screen_image();
    std::vector<Color> out;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) out.push_back(s.pixel(x, y));
    return out;
}

// A sizing frame's caption buttons, on the screen: the minimise box and the maximise box.
Rect minimize_box(WindowId w) {
    Rect s = screen_rect(w);
    return Rect::from_size(s.right - 56, s.top + 6, 16, 13);
}
Rect maximize_box(WindowId w) {
    Rect s = screen_rect(w);
    return Rect::from_size(s.right - 40, s.top + 6, 16, 13);
}

}  // namespace

TEST_F(Mdi, ClickOnAnIconOpensItsSystemMenuADragMovesItADoubleClickRestores) {
    WindowId a = child("Browse Locations", Rect::from_size(10, 10, 200, 150));
    ASSERT_TRUE(minimize_window(a));
    Rect icon = window_rect(a);

    // A click without movement opens the system menu, greyed for a minimised window.
    headless::click(caption_point(a));
    MenuId sys = system_menu(a);
    ASSERT_EQ(open_menus(), std::vector<MenuId>{sys});
    EXPECT_EQ(greyed_commands(sys), (std::vector<std::uint32_t>{kSysSize, kSysMinimize}));
    EXPECT_EQ(window_rect(a), icon);
    headless::press_key(kVkEscape);
    EXPECT_FALSE(menu_tracking());

    // Pressing and dragging moves the icon, once past a few pixels' slack; no menu opens.
    headless::advance_clock(1000);
    Point p = caption_point(a);
    headless::mouse_down(p);
    headless::mouse_move(Point{p.x + 2, p.y - 1});
    EXPECT_EQ(window_rect(a), icon);
    headless::mouse_move(Point{p.x + 30, p.y - 20});
    headless::mouse_up(Point{p.x + 30, p.y - 20});
    EXPECT_FALSE(menu_tracking());
    EXPECT_EQ(window_rect(a), icon.offset(30, -20));
    EXPECT_EQ(size_state(a), kSizeMinimized);

    // A double click restores it; the menu its first click opened goes.
    headless::advance_clock(1000);
    headless::click(caption_point(a));
    EXPECT_TRUE(menu_tracking());
    headless::click(caption_point(a));
    EXPECT_FALSE(menu_tracking());
    EXPECT_EQ(size_state(a), kSizeRestored);
    EXPECT_EQ(window_rect(a), Rect::from_size(10, 10, 200, 150));

    // Two single clicks far apart in time only open and close the menu.
    ASSERT_TRUE(minimize_window(a));
    headless::advance_clock(1000);
    headless::click(caption_point(a));
    headless::advance_clock(1000);
    headless::click(caption_point(a));
    EXPECT_FALSE(menu_tracking());
    EXPECT_EQ(size_state(a), kSizeMinimized);
}

TEST_F(Mdi, MinimisedChildShowsTheRestoreGlyphOnItsMinimiseBox) {
    WindowId a = child("Browse Locations", Rect::from_size(10, 10, 200, 150));
    drain();
    std::vector<Color> minimize_glyph = pixels(minimize_box(a));
    ASSERT_TRUE(minimize_window(a));
    drain();
    std::vector<Color> icon_box = pixels(minimize_box(a));
    // The Restore glyph as a maximised window's maximise box shows it.
    WindowSpec s;
    s.rect = Rect::from_size(50, 50, 300, 200);
    s.text = "Other";
    s.style = kFramed;
    s.visible = true;
    WindowId other = create_window(s);
    ASSERT_TRUE(maximize_window(other));
    drain();
    std::vector<Color> restore_glyph = pixels(maximize_box(other));
    EXPECT_EQ(icon_box, restore_glyph);
    EXPECT_NE(icon_box, minimize_glyph);
}

TEST_F(Mdi, FocusLeavesTheControlsOfAMinimisedChildAndComesBackOnRestore) {
    WindowId a = child("Browse Locations", Rect::from_size(10, 10, 200, 150));
    WindowSpec s;
    s.kind = WindowKind::kChild;
    s.parent = a;
    s.rect = Rect::from_size(5, 5, 80, 20);
    s.visible = true;
    WindowId edit = create_window(s);
    ASSERT_TRUE(set_focus(edit));
    ASSERT_TRUE(minimize_window(a));
    EXPECT_FALSE(is_shown(edit));
    EXPECT_EQ(focus_window(), a);
    ASSERT_TRUE(restore_window(a));
    EXPECT_EQ(focus_window(), edit);

    // Maximising from the icon gives it back too; a control gone meanwhile leaves the
    // focus on the child.
    ASSERT_TRUE(minimize_window(a));
    ASSERT_TRUE(maximize_window(a));
    EXPECT_EQ(focus_window(), edit);
    ASSERT_TRUE(minimize_window(a));
    ASSERT_TRUE(destroy_window(edit));
    ASSERT_TRUE(restore_window(a));
    EXPECT_EQ(focus_window(), a);
}

TEST_F(Mdi, KeyboardWalkVisitsTheMaximisedChildsAndTheFramesSystemMenus) {
    WindowId a = child("Browse Locations", Rect::from_size(10, 10, 200, 150));
    ASSERT_TRUE(maximize_window(a));
    MenuEntry file;
    ASSERT_TRUE(menu_entry(window_menu(frame), 0, &file));
    MenuId child_sys = system_menu(a), frame_sys = system_menu(frame);

    headless::press_key(kVkF10);
    headless::press_key(kVkDown);
    ASSERT_EQ(open_menus(), std::vector<MenuId>{file.submenu});
    headless::press_key(kVkLeft);
    ASSERT_EQ(open_menus(), std::vector<MenuId>{child_sys});
    // A maximised child's Move, Size and Maximize are greyed, its Restore is not.
    EXPECT_EQ(greyed_commands(child_sys), (std::vector<std::uint32_t>{kSysMove, kSysSize, kSysMaximize}));
    headless::press_key(kVkLeft);
    EXPECT_EQ(open_menus(), std::vector<MenuId>{frame_sys});
    headless::press_key(kVkLeft);
    EXPECT_EQ(open_menus(), std::vector<MenuId>{file.submenu});
    headless::press_key(kVkRight);
    EXPECT_EQ(open_menus(), std::vector<MenuId>{frame_sys});
    headless::press_key(kVkRight);
    EXPECT_EQ(open_menus(), std::vector<MenuId>{child_sys});
    // Its Restore, chosen by mnemonic, restores the child.
    headless::press_key(kVkA + ('R' - 'A'));
    EXPECT_FALSE(menu_tracking());
    EXPECT_EQ(size_state(a), kSizeRestored);
}

TEST_F(Mdi, ActivationGivesTheFocusBackToTheChildsControl) {
    WindowId a = child("Browse Locations", Rect::from_size(10, 10, 200, 150));
    WindowId prompt = control(a, Rect::from_size(5, 5, 60, 20), kStyleNoFocus);
    WindowId list_a = control(a, Rect::from_size(5, 30, 150, 80));
    WindowId b = child("Browse Categories", Rect::from_size(60, 40, 200, 150));
    WindowId list_b = control(b, Rect::from_size(5, 30, 150, 80));
    ASSERT_TRUE(set_focus(list_b));
    // A child whose controls never had the focus gets its first one that can take it.
    ASSERT_TRUE(mdi_activate(a));
    EXPECT_EQ(focus_window(), list_a);
    ASSERT_TRUE(mdi_activate(b));
    EXPECT_EQ(focus_window(), list_b);

    // Activating another child while one is maximised hands the maximised state on,
    // and the focus still lands on the newly maximised child's control.
    ASSERT_TRUE(maximize_window(b));
    ASSERT_TRUE(mdi_activate(a));
    EXPECT_EQ(size_state(a), kSizeMaximized);
    EXPECT_EQ(focus_window(), list_a);
    headless::press_key(kVkF1 + 5, kModControl);  // Ctrl+F6
    EXPECT_EQ(mdi_active_child(client), b);
    EXPECT_EQ(size_state(b), kSizeMaximized);
    EXPECT_EQ(focus_window(), list_b);

    // A minimised child handed the maximised state gets its control back too.
    ASSERT_TRUE(restore_window(b));
    ASSERT_TRUE(minimize_window(a));
    ASSERT_TRUE(mdi_activate(b));
    ASSERT_TRUE(maximize_window(b));
    ASSERT_TRUE(mdi_activate(a));
    EXPECT_EQ(size_state(a), kSizeMaximized);
    EXPECT_EQ(focus_window(), list_a);
    (void)prompt;

    // The maximised child closing hands its state and the focus on to the next
    // child's control, not to the client.
    ASSERT_TRUE(destroy_window(a));
    EXPECT_EQ(mdi_active_child(client), b);
    EXPECT_EQ(size_state(b), kSizeMaximized);
    EXPECT_EQ(focus_window(), list_b);
}

TEST_F(Mdi, PressOnAnInactiveChildsControlMovesTheFocusOnce) {
    WindowId a = child("Browse Locations", Rect::from_size(10, 10, 200, 150));
    WindowId first_a = control(a, Rect::from_size(5, 5, 80, 20));
    WindowId second_a = control(a, Rect::from_size(5, 100, 80, 20));
    WindowId b = child("Browse Categories", Rect::from_size(250, 10, 200, 150));
    WindowId list_b = control(b, Rect::from_size(5, 30, 150, 80));
    ASSERT_TRUE(set_focus(first_a));
    ASSERT_TRUE(set_focus(list_b));
    drain();
    headless::click(client_to_screen(second_a, Point{3, 3}));
    EXPECT_EQ(mdi_active_child(client), a);
    EXPECT_EQ(focus_window(), second_a);
    std::vector<Message> got = drain();
    EXPECT_FALSE(std::any_of(got.begin(), got.end(), [&](const Message& m) {
        return m.window == first_a && (m.code == kMsgSetFocus || m.code == kMsgKillFocus);
    }));
}

TEST_F(Mdi, KeyboardWalkShowsWhichSystemMenuItStandsOn) {
    WindowId a = child("Browse Locations", Rect::from_size(10, 10, 200, 150));
    ASSERT_TRUE(maximize_window(a));
    drain();
    // The child's system box sits at the bar's left, before "&File"; the frame's in
    // its caption, under a sunken edge whose bottom row is white while it is the stop.
    Rect file = menu_bar_entry_rect(frame, 0);
    Point child_box{file.left - 17, file.top};
    Rect s = screen_rect(frame);
    Point frame_box_bottom{s.left + 5 + 8, s.top + 4 + 15};
    const Color menu = system_color(SystemColor::kMenu), white = system_color(SystemColor::kButtonHighlight);
    const Color caption = headless::screen_pixel(frame_box_bottom);
    ASSERT_NE(caption, white);
    ASSERT_EQ(headless::screen_pixel(child_box), menu);

    headless::press_key(kVkF10);
    EXPECT_EQ(headless::screen_pixel(Point{file.left + 2, file.top + 2}), system_color(SystemColor::kHighlight));
    headless::press_key(kVkLeft);
    EXPECT_TRUE(open_menus().empty());
    EXPECT_EQ(headless::screen_pixel(child_box), system_color(SystemColor::kHighlight));
    EXPECT_EQ(headless::screen_pixel(Point{file.left + 2, file.top + 2}), menu);
    EXPECT_EQ(headless::screen_pixel(frame_box_bottom), caption);
    headless::press_key(kVkLeft);
    EXPECT_TRUE(open_menus().empty());
    EXPECT_EQ(headless::screen_pixel(frame_box_bottom), white);
    EXPECT_EQ(headless::screen_pixel(child_box), menu);
    ASSERT_TRUE(headless::save_screenshot("/tmp/mdi-walk-frame-sysmenu.png"));
    // Dropped from there, the menu keeps the box pressed; leaving the bar releases it.
    headless::press_key(kVkDown);
    EXPECT_EQ(open_menus(), std::vector<MenuId>{system_menu(frame)});
    EXPECT_EQ(headless::screen_pixel(frame_box_bottom), white);
    headless::press_key(kVkEscape);
    headless::press_key(kVkEscape);
    EXPECT_FALSE(menu_tracking());
    EXPECT_EQ(headless::screen_pixel(frame_box_bottom), caption);
}
