// The browses end to end on the headless display over the in-memory driver: the
// frame and BrowseLINKDB (or BrowseCategories) on threads of their own, driven by
// clicks and keys, with the real forms and selects behind them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "app/dictionary.h"
#include "app/html_export.h"
#include "app/procedures.h"
#include "procedure_test_support.h"
#include "data/file_layer.h"
#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "platform/display/menu.h"
#include "platform/display/window.h"
#include "runtime/bind.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "support/memory_driver.h"
#include "support/platform_temp_dir.h"
#include "ui/controls/list_control.h"
#include "ui/controls/variable.h"
#include "ui/engine.h"
#include "ui/event.h"
#include "ui/thread.h"
#include "ui/window.h"

namespace {

namespace sd = sk::data;
namespace ui = sk::ui;
namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;
using namespace sk::app;
using sk::app::test::popup_entries;
using sk::app::test::frame_done;
using sk::app::test::run_frame;
using sk::app::test::settle;
using sk::app::test::wait_until;


// Site browse fields, site form fields.
constexpr std::int32_t kList = 1, kSheet = 2, kSelectCategory = 3, kInsert = 4, kChange = 5, kDelete = 6,
                       kClipboard = 7;
constexpr std::int32_t kFormLocation = 3, kFormDescription = 5, kFormCategory = 7, kFormOk = 14, kFormCancel = 15;

class BrowseFlow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sk::app::test::start_headless_engine());
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
        sk::test::memory_store_clear();
        ASSERT_EQ(install_file_driver("KESTREL", sk::test::memory_entry), 2);
        sk::rt::clear_error();
        sk::app::test::record_boxes(boxes, answers);
        use_categories();
        use_linkdb();
        frame_done = false;
        ASSERT_NE(ui::start(run_frame, 50000), 0);
        ASSERT_TRUE(wait_until([] { return ui::application_frame() != nullptr; }));
    }
    void TearDown() override {
        if (ui::Window* w = browse()) w->post(ui::kEventCloseWindow);
        wait_until([this] { return browse() == nullptr; });
        if (ui::Window* f = ui::application_frame()) f->post(ui::kEventCloseWindow);
        EXPECT_TRUE(wait_until([] { return frame_done.load(); }));
        EXPECT_TRUE(ui::wait_for_threads());
        release_linkdb();
        release_categories();
        EXPECT_EQ(LINKDBUsers, 0);
        EXPECT_EQ(CategoriesUsers, 0);
        LINKDBUsers = CategoriesUsers = 0;
        install_file_driver("KESTREL", nullptr);
        sk::test::memory_store_clear();
        sk::rt::set_message_presenter({});
        ASSERT_EQ(::chdir("/"), 0);
    }


    void add_category(std::string_view name) {
        set_fixed(cat_record.category, name);
        ASSERT_EQ(sd::add(&Categories), 0);
    }
    void add_site(std::string_view location, std::string_view description, std::string_view category,
                  std::string_view keyword = "", int rating = 0) {
        std::memset(&url_record, ' ', sizeof url_record);
        std::memset(url_record.rating, 0, sizeof url_record.rating);
        set_fixed(url_record.location, location);
        set_fixed(url_record.description, description);
        set_fixed(url_record.category, category);
        set_fixed(url_record.keyword, keyword);
        sk::ui::set_variable_number(sk::rt::bound_decimal(url_record.rating, 2, 0), rating);
        ASSERT_EQ(sd::add(&LINKDB), 0);
    }

    // Starts a browse on its own thread and waits for its window.
    void open(void (*procedure)(), bool with_rows = true) {
        m_thread = ui::start(procedure, 50000);
        ASSERT_NE(m_thread, 0);
        ASSERT_TRUE(wait_until([&] { return list() != nullptr && (!with_rows || list()->row_count() > 0); }));
    }
    ui::Window* browse() {
        ui::Window* f = ui::application_frame();
        return f != nullptr && !f->children().empty() ? f->children().front() : nullptr;
    }
    ui::ListControl* list() {
        ui::Window* w = browse();
        return w ? dynamic_cast<ui::ListControl*>(w->control(kList)) : nullptr;
    }
    // The window the browse's thread shows on top: the browse or its form.
    ui::Window* top() { return ui::thread_top_window(m_thread); }

    // One column of every row, the selected one in brackets.
    std::string rows(std::size_t column = 0) { return sk::app::test::list_column(list(), column, " ", true); }

    static std::string plain(std::string text) {
        std::erase(text, '[');
        std::erase(text, ']');
        return text;
    }
    pd::Point centre_of(ui::Window* w, std::int32_t field) {
        ui::Control* c = w->control(field);
        EXPECT_NE(c, nullptr) << field;
        if (c == nullptr) return pd::Point{0, 0};
        const pd::Rect r = pd::screen_rect(c->window());
        return pd::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    void click(ui::Window* w, std::int32_t field, std::uint32_t button = pd::kButtonLeft) {
        hl::click(centre_of(w, field), button);
        settle();
    }
    // The middle of the list's first row, where a right press selects it.
    void right_click_first_row() {
        ui::ListControl* l = list();
        const pd::Rect r = pd::screen_rect(l->window());
        hl::click(pd::Point{(r.left + r.right) / 2, r.top + 2 + l->header_height() + l->row_height() / 2}, pd::kButtonRight);
        settle();
    }
    bool enabled(std::int32_t field) { return pd::is_enabled(browse()->control(field)->window()); }
    // Opens a form by a browse button and waits for it.
    void form_by(std::int32_t button) {
        ui::Window* b = browse();
        click(b, button);
        ASSERT_TRUE(wait_until([&] { return top() != nullptr && top() != b; }));
    }
    void retype(std::int32_t field, std::string_view text) {
        click(top(), field);
        hl::press_key(pd::kVkEnd);
        for (int i = 0; i < 70; ++i) hl::press_key(pd::kVkBack);
        hl::type_text(text);
        settle();
    }
    // Confirms the form and waits for the browse to come back on top.
    void ok_form() {
        click(top(), kFormOk);
        ASSERT_TRUE(wait_until([&] { return top() == browse(); }));
        settle();
    }
    void choose_tab(int tab) {
        browse()->set_property(kSheet, 31887, std::to_string(tab));
        settle();
    }

    sk::test::PlatformTempDir m_dir;
    sk::app::test::ConfigHomeIn m_config{m_dir.path()};
    int m_thread = 0;
    std::vector<std::string> boxes;
    std::deque<int> answers;
};

