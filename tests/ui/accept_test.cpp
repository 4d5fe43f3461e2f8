// The ACCEPT loop and its dispatcher on the headless display: event order, the
// accept-all pass, selections, close requests, timers, alert keys, dialog keys,
// synchronous deliveries and the runtime errors of window statements.
#define SK_TEST_FAKE_CONTROLS
#include "engine_test_support.h"

namespace sk::ui {
namespace {

using test::EngineTest;
using test::FakeControl;
namespace hl = sk::platform::display::headless;
namespace pd = sk::platform::display;

pd::Point center(WindowId w) {
    const pd::Rect r = pd::screen_rect(w);
    return pd::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

const char* kSource = R"(
module "TEST$accept"
window "PROC$DIALOG" {
  title "Accept test"
  font "MS Sans Serif" 8 -1 -1
  at 10 10 200 100
  frame 0x3004
  button 1 { at 5 5 40 14 text "&One" }
  entry 2 { at 5 25 60 12 bind 18 }
  button 3 { at 5 45 40 14 text "&Three" }
  sheet 4 { at 100 5 90 80 tab 0 { at default default default default text "Page" } }
}
window "PROC$REFUSE" {
  title "Refuse"
  at 10 10 200 100
  button 1 { at 5 5 40 14 text "fine" }
  button 2 { at 5 25 40 14 text "refuse" }
  button 3 { at 5 45 40 14 text "fine" }
}
window "PROC$TIMER" {
  title "Timer"
  at 10 10 100 50
  timer 5
}
window "PROC$ALERT" {
  title "Alert"
  at 10 10 100 50
  alert 0x71
  button 1 { at 5 5 40 14 text "&One" }
}
)";

class AcceptTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        static bool registered = false;
        if (!registered) test::register_source("accept-test", kSource);
        registered = true;
    }
    char name[20] = {};
    void* bindings[2] = {name, nullptr};
};

// Runs the loop, calling react for each event and recording the event codes; the
// loop gives up after 200 events so that a fault cannot hang the test.
template <typename React>
std::vector<int> run(Window& w, React react) {
    std::vector<int> seen;
    while (w.accept()) {
        seen.push_back(event());
        if (seen.size() > 200) {
            w.close();
            break;
        }
        react(w);
    }
    if (w.is_open()) w.close();
    return seen;
}

TEST_F(AcceptTest, FirstEventIsOpenWindowAndCloseRequestEndsTheLoop) {
    Window w(WindowType::kWindow, "TEST$accept", "PROC$DIALOG", bindings);
    EXPECT_EQ(event(), 0);
    ASSERT_TRUE(w.open());
    EXPECT_EQ(w.event(), 0);  // nothing delivered yet
    EXPECT_EQ(modal_count(), 1);
    std::vector<int> seen = run(w, [](Window& win) {
        if (event() == kEventOpenWindow) win.post(kEventCloseWindow);
    });
    EXPECT_EQ(seen, (std::vector<int>{kEventOpenWindow, kEventCloseWindow}));
    EXPECT_FALSE(w.is_open());
    EXPECT_EQ(modal_count(), 0);
    EXPECT_EQ(top_window(), nullptr);
}

TEST_F(AcceptTest, PostedEventsArriveInOrderWithTheirFields) {
    Window w(WindowType::kWindow, "TEST$accept", "PROC$DIALOG", bindings);
    ASSERT_TRUE(w.open());
    std::vector<std::pair<int, int>> got;
    run(w, [&](Window& win) {
        got.emplace_back(event(), field());
        if (event() == kEventOpenWindow) {
            post(kEventAccepted, 3);
            post(kEventNewSelection, 1);
            post(kEventCloseWindow);
        }
        if (event() == kEventAccepted) {
            EXPECT_EQ(accepted(), 3);
        }
        if (event() == kEventNewSelection) {
            EXPECT_EQ(accepted(), 0);
        }
        (void)win;
    });
    EXPECT_EQ(got, (std::vector<std::pair<int, int>>{
                       {kEventOpenWindow, 0}, {kEventAccepted, 3}, {kEventNewSelection, 1}, {kEventCloseWindow, 0}}));
}

TEST_F(AcceptTest, CycledCloseRequestKeepsTheWindowOpen) {
    Window w(WindowType::kWindow, "TEST$accept", "PROC$DIALOG", bindings);
    ASSERT_TRUE(w.open());
    int closes = 0;
    std::vector<int> seen = run(w, [&](Window& win) {
        if (event() == kEventOpenWindow) win.post(kEventCloseWindow);
        if (event() == kEventCloseWindow && ++closes == 1) {
            win.cycle();
            win.post(kEventCloseWindow);
        }
    });
    EXPECT_EQ(seen, (std::vector<int>{kEventOpenWindow, kEventCloseWindow, kEventCloseWindow}));
}

