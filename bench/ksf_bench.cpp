// KSF driver throughput over 100,000 records of 59 bytes with three keys:
// ADD inside one LOGOUT/COMMIT (one commit for all of them, the case to set
// against SQLite's single transaction), ADD inside STREAM (a commit every 40
// dirty pages), ADD with a commit per
// statement, GET by the unique key in random order, and NEXT in key order and
// in file order. SQLite (loaded at run time, when present) does the same work
// on an equivalent table as a baseline: inserts in one transaction, lookups
// by the primary key, a full scan in key order.
#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "data/file_layer.h"
#include "data/ksf/ksf_test_table.h"
#include "platform/file.h"

namespace {

namespace sd = sk::data;
using sk::test::KsfTestTable;

constexpr int kRecords = 100000;
std::string g_dir;

std::string location(int i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "http://www.site%06d.example.org/", (i * 7919) % kRecords);
    return buf;
}

void fill(KsfTestTable& t, int i) { t.set(location(i), "cat" + std::to_string(i % 17), i % 100); }

std::string fresh_file(const char* name) {
    const std::string path = g_dir + "/" + name;
    std::filesystem::remove(path + ".KSF");
    return path;
}

// A file of kRecords records, written once and shared by the reading cases.
// With KSF_BENCH_DIR set the file is kept there and reused by later runs (for
// profiling the reading cases on their own).
const std::string& populated() {
    static std::string path;
    if (!path.empty()) return path;
    if (const char* keep = std::getenv("KSF_BENCH_DIR")) {
        path = std::string(keep) + "/read";
        if (std::filesystem::exists(path + ".KSF")) return path;
    } else {
        path = fresh_file("read");
    }
    KsfTestTable t(path);
    sd::create(&t.fcb);
    sd::open(&t.fcb, 0x12);
    sd::stream(&t.fcb);
    for (int i = 0; i < kRecords; ++i) {
        fill(t, i);
        if (sd::add(&t.fcb) != 0) std::abort();
    }
    sd::flush(&t.fcb);
    sd::close(&t.fcb);
    return path;
}

