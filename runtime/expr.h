// The expression evaluator: filter and condition texts compiled once into a tree
// and evaluated as often as needed.
//
// A text such as "UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)"
// is compiled against the current scope's table of bound names (runtime/bind.h);
// the tree then reads the bound variables each time it is evaluated. Compiling
// fails (nullptr) on a syntax error or a name that is not bound; the latter also
// posts error 801. Trees are owned by whoever compiled them.
//
// Evaluating a tree is one thread at a time: each node keeps a scratch buffer for
// its own string result, so evaluation allocates nothing once the buffers have
// grown to the sizes the tree needs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace sk::rt {

// Value types of tree nodes.
enum class ValueType : unsigned char {
    kTruth = 0,    // an integer 0 or 1
    kInteger = 1,  // 32-bit signed
    kReal = 2,     // double precision
    kPicture = 3,  // a picture text
    kString = 4,
};

struct ExprNode;

// Frees a whole tree: every node and every literal text.
void free_expression(ExprNode* tree);

struct ExprTreeDeleter {
    void operator()(ExprNode* tree) const noexcept { free_expression(tree); }
};
using ExprTree = std::unique_ptr<ExprNode, ExprTreeDeleter>;

// Compiles the first complete expression of text; whatever follows it is left
// unread. nullptr on a syntax error or an unbound name (801 posted).
ExprTree compile_expression(std::string_view text);
// The same, but anything after the complete expression is a failure.
ExprTree compile_whole_expression(std::string_view text);

// Evaluation in the four types. A null tree evaluates as 0 or the empty string.
bool evaluate_truth(const ExprNode* tree);
std::int32_t evaluate_integer(const ExprNode* tree);
double evaluate_real(const ExprNode* tree);
std::string evaluate_string(const ExprNode* tree);
// The string value without a copy; valid until the tree is evaluated again or
// freed, or the bound variable it may point into changes.
std::string_view evaluate_string_view(const ExprNode* tree);

// The type the tree's top node produces.
ValueType expression_type(const ExprNode* tree);

// The tree written back as text: operands as written, binary operators with one
// blank on each side, ", " between arguments, " : " in a slice, a unary minus as
// "-" and a negation as "~"; operands of looser operators in parentheses.
std::string expression_text(const ExprNode* tree);

}  // namespace sk::rt
