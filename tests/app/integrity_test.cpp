// The integrity routines over the in-memory driver: cascades, all-or-nothing
// rollback, the messages and the transaction left behind.
#include "app/integrity.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/dictionary.h"
#include "data/file_layer.h"
#include "data/operations.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "support/memory_driver.h"

namespace {

namespace sd = sk::data;
using namespace sk::app;

class Integrity : public ::testing::Test {
protected:
    void SetUp() override {
        sk::test::memory_store_clear();
        ASSERT_EQ(install_file_driver("KESTREL", sk::test::memory_entry), 2);
        sk::rt::clear_error();
        sk::rt::set_message_presenter([this](const sk::rt::MessageRequest& r) {
            boxes.push_back({std::string(r.caption), std::string(r.text)});
            return answer;
        });
        use_categories();
        use_linkdb();
    }
    void TearDown() override {
        release_linkdb();
        release_categories();
        LINKDBUsers = 0;
        CategoriesUsers = 0;
        install_file_driver("KESTREL", nullptr);
        sk::test::memory_store_clear();
        sk::rt::set_message_presenter({});
        sk::rt::clear_error();
    }

    void add_category(std::string_view name) {
        set_fixed(cat_record.category, name);
        ASSERT_EQ(sd::add(&Categories), 0);
    }
    void add_site(std::string_view location, std::string_view category) {
        std::memset(&url_record, ' ', sizeof url_record);
        std::memset(url_record.rating, 0, sizeof url_record.rating);
        set_fixed(url_record.location, location);
        set_fixed(url_record.category, category);
        ASSERT_EQ(sd::add(&LINKDB), 0);
    }
    // Reads the category into the buffer and positions the file on it, as the
    // category form leaves it.
    void get_category(std::string_view name) {
        set_fixed(cat_record.category, name);
        ASSERT_EQ(sd::get_key(&Categories, &cat_k_category), 0);
    }
    // Every site as "location=category", in file order.
    std::multiset<std::string> sites() {
        std::multiset<std::string> out;
        EXPECT_EQ(sd::set(&LINKDB), 0);
        while (sd::next(&LINKDB) == 0) out.insert(fixed_text(url_record.location) + "=" + fixed_text(url_record.category));
        return out;
    }
    std::int64_t category_count() { return sd::records(&Categories); }

