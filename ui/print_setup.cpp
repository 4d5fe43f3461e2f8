// The printer set-up: its model (the rows on offer and the choice they make) and
// the dialog the engine draws for it.
#include "ui/print_setup.h"

#include <algorithm>
#include <mutex>

#include "platform/display/display.h"
#include "ui/dialog_loop.h"
#include "ui/thread.h"

namespace sk::ui {

namespace pd = sk::platform::display;
namespace pp = sk::platform::print;
using sk::platform::display::WindowId;

namespace {

std::mutex g_profile_mutex;
std::string g_profile_file;  // empty: the choice lives for the process only

std::string profile_file() {
    std::lock_guard<std::mutex> lock(g_profile_mutex);
    return g_profile_file;
}

}  // namespace

PrintSetupModel::PrintSetupModel(const pp::SpoolerStatus& spooler, const pp::PrinterChoice& current)
    : paper(current.paper), m_spooler_installed(spooler.installed) {
    using Kind = PrintSetupEntry::Kind;
    if (spooler.installed) {
        if (spooler.default_printer)
            m_entries.push_back({Kind::kDefaultPrinter, {}, "Default printer (" + *spooler.default_printer + ")"});
        for (const std::string& p : spooler.printers) m_entries.push_back({Kind::kPrinter, p, p});
    }
    m_entries.push_back({Kind::kPdfFile, {}, "Save as a PDF file"});
    const auto find = [&](Kind kind, std::string_view printer) {
        for (std::size_t i = 0; i < m_entries.size(); ++i)
            if (m_entries[i].kind == kind && m_entries[i].printer == printer) return static_cast<int>(i);
        return -1;
    };
    int at = -1;
    if (current.to_pdf_file) at = find(Kind::kPdfFile, {});
    else if (!current.printer.empty()) at = find(Kind::kPrinter, current.printer);
    // Otherwise, or when the chosen printer is gone: what printing does now, the
    // default printer when there is one, else the PDF file.
    if (at < 0) at = find(Kind::kDefaultPrinter, {});
    if (at < 0) at = find(Kind::kPdfFile, {});
    m_selected = at;
}

void PrintSetupModel::select(int index) {
    m_selected = std::clamp(index, 0, static_cast<int>(m_entries.size()) - 1);
}

std::string PrintSetupModel::note() const {
    if (!m_spooler_installed) return "No print spooler is installed.\nDocuments are saved as PDF files.";
    if (m_entries.size() == 1) return "No printer is set up.\nDocuments are saved as PDF files.";
    const PrintSetupEntry& e = m_entries[m_selected];
    switch (e.kind) {
    case PrintSetupEntry::Kind::kPdfFile: return "Documents are saved as PDF files in\n" + pp::default_output_directory();
    case PrintSetupEntry::Kind::kDefaultPrinter: return "Documents are printed on\nthe system's default printer.";
    case PrintSetupEntry::Kind::kPrinter: return "Documents are printed on\n" + e.printer;
    }
    return {};
}

pp::PrinterChoice PrintSetupModel::choice() const {
    pp::PrinterChoice c;
    c.paper = paper;
    const PrintSetupEntry& e = m_entries[m_selected];
    if (e.kind == PrintSetupEntry::Kind::kPrinter) c.printer = e.printer;
    c.to_pdf_file = e.kind == PrintSetupEntry::Kind::kPdfFile;
    return c;
}

// ---- The dialog ---------------------------------------------------------------------

namespace {

constexpr int kVisibleRows = 6;
constexpr int kButtonWidth = 75, kButtonHeight = 23;

// Where things go, from the font's height.
struct Layout {
    int row_height = 0;
    pd::Rect printer_group, list, note, paper_group, letter, a4, ok, cancel;
    pd::Size client;
};

Layout layout_for(const pd::Font& font) {
    Layout L;
    const int h = font.metrics().height;
    L.row_height = h + 3;
    const int group_width = 280;
    L.printer_group = pd::Rect{8, 6, 8 + group_width, 0};
    L.list = pd::Rect::from_size(18, 6 + h + 6, group_width - 20, kVisibleRows * L.row_height + 4);
    L.note = pd::Rect::from_size(L.list.left, L.list.bottom + 6, L.list.width(), 2 * h);
    L.printer_group.bottom = L.note.bottom + 8;
    L.paper_group = pd::Rect{8, L.printer_group.bottom + 8, 8 + group_width, 0};
    L.letter = pd::Rect::from_size(18, L.paper_group.top + h + 4, 90, h + 6);
    L.a4 = pd::Rect::from_size(L.letter.right + 16, L.letter.top, 90, h + 6);
    L.paper_group.bottom = L.letter.bottom + 8;
    const int bx = L.printer_group.right + 12;
    L.ok = pd::Rect::from_size(bx, L.list.top, kButtonWidth, kButtonHeight);
    L.cancel = pd::Rect::from_size(bx, L.ok.bottom + 6, kButtonWidth, kButtonHeight);
    L.client = pd::Size{L.ok.right + 10, L.paper_group.bottom + 10};
    return L;
}

std::shared_ptr<const pd::Font> dialog_font() {
    pd::FontSpec spec;  // "MS Sans Serif" 8
    return pd::open_font(spec);
}

// A round option well, lit from the top left, with a dot when it is chosen.
void draw_option_mark(pd::Painter& p, pd::Point at, bool chosen) {
    const int d = 12;
    const pd::Color dark = pd::system_color(pd::SystemColor::kButtonShadow);
    const pd::Color light = pd::system_color(pd::SystemColor::kButtonHighlight);
    const pd::Color well = pd::system_color(pd::SystemColor::kWindow);
    for (int y = 0; y < d; ++y)
        for (int x = 0; x < d; ++x) {
            const int dx = 2 * x - d + 1, dy = 2 * y - d + 1;
            const int r2 = dx * dx + dy * dy;
            if (r2 > d * d) continue;
            pd::Color c = well;
            if (r2 > (d - 3) * (d - 3)) c = (dx + dy < 0) ? dark : light;
            p.set_pixel(pd::Point{at.x + x, at.y + y}, c);
        }
    if (chosen) {
        const int cx = at.x + d / 2, cy = at.y + d / 2;
        p.fill_rect(pd::Rect{cx - 2, cy - 2, cx + 2, cy + 2}, pd::system_color(pd::SystemColor::kWindowText));
    }
}

class PrintSetupWindow {
public:
    enum Focus { kFocusList, kFocusPaper, kFocusOk, kFocusCancel, kFocusCount };

