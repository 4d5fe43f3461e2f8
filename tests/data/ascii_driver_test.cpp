// The ASCII driver on real files: reading lines, writing lines, options, locks.
#include "data/ascii/ascii_driver.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "data/file_layer.h"
#include "platform/file.h"
#include "runtime/error.h"
#include "runtime/locale.h"

namespace {

namespace data = sk::data;
namespace rt = sk::rt;

// A line file declaration: one STRING field over the whole record, the name held
// in a blank-padded variable the way the application declares its text file.
struct LineFile {
    explicit LineFile(const std::string& path, std::uint32_t record_length = 80,
                      std::uint8_t attributes = data::kAttrCreate, std::string options = {})
        : name(255, ' '), driver_string(std::move(options)), record(record_length, ' ') {
        name.replace(0, path.size(), path);
        fields = data::FieldStreamBuilder().string(0, "ASC:LINE", record_length).bytes();
        fcb.entry = &sk::ascii::ascii_entry;
        fcb.name = name.data();
        fcb.name_length = std::uint32_t(name.size());
        fcb.driver_string = driver_string.data();
        fcb.driver_string_length = std::uint32_t(driver_string.size());
        fcb.attributes = attributes;
        fcb.record_length = record_length;
        fcb.fields = fields.data();
        fcb.fields_size = std::uint32_t(fields.size());
        fcb.record = record.data();
    }
    ~LineFile() {
        if (fcb.state != nullptr) {
            data::close(&fcb);
            if (fcb.state != nullptr) data::remove(&fcb);
        }
    }
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;

    // The record without its blank padding.
    std::string line() const {
        std::string s(record.begin(), record.end());
        s.erase(s.find_last_not_of(' ') + 1);
        return s;
    }
    void set_line(std::string_view text) {
        std::fill(record.begin(), record.end(), ' ');
        std::memcpy(record.data(), text.data(), std::min(text.size(), record.size()));
    }
    data::FileControlBlock* operator->() { return &fcb; }
    data::FileControlBlock* get() { return &fcb; }

