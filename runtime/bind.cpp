// The stack of name tables and the reading of bound variables by storage type.
#include "runtime/bind.h"

#include <cmath>
#include <cstring>
#include <map>

#include "runtime/error.h"
#include "runtime/locale.h"

namespace sk::rt {

namespace {

using NameTable = std::map<std::string, NameEntry, std::less<>>;

// The built-in functions in the order they are installed.
constexpr FunctionInfo kBuiltins[] = {
    {"INT", 1, kFnInt, ValueType::kInteger},
    {"CENTER", 2, kFnCenter, ValueType::kString},
    {"ASIN", 1, kFnAsin, ValueType::kReal},
    {"AGE", 2, kFnAge, ValueType::kString},
    {"ABS", 1, kFnAbs, ValueType::kReal},
    {"ACOS", 1, kFnAcos, ValueType::kReal},
    {"ALL", 2, kFnAll, ValueType::kString},
    {"BOR", 2, kFnBor, ValueType::kInteger},
    {"ATAN", 1, kFnAtan, ValueType::kReal},
    {"BAND", 2, kFnBand, ValueType::kInteger},
    {"BSHIFT", 2, kFnBshift, ValueType::kInteger},
    {"BXOR", 2, kFnBxor, ValueType::kInteger},
    {"DAY", 1, kFnDay, ValueType::kInteger},
    {"CLOCK", 0, kFnClock, ValueType::kInteger},
    {"CHR", 1, kFnChr, ValueType::kString},
    {"CLIP", 1, kFnClip, ValueType::kString},
    {"COS", 1, kFnCos, ValueType::kReal},
    {"DATE", 3, kFnDate, ValueType::kInteger},
    {"INRANGE", 3, kFnInrange, ValueType::kInteger},
    {"DEFORMAT", 2, kFnDeformat, ValueType::kString},
    {"FORMAT", 2, kFnFormat, ValueType::kString},
    {"INSTRING", 4, kFnInstring, ValueType::kInteger},
    {"RANDOM", 2, kFnRandom, ValueType::kInteger},
    {"LOWER", 1, kFnLower, ValueType::kString},
    {"LOG10", 1, kFnLog10, ValueType::kReal},
    {"LEFT", 2, kFnLeft, ValueType::kString},
    {"LEN", 1, kFnLen, ValueType::kInteger},
    {"LOGE", 1, kFnLoge, ValueType::kReal},
    {"MEMORY", 1, kFnMemory, ValueType::kInteger},
    {"MONTH", 1, kFnMonth, ValueType::kInteger},
    {"NUMERIC", 1, kFnNumeric, ValueType::kInteger},
    {"TAN", 1, kFnTan, ValueType::kReal},
    {"SIN", 1, kFnSin, ValueType::kReal},
    {"RIGHT", 2, kFnRight, ValueType::kString},
    {"ROUND", 2, kFnRound, ValueType::kReal},
    {"SQRT", 1, kFnSqrt, ValueType::kReal},
    {"SUB", 3, kFnSub, ValueType::kString},
    {"VAL", 1, kFnVal, ValueType::kInteger},
    {"TODAY", 0, kFnToday, ValueType::kInteger},
    {"UPPER", 1, kFnUpper, ValueType::kString},
    {"YEAR", 1, kFnYear, ValueType::kInteger},
};

struct WordOperator {
    const char* name;
    int op;
};
constexpr WordOperator kWordOperators[] = {
    {"NOT", kOpNot}, {"AND", kOpAnd}, {"OR", kOpOr}, {"XOR", kOpXor}};

}  // namespace

// A scope stack: the current table is the last one; the ones before it are the
// saved scopes.
struct ScopeStack {
    std::vector<NameTable> tables = std::vector<NameTable>(1);
};

namespace {

// The program's own stack, used until a thread of control installs its own.
// Function-local so that it exists before any static initialiser of another module
// binds a name.
ScopeStack& main_stack() {
    static ScopeStack stack;
    return stack;
}
ScopeStack*& active_stack() {
    static ScopeStack* active = nullptr;
    return active;
}

std::vector<NameTable>& scopes() {
    ScopeStack* s = active_stack();
    return (s ? *s : main_stack()).tables;
}

NameTable& current_table() { return scopes().back(); }

std::string table_key(std::string_view name) {
    std::string key(name);
    for (char& c : key) c = static_cast<char>(upper_char(static_cast<unsigned char>(c)));
    return key;
}

void install_builtins(NameTable& table) {
    for (const FunctionInfo& f : kBuiltins) {
        NameEntry e;
        e.kind = NameKind::kFunction;
        e.function = &f;
        table[f.name] = e;
    }
    for (const WordOperator& w : kWordOperators) {
        NameEntry e;
        e.kind = NameKind::kWordOperator;
        e.op = w.op;
        table[w.name] = e;
    }
}

NameTable& table_for_use() {
    NameTable& t = current_table();
    if (t.empty()) install_builtins(t);
    return t;
}

bool valid_name(std::string_view name) { return !name.empty() && name.size() <= kMaxNameLength; }

// The sizes a storage type can have; 0 means any size of at least 1.
bool valid_size(unsigned char type, std::uint32_t size) {
    switch (type) {
        case kTypeByte: return size == 1;
        case kTypeShort:
        case kTypeUShort: return size == 2;
        case kTypeLong:
        case kTypeULong:
        case kTypeSReal: return size == 4;
        case kTypeReal: return size == 8;
        case kTypeDecimal:
        case kTypePDecimal: return size >= 1 && size <= 16;
        default: break;
    }
    if (type < kTypeULong) return size == 1 || size == 2 || size == 4;
    if (type < kTypeString) return size == 4 || size == 8;
    return size >= 1;
}

std::uint32_t read_le(const unsigned char* p, std::size_t n) {
    std::uint32_t v = 0;
    for (std::size_t i = n; i-- > 0;) v = (v << 8) | p[i];
    return v;
}

}  // namespace

std::span<const FunctionInfo> builtin_functions() { return kBuiltins; }

BoundVariable bound_byte(std::uint8_t* v) { return {v, kTypeByte, 1, 0}; }
BoundVariable bound_short(std::int16_t* v) { return {v, kTypeShort, 2, 0}; }
BoundVariable bound_ushort(std::uint16_t* v) { return {v, kTypeUShort, 2, 0}; }
BoundVariable bound_long(std::int32_t* v) { return {v, kTypeLong, 4, 0}; }
BoundVariable bound_ulong(std::uint32_t* v) { return {v, kTypeULong, 4, 0}; }
BoundVariable bound_sreal(float* v) { return {v, kTypeSReal, 4, 0}; }
BoundVariable bound_real(double* v) { return {v, kTypeReal, 8, 0}; }
BoundVariable bound_decimal(void* v, unsigned digits, unsigned places) {
    return {v, kTypeDecimal, digits / 2 + 1, static_cast<unsigned char>(places)};
}
BoundVariable bound_string(char* v, std::uint32_t size) { return {v, kTypeString, size, 0}; }
BoundVariable bound_cstring(char* v, std::uint32_t size) { return {v, kTypeCString, size, 0}; }
BoundVariable bound_pstring(char* v, std::uint32_t size) { return {v, kTypePString, size, 0}; }
BoundVariable bound_array(const BoundVariable& item, std::uint32_t count) {
    BoundVariable v = item;
    v.elements = count;
    return v;
}

ValueType value_type_of(unsigned char storage_type) {
    if (storage_type < kTypeULong) return ValueType::kInteger;
    if (storage_type < kTypeString) return ValueType::kReal;
    return ValueType::kString;
}

double decode_decimal(const unsigned char* bytes, std::size_t n, unsigned places) {
    if (n == 0) return 0;
    // Digits fill every nibble after the sign nibble, most significant first.
    bool negative = (bytes[0] >> 4) != 0;
    std::uint64_t whole = 0;
    double big = 0;
    bool use_big = false;
    int count = 0;
    auto add_digit = [&](unsigned d) {
        if (d > 9) d = 9;  // a damaged nibble reads as the largest digit
        if (!use_big && count < 18) {
            whole = whole * 10 + d;
        } else {
            if (!use_big) big = static_cast<double>(whole);
            use_big = true;
            big = big * 10 + d;
        }
        ++count;
    };
    add_digit(bytes[0] & 0x0F);
    for (std::size_t i = 1; i < n; ++i) {
        add_digit(bytes[i] >> 4);
        add_digit(bytes[i] & 0x0F);
    }
    double value = use_big ? big : static_cast<double>(whole);
    if (places > 0) value /= std::pow(10.0, static_cast<double>(places));
    return negative ? -value : value;
}

std::int32_t read_integer(const BoundVariable& v) {
    if (!v.address) return 0;
    const auto* p = static_cast<const unsigned char*>(v.address);
    switch (v.type) {
        case kTypeByte: return p[0];
        case kTypeShort: return static_cast<std::int16_t>(static_cast<std::uint16_t>(read_le(p, 2)));
        case kTypeUShort: return static_cast<std::int32_t>(read_le(p, 2));
        default: break;
    }
    switch (v.size) {
        case 1: return static_cast<std::int8_t>(p[0]);
        case 2: return static_cast<std::int16_t>(static_cast<std::uint16_t>(read_le(p, 2)));
        default: return static_cast<std::int32_t>(read_le(p, 4));
    }
}

double read_real(const BoundVariable& v) {
    if (!v.address) return 0;
    const auto* p = static_cast<const unsigned char*>(v.address);
    if (v.type == kTypeULong) return static_cast<double>(read_le(p, 4));
    if (v.type == kTypeDecimal || v.type == kTypePDecimal) return decode_decimal(p, v.size, v.places);
    if (v.size == 4) {
        float f;
        std::memcpy(&f, p, 4);
        return f;
    }
    if (v.size == 8) {
        double d;
        std::memcpy(&d, p, 8);
        return d;
    }
    return 0;
}

std::string_view read_string(const BoundVariable& v) {
    if (!v.address || v.size == 0) return {};
    const char* p = static_cast<const char*>(v.address);
    if (v.type == kTypeCString) {
        const void* nul = std::memchr(p, 0, v.size);
        return std::string_view(p, nul ? static_cast<const char*>(nul) - p : v.size);
    }
    if (v.type == kTypePString) {
        std::size_t n = static_cast<unsigned char>(p[0]);
        if (n > v.size - 1) n = v.size - 1;
        return std::string_view(p + 1, n);
    }
    return std::string_view(p, v.size);
}

bool bind_name(std::string_view name, const BoundVariable& variable) {
    if (!valid_name(name)) return false;
    // An array must fit in the address space the runtime reads it through.
    bool array_fits = static_cast<std::uint64_t>(variable.size) * variable.elements <= 0x7FFFFFFFu;
    if (!variable.address || !valid_size(variable.type, variable.size) || !array_fits) {
        post_error(kInvalidFieldType);
        return false;
    }
    NameEntry e;
    e.kind = NameKind::kVariable;
    e.variable = variable;
    table_for_use()[table_key(name)] = e;
    return true;
}

bool bind_procedure(std::string_view name, BoundProcedure procedure, std::vector<ValueType> parameter_types,
                    ValueType result_type) {
    if (!valid_name(name) || !procedure) return false;
    auto binding = std::make_shared<ProcedureBinding>();
    binding->procedure = std::move(procedure);
    binding->parameter_types = std::move(parameter_types);
    binding->result_type = result_type;
    NameEntry e;
    e.kind = NameKind::kProcedure;
    e.procedure = std::move(binding);
    table_for_use()[table_key(name)] = e;
    return true;
}

void push_scope() { scopes().emplace_back(); }

void pop_scope() {
    auto& s = scopes();
    if (s.size() <= 1) {
        runtime_error(kMismatchedScope, "Mismatched POPSCOPE");
        return;  // only reached while runtime errors are not fatal
    }
    s.pop_back();
}

void clear_bindings() { current_table().clear(); }

std::size_t scope_depth() { return scopes().size() - 1; }

ScopeStack* create_scope_stack() { return new ScopeStack; }
void destroy_scope_stack(ScopeStack* stack) {
    if (!stack) return;
    if (active_stack() == stack) active_stack() = nullptr;
    delete stack;
}
ScopeStack* activate_scope_stack(ScopeStack* stack) {
    ScopeStack* previous = active_stack();
    active_stack() = stack;
    return previous;
}

void reset_all_scopes() {
    auto& s = scopes();
    s.clear();
    s.emplace_back();
}

const NameEntry* lookup_name(std::string_view name) {
    if (!valid_name(name)) return nullptr;
    NameTable& t = table_for_use();
    auto it = t.find(table_key(name));
    return it == t.end() ? nullptr : &it->second;
}

}  // namespace sk::rt
