// The ASCII driver's buffered stream (see ascii_stream.h).
#include "data/ascii/ascii_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/system_error.h"

namespace sk::ascii {

void AsciiStream::remember_error() {
    m_last_error = platform::last_system_error();
    if (m_last_error == 0) m_last_error = platform::kErrGeneralFailure;
}

bool AsciiStream::open(const std::string& path, unsigned access_mode) {
    m_valid = 0;
    m_dirty_from = m_dirty_to = 0;
    if (!m_file.open(path, access_mode)) {
        remember_error();
        return false;
    }
    return true;
}

bool AsciiStream::close() {
    bool ok = write_back();
    m_file.close();
    m_valid = 0;
    m_buffer.reset();
    m_buffer_size = 0;
    m_capacity = 0;
    return ok;
}

bool AsciiStream::ensure_buffer(std::size_t n) {
    if (n <= m_buffer_size && m_buffer) return true;
    return set_buffer_size(std::max(n, m_buffer_size));
}

bool AsciiStream::set_buffer_size(std::size_t size) {
    if (size == 0) size = 1;
    if (!write_back()) return false;
    std::size_t capacity = std::max(size, m_read_ahead);
    m_buffer = std::make_unique<unsigned char[]>(capacity + 1);
    m_buffer_size = size;
    m_capacity = capacity;
    m_valid = 0;
    m_buffer_offset = 0;
    return true;
}

bool AsciiStream::set_read_ahead(std::size_t size) {
    if (size == m_read_ahead) return true;
    m_read_ahead = size;
    if (!m_buffer) return true;
    return set_buffer_size(m_buffer_size);
}

void AsciiStream::set_cached(bool cached) {
    if (m_cached && !cached) write_back();
    m_cached = cached;
    if (!cached) m_valid = 0;
}

bool AsciiStream::write_back() {
    if (m_dirty_to <= m_dirty_from) return true;
    std::size_t n = m_dirty_to - m_dirty_from;
    std::int64_t written = m_file.write_at(m_buffer_offset + m_dirty_from, m_buffer.get() + m_dirty_from, n);
    if (written != std::int64_t(n)) {
        if (written < 0) {
            remember_error();
        } else {
            m_last_error = platform::kErrHandleDiskFull;
        }
        // The bytes stay dirty; a later write-back may succeed.
        return false;
    }
    m_dirty_from = m_dirty_to = 0;
    return true;
}

bool AsciiStream::refill(std::uint64_t offset) {
    if (!write_back()) return false;
    m_buffer_offset = offset;
    m_valid = 0;
    std::size_t filled = 0;
    // Fill the whole buffer (with its read-ahead when cached) unless the file ends first.
    const std::size_t fill = m_cached ? m_capacity : m_buffer_size;
    while (filled < fill) {
        std::int64_t got = m_file.read_at(offset + filled, m_buffer.get() + filled, fill - filled);
        if (got < 0) {
            remember_error();
            return false;
        }
        if (got == 0) break;
        filled += std::size_t(got);
    }
    m_valid = filled;
    return true;
}

const unsigned char* AsciiStream::window(std::uint64_t offset, std::size_t n, std::size_t* valid) {
    if (!m_file.is_open()) {
        m_last_error = platform::kErrInvalidHandle;
        return nullptr;
    }
    if (!ensure_buffer(n)) return nullptr;
    bool inside = m_cached && m_valid > 0 && offset >= m_buffer_offset &&
                  offset + n <= m_buffer_offset + m_valid;
    if (!inside && !refill(offset)) return nullptr;
    std::size_t start = std::size_t(offset - m_buffer_offset);
    std::size_t have = m_valid > start ? m_valid - start : 0;
    if (have >= n) {
        *valid = n;
    } else {
        *valid = have;
        m_buffer[start + have] = kCtrlZ;  // start + have <= m_capacity: the spare byte exists
    }
    return m_buffer.get() + start;
}

bool AsciiStream::write(std::uint64_t offset, const void* data, std::size_t n) {
    if (!m_file.is_open()) {
        m_last_error = platform::kErrInvalidHandle;
        return false;
    }
    if (n == 0) return true;
    if (!m_cached || n > m_capacity || !m_buffer) {
        if (!write_back()) return false;
        // Bytes in the buffer that this write replaces would be stale.
        if (m_valid > 0 && offset < m_buffer_offset + m_valid && offset + n > m_buffer_offset) m_valid = 0;
        std::int64_t written = m_file.write_at(offset, data, n);
        if (written != std::int64_t(n)) {
            if (written < 0) {
                remember_error();
            } else {
                m_last_error = platform::kErrHandleDiskFull;
            }
            return false;
        }
        return true;
    }
    bool joins = m_valid > 0 || m_dirty_to > 0;
    joins = joins && offset >= m_buffer_offset && offset <= m_buffer_offset + m_valid &&
            offset + n <= m_buffer_offset + m_capacity;
    if (!joins) {
        if (!write_back()) return false;
        m_buffer_offset = offset;
        m_valid = 0;
    }
    std::size_t start = std::size_t(offset - m_buffer_offset);
    std::memcpy(m_buffer.get() + start, data, n);
    m_valid = std::max(m_valid, start + n);
    if (m_dirty_to <= m_dirty_from) {
        m_dirty_from = start;
        m_dirty_to = start + n;
    } else {
        m_dirty_from = std::min(m_dirty_from, start);
        m_dirty_to = std::max(m_dirty_to, start + n);
    }
    return true;
}

bool AsciiStream::flush() {
    if (!write_back()) return false;
    if (!m_file.flush()) {
        remember_error();
        return false;
    }
    return true;
}

bool AsciiStream::truncate(std::uint64_t size) {
    if (!write_back()) return false;
    m_valid = 0;
    if (!m_file.truncate(size)) {
        remember_error();
        return false;
    }
    return true;
}

std::int64_t AsciiStream::size() {
    std::int64_t on_disk = m_file.size();
    if (on_disk < 0) {
        remember_error();
        return -1;
    }
    if (m_dirty_to > m_dirty_from) {
        on_disk = std::max<std::int64_t>(on_disk, std::int64_t(m_buffer_offset + m_dirty_to));
    }
    return on_disk;
}

bool AsciiStream::lock_byte0() {
    if (!m_file.lock(0, 1, true)) {
        remember_error();
        return false;
    }
    return true;
}

bool AsciiStream::unlock_byte0() {
    if (!m_file.unlock(0, 1)) {
        remember_error();
        return false;
    }
    return true;
}

}  // namespace sk::ascii
