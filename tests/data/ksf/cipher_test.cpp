// Files opened with an owner password: the keystream's offset addressing, a
// table written and read back enciphered, what a reader without the password
// (or with another one, or the outside checker) gets, and the journal and
// crash recovery of an enciphered file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "data/file_layer.h"
#include "data/ksf/cipher.h"
#include "data/ksf/ksf_file.h"
#include "data/ksf/page_tree.h"
#include "control_fault.h"
#include "ksf_read_back.h"
#include "ksf_test_table.h"
#include "platform/file.h"
#include "runtime/error.h"
#include "support/platform_temp_dir.h"

namespace sd = sk::data;
using sk::test::KsfTestTable;
using namespace sk::ksf;

namespace {

constexpr unsigned kMode = sk::platform::kAccessReadWrite | sk::platform::kDenyAll;

void set_owner(KsfTestTable& t, const char* password) {
    t.fcb.owner = password;
    t.fcb.owner_length = static_cast<std::uint32_t>(std::strlen(password));
}

std::shared_ptr<const PageCipher> cipher(const char* password) { return PageCipher::for_password(password); }

// Fills a table with n sites, each with a note.
void fill(KsfTestTable& t, int n) {
    ASSERT_EQ(sd::stream(&t.fcb), 0);
    for (int i = 0; i < n; ++i) {
        t.set("http://secret" + std::to_string(i) + ".example/", "cat" + std::to_string(i % 5), i % 7);
        t.set_note("private note number " + std::to_string(i));
        ASSERT_EQ(sd::add(&t.fcb), 0) << i;
    }
    ASSERT_EQ(sd::flush(&t.fcb), 0);
}

std::vector<std::string> locations_in_key_order(KsfTestTable& t) {
    std::vector<std::string> out;
    EXPECT_EQ(sd::set_key(&t.fcb, &t.k_location), 0);
    while (sd::next(&t.fcb) == 0) out.push_back(t.location() + "|" + t.category() + "|" + t.note());
    return out;
}

std::string key_of(int i) {
    std::string s = std::to_string(i);
    return std::string(8 - s.size(), '0') + s;
}

using Model = sk::test::KsfModel;
using sk::test::read_back;
using sk::test::ControlFault;
using sk::test::control_fault;

void change(std::mt19937& rng, KsfFile& f, Model& model) {
    f.begin_tree_operation();
    PageTree tree(f);
    const std::string key = key_of(static_cast<int>(rng() % 300));
    const std::string data(rng() % 4 == 0 ? rng() % 2500 : rng() % 150, static_cast<char>('a' + rng() % 26));
    if (model.count(key) != 0 && rng() % 2 == 0) {
        ASSERT_EQ(tree.remove(key), 0);
        model.erase(key);
    } else if (model.count(key) != 0) {
        ASSERT_EQ(tree.replace(Record::of(key, data)), 0);
        model[key] = data;
    } else {
        ASSERT_EQ(tree.insert(Record::of(key, data)), 0);
        model[key] = data;
    }
}

struct Crash {
    int countdown = -1;
};

int crash_hook(sk::platform::FileOperation, const std::string&, void* context) {
    auto* c = static_cast<Crash*>(context);
    if (c->countdown < 0) return 0;
    if (c->countdown == 0) return 29;
    --c->countdown;
    return 0;
}

}  // namespace

