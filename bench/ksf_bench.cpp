// KSF driver throughput on a table shaped like the site file: a 215-byte record
// (location, description, category, rating, keyword), five keys (the location
// unique, the others with duplicates, all case-insensitive) and a 500-byte memo
// that one record in ten fills. 100,000 records:
//   - ADD inside one LOGOUT/COMMIT, ADD inside STREAM (a commit every 40 dirty
//     pages), and 1,000 ADDs each committed by its own statement, with the disk
//     flushes per statement;
//   - GET by the unique key in random order;
//   - NEXT over the whole file in each of the five key orders and in file order;
//   - one category holding 1 % of the records, read through a view filtered on
//     it and by a plain key-range scan, with the pages each reads from disk;
//   - the size of the file.
// SQLite (loaded at run time, when present) does the same work on the same data
// in an equivalent table (the location as primary key, an index per other key,
// synchronous=FULL, rollback journal): inserts in one transaction and in
// autocommit, point SELECTs, SELECT ... ORDER BY the indexed columns, and the
// category's rows through its index.
//
// The disk flushes are counted by interposing fsync and fdatasync in this
// program; the library loaded at run time calls them through the same symbols.
#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "data/control_blocks.h"
#include "data/file_layer.h"
#include "data/ksf/driver.h"
#include "data/ksf/ksf_file.h"
#include "data/view.h"
#include "data/ksf/site_test_table.h"
#include "runtime/bind.h"

// ---------------------------------------------------------------------------
// Flush counting: the program's fsync and fdatasync calls, and those of the
// library loaded at run time, resolve to these.

namespace {
std::int64_t g_flushes = 0;

template <typename Fn>
int counted_sync(const char* name, int fd) {
    static Fn real = reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
    ++g_flushes;
    return real(fd);
}
}  // namespace

extern "C" int fdatasync(int fd) { return counted_sync<int (*)(int)>("fdatasync", fd); }
extern "C" int fsync(int fd) { return counted_sync<int (*)(int)>("fsync", fd); }

namespace {

namespace sd = sk::data;
namespace rt = sk::rt;

constexpr int kRecords = 100000;
constexpr int kEachAdds = 1000;  // statements committed one by one
std::string g_dir;

// --- the data, the same for both engines ---------------------------------------
using Shape = sk::test::SiteTestTable;
constexpr std::uint32_t kLocationSize = Shape::kLocationSize, kDescriptionSize = Shape::kDescriptionSize,
                        kCategorySize = Shape::kCategorySize, kKeywordSize = Shape::kKeywordSize;
constexpr std::uint32_t kLocationAt = Shape::kLocationAt, kDescriptionAt = Shape::kDescriptionAt,
                        kCategoryAt = Shape::kCategoryAt, kRatingAt = Shape::kRatingAt, kKeywordAt = Shape::kKeywordAt;
constexpr std::uint32_t kRecordLength = Shape::kRecordLength, kMemoSize = Shape::kMemoSize;

const char* const kWords[] = {"garden", "travel", "music",  "science", "cooking", "history", "sport",
                              "poetry", "maps",   "trains", "weather", "cinema",  "physics", "birds",
                              "chess",  "boats",  "coffee", "stamps",  "radio",   "fossils", "knots",
                              "glass",  "clocks"};
constexpr int kWordCount = sizeof kWords / sizeof kWords[0];

int site_of(int i) { return (i * 7919) % kRecords; }  // a permutation: locations arrive in random order

std::string location(int i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "http://www.site%06d.example.org/", site_of(i));
    return buf;
}
std::string description(int i) {
    const int s = site_of(i);
    return std::string(kWords[(s * 31) % kWordCount]) + " and " + kWords[(s * 17 + 5) % kWordCount] + ", site " +
           std::to_string(s);
}
// One record in a hundred is in the news category, written in three cases.
bool is_news(int i) { return i % 100 == 0; }
std::string category(int i) {
    if (is_news(i)) {
        static const char* const kNews[] = {"News", "NEWS", "news"};
        return kNews[(i / 100) % 3];
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "Topic%02d", i % 100);
    return buf;
}
int rating(int i) { return (i * 37) % 100; }
std::string keyword(int i) { return kWords[(i * 7) % kWordCount]; }
bool has_memo(int i) { return i % 10 == 3; }
std::string memo_text(int i) {
    std::string s = "Notes on " + location(i) + ": ";
    while (s.size() < 200) s += description(i) + "; ";
    return s;
}

