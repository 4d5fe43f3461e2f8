// Printing text: pages laid out from the font's height and the text width, the
// PDF written with one page object per page, failures to write reported, the
// spooler driven through stand-in scripts (its printers listed, the chosen one
// given to lp), and the printer choice kept in a profile file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/print/print.h"
#include "platform/profile.h"
#include "support/platform_temp_dir.h"

namespace {

namespace pp = sk::platform::print;
using sk::test::PlatformTempDir;
using sk::test::platform_read_file;
using sk::test::platform_write_script;

// Page objects of a PDF ("/Type /Page", not the "/Type /Pages" tree node).
int page_objects(const std::string& pdf) {
    int count = 0;
    const std::string marker = "/Type /Page";
    for (std::size_t at = pdf.find(marker); at != std::string::npos; at = pdf.find(marker, at + 1))
        if (at + marker.size() >= pdf.size() || pdf[at + marker.size()] != 's') ++count;
    return count;
}

std::vector<std::string> numbered_lines(int n) {
    std::vector<std::string> lines;
    for (int i = 1; i <= n; ++i) lines.push_back("line " + std::to_string(i));
    return lines;
}

pp::PageSetup small_page() {
    pp::PageSetup s;
    s.page_width = 300;
    s.page_height = 200;
    s.margin_left = s.margin_right = 20;
    s.margin_top = s.margin_bottom = 20;
    s.font_size = 10;
    return s;
}

TEST(Print, PagesHoldTheRowsThatFitTheirHeightAndKeepTheOrder) {
    const pp::PageSetup setup = small_page();
    const auto one = pp::layout_pages({"x"}, setup);
    ASSERT_EQ(one.size(), 1u);
    // How many rows a page takes comes from the font: fill exactly three pages and one row more.
    const std::size_t per_page = pp::layout_pages(numbered_lines(1000), setup).front().size();
    ASSERT_GT(per_page, 5u);
    ASSERT_LT(per_page, 20u);  // 160 points of 10-point text
    const auto pages = pp::layout_pages(numbered_lines(int(per_page * 3 + 1)), setup);
    ASSERT_EQ(pages.size(), 4u);
    EXPECT_EQ(pages[3].size(), 1u);
    EXPECT_EQ(pages[0][0], "line 1");
    EXPECT_EQ(pages[1][0], "line " + std::to_string(per_page + 1));
    EXPECT_EQ(pages[3][0], "line " + std::to_string(per_page * 3 + 1));
    // No lines still make a page to print.
    EXPECT_EQ(pp::layout_pages({}, setup).size(), 1u);
}

TEST(Print, LongLinesWrapAtBlanksAndLongWordsBreakAnywhere) {
    const pp::PageSetup setup = small_page();  // 260 points: about 43 characters of 10-point mono
    std::string words;
    for (int i = 0; i < 20; ++i) words += "word" + std::to_string(i) + " ";
    const auto rows = pp::layout_pages({words, std::string(100, 'x'), ""}, setup).front();
    std::string joined;
    std::size_t word_rows = 0;
    for (const std::string& r : rows) {
        if (r.rfind("word", 0) != 0) break;
        ++word_rows;
        EXPECT_NE(r.back(), ' ');
        // Every row ends with a whole word.
        EXPECT_TRUE(words.find(r + " ") != std::string::npos) << r;
        joined += r + " ";
    }
    EXPECT_GT(word_rows, 1u);
    EXPECT_EQ(joined, words);  // nothing lost or doubled at the breaks
    ASSERT_GE(rows.size(), word_rows + 3);
    std::string xs;
    std::size_t r = word_rows;
    for (; r < rows.size() && !rows[r].empty(); ++r) xs += rows[r];
    EXPECT_EQ(xs, std::string(100, 'x'));
    EXPECT_GT(r - word_rows, 1u);
    EXPECT_EQ(r + 1, rows.size());  // the empty line keeps its row
}

TEST(Print, TabsExpandAndBytesThatAreNotUtf8StillPrint) {
    const pp::PageSetup setup = small_page();
    const auto rows = pp::layout_pages({"a\tb", "caf\xe9 \xc3\xa9t\xc3\xa9", std::string("x\x01y")}, setup).front();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], "a       b");
    EXPECT_EQ(rows[1], "caf\xc3\xa9 \xc3\xa9t\xc3\xa9");  // a stray Latin-1 byte becomes its character
    EXPECT_EQ(rows[2], "x y");
}

TEST(Print, PdfHasOnePageObjectPerPage) {
    PlatformTempDir dir;
    pp::PageSetup setup = small_page();
    setup.title = "readme.jr";
    const std::size_t per_page = pp::layout_pages(numbered_lines(1000), setup).front().size();
    int pages = 0;
    const std::string path = dir.file("out.pdf");
    ASSERT_FALSE(pp::write_pdf(numbered_lines(int(per_page * 2 + 3)), setup, path, &pages).has_value());
    EXPECT_EQ(pages, 3);
    const std::string pdf = platform_read_file(path);
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    EXPECT_EQ(page_objects(pdf), 3);
    // Text that is not UTF-8 does not spoil the document.
    ASSERT_FALSE(pp::write_pdf({"\xff\xfe broken \xc3", "ok"}, setup, path, &pages).has_value());
    EXPECT_EQ(pages, 1);
    EXPECT_EQ(page_objects(platform_read_file(path)), 1);
}

