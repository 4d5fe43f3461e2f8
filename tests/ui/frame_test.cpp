// The frame, menus, status bars and popup menus: menu bars built and tidied from
// definitions, command routing and standard actions, status zones, POPUP strings,
// MDI children on their own threads with the close-down and Suspend/Resume, and a
// screenshot of the application frame with a menu open (/tmp/engine-frame-menu.png).
#include <atomic>

#include "engine_test_support.h"
#include "platform/display/mdi.h"
#include "platform/display/menu.h"
#include "runtime/bind.h"
#include "runtime/halt.h"
#include "ui/engine.h"
#include "ui/frame.h"
#include "ui/popup.h"

namespace sk::ui {
namespace {

using test::EngineTest;
namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;

const char* kSource = R"(
module "TEST$frame"
window "PROC$MENUS" {
  title "Menus"
  font "MS Sans Serif" 8 -1 -1
  at 10 10 200 100
  status -1 80 120 45
  menubar {
    menu 0 "&Edit" {
      separator
      item -1 "&Cut"
      separator
      separator
      item -2 "&Copy" { msg "Copy it" }
      menu 0 "&More" { separator item -3 "&Deep" separator }
      item -4 "&Grey" { flags 0x40 }
      item -5 "C&heck" { bind 18 }
      item -6 "Cl&ose" { action 15 }
      separator
    }
  }
}
window "BIG$FRAME" {
  title "Big frame"
  font "MS Sans Serif" 8 -1 -1
  at default default 430 280
  frame 0x1820
}
window "CHILD$WINDOW" {
  title "Child"
  font "MS Sans Serif" 8 -1 -1
  at default default 120 60
  frame 0x3004
}
window "FORM$CHILD" {
  title "Form child"
  font "MS Sans Serif" 8 -1 -1
  at default default 120 60
  frame 0x3004
  button 1 { at 5 5 40 14 text "&One" }
  button 2 { at 5 25 40 14 text "&Two" }
}
window "MSG$CHILD" {
  title "Message child"
  font "MS Sans Serif" 8 -1 -1
  at default default 120 60
  frame 0x3004
  button 1 { at 5 5 40 14 text "&One" msg "Pressing one" }
}
window "ICON$FORM" {
  title "Icon form"
  font "MS Sans Serif" 8 -1 -1
  icon "WINPYR.ICO"
  at default default 120 60
  frame 0x3004
}
)";

std::vector<std::string> texts(pd::MenuId menu) {
    std::vector<std::string> out;
    for (int i = 0; i < pd::menu_entry_count(menu); ++i) {
        pd::MenuEntry e;
        pd::menu_entry(menu, i, &e);
        out.push_back((e.flags & pd::kMenuSeparator) ? "-" : e.text);
    }
    return out;
}

pd::MenuId submenu(pd::MenuId menu, int i) {
    pd::MenuEntry e;
    pd::menu_entry(menu, i, &e);
    return e.submenu;
}

struct FrameRun;
struct ChildRun;

class FrameTest : public EngineTest {
protected:
    // The frame started on its thread and open.
    static bool start_frame(FrameRun& run);
    // A child started on its thread and open.
    static bool start_child(ChildRun& run, const char* definition = "CHILD$WINDOW");
    // Closes the frame, its children first, and waits for every thread to end.
    static bool close_frame(FrameRun& run);

    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(initialise_engine());
        sk::rt::set_message_presenter({});
        static bool registered = false;
        if (!registered) test::register_source("frame-test", kSource);
        registered = true;
    }
};

