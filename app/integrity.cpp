// The referential-integrity routines and their transaction brackets.
#include "app/integrity.h"

#include <cstring>
#include <string>
#include <vector>

#include "app/dictionary.h"
#include "app/standard_messages.h"
#include "data/file_layer.h"
#include "platform/clock.h"
#include "runtime/error.h"
#include "runtime/locale.h"

namespace sk::app {

namespace sd = sk::data;

namespace {

// A busy lock is worth waiting for; anything else fails at once.
bool is_busy(int code) { return code == sk::rt::kFileAlreadyLocked || code == sk::rt::kRecordAlreadyHeld; }

// Warning 15 names the probable cause: another station's change, or the file.
int show_update_error(const char* file_label) {
    const bool changed = sk::rt::error_code() == sk::rt::kRecordChangedByAnother;
    return ShowStandardMessage(15, changed ? "Record Changed by Another Station" : file_label);
}

// Positions URL:K_CATEGORY at the first site of category (clipped), the lowest
// location first.
int position_at_category(const char* category) {
    std::memset(&url_record, ' ', sizeof url_record);
    std::memset(url_record.rating, 0, sizeof url_record.rating);
    std::memcpy(url_record.category, category, kCategorySize);
    std::memset(url_record.location, 0, sizeof url_record.location);
    return sd::set_key_value(&LINKDB, &url_k_category, &url_k_category);
}

// The site key compares categories without regard to case, so a scan that starts at
// one category's name also meets the sites whose category differs from it only in
// case. Those belong to no category of this name and are passed over; the scan ends
// at the first name that differs otherwise.
bool same_category_ignoring_case(const char* a, const char* b) {
    const std::string x = fixed_text(a, kCategorySize), y = fixed_text(b, kCategorySize);
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i)
        if (sk::rt::upper_char(static_cast<unsigned char>(x[i])) != sk::rt::upper_char(static_cast<unsigned char>(y[i])))
            return false;
    return true;
}

}  // namespace

bool same_category(const char* a, const char* b) {
    return fixed_text(a, kCategorySize) == fixed_text(b, kCategorySize);
}

int begin_transaction(int wait_seconds, std::initializer_list<sd::FileControlBlock*> files) {
    std::vector<sd::FileControlBlock*> enlisted;
    const std::uint32_t start = sk::platform::tick_hundredths();
    const std::uint32_t limit = std::uint32_t(wait_seconds < 0 ? 0 : wait_seconds) * 100;
    for (sd::FileControlBlock* file : files) {
        int result = sd::logout(file);
        while (result != 0 && is_busy(result) && sk::platform::tick_hundredths() - start < limit) {
            sd::lock_wait();
            result = sd::logout(file);
        }
        if (result != 0) {
            sk::rt::push_error_state();
            for (sd::FileControlBlock* done : enlisted) sd::rollback(done);
            sk::rt::pop_error_state();
            return result;
        }
        enlisted.push_back(file);
    }
    return 0;
}

// Whether the file still takes part in an open transaction. One COMMIT or
// ROLLBACK ends the whole transaction, every enlisted file with it, and the
// driver then refuses a second one on a file it has already ended.
bool still_enlisted(const sd::FileControlBlock* file) {
    return file->state != nullptr && (file->state->state_word & sd::kStateInTransaction) != 0;
}

int commit_transaction(std::initializer_list<sd::FileControlBlock*> files) {
    int first_failure = 0;
    for (sd::FileControlBlock* file : files) {
        if (!still_enlisted(file)) continue;
        const int result = sd::commit(file);
        if (result != 0 && first_failure == 0) first_failure = result;
    }
    return first_failure;
}

void rollback_transaction(std::initializer_list<sd::FileControlBlock*> files) {
    // The message about what failed has been shown already; the rollback's own
    // outcome must not replace the error state the caller may still report.
    sk::rt::push_error_state();
    for (sd::FileControlBlock* file : files)
        if (still_enlisted(file)) sd::rollback(file);
    sk::rt::pop_error_state();
}

void SaveCategoryKey() { std::memcpy(SavedCategory, cat_record.category, kCategorySize); }

std::int32_t IntegrityDeleteSite() {
    const std::string position = sd::position_key(&LINKDB, &url_k_location);
    if (begin_transaction(2, {&LINKDB}) != 0) {
        ShowStandardMessage(34, "Delete", "LINKDB");
        return 1;
    }
    if (sd::reget_key(&LINKDB, &url_k_location, position) != 0 || sd::delete_record(&LINKDB) != 0) {
        ShowStandardMessage(17, "LINKDB");
        rollback_transaction({&LINKDB});
        return 1;
    }
    if (commit_transaction({&LINKDB}) != 0) {
        ShowStandardMessage(17, "LINKDB");
        rollback_transaction({&LINKDB});
        return 1;
    }
    return 0;
}

