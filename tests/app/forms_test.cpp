// The update forms and the selects on the headless display over the in-memory
// driver: the procedure runs on a thread of its own, the test types and clicks
// as the user would and looks at what was written and answered.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "app/dictionary.h"
#include "app/procedures.h"
#include "procedure_test_support.h"
#include "app/select_list.h"
#include "data/file_layer.h"
#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "platform/display/menu.h"
#include "platform/display/window.h"
#include "platform/profile.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "support/memory_driver.h"
#include "support/platform_temp_dir.h"
#include "ui/controls/edit_variants.h"
#include "ui/controls/list_control.h"
#include "ui/engine.h"
#include "ui/thread.h"
#include "ui/window.h"

namespace {

namespace sd = sk::data;
namespace ui = sk::ui;
namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;
using namespace sk::app;
using sk::app::test::popup_entries;
using sk::app::test::settle;
using sk::app::test::wait_until;

class Forms : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sk::app::test::start_headless_engine());
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
        // The positions file lands in the test's own directory, fresh for each test.
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) m_old_config = old;
        ::setenv("XDG_CONFIG_HOME", m_dir.path().c_str(), 1);
        sk::test::memory_store_clear();
        ASSERT_EQ(install_file_driver("KESTREL", sk::test::memory_entry), 2);
        sk::rt::clear_error();
        sk::app::test::record_boxes(boxes, answers);
        use_categories();
        use_linkdb();
    }
    void TearDown() override {
        EXPECT_TRUE(ui::wait_for_threads());
        release_linkdb();
        release_categories();
        EXPECT_EQ(LINKDBUsers, 0);
        EXPECT_EQ(CategoriesUsers, 0);
        LINKDBUsers = CategoriesUsers = 0;
        install_file_driver("KESTREL", nullptr);
        sk::test::memory_store_clear();
        sk::rt::set_message_presenter({});
        if (m_old_config.empty()) ::unsetenv("XDG_CONFIG_HOME");
        else ::setenv("XDG_CONFIG_HOME", m_old_config.c_str(), 1);
        ASSERT_EQ(::chdir("/"), 0);
    }

    void add_category(std::string_view name) {
        set_fixed(cat_record.category, name);
        ASSERT_EQ(sd::add(&Categories), 0);
    }
    static void blank_site() {
        std::memset(&url_record, ' ', sizeof url_record);
        std::memset(url_record.rating, 0, sizeof url_record.rating);
    }
    void add_site(std::string_view location, std::string_view category) {
        blank_site();
        set_fixed(url_record.location, location);
        set_fixed(url_record.category, category);
        ASSERT_EQ(sd::add(&LINKDB), 0);
    }
    std::vector<std::string> locations() {
        std::vector<std::string> out;
        EXPECT_EQ(sd::set(&LINKDB), 0);
        while (sd::next(&LINKDB) == 0) out.push_back(fixed_text(url_record.location) + "=" + fixed_text(url_record.category));
        return out;
    }

    // Runs a procedure with a request on a thread of its own, as a browse would
    // call it; the answer lands in response.
    void start(std::int32_t request, void (*procedure)()) {
        response = -1;
        m_thread = ui::start([this, request, procedure] {
            PendingRequest = request;
            procedure();
            response = LastResponse;
        });
        ASSERT_NE(m_thread, 0);
        ASSERT_TRUE(wait_until([this] { return window() != nullptr || response != -1; }));
    }
    ui::Window* window() { return ui::thread_top_window(m_thread); }
    bool running() { return response == -1; }

    bool finished() { return wait_until([this] { return response != -1; }); }

    pd::Point centre_of(std::int32_t field) {
        ui::Control* c = window()->control(field);
        EXPECT_NE(c, nullptr) << field;
        const pd::Rect r = pd::screen_rect(c->window());
        return pd::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    void click(std::int32_t field) {
        hl::click(centre_of(field));
        settle();
    }
    void type_into(std::int32_t field, std::string_view text) {
        click(field);
        hl::type_text(text);
        settle();
    }
    int selected_row_of(std::int32_t list) { return std::atoi(window()->property(list, kPropListSelected).c_str()); }
    int selected_row() { return selected_row_of(1); }
    // Replaces the field's whole text.
    void retype(std::int32_t field, std::string_view text) {
        click(field);
        hl::press_key(pd::kVkEnd);
        for (int i = 0; i < 20; ++i) hl::press_key(pd::kVkBack);
        hl::type_text(text);
        settle();
    }
    std::vector<std::string> categories() {
        std::vector<std::string> out;
        EXPECT_EQ(sd::set(&Categories), 0);
        while (sd::next(&Categories) == 0) out.push_back(fixed_text(cat_record.category));
        std::sort(out.begin(), out.end());
        return out;
    }
    void get_category(std::string_view name) {
        set_fixed(cat_record.category, name);
        ASSERT_EQ(sd::get_key(&Categories, &cat_k_category), 0);
    }
    std::string title() { return pd::window_text(window()->handle()); }
    // The middle of a list's row (from 1) as the list shows it now.
    pd::Point row_point(std::int32_t list, int row) {
        auto* l = dynamic_cast<ui::ListControl*>(window()->control(list));
        EXPECT_NE(l, nullptr) << list;
        if (l == nullptr) return pd::Point{0, 0};
        const pd::Rect r = pd::screen_rect(l->window());
        return pd::Point{r.left + 20, r.top + 2 + l->header_height() + (row - 1) * l->row_height() + l->row_height() / 2};
    }
    // Right-clicks a list's row (0: its empty area) and waits for the popup.
    void right_click_row(std::int32_t list, int row) {
        const pd::Point p = row != 0 ? row_point(list, row) : centre_of(list);
        hl::click(p, pd::kButtonRight);
        settle();
        ASSERT_TRUE(wait_until([] { return pd::menu_tracking(); }));
    }
    void leave_popup() {
        hl::press_key(pd::kVkEscape);
        ASSERT_TRUE(wait_until([] { return !pd::menu_tracking(); }));
    }

    sk::test::PlatformTempDir m_dir;
    std::string m_old_config;
    int m_thread = 0;
    std::atomic<int> response{-1};
    std::vector<std::string> boxes;
    std::deque<int> answers;
};

