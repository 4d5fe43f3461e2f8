// Reading typed text back through a picture.
//
// Each kind reads what its formatter writes and the looser forms a person types:
// numbers with or without grouping, currency and sign ("5", "-1,234.50",
// "(12)", "12-"); dates as numbers in the picture's field order with any
// separators, month names or their first three letters, or one run of digits
// ("3/7/2024", "7 Mar 2024", "20240307"); times as hours, minutes and seconds
// with an optional AM/PM text ("1:05PM", "1305"). All-blank text reads as 0.
// Two-digit years read as 1950 to 2049.
#include <charconv>
#include <cstdint>
#include <cstring>

#include "runtime/date_time.h"
#include "runtime/locale.h"
#include "runtime/picture.h"

namespace sk::rt {
namespace {

using namespace picture_detail;

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_letter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (char_class(c) & (kClassUpper | kClassLower));
}
bool is_blank(std::string_view s) {
    for (char c : s)
        if (c != ' ' && c != '\t') return false;
    return true;
}

// Case-insensitive equality of a and the first a.size() characters of b.
bool prefix_nocase(std::string_view a, std::string_view b) {
    if (a.size() > b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper_char(static_cast<unsigned char>(a[i])) != upper_char(static_cast<unsigned char>(b[i]))) return false;
    return true;
}
bool equal_nocase(std::string_view a, std::string_view b) { return a.size() == b.size() && prefix_nocase(a, b); }

struct Token {
    bool letters;
    std::string_view text;
};
constexpr int kMaxTokens = 8;

// Splits s into runs of digits and runs of letters; everything else separates.
// Returns the token count, or -1 when there are more than kMaxTokens.
int tokenize(std::string_view s, Token* tokens) {
    int n = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        bool digit = is_digit(c), letter = !digit && is_letter(c);
        if (!digit && !letter) {
            ++i;
            continue;
        }
        std::size_t start = i;
        while (i < s.size() && (digit ? is_digit(static_cast<unsigned char>(s[i]))
                                      : is_letter(static_cast<unsigned char>(s[i])) &&
                                            !is_digit(static_cast<unsigned char>(s[i]))))
            ++i;
        if (n == kMaxTokens) return -1;
        tokens[n++] = Token{letter, s.substr(start, i - start)};
    }
    return n;
}

// The value of a run of at most 9 digits.
bool token_value(std::string_view digits, int* value) {
    if (digits.empty() || digits.size() > 9) return false;
    int v = 0;
    for (char c : digits) v = v * 10 + (c - '0');
    *value = v;
    return true;
}

int match_month(std::string_view word) {
    for (int m = 1; m <= 12; ++m) {
        std::string_view name = month_name(m);
        if (equal_nocase(word, name) || equal_nocase(word, month_abbrev(m))) return m;
        if (word.size() >= 3 && prefix_nocase(word, name)) return m;
    }
    return 0;
}

int full_year(std::string_view digits, int year) {
    if (digits.size() <= 2) return year < 50 ? 2000 + year : 1900 + year;
    return year;
}

// ---- dates ----------------------------------------------------------------

