// The export and import batches and the text viewer, on files on disk as the
// program uses them: LINKDB and Categories through the KSF driver, AsciiFile
// through the ASCII driver.
//
// - The export of 100,000 sites in 40 categories (a third of them with notes),
//   one timer batch (25 sites) at a time.
// - The HTML import of a 5 MB bookmark file with 20,000 links (folders as
//   headings, one link a line, description lines between them, some lines of
//   several kilobytes) into empty files, one timer batch (1000 bytes) at a time.
// - Both again as the user runs them: on the procedure's thread with its
//   progress window on the headless display, the virtual clock stepped one
//   timer tick at a time.
// - The text viewer: loading a 10 MB text, and searches that run through every
//   line.
//
// For every batch the thread's CPU time, the wall time, and the number and time
// of the disk flushes (fdatasync and fsync, which the program calls only when it
// commits) are taken. The work of a batch apart from its flushes is its CPU time
// less the CPU spent inside the flushes, and its wall time less the flushes'
// wall time. The flushes and the writes are timed by interposing the system
// calls in this program; which file each flush belongs to comes from the
// platform file layer's fault hook, which sees every flush with its file name.
#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/dictionary.h"
#include "app/html_export.h"
#include "app/import_html.h"
#include "app/procedures.h"
#include "app/progress_window.h"
#include "app/text_viewer.h"
#include "data/file_layer.h"
#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "platform/file.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "ui/engine.h"
#include "ui/thread.h"

// ---------------------------------------------------------------------------
// Flush timing: the program's fdatasync and fsync calls resolve to these, which
// time the system's own.

namespace {

std::int64_t g_flush_count = 0;
std::int64_t g_flush_ns = 0;      // wall time inside the calls
std::int64_t g_flush_cpu_ns = 0;  // the calling thread's CPU time inside them (the kernel's share of the work)

std::int64_t now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t cpu_ns(clockid_t clock)
{
    timespec t{};
    ::clock_gettime(clock, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}
std::int64_t thread_cpu_ns() { return cpu_ns(CLOCK_THREAD_CPUTIME_ID); }
std::int64_t process_cpu_ns() { return cpu_ns(CLOCK_PROCESS_CPUTIME_ID); }

template <typename Fn>
int timed_sync(const char* name, int fd)
{
    static Fn real = reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
    const std::int64_t t0 = now_ns(), c0 = thread_cpu_ns();
    const int r = real(fd);
    g_flush_ns += now_ns() - t0;
    g_flush_cpu_ns += thread_cpu_ns() - c0;
    ++g_flush_count;
    return r;
}

}  // namespace

extern "C" int fdatasync(int fd) { return timed_sync<int (*)(int)>("fdatasync", fd); }
extern "C" int fsync(int fd) { return timed_sync<int (*)(int)>("fsync", fd); }

// Writes are timed too: on a disk shared with other work a write can wait for
// the page cache's write-back, which is disk time of another kind.
namespace {
std::int64_t g_write_count = 0;
std::int64_t g_write_ns = 0;
}  // namespace

extern "C" ssize_t pwrite(int fd, const void* buffer, size_t n, off_t offset)
{
    using Fn = ssize_t (*)(int, const void*, size_t, off_t);
    static Fn real = reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, "pwrite"));
    const std::int64_t t0 = now_ns();
    const ssize_t r = real(fd, buffer, n, offset);
    g_write_ns += now_ns() - t0;
    ++g_write_count;
    return r;
}

