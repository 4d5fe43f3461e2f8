// The file dialog as the engine draws it: the folder's listing, the name field
// (edited by the engine's one-line editing core and scrolled within its box), the
// "Files of type" drop-down, the Open or Save and Cancel buttons, Tab order and the
// underlined letters.
#include "ui/file_dialog_window.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/display/display.h"
#include "ui/controls/drop_down.h"
#include "ui/controls/edit_buffer.h"
#include "ui/controls/list_rows.h"
#include "ui/dialog_loop.h"
#include "ui/message_box.h"

namespace sk::ui {

namespace pd = sk::platform::display;
using sk::platform::display::WindowId;

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr int kClientWidth = 420, kClientHeight = 268;
const pd::Rect kListRect{8, 28, 412, 198};
const pd::Rect kNameRect{90, 206, 320, 226};
const pd::Rect kTypeRect{90, 234, 320, 254};
const pd::Rect kOkRect{330, 206, 412, 228};
const pd::Rect kCancelRect{330, 234, 412, 256};
const pd::Rect kNameLabel{8, kNameRect.top, 88, kNameRect.bottom};
const pd::Rect kTypeLabel{8, kTypeRect.top, 88, kTypeRect.bottom};
constexpr const char* kNameCaption = "File &name:";
constexpr const char* kTypeCaption = "Files of &type:";
constexpr int kTypeDropRows = 8;

// The name field's text lies inside its sunken edge and a little air.
pd::Rect name_text_area() { return kNameRect.inset(4, 2); }

char underlined_letter(std::string_view caption) {
    const std::size_t amp = caption.find('&');
    if (amp == std::string_view::npos || amp + 1 >= caption.size()) return 0;
    return lower(caption[amp + 1]);
}

// The parts of the dialog that take the focus, in Tab order.
enum class Part { kList, kName, kType, kOk, kCancel };
constexpr int kPartCount = 5;

class FileDialogWindow {
public:
    FileDialogWindow(std::string_view title, FileDialogModel& model) : m_model(model) {
        m_title = std::string(title.substr(0, kMaxDialogTitle));
        if (m_title.empty()) m_title = model.is_save() ? "Save As" : "Open";
        pd::FontSpec spec;
        m_font = pd::open_font(spec);
        m_name.set_limits(kMaxProposedName, -1, m_font.get());
        // The filters as the rows of the type box's drop-down, one column its width.
        ListFormat format;
        ListColumn column;
        column.width = kTypeRect.width() - 4;
        format.columns.push_back(column);
        layout_columns(format, 1);
        std::vector<std::string> descriptions;
        for (const FileFilter& f : model.filters()) descriptions.push_back(f.description);
        m_type_rows = ListRows(std::move(format), nullptr, std::move(descriptions));
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
        m_drop = std::make_unique<DropDown>(m_type_rows, m_font);
        std::vector<WindowId> disabled = disable_program_windows(m_window);
        pd::set_active_window(m_window);
        pd::set_focus(m_window);
        // The proposed name starts selected, so that typing replaces it.
        load_name();
        focus(Part::kName);
        run_dialog_loop(m_window, [this](const pd::Message& m) { handle(m); }, [this] { return m_done; });
        m_drop.reset();
        enable_windows(disabled);
        if (pd::is_window(m_window)) pd::destroy_window(m_window);
        if (owner && pd::is_window(owner)) pd::set_active_window(owner);
        return m_confirmed;
    }

private:
    int row_height() const { return m_font->metrics().height + 2; }
    int visible_rows() const { return (kListRect.height() - 4) / row_height(); }
    bool is_dropped() const { return m_drop && m_drop->is_open(); }

    // ---- Focus

    // Entering the name field by Tab or mnemonic selects all of it.
    void focus(Part part) {
        if (part != Part::kType) close_up();
        m_focus = part;
        if (part == Part::kName) m_name.select_all();
        follow_caret();
        pd::invalidate(m_window);
    }

    void focus_next(bool backwards) {
        const int at = static_cast<int>(m_focus) + (backwards ? kPartCount - 1 : 1);
        focus(static_cast<Part>(at % kPartCount));
    }

