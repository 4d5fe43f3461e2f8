// Damaged KSF files through the whole driver: a real site file with bytes
// flipped, runs overwritten, header fields set to extremes, pages copied over
// other pages, cut short, or replaced by garbage behind a good header. Every
// one is opened, read in file order and in every key order, searched, written
// to and closed. Any answer is allowed (a file may still be readable, or give
// an error code); a crash, a sanitizer report, a sequence that never ends or
// a halt other than the engine's internal-error halt is a failure.
//
// The engine ends the program on an internal error, so the files are opened in
// a child process that reports each one before it starts; the parent restarts
// the child after the damaged file that halted it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "data/file_layer.h"
#include "data/ksf/ksf_file.h"
#include "data/ksf/page_tree.h"
#include "runtime/halt.h"
#include "site_test_table.h"
#include "support/platform_child.h"
#include "support/platform_temp_dir.h"

namespace sd = sk::data;
using sk::test::SiteTestTable;

namespace {

constexpr int kSites = 80;
const int kDamagedFiles = std::getenv("KSF_DAMAGED_FILES") ? std::atoi(std::getenv("KSF_DAMAGED_FILES")) : 800;

std::string site_location(int i) { return "http://site" + std::to_string(i * 7919 % 1000) + ".example/"; }

// A sound site file: kSites sites, a note on one in five, some long.
std::string sound_file(const std::string& base) {
    SiteTestTable t(base);
    EXPECT_EQ(sd::create(&t.fcb), 0);
    EXPECT_EQ(sd::open(&t.fcb, 0x42), 0);
    EXPECT_EQ(sd::logout(&t.fcb), 0);
    for (int i = 0; i < kSites; ++i) {
        t.set(site_location(i), "site number " + std::to_string(i), "cat" + std::to_string(i % 7), i % 100,
              "kw" + std::to_string(i % 13));
        t.set_note(i % 5 == 0 ? std::string(20 + i * 3 % 600, static_cast<char>('a' + i % 26)) : std::string());
        EXPECT_EQ(sd::add(&t.fcb), 0);
    }
    EXPECT_EQ(sd::commit(&t.fcb), 0);
    EXPECT_EQ(sd::close(&t.fcb), 0);
    return sk::test::platform_read_file(base + ".KSF");
}

void put_le32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4 && at + i < s.size(); ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

// Damaged file number n, the same for every run with the same seed.
std::string damaged(const std::string& good, unsigned seed, int n) {
    std::mt19937 rng(seed * 2654435761u + static_cast<unsigned>(n));
    std::string f = good;
    const auto random_at = [&](std::size_t limit) { return limit == 0 ? 0 : rng() % limit; };
    switch (rng() % 8) {
        case 0:  // a few bytes anywhere
        case 1:
            for (int i = 0, k = 1 + static_cast<int>(rng() % 8); i < k; ++i)
                f[random_at(f.size())] = static_cast<char>(rng());
            break;
        case 2:  // a few bytes of the header
            for (int i = 0, k = 1 + static_cast<int>(rng() % 4); i < k; ++i) f[random_at(512)] = static_cast<char>(rng());
            break;
        case 3: {  // a run overwritten
            const std::size_t at = random_at(f.size()), n_bytes = 4 + rng() % 61;
            for (std::size_t i = at; i < at + n_bytes && i < f.size(); ++i) f[i] = static_cast<char>(rng());
            break;
        }
        case 4:  // cut short, sometimes to nothing or into the header
            f.resize(rng() % 4 == 0 ? random_at(600) : random_at(f.size()));
            break;
        case 5: {  // a header field set to an extreme
            static const std::uint32_t extremes[] = {0, 1, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 512, 513};
            const std::uint32_t v =
                rng() % 3 == 0 ? static_cast<std::uint32_t>(f.size() + rng() % 3 - 1) : extremes[rng() % 7];
            put_le32(f, random_at(512 / 4) * 4, v);
            break;
        }
        case 6: {  // one part of the file copied over another: well-formed pages in the wrong place
            const std::size_t len = 64 * (1 + rng() % 32);
            if (f.size() > 512 + len) {
                const std::size_t from = 512 + random_at(f.size() - 512 - len), to = 512 + random_at(f.size() - 512 - len);
                f.replace(to, len, good.substr(from, len));
            }
            break;
        }
        default: {  // garbage behind the good header
            f.resize(512);
            const std::size_t len = random_at(good.size() * 2);
            for (std::size_t i = 0; i < len; ++i) f.push_back(static_cast<char>(rng()));
            break;
        }
    }
    return f;
}

// Walks one order forward (and backward too when asked); false when a walk
// does not end within a bound that no sound sequence over this file reaches.
bool walk_ends(SiteTestTable& t, sd::KeyControlBlock* key, bool backward) {
    for (int pass = 0; pass < (backward ? 2 : 1); ++pass) {
        if ((key ? sd::set_key(&t.fcb, key) : sd::set(&t.fcb)) != 0) return true;
        int steps = 0;
        while ((pass == 0 ? sd::next(&t.fcb) : sd::previous(&t.fcb)) == 0)
            if (++steps > 4 * kSites + 100) return false;
    }
    return true;
}

// Everything a program does with a file, on a damaged one. 0 when every
// sequence ended; 3 when one did not.
int exercise(const std::string& base) {
    {
        SiteTestTable t(base);
        if (sd::open(&t.fcb, 0x42) == 0) {
            if (!walk_ends(t, nullptr, true)) return 3;
            for (sd::KeyControlBlock* k : t.keys)
                if (!walk_ends(t, k, k == &t.k_location)) return 3;
            for (int i = 0; i < 5; ++i) {
                t.set(site_location(i * 37), "", "", 0, "");
                if (sd::get_key(&t.fcb, &t.k_location) == 0) (void)sd::skip(&t.fcb, 3);
            }
            (void)sd::records(&t.fcb);
            t.set("http://new.example/", "new", "cat1", 5, "kw1");
            t.set_note("a note");
            if (sd::add(&t.fcb) == 0) (void)sd::delete_record(&t.fcb);
            t.set(site_location(3), "", "", 0, "");
            if (sd::get_key(&t.fcb, &t.k_location) == 0) {
                t.put_text(SiteTestTable::kDescriptionAt, SiteTestTable::kDescriptionSize, "changed");
                (void)sd::put(&t.fcb);
            }
            (void)sd::close(&t.fcb);
        }
    }
    // The page level on its own: the tree's own check reads every page.
    sk::ksf::KsfFile f(base + ".KSF");
    if (f.open(0x40, false) == 0 && f.refresh() == 0) {
        sk::ksf::PageTree tree(f);
        (void)tree.check();
    }
    return 0;
}

}  // namespace

