// The ASCII driver's options, set and read with SEND texts.
//
// A text is upper-cased and stripped of blanks and control spacing first, so
// "quickscan = on" and "QUICKSCAN=ON" are the same. The first letter selects the
// option, the text must begin with its whole keyword, and the answer is the value
// before any change. Settings that cannot be honoured safely (a buffer of no
// bytes or too small for one record and its terminator, an end-of-record list
// shorter than its count) are refused and change nothing.
#include <algorithm>
#include <climits>
#include <string>

#include "data/ascii/ascii_driver.h"
#include "data/ascii/ascii_state.h"
#include "runtime/locale.h"

namespace sk::ascii {

namespace {

bool is_spacing(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string normalise(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (is_spacing(c)) continue;
        out.push_back(char(rt::upper_char(static_cast<unsigned char>(c))));
    }
    return out;
}

// A decimal integer with an optional sign; a text that is not a number reads as 0.
// *ok tells whether digits were found. The value is clamped to the int range.
long long read_number(std::string_view text, bool* ok = nullptr) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    bool digits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        digits = true;
        if (value < LLONG_MAX / 16) value = value * 10 + (text[i] - '0');
    }
    if (ok) *ok = digits;
    if (!digits) return 0;
    value = negative ? -value : value;
    return std::clamp<long long>(value, INT_MIN, INT_MAX);
}

const char* on_off(bool on) { return on ? "ON" : "OFF"; }

void set_quick_scan(AsciiState& s, bool on) {
    if (s.quick_scan == on) return;
    s.quick_scan = on;
    s.stream.set_cached(on);
    s.stream.set_read_ahead(on ? kQuickScanReadAhead : 0);
}

void set_buffer(AsciiState& s, std::string_view value) {
    bool ok = false;
    long long blocks = read_number(value, &ok);
    if (!ok || blocks <= 0 || blocks > (long long)kMaxBufferBlocks) return;
    std::size_t size = std::size_t(blocks) * 512;
    if (size < minimum_buffer(s)) return;
    if (s.stream.is_open()) {
        if (!s.stream.set_buffer_size(size)) return;
        s.stream.set_cached(true);
    }
    s.buffer_size = size;
}

void set_terminator(AsciiState& s, std::string_view value) {
    // n, c1, ..., cn
    std::vector<std::string_view> items;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = value.find(',', start);
        items.push_back(value.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    long long count = read_number(items[0]);
    if (count < 1 || count > (long long)kMaxTerminator) return;
    if (items.size() < std::size_t(count) + 1) return;  // fewer codes than the count: refused
    std::string terminator;
    for (long long k = 1; k <= count; ++k) {
        long long code = read_number(items[std::size_t(k)]);
        if (code < 0 || code > 255) return;
        terminator.push_back(char(code));
    }
    std::size_t needed = std::size_t(s.record_length) + terminator.size();
    if (s.stream.is_open() && s.stream.buffer_size() < needed) {
        if (!s.stream.set_buffer_size(needed)) return;
    }
    s.buffer_size = std::max(s.buffer_size, needed);
    s.terminator = terminator;
    s.default_terminator = false;
}

}  // namespace

std::string send_option(AsciiState& s, std::string_view raw) {
    std::string text = normalise(raw);
    if (text.empty()) return {};
    std::string_view value;
    bool has_value = false;
    auto match = [&](std::string_view word) {
        if (text.compare(0, word.size(), word) != 0) return false;
        std::string_view rest = std::string_view(text).substr(word.size());
        has_value = !rest.empty() && rest[0] == '=';
        if (has_value) value = rest.substr(1);
        return true;
    };
    std::string answer;
    switch (text[0]) {
        case 'F':
            if (!match("FILEBUFFERS")) return {};
            answer = std::to_string(s.stream.is_open() ? s.stream.buffer_size() : s.buffer_size);
            if (has_value) set_buffer(s, value);
            return answer;
        case 'Q':
            if (!match("QUICKSCAN")) return {};
            answer = on_off(s.quick_scan);
            if (has_value && value == "ON") set_quick_scan(s, true);
            if (has_value && value == "OFF") set_quick_scan(s, false);
            return answer;
        case 'E':
            if (!match("ENDOFRECORD")) return {};
            answer = s.terminator;
            if (has_value) set_terminator(s, value);
            return answer;
        case 'C':
            if (!match("CLIP")) return {};
            answer = on_off(s.clip);
            if (has_value && value == "ON") s.clip = true;
            if (has_value && value == "OFF") s.clip = false;
            return answer;
        case 'T':
            if (!match("TAB")) return {};
            answer = std::to_string(s.tab);
            if (has_value) s.tab = int(read_number(value));
            return answer;
        case 'R':
            if (!match("REGISTER")) return {};
            return sk::data::descriptor_bytes(ascii_descriptor());
        default:
            return {};
    }
}

void apply_driver_string(AsciiState& s, std::string_view options) {
    std::size_t at = 0;
    while (at < options.size()) {
        std::size_t slash = options.find('/', at);
        std::string_view item = options.substr(at, slash == std::string_view::npos ? std::string_view::npos : slash - at);
        if (!item.empty()) send_option(s, item);
        if (slash == std::string_view::npos) break;
        at = slash + 1;
    }
}

}  // namespace sk::ascii
