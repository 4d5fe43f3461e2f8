// Writing a tree back as expression text.
//
// Operands appear as they were written; operators are spelled canonically with
// one blank on each side. An operand is put in parentheses when its operator
// binds looser than the operator it belongs to, and a right operand also when it
// is of the same level, since every level groups to the left: "a - (b - c)" must
// not come back as "a - b - c". A sign or negation applied to another one is
// parenthesised too, since adjacent ones would be counted together.
#include "runtime/expr_tree.h"

namespace sk::rt {

namespace {

// Binding levels, loosest first.
enum Level : int {
    kLevelOr = 1,
    kLevelAnd,
    kLevelNot,
    kLevelCompare,
    kLevelConcat,
    kLevelAdditive,
    kLevelMultiplicative,
    kLevelPower,
    kLevelSign,
    kLevelPrimary,
};

int level_of(const ExprNode& n) {
    switch (n.kind) {
        case NodeKind::kNot: return kLevelNot;
        case NodeKind::kNegate: return kLevelSign;
        case NodeKind::kCompare: return kLevelCompare;
        case NodeKind::kBinary:
            switch (n.op) {
                case kOpOr:
                case kOpXor: return kLevelOr;
                case kOpAnd: return kLevelAnd;
                case kOpConcat: return kLevelConcat;
                case kOpPlus:
                case kOpMinus: return kLevelAdditive;
                case kOpMultiply:
                case kOpDivide:
                case kOpRemainder: return kLevelMultiplicative;
                case kOpPower: return kLevelPower;
                default: return kLevelPrimary;
            }
        default: return kLevelPrimary;
    }
}

const char* operator_text(int op) {
    switch (op) {
        case kOpPlus: return " + ";
        case kOpMinus: return " - ";
        case kOpMultiply: return " * ";
        case kOpDivide: return " / ";
        case kOpRemainder: return " % ";
        case kOpPower: return " ^ ";
        case kOpConcat: return " & ";
        case kOpEqual: return " = ";
        case kOpNotEqual: return " <> ";
        case kOpLess: return " < ";
        case kOpGreater: return " > ";
        case kOpLessEqual: return " <= ";
        case kOpGreaterEqual: return " >= ";
        case kOpAnd: return " AND ";
        case kOpOr: return " OR ";
        case kOpXor: return " XOR ";
        default: return " ? ";
    }
}

void write(const ExprNode& n, std::string& out);

// Whether the text of n ends with a picture literal. A picture runs to a blank,
// "," or ")", so one that ends a subscript needs a blank before the "]".
bool ends_with_picture(const ExprNode& n) {
    switch (n.kind) {
        case NodeKind::kLiteral: return n.type == ValueType::kPicture;
        case NodeKind::kNegate:
        case NodeKind::kNot: return ends_with_picture(*n.left);
        case NodeKind::kBinary:
        case NodeKind::kCompare: return ends_with_picture(*n.right);
        default: return false;
    }
}

void write_operand(const ExprNode& child, bool parenthesise, std::string& out) {
    if (parenthesise) out.push_back('(');
    write(child, out);
    if (parenthesise) out.push_back(')');
}

void write(const ExprNode& n, std::string& out) {
    switch (n.kind) {
        case NodeKind::kLiteral: out.append(n.source); return;
        case NodeKind::kName:
            out.append(n.source);
            if (n.element || n.index) {
                out.push_back('[');
                if (n.element) write(*n.element, out);
                if (n.element && n.index) out.append(", ");
                if (n.index) write(*n.index, out);
                if (n.slice_end) {
                    out.append(" : ");
                    write(*n.slice_end, out);
                }
                const ExprNode& last = n.slice_end ? *n.slice_end : n.index ? *n.index : *n.element;
                if (ends_with_picture(last)) out.push_back(' ');
                out.push_back(']');
            }
            return;
        case NodeKind::kFunction:
        case NodeKind::kProcedure: {
            out.append(n.source);
            out.push_back('(');
            std::size_t used = n.args.size();
            while (used > 0 && !n.args[used - 1]) --used;
            for (std::size_t k = 0; k < used; ++k) {
                if (k > 0) out.append(", ");
                if (n.args[k]) write(*n.args[k], out);
            }
            out.push_back(')');
            return;
        }
        case NodeKind::kNegate:
            out.push_back('-');
            write_operand(*n.left, level_of(*n.left) <= kLevelSign, out);
            return;
        case NodeKind::kNot:
            out.append(n.op == kOpNot ? "~" : "~~");
            write_operand(*n.left, level_of(*n.left) <= kLevelNot, out);
            return;
        case NodeKind::kBinary:
        case NodeKind::kCompare: {
            int level = level_of(n);
            write_operand(*n.left, level_of(*n.left) < level, out);
            out.append(operator_text(n.op));
            write_operand(*n.right, level_of(*n.right) <= level, out);
            return;
        }
    }
}

}  // namespace

std::string expression_text(const ExprNode* tree) {
    std::string out;
    if (tree) write(*tree, out);
    return out;
}

}  // namespace sk::rt