TEST_F(AcceptTest, ClosingWithQueuedEventsFreesThemUndelivered) {
    Window w(WindowType::kWindow, "TEST$accept", "PROC$DIALOG", bindings);
    ASSERT_TRUE(w.open());
    std::vector<int> seen = run(w, [&](Window& win) {
        if (event() == kEventOpenWindow) {
            for (int i = 0; i < 5; ++i) win.post(kEventAccepted, 1);
            win.close();
        }
    });
    EXPECT_EQ(seen, std::vector<int>{kEventOpenWindow});
    EXPECT_EQ(records_in_flight(), 0u);
    EXPECT_EQ(w.queued_events(), 0u);
}

TEST_F(AcceptTest, AcceptAllPassAcceptsEveryControlThenCompletesOnce) {
    Window w(WindowType::kWindow, "TEST$accept", "PROC$DIALOG", bindings);
    ASSERT_TRUE(w.open());
    std::vector<std::pair<int, int>> got;
    run(w, [&](Window& win) {
        got.emplace_back(event(), field());
        if (event() == kEventOpenWindow) select();
        if (event() == kEventCompleted) win.post(kEventCloseWindow);
    });
    // Field order, every control (the tab's record has no field and is not asked).
    EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{kEventOpenWindow, 0},
                                                     {kEventAccepted, 1},
                                                     {kEventAccepted, 2},
                                                     {kEventAccepted, 3},
                                                     {kEventAccepted, 4},
                                                     {kEventCompleted, 0},
                                                     {kEventCloseWindow, 0}}));
}

TEST_F(AcceptTest, AcceptAllStopsAtARefusingControlAndSelectsIt) {
    Window w(WindowType::kWindow, "TEST$accept", "PROC$REFUSE");
    ASSERT_TRUE(w.open());
    std::vector<std::pair<int, int>> got;
    run(w, [&](Window& win) {
        got.emplace_back(event(), field());
        if (event() == kEventOpenWindow) win.set_property(0, kPropAcceptAll, "1");
        if (event() == kEventSelected) win.post(kEventCloseWindow);
    });
    EXPECT_EQ(got, (std::vector<std::pair<int, int>>{
                       {kEventOpenWindow, 0}, {kEventAccepted, 1}, {kEventSelected, 2}, {kEventCloseWindow, 0}}));
    EXPECT_EQ(w.selected_field(), 2);
}

TEST_F(AcceptTest, OvertakenSelectionIsNeverSeen) {
    Window w(WindowType::kWindow, "TEST$accept", "PROC$DIALOG", bindings);
    ASSERT_TRUE(w.open());
    std::vector<std::pair<int, int>> got;
    run(w, [&](Window& win) {
        got.emplace_back(event(), field());
        if (event() == kEventOpenWindow) {
            select(1);
            select(3);
            win.post(kEventCloseWindow);
        }
        if (event() == kEventCloseWindow) {
            // The selection's default action moved the focus after the loop body.
            EXPECT_EQ(pd::focus_window(), win.control(3)->window());
        }
    });
    EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{kEventOpenWindow, 0}, {kEventSelected, 3}, {kEventCloseWindow, 0}}));
    EXPECT_EQ(w.selected_field(), 3);
}

TEST_F(AcceptTest, TimerTicksArriveAsTimerEvents) {
    Window w(WindowType::kWindow, "TEST$accept", "PROC$TIMER");
    ASSERT_TRUE(w.open());
    int ticks = 0;
    run(w, [&](Window& win) {
        if (event() == kEventOpenWindow || event() == kEventTimer) {
            if (event() == kEventTimer && ++ticks == 3) {
                win.post(kEventCloseWindow);
                return;
            }
            hl::advance_clock(50);
        }
    });
    EXPECT_EQ(ticks, 3);
}

TEST_F(AcceptTest, AlertKeyRaisesPreAlertAndThenAlertKeyUnlessCycled) {
    Window w(WindowType::kWindow, "TEST$accept", "PROC$ALERT");
    ASSERT_TRUE(w.open());
    std::vector<std::pair<int, std::uint32_t>> got;
    int prealerts = 0;
    run(w, [&](Window& win) {
        got.emplace_back(event(), keycode());
        if (event() == kEventOpenWindow) hl::press_key(0x71);
        if (event() == kEventPreAlert && ++prealerts == 2) win.cycle();  // the second time: hand the key back
        if (event() == kEventAlertKey) hl::press_key(0x71);
        if (prealerts == 2 && event() == kEventPreAlert) win.post(kEventCloseWindow);
    });
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got[1], (std::pair<int, std::uint32_t>{kEventPreAlert, 0x71}));
    EXPECT_EQ(got[2], (std::pair<int, std::uint32_t>{kEventAlertKey, 0x71}));
    EXPECT_EQ(got[3].first, kEventPreAlert);
    EXPECT_EQ(got.back().first, kEventCloseWindow);
    EXPECT_EQ(std::count_if(got.begin(), got.end(), [](auto& p) { return p.first == kEventAlertKey; }), 1);
}