// --- the site table ------------------------------------------------------------
struct SiteTable : sk::test::SiteTestTable {
    using SiteTestTable::SiteTestTable;

    // The record (and memo) of site i.
    void fill(int i) {
        set(::location(i), ::description(i), ::category(i), ::rating(i), ::keyword(i));
        set_note(has_memo(i) ? memo_text(i) : std::string());
    }
    std::string category_text() const { return category(); }
};

std::string fresh_file(const char* name) {
    const std::string path = g_dir + "/" + name;
    std::filesystem::remove(path + ".KSF");
    return path;
}

void add_all(SiteTable& t, int count) {
    for (int i = 0; i < count; ++i) {
        t.fill(i);
        if (sd::add(&t.fcb) != 0) std::abort();
    }
}

// A file of kRecords records, written once and shared by the reading cases.
// With KSF_BENCH_DIR set the file is kept there and reused by later runs (for
// profiling the reading cases on their own).
const std::string& populated() {
    static std::string path;
    if (!path.empty()) return path;
    if (const char* keep = std::getenv("KSF_BENCH_DIR")) {
        path = std::string(keep) + "/sites";
        if (std::filesystem::exists(path + ".KSF")) return path;
    } else {
        path = fresh_file("read");
    }
    SiteTable t(path);
    sd::create(&t.fcb);
    sd::open(&t.fcb, 0x12);
    if (sd::logout(&t.fcb) != 0) std::abort();
    add_all(t, kRecords);
    if (sd::commit(&t.fcb) != 0) std::abort();
    sd::close(&t.fcb);
    return path;
}

void report_flushes(benchmark::State& state, std::int64_t flushes, std::int64_t statements) {
    state.counters["flushes"] = static_cast<double>(flushes);
    state.counters["flushes_per_stmt"] = static_cast<double>(flushes) / static_cast<double>(statements);
}

void BM_KsfAddStream(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        SiteTable t(fresh_file("add"));
        sd::create(&t.fcb);
        sd::open(&t.fcb, 0x12);
        state.ResumeTiming();
        sd::stream(&t.fcb);
        add_all(t, kRecords);
        sd::flush(&t.fcb);
        sd::close(&t.fcb);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_KsfAddStream)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_KsfAddLogoutCommit(benchmark::State& state) {
    std::int64_t flushes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SiteTable t(fresh_file("logout"));
        sd::create(&t.fcb);
        sd::open(&t.fcb, 0x12);
        const std::int64_t f0 = g_flushes;
        state.ResumeTiming();
        if (sd::logout(&t.fcb) != 0) std::abort();
        add_all(t, kRecords);
        if (sd::commit(&t.fcb) != 0) std::abort();
        sd::close(&t.fcb);
        state.PauseTiming();
        flushes += g_flushes - f0;
        SiteTable check(g_dir + "/logout");
        sd::open(&check.fcb, 0x12);
        if (sd::records(&check.fcb) != kRecords) std::abort();
        sd::close(&check.fcb);
        state.ResumeTiming();
    }
    state.counters["flushes"] = static_cast<double>(flushes) / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_KsfAddLogoutCommit)->Unit(benchmark::kMillisecond)->Iterations(1);

