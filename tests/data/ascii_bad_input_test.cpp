// The ASCII driver on input it was not made for: binary files, huge lines, torn
// terminators, files it cannot read, and hostile option texts and arguments.
#include "data/ascii/ascii_driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "data/file_layer.h"
#include "runtime/error.h"

namespace {

namespace data = sk::data;
namespace rt = sk::rt;

struct Declared {
    Declared(const std::string& path, std::uint32_t record_length)
        : name(path), record(record_length, ' ') {
        fields = data::FieldStreamBuilder().string(0, "ASC:LINE", record_length).bytes();
        fcb.entry = &sk::ascii::ascii_entry;
        fcb.name = name.data();
        fcb.name_length = std::uint32_t(name.size());
        fcb.attributes = data::kAttrCreate;
        fcb.record_length = record_length;
        fcb.fields = fields.data();
        fcb.fields_size = std::uint32_t(fields.size());
        fcb.record = record.data();
    }
    ~Declared() {
        if (fcb.state) data::close(&fcb);
    }
    std::string line() const {
        std::string s(record.begin(), record.end());
        s.erase(s.find_last_not_of(' ') + 1);
        return s;
    }
    data::FileControlBlock* get() { return &fcb; }

    std::string name;
    std::vector<char> record;
    std::vector<std::uint8_t> fields;
    data::FileControlBlock fcb;
};

class AsciiBadInput : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/sk-asciibad-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        rt::clear_error();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string write_file(const std::string& leaf, const std::string& bytes) const {
        std::string p = dir + "/" + leaf;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    std::string dir;
};

// Reads to the end; returns the records and the summed BYTES.
std::vector<std::string> drain(Declared& f, std::uint64_t* total_bytes, int* final_error) {
    std::vector<std::string> lines;
    *total_bytes = 0;
    EXPECT_EQ(data::set(f.get()), 0);
    for (int guard = 0; guard < 1000000; ++guard) {
        int r = data::next(f.get());
        if (r != 0) {
            *final_error = r;
            return lines;
        }
        lines.push_back(f.line());
        *total_bytes += std::uint64_t(data::bytes(f.get()));
    }
    ADD_FAILURE() << "NEXT never reached the end";
    return lines;
}

TEST_F(AsciiBadInput, BinaryFilesReadToTheEndAccountingForEveryByte) {
    std::mt19937 rng(7);
    std::string bytes(200000, '\0');
    for (char& c : bytes) {
        c = char(rng() % 256);
        if (c == 26) c = 27;  // Ctrl-Z would end the file early
    }
    for (unsigned mode : {0x40u, 0x20u}) {
        for (std::uint32_t reclen : {1u, 7u, 300u}) {
            Declared f(write_file("bin", bytes), reclen);
            ASSERT_EQ(data::open(f.get(), mode), 0);
            for (const char* tab : {"TAB=8", "TAB=-100"}) {
                data::send(f.get(), tab);
                std::uint64_t total = 0;
                int last = 0;
                drain(f, &total, &last);
                EXPECT_EQ(last, rt::kRecordNotAvailable);
                EXPECT_EQ(total, bytes.size()) << "mode " << mode << " record " << reclen;
            }
        }
    }
    // With Ctrl-Z bytes present the file simply ends early, without a failure of its own.
    std::string with_z = bytes;
    with_z[123456] = 26;
    with_z[123455] = '\n';
    Declared z(write_file("binz", with_z), 64);
    ASSERT_EQ(data::open(z.get(), 0x20), 0);
    std::uint64_t total = 0;
    int last = 0;
    drain(z, &total, &last);
    EXPECT_EQ(last, rt::kRecordNotAvailable);
    EXPECT_EQ(total, 123456u);
}

TEST_F(AsciiBadInput, OneTenMegabyteLineIsOneRecord) {
    std::string big(10 * 1024 * 1024, 'q');
    big.replace(0, 5, "start");
    std::string p = write_file("big", big + "\r\ntail\r\n");
    for (unsigned mode : {0x40u, 0x20u}) {
        Declared f(p, 256);
        ASSERT_EQ(data::open(f.get(), mode), 0);
        ASSERT_EQ(data::set(f.get()), 0);
        ASSERT_EQ(data::next(f.get()), 0);
        EXPECT_EQ(f.line().substr(0, 5), "start");
        EXPECT_EQ(f.line().size(), 256u);
        EXPECT_EQ(data::bytes(f.get()), std::int64_t(big.size() + 2));
        ASSERT_EQ(data::next(f.get()), 0);
        EXPECT_EQ(f.line(), "tail");
        EXPECT_EQ(data::next(f.get()), rt::kRecordNotAvailable);
    }
    // Without any terminator, and with a terminator of its own that never appears.
    Declared g(write_file("big2", big), 100);
    ASSERT_EQ(data::open(g.get(), 0x20), 0);
    data::send(g.get(), "ENDOFRECORD=3,1,2,3");
    ASSERT_EQ(data::set(g.get()), 0);
    ASSERT_EQ(data::next(g.get()), 0);
    EXPECT_EQ(data::bytes(g.get()), std::int64_t(big.size()));
    EXPECT_EQ(data::next(g.get()), rt::kRecordNotAvailable);
}

TEST_F(AsciiBadInput, CustomTerminatorSplitAcrossBufferRefillsIsFound) {
    // Lines longer than the buffer so that the skip crosses window edges at every offset.
    std::string text;
    for (int i = 0; i < 40; ++i) text += std::string(500 + i, char('a' + i % 26)) + "<END>";
    Declared f(write_file("split", text), 3);
    ASSERT_EQ(data::open(f.get(), 0x40), 0);
    data::send(f.get(), "ENDOFRECORD=5,60,69,78,68,62");
    std::uint64_t total = 0;
    int last = 0;
    std::vector<std::string> lines = drain(f, &total, &last);
    ASSERT_EQ(lines.size(), 40u);
    EXPECT_EQ(lines[39], "nnn");
    EXPECT_EQ(total, text.size());
}

TEST_F(AsciiBadInput, FileEndingInsideCrLfKeepsTheLoneCr) {
    Declared f(write_file("torn", "abc\r\ndef\r"), 20);
    ASSERT_EQ(data::open(f.get(), 0x40), 0);
    std::uint64_t total = 0;
    int last = 0;
    std::vector<std::string> lines = drain(f, &total, &last);
    EXPECT_EQ(lines, (std::vector<std::string>{"abc", "def\r"}));
    EXPECT_EQ(total, 9u);
    EXPECT_EQ(last, rt::kRecordNotAvailable);
    // The same torn ending on a line longer than the record.
    Declared g(write_file("torn2", "abcdefgh\r"), 4);
    ASSERT_EQ(data::open(g.get(), 0x20), 0);
    lines = drain(g, &total, &last);
    EXPECT_EQ(lines, (std::vector<std::string>{"abcd"}));
    EXPECT_EQ(total, 9u);
}

TEST_F(AsciiBadInput, UnreadableFilesGiveClearErrors) {
    // A directory in place of the file.
    std::filesystem::create_directory(dir + "/adir");
    Declared d(dir + "/adir", 80);
    int r = data::open(d.get(), 0x40);
    EXPECT_NE(r, 0);
    EXPECT_EQ(rt::error_code(), r);
    EXPECT_EQ(rt::error_file(), d.get());
    EXPECT_EQ(d.fcb.state, nullptr);

    // A file opened for writing only cannot be read: NEXT reports the failure.
    std::string p = write_file("wo", "secret\r\n");
    Declared w(p, 80);
    ASSERT_EQ(data::open(w.get(), 0x41), 0);
    ASSERT_EQ(data::set(w.get()), 0);
    r = data::next(w.get());
    EXPECT_NE(r, 0);
    EXPECT_NE(rt::error_code(), 0);
    EXPECT_EQ(rt::error_file(), w.get());
    EXPECT_EQ(w.line(), "");

    // A name of 144 characters or more.
    Declared longname(dir + "/" + std::string(150, 'n'), 80);
    EXPECT_EQ(data::open(longname.get(), 0x40), rt::kInvalidFilename);
}

TEST_F(AsciiBadInput, HostileArgumentsAndOptionTextsAreRefused) {
    std::string p = write_file("h", "one\r\ntwo\r\n");
    Declared f(p, 16);
    ASSERT_EQ(data::open(f.get(), 0x22), 0);
    EXPECT_EQ(data::get_pointer(f.get(), -5), rt::kRecordNotAvailable);
    EXPECT_EQ(data::get_pointer(f.get(), std::int64_t(1) << 40), rt::kRecordNotAvailable);
    EXPECT_EQ(data::reget(f.get(), std::string("\xff\xff\xff\xff", 4)), rt::kRecordNotAvailable);
    EXPECT_EQ(data::reget(f.get(), std::string("\0\0\0\0", 4)), rt::kRecordNotFound);
    EXPECT_EQ(data::reget(f.get(), "\x01"), 0);  // a short position text reads as far as it goes
    EXPECT_EQ(f.line(), "one");
    EXPECT_EQ(data::add_length(f.get(), -1), rt::kAccessDenied);
    EXPECT_EQ(data::put_pointer_length(f.get(), 1, -1), rt::kAccessDenied);
    EXPECT_EQ(data::put_pointer(f.get(), -1), rt::kAccessDenied);
    for (const char* text : {"ENDOFRECORD=,,,,", "ENDOFRECORD=2,,", "ENDOFRECORD=-1", "ENDOFRECORD=1,x",
                             "FILEBUFFERS=+", "TAB=-9999999999999", "TAB=99999999999", "REGISTERX", "=",
                             "\t\r\n\v\f"}) {
        data::send(f.get(), text);
    }
    // "1,x" reads the code as 0 (a text that is not a number); a NUL terminator is legal.
    EXPECT_EQ(data::send(f.get(), "ENDOFRECORD"), std::string(1, '\0'));
    data::send(f.get(), "ENDOFRECORD=2,13,10");
    data::send(f.get(), "TAB=8");
    std::uint64_t total = 0;
    int last = 0;
    EXPECT_EQ(drain(f, &total, &last), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(data::text_stack_depth(), 0u);
}

}  // namespace
