// Non-client areas drawn by the window manager: borders, the caption with its title
// and the close, maximise and minimise boxes; and where a point of the frame lies.
#include <algorithm>

#include "platform/display/window_manager.h"

namespace sk::platform::display::detail {

namespace {

constexpr int kButtonWidth = 16;
constexpr int kButtonHeight = 14;

int frame_width(std::uint32_t style) {
    if (style & kStyleSizable) return 4;
    if (style & kStyleDialogFrame) return 3;
    if (style & kStyleBorder) return 1;
    return 0;
}

const Font* caption_font(bool small) {
    static std::shared_ptr<const Font> normal = open_font(FontSpec{"MS Sans Serif", 8, 700});
    static std::shared_ptr<const Font> tool = open_font(FontSpec{"MS Sans Serif", 7, 700});
    return small ? tool.get() : normal.get();
}

// The glyph of a caption button, drawn in black on the button face.
void draw_button_glyph(Painter& p, const Rect& b, FramePart part, bool maximized) {
    Color ink = system_color(SystemColor::kButtonText);
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
        p.fill_rect(Rect::from_size(cx - 4, cy + 2, 6, 2), ink);
        break;
    case FramePart::kMaximizeBox:
        if (maximized) {
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

}  // namespace

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
    case FramePart::kCloseBox: return has_close ? close : Rect{};
    case FramePart::kMaximizeBox: return has_size_boxes ? max : Rect{};
    case FramePart::kMinimizeBox: return has_size_boxes ? min : Rect{};
    default: return Rect{};
    }
}

FramePart frame_part(const WindowRec& w, Point p) {
    if (!Rect{0, 0, w.rect.width(), w.rect.height()}.contains(p)) return FramePart::kNone;
    if (client_in_window(w).contains(p) && w.size_state != kSizeMinimized) return FramePart::kClient;
    for (FramePart part : {FramePart::kCloseBox, FramePart::kMaximizeBox, FramePart::kMinimizeBox}) {
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
        bool active = state().active == w.handle;
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
        for (FramePart part : {FramePart::kMinimizeBox, FramePart::kMaximizeBox, FramePart::kCloseBox}) {
            Rect b = frame_button_rect(w, part);
            if (b.is_empty()) continue;
            text_right = std::min(text_right, b.left - 2);
            p.fill_rect(b, face);
            p.draw_edge(b, Edge::kRaised);
            draw_button_glyph(p, b, part, w.size_state == kSizeMaximized);
        }
        if (const Font* font = caption_font((style & kStyleToolWindow) != 0)) {
            Color ink = system_color(active ? SystemColor::kCaptionText : SystemColor::kInactiveCaptionText);
            p.draw_text(Rect{cap.left + 4, cap.top, text_right, cap.bottom}, w.text, *font, ink,
                        kTextVCenter | kTextSingleLine | kTextEndEllipsis);
        }
    }
    if (style & kStyleClientEdge) {
        Rect c = client_in_window(w);
        p.draw_edge(c.inset(-2, -2), Edge::kSunken);
    }
}

}  // namespace sk::platform::display::detail