    explicit PrintSetupWindow(PrintSetupModel& model) : m_model(model), m_font(dialog_font()) {
        if (m_font) m_layout = layout_for(*m_font);
    }

    bool run() {
        if (!m_font) return false;
        const WindowId owner = dialog_owner();
        const WindowId had_focus = pd::focus_window();
        const std::uint32_t style = pd::kStyleDialogFrame | pd::kStyleCaption | pd::kStyleSysMenu | pd::kStyleDoubleClicks;
        m_window = create_centred_dialog(owner, "Print Setup", style, m_layout.client);
        if (!m_window) return false;
        scroll_to_selection();
        run_modal_dialog(m_window, owner, had_focus, [this](const pd::Message& m) { handle(m); },
                         [this] { return m_done; });
        return m_confirmed;
    }

private:
    void finish(bool confirmed) {
        m_confirmed = confirmed;
        m_done = true;
    }

    void set_focus_to(int focus) {
        m_focus = (focus % kFocusCount + kFocusCount) % kFocusCount;
        pd::invalidate(m_window);
    }

    void scroll_to_selection() {
        const int s = m_model.selected();
        if (s < m_top) m_top = s;
        if (s >= m_top + kVisibleRows) m_top = s - kVisibleRows + 1;
    }

    void select_row(int row) {
        m_model.select(row);
        scroll_to_selection();
        pd::invalidate(m_window);
    }

    void set_paper(pp::PaperSize paper) {
        m_model.paper = paper;
        pd::invalidate(m_window);
    }

    void handle(const pd::Message& m) {
        switch (m.code) {
        case pd::kMsgPaint: paint(); break;
        case pd::kMsgClose: finish(false); break;
        case pd::kMsgLButtonDown:
        case pd::kMsgLButtonDblClk: press(m.pos, m.code == pd::kMsgLButtonDblClk); break;
        case pd::kMsgLButtonUp: release(m.pos); break;
        case pd::kMsgKeyDown: key(static_cast<std::uint32_t>(m.wparam), m.modifiers); break;
        case pd::kMsgChar: mnemonic(static_cast<char32_t>(m.wparam)); break;
        case pd::kMsgMouseWheel: wheel(static_cast<int>(m.lparam)); break;
        default: break;
        }
    }

    // The wheel scrolls the rows, three to a notch, and leaves the selection alone.
    void wheel(int distance) {
        const int n = static_cast<int>(m_model.entries().size());
        const int rows = distance / 120 * 3;
        m_top = std::clamp(m_top - rows, 0, std::max(0, n - kVisibleRows));
        pd::invalidate(m_window);
    }

