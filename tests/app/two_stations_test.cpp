// Two processes of the program on the same KSF files in one directory, each with
// its own headless display, driven by keys and clicks: the real frame, site list,
// category list and forms over the real KESTREL driver. The processes hand the
// turn to each other through a pipe; the child is forked before the test starts
// a thread or opens a file. At the end the ksf tool checks the files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "app/dictionary.h"
#include "app/main_frame.h"
#include "data/file_layer.h"
#include "platform/directory.h"
#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "platform/display/window.h"
#include "procedure_test_support.h"
#include "runtime/bind.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "support/platform_child.h"
#include "support/platform_temp_dir.h"
#include "ui/controls/choice_controls.h"
#include "ui/controls/list_control.h"
#include "ui/controls/variable.h"
#include "ui/engine.h"
#include "ui/message_box.h"
#include "ui/thread.h"
#include "ui/window.h"

namespace {

namespace sd = sk::data;
namespace ui = sk::ui;
namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;
namespace sa = sk::app;
using sk::app::test::settle;
using sk::app::test::wait_until;
using sk::test::PlatformChild;

// Site browse, site form, category browse.
constexpr std::int32_t kSiteList = 1, kSiteSheet = 2, kSelectCategory = 3, kSiteChange = 5, kSiteDelete = 6,
                       kSiteClose = 8;
constexpr std::int32_t kFormLocation = 3, kFormDescription = 5, kFormOk = 14, kFormCancel = 15;
constexpr std::int32_t kCatList = 1, kCatChange = 3, kCatDelete = 4, kCatClose = 7;
constexpr std::int32_t kCatFormCategory = 3, kCatFormOk = 8;

constexpr int kTurnMs = 15000;

// One process's side: its program, what its message boxes said, and whether
// every check held. In the child a failed check is written to standard error
// (its test state dies with it) and turns into a failing exit code.
class Station {
public:
    Station(std::string name, bool is_child, const std::string& directory)
        : m_name(std::move(name)), m_child(is_child), m_directory(directory) {}

    bool ok() const { return m_ok; }

    bool check(bool condition, const std::string& what) {
        if (condition) return true;
        m_ok = false;
        if (m_child) {
            std::fprintf(stderr, "[%s] %s\n", m_name.c_str(), what.c_str());
            std::fflush(stderr);
        } else {
            ADD_FAILURE() << "[" << m_name << "] " << what;
        }
        return false;
    }

    // The display, the engine and the program's globals, in the shared directory
    // with a configuration home of this station's own.
    bool prepare() {
        const std::string config = m_directory + "/config-" + m_name;
        ::mkdir(config.c_str(), 0700);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        if (!check(::chdir(m_directory.c_str()) == 0, "chdir")) return false;
        if (!pd::is_display_open() && !check(pd::open_display(pd::Backend::kHeadless, pd::Size{800, 600}), "display"))
            return false;
        if (!check(ui::initialise_engine(), "engine")) return false;
        sk::rt::set_runtime_errors_fatal(false);
        sa::start_program_globals();
        // The boxes are the real ones, answered by keys; what each said is kept.
        sk::rt::set_message_presenter([this](const sk::rt::MessageRequest& r) {
            {
                std::lock_guard<std::mutex> hold(m_boxes_mutex);
                m_boxes.push_back(std::string(r.caption) + "|" + std::string(r.text));
            }
            int style = 0;
            if (r.icon == sk::rt::kIconQuestion) style = ui::kBoxIconQuestion;
            if (r.icon == sk::rt::kIconExclamation) style = ui::kBoxIconExclamation;
            if (r.icon == sk::rt::kIconError) style = ui::kBoxIconStop;
            return ui::message_box(r.text, r.caption, {}, r.buttons, r.default_button, style);
        });
        return true;
    }

    // Main on a thread of its own, until the site list it opens shows rows.
    bool start_program() {
        m_done = false;
        m_main = ui::start([this] {
            sa::Main();
            m_done = true;
        });
        if (!check(m_main != 0, "Main did not start")) return false;
        if (!window_up("Browse Locations")) return false;
        return check(wait_until([&] { return list(sites(), kSiteList) && list(sites(), kSiteList)->row_count() > 0; }),
                     "the site list shows no rows");
    }

