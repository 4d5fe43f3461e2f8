// In-memory pages, the memory store and the store that reads a file's pages.
#include "data/ksf/page_store.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace sk::ksf {

// ---------------------------------------------------------------------------
// PageRecords

PageRecords::Item PageRecords::make_item(std::uint32_t offset, std::string_view key, std::string_view data,
                                         PageRef child) {
    Item item{offset, static_cast<std::uint16_t>(key.size()), static_cast<std::uint16_t>(data.size()), child, {}};
    std::memcpy(item.head, key.data(), std::min(key.size(), kHead));
    return item;
}

int PageRecords::compare_at(std::size_t i, std::string_view key) const {
    const Item& item = m_items[i];
    const std::size_t mine = std::min<std::size_t>(item.key_length, kHead);
    const std::size_t theirs = std::min(key.size(), kHead);
    const int c = compare_keys({reinterpret_cast<const char*>(item.head), std::min(mine, theirs)},
                               key.substr(0, std::min(mine, theirs)));
    if (c != 0) return c;
    // Equal so far: unless both keys go on past the head, the shorter is a
    // prefix of the other.
    if (item.key_length <= kHead || key.size() <= kHead)
        return item.key_length == key.size() ? 0 : (item.key_length < key.size() ? -1 : 1);
    return compare_keys(this->key(i).substr(kHead), key.substr(kHead));
}

void PageRecords::prefetch_items() const {
    // A page met for the first time in a while sits in no processor cache; the
    // probes of a binary search over it would each wait for memory in turn.
    // Asking for all of a small array at once lets the loads overlap.
    const std::size_t bytes = m_items.size() * sizeof(Item);
    if (bytes > kPrefetchBytes) return;
    const char* p = reinterpret_cast<const char*>(m_items.data());
    for (std::size_t at = 0; at < bytes; at += 64) __builtin_prefetch(p + at);
}

PageRecords::iterator PageRecords::lower_bound(std::string_view key) const {
    prefetch_items();
    std::size_t lo = 0, hi = m_items.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (compare_at(mid, key) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return {this, lo};
}

PageRecords::iterator PageRecords::upper_bound(std::string_view key) const {
    prefetch_items();
    std::size_t lo = 0, hi = m_items.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (compare_at(mid, key) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return {this, lo};
}

std::uint32_t PageRecords::store(std::string_view key, std::string_view data) {
    const std::size_t need = key.size() + data.size();
    const char* base = m_bytes.data();
    const auto inside = [&](std::string_view v) {
        return !v.empty() && v.data() >= base && v.data() < base + m_bytes.size();
    };
    if (m_bytes.size() + need > m_bytes.capacity() && (inside(key) || inside(data))) {
        // The bytes come from this buffer, which is about to move.
        const std::string copy = std::string(key) + std::string(data);
        const std::uint32_t at = static_cast<std::uint32_t>(m_bytes.size());
        m_bytes.append(copy);
        return at;
    }
    const std::uint32_t at = static_cast<std::uint32_t>(m_bytes.size());
    m_bytes.append(key);
    m_bytes.append(data);
    return at;
}

void PageRecords::insert(iterator at, std::string_view key, std::string_view data, PageRef child) {
    // The head first: store() may move the buffer key points into.
    Item item = make_item(0, key, data, child);
    item.offset = store(key, data);
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(at.index()), item);
}

void PageRecords::push_back(std::string_view key, std::string_view data, PageRef child) {
    Item item = make_item(0, key, data, child);
    item.offset = store(key, data);
    m_items.push_back(item);
}

void PageRecords::erase(iterator at) {
    const Item& item = m_items[at.index()];
    m_garbage += item.key_length + item.data_length;
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(at.index()));
    if (m_items.empty()) {
        clear();
        return;
    }
    if (m_garbage > 4096 && m_garbage > m_bytes.size() / 2) compact();
}

void PageRecords::set_data(iterator at, std::string_view data) {
    Item& item = m_items[at.index()];
    if (data.size() == item.data_length) {
        // Same length (counters): in place.
        if (!data.empty()) m_bytes.replace(item.offset + item.key_length, data.size(), data);
        return;
    }
    const std::string key(this->key(at.index()));
    m_garbage += item.key_length + item.data_length;
    const std::uint32_t offset = store(key, data);
    Item& now = m_items[at.index()];
    now.offset = offset;
    now.data_length = static_cast<std::uint16_t>(data.size());
    if (m_garbage > 4096 && m_garbage > m_bytes.size() / 2) compact();
}

