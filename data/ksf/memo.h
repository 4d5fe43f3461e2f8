// Memo text as chunk records: chunk 0 holds the total length (4 bytes,
// little-endian) and the first 256 characters, each further chunk up to 256
// characters, numbered 1, 2, ... (big-endian in the key).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/ksf/record.h"

namespace sk::ksf {

// The chunk records of one memo text: always chunk 0, then as many chunks as
// the text needs.
std::vector<Record> memo_chunk_records(Id table, Id recno, std::uint8_t memo, std::string_view text);

// Joins the data parts of a memo's chunks, given in chunk-number order (chunk 0
// first). No chunks at all is an empty memo. Returns 0, or 36 when chunk 0 has
// no length, a chunk holds more than 256 characters, a chunk other than the
// last is short, or the text does not add up to the length.
int assemble_memo(const std::vector<std::string_view>& chunks, std::string* text);

}  // namespace sk::ksf
