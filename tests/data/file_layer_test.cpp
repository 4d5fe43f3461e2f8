// The file layer: the precondition table, the generic dispatch and error posting,
// through the ASCII driver and through a small recording driver.
#include "data/file_layer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data/ascii/ascii_driver.h"
#include "runtime/error.h"

namespace {

namespace data = sk::data;
namespace rt = sk::rt;

class FileLayer : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/sk-layer-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        file_path = dir + "/lines.txt";
        std::ofstream(file_path, std::ios::binary) << "first\r\nsecond\r\n";
        name = file_path + std::string(40, ' ');  // a blank-padded name variable
        fields = data::FieldStreamBuilder().string(0, "ASC:LINE", 32).bytes();
        record.assign(32, ' ');
        fcb.entry = &sk::ascii::ascii_entry;
        fcb.name = name.data();
        fcb.name_length = std::uint32_t(name.size());
        fcb.attributes = data::kAttrCreate;
        fcb.record_length = 32;
        fcb.fields = fields.data();
        fcb.record = record.data();
        rt::clear_error();
        data::clear_text_stack();
    }
    void TearDown() override {
        if (fcb.state != nullptr) data::close(&fcb);
        EXPECT_EQ(fcb.state, nullptr);
        EXPECT_EQ(data::text_stack_depth(), 0u);
        std::filesystem::remove_all(dir);
    }

    std::string dir, file_path, name;
    std::vector<std::uint8_t> fields;
    std::vector<char> record;
    data::FileControlBlock fcb;
};

TEST_F(FileLayer, NextBeforeSetIs33AndOnAClosedFile37WithTheFileRecorded) {
    EXPECT_EQ(data::next(&fcb), rt::kFileNotOpen);
    EXPECT_EQ(rt::error_code(), rt::kFileNotOpen);
    EXPECT_EQ(rt::error_text(), "File Not Open");
    EXPECT_EQ(rt::error_file(), &fcb);
    EXPECT_EQ(fcb.state, nullptr);  // a File Not Open failure releases the state it created

    ASSERT_EQ(data::open(&fcb, 0x40), 0);
    EXPECT_EQ(rt::error_code(), 0);
    EXPECT_EQ(rt::error_file(), nullptr);
    EXPECT_EQ(data::next(&fcb), rt::kRecordNotAvailable);
    EXPECT_EQ(rt::error_file(), &fcb);
    ASSERT_EQ(data::set(&fcb), 0);
    EXPECT_EQ(rt::error_code(), 0);
    EXPECT_EQ(data::next(&fcb), 0);
    // A failed NEXT leaves no current record: PUT and POINTER say so.
    ASSERT_EQ(data::next(&fcb), 0);
    EXPECT_EQ(data::next(&fcb), rt::kRecordNotAvailable);
    EXPECT_EQ(data::put(&fcb), rt::kRecordNotAvailable);
}

TEST_F(FileLayer, OpenOfAnOpenFileIs52AndLeavesItOpen) {
    ASSERT_EQ(data::open(&fcb, 0x40), 0);
    EXPECT_EQ(data::open(&fcb, 0x40), rt::kFileAlreadyOpen);
    EXPECT_EQ(data::share(&fcb, 0x42), rt::kFileAlreadyOpen);
    EXPECT_EQ(data::create(&fcb), rt::kFileAlreadyOpen);
    EXPECT_EQ(data::remove(&fcb), rt::kFileAlreadyOpen);
    ASSERT_NE(fcb.state, nullptr);
    ASSERT_EQ(data::set(&fcb), 0);
    EXPECT_EQ(data::next(&fcb), 0);
    EXPECT_TRUE(std::filesystem::exists(file_path));
}

TEST_F(FileLayer, FailedOpenPostsTheSystemErrorAndReleasesTheState) {
    std::string missing = dir + "/missing.txt";
    fcb.name = missing.data();
    fcb.name_length = std::uint32_t(missing.size());
    EXPECT_EQ(data::open(&fcb, 0x42), rt::kFileNotFound);
    EXPECT_EQ(rt::error_text(), "File Not Found");
    EXPECT_EQ(rt::error_file(), &fcb);
    EXPECT_EQ(fcb.state, nullptr);
    std::string nodir = dir + "/no/such/dir.txt";
    fcb.name = nodir.data();
    fcb.name_length = std::uint32_t(nodir.size());
    EXPECT_EQ(data::open(&fcb, 0x42), rt::kPathNotFound);
    std::string blank(20, ' ');
    fcb.name = blank.data();
    fcb.name_length = std::uint32_t(blank.size());
    EXPECT_EQ(data::open(&fcb, 0x42), rt::kInvalidFilename);
}

