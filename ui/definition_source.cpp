// Parser of the readable source of window definitions.
#include "ui/definition_source.h"

#include <cerrno>
#include <cstdlib>
#include <map>

namespace sk::ui {
namespace {

struct Token {
    enum Type { kEnd, kWord, kNumber, kString, kOpen, kClose } type = kEnd;
    std::string text;
    int line = 1;
};

class Lexer {
public:
    explicit Lexer(std::string_view s) : m_s(s) {}

    bool next(Token& t, std::string& error) {
        skip();
        t = Token{};
        t.line = m_line;
        if (m_i >= m_s.size()) return true;
        const char c = m_s[m_i];
        if (c == '{' || c == '}') {
            t.type = c == '{' ? Token::kOpen : Token::kClose;
            ++m_i;
            return true;
        }
        if (c == '"') return string(t, error);
        const std::size_t start = m_i;
        while (m_i < m_s.size() && !is_space(m_s[m_i]) && m_s[m_i] != '{' && m_s[m_i] != '}' && m_s[m_i] != '"' &&
               m_s[m_i] != '#')
            ++m_i;
        t.text = std::string(m_s.substr(start, m_i - start));
        const char first = t.text[0];
        t.type = (first == '-' || first == '+' || (first >= '0' && first <= '9') || first == '.') ? Token::kNumber
                                                                                                   : Token::kWord;
        return true;
    }

private:
    static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    void skip() {
        while (m_i < m_s.size()) {
            if (m_s[m_i] == '\n') ++m_line;
            if (is_space(m_s[m_i])) {
                ++m_i;
            } else if (m_s[m_i] == '#') {
                while (m_i < m_s.size() && m_s[m_i] != '\n') ++m_i;
            } else {
                break;
            }
        }
    }
    static int hex(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
    bool string(Token& t, std::string& error) {
        t.type = Token::kString;
        ++m_i;
        while (m_i < m_s.size() && m_s[m_i] != '"') {
            char c = m_s[m_i++];
            if (c == '\n') {
                error = "line " + std::to_string(t.line) + ": string runs past the end of the line";
                return false;
            }
            if (c == '\\' && m_i < m_s.size()) {
                const char e = m_s[m_i++];
                if (e == 'x' && m_i + 1 < m_s.size() && hex(m_s[m_i]) >= 0 && hex(m_s[m_i + 1]) >= 0) {
                    c = static_cast<char>(hex(m_s[m_i]) * 16 + hex(m_s[m_i + 1]));
                    m_i += 2;
                    if (c == 0) {
                        error = "line " + std::to_string(t.line) + ": a string cannot hold a zero byte";
                        return false;
                    }
                } else if (e == '"' || e == '\\') {
                    c = e;
                } else if (e == 'n') {
                    c = '\n';
                } else if (e == 't') {
                    c = '\t';
                } else {
                    error = "line " + std::to_string(t.line) + ": unknown escape \\" + std::string(1, e);
                    return false;
                }
            }
            t.text += c;
        }
        if (m_i >= m_s.size()) {
            error = "line " + std::to_string(t.line) + ": unterminated string";
            return false;
        }
        ++m_i;
        return true;
    }

    std::string_view m_s;
    std::size_t m_i = 0;
    int m_line = 1;
};

const std::map<std::string, std::uint8_t, std::less<>>& control_words() {
    static const std::map<std::string, std::uint8_t, std::less<>> words = {
        {"var_string", kKindStringVar}, {"string", kKindString}, {"image", kKindImage},
        {"region", kKindRegion},        {"line", kKindLine},     {"box", kKindBox},
        {"entry", kKindEntry},          {"button", kKindButton}, {"prompt", kKindPrompt},
        {"option", kKindOption},        {"check", kKindCheck},   {"list", kKindList},
        {"combo", kKindCombo},          {"spin", kKindSpin},     {"textbox", kKindText},
        {"radio", kKindRadio},          {"progress", kKindProgress}, {"sheet", kKindSheet},
        {"tab", kKindTab},
    };
    return words;
}

class Parser {
public:
    Parser(std::string_view source, std::string& error) : m_lex(source), m_error(error) {}