void BM_KsfAddStream(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        KsfTestTable t(fresh_file("add"));
        sd::create(&t.fcb);
        sd::open(&t.fcb, 0x12);
        state.ResumeTiming();
        sd::stream(&t.fcb);
        for (int i = 0; i < kRecords; ++i) {
            fill(t, i);
            if (sd::add(&t.fcb) != 0) std::abort();
        }
        sd::flush(&t.fcb);
        sd::close(&t.fcb);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_KsfAddStream)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_KsfAddLogoutCommit(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        KsfTestTable t(fresh_file("logout"));
        sd::create(&t.fcb);
        sd::open(&t.fcb, 0x12);
        state.ResumeTiming();
        if (sd::logout(&t.fcb) != 0) std::abort();
        for (int i = 0; i < kRecords; ++i) {
            fill(t, i);
            if (sd::add(&t.fcb) != 0) std::abort();
        }
        if (sd::commit(&t.fcb) != 0) std::abort();
        sd::close(&t.fcb);
        state.PauseTiming();
        KsfTestTable check(g_dir + "/logout");
        sd::open(&check.fcb, 0x12);
        if (sd::records(&check.fcb) != kRecords) std::abort();
        sd::close(&check.fcb);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_KsfAddLogoutCommit)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_KsfAddCommitEach(benchmark::State& state) {
    constexpr int kAdds = 2000;  // every ADD is a commit with its flushes
    for (auto _ : state) {
        state.PauseTiming();
        KsfTestTable t(fresh_file("each"));
        sd::create(&t.fcb);
        sd::open(&t.fcb, 0x42);
        state.ResumeTiming();
        for (int i = 0; i < kAdds; ++i) {
            fill(t, i);
            if (sd::add(&t.fcb) != 0) std::abort();
        }
        sd::close(&t.fcb);
    }
    state.SetItemsProcessed(state.iterations() * kAdds);
}
BENCHMARK(BM_KsfAddCommitEach)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_KsfGetByKey(benchmark::State& state) {
    KsfTestTable t(populated());
    sd::open(&t.fcb, state.range(0));
    std::mt19937 rng(1);
    for (auto _ : state) {
        for (int i = 0; i < kRecords; ++i) {
            t.set(location(static_cast<int>(rng() % kRecords)), "", 0);
            if (sd::get_key(&t.fcb, &t.k_location) != 0) std::abort();
        }
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_KsfGetByKey)->Arg(0x12)->Arg(0x42)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_KsfNext(benchmark::State& state) {
    KsfTestTable t(populated());
    sd::open(&t.fcb, 0x12);
    for (auto _ : state) {
        if (state.range(0) == 0)
            sd::set_key(&t.fcb, &t.k_location);
        else
            sd::set(&t.fcb);
        int n = 0;
        while (sd::next(&t.fcb) == 0) ++n;
        if (n != kRecords) std::abort();
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_KsfNext)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// --- SQLite, through the few entry points the baseline needs -----------------------
struct Sqlite {
    void* lib = nullptr;
    int (*open)(const char*, void**) = nullptr;
    int (*close)(void*) = nullptr;
    int (*exec)(void*, const char*, void*, void*, char**) = nullptr;
    int (*prepare)(void*, const char*, int, void**, const char**) = nullptr;
    int (*bind_text)(void*, int, const char*, int, void (*)(void*)) = nullptr;
    int (*bind_int)(void*, int, int) = nullptr;
    int (*step)(void*) = nullptr;
    int (*reset)(void*) = nullptr;
    int (*finalize)(void*) = nullptr;
    Sqlite() {
        lib = dlopen("libsqlite3.so.0", RTLD_NOW);
        if (!lib) return;
        open = reinterpret_cast<decltype(open)>(dlsym(lib, "sqlite3_open"));
        close = reinterpret_cast<decltype(close)>(dlsym(lib, "sqlite3_close"));
        exec = reinterpret_cast<decltype(exec)>(dlsym(lib, "sqlite3_exec"));
        prepare = reinterpret_cast<decltype(prepare)>(dlsym(lib, "sqlite3_prepare_v2"));
        bind_text = reinterpret_cast<decltype(bind_text)>(dlsym(lib, "sqlite3_bind_text"));
        bind_int = reinterpret_cast<decltype(bind_int)>(dlsym(lib, "sqlite3_bind_int"));
        step = reinterpret_cast<decltype(step)>(dlsym(lib, "sqlite3_step"));
        reset = reinterpret_cast<decltype(reset)>(dlsym(lib, "sqlite3_reset"));
        finalize = reinterpret_cast<decltype(finalize)>(dlsym(lib, "sqlite3_finalize"));
    }
    bool ok() const { return lib && open && close && exec && prepare && bind_text && bind_int && step && reset && finalize; }
};
Sqlite& sqlite() {
    static Sqlite s;
    return s;
}
constexpr int kSqliteRow = 100, kSqliteDone = 101;

void* sqlite_db(const std::string& path, bool fresh) {
    if (fresh) std::filesystem::remove(path);
    void* db = nullptr;
    sqlite().open(path.c_str(), &db);
    sqlite().exec(db,
                  "CREATE TABLE IF NOT EXISTS sites(location TEXT PRIMARY KEY COLLATE NOCASE, category TEXT, rating "
                  "INTEGER, note TEXT); CREATE INDEX IF NOT EXISTS k_cat ON sites(category, location); CREATE INDEX "
                  "IF NOT EXISTS k_rating ON sites(rating DESC)",
                  nullptr, nullptr, nullptr);
    return db;
}

void sqlite_insert(void* db, int count) {
    Sqlite& s = sqlite();
    s.exec(db, "BEGIN", nullptr, nullptr, nullptr);
    void* stmt = nullptr;
    s.prepare(db, "INSERT INTO sites VALUES(?1, ?2, ?3, '')", -1, &stmt, nullptr);
    for (int i = 0; i < count; ++i) {
        const std::string loc = location(i), cat = "cat" + std::to_string(i % 17);
        s.bind_text(stmt, 1, loc.c_str(), -1, reinterpret_cast<void (*)(void*)>(-1));
        s.bind_text(stmt, 2, cat.c_str(), -1, reinterpret_cast<void (*)(void*)>(-1));
        s.bind_int(stmt, 3, i % 100);
        if (s.step(stmt) != kSqliteDone) std::abort();
        s.reset(stmt);
    }
    s.finalize(stmt);
    s.exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

void BM_SqliteInsertOneTransaction(benchmark::State& state) {
    if (!sqlite().ok()) return state.SkipWithError("libsqlite3 not found");
    for (auto _ : state) {
        void* db = sqlite_db(g_dir + "/add.db", true);
        sqlite_insert(db, kRecords);
        sqlite().close(db);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_SqliteInsertOneTransaction)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_SqliteInsertCommitEach(benchmark::State& state) {
    if (!sqlite().ok()) return state.SkipWithError("libsqlite3 not found");
    constexpr int kAdds = 2000;
    for (auto _ : state) {
        void* db = sqlite_db(g_dir + "/each.db", true);
        void* stmt = nullptr;
        sqlite().prepare(db, "INSERT INTO sites VALUES(?1, 'c', 1, '')", -1, &stmt, nullptr);
        for (int i = 0; i < kAdds; ++i) {
            const std::string loc = location(i);
            sqlite().bind_text(stmt, 1, loc.c_str(), -1, reinterpret_cast<void (*)(void*)>(-1));
            if (sqlite().step(stmt) != kSqliteDone) std::abort();
            sqlite().reset(stmt);
        }
        sqlite().finalize(stmt);
        sqlite().close(db);
    }
    state.SetItemsProcessed(state.iterations() * kAdds);
}
BENCHMARK(BM_SqliteInsertCommitEach)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_SqliteGetByKey(benchmark::State& state) {
    if (!sqlite().ok()) return state.SkipWithError("libsqlite3 not found");
    void* db = sqlite_db(g_dir + "/read.db", true);
    sqlite_insert(db, kRecords);
    void* stmt = nullptr;
    sqlite().prepare(db, "SELECT * FROM sites WHERE location = ?1", -1, &stmt, nullptr);
    std::mt19937 rng(1);
    for (auto _ : state) {
        for (int i = 0; i < kRecords; ++i) {
            const std::string loc = location(static_cast<int>(rng() % kRecords));
            sqlite().bind_text(stmt, 1, loc.c_str(), -1, reinterpret_cast<void (*)(void*)>(-1));
            if (sqlite().step(stmt) != kSqliteRow) std::abort();
            sqlite().reset(stmt);
        }
    }
    sqlite().finalize(stmt);
    sqlite().close(db);
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_SqliteGetByKey)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_SqliteScanInKeyOrder(benchmark::State& state) {
    if (!sqlite().ok()) return state.SkipWithError("libsqlite3 not found");
    void* db = sqlite_db(g_dir + "/read.db", false);
    void* stmt = nullptr;
    sqlite().prepare(db, "SELECT * FROM sites ORDER BY location", -1, &stmt, nullptr);
    for (auto _ : state) {
        int n = 0;
        while (sqlite().step(stmt) == kSqliteRow) ++n;
        sqlite().reset(stmt);
        if (n != kRecords) std::abort();
    }
    sqlite().finalize(stmt);
    sqlite().close(db);
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_SqliteScanInKeyOrder)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    char dir[] = "/tmp/ksfbenchXXXXXX";
    if (!mkdtemp(dir)) return 1;
    g_dir = dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(g_dir);
    return 0;
}
