// Several processes on one KSF file: concurrent writers lose nothing, WATCH
// sees another station's change, HOLD keeps a record from other stations.
// Every child is forked before the parent opens anything, so that no open file
// description (and no lock) is shared between them.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "data/file_layer.h"
#include "ksf_test_table.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "runtime/error.h"
#include "support/platform_child.h"
#include "support/platform_temp_dir.h"

namespace sd = sk::data;
using sk::test::KsfTestTable;
using sk::test::PlatformChild;

namespace {

constexpr int kPerStation = 120;

// Adds kPerStation sites named after the station; 0 when every ADD worked.
int add_sites(const std::string& name, int station) {
    KsfTestTable t(name);
    if (sd::open(&t.fcb, 0x42) != 0) return 10;
    for (int i = 0; i < kPerStation; ++i) {
        t.set("st" + std::to_string(station) + "-" + std::to_string(i), "c" + std::to_string(i % 5), i);
        t.set_note("note of " + std::to_string(station));
        if (sd::add(&t.fcb) != 0) return 20;
        // Interleave reads with the other stations' writes.
        if (i % 10 == 0 && sd::records(&t.fcb) < i + 1) return 30;
    }
    return sd::close(&t.fcb) == 0 ? 0 : 40;
}

}  // namespace

TEST(KsfStations, ConcurrentWritersLoseNothing) {
    sk::test::PlatformTempDir dir;
    const std::string name = dir.file("shared");
    {
        KsfTestTable t(name);
        ASSERT_EQ(sd::create(&t.fcb), 0);
    }
    std::vector<std::unique_ptr<PlatformChild>> children;
    for (int s = 1; s <= 3; ++s) {
        children.push_back(std::make_unique<PlatformChild>());
        ASSERT_TRUE(children.back()->start([&, s](PlatformChild& self) {
            self.wait_signal();
            return add_sites(name, s);
        }));
    }
    for (auto& c : children) c->signal();
    EXPECT_EQ(add_sites(name, 0), 0);
    for (auto& c : children) EXPECT_EQ(c->join(), 0);

    KsfTestTable t(name);
    ASSERT_EQ(sd::open(&t.fcb, 0x42), 0);
    EXPECT_EQ(sd::records(&t.fcb), 4 * kPerStation);
    std::set<std::string> seen;
    ASSERT_EQ(sd::set_key(&t.fcb, &t.k_location), 0);
    while (sd::next(&t.fcb) == 0) {
        EXPECT_EQ(t.note(), "note of " + t.location().substr(2, t.location().find('-') - 2));
        seen.insert(t.location());
    }
    EXPECT_EQ(seen.size(), 4u * kPerStation);
    EXPECT_EQ(sd::records_key(&t.fcb, &t.k_category), 4 * kPerStation);
}

TEST(KsfStations, WatchedRecordChangedElsewhereIsNotOverwritten) {
    sk::test::PlatformTempDir dir;
    const std::string name = dir.file("watch");
    {
        KsfTestTable t(name);
        ASSERT_EQ(sd::create(&t.fcb), 0);
        ASSERT_EQ(sd::open(&t.fcb, 0x42), 0);
        t.set("site", "first", 1);
        ASSERT_EQ(sd::add(&t.fcb), 0);
        ASSERT_EQ(sd::close(&t.fcb), 0);
    }
    PlatformChild child;
    ASSERT_TRUE(child.start([&](PlatformChild& self) {
        self.wait_signal();
        KsfTestTable t(name);
        if (sd::open(&t.fcb, 0x42) != 0) return 1;
        t.set("site", "", 0);
        if (sd::get_key(&t.fcb, &t.k_location) != 0) return 2;
        t.set("site", "other", 2);
        if (sd::put(&t.fcb) != 0) return 3;
        sd::close(&t.fcb);
        self.signal();
        return 0;
    }));
    KsfTestTable t(name);
    ASSERT_EQ(sd::open(&t.fcb, 0x42), 0);
    ASSERT_EQ(sd::watch(&t.fcb), 0);
    t.set("site", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    child.signal();
    ASSERT_TRUE(child.wait_signal());
    EXPECT_EQ(child.join(), 0);
    t.set("site", "mine", 3);
    EXPECT_EQ(sd::put(&t.fcb), sk::rt::kRecordChangedByAnother);
    t.set("site", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    EXPECT_EQ(t.category(), "other");
    // Read again without WATCH: the change goes through.
    t.set("site", "mine", 3);
    EXPECT_EQ(sd::put(&t.fcb), 0);
}

TEST(KsfStations, HeldRecordWaitsOutTheTimeoutElsewhere) {
    sk::test::PlatformTempDir dir;
    const std::string name = dir.file("hold");
    {
        KsfTestTable t(name);
        ASSERT_EQ(sd::create(&t.fcb), 0);
        ASSERT_EQ(sd::open(&t.fcb, 0x42), 0);
        t.set("site", "c", 1);
        ASSERT_EQ(sd::add(&t.fcb), 0);
        ASSERT_EQ(sd::close(&t.fcb), 0);
    }
    PlatformChild child;
    ASSERT_TRUE(child.start([&](PlatformChild& self) {
        KsfTestTable t(name);
        if (sd::open(&t.fcb, 0x42) != 0) return 1;
        if (sd::hold(&t.fcb) != 0) return 2;
        t.set("site", "", 0);
        if (sd::get_key(&t.fcb, &t.k_location) != 0) return 3;
        self.signal();
        self.wait_signal(20000);
        t.set("site", "changed", 5);
        if (sd::put(&t.fcb) != 0) return 4;  // releases the hold
        self.signal();
        self.wait_signal(20000);
        sd::close(&t.fcb);
        return 0;
    }));
    ASSERT_TRUE(child.wait_signal());
    KsfTestTable t(name);
    ASSERT_EQ(sd::open(&t.fcb, 0x42), 0);
    ASSERT_EQ(sd::hold_timeout(&t.fcb, 1), 0);
    ASSERT_EQ(sd::set(&t.fcb), 0);
    const std::uint32_t start = sk::platform::tick_hundredths();
    EXPECT_EQ(sd::next(&t.fcb), sk::rt::kRecordAlreadyHeld);
    const std::uint32_t waited = sk::platform::tick_hundredths() - start;
    EXPECT_GE(waited, 90u);
    EXPECT_LT(waited, 1000u);
    // Without HOLD the record can be read, but neither changed nor deleted.
    t.set("site", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    t.set("site", "mine", 9);
    EXPECT_EQ(sd::put(&t.fcb), sk::rt::kAccessDenied);
    EXPECT_EQ(sd::delete_record(&t.fcb), sk::rt::kRecordNotAvailable);
    child.signal();
    ASSERT_TRUE(child.wait_signal());
    ASSERT_EQ(sd::hold_timeout(&t.fcb, 1), 0);
    t.set("site", "", 0);
    ASSERT_EQ(sd::get_key(&t.fcb, &t.k_location), 0);
    EXPECT_EQ(t.category(), "changed");
    child.signal();
    EXPECT_EQ(child.join(), 0);
}
