// Descent, insertion with splitting, deletion with separator refresh, seeking
// and the invariant check of the page tree.
#include "data/ksf/page_tree.h"

#include <algorithm>

namespace sk::ksf {

namespace {

Record record_at(KsfPage::Records::const_iterator it) { return Record::of(it->first, it->second.data); }

// The record at it into out, reusing out's buffer.
void copy_record(KsfPage::Records::const_iterator it, Record* out) {
    const auto e = *it;
    out->bytes.assign(e.first);
    out->bytes.append(e.second.data);
    out->key_length = e.first.size();
}

// The first record of a leaf at or after key (forward), or the last at or before
// it; exclusive of key itself unless inclusive. False when the leaf has none.
bool seek_in_leaf(const KsfPage& leaf, std::string_view key, bool forward, bool inclusive, Record* out) {
    const auto& recs = leaf.records();
    if (forward) {
        auto it = inclusive ? recs.lower_bound(key) : recs.upper_bound(key);
        if (it == recs.end()) return false;
        copy_record(it, out);
    } else {
        auto it = inclusive ? recs.upper_bound(key) : recs.lower_bound(key);
        if (it == recs.begin()) return false;
        copy_record(std::prev(it), out);
    }
    return true;
}

}  // namespace

int PageTree::descend(std::string_view key, unsigned level, bool lower_first, std::vector<Step>* path,
                      KsfPage** target, bool copy_separators) {
    *target = nullptr;
    if (path) path->clear();
    if (level == 0 && path == nullptr) {
        // An insertion may take a hinted leaf unless the key goes below the
        // leaf's first record: then the leftmost separators must be lowered.
        KsfPage* leaf = m_store.hinted_leaf(key, &m_leaf_high, &m_leaf_has_high);
        if (leaf && (!lower_first || (!leaf->empty() && compare_keys(key, leaf->first_key()) > 0))) {
            *target = leaf;
            return 0;
        }
    }
    const PageRef root = m_store.root();
    if (root == kNoPage) return kTreeNone;
    // The key range that leads to the page reached: the nearest separators
    // met on the way down (ranges nest, so the deepest ones are the tightest).
    std::string_view low, high;
    bool has_low = false, has_high = false;
    KsfPage* page = nullptr;
    bool from_index_hint = false;
    if (level == 0 && path == nullptr) {
        // A remembered index page just above the leaves saves the upper levels,
        // again only when no separator on the way would have to be lowered.
        page = m_store.hinted_index(key, &low, &high, &has_low, &has_high);
        if (page && lower_first && (page->empty() || compare_keys(key, page->first_key()) < 0)) page = nullptr;
        if (page == nullptr) has_low = has_high = false;
        from_index_hint = page != nullptr;
    }
    if (page == nullptr)
        if (int rc = m_store.load(root, &page)) return rc;
    while (page->level() > level) {
        if (level == 0 && page->level() == 1 && !from_index_hint)
            m_store.remember_index(page, has_low ? &low : nullptr, has_high ? &high : nullptr);
        if (page->empty()) {
            // Only the root may be an empty index page; the tree holds nothing.
            if (page->ref() != root) return 36;
            *target = page;
            return kTreeNone;
        }
        auto& recs = page->mutable_records();
        auto it = recs.upper_bound(key);
        if (it == recs.begin()) {
            // Below every separator: the first child. Lowering its separator to
            // the new key keeps T2, so a later split of that child cannot put a
            // separator before it.
            if (lower_first) {
                const PageSlot slot = it->second;
                page->erase(it->first);
                page->insert(key, slot);
                m_store.mark_dirty(page);
                m_pending.push_back(page->ref());
                it = recs.begin();
            }
        } else {
            --it;
        }
        if (it != recs.begin()) {
            low = it->first;
            has_low = true;
        }
        if (auto after = std::next(it); after != recs.end()) {
            high = after->first;
            has_high = true;
        }
        if (path) path->push_back({page, copy_separators ? std::string(it->first) : std::string(), it});
        const unsigned want = page->level() - 1;
        KsfPage* child = nullptr;
        if (int rc = m_store.load_child(*page, it.index(), it->second.child, &child)) return rc;
        if (child->level() != want) return 36;
        page = child;
    }
    if (page->level() != level) return 36;
    *target = page;
    if (level == 0) {
        m_store.remember_leaf(page, has_low ? &low : nullptr, has_high ? &high : nullptr);
        m_leaf_high = high;
        m_leaf_has_high = has_high;
    }
    return 0;
}

int PageTree::descend_edge(KsfPage* page, bool leftmost, KsfPage** leaf) {
    while (!page->is_leaf()) {
        if (page->empty()) return 36;
        const PageRef child_ref = leftmost ? page->records().begin()->second.child
                                           : std::prev(page->records().end())->second.child;
        KsfPage* child = nullptr;
        if (int rc = m_store.load(child_ref, &child)) return rc;
        if (child->level() + 1 != page->level()) return 36;
        page = child;
    }
    *leaf = page;
    return 0;
}

int PageTree::find(std::string_view key, Record* out) {
    KsfPage* leaf = nullptr;
    if (int rc = descend(key, 0, false, nullptr, &leaf)) return rc;
    auto it = leaf->find(key);
    if (it == leaf->records().end()) return kTreeNone;
    *out = record_at(it);
    return 0;
}

int PageTree::find_data(std::string_view key, std::string* data) {
    KsfPage* leaf = nullptr;
    if (int rc = descend(key, 0, false, nullptr, &leaf)) return rc;
    auto it = leaf->find(key);
    if (it == leaf->records().end()) return kTreeNone;
    data->assign(it->second.data);
    return 0;
}

int PageTree::seek(std::string_view key, bool forward, bool inclusive, Record* out) {
    // The answer reuses out's buffer: a key that lives in it is copied first.
    std::string held;
    if (!key.empty() && !out->bytes.empty() && key.data() >= out->bytes.data() &&
        key.data() < out->bytes.data() + out->bytes.size()) {
        held.assign(key);
        key = held;
    }
    const int rc = seek_unchecked(key, forward, inclusive, out);
    if (rc != 0) return rc;
    // A damaged file could hand back a record on the wrong side of key; a caller
    // stepping through the tree would then never reach the end.
    const int c = compare_keys(out->key(), key);
    if (forward ? (inclusive ? c < 0 : c <= 0) : (inclusive ? c > 0 : c >= 0)) return 36;
    return 0;
}

int PageTree::seek_unchecked(std::string_view key, bool forward, bool inclusive, Record* out) {
    // Within a hinted leaf the answer is final when it lies in the leaf;
    // otherwise the path from the root finds the neighbouring leaf.
    if (KsfPage* hinted = m_store.hinted_leaf(key); hinted && seek_in_leaf(*hinted, key, forward, inclusive, out))
        return 0;
    std::vector<Step> path;
    path.reserve(8);
    KsfPage* leaf = nullptr;
    if (int rc = descend(key, 0, false, &path, &leaf, false)) return rc;
    if (seek_in_leaf(*leaf, key, forward, inclusive, out)) return 0;
    // Past the edge of this leaf: the nearest sibling subtree on the way up.
    for (std::size_t i = path.size(); i-- > 0;) {
        const auto& idx = path[i].page->records();
        KsfPage::Records::const_iterator it = path[i].at;
        if (forward) {
            if (++it == idx.end()) continue;
        } else {
            if (it == idx.begin()) continue;
            --it;
        }
        KsfPage* child = nullptr;
        if (int rc = m_store.load(it->second.child, &child)) return rc;
        KsfPage* edge = nullptr;
        if (int rc = descend_edge(child, forward, &edge)) return rc;
        if (edge->empty()) return 36;
        *out = record_at(forward ? edge->records().begin() : std::prev(edge->records().end()));
        return 0;
    }
    return kTreeNone;
}

int PageTree::collect(std::string_view prefix, std::vector<Record>* out) {
    return scan(prefix, [out](std::string_view key, std::string_view data) {
        out->push_back(Record::of(key, data));
        return true;
    });
}

int PageTree::scan(std::string_view prefix, const std::function<bool(std::string_view, std::string_view)>& visit) {
    const auto has_prefix = [&](std::string_view key) {
        return key.size() >= prefix.size() && key.substr(0, prefix.size()) == prefix;
    };
    std::string from(prefix);
    bool inclusive = true;
    for (;;) {
        KsfPage* leaf = nullptr;
        int rc = descend(from, 0, false, nullptr, &leaf);
        if (rc == kTreeNone) return 0;
        if (rc != 0) return rc;
        const bool range_ends_here = !m_leaf_has_high || !has_prefix(m_leaf_high);
        const auto& recs = leaf->records();
        auto it = inclusive ? recs.lower_bound(from) : recs.upper_bound(from);
        const auto start = it;
        for (; it != recs.end(); ++it) {
            if (!has_prefix(it->first)) return 0;
            if (!visit(it->first, it->second.data)) return 0;
        }
        if (it != start) {
            from.assign(std::prev(it)->first);
            inclusive = false;
        }
        if (range_ends_here) return 0;
        // The leaf ended with the range still open: the following record
        // decides, and its leaf is read from there on.
        Record next;
        rc = seek(from, true, inclusive, &next);
        if (rc == kTreeNone) return 0;
        if (rc != 0) return rc;
        if (!has_prefix(next.key())) return 0;
        if (!visit(next.key(), next.data())) return 0;
        from.assign(next.key());
        inclusive = false;
    }
}

int PageTree::first(Record* out) { return seek(std::string_view(), true, true, out); }

int PageTree::last(Record* out) {
    const PageRef root = m_store.root();
    if (root == kNoPage) return kTreeNone;
    KsfPage* page = nullptr;
    if (int rc = m_store.load(root, &page)) return rc;
    if (page->empty()) return kTreeNone;
    KsfPage* leaf = nullptr;
    if (int rc = descend_edge(page, false, &leaf)) return rc;
    if (leaf->empty()) return 36;
    *out = record_at(std::prev(leaf->records().end()));
    return 0;
}

int PageTree::insert(const Record& record) {
    if (record.size() >= kRecordLimit) internal_error(814);
    if (m_store.root() == kNoPage) {
        KsfPage* leaf = m_store.create(0);
        m_store.set_root(leaf->ref());
    } else {
        KsfPage* root = nullptr;
        if (int rc = m_store.load(m_store.root(), &root)) return rc;
        if (!root->is_leaf() && root->empty()) {
            root->set_level(0);
            m_store.mark_dirty(root);
        }
    }
    int rc = insert_at_level(record, 0, 0);
    if (rc == 0) rc = run_pending_splits();
    m_pending.clear();
    return rc;
}

int PageTree::insert_at_level(const Record& record, PageRef child, unsigned level) {
    KsfPage* page = nullptr;
    if (int rc = descend(record.key(), level, true, nullptr, &page)) return rc == kTreeNone ? 36 : rc;
    auto at = page->records().lower_bound(record.key());
    if (at != page->records().end() && at->first == record.key()) internal_error(696);
    PageSlot slot;
    slot.data = record.data();
    slot.child = child;
    page->insert(at, record.key(), slot);
    m_store.mark_dirty(page);
    return apply_split_rule(page->ref());
}

int PageTree::apply_split_rule(PageRef ref) {
    KsfPage* page = nullptr;
    if (int rc = m_store.load(ref, &page)) return rc;
    if (!page->needs_split()) return 0;
    if (page->count() < 2) internal_error(1369);
    if (ref == m_store.root()) return split_root(page);
    return split(page);
}

int PageTree::split_root(KsfPage* root) {
    // The root keeps its reference: a new page takes over its records and the
    // root becomes an index page one level higher above it.
    m_store.ranges_changed();
    KsfPage* low = m_store.create(root->level());
    low->mutable_records().swap(root->mutable_records());
    low->recompute_estimate();
    root->set_level(root->level() + 1);
    PageSlot slot;
    slot.child = low->ref();
    root->insert(low->first_key(), slot);
    m_store.mark_dirty(root);
    m_store.mark_dirty(low);
    return split(low);
}

int PageTree::split(KsfPage* page) {
    // The left half stays; the right half, with the middle record when the
    // count is odd, moves to the new page.
    KsfPage* right = m_store.create(page->level());
    const std::size_t keep = page->count() / 2;
    page->move_tail(keep, right);
    if (page->is_leaf())
        m_store.leaf_split(page, right);
    else if (page->level() == 1)
        m_store.index_split(page);
    m_store.mark_dirty(page);
    m_store.mark_dirty(right);
    const PageRef left_ref = page->ref(), right_ref = right->ref();
    const Record separator = Record::of(right->first_key());
    if (int rc = insert_at_level(separator, right_ref, page->level() + 1)) return rc;
    if (int rc = apply_split_rule(left_ref)) return rc;
    return apply_split_rule(right_ref);
}

int PageTree::run_pending_splits() {
    while (!m_pending.empty()) {
        const PageRef ref = m_pending.back();
        m_pending.pop_back();
        KsfPage* page = nullptr;
        // A page released since it was noted has nothing left to split.
        if (m_store.load(ref, &page) != 0) continue;
        if (int rc = apply_split_rule(ref)) return rc;
    }
    return 0;
}

int PageTree::remove(std::string_view key) {
    std::vector<Step> path;
    KsfPage* leaf = nullptr;
    if (int rc = descend(key, 0, false, &path, &leaf)) return rc;
    if (leaf->find(key) == leaf->records().end()) return kTreeNone;
    leaf->erase(key);
    m_store.mark_dirty(leaf);
    m_store.ranges_changed();

    // Back up the path: release emptied children with their separators, and
    // refresh a separator whose child's first record changed (T1, T2).
    KsfPage* child = leaf;
    for (std::size_t i = path.size(); i-- > 0;) {
        KsfPage* idx = path[i].page;
        const std::string& sep = path[i].separator;
        if (child->empty()) {
            m_store.release(child);
            idx->erase(sep);
        } else if (child->first_key() != sep) {
            PageSlot slot;
            slot.child = child->ref();
            idx->erase(sep);
            idx->insert(child->first_key(), slot);
            m_pending.push_back(idx->ref());
        } else {
            break;
        }
        m_store.mark_dirty(idx);
        child = idx;
    }
    KsfPage* root = nullptr;
    int rc = m_store.load(m_store.root(), &root);
    if (rc == 0 && !root->is_leaf() && root->empty()) {
        root->set_level(0);
        m_store.mark_dirty(root);
    }
    if (rc == 0) rc = run_pending_splits();
    m_pending.clear();
    return rc;
}

int PageTree::replace(const Record& record) {
    if (record.size() >= kRecordLimit) internal_error(814);
    KsfPage* leaf = nullptr;
    if (int rc = descend(record.key(), 0, false, nullptr, &leaf)) return rc;
    auto it = leaf->find(record.key());
    if (it == leaf->records().end()) return kTreeNone;
    leaf->replace_data(it, record.data());
    m_store.mark_dirty(leaf);
    return apply_split_rule(leaf->ref());
}

int PageTree::depth() {
    const PageRef root = m_store.root();
    if (root == kNoPage) return 0;
    KsfPage* page = nullptr;
    if (m_store.load(root, &page) != 0) return 0;
    return static_cast<int>(page->level()) + 1;
}

std::vector<std::string> PageTree::check(std::vector<Record>* records) {
    std::vector<std::string> defects;
    const PageRef root = m_store.root();
    if (root == kNoPage) return defects;
    check_page(root, -1, nullptr, nullptr, true, &defects, records, 64);
    return defects;
}

void PageTree::check_page(PageRef ref, int level, const std::string_view* low, const std::string_view* high, bool is_root,
                          std::vector<std::string>* defects, std::vector<Record>* records, int depth_left) {
    const std::string where = "page " + std::to_string(ref) + ": ";
    KsfPage* page = nullptr;
    if (int rc = m_store.load(ref, &page)) {
        defects->push_back(where + "cannot be loaded (" + std::to_string(rc) + ")");
        return;
    }
    if (depth_left <= 0) {
        defects->push_back(where + "tree too deep");
        return;
    }
    if (level >= 0 && static_cast<int>(page->level()) != level)
        defects->push_back(where + "level " + std::to_string(page->level()) + ", expected " + std::to_string(level));
    if (page->empty()) {
        if (!is_root) defects->push_back(where + "holds no records");
        return;
    }
    if (!is_root && low && page->first_key() != *low) defects->push_back(where + "separator differs from first key");
    const auto& recs = page->records();
    if (low && recs.begin()->first < *low) defects->push_back(where + "key below its separator");
    if (high && !(page->last_key() < *high)) defects->push_back(where + "key at or above the next separator");
    const std::size_t estimated = page->estimated();
    KsfPage copy(page->ref(), page->level());
    copy.mutable_records() = recs;
    copy.recompute_estimate();
    if (copy.estimated() != estimated) defects->push_back(where + "estimate out of step");
    if (page->needs_split()) defects->push_back(where + "exceeds the split limits");
    std::vector<std::uint8_t> image, direct;
    if (int rc = build_page_image(page->content(), &image))
        defects->push_back(where + "cannot be stored (" + std::to_string(rc) + ")");
    else if (page->build_image(&direct) != 0 || direct != image)
        defects->push_back(where + "image built from the page differs");
    if (page->is_leaf()) {
        for (const auto& [key, slot] : recs) {
            if (key.size() + slot.data.size() >= kRecordLimit) defects->push_back(where + "record too long");
            if (records) records->push_back(Record::of(key, slot.data));
        }
        return;
    }
    const int child_level = static_cast<int>(page->level()) - 1;
    for (auto it = recs.begin(); it != recs.end(); ++it) {
        if (!it->second.data.empty()) defects->push_back(where + "separator with data");
        auto next = std::next(it);
        const std::string_view separator = it->first;
        const std::string_view following = next == recs.end() ? std::string_view() : next->first;
        const std::string_view* next_high = next == recs.end() ? high : &following;
        check_page(it->second.child, child_level, &separator, next_high, false, defects, records, depth_left - 1);
    }
}

}  // namespace sk::ksf
