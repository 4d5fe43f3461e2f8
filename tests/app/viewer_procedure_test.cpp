// ReadMe and WhatsNew on the headless display: loading a file of several
// batches on the progress window's ticks, cancelling the load, a read that fails
// part way, Find and Find Next with their settings and the wrap question, and
// Print to a saved PDF, through a stand-in spooler, and to a folder that cannot
// be written. A screenshot of the view window is left at /tmp/viewer-readme.png.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "app/dictionary.h"
#include "app/procedures.h"
#include "procedure_test_support.h"
#include "app/text_viewer.h"
#include "app/viewer_print.h"
#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "platform/display/window.h"
#include "platform/file.h"
#include "platform/print/print.h"
#include "platform/system_error.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "support/platform_temp_dir.h"
#include "ui/controls/list_control.h"
#include "ui/controls/static_controls.h"
#include "ui/engine.h"
#include "ui/thread.h"
#include "ui/window.h"

namespace {

namespace ui = sk::ui;
namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;
namespace pp = sk::platform::print;
using namespace sk::app;
using sk::app::test::frame_done;
using sk::app::test::run_frame;
using sk::app::test::settle;
using sk::app::test::wait_until;
using sk::test::platform_read_file;
using sk::test::platform_write_file;


int page_objects(const std::string& pdf) {
    int count = 0;
    const std::string marker = "/Type /Page";
    for (std::size_t at = pdf.find(marker); at != std::string::npos; at = pdf.find(marker, at + 1))
        if (at + marker.size() >= pdf.size() || pdf[at + marker.size()] != 's') ++count;
    return count;
}

class Viewer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sk::app::test::start_headless_engine());
        sk::rt::clear_error();
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);  // the text file and the positions file live here
        m_home = m_dir.file("home");
        ASSERT_EQ(::mkdir(m_home.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((m_home + "/Documents").c_str(), 0755), 0);
        if (const char* home = std::getenv("HOME")) m_saved_home = home;
        ::setenv("HOME", m_home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", m_dir.file("config").c_str(), 1);  // the positions file
        pp::set_spooler_commands(m_dir.file("no-lp"), m_dir.file("no-lpstat"));
        sk::rt::set_message_presenter([this](const sk::rt::MessageRequest& r) {
            boxes.push_back(std::string(r.caption) + "|" + std::string(r.text));
            if (answers.empty()) return int(sk::rt::kButtonOk);
            const int a = answers.front();
            answers.pop_front();
            return a;
        });
        frame_done = false;
        ASSERT_NE(ui::start(run_frame, 50000), 0);
        ASSERT_TRUE(wait_until([] { return ui::application_frame() != nullptr; }));
    }
    void TearDown() override {
        if (view() != nullptr) close_viewer();
        if (ui::application_frame() != nullptr) ui::application_frame()->post(ui::kEventCloseWindow);
        EXPECT_TRUE(wait_until([] { return frame_done.load(); }));
        EXPECT_TRUE(ui::wait_for_threads());
        sk::rt::set_message_presenter({});
        pp::set_spooler_commands("", "");
        ::unsetenv("XDG_CONFIG_HOME");
        if (m_saved_home.empty()) ::unsetenv("HOME");
        else ::setenv("HOME", m_saved_home.c_str(), 1);
        ASSERT_EQ(::chdir("/"), 0);
    }


    void write_text(const std::string& name, const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& l : lines) text += l + "\r\n";
        ASSERT_TRUE(platform_write_file(m_dir.file(name), text));
    }
    void start(void (*procedure)()) {
        m_done = false;
        m_thread = ui::start([this, procedure] {
            procedure();
            m_response = LastResponse;
            m_done = true;
        }, 25000);
        ASSERT_NE(m_thread, 0);
        ASSERT_TRUE(wait_until([this] { return top() != nullptr || m_done; }));
    }
    ui::Window* top() { return ui::thread_top_window(m_thread); }
    static bool has_label(ui::Window* w, std::string_view suffix) {
        return w != nullptr && w->label().size() >= suffix.size() &&
               w->label().compare(w->label().size() - suffix.size(), suffix.size(), suffix) == 0;
    }
    ui::Window* progress() { return has_label(top(), "$PROGRESSWINDOW") ? top() : nullptr; }
    ui::Window* dialog() { return has_label(top(), "$ASC1:SEARCHWINDOW") ? top() : nullptr; }
    ui::Window* view() {
        ui::Window* f = ui::application_frame();
        if (f == nullptr) return nullptr;
        for (ui::Window* c : f->children())
            if (has_label(c, "$VIEWWINDOW")) return c;
        return nullptr;
    }
    ui::ListControl* list() { return view() ? dynamic_cast<ui::ListControl*>(view()->control(1)) : nullptr; }
    std::string row(std::size_t r) {
        std::string cell = list()->rows().cell(r, 0);
        cell.erase(cell.find_last_not_of(' ') + 1);
        return cell;
    }
    std::string percent_text() {
        auto* t = dynamic_cast<ui::LabelControl*>(progress()->control(3));
        return t ? t->text() : "?";
    }
    // One tick of the progress window's timer, the lock given up so that the
    // procedure's thread can serve it.
    static void tick() {
        {
            ui::LockRelease unlocked;
            hl::advance_clock(10);
        }
        settle();
    }
    // Lets loading run to its end on the virtual clock.
    void finish_loading() {
        for (int i = 0; i < 200 && progress() != nullptr; ++i) tick();
        ASSERT_EQ(progress(), nullptr);
        ASSERT_NE(list(), nullptr);
    }
    void click(ui::Window* w, std::int32_t field) {
        ASSERT_NE(w, nullptr);
        ui::Control* c = w->control(field);
        ASSERT_NE(c, nullptr);
        const pd::Rect r = pd::screen_rect(c->window());
        hl::click(pd::Point{r.left + 4, (r.top + r.bottom) / 2});
        settle();
    }
    void close_viewer() {
        view()->post(ui::kEventAccepted, 5);
        ASSERT_TRUE(wait_until([this] { return m_done.load(); }));
    }

    // Find: the dialog filled in as the user would, then confirmed or cancelled.
    void find(const std::string& text, bool confirm = true) {
        view()->post(ui::kEventAccepted, 3);
        ASSERT_TRUE(wait_until([this] { return dialog() != nullptr; }));
        hl::type_text(text);
        settle();
        click(dialog(), confirm ? 8 : 9);
        ASSERT_TRUE(wait_until([this] { return dialog() == nullptr; }));
    }
    void find_next() {
        view()->post(ui::kEventAccepted, 4);
        settle();
    }
    bool find_next_enabled() { return pd::is_enabled(view()->control(4)->window()); }

    sk::test::PlatformTempDir m_dir;
    std::string m_home, m_saved_home;
    int m_thread = 0;
    std::atomic<bool> m_done{false};
    std::int32_t m_response = -1;
    std::vector<std::string> boxes;
    std::deque<int> answers;
};

