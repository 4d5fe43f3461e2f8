// The HTML line scanner, the batch logic the imports share, and the HTML import.
#include "app/import_html.h"

#include <algorithm>
#include <cstring>

#include "app/dictionary.h"
#include "app/html_text.h"
#include "app/standard_messages.h"
#include "data/file_layer.h"
#include "data/view.h"
#include "platform/file.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "runtime/locale.h"

namespace sk::app {

namespace sd = sk::data;

namespace {

constexpr std::size_t kLocationSize = sizeof(LinkdbRecord::location);
constexpr std::size_t kDescriptionSize = sizeof(LinkdbRecord::description);

std::string_view cut(std::string_view text, std::size_t n) { return text.substr(0, utf8_fit(text, n)); }

std::string justified(std::string_view text, std::size_t n) { return justified_text(text, n); }

// A field of n bytes taken from page text: its character references decoded
// before it is left-justified and cut, so the cut falls between whole
// characters. Only as much is decoded as the field can hold.
std::string decoded(std::string_view text, std::size_t n)
{
    return justified(decode_html_references(skip_leading_blanks(text), 2 * n + 8), n);
}

// The heading text of a tag starting at g: the text after the tag's first ">"
// up to the next "<", within 255 characters of the tag.
std::string heading_text(std::string_view line, std::size_t g)
{
    std::string_view work = line.substr(g, kHeadingWorkSize);
    const std::size_t close = work.find('>');
    if (close != std::string_view::npos)
        work.remove_prefix(close + 1);
    const std::size_t open = work.find('<');
    work = work.substr(0, open == std::string_view::npos ? kHeadingWorkSize - 1 : open);
    return decoded(work, kHeadingSize);
}

}  // namespace

void scan_html_line(std::string_view line, std::string* heading, std::vector<HtmlLink>* links)
{
    line = trim_trailing_blanks(line);
    const std::string lower = lower_copy(line);
    ForwardFinder href(lower, "href");
    ForwardFinder tag(lower, "<h");
    ForwardFinder link_end(lower, "</a>");
    ForwardFinder tag_end(line, ">");
    constexpr std::size_t npos = std::string_view::npos;

    std::size_t at = 0;  // where the rest of the line begins
    while (at <= line.size()) {
        const std::size_t h = href.find(at);
        const std::size_t g = tag.find(at);
        if (g != npos && (h == npos || g < h)) {
            const bool plain = g + 3 < line.size() && line[g + 3] == '>';
            const bool bookmark = line.substr(g + 3 < line.size() ? g + 3 : line.size(), 4) == " ADD";
            if (plain || bookmark)
                *heading = heading_text(line, g);
        }
        if (h == npos)
            return;

        // The target between the first two double quotes after "href".
        const std::size_t open = line.find('"', h);
        if (open == npos) {
            // An unquoted target: nothing is taken, and the scan moves past it.
            at = h + 4;
            continue;
        }
        at = open + 1;
        const std::size_t close = line.find('"', at);
        HtmlLink link;
        link.location = decoded(line.substr(at, close == npos ? npos : close - at), kLocationSize);
        if (link.location.empty() || link.location.find(':') == std::string::npos)
            continue;  // relative links and empty targets

        if (close != npos)
            at = close + 1;
        const std::size_t text_start = tag_end.find(at);
        if (text_start != npos)
            at = text_start + 1;
        const std::size_t e = link_end.find(at);
        if (e != npos) {
            link.description = decoded(line.substr(at, e - at), kDescriptionSize);
            // Notes that begin with a tag are none; an escaped "<" is text.
            const std::string_view notes = skip_leading_blanks(line.substr(e + 4));
            if (!notes.empty() && notes.front() != '<')
                link.site_info = decoded(notes, kSiteInfoSize);
            at = e + 1;
        } else {
            link.description = decoded(line.substr(at), kDescriptionSize);
        }
        link.keyword = keyword_for_location(link.location);
        link.heading = *heading;
        links->push_back(std::move(link));
    }
}

// ---------------------------------------------------------------------------
// Search helpers.

std::size_t ForwardFinder::find(std::size_t from)
{
    if (!m_valid || from < m_from || (m_found != std::string_view::npos && m_found < from)) {
        m_found = m_text.find(m_pattern, from);
        m_from = from;
        m_valid = true;
    }
    return m_found;
}

std::string lower_copy(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(sk::rt::lower_char(static_cast<unsigned char>(c)));
    return out;
}

// ---------------------------------------------------------------------------
// File dialog and directories.

void prepare_import_dialog(ImportKind kind)
{
    if (kind != ImportKind::kOtherText)
        sk::platform::set_current_directory(fixed_text(LastDirectory));
}

bool finish_import_dialog(ImportKind kind, bool confirmed, std::string_view name)
{
    if (confirmed && !trim_trailing_blanks(skip_leading_blanks(name)).empty()) {
        set_text_field(ExportFileName, name);
        sk::platform::set_current_directory(fixed_text(ProgramDirectory));
        return true;
    }
    if (kind != ImportKind::kOtherText)
        set_text_field(LastDirectory, sk::platform::current_directory());
    sk::platform::set_current_directory(fixed_text(ProgramDirectory));
    return false;
}

// ---------------------------------------------------------------------------
// LineImport.

LineImport::LineImport() = default;

LineImport::~LineImport()
{
    if (m_started && !m_finished)
        finish();
}

void LineImport::start()
{
    if (m_started)
        return;
    m_started = true;
    m_opened_files = true;
    use_import_file();
    use_categories();
    use_linkdb();
    begin(sd::bytes(&ImportFile));
    m_user_text = "Reading File";
    sd::send(&ImportFile, "QUICKSCAN=on");
}

void LineImport::start_cancelled()
{
    if (m_started)
        return;
    m_started = true;
    m_closing = true;
    m_response = ResponseCancelled;
}

void LineImport::window_opened()
{
    if (m_closing || !m_opened_files)
        return;
    sd::set(&ImportFile);
    sd::init_view_block(&m_view, &ImportFile);
    sd::open(&m_view, 0x40);
    if (sk::rt::error_code() != 0)
        ShowStandardMessage(36);
    else
        m_view_open = true;
    first_read(read_line());
}

LineImport::Next LineImport::read_line()
{
    if (!m_view_open) {
        m_response = ResponseCancelled;
        return Next::kFailed;
    }
    const Next next = read_next(&m_view);
    if (next == Next::kMore) {
        // Every line read moves the batch on, an empty one too.
        count(std::max<std::int64_t>(sd::bytes(&ImportFile), 1));
    }
    return next;
}

bool LineImport::run_batch()
{
    if (m_closing || !m_opened_files)
        return m_closing;
    run_steps(
        kImportBatchBytes, [this] { handle_line(import_line()); },
        [this] { return read_line(); });
    return m_closing;
}

void LineImport::finish()
{
    if (!m_started || m_finished)
        return;
    m_finished = true;
    m_closing = true;
    if (m_opened_files) {
        sd::send(&ImportFile, "QUICKSCAN=off");
        if (m_view_open) {
            sd::close(&m_view);
            m_view_open = false;
        }
        release_import_file();
        release_categories();
        release_linkdb();
    }
    LastResponse = m_response != 0 ? m_response : ResponseCancelled;
}

void LineImport::run_to_end()
{
    start();
    window_opened();
    while (!run_batch()) {
    }
    finish();
}

int LineImport::add_site(const SiteFields& site)
{
    clear_site_record();
    set_text_field(url_record.location, site.location);
    set_text_field(url_record.description, site.description);
    set_text_field(url_record.category, site.category);
    set_text_field(url_record.keyword, site.keyword);
    if (char* memo = url_siteinfo_text())
        set_text_field(memo, kSiteInfoSize, site.site_info);
    sd::add(&LINKDB);
    const int code = sk::rt::error_code();
    if (code == 0) {
        ++m_sites_added;
        return 0;
    }
    if (code == sk::rt::kCreatesDuplicateKey)
        return code;
    const std::string message = sk::rt::error_text() + " adding location";
    if (m_add_error)
        m_add_error(message);
    else
        sk::rt::stop(message);
    return code;
}

void ensure_category(std::string_view category)
{
    set_text_field(cat_record.category, category);
    sd::get_key(&Categories, &cat_k_category);
    const int code = sk::rt::error_code();
    if (code == sk::rt::kRecordNotFound || code == sk::rt::kRecordNotAvailable) {
        set_text_field(cat_record.category, category);
        sd::add(&Categories);
    }
}

// ---------------------------------------------------------------------------
// ImportHtml.

ImportHtml::ImportHtml(std::string_view chosen_category)
    : m_chosen(trim_trailing_blanks(cut(chosen_category, kCategorySize)))
{
}

void ImportHtml::handle_line(std::string_view line)
{
    m_links.clear();
    scan_html_line(line, &m_heading, &m_links);
    for (const HtmlLink& link : m_links) {
        std::string category = "NEW";
        if (!m_chosen.empty()) {
            category = m_chosen;
        } else if (!link.heading.empty()) {
            category = std::string(trim_trailing_blanks(cut(link.heading, kCategorySize)));
            ensure_category(category);
        }
        if (link.location.front() == '#')
            continue;
        add_site({link.location, link.description, category, link.keyword, link.site_info});
    }
}

}  // namespace sk::app
