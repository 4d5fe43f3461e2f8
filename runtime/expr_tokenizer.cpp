// Tokens of expression texts: names, numbers, string and picture literals and
// the single-character operators. Blanks and tabs between tokens are skipped.
#include <charconv>
#include <cstdint>

#include "runtime/expr_tree.h"
#include "runtime/locale.h"

namespace sk::rt {

namespace {

bool is_letter(unsigned char c) { return (char_class(c) & (kClassUpper | kClassLower)) != 0; }
bool is_digit(unsigned char c) { return (char_class(c) & kClassDigit) != 0 || (c >= '0' && c <= '9'); }
bool is_ascii_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Value of a digit or letter read as upper case, or 99 for anything else.
unsigned digit_value(unsigned char c) {
    unsigned char u = upper_char(c);
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'Z') return u - 'A' + 10;
    return 99;
}

class Tokenizer {
 public:
    explicit Tokenizer(std::string_view text) : m_text(text) {}

    std::vector<Token> run() {
        std::vector<Token> out;
        for (;;) {
            while (m_pos < m_text.size() && is_blank(m_text[m_pos])) ++m_pos;
            Token t;
            std::size_t start = m_pos;
            bool ok = next(t);
            t.source = m_text.substr(start, m_pos - start);
            if (!ok) {
                t = Token{};
                t.kind = TokenKind::kError;
                t.source = m_text.substr(start, 1);
                out.push_back(std::move(t));
                out.push_back(Token{});
                return out;
            }
            bool end = t.kind == TokenKind::kEnd;
            out.push_back(std::move(t));
            if (end) return out;
        }
    }

 private:
    unsigned char peek(std::size_t ahead = 0) const {
        return m_pos + ahead < m_text.size() ? static_cast<unsigned char>(m_text[m_pos + ahead]) : 0;
    }
    bool at_end(std::size_t ahead = 0) const { return m_pos + ahead >= m_text.size(); }

    bool next(Token& t) {
        if (at_end()) {
            t.kind = TokenKind::kEnd;
            return true;
        }
        unsigned char c = peek();
        if (is_letter(c) || c == '_' || c == '?') return name(t);
        if (is_digit(c) || (c == '.' && !at_end(1) && is_ascii_digit(peek(1)))) return number(t);
        if (c == '\'') return string_literal(t);
        if (c == '@') return picture(t);
        ++m_pos;
        t.kind = TokenKind::kOperator;
        switch (c) {
            case '+': t.op = kOpPlus; return true;
            case '-': t.op = kOpMinus; return true;
            case '*': t.op = kOpMultiply; return true;
            case '/': t.op = kOpDivide; return true;
            case '%': t.op = kOpRemainder; return true;
            case '^': t.op = kOpPower; return true;
            case '&': t.op = kOpConcat; return true;
            case '=': t.op = kOpEqual; return true;
            case '<': t.op = kOpLess; return true;
            case '>': t.op = kOpGreater; return true;
            case '~': t.op = kOpNot; return true;
            case ',': t.op = kOpComma; return true;
            case ':': t.op = kOpColon; return true;
            case '(': t.kind = TokenKind::kOpenParen; return true;
            case ')': t.kind = TokenKind::kCloseParen; return true;
            case '[': t.kind = TokenKind::kOpenBracket; return true;
            case ']': t.kind = TokenKind::kCloseBracket; return true;
            default: --m_pos; return false;
        }
    }

    // Letters, digits, "_" and ":" after the first character; one final "#",
    // "$" or double quote.
    bool name(Token& t) {
        std::size_t start = m_pos++;
        while (!at_end()) {
            unsigned char c = peek();
            if (is_letter(c) || is_digit(c) || c == '_' || c == ':') {
                ++m_pos;
            } else {
                break;
            }
        }
        if (!at_end() && (peek() == '#' || peek() == '$' || peek() == '"')) ++m_pos;
        t.text.assign(m_text.substr(start, m_pos - start));
        t.entry = lookup_name(t.text);
        if (t.entry && t.entry->kind == NameKind::kWordOperator) {
            t.kind = TokenKind::kOperator;
            t.op = t.entry->op;
            t.entry = nullptr;
        } else {
            t.kind = TokenKind::kName;
        }
        return true;
    }

