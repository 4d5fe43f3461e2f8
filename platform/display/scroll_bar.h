// Standard scroll bars: a vertical bar at the right and a horizontal bar at the
// bottom of a window's non-client area, shown on demand.
//
// Clicks and drags on a bar post kMsgScroll to the window's thread: wparam the
// ScrollAction, lparam the thumb position for kScrollThumbTrack and
// kScrollThumbPosition (the current position otherwise), flags 0 for the
// horizontal bar and 1 for the vertical bar. The bar never moves its own thumb:
// the window sets the position it wants shown.
#pragma once

#include <cstdint>

#include "platform/display/message.h"

namespace sk::platform::display {

enum class ScrollBarKind : std::uint32_t { kHorizontal = 0, kVertical = 1 };

enum ScrollAction : std::uint32_t {
    kScrollLineUp = 0,         // arrow button; left for the horizontal bar
    kScrollLineDown = 1,
    kScrollPageUp = 2,         // the track above (left of) the thumb
    kScrollPageDown = 3,
    kScrollThumbPosition = 4,  // the thumb was released at lparam
    kScrollThumbTrack = 5,     // the thumb is being dragged, now at lparam
    kScrollTop = 6,
    kScrollBottom = 7,
    kScrollEndScroll = 8,      // the mouse button was released
};

// Showing or hiding a bar changes the client area (posts kMsgSize).
bool show_scroll_bar(WindowId window, ScrollBarKind bar, bool shown);
bool scroll_bar_shown(WindowId window, ScrollBarKind bar);
// Range and position; the position is clamped into the range.
bool set_scroll_range(WindowId window, ScrollBarKind bar, int minimum, int maximum);
bool set_scroll_position(WindowId window, ScrollBarKind bar, int position);
int scroll_position(WindowId window, ScrollBarKind bar);
bool scroll_range(WindowId window, ScrollBarKind bar, int* minimum, int* maximum);
// The thumb's size as a share of the range (0 for the default square thumb).
bool set_scroll_page(WindowId window, ScrollBarKind bar, int page);

}  // namespace sk::platform::display
