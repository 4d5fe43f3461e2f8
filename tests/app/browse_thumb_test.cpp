// Thumb distributions: spread, shared prefixes, degenerate ranges, and the way back
// from a key value to a thumb position.
#include "app/browse_thumb.h"

#include <gtest/gtest.h>

#include "runtime/locale.h"

namespace {

using namespace sk::app;

TEST(BrowseThumb, AlphabetIsTheUpperCaseLettersInCodeOrder) {
    sk::rt::reset_locale_defaults();
    const std::string a = thumb_alphabet();
    ASSERT_GE(a.size(), 26u);
    EXPECT_EQ(a.substr(0, 26), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    for (std::size_t i = 1; i < a.size(); ++i) EXPECT_LT(static_cast<unsigned char>(a[i - 1]), static_cast<unsigned char>(a[i]));
}

TEST(BrowseThumb, TextEntriesRiseFromLowToHighAndKeepTheSharedPrefix) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const auto e = text_distribution("http://www.alpha.example/", "http://www.zulu.example/", 128, alphabet);
    EXPECT_EQ(e[0], "http://www.alph");
    EXPECT_EQ(e[99], "http://www.zulu");
    for (const std::string& s : e) EXPECT_EQ(s.rfind("http://www.", 0), 0u) << s;
    // A digit 0 writes no character, so neighbours need not sort in byte order;
    // the first letter after the prefix never goes down.
    for (int i = 2; i < 99; ++i) EXPECT_LE(e[i - 1][11], e[i][11]) << i;
    EXPECT_EQ(thumb_for_text(e, "http://www.alph"), 0);
    EXPECT_LE(thumb_for_text(e, "HTTP://WWW.ALPHA.EXAMPLE/"), 2);
    const int middle = thumb_for_text(e, "http://www.mike.example/");
    EXPECT_GT(middle, 40);
    EXPECT_LT(middle, 60);
    EXPECT_EQ(thumb_for_text(e, "http://www.zzz/"), 101);
}

TEST(BrowseThumb, AShortHighValueIsPaddedWithTheLastLetter) {
    const auto e = text_distribution("A", "B", 4, "AB");
    // high "B" becomes "BBBB"; prefix empty; base 3: low A=1000(3)=27, high BBBB=2222(3)=80.
    EXPECT_EQ(e[0], "A");
    EXPECT_EQ(e[99], "BBBB");
}

TEST(BrowseThumb, EqualOrCloseValuesGiveAFlatDistribution) {
    const auto same = text_distribution("NEWS", "NEWS", 4, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    for (const std::string& s : same) EXPECT_EQ(s, "NEWS");
    const auto n = numeric_distribution(7, 7);
    for (double v : n) EXPECT_EQ(v, 7);
    EXPECT_EQ(thumb_for_number(n, 7), 0);
    EXPECT_EQ(thumb_for_number(n, 8), 101);
    // An empty alphabet never divides by zero.
    const auto none = text_distribution("a", "b", 2, "");
    EXPECT_EQ(none[50], "a");
}

TEST(BrowseThumb, NumericEntriesAreEvenlySpaced) {
    const auto n = numeric_distribution(0, 99);
    for (int i = 0; i < 100; ++i) EXPECT_DOUBLE_EQ(n[i], i);
    EXPECT_EQ(thumb_for_number(n, 50), 51);
    EXPECT_EQ(thumb_for_number(n, -1), 0);
}

}  // namespace
