// The text viewer's model: a text file loaded into a queue of 255-character
// lines in timer batches, and the search over those lines.
//
// TextViewer is the working logic of WhatsNew and ReadMe. Loading: begin_load()
// opens the file (or reports why not), then the procedure opens the progress
// window and calls load_window_opened() on its opened event, load_batch() on
// every timer tick (20,000 bytes a tick), cancel_load() from its Cancel button,
// and end_load() once it has closed. Searching: find_dialog_opened() when the
// search dialog opens, find_answered() with the dialog's answer, search() for
// Find and Find Next. The questions the procedure shows in boxes (the wrap
// question, the cancel confirmation) are asked through callbacks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/dictionary.h"
#include "app/html_export.h"
#include "data/control_blocks.h"
#include "data/queue.h"

namespace sk::app {

inline constexpr std::size_t kViewLineSize = 255;
inline constexpr std::int64_t kViewerBatchBytes = 20000;

// The constants that make a viewer WhatsNew or ReadMe.
struct ViewerSettings {
    std::string_view file;         // file read, in the current directory
    std::string_view section;      // INI section of the window position
    std::string_view user_text;    // the progress window's user text
    std::string_view title;        // the view window's title
    std::string_view resource;
};
extern const ViewerSettings kWhatsNewViewer;
extern const ViewerSettings kReadMeViewer;

// Search settings, bound to the search dialog.
struct SearchSettings {
    std::string text;               // at most 79 characters
    bool whole_word = false;
    bool match_case = false;
    std::string direction = "Down"; // "Down" or "Up"
};

// Finds text in line by the settings (trailing blanks of both are ignored):
// case-insensitive unless match_case, by the runtime's case table; with
// whole_word the match must start the line or follow a blank and end the line
// or be followed by a blank. Every occurrence in the line is tried. Returns the
// 0-based position of the match, or npos. An empty search text matches nothing.
std::size_t find_in_line(std::string_view line, const SearchSettings& settings);

// Where the texts that ship with the program are looked for when the start
// directory has no copy: the program's own directory unless set otherwise (an empty
// name turns the second place off; nullopt returns to the default).
std::string shipped_text_directory();
void set_shipped_text_directory(std::optional<std::string> directory);

class TextViewer {
public:
    // Asked when the search runs off an end: direction is "Down" or "Up"; true
    // (Yes) goes on from the other end. The default shows standard message 29.
    using WrapQuestion = std::function<bool(std::string_view direction)>;
    // Asked when Cancel is pressed while loading; true (OK) stops loading. The
    // default shows standard message 27.
    using CancelQuestion = std::function<bool(std::string_view file_name)>;

    explicit TextViewer(const ViewerSettings& settings);
    ~TextViewer();
    TextViewer(const TextViewer&) = delete;
    TextViewer& operator=(const TextViewer&) = delete;

    void set_wrap_question(WrapQuestion question) { m_wrap = std::move(question); }
    void set_cancel_question(CancelQuestion question) { m_cancel = std::move(question); }

    // ---- Loading.
    enum class LoadStart {
        kNoFile,      // ViewFileName is blank: list disabled
        kOpenFailed,  // the file could not be opened: message 26, list disabled
        kEmpty,       // the file holds no bytes: message 28, list disabled
        kLoading,     // the progress window is to open
    };
    // The refresh on a gain of focus: when the viewer's file is not the one
    // loaded, ViewFileName takes it and loading begins. Returns nullopt when the
    // file is already loaded.
    std::optional<LoadStart> refresh();
    // Steps before the progress window: the lines emptied, the file opened with
    // read access, deny all, and its size taken.
    LoadStart begin_load();
    // The progress window has opened: the file positioned at its start.
    void load_window_opened();
    // One timer tick: lines read until 20,000 bytes are read or the file ends.
    // Returns loading_done().
    bool load_batch();
    // Cancel in the progress window: the question asked; on OK loading stops and
    // the lines read so far stay. Returns whether loading stopped.
    bool cancel_load();
    // The progress window has closed: the file is closed.
    void end_load();
    // The whole load without a window. Returns how it began.
    LoadStart load_all();
    // Tells the user, once, that the text could not be read to its end (the lines
    // read before the failure stay); nothing when it was read whole.
    void report_read_error();
    bool had_read_error() const { return m_read_error != 0; }

    bool loading_done() const { return m_done; }
    bool list_enabled() const { return m_list_enabled; }
    std::int64_t file_size() const { return m_file_size; }
    std::int64_t bytes_read() const { return m_bytes_read; }
    int percent_shown() const { return m_percent_shown; }
    const std::string& percent_text() const { return m_percent_text; }
    const std::string& progress_title() const { return m_progress_title; }

    // ---- The lines.
    std::size_t line_count() const { return m_lines.count(); }
    // The queue of 255-character entries the view window's list shows.
    sk::data::Queue& lines() { return m_lines; }
    const ViewerSettings& settings() const { return m_settings; }
    // Line number (1-based) without trailing blanks; empty outside 1..line_count().
    std::string line(std::size_t number) const;

    // ---- Searching.
    SearchSettings& search_settings() { return m_search; }
    // The search dialog has opened: its text is emptied, the other settings kept.
    void find_dialog_opened();
    // The dialog closed with Find (true) or Cancel (false); Find Next follows it.
    void find_answered(bool search);
    bool find_next_enabled() const { return m_find_next_enabled; }
    // Searches from the selected row (1-based, 0 when none) in the set direction.
    // Returns the row to select, or nullopt when the search ended without a match.
    std::optional<std::size_t> search(std::size_t selected_row);

private:
    void name_file(const std::string& name);

    ViewerSettings m_settings;
    sk::data::FileControlBlock m_file{};
    // The full name of a text found next to the program rather than in the start
    // directory; the file block names it while that file is loaded.
    std::string m_program_copy;
    int m_read_error = 0;
    std::string m_read_error_text;
    char m_record[kViewLineSize];
    std::vector<std::uint8_t> m_fields;
    sk::data::Queue m_lines{kViewLineSize};
    std::string m_loaded_file;
    std::string m_load_name;  // ViewFileName as the current load began
    bool m_file_open = false;
    bool m_done = false;
    bool m_list_enabled = false;
    std::int64_t m_file_size = 0;
    std::int64_t m_bytes_read = 0;
    int m_percent_done = 0;
    int m_percent_shown = 0;
    std::string m_percent_text;
    std::string m_progress_title = "Progress...";
    SearchSettings m_search;
    bool m_find_next_enabled = false;
    WrapQuestion m_wrap;
    CancelQuestion m_cancel;
};

}  // namespace sk::app
