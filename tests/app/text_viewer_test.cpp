// The text viewer's model: loading real files in 20,000-byte batches through the
// ASCII driver, the load's failure cases and cancel, and the search with its
// whole-word and case rules, directions and wrap questions.
#include "app/text_viewer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/dictionary.h"
#include "platform/file.h"
#include "platform/system_error.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "support/platform_temp_dir.h"

namespace {

namespace sa = sk::app;

sa::SearchSettings settings(std::string text, bool whole_word = false, bool match_case = false)
{
    sa::SearchSettings s;
    s.text = std::move(text);
    s.whole_word = whole_word;
    s.match_case = match_case;
    return s;
}

TEST(FindInLine, WholeWordNeedsBlanksOrLineEndsAroundTheMatch)
{
    constexpr auto npos = std::string_view::npos;
    EXPECT_EQ(sa::find_in_line("the cat sat", settings("cat", true)), 4u);
    EXPECT_EQ(sa::find_in_line("cats", settings("cat", true)), npos);
    EXPECT_EQ(sa::find_in_line("concat", settings("cat", true)), npos);
    EXPECT_EQ(sa::find_in_line("cat      ", settings("cat", true)), 0u);  // trailing blanks are the line's padding
    // A later whole-word occurrence is found after an earlier part-word one.
    EXPECT_EQ(sa::find_in_line("cats and the cat", settings("cat", true)), 13u);
    EXPECT_EQ(sa::find_in_line("cat,", settings("cat", true)), npos);
}

TEST(FindInLine, CaseIsIgnoredUnlessMatchCase)
{
    constexpr auto npos = std::string_view::npos;
    EXPECT_EQ(sa::find_in_line("a quiet word", settings("WORD")), 8u);
    EXPECT_EQ(sa::find_in_line("a quiet word", settings("WORD", false, true)), npos);
    EXPECT_EQ(sa::find_in_line("a quiet WORD", settings("WORD", false, true)), 8u);
    EXPECT_EQ(sa::find_in_line("anything", settings("")), npos);
    EXPECT_EQ(sa::find_in_line("", settings("x")), npos);
}

class TextViewerTest : public ::testing::Test {
protected:
    TextViewerTest()
    {
        sk::rt::clear_error();
        m_saved_directory = sk::platform::current_directory();
        sk::platform::set_current_directory(m_dir.path());
        sk::rt::set_message_presenter([this](const sk::rt::MessageRequest& request) {
            m_messages.push_back(std::string(request.caption) + ": " + std::string(request.text));
            return sk::rt::kButtonOk;
        });
    }
    ~TextViewerTest() override
    {
        sk::platform::set_current_directory(m_saved_directory);
        sk::rt::set_message_presenter({});
    }

    void write(const std::string& name, const std::string& contents)
    {
        ASSERT_TRUE(sk::test::platform_write_file(m_dir.file(name), contents));
    }

