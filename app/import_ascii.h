// Import from an ASCII list: one site a line, written as double-quoted fields
// separated by commas: "location","description" and optionally ,"notes".
//
// scan_ascii_list_line takes the site of one line apart; ImportAsciiList runs it
// over ImportFile through the shared batch logic of the imports (import_html.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/import_html.h"

namespace sk::app {

struct ListSite {
    std::string location;     // left-justified, at most 128 bytes
    std::string description;  // left-justified, at most 60 bytes
    std::string site_info;    // as written between its quotes, at most 500 bytes
    std::string keyword;      // the scheme before "://", or "?"
};

// The site of one line, if it has one. Text in quotes without a following
// `","` separator is passed over; a location beginning with "#" is passed over
// and the rest of the line searched again; otherwise the first location found
// is the line's only site. A doubled quote inside a field is not recognised.
std::optional<ListSite> scan_ascii_list_line(std::string_view line);

class ImportAsciiList : public LineImport {
public:
    // chosen_category: the category picked for the whole import; blank gives "NEW".
    explicit ImportAsciiList(std::string_view chosen_category = {});

protected:
    void handle_line(std::string_view line) override;

private:
    std::string m_category;
};

}  // namespace sk::app