// Site form fields.
constexpr std::int32_t kLocation = 3, kDescription = 5, kCategory = 7, kOk = 14, kCancel = 15;

TEST_F(Forms, SiteTypedIntoTheFormIsAddedOnOk) {
    add_category("NEWS");
    add_category("ART");
    blank_site();
    start(RequestInsert, &UpdateLINKDB);
    ASSERT_NE(window(), nullptr);
    EXPECT_EQ(title(), "Adding a LINKDB Record");
    type_into(kLocation, "http://a.example/");
    type_into(kDescription, "An example");
    type_into(kCategory, "news");
    ASSERT_TRUE(hl::save_screenshot("/tmp/form-site.png"));
    click(kOk);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseDone);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    // Stored in the category's own spelling, so that its rename and delete find it.
    EXPECT_EQ(locations(), std::vector<std::string>{"http://a.example/=NEWS"});
    EXPECT_EQ(fixed_text(url_record.description), "An example");
}

TEST_F(Forms, DuplicateLocationKeepsTheFormOpenWithWarning24) {
    add_category("NEWS");
    add_site("http://a.example/", "NEWS");
    blank_site();
    set_fixed(url_record.category, "NEWS");  // preset, as the browse does under a category
    start(RequestInsert, &UpdateLINKDB);
    type_into(kLocation, "HTTP://A.EXAMPLE/");
    click(kOk);
    ASSERT_TRUE(running());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Duplicate Key Error|Adding this record creates a duplicate entry for the key:Site Location");
    // The focus is back on the location, the form still open; Cancel writes nothing.
    EXPECT_EQ(window()->selected_field(), kLocation);
    click(kCancel);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseCancelled);
    EXPECT_EQ(locations(), std::vector<std::string>{"http://a.example/=NEWS"});
}

