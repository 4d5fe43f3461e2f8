// Reading a line into the record buffer and writing the record as a line.
#include <algorithm>
#include <cstring>

#include "data/ascii/ascii_state.h"
#include "platform/system_error.h"
#include "runtime/error.h"
#include "runtime/locale.h"

namespace sk::ascii {

namespace {

constexpr unsigned char kTab = 9;
constexpr unsigned char kLf = 10;
constexpr unsigned char kCr = 13;

// Length of the terminator that begins at p[i], 0 when none does. p has valid
// bytes [0, valid).
std::size_t terminator_at(const AsciiState& s, const unsigned char* p, std::size_t i, std::size_t valid) {
    if (s.default_terminator) {
        if (p[i] == kLf) return 1;  // a lone LF: a line written on this platform
        if (p[i] == kCr && i + 1 < valid && p[i + 1] == kLf) return 2;
        return 0;
    }
    std::size_t n = s.terminator.size();
    if (n == 0 || i + n > valid) return 0;
    return std::memcmp(p + i, s.terminator.data(), n) == 0 ? n : 0;
}

void clear_record(AsciiState& s) {
    for (const StringField& f : s.fields) std::memset(s.record + f.offset, ' ', f.size);
}

// Skips the rest of an over-long line from offset on: up to and including the
// terminator or a Ctrl-Z, or to the end of the data. Returns the bytes skipped, or
// -1 when the stream fails.
std::int64_t skip_rest(AsciiState& s, std::uint64_t offset) {
    std::uint64_t skipped = 0;
    const std::size_t chunk = s.stream.buffer_size();
    const std::size_t tlen = s.default_terminator ? 2 : s.terminator.size();
    for (;;) {
        std::size_t valid = 0;
        const unsigned char* p = s.stream.window(offset + skipped, chunk, &valid);
        if (p == nullptr) return -1;
        if (valid == 0) return std::int64_t(skipped);
        const bool data_ends = valid < chunk;
        std::size_t j = 0;
        for (; j < valid; ++j) {
            unsigned char c = p[j];
            if (c == kCtrlZ) return std::int64_t(skipped + j + 1);
            if (s.default_terminator) {
                // CR LF and a lone LF both end at the LF.
                if (c == kLf) return std::int64_t(skipped + j + 1);
                continue;
            }
            if (c != static_cast<unsigned char>(s.terminator[0])) continue;
            if (j + tlen <= valid) {
                if (std::memcmp(p + j, s.terminator.data(), tlen) == 0) return std::int64_t(skipped + j + tlen);
            } else if (!data_ends) {
                break;  // the terminator may continue in the next window: look again from here
            }
        }
        if (j == 0) return std::int64_t(skipped + valid);  // cannot happen with chunk > tlen; never loop
        skipped += j;
        if (data_ends && j >= valid) return std::int64_t(skipped);
    }
}

}  // namespace

int system_failure(sk::data::FileControlBlock* file, int system_error) {
    switch (system_error) {
        case platform::kErrFileNotFound:
        case platform::kErrPathNotFound:
        case platform::kErrTooManyOpenFiles:
        case platform::kErrAccessDenied:
        case platform::kErrSharingViolation:
            return system_error;
        default:
            platform::set_last_system_error(system_error == 0 ? platform::kErrGeneralFailure : system_error);
            sk::data::post_file_error(file, 0);
            return -1;
    }
}

void refresh_size(AsciiState& s) {
    if (s.shared && !s.quick_scan) {
        std::int64_t size = s.stream.size();
        if (size >= 0) s.file_size = std::uint64_t(size);
    }
}

std::size_t minimum_buffer(const AsciiState& s) {
    return std::size_t(s.record_length) + std::max<std::size_t>(s.terminator.size(), 2);
}

int read_line(AsciiState& s, std::uint64_t offset) {
    s.record_current = false;
    refresh_size(s);
    if (offset >= s.file_size) return rt::kRecordNotAvailable;
    s.record_offset = offset;
    clear_record(s);

    const std::size_t reclen = s.record_length;
    const std::size_t tlen = s.default_terminator ? 2 : s.terminator.size();
    const std::size_t want = reclen + tlen;
    std::size_t valid = 0;
    const unsigned char* p = s.stream.window(offset, want, &valid);
    if (p == nullptr) return system_failure(s.fcb, s.stream.last_error());
    // Ctrl-Z at the start of a line, as old editors wrote it, ends the file.
    if (p[0] == kCtrlZ) return rt::kRecordNotAvailable;

    unsigned char* out = reinterpret_cast<unsigned char*>(s.record);
    std::size_t i = 0;       // bytes consumed
    std::size_t stored = 0;  // bytes stored in the record
    bool terminated = false;

    // The usual line: no tab, no Ctrl-Z, its terminator within the first bytes.
    // One search and one block copy.
    const std::size_t scan = std::min(valid, want);
    const unsigned char last = s.default_terminator ? kLf : static_cast<unsigned char>(s.terminator.back());
    const void* hit = scan > 0 ? std::memchr(p, last, scan) : nullptr;
    if (hit != nullptr) {
        std::size_t k = std::size_t(static_cast<const unsigned char*>(hit) - p);
        std::size_t text_end = 0;
        std::size_t used = 0;
        if (s.default_terminator) {
            text_end = (k > 0 && p[k - 1] == kCr) ? k - 1 : k;
            used = k + 1;
        } else if (k + 1 >= tlen && std::memcmp(p + k + 1 - tlen, s.terminator.data(), tlen) == 0) {
            text_end = k + 1 - tlen;
            used = k + 1;
        }
        if (used > 0 && text_end <= reclen && std::memchr(p, kTab, text_end) == nullptr &&
            std::memchr(p, kCtrlZ, text_end) == nullptr &&
            (s.default_terminator || tlen == 1 ||
             std::search(p, p + text_end, s.terminator.begin(), s.terminator.end()) == p + text_end)) {
            std::memcpy(out, p, text_end);
            i = used;
            stored = text_end;
            terminated = true;
        }
    }

    while (!terminated) {
        if (i >= valid) break;  // end of the data
        std::size_t t = terminator_at(s, p, i, valid);
        if (t > 0) {
            i += t;
            terminated = true;
            break;
        }
        unsigned char c = p[i];
        if (c == kCtrlZ) break;  // cuts the line; consumed by the skip below
        if (i >= reclen || stored >= reclen) break;
        ++i;
        if (c != kTab) {
            out[stored++] = c;
            continue;
        }
        if (s.tab == 0) continue;
        if (s.tab == -100) {
            out[stored++] = c;
            continue;
        }
        std::size_t blanks = s.tab > 0 ? std::size_t(s.tab) - stored % std::size_t(s.tab) : std::size_t(-(std::int64_t)s.tab);
        blanks = std::min(blanks, reclen - stored);
        std::memset(out + stored, ' ', blanks);
        stored += blanks;
    }
    s.record_bytes = i;

    if (!terminated && offset + i < s.file_size) {
        std::int64_t more = skip_rest(s, offset + i);
        if (more < 0) return system_failure(s.fcb, s.stream.last_error());
        s.record_bytes += std::uint64_t(more);
    }
    if (s.options & sk::data::kAttrOemText) {
        for (std::size_t k = 0; k < reclen; ++k) out[k] = rt::oem_to_ansi(out[k]);
    }
    s.record_current = true;
    return 0;
}

int write_line(AsciiState& s, std::uint64_t position, std::uint64_t length) {
    if (s.read_only) return rt::kAccessDenied;
    bool took_lock = false;
    if (s.shared) {
        if (s.lock_count == 0) {
            if (!s.stream.lock_byte0()) return rt::kAccessDenied;
        }
        ++s.lock_count;
        took_lock = true;
    }
    int result = 0;
    std::uint64_t at = 0;
    const bool at_end = position == 0;
    if (at_end) {
        refresh_size(s);
        at = s.file_size;
    } else {
        at = position - 1;
    }
    s.record_offset = at;

    if (length == 0) {
        if (!s.stream.truncate(at)) {
            result = rt::kAccessDenied;
        } else {
            s.file_size = at;
            s.record_bytes = 0;
            s.record_current = true;
        }
    } else {
        std::size_t n = std::size_t(std::min<std::uint64_t>(length, s.record_length));
        const std::size_t tlen = s.terminator.size();
        s.scratch.resize(std::size_t(s.record_length) + tlen);
        std::memcpy(s.scratch.data(), s.record, n);
        if (s.options & sk::data::kAttrOemText) {
            for (std::size_t k = 0; k < n; ++k) {
                s.scratch[k] = char(rt::ansi_to_oem(static_cast<unsigned char>(s.scratch[k])));
            }
        }
        if (s.clip) {
            while (n > 0 && s.scratch[n - 1] == ' ') --n;
        }
        std::memcpy(s.scratch.data() + n, s.terminator.data(), tlen);
        if (!s.stream.write(at, s.scratch.data(), n + tlen)) {
            result = rt::kAccessDenied;
        } else {
            s.record_bytes = n + tlen;
            if (at_end) {
                s.file_size += s.record_bytes;
            } else {
                // A write at a pointer may run past the end; the cached size follows it.
                s.file_size = std::max(s.file_size, at + s.record_bytes);
            }
            s.record_current = true;
        }
    }

    if (took_lock) {
        // Other processes must see the line before the lock goes.
        if (!s.stream.write_back() && result == 0) result = rt::kAccessDenied;
        --s.lock_count;
        if (s.lock_count == 0) s.stream.unlock_byte0();
    }
    return result;
}

}  // namespace sk::ascii