    sk::test::PlatformTempDir m_dir;
    std::string m_saved_directory;
    std::vector<std::string> m_messages;
};

TEST_F(TextViewerTest, RefreshLoadsTheViewersFileOnceWithLinesCut)
{
    write("readme.jr", "first line\r\n\r\nthird\tline\r\n" + std::string(300, 'x') + "\r\nlast without end");
    sa::TextViewer viewer(sa::kReadMeViewer);
    auto start = viewer.refresh();
    ASSERT_TRUE(start);
    ASSERT_EQ(*start, sa::TextViewer::LoadStart::kLoading);
    EXPECT_EQ(viewer.progress_title(), "Reading File");
    viewer.load_window_opened();
    EXPECT_TRUE(viewer.load_batch());
    viewer.end_load();
    EXPECT_EQ(sa::fixed_text(sa::ViewFileName), "readme.jr");
    ASSERT_EQ(viewer.line_count(), 5u);
    EXPECT_EQ(viewer.line(1), "first line");
    EXPECT_EQ(viewer.line(2), "");
    EXPECT_EQ(viewer.line(3), "third   line");
    EXPECT_EQ(viewer.line(4), std::string(255, 'x'));
    EXPECT_EQ(viewer.line(5), "last without end");
    EXPECT_EQ(viewer.line(6), "");
    EXPECT_TRUE(viewer.list_enabled());
    EXPECT_EQ(viewer.percent_text(), "100% Completed (" + std::to_string(viewer.file_size()) + ") bytes");
    // The same file is not loaded again on the next gain of focus.
    EXPECT_FALSE(viewer.refresh());
}

TEST_F(TextViewerTest, LoadsInBatchesOf20000BytesWithTheByteCount)
{
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += std::string(48, 'a' + i % 26) + "\r\n";  // 50 bytes a line
    write("whatsnew.jr", text);
    sa::set_fixed(sa::ViewFileName, "whatsnew.jr");
    sa::TextViewer viewer(sa::kWhatsNewViewer);
    ASSERT_EQ(viewer.begin_load(), sa::TextViewer::LoadStart::kLoading);
    EXPECT_EQ(viewer.file_size(), 50000);
    viewer.load_window_opened();
    EXPECT_FALSE(viewer.load_batch());
    EXPECT_EQ(viewer.line_count(), 400u);
    EXPECT_EQ(viewer.percent_text(), " 40% Completed (20000) bytes");
    EXPECT_FALSE(viewer.load_batch());
    EXPECT_TRUE(viewer.load_batch());
    viewer.end_load();
    EXPECT_EQ(viewer.line_count(), 1000u);
    EXPECT_EQ(viewer.bytes_read(), 50000);
}

TEST_F(TextViewerTest, CancelConfirmedKeepsTheLinesReadSoFar)
{
    write("whatsnew.jr", std::string(30000, 'z') + "\r\n" + std::string(60000, 'y'));
    sa::set_fixed(sa::ViewFileName, "whatsnew.jr");
    sa::TextViewer viewer(sa::kWhatsNewViewer);
    std::vector<std::string> asked;
    bool answer = false;
    viewer.set_cancel_question([&](std::string_view name) {
        asked.emplace_back(name);
        return answer;
    });
    ASSERT_EQ(viewer.begin_load(), sa::TextViewer::LoadStart::kLoading);
    // The other viewer names its own file meanwhile; the question still names this one.
    sa::set_fixed(sa::ViewFileName, "readme.jr");
    viewer.load_window_opened();
    viewer.load_batch();
    EXPECT_FALSE(viewer.cancel_load());
    EXPECT_FALSE(viewer.loading_done());
    answer = true;
    EXPECT_TRUE(viewer.cancel_load());
    EXPECT_TRUE(viewer.loading_done());
    viewer.end_load();
    EXPECT_EQ(asked, (std::vector<std::string>{"whatsnew.jr", "whatsnew.jr"}));
    EXPECT_EQ(viewer.line_count(), 1u);
}

// A read that fails part way ends loading with the lines read before it, and the
// failure is told once, after loading, rather than the text passing for whole.
TEST_F(TextViewerTest, ReadErrorKeepsTheLinesBeforeItAndIsToldOnceAfterLoading)
{
    std::string text;
    for (int i = 1; i <= 4000; ++i) {
        std::string line = "line " + std::to_string(i);
        text += line + std::string(48 - line.size(), '.') + "\r\n";  // 50 bytes a line
    }
    write("whatsnew.jr", text);
    sa::set_fixed(sa::ViewFileName, "whatsnew.jr");
    sa::TextViewer viewer(sa::kWhatsNewViewer);
    // The disk fails under the second half of the file.
    sk::platform::set_file_read_fault_hook(
        [](const std::string& path, std::uint64_t offset, void*) {
            return path.ends_with("whatsnew.jr") && offset >= 100000 ? int(sk::platform::kErrReadFault) : 0;
        },
        nullptr);
    ASSERT_EQ(viewer.begin_load(), sa::TextViewer::LoadStart::kLoading);
    sa::set_fixed(sa::ViewFileName, "readme.jr");  // the other viewer's turn
    viewer.load_window_opened();
    int batches = 0;
    while (!viewer.load_batch() && ++batches < 20) {
    }
    sk::platform::set_file_read_fault_hook(nullptr, nullptr);
    viewer.end_load();
    EXPECT_TRUE(viewer.loading_done());
    EXPECT_TRUE(m_messages.empty());  // nothing while the progress window is up
    const std::size_t kept = viewer.line_count();
    EXPECT_GT(kept, 1000u);
    EXPECT_LT(kept, 4000u);
    EXPECT_EQ(viewer.line(1).substr(0, 7), "line 1.");
    const std::string last = "line " + std::to_string(kept);
    EXPECT_EQ(viewer.line(kept).substr(0, last.size() + 1), last + ".");
    EXPECT_EQ(viewer.bytes_read(), std::int64_t(kept) * 50);

    viewer.report_read_error();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "File Load Error: whatsnew.jr File Load Error.  Error: Read Fault (330).");
    viewer.report_read_error();
    EXPECT_EQ(m_messages.size(), 1u);

    // Read whole, the same file reports nothing.
    sa::set_fixed(sa::ViewFileName, "whatsnew.jr");
    ASSERT_EQ(viewer.load_all(), sa::TextViewer::LoadStart::kLoading);
    EXPECT_EQ(viewer.line_count(), 4000u);
    viewer.report_read_error();
    EXPECT_EQ(m_messages.size(), 1u);
}

// The shipped guide is found next to the program when the start directory has none.
TEST_F(TextViewerTest, ShippedTextIsReadFromTheProgramsDirectory)
{
    sa::TextViewer viewer(sa::kReadMeViewer);
    sa::set_fixed(sa::ViewFileName, "readme.jr");
    ASSERT_EQ(viewer.load_all(), sa::TextViewer::LoadStart::kLoading);
    EXPECT_TRUE(viewer.list_enabled());
    EXPECT_EQ(viewer.line(1), "Using Sitekeeper");
    EXPECT_GT(viewer.line_count(), 50u);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(sa::fixed_text(sa::ViewFileName), "readme.jr");
}

