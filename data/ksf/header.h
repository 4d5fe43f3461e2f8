// The 512-byte file header: journal bounds, identifier counter, change counter,
// root reference and the two block tables that define the size classes.
//
//   00h 4  own offset, 0            04h 2  header size, 200h
//   06h 4  journal start            0Ah 4  journal end (= start: no journal)
//   0Eh 4  signature "kEsT"         12h 2  reserved, 0
//   14h 4  last identifier, BE      18h 4  change counter
//   1Ch 4  root page reference (FFFFFFFFh: no page yet)
//   20h 60x4 block_start            110h 60x4 block_end
// The rest of the 512 bytes is zero.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "data/ksf/format.h"

namespace sk::ksf {

class Header {
public:
    // The header of a file that has never been written: all zero but the header
    // size and the signature.
    Header();

    // Takes a header read from offset 0. n is the number of bytes read: 0 is a new
    // file (the fresh header is kept). Returns 0, or 1 when fewer than 512 bytes
    // were read or the signature is wrong (the header is then left unchanged).
    int parse(const std::uint8_t* data, std::size_t n);

    const std::uint8_t* data() const { return m_bytes.data(); }
    std::uint8_t* data() { return m_bytes.data(); }

    std::uint32_t journal_start() const { return get_le32(&m_bytes[kHeaderJournalStart]); }
    std::uint32_t journal_end() const { return get_le32(&m_bytes[kHeaderJournalEnd]); }
    void set_journal(std::uint32_t start, std::uint32_t end);
    bool journal_pending() const { return journal_start() != journal_end(); }

    std::uint32_t identifier() const { return get_be32(&m_bytes[kHeaderIdentifier]); }
    void set_identifier(std::uint32_t id) { put_be32(&m_bytes[kHeaderIdentifier], id); }
    // Adds 1 to the identifier counter and copies the new value, big-endian, to
    // out. Returns false, changing nothing, when the first byte would reach FEh:
    // identifiers must stay below the table name records.
    bool allocate_id(std::uint8_t out[kIdSize]);

    std::uint32_t change_counter() const { return get_le32(&m_bytes[kHeaderChangeCounter]); }
    void set_change_counter(std::uint32_t v) { put_le32(&m_bytes[kHeaderChangeCounter], v); }

    PageRef root() const { return get_le32(&m_bytes[kHeaderRoot]); }
    void set_root(PageRef r) { put_le32(&m_bytes[kHeaderRoot], static_cast<std::uint32_t>(r)); }

    std::uint32_t block_start(unsigned i) const { return get_le32(&m_bytes[kHeaderBlockStart + 4 * i]); }
    std::uint32_t block_end(unsigned i) const { return get_le32(&m_bytes[kHeaderBlockEnd + 4 * i]); }
    void set_block(unsigned i, std::uint32_t start, std::uint32_t end);

    // The size class (1..59) of the block holding reference r, 0 when r lies in
    // no block.
    unsigned class_of(PageRef r) const;
    // The page size at reference r in bytes, 0 when r lies in no block.
    std::size_t page_size(PageRef r) const { return class_of(r) * kUnit; }
    // The highest non-empty block, 0 when all are empty.
    unsigned highest_block() const;
    // File offset just past the last page: block_end of the highest non-empty
    // block times 256 plus 200h, or 200h.
    std::uint64_t allocated_end() const;
    // Whether the block tables are consistent: block 0 empty, every block a whole
    // number of its pages, blocks ascending without overlap.
    bool blocks_consistent() const;

    bool operator==(const Header& other) const { return m_bytes == other.m_bytes; }

private:
    std::array<std::uint8_t, kHeaderSize> m_bytes{};
};

}  // namespace sk::ksf
