// POPUP strings and their tracking.
#include "ui/popup.h"

#include <string>

#include "platform/display/display.h"
#include "ui/engine_state.h"
#include "ui/thread.h"
#include "ui/window.h"

namespace sk::ui {

namespace pd = sk::platform::display;

namespace {

struct Parser {
    std::string_view text;
    std::size_t at = 0;
    int count = 0;

    void item(pd::MenuId into, std::string_view token) {
        if (token.empty()) return;
        pd::MenuEntry e;
        if (token == "-") {
            e.flags = pd::kMenuSeparator;
            pd::append_menu_entry(into, e);
            return;
        }
        if (token.front() == '~') {
            e.flags |= pd::kMenuGrayed;
            token.remove_prefix(1);
        }
        if (!token.empty() && token.front() == '+') {
            e.flags |= pd::kMenuChecked;
            token.remove_prefix(1);
        } else if (!token.empty() && token.front() == '-') {
            token.remove_prefix(1);
        }
        e.text = std::string(token);
        e.identifier = static_cast<std::uint32_t>(++count);
        pd::append_menu_entry(into, e);
    }

    // Reads items up to the end of the string or a "}" that closes this level.
    void level(pd::MenuId into, bool nested) {
        while (at < text.size()) {
            const std::size_t stop = text.find_first_of("|{}", at);
            const std::string_view token = text.substr(at, stop == std::string_view::npos ? std::string_view::npos : stop - at);
            if (stop == std::string_view::npos) {
                item(into, token);
                at = text.size();
                return;
            }
            at = stop + 1;
            switch (text[stop]) {
            case '|':
                item(into, token);
                break;
            case '{': {
                pd::MenuEntry e;
                e.text = std::string(token);
                e.submenu = pd::create_menu();
                level(e.submenu, true);
                pd::append_menu_entry(into, e);
                if (at < text.size() && text[at] == '|') ++at;
                break;
            }
            case '}':
                item(into, token);
                if (nested) return;
                if (at < text.size() && text[at] == '|') ++at;  // a stray "}" at the top ends nothing
                break;
            }
        }
    }
};

// Paint messages of the thread's windows while the menu is up: the lock is given
// up for the tracking, so it is taken for each one.
void dispatch_paint(const pd::Message& m, void* locked) {
    if (locked) take_lock();
    route_message(m);
    if (locked) release_lock();
}

}  // namespace

pd::MenuId build_popup_menu(std::string_view text, int* count) {
    Parser p{text};
    const pd::MenuId menu = pd::create_menu();
    p.level(menu, false);
    if (count) *count = p.count;
    return menu;
}

int popup(std::string_view text, std::optional<pd::Point> at) {
    if (!pd::is_display_open()) return 0;
    const pd::MenuId menu = build_popup_menu(text);
    // The menu's owner: a hidden window of its own on the calling thread.
    pd::WindowSpec spec;
    spec.kind = pd::WindowKind::kPopup;
    spec.text = "TesPopup";
    spec.rect = pd::Rect::from_size(0, 0, 1, 1);
    const pd::WindowId owner = pd::create_window(spec);
    const pd::Point where = at ? *at : engine().mouse;
    // Other procedure threads run while the user makes up his mind.
    const bool locked = holds_lock();
    if (locked) release_lock();
    const std::uint32_t chosen =
        pd::track_popup_menu(menu, where, owner, true, dispatch_paint, locked ? reinterpret_cast<void*>(1) : nullptr);
    if (locked) take_lock();
    pd::destroy_window(owner);
    pd::destroy_menu(menu);
    return static_cast<int>(chosen);
}

}  // namespace sk::ui