// Every ADD is a statement of its own on a shared file, committed with its flushes.
void BM_KsfAddCommitEach(benchmark::State& state) {
    std::int64_t flushes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SiteTable t(fresh_file("each"));
        sd::create(&t.fcb);
        sd::open(&t.fcb, 0x42);
        const std::int64_t f0 = g_flushes;
        state.ResumeTiming();
        add_all(t, kEachAdds);
        state.PauseTiming();
        flushes += g_flushes - f0;
        sd::close(&t.fcb);
        state.ResumeTiming();
    }
    report_flushes(state, flushes, state.iterations() * kEachAdds);
    state.SetItemsProcessed(state.iterations() * kEachAdds);
}
BENCHMARK(BM_KsfAddCommitEach)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_KsfGetByKey(benchmark::State& state) {
    SiteTable t(populated());
    sd::open(&t.fcb, static_cast<unsigned>(state.range(0)));
    std::mt19937 rng(1);
    for (auto _ : state) {
        for (int i = 0; i < kRecords; ++i) {
            t.put_text(kLocationAt, kLocationSize, location(static_cast<int>(rng() % kRecords)));
            if (sd::get_key(&t.fcb, &t.k_location) != 0) std::abort();
        }
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_KsfGetByKey)->Arg(0x12)->Arg(0x42)->Unit(benchmark::kMillisecond)->Iterations(1);

// Arguments 0 to 4: the keys K_LOCATION, K_DESCRIPTION, K_CATEGORY, K_RATING,
// K_KEYWORD; 5: file order. The file is opened afresh, so every page is read
// from disk once.
void BM_KsfNext(benchmark::State& state) {
    SiteTable t(populated());
    sd::open(&t.fcb, 0x12);
    const std::uint64_t reads0 = sk::ksf::KsfFile::pages_read();
    for (auto _ : state) {
        if (state.range(0) < 5)
            sd::set_key(&t.fcb, t.keys[state.range(0)]);
        else
            sd::set(&t.fcb);
        int n = 0;
        while (sd::next(&t.fcb) == 0) ++n;
        if (n != kRecords) std::abort();
    }
    state.counters["page_reads"] = static_cast<double>(sk::ksf::KsfFile::pages_read() - reads0);
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_KsfNext)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->Iterations(1);

// --- one category through a view and by a key-range scan -----------------------
// The category browse's filter, over its key.
const char kCategoryFilter[] = "UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)";
char g_limit[kCategorySize];

void bind_filter_names(SiteTable& t) {
    std::memset(g_limit, ' ', sizeof g_limit);
    std::memcpy(g_limit, "news", 4);
    rt::bind_name("URL:Category", rt::bound_string(t.record + kCategoryAt, kCategorySize));
    rt::bind_name("BRW1::Sort2:Reset:CAT:Category", rt::bound_string(g_limit, sizeof g_limit));
}

int read_category_by_view(SiteTable& t) {
    sd::FileControlBlock view;
    sd::init_view_block(&view, &t.fcb);
    if (sd::set_key(&t.fcb, &t.k_category) != 0) std::abort();
    if (sd::view_property(&view, std::to_string(sd::kViewFilterProperty), kCategoryFilter) != 0) std::abort();
    if (sd::open(&view, 0x22) != 0) std::abort();
    int n = 0;
    while (sd::next(&view) == 0) ++n;
    sd::close(&view);
    return n;
}

// Positions the key at (NEWS, blank location) and reads while the category holds.
int read_category_by_key(SiteTable& t) {
    std::memset(t.record, ' ', kRecordLength);
    std::memcpy(t.record + kCategoryAt, "NEWS", 4);
    if (sd::set_key_value(&t.fcb, &t.k_category, &t.k_category) != 0) std::abort();
    int n = 0;
    while (sd::next(&t.fcb) == 0 && strcasecmp(t.category_text().c_str(), "news") == 0) ++n;
    return n;
}

// Argument 0: the file opened afresh for every pass (its pages read from disk);
// 1: one open file, its cache warmed by a first pass outside the timing.
template <int (*Read)(SiteTable&)>
void category_case(benchmark::State& state) {
    const bool cold = state.range(0) == 0;
    SiteTable t(populated());
    bind_filter_names(t);
    if (!cold) {
        sd::open(&t.fcb, 0x42);
        const std::uint64_t before = sk::ksf::KsfFile::pages_read();
        if (Read(t) != kRecords / 100) std::abort();
        state.counters["first_pass_reads"] = static_cast<double>(sk::ksf::KsfFile::pages_read() - before);
    }
    const std::uint64_t reads0 = sk::ksf::KsfFile::pages_read();
    for (auto _ : state) {
        if (cold) sd::open(&t.fcb, 0x42);
        if (Read(t) != kRecords / 100) std::abort();
        if (cold) sd::close(&t.fcb);
    }
    state.counters["page_reads"] = static_cast<double>(sk::ksf::KsfFile::pages_read() - reads0) /
                                   static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * (kRecords / 100));
}
void BM_KsfCategoryView(benchmark::State& state) { category_case<read_category_by_view>(state); }
void BM_KsfCategoryKeyRange(benchmark::State& state) { category_case<read_category_by_key>(state); }
BENCHMARK(BM_KsfCategoryView)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_KsfCategoryKeyRange)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

