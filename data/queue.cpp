// In-memory queues: each entry is its own block, so inserting, deleting and
// sorting move pointers, never record bytes.
#include "data/queue.h"

#include <algorithm>
#include <cstring>

#include "runtime/error.h"

namespace sk::data {

Queue::Queue(std::size_t record_size) : m_record_size(record_size) {}

std::unique_ptr<unsigned char[]> Queue::copy_of(const void* record) const {
    // A zero-size queue still gets one byte per entry so every entry has a distinct block.
    auto block = std::make_unique<unsigned char[]>(m_record_size == 0 ? 1 : m_record_size);
    if (record != nullptr && m_record_size > 0) std::memcpy(block.get(), record, m_record_size);
    return block;
}

void Queue::add(const void* record) { m_records.push_back(copy_of(record)); }

std::size_t Queue::add_at(const void* record, std::size_t position) {
    if (position == 0 || position > m_records.size()) {
        add(record);
        return m_records.size();
    }
    m_records.insert(m_records.begin() + std::ptrdiff_t(position - 1), copy_of(record));
    return position;
}

int Queue::get(std::size_t position, void* out) const {
    const unsigned char* entry = at(position);
    if (entry == nullptr) return rt::kEntryNotFound;
    if (out != nullptr && m_record_size > 0) std::memcpy(out, entry, m_record_size);
    return 0;
}

int Queue::put(std::size_t position, const void* record) {
    unsigned char* entry = at(position);
    if (entry == nullptr) return rt::kEntryNotFound;
    if (record != nullptr && m_record_size > 0) std::memmove(entry, record, m_record_size);
    return 0;
}

int Queue::remove(std::size_t position) {
    if (position == 0 || position > m_records.size()) return rt::kEntryNotFound;
    m_records.erase(m_records.begin() + std::ptrdiff_t(position - 1));
    return 0;
}

void Queue::free() {
    m_records.clear();
    m_records.shrink_to_fit();
}

const unsigned char* Queue::at(std::size_t position) const {
    if (position == 0 || position > m_records.size()) return nullptr;
    return m_records[position - 1].get();
}

unsigned char* Queue::at(std::size_t position) {
    if (position == 0 || position > m_records.size()) return nullptr;
    return m_records[position - 1].get();
}

void Queue::sort(const Compare& compare) {
    if (!compare) return;
    std::stable_sort(m_records.begin(), m_records.end(),
                     [&](const std::unique_ptr<unsigned char[]>& a, const std::unique_ptr<unsigned char[]>& b) {
                         return compare(a.get(), b.get()) < 0;
                     });
}

}  // namespace sk::data