namespace {

namespace sa = sk::app;
namespace sd = sk::data;
namespace sp = sk::platform;

constexpr int kExportSites = 100000;
constexpr int kExportCategories = 40;
constexpr int kImportLinks = 20000;
constexpr std::size_t kImportBytes = 5u * 1000 * 1000;
constexpr std::size_t kViewerBytes = 10u * 1000 * 1000;
constexpr double kBatchTargetMs = 5.0;

std::string g_dir;
std::vector<std::string> g_messages;  // boxes the program would have shown

// Flushes by the file they belong to, as the file layer reports them.
std::int64_t g_flush_linkdb = 0;
std::int64_t g_flush_categories = 0;
std::int64_t g_flush_other = 0;

int flush_observer(sp::FileOperation operation, const std::string& path, void*)
{
    if (operation != sp::FileOperation::kFlush)
        return 0;
    const std::string name = std::filesystem::path(path).filename().string();
    if (name.rfind("LINKDB", 0) == 0)
        ++g_flush_linkdb;
    else if (name.rfind("CATEGORIES", 0) == 0)
        ++g_flush_categories;
    else
        ++g_flush_other;
    return 0;
}

// ---------------------------------------------------------------------------
// Per-batch figures.

struct BatchFigures {
    std::vector<double> cpu_ms;   // thread CPU less the CPU spent inside the flushes
    std::vector<double> work_ms;  // wall less flushes
    std::vector<double> wall_ms;
    std::vector<std::int64_t> flushes;
    std::vector<double> write_ms;  // wall time inside writes
    std::int64_t write_total = 0;
    double flush_ms = 0;
    double flush_cpu_ms = 0;
    std::int64_t flush_total = 0;

    template <typename Batch>
    bool run(Batch batch)
    {
        const std::int64_t c0 = thread_cpu_ns(), w0 = now_ns(), f0 = g_flush_ns, n0 = g_flush_count,
                           fc0 = g_flush_cpu_ns, wr0 = g_write_ns, wn0 = g_write_count;
        const bool done = batch();
        write_ms.push_back((g_write_ns - wr0) / 1e6);
        write_total += g_write_count - wn0;
        const std::int64_t c1 = thread_cpu_ns(), w1 = now_ns();
        const double flush = (g_flush_ns - f0) / 1e6;
        const double flush_cpu = (g_flush_cpu_ns - fc0) / 1e6;
        cpu_ms.push_back((c1 - c0) / 1e6 - flush_cpu);
        flush_cpu_ms += flush_cpu;
        wall_ms.push_back((w1 - w0) / 1e6);
        work_ms.push_back((w1 - w0) / 1e6 - flush);
        flushes.push_back(g_flush_count - n0);
        flush_ms += flush;
        flush_total += g_flush_count - n0;
        return done;
    }

    static double quantile(std::vector<double> v, double q)
    {
        if (v.empty())
            return 0;
        std::sort(v.begin(), v.end());
        return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
    }
    static double mean(const std::vector<double>& v)
    {
        double s = 0;
        for (double x : v)
            s += x;
        return v.empty() ? 0 : s / static_cast<double>(v.size());
    }
    static std::size_t over(const std::vector<double>& v, double limit)
    {
        return static_cast<std::size_t>(std::count_if(v.begin(), v.end(), [&](double x) { return x > limit; }));
    }