TEST_F(Forms, UnknownOrBlankCategoryStopsOkWithWarning11) {
    add_category("NEWS");
    blank_site();
    start(RequestInsert, &UpdateLINKDB);
    type_into(kLocation, "http://b.example/");
    click(kOk);  // the category is still blank
    ASSERT_TRUE(running());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Field Contents Error|The value for URL:Category must be found in the Categories file.");
    EXPECT_FALSE(window()->accept_all());
    EXPECT_EQ(window()->selected_field(), kCategory);
    type_into(kCategory, "SPORT");
    click(kOk);
    ASSERT_TRUE(running());
    EXPECT_GE(boxes.size(), 2u);
    EXPECT_EQ(sd::records(&LINKDB), 0);
    // Corrected, the same form adds the site.
    click(kCategory);
    for (int i = 0; i < 5; ++i) hl::press_key(pd::kVkBack);
    hl::type_text("NEWS");
    settle();
    boxes.clear();
    click(kOk);
    ASSERT_TRUE(finished());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(response, ResponseDone);
    EXPECT_EQ(locations(), std::vector<std::string>{"http://b.example/=NEWS"});
}

TEST_F(Forms, SiteFormWithoutCategoriesBlanksThePresetCategory) {
    blank_site();
    set_fixed(url_record.category, "NEWS");
    start(RequestInsert, &UpdateLINKDB);
    EXPECT_EQ(fixed_text(url_record.category), "");
    click(kCancel);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseCancelled);
}

TEST_F(Forms, DeleteRequestsAskAndNeverOpenTheWindow) {
    add_category("NEWS");
    add_site("http://a.example/", "NEWS");
    set_fixed(url_record.location, "http://a.example/");
    ASSERT_EQ(sd::get_key(&LINKDB, &url_k_location), 0);
    answers = {sk::rt::kButtonCancel};
    start(RequestDelete, &UpdateLINKDB);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseCancelled);
    EXPECT_EQ(sd::records(&LINKDB), 1);
    answers = {sk::rt::kButtonOk};
    start(RequestDelete, &UpdateLINKDB);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseDone);
    EXPECT_EQ(sd::records(&LINKDB), 0);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].substr(0, boxes[0].find('|')), "Confirm Delete");

    // A category's delete takes its sites with it.
    add_site("http://b.example/", "NEWS");
    set_fixed(cat_record.category, "NEWS");
    ASSERT_EQ(sd::get_key(&Categories, &cat_k_category), 0);
    answers = {sk::rt::kButtonOk};
    start(RequestDelete, &UpdateCategories);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseDone);
    EXPECT_EQ(sd::records(&Categories), 0);
    EXPECT_EQ(sd::records(&LINKDB), 0);
}

TEST_F(Forms, ChangingASiteWritesItBack) {
    add_category("NEWS");
    add_category("ART");
    add_site("http://a.example/", "NEWS");
    set_fixed(url_record.location, "http://a.example/");
    ASSERT_EQ(sd::get_key(&LINKDB, &url_k_location), 0);
    start(RequestChange, &UpdateLINKDB);
    EXPECT_EQ(title(), "Changing a LINKDB Record");
    type_into(kDescription, "Changed");
    click(kOk);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseDone);
    set_fixed(url_record.location, "http://a.example/");
    ASSERT_EQ(sd::get_key(&LINKDB, &url_k_location), 0);
    EXPECT_EQ(fixed_text(url_record.description), "Changed");
}

