// The modal loop of the engine's own dialogs.
#include "ui/dialog_loop.h"

#include "platform/display/display.h"
#include "ui/engine_state.h"
#include "ui/thread.h"
#include "ui/window.h"

namespace sk::ui {

namespace pd = sk::platform::display;

std::vector<WindowId> disable_program_windows(WindowId except) {
    std::vector<WindowId> out;
    for (const auto& [h, w] : engine().natives) {
        if (h == except || w->type() == WindowType::kMdiChild) continue;
        if (pd::is_enabled(h)) {
            pd::enable_window(h, false);
            out.push_back(h);
        }
    }
    return out;
}

void enable_windows(const std::vector<WindowId>& windows) {
    for (WindowId w : windows) pd::enable_window(w, true);
}

void run_dialog_loop(WindowId dialog, const std::function<void(const pd::Message&)>& handle,
                     const std::function<bool()>& done) {
    const bool locked = holds_lock();
    while (!done() && pd::is_window(dialog)) {
        pd::Message m;
        if (pd::peek_message(m, true)) {
            if (m.code == pd::kMsgQuit) continue;
            // The dialog's own popups (a drop-down list) are part of it.
            const WindowId top = m.window != 0 ? pd::top_level_of(m.window) : 0;
            if (top != 0 && (top == dialog || pd::parent_window(top) == dialog)) {
                handle(m);
                if (m.code == pd::kMsgPaint && pd::is_window(m.window) && !pd::invalid_rect(m.window).is_empty())
                    pd::validate(m.window);
            } else {
                route_message(m);
            }
            continue;
        }
        if (locked) release_lock();
        pd::wait_for_message(-1);
        if (locked) take_lock();
    }
}

WindowId dialog_owner() {
    if (Window* w = top_window(); w && w->handle()) return pd::top_level_of(w->handle());
    if (Window* f = application_frame(); f && f->handle()) return f->handle();
    return pd::active_window();
}

}  // namespace sk::ui
