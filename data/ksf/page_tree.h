// The page tree: every record of a file in one B+-tree ordered by key part.
//
// Leaves (level 0) hold records; an index page (level n > 0) holds, per child,
// a separator equal to the key part of the child's first record, and the
// child's reference. Invariants the operations keep (check() verifies them):
//   T1  every page below the root holds records; levels fall by one per step
//   T2  a separator equals its child's first key part, also on the leftmost
//       path: a record inserted below a page's first separator lowers it
//   T3  all keys of a child lie in [its separator, the next separator)
//   T4  no page exceeds the split limits: estimate <= 15094, and <= 4096 when
//       it holds more than 20 records
//   T5  a page's estimate is 13 + 4 per child + each record's length + 5
// Pages are never merged and the tree never loses height, except that an index
// root whose last child went becomes an empty leaf again.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "data/ksf/page_store.h"
#include "data/ksf/record.h"

namespace sk::ksf {

// Results of tree operations besides 0 (done, found): kTreeNone for a record
// that is not there or a sequence that has ended; any other value is the error
// a page load reported (36, 1482, 1607).
inline constexpr int kTreeNone = 1;

class PageTree {
public:
    explicit PageTree(PageStore& store) : m_store(store) {}

    // The record whose key part equals key.
    // (seek answers 36 rather than a record on the wrong side of key, which only
    // a damaged file can produce, so that stepping always ends.)
    int find(std::string_view key, Record* out);
    // The same giving the data part alone, copied into data.
    int find_data(std::string_view key, std::string* data);
    // Forward: the first record at or after key (strictly after without
    // inclusive). Backward: the last record at or before key (strictly before).
    int seek(std::string_view key, bool forward, bool inclusive, Record* out);
    int first(Record* out);
    int last(Record* out);
    // The record after (before) the record with key part key, which need not
    // exist any more.
    int next(std::string_view key, Record* out) { return seek(key, true, false, out); }
    int previous(std::string_view key, Record* out) { return seek(key, false, false, out); }

    // Appends every record whose key part starts with prefix, in key order;
    // records of one leaf are taken without descending again.
    int collect(std::string_view prefix, std::vector<Record>* out);
    // Calls visit(key, data) for every record whose key part starts with
    // prefix, in key order, without copying them, until visit answers false.
    // The views are good for the call only.
    int scan(std::string_view prefix, const std::function<bool(std::string_view, std::string_view)>& visit);

    // Inserts a record. A record whose key part is already present is internal
    // error 696; a record of 15094 bytes or more is internal error 814.
    int insert(const Record& record);
    // Removes the record with key part key: 0, or kTreeNone when there is none.
    int remove(std::string_view key);
    // Replaces the data of the record with the same key part: 0, or kTreeNone
    // (and nothing changed) when there is none.
    int replace(const Record& record);

    // Verifies T1 to T5 and that every page still encodes to an image. Returns
    // the defects found, empty for a sound tree. With records, the leaf records
    // in order are appended to it.
    std::vector<std::string> check(std::vector<Record>* records = nullptr);
    // The number of levels (0 for a tree without pages).
    int depth();

private:
    struct Step {
        KsfPage* page;
        std::string separator;  // the separator in page that led to the next page (when asked for)
        KsfPage::Records::iterator at;  // that separator's place in page
    };

    // copy_separators: the path keeps each separator's text (for callers that
    // change the pages on the path); otherwise only its place.
    int descend(std::string_view key, unsigned level, bool lower_first, std::vector<Step>* path, KsfPage** target,
                bool copy_separators = true);
    int descend_edge(KsfPage* page, bool leftmost, KsfPage** leaf);
    int seek_unchecked(std::string_view key, bool forward, bool inclusive, Record* out);
    int insert_at_level(const Record& record, PageRef child, unsigned level);
    int apply_split_rule(PageRef ref);
    int split(KsfPage* page);
    int split_root(KsfPage* root);
    int run_pending_splits();
    void check_page(PageRef ref, int level, const std::string_view* low, const std::string_view* high, bool is_root,
                    std::vector<std::string>* defects, std::vector<Record>* records, int depth_left);

    PageStore& m_store;
    // The upper end of the key range of the leaf the last descent to a leaf
    // ended in (none: the last leaf). Valid until the tree or its hints change.
    std::string_view m_leaf_high;
    bool m_leaf_has_high = false;
    std::vector<PageRef> m_pending;  // pages whose separators changed: split rule to apply
};

}  // namespace sk::ksf
