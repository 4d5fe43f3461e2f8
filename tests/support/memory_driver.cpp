// The in-memory test driver and the run-time declarations tests build on it.
#include "support/memory_driver.h"

#include <cstring>
#include <map>

#include "runtime/error.h"
#include "runtime/locale.h"

namespace sk::test {

namespace {

using sk::data::DriverCall;
using sk::data::FieldInfo;
using sk::data::FileControlBlock;
using sk::data::KeyControlBlock;

struct MemoryTable {
    std::uint32_t record_length = 0;
    unsigned key_count = 0;
    std::uint32_t next_record = 1;
    std::map<std::uint32_t, std::string> records;
    std::vector<std::map<std::string, std::uint32_t>> keys;  // entry key -> record number
};

std::map<std::string, std::shared_ptr<MemoryTable>> g_store;
std::uint64_t g_reads = 0;

// The transaction: a copy of every enlisted table as it was at its LOGOUT.
// COMMIT forgets the copies, ROLLBACK puts them back. One per process, as the
// enlisted list of a real driver is.
std::map<std::shared_ptr<MemoryTable>, MemoryTable> g_enlisted;

// The injected failure: the (countdown + 1)th call of the operation fails.
int g_fail_op = -1;
int g_fail_countdown = 0;
int g_fail_code = 0;

enum class Mode { kNone, kFileStart, kFilePointer, kKeyStart, kKeyValue, kKeyPosition, kContinue };

struct MemoryState : sk::data::DriverStateBase {
    std::shared_ptr<MemoryTable> table;
    std::vector<FieldInfo> fields;
    int key = -1;  // sequence key, -1 for file order
    Mode mode = Mode::kNone;
    std::string start;             // key value or entry key where the sequence starts
    std::uint32_t start_record = 0;
    std::string position;          // entry key of the last record delivered (key order)
    std::uint32_t position_record = 0;
    std::uint32_t current = 0;
    bool watch_requested = false;
    bool watched = false;
    std::string watched_copy;
};

MemoryState& state_of(FileControlBlock* file) { return *static_cast<MemoryState*>(file->state); }

constexpr std::uint8_t kOperationList[] = {
    31,
    0x01, 0x07, 0x08, 0x0A, 0x0B, 0x0F, 0x10, 0x12, 0x13, 0x16, 0x17, 0x18, 0x19, 0x1E, 0x1F, 0x20,
    0x25, 0x28, 0x29, 0x2C, 0x2D, 0x30, 0x31, 0x39, 0x3A, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x42, 0x43,
    3,
    sk::data::kTypeString, sk::data::kTypeDecimal, sk::data::kTypeLong,
};

const sk::data::DriverDescriptor kDescriptor = {
    "MEMORY", "", "Sitekeeper test driver", "Memory Test Driver 1.0", &memory_entry, {}, 37, 37, 40,
    sizeof(MemoryState), kOperationList, sizeof kOperationList,
};

std::string be32(std::uint32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = char((v >> (8 * (3 - i))) & 0xFF);
    return out;
}

std::uint32_t read_be32(std::string_view s) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4 && i < s.size(); ++i) v = v << 8 | std::uint8_t(s[i]);
    return v;
}

