// Import from other text: web addresses written out in any text (mail, news,
// notes, pages) added as sites of the category "NEW".
//
// scan_text_line finds the addresses of one line; ImportText runs it over
// ImportFile through the shared batch logic of the imports (import_html.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/import_html.h"

namespace sk::app {

// One address found in a line.
struct TextAddress {
    std::string location;     // left-justified, at most 128 bytes
    std::string description;  // the rest of the line after the address, at most 60 bytes
    std::string site_info;    // the same rest, at most 500 bytes
    std::string keyword;      // the scheme before "://", or "?"
};

// The patterns an address starts at: "a href" in any case, the schemes in exact case.
inline constexpr std::string_view kTextPatterns[] = {"a href", "http://", "ftp://", "telnet://",
                                                     "news://", "gopher://"};

// Whether c belongs to an address: letters, digits and "." as well as the
// characters of a scheme's "://", a path, a query and a fragment. A blank, a
// comma, "<", quotes, brackets, control bytes and bytes above 7Fh end it.
bool is_address_char(unsigned char c);

// Finds every address of a line, in line order. Each pass starts at the earliest
// pattern left on the line; the tag text "a href" is passed over (the address in
// the tag is found at its scheme). Every pass shortens the line, so any line is
// finished.
std::vector<TextAddress> scan_text_line(std::string_view line);

class ImportText : public LineImport {
protected:
    void handle_line(std::string_view line) override;
};

}  // namespace sk::app
