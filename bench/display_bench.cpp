// Display benchmarks on the headless backend: composing a full-screen repaint of a
// frame with MDI children, a menu bar and scroll bars; and drawing 1,000 lines of
// text into a window.
#include <benchmark/benchmark.h>

#include <string>

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

}  // namespace

BENCHMARK_MAIN();
