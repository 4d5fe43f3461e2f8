// Tables of bound names and their scopes.
#include "runtime/bind.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "runtime/error.h"
#include "runtime/expr.h"

namespace sk::rt {
namespace {

class BindTest : public ::testing::Test {
 protected:
    void SetUp() override {
        reset_all_scopes();
        clear_error();
    }
    void TearDown() override { reset_all_scopes(); }
};

TEST_F(BindTest, BuiltinTableHoldsFortyOneFunctions) {
    auto functions = builtin_functions();
    EXPECT_EQ(functions.size(), 41u);
    std::set<int> numbers;
    for (const FunctionInfo& f : functions) {
        numbers.insert(f.number);
        const NameEntry* e = lookup_name(f.name);
        ASSERT_NE(e, nullptr) << f.name;
        EXPECT_EQ(e->kind, NameKind::kFunction);
        EXPECT_EQ(e->function, &f);
    }
    EXPECT_EQ(numbers.size(), 41u);
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), 41);
    const NameEntry* op = lookup_name("xor");
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(op->kind, NameKind::kWordOperator);
    EXPECT_EQ(op->op, kOpXor);
}

TEST_F(BindTest, NamesAreFoundWithoutRegardToCase) {
    std::int32_t v = 7;
    ASSERT_TRUE(bind_name("BRW1::Order", bound_long(&v)));
    ExprTree t = compile_whole_expression("brw1::ORDER + 1");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(evaluate_integer(t.get()), 8);
    EXPECT_EQ(expression_text(t.get()), "brw1::ORDER + 1");
}

TEST_F(BindTest, NameLengthLimitIsOneHundred) {
    std::int32_t v = 1;
    std::string longest(100, 'A');
    EXPECT_TRUE(bind_name(longest, bound_long(&v)));
    EXPECT_FALSE(bind_name(std::string(101, 'A'), bound_long(&v)));
    EXPECT_FALSE(bind_name("", bound_long(&v)));
    EXPECT_NE(compile_whole_expression(longest), nullptr);
    EXPECT_EQ(compile_whole_expression(std::string(101, 'A')), nullptr);
    EXPECT_EQ(error_code(), kNoBindOnVariable);
}

TEST_F(BindTest, NamesMayEndWithHashDollarOrQuote) {
    std::int32_t a = 1, b = 2, c = 3;
    ASSERT_TRUE(bind_name("Count#", bound_long(&a)));
    ASSERT_TRUE(bind_name("Name$", bound_long(&b)));
    ASSERT_TRUE(bind_name("?Ctl\"", bound_long(&c)));
    ExprTree t = compile_whole_expression("Count# + Name$ * ?Ctl\"");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(evaluate_integer(t.get()), 7);
    EXPECT_EQ(compile_whole_expression("Count#$"), nullptr);
}

TEST_F(BindTest, RebindingReplacesTheVariable) {
    std::int32_t a = 1, b = 2;
    ASSERT_TRUE(bind_name("X", bound_long(&a)));
    ExprTree old_tree = compile_whole_expression("X");
    ASSERT_TRUE(bind_name("x", bound_long(&b)));
    ExprTree new_tree = compile_whole_expression("X");
    EXPECT_EQ(evaluate_integer(old_tree.get()), 1);  // a tree keeps what it was compiled with
    EXPECT_EQ(evaluate_integer(new_tree.get()), 2);
}

TEST_F(BindTest, InvalidVariablesAreRefused) {
    std::int32_t v = 0;
    EXPECT_FALSE(bind_name("Bad", BoundVariable{nullptr, kTypeLong, 4, 0}));
    EXPECT_EQ(error_code(), kInvalidFieldType);
    EXPECT_FALSE(bind_name("Bad", BoundVariable{&v, kTypeLong, 2, 0}));
    EXPECT_FALSE(bind_name("Bad", BoundVariable{&v, kTypeString, 0, 0}));
    EXPECT_FALSE(bind_name("Bad", BoundVariable{&v, kTypeDecimal, 17, 0}));
    EXPECT_FALSE(bind_name("Bad", bound_array(bound_string(reinterpret_cast<char*>(&v), 0x10000), 0x10000)));
    EXPECT_EQ(lookup_name("Bad"), nullptr);
}

