// The printer set-up: the rows it offers for what the spooler knows, the choice OK
// keeps and Cancel leaves alone, the profile it is kept in, and the dialog reached
// through a menu item's standard action with and without a frame. A screenshot
// for a look by eye: /tmp/print-setup.png.
#include <atomic>

#include "engine_test_support.h"
#include "platform/print/print.h"
#include "support/platform_temp_dir.h"
#include "ui/engine.h"
#include "ui/print_setup.h"

namespace sk::ui {
namespace {

using test::EngineTest;
namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;
namespace pp = sk::platform::print;
using sk::test::PlatformTempDir;
using sk::test::platform_read_file;
using sk::test::platform_write_script;

const char* kSource = R"(
module "TEST$printsetup"
window "PROC$PRINTING" {
  title "Printing"
  font "MS Sans Serif" 8 -1 -1
  at 10 10 200 100
  menubar {
    menu 0 "&File" {
      item -1 "&Print Setup ..." { action 16 }
    }
  }
}
)";

std::vector<std::string> captions(const PrintSetupModel& m) {
    std::vector<std::string> out;
    for (const PrintSetupEntry& e : m.entries()) out.push_back(e.caption);
    return out;
}

pp::SpoolerStatus office_spooler() {
    pp::SpoolerStatus s;
    s.installed = true;
    s.printers = {"Office", "Hall"};
    s.default_printer = "Office";
    return s;
}

TEST(PrintSetupModel, RowsFollowTheSpoolerAndTheSelectionTheCurrentChoice) {
    PrintSetupModel m(office_spooler(), {});
    EXPECT_EQ(captions(m), (std::vector<std::string>{"Default printer (Office)", "Office", "Hall", "Save as a PDF file"}));
    EXPECT_EQ(m.selected(), 0);
    m.select(2);
    EXPECT_NE(m.note().find("Hall"), std::string::npos) << m.note();
    m.paper = pp::PaperSize::kA4;
    EXPECT_EQ(m.choice().printer, "Hall");
    EXPECT_FALSE(m.choice().to_pdf_file);
    EXPECT_EQ(m.choice().paper, pp::PaperSize::kA4);
    m.select(99);  // held inside the rows
    EXPECT_EQ(m.selected(), 3);
    EXPECT_TRUE(m.choice().to_pdf_file);
    EXPECT_TRUE(m.choice().printer.empty());
    EXPECT_NE(m.note().find(pp::default_output_directory()), std::string::npos) << m.note();
    m.select(0);
    EXPECT_TRUE(m.choice().printer.empty());
    EXPECT_FALSE(m.choice().to_pdf_file);

    // The current choice is selected and keeps its paper; a printer that is gone
    // falls back to the default printer.
    EXPECT_EQ(PrintSetupModel(office_spooler(), {"Hall", false, pp::PaperSize::kA4}).selected(), 2);
    EXPECT_EQ(PrintSetupModel(office_spooler(), {"Hall", false, pp::PaperSize::kA4}).paper, pp::PaperSize::kA4);
    EXPECT_EQ(PrintSetupModel(office_spooler(), {"", true, pp::PaperSize::kLetter}).selected(), 3);
    EXPECT_EQ(PrintSetupModel(office_spooler(), {"Gone", false, pp::PaperSize::kLetter}).selected(), 0);

    // Printers but no default: no default row, and what printing does now is the PDF file.
    pp::SpoolerStatus no_default = office_spooler();
    no_default.default_printer.reset();
    PrintSetupModel nd(no_default, {});
    EXPECT_EQ(captions(nd), (std::vector<std::string>{"Office", "Hall", "Save as a PDF file"}));
    EXPECT_EQ(nd.selected(), 2);
}

TEST(PrintSetupModel, WithoutASpoolerOrPrintersOnlyThePdfFileIsOfferedAndTheNoteSaysWhy) {
    pp::SpoolerStatus none;
    none.printers = {"Stale"};  // never shown without a spooler
    PrintSetupModel m(none, {"Office", false, pp::PaperSize::kLetter});
    EXPECT_EQ(captions(m), std::vector<std::string>{"Save as a PDF file"});
    EXPECT_EQ(m.note().rfind("No print spooler is installed.", 0), 0u) << m.note();
    EXPECT_TRUE(m.choice().to_pdf_file);

    pp::SpoolerStatus empty;
    empty.installed = true;
    PrintSetupModel e(empty, {});
    EXPECT_EQ(e.entries().size(), 1u);
    EXPECT_EQ(e.note().rfind("No printer is set up.", 0), 0u) << e.note();
}

class PrintSetupTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(initialise_engine());
        static bool registered = false;
        if (!registered) test::register_source("print-setup-test", kSource);
        registered = true;
        m_log = m_dir.file("lp-args");
        m_lp = script("lp", "for a in \"$@\"; do echo \"$a\"; done > '" + m_log + "'\n");
        m_lpstat = script("lpstat",
                          "case \"$1\" in\n"
                          "-d) echo 'system default destination: Office';;\n"
                          "-e) printf 'Office\\nHall\\n';;\n"
                          "*) exit 1;;\n"
                          "esac\n");
        pp::set_spooler_commands(m_lp, m_lpstat);
        pp::set_printer_choice({});
    }
    void TearDown() override {
        EngineTest::TearDown();
        pp::set_spooler_commands("", "");
        pp::set_printer_choice({});
        keep_print_setup_in("");
    }
    std::string script(const std::string& name, const std::string& body) {
        EXPECT_TRUE(platform_write_script(m_dir.file(name), body)) << name;
        return m_dir.file(name);
    }

    // Opens the dialog on a procedure thread; the test answers it from here.
    void open_dialog() {
        m_answer = -1;
        start([this] { m_answer = print_setup_dialog() ? 1 : 0; });
        ASSERT_TRUE(wait_until([] { return hl::find_window_by_text("Print Setup") != 0; }));
    }
    int answer() {
        EXPECT_TRUE(wait_for_threads());
        EXPECT_EQ(hl::find_window_by_text("Print Setup"), 0u);
        return m_answer;
    }
    static void keys(std::initializer_list<std::uint32_t> vks) {
        for (std::uint32_t vk : vks) hl::press_key(vk);
    }

    PlatformTempDir m_dir;
    std::string m_log, m_lp, m_lpstat;
    std::atomic<int> m_answer{-1};
};

