// Records as the page tree holds them: a key part, which alone decides a
// record's place, followed by a data part. The builders for every record kind a
// file holds are here too.
//
//   table name        FEh name                       -> table number (4)
//   transaction link  FFh                            -> id (4), control file name, 00h
//   definition chunk  table FAh chunk (2, LE)        -> up to 512 bytes of definition
//   counter           table F6h (F3h | key number)   -> entries (4, LE), rebuild mark (4, LE)
//   data record       table F3h recno (4, BE)        -> the record image
//   memo chunk        table FCh recno memo (1) chunk (2, BE) -> up to 256 bytes of text
//                                                       (chunk 0: total length (4, LE) first)
//   key entry, unique table key value            -> recno (4)
//   key entry, dups   table key value recno      -> (none)
// Table and record numbers are 4-byte big-endian identifiers.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "data/ksf/format.h"

namespace sk::ksf {

// A 4-byte identifier in its stored (big-endian) byte order.
struct Id {
    std::uint8_t bytes[kIdSize] = {};
    static Id of(std::uint32_t value);
    std::uint32_t value() const { return get_be32(bytes); }
    std::string_view view() const { return {reinterpret_cast<const char*>(bytes), kIdSize}; }
    bool operator==(const Id& o) const { return value() == o.value(); }
};

struct Record {
    std::string bytes;            // key part then data part
    std::size_t key_length = 0;

    static Record of(std::string_view key, std::string_view data = {});
    std::string_view key() const { return std::string_view(bytes).substr(0, key_length); }
    std::string_view data() const { return std::string_view(bytes).substr(key_length); }
    std::size_t size() const { return bytes.size(); }
    // The record's share of a page's estimated length.
    std::size_t full_length() const { return bytes.size() + kRecordOverhead; }
    bool operator==(const Record& o) const { return key_length == o.key_length && bytes == o.bytes; }
};

Record table_name_record(std::string_view table_name, Id table);
Record transaction_link_record(Id transaction, std::string_view control_file);
std::string definition_chunk_key(Id table, std::uint16_t chunk);
Record definition_chunk_record(Id table, std::uint16_t chunk, std::string_view bytes);
// which: kCounterData for the data records, else the key number.
std::string counter_key(Id table, std::uint8_t which);
Record counter_record(Id table, std::uint8_t which, std::uint32_t entries, std::uint32_t rebuild_mark);
bool parse_counter(std::string_view data, std::uint32_t* entries, std::uint32_t* rebuild_mark);
std::string data_record_key(Id table, Id recno);
Record data_record(Id table, Id recno, std::string_view image);
std::string memo_chunk_key(Id table, Id recno, std::uint8_t memo, std::uint16_t chunk);
// The key part of a key entry: table, key number, encoded value and, for a key
// that allows duplicates, the record number.
std::string key_entry_key(Id table, std::uint8_t key_number, std::string_view value, Id recno, bool duplicates);
Record key_entry(Id table, std::uint8_t key_number, std::string_view value, Id recno, bool duplicates);
// The record number a key entry points at: the last 4 bytes of the entry.
// False when the entry is too short to hold one.
bool record_number_of(const Record& entry, Id* recno);

enum class RecordKind {
    kTableName,
    kTransactionLink,
    kDefinitionChunk,
    kCounter,
    kDataRecord,
    kMemoChunk,
    kKeyEntry,
    kUnknown,
};
// What a key part names, judged by its bytes alone.
RecordKind record_kind(std::string_view key);

// Orders key parts by unsigned bytes, a prefix first. Inline and eight bytes
// at a time: page searches and range checks call it most of all, on keys
// that share long prefixes (table, kind, key number).
inline int compare_keys(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    const auto* p = reinterpret_cast<const unsigned char*>(a.data());
    const auto* q = reinterpret_cast<const unsigned char*>(b.data());
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, p + i, 8);
        std::memcpy(&y, q + i, 8);
        if (x != y) {
            if constexpr (std::endian::native == std::endian::little) {
                x = __builtin_bswap64(x);
                y = __builtin_bswap64(y);
            }
            return x < y ? -1 : 1;
        }
    }
    for (; i < n; ++i)
        if (p[i] != q[i]) return p[i] < q[i] ? -1 : 1;
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace sk::ksf