// --- SQLite, through the few entry points the baseline needs -----------------------
struct Sqlite {
    void* lib = nullptr;
    int (*open)(const char*, void**) = nullptr;
    int (*close)(void*) = nullptr;
    int (*exec)(void*, const char*, void*, void*, char**) = nullptr;
    int (*prepare)(void*, const char*, int, void**, const char**) = nullptr;
    int (*bind_text)(void*, int, const char*, int, void (*)(void*)) = nullptr;
    int (*bind_int)(void*, int, int) = nullptr;
    int (*bind_null)(void*, int) = nullptr;
    int (*step)(void*) = nullptr;
    int (*reset)(void*) = nullptr;
    int (*finalize)(void*) = nullptr;
    const unsigned char* (*column_text)(void*, int) = nullptr;
    Sqlite() {
        lib = dlopen("libsqlite3.so.0", RTLD_NOW);
        if (!lib) return;
        open = reinterpret_cast<decltype(open)>(dlsym(lib, "sqlite3_open"));
        close = reinterpret_cast<decltype(close)>(dlsym(lib, "sqlite3_close"));
        exec = reinterpret_cast<decltype(exec)>(dlsym(lib, "sqlite3_exec"));
        prepare = reinterpret_cast<decltype(prepare)>(dlsym(lib, "sqlite3_prepare_v2"));
        bind_text = reinterpret_cast<decltype(bind_text)>(dlsym(lib, "sqlite3_bind_text"));
        bind_int = reinterpret_cast<decltype(bind_int)>(dlsym(lib, "sqlite3_bind_int"));
        bind_null = reinterpret_cast<decltype(bind_null)>(dlsym(lib, "sqlite3_bind_null"));
        step = reinterpret_cast<decltype(step)>(dlsym(lib, "sqlite3_step"));
        reset = reinterpret_cast<decltype(reset)>(dlsym(lib, "sqlite3_reset"));
        finalize = reinterpret_cast<decltype(finalize)>(dlsym(lib, "sqlite3_finalize"));
        column_text = reinterpret_cast<decltype(column_text)>(dlsym(lib, "sqlite3_column_text"));
    }
    bool ok() const {
        return lib && open && close && exec && prepare && bind_text && bind_int && bind_null && step && reset &&
               finalize && column_text;
    }
};
Sqlite& sqlite() {
    static Sqlite s;
    return s;
}
constexpr int kSqliteRow = 100, kSqliteDone = 101;
const auto kTransient = reinterpret_cast<void (*)(void*)>(-1);

