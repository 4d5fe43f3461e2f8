// The export and the three imports as the user runs them on the headless
// display: the Export window, the file dialogs, the category selects and the
// progress windows driven tick by tick on the virtual clock, over the in-memory
// site and category files. Screenshots: /tmp/transfer-export-window.png and
// /tmp/transfer-progress-window.png.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/import_html.h"
#include "app/progress_window.h"
#include "app/procedures.h"
#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "platform/display/window.h"
#include "platform/file.h"
#include "platform/profile.h"
#include "ui/controls/entry_control.h"
#include "ui/controls/static_controls.h"
#include "ui/engine.h"
#include "ui/thread.h"
#include "ui/window.h"
#include "transfer_fixture.h"

namespace {

using namespace transfer_test;
namespace ui = sk::ui;
namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;

// Export window and progress window controls.
constexpr std::int32_t kEntry = 5, kBrowse = 6, kOk = 7, kCancel = 8;
constexpr std::int32_t kThermometer = 1, kPercentText = 3, kProgressCancel = 4;

class TransferProcedures : public TransferTest {
protected:
    void SetUp() override
    {
        if (!pd::is_display_open()) {
            ASSERT_TRUE(pd::open_display(pd::Backend::kHeadless, pd::Size{800, 600}));
        }
        ASSERT_TRUE(ui::initialise_engine());
        sk::rt::set_runtime_errors_fatal(false);
        // The engine shows messages in boxes; here they are recorded and answered.
        sk::rt::set_message_presenter([this](const sk::rt::MessageRequest& request) {
            m_messages.push_back({std::string(request.caption), std::string(request.text)});
            return m_answer;
        });
        ::setenv("XDG_CONFIG_HOME", m_dir.path().c_str(), 1);  // the positions file
        ASSERT_TRUE(sk::platform::set_current_directory(m_dir.path()));
        sa::set_fixed(sa::ProgramDirectory, m_dir.path());
        sa::set_fixed(sa::LastDirectory, m_dir.path());
    }
    void TearDown() override
    {
        EXPECT_TRUE(ui::wait_for_threads());
        sk::platform::set_current_directory("/");
        ::unsetenv("XDG_CONFIG_HOME");
    }

    void start(void (*procedure)())
    {
        m_response = -1;
        m_thread = ui::start([this, procedure] {
            procedure();
            m_response = sa::LastResponse;
        }, 25000);  // the menu's stack size for these procedures
        ASSERT_NE(m_thread, 0);
    }
    bool finished() { return wait_until([this] { return m_response != -1; }); }
    ui::Window* window() { return ui::thread_top_window(m_thread); }
    std::string window_label()
    {
        ui::Window* w = window();
        return w ? w->label() : std::string();
    }
    bool window_is(const std::string& label)
    {
        return wait_until([&] { return window_label() == label; });
    }

