// Randomized robustness of the tokenizer, parser and writer: generated, mutated
// and arbitrary texts must compile or fail cleanly (the sanitizers watch), and
// every tree that compiles must write back a text that compiles to the same text
// and the same value.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "platform/clock.h"
#include "runtime/bind.h"
#include "runtime/error.h"
#include "runtime/expr.h"
#include "runtime/locale.h"

namespace sk::rt {
namespace {

constexpr const char* kFunctionNames[] = {
    "INT",  "CENTER", "ASIN",     "AGE",    "ABS",   "ACOS",   "ALL",     "BOR",  "ATAN",   "BAND", "BSHIFT",
    "BXOR", "DAY",    "CLOCK",    "CHR",    "CLIP",  "COS",    "DATE",    "INRANGE", "DEFORMAT", "FORMAT",
    "INSTRING", "RANDOM", "LOWER", "LOG10", "LEFT",  "LEN",    "LOGE",    "MEMORY", "MONTH", "NUMERIC", "TAN",
    "SIN",  "RIGHT",  "ROUND",    "SQRT",   "SUB",   "VAL",    "TODAY",   "UPPER", "YEAR"};

constexpr const char* kBinaryOperators[] = {" + ", " - ", " * ", " / ", " % ", " ^ ", " & ", " = ", " <> ",
                                            " < ", " > ", " <= ", " >= ", " =< ", " => ", " ~= ", " ~< ",
                                            " ~> ", " AND ", " OR ", " XOR ", "+", "-", "*", "=", "<"};

constexpr const char* kLiterals[] = {"0",      "1",       "42",      "0FFH",    "17O",    "101B",  "0FFFFFFFFH",
                                     "2.5",    ".5",      "1.5E3",   "3.0e-2",  "3000000000", "'abc'", "''",
                                     "'it''s'", "'  pad  '", "'12.5'", "@n3",     "@s5",    "@d2",   "@p##-##p",
                                     "@n~ $ ~6.2", "@n(7.2)", "@t3",  "-1",      "99999"};

constexpr const char* kNames[] = {"URL:Category", "brw1::sort2:reset:cat:category", "N", "R", "Rating", "Nums",
                                  "Twice"};

class ExprRandomTest : public ::testing::Test {
 protected:
    void SetUp() override {
        reset_all_scopes();
        reset_locale_defaults();
        std::memcpy(category, "Science        ", 15);
        std::memcpy(other, "sCiEnCe        ", 15);
        ASSERT_TRUE(bind_name("URL:Category", bound_string(category, 15)));
        ASSERT_TRUE(bind_name("BRW1::Sort2:Reset:CAT:Category", bound_string(other, 15)));
        ASSERT_TRUE(bind_name("N", bound_long(&number)));
        ASSERT_TRUE(bind_name("R", bound_real(&real)));
        ASSERT_TRUE(bind_name("Rating", bound_decimal(rating, 2, 0)));
        ASSERT_TRUE(bind_name("Nums", bound_array(bound_long(numbers), 3)));
        ASSERT_TRUE(bind_procedure(
            "Twice",
            [](std::span<const ExprValue> args) {
                ExprValue r;
                r.real = args[0].real * 2;
                return r;
            },
            {ValueType::kReal}, ValueType::kReal));
        sk::platform::LocalTime now{2004, 2, 29, 23, 59, 59, 99, 0};
        sk::platform::set_clock_override(&now);
        const char* seed = std::getenv("SK_EXPR_SEED");
        m_rng.seed(seed ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 20240611u);
    }
    void TearDown() override {
        sk::platform::set_clock_override(nullptr);
        reset_all_scopes();
    }

    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_rng); }
    template <std::size_t N>
    const char* pick_of(const char* const (&items)[N]) {
        return items[pick(N)];
    }

    std::string generate(int depth) {
        std::size_t choice = depth <= 0 ? pick(2) : pick(9);
        switch (choice) {
            case 0: return pick_of(kLiterals);
            case 1: {
                std::string name = pick_of(kNames);
                if (name == "Twice") return "Twice(" + generate(depth - 1) + ")";
                if (name == "Nums" && pick(2)) return "Nums[" + generate(depth - 1) + "]";
                if (name == "URL:Category" && pick(3) == 0) return name + "[" + generate(0) + " : " + generate(0) + "]";
                return name;
            }
            case 2: {
                std::string f = pick_of(kFunctionNames);
                std::size_t count = pick(5);
                std::string call = f + "(";
                for (std::size_t i = 0; i < count; ++i) {
                    if (i > 0) call += pick(4) ? ", " : ",";
                    if (pick(6)) call += generate(depth - 1);
                }
                return call + ")";
            }
            case 3: return "(" + generate(depth - 1) + ")";
            case 4: return std::string(pick(2) ? "NOT " : "~") + generate(depth - 1);
            case 5: return std::string(pick(2) ? "-" : "+") + generate(depth - 1);
            default: return generate(depth - 1) + pick_of(kBinaryOperators) + generate(depth - 1);
        }
    }

