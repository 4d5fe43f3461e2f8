// Record-level work of the KESTREL driver: key entries, counters, memos and
// the OEM conversion.
#include "data/ksf/ksf_table.h"

#include <algorithm>
#include <cstring>

#include "data/ksf/memo.h"
#include "runtime/error.h"
#include "runtime/oem.h"

namespace sk::ksf {

PageTree tree_of(KsfFile& file) {
    file.begin_tree_operation();
    return PageTree(file);
}

int tree_result(int rc) {
    if (rc >= 1000) internal_error(rc);
    return rc;
}

namespace {

bool is_text(std::uint8_t type) {
    return type == sk::data::kTypeString || type == sk::data::kTypeCstring || type == sk::data::kTypePstring;
}

void convert_strings(const KsfTable& t, char* image, bool to_oem) {
    for (const sk::data::FieldInfo& f : t.fields) {
        if (!is_text(f.type) || std::uint64_t(f.offset) + f.size > t.record_length) continue;
        if (to_oem)
            sk::rt::ansi_to_oem_buffer(image + f.offset, f.size);
        else
            sk::rt::oem_to_ansi_buffer(image + f.offset, f.size);
    }
}

}  // namespace

std::string disk_image(const KsfTable& t, const char* buffer) {
    std::string disk(buffer, t.record_length);
    if (t.oem) convert_strings(t, disk.data(), true);
    return disk;
}

void to_buffer(const KsfTable& t, std::string_view disk, char* buffer) {
    const std::size_t n = std::min<std::size_t>(disk.size(), t.record_length);
    std::memcpy(buffer, disk.data(), n);
    if (n < t.record_length) std::memset(buffer + n, 0, t.record_length - n);
    if (t.oem) convert_strings(t, buffer, false);
}

bool starts_with(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

std::string prefix_end(std::string prefix) {
    while (!prefix.empty()) {
        unsigned char& c = reinterpret_cast<unsigned char&>(prefix.back());
        if (c != 0xFF) {
            ++c;
            return prefix;
        }
        prefix.pop_back();
    }
    return std::string(1, '\xFF') + std::string(16, '\xFF');
}

std::string key_prefix(const KsfTable& t, const KeyInfo& key) {
    std::string p(t.table.view());
    p.push_back(static_cast<char>(key.number));
    return p;
}

std::string data_prefix(const KsfTable& t) {
    std::string p(t.table.view());
    p.push_back(static_cast<char>(kKindData));
    return p;
}

std::string entry_key(const KsfTable& t, const KeyInfo& key, std::string_view disk, Id recno, bool* present) {
    const auto* image = bytes_of(disk);
    *present = key.has_components;
    if (key.layout.optional() && key_is_empty(key.layout, image, disk.size())) *present = false;
    std::string value;
    if (!encode_key_value(key.layout, image, disk.size(), t.oem, &value)) *present = false;
    return key_entry_key(t.table, key.number, value, recno, key.layout.duplicates());
}

int insert_entries(KsfTable& t, std::string_view disk, Id recno) {
    std::vector<std::pair<std::string, std::uint8_t>> inserted;
    int rc = 0;
    for (KeyInfo& key : t.keys) {
        if (!key.maintained || !key.has_components) {
            if ((rc = adjust_counter(t, key.number, 0, recno.value())) != 0) break;
            continue;
        }
        bool present = false;
        const std::string k = entry_key(t, key, disk, recno, &present);
        if (!present) continue;
        PageTree tree = tree_of(*t.file);
        Record found;
        if (!key.layout.duplicates()) {
            const int f = tree_result(tree.find(k, &found));
            if (f == 0) {
                rc = sk::rt::kCreatesDuplicateKey;
                break;
            }
            if (f != kTreeNone) {
                rc = f;
                break;
            }
        }
        const Record entry = key.layout.duplicates() ? Record::of(k) : Record::of(k, recno.view());
        if ((rc = tree_result(tree_of(*t.file).insert(entry))) != 0) break;
        inserted.emplace_back(k, key.number);
        if ((rc = adjust_counter(t, key.number, 1)) != 0) break;
    }
    if (rc != 0) {
        for (const auto& [k, number] : inserted) {
            tree_of(*t.file).remove(k);
            adjust_counter(t, number, -1);
        }
    }
    return rc;
}

int remove_entries(KsfTable& t, std::string_view disk, Id recno) {
    for (KeyInfo& key : t.keys) {
        if (!key.maintained || !key.has_components) continue;
        bool present = false;
        const std::string k = entry_key(t, key, disk, recno, &present);
        if (!present) continue;
        const int rc = tree_result(tree_of(*t.file).remove(k));
        if (rc == 0) {
            if (int c = adjust_counter(t, key.number, -1)) return c;
        } else if (rc != kTreeNone) {
            return rc;
        }
    }
    return 0;
}

int update_entries(KsfTable& t, std::string_view old_disk, std::string_view new_disk, Id recno) {
    struct Change {
        KeyInfo* key;
        std::string old_key, new_key;
        bool old_present, new_present;
        bool done = false;
    };
    std::vector<Change> changes;
    for (KeyInfo& key : t.keys) {
        if (!key.maintained || !key.has_components) {
            adjust_counter(t, key.number, 0, recno.value());
            continue;
        }
        Change c{&key, {}, {}, false, false};
        c.old_key = entry_key(t, key, old_disk, recno, &c.old_present);
        c.new_key = entry_key(t, key, new_disk, recno, &c.new_present);
        if (c.old_present == c.new_present && c.old_key == c.new_key) continue;
        changes.push_back(std::move(c));
    }
    const auto entry_of = [&](const Change& c, const std::string& k) {
        return c.key->layout.duplicates() ? Record::of(k) : Record::of(k, recno.view());
    };
    int rc = 0;
    // Old entries out first, so that a record swapping values with itself is fine.
    for (Change& c : changes)
        if (c.old_present) tree_of(*t.file).remove(c.old_key);
    std::size_t done = 0;
    for (; done < changes.size(); ++done) {
        Change& c = changes[done];
        if (!c.new_present) continue;
        if (!c.key->layout.duplicates()) {
            Record found;
            const int f = tree_result(tree_of(*t.file).find(c.new_key, &found));
            if (f == 0) {
                rc = sk::rt::kCreatesDuplicateKey;
                break;
            }
            if (f != kTreeNone) {
                rc = f;
                break;
            }
        }
        if ((rc = tree_result(tree_of(*t.file).insert(entry_of(c, c.new_key)))) != 0) break;
    }
    if (rc != 0) {
        for (std::size_t i = 0; i < done; ++i)
            if (changes[i].new_present) tree_of(*t.file).remove(changes[i].new_key);
        for (Change& c : changes)
            if (c.old_present) tree_of(*t.file).insert(entry_of(c, c.old_key));
        return rc;
    }
    for (Change& c : changes) {
        const int delta = (c.new_present ? 1 : 0) - (c.old_present ? 1 : 0);
        if (delta != 0)
            if (int a = adjust_counter(t, c.key->number, delta)) return a;
    }
    return 0;
}

int read_counter(KsfTable& t, std::uint8_t which, std::uint32_t* entries, std::uint32_t* rebuild_mark) {
    *entries = *rebuild_mark = 0;
    Record r;
    const int rc = tree_result(tree_of(*t.file).find(counter_key(t.table, which), &r));
    if (rc == kTreeNone) return 0;
    if (rc != 0) return rc;
    if (!parse_counter(r.data(), entries, rebuild_mark)) return sk::rt::kInvalidDataFile;
    return 0;
}

int write_counter(KsfTable& t, std::uint8_t which, std::uint32_t entries, std::uint32_t rebuild_mark) {
    const Record r = counter_record(t.table, which, entries, rebuild_mark);
    PageTree tree = tree_of(*t.file);
    int rc = tree_result(tree.replace(r));
    if (rc == kTreeNone) rc = tree_result(tree_of(*t.file).insert(r));
    return rc;
}

int adjust_counter(KsfTable& t, std::uint8_t which, std::int64_t delta, std::uint32_t rebuild_mark) {
    std::uint32_t entries = 0, mark = 0;
    if (int rc = read_counter(t, which, &entries, &mark)) return rc;
    const std::int64_t next = std::max<std::int64_t>(0, std::int64_t(entries) + delta);
    const std::uint32_t new_mark = mark != 0 ? mark : rebuild_mark;
    if (next == entries && new_mark == mark) return 0;
    return write_counter(t, which, static_cast<std::uint32_t>(next), new_mark);
}

void clear_memos(KsfTable& t) {
    for (MemoInfo& m : t.memos) {
        if (m.block != nullptr && m.block->buffer != nullptr) std::memset(m.block->buffer, ' ', m.size);
        m.used = 0;
        m.sliced = false;
    }
}

namespace {

std::string memo_prefix(const KsfTable& t, Id recno, std::uint8_t memo) {
    std::string k = memo_chunk_key(t.table, recno, memo, 0);
    k.resize(k.size() - 2);
    return k;
}

// The memo's text: the buffer up to its last character that is neither a
// blank nor a zero byte, or the used length a slice write left, if longer.
// The length of the memo read last does not count: a program that blanks the
// buffer for the next record must not store that many blanks with it.
std::string memo_text(const MemoInfo& m) {
    if (m.block == nullptr || m.block->buffer == nullptr) return {};
    std::size_t n = m.size;
    while (n > 0 && (m.block->buffer[n - 1] == ' ' || m.block->buffer[n - 1] == '\0')) --n;
    if (m.sliced) n = std::max<std::size_t>(n, std::min<std::size_t>(m.used, m.size));
    return std::string(m.block->buffer, n);
}

}  // namespace

int remove_memos(KsfTable& t, Id recno) {
    for (std::size_t i = 0; i < t.memos.size(); ++i)
        if (int rc = remove_prefix(*t.file, memo_prefix(t, recno, static_cast<std::uint8_t>(i)))) return rc;
    return 0;
}

int write_memos(KsfTable& t, Id recno) {
    for (std::size_t i = 0; i < t.memos.size(); ++i) {
        const auto memo = static_cast<std::uint8_t>(i);
        const std::string text = memo_text(t.memos[i]);
        t.memos[i].used = static_cast<std::uint32_t>(text.size());
        t.memos[i].sliced = false;
        const std::vector<Record> chunks = memo_chunk_records(t.table, recno, memo, text);
        std::vector<Record> old;
        if (int rc = collect_prefix(*t.file, memo_prefix(t, recno, memo), &old)) return rc;
        if (old == chunks) continue;
        if (int rc = remove_prefix(*t.file, memo_prefix(t, recno, memo))) return rc;
        for (const Record& r : chunks)
            if (int rc = tree_result(tree_of(*t.file).insert(r))) return rc;
    }
    return 0;
}

namespace {

// Memo reads at one content version before a summary is considered, and the
// share of the table's records they must reach: building scans every memo
// chunk of the table, which the reads it saves must pay for.
constexpr std::uint64_t kSummaryFirstCheck = 512;
constexpr std::uint64_t kSummaryCheckEvery = 1024;
constexpr std::uint64_t kSummaryReadShare = 32;

// Fills s from the table's memo chunks; false when a key in the memo range
// is too short to name a record.
bool build_memo_summary(KsfTable& t, MemoSummary* s) {
    std::string prefix(t.table.view());
    prefix.push_back(static_cast<char>(kKindMemo));
    const std::size_t recno_at = prefix.size(), memo_at = prefix.size() + kIdSize;
    bool sound = true;
    s->irregular.clear();
    const int rc = tree_result(tree_of(*t.file).scan(prefix, [&](std::string_view key, std::string_view data) {
        if (key.size() < memo_at) {
            sound = false;
            return false;
        }
        const std::uint32_t recno = get_be32(bytes_of(key) + recno_at);
        // An empty memo as written: chunk 0 of a declared memo, length 0.
        const bool empty_chunk = key.size() == memo_at + 3 &&
                                 static_cast<std::uint8_t>(key[memo_at]) < t.memos.size() && key[memo_at + 1] == 0 &&
                                 key[memo_at + 2] == 0 && data.size() == 4 && get_le32(bytes_of(data)) == 0;
        if (!empty_chunk && (s->irregular.empty() || s->irregular.back() != recno)) s->irregular.push_back(recno);
        return true;
    }));
    return rc == 0 && sound;
}

}  // namespace

bool memos_known_empty(KsfTable& t, Id recno) {
    MemoSummary& s = t.memo_summary;
    const std::uint64_t version = t.file->content_version();
    if (s.version != version) {
        s.version = version;
        s.reads = 0;
        s.built = s.unusable = false;
        s.irregular.clear();
    }
    if (!s.built) {
        if (s.unusable) return false;
        const std::uint64_t reads = ++s.reads;
        if (reads < kSummaryFirstCheck || (reads - kSummaryFirstCheck) % kSummaryCheckEvery != 0) return false;
        std::uint32_t records = 0, mark = 0;
        if (read_counter(t, kCounterData, &records, &mark) != 0) return false;
        if (reads * kSummaryReadShare < records) return false;
        s.unusable = !build_memo_summary(t, &s);
        // Reading the pages must not have changed anything; if it did, the
        // summary belongs to no version.
        s.built = !s.unusable && t.file->content_version() == version;
        if (!s.built) return false;
    }
    return !std::binary_search(s.irregular.begin(), s.irregular.end(), recno.value());
}

int read_memos(KsfTable& t, Id recno) {
    if (t.memos.empty()) return 0;
    if (memos_known_empty(t, recno)) {
        for (MemoInfo& m : t.memos) {
            if (m.block == nullptr || m.block->buffer == nullptr) continue;
            std::memset(m.block->buffer, ' ', m.size);
            m.used = 0;
            m.sliced = false;
        }
        return 0;
    }
    for (std::size_t i = 0; i < t.memos.size(); ++i) {
        MemoInfo& m = t.memos[i];
        std::vector<Record> chunks;
        if (int rc = collect_prefix(*t.file, memo_prefix(t, recno, static_cast<std::uint8_t>(i)), &chunks)) return rc;
        std::vector<std::string_view> parts;
        for (const Record& r : chunks) parts.push_back(r.data());
        std::string text;
        if (assemble_memo(parts, &text) != 0) return sk::rt::kInvalidDataFile;
        if (m.block != nullptr && m.block->buffer != nullptr) {
            const std::size_t n = std::min<std::size_t>(text.size(), m.size);
            std::memcpy(m.block->buffer, text.data(), n);
            std::memset(m.block->buffer + n, ' ', m.size - n);
            m.used = static_cast<std::uint32_t>(n);
            m.sliced = false;
        }
    }
    return 0;
}

int collect_prefix(KsfFile& file, std::string_view prefix, std::vector<Record>* out) {
    out->clear();
    const int rc = tree_result(tree_of(file).collect(prefix, out));
    return rc == kTreeNone ? 0 : rc;
}

int remove_prefix(KsfFile& file, std::string_view prefix) {
    std::vector<Record> records;
    if (int rc = collect_prefix(file, prefix, &records)) return rc;
    for (const Record& r : records)
        if (int rc = tree_result(tree_of(file).remove(r.key())); rc != 0 && rc != kTreeNone) return rc;
    return 0;
}

int rebuild_key(KsfTable& t, KeyInfo& key) {
    if (int rc = remove_prefix(*t.file, key_prefix(t, key))) return rc;
    std::vector<Record> data;
    if (int rc = collect_prefix(*t.file, data_prefix(t), &data)) return rc;
    std::uint32_t count = 0;
    int result = 0;
    for (const Record& r : data) {
        if (!key.has_components) break;
        const Id recno = Id::of(get_be32(bytes_of(r.key()) + 5));
        bool present = false;
        const std::string k = entry_key(t, key, r.data(), recno, &present);
        if (!present) continue;
        Record found;
        if (!key.layout.duplicates() && tree_result(tree_of(*t.file).find(k, &found)) == 0) {
            result = sk::rt::kCreatesDuplicateKey;
            continue;
        }
        const Record entry = key.layout.duplicates() ? Record::of(k) : Record::of(k, recno.view());
        if (int rc = tree_result(tree_of(*t.file).insert(entry))) return rc;
        ++count;
    }
    if (int rc = write_counter(t, key.number, count, 0)) return rc;
    return result;
}

}  // namespace sk::ksf
