// Message boxes: layout, painting, keyboard and mouse, and the runtime's presenter.
#include "ui/message_box.h"

#include <algorithm>

#include "platform/display/display.h"
#include "runtime/halt.h"
#include "ui/dialog_loop.h"
#include "ui/window.h"

namespace sk::ui {

namespace pd = sk::platform::display;

namespace {

struct ButtonKind {
    int value;
    const char* caption;
    int identifier;
};

// Table order is the order on screen.
constexpr ButtonKind kButtons[] = {
    {kBoxOk, "OK", 1},           {kBoxYes, "&Yes", 6},         {kBoxNo, "&No", 7},
    {kBoxAbort, "&Abort", 3},    {kBoxRetry, "&Retry", 4},     {kBoxIgnore, "&Ignore", 5},
    {kBoxCancel, "Cancel", 2},   {kBoxHelp, "&Help", 9},
};

constexpr int kIconSize = 32;

std::shared_ptr<const pd::Font> box_font() {
    // The newer look: "MS Sans Serif" 8 at normal weight.
    pd::FontSpec spec;
    spec.face = "MS Sans Serif";
    spec.point_size = 8;
    spec.weight = 400;
    return pd::open_font(spec);
}

void fill_disc(pd::Painter& p, const pd::Rect& r, pd::Color c) {
    const int cx2 = r.left + r.right - 1, cy2 = r.top + r.bottom - 1;  // twice the centre
    const int rad2 = r.width() * r.width();
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const int dx = 2 * x - cx2, dy = 2 * y - cy2;
            if (dx * dx + dy * dy <= rad2) p.set_pixel(pd::Point{x, y}, c);
        }
}

void draw_icon(pd::Painter& p, const pd::Rect& r, BoxIcon icon, const pd::Font& font) {
    const pd::Color white = pd::rgb(0xFF, 0xFF, 0xFF), black = pd::rgb(0, 0, 0);
    pd::FontSpec bold;
    bold.face = "MS Sans Serif";
    bold.point_size = 14;
    bold.weight = 700;
    std::shared_ptr<const pd::Font> big = pd::open_font(bold);
    const pd::Font& glyphs = big ? *big : font;
    switch (icon) {
    case BoxIcon::kStop:
        fill_disc(p, r, pd::rgb(0xD0, 0x10, 0x10));
        for (int i = 9; i < 23; ++i) {
            for (int t = 0; t < 3; ++t) {
                p.set_pixel(pd::Point{r.left + i + t - 1, r.top + i}, white);
                p.set_pixel(pd::Point{r.left + 31 - i - t + 1, r.top + i}, white);
            }
        }
        break;
    case BoxIcon::kQuestion:
    case BoxIcon::kInformation:
        fill_disc(p, r, pd::rgb(0x20, 0x40, 0xC0));
        p.draw_text(r, icon == BoxIcon::kQuestion ? "?" : "i", glyphs, white,
                    pd::kTextCenter | pd::kTextVCenter | pd::kTextSingleLine);
        break;
    case BoxIcon::kExclamation:
        for (int y = 2; y < 30; ++y) {
            const int half = (y - 2) * 14 / 28;
            p.fill_rect(pd::Rect{r.left + 16 - half - 1, r.top + y, r.left + 16 + half + 1, r.top + y + 1},
                        pd::rgb(0xF0, 0xD0, 0x20));
        }
        p.draw_text(pd::Rect{r.left, r.top + 6, r.right, r.bottom}, "!", glyphs, black,
                    pd::kTextCenter | pd::kTextVCenter | pd::kTextSingleLine);
        break;
    case BoxIcon::kNone:
        break;
    }
}

class MessageBoxDialog {
public:
    MessageBoxDialog(std::string_view text, std::string_view caption, BoxIcon icon, int buttons, int defaults)
        : m_text(text), m_caption(caption), m_icon(icon) {
        m_font = box_font();
        if (m_font) m_layout = layout_message_box(*m_font, text, buttons, defaults, icon != BoxIcon::kNone);
        m_focus = m_layout.default_index;
    }

    int run(int style) {
        if (!m_font) return 0;
        const WindowId owner = dialog_owner();
        const WindowId had_focus = pd::focus_window();
        const std::uint32_t frame_style = pd::kStyleDialogFrame | pd::kStyleCaption | pd::kStyleSysMenu;
        m_box = create_centred_dialog(owner, m_caption, frame_style, m_layout.client);
        if (!m_box) return 0;
        for (BoxButton& b : m_layout.buttons) {
            pd::WindowSpec bs;
            bs.kind = pd::WindowKind::kChild;
            bs.parent = m_box;
            bs.rect = b.rect;
            bs.text = b.caption;
            bs.identifier = static_cast<std::uint32_t>(b.identifier);
            bs.visible = true;
            bs.style = pd::kStyleNoFocus;
            bs.background = pd::system_color(pd::SystemColor::kButtonFace);
            m_button_windows.push_back(pd::create_window(bs));
        }
        // Every other window waits; a system-modal box asks no more of this program.
        (void)style;
        run_modal_dialog(m_box, owner, had_focus, [this](const pd::Message& m) { handle(m); },
                         [this] { return m_done; });
        return button_value_of(m_result);
    }

private:
    int button_at(WindowId w) const {
        for (std::size_t i = 0; i < m_button_windows.size(); ++i)
            if (m_button_windows[i] == w) return static_cast<int>(i);
        return -1;
    }

