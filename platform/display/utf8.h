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

}  // namespace sk::platform::display