TEST(KsfHostileFiles, DamagedFilesNeverCrashOrHangTheDriver) {
    const char* env = std::getenv("KSF_SEED");
    const unsigned seed = env ? static_cast<unsigned>(std::strtoul(env, nullptr, 10))
                              : static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    SCOPED_TRACE("seed " + std::to_string(seed) + " (rerun with KSF_SEED=" + std::to_string(seed) + ")");
    // Thousands of files are written and flushed: in memory when the system
    // offers a memory file system, on disk otherwise.
    sk::test::PlatformTempDir dir("/dev/shm");
    const std::string good = sound_file(dir.file("sound"));
    ASSERT_GT(good.size(), 8000u);
    const std::string base = dir.file("damaged"), errors = dir.file("stderr.txt");
    // KSF_DAMAGED_FILE=n: that file alone, in this process, for a debugger.
    if (const char* only = std::getenv("KSF_DAMAGED_FILE")) {
        ASSERT_TRUE(sk::test::platform_write_file(base + ".KSF", damaged(good, seed, std::atoi(only))));
        EXPECT_EQ(exercise(base), 0);
        return;
    }

    int next = 0, halts = 0;
    while (next < kDamagedFiles) {
        sk::test::PlatformChild child;
        const int first = next;
        ASSERT_TRUE(child.start([&](sk::test::PlatformChild& self) {
            // The halt's message goes to a file the parent reads.
            const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd >= 0) ::dup2(fd, 2);
            // A halt ends the child at once with its exit code, without the
            // process's own end (a leak scan under the sanitizers would make
            // every restart slow).
            sk::rt::register_exit_handler([] { ::_exit(2); });
            for (int n = first; n < kDamagedFiles; ++n) {
                if (!sk::test::platform_write_file(base + ".KSF", damaged(good, seed, n))) return 4;
                self.signal();
                if (int rc = exercise(base)) return rc;
            }
            return 0;
        }));
        // Each signal starts the next file; a child that falls silent for long
        // is stuck in one.
        int started = first - 1;
        for (;;) {
            const auto t0 = std::chrono::steady_clock::now();
            if (child.wait_signal(30000)) {
                ++started;
                continue;
            }
            if (std::chrono::steady_clock::now() - t0 >= std::chrono::seconds(29)) {
                child.kill_and_join();
                FAIL() << "damaged file " << started << " never finished";
            }
            break;  // the child has ended
        }
        const int code = child.join();
        if (code == 0) {
            ASSERT_EQ(started, kDamagedFiles - 1);
            break;
        }
        ASSERT_NE(code, 3) << "a sequence over damaged file " << started << " never ended";
        ASSERT_EQ(code, 2) << "damaged file " << started << " ended the child with " << code;
        const std::string said = sk::test::platform_read_file(errors);
        ASSERT_NE(said.find("Internal error : ksfbt line "), std::string::npos)
            << "damaged file " << started << " halted without an internal error: " << said;
        if (std::getenv("KSF_SHOW_HALTS")) std::printf("file %d: %s\n", started, said.c_str());
        ++halts;
        next = started + 1;
    }
    RecordProperty("internal_error_halts", halts);
}