TEST_F(PrintSetupTest, ChoosingAPrinterAndOkSendsTheNextPrintThere) {
    open_dialog();
    ASSERT_TRUE(hl::save_screenshot("/tmp/print-setup.png"));
    // From the default printer down to "Hall", then A4 in the paper group.
    keys({pd::kVkDown, pd::kVkDown, pd::kVkTab, pd::kVkRight, pd::kVkReturn});
    EXPECT_EQ(answer(), 1);
    const pp::PrinterChoice c = pp::printer_choice();
    EXPECT_EQ(c.printer, "Hall");
    EXPECT_FALSE(c.to_pdf_file);
    EXPECT_EQ(c.paper, pp::PaperSize::kA4);
    ASSERT_FALSE(pp::print_lines({"a line"}, pp::PageSetup{}).has_value());
    EXPECT_EQ(platform_read_file(m_log).rfind("-d\nHall\n", 0), 0u) << platform_read_file(m_log);
}

TEST_F(PrintSetupTest, ClicksChooseARowThePaperAndPressOk) {
    pd::FontSpec spec;
    const int h = pd::open_font(spec)->metrics().height;
    open_dialog();
    const WindowId dialog = hl::find_window_by_text("Print Setup");
    const auto at = [&](int x, int y) { return pd::client_to_screen(dialog, pd::Point{x, y}); };
    const int list_top = 6 + h + 6, row = h + 3;
    hl::click(at(40, list_top + 2 + 2 * row + row / 2));  // "Hall"
    settle();
    // The paper row sits below the printer group; A4 is its second option.
    const int paper_top = list_top + 6 * row + 4 + 6 + 2 * h + 8 + 8;
    hl::click(at(18 + 90 + 16 + 20, paper_top + h + 4 + (h + 6) / 2));
    settle();
    hl::click(at(8 + 280 + 12 + 37, list_top + 11));  // OK
    EXPECT_EQ(answer(), 1);
    EXPECT_EQ(pp::printer_choice().printer, "Hall");
    EXPECT_EQ(pp::printer_choice().paper, pp::PaperSize::kA4);
}

TEST_F(PrintSetupTest, CancelEscapeAndTheCloseBoxKeepTheOldChoice) {
    ASSERT_TRUE(pp::set_printer_choice({"Office", false, pp::PaperSize::kLetter}));
    open_dialog();
    keys({pd::kVkDown, pd::kVkEscape});
    EXPECT_EQ(answer(), 0);
    EXPECT_EQ(pp::printer_choice().printer, "Office");

    // Tab round to Cancel: Enter presses it.
    open_dialog();
    keys({pd::kVkUp, pd::kVkTab, pd::kVkLeft, pd::kVkTab, pd::kVkTab, pd::kVkReturn});
    EXPECT_EQ(answer(), 0);
    EXPECT_EQ(pp::printer_choice().printer, "Office");

    open_dialog();
    keys({pd::kVkEnd});
    pd::Message close;
    close.code = pd::kMsgClose;
    close.window = hl::find_window_by_text("Print Setup");
    pd::post_message(close);
    EXPECT_EQ(answer(), 0);
    EXPECT_EQ(pp::printer_choice().printer, "Office");
    EXPECT_FALSE(pp::printer_choice().to_pdf_file);
}

