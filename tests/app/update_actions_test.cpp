// The update forms' actions over the in-memory driver: confirmations and retries,
// duplicates, the category lookup and the category list.
#include "app/update_actions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "app/dictionary.h"
#include "procedure_test_support.h"
#include "data/file_layer.h"
#include "data/operations.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "support/memory_driver.h"

namespace {

namespace sd = sk::data;
using namespace sk::app;

class UpdateActions : public ::testing::Test {
protected:
    void SetUp() override {
        sk::test::memory_store_clear();
        ASSERT_EQ(install_file_driver("KESTREL", sk::test::memory_entry), 2);
        sk::rt::clear_error();
        sk::app::test::record_boxes(boxes, answers);
        use_categories();
        use_linkdb();
    }
    void TearDown() override {
        release_linkdb();
        release_categories();
        LINKDBUsers = CategoriesUsers = 0;
        install_file_driver("KESTREL", nullptr);
        sk::test::memory_store_clear();
        sk::rt::set_message_presenter({});
    }
    void site(std::string_view location, std::string_view category) {
        std::memset(&url_record, ' ', sizeof url_record);
        std::memset(url_record.rating, 0, sizeof url_record.rating);
        set_fixed(url_record.location, location);
        set_fixed(url_record.category, category);
    }
    void add_category(std::string_view name) {
        set_fixed(cat_record.category, name);
        ASSERT_EQ(sd::add(&Categories), 0);
    }

    std::vector<std::string> boxes;
    std::deque<int> answers;
};

TEST_F(UpdateActions, InsertingADuplicateLocationNamesTheKeyAndAddsNothing) {
    site("http://a.example/", "NEWS");
    EXPECT_EQ(insert_site(), SaveOutcome::kDone);
    site("HTTP://A.EXAMPLE/", "OTHER");  // the location key ignores case
    EXPECT_EQ(insert_site(), SaveOutcome::kStay);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Duplicate Key Error|Adding this record creates a duplicate entry for the key:Site Location");
    EXPECT_EQ(sd::records(&LINKDB), 1);
    add_category("NEWS");
    set_fixed(cat_record.category, "news");
    EXPECT_EQ(insert_category(), SaveOutcome::kStay);
    EXPECT_EQ(boxes.back(), "Duplicate Key Error|Adding this record creates a duplicate entry for the key:Category");
}

TEST_F(UpdateActions, OtherInsertFailuresShowWarning14) {
    site("http://a.example/", "NEWS");
    sk::test::memory_fail_operation(sd::kOpAdd, 0, sk::rt::kAccessDenied);
    EXPECT_EQ(insert_site(), SaveOutcome::kStay);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].substr(0, boxes[0].find('|')), "Record Insert Error");
}

TEST_F(UpdateActions, DeleteAsksFirstAndRetriesOnYes) {
    site("http://a.example/", "NEWS");
    ASSERT_EQ(insert_site(), SaveOutcome::kDone);
    answers = {sk::rt::kButtonCancel};
    EXPECT_EQ(delete_site_request(), ResponseCancelled);
    EXPECT_EQ(sd::records(&LINKDB), 1);

    // Confirmed; the first delete fails (warning 17, then 18), Yes tries again.
    sk::test::memory_fail_operation(sd::kOpDelete, 0, sk::rt::kAccessDenied);
    boxes.clear();
    answers = {sk::rt::kButtonOk, sk::rt::kButtonOk, sk::rt::kButtonYes};
    EXPECT_EQ(delete_site_request(), ResponseDone);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].substr(0, boxes[0].find('|')), "Confirm Delete");
    EXPECT_EQ(boxes[1].substr(0, boxes[1].find('|')), "Delete Operation Error");
    EXPECT_EQ(boxes[2].substr(0, boxes[2].find('|')), "Record Update Error");
    EXPECT_EQ(sd::records(&LINKDB), 0);
}

TEST_F(UpdateActions, DeleteThatKeepsFailingReturnsCancelledOnNo) {
    site("http://a.example/", "NEWS");
    ASSERT_EQ(insert_site(), SaveOutcome::kDone);
    sk::test::memory_fail_operation(sd::kOpDelete, 0, sk::rt::kAccessDenied);
    answers = {sk::rt::kButtonOk, sk::rt::kButtonOk, sk::rt::kButtonNo};
    EXPECT_EQ(delete_site_request(), ResponseCancelled);
    EXPECT_EQ(sd::records(&LINKDB), 1);
}

TEST_F(UpdateActions, ChangeRetriesOrClosesOrGoesBackToEditing) {
    site("http://a.example/", "NEWS");
    ASSERT_EQ(insert_site(), SaveOutcome::kDone);
    set_fixed(url_record.keyword, "first");
    EXPECT_EQ(change_site(), SaveOutcome::kDone);
    sk::test::memory_fail_operation(sd::kOpPut, 0, sk::rt::kAccessDenied);
    answers = {sk::rt::kButtonOk, sk::rt::kButtonYes};  // warning 15, then 16: Yes
    EXPECT_EQ(change_site(), SaveOutcome::kDone);
    sk::test::memory_fail_operation(sd::kOpPut, 0, sk::rt::kAccessDenied);
    answers = {sk::rt::kButtonOk, sk::rt::kButtonNo};
    EXPECT_EQ(change_site(), SaveOutcome::kCancelled);
    sk::test::memory_fail_operation(sd::kOpPut, 0, sk::rt::kAccessDenied);
    answers = {sk::rt::kButtonOk, sk::rt::kButtonCancel};
    EXPECT_EQ(change_site(), SaveOutcome::kStay);
}

TEST_F(UpdateActions, TheSiteCategoryMustExist) {
    site("http://a.example/", "");
    EXPECT_FALSE(site_category_exists());  // blank: never a category
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Field Contents Error|The value for URL:Category must be found in the Categories file.");
    add_category("NEWS");
    site("http://a.example/", "news");
    EXPECT_TRUE(site_category_exists());
}

TEST_F(UpdateActions, TheCategoryListIsSortedAndFindsTheSitesCategory) {
    sk::data::Queue q(kCategorySize);
    site("x", "NEWS");
    EXPECT_EQ(load_category_queue(q), 0);
    EXPECT_EQ(q.count(), 0u);
    EXPECT_EQ(fixed_text(url_record.category), "");  // no categories: blanked
    add_category("TRAVEL");
    add_category("ART");
    add_category("NEWS");
    site("x", "NEWS");
    EXPECT_EQ(load_category_queue(q), 2);
    ASSERT_EQ(q.count(), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(q.at(1)), 3), "ART");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(q.at(3)), 6), "TRAVEL");
}

}  // namespace
