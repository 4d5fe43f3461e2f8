// Tables of bound names: built-in functions, word operators, bound variables and
// bound procedures, one table per scope, in a process-wide stack of scopes.
//
// Names are at most 100 characters and are looked up without regard to case. A
// table that is empty when a name is bound or an expression compiled first gets
// the built-in functions and word operators. The program binds each variable it
// wants an expression to read; the tree keeps the variable's address, so the
// variable must outlive every tree compiled over it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/expr.h"

namespace sk::rt {

inline constexpr std::size_t kMaxNameLength = 100;

// Storage type codes of bound variables (the record declaration's field codes).
enum StorageType : unsigned char {
    kTypeByte = 0x01,     // 1 byte unsigned
    kTypeShort = 0x02,    // 2 bytes signed, little-endian
    kTypeUShort = 0x03,   // 2 bytes unsigned, little-endian
    kTypeLong = 0x06,     // 4 bytes signed, little-endian
    kTypeULong = 0x07,    // 4 bytes unsigned, little-endian (read as a real)
    kTypeSReal = 0x08,    // 4-byte IEEE float
    kTypeReal = 0x09,     // 8-byte IEEE double
    kTypeDecimal = 0x0A,  // packed decimal, sign in the high nibble of byte 0
    kTypePDecimal = 0x0B, // packed decimal of the same layout
    kTypeString = 0x12,   // fixed length, blank-padded
    kTypeCString = 0x13,  // fixed length, NUL-terminated within the size
    kTypePString = 0x14,  // length byte first, text follows
    kTypeGroup = 0x16,    // a group's bytes, read as a fixed string
};

// A variable an expression reads: its address, storage type code and size in
// bytes. A DECIMAL also carries its number of decimal places (its size is the
// number of digits / 2 + 1 bytes). With elements > 0 the variable is an array of
// that many items of size bytes each; "NAME[i]" reads item i (from 1), and the
// name without a subscript reads item 1.
struct BoundVariable {
    void* address = nullptr;
    unsigned char type = 0;
    std::uint32_t size = 0;
    unsigned char places = 0;
    std::uint32_t elements = 0;
};

BoundVariable bound_byte(std::uint8_t* v);
BoundVariable bound_short(std::int16_t* v);
BoundVariable bound_ushort(std::uint16_t* v);
BoundVariable bound_long(std::int32_t* v);
BoundVariable bound_ulong(std::uint32_t* v);
BoundVariable bound_sreal(float* v);
BoundVariable bound_real(double* v);
BoundVariable bound_decimal(void* v, unsigned digits, unsigned places);
BoundVariable bound_string(char* v, std::uint32_t size);
BoundVariable bound_cstring(char* v, std::uint32_t size);
BoundVariable bound_pstring(char* v, std::uint32_t size);
// An array of count items laid out like item.
BoundVariable bound_array(const BoundVariable& item, std::uint32_t count);

// The value type an expression reads a storage type as: codes below 07h as
// integers, 07h to 11h as reals, 12h and above as strings.
ValueType value_type_of(unsigned char storage_type);

// Reading a bound variable in its own value class. The string view points into
// the variable (PSTRING after its length byte; CSTRING up to its NUL).
std::int32_t read_integer(const BoundVariable& v);
double read_real(const BoundVariable& v);
std::string_view read_string(const BoundVariable& v);
// Packed decimal of n bytes with places decimal places.
double decode_decimal(const unsigned char* bytes, std::size_t n, unsigned places);

// A value passed to or returned by a bound procedure. An argument slot that was
// left out in the call has present == false and a zero or empty value.
struct ExprValue {
    ValueType type = ValueType::kInteger;
    bool present = true;
    std::int32_t integer = 0;
    double real = 0;
    std::string text;
};

// A bound procedure receives one value per declared parameter, each evaluated in
// the parameter's type; the result is read as the declared result type.
using BoundProcedure = std::function<ExprValue(std::span<const ExprValue> arguments)>;

struct ProcedureBinding {
    BoundProcedure procedure;
    std::vector<ValueType> parameter_types;
    ValueType result_type = ValueType::kInteger;
};

// Entries of a table of names.
enum class NameKind : unsigned char { kFunction, kWordOperator, kVariable, kProcedure };

struct FunctionInfo {
    const char* name;
    int max_args;
    int number;
    ValueType result;
};

struct NameEntry {
    NameKind kind = NameKind::kVariable;
    const FunctionInfo* function = nullptr;  // kFunction
    int op = 0;                              // kWordOperator
    BoundVariable variable;                  // kVariable
    std::shared_ptr<const ProcedureBinding> procedure;  // kProcedure
};

// Function numbers of the built-ins.
enum FunctionNumber : int {
    kFnMemory = 1, kFnSub = 2, kFnInstring = 3, kFnClip = 4, kFnAll = 5, kFnCenter = 6,
    kFnChr = 7, kFnDeformat = 8, kFnFormat = 9, kFnLeft = 10, kFnLen = 11, kFnLower = 12,
    kFnNumeric = 13, kFnRight = 14, kFnUpper = 15, kFnVal = 16, kFnAbs = 17, kFnInrange = 18,
    kFnInt = 19, kFnLoge = 20, kFnLog10 = 21, kFnRandom = 22, kFnRound = 23, kFnSqrt = 24,
    kFnSin = 25, kFnCos = 26, kFnTan = 27, kFnAsin = 28, kFnAcos = 29, kFnAtan = 30,
    kFnBand = 31, kFnBor = 32, kFnBxor = 33, kFnBshift = 34, kFnToday = 35, kFnClock = 36,
    kFnDate = 37, kFnDay = 38, kFnMonth = 39, kFnYear = 40, kFnAge = 41,
};

// Operator codes of tokens and tree nodes.
enum OperatorCode : int {
    kOpPower = 2, kOpMultiply = 3, kOpDivide = 4, kOpRemainder = 5,
    kOpPlus = 7, kOpMinus = 8, kOpConcat = 9,
    kOpEqual = 10, kOpNotEqual = 11, kOpLess = 12, kOpGreater = 13,
    kOpLessEqual = 14, kOpGreaterEqual = 15,
    kOpNot = 16, kOpAnd = 17, kOpOr = 18, kOpXor = 19,
    kOpComma = 20, kOpColon = 21,
};

// The 41 built-in functions, in table order.
std::span<const FunctionInfo> builtin_functions();

// Binds name to a variable in the current scope, replacing an entry of the same
// name. False (nothing bound) for an empty or over-long name, or a variable
// without address or with a size its type cannot have (error 75 is posted then).
bool bind_name(std::string_view name, const BoundVariable& variable);
// Binds a procedure; a call may give at most parameter_types.size() arguments.
bool bind_procedure(std::string_view name, BoundProcedure procedure,
                    std::vector<ValueType> parameter_types, ValueType result_type);

// Saves the current table and starts an empty one.
void push_scope();
// Discards the current table and restores the saved one. Without a saved scope
// this is runtime error 802 "Mismatched POPSCOPE", which ends the program.
void pop_scope();
// Empties the current table (the built-ins return with the next bind or compile).
void clear_bindings();
// Number of saved scopes.
std::size_t scope_depth();
// Drops every scope and starts again with one empty table (tests, shutdown).
void reset_all_scopes();

// The stacks of scopes of the threads of control. The program starts on its own
// stack; a thread that wants names of its own is given a stack, which is made the
// active one while it runs (the caller serialises the threads). nullptr stands for
// the program's own stack.
struct ScopeStack;
ScopeStack* create_scope_stack();
// Destroying the active stack makes the program's own stack active again.
void destroy_scope_stack(ScopeStack* stack);
// Makes `stack` the one every binding call uses; returns the one it replaces.
ScopeStack* activate_scope_stack(ScopeStack* stack);

// Looks name up in the current table without regard to case, installing the
// built-ins first when the table is empty. nullptr when the name is unknown.
const NameEntry* lookup_name(std::string_view name);

}  // namespace sk::rt
