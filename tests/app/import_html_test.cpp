// The HTML import: the line scanner on well-formed, malformed and hostile lines,
// and the import end to end from a temporary file into the in-memory LINKDB and
// Categories, with its byte batches, cancel, cancelled start and add errors.
#include "app/import_html.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/file.h"
#include "transfer_fixture.h"

namespace {

using namespace transfer_test;

std::vector<sa::HtmlLink> scan(std::string_view line, std::string* heading)
{
    std::vector<sa::HtmlLink> links;
    sa::scan_html_line(line, heading, &links);
    return links;
}

std::vector<sa::HtmlLink> scan(std::string_view line)
{
    std::string heading;
    return scan(line, &heading);
}

// ---------------------------------------------------------------------------
// Scanner.

TEST(HtmlScan, BookmarkLinkGivesLocationTextAndScheme)
{
    const auto links = scan("    <DT><A HREF=\"http://a.example/\" ADD_DATE=\"931\">A</A>");
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].location, "http://a.example/");
    EXPECT_EQ(links[0].description, "A");
    EXPECT_EQ(links[0].site_info, "");
    EXPECT_EQ(links[0].keyword, "http");
}

TEST(HtmlScan, HeadingsOfBothFormsAndTheRuleSetTheHeading)
{
    std::string heading;
    scan("<DT><H3 ADD_DATE=\"900\">Tools</H3>", &heading);
    EXPECT_EQ(heading, "Tools");
    scan("<h2>   News and more </h2>", &heading);
    EXPECT_EQ(heading, "News and more");
    scan("<hr>Below the rule", &heading);
    EXPECT_EQ(heading, "Below the rule");
    // Other tags beginning with "h" are no headings.
    scan("<head><html><h3 class=x>Styled</h3>", &heading);
    EXPECT_EQ(heading, "Below the rule");
    // Cut to 20 bytes, never inside a character.
    scan("<h1>abcdefghijklmnopqrs\xC3\xA9xyz</h1>", &heading);
    EXPECT_EQ(heading, "abcdefghijklmnopqrs");
    // A heading on the same line before a link names that link's category.
    const auto links = scan("<h3>Games</h3><a href=\"http://g.example/\">G</a>", &heading);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].heading, "Games");
}

TEST(HtmlScan, TargetsWithoutAColonOrEmptyAreSkippedAndMailLinksKept)
{
    EXPECT_TRUE(scan("<a href=\"page2.htm\">Next</a>").empty());
    EXPECT_TRUE(scan("<a href=\"\">Nothing</a>").empty());
    EXPECT_TRUE(scan("<a href=\"#top\">Top</a>").empty());
    const auto mail = scan("<a href=\"mailto:me@example.org\">Mail me</a>");
    ASSERT_EQ(mail.size(), 1u);
    EXPECT_EQ(mail[0].keyword, "?");
    EXPECT_EQ(mail[0].description, "Mail me");
}

TEST(HtmlScan, SeveralLinksOnALineAndTheNotesAfterEach)
{
    const auto links = scan("<a href=\"http://one.example/\">One</a> first notes "
                            "<a HREF=\"ftp://two.example/\">Two</A><br>");
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].location, "http://one.example/");
    EXPECT_EQ(links[0].site_info.substr(0, 12), "first notes ");
    EXPECT_EQ(links[1].location, "ftp://two.example/");
    EXPECT_EQ(links[1].keyword, "ftp");
    EXPECT_EQ(links[1].description, "Two");
    EXPECT_EQ(links[1].site_info, "");  // notes that begin with a tag are none
}

