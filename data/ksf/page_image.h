// Page images as stored on disk: the 13-byte page header, the child references
// of an index page, the prefix-shared record area, its run-length code and the
// B0h padding up to the page's size class.
//
//   00h 4  the page's own file offset     04h 2  stored length (after compression)
//   06h 2  expanded length                08h 2  estimated length (size budget)
//   0Ah 2  number of records              0Ch 1  level (0 = leaf)
//   0Dh 4n index pages: one child reference per record
//   ...    the record area, run-length coded when that saves a 256-byte unit
//   ...    B0h up to roundup256(stored length)
//
// Record area: per record a flag byte (bit 7: a 16-bit total length follows,
// bit 6: a 16-bit key length follows, bits 0-5: bytes shared with the previous
// record, at most 63), the lengths that differ from the previous record's, then
// the record's bytes after the shared prefix. The first record is coded against
// an empty record (lengths 0).
//
// Run-length code: pairs of a literal run (count, bytes) and a repeat run (count
// of copies of the last output byte), ending as soon as the output is complete.
// A count is b < 80h, or (b - 80h) plus 7 further bits per following byte c
// (c & 7Fh), continuing while c >= 80h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "data/ksf/format.h"
#include "data/ksf/record.h"

namespace sk::ksf {

// ---------------------------------------------------------------------------
// Run-length code.
void append_count(std::vector<std::uint8_t>* out, std::uint32_t value);
// Reads a count at in[*pos], advancing *pos. False when it runs past n or
// exceeds 32 bits.
bool read_count(const std::uint8_t* in, std::size_t n, std::size_t* pos, std::uint32_t* value);
std::vector<std::uint8_t> rle_encode(const std::uint8_t* data, std::size_t n);
// Expands exactly `expected` bytes from in[0..n), which must be used up exactly.
// False on any malformation (nothing to repeat, runs past either end, bytes left).
bool rle_decode(const std::uint8_t* in, std::size_t n, std::size_t expected, std::vector<std::uint8_t>* out);

// ---------------------------------------------------------------------------
// Record area.
inline constexpr unsigned kMaxShared = 63;
void encode_record_area(const std::vector<Record>& records, std::vector<std::uint8_t>* out);

// Appends records to a record area one at a time, from their key and data
// parts, without building Record values first.
class RecordAreaEncoder {
public:
    explicit RecordAreaEncoder(std::vector<std::uint8_t>* out) : m_out(out) {}
    void add(std::string_view key, std::string_view data);

private:
    std::vector<std::uint8_t>* m_out;
    std::string m_prev;  // the previous record's bytes
    std::size_t m_prev_key = 0;
};
// Decodes exactly count records that use up area[0..n). False when the bytes do
// not form exactly count records.
bool decode_record_area(const std::uint8_t* area, std::size_t n, std::size_t count, std::vector<Record>* out);

// ---------------------------------------------------------------------------
// Whole pages.

// The estimated length of a page: header, child references and each record's
// length plus kRecordOverhead.
std::size_t page_estimate(const std::vector<Record>& records, unsigned level);

struct PageContent {
    std::uint32_t own_offset = 0;
    unsigned level = 0;
    std::size_t estimated = 0;
    std::vector<std::uint32_t> children;  // index pages: one per record
    std::vector<Record> records;
};

struct PageImageInfo {
    std::size_t stored = 0;
    std::size_t expanded = 0;
    bool compressed = false;
};

// Serializes, compresses (when that saves a 256-byte unit) and pads a page.
// Returns 0, or the internal error number when the page cannot be stored: 1664
// when the expanded length exceeds the estimate, 1683 when the image exceeds
// 3B00h bytes. The caller decides what a failure means.
int build_page_image(const PageContent& page, std::vector<std::uint8_t>* image, PageImageInfo* info = nullptr);
// The same from the parts: count records whose plain area is given, and for
// an index page one child reference per record.
int build_page_image(std::uint32_t own_offset, unsigned level, std::size_t estimated,
                     const std::vector<std::uint32_t>& children, std::size_t count,
                     const std::vector<std::uint8_t>& area, std::vector<std::uint8_t>* image,
                     PageImageInfo* info = nullptr);

enum PageDecodeResult : int {
    kPageOk = 0,
    kPageMalformed = 36,     // header fields, run-length code or records do not fit together
    kPageWrongSize = 1482,   // the rounded stored length is not the page's size
    kPageWrongLength = 1607, // the records do not end exactly at the expanded length
};

// Decodes a page image of n bytes (n: the page size of its class, or, with
// any_size, anything from the stored length on). Never reads outside image[0..n).
int decode_page_image(const std::uint8_t* image, std::size_t n, PageContent* out, PageImageInfo* info = nullptr,
                      bool any_size = false);
// The same for an image of its class's page size, without collecting the
// records: each goes to add(key, data) in order (the views are good for the
// call only) and out->records stays empty.
int decode_page_image_each(const std::uint8_t* image, std::size_t n, PageContent* out,
                           const std::function<void(std::string_view, std::string_view)>& add);

}  // namespace sk::ksf