    void report(benchmark::State& state, const char* what) const
    {
        const double batches = static_cast<double>(cpu_ms.size());
        state.counters["batches"] = batches;
        state.counters["cpu_mean_ms"] = mean(cpu_ms);
        state.counters["cpu_p99_ms"] = quantile(cpu_ms, 0.99);
        state.counters["cpu_max_ms"] = quantile(cpu_ms, 1.0);
        state.counters["work_p99_ms"] = quantile(work_ms, 0.99);
        state.counters["flush_per_batch"] = batches > 0 ? static_cast<double>(flush_total) / batches : 0;
        state.counters["flush_ms_per_batch"] = batches > 0 ? flush_ms / batches : 0;
        std::int64_t most = 0;
        for (std::int64_t f : flushes)
            most = std::max(most, f);
        std::printf("\n%s: %zu batches\n"
                    "  CPU per batch   (less the CPU inside flushes) mean %.3f ms  median %.3f  p99 %.3f  max %.3f  over %.0f ms: %zu\n"
                    "  work per batch  mean %.3f ms  median %.3f  p99 %.3f  max %.3f  over %.0f ms: %zu"
                    "  (wall less flushes)\n"
                    "  wall per batch  mean %.3f ms  median %.3f  p99 %.3f  max %.3f\n"
                    "  flushes         %lld in all, %.2f per batch (most %lld), %.3f ms each, %.3f ms per batch"
                    " (CPU inside them %.3f ms per batch)\n"
                    "  writes          %.1f per batch, wall inside them mean %.3f ms  p99 %.3f  max %.3f per batch\n",
                    what, cpu_ms.size(), mean(cpu_ms), quantile(cpu_ms, 0.5), quantile(cpu_ms, 0.99),
                    quantile(cpu_ms, 1.0), kBatchTargetMs, over(cpu_ms, kBatchTargetMs), mean(work_ms),
                    quantile(work_ms, 0.5), quantile(work_ms, 0.99), quantile(work_ms, 1.0), kBatchTargetMs,
                    over(work_ms, kBatchTargetMs), mean(wall_ms), quantile(wall_ms, 0.5), quantile(wall_ms, 0.99),
                    quantile(wall_ms, 1.0), static_cast<long long>(flush_total),
                    batches > 0 ? static_cast<double>(flush_total) / batches : 0, static_cast<long long>(most),
                    flush_total > 0 ? flush_ms / static_cast<double>(flush_total) : 0,
                    batches > 0 ? flush_ms / batches : 0, batches > 0 ? flush_cpu_ms / batches : 0,
                    batches > 0 ? static_cast<double>(write_total) / batches : 0, mean(write_ms), quantile(write_ms, 0.99),
                    quantile(write_ms, 1.0));
    }
};

// ---------------------------------------------------------------------------
// Set-up.

std::string make_dir(const std::string& name)
{
    const std::string path = g_dir + "/" + name;
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

// The program's start in directory: its globals, the KSF driver for LINKDB and
// Categories, the current directory where the data files live.
void enter_program_directory(const std::string& directory)
{
    if (!sp::set_current_directory(directory))
        std::abort();
    sa::start_program_globals();
    sk::rt::clear_error();
}

const char* const kCategoryWords[] = {"Art", "News", "Tools", "Science", "Music", "Travel", "Sport", "Books"};

// LINKDB in directory with kExportSites sites in kExportCategories categories,
// written inside one transaction (the set-up is not what is measured).
void populate_linkdb(const std::string& directory)
{
    enter_program_directory(directory);
    sd::create(&sa::LINKDB);
    sd::open(&sa::LINKDB, 0x12);
    if (sk::rt::error_code() != 0 || sa::url_siteinfo_text() == nullptr)
        std::abort();
    sd::logout(&sa::LINKDB);
    char text[200];
    for (int i = 0; i < kExportSites; ++i) {
        const int n = (i * 7919) % kExportSites;  // added out of key order, as a user would
        sa::clear_site_record();
        std::snprintf(text, sizeof text, "http://www.site%06d.example.org/%s/index.html", n,
                      kCategoryWords[n % 8]);
        sa::set_fixed(sa::url_record.location, text);
        std::snprintf(text, sizeof text, "The %s pages of site number %d", kCategoryWords[n % 8], n);
        sa::set_fixed(sa::url_record.description, text);
        std::snprintf(text, sizeof text, "%s %02d", kCategoryWords[n % 8], n % kExportCategories);
        sa::set_fixed(sa::url_record.category, text);
        const int rating = n % 11;
        sa::url_record.rating[1] = static_cast<unsigned char>((rating / 10) << 4 | rating % 10);
        sa::set_fixed(sa::url_record.keyword, "http");
        if (n % 3 == 0) {
            std::snprintf(text, sizeof text,
                          "Notes on site %d: visited often, a good source for %s, worth a second look "
                          "when the list is next sorted.",
                          n, kCategoryWords[n % 8]);
            sa::set_fixed(sa::url_siteinfo_text(), sa::kSiteInfoSize, text);
        }
        if (sd::add(&sa::LINKDB) != 0)
            std::abort();
    }
    if (sd::commit(&sa::LINKDB) != 0)
        std::abort();
    sd::close(&sa::LINKDB);
}

// A bookmark page of kImportLinks links and about kImportBytes bytes, one link a
// line under folder headings, with description lines between the links. One link
// in a hundred repeats an earlier one (a duplicate the import skips); one line in
// sixty holds a long note (1 to 3 KB) after its link.
void write_bookmark_file(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    std::size_t bytes = 0;
    auto line = [&](const std::string& text) {
        out << text << "\r\n";
        bytes += text.size() + 2;
    };
    line("<!-- Saved bookmarks -->");
    line("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">");
    line("<TITLE>Bookmarks</TITLE>");
    line("<H1>Bookmarks</H1>");
    line("<DL><p>");
    const std::string filler =
        "A page kept for later reading, with reviews, pictures and a long list of further links to "
        "related places that were found while looking for something else entirely. ";
    char text[512];
    int folder = 0;
    for (int i = 0; i < kImportLinks; ++i) {
        if (i % 100 == 0) {
            if (i > 0)
                line("    </DL><p>");
            ++folder;
            std::snprintf(text, sizeof text, "    <DT><H3 ADD_DATE=\"%d\" LAST_MODIFIED=\"%d\">%s folder %d</H3>",
                          931000000 + folder, 932000000 + folder, kCategoryWords[folder % 8], folder);
            line(text);
            line("    <DL><p>");
        }
        const int n = i % 100 == 99 ? i - 50 : i;  // one in a hundred repeats a link
        std::snprintf(text, sizeof text,
                      "        <DT><A HREF=\"http://www.place%05d.example.net/%s/page%d.html\" ADD_DATE=\"%d\" "
                      "LAST_VISIT=\"%d\" LAST_MODIFIED=\"%d\">%s place %d, the front page</A>",
                      n, kCategoryWords[n % 8], n % 37, 940000000 + n, 950000000 + n, 945000000 + n,
                      kCategoryWords[n % 8], n);
        std::string link = text;
        if (i % 60 == 7) {
            // A long note after the link: the line runs past the 512-byte record.
            const std::size_t length = 1000 + static_cast<std::size_t>(i % 3) * 1000;
            while (link.size() < length)
                link += filler;
        }
        line(link);
        // Description lines fill the file up to its share of the bytes so far.
        const std::size_t due = kImportBytes * static_cast<std::size_t>(i + 1) / kImportLinks;
        while (bytes + 16 < due) {
            const std::size_t room = due - bytes - 2;
            std::string dd = "        <DD>";
            const std::size_t want = std::min<std::size_t>(room, 200 + static_cast<std::size_t>(i % 7) * 20);
            while (dd.size() < want)
                dd += filler;
            dd.resize(std::max<std::size_t>(want, 13));
            line(dd);
        }
    }
    line("    </DL><p>");
    line("</DL><p>");
}

// A text of about kViewerBytes bytes: paragraphs of prose lines of 0 to 120
// characters, a few lines longer than the list's 255 characters, and one line at
// the very end with a word found nowhere else.
void write_viewer_text(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    const std::string words =
        "the site list keeps every location with its description category rating and notes so that "
        "a search by any of them finds it again and the export writes them all as one page ";
    std::size_t bytes = 0;
    for (int i = 0; bytes < kViewerBytes; ++i) {
        std::size_t length = static_cast<std::size_t>((i * 37) % 121);
        if (i % 9 == 8)
            length = 0;  // paragraph break
        if (i % 500 == 17)
            length = 400;
        std::string text;
        while (text.size() < length)
            text += words.substr(static_cast<std::size_t>(i * 13) % 40);
        text.resize(length);
        out << text << "\r\n";
        bytes += text.size() + 2;
    }
    out << "and here at last is the quokkafinder\r\n";
}

// The directory of the export's LINKDB, populated once per run.
const std::string& export_directory()
{
    static const std::string directory = [] {
        const std::string d = make_dir("export");
        populate_linkdb(d);
        return d;
    }();
    return directory;
}

// The bookmark file the imports read, written once per run.
const std::string& bookmark_input()
{
    static const std::string path = [] {
        const std::string p = make_dir("input") + "/bookmarks.htm";
        write_bookmark_file(p);
        return p;
    }();
    return path;
}

bool fail_on_messages(benchmark::State& state)
{
    if (g_messages.empty())
        return false;
    state.SkipWithError(("the program showed: " + g_messages.front()).c_str());
    return true;
}

// Runs the work's batches as its progress window would: the window's opened
// event first, then one batch after the other until it closes, then the finish.
template <typename Work>
void run_batches(Work& work, BatchFigures& figures)
{
    work.window_opened();
    while (!work.closing())
        figures.run([&] { return work.run_batch(); });
    work.finish();
}

// ---------------------------------------------------------------------------
// The export.

void BM_ExportBatches(benchmark::State& state)
{
    const std::string& directory = export_directory();
    for (auto _ : state) {
        enter_program_directory(directory);
        g_messages.clear();
        g_flush_linkdb = g_flush_categories = g_flush_other = 0;
        BatchFigures figures;
        const std::int64_t c0 = thread_cpu_ns(), w0 = now_ns();
        sa::HtmlExport work;
        work.start();
        run_batches(work, figures);
        const double pass_cpu = (thread_cpu_ns() - c0) / 1e9, pass_wall = (now_ns() - w0) / 1e9;
        if (fail_on_messages(state))
            return;
        if (sa::LastResponse != sa::ResponseDone || work.progress().done() != kExportSites) {
            state.SkipWithError("the export did not write every site");
            return;
        }
        figures.report(state, "Export of 100,000 sites, 25 a batch");
        std::printf("  whole pass      %.2f s CPU, %.2f s wall; %d sections; page %.1f MB\n"
                    "  flushes by file LINKDB %lld, CATEGORIES %lld, other %lld\n",
                    pass_cpu, pass_wall, work.sections_written(),
                    std::filesystem::file_size(directory + "/bookmark.htm") / 1e6,
                    static_cast<long long>(g_flush_linkdb), static_cast<long long>(g_flush_categories),
                    static_cast<long long>(g_flush_other));
        state.counters["pass_cpu_s"] = pass_cpu;
        state.counters["pass_wall_s"] = pass_wall;
    }
}
BENCHMARK(BM_ExportBatches)->Unit(benchmark::kMillisecond)->Iterations(1);

// ---------------------------------------------------------------------------
// The import.

void BM_ImportHtmlBatches(benchmark::State& state)
{
    const std::string& input = bookmark_input();
    for (auto _ : state) {
        state.PauseTiming();
        const std::string directory = make_dir("import");  // empty LINKDB and Categories each time
        enter_program_directory(directory);
        sa::set_fixed(sa::ExportFileName, input);
        g_messages.clear();
        g_flush_linkdb = g_flush_categories = g_flush_other = 0;
        state.ResumeTiming();

        BatchFigures figures;
        const std::int64_t c0 = thread_cpu_ns(), w0 = now_ns(), f0 = g_flush_count;
        std::int64_t add_errors = 0;
        sa::ImportHtml work;
        work.set_add_error_handler([&](std::string_view) { ++add_errors; });
        work.start();
        const std::int64_t setup_flushes = g_flush_count - f0;
        run_batches(work, figures);
        const double pass_cpu = (thread_cpu_ns() - c0) / 1e9, pass_wall = (now_ns() - w0) / 1e9;
        if (fail_on_messages(state))
            return;
        if (sa::LastResponse != sa::ResponseDone || add_errors != 0) {
            state.SkipWithError("the import did not read the whole file");
            return;
        }
        figures.report(state, "HTML import of a 5 MB bookmark file, 1000 bytes a batch");
        std::printf("  whole pass      %.2f s CPU, %.2f s wall; %lld sites added of %d links; file %.2f MB\n"
                    "  flushes by file LINKDB %lld, CATEGORIES %lld, other %lld (%lld while opening)\n",
                    pass_cpu, pass_wall, static_cast<long long>(work.sites_added()), kImportLinks,
                    std::filesystem::file_size(input) / 1e6, static_cast<long long>(g_flush_linkdb),
                    static_cast<long long>(g_flush_categories), static_cast<long long>(g_flush_other),
                    static_cast<long long>(setup_flushes));
        state.counters["pass_cpu_s"] = pass_cpu;
        state.counters["pass_wall_s"] = pass_wall;
        state.counters["sites"] = static_cast<double>(work.sites_added());
    }
}
BENCHMARK(BM_ImportHtmlBatches)->Unit(benchmark::kMillisecond)->Iterations(1);

// ---------------------------------------------------------------------------
// The text viewer.

const std::string& viewer_directory()
{
    static const std::string directory = [] {
        const std::string d = make_dir("viewer");
        write_viewer_text(d + "/bigtext.txt");
        return d;
    }();
    return directory;
}

const sa::ViewerSettings kBenchViewer{"bigtext.txt", "Bench", "Reading", "Bench", "LKDB3023_RSC"};

bool load(sa::TextViewer& viewer)
{
    sa::set_fixed(sa::ViewFileName, "bigtext.txt");
    return viewer.load_all() == sa::TextViewer::LoadStart::kLoading && !viewer.had_read_error();
}

void BM_ViewerLoad(benchmark::State& state)
{
    enter_program_directory(viewer_directory());
    sa::TextViewer viewer(kBenchViewer);
    std::size_t lines = 0;
    for (auto _ : state) {
        if (!load(viewer)) {
            state.SkipWithError("load failed");
            return;
        }
        lines = viewer.line_count();
    }
    state.counters["lines"] = static_cast<double>(lines);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(viewer.file_size()));
}
BENCHMARK(BM_ViewerLoad)->Unit(benchmark::kMillisecond);

// A search from the top that finds its word on the last line (case ignored, or
// whole words), or finds nothing and is not wrapped: every line is looked at.
void BM_ViewerSearch(benchmark::State& state)
{
    enter_program_directory(viewer_directory());
    sa::TextViewer viewer(kBenchViewer);
    if (!load(viewer)) {
        state.SkipWithError("load failed");
        return;
    }
    viewer.set_wrap_question([](std::string_view) { return false; });
    const int which = static_cast<int>(state.range(0));
    sa::SearchSettings& settings = viewer.search_settings();
    settings.text = which == 2 ? "zyzzyva" : "QuokkaFinder";
    settings.whole_word = which == 1;
    const std::size_t expect = which == 2 ? 0 : viewer.line_count();
    for (auto _ : state) {
        const auto row = viewer.search(0);
        if (row.value_or(0) != expect) {
            state.SkipWithError("wrong search result");
            return;
        }
    }
    state.SetLabel(which == 0 ? "found on the last line" : which == 1 ? "whole word, last line" : "no match");
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(viewer.file_size()));
}
BENCHMARK(BM_ViewerSearch)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Both together, as a user opens the text and searches it.
void BM_ViewerLoadAndSearch(benchmark::State& state)
{
    enter_program_directory(viewer_directory());
    sa::TextViewer viewer(kBenchViewer);
    viewer.set_wrap_question([](std::string_view) { return false; });
    for (auto _ : state) {
        if (!load(viewer)) {
            state.SkipWithError("load failed");
            return;
        }
        viewer.search_settings().text = "zyzzyva";
        benchmark::DoNotOptimize(viewer.search(0));
    }
}
BENCHMARK(BM_ViewerLoadAndSearch)->Unit(benchmark::kMillisecond);


// ---------------------------------------------------------------------------
// The same passes as the user runs them: the procedure on its own thread with
// its progress window on the headless display, each timer tick (10 ms of the
// virtual clock) let through and waited for until every thread is idle again.
// A tick's figures are the program's CPU time (all threads) and the wall time
// from the clock's step to idle: the batch, the window's redisplay and the
// hand-over between the threads.

namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;
namespace ui = sk::ui;

constexpr std::uint64_t kTickMs = 10;  // the progress windows' timer: a hundredth of a second

bool open_headless()
{
    if (!pd::is_display_open() && !pd::open_display(pd::Backend::kHeadless, pd::Size{800, 600}))
        return false;
    return ui::initialise_engine();
}

// Batches the procedure under test has run, for the ticking thread to wait on.
std::atomic<std::int64_t> g_batches_run{0};
std::atomic<bool> g_pass_opened{false};   // the window's opened event has been handled
std::atomic<bool> g_pass_closing{false};  // the last batch has run
std::atomic<std::int64_t> g_closing_ns{0};  // when it ended

// The pass handed to the progress window, with each of its batches timed on the
// procedure's thread.
template <typename Work>
class TimedWork {
public:
    TimedWork(Work& work, BatchFigures& figures) : m_work(work), m_figures(figures) {}
    void window_opened()
    {
        m_work.window_opened();
        g_pass_opened = true;
    }
    bool run_batch()
    {
        const bool closing = m_figures.run([this] { return m_work.run_batch(); });
        ++g_batches_run;
        if (closing) {
            g_closing_ns = now_ns();
            g_pass_closing = true;
        }
        return closing;
    }
    void cancel() { m_work.cancel(); }
    void finish() { m_work.finish(); }
    bool closing() const { return m_work.closing(); }
    const sa::BatchProgress& progress() const { return m_work.progress(); }
    const std::string& title() const { return m_work.title(); }
    const std::string& user_text() const { return m_work.user_text(); }
    const std::string& percent_text() const { return m_work.percent_text(); }

private:
    Work& m_work;
    BatchFigures& m_figures;
};

// Runs Work on a thread of its own as its procedure does (the request state
// cleared, the work started, then its progress window, the batches timed), and
// lets the timer through tick by tick until it ends.
template <typename Work>
void run_procedure_ticks(benchmark::State& state, const sa::ProgressWindowSpec& window, const char* what)
{
    if (!open_headless()) {
        state.SkipWithError("no headless display");
        return;
    }
    std::atomic<bool> done{false};
    g_pass_opened = false;
    g_pass_closing = false;
    BatchFigures batches;
    std::vector<double> tick_wall, tick_cpu;
    const std::int64_t w0 = now_ns(), c0 = process_cpu_ns();
    const int thread = ui::start([&] {
        sa::PendingRequest = 0;
        sa::LastResponse = 0;
        Work work;
        work.start();
        TimedWork<Work> timed(work, batches);
        sa::run_progress_window(timed, window);
        done = true;
    }, 25000);
    if (thread == 0) {
        state.SkipWithError("the procedure did not start");
        return;
    }
    {
        // Ticks before the window's opened event has been handled run no batch.
        ui::LockRelease unlocked;
        const std::int64_t give_up = now_ns() + 5000000000LL;
        while (!g_pass_opened && !done && now_ns() < give_up)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        hl::wait_until_idle(5000);
    }
    // A tick is over when its batch has run and the window has been redisplayed:
    // the display can look idle while the procedure's thread has been woken for
    // the timer but not yet taken it. The tick in which the last batch runs is
    // left out of the figures: in it the window closes and the thread ends, and
    // the display's idle wait runs into its timeout.
    std::int64_t ticks_without_batch = 0;
    double closing_tick_ms = 0;
    while (!done) {
        const std::int64_t w = now_ns(), c = process_cpu_ns(), before = g_batches_run;
        {
            ui::LockRelease unlocked;
            hl::advance_clock(kTickMs);
            const std::int64_t give_up = now_ns() + 5000000000LL;
            while (g_batches_run == before && !done && !g_pass_closing && now_ns() < give_up)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            while (!done && !g_pass_closing && !hl::wait_until_idle(5) && now_ns() < give_up) {
            }
        }
        if (g_pass_closing) {
            closing_tick_ms += (now_ns() - w) / 1e6;
            continue;
        }
        if (g_batches_run == before) {
            ++ticks_without_batch;
            if (std::getenv("TRANSFER_BENCH_DEBUG"))
                std::printf("tick %zu ran no batch (%.1f ms)\n", tick_wall.size(), (now_ns() - w) / 1e6);
        }
        tick_wall.push_back((now_ns() - w) / 1e6);
        tick_cpu.push_back((process_cpu_ns() - c) / 1e6);
    }
    const double pass_cpu = (process_cpu_ns() - c0) / 1e9, pass_wall = (g_closing_ns - w0) / 1e9;
    {
        ui::LockRelease unlocked;
        ui::wait_for_threads();
    }
    if (fail_on_messages(state))
        return;
    if (sa::LastResponse != sa::ResponseDone) {
        state.SkipWithError("the procedure did not complete");
        return;
    }
    batches.report(state, what);
    const double ticks = static_cast<double>(tick_wall.size()) + 1;  // with the closing tick
    // With a real timer a tick that takes longer than the interval delays the
    // next one; the pass then takes the longer of the two for every tick.
    double real_timer_s = kTickMs / 1000.0;  // the closing tick
    for (double t : tick_wall)
        real_timer_s += std::max(t, static_cast<double>(kTickMs)) / 1000.0;
    std::printf("  ticks           %.0f (%lld without a batch; the closing tick %.0f ms): wall per tick mean %.3f ms  p99 %.3f  max %.3f;"
                " program CPU per tick mean %.3f ms  p99 %.3f\n"
                "  whole pass      %.2f s CPU, %.2f s wall to the last batch; at the timer's rate (%llu ms a tick) %.1f s,"
                " %.1f s with the ticks that overran\n",
                ticks, static_cast<long long>(ticks_without_batch), closing_tick_ms, BatchFigures::mean(tick_wall),
                BatchFigures::quantile(tick_wall, 0.99), BatchFigures::quantile(tick_wall, 1.0),
                BatchFigures::mean(tick_cpu), BatchFigures::quantile(tick_cpu, 0.99), pass_cpu, pass_wall,
                static_cast<unsigned long long>(kTickMs), ticks * kTickMs / 1000.0, real_timer_s);
    state.counters["real_timer_s"] = real_timer_s;
    state.counters["ticks"] = ticks;
    state.counters["pass_cpu_s"] = pass_cpu;
    state.counters["pass_wall_s"] = pass_wall;
    state.counters["timer_rate_s"] = ticks * kTickMs / 1000.0;
}

void BM_ExportProcedureTicks(benchmark::State& state)
{
    const std::string& directory = export_directory();
    for (auto _ : state) {
        enter_program_directory(directory);
        g_messages.clear();
        // As ExportHTMLAll runs it.
        run_procedure_ticks<sa::HtmlExport>(state, {"LKDB32$lkdb3013", "EXPORTHTMLALL$PROGRESSWINDOW"},
                                            "Export through its progress window, 100,000 sites");
    }
}
BENCHMARK(BM_ExportProcedureTicks)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ImportProcedureTicks(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        const std::string& input = bookmark_input();
        enter_program_directory(make_dir("import"));
        sa::set_fixed(sa::ExportFileName, input);
        g_messages.clear();
        state.ResumeTiming();
        // As ImportHTML runs it once the file and no category are chosen.
        run_procedure_ticks<sa::ImportHtml>(state, {"LKDB32$lkdb3017", "IMPORTHTML$PROGRESSWINDOW"},
                                            "HTML import through its progress window, 5 MB");
    }
}
BENCHMARK(BM_ImportProcedureTicks)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    char templ[] = "/tmp/sk-transfer-bench-XXXXXX";
    if (::mkdtemp(templ) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    g_dir = templ;
    ::setenv("XDG_CONFIG_HOME", g_dir.c_str(), 1);  // window positions stay in the bench's directory
    sk::rt::set_runtime_errors_fatal(false);
    sk::rt::set_message_presenter([](const sk::rt::MessageRequest& request) {
        g_messages.push_back(std::string(request.caption) + ": " + std::string(request.text));
        return sk::rt::kButtonOk;
    });
    sp::set_file_fault_hook(&flush_observer, nullptr);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sp::set_file_fault_hook(nullptr, nullptr);
    sp::set_current_directory("/");
    std::filesystem::remove_all(g_dir);
    return 0;
}
