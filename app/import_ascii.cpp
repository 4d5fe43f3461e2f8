// Taking apart the quoted lines of an ASCII list, and the import that stores them.
#include "app/import_ascii.h"

#include "app/dictionary.h"

namespace sk::app {

std::optional<ListSite> scan_ascii_list_line(std::string_view line)
{
    constexpr std::string_view kSeparator = "\",\"";
    constexpr std::size_t npos = std::string_view::npos;
    line = trim_trailing_blanks(line);
    // Every pass drops at least the opening quote and separator it starts from.
    for (;;) {
        const std::size_t open = line.find('"');
        if (open == npos)
            return std::nullopt;
        line.remove_prefix(open + 1);
        const std::size_t separator = line.find(kSeparator);
        // A quoted text without a following field is passed over; with no
        // separator left on the line no later quote can start a site either.
        if (separator == npos)
            return std::nullopt;

        ListSite site;
        site.location = justified_text(line.substr(0, separator), sizeof(LinkdbRecord::location));
        line.remove_prefix(separator + kSeparator.size());
        const std::size_t end = line.find('"');
        site.description = justified_text(line.substr(0, end), sizeof(LinkdbRecord::description));
        line = end == npos ? std::string_view{} : line.substr(end + 1);

        const std::size_t notes_open = line.find('"');
        if (notes_open != npos) {
            const std::size_t notes_close = line.find('"', notes_open + 1);
            if (notes_close != npos) {
                const std::string_view notes = line.substr(notes_open + 1, notes_close - notes_open - 1);
                site.site_info = std::string(trim_trailing_blanks(notes.substr(0, utf8_fit(notes, kSiteInfoSize))));
            }
        }
        if (!site.location.empty() && site.location.front() == '#')
            continue;  // searched again from after the description
        site.keyword = keyword_for_location(site.location);
        return site;
    }
}

ImportAsciiList::ImportAsciiList(std::string_view chosen_category)
    : m_category(trim_trailing_blanks(chosen_category.substr(0, utf8_fit(chosen_category, kCategorySize))))
{
    if (m_category.empty())
        m_category = "NEW";
}

void ImportAsciiList::handle_line(std::string_view line)
{
    if (const std::optional<ListSite> site = scan_ascii_list_line(line))
        add_site({site->location, site->description, m_category, site->keyword, site->site_info});
}

}  // namespace sk::app
