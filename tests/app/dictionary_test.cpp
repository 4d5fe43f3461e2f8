// The data dictionary: the declarations as drivers see them, the program-start
// globals, the usage counters, and every branch of OpenOrCreateFile, driven
// through the file layer by a small scripted driver.
#include "app/dictionary.h"

#include "data/file_layer.h"
#include "platform/file.h"
#include "runtime/error.h"
#include "runtime/halt.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

namespace sd = sk::data;
using sk::app::LINKDB;
using sk::app::OpenOrCreateFile;

// ---------------------------------------------------------------------------
// Declarations.

TEST(Dictionary, RecordDeclarationsMatchTheLayouts)
{
    std::size_t size = 0;
    const std::uint8_t* stream = sk::app::linkdb_field_stream(&size);
    const auto expected = sd::FieldStreamBuilder()
                              .string(0, "URL:LOCATION", 128)
                              .string(128, "URL:DESCRIPTION", 60)
                              .string(188, "URL:CATEGORY", 15)
                              .decimal(203, "URL:RATING", 2, 0)
                              .string(205, "URL:KEYWORD", 10)
                              .bytes();
    ASSERT_EQ(std::vector<std::uint8_t>(stream, stream + size), expected);

    std::vector<sd::FieldInfo> fields;
    ASSERT_EQ(sd::parse_field_stream(LINKDB.fields, LINKDB.fields_size, &fields), 0);
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_EQ(fields[3].label, "URL:RATING");
    EXPECT_EQ(fields[3].type, sd::kTypeDecimal);
    EXPECT_EQ(fields[3].size, 2u);
    EXPECT_EQ(fields[4].offset + fields[4].size, LINKDB.record_length);

    stream = sk::app::categories_field_stream(&size);
    EXPECT_EQ(std::vector<std::uint8_t>(stream, stream + size),
              sd::FieldStreamBuilder().string(0, "CAT:CATEGORY", 15).bytes());
    stream = sk::app::ascii_field_stream(&size);
    EXPECT_EQ(std::vector<std::uint8_t>(stream, stream + size),
              sd::FieldStreamBuilder().string(0, "ASC:LINE", 512).bytes());
}

TEST(Dictionary, FileBlocksCarryTheDeclaredShape)
{
    EXPECT_EQ(sd::file_name_text(LINKDB), "LINKDB");
    EXPECT_EQ(LINKDB.record_length, 215u);
    EXPECT_EQ(LINKDB.key_count, 5);
    EXPECT_EQ(LINKDB.memo_count, 1);
    EXPECT_EQ(LINKDB.attributes, 0x14);
    EXPECT_EQ(LINKDB.record, reinterpret_cast<char*>(&sk::app::url_record));

    EXPECT_EQ(sd::file_name_text(sk::app::Categories), "CATEGORIES");
    EXPECT_EQ(sk::app::Categories.record_length, 15u);
    EXPECT_EQ(sk::app::Categories.key_count, 1);
    EXPECT_EQ(sk::app::Categories.memo_count, 0);
    EXPECT_EQ(sk::app::Categories.attributes, 0x14);

    EXPECT_EQ(sk::app::AsciiFile.record_length, 512u);
    EXPECT_EQ(sk::app::AsciiFile.key_count, 0);
    EXPECT_EQ(sk::app::AsciiFile.name_length, 255u);
    // The imports read through a file of their own whose lines may be as long as
    // the ASCII driver allows; the export keeps the 512-byte line.
    EXPECT_EQ(sk::app::ImportFile.record_length, 65535u);
    EXPECT_EQ(sk::app::ImportFile.key_count, 0);
    EXPECT_EQ(sk::app::ImportFile.name_length, 255u);
    EXPECT_EQ(sk::app::declared_driver(sk::app::ImportFile), "ASCII");

    const sd::MemoControlBlock* memo = LINKDB.memos[0];
    EXPECT_EQ(std::string(memo->label, memo->label_length), "URL:SITEINFO");
    EXPECT_EQ(memo->size, 500u);
    EXPECT_EQ(memo->attributes, 1);

    EXPECT_EQ(sk::app::declared_driver(LINKDB), "KESTREL");
    EXPECT_EQ(sk::app::declared_driver(sk::app::Categories), "KESTREL");
    EXPECT_EQ(sk::app::declared_driver(sk::app::AsciiFile), "ASCII");
    EXPECT_NE(sk::app::AsciiFile.entry, nullptr);
}