TEST_F(BindTest, PushedScopeHidesAndPopRestores) {
    std::int32_t outer = 1, inner = 2;
    ASSERT_TRUE(bind_name("V", bound_long(&outer)));
    push_scope();
    EXPECT_EQ(scope_depth(), 1u);
    clear_error();
    EXPECT_EQ(compile_whole_expression("V"), nullptr);  // a new scope starts empty
    EXPECT_EQ(error_code(), kNoBindOnVariable);
    EXPECT_NE(compile_whole_expression("UPPER('a')"), nullptr);  // but has the built-ins
    ASSERT_TRUE(bind_name("V", bound_long(&inner)));
    EXPECT_EQ(evaluate_integer(compile_whole_expression("V").get()), 2);
    pop_scope();
    EXPECT_EQ(scope_depth(), 0u);
    EXPECT_EQ(evaluate_integer(compile_whole_expression("V").get()), 1);
}

TEST_F(BindTest, ClearBindingsEmptiesTheCurrentTableOnly) {
    std::int32_t v = 5;
    ASSERT_TRUE(bind_name("Keep", bound_long(&v)));
    push_scope();
    ASSERT_TRUE(bind_name("Gone", bound_long(&v)));
    clear_bindings();
    EXPECT_EQ(lookup_name("Gone"), nullptr);
    EXPECT_NE(lookup_name("LEFT"), nullptr);  // built-ins come back on first use
    pop_scope();
    EXPECT_NE(lookup_name("Keep"), nullptr);
}

TEST_F(BindTest, ProcedureOutlivesItsScopeInCompiledTrees) {
    push_scope();
    int calls = 0;
    ASSERT_TRUE(bind_procedure(
        "Twice",
        [&calls](std::span<const ExprValue> args) {
            ++calls;
            ExprValue r;
            r.integer = args[0].integer * 2;
            return r;
        },
        {ValueType::kInteger}, ValueType::kInteger));
    ExprTree t = compile_whole_expression("Twice(21)");
    ASSERT_NE(t, nullptr);
    pop_scope();
    EXPECT_EQ(evaluate_integer(t.get()), 42);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(bind_procedure("Empty", BoundProcedure(), {}, ValueType::kInteger));
}

TEST_F(BindTest, ValueTypeFollowsStorageCode) {
    EXPECT_EQ(value_type_of(kTypeByte), ValueType::kInteger);
    EXPECT_EQ(value_type_of(kTypeLong), ValueType::kInteger);
    EXPECT_EQ(value_type_of(0x06), ValueType::kInteger);
    EXPECT_EQ(value_type_of(kTypeULong), ValueType::kReal);
    EXPECT_EQ(value_type_of(kTypeDecimal), ValueType::kReal);
    EXPECT_EQ(value_type_of(0x11), ValueType::kReal);
    EXPECT_EQ(value_type_of(kTypeString), ValueType::kString);
    EXPECT_EQ(value_type_of(kTypePString), ValueType::kString);
}

TEST_F(BindTest, DecimalDecoding) {
    const unsigned char zero[2] = {0x00, 0x00};
    const unsigned char rating[2] = {0x00, 0x99};
    const unsigned char negative[2] = {0x80, 0x05};
    const unsigned char places[4] = {0x01, 0x23, 0x45, 0x67};  // DECIMAL(7,3)
    EXPECT_DOUBLE_EQ(decode_decimal(zero, 2, 0), 0);
    EXPECT_DOUBLE_EQ(decode_decimal(rating, 2, 0), 99);
    EXPECT_DOUBLE_EQ(decode_decimal(negative, 2, 0), -5);
    EXPECT_DOUBLE_EQ(decode_decimal(places, 4, 3), 1234.567);
    unsigned char wide[16];
    std::memset(wide, 0x99, sizeof wide);
    wide[0] = 0x09;
    EXPECT_DOUBLE_EQ(decode_decimal(wide, 16, 0), 1e31 - 1);
}

TEST_F(BindTest, StringKindsReadWithinTheirSize) {
    char c[4] = {'a', 'b', 'c', 'd'};  // no NUL: the whole size
    EXPECT_EQ(read_string(bound_cstring(c, 4)), "abcd");
    char p[3] = {static_cast<char>(200), 'x', 'y'};  // length byte beyond the size
    EXPECT_EQ(read_string(bound_pstring(p, 3)), "xy");
    char s[3] = {'a', ' ', ' '};
    EXPECT_EQ(read_string(bound_string(s, 3)), "a  ");
}

TEST(BindDeathTest, PopWithoutPushEndsTheProgram) {
    reset_all_scopes();
    EXPECT_EXIT(pop_scope(), ::testing::ExitedWithCode(2), "Mismatched POPSCOPE");
}

}  // namespace
}  // namespace sk::rt
