// Range analysis of filters against key components: which terms bound the key,
// where records lie against the bounds, and the seek keys written for a scan.
#include "data/view_range.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/bind.h"
#include "runtime/error.h"
#include "runtime/expr.h"
#include "support/memory_driver.h"

namespace {

using namespace sk::data;
using sk::test::TestFile;

constexpr std::size_t kLocation = 0, kCategory = 1, kRating = 2;

class RangeTest : public ::testing::Test {
protected:
    RangeTest()
        : m_file("RANGES",
                 {{"URL:LOCATION", kTypeString, 6}, {"URL:CATEGORY", kTypeString, 4}, {"URL:RATING", kTypeDecimal, 3, 1}},
                 {{"NOCASE", kKeyDuplicates | kKeyNoCase, {2, 1}},
                  {"CASE", kKeyDuplicates, {2, 1}},
                  {"DESC", kKeyDuplicates, {~0, 2}},
                  {"RATING", kKeyDuplicates, {3, 2}},
                  {"RATINGDESC", kKeyDuplicates, {~2, 1}}}) {
        sk::rt::reset_all_scopes();
        std::memset(m_limit, ' ', sizeof m_limit);
        sk::rt::bind_name("URL:Location", sk::rt::bound_string(m_file.field(kLocation), 6));
        sk::rt::bind_name("URL:Category", sk::rt::bound_string(m_file.field(kCategory), 4));
        sk::rt::bind_name("URL:Rating", sk::rt::bound_decimal(m_file.field(kRating), 3, 1));
        sk::rt::bind_name("LIMIT", sk::rt::bound_string(m_limit, sizeof m_limit));
    }
    ~RangeTest() override { sk::rt::reset_all_scopes(); }

    // Analyses filter for key k; the tree stays alive in m_tree.
    const RangePlan& plan(const std::string& filter, std::size_t k) {
        m_tree = sk::rt::compile_whole_expression(filter);
        EXPECT_TRUE(m_tree) << filter;
        m_plan.analyse(m_tree.get(), *m_file.file(), m_file.key(k));
        return m_plan;
    }

    void record(const std::string& location, const std::string& category, int rating_tenths = 0) {
        m_file.clear_record();
        m_file.set_string(kLocation, location);
        m_file.set_string(kCategory, category);
        m_file.set_number(kRating, rating_tenths);
    }

    // -1 before the range, 0 inside, 1 after, for the record in the buffer.
    int place(const KeyRange& range) {
        if (m_plan.compare_low(range, m_file.record()) < 0) return -1;
        return m_plan.compare_high(range, m_file.record()) > 0 ? 1 : 0;
    }

