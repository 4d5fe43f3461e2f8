// The browse page over an in-memory site file: paging, scrolling at the edges,
// locating, rebuilding after a delete, the limited order and the thumb.
#include "app/browse_page.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/file_layer.h"
#include "data/view.h"
#include "platform/display/display.h"
#include "runtime/bind.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "runtime/locale.h"
#include "support/memory_driver.h"

namespace {

namespace sd = sk::data;
using sk::app::BrowseOrder;
using sk::app::BrowsePage;
using sk::test::TestFile;

constexpr std::size_t kLocation = 0, kCategory = 1, kRating = 2;
constexpr std::size_t kLocationSize = 16, kCategorySize = 8;

class BrowsePageTest : public ::testing::Test {
protected:
    BrowsePageTest()
        : m_sites("SITES", {{"URL:LOCATION", sd::kTypeString, kLocationSize}, {"URL:CATEGORY", sd::kTypeString, kCategorySize},
                            {"URL:RATING", sd::kTypeLong, 4}},
                  {{"URL:K_LOCATION", sd::kKeyNoCase, {1}},
                   {"URL:K_CATEGORY", sd::kKeyDuplicates | sd::kKeyNoCase, {2, 1}},
                   {"URL:K_RATING", sd::kKeyDuplicates, {3, 1}}}) {
        sk::test::memory_store_clear();
        sk::rt::reset_all_scopes();
        sk::rt::clear_error();
        sk::rt::set_message_presenter([this](const sk::rt::MessageRequest& r) {
            boxes.push_back(std::string(r.caption));
            return sk::rt::kButtonOk;
        });
        sd::init_view_block(&m_view, m_sites.file());
        std::memset(m_limit, ' ', sizeof m_limit);
        std::memset(m_limit_source, ' ', sizeof m_limit_source);
        sk::rt::bind_name("URL:Category", sk::rt::bound_string(m_sites.field(kCategory), kCategorySize));
        sk::rt::bind_name("LIMIT", sk::rt::bound_string(m_limit, sizeof m_limit));
        EXPECT_EQ(sd::create(m_sites.file()), 0);
        EXPECT_EQ(sd::open(m_sites.file(), 0x42), 0);
    }
    ~BrowsePageTest() override {
        m_page.reset();
        if (m_sites.file()->state != nullptr) sd::close(m_sites.file());
        sk::rt::reset_all_scopes();
        sk::rt::set_message_presenter({});
        sk::test::memory_store_clear();
    }

    void add(const std::string& location, const std::string& category = "NEWS", int rating = 0) {
        m_sites.clear_record();
        m_sites.set_string(kLocation, location);
        m_sites.set_string(kCategory, category);
        m_sites.set_number(kRating, rating);
        ASSERT_EQ(sd::add(m_sites.file()), 0) << location;
    }
    // Sites s00 .. s<n-1>.
    void add_many(int n) {
        for (int i = 0; i < n; ++i) add("s" + std::string(i < 10 ? "0" : "") + std::to_string(i), i % 2 ? "ODD" : "EVEN", i);
    }

    BrowsePage& page(int rows = 5) {
        sk::app::BrowseSpec spec;
        spec.primary = m_sites.file();
        spec.view = &m_view;
        spec.file_label = "LINKDB";
        spec.columns_size = kLocationSize + kCategorySize;
        spec.store_columns = [this](unsigned char* c) {
            if (sk::platform::display::is_display_open()) cursor_while_read = sk::platform::display::current_cursor();
            std::memcpy(c, m_sites.field(kLocation), kLocationSize);
            std::memcpy(c + kLocationSize, m_sites.field(kCategory), kCategorySize);
        };
        spec.load_columns = [this](const unsigned char* c) {
            std::memcpy(m_sites.field(kLocation), c, kLocationSize);
            std::memcpy(m_sites.field(kCategory), c + kLocationSize, kCategorySize);
        };
        spec.clear_record = [this] { m_sites.clear_record(); };
        BrowseOrder by_location;
        by_location.key = m_sites.key(0);
        by_location.distribution = BrowseOrder::Distribution::kText;
        by_location.component = m_sites.field(kLocation);
        by_location.component_length = kLocationSize;
        BrowseOrder by_category = by_location;
        by_category.key = m_sites.key(1);
        by_category.filter = "UPPER(URL:Category) = UPPER(LIMIT)";
        by_category.limit = m_limit;
        by_category.limit_source = m_limit_source;
        by_category.limit_size = kCategorySize;
        BrowseOrder by_rating;
        by_rating.key = m_sites.key(2);
        by_rating.distribution = BrowseOrder::Distribution::kNumeric;
        by_rating.read_number = [this] { return double(m_sites.number_value(kRating)); };
        by_rating.write_number = [this](double v) { m_sites.set_number(kRating, std::int64_t(v)); };
        BrowseOrder unestimated = by_rating;
        unestimated.distribution = BrowseOrder::Distribution::kNone;
        spec.orders = {by_location, by_category, by_rating, unestimated};
        m_page = std::make_unique<BrowsePage>(std::move(spec));
        m_page->set_rows(rows);
        return *m_page;
    }

