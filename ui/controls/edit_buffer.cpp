// The typing rules of one-line fields.
#include "ui/controls/edit_buffer.h"

#include "platform/display/utf8.h"
#include "runtime/locale.h"
#include "ui/controls/variable.h"

namespace sk::ui {

namespace {
bool g_insert_mode = true;

bool is_letter_code(char32_t c) {
    // Characters from 192 on count as letters (the accented letters of Latin-1).
    if (c >= 192) return true;
    if (c >= 128) return false;
    return (sk::rt::char_class(static_cast<unsigned char>(c)) & (sk::rt::kClassUpper | sk::rt::kClassLower)) != 0;
}

char32_t to_upper(char32_t c) {
    if (c < 128) return sk::rt::upper_char(static_cast<unsigned char>(c));
    // Latin-1 lower-case letters (except the division sign and y-diaeresis) pair
    // with the letter 32 below.
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    return c;
}
}  // namespace

bool EditBuffer::insert_mode() { return g_insert_mode; }
void EditBuffer::set_insert_mode(bool insert) { g_insert_mode = insert; }

void EditBuffer::set_limits(std::size_t max_length, int room, const sk::platform::display::Font* font) {
    m_max_length = max_length;
    m_room = font != nullptr ? room : -1;
    m_font = font;
}

void EditBuffer::set_text(std::string_view text) {
    m_text = std::string(utf8_prefix(text, m_max_length));
    m_caret = m_anchor = m_text.size();
}

std::string EditBuffer::selected_text() const {
    return m_text.substr(selection_start(), selection_end() - selection_start());
}

std::size_t EditBuffer::next_boundary(std::size_t position) const {
    if (position >= m_text.size()) return m_text.size();
    sk::platform::display::decode_char(m_text, position);
    return position;
}

std::size_t EditBuffer::previous_boundary(std::size_t position) const {
    std::size_t pos = 0, last = 0;
    while (pos < m_text.size() && pos < position) {
        last = pos;
        sk::platform::display::decode_char(m_text, pos);
    }
    return position == 0 ? 0 : last;
}

int EditBuffer::width_of(std::string_view s) const { return m_font ? m_font->text_width(s) : 0; }

bool EditBuffer::fits_room(int added_width) const {
    if (m_room < 0 || added_width <= 0) return true;
    return added_width <= m_room - width_of(m_text);
}

void EditBuffer::erase_selection() {
    std::size_t a = selection_start(), b = selection_end();
    m_text.erase(a, b - a);
    m_caret = m_anchor = a;
}

EditResult EditBuffer::delete_selection() {
    if (m_options.read_only || !has_selection()) return EditResult::kUnchanged;
    erase_selection();
    return EditResult::kChanged;
}

EditResult EditBuffer::type_char(char32_t c, std::string_view utf8, bool shift_held) {
    // Keys the window handles are passed over without a sound.
    if (c == '\r' || c == '\n' || c == '\t' || c == 0x1B) return EditResult::kIgnored;
    if (m_options.read_only) return EditResult::kRefused;
    if (c < 0x20 || c == 0x7F || c == 0xFFFD || utf8.empty()) return EditResult::kRefused;

    std::string encoded(utf8);
    const bool had_selection = has_selection();
    std::string saved = m_text;
    std::size_t saved_caret = m_caret, saved_anchor = m_anchor;
    if (had_selection) erase_selection();

    char32_t converted = c;
    if (m_options.upper_case) {
        converted = to_upper(c);
    } else if (m_options.capitalise && !shift_held) {
        bool at_word_start = m_caret == 0;
        if (!at_word_start) {
            std::size_t p = previous_boundary(m_caret);
            char32_t before = sk::platform::display::decode_char(m_text, p);
            at_word_start = !is_letter_code(before) && before != '\'';
        }
        if (at_word_start) converted = to_upper(c);
    }
    if (converted != c) {
        encoded.clear();
        sk::platform::display::append_utf8(encoded, converted);
    }

    auto refuse = [&] {
        m_text = saved, m_caret = saved_caret, m_anchor = saved_anchor;
        return EditResult::kRefused;
    };
    const bool insert = g_insert_mode || m_caret >= m_text.size();
    if (insert) {
        if (m_text.size() + encoded.size() > m_max_length) return refuse();
        if (!fits_room(width_of(encoded))) return refuse();
        m_text.insert(m_caret, encoded);
    } else {
        std::size_t end = next_boundary(m_caret);
        std::string_view old(m_text.data() + m_caret, end - m_caret);
        if (m_text.size() - old.size() + encoded.size() > m_max_length) return refuse();
        if (!fits_room(width_of(encoded) - width_of(old))) return refuse();
        m_text.replace(m_caret, old.size(), encoded);
    }
    m_caret = m_anchor = m_caret + encoded.size();
    return EditResult::kChanged;
}

EditResult EditBuffer::backspace() {
    if (m_options.read_only) return EditResult::kUnchanged;
    if (has_selection()) return delete_selection();
    if (m_caret == 0) return EditResult::kUnchanged;
    std::size_t p = previous_boundary(m_caret);
    m_text.erase(p, m_caret - p);
    m_caret = m_anchor = p;
    return EditResult::kChanged;
}

EditResult EditBuffer::delete_forward() {
    if (m_options.read_only) return EditResult::kUnchanged;
    if (has_selection()) return delete_selection();
    if (m_caret >= m_text.size()) return EditResult::kUnchanged;
    std::size_t n = next_boundary(m_caret);
    m_text.erase(m_caret, n - m_caret);
    m_anchor = m_caret;
    return EditResult::kChanged;
}

EditResult EditBuffer::paste(std::string_view text) {
    if (m_options.read_only) return EditResult::kUnchanged;
    // One line only: the text up to the first line break.
    std::size_t eol = text.find_first_of("\r\n");
    if (eol != std::string_view::npos) text = text.substr(0, eol);
    bool changed = has_selection();
    if (changed) erase_selection();
    std::size_t room = m_max_length > m_text.size() ? m_max_length - m_text.size() : 0;
    std::string_view piece = utf8_prefix(text, room);
    while (!piece.empty() && !fits_room(width_of(piece))) {
        std::size_t pos = 0, last = 0;
        while (pos < piece.size()) {
            last = pos;
            sk::platform::display::decode_char(piece, pos);
        }
        piece = piece.substr(0, last);
    }
    if (!piece.empty()) {
        m_text.insert(m_caret, piece);
        m_caret = m_anchor = m_caret + piece.size();
        changed = true;
    }
    if (piece.size() < text.size()) return changed ? EditResult::kChanged : EditResult::kRefused;
    return changed ? EditResult::kChanged : EditResult::kUnchanged;
}

bool EditBuffer::is_word_char(std::size_t position) const {
    if (position >= m_text.size()) return false;
    std::size_t p = position;
    char32_t c = sk::platform::display::decode_char(m_text, p);
    return is_letter_code(c) || (c >= '0' && c <= '9') || c == '_';
}

void EditBuffer::move_left(bool extend, bool by_word) {
    if (!extend && has_selection()) {
        m_caret = m_anchor = selection_start();
        return;
    }
    std::size_t p = previous_boundary(m_caret);
    if (by_word) {
        while (p > 0 && !is_word_char(p)) p = previous_boundary(p);
        while (p > 0 && is_word_char(previous_boundary(p))) p = previous_boundary(p);
    }
    set_caret(p, extend);
}

void EditBuffer::move_right(bool extend, bool by_word) {
    if (!extend && has_selection()) {
        m_caret = m_anchor = selection_end();
        return;
    }
    std::size_t p = next_boundary(m_caret);
    if (by_word) {
        while (p < m_text.size() && is_word_char(p)) p = next_boundary(p);
        while (p < m_text.size() && !is_word_char(p)) p = next_boundary(p);
    }
    set_caret(p, extend);
}

void EditBuffer::move_home(bool extend) { set_caret(0, extend); }
void EditBuffer::move_end(bool extend) { set_caret(m_text.size(), extend); }

void EditBuffer::set_caret(std::size_t position, bool extend) {
    if (position >= m_text.size()) position = m_text.size();
    else position = next_boundary(previous_boundary(position)) == position ? position : previous_boundary(position);
    m_caret = position;
    if (!extend) m_anchor = position;
}

void EditBuffer::select_all() {
    m_anchor = 0;
    m_caret = m_text.size();
}

void EditBuffer::select_word_at(std::size_t position) {
    set_caret(position, false);
    std::size_t a = m_caret, b = m_caret;
    if (!is_word_char(a) && a > 0 && is_word_char(previous_boundary(a))) a = previous_boundary(a), b = a;
    if (is_word_char(a)) {
        while (a > 0 && is_word_char(previous_boundary(a))) a = previous_boundary(a);
        while (b < m_text.size() && is_word_char(b)) b = next_boundary(b);
    } else if (b < m_text.size()) {
        b = next_boundary(b);
    }
    m_anchor = a;
    m_caret = b;
}

}  // namespace sk::ui
