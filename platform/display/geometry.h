// Points, sizes, rectangles and colours shared by the display layer.
//
// Rectangles are half-open: they cover x in [left, right) and y in [top, bottom).
#pragma once

#include <algorithm>
#include <cstdint>

namespace sk::platform::display {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    static Rect from_size(int x, int y, int width, int height) { return Rect{x, y, x + width, y + height}; }

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool is_empty() const { return right <= left || bottom <= top; }
    Point origin() const { return Point{left, top}; }
    bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }

    Rect offset(int dx, int dy) const { return Rect{left + dx, top + dy, right + dx, bottom + dy}; }
    Rect inset(int dx, int dy) const { return Rect{left + dx, top + dy, right - dx, bottom - dy}; }

    // The empty result is normalised to all zeroes so that empty rectangles compare equal.
    Rect intersect(const Rect& o) const {
        Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
        return r.is_empty() ? Rect{} : r;
    }
    // Smallest rectangle holding both; an empty operand does not count.
    Rect unite(const Rect& o) const {
        if (is_empty()) return o.is_empty() ? Rect{} : o;
        if (o.is_empty()) return *this;
        return Rect{std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// 0xAARRGGBB; the display layer keeps alpha at FFh and ignores it when composing.
using Color = std::uint32_t;

constexpr Color rgb(unsigned r, unsigned g, unsigned b) {
    return 0xFF000000u | ((r & 0xFFu) << 16) | ((g & 0xFFu) << 8) | (b & 0xFFu);
}
constexpr unsigned red_of(Color c) { return (c >> 16) & 0xFFu; }
constexpr unsigned green_of(Color c) { return (c >> 8) & 0xFFu; }
constexpr unsigned blue_of(Color c) { return c & 0xFFu; }

}  // namespace sk::platform::display
