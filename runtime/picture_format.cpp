// Formatting values through compiled pictures.
//
// Every kind renders into a line on the stack and copies it into the caller's
// area, so nothing here allocates. Numbers are rounded half up at the last place
// the picture shows; digits that do not fit print as "#".
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "runtime/date_time.h"
#include "runtime/locale.h"
#include "runtime/picture.h"

namespace sk::rt {
namespace {

using namespace picture_detail;

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// v * 10^k without overflowing the intermediate power for large |k|.
double scale10(double v, int k) {
    while (k > 22) {
        v *= 1e22;
        k -= 22;
    }
    while (k < -22) {
        v /= 1e22;
        k += 22;
    }
    return k >= 0 ? v * kPow10[k] : v / kPow10[-k];
}

constexpr double kTwoTo53 = 9007199254740992.0;
constexpr std::size_t kDigitBuffer = 400;

// Rounds scaled (>= 0) half up to an integer. The tolerance absorbs the error of
// the decimal-to-binary conversion and the scaling, so that 1.005 shown with two
// places gives 1.01.
double round_half_up(double scaled) {
    if (scaled >= kTwoTo53) return scaled;
    double whole = std::floor(scaled);
    double fraction = scaled - whole;
    if (fraction >= 0.5 - scaled * 4.5e-16) whole += 1;
    return whole;
}

// The decimal digits of round_half_up(mag * 10^places) without leading zeros;
// returns their count (0 for zero) or -1 when the value is not finite.
int rounded_digits(double mag, int places, char* digits) {
    double scaled = scale10(mag, places);
    if (!std::isfinite(scaled)) return -1;
    double r = round_half_up(scaled);
    if (r < 1.8e19) {
        std::uint64_t u = static_cast<std::uint64_t>(r);
        char tmp[24];
        int n = 0;
        while (u) {
            tmp[n++] = static_cast<char>('0' + u % 10);
            u /= 10;
        }
        for (int k = 0; k < n; ++k) digits[k] = tmp[n - 1 - k];
        return n;
    }
    int n = std::snprintf(digits, kDigitBuffer, "%.0f", r);
    return (n > 0 && static_cast<std::size_t>(n) < kDigitBuffer) ? n : -1;
}

bool is_digit_kind(unsigned char kind) { return kind == kPosDigitZero || kind == kPosDigitBlank; }

// ---- numeric -------------------------------------------------------------

std::size_t overflow_numeric(const CompiledPicture& pic, char* line) {
    std::size_t n = 0;
    for (unsigned i = 0; i < position_count(pic); ++i) {
        unsigned char kind = position_kind(pic, i);
        unsigned char ch = position_char(pic, i);
        switch (kind) {
            case kPosImpliedPoint: break;
            case kPosDecimalPoint:
            case kPosCurrency: line[n++] = static_cast<char>(ch); break;
            case kPosSign: line[n++] = ' '; break;
            default: line[n++] = '#'; break;
        }
    }
    return n;
}

std::size_t blank_line(const CompiledPicture& pic, char* line) {
    std::size_t n = picture_width(pic);
    std::memset(line, ' ', n);
    return n;
}

std::size_t render_numeric(const CompiledPicture& pic, double value, char* line) {
    const unsigned count = position_count(pic);
    int int_digits = 0, places = 0;
    bool after_point = false, has_sign = false;
    int first_int = -1;
    for (unsigned i = 0; i < count; ++i) {
        unsigned char kind = position_kind(pic, i);
        if (is_digit_kind(kind)) {
            if (after_point) {
                ++places;
            } else {
                if (first_int < 0) first_int = static_cast<int>(i);
                ++int_digits;
            }
        } else if (kind == kPosDecimalPoint || kind == kPosImpliedPoint) {
            after_point = true;
        } else if (kind == kPosSign) {
            has_sign = true;
        }
    }
    if (!std::isfinite(value)) return overflow_numeric(pic, line);
    // A blank digit fill lets the sign float up to the first digit shown.
    const bool floating = first_int >= 0 && position_kind(pic, first_int) == kPosDigitBlank &&
                          position_char(pic, first_int) == ' ';

    char digits[kDigitBuffer];
    const int length = rounded_digits(std::fabs(value), places, digits);
    if (length < 0) return overflow_numeric(pic, line);
    if (length == 0 && (pic.bytes[0] & kBlankWhenZero)) return blank_line(pic, line);
    const bool negative = value < 0 && length > 0;
    const int significant = length > places ? length - places : 0;
    if (significant > int_digits) return overflow_numeric(pic, line);
    const int leading = int_digits - significant;
    // Without a sign position a negative value takes a leading position for its "-".
    if (negative && !has_sign && leading == 0) return overflow_numeric(pic, line);

    const int total = int_digits + places;
    int d = 0;
    bool shown = false, seen_digit = false;
    std::size_t n = 0;
    std::size_t sign_at = SIZE_MAX, body_start = SIZE_MAX;
    char sign_char = '-';
    for (unsigned i = 0; i < count; ++i) {
        const unsigned char kind = position_kind(pic, i);
        const char ch = static_cast<char>(position_char(pic, i));
        switch (kind) {
            case kPosDigitZero:
            case kPosDigitBlank:
                if (body_start == SIZE_MAX) body_start = n;
                seen_digit = true;
                if (d < leading) {
                    line[n++] = ch;
                } else {
                    shown = true;
                    int k = d - (total - length);
                    line[n++] = k >= 0 ? digits[k] : '0';
                }
                ++d;
                break;
            case kPosGrouping:
                if (shown) {
                    line[n++] = ch;
                } else {
                    // A leading separator takes the fill of the digits beside it.
                    bool next_blank = i + 1 < count && position_kind(pic, i + 1) == kPosDigitBlank;
                    line[n++] = next_blank ? static_cast<char>(position_char(pic, i + 1)) : ch;
                }
                break;
            case kPosLiteral:
                if (body_start == SIZE_MAX) body_start = n;
                line[n++] = ch;
                break;
            case kPosDecimalPoint:
                seen_digit = true;
                line[n++] = ch;
                break;
            case kPosImpliedPoint: seen_digit = true; break;
            case kPosSign:
                if (!seen_digit && negative && floating) {
                    sign_at = n;
                    sign_char = ch;
                    line[n++] = ' ';
                } else {
                    line[n++] = negative ? ch : ' ';
                }
                break;
            default: line[n++] = ch; break;
        }
    }
    if (sign_at != SIZE_MAX) {
        std::size_t j = sign_at + 1;
        while (j < n && line[j] == ' ') ++j;
        line[j - 1] = sign_char;
    } else if (negative && !has_sign) {
        if (floating) {
            std::size_t j = body_start;
            while (j < n && line[j] == ' ') ++j;
            line[j - 1] = '-';
        } else {
            line[body_start] = '-';
        }
    }
    return n;
}

// ---- scientific ----------------------------------------------------------

std::size_t render_scientific(const CompiledPicture& pic, double value, char* line) {
    const unsigned count = position_count(pic);
    int places = 0, exponent_digits = 0, state = 0;
    char point = 0;
    for (unsigned i = 0; i < count; ++i) {
        unsigned char kind = position_kind(pic, i);
        if (kind == kPosDecimalPoint) {
            point = static_cast<char>(position_char(pic, i));
            state = 1;
        } else if (kind == kPosExponentSign) {
            state = 2;
        } else if (kind == kPosDigitZero) {
            if (state == 1) ++places;
            else if (state == 2) ++exponent_digits;
        } else if (kind == kPosLiteral && state == 1) {
            state = 3;
        }
    }
    std::memset(line, ' ', count);
    if (!std::isfinite(value)) {
        std::memset(line, '#', count);
        return count;
    }
    if (value == 0 && (pic.bytes[0] & kBlankWhenZero)) return count;

    std::uint64_t mantissa = 0;
    int exponent = 0;
    const double limit = kPow10[places + 1], low = kPow10[places];
    if (value != 0) {
        const double mag = std::fabs(value);
        exponent = static_cast<int>(std::floor(std::log10(mag)));
        for (int attempt = 0; attempt < 3; ++attempt) {
            double m = round_half_up(scale10(mag, places - exponent));
            if (m >= limit) {
                ++exponent;
            } else if (m < low) {
                --exponent;
            } else {
                mantissa = static_cast<std::uint64_t>(m);
                break;
            }
            if (attempt == 2) mantissa = static_cast<std::uint64_t>(m >= limit ? limit - 1 : low);
        }
    }
    char body[64];
    int n = 0;
    if (value < 0) body[n++] = '-';
    char mdigits[20];
    for (int k = places; k >= 0; --k) {
        mdigits[k] = static_cast<char>('0' + mantissa % 10);
        mantissa /= 10;
    }
    body[n++] = mdigits[0];
    if (point) {
        body[n++] = point;
        for (int k = 1; k <= places; ++k) body[n++] = mdigits[k];
    }
    body[n++] = 'e';
    body[n++] = exponent < 0 ? '-' : '+';
    int e = exponent < 0 ? -exponent : exponent;
    int needed = e >= 100 ? 3 : 2;
    if (needed < exponent_digits) needed = exponent_digits;
    for (int k = needed - 1; k >= 0; --k) {
        body[n + k] = static_cast<char>('0' + e % 10);
        e /= 10;
    }
    n += needed;
    if (static_cast<unsigned>(n) > count) {
        std::memset(line, '#', count);
        return count;
    }
    std::memcpy(line + (count - n), body, n);
    return count;
}

// ---- pattern ----------------------------------------------------------------

std::size_t render_pattern(const CompiledPicture& pic, double value, char* line) {
    const unsigned count = position_count(pic);
    unsigned digit_positions = 0;
    for (unsigned i = 0; i < count; ++i)
        if (is_digit_kind(position_kind(pic, i))) ++digit_positions;
    char digits[kDigitBuffer];
    int length = std::isfinite(value) ? rounded_digits(std::fabs(value), 0, digits) : -1;
    bool overflow = length < 0 || static_cast<unsigned>(length) > digit_positions;
    if (!overflow && length == 0 && (pic.bytes[0] & kBlankWhenZero)) return blank_line(pic, line);
    const bool negative = !overflow && value < 0 && length > 0;
    bool sign_placed = !negative;
    if (!overflow) {
        int k = 0;
        for (unsigned i = count; i-- > 0;) {
            const unsigned char kind = position_kind(pic, i);
            const char ch = static_cast<char>(position_char(pic, i));
            if (!is_digit_kind(kind)) {
                line[i] = ch;
            } else if (k < length) {
                line[i] = digits[length - 1 - k++];
            } else if (!sign_placed && kind == kPosDigitBlank) {
                line[i] = '-';
                sign_placed = true;
            } else {
                line[i] = ch;
            }
        }
    }
    if (overflow || !sign_placed) {
        for (unsigned i = 0; i < count; ++i)
            line[i] = is_digit_kind(position_kind(pic, i)) ? '#' : static_cast<char>(position_char(pic, i));
    }
    return count;
}

// ---- dates and times --------------------------------------------------------

unsigned run_length(const CompiledPicture& pic, unsigned i) {
    unsigned char kind = position_kind(pic, i);
    unsigned r = 1;
    while (i + r < position_count(pic) && position_kind(pic, i + r) == kind) ++r;
    return r;
}

std::size_t render_calendar(const CompiledPicture& pic, double value, char* line) {
    const unsigned count = position_count(pic);
    const bool is_date = picture_kind(pic) == kPictureDate;
    const unsigned char flags = pic.bytes[0];
    std::int32_t v = 0;
    bool valid = std::isfinite(value) && value > -2147483648.0 && value < 2147483648.0;
    if (valid) v = static_cast<std::int32_t>(value);
    if (valid && v == 0 && (flags & kBlankWhenZero)) return blank_line(pic, line);
    DateParts date{0, 0, 0};
    TimeParts time{0, 0, 0, 0};
    if (valid) valid = is_date ? serial_to_date(v, &date) : time_to_parts(v, &time);
    int hour = time.hour;
    if ((flags & kFlagTwelveHour) && !is_date) {
        hour %= 12;
        if (hour == 0) hour = 12;
    }

    std::size_t n = 0;
    for (unsigned i = 0; i < count;) {
        const unsigned char kind = position_kind(pic, i);
        const unsigned r = run_length(pic, i);
        int field = -1;
        switch (kind) {
            case kPosMonth: field = date.month; break;
            case kPosDay: field = date.day; break;
            case kPosYear: field = date.year; break;
            case kPosHour: field = hour; break;
            case kPosMinute: field = time.minute; break;
            case kPosSecond: field = time.second; break;
            default: break;
        }
        if (field >= 0) {
            // The field's digits right-aligned in its run; a leading zero shows the
            // position's fill, the last digit always shows.
            int divisor = 1;
            for (unsigned t = 1; t < r && divisor < 100000000; ++t) divisor *= 10;
            bool leading = true;
            for (unsigned t = 0; t < r; ++t) {
                if (!valid) {
                    line[n++] = ' ';
                    continue;
                }
                int digit = divisor ? (field / divisor) % 10 : 0;
                divisor /= 10;
                if (leading && digit == 0 && t + 1 < r) {
                    line[n++] = static_cast<char>(position_char(pic, i + t));
                } else {
                    leading = false;
                    line[n++] = static_cast<char>('0' + digit);
                }
            }
        } else if (kind == kPosMonthName) {
            std::string_view name = valid ? month_name(date.month) : std::string_view();
            for (unsigned t = 0; t < r; ++t) {
                const char fill = static_cast<char>(position_char(pic, i + t));
                if (!valid) {
                    line[n++] = ' ';
                } else if (t < name.size()) {
                    unsigned char c = static_cast<unsigned char>(name[t]);
                    line[n++] = static_cast<char>((flags & kFlagKeepNameCase) ? c : upper_char(c));
                } else if (fill != ' ') {
                    line[n++] = fill;  // a short name takes fewer characters unless filled
                }
            }
        } else if (kind == kPosAmPm) {
            std::string_view text;
            if (valid) {
                bool pm = time.hour >= 12;
                if (flags & kFlagIntlAmPm) text = pm ? intl().pm : intl().am;
                else text = pm ? pm_text() : am_text();
            }
            for (unsigned t = 0; t < r; ++t) line[n++] = t < text.size() ? text[t] : ' ';
        } else {
            for (unsigned t = 0; t < r; ++t) line[n++] = static_cast<char>(position_char(pic, i + t));
        }
        i += r;
    }
    return n;
}

void copy_text(std::string_view value, std::size_t limit, char* out, std::size_t width) {
    std::size_t n = value.size();
    if (n > limit) n = limit;
    if (n > width) n = width;
    if (n) std::memcpy(out, value.data(), n);
}

}  // namespace

void format_number(const CompiledPicture& pic, double value, char* out, std::size_t width) {
    if (!out || width == 0) return;
    std::memset(out, ' ', width);
    char line[kCompiledPictureSize];
    std::size_t n = 0;
    switch (picture_kind(pic)) {
        case kPictureNumeric: n = render_numeric(pic, value, line); break;
        case kPictureScientific: n = render_scientific(pic, value, line); break;
        case kPictureDate:
        case kPictureTime: n = render_calendar(pic, value, line); break;
        case kPicturePattern: n = render_pattern(pic, value, line); break;
        case kPictureString:
        case kPictureKeyIn: {
            if (value == 0 && (pic.bytes[0] & kBlankWhenZero)) return;
            char text[kDigitBuffer];
            std::size_t length = plain_number_text(value, text, sizeof text);
            copy_text(std::string_view(text, length), picture_width(pic), out, width);
            return;
        }
        default: return;
    }
    std::memcpy(out, line, n < width ? n : width);
}

void format_text(const CompiledPicture& pic, std::string_view value, char* out, std::size_t width) {
    if (!out || width == 0) return;
    const unsigned char kind = picture_kind(pic);
    if (kind == kPictureString || kind == kPictureKeyIn) {
        std::memset(out, ' ', width);
        copy_text(value, picture_width(pic), out, width);
        return;
    }
    double v = 0;
    if (!parse_plain_number(value, &v) && !deformat_number(value, pic, &v)) v = 0;
    format_number(pic, v, out, width);
}

}  // namespace sk::rt
