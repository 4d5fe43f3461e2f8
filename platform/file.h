// Files and byte-range locks: the platform's stand-in for the system's file calls.
//
// A File is one open file description. The access-mode byte carries the access in
// its low nibble and the sharing in its high nibble; sharing is enforced against
// every other open of the same file, in this process and in others, the way the
// system's sharing modes work (see sharing.cpp for the protocol). Byte-range locks
// are open-file-description locks: they belong to this open, not to the process, so
// closing another descriptor of the same file never drops them.
//
// Failures return false (or -1) and leave the reason in last_system_error().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sk::platform {

// Access mode: low nibble access, high nibble sharing.
enum : unsigned {
    kAccessRead = 0x00,
    kAccessWrite = 0x01,
    kAccessReadWrite = 0x02,
    kShareCompat = 0x00,
    kDenyAll = 0x10,
    kDenyWrite = 0x20,
    kDenyRead = 0x30,
    kDenyNone = 0x40,
};

inline constexpr unsigned kAccessMask = 0x0F;
inline constexpr unsigned kShareMask = 0xF0;

class File {  // movable, not copyable; the destructor closes
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens an existing file. When the exact name does not exist, a file in the same
    // directory whose name differs only in letter case is opened instead.
    // false: last_system_error() is 2 (missing file), 3 (missing path), 5, 32, ...
    bool open(const std::string& path, unsigned access_mode);
    // Creates the file or truncates it. An existing case variant of the name is reused.
    // The file is only truncated once the sharing check has passed.
    bool create(const std::string& path, unsigned access_mode);
    bool is_open() const;

    std::int64_t read_at(std::uint64_t offset, void* buffer, std::size_t n);         // bytes read, 0 at end, -1 error
    std::int64_t write_at(std::uint64_t offset, const void* buffer, std::size_t n);  // n, or -1 error
    std::int64_t size() const;  // -1 error
    bool truncate(std::uint64_t size);
    bool flush();  // fdatasync
    void close();

    // Byte-range locks without waiting (open-file-description locks). A range held
    // by another open (in this or another process) fails with 33.
    bool lock(std::uint64_t offset, std::uint64_t length, bool exclusive = true);
    bool unlock(std::uint64_t offset, std::uint64_t length);
    bool is_locked_elsewhere(std::uint64_t offset, std::uint64_t length, bool exclusive = true) const;

    const std::string& path() const;  // the name actually opened (after letter-case matching)
    int descriptor() const;
    unsigned access_mode() const { return m_access_mode; }

private:
    bool open_path(const std::string& path, unsigned access_mode, bool create);

    int m_fd = -1;
    unsigned m_access_mode = 0;
    std::string m_path;
};

// Tests: fault injection. The hook is consulted before every write_at, truncate and
// flush of every File; a non-zero system error it returns makes the call fail with
// that error without touching the file, so a test can fail the nth write, or refuse
// every write from some point on as a crash would. nullptr removes it.
enum class FileOperation { kWrite, kTruncate, kFlush };
using FileFaultHook = int (*)(FileOperation operation, const std::string& path, void* context);
void set_file_fault_hook(FileFaultHook hook, void* context);

// Tests: read faults. The read hook is consulted before every read_at of every File
// with the name opened and the offset asked for; a non-zero system error it returns
// (kErrReadFault for a failing disk) makes the read fail with that error and leaves
// the buffer untouched, so a test can fail the nth read, every read of one file, or
// the reads past some offset. It is a hook of its own so that a write hook never
// fails a read. nullptr removes it.
using FileReadFaultHook = int (*)(const std::string& path, std::uint64_t offset, void* context);
void set_file_read_fault_hook(FileReadFaultHook hook, void* context);

bool file_exists(const std::string& path);
bool delete_file(const std::string& path);
bool rename_file(const std::string& from, const std::string& to);
// Puts the complete file temp in the place of target in one step, so that a
// crash leaves either the old target or the new one, never a mixture or none:
// temp is synchronised to disk, renamed over target (an existing letter-case
// variant of target's name is the one replaced; a missing target is created),
// and the directory is synchronised so that the rename itself is durable.
// temp should lie in target's directory (a rename cannot cross file systems).
// false: last_system_error() tells why, and target is as it was unless the
// rename was done and only the directory could not be synchronised.
bool replace_file_atomically(const std::string& temp, const std::string& target);
// The existing name matching path without regard to case, or path itself.
std::string find_case_insensitive(const std::string& path);
std::string current_directory();
bool set_current_directory(const std::string& path);
std::string program_path();  // absolute path of the running program

}  // namespace sk::platform
