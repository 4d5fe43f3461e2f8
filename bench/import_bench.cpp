// Import scanning throughput over a 50 MB text file of mixed lines (prose,
// mail headers, HTML links, quoted list lines; about one line in three holds an
// address): the three line scanners over the lines in memory, and the other-text
// import's read path, ImportFile read line by line through the file layer with
// QUICKSCAN on and every line scanned (the sites are counted, not stored).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/dictionary.h"
#include "app/import_ascii.h"
#include "app/import_html.h"
#include "app/import_text.h"
#include "data/file_layer.h"
#include "runtime/error.h"

namespace {

namespace sa = sk::app;
namespace sd = sk::data;

constexpr std::size_t kFileBytes = 50u * 1024 * 1024;

std::string g_dir;
std::string g_path;
std::vector<std::string> g_lines;

const char* const kShapes[] = {
    "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt ut labore",
    "From: someone@example.org (Some One)  Subject: see http://www.example.com/path/page%d.htm today",
    "<DT><A HREF=\"http://site%d.example/dir/index.html\" ADD_DATE=\"938\">Site number %d</A>",
    "\"ftp://ftp%d.example.net/pub/file.tgz\",\"Files\",\"mirror list\"",
    "  an ordinary line of notes, nothing to find here, only words and a comma or two, and blanks",
    "<p>Read <a href=\"news://news.example.net/group%d\">the group</a> and gopher://g.example/1</p>",
};

void make_input()
{
    char templ[] = "/tmp/sk-import-bench-XXXXXX";
    if (::mkdtemp(templ) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    g_dir = templ;
    g_path = g_dir + "/input.txt";
    std::ofstream out(g_path, std::ios::binary);
    std::size_t bytes = 0;
    char line[512];
    for (int i = 0; bytes < kFileBytes; ++i) {
        std::snprintf(line, sizeof line, kShapes[i % std::size(kShapes)], i, i);
        g_lines.emplace_back(line);
        out << line << "\r\n";
        bytes += std::strlen(line) + 2;
    }
}

void BM_ScanTextLines(benchmark::State& state)
{
    std::size_t found = 0;
    for (auto _ : state)
        for (const std::string& line : g_lines)
            found += sa::scan_text_line(line).size();
    benchmark::DoNotOptimize(found);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}
BENCHMARK(BM_ScanTextLines)->Unit(benchmark::kMillisecond);

void BM_ScanHtmlLines(benchmark::State& state)
{
    std::size_t found = 0;
    std::vector<sa::HtmlLink> links;
    std::string heading;
    for (auto _ : state)
        for (const std::string& line : g_lines) {
            links.clear();
            sa::scan_html_line(line, &heading, &links);
            found += links.size();
        }
    benchmark::DoNotOptimize(found);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}
BENCHMARK(BM_ScanHtmlLines)->Unit(benchmark::kMillisecond);

void BM_ScanAsciiListLines(benchmark::State& state)
{
    std::size_t found = 0;
    for (auto _ : state)
        for (const std::string& line : g_lines)
            found += sa::scan_ascii_list_line(line).has_value();
    benchmark::DoNotOptimize(found);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}
BENCHMARK(BM_ScanAsciiListLines)->Unit(benchmark::kMillisecond);

// The read path of the other-text import: OPEN as the import does (42h), then
// QUICKSCAN on, SET, NEXT and BYTES for every line, each line scanned.
void BM_ReadAndScanFile(benchmark::State& state)
{
    sa::set_fixed(sa::ExportFileName, g_path);
    std::size_t found = 0;
    for (auto _ : state) {
        sd::open(&sa::ImportFile, sa::kSharedReadWrite);
        if (sk::rt::error_code() != 0) {
            state.SkipWithError("open failed");
            return;
        }
        sd::send(&sa::ImportFile, "QUICKSCAN=on");
        sd::set(&sa::ImportFile);
        std::int64_t bytes = 0;
        while (sd::next(&sa::ImportFile) == 0) {
            bytes += sd::bytes(&sa::ImportFile);
            found += sa::scan_text_line(
                         sa::import_line())
                         .size();
        }
        sd::close(&sa::ImportFile);
        benchmark::DoNotOptimize(bytes);
    }
    benchmark::DoNotOptimize(found);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}
BENCHMARK(BM_ReadAndScanFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    make_input();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(g_dir);
    return 0;
}
