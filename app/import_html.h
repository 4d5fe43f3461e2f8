// Import from HTML: every absolute link of a page added as a site, the page's
// headings taken as categories.
//
// The line scanner (scan_html_line) is a plain function over one line. The batch
// logic shared by the three imports lives in LineImport: ImportFile read line by
// line through a view in timer batches of 1000 bytes, the byte-based progress,
// each site added with duplicates skipped silently and other add errors handed
// to the caller's stop-box callback. ImportHtml, ImportText and ImportAsciiList
// each give it their line handling.
//
// The procedure drives an import from its progress window: start() (or
// start_cancelled() when the file dialog was cancelled) before the window opens,
// window_opened() on its opened event, run_batch() on every timer tick, cancel()
// from the Cancel button and finish() once the window has closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/html_export.h"
#include "data/control_blocks.h"

namespace sk::app {

// ---------------------------------------------------------------------------
// Search helpers of the line scanners.

// Repeated forward searches for one pattern over one text. A search from a
// position at or after the previous one reuses the previous answer while it
// still lies ahead, so a scan that keeps asking costs one pass over the text.
class ForwardFinder {
public:
    ForwardFinder(std::string_view text, std::string_view pattern) : m_text(text), m_pattern(pattern) {}
    // The first position at or after from where the pattern occurs, or npos.
    std::size_t find(std::size_t from);

private:
    std::string_view m_text;
    std::string_view m_pattern;
    std::size_t m_from = 0;
    std::size_t m_found = std::string_view::npos;
    bool m_valid = false;
};

// text converted to lower case by the runtime's case table, byte for byte, so
// positions in the copy are positions in text.
std::string lower_copy(std::string_view text);

// ---------------------------------------------------------------------------
// The HTML line scanner.

inline constexpr std::size_t kHeadingSize = 20;  // HeadingCategory STRING(20)
inline constexpr std::size_t kHeadingWorkSize = 255;

// What one link of a line gives, before the category is settled. Every text is
// taken with its character references decoded once.
struct HtmlLink {
    std::string location;     // left-justified, at most 128 bytes, not blank, holds a ":"
    std::string description;  // left-justified, at most 60 bytes
    std::string site_info;    // left-justified, at most 500 bytes; empty when none
    std::string keyword;      // the scheme before "://", or "?"
    std::string heading;      // the heading in force when the link was found; may be empty
};

// Scans one line (trailing blanks do not matter). heading is the heading in
// force before the line (HeadingCategory) and afterwards holds the last heading
// seen; every link found is appended to links in line order. Links whose
// location begins with "#" are reported too: they still name a heading's
// category, and the caller does not store them. Every pass over an "href"
// advances past it, so any line is finished in time linear in its length.
void scan_html_line(std::string_view line, std::string* heading, std::vector<HtmlLink>* links);

// ---------------------------------------------------------------------------
// The imports' file dialog and directory rules.

inline constexpr std::string_view kImportDialogTitle = "Select File";
inline constexpr std::string_view kImportDialogFilter =
    "All Files|*.*|HTML Files (*.htm)|*.htm|Text Files (*.txt)|*.txt";

enum class ImportKind {
    kHtml,       // ImportHTML: the dialog opens in LastDirectory
    kOtherText,  // ImportOther: the dialog opens in the current directory; LastDirectory is kept
    kAsciiList,  // ImportASCII: as ImportHTML
};

// Before the dialog: ImportHTML and ImportASCII go to LastDirectory.
void prepare_import_dialog(ImportKind kind);
// After the dialog. A confirmed, non-blank name becomes ExportFileName and the
// current directory is set back to ProgramDirectory; returns true (the import
// goes on, with the category select for the HTML and list imports). A cancelled
// dialog or a blank name returns false; ImportHTML and ImportASCII first let
// LastDirectory take the current directory, then the directory is set back.
bool finish_import_dialog(ImportKind kind, bool confirmed, std::string_view name);

// ---------------------------------------------------------------------------
// Shared batch logic of the imports.

inline constexpr std::int64_t kImportBatchBytes = 1000;

// The text of an add error other than a duplicate, as the stop box shows it.
using AddErrorHandler = std::function<void(std::string_view message)>;

// The fields of one site to be added.
struct SiteFields {
    std::string_view location;
    std::string_view description;
    std::string_view category;
    std::string_view keyword;
    std::string_view site_info;
};

class LineImport : public TransferPass {
public:
    LineImport();
    virtual ~LineImport();  // finishes a started import that was not finished
    LineImport(const LineImport&) = delete;
    LineImport& operator=(const LineImport&) = delete;

    // Set-up: ImportFile (named by ExportFileName), Categories and LINKDB opened
    // through their counters, the file size taken as the total, "QUICKSCAN=on"
    // sent to ImportFile.
    void start();
    // The file dialog was cancelled or gave a blank name: nothing is opened, the
    // window closes at its first event and nothing is imported.
    void start_cancelled();
    // The progress window has opened: the file positioned at its start, the view
    // opened, the first line read. With no line the window is to close.
    void window_opened();
    // One timer tick: lines handled until 1000 bytes have been read. Returns closing().
    bool run_batch();
    // After the window has closed: "QUICKSCAN=off", the files released,
    // LastResponse set. Runs once.
    void finish();
    // The whole pass without a window.
    void run_to_end();

    // Replaces the stop box (runtime stop: Abort ends the program, Ignore goes on).
    void set_add_error_handler(AddErrorHandler handler) { m_add_error = std::move(handler); }

    std::int64_t sites_added() const { return m_sites_added; }

protected:
    // Handles the line now in ASC:LINE (given without its trailing blanks).
    virtual void handle_line(std::string_view line) = 0;
    // Clears the site record, fills it, and adds it to LINKDB. 0 and 40 (a
    // duplicate) pass silently; any other error goes to the stop-box handler.
    // Returns the add's error code.
    int add_site(const SiteFields& site);

private:
    Next read_line();

    sk::data::FileControlBlock m_view{};
    bool m_started = false;
    bool m_opened_files = false;
    bool m_finished = false;
    bool m_view_open = false;
    std::int64_t m_sites_added = 0;
    AddErrorHandler m_add_error;
};

// Adds category to Categories unless a read by K_CATEGORY finds it; errors of
// the add are ignored.
void ensure_category(std::string_view category);

// ---------------------------------------------------------------------------
// The HTML import.
class ImportHtml : public LineImport {
public:
    // chosen_category: the category picked for the whole import; blank when none.
    explicit ImportHtml(std::string_view chosen_category = {});
    const std::string& heading() const { return m_heading; }

protected:
    void handle_line(std::string_view line) override;

private:
    std::string m_chosen;
    std::string m_heading;
    std::vector<HtmlLink> m_links;
};

}  // namespace sk::app
