// Evaluation of expression trees: node values, conversions between the value
// types, and the string and real orders of comparisons.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "runtime/expr_tree.h"
#include "runtime/locale.h"

namespace sk::rt {

namespace {

bool is_blank(char c) { return c == ' '; }

// The span of text a number is read from: leading blanks skipped, then an
// optional sign, digits, an optional "." with digits and an optional exponent.
// Returns the length of the number found (0 when there is none) after *start.
std::size_t scan_number(std::string_view text, std::size_t* start) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    *start = i;
    std::size_t j = i;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    std::size_t digits = 0;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j, ++digits;
    if (j < text.size() && text[j] == '.') {
        std::size_t k = j + 1;
        std::size_t frac = 0;
        while (k < text.size() && text[k] >= '0' && text[k] <= '9') ++k, ++frac;
        if (digits + frac > 0) {
            j = k;
            digits += frac;
        }
    }
    if (digits == 0) return 0;
    if (j < text.size() && (text[j] == 'e' || text[j] == 'E')) {
        std::size_t k = j + 1;
        if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
        if (k < text.size() && text[k] >= '0' && text[k] <= '9') {
            while (k < text.size() && text[k] >= '0' && text[k] <= '9') ++k;
            j = k;
        }
    }
    return j - i;
}

double parse_scanned(std::string_view number) {
    // from_chars takes no leading sign other than "-" and no bare ".5".
    bool negative = false;
    if (!number.empty() && (number[0] == '+' || number[0] == '-')) {
        negative = number[0] == '-';
        number.remove_prefix(1);
    }
    bool lead_zero = !number.empty() && number[0] == '.';
    char buf[128] = {};
    std::string long_text;  // only for digit runs that do not fit buf
    const char* first = buf;
    std::size_t n = 0;
    if (number.size() + 1 <= sizeof buf) {
        if (lead_zero) buf[n++] = '0';
        std::memcpy(buf + n, number.data(), number.size());
        n += number.size();
    } else {
        if (lead_zero) long_text.push_back('0');
        long_text.append(number);
        first = long_text.data();
        n = long_text.size();
    }
    double v = 0;
    auto result = std::from_chars(first, first + n, v);
    if (result.ec == std::errc::result_out_of_range) {
        // Underflow reads as 0, overflow as infinity.
        std::string_view text(first, n);
        std::size_t e = text.find_first_of("eE");
        bool underflow = e != std::string_view::npos ? (e + 1 < n && text[e + 1] == '-') : text[0] == '0';
        v = underflow ? 0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -v : v;
}

// Binary exponent of a real for the equality rule; zero counts as 1.0.
int binary_exponent(double v) {
    if (v == 0) return 1;  // frexp(1.0) gives exponent 1
    int e = 0;
    std::frexp(v, &e);
    return e;
}

Scalar integer_scalar(std::int32_t v) {
    Scalar s;
    s.type = ValueType::kInteger;
    s.integer = v;
    return s;
}

Scalar truth_scalar(bool v) {
    Scalar s;
    s.type = ValueType::kTruth;
    s.integer = v ? 1 : 0;
    return s;
}

Scalar real_scalar(double v) {
    Scalar s;
    s.type = ValueType::kReal;
    s.real = v;
    return s;
}

Scalar text_scalar(std::string_view v, ValueType type = ValueType::kString) {
    Scalar s;
    s.type = type;
    s.text = v;
    return s;
}

// The characters first..last (from 1, inclusive) of text, clipped to its bounds.
std::string_view slice_text(std::string_view text, std::int32_t first, std::int32_t last) {
    std::int64_t len = static_cast<std::int64_t>(text.size());
    std::int64_t a = first < 1 ? 1 : first;
    std::int64_t b = last > len ? len : last;
    if (a > b) return {};
    return text.substr(static_cast<std::size_t>(a - 1), static_cast<std::size_t>(b - a + 1));
}

Scalar evaluate_name(const ExprNode& n) {
    BoundVariable v = n.variable;
    if (v.elements > 0 && n.element) {
        std::int32_t i = eval_integer(*n.element);
        if (i < 1 || static_cast<std::uint32_t>(i) > v.elements) {
            // Outside the array: an empty value of the variable's class.
            v.address = nullptr;
        } else {
            v.address = static_cast<unsigned char*>(v.address) + static_cast<std::size_t>(i - 1) * v.size;
        }
    }
    ValueType own = value_type_of(v.type);
    Scalar value;
    switch (own) {
        case ValueType::kInteger: value = integer_scalar(read_integer(v)); break;
        case ValueType::kReal: value = real_scalar(read_real(v)); break;
        default: value = text_scalar(read_string(v)); break;
    }
    if (!n.index) return value;
    // A character index or range over the value's text.
    std::int32_t first = eval_integer(*n.index);
    std::int32_t last = n.slice_end ? eval_integer(*n.slice_end) : first;
    std::string_view text;
    if (own == ValueType::kString) {
        text = value.text;
    } else {
        if (own == ValueType::kInteger) {
            integer_to_text(value.integer, n.scratch);
        } else {
            real_to_text(value.real, n.scratch);
        }
        text = n.scratch;
    }
    return text_scalar(slice_text(text, first, last));
}

Scalar evaluate_procedure(const ExprNode& n) {
    const ProcedureBinding& p = *n.procedure;
    std::size_t count = p.parameter_types.size();
    n.call_values.resize(count);
    // Arguments are evaluated last to first.
    for (std::size_t k = count; k-- > 0;) {
        ExprValue& a = n.call_values[k];
        a.type = p.parameter_types[k];
        a.integer = 0;
        a.real = 0;
        a.text.clear();
        const ExprNode* arg = k < n.args.size() ? n.args[k].get() : nullptr;
        a.present = arg != nullptr;
        if (!arg) continue;
        switch (a.type) {
            case ValueType::kTruth: a.integer = eval_truth(*arg) ? 1 : 0; break;
            case ValueType::kInteger: a.integer = eval_integer(*arg); break;
            case ValueType::kReal: a.real = eval_real(*arg); break;
            default: a.text.assign(eval_text(*arg)); break;
        }
    }
    ExprValue r = p.procedure(std::span<const ExprValue>(n.call_values));
    switch (p.result_type) {
        case ValueType::kTruth: return truth_scalar(r.integer != 0);
        case ValueType::kInteger: return integer_scalar(r.integer);
        case ValueType::kReal: return real_scalar(r.real);
        default:
            n.scratch.swap(r.text);
            return text_scalar(n.scratch);
    }
}

Scalar evaluate_binary(const ExprNode& n) {
    switch (n.op) {
        case kOpConcat: {
            std::string_view a = eval_text(*n.left);
            std::string_view b = eval_text(*n.right);
            n.scratch.assign(a);
            n.scratch.append(b);
            return text_scalar(n.scratch);
        }
        case kOpAnd:
        case kOpOr:
        case kOpXor: {
            // Both sides are always evaluated.
            bool a = eval_truth(*n.left);
            bool b = eval_truth(*n.right);
            bool r = n.op == kOpAnd ? (a && b) : n.op == kOpOr ? (a || b) : (a != b);
            return truth_scalar(r);
        }
        default: break;
    }
    double a = eval_real(*n.left);
    double b = eval_real(*n.right);
    switch (n.op) {
        case kOpPlus: return real_scalar(a + b);
        case kOpMinus: return real_scalar(a - b);
        case kOpMultiply: return real_scalar(a * b);
        case kOpDivide: return real_scalar(a / b);
        case kOpRemainder: return real_scalar(std::fmod(a, b));
        case kOpPower: return real_scalar(std::pow(a, b));
        default: return real_scalar(0);
    }
}

Scalar evaluate_compare(const ExprNode& n) {
    int order = 0;
    switch (n.compare) {
        case CompareMode::kInteger: {
            std::int32_t a = eval_integer(*n.left);
            std::int32_t b = eval_integer(*n.right);
            order = a < b ? -1 : a > b ? 1 : 0;
            break;
        }
        case CompareMode::kString: {
            std::string_view a = eval_text(*n.left);
            std::string_view b = eval_text(*n.right);
            order = compare_padded(a, b);
            break;
        }
        case CompareMode::kReal: {
            double a = eval_real(*n.left);
            double b = eval_real(*n.right);
            order = compare_reals(a, b);
            break;
        }
    }
    bool r = false;
    switch (n.op) {
        case kOpEqual: r = order == 0; break;
        case kOpNotEqual: r = order != 0; break;
        case kOpLess: r = order < 0; break;
        case kOpGreater: r = order > 0; break;
        case kOpLessEqual: r = order <= 0; break;
        case kOpGreaterEqual: r = order >= 0; break;
        default: break;
    }
    return truth_scalar(r);
}

}  // namespace

std::int32_t real_to_integer(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);  // truncates toward zero
}

