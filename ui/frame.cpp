// Menus, status bars and the MDI frame on top of the core window.
#include "ui/frame.h"

#include <algorithm>

#include "platform/display/display.h"
#include "platform/display/mdi.h"
#include "runtime/bind.h"
#include "ui/controls/variable.h"
#include "ui/engine_state.h"
#include "ui/print_setup.h"

namespace sk::ui {

namespace pd = sk::platform::display;

namespace {

class FrameExtras;

bool is_item_checked(MenuId menu, std::uint32_t id) {
    MenuId holder = 0;
    const int at = pd::find_menu_command(menu, id, &holder);
    pd::MenuEntry e;
    return at >= 0 && pd::menu_entry(holder, at, &e) && (e.flags & pd::kMenuChecked);
}

void set_item_checked(MenuId menu, std::uint32_t id, bool checked) {
    MenuId holder = 0;
    const int at = pd::find_menu_command(menu, id, &holder);
    pd::MenuEntry e;
    if (at < 0 || !pd::menu_entry(holder, at, &e)) return;
    e.flags = checked ? (e.flags | pd::kMenuChecked) : (e.flags & ~pd::kMenuChecked);
    pd::set_menu_entry(holder, at, e);
}
FrameExtras* extras_of(Window* w);

class FrameExtras : public WindowExtras {
public:
    MenuId own_menu = 0;       // built from this window's own definition
    MenuId private_copy = 0;   // an MDI child's copy of the frame's bar
    std::vector<MenuItemInfo> items;
    std::vector<SubmenuInfo> submenus;
    std::unique_ptr<StatusBar> status;

    bool on_create(Window& w) override {
        const WindowDefinition& def = w.definition();
        if (w.type() == WindowType::kApplication) {
            const WindowId client = pd::create_mdi_client(w.handle());
            if (!client) return false;
            w.set_mdi_client(client);
        }
        if (def.menu_bar) {
            own_menu = build_menu_bar(*def.menu_bar, def.message, items, &submenus);
            // A check item starts checked when its variable holds a value other than 0.
            for (const MenuItemInfo& i : items) {
                if (!i.is_check) continue;
                if (auto* v = static_cast<const sk::rt::BoundVariable*>(w.menu_variable(i.field)))
                    set_item_checked(own_menu, static_cast<std::uint32_t>(i.field) + kCommandBase, variable_number(*v) != 0);
            }
            if (w.type() != WindowType::kMdiChild) pd::set_window_menu(w.handle(), own_menu);
        }
        if (!def.status_zones.empty()) status = std::make_unique<StatusBar>(w.handle(), def.status_zones, w.unit_scale(), w.font());
        tidy_system_menu(w.handle());
        layout(w);
        return true;
    }

    void layout(Window& w) {
        if (status) status->layout();
        if (w.mdi_client()) {
            const pd::Rect c = pd::client_rect(w.handle());
            const int bottom = c.bottom - (status ? status->height() : 0);
            pd::move_window(w.mdi_client(), pd::Rect{0, 0, c.right, std::max(0, bottom)});
        }
    }

    // The menu this window shows while it is active.
    MenuId shown_menu(Window& w) const {
        if (own_menu) return own_menu;
        if (private_copy) return private_copy;
        if (w.type() == WindowType::kMdiChild) {
            if (Window* f = application_frame())
                if (FrameExtras* fe = extras_of(f)) return fe->own_menu;
        }
        return 0;
    }

    void show_on_frame(Window& w) {
        Window* f = application_frame();
        if (!f || !f->handle()) return;
        const MenuId m = shown_menu(w);
        if (m && pd::window_menu(f->handle()) != m) pd::set_window_menu(f->handle(), m);
    }

    void restore_frame_menu(Window& w) {
        Window* f = application_frame();
        if (!f || !f->handle()) return;
        FrameExtras* fe = extras_of(f);
        const MenuId mine = own_menu ? own_menu : private_copy;
        if (fe && mine && pd::window_menu(f->handle()) == mine) pd::set_window_menu(f->handle(), fe->own_menu);
        (void)w;
    }

    const MenuItemInfo* find_item(std::int32_t field) const {
        for (const MenuItemInfo& i : items)
            if (i.field == field) return &i;
        return nullptr;
    }