TEST_F(BrowseFlow, InsertChangeAndDeleteThroughTheFormRepositionThePage) {
    add_category("NEWS");
    add_site("http://a.example/", "Alpha", "NEWS");
    add_site("http://c.example/", "Gamma", "NEWS");
    add_site("http://d.example/", "Delta", "NEWS");
    open(BrowseLINKDB);
    EXPECT_EQ(rows(), "[Alpha] Delta Gamma");  // the "Description" tab comes first
    {
        // On first start the frame fits the screen and the site list fits the
        // frame's client area.
        const pd::Rect frame = pd::screen_rect(ui::application_frame()->handle());
        EXPECT_GE(frame.left, 0);
        EXPECT_GE(frame.top, 0);
        EXPECT_LE(frame.right, 800);
        EXPECT_LE(frame.bottom, 600);
        const pd::WindowId parent = pd::parent_window(browse()->handle());
        const pd::Rect client = pd::client_rect(parent);
        const pd::Rect child = pd::window_rect(browse()->handle());
        EXPECT_GE(child.left, 0);
        EXPECT_GE(child.top, 0);
        EXPECT_LE(child.right, client.right) << client.right << "x" << client.bottom;
        EXPECT_LE(child.bottom, client.bottom) << child.bottom;
        ASSERT_TRUE(hl::save_screenshot("/tmp/browse-flow-first-start.png"));
    }

    form_by(kInsert);
    EXPECT_EQ(pd::window_text(top()->handle()), "Adding a LINKDB Record");
    retype(kFormLocation, "http://b.example/");
    retype(kFormDescription, "Beta");
    retype(kFormCategory, "NEWS");
    ok_form();
    EXPECT_EQ(rows(), "Alpha [Beta] Delta Gamma");
    EXPECT_TRUE(enabled(kChange));

    // The changed site moves to its new place and the highlight follows it.
    form_by(kChange);
    EXPECT_EQ(pd::window_text(top()->handle()), "Changing a LINKDB Record");
    retype(kFormDescription, "Omega");
    ok_form();
    EXPECT_EQ(rows(), "Alpha Delta Gamma [Omega]");

    // Deleting the highlighted last row highlights the row before it; a middle
    // row, the one that followed.
    answers = {sk::rt::kButtonOk};
    click(browse(), kDelete);
    EXPECT_EQ(rows(), "Alpha Delta [Gamma]");
    hl::press_key(pd::kVkUp);
    settle();
    EXPECT_EQ(rows(), "Alpha [Delta] Gamma");
    answers = {sk::rt::kButtonOk};
    hl::press_key(pd::kVkDelete);
    settle();
    EXPECT_EQ(rows(), "Alpha [Gamma]");
    // A delete the user declines keeps the row.
    answers = {sk::rt::kButtonCancel};
    click(browse(), kDelete);
    EXPECT_EQ(rows(), "Alpha [Gamma]");
    EXPECT_EQ(sd::records(&LINKDB), 2);
    ASSERT_TRUE(hl::save_screenshot("/tmp/browse-flow-sites.png"));
}