    bool run(ResourceDefinition& out) {
        if (!advance()) return false;
        bool have_module = false;
        while (m_tok.type != Token::kEnd) {
            if (is_word("module")) {
                if (!advance() || !string(out.module)) return false;
                have_module = true;
            } else if (is_word("pad")) {
                std::int64_t n = 0;
                if (!advance() || !integer(n, 0, 4096)) return false;
                out.padding = static_cast<std::uint32_t>(n);
            } else if (is_word("window") || is_word("report")) {
                WindowDefinition w;
                w.kind = is_word("window") ? kKindWindow : kKindReport;
                if (!advance() || !window(w)) return false;
                out.windows.push_back(std::move(w));
            } else {
                return fail("expected module, window, report or pad");
            }
        }
        if (!have_module) return fail("no module string");
        if (out.module.find('$') == std::string::npos) return fail("the module string has no \"$\"");
        if (out.windows.empty()) return fail("no window");
        return true;
    }

private:
    bool fail(const std::string& why) {
        m_error = "line " + std::to_string(m_tok.line) + ": " + why;
        if (m_tok.type != Token::kEnd) m_error += " (at \"" + m_tok.text + "\")";
        return false;
    }
    bool advance() { return m_lex.next(m_tok, m_error); }
    bool is_word(std::string_view w) const { return m_tok.type == Token::kWord && m_tok.text == w; }

    bool string(std::string& out) {
        if (m_tok.type != Token::kString) return fail("expected a quoted string");
        out = m_tok.text;
        return advance();
    }
    bool integer(std::int64_t& out, std::int64_t low, std::int64_t high) {
        if (m_tok.type != Token::kNumber) return fail("expected a number");
        errno = 0;
        char* end = nullptr;
        out = std::strtoll(m_tok.text.c_str(), &end, 0);
        if (errno != 0 || *end != 0) return fail("not an integer");
        if (out < low || out > high) return fail("number out of range");
        return advance();
    }
    bool i32(std::int32_t& out) {
        std::int64_t v = 0;
        if (!integer(v, INT32_MIN, INT32_MAX)) return false;
        out = static_cast<std::int32_t>(v);
        return true;
    }
    bool u32(std::uint32_t& out) {
        std::int64_t v = 0;
        if (!integer(v, INT32_MIN, UINT32_MAX)) return false;
        out = static_cast<std::uint32_t>(v);
        return true;
    }
    bool u8(std::uint8_t& out) {
        std::int64_t v = 0;
        if (!integer(v, 0, 255)) return false;
        out = static_cast<std::uint8_t>(v);
        return true;
    }
    bool real(double& out) {
        if (m_tok.type != Token::kNumber) return fail("expected a number");
        char* end = nullptr;
        out = std::strtod(m_tok.text.c_str(), &end);
        if (*end != 0) return fail("not a number");
        return advance();
    }
    // A coordinate or size: a number or "default" (0x80000000).
    bool coordinate(std::int32_t& out) {
        if (is_word("default")) {
            out = kDefault;
            return advance();
        }
        return i32(out);
    }
    bool strings(std::vector<std::string>& out) {
        if (m_tok.type != Token::kString) return fail("expected a quoted string");
        while (m_tok.type == Token::kString) {
            out.push_back(m_tok.text);
            if (!advance()) return false;
        }
        return true;
    }
    bool open() {
        if (m_tok.type != Token::kOpen) return fail("expected \"{\"");
        return advance();
    }

