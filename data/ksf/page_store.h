// Pages in memory and the stores that hold them.
//
// A KsfPage keeps its records in a balanced search tree (std::map, ordered by
// unsigned bytes of the key part) so that search, insertion and deletion inside
// a page are logarithmic; its encoded image is built only when it is stored.
// The page tree works on pages through a PageStore, which loads pages by
// reference, creates new ones, releases emptied ones and keeps the root
// reference. Pages a store hands out stay valid until the tree operation ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "data/ksf/cipher.h"
#include "data/ksf/format.h"
#include "data/ksf/header.h"
#include "data/ksf/journal.h"
#include "data/ksf/page_image.h"
#include "platform/file.h"

namespace sk::ksf {

struct PageSlot {
    std::string data;    // leaf records: the data part; separators have none
    PageRef child = 0;   // index pages: the child page
};

class KsfPage {
public:
    using Records = std::map<std::string, PageSlot, std::less<>>;

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
    std::string_view first_key() const { return m_records.begin()->first; }
    std::size_t estimated() const { return m_estimated; }
    bool dirty() const { return m_dirty; }
    void set_dirty(bool d) { m_dirty = d; }

    // Requires: no record with this key part. Keeps the estimate.
    void insert(std::string key, PageSlot slot);
    void insert_node(Records::node_type node);
    Records::node_type extract(Records::const_iterator it);
    void erase(std::string_view key);
    Records::iterator find(std::string_view key) { return m_records.find(key); }
    Records::const_iterator find(std::string_view key) const { return m_records.find(key); }
    Records& mutable_records() { return m_records; }
    // Recomputes the estimate from the records (after the records were moved).
    void recompute_estimate();
    // What a record adds to this page's estimate.
    std::size_t entry_estimate(std::string_view key, const PageSlot& slot) const;

    // Whether the split rule asks for this page to be split.
    bool needs_split() const;

    // The page as a stored image would hold it, with own offset and children.
    PageContent content() const;
    // Replaces the page's records by those of a decoded image. False when the
    // records are not strictly ascending or an index page carries data.
    bool assign(const PageContent& content);

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
    // A new empty page of the given level, not yet placed (a negative reference).
    virtual KsfPage* create(unsigned level) = 0;
    // The page is no longer in the tree: its slot is given up.
    virtual void release(KsfPage* page) = 0;
    // The page changed.
    virtual void mark_dirty(KsfPage* page) { page->set_dirty(true); }

    // Leaf hints, so that a run of lookups near one another need not descend
    // from the root each time. A store may remember the leaf a descent ended in
    // with the key range [low, high) that leads to it (an absent bound is open)
    // and answer later keys in that range with it, for as long as no page of
    // the tree has changed, moved or left the cache. The default keeps none.
    virtual KsfPage* hinted_leaf(std::string_view /*key*/) { return nullptr; }
    virtual void remember_leaf(KsfPage* /*leaf*/, const std::string_view* /*low*/, const std::string_view* /*high*/) {}
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