    // Alt with an underlined letter (or the letter alone outside the name field).
    bool mnemonic(char c) {
        c = lower(c);
        if (c == 0) return false;
        if (c == underlined_letter(kNameCaption)) {
            focus(Part::kName);
        } else if (c == underlined_letter(kTypeCaption)) {
            focus(Part::kType);
        } else if (c == underlined_letter(ok_caption())) {
            focus(Part::kOk);
            submit();
        } else {
            return false;
        }
        return true;
    }

    const char* ok_caption() const { return m_model.is_save() ? "&Save" : "&Open"; }

    // ---- The name field

    // The model's name into the field, all of it selected.
    void load_name() {
        m_name.set_text(m_model.typed);
        m_name.select_all();
        m_scroll = 0;
        follow_caret();
    }

    void name_edited(EditResult r) {
        if (r == EditResult::kRefused) pd::beep();
        m_model.typed = m_name.text();
        follow_caret();
        pd::invalidate(m_window);
    }

    int x_of(std::size_t position) const {
        return m_font->text_width(std::string_view(m_name.text()).substr(0, position));
    }

    std::size_t position_at(int x) const {
        const std::string& t = m_name.text();
        std::size_t p = 0;
        int left = 0;
        while (p < t.size()) {
            const std::size_t next = m_name.next_boundary(p);
            const int right = x_of(next);
            if (x < (left + right + 1) / 2) return p;
            left = right;
            p = next;
        }
        return t.size();
    }

    // Scrolls the name so that the caret stays inside the field, with no blank room
    // left at the right while the text is wider than the field.
    void follow_caret() {
        const int width = std::max(1, name_text_area().width());
        const int cx = x_of(m_name.caret());
        if (cx - m_scroll < 0) m_scroll = cx;
        else if (cx - m_scroll > width - 1) m_scroll = cx - width + 1;
        const int total = x_of(m_name.text().size());
        if (total - m_scroll < width - 1) m_scroll = std::max(0, total - width + 1);
    }

    void copy_name() {
        if (m_name.has_selection()) pd::set_clipboard_text(m_name.selected_text());
    }

    // The editing keys of the name field; false for keys it leaves to the dialog.
    bool name_key(std::uint32_t vk, std::uint32_t mods) {
        const bool shift = mods & pd::kModShift, ctrl = mods & pd::kModControl;
        if (mods & pd::kModAlt) return false;
        switch (vk) {
        case pd::kVkLeft: m_name.move_left(shift, ctrl); break;
        case pd::kVkRight: m_name.move_right(shift, ctrl); break;
        case pd::kVkHome: m_name.move_home(shift); break;
        case pd::kVkEnd: m_name.move_end(shift); break;
        case pd::kVkBack: name_edited(m_name.backspace()); return true;
        case pd::kVkDelete:
            if (shift) copy_name();
            name_edited(shift ? m_name.delete_selection() : m_name.delete_forward());
            return true;
        case pd::kVkInsert:
            if (ctrl) copy_name();
            else if (shift) name_edited(m_name.paste(pd::clipboard_text()));
            else EditBuffer::set_insert_mode(!EditBuffer::insert_mode());
            return true;
        default:
            if (!ctrl) return false;
            switch (vk) {
            case 'A': m_name.select_all(); break;
            case 'C': copy_name(); return true;
            case 'X': copy_name(); name_edited(m_name.delete_selection()); return true;
            case 'V': name_edited(m_name.paste(pd::clipboard_text())); return true;
            default: return false;
            }
            break;
        }
        follow_caret();
        pd::invalidate(m_window);
        return true;
    }

    // ---- The type box

    void drop_down() {
        if (is_dropped()) return;
        const pd::Point origin = pd::client_to_screen(m_window, pd::Point{0, 0});
        m_drop->open(m_window, kTypeRect.offset(origin.x, origin.y), kTypeDropRows,
                     static_cast<std::size_t>(m_model.filter_index()) + 1);
        pd::invalidate(m_window);
    }

    void close_up() {
        if (!is_dropped()) return;
        m_drop->close();
        pd::invalidate(m_window);
    }

