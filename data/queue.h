// In-memory queues: ordered lists of records of one declared size.
//
// Browse pages, the export index and the viewer's lines are kept in queues.
// Positions are 1-based. A record is always exactly record_size() bytes: adding
// copies that many bytes from the caller's buffer, getting copies them back.
// Operations that name a position outside 1..count() answer 30 "Entry Not Found"
// and change nothing; they do not touch the error state, so the caller decides
// whether to post.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace sk::data {

class Queue {
public:
    explicit Queue(std::size_t record_size);
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;
    Queue(Queue&&) noexcept = default;
    Queue& operator=(Queue&&) noexcept = default;

    std::size_t record_size() const { return m_record_size; }
    std::size_t count() const { return m_records.size(); }

    // Adds a copy of record at the end.
    void add(const void* record);
    // Adds a copy of record so that it becomes entry position; a position past the
    // end (or 0) adds at the end. Returns the position the record took.
    std::size_t add_at(const void* record, std::size_t position);
    // Copies entry position into out. 0 or 30.
    int get(std::size_t position, void* out) const;
    // Replaces entry position with a copy of record. 0 or 30.
    int put(std::size_t position, const void* record);
    // Removes entry position. 0 or 30.
    int remove(std::size_t position);
    // Removes every entry and gives their memory back.
    void free();

    // Direct access to entry position (nullptr when out of range). Valid until the
    // queue is next changed.
    const unsigned char* at(std::size_t position) const;
    unsigned char* at(std::size_t position);

    // Sorts the entries in the order of compare (negative: a before b); entries that
    // compare equal keep their order.
    using Compare = std::function<int(const void* a, const void* b)>;
    void sort(const Compare& compare);

private:
    std::unique_ptr<unsigned char[]> copy_of(const void* record) const;

    std::size_t m_record_size;
    std::vector<std::unique_ptr<unsigned char[]>> m_records;
};

}  // namespace sk::data
