// The browse page model.
#include "app/browse_page.h"

#include <algorithm>
#include <cstring>

#include "app/dictionary.h"
#include "app/standard_messages.h"
#include "app/update_actions.h"
#include "data/file_layer.h"
#include "data/view.h"
#include "runtime/error.h"

namespace sk::app {

namespace sd = sk::data;

BrowsePage::BrowsePage(BrowseSpec spec) : m_spec(std::move(spec)), m_queue(m_spec.columns_size + 1 + kRowPositionSize) {}

BrowsePage::~BrowsePage() { close_view(); }

const BrowseOrder* BrowsePage::current() const {
    if (m_order < 1 || std::size_t(m_order) > m_spec.orders.size()) return nullptr;
    return &m_spec.orders[std::size_t(m_order) - 1];
}

std::string BrowsePage::entry_position(std::size_t row) const {
    return row >= 1 && row <= m_positions.size() ? m_positions[row - 1] : std::string();
}

void BrowsePage::set_highlight(int row) {
    const int count = int(m_queue.count());
    m_highlight = count == 0 ? 0 : std::clamp(row, 1, count);
}

bool BrowsePage::take_new_selection_request() {
    const bool wanted = m_selection_wanted;
    m_selection_wanted = false;
    return wanted;
}

void BrowsePage::post_new_selection() {
    if (m_selection_pending) return;
    m_selection_pending = true;
    m_selection_wanted = true;
}

void BrowsePage::close_view() {
    if (m_view_open) sd::close(m_spec.view);
    m_view_open = false;
}

// The limited orders read their limit afresh from its source when the view opens,
// and hand it back to the source when the limited stretch runs out.
void BrowsePage::restore_limit() {
    const BrowseOrder* o = current();
    if (o != nullptr && o->limit != nullptr && o->limit_source != nullptr) std::memcpy(o->limit_source, o->limit, o->limit_size);
}

bool BrowsePage::open_view(bool at_key_value) {
    close_view();
    const BrowseOrder* o = current();
    if (o == nullptr) return false;
    if (o->limit != nullptr && o->limit_source != nullptr) std::memcpy(o->limit, o->limit_source, o->limit_size);
    int result = at_key_value ? sd::set_key_value(m_spec.primary, o->key, o->key) : sd::set_key(m_spec.primary, o->key);
    if (result == 0) result = sd::view_property(m_spec.view, std::to_string(sd::kViewFilterProperty), o->filter);
    if (result == 0) result = sd::open(m_spec.view, 0x22);
    if (result != 0) {
        ShowStandardMessage(36);
        return false;
    }
    m_view_open = true;
    return true;
}

bool BrowsePage::reset_view() { return open_view(false); }

void BrowsePage::fetch_error() {
    ShowStandardMessage(35, m_spec.file_label);
    m_close_requested = true;
}

void BrowsePage::make_entry(std::vector<unsigned char>& out) {
    out.assign(entry_size(), 0);
    m_spec.store_columns(out.data());
    std::memset(out.data() + m_spec.columns_size + 1, ' ', kRowPositionSize);
    const std::string position = sd::position(m_spec.view);
    std::memcpy(out.data() + m_spec.columns_size + 1, position.data(), std::min(position.size(), kRowPositionSize));
    m_last_position = position;
}

void BrowsePage::fill(int count, bool forward) {
    m_unfetched = count;
    if (!m_view_open) return;
    if (m_queue.count() > 0) {
        // Re-read the edge row so that the view continues from it.
        const std::size_t edge = forward ? m_queue.count() : 1;
        int result = sd::reset(m_spec.view, entry_position(edge));
        if (result == 0) result = sd::next(m_spec.view);
        if (result == sk::rt::kRecordNotAvailable || result == sk::rt::kRecordNotFound) {
            restore_limit();
        } else if (result != 0) {
            fetch_error();
            return;
        }
    }
    std::vector<unsigned char> entry;
    while (m_unfetched > 0) {
        const int result = forward ? sd::next(m_spec.view) : sd::previous(m_spec.view);
        if (result == sk::rt::kRecordNotAvailable) {
            restore_limit();
            break;
        }
        if (result != 0) {
            fetch_error();
            return;
        }
        if (m_trim_when_full && int(m_queue.count()) >= m_rows) {
            const std::size_t far = forward ? 1 : m_queue.count();
            m_queue.remove(far);
            m_positions.erase(m_positions.begin() + std::ptrdiff_t(far - 1));
        }
        make_entry(entry);
        if (forward) {
            m_queue.add(entry.data());
            m_positions.push_back(m_last_position);
        } else {
            m_queue.add_at(entry.data(), 1);
            m_positions.insert(m_positions.begin(), m_last_position);
        }
        --m_unfetched;
    }
    m_trim_when_full = true;
}

void BrowsePage::load_highlighted() {
    if (m_highlight < 1 || std::size_t(m_highlight) > m_queue.count()) return;
    m_spec.load_columns(m_queue.at(std::size_t(m_highlight)));
}

void BrowsePage::scroll(Scroll how) {
    if (m_queue.count() == 0) return;
    const int count = int(m_queue.count());
    switch (how) {
        case Scroll::kUp:
            if (m_highlight > 1) --m_highlight;
            else fill(1, false);
            break;
        case Scroll::kDown:
            if (m_highlight < count) ++m_highlight;
            else fill(1, true);
            break;
        case Scroll::kPageUp:
            fill(m_rows, false);
            m_highlight = std::max(1, m_highlight - m_unfetched);
            break;
        case Scroll::kPageDown:
            fill(m_rows, true);
            m_highlight = std::min(int(m_queue.count()), m_highlight + m_unfetched);
            break;
        case Scroll::kTop:
        case Scroll::kBottom:
            m_queue.free();
            m_positions.clear();
            if (reset_view()) fill(m_rows, how == Scroll::kTop);
            m_highlight = m_queue.count() == 0 ? 0 : how == Scroll::kTop ? 1 : int(m_queue.count());
            break;
    }
    set_highlight(m_highlight);
    post_new_selection();
    const BrowseOrder* o = current();
    if (o != nullptr && o->distribution == BrowseOrder::Distribution::kNone) {
        // Without a distribution the thumb only says: at an end, or somewhere between.
        if (int(m_queue.count()) < m_rows) m_thumb = 0;
        else if (m_unfetched > 0) m_thumb = how == Scroll::kUp ? 0 : 100;
        else m_thumb = 50;
    }
}

void BrowsePage::locate(int mode) {
    if (mode == 1) {
        const std::string here = sd::position(m_spec.view);
        sd::reset(m_spec.view, here);
    } else if (!open_view(true)) {
        return;
    }
    m_queue.free();
    m_positions.clear();
    m_trim_when_full = false;
    fill(1, true);
    rebuild(m_queue.count() == 0 ? 4 : 1);
    post_new_selection();
}

void BrowsePage::rebuild(int mode) {
    // The page is read afresh from the file: the wait cursor shows meanwhile.
    BusyCursor busy;
    if (mode == 1) {
        m_keep_position = sd::position(m_spec.view);
        sd::reset(m_spec.view, m_keep_position);
    } else if (m_queue.count() > 0) {
        std::size_t keep = std::size_t(m_highlight);
        if (keep < 1 || keep > m_queue.count()) keep = m_queue.count();
        m_keep_position = entry_position(keep);
        sd::reset(m_spec.view, entry_position(1));
    } else {
        m_keep_position.clear();
        reset_view();
    }
    m_queue.free();
    m_positions.clear();
    fill(m_rows, mode != 4);
    if (!m_keep_position.empty() && int(m_queue.count()) < m_rows && !m_close_requested) {
        if (m_queue.count() == 0) reset_view();
        fill(m_rows - int(m_queue.count()), mode == 4);
    }
    if (m_queue.count() > 0) {
        int row = 0;
        if (m_keep_position.empty()) {
            row = mode == 4 ? int(m_queue.count()) : 1;
        } else {
            for (std::size_t i = 1; i <= m_positions.size() && row == 0; ++i)
                if (m_positions[i - 1] == m_keep_position) row = int(i);
            if (row == 0) row = int(m_queue.count());
        }
        m_highlight = row;
        load_highlighted();
        m_change_enabled = true;
    } else {
        m_spec.clear_record();
        m_highlight = 0;
        m_change_enabled = false;
    }
}

void BrowsePage::choose_order(int order, bool forced, bool select_request) {
    m_previous_order = m_order;
    bool limit_changed = false;
    if (order == m_order) {
        const BrowseOrder* o = current();
        if (o != nullptr && o->limit != nullptr && o->limit_source != nullptr &&
            std::memcmp(o->limit, o->limit_source, o->limit_size) != 0)
            limit_changed = true;
        if (!limit_changed && !forced) {
            load_highlighted();
            return;
        }
    }
    get_record();
    m_order = order;
    if (!reset_view()) {
        m_queue.free();
        m_positions.clear();
        m_highlight = 0;
        m_change_enabled = false;
        return;
    }
    if (m_previous_order == 0) {
        if (select_request) {
            locate(2);
        } else {
            rebuild(3);
            post_new_selection();
        }
    } else if (limit_changed) {
        rebuild(3);
        post_new_selection();
    } else {
        locate(2);
    }
    load_highlighted();
    compute_distribution();
}

void BrowsePage::compute_distribution() {
    const BrowseOrder* o = current();
    m_has_distribution = false;
    if (o == nullptr || o->distribution == BrowseOrder::Distribution::kNone) return;
    // The reads below go through the record buffer, which holds the highlighted row.
    const std::vector<char> saved(m_spec.primary->record, m_spec.primary->record + m_spec.primary->record_length);
    auto restore = [&] { std::memcpy(m_spec.primary->record, saved.data(), saved.size()); };
    auto read_end = [&](bool last, std::string* text, double* number) {
        if (!reset_view()) return false;
        const int result = last ? sd::previous(m_spec.view) : sd::next(m_spec.view);
        if (result == sk::rt::kRecordNotAvailable) {
            restore_limit();
            return false;
        }
        if (result != 0) {
            fetch_error();
            return false;
        }
        if (o->distribution == BrowseOrder::Distribution::kText) text->assign(o->component, o->component_length);
        else *number = o->read_number();
        return true;
    };
    std::string low_text, high_text;
    double low = 0, high = 0;
    if (read_end(true, &high_text, &high) && read_end(false, &low_text, &low)) {
        if (o->distribution == BrowseOrder::Distribution::kText)
            m_text = text_distribution(low_text, high_text, o->component_length, thumb_alphabet());
        else
            m_numbers = numeric_distribution(low, high);
        m_has_distribution = true;
    }
    restore();
}

void BrowsePage::set_thumb_from_highlight() {
    const BrowseOrder* o = current();
    if (o == nullptr || !m_has_distribution) return;
    if (o->distribution == BrowseOrder::Distribution::kText)
        m_thumb = thumb_for_text(m_text, std::string_view(o->component, o->component_length));
    else if (o->distribution == BrowseOrder::Distribution::kNumeric)
        m_thumb = thumb_for_number(m_numbers, o->read_number());
}

void BrowsePage::new_selection() {
    m_selection_pending = false;
    if (m_queue.count() == 0) return;
    set_highlight(m_highlight);
    load_highlighted();
    if (int(m_queue.count()) < m_rows) {
        m_scroll_bar_shown = false;
    } else {
        m_scroll_bar_shown = true;
        set_thumb_from_highlight();
    }
}

BrowsePage::DragResult BrowsePage::thumb_drag(int p) {
    if (p <= 1) return DragResult::kTop;
    if (p >= 100) return DragResult::kBottom;
    const BrowseOrder* o = current();
    if (o == nullptr || o->distribution == BrowseOrder::Distribution::kNone || !m_has_distribution) return DragResult::kNone;
    if (o->distribution == BrowseOrder::Distribution::kText)
        set_fixed(o->component, o->component_length, m_text[std::size_t(p) - 1]);
    else
        o->write_number(m_numbers[std::size_t(p) - 1]);
    locate(2);
    return DragResult::kLocated;
}

bool BrowsePage::get_record() {
    if (m_queue.count() == 0) return false;
    // The buffer takes the entry first, so that it holds the highlighted row
    // even when the stored version cannot be read back.
    set_highlight(m_highlight);
    load_highlighted();
    if (!m_view_open) return false;
    const std::string position = entry_position(std::size_t(m_highlight));
    if (sd::watch(m_spec.view) != 0) return false;
    return sd::reget(m_spec.view, position) == 0;
}

void BrowsePage::remove_highlighted() {
    if (m_highlight < 1 || std::size_t(m_highlight) > m_queue.count()) return;
    m_queue.remove(std::size_t(m_highlight));
    m_positions.erase(m_positions.begin() + (m_highlight - 1));
}

}  // namespace sk::app
