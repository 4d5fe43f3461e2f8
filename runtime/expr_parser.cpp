// Recursive-descent parser: expression texts into owned trees.
//
// Levels from the loosest to the tightest, every binary level left-associative:
// OR/XOR, AND, NOT (leading NOT or "~" toggle), comparison (with the two-token
// forms), "&", "+" "-", "*" "/" "%", "^", leading signs, primaries. A failure
// anywhere returns nullptr up the levels; the unique_ptrs free whatever had been
// built.
#include <algorithm>

#include "runtime/error.h"
#include "runtime/expr_tree.h"

namespace sk::rt {

namespace {

using NodePtr = std::unique_ptr<ExprNode>;

// Nesting limits that keep the recursion of parsing, evaluation and freeing far
// from the end of a thread's stack. Real filters are a few levels deep.
constexpr int kMaxHeight = 200;
constexpr int kMaxNesting = 64;

bool is_integral(ValueType t) { return t == ValueType::kTruth || t == ValueType::kInteger; }
bool is_textual(ValueType t) { return t == ValueType::kString || t == ValueType::kPicture; }

class Parser {
 public:
    explicit Parser(std::string_view text) : m_tokens(tokenize_expression(text)) {}

    NodePtr parse(bool whole) {
        NodePtr tree = parse_or();
        if (!tree) return nullptr;
        if (whole && cur().kind != TokenKind::kEnd) return nullptr;
        return tree;
    }

 private:
    const Token& cur() const { return m_tokens[m_pos]; }
    const Token& ahead() const { return m_tokens[std::min(m_pos + 1, m_tokens.size() - 1)]; }
    void advance() {
        if (m_pos + 1 < m_tokens.size()) ++m_pos;
    }
    bool is_op(const Token& t, int op) const { return t.kind == TokenKind::kOperator && t.op == op; }
    bool cur_is(int op) const { return is_op(cur(), op); }

    static int height_of(const NodePtr& n) { return n ? n->height : 0; }

    // Builds a node over up to two children; nullptr when the tree grows too deep.
    static NodePtr make(NodeKind kind, ValueType type, int op, NodePtr left, NodePtr right = nullptr) {
        int h = 1 + std::max(height_of(left), height_of(right));
        if (h > kMaxHeight) return nullptr;
        auto n = std::make_unique<ExprNode>();
        n->kind = kind;
        n->type = type;
        n->op = op;
        n->height = h;
        n->left = std::move(left);
        n->right = std::move(right);
        return n;
    }

    NodePtr binary(int op, NodePtr left, NodePtr right) {
        ValueType type = ValueType::kReal;
        NodeKind kind = NodeKind::kBinary;
        if (op == kOpConcat) {
            type = ValueType::kString;
        } else if (op == kOpAnd || op == kOpOr || op == kOpXor) {
            type = ValueType::kTruth;
        } else if (op >= kOpEqual && op <= kOpGreaterEqual) {
            type = ValueType::kTruth;
            kind = NodeKind::kCompare;
        }
        CompareMode mode = CompareMode::kReal;
        if (is_integral(left->type) && is_integral(right->type)) {
            mode = CompareMode::kInteger;
        } else if (is_textual(left->type) && is_textual(right->type)) {
            mode = CompareMode::kString;
        }
        NodePtr n = make(kind, type, op, std::move(left), std::move(right));
        if (n) n->compare = mode;
        return n;
    }