TEST_F(BrowseFlow, EmptyFileGreysChangeAndDeleteAndStillInserts) {
    add_category("NEWS");
    open(BrowseLINKDB, false);
    EXPECT_EQ(list()->row_count(), 0u);
    EXPECT_FALSE(enabled(kChange));
    EXPECT_FALSE(enabled(kDelete));
    EXPECT_TRUE(enabled(kInsert));

    // Nothing to copy: the clipboard keeps what it had.
    pd::set_clipboard_text("kept");
    click(browse(), kClipboard);
    EXPECT_EQ(pd::clipboard_text(), "kept");

    // A real right click on the list brings up the popup with Change and Delete
    // greyed; Escape leaves it, and nothing happens.
    ui::Window* b = browse();
    click(b, kList, pd::kButtonRight);
    ASSERT_TRUE(wait_until([] { return pd::menu_tracking(); }));
    EXPECT_EQ(popup_entries(), (std::vector<std::string>{"&Insert", "~&Change", "~&Delete"}));
    ASSERT_TRUE(hl::save_screenshot("/tmp/browse-flow-popup.png"));
    hl::press_key(pd::kVkEscape);
    ASSERT_TRUE(wait_until([] { return !pd::menu_tracking(); }));
    EXPECT_EQ(top(), b);
    // A greyed choice does nothing either.
    click(b, kList, pd::kButtonRight);
    ASSERT_TRUE(wait_until([] { return pd::menu_tracking(); }));
    hl::press_key(pd::kVkA + ('D' - 'A'));
    settle();
    if (pd::menu_tracking()) hl::press_key(pd::kVkEscape);
    ASSERT_TRUE(wait_until([] { return !pd::menu_tracking(); }));
    EXPECT_EQ(top(), b);
    EXPECT_TRUE(boxes.empty()) << boxes.front();

    // The Insert key opens the site form too.
    hl::press_key(pd::kVkInsert);
    settle();
    ASSERT_TRUE(wait_until([&] { return top() != nullptr && top() != b; }));
    EXPECT_EQ(pd::window_text(top()->handle()), "Adding a LINKDB Record");
    click(top(), kFormCancel);
    ASSERT_TRUE(wait_until([&] { return top() == b; }));
    EXPECT_EQ(list()->row_count(), 0u);

    // The popup's Insert opens the form, and the new site shows highlighted.
    click(b, kList, pd::kButtonRight);
    ASSERT_TRUE(wait_until([] { return pd::menu_tracking(); }));
    hl::press_key(pd::kVkA + ('I' - 'A'));
    settle();
    if (pd::menu_tracking()) hl::press_key(pd::kVkReturn);
    ASSERT_TRUE(wait_until([&] { return top() != nullptr && top() != b; }));
    EXPECT_EQ(pd::window_text(top()->handle()), "Adding a LINKDB Record");
    retype(kFormLocation, "http://a.example/");
    retype(kFormDescription, "Alpha");
    retype(kFormCategory, "NEWS");
    ok_form();
    EXPECT_EQ(rows(), "[Alpha]");
    EXPECT_TRUE(enabled(kChange));
    EXPECT_TRUE(enabled(kDelete));

    // With a row the popup offers all three, and the clipboard takes its address.
    right_click_first_row();
    ASSERT_TRUE(wait_until([] { return pd::menu_tracking(); }));
    EXPECT_EQ(popup_entries(), (std::vector<std::string>{"&Insert", "&Change", "&Delete"}));
    hl::press_key(pd::kVkA + ('C' - 'A'));
    settle();
    if (pd::menu_tracking()) hl::press_key(pd::kVkReturn);
    ASSERT_TRUE(wait_until([&] { return top() != nullptr && top() != b; }));
    EXPECT_EQ(pd::window_text(top()->handle()), "Changing a LINKDB Record");
    click(top(), kFormCancel);
    ASSERT_TRUE(wait_until([&] { return top() == b; }));
    click(b, kClipboard);
    EXPECT_EQ(pd::clipboard_text(), "http://a.example/");
}

