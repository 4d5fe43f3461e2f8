// The import from an ASCII list: the quoted-field line scanner, and the import
// end to end into the in-memory LINKDB.
#include "app/import_ascii.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "transfer_fixture.h"

namespace {

using namespace transfer_test;

TEST(AsciiListScan, LocationDescriptionAndNotes)
{
    auto site = sa::scan_ascii_list_line("\"http://a.example/\",\"Site A\"");
    ASSERT_TRUE(site);
    EXPECT_EQ(site->location, "http://a.example/");
    EXPECT_EQ(site->description, "Site A");
    EXPECT_EQ(site->site_info, "");
    EXPECT_EQ(site->keyword, "http");

    site = sa::scan_ascii_list_line("junk before \"  http://b.example/  \",\"  Desc\",\"  notes kept as written\" after");
    ASSERT_TRUE(site);
    EXPECT_EQ(site->location, "http://b.example/");
    EXPECT_EQ(site->description, "Desc");
    EXPECT_EQ(site->site_info, "  notes kept as written");
}

TEST(AsciiListScan, LinesWithoutTwoFieldsAddNothing)
{
    EXPECT_FALSE(sa::scan_ascii_list_line("no quotes at all"));
    EXPECT_FALSE(sa::scan_ascii_list_line("\"only one field\""));
    EXPECT_FALSE(sa::scan_ascii_list_line("\"one\", \"blank after the comma\""));
    EXPECT_FALSE(sa::scan_ascii_list_line(""));
    EXPECT_FALSE(sa::scan_ascii_list_line("\""));
}

TEST(AsciiListScan, TruncatedAndOddFields)
{
    // A description without its closing quote runs to the end of the line.
    auto site = sa::scan_ascii_list_line("\"gopher://g.example\",\"runs off");
    ASSERT_TRUE(site);
    EXPECT_EQ(site->description, "runs off");
    EXPECT_EQ(site->keyword, "gopher");
    // Notes with only an opening quote are none.
    site = sa::scan_ascii_list_line("\"x:y\",\"d\",\"unclosed");
    ASSERT_TRUE(site);
    EXPECT_EQ(site->site_info, "");
    EXPECT_EQ(site->keyword, "?");
    // A blank location is not rejected.
    site = sa::scan_ascii_list_line("\"\",\"empty\"");
    ASSERT_TRUE(site);
    EXPECT_EQ(site->location, "");
    // Long fields are cut to their sizes.
    site = sa::scan_ascii_list_line("\"" + std::string(300, 'l') + "\",\"" + std::string(100, 'd') + "\",\"" +
                                    std::string(900, 'n') + "\"");
    ASSERT_TRUE(site);
    EXPECT_EQ(site->location.size(), 128u);
    EXPECT_EQ(site->description.size(), 60u);
    EXPECT_EQ(site->site_info.size(), 500u);
}

TEST(AsciiListScan, AnchorLocationsArePassedOverAndTheLineSearchedOn)
{
    EXPECT_FALSE(sa::scan_ascii_list_line("\"#top\",\"Top\""));
    const auto site = sa::scan_ascii_list_line("\"#top\",\"Top\" \"http://c.example/\",\"C\"");
    ASSERT_TRUE(site);
    EXPECT_EQ(site->location, "http://c.example/");
}

TEST(AsciiListScan, HostileLinesEnd)
{
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(sa::scan_ascii_list_line(std::string(1 << 20, '"')));
    EXPECT_TRUE(sa::scan_ascii_list_line(std::string(1 << 20, '"') + "\",\"" + std::string(1 << 20, '"')));
    std::string anchors;
    for (int i = 0; i < 100000; ++i)
        anchors += "\"#\",\"\"";
    EXPECT_FALSE(sa::scan_ascii_list_line(anchors));
    std::string commas;
    for (int i = 0; i < 100000; ++i)
        commas += "\",";
    sa::scan_ascii_list_line(commas);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

using ImportAsciiTest = TransferTest;

const char* const kList =
    "\"http://one.example/\",\"One\",\"first notes\"\r\n"
    "\"http://two.example/\",\"Two\" \"http://ignored.example/\",\"Second on the line\"\r\n"
    "a line without a site\r\n"
    "\"mail:me\",\"Mail\"\r\n"
    "\"http://one.example/\",\"One again\"\r\n";

TEST_F(ImportAsciiTest, OneSiteALineWithNewOrTheChosenCategory)
{
    const auto stored = import_sites<sa::ImportAsciiList>(kList);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].location, "http://one.example/");
    EXPECT_EQ(stored[0].description, "One");
    EXPECT_EQ(stored[0].memo, "first notes");
    EXPECT_EQ(stored[1].location, "http://two.example/");
    EXPECT_EQ(stored[2].location, "mail:me");
    EXPECT_EQ(stored[2].keyword, "?");
    for (const auto& site : stored)
        EXPECT_EQ(site.category, "NEW");
    EXPECT_TRUE(categories().empty());
    EXPECT_EQ(sa::LastResponse, sa::ResponseDone);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ImportAsciiTest, SitesBeyondColumn512AreRead)
{
    const auto stored =
        import_sites<sa::ImportAsciiList>(std::string(600, ' ') + "\"http://far.example/\",\"Far\"\r\n");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].location, "http://far.example/");
    EXPECT_EQ(stored[0].description, "Far");
    EXPECT_EQ(sa::ImportFileUsers, 0);
}

TEST_F(ImportAsciiTest, ChosenCategoryGoesToEverySite)
{
    write_input(kList);
    sa::ImportAsciiList import("Lists");
    import.run_to_end();
    for (const auto& site : sites())
        EXPECT_EQ(site.category, "Lists");
}

}  // namespace
