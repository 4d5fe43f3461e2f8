// Files and byte-range locks over Linux file descriptors.
//
// Each File is one open file description, opened close-on-exec so that a started
// program never inherits it (nor its locks). Whenever the permissions allow, the
// description is opened for reading and writing whatever access was asked for, so
// that it can hold both shared and exclusive locks the way the system's byte-range
// locks work on any handle; the access asked for is then enforced here: reading a
// write-only open or writing a read-only one fails with 5.
//
// Letter case: the program names its files in capitals while files copied from
// elsewhere are often in lower case. When the exact name does not exist, a file in
// the same directory whose name differs only in ASCII letter case is used instead.
#include "platform/file.h"

#include "platform/sharing.h"
#include "platform/system_error.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace sk::platform {

namespace {

unsigned char fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

bool equal_nocase(const char* a, const std::string& b) {
    std::size_t i = 0;
    for (; a[i] != '\0'; ++i) {
        if (i >= b.size() || fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == b.size();
}

bool valid_access_mode(unsigned mode) {
    unsigned access = mode & kAccessMask;
    unsigned share = mode & kShareMask;
    if (mode > 0xFF) return false;
    return access <= kAccessReadWrite && share <= kDenyNone;
}

bool may_read(unsigned mode) { return (mode & kAccessMask) != kAccessWrite; }
bool may_write(unsigned mode) { return (mode & kAccessMask) != kAccessRead; }

bool retry_with_less_access(int err) { return err == EACCES || err == EPERM || err == EROFS || err == ETXTBSY; }

int fail(int code) {
    set_last_system_error(code);
    return code;
}

// Checks a lock range: not empty, no overflow, below the sharing range.
bool valid_lock_range(std::uint64_t offset, std::uint64_t length) {
    return length != 0 && offset < kSharingBase && length <= kSharingBase - offset;
}

struct flock make_lock(short type, std::uint64_t offset, std::uint64_t length) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    return fl;
}

int fcntl_retry(int fd, int cmd, struct flock* fl) {
    int r;
    do {
        r = ::fcntl(fd, cmd, fl);
    } while (r != 0 && errno == EINTR);
    return r;
}

std::atomic<void*> g_fault_context{nullptr};
std::atomic<FileFaultHook> g_fault_hook{nullptr};

// The injected fault for operation on path, or 0.
int injected_fault(FileOperation operation, const std::string& path) {
    FileFaultHook hook = g_fault_hook.load(std::memory_order_acquire);
    return hook ? hook(operation, path, g_fault_context.load(std::memory_order_relaxed)) : 0;
}

std::atomic<void*> g_read_fault_context{nullptr};
std::atomic<FileReadFaultHook> g_read_fault_hook{nullptr};

// The injected fault for a read of path at offset, or 0.
int injected_read_fault(const std::string& path, std::uint64_t offset) {
    FileReadFaultHook hook = g_read_fault_hook.load(std::memory_order_acquire);
    return hook ? hook(path, offset, g_read_fault_context.load(std::memory_order_relaxed)) : 0;
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

File::~File() { close(); }

File::File(File&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_access_mode(other.m_access_mode), m_path(std::move(other.m_path)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_access_mode = other.m_access_mode;
        m_path = std::move(other.m_path);
    }
    return *this;
}

bool File::open(const std::string& path, unsigned access_mode) { return open_path(path, access_mode, false); }

bool File::create(const std::string& path, unsigned access_mode) { return open_path(path, access_mode, true); }

bool File::open_path(const std::string& path, unsigned access_mode, bool create) {
    close();
    if (path.empty() || !valid_access_mode(access_mode)) return fail(kErrInvalidParameter), false;
    std::string name = find_case_insensitive(path);

    // O_NONBLOCK keeps an open of a FIFO from hanging; it is cleared straight after.
    int base = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (create ? O_CREAT : 0);
    int fd = ::open(name.c_str(), base | O_RDWR, 0666);
    if (fd < 0 && retry_with_less_access(errno) && (access_mode & kAccessMask) != kAccessReadWrite) {
        int less = (access_mode & kAccessMask) == kAccessWrite ? O_WRONLY : O_RDONLY;
        // A create must be able to truncate, so it never falls back to read-only.
        if (!create || less == O_WRONLY) fd = ::open(name.c_str(), base | less, 0666);
        else errno = EACCES;
    }
    if (fd < 0) return capture_errno_for_path(name.c_str()), false;

    int flags = ::fcntl(fd, F_GETFL);
    struct stat st {};
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || ::fstat(fd, &st) != 0) {
        capture_errno();
        ::close(fd);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        return fail(kErrAccessDenied), false;
    }
    if (acquire_sharing(fd, access_mode) != 0) {
        ::close(fd);
        return false;
    }
    // The contents are only dropped once the sharing check has let this open in.
    if (create && st.st_size != 0) {
        int r;
        do {
            r = ::ftruncate(fd, 0);
        } while (r != 0 && errno == EINTR);
        if (r != 0) {
            capture_errno();
            ::close(fd);
            return false;
        }
    }
    m_fd = fd;
    m_access_mode = access_mode;
    m_path = std::move(name);
    return true;
}

bool File::is_open() const { return m_fd >= 0; }

std::int64_t File::read_at(std::uint64_t offset, void* buffer, std::size_t n) {
    if (m_fd < 0) return fail(kErrInvalidHandle), -1;
    if (!may_read(m_access_mode)) return fail(kErrAccessDenied), -1;
    if (int fault = injected_read_fault(m_path, offset)) return fail(fault), -1;
    if (offset > static_cast<std::uint64_t>(INT64_MAX) || (n != 0 && buffer == nullptr))
        return fail(kErrInvalidParameter), -1;
    n = std::min<std::size_t>(n, SSIZE_MAX);
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = ::pread(m_fd, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            if (errno == EIO) return fail(kErrReadFault), -1;
            return capture_errno(), -1;
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t File::write_at(std::uint64_t offset, const void* buffer, std::size_t n) {
    if (m_fd < 0) return fail(kErrInvalidHandle), -1;
    if (!may_write(m_access_mode)) return fail(kErrAccessDenied), -1;
    if (int fault = injected_fault(FileOperation::kWrite, m_path)) return fail(fault), -1;
    if (offset > static_cast<std::uint64_t>(INT64_MAX) || n > SSIZE_MAX ||
        n > static_cast<std::uint64_t>(INT64_MAX) - offset || (n != 0 && buffer == nullptr))
        return fail(kErrInvalidParameter), -1;
    const auto* p = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = ::pwrite(m_fd, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            return capture_errno(), -1;
        }
        if (r == 0) return fail(kErrHandleDiskFull), -1;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t File::size() const {
    if (m_fd < 0) return fail(kErrInvalidHandle), -1;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return capture_errno(), -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool File::truncate(std::uint64_t size) {
    if (m_fd < 0) return fail(kErrInvalidHandle), false;
    if (!may_write(m_access_mode)) return fail(kErrAccessDenied), false;
    if (size > static_cast<std::uint64_t>(INT64_MAX)) return fail(kErrInvalidParameter), false;
    if (int fault = injected_fault(FileOperation::kTruncate, m_path)) return fail(fault), false;
    int r;
    do {
        r = ::ftruncate(m_fd, static_cast<off_t>(size));
    } while (r != 0 && errno == EINTR);
    if (r != 0) return capture_errno(), false;
    return true;
}

bool File::flush() {
    if (m_fd < 0) return fail(kErrInvalidHandle), false;
    if (int fault = injected_fault(FileOperation::kFlush, m_path)) return fail(fault), false;
    int r;
    do {
        r = ::fdatasync(m_fd);
    } while (r != 0 && errno == EINTR);
    // A file that cannot be synchronised (a pipe, a special file) has nothing to flush.
    if (r != 0 && errno != EINVAL && errno != EROFS) return capture_errno(), false;
    return true;
}

void File::close() {
    if (m_fd >= 0) {
        // Closing the description drops its sharing state and every lock it holds.
        ::close(m_fd);
        m_fd = -1;
    }
    m_access_mode = 0;
    m_path.clear();
}

bool File::lock(std::uint64_t offset, std::uint64_t length, bool exclusive) {
    if (m_fd < 0) return fail(kErrInvalidHandle), false;
    if (!valid_lock_range(offset, length)) return fail(kErrInvalidParameter), false;
    struct flock fl = make_lock(exclusive ? F_WRLCK : F_RDLCK, offset, length);
    if (fcntl_retry(m_fd, F_OFD_SETLK, &fl) == 0) return true;
    if (errno == EAGAIN || errno == EACCES) return fail(kErrLockViolation), false;
    // The description is not open for the access the lock type needs (a file that
    // may only be read cannot carry an exclusive lock).
    if (errno == EBADF) return fail(kErrAccessDenied), false;
    return capture_errno(), false;
}

bool File::unlock(std::uint64_t offset, std::uint64_t length) {
    if (m_fd < 0) return fail(kErrInvalidHandle), false;
    if (!valid_lock_range(offset, length)) return fail(kErrInvalidParameter), false;
    struct flock fl = make_lock(F_UNLCK, offset, length);
    if (fcntl_retry(m_fd, F_OFD_SETLK, &fl) != 0) return capture_errno(), false;
    return true;
}

bool File::is_locked_elsewhere(std::uint64_t offset, std::uint64_t length, bool exclusive) const {
    if (m_fd < 0) return fail(kErrInvalidHandle), false;
    if (!valid_lock_range(offset, length)) return fail(kErrInvalidParameter), false;
    struct flock fl = make_lock(exclusive ? F_WRLCK : F_RDLCK, offset, length);
    if (fcntl_retry(m_fd, F_OFD_GETLK, &fl) != 0) return capture_errno(), false;
    return fl.l_type != F_UNLCK;
}

void set_file_fault_hook(FileFaultHook hook, void* context) {
    g_fault_context.store(context, std::memory_order_relaxed);
    g_fault_hook.store(hook, std::memory_order_release);
}

void set_file_read_fault_hook(FileReadFaultHook hook, void* context) {
    g_read_fault_context.store(context, std::memory_order_relaxed);
    g_read_fault_hook.store(hook, std::memory_order_release);
}

const std::string& File::path() const { return m_path; }

int File::descriptor() const { return m_fd; }

std::string find_case_insensitive(const std::string& path) {
    struct stat st {};
    if (path.empty() || path.back() == '/' || ::lstat(path.c_str(), &st) == 0) return path;
    auto slash = path.rfind('/');
    std::string prefix = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base == "." || base == "..") return path;
    DIR* dir = ::opendir(prefix.empty() ? "." : prefix.c_str());
    if (dir == nullptr) return path;
    // Several variants can exist; the smallest name in byte order is taken so that
    // every open of the same name finds the same file.
    std::string best;
    while (const dirent* e = ::readdir(dir)) {
        if (equal_nocase(e->d_name, base) && (best.empty() || best > e->d_name)) best = e->d_name;
    }
    ::closedir(dir);
    return best.empty() ? path : prefix + best;
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(find_case_insensitive(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool delete_file(const std::string& path) {
    if (path.empty()) return fail(kErrInvalidParameter), false;
    std::string name = find_case_insensitive(path);
    if (::unlink(name.c_str()) != 0) {
        if (errno == EISDIR) return fail(kErrAccessDenied), false;
        return capture_errno_for_path(name.c_str()), false;
    }
    return true;
}

bool rename_file(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return fail(kErrInvalidParameter), false;
    std::string source = find_case_insensitive(from);
    struct stat st {};
    if (::lstat(source.c_str(), &st) != 0) return capture_errno_for_path(source.c_str()), false;
    // The target must not exist, in any letter case, unless it is the source itself
    // (a rename that only changes the letter case of the name).
    std::string target = find_case_insensitive(to);
    if (::lstat(target.c_str(), &st) == 0 && !same_file(source, target)) return fail(kErrFileExists), false;
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EINVAL || errno == ENOSYS) {
        // The file system cannot refuse to replace: the check above stands in.
        if (::rename(source.c_str(), to.c_str()) == 0) return true;
    }
    return capture_errno_for_path(errno == ENOENT ? to.c_str() : source.c_str()), false;
}

namespace {

// Synchronises a file (data and size) or a directory by name.
bool sync_path(const std::string& path, bool directory) {
    const int fd = ::open(path.c_str(), (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) return capture_errno_for_path(path.c_str()), false;
    int r;
    do {
        r = ::fsync(fd);
    } while (r != 0 && errno == EINTR);
    // A file system that cannot synchronise a directory has nothing to flush.
    const bool ok = r == 0 || errno == EINVAL || (directory && errno == EBADF);
    if (!ok) capture_errno();
    ::close(fd);
    return ok;
}

std::string directory_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool replace_file_atomically(const std::string& temp, const std::string& target) {
    if (temp.empty() || target.empty() || target.back() == '/') return fail(kErrInvalidParameter), false;
    struct stat st {};
    if (::lstat(temp.c_str(), &st) != 0) return capture_errno_for_path(temp.c_str()), false;
    if (!S_ISREG(st.st_mode)) return fail(kErrAccessDenied), false;
    const std::string name = find_case_insensitive(target);
    struct stat tt {};
    if (::lstat(name.c_str(), &tt) == 0) {
        if (S_ISDIR(tt.st_mode)) return fail(kErrAccessDenied), false;
        if (tt.st_dev == st.st_dev && tt.st_ino == st.st_ino) return fail(kErrInvalidParameter), false;
    }
    if (int fault = injected_fault(FileOperation::kFlush, temp)) return fail(fault), false;
    if (!sync_path(temp, false)) return false;
    if (::rename(temp.c_str(), name.c_str()) != 0) {
        if (errno == EXDEV) return fail(kErrNotSameDevice), false;
        return capture_errno_for_path(name.c_str()), false;
    }
    if (!sync_path(directory_of(name), true)) return false;
    const std::string temp_dir = directory_of(temp);
    if (temp_dir != directory_of(name) && !sync_path(temp_dir, true)) return false;
    return true;
}

std::string current_directory() {
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd == nullptr) return capture_errno(), std::string();
    std::string result = cwd;
    std::free(cwd);
    return result;
}

bool set_current_directory(const std::string& path) {
    if (path.empty()) return fail(kErrInvalidParameter), false;
    std::string name = find_case_insensitive(path);
    if (::chdir(name.c_str()) != 0) {
        // A missing directory is a missing path, whichever part of it is missing.
        if (errno == ENOENT) return fail(kErrPathNotFound), false;
        return capture_errno_for_path(name.c_str()), false;
    }
    return true;
}

std::string program_path() {
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t r = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (r < 0) return capture_errno(), std::string();
        if (static_cast<std::size_t>(r) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(r));
        if (buffer.size() >= 65536) return fail(kErrPathNotFound), std::string();
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace sk::platform
