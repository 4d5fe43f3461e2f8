// The drop-down part of drop lists and combo boxes: a popup window under the box
// that shows some rows of a list, with a highlight the keys move and a click picks.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/display/font.h"
#include "platform/display/message.h"
#include "platform/display/window.h"
#include "ui/controls/list_rows.h"

namespace sk::ui {

class DropDown {
public:
    DropDown(const ListRows& rows, std::shared_ptr<const sk::platform::display::Font> font);
    ~DropDown();
    DropDown(const DropDown&) = delete;
    DropDown& operator=(const DropDown&) = delete;

    // Opens under box (screen coordinates) showing at most visible_rows rows, with
    // highlight on row selected.
    void open(sk::platform::display::WindowId owner, const sk::platform::display::Rect& box, int visible_rows,
              std::size_t selected);
    void close();
    bool is_open() const { return m_window != 0; }
    sk::platform::display::WindowId window() const { return m_window; }

    std::size_t highlighted() const { return m_highlight; }
    void move_highlight(long delta);
    int visible_rows() const { return m_visible; }
    std::size_t top() const { return m_top; }

    // A message for the popup. Returns the row a click picked, 0 otherwise.
    std::size_t handle_message(const sk::platform::display::Message& m);

private:
    void paint();
    void scroll_to(std::size_t top);

    const ListRows* m_rows;
    std::shared_ptr<const sk::platform::display::Font> m_font;
    sk::platform::display::WindowId m_window = 0;
    int m_visible = 0;
    std::size_t m_top = 1;
    std::size_t m_highlight = 0;
};

}  // namespace sk::ui
