// The ksf tool's commands over files written by the engine's layout code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/control_blocks.h"
#include "data/ksf/cipher.h"
#include "data/ksf/definition.h"
#include "data/ksf/layout.h"
#include "data/ksf/memo.h"
#include "data/ksf/page_tree.h"
#include "data/ksf/ksf_file.h"
#include "data/ksf/ksf_test_table.h"
#include "data/file_layer.h"
#include "platform/file.h"
#include "runtime/locale.h"
#include "support/platform_temp_dir.h"
#include "tools/ksf/ksf_commands.h"

using namespace sk::ksf;

namespace {

struct Dir {
    std::string path;
    Dir() { char t[] = "/tmp/ksftoolXXXXXX"; path = mkdtemp(t); }
    ~Dir() { std::filesystem::remove_all(path); }
};

int run(const std::string& cmd, const std::string& file, std::string* out) {
    std::string a0 = "ksf", a1 = cmd, a2 = file;
    char* argv[] = {a0.data(), a1.data(), a2.data()};
    std::ostringstream o, e;
    const int rc = sk::ksftool::run_ksf(3, argv, o, e);
    *out = o.str() + e.str();
    return rc;
}

// A table SITES of n records (location string, count long), one unique
// case-insensitive key, a memo on every other record.
std::vector<std::uint8_t> make_file(int n) {
    TableDefinition def;
    def.record_length = 24;
    FieldDef loc; loc.type = sk::data::kTypeString; loc.offset = 0; loc.label = "SIT:LOC"; loc.size = 20; loc.string_length = 20;
    FieldDef cnt; cnt.type = sk::data::kTypeLong; cnt.offset = 20; cnt.label = "SIT:COUNT"; cnt.size = 4; cnt.position = 1;
    def.fields = {loc, cnt};
    MemoDef memo; memo.label = "SIT:NOTES"; memo.size = 1000;
    def.memos = {memo};
    KeyDef k; k.label = "SIT:K_LOC"; k.attributes = kKeyAttrNoCase; k.components = {{0, false}};
    def.keys = {k};
    KeyLayout layout;
    EXPECT_TRUE(key_layout(def, 0, &layout));
    Header header;
    MemoryPageStore store;
    PageTree tree(store);
    Id table;
    header.allocate_id(table.bytes);
    tree.insert(table_name_record("SITES", table));
    const auto chunks = definition_chunks(write_definition(def));
    for (std::size_t c = 0; c < chunks.size(); ++c) tree.insert(definition_chunk_record(table, static_cast<std::uint16_t>(c), chunks[c]));
    for (int i = 0; i < n; ++i) {
        Id recno;
        header.allocate_id(recno.bytes);
        std::string img(24, ' ');
        const std::string s = "site" + std::to_string(i);
        img.replace(0, s.size(), s);
        const std::int32_t v = i - 1;
        std::memcpy(&img[20], &v, 4);
        tree.insert(data_record(table, recno, img));
        std::string value;
        encode_key_value(layout, bytes_of(img), img.size(), false, &value);
        tree.insert(key_entry(table, 0, value, recno, false));
        if (i % 2 == 0)
            for (const Record& r : memo_chunk_records(table, recno, 0, std::string(300, 'm'))) tree.insert(r);
    }
    tree.insert(counter_record(table, kCounterData, static_cast<std::uint32_t>(n), 0));
    tree.insert(counter_record(table, 0, static_cast<std::uint32_t>(n), 0));
    std::vector<std::uint8_t> image;
    EXPECT_EQ(layout_file(store, &header, &image), 0);
    return image;
}

void write(const std::string& path, const std::vector<std::uint8_t>& b) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Changes the file through its page tree, as the driver's write path does, and
// commits unless the change failed an assertion.
template <typename Change>
void change_through_tree(const std::string& file, Change change) {
    KsfFile f(file);
    ASSERT_EQ(f.open(0x12, false), 0);
    ASSERT_EQ(f.refresh(), 0);
    f.begin_tree_operation();
    PageTree tree(f);
    change(tree);
    if (::testing::Test::HasFatalFailure()) return;
    ASSERT_EQ(f.commit(), 0);
}

// Removes the first entry of key 0 of the table with number id and sets its
// data counter to 7.
void damage(const std::string& file, std::uint32_t id) {
    change_through_tree(file, [id](PageTree& tree) {
        Record r;
        std::string entry_prefix(Id::of(id).view());
        entry_prefix.push_back('\0');
        ASSERT_EQ(tree.seek(entry_prefix, true, true, &r), 0);
        ASSERT_EQ(r.key().substr(0, 5), entry_prefix);
        ASSERT_EQ(tree.remove(r.key()), 0);
        ASSERT_EQ(tree.replace(counter_record(Id::of(id), kCounterData, 7, 0)), 0);
    });
}

}  // namespace