std::vector<std::string> numbered(int n) {
    std::vector<std::string> lines;
    for (int i = 1; i <= n; ++i) lines.push_back("Line " + std::to_string(i) + " of the text, padded to forty.");
    return lines;
}

TEST_F(Viewer, LoadsInBatchesWithProgressAndKeepsEveryLine) {
    write_text("readme.jr", numbered(3000));  // about 132,000 bytes: seven batches
    start(ReadMe);
    ASSERT_TRUE(wait_until([this] { return progress() != nullptr; }));
    EXPECT_EQ(pd::window_text(progress()->handle()), "Reading File");
    EXPECT_EQ(percent_text(), "0% Completed");
    tick();
    ASSERT_NE(progress(), nullptr);
    const std::string after_one = percent_text();
    EXPECT_NE(after_one.find("% Completed ("), std::string::npos) << after_one;
    EXPECT_NE(after_one.find(") bytes"), std::string::npos) << after_one;
    EXPECT_LT(std::stoi(after_one), 30);
    finish_loading();
    ASSERT_EQ(list()->row_count(), 3000u);
    EXPECT_EQ(row(1), numbered(1)[0]);
    EXPECT_EQ(row(1777), numbered(1777)[1776]);
    EXPECT_EQ(row(3000), numbered(3000)[2999]);
    EXPECT_EQ(pd::window_text(view()->handle()), "Using Sitekeeper");
    EXPECT_FALSE(find_next_enabled());
    EXPECT_TRUE(boxes.empty());
    // The frame's own size is smaller than the viewer's: maximised, the whole window shows.
    pd::maximize_window(ui::application_frame()->handle());
    list()->set_selected(1777);
    settle();
    EXPECT_TRUE(hl::save_screenshot("/tmp/viewer-readme.png"));
    close_viewer();
    EXPECT_EQ(m_response, ResponseCancelled);
    EXPECT_NE(platform_read_file(m_dir.file("config/sitekeeper/LKDB32.INI")).find("[ReadMe]"), std::string::npos);
}

TEST_F(Viewer, CancelAsksAndKeepsTheLinesReadSoFar) {
    write_text("whatsnew.jr", numbered(3000));
    start(WhatsNew);
    ASSERT_TRUE(wait_until([this] { return progress() != nullptr; }));
    tick();
    // Answered Cancel: loading goes on.
    answers = {sk::rt::kButtonCancel};
    progress()->post(ui::kEventAccepted, 4);
    settle();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Are you certain you want to stop loading whatsnew.jr"), std::string::npos) << boxes[0];
    ASSERT_NE(progress(), nullptr);
    tick();
    // Answered OK: the window closes with two batches' lines.
    answers = {sk::rt::kButtonOk};
    progress()->post(ui::kEventAccepted, 4);
    ASSERT_TRUE(wait_until([this] { return progress() == nullptr && list() != nullptr; }));
    const std::size_t kept = list()->row_count();
    EXPECT_GE(kept, 2 * 20000u / 45);
    EXPECT_LT(kept, 3000u / 2);
    EXPECT_EQ(row(kept), numbered(int(kept))[kept - 1]);  // the lines in order, none lost or doubled
    EXPECT_EQ(pd::window_text(view()->handle()), "What's New");
}

