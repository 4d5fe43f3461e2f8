// What the update forms do with the record once the user has decided: the delete
// confirmation and its retries, the insert with its duplicate check, the change
// with its retries, the category lookup of the site form, and the category list
// that feeds its combo. The form procedures call these from their event loops.
#pragma once

#include <cstdint>
#include <functional>

#include "data/queue.h"
#include "platform/display/display.h"

namespace sk::ui {
class Window;
}

namespace sk::app {

// The system wait cursor for the life of the object, when there is a display to
// show it; the cursor before it comes back at the end.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    bool m_set = false;
    sk::platform::display::Cursor m_saved = sk::platform::display::Cursor::kArrow;
};

// The outcome of a save attempt, as the form goes on from it.
enum class SaveOutcome {
    kDone,       // written: the form closes with ResponseDone
    kCancelled,  // not written: the form closes with ResponseCancelled
    kStay,       // not written: the form stays open with the focus on its first field
};

// Delete requests, which never open the window: warning 32 to confirm, then the
// integrity routine, retried through warning 18 while the user answers Yes.
// Returns ResponseDone or ResponseCancelled.
std::int32_t delete_site_request();
std::int32_t delete_category_request();

// Insert: ADD the record in the buffer. A duplicate of the form's unique key shows
// warning 24 naming "Site Location" (or "Category"); another failure warning 14.
SaveOutcome insert_site();
SaveOutcome insert_category();

// Change: the integrity routine, retried through warning 16: Yes tries again, No
// closes without the change, Cancel goes back to editing.
SaveOutcome change_site();
SaveOutcome change_category();

// A form's save once its accept-all pass completed: the request's insert or
// change, then the form closes (with response ResponseDone after a write; restore
// puts the buffer back as it was handed in when nothing was written) or stays
// open, its pass ended, with the focus on first_field.
void save_form(sk::ui::Window& w, std::int32_t request, SaveOutcome (*insert)(), SaveOutcome (*change)(),
               std::int32_t first_field, std::int32_t& response, const std::function<void()>& restore);

// The site form's category check: CAT:CATEGORY = URL:CATEGORY and the category
// read by its key. False (after warning 11) when there is no such category.
bool site_category_exists();

// Loads every category name into queue (entries of 15 bytes), sorted ascending.
// Blanks URL:CATEGORY when there are none. Returns the row of URL:CATEGORY's name
// (0 when it is blank or not there), or -1 after a read error (warning 35 shown:
// the form closes).
int load_category_queue(sk::data::Queue& queue);

}  // namespace sk::app
