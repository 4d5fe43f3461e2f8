// The physical file's write path: commits compared with an in-memory model over
// many reopenings, the space invariants after every commit, a crash at every
// write and every flush of a commit, and journal recovery at open.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "data/ksf/ksf_file.h"
#include "data/ksf/page_tree.h"
#include "ksf_read_back.h"
#include "platform/file.h"
#include "support/platform_temp_dir.h"

using namespace sk::ksf;
using sk::test::read_back;
using Model = sk::test::KsfModel;

namespace {

constexpr unsigned kMode = sk::platform::kAccessReadWrite | sk::platform::kDenyAll;

std::string key_of(int i) {
    std::string s = std::to_string(i);
    return std::string(8 - s.size(), '0') + s;
}

Model read_file(const std::string& path) {
    KsfFile f(path);
    EXPECT_EQ(f.open(sk::platform::kAccessRead | sk::platform::kDenyNone, false), 0);
    return read_back(f);
}

// One random change to tree and model: insert, delete or replace, with data of
// widely varying length so that pages change size class.
void random_change(std::mt19937& rng, KsfFile& f, Model& model, int key_space) {
    f.begin_tree_operation();
    PageTree tree(f);
    const std::string key = key_of(static_cast<int>(rng() % key_space));
    const std::size_t len = rng() % 4 == 0 ? rng() % 3000 : rng() % 200;
    std::string data(len, static_cast<char>('a' + rng() % 26));
    for (std::size_t i = 0; i < len; i += 7) data[i] = static_cast<char>(rng());
    auto it = model.find(key);
    if (it == model.end()) {
        ASSERT_EQ(tree.insert(Record::of(key, data)), 0);
        model[key] = data;
    } else if (rng() % 2 == 0) {
        ASSERT_EQ(tree.remove(key), 0);
        model.erase(it);
    } else {
        ASSERT_EQ(tree.replace(Record::of(key, data)), 0);
        it->second = data;
    }
}

struct FaultPlan {
    int countdown = -1;  // operations left before the crash; -1: no crash
    int seen = 0;
};

int fault_hook(sk::platform::FileOperation, const std::string&, void* context) {
    auto* plan = static_cast<FaultPlan*>(context);
    ++plan->seen;
    if (plan->countdown < 0) return 0;
    if (plan->countdown == 0) return 29;  // from here on everything fails, as after a crash
    --plan->countdown;
    return 0;
}

}  // namespace

TEST(KsfFile, CommitsMatchTheModelAcrossReopenings) {
    sk::test::PlatformTempDir dir;
    const std::string path = dir.file("model.ksf");
    std::mt19937 rng(1234);
    Model model;
    for (int session = 0; session < 8; ++session) {
        KsfFile f(path);
        ASSERT_EQ(f.open(kMode, true), 0);
        ASSERT_EQ(f.refresh(), 0);
        for (int commit = 0; commit < 6; ++commit) {
            const int changes = 1 + static_cast<int>(rng() % 120);
            for (int i = 0; i < changes; ++i) random_change(rng, f, model, 900);
            ASSERT_EQ(f.commit(), 0);
            EXPECT_FALSE(f.header_dirty());
            ASSERT_TRUE(read_back(f) == model) << "session " << session << " commit " << commit;
        }
        ASSERT_EQ(f.truncate_to_allocated_end(), 0);
        EXPECT_EQ(static_cast<std::uint64_t>(f.file().size()), f.header().allocated_end());
        f.close();
        ASSERT_TRUE(read_file(path) == model);
    }
    // Emptying the file releases every page.
    KsfFile f(path);
    ASSERT_EQ(f.open(kMode, false), 0);
    ASSERT_EQ(f.refresh(), 0);
    for (const auto& [k, v] : model) {
        f.begin_tree_operation();
        PageTree tree(f);
        ASSERT_EQ(tree.remove(k), 0);
    }
    ASSERT_EQ(f.commit(), 0);
    EXPECT_TRUE(read_back(f).empty());
    EXPECT_LE(f.header().allocated_end(), kHeaderSize + kMaxPageBytes);
}