    // A command of the menu bar the frame shows: its own items, or those of the
    // active child's own menu bar.
    bool menu_command(Window& frame, std::uint32_t id) {
        const std::int32_t field = static_cast<std::int32_t>(id) - static_cast<std::int32_t>(kCommandBase);
        Window* owner = &frame;
        FrameExtras* owner_extras = this;
        const MenuId shown = pd::window_menu(frame.handle());
        if (frame.mdi_client()) {
            Window* child = window_of_native(pd::mdi_active_child(frame.mdi_client()));
            if (FrameExtras* ce = extras_of(child); ce && ce->own_menu && ce->own_menu == shown) {
                owner = child;
                owner_extras = ce;
            }
        }
        const MenuItemInfo* item = owner_extras->find_item(field);
        if (!item) return false;
        if (item->action != 0 && perform_standard_action(*owner, item->action)) return true;
        if (item->is_check) {
            // The mark flips, and the item's variable takes the new state (1 or 0).
            const bool checked = !is_item_checked(shown, id);
            set_item_checked(shown, id, checked);
            if (auto* v = static_cast<const sk::rt::BoundVariable*>(owner->menu_variable(field)))
                set_variable_number(*v, checked ? 1 : 0);
        }
        owner->post(kEventAccepted, field);
        return true;
    }

    const SubmenuInfo* find_submenu(MenuId menu) const {
        for (const SubmenuInfo& s : submenus)
            if (s.menu == menu) return &s;
        return nullptr;
    }

    // A highlighted entry: id is its identifier, holder and position say where it is
    // (holder 0: the menu closed, or a system menu is up).
    void menu_select(Window& frame, std::uint32_t id, MenuId holder, int position) {
        StatusBar* bar = status.get();
        if (!bar) return;
        FrameExtras* child = nullptr;
        if (frame.mdi_client()) child = extras_of(window_of_native(pd::mdi_active_child(frame.mdi_client())));
        // A submenu entry (which may carry an identifier as well) shows its menu's message.
        pd::MenuEntry entry;
        if (holder != 0 && pd::menu_entry(holder, position, &entry) && entry.submenu != 0) {
            const SubmenuInfo* sub = find_submenu(entry.submenu);
            if (!sub && child) sub = child->find_submenu(entry.submenu);
            bar->show_message(sub ? sub->message : std::string());
            return;
        }
        if (id == 0) {
            bar->show_message({});
            return;
        }
        const std::int32_t field = static_cast<std::int32_t>(id) - static_cast<std::int32_t>(kCommandBase);
        const MenuItemInfo* item = find_item(field);
        if (!item && child) item = child->find_item(field);
        bar->show_message(item ? item->message : std::string());
    }

    // The status text of the window as it is now: its focused control's message,
    // else its own; empty brings the zone's own text back.
    static void show_current_message(Window& w) {
        std::string text = w.message_text();
        if (Control* c = w.focused_control(); c && !c->definition().attr.message.empty())
            text = c->definition().attr.message;
        w.show_message(text);
    }

    bool handle_message(Window& w, const pd::Message& m) override {
        if (status && m.window == status->window()) {
            if (m.code == pd::kMsgPaint) status->paint();
            return true;
        }
        if (w.mdi_client() && m.window == w.mdi_client() && m.code == pd::kMsgPaint) {
            pd::PaintSession s = pd::begin_paint(m.window);
            if (s.is_valid())
                s.painter().fill_rect(pd::client_rect(m.window), pd::system_color(pd::SystemColor::kAppWorkspace));
            return true;
        }
        if (m.window != w.handle()) return false;
        switch (m.code) {
        case pd::kMsgSize:
            layout(w);
            tidy_system_menu(w.handle());
            return false;  // the core reports the size as well
        case pd::kMsgCommand:
            return menu_command(w, static_cast<std::uint32_t>(m.wparam));
        case pd::kMsgMenuSelect:
            menu_select(w, static_cast<std::uint32_t>(m.wparam), static_cast<MenuId>(m.lparam),
                        static_cast<int>(m.flags));
            return true;
        case pd::kMsgActivate:
            if (w.type() == WindowType::kMdiChild && m.wparam == 1) {
                show_on_frame(w);
                show_current_message(w);
            }
            return false;
        default:
            return false;
        }
    }

    bool translate_key(Window&, const pd::Message&) override { return false; }

    void show_message(Window& w, std::string_view text) override {
        if (StatusBar* bar = status_bar_of(w)) bar->show_message(text);
    }

    void on_first_accept(Window& w) override {
        if (w.type() == WindowType::kMdiChild) {
            pd::mdi_activate(w.handle());
            show_on_frame(w);
        }
        show_current_message(w);
    }

