// Range analysis of a view's filter against the components of the view's key.
//
// A filter is a compiled expression tree. Its top-level conjunction (AND, with
// NOT over a comparison folded into the opposite comparison) is searched for
// terms of the form FIELD op VALUE, where FIELD reads a key component of the
// primary record (as written, or through UPPER or CLIP) and VALUE does not
// depend on the record (literals, other bound variables, pure functions). Every
// term implies a bound on its component; the bounds of the leading components
// that are fixed to one value, plus the interval of the component after them,
// give a contiguous stretch of the key in which every matching record lies.
//
// Bounds are evaluated again before each fetch, because the variables on the
// VALUE side may change while the view is open. Only implications are used, so
// the stretch may hold records that do not match; the filter is still tested on
// each of them. What the analysis guarantees is the converse: no record outside
// the stretch can match, so a scan may start at its first key and stop at the
// first record past its last.
//
// Key order is the documented key encoding: STRING components by the collation
// weights of their bytes (upper-cased first for a case-insensitive key),
// integers and DECIMAL by value, descending components reversed. Components of
// other types, and strings of files with OEM text, end the usable prefix.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/control_blocks.h"
#include "runtime/expr_tree.h"

namespace sk::data {

enum class ComponentKind : unsigned char { kUnusable, kString, kNumber };

// One key component as the analysis sees it.
struct RangeComponent {
    FieldInfo field;
    bool descending = false;
    bool no_case = false;
    ComponentKind kind = ComponentKind::kUnusable;
    // Strings: the key weight of each byte (collation weight, after upper-casing
    // for a case-insensitive key), a byte for each reachable weight, and the bytes
    // of the smallest and largest weight.
    std::uint8_t key_weight[256] = {};
    std::int16_t byte_of_weight[256] = {};
    std::uint8_t min_byte = 0, max_byte = 0;
};

// One usable term: component, operator as "FIELD op VALUE", the VALUE side.
struct RangeTerm {
    int component = 0;
    int op = 0;
    const rt::ExprNode* value = nullptr;
    // For a string component: the weights of the term's VALUE are taken as they
    // are (raw) or after upper-casing (folded; a plain FIELD = VALUE on a
    // case-insensitive key).
    bool fold_value = false;
    bool integer_compare = false;
};

// Bounds of one component in value order (ascending), for one fetch.
struct ComponentBounds {
    bool has_low = false, has_high = false;
    std::string low_weights, high_weights;  // strings: key weights, field length
    std::int64_t low_value = 0, high_value = 0;  // numbers: value times 10^places
};

// The stretch of the key for one fetch.
struct KeyRange {
    bool empty = false;           // no record can match
    std::size_t fixed = 0;        // leading components held to one value
    std::vector<ComponentBounds> bounds;  // fixed + (0 or 1) entries
    bool constrained() const { return empty || !bounds.empty(); }
};

class RangePlan {
public:
    // Analyses tree (may be null) for the key of file (a primary file block).
    // A key without usable components or a filter without usable terms gives a
    // plan that never constrains.
    void analyse(const rt::ExprNode* tree, const FileControlBlock& file, const KeyControlBlock* key);

    bool usable() const { return !m_terms.empty(); }
    const std::vector<RangeComponent>& components() const { return m_components; }
    const std::vector<RangeTerm>& terms() const { return m_terms; }

    // Evaluates the VALUE sides now and builds the stretch.
    KeyRange evaluate() const;

    // Where record lies against the stretch, in key order: negative before its
    // first key, positive after its last key, 0 inside.
    int compare_low(const KeyRange& range, const char* record) const;
    int compare_high(const KeyRange& range, const char* record) const;

    // Writes into record (a copy of the record buffer) the component values of
    // the stretch's first key (high = false) or last key (high = true), the
    // unconstrained components filled with the smallest or largest key value.
    // False when no byte image reaches that key, so that the caller starts from
    // the key's end instead.
    bool write_seek_key(const KeyRange& range, bool high, char* record) const;

private:
    std::vector<RangeComponent> m_components;
    std::vector<RangeTerm> m_terms;
    const char* m_record = nullptr;
    std::uint32_t m_record_length = 0;
};

// Key weights of a string field's bytes for component c.
std::string component_weights(const RangeComponent& c, const char* field);
// A numeric field's value times 10^places (integer types: the value itself).
std::int64_t component_number(const RangeComponent& c, const char* field);

}  // namespace sk::data
