// The list control (TesList, and TesDrop when the record has a drop count): rows of
// the row-source queue in the columns of the list format.
//
// A plain list scrolls and selects by itself. An immediate list (attribute 0x800) is
// a window onto a larger file: its navigation keys and vertical scroll-bar gestures
// are delivered at once to the procedure as scroll events, its scroll bar keeps the
// range 0 to 100 with the thumb where the procedure puts it, and typing is reported
// as "EVENT:Locate". A plain list shows its vertical bar only while it holds rows
// beyond the page, and any list its horizontal bar only while the columns are wider
// than the list; the rows per page follow the client height the bars leave. A
// dropped immediate drop list makes every move of its highlight the choice and
// reports its scroll gestures the same way. Every change of the selected row posts
// "EVENT:NewSelection"; Enter and a double click post "EVENT:Accepted".
#pragma once

#include <functional>
#include <memory>

#include "ui/controls/control_base.h"
#include "ui/controls/drop_down.h"
#include "ui/controls/list_rows.h"

namespace sk::ui {

// List attribute bits.
inline constexpr std::uint32_t kListHScroll = 0x1, kListVScroll = 0x2;

// The key code a right-button press carries in the events it causes.
inline constexpr int kKeyCodeRightButton = 2;

// List property numbers.
inline constexpr std::uint32_t kPropHScroll = 31847, kPropVScroll = 31883, kPropRowsPerPage = 31886,
                               kPropSelected = 31887, kPropThumb = 31902;

class ListControl : public WidgetControl {
public:
    ListControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding,
                VariableRef row_source, const PixelRect& rect);
    ~ListControl() override;

    bool owns_window(WindowId w) const override;
    bool handle_message(const pd::Message& m) override;
    void display() override;
    bool get_property(std::uint32_t number, std::int32_t index, std::string* value) override;
    bool set_property(std::uint32_t number, std::int32_t index, std::string_view value) override;

    bool is_immediate() const { return (definition().flags & kControlImmediate) != 0; }
    bool is_drop() const { return m_drop_count > 0; }
    const ListRows& rows() const { return m_rows; }
    const ListFormat& format() const { return m_rows.format(); }
    std::size_t row_count() const { return m_rows.count(); }

    std::size_t selected() const { return m_selected; }
    // Selects a row (0 = none); posts "EVENT:NewSelection" when it changes.
    void set_selected(std::size_t row);
    std::size_t top_row() const { return m_top; }
    int rows_per_page() const;
    int row_height() const;
    int header_height() const;
    int thumb() const;
    void set_thumb(int position);
    int horizontal_offset() const { return m_hoffset; }
    bool is_dropped() const { return m_drop && m_drop->is_open(); }
    void drop_down();
    void close_up();
    const DropDown* drop() const { return m_drop.get(); }

    // A drop list tells its owning control of the change of choice.
    void set_choice_hook(std::function<void(std::size_t)> hook) { m_choice_hook = std::move(hook); }

protected:
    void paint(pd::Painter& painter, const pd::Rect& client) override;
    bool on_key_down(const pd::Message& m) override;
    bool on_char(const pd::Message& m) override;
    bool on_mouse(const pd::Message& m) override;
    void on_focus(bool gained) override;
    void on_resize() override;
    bool on_other(const pd::Message& m) override;

private:
    void update_scroll_bars();
    // Shows or hides the bars the list calls for at its present size.
    void place_scroll_bars();
    // Whether the rows need the vertical bar in a client area of this height (an
    // immediate list always does), and the rows that fit in it.
    bool vertical_bar_needed(int client_height) const;
    int page_for_height(int client_height) const;
    void ensure_visible(std::size_t row);
    void scroll_to(long top);
    void scroll_horizontally(int offset);
    void move_selection(long delta);
    bool report(std::uint16_t event);  // immediate lists: delivered at once
    void locate(std::string_view typed);
    int resize_grab(int x) const;      // column whose edge x lies on, or -1
    std::size_t row_at(int y) const;   // 0 for none
    pd::Rect rows_area() const;
    void choose(std::size_t row);
    // A right-button press on a row: selects it and posts "EVENT:NewSelection"
    // with key code 2, whether or not the row changed.
    void select_by_right_button(std::size_t row);
    void paint_drop_box(pd::Painter& p, const pd::Rect& c);
    // The navigation keys of a dropped immediate drop list: the highlight moves and
    // the choice follows it at once (each change posts "EVENT:NewSelection"); a move
    // to the top or bottom, or past the rows held, is also delivered to the
    // procedure as the scroll event an immediate list raises. False for other keys.
    bool dropped_navigation(std::uint32_t vk, bool ctrl);
    // The popup's scroll bar and wheel of a dropped immediate drop list: the popup
    // scrolls through the rows held; a gesture that cannot scroll further (and the
    // top and bottom always) is delivered to the procedure as its scroll event.
    void dropped_scroll(const pd::Message& m);
    // The choice follows the dropped list's highlight.
    void follow_highlight();

    ListRows m_rows;
    std::size_t m_top = 1;
    std::size_t m_selected = 0;
    int m_hoffset = 0;
    int m_drop_count = 0;
    int m_thumb = 0;
    bool m_vscroll = false;
    bool m_hscroll = false;
    int m_resizing = -1;  // column being resized
    std::string m_locator;
    std::uint64_t m_locator_time = 0;
    std::unique_ptr<DropDown> m_drop;
    std::function<void(std::size_t)> m_choice_hook;
};

}  // namespace sk::ui