    void finish(int index) {
        if (index < 0 || index >= static_cast<int>(m_layout.buttons.size())) return;
        m_result = m_layout.buttons[index].identifier;
        m_done = true;
    }

    // Escape and the close box answer Cancel when the box has it, and OK when OK
    // is its only button; otherwise they do nothing.
    void cancel() {
        for (std::size_t i = 0; i < m_layout.buttons.size(); ++i)
            if (m_layout.buttons[i].value == kBoxCancel) return finish(static_cast<int>(i));
        if (m_layout.buttons.size() == 1 && m_layout.buttons[0].value == kBoxOk) finish(0);
    }

    void set_focus_index(int index) {
        const int n = static_cast<int>(m_layout.buttons.size());
        if (n == 0) return;
        m_focus = (index % n + n) % n;
        for (WindowId w : m_button_windows) pd::invalidate(w);
    }

    void handle(const pd::Message& m) {
        switch (m.code) {
        case pd::kMsgPaint:
            paint(m.window);
            break;
        case pd::kMsgClose:
            cancel();
            break;
        case pd::kMsgLButtonDown:
            m_pressed = button_at(m.window);
            if (m_pressed >= 0) {
                set_focus_index(m_pressed);
                pd::set_capture(m.window);
            }
            break;
        case pd::kMsgLButtonUp: {
            const int at = m_pressed;
            m_pressed = -1;
            pd::release_capture();
            if (at >= 0 && pd::client_rect(m_button_windows[at]).contains(m.pos)) finish(at);
            break;
        }
        case pd::kMsgKeyDown: key(static_cast<std::uint32_t>(m.wparam), m.modifiers); break;
        case pd::kMsgChar: mnemonic(static_cast<char32_t>(m.wparam)); break;
        default: break;
        }
    }

    void key(std::uint32_t vk, std::uint32_t mods) {
        switch (vk) {
        case pd::kVkTab: set_focus_index(m_focus + ((mods & pd::kModShift) ? -1 : 1)); break;
        case pd::kVkRight:
        case pd::kVkDown: set_focus_index(m_focus + 1); break;
        case pd::kVkLeft:
        case pd::kVkUp: set_focus_index(m_focus - 1); break;
        case pd::kVkReturn:
        case pd::kVkSpace: finish(m_focus); break;
        case pd::kVkEscape: cancel(); break;
        default:
            if ((mods & pd::kModAlt) && vk >= pd::kVkA && vk <= pd::kVkZ) mnemonic(vk - pd::kVkA + 'a');
            break;
        }
    }

    void mnemonic(char32_t c) {
        if (c >= 'A' && c <= 'Z') c = c - 'A' + 'a';
        for (std::size_t i = 0; i < m_layout.buttons.size(); ++i) {
            const std::string& t = m_layout.buttons[i].caption;
            const std::size_t amp = t.find('&');
            if (amp == std::string::npos || amp + 1 >= t.size()) continue;
            char k = t[amp + 1];
            if (k >= 'A' && k <= 'Z') k = k - 'A' + 'a';
            if (static_cast<char32_t>(static_cast<unsigned char>(k)) == c) return finish(static_cast<int>(i));
        }
    }

    void paint(WindowId w) {
        pd::PaintSession s = pd::begin_paint(w);
        if (!s.is_valid()) return;
        pd::Painter& p = s.painter();
        const pd::Rect c = pd::client_rect(w);
        const pd::Color face = pd::system_color(pd::SystemColor::kButtonFace);
        const pd::Color ink = pd::system_color(pd::SystemColor::kButtonText);
        p.fill_rect(c, face);
        if (w == m_box) {
            if (m_icon != BoxIcon::kNone) draw_icon(p, m_layout.icon, m_icon, *m_font);
            p.draw_text(m_layout.text, m_text, *m_font, ink, pd::kTextWordBreak | pd::kTextLeft);
            return;
        }
        const int i = button_at(w);
        if (i < 0) return;
        // The focused button is the one Enter presses.
        paint_dialog_button(p, c, m_layout.buttons[i].caption, *m_font, i == m_focus, m_pressed == i, i == m_focus);
    }

