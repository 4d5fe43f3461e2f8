// Message boxes: the layout rules, answers by keyboard and mouse, the runtime's
// presenter, and a screenshot for a look by eye (/tmp/engine-message-box.png).
#include <atomic>

#include "engine_test_support.h"
#include "runtime/halt.h"
#include "ui/message_box.h"

namespace sk::ui {
namespace {

using test::EngineTest;
namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;

class MessageBoxTest : public EngineTest {
protected:
    std::shared_ptr<const pd::Font> font() {
        pd::FontSpec spec;
        spec.face = "MS Sans Serif";
        return pd::open_font(spec);
    }

    // Shows a box on a procedure thread; the test answers it from here.
    void show(std::string text, std::string caption, int buttons, int defaults, int style = 0) {
        answer = -1;
        start([=, this] { answer = message_box(text, caption, {}, buttons, defaults, style); });
        ASSERT_TRUE(wait_until([&] { return hl::find_window_by_text(caption) != 0; }));
        box = hl::find_window_by_text(caption);
    }
    int result() {
        EXPECT_TRUE(wait_for_threads());
        return answer;
    }
    pd::Point button_center(const std::string& caption) {
        const WindowId b = hl::find_window_by_text(caption);
        const pd::Rect r = pd::screen_rect(b);
        return pd::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    std::atomic<int> answer{-1};
    WindowId box = 0;
};

TEST_F(MessageBoxTest, ButtonsFollowTheTableAndTheDefaultRule) {
    auto f = font();
    ASSERT_TRUE(f);
    MessageBoxLayout ok = layout_message_box(*f, "Hello", 0, 0, false);
    ASSERT_EQ(ok.buttons.size(), 1u);
    EXPECT_EQ(ok.buttons[0].caption, "OK");

    MessageBoxLayout ai = layout_message_box(*f, "Exit?", kBoxAbort + kBoxIgnore, kBoxAbort, true);
    ASSERT_EQ(ai.buttons.size(), 2u);
    EXPECT_EQ(ai.buttons[0].caption, "&Abort");
    EXPECT_EQ(ai.buttons[1].caption, "&Ignore");
    EXPECT_EQ(ai.default_index, 0);
    EXPECT_LT(ai.buttons[0].rect.right, ai.buttons[1].rect.left);
    // Centred row.
    EXPECT_NEAR(ai.buttons[0].rect.left, ai.client.width - ai.buttons[1].rect.right, 1);

    MessageBoxLayout all = layout_message_box(*f, "x", 255, kBoxYes | kBoxCancel, false);
    ASSERT_EQ(all.buttons.size(), 8u);
    const char* order[] = {"OK", "&Yes", "&No", "&Abort", "&Retry", "&Ignore", "Cancel", "&Help"};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(all.buttons[i].caption, order[i]);
    EXPECT_EQ(all.default_index, 6);  // the last shown in the default set

    MessageBoxLayout none = layout_message_box(*f, "x", kBoxYes | kBoxNo, kBoxCancel, false);
    EXPECT_EQ(none.default_index, 0);

    EXPECT_EQ(button_value_of(6), kBoxYes);
    EXPECT_EQ(button_value_of(2), kBoxCancel);
    EXPECT_EQ(button_value_of(8), 0);
}

TEST_F(MessageBoxTest, LongTextWrapsAndGrowsInHeightNotWidth) {
    auto f = font();
    ASSERT_TRUE(f);
    std::string long_text, longer_text;
    for (int i = 0; i < 30; ++i) long_text += "word ";
    for (int i = 0; i < 90; ++i) longer_text += "word ";
    MessageBoxLayout a = layout_message_box(*f, long_text, 0, 0, true);
    MessageBoxLayout b = layout_message_box(*f, longer_text, 0, 0, true);
    EXPECT_LE(a.text.width(), 200 * a.unit_x / 4);
    EXPECT_EQ(a.client.width, b.client.width);
    EXPECT_GT(b.client.height, a.client.height);
    // The icon sits left of the text, centred on the text block.
    EXPECT_LT(a.icon.right, a.text.left);
    EXPECT_NEAR((a.icon.top + a.icon.bottom) / 2, (a.text.top + a.text.bottom) / 2, 1);
    // A short text keeps the minimum height of 45 units above the buttons.
    MessageBoxLayout s = layout_message_box(*f, "Hi", 0, 0, false);
    EXPECT_GE(s.buttons[0].rect.top, 45 * s.unit_y / 8);
}

TEST_F(MessageBoxTest, IconsByStyleAndBySystemName) {
    EXPECT_EQ(box_icon(kBoxIconStop, {}), BoxIcon::kStop);
    EXPECT_EQ(box_icon(kBoxIconInformation | kBoxSystemModal, {}), BoxIcon::kInformation);
    EXPECT_EQ(box_icon(kBoxIconNamed, std::string_view("\xFF\x01\x04\x7F", 4)), BoxIcon::kExclamation);
    EXPECT_EQ(box_icon(kBoxIconNamed, std::string_view("\xFF\x01\x03\x7F", 4)), BoxIcon::kQuestion);
    EXPECT_EQ(box_icon(kBoxIconNamed, "LINKDB.ICO"), BoxIcon::kNone);
    EXPECT_EQ(box_icon(0, {}), BoxIcon::kNone);
}

TEST_F(MessageBoxTest, EnterPressesTheDefaultAndTabMovesOn) {
    show("Delete this record?", "Confirm", kBoxYes | kBoxNo, kBoxNo, kBoxIconQuestion);
    ASSERT_TRUE(hl::save_screenshot("/tmp/engine-message-box.png"));
    hl::press_key(pd::kVkReturn);
    EXPECT_EQ(result(), kBoxNo);

    show("Delete this record?", "Confirm", kBoxYes | kBoxNo, kBoxNo);
    hl::press_key(pd::kVkTab);  // from No round to Yes
    hl::press_key(pd::kVkReturn);
    EXPECT_EQ(result(), kBoxYes);
}

TEST_F(MessageBoxTest, EscapeMnemonicsAndClicks) {
    show("Save changes?", "Escape", kBoxYes | kBoxNo | kBoxCancel, kBoxYes);
    hl::press_key(pd::kVkEscape);
    EXPECT_EQ(result(), kBoxCancel);

    show("Retry?", "Mnemonic", kBoxAbort | kBoxRetry | kBoxIgnore, kBoxAbort);
    hl::type_text("r");
    EXPECT_EQ(result(), kBoxRetry);

    show("Click", "Click", kBoxOk | kBoxCancel, kBoxOk);
    hl::click(button_center("Cancel"));
    EXPECT_EQ(result(), kBoxCancel);

    // Escape without Cancel does nothing; the close box answers 0 neither.
    show("No way out", "Stuck", kBoxYes | kBoxNo, kBoxYes);
    hl::press_key(pd::kVkEscape);
    settle();
    EXPECT_NE(hl::find_window_by_text("Stuck"), 0u);
    hl::press_key(pd::kVkReturn);
    EXPECT_EQ(result(), kBoxYes);
}

TEST_F(MessageBoxTest, OtherThreadsRunWhileABoxIsOpen) {
    show("Waiting", "Waiting", kBoxOk, kBoxOk);
    std::atomic<bool> ran{false};
    // The box's thread gave the lock up, so this thread holds it again and can run.
    EXPECT_TRUE(holds_lock());
    ran = true;
    hl::press_key(pd::kVkReturn);
    EXPECT_EQ(result(), kBoxOk);
    EXPECT_TRUE(ran.load());
}

TEST_F(MessageBoxTest, RuntimeStopAsksThroughTheBox) {
    install_message_presenter();
    std::atomic<bool> returned{false};
    start([&] {
        sk::rt::stop("Carry on?");
        returned = true;
    });
    ASSERT_TRUE(wait_until([] { return hl::find_window_by_text("Stop") != 0; }));
    EXPECT_NE(hl::find_window_by_text("&Abort"), 0u);
    hl::type_text("i");  // Ignore: the program goes on
    EXPECT_TRUE(wait_for_threads());
    EXPECT_TRUE(returned.load());
    sk::rt::set_message_presenter({});
}

// A log-off or shut-down while a window is shown is refused, and the user is told
// why in a box captioned with the program's file name; with no window it is allowed.
TEST_F(MessageBoxTest, EndingTheSessionIsRefusedWhileAWindowIsShown) {
    EXPECT_TRUE(pd::request_end_session());
    test::register_source("end-session-test", R"(
module "TEST$session"
window "PROC$SHOWN" {
  title "Still here"
  at 10 10 100 60
}
)");
    std::atomic<bool> done{false};
    start([&] {
        Window w(WindowType::kWindow, "TEST$session", "PROC$SHOWN");
        if (!w.open()) return;
        while (w.accept() && !done) {
        }
        if (w.is_open()) w.close();
    });
    ASSERT_TRUE(wait_until([] { return hl::find_window_by_text("Still here") != 0; }));
    EXPECT_FALSE(pd::request_end_session());
    ASSERT_TRUE(wait_until([] { return hl::find_window_by_text("test_ui_message_box_test") != 0; }));
    const WindowId refusal = hl::find_window_by_text("test_ui_message_box_test");
    ASSERT_TRUE(hl::save_screenshot("/tmp/engine-end-session.png"));
    hl::press_key(pd::kVkReturn);
    ASSERT_TRUE(wait_until([&] { return !pd::is_window(refusal); }));
    done = true;
    pd::Message close;
    close.code = pd::kMsgClose;
    close.window = hl::find_window_by_text("Still here");
    pd::post_message(close);
    EXPECT_TRUE(wait_for_threads());
}

}  // namespace
}  // namespace sk::ui
