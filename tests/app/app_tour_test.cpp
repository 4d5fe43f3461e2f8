// A user's walk through the whole program on the headless display: Main over a
// directory with a few sites and categories, every window reached the way a user
// reaches it (menu keys, clicks on buttons and tabs, the popup), a screenshot of
// each in /tmp/tour-NN-name.png, and everything closed again at the end.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/dictionary.h"
#include "app/main_frame.h"
#include "data/file_layer.h"
#include "platform/display/headless.h"
#include "platform/display/mdi.h"
#include "platform/display/menu.h"
#include "platform/display/window.h"
#include "runtime/bind.h"
#include "ui/controls/choice_controls.h"
#include "ui/controls/edit_variants.h"
#include "ui/controls/list_control.h"
#include "ui/controls/variable.h"
#include "ui/engine.h"
#include "ui/engine_test_support.h"
#include "ui/event.h"
#include "ui/frame.h"
#include "ui/window.h"
#include "procedure_test_support.h"

namespace {

namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;
namespace sa = sk::app;
using namespace sk::ui;

class AppTour : public test::EngineTest {
protected:
    void SetUp() override {
        char dir[] = "/tmp/sktourXXXXXX";
        m_dir = mkdtemp(dir);
        setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
        m_previous = std::filesystem::current_path();
        // The viewers read their texts from the start directory.
        for (const char* text : {"readme.jr", "whatsnew.jr"}) {
            std::filesystem::copy_file(std::filesystem::path(SK_SOURCE_DIR) / text, m_dir + "/" + text);
        }
        std::ofstream(m_dir + "/sites.txt") << "\"http://ascii.example/\",\"Listed Site\",\"from a list\"\r\n";
        std::ofstream(m_dir + "/links.htm") << "<h3>Tools</h3>\r\n<a href=\"http://html.example/\">Linked Site</a>\r\n";
        std::filesystem::current_path(m_dir);
        EngineTest::SetUp();
        ASSERT_TRUE(initialise_engine());
        sa::start_program_globals();
        seed();
    }
    void TearDown() override {
        EngineTest::TearDown();
        std::filesystem::current_path(m_previous);
        std::filesystem::remove_all(m_dir);
    }

    void seed() {
        sa::use_categories();
        sa::use_linkdb();
        for (const char* c : {"NEWS", "SEARCH", "SHOPPING", "TOOLS"}) {
            sa::set_fixed(sa::cat_record.category, c);
            ASSERT_EQ(sk::data::add(&sa::Categories), 0);
        }
        struct Site {
            const char *location, *description, *category, *keyword;
            int rating;
        };
        const Site sites[] = {
            {"http://news.example.com/", "Daily News", "NEWS", "news", 3},
            {"http://search.example.org/", "Search Everything", "SEARCH", "find", 5},
            {"http://shop.example.net/catalogue/index.html", "A very long description of a shop that sells nearly everything", "SHOPPING", "shop", 2},
            {"ftp://tools.example.com/pub/", "Tool Archive", "TOOLS", "ftp", 4},
            {"http://weather.example.com/", "Weather", "NEWS", "weather", 1},
        };
        for (const Site& s : sites) {
            std::memset(&sa::url_record, ' ', sizeof sa::url_record);
            std::memset(sa::url_record.rating, 0, sizeof sa::url_record.rating);
            sa::set_fixed(sa::url_record.location, s.location);
            sa::set_fixed(sa::url_record.description, s.description);
            sa::set_fixed(sa::url_record.category, s.category);
            sa::set_fixed(sa::url_record.keyword, s.keyword);
            set_variable_number(sk::rt::bound_decimal(sa::url_record.rating, 2, 0), s.rating);
            ASSERT_EQ(sk::data::add(&sa::LINKDB), 0);
        }
        sa::release_linkdb();
        sa::release_categories();
    }