TEST(KsfFile, SmallCacheStillCommitsEveryChange) {
    // Many pages, few changed per commit: clean pages are trimmed and reloaded,
    // dirty ones never are.
    sk::test::PlatformTempDir dir;
    const std::string path = dir.file("cache.ksf");
    KsfFile f(path);
    ASSERT_EQ(f.open(kMode, true), 0);
    f.set_cache_limit(64 * 1024);
    ASSERT_EQ(f.refresh(), 0);
    Model model;
    for (int i = 0; i < 6000; ++i) {
        f.begin_tree_operation();
        PageTree tree(f);
        const std::string data(150, static_cast<char>('A' + i % 26));
        ASSERT_EQ(tree.insert(Record::of(key_of(i * 7919 % 6000), data)), 0);
        model[key_of(i * 7919 % 6000)] = data;
        if (i % 500 == 499) {
            ASSERT_EQ(f.commit(), 0);
        }
    }
    ASSERT_EQ(f.commit(), 0);
    EXPECT_LE(f.cached_bytes(), 64u * 1024);
    EXPECT_LT(f.cached_count(), 100u);
    f.close();
    EXPECT_TRUE(read_file(path) == model);
}

TEST(KsfFile, PagesReadCountsReadsFromDiskAndNotCacheHits) {
    sk::test::PlatformTempDir dir;
    const std::string path = dir.file("reads.ksf");
    {
        KsfFile f(path);
        ASSERT_EQ(f.open(kMode, true), 0);
        ASSERT_EQ(f.refresh(), 0);
        for (int i = 0; i < 3000; ++i) {
            f.begin_tree_operation();
            PageTree tree(f);
            ASSERT_EQ(tree.insert(Record::of(key_of(i * 7919 % 3000), std::string(100, 'x'))), 0);
        }
        ASSERT_EQ(f.commit(), 0);
    }
    KsfFile f(path);
    const std::uint64_t before = KsfFile::pages_read();
    ASSERT_EQ(f.open(kMode, false), 0);
    ASSERT_EQ(f.refresh(), 0);
    ASSERT_EQ(read_back(f).size(), 3000u);
    const std::uint64_t first = KsfFile::pages_read() - before;
    EXPECT_GT(f.cached_count(), 10u);
    EXPECT_EQ(first, f.cached_count()) << "every cached page was read exactly once";
    ASSERT_EQ(read_back(f).size(), 3000u);
    EXPECT_EQ(KsfFile::pages_read() - before, first) << "a second pass is served from the cache";
}

TEST(KsfFile, CommitWritesEveryDirtyPageAndOnlyTracksDirtyOnes) {
    // Records of three tables (three key prefixes) in one file, a cache far
    // smaller than the file so that clean pages come and go, data lengths that
    // move pages between size classes, and commits of a few pages and of
    // thousands. After every change the dirty list must name exactly the pages
    // marked dirty; after every commit nothing is dirty and a fresh opener finds
    // the model.
    sk::test::PlatformTempDir dir;
    const std::string path = dir.file("dirty.ksf");
    std::mt19937 rng(4242);
    Model model;
    const auto change = [&](KsfFile& f) {
        f.begin_tree_operation();
        PageTree tree(f);
        const std::string key = std::string(1, static_cast<char>(1 + rng() % 3)) + key_of(static_cast<int>(rng() % 3000));
        std::string data(rng() % 8 == 0 ? 400 + rng() % 2500 : rng() % 120, static_cast<char>('a' + rng() % 26));
        auto it = model.find(key);
        if (it == model.end()) {
            ASSERT_EQ(tree.insert(Record::of(key, data)), 0);
            model[key] = data;
        } else if (rng() % 3 == 0) {
            ASSERT_EQ(tree.remove(key), 0);
            model.erase(it);
        } else {
            ASSERT_EQ(tree.replace(Record::of(key, data)), 0);
            it->second = data;
        }
    };
    const int batches[] = {5000, 3, 40, 1, 700, 12, 2500, 90};
    for (int session = 0; session < 2; ++session) {
        KsfFile f(path);
        // Deny write, so that a fresh reader may look in between commits.
        ASSERT_EQ(f.open(sk::platform::kAccessReadWrite | sk::platform::kDenyWrite, session == 0), 0);
        f.set_cache_limit(96 * 1024);
        ASSERT_EQ(f.refresh(), 0);
        for (int batch : batches) {
            for (int i = 0; i < batch; ++i) {
                change(f);
                if (i % 97 == 0) {
                    ASSERT_TRUE(f.dirty_list_consistent()) << "batch " << batch << " change " << i;
                }
            }
            ASSERT_TRUE(f.dirty_list_consistent());
            EXPECT_GT(f.dirty_count(), 0u);
            ASSERT_EQ(f.commit(), 0);
            EXPECT_EQ(f.dirty_count(), 0u);
            ASSERT_TRUE(f.dirty_list_consistent());
            ASSERT_TRUE(read_file(path) == model) << "session " << session << " batch " << batch;
        }
        EXPECT_LE(f.cached_bytes(), 96u * 1024);
    }
    EXPECT_TRUE(read_file(path) == model);
}

