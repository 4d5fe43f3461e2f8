// Start-up of the window engine.
#include "ui/engine.h"

#include "platform/display/display.h"
#include "ui/engine_state.h"
#include "ui/frame.h"
#include "ui/message_box.h"
#include "ui/window.h"

namespace sk::ui {

bool initialise_engine() {
    if (!initialise_core()) return false;
    install_frame_support();
    install_message_presenter();
    return true;
}

void set_background_timer(std::function<void()> routine, std::uint32_t interval_ms) {
    namespace pd = sk::platform::display;
    EngineState& e = engine();
    if (e.background_window) {
        pd::destroy_window(e.background_window);
        e.background_window = 0;
    }
    e.background_routine = nullptr;
    if (!routine || interval_ms == 0) return;
    pd::WindowSpec spec;
    spec.kind = pd::WindowKind::kTopLevel;
    spec.rect = pd::Rect{0, 0, 1, 1};
    spec.visible = false;
    e.background_window = pd::create_window(spec);
    if (!e.background_window) return;
    e.background_routine = std::move(routine);
    pd::set_timer(e.background_window, 1, interval_ms);
}

// A tick of the background timer, from the message routing. False for any other
// message.
bool background_tick(const sk::platform::display::Message& m) {
    EngineState& e = engine();
    if (m.code != sk::platform::display::kMsgTimer || m.window == 0 || m.window != e.background_window) return false;
    if (e.background_routine) {
        // A copy: the routine may replace or stop itself.
        const std::function<void()> routine = e.background_routine;
        routine();
    }
    return true;
}

}  // namespace sk::ui