TEST(HtmlScan, TruncatedLinksTakeTheRestOfTheLine)
{
    // No "</a>": the text after ">" is the description, no notes.
    auto links = scan("<a href=\"http://x.example/\">Text that runs off");
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].description, "Text that runs off");
    // No closing quote: the rest of the line is the target, cut to 128.
    links = scan("<a href=\"http://y.example/" + std::string(300, 'p'));
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].location.size(), 128u);
    // Cut right after the keyword, at the opening quote, inside "</a".
    EXPECT_TRUE(scan("<a href").empty());
    EXPECT_TRUE(scan("<a href=\"").empty());
    EXPECT_EQ(scan("<a href=\"http://z.example/\">Z</a").size(), 1u);
    EXPECT_TRUE(scan("<h").empty());
    EXPECT_TRUE(scan("<h3").empty());
    EXPECT_TRUE(scan("").empty());
}

TEST(HtmlScan, UnquotedTargetsAreSteppedOverAndLaterLinksStillTaken)
{
    const auto links = scan("<a href=http://bare.example/>Bare</a> href href "
                            "<a href=\"http://quoted.example/\">Q</a>");
    // The first quote after the bare "href" belongs to the quoted link's target.
    ASSERT_FALSE(links.empty());
    EXPECT_EQ(links.back().location, "http://quoted.example/");
    EXPECT_TRUE(scan("<a href=http://bare.example/>Bare</a>").empty());
}

TEST(HtmlScan, HostileLinesEndInLinearTime)
{
    const auto started = std::chrono::steady_clock::now();
    std::string many;
    for (int i = 0; i < 20000; ++i)
        many += "<a href=\"http://h" + std::to_string(i) + ".example/\">L</a>";
    EXPECT_EQ(scan(many).size(), 20000u);
    // Notes after every link: each is decoded only as far as its field reaches.
    std::string noted;
    for (int i = 0; i < 20000; ++i)
        noted += "<a href=\"http://n" + std::to_string(i) + ".example/\">L</a> notes of the link ";
    EXPECT_EQ(scan(noted).size(), 20000u);

    EXPECT_TRUE(scan(std::string(1 << 20, '"')).empty());
    std::string hrefs;
    for (int i = 0; i < 200000; ++i)
        hrefs += "href";
    EXPECT_TRUE(scan(hrefs).empty());
    std::string headings;
    for (int i = 0; i < 100000; ++i)
        headings += "<h";
    headings += "href=\"a:b\"";
    std::string heading;
    EXPECT_EQ(scan(headings, &heading).size(), 1u);
    std::string quotes_and_colons;
    for (int i = 0; i < 100000; ++i)
        quotes_and_colons += "href=\":\"";
    EXPECT_EQ(scan(quotes_and_colons).size(), 100000u);
    std::string binary;
    for (int i = 0; i < 1 << 16; ++i)
        binary += static_cast<char>(i * 37);
    scan(binary, &heading);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

TEST(HtmlScan, ReferencesAreDecodedOnceBeforeTheFieldsAreCut)
{
    std::string heading;
    const auto links = scan("<DT><H3 ADD_DATE=\"1\">R&amp;D &amp; more</H3>"
                            "<A HREF=\"http://q.example/?a=1&amp;b=&quot;2&quot;\">AT&amp;T &lt;b&gt; &amp;lt;</A>"
                            " caf&eacute; &#8364;&#x263A;"
                            "<A HREF=\"http://n.example/\">N</A>&lt;not a tag&gt;",
                            &heading);
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].heading, "R&D & more");
    EXPECT_EQ(links[0].location, "http://q.example/?a=1&b=\"2\"");
    EXPECT_EQ(links[0].description, "AT&T <b> &lt;");
    EXPECT_TRUE(links[0].site_info.starts_with("caf\xC3\xA9 \xE2\x82\xAC\xE2\x98\xBA<A HREF")) << links[0].site_info;
    // Notes that begin with an escaped "<" are text, not a tag.
    EXPECT_EQ(links[1].site_info, "<not a tag>");

    // A reference that decodes to two bytes across the 60-byte description cut
    // is left out whole; one that decodes shorter lets more text in.
    const auto cut = scan("<a href=\"http://c.example/\">" + std::string(59, 'x') + "&eacute;yz</a>"
                          "<a href=\"http://d.example/\">" + std::string(56, 'y') + "&lt;&gt;&amp;&quot;zz</a>");
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0].description, std::string(59, 'x'));
    EXPECT_EQ(cut[1].description, std::string(56, 'y') + "<>&\"");
}

