// Page layout of text lines, PDF output through cairo, and the lp spooler.
#include "platform/print/print.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/file.h"
#include "platform/profile.h"
#include "platform/system_error.h"

extern char** environ;

namespace sk::platform::print {

namespace {

constexpr int kTabStop = 8;

// Gives cairo's font caches back at exit, so that the fontconfig patterns they
// hold are freed before fontconfig itself is shut down and leak checkers stay quiet.
struct CairoCaches {
    ~CairoCaches() {
        cairo_debug_reset_static_data();
        FcFini();  // the display's fonts do the same; a second call finds nothing to free
    }
};

void note_cairo_used() { static CairoCaches caches; }

std::mutex g_commands_mutex;
std::string g_lp_command = "lp";
std::string g_lpstat_command = "lpstat";

std::string lp_command() {
    std::lock_guard<std::mutex> lock(g_commands_mutex);
    return g_lp_command;
}

std::string lpstat_command() {
    std::lock_guard<std::mutex> lock(g_commands_mutex);
    return g_lpstat_command;
}

std::mutex g_choice_mutex;
PrinterChoice g_choice;

constexpr std::string_view kChoiceSection = "Print Setup";

// ---- Text to printable characters ---------------------------------------------

// Decodes one UTF-8 sequence at text[at]; a byte that does not start a valid
// sequence is taken as a Latin-1 character on its own.
char32_t decode_at(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b = byte(at);
    std::size_t length = 0;
    char32_t c = 0;
    if (b < 0x80) {
        ++at;
        return b;
    } else if ((b & 0xE0) == 0xC0) {
        length = 2;
        c = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3;
        c = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4;
        c = b & 0x07;
    }
    if (length != 0 && at + length <= text.size()) {
        bool valid = true;
        for (std::size_t i = 1; i < length && valid; ++i) {
            if ((byte(at + i) & 0xC0) != 0x80) valid = false;
            else c = (c << 6) | (byte(at + i) & 0x3F);
        }
        // Overlong forms, surrogates and values past the last code point are not text.
        static const char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid && c >= kMinimum[length] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF)) {
            at += length;
            return c;
        }
    }
    ++at;
    return b;
}