    std::string m_text, m_caption;
    BoxIcon m_icon;
    std::shared_ptr<const pd::Font> m_font;
    MessageBoxLayout m_layout;
    WindowId m_box = 0;
    std::vector<WindowId> m_button_windows;
    int m_focus = 0;
    int m_pressed = -1;
    int m_result = 0;
    bool m_done = false;
};

}  // namespace

BoxIcon box_icon(int style, std::string_view icon_name) {
    switch (style & kBoxIconMask) {
    case kBoxIconStop: return BoxIcon::kStop;
    case kBoxIconQuestion: return BoxIcon::kQuestion;
    case kBoxIconExclamation: return BoxIcon::kExclamation;
    case kBoxIconInformation: return BoxIcon::kInformation;
    case kBoxIconNamed:
        if (icon_name.size() >= 4 && static_cast<unsigned char>(icon_name[0]) == 0xFF &&
            static_cast<unsigned char>(icon_name[1]) == 0x01) {
            const int n = static_cast<unsigned char>(icon_name[2]) | (static_cast<unsigned char>(icon_name[3]) << 8);
            switch (n - 1) {
            case 32513: return BoxIcon::kStop;
            case 32514: return BoxIcon::kQuestion;
            case 32515: return BoxIcon::kExclamation;
            case 32516: return BoxIcon::kInformation;
            default: return BoxIcon::kNone;
            }
        }
        return BoxIcon::kNone;
    default:
        return BoxIcon::kNone;
    }
}

int button_value_of(int identifier) {
    for (const ButtonKind& k : kButtons)
        if (k.identifier == identifier) return k.value;
    return 0;
}

MessageBoxLayout layout_message_box(const pd::Font& font, std::string_view text, int buttons, int default_buttons,
                                    bool has_icon) {
    MessageBoxLayout L;
    static constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    L.unit_x = (font.text_width(kLetters) / 26 + 1) / 2;
    L.unit_y = font.metrics().height;
    const auto dx = [&](int n) { return n * L.unit_x / 4; };
    const auto dy = [&](int n) { return n * L.unit_y / 8; };

    const int wrap = dx(200);
    const pd::Size measured = pd::measure_text(font, text, pd::kTextWordBreak, wrap);
    const int text_w = std::min(wrap, measured.width);
    const int text_h = measured.height + 10;
    const int margin = dx(5);
    const int text_x = margin + (has_icon ? kIconSize + dx(5) : 0);
    const int top = dy(5);
    const int area_h = std::max(dy(45), text_h);
    L.text = pd::Rect{text_x, top, text_x + text_w, top + text_h};
    if (has_icon) {
        const int iy = top + std::max(0, (text_h - kIconSize) / 2);
        L.icon = pd::Rect::from_size(margin, iy, kIconSize, kIconSize);
    }

    if (buttons == 0) buttons = kBoxOk;
    for (const ButtonKind& k : kButtons)
        if (buttons & k.value) L.buttons.push_back(BoxButton{k.value, k.identifier, k.caption, {}});
    const int n = static_cast<int>(L.buttons.size());
    const int bw = dx(50), bh = dy(14), gap = dx(5);
    const int row_w = n * bw + (n - 1) * gap;
    // A row wider than the text's room widens the box to the row and 10 units.
    int client_w = text_x + text_w + margin;
    if (row_w + dx(10) > client_w) client_w = row_w + dx(10);
    const int by = top + area_h;
    int x = (client_w - row_w) / 2;
    for (BoxButton& b : L.buttons) {
        b.rect = pd::Rect::from_size(x, by, bw, bh);
        x += bw + gap;
    }
    L.client = pd::Size{client_w, by + bh + dy(5)};
    // The default: the last shown button in the default set, else the first shown.
    L.default_index = 0;
    for (int i = 0; i < n; ++i)
        if (default_buttons & L.buttons[i].value) L.default_index = i;
    return L;
}

int message_box(std::string_view text, std::string_view caption, std::string_view icon_name, int buttons,
                int default_button, int style) {
    if (!pd::is_display_open()) return 0;
    MessageBoxDialog box(text, caption, box_icon(style, icon_name), buttons, default_button);
    return box.run(style);
}

void install_message_presenter() {
    sk::rt::set_message_presenter([](const sk::rt::MessageRequest& r) {
        int style = 0;
        switch (r.icon) {
        case sk::rt::kIconError: style = kBoxIconStop; break;
        case sk::rt::kIconQuestion: style = kBoxIconQuestion; break;
        case sk::rt::kIconExclamation: style = kBoxIconExclamation; break;
        case sk::rt::kIconAsterisk: style = kBoxIconInformation; break;
        default: break;
        }
        return message_box(r.text, r.caption, {}, r.buttons, r.default_button, style);
    });
}

}  // namespace sk::ui