TEST(Print, UnwritableDestinationIsAnErrorAndLeavesNoFile) {
    PlatformTempDir dir;
    int pages = -1;
    const auto missing = pp::write_pdf({"a"}, small_page(), dir.file("no/such/dir/out.pdf"), &pages);
    ASSERT_TRUE(missing.has_value());
    EXPECT_NE(missing->code, 0);
    EXPECT_NE(missing->text.find("no/such/dir/out.pdf"), std::string::npos) << missing->text;
    EXPECT_EQ(pages, -1);
    // A folder where the file should go.
    ASSERT_EQ(::mkdir(dir.file("taken.pdf").c_str(), 0755), 0);
    const auto taken = pp::write_pdf({"a"}, small_page(), dir.file("taken.pdf"));
    ASSERT_TRUE(taken.has_value());
    EXPECT_FALSE(taken->text.empty());
}

class Spooler : public ::testing::Test {
protected:
    void TearDown() override {
        pp::set_spooler_commands("", "");
        pp::set_printer_choice({});
    }
    std::string script(const std::string& name, const std::string& body) {
        EXPECT_TRUE(platform_write_script(m_dir.file(name), body)) << name;
        return m_dir.file(name);
    }
    PlatformTempDir m_dir;
};

TEST_F(Spooler, DefaultPrinterComesFromTheStatusCommand) {
    const std::string lp = script("lp", "exit 0\n");
    pp::set_spooler_commands(lp, script("lpstat", "echo 'system default destination: Office_Laser'\n"));
    EXPECT_EQ(pp::default_printer().value_or("-"), "Office_Laser");
    pp::set_spooler_commands(lp, script("lpstat2", "echo 'no system default destination'\n"));
    EXPECT_FALSE(pp::default_printer().has_value());
    pp::set_spooler_commands(lp, script("lpstat3", "echo 'lpstat: scheduler not responding' >&2\nexit 1\n"));
    EXPECT_FALSE(pp::default_printer().has_value());
    // Without lp there is nothing to print with, whatever lpstat says.
    pp::set_spooler_commands(m_dir.file("missing-lp"), script("lpstat4", "echo 'system default destination: X'\n"));
    EXPECT_FALSE(pp::default_printer().has_value());
}

TEST_F(Spooler, SpoolPassesTheFileAndReportsTheSpoolersComplaint) {
    const std::string log = m_dir.file("args");
    pp::set_spooler_commands(script("lp", "for a in \"$@\"; do echo \"$a\"; done > '" + log + "'\n"), "");
    EXPECT_FALSE(pp::spool("/tmp/-odd name.pdf", "Using Sitekeeper").has_value());
    EXPECT_EQ(platform_read_file(log), "-t\nUsing Sitekeeper\n--\n/tmp/-odd name.pdf\n");

    pp::set_spooler_commands(script("lp-bad", "echo 'lp: The printer or class does not exist.' >&2\nexit 1\n"), "");
    const auto refused = pp::spool("/tmp/x.pdf", "t");
    ASSERT_TRUE(refused.has_value());
    EXPECT_NE(refused->text.find("The printer or class does not exist."), std::string::npos) << refused->text;

    pp::set_spooler_commands(m_dir.file("no-such-lp"), "");
    const auto missing = pp::spool("/tmp/x.pdf", "t");
    ASSERT_TRUE(missing.has_value());
    EXPECT_NE(missing->code, 0);
}

TEST_F(Spooler, PrintersAreListedFromWhicheverListTheSpoolerGives) {
    const std::string lp = script("lp", "exit 0\n");
    // Bare names; blank lines, repeats, a line that is not a name and a name lp
    // would read as an option are left out.
    pp::set_spooler_commands(lp, script("lpstat", "[ \"$1\" = -e ] || exit 9\n"
                                                  "printf 'Office_Laser\\n\\nLabel/wide\\nOffice_Laser\\n"
                                                  "not a name\\n-x\\n'\n"));
    EXPECT_EQ(pp::list_printers(), (std::vector<std::string>{"Office_Laser", "Label/wide"}));

    // A spooler without -e: the acceptance list, with its indented reasons.
    pp::set_spooler_commands(lp, script("lpstat-a", "case \"$1\" in -a) ;; *) echo \"lpstat: unknown option\" >&2; exit 1;; esac\n"
                                                    "echo 'Office accepting requests since Mon 01 Jan'\n"
                                                    "echo 'Broken not accepting requests since Tue 02 Jan -'\n"
                                                    "echo '\tPaper jam'\n"));
    EXPECT_EQ(pp::list_printers(), (std::vector<std::string>{"Office", "Broken"}));

    // Neither: the printer status list.
    pp::set_spooler_commands(lp, script("lpstat-p", "[ \"$1\" = -p ] || exit 1\n"
                                                    "echo 'printer Desk is idle.  enabled since Mon'\n"
                                                    "echo '\tready'\n"
                                                    "echo 'printer Hall disabled since Tue -'\n"));
    EXPECT_EQ(pp::list_printers(), (std::vector<std::string>{"Desk", "Hall"}));

    // An error message is not a printer; no destinations is an empty list.
    pp::set_spooler_commands(lp, script("lpstat-none", "echo 'lpstat: No destinations added.' >&2\nexit 1\n"));
    EXPECT_TRUE(pp::list_printers().empty());
    const auto none = pp::spooler_status();
    EXPECT_TRUE(none.installed);
    EXPECT_TRUE(none.printers.empty());
    EXPECT_FALSE(none.default_printer.has_value());

    // No spooler at all.
    pp::set_spooler_commands(m_dir.file("no-lp"), m_dir.file("no-lpstat"));
    EXPECT_TRUE(pp::list_printers().empty());
    EXPECT_FALSE(pp::spooler_status().installed);
}