// Regression: the drop list of the category combo was never painted and took no
// clicks, and Escape meant to close it closed the whole form instead.
TEST_F(Forms, CategoryComboDropsTheSortedCategoriesAndPicksByMouse) {
    for (const char* c : {"NEWS", "ART", "MUSIC", "TRAVEL", "BOOKS", "CARS", "ZOO"}) add_category(c);
    blank_site();
    set_fixed(url_record.category, "NEWS");
    start(RequestInsert, &UpdateLINKDB);
    type_into(kLocation, "http://a.example/");
    // The combo's drop list: the category queue, five rows.
    click(kCategory);
    hl::press_key(pd::kVkDown, pd::kModAlt);
    settle();
    ASSERT_TRUE(hl::save_screenshot("/tmp/form-site-combo.png"));
    auto* combo = dynamic_cast<ui::ComboControl*>(window()->control(kCategory));
    ASSERT_NE(combo, nullptr);
    ASSERT_TRUE(combo->is_dropped());
    EXPECT_EQ(combo->drop().highlighted(), 5u);  // NEWS, after ART, BOOKS, CARS, MUSIC
    // Escape closes the list, not the form.
    hl::press_key(pd::kVkEscape);
    settle();
    ASSERT_TRUE(running());
    EXPECT_FALSE(combo->is_dropped());
    // A click on a row of the list picks it.
    hl::press_key(pd::kVkDown, pd::kModAlt);
    settle();
    {
        const pd::Rect r = pd::screen_rect(combo->drop().window());
        hl::click(pd::Point{r.left + 10, r.top + 1 + 2 * (r.height() - 2) / 5 + 2});  // the third row
        settle();
    }
    EXPECT_FALSE(combo->is_dropped());
    EXPECT_EQ(combo->text(), "CARS");
    {
        // The pixels of the list's first row: "ART" drawn over the list's background.
        hl::press_key(pd::kVkDown, pd::kModAlt);
        settle();
        ASSERT_TRUE(combo->is_dropped());
        const pd::Rect r = pd::screen_rect(combo->drop().window());
        bool inked = false;
        for (int x = r.left + 2; x < r.left + 30 && !inked; ++x)
            for (int y = r.top + 2; y < r.top + 12 && !inked; ++y)
                inked = hl::screen_pixel(pd::Point{x, y}) != hl::screen_pixel(pd::Point{r.right - 30, r.top + 4});
        EXPECT_TRUE(inked);
        hl::press_key(pd::kVkEscape);
        settle();
    }
    window()->set_property(1, kPropListSelected, "2");  // the "SiteInfo" tab
    settle();
    ASSERT_TRUE(hl::save_screenshot("/tmp/form-site-info.png"));
    click(kOk);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseDone);
    EXPECT_EQ(locations(), std::vector<std::string>{"http://a.example/=CARS"});
}

TEST_F(Forms, AFailedSiteChangeGoesBackToEditingOnCancelAndSavesOnTheNextOk) {
    add_category("NEWS");
    add_site("http://a.example/", "NEWS");
    set_fixed(url_record.location, "http://a.example/");
    ASSERT_EQ(sd::get_key(&LINKDB, &url_k_location), 0);
    start(RequestChange, &UpdateLINKDB);
    type_into(kDescription, "Second try");
    sk::test::memory_fail_operation(sd::kOpPut, 0, sk::rt::kAccessDenied);
    answers = {sk::rt::kButtonOk, sk::rt::kButtonCancel};  // warning 15, then 16: Cancel
    click(kOk);
    ASSERT_TRUE(running());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].substr(0, boxes[0].find('|')), "Update Operation Error");
    EXPECT_EQ(boxes[1], "Record Update Error|An error was experienced changing this record.  "
                        "Do you want to try to save again?");
    EXPECT_FALSE(window()->accept_all());
    EXPECT_EQ(window()->selected_field(), kLocation);
    click(kOk);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseDone);
    EXPECT_EQ(boxes.size(), 2u);
    set_fixed(url_record.location, "http://a.example/");
    ASSERT_EQ(sd::get_key(&LINKDB, &url_k_location), 0);
    EXPECT_EQ(fixed_text(url_record.description), "Second try");

    // No gives up: the form closes, nothing written, the buffer as handed in.
    start(RequestChange, &UpdateLINKDB);
    type_into(kDescription, "Third");
    sk::test::memory_fail_operation(sd::kOpPut, 0, sk::rt::kAccessDenied);
    answers = {sk::rt::kButtonOk, sk::rt::kButtonNo};
    click(kOk);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseCancelled);
    EXPECT_EQ(fixed_text(url_record.description), "Second try");
}

// Select fields.
constexpr std::int32_t kSelectList = 1, kSelectButton = 2, kCloseButton = 4;