std::string encode_component(const FileControlBlock& file, const FieldInfo& f, bool no_case, const char* record) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(record + f.offset);
    std::string out(f.size, '\0');
    bool oem = (file.attributes & sk::data::kAttrOemText) != 0;
    auto weigh = [&](std::uint8_t c) {
        if (oem) c = rt::ansi_to_oem(c);
        if (no_case) c = rt::upper_char(c);
        return char(oem ? rt::oem_collation_weight(c) : rt::collation_weight(c));
    };
    switch (f.type) {
        case sk::data::kTypeString:
            for (std::size_t i = 0; i < f.size; ++i) out[i] = weigh(p[i]);
            break;
        case sk::data::kTypeCstring: {
            bool ended = false;
            for (std::size_t i = 0; i < f.size; ++i) {
                ended = ended || p[i] == 0;
                out[i] = ended ? weigh(0) : weigh(p[i]);
            }
            break;
        }
        case sk::data::kTypePstring:
            for (std::size_t i = 0; i < f.size; ++i) out[i] = weigh(i + 1 < f.size && i < p[0] ? p[i + 1] : 0);
            break;
        case sk::data::kTypeUshort: case sk::data::kTypeUlong: case sk::data::kTypeShort: case sk::data::kTypeLong:
            for (std::size_t i = 0; i < f.size; ++i) out[i] = char(p[f.size - 1 - i]);
            if (f.type == sk::data::kTypeShort || f.type == sk::data::kTypeLong) out[0] = char(out[0] ^ 0x80);
            break;
        case sk::data::kTypeSreal: case sk::data::kTypeReal: {
            for (std::size_t i = 0; i < f.size; ++i) out[i] = char(p[f.size - 1 - i]);
            bool negative = (std::uint8_t(out[0]) & 0x80) != 0;
            for (char& c : out) c = negative ? char(~c) : c;
            if (!negative) out[0] = char(out[0] | 0x80);
            break;
        }
        case sk::data::kTypeDecimal:
            std::memcpy(out.data(), p, f.size);
            if ((p[0] >> 4) != 0) {
                out[0] = char(p[0] & 0x0F);
                for (char& c : out) c = char(~c);
            }
            out[0] = char(out[0] ^ 0x80);
            break;
        default:
            std::memcpy(out.data(), p, f.size);
    }
    return out;
}

bool component_is_empty(const FieldInfo& f, const char* record) {
    const char* p = record + f.offset;
    switch (f.type) {
        case sk::data::kTypeString: case sk::data::kTypeGroup:
            for (std::size_t i = 0; i < f.size; ++i) if (p[i] != ' ') return false;
            return true;
        case sk::data::kTypeCstring: case sk::data::kTypePstring:
            return f.size == 0 || p[0] == 0;
        default:
            for (std::size_t i = 0; i < f.size; ++i) if (p[i] != 0) return false;
            return true;
    }
}

const FieldInfo* component_field(const std::vector<FieldInfo>& fields, std::int32_t v, bool* descending) {
    std::int64_t index = v > 0 ? std::int64_t(v) - 1 : std::int64_t(~v);
    *descending = v < 0;
    if (v == 0 || index < 0 || std::size_t(index) >= fields.size()) return nullptr;
    return &fields[std::size_t(index)];
}

std::string encode_value(const FileControlBlock& file, const std::vector<FieldInfo>& fields, const KeyControlBlock& key,
                         const char* record, bool* empty) {
    std::string out;
    bool all_empty = true;
    for (unsigned i = 0; i < key.component_count; ++i) {
        bool descending = false;
        const FieldInfo* f = component_field(fields, key.components[i], &descending);
        if (f == nullptr) continue;
        std::string part = encode_component(file, *f, (key.attributes & sk::data::kKeyNoCase) != 0, record);
        if (descending) for (char& c : part) c = char(~c);
        all_empty = all_empty && component_is_empty(*f, record);
        out += part;
    }
    if (empty) *empty = all_empty;
    return out;
}

bool has_duplicates(const KeyControlBlock& key) { return (key.attributes & sk::data::kKeyDuplicates) != 0; }

// The entry key of record for key k; false when the key is optional and empty.
bool entry_key(FileControlBlock* file, int k, const char* record, std::uint32_t number, std::string* out) {
    MemoryState& s = state_of(file);
    const KeyControlBlock& key = *file->keys[k];
    bool empty = false;
    *out = encode_value(*file, s.fields, key, record, &empty);
    if (empty && (key.attributes & sk::data::kKeyOptional)) return false;
    if (has_duplicates(key)) *out += be32(number);
    return true;
}

int key_index(FileControlBlock* file, const KeyControlBlock* key) {
    for (unsigned i = 0; i < file->key_count; ++i) {
        if (file->keys[i] == key) return int(i);
    }
    return -1;
}

void deliver(FileControlBlock* file, std::uint32_t number) {
    MemoryState& s = state_of(file);
    const std::string& image = s.table->records[number];
    std::memcpy(file->record, image.data(), image.size());
    s.current = number;
    ++g_reads;
    if (s.watch_requested) {
        s.watched = true;
        s.watched_copy = image;
        s.watch_requested = false;
    }
}

