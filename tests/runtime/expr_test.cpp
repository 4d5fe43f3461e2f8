// Compiling and evaluating expressions: tokens, grammar, evaluation rules and the
// built-in functions.
#include "runtime/expr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "runtime/bind.h"
#include "runtime/date_time.h"
#include "runtime/error.h"
#include "runtime/locale.h"

namespace sk::rt {
namespace {

class ExprTest : public ::testing::Test {
 protected:
    void SetUp() override {
        reset_all_scopes();
        reset_locale_defaults();
        clear_error();
        std::memset(category, ' ', sizeof category);
        std::memset(other, ' ', sizeof other);
    }
    void TearDown() override {
        sk::platform::set_clock_override(nullptr);
        reset_all_scopes();
    }

    static void set_text(char* field, std::size_t size, std::string_view value) {
        std::memset(field, ' ', size);
        std::memcpy(field, value.data(), std::min(size, value.size()));
    }

    // The value of text compiled as a whole expression; fails the test when it
    // does not compile.
    std::string str(std::string_view text) {
        ExprTree t = compile_whole_expression(text);
        EXPECT_NE(t, nullptr) << text;
        return evaluate_string(t.get());
    }
    double real(std::string_view text) {
        ExprTree t = compile_whole_expression(text);
        EXPECT_NE(t, nullptr) << text;
        return evaluate_real(t.get());
    }
    std::int32_t integer(std::string_view text) {
        ExprTree t = compile_whole_expression(text);
        EXPECT_NE(t, nullptr) << text;
        return evaluate_integer(t.get());
    }
    bool truth(std::string_view text) {
        ExprTree t = compile_whole_expression(text);
        EXPECT_NE(t, nullptr) << text;
        return evaluate_truth(t.get());
    }
    bool compiles(std::string_view text) { return compile_whole_expression(text) != nullptr; }
    std::string text_of(std::string_view text) {
        ExprTree t = compile_whole_expression(text);
        EXPECT_NE(t, nullptr) << text;
        return expression_text(t.get());
    }

