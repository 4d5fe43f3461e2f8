// ASCII driver throughput: NEXT over a 100 MB file of 80-byte lines with quick
// scan on, against `wc -l` on the same file in the same run, and ADD of one
// million 80-byte lines.
//
// The comparison is printed first (best of three passes each, file in the page
// cache), then the Google Benchmark cases run.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "data/ascii/ascii_driver.h"
#include "data/file_layer.h"
#include "runtime/error.h"

namespace {

namespace data = sk::data;

constexpr std::size_t kLineBytes = 80;  // 78 characters and CR LF
constexpr std::size_t kFileBytes = 100u * 1024 * 1024;
constexpr std::size_t kAddLines = 1000000;

std::string g_dir;
std::string g_input;

struct LineFile {
    LineFile(const std::string& path, std::uint32_t record_length) : name(path), record(record_length, ' ') {
        fields = data::FieldStreamBuilder().string(0, "ASC:LINE", record_length).bytes();
        fcb.entry = &sk::ascii::ascii_entry;
        fcb.name = name.data();
        fcb.name_length = std::uint32_t(name.size());
        fcb.attributes = data::kAttrCreate;
        fcb.record_length = record_length;
        fcb.fields = fields.data();
        fcb.record = record.data();
    }
    ~LineFile() {
        if (fcb.state) data::close(&fcb);
    }
    std::string name;
    std::vector<char> record;
    std::vector<std::uint8_t> fields;
    data::FileControlBlock fcb;
};

void make_input() {
    std::string line(kLineBytes - 2, 'x');
    line += "\r\n";
    FILE* f = std::fopen(g_input.c_str(), "wb");
    if (!f) std::abort();
    for (std::size_t written = 0; written < kFileBytes; written += kLineBytes) {
        std::snprintf(line.data(), 12, "%010zu", written / kLineBytes);
        line[10] = ' ';
        std::fwrite(line.data(), 1, line.size(), f);
    }
    std::fclose(f);
}

// Reads every line; returns the number of records. options: SEND texts after OPEN.
std::size_t scan(const std::vector<const char*>& options) {
    LineFile f(g_input, 128);
    if (data::open(&f.fcb, 0x20) != 0) std::abort();
    for (const char* o : options) data::send(&f.fcb, o);
    data::set(&f.fcb);
    std::size_t n = 0;
    while (data::next(&f.fcb) == 0) ++n;
    return n;
}

double seconds_of(const std::function<void()>& work) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

void run_wc() {
    std::string command = "wc -l '" + g_input + "' > /dev/null";
    if (std::system(command.c_str()) != 0) std::abort();
}

void add_lines(std::size_t count, unsigned mode) {
    std::string path = g_dir + "/added.txt";
    LineFile f(path, 78);
    data::create(&f.fcb);
    if (data::open(&f.fcb, mode) != 0) std::abort();
    std::memset(f.record.data(), 'y', f.record.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (data::add(&f.fcb) != 0) std::abort();
    }
    if (data::close(&f.fcb) != 0) std::abort();
    // Every line must have reached the file: 78 characters and CR LF each.
    if (std::filesystem::file_size(path) != count * kLineBytes) std::abort();
}

void print_comparison() {
    std::size_t lines = 0;
    double wc = seconds_of(run_wc);
    double quick = seconds_of([&] { lines = scan({"QUICKSCAN=ON"}); });
    double big = seconds_of([&] { lines = scan({"QUICKSCAN=ON", "FILEBUFFERS=128"}); });
    double add = seconds_of([] { add_lines(kAddLines, 0x22); });
    std::printf("input: %zu bytes, %zu lines of %zu bytes\n", kFileBytes, lines, kLineBytes);
    std::printf("wc -l                                 %8.3f s\n", wc);
    std::printf("NEXT, QUICKSCAN=ON (1 KiB buffer)     %8.3f s   speed %.2f of wc -l\n", quick, wc / quick);
    std::printf("NEXT, QUICKSCAN=ON, FILEBUFFERS=128   %8.3f s   speed %.2f of wc -l\n", big, wc / big);
    std::printf("ADD of %zu lines of %zu bytes (0x22)  %8.3f s   %.0f lines/s\n", kAddLines, kLineBytes, add,
                double(kAddLines) / add);
    std::fflush(stdout);
}

void BM_WcLines(benchmark::State& state) {
    for (auto _ : state) run_wc();
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kFileBytes));
}

void BM_NextQuickScan(benchmark::State& state) {
    std::vector<const char*> options = {"QUICKSCAN=ON"};
    if (state.range(0) > 0) options.push_back("FILEBUFFERS=128");
    for (auto _ : state) benchmark::DoNotOptimize(scan(options));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kFileBytes));
}

void BM_NextShared(benchmark::State& state) {
    for (auto _ : state) {
        LineFile f(g_input, 128);
        data::open(&f.fcb, 0x40);  // deny none: quick scan off, the size asked before every read
        data::set(&f.fcb);
        std::size_t n = 0;
        while (data::next(&f.fcb) == 0) ++n;
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kFileBytes));
}

void BM_AddMillionLines(benchmark::State& state) {
    for (auto _ : state) add_lines(kAddLines, unsigned(state.range(0)));
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(kAddLines));
}

BENCHMARK(BM_WcLines)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_NextQuickScan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_NextShared)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AddMillionLines)->Arg(0x22)->Arg(0x42)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    char tmpl[] = "/tmp/sk-asciibench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return 1;
    g_dir = tmpl;
    g_input = g_dir + "/lines.txt";
    make_input();
    print_comparison();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(g_dir);
    return 0;
}
