// The file dialog's model: filters, listing, typed names and the folder rules; and
// the calls that show the dialog for it (file_dialog_window.cpp draws it).
#include "ui/file_dialog.h"

#include <algorithm>
#include <vector>

#include "platform/directory.h"
#include "platform/display/display.h"
#include "platform/file.h"
#include "ui/file_dialog_window.h"

namespace sk::ui {

namespace pd = sk::platform::display;
namespace pf = sk::platform;

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool less_nocase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return lower(x) < lower(y); });
}

std::vector<std::string> split(std::string_view text, char sep) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(sep, start);
        std::string part(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        while (!part.empty() && part.front() == ' ') part.erase(part.begin());
        while (!part.empty() && part.back() == ' ') part.pop_back();
        if (!part.empty()) out.push_back(part);
        if (at == std::string_view::npos) break;
        start = at + 1;
    }
    return out;
}

bool has_wildcards(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

bool glob(std::string_view p, std::string_view n) {
    // Iterative matching with one backtrack point for the last star.
    std::size_t pi = 0, ni = 0, star = std::string_view::npos, mark = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || lower(p[pi]) == lower(n[ni]))) {
            ++pi, ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = ni;
        } else if (star != std::string_view::npos) {
            pi = star + 1;
            ni = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

}  // namespace

std::vector<FileFilter> parse_file_filter(std::string_view text) {
    if (text.size() > kMaxFilterText) text = text.substr(0, kMaxFilterText);
    std::vector<FileFilter> out;
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find('|', start);
        parts.emplace_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) break;
        start = at + 1;
    }
    for (std::size_t i = 0; i < parts.size(); i += 2) {
        if (parts[i].empty() && (i + 1 >= parts.size() || parts[i + 1].empty())) continue;
        FileFilter f;
        f.description = parts[i];
        if (i + 1 < parts.size()) f.patterns = split(parts[i + 1], ';');
        if (f.patterns.empty()) f.patterns.push_back("*.*");
        out.push_back(std::move(f));
    }
    if (out.empty()) out.push_back(FileFilter{"All Files (*.*)", {"*.*"}});
    return out;
}

bool matches_pattern(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*") return true;
    if (glob(pattern, name)) return true;
    // "name.*" also takes a name without any extension, as "*.*" does.
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" && name.find('.') == std::string_view::npos)
        return glob(pattern.substr(0, pattern.size() - 2), name);
    return false;
}

