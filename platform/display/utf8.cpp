// UTF-8 decoding with a Windows-1252 fallback for malformed bytes.
#include "platform/display/utf8.h"

#include <cwctype>

namespace sk::platform::display {

namespace {

// Characters of bytes 80h-9Fh in Windows-1252; the five unassigned bytes keep their value.
constexpr char32_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

char32_t windows_1252_char(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHigh1252[byte - 0x80];
    return byte;
}

char32_t decode_char(std::string_view text, std::size_t& pos) {
    auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int extra = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, value = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, value = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, value = lead & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        return windows_1252_char(lead);
    }
    if (text.size() - pos <= static_cast<std::size_t>(extra)) {
        // Not enough bytes left for the sequence.
        ++pos;
        return windows_1252_char(lead);
    }
    for (int i = 1; i <= extra; ++i) {
        auto b = static_cast<unsigned char>(text[pos + i]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return windows_1252_char(lead);
        }
        value = (value << 6) | (b & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    if (value < minimum || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
        ++pos;
        return windows_1252_char(lead);
    }
    pos += static_cast<std::size_t>(extra) + 1;
    return value;
}

void append_utf8(std::string& out, char32_t c) {
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    if (c > 0x10FFFF) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char32_t upper_case_char(char32_t c) {
    if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 0x20 : c;
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
        if (c == 0xFF) return 0x178;
        return c;  // U+00B5 MICRO SIGN keeps its shape; U+00DF has no one-letter upper case
    }
    if (c < 0x180) {
        // Latin Extended-A pairs an upper case letter with the lower case one after it;
        // the pairs shift by one at U+0139 and again at U+014A and U+0179.
        if (c == 0x131) return 'I';  // dotless i
        if (c == 0x17F) return 'S';  // long s
        if (c == 0x138 || c == 0x149 || c == 0x178 || c == 0x130) return c;
        bool odd_is_lower = (c < 0x139) || (c >= 0x14A && c < 0x178);
        return (c % 2 == 1) == odd_is_lower ? c - 1 : c;
    }
    if (c >= 0x3B1 && c <= 0x3CB) return c == 0x3C2 ? 0x3A3 : c - 0x20;  // Greek; final sigma
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;  // Cyrillic
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    if (c > 0x10FFFF) return c;
    std::wint_t u = std::towupper(static_cast<std::wint_t>(c));
    return u > 0 && u <= 0x10FFFF ? static_cast<char32_t>(u) : c;
}

}  // namespace sk::platform::display
