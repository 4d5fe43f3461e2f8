// Pages in memory and the stores that hold them.
//
// A KsfPage keeps its records in key order (unsigned bytes of the key part) in
// a PageRecords: one buffer holds the bytes of every record and a sorted array
// of small entries points into it, so that a search is a binary search over
// one array and a page costs two allocations however many records it holds.
// Its encoded image is built only when it is stored. The page tree works on
// pages through a PageStore, which loads pages by reference, creates new ones,
// releases emptied ones and keeps the root reference. Pages a store hands out
// stay valid until the tree operation ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/ksf/cipher.h"
#include "data/ksf/format.h"
#include "data/ksf/header.h"
#include "data/ksf/journal.h"
#include "data/ksf/page_image.h"
#include "platform/file.h"

namespace sk::ksf {

// What a page holds for one record besides its key part.
struct PageSlot {
    std::string_view data;  // leaf records: the data part; separators have none
    PageRef child = 0;      // index pages: the child page
};

// A page's records in ascending key order. Iterators are positions: they stay
// valid while no record is inserted or erased before them. The views an
// iterator gives (key and data) stay valid until the records next change.
class PageRecords {
public:
    struct Entry {
        std::string_view first;  // the key part
        PageSlot second;
    };

    class iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using reference = Entry;
        struct pointer {
            Entry e;
            const Entry* operator->() const { return &e; }
        };

        iterator() = default;
        iterator(const PageRecords* owner, std::size_t at) : m_owner(owner), m_at(at) {}
        Entry operator*() const { return m_owner->entry(m_at); }
        pointer operator->() const { return {m_owner->entry(m_at)}; }
        Entry operator[](difference_type n) const { return m_owner->entry(m_at + n); }
        iterator& operator++() {
            ++m_at;
            return *this;
        }
        iterator operator++(int) {
            iterator t = *this;
            ++m_at;
            return t;
        }
        iterator& operator--() {
            --m_at;
            return *this;
        }
        iterator operator--(int) {
            iterator t = *this;
            --m_at;
            return t;
        }
        iterator& operator+=(difference_type n) {
            m_at += n;
            return *this;
        }
        iterator& operator-=(difference_type n) {
            m_at -= n;
            return *this;
        }
        friend iterator operator+(iterator i, difference_type n) { return i += n; }
        friend iterator operator+(difference_type n, iterator i) { return i += n; }
        friend iterator operator-(iterator i, difference_type n) { return i -= n; }
        friend difference_type operator-(const iterator& a, const iterator& b) {
            return static_cast<difference_type>(a.m_at) - static_cast<difference_type>(b.m_at);
        }
        friend bool operator==(const iterator& a, const iterator& b) { return a.m_at == b.m_at; }
        friend auto operator<=>(const iterator& a, const iterator& b) { return a.m_at <=> b.m_at; }
        std::size_t index() const { return m_at; }

    private:
        const PageRecords* m_owner = nullptr;
        std::size_t m_at = 0;
    };
    using const_iterator = iterator;

    iterator begin() const { return {this, 0}; }
    iterator end() const { return {this, m_items.size()}; }
    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    std::string_view key(std::size_t i) const {
        return {m_bytes.data() + m_items[i].offset, m_items[i].key_length};
    }
    Entry entry(std::size_t i) const {
        const Item& it = m_items[i];
        const char* p = m_bytes.data() + it.offset;
        return {{p, it.key_length}, {{p + it.key_length, it.data_length}, it.child}};
    }

    // The first record whose key is not below (lower_bound) or above (upper_bound) key.
    iterator lower_bound(std::string_view key) const;
    iterator upper_bound(std::string_view key) const;
    iterator find(std::string_view key) const {
        iterator it = lower_bound(key);
        return it != end() && compare_at(it.index(), key) == 0 ? it : end();
    }