TEST_F(FrameTest, MenuBarIsBuiltAndItsSeparatorsTidied) {
    Window w(WindowType::kWindow, "TEST$frame", "PROC$MENUS");
    ASSERT_TRUE(w.open());
    const pd::MenuId bar = pd::window_menu(w.handle());
    ASSERT_NE(bar, 0u);
    EXPECT_EQ(texts(bar), std::vector<std::string>{"&Edit"});
    const pd::MenuId edit = submenu(bar, 0);
    EXPECT_EQ(texts(edit), (std::vector<std::string>{"&Cut", "-", "&Copy", "&More", "&Grey", "C&heck", "Cl&ose"}));
    EXPECT_EQ(texts(submenu(edit, 3)), std::vector<std::string>{"&Deep"});
    pd::MenuEntry grey;
    pd::menu_entry(edit, 4, &grey);
    EXPECT_TRUE(grey.flags & pd::kMenuGrayed);
    EXPECT_EQ(grey.identifier, static_cast<std::uint32_t>(-4 + 0x4000));
    // The system menu of a window without size or maximise boxes keeps only what it can use.
    const std::vector<std::string> sys = texts(pd::system_menu(w.handle()));
    EXPECT_EQ(std::count(sys.begin(), sys.end(), "-"), 0);
    w.close();
}

TEST_F(FrameTest, MenuCommandsPostAcceptedTogglesChecksAndRunStandardActions) {
    Window w(WindowType::kWindow, "TEST$frame", "PROC$MENUS");
    ASSERT_TRUE(w.open());
    std::vector<std::pair<int, int>> got;
    while (w.accept()) {
        got.emplace_back(event(), field());
        if (got.size() > 20) break;
        if (event() == kEventOpenWindow) {
            command(w, -2);
            command(w, -5);
            command(w, -6);  // "Cl&ose" carries action 15: a close request
        }
    }
    if (w.is_open()) {
        EXPECT_TRUE(menu_item_checked(w, -5));
        w.close();
    }
    EXPECT_EQ(got, (std::vector<std::pair<int, int>>{
                       {kEventOpenWindow, 0}, {kEventAccepted, -2}, {kEventAccepted, -5}, {kEventCloseWindow, 0}}));
}

// A check item bound to a variable starts from its value and stores every toggle.
TEST_F(FrameTest, BoundCheckItemFollowsAndWritesItsVariable) {
    std::uint8_t on = 1;
    sk::rt::BoundVariable v = sk::rt::bound_byte(&on);
    void* bindings[] = {&v, nullptr};
    Window w(WindowType::kWindow, "TEST$frame", "PROC$MENUS", bindings);
    ASSERT_TRUE(w.open());
    EXPECT_EQ(w.menu_variable(-5), &v);
    EXPECT_EQ(w.menu_variable(-2), nullptr);
    EXPECT_TRUE(menu_item_checked(w, -5));
    std::vector<int> seen;
    while (w.accept()) {
        if (event() == kEventOpenWindow) {
            command(w, -5);
        } else if (event() == kEventAccepted && field() == -5) {
            seen.push_back(on);
            if (seen.size() == 1) command(w, -5);
            else break;
        }
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1}));
    EXPECT_TRUE(menu_item_checked(w, -5));
    w.close();

    // Without the entry (a list that ends first) the item just toggles its mark.
    Window bare(WindowType::kWindow, "TEST$frame", "PROC$MENUS");
    ASSERT_TRUE(bare.open());
    EXPECT_EQ(bare.menu_variable(-5), nullptr);
    EXPECT_FALSE(menu_item_checked(bare, -5));
    bare.close();
}

// Frames at the default position cascade, but never so far that they leave the
// screen: one that would not fit starts the cascade again.
TEST_F(FrameTest, DefaultPositionsCascadeOnlyWhileTheWindowFits) {
    const pd::ScreenMetrics screen = pd::screen_metrics();
    for (int i = 0; i < 4; ++i) {
        Window w(WindowType::kApplication, "TEST$frame", "BIG$FRAME");
        ASSERT_TRUE(w.open());
        const pd::Rect r = pd::window_rect(w.handle());
        EXPECT_LE(r.right, screen.width) << i;
        EXPECT_LE(r.bottom, screen.height) << i;
        EXPECT_GE(r.left, 0);
        w.close();
    }
}

