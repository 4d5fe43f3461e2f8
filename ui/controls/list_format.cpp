// Parsing list format strings into column descriptors.
#include "ui/controls/list_format.h"

#include <algorithm>
#include <cctype>

namespace sk::ui {

namespace {

class Reader {
public:
    explicit Reader(std::string_view s) : m_s(s) {}
    bool done() const { return m_pos >= m_s.size(); }
    char peek() const { return done() ? '\0' : m_s[m_pos]; }
    char upper() const { return static_cast<char>(std::toupper(static_cast<unsigned char>(peek()))); }
    void skip() { ++m_pos; }
    bool digit() const { return !done() && std::isdigit(static_cast<unsigned char>(peek())); }
    int number() {
        long v = 0;
        while (digit()) {
            v = std::min<long>(v * 10 + (peek() - '0'), 1000000);
            skip();
        }
        return static_cast<int>(v);
    }
    // "(" n ")": the number, or -1 when no parenthesis follows (nothing consumed).
    int paren_number() {
        if (peek() != '(') return -1;
        skip();
        int n = number();
        if (peek() == ')') skip();
        return n;
    }
    // Text up to the closing delimiter (consumed); the rest of the string when unclosed.
    std::string until(char close) {
        std::size_t end = m_s.find(close, m_pos);
        if (end == std::string_view::npos) end = m_s.size();
        std::string text(m_s.substr(m_pos, end - m_pos));
        m_pos = end < m_s.size() ? end + 1 : end;
        return text;
    }

private:
    std::string_view m_s;
    std::size_t m_pos = 0;
};

bool justification(char c, std::uint8_t& out) {
    switch (c) {
        case 'L': out = kJustifyLeft; return true;
        case 'R': out = kJustifyRight; return true;
        case 'C': out = kJustifyCenter; return true;
        case 'D': out = kJustifyDecimal; return true;
        default: return false;
    }
}

struct Modifiers {
    std::uint32_t flags = 0, options = 0, header_options = 0;
    std::string header, picture;
    bool has_header_justify = false, has_picture = false;
    std::uint8_t header_justify = 0;
    int header_indent = 0, field = -1, scroll_width = 0, header_height = 0;
    bool locator = false;
};

// Reads modifiers until a character that is none of them.
Modifiers read_modifiers(Reader& r, const UnitScale& scale) {
    Modifiers m;
    for (;;) {
        switch (r.upper()) {
            case '|': r.skip(); m.flags |= kColumnBorder; continue;
            case 'M': r.skip(); m.flags |= kColumnResizable; continue;
            case '~': {
                r.skip();
                m.header = r.until('~');
                std::uint8_t j;
                if (justification(r.upper(), j)) {
                    r.skip();
                    m.has_header_justify = true;
                    m.header_justify = j;
                }
                int n = r.paren_number();
                if (n >= 0) m.header_indent = to_pixels(scale, true, n);
                continue;
            }
            case '@': {
                r.skip();
                std::string p = r.until('@');
                if (!m.has_picture) m.picture = p, m.has_picture = true;
                continue;
            }
            case '#': {
                r.skip();
                m.field = r.number();
                if (r.peek() == '#') r.skip();
                continue;
            }
            case '_': r.skip(); m.flags |= kColumnUnderline; continue;
            case '/': r.skip(); m.flags |= kColumnSlash; continue;
            case '?': r.skip(); m.flags |= kColumnLocator; m.locator = true; continue;
            case '*': r.skip(); m.options |= kColumnOptionStar; continue;
            case 'I': r.skip(); m.flags |= kColumnIcon; continue;
            case 'T':
                r.skip();
                m.flags |= kColumnTree;
                if (r.peek() == '(') {
                    r.skip();
                    while (!r.done() && r.peek() != ')') {
                        switch (r.upper()) {
                            case 'L': m.options |= kColumnOptionTreeL; break;
                            case '1': m.options |= kColumnOptionTree1; break;
                            case 'B': m.options |= kColumnOptionTreeB; break;
                            case 'I': m.options |= kColumnOptionTreeI; break;
                            default: break;
                        }
                        r.skip();
                    }
                    if (r.peek() == ')') r.skip();
                }
                continue;
            case 'F': r.skip(); m.flags |= kColumnFixed; continue;
            case 'S': {
                r.skip();
                m.flags |= kColumnScroll;
                int n = r.paren_number();
                if (n >= 0) m.scroll_width = to_pixels(scale, true, n);
                continue;
            }
            case 'H': {
                r.skip();
                int n = r.paren_number();
                if (n < 0) return m;  // "H" needs its height
                m.header_options |= kHeaderOptionHeight;
                m.header_height = to_pixels(scale, false, n);
                continue;
            }
            default: return m;
        }
    }
}

}  // namespace

bool ListFormat::has_header() const {
    return std::any_of(columns.begin(), columns.end(),
                       [](const ListColumn& c) { return !c.header.empty() || c.header_height > 0; }) ||
           has_group_header();
}

bool ListFormat::has_group_header() const {
    return std::any_of(groups.begin(), groups.end(),
                       [](const ListGroup& g) { return !g.header.empty() && g.count > 0; });
}

int ListFormat::header_height() const {
    int h = 0;
    for (const auto& c : columns) h = std::max(h, c.header_height);
    return h;
}

int ListFormat::total_width() const { return columns.empty() ? 0 : std::max(0, columns.back().right + 1); }

void layout_columns(ListFormat& format, int border_width) {
    int x = 0;
    for (auto& c : format.columns) {
        c.left = x;
        c.right = c.width == 0 ? x - 1 : x + c.width;
        if (c.flags & kColumnBorder) c.right += border_width;
        x = std::max(x, c.right);
    }
}

ListFormat parse_list_format(std::string_view text, const UnitScale& scale, int border_width) {
    ListFormat out;
    Reader r(text);
    std::size_t group_start = 0;
    bool in_group = false;
    while (!r.done()) {
        if (r.peek() == '[') {
            r.skip();
            in_group = true;
            group_start = out.columns.size();
            continue;
        }
        if (r.peek() == ']') {
            r.skip();
            Modifiers m = read_modifiers(r, scale);
            if (in_group)
                out.groups.push_back(ListGroup{group_start, out.columns.size() - group_start, m.header, m.flags,
                                               m.has_header_justify ? m.header_justify : std::uint8_t{kJustifyLeft},
                                               m.header_indent});
            in_group = false;
            continue;
        }
        std::uint8_t justify = kJustifyLeft;
        if (!r.digit() && !justification(r.upper(), justify)) {
            r.skip();  // starts nothing
            continue;
        }
        ListColumn c;
        int width_units = r.number();
        if (justification(r.upper(), justify)) r.skip();
        c.width = std::max(0, to_pixels(scale, true, width_units));
        c.justify = justify;
        int indent = r.paren_number();
        if (indent >= 0 && c.width != 0) c.indent = to_pixels(scale, true, indent);
        Modifiers m = read_modifiers(r, scale);
        c.flags = m.flags;
        c.options = m.options;
        c.header_options = m.header_options;
        c.header = m.header;
        c.header_justify = m.has_header_justify ? m.header_justify : justify;
        c.header_indent = m.header_indent;
        c.picture_text = m.picture;
        c.picture = ControlPicture(m.picture);
        c.field = m.field >= 0 ? m.field : static_cast<int>(out.columns.size());
        c.scroll_width = m.scroll_width;
        c.header_height = m.header_height;
        if (m.locator) out.locator_column = static_cast<int>(out.columns.size());
        out.columns.push_back(std::move(c));
    }
    layout_columns(out, border_width);
    return out;
}

}  // namespace sk::ui
