// The HTML export and the helpers it shares with the imports.
#include "app/html_export.h"

#include <cstdio>
#include <cstring>

#include "app/dictionary.h"
#include "app/html_text.h"
#include "app/standard_messages.h"
#include "data/file_layer.h"
#include "data/view.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "runtime/date_time.h"
#include "runtime/error.h"
#include "runtime/picture.h"

namespace sk::app {

namespace sd = sk::data;



// ---------------------------------------------------------------------------
// Text helpers.

std::size_t utf8_fit(std::string_view text, std::size_t n)
{
    if (text.size() <= n)
        return text.size();
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    // Walk back over at most three continuation bytes to the sequence's lead byte.
    std::size_t lead = n;
    while (lead > 0 && n - lead < 3 && (byte(lead) & 0xC0) == 0x80)
        --lead;
    const unsigned char b = byte(lead);
    std::size_t length = 1;
    if ((b & 0xE0) == 0xC0)
        length = 2;
    else if ((b & 0xF0) == 0xE0)
        length = 3;
    else if ((b & 0xF8) == 0xF0)
        length = 4;
    if (length == 1 || lead + length <= n)
        return n;  // the cut falls between characters, or inside a malformed run
    for (std::size_t i = lead + 1; i < lead + length && i < text.size(); ++i)
        if ((byte(i) & 0xC0) != 0x80)
            return n;  // not a well-formed sequence: bytes are characters
    return lead;
}

void set_text_field(char* field, std::size_t n, std::string_view text)
{
    set_fixed(field, n, text.substr(0, utf8_fit(text, n)));
}

std::string_view skip_leading_blanks(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

std::string_view trim_trailing_blanks(std::string_view text)
{
    std::size_t n = text.size();
    while (n > 0 && text[n - 1] == ' ')
        --n;
    return text.substr(0, n);
}

std::string justified_text(std::string_view text, std::size_t n)
{
    text = skip_leading_blanks(text);
    return std::string(trim_trailing_blanks(text.substr(0, utf8_fit(text, n))));
}

std::string_view field_text(const char* field, std::size_t n)
{
    if (field == nullptr)
        return {};
    while (n > 0 && (field[n - 1] == ' ' || field[n - 1] == '\0'))
        --n;
    return std::string_view(field, n);
}

std::string keyword_for_location(std::string_view location)
{
    const std::size_t scheme_end = location.find("://");
    if (scheme_end == std::string_view::npos)
        return "?";
    const std::string_view scheme = location.substr(0, scheme_end);
    return std::string(scheme.substr(0, utf8_fit(scheme, sizeof url_record.keyword)));
}

void clear_site_record()
{
    std::memset(&url_record, ' ', sizeof url_record);
    std::memset(url_record.rating, 0, sizeof url_record.rating);
    if (char* memo = url_siteinfo_text())
        std::memset(memo, ' ', kSiteInfoSize);
}

int site_rating()
{
    // DECIMAL(2,0): a sign nibble and three digit nibbles.
    const unsigned char* p = url_record.rating;
    int value = 0;
    for (int nibble = 1; nibble < 4; ++nibble) {
        const int digit = nibble % 2 ? p[nibble / 2] & 0x0F : p[nibble / 2] >> 4;
        value = value * 10 + (digit > 9 ? 9 : digit);
    }
    return (p[0] >> 4) != 0 ? -value : value;
}

// ---------------------------------------------------------------------------
// Progress.

void BatchProgress::reset(std::int64_t total)
{
    m_total = total;
    m_done = 0;
    m_percent_done = 0;
    m_percent_shown = 0;
}

bool BatchProgress::advance(std::int64_t amount)
{
    m_done += amount;
    if (m_percent_done >= 100)
        return false;
    // A total that was 0 when counted (the file grew since) reads as complete
    // rather than dividing by zero.
    const std::int64_t percent = m_total <= 0 ? 100 : m_done * 100 / m_total;
    m_percent_done = percent > 100 ? 100 : percent < 0 ? 0 : static_cast<int>(percent);
    if (m_percent_done == m_percent_shown)
        return false;
    m_percent_shown = m_percent_done;
    return true;
}

std::string percent_completed_text(int percent)
{
    return sk::rt::format(static_cast<double>(percent), "@N3") + "% Completed";
}

void TransferPass::cancel()
{
    m_response = ResponseCancelled;
    m_closing = true;
}

void TransferPass::begin(std::int64_t total)
{
    m_progress.reset(total);
    m_batch_count = 0;
    m_title = "Processing Records";
    m_percent_text = "0% Completed";
}

TransferPass::Next TransferPass::read_next(sk::data::FileControlBlock* view)
{
    sd::next(view);
    const int code = sk::rt::error_code();
    if (code != 0) {
        if (code != sk::rt::kRecordNotAvailable)
            ShowStandardMessage(35, "LINKDB");
        m_response = ResponseCancelled;
        return code == sk::rt::kRecordNotAvailable ? Next::kEnd : Next::kFailed;
    }
    m_response = ResponseDone;
    return Next::kMore;
}

void TransferPass::count(std::int64_t weight)
{
    m_batch_count += weight;
    if (m_progress.advance(weight))
        m_percent_text = percent_completed_text(m_progress.percent_shown());
}

void TransferPass::first_read(Next next)
{
    if (next != Next::kMore) {
        m_response = ResponseCancelled;
        m_closing = true;
    }
}

// ---------------------------------------------------------------------------
// File dialog and directories.

std::string export_dialog_start_name()
{
    const std::string export_name = fixed_text(ExportFileName);
    const std::string start = export_name.empty() ? fixed_text(LastDirectory) : export_name;
    return start.substr(0, utf8_fit(start, kDialogNameBuffer - 1));
}

void export_dialog_accepted(std::string_view name) { set_text_field(ExportFileName, name); }

void leave_file_dialog_directory()
{
    set_text_field(LastDirectory, sk::platform::current_directory());
    sk::platform::set_current_directory(fixed_text(ProgramDirectory));
}

// ---------------------------------------------------------------------------
// Writing the page.

namespace {

// Where a page line longer than ASC:LINE is broken: after the last blank that
// lies outside a tag and within the line's first n bytes, so that the page reads
// the same; without one, at the last point that splits neither a character nor
// a reference. Returns the length of the first part and whether a blank is
// dropped at the break.
std::size_t page_line_break(std::string_view text, std::size_t n, bool* drops_blank)
{
    bool in_tag = false;
    std::size_t blank = 0;
    for (std::size_t i = 0; i <= n && i < text.size(); ++i) {
        const char c = text[i];
        if (c == '<')
            in_tag = true;
        else if (c == '>')
            in_tag = false;
        else if (c == ' ' && !in_tag && i > 0)
            blank = i;
    }
    *drops_blank = blank > 0;
    if (blank > 0)
        return blank;
    const std::size_t fit = html_fit(text, n);
    return fit > 0 ? fit : utf8_fit(text, n) > 0 ? utf8_fit(text, n) : n;
}

}  // namespace

void write_ascii_line(std::string_view text)
{
    // Escaped text can make a line longer than the record; the rest goes on the
    // following lines instead of being cut off.
    while (text.size() > sizeof asc_record.line) {
        bool drops_blank = false;
        const std::size_t part = page_line_break(text, sizeof asc_record.line, &drops_blank);
        set_text_field(asc_record.line, text.substr(0, part));
        sd::add(&AsciiFile);
        text.remove_prefix(part + (drops_blank ? 1 : 0));
    }
    set_text_field(asc_record.line, text);
    sd::add(&AsciiFile);
}

const std::string_view kExportFooterNotice =
    "<h5><address>Site list kept with Sitekeeper. Questions and remarks: "
    "<a href=\"mailto:sitekeeper@example.org\">sitekeeper@example.org</a></address></h5>";
const std::string_view kExportFooterHome =
    "<h6><a href=\"http://www.example.org/sitekeeper/\">Sitekeeper home page</a></h6>";

namespace {

constexpr std::string_view kSectionClose = "</ul></table></div>";

// Today's date in date picture 4. The picture's area is wide enough for the
// longest month name; the blanks a shorter name leaves at its end are dropped so
// that the heading's closing tag follows the year directly.
std::string today_text()
{
    const sk::platform::LocalTime now = sk::platform::local_time();
    std::int32_t serial = 0;
    if (!sk::rt::date_to_serial(now.year, now.month, now.day, &serial))
        return {};
    return std::string(trim_trailing_blanks(sk::rt::format(static_cast<double>(serial), "@D4")));
}

std::string rating_text(int rating)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d", rating);
    return buffer;
}

}  // namespace

HtmlExport::HtmlExport()
{
    std::memset(m_previous_category, ' ', sizeof m_previous_category);
}

HtmlExport::~HtmlExport()
{
    if (m_started && !m_finished)
        finish();
}

void HtmlExport::start()
{
    if (m_started)
        return;
    m_started = true;
    // A missing output file is not an error; create and open failures are the
    // opening routine's to report.
    sd::remove(&AsciiFile);
    sd::create(&AsciiFile);
    use_ascii_file();

    std::memset(m_previous_category, ' ', sizeof m_previous_category);
    use_linkdb();

    begin(sd::records(&LINKDB));
    sd::send(&LINKDB, "QUICKSCAN=on");
}

void HtmlExport::window_opened()
{
    sd::init_view_block(&m_view, &LINKDB);
    sd::set_key(&LINKDB, &url_k_category);
    sd::open(&m_view, 0x40);
    if (sk::rt::error_code() != 0)
        ShowStandardMessage(36);
    else
        m_view_open = true;

    write_ascii_line("<html><head><title>Sitekeeper - Site List</title></head><body>");
    write_ascii_line("<marquee><center><h3>Site List Generated by Sitekeeper on " + today_text() +
                     "</h3></center></marquee>");
    write_ascii_line("<h6><a href=\"#URLIndex\">Jump to Index</a></h6>");

    first_read(fetch());
}

HtmlExport::Next HtmlExport::fetch()
{
    // A view that did not open is still read from: the read fails as one that is
    // not the end of the data and is told like any other.
    const Next next = read_next(&m_view);
    if (next == Next::kMore)
        count(1);
    return next;
}

void HtmlExport::start_section()
{
    if (m_section_open)
        write_ascii_line(kSectionClose);
    m_section_open = true;
    write_ascii_line("<div align=left><table border=1 width=100%><ul>");
    write_ascii_line("<tr><td align=center colspan=3 width=100%>");
    ++m_section_number;
    const std::string number = std::to_string(m_section_number);
    const std::string category = escape_html_text(field_text(url_record.category, sizeof url_record.category));
    write_ascii_line("<h3><a name=\"URL" + number + "\">" + category + "</a></h3>");
    std::memcpy(m_previous_category, url_record.category, sizeof m_previous_category);
    m_index_lines.push_back("<a href=\"#URL" + number + "\">" + category + "</a>");
    write_ascii_line("</td></tr>");
}

void HtmlExport::write_site()
{
    if (std::memcmp(url_record.category, m_previous_category, sizeof m_previous_category) != 0)
        start_section();

    if (field_text(url_record.description, sizeof url_record.description).empty())
        set_text_field(url_record.description,
                       field_text(url_record.location, sizeof url_record.location));

    std::string line = "<tr><td><li><a href=\"";
    line += escape_html_attribute(field_text(url_record.location, sizeof url_record.location));
    line += "\">";
    line += escape_html_text(field_text(url_record.description, sizeof url_record.description));
    line += "</a></li></td>";
    write_ascii_line(line);

    const std::string_view memo = field_text(url_siteinfo_text(), kSiteInfoSize);
    if (!memo.empty())
        write_ascii_line("<td>" + escape_html_text(memo) + "</td>");
    else
        write_ascii_line("<td>No Description</td>");

    const int rating = site_rating();
    if (rating != 0)
        write_ascii_line("<td>Rating:  " + rating_text(rating) + "</td></tr></p>");
    else
        write_ascii_line("<td>No Rating</td></tr></p>");
}

bool HtmlExport::run_batch()
{
    if (m_closing || !m_started)
        return m_closing;
    run_steps(kExportBatchSize, [this] { write_site(); }, [this] { return fetch(); });
    return m_closing;
}

void HtmlExport::finish()
{
    if (!m_started || m_finished)
        return;
    m_finished = true;
    m_closing = true;
    if (!m_index_lines.empty()) {
        if (m_section_open)
            write_ascii_line(kSectionClose);
        write_ascii_line("<hr>");
        write_ascii_line("<a name=\"URLIndex\">");
        write_ascii_line("<h2>Index</h2></a><ul>");
        for (const std::string& entry : m_index_lines)
            write_ascii_line("<li>" + std::string(trim_trailing_blanks(entry)) + "</li>");
    }
    write_ascii_line("</ul>");
    write_ascii_line("<br><hr>");
    write_ascii_line(kExportFooterNotice);
    write_ascii_line(kExportFooterHome);
    write_ascii_line("</body></html>");
    sd::send(&LINKDB, "QUICKSCAN=off");

    if (m_view_open) {
        sd::close(&m_view);
        m_view_open = false;
    }
    release_ascii_file();
    release_linkdb();
    LastResponse = m_response != 0 ? m_response : ResponseCancelled;
}

void HtmlExport::run_to_end()
{
    start();
    window_opened();
    while (!run_batch()) {
    }
    finish();
}

}  // namespace sk::app
