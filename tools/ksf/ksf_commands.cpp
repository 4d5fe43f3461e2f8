#include "tools/ksf/ksf_commands.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "data/control_blocks.h"
#include "data/ksf/cipher.h"
#include "data/ksf/definition.h"
#include "data/ksf/header.h"
#include "data/ksf/layout.h"
#include "data/ksf/memo.h"
#include "data/ksf/page_store.h"
#include "data/ksf/page_tree.h"
#include "data/ksf/record.h"
#include "platform/file.h"
#include "platform/system_error.h"
#include "runtime/locale.h"
#include "runtime/oem.h"

namespace sk::ksftool {
namespace {

using namespace sk::ksf;

struct Table {
    std::string name;
    Id id;
    TableDefinition def;
    bool def_ok = false;
    std::map<std::uint16_t, std::string> chunks;
    std::map<std::uint8_t, std::uint32_t> counters;  // which -> entries
    std::map<std::uint32_t, std::string> data;      // recno -> image
    std::map<std::uint8_t, std::set<std::string>> entries;  // key number -> key parts
    std::map<std::pair<std::uint32_t, std::uint8_t>, std::map<std::uint16_t, std::string>> memos;
};

struct Loaded {
    bool opened = false;
    std::shared_ptr<const PageCipher> cipher;  // from KSF_PASSWORD; null for a plain file
    std::vector<std::string> defects;
    Header header;
    std::int64_t file_size = 0;
    int depth = 0;
    std::map<unsigned, std::size_t> pages_per_class;
    std::size_t record_count = 0;
    std::map<std::uint32_t, Table> tables;  // by table number
    std::vector<Record> records;            // every leaf record, in key order
};

std::string hex(std::uint64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llXh", static_cast<unsigned long long>(v));
    return buf;
}

void count_pages(FilePageStore& store, const Header& h, PageRef r, int depth_left, Loaded* l) {
    if (depth_left <= 0) return;
    KsfPage* page = nullptr;
    if (store.load(r, &page) != 0 || !page) return;
    ++l->pages_per_class[h.class_of(r)];
    if (page->is_leaf()) return;
    std::vector<PageRef> children;
    for (const auto& [k, slot] : page->records()) children.push_back(slot.child);
    for (PageRef c : children) count_pages(store, h, c, depth_left - 1, l);
}

std::uint32_t be32(std::string_view s, std::size_t at) { return get_be32(bytes_of(s) + at); }

void classify(const Record& r, Loaded* l) {
    const std::string_view k = r.key();
    switch (record_kind(k)) {
    case RecordKind::kTableName: {
        if (r.data().size() != kIdSize) { l->defects.push_back("table name record with a bad table number"); return; }
        Table& t = l->tables[be32(r.data(), 0)];
        t.name = std::string(k.substr(1));
        t.id = Id::of(be32(r.data(), 0));
        return;
    }
    case RecordKind::kTransactionLink: return;
    default: break;
    }
    if (k.size() < 5) { l->defects.push_back("record with an unknown key part of " + std::to_string(k.size()) + " bytes"); return; }
    Table& t = l->tables[be32(k, 0)];
    const std::uint8_t kind = static_cast<std::uint8_t>(k[4]);
    if (kind == kKindDefinition && k.size() == 7) {
        t.chunks[get_le16(bytes_of(k) + 5)] = std::string(r.data());
    } else if (kind == kKindCounter && k.size() == 6) {
        std::uint32_t entries = 0, mark = 0;
        if (!parse_counter(r.data(), &entries, &mark)) l->defects.push_back("malformed counter record");
        else t.counters[static_cast<std::uint8_t>(k[5])] = entries;
    } else if (kind == kKindData && k.size() == 9) {
        t.data[be32(k, 5)] = std::string(r.data());
    } else if (kind == kKindMemo && k.size() == 12) {
        const std::uint16_t chunk = static_cast<std::uint16_t>((static_cast<std::uint8_t>(k[10]) << 8) | static_cast<std::uint8_t>(k[11]));
        t.memos[{be32(k, 5), static_cast<std::uint8_t>(k[9])}][chunk] = std::string(r.data());
    } else if (kind <= kMaxKeyNumber) {
        t.entries[kind].insert(std::string(r.bytes));
    } else {
        l->defects.push_back("record of unknown kind " + hex(kind) + " in table " + std::to_string(be32(k, 0)));
    }
}

void check_table(Table& t, bool oem, std::vector<std::string>* d) {
    const std::string who = "table " + (t.name.empty() ? std::to_string(t.id.value()) : t.name) + ": ";
    if (t.name.empty()) d->push_back(who + "records without a table name record");
    const std::string stream = join_definition_chunks(t.chunks);
    t.def_ok = !t.chunks.empty() && read_definition(bytes_of(stream), stream.size(), &t.def) == 0;
    if (!t.def_ok) { d->push_back(who + "definition missing or unreadable"); return; }
    if (t.counters.count(kCounterData) == 0) d->push_back(who + "no data record counter");
    else if (t.counters[kCounterData] != t.data.size())
        d->push_back(who + "data counter says " + std::to_string(t.counters[kCounterData]) + ", found " + std::to_string(t.data.size()));
    for (const auto& [recno, img] : t.data)
        if (img.size() != t.def.record_length) d->push_back(who + "record " + std::to_string(recno) + " has " + std::to_string(img.size()) + " bytes, definition says " + std::to_string(t.def.record_length));
    for (std::size_t k = 0; k < t.def.keys.size(); ++k) {
        KeyLayout layout;
        const std::string kw = who + "key " + std::to_string(k) + ": ";
        if (!key_layout(t.def, k, &layout)) { d->push_back(kw + "names no field"); continue; }
        const auto kn = static_cast<std::uint8_t>(k);
        std::set<std::string>& have = t.entries[kn];
        std::set<std::string> expected;
        for (const auto& [recno, img] : t.data) {
            if (layout.optional() && key_is_empty(layout, bytes_of(img), img.size())) continue;
            std::string value;
            if (!encode_key_value(layout, bytes_of(img), img.size(), oem, &value)) continue;
            Record e = key_entry(t.id, kn, value, Id::of(recno), layout.duplicates());
            expected.insert(e.bytes);
            if (!have.count(e.bytes)) d->push_back(kw + "record " + std::to_string(recno) + " has no key entry");
        }
        for (const std::string& e : have)
            if (!expected.count(e)) d->push_back(kw + "entry of " + std::to_string(e.size()) + " bytes matches no data record");
        if (t.counters.count(kn) == 0) d->push_back(kw + "no counter");
        else if (t.counters[kn] != have.size())
            d->push_back(kw + "counter says " + std::to_string(t.counters[kn]) + ", found " + std::to_string(have.size()));
    }
    for (const auto& [kn, set] : t.entries)
        if (kn >= t.def.keys.size() && !set.empty()) d->push_back(who + "entries for undeclared key " + std::to_string(kn));
    for (const auto& [which, n] : t.memos) {
        const std::string mw = who + "memo " + std::to_string(which.second) + " of record " + std::to_string(which.first) + ": ";
        if (!t.data.count(which.first)) d->push_back(mw + "no such record");
        if (which.second >= t.def.memos.size()) d->push_back(mw + "undeclared memo");
        std::vector<std::string_view> parts;
        std::uint16_t next = 0;
        bool gap = false;
        for (const auto& [c, text] : n) { if (c != next++) gap = true; parts.push_back(text); }
        std::string text;
        if (gap) d->push_back(mw + "chunks not numbered 0, 1, ...");
        else if (assemble_memo(parts, &text) != 0) d->push_back(mw + "chunks do not add up");
    }
}

// Reads and checks the file open in f.
Loaded load(sk::platform::File& f, bool oem) {
    Loaded l;
    l.file_size = f.size();
    if (l.file_size == 0) { l.defects.push_back("not a KSF file (empty)"); return l; }
    // An enciphered file is read with the password in KSF_PASSWORD (kept off the
    // command line, where other users could see it).
    if (const char* password = std::getenv("KSF_PASSWORD"); password != nullptr && *password != '\0') {
        l.cipher = PageCipher::for_password(password);
        if (!l.cipher) { l.defects.push_back("cannot derive the key of KSF_PASSWORD"); return l; }
    }
    FilePageStore store(f, l.cipher.get());
    const int rc = store.open();
    if (rc != 0) { l.defects.push_back(rc == 1 ? "not a KSF file (short or wrong signature)" : "header or journal unreadable (error " + std::to_string(rc) + ")"); return l; }
    l.opened = true;
    l.header = store.header();
    const Header& h = l.header;
    if (get_le32(h.data() + kHeaderOwnOffset) != 0) l.defects.push_back("header own offset is not 0");
    if (get_le16(h.data() + kHeaderSizeField) != kHeaderSize) l.defects.push_back("header size field is not 200h");
    if (!h.blocks_consistent()) l.defects.push_back("block tables inconsistent");
    if (l.file_size >= 0 && static_cast<std::uint64_t>(l.file_size) < h.allocated_end())
        l.defects.push_back("file of " + std::to_string(l.file_size) + " bytes is shorter than its allocated end " + std::to_string(h.allocated_end()));
    if (h.journal_start() > h.journal_end()) l.defects.push_back("journal end before journal start");
    PageTree tree(store);
    std::vector<Record> records;
    for (std::string& s : tree.check(&records)) l.defects.push_back("tree: " + s);
    l.depth = tree.depth();
    if (store.root() != kNoPage) count_pages(store, h, store.root(), 64, &l);
    l.record_count = records.size();
    for (const Record& r : records) classify(r, &l);
    l.records = std::move(records);
    for (auto& [id, t] : l.tables) { t.id = Id::of(id); check_table(t, oem, &l.defects); }
    return l;
}

Loaded load(const std::string& path, bool oem) {
    sk::platform::File f;
    if (!f.open(path, sk::platform::kAccessRead | sk::platform::kDenyNone)) {
        Loaded l;
        l.defects.push_back("cannot open " + path);
        return l;
    }
    return load(f, oem);
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// The physical file a name stands for: the name itself when it exists, else,
// for a name without an extension, the name with ".KSF" as the driver adds it.
std::string physical_name(const std::string& file) {
    if (sk::platform::file_exists(file)) return file;
    const auto slash = file.rfind('/');
    const std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    if (!base.empty() && base.find('.') == std::string::npos && sk::platform::file_exists(file + ".KSF"))
        return file + ".KSF";
    return file;
}

void split_name(const std::string& arg, std::string* file, std::string* table) {
    const auto at = arg.find("\\!");
    *file = arg.substr(0, at);
    *table = at == std::string::npos ? "" : arg.substr(at + 2);
}

std::string json_string(std::string_view s) {
    std::string o = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') { o += '\\'; o += static_cast<char>(c); }
        else if (c < 0x20 || c >= 0x7F) { char b[8]; std::snprintf(b, sizeof b, "\\u%04x", c); o += b; }
        else o += static_cast<char>(c);
    }
    return o + "\"";
}

std::string decimal_text(const std::uint8_t* p, std::size_t n, unsigned places) {
    std::string digits;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) digits += static_cast<char>('0' + ((p[i] >> 4) % 10));
        digits += static_cast<char>('0' + (p[i] & 0x0F) % 10);
        if (i == 0) digits = std::string(1, static_cast<char>('0' + (p[0] & 0x0F) % 10));
    }
    while (digits.size() <= places) digits.insert(0, "0");
    if (places) digits.insert(digits.size() - places, ".");
    std::size_t z = 0;
    while (z + 1 < digits.size() && digits[z] == '0' && digits[z + 1] != '.') ++z;
    digits.erase(0, z);
    return ((p[0] & 0xF0) ? "-" : "") + digits;
}