TEST_F(TextViewerTest, MissingEmptyAndUnnamedFilesLeaveTheListDisabled)
{
    sa::TextViewer viewer(sa::kReadMeViewer);
    sa::set_fixed(sa::ViewFileName, "");
    EXPECT_EQ(viewer.load_all(), sa::TextViewer::LoadStart::kNoFile);
    EXPECT_FALSE(viewer.list_enabled());
    EXPECT_TRUE(m_messages.empty());

    sa::set_fixed(sa::ViewFileName, "missing.jr");
    EXPECT_EQ(viewer.load_all(), sa::TextViewer::LoadStart::kOpenFailed);
    EXPECT_FALSE(viewer.list_enabled());
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].rfind("File Load Error: missing.jr File Load Error.", 0), 0u);

    write("empty.jr", "");
    sa::set_fixed(sa::ViewFileName, "empty.jr");
    EXPECT_EQ(viewer.load_all(), sa::TextViewer::LoadStart::kEmpty);
    EXPECT_FALSE(viewer.list_enabled());
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[1],
              "File Load Error: empty.jr File Load Error.  The file you've requested contains no text.");
    EXPECT_EQ(viewer.line_count(), 0u);
}

class ViewerSearchTest : public TextViewerTest {
protected:
    ViewerSearchTest()
    {
        write("readme.jr", "The cat sat\r\ncats only\r\nconcat\r\nA CAT again\r\nthe end\r\n");
        sa::set_fixed(sa::ViewFileName, "readme.jr");
        m_viewer.load_all();
        m_viewer.set_wrap_question([this](std::string_view direction) {
            m_asked.emplace_back(direction);
            return m_wrap_answer;
        });
        m_viewer.find_dialog_opened();
        m_viewer.search_settings().text = "cat";
    }

    sa::TextViewer m_viewer{sa::kReadMeViewer};
    std::vector<std::string> m_asked;
    bool m_wrap_answer = true;
};

TEST_F(ViewerSearchTest, DownFindsEachMatchAndWrapsFromTheEndWhenAllowed)
{
    EXPECT_EQ(m_viewer.search(0), 1u);
    EXPECT_EQ(m_viewer.search(1), 2u);
    m_viewer.search_settings().whole_word = true;
    EXPECT_EQ(m_viewer.search(1), 4u);
    EXPECT_TRUE(m_asked.empty());
    EXPECT_EQ(m_viewer.search(4), 1u);
    EXPECT_EQ(m_asked, (std::vector<std::string>{"Down"}));
    m_wrap_answer = false;
    EXPECT_FALSE(m_viewer.search(5));
}

TEST_F(ViewerSearchTest, UpWrapsFromTheFirstLineToTheLastAndMatchCaseNarrows)
{
    m_viewer.search_settings().direction = "Up";
    m_viewer.search_settings().match_case = true;
    m_viewer.search_settings().text = "CAT";
    EXPECT_EQ(m_viewer.search(1), 4u);
    EXPECT_EQ(m_asked, (std::vector<std::string>{"Up"}));
    // With no row selected the beginning is reached at once: one question, no endless walk.
    m_asked.clear();
    EXPECT_EQ(m_viewer.search(0), 4u);
    EXPECT_EQ(m_asked, (std::vector<std::string>{"Up"}));
}

TEST_F(ViewerSearchTest, FindDialogEmptiesTheTextAndItsAnswerGovernsFindNext)
{
    m_viewer.search_settings().whole_word = true;
    m_viewer.find_answered(true);
    EXPECT_TRUE(m_viewer.find_next_enabled());
    m_viewer.find_dialog_opened();
    EXPECT_EQ(m_viewer.search_settings().text, "");
    EXPECT_TRUE(m_viewer.search_settings().whole_word);
    m_viewer.find_answered(false);
    EXPECT_FALSE(m_viewer.find_next_enabled());
    // Nothing to look for: the search ends without a question.
    EXPECT_FALSE(m_viewer.search(1));
    EXPECT_TRUE(m_asked.empty());
}

}  // namespace

namespace {

// With no lines there is nothing to wrap round to: the search ends at once
// instead of asking at every end.
TEST_F(TextViewerTest, SearchOverNoLinesAsksNothing)
{
    sa::TextViewer viewer{sa::kReadMeViewer};
    int asked = 0;
    viewer.set_wrap_question([&](std::string_view) { return ++asked < 5; });
    viewer.search_settings().text = "cat";
    EXPECT_FALSE(viewer.search(0));
    viewer.search_settings().direction = "Up";
    EXPECT_FALSE(viewer.search(0));
    EXPECT_EQ(asked, 0);
}

}  // namespace
