// Window management on the headless display: activation and focus following
// clicks, modal disabling, frames, input routing and window search.
#include "platform/display/display.h"
#include "platform/display/headless.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace sk::platform::display;

namespace {

constexpr std::uint32_t kFramed = kStyleSizable | kStyleCaption | kStyleSysMenu | kStyleMinimizeBox | kStyleMaximizeBox;

class Windows : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(open_display(Backend::kHeadless, Size{640, 480})); }
    void TearDown() override { close_display(); }

    static WindowId top(Rect r, std::string text, std::uint32_t style = kFramed) {
        WindowSpec s;
        s.rect = r;
        s.text = std::move(text);
        s.style = style;
        s.visible = true;
        return create_window(s);
    }
    static WindowId child(WindowId parent, Rect r, std::uint32_t id, std::uint32_t style = 0) {
        WindowSpec s;
        s.kind = WindowKind::kChild;
        s.parent = parent;
        s.rect = r;
        s.identifier = id;
        s.style = style;
        s.visible = true;
        return create_window(s);
    }
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
};

}  // namespace

TEST_F(Windows, ClicksActivateTopLevelWindowsAndFocusTheClickedChild) {
    WindowId a = top(Rect::from_size(10, 10, 200, 150), "A");
    WindowId b = top(Rect::from_size(300, 10, 200, 150), "B");
    WindowId edit_a = child(a, Rect::from_size(10, 10, 80, 20), 0x4001);
    WindowId edit_b = child(b, Rect::from_size(10, 10, 80, 20), 0x4002);
    WindowId label_b = child(b, Rect::from_size(10, 40, 80, 20), 0x4003, kStyleNoFocus);
    drain();

    headless::click(client_to_screen(edit_a, Point{5, 5}));
    EXPECT_EQ(active_window(), a);
    EXPECT_EQ(focus_window(), edit_a);
    std::vector<Message> got = drain();
    ASSERT_EQ(of(got, kMsgActivate).size(), 1u);
    EXPECT_EQ(of(got, kMsgActivate)[0].window, a);
    ASSERT_EQ(of(got, kMsgLButtonDown).size(), 1u);
    EXPECT_EQ(of(got, kMsgLButtonDown)[0].window, edit_a);
    EXPECT_EQ(of(got, kMsgLButtonDown)[0].pos, (Point{5, 5}));

    headless::click(client_to_screen(edit_b, Point{1, 1}));
    EXPECT_EQ(active_window(), b);
    EXPECT_EQ(focus_window(), edit_b);
    got = drain();
    auto activations = of(got, kMsgActivate);
    ASSERT_EQ(activations.size(), 2u);
    EXPECT_EQ(activations[0].window, a);
    EXPECT_EQ(activations[0].wparam, 0u);
    EXPECT_EQ(activations[1].window, b);
    auto kills = of(got, kMsgKillFocus);
    ASSERT_EQ(kills.size(), 1u);
    EXPECT_EQ(kills[0].window, edit_a);
    EXPECT_EQ(static_cast<WindowId>(kills[0].lparam), edit_b);
    EXPECT_EQ(child_windows(0).back(), b);  // activation brings b to the top

    // A window that does not take the focus gets the click but leaves the focus.
    headless::click(client_to_screen(label_b, Point{1, 1}));
    EXPECT_EQ(focus_window(), edit_b);
    EXPECT_EQ(of(drain(), kMsgLButtonDown).size(), 1u);

    // Activating a again by its caption gives the focus back to its child.
    Rect sa = screen_rect(a);
    headless::click(Point{sa.left + 40, sa.top + 10});
    EXPECT_EQ(active_window(), a);
    EXPECT_EQ(focus_window(), edit_a);
}

TEST_F(Windows, ModalDisablingKeepsClicksAwayFromTheDisabledWindow) {
    WindowId frame = top(Rect::from_size(10, 10, 300, 200), "Frame");
    WindowId field = child(frame, Rect::from_size(10, 10, 80, 20), 0x4001);
    WindowSpec spec;
    spec.rect = Rect::from_size(350, 50, 200, 120);
    spec.parent = frame;
    spec.style = kStyleDialogFrame | kStyleCaption | kStyleSysMenu;
    spec.text = "Dialog";
    spec.visible = true;
    WindowId dialog = create_window(spec);
    ASSERT_TRUE(enable_window(frame, false));
    ASSERT_TRUE(set_active_window(dialog));
    drain();
    std::uint64_t beeps = beep_count();

    headless::click(client_to_screen(field, Point{2, 2}));
    EXPECT_EQ(active_window(), dialog);
    EXPECT_NE(focus_window(), field);
    EXPECT_TRUE(of(drain(), kMsgLButtonDown).empty());
    EXPECT_EQ(beep_count(), beeps + 1);
    EXPECT_FALSE(set_focus(field));
    EXPECT_FALSE(set_active_window(frame));

    // Closing the dialog and re-enabling the frame gives activation back to the owner.
    ASSERT_TRUE(enable_window(frame, true));
    ASSERT_TRUE(destroy_window(dialog));
    EXPECT_EQ(active_window(), frame);
    headless::click(client_to_screen(field, Point{2, 2}));
    EXPECT_EQ(focus_window(), field);
}

