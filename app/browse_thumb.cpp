// The thumb distributions of the browses.
#include "app/browse_thumb.h"

#include <cstdint>

#include "runtime/locale.h"

namespace sk::app {

namespace {

constexpr int kDigits = 4;

std::string clipped(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return std::string(s.substr(0, n));
}

// The four characters after the prefix, upper-cased, as a number in base
// alphabet size + 1; a character outside the alphabet or past the value is 0.
std::uint64_t digits_value(std::string_view value, std::size_t prefix, std::string_view alphabet) {
    const std::uint64_t base = alphabet.size() + 1;
    std::uint64_t v = 0;
    for (int d = 0; d < kDigits; ++d) {
        std::uint64_t digit = 0;
        const std::size_t at = prefix + std::size_t(d);
        if (at < value.size()) {
            const char c = static_cast<char>(sk::rt::upper_char(static_cast<unsigned char>(value[at])));
            const std::size_t found = alphabet.find(c);
            if (found != std::string_view::npos) digit = found + 1;
        }
        v = v * base + digit;
    }
    return v;
}

std::string digits_text(std::uint64_t v, std::string_view alphabet) {
    const std::uint64_t base = alphabet.size() + 1;
    char digits[kDigits];
    for (int d = kDigits - 1; d >= 0; --d) {
        digits[d] = static_cast<char>(v % base);
        v /= base;
    }
    std::string out;
    for (char digit : digits)
        if (digit != 0) out += alphabet[std::size_t(static_cast<unsigned char>(digit)) - 1];
    return out;
}

std::string after_prefix(std::string_view value, std::size_t prefix) {
    return prefix < value.size() ? std::string(value.substr(prefix, kDigits)) : std::string();
}

}  // namespace

std::string thumb_alphabet() {
    std::string out;
    for (int c = 1; c <= 255; ++c)
        if (sk::rt::is_upper(static_cast<unsigned char>(c))) out += static_cast<char>(c);
    return out;
}

std::array<std::string, kThumbEntries> text_distribution(std::string_view low_in, std::string_view high_in,
                                                         std::size_t length, std::string_view alphabet) {
    std::array<std::string, kThumbEntries> out;
    const std::string low = clipped(low_in);
    std::string high = clipped(high_in);
    if (!alphabet.empty() && high.size() < length) high.append(length - high.size(), alphabet.back());
    std::size_t prefix = 0;
    while (prefix < low.size() && prefix < high.size() && low[prefix] == high[prefix]) ++prefix;
    const std::string head = low.substr(0, prefix);
    if (alphabet.empty()) {
        // No letters to count in: every entry is the low value.
        out.fill(low);
        return out;
    }
    const std::uint64_t low_value = digits_value(low, prefix, alphabet);
    const std::uint64_t high_value = digits_value(high, prefix, alphabet);
    // A high value below the low one (a collation that disagrees with code order)
    // gives a step of 0 rather than a wrapped one.
    const std::uint64_t step = high_value > low_value ? (high_value - low_value) / 99 : 0;
    out[0] = head + after_prefix(low, prefix);
    out[kThumbEntries - 1] = head + after_prefix(high, prefix);
    // With a step of 0 the inner entries are the first one itself, not its
    // rewritten digits (which would drop characters outside the alphabet).
    for (int i = 2; i < kThumbEntries; ++i)
        out[std::size_t(i) - 1] = step == 0 ? out[0] : head + digits_text(low_value + step * std::uint64_t(i - 1), alphabet);
    return out;
}

std::array<double, kThumbEntries> numeric_distribution(double low, double high) {
    std::array<double, kThumbEntries> out;
    for (int i = 1; i <= kThumbEntries; ++i) out[std::size_t(i) - 1] = low + (i - 1) * (high - low) / 99;
    out[kThumbEntries - 1] = high;
    return out;
}

int thumb_for_text(const std::array<std::string, kThumbEntries>& entries, std::string_view value) {
    // The entries keep the case of the low value's prefix while their spread part is
    // upper case; both sides are compared upper-cased, as the case-blind keys order
    // them, so that a lower-case prefix does not put every entry above the value.
    const std::string v = clipped(value);
    for (int i = 1; i <= kThumbEntries; ++i) {
        const std::string e = clipped(entries[std::size_t(i) - 1]);
        if (sk::rt::compare_strings_nocase(e.c_str(), v.c_str()) >= 0) return i == 1 ? 0 : i;
    }
    return kThumbEntries + 1;
}

int thumb_for_number(const std::array<double, kThumbEntries>& entries, double value) {
    for (int i = 1; i <= kThumbEntries; ++i)
        if (entries[std::size_t(i) - 1] >= value) return i == 1 ? 0 : i;
    return kThumbEntries + 1;
}

}  // namespace sk::app