std::int32_t IntegrityUpdateSite() {
    if (begin_transaction(2, {&LINKDB}) != 0) {
        ShowStandardMessage(34, "Update", "LINKDB");
        return 1;
    }
    if (sd::put(&LINKDB) != 0) {
        show_update_error("LINKDB");
        rollback_transaction({&LINKDB});
        return 1;
    }
    if (commit_transaction({&LINKDB}) != 0) {
        show_update_error("LINKDB");
        rollback_transaction({&LINKDB});
        return 1;
    }
    return 0;
}

std::int32_t DeleteSitesOfCategory() {
    if (position_at_category(cat_record.category) != 0) {
        ShowStandardMessage(35, "LINKDB");
        return 1;
    }
    for (;;) {
        const int result = sd::next(&LINKDB);
        if (result == sk::rt::kRecordNotAvailable) return 0;
        if (result != 0) {
            ShowStandardMessage(35, "LINKDB");
            return 1;
        }
        if (!same_category(url_record.category, cat_record.category)) {
            if (same_category_ignoring_case(url_record.category, cat_record.category)) continue;
            return 0;
        }
        if (sd::delete_record(&LINKDB) != 0 && ShowStandardMessage(17, "LINKDB") != 0) return 1;
    }
}

std::int32_t RenameSitesOfCategory() {
    // A site written with the new name leaves the old name's range of the key, so
    // each pass starts again at the first site that still carries the old name.
    // Sites that stay in the range (a write that failed while the user chose to go
    // on, a category differing only in case) come first in it on every pass:
    // count them to skip them.
    std::int64_t passed_over = 0;
    for (;;) {
        if (position_at_category(SavedCategory) != 0) {
            ShowStandardMessage(35, "LINKDB");
            return 1;
        }
        int result = 0;
        for (std::int64_t i = 0; i <= passed_over && result == 0; ++i) result = sd::next(&LINKDB);
        if (result == sk::rt::kRecordNotAvailable) return 0;
        if (result != 0) {
            ShowStandardMessage(35, "LINKDB");
            return 1;
        }
        if (!same_category(url_record.category, SavedCategory)) {
            if (!same_category_ignoring_case(url_record.category, SavedCategory)) return 0;
            ++passed_over;
            continue;
        }
        std::memcpy(url_record.category, cat_record.category, kCategorySize);
        if (sd::put(&LINKDB) != 0) {
            if (ShowStandardMessage(15, "LINKDB") != 0) return 1;
            ++passed_over;
        }
    }
}

std::int32_t IntegrityDeleteCategory() {
    const std::string position = sd::position_key(&Categories, &cat_k_category);
    use_linkdb();
    bind_file_fields();  // the memo is there once LINKDB is open
    if (begin_transaction(2, {&Categories, &LINKDB}) != 0) {
        ShowStandardMessage(34, "Delete", "Categories");
        release_linkdb();
        return 1;
    }
    auto fail = [] {
        rollback_transaction({&Categories, &LINKDB});
        release_linkdb();
        return std::int32_t{1};
    };
    if (sd::reget_key(&Categories, &cat_k_category, position) != 0) {
        ShowStandardMessage(35, "Categories");
        return fail();
    }
    if (DeleteSitesOfCategory() != 0) return fail();
    if (sd::delete_record(&Categories) != 0) {
        ShowStandardMessage(17, "Categories");
        return fail();
    }
    if (commit_transaction({&Categories, &LINKDB}) != 0) {
        ShowStandardMessage(17, "Categories");
        return fail();
    }
    release_linkdb();
    return 0;
}

std::int32_t IntegrityUpdateCategory() {
    use_linkdb();
    bind_file_fields();
    if (begin_transaction(2, {&Categories, &LINKDB}) != 0) {
        ShowStandardMessage(34, "Update", "Categories");
        release_linkdb();
        return 1;
    }
    auto fail = [] {
        rollback_transaction({&Categories, &LINKDB});
        release_linkdb();
        return std::int32_t{1};
    };
    if (sd::put(&Categories) != 0) {
        show_update_error("Categories");
        return fail();
    }
    if (!same_category(SavedCategory, cat_record.category) && RenameSitesOfCategory() != 0) return fail();
    if (commit_transaction({&Categories, &LINKDB}) != 0) {
        show_update_error("Categories");
        return fail();
    }
    release_linkdb();
    return 0;
}

}  // namespace sk::app