TEST(Dictionary, KeysCarryTheirAttributeWordsAndComponents)
{
    struct Expected {
        const char* label;
        std::uint32_t attributes;
        std::vector<std::int32_t> parts;
    };
    const Expected linkdb[] = {
        {"URL:K_LOCATION", 6, {1}},     {"URL:K_DESCRIPTION", 7, {2}}, {"URL:K_CATEGORY", 5, {3, 1}},
        {"URL:K_RATING", 5, {4, 1}},    {"URL:K_KEYWORD", 5, {5, 1}},
    };
    for (int i = 0; i < 5; ++i) {
        const sd::KeyControlBlock* key = LINKDB.keys[i];
        EXPECT_EQ(std::string(key->label, key->label_length), linkdb[i].label);
        EXPECT_EQ(key->attributes, linkdb[i].attributes) << linkdb[i].label;
        EXPECT_EQ(std::vector<std::int32_t>(key->components, key->components + key->component_count),
                  linkdb[i].parts)
            << linkdb[i].label;
        EXPECT_EQ(key->file, &LINKDB);
    }
    const sd::KeyControlBlock* cat = sk::app::Categories.keys[0];
    EXPECT_EQ(cat, &sk::app::cat_k_category);
    EXPECT_EQ(std::string(cat->label, cat->label_length), "CAT:K_CATEGORY");
    EXPECT_EQ(cat->attributes, 6u);
    EXPECT_EQ(cat->file, &sk::app::Categories);
}

TEST(Dictionary, AsciiFileIsNamedByExportFileNameWhenOpened)
{
    sk::app::set_fixed(sk::app::ExportFileName, "sites.txt");
    EXPECT_EQ(sd::file_name_text(sk::app::AsciiFile), "sites.txt");
    sk::app::set_fixed(sk::app::ExportFileName, "bookmark.htm");
    EXPECT_EQ(sd::file_name_text(sk::app::AsciiFile), "bookmark.htm");
    EXPECT_EQ(sd::file_name_text(sk::app::ImportFile), "bookmark.htm");
}

TEST(Dictionary, ProgramStartSetsTheGlobals)
{
    sk::app::PendingRequest = sk::app::RequestDelete;
    sk::app::LastResponse = sk::app::ResponseCancelled;
    sk::app::set_fixed(sk::app::SavedCategory, "News");
    sk::app::set_fixed(sk::app::ExportFileName, "other.htm");
    sk::app::start_program_globals();

    EXPECT_EQ(sk::app::PendingRequest, 0);
    EXPECT_EQ(sk::app::LastResponse, 0);
    EXPECT_EQ(sk::app::Found, 0);
    EXPECT_EQ(std::string(sk::app::SavedCategory, 15), std::string(15, ' '));
    EXPECT_EQ(std::string(sk::app::Work, 255), std::string(255, ' '));
    EXPECT_EQ(std::string(sk::app::ExportFileName, 12), "bookmark.htm");
    EXPECT_EQ(sk::app::fixed_text(sk::app::ExportFileName), "bookmark.htm");
    const std::string here = sk::platform::current_directory();
    EXPECT_EQ(sk::app::fixed_text(sk::app::LastDirectory), here.substr(0, 255));
    EXPECT_EQ(sk::app::fixed_text(sk::app::ProgramDirectory), here.substr(0, 255));
}

TEST(Dictionary, FixedTextIsCutAndPadded)
{
    char field[5];
    sk::app::set_fixed(field, "abcdefgh");
    EXPECT_EQ(std::string(field, 5), "abcde");
    sk::app::set_fixed(field, "ab");
    EXPECT_EQ(std::string(field, 5), "ab   ");
    EXPECT_EQ(sk::app::fixed_text(field), "ab");
}

// ---------------------------------------------------------------------------
// A scripted driver: the disk file either exists or not, and each operation's
// answer can be set. It records what it was asked.

struct FakeState : sd::DriverStateBase {};

struct Script {
    bool exists = true;
    std::deque<int> open_results;  // answers of OPEN while the file exists; 0 once empty
    int create_result = 0;
    int build_result = 0;
    bool driver_texts = false;     // OPEN answers 90 with the driver's own texts
    std::vector<unsigned> open_modes;
    int creates = 0;
    int builds = 0;
    int closes = 0;
};
Script script;