// The site table: the location as primary key (its own index), one index per
// other key, every text compared without case as the keys are.
void* sqlite_db(const std::string& path, bool fresh) {
    if (fresh) std::filesystem::remove(path);
    void* db = nullptr;
    sqlite().open(path.c_str(), &db);
    sqlite().exec(db,
                  "PRAGMA synchronous=FULL; PRAGMA journal_mode=DELETE;"
                  "CREATE TABLE IF NOT EXISTS sites(location TEXT PRIMARY KEY COLLATE NOCASE,"
                  " description TEXT COLLATE NOCASE, category TEXT COLLATE NOCASE, rating INTEGER,"
                  " keyword TEXT COLLATE NOCASE, siteinfo TEXT);"
                  "CREATE INDEX IF NOT EXISTS k_description ON sites(description);"
                  "CREATE INDEX IF NOT EXISTS k_category ON sites(category, location);"
                  "CREATE INDEX IF NOT EXISTS k_rating ON sites(rating, location);"
                  "CREATE INDEX IF NOT EXISTS k_keyword ON sites(keyword, location)",
                  nullptr, nullptr, nullptr);
    return db;
}

void sqlite_insert(void* db, int count, bool one_transaction) {
    Sqlite& s = sqlite();
    if (one_transaction) s.exec(db, "BEGIN", nullptr, nullptr, nullptr);
    void* stmt = nullptr;
    s.prepare(db, "INSERT INTO sites VALUES(?1, ?2, ?3, ?4, ?5, ?6)", -1, &stmt, nullptr);
    for (int i = 0; i < count; ++i) {
        const std::string loc = location(i), desc = description(i), cat = category(i), word = keyword(i);
        s.bind_text(stmt, 1, loc.c_str(), -1, kTransient);
        s.bind_text(stmt, 2, desc.c_str(), -1, kTransient);
        s.bind_text(stmt, 3, cat.c_str(), -1, kTransient);
        s.bind_int(stmt, 4, rating(i));
        s.bind_text(stmt, 5, word.c_str(), -1, kTransient);
        if (has_memo(i)) {
            const std::string m = memo_text(i);
            s.bind_text(stmt, 6, m.c_str(), -1, kTransient);
        } else {
            s.bind_null(stmt, 6);
        }
        if (s.step(stmt) != kSqliteDone) std::abort();
        s.reset(stmt);
    }
    s.finalize(stmt);
    if (one_transaction) s.exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

const std::string& sqlite_populated() {
    static std::string path;
    if (!path.empty()) return path;
    path = g_dir + "/read.db";
    void* db = sqlite_db(path, true);
    sqlite_insert(db, kRecords, true);
    sqlite().close(db);
    return path;
}

void BM_SqliteInsertOneTransaction(benchmark::State& state) {
    if (!sqlite().ok()) return state.SkipWithError("libsqlite3 not found");
    std::int64_t flushes = 0;
    for (auto _ : state) {
        void* db = sqlite_db(g_dir + "/add.db", true);
        const std::int64_t f0 = g_flushes;
        sqlite_insert(db, kRecords, true);
        flushes += g_flushes - f0;
        sqlite().close(db);
    }
    state.counters["flushes"] = static_cast<double>(flushes) / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_SqliteInsertOneTransaction)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_SqliteInsertCommitEach(benchmark::State& state) {
    if (!sqlite().ok()) return state.SkipWithError("libsqlite3 not found");
    std::int64_t flushes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        void* db = sqlite_db(g_dir + "/each.db", true);
        const std::int64_t f0 = g_flushes;
        state.ResumeTiming();
        sqlite_insert(db, kEachAdds, false);
        state.PauseTiming();
        flushes += g_flushes - f0;
        sqlite().close(db);
        state.ResumeTiming();
    }
    report_flushes(state, flushes, state.iterations() * kEachAdds);
    state.SetItemsProcessed(state.iterations() * kEachAdds);
}
BENCHMARK(BM_SqliteInsertCommitEach)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_SqliteGetByKey(benchmark::State& state) {
    if (!sqlite().ok()) return state.SkipWithError("libsqlite3 not found");
    void* db = sqlite_db(sqlite_populated(), false);
    void* stmt = nullptr;
    sqlite().prepare(db, "SELECT * FROM sites WHERE location = ?1", -1, &stmt, nullptr);
    std::mt19937 rng(1);
    for (auto _ : state) {
        for (int i = 0; i < kRecords; ++i) {
            const std::string loc = location(static_cast<int>(rng() % kRecords));
            sqlite().bind_text(stmt, 1, loc.c_str(), -1, kTransient);
            if (sqlite().step(stmt) != kSqliteRow) std::abort();
            sqlite().reset(stmt);
        }
    }
    sqlite().finalize(stmt);
    sqlite().close(db);
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_SqliteGetByKey)->Unit(benchmark::kMillisecond)->Iterations(1);

