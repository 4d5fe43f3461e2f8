// SelectCategories and SelectCategory: the category list reduced to picking one
// category, handed back to the caller in the Categories record buffer.
#include <cstring>

#include "app/browse_page.h"
#include "app/dictionary.h"
#include "app/procedures.h"
#include "app/select_list.h"
#include "app/window_placement.h"
#include "data/file_layer.h"
#include "data/view.h"
#include "platform/display/display.h"
#include "ui/controls/variable.h"
#include "ui/event.h"
#include "ui/popup.h"
#include "ui/window.h"

namespace sk::app {

namespace ui = sk::ui;
namespace sd = sk::data;

namespace {

// What differs between the two selects: their window and the field numbers of
// its controls (0 for a control the window does not have).
struct SelectWindow {
    const char* module;
    const char* label;
    const char* section;
    std::int32_t list;
    std::int32_t sheet;
    std::int32_t select;
    std::int32_t close;  // "Cl&ose": re-reads, then cancels
    std::int32_t guess;  // "Best &Guess": cancels
};

constexpr SelectWindow kSelectCategories{"LKDB32$lkdb3001", "SELECTCATEGORIES$QUICKWINDOW", "SelectCategories", 1, 3, 2, 4, 0};
constexpr SelectWindow kSelectCategory{"LKDB32$lkdb3016", "SELECTCATEGORY$QUICKWINDOW", "SelectCategory", 2, 1, 3, 0, 4};

BrowseSpec category_spec(sd::FileControlBlock* view) {
    BrowseSpec spec;
    spec.primary = &Categories;
    spec.view = view;
    spec.file_label = "Categories";
    spec.columns_size = kCategorySize;
    spec.store_columns = [](unsigned char* c) { std::memcpy(c, cat_record.category, kCategorySize); };
    spec.load_columns = [](const unsigned char* c) { std::memcpy(cat_record.category, c, kCategorySize); };
    spec.clear_record = [] { std::memset(cat_record.category, ' ', kCategorySize); };
    BrowseOrder by_name;
    by_name.key = &cat_k_category;
    by_name.distribution = BrowseOrder::Distribution::kText;
    by_name.component = cat_record.category;
    by_name.component_length = kCategorySize;
    spec.orders = {by_name};
    return spec;
}

void run_select(const SelectWindow& s) {
    const std::int32_t own_request = PendingRequest;
    std::int32_t own_response = ResponseCancelled;
    PendingRequest = 0;
    LastResponse = 0;
    if (ui::keycode() == kListKeyRightButton) ui::setkeycode(0);
    use_categories();
    bind_file_fields();
    const bool selecting = own_request == RequestSelect;

    sd::FileControlBlock view;
    sd::init_view_block(&view, &Categories);
    BrowsePage page(category_spec(&view));
    // The page entry: the category, the byte the page never sets, the position.
    ui::RowSource rows{&page.queue(),
                       {{0, sk::rt::kTypeString, kCategorySize, 0},
                        {kCategorySize, sk::rt::kTypeByte, 1, 0},
                        {kCategorySize + 1, sk::rt::kTypeString, std::uint32_t(kRowPositionSize), 0}}};
    void* bindings[] = {&rows, nullptr};
    ui::Window w(ui::WindowType::kWindow, s.module, s.label, bindings);
    if (!w.open()) {
        page.close_view();
        release_categories();
        LastResponse = own_response;
        return;
    }
    restore_window_position(w, s.section);
    if (ui::Control* select = w.control(s.select)) {
        select->set_hidden(!selecting);
        if (selecting) {
            select->set_disabled(false);
            show_as_default_button(select);
        }
    }
    w.set_property(0, ui::kPropAlertKeys, std::to_string(kListKeyDoubleClick));
    SelectList list(page, w, s.list);

    bool initialized = false;
    const auto choose = [&] {
        if (selecting) w.post(ui::kEventAccepted, s.select);
    };
    while (w.accept()) {
        const int e = w.event();
        const std::int32_t f = w.field();
        switch (e) {
            case ui::kEventOpenWindow:
                if (!initialized) {
                    list.refresh(true, selecting);
                    initialized = true;
                }
                w.select(s.list);
                continue;
            case ui::kEventGainFocus:
            case ui::kEventSized:
                list.refresh(true, selecting && !initialized);
                initialized = true;
                continue;
            case ui::kEventRejected:
                sk::platform::display::beep();
                w.display(f);
                continue;
            default: break;
        }
        if (f == s.list && f != 0) {
            if (list.handle_event(e)) continue;
            if (e == ui::kEventNewSelection) {
                // The right button: the one item, greyed unless there is a row to
                // pick. The press is answered here; left set, it would open the
                // popup again on the next new selection.
                page.selection_handled();
                ui::setkeycode(0);
                w.set_keycode(0);
                const bool can = selecting && page.has_entries();
                if (ui::popup(can ? "&Select" : "~&Select") == 1) w.post(ui::kEventAccepted, s.select);
            } else if (e == ui::kEventPreAlert) {
                // Only the list's keys are the list's.
            } else if (e == ui::kEventAlertKey) {
                if (w.keycode() == kListKeyDoubleClick) choose();
            } else if (e == ui::kEventAccepted) {
                // Enter and the double click on the list pick the highlighted row.
                choose();
            } else if (e == ui::kEventLocate) {
                const unsigned char c = w.current_event() ? w.current_event()->key_char : 0;
                if (c >= 0x20) {
                    set_fixed(cat_record.category, std::string_view(reinterpret_cast<const char*>(&c), 1));
                    list.measure();
                    page.locate(2);
                    list.show();
                }
            }
            continue;
        }
        if (f == s.sheet && f != 0) {
            if (e == ui::kEventAccepted || e == ui::kEventNewSelection || e == ui::kEventTabChanging ||
                e == ui::kEventSelected)
                list.refresh(false, false);
            continue;
        }
        if (e != ui::kEventAccepted) continue;
        if (f == s.select && f != 0) {
            if (!selecting) continue;
            // Only a category read back from the file is an answer: with an empty
            // list, or a row another station deleted, the buffer holds none, and
            // the list is brought up to date instead.
            if (!page.get_record()) {
                list.refresh(true, false);
                continue;
            }
            own_response = ResponseDone;
            w.post(ui::kEventCloseWindow);
        } else if (f == s.close && f != 0) {
            page.get_record();
            own_response = ResponseCancelled;
            w.post(ui::kEventCloseWindow);
        } else if (f == s.guess && f != 0) {
            own_response = ResponseCancelled;
            w.post(ui::kEventCloseWindow);
        }
    }
    page.close_view();
    release_categories();
    if (w.is_open()) {
        save_window_position(w, s.section);
        w.close();
    }
    LastResponse = own_response;
}

}  // namespace

void SelectCategories() { run_select(kSelectCategories); }
void SelectCategory() { run_select(kSelectCategory); }

}  // namespace sk::app
