// Views over an in-memory primary file: order, filter, range-limited reading,
// positions and the operations passed to the primary; and a randomized check
// that a view delivers exactly what testing the filter on every record gives.
#include "data/view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/bind.h"
#include "runtime/error.h"
#include "runtime/expr.h"
#include "runtime/locale.h"
#include "support/memory_driver.h"

namespace {

using namespace sk::data;
using sk::test::TestFile;

constexpr std::size_t kLocation = 0, kDescription = 1, kCategory = 2, kRating = 3, kNumber = 4;
constexpr std::uint32_t kCategorySize = 8;

std::string filter_property() { return std::to_string(kViewFilterProperty); }

class ViewTest : public ::testing::Test {
protected:
    ViewTest()
        : m_sites("SITES",
                  {{"URL:LOCATION", kTypeString, 16},
                   {"URL:DESCRIPTION", kTypeString, 10},
                   {"URL:CATEGORY", kTypeString, kCategorySize},
                   {"URL:RATING", kTypeDecimal, 2, 0},
                   {"URL:NUMBER", kTypeLong, 4}},
                  {
                      {"URL:K_LOCATION", kKeyOptional | kKeyNoCase, {1}},
                      {"URL:K_CATEGORY", kKeyDuplicates | kKeyNoCase, {3, 1}},
                      {"URL:K_CATDESC", kKeyDuplicates, {~2, 1}},
                      {"URL:K_RATING", kKeyDuplicates | kKeyNoCase, {4, 1}},
                      {"URL:K_RATINGDESC", kKeyDuplicates, {~3, 3, 1}},
                      {"URL:K_NUMBER", kKeyDuplicates, {5, ~2}},
                  }) {
        sk::test::memory_store_clear();
        sk::rt::reset_all_scopes();
        sk::rt::clear_error();
        clear_text_stack();
        init_view_block(&m_view, m_sites.file());
        std::memset(m_limit, ' ', sizeof m_limit);
        std::memset(m_second, ' ', sizeof m_second);
        sk::rt::bind_name("URL:Location", sk::rt::bound_string(m_sites.field(kLocation), 16));
        sk::rt::bind_name("URL:Description", sk::rt::bound_string(m_sites.field(kDescription), 10));
        sk::rt::bind_name("URL:Category", sk::rt::bound_string(m_sites.field(kCategory), kCategorySize));
        sk::rt::bind_name("URL:Rating", sk::rt::bound_decimal(m_sites.field(kRating), 2, 0));
        sk::rt::BoundVariable number{m_sites.field(kNumber), sk::rt::kTypeLong, 4, 0, 0};
        sk::rt::bind_name("URL:Number", number);
        sk::rt::bind_name("BRW1::Sort2:Reset:CAT:Category", sk::rt::bound_string(m_limit, sizeof m_limit));
        sk::rt::bind_name("BRW1::Second", sk::rt::bound_string(m_second, sizeof m_second));
        EXPECT_EQ(create(m_sites.file()), 0);
        EXPECT_EQ(open(m_sites.file(), 0x42), 0);
    }
    ~ViewTest() override {
        if (m_view.state != nullptr) close(&m_view);
        if (m_sites.file()->state != nullptr) close(m_sites.file());
        sk::rt::reset_all_scopes();
        sk::rt::reset_locale_defaults();
        sk::test::memory_store_clear();
    }

    void add_site(const std::string& location, const std::string& category, int rating = 0, int number = 0,
                  const std::string& description = "") {
        m_sites.clear_record();
        m_sites.set_string(kLocation, location);
        m_sites.set_string(kDescription, description.empty() ? location : description);
        m_sites.set_string(kCategory, category);
        m_sites.set_number(kRating, rating);
        m_sites.set_number(kNumber, number);
        ASSERT_EQ(add(m_sites.file()), 0) << location;
    }

    void set_limit(const std::string& text) {
        std::memset(m_limit, ' ', sizeof m_limit);
        std::memcpy(m_limit, text.data(), std::min(text.size(), sizeof m_limit));
    }

