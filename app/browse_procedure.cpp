// The shared browse event loop.
#include "app/browse_procedure.h"

#include <string>

#include "app/dictionary.h"
#include "app/html_export.h"
#include "app/select_list.h"
#include "app/window_placement.h"
#include "data/view.h"
#include "platform/display/display.h"
#include "ui/popup.h"
#include "app/procedures.h"
#include "ui/window.h"
#include <cstdlib>
#include <cstring>

namespace sk::app {

namespace ui = sk::ui;
namespace pd = sk::platform::display;

namespace {

// The list properties: vertical scroll bar, rows per page, selected row, thumb.
constexpr std::uint32_t kPropVScroll = 31883, kPropRowsPerPage = 31886, kPropSelected = 31887, kPropThumb = 31902;
constexpr std::uint32_t kKeyRightButton = kListKeyRightButton;

struct Loop {
    BrowseWindow& s;
    BrowsePage& page;
    ui::Window& w;
    std::int32_t request = 0;
    bool initialised = false;
    bool forced = false;

    UpdateButtons buttons() const { return {s.insert, s.change, s.remove}; }

    int rows() {
        const int n = std::atoi(w.property(s.list, kPropRowsPerPage).c_str());
        return n < 1 ? 1 : n;
    }
    int tab() { return s.sheet != 0 ? std::atoi(w.property(s.sheet, 31887).c_str()) : 1; }

    // The row the list shows selected becomes the highlight. A right press selects
    // a row without a new selection of its own (it brings up the popup), so the
    // row a popup choice or a button acts on is read from the list.
    void take_list_selection() {
        if (page.has_entries()) page.set_highlight(std::atoi(w.property(s.list, kPropSelected).c_str()));
    }

    // Posts "EVENT:NewSelection" to the list when the page asked for one.
    void post_new_selection() {
        page.post_new_selection();
        if (page.take_new_selection_request()) w.post(ui::kEventNewSelection, s.list);
    }

    // The list shows the page's state.
    void show() {
        w.set_property(s.list, kPropSelected, std::to_string(page.highlight()));
        w.set_property(s.list, kPropVScroll, page.scroll_bar_shown() ? "1" : "0");
        w.set_property(s.list, kPropThumb, std::to_string(page.thumb()));
        for (std::int32_t f : {s.change, s.remove})
            if (f != 0) w.set_property(f, ui::kPropDisabled, page.change_enabled() ? "" : "1");
        if (page.take_new_selection_request()) w.post(ui::kEventNewSelection, s.list);
        if (page.close_requested()) w.post(ui::kEventCloseWindow);
    }

    void refresh() {
        if (w.property(0, ui::kPropAcceptAll) == "1") return;
        take_list_selection();
        page.set_rows(rows());
        page.choose_order(s.order_of_tab(tab()), forced || !initialised, request == RequestSelect);
        initialised = true;
        show();
        w.display();
        forced = false;
    }

    void update(std::int32_t how) {
        if (how == RequestInsert) {
            s.before_insert(page.order());
        }
        page.close_view();
        PendingRequest = how;
        s.update();
        const std::int32_t response = LastResponse;
        page.set_rows(rows());
        page_after_update(page, how, response);
        post_new_selection();
        show();  // the list selects the row the rebuild highlighted
        w.select(s.list);
        refresh();
    }

    void button(std::int32_t f) {
        take_list_selection();
        const bool read_back = page.get_record();
        if ((f == s.change || f == s.remove) && page.has_entries() && !read_back) {
            // The highlighted site could not be read back: another station has
            // deleted it, or the file failed. Nothing is changed or deleted in its
            // name; the page is built again from what the file holds now.
            forced = true;
            refresh();
            return;
        }
        if (f == s.insert) update(RequestInsert);
        else if (f == s.change) update(RequestChange);
        else if (f == s.remove) update(RequestDelete);
        else if (f == s.select_category) {
            PendingRequest = RequestSelect;
            SelectCategories();
            refresh();
        } else if (f == s.locations && s.locations_action) {
            s.locations_action();
            refresh();
        } else if (f == s.clipboard) {
            // An empty page has no address to copy: the clipboard keeps its text.
            if (page.has_entries()) pd::set_clipboard_text(fixed_text(url_record.location));
        } else if (f == s.close) {
            w.post(ui::kEventCloseWindow);
        }
    }

