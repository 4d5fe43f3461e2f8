// The KESTREL driver through the file layer: naming, opening and creating,
// random sequences of changes compared with an in-memory model in every key
// order, key maintenance with undo on duplicates, memos, several tables in one
// physical file, copying and renaming, and transactions over two files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "data/file_layer.h"
#include "data/ksf/driver.h"
#include "data/ksf/ksf_file.h"
#include "data/ksf/ksf_table.h"
#include "data/ksf/page_tree.h"
#include "control_fault.h"
#include "ksf_read_back.h"
#include "ksf_test_table.h"
#include "platform/file.h"
#include "runtime/error.h"
#include "support/platform_temp_dir.h"

namespace sd = sk::data;
using sk::test::KsfTestTable;
using sk::test::ControlFault;
using sk::test::control_fault;

namespace {

struct Site {
    std::string location;  // as typed
    std::string category;
    std::int32_t rating = 0;
    std::string note;
    std::int64_t recno = 0;
};
using Model = std::map<std::string, Site>;  // by upper-case location

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

class KsfDriver : public ::testing::Test {
protected:
    void SetUp() override { sk::platform::set_current_directory(m_dir.path()); }
    void TearDown() override { sk::platform::set_current_directory("/"); }
    std::string path(const std::string& name) const { return m_dir.file(name); }
    sk::test::PlatformTempDir m_dir;
};

// Walks key k (nullptr: file order) forward and backward; the forward walk's
// locations.
std::vector<std::string> walk(KsfTestTable& t, sd::KeyControlBlock* k) {
    std::vector<std::string> forward, backward;
    EXPECT_EQ(k ? sd::set_key(&t.fcb, k) : sd::set(&t.fcb), 0);
    while (sd::next(&t.fcb) == 0) forward.push_back(upper(t.location()));
    EXPECT_EQ(sk::rt::error_code(), sk::rt::kRecordNotAvailable);
    EXPECT_EQ(k ? sd::set_key(&t.fcb, k) : sd::set(&t.fcb), 0);
    while (sd::previous(&t.fcb) == 0) backward.push_back(upper(t.location()));
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward, backward);
    return forward;
}

void expect_matches(KsfTestTable& t, const Model& model) {
    std::vector<std::string> by_location;
    std::vector<std::tuple<std::string, std::string>> by_category;
    std::vector<std::tuple<std::int32_t, std::int64_t, std::string>> by_rating;
    for (const auto& [k, s] : model) {
        by_location.push_back(k);
        by_category.emplace_back(upper(s.category), k);
        by_rating.emplace_back(-s.rating, s.recno, k);
    }
    std::sort(by_category.begin(), by_category.end());
    std::sort(by_rating.begin(), by_rating.end());
    std::vector<std::string> want_category, want_rating;
    for (auto& c : by_category) want_category.push_back(std::get<1>(c));
    for (auto& r : by_rating) want_rating.push_back(std::get<2>(r));
    EXPECT_EQ(walk(t, &t.k_location), by_location);
    EXPECT_EQ(walk(t, &t.k_category), want_category);
    EXPECT_EQ(walk(t, &t.k_rating), want_rating);
    EXPECT_EQ(walk(t, nullptr).size(), model.size());
    EXPECT_EQ(sd::records(&t.fcb), static_cast<std::int64_t>(model.size()));
    EXPECT_EQ(sd::records_key(&t.fcb, &t.k_location), static_cast<std::int64_t>(model.size()));
    for (const auto& [k, s] : model) {
        t.set(s.location, "", 0);
        ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0) << k;
        EXPECT_EQ(t.category(), s.category);
        EXPECT_EQ(t.rating(), s.rating);
        EXPECT_EQ(t.note(), s.note);
        EXPECT_EQ(sd::pointer(&t.fcb), s.recno);
    }
}

// Creates t's file and opens it for reading and writing, holding the sites
// given (location, category, rating) in that order.
struct SiteRow {
    const char* location;
    const char* category;
    std::int32_t rating;
};
void new_table(KsfTestTable& t, std::initializer_list<SiteRow> sites = {}) {
    ASSERT_EQ(sd::create(&t.fcb), 0);
    ASSERT_EQ(sd::open(&t.fcb, 0x42), 0);
    for (const SiteRow& r : sites) {
        t.set(r.location, r.category, r.rating);
        ASSERT_EQ(sd::add(&t.fcb), 0) << r.location;
    }
}