    std::string name;
    std::string driver_string;
    std::vector<std::uint8_t> fields;
    std::vector<char> record;
    data::FileControlBlock fcb;
};

class AsciiDriver : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/sk-ascii-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        rt::clear_error();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string path(const std::string& leaf) const { return dir + "/" + leaf; }
    std::string write_file(const std::string& leaf, const std::string& bytes) const {
        std::string p = path(leaf);
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    static std::string read_file(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Every line NEXT delivers from the start, until the first failure.
    static std::vector<std::string> read_all(LineFile& f, int* final_error = nullptr) {
        std::vector<std::string> lines;
        EXPECT_EQ(data::set(f.get()), 0);
        for (int guard = 0; guard < 100000; ++guard) {
            int r = data::next(f.get());
            if (r != 0) {
                if (final_error) *final_error = r;
                break;
            }
            lines.push_back(f.line());
        }
        return lines;
    }

    std::string dir;
};

using Lines = std::vector<std::string>;

// --- reading ------------------------------------------------------------------------

TEST_F(AsciiDriver, ReadsLfAndMixedLineEndsLineByLine) {
    LineFile lf(write_file("lf.txt", "one\ntwo\nthree\n"));
    ASSERT_EQ(data::open(lf.get(), 0x40), 0);
    int last = 0;
    EXPECT_EQ(read_all(lf, &last), (Lines{"one", "two", "three"}));
    EXPECT_EQ(last, rt::kRecordNotAvailable);

    LineFile mixed(write_file("mixed.txt", "alpha\r\nbeta\ngamma\r\n\ndelta\n"));
    ASSERT_EQ(data::open(mixed.get(), 0x20), 0);
    ASSERT_EQ(data::set(mixed.get()), 0);
    std::vector<std::int64_t> sizes;
    Lines lines;
    while (data::next(mixed.get()) == 0) {
        lines.push_back(mixed.line());
        sizes.push_back(data::bytes(mixed.get()));
    }
    EXPECT_EQ(lines, (Lines{"alpha", "beta", "gamma", "", "delta"}));
    // Each terminator's bytes count: CR LF two, a lone LF one.
    EXPECT_EQ(sizes, (std::vector<std::int64_t>{7, 5, 7, 1, 6}));
}

TEST_F(AsciiDriver, LastLineWithoutTerminatorIsRead) {
    LineFile f(write_file("t.txt", "first\r\nlast"));
    ASSERT_EQ(data::open(f.get(), 0x40), 0);
    ASSERT_EQ(data::set(f.get()), 0);
    ASSERT_EQ(data::next(f.get()), 0);
    ASSERT_EQ(data::next(f.get()), 0);
    EXPECT_EQ(f.line(), "last");
    EXPECT_EQ(data::bytes(f.get()), 4);
    EXPECT_TRUE(data::eof(f.get()));
    EXPECT_EQ(data::next(f.get()), rt::kRecordNotAvailable);
}

TEST_F(AsciiDriver, LongLineFillsRecordAndNextReadsTheFollowingLine) {
    std::string longline(300, 'x');
    longline.replace(0, 10, "0123456789");
    for (unsigned mode : {0x40u, 0x20u}) {  // uncached and cached streams
        LineFile f(write_file("long.txt", longline + "\r\nnext\r\n" + longline + "\nend"), 10);
        ASSERT_EQ(data::open(f.get(), mode), 0);
        ASSERT_EQ(data::set(f.get()), 0);
        ASSERT_EQ(data::next(f.get()), 0);
        EXPECT_EQ(f.line(), "0123456789");
        EXPECT_EQ(data::bytes(f.get()), 302);
        ASSERT_EQ(data::next(f.get()), 0);
        EXPECT_EQ(f.line(), "next");
        ASSERT_EQ(data::next(f.get()), 0);
        EXPECT_EQ(data::bytes(f.get()), 301);  // ended by a lone LF
        ASSERT_EQ(data::next(f.get()), 0);
        EXPECT_EQ(f.line(), "end");
        EXPECT_EQ(data::close(f.get()), 0);
    }
}

TEST_F(AsciiDriver, LineOfExactlyTheRecordLengthKeepsItsTerminator) {
    LineFile f(write_file("exact.txt", "abcde\r\nfghij\nk\r\n"), 5);
    ASSERT_EQ(data::open(f.get(), 0x40), 0);
    EXPECT_EQ(read_all(f), (Lines{"abcde", "fghij", "k"}));
}

TEST_F(AsciiDriver, CtrlZEndsTheFileAtALineStartAndCutsALineInside) {
    LineFile start(write_file("z1.txt", "kept\r\n\x1A" "after\r\n"));
    ASSERT_EQ(data::open(start.get(), 0x40), 0);
    int last = 0;
    EXPECT_EQ(read_all(start, &last), (Lines{"kept"}));
    EXPECT_EQ(last, rt::kRecordNotAvailable);
    EXPECT_TRUE(data::eof(start.get()));

    LineFile inside(write_file("z2.txt", "ab\x1A" "cd\r\nxy\r\n"));
    ASSERT_EQ(data::open(inside.get(), 0x20), 0);
    ASSERT_EQ(data::set(inside.get()), 0);
    ASSERT_EQ(data::next(inside.get()), 0);
    EXPECT_EQ(inside.line(), "ab");
    EXPECT_EQ(data::bytes(inside.get()), 3);  // the Ctrl-Z is consumed with the line
    ASSERT_EQ(data::next(inside.get()), 0);
    EXPECT_EQ(inside.line(), "cd");
    ASSERT_EQ(data::next(inside.get()), 0);
    EXPECT_EQ(inside.line(), "xy");
}

TEST_F(AsciiDriver, TabSettingsExpandDropOrKeepTabs) {
    std::string p = write_file("tab.txt", "a\tb\r\n\tx\r\n");
    struct Case {
        const char* tab;
        std::string first, second;
    } cases[] = {
        {"TAB=4", "a   b", "    x"},
        {"TAB=0", "ab", "x"},
        {"TAB=-100", "a\tb", "\tx"},
        {"TAB=-2", "a  b", "  x"},
        {"TAB", "a       b", "        x"},  // the default, 8
    };
    for (const Case& c : cases) {
        LineFile f(p);
        ASSERT_EQ(data::open(f.get(), 0x40), 0);
        data::send(f.get(), c.tab);
        EXPECT_EQ(read_all(f), (Lines{c.first, c.second})) << c.tab;
    }
    // Expansion never writes past the record.
    LineFile narrow(write_file("tab2.txt", "ab\tcdefgh\r\nnext\r\n"), 6);
    ASSERT_EQ(data::open(narrow.get(), 0x40), 0);
    data::send(narrow.get(), "TAB=-100000");
    EXPECT_EQ(read_all(narrow), (Lines{"ab", "next"}));
}

TEST_F(AsciiDriver, EndOfRecordIsUsedExactlyAsSet) {
    std::string p = write_file("eor.txt", "a\nb\r\nc|d|");
    LineFile strict(p);
    ASSERT_EQ(data::open(strict.get(), 0x40), 0);
    EXPECT_EQ(data::send(strict.get(), "ENDOFRECORD=2,13,10"), "\r\n");
    EXPECT_EQ(read_all(strict), (Lines{"a\nb", "c|d|"}));

    LineFile bar(p);
    ASSERT_EQ(data::open(bar.get(), 0x22), 0);
    EXPECT_EQ(data::send(bar.get(), "endofrecord = 1, 124"), "\r\n");
    EXPECT_EQ(data::send(bar.get(), "ENDOFRECORD"), "|");
    EXPECT_EQ(read_all(bar), (Lines{"a\nb\r\nc", "d"}));
    // Lines written with it end with it.
    bar.set_line("new");
    ASSERT_EQ(data::add(bar.get()), 0);
    ASSERT_EQ(data::close(bar.get()), 0);
    EXPECT_EQ(read_file(p), "a\nb\r\nc|d|new|");
}

TEST_F(AsciiDriver, GetResetAndRegetDoNotMoveOrMoveTheSequenceAsTheyShould) {
    LineFile f(write_file("pos.txt", "one\r\ntwo\r\nthree\r\n"));
    ASSERT_EQ(data::open(f.get(), 0x40), 0);
    ASSERT_EQ(data::set(f.get()), 0);
    ASSERT_EQ(data::next(f.get()), 0);
    ASSERT_EQ(data::next(f.get()), 0);
    std::string two = data::position(f.get());
    ASSERT_EQ(two.size(), 4u);
    EXPECT_EQ(data::pointer(f.get()), 6);
    ASSERT_EQ(data::get_pointer(f.get(), 1), 0);  // GET does not move the sequence
    EXPECT_EQ(f.line(), "one");
    ASSERT_EQ(data::next(f.get()), 0);
    EXPECT_EQ(f.line(), "three");
    ASSERT_EQ(data::reget(f.get(), two), 0);
    EXPECT_EQ(f.line(), "two");
    ASSERT_EQ(data::reset(f.get(), two), 0);
    ASSERT_EQ(data::next(f.get()), 0);
    EXPECT_EQ(f.line(), "two");
    ASSERT_EQ(data::set_from_pointer(f.get(), 11), 0);
    ASSERT_EQ(data::next(f.get()), 0);
    EXPECT_EQ(f.line(), "three");
    EXPECT_EQ(data::get_pointer(f.get(), 0), 0);  // pointer 0 reads nothing
    EXPECT_EQ(data::get_pointer(f.get(), 100), rt::kRecordNotAvailable);
}

// --- writing ------------------------------------------------------------------------

TEST_F(AsciiDriver, ClipDecidesWhetherTrailingBlanksAreWritten) {
    std::string p = path("clip.txt");
    LineFile f(p, 6);
    ASSERT_EQ(data::create(f.get()), 0);
    ASSERT_EQ(data::open(f.get(), 0x22), 0);
    f.set_line("");
    ASSERT_EQ(data::add(f.get()), 0);  // a record of blanks: only the terminator
    f.set_line("ab");
    ASSERT_EQ(data::add(f.get()), 0);
    EXPECT_EQ(data::send(f.get(), "CLIP=OFF"), "ON");
    ASSERT_EQ(data::add(f.get()), 0);
    ASSERT_EQ(data::add_length(f.get(), 3), 0);
    ASSERT_EQ(data::close(f.get()), 0);
    EXPECT_EQ(read_file(p), "\r\nab\r\nab    \r\nab \r\n");
}

TEST_F(AsciiDriver, WritingEndsLinesWithCrLfWhileReadingAcceptsLf) {
    std::string p = write_file("w.txt", "unix\n");
    LineFile f(p);
    ASSERT_EQ(data::open(f.get(), 0x42), 0);
    f.set_line("added");
    ASSERT_EQ(data::add(f.get()), 0);
    EXPECT_EQ(read_all(f), (Lines{"unix", "added"}));
    ASSERT_EQ(data::close(f.get()), 0);
    EXPECT_EQ(read_file(p), "unix\nadded\r\n");
}

TEST_F(AsciiDriver, PointerAndBytesAfterAdd) {
    std::string p = path("add.txt");
    LineFile f(p);
    ASSERT_EQ(data::create(f.get()), 0);
    for (unsigned mode : {0x22u, 0x42u}) {
        ASSERT_EQ(data::open(f.get(), mode), 0);
        // EMPTY needs exclusive access: it works deny-write and is refused deny-none.
        EXPECT_EQ(data::empty(f.get()), mode == 0x22 ? 0 : int(rt::kExclusiveAccessRequired));
        f.set_line("hello");
        ASSERT_EQ(data::add(f.get()), 0);
        std::int64_t first = data::pointer(f.get());
        EXPECT_EQ(data::bytes(f.get()), 7);
        f.set_line("wo");
        ASSERT_EQ(data::add(f.get()), 0);
        EXPECT_EQ(data::pointer(f.get()) - first, 7);
        EXPECT_EQ(data::bytes(f.get()), 4);
        ASSERT_EQ(data::close(f.get()), 0);
    }
    // The deny-none pass appended to what the first pass left.
    EXPECT_EQ(read_file(p), "hello\r\nwo\r\nhello\r\nwo\r\n");
}

TEST_F(AsciiDriver, PutOfAShorterLineLeavesTheRestOfTheOldLine) {
    std::string p = write_file("put.txt", "abcdefgh\r\nsecond\r\n");
    for (unsigned mode : {0x22u, 0x42u}) {
        write_file("put.txt", "abcdefgh\r\nsecond\r\n");
        LineFile f(p);
        ASSERT_EQ(data::open(f.get(), mode), 0);
        ASSERT_EQ(data::set(f.get()), 0);
        ASSERT_EQ(data::next(f.get()), 0);
        f.set_line("xy");
        ASSERT_EQ(data::put(f.get()), 0);
        EXPECT_EQ(read_all(f), (Lines{"xy", "efgh", "second"}));
        ASSERT_EQ(data::close(f.get()), 0);
        EXPECT_EQ(read_file(p), "xy\r\nefgh\r\nsecond\r\n");
    }
}

TEST_F(AsciiDriver, PutAtAPointerOverwritesAndLengthZeroTruncates) {
    std::string p = write_file("pp.txt", "11111\r\n22222\r\n33333\r\n");
    LineFile f(p);
    ASSERT_EQ(data::open(f.get(), 0x22), 0);
    f.set_line("AAAAA");
    ASSERT_EQ(data::put_pointer(f.get(), 8), 0);
    ASSERT_EQ(data::put_pointer_length(f.get(), 15, 0), 0);
    EXPECT_EQ(read_all(f), (Lines{"11111", "AAAAA"}));
    ASSERT_EQ(data::close(f.get()), 0);
    EXPECT_EQ(read_file(p), "11111\r\nAAAAA\r\n");
}

TEST_F(AsciiDriver, ReadOnlyFileRefusesWrites) {
    LineFile f(write_file("ro.txt", "x\r\n"));
    ASSERT_EQ(data::open(f.get(), 0x40), 0);
    EXPECT_EQ(data::add(f.get()), rt::kAccessDenied);
    EXPECT_EQ(data::add_length(f.get(), 1), rt::kAccessDenied);
    EXPECT_EQ(rt::error_code(), rt::kAccessDenied);
}

TEST_F(AsciiDriver, OemTextIsConvertedOnTheWayToDiskAndBack) {
    std::string p = path("oem.txt");
    LineFile f(p, 10, data::kAttrCreate | data::kAttrOemText);
    ASSERT_EQ(data::create(f.get()), 0);
    ASSERT_EQ(data::open(f.get(), 0x22), 0);
    const unsigned char e_acute = 0xE9;  // in the ANSI set
    f.set_line(std::string("caf") + char(e_acute));
    ASSERT_EQ(data::add(f.get()), 0);
    ASSERT_EQ(data::close(f.get()), 0);
    std::string on_disk = read_file(p);
    ASSERT_EQ(on_disk.size(), 6u);
    EXPECT_EQ(static_cast<unsigned char>(on_disk[3]), rt::ansi_to_oem(e_acute));
    ASSERT_EQ(data::open(f.get(), 0x20), 0);
    EXPECT_EQ(read_all(f), (Lines{std::string("caf") + char(e_acute)}));
}

TEST_F(AsciiDriver, CachedWritesAndReadsAgreeWithTheFileOnDisk) {
    // Enough lines to pass several buffer refills and write-backs, in both stream modes.
    for (unsigned mode : {0x22u, 0x42u}) {
        std::string p = path("model.txt");
        LineFile f(p, 20);
        ASSERT_EQ(data::create(f.get()), 0);
        ASSERT_EQ(data::open(f.get(), mode), 0);
        std::string expected;
        std::vector<std::int64_t> pointers;
        for (int i = 0; i < 6000; ++i) {
            std::string text = "line " + std::to_string(i) + std::string(std::size_t(i % 7), '.');
            f.set_line(text);
            ASSERT_EQ(data::add(f.get()), 0);
            pointers.push_back(data::pointer(f.get()));
            ASSERT_EQ(pointers.back(), std::int64_t(expected.size() + 1));
            expected += text + "\r\n";
        }
        // Overwrite a few lines in place with text of the same length, then read all back.
        for (int i : {0, 1777, 5999}) {
            ASSERT_EQ(data::get_pointer(f.get(), pointers[std::size_t(i)]), 0);
            std::string text = f.line();
            std::fill(text.begin(), text.end(), '#');
            f.set_line(text);
            ASSERT_EQ(data::put(f.get()), 0);
            expected.replace(std::size_t(pointers[std::size_t(i)] - 1), text.size(), text);
        }
        std::string reread;
        for (const std::string& line : read_all(f)) reread += line + "\r\n";
        EXPECT_EQ(reread, expected) << mode;
        ASSERT_EQ(data::close(f.get()), 0);
        EXPECT_EQ(read_file(p), expected) << mode;
    }
}

// --- options ------------------------------------------------------------------------

TEST_F(AsciiDriver, SendTextsIgnoreCaseAndBlanksAroundTheEqualsSign) {
    LineFile f(write_file("s.txt", "x\r\n"));
    ASSERT_EQ(data::open(f.get(), 0x40), 0);
    EXPECT_EQ(data::send(f.get(), "QUICKSCAN"), "OFF");
    EXPECT_EQ(data::send(f.get(), " quickscan = on "), "OFF");
    EXPECT_EQ(data::send(f.get(), "QUICKSCAN"), "ON");
    EXPECT_EQ(data::send(f.get(), "QuickScan\t=\tOff"), "ON");
    EXPECT_EQ(data::send(f.get(), "QUICKSCAN"), "OFF");
    EXPECT_EQ(data::send(f.get(), "clip =off"), "ON");
    EXPECT_EQ(data::send(f.get(), "CLIP"), "OFF");
    EXPECT_EQ(data::send(f.get(), "TAB = -3"), "8");
    EXPECT_EQ(data::send(f.get(), "TAB"), "-3");
    EXPECT_EQ(data::send(f.get(), "TAB=x"), "-3");  // not a number reads as 0
    EXPECT_EQ(data::send(f.get(), "TAB"), "0");
    // Unrecognised texts answer empty and change nothing.
    EXPECT_EQ(data::send(f.get(), "FILE=3"), "");
    EXPECT_EQ(data::send(f.get(), "VERBOSE=ON"), "");
    EXPECT_EQ(data::send(f.get(), ""), "");
    EXPECT_EQ(data::send(f.get(), "FILEBUFFERS"), "512");
}

TEST_F(AsciiDriver, FileBuffersAnswersTheBufferSizeOfTheMode) {
    std::string p = write_file("fb.txt", "x\r\n");
    struct Case {
        unsigned mode;
        std::uint32_t record;
        const char* answer;
    } cases[] = {{0x20, 512, "1024"}, {0x20, 80, "1024"}, {0x10, 100, "1024"},
                 {0x40, 80, "512"},   {0x00, 80, "512"},  {0x20, 600, "1200"}};
    for (const Case& c : cases) {
        LineFile f(p, c.record);
        ASSERT_EQ(data::open(f.get(), c.mode), 0);
        EXPECT_EQ(data::send(f.get(), "FILEBUFFERS"), c.answer) << c.mode << " " << c.record;
        EXPECT_EQ(data::send(f.get(), "QUICKSCAN"), (c.mode & 0x30) ? "ON" : "OFF");
    }
}

TEST_F(AsciiDriver, FileBuffersAndEndOfRecordRefuseSettingsTheyCannotHonour) {
    LineFile f(write_file("r.txt", "abc\r\ndef\r\n"), 1000);
    ASSERT_EQ(data::open(f.get(), 0x20), 0);
    for (const char* bad : {"FILEBUFFERS=0", "FILEBUFFERS=-4", "FILEBUFFERS=abc", "FILEBUFFERS=1",
                            "FILEBUFFERS=", "FILEBUFFERS=99999999999999999999"}) {
        data::send(f.get(), bad);
        EXPECT_EQ(data::send(f.get(), "FILEBUFFERS"), "2000") << bad;
    }
    EXPECT_EQ(data::send(f.get(), "FILEBUFFERS=8"), "2000");
    EXPECT_EQ(data::send(f.get(), "FILEBUFFERS"), "4096");
    for (const char* bad : {"ENDOFRECORD=3,13,10", "ENDOFRECORD=2", "ENDOFRECORD=", "ENDOFRECORD=0",
                            "ENDOFRECORD=1,256", "ENDOFRECORD=1,-1", "ENDOFRECORD=99999999999,1"}) {
        data::send(f.get(), bad);
        EXPECT_EQ(data::send(f.get(), "ENDOFRECORD"), "\r\n") << bad;
    }
    EXPECT_EQ(read_all(f), (Lines{"abc", "def"}));
}

TEST_F(AsciiDriver, DriverStringOptionsApplyAtOpenAndOpenResetsSentOptions) {
    std::string p = write_file("ds.txt", "a\tb\r\n");
    LineFile f(p, 80, data::kAttrCreate, "/TAB=0/ CLIP = OFF /FILEBUFFERS=4");
    ASSERT_EQ(data::open(f.get(), 0x40), 0);
    EXPECT_EQ(data::send(f.get(), "TAB"), "0");
    EXPECT_EQ(data::send(f.get(), "CLIP"), "OFF");
    EXPECT_EQ(data::send(f.get(), "FILEBUFFERS"), "2048");
    EXPECT_EQ(data::send(f.get(), "QUICKSCAN"), "OFF");  // cached by FILEBUFFERS, but not quick scan
    ASSERT_EQ(data::close(f.get()), 0);

    LineFile g(p);
    EXPECT_EQ(data::send(g.get(), "TAB=3"), "8");  // sent to the closed file
    ASSERT_EQ(data::open(g.get(), 0x40), 0);
    EXPECT_EQ(data::send(g.get(), "TAB"), "8");
}

TEST_F(AsciiDriver, SharedFileSeesGrowthUnlessQuickScanIsOn) {
    std::string p = write_file("grow.txt", "one\r\n");
    LineFile reader(p), writer(p);
    ASSERT_EQ(data::open(reader.get(), 0x40), 0);
    ASSERT_EQ(data::open(writer.get(), 0x42), 0);
    ASSERT_EQ(data::set(reader.get()), 0);
    ASSERT_EQ(data::next(reader.get()), 0);
    writer.set_line("two");
    ASSERT_EQ(data::add(writer.get()), 0);
    ASSERT_EQ(data::next(reader.get()), 0);
    EXPECT_EQ(reader.line(), "two");

    data::send(reader.get(), "QUICKSCAN=ON");
    writer.set_line("three");
    ASSERT_EQ(data::add(writer.get()), 0);
    EXPECT_EQ(data::next(reader.get()), rt::kRecordNotAvailable);
    data::send(reader.get(), "QUICKSCAN=OFF");
    ASSERT_EQ(data::reset(reader.get(), std::string("\x0B\0\0\0", 4)), 0);
    ASSERT_EQ(data::next(reader.get()), 0);
    EXPECT_EQ(reader.line(), "three");
}

// --- locks ------------------------------------------------------------------------

TEST_F(AsciiDriver, LockConflictsBetweenTwoOpensAndNestsWithWrites) {
    std::string p = write_file("lk.txt", "x\r\n");
    LineFile a(p), b(p);
    ASSERT_EQ(data::open(a.get(), 0x42), 0);
    ASSERT_EQ(data::open(b.get(), 0x42), 0);
    ASSERT_EQ(data::lock(a.get()), 0);
    EXPECT_EQ(data::lock_timeout(b.get(), 0), rt::kFileAlreadyLocked);
    EXPECT_EQ(rt::error_code(), rt::kFileAlreadyLocked);
    EXPECT_EQ(rt::error_file(), b.get());
    b.set_line("blocked");
    EXPECT_EQ(data::add(b.get()), rt::kAccessDenied);  // the write lock cannot be taken
    a.set_line("mine");
    ASSERT_EQ(data::add(a.get()), 0);  // the holder's own write nests in its lock
    ASSERT_EQ(data::unlock(a.get()), 0);
    ASSERT_EQ(data::lock_timeout(b.get(), 0), 0);
    ASSERT_EQ(data::unlock(b.get()), 0);
    ASSERT_EQ(data::add(b.get()), 0);
    EXPECT_EQ(read_all(a), (Lines{"x", "mine", "blocked"}));
}

TEST_F(AsciiDriver, LockHeldByAnotherProcessTimesOutWith32AfterTheTimeout) {
    std::string p = write_file("proc.txt", "x\r\n");
    LineFile holder(p);
    ASSERT_EQ(data::open(holder.get(), 0x42), 0);
    ASSERT_EQ(data::lock(holder.get()), 0);

    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The child opens the file on its own and tries to lock it for a second.
        close(pipefd[0]);
        int code = 100;
        long elapsed_ms = -1;
        {
            LineFile other(p);
            if (data::open(other.get(), 0x42) == 0) {
                auto start = std::chrono::steady_clock::now();
                code = data::lock_timeout(other.get(), 1);
                elapsed_ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - start)
                                      .count());
            }
        }
        long report[2] = {code, elapsed_ms};
        ssize_t written = write(pipefd[1], report, sizeof report);
        _exit(written == sizeof report ? 0 : 1);
    }
    close(pipefd[1]);
    long report[2] = {0, 0};
    ssize_t got = read(pipefd[0], report, sizeof report);
    close(pipefd[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(got, ssize_t(sizeof report));
    EXPECT_EQ(report[0], rt::kFileAlreadyLocked);
    EXPECT_GE(report[1], 950);
    EXPECT_LT(report[1], 3000);

    // Once released, another process gets the lock at once.
    ASSERT_EQ(data::unlock(holder.get()), 0);
    pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int code = 100;
        {
            LineFile other(p);
            if (data::open(other.get(), 0x42) == 0) code = data::lock_timeout(other.get(), 1);
        }
        _exit(code);
    }
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// --- files ------------------------------------------------------------------------

TEST_F(AsciiDriver, CreateRemoveRenameCopyAndName) {
    std::string p = path("life.txt");
    LineFile f(p, 80, 0);
    EXPECT_EQ(data::create(f.get()), rt::kNoCreateAttribute);
    LineFile g(p);
    ASSERT_EQ(data::create(g.get()), 0);
    EXPECT_EQ(g->state, nullptr);  // CREATE leaves the file closed
    EXPECT_TRUE(std::filesystem::exists(p));
    EXPECT_EQ(data::name(g.get()), p);
    ASSERT_EQ(data::open(g.get(), 0x22), 0);
    g.set_line("content");
    ASSERT_EQ(data::add(g.get()), 0);
    EXPECT_EQ(data::copy(g.get(), path("x")), rt::kFileAlreadyOpen);
    ASSERT_EQ(data::close(g.get()), 0);
    ASSERT_EQ(data::copy(g.get(), path("copy.txt")), 0);
    EXPECT_EQ(read_file(path("copy.txt")), "content\r\n");
    EXPECT_EQ(data::copy(g.get(), p), rt::kAccessDenied);  // onto itself
    EXPECT_EQ(read_file(p), "content\r\n");
    ASSERT_EQ(data::rename(g.get(), path("moved.txt")), 0);
    EXPECT_FALSE(std::filesystem::exists(p));
    EXPECT_EQ(data::remove(g.get()), rt::kFileNotFound);
    LineFile moved(path("moved.txt"));
    ASSERT_EQ(data::remove(moved.get()), 0);
    EXPECT_FALSE(std::filesystem::exists(path("moved.txt")));
}

TEST_F(AsciiDriver, RelativeNamesAreMadeFullPathsAgainstTheCurrentDirectory) {
    write_file("rel.txt", "r\r\n");
    std::string here = sk::platform::current_directory();
    ASSERT_TRUE(sk::platform::set_current_directory(dir));
    {
        LineFile f("rel.txt");
        EXPECT_EQ(data::name(f.get()), "rel.txt");
        ASSERT_EQ(data::open(f.get(), 0x40), 0);
        EXPECT_EQ(data::name(f.get()), dir + "/rel.txt");
        data::close(f.get());
    }
    sk::platform::set_current_directory(here);
}

}  // namespace