TEST_F(BrowseFlow, TabsOrderTheSitesAndTheCategoryTabLimitsThem) {
    add_category("NEWS");
    add_category("ART");
    add_site("http://c.example/", "Alpha", "NEWS", "zeta", 7);
    add_site("http://a.example/", "Beta", "ART", "eta", 3);
    add_site("http://b.example/", "Gamma", "NEWS", "alpha", 9);
    open(BrowseLINKDB);
    EXPECT_EQ(rows(), "[Alpha] Beta Gamma");
    choose_tab(2);
    EXPECT_EQ(rows(), "Beta Gamma [Alpha]");  // by location; the highlight stays on its site
    choose_tab(4);
    EXPECT_EQ(rows(), "Beta [Alpha] Gamma");  // by rating 3, 7, 9
    choose_tab(5);
    EXPECT_EQ(rows(), "Gamma Beta [Alpha]");  // by keyword
    choose_tab(1);
    EXPECT_EQ(rows(), "[Alpha] Beta Gamma");

    // The "Category" tab shows the sites of the category chosen with
    // "Select Category".
    choose_tab(3);
    ui::Window* b = browse();
    click(b, kSelectCategory);
    ASSERT_TRUE(wait_until([&] { return top() != nullptr && top() != b; }));
    EXPECT_EQ(pd::window_text(top()->handle()), "Select a Category");
    hl::press_key(pd::kVkDown);  // ART, then NEWS
    settle();
    hl::press_key(pd::kVkReturn);
    ASSERT_TRUE(wait_until([&] { return top() == b; }));
    // Which row the highlight lands on depends on where the old category sorts.
    EXPECT_EQ(plain(rows(1)), "http://b.example/ http://c.example/");
    click(b, kSelectCategory);
    ASSERT_TRUE(wait_until([&] { return top() != nullptr && top() != b; }));
    hl::press_key(pd::kVkUp);
    settle();
    hl::press_key(pd::kVkReturn);
    ASSERT_TRUE(wait_until([&] { return top() == b; }));
    EXPECT_EQ(rows(1), "[http://a.example/]");
    ASSERT_TRUE(hl::save_screenshot("/tmp/browse-flow-category-tab.png"));

    // Its Insert presets the category, and the new site joins the limited list.
    form_by(kInsert);
    EXPECT_EQ(fixed_text(url_record.category), "ART");
    retype(kFormLocation, "http://e.example/");
    ok_form();
    EXPECT_EQ(rows(1), "http://a.example/ [http://e.example/]");
}

TEST_F(BrowseFlow, AnotherStationsChangesShowAfterARefresh) {
    add_category("NEWS");
    add_site("http://a.example/", "Alpha", "NEWS");
    add_site("http://c.example/", "Gamma", "NEWS");
    open(BrowseLINKDB);
    EXPECT_EQ(rows(), "[Alpha] Gamma");

    // Another station adds one site and changes another.
    add_site("http://b.example/", "Beta", "NEWS");
    set_fixed(url_record.location, "http://c.example/");
    ASSERT_EQ(sd::get_key(&LINKDB, &url_k_location), 0);
    ASSERT_EQ(sd::delete_record(&LINKDB), 0);
    add_site("http://c.example/", "Delta", "NEWS");
    // The browse sees nothing until it rebuilds: resizing the window does.
    EXPECT_EQ(rows(), "[Alpha] Gamma");
    browse()->post(ui::kEventSized);
    settle();
    EXPECT_EQ(rows(), "[Alpha] Beta Delta");

    // The change form starts from the stored version of the highlighted row.
    hl::press_key(pd::kVkDown);
    settle();
    hl::press_key(pd::kVkDown);
    settle();
    set_fixed(url_record.location, "http://c.example/");
    ASSERT_EQ(sd::watch(&LINKDB), 0);  // the browse's own watch is on another record
    ASSERT_EQ(sd::get_key(&LINKDB, &url_k_location), 0);
    set_fixed(url_record.keyword, "fresh");
    ASSERT_EQ(sd::put(&LINKDB), 0);
    // The record buffer is shared with this thread: only a re-read brings the
    // stored keyword back.
    clear_site_record();
    form_by(kChange);
    EXPECT_EQ(fixed_text(url_record.keyword), "fresh");
    click(top(), kFormCancel);
    ASSERT_TRUE(wait_until([&] { return top() == browse(); }));
}