bool read_date(std::string_view typed, const CompiledPicture& pic, double* value) {
    // The picture's fields in order: 0 month, 1 day, 2 year, with their digit counts.
    int order[3], widths[3] = {2, 2, 2};
    int fields = 0;
    bool present[3] = {false, false, false};
    for (unsigned i = 0; i < position_count(pic); ++i) {
        unsigned char kind = position_kind(pic, i);
        int f = kind == kPosMonth || kind == kPosMonthName ? 0 : kind == kPosDay ? 1 : kind == kPosYear ? 2 : -1;
        if (f < 0) continue;
        if (!present[f]) {
            present[f] = true;
            order[fields++] = f;
            widths[f] = 0;
        }
        if (f == 2) ++widths[f];
    }
    widths[0] = widths[1] = 2;

    Token tokens[kMaxTokens];
    int count = tokenize(typed, tokens);
    if (count < 0) return false;
    if (count == 0) {
        *value = 0;
        return true;
    }
    int parts[3] = {-1, -1, -1};
    std::string_view year_digits;
    std::string_view numbers[kMaxTokens];
    int numeric = 0;
    for (int t = 0; t < count; ++t) {
        if (tokens[t].letters) {
            int m = match_month(tokens[t].text);
            if (m == 0 || parts[0] >= 0) return false;
            parts[0] = m;
        } else {
            numbers[numeric++] = tokens[t].text;
        }
    }
    int open[3], open_count = 0;
    for (int k = 0; k < fields; ++k)
        if (parts[order[k]] < 0) open[open_count++] = order[k];
    if (numeric == open_count) {
        for (int k = 0; k < numeric; ++k) {
            if (!token_value(numbers[k], &parts[open[k]])) return false;
            if (open[k] == 2) year_digits = numbers[k];
        }
    } else if (numeric == 1 && open_count >= 2) {
        // One run of digits: cut it by the field widths, the year taking its
        // picture width or, failing that, the other common width.
        std::string_view run = numbers[0];
        int year_width = widths[2];
        int total = 0;
        for (int k = 0; k < open_count; ++k) total += open[k] == 2 ? year_width : 2;
        if (static_cast<int>(run.size()) != total && present[2] && parts[2] < 0) {
            year_width = year_width == 2 ? 4 : 2;
            total += year_width - widths[2];
        }
        if (static_cast<int>(run.size()) != total) return false;
        std::size_t at = 0;
        for (int k = 0; k < open_count; ++k) {
            std::size_t w = open[k] == 2 ? year_width : 2;
            std::string_view piece = run.substr(at, w);
            at += w;
            token_value(piece, &parts[open[k]]);
            if (open[k] == 2) year_digits = piece;
        }
    } else {
        return false;
    }
    if (!present[1] && parts[1] < 0) parts[1] = 1;
    if (parts[0] < 0 || parts[1] < 0 || parts[2] < 0) return false;
    int year = full_year(year_digits, parts[2]);
    std::int32_t serial = 0;
    if (year < 1000 && year_digits.size() > 2) return false;  // "024" is not a year
    if (!date_to_serial(year, parts[0], parts[1], &serial)) return false;
    *value = serial;
    return true;
}

// ---- times ------------------------------------------------------------------

bool read_time(std::string_view typed, const CompiledPicture& pic, double* value) {
    Token tokens[kMaxTokens];
    int count = tokenize(typed, tokens);
    if (count < 0) return false;
    const bool intl_texts = (pic.bytes[0] & kFlagIntlAmPm) != 0;
    std::string_view am = intl_texts ? std::string_view(intl().am) : am_text();
    std::string_view pm = intl_texts ? std::string_view(intl().pm) : pm_text();
    int marker = 0;  // 1 AM, 2 PM
    std::string_view numbers[kMaxTokens];
    int numeric = 0;
    for (int t = 0; t < count; ++t) {
        if (!tokens[t].letters) {
            numbers[numeric++] = tokens[t].text;
            continue;
        }
        std::string_view w = tokens[t].text;
        if (marker) return false;
        if ((!am.empty() && equal_nocase(w, am)) || equal_nocase(w, "AM") || equal_nocase(w, "A")) marker = 1;
        else if ((!pm.empty() && equal_nocase(w, pm)) || equal_nocase(w, "PM") || equal_nocase(w, "P")) marker = 2;
        else return false;
    }
    if (numeric == 0) {
        if (marker) return false;
        *value = 0;
        return true;
    }
    int parts[4] = {0, 0, 0, 0};
    if (numeric == 1 && numbers[0].size() > 2) {
        std::string_view run = numbers[0];
        std::size_t first = run.size() % 2 ? 1 : 2;
        if (run.size() > 6) return false;
        token_value(run.substr(0, first), &parts[0]);
        for (std::size_t at = first, k = 1; at < run.size(); at += 2, ++k) token_value(run.substr(at, 2), &parts[k]);
    } else {
        if (numeric > 4) return false;
        for (int k = 0; k < numeric; ++k) {
            if (numbers[k].size() > 2) return false;
            token_value(numbers[k], &parts[k]);
        }
    }
    int hour = parts[0];
    if (marker) {
        if (hour > 12 && marker == 1) return false;
        if (hour == 12) hour = marker == 1 ? 0 : 12;
        else if (marker == 2 && hour < 12) hour += 12;
    }
    if (hour > 23 || parts[1] > 59 || parts[2] > 59 || parts[3] > 99) return false;
    *value = hour * 360000.0 + parts[1] * 6000.0 + parts[2] * 100.0 + parts[3] + 1;
    return true;
}

// ---- numbers ------------------------------------------------------------------

