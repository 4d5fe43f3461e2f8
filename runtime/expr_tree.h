// The inside of the expression evaluator: tokens, tree nodes and the evaluation
// entry points shared by the tokenizer, parser, evaluator, functions and writer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/bind.h"
#include "runtime/expr.h"

namespace sk::rt {

// ---- Tokens ----

enum class TokenKind : unsigned char {
    kEnd,
    kError,       // a character or literal the tokenizer cannot read
    kOperator,    // op holds the operator code (single characters and word operators)
    kOpenParen,
    kCloseParen,
    kOpenBracket,
    kCloseBracket,
    kInteger,
    kReal,
    kString,
    kPicture,
    kName,        // entry is the table entry, or nullptr for a name that is not bound
};

struct Token {
    TokenKind kind = TokenKind::kEnd;
    int op = 0;
    std::int32_t integer = 0;
    double real = 0;
    std::string text;      // string value, picture text, or the name as written
    std::string_view source;  // the token as written in the compiled text
    const NameEntry* entry = nullptr;
};

// Splits text into tokens, ending with one kEnd token. At the first character it
// cannot read it emits a kError token followed by kEnd.
std::vector<Token> tokenize_expression(std::string_view text);

// ---- Tree nodes ----

enum class NodeKind : unsigned char {
    kLiteral,    // integer, real, string or picture literal
    kName,       // a bound variable, optionally with subscripts
    kFunction,   // built-in function call
    kProcedure,  // bound procedure call
    kNegate,     // unary minus (op kOpMinus)
    kNot,        // NOT; op kOpNot negates, op 0 is a double negation (truth value)
    kBinary,     // arithmetic, "&", AND, OR, XOR
    kCompare,    // comparisons
};

// How a comparison node compares, settled when it is built.
enum class CompareMode : unsigned char { kInteger, kReal, kString };

// One value produced by a node, before conversion to the type asked for. The
// text of a string value points into a literal, a bound variable or a scratch
// buffer of the node that produced it.
struct Scalar {
    ValueType type = ValueType::kInteger;
    std::int32_t integer = 0;
    double real = 0;
    std::string_view text;
};

struct ExprNode {
    NodeKind kind = NodeKind::kLiteral;
    ValueType type = ValueType::kInteger;
    int op = 0;
    int height = 1;  // levels of nodes from here down, this one included
    CompareMode compare = CompareMode::kReal;
    std::unique_ptr<ExprNode> left, right;

    // Literal values and the text as written (names and literals).
    std::int32_t integer = 0;
    double real = 0;
    std::string text;
    std::string source;

    // Name nodes: the variable and its subscripts. For an array variable the
    // first subscript (element) picks the item, from 1. A further subscript
    // (index), or the only one of a plain variable, picks characters of the
    // value's text: one character, or with slice_end the range index..slice_end.
    BoundVariable variable;
    std::unique_ptr<ExprNode> element, index, slice_end;

    // Function and procedure calls: one slot per possible argument; a null slot
    // is an argument left out.
    const FunctionInfo* function = nullptr;
    std::shared_ptr<const ProcedureBinding> procedure;
    std::vector<std::unique_ptr<ExprNode>> args;

    // Per-node scratch: the node's string result, and a procedure's argument
    // values. Reused from one evaluation to the next.
    mutable std::string scratch;
    mutable std::vector<ExprValue> call_values;
};

// ---- Evaluation ----

Scalar evaluate_node(const ExprNode& node);
std::int32_t eval_integer(const ExprNode& node);
double eval_real(const ExprNode& node);
bool eval_truth(const ExprNode& node);
// The node's value as text; numbers are written into the node's scratch buffer.
std::string_view eval_text(const ExprNode& node);

// Conversions used by the evaluator and the functions.
std::int32_t real_to_integer(double v);  // truncated toward zero, saturated, NaN as 0
double text_to_real(std::string_view text);
bool text_is_number(std::string_view text);
// Writes a number as text into out (replacing its contents).
void integer_to_text(std::int32_t v, std::string& out);
void real_to_text(double v, std::string& out);

// String order: the shorter string counts as blank-padded, characters weigh by
// the collation table. Negative, zero or positive.
int compare_padded(std::string_view a, std::string_view b);
// Real order with the equality tolerance of 50 binary exponents.
int compare_reals(double a, double b);

// A built-in function call node's value (expr_functions.cpp).
Scalar call_function(const ExprNode& node);

}  // namespace sk::rt