int step(FileControlBlock* file, bool forward) {
    MemoryState& s = state_of(file);
    if (s.mode == Mode::kNone) return rt::kRecordNotAvailable;
    if (s.key < 0) {
        auto& m = s.table->records;
        std::map<std::uint32_t, std::string>::iterator it;
        std::uint32_t at = s.mode == Mode::kContinue ? s.position_record : s.start_record;
        bool start = s.mode == Mode::kFileStart;
        bool inclusive = s.mode != Mode::kContinue;
        if (forward) {
            it = start ? m.begin() : inclusive ? m.lower_bound(at) : m.upper_bound(at);
        } else {
            it = start ? m.end() : inclusive ? m.upper_bound(at) : m.lower_bound(at);
            it = it == m.begin() ? m.end() : std::prev(it);
        }
        if (it == m.end()) return rt::kRecordNotAvailable;
        s.mode = Mode::kContinue;
        s.position_record = it->first;
        deliver(file, it->first);
        return 0;
    }
    auto& m = s.table->keys[std::size_t(s.key)];
    bool dup = has_duplicates(*file->keys[s.key]);
    std::map<std::string, std::uint32_t>::iterator it;
    switch (s.mode) {
        case Mode::kKeyStart:
            it = forward ? m.begin() : (m.empty() ? m.end() : std::prev(m.end()));
            break;
        case Mode::kKeyValue:
            if (forward) {
                it = m.lower_bound(s.start);
            } else {
                it = m.upper_bound(dup ? s.start + std::string(4, '\xFF') : s.start);
                it = it == m.begin() ? m.end() : std::prev(it);
            }
            break;
        case Mode::kKeyPosition:
        case Mode::kContinue: {
            const std::string& at = s.mode == Mode::kContinue ? s.position : s.start;
            bool inclusive = s.mode == Mode::kKeyPosition;
            if (forward) {
                it = inclusive ? m.lower_bound(at) : m.upper_bound(at);
            } else {
                it = inclusive ? m.upper_bound(at) : m.lower_bound(at);
                it = it == m.begin() ? m.end() : std::prev(it);
            }
            break;
        }
        default:
            return rt::kRecordNotAvailable;
    }
    if (it == m.end()) return rt::kRecordNotAvailable;
    s.mode = Mode::kContinue;
    s.position = it->first;
    deliver(file, it->second);
    return 0;
}

// Inserts the entries of record number for every key; on a duplicate the entries
// already inserted are taken out again and 40 is returned.
int insert_entries(FileControlBlock* file, std::uint32_t number, const char* record) {
    MemoryState& s = state_of(file);
    std::vector<std::pair<int, std::string>> done;
    for (unsigned k = 0; k < file->key_count; ++k) {
        std::string e;
        if (!entry_key(file, int(k), record, number, &e)) continue;
        auto& m = s.table->keys[k];
        if (m.count(e) != 0) {
            for (auto& [dk, de] : done) s.table->keys[std::size_t(dk)].erase(de);
            return rt::kCreatesDuplicateKey;
        }
        m[e] = number;
        done.emplace_back(int(k), e);
    }
    return 0;
}

void erase_entries(FileControlBlock* file, std::uint32_t number, const char* record) {
    MemoryState& s = state_of(file);
    for (unsigned k = 0; k < file->key_count; ++k) {
        std::string e;
        if (entry_key(file, int(k), record, number, &e)) s.table->keys[k].erase(e);
    }
}

int create_state(FileControlBlock* file) {
    if (file->record_length > sk::data::kMaxRecordLength || file->key_count > sk::data::kMaxKeys) {
        return rt::kInvalidRecordDeclaration;
    }
    std::vector<FieldInfo> fields;
    int result = sk::data::parse_field_stream(file->fields, file->fields_size, &fields);
    if (result != 0) return result;
    auto* s = new MemoryState;
    s->fields = std::move(fields);
    file->state = s;
    return 0;
}

void release_state(FileControlBlock* file) {
    delete static_cast<MemoryState*>(file->state);
    file->state = nullptr;
}

