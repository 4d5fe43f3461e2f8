// An outside opinion on the files the engine writes: the independent checker
// (written apart from this code from the same design) must find them clean,
// after many changes, with a journal left pending by a crash, and with
// several tables and a transaction link in one file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "data/file_layer.h"
#include "data/ksf/ksf_file.h"
#include "data/ksf/page_tree.h"
#include "ksf_test_table.h"
#include "platform/file.h"
#include "support/platform_temp_dir.h"

namespace sd = sk::data;
using sk::test::KsfTestTable;

namespace {

// The checker's exit status (0 clean, 1 defects), or -1 when it cannot run.
int outside_check(const std::string& file, std::string* report) {
    const std::string out = file + ".report";
    const std::string cmd = "python3 " SK_CONFORM_DIR "/ksf.py check " + file + " > " + out + " 2>&1";
    const int rc = std::system(cmd.c_str());
    *report = sk::test::platform_read_file(out);
    if (rc == -1 || !WIFEXITED(rc)) return -1;
    const int status = WEXITSTATUS(rc);
    return status == 0 || status == 1 ? status : -1;
}

bool checker_available() { return std::system("python3 -c 1 >/dev/null 2>&1") == 0; }

void churn(KsfTestTable& t, int steps, std::uint32_t seed) {
    std::mt19937 rng(seed);
    for (int i = 0; i < steps; ++i) {
        const std::string loc = "http://site" + std::to_string(rng() % 400) + ".example/" + std::string(rng() % 30, 'p');
        t.set(loc, "cat" + std::to_string(rng() % 9), static_cast<std::int32_t>(rng() % 100) - 50);
        if (rng() % 4 == 0) {
            if (sd::get_key(&t.fcb, &t.k_location) == 0) sd::delete_record(&t.fcb);
            continue;
        }
        t.set_note(std::string(rng() % 300, static_cast<char>('a' + rng() % 26)));
        sd::add(&t.fcb);  // a repeated location is refused; fine
    }
}

}  // namespace

TEST(KsfConform, FilesWrittenByTheDriverCheckClean) {
    if (!checker_available()) GTEST_SKIP() << "python3 unavailable";
    sk::test::PlatformTempDir dir;
    KsfTestTable sites(dir.file("engine\\!sites")), other(dir.file("engine\\!other"));
    ASSERT_EQ(sd::create(&sites.fcb), 0);
    ASSERT_EQ(sd::create(&other.fcb), 0);
    ASSERT_EQ(sd::open(&sites.fcb, 0x42), 0);
    ASSERT_EQ(sd::open(&other.fcb, 0x42), 0);
    churn(sites, 1200, 3);
    churn(other, 300, 4);
    ASSERT_EQ(sd::close(&sites.fcb), 0);
    ASSERT_EQ(sd::close(&other.fcb), 0);
    std::string report;
    EXPECT_EQ(outside_check(dir.file("engine.KSF"), &report), 0) << report;
}

TEST(KsfConform, TransactionLinkAndPendingJournalCheckClean) {
    if (!checker_available()) GTEST_SKIP() << "python3 unavailable";
    sk::test::PlatformTempDir dir;
    KsfTestTable a(dir.file("ta")), b(dir.file("tb"));
    ASSERT_EQ(sd::send(&a.fcb, "TCF=" + dir.file("control.tcf")), "");
    ASSERT_EQ(sd::create(&a.fcb), 0);
    ASSERT_EQ(sd::create(&b.fcb), 0);
    ASSERT_EQ(sd::open(&a.fcb, 0x42), 0);
    ASSERT_EQ(sd::open(&b.fcb, 0x42), 0);
    churn(a, 200, 5);
    ASSERT_EQ(sd::logout(&a.fcb), 0);
    ASSERT_EQ(sd::logout(&b.fcb), 0);
    churn(a, 100, 6);
    churn(b, 100, 7);
    ASSERT_EQ(sd::commit(&a.fcb), 0);
    ASSERT_EQ(sd::close(&a.fcb), 0);
    ASSERT_EQ(sd::close(&b.fcb), 0);
    std::string report;
    EXPECT_EQ(outside_check(dir.file("ta.KSF"), &report), 0) << report;
    EXPECT_EQ(outside_check(dir.file("tb.KSF"), &report), 0) << report;

    // A commit stopped after its journal became visible.
    {
        sk::ksf::KsfFile f(dir.file("ta.KSF"));
        ASSERT_EQ(f.open(0x12, false), 0);
        ASSERT_EQ(f.refresh(), 0);
        // Change one memo chunk's text (same length) and stop after the journal phase.
        std::vector<sk::ksf::Record> records;
        f.begin_tree_operation();
        sk::ksf::PageTree(f).check(&records);
        bool changed = false;
        for (const sk::ksf::Record& r : records) {
            if (r.key().size() != 12 || static_cast<unsigned char>(r.key()[4]) != 0xFC || r.data().size() <= 4) continue;
            std::string data(r.data());
            data.back() = data.back() == 'Q' ? 'R' : 'Q';
            f.begin_tree_operation();
            ASSERT_EQ(sk::ksf::PageTree(f).replace(sk::ksf::Record::of(r.key(), data)), 0);
            changed = true;
            break;
        }
        ASSERT_TRUE(changed);
        ASSERT_EQ(f.commit_prepare(), 0);
    }
    EXPECT_EQ(outside_check(dir.file("ta.KSF"), &report), 0) << report;
    EXPECT_NE(report.find("journal"), std::string::npos) << report;
}