    template <typename Done>
    static bool wait_until(Done done, int timeout_ms = 8000)
    {
        for (int waited = 0; !done(); waited += 2) {
            if (waited >= timeout_ms)
                return false;
            ui::LockRelease unlocked;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ui::LockRelease unlocked;
        hl::wait_until_idle(5000);
        return true;
    }
    // One tick of the progress window's timer (a hundredth of a second).
    static void tick()
    {
        ui::LockRelease unlocked;
        hl::advance_clock(10);
        hl::wait_until_idle(5000);
    }
    // Ticks until the procedure has ended; the number of ticks it took.
    int tick_to_end(int limit = 200)
    {
        int ticks = 0;
        while (m_response == -1 && ticks < limit) {
            tick();
            ++ticks;
        }
        EXPECT_TRUE(finished());
        return ticks;
    }

    void click(std::int32_t field)
    {
        ui::Control* c = window()->control(field);
        ASSERT_NE(c, nullptr) << field;
        const pd::Rect r = pd::screen_rect(c->window());
        hl::click(pd::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        wait_until([] { return true; });
    }
    // Answers the file dialog titled title with path, or cancels it (empty path).
    void answer_file_dialog(std::string_view title, const std::string& path)
    {
        ASSERT_TRUE(wait_until([&] { return hl::find_window_by_text(title) != 0; })) << title;
        if (path.empty()) {
            hl::press_key(pd::kVkEscape);
        } else {
            hl::press_key(pd::kVkEnd);
            for (int i = 0; i < 300; ++i)
                hl::press_key(pd::kVkBack);
            hl::type_text(path);
            hl::press_key(pd::kVkReturn);
        }
        ASSERT_TRUE(wait_until([&] { return hl::find_window_by_text(title) == 0; })) << title;
    }
    std::string entry_text()
    {
        auto* entry = dynamic_cast<ui::EntryControl*>(window()->control(kEntry));
        return entry ? entry->text() : "?";
    }
    std::string percent_text()
    {
        auto* label = dynamic_cast<ui::LabelControl*>(window()->control(kPercentText));
        return label ? label->text() : "?";
    }
    double thermometer()
    {
        auto* bar = dynamic_cast<ui::ProgressControl*>(window()->control(kThermometer));
        return bar ? bar->value() : -1;
    }

    void add_sites(int count)
    {
        const char* categories[] = {"ART", "NEWS", "TOOLS"};
        for (int i = 0; i < count; ++i) {
            const std::string n = std::to_string(100 + i);
            add_site("http://s" + n + ".example/", "Site " + n, categories[i % 3], i % 10, i % 2 ? "notes " + n : "");
        }
    }
    // The page the export logic writes on its own for the same sites.
    std::string page_written_directly()
    {
        const std::string direct = m_dir.file("direct.htm");
        const std::string saved = sa::fixed_text(sa::ExportFileName);
        sa::set_fixed(sa::ExportFileName, direct);
        sa::HtmlExport exporter;
        exporter.run_to_end();
        sa::set_fixed(sa::ExportFileName, saved);
        return sk::test::platform_read_file(direct);
    }
    std::vector<std::string> locations_of(const std::vector<Site>& list)
    {
        std::vector<std::string> out;
        for (const Site& s : list)
            out.push_back(s.location + "|" + s.category + "|" + s.keyword);
        return out;
    }

    int m_thread = 0;
    std::atomic<int> m_response{-1};
};

std::size_t count_of(const std::string& text, std::string_view what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// ---------------------------------------------------------------------------
// Export.

TEST_F(TransferProcedures, ExportWritesThePageInTimerBatchesAndReportsCompletion)
{
    add_sites(60);
    const std::string expected = page_written_directly();
    start(&sa::Export);
    ASSERT_TRUE(window_is("EXPORT$WINDOW"));
    EXPECT_EQ(pd::window_text(window()->handle()), "Export to HTML Document");
    EXPECT_EQ(entry_text(), m_path);
    ASSERT_TRUE(hl::save_screenshot("/tmp/transfer-export-window.png"));

    click(kOk);
    ASSERT_TRUE(window_is("EXPORTHTMLALL$PROGRESSWINDOW"));
    EXPECT_EQ(pd::window_text(window()->handle()), "Processing Records");
    EXPECT_EQ(sa::LINKDBUsers, 1);
    EXPECT_EQ(sa::AsciiFileUsers, 1);
    // One batch of 25 sites: the thermometer and its text move, the page is not done.
    tick();
    ASSERT_EQ(window_label(), "EXPORTHTMLALL$PROGRESSWINDOW");
    EXPECT_GT(thermometer(), 0);
    EXPECT_LT(thermometer(), 100);
    EXPECT_EQ(percent_text(), sa::percent_completed_text(static_cast<int>(thermometer())));
    ASSERT_TRUE(hl::save_screenshot("/tmp/transfer-progress-window.png"));

    EXPECT_LE(tick_to_end(), 3);  // 60 sites: three batches in all
    EXPECT_EQ(m_response, sa::ResponseDone);
    EXPECT_EQ(output(), expected);
    EXPECT_EQ(count_of(output(), "<tr><td><li>"), 60u);
    EXPECT_EQ(count_of(output(), "<li><a href=\"#URL"), 3u);
    EXPECT_TRUE(m_messages.empty());
    // The window's place is kept; the directories are as they were.
    EXPECT_NE(sk::platform::read_profile_string("LKDB32.INI", "Export", "XPosit", "<none>"), "<none>");
    EXPECT_EQ(sk::platform::current_directory(), m_dir.path());
    EXPECT_EQ(sa::fixed_text(sa::LastDirectory), m_dir.path());
}

TEST_F(TransferProcedures, ExportCancelledPartWayClosesThePageAndTouchesNoSite)
{
    add_sites(90);
    start(&sa::Export);
    ASSERT_TRUE(window_is("EXPORT$WINDOW"));
    click(kOk);
    ASSERT_TRUE(window_is("EXPORTHTMLALL$PROGRESSWINDOW"));
    tick();
    click(kProgressCancel);
    ASSERT_TRUE(finished());
    EXPECT_EQ(m_response, sa::ResponseCancelled);
    const std::string page = output();
    const std::size_t rows = count_of(page, "<tr><td><li>");
    EXPECT_GE(rows, 25u);
    EXPECT_LT(rows, 90u);
    // Well formed: every table closed, the index of the sections written, the footer.
    EXPECT_EQ(count_of(page, "<div align=left>"), count_of(page, "</ul></table></div>"));
    EXPECT_EQ(count_of(page, "<li><a href=\"#URL"), count_of(page, "<h3><a name=\"URL"));
    EXPECT_NE(page.find("<h2>Index</h2></a><ul>"), std::string::npos);
    EXPECT_EQ(page.substr(page.size() - 16), "</body></html>\r\n");
    EXPECT_EQ(sites().size(), 90u);
}

TEST_F(TransferProcedures, FileDialogButtonFillsTheEntryWithTheWholeChosenPath)
{
    add_sites(2);
    // Longer than the entry shows and than the dialog's start-name buffer: the
    // whole path must survive both.
    const std::string folder = m_dir.file("a-folder-with-a-rather-long-name-indeed");
    std::filesystem::create_directories(folder);
    const std::string chosen = folder + "/chosen-export-page.htm";
    ASSERT_GT(chosen.size(), 79u);
    ASSERT_TRUE(sk::test::platform_write_file(chosen, "old contents"));
    // A path longer than ExportFileName holds is refused rather than cut.
    // The dialog opens in the folder of the entry's name; the name typed there is
    // short enough for the dialog, the full path it gives is not.
    const std::string too_long = std::string(120, 'd') + "/" + std::string(120, 'e') + "/x.htm";
    std::filesystem::create_directories(m_dir.file(too_long.substr(0, 241)));
    ASSERT_TRUE(sk::test::platform_write_file(m_dir.file(too_long), "x"));
    start(&sa::Export);
    ASSERT_TRUE(window_is("EXPORT$WINDOW"));
    click(kBrowse);
    answer_file_dialog("Choose a File", too_long);
    EXPECT_EQ(sa::fixed_text(sa::ExportFileName), m_path);
    click(kBrowse);
    answer_file_dialog("Choose a File", chosen);
    EXPECT_EQ(sa::fixed_text(sa::ExportFileName), chosen);
    EXPECT_EQ(entry_text(), chosen);
    // Passing through the entry stores what it shows back.
    click(kEntry);
    click(kOk);
    ASSERT_TRUE(window_is("EXPORTHTMLALL$PROGRESSWINDOW"));
    tick_to_end();
    EXPECT_EQ(m_response, sa::ResponseDone);
    EXPECT_EQ(sa::fixed_text(sa::ExportFileName), chosen);
    EXPECT_NE(sk::test::platform_read_file(chosen).find("http://s101.example/"), std::string::npos);
    // The dialog moved the current directory; leaving the window puts it back.
    EXPECT_EQ(sa::fixed_text(sa::LastDirectory), folder);
    EXPECT_EQ(sk::platform::current_directory(), m_dir.path());
}

TEST_F(TransferProcedures, ExportCancelButtonWritesNothing)
{
    add_sites(2);
    start(&sa::Export);
    ASSERT_TRUE(window_is("EXPORT$WINDOW"));
    click(kCancel);
    ASSERT_TRUE(finished());
    EXPECT_EQ(m_response, sa::ResponseCancelled);
    EXPECT_FALSE(std::filesystem::exists(m_path));
}

// LINKDB refusing to take an order, so that no view opens over it.
int orderless_kestrel(int op, sd::FileControlBlock* file, sd::OperationArgs* args)
{
    if (file == &sa::LINKDB && (op == sd::kOpSet || op == sd::kOpSetKey)) {
        sd::post_file_error(file, sk::rt::kAccessDenied);
        return -1;
    }
    return kestrel_entry(op, file, args);
}

// A view that cannot be opened is told, and the first fetch from it fails as a
// read that is not the end of the data: told as well, and the page is closed off
// without a section.
TEST_F(TransferProcedures, ExportWhoseViewWillNotOpenTellsBothAndClosesThePage)
{
    add_sites(3);
    sa::install_file_driver(sa::kKestrelDriver, &orderless_kestrel);
    start(&sa::Export);
    ASSERT_TRUE(window_is("EXPORT$WINDOW"));
    click(kOk);
    ASSERT_TRUE(finished());
    sa::install_file_driver(sa::kKestrelDriver, &kestrel_entry);
    EXPECT_EQ(m_response, sa::ResponseCancelled);
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[0].caption, "View Open Error");
    EXPECT_EQ(m_messages[1].caption, "Record Retrieval Error");
    EXPECT_EQ(m_messages[1].text.rfind("Error: (File Not Open (37)) attempting to access a record from the LINKDB file.", 0),
              0u)
        << m_messages[1].text;
    const std::string page = output();
    EXPECT_EQ(count_of(page, "<tr><td><li>"), 0u);
    EXPECT_EQ(count_of(page, "<div align=left>"), 0u);
    EXPECT_NE(page.find("Jump to Index</a></h6>\r\n</ul>\r\n<br><hr>\r\n"), std::string::npos) << page;
    EXPECT_TRUE(page.ends_with("</body></html>\r\n"));
    EXPECT_EQ(sites().size(), 3u);
}

// The transfers share one text file: one started while another holds it is turned
// away with a box and touches nothing; once the first is over the next one runs.
// (The transfers' windows are modal, so the menu cannot start a second one; the
// slot keeps it so whatever starts them.)
TEST_F(TransferProcedures, SecondTransferWaitsItsTurn)
{
    {
        const sa::TransferSlot first;
        ASSERT_TRUE(first.held());
        start(&sa::ImportHTML);
        ASSERT_TRUE(wait_until([] { return hl::find_window_by_text("Transfer Running") != 0; }));
        EXPECT_EQ(hl::find_window_by_text(sa::kImportDialogTitle), 0u);  // no file dialog
        hl::press_key(pd::kVkReturn);
        ASSERT_TRUE(finished());
        EXPECT_EQ(m_response, sa::ResponseCancelled);
        EXPECT_EQ(sa::AsciiFileUsers, 0);
    }
    start(&sa::ImportOther);
    answer_file_dialog(sa::kImportDialogTitle, "");
    ASSERT_TRUE(finished());
    EXPECT_EQ(hl::find_window_by_text("Transfer Running"), 0u);
}

// ---------------------------------------------------------------------------
// Imports.

const char* const kBookmarks =
    "<DL><p>\n"
    "<DT><H3 ADD_DATE=\"1\">Tools</H3>\n"
    "<DT><A HREF=\"http://tools.example/\">Tool box</A>\n"
    "<DT><A HREF=\"ftp://files.example/\">Files</A>\n"
    "<DT><H3 ADD_DATE=\"2\">News</H3>\n"
    "<DT><A HREF=\"http://news.example/\">Daily</A> <A HREF=\"relative.htm\">skipped</A>\n"
    "<DT><A HREF=\"http://kept.example/\">Already here</A>\n";

TEST_F(TransferProcedures, ImportHtmlWithBestGuessTakesTheHeadingsAsCategories)
{
    add_category("NEWS");
    add_site("http://kept.example/", "Kept", "NEWS");
    write_input(kBookmarks);
    start(&sa::ImportHTML);
    answer_file_dialog("Select File", m_path);
    ASSERT_TRUE(window_is("SELECTCATEGORY$QUICKWINDOW"));
    click(4);  // "Best &Guess"
    ASSERT_TRUE(window_is("IMPORTHTML$PROGRESSWINDOW"));
    EXPECT_EQ(pd::window_text(window()->handle()), "Processing Records");
    // The import reads through its own file; the export's stays closed.
    EXPECT_EQ(sa::ImportFileUsers, 1);
    EXPECT_EQ(sa::AsciiFileUsers, 0);
    tick_to_end();
    EXPECT_EQ(sa::ImportFileUsers, 0);
    EXPECT_EQ(m_response, sa::ResponseDone);
    EXPECT_EQ(locations_of(sites()), (std::vector<std::string>{"ftp://files.example/|Tools|ftp",
                                                               "http://kept.example/|NEWS|",
                                                               "http://news.example/|News|http",
                                                               "http://tools.example/|Tools|http"}));
    EXPECT_EQ(categories(), (std::vector<std::string>{"NEWS", "Tools"}));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(sa::fixed_text(sa::ExportFileName), m_path);
    EXPECT_EQ(sk::platform::current_directory(), m_dir.path());
}

TEST_F(TransferProcedures, ImportHtmlWithAChosenCategoryGivesItToEverySite)
{
    add_category("ART");
    write_input(kBookmarks);
    start(&sa::ImportHTML);
    answer_file_dialog("Select File", m_path);
    ASSERT_TRUE(window_is("SELECTCATEGORY$QUICKWINDOW"));
    click(3);  // "&Select" on the highlighted (only) category
    ASSERT_TRUE(window_is("IMPORTHTML$PROGRESSWINDOW"));
    tick_to_end();
    EXPECT_EQ(m_response, sa::ResponseDone);
    const std::vector<Site> added = sites();
    ASSERT_EQ(added.size(), 4u);
    for (const Site& s : added)
        EXPECT_EQ(s.category, "ART") << s.location;
    EXPECT_EQ(categories(), std::vector<std::string>{"ART"});
}

TEST_F(TransferProcedures, ImportOtherAddsEveryAddressOnceAsNew)
{
    write_input("see http://one.example/a and ftp://two.example/b, or http://one.example/a again\n"
                "nothing here\n"
                "HTTP://UPPER.example/ is no scheme; <a href=\"news://three.example/\">three</a>\n");
    start(&sa::ImportOther);
    answer_file_dialog("Select File", m_path);
    ASSERT_TRUE(window_is("IMPORTOTHER$PROGRESSWINDOW"));
    tick_to_end();
    EXPECT_EQ(m_response, sa::ResponseDone);
    EXPECT_EQ(locations_of(sites()), (std::vector<std::string>{"ftp://two.example/b|NEW|ftp",
                                                               "http://one.example/a|NEW|http",
                                                               "news://three.example/|NEW|news"}));
    EXPECT_TRUE(categories().empty());
}

TEST_F(TransferProcedures, ImportAsciiTakesTheCategoryPickedInTheSelect)
{
    add_category("LINKS");
    write_input("\"http://a.example/\",\"First\",\"some notes\"\n"
                "\"mail:me\",\"Second\"\n"
                "\"only one field\"\n"
                "\"http://a.example/\",\"Again\"\n");
    start(&sa::ImportASCII);
    answer_file_dialog("Select File", m_path);
    ASSERT_TRUE(window_is("SELECTCATEGORIES$QUICKWINDOW"));
    click(2);  // "&Select"
    ASSERT_TRUE(window_is("IMPORTASCII$PROGRESSWINDOW"));
    tick_to_end();
    EXPECT_EQ(m_response, sa::ResponseDone);
    const std::vector<Site> added = sites();
    EXPECT_EQ(locations_of(added), (std::vector<std::string>{"http://a.example/|LINKS|http", "mail:me|LINKS|?"}));
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[0].description, "First");
    EXPECT_EQ(added[0].memo, "some notes");
}

TEST_F(TransferProcedures, CancelledFileDialogImportsNothingAndRestoresTheDirectory)
{
    write_input("http://never.example/\n");
    const std::string elsewhere = m_dir.file("elsewhere");
    std::filesystem::create_directories(elsewhere);
    sa::set_fixed(sa::LastDirectory, elsewhere);
    for (void (*procedure)() : {&sa::ImportHTML, &sa::ImportOther, &sa::ImportASCII}) {
        start(procedure);
        answer_file_dialog("Select File", "");
        ASSERT_TRUE(finished());
        EXPECT_EQ(m_response, sa::ResponseCancelled);
        EXPECT_EQ(sk::platform::current_directory(), m_dir.path());
    }
    EXPECT_TRUE(sites().empty());
    // The dialogs that opened in the last directory hand it back as they leave it.
    EXPECT_EQ(sa::fixed_text(sa::LastDirectory), elsewhere);
}

TEST_F(TransferProcedures, AddErrorShowsTheStopBoxAndIgnoreGoesOn)
{
    write_input("http://a.example/ and http://b.example/\n");
    wrapper().fail_add_code = sk::rt::kAccessDenied;
    m_answer = sk::rt::kButtonIgnore;
    start(&sa::ImportOther);
    answer_file_dialog("Select File", m_path);
    ASSERT_TRUE(window_is("IMPORTOTHER$PROGRESSWINDOW"));
    tick_to_end();
    EXPECT_EQ(m_response, sa::ResponseDone);
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[0].caption, "Stop");
    EXPECT_EQ(m_messages[0].text, sk::rt::error_message(sk::rt::kAccessDenied) + " adding location");
    EXPECT_TRUE(sites().empty());
}

TEST_F(TransferProcedures, ImportCancelledPartWayKeepsWhatWasAdded)
{
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "line " + std::to_string(i) + " http://site" + std::to_string(i) + ".example/ padding padding\n";
    write_input(text);
    start(&sa::ImportOther);
    answer_file_dialog("Select File", m_path);
    ASSERT_TRUE(window_is("IMPORTOTHER$PROGRESSWINDOW"));
    tick();
    click(kProgressCancel);
    ASSERT_TRUE(finished());
    EXPECT_EQ(m_response, sa::ResponseCancelled);
    const std::size_t added = sites().size();
    EXPECT_GT(added, 0u);
    EXPECT_LT(added, 200u);
}

}  // namespace