    // The page's locations, the highlighted one in brackets.
    std::string shown() {
        std::string out;
        for (std::size_t i = 1; i <= m_page->queue().count(); ++i) {
            std::string loc(reinterpret_cast<const char*>(m_page->queue().at(i)), kLocationSize);
            loc.erase(loc.find_last_not_of(' ') + 1);
            if (!out.empty()) out += ' ';
            out += int(i) == m_page->highlight() ? "[" + loc + "]" : loc;
        }
        return out;
    }

    void set_limit_source(const std::string& s) {
        std::memset(m_limit_source, ' ', sizeof m_limit_source);
        std::memcpy(m_limit_source, s.data(), s.size());
    }

    TestFile m_sites;
    sd::FileControlBlock m_view;
    char m_limit[kCategorySize];
    char m_limit_source[kCategorySize];
    std::unique_ptr<BrowsePage> m_page;
    std::vector<std::string> boxes;
    sk::platform::display::Cursor cursor_while_read = sk::platform::display::Cursor::kArrow;
};

// Rebuilding reads the file afresh: the wait cursor shows meanwhile and the one
// before comes back.
TEST_F(BrowsePageTest, RebuildShowsTheWaitCursor) {
    namespace pd = sk::platform::display;
    if (!pd::is_display_open()) {
        ASSERT_TRUE(pd::open_display(pd::Backend::kHeadless, pd::Size{800, 600}));
    }
    add_many(3);
    pd::set_cursor(pd::Cursor::kIBeam);
    BrowsePage& p = page();
    p.choose_order(1, false, false);
    EXPECT_EQ(cursor_while_read, pd::Cursor::kWait);
    EXPECT_EQ(pd::current_cursor(), pd::Cursor::kIBeam);
    cursor_while_read = pd::Cursor::kArrow;
    p.rebuild(2);
    EXPECT_EQ(cursor_while_read, pd::Cursor::kWait);
    EXPECT_EQ(pd::current_cursor(), pd::Cursor::kIBeam);
    pd::set_cursor(pd::Cursor::kArrow);
}

TEST_F(BrowsePageTest, FirstPageAndScrollingAtItsEdges) {
    add_many(12);
    BrowsePage& p = page();
    p.choose_order(1, false, false);
    EXPECT_EQ(shown(), "[s00] s01 s02 s03 s04");
    EXPECT_TRUE(p.take_new_selection_request());
    p.scroll(BrowsePage::Scroll::kUp);  // first row of the file: nothing to fetch
    EXPECT_EQ(shown(), "[s00] s01 s02 s03 s04");
    p.set_highlight(5);
    p.selection_handled();
    p.scroll(BrowsePage::Scroll::kDown);  // last row: one record in, the top one out
    EXPECT_EQ(shown(), "s01 s02 s03 s04 [s05]");
    p.scroll(BrowsePage::Scroll::kPageDown);
    EXPECT_EQ(shown(), "s06 s07 s08 s09 [s10]");
    p.scroll(BrowsePage::Scroll::kPageDown);  // only one more: the highlight moves down by the shortfall
    EXPECT_EQ(shown(), "s07 s08 s09 s10 [s11]");
    p.scroll(BrowsePage::Scroll::kDown);
    EXPECT_EQ(shown(), "s07 s08 s09 s10 [s11]");
    p.scroll(BrowsePage::Scroll::kTop);
    EXPECT_EQ(shown(), "[s00] s01 s02 s03 s04");
    p.set_highlight(3);
    p.scroll(BrowsePage::Scroll::kPageUp);  // on the first page: the highlight goes to the first row
    EXPECT_EQ(shown(), "[s00] s01 s02 s03 s04");
    p.scroll(BrowsePage::Scroll::kBottom);
    EXPECT_EQ(shown(), "s07 s08 s09 s10 [s11]");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(BrowsePageTest, LocateHeadsThePageOrEndsOnTheLastPage) {
    add_many(12);
    BrowsePage& p = page();
    p.choose_order(1, false, false);
    m_sites.set_string(kLocation, "s03x");
    p.locate(2);
    EXPECT_EQ(shown(), "[s04] s05 s06 s07 s08");
    m_sites.set_string(kLocation, "s10");
    p.locate(2);
    EXPECT_EQ(shown(), "s07 s08 s09 [s10] s11");
    m_sites.set_string(kLocation, "zzz");  // past the end: the last page, its last row
    p.locate(2);
    EXPECT_EQ(shown(), "s07 s08 s09 s10 [s11]");
}

TEST_F(BrowsePageTest, AfterADeleteTheFollowingRowIsHighlighted) {
    add_many(8);
    BrowsePage& p = page();
    p.choose_order(1, false, false);
    p.set_highlight(2);
    ASSERT_TRUE(p.get_record());
    ASSERT_EQ(sd::delete_record(m_sites.file()), 0);
    p.remove_highlighted();
    p.rebuild(2);
    EXPECT_EQ(shown(), "s00 [s02] s03 s04 s05");
    p.scroll(BrowsePage::Scroll::kBottom);
    ASSERT_TRUE(p.get_record());
    ASSERT_EQ(sd::delete_record(m_sites.file()), 0);
    p.remove_highlighted();
    p.rebuild(2);
    EXPECT_EQ(shown(), "s02 s03 s04 s05 [s06]");
}

TEST_F(BrowsePageTest, TheLimitedOrderFollowsItsCategory) {
    add_many(12);
    BrowsePage& p = page(3);
    set_limit_source("ODD");
    p.choose_order(2, false, false);
    EXPECT_EQ(shown(), "[s01] s03 s05");
    // A category that sorts before the old one: the page is rebuilt from the old
    // page's place, so it shows the new category's last page.
    set_limit_source("EVEN");
    p.choose_order(2, false, false);
    EXPECT_EQ(shown(), "s06 s08 [s10]");
    // Unchanged limit, nothing forced: the page stays.
    p.set_highlight(2);
    p.choose_order(2, false, false);
    EXPECT_EQ(shown(), "s06 [s08] s10");
    // One that sorts after: its first page (the kept row is gone: the last row
    // is highlighted).
    set_limit_source("ODD");
    p.choose_order(2, false, false);
    EXPECT_EQ(shown(), "s01 s03 [s05]");
}

TEST_F(BrowsePageTest, AnEmptyFileShowsNoRowsAndDisablesChange) {
    BrowsePage& p = page();
    p.choose_order(1, false, false);
    EXPECT_EQ(shown(), "");
    EXPECT_FALSE(p.change_enabled());
    EXPECT_EQ(p.highlight(), 0);
    p.scroll(BrowsePage::Scroll::kDown);
    EXPECT_FALSE(p.get_record());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(BrowsePageTest, ThumbFollowsTheHighlightAndADragLocates) {
    for (char c = 'a'; c <= 'z'; ++c) add(std::string(1, c) + "site");
    BrowsePage& p = page();
    p.choose_order(1, false, false);
    p.new_selection();
    EXPECT_TRUE(p.scroll_bar_shown());
    EXPECT_LE(p.thumb(), 2);
    EXPECT_EQ(p.thumb_drag(50), BrowsePage::DragResult::kLocated);
    const std::string first = shown().substr(1, 1);
    EXPECT_GE(first[0], 'k');
    EXPECT_LE(first[0], 'p');
    p.new_selection();
    EXPECT_GT(p.thumb(), 30);
    EXPECT_LT(p.thumb(), 70);
    EXPECT_EQ(p.thumb_drag(1), BrowsePage::DragResult::kTop);
    EXPECT_EQ(p.thumb_drag(100), BrowsePage::DragResult::kBottom);
    // The numeric order spreads the ratings.
    p.choose_order(3, false, false);
    EXPECT_EQ(p.thumb_drag(99), BrowsePage::DragResult::kLocated);
    // An order without a distribution leaves the thumb to the scrolling.
    p.choose_order(4, false, false);
    EXPECT_EQ(p.thumb_drag(50), BrowsePage::DragResult::kNone);
    p.scroll(BrowsePage::Scroll::kPageDown);
    EXPECT_EQ(p.thumb(), 50);
}

TEST_F(BrowsePageTest, ASmallFileHidesTheScrollBar) {
    add_many(3);
    BrowsePage& p = page();
    p.choose_order(1, false, false);
    p.new_selection();
    EXPECT_FALSE(p.scroll_bar_shown());
}

}  // namespace