TEST_F(PrintSetupTest, WithoutASpoolerOkChoosesThePdfFile) {
    pp::set_spooler_commands(m_dir.file("no-lp"), m_dir.file("no-lpstat"));
    open_dialog();
    ASSERT_TRUE(hl::save_screenshot("/tmp/print-setup-no-spooler.png"));
    keys({pd::kVkDown, pd::kVkReturn});
    EXPECT_EQ(answer(), 1);
    EXPECT_TRUE(pp::printer_choice().to_pdf_file);
    EXPECT_TRUE(pp::printer_choice().printer.empty());
}

TEST_F(PrintSetupTest, TheChoiceIsKeptInTheProfileAndReadBackFromIt) {
    const std::string ini = m_dir.file("settings.ini");
    keep_print_setup_in(ini);
    open_dialog();
    keys({pd::kVkEnd, pd::kVkReturn});  // the PDF file
    EXPECT_EQ(answer(), 1);
    EXPECT_TRUE(pp::read_printer_choice(ini).to_pdf_file);

    // Cancel writes nothing.
    open_dialog();
    keys({pd::kVkHome, pd::kVkEscape});
    EXPECT_EQ(answer(), 0);
    EXPECT_TRUE(pp::read_printer_choice(ini).to_pdf_file);

    // A later start of the program finds it again.
    pp::set_printer_choice({});
    keep_print_setup_in(ini);
    EXPECT_TRUE(pp::printer_choice().to_pdf_file);
}

// The menu item's standard action opens the dialog on the window's own thread; the
// window goes on afterwards and gets no Accepted for the item.
struct WindowRun {
    std::atomic<bool> open{false};
    std::atomic<bool> done{false};
    std::vector<int> events;  // Accepted as -1000 + the field
    Window* window = nullptr;
};

void run_window(WindowType type, const char* module, const char* name, WindowRun& run) {
    Window w(type, module, name);
    if (w.open()) {
        run.window = &w;
        run.open = true;
        while (w.accept()) {
            run.events.push_back(event() == kEventAccepted ? -1000 + field() : event());
            if (run.events.size() > 50) break;
        }
        if (w.is_open()) w.close();
        run.window = nullptr;
    }
    run.done = true;
}

TEST_F(PrintSetupTest, StandardAction16OpensTheDialogWithoutAFrame) {
    ASSERT_EQ(application_frame(), nullptr);
    WindowRun run;
    ASSERT_NE(start([&] { run_window(WindowType::kWindow, "TEST$printsetup", "PROC$PRINTING", run); }), 0);
    ASSERT_TRUE(wait_until([&] { return run.open.load(); }));
    command(*run.window, -1);
    ASSERT_TRUE(wait_until([] { return hl::find_window_by_text("Print Setup") != 0; }));
    EXPECT_FALSE(pd::is_enabled(run.window->handle()));  // the dialog is modal
    keys({pd::kVkDown, pd::kVkReturn});
    ASSERT_TRUE(wait_until([] { return hl::find_window_by_text("Print Setup") == 0; }));
    EXPECT_EQ(pp::printer_choice().printer, "Office");
    EXPECT_TRUE(pd::is_enabled(run.window->handle()));
    run.window->post(kEventCloseWindow);
    ASSERT_TRUE(wait_until([&] { return run.done.load(); }));
    EXPECT_EQ(std::count(run.events.begin(), run.events.end(), -1000 - 1), 0);
}

TEST_F(PrintSetupTest, StandardAction16OpensTheDialogFromTheFramesMenu) {
    // The program's own frame: "&Print Setup ..." is its item -7.
    WindowRun run;
    ASSERT_NE(start([&] { run_window(WindowType::kApplication, "LKDB32$lkdb3004", "MAIN$APPFRAME", run); }), 0);
    ASSERT_TRUE(wait_until([&] { return run.open.load(); }));
    command(*run.window, -7);
    ASSERT_TRUE(wait_until([] { return hl::find_window_by_text("Print Setup") != 0; }));
    keys({pd::kVkTab, pd::kVkRight, pd::kVkEscape});
    ASSERT_TRUE(wait_until([] { return hl::find_window_by_text("Print Setup") == 0; }));
    EXPECT_EQ(pp::printer_choice().paper, pp::PaperSize::kLetter);
    run.window->post(kEventCloseWindow);
    ASSERT_TRUE(wait_until([&] { return run.done.load(); }, 8000));
    EXPECT_EQ(std::count(run.events.begin(), run.events.end(), -1000 - 7), 0);
}

}  // namespace
}  // namespace sk::ui