TEST_F(Forms, SelectReturnsTheHighlightedCategory) {
    for (const char* c : {"TRAVEL", "ART", "NEWS", "MUSIC"}) add_category(c);
    std::memset(cat_record.category, ' ', kCategorySize);
    start(RequestSelect, &SelectCategories);
    ASSERT_NE(window(), nullptr);
    ui::Control* select = window()->control(kSelectButton);
    ASSERT_NE(select, nullptr);
    EXPECT_TRUE(pd::is_visible(select->window()));
    EXPECT_EQ(selected_row(), 1);  // ART
    ASSERT_TRUE(hl::save_screenshot("/tmp/form-select.png"));
    hl::press_key(pd::kVkDown);
    settle();
    hl::press_key(pd::kVkDown);
    settle();
    EXPECT_EQ(selected_row(), 3);  // NEWS, after MUSIC
    hl::press_key(pd::kVkReturn);     // Enter selects
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseDone);
    EXPECT_EQ(fixed_text(cat_record.category), "NEWS");
}

TEST_F(Forms, TypingALetterMovesTheSelectToTheFirstCategoryFromIt) {
    for (const char* c : {"ART", "BOOKS", "CARS", "DOGS", "MUSIC", "NEWS", "TRAVEL", "WEB", "ZOO", "Wax"}) add_category(c);
    std::memset(cat_record.category, ' ', kCategorySize);
    start(RequestSelect, &SelectCategories);
    ASSERT_NE(window(), nullptr);
    hl::type_text("w");  // the case-insensitive order puts "Wax" before "WEB"
    settle();
    hl::press_key(pd::kVkReturn);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseDone);
    EXPECT_EQ(fixed_text(cat_record.category), "Wax");
}

TEST_F(Forms, SelectStartsAtTheCallersCategoryAndCloseCancels) {
    for (const char* c : {"TRAVEL", "ART", "NEWS", "MUSIC"}) add_category(c);
    set_fixed(cat_record.category, "news");
    start(RequestSelect, &SelectCategories);
    // NEWS is highlighted; the page, too short to start at it, shows all four.
    EXPECT_EQ(selected_row(), 3);
    click(kCloseButton);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseCancelled);
    EXPECT_EQ(fixed_text(cat_record.category), "NEWS");  // re-read before closing
}

TEST_F(Forms, SelectWithoutASelectRequestHidesSelect) {
    start(0, &SelectCategories);
    ASSERT_NE(window(), nullptr);
    EXPECT_FALSE(pd::is_visible(window()->control(kSelectButton)->window()));
    click(kCloseButton);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseCancelled);
}

TEST_F(Forms, BestGuessDeclinesToChoose) {
    add_category("NEWS");
    start(RequestSelect, &SelectCategory);
    ASSERT_NE(window(), nullptr);
    EXPECT_EQ(title(), "Category Assignment");
    click(4);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseCancelled);
}

TEST_F(Forms, EmptySelectShowsSelectButPicksNothing) {
    set_fixed(cat_record.category, "GONE");  // left by an earlier pick
    start(RequestSelect, &SelectCategories);
    ASSERT_NE(window(), nullptr);
    EXPECT_TRUE(pd::is_visible(window()->control(kSelectButton)->window()));
    right_click_row(kSelectList, 0);
    EXPECT_EQ(popup_entries(), std::vector<std::string>{"~&Select"});
    leave_popup();
    ASSERT_TRUE(hl::save_screenshot("/tmp/form-select-empty.png"));
    // Neither Enter nor the button answers with a category that is not there.
    hl::press_key(pd::kVkReturn);
    settle();
    click(kSelectButton);
    ASSERT_TRUE(running());
    click(kCloseButton);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseCancelled);
}

