// Entry fields (TesEdit): a one-line box that shows its bound variable through its
// picture, is edited by the engine's own typing rules (edit_buffer.h) and, when the
// user leaves it, stores the text back and reports "EVENT:Accepted" or
// "EVENT:Rejected". Combo and spin boxes build on it.
#pragma once

#include "ui/controls/control_base.h"
#include "ui/controls/edit_buffer.h"

namespace sk::ui {

// Entry option bits (record offset 77).
inline constexpr std::uint8_t kEntryRequired = 0x02, kEntryCapitalise = 0x10, kEntryUpperCase = 0x20,
                              kEntryPassword = 0x40, kEntryReadOnly = 0x80;

inline constexpr char kPasswordMask = '*';

class EntryControl : public WidgetControl {
public:
    EntryControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding, const PixelRect& rect,
                 std::string_view picture);

    void display() override;
    bool accept() override;
    bool edit_action(EditAction action) override;

    const EditBuffer& buffer() const { return m_edit; }
    const std::string& text() const { return m_edit.text(); }
    bool is_modified() const { return m_modified; }
    bool is_accepted() const { return m_accepted; }
    int scroll_offset() const { return m_scroll; }
    bool scrolls() const { return m_scrolls; }
    int last_failure() const { return m_failure; }
    // Replaces the text as if typed (combo choices, spin steps).
    void replace_text(std::string_view text);
    // Ctrl+Z, Alt+Backspace and the standard undo action: puts back the text as it
    // was before the last change since the field was entered (or last displayed);
    // undoing again puts the change back. False when there is nothing to undo.
    bool undo();
    bool can_undo() const { return m_has_undo; }

protected:
    void paint(pd::Painter& painter, const pd::Rect& client) override;
    bool on_key_down(const pd::Message& m) override;
    bool on_char(const pd::Message& m) override;
    bool on_mouse(const pd::Message& m) override;
    void on_focus(bool gained) override;
    void on_resize() override;

    // The text area inside the edge (combo and spin boxes keep room for a button).
    virtual pd::Rect text_area() const;
    // Leaving the field: validate, store, report.
    void leave();
    // After a change of the text by the user.
    void changed();
    const ControlPicture& picture() const { return m_picture; }

private:
    int validate_and_store();
    std::string shown_text() const;  // the text as drawn (the mask for passwords)
    int x_of(std::size_t position) const;
    std::size_t position_at(int x) const;
    void follow_caret();
    void place_caret();
    void apply(EditResult r);

    struct Snapshot {
        std::string text;
        std::size_t caret = 0, anchor = 0;
    };
    Snapshot snapshot() const;
    void restore(const Snapshot& s);

    ControlPicture m_picture;
    // The text after the last change (what an undo of the next change goes back to)
    // and the text an undo puts back.
    Snapshot m_settled;
    Snapshot m_undo;
    bool m_has_undo = false;
    EditBuffer m_edit;
    std::uint8_t m_options = 0;
    bool m_scrolls = true;
    bool m_modified = false;
    bool m_accepted = false;
    bool m_dragging = false;
    int m_scroll = 0;
    int m_failure = 0;
};

}  // namespace sk::ui
