// The picture compiler: picture text to a compiled list of positions, plus the
// convenience forms that compile and format in one call.
//
// Grammar, after an optional leading "@" (1 to 255 characters) and an optional
// final "b" for blank-when-zero:
//   s<width>                       string, width 1..255, then only blanks
//   d[fill]<1..18>[sep]            date; fill "0" "_" "*", sep "." "-" "_" "`"
//   t[fill]<1..8>[sep]             time
//   n[cur][-|(][fill]<width>[[grp]dec<places>][-][)][cur]   numeric
//   e<width>[.|`<places>]          scientific: sign, d.ddd, "e", sign, exponent
//   p...p  k...k                   pattern and key-in, closed by the opening letter
#include "runtime/picture.h"

#include <charconv>
#include <cstring>

#include "runtime/locale.h"

namespace sk::rt {
namespace {

using namespace picture_detail;

constexpr unsigned kMaxPositions = 255;

// Collects positions into the compiled area; remembers when too many were added.
struct Builder {
    CompiledPicture* pic;
    unsigned count = 0;
    bool too_many = false;

    void add(unsigned char ch, unsigned char kind) {
        if (count >= kMaxPositions) {
            too_many = true;
            return;
        }
        pic->bytes[2 + 2 * count] = ch;
        pic->bytes[3 + 2 * count] = kind;
        ++count;
    }
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }
char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Reads 1 to 3 decimal digits at s[*i]; false when there are none.
bool read_number(std::string_view s, std::size_t* i, int* value) {
    std::size_t start = *i;
    int v = 0;
    while (*i < s.size() && is_digit(s[*i])) {
        if (v > 1000) return false;
        v = v * 10 + (s[*i] - '0');
        ++*i;
    }
    if (*i == start) return false;
    *value = v;
    return true;
}

bool only_blanks(std::string_view s, std::size_t from) {
    for (std::size_t i = from; i < s.size(); ++i)
        if (s[i] != ' ') return false;
    return true;
}

// ---- dates and times ----------------------------------------------------

// Adds the positions of a fixed layout. Letters: M/m month digit (blank/zero
// fill), D/d day, y year, N month-name letter, H/h hour, n minute, s second,
// A the two AM/PM positions. "/" and ":" are separators, "_" a blank separator;
// anything else is a literal.
void add_layout(Builder& b, const char* layout) {
    for (const char* p = layout; *p; ++p) {
        switch (*p) {
            case 'M': b.add(' ', kPosMonth); break;
            case 'm': b.add('0', kPosMonth); break;
            case 'D': b.add(' ', kPosDay); break;
            case 'd': b.add('0', kPosDay); break;
            case 'y': b.add('0', kPosYear); break;
            case 'N': b.add(' ', kPosMonthName); break;
            case 'H': b.add(' ', kPosHour); break;
            case 'h': b.add('0', kPosHour); break;
            case 'n': b.add('0', kPosMinute); break;
            case 's': b.add('0', kPosSecond); break;
            case 'A': b.add(0, kPosAmPm); b.add(1, kPosAmPm); break;
            case '/': b.add('/', kPosSeparator); break;
            case ':': b.add(':', kPosSeparator); break;
            case '_': b.add(' ', kPosSeparator); break;
            default: b.add(static_cast<unsigned char>(*p), kPosLiteral); break;
        }
    }
}

constexpr const char* kDateLayouts[17] = {
    nullptr,
    "Mm/dd/yy",              // 1
    "Mm/dd/yyyy",            // 2
    "NNN Dd,yyyy",           // 3
    "NNNNNNNNNNNN Dd, yyyy", // 4
    "Dd/mm/yy",              // 5
    "Dd/mm/yyyy",            // 6
    "Dd_NNN_yy",             // 7
    "Dd_NNN_yyyy",           // 8
    "yy/mm/dd",              // 9
    "yyyy/mm/dd",            // 10
    "yymmdd",                // 11
    "yyyymmdd",              // 12
    "mm/yy",                 // 13
    "mm/yyyy",               // 14
    "yy/mm",                 // 15
    "yyyy/mm",               // 16
};

constexpr const char* kTimeLayouts[7] = {
    nullptr, "Hh:nn", "Hhnn", "Hh:nnA", "Hh:nn:ss", "Hhnnss", "Hh:nn:ssA",
};

// Adds the positions of a system date layout ("MM/dd/yy", "dddd', 'MMMM' 'dd', 'yyyy")
// reduced to its day, month and year fields and the separators between them.
// Week-day names and anything before the first or after the last field are
// dropped. Returns false when the layout names no field.
bool add_system_date_layout(Builder& b, std::string_view layout) {
    std::string between;  // text since the previous field
    bool have_field = false;
    bool seen[3] = {false, false, false};  // day, month, year
    bool skipping = false;                 // text after a week-day name
    std::size_t i = 0;
    while (i < layout.size()) {
        char c = layout[i];
        if (c == '\'') {
            ++i;
            while (i < layout.size()) {
                if (layout[i] == '\'') {
                    if (i + 1 < layout.size() && layout[i + 1] == '\'') {
                        between += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                between += layout[i++];
            }
            continue;
        }
        if (c == 'd' || c == 'M' || c == 'y') {
            std::size_t run = 0;
            while (i < layout.size() && layout[i] == c) ++run, ++i;
            int field = c == 'd' ? 0 : c == 'M' ? 1 : 2;
            if (field == 0 && run >= 3) {  // a week-day name: no position for it
                skipping = true;
                between.clear();
                continue;
            }
            if (seen[field]) {
                between.clear();
                continue;
            }
            seen[field] = true;
            if (have_field && !skipping) {
                if (between.size() == 1) {
                    b.add(static_cast<unsigned char>(between[0]), kPosSeparator);
                } else {
                    for (char ch : between) b.add(static_cast<unsigned char>(ch), kPosLiteral);
                }
            }
            between.clear();
            skipping = false;
            have_field = true;
            if (field == 0) {
                add_layout(b, run == 1 ? "Dd" : "dd");
            } else if (field == 1) {
                add_layout(b, run == 1 ? "Mm" : run == 2 ? "mm" : run == 3 ? "NNN" : "NNNNNNNNNNNN");
            } else {
                add_layout(b, run <= 2 ? "yy" : "yyyy");
            }
            continue;
        }
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {  // era and other codes
            ++i;
            continue;
        }
        between += c;
        ++i;
    }
    return have_field;
}

bool compile_date_time(std::string_view s, bool is_date, Builder& b, unsigned char* header) {
    std::size_t i = 1;
    unsigned char fill = 0;
    if (i < s.size() && (s[i] == '0' || s[i] == '_' || s[i] == '*')) {
        fill = s[i] == '_' ? ' ' : static_cast<unsigned char>(s[i]);
        ++i;
    }
    int number = 0;
    if (!read_number(s, &i, &number)) return false;
    // Then blanks, with at most one separator override among them at the end.
    unsigned char separator = 0;
    std::size_t j = i;
    while (j < s.size() && s[j] == ' ') ++j;
    if (j < s.size()) {
        char c = s[j];
        if (c != '.' && c != '-' && c != '_' && c != '`') return false;
        if (!only_blanks(s, j + 1)) return false;
        separator = c == '_' ? ' ' : c == '`' ? ',' : static_cast<unsigned char>(c);
    }

    const IntlValues& iv = intl();
    if (is_date) {
        if (number < 1 || number > 18) return false;
        *header = kPictureDate;
        if (number == 4 || number == 18) *header |= kFlagKeepNameCase;
        if (number <= 16) {
            add_layout(b, kDateLayouts[number]);
        } else if (!add_system_date_layout(b, number == 17 ? iv.short_date : iv.long_date)) {
            add_layout(b, number == 17 ? kDateLayouts[1] : kDateLayouts[4]);
        }
    } else {
        if (number < 1 || number > 8) return false;
        *header = kPictureTime;
        if (number <= 6) {
            add_layout(b, kTimeLayouts[number]);
            if (number == 3 || number == 6) *header |= kFlagTwelveHour;
        } else {
            add_layout(b, iv.time_leading_zero ? "hh" : "Hh");
            b.add(static_cast<unsigned char>(iv.time_separator), kPosSeparator);
            add_layout(b, "nn");
            if (number == 8) {
                b.add(static_cast<unsigned char>(iv.time_separator), kPosSeparator);
                add_layout(b, "ss");
            }
            if (!iv.hour24) {
                add_layout(b, "A");
                *header |= kFlagTwelveHour | kFlagIntlAmPm;
            }
        }
    }
    for (unsigned k = 0; k < b.count; ++k) {
        unsigned char& ch = b.pic->bytes[2 + 2 * k];
        unsigned char kind = b.pic->bytes[3 + 2 * k];
        bool digit_or_name = (kind >= kPosMonth && kind <= kPosSecond);
        if (fill && digit_or_name) ch = fill;
        if (separator && kind == kPosSeparator) ch = separator;
    }
    return true;
}

// ---- numbers --------------------------------------------------------------

// Reads "$" or "~text~" at s[*i]; false when neither is there, *ok false when a
// "~" is not closed or encloses nothing.
bool read_currency(std::string_view s, std::size_t* i, std::string_view* text, bool* ok) {
    *ok = true;
    if (*i >= s.size()) return false;
    if (s[*i] == '$') {
        *text = s.substr(*i, 1);
        ++*i;
        return true;
    }
    if (s[*i] == '~') {
        std::size_t close = s.find('~', *i + 1);
        if (close == std::string_view::npos || close == *i + 1) {
            *ok = false;
            return false;
        }
        *text = s.substr(*i + 1, close - *i - 1);
        *i = close + 1;
        return true;
    }
    return false;
}

bool compile_numeric(std::string_view s, Builder& b, unsigned char* header) {
    std::size_t i = 1;
    std::string_view currency;
    bool currency_front = false;
    bool ok = true;
    if (read_currency(s, &i, &currency, &ok)) currency_front = true;
    if (!ok) return false;

    bool lead_minus = false, parens = false, trail_minus = false;
    if (i < s.size() && s[i] == '-') lead_minus = true, ++i;
    else if (i < s.size() && s[i] == '(') parens = true, ++i;

    char fill = 0;
    if (i < s.size() && (s[i] == '0' || s[i] == '_' || s[i] == '*')) fill = s[i++];

    int width = 0;
    if (!read_number(s, &i, &width) || width < 1 || width > 255) return false;

    char group = 0;  // as written: "." "`" "_"
    char decimal = 0;  // as written: "." "`" "v"
    auto is_decimal = [](char c) { return c == '.' || c == '`' || c == 'v' || c == 'V'; };
    if (i + 1 < s.size() && (s[i] == '.' || s[i] == '`' || s[i] == '_') && is_decimal(s[i + 1])) {
        group = s[i];
        decimal = lower_ascii(s[i + 1]);
        i += 2;
    } else if (i < s.size() && is_decimal(s[i])) {
        decimal = lower_ascii(s[i]);
        ++i;
    } else if (i < s.size() && s[i] == '_') {
        group = '_';
        ++i;
    }
    int places = 0;
    if (decimal && i < s.size() && is_digit(s[i])) {
        if (!read_number(s, &i, &places) || places > 255) return false;
    }
    if (i < s.size() && s[i] == '-') {
        if (lead_minus || parens) return false;
        trail_minus = true;
        ++i;
    }
    if (parens) {
        if (i >= s.size() || s[i] != ')') return false;
        ++i;
    }
    if (!currency_front) {
        read_currency(s, &i, &currency, &ok);
        if (!ok) return false;
    }
    if (!only_blanks(s, i)) return false;

    const bool implied = decimal == 'v';
    const char point = decimal == '`' ? ',' : '.';
    char group_char = 0;
    if (group) {
        group_char = group == '`' ? ',' : group == '_' ? ' ' : '.';
    } else if (!implied && fill != '0' && fill != '_') {
        group_char = decimal == '`' ? '.' : ',';
    }
    if (decimal && !implied && group_char == point) return false;

    int fixed = static_cast<int>(currency.size()) + (lead_minus ? 1 : 0) + (parens ? 2 : 0) +
                (trail_minus ? 1 : 0) + ((decimal && !implied) ? 1 : 0) + places;
    int int_chars = width - fixed;
    if (int_chars < 0 || int_chars + places < 1) return false;

    *header = kPictureNumeric;
    const unsigned char digit_kind = fill == '0' ? kPosDigitZero : kPosDigitBlank;
    const unsigned char digit_char = fill == '0' ? '0' : fill == '*' ? '*' : ' ';

    if (currency_front)
        for (char c : currency) b.add(static_cast<unsigned char>(c), kPosCurrency);
    if (lead_minus) b.add('-', kPosSign);
    if (parens) b.add('(', kPosSign);

    // The integer part, built right to left: a grouping position before every third
    // digit; a grouping position that would come first becomes a plain filler.
    unsigned char kinds[255];
    unsigned char chars[255];
    int placed = 0;
    for (int p = int_chars - 1; p >= 0; --p) {
        bool want_group = group_char && placed > 0 && placed % 3 == 0 &&
                          !(p + 1 < int_chars && kinds[p + 1] == kPosGrouping);
        if (want_group && p == 0) {
            kinds[p] = kPosLiteral;
            chars[p] = digit_char;
        } else if (want_group) {
            kinds[p] = kPosGrouping;
            chars[p] = static_cast<unsigned char>(group_char);
        } else {
            bool units = p == int_chars - 1 && !implied;
            kinds[p] = units ? static_cast<unsigned char>(kPosDigitZero) : digit_kind;
            chars[p] = units ? '0' : digit_char;
            ++placed;
        }
    }
    for (int p = 0; p < int_chars; ++p) b.add(chars[p], kinds[p]);
    if (decimal && (places > 0 || !implied)) {
        if (implied) b.add('v', kPosImpliedPoint);
        else b.add(static_cast<unsigned char>(point), kPosDecimalPoint);
    }
    for (int p = 0; p < places; ++p) b.add('0', kPosDigitZero);
    if (trail_minus) b.add('-', kPosSign);
    if (parens) b.add(')', kPosSign);
    if (!currency_front)
        for (char c : currency) b.add(static_cast<unsigned char>(c), kPosCurrency);
    return true;
}

// Scientific: the width, then optionally "." or "`" and 0..15 mantissa places.
// Layout, right-aligned in the width: sign, digit, point and places, "e",
// exponent sign, two exponent digits (three when the width leaves room).
bool compile_scientific(std::string_view s, Builder& b, unsigned char* header) {
    std::size_t i = 1;
    int width = 0;
    if (!read_number(s, &i, &width) || width < 1 || width > 255) return false;
    char point = 0;
    int places = 0;
    if (i < s.size() && (s[i] == '.' || s[i] == '`')) {
        point = s[i] == '`' ? ',' : '.';
        ++i;
        if (i < s.size() && is_digit(s[i]) && !read_number(s, &i, &places)) return false;
    }
    if (places > 15 || !only_blanks(s, i)) return false;
    int body = 1 + 1 + (point ? 1 + places : 0) + 1 + 1 + 2;
    if (width < body) return false;
    int exponent_digits = width > body ? 3 : 2;
    *header = kPictureScientific;
    for (int k = body + (exponent_digits - 2); k < width; ++k) b.add(' ', kPosLiteral);
    b.add(' ', kPosSign);
    b.add('0', kPosDigitZero);
    if (point) {
        b.add(static_cast<unsigned char>(point), kPosDecimalPoint);
        for (int k = 0; k < places; ++k) b.add('0', kPosDigitZero);
    }
    b.add('e', kPosLiteral);
    b.add('+', kPosExponentSign);
    for (int k = 0; k < exponent_digits; ++k) b.add('0', kPosDigitZero);
    return true;
}

bool compile_pattern(std::string_view s, bool key_in, Builder& b, unsigned char* header) {
    if (s.size() < 3 || s.back() != s.front()) return false;
    std::string_view body = s.substr(1, s.size() - 2);
    *header = static_cast<unsigned char>(key_in ? kPictureKeyIn : kPicturePattern);
    for (std::size_t i = 0; i < body.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(body[i]);
        switch (c) {
            case '#': b.add('0', kPosDigitZero); break;
            case '<': b.add(' ', kPosDigitBlank); break;
            default:
                if (!key_in) {
                    b.add(c, kPosLiteral);
                } else if (c == '@') {
                    b.add(' ', kPosKeyAt);
                } else if (c == '^') {
                    b.add(' ', kPosKeyCaret);
                } else if (c == '_') {
                    b.add(' ', kPosKeyUnderscore);
                } else if (c == '?') {
                    b.add(' ', kPosKeyQuestion);
                } else if (c == '|') {
                    b.add(' ', kPosKeyBar);
                } else if (c == '\\' && i + 1 < body.size()) {
                    b.add(static_cast<unsigned char>(body[++i]), kPosLiteral);
                } else {
                    b.add(c, kPosLiteral);
                }
                break;
        }
    }
    return b.count > 0;
}

}  // namespace

int compile_picture(std::string_view picture, CompiledPicture* out) {
    if (!out) return 0;
    std::memset(out->bytes, 0, 4);
    std::string_view s = picture;
    if (!s.empty() && s.front() == '@') s.remove_prefix(1);
    if (s.empty() || s.size() > 255) return 0;
    bool blank_when_zero = false;
    if (s.back() == 'b' || s.back() == 'B') {
        blank_when_zero = true;
        s.remove_suffix(1);
    }
    if (s.size() < 2) return 0;

    Builder b{out};
    unsigned char header = 0;
    bool ok = false;
    switch (lower_ascii(s.front())) {
        case 's': {
            std::size_t i = 1;
            int width = 0;
            if (read_number(s, &i, &width) && width >= 1 && width <= 255 && only_blanks(s, i)) {
                out->bytes[0] = static_cast<unsigned char>(kPictureString | (blank_when_zero ? kBlankWhenZero : 0));
                out->bytes[1] = static_cast<unsigned char>(width);
                return 2;
            }
            break;
        }
        case 'd': ok = compile_date_time(s, true, b, &header); break;
        case 't': ok = compile_date_time(s, false, b, &header); break;
        case 'n': ok = compile_numeric(s, b, &header); break;
        case 'e': ok = compile_scientific(s, b, &header); break;
        case 'p': ok = compile_pattern(s, false, b, &header); break;
        case 'k': ok = compile_pattern(s, true, b, &header); break;
        default: break;
    }
    if (!ok || b.too_many || b.count == 0) {
        std::memset(out->bytes, 0, 4);
        return 0;
    }
    out->bytes[0] = static_cast<unsigned char>(header | (blank_when_zero ? kBlankWhenZero : 0));
    out->bytes[1] = static_cast<unsigned char>(b.count);
    return static_cast<int>(2 + 2 * b.count);
}

std::size_t picture_width(const CompiledPicture& pic) {
    if (picture_kind(pic) == kPictureString) return position_count(pic);
    std::size_t width = 0;
    for (unsigned i = 0; i < position_count(pic); ++i)
        if (position_kind(pic, i) != kPosImpliedPoint) ++width;
    return width;
}

std::string format(double value, std::string_view picture) {
    CompiledPicture pic;
    if (compile_picture(picture, &pic) == 0) {
        char buffer[400];
        return std::string(buffer, picture_detail::plain_number_text(value, buffer, sizeof buffer));
    }
    std::string out(picture_width(pic), ' ');
    format_number(pic, value, out.data(), out.size());
    return out;
}

std::string format(std::string_view value, std::string_view picture) {
    CompiledPicture pic;
    if (compile_picture(picture, &pic) == 0) return std::string(value);
    std::string out(picture_width(pic), ' ');
    format_text(pic, value, out.data(), out.size());
    return out;
}

namespace picture_detail {

std::size_t plain_number_text(double v, char* buffer, std::size_t capacity) {
    if (capacity == 0) return 0;
    if (v == 0) v = 0;  // no "-0"
    auto result = std::to_chars(buffer, buffer + capacity, v, std::chars_format::fixed);
    if (result.ec != std::errc()) {
        buffer[0] = '0';
        return 1;
    }
    return static_cast<std::size_t>(result.ptr - buffer);
}

bool parse_plain_number(std::string_view text, double* value) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.empty()) return false;
    if (text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
    double v = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), v);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
    *value = v;
    return true;
}

}  // namespace picture_detail

}  // namespace sk::rt