TEST_F(FileLayer, UnsupportedOperationIs80WithTheFileAsErrorFile) {
    ASSERT_EQ(data::open(&fcb, 0x42), 0);
    EXPECT_EQ(data::records(&fcb), 0);
    EXPECT_EQ(rt::error_code(), rt::kUnsupportedFunction);
    EXPECT_EQ(rt::error_text(), "Unsupported File Driver Function");
    EXPECT_EQ(rt::error_file(), &fcb);
    EXPECT_EQ(data::commit(&fcb), -1);  // no transaction: refused by the state word, nothing posted
    EXPECT_EQ(data::lock(&fcb), 0);
    EXPECT_EQ(data::stream(&fcb), rt::kUnsupportedFunction);
    EXPECT_EQ(data::unlock(&fcb), 0);
    // A block without an entry gets 80 as well, and nothing is left on the text stack.
    data::FileControlBlock bare;
    EXPECT_EQ(data::rename(&bare, "x"), rt::kUnsupportedFunction);
    EXPECT_EQ(rt::error_file(), &bare);
}

TEST_F(FileLayer, QueriesLeaveThePreviousErrorInPlace) {
    ASSERT_EQ(data::open(&fcb, 0x40), 0);
    ASSERT_EQ(data::next(&fcb), rt::kRecordNotAvailable);
    EXPECT_EQ(data::name(&fcb), file_path);
    EXPECT_EQ(rt::error_code(), rt::kRecordNotAvailable);
    ASSERT_EQ(data::set(&fcb), 0);
    ASSERT_EQ(data::next(&fcb), 0);
    ASSERT_EQ(data::next(&fcb), 0);
    ASSERT_EQ(data::next(&fcb), rt::kRecordNotAvailable);
    // EOF is true, answered with -1 by the driver: the NEXT's error stays.
    EXPECT_TRUE(data::eof(&fcb));
    EXPECT_EQ(rt::error_code(), rt::kRecordNotAvailable);
    EXPECT_EQ(data::current_key(&fcb), 0);
    EXPECT_EQ(rt::error_code(), rt::kRecordNotAvailable);
    EXPECT_EQ(rt::error_file(), &fcb);
    // BYTES has post-action 1: it clears the error.
    EXPECT_EQ(data::bytes(&fcb), 15);
    EXPECT_EQ(rt::error_code(), 0);
}