    // Requires: at is the place of key (between its neighbours in order).
    void insert(iterator at, std::string_view key, std::string_view data, PageRef child);
    void erase(iterator at);
    void set_data(iterator at, std::string_view data);
    void set_child(iterator at, PageRef child) { m_items[at.index()].child = child; }
    // Moves the records from position from on to the end of right, which
    // holds none above them.
    void move_tail(std::size_t from, PageRecords* right);
    void swap(PageRecords& other) noexcept {
        m_items.swap(other.m_items);
        m_bytes.swap(other.m_bytes);
        std::swap(m_garbage, other.m_garbage);
    }
    void clear() {
        m_items.clear();
        m_bytes.clear();
        m_garbage = 0;
    }
    void reserve(std::size_t records, std::size_t bytes) {
        m_items.reserve(records);
        m_bytes.reserve(bytes);
    }
    // Appends a record above all others (for building a page in order).
    void push_back(std::string_view key, std::string_view data, PageRef child);

private:
    // The first bytes of every key sit in its entry, so that a search
    // compares short keys (data records, memo chunks) without touching the
    // buffer and long ones only once their first bytes agree.
    static constexpr std::size_t kHead = 16;
    struct Item {
        std::uint32_t offset;
        std::uint16_t key_length;
        std::uint16_t data_length;
        PageRef child;
        unsigned char head[kHead];  // the key's first bytes, zero-filled
    };
    // Arrays up to this size are fetched whole before a search.
    static constexpr std::size_t kPrefetchBytes = 2048;
    void prefetch_items() const;
    static Item make_item(std::uint32_t offset, std::string_view key, std::string_view data, PageRef child);
    // compare_keys(key of item i, key).
    int compare_at(std::size_t i, std::string_view key) const;
    // Appends the record's bytes to the buffer and returns their offset.
    std::uint32_t store(std::string_view key, std::string_view data);
    // Rewrites the buffer without the bytes of records since erased or changed.
    void compact();

    std::vector<Item> m_items;
    std::string m_bytes;
    std::size_t m_garbage = 0;  // bytes in m_bytes that no record uses
};

class KsfPage {
public:
    using Records = PageRecords;

    KsfPage(PageRef ref, unsigned level) : m_ref(ref), m_level(level) {}

    PageRef ref() const { return m_ref; }
    void set_ref(PageRef r) { m_ref = r; }
    unsigned level() const { return m_level; }
    bool is_leaf() const { return m_level == 0; }
    // Changing the level empties nothing; the caller keeps records and level fitting.
    void set_level(unsigned level);

    const Records& records() const { return m_records; }
    std::size_t count() const { return m_records.size(); }
    bool empty() const { return m_records.empty(); }
    std::string_view first_key() const { return m_records.key(0); }
    std::string_view last_key() const { return m_records.key(m_records.size() - 1); }
    std::size_t estimated() const { return m_estimated; }
    bool dirty() const { return m_dirty; }
    void set_dirty(bool d) { m_dirty = d; }

    // Requires: no record with this key part. Keeps the estimate.
    void insert(std::string_view key, PageSlot slot);
    // The same with the record's place: at is the first record after it.
    void insert(Records::iterator at, std::string_view key, PageSlot slot);
    // Replaces a leaf record's data part. Keeps the estimate.
    void replace_data(Records::iterator it, std::string_view data);
    void set_child(Records::iterator it, PageRef child) { m_records.set_child(it, child); }
    // Moves the records from position from on to right (an empty page).
    void move_tail(std::size_t from, KsfPage* right);
    void erase(std::string_view key);
    Records::iterator find(std::string_view key) const { return m_records.find(key); }
    Records& mutable_records() { return m_records; }
    // Recomputes the estimate from the records (after the records were moved).
    void recompute_estimate();
    // What a record adds to this page's estimate.
    std::size_t entry_estimate(std::size_t key_size, std::size_t data_size) const {
        return key_size + data_size + kRecordOverhead + (m_level > 0 ? 4 : 0);
    }

    // Whether the split rule asks for this page to be split.
    bool needs_split() const;

    // The page as a stored image would hold it, with own offset and children.
    PageContent content() const;
    // Its stored image, as build_page_image(content()) makes it, without
    // copying the records first.
    int build_image(std::vector<std::uint8_t>* image, PageImageInfo* info = nullptr) const;
    // Replaces the page's records by those of a decoded image. False when the
    // records are not strictly ascending or an index page carries data.
    bool assign(const PageContent& content);
    // Replaces the page's records and level by those of a stored image of n
    // bytes: 0, the error decode_page_image() gives, or 36 where assign()
    // would answer false. own_offset receives the image's own offset.
    int decode(const std::uint8_t* image, std::size_t n, std::uint32_t* own_offset);

    // For the store: the cache entries of children it found through this
    // page, by position, with the store's stamp when they were noted.
    mutable std::vector<void*> child_entries;
    // For the store: the page's own cache entry.
    mutable void* store_entry = nullptr;
    mutable std::uint64_t child_entries_stamp = 0;

private:
    PageRef m_ref;
    unsigned m_level;
    Records m_records;
    std::size_t m_estimated = kPageHeaderSize;
    bool m_dirty = false;
};

