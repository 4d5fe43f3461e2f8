// UpdateCategories: the form for one category, with the list of its sites on the
// "Locations" tab. Renames and deletes carry through to the sites (the integrity
// routines); the sites themselves are changed through UpdateLINKDB.
#include <cstring>
#include <string>

#include "app/browse_page.h"
#include "app/browse_procedure.h"
#include "app/dictionary.h"
#include "app/html_export.h"
#include "app/integrity.h"
#include "app/procedures.h"
#include "app/select_list.h"
#include "app/update_actions.h"
#include "app/window_placement.h"
#include "data/file_layer.h"
#include "data/view.h"
#include "platform/display/display.h"
#include "platform/display/window.h"
#include "runtime/bind.h"
#include "runtime/error.h"
#include "ui/controls/variable.h"
#include "ui/event.h"
#include "ui/window.h"

namespace sk::app {

namespace ui = sk::ui;
namespace rt = sk::rt;
namespace sd = sk::data;

namespace {

constexpr std::int32_t kSheet = 1;
constexpr std::int32_t kCategoryEntry = 3;
constexpr std::int32_t kSiteList = 4;
constexpr std::int32_t kInsertButton = 5, kChangeButton = 6, kDeleteButton = 7;
constexpr std::int32_t kOkButton = 8, kCancelButton = 9;

constexpr const char* kLimitName = "BRW2::Sort1:Reset:CAT:Category";

constexpr UpdateButtons kSiteButtons{kInsertButton, kChangeButton, kDeleteButton};

}  // namespace

void UpdateCategories() {
    const std::int32_t own_request = PendingRequest;
    std::int32_t own_response = ResponseCancelled;
    PendingRequest = 0;
    LastResponse = 0;
    if (ui::keycode() == kListKeyRightButton) ui::setkeycode(0);
    use_categories();
    use_linkdb();
    bind_file_fields();
    // The name the form started with, so that a rename is carried to the sites.
    SaveCategoryKey();
    const CategoriesRecord saved_record = cat_record;
    const auto release_files = [] {
        release_linkdb();
        release_categories();
    };

    if (own_request == RequestDelete) {
        own_response = delete_category_request();
        release_files();
        LastResponse = own_response;
        return;
    }

    char limit[kCategorySize];
    std::memset(limit, ' ', sizeof limit);
    // The filter is compiled whenever the view opens; the name is bound to this
    // form's limit again before each page operation, since another form may have
    // bound it to its own meanwhile.
    const auto bind_limit = [&] {
        bind_file_fields();
        rt::bind_name(kLimitName, rt::bound_string(limit, sizeof limit));
    };
    bind_limit();

    sd::FileControlBlock view;
    sd::init_view_block(&view, &LINKDB);
    BrowsePage page(category_sites_spec(&view, limit, kLimitName));
    ui::RowSource rows{&page.queue(), category_sites_fields()};
    rt::BoundVariable category = rt::bound_string(cat_record.category, kCategorySize);
    void* bindings[] = {&category, &rows, nullptr};

    ui::Window w(ui::WindowType::kWindow, "LKDB32$lkdb3007", "UPDATECATEGORIES$QUICKWINDOW", bindings);
    if (!w.open()) {
        page.close_view();
        release_files();
        LastResponse = own_response;
        return;
    }
    restore_window_position(w, "UpdateCategories");
    if (own_request == RequestInsert)
        sk::platform::display::set_window_text(w.handle(), "Adding a Categories Record");
    else if (own_request == RequestChange)
        sk::platform::display::set_window_text(w.handle(), "Changing a Categories Record");
    const bool edits = own_request == RequestInsert || own_request == RequestChange;
    alert_browse_keys(w);
    SelectList list(page, w, kSiteList);

    const auto refresh = [&](bool forced) {
        bind_limit();
        list.refresh(forced, false);
        w.set_property(kChangeButton, ui::kPropDisabled, page.change_enabled() ? "0" : "1");
        w.set_property(kDeleteButton, ui::kPropDisabled, page.change_enabled() ? "0" : "1");
    };

    // A site of the list through the site form, on this thread.
    const auto update_site = [&](std::int32_t request) {
        bind_limit();
        list.measure();
        const bool had_entries = page.get_record();
        if (request != RequestInsert && !had_entries) return;
        if (request == RequestInsert) {
            sd::get_pointer(&LINKDB, 0);
            clear_site_record();
            std::memcpy(url_record.category, limit, kCategorySize);
        }
        page.close_view();
        // The site form reads Categories for its own check. The category being
        // edited here must come back as it was, buffer and file position both, or
        // the OK below would write it over whichever category the site named.
        const CategoriesRecord editing = cat_record;
        const std::string position = sd::position(&Categories);
        PendingRequest = request;
        UpdateLINKDB();
        const std::int32_t response = LastResponse;
        if (!position.empty() && own_request == RequestChange) {
            rt::push_error_state();
            sd::reget(&Categories, position);
            rt::pop_error_state();
        }
        cat_record = editing;
        bind_limit();
        page_after_update(page, request, response);
        list.show();
        w.select(kSiteList);
        refresh(false);
    };
    const auto save = [&] {
        save_form(w, own_request, &insert_category, &change_category, kCategoryEntry, own_response,
                  [&] { cat_record = saved_record; });
    };

    bool initialized = false;
    while (w.accept()) {
        const int e = w.event();
        const std::int32_t f = w.field();
        switch (e) {
            case ui::kEventOpenWindow:
                if (!initialized) refresh(true);
                initialized = true;
                w.select(kCategoryEntry);
                continue;
            case ui::kEventGainFocus:
            case ui::kEventSized:
                refresh(true);
                initialized = true;
                continue;
            case ui::kEventRejected:
                sk::platform::display::beep();
                w.display(f);
                continue;
            case ui::kEventCompleted:
                if (edits) save();
                else w.post(ui::kEventCloseWindow);
                continue;
            case ui::kEventCloseWindow:
                if (own_response != ResponseDone) cat_record = saved_record;
                continue;
            case ui::kEventPreAlert:
                // The alerted keys belong to the site list; elsewhere (Delete in the
                // category entry) they keep their usual meaning.
                if (f != kSiteList) w.cycle();
                continue;
            default: break;
        }
        if (f == kSheet) {
            if (e == ui::kEventAccepted || e == ui::kEventNewSelection || e == ui::kEventTabChanging ||
                e == ui::kEventSelected)
                refresh(false);
            continue;
        }
        if (f == kSiteList) {
            // The pass accepts the list too; that is no request for a change.
            if (form_accept_all(w)) continue;
            bind_limit();
            if (list.handle_event(e)) continue;
            if (e == ui::kEventNewSelection) {
                page.selection_handled();
                update_popup(w, page.has_entries(), kSiteButtons);
            } else if (e == ui::kEventAlertKey) {
                if (const std::int32_t target = alerted_button(w.keycode(), page.has_entries(), kSiteButtons)) {
                    if (w.keycode() == kListKeyDoubleClick) page.load_highlighted();
                    w.post(ui::kEventAccepted, target);
                }
            } else if (e == ui::kEventAccepted) {
                // Enter and the double click on a row change it.
                if (page.has_entries()) w.post(ui::kEventAccepted, kChangeButton);
            } else if (e == ui::kEventLocate) {
                const unsigned char c = w.current_event() ? w.current_event()->key_char : 0;
                if (c >= 0x20 && page.has_entries()) {
                    std::memcpy(url_record.category, limit, kCategorySize);
                    set_fixed(url_record.location, std::string_view(reinterpret_cast<const char*>(&c), 1));
                    list.measure();
                    page.locate(2);
                    list.show();
                }
            }
            continue;
        }
        if (e != ui::kEventAccepted) continue;
        if (form_accept_all(w)) continue;  // the pass accepts the buttons too
        switch (f) {
            case kOkButton:
                if (edits) w.select(0);
                else w.post(ui::kEventCompleted);
                break;
            case kCancelButton:
                own_response = ResponseCancelled;
                w.post(ui::kEventCloseWindow);
                break;
            case kInsertButton: update_site(RequestInsert); break;
            case kChangeButton: update_site(RequestChange); break;
            case kDeleteButton: update_site(RequestDelete); break;
            default: break;
        }
    }
    page.close_view();
    release_files();
    if (w.is_open()) {
        save_window_position(w, "UpdateCategories");
        w.close();
    }
    LastResponse = own_response;
}

}  // namespace sk::app
