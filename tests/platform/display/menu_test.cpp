// Menus on the headless display: the bar in the non-client area, clicking and typing
// through drop-downs and cascades, the system menu, and popup menus tracked on a
// thread of their own.
#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "platform/display/menu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace sk::platform::display;

namespace {

constexpr std::uint32_t kFramed = kStyleSizable | kStyleCaption | kStyleSysMenu | kStyleMinimizeBox | kStyleMaximizeBox;
enum : std::uint32_t { kAscii = 0x3FFE, kHtml = 0x3FFD, kSetup = 0x3FF9, kExit = 0x3FF8, kLocations = 0x3FF7, kAbout = 0x3FF3 };

Point centre(const Rect& r) {
    return Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class Menus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(open_display(Backend::kHeadless, Size{640, 480}));
        WindowSpec s;
        s.rect = Rect::from_size(20, 20, 400, 300);
        s.text = "Sitekeeper";
        s.style = kFramed;
        s.visible = true;
        frame = create_window(s);
        ASSERT_TRUE(set_active_window(frame));
        // "&File" with a cascade, a greyed entry and a separator; "&Browse"; a right-justified "&Help".
        import = create_menu();
        append_menu_entry(import, MenuEntry{kAscii, "from &ASCII", 0, 0});
        append_menu_entry(import, MenuEntry{kHtml, "from &HTML", 0, 0});
        file = create_menu();
        append_menu_entry(file, MenuEntry{0, "&Import", 0, import});
        append_menu_entry(file, MenuEntry{kSetup, "&Print Setup ...", kMenuGrayed, 0});
        append_menu_entry(file, MenuEntry{0, "", kMenuSeparator, 0});
        append_menu_entry(file, MenuEntry{kExit, "E&xit\tAlt+F4", 0, 0});
        MenuId browse = create_menu();
        append_menu_entry(browse, MenuEntry{kLocations, "Locations", kMenuChecked, 0});
        MenuId help = create_menu();
        append_menu_entry(help, MenuEntry{kAbout, "&About", 0, 0});
        bar = create_menu();
        append_menu_entry(bar, MenuEntry{0, "&File", 0, file});
        append_menu_entry(bar, MenuEntry{0, "&Browse", 0, browse});
        append_menu_entry(bar, MenuEntry{0, "&Help", kMenuRightJustify, help});
        ASSERT_TRUE(set_window_menu(frame, bar));
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
    static std::vector<Message> of(const std::vector<Message>& all, MessageCode code) {
        std::vector<Message> out;
        std::copy_if(all.begin(), all.end(), std::back_inserter(out), [&](const Message& m) { return m.code == code; });
        return out;
    }
    void click_entry(MenuId menu, int position, std::uint32_t button = kButtonLeft) {
        Rect r = open_menu_entry_rect(menu, position);
        ASSERT_FALSE(r.is_empty()) << "entry " << position << " is not shown";
        headless::click(centre(r), button);
    }

    WindowId frame = 0;
    MenuId bar = 0, file = 0, import = 0;
};

}  // namespace

TEST_F(Menus, BarTakesRowsFromTheClientAreaAndWrapsWhenNarrow) {
    // 4-pixel frame, 18-pixel caption and one 18-pixel row of menu.
    EXPECT_EQ(client_to_screen(frame, Point{0, 0}), (Point{24, 20 + 4 + 18 + 18}));
    EXPECT_EQ(client_rect(frame).height(), 300 - 8 - 18 - 18);
    Rect f = menu_bar_entry_rect(frame, 0), b = menu_bar_entry_rect(frame, 1), h = menu_bar_entry_rect(frame, 2);
    EXPECT_EQ(f.top, 20 + 4 + 18 + 1);
    EXPECT_LT(f.right, b.left + 1);
    EXPECT_EQ(h.right, 20 + 400 - 4);  // right-justified at the bar's end

    // Narrow: the entries no longer fit in one row; the client shrinks and is told.
    ASSERT_TRUE(set_window_size(frame, Size{120, 300}));
    std::vector<Message> got = drain();
    EXPECT_GT(menu_bar_entry_rect(frame, 2).top, menu_bar_entry_rect(frame, 0).top);
    int rows = (client_to_screen(frame, Point{0, 0}).y - (20 + 4 + 18)) / 18;
    EXPECT_GE(rows, 2);
    ASSERT_FALSE(of(got, kMsgSize).empty());
    EXPECT_EQ(of(got, kMsgSize).back().lparam, 300 - 8 - 18 - 18 * rows);

    // Detaching gives the rows back.
    ASSERT_TRUE(set_window_menu(frame, 0));
    EXPECT_EQ(client_to_screen(frame, Point{0, 0}).y, 20 + 4 + 18);
    EXPECT_TRUE(is_menu(bar));  // a detached menu is not destroyed
}