// ---------------------------------------------------------------------------
// The import end to end.

using ImportHtmlTest = TransferTest;

const char* const kBookmarks =
    "<!DOCTYPE html>\r\n"
    "<TITLE>Bookmarks</TITLE>\r\n"
    "<DL><p>\r\n"
    "    <DT><A HREF=\"http://first.example/\">First</A>\r\n"
    "    <DT><H3 ADD_DATE=\"900\">Tools</H3>\r\n"
    "    <DT><A HREF=\"http://tool.example/\" ADD_DATE=\"1\">A Tool</A>\r\n"
    "    <DD>Notes of the tool\r\n"
    "    <DT><A HREF=\"#Local:anchor\">Anchor</A>\r\n"
    "    <DT><A HREF=\"relative.htm\">Relative</A>\r\n"
    "    <DT><A HREF=\"mailto:me@example.org\">Mail</A> write often\r\n"
    "</DL><p>\r\n";

TEST_F(ImportHtmlTest, BookmarkFileAddsLinksWithHeadingCategories)
{
    write_input(kBookmarks);
    sa::ImportHtml import;
    import.run_to_end();

    const auto stored = sites();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].location, "http://first.example/");
    EXPECT_EQ(stored[0].category, "NEW");
    EXPECT_EQ(stored[0].keyword, "http");
    EXPECT_EQ(stored[1].location, "http://tool.example/");
    EXPECT_EQ(stored[1].category, "Tools");
    EXPECT_EQ(stored[1].description, "A Tool");
    EXPECT_EQ(stored[2].location, "mailto:me@example.org");
    EXPECT_EQ(stored[2].keyword, "?");
    EXPECT_EQ(stored[2].memo, "write often");
    EXPECT_EQ(stored[2].rating, 0);
    // The heading's category is added; "NEW" is not.
    EXPECT_EQ(categories(), (std::vector<std::string>{"Tools"}));
    EXPECT_EQ(sa::LastResponse, sa::ResponseDone);
    EXPECT_EQ(import.percent_text(), "Process Completed");
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ImportHtmlTest, ImportingTheSameFileTwiceAddsNothingTheSecondTime)
{
    write_input(kBookmarks);
    sa::ImportHtml first;
    first.run_to_end();
    EXPECT_EQ(first.sites_added(), 3);
    sa::ImportHtml second;
    second.run_to_end();
    EXPECT_EQ(second.sites_added(), 0);
    EXPECT_EQ(sites().size(), 3u);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ImportHtmlTest, ChosenCategoryOverridesHeadingsAndAddsNoCategory)
{
    write_input(kBookmarks);
    sa::ImportHtml import("Picked");
    import.run_to_end();
    for (const auto& site : sites())
        EXPECT_EQ(site.category, "Picked");
    EXPECT_TRUE(categories().empty());
}

TEST_F(ImportHtmlTest, ExistingCategoryOfAnyCaseIsNotAddedAgain)
{
    add_category("TOOLS");
    write_input(kBookmarks);
    sa::ImportHtml import;
    import.run_to_end();
    EXPECT_EQ(categories(), (std::vector<std::string>{"TOOLS"}));
}

