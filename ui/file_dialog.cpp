// The file dialog: its model (filters, listing, typed names, folder rules) and the
// dialog the engine draws for it.
#include "ui/file_dialog.h"

#include <algorithm>
#include <vector>

#include "platform/directory.h"
#include "platform/display/display.h"
#include "platform/file.h"
#include "ui/dialog_loop.h"
#include "ui/message_box.h"

namespace sk::ui {

namespace pd = sk::platform::display;
namespace pf = sk::platform;
using sk::platform::display::WindowId;

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

// ---- The dialog ---------------------------------------------------------------------

namespace {

constexpr int kClientWidth = 420, kClientHeight = 268;
const pd::Rect kListRect{8, 28, 412, 198};
const pd::Rect kNameRect{90, 206, 320, 226};
const pd::Rect kTypeRect{90, 234, 320, 254};
const pd::Rect kOkRect{330, 206, 412, 228};
const pd::Rect kCancelRect{330, 234, 412, 256};

class FileDialogWindow {
public:
    FileDialogWindow(std::string_view title, FileDialogModel& model) : m_model(model) {
        m_title = std::string(title.substr(0, kMaxDialogTitle));
        if (m_title.empty()) m_title = model.is_save() ? "Save As" : "Open";
        pd::FontSpec spec;
        m_font = pd::open_font(spec);
    }

    bool run() {
        if (!m_font) return false;
        const WindowId owner = dialog_owner();
        const std::uint32_t style = pd::kStyleDialogFrame | pd::kStyleCaption | pd::kStyleSysMenu | pd::kStyleDoubleClicks;
        const pd::Rect probe = pd::client_area_for_style(style, pd::Size{1000, 1000});
        const int ow = kClientWidth + 1000 - probe.width(), oh = kClientHeight + 1000 - probe.height();
        pd::WindowSpec spec;
        spec.parent = owner;
        spec.text = m_title;
        spec.style = style;
        spec.rect = pd::Rect::from_size(std::max(0, (pd::screen_metrics().width - ow) / 2),
                                        std::max(0, (pd::screen_metrics().height - oh) / 2), ow, oh);
        spec.background = pd::system_color(pd::SystemColor::kButtonFace);
        spec.visible = true;
        m_window = pd::create_window(spec);
        if (!m_window) return false;
        std::vector<WindowId> disabled = disable_program_windows(m_window);
        pd::set_active_window(m_window);
        pd::set_focus(m_window);
        pd::invalidate(m_window);
        run_dialog_loop(m_window, [this](const pd::Message& m) { handle(m); }, [this] { return m_done; });
        enable_windows(disabled);
        if (pd::is_window(m_window)) pd::destroy_window(m_window);
        if (owner && pd::is_window(owner)) pd::set_active_window(owner);
        return m_confirmed;
    }

private:
    int row_height() const { return m_font->metrics().height + 2; }
    int visible_rows() const { return (kListRect.height() - 4) / row_height(); }

    void submit() {
        switch (m_model.submit()) {
        case FileDialogModel::Outcome::kConfirm:
            m_confirmed = m_done = true;
            break;
        case FileDialogModel::Outcome::kAskOverwrite:
            if (message_box(m_model.message(), m_title, {}, kBoxYes | kBoxNo, kBoxNo, kBoxIconExclamation) == kBoxYes) {
                m_model.confirm_overwrite();
                submit();
            }
            break;
        case FileDialogModel::Outcome::kError:
            message_box(m_model.message(), m_title, {}, kBoxOk, kBoxOk, kBoxIconExclamation);
            break;
        case FileDialogModel::Outcome::kStay:
            m_top = 0;
            break;
        }
        pd::invalidate(m_window);
    }

    void move_selection(int to) {
        m_model.select(to);
        if (m_model.selected < m_top) m_top = m_model.selected;
        if (m_model.selected >= m_top + visible_rows()) m_top = m_model.selected - visible_rows() + 1;
        pd::invalidate(m_window);
    }

    void handle(const pd::Message& m) {
        switch (m.code) {
        case pd::kMsgPaint: paint(); break;
        case pd::kMsgClose: m_done = true; break;
        case pd::kMsgLButtonDown:
        case pd::kMsgLButtonDblClk: click(m.pos, m.code == pd::kMsgLButtonDblClk); break;
        case pd::kMsgKeyDown:
            switch (m.wparam) {
            case pd::kVkReturn: submit(); break;
            case pd::kVkEscape: m_done = true; break;
            case pd::kVkUp: move_selection(m_model.selected - 1); break;
            case pd::kVkDown: move_selection(m_model.selected + 1); break;
            case pd::kVkBack:
                if (!m_model.typed.empty()) {
                    // Drop one UTF-8 character.
                    std::size_t n = m_model.typed.size() - 1;
                    while (n > 0 && (static_cast<unsigned char>(m_model.typed[n]) & 0xC0) == 0x80) --n;
                    m_model.typed.resize(n);
                    pd::invalidate(m_window);
                }
                break;
            default: break;
            }
            break;
        case pd::kMsgChar:
            if (m.wparam >= 0x20 && m.wparam != 0x7F && m_model.typed.size() < kMaxProposedName) {
                m_model.typed += m.text;
                pd::invalidate(m_window);
            }
            break;
        default: break;
        }
    }