    char category[15];
    char other[15];
};

TEST_F(ExprTest, StringsDifferingOnlyInTrailingBlanksCompareEqual) {
    ASSERT_TRUE(bind_name("URL:Category", bound_string(category, sizeof category)));
    set_text(category, sizeof category, "News");
    EXPECT_TRUE(truth("URL:Category = 'News'"));
    EXPECT_TRUE(truth("URL:Category = 'News   '"));
    EXPECT_TRUE(truth("'News' = 'News      '"));
    EXPECT_FALSE(truth("URL:Category = ' News'"));
    EXPECT_FALSE(truth("URL:Category < 'News'"));
    EXPECT_TRUE(truth("URL:Category <= 'News'"));
}

TEST_F(ExprTest, UpperOnBothSidesIgnoresLetterCase) {
    ASSERT_TRUE(bind_name("URL:Category", bound_string(category, sizeof category)));
    ASSERT_TRUE(bind_name("BRW1::Sort2:Reset:CAT:Category", bound_string(other, sizeof other)));
    set_text(category, sizeof category, "Science");
    set_text(other, sizeof other, "sCIENCE");
    ExprTree t = compile_whole_expression("UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)");
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(evaluate_truth(t.get()));
    EXPECT_FALSE(truth("URL:Category = BRW1::Sort2:Reset:CAT:Category"));
    // The tree reads the variables at each evaluation.
    set_text(other, sizeof other, "Sport");
    EXPECT_FALSE(evaluate_truth(t.get()));
    EXPECT_EQ(str("LOWER('AbC')"), "abc");
}

TEST_F(ExprTest, StringOrderFollowsCollationAndPadding) {
    EXPECT_TRUE(truth("'abc' < 'abd'"));
    EXPECT_TRUE(truth("'ab' < 'abc'"));
    EXPECT_TRUE(truth("'ab' > 'ab!'") == false);  // "!" weighs above the blank padding
    EXPECT_TRUE(truth("'B' > 'A'"));
    EXPECT_TRUE(truth("'' = '   '"));
}

TEST_F(ExprTest, ConcatenationBindsLooserThanAddition) {
    EXPECT_EQ(str("1 + 2 & 'x'"), "3x");
    EXPECT_EQ(str("'x' & 1 + 2"), "x3");
    EXPECT_EQ(str("'a' & 'b' & 'c'"), "abc");
    EXPECT_EQ(str("1.5 & ''"), "1.5");
}

TEST_F(ExprTest, ArithmeticLevelsAndAssociativity) {
    EXPECT_DOUBLE_EQ(real("2 ^ 3 ^ 2"), 64);
    EXPECT_DOUBLE_EQ(real("2 + 3 * 4"), 14);
    EXPECT_DOUBLE_EQ(real("(2 + 3) * 4"), 20);
    EXPECT_DOUBLE_EQ(real("10 - 4 - 3"), 3);
    EXPECT_DOUBLE_EQ(real("100 / 10 / 5"), 2);
    EXPECT_DOUBLE_EQ(real("7 % 3"), 1);
    EXPECT_DOUBLE_EQ(real("-2 ^ 2"), 4);  // the sign binds tighter than the power
    EXPECT_DOUBLE_EQ(real("- - 3"), 3);
    EXPECT_DOUBLE_EQ(real("- + - - 3"), -3);
    EXPECT_DOUBLE_EQ(real("7 / 2"), 3.5);  // arithmetic is real even on integers
    EXPECT_EQ(expression_type(compile_whole_expression("1 + 1").get()), ValueType::kReal);
}

TEST_F(ExprTest, NotTogglesAndDoubleNotGivesTruthValue) {
    EXPECT_EQ(integer("NOT NOT 5"), 1);
    EXPECT_EQ(integer("NOT NOT 0"), 0);
    EXPECT_EQ(integer("NOT 5"), 0);
    EXPECT_EQ(integer("~0"), 1);
    EXPECT_EQ(integer("not not not 1"), 0);
    EXPECT_TRUE(truth("NOT 1 = 2"));  // NOT is looser than the comparison
}

TEST_F(ExprTest, TwoTokenComparisonForms) {
    struct Case {
        const char* text;
        bool expected;
    } cases[] = {
        {"1 ~= 2", true},  {"2 ~= 2", false}, {"1 <> 2", true}, {"2 <> 2", false}, {"3 => 2", true},
        {"2 => 3", false}, {"3 >= 3", true},  {"2 =< 3", true}, {"3 <= 2", false}, {"3 ~< 2", true},
        {"2 ~< 3", false}, {"3 ~> 2", false}, {"2 ~> 2", true}, {"2 < = 2", true},
    };
    for (const Case& c : cases) EXPECT_EQ(truth(c.text), c.expected) << c.text;
    EXPECT_EQ(text_of("1 ~= 2"), "1 <> 2");
    EXPECT_EQ(text_of("1 => 2"), "1 >= 2");
    EXPECT_EQ(text_of("1 ~> 2"), "1 <= 2");
}

TEST_F(ExprTest, WordOperatorsEvaluateBothSidesAndGiveOneOrZero) {
    EXPECT_EQ(integer("5 AND 7"), 1);
    EXPECT_EQ(integer("0 OR 7"), 1);
    EXPECT_EQ(integer("1 XOR 1"), 0);
    EXPECT_EQ(integer("1 XOR 0"), 1);
    EXPECT_EQ(integer("1 = 1 AND 2 = 3 OR 4 = 4"), 1);
    EXPECT_EQ(integer("1 = 2 and 1 = 1"), 0);
}

TEST_F(ExprTest, FunctionArgumentCounts) {
    EXPECT_FALSE(compiles("LEFT('abc', 2, 1)"));
    EXPECT_TRUE(compiles("LEFT('  abc')"));
    EXPECT_EQ(str("LEFT('  abc')"), "abc  ");
    EXPECT_FALSE(compiles("CLOCK"));
    EXPECT_FALSE(compiles("CLOCK(1)"));
    EXPECT_TRUE(compiles("CLOCK()"));
    EXPECT_FALSE(compiles("UPPER('a'"));
    EXPECT_FALSE(compiles("UPPER 'a'"));
    EXPECT_TRUE(compiles("upper('a')"));
}

TEST_F(ExprTest, NumberLiterals) {
    EXPECT_EQ(integer("0FFH"), 255);
    EXPECT_EQ(integer("0ffh"), 255);
    EXPECT_EQ(integer("17O"), 15);
    EXPECT_EQ(integer("101B"), 5);
    EXPECT_EQ(integer("1BH"), 27);
    EXPECT_EQ(integer("0FFFFFFFFH"), -1);  // a 32-bit pattern
    EXPECT_FALSE(compiles("19A"));
    EXPECT_FALSE(compiles("12B"));
    EXPECT_FALSE(compiles("8O"));
    EXPECT_FALSE(compiles("1FFFFFFFFH"));
    EXPECT_DOUBLE_EQ(real("1.5E3"), 1500);
    EXPECT_DOUBLE_EQ(real("2.5e-1"), 0.25);
    EXPECT_DOUBLE_EQ(real(".5"), 0.5);
    EXPECT_DOUBLE_EQ(real("3000000000"), 3e9);
    EXPECT_EQ(expression_type(compile_whole_expression("12").get()), ValueType::kInteger);
    EXPECT_EQ(expression_type(compile_whole_expression("1.0").get()), ValueType::kReal);
    EXPECT_FALSE(compiles("1E5"));
    EXPECT_FALSE(compiles("1."));
    EXPECT_FALSE(compiles("1.0E999"));
}

TEST_F(ExprTest, StringLiterals) {
    EXPECT_EQ(str("'it''s'"), "it's");
    EXPECT_EQ(str("''''"), "'");
    EXPECT_EQ(str("''"), "");
    EXPECT_FALSE(compiles("'open"));
    EXPECT_FALSE(compiles("'a''"));
    EXPECT_EQ(integer("LEN('a''b')"), 3);
}

TEST_F(ExprTest, UnboundNameFailsWithError801) {
    EXPECT_EQ(compile_expression("Nobody:Here = 1"), nullptr);
    EXPECT_EQ(error_code(), kNoBindOnVariable);
    EXPECT_EQ(error_text(), "No BIND on variable");
    // A syntax error posts nothing.
    clear_error();
    EXPECT_EQ(compile_expression("1 +"), nullptr);
    EXPECT_EQ(error_code(), 0);
}

TEST_F(ExprTest, RealEqualityToleratesRoundingOnly) {
    EXPECT_TRUE(truth("0.1 + 0.2 = 0.3"));
    EXPECT_FALSE(truth("0.1 + 0.2 < 0.3"));
    EXPECT_FALSE(truth("0.1 + 0.2 > 0.3"));
    EXPECT_FALSE(truth("0.3 = 0.3000000001"));
    EXPECT_FALSE(truth("0.0000000001 = 0"));
    EXPECT_TRUE(truth("1 / 3 * 3 = 1"));
    // An integer and a real compare as reals.
    EXPECT_TRUE(truth("1 = 1.0"));
    EXPECT_TRUE(truth("'2' = 2"));
}

TEST_F(ExprTest, ConversionsTruncateTowardZero) {
    EXPECT_EQ(integer("7 / 2"), 3);
    EXPECT_EQ(integer("-7 / 2"), -3);
    EXPECT_EQ(integer("INT(-2.7)"), -2);
    EXPECT_EQ(integer("1.0E20"), 2147483647);  // saturates
    EXPECT_EQ(integer("' 42xyz'"), 42);
    EXPECT_DOUBLE_EQ(real("'  -1.5e2 '"), -150);
    EXPECT_EQ(integer("'abc'"), 0);
    EXPECT_FALSE(truth("'   '"));
    EXPECT_TRUE(truth("'x'"));
    EXPECT_TRUE(truth("0.5"));
    EXPECT_EQ(str("0.1 + 0.2"), "0.3");
    EXPECT_EQ(str("1 = 1"), "1");
    EXPECT_EQ(str("-5"), "-5");
}

TEST_F(ExprTest, WholeTextVariantRejectsTrailingTokens) {
    ExprTree t = compile_expression("1 + 2 ) junk");
    ASSERT_NE(t, nullptr);
    EXPECT_DOUBLE_EQ(evaluate_real(t.get()), 3);
    EXPECT_EQ(compile_whole_expression("1 + 2 )"), nullptr);
    EXPECT_EQ(compile_whole_expression("1 2"), nullptr);
    EXPECT_NE(compile_expression("1, 2"), nullptr);
    EXPECT_EQ(compile_whole_expression("1, 2"), nullptr);
    EXPECT_EQ(compile_whole_expression(""), nullptr);
    EXPECT_EQ(compile_whole_expression("1 $ 2"), nullptr);
}

TEST_F(ExprTest, SyntaxErrorsInsideDeepTreesFreeThePartialTree) {
    // Run under the address sanitizer: every failure here must leave no leak.
    const char* bad[] = {"UPPER('a') & (1 + ", "1 + 2 * (3 - SUB('abc', 1, ", "(((1 + 2) * 3) = ",
                         "LEFT('x', 1, 2, 3)", "'a' & 'b' & 'c' &", "NOT NOT (1 = ", "INSTRING('a', 'b', 1, 1, 1)"};
    for (const char* text : bad) EXPECT_EQ(compile_expression(text), nullptr) << text;
}

TEST_F(ExprTest, NestingBeyondTheLimitFailsCleanly) {
    std::string deep(500, '(');
    deep += "1";
    deep += std::string(500, ')');
    EXPECT_EQ(compile_expression(deep), nullptr);
    std::string chain = "1";
    for (int i = 0; i < 5000; ++i) chain += " + 1";
    EXPECT_EQ(compile_expression(chain), nullptr);
    std::string moderate = "1";
    for (int i = 0; i < 100; ++i) moderate += " + 1";
    EXPECT_DOUBLE_EQ(real(moderate), 101);
}

TEST_F(ExprTest, ExpressionTextSpacingAndParentheses) {
    ASSERT_TRUE(bind_name("URL:Category", bound_string(category, sizeof category)));
    EXPECT_EQ(text_of("UPPER(URL:Category)=UPPER('x')"), "UPPER(URL:Category) = UPPER('x')");
    EXPECT_EQ(text_of("(1+2)*3"), "(1 + 2) * 3");
    EXPECT_EQ(text_of("1+2*3"), "1 + 2 * 3");
    EXPECT_EQ(text_of("1-(2-3)"), "1 - (2 - 3)");
    EXPECT_EQ(text_of("not 1=2 and 3<4 or 0FFH"), "~1 = 2 AND 3 < 4 OR 0FFH");
    EXPECT_EQ(text_of("NOT (1 OR 0)"), "~(1 OR 0)");
    EXPECT_EQ(text_of("-(2+3)"), "-(2 + 3)");
    EXPECT_EQ(text_of("SUB('it''s',1,2)"), "SUB('it''s', 1, 2)");
    EXPECT_EQ(text_of("INSTRING('a',URL:Category,,3)"), "INSTRING('a', URL:Category, , 3)");
    EXPECT_EQ(text_of("URL:Category[2:4]"), "URL:Category[2 : 4]");
    EXPECT_EQ(text_of("1 % 2 ^ 3 & 'a' XOR 1 >= 2"), "1 % 2 ^ 3 & 'a' XOR 1 >= 2");
    EXPECT_EQ(text_of("(1 & 2) + 3"), "(1 & 2) + 3");
    EXPECT_EQ(text_of("1 = (2 = 3)"), "1 = (2 = 3)");
}

TEST_F(ExprTest, ExpressionTextRecompilesToTheSameValue) {
    const char* texts[] = {"1 - (2 - 3) * 4 ^ (1 / 2)", "NOT (1 = 0 OR 0) AND 'b' > 'a'", "-(-3) + --4",
                           "NOT NOT (NOT 1)", "(1 + 2) & (3 = 3)", "2 ^ (3 ^ 2)"};
    for (const char* text : texts) {
        ExprTree a = compile_whole_expression(text);
        ASSERT_NE(a, nullptr) << text;
        std::string written = expression_text(a.get());
        ExprTree b = compile_whole_expression(written);
        ASSERT_NE(b, nullptr) << written;
        EXPECT_EQ(evaluate_string(a.get()), evaluate_string(b.get())) << text << " -> " << written;
        EXPECT_EQ(expression_text(b.get()), written);
    }
}

TEST_F(ExprTest, PictureLiteralsRunToTheirEnd) {
    EXPECT_EQ(text_of("FORMAT(5, @n3)"), "FORMAT(5, @n3)");
    EXPECT_EQ(text_of("FORMAT(5,@n(10.2))"), "FORMAT(5, @n(10.2))");
    EXPECT_EQ(text_of("FORMAT(5, @n~ EUR, ~9.2)"), "FORMAT(5, @n~ EUR, ~9.2)");
    EXPECT_EQ(text_of("FORMAT(5, @p(###) ##p)"), "FORMAT(5, @p(###) ##p)");
    EXPECT_EQ(text_of("FORMAT(5, @p##pB)"), "FORMAT(5, @p##pB)");
    EXPECT_EQ(text_of("FORMAT(5, @n3b)"), "FORMAT(5, @n3b)");
    EXPECT_FALSE(compiles("FORMAT(5, @p###)"));
    EXPECT_FALSE(compiles("FORMAT(5, @n~EUR)"));
    EXPECT_EQ(expression_type(compile_whole_expression("@s15").get()), ValueType::kPicture);
}

TEST_F(ExprTest, FormatAndDeformatApplyPictures) {
    EXPECT_EQ(str("FORMAT(5, @n3)"), "  5");
    EXPECT_EQ(str("FORMAT('abcdef', @s3)"), "abc");
    EXPECT_EQ(str("FORMAT(12345, @p###-##p)"), "123-45");
    EXPECT_EQ(str("FORMAT(4, @d2)"), " 1/01/1801");
    EXPECT_DOUBLE_EQ(real("DEFORMAT('1,234', @n5)"), 1234);
    EXPECT_EQ(str("FORMAT(7)"), "7");
}

TEST_F(ExprTest, StringFunctions) {
    EXPECT_EQ(str("SUB('abcdef', 2, 3)"), "bcd");
    EXPECT_EQ(str("SUB('abcdef', 4)"), "def");
    EXPECT_EQ(str("SUB('abcdef', -2)"), "ef");
    EXPECT_EQ(str("SUB('abc', 5, 2)"), "");
    EXPECT_EQ(str("SUB('abc', 2, 99)"), "bc");
    EXPECT_EQ(integer("INSTRING('cd', 'abcdcd')"), 3);
    EXPECT_EQ(integer("INSTRING('cd', 'abcdcd', 1, 4)"), 5);
    EXPECT_EQ(integer("INSTRING('cd', 'abcdcd', -1, 6)"), 5);
    EXPECT_EQ(integer("INSTRING('x', 'abc')"), 0);
    EXPECT_EQ(integer("INSTRING('', 'abc')"), 0);
    EXPECT_EQ(str("CLIP('ab  ')"), "ab");
    EXPECT_EQ(str("ALL('ab', 5)"), "ababa");
    EXPECT_EQ(integer("LEN(ALL('-'))"), 255);
    EXPECT_EQ(integer("LEN(ALL('-', 2000000000))"), 65534);  // capped, not exhausting memory
    EXPECT_EQ(str("CENTER('ab', 6)"), "  ab  ");
    EXPECT_EQ(str("CENTER('  ab')"), " ab ");
    EXPECT_EQ(str("LEFT('  ab', 5)"), "ab   ");
    EXPECT_EQ(str("RIGHT('ab  ')"), "  ab");
    EXPECT_EQ(str("RIGHT('abc', 2)"), "bc");
    EXPECT_EQ(str("CHR(65) & CHR(322)"), "AB");
    EXPECT_EQ(integer("VAL('A')"), 65);
    EXPECT_EQ(integer("VAL('')"), 0);
    EXPECT_EQ(integer("LEN('abc  ')"), 5);
    EXPECT_EQ(integer("NUMERIC(' -12.5 ')"), 1);
    EXPECT_EQ(integer("NUMERIC('12a')"), 0);
    EXPECT_EQ(integer("NUMERIC('')"), 0);
}

TEST_F(ExprTest, NumericFunctions) {
    EXPECT_DOUBLE_EQ(real("ABS(-2.5)"), 2.5);
    EXPECT_EQ(integer("INRANGE(5, 1, 10)"), 1);
    EXPECT_EQ(integer("INRANGE(10, 1, 10)"), 1);
    EXPECT_EQ(integer("INRANGE(0.3, 0.1 + 0.2, 1)"), 1);
    EXPECT_EQ(integer("INRANGE(11, 1, 10)"), 0);
    EXPECT_DOUBLE_EQ(real("SQRT(16)"), 4);
    EXPECT_NEAR(real("LOGE(2.718281828459045)"), 1, 1e-12);
    EXPECT_DOUBLE_EQ(real("LOG10(1000)"), 3);
    EXPECT_NEAR(real("SIN(0) + COS(0) + TAN(0) + ASIN(1) * 2 - ACOS(-1) + ATAN(0)"), 1, 1e-12);
    EXPECT_DOUBLE_EQ(real("ROUND(3.14159, .01)"), 3.14);
    EXPECT_DOUBLE_EQ(real("ROUND(2.675, .01)"), 2.68);
    EXPECT_DOUBLE_EQ(real("ROUND(-2.5)"), -3);
    EXPECT_DOUBLE_EQ(real("ROUND(1234, 100)"), 1200);
    EXPECT_EQ(integer("BAND(0F0H, 3CH)"), 0x30);
    EXPECT_EQ(integer("BOR(0F0H, 0FH)"), 0xFF);
    EXPECT_EQ(integer("BXOR(0FFH, 0FH)"), 0xF0);
    EXPECT_EQ(integer("BSHIFT(1, 4)"), 16);
    EXPECT_EQ(integer("BSHIFT(16, -2)"), 4);
    EXPECT_EQ(integer("BSHIFT(-1, -28)"), 15);
    EXPECT_EQ(integer("BSHIFT(1, 40)"), 0);
    for (int i = 0; i < 50; ++i) {
        std::int32_t r = integer("RANDOM(3, 6)");
        EXPECT_GE(r, 3);
        EXPECT_LE(r, 6);
    }
    EXPECT_EQ(integer("RANDOM(9, 9)"), 9);
    EXPECT_GT(integer("MEMORY(1)"), 0);
}

TEST_F(ExprTest, DateFunctionsCarryAndRead) {
    EXPECT_EQ(integer("DATE(1, 1, 1901)"), 36528);
    EXPECT_EQ(integer("DATE(1, 1, 1801)"), 4);
    EXPECT_EQ(integer("DATE(13, 1, 99)"), integer("DATE(1, 1, 2000)"));
    EXPECT_EQ(integer("DATE(2, 30, 2001)"), integer("DATE(3, 2, 2001)"));
    EXPECT_EQ(integer("DATE(12, 31, 2099)"), 109211);
    EXPECT_EQ(integer("DATE(1, 1, 2100)"), 0);
    EXPECT_EQ(integer("DATE(1, 1, 1700)"), 0);
    EXPECT_EQ(integer("DAY(DATE(7, 14, 1999))"), 14);
    EXPECT_EQ(integer("MONTH(DATE(7, 14, 1999))"), 7);
    EXPECT_EQ(integer("YEAR(DATE(7, 14, 1999))"), 1999);
    EXPECT_EQ(integer("YEAR(3)"), 0);
}

TEST_F(ExprTest, TodayClockAndAgeUseTheLocalClock) {
    sk::platform::LocalTime now{2003, 6, 15, 13, 5, 7, 42, 0};
    sk::platform::set_clock_override(&now);
    std::int32_t today = 0;
    ASSERT_TRUE(date_to_serial(2003, 6, 15, &today));
    EXPECT_EQ(integer("TODAY()"), today);
    EXPECT_EQ(integer("CLOCK()"), time_value(13, 5, 7, 42));
    EXPECT_EQ(str("AGE(TODAY() - 10)"), "10 DAYS");
    EXPECT_EQ(str("AGE(DATE(4, 20, 2003))"), "56 DAYS");
    EXPECT_EQ(str("AGE(DATE(4, 10, 2003))"), "2 MOS");
    EXPECT_EQ(str("AGE(DATE(6, 16, 2001))"), "23 MOS");
    EXPECT_EQ(str("AGE(DATE(6, 15, 2001))"), "2 YRS");
    EXPECT_EQ(str("AGE(DATE(1, 1, 1990), DATE(12, 31, 1999))"), "9 YRS");
    EXPECT_EQ(str("AGE(TODAY() + 5)"), "-5 DAYS");
    EXPECT_EQ(str("AGE(1)"), "");
}

TEST_F(ExprTest, SubscriptsSliceStringsAndPickArrayItems) {
    ASSERT_TRUE(bind_name("URL:Category", bound_string(category, sizeof category)));
    set_text(category, sizeof category, "Science");
    EXPECT_EQ(str("URL:Category[2 : 4]"), "cie");
    EXPECT_EQ(str("URL:Category[1]"), "S");
    EXPECT_EQ(str("URL:Category[6 : 99]"), "ce        ");
    EXPECT_EQ(str("URL:Category[5 : 2]"), "");
    std::int32_t numbers[3] = {10, 20, 30};
    ASSERT_TRUE(bind_name("Nums", bound_array(bound_long(numbers), 3)));
    EXPECT_EQ(integer("Nums[2]"), 20);
    EXPECT_EQ(integer("Nums[1 + 2]"), 30);
    EXPECT_EQ(integer("Nums[4]"), 0);
    EXPECT_EQ(integer("Nums"), 10);
    EXPECT_EQ(str("Nums[3, 1]"), "3");
    EXPECT_FALSE(compiles("URL:Category[1, 2]"));
    EXPECT_FALSE(compiles("Nums[1, 2, 3]"));
    EXPECT_FALSE(compiles("URL:Category[1"));
}

TEST_F(ExprTest, BoundVariablesReadByStorageType) {
    std::uint8_t b = 255;
    std::int16_t s = -2;
    std::uint16_t us = 65535;
    std::int32_t l = -70000;
    std::uint32_t ul = 4000000000u;
    float f = 1.5f;
    double d = 0.25;
    unsigned char rating[2] = {0x00, 0x42};     // DECIMAL(2,0): 42
    unsigned char price[3] = {0x10, 0x12, 0x34};  // DECIMAL(5,2), negative: -12.34
    char cs[8] = "ab\0zzzz";
    char ps[6] = {3, 'x', 'y', 'z', 'q', 'q'};
    ASSERT_TRUE(bind_name("B", bound_byte(&b)));
    ASSERT_TRUE(bind_name("S", bound_short(&s)));
    ASSERT_TRUE(bind_name("US", bound_ushort(&us)));
    ASSERT_TRUE(bind_name("L", bound_long(&l)));
    ASSERT_TRUE(bind_name("UL", bound_ulong(&ul)));
    ASSERT_TRUE(bind_name("F", bound_sreal(&f)));
    ASSERT_TRUE(bind_name("D", bound_real(&d)));
    ASSERT_TRUE(bind_name("URL:Rating", bound_decimal(rating, 2, 0)));
    ASSERT_TRUE(bind_name("Price", bound_decimal(price, 5, 2)));
    ASSERT_TRUE(bind_name("CS", bound_cstring(cs, sizeof cs)));
    ASSERT_TRUE(bind_name("PS", bound_pstring(ps, sizeof ps)));
    EXPECT_EQ(integer("B"), 255);
    EXPECT_EQ(integer("S"), -2);
    EXPECT_EQ(integer("US"), 65535);
    EXPECT_EQ(integer("L"), -70000);
    EXPECT_DOUBLE_EQ(real("UL"), 4e9);
    EXPECT_DOUBLE_EQ(real("F + D"), 1.75);
    EXPECT_EQ(integer("URL:Rating"), 42);
    EXPECT_DOUBLE_EQ(real("Price"), -12.34);
    EXPECT_EQ(str("CS & '|'"), "ab|");
    EXPECT_EQ(str("PS & '|'"), "xyz|");
    EXPECT_EQ(expression_type(compile_whole_expression("B").get()), ValueType::kInteger);
    EXPECT_EQ(expression_type(compile_whole_expression("UL").get()), ValueType::kReal);
    EXPECT_EQ(expression_type(compile_whole_expression("CS").get()), ValueType::kString);
    // Integers compare as integers, a string with a number as reals.
    EXPECT_TRUE(truth("S < B"));
    EXPECT_TRUE(truth("URL:Rating = '42'"));
}

TEST_F(ExprTest, ProceduresGetArgumentsLastToFirst) {
    std::vector<std::string> order;
    auto trace = [&order](std::span<const ExprValue> args) {
        order.push_back(args[0].text);
        ExprValue r;
        r.integer = 1;
        return r;
    };
    ASSERT_TRUE(bind_procedure("Mark", trace, {ValueType::kString}, ValueType::kInteger));
    auto sum = [](std::span<const ExprValue> args) {
        ExprValue r;
        r.real = args[0].real + args[1].integer + (args[2].present ? 100 : 0);
        return r;
    };
    ASSERT_TRUE(bind_procedure("Sum", sum, {ValueType::kReal, ValueType::kInteger, ValueType::kReal},
                               ValueType::kReal));
    EXPECT_DOUBLE_EQ(real("Sum(1.5, 2.9)"), 3.5);
    EXPECT_DOUBLE_EQ(real("Sum(1, 2, 0)"), 103);
    EXPECT_FALSE(compiles("Sum(1, 2, 3, 4)"));
    EXPECT_FALSE(compiles("Sum"));

    std::vector<std::string> seen;
    auto pair = [&seen](std::span<const ExprValue> args) {
        ExprValue r;
        r.type = ValueType::kString;
        r.text = args[0].text + args[1].text;
        seen.push_back(r.text);
        return r;
    };
    ASSERT_TRUE(bind_procedure("Pair", pair, {ValueType::kString, ValueType::kString}, ValueType::kString));
    EXPECT_EQ(str("Pair(Mark('first') & 'a', Mark('second') & 'b')"), "1a1b");
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0], "second");
    EXPECT_EQ(order[1], "first");

    // No short cut: both sides of AND and OR run.
    order.clear();
    EXPECT_EQ(integer("Mark('x') = 0 AND Mark('y') = 1"), 0);
    EXPECT_EQ(integer("Mark('x') = 1 OR Mark('y') = 1"), 1);
    EXPECT_EQ(order.size(), 4u);
}

}  // namespace
}  // namespace sk::rt