    std::string mutate(std::string text) {
        static const char kAlphabet[] = "()[],:~=<>+-*/%^&@'\" #$?_.0123456789ABEHObehopnsd\t";
        std::size_t edits = 1 + pick(4);
        for (std::size_t e = 0; e < edits; ++e) {
            std::size_t where = text.empty() ? 0 : pick(text.size() + 1);
            switch (pick(5)) {
                case 0:
                    if (where < text.size()) text.erase(where, 1);
                    break;
                case 1: text.insert(where, 1, kAlphabet[pick(sizeof kAlphabet - 1)]); break;
                case 2:
                    if (where < text.size()) text[where] = kAlphabet[pick(sizeof kAlphabet - 1)];
                    break;
                case 3: text.resize(where); break;
                default:
                    if (!text.empty()) {
                        std::size_t from = pick(text.size());
                        std::size_t len = 1 + pick(std::min<std::size_t>(8, text.size() - from));
                        text.insert(where, text.substr(from, len));
                    }
                    break;
            }
        }
        return text;
    }

    static bool deterministic(const std::string& text) {
        return text.find("RANDOM") == std::string::npos && text.find("MEMORY") == std::string::npos;
    }

    // Compiles text both ways; any tree must evaluate in every type and write
    // back a text that compiles, writes back identically and gives the same value.
    void exercise(const std::string& text) {
        clear_error();
        for (int whole = 0; whole < 2; ++whole) {
            ExprTree tree = whole ? compile_whole_expression(text) : compile_expression(text);
            if (!tree) continue;
            ++m_compiled;
            (void)evaluate_truth(tree.get());
            (void)evaluate_integer(tree.get());
            (void)evaluate_real(tree.get());
            std::string value = evaluate_string(tree.get());
            std::string written = expression_text(tree.get());
            ExprTree again = compile_whole_expression(written);
            ASSERT_NE(again, nullptr) << "text: " << text << "\nwritten: " << written;
            EXPECT_EQ(expression_text(again.get()), written) << "text: " << text;
            if (deterministic(written)) {
                EXPECT_EQ(evaluate_string(again.get()), value) << "text: " << text << "\nwritten: " << written;
            }
            if (::testing::Test::HasFailure()) return;
        }
    }

    char category[15];
    char other[15];
    std::int32_t number = -17;
    double real = 0.125;
    unsigned char rating[2] = {0x00, 0x73};
    std::int32_t numbers[3] = {3, 1, 2};
    std::mt19937 m_rng;
    int m_compiled = 0;
};

TEST_F(ExprRandomTest, GeneratedExpressionsRoundTrip) {
    for (int i = 0; i < 4000 && !HasFailure(); ++i) exercise(generate(1 + static_cast<int>(pick(5))));
    EXPECT_GT(m_compiled, 2000);
}

TEST_F(ExprRandomTest, MutatedExpressionsFailCleanly) {
    for (int i = 0; i < 6000 && !HasFailure(); ++i) exercise(mutate(generate(1 + static_cast<int>(pick(4)))));
    EXPECT_GT(m_compiled, 100);
}

TEST_F(ExprRandomTest, ArbitraryBytesFailCleanly) {
    for (int i = 0; i < 4000 && !HasFailure(); ++i) {
        std::string text(pick(40), '\0');
        for (char& c : text) c = static_cast<char>(pick(256));
        exercise(text);
    }
}

TEST_F(ExprRandomTest, DeepAndLongTextsFailCleanly) {
    const char* openers[] = {"(", "-", "NOT ", "UPPER(", "Nums[", "Twice("};
    for (const char* opener : openers) {
        std::string text;
        for (int i = 0; i < 3000; ++i) text += opener;
        text += "1";
        exercise(text);
        exercise(text + std::string(3000, ')'));
    }
    std::string chain = "1";
    for (int i = 0; i < 20000; ++i) chain += " ^ 2";
    exercise(chain);
    exercise(std::string(100000, '\''));
    exercise("@" + std::string(100000, '('));
}

}  // namespace
}  // namespace sk::rt
