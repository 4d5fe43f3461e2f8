// Printing a viewer's lines where the printer set-up sends them: to the chosen
// printer even when the system has no default one, to a PDF file when that was
// chosen although a printer exists, and on the chosen paper.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "app/viewer_print.h"
#include "platform/print/print.h"
#include "support/platform_temp_dir.h"
#include "ui/definition.h"

namespace sk::app {
namespace {

namespace pp = sk::platform::print;
using sk::test::PlatformTempDir;
using sk::test::platform_read_file;
using sk::test::platform_write_file;
using sk::test::platform_write_script;

class ViewerPrintChoice : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* home = std::getenv("HOME")) m_saved_home = home;
        ::setenv("HOME", m_dir.path().c_str(), 1);
        ASSERT_EQ(::mkdir(m_dir.file("Documents").c_str(), 0755), 0);
        m_log = m_dir.file("lp-args");
        m_lp = script("lp", "for a in \"$@\"; do echo \"$a\"; done > '" + m_log + "'\n");
    }
    void TearDown() override {
        ::setenv("HOME", m_saved_home.c_str(), 1);
        pp::set_spooler_commands("", "");
        pp::set_printer_choice({});
    }
    std::string script(const std::string& name, const std::string& body) {
        EXPECT_TRUE(platform_write_script(m_dir.file(name), body)) << name;
        return m_dir.file(name);
    }

    PlatformTempDir m_dir;
    std::string m_saved_home, m_log, m_lp;
};

TEST_F(ViewerPrintChoice, AChosenPrinterPrintsWithoutADefaultAndThePdfChoiceSavesDespiteOne) {
    pp::set_spooler_commands(m_lp, script("lpstat", "echo 'no system default destination'\n"));
    ASSERT_TRUE(pp::set_printer_choice({"Hall", false, pp::PaperSize::kLetter}));
    const auto setup = viewer_page_setup(nullptr, "readme.jr");
    const ViewerPrintResult printed = print_viewer_lines({"one", "two"}, setup, "readme.jr");
    EXPECT_EQ(printed.outcome, ViewerPrintResult::Outcome::kPrinted) << printed.error;
    EXPECT_EQ(platform_read_file(m_log).rfind("-d\nHall\n", 0), 0u) << platform_read_file(m_log);

    ::unlink(m_log.c_str());
    pp::set_spooler_commands(m_lp, script("lpstat-d", "echo 'system default destination: Office'\n"));
    ASSERT_TRUE(pp::set_printer_choice({"", true, pp::PaperSize::kLetter}));
    const ViewerPrintResult saved = print_viewer_lines({"one"}, setup, "readme.jr");
    EXPECT_EQ(saved.outcome, ViewerPrintResult::Outcome::kSaved) << saved.error;
    EXPECT_EQ(saved.path, m_dir.file("Documents/readme.pdf"));
    EXPECT_EQ(platform_read_file(saved.path).rfind("%PDF-", 0), 0u);
    EXPECT_TRUE(platform_read_file(m_log).empty());  // the spooler was not asked to print
    EXPECT_TRUE(saved.chosen);
    EXPECT_FALSE(printed.chosen);
}

TEST_F(ViewerPrintChoice, SavedDocumentsNeverReplaceAnExistingOne) {
    // Names are numbered on past any count: the thousandth copy still gets a name of its own.
    ASSERT_TRUE(platform_write_file(m_dir.file("Documents/readme.pdf"), "keep"));
    for (int n = 2; n <= 1000; ++n) ASSERT_TRUE(platform_write_file(m_dir.file("Documents/readme-" + std::to_string(n) + ".pdf"), "keep"));
    EXPECT_EQ(viewer_pdf_path(m_dir.file("Documents"), "readme.jr"), m_dir.file("Documents/readme-1001.pdf"));
    EXPECT_EQ(platform_read_file(m_dir.file("Documents/readme-999.pdf")), "keep");
}

TEST_F(ViewerPrintChoice, PagesTakeTheChosenPaperAndAReportTooWideForItKeepsTheMargins) {
    ASSERT_TRUE(pp::set_printer_choice({"", false, pp::PaperSize::kA4}));
    const pp::PageSetup plain = viewer_page_setup(nullptr, "t");
    EXPECT_NEAR(plain.page_width, 595.3, 0.1);
    EXPECT_NEAR(plain.page_height, 841.9, 0.1);

    // Half an inch in and 7.9 inches wide: fits Letter (8.5 inches), not A4 (8.27).
    sk::ui::WindowDefinition report;
    report.x = 500;
    report.y = 500;
    report.width = 7900;
    report.height = 9000;
    const pp::PageSetup on_a4 = viewer_page_setup(&report, "t");
    EXPECT_EQ(on_a4.margin_left, 72.0);
    EXPECT_EQ(on_a4.margin_right, 72.0);
    ASSERT_TRUE(pp::set_printer_choice({}));
    const pp::PageSetup on_letter = viewer_page_setup(&report, "t");
    EXPECT_EQ(on_letter.page_width, 612.0);
    EXPECT_NEAR(on_letter.margin_left, 36.0, 1e-9);
    EXPECT_NEAR(on_letter.margin_right, 612.0 - 36.0 - 7.9 * 72, 1e-9);
}

}  // namespace
}  // namespace sk::app
