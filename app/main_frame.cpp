// The Main procedure: the frame, its menu, and the procedures it starts.
#include "app/main_frame.h"

#include "app/dictionary.h"
#include "app/procedures.h"
#include "app/window_placement.h"
#include "platform/display/display.h"
#include "runtime/halt.h"
#include "ui/event.h"
#include "ui/frame.h"
#include "ui/thread.h"
#include "ui/window.h"

namespace sk::app {

namespace {

constexpr std::int32_t kItemAbout = -13;
constexpr std::int32_t kItemLocations = -9;
constexpr std::uint32_t kKeyRightButton = 2;  // the key code of a right-button press
// The site list the frame opens by itself asks for a smaller stack than the one
// its menu item starts.
constexpr std::size_t kOpeningStackSize = 25000;

// The procedures behind the menu. A procedure not yet part of this build has no
// entry point: its item is shown greyed.
const MenuProcedure kMenu[] = {
    {-2, "ImportASCII", &ImportASCII, 25000},
    {-3, "ImportHTML", &ImportHTML, 25000},
    {-4, "ImportOther", &ImportOther, 25000},
    {-6, "Export", &Export, 25000},
    {-9, "BrowseLINKDB", &BrowseLINKDB, 50000},
    {-10, "BrowseCategories", &BrowseCategories, 50000},
    {-11, "ReadMe", &ReadMe, 25000},
    {-12, "WhatsNew", &WhatsNew, 25000},
};

const MenuProcedure* find_item(std::int32_t field) {
    for (const MenuProcedure& p : kMenu)
        if (p.field == field) return &p;
    return nullptr;
}

void start_procedure(const MenuProcedure& p) {
    if (p.run != nullptr) sk::ui::start(p.run, p.stack_size);
}

// Displays every control again, unless the accept-all pass is running.
void redisplay(sk::ui::Window& frame) {
    if (frame.property(0, sk::ui::kPropAcceptAll) != "1") sk::ui::display();
}

}  // namespace

std::span<const MenuProcedure> menu_procedures() { return kMenu; }

const MenuProcedure* opening_procedure() { return find_item(kItemLocations); }

const char* about_text() {
    return "Sitekeeper\n\n"
           "Keeps a list of web sites by category, imports addresses from bookmark files, web pages and "
           "any text, and exports them as one web page.\n\n"
           "Version 0.1. Free software from the Sitekeeper developers.";
}

void Main() {
    const std::int32_t own_request = PendingRequest;
    (void)own_request;
    std::int32_t own_response = ResponseCancelled;
    PendingRequest = 0;
    LastResponse = 0;
    // A right-button press that led here is not a key for the frame.
    if (sk::ui::keycode() == kKeyRightButton) sk::ui::setkeycode(0);

    sk::ui::Window frame(sk::ui::WindowType::kApplication, "LKDB32$lkdb3004", "MAIN$APPFRAME");
    if (!frame.open()) {
        LastResponse = own_response;
        return;
    }
    restore_window_position(frame, "Main");
    for (const MenuProcedure& p : kMenu)
        if (p.run == nullptr) sk::ui::set_menu_item_enabled(frame, p.field, false);
    if (const MenuProcedure* first = opening_procedure(); first != nullptr && first->run != nullptr)
        sk::ui::start(first->run, kOpeningStackSize);

    bool initialized = false;
    while (frame.accept()) {
        switch (sk::ui::event()) {
            case sk::ui::kEventOpenWindow:
                if (!initialized) {
                    redisplay(frame);
                    initialized = true;
                }
                break;
            case sk::ui::kEventGainFocus:
                redisplay(frame);
                initialized = true;
                break;
            case sk::ui::kEventRejected:
                sk::platform::display::beep();
                sk::ui::display(sk::ui::field(), sk::ui::field());
                break;
            default:
                break;
        }
        if (sk::ui::event() == sk::ui::kEventAccepted) {
            const std::int32_t item = sk::ui::field();
            if (item == kItemAbout) {
                sk::rt::present_message({"About", about_text(), sk::rt::kButtonOk, sk::rt::kButtonOk, sk::rt::kIconNone});
            } else if (const MenuProcedure* p = find_item(item)) {
                start_procedure(*p);
            }
        }
    }
    if (frame.is_open()) {
        save_window_position(frame, "Main");
        frame.close();
    }
    LastResponse = own_response;
}

}  // namespace sk::app