std::string field_value(const FieldDef& f, const std::string& img) {
    if (static_cast<std::size_t>(f.offset) + f.size > img.size()) return "null";
    const auto* p = bytes_of(img) + f.offset;
    auto le = [&](std::size_t n) { std::uint64_t v = 0; for (std::size_t i = n; i-- > 0;) v = (v << 8) | p[i]; return v; };
    switch (f.type) {
    case 0x01: return std::to_string(p[0]);
    case 0x02: return std::to_string(static_cast<std::int16_t>(le(2)));
    case 0x03: return std::to_string(le(2));
    case 0x06: return std::to_string(static_cast<std::int32_t>(le(4)));
    case 0x07: return std::to_string(le(4));
    case 0x0A: case kTypePackedDecimal: return json_string(decimal_text(p, f.size, f.places));
    case 0x13: { std::string s(reinterpret_cast<const char*>(p), f.size); return json_string(s.substr(0, s.find('\0'))); }
    case 0x14: return json_string(std::string_view(reinterpret_cast<const char*>(p) + 1, std::min<std::size_t>(p[0], f.size ? f.size - 1 : 0)));
    case 0x12: { std::string s(reinterpret_cast<const char*>(p), f.size); while (!s.empty() && s.back() == ' ') s.pop_back(); return json_string(s); }
    default: {
        std::string s;
        for (std::size_t i = 0; i < f.size; ++i) { char b[4]; std::snprintf(b, sizeof b, "%02x", p[i]); s += b; }
        return json_string(s);
    }
    }
}