TEST_F(FrameTest, StatusZonesShareTheSpareWidth) {
    UnitScale s;
    s.hmul = 12, s.vmul = 13, s.div = 8;  // 6-pixel characters: 1 unit = 1.5 pixels
    // (-1, 80, 120, 45): fixed zones 120+2, 180+2, 68+2 (67.5 rounds up), the first takes the rest.
    std::vector<int> a = layout_status_zones({-1, 80, 120, 45}, s, 600);
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[1], 122);
    EXPECT_EQ(a[2], 182);
    EXPECT_EQ(a[3], 70);
    EXPECT_EQ(kStatusMargin + a[0] + a[1] + a[2] + a[3], 600);
    std::vector<int> b = layout_status_zones({200, 25, 50, -1}, s, 700);
    EXPECT_EQ(b[0], 302);
    EXPECT_EQ(kStatusMargin + b[0] + b[1] + b[2] + b[3], 700);
    // Two stretchable zones share the rest, the first one getting the odd pixel.
    std::vector<int> c = layout_status_zones({-10, -10}, s, 2 + 17 + 17 + 5);
    EXPECT_EQ(c[0], 17 + 3);
    EXPECT_EQ(c[1], 17 + 2);
    // Narrower than the fixed zones: nothing to share.
    std::vector<int> d = layout_status_zones({-1, 80}, s, 50);
    EXPECT_EQ(d[0], 4);

    Window w(WindowType::kWindow, "TEST$frame", "PROC$MENUS");
    ASSERT_TRUE(w.open());
    StatusBar* bar = status_bar_of(w);
    ASSERT_NE(bar, nullptr);
    set_zone_text(w, 2, "Zone two");
    set_zone_text(w, 9, "ignored");
    EXPECT_EQ(bar->zones()[2].text, "Zone two");
    set_zone_text(w, 0, "Ready");
    w.show_message("Copy it");
    EXPECT_EQ(bar->first_zone_text(), "Copy it");
    w.show_message("");
    EXPECT_EQ(bar->first_zone_text(), "Ready");
    w.close();
}

