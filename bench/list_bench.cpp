// Painting one page of the site browse: 40 rows of five columns, each cell
// formatted through its picture, on the headless display.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "platform/display/display.h"
#include "runtime/bind.h"
#include "ui/controls/list_control.h"

namespace {

namespace d = sk::platform::display;
using namespace sk::ui;

struct Row {
    char description[60], location[128], category[15];
    unsigned char rating[2];
    char keyword[10];
};

class BenchHost : public ControlHost {
public:
    WindowId client = 0;
    UnitScale scale{16, 16, 8, 8, 16};
    std::shared_ptr<const d::Font> font;
    WindowId client_window() const override { return client; }
    const UnitScale& unit_scale() const override { return scale; }
    std::shared_ptr<const d::Font> window_font() const override { return font; }
    void post_event(std::int32_t, std::uint16_t) override {}
    bool deliver_now(std::int32_t, std::uint16_t) override { return false; }
    void show_message(std::string_view) override {}
    void focus_next(std::int32_t, bool) override {}
};

void PaintBrowsePage(benchmark::State& state) {
    d::open_display(d::Backend::kHeadless, d::Size{1024, 900});
    BenchHost host;
    d::WindowSpec s;
    s.rect = d::Rect::from_size(0, 0, 1000, 860);
    s.visible = true;
    host.client = d::create_window(s);
    host.font = d::open_font(d::FontSpec{});
    sk::data::Queue page(sizeof(Row));
    for (int i = 0; i < 40; ++i) {
        Row r;
        std::memset(&r, ' ', sizeof r);
        std::string text = "Site number " + std::to_string(i);
        std::memcpy(r.description, text.data(), text.size());
        std::memcpy(r.location, "http://www.example.org/some/path", 32);
        std::memcpy(r.category, "Reference", 9);
        r.rating[0] = 0, r.rating[1] = static_cast<unsigned char>(i % 10);
        std::memcpy(r.keyword, "bench", 5);
        page.add(&r);
    }
    RowSource rows{&page,
                   {{0, sk::rt::kTypeString, 60, 0},
                    {60, sk::rt::kTypeString, 128, 0},
                    {188, sk::rt::kTypeString, 15, 0},
                    {203, sk::rt::kTypeDecimal, 2, 0},
                    {205, sk::rt::kTypeString, 10, 0}}};
    ControlDefinition def;
    def.kind = kKindList;
    def.field = 1;
    def.flags = 0x803;
    def.format = "107L|M~Description~@S60@89L|M~Location~@S60@60L|M~Category~@S15@25L|M~Rating~@N2@40L|M~Keyword~@s10@";
    def.row_source = Binding{25};
    {
        ListControl list(host, def, VariableRef{}, VariableRef{&rows, 25}, PixelRect{0, 0, 960, 800});
        list.display();
        list.set_selected(5);
        state.counters["rows_per_page"] = list.rows_per_page();
        d::Message paint;
        paint.code = d::kMsgPaint;
        paint.window = list.window();
        for (auto _ : state) {
            d::invalidate(list.window());
            list.handle_message(paint);
        }
    }
    d::close_display();
}
BENCHMARK(PaintBrowsePage)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
