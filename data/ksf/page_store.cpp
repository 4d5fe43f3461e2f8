// In-memory pages, the memory store and the store that reads a file's pages.
#include "data/ksf/page_store.h"

#include <vector>

namespace sk::ksf {

// ---------------------------------------------------------------------------
// KsfPage

void KsfPage::set_level(unsigned level) {
    m_level = level;
    recompute_estimate();
}

std::size_t KsfPage::entry_estimate(std::string_view key, const PageSlot& slot) const {
    return key.size() + slot.data.size() + kRecordOverhead + (m_level > 0 ? 4 : 0);
}

void KsfPage::insert(std::string key, PageSlot slot) {
    m_estimated += entry_estimate(key, slot);
    m_records.emplace(std::move(key), std::move(slot));
}

void KsfPage::insert_node(Records::node_type node) {
    m_estimated += entry_estimate(node.key(), node.mapped());
    m_records.insert(std::move(node));
}

KsfPage::Records::node_type KsfPage::extract(Records::const_iterator it) {
    m_estimated -= entry_estimate(it->first, it->second);
    return m_records.extract(it);
}

void KsfPage::erase(std::string_view key) {
    auto it = m_records.find(key);
    if (it == m_records.end()) return;
    m_estimated -= entry_estimate(it->first, it->second);
    m_records.erase(it);
}

void KsfPage::recompute_estimate() {
    m_estimated = kPageHeaderSize;
    for (const auto& [key, slot] : m_records) m_estimated += entry_estimate(key, slot);
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

bool KsfPage::assign(const PageContent& content) {
    Records records;
    for (std::size_t i = 0; i < content.records.size(); ++i) {
        const Record& r = content.records[i];
        if (content.level > 0 && !r.data().empty()) return false;
        if (!records.empty() && !(records.rbegin()->first < r.key())) return false;
        PageSlot slot;
        slot.data = std::string(r.data());
        if (content.level > 0) slot.child = content.children[i];
        records.emplace_hint(records.end(), std::string(r.key()), std::move(slot));
    }
    m_level = content.level;
    m_records = std::move(records);
    recompute_estimate();
    return true;
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
