// The built-in functions of expressions.
//
// Every argument slot may be left out; a left-out argument reads as 0 or the
// empty string unless the function gives it another default (INSTRING step 0 and
// start 1, AGE the base date today, ALL length 255, CENTER, LEFT, RIGHT and SUB
// length -1). String results are written into the call node's scratch buffer;
// lengths are capped at kMaxResultLength so that a wild count cannot exhaust
// memory.
#include <unistd.h>

#include <cmath>
#include <cstdint>

#include "platform/clock.h"
#include "runtime/date_time.h"
#include "runtime/expr_tree.h"
#include "runtime/locale.h"
#include "runtime/picture.h"

namespace sk::rt {

namespace {

constexpr std::int32_t kMaxResultLength = 65534;

const ExprNode* arg(const ExprNode& n, std::size_t k) { return k < n.args.size() ? n.args[k].get() : nullptr; }

std::string_view arg_text(const ExprNode& n, std::size_t k) {
    const ExprNode* a = arg(n, k);
    return a ? eval_text(*a) : std::string_view();
}
std::int32_t arg_integer(const ExprNode& n, std::size_t k, std::int32_t fallback = 0) {
    const ExprNode* a = arg(n, k);
    return a ? eval_integer(*a) : fallback;
}
double arg_real(const ExprNode& n, std::size_t k, double fallback = 0) {
    const ExprNode* a = arg(n, k);
    return a ? eval_real(*a) : fallback;
}

Scalar integer_result(std::int32_t v) {
    Scalar s;
    s.type = ValueType::kInteger;
    s.integer = v;
    return s;
}
Scalar real_result(double v) {
    Scalar s;
    s.type = ValueType::kReal;
    s.real = v;
    return s;
}
Scalar text_result(const ExprNode& n) {
    Scalar s;
    s.type = ValueType::kString;
    s.text = n.scratch;
    return s;
}

std::int32_t clamp_length(std::int32_t length) {
    if (length < 0) return 0;
    return length > kMaxResultLength ? kMaxResultLength : length;
}

std::string_view trim_leading(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    return s.substr(i);
}
std::string_view trim_trailing(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return s.substr(0, n);
}

std::int32_t today_serial() {
    sk::platform::LocalTime t = sk::platform::local_time();
    std::int32_t serial = 0;
    if (!date_to_serial(t.year, t.month, t.day, &serial)) return 0;
    return serial;
}

// The serial of month/day/year with months above 12 carried into the following
// years and days beyond the month into the following months (months below 1 and
// days below 1 carry backwards the same way). 0 when the result is not a date.
std::int32_t make_date(std::int32_t month, std::int32_t day, std::int32_t year) {
    std::int64_t y = year;
    if (y >= 0 && y < 100) y += 1900;
    std::int64_t m0 = static_cast<std::int64_t>(month) - 1;
    std::int64_t carry = m0 >= 0 ? m0 / 12 : -((-m0 + 11) / 12);
    y += carry;
    std::int64_t m = m0 - carry * 12 + 1;
    if (y <= 1800 || y >= 2100) return 0;
    std::int32_t first = 0;
    if (!date_to_serial(static_cast<int>(y), static_cast<int>(m), 1, &first)) return 0;
    std::int64_t serial = static_cast<std::int64_t>(first) + day - 1;
    if (serial < kFirstDate || serial > kLastDate) return 0;
    return static_cast<std::int32_t>(serial);
}

// Elapsed time from birth to base as text. Under 60 days it counts days; under
// 24 whole months, months; beyond, whole years. A birth after the base gives a
// negative count; a serial outside the valid range gives an empty text.
void age_text(std::int32_t birth, std::int32_t base, std::string& out) {
    out.clear();
    bool negative = birth > base;
    std::int32_t from = negative ? base : birth;
    std::int32_t to = negative ? birth : base;
    DateParts a{}, b{};
    if (!serial_to_date(from, &a) || !serial_to_date(to, &b)) return;
    std::int32_t days = to - from;
    std::int32_t months = (b.year - a.year) * 12 + (b.month - a.month) - (b.day < a.day ? 1 : 0);
    std::int32_t count;
    const char* unit;
    if (days < 60) {
        count = days;
        unit = " DAYS";
    } else if (months < 24) {
        count = months;
        unit = " MOS";
    } else {
        count = months / 12;
        unit = " YRS";
    }
    integer_to_text(negative ? -count : count, out);
    out.append(unit);
}

// ROUND(value, order): value to the nearest multiple of order, halves away from
// zero. An order of 0 (or left out) rounds to a whole number. Orders such as
// 0.01 divide by their inverse so that the result is the nearest double to the
// decimal value.
double round_to(double value, double order) {
    order = std::fabs(order);
    if (order == 0 || !std::isfinite(order)) order = 1;
    double q = value / order;
    if (!std::isfinite(q)) return value;
    double r = std::floor(std::fabs(q) + 0.5 + std::fabs(q) * 4 * 2.220446049250313e-16);
    r = std::copysign(r, q);
    double inverse = 1 / order;
    double whole_inverse = std::round(inverse);
    if (order < 1 && std::fabs(inverse - whole_inverse) < 1e-9 * inverse) return r / whole_inverse;
    return r * order;
}

// RANDOM(low, high): an integer from low to high inclusive (the bounds may come
// in either order), drawn from a process-wide splitmix64 sequence seeded from
// the tick counter on first use. Left-out bounds read as 0.
std::int32_t random_between(std::int32_t low, std::int32_t high) {
    static std::uint64_t state = 0;
    static bool seeded = false;
    if (!seeded) {
        state = (static_cast<std::uint64_t>(sk::platform::tick_hundredths()) << 32) ^
                reinterpret_cast<std::uintptr_t>(&state) ^ 0x9E3779B97F4A7C15ull;
        seeded = true;
    }
    if (low > high) std::swap(low, high);
    std::uint64_t span = static_cast<std::uint64_t>(static_cast<std::int64_t>(high) - low) + 1;
    // Rejection keeps the draw uniform over the span.
    std::uint64_t limit = UINT64_MAX - UINT64_MAX % span;
    std::uint64_t x;
    do {
        state += 0x9E3779B97F4A7C15ull;
        x = state;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
        x ^= x >> 31;
    } while (x >= limit);
    return static_cast<std::int32_t>(static_cast<std::int64_t>(low) + static_cast<std::int64_t>(x % span));
}

// MEMORY(selector): 0 (or left out) reports the physical memory still
// available, any other selector the machine's total physical memory; both in
// bytes, capped at 2147483647.
std::int32_t memory_report(std::int32_t selector) {
    long pages = sysconf(selector == 0 ? _SC_AVPHYS_PAGES : _SC_PHYS_PAGES);
    long page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return 0;
    long double bytes = static_cast<long double>(pages) * static_cast<long double>(page_size);
    return bytes > 2147483647.0L ? 2147483647 : static_cast<std::int32_t>(bytes);
}

// INSTRING(sub, text, step, start): the position (from 1) of the first place
// from start, advancing by step (0 counts as 1; negative searches backwards),
// where sub occurs in text; 0 when there is none or sub is empty.
std::int32_t instring(std::string_view sub, std::string_view text, std::int32_t step, std::int32_t start) {
    if (sub.empty() || sub.size() > text.size()) return 0;
    if (step == 0) step = 1;
    std::int64_t last = static_cast<std::int64_t>(text.size() - sub.size()) + 1;
    std::int64_t p = start;
    if (step > 0 && p < 1) p = 1;
    if (step < 0 && p > last) p = last;
    for (; p >= 1 && p <= last; p += step) {
        if (text.compare(static_cast<std::size_t>(p - 1), sub.size(), sub) == 0) return static_cast<std::int32_t>(p);
    }
    return 0;
}

bool is_text_picture(std::string_view picture) {
    std::size_t i = !picture.empty() && picture[0] == '@' ? 1 : 0;
    if (i >= picture.size()) return false;
    char k = picture[i];
    return k == 's' || k == 'S' || k == 'k' || k == 'K';
}

}  // namespace

Scalar call_function(const ExprNode& n) {
    std::string& out = n.scratch;
    switch (n.function ? n.function->number : 0) {
        case kFnMemory: return integer_result(memory_report(arg_integer(n, 0)));
        case kFnSub: {
            std::string_view s = arg_text(n, 0);
            std::int64_t len = static_cast<std::int64_t>(s.size());
            std::int64_t start = arg_integer(n, 1);
            std::int64_t count = arg_integer(n, 2, -1);
            // A negative start counts from the end (-1 is the last character).
            if (start < 0) start = len + start + 1;
            if (start < 1) start = 1;
            if (start > len) {
                out.clear();
            } else {
                std::int64_t rest = len - start + 1;
                if (count < 0 || count > rest) count = rest;
                out.assign(s.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count)));
            }
            return text_result(n);
        }
        case kFnInstring:
            return integer_result(instring(arg_text(n, 0), arg_text(n, 1), arg_integer(n, 2, 0), arg_integer(n, 3, 1)));
        case kFnClip: out.assign(trim_trailing(arg_text(n, 0))); return text_result(n);
        case kFnAll: {
            std::string_view s = arg_text(n, 0);
            std::int32_t length = clamp_length(arg_integer(n, 1, 255));
            out.assign(static_cast<std::size_t>(length), ' ');
            if (!s.empty()) {
                for (std::size_t i = 0; i < out.size(); ++i) out[i] = s[i % s.size()];
            }
            return text_result(n);
        }
        case kFnCenter: {
            std::string_view s = arg_text(n, 0);
            std::int32_t length = arg_integer(n, 1, -1);
            length = clamp_length(length < 0 ? static_cast<std::int32_t>(s.size()) : length);
            std::string_view t = trim_trailing(trim_leading(s));
            if (t.size() > static_cast<std::size_t>(length)) t = t.substr(0, static_cast<std::size_t>(length));
            out.assign(static_cast<std::size_t>(length), ' ');
            std::size_t left = (static_cast<std::size_t>(length) - t.size()) / 2;
            out.replace(left, t.size(), t);
            return text_result(n);
        }
        case kFnChr: out.assign(1, static_cast<char>(arg_integer(n, 0) & 0xFF)); return text_result(n);
        case kFnDeformat: {
            std::string_view typed = arg_text(n, 0);
            const ExprNode* pic = arg(n, 1);
            if (!pic) {
                out.assign(typed);
            } else {
                std::string picture(eval_text(*pic));
                out = deformat(typed, picture);
            }
            return text_result(n);
        }
        case kFnFormat: {
            const ExprNode* value = arg(n, 0);
            const ExprNode* pic = arg(n, 1);
            if (!pic) {
                out.assign(value ? eval_text(*value) : std::string_view());
                return text_result(n);
            }
            std::string picture(eval_text(*pic));
            if (is_text_picture(picture)) {
                std::string text(value ? eval_text(*value) : std::string_view());
                out = format(std::string_view(text), picture);
            } else {
                out = format(value ? eval_real(*value) : 0.0, picture);
            }
            return text_result(n);
        }
        case kFnLeft: {
            std::string_view s = arg_text(n, 0);
            std::int32_t length = arg_integer(n, 1, -1);
            length = clamp_length(length < 0 ? static_cast<std::int32_t>(s.size()) : length);
            std::string_view t = trim_leading(s);
            out.assign(static_cast<std::size_t>(length), ' ');
            out.replace(0, std::min(t.size(), out.size()), t.substr(0, std::min(t.size(), out.size())));
            return text_result(n);
        }
        case kFnLen: return integer_result(static_cast<std::int32_t>(std::min<std::size_t>(arg_text(n, 0).size(), 0x7FFFFFFF)));
        case kFnLower:
        case kFnUpper: {
            out.assign(arg_text(n, 0));
            bool upper = n.function->number == kFnUpper;
            if (out.size() < kUntilNul) {
                auto size = static_cast<unsigned>(out.size());
                upper ? upper_string(out.data(), size) : lower_string(out.data(), size);
            } else {
                for (char& c : out) {
                    auto u = static_cast<unsigned char>(c);
                    c = static_cast<char>(upper ? upper_char(u) : lower_char(u));
                }
            }
            return text_result(n);
        }
        case kFnNumeric: return integer_result(text_is_number(arg_text(n, 0)) ? 1 : 0);
        case kFnRight: {
            std::string_view s = arg_text(n, 0);
            std::int32_t length = arg_integer(n, 1, -1);
            length = clamp_length(length < 0 ? static_cast<std::int32_t>(s.size()) : length);
            std::string_view t = trim_trailing(s);
            // Too long a text keeps its rightmost characters.
            if (t.size() > static_cast<std::size_t>(length)) t = t.substr(t.size() - static_cast<std::size_t>(length));
            out.assign(static_cast<std::size_t>(length), ' ');
            out.replace(out.size() - t.size(), t.size(), t);
            return text_result(n);
        }
        case kFnVal: {
            std::string_view s = arg_text(n, 0);
            return integer_result(s.empty() ? 0 : static_cast<unsigned char>(s[0]));
        }
        case kFnAbs: return real_result(std::fabs(arg_real(n, 0)));
        case kFnInrange: {
            double v = arg_real(n, 0);
            double low = arg_real(n, 1);
            double high = arg_real(n, 2);
            return integer_result(compare_reals(low, v) <= 0 && compare_reals(v, high) <= 0 ? 1 : 0);
        }
        case kFnInt: return integer_result(real_to_integer(arg_real(n, 0)));
        case kFnLoge: return real_result(std::log(arg_real(n, 0)));
        case kFnLog10: return real_result(std::log10(arg_real(n, 0)));
        case kFnRandom: return integer_result(random_between(arg_integer(n, 0), arg_integer(n, 1)));
        case kFnRound: return real_result(round_to(arg_real(n, 0), arg_real(n, 1)));
        case kFnSqrt: return real_result(std::sqrt(arg_real(n, 0)));
        case kFnSin: return real_result(std::sin(arg_real(n, 0)));
        case kFnCos: return real_result(std::cos(arg_real(n, 0)));
        case kFnTan: return real_result(std::tan(arg_real(n, 0)));
        case kFnAsin: return real_result(std::asin(arg_real(n, 0)));
        case kFnAcos: return real_result(std::acos(arg_real(n, 0)));
        case kFnAtan: return real_result(std::atan(arg_real(n, 0)));
        case kFnBand:
        case kFnBor:
        case kFnBxor: {
            auto a = static_cast<std::uint32_t>(arg_integer(n, 0));
            auto b = static_cast<std::uint32_t>(arg_integer(n, 1));
            std::uint32_t r = n.function->number == kFnBand ? (a & b) : n.function->number == kFnBor ? (a | b) : (a ^ b);
            return integer_result(static_cast<std::int32_t>(r));
        }
        case kFnBshift: {
            // A positive count shifts left, a negative one right (zeros come in).
            auto v = static_cast<std::uint32_t>(arg_integer(n, 0));
            std::int32_t count = arg_integer(n, 1);
            std::uint32_t r = 0;
            if (count >= 0 && count < 32) r = v << count;
            if (count < 0 && count > -32) r = v >> -count;
            return integer_result(static_cast<std::int32_t>(r));
        }
        case kFnToday: return integer_result(today_serial());
        case kFnClock: {
            sk::platform::LocalTime t = sk::platform::local_time();
            return integer_result(time_value(t.hour, t.minute, t.second, t.hundredths));
        }
        case kFnDate: return integer_result(make_date(arg_integer(n, 0), arg_integer(n, 1), arg_integer(n, 2)));
        case kFnDay:
        case kFnMonth:
        case kFnYear: {
            DateParts d{};
            if (!serial_to_date(arg_integer(n, 0), &d)) return integer_result(0);
            int number = n.function->number;
            return integer_result(number == kFnDay ? d.day : number == kFnMonth ? d.month : d.year);
        }
        case kFnAge: {
            std::int32_t birth = arg_integer(n, 0);
            std::int32_t base = arg(n, 1) ? arg_integer(n, 1) : today_serial();
            age_text(birth, base, out);
            return text_result(n);
        }
        default: break;
    }
    return integer_result(0);
}

}  // namespace sk::rt