TEST_F(Windows, DestroyingAndHidingHandFocusAndActivationOn) {
    WindowId a = top(Rect::from_size(10, 10, 200, 150), "A");
    WindowId b = top(Rect::from_size(100, 100, 200, 150), "B");
    WindowId inner = child(b, Rect::from_size(0, 0, 100, 100), 1);
    WindowId leaf = child(inner, Rect::from_size(5, 5, 20, 20), 2);
    ASSERT_TRUE(set_focus(leaf));
    EXPECT_EQ(active_window(), b);
    ASSERT_TRUE(set_capture(leaf));
    ASSERT_TRUE(destroy_window(leaf));
    EXPECT_EQ(focus_window(), inner);
    EXPECT_EQ(capture_window(), 0u);
    ASSERT_TRUE(show_window(b, false));
    EXPECT_EQ(active_window(), a);
    EXPECT_EQ(focus_window(), a);
    ASSERT_TRUE(destroy_window(b));
    EXPECT_FALSE(is_window(inner));  // children go with their parent
    ASSERT_TRUE(destroy_window(a));
    EXPECT_EQ(active_window(), 0u);
    EXPECT_EQ(focus_window(), 0u);
}

TEST_F(Windows, FrameButtonsAndCaptionDragActOnTheWindow) {
    WindowId w = top(Rect::from_size(50, 40, 240, 160), "Framed");
    Rect client = client_rect(w);
    // The sizing frame is 4 pixels, the caption 18.
    EXPECT_EQ(client, (Rect{0, 0, 232, 134}));
    EXPECT_EQ(client_to_screen(w, Point{0, 0}), (Point{54, 62}));
    drain();

    // Caption drag moves the window by the mouse's distance.
    headless::mouse_down(Point{120, 50});
    headless::mouse_move(Point{150, 80});
    headless::mouse_up(Point{150, 80});
    EXPECT_EQ(window_rect(w), Rect::from_size(80, 70, 240, 160));
    auto moves = of(drain(), kMsgMove);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back().pos, (Point{80, 70}));

    // The maximise box fills the screen and tells the window; pressing it again restores.
    Rect s = screen_rect(w);
    Point max_box{s.right - 4 - 2 - 16 - 2 - 8, s.top + 4 + 8};
    headless::click(max_box);
    EXPECT_EQ(size_state(w), kSizeMaximized);
    EXPECT_EQ(window_rect(w), (Rect{0, 0, 640, 480}));
    auto sizes = of(drain(), kMsgSize);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.back().flags, kSizeMaximized);
    EXPECT_EQ(sizes.back().wparam, 632u);
    headless::click(Point{640 - 4 - 2 - 16 - 2 - 8, 4 + 8});
    EXPECT_EQ(size_state(w), kSizeRestored);
    EXPECT_EQ(window_rect(w), Rect::from_size(80, 70, 240, 160));

    // The close box only asks; the window stays until its owner destroys it.
    s = screen_rect(w);
    headless::click(Point{s.right - 4 - 2 - 8, s.top + 4 + 8});
    EXPECT_EQ(of(drain(), kMsgClose).size(), 1u);
    EXPECT_TRUE(is_window(w));
    headless::press_key(kVkF1 + 3, kModAlt);
    EXPECT_EQ(of(drain(), kMsgClose).size(), 1u);
}

// A window with a minimise box but none to maximise (a form) shows the pair, the
// maximise box greyed; it and a double click on the caption leave the window as it
// is. Maximised all the same (by its program), the box restores it.
TEST_F(Windows, MaximiseBoxTheStyleLacksIsGreyedAndIgnored) {
    WindowId w = top(Rect::from_size(50, 40, 240, 160), "Form",
                     kStyleDialogFrame | kStyleCaption | kStyleSysMenu | kStyleMinimizeBox);
    drain();
    // Dialog frame 3, caption 17 high: boxes 16 by 13 from y 5, close at the right.
    const Rect max_box = Rect::from_size(50 + 201, 40 + 5, 16, 13), min_box = Rect::from_size(50 + 185, 40 + 5, 16, 13);
    const auto count = [](const Rect& r, Color c) {
        Surface screen = headless::screen_image();
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += screen.pixel(x, y) == c;
        return n;
    };
    const Color ink = system_color(SystemColor::kButtonText), grey = system_color(SystemColor::kGrayText);
    // Inside the boxes' raised edges: the glyphs.
    EXPECT_GT(count(min_box.inset(2, 2), ink), 0);
    EXPECT_EQ(count(max_box.inset(2, 2), ink), 0);
    EXPECT_GT(count(max_box.inset(2, 2), grey), 0);

    const Point max_centre{max_box.left + 8, max_box.top + 6};
    headless::click(max_centre);
    EXPECT_EQ(size_state(w), kSizeRestored);
    EXPECT_TRUE(of(drain(), kMsgSize).empty());
    headless::advance_clock(1000);
    headless::click(Point{120, 50});
    headless::click(Point{120, 50});
    EXPECT_EQ(size_state(w), kSizeRestored);
    EXPECT_EQ(window_rect(w), Rect::from_size(50, 40, 240, 160));

    ASSERT_TRUE(maximize_window(w));
    drain();
    headless::advance_clock(1000);
    headless::click(Point{640 - 31, 11});
    EXPECT_EQ(size_state(w), kSizeRestored);

    headless::click(Point{min_box.left + 8, min_box.top + 6});
    EXPECT_EQ(size_state(w), kSizeMinimized);
}