// The characters of a line as they print: tabs expanded, control characters blank.
std::u32string printable(std::string_view line) {
    std::u32string out;
    out.reserve(line.size());
    for (std::size_t at = 0; at < line.size();) {
        const char32_t c = decode_at(line, at);
        if (c == '\t') {
            do out.push_back(U' ');
            while (out.size() % kTabStop != 0);
        } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
            out.push_back(U' ');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string to_utf8(const std::u32string& text, std::size_t from, std::size_t to) {
    while (to > from && text[to - 1] == U' ') --to;
    std::string out;
    for (std::size_t i = from; i < to; ++i) append_utf8(out, text[i]);
    return out;
}

// ---- Layout ---------------------------------------------------------------------

// Character advances of the context's font, measured once per character.
class Measure {
public:
    explicit Measure(cairo_t* cr) : m_cr(cr) {}
    double advance(char32_t c) {
        auto it = m_cache.find(c);
        if (it != m_cache.end()) return it->second;
        std::string s;
        append_utf8(s, c);
        cairo_text_extents_t e;
        cairo_text_extents(m_cr, s.c_str(), &e);
        return m_cache[c] = e.x_advance;
    }

private:
    cairo_t* m_cr;
    std::unordered_map<char32_t, double> m_cache;
};

void set_font(cairo_t* cr, const PageSetup& setup) {
    cairo_select_font_face(cr, setup.face.c_str(), CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, setup.font_size > 0 ? setup.font_size : 9.0);
    // Unhinted metrics: the layout measured here is the one the PDF shows.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

// Rows of one line within width: broken after the last blank that fits, or inside
// a word that is wider than the whole row. The blanks at a break are dropped.
void wrap_line(std::string_view line, double width, Measure& measure, std::vector<std::string>& rows) {
    const std::u32string text = printable(line);
    const std::size_t n = text.size();
    std::size_t start = 0;
    if (n == 0) {
        rows.emplace_back();
        return;
    }
    while (start < n) {
        double x = 0;
        std::size_t i = start;
        std::size_t last_blank = std::u32string::npos;
        while (i < n) {
            const double a = measure.advance(text[i]);
            if (i > start && x + a > width + 1e-6) break;  // a row holds at least one character
            if (text[i] == U' ') last_blank = i;
            x += a;
            ++i;
        }
        std::size_t end = i, next = i;
        if (i < n && text[i] != U' ' && last_blank != std::u32string::npos && last_blank > start) {
            end = last_blank;
            next = last_blank + 1;
        }
        rows.push_back(to_utf8(text, start, end));
        if (next >= n) break;
        while (next < n && text[next] == U' ') ++next;
        if (next >= n) break;
        start = next;
    }
}

struct Geometry {
    cairo_font_extents_t font{};
    int rows_per_page = 1;
    double text_width = 0;
};

Geometry geometry_of(cairo_t* cr, const PageSetup& setup) {
    Geometry g;
    cairo_font_extents(cr, &g.font);
    if (!(g.font.height > 0)) g.font.height = setup.font_size > 0 ? setup.font_size * 1.2 : 10.8;
    const double height = setup.page_height - setup.margin_top - setup.margin_bottom;
    const double rows = std::floor(height / g.font.height + 1e-9);
    g.rows_per_page = rows >= 1 ? (rows > 100000 ? 100000 : static_cast<int>(rows)) : 1;
    g.text_width = setup.page_width - setup.margin_left - setup.margin_right;
    if (g.text_width < 1) g.text_width = 1;
    return g;
}

std::vector<std::vector<std::string>> layout_with(cairo_t* cr, const std::vector<std::string>& lines,
                                                  const Geometry& g) {
    Measure measure(cr);
    std::vector<std::string> rows;
    for (const std::string& line : lines) wrap_line(line, g.text_width, measure, rows);
    std::vector<std::vector<std::string>> pages;
    for (std::size_t at = 0; at < rows.size(); at += static_cast<std::size_t>(g.rows_per_page)) {
        const std::size_t end = std::min(rows.size(), at + static_cast<std::size_t>(g.rows_per_page));
        pages.emplace_back(rows.begin() + static_cast<std::ptrdiff_t>(at), rows.begin() + static_cast<std::ptrdiff_t>(end));
    }
    if (pages.empty()) pages.emplace_back();
    return pages;
}

cairo_status_t append_to_string(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

std::string reason_of(int code) {
    switch (code) {
        case kErrFileNotFound:
        case kErrPathNotFound: return "the folder does not exist";
        case kErrAccessDenied:
        case kErrWriteProtect: return "access is denied";
        case kErrSharingViolation:
        case kErrLockViolation: return "the file is in use";
        case kErrHandleDiskFull: return "the disk is full";
        default: return "system error " + std::to_string(code);
    }
}

// ---- Running the spooler --------------------------------------------------------

struct RunResult {
    bool started = false;
    int start_error = 0;  // errno when it could not be started
    int exit_status = -1;
    std::string output;   // standard output and standard error together
};

// The environment with the messages of the C locale: the status command's answers
// are read by their English wording.
std::vector<std::string> c_locale_environment() {
    std::vector<std::string> out;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string_view v = *e;
        if (v.rfind("LC_ALL=", 0) == 0 || v.rfind("LC_MESSAGES=", 0) == 0 || v.rfind("LANG=", 0) == 0 ||
            v.rfind("LANGUAGE=", 0) == 0)
            continue;
        out.emplace_back(v);
    }
    out.emplace_back("LC_ALL=C");
    return out;
}

RunResult run(const std::vector<std::string>& args, bool c_locale = false) {
    RunResult result;
    std::vector<std::string> env_strings;
    std::vector<char*> env;
    if (c_locale) {
        env_strings = c_locale_environment();
        for (std::string& e : env_strings) env.push_back(e.data());
        env.push_back(nullptr);
    }
    char** const envp = c_locale ? env.data() : environ;
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
        result.start_error = errno;
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const bool is_path = args[0].find('/') != std::string::npos;
    const int rc = is_path ? ::posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), envp)
                           : ::posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argv.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_fds[1]);
    if (rc != 0) {
        ::close(pipe_fds[0]);
        result.start_error = rc;
        return result;
    }
    result.started = true;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
        if (n > 0) {
            if (result.output.size() < 65536) result.output.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(pipe_fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return result;
}

bool is_executable_file(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Whether the command can be run: a path as it is, a name through PATH.
bool command_exists(const std::string& command) {
    if (command.find('/') != std::string::npos) return is_executable_file(command);
    const char* path = std::getenv("PATH");
    std::string_view dirs = path != nullptr ? path : "/usr/bin:/bin";
    while (!dirs.empty()) {
        const std::size_t colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        if (dir.empty()) dir = ".";
        if (is_executable_file(dir + "/" + command)) return true;
        if (colon == std::string_view::npos) break;
        dirs.remove_prefix(colon + 1);
    }
    return false;
}

std::string first_line(std::string_view text) {
    while (!text.empty() && (text.front() == '\n' || text.front() == ' ')) text.remove_prefix(1);
    const std::size_t end = text.find('\n');
    std::string line(text.substr(0, end));
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    return line;
}

// The lines of a command's output, each split into its blank-separated words;
// a line that starts with a blank (a continuation) is marked.
struct OutputLine {
    bool indented = false;
    std::vector<std::string_view> words;
};

std::vector<OutputLine> output_lines(std::string_view text) {
    std::vector<OutputLine> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        OutputLine out;
        out.indented = !line.empty() && (line.front() == ' ' || line.front() == '\t');
        while (!line.empty()) {
            const std::size_t start = line.find_first_not_of(" \t\r");
            if (start == std::string_view::npos) break;
            line.remove_prefix(start);
            const std::size_t stop = line.find_first_of(" \t\r");
            out.words.push_back(line.substr(0, stop));
            if (stop == std::string_view::npos) break;
            line.remove_prefix(stop);
        }
        if (!out.words.empty()) lines.push_back(std::move(out));
    }
    return lines;
}

void add_printer(std::vector<std::string>& names, std::string_view name) {
    if (!valid_printer_name(name)) return;
    if (std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
}

// "lpstat -e": one destination name to a line.
std::vector<std::string> names_from_list(std::string_view text) {
    std::vector<std::string> names;
    for (const OutputLine& l : output_lines(text))
        if (!l.indented && l.words.size() == 1) add_printer(names, l.words[0]);
    return names;
}

// "lpstat -a": "NAME accepting requests since ..." or "NAME not accepting ...",
// reasons on indented lines below.
std::vector<std::string> names_from_acceptance(std::string_view text) {
    std::vector<std::string> names;
    for (const OutputLine& l : output_lines(text)) {
        if (l.indented || l.words.size() < 2) continue;
        if (l.words[1] == "accepting" || (l.words[1] == "not" && l.words.size() > 2 && l.words[2] == "accepting"))
            add_printer(names, l.words[0]);
    }
    return names;
}

// "lpstat -p": "printer NAME is idle. ..." or "printer NAME disabled since ...".
std::vector<std::string> names_from_printer_status(std::string_view text) {
    std::vector<std::string> names;
    for (const OutputLine& l : output_lines(text))
        if (!l.indented && l.words.size() >= 3 && l.words[0] == "printer") add_printer(names, l.words[1]);
    return names;
}

std::string_view paper_name(PaperSize paper) { return paper == PaperSize::kA4 ? "A4" : "Letter"; }

bool same_text_nocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::vector<std::vector<std::string>> layout_pages(const std::vector<std::string>& lines, const PageSetup& setup) {
    note_cairo_used();
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cr = cairo_create(surface);
    set_font(cr, setup);
    const Geometry g = geometry_of(cr, setup);
    auto pages = layout_with(cr, lines, g);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return pages;
}

std::optional<PrintError> write_pdf(const std::vector<std::string>& lines, const PageSetup& setup,
                                    const std::string& path, int* pages_out) {
    note_cairo_used();
    std::string document;
    cairo_surface_t* surface =
        cairo_pdf_surface_create_for_stream(append_to_string, &document, setup.page_width, setup.page_height);
    const std::u32string title_text = printable(setup.title);
    const std::string title = to_utf8(title_text, 0, title_text.size());
    if (!title.empty()) cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, title.c_str());
    cairo_t* cr = cairo_create(surface);
    set_font(cr, setup);
    const Geometry g = geometry_of(cr, setup);
    const auto pages = layout_with(cr, lines, g);
    for (std::size_t p = 0; p < pages.size(); ++p) {
        cairo_set_source_rgb(cr, 0, 0, 0);
        double baseline = setup.margin_top + g.font.ascent;
        for (const std::string& row : pages[p]) {
            if (!row.empty()) {
                cairo_move_to(cr, setup.margin_left, baseline);
                cairo_show_text(cr, row.c_str());
            }
            baseline += g.font.height;
        }
        if (setup.page_footer) {
            // Halfway down the bottom margin, or on the last row's line when the margin is too small.
            double footer = setup.page_height - setup.margin_bottom / 2 + g.font.ascent / 2;
            if (footer > setup.page_height - g.font.descent) footer = setup.page_height - g.font.descent;
            const std::string number = "Page " + std::to_string(p + 1) + " of " + std::to_string(pages.size());
            cairo_text_extents_t e;
            cairo_text_extents(cr, number.c_str(), &e);
            if (!title.empty()) {
                cairo_move_to(cr, setup.margin_left, footer);
                cairo_show_text(cr, title.c_str());
            }
            cairo_move_to(cr, setup.page_width - setup.margin_right - e.x_advance, footer);
            cairo_show_text(cr, number.c_str());
        }
        cairo_show_page(cr);
    }
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        return PrintError{0, std::string("The document could not be composed: ") + cairo_status_to_string(status) + "."};

    File file;
    const auto failed = [&](int code) {
        return PrintError{code, "The file " + path + " could not be written: " + reason_of(code) + "."};
    };
    if (!file.create(path, kAccessWrite | kDenyWrite)) return failed(last_system_error());
    if (file.write_at(0, document.data(), document.size()) != static_cast<std::int64_t>(document.size()) ||
        !file.flush()) {
        const int code = last_system_error();
        file.close();
        delete_file(path);  // a cut-off document is no use to anybody
        return failed(code);
    }
    file.close();
    if (pages_out != nullptr) *pages_out = static_cast<int>(pages.size());
    return std::nullopt;
}

void set_paper(PageSetup& setup, PaperSize paper) {
    if (paper == PaperSize::kA4) {
        setup.page_width = 595.2756;  // 210 x 297 mm
        setup.page_height = 841.8898;
    } else {
        setup.page_width = 612.0;
        setup.page_height = 792.0;
    }
}

bool spooler_installed() { return command_exists(lp_command()) && command_exists(lpstat_command()); }

std::optional<std::string> default_printer() {
    if (!spooler_installed()) return std::nullopt;
    const RunResult r = run({lpstat_command(), "-d"}, true);
    if (!r.started || r.exit_status != 0) return std::nullopt;
    // "system default destination: NAME"; "no system default destination" when none.
    const std::string_view out = r.output;
    const std::string_view marker = "destination:";
    const std::size_t at = out.find(marker);
    if (at == std::string_view::npos) return std::nullopt;
    std::string name = first_line(out.substr(at + marker.size()));
    if (name.empty()) return std::nullopt;
    return name;
}

std::vector<std::string> list_printers() {
    if (!spooler_installed()) return {};
    const std::string lpstat = lpstat_command();
    // Newer spoolers list the bare names with -e; older ones refuse the option, and
    // the acceptance or printer status lists carry the names in their lines.
    RunResult r = run({lpstat, "-e"}, true);
    if (r.started && r.exit_status == 0) return names_from_list(r.output);
    r = run({lpstat, "-a"}, true);
    if (r.started && r.exit_status == 0) return names_from_acceptance(r.output);
    r = run({lpstat, "-p"}, true);
    if (r.started && r.exit_status == 0) return names_from_printer_status(r.output);
    return {};
}

SpoolerStatus spooler_status() {
    SpoolerStatus status;
    status.installed = spooler_installed();
    if (!status.installed) return status;
    status.printers = list_printers();
    status.default_printer = default_printer();
    return status;
}

bool valid_printer_name(std::string_view name) {
    if (name.empty() || name.size() > 127 || name.front() == '-') return false;
    for (const unsigned char c : name)
        if (c <= 0x20 || c == 0x7F) return false;
    return true;
}

PrinterChoice printer_choice() {
    std::lock_guard<std::mutex> lock(g_choice_mutex);
    return g_choice;
}

bool set_printer_choice(const PrinterChoice& choice) {
    if (!choice.printer.empty() && !valid_printer_name(choice.printer)) return false;
    std::lock_guard<std::mutex> lock(g_choice_mutex);
    g_choice = choice;
    return true;
}

PrinterChoice read_printer_choice(std::string_view profile_file) {
    PrinterChoice choice;
    const std::string printer = read_profile_string(profile_file, kChoiceSection, "Printer", "");
    if (valid_printer_name(printer)) choice.printer = printer;
    choice.to_pdf_file = same_text_nocase(read_profile_string(profile_file, kChoiceSection, "Output", ""), "PDF");
    choice.paper = same_text_nocase(read_profile_string(profile_file, kChoiceSection, "Paper", ""), "A4")
                       ? PaperSize::kA4
                       : PaperSize::kLetter;
    return choice;
}

bool write_printer_choice(std::string_view profile_file, const PrinterChoice& choice) {
    return write_profile_string(profile_file, kChoiceSection, "Printer", choice.printer) &&
           write_profile_string(profile_file, kChoiceSection, "Output", choice.to_pdf_file ? "PDF" : "Printer") &&
           write_profile_string(profile_file, kChoiceSection, "Paper", paper_name(choice.paper));
}

std::optional<PrintError> spool(const std::string& pdf_path, std::string_view title, std::string_view printer) {
    const std::string lp = lp_command();
    std::vector<std::string> args{lp};
    if (!printer.empty()) {
        if (!valid_printer_name(printer))
            return PrintError{0, "The printer name \"" + std::string(printer) + "\" is not valid."};
        args.push_back("-d");
        args.emplace_back(printer);
    }
    if (!title.empty()) {
        args.push_back("-t");
        args.emplace_back(title);
    }
    args.push_back("--");
    args.push_back(pdf_path);
    const RunResult r = run(args);
    if (!r.started) {
        errno = r.start_error;
        return PrintError{capture_errno(), "The print spooler (" + lp + ") could not be started: " +
                                               std::strerror(r.start_error) + "."};
    }
    if (r.exit_status != 0) {
        std::string why = first_line(r.output);
        if (why.empty()) why = "it ended with status " + std::to_string(r.exit_status);
        return PrintError{0, "The printer did not take the document: " + why};
    }
    return std::nullopt;
}

std::optional<PrintError> print_lines(const std::vector<std::string>& lines, const PageSetup& setup) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/sitekeeper-print-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        const int code = capture_errno_for_path(pattern.c_str());
        return PrintError{code, "No temporary folder could be made for printing: " + reason_of(code) + "."};
    }
    const std::string path = pattern + "/document.pdf";
    std::optional<PrintError> error = write_pdf(lines, setup, path);
    if (!error) error = spool(path, setup.title, printer_choice().printer);
    delete_file(path);
    ::rmdir(pattern.c_str());
    return error;
}

std::string default_output_directory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        const std::string documents = std::string(home) + "/Documents";
        struct stat st;
        if (::stat(documents.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return documents;
        return home;
    }
    return current_directory();
}

void set_spooler_commands(std::string lp, std::string lpstat) {
    std::lock_guard<std::mutex> lock(g_commands_mutex);
    g_lp_command = lp.empty() ? "lp" : std::move(lp);
    g_lpstat_command = lpstat.empty() ? "lpstat" : std::move(lpstat);
}

}  // namespace sk::platform::print
