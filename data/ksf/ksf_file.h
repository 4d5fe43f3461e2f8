// KsfFile: one open physical KSF file, shared by every table of the process
// that lives in it. It holds the header copy, the page cache with its dirty
// pages, the identifier counter, the space manager (homes for pages, page
// moves, block compaction) and the journalled commit. It is the PageStore the
// page tree works on. LOCKING.md beside this file gives the lock bracket and
// the commit protocol as numbered invariants (L1.., C1..).
#pragma once

#include <bit>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "data/ksf/cipher.h"
#include "data/ksf/header.h"
#include "data/ksf/journal.h"
#include "data/ksf/page_store.h"
#include "data/ksf/record.h"
#include "platform/file.h"

namespace sk::ksf {

// Lock bytes, all far beyond real data.
inline constexpr std::uint64_t kLockBase = 0x80000000ULL;
inline constexpr std::uint64_t kWriterRegionLength = 0x3FF;
inline constexpr std::uint64_t kRecordLockBase = 0x80000400ULL;
inline constexpr unsigned kReaderSlots = 0x3FF;  // slots 0..3FEh, inside the writer region

// Asks whether a pending journal belongs to a transaction that completed; set by
// the driver, which knows the transaction control file. Returns true to apply
// the journal. Without a hook every journal is applied.
class KsfFile;
using JournalDecisionHook = bool (*)(KsfFile& file, const Header& journal_header);

class KsfFile : public PageStore {
public:
    explicit KsfFile(std::string path) : m_path(std::move(path)) { content_changed(); }
    ~KsfFile() override;
    KsfFile(const KsfFile&) = delete;
    KsfFile& operator=(const KsfFile&) = delete;

    // Opens the physical file with the access mode byte (platform/file.h);
    // create makes it (empty) when missing. Returns 0, or the system error (2
    // missing, 5, 32 sharing violation, ...).
    // cipher, when not null, enciphers every block written and deciphers every
    // block read (a file opened with an owner password).
    int open(unsigned access_mode, bool create_missing, std::shared_ptr<const PageCipher> cipher = nullptr);
    void close();
    bool is_open() const { return m_file.is_open(); }
    const std::string& path() const { return m_path; }
    sk::platform::File& file() { return m_file; }
    bool read_only() const { return m_read_only; }
    // Opened with deny none or compatibility sharing: statements lock.
    bool shared() const { return m_shared; }
    bool deny_write() const { return m_deny_write; }
    const PageCipher* cipher() const { return m_cipher.get(); }

    // --- header -----------------------------------------------------------------
    // Refreshes the header copy (reloading the cache when another station
    // committed, recovering a pending journal). Returns 0, 1 when the file is not
    // a KSF file, 36 when it or its journal cannot be read, or a write error of
    // the journal recovery.
    int refresh();
    // Forces the next refresh to read the header (the copy becomes invalid).
    void invalidate() { m_valid = false; }
    const Header& header() const { return m_header; }
    bool header_dirty() const { return m_header_dirty; }
    void set_header_dirty() { m_header_dirty = true; }
    // Draws the next identifier. Returns 0; an exhausted counter is internal error 1178.
    int allocate_id(Id* out);
    void set_journal_hook(JournalDecisionHook hook) { m_journal_hook = hook; }

    // --- PageStore --------------------------------------------------------------
    PageRef root() const override { return m_root; }
    void set_root(PageRef r) override;
    int load(PageRef r, KsfPage** out) override;
    // Through the parent's note of the child's cache entry when it is still
    // the child's (no entry has left the cache since, the reference agrees).
    int load_child(const KsfPage& parent, std::size_t at, PageRef r, KsfPage** out) override;
    KsfPage* create(unsigned level) override;
    void release(KsfPage* page) override;
    void mark_dirty(KsfPage* page) override;
    KsfPage* hinted_leaf(std::string_view key, std::string_view* high = nullptr, bool* has_high = nullptr) override;
    void remember_leaf(KsfPage* leaf, const std::string_view* low, const std::string_view* high) override;
    void leaf_split(KsfPage* left, KsfPage* right) override;
    KsfPage* hinted_index(std::string_view key, std::string_view* low, std::string_view* high, bool* has_low,
                          bool* has_high) override;
    void remember_index(KsfPage* page, const std::string_view* low, const std::string_view* high) override;
    void index_split(KsfPage* left) override { forget(m_index_hints, left); }
    void ranges_changed() override { tree_changed(); }
    // Changes whenever any record of the file may have changed: a page
    // changed, made or given up, the root moved, or the cache dropped (a
    // reload, a rollback, another station's commit). Unique across all files
    // of the process, so that a summary built from one file's records at one
    // version can never be taken for another's.
    std::uint64_t content_version() const { return m_content_version; }
    // Tests: without hints every lookup and insertion descends from the root.
    void set_leaf_hints(bool on) {
        m_hints_on = on;
        tree_changed();
    }
    // Pages used from now on are not trimmed from the cache until the next call:
    // the page tree keeps pointers to the pages of the operation it runs.
    void begin_tree_operation() { m_pin_clock = m_clock + 1; }
    std::size_t cached_count() const { return m_pages.size(); }
    // Statistics: pages read from disk and decoded into a cache, by every file
    // of the process since it started (cache hits are not counted).
    static std::uint64_t pages_read();
    // The cache keeps pages up to this many bytes of page estimates (dirty pages
    // and the pages of the running tree operation excepted); past it the least
    // recently used clean page goes. A site file of 100,000 records of 215
    // bytes with five keys and some memos comes to about 120 MB of estimates,
    // of which a scan in one key order uses some 26,000 pages (its key's, the
    // data records', the memos'). It visits the data leaves in random order:
    // with 32 MB it evicts each leaf before coming back to it and reads over
    // 200,000 pages; with 64 MB it reads each page once.
    static constexpr std::size_t kDefaultCacheBytes = 64u << 20;
    void set_cache_limit(std::size_t bytes);
    std::size_t cached_bytes() const { return m_cache_bytes; }
    std::size_t dirty_count() const;
    // Tests: every cached page marked dirty is in the dirty list and nothing else is.
    bool dirty_list_consistent() const;

