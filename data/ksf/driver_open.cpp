// The KESTREL driver's per-table state, its physical files, and the
// operations that open, create, remove, copy, rename and close tables.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "data/ksf/driver.h"
#include "data/ksf/driver_ops.h"
#include "platform/file.h"
#include "platform/system_error.h"

namespace sk::ksf::driver {

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

// The cipher for a table's owner password: null when it has none. 0, or 8
// when the key cannot be derived.
int cipher_for(const std::string& password, std::shared_ptr<const PageCipher>* out) {
    out->reset();
    if (password.empty()) return 0;
    *out = PageCipher::for_password(password);
    return *out ? 0 : sk::rt::kInsufficientMemory;
}

// Finds the open physical file or opens it. A file already open in the process
// is shared, provided it was opened with the access asked for and the same
// password (another password could not read it: 36). Returns a driver result.
int get_file(const std::string& path, unsigned mode, bool create_missing, const std::string& password,
             std::shared_ptr<KsfFile>* out) {
    std::shared_ptr<const PageCipher> cipher;
    if (int rc = cipher_for(password, &cipher)) return rc;
    auto& files = open_files();
    auto it = files.find(path);
    if (it != files.end()) {
        if (auto f = it->second.lock()) {
            const bool same_cipher = (f->cipher() == nullptr && !cipher) ||
                                     (f->cipher() != nullptr && cipher && f->cipher()->same_key(*cipher));
            if (!same_cipher) return sk::rt::kInvalidDataFile;
            if ((mode & 0x03) != 0 && f->read_only()) return sk::rt::kAccessDenied;
            *out = f;
            return 0;
        }
        files.erase(it);
    }
    auto f = std::make_shared<KsfFile>(path);
    if (int rc = f->open(mode, create_missing, std::move(cipher))) return system_result(rc);
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
    t->password = owner_password(file->owner, file->owner_length);
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
        // A key without components names no order and could never hold an
        // entry: the declaration is refused rather than giving a key whose
        // sequence is always empty.
        if (!key.has_components) {
            delete t;
            return sk::rt::kInvalidRecordDeclaration;
        }
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
    if (int rc = get_file(t.physical, mode, false, t.password, &file)) return rc;
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
    int rc = get_file(t.physical, sk::platform::kAccessReadWrite | sk::platform::kDenyAll, true, t.password, &file);
    if (rc == sk::platform::kErrSharingViolation) return sk::rt::kAccessDenied;
    if (rc != 0) return rc;
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
    int rc = get_file(t.physical, sk::platform::kAccessReadWrite | sk::platform::kDenyAll, false, t.password, &file);
    if (rc != 0) return rc;
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
    if (int rc = get_file(t.physical, mode, false, t.password, &source)) return rc;
    if (int rc = get_file(target_name.path, mode, true, t.password, &target)) {
        drop_file(source);
        return rc;
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

}  // namespace sk::ksf::driver