bool valid_file_name(std::string_view name) {
    if (name.empty() || name.size() > kMaxProposedName) return false;
    const std::size_t slash = name.find_last_of('/');
    if (slash != std::string_view::npos && slash + 1 == name.size()) return false;
    for (unsigned char c : name) {
        if (c < 0x20) return false;
        if (c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|') return false;
    }
    return true;
}

FileDialogModel::FileDialogModel(bool save, std::string_view filter_text, std::string_view proposed)
    : m_save(save), m_filters(parse_file_filter(filter_text)) {
    m_directory = sk::platform::current_directory();
    if (proposed.size() <= kMaxProposedName && valid_file_name(proposed)) {
        const std::string p(proposed);
        const std::string parent = pf::parent_path(p);
        if (!parent.empty() && pf::is_directory(pf::join_path(m_directory, parent))) {
            m_directory = pf::normal_path(pf::join_path(m_directory, parent));
            typed = pf::file_name(p);
        } else if (parent.empty()) {
            typed = std::string(proposed);
        }
    }
    if (m_directory.size() > 1 && m_directory.back() == '/') m_directory.pop_back();
    refresh();
}

void FileDialogModel::set_filter(int index) {
    if (index < 0 || index >= static_cast<int>(m_filters.size())) return;
    m_filter = index;
    m_typed_patterns.clear();
    refresh();
}

bool FileDialogModel::change_directory(const std::string& path) {
    const std::string next = pf::normal_path(pf::join_path(m_directory, path));
    if (!pf::is_directory(next)) return false;
    m_directory = next;
    refresh();
    return true;
}

void FileDialogModel::refresh() {
    m_entries.clear();
    selected = -1;
    std::vector<DirectoryEntry> dirs, files;
    const std::vector<std::string>& patterns =
        m_typed_patterns.empty() ? m_filters[m_filter].patterns : m_typed_patterns;
    std::vector<pf::DirectoryItem> items;
    pf::list_directory(m_directory, items);  // an unreadable directory lists as empty
    for (const pf::DirectoryItem& item : items) {
        const std::string& name = item.name;
        if (item.is_directory) {
            dirs.push_back(DirectoryEntry{name, true});
        } else if (std::any_of(patterns.begin(), patterns.end(),
                               [&](const std::string& p) { return matches_pattern(p, name); })) {
            files.push_back(DirectoryEntry{name, false});
        }
    }
    const auto by_name = [](const DirectoryEntry& a, const DirectoryEntry& b) { return less_nocase(a.name, b.name); };
    std::sort(dirs.begin(), dirs.end(), by_name);
    std::sort(files.begin(), files.end(), by_name);
    if (m_directory != "/") m_entries.push_back(DirectoryEntry{"..", true});
    m_entries.insert(m_entries.end(), dirs.begin(), dirs.end());
    m_entries.insert(m_entries.end(), files.begin(), files.end());
}

void FileDialogModel::select(int index) {
    if (m_entries.empty()) return;
    selected = std::clamp(index, 0, static_cast<int>(m_entries.size()) - 1);
    if (!m_entries[selected].is_directory) typed = m_entries[selected].name;
}

FileDialogModel::Outcome FileDialogModel::submit() {
    m_message.clear();
    std::string name = typed;
    if (name.empty()) {
        if (selected < 0 || selected >= static_cast<int>(m_entries.size())) return Outcome::kStay;
        if (m_entries[selected].is_directory) {
            change_directory(m_entries[selected].name);
            return Outcome::kStay;
        }
        name = m_entries[selected].name;
    }
    if (has_wildcards(name)) {
        m_typed_patterns = split(name, ';');
        typed.clear();
        refresh();
        return Outcome::kStay;
    }
    const std::string path = pf::normal_path(pf::join_path(m_directory, name));
    if (pf::is_directory(path)) {
        change_directory(path);
        typed.clear();
        return Outcome::kStay;
    }
    const std::string file = pf::file_name(path);
    if (!valid_file_name(file) || file.empty()) {
        m_message = name + "\nThe file name is not valid.";
        return Outcome::kError;
    }
    if (!pf::is_directory(pf::parent_path(path))) {
        m_message = name + "\nPath does not exist.\nPlease verify the correct path was given.";
        return Outcome::kError;
    }
    const bool exists = pf::path_exists(path);
    if (!m_save && !exists) {
        m_message = name + "\nFile not found.\nPlease verify the correct file name was given.";
        return Outcome::kError;
    }
    m_result = path;
    if (m_save && exists && !m_confirmed) {
        m_message = m_result + " already exists.\nDo you want to replace it?";
        return Outcome::kAskOverwrite;
    }
    m_confirmed = false;
    return Outcome::kConfirm;
}

void FileDialogModel::apply_directory() const {
    if (m_result.empty()) return;
    sk::platform::set_current_directory(pf::parent_path(m_result));
}

bool file_dialog(std::string_view title, std::string_view filter, std::uint32_t flags, std::string& name) {
    if (!pd::is_display_open()) return false;
    FileDialogModel model((flags & kFileDialogSave) != 0, filter, name);
    if (!run_file_dialog_window(title, model)) return false;
    model.apply_directory();
    name = model.result();
    return true;
}

bool file_dialog(std::string_view title, std::string_view filter, std::uint32_t flags, char* variable,
                 std::size_t size) {
    std::string name(variable, size);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
    if (!file_dialog(title, filter, flags, name)) return false;
    // A path longer than the variable is cut, as any store into a STRING is.
    const std::size_t n = std::min(size, name.size());
    std::copy_n(name.data(), n, variable);
    std::fill(variable + n, variable + size, ' ');
    return true;
}

}  // namespace sk::ui
