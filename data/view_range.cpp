// Range analysis of view filters: terms found in the filter tree, bounds of the
// key components evaluated per fetch, record placement and seek keys.
#include "data/view_range.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "runtime/locale.h"

namespace sk::data {

namespace {

using rt::ExprNode;
using rt::NodeKind;

constexpr std::size_t kMaxDecimalBytes = 9;  // 17 digit nibbles fit an int64

bool is_integer_type(std::uint8_t type) {
    return type == kTypeByte || type == kTypeShort || type == kTypeUshort || type == kTypeLong || type == kTypeUlong;
}

std::int64_t power_of_ten(unsigned n) {
    std::int64_t p = 1;
    for (unsigned i = 0; i < n && i < 18; ++i) p *= 10;
    return p;
}

// Smallest and largest value a numeric component can hold, times 10^places.
void number_limits(const RangeComponent& c, std::int64_t* lo, std::int64_t* hi) {
    switch (c.field.type) {
        case kTypeByte: *lo = 0; *hi = 255; return;
        case kTypeShort: *lo = -32768; *hi = 32767; return;
        case kTypeUshort: *lo = 0; *hi = 65535; return;
        case kTypeLong: *lo = std::numeric_limits<std::int32_t>::min(); *hi = std::numeric_limits<std::int32_t>::max(); return;
        case kTypeUlong: *lo = 0; *hi = std::numeric_limits<std::uint32_t>::max(); return;
        default: {
            std::int64_t m = power_of_ten(2 * c.field.size - 1) - 1;
            *lo = -m;
            *hi = m;
        }
    }
}

int mirror(int op) {
    switch (op) {
        case rt::kOpLess: return rt::kOpGreater;
        case rt::kOpGreater: return rt::kOpLess;
        case rt::kOpLessEqual: return rt::kOpGreaterEqual;
        case rt::kOpGreaterEqual: return rt::kOpLessEqual;
        default: return op;
    }
}

int negate(int op) {
    switch (op) {
        case rt::kOpEqual: return rt::kOpNotEqual;
        case rt::kOpNotEqual: return rt::kOpEqual;
        case rt::kOpLess: return rt::kOpGreaterEqual;
        case rt::kOpGreater: return rt::kOpLessEqual;
        case rt::kOpLessEqual: return rt::kOpGreater;
        case rt::kOpGreaterEqual: return rt::kOpLess;
        default: return 0;
    }
}

// True when equal collation weights of two bytes imply equal weights of their
// upper-case forms, so that FIELD = VALUE bounds the upper-cased key.
bool upper_respects_weights() {
    int upper_weight_of[256];
    for (int& w : upper_weight_of) w = -1;
    for (int c = 0; c < 256; ++c) {
        int w = rt::collation_weight(std::uint8_t(c));
        int uw = rt::collation_weight(rt::upper_char(std::uint8_t(c)));
        if (upper_weight_of[w] == -1) {
            upper_weight_of[w] = uw;
        } else if (upper_weight_of[w] != uw) {
            return false;
        }
    }
    return true;
}

struct Analyser {
    const FileControlBlock& file;
    std::vector<RangeComponent>& components;
    std::vector<RangeTerm>& terms;

    bool overlaps(const void* address, std::size_t size, const char* block, std::size_t block_size) const {
        if (block == nullptr || address == nullptr) return false;
        const char* a = static_cast<const char*>(address);
        return a < block + block_size && block < a + (size == 0 ? 1 : size);
    }

    bool reads_record(const rt::BoundVariable& v) const {
        std::size_t size = std::size_t(v.size) * (v.elements > 0 ? v.elements : 1);
        if (overlaps(v.address, size, file.record, file.record_length)) return true;
        if (file.memos != nullptr) {
            for (unsigned i = 0; i < file.memo_count; ++i) {
                const MemoControlBlock* m = file.memos[i];
                if (m != nullptr && overlaps(v.address, size, m->buffer, m->size)) return true;
            }
        }
        return false;
    }

