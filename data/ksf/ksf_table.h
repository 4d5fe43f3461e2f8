// KsfTable: the KESTREL driver's per-table state, and the record-level work
// its operations share: key entries kept in step with data records, counters,
// memo chunks, the OEM conversion of string fields, and stepping through a
// table's data records or one key's entries. Everything here runs inside a
// statement bracket of the table's physical file (KsfFile::begin_statement).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/control_blocks.h"
#include "data/ksf/definition.h"
#include "data/ksf/key_encoding.h"
#include "data/ksf/ksf_file.h"
#include "data/ksf/page_tree.h"
#include "data/ksf/record.h"

namespace sk::ksf {

struct KeyInfo {
    sk::data::KeyControlBlock* block = nullptr;
    KeyLayout layout;
    std::uint8_t number = 0;   // 0-based position in the declaration
    bool maintained = true;    // attribute bit 14 clear
    bool has_components = true;
};

struct MemoInfo {
    sk::data::MemoControlBlock* block = nullptr;
    std::uint32_t size = 0;     // allocated characters
    std::uint32_t used = 0;     // characters in use
    // A slice write since the memo was last read or written: its used length
    // then counts in the text stored, blanks at its end included. Otherwise
    // the text is the buffer without trailing blanks, whatever was read last.
    bool sliced = false;
    std::uintptr_t handle = 0;  // the global memory handle last stored (property 31894)
};

// Sequence modes: 2..8 as SET and RESET leave them, and the two continuing ones.
enum SequenceMode : int {
    kSeqNone = 0,
    kSeqFileStart = 2,
    kSeqFilePointer = 3,
    kSeqMode4 = 4,
    kSeqKeyStart = 5,
    kSeqKeyPosition = 6,
    kSeqKeyValue = 7,
    kSeqKeyValuePointer = 8,
    kSeqContinueFile = 9,
    kSeqContinueKey = 10,
};

// Which of a table's records have a memo that is not plainly empty, so that
// reading a record whose memos are all empty needs no lookup of its memo
// chunks. Built from the table's memo chunks once enough memo reads have
// run since the file last changed, and good while the file's content version
// is the one it was built at.
struct MemoSummary {
    std::uint64_t version = 0;          // the file's content version it belongs to
    std::uint64_t reads = 0;            // memo reads at that version
    bool built = false;
    bool unusable = false;              // the memo range holds a key that names no record
    std::vector<std::uint32_t> irregular;  // ascending: records with memo chunks other than an empty chunk 0
};

struct KsfTable : sk::data::DriverStateBase {
    sk::data::FileControlBlock* fcb = nullptr;
    std::string physical;      // full path of the physical file
    std::string table_name;    // upper case; "UNNAMED" without "\!"
    TableDefinition declared;
    std::vector<sk::data::FieldInfo> fields;
    std::vector<KeyInfo> keys;
    std::vector<MemoInfo> memos;
    bool oem = false;
    std::string password;      // the owner password; the file is enciphered when not empty
    std::uint32_t record_length = 0;

    std::shared_ptr<KsfFile> file;
    unsigned mode = 0;
    bool is_open = false;
    Id table;

    bool has_current = false;
    Id current;
    int sequence = kSeqNone;
    int sequence_key = -1;          // index into keys; -1 for file order
    Id start_pointer;               // modes 3 and 8
    std::string start_value;        // modes 7 and 8: the encoded key value
    std::string position;           // modes 6, 9, 10: a key part in the tree

    bool hold_requested = false;
    std::int64_t hold_timeout = -1;  // seconds, -1 without limit
    bool held = false;
    Id held_id;
    bool watch_requested = false;
    bool watched = false;
    std::string read_copy;          // the disk image of the current record as read
    bool table_locked = false;
    MemoSummary memo_summary;
};

inline KsfTable* ksf_table(sk::data::FileControlBlock* file) { return static_cast<KsfTable*>(file->state); }

// A page tree over the table's file for one operation (pins its pages).
PageTree tree_of(KsfFile& file);
// A tree result as a driver result: 0, kTreeNone, 36; the page errors of a
// damaged file (1482, 1607, ...) end the program as internal errors.
int tree_result(int rc);

// The record buffer as stored (string fields to OEM when the file asks for
// it), and back.
std::string disk_image(const KsfTable& t, const char* buffer);
void to_buffer(const KsfTable& t, std::string_view disk, char* buffer);

// The key part of key's entry for a disk image; false in *present when an
// optional key makes no entry for it.
std::string entry_key(const KsfTable& t, const KeyInfo& key, std::string_view disk, Id recno, bool* present);
std::string key_prefix(const KsfTable& t, const KeyInfo& key);
std::string data_prefix(const KsfTable& t);
// The first key part after every key part starting with prefix.
std::string prefix_end(std::string prefix);
bool starts_with(std::string_view s, std::string_view prefix);

// Inserts the entries of every maintained key (a key not maintained gets its
// rebuild mark instead). 40 on a duplicate in a unique key, with the entries
// inserted here removed again.
int insert_entries(KsfTable& t, std::string_view disk, Id recno);
int remove_entries(KsfTable& t, std::string_view disk, Id recno);
// Moves the entries of the keys whose value differs between two images; 40 on a
// duplicate, with every change undone.
int update_entries(KsfTable& t, std::string_view old_disk, std::string_view new_disk, Id recno);
// The entry count of which (kCounterData or a key number) changes by delta;
// a rebuild mark of non-zero is set unless one is set already.
int adjust_counter(KsfTable& t, std::uint8_t which, std::int64_t delta, std::uint32_t rebuild_mark = 0);
int read_counter(KsfTable& t, std::uint8_t which, std::uint32_t* entries, std::uint32_t* rebuild_mark);
int write_counter(KsfTable& t, std::uint8_t which, std::uint32_t entries, std::uint32_t rebuild_mark);

// Memos of record recno: written from the memo buffers, read into them, removed.
int write_memos(KsfTable& t, Id recno);
int read_memos(KsfTable& t, Id recno);
// Whether every memo of record recno is known to be empty (no chunks, or an
// empty chunk 0 alone) without a lookup. False when that is not known.
bool memos_known_empty(KsfTable& t, Id recno);
int remove_memos(KsfTable& t, Id recno);
void clear_memos(KsfTable& t);

// Removes every record whose key part starts with prefix.
int remove_prefix(KsfFile& file, std::string_view prefix);
// Calls f for every record whose key part starts with prefix, collected first.
int collect_prefix(KsfFile& file, std::string_view prefix, std::vector<Record>* out);

// Rebuilds one key's entries from the table's data records. 40 when a unique
// key meets a duplicate (the first record keeps the entry).
int rebuild_key(KsfTable& t, KeyInfo& key);

}  // namespace sk::ksf