TEST(KsfFile, LookupsBetweenChangesAlwaysSeeTheCurrentTree) {
    // Runs of finds and seeks (which reuse the leaves recent lookups ended in)
    // mixed with changes, commits, a rollback and a cache that keeps evicting:
    // every answer must be the model's.
    sk::test::PlatformTempDir dir;
    KsfFile f(dir.file("hints.ksf"));
    ASSERT_EQ(f.open(kMode, true), 0);
    f.set_cache_limit(48 * 1024);
    ASSERT_EQ(f.refresh(), 0);
    std::mt19937 rng(77);
    Model model;
    for (int i = 0; i < 1500; ++i) random_change(rng, f, model, 2000);
    ASSERT_EQ(f.commit(), 0);
    const auto lookups = [&](int n) {
        for (int i = 0; i < n; ++i) {
            const std::string key = key_of(static_cast<int>(rng() % 2100));
            f.begin_tree_operation();
            PageTree tree(f);
            Record r;
            auto it = model.find(key);
            ASSERT_EQ(tree.find(key, &r), it == model.end() ? kTreeNone : 0) << key;
            if (it != model.end()) {
                EXPECT_EQ(r.data(), it->second);
            }
            const bool forward = rng() % 2 == 0, inclusive = rng() % 2 == 0;
            auto want = forward ? (inclusive ? model.lower_bound(key) : model.upper_bound(key))
                                : (inclusive ? model.upper_bound(key) : model.lower_bound(key));
            const bool none = forward ? want == model.end() : want == model.begin();
            if (!forward && !none) --want;
            const int rc = tree.seek(key, forward, inclusive, &r);
            ASSERT_EQ(rc, none ? kTreeNone : 0) << key;
            if (!none) {
                EXPECT_EQ(r.key(), want->first) << key;
            }
        }
    };
    for (int round = 0; round < 12; ++round) {
        lookups(150);
        for (int i = 0; i < 1 + static_cast<int>(rng() % 60); ++i) random_change(rng, f, model, 2000);
        lookups(50);
        ASSERT_EQ(f.commit(), 0);
        if (round == 5) {
            // Changes given up: the tree goes back to the committed state.
            const Model kept = model;
            for (int i = 0; i < 30; ++i) random_change(rng, f, model, 2000);
            lookups(20);
            f.rollback();
            ASSERT_EQ(f.refresh(), 0);
            model = kept;
            lookups(50);
        }
    }
    EXPECT_TRUE(read_back(f) == model);
}