void PageRecords::move_tail(std::size_t from, PageRecords* right) {
    std::size_t bytes = 0;
    for (std::size_t i = from; i < m_items.size(); ++i) bytes += m_items[i].key_length + m_items[i].data_length;
    right->reserve(right->size() + m_items.size() - from, right->m_bytes.size() + bytes);
    for (std::size_t i = from; i < m_items.size(); ++i) {
        const Entry e = entry(i);
        right->push_back(e.first, e.second.data, e.second.child);
    }
    m_garbage += bytes;
    m_items.resize(from);
    if (m_items.empty())
        clear();
    else
        compact();
}

void PageRecords::compact() {
    std::string bytes;
    bytes.reserve(m_bytes.size() - m_garbage);
    for (Item& item : m_items) {
        const std::uint32_t at = static_cast<std::uint32_t>(bytes.size());
        bytes.append(m_bytes, item.offset, std::size_t(item.key_length) + item.data_length);
        item.offset = at;
    }
    m_bytes.swap(bytes);
    m_garbage = 0;
}

// ---------------------------------------------------------------------------
// KsfPage

void KsfPage::set_level(unsigned level) {
    m_level = level;
    recompute_estimate();
}

void KsfPage::insert(std::string_view key, PageSlot slot) { insert(m_records.lower_bound(key), key, slot); }

void KsfPage::insert(Records::iterator at, std::string_view key, PageSlot slot) {
    m_estimated += entry_estimate(key.size(), slot.data.size());
    m_records.insert(at, key, slot.data, slot.child);
}

void KsfPage::replace_data(Records::iterator it, std::string_view data) {
    m_estimated = m_estimated - it->second.data.size() + data.size();
    m_records.set_data(it, data);
}

void KsfPage::move_tail(std::size_t from, KsfPage* right) {
    m_records.move_tail(from, &right->m_records);
    recompute_estimate();
    right->recompute_estimate();
}

void KsfPage::erase(std::string_view key) {
    auto it = m_records.find(key);
    if (it == m_records.end()) return;
    m_estimated -= entry_estimate(it->first.size(), it->second.data.size());
    m_records.erase(it);
}

void KsfPage::recompute_estimate() {
    m_estimated = kPageHeaderSize;
    for (const auto& [key, slot] : m_records) m_estimated += entry_estimate(key.size(), slot.data.size());
}

bool KsfPage::needs_split() const {
    return m_estimated > kSplitEstimate || (m_estimated > kSplitSoftEstimate && m_records.size() > kSplitSoftCount);
}

PageContent KsfPage::content() const {
    PageContent c;
    c.own_offset = m_ref >= 0 ? static_cast<std::uint32_t>(page_offset(m_ref)) : 0;
    c.level = m_level;
    c.estimated = m_estimated;
    c.records.reserve(m_records.size());
    for (const auto& [key, slot] : m_records) {
        c.records.push_back(Record::of(key, slot.data));
        if (m_level > 0) c.children.push_back(static_cast<std::uint32_t>(slot.child));
    }
    return c;
}

int KsfPage::build_image(std::vector<std::uint8_t>* image, PageImageInfo* info) const {
    std::vector<std::uint32_t> children;
    if (m_level > 0) children.reserve(m_records.size());
    std::vector<std::uint8_t> area;
    area.reserve(m_estimated);
    RecordAreaEncoder encoder(&area);
    for (const auto& [key, slot] : m_records) {
        encoder.add(key, slot.data);
        if (m_level > 0) children.push_back(static_cast<std::uint32_t>(slot.child));
    }
    const std::uint32_t own = m_ref >= 0 ? static_cast<std::uint32_t>(page_offset(m_ref)) : 0;
    return build_page_image(own, m_level, m_estimated, children, m_records.size(), area, image, info);
}

bool KsfPage::assign(const PageContent& content) {
    Records records;
    std::size_t bytes = 0;
    for (const Record& r : content.records) bytes += r.size();
    records.reserve(content.records.size(), bytes);
    for (std::size_t i = 0; i < content.records.size(); ++i) {
        const Record& r = content.records[i];
        if (content.level > 0 && !r.data().empty()) return false;
        if (!records.empty() && !(records.key(records.size() - 1) < r.key())) return false;
        records.push_back(r.key(), r.data(), content.level > 0 ? content.children[i] : 0);
    }
    m_level = content.level;
    m_records.swap(records);
    recompute_estimate();
    return true;
}