TEST_F(Forms, SelectPopupAndDoubleClickPickTheRowUnderTheMouse) {
    for (const char* c : {"TRAVEL", "ART", "NEWS", "MUSIC"}) add_category(c);
    std::memset(cat_record.category, ' ', kCategorySize);
    start(RequestSelect, &SelectCategories);
    ASSERT_EQ(selected_row(), 1);
    right_click_row(kSelectList, 3);
    EXPECT_EQ(popup_entries(), std::vector<std::string>{"&Select"});
    ASSERT_TRUE(hl::save_screenshot("/tmp/form-select-popup.png"));
    hl::type_text("s");
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseDone);
    EXPECT_EQ(fixed_text(cat_record.category), "NEWS");

    // The import's select: the list is field 2 on its sheet, "&Select" field 3.
    std::memset(cat_record.category, ' ', kCategorySize);
    start(RequestSelect, &SelectCategory);
    ASSERT_TRUE(hl::save_screenshot("/tmp/form-select-category.png"));
    EXPECT_EQ(selected_row_of(2), 1);
    hl::click(row_point(2, 4));
    hl::click(row_point(2, 4));
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseDone);
    EXPECT_EQ(fixed_text(cat_record.category), "TRAVEL");
}

TEST_F(Forms, WithoutASelectRequestThePopupIsGreyAndADoubleClickDoesNothing) {
    add_category("NEWS");
    start(0, &SelectCategory);
    EXPECT_FALSE(pd::is_visible(window()->control(3)->window()));
    hl::click(row_point(2, 1));
    hl::click(row_point(2, 1));
    settle();
    ASSERT_TRUE(running());
    right_click_row(2, 1);
    EXPECT_EQ(popup_entries(), std::vector<std::string>{"~&Select"});
    leave_popup();
    click(4);  // "Best &Guess"
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseCancelled);
}

TEST_F(Forms, SelectReopensWhereItWasLeftAndMaximisedOverItsNormalPlace) {
    add_category("NEWS");
    const auto close_select = [&] {
        click(kCloseButton);
        ASSERT_TRUE(finished());
    };
    const auto entry = [](const char* name) {
        return sk::platform::read_profile_string("LKDB32.INI", "SelectCategories", name, "<none>");
    };
    start(RequestSelect, &SelectCategories);
    const pd::Rect opened = pd::window_rect(window()->handle());
    const pd::Rect moved = pd::Rect::from_size(40, 30, opened.width(), opened.height());
    ASSERT_TRUE(pd::move_window(window()->handle(), moved));
    settle();
    close_select();
    EXPECT_EQ(entry("Maximize"), "No");
    EXPECT_NE(entry("XPosit"), "<none>");

    // Stored in the window's units: the size comes back within a pixel, and stays.
    const auto near = [](const pd::Rect& a, const pd::Rect& b) {
        return std::abs(a.left - b.left) <= 1 && std::abs(a.top - b.top) <= 1 && std::abs(a.right - b.right) <= 1 &&
               std::abs(a.bottom - b.bottom) <= 1;
    };
    start(RequestSelect, &SelectCategories);
    const pd::Rect reopened = pd::window_rect(window()->handle());
    EXPECT_TRUE(near(reopened, moved));
    ASSERT_TRUE(pd::maximize_window(window()->handle()));
    settle();
    const std::string x = entry("XPosit");
    close_select();
    EXPECT_EQ(entry("Maximize"), "Yes");
    EXPECT_EQ(entry("XPosit"), x);  // the normal place, not the maximised one

    start(RequestSelect, &SelectCategories);
    EXPECT_EQ(pd::size_state(window()->handle()), pd::kSizeMaximized);
    ASSERT_TRUE(pd::restore_window(window()->handle()));
    settle();
    EXPECT_EQ(pd::window_rect(window()->handle()), reopened);
    close_select();
    EXPECT_EQ(entry("Maximize"), "No");
    start(RequestSelect, &SelectCategories);
    EXPECT_EQ(pd::window_rect(window()->handle()), reopened);
    close_select();
}

// Category form fields.
constexpr std::int32_t kCategoryName = 3, kCategoryOk = 8, kCategoryCancel = 9, kSiteChange = 6;

