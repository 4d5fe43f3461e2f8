// Formatting throughput through precompiled pictures: a two-digit number and a
// sixty-character string, the two shapes every browse list column goes through.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "runtime/picture.h"

namespace {

using sk::rt::CompiledPicture;

void BM_FormatNumberN2(benchmark::State& state) {
    CompiledPicture pic;
    sk::rt::compile_picture("@N2", &pic);
    char out[2];
    double value = 0;
    for (auto _ : state) {
        sk::rt::format_number(pic, value, out, sizeof out);
        benchmark::DoNotOptimize(out);
        value = value >= 99 ? 0 : value + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatNumberN2);

void BM_FormatTextS60(benchmark::State& state) {
    CompiledPicture pic;
    sk::rt::compile_picture("@S60", &pic);
    const std::string texts[4] = {"http://www.example.org/", std::string(80, 'x'), "",
                                  "A description of a site that is about sixty characters long"};
    char out[60];
    unsigned i = 0;
    for (auto _ : state) {
        sk::rt::format_text(pic, texts[i++ & 3], out, sizeof out);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatTextS60);

void BM_FormatNumberN12_2(benchmark::State& state) {
    CompiledPicture pic;
    sk::rt::compile_picture("@N-12.2", &pic);
    char out[12];
    double value = -5000.125;
    for (auto _ : state) {
        sk::rt::format_number(pic, value, out, sizeof out);
        benchmark::DoNotOptimize(out);
        value += 1.37;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatNumberN12_2);

void BM_FormatDateD2(benchmark::State& state) {
    CompiledPicture pic;
    sk::rt::compile_picture("@D2", &pic);
    char out[10];
    double value = 4;
    for (auto _ : state) {
        sk::rt::format_number(pic, value, out, sizeof out);
        benchmark::DoNotOptimize(out);
        value = value >= 109211 ? 4 : value + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatDateD2);

}  // namespace

BENCHMARK_MAIN();