TEST(KsfTool, InfoCheckAndDumpOfAGoodFile) {
    Dir d;
    const std::string f = d.path + "/sites.ksf";
    write(f, make_file(400));
    std::string out;
    EXPECT_EQ(run("check", f, &out), 0) << out;
    ASSERT_EQ(run("info", f, &out), 0) << out;
    EXPECT_NE(out.find("table SITES (1): 400 records, counter 400"), std::string::npos) << out;
    EXPECT_NE(out.find("key 0 SIT:K_LOC: 400 entries"), std::string::npos) << out;
    EXPECT_NE(out.find("tree depth: 2"), std::string::npos) << out;
    ASSERT_EQ(run("dump", f + "\\!SITES", &out), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 400);
    EXPECT_EQ(out.substr(0, out.find('\n')),
              "{\"table\":\"SITES\",\"record\":2,\"fields\":{\"SIT:LOC\":\"site0\",\"SIT:COUNT\":-1},"
              "\"memos\":{\"SIT:NOTES\":\"" + std::string(300, 'm') + "\"}}");
    EXPECT_EQ(run("dump", f + "\\!NOSUCH", &out), 1);
}

TEST(KsfTool, DamagedFilesAreReportedNotCrashedOn) {
    Dir d;
    const auto good = make_file(400);
    std::string out;
    // Bytes flipped in every page in turn's neighbourhood: never clean, never a crash.
    for (std::size_t at = kHeaderSize + 20; at < good.size(); at += 997) {
        auto bad = good;
        for (std::size_t i = 0; i < 8 && at + i < bad.size(); ++i) bad[at + i] ^= 0x5A;
        write(d.path + "/flip.ksf", bad);
        run("check", d.path + "/flip.ksf", &out);
        run("dump", d.path + "/flip.ksf", &out);
        run("info", d.path + "/flip.ksf", &out);
    }
    auto bad = good;
    bad[kHeaderSize + 13] ^= 0xFF;  // first page's record area
    write(d.path + "/flip.ksf", bad);
    EXPECT_EQ(run("check", d.path + "/flip.ksf", &out), 1) << out;
    auto cut = good;
    cut.resize(good.size() / 2);
    write(d.path + "/cut.ksf", cut);
    EXPECT_EQ(run("check", d.path + "/cut.ksf", &out), 1);
    EXPECT_NE(out.find("shorter than its allocated end"), std::string::npos) << out;
    write(d.path + "/empty.ksf", {});
    EXPECT_EQ(run("check", d.path + "/empty.ksf", &out), 1);
    EXPECT_NE(out.find("not a KSF file"), std::string::npos) << out;
    std::vector<std::uint8_t> garbage(5000);
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i * 131 + 7);
    write(d.path + "/garbage.ksf", garbage);
    EXPECT_EQ(run("check", d.path + "/garbage.ksf", &out), 1);
    EXPECT_EQ(run("info", d.path + "/missing.ksf", &out), 1);
}

TEST(KsfTool, RemovedKeyEntryAndWrongCounterAreDefects) {
    // A file whose counter disagrees with its records: built with one record
    // more counted than written.
    Dir d;
    auto img = make_file(3);
    write(d.path + "/a.ksf", img);
    std::string out;
    EXPECT_EQ(run("check", d.path + "/a.ksf", &out), 0) << out;
    EXPECT_EQ(run("bogus", d.path + "/a.ksf", &out), 2);
}

TEST(KsfTool, ConformWriterFileChecksClean) {
    Dir d;
    const std::string f = d.path + "/linkdb.ksf";
    // The fixture writes a description; the conform writer builds the file from it.
    const std::string cmd = "python3 " SK_CONFORM_DIR "/fixtures/make_linkdb.py " + d.path + "/linkdb.json && python3 " SK_CONFORM_DIR
                            "/ksf.py build-from-json " + d.path + "/linkdb.json " + f + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0 || !std::filesystem::exists(f)) GTEST_SKIP() << "conform writer unavailable";
    std::string out;
    EXPECT_EQ(run("check", f, &out), 0) << out;
    EXPECT_EQ(run("dump", f, &out), 0) << out;
}