TEST_F(Forms, CategoryInsertRefusesADuplicateNameThenAddsANewOne) {
    add_category("NEWS");
    std::memset(cat_record.category, ' ', kCategorySize);
    start(RequestInsert, &UpdateCategories);
    ASSERT_NE(window(), nullptr);
    EXPECT_EQ(title(), "Adding a Categories Record");
    type_into(kCategoryName, "news");
    click(kCategoryOk);
    ASSERT_TRUE(running());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Duplicate Key Error|Adding this record creates a duplicate entry for the key:Category");
    retype(kCategoryName, "ART");
    click(kCategoryOk);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseDone);
    EXPECT_EQ(categories(), (std::vector<std::string>{"ART", "NEWS"}));
}

TEST_F(Forms, RenamingACategoryRenamesItsSites) {
    add_category("NEWS");
    add_category("ART");
    add_site("http://a.example/", "NEWS");
    add_site("http://b.example/", "ART");
    get_category("NEWS");
    start(RequestChange, &UpdateCategories);
    EXPECT_EQ(title(), "Changing a Categories Record");
    retype(kCategoryName, "DAILY");
    click(kCategoryOk);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseDone);
    EXPECT_EQ(categories(), (std::vector<std::string>{"ART", "DAILY"}));
    EXPECT_EQ(locations(), (std::vector<std::string>{"http://a.example/=DAILY", "http://b.example/=ART"}));
}

TEST_F(Forms, CancelledCategoryChangeWritesNothing) {
    add_category("NEWS");
    add_site("http://a.example/", "NEWS");
    get_category("NEWS");
    start(RequestChange, &UpdateCategories);
    retype(kCategoryName, "DAILY");
    click(kCategoryCancel);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseCancelled);
    EXPECT_EQ(fixed_text(cat_record.category), "NEWS");  // the buffer as it was handed in
    EXPECT_EQ(categories(), std::vector<std::string>{"NEWS"});
}

TEST_F(Forms, SiteAddedFromTheTabOfAnUnsavedCategoryIsRefused) {
    add_category("NEWS");
    std::memset(cat_record.category, ' ', kCategorySize);
    start(RequestInsert, &UpdateCategories);
    ui::Window* category_form = window();
    type_into(kCategoryName, "SPORT");
    hl::press_key(pd::kVkTab);
    settle();
    ui::post(ui::kEventNewSelection, 1, m_thread);  // the "Locations" tab comes up
    ui::post(ui::kEventAccepted, 5, m_thread);      // its "&Insert"
    ASSERT_TRUE(wait_until([&] { return window() != category_form; }));
    EXPECT_EQ(title(), "Adding a LINKDB Record");
    EXPECT_EQ(fixed_text(url_record.category), "SPORT");  // preset with the tab's category
    type_into(kLocation, "http://s.example/");
    click(kOk);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].substr(0, boxes[0].find('|')), "Field Contents Error");
    click(kCancel);
    ASSERT_TRUE(wait_until([&] { return window() == category_form; }));
    click(kCategoryCancel);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseCancelled);
    EXPECT_EQ(sd::records(&LINKDB), 0);
    EXPECT_EQ(categories(), std::vector<std::string>{"NEWS"});
}

TEST_F(Forms, LocationsTabAddsAndDeletesSitesOfTheCategory) {
    add_category("NEWS");
    add_category("ART");
    add_site("http://b.example/", "NEWS");
    add_site("http://x.example/", "ART");
    get_category("NEWS");
    start(RequestChange, &UpdateCategories);
    ui::Window* category_form = window();
    window()->set_property(1, kPropListSelected, "2");  // the "Locations" tab
    settle();
    const auto shown = [&] { return dynamic_cast<ui::ListControl*>(category_form->control(4))->row_count(); };
    EXPECT_EQ(shown(), 1u);

    click(5);  // "&Insert": the site form, its category preset
    ASSERT_TRUE(wait_until([&] { return window() != category_form; }));
    EXPECT_EQ(fixed_text(url_record.category), "NEWS");
    type_into(kLocation, "http://a.example/");
    click(kOk);
    ASSERT_TRUE(wait_until([&] { return window() == category_form; }));
    EXPECT_EQ(shown(), 2u);
    EXPECT_EQ(selected_row_of(4), 1);  // the new site, first by location

    answers = {sk::rt::kButtonOk};
    click(7);  // "&Delete" the highlighted one
    EXPECT_EQ(shown(), 1u);
    EXPECT_EQ(locations(), (std::vector<std::string>{"http://b.example/=NEWS", "http://x.example/=ART"}));
    ASSERT_TRUE(hl::save_screenshot("/tmp/form-category-after-delete.png"));

    // The category itself is written back unchanged, its other site kept.
    click(kCategoryOk);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseDone);
    ASSERT_EQ(boxes.size(), 1u);  // the delete's confirmation
    EXPECT_EQ(categories(), (std::vector<std::string>{"ART", "NEWS"}));
    EXPECT_EQ(locations(), (std::vector<std::string>{"http://b.example/=NEWS", "http://x.example/=ART"}));
}