TEST_F(ImportHtmlTest, ReadsInBatchesOfAThousandBytesWithByteProgress)
{
    std::string page;
    for (int i = 0; i < 100; ++i)
        page += "<a href=\"http://b" + std::to_string(1000 + i) + ".example/\">Site</a>\r\n";
    constexpr std::int64_t kLine = 42;
    ASSERT_EQ(page.size(), 100u * kLine);
    write_input(page);
    sa::ImportHtml import;
    import.start();
    EXPECT_EQ(import.progress().total(), 100 * kLine);
    EXPECT_EQ(import.user_text(), "Reading File");
    import.window_opened();
    EXPECT_EQ(import.progress().done(), kLine);
    import.run_batch();
    // The batch ends with the read that passes 1000 bytes: 24 lines of 42 bytes.
    EXPECT_EQ(import.sites_added(), 24);
    EXPECT_EQ(import.progress().done(), 25 * kLine);
    EXPECT_EQ(import.percent_text(), " 25% Completed");
    import.cancel();
    EXPECT_TRUE(import.closing());
    import.finish();
    EXPECT_EQ(sites().size(), 24u);
    EXPECT_EQ(sa::LastResponse, sa::ResponseCancelled);
}

TEST_F(ImportHtmlTest, CancelledStartOpensNothingAndImportsNothing)
{
    write_input(kBookmarks);
    sa::ImportHtml import;
    import.start_cancelled();
    import.window_opened();
    EXPECT_TRUE(import.run_batch());
    EXPECT_EQ(sa::ImportFileUsers, 0);
    EXPECT_EQ(sa::LINKDBUsers, 0);
    import.finish();
    EXPECT_EQ(sa::LastResponse, sa::ResponseCancelled);
    EXPECT_TRUE(sites().empty());
}

TEST_F(ImportHtmlTest, OtherAddErrorsGoToTheStopBoxAndTheImportGoesOn)
{
    write_input(kBookmarks);
    wrapper().fail_add_code = sk::rt::kAccessDenied;
    std::vector<std::string> stops;
    sa::ImportHtml import;
    import.set_add_error_handler([&](std::string_view message) { stops.emplace_back(message); });
    import.run_to_end();
    ASSERT_EQ(stops.size(), 3u);
    EXPECT_EQ(stops[0], sk::rt::error_message(sk::rt::kAccessDenied) + " adding location");
    EXPECT_EQ(sa::LastResponse, sa::ResponseDone);
}

TEST_F(ImportHtmlTest, DialogDirectoriesFollowTheImportKind)
{
    const std::string saved = sk::platform::current_directory();
    sk::test::PlatformTempDir program, last, elsewhere;
    sa::set_fixed(sa::ProgramDirectory, program.path());
    sa::set_fixed(sa::LastDirectory, last.path());

    sa::prepare_import_dialog(sa::ImportKind::kHtml);
    EXPECT_EQ(sk::platform::current_directory(), last.path());
    sk::platform::set_current_directory(elsewhere.path());
    EXPECT_FALSE(sa::finish_import_dialog(sa::ImportKind::kHtml, true, "   "));  // a blank name
    EXPECT_EQ(sa::fixed_text(sa::LastDirectory), elsewhere.path());
    EXPECT_EQ(sk::platform::current_directory(), program.path());
    EXPECT_EQ(sa::fixed_text(sa::ExportFileName), m_path);

    sa::prepare_import_dialog(sa::ImportKind::kAsciiList);
    EXPECT_TRUE(sa::finish_import_dialog(sa::ImportKind::kAsciiList, true, "list.txt"));
    EXPECT_EQ(sa::fixed_text(sa::ExportFileName), "list.txt");
    EXPECT_EQ(sa::fixed_text(sa::LastDirectory), elsewhere.path());  // kept on success
    EXPECT_EQ(sk::platform::current_directory(), program.path());

    // The other-text import opens where it is and never changes LastDirectory.
    sa::prepare_import_dialog(sa::ImportKind::kOtherText);
    EXPECT_EQ(sk::platform::current_directory(), program.path());
    sk::platform::set_current_directory(last.path());
    EXPECT_FALSE(sa::finish_import_dialog(sa::ImportKind::kOtherText, false, "ignored.txt"));
    EXPECT_EQ(sa::fixed_text(sa::LastDirectory), elsewhere.path());
    EXPECT_EQ(sk::platform::current_directory(), program.path());
    sk::platform::set_current_directory(saved);
}

