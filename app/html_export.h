// The HTML export: the whole site list written as one page, one table per
// category and an index of the categories at the end.
//
// HtmlExport is the working logic of ExportHTMLAll. The procedure drives it from
// its progress window: start() before the window opens, window_opened() on its
// opened event, run_batch() on every timer tick (25 sites a tick), cancel() from
// the Cancel button, and finish() once the window has closed, completed or not.
// After each call closing() says whether the window is to close and progress()
// holds what the thermometer and the percentage text show.
//
// This header also holds what the export shares with the three imports: the
// fixed-field text helpers and the batch progress arithmetic of the progress
// window. The texts the page carries are escaped (app/html_text.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/dictionary.h"
#include "data/control_blocks.h"

namespace sk::app {

// ---------------------------------------------------------------------------
// Text helpers for fixed-length fields.

// The longest prefix of text of at most n bytes that does not end inside a UTF-8
// sequence. Bytes that are not well-formed UTF-8 are cut like single characters.
std::size_t utf8_fit(std::string_view text, std::size_t n);
// Copies text into a field of n bytes, cut by utf8_fit and blank-padded.
void set_text_field(char* field, std::size_t n, std::string_view text);
template <std::size_t N>
void set_text_field(char (&field)[N], std::string_view text) { set_text_field(field, N, text); }

// text without its leading blanks (a left-justified field) or trailing blanks.
std::string_view skip_leading_blanks(std::string_view text);
std::string_view trim_trailing_blanks(std::string_view text);
// A left-justified field value: leading blanks dropped, cut to n bytes by
// utf8_fit, trailing blanks (the field's padding) dropped.
std::string justified_text(std::string_view text, std::size_t n);
// A field's text without trailing blanks; trailing NUL bytes count as blanks so
// that a buffer a driver zero-filled reads as empty.
std::string_view field_text(const char* field, std::size_t n);

// The keyword an import gives a site: the text before the location's first
// "://", cut to the keyword field, or "?" when the location has none.
std::string keyword_for_location(std::string_view location);

// Clears the LINKDB record buffer: strings blank, rating 0, and the memo blank
// when the driver has allocated it.
void clear_site_record();

// The rating field's value (packed decimal, sign in the high nibble of byte 0).
int site_rating();

// ---------------------------------------------------------------------------
// Progress of a batch procedure: the count done against the total, the whole
// percentage and the text under the thermometer.
class BatchProgress {
public:
    void reset(std::int64_t total);
    // Adds amount to the count done. While the percentage is below 100 it is
    // recomputed (capped at 100; a total of 0 reads as complete); returns true
    // when the shown percentage changed, so the window is to be redisplayed.
    bool advance(std::int64_t amount);

    std::int64_t total() const { return m_total; }
    std::int64_t done() const { return m_done; }
    int percent_done() const { return m_percent_done; }
    int percent_shown() const { return m_percent_shown; }

private:
    std::int64_t m_total = 0;
    std::int64_t m_done = 0;
    int m_percent_done = 0;
    int m_percent_shown = 0;
};

// The percentage in picture N3 (three characters, right-aligned) followed by
// "% Completed": "  7% Completed".
std::string percent_completed_text(int percent);

// ---------------------------------------------------------------------------
// What the export and the imports share: the state their progress window shows,
// Cancel, reading the next record of the pass and the batch a timer tick runs.
class TransferPass {
public:
    bool closing() const { return m_closing; }
    int response() const { return m_response; }
    const BatchProgress& progress() const { return m_progress; }
    const std::string& title() const { return m_title; }
    const std::string& percent_text() const { return m_percent_text; }
    const std::string& user_text() const { return m_user_text; }
    // The Cancel button: what is done stays; the window is to close.
    void cancel();

protected:
    enum class Next { kMore, kEnd, kFailed };