// Regression: a right press on a row of the "Locations" list highlights it, but
// the popup's Change opened the form on the row highlighted before.
TEST_F(Forms, LocationsPopupActsOnTheRowUnderTheMouse) {
    add_category("NEWS");
    add_site("http://a.example/", "NEWS");
    add_site("http://b.example/", "NEWS");
    get_category("NEWS");
    start(RequestChange, &UpdateCategories);
    ui::Window* category_form = window();
    ASSERT_TRUE(hl::save_screenshot("/tmp/form-category.png"));
    window()->set_property(1, kPropListSelected, "2");  // the "Locations" tab
    settle();
    EXPECT_EQ(selected_row_of(4), 1);
    right_click_row(4, 2);
    EXPECT_EQ(popup_entries(), (std::vector<std::string>{"&Insert", "&Change", "&Delete"}));
    hl::type_text("c");
    ASSERT_TRUE(wait_until([&] { return window() != category_form; }));
    EXPECT_EQ(title(), "Changing a LINKDB Record");
    EXPECT_EQ(fixed_text(url_record.location), "http://b.example/");
    click(kCancel);
    ASSERT_TRUE(wait_until([&] { return window() == category_form; }));
    click(kCategoryCancel);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseCancelled);
}

// Regression: the site form reads Categories for its check. Changing a site from
// the "Locations" tab moved the category file and buffer to the site's new
// category, and OK on the category form then wrote that one and moved every site
// of the edited category into it.
TEST_F(Forms, SiteChangedFromTheLocationsTabLeavesTheEditedCategoryAlone) {
    add_category("NEWS");
    add_category("ART");
    add_site("http://a.example/", "NEWS");
    add_site("http://b.example/", "NEWS");
    get_category("NEWS");
    start(RequestChange, &UpdateCategories);
    ui::Window* category_form = window();
    ASSERT_NE(category_form, nullptr);
    EXPECT_EQ(selected_row_of(4), 1);  // the first site of NEWS
    {
        // The "Locations" tab, second in the strip at the sheet's top.
        const pd::Rect r = pd::screen_rect(window()->control(1)->window());
        hl::click(pd::Point{r.left + 75, r.top + 10});
        settle();
    }
    ASSERT_TRUE(hl::save_screenshot("/tmp/form-category-sites.png"));
    ui::post(ui::kEventAccepted, kSiteChange, m_thread);
    ASSERT_TRUE(wait_until([&] { return window() != category_form; }));
    EXPECT_EQ(title(), "Changing a LINKDB Record");
    retype(kCategory, "ART");
    click(kOk);
    ASSERT_TRUE(wait_until([&] { return window() == category_form; }));
    EXPECT_EQ(locations(), (std::vector<std::string>{"http://a.example/=ART", "http://b.example/=NEWS"}));
    click(kCategoryOk);
    ASSERT_TRUE(finished());
    EXPECT_EQ(response, ResponseDone);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_EQ(categories(), (std::vector<std::string>{"ART", "NEWS"}));
    EXPECT_EQ(locations(), (std::vector<std::string>{"http://a.example/=ART", "http://b.example/=NEWS"}));
}

}  // namespace
