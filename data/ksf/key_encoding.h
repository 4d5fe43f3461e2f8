// Encoded key values: a record's key components turned into bytes whose plain
// unsigned comparison gives the declared order.
//
//   STRING    the bytes (upper-cased for a case-insensitive key), each mapped
//             through the collation table
//   CSTRING   the bytes up to the terminator, zero-filled, then as STRING
//   PSTRING   the text bytes after the length byte, zero-filled to the field
//             size, then as STRING
//   USHORT, ULONG   big-endian
//   SHORT, LONG     big-endian, first byte XOR 80h
//   SREAL, REAL     big-endian; negative: all bytes inverted, else sign bit set
//   DECIMAL         a non-zero sign nibble is cleared and all bytes inverted;
//                   then the first byte XOR 80h
//   anything else   the bytes as stored
// A descending component has all its bytes inverted afterwards. Every
// component keeps its field's size, so values of one key have one length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sk::ksf {

inline constexpr std::uint8_t kKeyAttrDuplicates = 0x01;
inline constexpr std::uint8_t kKeyAttrOptional = 0x02;
inline constexpr std::uint8_t kKeyAttrNoCase = 0x04;

struct KeyComponent {
    std::uint8_t type = 0;     // field type code
    std::uint32_t offset = 0;  // in the record image
    std::uint32_t size = 0;    // bytes of the field
    bool descending = false;
};

struct KeyLayout {
    std::vector<KeyComponent> components;
    std::uint8_t attributes = 0;  // kKeyAttr* bits
    bool duplicates() const { return attributes & kKeyAttrDuplicates; }
    bool optional() const { return attributes & kKeyAttrOptional; }
    bool case_insensitive() const { return attributes & kKeyAttrNoCase; }
};

// Bytes of the encoded value: the sum of the component sizes.
std::size_t key_value_length(const KeyLayout& key);

// Appends the encoding of one component field (size bytes at field). With oem
// the text is OEM text and is weighed by the OEM collation table.
void encode_component(const KeyComponent& c, const std::uint8_t* field, bool case_insensitive, bool oem,
                      std::string* out);

// The encoded key value of a record image of n bytes. False when a component
// lies outside the image.
bool encode_key_value(const KeyLayout& key, const std::uint8_t* image, std::size_t n, bool oem, std::string* out);

// Whether every component is empty: STRING and GROUP all blanks, CSTRING and
// PSTRING a zero first byte, other types all zero bytes. An optional key makes
// no entry for such a record. False when a component lies outside the image.
bool key_is_empty(const KeyLayout& key, const std::uint8_t* image, std::size_t n);

}  // namespace sk::ksf