TEST(KsfFile, RememberedLeavesChangeNothingTheFileHolds) {
    // Insertions and lookups go straight to a remembered leaf while the key
    // lies in its range. Two files take the same work, one with that and one
    // descending from the root every time: ascending runs in three prefixes
    // side by side (each run splitting its last leaf again and again), random
    // keys, keys below everything, deletions, data that grows a record into a
    // split, a rollback and a small cache. The files must come out byte for
    // byte the same, and sound after every commit.
    sk::test::PlatformTempDir dir;
    const std::string with = dir.file("with.ksf"), without = dir.file("without.ksf");
    KsfFile a(with), b(without);
    for (KsfFile* f : {&a, &b}) {
        ASSERT_EQ(f->open(kMode, true), 0);
        f->set_cache_limit(64 * 1024);
        ASSERT_EQ(f->refresh(), 0);
    }
    b.set_leaf_hints(false);
    std::mt19937 rng(31);
    Model model;
    int next[3] = {5000, 5000, 5000};
    const auto both = [&](const auto& op) {
        for (KsfFile* f : {&a, &b}) {
            f->begin_tree_operation();
            PageTree tree(*f);
            op(tree, *f);
        }
    };
    for (int round = 0; round < 10; ++round) {
        const Model kept = model;
        for (int i = 0; i < 900; ++i) {
            const unsigned what = rng() % 16;
            std::string key;
            if (what < 9) {
                const int p = static_cast<int>(rng() % 3);
                key = std::string(1, static_cast<char>('a' + p)) + key_of(next[p]++);
            } else if (what < 12) {
                key = std::string(1, static_cast<char>('a' + rng() % 3)) + key_of(static_cast<int>(rng() % 6000));
            } else if (what == 12) {
                key = std::string(1, '\x01') + key_of(static_cast<int>(100000 - round * 1000 - i));
            } else {
                if (model.empty()) continue;
                auto it = model.lower_bound(std::string(1, static_cast<char>('a' + rng() % 3)) + key_of(static_cast<int>(rng() % 9000)));
                if (it == model.end()) it = model.begin();
                key = it->first;
            }
            const std::size_t len = rng() % 10 == 0 ? 600 + rng() % 2500 : rng() % 90;
            const std::string data(len, static_cast<char>('a' + rng() % 26));
            auto it = model.find(key);
            if (it == model.end()) {
                both([&](PageTree& t, KsfFile&) { ASSERT_EQ(t.insert(Record::of(key, data)), 0); });
                model[key] = data;
            } else if (what == 13 || what == 14) {
                both([&](PageTree& t, KsfFile&) { ASSERT_EQ(t.remove(key), 0); });
                model.erase(it);
                // A key in the gap a removed first record leaves belongs to
                // the leaf before; it must be found there.
                const std::string gap = key + '\x01';
                if (!model.count(gap)) {
                    both([&](PageTree& t, KsfFile&) {
                        ASSERT_EQ(t.insert(Record::of(gap, "g")), 0);
                        Record r;
                        ASSERT_EQ(t.find(gap, &r), 0) << gap;
                    });
                    model[gap] = "g";
                }
            } else {
                both([&](PageTree& t, KsfFile&) { ASSERT_EQ(t.replace(Record::of(key, data)), 0); });
                it->second = data;
            }
            // Lookups between the changes use the remembered leaves too.
            const std::string probe = model.begin()->first.substr(0, 1) + key_of(static_cast<int>(rng() % 9000));
            const auto want = model.find(probe);
            both([&](PageTree& t, KsfFile&) {
                Record r;
                ASSERT_EQ(t.find(probe, &r), want == model.end() ? kTreeNone : 0) << probe;
            });
        }
        if (round == 4) {
            a.rollback();
            b.rollback();
            ASSERT_EQ(a.refresh(), 0);
            ASSERT_EQ(b.refresh(), 0);
            model = kept;
            continue;
        }
        ASSERT_EQ(a.commit(), 0);
        ASSERT_EQ(b.commit(), 0);
        ASSERT_TRUE(read_back(a) == model) << "round " << round;
        ASSERT_EQ(sk::test::platform_read_file(with), sk::test::platform_read_file(without)) << "round " << round;
    }
}

// A new file at path holding 400 random changes, committed; model gets them.
void write_committed_file(const std::string& path, unsigned seed, Model* model) {
    std::mt19937 rng(seed);
    KsfFile f(path);
    ASSERT_EQ(f.open(kMode, true), 0);
    ASSERT_EQ(f.refresh(), 0);
    for (int i = 0; i < 400; ++i) random_change(rng, f, *model, 600);
    ASSERT_EQ(f.commit(), 0);
}

TEST(KsfFile, ACrashAtAnyWriteOrFlushLeavesTheOldOrTheNewState) {
    sk::test::PlatformTempDir dir;
    const std::string path = dir.file("crash.ksf");
    Model old_state;
    ASSERT_NO_FATAL_FAILURE(write_committed_file(path, 99, &old_state));
    const std::string pristine = sk::test::platform_read_file(path);
    // A change set that moves, grows, shrinks and frees pages.
    FaultPlan plan;
    int total = 0;
    for (int crash_at = 0;; ++crash_at) {
        ASSERT_TRUE(sk::test::platform_write_file(path, pristine));
        Model model = old_state;
        std::mt19937 change_rng(7);
        plan = FaultPlan{};
        {
            KsfFile f(path);
            ASSERT_EQ(f.open(kMode, false), 0);
            ASSERT_EQ(f.refresh(), 0);
            for (int i = 0; i < 100; ++i) random_change(change_rng, f, model, 600);
            plan.countdown = crash_at;
            sk::platform::set_file_fault_hook(&fault_hook, &plan);
            const int rc = f.commit();
            sk::platform::set_file_fault_hook(nullptr, nullptr);
            if (rc == 0) {
                total = plan.seen;
                f.close();
                EXPECT_TRUE(read_file(path) == model);
                break;
            }
        }
        // The process died: whatever a fresh opener finds must be whole.
        KsfFile g(path);
        ASSERT_EQ(g.open(kMode, false), 0);
        const Model found = read_back(g);
        EXPECT_TRUE(found == old_state || found == model) << "crash at operation " << crash_at;
        g.close();
        // After recovery the journal is gone and a second open agrees.
        EXPECT_TRUE(read_file(path) == found);
        ASSERT_LT(crash_at, 10000);
    }
    EXPECT_GT(total, 4);
}