    // File, Exit with the site list still open: every window closes, every
    // thread ends and both files are closed.
    void quit() {
        menu('F', 'X');
        check(wait_until([&] { return m_done.load(); }), "File, Exit did not end Main");
        check(ui::wait_for_threads(), "procedure threads still running");
        check(sa::LINKDBUsers == 0 && sa::CategoriesUsers == 0,
              "files still held: " + std::to_string(sa::LINKDBUsers) + "/" + std::to_string(sa::CategoriesUsers));
        sk::rt::set_message_presenter({});
    }

    ui::Window* window_up(std::string_view caption) {
        if (!check(wait_until([&] { return hl::find_window_by_text(caption) != 0; }), "no window \"" + std::string(caption) + "\""))
            return nullptr;
        return ui::window_of_native(hl::find_window_by_text(caption));
    }
    bool gone(std::string_view caption) {
        return check(wait_until([&] { return hl::find_window_by_text(caption) == 0; }),
                     "\"" + std::string(caption) + "\" is still up");
    }
    ui::Window* sites() { return ui::window_of_native(hl::find_window_by_text("Browse Locations")); }

    static ui::ListControl* list(ui::Window* w, std::int32_t field) {
        return w ? dynamic_cast<ui::ListControl*>(w->control(field)) : nullptr;
    }
    // One column of a list's rows, blanks trimmed, joined by "|".
    static std::string column(ui::Window* w, std::int32_t field, std::size_t col) {
        return sk::app::test::list_column(list(w, field), col, "|", false);
    }

    void click(ui::Window* w, std::int32_t field) {
        ui::Control* c = w ? w->control(field) : nullptr;
        if (!check(c != nullptr, "no field " + std::to_string(field))) return;
        const pd::Rect r = pd::screen_rect(c->window());
        hl::click(pd::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        settle();
    }
    void click_tab(ui::Window* w, std::int32_t sheet_field, std::size_t tab) {
        auto* sheet = w ? dynamic_cast<ui::SheetControl*>(w->control(sheet_field)) : nullptr;
        if (!check(sheet != nullptr, "no sheet")) return;
        const pd::Rect r = sheet->tab_rect(tab);
        hl::click(pd::client_to_screen(sheet->window(), pd::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2}));
        settle();
    }
    static void key(std::uint32_t vk, std::uint32_t modifiers = 0) {
        hl::press_key(vk, modifiers);
        settle();
    }
    static std::uint32_t letter(char c) { return pd::kVkA + static_cast<std::uint32_t>(c - 'A'); }
    static void menu(char bar, char item) {
        key(letter(bar), pd::kModAlt);
        key(letter(item));
    }
    void retype(ui::Window* w, std::int32_t field, std::string_view text) {
        click(w, field);
        key(pd::kVkEnd);
        for (int i = 0; i < 130; ++i) hl::press_key(pd::kVkBack);
        hl::type_text(text);
        settle();
    }
    bool focus_in(ui::Window* w, std::int32_t field) {
        ui::Control* c = w ? w->control(field) : nullptr;
        return c != nullptr && pd::focus_window() == c->window();
    }

    // Waits for box number n (from 1) of this process and answers it by keys;
    // its "caption|text", or "" when none came.
    std::string answer_box(std::size_t n, std::initializer_list<std::uint32_t> keys) {
        const bool came = wait_until([&] {
            std::lock_guard<std::mutex> hold(m_boxes_mutex);
            return m_boxes.size() >= n;
        });
        if (!check(came, "message box " + std::to_string(n) + " never came")) return "";
        std::string box;
        {
            std::lock_guard<std::mutex> hold(m_boxes_mutex);
            box = m_boxes[n - 1];
        }
        const std::string caption = box.substr(0, box.find('|'));
        check(wait_until([&] { return hl::find_window_by_text(caption) != 0; }), "box \"" + caption + "\" not on screen");
        for (std::uint32_t k : keys) key(k);
        gone(caption);
        return box;
    }
    // Answers the boxes that come after the first n, until done() holds or
    // none comes: No where it offers to save again, OK elsewhere. How many.
    template <typename Done>
    std::size_t dismiss_boxes_after(std::size_t n, Done done) {
        std::size_t answered = n;
        while (answered < n + 4) {
            wait_until([&] { return done() || boxes().size() > answered; }, 3000);
            if (boxes().size() <= answered) break;
            const bool offers_again = boxes()[answered].rfind("Record Update Error|", 0) == 0;
            ++answered;
            if (offers_again) answer_box(answered, {pd::kVkLeft, pd::kVkReturn});
            else answer_box(answered, {pd::kVkReturn});
        }
        return answered - n;
    }
    std::vector<std::string> boxes() {
        std::lock_guard<std::mutex> hold(m_boxes_mutex);
        return m_boxes;
    }

