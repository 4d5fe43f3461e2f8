// The engine with the real control classes: a window's buttons, prompts and check
// boxes are built through create_control, and a click on a button reaches the
// procedure as "EVENT:Accepted" for its field.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "data/queue.h"
#include "runtime/bind.h"
#include "runtime/error.h"
#include "ui/controls/variable.h"
#include "ui/definition_source.h"
#include "ui/definition_writer.h"
#include "ui/engine.h"
#include "ui/resource_registry.h"
#include "ui/thread.h"
#include "ui/window.h"

namespace sk::ui {
namespace {

namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;

const char* kSource = R"(
module "TEST$controls"
window "PROC$REAL" {
  title "Real controls"
  font "MS Sans Serif" 8 -1 -1
  at 10 10 160 80
  frame 0x3004
  prompt 1 { at 5 5 default default text "&Name:" }
  button 2 { at 5 30 45 14 text "&Go" }
  button 3 { at 60 30 45 14 text "Cl&ose" }
}
)";

// Lets the procedure's thread run until the program waits for input.
void idle() {
    LockRelease unlocked;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    hl::wait_until_idle(5000);
}

// Opens the headless display and the engine, and registers a compiled source once.
bool open_engine_with(const char* source, const char* name) {
    if (!pd::is_display_open() && !pd::open_display(pd::Backend::kHeadless, pd::Size{800, 600})) return false;
    if (!initialise_engine()) return false;
    sk::rt::set_runtime_errors_fatal(false);
    static std::map<std::string, std::vector<std::uint8_t>> bodies;
    if (bodies.count(name)) return true;
    ResourceDefinition resource;
    std::string error;
    if (!parse_definition_source(source, resource, error)) {
        ADD_FAILURE() << error;
        return false;
    }
    std::vector<std::uint8_t>& body = bodies[name] = write_resource_body(resource);
    register_embedded_resource(resource_name(resource.module), body.data(), body.size(), name);
    return true;
}

TEST(EngineControls, ButtonClickArrivesAsAccepted) {
    ASSERT_TRUE(open_engine_with(kSource, "controls-test"));

    // The procedure runs on a thread of its own so that this one can look at the
    // screen while it waits.
    std::vector<std::pair<int, int>> got;
    std::atomic<Window*> window{nullptr};
    ASSERT_NE(start([&] {
        Window w(WindowType::kWindow, "TEST$controls", "PROC$REAL");
        if (!w.open()) return;
        window = &w;
        while (w.accept()) {
            got.emplace_back(event(), field());
            if (got.size() > 50) break;
            if (event() == kEventAccepted) w.post(kEventCloseWindow);
        }
        if (w.is_open()) w.close();
        window = nullptr;
    }), 0);
    idle();
    ASSERT_NE(window.load(), nullptr);
    EXPECT_NE(window.load()->control(1), nullptr);
    ASSERT_NE(window.load()->control(2), nullptr);
    ASSERT_TRUE(hl::save_screenshot("/tmp/engine-real-controls.png"));
    const pd::Rect r = pd::screen_rect(window.load()->control(2)->window());
    hl::click(pd::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    EXPECT_TRUE(wait_for_threads());
    EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{kEventOpenWindow, 0}, {kEventAccepted, 2}, {kEventCloseWindow, 0}}));
}

const char* kListSource = R"(
module "TEST$mouse"
window "PROC$LIST" {
  title "Mouse keys"
  font "MS Sans Serif" 8 -1 -1
  at 10 10 200 120
  frame 0x3004
  list 1 { flags 0x803 format "60L~Name~@s10@" at 5 5 120 80 rows 25 }
  entry 2 { at 130 5 60 12 bind 10 picture "N4" }
  button 3 { at 130 30 45 14 text "Cl&ose" }
}
)";

struct Seen {
    int event;
    std::int32_t field;
    std::uint32_t key;
    int reject;
    bool operator==(const Seen&) const = default;
};