int run(DriverCall& call) {
    FileControlBlock* file = call.file;
    MemoryState& s = state_of(file);
    sk::data::OperationArgs& args = *call.args;
    std::string name = sk::data::file_name_text(*file);
    if (call.op == g_fail_op && g_fail_countdown-- == 0) {
        g_fail_op = -1;
        return g_fail_code;
    }
    switch (call.op) {
        case sk::data::kOpLogout:
            if (s.table) g_enlisted.try_emplace(s.table, *s.table);
            return 0;
        case sk::data::kOpCommit:
            g_enlisted.clear();
            return 0;
        case sk::data::kOpRollback:
            for (auto& [table, copy] : g_enlisted) *table = copy;
            g_enlisted.clear();
            return 0;
        case sk::data::kOpCreate: {
            auto table = std::make_shared<MemoryTable>();
            table->record_length = file->record_length;
            table->key_count = file->key_count;
            table->keys.resize(file->key_count);
            g_store[name] = table;
            return 0;
        }
        case sk::data::kOpRemove:
            return g_store.erase(name) ? 0 : rt::kFileNotFound;
        case sk::data::kOpOpen:
        case sk::data::kOpShare: {
            auto found = g_store.find(name);
            if (found == g_store.end()) return rt::kFileNotFound;
            if (found->second->record_length != file->record_length || found->second->key_count != file->key_count) {
                return rt::kInvalidRecordDeclaration;
            }
            s.table = found->second;
            return 0;
        }
        case sk::data::kOpClose:
            return 0;
        case sk::data::kOpAdd: {
            std::uint32_t number = s.table->next_record;
            int result = insert_entries(file, number, file->record);
            if (result != 0) {
                s.current = 0;  // a failed ADD leaves no current record
                return result;
            }
            ++s.table->next_record;
            s.table->records[number].assign(file->record, file->record_length);
            s.current = number;
            return 0;
        }
        case sk::data::kOpPut: {
            auto found = s.table->records.find(s.current);
            if (found == s.table->records.end()) return rt::kRecordNotAvailable;
            std::string old = found->second;
            if (s.watched && old != s.watched_copy) return rt::kRecordChangedByAnother;
            erase_entries(file, s.current, old.data());
            int result = insert_entries(file, s.current, file->record);
            if (result != 0) {
                insert_entries(file, s.current, old.data());
                return result;
            }
            found->second.assign(file->record, file->record_length);
            s.watched = false;
            return 0;
        }
        case sk::data::kOpDelete: {
            auto found = s.table->records.find(s.current);
            if (found == s.table->records.end()) return rt::kRecordNotAvailable;
            erase_entries(file, s.current, found->second.data());
            s.table->records.erase(found);
            s.current = 0;
            return 0;
        }
        case sk::data::kOpSet:
            s.key = -1;
            s.mode = Mode::kFileStart;
            return 0;
        case sk::data::kOpSetKey:
        case sk::data::kOpSetKeyValue: {
            int k = key_index(file, args.key(0));
            if (k < 0) return rt::kInvalidKeyFile;
            s.key = k;
            s.mode = call.op == sk::data::kOpSetKey ? Mode::kKeyStart : Mode::kKeyValue;
            if (s.mode == Mode::kKeyValue) s.start = encode_value(*file, s.fields, *file->keys[k], file->record, nullptr);
            return 0;
        }
        case sk::data::kOpReset:
            s.key = -1;
            s.mode = Mode::kFilePointer;
            s.start_record = read_be32(call.text);
            return 0;
        case sk::data::kOpResetKey: {
            int k = key_index(file, args.key(0));
            if (k < 0) return rt::kInvalidKeyFile;
            if (call.text.size() < 4) return rt::kRecordNotFound;
            s.key = k;
            s.mode = Mode::kKeyPosition;
            s.start = call.text.substr(4);
            if (has_duplicates(*file->keys[k])) s.start += call.text.substr(0, 4);
            return 0;
        }
        case sk::data::kOpNext:
            return step(file, true);
        case sk::data::kOpPrevious:
            return step(file, false);
        case sk::data::kOpSkip: {
            std::int64_t n = std::int64_t(args.at(0));
            for (std::int64_t i = 0; i < (n < 0 ? -n : n); ++i) {
                int result = step(file, n > 0);
                if (result != 0) return result;
            }
            return 0;
        }
        case sk::data::kOpGetKey: {
            int k = key_index(file, args.key(0));
            if (k < 0) return rt::kInvalidKeyFile;
            std::string value = encode_value(*file, s.fields, *file->keys[k], file->record, nullptr);
            auto& m = s.table->keys[std::size_t(k)];
            auto it = m.lower_bound(value);
            if (it == m.end() || it->first.compare(0, value.size(), value) != 0) return rt::kRecordNotFound;
            deliver(file, it->second);
            return 0;
        }
        case sk::data::kOpGetPointer: {
            auto number = std::uint32_t(args.at(0));
            if (s.table->records.count(number) == 0) {
                s.current = 0;
                return rt::kRecordNotFound;
            }
            deliver(file, number);
            return 0;
        }
        case sk::data::kOpReget:
        case sk::data::kOpRegetKey: {
            std::uint32_t number = read_be32(call.text);
            if (call.text.size() < 4 || s.table->records.count(number) == 0) return rt::kRecordNotFound;
            deliver(file, number);
            return 0;
        }
        case sk::data::kOpPosition:
            call.text_result = be32(s.current);
            return 0;
        case sk::data::kOpPositionKey: {
            int k = key_index(file, args.key(0));
            if (k < 0) return rt::kInvalidKeyFile;
            auto found = s.table->records.find(s.current);
            if (found == s.table->records.end()) return rt::kRecordNotAvailable;
            call.text_result = be32(s.current) + encode_value(*file, s.fields, *file->keys[k], found->second.data(), nullptr);
            return 0;
        }
        case sk::data::kOpDuplicateKey: {
            // Another record holds the buffer's value of the key.
            const int k = key_index(file, args.key(0));
            if (k < 0 || !s.table) return rt::kInvalidKeyFile;
            const std::string value = encode_value(*file, s.fields, *file->keys[k], file->record, nullptr);
            const auto& m = s.table->keys[std::size_t(k)];
            bool found = false;
            for (auto it = m.lower_bound(value); it != m.end() && it->first.compare(0, value.size(), value) == 0; ++it) {
                const bool exact = has_duplicates(*file->keys[k]) ? it->first.size() == value.size() + 4 : it->first == value;
                if (exact && it->second != s.current) found = true;
            }
            args.result = found ? 1 : 0;
            return 0;
        }
        case sk::data::kOpWatch:
            s.watch_requested = true;
            return 0;
        case sk::data::kOpHold:
        case sk::data::kOpHoldTimeout:
            return 0;
        case sk::data::kOpRecords:
            args.result = std::int64_t(s.table ? s.table->records.size() : 0);
            return 0;
        case sk::data::kOpCurrentKey:
            args.result = s.mode == Mode::kNone ? 0 : s.key + 1;
            return 0;
        case sk::data::kOpName:
            call.text_result = name;
            return 0;
        case sk::data::kOpSend:
            call.text_result = call.text == "REGISTER" ? sk::data::descriptor_bytes(kDescriptor)
                                                       : std::string("SEND arg not recognised");
            return 0;
        default:
            return rt::kUnsupportedFunction;
    }
}

