// Decoding and escaping of HTML character references.
#include "app/html_text.h"

#include <array>
#include <cstdint>

#include "app/html_export.h"
#include "platform/display/utf8.h"

namespace sk::app {

namespace {

struct NamedReference {
    std::string_view name;
    char32_t code;
};

// The names outside the Latin-1 block, and the few inside it below 160.
constexpr std::array<NamedReference, 21> kNamedReferences{{
    {"amp", U'&'},       {"lt", U'<'},        {"gt", U'>'},        {"quot", U'"'},
    {"apos", U'\''},     {"hellip", 0x2026},  {"ndash", 0x2013},   {"mdash", 0x2014},
    {"lsquo", 0x2018},   {"rsquo", 0x2019},   {"sbquo", 0x201A},   {"ldquo", 0x201C},
    {"rdquo", 0x201D},   {"bdquo", 0x201E},   {"bull", 0x2022},    {"euro", 0x20AC},
    {"trade", 0x2122},   {"dagger", 0x2020},  {"Dagger", 0x2021},  {"lsaquo", 0x2039},
    {"rsaquo", 0x203A},
}};

// The Latin-1 names in code order from 160 (A0h) to 255.
constexpr std::array<std::string_view, 96> kLatin1Names{
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",
    "uml",    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",
    "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",  "para",   "middot",
    "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest",
    "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",
    "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",
    "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",
    "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

// A reference's text between "&" and ";" is never longer than this; a longer
// run is not a reference and is left as written without looking further.
constexpr std::size_t kMaxReferenceBody = 32;

constexpr char32_t kNoCode = 0xFFFFFFFF;

bool is_alnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

int digit_value(char c, bool hex)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

char32_t named_code(std::string_view name)
{
    for (const NamedReference& r : kNamedReferences)
        if (r.name == name)
            return r.code;
    for (std::size_t i = 0; i < kLatin1Names.size(); ++i)
        if (kLatin1Names[i] == name)
            return static_cast<char32_t>(0xA0 + i);
    return kNoCode;
}

// The code point of a numeric reference body ("#65", "#x41"), or kNoCode.
char32_t numeric_code(std::string_view body)
{
    body.remove_prefix(1);  // "#"
    const bool hex = !body.empty() && (body[0] == 'x' || body[0] == 'X');
    if (hex)
        body.remove_prefix(1);
    if (body.empty())
        return kNoCode;
    std::uint32_t value = 0;
    for (char c : body) {
        const int d = digit_value(c, hex);
        if (d < 0)
            return kNoCode;
        value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
        if (value > 0x10FFFF)
            return kNoCode;  // also keeps the sum from overflowing
    }
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF))
        return kNoCode;
    return value;
}

// The length of the reference body starting after an "&" at text[from], up to
// its ";", when the body has a reference's shape; npos otherwise.
std::size_t reference_body_length(std::string_view text, std::size_t from)
{
    std::size_t i = from;
    if (i < text.size() && text[i] == '#')
        ++i;
    while (i < text.size() && i - from <= kMaxReferenceBody && is_alnum(text[i]))
        ++i;
    if (i >= text.size() || text[i] != ';' || i == from || i - from > kMaxReferenceBody)
        return std::string_view::npos;
    return i - from;
}

std::string escaped(std::string_view text, bool attribute)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"':
            if (attribute) {
                out += "&quot;";
                break;
            }
            [[fallthrough]];
        default: out += c; break;
        }
    }
    return out;
}

}  // namespace

std::string decode_html_references(std::string_view text, std::size_t limit)
{
    std::string out;
    out.reserve(text.size() < limit ? text.size() : limit);
    std::size_t at = 0;
    while (at < text.size() && out.size() < limit) {
        // Only the bytes that can still fit are searched, so a long text costs
        // no more than the part of it decoded.
        const std::size_t room = limit - out.size();
        const std::size_t search_end = text.size() - at > room ? at + room : text.size();
        const std::size_t amp = text.substr(0, search_end).find('&', at);
        const std::size_t plain_end = amp == std::string_view::npos ? search_end : amp;
        if (plain_end - at >= room) {
            out.append(text.substr(at, room));
            break;
        }
        out.append(text.substr(at, plain_end - at));
        if (amp == std::string_view::npos)
            break;
        at = amp + 1;
        const std::size_t body_length = reference_body_length(text, at);
        if (body_length == std::string_view::npos) {
            out += '&';
            continue;
        }
        const std::string_view body = text.substr(at, body_length);
        const char32_t code = body[0] == '#' ? numeric_code(body) : named_code(body);
        if (code == kNoCode) {
            out += '&';
            continue;  // the body is copied as plain text on the next round
        }
        sk::platform::display::append_utf8(out, code);
        at += body_length + 1;
    }
    return out;
}

std::string escape_html_text(std::string_view text) { return escaped(text, false); }

std::string escape_html_attribute(std::string_view text) { return escaped(text, true); }

std::size_t html_fit(std::string_view text, std::size_t n)
{
    const std::size_t fit = utf8_fit(text, n);
    if (fit >= text.size())
        return fit;
    // An "&" shortly before the cut whose reference ends at or after it.
    const std::size_t window_start = fit > kMaxReferenceBody + 1 ? fit - kMaxReferenceBody - 1 : 0;
    const std::size_t amp = text.rfind('&', fit == 0 ? 0 : fit - 1);
    if (amp == std::string_view::npos || amp < window_start || amp >= fit)
        return fit;
    const std::size_t body_length = reference_body_length(text, amp + 1);
    if (body_length != std::string_view::npos && amp + 1 + body_length >= fit)
        return amp;
    return fit;
}

}  // namespace sk::app
