// Cutting memo text into chunk records and joining it again.
#include "data/ksf/memo.h"

#include "runtime/error.h"

namespace sk::ksf {

std::vector<Record> memo_chunk_records(Id table, Id recno, std::uint8_t memo, std::string_view text) {
    std::vector<Record> out;
    std::size_t at = 0;
    std::uint16_t chunk = 0;
    do {
        std::string data;
        if (chunk == 0) append_le32(&data, static_cast<std::uint32_t>(text.size()));
        const std::string_view part = text.substr(at, kMemoChunk);
        data.append(part);
        at += part.size();
        out.push_back(Record::of(memo_chunk_key(table, recno, memo, chunk), data));
        ++chunk;
    } while (at < text.size());
    return out;
}

int assemble_memo(const std::vector<std::string_view>& chunks, std::string* text) {
    text->clear();
    if (chunks.empty()) return 0;
    if (chunks[0].size() < 4) return sk::rt::kInvalidDataFile;
    const std::uint32_t length = get_le32(bytes_of(chunks[0]));
    if (length > (chunks.size()) * kMemoChunk) return sk::rt::kInvalidDataFile;
    text->reserve(length);
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const std::string_view part = i == 0 ? chunks[0].substr(4) : chunks[i];
        if (part.size() > kMemoChunk) return sk::rt::kInvalidDataFile;
        if (i + 1 < chunks.size() && part.size() != kMemoChunk) return sk::rt::kInvalidDataFile;
        text->append(part);
    }
    if (text->size() != length) {
        text->clear();
        return sk::rt::kInvalidDataFile;
    }
    return 0;
}

}  // namespace sk::ksf
