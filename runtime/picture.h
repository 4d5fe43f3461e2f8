// Display pictures: compiling a picture text, formatting values through it and
// reading typed text back.
//
// A picture such as "@s15", "@N-12.2", "@D2" or "@T3" is compiled once into a
// CompiledPicture:
//
//   byte 0   header: bits 0-2 the kind (0 numeric, 1 scientific, 2 date, 3 time,
//            4 pattern, 5 string, 6 key-in); bit 7 blank-when-zero
//   byte 1   count: the number of positions (for the string kind: the width)
//   byte 2.. count positions of two bytes each: a character and a position kind
//
// After the positions the compiler keeps a few private bytes (see picture.cpp)
// that the formatter reads; the returned length counts only header, count and
// positions. Formatting through a compiled picture never allocates.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sk::rt {

inline constexpr std::size_t kCompiledPictureSize = 512;
struct CompiledPicture { unsigned char bytes[kCompiledPictureSize]; };

// Picture kinds (header bits 0-2) and the blank-when-zero flag.
enum PictureKind : unsigned char {
    kPictureNumeric = 0,
    kPictureScientific = 1,
    kPictureDate = 2,
    kPictureTime = 3,
    kPicturePattern = 4,
    kPictureString = 5,
    kPictureKeyIn = 6,
};
inline constexpr unsigned char kPictureKindMask = 0x07;
inline constexpr unsigned char kBlankWhenZero = 0x80;

// Position kinds (the second byte of each position).
enum PositionKind : unsigned char {
    kPosLiteral = 0,
    kPosGrouping = 1,
    kPosDecimalPoint = 2,
    kPosDigitZero = 3,       // digit printed as 0 when leading
    kPosDigitBlank = 4,      // digit printed as blank when leading
    kPosSign = 5,            // sign or parenthesis
    kPosCurrency = 6,
    kPosMonth = 7,
    kPosDay = 8,
    kPosYear = 9,
    kPosMonthName = 10,
    kPosHour = 11,
    kPosMinute = 12,
    kPosSecond = 13,
    kPosKeyAt = 14,          // key-in "@"
    kPosKeyCaret = 15,       // key-in "^"
    kPosKeyUnderscore = 16,  // key-in "_"
    kPosKeyQuestion = 17,    // key-in "?"
    kPosSeparator = 19,
    kPosAmPm = 20,
    kPosExponentSign = 21,
    kPosImpliedPoint = 22,
    kPosKeyBar = 23,         // key-in "|"
};

// Compiled length (2 + 2 * positions; 2 for the string kind), or 0 for an
// invalid picture, in which case the first four bytes of out are zero.
int compile_picture(std::string_view picture, CompiledPicture* out);

// Format into out (width bytes, blank-filled first).
void format_number(const CompiledPicture& pic, double value, char* out, std::size_t width);
void format_text(const CompiledPicture& pic, std::string_view value, char* out, std::size_t width);

// Convenience forms: the picture's natural width, trailing blanks kept. An invalid
// picture gives the value's plain text.
std::string format(double value, std::string_view picture);
std::string format(std::string_view value, std::string_view picture);
std::size_t picture_width(const CompiledPicture& pic);

// Reads typed text back: numbers, dates and times as a number; string pictures as
// text. deformat_number returns false (value untouched) when the text cannot be
// read by the picture; an all-blank text reads as 0.
bool deformat_number(std::string_view typed, std::string_view picture, double* value);
std::string deformat(std::string_view typed, std::string_view picture); // the value as text (a number in plain decimal)

// The same with a picture already compiled.
bool deformat_number(std::string_view typed, const CompiledPicture& pic, double* value);
std::string deformat(std::string_view typed, const CompiledPicture& pic);

}  // namespace sk::rt

namespace sk::rt::picture_detail {

// Header bits 3 and 4 carry per-kind flags the formatter needs.
inline constexpr unsigned char kFlagKeepNameCase = 0x08;  // date: month names as stored
inline constexpr unsigned char kFlagTwelveHour = 0x08;    // time: hours on the 12-hour clock
inline constexpr unsigned char kFlagIntlAmPm = 0x10;      // time: the international AM/PM texts

inline unsigned char picture_kind(const CompiledPicture& pic) { return pic.bytes[0] & kPictureKindMask; }
inline unsigned position_count(const CompiledPicture& pic) { return pic.bytes[1]; }
inline unsigned char position_char(const CompiledPicture& pic, unsigned i) { return pic.bytes[2 + 2 * i]; }
inline unsigned char position_kind(const CompiledPicture& pic, unsigned i) { return pic.bytes[3 + 2 * i]; }

// The shortest text that reads back as v, in plain decimal (no exponent). Writes
// at most capacity bytes (capacity of 400 holds every double) and returns the length.
std::size_t plain_number_text(double v, char* buffer, std::size_t capacity);
// A plain number: optional blanks, sign, digits with an optional "." and exponent.
bool parse_plain_number(std::string_view text, double* value);

}  // namespace sk::rt::picture_detail