TEST_F(Viewer, ReadErrorIsToldOnceLoadingHasEndedAndTheLinesBeforeItStay) {
    // Long lines keep the part read before the failure short.
    std::vector<std::string> lines = numbered(1000);
    for (std::string& l : lines) l += std::string(160, '-');
    write_text("readme.jr", lines);
    // The disk fails under the second half of the file.
    struct ReadFault {
        ReadFault() {
            sk::platform::set_file_read_fault_hook(
                [](const std::string& path, std::uint64_t offset, void*) {
                    return path.ends_with("readme.jr") && offset >= 70000 ? int(sk::platform::kErrReadFault) : 0;
                },
                nullptr);
        }
        ~ReadFault() { sk::platform::set_file_read_fault_hook(nullptr, nullptr); }
    } fault;
    bool progress_up_at_box = false;
    sk::rt::set_message_presenter([&](const sk::rt::MessageRequest& r) {
        progress_up_at_box = progress_up_at_box || hl::find_window_by_text("Reading File") != 0;
        boxes.push_back(std::string(r.caption) + "|" + std::string(r.text));
        return int(sk::rt::kButtonOk);
    });
    start(ReadMe);
    ASSERT_TRUE(wait_until([this] { return progress() != nullptr; }));
    finish_loading();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "File Load Error|readme.jr File Load Error.  Error: Read Fault (330).");
    EXPECT_FALSE(progress_up_at_box);
    const std::size_t kept = list()->row_count();
    EXPECT_GT(kept, 100u);
    EXPECT_LT(kept, 1000u);
    EXPECT_EQ(row(1), lines[0]);
    EXPECT_EQ(row(kept), lines[kept - 1]);
    EXPECT_TRUE(pd::is_enabled(list()->window()));
    // The window stays, and a later gain of focus does not load or tell it again.
    ASSERT_NE(view(), nullptr);
    view()->post(ui::kEventGainFocus);
    settle();
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(list()->row_count(), kept);
}

TEST_F(Viewer, MissingAndEmptyFilesLeaveAnEmptyDisabledList) {
    set_shipped_text_directory("");  // not even the copy next to the program
    start(ReadMe);
    ASSERT_TRUE(wait_until([this] { return list() != nullptr; }));
    EXPECT_EQ(list()->row_count(), 0u);
    EXPECT_FALSE(pd::is_enabled(list()->window()));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("readme.jr"), std::string::npos) << boxes[0];
    close_viewer();

    boxes.clear();
    write_text("readme.jr", {});
    start(ReadMe);
    ASSERT_TRUE(wait_until([this] { return list() != nullptr; }));
    EXPECT_EQ(list()->row_count(), 0u);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("contains no text"), std::string::npos) << boxes[0];
    set_shipped_text_directory(std::nullopt);
}

TEST_F(Viewer, FindWholeWordMatchCaseBothWaysAndTheWrapQuestion) {
    write_text("readme.jr", {"dog", "cats", "concat", "the cat sat", "THE CAT", "a bird"});
    start(ReadMe);
    finish_loading();
    ASSERT_EQ(list()->selected(), 1u);

    // Whole word, any case, down: only whole words count, capitals find lower case.
    view()->post(ui::kEventAccepted, 3);
    ASSERT_TRUE(wait_until([this] { return dialog() != nullptr; }));
    hl::type_text("CAT");
    click(dialog(), 3);  // Match Whole Word Only
    click(dialog(), 8);
    ASSERT_TRUE(wait_until([this] { return dialog() == nullptr; }));
    EXPECT_EQ(list()->selected(), 4u);
    EXPECT_TRUE(find_next_enabled());
    find_next();
    EXPECT_EQ(list()->selected(), 5u);
    // Off the end: asked, and Yes goes on from the first line.
    answers = {sk::rt::kButtonYes};
    find_next();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("The end of the viewed file was encountered."), std::string::npos) << boxes[0];
    EXPECT_EQ(list()->selected(), 4u);

    // Match case, up, settings kept from the last search: "cat" now only in line 4.
    view()->post(ui::kEventAccepted, 3);
    ASSERT_TRUE(wait_until([this] { return dialog() != nullptr; }));
    hl::type_text("cat");
    click(dialog(), 4);  // Match Case
    click(dialog(), 6);  // Up
    // From line 4 up there is none: asked at the beginning; No leaves the selection.
    answers = {sk::rt::kButtonNo};
    click(dialog(), 8);
    ASSERT_TRUE(wait_until([this] { return dialog() == nullptr; }));
    EXPECT_TRUE(answers.empty());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[1].find("The beginning of the viewed file was encountered."), std::string::npos) << boxes[1];
    EXPECT_EQ(list()->selected(), 4u);
    answers = {sk::rt::kButtonYes};
    find_next();
    EXPECT_EQ(list()->selected(), 4u);  // round from the end, back to the only match
    EXPECT_EQ(boxes.size(), 3u);
    EXPECT_TRUE(answers.empty());

    // Without whole word "cat" is found inside "concat" going up from line 4.
    view()->post(ui::kEventAccepted, 3);
    ASSERT_TRUE(wait_until([this] { return dialog() != nullptr; }));
    hl::type_text("cat");
    click(dialog(), 3);  // whole word off again
    click(dialog(), 8);
    ASSERT_TRUE(wait_until([this] { return dialog() == nullptr; }));
    EXPECT_EQ(list()->selected(), 3u);

    // A cancelled dialog disables Find Next, though a search was made before.
    find("dog", false);
    EXPECT_FALSE(find_next_enabled());
    EXPECT_EQ(list()->selected(), 3u);
}