double text_to_real(std::string_view text) {
    std::size_t start = 0;
    std::size_t len = scan_number(text, &start);
    if (len == 0) return 0;
    return parse_scanned(text.substr(start, len));
}

bool text_is_number(std::string_view text) {
    std::size_t start = 0;
    std::size_t len = scan_number(text, &start);
    if (len == 0) return false;
    for (std::size_t i = start + len; i < text.size(); ++i) {
        if (text[i] != ' ' && text[i] != '\t') return false;
    }
    return true;
}

void integer_to_text(std::int32_t v, std::string& out) {
    char buf[16];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v);
    (void)ec;
    out.assign(buf, static_cast<std::size_t>(ptr - buf));
}

// Whole numbers below 10^15 print without a decimal part; other values print
// with up to 15 significant digits, which hides the binary rounding of sums such
// as 0.1 + 0.2.
void real_to_text(double v, std::string& out) {
    char buf[64];
    int n;
    if (std::isfinite(v) && std::fabs(v) < 1e15 && v == std::trunc(v)) {
        n = std::snprintf(buf, sizeof buf, "%.0f", v == 0 ? 0.0 : v);
    } else {
        n = std::snprintf(buf, sizeof buf, "%.15g", v);
    }
    if (n < 0) n = 0;
    out.assign(buf, static_cast<std::size_t>(n) < sizeof buf ? static_cast<std::size_t>(n) : sizeof buf - 1);
}