    NodePtr parse_or() {
        NodePtr left = parse_and();
        while (left && (cur_is(kOpOr) || cur_is(kOpXor))) {
            int op = cur().op;
            advance();
            NodePtr right = parse_and();
            if (!right) return nullptr;
            left = binary(op, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr parse_and() {
        NodePtr left = parse_not();
        while (left && cur_is(kOpAnd)) {
            advance();
            NodePtr right = parse_not();
            if (!right) return nullptr;
            left = binary(kOpAnd, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr parse_not() {
        int count = 0;
        while (cur_is(kOpNot)) {
            ++count;
            advance();
        }
        NodePtr operand = parse_compare();
        if (!operand || count == 0) return operand;
        // An odd count negates; an even one still yields the operand's truth value.
        return make(NodeKind::kNot, ValueType::kTruth, count % 2 ? kOpNot : 0, std::move(operand));
    }

    // The comparison operator at the current token, consuming it (one or two
    // tokens); 0 when there is none.
    int take_comparison() {
        const Token& a = cur();
        if (a.kind != TokenKind::kOperator) return 0;
        const Token& b = ahead();
        int second = b.kind == TokenKind::kOperator ? b.op : 0;
        int op = 0;
        bool two = false;
        switch (a.op) {
            case kOpEqual:
                op = kOpEqual;
                if (second == kOpLess) op = kOpLessEqual, two = true;
                if (second == kOpGreater) op = kOpGreaterEqual, two = true;
                break;
            case kOpLess:
                op = kOpLess;
                if (second == kOpGreater) op = kOpNotEqual, two = true;
                if (second == kOpEqual) op = kOpLessEqual, two = true;
                break;
            case kOpGreater:
                op = kOpGreater;
                if (second == kOpEqual) op = kOpGreaterEqual, two = true;
                break;
            case kOpNot:
                if (second == kOpEqual) op = kOpNotEqual, two = true;
                if (second == kOpLess) op = kOpGreaterEqual, two = true;
                if (second == kOpGreater) op = kOpLessEqual, two = true;
                break;
            default: break;
        }
        if (op == 0) return 0;
        advance();
        if (two) advance();
        return op;
    }

    NodePtr parse_compare() {
        NodePtr left = parse_concat();
        while (left) {
            int op = take_comparison();
            if (op == 0) break;
            NodePtr right = parse_concat();
            if (!right) return nullptr;
            left = binary(op, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr parse_concat() {
        NodePtr left = parse_additive();
        while (left && cur_is(kOpConcat)) {
            advance();
            NodePtr right = parse_additive();
            if (!right) return nullptr;
            left = binary(kOpConcat, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr parse_additive() {
        NodePtr left = parse_multiplicative();
        while (left && (cur_is(kOpPlus) || cur_is(kOpMinus))) {
            int op = cur().op;
            advance();
            NodePtr right = parse_multiplicative();
            if (!right) return nullptr;
            left = binary(op, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr parse_multiplicative() {
        NodePtr left = parse_power();
        while (left && (cur_is(kOpMultiply) || cur_is(kOpDivide) || cur_is(kOpRemainder))) {
            int op = cur().op;
            advance();
            NodePtr right = parse_power();
            if (!right) return nullptr;
            left = binary(op, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr parse_power() {
        NodePtr left = parse_sign();
        while (left && cur_is(kOpPower)) {
            advance();
            NodePtr right = parse_sign();
            if (!right) return nullptr;
            left = binary(kOpPower, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr parse_sign() {
        int minus = 0;
        while (cur_is(kOpPlus) || cur_is(kOpMinus)) {
            if (cur_is(kOpMinus)) ++minus;
            advance();
        }
        NodePtr operand = parse_primary();
        if (!operand || minus % 2 == 0) return operand;
        ValueType type = is_integral(operand->type) ? ValueType::kInteger : ValueType::kReal;
        return make(NodeKind::kNegate, type, kOpMinus, std::move(operand));
    }

    // A nested expression inside parentheses, brackets or an argument list.
    NodePtr parse_nested() {
        if (++m_nesting > kMaxNesting) return nullptr;
        NodePtr n = parse_or();
        --m_nesting;
        return n;
    }

    NodePtr parse_primary() {
        const Token& t = cur();
        switch (t.kind) {
            case TokenKind::kInteger:
            case TokenKind::kReal:
            case TokenKind::kString:
            case TokenKind::kPicture: {
                auto n = std::make_unique<ExprNode>();
                n->kind = NodeKind::kLiteral;
                n->type = t.kind == TokenKind::kInteger ? ValueType::kInteger
                          : t.kind == TokenKind::kReal  ? ValueType::kReal
                          : t.kind == TokenKind::kString ? ValueType::kString
                                                         : ValueType::kPicture;
                n->integer = t.integer;
                n->real = t.real;
                n->text = t.text;
                n->source.assign(t.source);
                advance();
                return n;
            }
            case TokenKind::kOpenParen: {
                advance();
                NodePtr inner = parse_nested();
                if (!inner || cur().kind != TokenKind::kCloseParen) return nullptr;
                advance();
                return inner;
            }
            case TokenKind::kName: return parse_name();
            default: return nullptr;
        }
    }

    NodePtr parse_name() {
        const Token& t = cur();
        if (!t.entry) {
            post_error(kNoBindOnVariable);
            return nullptr;
        }
        NameEntry entry = *t.entry;
        std::string source(t.source);
        advance();
        switch (entry.kind) {
            case NameKind::kFunction:
            case NameKind::kProcedure: {
                int max_args = entry.kind == NameKind::kFunction
                                   ? entry.function->max_args
                                   : static_cast<int>(entry.procedure->parameter_types.size());
                auto n = std::make_unique<ExprNode>();
                n->kind = entry.kind == NameKind::kFunction ? NodeKind::kFunction : NodeKind::kProcedure;
                n->type = entry.kind == NameKind::kFunction ? entry.function->result : entry.procedure->result_type;
                n->function = entry.function;
                n->procedure = entry.procedure;
                n->source = std::move(source);
                if (!parse_arguments(*n, max_args)) return nullptr;
                return n;
            }
            case NameKind::kVariable: {
                auto n = std::make_unique<ExprNode>();
                n->kind = NodeKind::kName;
                n->variable = entry.variable;
                n->type = value_type_of(entry.variable.type);
                n->source = std::move(source);
                if (cur().kind == TokenKind::kOpenBracket && !parse_subscripts(*n)) return nullptr;
                return n;
            }
            case NameKind::kWordOperator: break;
        }
        return nullptr;
    }

    // "(" then at most max_args arguments separated by "," (a slot may be left
    // empty), then ")". Every slot up to max_args exists; left-out ones are null.
    bool parse_arguments(ExprNode& n, int max_args) {
        if (cur().kind != TokenKind::kOpenParen) return false;
        advance();
        n.args.resize(static_cast<std::size_t>(max_args));
        int height = 0;
        if (cur().kind == TokenKind::kCloseParen) {
            advance();
            return true;
        }
        for (int slot = 0;; ++slot) {
            if (slot >= max_args) return false;
            if (!cur_is(kOpComma) && cur().kind != TokenKind::kCloseParen) {
                NodePtr arg = parse_nested();
                if (!arg) return false;
                height = std::max(height, arg->height);
                n.args[static_cast<std::size_t>(slot)] = std::move(arg);
            }
            if (cur_is(kOpComma)) {
                advance();
                continue;
            }
            if (cur().kind != TokenKind::kCloseParen) return false;
            advance();
            break;
        }
        n.height = height + 1;
        return n.height <= kMaxHeight;
    }

    // "[" element or index, "," index, optionally ": end", "]". An array takes an
    // element subscript and then optionally a character index or range; a plain
    // variable takes only the index or range.
    bool parse_subscripts(ExprNode& n) {
        advance();
        std::vector<NodePtr> items;
        NodePtr end;
        for (;;) {
            NodePtr item = parse_nested();
            if (!item) return false;
            items.push_back(std::move(item));
            if (cur_is(kOpComma)) {
                advance();
                continue;
            }
            if (cur_is(kOpColon)) {
                advance();
                end = parse_nested();
                if (!end) return false;
            }
            if (cur().kind != TokenKind::kCloseBracket) return false;
            advance();
            break;
        }
        std::size_t allowed = n.variable.elements > 0 ? 2 : 1;
        if (items.size() > allowed) return false;
        if (n.variable.elements > 0 && items.size() == 1 && end) return false;  // a range needs the element first
        int height = std::max(height_of(end), 0);
        for (auto& i : items) height = std::max(height, i->height);
        std::size_t next = 0;
        if (n.variable.elements > 0) n.element = std::move(items[next++]);
        if (next < items.size()) {
            n.index = std::move(items[next]);
            n.slice_end = std::move(end);
            n.type = ValueType::kString;
        }
        n.height = height + 1;
        return n.height <= kMaxHeight;
    }

    std::vector<Token> m_tokens;
    std::size_t m_pos = 0;
    int m_nesting = 0;
};

ExprTree compile(std::string_view text, bool whole) {
    Parser parser(text);
    NodePtr tree = parser.parse(whole);
    return ExprTree(tree.release());
}

}  // namespace

ExprTree compile_expression(std::string_view text) { return compile(text, false); }
ExprTree compile_whole_expression(std::string_view text) { return compile(text, true); }

void free_expression(ExprNode* tree) { delete tree; }

}  // namespace sk::rt