    void choose_filter(int index) {
        close_up();
        if (index == m_model.filter_index() || index < 0 || index >= static_cast<int>(m_model.filters().size())) return;
        m_model.set_filter(index);
        m_top = 0;
        pd::invalidate(m_window);
    }

    bool type_key(std::uint32_t vk, std::uint32_t mods) {
        const bool alt = mods & pd::kModAlt;
        switch (vk) {
        case pd::kVkF1 + 3:
            if (alt) return false;  // Alt+F4 closes the dialog
            is_dropped() ? close_up() : drop_down();
            return true;
        case pd::kVkDown:
            if (alt) is_dropped() ? close_up() : drop_down();
            else if (is_dropped()) m_drop->move_highlight(1);
            else choose_filter(m_model.filter_index() + 1);
            return true;
        case pd::kVkUp:
            if (alt) is_dropped() ? close_up() : drop_down();
            else if (is_dropped()) m_drop->move_highlight(-1);
            else choose_filter(m_model.filter_index() - 1);
            return true;
        case pd::kVkHome:
        case pd::kVkEnd: {
            const int last = static_cast<int>(m_model.filters().size()) - 1;
            if (is_dropped()) m_drop->move_highlight(vk == pd::kVkHome ? -last - 1 : last + 1);
            else choose_filter(vk == pd::kVkHome ? 0 : last);
            return true;
        }
        case pd::kVkReturn:
            if (!is_dropped()) return false;
            choose_filter(static_cast<int>(m_drop->highlighted()) - 1);
            return true;
        case pd::kVkEscape:
            if (!is_dropped()) return false;
            close_up();
            return true;
        default: return false;
        }
    }

    // ---- Submitting

    void submit() {
        close_up();
        switch (m_model.submit()) {
        case FileDialogModel::Outcome::kConfirm:
            m_confirmed = m_done = true;
            break;
        case FileDialogModel::Outcome::kAskOverwrite:
            if (message_box(m_model.message(), m_title, {}, kBoxYes | kBoxNo, kBoxNo, kBoxIconExclamation) == kBoxYes) {
                m_model.confirm_overwrite();
                submit();
                return;
            }
            break;
        case FileDialogModel::Outcome::kError:
            message_box(m_model.message(), m_title, {}, kBoxOk, kBoxOk, kBoxIconExclamation);
            break;
        case FileDialogModel::Outcome::kStay:
            m_top = 0;
            break;
        }
        if (m_done) return;
        // A folder entered or a filter typed empties the field; a refused name stays.
        if (m_name.text() != m_model.typed) load_name();
        pd::invalidate(m_window);
    }

    // Enter on the list: a folder is entered, a file chosen.
    void open_selected() {
        const auto& entries = m_model.entries();
        if (m_model.selected >= 0 && m_model.selected < static_cast<int>(entries.size()) &&
            entries[m_model.selected].is_directory)
            m_model.typed.clear();
        submit();
    }

    void move_selection(int to) {
        m_model.select(to);
        if (m_model.selected < m_top) m_top = m_model.selected;
        if (m_model.selected >= m_top + visible_rows()) m_top = m_model.selected - visible_rows() + 1;
        if (m_name.text() != m_model.typed) load_name();
        pd::invalidate(m_window);
    }

    // ---- Messages

    void handle(const pd::Message& m) {
        if (m_drop && m.window == m_drop->window() && m.window != 0) {
            if (std::size_t row = m_drop->handle_message(m)) choose_filter(static_cast<int>(row) - 1);
            return;
        }
        switch (m.code) {
        case pd::kMsgPaint: paint(); break;
        case pd::kMsgClose: m_done = true; break;
        case pd::kMsgLButtonDown:
        case pd::kMsgLButtonDblClk: click(m.pos, m.code == pd::kMsgLButtonDblClk, m.modifiers); break;
        case pd::kMsgMouseMove:
            if (m_selecting) {
                m_name.set_caret(position_at(m.pos.x - name_text_area().left + m_scroll), true);
                follow_caret();
                pd::invalidate(m_window);
            }
            break;
        case pd::kMsgLButtonUp:
        case pd::kMsgCaptureLost:
            if (m_selecting && m.code == pd::kMsgLButtonUp) pd::release_capture();
            m_selecting = false;
            break;
        case pd::kMsgKeyDown: key(static_cast<std::uint32_t>(m.wparam), m.modifiers); break;
        case pd::kMsgChar: character(m); break;
        default: break;
        }
    }

