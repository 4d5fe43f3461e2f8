// The KESTREL driver's operations, shared by the files that carry them out:
// driver.cpp (descriptor, SEND, dispatch), driver_open.cpp (per-table state,
// physical files, OPEN, CREATE, REMOVE, COPY, RENAME, CLOSE), driver_read.cpp
// (sequences, NEXT, PREVIOUS, GET, queries), driver_write.cpp (ADD, PUT,
// DELETE, BUILD, EMPTY, LOCK) and driver_memo.cpp (the memo operations).
// Operations return driver results: 0, an error number, or -1.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "data/file_layer.h"
#include "data/ksf/ksf_table.h"
#include "data/ksf/transaction.h"
#include "runtime/error.h"

namespace sk::ksf::driver {

using sk::data::DriverCall;
using sk::data::FileControlBlock;
using sk::data::KeyControlBlock;
using sk::data::OperationArgs;

// --- physical files and helpers (driver_open.cpp) ------------------------------

// Physical files of the process, by full path; shared by the tables in them.
std::map<std::string, std::weak_ptr<KsfFile>>& open_files();
std::string upper(std::string s);
// text without NUL and what follows, and without surrounding blanks.
std::string trimmed(std::string_view text);
// A platform failure as a driver result.
int system_result(int error);
// Finds the open physical file or opens it (Returns a driver result).
int get_file(const std::string& path, unsigned mode, bool create_missing, const std::string& password,
             std::shared_ptr<KsfFile>* out);
// Gives up a table's use of its physical file; the last user closes it.
void drop_file(std::shared_ptr<KsfFile>& file);

// A statement bracket on the table's physical file: a successful statement
// commits (unless a transaction holds the changes), a failed one leaves the file
// as it was.
class Bracket {
public:
    explicit Bracket(KsfFile& file) : m_file(file) {}
    ~Bracket() {
        if (m_active) finish(-1);
    }
    int begin(bool writing) {
        m_active = true;
        const int rc = m_file.begin_statement(writing);
        return rc == 1 ? sk::rt::kInvalidDataFile : rc;
    }
    int finish(int result) {
        if (!m_active) return result;
        m_active = false;
        // Inside a transaction or a stream the changes of earlier statements are
        // still uncommitted: a failed statement has undone its own work instead.
        const bool shared_changes = in_transaction(m_file) || m_file.streaming();
        if (result != 0 && !shared_changes && m_file.header_dirty()) m_file.rollback();
        const bool defer = in_transaction(m_file) ||
                           (m_file.streaming() && m_file.dirty_count() < KsfFile::kStreamPages);
        const int rc = m_file.end_statement(defer);
        return result == 0 ? rc : result;
    }

private:
    KsfFile& m_file;
    bool m_active = false;
};

// --- state, names and tables (driver_open.cpp) ---------------------------------

int create_state(FileControlBlock* file);
void release_state(FileControlBlock* file);
void release_held(KsfTable& t);
int table_paths(KsfTable& t);
// The key part of a table's name record.
std::string name_key(std::string_view table);

int do_open(DriverCall& call, KsfTable& t);
int do_create(KsfTable& t);
int do_remove(KsfTable& t);
int do_copy(DriverCall& call, KsfTable& t, bool rename);
int do_close(DriverCall& call, KsfTable& t);

// --- reading (driver_read.cpp) -------------------------------------------------

const KeyInfo* key_of_block(KsfTable& t, KeyControlBlock* block);
// The 0-based number of a key block of the table, -1 for a foreign one.
int key_index(KsfTable& t, KeyControlBlock* block);
// The encoded value of key for a disk image.
std::string value_of(const KsfTable& t, const KeyInfo& key, std::string_view disk);
// Reads data record recno: 0, or kTreeNone.
int read_data(KsfTable& t, Id recno, std::string* disk);
// A record number from the first bytes of a position text.
Id id_of_text(std::string_view text);

int do_next(KsfTable& t, bool forward);
int do_skip(KsfTable& t, std::int64_t n);
int do_look_ahead(KsfTable& t, bool forward);
int do_get_key(KsfTable& t, KeyControlBlock* block);
int do_get_pointer(KsfTable& t, std::int64_t pointer);
int do_records(KsfTable& t, KeyControlBlock* block, std::int64_t* out);
int do_duplicate(KsfTable& t, KeyControlBlock* block, bool* out);

// --- changing (driver_write.cpp) -----------------------------------------------

int do_add(KsfTable& t, bool with_keys);
int do_put(KsfTable& t);
// PUT of the record buffer over the record numbered pointer, which becomes the
// current record; 35 when there is no such record.
int do_put_pointer(KsfTable& t, std::int64_t pointer);
int do_delete(KsfTable& t);
int do_build(KsfTable& t, KeyControlBlock* only);
int do_empty(KsfTable& t);
int do_lock(KsfTable& t, bool with_timeout, std::int64_t seconds);

// --- memos (driver_memo.cpp) ---------------------------------------------------

int do_memo_op(DriverCall& call, KsfTable& t);

}  // namespace sk::ksf::driver