TEST_F(Menus, ClickingThroughTheBarChoosesACommand) {
    headless::click(centre(menu_bar_entry_rect(frame, 0)));
    EXPECT_TRUE(menu_tracking());
    ASSERT_EQ(open_menus(), std::vector<MenuId>{file});
    std::vector<Message> got = drain();
    ASSERT_FALSE(of(got, kMsgMenuSelect).empty());
    EXPECT_EQ(static_cast<MenuId>(of(got, kMsgMenuSelect).back().lparam), bar);

    // A greyed entry is not chosen; the menu stays.
    click_entry(file, 1);
    EXPECT_TRUE(menu_tracking());
    EXPECT_TRUE(of(drain(), kMsgCommand).empty());

    // Hovering over the submenu entry opens the cascade; a click there chooses.
    headless::mouse_move(centre(open_menu_entry_rect(file, 0)));
    ASSERT_EQ(open_menus(), (std::vector<MenuId>{file, import}));
    click_entry(import, 1);
    EXPECT_FALSE(menu_tracking());
    got = drain();
    ASSERT_EQ(of(got, kMsgCommand).size(), 1u);
    EXPECT_EQ(of(got, kMsgCommand)[0].wparam, kHtml);
    EXPECT_EQ(of(got, kMsgCommand)[0].window, frame);
    ASSERT_FALSE(of(got, kMsgMenuSelect).empty());
    EXPECT_EQ(of(got, kMsgMenuSelect).back().wparam, 0u);  // the menu closed
    EXPECT_TRUE(child_windows(0).size() == 1u);            // its popups are gone

    // Pressing on a title and releasing over an entry chooses in one gesture.
    headless::mouse_down(centre(menu_bar_entry_rect(frame, 0)));
    headless::mouse_move(centre(open_menu_entry_rect(file, 3)));
    headless::mouse_up(centre(open_menu_entry_rect(file, 3)));
    EXPECT_EQ(of(drain(), kMsgCommand).at(0).wparam, kExit);

    // Moving along the bar with a menu open switches menus; a click elsewhere dismisses
    // without reaching the window below.
    headless::click(centre(menu_bar_entry_rect(frame, 0)));
    headless::mouse_move(centre(menu_bar_entry_rect(frame, 1)));
    EXPECT_EQ(open_menus().size(), 1u);
    EXPECT_NE(open_menus()[0], file);
    drain();
    headless::click(client_to_screen(frame, Point{200, 200}));
    EXPECT_FALSE(menu_tracking());
    got = drain();
    EXPECT_TRUE(of(got, kMsgCommand).empty());
    EXPECT_TRUE(of(got, kMsgLButtonDown).empty());

    // A second click on the open title closes its menu.
    headless::click(centre(menu_bar_entry_rect(frame, 0)));
    headless::click(centre(menu_bar_entry_rect(frame, 0)));
    EXPECT_FALSE(menu_tracking());
}