    void on_close(Window& w) override {
        if (w.type() == WindowType::kMdiChild) {
            restore_frame_menu(w);
            // The frame no longer shows this child's text; the next active child
            // shows its own when it is activated.
            if (StatusBar* bar = status_bar_of(w); bar && bar != status.get()) bar->show_message({});
        }
        if (w.handle() && pd::window_menu(w.handle())) pd::set_window_menu(w.handle(), 0);
        if (w.type() == WindowType::kApplication && w.handle()) pd::set_window_menu(w.handle(), 0);
        if (private_copy) pd::destroy_menu(private_copy);
        if (own_menu) pd::destroy_menu(own_menu);
        private_copy = own_menu = 0;
        status.reset();
    }
};

FrameExtras* extras_of(Window* w) { return w ? dynamic_cast<FrameExtras*>(w->extras()) : nullptr; }

std::unique_ptr<WindowExtras> make_extras(Window&) { return std::make_unique<FrameExtras>(); }

bool arrange(Window&, std::uint32_t code) {
    // The printer set-up needs no frame; the arrangements do.
    if (code == 16) {
        print_setup_dialog();
        return true;
    }
    Window* f = application_frame();
    if (!f || !f->mdi_client()) return true;
    switch (code) {
    case 2: case 18: pd::mdi_tile(f->mdi_client(), false); break;
    case 17: pd::mdi_tile(f->mdi_client(), true); break;
    case 3: pd::mdi_cascade(f->mdi_client()); break;
    case 4: pd::mdi_arrange_icons(f->mdi_client()); break;
    default: break;
    }
    return true;
}

// The menu an item change applies to, making an MDI child's private copy first.
MenuId menu_for_change(Window& w) {
    FrameExtras* e = extras_of(&w);
    if (!e) return 0;
    if (e->own_menu) return e->own_menu;
    if (w.type() != WindowType::kMdiChild) return 0;
    if (!e->private_copy) {
        FrameExtras* fe = extras_of(application_frame());
        if (!fe || !fe->own_menu) return 0;
        // The child's copy answers for the frame's items and submenus.
        e->submenus = fe->submenus;
        e->private_copy = copy_menu(fe->own_menu, &e->submenus);
        e->items = fe->items;
        if (w.handle() && application_frame() && pd::mdi_active_child(application_frame()->mdi_client()) == w.handle())
            e->show_on_frame(w);
    }
    return e->private_copy;
}

template <typename Change>
bool change_item(Window& w, std::int32_t field, Change change) {
    const MenuId menu = menu_for_change(w);
    if (!menu) return false;
    MenuId holder = 0;
    const int at = pd::find_menu_command(menu, static_cast<std::uint32_t>(field) + kCommandBase, &holder);
    pd::MenuEntry e;
    if (at < 0 || !pd::menu_entry(holder, at, &e)) return false;
    change(e);
    pd::set_menu_entry(holder, at, e);
    Window* f = application_frame();
    if (f && f->handle() && pd::window_menu(f->handle()) == menu) pd::redraw_menu_bar(f->handle());
    if (w.handle() && pd::window_menu(w.handle()) == menu) pd::redraw_menu_bar(w.handle());
    return true;
}

std::uint32_t with_flag(std::uint32_t flags, std::uint32_t flag, bool on) { return on ? flags | flag : flags & ~flag; }

}  // namespace

void install_frame_support() {
    set_extras_factory(make_extras);
    engine().action_hook = arrange;
}

StatusBar* status_bar_of(Window& window) {
    if (window.type() == WindowType::kMdiChild) {
        Window* f = application_frame();
        if (f && f->mdi_client() && pd::mdi_active_child(f->mdi_client()) == window.handle()) {
            if (FrameExtras* fe = extras_of(f); fe && fe->status) return fe->status.get();
        }
    }
    FrameExtras* e = extras_of(&window);
    return e ? e->status.get() : nullptr;
}

void set_zone_text(Window& window, int zone, std::string_view text) {
    FrameExtras* e = extras_of(&window);
    if (e && e->status) e->status->set_zone_text(zone, text);
}

MenuId menu_bar_of(Window& window) {
    FrameExtras* e = extras_of(&window);
    return e ? e->shown_menu(window) : 0;
}

bool set_menu_item_enabled(Window& window, std::int32_t field, bool enabled) {
    return change_item(window, field, [&](pd::MenuEntry& e) { e.flags = with_flag(e.flags, pd::kMenuGrayed, !enabled); });
}
bool set_menu_item_checked(Window& window, std::int32_t field, bool checked) {
    return change_item(window, field, [&](pd::MenuEntry& e) { e.flags = with_flag(e.flags, pd::kMenuChecked, checked); });
}
bool set_menu_item_hidden(Window& window, std::int32_t field, bool hidden) {
    return change_item(window, field, [&](pd::MenuEntry& e) { e.flags = with_flag(e.flags, pd::kMenuHidden, hidden); });
}
bool set_menu_item_text(Window& window, std::int32_t field, std::string_view text) {
    return change_item(window, field, [&](pd::MenuEntry& e) { e.text = std::string(text); });
}

bool menu_item_checked(Window& window, std::int32_t field) {
    const MenuId menu = menu_bar_of(window);
    MenuId holder = 0;
    const int at = pd::find_menu_command(menu, static_cast<std::uint32_t>(field) + kCommandBase, &holder);
    pd::MenuEntry e;
    return at >= 0 && pd::menu_entry(holder, at, &e) && (e.flags & pd::kMenuChecked);
}

bool has_private_menu(Window& window) {
    FrameExtras* e = extras_of(&window);
    return e && e->private_copy != 0;
}

}  // namespace sk::ui