    // A subtree whose value cannot change while the records are read.
    bool is_constant(const ExprNode* n) const {
        if (n == nullptr) return true;
        switch (n->kind) {
            case NodeKind::kLiteral:
                return true;
            case NodeKind::kProcedure:
                return false;
            case NodeKind::kName:
                return !reads_record(n->variable) && is_constant(n->element.get()) && is_constant(n->index.get()) &&
                       is_constant(n->slice_end.get());
            case NodeKind::kFunction: {
                if (n->function == nullptr) return false;
                int f = n->function->number;
                if (f == rt::kFnRandom || f == rt::kFnClock || f == rt::kFnToday || f == rt::kFnMemory) return false;
                for (const auto& a : n->args) {
                    if (!is_constant(a.get())) return false;
                }
                return true;
            }
            default:
                return is_constant(n->left.get()) && is_constant(n->right.get());
        }
    }

    // The component a field expression reads, or -1. upper is set when the field
    // is read through UPPER.
    int field_component(const ExprNode* n, bool* upper) const {
        *upper = false;
        while (n != nullptr && n->kind == NodeKind::kFunction && n->function != nullptr &&
               (n->function->number == rt::kFnUpper || n->function->number == rt::kFnClip) && !n->args.empty()) {
            if (n->function->number == rt::kFnUpper) *upper = true;
            n = n->args[0].get();
        }
        if (n == nullptr || n->kind != NodeKind::kName || n->element || n->index || n->slice_end) return -1;
        const rt::BoundVariable& v = n->variable;
        if (v.elements > 0 || file.record == nullptr) return -1;
        const char* a = static_cast<const char*>(v.address);
        if (a < file.record || a >= file.record + file.record_length) return -1;
        std::size_t offset = std::size_t(a - file.record);
        for (std::size_t i = 0; i < components.size(); ++i) {
            const RangeComponent& c = components[i];
            if (c.kind == ComponentKind::kUnusable) continue;
            if (c.field.offset == offset && c.field.type == v.type && c.field.size == v.size) return int(i);
        }
        return -1;
    }

    bool wrapped(const ExprNode* n) const { return n != nullptr && n->kind == NodeKind::kFunction; }

    void comparison(const ExprNode* n, int op) {
        if (op == 0 || op == rt::kOpNotEqual || !n->left || !n->right) return;
        bool upper = false;
        const ExprNode* value = nullptr;
        const ExprNode* field = nullptr;
        int index = field_component(n->left.get(), &upper);
        if (index >= 0 && is_constant(n->right.get())) {
            field = n->left.get();
            value = n->right.get();
        } else {
            index = field_component(n->right.get(), &upper);
            if (index < 0 || !is_constant(n->left.get())) return;
            field = n->right.get();
            value = n->left.get();
            op = mirror(op);
        }
        const RangeComponent& c = components[std::size_t(index)];
        RangeTerm term;
        term.component = index;
        term.op = op;
        term.value = value;
        if (c.kind == ComponentKind::kString) {
            if (n->compare != rt::CompareMode::kString) return;
            if (upper != c.no_case) {
                // A plain field on a case-insensitive key bounds the key only
                // through equality; an upper-cased field on a case-sensitive key
                // matches letters of either case anywhere in the key.
                if (upper || op != rt::kOpEqual || !upper_respects_weights()) return;
                term.fold_value = true;
            }
        } else {
            if (wrapped(field) || n->compare == rt::CompareMode::kString) return;
            term.integer_compare = n->compare == rt::CompareMode::kInteger;
        }
        terms.push_back(term);
    }

