// Entry fields with more: COMBO (an entry with a drop list of the row source),
// SPIN (an entry whose value steps between a low and a high value, or through the
// rows of a queue) and TEXT (a multi-line edit box).
#pragma once

#include "ui/controls/drop_down.h"
#include "ui/controls/entry_control.h"

namespace sk::ui {

class ComboControl : public EntryControl {
public:
    ComboControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding, VariableRef row_source,
                 const PixelRect& rect);
    ~ComboControl() override;

    bool owns_window(WindowId w) const override;
    bool handle_message(const pd::Message& m) override;
    bool get_property(std::uint32_t number, std::int32_t index, std::string* value) override;
    bool set_property(std::uint32_t number, std::int32_t index, std::string_view value) override;

    const ListRows& rows() const { return m_rows; }
    std::size_t selected() const { return m_selected; }
    // Selects a row and shows its text; 0 selects nothing.
    void select_row(std::size_t row);
    bool is_dropped() const { return m_drop.is_open(); }
    void drop_down();
    void close_up();
    const DropDown& drop() const { return m_drop; }

protected:
    pd::Rect text_area() const override;
    void paint(pd::Painter& painter, const pd::Rect& client) override;
    bool on_key_down(const pd::Message& m) override;
    bool on_mouse(const pd::Message& m) override;
    void on_focus(bool gained) override;

private:
    pd::Rect button_rect() const;
    void pick(std::size_t row);

    ListRows m_rows;
    DropDown m_drop;
    std::size_t m_selected = 0;
};

class SpinControl : public EntryControl {
public:
    SpinControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding, VariableRef row_source,
                const PixelRect& rect);
    // One step up (or down): the value moves by the step and stays within low and
    // high; with a row source, the text moves to the next (previous) row.
    void step(bool up);

protected:
    pd::Rect text_area() const override;
    void paint(pd::Painter& painter, const pd::Rect& client) override;
    bool on_key_down(const pd::Message& m) override;
    bool on_mouse(const pd::Message& m) override;

private:
    pd::Rect button_rect(bool up) const;
    ListRows m_rows;
};

// TEXT: lines separated by CR LF in the bound variable, shown wrapped at words to
// the box's width (a word wider than the box breaks between characters). The
// wrapping is only how the text is shown: the stored text keeps its own line breaks
// and nothing else. The text is stored and "EVENT:Accepted" posted when a changed
// text loses the focus.
class TextControl : public WidgetControl {
public:
    // One shown line: the byte range of its text. A soft line was wrapped; the
    // spaces its break swallowed lie between its end and the next line's start and
    // belong to it. A hard line ends at a line break or at the end of the text.
    struct Line {
        std::size_t start = 0, end = 0;
        bool soft = false;
        bool operator==(const Line&) const = default;
    };

    TextControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding, const PixelRect& rect);
    void display() override;
    bool accept() override;
    bool edit_action(EditAction action) override;

    const std::string& text() const { return m_text; }
    std::size_t caret() const { return m_caret; }
    int first_line() const { return m_first_line; }
    bool is_modified() const { return m_modified; }
    // Ctrl+Z, Alt+Backspace and the standard undo action: puts back the text from
    // before the last change (a run of typed characters counts as one change);
    // undoing again puts the change back. False when there is nothing to undo.
    bool undo();
    // The shown lines for the current text and width.
    const std::vector<Line>& lines() const;
    // The shown line that holds a caret position.
    std::size_t line_of(std::size_t position) const;
    // Where the caret of a position is drawn, in client pixels (top of the cell).
    pd::Point caret_point(std::size_t position) const;
    // The pixel width the lines are wrapped to.
    int wrap_width() const;

protected:
    void paint(pd::Painter& painter, const pd::Rect& client) override;
    bool on_key_down(const pd::Message& m) override;
    bool on_char(const pd::Message& m) override;
    bool on_mouse(const pd::Message& m) override;
    void on_focus(bool gained) override;
    void on_resize() override;

private:
    // The last caret position that still shows on the line (End goes there).
    std::size_t line_last(std::size_t line) const;
    // The position on a line nearest to a pixel column.
    std::size_t position_on_line(std::size_t line, int x) const;
    int x_on_line(std::size_t line, std::size_t position) const;
    int visible_lines() const;
    void insert(std::string_view s, bool typed = false);
    void erase(std::size_t from, std::size_t to);
    // Keeps the text an undo goes back to, before a change; typed characters that
    // follow one another share the one kept before the first of them.
    void remember(bool typed);
    void changed();
    void follow_caret();
    void place_caret();
    std::size_t position_at(pd::Point p) const;
    std::size_t previous_position(std::size_t position) const;
    std::size_t next_position(std::size_t position) const;
    bool store();
    std::size_t capacity() const;
    bool read_only() const;

    std::string m_text;
    std::size_t m_caret = 0;
    int m_first_line = 0;
    bool m_modified = false;
    std::string m_undo_text;
    std::size_t m_undo_caret = 0;
    bool m_has_undo = false;
    bool m_typing = false;  // the last change was a typed character
    // The last layout, kept while the text and the width stay the same.
    mutable std::vector<Line> m_lines;
    mutable std::string m_laid_text;
    mutable int m_laid_width = -1;
};

}  // namespace sk::ui