TEST_F(AcceptTest, DialogKeysMoveFocusPressButtonsAndCancel) {
    Window w(WindowType::kWindow, "TEST$accept", "PROC$DIALOG", bindings);
    ASSERT_TRUE(w.open());
    std::vector<std::pair<int, int>> got;
    WindowId focus_at_press = 0, button3 = 0;
    run(w, [&](Window& win) {
        got.emplace_back(event(), field());
        if (event() == kEventOpenWindow) {
            hl::press_key(pd::kVkTab);                        // button 1 -> entry 2
            hl::press_key(pd::kVkTab);                        // -> button 3
            hl::press_key(pd::kVkTab, pd::kModShift);            // back to the entry
            hl::press_key(pd::kVkTab);                        // -> button 3
            hl::press_key(pd::kVkReturn);                     // presses button 3
        }
        if (event() == kEventAccepted) {
            focus_at_press = pd::focus_window();
            button3 = win.control(3)->window();
            hl::press_key(pd::kVkEscape);
        }
    });
    EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{kEventOpenWindow, 0}, {kEventAccepted, 3}, {kEventCloseWindow, 0}}));
    EXPECT_EQ(focus_at_press, button3);
}

TEST_F(AcceptTest, ControlAsksTheProcedureSynchronously) {
    Window w(WindowType::kWindow, "TEST$accept", "PROC$DIALOG", bindings);
    ASSERT_TRUE(w.open());
    std::vector<int> seen;
    int changing = 0;
    run(w, [&](Window& win) {
        seen.push_back(event());
        FakeControl* sheet = static_cast<FakeControl*>(win.control(4));
        const pd::Point at = center(sheet->window());
        if (event() == kEventOpenWindow) hl::click(at);
        if (event() == kEventTabChanging) {
            EXPECT_EQ(modal_count(), 2);  // the window's own, and the delivery's
            if (++changing == 1) win.cycle();
        }
        if (event() == kEventNewSelection) win.post(kEventCloseWindow);
        if (event() == kEventTabChanging && changing == 1) hl::click(at);
    });
    EXPECT_EQ(seen, (std::vector<int>{kEventOpenWindow, kEventTabChanging, kEventTabChanging, kEventNewSelection,
                                      kEventCloseWindow}));
}

TEST_F(AcceptTest, StatementErrors) {
    Window missing(WindowType::kWindow, "TEST$accept", "PROC$NOWHERE");
    EXPECT_FALSE(missing.open());
    EXPECT_EQ(sk::rt::error_code(), 502);

    Window w(WindowType::kWindow, "TEST$accept", "PROC$TIMER");
    EXPECT_FALSE(w.accept());
    EXPECT_EQ(sk::rt::error_code(), kErrorAcceptNoWindow);
    w.select(1);
    EXPECT_EQ(sk::rt::error_code(), kErrorNotOpen);
    ASSERT_TRUE(w.open());
    EXPECT_FALSE(w.open());
    EXPECT_EQ(sk::rt::error_code(), kErrorAlreadyOpen);

    Window frame(WindowType::kApplication, "TEST$accept", "PROC$TIMER");
    EXPECT_FALSE(frame.open());
    EXPECT_EQ(sk::rt::error_code(), kErrorAppModal);
    Window child(WindowType::kMdiChild, "TEST$accept", "PROC$TIMER");
    EXPECT_FALSE(child.open());
    EXPECT_EQ(sk::rt::error_code(), kErrorMdiNoApp);
    w.close();

    // The binding list shorter than the bound controls.
    Window unbound(WindowType::kWindow, "TEST$accept", "PROC$DIALOG");
    EXPECT_FALSE(unbound.open());
    EXPECT_EQ(sk::rt::error_code(), 501);
    EXPECT_FALSE(unbound.is_open());
    EXPECT_EQ(modal_count(), 0);
}

TEST_F(AcceptTest, PropertiesOfWindowAndControls) {
    Window w(WindowType::kWindow, "TEST$accept", "PROC$DIALOG", bindings);
    ASSERT_TRUE(w.open());
    EXPECT_EQ(w.property(0, kPropWidth), "200");
    EXPECT_EQ(w.property(0, kPropHeight), "100");
    EXPECT_EQ(w.property(1, kPropX), "5");
    EXPECT_EQ(w.property(1, kPropX, 3), "40");  // index 3 addresses the width
    EXPECT_EQ(w.property(1, kPropDisabled), "");
    EXPECT_TRUE(w.set_property(1, kPropDisabled, "1"));
    EXPECT_EQ(w.property(1, kPropDisabled), "1");
    EXPECT_TRUE(w.set_property(0, kPropMessage, "Hello"));
    EXPECT_EQ(w.property(0, kPropMessage), "Hello");
    EXPECT_TRUE(w.set_property(0, kPropAlertKeys, "112"));
    EXPECT_EQ(w.property(0, kPropAlertKeys, 1), "112");
    w.close();
    EXPECT_EQ(w.property(0, kPropWidth), "");
    EXPECT_EQ(sk::rt::error_code(), kErrorNotOpen);
}

}  // namespace
}  // namespace sk::ui