class PageStore {
public:
    virtual ~PageStore() = default;
    virtual PageRef root() const = 0;
    virtual void set_root(PageRef r) = 0;
    // Loads page r. Returns 0, or an error: 36 for a reference that names no page
    // or a page that cannot be read back, 1482 or 1607 for a page whose image does
    // not fit its size class or its expanded length.
    virtual int load(PageRef r, KsfPage** out) = 0;
    // Loads the child at position at of index page parent (reference r).
    virtual int load_child(const KsfPage& /*parent*/, std::size_t /*at*/, PageRef r, KsfPage** out) {
        return load(r, out);
    }
    // A new empty page of the given level, not yet placed (a negative reference).
    virtual KsfPage* create(unsigned level) = 0;
    // The page is no longer in the tree: its slot is given up.
    virtual void release(KsfPage* page) = 0;
    // The page changed.
    virtual void mark_dirty(KsfPage* page) { page->set_dirty(true); }

    // Leaf hints, so that a run of lookups and insertions near one another
    // need not descend from the root each time. A store may remember the leaf a
    // descent ended in with the key range [low, high) that leads to it (an
    // absent bound is open) and answer later keys in that range with it. A
    // leaf's range stays as it is while records are inserted into it or
    // replaced; the tree reports the changes that move ranges: a leaf split
    // (the left leaf's range ends at the right one's first key) and anything
    // else (a deletion, a root split), after which no hint holds. A store also
    // forgets a leaf that leaves its cache. The default keeps none.
    // (high, has_high: when not null, set to the upper end of the leaf's range.)
    virtual KsfPage* hinted_leaf(std::string_view /*key*/, std::string_view* /*high*/ = nullptr,
                                 bool* /*has_high*/ = nullptr) {
        return nullptr;
    }
    virtual void remember_leaf(KsfPage* /*leaf*/, const std::string_view* /*low*/, const std::string_view* /*high*/) {}
    virtual void leaf_split(KsfPage* /*left*/, KsfPage* /*right*/) {}
    virtual void ranges_changed() {}
    // The same one level up, for the index pages just above the leaves: a
    // descent may start at a remembered one whose range holds the key; it
    // gives the page and sets its range (valid until the next call). A split
    // of such a page narrows its range.
    virtual KsfPage* hinted_index(std::string_view /*key*/, std::string_view* /*low*/, std::string_view* /*high*/,
                                  bool* /*has_low*/, bool* /*has_high*/) {
        return nullptr;
    }
    virtual void remember_index(KsfPage* /*page*/, const std::string_view* /*low*/, const std::string_view* /*high*/) {}
    virtual void index_split(KsfPage* /*left*/) {}
};

// All pages in memory, for tests and for private trees. New pages get the
// references -1, -2, ...
class MemoryPageStore : public PageStore {
public:
    PageRef root() const override { return m_root; }
    void set_root(PageRef r) override { m_root = r; }
    int load(PageRef r, KsfPage** out) override;
    KsfPage* create(unsigned level) override;
    void release(KsfPage* page) override;
    std::size_t page_count() const { return m_pages.size(); }
    // Calls f for every page held.
    void for_each(const std::function<void(const KsfPage&)>& f) const;

private:
    PageRef m_root = kNoPage;
    PageRef m_next = -1;
    std::map<PageRef, std::unique_ptr<KsfPage>> m_pages;
};

// Reads the pages of an existing file through the block rule of its header.
// With a journal pending it reads the committed state: the journal's header
// copy and the journal copies of pages (the file itself is not changed; copying
// the journal home is the opener's business). Pages are kept once loaded.
// A store for reading: new pages live in memory only (with negative references) until placement gives them a home, which is
// the commit's business.
class FilePageStore : public PageStore {
public:
    // cipher (may be null) deciphers every read of an enciphered file.
    explicit FilePageStore(sk::platform::File& file, const PageCipher* cipher = nullptr)
        : m_file(file), m_cipher(cipher) {}
    // Reads the header (and walks a pending journal). Returns 0, or 1 when the
    // file is not a KSF file (shorter than 512 bytes, wrong signature), or 36 when
    // it or its journal cannot be read.
    int open();
    const Header& header() const { return m_header; }
    const JournalIndex& journal() const { return m_journal; }
    PageRef root() const override { return m_root; }
    void set_root(PageRef r) override { m_root = r; }
    int load(PageRef r, KsfPage** out) override;
    KsfPage* create(unsigned level) override;
    void release(KsfPage* page) override;
    std::size_t loaded_count() const { return m_pages.size(); }

private:
    sk::platform::File& m_file;
    const PageCipher* m_cipher;
    Header m_header;
    JournalIndex m_journal;
    PageRef m_root = kNoPage;
    PageRef m_next = -1;
    std::map<PageRef, std::unique_ptr<KsfPage>> m_pages;
};

}  // namespace sk::ksf
