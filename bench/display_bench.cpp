// Display benchmarks on the headless backend: composing a full-screen repaint of a
// frame with MDI children, a menu bar and scroll bars; drawing text into a window,
// as long lines and as the short runs of list cells; and the time a message posted
// by one thread takes to wake another thread waiting on its queue.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "platform/display/mdi.h"
#include "platform/display/menu.h"
#include "platform/display/scroll_bar.h"

using namespace sk::platform::display;

namespace {

constexpr std::uint32_t kFramed = kStyleSizable | kStyleCaption | kStyleSysMenu | kStyleMinimizeBox | kStyleMaximizeBox;

struct Scene {
    WindowId frame = 0, client = 0;
    Scene() {
        open_display(Backend::kHeadless, Size{1024, 768});
        WindowSpec s;
        s.rect = Rect::from_size(0, 0, 1024, 768);
        s.text = "Sitekeeper";
        s.style = kFramed;
        s.visible = true;
        frame = create_window(s);
        MenuId bar = create_menu();
        for (const char* t : {"&File", "&Browse", "&Help"}) append_menu_entry(bar, MenuEntry{0, t, 0, create_menu()});
        set_window_menu(frame, bar);
        client = create_mdi_client(frame);
        for (int i = 0; i < 4; ++i) {
            WindowSpec c;
            c.kind = WindowKind::kChild;
            c.parent = client;
            c.rect = Rect::from_size(30 * i, 30 * i, 500, 350);
            c.text = "Browse " + std::to_string(i);
            c.style = kFramed;
            c.visible = true;
            WindowId w = create_window(c);
            show_scroll_bar(w, ScrollBarKind::kVertical, true);
            set_scroll_range(w, ScrollBarKind::kVertical, 0, 100);
        }
        set_active_window(frame);
        Message m;
        while (peek_message(m, true)) {
            if (m.code == kMsgPaint) begin_paint(m.window);
        }
    }
    ~Scene() { close_display(); }
};

void BM_ComposeFullScreen(benchmark::State& state) {
    Scene scene;
    for (auto _ : state) {
        // Moving the frame by nothing still damages the whole screen through its rectangle.
        invalidate(scene.frame);
        set_window_text(scene.frame, "Sitekeeper");  // repaints the caption and damages the frame
        Surface screen = headless::screen_image();
        benchmark::DoNotOptimize(screen.pixel(512, 384));
    }
}
BENCHMARK(BM_ComposeFullScreen)->Unit(benchmark::kMillisecond);

// 1,000 lines of 70 characters, each one a full line of a text view.
void BM_DrawThousandLines(benchmark::State& state) {
    Scene scene;
    auto font = open_font(FontSpec{"MS Sans Serif", 8});
    std::string line = "http://www.example.org/sites/index.html  Caf\xC3\xA9 - a site worth keeping";
    for (auto _ : state) {
        PaintSession p = begin_draw(scene.client, Rect{0, 0, 1000, 700});
        int h = font->metrics().height;
        for (int i = 0; i < 1000; ++i) p.painter().draw_text_run(Point{4, (i * h) % 700}, line, *font, rgb(0, 0, 0));
        p.end();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_DrawThousandLines)->Unit(benchmark::kMillisecond);

// The cells of a site list: 10 to 20 characters each, as a browse page shows them.
std::vector<std::string> list_cells() {
    const char* const descriptions[] = {"Sitekeeper home", "Weather today", "Caf\xC3\xA9 guide", "Train times",
                                        "Recipes to try", "Local library"};
    const char* const locations[] = {"www.example.org", "news.example.com", "ftp.example.net/pub",
                                     "example.org/a.html"};
    const char* const categories[] = {"Reference", "News and media", "Shopping list", "Travel plans"};
    std::vector<std::string> cells;
    for (int row = 0; row < 40; ++row) {
        cells.emplace_back(descriptions[row % 6]);
        cells.emplace_back(locations[row % 4]);
        cells.emplace_back(categories[row % 4]);
        cells.push_back("Rating " + std::to_string(row % 10) + " of 9");
        cells.push_back("2026-12-" + std::to_string(10 + row % 20) + " 09:41");
    }
    return cells;
}

// Draws 1,000 cells five columns across, 200 rows of list height down from top.
void draw_thousand_cells(Painter& p, const Font& font, const std::vector<std::string>& cells, int rows = 200) {
    int h = font.metrics().height + 2;
    for (int i = 0; i < 1000; ++i) {
        const std::string& text = cells[static_cast<std::size_t>(i) % cells.size()];
        int column = i % 5, row = (i / 5) % rows;
        p.draw_text_run(Point{4 + 200 * column, row * h}, text, font, rgb(0, 0, 0));
    }
}

// 1,000 short runs, each on the plain background of its own cell, as a list paints
// them after filling its rows. The background is put back between iterations outside
// the timing, so every iteration draws on a plain ground.
void BM_DrawThousandShortRuns(benchmark::State& state) {
    auto font = open_font(FontSpec{"MS Sans Serif", 8});
    std::vector<std::string> cells = list_cells();
    Surface plain(1000, 200 * (font->metrics().height + 2), rgb(0xFF, 0xFF, 0xFF));
    Surface surface = plain;
    Painter painter(surface, Point{0, 0}, surface.bounds());
    draw_thousand_cells(painter, *font, cells);  // warms the glyph cache
    for (auto _ : state) {
        state.PauseTiming();
        surface = plain;  // same size: the pixels are copied into the same buffer
        state.ResumeTiming();
        draw_thousand_cells(painter, *font, cells);
        benchmark::DoNotOptimize(surface.pixel(10, 5));
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_DrawThousandShortRuns)->Unit(benchmark::kMillisecond);

// The same runs drawn 40 rows down, five times over each other: most glyph pixels
// land on ink already there instead of a plain background.
void BM_DrawThousandShortRunsOverText(benchmark::State& state) {
    auto font = open_font(FontSpec{"MS Sans Serif", 8});
    std::vector<std::string> cells = list_cells();
    Surface surface(1000, 40 * (font->metrics().height + 2), rgb(0xFF, 0xFF, 0xFF));
    Painter painter(surface, Point{0, 0}, surface.bounds());
    draw_thousand_cells(painter, *font, cells, 40);
    for (auto _ : state) {
        draw_thousand_cells(painter, *font, cells, 40);
        benchmark::DoNotOptimize(surface.pixel(10, 5));
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_DrawThousandShortRunsOverText)->Unit(benchmark::kMillisecond);

// Thread A owns a window and waits in get_message; thread B, once A is blocked, reads
// the clock and posts. The latency is from that reading to A's own reading just
// after get_message returned. Reported as the iteration time, and as percentiles.
void BM_PostToWakeup(benchmark::State& state) {
    open_display(Backend::kHeadless, Size{640, 480});
    using Clock = std::chrono::steady_clock;
    std::atomic<WindowId> window{0};
    std::atomic<std::int64_t> woke_at{0};  // nanoseconds since the clock's epoch; 0 = not yet
    std::thread waiter([&] {
        WindowSpec s;
        s.rect = Rect::from_size(0, 0, 100, 100);
        window.store(create_window(s));  // hidden: never asks for paint
        Message m;
        while (get_message(m)) {
            if (m.code != kMsgPrivateFirst + 1) continue;
            woke_at.store(Clock::now().time_since_epoch().count());
            if (m.wparam == 1) break;
        }
    });
    while (window.load() == 0) std::this_thread::yield();

    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(state.max_iterations));
    Message m;
    m.code = static_cast<MessageCode>(kMsgPrivateFirst + 1);
    m.window = window.load();
    headless::wait_until_idle();  // A is inside its wait and has released the lock
    for (auto _ : state) {
        woke_at.store(0);
        std::int64_t posted_at = Clock::now().time_since_epoch().count();
        post_message(m);
        // Idle again means A took the message, noted the time and waits once more; B
        // blocks meanwhile instead of spinning, so that it does not take A's core.
        headless::wait_until_idle();
        std::int64_t t = woke_at.load();
        double seconds = static_cast<double>(t - posted_at) * 1e-9;
        latencies.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    m.wparam = 1;
    post_message(m);
    waiter.join();
    close_display();

    std::sort(latencies.begin(), latencies.end());
    auto percentile = [&](double p) {
        if (latencies.empty()) return 0.0;
        std::size_t i = std::min(latencies.size() - 1, static_cast<std::size_t>(p * static_cast<double>(latencies.size())));
        return latencies[i] * 1e6;
    };
    state.counters["p50_us"] = percentile(0.50);
    state.counters["p90_us"] = percentile(0.90);
    state.counters["p99_us"] = percentile(0.99);
    state.counters["max_us"] = latencies.empty() ? 0.0 : latencies.back() * 1e6;
}
BENCHMARK(BM_PostToWakeup)->UseManualTime()->Iterations(5000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