int cmd_info(const Loaded& l, std::ostream& out) {
    const Header& h = l.header;
    out << "journal: " << h.journal_start() << " .. " << h.journal_end() << (h.journal_pending() ? " (pending)" : "") << "\n"
        << "identifier: " << h.identifier() << "\nchange counter: " << h.change_counter() << "\n"
        << "root: " << (h.root() == kNoPage ? std::string("none") : std::to_string(h.root())) << "\n"
        << "file size: " << l.file_size << "\nallocated size: " << h.allocated_end() << "\n"
        << "tree depth: " << l.depth << "\nrecords: " << l.record_count << "\n";
    for (const auto& [cls, n] : l.pages_per_class) out << "pages of class " << cls << ": " << n << "\n";
    for (const auto& [id, t] : l.tables) {
        out << "table " << t.name << " (" << id << "): " << t.data.size() << " records";
        auto c = t.counters.find(kCounterData);
        if (c != t.counters.end()) out << ", counter " << c->second;
        out << "\n";
        for (std::size_t k = 0; t.def_ok && k < t.def.keys.size(); ++k) {
            auto e = t.entries.find(static_cast<std::uint8_t>(k));
            out << "  key " << k << " " << t.def.keys[k].label.value_or("") << ": " << (e == t.entries.end() ? 0 : e->second.size()) << " entries\n";
        }
    }
    return 0;
}