TEST(KsfCipher, KeystreamDependsOnlyOnPasswordAndOffset) {
    const auto a = cipher("alpha"), b = cipher("beta");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(cipher("alpha").get(), a.get());  // derived once
    std::vector<std::uint8_t> plain(1000);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<std::uint8_t>(i * 31);
    // Enciphered in one piece at offset 512 ...
    std::vector<std::uint8_t> whole = plain;
    a->apply(512, whole.data(), whole.size());
    EXPECT_NE(whole, plain);
    // ... equals enciphering it in pieces, aligned or not, at the same offsets.
    std::vector<std::uint8_t> pieces = plain;
    for (std::size_t at = 0; at < pieces.size();) {
        const std::size_t n = std::min<std::size_t>(at % 3 == 0 ? 64 : 13 + at % 50, pieces.size() - at);
        a->apply(512 + at, pieces.data() + at, n);
        at += n;
    }
    EXPECT_EQ(pieces, whole);
    // Deciphering is the same operation; another password gives other bytes.
    a->apply(512, whole.data(), whole.size());
    EXPECT_EQ(whole, plain);
    std::vector<std::uint8_t> other = plain;
    b->apply(512, other.data(), other.size());
    std::vector<std::uint8_t> mine = plain;
    a->apply(512, mine.data(), mine.size());
    EXPECT_NE(other, mine);
    EXPECT_EQ(owner_password("pw  \0junk", 9), "pw");
    EXPECT_EQ(owner_password("    ", 4), "");
}

TEST(KsfCipher, EncipheredTableReadsBackOnlyWithItsPassword) {
    sk::test::PlatformTempDir dir;
    static const char kPassword[] = "s3cret pass";
    std::vector<std::string> expected;
    {
        KsfTestTable t(dir.file("locked")), plain(dir.file("plain"));
        set_owner(t, kPassword);
        ASSERT_EQ(sd::create(&t.fcb), 0);
        ASSERT_EQ(sd::create(&plain.fcb), 0);
        ASSERT_EQ(sd::open(&t.fcb, 0x42), 0);
        ASSERT_EQ(sd::open(&plain.fcb, 0x42), 0);
        fill(t, 150);
        fill(plain, 150);
        expected = locations_in_key_order(plain);
        ASSERT_EQ(expected.size(), 150u);
        ASSERT_EQ(sd::close(&t.fcb), 0);
        ASSERT_EQ(sd::close(&plain.fcb), 0);
    }
    // The same content stored plain and enciphered: no written 64-byte block
    // alike (space never written reads as zeros in both), and neither the
    // signature nor any stored text shows.
    const std::string enciphered = sk::test::platform_read_file(dir.file("locked.KSF"));
    const std::string plain_bytes = sk::test::platform_read_file(dir.file("plain.KSF"));
    ASSERT_GE(enciphered.size(), 1024u);
    EXPECT_EQ(plain_bytes.substr(14, 4), "kEsT");
    EXPECT_EQ(enciphered.find("kEsT"), std::string::npos);
    EXPECT_EQ(enciphered.find("secret"), std::string::npos);
    EXPECT_EQ(enciphered.find("private note"), std::string::npos);
    EXPECT_EQ(enciphered.find("T:LOCATION"), std::string::npos);
    int compared = 0;
    for (std::size_t at = 0; at + 64 <= std::min(enciphered.size(), plain_bytes.size()); at += 64) {
        if (plain_bytes.substr(at, 64) == std::string(64, '\0')) continue;
        EXPECT_NE(enciphered.substr(at, 64), plain_bytes.substr(at, 64)) << "block at " << at;
        ++compared;
    }
    EXPECT_GT(compared, 100);

    {
        KsfTestTable t(dir.file("locked"));
        set_owner(t, kPassword);
        ASSERT_EQ(sd::open(&t.fcb, 0x42), 0);
        EXPECT_EQ(sd::records(&t.fcb), 150);
        EXPECT_EQ(locations_in_key_order(t), expected);
        // A second table in the same file, asked for with another password
        // while the file is open, is refused.
        KsfTestTable other(dir.file("locked"));
        set_owner(other, "guess");
        EXPECT_EQ(sd::open(&other.fcb, 0x42), sk::rt::kInvalidDataFile);
        ASSERT_EQ(sd::close(&t.fcb), 0);
    }
    // Without the password, with a wrong one, or a plain file with one: a clean 36.
    for (const char* password : {"", "s3cret pas", "S3CRET PASS"}) {
        KsfTestTable t(dir.file("locked"));
        set_owner(t, password);
        EXPECT_EQ(sd::open(&t.fcb, 0x42), sk::rt::kInvalidDataFile) << password;
        EXPECT_EQ(sk::rt::error_code(), sk::rt::kInvalidDataFile);
        EXPECT_EQ(sd::open(&t.fcb, 0x40), sk::rt::kInvalidDataFile) << password;
    }
    KsfTestTable plain(dir.file("plain"));
    set_owner(plain, kPassword);
    EXPECT_EQ(sd::open(&plain.fcb, 0x42), sk::rt::kInvalidDataFile);
    // Nothing of those attempts changed the file.
    EXPECT_EQ(sk::test::platform_read_file(dir.file("locked.KSF")), enciphered);
}