    void key(std::uint32_t vk, std::uint32_t mods) {
        const bool alt = (mods & pd::kModAlt) && !(mods & pd::kModControl);
        if (m_focus == Part::kName && name_key(vk, mods)) return;
        if (m_focus == Part::kType && type_key(vk, mods)) return;
        if (alt && vk >= pd::kVkA && vk <= pd::kVkZ) {
            mnemonic(static_cast<char>(vk - pd::kVkA + 'a'));
            return;
        }
        switch (vk) {
        case pd::kVkTab: focus_next(mods & pd::kModShift); break;
        case pd::kVkReturn:
            if (m_focus == Part::kCancel) m_done = true;
            else if (m_focus == Part::kList) open_selected();
            else submit();
            break;
        case pd::kVkSpace:
            if (m_focus == Part::kCancel) m_done = true;
            else if (m_focus == Part::kOk) submit();
            break;
        case pd::kVkEscape: m_done = true; break;
        case pd::kVkUp:
            if (m_focus == Part::kList || m_focus == Part::kName) move_selection(m_model.selected - 1);
            break;
        case pd::kVkDown:
            if (m_focus == Part::kList || m_focus == Part::kName) move_selection(m_model.selected + 1);
            break;
        case pd::kVkPrior:
            if (m_focus == Part::kList) move_selection(std::max(0, m_model.selected - visible_rows()));
            break;
        case pd::kVkNext:
            if (m_focus == Part::kList) move_selection(m_model.selected + visible_rows());
            break;
        case pd::kVkHome:
            if (m_focus == Part::kList) move_selection(0);
            break;
        case pd::kVkEnd:
            if (m_focus == Part::kList) move_selection(static_cast<int>(m_model.entries().size()) - 1);
            break;
        default: break;
        }
    }

    void character(const pd::Message& m) {
        const bool alt = (m.modifiers & pd::kModAlt) && !(m.modifiers & pd::kModControl);
        if (alt) return;  // the key press was the mnemonic
        if ((m.modifiers & pd::kModControl) && m.wparam < 0x20) return;  // Ctrl+letter came as a key
        if (m.wparam == 8) return;  // Backspace came as a key
        if (m_focus != Part::kName) {
            // On a button a plain letter works as its mnemonic.
            if ((m_focus == Part::kOk || m_focus == Part::kCancel) && m.wparam < 0x80)
                mnemonic(static_cast<char>(m.wparam));
            return;
        }
        const EditResult r = m_name.type_char(static_cast<char32_t>(m.wparam), std::string_view(m.text),
                                              m.modifiers & pd::kModShift);
        if (r != EditResult::kIgnored) name_edited(r);
    }

    void click(pd::Point p, bool twice, std::uint32_t mods) {
        if (kTypeRect.contains(p)) {
            // The box and its arrow drop the list or take it up again.
            focus(Part::kType);
            is_dropped() ? close_up() : drop_down();
            return;
        }
        close_up();
        if (kNameRect.contains(p)) {
            m_focus = Part::kName;
            const std::size_t at = position_at(p.x - name_text_area().left + m_scroll);
            if (twice) {
                m_name.select_word_at(at);
            } else {
                m_name.set_caret(at, mods & pd::kModShift);
                m_selecting = true;
                pd::set_capture(m_window);
            }
            follow_caret();
            pd::invalidate(m_window);
        } else if (kListRect.contains(p)) {
            focus(Part::kList);
            const int row = m_top + (p.y - kListRect.top - 2) / row_height();
            if (row < static_cast<int>(m_model.entries().size())) {
                move_selection(row);
                if (twice) open_selected();
            }
        } else if (kOkRect.contains(p)) {
            focus(Part::kOk);
            submit();
        } else if (kCancelRect.contains(p)) {
            m_done = true;
        } else if (kNameLabel.contains(p)) {
            focus(Part::kName);
        }
    }

