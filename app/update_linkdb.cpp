// UpdateLINKDB: the form for one site. Inserts and changes are edited in the
// window and written when OK's accept-all pass completes; deletes are confirmed
// and carried out without opening it.
#include <cctype>
#include <cstring>
#include <string>

#include "app/dictionary.h"
#include "app/procedures.h"
#include "app/select_list.h"
#include "app/update_actions.h"
#include "app/window_placement.h"
#include "data/queue.h"
#include "platform/display/display.h"
#include "platform/display/window.h"
#include "runtime/bind.h"
#include "ui/controls/variable.h"
#include "ui/event.h"
#include "ui/window.h"

namespace sk::app {

namespace ui = sk::ui;
namespace rt = sk::rt;

namespace {

// Field numbers of the site form.
constexpr std::int32_t kSheet = 1;
constexpr std::int32_t kLocationEntry = 3;  // the entry after the "&Location:" prompt (2)
constexpr std::int32_t kCategoryCombo = 7;
constexpr std::int32_t kOkButton = 14;
constexpr std::int32_t kCancelButton = 15;

bool same_name_ignoring_case(const char* a, const char* b, std::size_t n) {
    const std::string x = fixed_text(a, n), y = fixed_text(b, n);
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(x[i])) != std::toupper(static_cast<unsigned char>(y[i]))) return false;
    return true;
}

// The row of the category queue that holds name, 0 when none does.
std::size_t category_row(const sk::data::Queue& queue, const char* name) {
    for (std::size_t row = 1; row <= queue.count(); ++row)
        if (same_name_ignoring_case(reinterpret_cast<const char*>(queue.at(row)), name, kCategorySize)) return row;
    return 0;
}

}  // namespace

void UpdateLINKDB() {
    const std::int32_t own_request = PendingRequest;
    std::int32_t own_response = ResponseCancelled;
    PendingRequest = 0;
    LastResponse = 0;
    if (ui::keycode() == kListKeyRightButton) ui::setkeycode(0);
    use_categories();
    use_linkdb();
    bind_file_fields();

    // The record and memo as the caller handed them, given back when the form is
    // left without a write.
    const LinkdbRecord saved_record = url_record;
    char* memo = url_siteinfo_text();
    std::string saved_memo = memo != nullptr ? std::string(memo, kSiteInfoSize) : std::string();
    const auto restore_record = [&] {
        url_record = saved_record;
        if (memo != nullptr && url_siteinfo_text() == memo) std::memcpy(memo, saved_memo.data(), kSiteInfoSize);
    };
    const auto release_files = [] {
        release_linkdb();
        release_categories();
    };

    if (own_request == RequestDelete) {
        own_response = delete_site_request();
        release_files();
        LastResponse = own_response;
        return;
    }

    sk::data::Queue categories(kCategorySize);
    ui::RowSource category_rows{&categories, {{0, rt::kTypeString, kCategorySize, 0}}};
    rt::BoundVariable location = rt::bound_string(url_record.location, sizeof url_record.location);
    rt::BoundVariable description = rt::bound_string(url_record.description, sizeof url_record.description);
    rt::BoundVariable category = rt::bound_string(url_record.category, kCategorySize);
    rt::BoundVariable rating = rt::bound_decimal(url_record.rating, 2, 0);
    rt::BoundVariable keyword = rt::bound_string(url_record.keyword, sizeof url_record.keyword);
    // A null address leaves the text box unbound: no memo buffer, nothing to edit.
    rt::BoundVariable site_info = rt::bound_string(memo, kSiteInfoSize);
    void* bindings[] = {&location, &description, &category, &category_rows, &rating, &keyword, &site_info, nullptr};

    ui::Window w(ui::WindowType::kWindow, "LKDB32$lkdb3003", "UPDATELINKDB$QUICKWINDOW", bindings);
    if (!w.open()) {
        release_files();
        LastResponse = own_response;
        return;
    }
    restore_window_position(w, "UpdateLINKDB");
    if (own_request == RequestInsert)
        sk::platform::display::set_window_text(w.handle(), "Adding a LINKDB Record");
    else if (own_request == RequestChange)
        sk::platform::display::set_window_text(w.handle(), "Changing a LINKDB Record");
    const bool edits = own_request == RequestInsert || own_request == RequestChange;

    // Ends the accept-all pass with the focus on field.
    const auto stay_at = [&](std::int32_t field) {
        w.set_property(0, ui::kPropAcceptAll, "0");
        w.select(field);
    };
    const auto save = [&] {
        save_form(w, own_request, &insert_site, &change_site, kLocationEntry, own_response, restore_record);
    };

    bool initialized = false;
    while (w.accept()) {
        const int e = w.event();
        const std::int32_t f = w.field();
        switch (e) {
            case ui::kEventOpenWindow: {
                const int row = load_category_queue(categories);
                if (row < 0) {
                    w.post(ui::kEventCloseWindow);
                    continue;
                }
                w.display(kCategoryCombo);
                if (row > 0) w.set_property(kCategoryCombo, kPropListSelected, std::to_string(row));
                if (!initialized) redisplay_form(w);
                initialized = true;
                w.select(kLocationEntry);
                continue;
            }
            case ui::kEventGainFocus:
            case ui::kEventSized:
                redisplay_form(w);
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
                // The close box leaves without a write, as Cancel does.
                if (own_response != ResponseDone) restore_record();
                continue;
            default: break;
        }
        if (f == kSheet) {
            if (e == ui::kEventAccepted || e == ui::kEventNewSelection || e == ui::kEventTabChanging ||
                e == ui::kEventSelected)
                redisplay_form(w);
            continue;
        }
        if (e != ui::kEventAccepted) continue;
        if (f == kOkButton) {
            // The pass itself accepts the buttons too; they do nothing then.
            if (form_accept_all(w)) continue;
            if (edits) w.select(0);
            else w.post(ui::kEventCompleted);
        } else if (f == kCancelButton) {
            if (form_accept_all(w)) continue;
            own_response = ResponseCancelled;
            w.post(ui::kEventCloseWindow);
        } else if (f == kCategoryCombo) {
            // A name not in the list keeps the combo in focus; a name not in the
            // file stops the pass after warning 11.
            if (std::size_t row = category_row(categories, url_record.category))
                w.set_property(kCategoryCombo, kPropListSelected, std::to_string(row));
            else
                w.select(kCategoryCombo);
            if (!site_category_exists()) {
                stay_at(kCategoryCombo);
            } else if (std::memcmp(url_record.category, cat_record.category, kCategorySize) != 0) {
                // The key ignores case, the cascades of a rename or delete do not:
                // the site takes the category's own spelling.
                std::memcpy(url_record.category, cat_record.category, kCategorySize);
                w.display(kCategoryCombo);
            }
        }
    }
    release_files();
    if (w.is_open()) {
        save_window_position(w, "UpdateLINKDB");
        w.close();
    }
    LastResponse = own_response;
}

}  // namespace sk::app