TEST_F(Spooler, StatusIsAskedInTheCLocaleWhateverTheUsersLanguage) {
    // The user's own settings come back at the end, whatever they were.
    struct SavedVariable {
        const char* name;
        std::optional<std::string> value;
        explicit SavedVariable(const char* n) : name(n) {
            if (const char* v = std::getenv(n)) value = v;
        }
        ~SavedVariable() { value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name); }
    } lang("LANG"), all("LC_ALL");
    ::setenv("LANG", "de_DE.UTF-8", 1);
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    const std::string lp = script("lp", "exit 0\n");
    pp::set_spooler_commands(lp, script("lpstat", "[ \"$LC_ALL\" = C ] && [ -z \"$LANG\" ] || exit 1\n"
                                                  "echo 'system default destination: Office'\n"));
    EXPECT_EQ(pp::default_printer().value_or("-"), "Office");
}

TEST_F(Spooler, TheChosenPrinterIsNamedToLpAndTheDefaultIsNot) {
    const std::string log = m_dir.file("args");
    pp::set_spooler_commands(script("lp", "for a in \"$@\"; do echo \"$a\"; done > '" + log + "'\n"), "");
    EXPECT_FALSE(pp::spool("/tmp/x.pdf", "", "Office_Laser").has_value());
    EXPECT_EQ(platform_read_file(log), "-d\nOffice_Laser\n--\n/tmp/x.pdf\n");

    // print_lines goes where the process's choice says.
    ASSERT_TRUE(pp::set_printer_choice({"Hall", false, pp::PaperSize::kLetter}));
    EXPECT_FALSE(pp::print_lines({"a"}, small_page()).has_value());
    EXPECT_EQ(platform_read_file(log).rfind("-d\nHall\n--\n", 0), 0u) << platform_read_file(log);
    ASSERT_TRUE(pp::set_printer_choice({}));
    EXPECT_FALSE(pp::print_lines({"a"}, small_page()).has_value());
    EXPECT_EQ(platform_read_file(log).rfind("--\n", 0), 0u) << platform_read_file(log);

    // A name that would reach lp as an option or split in two is refused outright.
    EXPECT_FALSE(pp::set_printer_choice({"-oraw", false, pp::PaperSize::kLetter}));
    EXPECT_FALSE(pp::set_printer_choice({"two words", false, pp::PaperSize::kLetter}));
    EXPECT_TRUE(pp::printer_choice().printer.empty());
    ASSERT_TRUE(pp::spool("/tmp/x.pdf", "", "-oraw").has_value());
}

TEST(PrinterChoice, IsKeptInAProfileAndOddEntriesReadAsDefaults) {
    PlatformTempDir dir;
    const std::string ini = dir.file("choice.ini");
    ASSERT_TRUE(pp::write_printer_choice(ini, {"Office_Laser", false, pp::PaperSize::kA4}));
    const pp::PrinterChoice back = pp::read_printer_choice(ini);
    EXPECT_EQ(back.printer, "Office_Laser");
    EXPECT_FALSE(back.to_pdf_file);
    EXPECT_EQ(back.paper, pp::PaperSize::kA4);

    ASSERT_TRUE(pp::write_printer_choice(ini, {"", true, pp::PaperSize::kLetter}));
    EXPECT_TRUE(pp::read_printer_choice(ini).to_pdf_file);
    EXPECT_TRUE(pp::read_printer_choice(ini).printer.empty());

    ASSERT_TRUE(sk::platform::write_profile_string(ini, "Print Setup", "Printer", "-d evil"));
    ASSERT_TRUE(sk::platform::write_profile_string(ini, "Print Setup", "Paper", "Tabloid"));
    const pp::PrinterChoice odd = pp::read_printer_choice(ini);
    EXPECT_TRUE(odd.printer.empty());
    EXPECT_EQ(odd.paper, pp::PaperSize::kLetter);
    const pp::PrinterChoice missing = pp::read_printer_choice(dir.file("none.ini"));
    EXPECT_TRUE(missing.printer.empty());
    EXPECT_FALSE(missing.to_pdf_file);
}

}  // namespace