int fake_create_state(sd::FileControlBlock* file)
{
    file->state = new FakeState;
    return 0;
}

void fake_release_state(sd::FileControlBlock* file)
{
    delete static_cast<FakeState*>(file->state);
    file->state = nullptr;
}

int fake_run(sd::DriverCall& call)
{
    switch (call.op) {
    case sd::kOpOpen: {
        script.open_modes.push_back(static_cast<unsigned>(call.args->at(0)));
        if (!script.exists)
            return sk::rt::kFileNotFound;
        if (script.driver_texts) {
            sk::rt::set_driver_texts("28", "No space left on device");
            return sk::rt::kFileSystemError;
        }
        if (script.open_results.empty())
            return 0;
        const int r = script.open_results.front();
        script.open_results.pop_front();
        return r;
    }
    case sd::kOpCreate:
        ++script.creates;
        if (script.create_result == 0)
            script.exists = true;
        return script.create_result;
    case sd::kOpBuildAll:
        ++script.builds;
        return script.build_result;
    case sd::kOpClose:
        ++script.closes;
        return 0;
    case sd::kOpName:
        call.text_result = sd::file_name_text(*call.file) + ".KSF";
        return 0;
    default:
        return sk::rt::kUnsupportedFunction;
    }
}

const sd::DriverOps kFakeOps{nullptr, fake_create_state, fake_release_state, fake_run, nullptr};

int fake_entry(int op, sd::FileControlBlock* file, sd::OperationArgs* args)
{
    return sd::run_driver_operation(kFakeOps, op, file, args);
}

struct Box {
    std::string caption;
    std::string text;
};

class OpenOrCreate : public ::testing::Test {
protected:
    void SetUp() override
    {
        script = Script{};
        ASSERT_EQ(sk::app::install_file_driver("KESTREL", fake_entry), 2);
        sk::rt::clear_error();
        sk::rt::set_message_presenter([this](const sk::rt::MessageRequest& r) {
            boxes.push_back({std::string(r.caption), std::string(r.text)});
            return answer;
        });
    }
    void TearDown() override
    {
        sd::close(&LINKDB);
        sd::close(&sk::app::Categories);
        sk::app::LINKDBUsers = 0;
        sk::app::CategoriesUsers = 0;
        sk::app::install_file_driver("KESTREL", nullptr);
        sk::rt::set_message_presenter({});
        sk::rt::clear_error();
    }

    std::vector<Box> boxes;
    int answer = sk::rt::kButtonYes;
};

// In a child about to halt: boxes are written to standard error for the matcher.
void boxes_to_stderr(int answer)
{
    sk::rt::set_message_presenter([answer](const sk::rt::MessageRequest& r) {
        std::fprintf(stderr, "[%.*s|%.*s]\n", static_cast<int>(r.caption.size()), r.caption.data(),
                     static_cast<int>(r.text.size()), r.text.data());
        return answer;
    });
}

bool linkdb_is_open()
{
    return LINKDB.state != nullptr && (LINKDB.state->state_word & sd::kStateOpen) != 0;
}