    void click(pd::Point p, bool twice) {
        if (kListRect.contains(p)) {
            const int row = m_top + (p.y - kListRect.top - 2) / row_height();
            if (row < static_cast<int>(m_model.entries().size())) {
                move_selection(row);
                if (twice) {
                    if (m_model.entries()[row].is_directory) m_model.typed.clear();
                    submit();
                }
            }
        } else if (kOkRect.contains(p)) {
            submit();
        } else if (kCancelRect.contains(p)) {
            m_done = true;
        } else if (kTypeRect.contains(p)) {
            m_model.set_filter((m_model.filter_index() + 1) % static_cast<int>(m_model.filters().size()));
            m_top = 0;
            pd::invalidate(m_window);
        }
    }

    void field(pd::Painter& p, const pd::Rect& r, std::string_view text, bool caret) {
        p.fill_rect(r, pd::system_color(pd::SystemColor::kWindow));
        p.draw_edge(r, pd::Edge::kSunken);
        const pd::Rect inner = r.inset(4, 2);
        p.draw_text(inner, text, *m_font, pd::system_color(pd::SystemColor::kWindowText),
                    pd::kTextVCenter | pd::kTextSingleLine);
        if (caret) {
            const int x = inner.left + m_font->text_width(text);
            p.fill_rect(pd::Rect{x, inner.top + 1, x + 1, inner.bottom - 1}, pd::system_color(pd::SystemColor::kWindowText));
        }
    }

    void button(pd::Painter& p, const pd::Rect& r, std::string_view text) {
        p.draw_edge(r, pd::Edge::kRaised);
        p.draw_text(r, text, *m_font, pd::system_color(pd::SystemColor::kButtonText),
                    pd::kTextCenter | pd::kTextVCenter | pd::kTextSingleLine | pd::kTextMnemonic);
    }

    void paint() {
        pd::PaintSession s = pd::begin_paint(m_window);
        if (!s.is_valid()) return;
        pd::Painter& p = s.painter();
        const pd::Color ink = pd::system_color(pd::SystemColor::kButtonText);
        p.fill_rect(pd::Rect{0, 0, kClientWidth, kClientHeight}, pd::system_color(pd::SystemColor::kButtonFace));
        p.draw_text(pd::Rect{8, 6, 412, 24}, "Look in: " + m_model.directory(), *m_font, ink,
                    pd::kTextSingleLine | pd::kTextEndEllipsis | pd::kTextVCenter);
        p.fill_rect(kListRect, pd::system_color(pd::SystemColor::kWindow));
        p.draw_edge(kListRect, pd::Edge::kSunken);
        p.save();
        p.clip_to(kListRect.inset(2, 2));
        const auto& entries = m_model.entries();
        for (int i = m_top, y = kListRect.top + 2; i < static_cast<int>(entries.size()) && y < kListRect.bottom;
             ++i, y += row_height()) {
            const pd::Rect row{kListRect.left + 2, y, kListRect.right - 2, y + row_height()};
            const bool sel = i == m_model.selected;
            if (sel) p.fill_rect(row, pd::system_color(pd::SystemColor::kHighlight));
            const std::string label = entries[i].is_directory ? "[" + entries[i].name + "]" : entries[i].name;
            p.draw_text(row.inset(4, 0), label, *m_font,
                        pd::system_color(sel ? pd::SystemColor::kHighlightText : pd::SystemColor::kWindowText),
                        pd::kTextVCenter | pd::kTextSingleLine);
        }
        p.restore();
        p.draw_text(pd::Rect{8, kNameRect.top, 88, kNameRect.bottom}, "File &name:", *m_font, ink,
                    pd::kTextVCenter | pd::kTextSingleLine | pd::kTextMnemonic);
        field(p, kNameRect, m_model.typed, true);
        p.draw_text(pd::Rect{8, kTypeRect.top, 88, kTypeRect.bottom}, "Files of &type:", *m_font, ink,
                    pd::kTextVCenter | pd::kTextSingleLine | pd::kTextMnemonic);
        field(p, kTypeRect, m_model.filters()[m_model.filter_index()].description, false);
        button(p, kOkRect, m_model.is_save() ? "&Save" : "&Open");
        button(p, kCancelRect, "Cancel");
    }

    FileDialogModel& m_model;
    std::string m_title;
    std::shared_ptr<const pd::Font> m_font;
    WindowId m_window = 0;
    int m_top = 0;
    bool m_done = false;
    bool m_confirmed = false;
};

}  // namespace

bool file_dialog(std::string_view title, std::string_view filter, std::uint32_t flags, std::string& name) {
    if (!pd::is_display_open()) return false;
    FileDialogModel model((flags & kFileDialogSave) != 0, filter, name);
    FileDialogWindow dialog(title, model);
    if (!dialog.run()) return false;
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