// The same crash as the disk would leave it: what was written since the last
// flush may never have reached the disk, or only some of its 512-byte sectors
// (each sector whole, old or new). After recovery the file holds the state
// before the commit or after it, and its pages and space are sound.
struct DurablePlan {
    std::string path;
    int countdown = -1;  // operations left before the crash
    int seen = 0;
    std::string durable;  // the file as of the last flush that went through
};

int durable_hook(sk::platform::FileOperation op, const std::string& name, void* context) {
    auto* plan = static_cast<DurablePlan*>(context);
    ++plan->seen;
    if (plan->countdown == 0) return 29;
    if (plan->countdown > 0) --plan->countdown;
    // Everything written so far reaches the disk with this flush.
    if (op == sk::platform::FileOperation::kFlush && name == plan->path)
        plan->durable = sk::test::platform_read_file(plan->path);
    return 0;
}

TEST(KsfFile, ACrashLosesOrTearsWhatWasNotFlushedAndRecoveryStillFindsOldOrNew) {
    sk::test::PlatformTempDir dir;
    const std::string path = dir.file("torn.ksf");
    Model old_state;
    ASSERT_NO_FATAL_FAILURE(write_committed_file(path, 2024, &old_state));
    const std::string pristine = sk::test::platform_read_file(path);
    int crashes = 0;
    for (int crash_at = 0;; ++crash_at) {
        ASSERT_TRUE(sk::test::platform_write_file(path, pristine));
        Model model = old_state;
        std::mt19937 change_rng(11);
        DurablePlan plan;
        plan.path = path;
        plan.durable = pristine;
        {
            KsfFile f(path);
            ASSERT_EQ(f.open(kMode, false), 0);
            ASSERT_EQ(f.refresh(), 0);
            for (int i = 0; i < 100; ++i) random_change(change_rng, f, model, 600);
            plan.countdown = crash_at;
            sk::platform::set_file_fault_hook(&durable_hook, &plan);
            const int rc = f.commit();
            sk::platform::set_file_fault_hook(nullptr, nullptr);
            if (rc == 0) break;
        }
        ++crashes;
        const std::string written = sk::test::platform_read_file(path);
        // Variant 0: all that was written since the last flush is lost. Then
        // some of it: each sector the file had before old or new, each sector
        // past its old end new or never written (zeros), the length anywhere
        // between the old and the new one.
        std::mt19937 sector_rng(static_cast<unsigned>(crash_at));
        for (int variant = 0; variant < 4; ++variant) {
            std::string after_crash = plan.durable;
            if (variant > 0) {
                const std::size_t low = std::min(plan.durable.size(), written.size());
                const std::size_t high = std::max(plan.durable.size(), written.size());
                std::size_t size = variant == 1 ? high : low + (high > low ? sector_rng() % (high - low + 1) : 0);
                after_crash.assign(size, '\0');
                for (std::size_t at = 0; at < size; at += 512) {
                    const std::size_t n = std::min<std::size_t>(512, size - at);
                    const bool old_sector = at < plan.durable.size() && sector_rng() % 2 == 0;
                    const std::string& from = old_sector ? plan.durable : written;
                    if (!old_sector && at >= plan.durable.size() && sector_rng() % 3 == 0) continue;  // zeros
                    if (at < from.size()) std::memcpy(after_crash.data() + at, from.data() + at, std::min(n, from.size() - at));
                }
            }
            ASSERT_TRUE(sk::test::platform_write_file(path, after_crash));
            KsfFile g(path);
            ASSERT_EQ(g.open(kMode, false), 0);
            const Model found = read_back(g);
            EXPECT_TRUE(found == old_state || found == model) << "crash at operation " << crash_at << ", variant " << variant;
        }
        ASSERT_LT(crash_at, 10000);
    }
    EXPECT_GT(crashes, 12);
}

