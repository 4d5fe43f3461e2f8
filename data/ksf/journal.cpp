// Journal walk and reads through the journal index.
#include "data/ksf/journal.h"

namespace sk::ksf {

int walk_journal(sk::platform::File& file, const Header& header, JournalIndex* index, const PageCipher* cipher) {
    index->clear();
    std::uint64_t at = header.journal_start();
    const std::uint64_t end = header.journal_end();
    if (end < at) return 36;
    while (at < end) {
        std::uint8_t head[8];
        if (file.read_at(at, head, sizeof head) != static_cast<std::int64_t>(sizeof head)) return 36;
        decipher(cipher, at, head, sizeof head);
        const std::uint64_t home = get_le32(head);
        const std::size_t stored = get_le16(head + kPageStored);
        const std::size_t length = roundup256(stored);
        if (stored < kPageHeaderSize || length > kMaxPageBytes || length > end - at) return 36;
        (*index)[home] = at;
        at += length;
    }
    return 0;
}

int journal_header(sk::platform::File& file, const JournalIndex& index, Header* out, const PageCipher* cipher) {
    auto it = index.find(0);
    if (it == index.end()) return 1;
    std::vector<std::uint8_t> raw(kHeaderSize);
    if (file.read_at(it->second, raw.data(), raw.size()) != static_cast<std::int64_t>(raw.size())) return 36;
    decipher(cipher, it->second, raw.data(), raw.size());
    Header h;
    if (h.parse(raw.data(), raw.size()) != 0) return 36;
    *out = h;
    return 0;
}

int read_page_image(sk::platform::File& file, const Header& header, const JournalIndex& index, PageRef r,
                    std::vector<std::uint8_t>* image, const PageCipher* cipher) {
    const std::size_t size = header.page_size(r);
    if (size == 0) return 36;
    const std::uint64_t home = page_offset(r);
    auto it = index.find(home);
    const std::uint64_t at = it == index.end() ? home : it->second;
    image->resize(size);
    if (file.read_at(at, image->data(), size) != static_cast<std::int64_t>(size)) return 36;
    decipher(cipher, at, image->data(), size);
    if (roundup256(get_le16(image->data() + kPageStored)) != size) return 1482;
    return 0;
}

}  // namespace sk::ksf