TEST_F(Menus, KeyboardEntersTheBarAndWalksTheMenus) {
    // Alt alone highlights the first title; Down opens it; Down skips to the next entry.
    headless::press_key(kVkMenu);
    EXPECT_TRUE(menu_tracking());
    EXPECT_TRUE(open_menus().empty());
    headless::press_key(kVkDown);
    ASSERT_EQ(open_menus(), std::vector<MenuId>{file});
    // Right on the submenu entry opens the cascade with its first entry highlighted.
    headless::press_key(kVkRight);
    ASSERT_EQ(open_menus().size(), 2u);
    headless::press_key(kVkEscape);  // back one level
    EXPECT_EQ(open_menus().size(), 1u);
    headless::press_key(kVkRight);
    headless::press_key(kVkDown);
    drain();
    headless::press_key(kVkReturn);
    EXPECT_FALSE(menu_tracking());
    EXPECT_EQ(of(drain(), kMsgCommand).at(0).wparam, kHtml);

    // Alt+F opens File; its mnemonic X chooses Exit; keys meanwhile reach no window.
    headless::press_key(kVkA + ('F' - 'A'), kModAlt);
    ASSERT_EQ(open_menus(), std::vector<MenuId>{file});
    headless::type_text("x");
    headless::press_key(kVkA + ('X' - 'A'));
    std::vector<Message> got = drain();
    EXPECT_EQ(of(got, kMsgCommand).at(0).wparam, kExit);
    EXPECT_TRUE(of(got, kMsgChar).empty());

    // Left from File goes to the window's system menu, then wraps to the right-justified
    // Help; Right walks back the same way. Escape twice leaves.
    headless::press_key(kVkF10);
    headless::press_key(kVkReturn);
    headless::press_key(kVkLeft);
    EXPECT_EQ(open_menus(), std::vector<MenuId>{system_menu(frame)});
    headless::press_key(kVkLeft);
    ASSERT_EQ(open_menus().size(), 1u);
    MenuEntry help;
    ASSERT_TRUE(menu_entry(bar, 2, &help));
    EXPECT_EQ(open_menus()[0], help.submenu);
    headless::press_key(kVkRight);
    EXPECT_EQ(open_menus(), std::vector<MenuId>{system_menu(frame)});
    headless::press_key(kVkRight);
    EXPECT_EQ(open_menus(), std::vector<MenuId>{file});
    headless::press_key(kVkLeft);
    headless::press_key(kVkLeft);
    EXPECT_EQ(open_menus()[0], help.submenu);
    headless::press_key(kVkEscape);
    EXPECT_TRUE(menu_tracking());
    headless::press_key(kVkEscape);
    EXPECT_FALSE(menu_tracking());

    // Alt with a letter no title uses goes on to the window, for its own mnemonics.
    drain();
    headless::press_key(kVkA + ('Q' - 'A'), kModAlt);
    EXPECT_FALSE(menu_tracking());
    got = drain();
    auto downs = of(got, kMsgKeyDown);
    EXPECT_TRUE(std::any_of(downs.begin(), downs.end(), [](const Message& m) { return m.wparam == kVkA + ('Q' - 'A'); }));
}

TEST_F(Menus, SystemMenuSizesTheWindowAndReportsTheCommand) {
    headless::press_key(kVkSpace, kModAlt);
    MenuId sys = system_menu(frame);
    ASSERT_EQ(open_menus(), std::vector<MenuId>{sys});
    EXPECT_EQ(menu_entry_count(sys), 7);
    drain();
    headless::press_key(kVkA + ('X' - 'A'));  // Ma&ximize
    EXPECT_FALSE(menu_tracking());
    EXPECT_EQ(size_state(frame), kSizeMaximized);
    std::vector<Message> got = drain();
    ASSERT_EQ(of(got, kMsgSysCommand).size(), 1u);
    EXPECT_EQ(of(got, kMsgSysCommand)[0].wparam, kSysMaximize);

    // Restore from the menu opened by a click on the system box; Close only asks.
    Rect s = screen_rect(frame);
    headless::click(Point{s.left + 4 + 8, s.top + 4 + 8});
    ASSERT_EQ(open_menus(), std::vector<MenuId>{sys});
    click_entry(sys, 0);
    EXPECT_EQ(size_state(frame), kSizeRestored);
    headless::advance_clock(1000);
    s = screen_rect(frame);
    headless::click(Point{s.left + 4 + 8, s.top + 4 + 8});
    click_entry(sys, 6);
    got = drain();
    EXPECT_EQ(of(got, kMsgSysCommand).back().wparam, kSysClose);
    EXPECT_TRUE(is_window(frame));

    // A double click on the system box is a close request.
    headless::advance_clock(1000);
    headless::click(Point{s.left + 4 + 8, s.top + 4 + 8});
    headless::click(Point{s.left + 4 + 8, s.top + 4 + 8});
    EXPECT_EQ(of(drain(), kMsgClose).size(), 1u);
}