// With oem the string fields are stored as OEM text and are shown converted.
int cmd_dump(const Loaded& l, const std::string& only, bool oem, std::ostream& out, std::ostream& err) {
    bool found = only.empty();
    for (const auto& [id, t] : l.tables) {
        if (!only.empty() && t.name != only) continue;
        found = true;
        if (!t.def_ok) { err << "table " << t.name << ": no readable definition\n"; continue; }
        for (const auto& [recno, stored] : t.data) {
            std::string img = stored;
            if (oem)
                for (const FieldDef& f : t.def.fields)
                    if ((f.type == sk::data::kTypeString || f.type == 0x13 || f.type == 0x14) &&
                        static_cast<std::size_t>(f.offset) + f.size <= img.size())
                        sk::rt::oem_to_ansi_buffer(img.data() + f.offset, f.size);
            out << "{\"table\":" << json_string(t.name) << ",\"record\":" << recno << ",\"fields\":{";
            for (std::size_t i = 0; i < t.def.fields.size(); ++i) {
                const FieldDef& f = t.def.fields[i];
                out << (i ? "," : "") << json_string(f.label.value_or("")) << ":" << field_value(f, img);
            }
            out << "},\"memos\":{";
            for (std::size_t m = 0; m < t.def.memos.size(); ++m) {
                std::string text;
                auto it = t.memos.find({recno, static_cast<std::uint8_t>(m)});
                if (it != t.memos.end()) {
                    std::vector<std::string_view> parts;
                    for (const auto& [c, s] : it->second) parts.push_back(s);
                    if (assemble_memo(parts, &text) != 0) text.clear();
                }
                out << (m ? "," : "") << json_string(t.def.memos[m].label.value_or("")) << ":" << json_string(text);
            }
            out << "}}\n";
        }
    }
    if (!found) { err << "no table " << only << "\n"; return 1; }
    return 0;
}