TEST(KsfFile, ReadOnlyOpenerReadsThroughAPendingJournal) {
    // A crash after the journal became visible: a reader sees the new state
    // without changing the file; the next writer copies the journal home.
    sk::test::PlatformTempDir dir;
    const std::string path = dir.file("journal.ksf");
    Model model;
    std::mt19937 rng(5);
    {
        KsfFile f(path);
        ASSERT_EQ(f.open(kMode, true), 0);
        ASSERT_EQ(f.refresh(), 0);
        for (int i = 0; i < 300; ++i) random_change(rng, f, model, 500);
        ASSERT_EQ(f.commit(), 0);
        for (int i = 0; i < 100; ++i) random_change(rng, f, model, 500);
        ASSERT_EQ(f.commit_prepare(), 0);  // and never the home phase
    }
    const std::string before = sk::test::platform_read_file(path);
    EXPECT_TRUE(read_file(path) == model);
    EXPECT_EQ(sk::test::platform_read_file(path), before);
    {
        KsfFile f(path);
        ASSERT_EQ(f.open(kMode, false), 0);
        EXPECT_TRUE(read_back(f) == model);
        EXPECT_FALSE(f.header().journal_pending());
    }
    EXPECT_TRUE(read_file(path) == model);
}

TEST(KsfFile, ZeroLengthFileIsEmptyAndShortFileIsNot) {
    sk::test::PlatformTempDir dir;
    ASSERT_TRUE(sk::test::platform_write_file(dir.file("zero.ksf"), ""));
    KsfFile zero(dir.file("zero.ksf"));
    ASSERT_EQ(zero.open(kMode, false), 0);
    EXPECT_EQ(zero.refresh(), 0);
    EXPECT_EQ(zero.root(), kNoPage);
    ASSERT_TRUE(sk::test::platform_write_file(dir.file("short.ksf"), std::string(511, '\0')));
    KsfFile shorter(dir.file("short.ksf"));
    ASSERT_EQ(shorter.open(kMode, false), 0);
    EXPECT_EQ(shorter.refresh(), 1);
    KsfFile missing(dir.file("missing.ksf"));
    EXPECT_EQ(missing.open(kMode, false), 2);
}

// A header whose block tables are out of order, or whose blocks reach past the
// end of the file, is damage: the file is refused as invalid instead of being
// followed (a commit on such a header once spent hours moving pages across the
// gap).
TEST(KsfFile, AHeaderWithDisorderedOrOverlongBlocksIsRefused) {
    sk::test::PlatformTempDir dir;
    const std::string path = dir.file("blocks.ksf");
    {
        KsfFile f(path);
        ASSERT_EQ(f.open(kMode, true), 0);
        ASSERT_EQ(f.refresh(), 0);
        PageTree tree(f);
        f.begin_tree_operation();
        for (int i = 0; i < 300; ++i) ASSERT_EQ(tree.insert(Record::of(key_of(i), std::string(40, 'd'))), 0);
        ASSERT_EQ(f.commit(), 0);
    }
    const std::string good = sk::test::platform_read_file(path);
    Header h;
    ASSERT_EQ(h.parse(reinterpret_cast<const std::uint8_t*>(good.data()), good.size()), 0);
    const unsigned top = h.highest_block();
    ASSERT_GT(top, 1u);
    const auto refused = [&](const Header& bad) {
        std::string f = good;
        std::memcpy(f.data(), bad.data(), kHeaderSize);
        EXPECT_TRUE(sk::test::platform_write_file(path, f));
        KsfFile file(path);
        EXPECT_EQ(file.open(kMode, false), 0);
        return file.refresh();
    };
    Header overlapping = h;  // the top block starts inside the one below it
    overlapping.set_block(top, h.block_start(top - 1), h.block_end(top));
    EXPECT_EQ(refused(overlapping), 36);
    Header far = h;  // a block far beyond the end of the file
    far.set_block(kClassCount - 1, 0x7FFFFF00u, 0x7FFFFF00u + (kClassCount - 1));
    EXPECT_EQ(refused(far), 36);
    EXPECT_EQ(refused(h), 0);
}
