// The text viewer's loading and searching.
#include "app/text_viewer.h"

#include <cstring>

#include "app/dictionary.h"
#include "app/standard_messages.h"
#include "data/ascii/ascii_driver.h"
#include "data/file_layer.h"
#include "platform/file.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "runtime/locale.h"

namespace sk::app {

namespace sd = sk::data;

namespace {

struct BlankViewFileName {
    BlankViewFileName() { std::memset(ViewFileName, ' ', sizeof ViewFileName); }
} blank_view_file_name;

// Read access, deny all: the viewer reads the file alone and in large blocks.
constexpr unsigned kReadDenyAll = 0x10;

// The runtime's upper-case table for all 256 byte values, taken once for a
// search rather than asked byte by byte.
struct UpperTable {
    UpperTable()
    {
        for (int c = 0; c < 256; ++c)
            map[c] = static_cast<char>(sk::rt::upper_char(static_cast<unsigned char>(c)));
    }
    char map[256];
};

// Upper-cases text into out (reusing its storage).
void upper_into(const UpperTable& table, std::string_view text, std::string* out)
{
    out->resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        (*out)[i] = table.map[static_cast<unsigned char>(text[i])];
}

// The line without its trailing blanks. A list entry is mostly padding, so the
// padding is stepped over eight bytes at a time before the last few one by one.
std::string_view without_padding(std::string_view line)
{
    static constexpr char kBlanks[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    std::size_t n = line.size();
    while (n >= sizeof kBlanks && std::memcmp(line.data() + n - sizeof kBlanks, kBlanks, sizeof kBlanks) == 0)
        n -= sizeof kBlanks;
    while (n > 0 && line[n - 1] == ' ')
        --n;
    return line.substr(0, n);
}

// The search of one line once both sides are in the same case: the first match
// position, trying every occurrence when the match must be a whole word.
std::size_t find_match(std::string_view haystack, std::string_view needle, bool whole_word)
{
    constexpr std::size_t npos = std::string_view::npos;
    for (std::size_t at = haystack.find(needle); at != npos; at = haystack.find(needle, at + 1)) {
        if (!whole_word)
            return at;
        const std::size_t end = at + needle.size();
        const bool starts_word = at == 0 || haystack[at - 1] == ' ';
        const bool ends_word = end == haystack.size() || haystack[end] == ' ';
        if (starts_word && ends_word)
            return at;
    }
    return npos;
}

// A search text prepared once for many lines: trimmed and, unless the case must
// match, upper-cased; each line is folded into a buffer that is reused, so a
// search through the whole text allocates nothing per line.
class LineMatcher {
public:
    explicit LineMatcher(const SearchSettings& settings)
        : m_match_case(settings.match_case), m_whole_word(settings.whole_word)
    {
        const std::string_view text = trim_trailing_blanks(settings.text);
        if (m_match_case)
            m_needle.assign(text);
        else
            upper_into(m_upper, text, &m_needle);
    }
    std::size_t find(std::string_view line)
    {
        line = without_padding(line);
        if (m_needle.empty())
            return std::string_view::npos;
        if (m_match_case)
            return find_match(line, m_needle, m_whole_word);
        upper_into(m_upper, line, &m_line);
        return find_match(m_line, m_needle, m_whole_word);
    }

private:
    UpperTable m_upper;
    bool m_match_case;
    bool m_whole_word;
    std::string m_needle;
    std::string m_line;
};

}  // namespace

const ViewerSettings kWhatsNewViewer{"whatsnew.jr", "WhatsNew", "New in this Release", "What's New",
                                     "LKDB3023_RSC"};
const ViewerSettings kReadMeViewer{"readme.jr", "ReadMe", "Using...", "Using Sitekeeper", "LKDB3024_RSC"};

std::size_t find_in_line(std::string_view line, const SearchSettings& settings)
{
    return LineMatcher(settings).find(line);
}

TextViewer::TextViewer(const ViewerSettings& settings)
    : m_settings(settings),
      m_fields(sd::FieldStreamBuilder().string(0, "ASC1:LINE", kViewLineSize).bytes())
{
    std::memset(m_record, ' ', sizeof m_record);
    m_file.entry = sk::ascii::ascii_entry;
    m_file.name = ViewFileName;
    m_file.name_length = kViewFileNameSize;
    m_file.attributes = kApplicationFileAttributes;
    m_file.record_length = kViewLineSize;
    m_file.fields = m_fields.data();
    m_file.fields_size = static_cast<std::uint32_t>(m_fields.size());
    m_file.record = m_record;
}

TextViewer::~TextViewer()
{
    end_load();
    // A state the driver kept after a failed statement goes with the block.
    if (m_file.state != nullptr)
        sd::close(&m_file);
}

std::optional<TextViewer::LoadStart> TextViewer::refresh()
{
    if (m_loaded_file == m_settings.file)
        return std::nullopt;
    set_fixed(ViewFileName, m_settings.file);
    m_loaded_file = std::string(m_settings.file);
    return begin_load();
}

TextViewer::LoadStart TextViewer::begin_load()
{
    end_load();
    m_lines.free();
    m_done = false;
    m_read_error = 0;
    m_bytes_read = 0;
    m_file_size = 0;
    m_percent_done = 0;
    m_percent_shown = 0;
    // The name is kept for the questions and reports that follow: the other viewer
    // may set ViewFileName to its own file while this one is still loading.
    m_load_name = fixed_text(ViewFileName);
    const std::string& name = m_load_name;
    if (name.empty()) {
        m_list_enabled = false;
        m_done = true;
        return LoadStart::kNoFile;
    }
    m_list_enabled = true;
    name_file(name);
    sd::open(&m_file, kReadDenyAll);
    if (sk::rt::error_code() != 0) {
        m_list_enabled = false;
        m_done = true;
        ShowStandardMessage(26, name);
        return LoadStart::kOpenFailed;
    }
    m_file_open = true;
    m_file_size = sd::bytes(&m_file);
    if (m_file_size <= 0) {
        end_load();
        m_list_enabled = false;
        m_done = true;
        ShowStandardMessage(28, name);
        return LoadStart::kEmpty;
    }
    m_progress_title = "Reading File";
    m_percent_text = "0% Completed";
    return LoadStart::kLoading;
}

namespace {
std::optional<std::string>& shipped_directory_setting()
{
    static std::optional<std::string> setting;
    return setting;
}
}  // namespace

std::string shipped_text_directory()
{
    if (const auto& set = shipped_directory_setting())
        return *set;
    const std::string program = sk::platform::program_path();
    const std::size_t slash = program.find_last_of('/');
    return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

void set_shipped_text_directory(std::optional<std::string> directory)
{
    shipped_directory_setting() = std::move(directory);
}

// The texts ship next to the program: when the start directory has no copy of its
// own, a plain file name is looked for in the program's directory too.
void TextViewer::name_file(const std::string& name)
{
    m_file.name = ViewFileName;
    m_file.name_length = kViewFileNameSize;
    m_program_copy.clear();
    if (name.find('/') != std::string::npos || sk::platform::file_exists(name))
        return;
    const std::string directory = shipped_text_directory();
    if (directory.empty())
        return;
    std::string candidate = directory + "/" + name;
    if (!sk::platform::file_exists(candidate))
        return;
    m_program_copy = std::move(candidate);
    m_file.name = m_program_copy.data();
    m_file.name_length = static_cast<std::uint32_t>(m_program_copy.size());
}

void TextViewer::load_window_opened()
{
    if (m_file_open)
        sd::set(&m_file);
}

bool TextViewer::load_batch()
{
    if (m_done || !m_file_open) {
        m_done = true;
        return true;
    }
    std::int64_t batch = 0;
    while (batch < kViewerBatchBytes) {
        sd::next(&m_file);
        if (const int code = sk::rt::error_code(); code != 0) {
            m_done = true;  // the end, or a read error: the lines read so far stay
            // A read error is kept to be told once loading is over, rather than
            // passing a partly read text off as the whole file.
            if (code != sk::rt::kRecordNotAvailable) {
                m_read_error = code;
                m_read_error_text = sk::rt::error_text();
            }
            break;
        }
        std::int64_t line_bytes = sd::bytes(&m_file);
        if (line_bytes < 1)
            line_bytes = 1;
        batch += line_bytes;
        m_bytes_read += line_bytes;
        m_lines.add(m_record);
    }
    if (m_percent_done < 100) {
        const std::int64_t percent = m_bytes_read * 100 / m_file_size;
        m_percent_done = percent > 100 ? 100 : static_cast<int>(percent);
        if (m_percent_done != m_percent_shown) {
            m_percent_shown = m_percent_done;
            m_percent_text =
                percent_completed_text(m_percent_shown) + " (" + std::to_string(m_bytes_read) + ") bytes";
        }
    }
    return m_done;
}

bool TextViewer::cancel_load()
{
    const bool stop =
        m_cancel ? m_cancel(m_load_name) : ShowStandardMessage(27, m_load_name) == sk::rt::kButtonOk;
    if (stop)
        m_done = true;
    return stop;
}

void TextViewer::report_read_error()
{
    if (m_read_error == 0)
        return;
    sk::rt::set_error(m_read_error, m_read_error_text);
    m_read_error = 0;
    ShowStandardMessage(26, m_load_name);
}

void TextViewer::end_load()
{
    if (m_file_open) {
        sd::close(&m_file);
        m_file_open = false;
    }
}

TextViewer::LoadStart TextViewer::load_all()
{
    const LoadStart start = begin_load();
    if (start == LoadStart::kLoading) {
        load_window_opened();
        while (!load_batch()) {
        }
        end_load();
    }
    return start;
}

std::string TextViewer::line(std::size_t number) const
{
    const unsigned char* entry = m_lines.at(number);
    if (entry == nullptr)
        return {};
    return std::string(trim_trailing_blanks(std::string_view(reinterpret_cast<const char*>(entry), kViewLineSize)));
}

void TextViewer::find_dialog_opened() { m_search.text.clear(); }

void TextViewer::find_answered(bool search) { m_find_next_enabled = search; }

std::optional<std::size_t> TextViewer::search(std::size_t selected_row)
{
    const std::int64_t count = static_cast<std::int64_t>(m_lines.count());
    if (count == 0 || trim_trailing_blanks(m_search.text).empty())
        return std::nullopt;
    const bool down = m_search.direction != "Up";
    auto ask = [&](std::string_view direction) {
        return m_wrap ? m_wrap(direction) : ShowStandardMessage(29, direction) == sk::rt::kButtonYes;
    };
    LineMatcher matcher(m_search);
    std::int64_t i = static_cast<std::int64_t>(selected_row);
    for (;;) {
        if (down) {
            if (++i > count) {
                if (!ask("Down"))
                    return std::nullopt;
                i = 1;
            }
        } else {
            // From no selection (row 0) the beginning is reached at once.
            if (--i <= 0) {
                if (!ask("Up"))
                    return std::nullopt;
                i = count;
            }
        }
        if (i > count)
            continue;  // a selection beyond the lines: walk back into them
        const unsigned char* entry = m_lines.at(static_cast<std::size_t>(i));
        const std::string_view text(reinterpret_cast<const char*>(entry), entry != nullptr ? kViewLineSize : 0);
        if (matcher.find(text) != std::string_view::npos)
            return static_cast<std::size_t>(i);
    }
}

}  // namespace sk::app
