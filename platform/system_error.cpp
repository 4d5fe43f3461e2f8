// The thread's last system error and the mapping of Linux errno values onto the
// system error numbering the rest of the program speaks.
#include "platform/system_error.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>

namespace sk::platform {

namespace {

thread_local int t_last_error = kErrNone;

// The parent directory of path ("." for a bare name, "/" for a name in the root).
std::string parent_of(const char* path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    auto slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

}  // namespace

int last_system_error() { return t_last_error; }

void set_last_system_error(int code) { t_last_error = code; }

// errno                         system error
// ----------------------------  -------------------------------------------------
// 0                             0   none
// ENOENT                        2   file not found (3 through system_error_for_path
//                                   when the parent directory is missing)
// ENOTDIR, ENAMETOOLONG, ELOOP  3   path not found (a directory part is missing or
//                                   is not a directory, or the name cannot be resolved)
// EMFILE, ENFILE                4   too many open files
// EACCES, EPERM, EISDIR         5   access denied
// EBADF                         6   invalid handle
// ENOMEM                        8   not enough memory
// EXDEV                         17  not the same device
// EROFS                         19  write protected
// EIO                           29  write fault (30 read fault, chosen by the caller
//                                   that knows it was reading)
// ETXTBSY, EBUSY                32  sharing violation (the file is in use)
// EAGAIN, EWOULDBLOCK, EDEADLK  33  lock violation (only lock calls report these
//                                   here: the files are never non-blocking)
// ENOSPC, EDQUOT, EFBIG         39  disk full (or the file cannot grow further)
// ENOSYS, EOPNOTSUPP            50  not supported
// EEXIST, ENOTEMPTY             80  file exists
// EINVAL, EOVERFLOW, EFAULT,    87  invalid parameter
//   ERANGE, ESPIPE
// anything else                 31  general failure
int system_error_from_errno(int err) {
    switch (err) {
        case 0: return kErrNone;
        case ENOENT: return kErrFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP: return kErrPathNotFound;
        case EMFILE:
        case ENFILE: return kErrTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EISDIR: return kErrAccessDenied;
        case EBADF: return kErrInvalidHandle;
        case ENOMEM: return kErrNotEnoughMemory;
        case EXDEV: return kErrNotSameDevice;
        case EROFS: return kErrWriteProtect;
        case EIO: return kErrWriteFault;
        case ETXTBSY:
        case EBUSY: return kErrSharingViolation;
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EDEADLK: return kErrLockViolation;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return kErrHandleDiskFull;
        case ENOSYS:
#if EOPNOTSUPP != ENOSYS
        case EOPNOTSUPP:
#endif
            return kErrNotSupported;
        case EEXIST:
        case ENOTEMPTY: return kErrFileExists;
        case EINVAL:
        case EOVERFLOW:
        case EFAULT:
        case ERANGE:
        case ESPIPE: return kErrInvalidParameter;
        default: return kErrGeneralFailure;
    }
}

int capture_errno() {
    int code = system_error_from_errno(errno);
    t_last_error = code;
    return code;
}

int system_error_for_path(int err, const char* path) {
    if (err != ENOENT || path == nullptr) return system_error_from_errno(err);
    if (*path == '\0') return kErrPathNotFound;
    struct stat st {};
    std::string parent = parent_of(path);
    if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kErrPathNotFound;
    return kErrFileNotFound;
}

int capture_errno_for_path(const char* path) {
    int saved = errno;
    int code = system_error_for_path(saved, path);
    t_last_error = code;
    errno = saved;
    return code;
}

}  // namespace sk::platform