    TestFile m_file;
    char m_limit[4];
    sk::rt::ExprTree m_tree;
    RangePlan m_plan;
};

TEST_F(RangeTest, UpperCasedEqualityFixesACaseInsensitiveComponent) {
    std::memcpy(m_limit, "news", 4);
    const RangePlan& p = plan("UPPER(URL:Category) = UPPER(LIMIT)", 0);
    ASSERT_TRUE(p.usable());
    KeyRange r = p.evaluate();
    EXPECT_FALSE(r.empty);
    EXPECT_EQ(r.fixed, 1u);
    record("zzz", "News");
    EXPECT_EQ(place(r), 0);
    record("aaa", "NEWT");
    EXPECT_EQ(place(r), 1);
    record("zzz", "new");
    EXPECT_EQ(place(r), -1);

    // The bounds are taken from the variable when evaluated, not when analysed.
    std::memcpy(m_limit, "zz  ", 4);
    r = p.evaluate();
    record("zzz", "News");
    EXPECT_EQ(place(r), -1);
}

TEST_F(RangeTest, TermsThatCannotBoundTheKeyAreLeftToTheFilter) {
    // Upper-cased field on a case-sensitive key; inequality of a plain field on a
    // case-insensitive key; a value read from the record; OR; inequality "<>".
    EXPECT_FALSE(plan("UPPER(URL:Category) = 'NEWS'", 1).usable());
    EXPECT_FALSE(plan("URL:Category < 'm'", 0).usable());
    EXPECT_FALSE(plan("URL:Category = URL:Location", 0).usable());
    EXPECT_FALSE(plan("URL:Category = 'A' OR URL:Category = 'B'", 0).usable());
    EXPECT_FALSE(plan("URL:Category <> 'A'", 1).usable());
    EXPECT_FALSE(plan("URL:Category = 'A' + 1", 1).usable()) << "compared as numbers";
    EXPECT_FALSE(plan("URL:Location = 'a'", 0).evaluate().constrained()) << "not the first component";
    // A plain field equal to a value bounds the upper-cased key.
    EXPECT_TRUE(plan("URL:Category = 'news'", 0).usable());
    EXPECT_TRUE(plan("'news' = CLIP(URL:Category)", 0).usable());
}

TEST_F(RangeTest, EqualityPrefixThenIntervalOnTheNextComponent) {
    const RangePlan& p = plan("URL:Category = 'ab' AND URL:Location >= 'k' AND URL:Location < 'n'", 1);
    KeyRange r = p.evaluate();
    ASSERT_EQ(r.fixed, 1u);
    ASSERT_EQ(r.bounds.size(), 2u);
    record("j", "ab");
    EXPECT_EQ(place(r), -1);
    record("k", "ab");
    EXPECT_EQ(place(r), 0);
    record("n", "ab");
    EXPECT_EQ(place(r), 0) << "bounds are inclusive; the filter decides the edge";
    record("nb", "ab");
    EXPECT_EQ(place(r), 1);
    record("a", "ac");
    EXPECT_EQ(place(r), 1);
}

TEST_F(RangeTest, ContradictionsAndOverlongValuesMakeTheRangeEmpty) {
    EXPECT_TRUE(plan("URL:Category > 'm' AND URL:Category < 'c'", 1).evaluate().empty);
    EXPECT_TRUE(plan("URL:Category = 'abcdx'", 1).evaluate().empty);
    EXPECT_FALSE(plan("URL:Category = 'abcd   '", 1).evaluate().empty) << "trailing blanks do not count";
    EXPECT_TRUE(plan("URL:Rating >= 100", 3).evaluate().empty) << "beyond DECIMAL(3,1)";
}

TEST_F(RangeTest, NotOverAComparisonBoundsTheOtherSide) {
    const RangePlan& p = plan("NOT URL:Category < 'm'", 1);
    KeyRange r = p.evaluate();
    record("a", "m");
    EXPECT_EQ(place(r), 0);
    record("a", "lz");
    EXPECT_EQ(place(r), -1);
}

TEST_F(RangeTest, DescendingComponentReversesThePlacement) {
    const RangePlan& p = plan("URL:Location >= 'f' AND URL:Location <= 'p'", 2);
    KeyRange r = p.evaluate();
    record("q", "x");
    EXPECT_EQ(place(r), -1) << "larger values come first in a descending key";
    record("a", "x");
    EXPECT_EQ(place(r), 1);
    record("g", "x");
    EXPECT_EQ(place(r), 0);

    // The first key of the range is its largest value, the last its smallest.
    std::string image(m_file.record(), m_file.file()->record_length);
    ASSERT_TRUE(p.write_seek_key(r, false, image.data()));
    EXPECT_EQ(image.substr(0, 6), "p     ");
    ASSERT_TRUE(p.write_seek_key(r, true, image.data()));
    EXPECT_EQ(image.substr(0, 6), "f     ");
}

TEST_F(RangeTest, SeekKeyFillsFreeComponentsWithTheirExtremes) {
    const RangePlan& p = plan("URL:Category = 'ab'", 1);
    KeyRange r = p.evaluate();
    std::string image(m_file.record(), m_file.file()->record_length);
    ASSERT_TRUE(p.write_seek_key(r, false, image.data()));
    EXPECT_EQ(image.substr(6, 4), "ab  ");
    const RangeComponent& location = p.components()[1];
    EXPECT_EQ(image.substr(0, 6), std::string(6, char(location.min_byte)));
    ASSERT_TRUE(p.write_seek_key(r, true, image.data()));
    EXPECT_EQ(image.substr(0, 6), std::string(6, char(location.max_byte)));

    // Its key sorts before (after) every record of the range, by the driver's encoding.
    std::string low(m_file.record(), m_file.file()->record_length);
    ASSERT_TRUE(p.write_seek_key(r, false, low.data()));
    record("", "ab");
    EXPECT_LE(sk::test::memory_encode_key(*m_file.file(), *m_file.key(1), low.data()),
              sk::test::memory_encode_key(*m_file.file(), *m_file.key(1), m_file.record()));
}

TEST_F(RangeTest, LowerCaseBoundOnAnUpperCasedKeyKeepsTheSeekBelowTheRange) {
    // No byte has the weight of 'm' once upper-cased; the seek key must still
    // sort at or before every key that can match.
    const RangePlan& p = plan("UPPER(URL:Category) >= 'm'", 0);
    KeyRange r = p.evaluate();
    std::string low(m_file.record(), m_file.file()->record_length);
    ASSERT_TRUE(p.write_seek_key(r, false, low.data()));
    for (int c = 1; c < 256; ++c) {
        record("x", std::string(1, char(c)));
        if (place(r) != 0) continue;
        EXPECT_LE(sk::test::memory_encode_key(*m_file.file(), *m_file.key(0), low.data()),
                  sk::test::memory_encode_key(*m_file.file(), *m_file.key(0), m_file.record()))
            << c;
    }
}

TEST_F(RangeTest, DecimalBoundsRoundInwardAndZeroSeeksCoverNegativeZero) {
    const RangePlan& p = plan("URL:Rating > 2.45 AND URL:Rating <= 7", 3);
    KeyRange r = p.evaluate();
    ASSERT_EQ(r.bounds.size(), 1u);
    EXPECT_EQ(r.bounds[0].low_value, 25);
    EXPECT_EQ(r.bounds[0].high_value, 70);

    const RangePlan& z = plan("URL:Rating = 0", 3);
    KeyRange zr = z.evaluate();
    ASSERT_EQ(zr.fixed, 1u);
    std::string low(m_file.record(), m_file.file()->record_length);
    ASSERT_TRUE(z.write_seek_key(zr, false, low.data()));
    // A negative zero (sign nibble set) sorts before a positive one.
    record("a", "a", 0);
    char* rating = m_file.field(kRating);
    rating[0] = char(0xB0);
    EXPECT_LE(sk::test::memory_encode_key(*m_file.file(), *m_file.key(3), low.data()),
              sk::test::memory_encode_key(*m_file.file(), *m_file.key(3), m_file.record()));
    EXPECT_EQ(place(zr), 0);
}

TEST_F(RangeTest, FilterWithoutUsableTermsNeverConstrains) {
    const RangePlan& p = plan("URL:Rating + 1 > 3", 3);
    EXPECT_FALSE(p.usable());
    EXPECT_FALSE(p.evaluate().constrained());
    m_plan.analyse(nullptr, *m_file.file(), m_file.key(0));
    EXPECT_FALSE(m_plan.usable());
}

}  // namespace