    bool window(WindowDefinition& w) {
        if (!string(w.label) || !open()) return false;
        while (m_tok.type != Token::kClose) {
            if (m_tok.type == Token::kEnd) return fail("window not closed");
            if (m_tok.type != Token::kWord) return fail("expected a window attribute or a control");
            const std::string word = m_tok.text;
            if (control_words().count(word) || word == "record") {
                ControlDefinition c;
                if (!control(c)) return false;
                w.controls.push_back(std::move(c));
                continue;
            }
            if (!advance()) return false;
            bool ok = true;
            if (word == "title") ok = string(w.title);
            else if (word == "attributes") ok = u32(w.attributes);
            else if (word == "at") ok = coordinate(w.x) && coordinate(w.y) && coordinate(w.width) && coordinate(w.height);
            else if (word == "font") {
                FontBlock f;
                ok = string(f.name) && i32(f.size) && i32(f.color) && i32(f.style);
                w.font = f;
            } else if (word == "icon") ok = string(w.icon);
            else if (word == "msg") ok = string(w.message);
            else if (word == "help") ok = string(w.help);
            else if (word == "cursor") ok = string(w.cursor);
            else if (word == "frame") ok = u32(w.frame);
            else if (word == "palette") ok = u32(w.palette);
            else if (word == "timer") ok = u32(w.timer);
            else if (word == "alert") {
                std::uint32_t key = 0;
                ok = u32(key);
                w.alert_keys.push_back(key);
            } else if (word == "status") {
                if (m_tok.type != Token::kNumber) return fail("expected zone widths");
                while (ok && m_tok.type == Token::kNumber) {
                    std::int32_t z = 0;
                    ok = i32(z);
                    w.status_zones.push_back(z);
                }
            } else if (word == "menubar") {
                MenuBarDefinition bar;
                ok = menu_bar(bar);
                w.menu_bar = std::move(bar);
            } else {
                return fail("unknown window attribute \"" + word + "\"");
            }
            if (!ok) return false;
        }
        return advance();
    }

    bool control(ControlDefinition& c) {
        if (m_tok.text == "record") {
            if (!advance() || !u8(c.kind)) return false;
            if (kind_layout(c.kind)) return fail("record is for kinds without a control class");
        } else {
            c.kind = control_words().find(m_tok.text)->second;
            if (!advance()) return false;
        }
        const KindLayout* k = kind_layout(c.kind);
        if (!i32(c.field) || !open()) return false;
        while (m_tok.type != Token::kClose) {
            if (m_tok.type == Token::kEnd) return fail("control not closed");
            if (m_tok.type != Token::kWord) return fail("expected a control attribute or a child control");
            const std::string word = m_tok.text;
            if (control_words().count(word)) {
                if (!k || !k->children) return fail("this kind holds no child controls");
                ControlDefinition child;
                if (!control(child)) return false;
                c.children.push_back(std::move(child));
                continue;
            }
            auto needs = [&](std::uint32_t field) {
                if (field == 0) return fail("attribute \"" + word + "\" does not apply to this kind");
                return true;
            };
            if (!advance()) return false;
            bool ok = true;
            if (word == "flags") ok = u32(c.flags);
            else if (word == "header_strings") ok = strings(c.header_strings);
            else if (word == "extra") ok = string(c.extra);
            else if (!k) return fail("a record without a control class takes only flags, header_strings and extra");
            else if (word == "bind") {
                Binding b;
                ok = needs(k->binding) && u8(b.tag);
                c.binding = b;
            } else if (word == "rows") {
                Binding b;
                ok = needs(k->row_source) && u8(b.tag);
                c.row_source = b;
            } else if (word == "at") ok = coordinate(c.pos.x) && coordinate(c.pos.y) && coordinate(c.pos.width) &&
                                          coordinate(c.pos.height);
            else if (word == "msg") ok = needs(k->attr) && string(c.attr.message);
            else if (word == "help") ok = needs(k->attr_size >= kAttributeBlockSize) && string(c.attr.help);
            else if (word == "option_word") ok = needs(k->attr_size >= kAttributeBlockSize) && u32(c.attr.option_word);
            else if (word == "attr_word") ok = needs(k->attr_size >= kAttributeBlockSize) && u32(c.attr.word);
            else if (word == "attr_strings")
                ok = needs(k->attr_size >= kAttributeBlockSize) && string(c.attr.string1) && string(c.attr.string2);
            else if (word == "format") ok = needs(k->format) && string(c.format);
            else if (word == "text") ok = needs(k->text) && string(c.text);
            else if (word == "picture") ok = needs(k->picture) && string(c.picture);
            else if (word == "file") ok = needs(k->file) && string(c.file);
            else if (word == "icon") ok = needs(k->icon) && string(c.icon);
            else if (word == "colors") ok = needs(k->colors) && i32(c.color1) && i32(c.color2);
            else if (word == "words") ok = needs(k->words) && u32(c.word1) && u32(c.word2);
            else if (word == "options") ok = needs(k->options) && u8(c.options);
            else if (word == "display") ok = needs(k->display) && u32(c.display);
            else if (word == "drop") ok = needs(k->drop) && u8(c.drop);
            else if (word == "strings") ok = needs(k->strings) && strings(c.strings);
            else if (word == "width") ok = needs(k->width) && i32(c.width);
            else if (word == "action") ok = needs(k->action) && u32(c.action);
            else if (word == "low") ok = needs(k->low) && real(c.low);
            else if (word == "high") ok = needs(k->high) && real(c.high);
            else if (word == "step") ok = needs(k->step) && real(c.step);
            else return fail("unknown control attribute \"" + word + "\"");
            if (!ok) return false;
        }
        return advance();
    }