TEST_F(FileLayer, SendRegisterReturnsTheDescriptorImage) {
    std::string image = data::send(&fcb, "REGISTER");
    ASSERT_EQ(image.size(), 166u + 1 + 32 + 1 + 2);
    auto field = [&](std::size_t at, std::size_t width) { return image.substr(at, width); };
    EXPECT_EQ(field(0, 21), std::string("ASCII") + std::string(16, '\0'));
    EXPECT_EQ(field(21, 13), std::string("TSASC16.DLL") + std::string(2, '\0'));
    EXPECT_EQ(field(75, 31), std::string("Ascii File Driver 1.0") + std::string(10, '\0'));
    const unsigned char caps[24] = {0x01, 0x00, 0x80, 0x00, 0x00, 0xff, 0xff, 0x00, 0x00, 0xfe, 0xff, 0x00,
                                    0x00, 0xff, 0xff, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(field(110, 24), std::string(reinterpret_cast<const char*>(caps), 24));
    EXPECT_EQ(field(134, 16), std::string("\x25\0\0\0\x19\0\0\0\x18\0\0\0\x79\0\0\0", 16));
    EXPECT_EQ(field(150, 12), std::string(12, '\0'));
    EXPECT_EQ(field(162, 4), std::string("\xa6\0\0\0", 4));
    const unsigned char ops[] = {31,   0x01, 0x04, 0x07, 0x09, 0x0A, 0x0D, 0x0E, 0x10, 0x14, 0x15, 0x17,
                                 0x18, 0x19, 0x1B, 0x1D, 0x1E, 0x25, 0x26, 0x29, 0x2B, 0x30, 0x32, 0x33,
                                 0x34, 0x35, 0x36, 0x37, 0x3B, 0x3C, 0x3D, 0x3F, 0x42, 2,    0x12, 0x16};
    EXPECT_EQ(image.substr(166), std::string(reinterpret_cast<const char*>(ops), sizeof ops));

    data::DescriptorView view;
    ASSERT_TRUE(data::parse_descriptor(image, &view));
    EXPECT_EQ(view.name, "ASCII");
    EXPECT_EQ(view.key_entry_size, 25u);
    EXPECT_EQ(view.operations.size(), 32u);
    EXPECT_EQ(data::driver_entry_from_handle(view.entry_handle), &sk::ascii::ascii_entry);
    EXPECT_FALSE(data::parse_descriptor(image.substr(0, 100), &view));

    // Unrecognised texts answer empty; SEND still succeeds and clears the error.
    rt::set_error(33, "x");
    EXPECT_EQ(data::send(&fcb, "NO SUCH OPTION"), "");
    EXPECT_EQ(rt::error_code(), 0);
}

// --- the generic dispatch, with a driver that records what reaches it ----------------

struct Recorder : data::DriverStateBase {
    std::vector<int> ops;
    std::vector<std::string> texts;
};
int g_released = 0;
std::vector<data::InstanceKind> g_registered;

int recorder_create(data::FileControlBlock* file) {
    file->state = new Recorder;
    return 0;
}
void recorder_release(data::FileControlBlock* file) {
    delete static_cast<Recorder*>(file->state);
    file->state = nullptr;
    ++g_released;
}
int recorder_run(data::DriverCall& call) {
    auto* r = static_cast<Recorder*>(call.file->state);
    r->ops.push_back(call.op);
    if (!call.text.empty() || !call.text2.empty()) r->texts.push_back(call.text + "|" + call.text2);
    switch (call.op) {
        case data::kOpOpen: case data::kOpClose: case data::kOpLogout: case data::kOpCommit:
        case data::kOpSet: case data::kOpReset: case data::kOpViewProperty: case data::kOpBuildAll:
        case data::kOpAdd:
            return 0;
        case data::kOpSend:
            call.text_result = "answer to " + call.text;
            return 0;
        case data::kOpBof:
            return -1;
        case data::kOpRecords:
            call.args->result = 42;
            return 0;
        case data::kOpNext:
            return rt::kRecordNotAvailable;
        default:
            return rt::kUnsupportedFunction;
    }
}
const data::DriverOps kRecorderOps = {nullptr, recorder_create, recorder_release, recorder_run, nullptr};
int recorder_entry(int op, data::FileControlBlock* file, data::OperationArgs* args) {
    return data::run_driver_operation(kRecorderOps, op, file, args);
}

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override {
        fcb.entry = recorder_entry;
        g_released = 0;
        g_registered.clear();
        rt::clear_error();
    }
    void TearDown() override {
        if (fcb.state) recorder_release(&fcb);
        data::set_instance_registration_hook(nullptr);
        EXPECT_EQ(data::text_stack_depth(), 0u);
    }
    Recorder* state() { return static_cast<Recorder*>(fcb.state); }
    data::FileControlBlock fcb;
};

TEST_F(Dispatch, PreconditionOrderOfErrors) {
    const data::OperationRow& build = data::operation_row(data::kOpBuildAll);  // requires C0, forbids 4
    EXPECT_EQ(data::check_preconditions(build, 0), 0);  // closed, open bit not required
    EXPECT_EQ(data::check_preconditions(build, 0x01), rt::kExclusiveAccessRequired);
    EXPECT_EQ(data::check_preconditions(build, 0x81), rt::kAccessDenied);
    EXPECT_EQ(data::check_preconditions(build, 0xC5), rt::kLogoutAlreadyActive);
    EXPECT_EQ(data::check_preconditions(data::operation_row(data::kOpAdd), 0x01), rt::kAccessDenied);
    EXPECT_EQ(data::check_preconditions(data::operation_row(data::kOpPut), 0x41), rt::kRecordNotAvailable);
    EXPECT_EQ(data::check_preconditions(data::operation_row(data::kOpFlush), 0x01), -1);
    EXPECT_EQ(data::check_preconditions(data::operation_row(data::kOpNext), 0x00), rt::kFileNotOpen);
    EXPECT_EQ(data::check_preconditions(data::operation_row(data::kOpOpen), 0x01), rt::kFileAlreadyOpen);
    EXPECT_EQ(data::check_preconditions(data::operation_row(0x23), 0x00), 0);
    EXPECT_EQ(data::check_preconditions(data::operation_row(0x99), 0x00), 0);
}