TEST_F(FrameTest, PopupStringsAreNumberedAcrossLevels) {
    int count = 0;
    pd::MenuId m = build_popup_menu("&Insert|~&Change|&Delete", &count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(texts(m), (std::vector<std::string>{"&Insert", "&Change", "&Delete"}));
    pd::MenuEntry change;
    pd::menu_entry(m, 1, &change);
    EXPECT_TRUE(change.flags & pd::kMenuGrayed);
    EXPECT_EQ(change.identifier, 2u);
    pd::destroy_menu(m);

    m = build_popup_menu("a|-|Sub{b|~+c|More{d}}|~-e|f", &count);
    EXPECT_EQ(count, 6);  // a b c d e f
    EXPECT_EQ(texts(m), (std::vector<std::string>{"a", "-", "Sub", "e", "f"}));
    pd::MenuId sub = submenu(m, 2);
    EXPECT_EQ(texts(sub), (std::vector<std::string>{"b", "c", "More"}));
    pd::MenuEntry c;
    pd::menu_entry(sub, 1, &c);
    EXPECT_TRUE((c.flags & pd::kMenuChecked) && (c.flags & pd::kMenuGrayed));
    EXPECT_EQ(c.identifier, 3u);
    pd::MenuEntry e;
    pd::menu_entry(m, 3, &e);
    EXPECT_EQ(e.identifier, 5u);
    EXPECT_FALSE(e.flags & pd::kMenuChecked);
    pd::destroy_menu(m);

    // An unclosed submenu ends at the end of the string.
    m = build_popup_menu("x|Open{y|z", &count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(texts(submenu(m, 1)), (std::vector<std::string>{"y", "z"}));
    pd::destroy_menu(m);
}

TEST_F(FrameTest, PopupReturnsTheChosenItemOrZero) {
    std::atomic<int> chosen{-1};
    start([&] { chosen = popup("&Insert|~&Change|&Delete", pd::Point{200, 200}); });
    ASSERT_TRUE(wait_until([] { return pd::menu_tracking(); }));
    hl::press_key(pd::kVkEscape);
    ASSERT_TRUE(wait_for_threads());
    EXPECT_EQ(chosen.load(), 0);

    start([&] { chosen = popup("&Insert|~&Change|&Delete", pd::Point{200, 200}); });
    ASSERT_TRUE(wait_until([] { return pd::menu_tracking(); }));
    hl::press_key(pd::kVkA + ('D' - 'A'));  // the mnemonic of "&Delete"
    settle();
    if (pd::menu_tracking()) hl::press_key(pd::kVkReturn);
    ASSERT_TRUE(wait_for_threads());
    EXPECT_EQ(chosen.load(), 3);
}

// The application frame on a thread of its own, with MDI children on others.
struct FrameRun {
    std::atomic<bool> open{false};
    std::atomic<bool> done{false};
    std::atomic<int> mdi_on_frame_thread{0};
    std::vector<int> events;
    Window* frame = nullptr;
};

void run_frame(FrameRun& run) {
    Window frame(WindowType::kApplication, "LKDB32$lkdb3004", "MAIN$APPFRAME");
    if (!frame.open()) return;
    run.frame = &frame;
    run.open = true;
    Window wrong(WindowType::kMdiChild, "TEST$frame", "CHILD$WINDOW");
    if (!wrong.open()) run.mdi_on_frame_thread = sk::rt::error_code();
    while (frame.accept()) {
        run.events.push_back(event());
        if (run.events.size() > 100) break;
    }
    if (frame.is_open()) frame.close();
    run.frame = nullptr;
    run.done = true;
}

struct ChildRun {
    std::atomic<bool> open{false};
    std::atomic<bool> done{false};
    std::atomic<bool> refuse_close_down{false};
    std::vector<int> events;
    Window* window = nullptr;
};

void run_child(ChildRun& run, const char* definition = "CHILD$WINDOW") {
    Window w(WindowType::kMdiChild, "TEST$frame", definition);
    if (!w.open()) return;
    run.window = &w;
    run.open = true;
    while (w.accept()) {
        run.events.push_back(event());
        if (event() == kEventCloseDown && run.refuse_close_down) {
            run.refuse_close_down = false;
            w.cycle();
        }
        if (run.events.size() > 100) break;
    }
    if (w.is_open()) w.close();
    run.window = nullptr;
    run.done = true;
}

bool FrameTest::start_frame(FrameRun& run) {
    return start([&run] { run_frame(run); }) != 0 && wait_until([&run] { return run.open.load(); });
}

bool FrameTest::start_child(ChildRun& run, const char* definition) {
    return start([&run, definition] { run_child(run, definition); }) != 0 &&
           wait_until([&run] { return run.open.load(); });
}

bool FrameTest::close_frame(FrameRun& run) {
    run.frame->post(kEventCloseWindow);
    return wait_until([&run] { return run.done.load(); }, 8000) && wait_for_threads();
}

TEST_F(FrameTest, FrameOpensWithItsMenuAndClosesItsChildrenFirst) {
    FrameRun fr;
    ASSERT_TRUE(start_frame(fr));
    EXPECT_EQ(fr.mdi_on_frame_thread.load(), kErrorMdiOnAppThread);
    Window* frame = fr.frame;
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(application_frame(), frame);
    EXPECT_NE(frame->mdi_client(), 0u);
    const pd::MenuId bar = pd::window_menu(frame->handle());
    EXPECT_EQ(texts(bar), (std::vector<std::string>{"&File", "&Browse", "&Help"}));
    EXPECT_EQ(texts(submenu(bar, 0)), (std::vector<std::string>{"&Import", "&Export", "&Print Setup ...", "-", "E&xit"}));
    // A second frame is refused.
    Window second(WindowType::kApplication, "LKDB32$lkdb3004", "MAIN$APPFRAME");
    EXPECT_FALSE(second.open());
    EXPECT_EQ(sk::rt::error_code(), kErrorAppActive);

    ChildRun a, b;
    ASSERT_NE(start([&] { run_child(a); }), 0);
    ASSERT_NE(start([&] { run_child(b); }), 0);
    ASSERT_TRUE(wait_until([&] { return a.open && b.open; }));
    EXPECT_EQ(frame->children().size(), 2u);
    EXPECT_EQ(pd::mdi_children(frame->mdi_client()).size(), 2u);

    // The child shares the frame's menu until it changes an item.
    EXPECT_FALSE(has_private_menu(*a.window));
    EXPECT_TRUE(set_menu_item_enabled(*a.window, -10, false));
    EXPECT_TRUE(has_private_menu(*a.window));
    EXPECT_NE(menu_bar_of(*a.window), bar);

    // A menu choice goes to the frame as Accepted.
    command(*frame, -9);
    ASSERT_TRUE(wait_until([&] { return !fr.events.empty() && fr.events.back() == kEventAccepted; }));

    // Events switching between the children's threads suspend and resume them.
    a.window->post(kEventNotify);
    ASSERT_TRUE(wait_until([&] { return a.events.size() >= 2; }));
    b.window->post(kEventNotify);
    ASSERT_TRUE(wait_until([&] { return std::count(a.events.begin(), a.events.end(), kEventSuspend) == 1; }));
    a.window->post(kEventNotify);
    ASSERT_TRUE(wait_until([&] { return std::count(a.events.begin(), a.events.end(), kEventResume) == 1; }));

    // The first close-down is refused by a child: everything stays open.
    b.refuse_close_down = true;
    frame->post(kEventCloseWindow);
    ASSERT_TRUE(wait_until([&] { return std::count(b.events.begin(), b.events.end(), kEventCloseDown) == 1; }));
    settle();
    EXPECT_FALSE(fr.done.load());
    EXPECT_EQ(frame->close_down_state(), 0);
    EXPECT_TRUE(b.open.load());

    // Asked again, both children go and then the frame.
    frame->post(kEventCloseWindow);
    ASSERT_TRUE(wait_until([&] { return fr.done.load(); }, 8000));
    EXPECT_TRUE(a.done && b.done);
    EXPECT_EQ(a.events.back(), kEventCloseDown);
    EXPECT_NE(std::find(fr.events.begin(), fr.events.end(), kEventCloseWindow), fr.events.end());
    EXPECT_EQ(application_frame(), nullptr);
    EXPECT_TRUE(wait_for_threads());
}

TEST_F(FrameTest, ChildTakingOverTheMaximisedStateGetsItsControlsFocusBack) {
    FrameRun fr;
    ASSERT_TRUE(start_frame(fr));
    ChildRun a, b;
    ASSERT_TRUE(start_child(a, "FORM$CHILD"));
    settle();
    const WindowId two = a.window->control(2)->window();
    ASSERT_TRUE(pd::set_focus(two));
    ASSERT_TRUE(start_child(b, "FORM$CHILD"));
    settle();
    EXPECT_EQ(pd::focus_window(), b.window->control(1)->window());
    ASSERT_TRUE(pd::maximize_window(b.window->handle()));
    settle();

    hl::press_key(pd::kVkF1 + 5, pd::kModControl);  // Ctrl+F6: the other child
    settle();
    EXPECT_EQ(pd::mdi_active_child(fr.frame->mdi_client()), a.window->handle());
    EXPECT_EQ(pd::size_state(a.window->handle()), pd::kSizeMaximized);
    EXPECT_EQ(pd::focus_window(), two);
    EXPECT_EQ(a.window->focused_control(), a.window->control(2));

    EXPECT_TRUE(close_frame(fr));
}

TEST_F(FrameTest, ScreenshotOfTheFrameWithItsFileMenuOpen) {
    FrameRun fr;
    ASSERT_TRUE(start_frame(fr));
    ChildRun a;
    ASSERT_TRUE(start_child(a));
    Window* frame = fr.frame;
    set_zone_text(*frame, 0, "Ready");
    const pd::Rect r = pd::screen_rect(frame->handle());
    const pd::Point origin = pd::client_to_screen(frame->handle(), pd::Point{0, 0});
    // The menu bar sits right above the client area.
    hl::click(pd::Point{r.left + 18, origin.y - pd::screen_metrics().menu_bar_height / 2});
    settle();
    EXPECT_TRUE(pd::menu_tracking());
    ASSERT_TRUE(hl::save_screenshot("/tmp/engine-frame-menu.png"));
    hl::press_key(pd::kVkEscape);
    hl::press_key(pd::kVkEscape);
    settle();
    EXPECT_TRUE(close_frame(fr));
}


const std::vector<std::string> kFileMenu{"&Import", "&Export", "&Print Setup ...", "-", "E&xit"};

void press_alt(char letter) {
    hl::press_key(pd::kVkA + static_cast<std::uint32_t>(letter - 'A'), pd::kModAlt);
}

// A procedure's own modal window (the export window, a progress window) that closes
// hands the keyboard back: the frame is active again and Alt+F drops its File menu,
// with the frame alone and with a child whose control gets its focus back.
TEST_F(FrameTest, ClosingAModalWindowGivesTheKeyboardBackToTheFrame) {
    FrameRun fr;
    ASSERT_TRUE(start_frame(fr));
    const auto modal_then_menu = [&](const char* round) {
        std::atomic<Window*> modal{nullptr};
        std::atomic<bool> closed{false};
        ASSERT_NE(start([&] {
                      Window w(WindowType::kWindow, "TEST$frame", "ICON$FORM");
                      if (w.open()) {
                          while (w.accept())
                              if (event() == kEventOpenWindow) modal = &w;
                          if (w.is_open()) w.close();
                      }
                      modal = nullptr;
                      closed = true;
                  }),
                  0);
        ASSERT_TRUE(wait_until([&] { return modal.load() != nullptr || closed.load(); })) << round;
        ASSERT_NE(modal.load(), nullptr) << round;
        EXPECT_FALSE(pd::is_enabled(fr.frame->handle())) << round;
        modal.load()->request_close();
        ASSERT_TRUE(wait_until([&] { return closed.load(); })) << round;
        settle();
        EXPECT_EQ(pd::active_window(), fr.frame->handle()) << round;
        press_alt('F');
        settle();
        ASSERT_TRUE(pd::menu_tracking()) << round;
        ASSERT_FALSE(pd::open_menus().empty()) << round;
        EXPECT_EQ(texts(pd::open_menus().back()), kFileMenu) << round;
        hl::press_key(pd::kVkEscape);
        hl::press_key(pd::kVkEscape);
        settle();
        EXPECT_FALSE(pd::menu_tracking()) << round;
    };
    modal_then_menu("frame alone");

    ChildRun a;
    ASSERT_TRUE(start_child(a, "MSG$CHILD"));
    settle();
    const WindowId one = a.window->control(1)->window();
    EXPECT_EQ(pd::focus_window(), one);
    modal_then_menu("with a child");
    EXPECT_EQ(pd::focus_window(), one);

    EXPECT_TRUE(close_frame(fr));
}

// Highlighting an entry shows its message in the frame's first zone: a plain item
// its own, a submenu entry its menu's (with or without an identifier), an item
// inside a submenu the menu's as its default; the zone's text comes back when the
// menu closes. A child's private copy of the bar answers the same way.
TEST_F(FrameTest, HighlightedMenuEntriesShowTheirMessagesSubmenusIncluded) {
    FrameRun fr;
    ASSERT_TRUE(start_frame(fr));
    set_zone_text(*fr.frame, 0, "Ready");
    StatusBar* bar = status_bar_of(*fr.frame);
    ASSERT_NE(bar, nullptr);
    const std::string import_message = "Import URL information from various file type";
    const auto walk_file_menu = [&](const char* round) {
        press_alt('F');  // the menu drops with "&Import" highlighted
        settle();
        EXPECT_EQ(bar->first_zone_text(), import_message) << round;
        hl::press_key(pd::kVkDown);
        settle();
        EXPECT_EQ(bar->first_zone_text(), "Export to HTML") << round;
        hl::press_key(pd::kVkDown);
        settle();
        EXPECT_EQ(bar->first_zone_text(), "Setup printer") << round;
        hl::press_key(pd::kVkUp);
        hl::press_key(pd::kVkUp);
        hl::press_key(pd::kVkRight);  // into "&Import": "from &ASCII"
        settle();
        EXPECT_EQ(pd::open_menus().size(), 2u) << round;
        EXPECT_EQ(bar->first_zone_text(), import_message) << round;
        for (int i = 0; i < 3; ++i) hl::press_key(pd::kVkEscape);
        settle();
        EXPECT_FALSE(pd::menu_tracking()) << round;
        EXPECT_EQ(bar->first_zone_text(), "Ready") << round;
    };
    walk_file_menu("frame's bar");

    ChildRun a;
    ASSERT_TRUE(start_child(a));
    ASSERT_TRUE(set_menu_item_enabled(*a.window, -10, false));
    settle();
    ASSERT_EQ(pd::window_menu(fr.frame->handle()), menu_bar_of(*a.window));
    walk_file_menu("child's copy");

    EXPECT_TRUE(close_frame(fr));
}

// The first zone follows the active child: its focused control's message, and the
// zone's own text again for a child without one, whichever way it became active.
TEST_F(FrameTest, FirstZoneFollowsTheActiveChildAndFallsBackToItsOwnText) {
    FrameRun fr;
    ASSERT_TRUE(start_frame(fr));
    set_zone_text(*fr.frame, 0, "Ready");
    StatusBar* bar = status_bar_of(*fr.frame);
    ASSERT_NE(bar, nullptr);

    ChildRun a, b;
    ASSERT_TRUE(start_child(a, "MSG$CHILD"));
    settle();
    EXPECT_EQ(bar->first_zone_text(), "Pressing one");
    ASSERT_TRUE(start_child(b));  // no controls, no message
    settle();
    EXPECT_EQ(bar->first_zone_text(), "Ready");
    hl::press_key(pd::kVkF1 + 5, pd::kModControl);  // Ctrl+F6: back to the first child
    settle();
    ASSERT_EQ(pd::mdi_active_child(fr.frame->mdi_client()), a.window->handle());
    EXPECT_EQ(bar->first_zone_text(), "Pressing one");
    a.window->request_close();
    ASSERT_TRUE(wait_until([&] { return a.done.load(); }));
    settle();
    ASSERT_EQ(pd::mdi_active_child(fr.frame->mdi_client()), b.window->handle());
    EXPECT_EQ(bar->first_zone_text(), "Ready");

    EXPECT_TRUE(close_frame(fr));
}

// Only a definition with the maximize bit gives a window a working maximize box;
// a child of the frame may always be maximised.
TEST_F(FrameTest, OnlyChildrenAndWindowsThatAskForItGetAMaximizeBox) {
    const auto has_maximize_entry = [](WindowId w) {
        pd::MenuId holder = 0;
        return pd::find_menu_command(pd::system_menu(w), pd::kSysMaximize, &holder) >= 0;
    };
    Window form(WindowType::kWindow, "TEST$frame", "ICON$FORM");
    ASSERT_TRUE(form.open());
    EXPECT_TRUE(pd::window_style(form.handle()) & pd::kStyleMinimizeBox);
    EXPECT_FALSE(pd::window_style(form.handle()) & pd::kStyleMaximizeBox);
    EXPECT_FALSE(has_maximize_entry(form.handle()));
    form.close();

    FrameRun fr;
    ASSERT_TRUE(start_frame(fr));
    EXPECT_TRUE(pd::window_style(fr.frame->handle()) & pd::kStyleMaximizeBox);
    ChildRun a;
    ASSERT_TRUE(start_child(a));
    EXPECT_TRUE(pd::window_style(a.window->handle()) & pd::kStyleMaximizeBox);
    EXPECT_TRUE(has_maximize_entry(a.window->handle()));
    EXPECT_TRUE(close_frame(fr));
}

}  // namespace
}  // namespace sk::ui