int KsfPage::decode(const std::uint8_t* image, std::size_t n, std::uint32_t* own_offset) {
    // Straight into a fresh record array, without a copy of every record first.
    Records records;
    if (n >= kPageHeaderSize && get_le16(image + kPageCount) <= n) {
        // The estimate counts every record in full (plus a fixed overhead per
        // record), which is what the buffer will hold; the expanded length
        // counts shared prefixes once.
        const std::size_t count = get_le16(image + kPageCount);
        const std::size_t overhead = kPageHeaderSize + count * (kRecordOverhead + (image[kPageLevel] > 0 ? 4 : 0));
        const std::size_t estimated = get_le16(image + kPageEstimated);
        records.reserve(count, estimated > overhead ? estimated - overhead : get_le16(image + kPageExpanded));
    }
    PageContent content;
    bool sound = true;
    std::size_t i = 0;
    const int rc = decode_page_image_each(image, n, &content, [&](std::string_view key, std::string_view data) {
        if (!sound) return;
        if ((content.level > 0 && !data.empty()) || (!records.empty() && !(records.key(records.size() - 1) < key)) ||
            (content.level > 0 && i >= content.children.size())) {
            sound = false;
            return;
        }
        records.push_back(key, data, content.level > 0 ? static_cast<PageRef>(content.children[i]) : 0);
        ++i;
    });
    if (rc != 0) return rc;
    if (!sound) return 36;
    *own_offset = content.own_offset;
    m_level = content.level;
    m_records.swap(records);
    recompute_estimate();
    return 0;
}

// ---------------------------------------------------------------------------
// MemoryPageStore

int MemoryPageStore::load(PageRef r, KsfPage** out) {
    auto it = m_pages.find(r);
    if (it == m_pages.end()) return 36;
    *out = it->second.get();
    return 0;
}

KsfPage* MemoryPageStore::create(unsigned level) {
    const PageRef r = m_next--;
    auto page = std::make_unique<KsfPage>(r, level);
    KsfPage* p = page.get();
    m_pages.emplace(r, std::move(page));
    p->set_dirty(true);
    return p;
}

void MemoryPageStore::release(KsfPage* page) { m_pages.erase(page->ref()); }

void MemoryPageStore::for_each(const std::function<void(const KsfPage&)>& f) const {
    for (const auto& [ref, page] : m_pages) f(*page);
}

// ---------------------------------------------------------------------------
// FilePageStore

int FilePageStore::open() {
    std::vector<std::uint8_t> raw(kHeaderSize);
    const std::int64_t n = m_file.read_at(0, raw.data(), raw.size());
    if (n < 0) return 36;
    decipher(m_cipher, 0, raw.data(), static_cast<std::size_t>(n));
    if (m_header.parse(raw.data(), static_cast<std::size_t>(n)) != 0) return 1;
    m_journal.clear();
    if (m_header.journal_pending()) {
        // A commit that did not finish its home phase: read the state it
        // committed, through the journal, without changing the file.
        if (walk_journal(m_file, m_header, &m_journal, m_cipher) != 0) return 36;
        Header adopted;
        const int rc = journal_header(m_file, m_journal, &adopted, m_cipher);
        if (rc == 36) return 36;
        if (rc == 0) m_header = adopted;
    }
    m_root = m_header.root();
    m_pages.clear();
    return 0;
}

int FilePageStore::load(PageRef r, KsfPage** out) {
    auto it = m_pages.find(r);
    if (it != m_pages.end()) {
        *out = it->second.get();
        return 0;
    }
    std::vector<std::uint8_t> image;
    if (int rc = read_page_image(m_file, m_header, m_journal, r, &image, m_cipher)) return rc;
    const std::size_t size = image.size();
    PageContent content;
    if (int rc = decode_page_image(image.data(), size, &content)) return rc;
    if (content.own_offset != page_offset(r)) return 36;
    auto page = std::make_unique<KsfPage>(r, content.level);
    if (!page->assign(content)) return 36;
    KsfPage* p = page.get();
    m_pages.emplace(r, std::move(page));
    *out = p;
    return 0;
}

KsfPage* FilePageStore::create(unsigned level) {
    const PageRef r = m_next--;
    auto page = std::make_unique<KsfPage>(r, level);
    KsfPage* p = page.get();
    m_pages.emplace(r, std::move(page));
    p->set_dirty(true);
    return p;
}

void FilePageStore::release(KsfPage* page) { m_pages.erase(page->ref()); }

}  // namespace sk::ksf