TEST(KsfCipher, OutsideCheckerCannotReadAnEncipheredFile) {
    if (std::system("python3 -c 1 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 unavailable";
    sk::test::PlatformTempDir dir;
    {
        KsfTestTable t(dir.file("locked"));
        set_owner(t, "pw");
        ASSERT_EQ(sd::create(&t.fcb), 0);
        ASSERT_EQ(sd::open(&t.fcb, 0x42), 0);
        fill(t, 40);
        ASSERT_EQ(sd::close(&t.fcb), 0);
    }
    const std::string cmd = "python3 " SK_CONFORM_DIR "/ksf.py check " + dir.file("locked.KSF") + " >/dev/null 2>&1";
    const int rc = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(rc));
    EXPECT_NE(WEXITSTATUS(rc), 0);
}

TEST(KsfCipher, PendingJournalAndCrashRecoveryWorkEnciphered) {
    sk::test::PlatformTempDir dir;
    const std::string path = dir.file("crash.ksf");
    const auto key = cipher("journal pw");
    ASSERT_TRUE(key);
    std::mt19937 rng(17);
    Model old_state;
    {
        KsfFile f(path);
        ASSERT_EQ(f.open(kMode, true, key), 0);
        ASSERT_EQ(f.refresh(), 0);
        for (int i = 0; i < 250; ++i) change(rng, f, old_state);
        ASSERT_EQ(f.commit(), 0);
    }
    const std::string pristine = sk::test::platform_read_file(path);
    {
        // Unreadable without the key.
        KsfFile f(path);
        ASSERT_EQ(f.open(kMode, false), 0);
        EXPECT_EQ(f.refresh(), 1);
    }
    // A crash at every write and flush of a commit: the next opener with the
    // key finds the old or the new state, whole.
    int crash_at = 0;
    for (;; ++crash_at) {
        ASSERT_TRUE(sk::test::platform_write_file(path, pristine));
        Model model = old_state;
        std::mt19937 change_rng(3);
        Crash crash;
        {
            KsfFile f(path);
            ASSERT_EQ(f.open(kMode, false, key), 0);
            ASSERT_EQ(f.refresh(), 0);
            for (int i = 0; i < 80; ++i) change(change_rng, f, model);
            crash.countdown = crash_at;
            sk::platform::set_file_fault_hook(&crash_hook, &crash);
            const int rc = f.commit();
            sk::platform::set_file_fault_hook(nullptr, nullptr);
            if (rc == 0) {
                f.close();
                KsfFile g(path);
                ASSERT_EQ(g.open(kMode, false, key), 0);
                EXPECT_TRUE(read_back(g) == model);
                break;
            }
        }
        KsfFile g(path);
        ASSERT_EQ(g.open(kMode, false, key), 0);
        const Model found = read_back(g);
        EXPECT_TRUE(found == old_state || found == model) << "crash at operation " << crash_at;
        ASSERT_LT(crash_at, 10000);
    }
    EXPECT_GT(crash_at, 4);

    // A journal left pending is read through by a read-only opener with the key.
    Model model = old_state;
    ASSERT_TRUE(sk::test::platform_write_file(path, pristine));
    {
        KsfFile f(path);
        ASSERT_EQ(f.open(kMode, false, key), 0);
        ASSERT_EQ(f.refresh(), 0);
        for (int i = 0; i < 60; ++i) change(rng, f, model);
        ASSERT_EQ(f.commit_prepare(), 0);  // and never the home phase
    }
    {
        KsfFile reader(path);
        ASSERT_EQ(reader.open(sk::platform::kAccessRead | sk::platform::kDenyNone, false, key), 0);
        EXPECT_TRUE(read_back(reader) == model);
    }
    KsfFile writer(path);
    ASSERT_EQ(writer.open(kMode, false, key), 0);
    EXPECT_TRUE(read_back(writer) == model);
    EXPECT_FALSE(writer.header().journal_pending());
}

TEST(KsfCipher, UnfinishedTransactionOverEncipheredFilesIsUndoneAtOpen) {
    // The control file's commit that would complete the transaction fails:
    // both enciphered files are left with visible journals and link records,
    // which the next opener must read with the password to decide.
    sk::test::PlatformTempDir dir;
    sk::platform::set_current_directory(dir.path());
    {
        KsfTestTable a("ua"), b("ub");
        set_owner(a, "pw-a");
        set_owner(b, "pw-b");
        ASSERT_EQ(sd::send(&a.fcb, "TCF=" + dir.file("crash.tcf")), "");
        ASSERT_EQ(sd::create(&a.fcb), 0);
        ASSERT_EQ(sd::create(&b.fcb), 0);
        ASSERT_EQ(sd::open(&a.fcb, 0x42), 0);
        ASSERT_EQ(sd::open(&b.fcb, 0x42), 0);
        a.set("kept", "x", 1);
        ASSERT_EQ(sd::add(&a.fcb), 0);
        // How often the control file's first commit (the identifier's
        // insertion) flushes, counted on a file of its own.
        ControlFault probe{"probe.tcf"};
        {
            KsfFile tcf(dir.file("probe.tcf"));
            ASSERT_EQ(tcf.open(0x42, true), 0);
            ASSERT_EQ(tcf.begin_statement(true), 0);
            tcf.begin_tree_operation();
            ASSERT_EQ(PageTree(tcf).insert(Record::of("ABCD")), 0);
            sk::platform::set_file_fault_hook(&control_fault, &probe);
            ASSERT_EQ(tcf.end_statement(), 0);
            sk::platform::set_file_fault_hook(nullptr, nullptr);
        }
        ASSERT_EQ(sd::logout(&a.fcb), 0);
        ASSERT_EQ(sd::logout(&b.fcb), 0);
        a.set("lost", "x", 1);
        ASSERT_EQ(sd::add(&a.fcb), 0);
        b.set("lost", "x", 1);
        ASSERT_EQ(sd::add(&b.fcb), 0);
        ControlFault fault{"crash.tcf"};
        fault.fail_control_after = probe.control_flushes;
        sk::platform::set_file_fault_hook(&control_fault, &fault);
        EXPECT_NE(sd::commit(&a.fcb), 0);
        sk::platform::set_file_fault_hook(nullptr, nullptr);
    }
    KsfTestTable a("ua"), b("ub");
    set_owner(a, "pw-a");
    set_owner(b, "pw-b");
    ASSERT_EQ(sd::open(&a.fcb, 0x42), 0);
    ASSERT_EQ(sd::open(&b.fcb, 0x42), 0);
    std::vector<std::string> in_a, in_b;
    for (const std::string& s : locations_in_key_order(a)) in_a.push_back(s.substr(0, s.find('|')));
    for (const std::string& s : locations_in_key_order(b)) in_b.push_back(s.substr(0, s.find('|')));
    EXPECT_EQ(in_a, (std::vector<std::string>{"kept"}));
    EXPECT_EQ(in_b, (std::vector<std::string>{}));
    ASSERT_EQ(sd::close(&a.fcb), 0);
    ASSERT_EQ(sd::close(&b.fcb), 0);
    sk::platform::set_current_directory("/");
}