    // Waits for a window with this caption; its engine window, or null.
    Window* window_up(std::string_view caption, int timeout_ms = 8000) {
        if (!wait_until([&] { return hl::find_window_by_text(caption) != 0; }, timeout_ms)) {
            ADD_FAILURE() << "no window \"" << caption << "\"";
            shot("missing");
            return nullptr;
        }
        settle();
        return window_of_native(hl::find_window_by_text(caption));
    }
    // The same for the dialogs the engine draws itself (file dialog, message
    // boxes, printer set-up), which have no engine window.
    bool dialog_up(std::string_view caption) {
        if (!wait_until([&] { return hl::find_window_by_text(caption) != 0; })) {
            ADD_FAILURE() << "no dialog \"" << caption << "\"";
            shot("missing");
            return false;
        }
        settle();
        return true;
    }
    bool window_gone(std::string_view caption) {
        return wait_until([&] { return hl::find_window_by_text(caption) == 0; });
    }
    // Lets the timers run (progress windows, caret) until done() holds.
    template <typename Done>
    bool tick_until(Done done, int ticks = 400) {
        for (int i = 0; i < ticks && !done(); ++i) {
            LockRelease unlocked;
            hl::advance_clock(10);
            hl::wait_until_idle(5000);
        }
        settle();
        return done();
    }
    void shot(const std::string& name) {
        settle();
        char number[8];
        std::snprintf(number, sizeof number, "%02d", ++m_shots);
        EXPECT_TRUE(hl::save_screenshot("/tmp/tour-" + std::string(number) + "-" + name + ".png"));
    }

    static void key(std::uint32_t vk, std::uint32_t modifiers = 0) {
        hl::press_key(vk, modifiers);
        settle();
    }
    static std::uint32_t letter(char c) { return pd::kVkA + static_cast<std::uint32_t>(c - 'A'); }
    // Alt and the bar letter, then the item letters in turn. Whatever closed last
    // (a procedure's own window among them), the frame has the keyboard again.
    void menu(const std::string& letters) {
        EXPECT_EQ(pd::active_window(), application_frame()->handle()) << "before the menu keys " << letters;
        key(letter(letters[0]), pd::kModAlt);
        for (std::size_t i = 1; i < letters.size(); ++i) key(letter(letters[i]));
    }

