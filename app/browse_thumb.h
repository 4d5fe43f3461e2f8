// The browse's thumb estimate: 100 key values spread between the first and last
// record of an order, so that a thumb position can be turned into a key value to
// locate, and a record's key value into a thumb position, without counting records.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace sk::app {

inline constexpr int kThumbEntries = 100;

// The upper-case letters of the locale's character table (codes 1 to 255), in code
// order.
std::string thumb_alphabet();

// Text keys: entry i (1-based) holds the common prefix of low and high followed by
// up to four characters read as digits of base (alphabet size + 1) and spread
// evenly from low's four characters to high's. length is the key field's length;
// low and high are the clipped values.
std::array<std::string, kThumbEntries> text_distribution(std::string_view low, std::string_view high, std::size_t length,
                                                         std::string_view alphabet);
// Numeric keys: entry i = low + (i - 1) × (high - low) ÷ 99.
std::array<double, kThumbEntries> numeric_distribution(double low, double high);

// The thumb for a record's key value: the smallest i whose entry is not less than
// the value (text compared without regard to case, in collation order), given as
// 0 for i = 1, i otherwise, and 101 when no entry qualifies.
int thumb_for_text(const std::array<std::string, kThumbEntries>& entries, std::string_view value);
int thumb_for_number(const std::array<double, kThumbEntries>& entries, double value);

}  // namespace sk::app
