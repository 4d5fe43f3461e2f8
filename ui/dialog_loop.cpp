// The modal loop of the engine's own dialogs.
#include "ui/dialog_loop.h"

#include <algorithm>

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

WindowId create_centred_dialog(WindowId owner, const std::string& caption, std::uint32_t style, pd::Size client) {
    // The frame's size from the client's: what the style adds around a probe.
    const pd::Rect probe = pd::client_area_for_style(style, pd::Size{1000, 1000});
    const int ow = client.width + 1000 - probe.width();
    const int oh = client.height + 1000 - probe.height();
    pd::Rect around{0, 0, pd::screen_metrics().width, pd::screen_metrics().height};
    if (owner && pd::is_window(owner)) around = pd::screen_rect(owner);
    pd::WindowSpec spec;
    spec.parent = owner;
    spec.text = caption;
    spec.style = style;
    spec.rect = pd::Rect::from_size(std::max(0, around.left + (around.width() - ow) / 2),
                                    std::max(0, around.top + (around.height() - oh) / 2), ow, oh);
    spec.background = pd::system_color(pd::SystemColor::kButtonFace);
    spec.visible = true;
    return pd::create_window(spec);
}

void run_modal_dialog(WindowId dialog, WindowId owner, WindowId had_focus,
                      const std::function<void(const pd::Message&)>& handle, const std::function<bool()>& done) {
    std::vector<WindowId> disabled = disable_program_windows(dialog);
    pd::set_active_window(dialog);
    pd::set_focus(dialog);
    pd::invalidate(dialog);
    run_dialog_loop(dialog, handle, done);
    enable_windows(disabled);
    if (pd::is_window(dialog)) pd::destroy_window(dialog);
    if (owner && pd::is_window(owner)) pd::set_active_window(owner);
    if (had_focus && pd::is_window(had_focus)) pd::set_focus(had_focus);
}

void paint_dialog_button(pd::Painter& p, const pd::Rect& r, std::string_view caption, const pd::Font& font,
                         bool is_default, bool is_pressed, bool has_focus) {
    pd::Rect face = r;
    if (is_default) {
        p.frame_rect(face, pd::rgb(0, 0, 0));
        face = face.inset(1, 1);
    }
    p.fill_rect(face, pd::system_color(pd::SystemColor::kButtonFace));
    p.draw_edge(face, is_pressed ? pd::Edge::kSunken : pd::Edge::kRaised);
    p.draw_text(face, caption, font, pd::system_color(pd::SystemColor::kButtonText),
                pd::kTextCenter | pd::kTextVCenter | pd::kTextSingleLine | pd::kTextMnemonic);
    if (has_focus) p.draw_focus_rect(face.inset(3, 3));
}

}  // namespace sk::ui
