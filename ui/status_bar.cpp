// Status bar layout and painting.
#include "ui/status_bar.h"

#include <cstdlib>

#include "platform/display/display.h"

namespace sk::ui {

namespace pd = sk::platform::display;

std::vector<int> layout_status_zones(const std::vector<std::int32_t>& declared, const UnitScale& scale, int bar_width) {
    std::vector<int> widths;
    int sum = kStatusMargin;
    int stretchable = 0;
    for (std::int32_t d : declared) {
        if (d == 0) break;  // the list's end
        const int w = to_pixels(scale, true, std::abs(d)) + kZoneSpacing;
        widths.push_back(w);
        sum += w;
        if (d < 0) ++stretchable;
    }
    if (sum < bar_width && stretchable > 0) {
        const int extra = bar_width - sum;
        int first = extra % stretchable;
        for (std::size_t i = 0; i < widths.size(); ++i) {
            if (declared[i] >= 0) continue;
            widths[i] += extra / stretchable + (first > 0 ? 1 : 0);
            if (first > 0) --first;
        }
    }
    return widths;
}

StatusBar::StatusBar(pd::WindowId parent, const std::vector<std::int32_t>& zones, const UnitScale& scale,
                     std::shared_ptr<const pd::Font> font)
    : m_parent(parent), m_scale(scale), m_font(std::move(font)) {
    for (std::int32_t d : zones) {
        if (d == 0) break;
        m_zones.push_back(StatusZone{d, 0, {}});
    }
    if (m_zones.empty()) m_zones.push_back(StatusZone{-1, 0, {}});
    pd::WindowSpec spec;
    spec.kind = pd::WindowKind::kChild;
    spec.parent = parent;
    spec.visible = true;
    spec.style = pd::kStyleNoFocus;
    spec.background = pd::system_color(pd::SystemColor::kButtonFace);
    m_window = pd::create_window(spec);
    layout();
}

StatusBar::~StatusBar() {
    if (m_window && pd::is_window(m_window)) pd::destroy_window(m_window);
}

int StatusBar::height() const { return (m_font ? m_font->metrics().height : 13) + 8; }

void StatusBar::layout() {
    const pd::Rect c = pd::client_rect(m_parent);
    pd::move_window(m_window, pd::Rect{0, c.bottom - height(), c.right, c.bottom});
    std::vector<std::int32_t> declared;
    for (const StatusZone& z : m_zones) declared.push_back(z.declared);
    const std::vector<int> widths = layout_status_zones(declared, m_scale, c.width());
    for (std::size_t i = 0; i < m_zones.size() && i < widths.size(); ++i) m_zones[i].pixels = widths[i];
    pd::invalidate(m_window);
}

void StatusBar::paint() {
    pd::PaintSession s = pd::begin_paint(m_window);
    if (!s.is_valid()) return;
    pd::Painter& p = s.painter();
    const pd::Rect c = pd::client_rect(m_window);
    p.fill_rect(c, pd::system_color(pd::SystemColor::kButtonFace));
    p.draw_line(pd::Point{0, 0}, pd::Point{c.right - 1, 0}, pd::system_color(pd::SystemColor::kButtonHighlight));
    int x = kStatusMargin;
    for (std::size_t i = 0; i < m_zones.size(); ++i) {
        const int w = m_zones[i].pixels;
        const pd::Rect zone{x, 3, x + w - kZoneSpacing, c.bottom - 2};
        p.draw_edge(zone, pd::Edge::kSunkenThin);
        const std::string& text = i == 0 ? first_zone_text() : m_zones[i].text;
        if (m_font && !text.empty())
            p.draw_text(zone.inset(3, 1), text, *m_font, pd::system_color(pd::SystemColor::kButtonText),
                        pd::kTextVCenter | pd::kTextSingleLine | pd::kTextEndEllipsis);
        x += w;
    }
}

void StatusBar::set_zone_text(int index, std::string_view text) {
    if (index < 0 || index >= static_cast<int>(m_zones.size())) return;
    m_zones[index].text = text;
    pd::invalidate(m_window);
}

void StatusBar::show_message(std::string_view text) {
    m_message = text;
    pd::invalidate(m_window);
}

}  // namespace sk::ui
