// Character tables, comparisons, collation keys and the code page tables.
#include "runtime/locale.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "runtime/oem.h"

namespace sk::rt {
namespace {

class Locale : public ::testing::Test {
protected:
    void SetUp() override { reset_locale_defaults(); }
    void TearDown() override { reset_locale_defaults(); }
};

TEST_F(Locale, DefaultsAreAsciiEnglish) {
    EXPECT_EQ(upper_char('q'), 'Q');
    EXPECT_EQ(lower_char('Q'), 'q');
    EXPECT_EQ(upper_char('5'), '5');
    EXPECT_EQ(upper_char(0xE9), 0xE9);  // no partner above 127 by default
    EXPECT_EQ(char_class('A'), kClassUpper);
    EXPECT_EQ(char_class('z'), kClassLower);
    EXPECT_EQ(char_class('7'), kClassDigit);
    EXPECT_FALSE(has_class('-'));
    EXPECT_TRUE(has_partner('a'));
    EXPECT_FALSE(has_partner('1'));
    EXPECT_TRUE(is_upper('M'));
    EXPECT_FALSE(is_upper('m'));
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(collation_weight(static_cast<unsigned char>(c)), c);
        EXPECT_EQ(oem_collation_weight(static_cast<unsigned char>(c)), c);
    }
    EXPECT_EQ(month_name(1), "January");
    EXPECT_EQ(month_name(9), "September");
    EXPECT_EQ(month_abbrev(12), "Dec");
    EXPECT_EQ(month_name(0), "");
    EXPECT_EQ(month_abbrev(13), "");
    EXPECT_EQ(am_text(), "AM");
    EXPECT_EQ(pm_text(), "PM");
    EXPECT_EQ(digraph_count(), 0u);
    EXPECT_FALSE(oem_flag());
    EXPECT_EQ(intl().time_separator, ':');
    EXPECT_EQ(intl().short_date, "MM/dd/yy");
    EXPECT_EQ(intl().long_date, "ddd', 'MMMM' 'dd', 'yyyy");
}

TEST_F(Locale, StringCaseConversionHonoursLengthAndNul) {
    char a[] = "abc-Def";
    upper_string(a, 2);
    EXPECT_STREQ(a, "ABc-Def");
    upper_string(a, kUntilNul);
    EXPECT_STREQ(a, "ABC-DEF");
    lower_string(a, kUntilNul);
    EXPECT_STREQ(a, "abc-def");
    // An explicit length converts past embedded NULs.
    char b[] = {'a', 0, 'b'};
    upper_string(b, 3);
    EXPECT_EQ(b[0], 'A');
    EXPECT_EQ(b[2], 'B');
}

TEST_F(Locale, CaseSensitiveAndIgnoringCaseComparisons) {
    EXPECT_EQ(compare_strings("a", "A"), 97 - 65);
    EXPECT_EQ(compare_strings_nocase("a", "A"), 0);
    EXPECT_EQ(compare_strings("abc", "abc"), 0);
    EXPECT_LT(compare_strings("ab", "abc"), 0);
    EXPECT_GT(compare_strings("abd", "abc"), 0);
    EXPECT_LT(compare_strings("", "a"), 0);
    EXPECT_EQ(compare_strings("", ""), 0);
    EXPECT_EQ(compare_strings_nocase("Hello World", "hELLO wORLD"), 0);
    EXPECT_LT(compare_strings_nocase("apple", "BANANA"), 0);
    // Ignoring case, lower-case letters fold to upper case: "_" (95) sorts after "A" (65).
    EXPECT_GT(compare_strings_nocase("_", "a"), 0);
}

TEST_F(Locale, CompareFixedCoversExactlyNCharacters) {
    EXPECT_EQ(compare_fixed_nocase("abcX", "ABCy", 3), 0);
    EXPECT_NE(compare_fixed_nocase("abcX", "ABCy", 4), 0);
    // NULs inside the range are ordinary characters.
    const char a[] = {'a', 0, 'b'};
    const char b[] = {'A', 0, 'c'};
    EXPECT_LT(compare_fixed_nocase(a, b, 3), 0);
    EXPECT_EQ(compare_fixed_nocase(a, b, 2), 0);
    EXPECT_EQ(compare_fixed_nocase("x", "y", 0), 0);
}

TEST_F(Locale, ComparisonFollowsCollationWeights) {
    // Make 'b' sort before 'a'.
    apply_locale_key("TESCOLSEQ", "ba");
    EXPECT_EQ(collation_weight('b'), 'a');
    EXPECT_EQ(collation_weight('a'), 'b');
    EXPECT_LT(compare_strings("b", "a"), 0);
    EXPECT_LT(compare_strings("xb", "xa"), 0);
    EXPECT_GT(compare_strings("a", "b"), 0);
}

TEST_F(Locale, DigraphMakesACharacterSortAsTwoLetters) {
    // 0xC6 (AE ligature) expands to "AE".
    apply_locale_key("TESDIGRAPH", "\xC6" "AE");
    ASSERT_EQ(digraph_count(), 1u);
    EXPECT_EQ(compare_strings("\xC6", "AE"), 0);
    EXPECT_GT(compare_strings("\xC6", "AD"), 0);
    EXPECT_LT(compare_strings("\xC6", "AF"), 0);
    EXPECT_LT(compare_strings("\xC6", "AEA"), 0);
    EXPECT_EQ(compare_strings("B\xC6Z", "BAEZ"), 0);
    EXPECT_EQ(compare_strings_nocase("\xC6", "ae"), 0);
    // Two source characters each: "AEX" against "AE".
    EXPECT_GT(compare_fixed_nocase("\xC6x", "AEx", 2), 0);
}

TEST_F(Locale, DigraphExpansionIsFoldedIgnoringCase) {
    apply_locale_key("TESDIGRAPH", "\xDFss");  // sharp s sorts as "ss"
    EXPECT_EQ(compare_strings("\xDF", "ss"), 0);
    EXPECT_NE(compare_strings("\xDF", "SS"), 0);
    EXPECT_EQ(compare_strings_nocase("\xDF", "SS"), 0);
    EXPECT_EQ(compare_strings_nocase("Stra\xDF" "e", "STRASSE"), 0);
}

TEST_F(Locale, CollationKeyIsWeightsAndGrowsWithDigraphs) {
    apply_locale_key("TESCOLSEQ", "ba");
    unsigned char buf[8] = {'a', 'b', 'c'};
    EXPECT_EQ(collation_key(buf, 3, buf, sizeof buf, false), 3u);  // in place
    EXPECT_EQ(buf[0], 'b');
    EXPECT_EQ(buf[1], 'a');
    EXPECT_EQ(buf[2], 'c');

    apply_locale_key("TESDIGRAPH", "\xC6" "ab");
    unsigned char in[8] = {'x', 0xC6, 'y'};
    EXPECT_EQ(collation_key_length(in, 3, false), 4u);
    EXPECT_EQ(collation_key(in, 3, in, sizeof in, false), 4u);  // in place, growing
    EXPECT_EQ(in[0], 'x');
    EXPECT_EQ(in[1], 'b');  // weight of 'a'
    EXPECT_EQ(in[2], 'a');  // weight of 'b'
    EXPECT_EQ(in[3], 'y');

    // A short output buffer is never overrun.
    unsigned char src[3] = {0xC6, 0xC6, 0xC6};
    unsigned char small[4] = {0, 0, 0, 0xEE};
    EXPECT_EQ(collation_key(src, 3, small, 3, false), 3u);
    EXPECT_EQ(small[3], 0xEE);
}

TEST_F(Locale, OemCollationKeyConvertsFirst) {
    // Give OEM e-acute (0x82) a weight of its own in the OEM table only.
    apply_locale_key("TESCHARSET", "OEM");
    apply_locale_key("TESCOLSEQ", std::string("\x82" "e", 2));
    EXPECT_EQ(oem_collation_weight(0x82), 'e');
    EXPECT_EQ(oem_collation_weight('e'), 0x82);
    // The ANSI table receives the same order in ANSI codes (0xE9 is e-acute there).
    EXPECT_EQ(collation_weight(0xE9), 'e');
    EXPECT_EQ(collation_weight('e'), 0xE9);
    const unsigned char text[2] = {0xE9, 'e'};  // ANSI input
    unsigned char key[2];
    EXPECT_EQ(collation_key(text, 2, key, 2, true), 2u);
    EXPECT_EQ(key[0], 'e');
    EXPECT_EQ(key[1], 0x82);
}

TEST_F(Locale, SetIntlCutsAmPmTexts) {
    IntlValues v;
    v.am = "vorm";
    v.pm = "n";
    v.hour24 = true;
    set_intl(v);
    EXPECT_EQ(intl().am, "vo");
    EXPECT_EQ(intl().pm, "n");
    EXPECT_TRUE(intl().hour24);
    reset_locale_defaults();
    EXPECT_EQ(intl().am, "AM");
}

TEST(CodePages, AsciiIsUnchangedAndLatinLettersRoundTrip) {
    for (int c = 0; c < 128; ++c) {
        EXPECT_EQ(oem_to_ansi(static_cast<unsigned char>(c)), c);
        EXPECT_EQ(ansi_to_oem(static_cast<unsigned char>(c)), c);
    }
    EXPECT_EQ(oem_to_ansi(0x81), 0xFC);  // u-diaeresis
    EXPECT_EQ(oem_to_ansi(0x9C), 0xA3);  // pound sign
    EXPECT_EQ(oem_to_ansi(0xE1), 0xDF);  // sharp s
    EXPECT_EQ(oem_to_ansi(0x9F), 0x83);  // f-hook exists in both
    EXPECT_EQ(ansi_to_oem(0xC9), 0x90);  // E-acute
    // Every ANSI character from 160 up exists in the OEM set and comes back unchanged.
    std::set<int> oem_codes;
    for (int c = 160; c < 256; ++c) {
        const unsigned char o = ansi_to_oem(static_cast<unsigned char>(c));
        EXPECT_GE(o, 128);
        EXPECT_EQ(oem_to_ansi(o), c);
        oem_codes.insert(o);
    }
    EXPECT_EQ(oem_codes.size(), 96u);
    // Characters only one set has become plain look-alikes.
    EXPECT_EQ(oem_to_ansi(0xC4), '-');   // box drawing horizontal
    EXPECT_EQ(oem_to_ansi(0xC5), '+');   // box drawing cross
    EXPECT_EQ(ansi_to_oem(0x93), '"');   // left double quotation mark
    EXPECT_EQ(ansi_to_oem(0x80), 'E');   // euro sign
}

TEST(CodePages, AnsiLettersAndCase) {
    EXPECT_TRUE(ansi_is_alpha(0xC0));
    EXPECT_TRUE(ansi_is_upper(0xC0));
    EXPECT_EQ(ansi_lower(0xC0), 0xE0);
    EXPECT_EQ(ansi_lower(0x8A), 0x9A);  // S-caron
    EXPECT_EQ(ansi_lower(0x9F), 0xFF);  // Y-diaeresis
    EXPECT_FALSE(ansi_is_alpha(0xD7));  // multiplication sign
    EXPECT_FALSE(ansi_is_alpha(0xF7));  // division sign
    EXPECT_TRUE(ansi_is_alpha(0xDF));
    EXPECT_FALSE(ansi_is_upper(0xDF));
    EXPECT_EQ(ansi_lower('Q'), 'q');
    EXPECT_EQ(ansi_lower('#'), '#');
    for (int c = 0; c < 256; ++c) {
        const auto u = static_cast<unsigned char>(c);
        if (ansi_is_upper(u)) {
            EXPECT_TRUE(ansi_is_alpha(ansi_lower(u))) << c;
            EXPECT_FALSE(ansi_is_upper(ansi_lower(u))) << c;
        }
    }
}

TEST(CodePages, AnsiDictionaryOrder) {
    std::set<int> ranks;
    for (int c = 0; c < 256; ++c) ranks.insert(ansi_sort_rank(static_cast<unsigned char>(c)));
    EXPECT_EQ(ranks.size(), 256u);
    EXPECT_LT(ansi_compare_strings("!", "0"), 0);
    EXPECT_LT(ansi_compare_strings("9", "a"), 0);
    EXPECT_LT(ansi_compare_strings("a", "A"), 0);
    EXPECT_LT(ansi_compare_strings("A", "\xE1"), 0);     // a-acute after A
    EXPECT_LT(ansi_compare_strings("\xE1", "b"), 0);     // and before b
    EXPECT_LT(ansi_compare_strings("e\xE9", "ef"), 0);
    EXPECT_LT(ansi_compare_strings("ab", "abc"), 0);
    EXPECT_EQ(ansi_compare_strings("same", "same"), 0);
}

TEST_F(Locale, WindowsCollationSortsAccentsWithTheirLetters) {
    apply_locale_key("TESCOLSEQ", "WINDOWS");
    EXPECT_EQ(collation_weight(0), 0);
    EXPECT_EQ(collation_weight(1), 1);
    EXPECT_EQ(collation_weight(255), 255);
    EXPECT_LT(collation_weight('a'), collation_weight('A'));
    EXPECT_LT(collation_weight('A'), collation_weight(0xE1));
    EXPECT_LT(collation_weight(0xE1), collation_weight('b'));
    EXPECT_LT(collation_weight('9'), collation_weight('a'));
    // The weights are a permutation.
    std::set<int> weights;
    for (int c = 0; c < 256; ++c) weights.insert(collation_weight(static_cast<unsigned char>(c)));
    EXPECT_EQ(weights.size(), 256u);
    // The OEM table gets the same order in OEM codes.
    EXPECT_LT(oem_collation_weight('A'), oem_collation_weight(0xA0));  // a-acute in the OEM set
    EXPECT_LT(oem_collation_weight(0xA0), oem_collation_weight('b'));
}

TEST_F(Locale, CompleteOrderOf222AssignsPrintableWeights) {
    // 126..32, then code 10, then 254..129: 222 distinct characters.
    std::string order;
    for (int c = 126; c >= 32; --c) order.push_back(static_cast<char>(c));
    order.push_back('\n');
    for (int c = 254; c >= 129; --c) order.push_back(static_cast<char>(c));
    ASSERT_EQ(order.size(), 222u);
    // Commas and quotes are ordinary characters of the order.
    apply_locale_key("TESCOLSEQ", order);
    EXPECT_EQ(collation_weight('~'), 32);
    EXPECT_EQ(collation_weight(' '), 126);
    EXPECT_EQ(collation_weight('\n'), 128);
    EXPECT_EQ(collation_weight(254), 129);
    EXPECT_EQ(collation_weight(129), 254);
    EXPECT_EQ(collation_weight(128), 128);  // not listed
    EXPECT_EQ(collation_weight(127), 127);
    EXPECT_EQ(collation_weight(9), 9);

    // With a repeat the same list only reorders the codes it occupies.
    reset_locale_defaults();
    apply_locale_key("TESCOLSEQ", order + "~");
    EXPECT_EQ(collation_weight('~'), 10);
    EXPECT_EQ(collation_weight('}'), 32);
}

TEST_F(Locale, PartialOrderReordersOnlyListedCodes) {
    apply_locale_key("TESCOLSEQ", "zyxz");  // the repeated z is dropped
    EXPECT_EQ(collation_weight('z'), 'x');
    EXPECT_EQ(collation_weight('y'), 'y');
    EXPECT_EQ(collation_weight('x'), 'z');
    EXPECT_EQ(collation_weight('w'), 'w');
    apply_locale_key("TESCOLSEQ", "");
    EXPECT_EQ(collation_weight('z'), 'z');
}

}  // namespace
}  // namespace sk::rt
