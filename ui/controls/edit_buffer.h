// The editing core of entry fields, combo and spin boxes: a one-line text with a
// caret and a selection, and the typing rules (case options, maximum length, the
// pixel room of fields that do not scroll, insert and overwrite). It knows nothing
// of windows; the field that owns it draws it and reports the changes.
//
// Positions are byte offsets that always lie on character boundaries (UTF-8, with a
// stray byte counting as one character).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/display/font.h"

namespace sk::ui {

enum class EditResult {
    kUnchanged,  // nothing to do (caret moves, copying)
    kChanged,    // the text changed
    kRefused,    // refused with a beep
    kIgnored,    // refused silently: the key belongs to the window (Enter, Tab, Esc)
};

class EditBuffer {
public:
    struct Options {
        bool read_only = false;
        bool upper_case = false;
        bool capitalise = false;
    };

    // The one insert/overwrite mode shared by every field of the process.
    static bool insert_mode();
    static void set_insert_mode(bool insert);

    void set_options(const Options& o) { m_options = o; }
    const Options& options() const { return m_options; }
    // max_length in bytes; room in pixels for a field that does not scroll, or a
    // negative value for one that does; font measures the room (may be null only
    // when room is negative).
    void set_limits(std::size_t max_length, int room, const sk::platform::display::Font* font);
    std::size_t max_length() const { return m_max_length; }

    // Replaces the text (cut to the maximum length) and puts the caret at its end.
    void set_text(std::string_view text);
    const std::string& text() const { return m_text; }

    std::size_t caret() const { return m_caret; }
    std::size_t anchor() const { return m_anchor; }
    bool has_selection() const { return m_caret != m_anchor; }
    std::size_t selection_start() const { return m_caret < m_anchor ? m_caret : m_anchor; }
    std::size_t selection_end() const { return m_caret < m_anchor ? m_anchor : m_caret; }
    std::string selected_text() const;

    // Typing one character: c its code point, utf8 its encoding.
    EditResult type_char(char32_t c, std::string_view utf8, bool shift_held);
    EditResult backspace();
    EditResult delete_forward();
    EditResult paste(std::string_view text);
    // Removes the selection (cut after copying, or clear). Unchanged without one.
    EditResult delete_selection();

    // Caret movement; extend keeps the anchor (Shift held).
    void move_left(bool extend, bool by_word);
    void move_right(bool extend, bool by_word);
    void move_home(bool extend);
    void move_end(bool extend);
    void set_caret(std::size_t position, bool extend);  // snapped to a character boundary
    void select_all();
    void select_word_at(std::size_t position);

    // Byte offsets of character boundaries around position.
    std::size_t previous_boundary(std::size_t position) const;
    std::size_t next_boundary(std::size_t position) const;

private:
    bool fits_room(int added_width) const;
    int width_of(std::string_view s) const;
    bool is_word_char(std::size_t position) const;
    void erase_selection();

    std::string m_text;
    std::size_t m_caret = 0;
    std::size_t m_anchor = 0;
    std::size_t m_max_length = 600;
    int m_room = -1;
    const sk::platform::display::Font* m_font = nullptr;
    Options m_options;
};

}  // namespace sk::ui
