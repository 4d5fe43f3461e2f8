// Non-client areas drawn by the window manager: borders, the caption with its title
// and the close, maximise and minimise boxes; and where a point of the frame lies.
#include <algorithm>

#include "platform/display/menu_layout.h"
#include "platform/display/window_manager.h"

namespace sk::platform::display::detail {

namespace {

constexpr int kButtonWidth = 16;
constexpr int kButtonHeight = 14;

int frame_width(std::uint32_t style) {
    return frame_thickness(style);
}

const Font* caption_font(bool small) {
    static std::shared_ptr<const Font> normal = open_font(FontSpec{"MS Sans Serif", 8, 700});
    static std::shared_ptr<const Font> tool = open_font(FontSpec{"MS Sans Serif", 7, 700});
    return small ? tool.get() : normal.get();
}

// The small window drawn in a system box.
void draw_window_icon(Painter& p, const Rect& b) {
    Rect r = Rect::from_size(b.left + (b.width() - 14) / 2, b.top + (b.height() - 12) / 2, 14, 12);
    p.fill_rect(r, system_color(SystemColor::kWindow));
    p.frame_rect(r, system_color(SystemColor::kWindowFrame));
    p.fill_rect(Rect{r.left + 1, r.top + 1, r.right - 1, r.top + 4}, system_color(SystemColor::kActiveCaption));
}

// The glyph of a caption button, drawn in ink on the button face. With restores set,
// the maximise or minimise box shows Restore: it is the box of a window already in
// that state, and a click on it restores the window.
void draw_glyph_in(Painter& p, const Rect& b, FramePart part, bool restores, Color ink) {
    int cx = b.left + (b.width() - 1) / 2;
    int cy = b.top + (b.height() - 1) / 2;
    switch (part) {
    case FramePart::kCloseBox:
        // A two-pixel-wide cross.
        for (int i = -3; i <= 3; ++i) {
            p.fill_rect(Rect::from_size(cx + i - 1, cy + i, 2, 1), ink);
            p.fill_rect(Rect::from_size(cx + i - 1, cy - i, 2, 1), ink);
        }
        break;
    case FramePart::kMinimizeBox:
        if (!restores) {
            p.fill_rect(Rect::from_size(cx - 4, cy + 2, 6, 2), ink);
            break;
        }
        [[fallthrough]];
    case FramePart::kMaximizeBox:
        if (restores) {
            // Restore: two overlapping windows.
            p.frame_rect(Rect::from_size(cx - 2, cy - 4, 7, 6), ink);
            p.fill_rect(Rect::from_size(cx - 2, cy - 3, 7, 1), ink);
            p.fill_rect(Rect::from_size(cx - 5, cy - 1, 7, 6), system_color(SystemColor::kButtonFace));
            p.frame_rect(Rect::from_size(cx - 5, cy - 1, 7, 6), ink);
            p.fill_rect(Rect::from_size(cx - 5, cy, 7, 1), ink);
        } else {
            p.frame_rect(Rect::from_size(cx - 4, cy - 4, 9, 8), ink);
            p.fill_rect(Rect::from_size(cx - 4, cy - 3, 9, 1), ink);
        }
        break;
    default:
        break;
    }
}

// A glyph in black, or for a box that does nothing, greyed with a light shadow.
void draw_button_glyph(Painter& p, const Rect& b, FramePart part, bool restores, bool enabled = true) {
    if (enabled) {
        draw_glyph_in(p, b, part, restores, system_color(SystemColor::kButtonText));
        return;
    }
    draw_glyph_in(p, b.offset(1, 1), part, restores, system_color(SystemColor::kButtonHighlight));
    draw_glyph_in(p, b, part, restores, system_color(SystemColor::kGrayText));
}

}  // namespace

bool frame_box_enabled(const WindowRec& w, FramePart part) {
    // A window already in the box's state can always be restored with it.
    if (part == FramePart::kMaximizeBox) return (w.style & kStyleMaximizeBox) || w.size_state == kSizeMaximized;
    if (part == FramePart::kMinimizeBox) return (w.style & kStyleMinimizeBox) || w.size_state == kSizeMinimized;
    return true;
}

int frame_thickness(std::uint32_t style) {
    if (style & kStyleSizable) return 4;
    if (style & kStyleDialogFrame) return 3;
    if (style & kStyleBorder) return 1;
    return 0;
}

void draw_caption_button(Painter& p, const Rect& b, FramePart part, bool restores) {
    if (part == FramePart::kSysMenuBox) {
        draw_window_icon(p, b);
        return;
    }
    p.fill_rect(b, system_color(SystemColor::kButtonFace));
    p.draw_edge(b, Edge::kRaised);
    draw_button_glyph(p, b, part, restores);
}

NonClientLayout nonclient_layout(const WindowRec& w) {
    NonClientLayout out;
    int width = w.rect.width(), height = w.rect.height();
    int f = frame_thickness(w.style);
    int y = f;
    if (w.style & kStyleCaption) {
        out.caption = caption_rect(w);
        y += (w.style & kStyleToolWindow) ? 15 : 18;
    }
    int bar = menu_bar_height(w);
    if (bar > 0) {
        out.menu_bar = Rect{f, y, std::max(f, width - f), y + bar};
        y += bar;
    }
    Rect inner{f, y, width - f, height - f};
    if (w.style & kStyleClientEdge) inner = inner.inset(2, 2);
    inner.right = std::max(inner.right, inner.left);
    inner.bottom = std::max(inner.bottom, inner.top);
    constexpr int kBar = 16;
    bool v = w.vscroll.shown, h = w.hscroll.shown;
    if (v) {
        out.vscroll = Rect{std::max(inner.left, inner.right - kBar), inner.top, inner.right,
                           std::max(inner.top, inner.bottom - (h ? kBar : 0))};
        inner.right = out.vscroll.left;
    }
    if (h) {
        out.hscroll = Rect{inner.left, std::max(inner.top, inner.bottom - kBar), inner.right, inner.bottom};
        inner.bottom = out.hscroll.top;
    }
    if (v && h) out.size_box = Rect{out.vscroll.left, out.hscroll.top, out.vscroll.right, out.hscroll.bottom};
    out.client = inner;
    return out;
}

unsigned sizing_edges(const WindowRec& w, Point p) {
    if (!(w.style & kStyleSizable) || w.size_state != kSizeRestored) return 0;
    int width = w.rect.width(), height = w.rect.height();
    int f = frame_thickness(w.style);
    if (!Rect{0, 0, width, height}.contains(p) || Rect{f, f, width - f, height - f}.contains(p)) return 0;
    // Corners reach along the edges as far as a caption is high.
    constexpr int kCorner = 18 + 4;
    unsigned edges = 0;
    if (p.x < kCorner) edges |= kEdgeLeft;
    if (p.x >= width - kCorner) edges |= kEdgeRight;
    if (p.y < kCorner) edges |= kEdgeTop;
    if (p.y >= height - kCorner) edges |= kEdgeBottom;
    // On a straight stretch of one edge only that edge moves.
    bool on_left = p.x < f, on_right = p.x >= width - f, on_top = p.y < f, on_bottom = p.y >= height - f;
    if ((on_left || on_right) && !(edges & (kEdgeTop | kEdgeBottom))) edges &= kEdgeLeft | kEdgeRight;
    if ((on_top || on_bottom) && !(edges & (kEdgeLeft | kEdgeRight))) edges &= kEdgeTop | kEdgeBottom;
    if (on_left) edges = (edges & ~kEdgeRight) | kEdgeLeft;
    if (on_right) edges = (edges & ~kEdgeLeft) | kEdgeRight;
    if (on_top) edges = (edges & ~kEdgeBottom) | kEdgeTop;
    if (on_bottom) edges = (edges & ~kEdgeTop) | kEdgeBottom;
    return edges;
}

Cursor cursor_for_edges(unsigned edges) {
    bool h = edges & (kEdgeLeft | kEdgeRight), v = edges & (kEdgeTop | kEdgeBottom);
    if (h && v) {
        bool nwse = (edges & kEdgeLeft) ? (edges & kEdgeTop) != 0 : (edges & kEdgeBottom) != 0;
        return nwse ? Cursor::kSizeNWSE : Cursor::kSizeNESW;
    }
    if (h) return Cursor::kSizeWE;
    if (v) return Cursor::kSizeNS;
    return Cursor::kArrow;
}

Rect caption_rect(const WindowRec& w) {
    if (!(w.style & kStyleCaption)) return Rect{};
    int f = frame_width(w.style);
    int h = (w.style & kStyleToolWindow) ? 15 : 18;
    return Rect{f, f, std::max(f, w.rect.width() - f), f + h - 1};  // the last row separates caption and client
}

Rect frame_button_rect(const WindowRec& w, FramePart part) {
    Rect cap = caption_rect(w);
    if (cap.is_empty()) return Rect{};
    int bh = std::min(kButtonHeight, cap.height() - 4);
    int bw = (w.style & kStyleToolWindow) ? bh + 1 : kButtonWidth;
    int top = cap.top + (cap.height() - bh) / 2;
    int right = cap.right - 2;
    bool has_close = (w.style & kStyleSysMenu) != 0;
    bool has_size_boxes = has_close && (w.style & (kStyleMinimizeBox | kStyleMaximizeBox)) != 0;
    Rect close = Rect::from_size(right - bw, top, bw, bh);
    Rect max = Rect::from_size(close.left - 2 - bw, top, bw, bh);
    Rect min = Rect::from_size(max.left - bw, top, bw, bh);
    switch (part) {
    case FramePart::kSysMenuBox:
        if (!has_close || (w.style & kStyleToolWindow)) return Rect{};
        return Rect::from_size(cap.left + 1, cap.top + (cap.height() - 16) / 2, 16, 16);
    case FramePart::kCloseBox: return has_close ? close : Rect{};
    case FramePart::kMaximizeBox: return has_size_boxes ? max : Rect{};
    case FramePart::kMinimizeBox: return has_size_boxes ? min : Rect{};
    default: return Rect{};
    }
}

FramePart frame_part(const WindowRec& w, Point p) {
    if (!Rect{0, 0, w.rect.width(), w.rect.height()}.contains(p)) return FramePart::kNone;
    NonClientLayout nc = nonclient_layout(w);
    if (w.size_state != kSizeMinimized) {
        if (nc.client.contains(p)) return FramePart::kClient;
        if (nc.menu_bar.contains(p)) return FramePart::kMenuBar;
        if (nc.vscroll.contains(p)) return FramePart::kVScroll;
        if (nc.hscroll.contains(p)) return FramePart::kHScroll;
        if (nc.size_box.contains(p)) return FramePart::kSizeBox;
    }
    for (FramePart part : {FramePart::kCloseBox, FramePart::kMaximizeBox, FramePart::kMinimizeBox, FramePart::kSysMenuBox}) {
        if (frame_button_rect(w, part).contains(p)) return part;
    }
    if (caption_rect(w).contains(p)) return FramePart::kCaption;
    return frame_width(w.style) > 0 ? FramePart::kBorder : FramePart::kClient;
}

void paint_frame(WindowRec& w) {
    if (w.surface.is_empty()) return;
    std::uint32_t style = w.style;
    Rect outer{0, 0, w.rect.width(), w.rect.height()};
    Painter p(w.surface, Point{0, 0}, outer);
    Color face = system_color(SystemColor::kButtonFace);
    if (style & kStyleSizable) {
        p.draw_edge(outer, Edge::kRaised);
        p.frame_rect(outer.inset(2, 2), face, 2);
    } else if (style & kStyleDialogFrame) {
        p.draw_edge(outer, Edge::kRaised);
        p.frame_rect(outer.inset(2, 2), face, 1);
    } else if (style & kStyleBorder) {
        p.frame_rect(outer, system_color(SystemColor::kWindowFrame));
    }
    Rect cap = caption_rect(w);
    if (!cap.is_empty()) {
        bool active = w.kind == WindowKind::kChild ? mdi_child_active(w) : state().active == w.handle;
        Color from = system_color(active ? SystemColor::kActiveCaption : SystemColor::kInactiveCaption);
        Color to = system_color(active ? SystemColor::kActiveCaptionGradient : SystemColor::kInactiveCaptionGradient);
        // Left-to-right gradient, one column at a time.
        int n = std::max(1, cap.width() - 1);
        for (int x = cap.left; x < cap.right; ++x) {
            int t = x - cap.left;
            unsigned r = (red_of(from) * static_cast<unsigned>(n - t) + red_of(to) * static_cast<unsigned>(t)) / static_cast<unsigned>(n);
            unsigned g = (green_of(from) * static_cast<unsigned>(n - t) + green_of(to) * static_cast<unsigned>(t)) / static_cast<unsigned>(n);
            unsigned b = (blue_of(from) * static_cast<unsigned>(n - t) + blue_of(to) * static_cast<unsigned>(t)) / static_cast<unsigned>(n);
            p.fill_rect(Rect{x, cap.top, x + 1, cap.bottom}, rgb(r, g, b));
        }
        p.fill_rect(Rect{cap.left, cap.bottom, cap.right, cap.bottom + 1}, face);
        int text_right = cap.right - 2;
        int text_left = cap.left + 4;
        Rect sys = frame_button_rect(w, FramePart::kSysMenuBox);
        if (!sys.is_empty()) {
            // The keyboard walk of the menu bar stopping on this window's own system menu
            // shows the box pressed, so that the stop can be seen before the menu drops.
            const MenuTrack& t = state().track;
            if (t.active && t.bar_window == w.handle && t.bar_index == kBarFrameSysMenu) {
                p.fill_rect(sys, face);
                p.draw_edge(sys, Edge::kSunken);
            }
            draw_caption_button(p, sys, FramePart::kSysMenuBox, false);
            text_left = sys.right + 3;
        }
        for (FramePart part : {FramePart::kMinimizeBox, FramePart::kMaximizeBox, FramePart::kCloseBox}) {
            Rect b = frame_button_rect(w, part);
            if (b.is_empty()) continue;
            text_right = std::min(text_right, b.left - 2);
            p.fill_rect(b, face);
            p.draw_edge(b, Edge::kRaised);
            bool restores = (part == FramePart::kMaximizeBox && w.size_state == kSizeMaximized) ||
                            (part == FramePart::kMinimizeBox && w.size_state == kSizeMinimized);
            // The boxes come as a pair; one the window does not have is drawn greyed.
            draw_button_glyph(p, b, part, restores, frame_box_enabled(w, part));
        }
        if (const Font* font = caption_font((style & kStyleToolWindow) != 0)) {
            Color ink = system_color(active ? SystemColor::kCaptionText : SystemColor::kInactiveCaptionText);
            p.draw_text(Rect{text_left, cap.top, text_right, cap.bottom}, caption_text_locked(w), *font, ink,
                        kTextVCenter | kTextSingleLine | kTextEndEllipsis);
        }
    }
    if (w.size_state == kSizeMinimized) return;
    NonClientLayout nc = nonclient_layout(w);
    if (!nc.menu_bar.is_empty()) paint_menu_bar(w, p, nc.menu_bar);
    if (style & kStyleClientEdge) {
        Rect inside = nc.client;
        inside.right = std::max({inside.right, nc.vscroll.right, nc.size_box.right});
        inside.bottom = std::max({inside.bottom, nc.hscroll.bottom, nc.size_box.bottom});
        p.draw_edge(inside.inset(-2, -2), Edge::kSunken);
    }
    paint_scroll_bars(w, p, nc);
}

}  // namespace sk::platform::display::detail
