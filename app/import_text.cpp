// Scanning any text for web addresses, and the import that stores them.
#include "app/import_text.h"

#include <array>

#include "app/dictionary.h"

namespace sk::app {

namespace {

constexpr std::size_t kPatternCount = std::size(kTextPatterns);
constexpr std::size_t kTagPattern = 0;  // "a href", searched without regard to case
// The scan of one address looks at no more than this many characters.
constexpr std::size_t kMaxAddressScan = 1096;

}  // namespace

bool is_address_char(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '.': case ':': case '/': case '-': case '_': case '~': case '?': case '=':
    case '&': case '%': case '#': case '+': case '@': case ';': case '!': case '$':
    case '*':
        return true;
    default:
        return false;
    }
}

std::vector<TextAddress> scan_text_line(std::string_view line)
{
    line = trim_trailing_blanks(line);
    const std::string lower = lower_copy(line);
    std::array<ForwardFinder, kPatternCount> finders{
        ForwardFinder(lower, kTextPatterns[0]), ForwardFinder(line, kTextPatterns[1]),
        ForwardFinder(line, kTextPatterns[2]),  ForwardFinder(line, kTextPatterns[3]),
        ForwardFinder(line, kTextPatterns[4]),  ForwardFinder(line, kTextPatterns[5]),
    };
    std::vector<TextAddress> found;
    std::size_t at = 0;
    while (at < line.size()) {
        std::size_t start = std::string_view::npos;
        std::size_t selector = 0;
        for (std::size_t i = 0; i < kPatternCount; ++i) {
            const std::size_t p = finders[i].find(at);
            if (p < start) {
                start = p;
                selector = i;
            }
        }
        if (start == std::string_view::npos)
            break;
        if (selector == kTagPattern) {
            // The tag's own words are no address; the address inside the tag is
            // found at its scheme by the next pass.
            at = start + kTextPatterns[kTagPattern].size();
            continue;
        }
        std::size_t length = 0;
        while (start + length < line.size() && length < kMaxAddressScan &&
               is_address_char(static_cast<unsigned char>(line[start + length])))
            ++length;
        TextAddress address;
        address.location = justified_text(line.substr(start, length), sizeof(LinkdbRecord::location));
        // The character that ended the address is dropped.
        at = start + length + 1;
        const std::string_view rest = at < line.size() ? line.substr(at) : std::string_view{};
        address.description = justified_text(rest, sizeof(LinkdbRecord::description));
        address.site_info = justified_text(rest, kSiteInfoSize);
        address.keyword = keyword_for_location(address.location);
        found.push_back(std::move(address));
    }
    return found;
}

void ImportText::handle_line(std::string_view line)
{
    for (const TextAddress& address : scan_text_line(line)) {
        if (!address.location.empty() && address.location.front() == '#')
            continue;
        add_site({address.location, address.description, "NEW", address.keyword, address.site_info});
    }
}

}  // namespace sk::app
