// Standard messages: the exact boxes, the error text they quote, and the entries
// that end the program.
#include "app/standard_messages.h"

#include "runtime/error.h"
#include "runtime/halt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using sk::app::ShowStandardMessage;

struct Shown {
    std::string caption;
    std::string text;
    int buttons;
    int default_button;
    int icon;
};

class StandardMessages : public ::testing::Test {
protected:
    void SetUp() override
    {
        sk::rt::clear_error();
        sk::rt::set_message_presenter([this](const sk::rt::MessageRequest& r) {
            shown.push_back({std::string(r.caption), std::string(r.text), r.buttons,
                             r.default_button, r.icon});
            return answer;
        });
    }
    void TearDown() override
    {
        sk::rt::set_message_presenter({});
        sk::rt::clear_error();
    }

    const Shown& only()
    {
        EXPECT_EQ(shown.size(), 1u);
        if (shown.empty())
            shown.push_back({});
        return shown.back();
    }

    std::vector<Shown> shown;
    int answer = sk::rt::kButtonOk;
};

// In a child that is about to halt: every box goes to standard error so the
// death test can match it.
void print_boxes_to_stderr()
{
    sk::rt::set_message_presenter([](const sk::rt::MessageRequest& r) {
        std::fprintf(stderr, "[%.*s|%.*s]\n", static_cast<int>(r.caption.size()), r.caption.data(),
                     static_cast<int>(r.text.size()), r.text.data());
        return r.caption == "Invalid Key" ? static_cast<int>(sk::rt::kButtonNo)
                                          : static_cast<int>(sk::rt::kButtonOk);
    });
}

TEST_F(StandardMessages, ErrorTextQuotesTheErrorStateMessageAndCode)
{
    sk::rt::post_error(sk::rt::kRecordNotFound);
    EXPECT_EQ(sk::app::standard_error_text(), "Record Not Found (35)");

    sk::rt::clear_error();
    EXPECT_EQ(sk::app::standard_error_text(), " (0)");
}

TEST_F(StandardMessages, ErrorTextUnderCode90QuotesTheDriversOwnTexts)
{
    sk::rt::set_error(sk::rt::kFileSystemError, "");
    sk::rt::set_driver_texts("E17", "Volume is write protected");
    EXPECT_EQ(sk::app::standard_error_text(), "Volume is write protected (E17)");

    ASSERT_EQ(ShowStandardMessage(35, "LINKDB"), sk::rt::kButtonOk);
    EXPECT_EQ(only().text,
              "Error: (Volume is write protected (E17)) attempting to access a record from the "
              "LINKDB file.  Returning to previous window.");
}

TEST_F(StandardMessages, ErrorTextIsCutAt150Characters)
{
    sk::rt::set_error(sk::rt::kFileSystemError, "");
    sk::rt::set_driver_texts(std::string(80, 'c'), std::string(80, 'm'));
    const std::string text = sk::app::standard_error_text();
    ASSERT_EQ(text.size(), 150u);
    EXPECT_EQ(text, std::string(80, 'm') + " (" + std::string(68, 'c'));
}

TEST_F(StandardMessages, FatalOpenerEntriesHaveTheirExactBoxes)
{
    sk::rt::post_error(sk::rt::kAccessDenied);
    sk::app::StandardMessage m;
    ASSERT_TRUE(sk::app::build_standard_message(1, "LINKDB   ", "", "", &m));
    EXPECT_EQ(m.caption, "Invalid File");
    EXPECT_EQ(m.text, "Error: (Access Denied (5)) accessing LINKDB.  Press OK to end this application.");
    EXPECT_EQ(m.buttons, sk::rt::kButtonOk);
    EXPECT_EQ(m.default_button, sk::rt::kButtonOk);
    EXPECT_EQ(m.icon, sk::rt::kIconExclamation);
    EXPECT_EQ(m.halt_message, "Invalid File!");

    ASSERT_TRUE(sk::app::build_standard_message(5, "CATEGORIES", "", "", &m));
    EXPECT_EQ(m.caption, "File Creation Error");
    EXPECT_EQ(m.text,
              "Error: (Access Denied (5)) opening created file:CATEGORIES.  Press OK to end this application.");
    EXPECT_EQ(m.halt_message, "File Creation Error!");

    ASSERT_TRUE(sk::app::build_standard_message(3, "LINKDB", "", "", &m));
    EXPECT_EQ(m.caption, "Key Rebuild Error");
    EXPECT_EQ(m.text,
              "Error: (Access Denied (5)) repairing key for LINKDB.  Press OK to end this application.");
    EXPECT_EQ(m.halt_message, "Error Rebuilding Key!");
}