    bool menu_bar(MenuBarDefinition& bar) {
        if (!open()) return false;
        while (m_tok.type != Token::kClose) {
            if (is_word("flags")) {
                if (!advance() || !u32(bar.flags)) return false;
            } else if (is_word("menu")) {
                MenuDefinition m;
                if (!menu_entry(m)) return false;
                bar.menus.push_back(std::move(m));
            } else {
                return fail("expected flags or menu in a menu bar");
            }
        }
        return advance();
    }

    // menu FIELD "TEXT" { ... } | item FIELD "TEXT" [{ ... }] | separator
    bool menu_entry(MenuDefinition& m) {
        if (is_word("separator")) {
            m.kind = kKindItem;
            m.flags = kItemSeparator;
            return advance();
        }
        m.kind = is_word("menu") ? kKindMenu : kKindItem;
        if (!advance() || !i32(m.field) || !string(m.text)) return false;
        if (m_tok.type != Token::kOpen) {
            if (m.kind == kKindMenu) return fail("a menu needs a body");
            return true;
        }
        if (!advance()) return false;
        while (m_tok.type != Token::kClose) {
            if (m_tok.type == Token::kEnd) return fail("menu not closed");
            if (m.kind == kKindMenu && (is_word("menu") || is_word("item") || is_word("separator"))) {
                MenuDefinition child;
                if (!menu_entry(child)) return false;
                m.children.push_back(std::move(child));
                continue;
            }
            const std::string word = m_tok.text;
            if (m_tok.type != Token::kWord || !advance()) return fail("expected a menu attribute");
            bool ok = true;
            if (word == "msg") ok = string(m.message);
            else if (word == "flags") ok = u32(m.flags);
            else if (m.kind == kKindItem && word == "action") ok = u32(m.action);
            else if (m.kind == kKindItem && word == "bind") {
                Binding b;
                ok = u8(b.tag);
                m.binding = b;
            } else return fail("unknown menu attribute \"" + word + "\"");
            if (!ok) return false;
        }
        return advance();
    }

    Lexer m_lex;
    Token m_tok;
    std::string& m_error;
};

}  // namespace

bool parse_definition_source(std::string_view source, ResourceDefinition& out, std::string& error) {
    out = ResourceDefinition{};
    error.clear();
    Parser p(source, error);
    return p.run(out);
}

}  // namespace sk::ui
