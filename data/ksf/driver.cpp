// The KESTREL driver's entry, its per-table state, naming and the operations.
#include "data/ksf/driver.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "data/ksf/ksf_table.h"
#include "data/ksf/transaction.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/system_error.h"
#include "runtime/error.h"

namespace sk::ksf {

using sk::data::DriverCall;
using sk::data::FileControlBlock;
using sk::data::KeyControlBlock;
using sk::data::OperationArgs;

namespace {

constexpr std::size_t kMaxNameLength = 260;

// Count byte n, then n+1 operation codes; count byte m, then m type codes.
constexpr std::uint8_t kOperationList[] = {
    65,
    0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11,
    0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x22,
    0x24, 0x25, 0x26, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x34, 0x36, 0x38,
    0x39, 0x3A, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x47, 0x49, 0x4A, 0x4B, 0x4C,
    15,
    0x01, 0x02, 0x03, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x1A,
};

const sk::data::DriverDescriptor kDescriptor = {
    "KESTREL",
    "TSKSF16.DLL",
    "Sitekeeper indexed file driver",
    "Kestrel (KSF) Driver 1.00",
    &ksf_entry,
    {0xbf, 0xef, 0xbd, 0x00, 0x00, 0x00, 0xfa, 0x00, 0x00, 0xff, 0xf9, 0x00,
     0x00, 0x00, 0xfa, 0x00, 0x00, 0x04, 0xf0, 0xff, 0x00, 0xfa, 0x00, 0x00},
    37,
    37,
    40,
    126,
    kOperationList,
    sizeof kOperationList,
};

// Physical files of the process, by full path; shared by the tables in them.
std::map<std::string, std::weak_ptr<KsfFile>>& open_files() {
    static std::map<std::string, std::weak_ptr<KsfFile>> files;
    return files;
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string trimmed(std::string_view text) {
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

// A platform failure as a driver result.
int system_result(int error) {
    switch (error) {
        case 2: case 3: case 4: case 5: case 32: return error;
        case 0: return sk::rt::kAccessDenied;
        default:
            sk::rt::post_error(sk::rt::kSystemErrorBase + error);
            return sk::rt::kSystemErrorBase + error;
    }
}

// Finds the open physical file or opens it. A file already open in the process
// is shared, provided it was opened with the access asked for.
int get_file(const std::string& path, unsigned mode, bool create_missing, std::shared_ptr<KsfFile>* out) {
    auto& files = open_files();
    auto it = files.find(path);
    if (it != files.end()) {
        if (auto f = it->second.lock()) {
            if ((mode & 0x03) != 0 && f->read_only()) return sk::rt::kAccessDenied;
            *out = f;
            return 0;
        }
        files.erase(it);
    }
    auto f = std::make_shared<KsfFile>(path);
    if (int rc = f->open(mode, create_missing)) return rc;
    f->set_journal_hook(&journal_completed);
    files[path] = f;
    *out = std::move(f);
    return 0;
}

void drop_file(std::shared_ptr<KsfFile>& file) {
    if (!file) return;
    const std::string path = file->path();
    if (file.use_count() == 1) {
        // The last table of the file closes it: the journal area goes first.
        if (!file->read_only() && file->begin_statement(true) == 0) {
            file->truncate_to_allocated_end();
            file->end_statement();
        }
        open_files().erase(path);
    }
    file.reset();
}

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

// --- state ---------------------------------------------------------------------

int create_state(FileControlBlock* file) {
    if (file->record_length > sk::data::kMaxRecordLength || file->key_count > sk::data::kMaxKeys)
        return sk::rt::kInvalidRecordDeclaration;
    if (file->record == nullptr && file->record_length > 0) return sk::rt::kInvalidRecordDeclaration;
    std::vector<sk::data::FieldInfo> fields;
    if (sk::data::parse_field_stream(file->fields, file->fields_size, &fields) != 0) return sk::rt::kInvalidFieldType;
    auto* t = new (std::nothrow) KsfTable;
    if (t == nullptr) return sk::rt::kInsufficientMemory;
    t->fcb = file;
    t->fields = std::move(fields);
    t->record_length = file->record_length;
    t->oem = (file->attributes & sk::data::kAttrOemText) != 0;
    if (int rc = definition_from_declaration(*file, &t->declared)) {
        delete t;
        return rc;
    }
    for (unsigned k = 0; k < file->key_count; ++k) {
        KeyInfo key;
        key.block = file->keys[k];
        key.number = static_cast<std::uint8_t>(k);
        key.maintained = (key.block->attributes & sk::data::kKeyNotMaintained) == 0;
        key.has_components = key.block->component_count > 0;
        if (!key_layout(t->declared, k, &key.layout)) {
            delete t;
            return sk::rt::kInvalidRecordDeclaration;
        }
        t->keys.push_back(key);
    }
    for (unsigned m = 0; m < file->memo_count; ++m) {
        MemoInfo memo;
        memo.block = file->memos[m];
        if (memo.block->size > sk::data::kMaxMemoSize) {
            for (MemoInfo& done : t->memos) {
                delete[] done.block->buffer;
                done.block->buffer = nullptr;
            }
            delete t;
            return sk::rt::kInvalidRecordDeclaration;
        }
        memo.size = memo.block->size;
        memo.block->buffer = new char[memo.size > 0 ? memo.size : 1];
        std::memset(memo.block->buffer, ' ', memo.size);
        t->memos.push_back(memo);
    }
    file->state = t;
    return 0;
}

void release_held(KsfTable& t) {
    if (t.held && t.file && t.file->is_open()) t.file->unlock_id(t.held_id);
    t.held = false;
}

void release_state(FileControlBlock* file) {
    KsfTable* t = ksf_table(file);
    if (t == nullptr) return;
    release_held(*t);
    if (t->table_locked && t->file && t->file->is_open()) t->file->unlock_id(t->table);
    if (t->file) {
        forget_table(t);
        drop_file(t->file);
    }
    for (MemoInfo& m : t->memos) {
        delete[] m.block->buffer;
        m.block->buffer = nullptr;
    }
    delete t;
    file->state = nullptr;
}

// --- names and tables ----------------------------------------------------------

int table_paths(KsfTable& t) {
    KsfName name;
    if (!split_ksf_name(sk::data::file_name_text(*t.fcb), &name)) return sk::rt::kInvalidFilename;
    t.physical = name.path;
    t.table_name = name.table;
    return 0;
}

std::string name_key(std::string_view table) {
    std::string k(1, static_cast<char>(kKindTableName));
    k += table;
    return k;
}

// The table number of name: 0, or 2 when there is no such table.
int find_table(KsfFile& file, std::string_view name, Id* out) {
    Record r;
    const int rc = tree_result(tree_of(file).find(name_key(name), &r));
    if (rc == kTreeNone) return sk::rt::kFileNotFound;
    if (rc != 0) return rc;
    if (r.data().size() != kIdSize) return sk::rt::kInvalidDataFile;
    std::memcpy(out->bytes, r.data().data(), kIdSize);
    return 0;
}

int read_stored_definition(KsfFile& file, Id table, TableDefinition* out) {
    std::string prefix(table.view());
    prefix.push_back(static_cast<char>(kKindDefinition));
    std::vector<Record> records;
    if (int rc = collect_prefix(file, prefix, &records)) return rc;
    std::map<std::uint16_t, std::string> chunks;
    for (const Record& r : records) {
        if (r.key().size() != prefix.size() + 2) return sk::rt::kInvalidDataFile;
        chunks[get_le16(bytes_of(r.key()) + prefix.size())] = std::string(r.data());
    }
    const std::string stream = join_definition_chunks(chunks);
    if (read_definition(bytes_of(stream), stream.size(), out) != 0) return sk::rt::kInvalidDataFile;
    return 0;
}

// Writes a new table into the open bracket of file: name, definition, counters.
int insert_table(KsfFile& file, std::string_view name, const TableDefinition& def, Id* out) {
    if (int rc = file.allocate_id(out)) return rc;
    if (int rc = tree_result(tree_of(file).insert(table_name_record(name, *out)))) return rc;
    const std::vector<std::string> chunks = definition_chunks(write_definition(def));
    for (std::size_t i = 0; i < chunks.size(); ++i)
        if (int rc = tree_result(
                tree_of(file).insert(definition_chunk_record(*out, static_cast<std::uint16_t>(i), chunks[i]))))
            return rc;
    if (int rc = tree_result(tree_of(file).insert(counter_record(*out, kCounterData, 0, 0)))) return rc;
    for (std::size_t k = 0; k < def.keys.size(); ++k)
        if (int rc = tree_result(tree_of(file).insert(counter_record(*out, static_cast<std::uint8_t>(k), 0, 0))))
            return rc;
    return 0;
}

int drop_table(KsfFile& file, std::string_view name, Id table) {
    if (int rc = remove_prefix(file, table.view())) return rc;
    const int rc = tree_result(tree_of(file).remove(name_key(name)));
    return rc == kTreeNone ? 0 : rc;
}

std::size_t table_count(KsfFile& file) {
    std::vector<Record> names;
    collect_prefix(file, std::string(1, static_cast<char>(kKindTableName)), &names);
    return names.size();
}

// --- OPEN, CREATE, REMOVE, COPY, RENAME, CLOSE -----------------------------------

int do_open(DriverCall& call, KsfTable& t) {
    const unsigned mode = static_cast<unsigned>(call.args->at(0)) & 0xFF;
    if (int rc = table_paths(t)) return rc;
    std::shared_ptr<KsfFile> file;
    if (int rc = get_file(t.physical, mode, false, &file)) return system_result(rc);
    t.file = file;
    file.reset();
    Bracket bracket(*t.file);
    int rc = bracket.begin(false);
    Id table;
    if (rc == 0) rc = find_table(*t.file, t.table_name, &table);
    TableDefinition stored;
    if (rc == 0) rc = read_stored_definition(*t.file, table, &stored);
    if (rc == 0 && !definitions_match(stored, t.declared)) rc = sk::rt::kInvalidRecordDeclaration;
    rc = bracket.finish(rc);
    if (rc != 0) {
        drop_file(t.file);
        return rc;
    }
    t.table = table;
    t.mode = mode;
    t.is_open = true;
    t.has_current = false;
    t.sequence = kSeqNone;
    t.held = t.watched = t.hold_requested = t.watch_requested = false;
    if ((mode & 0x03) != 0) t.state_word |= sk::data::kStateWriteAccess;
    if ((mode & 0x30) != 0) t.state_word |= sk::data::kStateExclusive;
    clear_memos(t);
    return 0;
}

int do_create(KsfTable& t) {
    if (int rc = table_paths(t)) return rc;
    std::shared_ptr<KsfFile> file;
    int rc = get_file(t.physical, sk::platform::kAccessReadWrite | sk::platform::kDenyAll, true, &file);
    if (rc == sk::platform::kErrSharingViolation) return sk::rt::kAccessDenied;
    if (rc != 0) return system_result(rc);
    {
        Bracket bracket(*file);
        rc = bracket.begin(true);
        Id old;
        if (rc == 0) {
            const int found = find_table(*file, t.table_name, &old);
            if (found == 0)
                rc = drop_table(*file, t.table_name, old);
            else if (found != sk::rt::kFileNotFound)
                rc = found;
        }
        Id table;
        if (rc == 0) rc = insert_table(*file, t.table_name, t.declared, &table);
        rc = bracket.finish(rc);
    }
    drop_file(file);
    return rc;
}

int do_remove(KsfTable& t) {
    if (int rc = table_paths(t)) return rc;
    std::shared_ptr<KsfFile> file;
    int rc = get_file(t.physical, sk::platform::kAccessReadWrite | sk::platform::kDenyAll, false, &file);
    if (rc != 0) return system_result(rc);
    bool delete_physical = false;
    {
        Bracket bracket(*file);
        rc = bracket.begin(true);
        Id table;
        if (rc == 0) rc = find_table(*file, t.table_name, &table);
        if (rc == 0) {
            if (table_count(*file) <= 1 && file.use_count() == 1)
                delete_physical = true;
            else
                rc = drop_table(*file, t.table_name, table);
        }
        rc = bracket.finish(rc);
    }
    const std::string path = file->path();
    if (delete_physical) {
        open_files().erase(path);
        file->close();
        file.reset();
        if (!sk::platform::delete_file(path)) return system_result(sk::platform::last_system_error());
        return 0;
    }
    drop_file(file);
    return rc;
}

// Copies every record of the source table into a new target table, record
// numbers shifted by an offset drawn from the target's identifier counter.
int copy_records(KsfFile& source, Id source_table, KsfFile& target, std::string_view target_name,
                 const TableDefinition& def) {
    std::vector<Record> records;
    if (int rc = collect_prefix(source, source_table.view(), &records)) return rc;
    Id table;
    if (int rc = target.allocate_id(&table)) return rc;
    if (int rc = tree_result(tree_of(target).insert(table_name_record(target_name, table)))) return rc;
    const std::uint32_t offset = target.header().identifier();
    std::uint32_t highest = offset;
    const auto shift = [&](std::string& bytes, std::size_t at) {
        const std::uint32_t v = get_be32(bytes_of(bytes) + at) + offset;
        put_be32(reinterpret_cast<std::uint8_t*>(bytes.data()) + at, v);
        highest = std::max(highest, v);
    };
    for (const Record& r : records) {
        std::string key(r.key()), data(r.data());
        std::memcpy(key.data(), table.bytes, kIdSize);
        const std::uint8_t kind = key.size() > kIdSize ? static_cast<std::uint8_t>(key[kIdSize]) : 0;
        if ((kind == kKindData || kind == kKindMemo) && key.size() >= kIdSize + 5) {
            shift(key, kIdSize + 1);
        } else if (kind < def.keys.size()) {
            if (def.keys[kind].attributes & kKeyAttrDuplicates) {
                if (key.size() >= kIdSize + 5) shift(key, key.size() - kIdSize);
            } else if (data.size() == kIdSize) {
                shift(data, 0);
            }
        } else if (kind == kKindCounter && data.size() == 8 && get_le32(bytes_of(data) + 4) != 0) {
            put_le32(reinterpret_cast<std::uint8_t*>(data.data()) + 4, get_le32(bytes_of(data) + 4) + offset);
        }
        if (int rc = tree_result(tree_of(target).insert(Record::of(key, data)))) return rc;
    }
    if (highest >= 0xFE000000u) internal_error(1178);
    Id last;
    while (target.header().identifier() < highest) target.allocate_id(&last);
    return 0;
}

int do_copy(DriverCall& call, KsfTable& t, bool rename) {
    if (int rc = table_paths(t)) return rc;
    KsfName target_name;
    if (!split_ksf_name(trimmed(call.text), &target_name)) return sk::rt::kInvalidFilename;
    if (target_name.path == t.physical && target_name.table == t.table_name) return rename ? sk::rt::kAccessDenied : 0;
    std::shared_ptr<KsfFile> source, target;
    const unsigned mode = sk::platform::kAccessReadWrite | sk::platform::kDenyWrite;
    if (int rc = get_file(t.physical, mode, false, &source)) return system_result(rc);
    if (int rc = get_file(target_name.path, mode, true, &target)) {
        drop_file(source);
        return system_result(rc);
    }
    int rc = 0;
    {
        Bracket source_bracket(*source);
        rc = source_bracket.begin(true);
        Bracket target_bracket(*target);
        if (rc == 0 && target != source) rc = target_bracket.begin(true);
        Id table;
        TableDefinition def;
        if (rc == 0) rc = find_table(*source, t.table_name, &table);
        if (rc == 0) rc = read_stored_definition(*source, table, &def);
        Id existing;
        if (rc == 0) {
            const int found = find_table(*target, target_name.table, &existing);
            if (found == 0)
                rc = rename ? sk::rt::kAccessDenied : drop_table(*target, target_name.table, existing);
            else if (found != sk::rt::kFileNotFound)
                rc = found;
        }
        if (rc == 0) rc = copy_records(*source, table, *target, target_name.table, def);
        if (rc == 0 && rename) rc = drop_table(*source, t.table_name, table);
        if (target != source) rc = target_bracket.finish(rc);
        rc = source_bracket.finish(rc);
    }
    drop_file(source);
    drop_file(target);
    return rc;
}

int do_close(DriverCall& call, KsfTable& t) {
    call.release = true;
    if (t.file) {
        t.file->set_streaming(false);
        Bracket bracket(*t.file);
        int rc = bracket.begin(false);
        rc = bracket.finish(rc);
        (void)rc;
    }
    t.is_open = false;
    return 0;
}

// --- reading ------------------------------------------------------------------------

const KeyInfo* key_of_block(KsfTable& t, KeyControlBlock* block) {
    for (KeyInfo& k : t.keys)
        if (k.block == block) return &k;
    return nullptr;
}

int key_index(KsfTable& t, KeyControlBlock* block) {
    const KeyInfo* k = key_of_block(t, block);
    return k == nullptr ? -1 : k->number;
}

std::string value_of(const KsfTable& t, const KeyInfo& key, std::string_view disk) {
    std::string value;
    encode_key_value(key.layout, bytes_of(disk), disk.size(), t.oem, &value);
    return value;
}

struct Found {
    std::string key;   // the key part the sequence stands on
    Id recno;
    std::string disk;
};

// Reads data record recno: 0, or kTreeNone.
int read_data(KsfTable& t, Id recno, std::string* disk) {
    Record r;
    const int rc = tree_result(tree_of(*t.file).find(data_record_key(t.table, recno), &r));
    if (rc == 0) *disk = std::string(r.data());
    return rc;
}

// One step of the sequence in direction forward; the sequence itself is not moved.
int step(KsfTable& t, bool forward, Found* out) {
    const bool key_order = t.sequence_key >= 0;
    if (key_order && static_cast<std::size_t>(t.sequence_key) >= t.keys.size()) return sk::rt::kRecordNotAvailable;
    const KeyInfo* key = key_order ? &t.keys[t.sequence_key] : nullptr;
    const std::string prefix = key_order ? key_prefix(t, *key) : data_prefix(t);
    std::string from;
    bool inclusive = true;
    switch (t.sequence) {
        case kSeqFileStart:
        case kSeqMode4:
        case kSeqKeyStart:
            from = forward ? prefix : prefix_end(prefix);
            inclusive = forward;
            break;
        case kSeqFilePointer:
            from = prefix + std::string(t.start_pointer.view());
            break;
        case kSeqKeyValue:
        case kSeqKeyValuePointer:
            from = prefix + t.start_value;
            if (key->layout.duplicates()) {
                if (t.sequence == kSeqKeyValuePointer)
                    from += std::string(t.start_pointer.view());
                else
                    from += forward ? std::string(4, '\0') : std::string(4, '\xFF');
            }
            break;
        case kSeqKeyPosition:
            from = t.position;
            break;
        case kSeqContinueFile:
        case kSeqContinueKey:
            from = t.position;
            inclusive = false;
            break;
        default:
            return sk::rt::kRecordNotAvailable;
    }
    for (;;) {
        Record r;
        const int rc = tree_result(tree_of(*t.file).seek(from, forward, inclusive, &r));
        if (rc == kTreeNone) return sk::rt::kRecordNotAvailable;
        if (rc != 0) return rc;
        if (!starts_with(r.key(), prefix)) return sk::rt::kRecordNotAvailable;
        from = std::string(r.key());
        inclusive = false;
        if (!key_order) {
            if (r.key().size() != prefix.size() + kIdSize) continue;
            std::memcpy(out->recno.bytes, r.key().data() + prefix.size(), kIdSize);
            out->disk = std::string(r.data());
        } else {
            if (!record_number_of(r, &out->recno)) continue;
            // An entry whose data record is missing is skipped.
            if (read_data(t, out->recno, &out->disk) != 0) continue;
        }
        out->key = from;
        return 0;
    }
}

// Delivers a record found: the HOLD lock, the record buffer, memos, WATCH.
int deliver(KsfTable& t, const Found& f) {
    if (t.hold_requested) {
        if (!(t.held && t.held_id == f.recno)) {
            if (!t.file->try_lock_id(f.recno)) return sk::rt::kRecordAlreadyHeld;
            release_held(t);
            t.held = true;
            t.held_id = f.recno;
        }
    }
    to_buffer(t, f.disk, t.fcb->record);
    if (int rc = read_memos(t, f.recno)) return rc;
    t.current = f.recno;
    t.has_current = true;
    t.read_copy = f.disk;
    t.watched = t.watch_requested;
    t.hold_requested = t.watch_requested = false;
    return 0;
}

// Runs attempt in reading brackets, retrying while it answers 43 and the HOLD
// timeout allows; the bracket is given up between tries so that the holder
// can finish its statement.
template <class F>
int with_hold_retry(KsfTable& t, F attempt) {
    const std::uint32_t start = sk::platform::tick_hundredths();
    for (;;) {
        Bracket bracket(*t.file);
        int rc = bracket.begin(false);
        if (rc == 0) rc = attempt();
        rc = bracket.finish(rc);
        const bool retry = rc == sk::rt::kRecordAlreadyHeld && t.hold_requested &&
                           (t.hold_timeout < 0 || std::int64_t(std::uint32_t(sk::platform::tick_hundredths() - start)) <
                                                      t.hold_timeout * 100);
        if (!retry) {
            // The request was for this read, whatever came of it.
            t.hold_requested = t.watch_requested = false;
            return rc;
        }
        sk::data::lock_wait();
    }
}

int do_next(KsfTable& t, bool forward) {
    return with_hold_retry(t, [&]() -> int {
        Found f;
        if (int rc = step(t, forward, &f)) return rc;
        if (int rc = deliver(t, f)) return rc;
        t.position = f.key;
        t.sequence = t.sequence_key >= 0 ? kSeqContinueKey : kSeqContinueFile;
        return 0;
    });
}

int do_skip(KsfTable& t, std::int64_t n) {
    Bracket bracket(*t.file);
    int rc = bracket.begin(false);
    const bool forward = n >= 0;
    for (std::int64_t i = 0; rc == 0 && i < (n < 0 ? -n : n); ++i) {
        Found f;
        rc = step(t, forward, &f);
        if (rc == 0) {
            t.position = f.key;
            t.sequence = t.sequence_key >= 0 ? kSeqContinueKey : kSeqContinueFile;
        }
    }
    return bracket.finish(rc);
}

int do_look_ahead(KsfTable& t, bool forward) {
    Bracket bracket(*t.file);
    int rc = bracket.begin(false);
    Found f;
    if (rc == 0) rc = step(t, forward, &f);
    rc = bracket.finish(rc);
    return rc == 0 ? 0 : -1;
}

int do_get_key(KsfTable& t, KeyControlBlock* block) {
    const KeyInfo* key = key_of_block(t, block);
    if (key == nullptr) return sk::rt::kRecordNotFound;
    return with_hold_retry(t, [&]() -> int {
        const std::string disk = disk_image(t, t.fcb->record);
        const std::string prefix = key_prefix(t, *key) + value_of(t, *key, disk);
        Found f;
        Record r;
        int rc = 0;
        if (key->layout.duplicates()) {
            std::string from = prefix + std::string(4, '\0');
            bool inclusive = true;
            for (;;) {
                rc = tree_result(tree_of(*t.file).seek(from, true, inclusive, &r));
                if (rc != 0 || !starts_with(r.key(), prefix) || r.key().size() != prefix.size() + kIdSize)
                    return sk::rt::kRecordNotFound;
                if (record_number_of(r, &f.recno) && read_data(t, f.recno, &f.disk) == 0) break;
                from = std::string(r.key());
                inclusive = false;
            }
        } else {
            rc = tree_result(tree_of(*t.file).find(prefix, &r));
            if (rc != 0 || !record_number_of(r, &f.recno) || read_data(t, f.recno, &f.disk) != 0)
                return sk::rt::kRecordNotFound;
        }
        return deliver(t, f);
    });
}

int do_get_pointer(KsfTable& t, std::int64_t pointer) {
    if (pointer <= 0 || pointer > 0xFFFFFFFFLL) return sk::rt::kRecordNotFound;
    return with_hold_retry(t, [&]() -> int {
        Found f;
        f.recno = Id::of(static_cast<std::uint32_t>(pointer));
        if (read_data(t, f.recno, &f.disk) != 0) return int(sk::rt::kRecordNotFound);
        return deliver(t, f);
    });
}

Id id_of_text(std::string_view text) {
    Id id;
    for (std::size_t i = 0; i < kIdSize && i < text.size(); ++i) id.bytes[i] = static_cast<std::uint8_t>(text[i]);
    return id;
}

// --- changing ------------------------------------------------------------------------

int do_add(KsfTable& t, bool with_keys) {
    Bracket bracket(*t.file);
    int rc = bracket.begin(true);
    Id recno;
    const std::string disk = disk_image(t, t.fcb->record);
    if (rc == 0) rc = t.file->allocate_id(&recno);
    if (rc == 0) {
        if (with_keys) {
            rc = insert_entries(t, disk, recno);
        } else {
            for (KeyInfo& key : t.keys)
                if (rc == 0) rc = adjust_counter(t, key.number, 0, recno.value());
        }
    }
    if (rc == 0) rc = tree_result(tree_of(*t.file).insert(data_record(t.table, recno, disk)));
    if (rc == 0) rc = write_memos(t, recno);
    if (rc == 0) rc = adjust_counter(t, kCounterData, 1);
    rc = bracket.finish(rc);
    if (rc == 0 && with_keys) {
        t.current = recno;
        t.has_current = true;
        t.read_copy = disk;
    }
    return rc;
}

// Takes the current record's lock for a statement that changes it, unless this
// table holds the record already. busy is the answer when another station has it
// (PUT and DELETE answer differently); *locked_here says whether to unlock after.
int lock_current(KsfTable& t, int busy, bool* locked_here) {
    if (t.held && t.held_id == t.current) return 0;
    if (!t.file->try_lock_id(t.current)) return busy;
    *locked_here = true;
    return 0;
}

int do_put(KsfTable& t) {
    if (!t.has_current) return sk::rt::kRecordNotAvailable;
    Bracket bracket(*t.file);
    int rc = bracket.begin(true);
    bool locked_here = false;
    if (rc == 0) rc = lock_current(t, sk::rt::kAccessDenied, &locked_here);
    std::string on_disk;
    if (rc == 0 && read_data(t, t.current, &on_disk) != 0) rc = sk::rt::kRecordNotAvailable;
    if (rc == 0 && t.watched && on_disk != t.read_copy) rc = sk::rt::kRecordChangedByAnother;
    const std::string disk = disk_image(t, t.fcb->record);
    if (rc == 0 && disk != on_disk) {
        rc = update_entries(t, on_disk, disk, t.current);
        if (rc == 0) rc = tree_result(tree_of(*t.file).replace(data_record(t.table, t.current, disk)));
    }
    if (rc == 0) rc = write_memos(t, t.current);
    rc = bracket.finish(rc);
    if (locked_here) t.file->unlock_id(t.current);
    if (rc == 0) {
        if (t.held && t.held_id == t.current) release_held(t);
        t.watched = false;
        t.read_copy = disk;
    }
    return rc;
}

int do_delete(KsfTable& t) {
    if (!t.has_current) return sk::rt::kRecordNotAvailable;
    Bracket bracket(*t.file);
    int rc = bracket.begin(true);
    bool locked_here = false;
    if (rc == 0) rc = lock_current(t, sk::rt::kRecordNotAvailable, &locked_here);
    std::string on_disk;
    if (rc == 0 && read_data(t, t.current, &on_disk) != 0) rc = sk::rt::kRecordNotAvailable;
    if (rc == 0) rc = remove_entries(t, on_disk, t.current);
    if (rc == 0) rc = remove_memos(t, t.current);
    if (rc == 0) rc = tree_result(tree_of(*t.file).remove(data_record_key(t.table, t.current)));
    if (rc == 0) rc = adjust_counter(t, kCounterData, -1);
    rc = bracket.finish(rc);
    if (locked_here) t.file->unlock_id(t.current);
    if (rc == 0) {
        if (t.held && t.held_id == t.current) release_held(t);
        t.has_current = false;
        t.watched = false;
    }
    return rc;
}

int do_build(KsfTable& t, KeyControlBlock* only) {
    Bracket bracket(*t.file);
    int rc = bracket.begin(true);
    int duplicate = 0;
    for (KeyInfo& key : t.keys) {
        if (rc != 0) break;
        if (only != nullptr ? key.block != only : !key.maintained) continue;
        const int r = rebuild_key(t, key);
        if (r == sk::rt::kCreatesDuplicateKey)
            duplicate = r;
        else
            rc = r;
    }
    rc = bracket.finish(rc);
    if (rc == 0 && t.file->begin_statement(true) == 0) {
        t.file->truncate_to_allocated_end();
        t.file->end_statement();
    }
    return rc != 0 ? rc : duplicate;
}

int do_empty(KsfTable& t) {
    Bracket bracket(*t.file);
    int rc = bracket.begin(true);
    if (rc == 0) rc = remove_prefix(*t.file, data_prefix(t));
    std::string memo_prefix(t.table.view());
    memo_prefix.push_back(static_cast<char>(kKindMemo));
    if (rc == 0) rc = remove_prefix(*t.file, memo_prefix);
    for (KeyInfo& key : t.keys) {
        if (rc == 0) rc = remove_prefix(*t.file, key_prefix(t, key));
        if (rc == 0) rc = write_counter(t, key.number, 0, 0);
    }
    if (rc == 0) rc = write_counter(t, kCounterData, 0, 0);
    rc = bracket.finish(rc);
    if (rc == 0) t.has_current = false;
    return rc;
}

// --- locks ------------------------------------------------------------------------------

int do_lock(KsfTable& t, bool with_timeout, std::int64_t seconds) {
    const std::uint32_t start = sk::platform::tick_hundredths();
    for (;;) {
        if (t.table_locked || t.file->try_lock_id(t.table)) {
            t.table_locked = true;
            return 0;
        }
        if (!with_timeout ||
            std::int64_t(std::uint32_t(sk::platform::tick_hundredths() - start)) >= std::max<std::int64_t>(seconds, 0) * 100)
            return sk::rt::kFileAlreadyLocked;
        sk::data::lock_wait();
    }
}

// --- queries ----------------------------------------------------------------------------

int do_records(KsfTable& t, KeyControlBlock* block, std::int64_t* out) {
    std::uint8_t which = kCounterData;
    if (block != nullptr) {
        const int k = key_index(t, block);
        if (k < 0) return sk::rt::kRecordNotAvailable;
        which = static_cast<std::uint8_t>(k);
    }
    Bracket bracket(*t.file);
    int rc = bracket.begin(false);
    std::uint32_t entries = 0, mark = 0;
    if (rc == 0) rc = read_counter(t, which, &entries, &mark);
    rc = bracket.finish(rc);
    *out = entries;
    return rc;
}

int do_duplicate(KsfTable& t, KeyControlBlock* block, bool* out) {
    *out = false;
    Bracket bracket(*t.file);
    int rc = bracket.begin(false);
    const std::string disk = disk_image(t, t.fcb->record);
    for (KeyInfo& key : t.keys) {
        if (rc != 0) break;
        if (block != nullptr ? key.block != block : key.layout.duplicates()) continue;
        if (!key.has_components) continue;
        bool present = false;
        entry_key(t, key, disk, t.current, &present);
        if (!present) continue;
        const std::string prefix = key_prefix(t, key) + value_of(t, key, disk);
        Record r;
        std::string from = prefix;
        bool inclusive = true;
        for (;;) {
            const int s = tree_result(tree_of(*t.file).seek(from, true, inclusive, &r));
            if (s != 0 || !starts_with(r.key(), prefix)) break;
            Id other;
            if (record_number_of(r, &other) && !(t.has_current && other == t.current)) {
                *out = true;
                break;
            }
            from = std::string(r.key());
            inclusive = false;
        }
        if (*out) break;
    }
    return bracket.finish(rc);
}

std::string send_reply(KsfTable& t, std::string_view text) {
    const std::size_t tcf = text.find("TCF=");
    if (tcf != std::string_view::npos) {
        set_transaction_control_file(trimmed(text.substr(tcf + 4)));
        return {};
    }
    const std::size_t pnm = text.find("PNM=");
    if (pnm != std::string_view::npos) {
        if (!t.is_open || !t.file) return {};
        const std::string after = upper(trimmed(text.substr(pnm + 4)));
        Bracket bracket(*t.file);
        if (bracket.begin(false) != 0) return {};
        Record r;
        std::string reply;
        if (tree_result(tree_of(*t.file).seek(name_key(after), true, true, &r)) == 0 &&
            starts_with(r.key(), std::string(1, static_cast<char>(kKindTableName))))
            reply = std::string(r.key().substr(1));
        bracket.finish(0);
        return reply;
    }
    if (trimmed(text) == "REGISTER") return sk::data::descriptor_bytes(kDescriptor);
    return std::string("SEND arg not recognised") + '\0';
}

// --- memos -------------------------------------------------------------------------------

MemoInfo* memo_of(KsfTable& t, std::intptr_t number) {
    if (number < 1 || static_cast<std::size_t>(number) > t.memos.size()) return nullptr;
    return &t.memos[static_cast<std::size_t>(number - 1)];
}

int do_memo_op(DriverCall& call, KsfTable& t) {
    OperationArgs& args = *call.args;
    MemoInfo* m = memo_of(t, args.at(0));
    if (m == nullptr || m->block == nullptr) return sk::rt::kInvalidMemoFile;
    char* buffer = m->block->buffer;
    switch (call.op) {
        case sk::data::kOpMemoSliceRead: {
            const std::int64_t start = std::max<std::int64_t>(args.at(1), 0);
            const std::int64_t end = std::min<std::int64_t>(args.at(2), std::int64_t(m->used) - 1);
            call.text_result = end >= start ? std::string(buffer + start, std::size_t(end - start + 1)) : std::string();
            return 0;
        }
        case sk::data::kOpMemoSliceWrite: {
            const std::int64_t start = args.at(1), end = args.at(2);
            if (start < 0 || end < start || end >= std::int64_t(m->size)) return sk::rt::kAccessDenied;
            const std::size_t n = std::size_t(end - start + 1);
            std::string text = call.text;
            text.resize(n, ' ');
            std::memcpy(buffer + start, text.data(), n);
            m->used = std::max<std::uint32_t>(m->used, static_cast<std::uint32_t>(end + 1));
            return 0;
        }
        case sk::data::kOpMemoLength:
            args.result = m->used;
            return 0;
        case sk::data::kOpMemoPropertyWrite:
        case sk::data::kOpMemoPropertyRead: {
            const std::string property = trimmed(call.text);
            const bool write = call.op == sk::data::kOpMemoPropertyWrite;
            if (property == "31929") {
                if (!write) {
                    call.text_result = std::to_string(m->size);
                    return 0;
                }
                std::uint64_t size = 0;
                for (char c : trimmed(call.text2))
                    if (c >= '0' && c <= '9') size = std::min<std::uint64_t>(size * 10 + std::uint64_t(c - '0'), sk::data::kMaxMemoSize);
                char* grown = new char[size > 0 ? size : 1];
                std::memset(grown, ' ', size);
                std::memcpy(grown, buffer, std::min<std::uint64_t>(size, m->size));
                delete[] buffer;
                m->block->buffer = grown;
                m->size = static_cast<std::uint32_t>(size);
                m->used = std::min<std::uint32_t>(m->used, m->size);
                return 0;
            }
            if (property == "31894") {
                if (!write) call.text_result = std::to_string(m->handle);
                // Global memory blocks are not part of this platform; the handle is kept.
                else m->handle = static_cast<std::uintptr_t>(std::strtoull(trimmed(call.text2).c_str(), nullptr, 10));
                return 0;
            }
            return 0;
        }
        default:
            return sk::rt::kUnsupportedFunction;
    }
}

// --- dispatch -------------------------------------------------------------------------------

int run(DriverCall& call) {
    using namespace sk::data;
    KsfTable& t = *ksf_table(call.file);
    OperationArgs& args = *call.args;
    const auto set_sequence = [&](int mode, int key) {
        t.sequence = mode;
        t.sequence_key = key;
        return 0;
    };
    switch (call.op) {
        case kOpOpen:
        case kOpShare:
            return do_open(call, t);
        case kOpCreate:
            call.release = true;
            return do_create(t);
        case kOpRemove:
            return do_remove(t);
        case kOpCopy:
            return do_copy(call, t, false);
        case kOpRename:
            return do_copy(call, t, true);
        case kOpClose:
            return do_close(call, t);
        case kOpName:
            if (t.physical.empty()) table_paths(t);
            call.text_result = t.physical;
            return 0;
        case kOpSend:
            call.text_result = send_reply(t, call.text);
            return 0;
        default:
            break;
    }
    if (!t.is_open || !t.file) return sk::rt::kFileNotOpen;
    switch (call.op) {
        case kOpSet:
            return set_sequence(kSeqFileStart, -1);
        case kOpSetMode4:
            return set_sequence(kSeqMode4, -1);
        case kOpSetPointer:
            t.start_pointer = Id::of(static_cast<std::uint32_t>(args.at(0)));
            return set_sequence(kSeqFilePointer, -1);
        case kOpSetKey: {
            const int k = key_index(t, args.key(0));
            if (k < 0) return sk::rt::kRecordNotAvailable;
            return set_sequence(kSeqKeyStart, k);
        }
        case kOpSetKeyValue:
        case kOpSetKeyValuePointer: {
            const int k = key_index(t, args.key(1) != nullptr ? args.key(1) : args.key(0));
            if (k < 0) return sk::rt::kRecordNotAvailable;
            t.start_value = value_of(t, t.keys[std::size_t(k)], disk_image(t, t.fcb->record));
            if (call.op == kOpSetKeyValuePointer) {
                t.start_pointer = Id::of(static_cast<std::uint32_t>(args.at(2)));
                return set_sequence(kSeqKeyValuePointer, k);
            }
            return set_sequence(kSeqKeyValue, k);
        }
        case kOpSetKeyPosition: {
            const int k = key_index(t, args.key(0));
            if (k < 0) return sk::rt::kRecordNotAvailable;
            bool present = false;
            t.position = entry_key(t, t.keys[std::size_t(k)], t.read_copy, t.current, &present);
            return set_sequence(kSeqKeyPosition, k);
        }
        case kOpReset: {
            t.start_pointer = id_of_text(call.text);
            return set_sequence(kSeqFilePointer, -1);
        }
        case kOpResetKey: {
            const int k = key_index(t, args.key(0));
            if (k < 0) return sk::rt::kRecordNotAvailable;
            const std::string_view text(call.text);
            const Id recno = id_of_text(text);
            const std::string value(text.substr(std::min<std::size_t>(kIdSize, text.size())));
            t.position = key_entry_key(t.table, t.keys[std::size_t(k)].number, value, recno,
                                       t.keys[std::size_t(k)].layout.duplicates());
            return set_sequence(kSeqKeyPosition, k);
        }
        case kOpNext:
            return do_next(t, true);
        case kOpPrevious:
            return do_next(t, false);
        case kOpSkip:
            return do_skip(t, args.at(0));
        case kOpEof:
            return do_look_ahead(t, true);
        case kOpBof:
            return do_look_ahead(t, false);
        case kOpGetKey:
            return do_get_key(t, args.key(0));
        case kOpGetPointer:
        case kOpGetPointer2:
            return do_get_pointer(t, args.at(0));
        case kOpReget:
        case kOpRegetKey:
            return do_get_pointer(t, id_of_text(call.text).value());
        case kOpAdd:
            return do_add(t, true);
        case kOpAppend:
            return do_add(t, false);
        case kOpPut:
            return do_put(t);
        case kOpDelete:
            return do_delete(t);
        case kOpHold:
        case kOpHoldTimeout:
            t.hold_requested = true;
            t.hold_timeout = call.op == kOpHold ? -1 : std::max<std::int64_t>(args.at(0), 0);
            return 0;
        case kOpWatch:
            t.watch_requested = true;
            return 0;
        case kOpLock:
            return do_lock(t, false, 0);
        case kOpLockTimeout:
            return do_lock(t, true, args.at(0));
        case kOpUnlock:
            if (t.table_locked) t.file->unlock_id(t.table);
            t.table_locked = false;
            return 0;
        case kOpBuildAll:
        case kOpPack:
            return do_build(t, nullptr);
        case kOpBuildKey:
            return do_build(t, args.key(0));
        case kOpEmpty:
            return do_empty(t);
        case kOpRecords:
            return do_records(t, nullptr, &args.result);
        case kOpRecordsKey:
            return do_records(t, args.key(0), &args.result);
        case kOpBytes: {
            if (t.has_current) {
                args.result = t.record_length;
                return 0;
            }
            std::int64_t n = 0;
            const int rc = do_records(t, nullptr, &n);
            args.result = n * t.record_length;
            return rc;
        }
        case kOpPointer:
        case kOpPointerKey:
            args.result = t.has_current ? t.current.value() : 0;
            return 0;
        case kOpPosition:
            call.text_result = t.has_current ? std::string(t.current.view()) : std::string(kIdSize, '\0');
            return 0;
        case kOpPositionKey: {
            const KeyInfo* key = key_of_block(t, args.key(0));
            if (key == nullptr) return sk::rt::kRecordNotAvailable;
            call.text_result = std::string(t.current.view()) + value_of(t, *key, t.read_copy);
            return 0;
        }
        case kOpDuplicate:
        case kOpDuplicateKey: {
            bool dup = false;
            const int rc = do_duplicate(t, call.op == kOpDuplicateKey ? args.key(0) : nullptr, &dup);
            args.result = dup ? 1 : 0;
            return rc;
        }
        case kOpCurrentKey:
            args.result = t.sequence_key >= 0 ? t.sequence_key + 1 : 0;
            return 0;
        case kOpLogout:
            enlist(t);
            return 0;
        case kOpCommit:
            return commit_transaction();
        case kOpRollback:
            rollback_transaction();
            return 0;
        case kOpStream:
            t.file->set_streaming(true);
            return 0;
        case kOpFlush: {
            t.file->set_streaming(false);
            Bracket bracket(*t.file);
            const int rc = bracket.begin(true);
            return bracket.finish(rc);
        }
        case kOpDriverOption:
        case kOpDriver24:
            return 0;
        case kOpMemoSliceRead:
        case kOpMemoSliceWrite:
        case kOpMemoLength:
        case kOpMemoPropertyWrite:
        case kOpMemoPropertyRead:
            return do_memo_op(call, t);
        default:
            return sk::rt::kUnsupportedFunction;
    }
}

const sk::data::DriverOps kOps = {&kDescriptor, &create_state, &release_state, &run, nullptr};

}  // namespace

bool split_ksf_name(const std::string& text, KsfName* out) {
    const std::string name = trimmed(text);
    if (name.empty() || name.size() >= kMaxNameLength) return false;
    const std::size_t bang = name.find("\\!");
    std::string physical = bang == std::string::npos ? name : name.substr(0, bang);
    out->table = bang == std::string::npos ? std::string("UNNAMED") : upper(name.substr(bang + 2));
    if (physical.empty() || out->table.empty()) return false;
    const std::size_t slash = physical.find_last_of('/');
    const std::size_t dot = physical.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) physical += ".KSF";
    if (physical[0] != '/') {
        std::string dir = sk::platform::current_directory();
        if (!dir.empty() && dir.back() != '/') dir.push_back('/');
        physical = dir + physical;
    }
    out->path = physical;
    return true;
}

const sk::data::DriverDescriptor& ksf_descriptor() { return kDescriptor; }

int ksf_entry(int op, FileControlBlock* file, OperationArgs* args) {
    return sk::data::run_driver_operation(kOps, op, file, args);
}

}  // namespace sk::ksf