TEST_F(Menus, PopupMenuIsTrackedOnTheCallingThread) {
    MenuId popup = create_menu();
    append_menu_entry(popup, MenuEntry{1, "&Insert", 0, 0});
    append_menu_entry(popup, MenuEntry{2, "&Change", kMenuGrayed, 0});
    append_menu_entry(popup, MenuEntry{3, "&Delete", 0, 0});
    auto run = [&](auto input, bool right_button) {
        std::atomic<std::uint32_t> chosen{999};
        std::thread t([&] { chosen = track_popup_menu(popup, Point{300, 200}, frame, right_button); });
        for (int i = 0; i < 500 && !menu_tracking(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_TRUE(menu_tracking());
        input();
        t.join();
        return chosen.load();
    };
    EXPECT_EQ(run([&] { click_entry(popup, 2); }, false), 3u);
    EXPECT_EQ(run([&] { headless::press_key(kVkEscape); }, false), 0u);
    EXPECT_EQ(run([&] { headless::click(Point{5, 5}); }, false), 0u);
    EXPECT_EQ(run([&] { headless::press_key(kVkA + ('I' - 'A')); }, false), 1u);
    // The right button chooses only when asked for; a greyed entry never.
    EXPECT_EQ(run([&] { click_entry(popup, 0, kButtonRight); headless::press_key(kVkEscape); }, false), 0u);
    EXPECT_EQ(run([&] { click_entry(popup, 0, kButtonRight); }, true), 1u);
    EXPECT_EQ(run([&] { click_entry(popup, 1); headless::press_key(kVkDown); headless::press_key(kVkReturn); }, false), 3u);
    // Popups do not post commands: the caller gets the answer.
    EXPECT_TRUE(of(drain(), kMsgCommand).empty());
}

TEST_F(Menus, EntriesAreKeptSafelyAndGoWithTheirWindow) {
    MenuId holder = 0;
    EXPECT_EQ(find_menu_command(bar, kHtml, &holder), 1);
    EXPECT_EQ(holder, import);
    EXPECT_EQ(find_menu_command(bar, 12345, &holder), -1);
    // A menu cannot become its own submenu, directly or through others.
    EXPECT_FALSE(append_menu_entry(import, MenuEntry{0, "loop", 0, bar}));
    EXPECT_FALSE(append_menu_entry(import, MenuEntry{0, "self", 0, import}));
    EXPECT_FALSE(remove_menu_entry(file, 17));
    MenuEntry e;
    EXPECT_FALSE(menu_entry(file, -1, &e));
    // Removing the submenu entry destroys the submenu.
    ASSERT_TRUE(remove_menu_entry(file, 0));
    EXPECT_FALSE(is_menu(import));
    // Destroying the window destroys its bar and the bar's menus.
    ASSERT_TRUE(destroy_window(frame));
    EXPECT_FALSE(is_menu(bar));
    EXPECT_FALSE(is_menu(file));
}

TEST_F(Menus, ScreenshotOfAnOpenCascade) {
    headless::click(centre(menu_bar_entry_rect(frame, 0)));
    headless::mouse_move(centre(open_menu_entry_rect(file, 0)));
    headless::mouse_move(centre(open_menu_entry_rect(import, 0)));
    ASSERT_TRUE(headless::save_screenshot("/tmp/display-menu.png"));
    // The highlighted cascade entry is drawn in the highlight colour.
    Rect r = open_menu_entry_rect(import, 0);
    EXPECT_EQ(headless::screen_pixel(Point{r.left + 2, r.top + 2}), system_color(SystemColor::kHighlight));
    Rect grey = open_menu_entry_rect(file, 1);
    int grey_ink = 0;
    Surface screen = headless::screen_image();
    for (int y = grey.top; y < grey.bottom; ++y)
        for (int x = grey.left; x < grey.right; ++x)
            if (screen.pixel(x, y) == system_color(SystemColor::kGrayText)) ++grey_ink;
    EXPECT_GT(grey_ink, 10);
}

namespace {

std::vector<std::uint32_t> greyed_commands(MenuId menu) {
    std::vector<std::uint32_t> out;
    for (int i = 0; i < menu_entry_count(menu); ++i) {
        MenuEntry e;
        if (menu_entry(menu, i, &e) && (e.flags & kMenuGrayed)) out.push_back(e.identifier);
    }
    return out;
}

}  // namespace

TEST_F(Menus, SystemMenuIsGreyedForTheStateOfItsWindowEachTimeItOpens) {
    // Restored: only Restore is greyed.
    headless::press_key(kVkSpace, kModAlt);
    MenuId sys = system_menu(frame);
    ASSERT_EQ(open_menus(), std::vector<MenuId>{sys});
    EXPECT_EQ(greyed_commands(sys), std::vector<std::uint32_t>{kSysRestore});
    headless::press_key(kVkEscape);
    headless::press_key(kVkEscape);
    EXPECT_FALSE(menu_tracking());

    // Maximised by a call, with no size message handled: Move, Size and Maximize.
    ASSERT_TRUE(maximize_window(frame));
    headless::press_key(kVkSpace, kModAlt);
    EXPECT_EQ(greyed_commands(sys), (std::vector<std::uint32_t>{kSysMove, kSysSize, kSysMaximize}));
    // A greyed Move is not carried out: the menu stays and nothing is posted.
    drain();
    headless::press_key(kVkA + ('M' - 'A'));
    EXPECT_TRUE(menu_tracking());
    EXPECT_TRUE(of(drain(), kMsgSysCommand).empty());
    headless::press_key(kVkEscape);
    headless::press_key(kVkEscape);
    // Asked for while closed, the menu is greyed for the state of the moment too.
    ASSERT_TRUE(restore_window(frame));
    EXPECT_EQ(greyed_commands(system_menu(frame)), std::vector<std::uint32_t>{kSysRestore});
}

TEST_F(Menus, MnemonicsMatchLettersBeyondAsciiWhateverTheirCase) {
    MenuId edition = create_menu();
    append_menu_entry(edition, MenuEntry{101, "&\xC3\x96" "ffnen", 0, 0});          // Öffnen
    append_menu_entry(edition, MenuEntry{102, "&\xC3\xB1" "and\xC3\xBA", 0, 0});     // ñandú
    append_menu_entry(bar, MenuEntry{0, "&\xC3\x89" "dition", 0, edition});         // Édition
    ASSERT_TRUE(redraw_menu_bar(frame));

    // Alt held with a typed "é" opens Édition; releasing Alt keeps it open.
    headless::key_down(kVkMenu);
    headless::type_text("\xC3\xA9");
    headless::key_up(kVkMenu);
    ASSERT_EQ(open_menus(), std::vector<MenuId>{edition});
    // An upper case "Ñ" typed chooses the entry marked with a lower case one.
    drain();
    headless::type_text("\xC3\x91");
    EXPECT_FALSE(menu_tracking());
    std::vector<Message> got = drain();
    ASSERT_EQ(of(got, kMsgCommand).size(), 1u);
    EXPECT_EQ(of(got, kMsgCommand)[0].wparam, 102u);
    EXPECT_TRUE(of(got, kMsgChar).empty());

    // With the bar highlighted, typed text opens by mnemonic as keys do.
    headless::press_key(kVkF10);
    headless::type_text("b");
    ASSERT_EQ(open_menus().size(), 1u);
    MenuEntry browse;
    ASSERT_TRUE(menu_entry(bar, 1, &browse));
    EXPECT_EQ(open_menus()[0], browse.submenu);
    headless::press_key(kVkEscape);
    headless::press_key(kVkEscape);
    EXPECT_FALSE(menu_tracking());
}

TEST_F(Menus, TextOfAKeystrokeTheMenusTookIsNotTypedAndAltWithTextIsNoMenuKey) {
    // A key that chooses a command: the keystroke's text must not reach the window.
    headless::press_key(kVkA + ('F' - 'A'), kModAlt);
    ASSERT_EQ(open_menus(), std::vector<MenuId>{file});
    drain();
    headless::key_down(kVkA + ('X' - 'A'));
    headless::type_text("x");
    headless::key_up(kVkA + ('X' - 'A'));
    std::vector<Message> got = drain();
    EXPECT_EQ(of(got, kMsgCommand).size(), 1u);
    EXPECT_TRUE(of(got, kMsgChar).empty());
    // Text typed later is typed as usual.
    headless::type_text("y");
    EXPECT_EQ(of(drain(), kMsgChar).size(), 1u);

    // Alt with a character typed as text is a combination: releasing Alt enters no menu.
    headless::key_down(kVkMenu);
    headless::type_text("q");
    headless::key_up(kVkMenu);
    EXPECT_FALSE(menu_tracking());
    got = drain();
    ASSERT_EQ(of(got, kMsgChar).size(), 1u);
    EXPECT_EQ(of(got, kMsgChar)[0].wparam, static_cast<std::uint64_t>('q'));
}
