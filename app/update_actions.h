// What the update forms do with the record once the user has decided: the delete
// confirmation and its retries, the insert with its duplicate check, the change
// with its retries, the category lookup of the site form, and the category list
// that feeds its combo. The form procedures call these from their event loops.
#pragma once

#include <cstdint>

#include "data/queue.h"

namespace sk::app {

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

// The site form's category check: CAT:CATEGORY = URL:CATEGORY and the category
// read by its key. False (after warning 11) when there is no such category.
bool site_category_exists();

// Loads every category name into queue (entries of 15 bytes), sorted ascending.
// Blanks URL:CATEGORY when there are none. Returns the row of URL:CATEGORY's name
// (0 when it is blank or not there), or -1 after a read error (warning 35 shown:
// the form closes).
int load_category_queue(sk::data::Queue& queue);

}  // namespace sk::app