    // --- statements -------------------------------------------------------------
    // Takes the statement's lock on a shared file (a reader slot, or the writer
    // region for a changing statement, which first gives up a reader slot) and
    // refreshes the header. Waits without limit for the lock. Returns what
    // refresh() returns.
    int begin_statement(bool writing);
    // Commits when dirty (unless hold_changes) and releases the statement lock
    // (unless hold_changes: an open transaction keeps the writer region).
    int end_statement(bool hold_changes = false);
    bool holds_writer() const { return m_writer_held; }
    // STREAM: statements commit only once kStreamPages pages are dirty (and keep
    // the statement lock until then); FLUSH ends it.
    static constexpr std::size_t kStreamPages = 40;
    void set_streaming(bool on) { m_streaming = on; }
    bool streaming() const { return m_streaming; }

    // The whole commit (C1..C6). Returns 0, or the system error of a failed
    // write (5 for a short one); after a failure the cache is dropped and the
    // header reloaded at the next refresh.
    int commit();
    // The journal phase alone (C1..C5) and the home phase (C6), for commits that
    // span several files. abort_prepared() gives up a prepared commit: the
    // journal is reset and the cached changes dropped.
    int commit_prepare();
    int commit_finish();
    void abort_prepared();
    bool prepared() const { return m_prepared; }
    // Drops every cached change: dirty pages, released slots, the header copy.
    void rollback();
    // Cuts the file to its allocated end (the journal area goes). Returns 0 or the error.
    int truncate_to_allocated_end();

    // --- record and table lock bytes ----------------------------------------
    static std::uint64_t id_lock_offset(Id id);
    bool try_lock_id(Id id);
    void unlock_id(Id id);

    // Tests: the size class rule for every page reachable from the root, the
    // block invariants and that no two pages overlap. Empty when sound.
    std::vector<std::string> check_space();

private:
    struct Cached {
        std::unique_ptr<KsfPage> page;
        std::list<PageRef>::iterator lru;  // its place in m_lru
        std::size_t charged = 0;           // its estimate as counted in m_cache_bytes
        std::uint64_t last_use = 0;
    };

    // A remembered leaf and the key range that leads to it, good while no
    // range of the tree has moved since (m_tree_version) and the leaf is cached.
    struct LeafHint {
        Cached* cached = nullptr;
        std::string low, high;
        // The first 8 bytes of low and high as big-endian numbers, zero-filled:
        // most keys fall outside a range on these alone (key_head()).
        std::uint64_t low_head = 0, high_head = 0;
        bool has_low = false, has_high = false;
        std::uint64_t version = 0;
        std::uint64_t used = 0;  // m_hint_clock at its last use: the least used one is replaced
    };
    // Enough for the leaves one ADD keeps returning to (counters, data
    // records, memos, the current end of a key) beside the ones it visits once.
    static constexpr std::size_t kLeafHints = 8;
    // The first 8 bytes of key as a big-endian number, zero-filled. Order
    // preserving, though not strictly: head(a) < head(b) means a < b.
    static std::uint64_t key_head(std::string_view key) {
        unsigned char b[8] = {};
        if (!key.empty()) std::memcpy(b, key.data(), key.size() < 8 ? key.size() : 8);
        std::uint64_t v;
        std::memcpy(&v, b, 8);
        if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
        return v;
    }
    void set_high(LeafHint& h, std::string_view high) {
        h.high.assign(high);
        h.high_head = key_head(high);
    }
    // A change that may move the key range of any leaf ends every hint.
    void tree_changed() { ++m_tree_version; }
    void content_changed();
    void forget_leaf(const Cached* c) {
        for (LeafHint& h : m_hints)
            if (h.cached == c) h.cached = nullptr;
        for (LeafHint& h : m_index_hints)
            if (h.cached == c) h.cached = nullptr;
    }
    template <std::size_t N>
    void forget(LeafHint (&hints)[N], const KsfPage* page) {
        for (LeafHint& h : hints)
            if (h.version == m_tree_version && h.cached != nullptr && h.cached->page.get() == page) h.cached = nullptr;
    }
    // The hint of hints whose range holds key, or null; level is the page level it must have.
    template <std::size_t N>
    LeafHint* find_hint(LeafHint (&hints)[N], std::string_view key, unsigned level);
    template <std::size_t N>
    void remember(LeafHint (&hints)[N], KsfPage* page, const std::string_view* low, const std::string_view* high);