    // The pass begins: total is what the thermometer counts to.
    void begin(std::int64_t total);
    // Reads the next record of view. The end of the data and any other failure
    // (told with message 35) leave the response cancelled; a record read leaves
    // it done.
    Next read_next(sk::data::FileControlBlock* view);
    // A record read counts weight toward the batch and the thermometer.
    void count(std::int64_t weight);
    // The first record as the window opens: without one the window is to close.
    void first_read(Next next);
    // One batch: handle() takes the record at hand and next() reads the one after,
    // until the batch holds limit. The end of the data completes the pass; a
    // failure ends it as it stands.
    template <typename Handle, typename Advance>
    void run_steps(std::int64_t limit, Handle handle, Advance next)
    {
        m_batch_count = 0;
        while (m_batch_count < limit) {
            handle();
            const Next n = next();
            if (n == Next::kMore)
                continue;
            if (n == Next::kEnd) {
                m_response = ResponseDone;
                m_percent_text = "Process Completed";
            }
            m_closing = true;
            return;
        }
    }

    bool m_closing = false;
    int m_response = 0;
    BatchProgress m_progress;
    std::int64_t m_batch_count = 0;
    std::string m_title = "Progress...";
    std::string m_percent_text;
    std::string m_user_text;
};

// ---------------------------------------------------------------------------
// The Export window's file dialog and directory rules.

inline constexpr std::string_view kExportDialogTitle = "Choose a File";
inline constexpr std::string_view kExportDialogFilter =
    "All Files|*.*|Hypertext Markup files|*.htm|HTML files|*.html";
// The dialog's start name is held in an 80-byte buffer.
inline constexpr std::size_t kDialogNameBuffer = 80;

// The name the file dialog starts with: LastDirectory when ExportFileName is
// blank, else ExportFileName; at most 79 bytes, never ending inside a character.
std::string export_dialog_start_name();
// The user confirmed name in the dialog: ExportFileName takes it.
void export_dialog_accepted(std::string_view name);
// The Export window is left (after the export ran, or on Cancel): LastDirectory
// takes the current directory, which is then set back to ProgramDirectory.
void leave_file_dialog_directory();

// ---------------------------------------------------------------------------
// The export.

inline constexpr std::int32_t kExportBatchSize = 25;

// The two footer lines under the page's closing rule.
extern const std::string_view kExportFooterNotice;
extern const std::string_view kExportFooterHome;

class HtmlExport : public TransferPass {
public:
    HtmlExport();
    ~HtmlExport();  // finishes a started export that was not finished
    HtmlExport(const HtmlExport&) = delete;
    HtmlExport& operator=(const HtmlExport&) = delete;

    // Set-up: the output file named by ExportFileName removed, created and opened,
    // LINKDB opened through its counter, the record count taken, "QUICKSCAN=on"
    // sent to LINKDB. Opening failures end the program (OpenOrCreateFile).
    void start();
    // The progress window has opened: the view in K_CATEGORY order, the page's
    // three head lines and the first site. With no site the window is to close.
    void window_opened();
    // One timer tick: up to 25 sites written. Returns closing().
    bool run_batch();
    // After the window has closed: the open table closed, the index, the footer,
    // "QUICKSCAN=off", the files released and LastResponse set. Runs once.
    void finish();

    // Runs the whole pass without a window: start to finish.
    void run_to_end();

    std::int32_t sections_written() const { return m_section_number; }

private:
    Next fetch();
    void write_site();
    void start_section();

    sk::data::FileControlBlock m_view{};
    bool m_started = false;
    bool m_finished = false;
    bool m_view_open = false;
    char m_previous_category[15];
    std::int32_t m_section_number = 0;
    bool m_section_open = false;
    std::vector<std::string> m_index_lines;
};

// The export's process procedure: HtmlExport driven from its progress window
// (app/export_procedure.cpp). Export calls it on its own thread; it answers in
// LastResponse.
void ExportHTMLAll();

// Writes one line of the page: the text assigned to ASC:LINE (blank-padded) and
// the record added; the driver drops the trailing blanks and ends the line with
// CR LF. A text longer than 512 bytes, which only escaping can make, goes on as
// many lines as it needs, broken at a blank outside the tags where there is one
// and never inside a character or a reference. Errors of the add are ignored.
void write_ascii_line(std::string_view text);

}  // namespace sk::app