    struct Box {
        std::string caption, text;
    };
    std::vector<Box> boxes;
    int answer = sk::rt::kButtonOk;
};

TEST_F(Integrity, DeletingACategoryDeletesExactlyItsSites) {
    add_category("NEWS");
    add_category("SPORT");
    add_site("http://a.example/", "NEWS");
    add_site("http://b.example/", "NEWS");
    add_site("http://c.example/", "SPORT");
    // Same name in another case: the case-blind key meets it first; it is passed
    // over and kept, and the scan goes on to the sites of the category itself.
    add_site("http://0.example/", "News");
    get_category("NEWS");
    EXPECT_EQ(IntegrityDeleteCategory(), 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(category_count(), 1);
    EXPECT_EQ(sites(), (std::multiset<std::string>{"http://0.example/=News", "http://c.example/=SPORT"}));
    EXPECT_FALSE(sk::test::memory_transaction_active());
    EXPECT_EQ(LINKDBUsers, 1);  // the routine's own use was released
}

TEST_F(Integrity, ACategoryWithoutSitesIsDeletedAlone) {
    add_category("EMPTY");
    add_site("http://x.example/", "OTHER");
    get_category("EMPTY");
    EXPECT_EQ(IntegrityDeleteCategory(), 0);
    EXPECT_EQ(category_count(), 0);
    EXPECT_EQ(sites().size(), 1u);
}

TEST_F(Integrity, AFailedDeleteInTheCascadeLeavesTheCategoryAndAllItsSites) {
    add_category("BIG");
    for (int i = 0; i < 100; ++i) add_site("http://" + std::to_string(1000 + i) + ".example/", "BIG");
    get_category("BIG");
    sk::test::memory_fail_operation(sd::kOpDelete, 49, sk::rt::kAccessDenied);
    EXPECT_EQ(IntegrityDeleteCategory(), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Delete Operation Error");
    EXPECT_NE(boxes[0].text.find("from the file LINKDB."), std::string::npos) << boxes[0].text;
    EXPECT_EQ(category_count(), 1);
    EXPECT_EQ(sites().size(), 100u);
    EXPECT_FALSE(sk::test::memory_transaction_active());
    EXPECT_EQ(LINKDBUsers, 1);
}

TEST_F(Integrity, RenamingACategoryRenamesEverySiteThatCarriedIt) {
    add_category("OLD");
    for (int i = 0; i < 30; ++i) add_site("http://" + std::to_string(i) + ".example/", "OLD");
    add_site("http://keep.example/", "OTHER");
    add_site("http://case.example/", "Old");  // another category, by case only
    get_category("OLD");
    SaveCategoryKey();
    set_fixed(cat_record.category, "ZNEW");
    EXPECT_EQ(IntegrityUpdateCategory(), 0);
    EXPECT_TRUE(boxes.empty());
    int renamed = 0;
    for (const std::string& s : sites()) renamed += s.ends_with("=ZNEW");
    EXPECT_EQ(renamed, 30);
    EXPECT_EQ(sites().count("http://case.example/=Old"), 1u);
    get_category("ZNEW");
    EXPECT_EQ(category_count(), 1);
}

// The site key ignores case: sites renamed to another case of the same name stay
// in the old name's range, and sites that keep the old name after a failed write
// the user went past stay there too. The scan must pass over both and end.
TEST_F(Integrity, RenamesThatStayInTheOldNamesRangeEnd) {
    add_category("NEWS");
    for (int i = 0; i < 6; ++i) add_site("http://" + std::to_string(i) + ".example/", "NEWS");
    get_category("NEWS");
    SaveCategoryKey();
    set_fixed(cat_record.category, "News");
    EXPECT_EQ(IntegrityUpdateCategory(), 0);
    EXPECT_TRUE(boxes.empty());
    for (const std::string& s : sites()) EXPECT_TRUE(s.ends_with("=News")) << s;

    // The third site's write fails; the box closed without an answer (0) goes on.
    get_category("News");
    SaveCategoryKey();
    set_fixed(cat_record.category, "DAILY");
    sk::test::memory_fail_operation(sd::kOpPut, 3, sk::rt::kAccessDenied);  // the category, then two sites
    answer = 0;
    EXPECT_EQ(IntegrityUpdateCategory(), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Update Operation Error");
    int renamed = 0, kept = 0;
    for (const std::string& s : sites()) {
        renamed += s.ends_with("=DAILY");
        kept += s.ends_with("=News");
    }
    EXPECT_EQ(renamed, 5);
    EXPECT_EQ(kept, 1);
    EXPECT_FALSE(sk::test::memory_transaction_active());
}

TEST_F(Integrity, AFailedRenameIsAllOrNothing) {
    add_category("OLD");
    for (int i = 0; i < 10; ++i) add_site("http://" + std::to_string(i) + ".example/", "OLD");
    get_category("OLD");
    SaveCategoryKey();
    set_fixed(cat_record.category, "AAA");
    sk::test::memory_fail_operation(sd::kOpPut, 5, sk::rt::kAccessDenied);  // the category and four sites written
    EXPECT_EQ(IntegrityUpdateCategory(), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Update Operation Error");
    for (const std::string& s : sites()) EXPECT_TRUE(s.ends_with("=OLD")) << s;
    set_fixed(cat_record.category, "OLD");
    EXPECT_EQ(sd::get_key(&Categories, &cat_k_category), 0);
    EXPECT_FALSE(sk::test::memory_transaction_active());
}

TEST_F(Integrity, TrailingBlanksAreNoRename) {
    char a[kCategorySize], b[kCategorySize];
    set_fixed(a, "NEWS");
    std::memset(b, ' ', sizeof b);
    std::memcpy(b, "NEWS", 4);
    EXPECT_TRUE(same_category(a, b));
    set_fixed(b, "News");
    EXPECT_FALSE(same_category(a, b));
}

TEST_F(Integrity, ATransactionThatCannotBeginChangesNothingAndNamesTheOperationTwice) {
    add_site("http://a.example/", "NEWS");
    ASSERT_EQ(sd::set(&LINKDB), 0);
    ASSERT_EQ(sd::next(&LINKDB), 0);
    sk::test::memory_fail_operation(sd::kOpLogout, 0, sk::rt::kUnableToLogTransaction);
    EXPECT_EQ(IntegrityDeleteSite(), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Transaction Framing Error");
    EXPECT_NE(boxes[0].text.find("attempting to frame the delete transaction on LINKDB.  Delete transaction cancelled."),
              std::string::npos)
        << boxes[0].text;
    EXPECT_EQ(sites().size(), 1u);
}

TEST_F(Integrity, SitesAreDeletedAndWrittenBackInTheirOwnTransactions) {
    add_site("http://a.example/", "NEWS");
    add_site("http://b.example/", "NEWS");
    set_fixed(url_record.location, "http://a.example/");
    ASSERT_EQ(sd::get_key(&LINKDB, &url_k_location), 0);
    set_fixed(url_record.description, "Changed");
    EXPECT_EQ(IntegrityUpdateSite(), 0);
    set_fixed(url_record.location, "http://b.example/");
    ASSERT_EQ(sd::get_key(&LINKDB, &url_k_location), 0);
    EXPECT_EQ(IntegrityDeleteSite(), 0);
    EXPECT_TRUE(boxes.empty());
    set_fixed(url_record.location, "http://a.example/");
    ASSERT_EQ(sd::get_key(&LINKDB, &url_k_location), 0);
    EXPECT_EQ(fixed_text(url_record.description), "Changed");
    EXPECT_EQ(sites().size(), 1u);
    EXPECT_FALSE(sk::test::memory_transaction_active());
}

TEST_F(Integrity, AChangeByAnotherStationIsReportedAndNotWritten) {
    add_site("http://a.example/", "NEWS");
    set_fixed(url_record.location, "http://a.example/");
    ASSERT_EQ(sd::get_key(&LINKDB, &url_k_location), 0);
    set_fixed(url_record.description, "Mine");
    sk::test::memory_fail_operation(sd::kOpPut, 0, sk::rt::kRecordChangedByAnother);
    EXPECT_EQ(IntegrityUpdateSite(), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Update Operation Error");
    EXPECT_EQ(boxes[0].text, "This record was changed by another station.");
    set_fixed(url_record.location, "http://a.example/");
    ASSERT_EQ(sd::get_key(&LINKDB, &url_k_location), 0);
    EXPECT_EQ(fixed_text(url_record.description), "");
    EXPECT_FALSE(sk::test::memory_transaction_active());
}

}  // namespace