class ViewerPrint : public Viewer {
protected:
    std::vector<std::string> m_lines = numbered(130);
    // The pages the document should have, from the report's own layout.
    std::size_t expected_pages() {
        ui::Window report(ui::WindowType::kReport, "LKDB32$lkdb3024", "README$ASC1:REPORT");
        EXPECT_TRUE(report.open());
        const pp::PageSetup setup = viewer_page_setup(&report.definition(), "readme.jr");
        report.close();
        return pp::layout_pages(m_lines, setup).size();
    }
    void load() {
        write_text("readme.jr", m_lines);
        start(ReadMe);
        finish_loading();
        ASSERT_EQ(list()->row_count(), m_lines.size());
    }
    void print() {
        view()->post(ui::kEventAccepted, 2);
        settle();
    }
    std::string script(const std::string& name, const std::string& body) {
        const std::string path = m_dir.file(name);
        EXPECT_TRUE(platform_write_file(path, "#!/bin/sh\n" + body));
        EXPECT_EQ(::chmod(path.c_str(), 0755), 0);
        return path;
    }
};

TEST_F(ViewerPrint, WithoutAPrinterTheDocumentIsSavedAndNamedInABox) {
    const std::size_t pages = expected_pages();
    ASSERT_GE(pages, 2u);
    load();
    print();
    const std::string saved = m_home + "/Documents/readme.pdf";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Print|No printer is set up. The text was saved as " + saved + ".");
    EXPECT_EQ(page_objects(platform_read_file(saved)), int(pages));
    // A second print does not replace the first document.
    print();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[1].find(m_home + "/Documents/readme-2.pdf"), std::string::npos) << boxes[1];
    EXPECT_EQ(page_objects(platform_read_file(m_home + "/Documents/readme-2.pdf")), int(pages));
}

TEST_F(ViewerPrint, UnwritableDestinationIsReported) {
    load();
    ::setenv("HOME", m_dir.file("gone/away").c_str(), 1);
    print();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Print Error|The text could not be printed. The file ", 0), 0u) << boxes[0];
    EXPECT_NE(boxes[0].find("gone/away/readme.pdf"), std::string::npos) << boxes[0];
}

TEST_F(ViewerPrint, WithAPrinterTheDocumentGoesToTheSpooler) {
    const std::size_t pages = expected_pages();
    load();
    const std::string copy = m_dir.file("spooled.pdf");
    const std::string lpstat = script("lpstat", "echo 'system default destination: Office'\n");
    // The stand-in spooler keeps a copy of the file it is given (its last argument).
    pp::set_spooler_commands(script("lp", "for a; do last=$a; done\ncp \"$last\" '" + copy + "'\necho \"$2\" > '" +
                                              m_dir.file("title") + "'\n"),
                             lpstat);
    print();
    EXPECT_TRUE(boxes.empty()) << boxes[0];
    EXPECT_EQ(page_objects(platform_read_file(copy)), int(pages));
    EXPECT_EQ(platform_read_file(m_dir.file("title")), "readme.jr\n");
    EXPECT_FALSE(pd::is_enabled(view()->control(4)->window()));  // printing left the window as it was

    // A spooler that refuses: the user is told why.
    pp::set_spooler_commands(script("lp-bad", "echo 'lp: Error - The printer or class does not exist.' >&2\nexit 1\n"),
                             lpstat);
    print();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("The printer or class does not exist."), std::string::npos) << boxes[0];
}

}  // namespace
