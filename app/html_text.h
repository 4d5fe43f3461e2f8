// Character references of HTML text: decoding them in imported text and
// escaping the characters that would break the exported page.
//
// Text is bytes in this platform's code page, UTF-8, so a decoded reference
// becomes its UTF-8 sequence.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sk::app {

// Decodes the character references of text once: the named ones of the common
// set (amp lt gt quot apos nbsp, the Latin-1 names, copy reg trade euro hellip
// ndash mdash and the curly quotes), "&#NNN;" and "&#xHH;". A reference that is
// unknown, lacks its ";", or names an invalid code point (0, a surrogate, above
// 10FFFFh) stays as written. The result of one reference is never read again,
// so "&amp;lt;" becomes "&lt;".
//
// Decoding stops once the result holds at least limit bytes, so a caller that
// keeps only a field's worth of text does not decode a whole long line.
std::string decode_html_references(std::string_view text, std::size_t limit = std::string::npos);

// text with "&", "<" and ">" written as references, for text between tags.
std::string escape_html_text(std::string_view text);
// The same and the double quote as "&quot;", for a double-quoted attribute.
std::string escape_html_attribute(std::string_view text);

// The longest prefix of text of at most n bytes that ends neither inside a
// UTF-8 sequence nor inside a complete character reference, so that a line cut
// at n keeps every reference whole or leaves it out.
std::size_t html_fit(std::string_view text, std::size_t n);

}  // namespace sk::app
