// The 32-bit pixel surface.
#include "platform/display/surface.h"

#include <algorithm>
#include <cstring>

namespace sk::platform::display {

Surface::Surface(int width, int height, Color fill) {
    resize(width, height, fill);
}

void Surface::resize(int width, int height, Color fill) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == m_width && height == m_height) return;
    std::vector<Color> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
    int keep_w = std::min(width, m_width);
    int keep_h = std::min(height, m_height);
    for (int y = 0; y < keep_h; ++y) {
        std::memcpy(pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width), row(y),
                    static_cast<std::size_t>(keep_w) * sizeof(Color));
    }
    m_pixels.swap(pixels);
    m_width = width;
    m_height = height;
}

Color Surface::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return 0;
    return row(y)[x];
}

void Surface::set_pixel(int x, int y, Color c) {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
    row(y)[x] = c;
}

void Surface::fill(const Rect& r, Color c) {
    Rect clipped = r.intersect(bounds());
    for (int y = clipped.top; y < clipped.bottom; ++y) {
        std::fill(row(y) + clipped.left, row(y) + clipped.right, c);
    }
}

void Surface::copy_from(const Surface& src, const Rect& from, Point to) {
    Rect source = from.intersect(src.bounds());
    // Shift the destination by however much the source was clipped.
    Point dest{to.x + (source.left - from.left), to.y + (source.top - from.top)};
    Rect target = Rect::from_size(dest.x, dest.y, source.width(), source.height()).intersect(bounds());
    if (target.is_empty()) return;
    int sx = source.left + (target.left - dest.x);
    int sy = source.top + (target.top - dest.y);
    for (int y = 0; y < target.height(); ++y) {
        std::memmove(row(target.top + y) + target.left, src.row(sy + y) + sx,
                     static_cast<std::size_t>(target.width()) * sizeof(Color));
    }
}

}  // namespace sk::platform::display
