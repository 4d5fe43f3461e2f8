// The update forms' save, delete and lookup actions.
#include "app/update_actions.h"

#include <cstring>

#include "app/dictionary.h"
#include "app/integrity.h"
#include "app/procedures.h"
#include "app/select_list.h"
#include "app/standard_messages.h"
#include "data/file_layer.h"
#include "data/view.h"
#include "platform/display/display.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "runtime/locale.h"
#include "ui/event.h"
#include "ui/window.h"

namespace sk::app {

namespace sd = sk::data;
namespace display = sk::platform::display;

namespace {

std::int32_t delete_request(std::int32_t (*routine)()) {
    if (ShowStandardMessage(32) != sk::rt::kButtonOk) return ResponseCancelled;
    for (;;) {
        std::int32_t failed;
        {
            BusyCursor busy;
            failed = routine();
        }
        if (failed == 0) return ResponseDone;
        if (ShowStandardMessage(18) != sk::rt::kButtonYes) return ResponseCancelled;
    }
}

SaveOutcome insert(sd::FileControlBlock* file, sd::KeyControlBlock* unique, const char* key_name) {
    const int result = sd::add(file);
    if (result == 0) return SaveOutcome::kDone;
    // The DUPLICATE query must not replace the ADD's error, which warning 14 quotes.
    sk::rt::push_error_state();
    const bool duplicate = result == sk::rt::kCreatesDuplicateKey && sd::duplicate_key(file, unique);
    sk::rt::pop_error_state();
    ShowStandardMessage(duplicate ? 24 : 14, duplicate ? key_name : "");
    return SaveOutcome::kStay;
}

SaveOutcome change(std::int32_t (*routine)()) {
    for (;;) {
        std::int32_t failed;
        {
            BusyCursor busy;
            failed = routine();
        }
        if (failed == 0) return SaveOutcome::kDone;
        const int answer = ShowStandardMessage(16);
        if (answer == sk::rt::kButtonYes) continue;
        if (answer == sk::rt::kButtonNo) return SaveOutcome::kCancelled;
        return SaveOutcome::kStay;
    }
}

}  // namespace

BusyCursor::BusyCursor() {
    if (display::is_display_open()) {
        m_saved = display::current_cursor();
        display::set_cursor(display::Cursor::kWait);
        m_set = true;
    }
}

BusyCursor::~BusyCursor() {
    if (m_set) display::set_cursor(m_saved);
}

std::int32_t delete_site_request() { return delete_request(&IntegrityDeleteSite); }
std::int32_t delete_category_request() { return delete_request(&IntegrityDeleteCategory); }

SaveOutcome insert_site() { return insert(&LINKDB, &url_k_location, "Site Location"); }
SaveOutcome insert_category() { return insert(&Categories, &cat_k_category, "Category"); }

SaveOutcome change_site() { return change(&IntegrityUpdateSite); }
SaveOutcome change_category() { return change(&IntegrityUpdateCategory); }

void save_form(sk::ui::Window& w, std::int32_t request, SaveOutcome (*insert_record)(), SaveOutcome (*change_record)(),
               std::int32_t first_field, std::int32_t& response, const std::function<void()>& restore) {
    SaveOutcome outcome = SaveOutcome::kCancelled;
    if (request == RequestInsert) outcome = insert_record();
    else if (request == RequestChange) outcome = change_record();
    switch (outcome) {
        case SaveOutcome::kDone:
            response = ResponseDone;
            w.post(sk::ui::kEventCloseWindow);
            break;
        case SaveOutcome::kCancelled:
            restore();
            w.post(sk::ui::kEventCloseWindow);
            break;
        case SaveOutcome::kStay:
            redisplay_form(w);
            w.set_property(0, sk::ui::kPropAcceptAll, "0");
            w.select(first_field);
            break;
    }
}

bool site_category_exists() {
    std::memcpy(cat_record.category, url_record.category, kCategorySize);
    if (sd::get_key(&Categories, &cat_k_category) == 0) return true;
    ShowStandardMessage(11, "URL:Category", "Categories");
    return false;
}

int load_category_queue(sd::Queue& queue) {
    queue.free();
    // The categories are read through a view of their own, so the form's file
    // position stays where the caller left it.
    sd::FileControlBlock view;
    sd::init_view_block(&view, &Categories);
    const CategoriesRecord saved = cat_record;
    int result = sd::set(&Categories);
    if (result == 0) result = sd::view_property(&view, std::to_string(sd::kViewFilterProperty), "");
    if (result == 0) result = sd::open(&view, 0x22);
    if (result != 0) {
        ShowStandardMessage(36);
        cat_record = saved;
        return 0;
    }
    for (;;) {
        result = sd::next(&view);
        if (result == sk::rt::kRecordNotAvailable) break;
        if (result != 0) {
            ShowStandardMessage(35, "Categories");
            sd::close(&view);
            cat_record = saved;
            return -1;
        }
        queue.add(cat_record.category);
    }
    sd::close(&view);
    cat_record = saved;
    if (queue.count() == 0) {
        set_fixed(url_record.category, "");
        return 0;
    }
    // Ascending in the locale's collation order, as the user reads names.
    queue.sort([](const void* a, const void* b) {
        const std::string x = fixed_text(static_cast<const char*>(a), kCategorySize);
        const std::string y = fixed_text(static_cast<const char*>(b), kCategorySize);
        return sk::rt::compare_strings(x.c_str(), y.c_str());
    });
    if (fixed_text(url_record.category).empty()) return 0;
    for (std::size_t row = 1; row <= queue.count(); ++row)
        if (std::memcmp(queue.at(row), url_record.category, kCategorySize) == 0) return int(row);
    return 0;
}

}  // namespace sk::app
