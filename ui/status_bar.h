// Status bars: the zones of a window's status-zone list laid out along a bar at
// the bottom of its client area, each with its own text, and the first zone also
// showing the message of the focused control or highlighted menu item.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display/font.h"
#include "platform/display/message.h"
#include "ui/definition.h"

namespace sk::ui {

inline constexpr int kZoneSpacing = 2;   // border spacing added to each zone
inline constexpr int kStatusMargin = 2;  // left margin of the bar

// Pixel widths of the zones for a bar width: each declared width's absolute value
// in dialog units (the scale's horizontal conversion) plus the spacing; what is left
// of the bar goes evenly to the stretchable (negative) zones, one more pixel to each
// of the first (rest mod count) of them.
std::vector<int> layout_status_zones(const std::vector<std::int32_t>& declared, const UnitScale& scale, int bar_width);

struct StatusZone {
    std::int32_t declared = 0;
    int pixels = 0;
    std::string text;
};

class StatusBar {
public:
    StatusBar(sk::platform::display::WindowId parent, const std::vector<std::int32_t>& zones, const UnitScale& scale,
              std::shared_ptr<const sk::platform::display::Font> font);
    ~StatusBar();
    StatusBar(const StatusBar&) = delete;
    StatusBar& operator=(const StatusBar&) = delete;

    sk::platform::display::WindowId window() const { return m_window; }
    int height() const;
    // Follows the parent's client area.
    void layout();
    void paint();

    // Out-of-range indexes are ignored.
    void set_zone_text(int index, std::string_view text);
    // The first zone shows text while it is not empty; empty brings the zone's own
    // text back.
    void show_message(std::string_view text);
    const std::vector<StatusZone>& zones() const { return m_zones; }
    const std::string& message() const { return m_message; }
    // What zone 0 shows now.
    const std::string& first_zone_text() const { return m_message.empty() ? m_zones[0].text : m_message; }

private:
    sk::platform::display::WindowId m_parent = 0, m_window = 0;
    std::vector<StatusZone> m_zones;
    UnitScale m_scale;
    std::shared_ptr<const sk::platform::display::Font> m_font;
    std::string m_message;
};

}  // namespace sk::ui
