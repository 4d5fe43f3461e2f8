// The event loop shared by the three browse procedures: the page of a BrowsePage
// shown in an immediate list, the sort order following the sheet's tab, the
// update buttons, the right-button popup and the closing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/browse_page.h"
#include "data/control_blocks.h"
#include "ui/controls/variable.h"

namespace sk::ui {
class Window;
}

namespace sk::app {

// Key codes a browse list alerts: Insert, Delete and Ctrl+Enter (the double click
// is kListKeyDoubleClick).
inline constexpr std::uint32_t kBrowseKeyInsert = 0x2D, kBrowseKeyDelete = 0x2E, kBrowseKeyCtrlEnter = 0x20D;

// The update buttons of a browse.
struct UpdateButtons {
    std::int32_t insert = 0, change = 0, remove = 0;
};

// The sites of one category, in location order, with the location first in the
// page entry: the filter compares URL:Category with limit_name, the bound name of
// limit, which is refreshed from CAT:CATEGORY.
BrowseSpec category_sites_spec(sk::data::FileControlBlock* view, char* limit, const std::string& limit_name);
// The page entry's fields of category_sites_spec, as the list shows them.
std::vector<sk::ui::QueueField> category_sites_fields();

// Alerts the browse keys on the window's lists.
void alert_browse_keys(sk::ui::Window& w);
// The right-button popup of a browse list: the key code is cleared, and the choice
// posts Accepted to its button. Change and Delete are greyed on an empty page.
void update_popup(sk::ui::Window& w, bool has_entries, const UpdateButtons& buttons);
// The button an alerted key presses (0 for none): with an empty page only Insert
// acts; a double click or Ctrl+Enter changes the highlighted record.
std::int32_t alerted_button(std::uint32_t key, bool has_entries, const UpdateButtons& buttons);
// After the update form answered: the page rebuilt around the row it concerned
// (positioned on the record written, or without the record deleted).
void page_after_update(BrowsePage& page, std::int32_t request, std::int32_t response);

struct BrowseWindow {
    std::string module, label, section;  // window definition and INI section
    std::int32_t list = 1, sheet = 0;
    std::int32_t insert = 0, change = 0, remove = 0, close = 0;
    std::int32_t select_category = 0, clipboard = 0, locations = 0;
    std::vector<sk::ui::QueueField> fields;  // the page entry's fields, as the list shows them
    // The sort order of the selected tab (1-based).
    std::function<int(int tab)> order_of_tab = [](int) { return 1; };
    std::function<void(int order)> before_insert;  // clears the record and presets an insert
    std::function<void()> update;         // the update procedure
    std::function<void(int order, char c)> locate_key;  // a typed character into the key value
    std::function<void()> locations_action;
    std::function<void()> bind_names;  // the bound names, made again before every event
};

// Runs the browse until its window closes; the page is built from spec.
void run_browse(BrowseWindow& setup, BrowseSpec spec);

}  // namespace sk::app