    // A page touched moves to the front of the use list.
    void touch(Cached& c) {
        c.last_use = ++m_clock;
        m_lru.splice(m_lru.begin(), m_lru, c.lru);
        recharge(c);
    }
    // Brings the cache's byte count in step with a page whose estimate changed.
    void recharge(Cached& c) {
        const std::size_t now = c.page->estimated();
        m_cache_bytes = m_cache_bytes - c.charged + now;
        c.charged = now;
    }
    // The dirty pages in reference order. Commits walk these alone, never the
    // whole cache: the list is kept where pages are marked dirty (mark_dirty,
    // create, rekey), written clean (commit) and dropped (uncache, drop_cache).
    std::vector<KsfPage*> dirty_pages() const;
    KsfPage* cache(std::unique_ptr<KsfPage> page);
    void uncache(std::unordered_map<PageRef, Cached>::iterator it);
    void trim_cache();
    void drop_cache();
    int read_home_header(Header* out, std::size_t* got);
    int recover_journal(const Header& adopted);
    int write_bytes(std::uint64_t offset, const std::uint8_t* data, std::size_t n);
    int flush_file();

    // Space management (commit only).
    int place_pages();
    int process_released();
    int free_slot(PageRef r);
    int allocate_slot(unsigned cls, PageRef* out);
    int ensure_gap_above(std::uint32_t position, unsigned need, unsigned block);
    int compact_blocks();
    int move_page(PageRef from, PageRef to);
    int rewrite_parent(KsfPage* page, PageRef old_ref, PageRef new_ref);
    void rekey(PageRef from, PageRef to);
    void normalize_empty_blocks();
    unsigned next_nonempty_above(unsigned block) const;
    std::uint32_t end_below(unsigned block) const;
    int image_class(const KsfPage& page, unsigned* cls);
    // The image a dirty page is written with, built once per commit.
    const std::vector<std::uint8_t>& stored_image(KsfPage* page);

    bool lock_reader_slot();
    void lock_writer_region();
    void release_statement_lock();

    std::string m_path;
    sk::platform::File m_file;
    bool m_read_only = false;
    bool m_shared = false;
    bool m_deny_write = false;
    std::shared_ptr<const PageCipher> m_cipher;
    std::vector<std::uint8_t> m_cipher_buffer;  // enciphered copy of a block being written

    Header m_header;
    bool m_valid = false;
    bool m_header_dirty = false;
    PageRef m_root = kNoPage;
    PageRef m_next_new = -1;
    JournalIndex m_journal;
    JournalDecisionHook m_journal_hook = nullptr;

    std::unordered_map<PageRef, Cached> m_pages;
    LeafHint m_hints[kLeafHints];
    LeafHint m_index_hints[kLeafHints];  // index pages of level 1
    std::uint64_t m_hint_clock = 0;
    std::uint64_t m_tree_version = 1;
    std::uint64_t m_entries_stamp = 1;  // advances whenever a cache entry goes
    // The cache entry of the page load() handed out last, good while no entry
    // has left the cache since (stamp) and the page still has that reference.
    Cached* m_last_loaded = nullptr;
    std::uint64_t m_last_loaded_stamp = 0;
    std::uint64_t m_content_version = 0;  // see content_version(); set by the constructor
    bool m_hints_on = true;
    std::list<PageRef> m_lru;  // the cached pages, most recently used first
    std::unordered_set<KsfPage*> m_dirty;  // the cached pages marked dirty
    // Images of dirty pages built during a commit (placement measures them, the
    // journal and home phases write them); a change of the page drops its image.
    std::unordered_map<const KsfPage*, std::vector<std::uint8_t>> m_images;
    std::size_t m_cache_limit = kDefaultCacheBytes;
    std::size_t m_cache_bytes = 0;
    std::vector<PageRef> m_released;  // placed pages given up since the last commit
    std::uint64_t m_clock = 0;
    std::uint64_t m_pin_clock = 0;
    bool m_no_trim = false;

    // Commit in progress.
    bool m_prepared = false;
    Header m_prepared_header;        // the new header, written home in C6
    Header m_home_header;            // the header the journal phase left at offset 0
    std::uint64_t m_noted_end = 0;

    bool m_streaming = false;
    bool m_reader_held = false;
    bool m_writer_held = false;
    unsigned m_slot_counter = 0;
    unsigned m_slot = 0;
    int m_write_error = 0;
};

}  // namespace sk::ksf
