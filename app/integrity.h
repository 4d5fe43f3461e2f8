// Referential integrity between sites and categories: every delete and every change
// of a stored record the update forms make, each inside a transaction.
//
// Deleting a category deletes its sites; renaming a category renames it in its
// sites. Each routine works on the record buffers of LINKDB and Categories (the
// caller has the record in the buffer and the file positioned on it) and returns 0
// when the change is done and committed, 1 when it failed, was rolled back and a
// standard message has been shown. No routine leaves a transaction open.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "data/control_blocks.h"

namespace sk::app {

// Deletes the current site.
std::int32_t IntegrityDeleteSite();
// Writes the current site back.
std::int32_t IntegrityUpdateSite();
// Deletes the current category and all its sites.
std::int32_t IntegrityDeleteCategory();
// Writes the current category back, and renames it in its sites when the name
// differs from SavedCategory.
std::int32_t IntegrityUpdateCategory();
// SavedCategory = CAT:CATEGORY, when the category form starts a change.
void SaveCategoryKey();
// The cascades, inside the caller's transaction: 0 done, 1 failed (message shown).
std::int32_t DeleteSitesOfCategory();
std::int32_t RenameSitesOfCategory();

// The transaction brackets the routines use: every file enlisted (LOGOUT) with the
// given wait limit in seconds, or none of them; COMMIT and ROLLBACK over the same
// files. begin_transaction returns 0, or the error of the file that could not be
// enlisted after rolling back the ones that were (the error state is kept for the
// message).
int begin_transaction(int wait_seconds, std::initializer_list<sk::data::FileControlBlock*> files);
int commit_transaction(std::initializer_list<sk::data::FileControlBlock*> files);
void rollback_transaction(std::initializer_list<sk::data::FileControlBlock*> files);

// The category comparison of the cascades: bytes, trailing blanks ignored.
bool same_category(const char* a, const char* b);

}  // namespace sk::app