    bool number(Token& t) {
        std::size_t start = m_pos;
        while (!at_end() && (is_digit(peek()) || is_letter(peek()))) ++m_pos;
        std::string_view run = m_text.substr(start, m_pos - start);
        if (!run.empty()) {
            unsigned last = upper_char(static_cast<unsigned char>(run.back()));
            unsigned base = last == 'H' ? 16 : last == 'O' ? 8 : last == 'B' ? 2 : 0;
            if (base != 0 && run.size() > 1 && radix_integer(run.substr(0, run.size() - 1), base, t)) return true;
            for (char c : run) {
                if (!is_ascii_digit(static_cast<unsigned char>(c))) return false;
            }
        }
        // Decimal: an integer, or a real when "." and digits follow.
        bool is_real = false;
        if (peek() == '.' && is_ascii_digit(peek(1))) {
            is_real = true;
            ++m_pos;
            while (is_ascii_digit(peek())) ++m_pos;
            if (peek() == 'E' || peek() == 'e') {
                std::size_t sign = (peek(1) == '+' || peek(1) == '-') ? 1 : 0;
                if (is_ascii_digit(peek(1 + sign))) {
                    m_pos += 1 + sign;
                    while (is_ascii_digit(peek())) ++m_pos;
                }
            }
        }
        std::string_view all = m_text.substr(start, m_pos - start);
        if (!is_real) {
            std::uint64_t v = 0;
            bool small = run.size() <= 10;
            if (small) {
                for (char c : run) v = v * 10 + static_cast<unsigned>(c - '0');
            }
            if (small && v <= 0x7FFFFFFFu) {
                t.kind = TokenKind::kInteger;
                t.integer = static_cast<std::int32_t>(v);
                return true;
            }
        }
        // A real literal, or a decimal integer too large for 32 bits.
        std::string digits;
        digits.reserve(all.size() + 1);
        if (all.front() == '.') digits.push_back('0');
        digits.append(all);
        double d = 0;
        auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), d);
        if (ec != std::errc() || ptr != digits.data() + digits.size()) return false;
        t.kind = TokenKind::kReal;
        t.real = d;
        return true;
    }

    // digits in the given base; at most 32 bits, read as a signed 32-bit pattern.
    static bool radix_integer(std::string_view digits, unsigned base, Token& t) {
        std::uint64_t v = 0;
        for (char c : digits) {
            unsigned d = digit_value(static_cast<unsigned char>(c));
            if (d >= base) return false;
            v = v * base + d;
            if (v > 0xFFFFFFFFull) return false;
        }
        t.kind = TokenKind::kInteger;
        t.integer = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
        return true;
    }

    bool string_literal(Token& t) {
        ++m_pos;
        for (;;) {
            if (at_end()) return false;
            char c = m_text[m_pos++];
            if (c == '\'') {
                if (peek() == '\'') {
                    t.text.push_back('\'');
                    ++m_pos;
                    continue;
                }
                break;
            }
            t.text.push_back(c);
        }
        t.kind = TokenKind::kString;
        return true;
    }

    // "@" and the picture: up to a blank, "," or ")" outside parentheses. A
    // pattern (or key-in) picture runs to its closing letter; a numeric picture's
    // currency text between "~" may hold blanks, commas and parentheses; a final
    // "b" or "B" belongs to the picture.
    bool picture(Token& t) {
        std::size_t start = m_pos++;
        unsigned char kind = peek();
        if (kind == 'p' || kind == 'P' || kind == 'k' || kind == 'K') {
            ++m_pos;
            while (!at_end() && peek() != kind) ++m_pos;
            if (at_end()) return false;
            ++m_pos;
            if (peek() == 'b' || peek() == 'B') ++m_pos;
        } else {
            bool numeric = kind == 'n' || kind == 'N';
            bool in_currency = false;
            int depth = 0;
            while (!at_end()) {
                unsigned char c = peek();
                if (in_currency) {
                    if (c == '~') in_currency = false;
                } else if (numeric && c == '~') {
                    in_currency = true;
                } else if (c == '(') {
                    ++depth;
                } else if (c == ')') {
                    if (depth == 0) break;
                    --depth;
                } else if (is_blank(static_cast<char>(c)) || c == ',') {
                    if (depth == 0) break;
                }
                ++m_pos;
            }
            if (in_currency) return false;
        }
        t.kind = TokenKind::kPicture;
        t.text.assign(m_text.substr(start, m_pos - start));
        return true;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

}  // namespace

std::vector<Token> tokenize_expression(std::string_view text) { return Tokenizer(text).run(); }

}  // namespace sk::rt