TEST_F(StandardMessages, FileAccessErrorReturnsOkAndLeavesEndingToTheCaller)
{
    sk::rt::post_error(sk::rt::kFileAlreadyLocked);
    EXPECT_EQ(ShowStandardMessage(30, "LINKDB"), sk::rt::kButtonOk);
    const Shown& box = only();
    EXPECT_EQ(box.caption, "File Access Error");
    EXPECT_EQ(box.text, "File (LINKDB) could not be opened.  Error: File Is Already Locked (32).");
    EXPECT_EQ(box.icon, sk::rt::kIconExclamation);
    EXPECT_EQ(box.buttons, sk::rt::kButtonOk);
}

TEST_F(StandardMessages, RebuildQuestionAnsweredYesOrClosedReturnsYes)
{
    EXPECT_EQ(ShowStandardMessage(2, "LINKDB "), sk::rt::kButtonYes);
    const Shown& box = only();
    EXPECT_EQ(box.caption, "Invalid Key");
    EXPECT_EQ(box.text, "LINKDB key file is invalid.  Do you want to rebuild the key?");
    EXPECT_EQ(box.buttons, sk::rt::kButtonYes | sk::rt::kButtonNo);
    EXPECT_EQ(box.default_button, sk::rt::kButtonYes);
    EXPECT_EQ(box.icon, sk::rt::kIconQuestion);

    answer = 0;
    EXPECT_EQ(ShowStandardMessage(2, "LINKDB"), sk::rt::kButtonYes);
}

TEST_F(StandardMessages, TransactionFramingNamesTheOperationTwice)
{
    sk::rt::post_error(sk::rt::kFileAlreadyLocked);
    ShowStandardMessage(34, "Delete", "LINKDB");
    EXPECT_EQ(only().caption, "Transaction Framing Error");
    EXPECT_EQ(only().text,
              "Error: (File Is Already Locked (32)) attempting to frame the delete transaction on "
              "LINKDB.  Delete transaction cancelled.");
}

TEST_F(StandardMessages, UpdateErrorSaysChangedByAnotherStationUnderCode89Or0)
{
    sk::rt::post_error(sk::rt::kRecordChangedByAnother);
    ShowStandardMessage(15, "Record Changed by Another Station");
    sk::rt::clear_error();
    ShowStandardMessage(15, "LINKDB");
    sk::rt::post_error(sk::rt::kCreatesDuplicateKey);
    ShowStandardMessage(15, "LINKDB");
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, "This record was changed by another station.");
    EXPECT_EQ(shown[1].text, "This record was changed by another station.");
    EXPECT_EQ(shown[2].caption, "Update Operation Error");
    EXPECT_EQ(shown[2].text,
              "An error (Creates Duplicate Key (40)) was experienced when attempting to update a "
              "record from the file.  Probable Cause: LINKDB.");
}

TEST_F(StandardMessages, QuestionsReturnTheButtonPressed)
{
    answer = sk::rt::kButtonNo;
    EXPECT_EQ(ShowStandardMessage(16), sk::rt::kButtonNo);
    answer = sk::rt::kButtonOk;
    EXPECT_EQ(ShowStandardMessage(32), sk::rt::kButtonOk);
    answer = sk::rt::kButtonCancel;
    EXPECT_EQ(ShowStandardMessage(27, "readme.jr  "), sk::rt::kButtonCancel);
    ASSERT_EQ(shown.size(), 3u);

    EXPECT_EQ(shown[0].caption, "Record Update Error");
    EXPECT_EQ(shown[0].text,
              "An error was experienced changing this record.  Do you want to try to save again?");
    EXPECT_EQ(shown[0].buttons, sk::rt::kButtonYes | sk::rt::kButtonNo | sk::rt::kButtonCancel);
    EXPECT_EQ(shown[0].default_button, sk::rt::kButtonCancel);
    EXPECT_EQ(shown[0].icon, sk::rt::kIconExclamation);

    EXPECT_EQ(shown[1].caption, "Confirm Delete");
    EXPECT_EQ(shown[1].text,
              "You've selected to delete the highlighted record.  Press OK to confirm deletion of "
              "this record.");
    EXPECT_EQ(shown[1].buttons, sk::rt::kButtonOk | sk::rt::kButtonCancel);
    EXPECT_EQ(shown[1].default_button, sk::rt::kButtonCancel);
    EXPECT_EQ(shown[1].icon, sk::rt::kIconQuestion);

    EXPECT_EQ(shown[2].caption, "Cancel Request");
    EXPECT_EQ(shown[2].text, "Are you certain you want to stop loading readme.jr?");
}