// Writes the file afresh from its tables' definitions and data records: key
// entries and counters recomputed, memo chunks renumbered, orphans dropped, a
// pending journal's state taken over, every page laid out without gaps. The
// new image goes to a temporary file that replaces the original only once it
// is complete and flushed.
// Carries every record of table id over unchanged: its name record and all
// records under its table number.
int copy_table(const Loaded& l, std::uint32_t id, PageTree* tree) {
    const Id table = Id::of(id);
    for (const Record& r : l.records) {
        const std::string_view k = r.key();
        const RecordKind kind = record_kind(k);
        const bool mine = kind == RecordKind::kTableName ? r.data() == table.view()
                          : kind == RecordKind::kTransactionLink ? false
                                                                 : k.size() >= kIdSize && k.substr(0, kIdSize) == table.view();
        if (!mine) continue;
        if (int rc = tree->insert(r)) return rc;
    }
    return 0;
}

// With a table named, only that table is rebuilt and every record of the other
// tables is carried over as it is.
int cmd_rebuild(const std::string& file, const std::string& only, bool oem, std::ostream& out, std::ostream& err) {
    // Nobody else may have the file open while it is read and replaced; the
    // handle is kept until the new file has taken its place.
    sk::platform::File original;
    if (!original.open(file, sk::platform::kAccessReadWrite | sk::platform::kDenyAll)) {
        err << file << ": " << (sk::platform::file_exists(file) ? "in use or not writable" : "cannot open") << "\n";
        return 1;
    }
    const Loaded l = load(original, oem);
    if (!l.opened) {
        for (const std::string& d : l.defects) err << file << ": " << d << "\n";
        return 1;
    }
    const std::string wanted = upper(only);
    bool found = only.empty();
    for (const auto& [id, t] : l.tables) found = found || t.name == wanted;
    if (!found) {
        err << file << ": no table " << only << "; nothing was changed\n";
        return 1;
    }
    MemoryPageStore store;
    PageTree tree(store);
    std::size_t records = 0, dropped = 0, tables = 0;
    for (const auto& [id, t] : l.tables) {
        if (!only.empty() && t.name != wanted) {
            if (int rc = copy_table(l, id, &tree)) {
                err << file << ": cannot copy table " << (t.name.empty() ? std::to_string(id) : t.name) << " (error "
                    << rc << "); nothing was changed\n";
                return 1;
            }
            continue;
        }
        ++tables;
        if (t.name.empty() || !t.def_ok) {
            err << file << ": table " << (t.name.empty() ? std::to_string(id) : t.name)
                << " has no name or no readable definition; nothing was changed\n";
            return 1;
        }
        tree.insert(table_name_record(t.name, t.id));
        const auto chunks = definition_chunks(write_definition(t.def));
        for (std::size_t c = 0; c < chunks.size(); ++c)
            tree.insert(definition_chunk_record(t.id, static_cast<std::uint16_t>(c), chunks[c]));
        std::uint32_t kept = 0;
        for (const auto& [recno, img] : t.data) {
            if (img.size() != t.def.record_length) { ++dropped; continue; }
            tree.insert(data_record(t.id, Id::of(recno), img));
            ++kept;
        }
        tree.insert(counter_record(t.id, kCounterData, kept, 0));
        for (const auto& [which, parts] : t.memos) {
            if (!t.data.count(which.first) || which.second >= t.def.memos.size()) { ++dropped; continue; }
            std::vector<std::string_view> views;
            for (const auto& [c, text] : parts) views.push_back(text);
            std::string text;
            if (assemble_memo(views, &text) != 0) { ++dropped; continue; }
            for (const Record& r : memo_chunk_records(t.id, Id::of(which.first), which.second, text)) tree.insert(r);
        }
        for (std::size_t k = 0; k < t.def.keys.size(); ++k) {
            KeyLayout layout;
            const auto kn = static_cast<std::uint8_t>(k);
            std::uint32_t entries = 0;
            // A key without components holds no entries.
            if (key_layout(t.def, k, &layout) && !t.def.keys[k].components.empty()) {
                for (const auto& [recno, img] : t.data) {
                    if (img.size() != t.def.record_length) continue;
                    if (layout.optional() && key_is_empty(layout, bytes_of(img), img.size())) continue;
                    std::string value;
                    if (!encode_key_value(layout, bytes_of(img), img.size(), oem, &value)) continue;
                    const Record e = key_entry(t.id, kn, value, Id::of(recno), layout.duplicates());
                    Record found;
                    if (tree.find(e.key(), &found) == 0) {
                        // Two records share a value of a unique key: the first keeps
                        // the entry, and the user is told which record lost it, so
                        // that it can be found in the dump and mended.
                        Id first;
                        err << file << ": table " << t.name << ": record " << recno << " has the same "
                            << t.def.keys[k].label.value_or("key " + std::to_string(k)) << " as record "
                            << (record_number_of(found, &first) ? std::to_string(first.value()) : std::string("?"))
                            << "; it is left out of that key\n";
                        ++dropped;
                        continue;
                    }
                    tree.insert(e);
                    ++entries;
                }
            }
            tree.insert(counter_record(t.id, kn, entries, 0));
        }
        records += kept;
    }
    Header header = l.header;
    std::vector<std::uint8_t> image;
    if (int rc = layout_file(store, &header, &image)) {
        err << file << ": cannot lay out the rebuilt file (error " << rc << ")\n";
        return 1;
    }
    if (l.cipher) l.cipher->apply(0, image.data(), image.size());
    // The new image is written beside the file and takes its place in one step:
    // a crash leaves the old file or the new one, never a part of either.
    const std::string temp = file + ".rebuild";
    sk::platform::File fresh;
    if (!fresh.create(temp, sk::platform::kAccessReadWrite | sk::platform::kDenyAll) ||
        fresh.write_at(0, image.data(), image.size()) != static_cast<std::int64_t>(image.size()) || !fresh.flush()) {
        fresh.close();
        sk::platform::delete_file(temp);
        err << file << ": cannot write " << temp << "; nothing was changed\n";
        return 1;
    }
    fresh.close();
    if (!sk::platform::replace_file_atomically(temp, original.path().empty() ? file : original.path())) {
        const int error = sk::platform::last_system_error();
        if (!sk::platform::file_exists(temp)) {
            // The new file is in place; only making the rename durable failed.
            err << file << ": rebuilt, but the directory could not be flushed (system error " << error << ")\n";
            return 1;
        }
        sk::platform::delete_file(temp);
        err << file << ": cannot replace the file (system error " << error << "); nothing was changed\n";
        return 1;
    }
    original.close();
    out << file << ": rebuilt, " << tables << (tables == 1 ? " table, " : " tables, ") << records << " records";
    if (dropped) out << ", " << dropped << " records or entries dropped";
    out << "\n";
    return 0;
}

}  // namespace