TEST(KsfTool, RebuildRepairsKeysAndCountersAndKeepsTheData) {
    Dir d;
    const std::string f = d.path + "/sites.ksf";
    write(f, make_file(300));
    std::string before, out;
    ASSERT_EQ(run("dump", f, &before), 0);
    // Lose a key entry and miscount the records, through the write path.
    ASSERT_NO_FATAL_FAILURE(damage(f, 1));
    EXPECT_EQ(run("check", f, &out), 1);
    EXPECT_NE(out.find("has no key entry"), std::string::npos) << out;
    EXPECT_NE(out.find("data counter says 7"), std::string::npos) << out;
    ASSERT_EQ(run("rebuild", f, &out), 0) << out;
    EXPECT_NE(out.find("rebuilt, 1 table, 300 records"), std::string::npos) << out;
    EXPECT_EQ(run("check", f, &out), 0) << out;
    ASSERT_EQ(run("dump", f, &out), 0);
    EXPECT_EQ(out, before);
    EXPECT_FALSE(std::filesystem::exists(f + ".rebuild"));
    write(d.path + "/empty.ksf", {});
    EXPECT_EQ(run("rebuild", d.path + "/empty.ksf", &out), 1);
}

TEST(KsfTool, RebuildNamesARecordThatDuplicatesAUniqueKey) {
    Dir d;
    const std::string f = d.path + "/sites.ksf";
    write(f, make_file(5));
    // A second data record with the image of record 3 and no key entry: the
    // unique key cannot hold both.
    ASSERT_NO_FATAL_FAILURE(change_through_tree(f, [](PageTree& tree) {
        Record r;
        ASSERT_EQ(tree.find(data_record(Id::of(1), Id::of(4), "").key(), &r), 0);
        ASSERT_EQ(tree.insert(data_record(Id::of(1), Id::of(900), r.data())), 0);
        ASSERT_EQ(tree.replace(counter_record(Id::of(1), kCounterData, 6, 0)), 0);
    }));
    std::string out;
    EXPECT_EQ(run("check", f, &out), 1);
    ASSERT_EQ(run("rebuild", f, &out), 0) << out;
    EXPECT_NE(out.find("record 900 has the same SIT:K_LOC as record 4; it is left out of that key"), std::string::npos) << out;
    EXPECT_NE(out.find("6 records, 1 records or entries dropped"), std::string::npos) << out;
    // The record itself stays in the file.
    ASSERT_EQ(run("dump", f, &out), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 6) << out;
}

TEST(KsfTool, EncipheredFileIsReadWithThePasswordFromTheEnvironment) {
    Dir d;
    const std::string f = d.path + "/sites.ksf";
    std::vector<std::uint8_t> image = make_file(120);
    const auto cipher = PageCipher::for_password("tool pw");
    ASSERT_TRUE(cipher);
    cipher->apply(0, image.data(), image.size());
    write(f, image);
    std::string plain_dump, out;
    ::unsetenv("KSF_PASSWORD");
    EXPECT_EQ(run("check", f, &out), 1);
    EXPECT_NE(out.find("not a KSF file"), std::string::npos) << out;
    ::setenv("KSF_PASSWORD", "tool pw", 1);
    EXPECT_EQ(run("check", f, &out), 0) << out;
    ASSERT_EQ(run("dump", f, &plain_dump), 0);
    EXPECT_EQ(std::count(plain_dump.begin(), plain_dump.end(), '\n'), 120);
    // A rebuild keeps the file enciphered under the same password.
    ASSERT_EQ(run("rebuild", f, &out), 0) << out;
    EXPECT_EQ(run("check", f, &out), 0) << out;
    ASSERT_EQ(run("dump", f, &out), 0);
    EXPECT_EQ(out, plain_dump);
    ::setenv("KSF_PASSWORD", "wrong", 1);
    EXPECT_EQ(run("check", f, &out), 1);
    ::unsetenv("KSF_PASSWORD");
    EXPECT_EQ(run("check", f, &out), 1);
}

namespace {

std::size_t lines_of(const std::string& s, const std::string& table) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = s.find("{\"table\":\"" + table + "\"", at)) != std::string::npos; ++at) ++n;
    return n;
}

}  // namespace