// True when the statement's plan reads through an index without sorting.
bool plan_uses_index_order(void* db, const std::string& sql) {
    void* stmt = nullptr;
    sqlite().prepare(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &stmt, nullptr);
    bool index = false, sorts = false;
    while (sqlite().step(stmt) == kSqliteRow) {
        const std::string detail = reinterpret_cast<const char*>(sqlite().column_text(stmt, 3));
        if (detail.find("INDEX") != std::string::npos) index = true;
        if (detail.find("TEMP B-TREE") != std::string::npos) sorts = true;
    }
    sqlite().finalize(stmt);
    return index && !sorts;
}

// Arguments as for BM_KsfNext: the five keys' columns.
void BM_SqliteScanInKeyOrder(benchmark::State& state) {
    if (!sqlite().ok()) return state.SkipWithError("libsqlite3 not found");
    static const char* const kOrders[] = {"location", "description", "category, location", "rating, location",
                                          "keyword, location"};
    const std::string sql = std::string("SELECT * FROM sites ORDER BY ") + kOrders[state.range(0)];
    void* db = sqlite_db(sqlite_populated(), false);
    if (!plan_uses_index_order(db, sql)) {
        sqlite().close(db);
        return state.SkipWithError("the scan would sort");
    }
    void* stmt = nullptr;
    sqlite().prepare(db, sql.c_str(), -1, &stmt, nullptr);
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
BENCHMARK(BM_SqliteScanInKeyOrder)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->Iterations(1);

// The category's rows through the category index; argument as for the KSF
// category cases (0: a new connection per pass).
void BM_SqliteCategory(benchmark::State& state) {
    if (!sqlite().ok()) return state.SkipWithError("libsqlite3 not found");
    const bool cold = state.range(0) == 0;
    const std::string sql = "SELECT * FROM sites WHERE category = 'NEWS' ORDER BY category, location";
    void* db = sqlite_db(sqlite_populated(), false);
    if (!plan_uses_index_order(db, sql)) {
        sqlite().close(db);
        return state.SkipWithError("the query would not use the index");
    }
    for (auto _ : state) {
        if (cold) {
            sqlite().close(db);
            sqlite().open(sqlite_populated().c_str(), &db);
        }
        void* stmt = nullptr;
        sqlite().prepare(db, sql.c_str(), -1, &stmt, nullptr);
        int n = 0;
        while (sqlite().step(stmt) == kSqliteRow) ++n;
        sqlite().finalize(stmt);
        if (n != kRecords / 100) std::abort();
    }
    sqlite().close(db);
    state.SetItemsProcessed(state.iterations() * (kRecords / 100));
}
BENCHMARK(BM_SqliteCategory)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

// The sizes of the two populated files, in bytes (no timing).
void BM_FileSize(benchmark::State& state) {
    const auto ksf = std::filesystem::file_size(populated() + ".KSF");
    const auto sql = sqlite().ok() ? std::filesystem::file_size(sqlite_populated()) : 0;
    for (auto _ : state) benchmark::DoNotOptimize(ksf);
    state.counters["ksf_bytes"] = static_cast<double>(ksf);
    state.counters["sqlite_bytes"] = static_cast<double>(sql);
    state.counters["ratio"] = sql ? static_cast<double>(ksf) / static_cast<double>(sql) : 0;
}
BENCHMARK(BM_FileSize)->Iterations(1);

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
