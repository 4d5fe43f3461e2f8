// Measurement units of window definitions and their conversion to pixels, and
// the natural sizes of controls whose width or height is 0x80000000.
#include "ui/definition.h"

namespace sk::ui {
namespace {

constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

bool has_font(const UnitContext& c) { return c.text_width != nullptr; }

int text_width(const UnitContext& c, std::string_view text) {
    return has_font(c) ? c.text_width(text, c.font) : 0;
}

// Rounds a / b to nearest, halves away from zero; b > 0.
std::int64_t divide_rounded(std::int64_t a, std::int64_t b) {
    return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

std::int32_t clamp32(std::int64_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN + 1) return INT32_MIN + 1;
    return static_cast<std::int32_t>(v);
}

// A label without its "&" markers ("&&" stands for one "&").
std::string shown_text(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') out += '&', ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace

int average_char_width(const UnitContext& context) {
    if (!has_font(context)) return 0;
    return (text_width(context, kLetters) / 26 + 1) / 2;
}

UnitScale unit_scale(std::uint32_t window_attributes, const UnitContext& context) {
    UnitScale s;
    s.avg_char_width = average_char_width(context);
    s.char_height = has_font(context) ? context.char_height : 0;
    switch (window_attributes & kWinUnitMask) {
    case 0:
        // Dialog units of the window's font. Without a font the system font's
        // metrics stand in: 8 × 16 pixel cells.
        s.hmul = 2 * (s.avg_char_width > 0 ? s.avg_char_width : 8);
        s.vmul = s.char_height > 0 ? s.char_height : 16;
        s.div = 8;
        break;
    case 0x100:
        s.hmul = context.dpi_x, s.vmul = context.dpi_y, s.div = 25;
        break;
    case 0x200:
        s.hmul = context.dpi_x, s.vmul = context.dpi_y, s.div = 1000;
        break;
    default:
        if (context.device_measurable)
            s.hmul = context.dpi_x, s.vmul = context.dpi_y, s.div = 72;
        else
            s.hmul = 1, s.vmul = 1, s.div = 1;
        break;
    }
    if (s.div <= 0) s.div = 1;
    return s;
}

std::int32_t to_pixels(const UnitScale& scale, bool horizontal, std::int32_t value) {
    if (value == kDefault) return 0;
    const std::int64_t mul = horizontal ? scale.hmul : scale.vmul;
    return clamp32(divide_rounded(std::int64_t(value) * mul, scale.div > 0 ? scale.div : 1));
}

std::int32_t to_units(const UnitScale& scale, bool horizontal, std::int32_t pixels) {
    const std::int64_t mul = horizontal ? scale.hmul : scale.vmul;
    if (mul <= 0) return 0;
    return clamp32(divide_rounded(std::int64_t(pixels) * scale.div, mul));
}

PixelSize natural_size(const ControlDefinition& control, const UnitScale& scale, const UnitContext& context) {
    const bool font = has_font(context) && scale.avg_char_width > 0;
    const int cw = scale.avg_char_width;
    const int ch = scale.char_height;
    PixelSize general = font ? PixelSize{16 * cw, 8 * ch} : PixelSize{80, 80};
    if (!font) return general;
    const int text = text_width(context, shown_text(control.text));
    switch (control.kind) {
    case kKindPrompt:
        return {text, ch + scale.div / 4};
    case kKindCheck:
    case kKindRadio:
        // The check box or radio circle is one cell high and square, with a gap
        // of one average character before the text.
        return {ch + cw + text, ch + 2};
    case kKindButton:
        return {text + 4 * cw, ch + ch / 2 + 4};
    case kKindString:
        return {text, ch};
    case kKindEntry:
    case kKindCombo:
    case kKindSpin:
    case kKindStringVar:
        return {general.width, ch + 6};
    default:
        return general;
    }
}

PixelRect control_rect(const ControlDefinition& control, const UnitScale& scale, const UnitContext& context,
                       std::int32_t origin_x, std::int32_t origin_y) {
    const Position& p = control.pos;
    PixelRect r;
    r.left = origin_x + to_pixels(scale, true, p.x);
    r.top = origin_y + to_pixels(scale, false, p.y);
    const bool natural_w = p.width == kDefault, natural_h = p.height == kDefault;
    PixelSize natural{};
    if (natural_w || natural_h) natural = natural_size(control, scale, context);
    if (natural_w)
        r.right = r.left + natural.width;
    else
        r.right = origin_x + to_pixels(scale, true, p.x == kDefault ? p.width : clamp32(std::int64_t(p.x) + p.width));
    if (natural_h)
        r.bottom = r.top + natural.height;
    else
        r.bottom =
            origin_y + to_pixels(scale, false, p.y == kDefault ? p.height : clamp32(std::int64_t(p.y) + p.height));
    return r;
}

}  // namespace sk::ui