TEST_F(OpenOrCreate, OpensAnExistingFileShared)
{
    OpenOrCreateFile(LINKDB);
    EXPECT_TRUE(linkdb_is_open());
    EXPECT_EQ(script.open_modes, std::vector<unsigned>{0x42});
    EXPECT_EQ(script.creates, 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(sk::rt::error_code(), 0);

    // A second call finds the file already open and returns quietly.
    OpenOrCreateFile(LINKDB);
    EXPECT_TRUE(linkdb_is_open());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(OpenOrCreate, CreatesAMissingFileAndOpensIt)
{
    script.exists = false;
    OpenOrCreateFile(LINKDB);
    EXPECT_EQ(script.creates, 1);
    EXPECT_EQ(script.open_modes, (std::vector<unsigned>{0x42, 0x42}));
    EXPECT_TRUE(linkdb_is_open());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(OpenOrCreate, RebuildsKeysWhenTheUserAgrees)
{
    script.open_results = {sk::rt::kKeyFileMustBeRebuilt};
    OpenOrCreateFile(LINKDB);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Invalid Key");
    EXPECT_EQ(boxes[0].text, "LINKDB.KSF key file is invalid.  Do you want to rebuild the key?");
    EXPECT_EQ(script.builds, 1);
    EXPECT_EQ(script.open_modes, (std::vector<unsigned>{0x42, 0x42}));
    EXPECT_TRUE(linkdb_is_open());
}

TEST_F(OpenOrCreate, UsageCountersOpenOnceAndCloseWithTheLastUser)
{
    sk::app::use_linkdb();
    sk::app::use_linkdb();
    EXPECT_EQ(sk::app::LINKDBUsers, 2);
    EXPECT_EQ(script.open_modes.size(), 1u);
    sk::app::release_linkdb();
    EXPECT_TRUE(linkdb_is_open());
    EXPECT_EQ(script.closes, 0);
    sk::app::release_linkdb();
    EXPECT_EQ(sk::app::LINKDBUsers, 0);
    EXPECT_EQ(script.closes, 1);
    EXPECT_FALSE(linkdb_is_open());

    // A surplus release neither closes again nor sends the counter below 0, so the
    // next user still opens the file.
    sk::app::release_linkdb();
    EXPECT_EQ(sk::app::LINKDBUsers, 0);
    EXPECT_EQ(script.closes, 1);
    sk::app::use_linkdb();
    EXPECT_TRUE(linkdb_is_open());
    EXPECT_EQ(script.open_modes.size(), 2u);

    sk::app::use_categories();
    EXPECT_EQ(sk::app::CategoriesUsers, 1);
    EXPECT_EQ(script.open_modes.size(), 3u);
    sk::app::release_categories();
    EXPECT_EQ(sk::app::CategoriesUsers, 0);
}

using OpenOrCreateDeathTest = OpenOrCreate;

TEST_F(OpenOrCreateDeathTest, FailedCreateShowsWarning4AndEnds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    script.exists = false;
    script.create_result = sk::rt::kAccessDenied;
    EXPECT_EXIT(
        {
            boxes_to_stderr(sk::rt::kButtonOk);
            OpenOrCreateFile(LINKDB);
            std::fprintf(stderr, "returned\n");
        },
        ::testing::ExitedWithCode(0),
        "\\[File Creation Error\\|Error: \\(Access Denied \\(5\\)\\) creating LINKDB\\.KSF\\.  Press OK "
        "to end this application\\.\\]\n\\[Halt\\|File Creation Error!\\]");
}

TEST_F(OpenOrCreateDeathTest, CreatedFileThatWillNotOpenShowsWarning5)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    script.exists = false;
    script.open_results = {sk::rt::kFileAlreadyLocked};
    EXPECT_EXIT(
        {
            boxes_to_stderr(sk::rt::kButtonOk);
            OpenOrCreateFile(LINKDB);
        },
        ::testing::ExitedWithCode(0),
        "\\[File Creation Error\\|Error: \\(File Is Already Locked \\(32\\)\\) opening created "
        "file:LINKDB\\.KSF\\.  Press OK to end this application\\.\\]\n\\[Halt\\|File Creation Error!\\]");
}

TEST_F(OpenOrCreateDeathTest, InvalidDeclarationShowsWarning1)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    script.open_results = {sk::rt::kInvalidRecordDeclaration};
    EXPECT_EXIT(
        {
            boxes_to_stderr(sk::rt::kButtonOk);
            OpenOrCreateFile(sk::app::Categories);
        },
        ::testing::ExitedWithCode(0),
        "\\[Invalid File\\|Error: \\(Invalid Record Declaration \\(47\\)\\) accessing "
        "CATEGORIES\\.KSF\\.  Press OK to end this application\\.\\]\n\\[Halt\\|Invalid File!\\]");
}

TEST_F(OpenOrCreateDeathTest, DeclinedRebuildEndsWithInvalidKey)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    script.open_results = {sk::rt::kKeyFileMustBeRebuilt};
    EXPECT_EXIT(
        {
            boxes_to_stderr(sk::rt::kButtonNo);
            OpenOrCreateFile(LINKDB);
        },
        ::testing::ExitedWithCode(0), "\\[Invalid Key\\|.*\\]\n\\[Halt\\|Invalid Key!\\]");
}

TEST_F(OpenOrCreateDeathTest, FailedRebuildShowsWarning3)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    script.open_results = {sk::rt::kKeyFileMustBeRebuilt};
    script.build_result = sk::rt::kInsufficientMemory;
    EXPECT_EXIT(
        {
            boxes_to_stderr(sk::rt::kButtonYes);
            OpenOrCreateFile(LINKDB);
        },
        ::testing::ExitedWithCode(0),
        "\\[Key Rebuild Error\\|Error: \\(Insufficient Memory \\(8\\)\\) repairing key for "
        "LINKDB\\.KSF\\.  Press OK to end this application\\.\\]\n\\[Halt\\|Error Rebuilding Key!\\]");
}

