// The engine with the real control classes: a window's buttons, prompts and check
// boxes are built through create_control, and a click on a button reaches the
// procedure as "EVENT:Accepted" for its field.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "runtime/error.h"
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

TEST(EngineControls, ButtonClickArrivesAsAccepted) {
    if (!pd::is_display_open()) {
        ASSERT_TRUE(pd::open_display(pd::Backend::kHeadless, pd::Size{800, 600}));
    }
    ASSERT_TRUE(initialise_engine());
    sk::rt::set_runtime_errors_fatal(false);
    static std::vector<std::uint8_t> body;
    ResourceDefinition resource;
    std::string error;
    ASSERT_TRUE(parse_definition_source(kSource, resource, error)) << error;
    body = write_resource_body(resource);
    register_embedded_resource(resource_name(resource.module), body.data(), body.size(), "controls-test");

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
    const auto idle = [] {
        LockRelease unlocked;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        hl::wait_until_idle(5000);
    };
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

}  // namespace
}  // namespace sk::ui
