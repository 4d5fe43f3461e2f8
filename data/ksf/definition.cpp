// Writing, reading and comparing table definition streams.
#include "data/ksf/definition.h"

#include "data/control_blocks.h"
#include "data/ksf/format.h"
#include "data/ksf/record.h"
#include "runtime/error.h"

namespace sk::ksf {

namespace {

using namespace sk::data;

void put_byte(std::string* s, std::uint32_t v) { s->push_back(static_cast<char>(v & 0xFF)); }

void put_text(std::string* s, const Text& t) {
    if (!t) {
        s->push_back('\0');
        s->push_back('\1');
    } else if (t->empty()) {
        s->push_back('\0');
        s->push_back('\0');
    } else {
        // A text cannot hold its own terminator; anything after a NUL is dropped.
        s->append(t->substr(0, t->find('\0')));
        s->push_back('\0');
    }
}

class Reader {
public:
    Reader(const std::uint8_t* p, std::size_t n) : m_p(p), m_n(n) {}
    bool ok() const { return m_ok; }
    std::uint8_t byte() {
        if (m_pos >= m_n) {
            m_ok = false;
            return 0;
        }
        return m_p[m_pos++];
    }
    std::uint16_t word() {
        std::uint16_t lo = byte();
        return static_cast<std::uint16_t>(lo | (byte() << 8));
    }
    Text text() {
        std::string s;
        for (;;) {
            if (m_pos >= m_n) {
                m_ok = false;
                return s;
            }
            std::uint8_t c = m_p[m_pos++];
            if (c == 0) break;
            s.push_back(static_cast<char>(c));
        }
        if (!s.empty()) return s;
        std::uint8_t second = byte();
        if (second == 1) return std::nullopt;
        if (second != 0) m_ok = false;
        return s;
    }
    std::size_t left() const { return m_n - m_pos; }

private:
    const std::uint8_t* m_p;
    std::size_t m_n;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

}  // namespace

bool has_string_size(std::uint8_t type) {
    return type == kTypeString || type == kTypeCstring || type == kTypePstring;
}
bool has_decimal_size(std::uint8_t type) { return type == kTypeDecimal || type == kTypePackedDecimal; }

std::uint16_t definition_version(const TableDefinition& def) {
    for (const MemoDef& m : def.memos)
        if (m.attributes & 0x04) return 2;
    return 1;
}

std::string write_definition(const TableDefinition& def) {
    std::string s;
    append_le16(&s, def.version);
    append_le16(&s, def.record_length);
    append_le16(&s, static_cast<std::uint32_t>(def.fields.size()));
    append_le16(&s, static_cast<std::uint32_t>(def.memos.size()));
    append_le16(&s, static_cast<std::uint32_t>(def.keys.size()));
    for (const FieldDef& f : def.fields) {
        put_byte(&s, f.type);
        append_le16(&s, f.offset);
        put_text(&s, f.label);
        append_le16(&s, f.elements);
        append_le16(&s, f.size);
        append_le16(&s, f.extra);
        append_le16(&s, f.position);
        if (has_decimal_size(f.type)) {
            put_byte(&s, f.digits);
            put_byte(&s, f.places);
        } else if (has_string_size(f.type)) {
            append_le16(&s, f.string_length);
            put_text(&s, f.picture);
        }
    }
    for (const MemoDef& m : def.memos) {
        put_text(&s, m.external_name);
        put_text(&s, m.label);
        append_le16(&s, m.size);
        append_le16(&s, m.attributes);
    }
    for (const KeyDef& k : def.keys) {
        put_text(&s, k.label);
        put_text(&s, k.external_name);
        put_byte(&s, k.attributes);
        append_le16(&s, static_cast<std::uint32_t>(k.components.size()));
        for (const KeyComponentDef& c : k.components) {
            append_le16(&s, c.field);
            append_le16(&s, c.descending ? 1 : 0);
        }
    }
    return s;
}

int read_definition(const std::uint8_t* stream, std::size_t n, TableDefinition* out) {
    Reader r(stream, n);
    TableDefinition def;
    def.version = r.word();
    def.record_length = r.word();
    const std::size_t fields = r.word(), memos = r.word(), keys = r.word();
    // Each entry takes several bytes; counts the stream cannot hold are refused
    // before anything is allocated.
    if (!r.ok() || fields * 12 + memos * 8 + keys * 7 > r.left()) return sk::rt::kInvalidDataFile;
    for (std::size_t i = 0; i < fields && r.ok(); ++i) {
        FieldDef f;
        f.type = r.byte();
        f.offset = r.word();
        f.label = r.text();
        f.elements = r.word();
        f.size = r.word();
        f.extra = r.word();
        f.position = r.word();
        if (has_decimal_size(f.type)) {
            f.digits = r.byte();
            f.places = r.byte();
        } else if (has_string_size(f.type)) {
            f.string_length = r.word();
            f.picture = r.text();
        }
        def.fields.push_back(std::move(f));
    }
    for (std::size_t i = 0; i < memos && r.ok(); ++i) {
        MemoDef m;
        m.external_name = r.text();
        m.label = r.text();
        m.size = r.word();
        m.attributes = r.word();
        def.memos.push_back(std::move(m));
    }
    for (std::size_t i = 0; i < keys && r.ok(); ++i) {
        KeyDef k;
        k.label = r.text();
        k.external_name = r.text();
        k.attributes = r.byte();
        const std::size_t components = r.word();
        if (components * 4 > r.left()) return sk::rt::kInvalidDataFile;
        for (std::size_t j = 0; j < components && r.ok(); ++j) {
            KeyComponentDef c;
            c.field = r.word();
            const std::uint16_t d = r.word();
            if (d > 1 || c.field >= def.fields.size()) return sk::rt::kInvalidDataFile;
            c.descending = d == 1;
            k.components.push_back(c);
        }
        def.keys.push_back(std::move(k));
    }
    if (!r.ok()) return sk::rt::kInvalidDataFile;
    *out = std::move(def);
    return 0;
}

bool definitions_match(const TableDefinition& stored, const TableDefinition& declared) {
    TableDefinition a = stored, b = declared;
    for (KeyDef& k : a.keys) k.attributes &= ~kKeyAttrUncompared;
    for (KeyDef& k : b.keys) k.attributes &= ~kKeyAttrUncompared;
    return a == b;
}

std::vector<std::string> definition_chunks(std::string_view stream) {
    std::vector<std::string> chunks;
    for (std::size_t at = 0; at < stream.size(); at += kDefinitionChunk)
        chunks.emplace_back(stream.substr(at, kDefinitionChunk));
    if (chunks.empty()) chunks.emplace_back();
    return chunks;
}

std::string join_definition_chunks(const std::map<std::uint16_t, std::string>& chunks) {
    std::string s;
    if (chunks.empty()) return s;
    const std::size_t last = chunks.rbegin()->first;
    for (std::size_t n = 0; n <= last; ++n) {
        auto it = chunks.find(static_cast<std::uint16_t>(n));
        std::string_view bytes = it == chunks.end() ? std::string_view() : std::string_view(it->second);
        if (bytes.size() > kDefinitionChunk) bytes = bytes.substr(0, kDefinitionChunk);
        s.append(bytes);
        if (n < last) s.append(kDefinitionChunk - bytes.size(), '\0');
    }
    return s;
}

bool key_layout(const TableDefinition& def, std::size_t k, KeyLayout* out) {
    if (k >= def.keys.size()) return false;
    KeyLayout layout;
    layout.attributes = def.keys[k].attributes;
    for (const KeyComponentDef& c : def.keys[k].components) {
        if (c.field >= def.fields.size()) return false;
        const FieldDef& f = def.fields[c.field];
        layout.components.push_back({f.type, f.offset, f.size, c.descending});
    }
    *out = std::move(layout);
    return true;
}

int check_definition_fits(const TableDefinition& def) {
    const std::size_t id_key = kIdSize + 1;
    if (id_key + kIdSize + def.record_length > kMaxLoneRecord) return sk::rt::kInvalidRecordDeclaration;
    if (def.keys.size() > kMaxKeyNumber + 1) return sk::rt::kInvalidRecordDeclaration;
    if (def.memos.size() > 0x100) return sk::rt::kInvalidRecordDeclaration;
    for (const FieldDef& f : def.fields) {
        if (static_cast<std::size_t>(f.offset) + f.size > def.record_length) return sk::rt::kInvalidRecordDeclaration;
    }
    for (std::size_t k = 0; k < def.keys.size(); ++k) {
        KeyLayout layout;
        if (!key_layout(def, k, &layout)) return sk::rt::kInvalidRecordDeclaration;
        // A unique key carries the record number as data, a duplicates key in its
        // key part: either way the entry is 4 + 1 + value + 4 bytes.
        if (id_key + key_value_length(layout) + kIdSize > kMaxLoneRecord) return sk::rt::kInvalidRecordDeclaration;
    }
    return 0;
}

int definition_from_declaration(const FileControlBlock& file, TableDefinition* out) {
    std::vector<FieldInfo> infos;
    if (file.fields == nullptr) return sk::rt::kInvalidFieldType;
    if (parse_field_stream(file.fields, file.fields_size, &infos) != 0) return sk::rt::kInvalidFieldType;
    if (file.record_length > 0xFFFF) return sk::rt::kInvalidRecordDeclaration;
    TableDefinition def;
    def.record_length = static_cast<std::uint16_t>(file.record_length);
    for (std::size_t i = 0; i < infos.size(); ++i) {
        const FieldInfo& fi = infos[i];
        if (fi.offset > 0xFFFF || fi.size > 0xFFFF || i > 0xFFFF) return sk::rt::kInvalidRecordDeclaration;
        FieldDef f;
        f.type = fi.type;
        f.offset = static_cast<std::uint16_t>(fi.offset);
        f.label = fi.label;
        f.elements = 1;
        f.size = static_cast<std::uint16_t>(fi.size);
        f.position = static_cast<std::uint16_t>(i);
        f.digits = fi.digits;
        f.places = fi.places;
        if (has_string_size(f.type)) f.string_length = f.size;
        def.fields.push_back(std::move(f));
    }
    for (std::size_t i = 0; i < file.memo_count; ++i) {
        const MemoControlBlock* m = file.memos ? file.memos[i] : nullptr;
        if (!m || m->size > 0xFFFF) return sk::rt::kInvalidRecordDeclaration;
        MemoDef d;
        d.external_name = std::string(m->external_name ? m->external_name : "", m->external_name ? m->external_name_length : 0);
        d.label = std::string(m->label ? m->label : "", m->label ? m->label_length : 0);
        d.size = static_cast<std::uint16_t>(m->size);
        d.attributes = m->attributes;
        def.memos.push_back(std::move(d));
    }
    for (std::size_t i = 0; i < file.key_count; ++i) {
        const KeyControlBlock* k = file.keys ? file.keys[i] : nullptr;
        if (!k) return sk::rt::kInvalidRecordDeclaration;
        KeyDef d;
        d.label = std::string(k->label ? k->label : "", k->label ? k->label_length : 0);
        d.attributes = static_cast<std::uint8_t>(k->attributes & 0xFF);
        for (std::size_t j = 0; j < k->component_count; ++j) {
            const std::int32_t c = k->components[j];
            KeyComponentDef cd;
            if (c > 0) {
                cd.field = static_cast<std::uint16_t>(c - 1);
            } else {
                cd.field = static_cast<std::uint16_t>(~c);
                cd.descending = true;
            }
            if ((c > 0 ? c - 1 : ~c) >= static_cast<std::int64_t>(infos.size())) return sk::rt::kInvalidRecordDeclaration;
            d.components.push_back(cd);
        }
        def.keys.push_back(std::move(d));
    }
    def.version = definition_version(def);
    if (int rc = check_definition_fits(def)) return rc;
    *out = std::move(def);
    return 0;
}

}  // namespace sk::ksf