    // Replaces the name in the file dialog's name field and confirms it.
    void answer_file_dialog(const std::string& path) {
        key(pd::kVkEnd);
        for (int i = 0; i < 100; ++i) hl::press_key(pd::kVkBack);
        hl::type_text(path);
        settle();
        shot("file-dialog-long-name");
        key(pd::kVkReturn);
    }
    static pd::Point centre(const pd::Rect& r) { return pd::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
    static void click(Window* w, std::int32_t field, std::uint32_t button = pd::kButtonLeft) {
        ASSERT_NE(w, nullptr);
        Control* c = w->control(field);
        ASSERT_NE(c, nullptr) << w->label() << " field " << field;
        hl::click(centre(pd::screen_rect(c->window())), button);
        settle();
    }
    static void click_tab(Window* w, std::int32_t sheet_field, std::size_t tab) {
        ASSERT_NE(w, nullptr);
        auto* sheet = dynamic_cast<SheetControl*>(w->control(sheet_field));
        ASSERT_NE(sheet, nullptr) << w->label();
        const pd::Rect r = sheet->tab_rect(tab);
        hl::click(pd::client_to_screen(sheet->window(), centre(r)));
        settle();
    }
    static std::size_t tab_of(Window* w, std::int32_t sheet_field) {
        auto* sheet = dynamic_cast<SheetControl*>(w->control(sheet_field));
        return sheet ? sheet->selected() : 99;
    }
    static ListControl* list_of(Window* w, std::int32_t field) {
        return w ? dynamic_cast<ListControl*>(w->control(field)) : nullptr;
    }
    // One column of the list's rows, blanks trimmed, joined by "|".
    static std::string column(Window* w, std::int32_t field, std::size_t col) {
        return sk::app::test::list_column(list_of(w, field), col, "|", false);
    }
    static bool focus_in(Window* w, std::int32_t field) {
        Control* c = w ? w->control(field) : nullptr;
        return c != nullptr && pd::focus_window() == c->window();
    }
    static void retype(Window* w, std::int32_t field, std::string_view text) {
        click(w, field);
        key(pd::kVkEnd);
        for (int i = 0; i < 130; ++i) hl::press_key(pd::kVkBack);
        hl::type_text(text);
        settle();
    }
    // The entries of the innermost open menu, "~" before a greyed one.
    static std::string menu_entries() {
        const std::vector<pd::MenuId> menus = pd::open_menus();
        if (menus.empty()) return "";
        std::string out;
        for (int i = 0; i < pd::menu_entry_count(menus.back()); ++i) {
            pd::MenuEntry e;
            if (!pd::menu_entry(menus.back(), i, &e)) continue;
            out += (i ? "|" : "") + std::string((e.flags & pd::kMenuGrayed) != 0 ? "~" : "") + e.text;
        }
        return out;
    }

    std::string m_dir;
    std::filesystem::path m_previous;
    int m_shots = 0;
};

// Site browse fields, site form fields, category browse and form fields.
constexpr std::int32_t kSiteList = 1, kSiteSheet = 2, kSelectCategory = 3, kSiteInsert = 4, kSiteChange = 5,
                       kSiteClose = 8;
constexpr std::int32_t kFormSheet = 1, kFormLocation = 3, kFormDescription = 5, kFormCategory = 7, kFormOk = 14,
                       kFormCancel = 15;
constexpr std::int32_t kCatList = 1, kCatInsert = 2, kCatChange = 3, kCatLocations = 6, kCatClose = 7;
constexpr std::int32_t kCatFormSheet = 1, kCatFormCancel = 9;

TEST_F(AppTour, EveryWindowOpensFromTheMenuAndClosesAgain) {
    std::atomic<bool> done{false};
    ASSERT_NE(start([&] {
                  sa::Main();
                  done = true;
              }),
              0);
    ASSERT_TRUE(wait_until([] { return application_frame() != nullptr; }));
    Window* frame = application_frame();

    // The site list opens by itself, sorted by description.
    Window* sites = window_up("Browse Locations");
    ASSERT_NE(sites, nullptr);
    ASSERT_TRUE(wait_until([&] { return list_of(sites, kSiteList)->row_count() == 5; }));
    EXPECT_EQ(column(sites, kSiteList, 0).substr(0, 10), "A very lon");
    EXPECT_TRUE(focus_in(sites, kSiteList));
    shot("site-browse-description");

    menu("F");
    EXPECT_EQ(menu_entries(), "&Import|&Export|&Print Setup ...||E&xit");
    shot("file-menu");
    key(pd::kVkDown);  // "&Export": its message should be in the status bar
    shot("file-menu-export-highlighted");
    key(pd::kVkDown);  // "&Print Setup ...", a plain item with a message
    shot("file-menu-print-setup-highlighted");
    key(pd::kVkEscape);
    key(pd::kVkEscape);

    // Each tab orders the list by its column.
    const char* tabs[] = {"location", "category", "rating", "keyword"};
    for (std::size_t t = 1; t <= 4; ++t) {
        click_tab(sites, kSiteSheet, t);
        EXPECT_EQ(tab_of(sites, kSiteSheet), t);
        shot(std::string("site-browse-") + tabs[t - 1]);
        if (t == 1) {
            EXPECT_EQ(column(sites, kSiteList, 1).substr(0, 8), "ftp://to");
        }
        if (t == 2) {
            // Under "Category" the list is narrowed to the chosen category.
            click(sites, kSelectCategory);
            Window* select = window_up("Select a Category");
            ASSERT_NE(select, nullptr);
            EXPECT_EQ(column(select, 1, 0), "NEWS|SEARCH|SHOPPING|TOOLS");
            shot("select-categories");
            // It opens on the category the list is limited to; typing a letter
            // moves to the first category from that letter on.
            EXPECT_EQ(column(select, 1, 0).substr(0, 4), "NEWS");
            hl::type_text("n");
            settle();
            key(pd::kVkReturn);  // "&Select" is the default button
            EXPECT_TRUE(window_gone("Select a Category"));
            EXPECT_EQ(column(sites, kSiteList, 2), "NEWS|NEWS");
            shot("site-browse-category-news");
        }
    }
    click_tab(sites, kSiteSheet, 0);

    // Insert a site, its category picked from the lookup list.
    click(sites, kSiteInsert);
    Window* form = window_up("Adding a LINKDB Record");
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(focus_in(form, kFormLocation));
    shot("site-form-insert");
    // Typed in field order, Tab moving on, the category picked from its list.
    hl::type_text("http://new.example/");
    key(pd::kVkTab);
    EXPECT_TRUE(focus_in(form, kFormDescription));
    hl::type_text("New Site");
    key(pd::kVkTab);
    EXPECT_TRUE(focus_in(form, kFormCategory));
    key(pd::kVkF1 + 3);  // F4 drops the lookup list
    auto* combo = dynamic_cast<ComboControl*>(form->control(kFormCategory));
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(combo->is_dropped());
    shot("site-form-category-lookup");
    key(pd::kVkDown);
    key(pd::kVkDown);
    key(pd::kVkReturn);
    EXPECT_FALSE(combo->is_dropped());
    shot("site-form-insert-filled");
    click(form, kFormOk);
    EXPECT_TRUE(window_gone("Adding a LINKDB Record"));
    EXPECT_NE(column(sites, kSiteList, 0).find("New Site"), std::string::npos) << column(sites, kSiteList, 0);

    // Change the highlighted site; look at both tabs, then cancel.
    click(sites, kSiteChange);
    form = window_up("Changing a LINKDB Record");
    ASSERT_NE(form, nullptr);
    shot("site-form-change");
    click_tab(form, kFormSheet, 1);
    EXPECT_EQ(tab_of(form, kFormSheet), 1u);
    shot("site-form-siteinfo");
    click(form, kFormCancel);
    EXPECT_TRUE(window_gone("Changing a LINKDB Record"));

    // The popup on the list.
    {
        ListControl* l = list_of(sites, kSiteList);
        const pd::Rect r = pd::screen_rect(l->window());
        hl::click(pd::Point{(r.left + r.right) / 2, r.top + 2 + l->header_height() + l->row_height() / 2},
                  pd::kButtonRight);
        settle();
        ASSERT_TRUE(wait_until([] { return pd::menu_tracking(); }));
        EXPECT_EQ(menu_entries(), "&Insert|&Change|&Delete");
        shot("site-browse-popup");
        key(pd::kVkEscape);
        ASSERT_TRUE(wait_until([] { return !pd::menu_tracking(); }));
    }

    // Keys on the list: a letter finds the first description from it on; Delete
    // asks first, and Enter there takes the default answer, Cancel.
    hl::type_text("w");
    settle();
    {
        ListControl* l = list_of(sites, kSiteList);
        ASSERT_GT(l->selected(), 0u);
        EXPECT_EQ(l->rows().cell(l->selected(), 0).substr(0, 7), "Weather");
    }
    const std::size_t rows_before = list_of(sites, kSiteList)->row_count();
    key(pd::kVkDelete);
    ASSERT_TRUE(dialog_up("Confirm Delete"));
    shot("confirm-delete");
    key(pd::kVkReturn);
    EXPECT_TRUE(window_gone("Confirm Delete"));
    EXPECT_EQ(list_of(sites, kSiteList)->row_count(), rows_before);
    EXPECT_NE(column(sites, kSiteList, 0).find("Weather"), std::string::npos);

    // A second site at a known location is refused and the form stays open.
    click(sites, kSiteInsert);
    form = window_up("Adding a LINKDB Record");
    ASSERT_NE(form, nullptr);
    hl::type_text("http://news.example.com/");
    key(pd::kVkTab);
    hl::type_text("Again");
    key(pd::kVkTab);
    hl::type_text("NEWS");
    click(form, kFormOk);
    ASSERT_TRUE(dialog_up("Duplicate Key Error"));
    shot("duplicate-location");
    key(pd::kVkReturn);
    EXPECT_TRUE(window_gone("Duplicate Key Error"));
    EXPECT_NE(hl::find_window_by_text("Adding a LINKDB Record"), 0u);
    EXPECT_TRUE(focus_in(form, kFormLocation));
    click(form, kFormCancel);
    EXPECT_TRUE(window_gone("Adding a LINKDB Record"));
    EXPECT_EQ(list_of(sites, kSiteList)->row_count(), rows_before);

    // Maximised inside the frame, and back.
    pd::maximize_window(sites->handle());
    shot("site-browse-maximised");
    pd::restore_window(sites->handle());
    settle();

    // The category browse, its form and the sites of one category.
    menu("B");  // the menu opens on "Locations"; "Categories" is next
    EXPECT_EQ(menu_entries(), "Locations|Categories");
    key(pd::kVkDown);
    key(pd::kVkReturn);
    Window* cats = window_up("Browse Categories");
    ASSERT_NE(cats, nullptr);
    ASSERT_TRUE(wait_until([&] { return list_of(cats, kCatList) && list_of(cats, kCatList)->row_count() == 4; }));
    shot("category-browse");
    click(cats, kCatInsert);
    Window* cat_form = window_up("Adding a Categories Record");
    ASSERT_NE(cat_form, nullptr);
    shot("category-form-insert");
    click(cat_form, kCatFormCancel);
    EXPECT_TRUE(window_gone("Adding a Categories Record"));
    click(cats, kCatChange);
    cat_form = window_up("Changing a Categories Record");
    ASSERT_NE(cat_form, nullptr);
    shot("category-form-change");
    click_tab(cat_form, kCatFormSheet, 1);
    EXPECT_EQ(column(cat_form, 4, 0), "http://news.example.com/|http://weather.example.com/");
    shot("category-form-locations");
    click(cat_form, kCatFormCancel);
    EXPECT_TRUE(window_gone("Changing a Categories Record"));
    click(cats, kCatLocations);
    Window* by_category = window_up("Browse Location by Category");
    ASSERT_NE(by_category, nullptr);
    shot("locations-by-category");
    click(by_category, 6);  // "Cl&ose"
    EXPECT_TRUE(window_gone("Browse Location by Category"));

    // Two children side by side, then stacked.
    ASSERT_EQ(frame->children().size(), 2u);
    pd::mdi_tile(frame->mdi_client(), false);
    shot("window-tile");
    pd::mdi_cascade(frame->mdi_client());
    shot("window-cascade");
    click(cats, kCatClose);
    EXPECT_TRUE(window_gone("Browse Categories"));

    // Export: its window and the file dialog behind "...".
    menu("FEA");
    Window* exporter = window_up("Export to HTML Document");
    ASSERT_NE(exporter, nullptr);
    shot("export-window");
    click(exporter, 6);
    ASSERT_TRUE(dialog_up("Choose a File"));
    shot("file-dialog-export");
    key(pd::kVkEscape);
    EXPECT_TRUE(window_gone("Choose a File"));
    click(exporter, 8);  // "Cancel"
    EXPECT_TRUE(window_gone("Export to HTML Document"));

    // Import from a list: the file, then the category for all of it.
    menu("FIA");
    ASSERT_TRUE(dialog_up("Select File"));
    shot("import-ascii-file-dialog");
    hl::type_text("x");  // typed over the proposed name?
    settle();
    shot("import-ascii-file-dialog-typed");
    answer_file_dialog(m_dir + "/sites.txt");
    Window* select = window_up("Select a Category");
    ASSERT_NE(select, nullptr);
    shot("import-ascii-select-categories");
    click(select, 4);  // "Cl&ose": no category, the sites get "NEW"
    ASSERT_NE(window_up("Processing Records"), nullptr);
    shot("import-progress");
    EXPECT_TRUE(tick_until([] { return hl::find_window_by_text("Select a Category") == 0 &&
                                       hl::find_window_by_text("Processing Records") == 0; }));

    // Import from HTML: the category assignment offers a best guess.
    menu("FIH");
    ASSERT_TRUE(dialog_up("Select File"));
    shot("import-html-file-dialog");
    answer_file_dialog(m_dir + "/links.htm");
    Window* assign = window_up("Category Assignment");
    ASSERT_NE(assign, nullptr);
    shot("import-html-category-assignment");
    click(assign, 4);  // "Best &Guess"
    EXPECT_TRUE(tick_until([] { return hl::find_window_by_text("Category Assignment") == 0 &&
                                       hl::find_window_by_text("Processing Records") == 0; }));

    // Import from other text: only as far as its file dialog.
    menu("FIO");
    ASSERT_TRUE(dialog_up("Select File"));
    shot("import-other-file-dialog");
    hl::type_text("/a/rather/long/folder/name/that/does/not/fit/the/name/field/at/all.txt");
    settle();
    shot("file-dialog-overlong-name");
    key(pd::kVkEscape);
    EXPECT_TRUE(tick_until([] { return hl::find_window_by_text("Select File") == 0 &&
                                       hl::find_window_by_text("Processing Records") == 0; }));

    // The export window after the imports.
    menu("FEA");
    exporter = window_up("Export to HTML Document");
    ASSERT_NE(exporter, nullptr);
    shot("export-window-after-imports");
    retype(exporter, 5, "bookmark.htm");
    click(exporter, 7);  // "&Ok"
    ASSERT_NE(window_up("Processing Records"), nullptr);
    shot("export-progress");
    EXPECT_TRUE(tick_until([] { return hl::find_window_by_text("Processing Records") == 0 &&
                                       hl::find_window_by_text("Export to HTML Document") == 0; }));
    {
        std::ifstream page(m_dir + "/bookmark.htm");
        const std::string text((std::istreambuf_iterator<char>(page)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find(">Linked Site</a>"), std::string::npos);
        EXPECT_NE(text.find("<h2>Index</h2>"), std::string::npos);
    }

    // The imported sites are in the list.
    settle();
    EXPECT_NE(column(sites, kSiteList, 0).find("Listed Site"), std::string::npos) << column(sites, kSiteList, 0);
    shot("site-browse-after-imports");

    // The read-me viewer and its search.
    menu("HR");
    EXPECT_TRUE(tick_until([] { return hl::find_window_by_text("Using Sitekeeper") != 0 &&
                                       hl::find_window_by_text("Reading File") == 0; }));
    Window* viewer = window_up("Using Sitekeeper");
    ASSERT_NE(viewer, nullptr);
    EXPECT_GT(list_of(viewer, 1)->row_count(), 3u);
    EXPECT_FALSE(pd::is_enabled(viewer->control(4)->window()));  // Find Next
    shot("readme-viewer");
    click(viewer, 3);
    Window* search = window_up("Searching Text...");
    ASSERT_NE(search, nullptr);
    hl::type_text("export");
    settle();
    shot("search-dialog");
    click(search, 8);  // "Find"
    EXPECT_TRUE(window_gone("Searching Text..."));
    EXPECT_TRUE(pd::is_enabled(viewer->control(4)->window()));
    shot("readme-found");
    click(viewer, 5);
    EXPECT_TRUE(window_gone("Using Sitekeeper"));

    menu("HW");
    EXPECT_TRUE(tick_until([] { return hl::find_window_by_text("What's New") != 0 &&
                                       hl::find_window_by_text("Reading File") == 0; }));
    viewer = window_up("What's New");
    ASSERT_NE(viewer, nullptr);
    shot("whatsnew-viewer");
    click(viewer, 5);
    EXPECT_TRUE(window_gone("What's New"));

    menu("HA");
    ASSERT_TRUE(dialog_up("About"));
    shot("about");
    key(pd::kVkReturn);
    EXPECT_TRUE(window_gone("About"));

    menu("FP");
    ASSERT_TRUE(dialog_up("Print Setup"));
    shot("print-setup");
    key(pd::kVkEscape);
    EXPECT_TRUE(window_gone("Print Setup"));

    click(sites, kSiteClose);
    EXPECT_TRUE(window_gone("Browse Locations"));
    menu("FX");
    ASSERT_TRUE(wait_until([&] { return done.load(); }));
    EXPECT_EQ(sa::LINKDBUsers, 0);
    EXPECT_EQ(sa::CategoriesUsers, 0);
    EXPECT_EQ(sa::AsciiFileUsers, 0);
}

}  // namespace