    // Writes the seed records through the file layer, before any program runs.
    void seed(const std::vector<std::string>& categories, const std::vector<std::array<std::string, 3>>& sites) {
        sa::use_categories();
        sa::use_linkdb();
        for (const std::string& c : categories) {
            sa::set_fixed(sa::cat_record.category, c);
            check(sd::add(&sa::Categories) == 0, "seed category " + c);
        }
        for (const auto& s : sites) {
            std::memset(&sa::url_record, ' ', sizeof sa::url_record);
            std::memset(sa::url_record.rating, 0, sizeof sa::url_record.rating);
            sa::set_fixed(sa::url_record.location, s[0]);
            sa::set_fixed(sa::url_record.description, s[1]);
            sa::set_fixed(sa::url_record.category, s[2]);
            sa::set_fixed(sa::url_record.keyword, "kw");
            ui::set_variable_number(sk::rt::bound_decimal(sa::url_record.rating, 2, 0), 4);
            check(sd::add(&sa::LINKDB) == 0, "seed site " + s[0]);
        }
        sa::release_linkdb();
        sa::release_categories();
    }

private:
    std::string m_name;
    bool m_child;
    std::string m_directory;
    bool m_ok = true;
    std::atomic<bool> m_done{false};
    int m_main = 0;
    std::mutex m_boxes_mutex;
    std::vector<std::string> m_boxes;
};

// The output of a ksf command over a file of the directory, and its status.
std::string ksf(const std::string& command, const std::string& file, int* status) {
    const std::string line = std::string(SK_BINARY_DIR) + "/ksf " + command + " '" + file + "' 2>&1";
    std::string out;
    *status = -1;
    if (FILE* p = ::popen(line.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        const int rc = ::pclose(p);
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    return out;
}

std::string dump(const std::string& file) {
    int status = 0;
    std::string out = ksf("dump", file, &status);
    EXPECT_EQ(status, 0) << out;
    return out;
}

void expect_clean(const std::string& file) {
    int status = 0;
    const std::string out = ksf("check", file, &status);
    EXPECT_EQ(status, 0) << file << ":\n" << out;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class TwoStations : public ::testing::Test {
protected:
    void SetUp() override {
        // A station that has ended must fail the test, not kill it on the next signal.
        std::signal(SIGPIPE, SIG_IGN);
        ASSERT_EQ(::access((std::string(SK_BINARY_DIR) + "/ksf").c_str(), X_OK), 0)
            << "the ksf tool is not built in " << SK_BINARY_DIR;
    }
    void TearDown() override { ASSERT_EQ(::chdir("/"), 0); }

    sk::test::PlatformTempDir m_dir;
    // The stations' transaction control file (c:\kestrel.tcf) lies in the
    // state directory: one of this test's own, shared by both stations.
    sk::app::test::ScopedEnvironment m_state{"XDG_STATE_HOME", m_dir.path()};
};

// The child stores its description first; the parent's OK then meets the
// change: the standard message, then the offer to save again, which cannot
// overwrite either; the form stays open and nothing of the child's is lost.
TEST_F(TwoStations, TheSecondChangeOfOneSiteIsRefusedAndTheFirstKept) {
    const std::string mine = "Alpha as the parent wrote it";
    const std::string theirs = "Alpha as the child wrote it";
    PlatformChild child;
    ASSERT_TRUE(child.start([&](PlatformChild& self) {
        Station s("child", true, m_dir.path());
        if (!self.wait_signal(kTurnMs) || !s.prepare() || !s.start_program()) return 10;
        self.signal('r');
        // Both open the change form on the highlighted first site.
        s.click(s.sites(), kSiteChange);
        ui::Window* form = s.window_up("Changing a LINKDB Record");
        if (form == nullptr) return 11;
        self.signal('f');
        if (!self.wait_signal(kTurnMs)) return 12;
        s.retype(form, kFormDescription, theirs);
        s.click(form, kFormOk);
        s.gone("Changing a LINKDB Record");
        s.check(Station::column(s.sites(), kSiteList, 0).rfind(theirs, 0) == 0,
                "the child's list: " + Station::column(s.sites(), kSiteList, 0));
        s.check(s.boxes().empty(), "the child's change raised a box");
        self.signal('s');
        if (!self.wait_signal(kTurnMs)) return 13;
        s.quit();
        return s.ok() ? 0 : 1;
    }));

    Station s("parent", false, m_dir.path());
    ASSERT_TRUE(s.prepare());
    s.seed({"NEWS", "ART"}, {{"http://a.example/", "Alpha", "NEWS"},
                             {"http://b.example/", "Beta", "NEWS"},
                             {"http://c.example/", "Gamma", "ART"}});
    child.signal('g');
    ASSERT_TRUE(s.start_program());
    ASSERT_TRUE(child.wait_signal(kTurnMs));
    ASSERT_TRUE(child.wait_signal(kTurnMs));  // the child's form is open
    EXPECT_EQ(Station::column(s.sites(), kSiteList, 0), "Alpha|Beta|Gamma");
    s.click(s.sites(), kSiteChange);
    ui::Window* form = s.window_up("Changing a LINKDB Record");
    ASSERT_NE(form, nullptr);
    child.signal('o');
    ASSERT_TRUE(child.wait_signal(kTurnMs));  // the child's change is stored

    s.retype(form, kFormDescription, mine);
    s.click(form, kFormOk);
    const std::string changed = "Update Operation Error|This record was changed by another station.";
    const std::string again =
        "Record Update Error|An error was experienced changing this record.  Do you want to try to save again?";
    EXPECT_EQ(s.answer_box(1, {pd::kVkReturn}), changed);
    // Yes (two to the left of the default Cancel) saves again: still refused.
    EXPECT_EQ(s.answer_box(2, {pd::kVkLeft, pd::kVkLeft, pd::kVkReturn}), again);
    EXPECT_EQ(s.answer_box(3, {pd::kVkReturn}), changed);
    // Cancel, the default, goes back to the form with what was typed.
    EXPECT_EQ(s.answer_box(4, {pd::kVkReturn}), again);
    settle();
    EXPECT_EQ(s.boxes().size(), 4u);
    ASSERT_NE(hl::find_window_by_text("Changing a LINKDB Record"), 0u);
    EXPECT_EQ(sa::fixed_text(sa::url_record.description), mine);
    EXPECT_TRUE(s.focus_in(form, kFormLocation));
    {
        const std::string sites = dump(m_dir.file("LINKDB.KSF"));
        // The child's record as it stored it, every field.
        EXPECT_TRUE(contains(sites, "\"fields\":{\"URL:LOCATION\":\"http://a.example/\",\"URL:DESCRIPTION\":\"" +
                                        theirs + "\",\"URL:CATEGORY\":\"NEWS\",\"URL:RATING\":\"4\",\"URL:KEYWORD\":\"kw\"}"))
            << sites;
        EXPECT_FALSE(contains(sites, mine)) << sites;
    }

    // Leaving the form shows the stored version; a change started from it goes
    // through.
    s.click(form, kFormCancel);
    s.gone("Changing a LINKDB Record");
    EXPECT_EQ(Station::column(s.sites(), kSiteList, 0), "Alpha as the child wrote it|Beta|Gamma");
    // The highlighted row's key changed under it, so the highlight went to the
    // last row; Home takes it back to the first.
    Station::key(pd::kVkHome);
    EXPECT_EQ(Station::list(s.sites(), kSiteList)->selected(), 1u);
    s.click(s.sites(), kSiteChange);
    form = s.window_up("Changing a LINKDB Record");
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(sa::fixed_text(sa::url_record.description), theirs);
    s.retype(form, kFormDescription, mine);
    s.click(form, kFormOk);
    s.gone("Changing a LINKDB Record");
    EXPECT_EQ(s.boxes().size(), 4u);

    child.signal('q');
    s.quit();
    EXPECT_EQ(child.join(), 0);
    const std::string sites = dump(m_dir.file("LINKDB.KSF"));
    EXPECT_TRUE(contains(sites, "\"URL:DESCRIPTION\":\"" + mine + "\"")) << sites;
    EXPECT_TRUE(contains(sites, "\"URL:CATEGORY\":\"NEWS\"")) << sites;
    EXPECT_FALSE(contains(sites, theirs)) << sites;
    expect_clean(m_dir.file("LINKDB.KSF"));
    expect_clean(m_dir.file("CATEGORIES.KSF"));
}

// The parent lists the sites of NEWS under the "Category" tab while the child
// deletes NEWS with its sites. When its list gains the focus again, the parent
// shows what is left and goes on working; the files stay clean.
TEST_F(TwoStations, ACategoryDeletedElsewhereLeavesTheLimitedListWorking) {
    PlatformChild child;
    ASSERT_TRUE(child.start([&](PlatformChild& self) {
        Station s("child", true, m_dir.path());
        if (!self.wait_signal(kTurnMs) || !s.prepare() || !s.start_program()) return 10;
        self.signal('r');
        if (!self.wait_signal(kTurnMs)) return 11;
        // Browse, then "Categories" below "Locations".
        Station::key(Station::letter('B'), pd::kModAlt);
        Station::key(pd::kVkDown);
        Station::key(pd::kVkReturn);
        ui::Window* categories = s.window_up("Browse Categories");
        if (categories == nullptr) return 12;
        s.check(wait_until([&] { return Station::column(categories, kCatList, 0) == "ART|NEWS|TOOLS"; }),
                "categories: " + Station::column(categories, kCatList, 0));
        Station::key(pd::kVkDown);
        s.check(Station::list(categories, kCatList)->selected() == 2, "NEWS is not highlighted");
        s.click(categories, kCatDelete);
        // OK is to the left of the default Cancel.
        s.check(s.answer_box(1, {pd::kVkLeft, pd::kVkReturn}) ==
                    "Confirm Delete|You've selected to delete the highlighted record.  Press OK to confirm deletion of "
                    "this record.",
                "the confirmation");
        // Any box after the confirmation (a committed delete reported as failed)
        // is answered; their number goes back to the parent.
        const std::size_t extra =
            s.dismiss_boxes_after(1, [&] { return Station::column(categories, kCatList, 0) == "ART|TOOLS"; });
        s.check(Station::column(categories, kCatList, 0) == "ART|TOOLS",
                "categories after the delete: " + Station::column(categories, kCatList, 0));
        s.click(categories, kCatClose);
        s.gone("Browse Categories");
        self.signal(static_cast<char>('0' + extra));
        if (!self.wait_signal(kTurnMs)) return 13;
        s.quit();
        return s.ok() ? 0 : 1;
    }));

    Station s("parent", false, m_dir.path());
    ASSERT_TRUE(s.prepare());
    s.seed({"ART", "NEWS", "TOOLS"}, {{"http://n1.example/", "News One", "NEWS"},
                                      {"http://n2.example/", "News Two", "NEWS"},
                                      {"http://n3.example/", "News Three", "NEWS"},
                                      {"http://a1.example/", "Art One", "ART"},
                                      {"http://t1.example/", "Tool One", "TOOLS"}});
    child.signal('g');
    ASSERT_TRUE(s.start_program());
    ASSERT_TRUE(child.wait_signal(kTurnMs));

    ui::Window* sites = s.sites();
    s.click_tab(sites, kSiteSheet, 2);
    s.click(sites, kSelectCategory);
    ASSERT_NE(s.window_up("Select a Category"), nullptr);
    hl::type_text("n");
    settle();
    Station::key(pd::kVkReturn);
    s.gone("Select a Category");
    ASSERT_EQ(Station::column(sites, kSiteList, 1), "http://n1.example/|http://n2.example/|http://n3.example/");
    Station::key(pd::kVkDown);  // the highlight on a middle row
    child.signal('b');
    char extra = 0;
    ASSERT_TRUE(child.wait_signal(kTurnMs, &extra));  // NEWS and its sites are gone
    // The child's committed delete showed no box after its confirmation.
    EXPECT_EQ(extra, '0');

    // The list keeps its page until it refreshes. A second site list, opened
    // and closed again, takes the focus away and gives it back.
    EXPECT_EQ(Station::column(sites, kSiteList, 1), "http://n1.example/|http://n2.example/|http://n3.example/");
    Station::key(Station::letter('B'), pd::kModAlt);
    Station::key(pd::kVkReturn);
    ASSERT_TRUE(wait_until([&] { return ui::application_frame()->children().size() == 2; }));
    ui::Window* second = ui::application_frame()->children().front() == sites
                             ? ui::application_frame()->children().back()
                             : ui::application_frame()->children().front();
    EXPECT_TRUE(wait_until([&] { return Station::column(second, kSiteList, 0) == "Art One|Tool One"; }))
        << Station::column(second, kSiteList, 0);
    s.click(second, kSiteClose);
    ASSERT_TRUE(wait_until([&] { return ui::application_frame()->children().size() == 1; }));
    EXPECT_TRUE(wait_until([&] { return Station::list(sites, kSiteList)->row_count() == 0; }))
        << Station::column(sites, kSiteList, 1);
    EXPECT_FALSE(pd::is_enabled(sites->control(kSiteChange)->window()));
    EXPECT_FALSE(pd::is_enabled(sites->control(kSiteDelete)->window()));

    // It goes on working: the category list offers what is left.
    s.click(sites, kSelectCategory);
    ui::Window* select = s.window_up("Select a Category");
    ASSERT_NE(select, nullptr);
    EXPECT_EQ(Station::column(select, 1, 0), "ART|TOOLS");
    hl::type_text("t");
    settle();
    Station::key(pd::kVkReturn);
    s.gone("Select a Category");
    EXPECT_EQ(Station::column(sites, kSiteList, 1), "http://t1.example/");
    s.click_tab(sites, kSiteSheet, 0);
    EXPECT_EQ(Station::column(sites, kSiteList, 0), "Art One|Tool One");
    EXPECT_TRUE(s.boxes().empty()) << s.boxes().front();

    child.signal('q');
    s.quit();
    EXPECT_EQ(child.join(), 0);
    const std::string left = dump(m_dir.file("LINKDB.KSF"));
    EXPECT_FALSE(contains(left, "NEWS")) << left;
    EXPECT_TRUE(contains(left, "http://a1.example/") && contains(left, "http://t1.example/")) << left;
    const std::string category_dump = dump(m_dir.file("CATEGORIES.KSF"));
    EXPECT_FALSE(contains(category_dump, "NEWS")) << category_dump;
    expect_clean(m_dir.file("LINKDB.KSF"));
    // The two-file delete went through the transaction control file.
    expect_clean(sk::platform::native_name("c:\\kestrel.tcf"));
    EXPECT_EQ(sk::platform::native_name("c:\\kestrel.tcf"), m_dir.file("sitekeeper/kestrel.tcf"));
    expect_clean(m_dir.file("CATEGORIES.KSF"));
}

// The child deletes a site the parent's list still shows; the parent's change
// of that row must write over no other record: the row cannot be read back, so
// no form opens and the page is built again from what the file holds.
TEST_F(TwoStations, AChangeOfASiteDeletedElsewhereOverwritesNothing) {
    PlatformChild child;
    ASSERT_TRUE(child.start([&](PlatformChild& self) {
        Station s("child", true, m_dir.path());
        if (!self.wait_signal(kTurnMs) || !s.prepare() || !s.start_program()) return 10;
        Station::key(pd::kVkDown);
        Station::key(pd::kVkDelete);
        s.answer_box(1, {pd::kVkLeft, pd::kVkReturn});
        s.check(wait_until([&] { return Station::column(s.sites(), kSiteList, 0) == "Alpha|Gamma"; }),
                "the child's list: " + Station::column(s.sites(), kSiteList, 0));
        self.signal('d');
        if (!self.wait_signal(kTurnMs)) return 11;
        s.quit();
        return s.ok() && s.boxes().size() == 1 ? 0 : 1;
    }));

    Station s("parent", false, m_dir.path());
    ASSERT_TRUE(s.prepare());
    s.seed({"NEWS"}, {{"http://a.example/", "Alpha", "NEWS"},
                      {"http://b.example/", "Beta", "NEWS"},
                      {"http://c.example/", "Gamma", "NEWS"}});
    ASSERT_TRUE(s.start_program());
    child.signal('g');
    ASSERT_TRUE(child.wait_signal(kTurnMs));  // Beta is gone
    EXPECT_EQ(Station::column(s.sites(), kSiteList, 0), "Alpha|Beta|Gamma");
    Station::key(pd::kVkDown);
    s.click(s.sites(), kSiteChange);
    EXPECT_TRUE(wait_until([&] { return Station::column(s.sites(), kSiteList, 0) == "Alpha|Gamma"; }))
        << Station::column(s.sites(), kSiteList, 0);
    EXPECT_EQ(hl::find_window_by_text("Changing a LINKDB Record"), 0u);
    EXPECT_TRUE(s.boxes().empty()) << s.boxes().front();
    // A change of the row now highlighted goes through as usual.
    s.click(s.sites(), kSiteChange);
    ui::Window* form = s.window_up("Changing a LINKDB Record");
    ASSERT_NE(form, nullptr);
    s.click(form, kFormCancel);
    s.gone("Changing a LINKDB Record");

    child.signal('q');
    s.quit();
    EXPECT_EQ(child.join(), 0);
    const std::string sites = dump(m_dir.file("LINKDB.KSF"));
    EXPECT_TRUE(contains(sites, "\"URL:DESCRIPTION\":\"Alpha\"") && contains(sites, "\"URL:DESCRIPTION\":\"Gamma\""))
        << sites;
    EXPECT_FALSE(contains(sites, "Beta")) << sites;
    expect_clean(m_dir.file("LINKDB.KSF"));
}

// One process: a rename and a delete of a category, each one transaction over
// both files, are reported as done.
TEST_F(TwoStations, TwoFileChangesOfACategoryAreReportedAsDone) {
    Station s("alone", false, m_dir.path());
    ASSERT_TRUE(s.prepare());
    s.seed({"ART", "NEWS"}, {{"http://n1.example/", "News One", "NEWS"}, {"http://a1.example/", "Art One", "ART"}});
    ASSERT_TRUE(s.start_program());
    Station::key(Station::letter('B'), pd::kModAlt);
    Station::key(pd::kVkDown);
    Station::key(pd::kVkReturn);
    ui::Window* categories = s.window_up("Browse Categories");
    ASSERT_NE(categories, nullptr);
    ASSERT_TRUE(wait_until([&] { return Station::column(categories, kCatList, 0) == "ART|NEWS"; }));
    Station::key(pd::kVkDown);
    s.click(categories, kCatChange);
    ui::Window* form = s.window_up("Changing a Categories Record");
    ASSERT_NE(form, nullptr);
    s.retype(form, kCatFormCategory, "WORLD");
    s.click(form, kCatFormOk);
    EXPECT_EQ(s.dismiss_boxes_after(0, [] { return hl::find_window_by_text("Changing a Categories Record") == 0; }), 0u)
        << s.boxes().front();
    s.gone("Changing a Categories Record");
    EXPECT_TRUE(contains(dump(m_dir.file("LINKDB.KSF")), "\"URL:CATEGORY\":\"WORLD\""));
    const std::size_t before = s.boxes().size();
    ASSERT_TRUE(wait_until([&] { return Station::column(categories, kCatList, 0) == "ART|WORLD"; }))
        << Station::column(categories, kCatList, 0);
    Station::key(pd::kVkDown);
    s.click(categories, kCatDelete);
    s.answer_box(before + 1, {pd::kVkLeft, pd::kVkReturn});
    EXPECT_EQ(s.dismiss_boxes_after(before + 1, [&] { return Station::column(categories, kCatList, 0) == "ART"; }), 0u)
        << s.boxes().back();
    EXPECT_EQ(Station::column(categories, kCatList, 0), "ART");
    EXPECT_FALSE(contains(dump(m_dir.file("LINKDB.KSF")), "WORLD"));
    s.click(categories, kCatClose);
    s.gone("Browse Categories");
    s.quit();
}

}  // namespace