    void key(std::uint32_t vk, std::uint32_t mods) {
        const int n = static_cast<int>(m_model.entries().size());
        switch (vk) {
        case pd::kVkTab: set_focus_to(m_focus + ((mods & pd::kModShift) ? -1 : 1)); break;
        case pd::kVkReturn: finish(m_focus != kFocusCancel); break;
        case pd::kVkEscape: finish(false); break;
        case pd::kVkSpace:
            if (m_focus == kFocusOk || m_focus == kFocusCancel) finish(m_focus == kFocusOk);
            break;
        case pd::kVkUp:
        case pd::kVkDown:
        case pd::kVkLeft:
        case pd::kVkRight: {
            const bool back = vk == pd::kVkUp || vk == pd::kVkLeft;
            if (m_focus == kFocusList) select_row(m_model.selected() + (back ? -1 : 1));
            else if (m_focus == kFocusPaper) set_paper(back ? pp::PaperSize::kLetter : pp::PaperSize::kA4);
            else set_focus_to(m_focus == kFocusOk ? kFocusCancel : kFocusOk);
            break;
        }
        case pd::kVkHome:
            if (m_focus == kFocusList) select_row(0);
            break;
        case pd::kVkEnd:
            if (m_focus == kFocusList) select_row(n - 1);
            break;
        case pd::kVkPrior:
        case pd::kVkNext:
            if (m_focus == kFocusList) select_row(m_model.selected() + (vk == pd::kVkPrior ? -1 : 1) * (kVisibleRows - 1));
            break;
        default:
            if ((mods & pd::kModAlt) && vk >= pd::kVkA && vk <= pd::kVkZ) mnemonic(vk - pd::kVkA + 'a');
            break;
        }
    }

    // "&Printer" goes to the rows, "&Letter" and "A&4" choose the paper.
    void mnemonic(char32_t c) {
        if (c >= 'A' && c <= 'Z') c = c - 'A' + 'a';
        if (c == 'p') {
            set_focus_to(kFocusList);
        } else if (c == 'l' || c == '4') {
            set_paper(c == 'l' ? pp::PaperSize::kLetter : pp::PaperSize::kA4);
            set_focus_to(kFocusPaper);
        }
    }

    void press(pd::Point p, bool twice) {
        const Layout& L = m_layout;
        m_pressed = -1;
        if (L.list.inset(2, 2).contains(p)) {
            const int row = m_top + (p.y - L.list.top - 2) / L.row_height;
            set_focus_to(kFocusList);
            if (row < static_cast<int>(m_model.entries().size())) {
                select_row(row);
                if (twice) finish(true);
            }
        } else if (L.letter.contains(p) || L.a4.contains(p)) {
            set_focus_to(kFocusPaper);
            set_paper(L.a4.contains(p) ? pp::PaperSize::kA4 : pp::PaperSize::kLetter);
        } else if (L.ok.contains(p) || L.cancel.contains(p)) {
            m_pressed = L.ok.contains(p) ? kFocusOk : kFocusCancel;
            set_focus_to(m_pressed);
        }
    }

    void release(pd::Point p) {
        const int pressed = m_pressed;
        m_pressed = -1;
        if (pressed < 0) return;
        pd::invalidate(m_window);
        const pd::Rect& r = pressed == kFocusOk ? m_layout.ok : m_layout.cancel;
        if (r.contains(p)) finish(pressed == kFocusOk);
    }

    void group(pd::Painter& p, const pd::Rect& r, std::string_view caption) {
        const pd::Color face = pd::system_color(pd::SystemColor::kButtonFace);
        const int h = m_font->metrics().height;
        p.draw_edge(pd::Rect{r.left, r.top + h / 2, r.right, r.bottom}, pd::Edge::kEtched);
        const pd::Size s = pd::measure_text(*m_font, caption, pd::kTextSingleLine | pd::kTextMnemonic, r.width());
        const pd::Rect box = pd::Rect::from_size(r.left + 8, r.top, s.width + 4, h);
        p.fill_rect(box, face);
        p.draw_text(box.inset(2, 0), caption, *m_font, pd::system_color(pd::SystemColor::kWindowText),
                    pd::kTextSingleLine | pd::kTextMnemonic);
    }

    void option(pd::Painter& p, const pd::Rect& r, std::string_view caption, bool chosen) {
        draw_option_mark(p, pd::Point{r.left, r.top + (r.height() - 12) / 2}, chosen);
        const pd::Rect text{r.left + 16, r.top, r.right, r.bottom};
        p.draw_text(text, caption, *m_font, pd::system_color(pd::SystemColor::kWindowText),
                    pd::kTextVCenter | pd::kTextSingleLine | pd::kTextMnemonic);
        if (chosen && m_focus == kFocusPaper) {
            const pd::Size s = pd::measure_text(*m_font, caption, pd::kTextSingleLine | pd::kTextMnemonic, text.width());
            const int y = text.top + (text.height() - s.height) / 2;
            p.draw_focus_rect(pd::Rect{text.left - 2, y - 1, text.left + s.width + 2, y + s.height + 1});
        }
    }