TEST_F(OpenOrCreateDeathTest, RebuiltFileThatWillNotOpenShowsWarning30)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    script.open_results = {sk::rt::kKeyFileMustBeRebuilt, sk::rt::kKeyFileMustBeRebuilt};
    EXPECT_EXIT(
        {
            boxes_to_stderr(sk::rt::kButtonYes);
            OpenOrCreateFile(LINKDB);
        },
        ::testing::ExitedWithCode(0),
        "\\[File Access Error\\|File \\(LINKDB\\.KSF\\) could not be opened\\.  Error: Key File Must Be "
        "Rebuilt \\(46\\)\\.\\]\n\\[Halt\\|Disk Error\\]");
}

TEST_F(OpenOrCreateDeathTest, OtherFailureShowsWarning30EvenWhenUnanswered)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    script.open_results = {sk::rt::kAccessDenied};
    EXPECT_EXIT(
        {
            boxes_to_stderr(0);
            OpenOrCreateFile(LINKDB);
        },
        ::testing::ExitedWithCode(0),
        "\\[File Access Error\\|File \\(LINKDB\\.KSF\\) could not be opened\\.  Error: Access Denied "
        "\\(5\\)\\.\\]\n\\[Halt\\|Disk Error\\]");
}

TEST_F(OpenOrCreateDeathTest, DriverFailureQuotesTheDriversOwnTexts)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    script.driver_texts = true;
    EXPECT_EXIT(
        {
            boxes_to_stderr(sk::rt::kButtonOk);
            OpenOrCreateFile(LINKDB);
        },
        ::testing::ExitedWithCode(0),
        "\\[File Access Error\\|File \\(LINKDB\\.KSF\\) could not be opened\\.  Error: No space left on "
        "device \\(28\\)\\.\\]");
}

TEST_F(OpenOrCreateDeathTest, FileWithoutDriverCannotBeOpened)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    sk::app::install_file_driver("KESTREL", nullptr);
    EXPECT_EXIT(
        {
            boxes_to_stderr(sk::rt::kButtonOk);
            OpenOrCreateFile(LINKDB);
        },
        ::testing::ExitedWithCode(0),
        "\\[File Access Error\\|File \\(LINKDB\\) could not be opened\\.  Error: Unsupported File "
        "Driver Function \\(80\\)\\.\\]\n\\[Halt\\|Disk Error\\]");
}

// ---------------------------------------------------------------------------
// The same decision tree on a real text file through the ASCII driver.

class OpenOrCreateAscii : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/sk-dict-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        sk::rt::clear_error();
    }
    void TearDown() override
    {
        sd::close(&sk::app::AsciiFile);
        sk::app::set_fixed(sk::app::ExportFileName, "bookmark.htm");
        std::remove((dir + "/list.txt").c_str());
        ::rmdir(dir.c_str());
        sk::rt::clear_error();
    }
    std::string dir;
};

TEST_F(OpenOrCreateAscii, MissingTextFileIsCreatedEmptyAndOpened)
{
    const std::string path = dir + "/list.txt";
    sk::app::set_fixed(sk::app::ExportFileName, path);
    OpenOrCreateFile(sk::app::AsciiFile);
    EXPECT_EQ(sk::rt::error_code(), 0);
    EXPECT_TRUE(sk::platform::file_exists(path));
    EXPECT_EQ(sd::bytes(&sk::app::AsciiFile), 0);
}

using OpenOrCreateAsciiDeathTest = OpenOrCreateAscii;

TEST_F(OpenOrCreateAsciiDeathTest, FileInAMissingDirectoryEndsWithDiskError)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string path = dir + "/no-such-dir/list.txt";
    sk::app::set_fixed(sk::app::ExportFileName, path);
    EXPECT_EXIT(
        {
            boxes_to_stderr(sk::rt::kButtonOk);
            OpenOrCreateFile(sk::app::AsciiFile);
        },
        ::testing::ExitedWithCode(0),
        "\\[File Access Error\\|File \\(.*no-such-dir/list\\.txt\\) could not be opened\\.  "
        "Error: .*\\]\n\\[Halt\\|Disk Error\\]");
}

}  // namespace