    // Opens the view over the primary's current order with filter.
    int open_view(const std::string& filter) {
        EXPECT_EQ(view_property(&m_view, filter_property(), filter), 0);
        return open(&m_view, 0x22);
    }

    void random_filters(unsigned seed);

    std::vector<std::string> read_all(bool forward) {
        std::vector<std::string> out;
        while ((forward ? next(&m_view) : previous(&m_view)) == 0) out.push_back(m_sites.string_value(kLocation));
        return out;
    }

    void add_categories() {
        add_site("a.example", "News");
        add_site("b.example", "Books");
        add_site("c.example", "news");
        add_site("d.example", "Art");
        add_site("e.example", "NEWS");
        add_site("f.example", "Books");
        add_site("g.example", "Travel");
    }

    TestFile m_sites;
    FileControlBlock m_view;
    char m_limit[kCategorySize];
    char m_second[kCategorySize];
};

const std::string kCategoryFilter = "UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)";

TEST_F(ViewTest, CategoryFilterDeliversThatCategoryInKeyOrderBothWays) {
    add_categories();
    set_limit("news");
    ASSERT_EQ(set_key(m_sites.file(), m_sites.key(1)), 0);
    ASSERT_EQ(open_view(kCategoryFilter), 0);
    EXPECT_EQ(read_all(true), (std::vector<std::string>{"a.example", "c.example", "e.example"}));
    EXPECT_EQ(sk::rt::error_code(), sk::rt::kRecordNotAvailable);
    ASSERT_EQ(close(&m_view), 0);

    ASSERT_EQ(set_key(m_sites.file(), m_sites.key(1)), 0);
    ASSERT_EQ(open_view(kCategoryFilter), 0);
    EXPECT_EQ(read_all(false), (std::vector<std::string>{"e.example", "c.example", "a.example"}));
}

TEST_F(ViewTest, CategoryFilterReadsOnlyThatCategorysKeyRange) {
    for (int i = 0; i < 200; ++i) {
        static const char* const kNames[] = {"Art", "Books", "News", "Sport", "Travel"};
        add_site("site" + std::to_string(1000 + i), kNames[i % 5]);
    }
    set_limit("NEWS");
    ASSERT_EQ(set_key(m_sites.file(), m_sites.key(1)), 0);
    ASSERT_EQ(open_view(kCategoryFilter), 0);
    sk::test::reset_memory_reads();
    EXPECT_EQ(read_all(true).size(), 40u);
    // The 40 sites of the category, and the first record after them.
    EXPECT_EQ(sk::test::memory_reads(), 41u);
    ASSERT_EQ(close(&m_view), 0);

    ASSERT_EQ(set_key(m_sites.file(), m_sites.key(1)), 0);
    ASSERT_EQ(open_view(kCategoryFilter), 0);
    sk::test::reset_memory_reads();
    EXPECT_EQ(read_all(false).size(), 40u);
    EXPECT_EQ(sk::test::memory_reads(), 41u);
}

TEST_F(ViewTest, EndOfRangeLeavesTheLastDeliveredRecordInTheBuffer) {
    add_categories();
    set_limit("Books");
    ASSERT_EQ(set_key(m_sites.file(), m_sites.key(1)), 0);
    ASSERT_EQ(open_view(kCategoryFilter), 0);
    EXPECT_EQ(read_all(true), (std::vector<std::string>{"b.example", "f.example"}));
    EXPECT_EQ(m_sites.string_value(kLocation), "f.example");
    // The view has no current record after the end, so PUT through it is refused.
    EXPECT_EQ(put(&m_view), sk::rt::kRecordNotAvailable);
}

TEST_F(ViewTest, FilterThatDoesNotCompileDeliversEveryRecord) {
    add_categories();
    for (const std::string& bad : {std::string("UPPER(URL:Nowhere) = 'X'"), std::string("URL:Category = ("),
                                   std::string("URL:Category = 'Art' junk")}) {
        ASSERT_EQ(set_key(m_sites.file(), m_sites.key(0)), 0);
        ASSERT_EQ(open_view(bad), 0) << bad;
        EXPECT_EQ(sk::rt::error_code(), 0) << "OPEN succeeded and clears the compile error";
        EXPECT_EQ(read_all(true).size(), 7u) << bad;
        ASSERT_EQ(close(&m_view), 0);
    }
}

TEST_F(ViewTest, StartsAtTheKeyValueThePrimaryWasSetTo) {
    add_categories();
    m_sites.clear_record();
    m_sites.set_string(kLocation, "C");
    ASSERT_EQ(set_key_value(m_sites.file(), m_sites.key(0), m_sites.key(0)), 0);
    ASSERT_EQ(open_view(""), 0);
    EXPECT_EQ(current_key(&m_view), 1);
    EXPECT_EQ(read_all(true), (std::vector<std::string>{"c.example", "d.example", "e.example", "f.example",
                                                       "g.example"}));
    ASSERT_EQ(close(&m_view), 0);

    // Inside a filtered range the scan starts at the value and keeps to the range.
    set_limit("NEWS");
    m_sites.clear_record();
    m_sites.set_string(kCategory, "news");
    m_sites.set_string(kLocation, "b");
    ASSERT_EQ(set_key_value(m_sites.file(), m_sites.key(1), m_sites.key(1)), 0);
    ASSERT_EQ(open_view(kCategoryFilter), 0);
    EXPECT_EQ(read_all(true), (std::vector<std::string>{"c.example", "e.example"}));
}

TEST_F(ViewTest, OpenWithoutASequenceReadsThePrimaryFromTheStart) {
    add_categories();
    ASSERT_EQ(close(m_sites.file()), 0);
    ASSERT_EQ(open(m_sites.file(), 0x42), 0);
    ASSERT_EQ(open_view("URL:Category = 'Books'"), 0);
    EXPECT_EQ(current_key(&m_view), 0);
    EXPECT_EQ(read_all(true), (std::vector<std::string>{"b.example", "f.example"}));
}

TEST_F(ViewTest, PositionAndResetRestoreTheViewsOrder) {
    add_categories();
    set_limit("NEWS");
    ASSERT_EQ(set_key(m_sites.file(), m_sites.key(1)), 0);
    ASSERT_EQ(open_view(kCategoryFilter), 0);
    ASSERT_EQ(next(&m_view), 0);
    ASSERT_EQ(next(&m_view), 0);
    std::string where = position(&m_view);
    ASSERT_FALSE(where.empty());
    EXPECT_EQ(m_sites.string_value(kLocation), "c.example");
    ASSERT_EQ(next(&m_view), 0);
    ASSERT_EQ(reset(&m_view, where), 0);
    EXPECT_EQ(read_all(true), (std::vector<std::string>{"c.example", "e.example"}));
    ASSERT_EQ(reset(&m_view, where), 0);
    EXPECT_EQ(read_all(false), (std::vector<std::string>{"c.example", "a.example"}));
    // A blank position is refused before the primary is asked.
    EXPECT_EQ(reset(&m_view, "   "), sk::rt::kRecordNotFound);
}

TEST_F(ViewTest, PutAndDeleteActOnThePrimarysCurrentRecord) {
    add_categories();
    set_limit("books");
    ASSERT_EQ(set_key(m_sites.file(), m_sites.key(1)), 0);
    ASSERT_EQ(open_view(kCategoryFilter), 0);
    ASSERT_EQ(next(&m_view), 0);
    m_sites.set_string(kDescription, "changed");
    ASSERT_EQ(put(&m_view), 0);
    ASSERT_EQ(next(&m_view), 0);
    EXPECT_EQ(m_sites.string_value(kLocation), "f.example");
    ASSERT_EQ(delete_record(&m_view), 0);
    EXPECT_EQ(delete_record(&m_view), sk::rt::kRecordNotAvailable);
    ASSERT_EQ(close(&m_view), 0);

    EXPECT_EQ(records(m_sites.file()), 6);
    m_sites.clear_record();
    m_sites.set_string(kLocation, "b.example");
    ASSERT_EQ(get_key(m_sites.file(), m_sites.key(0)), 0);
    EXPECT_EQ(m_sites.string_value(kDescription), "changed");
}

TEST_F(ViewTest, WatchAndRegetReadTheStoredVersion) {
    add_categories();
    ASSERT_EQ(set_key(m_sites.file(), m_sites.key(0)), 0);
    ASSERT_EQ(open_view(""), 0);
    ASSERT_EQ(next(&m_view), 0);
    std::string where = position(&m_view);

    // Another user of the same table changes the record.
    TestFile other("SITES", {{"URL:LOCATION", kTypeString, 16},
                             {"URL:DESCRIPTION", kTypeString, 10},
                             {"URL:CATEGORY", kTypeString, kCategorySize},
                             {"URL:RATING", kTypeDecimal, 2, 0},
                             {"URL:NUMBER", kTypeLong, 4}},
                   {{"A", kKeyOptional | kKeyNoCase, {1}}, {"B", kKeyDuplicates | kKeyNoCase, {3, 1}},
                    {"C", kKeyDuplicates, {~2, 1}}, {"D", kKeyDuplicates | kKeyNoCase, {4, 1}},
                    {"E", kKeyDuplicates, {~3, 3, 1}}, {"F", kKeyDuplicates, {5, ~2}}});
    ASSERT_EQ(open(other.file(), 0x42), 0);
    other.set_string(kLocation, "a.example");
    ASSERT_EQ(get_key(other.file(), other.key(0)), 0);
    other.set_string(kDescription, "newer");
    ASSERT_EQ(put(other.file()), 0);
    ASSERT_EQ(close(other.file()), 0);

    EXPECT_EQ(m_sites.string_value(kDescription), "a.example");
    ASSERT_EQ(watch(&m_view), 0);
    ASSERT_EQ(reget(&m_view, where), 0);
    EXPECT_EQ(m_sites.string_value(kDescription), "newer");
    m_sites.set_string(kDescription, "mine");
    EXPECT_EQ(put(&m_view), 0);
}

TEST_F(ViewTest, SkipPassesMatchingRecordsAndTheEndIsSuccess) {
    add_categories();
    set_limit("NEWS");
    ASSERT_EQ(set_key(m_sites.file(), m_sites.key(1)), 0);
    ASSERT_EQ(open_view(kCategoryFilter), 0);
    ASSERT_EQ(skip(&m_view, 2), 0);
    ASSERT_EQ(next(&m_view), 0);
    EXPECT_EQ(m_sites.string_value(kLocation), "e.example");
    EXPECT_EQ(skip(&m_view, -1), 0);
    ASSERT_EQ(next(&m_view), 0);
    EXPECT_EQ(m_sites.string_value(kLocation), "e.example");
    EXPECT_EQ(skip(&m_view, 10), 0);
    EXPECT_EQ(next(&m_view), sk::rt::kRecordNotAvailable);
}

TEST_F(ViewTest, StateErrorsOfTheView) {
    add_categories();
    EXPECT_EQ(next(&m_view), sk::rt::kFileNotOpen);
    EXPECT_EQ(sk::rt::error_code(), sk::rt::kFileNotOpen);
    ASSERT_EQ(open_view(""), 0);
    EXPECT_EQ(open(&m_view, 0x22), sk::rt::kFileAlreadyOpen);
    EXPECT_EQ(position(&m_view), "");
    EXPECT_EQ(sk::rt::error_code(), sk::rt::kRecordNotAvailable);
    EXPECT_EQ(memo_length(&m_view, 1), 0);
    EXPECT_EQ(sk::rt::error_code(), sk::rt::kUnsupportedFunction);
    ASSERT_EQ(close(&m_view), 0);
    EXPECT_EQ(m_view.state, nullptr);

    // A view over a closed primary cannot open; one without a primary is no view.
    ASSERT_EQ(close(m_sites.file()), 0);
    EXPECT_EQ(open_view(""), sk::rt::kFileNotOpen);
    FileControlBlock orphan;
    init_view_block(&orphan, nullptr);
    EXPECT_EQ(open(&orphan, 0x22), sk::rt::kInvalidRecordDeclaration);
    EXPECT_EQ(orphan.state, nullptr);
}

TEST_F(ViewTest, BoundsFollowTheLimitingVariableBetweenFetches) {
    add_categories();
    set_limit("Art");
    ASSERT_EQ(set_key(m_sites.file(), m_sites.key(1)), 0);
    ASSERT_EQ(open_view(kCategoryFilter), 0);
    ASSERT_EQ(next(&m_view), 0);
    EXPECT_EQ(m_sites.string_value(kLocation), "d.example");
    // The filter reads the variable at every record; so does the range.
    set_limit("News");
    EXPECT_EQ(read_all(true), (std::vector<std::string>{"a.example", "c.example", "e.example"}));
}

// A primary driver with a view handler of its own: the view hands itself over.
std::vector<int> g_native_calls;

int native_view(int op, FileControlBlock*, OperationArgs*) {
    g_native_calls.push_back(op);
    return 0;
}

int primary_with_native_views(int op, FileControlBlock* file, OperationArgs* args) {
    if (op == kOpNativeViewHandler) {
        args->result = driver_entry_handle(&native_view);
        return 0;
    }
    return sk::test::memory_entry(op, file, args);
}

TEST_F(ViewTest, APrimaryWithItsOwnViewHandlerServesTheView) {
    m_sites.file()->entry = &primary_with_native_views;
    g_native_calls.clear();
    EXPECT_EQ(open(&m_view, 0x22), 0);
    EXPECT_EQ(m_view.entry, &native_view);
    EXPECT_EQ(next(&m_view), 0);
    EXPECT_EQ(g_native_calls, (std::vector<int>{kOpOpen, kOpNext}));
    EXPECT_EQ(m_view.state, nullptr) << "the engine kept no state of its own";
    m_view.entry = &view_entry;
    m_sites.file()->entry = &sk::test::memory_entry;
}

// ---------------------------------------------------------------------------
// Randomized: a view delivers what testing the filter on every record delivers.

const char* const kCategories[] = {"", "a", "A", "ab", "AB", "aB", "b", "B", "ba", "c", "C", "cab", "~", "a b"};
const char* const kConstants[] = {"", "a", "A", "ab", "Ab", "b", "B", "bz", "c", "C", "zz", " ", "a b", "abcdefghijk"};

std::string pick(std::mt19937& rng, const char* const* list, std::size_t n) {
    return list[std::uniform_int_distribution<std::size_t>(0, n - 1)(rng)];
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

std::string random_filter(std::mt19937& rng) {
    auto c = [&] { return quoted(pick(rng, kConstants, std::size(kConstants))); };
    auto n = [&] { return std::to_string(std::uniform_int_distribution<int>(-4, 14)(rng)); };
    switch (std::uniform_int_distribution<int>(0, 16)(rng)) {
        case 0: return "UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)";
        case 1: return "URL:Category = " + c();
        case 2: return "URL:Category >= " + c() + " AND URL:Category < " + c();
        case 3: return "UPPER(URL:Category) <= " + c();
        case 4: return c() + " < UPPER(URL:Category) AND UPPER(URL:Category) <> 'B'";
        case 5: return "URL:Rating = " + n();
        case 6: return "URL:Rating > " + n() + " AND URL:Rating <= " + n();
        case 7: return "NOT URL:Rating < " + n() + " AND URL:Category = BRW1::Second";
        case 8: return "URL:Number >= " + n() + " AND URL:Number < " + n();
        case 9: return "BRW1::Second = URL:Category AND URL:Location >= " + c();
        case 10: return "UPPER(URL:Category) = UPPER(BRW1::Second) AND URL:Rating >= " + n();
        case 11: return "URL:Category = " + c() + " OR URL:Rating = " + n();
        case 12: return "CLIP(URL:Category) = " + c() + " & BRW1::Second";
        case 13: return "URL:Rating = " + n() + " AND URL:Category = " + c() + " AND URL:Location > " + c();
        case 14: return "URL:Rating + 0 = " + n() + " AND URL:Number = " + n();
        case 15: return "URL:Rating >= 2.5 AND URL:Rating < " + n() + ".5";
        default: return "";
    }
}

TEST_F(ViewTest, RandomFiltersDeliverWhatTestingEveryRecordDelivers) { random_filters(20261208); }

// Letters of both cases interleaved, and the characters after "Z" sorting
// between the cases' letters: upper-casing then moves values across the order.
TEST_F(ViewTest, RandomFiltersUnderAnInterleavedCollation) {
    std::string sequence;
    for (char c = 'A'; c <= 'Z'; ++c) {
        sequence += c;
        sequence += char(c + 32);
    }
    sk::rt::apply_locale_key("TESCOLSEQ", sequence);
    ASSERT_GT(sk::rt::collation_weight('b'), sk::rt::collation_weight('B'));
    ASSERT_LT(sk::rt::collation_weight('b'), sk::rt::collation_weight('C'));
    random_filters(99);
    sk::rt::reset_locale_defaults();
}

void ViewTest::random_filters(unsigned seed) {
    std::mt19937 rng(seed);
    std::uint64_t full_reads = 0, view_reads = 0;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // A fresh table of random sites.
        ASSERT_EQ(close(m_sites.file()), 0);
        ASSERT_EQ(create(m_sites.file()), 0);
        ASSERT_EQ(open(m_sites.file(), 0x42), 0);
        int count = std::uniform_int_distribution<int>(0, 60)(rng);
        for (int i = 0; i < count; ++i) {
            add_site("s" + std::to_string(100 + i) + pick(rng, kCategories, std::size(kCategories)),
                     pick(rng, kCategories, std::size(kCategories)), std::uniform_int_distribution<int>(-3, 12)(rng),
                     std::uniform_int_distribution<int>(-5, 5)(rng), pick(rng, kCategories, std::size(kCategories)));
        }
        for (int trial = 0; trial < 60; ++trial) {
            std::string filter = random_filter(rng);
            set_limit(pick(rng, kConstants, std::size(kConstants)));
            std::string second = pick(rng, kConstants, std::size(kConstants));
            std::memset(m_second, ' ', sizeof m_second);
            std::memcpy(m_second, second.data(), std::min(second.size(), sizeof m_second));
            std::size_t key = std::uniform_int_distribution<std::size_t>(0, 5)(rng);
            bool forward = rng() % 2 == 0;
            bool from_value = rng() % 3 == 0;
            SCOPED_TRACE("filter " + filter + ", key " + std::to_string(key) + (forward ? " forward" : " backward") +
                         (from_value ? " from a value" : ""));

            // A start value for SET from the record buffer.
            m_sites.clear_record();
            m_sites.set_string(kLocation, pick(rng, kConstants, std::size(kConstants)));
            m_sites.set_string(kDescription, pick(rng, kCategories, std::size(kCategories)));
            m_sites.set_string(kCategory, pick(rng, kConstants, std::size(kConstants)));
            m_sites.set_number(kRating, std::uniform_int_distribution<int>(-4, 13)(rng));
            m_sites.set_number(kNumber, std::uniform_int_distribution<int>(-6, 6)(rng));
            std::string start(m_sites.record(), m_sites.file()->record_length);
            auto set_order = [&] {
                std::memcpy(m_sites.record(), start.data(), start.size());
                return from_value ? set_key_value(m_sites.file(), m_sites.key(key), m_sites.key(key))
                                  : set_key(m_sites.file(), m_sites.key(key));
            };

            // Every record tested.
            std::vector<std::string> expected;
            {
                sk::rt::ExprTree tree = sk::rt::compile_whole_expression(filter);
                ASSERT_TRUE(filter.empty() || tree) << filter;
                ASSERT_EQ(set_order(), 0);
                sk::test::reset_memory_reads();
                while ((forward ? next(m_sites.file()) : previous(m_sites.file())) == 0) {
                    if (!tree || sk::rt::evaluate_truth(tree.get())) expected.push_back(m_sites.string_value(kLocation));
                }
            }
            full_reads += sk::test::memory_reads();
            ASSERT_EQ(set_order(), 0);
            sk::test::reset_memory_reads();
            ASSERT_EQ(open_view(filter), 0);
            EXPECT_EQ(read_all(forward), expected);
            EXPECT_LE(sk::test::memory_reads(), std::uint64_t(count) + 1);
            view_reads += sk::test::memory_reads();
            ASSERT_EQ(close(&m_view), 0);
        }
    }
    // The range analysis is at work where a filter bounds the chosen key.
    EXPECT_LT(view_reads * 10, full_reads * 9) << view_reads << " of " << full_reads;
}

// The same, for a random walk: NEXT and PREVIOUS in any mix, and RESET to a
// position taken on the way, against the primary read with the filter tested on
// every record.
TEST_F(ViewTest, RandomWalksMatchTheFilteredPrimary) {
    std::mt19937 rng(7041);
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(close(m_sites.file()), 0);
        ASSERT_EQ(create(m_sites.file()), 0);
        ASSERT_EQ(open(m_sites.file(), 0x42), 0);
        int count = std::uniform_int_distribution<int>(0, 40)(rng);
        for (int i = 0; i < count; ++i) {
            add_site("w" + std::to_string(100 + i), pick(rng, kCategories, std::size(kCategories)),
                     std::uniform_int_distribution<int>(-3, 12)(rng), std::uniform_int_distribution<int>(-5, 5)(rng),
                     pick(rng, kCategories, std::size(kCategories)));
        }
        std::string filter = random_filter(rng);
        set_limit(pick(rng, kConstants, std::size(kConstants)));
        std::memset(m_second, ' ', sizeof m_second);
        std::size_t k = std::uniform_int_distribution<std::size_t>(0, 5)(rng);
        KeyControlBlock* key = m_sites.key(k);
        SCOPED_TRACE("filter " + filter + ", key " + std::to_string(k));
        sk::rt::ExprTree tree = sk::rt::compile_whole_expression(filter);

        // The steps: 0, 1, 3 NEXT; 2 PREVIOUS; 4 RESET to the position after step j.
        std::vector<std::pair<int, std::size_t>> steps;
        for (std::size_t i = 0; i < 40; ++i) {
            int kind = std::uniform_int_distribution<int>(0, 4)(rng);
            if (kind == 4 && i == 0) kind = 0;
            steps.emplace_back(kind, i == 0 ? 0 : rng() % i);
        }
        auto walk = [&](FileControlBlock* file, bool is_view) {
            std::vector<std::string> seen, positions;
            for (auto [kind, j] : steps) {
                if (kind == 4) {
                    int result = is_view ? reset(file, positions[j]) : reset_key(file, key, positions[j]);
                    seen.push_back("reset " + std::to_string(result));
                    positions.push_back(std::string());
                    continue;
                }
                bool forward = kind != 2;
                int result = 0;
                do {
                    result = forward ? next(file) : previous(file);
                } while (!is_view && result == 0 && tree && !sk::rt::evaluate_truth(tree.get()));
                seen.push_back(result == 0 ? m_sites.string_value(kLocation) : "end " + std::to_string(result));
                positions.push_back(result != 0 ? std::string() : is_view ? position(file) : position_key(file, key));
            }
            return seen;
        };
        ASSERT_EQ(set_key(m_sites.file(), key), 0);
        std::vector<std::string> expected = walk(m_sites.file(), false);
        ASSERT_EQ(set_key(m_sites.file(), key), 0);
        ASSERT_EQ(open_view(filter), 0);
        std::vector<std::string> actual = walk(&m_view, true);
        EXPECT_EQ(actual.size(), expected.size());
        // Report the walk up to the first difference: step kind/position index,
        // then what the reference and the view saw.
        for (std::size_t i = 0; i < expected.size() && i < actual.size(); ++i) {
            if (expected[i] == actual[i]) continue;
            std::string trail;
            for (std::size_t j = 0; j <= i; ++j) {
                trail += std::to_string(steps[j].first) + "/" + std::to_string(steps[j].second) + ":" + expected[j] +
                         "|" + actual[j] + " ";
            }
            ADD_FAILURE() << trail;
            break;
        }
        ASSERT_EQ(close(&m_view), 0);
    }
}

}  // namespace