    void new_selection() {
        page.selection_handled();
        if (w.keycode() == kKeyRightButton) {
            update_popup(w, page.has_entries(), buttons());
            return;
        }
        if (!page.has_entries()) return;
        page.set_highlight(std::atoi(w.property(s.list, kPropSelected).c_str()));
        page.set_rows(rows());
        page.new_selection();
        show();
        refresh();
    }

    void locate_char(char c) {
        if (!page.has_entries()) return;
        s.locate_key(page.order(), c);
        page.set_rows(rows());
        page.locate(2);
        show();
        w.display(s.list, s.list);
    }

    void keys() {
        const std::uint32_t key = w.keycode();
        if (const std::int32_t target = alerted_button(key, page.has_entries(), buttons())) {
            if (target == s.change) page.load_highlighted();
            w.post(ui::kEventAccepted, target);
        } else if (const ui::EventRecord* r = w.current_event();
                   page.has_entries() && r != nullptr && r->key_char >= 0x20) {
            locate_char(static_cast<char>(r->key_char));
        }
        post_new_selection();
    }

    void scroll(int event) {
        page.set_rows(rows());
        using S = BrowsePage::Scroll;
        switch (event) {
            case ui::kEventScrollUp: page.scroll(S::kUp); break;
            case ui::kEventScrollDown: page.scroll(S::kDown); break;
            case ui::kEventPageUp: page.scroll(S::kPageUp); break;
            case ui::kEventPageDown: page.scroll(S::kPageDown); break;
            case ui::kEventScrollTop: page.scroll(S::kTop); break;
            default: page.scroll(S::kBottom); break;
        }
        show();
        w.display(s.list, s.list);
    }