TEST_F(BrowseFlow, CategoriesBrowseInsertsAndDeletesWithItsSites) {
    add_category("NEWS");
    add_category("ART");
    add_site("http://a.example/", "Alpha", "NEWS");
    open(BrowseCategories);
    EXPECT_EQ(rows(), "[ART] NEWS");
    ui::Window* b = browse();
    click(b, 2);  // "&Insert"
    ASSERT_TRUE(wait_until([&] { return top() != nullptr && top() != b; }));
    EXPECT_EQ(pd::window_text(top()->handle()), "Adding a Categories Record");
    click(top(), 3);
    hl::type_text("MUSIC");
    settle();
    click(top(), 8);
    ASSERT_TRUE(wait_until([&] { return top() == b; }));
    EXPECT_EQ(rows(), "ART [MUSIC] NEWS");
    hl::press_key(pd::kVkDown);
    settle();
    answers = {sk::rt::kButtonOk};
    click(b, 4);  // "&Delete" NEWS, and its site with it
    EXPECT_EQ(rows(), "ART [MUSIC]");
    EXPECT_EQ(sd::records(&LINKDB), 0);
}

// A right press selects the row under the mouse without a new selection of its
// own; the popup's choice acts on that row, not on the one highlighted before.
TEST_F(BrowseFlow, ThePopupActsOnTheRightClickedRow) {
    add_category("NEWS");
    add_site("http://a.example/", "Alpha", "NEWS");
    add_site("http://b.example/", "Beta", "NEWS");
    add_site("http://c.example/", "Gamma", "NEWS");
    open(BrowseLINKDB);
    hl::press_key(pd::kVkDown);
    hl::press_key(pd::kVkDown);
    settle();
    EXPECT_EQ(rows(), "Alpha Beta [Gamma]");
    right_click_first_row();
    ASSERT_TRUE(wait_until([] { return pd::menu_tracking(); }));
    answers = {sk::rt::kButtonOk};
    hl::press_key(pd::kVkA + ('D' - 'A'));
    settle();
    if (pd::menu_tracking()) hl::press_key(pd::kVkReturn);
    ASSERT_TRUE(wait_until([] { return !pd::menu_tracking(); }));
    settle();
    EXPECT_EQ(plain(rows()), "Beta Gamma");
    set_fixed(url_record.location, "http://c.example/");
    EXPECT_EQ(sd::get_key(&LINKDB, &url_k_location), 0);
    set_fixed(url_record.location, "http://a.example/");
    EXPECT_NE(sd::get_key(&LINKDB, &url_k_location), 0);
}

// "Locations" opens the sites of the highlighted category on the same thread;
// its Insert presets that category, and closing it comes back to the categories.
TEST_F(BrowseFlow, LocationsShowTheSitesOfTheHighlightedCategory) {
    add_category("ART");
    add_category("NEWS");
    add_site("http://b.example/", "Beta", "NEWS", "kw", 5);
    add_site("http://a.example/", "Alpha", "ART");
    add_site("http://c.example/", "Gamma", "NEWS");
    open(BrowseCategories);
    ui::Window* categories = browse();
    hl::press_key(pd::kVkDown);
    settle();
    EXPECT_EQ(rows(), "ART [NEWS]");
    ASSERT_TRUE(hl::save_screenshot("/tmp/browse-flow-categories.png"));
    click(categories, 6);  // "Locations"
    ASSERT_TRUE(wait_until([&] { return top() != nullptr && top() != categories; }));
    ui::Window* sites = top();
    EXPECT_EQ(pd::window_text(sites->handle()), "Browse Location by Category");
    auto* l = dynamic_cast<ui::ListControl*>(sites->control(kList));
    ASSERT_NE(l, nullptr);
    ASSERT_TRUE(wait_until([&] { return l->row_count() > 0; }));
    ASSERT_EQ(l->row_count(), 2u);
    EXPECT_EQ(plain(l->rows().cell(1, 0)).substr(0, 17), "http://b.example/");
    EXPECT_EQ(plain(l->rows().cell(2, 0)).substr(0, 17), "http://c.example/");
    ASSERT_TRUE(hl::save_screenshot("/tmp/browse-flow-category-sites.png"));
    click(sites, 3);  // "&Insert"
    ASSERT_TRUE(wait_until([&] { return top() != sites; }));
    EXPECT_EQ(pd::window_text(top()->handle()), "Adding a LINKDB Record");
    EXPECT_EQ(fixed_text(url_record.category), "NEWS");
    click(top(), kFormCancel);
    ASSERT_TRUE(wait_until([&] { return top() == sites; }));
    click(sites, 6);  // "Cl&ose"
    ASSERT_TRUE(wait_until([&] { return top() == categories; }));
    EXPECT_EQ(rows(), "ART [NEWS]");
    EXPECT_EQ(LINKDBUsers, 2);  // the fixture's and the categories browse's
}

}  // namespace