bool read_numeric(std::string_view typed, const CompiledPicture& pic, double* value) {
    char point = 0, group = 0;
    int implied_places = 0;
    bool implied = false;
    char currency[256];
    std::size_t currency_length = 0;
    for (unsigned i = 0; i < position_count(pic); ++i) {
        unsigned char kind = position_kind(pic, i);
        char ch = static_cast<char>(position_char(pic, i));
        if (kind == kPosDecimalPoint) point = ch;
        else if (kind == kPosGrouping) group = ch;
        else if (kind == kPosImpliedPoint) implied = true;
        else if (kind == kPosCurrency) currency[currency_length++] = ch;
        else if (implied && (kind == kPosDigitZero || kind == kPosDigitBlank)) ++implied_places;
    }
    const bool scientific = picture_kind(pic) == kPictureScientific;
    const char decimal = point ? point : group == '.' ? ',' : '.';
    const char other = decimal == '.' ? ',' : '.';

    // Drop the first occurrence of the currency text.
    std::size_t skip_from = std::string_view::npos, skip_to = 0;
    if (currency_length) {
        skip_from = typed.find(std::string_view(currency, currency_length));
        if (skip_from != std::string_view::npos) skip_to = skip_from + currency_length;
    }

    char text[400];
    std::size_t n = 0;
    bool negative = false, open_paren = false, closed_paren = false, seen_point = false, any_digit = false;
    bool in_exponent = false, exponent_digit = false, exponent_sign_allowed = false;
    text[n++] = '+';  // replaced by the sign at the end
    for (std::size_t i = 0; i < typed.size(); ++i) {
        if (i >= skip_from && i < skip_to) continue;
        const char c = typed[i];
        if (n + 8 >= sizeof text) return false;
        if (is_digit(static_cast<unsigned char>(c))) {
            if (closed_paren) return false;
            text[n++] = c;
            if (in_exponent) exponent_digit = true;
            else any_digit = true;
            exponent_sign_allowed = false;
            continue;
        }
        if (in_exponent && exponent_sign_allowed && (c == '-' || c == '+')) {
            text[n++] = c;
            exponent_sign_allowed = false;
            continue;
        }
        if (scientific && !in_exponent && any_digit && (c == 'e' || c == 'E')) {
            in_exponent = exponent_sign_allowed = true;
            text[n++] = 'e';
            continue;
        }
        if (c == decimal && !in_exponent) {
            if (seen_point) return false;
            seen_point = true;
            text[n++] = '.';
            continue;
        }
        if (c == ' ' || c == '*' || c == '\t' || c == '$' || ((c == group || c == other) && !seen_point)) continue;
        if (c == '-') {
            if (negative) return false;
            negative = true;
            continue;
        }
        if (c == '+') continue;
        if (c == '(' && !open_paren && !negative) {
            open_paren = negative = true;
            continue;
        }
        if (c == ')' && open_paren && !closed_paren) {
            closed_paren = true;
            continue;
        }
        return false;
    }
    if (open_paren && !closed_paren) return false;
    if (in_exponent && !exponent_digit) return false;
    if (!any_digit) {
        if (seen_point || negative) return false;
        *value = 0;
        return true;
    }
    text[0] = negative ? '-' : '+';
    const char* begin = negative ? text : text + 1;
    double v = 0;
    auto result = std::from_chars(begin, text + n, v);
    if (result.ec != std::errc() || result.ptr != text + n) return false;
    if (implied && !seen_point)
        for (int k = 0; k < implied_places; ++k) v /= 10;
    *value = v;
    return true;
}

bool read_pattern(std::string_view typed, const CompiledPicture& pic, double* value) {
    const unsigned count = position_count(pic);
    char text[300];
    std::size_t n = 1;
    bool negative = false;
    auto is_pattern_literal = [&](char c) {
        for (unsigned i = 0; i < count; ++i)
            if (position_kind(pic, i) == kPosLiteral && position_char(pic, i) == static_cast<unsigned char>(c))
                return true;
        return false;
    };
    bool positional = typed.size() == count;
    if (positional) {
        // The formatter's own layout: digits only at digit positions.
        for (unsigned i = 0; i < count && positional; ++i) {
            char c = typed[i];
            if (position_kind(pic, i) == kPosLiteral) continue;
            if (is_digit(static_cast<unsigned char>(c))) text[n++] = c;
            else if (c == '-' && !negative) negative = true;
            else if (c != ' ') positional = false;
        }
    }
    if (!positional) {
        n = 1;
        negative = false;
        for (char c : typed) {
            if (n + 2 >= sizeof text) return false;
            if (is_digit(static_cast<unsigned char>(c))) text[n++] = c;
            else if (c == '-' && !negative) negative = true;
            else if (c != ' ' && !is_pattern_literal(c)) return false;
        }
    }
    if (n == 1) {
        if (negative) return false;
        *value = 0;
        return true;
    }
    text[0] = '-';
    const char* begin = negative ? text : text + 1;
    double v = 0;
    auto result = std::from_chars(begin, text + n, v);
    if (result.ec != std::errc()) return false;
    *value = v;
    return true;
}