    void walk(const ExprNode* n) {
        if (n == nullptr) return;
        if (n->kind == NodeKind::kBinary && n->op == rt::kOpAnd) {
            walk(n->left.get());
            walk(n->right.get());
        } else if (n->kind == NodeKind::kNot) {
            const ExprNode* operand = n->left.get();
            if (n->op == 0) {
                walk(operand);
            } else if (operand != nullptr && operand->kind == NodeKind::kCompare) {
                comparison(operand, negate(operand->op));
            }
        } else if (n->kind == NodeKind::kCompare) {
            comparison(n, n->op);
        }
    }
};

void prepare_string(RangeComponent& c) {
    for (int w = 0; w < 256; ++w) c.byte_of_weight[w] = -1;
    int min_w = 256, max_w = -1;
    for (int b = 0; b < 256; ++b) {
        std::uint8_t v = std::uint8_t(b);
        std::uint8_t w = rt::collation_weight(c.no_case ? rt::upper_char(v) : v);
        c.key_weight[b] = w;
        if (c.byte_of_weight[w] < 0) c.byte_of_weight[w] = std::int16_t(b);
        if (w < min_w) { min_w = w; c.min_byte = v; }
        if (w > max_w) { max_w = w; c.max_byte = v; }
    }
}

int sign(std::int64_t a, std::int64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

int compare_weights(const std::string& a, const std::string& b) {
    int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void put_le(char* p, std::uint64_t v, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) p[i] = char((v >> (8 * i)) & 0xFF);
}

void write_decimal(char* p, std::size_t size, std::int64_t v, bool negative_zero) {
    bool negative = v < 0 || (v == 0 && negative_zero);
    std::uint64_t m = v < 0 ? std::uint64_t(-(v + 1)) + 1 : std::uint64_t(v);
    std::memset(p, 0, size);
    // Digit nibbles from the last one backwards; nibble 0 is the sign.
    for (std::size_t nib = 2 * size - 1; nib >= 1; --nib) {
        std::uint8_t d = std::uint8_t(m % 10);
        m /= 10;
        std::uint8_t& byte = reinterpret_cast<std::uint8_t&>(p[nib / 2]);
        byte = nib % 2 ? std::uint8_t((byte & 0xF0) | d) : std::uint8_t((byte & 0x0F) | (d << 4));
    }
    if (negative) p[0] = char(std::uint8_t(p[0]) | 0xF0);
}

// Fills a component with its smallest (key_high false) or largest key value.
bool fill_extreme(const RangeComponent& c, bool key_high, char* p) {
    bool value_high = key_high != c.descending;  // the value that sorts there
    std::size_t n = c.field.size;
    switch (c.field.type) {
        case kTypeString:
            if (c.kind != ComponentKind::kString) return false;
            std::memset(p, value_high ? c.max_byte : c.min_byte, n);
            return true;
        case kTypeByte: case kTypeUshort: case kTypeUlong:
            std::memset(p, value_high ? 0xFF : 0x00, n);
            return true;
        case kTypeShort: case kTypeLong:
            std::memset(p, value_high ? 0xFF : 0x00, n);
            p[n - 1] = char(value_high ? 0x7F : 0x80);
            return true;
        case kTypeSreal: case kTypeReal:
            // All ones is the lowest key (a negative NaN); the largest is the
            // positive NaN with every other bit set.
            std::memset(p, 0xFF, n);
            if (value_high) p[n - 1] = 0x7F;
            return true;
        case kTypeDecimal:
            std::memset(p, 0xFF, n);
            if (value_high) p[0] = 0x0F;
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string component_weights(const RangeComponent& c, const char* field) {
    std::string out(c.field.size, '\0');
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = char(c.key_weight[std::uint8_t(field[i])]);
    return out;
}

std::int64_t component_number(const RangeComponent& c, const char* field) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(field);
    switch (c.field.type) {
        case kTypeByte: return p[0];
        case kTypeShort: return std::int16_t(std::uint16_t(p[0] | p[1] << 8));
        case kTypeUshort: return std::uint16_t(p[0] | p[1] << 8);
        case kTypeLong: case kTypeUlong: {
            std::uint32_t v = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                              std::uint32_t(p[3]) << 24;
            return c.field.type == kTypeLong ? std::int64_t(std::int32_t(v)) : std::int64_t(v);
        }
        default: {
            std::int64_t m = 0;
            for (std::size_t nib = 1; nib < 2 * std::size_t(c.field.size); ++nib) {
                std::uint8_t byte = p[nib / 2];
                m = m * 10 + (nib % 2 ? byte & 0x0F : byte >> 4);
            }
            return (p[0] >> 4) != 0 ? -m : m;
        }
    }
}

void RangePlan::analyse(const rt::ExprNode* tree, const FileControlBlock& file, const KeyControlBlock* key) {
    m_components.clear();
    m_terms.clear();
    m_record = file.record;
    m_record_length = file.record_length;
    if (key == nullptr || key->components == nullptr || file.record == nullptr) return;
    std::vector<FieldInfo> fields;
    if (parse_field_stream(file.fields, file.fields_size, &fields) != 0) return;
    for (unsigned i = 0; i < key->component_count; ++i) {
        std::int32_t v = key->components[i];
        std::int64_t index = v > 0 ? std::int64_t(v) - 1 : std::int64_t(~v);
        if (v == 0 || index < 0 || std::size_t(index) >= fields.size()) break;
        RangeComponent c;
        c.field = fields[std::size_t(index)];
        c.descending = v < 0;
        c.no_case = (key->attributes & kKeyNoCase) != 0;
        bool fits = c.field.size > 0 && std::uint64_t(c.field.offset) + c.field.size <= file.record_length;
        if (fits && c.field.type == kTypeString && (file.attributes & kAttrOemText) == 0) {
            c.kind = ComponentKind::kString;
            prepare_string(c);
        } else if (fits && (is_integer_type(c.field.type) ||
                            (c.field.type == kTypeDecimal && c.field.size <= kMaxDecimalBytes))) {
            c.kind = ComponentKind::kNumber;
        }
        m_components.push_back(c);
    }
    Analyser a{file, m_components, m_terms};
    a.walk(tree);
}

KeyRange RangePlan::evaluate() const {
    KeyRange range;
    std::vector<ComponentBounds> all(m_components.size());
    for (const RangeTerm& t : m_terms) {
        const RangeComponent& c = m_components[std::size_t(t.component)];
        ComponentBounds& b = all[std::size_t(t.component)];
        bool low = t.op == rt::kOpEqual || t.op == rt::kOpGreater || t.op == rt::kOpGreaterEqual;
        bool high = t.op == rt::kOpEqual || t.op == rt::kOpLess || t.op == rt::kOpLessEqual;
        if (c.kind == ComponentKind::kString) {
            std::string_view text = rt::eval_text(*t.value);
            std::size_t n = c.field.size;
            std::string w(n, '\0');
            for (std::size_t i = 0; i < n; ++i) {
                std::uint8_t ch = i < text.size() ? std::uint8_t(text[i]) : std::uint8_t(' ');
                w[i] = char(rt::collation_weight(t.fold_value ? rt::upper_char(ch) : ch));
            }
            if (t.op == rt::kOpEqual) {
                // Characters past the field's length must weigh as the blank padding.
                for (std::size_t i = n; i < text.size(); ++i) {
                    std::uint8_t ch = std::uint8_t(text[i]);
                    if (ch != ' ' && rt::collation_weight(ch) != rt::collation_weight(' ')) range.empty = true;
                }
            }
            if (low && (!b.has_low || w > b.low_weights)) { b.low_weights = w; b.has_low = true; }
            if (high && (!b.has_high || w < b.high_weights)) { b.high_weights = w; b.has_high = true; }
        } else {
            std::int64_t tmin = 0, tmax = 0;
            number_limits(c, &tmin, &tmax);
            double k = t.integer_compare ? double(rt::eval_integer(*t.value)) : rt::eval_real(*t.value);
            if (std::isnan(k)) continue;  // a NaN compares equal to everything
            double x = k * double(power_of_ten(c.field.type == kTypeDecimal ? c.field.places : 0));
            // Real comparisons treat values within a tiny relative distance as
            // equal; the margin keeps such records inside the bounds.
            double margin = t.integer_compare ? 0.0 : 1e-9 * std::max(1.0, std::fabs(x));
            if (low) {
                double lx = std::ceil(x - margin);
                if (lx > double(tmax)) {
                    range.empty = true;
                } else if (lx >= double(tmin)) {
                    std::int64_t v = std::int64_t(lx);
                    if (!b.has_low || v > b.low_value) { b.low_value = v; b.has_low = true; }
                }
            }
            if (high) {
                double hx = std::floor(x + margin);
                if (hx < double(tmin)) {
                    range.empty = true;
                } else if (hx <= double(tmax)) {
                    std::int64_t v = std::int64_t(hx);
                    if (!b.has_high || v < b.high_value) { b.high_value = v; b.has_high = true; }
                }
            }
        }
    }
    for (std::size_t i = 0; i < all.size(); ++i) {
        const ComponentBounds& b = all[i];
        if (!b.has_low || !b.has_high) continue;
        bool string = m_components[i].kind == ComponentKind::kString;
        if (string ? b.low_weights > b.high_weights : b.low_value > b.high_value) range.empty = true;
    }
    if (range.empty) return range;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const ComponentBounds& b = all[i];
        if (!b.has_low && !b.has_high) break;
        range.bounds.push_back(b);
        bool string = m_components[i].kind == ComponentKind::kString;
        bool single = b.has_low && b.has_high &&
                      (string ? b.low_weights == b.high_weights : b.low_value == b.high_value);
        if (!single) break;
        ++range.fixed;
    }
    return range;
}

namespace {

// Value order of a record's component against one side of its bounds.
int value_compare(const RangeComponent& c, const ComponentBounds& b, bool high, const char* record) {
    const char* field = record + c.field.offset;
    if (c.kind == ComponentKind::kString) {
        return compare_weights(component_weights(c, field), high ? b.high_weights : b.low_weights);
    }
    return sign(component_number(c, field), high ? b.high_value : b.low_value);
}

}  // namespace

int RangePlan::compare_low(const KeyRange& range, const char* record) const {
    for (std::size_t i = 0; i < range.bounds.size(); ++i) {
        const RangeComponent& c = m_components[i];
        const ComponentBounds& b = range.bounds[i];
        bool value_high = c.descending;  // the side that is the key's low end
        if (i >= range.fixed && !(value_high ? b.has_high : b.has_low)) return 0;
        int order = value_compare(c, b, i < range.fixed ? false : value_high, record);
        if (c.descending) order = -order;
        if (order != 0 || i >= range.fixed) return order;
    }
    return 0;
}

int RangePlan::compare_high(const KeyRange& range, const char* record) const {
    for (std::size_t i = 0; i < range.bounds.size(); ++i) {
        const RangeComponent& c = m_components[i];
        const ComponentBounds& b = range.bounds[i];
        bool value_high = !c.descending;  // the side that is the key's high end
        if (i >= range.fixed && !(value_high ? b.has_high : b.has_low)) return 0;
        int order = value_compare(c, b, i < range.fixed ? false : value_high, record);
        if (c.descending) order = -order;
        if (order != 0 || i >= range.fixed) return order;
    }
    return 0;
}

bool RangePlan::write_seek_key(const KeyRange& range, bool high, char* record) const {
    bool extreme = false;  // the key is already past the bound: fill the rest
    for (std::size_t i = 0; i < m_components.size(); ++i) {
        const RangeComponent& c = m_components[i];
        char* p = record + c.field.offset;
        if (c.field.offset + std::uint64_t(c.field.size) > m_record_length) return false;
        bool value_high = high != c.descending;
        const ComponentBounds* b = i < range.bounds.size() ? &range.bounds[i] : nullptr;
        bool has = b != nullptr && (value_high ? b->has_high : b->has_low);
        if (extreme || !has) {
            if (!fill_extreme(c, high, p)) return false;
            extreme = true;
            continue;
        }
        if (c.kind == ComponentKind::kNumber) {
            std::int64_t v = value_high ? b->high_value : b->low_value;
            if (c.field.type == kTypeDecimal) {
                write_decimal(p, c.field.size, v, !value_high);
            } else {
                put_le(p, std::uint64_t(v), c.field.size);
            }
            continue;
        }
        // A string: a byte for each weight where one exists; otherwise the
        // nearest weight on the safe side, and the extreme byte after it.
        const std::string& w = value_high ? b->high_weights : b->low_weights;
        for (std::size_t k = 0; k < c.field.size; ++k) {
            int target = std::uint8_t(w[k]);
            if (c.byte_of_weight[target] >= 0) {
                p[k] = char(c.byte_of_weight[target]);
                continue;
            }
            int best = -1;
            for (int byte = 0; byte < 256; ++byte) {
                int kw = c.key_weight[byte];
                bool beyond = value_high ? kw > target : kw < target;
                if (!beyond) continue;
                if (best < 0 || (value_high ? kw < c.key_weight[best] : kw > c.key_weight[best])) best = byte;
            }
            if (best < 0) return false;
            p[k] = char(best);
            std::memset(p + k + 1, value_high ? c.min_byte : c.max_byte, c.field.size - k - 1);
            extreme = true;
            break;
        }
    }
    return true;
}

}  // namespace sk::data
