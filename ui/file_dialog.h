// The file dialog: choosing a file to open or a name to save under, in a dialog
// the engine draws itself: the folder's listing narrowed by a filter, a typed name,
// and the folder rules (the process's current directory moves to the folder of a
// confirmed file and nowhere else).
//
// FileDialogModel holds everything the dialog decides; the dialog only shows it
// and feeds it keys and clicks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sk::ui {

inline constexpr std::uint32_t kFileDialogSave = 0x01;  // flag bit 0: a save dialog
inline constexpr std::size_t kMaxDialogTitle = 80;
inline constexpr std::size_t kMaxFilterText = 255;
inline constexpr std::size_t kMaxProposedName = 256;

struct FileFilter {
    std::string description;
    std::vector<std::string> patterns;  // "*.htm;*.html" gives two
};

// "desc|pattern|desc|pattern"; empty gives the one filter "All Files (*.*)" "*.*".
// A description without its pattern matches every file.
std::vector<FileFilter> parse_file_filter(std::string_view text);
// Wildcards * and ?, without regard to case; "*.*" matches every name, a name
// without a dot included.
bool matches_pattern(std::string_view pattern, std::string_view name);
// False for a name the system would not take as a file name: empty after its
// folder, too long, or holding control characters or any of * ? " < > |.
bool valid_file_name(std::string_view name);

struct DirectoryEntry {
    std::string name;
    bool is_directory = false;
};

class FileDialogModel {
public:
    FileDialogModel(bool save, std::string_view filter_text, std::string_view proposed);

    bool is_save() const { return m_save; }
    const std::vector<FileFilter>& filters() const { return m_filters; }
    int filter_index() const { return m_filter; }
    void set_filter(int index);
    const std::string& directory() const { return m_directory; }
    bool change_directory(const std::string& path);  // relative to the shown folder
    // Folders first (".." unless at the root), then the files the filter admits,
    // each group sorted without regard to case.
    const std::vector<DirectoryEntry>& entries() const { return m_entries; }
    void refresh();

    std::string typed;  // the name field
    int selected = -1;  // into entries()
    // Moves the selection; a file's name goes into the name field.
    void select(int index);

    enum class Outcome {
        kStay,           // the dialog goes on (a folder was entered, a filter typed)
        kConfirm,        // result() holds the full path
        kAskOverwrite,   // save over an existing file: confirm with confirm_overwrite()
        kError,          // message() says why; the dialog goes on
    };
    // Enter on the name field, or on the selected entry when the field is empty.
    Outcome submit();
    void confirm_overwrite() { m_confirmed = true; }
    const std::string& result() const { return m_result; }
    const std::string& message() const { return m_message; }
    // After the user confirmed: the process's current directory becomes the file's folder.
    void apply_directory() const;

private:
    bool m_save;
    std::vector<FileFilter> m_filters;
    int m_filter = 0;
    std::vector<std::string> m_typed_patterns;  // a wildcard name typed in the field
    std::string m_directory;
    std::vector<DirectoryEntry> m_entries;
    std::string m_result, m_message;
    bool m_confirmed = false;
};

// Shows the dialog; on confirmation stores the chosen full path in name and
// returns true. Cancel returns false and leaves name as it was. The global
// runtime lock is given up while it waits.
bool file_dialog(std::string_view title, std::string_view filter, std::uint32_t flags, std::string& name);
// The same for a fixed-length, blank-padded string variable of size bytes.
bool file_dialog(std::string_view title, std::string_view filter, std::uint32_t flags, char* variable,
                 std::size_t size);

}  // namespace sk::ui