TEST(KsfTool, TwoTablesWrittenInOneTransactionCheckCleanAndRebuildOneOrAll) {
    // Thousands of adds to two tables of one physical file inside one
    // LOGOUT .. COMMIT: every page the commit had to write is on disk.
    Dir d;
    const std::string base = d.path + "/two";
    {
        sk::test::KsfTestTable a(base + "\\!A"), b(base + "\\!B");
        ASSERT_EQ(sk::data::create(&a.fcb), 0);
        ASSERT_EQ(sk::data::create(&b.fcb), 0);
        ASSERT_EQ(sk::data::open(&a.fcb, 0x12), 0);
        ASSERT_EQ(sk::data::open(&b.fcb, 0x12), 0);
        ASSERT_EQ(sk::data::logout(&a.fcb), 0);
        for (int i = 0; i < 3000; ++i) {
            sk::test::KsfTestTable& t = i % 3 == 0 ? b : a;
            t.set("http://s" + std::to_string(i * 7919 % 3000) + ".example/", "c" + std::to_string(i % 11), i % 5);
            t.set_note(i % 4 == 0 ? std::string(40 + i % 500, 'n') : "");
            ASSERT_EQ(sk::data::add(&t.fcb), 0) << i;
        }
        ASSERT_EQ(sk::data::commit(&a.fcb), 0);
        ASSERT_EQ(sk::data::close(&a.fcb), 0);
        ASSERT_EQ(sk::data::close(&b.fcb), 0);
    }
    const std::string f = base + ".KSF";
    std::string before, out;
    EXPECT_EQ(run("check", base, &out), 0) << out;  // found with ".KSF", as the driver names it
    ASSERT_EQ(run("dump", f, &before), 0);
    EXPECT_EQ(lines_of(before, "A"), 2000u);
    EXPECT_EQ(lines_of(before, "B"), 1000u);

    // Table numbers: the name records say which is which.
    ASSERT_EQ(run("info", f, &out), 0);
    const auto number_of = [&](const std::string& name) {
        const auto at = out.find("table " + name + " (");
        return at == std::string::npos ? 0u : static_cast<std::uint32_t>(std::stoul(out.substr(at + 8 + name.size())));
    };
    const std::uint32_t na = number_of("A"), nb = number_of("B");
    ASSERT_NE(na, 0u);
    ASSERT_NE(nb, 0u);
    ASSERT_NO_FATAL_FAILURE(damage(f, na));
    ASSERT_NO_FATAL_FAILURE(damage(f, nb));
    ASSERT_EQ(run("check", f, &out), 1);

    // A table that is not there, or a file someone has open: nothing changes.
    const std::string damaged = sk::test::platform_read_file(f);
    EXPECT_EQ(run("rebuild", f + "\\!NOSUCH", &out), 1);
    EXPECT_NE(out.find("no table NOSUCH"), std::string::npos) << out;
    {
        sk::platform::File reader;
        ASSERT_TRUE(reader.open(f, sk::platform::kAccessRead | sk::platform::kDenyNone));
        EXPECT_EQ(run("rebuild", f, &out), 1);
        EXPECT_NE(out.find("in use"), std::string::npos) << out;
    }
    EXPECT_EQ(sk::test::platform_read_file(f), damaged);

    // FILE\!TABLE mends that table; the other keeps its records as they were.
    ASSERT_EQ(run("rebuild", f + "\\!b", &out), 0) << out;
    EXPECT_NE(out.find("rebuilt, 1 table, 1000 records"), std::string::npos) << out;
    ASSERT_EQ(run("check", f, &out), 1);
    EXPECT_EQ(out.find("table B"), std::string::npos) << out;
    EXPECT_NE(out.find("table A: data counter says 7"), std::string::npos) << out;
    EXPECT_NE(out.find("table A: key 0: record"), std::string::npos) << out;
    // The whole file: both clean, every record and memo kept.
    ASSERT_EQ(run("rebuild", base, &out), 0) << out;
    EXPECT_NE(out.find("rebuilt, 2 tables, 3000 records"), std::string::npos) << out;
    EXPECT_EQ(run("check", f, &out), 0) << out;
    ASSERT_EQ(run("dump", f, &out), 0);
    EXPECT_EQ(out, before);
    EXPECT_FALSE(std::filesystem::exists(f + ".rebuild"));
}