TEST_F(Dispatch, StateWordFollowsTheRowsAndOpenSetsAccessBits) {
    ASSERT_EQ(data::open(&fcb, 0x42), 0);
    EXPECT_EQ(fcb.state->state_word, data::kStateOpen | data::kStateWriteAccess);
    EXPECT_EQ(data::build(&fcb), rt::kExclusiveAccessRequired);
    ASSERT_EQ(data::set(&fcb), 0);
    EXPECT_EQ(fcb.state->last_sequential_op, data::kOpSet);
    EXPECT_EQ(data::next(&fcb), rt::kRecordNotAvailable);
    EXPECT_EQ(fcb.state->last_sequential_op, data::kOpSet);  // a failure records nothing
    ASSERT_EQ(data::add(&fcb), 0);
    EXPECT_TRUE(fcb.state->state_word & data::kStateCurrentRecord);
    ASSERT_EQ(data::logout(&fcb), 0);
    // CLOSE inside LOGOUT: 56, and the file stays open.
    EXPECT_EQ(data::close(&fcb), rt::kLogoutAlreadyActive);
    ASSERT_NE(fcb.state, nullptr);
    EXPECT_TRUE(fcb.state->state_word & data::kStateOpen);
    ASSERT_EQ(data::commit(&fcb), 0);
    ASSERT_EQ(data::close(&fcb), 0);
    EXPECT_EQ(fcb.state, nullptr);
    EXPECT_EQ(g_released, 1);

    ASSERT_EQ(data::open(&fcb, 0x12), 0);
    EXPECT_EQ(fcb.state->state_word, data::kStateOpen | data::kStateWriteAccess | data::kStateExclusive);
    EXPECT_EQ(data::build(&fcb), 0);
}

TEST_F(Dispatch, TextsTravelOnTheStackInStatementOrder) {
    EXPECT_EQ(data::send(&fcb, "ping"), "answer to ping");
    ASSERT_EQ(data::open(&fcb, 0x42), 0);
    ASSERT_EQ(data::view_property(&fcb, "31928", "filter text"), 0);
    EXPECT_EQ(state()->texts, (std::vector<std::string>{"ping|", "31928|filter text"}));
    // A blank position text is refused before the driver sees it.
    EXPECT_EQ(data::reset(&fcb, "    "), rt::kRecordNotFound);
    EXPECT_EQ(state()->ops.back(), data::kOpViewProperty);
    EXPECT_EQ(data::records(&fcb), 42);
}

TEST_F(Dispatch, BofTrueFromMinusOneLeavesTheErrorAlone) {
    ASSERT_EQ(data::open(&fcb, 0x42), 0);
    ASSERT_EQ(data::set(&fcb), 0);
    rt::set_error(35, "Record Not Found");
    EXPECT_TRUE(data::bof(&fcb));
    EXPECT_EQ(rt::error_code(), 35);
    EXPECT_EQ(data::records(&fcb), 42);
    EXPECT_EQ(rt::error_code(), 35);
}

