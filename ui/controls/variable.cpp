// Bound variables as text: formatting through a picture, reading typed text back and
// storing it by storage type.
#include "ui/controls/variable.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/display/utf8.h"

namespace sk::ui {

namespace rt = sk::rt;
using rt::BoundVariable;

ControlPicture::ControlPicture(std::string_view text) {
    if (text.empty()) return;
    m_text = text.front() == '@' ? std::string(text) : "@" + std::string(text);
    m_valid = rt::compile_picture(m_text, &m_pic) != 0;
}

unsigned char ControlPicture::kind() const {
    return m_valid ? rt::picture_detail::picture_kind(m_pic) : static_cast<unsigned char>(rt::kPictureString);
}

bool ControlPicture::is_string() const {
    return !m_valid || kind() == rt::kPictureString || kind() == rt::kPictureKeyIn;
}

std::size_t ControlPicture::width() const { return m_valid ? rt::picture_width(m_pic) : 0; }

const BoundVariable* bound_variable(const VariableRef& ref) {
    if (ref.address == nullptr || ref.tag == 0 || ref.tag == kBindingTagQueue || ref.tag == kBindingTagInvalid)
        return nullptr;
    const auto* v = static_cast<const BoundVariable*>(ref.address);
    return is_valid_variable(*v) ? v : nullptr;
}

const RowSource* row_source(const VariableRef& ref) {
    if (ref.address == nullptr || ref.tag != kBindingTagQueue) return nullptr;
    const auto* s = static_cast<const RowSource*>(ref.address);
    return s->queue != nullptr ? s : nullptr;
}

bool is_string_type(unsigned char t) {
    return t == rt::kTypeString || t == rt::kTypeCString || t == rt::kTypePString || t == rt::kTypeGroup;
}

bool is_valid_variable(const BoundVariable& v) {
    if (v.address == nullptr || v.size == 0) return false;
    switch (v.type) {
        case rt::kTypeByte: return v.size == 1;
        case rt::kTypeShort:
        case rt::kTypeUShort: return v.size == 2;
        case rt::kTypeLong:
        case rt::kTypeULong:
        case rt::kTypeSReal: return v.size == 4;
        case rt::kTypeReal: return v.size == 8;
        case rt::kTypeDecimal:
        case rt::kTypePDecimal: return v.size <= 16;
        case rt::kTypeString:
        case rt::kTypeCString:
        case rt::kTypeGroup: return true;
        case rt::kTypePString: return v.size >= 1 && v.size <= 256;
        default: return false;
    }
}

std::string_view utf8_prefix(std::string_view text, std::size_t max_bytes) {
    if (text.size() <= max_bytes) return text;
    std::size_t pos = 0, end = 0;
    while (pos < text.size()) {
        sk::platform::display::decode_char(text, pos);
        if (pos > max_bytes) break;
        end = pos;
    }
    return text.substr(0, end);
}

std::string_view trim_right(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
    return text;
}

std::string variable_text(const BoundVariable& v) {
    if (!is_string_type(v.type)) {
        char buffer[400];
        return std::string(buffer, rt::picture_detail::plain_number_text(variable_number(v), buffer, sizeof buffer));
    }
    const char* p = static_cast<const char*>(v.address);
    if (v.type == rt::kTypeCString) return std::string(p, strnlen(p, v.size));
    if (v.type == rt::kTypePString) {
        std::size_t n = static_cast<unsigned char>(p[0]);
        return std::string(p + 1, std::min<std::size_t>(n, v.size - 1));
    }
    return std::string(p, v.size);
}

double variable_number(const BoundVariable& v) {
    if (is_string_type(v.type)) {
        double d = 0;
        std::string text = variable_text(v);
        return rt::picture_detail::parse_plain_number(text, &d) ? d : 0;
    }
    const unsigned char* p = static_cast<const unsigned char*>(v.address);
    switch (v.type) {
        case rt::kTypeByte: return p[0];
        case rt::kTypeShort: { std::int16_t x; std::memcpy(&x, p, 2); return x; }
        case rt::kTypeUShort: { std::uint16_t x; std::memcpy(&x, p, 2); return x; }
        case rt::kTypeLong: { std::int32_t x; std::memcpy(&x, p, 4); return x; }
        case rt::kTypeULong: { std::uint32_t x; std::memcpy(&x, p, 4); return x; }
        case rt::kTypeSReal: { float x; std::memcpy(&x, p, 4); return x; }
        case rt::kTypeReal: { double x; std::memcpy(&x, p, 8); return x; }
        case rt::kTypeDecimal:
        case rt::kTypePDecimal: return rt::decode_decimal(p, v.size, v.places);
        default: return 0;
    }
}

namespace {

// Packed decimal: sign in the high nibble of byte 0, then 2 * size - 1 digits.
bool encode_decimal(double value, unsigned char* out, std::size_t size, unsigned places) {
    double scaled = std::round(std::fabs(value) * std::pow(10.0, places));
    const std::size_t digits = 2 * size - 1;
    if (!(scaled < std::pow(10.0, static_cast<double>(digits)))) return false;
    const bool negative = value < 0 && scaled != 0;
    unsigned char nibbles[33] = {};
    for (std::size_t i = digits; i-- > 0;) {
        double q = std::floor(scaled / 10);
        nibbles[i] = static_cast<unsigned char>(scaled - q * 10);
        scaled = q;
    }
    std::memset(out, 0, size);
    out[0] = static_cast<unsigned char>((negative ? 0x80 : 0) | nibbles[0]);
    for (std::size_t i = 1; i < size; ++i)
        out[i] = static_cast<unsigned char>(nibbles[2 * i - 1] << 4 | nibbles[2 * i]);
    return true;
}

template <typename T>
bool store_integer(void* address, double value) {
    double r = std::round(value);
    if (!(r >= static_cast<double>(std::numeric_limits<T>::min()) &&
          r <= static_cast<double>(std::numeric_limits<T>::max())))
        return false;
    T x = static_cast<T>(r);
    std::memcpy(address, &x, sizeof x);
    return true;
}

}  // namespace

bool set_variable_number(const BoundVariable& v, double value) {
    if (!std::isfinite(value)) return false;
    if (is_string_type(v.type)) {
        char buffer[400];
        set_variable_text(v, std::string_view(buffer, rt::picture_detail::plain_number_text(value, buffer, sizeof buffer)));
        return true;
    }
    switch (v.type) {
        case rt::kTypeByte: return store_integer<std::uint8_t>(v.address, value);
        case rt::kTypeShort: return store_integer<std::int16_t>(v.address, value);
        case rt::kTypeUShort: return store_integer<std::uint16_t>(v.address, value);
        case rt::kTypeLong: return store_integer<std::int32_t>(v.address, value);
        case rt::kTypeULong: return store_integer<std::uint32_t>(v.address, value);
        case rt::kTypeSReal: {
            if (std::fabs(value) > std::numeric_limits<float>::max()) return false;
            float f = static_cast<float>(value);
            std::memcpy(v.address, &f, 4);
            return true;
        }
        case rt::kTypeReal: std::memcpy(v.address, &value, 8); return true;
        case rt::kTypeDecimal:
        case rt::kTypePDecimal: {
            unsigned char packed[16];
            if (!encode_decimal(value, packed, v.size, v.places)) return false;
            std::memcpy(v.address, packed, v.size);
            return true;
        }
        default: return false;
    }
}

void set_variable_text(const BoundVariable& v, std::string_view text) {
    char* p = static_cast<char*>(v.address);
    if (!is_string_type(v.type)) {
        double d = 0;
        if (rt::picture_detail::parse_plain_number(text, &d)) set_variable_number(v, d);
        return;
    }
    if (v.type == rt::kTypeCString) {
        std::string_view t = utf8_prefix(text, v.size - 1);
        std::memset(p, 0, v.size);
        std::memcpy(p, t.data(), t.size());
    } else if (v.type == rt::kTypePString) {
        std::string_view t = utf8_prefix(text, v.size - 1);
        std::memset(p, ' ', v.size);
        p[0] = static_cast<char>(t.size());
        std::memcpy(p + 1, t.data(), t.size());
    } else {
        std::string_view t = utf8_prefix(text, v.size);
        std::memset(p, ' ', v.size);
        std::memcpy(p, t.data(), t.size());
    }
}

std::string format_variable(const BoundVariable& v, const ControlPicture& picture) {
    if (!picture.has_picture()) return variable_text(v);
    const std::size_t width = picture.width();
    std::string out(width, ' ');
    if (picture.is_string()) {
        std::string text = variable_text(v);
        rt::format_text(picture.compiled(), text, out.data(), width);
        // The formatter cuts by bytes; never show half a character.
        std::string_view whole = utf8_prefix(text, width);
        if (whole.size() < width && text.size() > whole.size() && out.compare(0, whole.size(), whole) == 0)
            std::memset(out.data() + whole.size(), ' ', width - whole.size());
    } else {
        rt::format_number(picture.compiled(), variable_number(v), out.data(), width);
    }
    return out;
}

int store_variable(const BoundVariable& v, const ControlPicture& picture, std::string_view typed) {
    if (!is_valid_variable(v)) return kStoreUnbound;
    if (!picture.has_picture()) {
        // Text without a picture: at most 600 characters.
        std::string_view t = utf8_prefix(typed, 600);
        if (is_string_type(v.type)) {
            set_variable_text(v, t);
            return 0;
        }
        double d = 0;
        if (trim_right(t).find_first_not_of(' ') == std::string_view::npos) d = 0;
        else if (!rt::picture_detail::parse_plain_number(t, &d)) return kStoreUnreadable;
        return set_variable_number(v, d) ? 0 : kStoreOutOfRange;
    }
    if (picture.is_string()) {
        // The picture reads at most its width of bytes; cut before it so that no
        // character is split.
        if (picture.kind() == rt::kPictureString) typed = utf8_prefix(typed, picture.width());
        std::string value = rt::deformat(typed, picture.compiled());
        if (is_string_type(v.type)) {
            set_variable_text(v, value);
            return 0;
        }
        double d = 0;
        if (!trim_right(value).empty() && !rt::picture_detail::parse_plain_number(value, &d)) return kStoreUnreadable;
        return set_variable_number(v, d) ? 0 : kStoreOutOfRange;
    }
    double d = 0;
    if (!rt::deformat_number(typed, picture.compiled(), &d)) return kStoreUnreadable;
    if (is_string_type(v.type)) {
        // A number kept in a string variable is stored as the picture shows it.
        std::string shown(picture.width(), ' ');
        rt::format_number(picture.compiled(), d, shown.data(), shown.size());
        set_variable_text(v, shown);
        return 0;
    }
    return set_variable_number(v, d) ? 0 : kStoreOutOfRange;
}

bool variable_is_empty(const BoundVariable& v) {
    if (!is_valid_variable(v)) return true;
    if (is_string_type(v.type)) return trim_right(variable_text(v)).empty();
    return variable_number(v) == 0;
}

BoundVariable record_field(unsigned char* record, std::size_t record_size, const QueueField& field) {
    BoundVariable v;
    if (record == nullptr || field.size == 0 || field.offset > record_size || field.size > record_size - field.offset)
        return v;
    v.address = record + field.offset;
    v.type = field.type;
    v.size = field.size;
    v.places = field.places;
    return v;
}

}  // namespace sk::ui