    void drag() {
        page.set_rows(rows());
        switch (page.thumb_drag(std::atoi(w.property(s.list, kPropThumb).c_str()))) {
            case BrowsePage::DragResult::kTop: w.post(ui::kEventScrollTop, s.list); break;
            case BrowsePage::DragResult::kBottom: w.post(ui::kEventScrollBottom, s.list); break;
            default: show(); w.display(s.list, s.list); break;
        }
    }
};

}  // namespace

BrowseSpec category_sites_spec(sk::data::FileControlBlock* view, char* limit, const std::string& limit_name) {
    // The entry's columns lie as the site record does: location, description,
    // category, rating, keyword.
    BrowseSpec spec;
    spec.primary = &LINKDB;
    spec.view = view;
    spec.file_label = "LINKDB";
    spec.columns_size = sizeof(LinkdbRecord);
    spec.store_columns = [](unsigned char* c) { std::memcpy(c, &url_record, sizeof url_record); };
    spec.load_columns = [](const unsigned char* c) { std::memcpy(&url_record, c, sizeof url_record); };
    spec.clear_record = clear_site_record;
    BrowseOrder by_category;
    by_category.key = &url_k_category;
    by_category.filter = "UPPER(URL:Category) = UPPER(" + limit_name + ")";
    by_category.limit = limit;
    by_category.limit_source = cat_record.category;
    by_category.limit_size = kCategorySize;
    by_category.distribution = BrowseOrder::Distribution::kText;
    by_category.component = url_record.location;
    by_category.component_length = sizeof url_record.location;
    spec.orders = {by_category};
    return spec;
}

std::vector<ui::QueueField> category_sites_fields() {
    return {ui::QueueField{0, sk::rt::kTypeString, 128, 0},   ui::QueueField{128, sk::rt::kTypeString, 60, 0},
            ui::QueueField{188, sk::rt::kTypeString, 15, 0},  ui::QueueField{203, sk::rt::kTypeDecimal, 2, 0},
            ui::QueueField{205, sk::rt::kTypeString, 10, 0},  ui::QueueField{215, sk::rt::kTypeByte, 1, 0},
            ui::QueueField{216, sk::rt::kTypeString, std::uint32_t(kRowPositionSize), 0}};
}

void alert_browse_keys(ui::Window& w) {
    for (std::uint32_t key : {kListKeyDoubleClick, kBrowseKeyInsert, kBrowseKeyDelete, kBrowseKeyCtrlEnter})
        w.set_property(0, ui::kPropAlertKeys, std::to_string(key));
}

void update_popup(ui::Window& w, bool has_entries, const UpdateButtons& buttons) {
    // The right press is answered here; left set, it would open the popup again
    // on the next new selection.
    ui::setkeycode(0);
    w.set_keycode(0);
    const int choice = ui::popup(has_entries ? "&Insert|&Change|&Delete" : "&Insert|~&Change|~&Delete");
    const std::int32_t target[] = {0, buttons.insert, buttons.change, buttons.remove};
    if (choice >= 1 && choice <= 3 && (has_entries || choice == 1)) w.post(ui::kEventAccepted, target[choice]);
}

std::int32_t alerted_button(std::uint32_t key, bool has_entries, const UpdateButtons& buttons) {
    if (key == kBrowseKeyInsert) return buttons.insert;
    if (!has_entries) return 0;
    if (key == kListKeyDoubleClick || key == kBrowseKeyCtrlEnter) return buttons.change;
    if (key == kBrowseKeyDelete) return buttons.remove;
    return 0;
}

void page_after_update(BrowsePage& page, std::int32_t request, std::int32_t response) {
    page.reset_view();
    if (request == RequestDelete) {
        if (response == ResponseDone) page.remove_highlighted();
        page.rebuild(2);
    } else if (response == ResponseDone) {
        page.locate(2);
    } else {
        page.rebuild(2);
    }
    page.compute_distribution();
}

void run_browse(BrowseWindow& s, BrowseSpec spec) {
    const std::int32_t request = PendingRequest;
    PendingRequest = 0;
    LastResponse = 0;
    if (ui::keycode() == kKeyRightButton) ui::setkeycode(0);
    use_categories();
    use_linkdb();
    s.bind_names();
    BrowsePage page(std::move(spec));
    ui::RowSource rows;
    rows.queue = &page.queue();
    rows.fields = s.fields;
    void* bindings[] = {&rows, nullptr};
    ui::Window w(ui::WindowType::kMdiChild, s.module, s.label, bindings);
    if (w.open()) {
        restore_window_position(w, s.section);
        alert_browse_keys(w);
        Loop l{s, page, w, request};
        while (w.accept()) {
            s.bind_names();
            const int event = w.event();
            const std::int32_t f = w.field();
            switch (event) {
                case ui::kEventOpenWindow:
                    if (!l.initialised) l.refresh();
                    w.select(s.list);
                    continue;
                case ui::kEventGainFocus:
                case ui::kEventSized:
                    l.forced = true;
                    l.refresh();
                    continue;
                case ui::kEventRejected:
                    pd::beep();
                    w.display(f, f);
                    continue;
                default: break;
            }
            if (f == s.list && f != 0) {
                switch (event) {
                    case ui::kEventNewSelection: l.new_selection(); break;
                    case ui::kEventScrollUp:
                    case ui::kEventScrollDown:
                    case ui::kEventPageUp:
                    case ui::kEventPageDown:
                    case ui::kEventScrollTop:
                    case ui::kEventScrollBottom: l.scroll(event); break;
                    case ui::kEventAlertKey: l.keys(); break;
                    case ui::kEventLocate:
                        if (const ui::EventRecord* r = w.current_event(); r != nullptr && r->key_char >= 0x20)
                            l.locate_char(static_cast<char>(r->key_char));
                        break;
                    case ui::kEventAccepted:  // a double click or Enter on a row
                        if (page.has_entries()) w.post(ui::kEventAccepted, s.change);
                        break;
                    case ui::kEventScrollDrag: l.drag(); break;
                    default: break;
                }
            } else if (f == s.sheet && f != 0) {
                if (event == ui::kEventAccepted || event == ui::kEventNewSelection || event == ui::kEventTabChanging ||
                    event == ui::kEventSelected)
                    l.refresh();
            } else if (event == ui::kEventAccepted && f != 0) {
                l.button(f);
            }
        }
        if (w.is_open()) {
            save_window_position(w, s.section);
            w.close();
        }
    }
    release_linkdb();
    release_categories();
    page.close_view();
    LastResponse = ResponseCancelled;
}

}  // namespace sk::app