TEST_F(StandardMessages, ViewerWrapQuestionDependsOnTheDirection)
{
    ShowStandardMessage(29, "Down");
    ShowStandardMessage(29, "Up");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, "End of File Error");
    EXPECT_EQ(shown[0].text,
              "The end of the viewed file was encountered.  Do you want to start again from the "
              "beginning?");
    EXPECT_EQ(shown[1].caption, "Beginning of File Error");
    EXPECT_EQ(shown[1].text,
              "The beginning of the viewed file was encountered.  Do you want to start again from "
              "the end of the file?");
    EXPECT_EQ(shown[1].buttons, sk::rt::kButtonYes | sk::rt::kButtonNo);
    EXPECT_EQ(shown[1].default_button, sk::rt::kButtonYes);
}

TEST_F(StandardMessages, FormAndLoaderMessagesJoinPiecesWithoutAddedBlanks)
{
    sk::rt::post_error(sk::rt::kCreatesDuplicateKey);
    ShowStandardMessage(11, "URL:Category", "Categories");
    ShowStandardMessage(24, "Site Location");
    ShowStandardMessage(14);
    ShowStandardMessage(26, "whatsnew.jr");
    ShowStandardMessage(28, "whatsnew.jr");
    ShowStandardMessage(36);
    ShowStandardMessage(17, "Categories");
    ASSERT_EQ(shown.size(), 7u);
    EXPECT_EQ(shown[0].text, "The value for URL:Category must be found in the Categories file.");
    EXPECT_EQ(shown[1].text, "Adding this record creates a duplicate entry for the key:Site Location");
    EXPECT_EQ(shown[2].text,
              "An error was experienced during the update of record.  Error: Creates Duplicate Key (40).");
    EXPECT_EQ(shown[3].text, "whatsnew.jr File Load Error.  Error: Creates Duplicate Key (40).");
    EXPECT_EQ(shown[4].text,
              "whatsnew.jr File Load Error.  The file you've requested contains no text.");
    EXPECT_EQ(shown[5].caption, "View Open Error");
    EXPECT_EQ(shown[5].text,
              "Error: (Creates Duplicate Key (40)) attempting to open the current VIEW. Filter and "
              "Range Limits ignored.");
    EXPECT_EQ(shown[6].caption, "Delete Operation Error");
    EXPECT_EQ(shown[6].text,
              "An error (Creates Duplicate Key (40)) was experienced when attempting to delete a "
              "record from the file Categories.");
}

TEST_F(StandardMessages, NumbersWithoutAnEntryShowNothing)
{
    for (int id : {0, 6, 10, 12, 13, 19, 25, 31, 33, 37, -1, 1000})
        EXPECT_EQ(ShowStandardMessage(id, "x"), 0) << id;
    EXPECT_TRUE(shown.empty());
}

using StandardMessagesDeathTest = StandardMessages;

TEST_F(StandardMessagesDeathTest, FatalEntryEndsTheProgramWithItsHaltMessage)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            print_boxes_to_stderr();
            sk::rt::post_error(sk::rt::kInvalidRecordDeclaration);
            ShowStandardMessage(1, "CATEGORIES");
        },
        ::testing::ExitedWithCode(0),
        "\\[Invalid File\\|Error: \\(Invalid Record Declaration \\(47\\)\\) accessing CATEGORIES\\."
        ".*\\[Halt\\|Invalid File!\\]");
}

TEST_F(StandardMessagesDeathTest, RebuildQuestionAnsweredNoEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            print_boxes_to_stderr();
            ShowStandardMessage(2, "LINKDB");
        },
        ::testing::ExitedWithCode(0), "\\[Halt\\|Invalid Key!\\]");
}

}  // namespace
