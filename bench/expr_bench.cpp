// Filter evaluation speed: the browse's category filter over two bound 15-byte
// STRING variables, compiled once and evaluated per candidate record.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "runtime/bind.h"
#include "runtime/expr.h"

// Every heap allocation of the program is counted, so that the benchmark can
// report how many an evaluation makes (the filter shape should make none). The
// replacement pairs malloc with free, which GCC cannot see through.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<std::size_t> g_allocations{0};
}

void* operator new(std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

char g_category[15];
char g_selected[15];

void bind_filter_names() {
    sk::rt::reset_all_scopes();
    std::memcpy(g_category, "Science        ", 15);
    std::memcpy(g_selected, "sCIENCE        ", 15);
    sk::rt::bind_name("URL:Category", sk::rt::bound_string(g_category, 15));
    sk::rt::bind_name("BRW1::Sort2:Reset:CAT:Category", sk::rt::bound_string(g_selected, 15));
}

void BM_CategoryFilter(benchmark::State& state) {
    bind_filter_names();
    sk::rt::ExprTree filter =
        sk::rt::compile_whole_expression("UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)");
    if (!filter) {
        state.SkipWithError("filter did not compile");
        return;
    }
    std::size_t matches = 0;
    sk::rt::evaluate_truth(filter.get());  // the scratch buffers grow once
    std::size_t allocations_before = g_allocations.load();
    for (auto _ : state) {
        // Alternate the record's category so that both outcomes are measured.
        g_category[0] = (state.iterations() & 1) ? 'S' : 'X';
        matches += sk::rt::evaluate_truth(filter.get()) ? 1 : 0;
        benchmark::ClobberMemory();
    }
    std::size_t allocations = g_allocations.load() - allocations_before;
    benchmark::DoNotOptimize(matches);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.counters["allocs_per_eval"] =
        static_cast<double>(allocations) / static_cast<double>(state.iterations() ? state.iterations() : 1);
}
BENCHMARK(BM_CategoryFilter);

void BM_CompileCategoryFilter(benchmark::State& state) {
    bind_filter_names();
    for (auto _ : state) {
        sk::rt::ExprTree filter =
            sk::rt::compile_whole_expression("UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)");
        benchmark::DoNotOptimize(filter.get());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_CompileCategoryFilter);

void BM_ArithmeticFilter(benchmark::State& state) {
    sk::rt::reset_all_scopes();
    std::int32_t rating = 7;
    sk::rt::bind_name("Rating", sk::rt::bound_long(&rating));
    sk::rt::ExprTree filter = sk::rt::compile_whole_expression("Rating * 2 + 1 >= 10 AND Rating < 100");
    for (auto _ : state) {
        benchmark::DoNotOptimize(sk::rt::evaluate_truth(filter.get()));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ArithmeticFilter);

}  // namespace

BENCHMARK_MAIN();
