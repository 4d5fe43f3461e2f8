// The list of a select or of an embedded browse, driven by a browse page: the
// page is measured against the list before it is filled, and the list shows the
// page's highlight, scroll bar and thumb afterwards. Shared by the two category
// selects and the site list on the category form's "Locations" tab.
#pragma once

#include <cstdint>

#include "app/browse_page.h"

namespace sk::ui {
class Control;
class Window;
}

namespace sk::app {

// Key codes the lists alert and read.
inline constexpr std::uint32_t kListKeyRightButton = 2;
inline constexpr std::uint32_t kListKeyDoubleClick = 5;

class SelectList {
public:
    SelectList(BrowsePage& page, sk::ui::Window& window, std::int32_t list_field);

    std::int32_t field() const { return m_field; }
    BrowsePage& page() { return m_page; }

    // The page takes the number of rows the list shows.
    void measure();
    // The list shows the page: its selected row, scroll bar and thumb; an
    // "EVENT:NewSelection" is posted when the page asked for one, and the window
    // is closed when the page failed.
    void show();
    // Refresh the window: the page follows its one order (rebuilt when forced or
    // when its limit changed), the list shows it and every control is displayed
    // again. Nothing happens during the window's accept-all pass.
    void refresh(bool forced, bool select_request);
    // The list's scroll, thumb-drag and new-selection events. True when the event
    // was one of them and is done with; false for a right-button selection, which
    // the page has followed and the procedure answers with its popup.
    bool handle_event(int event);

private:
    BrowsePage& m_page;
    sk::ui::Window& m_window;
    std::int32_t m_field;
};

// The list control's selected-row property.
inline constexpr std::uint32_t kPropListSelected = 31887;

// Makes a button the window's default button, drawn as such.
void show_as_default_button(sk::ui::Control* button);

// True while the window runs its accept-all pass.
bool form_accept_all(sk::ui::Window& window);
// Displays every control again, unless the accept-all pass is running.
void redisplay_form(sk::ui::Window& window);

}  // namespace sk::app
