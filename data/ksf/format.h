// Constants and byte helpers shared by every reader and writer of KSF files.
//
// A KSF file is a 512-byte header followed by pages counted in 256-byte units.
// All integers are little-endian except identifiers (record numbers, table
// numbers, the header's identifier counter, memo chunk numbers), which are
// big-endian so that byte order is numeric order. FORMAT.md beside this file
// gives the layouts in full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sk::ksf {

// ---------------------------------------------------------------------------
// File header.
inline constexpr std::size_t kHeaderSize = 0x200;
inline constexpr std::size_t kHeaderOwnOffset = 0x00;    // 4: always 0
inline constexpr std::size_t kHeaderSizeField = 0x04;    // 2: 200h
inline constexpr std::size_t kHeaderJournalStart = 0x06; // 4
inline constexpr std::size_t kHeaderJournalEnd = 0x0A;   // 4
inline constexpr std::size_t kHeaderSignature = 0x0E;    // 4: "kEsT"
inline constexpr std::size_t kHeaderReserved = 0x12;     // 2: 0
inline constexpr std::size_t kHeaderIdentifier = 0x14;   // 4, big-endian
inline constexpr std::size_t kHeaderChangeCounter = 0x18;// 4
inline constexpr std::size_t kHeaderRoot = 0x1C;         // 4
inline constexpr std::size_t kHeaderBlockStart = 0x20;   // 60 x 4
inline constexpr std::size_t kHeaderBlockEnd = 0x110;    // 60 x 4
inline constexpr char kSignature[4] = {'k', 'E', 's', 'T'};

// ---------------------------------------------------------------------------
// Pages and size classes.
inline constexpr unsigned kClassCount = 60;              // block 0 is never used
inline constexpr std::size_t kUnit = 256;
inline constexpr std::size_t kMaxPageBytes = 0x3B00;     // 59 units, 15104 bytes
inline constexpr std::size_t kPageHeaderSize = 13;
inline constexpr std::size_t kPageOwnOffset = 0x00;      // 4
inline constexpr std::size_t kPageStored = 0x04;         // 2
inline constexpr std::size_t kPageExpanded = 0x06;       // 2
inline constexpr std::size_t kPageEstimated = 0x08;      // 2
inline constexpr std::size_t kPageCount = 0x0A;          // 2
inline constexpr std::size_t kPageLevel = 0x0C;          // 1
inline constexpr std::uint8_t kPadByte = 0xB0;

// A page reference: non-negative for a page with a home in the file, negative
// for a page not yet placed. kNoPage is the stored "no root yet" value.
using PageRef = std::int64_t;
inline constexpr PageRef kNoPage = 0xFFFFFFFF;

// File offset of the page at reference r.
inline constexpr std::uint64_t page_offset(PageRef r) {
    return static_cast<std::uint64_t>(r) * kUnit + kHeaderSize;
}
inline constexpr std::size_t roundup256(std::size_t x) { return (x + 255) & ~static_cast<std::size_t>(255); }

// ---------------------------------------------------------------------------
// Records and the split rule.
inline constexpr std::size_t kRecordLimit = 0x3AF6;       // a record must stay below 15094 bytes
inline constexpr std::size_t kSplitEstimate = 0x3AF6;     // split above this estimate
inline constexpr std::size_t kSplitSoftEstimate = 4096;   // ... or above this with more than
inline constexpr std::size_t kSplitSoftCount = 20;        //     this many records
// Bytes a record adds to a page's estimated length beyond its own: the flag byte
// and both length words it carries when nothing is shared with its predecessor.
inline constexpr std::size_t kRecordOverhead = 5;
// The largest record that can sit alone in a page without exceeding the split limit.
inline constexpr std::size_t kMaxLoneRecord = kSplitEstimate - kPageHeaderSize - kRecordOverhead;

// Record kind bytes (after the table number) and the leading bytes of the
// file-level records.
inline constexpr std::uint8_t kKindTableName = 0xFE;      // first byte of a table name record
inline constexpr std::uint8_t kKindTransaction = 0xFF;    // the transaction link record
inline constexpr std::uint8_t kKindDefinition = 0xFA;
inline constexpr std::uint8_t kKindCounter = 0xF6;
inline constexpr std::uint8_t kKindData = 0xF3;
inline constexpr std::uint8_t kKindMemo = 0xFC;
inline constexpr std::uint8_t kCounterData = 0xF3;        // counter byte of the table's data records
inline constexpr unsigned kMaxKeyNumber = 0xF2;           // key numbers stay below F3h

inline constexpr std::size_t kIdSize = 4;
inline constexpr std::size_t kDefinitionChunk = 512;
inline constexpr std::size_t kMemoChunk = 256;

// ---------------------------------------------------------------------------
// Byte helpers. Callers have checked the bounds.
inline std::uint16_t get_le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t get_le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint32_t get_be32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}
inline void put_le16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put_le32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void put_be32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
inline void append_le16(std::string* s, std::uint32_t v) {
    s->push_back(static_cast<char>(v & 0xFF));
    s->push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void append_le32(std::string* s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void append_be32(std::string* s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>((v >> (24 - 8 * i)) & 0xFF));
}
inline const std::uint8_t* bytes_of(std::string_view s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

// Ends the program through the fatal error path with
// "Internal error : ksfbt line <line>": an inconsistency ordinary input cannot cause.
[[noreturn]] void internal_error(int line);

}  // namespace sk::ksf