std::string random_location(std::mt19937& rng) {
    std::string s = "site" + std::to_string(rng() % 300);
    for (char& c : s)
        if (rng() % 2) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

TEST(KsfNames, PhysicalFileAndTable) {
    sk::ksf::KsfName n;
    ASSERT_TRUE(sk::ksf::split_ksf_name("/d/DATA\\!customers", &n));
    EXPECT_EQ(n.path, "/d/DATA.KSF");
    EXPECT_EQ(n.table, "CUSTOMERS");
    ASSERT_TRUE(sk::ksf::split_ksf_name("/d/DATA   ", &n));
    EXPECT_EQ(n.table, "UNNAMED");
    ASSERT_TRUE(sk::ksf::split_ksf_name("/d.x/list.dat", &n));
    EXPECT_EQ(n.path, "/d.x/list.dat");
    EXPECT_FALSE(sk::ksf::split_ksf_name("   ", &n));
}

TEST_F(KsfDriver, OpenReportsMissingForeignAndMismatchedFiles) {
    KsfTestTable t("sites");
    EXPECT_EQ(sd::open(&t.fcb, 0x42), sk::rt::kFileNotFound);
    ASSERT_TRUE(sk::test::platform_write_file(path("zero.KSF"), ""));
    t.set_name("zero");
    EXPECT_EQ(sd::open(&t.fcb, 0x42), sk::rt::kFileNotFound);  // an empty KSF file without the table
    ASSERT_TRUE(sk::test::platform_write_file(path("short.KSF"), std::string(100, 'x')));
    t.set_name("short");
    EXPECT_EQ(sd::open(&t.fcb, 0x42), sk::rt::kInvalidDataFile);
    t.set_name("sites");
    ASSERT_EQ(sd::create(&t.fcb), 0);
    EXPECT_TRUE(sk::platform::file_exists(path("sites.KSF")));
    KsfTestTable fewer_keys("sites", 2);
    EXPECT_EQ(sd::open(&fewer_keys.fcb, 0x42), sk::rt::kInvalidRecordDeclaration);
    ASSERT_EQ(sd::open(&t.fcb, 0x42), 0);
    EXPECT_EQ(sd::next(&t.fcb), sk::rt::kRecordNotAvailable);  // no sequence yet
    EXPECT_EQ(sd::open(&t.fcb, 0x42), sk::rt::kFileAlreadyOpen);
    ASSERT_EQ(sd::close(&t.fcb), 0);
    ASSERT_EQ(sd::open(&t.fcb, 0x40), 0);
    t.set("a", "b", 1);
    EXPECT_EQ(sd::add(&t.fcb), sk::rt::kAccessDenied);
    EXPECT_EQ(sd::build(&t.fcb), sk::rt::kExclusiveAccessRequired);
}

TEST_F(KsfDriver, RandomChangesMatchTheModelInEveryKeyOrder) {
    KsfTestTable t("model");
    ASSERT_NO_FATAL_FAILURE(new_table(t));
    std::mt19937 rng(42);
    Model model;
    for (int i = 0; i < 1500; ++i) {
        const std::string loc = random_location(rng);
        const std::string cat = "cat" + std::to_string(rng() % 7);
        const std::int32_t rating = static_cast<std::int32_t>(rng() % 11) - 5;
        const std::string note = rng() % 3 ? std::string(rng() % 300, static_cast<char>('a' + rng() % 26)) : "";
        auto it = model.find(upper(loc));
        const int action = static_cast<int>(rng() % 4);
        if (action == 0 || it == model.end()) {
            t.set(loc, cat, rating);
            ASSERT_EQ(sd::records(&t.fcb), static_cast<std::int64_t>(model.size()));
            t.set(loc, cat, rating);
            t.set_note(note);
            const int rc = sd::add(&t.fcb);
            if (it != model.end()) {
                ASSERT_EQ(rc, sk::rt::kCreatesDuplicateKey) << loc;
            } else {
                ASSERT_EQ(rc, 0);
                model[upper(loc)] = Site{loc, cat, rating, note, sd::pointer(&t.fcb)};
            }
        } else if (action == 1) {
            t.set(loc, "", 0);
            ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
            ASSERT_EQ(sd::delete_record(&t.fcb), 0);
            model.erase(it);
        } else {
            // Change category, rating and note, and sometimes the location,
            // perhaps onto another site's (refused, nothing changed).
            t.set(loc, "", 0);
            ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
            const std::string new_loc = action == 3 ? random_location(rng) : t.location();
            t.set(new_loc, cat, rating);
            t.set_note(note);
            const int rc = sd::put(&t.fcb);
            auto clash = model.find(upper(new_loc));
            if (clash != model.end() && clash != it) {
                ASSERT_EQ(rc, sk::rt::kCreatesDuplicateKey);
            } else {
                ASSERT_EQ(rc, 0);
                Site s{new_loc, cat, rating, note, it->second.recno};
                model.erase(it);
                model[upper(new_loc)] = s;
            }
        }
        if (i % 500 == 499) expect_matches(t, model);
    }
    ASSERT_EQ(sd::close(&t.fcb), 0);
    ASSERT_EQ(sd::open(&t.fcb, 0x22), 0);
    expect_matches(t, model);
    // BUILD rebuilds the same entries.
    ASSERT_EQ(sd::build(&t.fcb), 0);
    expect_matches(t, model);
    ASSERT_EQ(sd::close(&t.fcb), 0);
    // The file is sound on the page level too.
    sk::ksf::KsfFile f(path("model.KSF"));
    ASSERT_EQ(f.open(0x40, false), 0);
    ASSERT_EQ(f.refresh(), 0);
    sk::ksf::PageTree tree(f);
    EXPECT_TRUE(tree.check().empty());
    EXPECT_TRUE(f.check_space().empty());
    EXPECT_EQ(static_cast<std::uint64_t>(f.file().size()), f.header().allocated_end());
}

TEST_F(KsfDriver, BuildRecomputesKeyEntriesExactlyFromTheDataRecords) {
    KsfTestTable t("build");
    ASSERT_EQ(sd::create(&t.fcb), 0);
    ASSERT_EQ(sd::open(&t.fcb, 0x12), 0);
    for (int i = 0; i < 400; ++i) {
        // Every tenth location blank (the optional key leaves it out), categories repeating.
        t.set(i % 10 == 3 ? "" : "site" + std::to_string(i), "cat" + std::to_string(i % 9), i % 13 - 6);
        ASSERT_EQ(sd::add(&t.fcb), 0) << i;
    }
    ASSERT_EQ(sd::close(&t.fcb), 0);
    sk::test::KsfModel sound;
    std::string table;  // the table number's 4 bytes
    {
        sk::ksf::KsfFile f(path("build.KSF"));
        ASSERT_EQ(f.open(0x12, false), 0);
        sound = sk::test::read_back(f);
        table = sound.at("\xFE" "UNNAMED");  // a name without "\!" names this table
    }
    ASSERT_EQ(table.size(), 4u);
    const auto of_key = [&](const sk::test::KsfModel& m, std::uint8_t key) {
        sk::test::KsfModel part;
        for (const auto& [k, v] : m)
            if (k.size() > 4 && k.compare(0, 4, table) == 0 && (static_cast<std::uint8_t>(k[4]) == key ||
                                                                 (static_cast<std::uint8_t>(k[4]) == 0xF6 && k.size() == 6 &&
                                                                  static_cast<std::uint8_t>(k[5]) == key)))
                part[k] = v;
        return part;
    };
    ASSERT_EQ(of_key(sound, 0).size(), 360u + 1);  // entries and counter
    // Damage keys 0 and 1 behind the driver's back: entries lost, a stray entry,
    // counters wrong.
    {
        sk::ksf::KsfFile f(path("build.KSF"));
        ASSERT_EQ(f.open(0x12, false), 0);
        ASSERT_EQ(f.refresh(), 0);
        int n = 0;
        for (const auto& [k, v] : sound) {
            if (k.size() <= 5 || k.compare(0, 4, table) != 0 || static_cast<std::uint8_t>(k[4]) > 1 || n++ % 3 != 0) continue;
            f.begin_tree_operation();
            ASSERT_EQ(sk::ksf::PageTree(f).remove(k), 0);
        }
        f.begin_tree_operation();
        ASSERT_EQ(sk::ksf::PageTree(f).insert(sk::ksf::Record::of(table + std::string("\x01STRAY\0\0\0\x07", 10))), 0);
        for (std::uint8_t key : {0, 1}) {
            f.begin_tree_operation();
            ASSERT_EQ(sk::ksf::PageTree(f).replace(sk::ksf::counter_record(sk::ksf::Id::of(sk::ksf::get_be32(
                                                                                   reinterpret_cast<const std::uint8_t*>(table.data()))),
                                                                           key, 9999, 0)),
                      0);
        }
        ASSERT_EQ(f.commit(), 0);
    }
    const auto file_now = [&] {
        sk::ksf::KsfFile f(path("build.KSF"));
        EXPECT_EQ(f.open(0x12, false), 0);
        return sk::test::read_back(f);
    };
    // BUILD of one key mends that key alone.
    ASSERT_EQ(sd::open(&t.fcb, 0x12), 0);
    ASSERT_EQ(sd::build_key(&t.fcb, &t.k_category), 0);
    ASSERT_EQ(sd::close(&t.fcb), 0);
    sk::test::KsfModel now = file_now();
    EXPECT_TRUE(of_key(now, 1) == of_key(sound, 1));
    EXPECT_FALSE(of_key(now, 0) == of_key(sound, 0));
    EXPECT_TRUE(of_key(now, 2) == of_key(sound, 2));
    // BUILD of every key gives back exactly the records the adds wrote.
    ASSERT_EQ(sd::open(&t.fcb, 0x12), 0);
    ASSERT_EQ(sd::build(&t.fcb), 0);
    EXPECT_EQ(sd::records_key(&t.fcb, &t.k_location), 360);
    ASSERT_EQ(sd::close(&t.fcb), 0);
    EXPECT_TRUE(file_now() == sound);
}

TEST_F(KsfDriver, KeyWithoutComponentsIsRefusedAtCreateAndOpen) {
    KsfTestTable good("nocomp");
    ASSERT_EQ(sd::create(&good.fcb), 0);
    KsfTestTable t("nocomp");
    t.k_rating.component_count = 0;
    EXPECT_EQ(sd::create(&t.fcb), sk::rt::kInvalidRecordDeclaration);
    EXPECT_EQ(sd::open(&t.fcb, 0x42), sk::rt::kInvalidRecordDeclaration);
    // The file created with the sound declaration is untouched and opens.
    ASSERT_EQ(sd::open(&good.fcb, 0x42), 0);
    EXPECT_EQ(sd::records(&good.fcb), 0);
}

TEST_F(KsfDriver, DuplicateAddAndPutLeaveNoTrace) {
    KsfTestTable t("dups");
    ASSERT_NO_FATAL_FAILURE(new_table(t, {{"abc", "one", 1}, {"xyz", "two", 2}}));
    t.set("ABC", "three", 3);
    EXPECT_EQ(sd::add(&t.fcb), sk::rt::kCreatesDuplicateKey);
    EXPECT_EQ(sd::records(&t.fcb), 2);
    EXPECT_EQ(sd::records_key(&t.fcb, &t.k_category), 2);
    EXPECT_EQ(walk(t, &t.k_category), (std::vector<std::string>{"ABC", "XYZ"}));
    t.set("xyz", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    t.set("Abc", "zzz", 9);
    EXPECT_EQ(sd::put(&t.fcb), sk::rt::kCreatesDuplicateKey);
    EXPECT_EQ(walk(t, &t.k_category), (std::vector<std::string>{"ABC", "XYZ"}));
    EXPECT_EQ(walk(t, &t.k_rating), (std::vector<std::string>{"XYZ", "ABC"}));
    // An optional key makes no entry for a blank location.
    t.set("", "blank", 0);
    ASSERT_EQ(sd::add(&t.fcb), 0);
    EXPECT_EQ(sd::records(&t.fcb), 3);
    EXPECT_EQ(sd::records_key(&t.fcb, &t.k_location), 2);
    t.set("", "blank", 0);
    ASSERT_EQ(sd::add(&t.fcb), 0);
    EXPECT_EQ(walk(t, &t.k_location).size(), 2u);
}

TEST_F(KsfDriver, ARegetOfADeletedRecordLeavesNothingToWriteOver) {
    KsfTestTable t("regetgone");
    ASSERT_NO_FATAL_FAILURE(new_table(t, {{"one", "a", 1}, {"two", "b", 2}}));
    t.set("two", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    const std::string gone = sd::position_key(&t.fcb, &t.k_location);
    ASSERT_EQ(sd::delete_record(&t.fcb), 0);
    // Another record is read, then the deleted one's position is asked for again.
    t.set("one", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    EXPECT_EQ(sd::reget_key(&t.fcb, &t.k_location, gone), sk::rt::kRecordNotFound);
    t.set("two", "changed", 9);
    EXPECT_EQ(sd::put(&t.fcb), sk::rt::kRecordNotAvailable);
    EXPECT_EQ(sd::delete_record(&t.fcb), sk::rt::kRecordNotAvailable);
    EXPECT_EQ(sd::records(&t.fcb), 1);
    t.set("one", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    EXPECT_EQ(t.category(), "a");
    EXPECT_EQ(t.rating(), 1);
    EXPECT_EQ(walk(t, &t.k_category), (std::vector<std::string>{"ONE"}));
}

// The same for a GET by key or by pointer that finds nothing: the record read
// before it is no longer current, so a write that follows lands nowhere.
TEST_F(KsfDriver, AFailedGetLeavesNothingToWriteOver) {
    KsfTestTable t("getgone");
    ASSERT_NO_FATAL_FAILURE(new_table(t, {{"one", "a", 1}}));
    for (int by_pointer = 0; by_pointer < 2; ++by_pointer) {
        t.set("one", "", 0);
        ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
        t.set("nowhere", "", 0);
        EXPECT_EQ(by_pointer ? sd::get_pointer(&t.fcb, 999) : sd::get_key(&t.fcb, &t.k_location),
                  sk::rt::kRecordNotFound);
        t.set("one", "changed", 9);
        EXPECT_EQ(sd::put(&t.fcb), sk::rt::kRecordNotAvailable);
        EXPECT_EQ(sd::delete_record(&t.fcb), sk::rt::kRecordNotAvailable);
    }
    t.set("one", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    EXPECT_EQ(t.category(), "a");
    EXPECT_EQ(sd::records(&t.fcb), 1);
}

TEST_F(KsfDriver, PutAtAPointerReplacesThatRecordAndItsKeys) {
    KsfTestTable t("putptr");
    ASSERT_NO_FATAL_FAILURE(new_table(t, {{"first", "a", 1}}));
    const std::int64_t first = sd::pointer(&t.fcb);
    t.set("second", "b", 2);
    ASSERT_EQ(sd::add(&t.fcb), 0);
    // The current record is the second; the first is replaced by pointer.
    t.set("renamed", "c", 3);
    t.set_note("new note");
    ASSERT_EQ(sd::put_pointer(&t.fcb, first), 0);
    EXPECT_EQ(sd::pointer(&t.fcb), first);
    EXPECT_EQ(walk(t, &t.k_location), (std::vector<std::string>{"RENAMED", "SECOND"}));
    EXPECT_EQ(walk(t, &t.k_category), (std::vector<std::string>{"SECOND", "RENAMED"}));
    EXPECT_EQ(walk(t, &t.k_rating), (std::vector<std::string>{"RENAMED", "SECOND"}));
    ASSERT_EQ(sd::get_pointer(&t.fcb, first), 0);
    EXPECT_EQ(t.location(), "renamed");
    EXPECT_EQ(t.note(), "new note");
    // A duplicate is refused with nothing changed; a pointer to no record is 35
    // and leaves no current record.
    t.set("SECOND", "d", 4);
    EXPECT_EQ(sd::put_pointer(&t.fcb, first), sk::rt::kCreatesDuplicateKey);
    EXPECT_EQ(walk(t, &t.k_category), (std::vector<std::string>{"SECOND", "RENAMED"}));
    t.set("ghost", "e", 5);
    EXPECT_EQ(sd::put_pointer(&t.fcb, first + 1000), sk::rt::kRecordNotFound);
    EXPECT_EQ(sd::put(&t.fcb), sk::rt::kRecordNotAvailable);
    EXPECT_EQ(sd::put_pointer(&t.fcb, 0), sk::rt::kRecordNotFound);
    EXPECT_EQ(sd::records(&t.fcb), 2);
}

TEST_F(KsfDriver, SequencesStartWhereSetAndResetPutThem) {
    KsfTestTable t("seq");
    ASSERT_NO_FATAL_FAILURE(new_table(t));
    for (int i = 0; i < 10; ++i) {
        t.set("s" + std::to_string(i), i < 5 ? "low" : "high", i % 3);
        ASSERT_EQ(sd::add(&t.fcb), 0);
    }
    // From a key value: a run of duplicates is entered at its start or end.
    t.set("", "low", 0);
    ASSERT_EQ(sd::set_key_value(&t.fcb, &t.k_category, &t.k_category), 0);
    ASSERT_EQ(sd::next(&t.fcb), 0);
    EXPECT_EQ(t.location(), "s0");
    t.set("", "low", 0);
    ASSERT_EQ(sd::set_key_value(&t.fcb, &t.k_category, &t.k_category), 0);
    ASSERT_EQ(sd::previous(&t.fcb), 0);
    EXPECT_EQ(t.location(), "s9");  // the last of "high"
    // POSITION and RESET come back to the same record and go on from it.
    t.set("s3", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    const std::string pos = sd::position_key(&t.fcb, &t.k_location);
    ASSERT_EQ(sd::reset_key(&t.fcb, &t.k_location, pos), 0);
    ASSERT_EQ(sd::next(&t.fcb), 0);
    EXPECT_EQ(t.location(), "s3");
    ASSERT_EQ(sd::next(&t.fcb), 0);
    EXPECT_EQ(t.location(), "s4");
    // File order from a pointer, and SKIP, EOF, BOF.
    ASSERT_EQ(sd::set_from_pointer(&t.fcb, sd::pointer(&t.fcb)), 0);
    ASSERT_EQ(sd::next(&t.fcb), 0);
    EXPECT_EQ(t.location(), "s4");
    ASSERT_EQ(sd::skip(&t.fcb, 4), 0);
    ASSERT_EQ(sd::next(&t.fcb), 0);
    EXPECT_EQ(t.location(), "s9");
    EXPECT_TRUE(sd::eof(&t.fcb));
    EXPECT_FALSE(sd::bof(&t.fcb));
    // A deleted record at the stored position: the nearest one follows.
    t.set("s5", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    const std::string at5 = sd::position(&t.fcb);
    ASSERT_EQ(sd::delete_record(&t.fcb), 0);
    ASSERT_EQ(sd::reset(&t.fcb, at5), 0);
    ASSERT_EQ(sd::next(&t.fcb), 0);
    EXPECT_EQ(t.location(), "s6");
    EXPECT_EQ(sd::bytes(&t.fcb), KsfTestTable::kRecordLength);
    t.set("nope", "", 0);
    EXPECT_EQ(sd::get_key(&t.fcb, &t.k_location), sk::rt::kRecordNotFound);
    EXPECT_EQ(sd::put(&t.fcb), sk::rt::kRecordNotAvailable);
}

TEST_F(KsfDriver, MemosKeepTheirTextAndLength) {
    KsfTestTable t("memo");
    ASSERT_NO_FATAL_FAILURE(new_table(t));
    const std::string long_note(257, 'n');
    t.set("a", "c", 1);
    t.set_note(long_note);
    ASSERT_EQ(sd::add(&t.fcb), 0);
    t.set("b", "c", 1);
    t.set_note("");
    ASSERT_EQ(sd::add(&t.fcb), 0);
    t.set("a", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    EXPECT_EQ(t.note(), long_note);
    EXPECT_EQ(sd::memo_length(&t.fcb, 1), 257);
    EXPECT_EQ(sd::memo_slice_read(&t.fcb, 1, 250, 400), std::string(7, 'n'));
    ASSERT_EQ(sd::memo_slice_write(&t.fcb, 1, 0, 2, "XYZ"), 0);
    ASSERT_EQ(sd::put(&t.fcb), 0);
    t.set("b", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    EXPECT_EQ(t.note(), "");
    t.set("a", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    EXPECT_EQ(t.note(), "XYZ" + long_note.substr(3));
    EXPECT_EQ(sd::memo_property_read(&t.fcb, 1, "31929"), "300");
}

// A program blanks the memo buffer for the next record after reading or
// writing a long note; the blank memo must be stored empty, not as as many
// blanks as the note had. Blanks a slice write puts at the end stay.
TEST_F(KsfDriver, ABlankedMemoIsStoredEmptyWhateverWasReadBefore) {
    KsfTestTable t("blanked");
    ASSERT_NO_FATAL_FAILURE(new_table(t));
    t.set("a", "c", 1);
    t.set_note(std::string(200, 'n'));
    ASSERT_EQ(sd::add(&t.fcb), 0);
    t.set("b", "c", 1);
    t.set_note("");
    ASSERT_EQ(sd::add(&t.fcb), 0);
    t.set("a", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    ASSERT_EQ(sd::memo_length(&t.fcb, 1), 200);
    t.set("c", "c", 1);
    t.set_note("");
    ASSERT_EQ(sd::add(&t.fcb), 0);
    for (const char* loc : {"b", "c"}) {
        t.set(loc, "", 0);
        ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
        EXPECT_EQ(sd::memo_length(&t.fcb, 1), 0) << loc;
    }
    t.set_note("");
    ASSERT_EQ(sd::memo_slice_write(&t.fcb, 1, 0, 4, "ab"), 0);
    ASSERT_EQ(sd::put(&t.fcb), 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    EXPECT_EQ(sd::memo_length(&t.fcb, 1), 5);
    EXPECT_EQ(sd::memo_slice_read(&t.fcb, 1, 0, 9), "ab   ");
}

// Long runs of reads answer empty memos from a summary of the memo chunks;
// every change, through this table or another one on the same file, must show
// in the next read, and notes of every length must come back whole.
TEST_F(KsfDriver, LongReadRunsStillSeeEveryMemoChange) {
    constexpr int kSites = 1200;
    KsfTestTable t("summary"), other("summary");
    ASSERT_NO_FATAL_FAILURE(new_table(t));
    std::map<std::string, std::string> notes;  // by upper-case location
    ASSERT_EQ(sd::logout(&t.fcb), 0);
    for (int i = 0; i < kSites; ++i) {
        const std::string loc = "site" + std::to_string(100000 + i * 7919 % kSites);
        // Mostly empty; some of one chunk, some ending exactly on a chunk, some of several.
        const std::string note = i % 5 != 0 ? "" : std::string(i % 3 == 0 ? 256 : 40 + i % 261, char('a' + i % 26));
        t.set(loc, "c", i % 9);
        t.set_note(note);
        ASSERT_EQ(sd::add(&t.fcb), 0);
        notes[upper(loc)] = note;
    }
    ASSERT_EQ(sd::commit(&t.fcb), 0);
    const auto read_all = [&](KsfTestTable& table) {
        std::map<std::string, std::string> seen;
        EXPECT_EQ(sd::set_key(&table.fcb, &table.k_location), 0);
        while (sd::next(&table.fcb) == 0) seen[upper(table.location())] = table.note();
        return seen;
    };
    EXPECT_EQ(read_all(t), notes);
    ASSERT_TRUE(sk::ksf::ksf_table(&t.fcb)->memo_summary.built);
    EXPECT_EQ(read_all(t), notes);

    // Changes through the same table: a note given, a note taken away, a
    // record with a note deleted and one added, each seen at once.
    const auto change = [&](KsfTestTable& table, const std::string& loc, const std::string& note) {
        table.set(loc, "", 0);
        ASSERT_EQ(sd::get_key(&table.fcb, &table.k_location), 0);
        table.set_note(note);
        ASSERT_EQ(sd::put(&table.fcb), 0);
        notes[upper(loc)] = note;
    };
    const auto note_of = [&](KsfTestTable& table, const std::string& loc) {
        table.set(loc, "", 0);
        EXPECT_EQ(sd::get_key(&table.fcb, &table.k_location), 0);
        return table.note();
    };
    // Sites whose notes start empty, and one that starts with a note.
    std::vector<std::string> empty_sites;
    std::string noted;
    for (const auto& [loc, note] : notes) {
        if (note.empty()) empty_sites.push_back(loc);
        else if (noted.empty()) noted = loc;
    }
    ASSERT_GE(empty_sites.size(), 3u);
    change(t, empty_sites[0], "now a note");
    EXPECT_EQ(note_of(t, empty_sites[0]), "now a note");
    EXPECT_EQ(read_all(t), notes);
    change(t, noted, "");
    EXPECT_EQ(read_all(t), notes);
    EXPECT_EQ(note_of(t, noted), "");

    // Through a second table on the same physical file, which shares the
    // cached pages but not this table's summary.
    ASSERT_EQ(sd::open(&other.fcb, 0x42), 0);
    EXPECT_EQ(read_all(t), notes);
    ASSERT_TRUE(sk::ksf::ksf_table(&t.fcb)->memo_summary.built);
    change(other, empty_sites[1], std::string(600, 'z'));
    EXPECT_EQ(note_of(t, empty_sites[1]), std::string(300, 'z'));  // the memo holds 300
    notes[empty_sites[1]] = std::string(300, 'z');
    EXPECT_EQ(read_all(t), notes);
    other.set(empty_sites[1], "", 0);
    ASSERT_EQ(sd::get_key(&other.fcb, &other.k_location), 0);
    ASSERT_EQ(sd::delete_record(&other.fcb), 0);
    other.set(empty_sites[1], "c", 1);
    other.set_note("again");
    ASSERT_EQ(sd::add(&other.fcb), 0);  // a fresh record number
    notes[empty_sites[1]] = "again";
    EXPECT_EQ(read_all(t), notes);
    EXPECT_EQ(read_all(other), notes);
    // A rollback drops the changes it held, and the reads see the old notes.
    ASSERT_EQ(sd::logout(&t.fcb), 0);
    change(t, empty_sites[2], "held back");
    EXPECT_EQ(note_of(t, empty_sites[2]), "held back");
    ASSERT_EQ(sd::rollback(&t.fcb), 0);
    notes[empty_sites[2]] = "";
    EXPECT_EQ(read_all(t), notes);
    EXPECT_EQ(note_of(t, empty_sites[2]), "");
    ASSERT_EQ(sd::close(&other.fcb), 0);
    ASSERT_EQ(sd::close(&t.fcb), 0);
}

TEST_F(KsfDriver, TablesShareAPhysicalFile) {
    KsfTestTable one("data\\!one"), two("data\\!two");
    ASSERT_EQ(sd::create(&one.fcb), 0);
    ASSERT_EQ(sd::create(&two.fcb), 0);
    ASSERT_EQ(sd::open(&one.fcb, 0x42), 0);
    ASSERT_EQ(sd::open(&two.fcb, 0x42), 0);
    one.set("a", "x", 1);
    ASSERT_EQ(sd::add(&one.fcb), 0);
    two.set("a", "y", 2);
    ASSERT_EQ(sd::add(&two.fcb), 0);
    two.set("b", "y", 2);
    ASSERT_EQ(sd::add(&two.fcb), 0);
    EXPECT_EQ(sd::records(&one.fcb), 1);
    EXPECT_EQ(sd::records(&two.fcb), 2);
    EXPECT_EQ(sd::send(&one.fcb, "PNM="), "ONE");
    EXPECT_EQ(sd::send(&one.fcb, "PNM=P"), "TWO");
    EXPECT_EQ(sd::send(&one.fcb, "PNM=U"), "");
    EXPECT_EQ(sd::send(&one.fcb, "what"), std::string("SEND arg not recognised") + '\0');
    ASSERT_EQ(sd::close(&one.fcb), 0);
    ASSERT_EQ(sd::close(&two.fcb), 0);
    // RENAME within the file, COPY to another file, REMOVE of one table.
    ASSERT_EQ(sd::rename(&two.fcb, "data\\!three"), 0);
    EXPECT_EQ(sd::open(&two.fcb, 0x42), sk::rt::kFileNotFound);
    KsfTestTable three("data\\!three"), copied("other\\!three");
    EXPECT_EQ(sd::rename(&one.fcb, "data\\!three"), sk::rt::kAccessDenied);
    ASSERT_EQ(sd::copy(&three.fcb, "other\\!three"), 0);
    ASSERT_EQ(sd::open(&three.fcb, 0x42), 0);
    ASSERT_EQ(sd::open(&copied.fcb, 0x42), 0);
    EXPECT_EQ(walk(three, &three.k_location), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(walk(copied, &copied.k_location), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(walk(copied, &copied.k_rating), (std::vector<std::string>{"A", "B"}));
    copied.set("c", "y", 3);
    ASSERT_EQ(sd::add(&copied.fcb), 0);  // fresh record numbers do not collide
    EXPECT_EQ(sd::records(&copied.fcb), 3);
    ASSERT_EQ(sd::close(&three.fcb), 0);
    ASSERT_EQ(sd::close(&copied.fcb), 0);
    ASSERT_EQ(sd::remove(&three.fcb), 0);
    EXPECT_TRUE(sk::platform::file_exists(path("data.KSF")));
    ASSERT_EQ(sd::open(&one.fcb, 0x42), 0);
    EXPECT_EQ(sd::records(&one.fcb), 1);
    ASSERT_EQ(sd::close(&one.fcb), 0);
    ASSERT_EQ(sd::remove(&one.fcb), 0);
    EXPECT_FALSE(sk::platform::file_exists(path("data.KSF")));
}

// The control file's default name, "c:\\kestrel.tcf", and any other
// drive-letter name lie in the per-user state directory, created on first use;
// a plain name lies in the current directory.
TEST_F(KsfDriver, DriveLetterControlFilesLieInTheStateDirectory) {
    const char* old = std::getenv("XDG_STATE_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_STATE_HOME", path("state").c_str(), 1);
    // A transaction over two files goes through the control file.
    KsfTestTable a("statea"), b("stateb");
    ASSERT_EQ(sd::create(&a.fcb), 0);
    ASSERT_EQ(sd::create(&b.fcb), 0);
    ASSERT_EQ(sd::open(&a.fcb, 0x42), 0);
    ASSERT_EQ(sd::open(&b.fcb, 0x42), 0);
    const auto one_transaction = [&](const std::string& name) {
        ASSERT_EQ(sd::send(&a.fcb, "TCF=" + name), "");
        ASSERT_EQ(sd::logout(&a.fcb), 0);
        ASSERT_EQ(sd::logout(&b.fcb), 0);
        a.set(name, "x", 1);
        ASSERT_EQ(sd::add(&a.fcb), 0);
        b.set(name, "x", 1);
        ASSERT_EQ(sd::add(&b.fcb), 0);
        ASSERT_EQ(sd::commit(&a.fcb), 0);
    };
    one_transaction("c:\\kestrel.tcf");
    EXPECT_TRUE(sk::platform::file_exists(path("state/sitekeeper/kestrel.tcf")));
    EXPECT_FALSE(sk::platform::file_exists(path("c:\\kestrel.tcf")));
    one_transaction("D:\\Shared\\station.tcf");
    EXPECT_TRUE(sk::platform::file_exists(path("state/sitekeeper/d/Shared/station.tcf")));
    one_transaction("here.tcf");
    EXPECT_TRUE(sk::platform::file_exists(path("here.tcf")));
    EXPECT_EQ(sd::records(&a.fcb), 3);
    EXPECT_EQ(sd::records(&b.fcb), 3);
    ASSERT_EQ(sd::send(&a.fcb, "TCF=c:\\kestrel.tcf"), "");
    if (old) ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
    else ::unsetenv("XDG_STATE_HOME");
}

TEST_F(KsfDriver, TransactionsCommitOrRollBackBothFiles) {
    KsfTestTable a("ta"), b("tb");
    ASSERT_EQ(sd::send(&a.fcb, "TCF=" + path("control.tcf")), "");
    ASSERT_EQ(sd::create(&a.fcb), 0);
    ASSERT_EQ(sd::create(&b.fcb), 0);
    ASSERT_EQ(sd::open(&a.fcb, 0x42), 0);
    ASSERT_EQ(sd::open(&b.fcb, 0x42), 0);
    ASSERT_EQ(sd::logout(&a.fcb), 0);
    ASSERT_EQ(sd::logout(&b.fcb), 0);
    EXPECT_EQ(sd::close(&a.fcb), sk::rt::kLogoutAlreadyActive);
    a.set("one", "x", 1);
    ASSERT_EQ(sd::add(&a.fcb), 0);
    b.set("one", "x", 1);
    ASSERT_EQ(sd::add(&b.fcb), 0);
    ASSERT_EQ(sd::rollback(&a.fcb), 0);
    EXPECT_EQ(sd::records(&a.fcb), 0);
    EXPECT_EQ(sd::records(&b.fcb), 0);
    ASSERT_EQ(sd::logout(&a.fcb), 0);
    ASSERT_EQ(sd::logout(&b.fcb), 0);
    a.set("two", "x", 1);
    ASSERT_EQ(sd::add(&a.fcb), 0);
    b.set("two", "x", 1);
    ASSERT_EQ(sd::add(&b.fcb), 0);
    ASSERT_EQ(sd::commit(&a.fcb), 0);
    EXPECT_EQ(sd::records(&a.fcb), 1);
    EXPECT_EQ(sd::records(&b.fcb), 1);
    ASSERT_EQ(sd::close(&a.fcb), 0);
    ASSERT_EQ(sd::close(&b.fcb), 0);
    ASSERT_EQ(sd::open(&b.fcb, 0x42), 0);
    EXPECT_EQ(walk(b, &b.k_location), (std::vector<std::string>{"TWO"}));
}

TEST_F(KsfDriver, TransactionNotCompletedInTheControlFileIsUndoneAtOpen) {
    // The control file refuses the deletion of the identifier record: both data
    // files hold visible journals, and both must open in their old state.
    KsfTestTable a("ua"), b("ub");
    ASSERT_EQ(sd::send(&a.fcb, "TCF=" + path("crash.tcf")), "");
    ASSERT_EQ(sd::create(&a.fcb), 0);
    ASSERT_EQ(sd::create(&b.fcb), 0);
    ASSERT_EQ(sd::open(&a.fcb, 0x42), 0);
    ASSERT_EQ(sd::open(&b.fcb, 0x42), 0);
    a.set("kept", "x", 1);
    ASSERT_EQ(sd::add(&a.fcb), 0);
    ASSERT_EQ(sd::logout(&a.fcb), 0);
    ASSERT_EQ(sd::logout(&b.fcb), 0);
    a.set("lost", "x", 1);
    ASSERT_EQ(sd::add(&a.fcb), 0);
    b.set("lost", "x", 1);
    ASSERT_EQ(sd::add(&b.fcb), 0);
    // Count the flushes of one control-file commit (the identifier's insertion).
    ControlFault probe{"crash.tcf"};
    {
        sk::ksf::KsfFile tcf(path("probe.tcf"));
        ASSERT_EQ(tcf.open(0x42, true), 0);
        ASSERT_EQ(tcf.begin_statement(true), 0);
        tcf.begin_tree_operation();
        ASSERT_EQ(sk::ksf::PageTree(tcf).insert(sk::ksf::Record::of("ABCD")), 0);
        probe.control = "probe.tcf";
        sk::platform::set_file_fault_hook(&control_fault, &probe);
        ASSERT_EQ(tcf.end_statement(), 0);
        sk::platform::set_file_fault_hook(nullptr, nullptr);
    }
    ControlFault fault{"crash.tcf"};
    fault.fail_control_after = probe.control_flushes;
    sk::platform::set_file_fault_hook(&control_fault, &fault);
    EXPECT_NE(sd::commit(&a.fcb), 0);
    sk::platform::set_file_fault_hook(nullptr, nullptr);
    EXPECT_EQ(walk(a, &a.k_location), (std::vector<std::string>{"KEPT"}));
    EXPECT_EQ(walk(b, &b.k_location), std::vector<std::string>{});
    ASSERT_EQ(sd::close(&a.fcb), 0);
    ASSERT_EQ(sd::close(&b.fcb), 0);
    ASSERT_EQ(sd::open(&b.fcb, 0x42), 0);
    EXPECT_EQ(sd::records(&b.fcb), 0);
}

namespace {

// A crash after the control file has deleted the transaction's record: from the
// kth write or flush of a data file after that on, every operation on the data
// files fails, as if the process had died there.
struct AfterControl {
    std::string control;
    int phase = 0;  // 0 before the journals, 1 journals written, 2 record deleted
    int data_ops_left = 0;
    bool crashed = false;
};

int after_control_fault(sk::platform::FileOperation, const std::string& path, void* context) {
    auto* f = static_cast<AfterControl*>(context);
    const bool control = path.find(f->control) != std::string::npos;
    const bool data = path.find("/da.KSF") != std::string::npos || path.find("/db.KSF") != std::string::npos;
    if (control) {
        if (f->phase == 1) f->phase = 2;
        return 0;
    }
    if (!data) return 0;
    if (f->crashed) return 29;
    if (f->phase == 0) f->phase = 1;
    if (f->phase == 2 && f->data_ops_left-- == 0) {
        f->crashed = true;
        return 29;
    }
    return 0;
}

}  // namespace

// Once the control file no longer holds the transaction, it is complete: a
// crash while the data files copy their journals home must leave both files
// with the new state at the next open, whichever writes had been done.
TEST_F(KsfDriver, ACrashAfterTheControlRecordIsDeletedCompletesBothFiles) {
    for (int k = 0;; ++k) {
        AfterControl fault{"done.tcf"};
        fault.data_ops_left = k;
        {
            KsfTestTable a("da"), b("db");
            ASSERT_EQ(sd::send(&a.fcb, "TCF=" + path("done.tcf")), "");
            if (k == 0) {
                ASSERT_EQ(sd::create(&a.fcb), 0);
                ASSERT_EQ(sd::create(&b.fcb), 0);
            }
            ASSERT_EQ(sd::open(&a.fcb, 0x42), 0);
            ASSERT_EQ(sd::open(&b.fcb, 0x42), 0);
            ASSERT_EQ(sd::logout(&a.fcb), 0);
            ASSERT_EQ(sd::logout(&b.fcb), 0);
            const std::string name = "site" + std::to_string(k);
            a.set(name, "x", 1);
            ASSERT_EQ(sd::add(&a.fcb), 0);
            b.set(name, "y", 2);
            ASSERT_EQ(sd::add(&b.fcb), 0);
            sk::platform::set_file_fault_hook(&after_control_fault, &fault);
            const int rc = sd::commit(&a.fcb);
            if (rc == 0) {
                sk::platform::set_file_fault_hook(nullptr, nullptr);
                ASSERT_FALSE(fault.crashed);
                ASSERT_GT(k, 2);
                break;
            }
            ASSERT_TRUE(fault.crashed) << k;
            // The tables go with the process: their closing writes nothing.
        }
        sk::platform::set_file_fault_hook(nullptr, nullptr);
        KsfTestTable a("da"), b("db");
        ASSERT_EQ(sd::open(&a.fcb, 0x42), 0);
        ASSERT_EQ(sd::open(&b.fcb, 0x42), 0);
        EXPECT_EQ(sd::records(&a.fcb), k + 1) << "crash at data operation " << k;
        EXPECT_EQ(sd::records(&b.fcb), k + 1) << "crash at data operation " << k;
        a.set("site" + std::to_string(k), "", 0);
        EXPECT_EQ(sd::get_key(&a.fcb, &a.k_location), 0) << k;
        b.set("site" + std::to_string(k), "", 0);
        EXPECT_EQ(sd::get_key(&b.fcb, &b.k_location), 0) << k;
        ASSERT_LT(k, 200);
    }
}

namespace {

struct Countdown {
    int left = -1;
};

int countdown_fault(sk::platform::FileOperation, const std::string& path, void* context) {
    auto* c = static_cast<Countdown*>(context);
    if (path.find("crashy") == std::string::npos || c->left < 0) return 0;
    if (c->left == 0) return 29;
    --c->left;
    return 0;
}

}  // namespace

TEST_F(KsfDriver, FailedWritesNeverLeaveHalfAStatement) {
    // ADD, PUT and DELETE with a write failing at every point of their commits:
    // each statement is then wholly there or wholly absent, keys included, and
    // the file stays sound for the statements after it.
    KsfTestTable t("crashy");
    ASSERT_NO_FATAL_FAILURE(new_table(t));
    Model model;
    std::mt19937 rng(11);
    Countdown c;
    for (int i = 0; i < 120; ++i) {
        const std::string loc = "p" + std::to_string(rng() % 60);
        auto it = model.find(upper(loc));
        const bool was_there = it != model.end();
        const std::int64_t old_recno = was_there ? it->second.recno : 0;
        c.left = static_cast<int>(rng() % 12);
        t.set(loc, "c" + std::to_string(i % 4), i);
        t.set_note(std::string(rng() % 280, 'z'));
        int rc;
        if (!was_there) {
            sk::platform::set_file_fault_hook(&countdown_fault, &c);
            rc = sd::add(&t.fcb);
            sk::platform::set_file_fault_hook(nullptr, nullptr);
        } else {
            ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
            t.set(loc, "c" + std::to_string(i % 4), i);
            sk::platform::set_file_fault_hook(&countdown_fault, &c);
            rc = rng() % 2 ? sd::put(&t.fcb) : sd::delete_record(&t.fcb);
            sk::platform::set_file_fault_hook(nullptr, nullptr);
        }
        // What the file holds now decides: present in full, or absent.
        t.set(loc, "", 0);
        const bool present = sd::get_key(&t.fcb, &t.k_location) == 0;
        if (present) {
            model[upper(loc)] = Site{loc, t.category(), t.rating(), t.note(), was_there ? old_recno : sd::pointer(&t.fcb)};
        } else {
            model.erase(upper(loc));
        }
        if (rc == 0 && !was_there) {
            ASSERT_TRUE(present);
        }
        if (i % 20 == 19) expect_matches(t, model);
    }
    ASSERT_EQ(sd::close(&t.fcb), 0);
    ASSERT_EQ(sd::open(&t.fcb, 0x42), 0);
    expect_matches(t, model);
}