TEST_F(ImportHtmlTest, LongBookmarkLinesWithIconDataAreReadWhole)
{
    // Browsers write each link's icon into its tag, ahead of the title.
    const std::string icon = "data:image/png;base64," + std::string(2900, 'Q');
    const std::string long_line =
        "    <DT><A HREF=\"http://icon.example/\" ADD_DATE=\"1\" ICON=\"" + icon + "\">Icon &amp; Title</A>";
    ASSERT_GT(long_line.size(), 3000u);
    // A line longer than the record loses its end but not the lines after it.
    const std::string too_long = "<A HREF=\"http://cut.example/\">Cut</A>" + std::string(70000, ' ') +
                                 "<A HREF=\"http://lost.example/\">Lost</A>";
    const auto stored = import_sites<sa::ImportHtml>("<DL><p>\r\n" + long_line + "\r\n" + too_long + "\r\n" +
                                                     "    <DT><A HREF=\"http://after.example/\">After</A>\r\n");
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].location, "http://after.example/");
    EXPECT_EQ(stored[1].location, "http://cut.example/");
    EXPECT_EQ(stored[2].location, "http://icon.example/");
    EXPECT_EQ(stored[2].description, "Icon & Title");
    EXPECT_EQ(sa::ImportFileUsers, 0);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ImportHtmlTest, ImportExportImportGivesTheSameTitlesAndAddresses)
{
    write_input("<DL><p>\r\n"
                "<DT><A HREF=\"http://att.example/\">AT&amp;T</A>\r\n"
                "<DT><A HREF=\"http://q.example/?a=1&amp;b=2\">&lt;Tags&gt; &amp; &quot;quotes&quot;</A>\r\n"
                "<DT><A HREF=\"http://odd.example/say&quot;hi&quot;\">Caf&eacute; &#8364; &#x263A;</A>\r\n"
                "<DT><A HREF=\"http://once.example/\">&amp;lt; stays &amp;lt;</A>\r\n"
                "</DL><p>\r\n");
    sa::ImportHtml first("Trip");
    first.run_to_end();
    const auto imported = sites();
    ASSERT_EQ(imported.size(), 4u);
    EXPECT_EQ(imported[0].description, "AT&T");
    EXPECT_EQ(imported[1].location, "http://odd.example/say\"hi\"");
    EXPECT_EQ(imported[1].description, "Caf\xC3\xA9 \xE2\x82\xAC \xE2\x98\xBA");
    EXPECT_EQ(imported[2].description, "&lt; stays &lt;");
    EXPECT_EQ(imported[3].location, "http://q.example/?a=1&b=2");
    EXPECT_EQ(imported[3].description, "<Tags> & \"quotes\"");

    sa::HtmlExport exporter;
    exporter.run_to_end();
    sk::test::memory_store_clear();
    wrapper().memos.clear();
    ASSERT_TRUE(sites().empty());

    sa::ImportHtml again("Trip");
    again.run_to_end();
    std::vector<Site> back;
    for (const Site& site : sites())
        if (site.location.find("sitekeeper") == std::string::npos)  // the page's own footer links
            back.push_back(site);
    ASSERT_EQ(back.size(), imported.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
        EXPECT_EQ(back[i].location, imported[i].location);
        EXPECT_EQ(back[i].description, imported[i].description);
        EXPECT_EQ(back[i].category, "Trip");
    }
}

TEST_F(ImportHtmlTest, EmptyFileClosesAtOnce)
{
    write_input("");
    sa::ImportHtml import;
    import.start();
    import.window_opened();
    EXPECT_TRUE(import.closing());
    import.finish();
    EXPECT_EQ(sa::LastResponse, sa::ResponseCancelled);
    EXPECT_TRUE(m_messages.empty());
}

}  // namespace
