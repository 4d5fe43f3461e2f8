// The page-driven list of the selects and the category form.
#include "app/select_list.h"

#include <cstdlib>
#include <string>

#include "app/dictionary.h"
#include "runtime/bind.h"
#include "ui/event.h"
#include "ui/window.h"

namespace sk::app {

namespace ui = sk::ui;

bool form_accept_all(ui::Window& window) { return window.property(0, ui::kPropAcceptAll) == "1"; }

void redisplay_form(ui::Window& window) {
    if (!form_accept_all(window)) window.display();
}

namespace {
// The list control's properties: scroll bar shown, rows per page, selected row, thumb.
constexpr std::uint32_t kPropVScroll = 31883, kPropRowsPerPage = 31886, kPropSelected = 31887, kPropThumb = 31902;

int number_of(const std::string& text) { return int(std::strtol(text.c_str(), nullptr, 10)); }
}  // namespace

SelectList::SelectList(BrowsePage& page, ui::Window& window, std::int32_t list_field)
    : m_page(page), m_window(window), m_field(list_field) {}

void SelectList::measure() {
    m_page.set_rows(number_of(m_window.property(m_field, kPropRowsPerPage)));
}

void SelectList::show() {
    m_window.set_property(m_field, kPropSelected, std::to_string(m_page.highlight()));
    m_window.set_property(m_field, kPropVScroll, m_page.scroll_bar_shown() ? "1" : "0");
    m_window.set_property(m_field, kPropThumb, std::to_string(m_page.thumb()));
    m_window.display(m_field);
    if (m_page.take_new_selection_request()) m_window.post(ui::kEventNewSelection, m_field);
    if (m_page.close_requested()) m_window.post(ui::kEventCloseWindow);
}

void SelectList::refresh(bool forced, bool select_request) {
    if (form_accept_all(m_window)) return;
    measure();
    m_page.choose_order(1, forced, select_request);
    show();
    m_window.display();
}

bool SelectList::handle_event(int event) {
    measure();
    switch (event) {
        case ui::kEventScrollUp: m_page.scroll(BrowsePage::Scroll::kUp); break;
        case ui::kEventScrollDown: m_page.scroll(BrowsePage::Scroll::kDown); break;
        case ui::kEventPageUp: m_page.scroll(BrowsePage::Scroll::kPageUp); break;
        case ui::kEventPageDown: m_page.scroll(BrowsePage::Scroll::kPageDown); break;
        case ui::kEventScrollTop: m_page.scroll(BrowsePage::Scroll::kTop); break;
        case ui::kEventScrollBottom: m_page.scroll(BrowsePage::Scroll::kBottom); break;
        case ui::kEventScrollDrag: {
            const std::string p = m_window.property(m_field, kPropThumb);
            switch (m_page.thumb_drag(number_of(p))) {
                case BrowsePage::DragResult::kTop: m_window.post(ui::kEventScrollTop, m_field); break;
                case BrowsePage::DragResult::kBottom: m_window.post(ui::kEventScrollBottom, m_field); break;
                default: break;
            }
            break;
        }
        case ui::kEventNewSelection: {
            // A right press selects the row under the mouse too. The page follows
            // it like any other selection, so that the popup the procedure then
            // shows acts on the row the user sees highlighted.
            const bool right_button = m_window.keycode() == kListKeyRightButton;
            const std::string row = m_window.property(m_field, kPropSelected);
            if (m_page.has_entries()) {
                m_page.set_highlight(number_of(row));
                m_page.new_selection();
            } else {
                m_page.selection_handled();
            }
            m_window.set_property(m_field, kPropVScroll, m_page.scroll_bar_shown() ? "1" : "0");
            m_window.set_property(m_field, kPropThumb, std::to_string(m_page.thumb()));
            if (!form_accept_all(m_window)) m_window.display();
            return !right_button;
        }
        default: return false;
    }
    show();
    return true;
}

}  // namespace sk::app