int compare_padded(std::string_view a, std::string_view b) {
    std::size_t n = a.size() > b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char ca = i < a.size() ? static_cast<unsigned char>(a[i]) : ' ';
        unsigned char cb = i < b.size() ? static_cast<unsigned char>(b[i]) : ' ';
        if (ca == cb) continue;
        int wa = collation_weight(ca);
        int wb = collation_weight(cb);
        if (wa != wb) return wa - wb;
    }
    return 0;
}

int compare_reals(double a, double b) {
    if (!std::isfinite(a) || !std::isfinite(b)) return a < b ? -1 : a > b ? 1 : 0;
    double d = a - b;
    if (d == 0) return 0;
    int ed = binary_exponent(d);
    if (ed < binary_exponent(a) - 50 && ed < binary_exponent(b) - 50) return 0;
    return a < b ? -1 : 1;
}

Scalar evaluate_node(const ExprNode& n) {
    switch (n.kind) {
        case NodeKind::kLiteral:
            switch (n.type) {
                case ValueType::kInteger: return integer_scalar(n.integer);
                case ValueType::kReal: return real_scalar(n.real);
                default: return text_scalar(n.text, n.type);
            }
        case NodeKind::kName: return evaluate_name(n);
        case NodeKind::kFunction: return call_function(n);
        case NodeKind::kProcedure: return evaluate_procedure(n);
        case NodeKind::kNegate:
            if (n.type == ValueType::kInteger) {
                std::int64_t v = -static_cast<std::int64_t>(eval_integer(*n.left));
                return integer_scalar(v > std::numeric_limits<std::int32_t>::max()
                                          ? std::numeric_limits<std::int32_t>::max()
                                          : static_cast<std::int32_t>(v));
            }
            return real_scalar(-eval_real(*n.left));
        case NodeKind::kNot: {
            bool v = eval_truth(*n.left);
            return truth_scalar(n.op == kOpNot ? !v : v);
        }
        case NodeKind::kBinary: return evaluate_binary(n);
        case NodeKind::kCompare: return evaluate_compare(n);
    }
    return integer_scalar(0);
}

std::int32_t eval_integer(const ExprNode& n) {
    Scalar s = evaluate_node(n);
    switch (s.type) {
        case ValueType::kTruth:
        case ValueType::kInteger: return s.integer;
        case ValueType::kReal: return real_to_integer(s.real);
        default: return real_to_integer(text_to_real(s.text));
    }
}

double eval_real(const ExprNode& n) {
    Scalar s = evaluate_node(n);
    switch (s.type) {
        case ValueType::kTruth:
        case ValueType::kInteger: return s.integer;
        case ValueType::kReal: return s.real;
        default: return text_to_real(s.text);
    }
}

// A string asked for as a truth value is true when it holds anything but blanks.
bool eval_truth(const ExprNode& n) {
    Scalar s = evaluate_node(n);
    switch (s.type) {
        case ValueType::kTruth:
        case ValueType::kInteger: return s.integer != 0;
        case ValueType::kReal: return s.real != 0;
        default:
            for (char c : s.text) {
                if (!is_blank(c)) return true;
            }
            return false;
    }
}

std::string_view eval_text(const ExprNode& n) {
    Scalar s = evaluate_node(n);
    switch (s.type) {
        case ValueType::kTruth:
        case ValueType::kInteger: integer_to_text(s.integer, n.scratch); return n.scratch;
        case ValueType::kReal: real_to_text(s.real, n.scratch); return n.scratch;
        default: return s.text;
    }
}

bool evaluate_truth(const ExprNode* tree) { return tree ? eval_truth(*tree) : false; }
std::int32_t evaluate_integer(const ExprNode* tree) { return tree ? eval_integer(*tree) : 0; }
double evaluate_real(const ExprNode* tree) { return tree ? eval_real(*tree) : 0; }
std::string evaluate_string(const ExprNode* tree) { return tree ? std::string(eval_text(*tree)) : std::string(); }
std::string_view evaluate_string_view(const ExprNode* tree) { return tree ? eval_text(*tree) : std::string_view(); }
ValueType expression_type(const ExprNode* tree) { return tree ? tree->type : ValueType::kInteger; }

}  // namespace sk::rt
