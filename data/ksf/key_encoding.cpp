// Key value encoding for every field type.
#include "data/ksf/key_encoding.h"

#include <cstring>

#include "data/control_blocks.h"
#include "runtime/locale.h"

namespace sk::ksf {

namespace {

using namespace sk::data;

// Reads the locale tables directly, once per field: two table look-ups per
// byte instead of two calls, and the zero fill past the text is one weight.
void append_collated(const std::uint8_t* text, std::size_t n, std::size_t size, bool nocase, bool oem,
                     std::string* out) {
    const sk::rt::LocaleTables& t = sk::rt::locale_tables();
    const unsigned char* weight = oem ? t.oem_collation.data() : t.collation.data();
    const unsigned char* cls = t.char_class.data();
    const unsigned char* partner = t.case_map.data();
    if (n > size) n = size;
    const std::size_t base = out->size();
    out->resize(base + size);
    char* p = out->data() + base;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = text[i];
        if (nocase && (cls[c] & sk::rt::kClassLower)) c = partner[c];
        p[i] = static_cast<char>(weight[c]);
    }
    if (n < size) {
        unsigned char z = 0;
        if (nocase && (cls[z] & sk::rt::kClassLower)) z = partner[z];
        std::memset(p + n, weight[z], size - n);
    }
}

void append_reversed(const std::uint8_t* field, std::size_t size, std::string* out) {
    for (std::size_t i = size; i > 0; --i) out->push_back(static_cast<char>(field[i - 1]));
}

bool within(const KeyComponent& c, std::size_t n) { return c.offset <= n && c.size <= n - c.offset; }

}  // namespace

std::size_t key_value_length(const KeyLayout& key) {
    std::size_t n = 0;
    for (const KeyComponent& c : key.components) n += c.size;
    return n;
}

void encode_component(const KeyComponent& c, const std::uint8_t* field, bool case_insensitive, bool oem,
                      std::string* out) {
    const std::size_t start = out->size();
    const std::size_t size = c.size;
    switch (c.type) {
    case kTypeString:
        append_collated(field, size, size, case_insensitive, oem, out);
        break;
    case kTypeCstring: {
        std::size_t n = 0;
        while (n < size && field[n] != 0) ++n;
        append_collated(field, n, size, case_insensitive, oem, out);
        break;
    }
    case kTypePstring: {
        std::size_t n = size ? field[0] : 0;
        if (size == 0 || n > size - 1) n = size ? size - 1 : 0;
        // The length byte is not part of the value; the text fills the field's size.
        append_collated(field + (size ? 1 : 0), n, size, case_insensitive, oem, out);
        break;
    }
    case kTypeUshort:
    case kTypeUlong:
        append_reversed(field, size, out);
        break;
    case kTypeShort:
    case kTypeLong:
        append_reversed(field, size, out);
        if (size) (*out)[start] = static_cast<char>((*out)[start] ^ 0x80);
        break;
    case kTypeSreal:
    case kTypeReal:
        append_reversed(field, size, out);
        if (size) {
            if (static_cast<std::uint8_t>((*out)[start]) & 0x80) {
                for (std::size_t i = start; i < out->size(); ++i) (*out)[i] = static_cast<char>(~(*out)[i]);
            } else {
                (*out)[start] = static_cast<char>((*out)[start] | 0x80);
            }
        }
        break;
    case kTypeDecimal:
        out->append(reinterpret_cast<const char*>(field), size);
        if (size) {
            if (static_cast<std::uint8_t>((*out)[start]) & 0xF0) {
                (*out)[start] = static_cast<char>((*out)[start] & 0x0F);
                for (std::size_t i = start; i < out->size(); ++i) (*out)[i] = static_cast<char>(~(*out)[i]);
            }
            (*out)[start] = static_cast<char>((*out)[start] ^ 0x80);
        }
        break;
    default:
        out->append(reinterpret_cast<const char*>(field), size);
        break;
    }
    if (c.descending) {
        for (std::size_t i = start; i < out->size(); ++i) (*out)[i] = static_cast<char>(~(*out)[i]);
    }
}

bool encode_key_value(const KeyLayout& key, const std::uint8_t* image, std::size_t n, bool oem, std::string* out) {
    out->clear();
    out->reserve(key_value_length(key));
    for (const KeyComponent& c : key.components) {
        if (!within(c, n)) return false;
        encode_component(c, image + c.offset, key.case_insensitive(), oem, out);
    }
    return true;
}

bool key_is_empty(const KeyLayout& key, const std::uint8_t* image, std::size_t n) {
    for (const KeyComponent& c : key.components) {
        if (!within(c, n)) return false;
        const std::uint8_t* f = image + c.offset;
        switch (c.type) {
        case kTypeString:
        case kTypeGroup:
            for (std::size_t i = 0; i < c.size; ++i)
                if (f[i] != ' ') return false;
            break;
        case kTypeCstring:
        case kTypePstring:
            if (c.size && f[0] != 0) return false;
            break;
        default:
            for (std::size_t i = 0; i < c.size; ++i)
                if (f[i] != 0) return false;
            break;
        }
    }
    return true;
}

}  // namespace sk::ksf
