// Decoding of UTF-8 text for display. Text is kept as bytes; a byte that does not
// start a well-formed UTF-8 sequence is shown as the Windows-1252 character of that
// byte, so text written by older programs still reads sensibly.
#pragma once

#include <string>
#include <string_view>

namespace sk::platform::display {

// Decodes one character starting at text[pos] and advances pos past it.
// Requires: pos < text.size(). Never fails; malformed input yields one character per byte.
char32_t decode_char(std::string_view text, std::size_t& pos);

// The Windows-1252 character of a single byte (0x81, 0x8D, 0x8F, 0x90, 0x9D map to themselves).
char32_t windows_1252_char(unsigned char byte);

// Appends the UTF-8 encoding of c (invalid code points become U+FFFD).
void append_utf8(std::string& out, char32_t c);

// The upper case of a character by simple (one-to-one) case mapping: ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic from a table of our own, so that the answer does
// not depend on the process's locale; other characters through towupper. Characters
// without an upper case (and U+00DF, whose upper case is two letters) are returned as
// they are.
char32_t upper_case_char(char32_t c);

}  // namespace sk::platform::display
