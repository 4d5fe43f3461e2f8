// The table definition stream: how a file describes the layout of each of its
// tables, so that OPEN can check the program's declaration against it.
//
// Primitives: byte; word (16 bits, low byte first); text (characters then 00h;
// an empty text is 00h 00h, an absent one 00h 01h).
//   word version (1, or 2 when a memo has attribute bit 2), word record length,
//   word field count, word memo count, word key count,
//   per field: byte type, word offset, text label, word elements, word size,
//              word extra, word position; DECIMAL and 0Bh: byte digits, byte
//              places; STRING, CSTRING, PSTRING: word string length, text picture
//   per memo:  text external name, text label, word size, word attributes
//   per key:   text label, text external name, byte attributes, word component
//              count, per component word field position, word descending (0/1)
// The stream is stored in 512-byte definition chunks; a missing chunk reads as
// zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/ksf/key_encoding.h"

namespace sk::data {
struct FileControlBlock;
}

namespace sk::ksf {

inline constexpr std::uint8_t kTypePackedDecimal = 0x0B;
// Bit of the key attribute byte that the comparison with a declaration ignores.
inline constexpr std::uint8_t kKeyAttrUncompared = 0x10;

using Text = std::optional<std::string>;  // nullopt: an absent text

struct FieldDef {
    std::uint8_t type = 0;
    std::uint16_t offset = 0;
    Text label = std::string();
    std::uint16_t elements = 1;
    std::uint16_t size = 0;          // element size times elements
    std::uint16_t extra = 0;         // carried through unchanged
    std::uint16_t position = 0;      // 0-based place in the field list
    std::uint8_t digits = 0;         // DECIMAL, 0Bh
    std::uint8_t places = 0;
    std::uint16_t string_length = 0; // STRING, CSTRING, PSTRING
    Text picture = std::string();
    bool operator==(const FieldDef&) const = default;
};

struct MemoDef {
    Text external_name = std::string();
    Text label = std::string();
    std::uint16_t size = 0;
    std::uint16_t attributes = 0;
    bool operator==(const MemoDef&) const = default;
};

struct KeyComponentDef {
    std::uint16_t field = 0;  // 0-based field position
    bool descending = false;
    bool operator==(const KeyComponentDef&) const = default;
};

struct KeyDef {
    Text label = std::string();
    Text external_name;  // absent unless given
    std::uint8_t attributes = 0;
    std::vector<KeyComponentDef> components;
    bool operator==(const KeyDef&) const = default;
};

struct TableDefinition {
    std::uint16_t version = 1;
    std::uint16_t record_length = 0;
    std::vector<FieldDef> fields;
    std::vector<MemoDef> memos;
    std::vector<KeyDef> keys;
    bool operator==(const TableDefinition&) const = default;
};

// 2 when a memo has attribute bit 2 set, else 1.
std::uint16_t definition_version(const TableDefinition& def);
bool has_string_size(std::uint8_t type);
bool has_decimal_size(std::uint8_t type);

std::string write_definition(const TableDefinition& def);
// Reads a stream of n bytes (trailing bytes, such as the zeros of the last
// chunk, are ignored). Returns 0, or 36 when the stream is cut short or its
// counts, positions or components do not fit together.
int read_definition(const std::uint8_t* stream, std::size_t n, TableDefinition* out);
// Whether a stored definition matches the program's declaration: everything
// must be equal except bit 4 of the key attribute bytes.
bool definitions_match(const TableDefinition& stored, const TableDefinition& declared);

// The stream cut into 512-byte chunks, the last one shorter.
std::vector<std::string> definition_chunks(std::string_view stream);
// The chunks joined by number; missing chunks read as 512 zero bytes.
std::string join_definition_chunks(const std::map<std::uint16_t, std::string>& chunks);

// The key layout of key k of a definition (component types, offsets and sizes
// taken from the fields). False when a component names no field.
bool key_layout(const TableDefinition& def, std::size_t k, KeyLayout* out);

// 47 when a data record or a key entry of this table could not sit alone in a
// page within the split limit (it could never be stored), or the declaration
// is inconsistent (components naming no field, fields outside the record, more
// keys than key numbers); else 0.
int check_definition_fits(const TableDefinition& def);

// The definition of a FILE declaration: its field stream, memos and keys. The
// attribute byte of a key holds the low eight attribute bits of the block (the
// not-maintained bit stays with the declaration). Returns 0, 75 for a field
// stream that cannot be parsed, or 47 for a declaration that does not fit the
// format (see check_definition_fits, and sizes beyond 16 bits).
int definition_from_declaration(const sk::data::FileControlBlock& file, TableDefinition* out);

}  // namespace sk::ksf