// Key entries follow the program's collation, which its environment file may
// change, and a file of OEM text is weighed by the OEM table. Neither is in
// the file: --env and --oem tell the tool, which then checks, shows and
// rebuilds keys exactly as the driver wrote them and still finds them.
TEST(KsfTool, EnvironmentCollationAndOemTextAreNamedOnTheCommandLine) {
    Dir d;
    const std::string env = d.path + "/program.ENV";
    {
        std::ofstream f(env, std::ios::binary);
        f << "TESCOLSEQ=\xE9\xC9" "abc\r\n";  // e-acute, E-acute, then a b c
    }
    const auto identity = [] { sk::rt::apply_locale_key("TESCOLSEQ", ""); };
    // Places whose accented letters move under that order, in ANSI text.
    const std::vector<std::string> places = {"\xC9t\xE9", "\xE9t\xE9", "cab", "abc", "bca", "\xE9" "a"};
    const auto write = [&](const std::string& base, bool oem) {
        sk::test::KsfTestTable t(base);
        if (oem) t.fcb.attributes |= sk::data::kAttrOemText;
        ASSERT_EQ(sk::data::create(&t.fcb), 0);
        ASSERT_EQ(sk::data::open(&t.fcb, 0x12), 0);
        for (std::size_t i = 0; i < places.size(); ++i) {
            t.set(places[i], "c" + std::to_string(i % 2), static_cast<std::int32_t>(i));
            ASSERT_EQ(sk::data::add(&t.fcb), 0) << i;
        }
    };
    // The OEM file as the driver reads it under the program's order.
    const auto read_oem = [&](std::vector<std::string>* in_order) {
        sk::test::KsfTestTable t(d.path + "/oem");
        t.fcb.attributes |= sk::data::kAttrOemText;
        ASSERT_EQ(sk::data::open(&t.fcb, 0x40), 0);
        for (const std::string& p : places) {
            t.set(p, "", 0);
            EXPECT_EQ(sk::data::get_key(&t.fcb, &t.k_location), 0) << p;
        }
        ASSERT_EQ(sk::data::set_key(&t.fcb, &t.k_location), 0);
        while (sk::data::next(&t.fcb) == 0) in_order->push_back(t.location());
    };
    std::vector<std::string> written_order, rebuilt_order;
    ASSERT_TRUE(sk::rt::apply_locale_file(env));
    ASSERT_NO_FATAL_FAILURE(write(d.path + "/ansi", false));
    ASSERT_NO_FATAL_FAILURE(write(d.path + "/oem", true));
    ASSERT_NO_FATAL_FAILURE(read_oem(&written_order));
    identity();
    ASSERT_EQ(written_order.size(), places.size());
    const std::string ansi = d.path + "/ansi.KSF", oem = d.path + "/oem.KSF";

    // The tool applies --env to this process; every call here starts from
    // the default order again.
    const auto tool = [&](std::vector<std::string> args, std::string* out) {
        args.insert(args.begin(), "ksf");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        std::ostringstream o, e;
        const int rc = sk::ksftool::run_ksf(static_cast<int>(argv.size()), argv.data(), o, e);
        identity();
        *out = o.str() + e.str();
        return rc;
    };
    std::string out;
    EXPECT_EQ(tool({"check", ansi}, &out), 1) << "keys in the program's order, checked in the default one:\n" << out;
    EXPECT_EQ(tool({"--env", env, "check", ansi}, &out), 0) << out;
    EXPECT_EQ(tool({"--env", env, "check", oem}, &out), 1) << "OEM text weighed as ANSI text:\n" << out;
    EXPECT_EQ(tool({"--env", env, "--oem", "check", oem}, &out), 0) << out;
    EXPECT_EQ(tool({"--env", d.path + "/none.ENV", "check", ansi}, &out), 2);
    EXPECT_NE(out.find("cannot read the environment file"), std::string::npos) << out;

    // The dump shows OEM text as the program sees it.
    std::string ansi_dump, oem_dump;
    ASSERT_EQ(tool({"dump", ansi}, &ansi_dump), 0);
    ASSERT_EQ(tool({"--oem", "dump", oem}, &oem_dump), 0);
    EXPECT_EQ(oem_dump, ansi_dump);

    // Rebuilt with both, the keys are the driver's: clean, and every place found.
    ASSERT_EQ(tool({"--oem", "--env", env, "rebuild", oem}, &out), 0) << out;
    EXPECT_EQ(tool({"--env", env, "--oem", "check", oem}, &out), 0) << out;
    ASSERT_TRUE(sk::rt::apply_locale_file(env));
    ASSERT_NO_FATAL_FAILURE(read_oem(&rebuilt_order));
    EXPECT_EQ(rebuilt_order, written_order);
    identity();
}
