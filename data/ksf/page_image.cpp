// Encoding and decoding of page images: run-length code, record area, header.
#include "data/ksf/page_image.h"

#include <algorithm>
#include <cstring>

namespace sk::ksf {

// ---------------------------------------------------------------------------
// Run-length code.

void append_count(std::vector<std::uint8_t>* out, std::uint32_t value) {
    if (value < 0x80) {
        out->push_back(static_cast<std::uint8_t>(value));
        return;
    }
    out->push_back(static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
    value >>= 7;
    while (value != 0) {
        std::uint8_t c = value & 0x7F;
        value >>= 7;
        if (value != 0) c |= 0x80;
        out->push_back(c);
    }
}

bool read_count(const std::uint8_t* in, std::size_t n, std::size_t* pos, std::uint32_t* value) {
    if (*pos >= n) return false;
    std::uint8_t b = in[(*pos)++];
    if (b < 0x80) {
        *value = b;
        return true;
    }
    std::uint64_t v = b - 0x80;
    unsigned shift = 7;
    for (;;) {
        if (*pos >= n || shift > 28) return false;
        std::uint8_t c = in[(*pos)++];
        v |= static_cast<std::uint64_t>(c & 0x7F) << shift;
        shift += 7;
        if (c < 0x80) break;
    }
    if (v > 0xFFFFFFFFu) return false;
    *value = static_cast<std::uint32_t>(v);
    return true;
}

std::vector<std::uint8_t> rle_encode(const std::uint8_t* data, std::size_t n) {
    std::vector<std::uint8_t> out;
    out.reserve(n / 2 + 8);
    std::size_t literal_start = 0;
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = 1;
        while (i + run < n && data[i + run] == data[i]) ++run;
        // A repeat run costs its count and the next literal count; below four
        // equal bytes plain literals are as short.
        if (run >= 4) {
            append_count(&out, static_cast<std::uint32_t>(i + 1 - literal_start));
            out.insert(out.end(), data + literal_start, data + i + 1);
            append_count(&out, static_cast<std::uint32_t>(run - 1));
            i += run;
            literal_start = i;
        } else {
            i += run;
        }
    }
    if (literal_start < n) {
        append_count(&out, static_cast<std::uint32_t>(n - literal_start));
        out.insert(out.end(), data + literal_start, data + n);
    }
    return out;
}

bool rle_decode(const std::uint8_t* in, std::size_t n, std::size_t expected, std::vector<std::uint8_t>* out) {
    out->clear();
    if (expected == 0) return n == 0;
    out->reserve(expected);
    std::size_t pos = 0;
    for (;;) {
        std::uint32_t literal = 0;
        if (!read_count(in, n, &pos, &literal)) return false;
        if (literal > expected - out->size() || literal > n - pos) return false;
        out->insert(out->end(), in + pos, in + pos + literal);
        pos += literal;
        if (out->size() == expected) break;
        std::uint32_t repeat = 0;
        if (!read_count(in, n, &pos, &repeat)) return false;
        if (repeat > expected - out->size()) return false;
        if (repeat != 0) {
            if (out->empty()) return false;
            out->insert(out->end(), repeat, out->back());
        }
        if (out->size() == expected) break;
    }
    return pos == n;
}

// ---------------------------------------------------------------------------
// Record area.

void RecordAreaEncoder::add(std::string_view key, std::string_view data) {
    std::vector<std::uint8_t>& out = *m_out;
    const std::size_t total = key.size() + data.size();
    // The bytes shared with the previous record, over key and data together.
    const std::size_t limit = std::min<std::size_t>({m_prev.size(), total, kMaxShared});
    std::size_t shared = 0;
    const auto byte_at = [&](std::size_t i) { return i < key.size() ? key[i] : data[i - key.size()]; };
    while (shared < limit && m_prev[shared] == byte_at(shared)) ++shared;
    std::uint8_t flag = static_cast<std::uint8_t>(shared);
    if (total != m_prev.size()) flag |= 0x80;
    if (key.size() != m_prev_key) flag |= 0x40;
    out.push_back(flag);
    if (flag & 0x80) {
        out.push_back(static_cast<std::uint8_t>(total));
        out.push_back(static_cast<std::uint8_t>(total >> 8));
    }
    if (flag & 0x40) {
        out.push_back(static_cast<std::uint8_t>(key.size()));
        out.push_back(static_cast<std::uint8_t>(key.size() >> 8));
    }
    if (shared < key.size()) {
        out.insert(out.end(), bytes_of(key) + shared, bytes_of(key) + key.size());
        out.insert(out.end(), bytes_of(data), bytes_of(data) + data.size());
    } else {
        out.insert(out.end(), bytes_of(data) + (shared - key.size()), bytes_of(data) + data.size());
    }
    m_prev.assign(key);
    m_prev.append(data);
    m_prev_key = key.size();
}

void encode_record_area(const std::vector<Record>& records, std::vector<std::uint8_t>* out) {
    RecordAreaEncoder encoder(out);
    for (const Record& r : records) encoder.add(r.key(), r.data());
}

namespace {

// Decodes count records from area[0..n), handing each to add(key, data) in
// order; the views are good for the call only. False when the records do not
// end exactly at n.
template <class Add>
bool decode_area(const std::uint8_t* area, std::size_t n, std::size_t count, std::string* record, Add&& add) {
    // Every record takes at least its flag byte.
    if (count > n) return false;
    std::size_t pos = 0;
    std::size_t prev_total = 0, prev_key = 0;
    record->clear();
    for (std::size_t k = 0; k < count; ++k) {
        if (pos >= n) return false;
        const std::uint8_t flag = area[pos++];
        const std::size_t shared = flag & 0x3F;
        std::size_t total = prev_total, key = prev_key;
        if (flag & 0x80) {
            if (n - pos < 2) return false;
            total = get_le16(area + pos);
            pos += 2;
        }
        if (flag & 0x40) {
            if (n - pos < 2) return false;
            key = get_le16(area + pos);
            pos += 2;
        }
        if (shared > prev_total || shared > total || key > total) return false;
        if (total - shared > n - pos) return false;
        // The previous record's bytes are still in record: keep the shared ones.
        record->resize(shared);
        record->append(reinterpret_cast<const char*>(area + pos), total - shared);
        pos += total - shared;
        prev_total = total;
        prev_key = key;
        const std::string_view r(*record);
        add(r.substr(0, key), r.substr(key));
    }
    return pos == n;
}

}  // namespace

bool decode_record_area(const std::uint8_t* area, std::size_t n, std::size_t count, std::vector<Record>* out) {
    out->clear();
    if (count > n) return false;
    out->reserve(count);
    std::string record;
    return decode_area(area, n, count, &record,
                       [&](std::string_view key, std::string_view data) { out->push_back(Record::of(key, data)); });
}

// ---------------------------------------------------------------------------
// Pages.

std::size_t page_estimate(const std::vector<Record>& records, unsigned level) {
    std::size_t e = kPageHeaderSize + (level > 0 ? 4 * records.size() : 0);
    for (const Record& r : records) e += r.full_length();
    return e;
}

int build_page_image(const PageContent& page, std::vector<std::uint8_t>* image, PageImageInfo* info) {
    std::vector<std::uint8_t> area;
    encode_record_area(page.records, &area);
    return build_page_image(page.own_offset, page.level, page.estimated, page.children, page.records.size(), area,
                            image, info);
}

int build_page_image(std::uint32_t own_offset, unsigned level, std::size_t estimated,
                     const std::vector<std::uint32_t>& children, std::size_t count,
                     const std::vector<std::uint8_t>& area, std::vector<std::uint8_t>* image, PageImageInfo* info) {
    const bool index = level > 0;
    if (index ? children.size() != count : !children.empty()) return 1664;
    if (count > 0xFFFF || level > 0xFF) return 1683;
    const std::size_t head = kPageHeaderSize + (index ? 4 * count : 0);

    const std::size_t expanded = head + area.size();
    if (expanded > estimated || estimated > 0xFFFF) return 1664;

    std::vector<std::uint8_t> packed = rle_encode(area.data(), area.size());
    const bool compressed = roundup256(head + packed.size()) < roundup256(expanded);
    const std::vector<std::uint8_t>& body = compressed ? packed : area;
    const std::size_t stored = head + body.size();
    if (roundup256(stored) > kMaxPageBytes || expanded > 0xFFFF) return 1683;

    image->assign(roundup256(stored), kPadByte);
    std::uint8_t* p = image->data();
    put_le32(p + kPageOwnOffset, own_offset);
    put_le16(p + kPageStored, static_cast<std::uint32_t>(stored));
    put_le16(p + kPageExpanded, static_cast<std::uint32_t>(expanded));
    put_le16(p + kPageEstimated, static_cast<std::uint32_t>(estimated));
    put_le16(p + kPageCount, static_cast<std::uint32_t>(count));
    p[kPageLevel] = static_cast<std::uint8_t>(level);
    for (std::size_t k = 0; index && k < count; ++k) put_le32(p + kPageHeaderSize + 4 * k, children[k]);
    if (!body.empty()) std::memcpy(p + head, body.data(), body.size());
    if (info) {
        info->stored = stored;
        info->expanded = expanded;
        info->compressed = compressed;
    }
    return 0;
}

namespace {

// decode_page_image and decode_page_image_each: the header checks, the run-length
// code, then the records to add.
template <class Add>
int decode_image(const std::uint8_t* image, std::size_t n, PageContent* out, PageImageInfo* info, bool any_size,
                 Add&& add) {
    if (n < kPageHeaderSize) return kPageMalformed;
    const std::size_t stored = get_le16(image + kPageStored);
    const std::size_t expanded = get_le16(image + kPageExpanded);
    const std::size_t count = get_le16(image + kPageCount);
    const unsigned level = image[kPageLevel];
    const std::size_t head = kPageHeaderSize + (level > 0 ? 4 * count : 0);
    if (any_size ? stored > n : roundup256(stored) != n) return kPageWrongSize;
    if (stored < head || expanded < stored) return kPageMalformed;

    out->own_offset = get_le32(image + kPageOwnOffset);
    out->level = level;
    out->estimated = get_le16(image + kPageEstimated);
    out->children.clear();
    for (std::size_t k = 0; level > 0 && k < count; ++k) out->children.push_back(get_le32(image + kPageHeaderSize + 4 * k));

    std::vector<std::uint8_t> expanded_area;
    const std::uint8_t* area = image + head;
    if (stored < expanded) {
        if (!rle_decode(image + head, stored - head, expanded - head, &expanded_area)) return kPageMalformed;
        area = expanded_area.data();
    }
    if (!add(area, expanded - head, count)) return kPageWrongLength;
    if (info) {
        info->stored = stored;
        info->expanded = expanded;
        info->compressed = stored < expanded;
    }
    return kPageOk;
}

}  // namespace

int decode_page_image(const std::uint8_t* image, std::size_t n, PageContent* out, PageImageInfo* info,
                      bool any_size) {
    return decode_image(image, n, out, info, any_size, [&](const std::uint8_t* area, std::size_t len, std::size_t count) {
        return decode_record_area(area, len, count, &out->records);
    });
}

int decode_page_image_each(const std::uint8_t* image, std::size_t n, PageContent* out,
                           const std::function<void(std::string_view, std::string_view)>& add) {
    out->records.clear();
    return decode_image(image, n, out, nullptr, false, [&](const std::uint8_t* area, std::size_t len, std::size_t count) {
        std::string record;
        return decode_area(area, len, count, &record, add);
    });
}

}  // namespace sk::ksf
