// Transactions over several physical files (LOGOUT, COMMIT, ROLLBACK) through
// the transaction control file, and the decision at open whether a pending
// journal belongs to a transaction that completed. One process-wide list of
// enlisted files; the caller serialises statements.
#pragma once

#include <string>

#include "data/ksf/ksf_file.h"

namespace sk::ksf {

struct KsfTable;

void set_transaction_control_file(const std::string& name);
// Whether file is enlisted in the running transaction (its statements do not commit).
bool in_transaction(const KsfFile& file);
// LOGOUT: enlists the table's physical file (once).
void enlist(KsfTable& table);
// A table going away leaves the list of enlisted tables.
void forget_table(KsfTable* table);
// COMMIT: one file commits alone; several go through the control file. Returns
// 0 or the error of the file that failed (every file then keeps its old state).
int commit_transaction();
// ROLLBACK: every enlisted file drops its cached changes.
void rollback_transaction();

// Installed on every KsfFile the driver opens: a pending journal of a file
// whose link record names a transaction still listed in its control file is
// discarded.
bool journal_completed(KsfFile& file, const Header& journal_header);

}  // namespace sk::ksf