const sk::data::DriverOps kOps = {&kDescriptor, &create_state, &release_state, &run, nullptr};

}  // namespace

int memory_entry(int op, FileControlBlock* file, sk::data::OperationArgs* args) {
    return sk::data::run_driver_operation(kOps, op, file, args);
}

const sk::data::DriverDescriptor& memory_descriptor() { return kDescriptor; }

void memory_store_clear() {
    g_store.clear();
    g_enlisted.clear();
    g_fail_op = -1;
}

void memory_fail_operation(int op, int after, int code) {
    g_fail_op = op;
    g_fail_countdown = after;
    g_fail_code = code;
}

bool memory_transaction_active() { return !g_enlisted.empty(); }
std::uint64_t memory_reads() { return g_reads; }
void reset_memory_reads() { g_reads = 0; }

std::string memory_encode_key(const FileControlBlock& file, const KeyControlBlock& key, const char* record) {
    std::vector<FieldInfo> fields;
    if (sk::data::parse_field_stream(file.fields, file.fields_size, &fields) != 0) return {};
    return encode_value(file, fields, key, record, nullptr);
}

// ---------------------------------------------------------------------------
// TestFile

TestFile::TestFile(std::string name, std::vector<TestField> fields, std::vector<TestKey> keys,
                   sk::data::DriverEntry entry)
    : m_name(std::move(name)), m_fields(std::move(fields)) {
    sk::data::FieldStreamBuilder builder;
    std::uint32_t offset = 0;
    for (const TestField& f : m_fields) {
        std::uint32_t size = f.size;
        switch (f.type) {
            case sk::data::kTypeString: builder.string(offset, f.label, f.size); break;
            case sk::data::kTypeCstring: builder.cstring(offset, f.label, f.size); break;
            case sk::data::kTypePstring: builder.pstring(offset, f.label, f.size); break;
            case sk::data::kTypeDecimal:
                builder.decimal(offset, f.label, std::uint8_t(f.size), f.places);
                size = sk::data::decimal_size(std::uint8_t(f.size));
                break;
            default:
                builder.plain(offset, f.label, f.type);
                size = f.type == sk::data::kTypeByte ? 1 : f.type == sk::data::kTypeShort || f.type == sk::data::kTypeUshort ? 2
                       : f.type == sk::data::kTypeReal ? 8 : 4;
        }
        m_offsets.push_back(offset);
        m_sizes.push_back(size);
        offset += size;
    }
    m_stream = builder.bytes();
    m_record.assign(offset, '\0');
    m_key_labels.reserve(keys.size());
    m_components.reserve(keys.size());
    for (TestKey& k : keys) {
        m_key_labels.push_back(k.label);
        m_components.push_back(k.components);
        auto block = std::make_unique<KeyControlBlock>();
        block->label = m_key_labels.back().c_str();
        block->label_length = std::uint32_t(m_key_labels.back().size());
        block->attributes = k.attributes;
        block->component_count = std::uint8_t(m_components.back().size());
        block->components = m_components.back().data();
        block->file = &m_file;
        m_key_table.push_back(block.get());
        m_keys.push_back(std::move(block));
    }
    m_file.entry = entry;
    m_file.name = m_name.c_str();
    m_file.name_length = std::uint32_t(m_name.size());
    m_file.key_count = std::uint8_t(m_keys.size());
    m_file.record_length = offset;
    m_file.fields = m_stream.data();
    m_file.fields_size = std::uint32_t(m_stream.size());
    m_file.keys = m_key_table.data();
    m_file.record = m_record.data();
    clear_record();
}