int run_ksf(int argc, char** argv, std::ostream& out, std::ostream& err) {
    // Key entries hold text weighed by the program's collation and, for a file
    // of OEM text, by its OEM table. Neither is stored in the file: --env names
    // the program's environment file (its collation, case pairs and character
    // set), and --oem says the file's text is OEM text.
    bool oem = false;
    while (argc > 1 && argv[1][0] == '-' && argv[1][1] == '-') {
        const std::string_view option = argv[1];
        if (option == "--oem") {
            oem = true;
        } else if (option == "--env" && argc > 2) {
            if (!sk::rt::apply_locale_file(argv[2])) {
                err << "cannot read the environment file " << argv[2] << "\n";
                return 2;
            }
            --argc;
            ++argv;
        } else {
            break;
        }
        --argc;
        ++argv;
    }
    if (argc != 3) {
        err << "usage: ksf [--env ENVFILE] [--oem] info|check|dump|rebuild FILE[\\!TABLE]\n"
               "       --env: the program's environment file, whose collation the keys follow\n"
               "       --oem: the file's text is OEM text\n"
               "       (an enciphered file: its password in KSF_PASSWORD)\n";
        return 2;
    }
    const std::string cmd = argv[1];
    std::string file, table;
    split_name(argv[2], &file, &table);
    if (cmd != "info" && cmd != "check" && cmd != "dump" && cmd != "rebuild") { err << "unknown command " << cmd << "\n"; return 2; }
    file = physical_name(file);
    if (cmd == "rebuild") return cmd_rebuild(file, table, oem, out, err);
    Loaded l = load(file, oem);
    if (cmd == "check") {
        for (const std::string& d : l.defects) out << file << ": " << d << "\n";
        if (l.defects.empty()) out << file << ": clean\n";
        return l.defects.empty() ? 0 : 1;
    }
    if (!l.opened) { for (const std::string& d : l.defects) err << file << ": " << d << "\n"; return 1; }
    return cmd == "info" ? cmd_info(l, out) : cmd_dump(l, table, oem, out, err);
}

}  // namespace sk::ksftool