TEST_F(Windows, MouseAndKeyboardReachTheRightWindow) {
    WindowId w = top(Rect::from_size(0, 0, 300, 200), "Input", 0);
    WindowId list = child(w, Rect::from_size(10, 10, 100, 100), 7, kStyleDoubleClicks);
    WindowId other = child(w, Rect::from_size(150, 10, 100, 100), 8);
    drain();

    headless::click(Point{20, 20});
    headless::advance_clock(100);
    headless::click(Point{21, 21});
    headless::advance_clock(600);
    headless::click(Point{21, 21});
    auto got = drain();
    EXPECT_EQ(of(got, kMsgLButtonDown).size(), 2u);
    EXPECT_EQ(of(got, kMsgLButtonDblClk).size(), 1u);

    // While captured, moves outside still go to the capturing window, relative to it.
    ASSERT_TRUE(set_capture(list));
    headless::mouse_move(Point{200, 50});
    auto moves = of(drain(), kMsgMouseMove);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].window, list);
    EXPECT_EQ(moves[0].pos, (Point{190, 40}));
    release_capture();
    headless::mouse_move(Point{200, 51});
    got = drain();
    EXPECT_EQ(of(got, kMsgMouseMove).at(0).window, other);
    EXPECT_EQ(of(got, kMsgMouseLeave).at(0).window, list);

    headless::press_key(kVkInsert, kModShift);
    headless::type_text("a\xC3\xA9\x93");  // a, e-acute, and a stray byte shown as a quote
    got = drain();
    auto downs = of(got, kMsgKeyDown);
    ASSERT_EQ(downs.size(), 2u);  // Shift, then Insert
    EXPECT_EQ(downs[1].wparam, 0x2Du);
    EXPECT_EQ(downs[1].modifiers, kModShift);
    EXPECT_EQ(downs[1].window, list);
    auto chars = of(got, kMsgChar);
    ASSERT_EQ(chars.size(), 3u);
    EXPECT_EQ(chars[0].wparam, U'a');
    EXPECT_EQ(chars[1].wparam, 0xE9u);
    EXPECT_STREQ(chars[1].text, "\xC3\xA9");
    EXPECT_EQ(chars[2].wparam, 0x201Cu);
    headless::mouse_wheel(Point{200, 50}, -120);
    auto wheel = of(drain(), kMsgMouseWheel);
    ASSERT_EQ(wheel.size(), 1u);
    EXPECT_EQ(wheel[0].window, list);  // the wheel goes to the focus
    EXPECT_EQ(wheel[0].lparam, -120);
}

TEST_F(Windows, WindowsAreFoundByTextAndIdentifierAndKeepTheirData) {
    WindowId w = top(Rect::from_size(0, 0, 300, 200), "Sites");
    WindowId c = child(w, Rect::from_size(10, 10, 50, 20), 0x4005);
    ASSERT_TRUE(set_window_text(c, "OK"));
    ASSERT_TRUE(set_window_user_data(c, 1234));
    EXPECT_EQ(headless::find_window_by_text("Sites"), w);
    EXPECT_EQ(headless::find_window_by_text("OK"), c);
    EXPECT_EQ(headless::find_window_by_identifier(0x4005), c);
    EXPECT_EQ(headless::find_window_by_text("Nothing"), 0u);
    EXPECT_EQ(window_user_data(c), 1234u);
    EXPECT_EQ(parent_window(c), w);
    EXPECT_EQ(top_level_of(c), w);
    EXPECT_EQ(window_thread(c), std::this_thread::get_id());
    EXPECT_EQ(headless::window_at(client_to_screen(c, Point{1, 1})), c);
    ASSERT_TRUE(show_window(c, false));
    EXPECT_EQ(headless::window_at(client_to_screen(w, Point{11, 11})), w);
    EXPECT_FALSE(is_shown(c));
    set_clipboard_text("http://example.org/");
    EXPECT_EQ(clipboard_text(), "http://example.org/");
    EXPECT_EQ(create_window(WindowSpec{WindowKind::kChild, 9999, Rect{}, "", 0, 0, 0, false, 0}), 0u);
}