TEST_F(Dispatch, RegistrationHookRunsBeforeOpenShareAndSendForAttributeBit4) {
    data::set_instance_registration_hook([](const data::InstanceRegistration& item) {
        g_registered.push_back(item.kind);
        if (item.kind == data::InstanceKind::kFileBlock) {
            EXPECT_EQ(item.size, 57u);
        }
        if (item.kind == data::InstanceKind::kKeyBlock) {
            EXPECT_EQ(item.size, 33u);
        }
    });
    data::KeyControlBlock k1, k2;
    data::KeyControlBlock* keys[] = {&k1, &k2};
    char buffer[8];
    fcb.keys = keys;
    fcb.key_count = 2;
    fcb.record = buffer;
    fcb.record_length = 8;
    ASSERT_EQ(data::open(&fcb, 0x42), 0);
    EXPECT_TRUE(g_registered.empty());
    ASSERT_EQ(data::close(&fcb), 0);
    fcb.attributes = data::kAttrRegister;
    ASSERT_EQ(data::open(&fcb, 0x42), 0);
    EXPECT_EQ(g_registered, (std::vector<data::InstanceKind>{data::InstanceKind::kFileBlock,
                                                              data::InstanceKind::kRecordBuffer,
                                                              data::InstanceKind::kKeyBlock,
                                                              data::InstanceKind::kKeyBlock}));
    data::next(&fcb);
    EXPECT_EQ(g_registered.size(), 4u);
}

// --- field streams ------------------------------------------------------------------

TEST(FieldStream, ParsesTheSiteDeclarationAndRefusesMalformedStreams) {
    std::vector<std::uint8_t> s = data::FieldStreamBuilder()
                                      .string(0, "URL:LOCATION", 128)
                                      .string(128, "URL:DESCRIPTION", 60)
                                      .string(188, "URL:CATEGORY", 15)
                                      .decimal(203, "URL:RATING", 2, 0)
                                      .string(205, "URL:KEYWORD", 10)
                                      .bytes();
    std::vector<data::FieldInfo> fields;
    ASSERT_EQ(data::parse_field_stream(s.data(), s.size(), &fields), 0);
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_EQ(fields[3].label, "URL:RATING");
    EXPECT_EQ(fields[3].size, 2u);
    EXPECT_EQ(fields[4].offset + fields[4].size, 215u);

    for (std::size_t cut = 1; cut + 1 < s.size(); ++cut) {
        EXPECT_EQ(data::parse_field_stream(s.data(), cut, &fields), rt::kInvalidFieldType) << cut;
    }
    std::vector<std::uint8_t> bad = s;
    bad[0] = 0x12;
    EXPECT_EQ(data::parse_field_stream(bad.data(), bad.size(), &fields), rt::kInvalidFieldType);
    bad = s;
    bad[1 + 1 + 4 + 13] = 0x55;  // first field's type code
    EXPECT_EQ(data::parse_field_stream(bad.data(), bad.size(), &fields), rt::kInvalidFieldType);
}

TEST_F(FileLayer, AsciiRefusesDeclarationsItCannotServe) {
    std::vector<std::uint8_t> with_long = data::FieldStreamBuilder()
                                              .string(0, "A", 8)
                                              .plain(8, "B", data::kTypeLong)
                                              .bytes();
    fcb.fields = with_long.data();
    EXPECT_EQ(data::open(&fcb, 0x40), rt::kUnsupportedDataType);
    std::vector<std::uint8_t> past_end = data::FieldStreamBuilder().string(0, "A", 40).bytes();
    fcb.fields = past_end.data();
    EXPECT_EQ(data::open(&fcb, 0x40), rt::kInvalidRecordDeclaration);
    std::uint8_t no_group[] = {0x18, 0, 0, 0, 0, 'A', 0, 0x12, 1, 0, 0, 0, 0, 0};
    fcb.fields = no_group;
    EXPECT_EQ(data::open(&fcb, 0x40), rt::kInvalidFieldType);
    fcb.fields = fields.data();
    data::KeyControlBlock key;
    data::KeyControlBlock* keys[] = {&key};
    fcb.keys = keys;
    fcb.key_count = 1;
    EXPECT_EQ(data::open(&fcb, 0x40), rt::kInvalidRecordDeclaration);
    EXPECT_EQ(rt::error_file(), &fcb);
    EXPECT_EQ(fcb.state, nullptr);
    fcb.key_count = 0;
    fcb.record_length = 70000;
    EXPECT_EQ(data::open(&fcb, 0x40), rt::kInvalidRecordDeclaration);
    fcb.record_length = 32;
    EXPECT_EQ(data::open(&fcb, 0x40), 0);
}

}  // namespace
