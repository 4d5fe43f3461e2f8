// The import from any text: the address scanner on ordinary, malformed and
// hostile lines, and the import end to end into the in-memory LINKDB.
#include "app/import_text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "transfer_fixture.h"

namespace {

using namespace transfer_test;

std::vector<std::string> locations(std::string_view line)
{
    std::vector<std::string> out;
    for (const sa::TextAddress& a : sa::scan_text_line(line))
        out.push_back(a.location);
    return out;
}

// ---------------------------------------------------------------------------
// Scanner.

TEST(TextScan, EveryAddressOfALineIsTakenWithPathQueryAndFragment)
{
    const auto found = sa::scan_text_line(
        "Try ftp://ftp.example.org/pub/file-1_2~x.tgz first, then "
        "http://www.example.com/a/b?q=1&r=%20#frag and news://news.example.net/group");
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].location, "ftp://ftp.example.org/pub/file-1_2~x.tgz");
    EXPECT_EQ(found[0].keyword, "ftp");
    // The blank that ended it is dropped; the rest of the line is description and notes.
    EXPECT_EQ(found[0].description, "first, then http://www.example.com/a/b?q=1&r=%20#frag and ne");
    EXPECT_EQ(found[0].site_info.substr(0, 9), "first, th");
    EXPECT_EQ(found[1].location, "http://www.example.com/a/b?q=1&r=%20#frag");
    EXPECT_EQ(found[2].location, "news://news.example.net/group");
    EXPECT_EQ(found[2].keyword, "news");
    EXPECT_EQ(found[2].description, "");
}

TEST(TextScan, AllSixPatternsAndWhatEndsAnAddress)
{
    EXPECT_EQ(locations("telnet://host.example:23 gopher://g.example/1"),
              (std::vector<std::string>{"telnet://host.example:23", "gopher://g.example/1"}));
    EXPECT_EQ(locations("<http://angle.example/>"), (std::vector<std::string>{"http://angle.example/"}));
    EXPECT_EQ(locations("\"http://quoted.example/x\""), (std::vector<std::string>{"http://quoted.example/x"}));
    EXPECT_EQ(locations("(http://paren.example/)"), (std::vector<std::string>{"http://paren.example/"}));
    // A scheme in capitals is not one of the patterns.
    EXPECT_TRUE(locations("HTTP://LOUD.EXAMPLE/ Ftp://x.example/").empty());
    EXPECT_TRUE(locations("no addresses here, just www.example.com").empty());
}

TEST(TextScan, AnchorTagsOfAnyCaseLeadToTheAddressInside)
{
    EXPECT_EQ(locations("<A HREF=\"http://tag.example/page.htm\">Page</A>"),
              (std::vector<std::string>{"http://tag.example/page.htm"}));
    EXPECT_TRUE(locations("<a href=\"relative.htm\">x</a>").empty());
}

TEST(TextScan, AddressesAreCutTo128AndLongRunsEnd)
{
    const std::string path(2000, 'p');
    const auto found = sa::scan_text_line("http://long.example/" + path + " tail");
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0].location.size(), 128u);
    // A bare scheme is still an address; so is one that ends the line.
    EXPECT_EQ(locations("http://"), (std::vector<std::string>{"http://"}));
    EXPECT_EQ(locations("see http:/"), (std::vector<std::string>{}));
    // Bytes outside ASCII end an address.
    EXPECT_EQ(locations("http://b\xC3\xBC" "cher.example/"), (std::vector<std::string>{"http://b"}));
}

TEST(TextScan, HostileLinesEnd)
{
    const auto started = std::chrono::steady_clock::now();
    std::string schemes;
    for (int i = 0; i < 100000; ++i)
        schemes += "http://";
    EXPECT_FALSE(sa::scan_text_line(schemes).empty());
    std::string tags;
    for (int i = 0; i < 100000; ++i)
        tags += "a HREF";
    EXPECT_TRUE(sa::scan_text_line(tags).empty());
    std::string spaced;
    for (int i = 0; i < 50000; ++i)
        spaced += "ftp://x ";
    EXPECT_EQ(sa::scan_text_line(spaced).size(), 50000u);
    std::string binary;
    for (int i = 0; i < 1 << 16; ++i)
        binary += static_cast<char>(i * 131);
    sa::scan_text_line(binary);
    EXPECT_TRUE(sa::scan_text_line("").empty());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

// ---------------------------------------------------------------------------
// The import end to end.

using ImportTextTest = TransferTest;

TEST_F(ImportTextTest, AddressesBecomeNewSitesOnceEach)
{
    const auto stored = import_sites<sa::ImportText>("From: someone\r\n"
                                                     "See http://a.example/ and ftp://b.example/pub, they are good.\r\n"
                                                     "\r\n"
                                                     "Again http://a.example/ here.\r\n"
                                                     "Nothing on this line.\r\n");
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].location, "ftp://b.example/pub");
    EXPECT_EQ(stored[0].description, "they are good.");
    EXPECT_EQ(stored[0].memo, "they are good.");
    EXPECT_EQ(stored[1].location, "http://a.example/");
    EXPECT_EQ(stored[1].description, "and ftp://b.example/pub, they are good.");
    for (const auto& site : stored) {
        EXPECT_EQ(site.category, "NEW");
        EXPECT_EQ(site.rating, 0);
    }
    EXPECT_TRUE(categories().empty());
    EXPECT_EQ(sa::LastResponse, sa::ResponseDone);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ImportTextTest, AddressesBeyondColumn512AreRead)
{
    const auto stored = import_sites<sa::ImportText>(std::string(700, 'w') + " http://far.example/ far away\r\n");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].location, "http://far.example/");
    EXPECT_EQ(stored[0].description, "far away");
    EXPECT_EQ(sa::ImportFileUsers, 0);
}

TEST_F(ImportTextTest, CancelledStartImportsNothing)
{
    write_input("http://a.example/\r\n");
    sa::ImportText import;
    import.start_cancelled();
    import.window_opened();
    import.run_batch();
    import.finish();
    EXPECT_TRUE(sites().empty());
}

}  // namespace
