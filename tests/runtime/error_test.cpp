#include "runtime/error.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/system_error.h"
#include "runtime/halt.h"
#include "runtime/messages.h"

namespace sk::rt {
namespace {

class ErrorStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        clear_message_overrides();
        clear_error();
        sk::platform::set_last_system_error(0);
    }
    void TearDown() override {
        clear_message_overrides();
        set_message_presenter({});
    }
};

TEST_F(ErrorStateTest, PostingZeroMirrorsTheSystemError) {
    sk::platform::set_last_system_error(2);
    post_error(0);
    EXPECT_EQ(error_code(), 302);
    EXPECT_EQ(error_text(), "File Not Found");
    EXPECT_EQ(error_system_code(), 2);

    sk::platform::set_last_system_error(32);
    post_error(0);
    EXPECT_EQ(error_code(), 332);
    EXPECT_EQ(error_text(), "Sharing Violation");
}

TEST_F(ErrorStateTest, CodesWithoutTextFallBackToUnknownError) {
    post_error(97);
    EXPECT_EQ(error_code(), 97);
    EXPECT_EQ(error_text(), "Unknown Error Posted : 97");
    EXPECT_EQ(error_message(0), "Unknown Error Posted");
    // Code 90 has no text of its own; drivers fill their own texts for it.
    EXPECT_EQ(error_message(90), "Unknown Error Posted : 90");
    char buffer[8];
    EXPECT_FALSE(message_text(90, buffer, sizeof buffer));
    EXPECT_TRUE(message_text(35, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "Record ");  // cut to capacity - 1 and terminated
}

TEST_F(ErrorStateTest, OverridesComeFirstAndReplaceEachOther) {
    add_message_override(35, "Kein Satz");
    post_error(35);
    EXPECT_EQ(error_text(), "Kein Satz");
    add_message_override(35, "Satz fehlt");
    EXPECT_EQ(error_message(35), "Satz fehlt");
    // Ids with no table entry exist only as overrides.
    bool found = false;
    message_text(32512, &found);
    EXPECT_FALSE(found);
    add_message_override(32512, "&Ja");
    EXPECT_EQ(message_text(32512, &found), "&Ja");
    EXPECT_TRUE(found);
}

TEST_F(ErrorStateTest, TextSlotSkipsLeadingBlanksAndKeeps79Characters) {
    set_error(5, "   Access Denied");
    EXPECT_EQ(error_text(), "Access Denied");
    std::string long_text(100, 'x');
    set_error(5, long_text);
    EXPECT_EQ(error_text(), std::string(79, 'x'));
    EXPECT_EQ(error_text_slot().size(), 80u);
    EXPECT_EQ(error_text_slot()[79], ' ');
    // A multi-byte character straddling the cut is left out whole.
    std::string utf8 = std::string(78, 'a') + "\xC3\xA9" + "z";
    set_error(5, utf8);
    EXPECT_EQ(error_text(), std::string(78, 'a'));
}

TEST_F(ErrorStateTest, ClearBlanksEverythingIncludingDriverTexts) {
    int file_stand_in = 0;
    set_error(90, "File System Error");
    set_error_file(reinterpret_cast<sk::data::FileControlBlock*>(&file_stand_in));
    set_driver_texts("E17", "disk on fire");
    EXPECT_EQ(driver_error_code(), "E17");
    EXPECT_EQ(driver_error_message(), "disk on fire");
    clear_error();
    EXPECT_EQ(error_code(), 0);
    EXPECT_EQ(error_file(), nullptr);
    EXPECT_EQ(error_text(), "");
    EXPECT_EQ(driver_error_code(), "");
    EXPECT_EQ(driver_error_message(), "");
    // set_error forgets the file of an earlier failure.
    set_error_file(reinterpret_cast<sk::data::FileControlBlock*>(&file_stand_in));
    set_error(33, "Record Not Available");
    EXPECT_EQ(error_file(), nullptr);
}

TEST_F(ErrorStateTest, PushAndPopRestoreTheSavedStateNewestFirst) {
    post_error(35);
    push_error_state();
    post_error(33);
    push_error_state();
    clear_error();
    pop_error_state();
    EXPECT_EQ(error_code(), 33);
    pop_error_state();
    EXPECT_EQ(error_code(), 35);
    EXPECT_EQ(error_text(), "Record Not Found");
    pop_error_state();  // empty stack: nothing changes
    EXPECT_EQ(error_code(), 35);
}

TEST(MessageTable, HoldsEveryGroupWithExactTexts) {
    std::size_t count = message_table().size();
    EXPECT_EQ(count, 38u + 72u + 10u + 40u + 5u + 3u);
    EXPECT_STREQ(table_message(78), "Invalid Number Of Parameters ");
    EXPECT_STREQ(table_message(350), "Not Supported ");
    EXPECT_STREQ(table_message(509), "Internal error 09");
    EXPECT_STREQ(table_message(515), "Internal error 15");
    EXPECT_STREQ(table_message(802), "Mismatched PUSHSCOPE/POPSCOPE");
    EXPECT_EQ(table_message(90), nullptr);
    EXPECT_EQ(table_message(516), nullptr);
}

TEST(RuntimeErrorDeathTest, ShowsCodeTextAndDetailThenExitsWithTwo) {
    EXPECT_EXIT(
        {
            set_message_presenter([](const MessageRequest& r) {
                fprintf(stderr, "[%.*s|%.*s|%d|%d]", static_cast<int>(r.caption.size()), r.caption.data(),
                        static_cast<int>(r.text.size()), r.text.data(), r.buttons, r.icon);
                return static_cast<int>(kButtonOk);
            });
            runtime_error(802, "Mismatched POPSCOPE");
        },
        ::testing::ExitedWithCode(2),
        "\\[Runtime error\\|Mismatched PUSHSCOPE/POPSCOPE : Mismatched POPSCOPE\\|1\\|1\\]");
}

TEST(RuntimeErrorTest, NotFatalWhenSwitchedOff) {
    set_message_presenter([](const MessageRequest&) { return 1; });
    set_runtime_errors_fatal(false);
    runtime_error(0, "just a detail");
    EXPECT_TRUE(had_runtime_error());
    set_runtime_errors_fatal(true);
    set_message_presenter({});
}

TEST(HaltDeathTest, RunsHandlersNewestFirstThenFinalisers) {
    EXPECT_EXIT(
        {
            register_module_finaliser([] { fputs("F1", stderr); });
            register_exit_handler([] { fputs("H1", stderr); });
            register_exit_handler([] { fputs("H2", stderr); });
            halt(7);
        },
        ::testing::ExitedWithCode(7), "H2H1F1");
}

TEST(HaltDeathTest, HaltMessageGoesToAHaltBox) {
    EXPECT_EXIT(halt(3, "Cannot open LINKDB"), ::testing::ExitedWithCode(3), "Halt: Cannot open LINKDB");
}

TEST(HaltDeathTest, HaltRunsOnceWhenAHandlerHaltsAgain) {
    EXPECT_EXIT(
        {
            register_exit_handler([] { fputs("second", stderr); });
            register_exit_handler([] {
                fputs("first", stderr);
                halt(5);
            });
            halt(4);
        },
        ::testing::ExitedWithCode(5), "^first$");
}

TEST(StopDeathTest, AbortEndsWithZeroAndIgnoreReturns) {
    int asked = 0;
    set_message_presenter([&](const MessageRequest& r) {
        ++asked;
        EXPECT_EQ(r.caption, "Stop");
        EXPECT_EQ(r.text, "Exit?");
        EXPECT_EQ(r.buttons, kButtonAbort | kButtonIgnore);
        EXPECT_EQ(r.default_button, kButtonAbort);
        return static_cast<int>(kButtonIgnore);
    });
    stop();
    EXPECT_EQ(asked, 1);
    set_message_presenter({});
    // Nobody can answer on standard error: that counts as Abort.
    EXPECT_EXIT(stop("Really?"), ::testing::ExitedWithCode(0), "Stop: Really\\?");
}

}  // namespace
}  // namespace sk::rt
