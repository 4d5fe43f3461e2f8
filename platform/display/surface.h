// A 32-bit pixel surface: the retained image of a window and the composed screen.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/display/geometry.h"

namespace sk::platform::display {

class Surface {
public:
    Surface() = default;
    Surface(int width, int height, Color fill = rgb(0, 0, 0));

    int width() const { return m_width; }
    int height() const { return m_height; }
    Rect bounds() const { return Rect{0, 0, m_width, m_height}; }
    bool is_empty() const { return m_width <= 0 || m_height <= 0; }

    // Resizes to width x height; the pixels that stay inside keep their value, new ones get fill.
    void resize(int width, int height, Color fill);

    Color pixel(int x, int y) const;  // 0 outside the surface
    void set_pixel(int x, int y, Color c);
    Color* row(int y) { return m_pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width); }
    const Color* row(int y) const {
        return m_pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
    }

    void fill(const Rect& r, Color c);  // r is clipped to the surface
    // Copies the pixels of src's rectangle from to this surface at to, clipped on both sides.
    void copy_from(const Surface& src, const Rect& from, Point to);

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<Color> m_pixels;
};

}  // namespace sk::platform::display