    void button(pd::Painter& p, int which, const pd::Rect& rect, std::string_view caption) {
        // The button Enter presses: OK, unless Cancel has the focus.
        const bool is_default = which == (m_focus == kFocusCancel ? kFocusCancel : kFocusOk);
        paint_dialog_button(p, rect, caption, *m_font, is_default, m_pressed == which, m_focus == which);
    }

    void paint() {
        pd::PaintSession s = pd::begin_paint(m_window);
        if (!s.is_valid()) return;
        pd::Painter& p = s.painter();
        const Layout& L = m_layout;
        const pd::Color ink = pd::system_color(pd::SystemColor::kWindowText);
        p.fill_rect(pd::Rect{0, 0, L.client.width, L.client.height}, pd::system_color(pd::SystemColor::kButtonFace));

        group(p, L.printer_group, "&Printer");
        p.fill_rect(L.list, pd::system_color(pd::SystemColor::kWindow));
        p.draw_edge(L.list, pd::Edge::kSunken);
        p.save();
        p.clip_to(L.list.inset(2, 2));
        const auto& entries = m_model.entries();
        for (int i = m_top, y = L.list.top + 2; i < static_cast<int>(entries.size()) && i < m_top + kVisibleRows;
             ++i, y += L.row_height) {
            const pd::Rect row{L.list.left + 2, y, L.list.right - 2, y + L.row_height};
            const bool sel = i == m_model.selected();
            if (sel) p.fill_rect(row, pd::system_color(pd::SystemColor::kHighlight));
            p.draw_text(row.inset(4, 0), entries[i].caption, *m_font,
                        pd::system_color(sel ? pd::SystemColor::kHighlightText : pd::SystemColor::kWindowText),
                        pd::kTextVCenter | pd::kTextSingleLine | pd::kTextEndEllipsis);
            if (sel && m_focus == kFocusList) p.draw_focus_rect(row);
        }
        p.restore();

        const std::string note = m_model.note();
        const std::size_t split = note.find('\n');
        const int h = m_font->metrics().height;
        const unsigned line_flags = pd::kTextSingleLine | pd::kTextEndEllipsis;
        p.draw_text(pd::Rect{L.note.left, L.note.top, L.note.right, L.note.top + h}, note.substr(0, split), *m_font, ink,
                    line_flags);
        if (split != std::string::npos)
            p.draw_text(pd::Rect{L.note.left, L.note.top + h, L.note.right, L.note.bottom}, note.substr(split + 1),
                        *m_font, ink, line_flags);

        group(p, L.paper_group, "Paper size");
        option(p, L.letter, "&Letter", m_model.paper == pp::PaperSize::kLetter);
        option(p, L.a4, "A&4", m_model.paper == pp::PaperSize::kA4);

        button(p, kFocusOk, L.ok, "OK");
        button(p, kFocusCancel, L.cancel, "Cancel");
    }

    PrintSetupModel& m_model;
    std::shared_ptr<const pd::Font> m_font;
    Layout m_layout;
    WindowId m_window = 0;
    int m_focus = kFocusList;
    int m_pressed = -1;
    int m_top = 0;
    bool m_done = false;
    bool m_confirmed = false;
};

}  // namespace

bool print_setup_dialog() {
    if (!pd::is_display_open()) return false;
    // Asking the spooler runs its status command, up to four times: other threads
    // run meanwhile.
    pp::SpoolerStatus spooler;
    if (holds_lock()) {
        LockRelease unlocked;
        spooler = pp::spooler_status();
    } else {
        spooler = pp::spooler_status();
    }
    PrintSetupModel model(spooler, pp::printer_choice());
    PrintSetupWindow dialog(model);
    if (!dialog.run()) return false;
    const pp::PrinterChoice choice = model.choice();
    pp::set_printer_choice(choice);
    if (const std::string file = profile_file(); !file.empty()) pp::write_printer_choice(file, choice);
    return true;
}

void keep_print_setup_in(std::string_view profile_file) {
    {
        std::lock_guard<std::mutex> lock(g_profile_mutex);
        g_profile_file = std::string(profile_file);
    }
    if (!profile_file.empty()) pp::set_printer_choice(pp::read_printer_choice(profile_file));
}

}  // namespace sk::ui