// The mouse button that caused an event is its key code: the browses open their
// popup on a list's NewSelection from a right press, and an entry's refusal carries
// why its text could not be stored.
TEST(EngineControls, MouseButtonsBecomeKeyCodesAndRejectionsCarryTheirCode) {
    ASSERT_TRUE(open_engine_with(kListSource, "mouse-test"));

    sk::data::Queue names(10);
    for (const char* n : {"alpha     ", "beta      ", "gamma     "}) names.add(n);
    RowSource rows{&names, {{0, sk::rt::kTypeString, 10, 0}}};
    std::uint8_t small = 0;  // 300 does not fit
    sk::rt::BoundVariable dv = sk::rt::bound_byte(&small);
    void* bindings[] = {&rows, &dv, nullptr};

    std::vector<Seen> got;
    std::atomic<Window*> window{nullptr};
    ASSERT_NE(start([&] {
        Window w(WindowType::kWindow, "TEST$mouse", "PROC$LIST", bindings);
        if (!w.open()) return;
        window = &w;
        while (w.accept()) {
            if (event() == kEventNewSelection || event() == kEventRejected)
                got.push_back({event(), field(), keycode(), w.reject_code()});
            if (event() == kEventAccepted && field() == 3) w.post(kEventCloseWindow);
        }
        if (w.is_open()) w.close();
        window = nullptr;
    }), 0);
    idle();
    ASSERT_NE(window.load(), nullptr);
    const pd::Rect list = pd::screen_rect(window.load()->control(1)->window());
    const int row_height = (list.bottom - list.top) / 8;
    const pd::Point second_row{list.left + 10, list.top + row_height * 2 + row_height / 2};
    hl::click(second_row, pd::kButtonRight);
    idle();
    const pd::Point first_row{list.left + 10, list.top + row_height + row_height / 3};
    hl::click(first_row);
    idle();
    const pd::Rect entry = pd::screen_rect(window.load()->control(2)->window());
    hl::click(pd::Point{entry.left + 5, (entry.top + entry.bottom) / 2});
    idle();
    hl::press_key(pd::kVkHome);
    hl::press_key(pd::kVkEnd, pd::kModShift);
    hl::type_text("300");
    hl::press_key(pd::kVkTab);
    idle();
    const pd::Rect close = pd::screen_rect(window.load()->control(3)->window());
    hl::click(pd::Point{(close.left + close.right) / 2, (close.top + close.bottom) / 2});
    EXPECT_TRUE(wait_for_threads());

    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got[0].event, kEventNewSelection);
    EXPECT_EQ(got[0].key, 2u);  // the right press
    EXPECT_EQ(got[0].reject, 0);
    EXPECT_EQ(got[1].event, kEventNewSelection);
    EXPECT_EQ(got[1].key, 1u);  // the left press
    const Seen& rejected = got.back();
    EXPECT_EQ(rejected.event, kEventRejected);
    EXPECT_EQ(rejected.field, 2);
    EXPECT_EQ(rejected.reject, kStoreOutOfRange);
}

// The background timer runs its routine on the registering thread, between that
// thread's events, as the clock passes, until it is stopped.
TEST(EngineControls, BackgroundTimerTicksOnItsThreadUntilStopped) {
    ASSERT_TRUE(open_engine_with(kSource, "controls-test"));
    std::atomic<int> ticks{0}, wrong_thread{0};
    std::atomic<Window*> window{nullptr};
    ASSERT_NE(start([&] {
        Window w(WindowType::kWindow, "TEST$controls", "PROC$REAL");
        if (!w.open()) return;
        const int me = thread_number();
        set_background_timer([&, me] {
            if (thread_number() != me) ++wrong_thread;
            if (++ticks == 3) set_background_timer(nullptr, 0);
        }, 100);
        window = &w;
        while (w.accept()) {
            if (event() == kEventAccepted) w.post(kEventCloseWindow);
        }
        if (w.is_open()) w.close();
        window = nullptr;
    }), 0);
    idle();
    ASSERT_NE(window.load(), nullptr);
    for (int i = 0; i < 6; ++i) {
        LockRelease unlocked;  // the ticks run on the procedure's thread
        hl::advance_clock(100);
    }
    idle();
    EXPECT_EQ(ticks.load(), 3);  // stopped by itself on the third
    EXPECT_EQ(wrong_thread.load(), 0);
    const pd::Rect r = pd::screen_rect(window.load()->control(2)->window());
    hl::click(pd::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    EXPECT_TRUE(wait_for_threads());
}

}  // namespace
}  // namespace sk::ui
