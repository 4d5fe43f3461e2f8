// The file header's accessors, validation and the block rule.
#include "data/ksf/header.h"

#include <cstring>

namespace sk::ksf {

Header::Header() {
    put_le16(&m_bytes[kHeaderSizeField], kHeaderSize);
    std::memcpy(&m_bytes[kHeaderSignature], kSignature, 4);
}

int Header::parse(const std::uint8_t* data, std::size_t n) {
    if (n == 0) {
        *this = Header();
        return 0;
    }
    if (n < kHeaderSize || std::memcmp(data + kHeaderSignature, kSignature, 4) != 0) return 1;
    std::memcpy(m_bytes.data(), data, kHeaderSize);
    return 0;
}

void Header::set_journal(std::uint32_t start, std::uint32_t end) {
    put_le32(&m_bytes[kHeaderJournalStart], start);
    put_le32(&m_bytes[kHeaderJournalEnd], end);
}

bool Header::allocate_id(std::uint8_t out[kIdSize]) {
    std::uint8_t next[kIdSize];
    std::memcpy(next, &m_bytes[kHeaderIdentifier], kIdSize);
    for (int i = kIdSize - 1; i >= 0; --i) {
        if (++next[i] != 0) break;  // carry from the last byte towards the first
    }
    if (next[0] >= 0xFE) return false;
    std::memcpy(&m_bytes[kHeaderIdentifier], next, kIdSize);
    std::memcpy(out, next, kIdSize);
    return true;
}

void Header::set_block(unsigned i, std::uint32_t start, std::uint32_t end) {
    put_le32(&m_bytes[kHeaderBlockStart + 4 * i], start);
    put_le32(&m_bytes[kHeaderBlockEnd + 4 * i], end);
}

unsigned Header::class_of(PageRef r) const {
    if (r < 0 || r > 0xFFFFFFFFLL) return 0;
    for (unsigned i = 1; i < kClassCount; ++i) {
        if (block_start(i) <= r && r < block_end(i)) return i;
    }
    return 0;
}

unsigned Header::highest_block() const {
    for (unsigned i = kClassCount - 1; i >= 1; --i) {
        if (block_end(i) > block_start(i)) return i;
    }
    return 0;
}

std::uint64_t Header::allocated_end() const {
    unsigned k = highest_block();
    if (k == 0) return kHeaderSize;
    return page_offset(block_end(k));
}

bool Header::blocks_consistent() const {
    if (block_end(0) != block_start(0)) return false;
    for (unsigned i = 0; i < kClassCount; ++i) {
        std::uint32_t s = block_start(i), e = block_end(i);
        if (e < s) return false;
        if (i > 0 && (e - s) % i != 0) return false;
        if (i + 1 < kClassCount && e > block_start(i + 1)) return false;
    }
    return true;
}

}  // namespace sk::ksf
