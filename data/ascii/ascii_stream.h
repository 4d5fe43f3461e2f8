// The ASCII driver's buffered access to one operating-system file.
//
// Reads are asked for as windows: "the bytes at offset o, up to n of them". In
// cached mode a window is served from the buffer when it lies inside the buffer's
// valid bytes, and writes are collected in the buffer until it is full, a write
// lands outside it, or the stream is flushed or closed. With cached mode off every
// window refills the buffer from the file and every write goes to the file at once,
// so a file shared with other processes is always seen as it is on disk.
//
// When the data ends inside a window, the byte after the last valid one is set to
// 26 (Ctrl-Z), so a reader that stops at Ctrl-Z needs no separate end check. The
// buffer always has room for that byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/file.h"

namespace sk::ascii {

inline constexpr unsigned char kCtrlZ = 26;

class AsciiStream {
public:
    AsciiStream() = default;
    AsciiStream(const AsciiStream&) = delete;
    AsciiStream& operator=(const AsciiStream&) = delete;

    bool open(const std::string& path, unsigned access_mode);  // false: last_error() holds the system error
    bool is_open() const { return m_file.is_open(); }
    // Writes back the buffer and closes the file. false when the write-back failed
    // (the file is closed all the same).
    bool close();

    // Replaces the buffer with one of size bytes (the valid bytes are dropped after
    // a write-back). false when the write-back fails.
    bool set_buffer_size(std::size_t size);
    std::size_t buffer_size() const { return m_buffer_size; }
    void set_cached(bool cached);
    // Bytes a cached refill reads beyond the buffer size, so that sequential passes
    // read the file in large blocks whatever buffer size is reported. Changing it
    // drops the valid bytes after a write-back; false when that fails.
    bool set_read_ahead(std::size_t size);
    bool cached() const { return m_cached; }

    // The bytes at offset, at most n (n is raised buffer_size if larger: callers
    // keep n within it). *valid receives how many bytes are real file data; when it
    // is below n the byte at [*valid] is 26. nullptr on a read failure.
    const unsigned char* window(std::uint64_t offset, std::size_t n, std::size_t* valid);

    // Writes n bytes at offset. false on failure or short write.
    bool write(std::uint64_t offset, const void* data, std::size_t n);
    // Writes the dirty bytes of the buffer to the file.
    bool write_back();
    // write_back() and a flush of the file to disk.
    bool flush();
    bool truncate(std::uint64_t size);
    // The file's size as the operating system sees it, including bytes still in the
    // buffer. -1 on failure.
    std::int64_t size();

    bool lock_byte0();
    bool unlock_byte0();

    int last_error() const { return m_last_error; }
    platform::File& file() { return m_file; }

private:
    bool ensure_buffer(std::size_t n);
    bool refill(std::uint64_t offset);
    void remember_error();

    platform::File m_file;
    int m_last_error = 0;
    std::uint64_t m_buffer_offset = 0;   // file offset of the buffer's first byte
    std::size_t m_valid = 0;             // valid bytes in the buffer
    std::size_t m_dirty_from = 0;        // dirty range [from, to) within the buffer
    std::size_t m_dirty_to = 0;
    std::size_t m_buffer_size = 0;              // the size options report and set
    std::size_t m_capacity = 0;                 // allocated: max(buffer size, read-ahead)
    std::size_t m_read_ahead = 0;
    std::unique_ptr<unsigned char[]> m_buffer;  // m_capacity + 1 bytes
    bool m_cached = false;
};

}  // namespace sk::ascii
