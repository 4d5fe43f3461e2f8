// Window placement through the positions file.
#include "app/window_placement.h"

#include "app/window_positions.h"
#include "platform/display/window.h"
#include "ui/window.h"

namespace sk::app {

namespace pd = sk::platform::display;

namespace {

// The window's normal rectangle (the one it returns to from maximised or
// minimised) in the window's own units, relative to its parent.
WindowPlacement placement_of(sk::ui::Window& window) {
    WindowPlacement p;
    const pd::WindowId w = window.handle();
    const pd::SizeState state = pd::size_state(w);
    const pd::Rect r = state == pd::kSizeRestored ? pd::window_rect(w) : pd::restored_rect(w);
    const sk::ui::UnitScale& scale = window.unit_scale();
    p.x = sk::ui::to_units(scale, true, r.left);
    p.y = sk::ui::to_units(scale, false, r.top);
    p.width = sk::ui::to_units(scale, true, r.width());
    p.height = sk::ui::to_units(scale, false, r.height());
    p.maximized = state == pd::kSizeMaximized;
    p.minimized = state == pd::kSizeMinimized;
    p.resizable = (pd::window_style(w) & pd::kStyleSizable) != 0;
    return p;
}

}  // namespace

void restore_window_position(sk::ui::Window& window, std::string_view section) {
    const pd::WindowId w = window.handle();
    if (w == 0) return;
    const WindowPlacement before = placement_of(window);
    WindowPlacement p = before;
    if (!RestoreWindowPosition(section, kPositionsFile, &p)) return;
    if (!before.maximized && (p.x != before.x || p.y != before.y || p.width != before.width || p.height != before.height)) {
        const sk::ui::UnitScale& scale = window.unit_scale();
        pd::move_window(w, pd::Rect::from_size(sk::ui::to_pixels(scale, true, p.x), sk::ui::to_pixels(scale, false, p.y),
                                               sk::ui::to_pixels(scale, true, p.width),
                                               sk::ui::to_pixels(scale, false, p.height)));
    }
    if (p.maximized && !before.maximized) pd::maximize_window(w);
    else if (!p.maximized && before.maximized) pd::restore_window(w);
}

void save_window_position(sk::ui::Window& window, std::string_view section) {
    if (window.handle() == 0) return;
    SaveWindowPosition(section, kPositionsFile, placement_of(window));
}

}  // namespace sk::app
