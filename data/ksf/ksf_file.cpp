// The physical file: header refresh and journal recovery, the page cache, the
// space manager and the journalled commit. LOCKING.md states the invariants
// referred to here by number.
#include "data/ksf/ksf_file.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>

#include "data/file_layer.h"
#include "data/ksf/page_image.h"
#include "platform/clock.h"
#include "platform/system_error.h"

namespace sk::ksf {

namespace {

constexpr int kPlacementRounds = 16;

}  // namespace

KsfFile::~KsfFile() { close(); }

int KsfFile::open(unsigned access_mode, bool create_missing, std::shared_ptr<const PageCipher> cipher) {
    bool ok = m_file.open(m_path, access_mode);
    if (!ok && create_missing && sk::platform::last_system_error() == sk::platform::kErrFileNotFound)
        ok = m_file.create(m_path, access_mode);
    if (!ok) {
        const int error = sk::platform::last_system_error();
        return error != 0 ? error : sk::platform::kErrAccessDenied;
    }
    if (!m_file.path().empty()) m_path = m_file.path();
    m_read_only = (access_mode & 0x03) == 0;
    m_shared = (access_mode & 0x30) == 0;
    m_deny_write = (access_mode & 0x30) == 0x20;
    m_cipher = std::move(cipher);
    m_slot_counter = sk::platform::tick_hundredths() % 1024 % kReaderSlots;
    m_valid = false;
    return 0;
}

void KsfFile::close() {
    release_statement_lock();
    m_file.close();
    drop_cache();
    m_valid = false;
}

// ---------------------------------------------------------------------------
// Header

int KsfFile::read_home_header(Header* out, std::size_t* got) {
    std::uint8_t raw[kHeaderSize];
    const std::int64_t n = m_file.read_at(0, raw, sizeof raw);
    if (n < 0) return 36;
    *got = static_cast<std::size_t>(n);
    decipher(m_cipher.get(), 0, raw, *got);
    return out->parse(raw, *got);
}

int KsfFile::refresh() {
    if (m_header_dirty) return 0;  // our own changes, under the writer region (L3)
    if (m_valid && !m_shared) return 0;
    Header home;
    std::size_t got = 0;
    if (int rc = read_home_header(&home, &got)) return rc;
    if (got == 0) {
        if (!m_valid) {
            drop_cache();
            m_header = Header();
            m_root = kNoPage;
            m_journal.clear();
            m_valid = true;
        }
        return 0;
    }
    // Block tables out of order, or blocks beyond the end of the file, are a
    // damaged header: a commit would follow them into pages that are not
    // there, or spend an age moving pages across a gap no writer leaves.
    if (!home.blocks_consistent()) return 36;
    if (!home.journal_pending()) {
        if (!m_valid || home.change_counter() > m_header.change_counter() || !m_journal.empty()) {
            const std::int64_t size = m_file.size();
            if (size >= 0 && home.allocated_end() > static_cast<std::uint64_t>(size)) return 36;
            drop_cache();
            m_header = home;
            m_root = home.root();
            m_journal.clear();
        }
        m_valid = true;
        return 0;
    }

    // A commit stopped after its journal became visible (C5).
    JournalIndex index;
    if (walk_journal(m_file, home, &index, m_cipher.get()) != 0) return 36;
    Header adopted = home;
    const int rc = journal_header(m_file, index, &adopted, m_cipher.get());
    if (rc == 36 || !adopted.blocks_consistent()) return 36;
    const bool completed = m_journal_hook == nullptr || m_journal_hook(*this, adopted);
    if (!completed) {
        drop_cache();
        m_header = home;
        m_root = home.root();
        m_journal.clear();
        m_valid = true;
        if (m_read_only || (m_shared && !m_writer_held)) return 0;
        const std::uint32_t end = static_cast<std::uint32_t>(home.allocated_end());
        m_header.set_journal(end, end);
        if (int w = write_bytes(0, m_header.data(), kHeaderSize)) return w;
        return flush_file();
    }
    if (m_read_only || (m_shared && !m_writer_held)) {
        // Read the committed state through the journal; a writer copies it home.
        if (!m_valid || m_journal != index || adopted.change_counter() != m_header.change_counter()) {
            drop_cache();
            m_header = adopted;
            m_root = adopted.root();
            m_journal = std::move(index);
        }
        m_valid = true;
        return 0;
    }
    m_journal = std::move(index);
    return recover_journal(adopted);
}

int KsfFile::recover_journal(const Header& adopted) {
    const bool take_region = m_deny_write && !m_writer_held;
    if (take_region) lock_writer_region();
    std::vector<std::uint8_t> entry;
    int rc = 0;
    for (const auto& [home, at] : m_journal) {
        if (home == 0) continue;  // the header goes last (C6)
        std::uint8_t head[8];
        if (m_file.read_at(at, head, sizeof head) != static_cast<std::int64_t>(sizeof head)) {
            rc = 36;
            break;
        }
        decipher(m_cipher.get(), at, head, sizeof head);
        const std::size_t length = roundup256(get_le16(head + kPageStored));
        entry.resize(length);
        if (m_file.read_at(at, entry.data(), length) != static_cast<std::int64_t>(length)) {
            rc = 36;
            break;
        }
        decipher(m_cipher.get(), at, entry.data(), length);
        if ((rc = write_bytes(home, entry.data(), length)) != 0) break;
    }
    if (rc == 0) rc = flush_file();
    Header h = adopted;
    const std::uint32_t end = static_cast<std::uint32_t>(h.allocated_end());
    h.set_journal(end, end);
    if (rc == 0) rc = write_bytes(0, h.data(), kHeaderSize);
    if (rc == 0) rc = flush_file();
    if (take_region) {
        m_file.unlock(kLockBase, kWriterRegionLength);
        m_writer_held = false;
    }
    drop_cache();
    m_journal.clear();
    if (rc != 0) {
        m_valid = false;
        return rc;
    }
    m_header = h;
    m_root = h.root();
    m_valid = true;
    return 0;
}

int KsfFile::allocate_id(Id* out) {
    if (m_read_only) internal_error(1168);
    if (!m_header.allocate_id(out->bytes)) internal_error(1178);
    m_header_dirty = true;
    return 0;
}

// ---------------------------------------------------------------------------
// Page cache

void KsfFile::content_changed() {
    static std::atomic<std::uint64_t> versions{0};
    m_content_version = versions.fetch_add(1, std::memory_order_relaxed) + 1;
}

void KsfFile::set_root(PageRef r) {
    content_changed();
    tree_changed();
    m_root = r;
    m_header_dirty = true;
}

namespace {
std::atomic<std::uint64_t> g_pages_read{0};
}  // namespace

std::uint64_t KsfFile::pages_read() { return g_pages_read.load(std::memory_order_relaxed); }

int KsfFile::load(PageRef r, KsfPage** out) {
    // Descents load the root again and again: the last page handed out is
    // checked before the hash look-up.
    if (m_last_loaded != nullptr && m_last_loaded_stamp == m_entries_stamp && m_last_loaded->page->ref() == r) {
        touch(*m_last_loaded);
        *out = m_last_loaded->page.get();
        return 0;
    }
    auto it = m_pages.find(r);
    if (it != m_pages.end()) {
        touch(it->second);
        *out = it->second.page.get();
        m_last_loaded = &it->second;
        m_last_loaded_stamp = m_entries_stamp;
        return 0;
    }
    if (r < 0) return 36;
    std::vector<std::uint8_t> image;
    if (int rc = read_page_image(m_file, m_header, m_journal, r, &image, m_cipher.get())) return rc;
    auto page = std::make_unique<KsfPage>(r, 0);
    std::uint32_t own_offset = 0;
    if (int rc = page->decode(image.data(), image.size(), &own_offset)) return rc;
    if (own_offset != page_offset(r)) return 36;
    g_pages_read.fetch_add(1, std::memory_order_relaxed);
    *out = cache(std::move(page));
    trim_cache();
    return 0;
}

int KsfFile::load_child(const KsfPage& parent, std::size_t at, PageRef r, KsfPage** out) {
    std::vector<void*>& entries = parent.child_entries;
    if (parent.child_entries_stamp != m_entries_stamp || entries.size() != parent.count()) {
        entries.assign(parent.count(), nullptr);
        parent.child_entries_stamp = m_entries_stamp;
    }
    if (at < entries.size()) {
        if (auto* c = static_cast<Cached*>(entries[at]); c != nullptr && c->page->ref() == r) {
            touch(*c);
            *out = c->page.get();
            return 0;
        }
    }
    if (int rc = load(r, out)) return rc;
    // A load may have trimmed the cache, which ends every note.
    // The loaded page carries its own cache entry, so no second hash look-up.
    if (parent.child_entries_stamp == m_entries_stamp && at < entries.size()) entries[at] = (*out)->store_entry;
    return 0;
}

KsfPage* KsfFile::cache(std::unique_ptr<KsfPage> page) {
    const PageRef r = page->ref();
    m_lru.push_front(r);
    Cached c;
    c.page = std::move(page);
    c.lru = m_lru.begin();
    c.last_use = ++m_clock;
    c.charged = c.page->estimated();
    m_cache_bytes += c.charged;
    KsfPage* p = c.page.get();
    auto placed = m_pages.emplace(r, std::move(c));
    p->store_entry = &placed.first->second;
    return p;
}

void KsfFile::uncache(std::unordered_map<PageRef, Cached>::iterator it) {
    forget_leaf(&it->second);
    ++m_entries_stamp;
    m_lru.erase(it->second.lru);
    m_cache_bytes -= it->second.charged;
    m_dirty.erase(it->second.page.get());
    m_images.erase(it->second.page.get());
    m_pages.erase(it);
}

KsfPage* KsfFile::create(unsigned level) {
    const PageRef r = m_next_new--;
    content_changed();
    KsfPage* p = cache(std::make_unique<KsfPage>(r, level));
    p->set_dirty(true);
    m_dirty.insert(p);
    m_header_dirty = true;
    return p;
}

void KsfFile::release(KsfPage* page) {
    content_changed();
    tree_changed();
    const PageRef r = page->ref();
    if (auto it = m_pages.find(r); it != m_pages.end()) uncache(it);
    if (r >= 0) m_released.push_back(r);
    m_header_dirty = true;
}

void KsfFile::mark_dirty(KsfPage* page) {
    content_changed();
    // A page marked dirty is in m_dirty already (every path that sets the flag
    // adds it), and most pages have no kept image: both hash look-ups are
    // skipped when they cannot change anything.
    if (!page->dirty()) {
        page->set_dirty(true);
        m_dirty.insert(page);
    }
    if (!m_images.empty()) m_images.erase(page);
    m_header_dirty = true;
}

template <std::size_t N>
KsfFile::LeafHint* KsfFile::find_hint(LeafHint (&hints)[N], std::string_view key, unsigned level) {
    const std::uint64_t head = key_head(key);
    for (LeafHint& h : hints) {
        if (h.version != m_tree_version || h.cached == nullptr) continue;
        if (h.has_low && (head < h.low_head || (head == h.low_head && compare_keys(key, h.low) < 0))) continue;
        if (h.has_high && (head > h.high_head || (head == h.high_head && compare_keys(key, h.high) >= 0))) continue;
        if (h.cached->page->level() != level) continue;
        touch(*h.cached);
        h.used = ++m_hint_clock;
        return &h;
    }
    return nullptr;
}

template <std::size_t N>
void KsfFile::remember(LeafHint (&hints)[N], KsfPage* page, const std::string_view* low, const std::string_view* high) {
    if (!m_hints_on) return;
    Cached* entry = static_cast<Cached*>(page->store_entry);
    if (entry == nullptr || entry->page.get() != page) return;
    // The page's own hint if it has one, else a spent one, else the least used.
    LeafHint* slot = nullptr;
    LeafHint* spent = nullptr;
    LeafHint* least = &hints[0];
    for (LeafHint& h : hints) {
        const bool valid = h.version == m_tree_version && h.cached != nullptr;
        if (valid && h.cached == entry) {
            slot = &h;
            break;
        }
        if (!valid && spent == nullptr) spent = &h;
        if (h.used < least->used) least = &h;
    }
    if (slot == nullptr) slot = spent != nullptr ? spent : least;
    LeafHint& h = *slot;
    h.used = ++m_hint_clock;
    h.cached = entry;
    h.has_low = low != nullptr;
    h.has_high = high != nullptr;
    h.low.assign(low ? *low : std::string_view());
    h.low_head = key_head(h.low);
    set_high(h, high ? *high : std::string_view());
    h.version = m_tree_version;
}

KsfPage* KsfFile::hinted_leaf(std::string_view key, std::string_view* high, bool* has_high) {
    LeafHint* h = find_hint(m_hints, key, 0);
    if (h == nullptr) return nullptr;
    if (high) *high = h->high;
    if (has_high) *has_high = h->has_high;
    return h->cached->page.get();
}

void KsfFile::remember_leaf(KsfPage* leaf, const std::string_view* low, const std::string_view* high) {
    remember(m_hints, leaf, low, high);
}

KsfPage* KsfFile::hinted_index(std::string_view key, std::string_view* low, std::string_view* high, bool* has_low,
                               bool* has_high) {
    LeafHint* h = find_hint(m_index_hints, key, 1);
    if (h == nullptr) return nullptr;
    *low = h->low;
    *high = h->high;
    *has_low = h->has_low;
    *has_high = h->has_high;
    return h->cached->page.get();
}

void KsfFile::remember_index(KsfPage* page, const std::string_view* low, const std::string_view* high) {
    remember(m_index_hints, page, low, high);
}

void KsfFile::leaf_split(KsfPage* left, KsfPage* right) {
    // The right leaf takes over the upper end of the left one's range.
    for (LeafHint& h : m_hints) {
        if (h.version != m_tree_version || h.cached == nullptr || h.cached->page.get() != left) continue;
        if (right->empty()) {
            h.cached = nullptr;
            return;
        }
        const std::string_view split_at = right->first_key();
        std::string high;
        if (h.has_high) high = h.high;
        const bool had_high = h.has_high;
        set_high(h, split_at);
        h.has_high = true;
        const std::string_view high_view = high;
        remember_leaf(right, &split_at, had_high ? &high_view : nullptr);
        return;
    }
}

std::size_t KsfFile::dirty_count() const {
    return m_dirty.size();
}

std::vector<KsfPage*> KsfFile::dirty_pages() const {
    std::vector<KsfPage*> pages(m_dirty.begin(), m_dirty.end());
    std::sort(pages.begin(), pages.end(), [](const KsfPage* a, const KsfPage* b) { return a->ref() < b->ref(); });
    return pages;
}

bool KsfFile::dirty_list_consistent() const {
    std::size_t dirty = 0;
    for (const auto& [r, c] : m_pages) {
        if (c.page->ref() != r) return false;
        if (c.page->dirty() != (m_dirty.count(c.page.get()) != 0)) return false;
        dirty += c.page->dirty() ? 1 : 0;
    }
    return dirty == m_dirty.size();
}

void KsfFile::set_cache_limit(std::size_t bytes) {
    m_cache_limit = bytes;
    trim_cache();
}

void KsfFile::trim_cache() {
    if (m_no_trim) return;
    // From the least recently used end: the first page that may go is clean and
    // not in use by the running tree operation. Pages of that operation were
    // touched last, so meeting one ends the search.
    auto at = m_lru.end();
    while (m_cache_bytes > m_cache_limit && at != m_lru.begin()) {
        --at;
        auto it = m_pages.find(*at);
        if (it == m_pages.end()) {
            at = m_lru.erase(at);
            continue;
        }
        Cached& c = it->second;
        if (c.last_use >= m_pin_clock) return;
        if (c.page->dirty()) {
            recharge(c);
            continue;
        }
        at = std::next(at);
        uncache(it);
    }
}

void KsfFile::drop_cache() {
    content_changed();
    tree_changed();
    ++m_entries_stamp;
    m_pages.clear();
    m_lru.clear();
    m_dirty.clear();
    m_images.clear();
    m_cache_bytes = 0;
    m_released.clear();
}

void KsfFile::rollback() {
    drop_cache();
    m_header_dirty = false;
    m_valid = false;
    m_prepared = false;
    m_no_trim = false;
    m_root = kNoPage;
}

// ---------------------------------------------------------------------------
// Writes

int KsfFile::write_bytes(std::uint64_t offset, const std::uint8_t* data, std::size_t n) {
    if (n % 64 != 0) internal_error(2285);
    if (m_write_error != 0) return m_write_error;
    if (m_cipher) {
        // The caller's block stays plain: an enciphered copy is written.
        m_cipher_buffer.assign(data, data + n);
        m_cipher->apply(offset, m_cipher_buffer.data(), n);
        data = m_cipher_buffer.data();
    }
    const std::int64_t w = m_file.write_at(offset, data, n);
    if (w < 0) {
        m_write_error = sk::platform::last_system_error();
        if (m_write_error == 0) m_write_error = sk::platform::kErrAccessDenied;
    } else if (static_cast<std::size_t>(w) != n) {
        m_write_error = sk::platform::kErrAccessDenied;
    }
    return m_write_error;
}

int KsfFile::flush_file() {
    if (m_write_error != 0) return m_write_error;
    if (!m_file.flush()) {
        m_write_error = sk::platform::last_system_error();
        if (m_write_error == 0) m_write_error = sk::platform::kErrAccessDenied;
    }
    return m_write_error;
}

// ---------------------------------------------------------------------------
// Commit

int KsfFile::commit() {
    if (!m_header_dirty) return 0;
    if (int rc = commit_prepare()) return rc;
    return commit_finish();
}

int KsfFile::commit_prepare() {
    if (!m_header_dirty) return 0;
    m_write_error = 0;
    std::size_t got = 0;
    {
        std::uint8_t probe[kHeaderSize];
        const std::int64_t n = m_file.read_at(0, probe, sizeof probe);
        got = n < 0 ? 0 : static_cast<std::size_t>(n);
    }
    const Header home_copy = m_header;  // C1: the old state stays named by offset 0
    m_noted_end = m_header.allocated_end();
    if (got < kHeaderSize) {
        // A file never written: give it a header first, so that a crash during its
        // first commit leaves an empty file rather than no file at all (C7).
        Header fresh = home_copy;
        const std::uint32_t end = static_cast<std::uint32_t>(m_noted_end);
        fresh.set_journal(end, end);
        if (int rc = write_bytes(0, fresh.data(), kHeaderSize); rc != 0 || (rc = flush_file()) != 0) {
            rollback();
            return rc;
        }
    }

    m_no_trim = true;
    if (int rc = place_pages()) {
        rollback();
        return rc;
    }
    m_header.set_root(m_root);
    const std::uint64_t new_end = m_header.allocated_end();
    const std::uint64_t journal_start = std::max(new_end, m_noted_end);
    m_header.set_change_counter(m_header.change_counter() + 1);

    // C4: pages over old space go to the journal, pages in fresh space home.
    const std::vector<KsfPage*> dirty = dirty_pages();
    std::uint64_t journal_end = journal_start;
    for (KsfPage* p : dirty) {
        const std::vector<std::uint8_t>& image = stored_image(p);
        if (image.size() != m_header.page_size(p->ref())) internal_error(1482);
        const std::uint64_t home = page_offset(p->ref());
        if (home < m_noted_end) {
            if (int rc = write_bytes(journal_end, image.data(), image.size())) {
                rollback();
                return rc;
            }
            journal_end += image.size();
        } else {
            if (int rc = write_bytes(home, image.data(), image.size())) {
                rollback();
                return rc;
            }
            p->set_dirty(false);
            m_dirty.erase(p);
            m_images.erase(p);
        }
    }
    Header next = m_header;
    next.set_journal(static_cast<std::uint32_t>(new_end), static_cast<std::uint32_t>(new_end));
    int rc = write_bytes(journal_end, next.data(), kHeaderSize);
    journal_end += kHeaderSize;
    if (rc == 0) rc = flush_file();
    // C5: the journal becomes visible.
    Header visible = home_copy;
    visible.set_journal(static_cast<std::uint32_t>(journal_start), static_cast<std::uint32_t>(journal_end));
    if (rc == 0) rc = write_bytes(0, visible.data(), kHeaderSize);
    if (rc == 0) rc = flush_file();
    if (rc != 0) {
        rollback();
        return rc;
    }
    m_prepared_header = next;
    m_home_header = home_copy;
    m_prepared = true;
    return 0;
}

int KsfFile::commit_finish() {
    if (!m_prepared) return 0;
    const bool take_region = m_deny_write && !m_writer_held;
    if (take_region) lock_writer_region();
    int rc = 0;
    for (KsfPage* p : dirty_pages()) {
        const std::vector<std::uint8_t>& image = stored_image(p);
        if ((rc = write_bytes(page_offset(p->ref()), image.data(), image.size())) != 0) break;
    }
    // C6: the pages are on disk before the header stops naming the journal.
    if (rc == 0) rc = flush_file();
    if (rc == 0) rc = write_bytes(0, m_prepared_header.data(), kHeaderSize);
    if (rc == 0) rc = flush_file();
    if (take_region) {
        m_file.unlock(kLockBase, kWriterRegionLength);
        m_writer_held = false;
    }
    if (rc != 0) {
        rollback();
        return rc;
    }
    for (KsfPage* p : m_dirty) p->set_dirty(false);
    m_dirty.clear();
    m_images.clear();
    m_header = m_prepared_header;
    m_header_dirty = false;
    m_prepared = false;
    m_no_trim = false;
    m_valid = true;
    trim_cache();
    return 0;
}

void KsfFile::abort_prepared() {
    if (m_prepared) {
        m_write_error = 0;
        Header h = m_home_header;
        const std::uint32_t end = static_cast<std::uint32_t>(h.allocated_end());
        h.set_journal(end, end);
        if (write_bytes(0, h.data(), kHeaderSize) == 0) flush_file();
    }
    rollback();
}

int KsfFile::truncate_to_allocated_end() {
    if (m_read_only || !m_valid || m_header_dirty || m_header.journal_pending()) return 0;
    const std::int64_t size = m_file.size();
    if (size < 0) return sk::platform::last_system_error();
    const std::uint64_t end = m_header.change_counter() == 0 && size < static_cast<std::int64_t>(kHeaderSize)
                                  ? static_cast<std::uint64_t>(size)
                                  : m_header.allocated_end();
    if (static_cast<std::uint64_t>(size) <= end) return 0;
    if (!m_file.truncate(end)) return sk::platform::last_system_error();
    return 0;
}

// ---------------------------------------------------------------------------
// Space management. Invariant S1: every block is a whole number of its pages
// and holds no hole: each slot of block i is the home of one live page of
// class i. S2: blocks ascend without overlap; an empty block sits at the end
// of the highest non-empty block below it.

int KsfFile::image_class(const KsfPage& page, unsigned* cls) {
    if (auto it = m_images.find(&page); it != m_images.end()) {
        *cls = static_cast<unsigned>(it->second.size() / kUnit);
        return 0;
    }
    std::vector<std::uint8_t> image;
    if (int rc = page.build_image(&image)) internal_error(rc);
    *cls = static_cast<unsigned>(image.size() / kUnit);
    // Kept only for a dirty page inside a commit (no tree operation runs there);
    // a page measured elsewhere (check_space) is not kept.
    if (m_no_trim && page.dirty()) m_images.emplace(&page, std::move(image));
    return 0;
}

const std::vector<std::uint8_t>& KsfFile::stored_image(KsfPage* page) {
    auto it = m_images.find(page);
    if (it == m_images.end()) {
        std::vector<std::uint8_t> image;
        if (int rc = page->build_image(&image)) internal_error(rc);
        it = m_images.emplace(page, std::move(image)).first;
    }
    // The page may have moved since its image was built: its own offset is set
    // as it is written.
    put_le32(it->second.data() + kPageOwnOffset, static_cast<std::uint32_t>(page_offset(page->ref())));
    return it->second;
}

void KsfFile::normalize_empty_blocks() {
    std::uint32_t running = 0;
    m_header.set_block(0, 0, 0);
    for (unsigned i = 1; i < kClassCount; ++i) {
        if (m_header.block_end(i) > m_header.block_start(i))
            running = m_header.block_end(i);
        else
            m_header.set_block(i, running, running);
    }
}

unsigned KsfFile::next_nonempty_above(unsigned block) const {
    for (unsigned j = block + 1; j < kClassCount; ++j)
        if (m_header.block_end(j) > m_header.block_start(j)) return j;
    return 0;
}

std::uint32_t KsfFile::end_below(unsigned block) const {
    for (unsigned j = block; j-- > 1;)
        if (m_header.block_end(j) > m_header.block_start(j)) return m_header.block_end(j);
    return 0;
}

void KsfFile::rekey(PageRef from, PageRef to) {
    if (from == to) return;
    // The page keeps its cache entry (hints name the entry, not the reference).
    // Nothing live can be cached at to; a stale copy goes.
    if (auto stale = m_pages.find(to); stale != m_pages.end()) uncache(stale);
    auto node = m_pages.extract(from);
    if (node.empty()) return;
    node.key() = to;
    *node.mapped().lru = to;
    node.mapped().page->set_ref(to);
    node.mapped().page->set_dirty(true);
    m_dirty.insert(node.mapped().page.get());
    m_pages.insert(std::move(node));
}

int KsfFile::rewrite_parent(KsfPage* page, PageRef old_ref, PageRef new_ref) {
    m_header_dirty = true;
    if (m_root == old_ref) {
        m_root = new_ref;
        return 0;
    }
    if (page->empty()) return 36;
    const std::string key(page->first_key());
    const unsigned level = page->level() + 1;
    KsfPage* p = nullptr;
    if (int rc = load(m_root, &p)) return rc;
    while (p->level() > level) {
        const auto& recs = p->records();
        if (recs.empty()) return 36;
        auto it = recs.upper_bound(key);
        if (it != recs.begin()) --it;
        KsfPage* child = nullptr;
        if (int rc = load(it->second.child, &child)) return rc;
        p = child;
    }
    if (p->level() != level) return 36;
    for (auto it = p->records().begin(); it != p->records().end(); ++it) {
        if (it->second.child == old_ref) {
            p->set_child(it, new_ref);
            mark_dirty(p);
            return 0;
        }
    }
    return 36;
}

int KsfFile::move_page(PageRef from, PageRef to) {
    if (from == to) return 0;
    KsfPage* p = nullptr;
    if (int rc = load(from, &p)) return rc;
    mark_dirty(p);
    if (int rc = rewrite_parent(p, from, to)) return rc;
    rekey(from, to);
    return 0;
}

int KsfFile::free_slot(PageRef r) {
    const unsigned cls = m_header.class_of(r);
    if (cls == 0) return 36;
    const std::uint32_t start = m_header.block_start(cls), end = m_header.block_end(cls);
    const PageRef last = static_cast<PageRef>(end) - cls;
    // S1: the block's last page fills the hole.
    if (r != last)
        if (int rc = move_page(last, r)) return rc;
    m_header.set_block(cls, start, end - cls);
    normalize_empty_blocks();
    return 0;
}

int KsfFile::process_released() {
    std::sort(m_released.begin(), m_released.end(), std::greater<>());
    for (PageRef r : m_released)
        if (int rc = free_slot(r)) return rc;
    m_released.clear();
    return 0;
}

int KsfFile::ensure_gap_above(std::uint32_t position, unsigned need, unsigned block) {
    // Shifts block (the first non-empty one above position) upward, a page at a
    // time, its first page going to its upper end.
    while (block != 0 && m_header.block_start(block) - position < need) {
        const unsigned above = next_nonempty_above(block);
        if (above != 0 && m_header.block_start(above) - m_header.block_end(block) < block)
            if (int rc = ensure_gap_above(m_header.block_end(block), block, above)) return rc;
        const std::uint32_t start = m_header.block_start(block), end = m_header.block_end(block);
        if (int rc = move_page(start, end)) return rc;
        m_header.set_block(block, start + block, end + block);
    }
    return 0;
}

int KsfFile::allocate_slot(unsigned cls, PageRef* out) {
    normalize_empty_blocks();
    const std::uint32_t start = m_header.block_start(cls), end = m_header.block_end(cls);
    const unsigned above = next_nonempty_above(cls);
    const auto room_above = [&](std::uint32_t from) {
        return above == 0 || m_header.block_start(above) - from >= cls;
    };
    if (end > start) {
        if (room_above(end)) {
            m_header.set_block(cls, start, end + cls);
            *out = end;
        } else if (start - end_below(cls) >= cls) {
            m_header.set_block(cls, start - cls, end);
            *out = start - cls;
        } else {
            if (int rc = ensure_gap_above(end, cls, above)) return rc;
            m_header.set_block(cls, start, end + cls);
            *out = end;
        }
    } else {
        const std::uint32_t low = end_below(cls);
        if (!room_above(low))
            if (int rc = ensure_gap_above(low, cls, above)) return rc;
        m_header.set_block(cls, low, low + cls);
        *out = low;
    }
    normalize_empty_blocks();
    return 0;
}

int KsfFile::compact_blocks() {
    normalize_empty_blocks();
    for (unsigned i = 2; i < kClassCount; ++i) {
        const std::uint32_t floor = m_header.block_end(i - 1);
        std::uint32_t start = m_header.block_start(i), end = m_header.block_end(i);
        const std::uint32_t pages = (end - start) / i;
        if (pages == 0) {
            m_header.set_block(i, floor, floor);
        } else if (pages == 1) {
            if (start != floor) {
                if (int rc = move_page(start, floor)) return rc;
                m_header.set_block(i, floor, floor + i);
            }
        } else {
            while (start - floor >= i) {
                if (int rc = move_page(end - i, start - i)) return rc;
                start -= i;
                end -= i;
                m_header.set_block(i, start, end);
            }
        }
    }
    normalize_empty_blocks();
    return 0;
}

int KsfFile::place_pages() {
    if (int rc = process_released()) return rc;
    for (int round = 0; round < kPlacementRounds; ++round) {
        std::vector<KsfPage*> homeless;
        for (KsfPage* p : dirty_pages()) {
            unsigned cls = 0;
            image_class(*p, &cls);
            if (p->ref() < 0 || m_header.class_of(p->ref()) != cls) homeless.push_back(p);
        }
        if (homeless.empty() && round > 0) return 0;
        std::sort(homeless.begin(), homeless.end(),
                  [](const KsfPage* a, const KsfPage* b) { return a->ref() < b->ref(); });
        for (KsfPage* p : homeless) {
            unsigned cls = 0;
            image_class(*p, &cls);
            if (p->ref() >= 0) {
                if (m_header.class_of(p->ref()) == cls) continue;
                // Out of its old block first: a placeholder reference, then the hole
                // is filled (S1).
                const PageRef old = p->ref();
                const PageRef placeholder = m_next_new--;
                if (int rc = rewrite_parent(p, old, placeholder)) return rc;
                rekey(old, placeholder);
                if (int rc = free_slot(old)) return rc;
            }
            PageRef home = 0;
            if (int rc = allocate_slot(cls, &home)) return rc;
            const PageRef was = p->ref();
            if (int rc = rewrite_parent(p, was, home)) return rc;
            rekey(was, home);
        }
        if (int rc = compact_blocks()) return rc;
    }
    internal_error(1683);
}

std::vector<std::string> KsfFile::check_space() {
    std::vector<std::string> defects;
    if (!m_header.blocks_consistent()) defects.push_back("block tables inconsistent");
    std::map<unsigned, std::set<PageRef>> used;
    std::vector<PageRef> todo;
    if (m_root != kNoPage) todo.push_back(m_root);
    std::set<PageRef> seen;
    while (!todo.empty()) {
        const PageRef r = todo.back();
        todo.pop_back();
        if (!seen.insert(r).second) {
            defects.push_back("page " + std::to_string(r) + " reached twice");
            continue;
        }
        KsfPage* p = nullptr;
        if (load(r, &p) != 0) {
            defects.push_back("page " + std::to_string(r) + " cannot be loaded");
            continue;
        }
        unsigned cls = 0;
        image_class(*p, &cls);
        if (m_header.class_of(r) != cls) defects.push_back("page " + std::to_string(r) + " outside its class");
        used[m_header.class_of(r)].insert(r);
        if (!p->is_leaf())
            for (const auto& [k, slot] : p->records()) todo.push_back(slot.child);
    }
    for (unsigned i = 1; i < kClassCount; ++i) {
        const std::uint32_t s = m_header.block_start(i), e = m_header.block_end(i);
        if ((e - s) / i != used[i].size())
            defects.push_back("block " + std::to_string(i) + " holds " + std::to_string((e - s) / i) +
                              " slots for " + std::to_string(used[i].size()) + " pages");
        for (PageRef r : used[i])
            if ((r - s) % i != 0) defects.push_back("page " + std::to_string(r) + " off its slot grid");
    }
    return defects;
}

// ---------------------------------------------------------------------------
// Statement locks (L1..L4)

bool KsfFile::lock_reader_slot() {
    for (unsigned t = 0; t < kReaderSlots; ++t) {
        const unsigned s = (m_slot_counter + t) % kReaderSlots;
        if (m_file.lock(kLockBase + s, 1)) {
            m_slot = s;
            m_slot_counter = (s + 1) % kReaderSlots;
            return true;
        }
    }
    return false;
}

void KsfFile::lock_writer_region() {
    while (!m_file.lock(kLockBase, kWriterRegionLength)) sk::data::lock_wait();
    m_writer_held = true;
}

void KsfFile::release_statement_lock() {
    if (!m_file.is_open()) {
        m_reader_held = m_writer_held = false;
        return;
    }
    if (m_writer_held) m_file.unlock(kLockBase, kWriterRegionLength);
    else if (m_reader_held) m_file.unlock(kLockBase + m_slot, 1);
    m_reader_held = m_writer_held = false;
}

int KsfFile::begin_statement(bool writing) {
    if (m_shared) {
        if (writing) {
            if (!m_writer_held) {
                if (m_reader_held) {
                    m_file.unlock(kLockBase + m_slot, 1);
                    m_reader_held = false;
                }
                lock_writer_region();
            }
        } else if (!m_reader_held && !m_writer_held) {
            while (!lock_reader_slot()) sk::data::lock_wait();
            m_reader_held = true;
        }
    }
    return refresh();
}

int KsfFile::end_statement(bool hold_changes) {
    if (hold_changes) return 0;
    const int rc = m_header_dirty ? commit() : 0;
    release_statement_lock();
    return rc;
}

std::uint64_t KsfFile::id_lock_offset(Id id) { return kRecordLockBase + get_le32(id.bytes) + 1; }

bool KsfFile::try_lock_id(Id id) { return m_file.lock(id_lock_offset(id), 1); }

void KsfFile::unlock_id(Id id) { m_file.unlock(id_lock_offset(id), 1); }

}  // namespace sk::ksf