void TestFile::clear_record() {
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        std::memset(field(i), m_fields[i].type == sk::data::kTypeString ? ' ' : 0, m_sizes[i]);
    }
}

void TestFile::set_string(std::size_t index, std::string_view text) {
    char* p = field(index);
    std::size_t n = m_sizes[index];
    std::memset(p, ' ', n);
    std::memcpy(p, text.data(), std::min(n, text.size()));
}

std::string TestFile::string_value(std::size_t index) const {
    std::string s(m_record.data() + m_offsets[index], m_sizes[index]);
    std::size_t end = s.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

void TestFile::set_number(std::size_t index, std::int64_t value) {
    char* p = field(index);
    std::size_t n = m_sizes[index];
    if (m_fields[index].type != sk::data::kTypeDecimal) {
        for (std::size_t i = 0; i < n; ++i) p[i] = char((std::uint64_t(value) >> (8 * i)) & 0xFF);
        return;
    }
    std::uint64_t m = value < 0 ? std::uint64_t(-value) : std::uint64_t(value);
    std::memset(p, 0, n);
    for (std::size_t nib = 2 * n - 1; nib >= 1; --nib) {
        auto d = std::uint8_t(m % 10);
        m /= 10;
        auto& byte = reinterpret_cast<std::uint8_t&>(p[nib / 2]);
        byte = nib % 2 ? std::uint8_t((byte & 0xF0) | d) : std::uint8_t((byte & 0x0F) | (d << 4));
    }
    if (value < 0) p[0] = char(std::uint8_t(p[0]) | 0xB0);
}

std::int64_t TestFile::number_value(std::size_t index) const {
    const auto* p = reinterpret_cast<const std::uint8_t*>(m_record.data() + m_offsets[index]);
    std::size_t n = m_sizes[index];
    if (m_fields[index].type != sk::data::kTypeDecimal) {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) v |= std::uint64_t(p[i]) << (8 * i);
        if (m_fields[index].type == sk::data::kTypeShort) return std::int16_t(v);
        if (m_fields[index].type == sk::data::kTypeLong) return std::int32_t(v);
        return std::int64_t(v);
    }
    std::int64_t m = 0;
    for (std::size_t nib = 1; nib < 2 * n; ++nib) m = m * 10 + (nib % 2 ? p[nib / 2] & 0x0F : p[nib / 2] >> 4);
    return (p[0] >> 4) ? -m : m;
}

}  // namespace sk::test