    // ---- Painting

    void paint_name(pd::Painter& p) {
        const bool focused = m_focus == Part::kName;
        p.fill_rect(kNameRect, pd::system_color(pd::SystemColor::kWindow));
        p.draw_edge(kNameRect, pd::Edge::kSunken);
        const pd::Rect area = name_text_area();
        const int top = area.top + (area.height() - m_font->metrics().height) / 2;
        const pd::Point at{area.left - m_scroll, top};
        p.save();
        p.clip_to(area);
        p.draw_text_run(at, m_name.text(), *m_font, pd::system_color(pd::SystemColor::kWindowText));
        if (focused && m_name.has_selection()) {
            const pd::Rect sel{at.x + x_of(m_name.selection_start()), top, at.x + x_of(m_name.selection_end()),
                               top + m_font->metrics().height};
            p.save();
            p.clip_to(sel);
            p.fill_rect(sel, pd::system_color(pd::SystemColor::kHighlight));
            p.draw_text_run(at, m_name.text(), *m_font, pd::system_color(pd::SystemColor::kHighlightText));
            p.restore();
        }
        if (focused) {
            const int x = at.x + x_of(m_name.caret());
            p.fill_rect(pd::Rect{x, top, x + 1, top + m_font->metrics().height},
                        pd::system_color(pd::SystemColor::kWindowText));
        }
        p.restore();
    }

    void button(pd::Painter& p, const pd::Rect& r, std::string_view text, Part part, bool is_default) {
        paint_dialog_button(p, r, text, *m_font, is_default, false, m_focus == part);
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
        const bool list_focused = m_focus == Part::kList;
        for (int i = m_top, y = kListRect.top + 2; i < static_cast<int>(entries.size()) && y < kListRect.bottom;
             ++i, y += row_height()) {
            const pd::Rect row{kListRect.left + 2, y, kListRect.right - 2, y + row_height()};
            const bool sel = i == m_model.selected;
            if (sel) p.fill_rect(row, pd::system_color(pd::SystemColor::kHighlight));
            const std::string label = entries[i].is_directory ? "[" + entries[i].name + "]" : entries[i].name;
            p.draw_text(row.inset(4, 0), label, *m_font,
                        pd::system_color(sel ? pd::SystemColor::kHighlightText : pd::SystemColor::kWindowText),
                        pd::kTextVCenter | pd::kTextSingleLine);
            if (sel && list_focused) p.draw_focus_rect(row);
        }
        p.restore();
        p.draw_text(kNameLabel, kNameCaption, *m_font, ink, pd::kTextVCenter | pd::kTextSingleLine | pd::kTextMnemonic);
        paint_name(p);
        p.draw_text(kTypeLabel, kTypeCaption, *m_font, ink, pd::kTextVCenter | pd::kTextSingleLine | pd::kTextMnemonic);
        paint_drop_box(p, kTypeRect, m_model.filters()[m_model.filter_index()].description, *m_font,
                       m_focus == Part::kType && !is_dropped(), false);
        button(p, kOkRect, ok_caption(), Part::kOk, m_focus != Part::kCancel);
        button(p, kCancelRect, "Cancel", Part::kCancel, m_focus == Part::kCancel);
    }

    FileDialogModel& m_model;
    std::string m_title;
    std::shared_ptr<const pd::Font> m_font;
    WindowId m_window = 0;
    EditBuffer m_name;    // the name field; the model's typed name follows every change
    int m_scroll = 0;     // pixels of the name scrolled off to the left
    bool m_selecting = false;  // a press in the name field drags the selection
    ListRows m_type_rows;
    std::unique_ptr<DropDown> m_drop;
    Part m_focus = Part::kName;
    int m_top = 0;
    bool m_done = false;
    bool m_confirmed = false;
};

}  // namespace

bool run_file_dialog_window(std::string_view title, FileDialogModel& model) {
    FileDialogWindow dialog(title, model);
    return dialog.run();
}

}  // namespace sk::ui
