// The event loop shared by the three browse procedures: the page of a BrowsePage
// shown in an immediate list, the sort order following the sheet's tab, the
// update buttons, the right-button popup and the closing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/browse_page.h"
#include "ui/controls/variable.h"

namespace sk::app {

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
    std::function<void()> bind_names;  // the bound names, before each opening of the view
};

// Runs the browse until its window closes; the page is built from spec.
void run_browse(BrowseWindow& setup, BrowseSpec spec);

}  // namespace sk::app
