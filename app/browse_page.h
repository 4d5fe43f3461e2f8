// The page model behind every browse and select list: one screen page of records
// kept in a queue and refilled from a view of the file as the user scrolls, the
// sort orders with their filters, locating by key value, rebuilding around a
// remembered row, and the thumb estimate.
//
// The procedure owns the window and the list control; it tells the page how many
// rows the list shows (set_rows) before each operation and afterwards shows the
// page's highlight, thumb and scroll-bar state, and posts "EVENT:NewSelection"
// when new_selection_wanted() says so. Failures show their standard message and
// set close_requested() where the browse must close.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/browse_thumb.h"
#include "data/control_blocks.h"
#include "data/queue.h"

namespace sk::app {

// A sort order: the key, the view's filter, and the key's first component as the
// thumb estimate and the locate use it.
struct BrowseOrder {
    sk::data::KeyControlBlock* key = nullptr;
    std::string filter;  // empty for none
    // The bound value the filter limits by (for example BRW1::Sort2:Reset:CAT:Category)
    // and where it is refreshed from (CAT:CATEGORY): limit_size bytes each.
    char* limit = nullptr;
    char* limit_source = nullptr;
    std::size_t limit_size = 0;
    enum class Distribution { kNone, kText, kNumeric } distribution = Distribution::kNone;
    // The component in the primary's record buffer: text of component_length bytes,
    // or a number read and written through the two functions.
    char* component = nullptr;
    std::size_t component_length = 0;
    std::function<double()> read_number;
    std::function<void(double)> write_number;
};

struct BrowseSpec {
    sk::data::FileControlBlock* primary = nullptr;
    sk::data::FileControlBlock* view = nullptr;  // a VIEW block over primary
    std::string file_label;                      // named in warning 35: "LINKDB", "Categories"
    std::size_t columns_size = 0;                // the column part of a page entry
    std::function<void(unsigned char* columns)> store_columns;       // record buffer -> entry
    std::function<void(const unsigned char* columns)> load_columns;  // entry -> record buffer
    std::function<void()> clear_record;                              // the record (and memo) cleared
    std::vector<BrowseOrder> orders;                                 // order n is orders[n - 1]
};

// Size of the position text kept with every entry (BRW1::RowPosition).
inline constexpr std::size_t kRowPositionSize = 512;

class BrowsePage {
public:
    explicit BrowsePage(BrowseSpec spec);
    BrowsePage(const BrowsePage&) = delete;
    BrowsePage& operator=(const BrowsePage&) = delete;
    ~BrowsePage();

    // The queue the list shows: entries of columns_size + 1 + 512 bytes, columns
    // first, then a byte the page never sets, then the row's position.
    sk::data::Queue& queue() { return m_queue; }
    std::size_t entry_size() const { return m_spec.columns_size + 1 + kRowPositionSize; }
    std::string entry_position(std::size_t row) const;

    void set_rows(int rows) { m_rows = rows < 1 ? 1 : rows; }
    int rows() const { return m_rows; }
    int order() const { return m_order; }
    int highlight() const { return m_highlight; }
    void set_highlight(int row);  // the list's selected row, as the user left it
    int thumb() const { return m_thumb; }
    bool scroll_bar_shown() const { return m_scroll_bar_shown; }
    bool has_entries() const { return m_queue.count() > 0; }
    bool change_enabled() const { return m_change_enabled; }  // "&Change" and "&Delete"
    bool close_requested() const { return m_close_requested; }
    // True once after an operation that wants "EVENT:NewSelection" posted.
    bool take_new_selection_request();
    void selection_handled() { m_selection_pending = false; }
    // Asks for "EVENT:NewSelection" unless one is already posted and not handled.
    void post_new_selection();

    // Choose order: the order to show (1-based), and whether a refresh is forced.
    // first_select: the first time, locate at the record buffer's key value instead
    // of building the first page (a select request).
    void choose_order(int order, bool forced, bool select_request);
    // The operations of the browse, by their names in the procedures.
    bool reset_view();
    void fill(int count, bool forward);
    enum class Scroll { kUp, kDown, kPageUp, kPageDown, kTop, kBottom };
    void scroll(Scroll how);
    void locate(int mode);
    void rebuild(int mode);
    void compute_distribution();
    // The user moved the selection: the record buffer takes the entry, the scroll
    // bar and thumb follow.
    void new_selection();
    // A thumb drag to p: returns kTop or kBottom when the procedure should post the
    // scroll event, else performs the locate itself.
    enum class DragResult { kNone, kLocated, kTop, kBottom };
    DragResult thumb_drag(int p);
    // The record buffer takes the highlighted entry, then the stored version of it
    // is read back (WATCH and REGET). False when the page is empty or the read
    // failed.
    bool get_record();
    // The record buffer takes the highlighted entry.
    void load_highlighted();
    // After a delete that completed: the highlighted entry leaves the page.
    void remove_highlighted();
    void close_view();

    const std::array<std::string, kThumbEntries>& text_entries() const { return m_text; }

private:
    const BrowseOrder* current() const;
    void make_entry(std::vector<unsigned char>& out);
    bool open_view(bool at_key_value);
    void restore_limit();
    int fetch(bool forward);
    void fetch_error();
    void set_thumb_from_highlight();

    BrowseSpec m_spec;
    sk::data::Queue m_queue;
    int m_rows = 1;
    int m_order = 0;
    int m_previous_order = 0;
    int m_highlight = 0;
    int m_thumb = 0;
    bool m_trim_when_full = true;
    bool m_scroll_bar_shown = true;
    bool m_change_enabled = false;
    bool m_close_requested = false;
    bool m_selection_pending = false;
    bool m_selection_wanted = false;
    bool m_view_open = false;
    int m_unfetched = 0;               // records a fill asked for that were not there
    std::string m_keep_position;
    std::string m_last_position;
    // The exact position of every entry (the queue's copy is blank-padded to 512).
    std::vector<std::string> m_positions;
    std::array<std::string, kThumbEntries> m_text;
    std::array<double, kThumbEntries> m_numbers{};
    bool m_has_distribution = false;
};

}  // namespace sk::app