// Key-in input: "#" digit, "<" digit, "@" letter, "^" letter made upper case,
// "_" letter made lower case, "?" any character, "|" letter or digit; a blank
// is accepted anywhere (an entry not filled to the end). Literals are put in
// place, and a typed literal in its place is taken as it.
bool read_keyin(std::string_view typed, const CompiledPicture& pic, char* out, std::size_t* length) {
    const unsigned count = position_count(pic);
    std::size_t i = 0;
    for (unsigned j = 0; j < count; ++j) {
        const unsigned char kind = position_kind(pic, j);
        const unsigned char ch = position_char(pic, j);
        if (kind == kPosLiteral) {
            if (i < typed.size() && static_cast<unsigned char>(typed[i]) == ch) ++i;
            out[j] = static_cast<char>(ch);
            continue;
        }
        unsigned char c = i < typed.size() ? static_cast<unsigned char>(typed[i++]) : ' ';
        if (c != ' ') {
            switch (kind) {
                case kPosDigitZero:
                case kPosDigitBlank:
                    if (!is_digit(c)) return false;
                    break;
                case kPosKeyAt:
                    if (!is_letter(c)) return false;
                    break;
                case kPosKeyCaret:
                    if (!is_letter(c)) return false;
                    c = upper_char(c);
                    break;
                case kPosKeyUnderscore:
                    if (!is_letter(c)) return false;
                    c = lower_char(c);
                    break;
                case kPosKeyBar:
                    if (!is_letter(c) && !is_digit(c)) return false;
                    break;
                default: break;
            }
        }
        out[j] = static_cast<char>(c);
    }
    if (!is_blank(typed.substr(i < typed.size() ? i : typed.size()))) return false;
    *length = count;
    return true;
}

std::string cut(std::string_view s, std::size_t width) { return std::string(s.substr(0, width)); }

}  // namespace

bool deformat_number(std::string_view typed, const CompiledPicture& pic, double* value) {
    double v = 0;
    bool ok = false;
    switch (picture_kind(pic)) {
        case kPictureNumeric:
        case kPictureScientific: ok = read_numeric(typed, pic, &v); break;
        case kPictureDate: ok = read_date(typed, pic, &v); break;
        case kPictureTime: ok = read_time(typed, pic, &v); break;
        case kPicturePattern: ok = read_pattern(typed, pic, &v); break;
        case kPictureKeyIn: {
            char text[256];
            std::size_t length = 0;
            if (!read_keyin(typed, pic, text, &length)) return false;
            ok = parse_plain_number(std::string_view(text, length), &v);
            if (!ok && is_blank(std::string_view(text, length))) v = 0, ok = true;
            break;
        }
        case kPictureString:
            ok = parse_plain_number(typed, &v);
            if (!ok && is_blank(typed)) v = 0, ok = true;
            break;
        default: break;
    }
    if (ok && value) *value = v;
    return ok;
}

bool deformat_number(std::string_view typed, std::string_view picture, double* value) {
    CompiledPicture pic;
    if (compile_picture(picture, &pic) == 0) return false;
    return deformat_number(typed, pic, value);
}

std::string deformat(std::string_view typed, const CompiledPicture& pic) {
    const unsigned char kind = picture_kind(pic);
    if (kind == kPictureString) return cut(typed, position_count(pic));
    if (kind == kPictureKeyIn) {
        char text[256];
        std::size_t length = 0;
        if (read_keyin(typed, pic, text, &length)) return std::string(text, length);
        return cut(typed, position_count(pic));
    }
    double v = 0;
    if (!deformat_number(typed, pic, &v)) return std::string();
    char text[400];
    return std::string(text, plain_number_text(v, text, sizeof text));
}

std::string deformat(std::string_view typed, std::string_view picture) {
    CompiledPicture pic;
    if (compile_picture(picture, &pic) == 0) return std::string(typed);
    return deformat(typed, pic);
}

}  // namespace sk::rt
