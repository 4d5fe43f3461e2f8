// Sharing-mode emulation: how an open of a file asks for access and sharing
// (deny read, deny write, deny all, deny none) and is refused with 32 when it
// conflicts with another open of the same file, in this process or in another.
//
// Linux has no sharing modes, so every open records its state in open-file-
// description (OFD) locks on a range of the file reserved for the purpose. OFD locks
// belong to the open file description, so two opens in one process conflict exactly
// as two processes do, and closing some other descriptor of the file never drops
// them; the kernel drops them when the description is closed or its process dies.
//
// Reserved range: kSharingBase (7FFF'FFFF'0000'0000h) up to kSharingBase + 16. The
// drivers lock at most up to about 80000000h + 2^32, far below; File::lock() refuses
// any range reaching into the reserved one. Locks never allocate file space.
//
//   byte base+0  R   "I read":        shared, held for the life of an open with read access
//   byte base+1  W   "I write":       shared, held by an open with write access
//   byte base+2  DR  "I deny read":   shared, held by an open denying read (deny read, deny all)
//   byte base+3  DW  "I deny write":  shared, held by an open denying write (deny write, deny all)
//   byte base+4  G   gate:            exclusive, held only while one open registers
//
// Compatibility mode is treated as deny none.
//
// Protocol for a new open (a fresh description D):
//   1. If D can hold an exclusive lock (it is open for writing), take G, waiting
//      (F_OFD_SETLKW). G is never held while waiting for anything else.
//   2. Take D's own state bytes, shared (F_OFD_SETLK).
//   3. Probe each byte that conflicts with D: for read access DR, for write access DW,
//      for deny read R, for deny write W. A probe is F_OFD_GETLK of an exclusive lock
//      through D: it reports a lock held by any other description (D's own locks
//      never conflict with it) without taking anything.
//   4. Release G. On a conflict release D's state bytes and report 32.
//
// Invariant 1: the state bytes of an open are taken before it probes, so of two
//   conflicting opens racing each other the later prober always sees the earlier;
//   both may not succeed. This holds with or without the gate.
// Invariant 2: with the gate, two conflicting opens cannot both fail either. A
//   description that cannot take G (a file open read-only because it may not be
//   written) retries a refused open a few times after a short pause instead, so that
//   a spurious refusal from a simultaneous registration clears.
// Limitation: a description open for writing only (a file that may not be read)
//   cannot hold shared locks; it honours the others' denials but records no state.
#include "platform/sharing.h"

#include "platform/file.h"
#include "platform/system_error.h"

#include <cerrno>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>
#include <utility>

namespace sk::platform {

namespace {

enum : std::uint64_t { kReadByte = 0, kWriteByte = 1, kDenyReadByte = 2, kDenyWriteByte = 3, kGateByte = 4 };

int ofd(int fd, int cmd, short type, std::uint64_t byte) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(kSharingBase + byte);
    fl.l_len = 1;
    for (;;) {
        if (::fcntl(fd, cmd, &fl) == 0) {
            if (cmd == F_OFD_GETLK) return fl.l_type == F_UNLCK ? 0 : 1;
            return 0;
        }
        if (errno != EINTR) return -1;
    }
}

struct Wants {
    bool read = false, write = false, deny_read = false, deny_write = false;
};

Wants decode(unsigned access_mode) {
    Wants w;
    switch (access_mode & kAccessMask) {
        case kAccessWrite: w.write = true; break;
        case kAccessReadWrite: w.read = w.write = true; break;
        default: w.read = true; break;
    }
    switch (access_mode & kShareMask) {
        case kDenyAll: w.deny_read = w.deny_write = true; break;
        case kDenyWrite: w.deny_write = true; break;
        case kDenyRead: w.deny_read = true; break;
        default: break;  // compatibility mode and deny none
    }
    return w;
}

void release_state(int fd) {
    for (std::uint64_t b = kReadByte; b <= kDenyWriteByte; ++b) ofd(fd, F_OFD_SETLK, F_UNLCK, b);
}

// One registration attempt: 0, 32 on a conflict, or another system error.
int try_register(int fd, const Wants& w, bool can_read) {
    if (can_read) {
        const std::pair<bool, std::uint64_t> mine[] = {
            {w.read, kReadByte}, {w.write, kWriteByte}, {w.deny_read, kDenyReadByte}, {w.deny_write, kDenyWriteByte}};
        for (auto [wanted, byte] : mine) {
            if (wanted && ofd(fd, F_OFD_SETLK, F_RDLCK, byte) != 0) {
                int code = capture_errno();
                release_state(fd);
                return code;
            }
        }
    }
    const std::pair<bool, std::uint64_t> probes[] = {
        {w.read, kDenyReadByte}, {w.write, kDenyWriteByte}, {w.deny_read, kReadByte}, {w.deny_write, kWriteByte}};
    int result = 0;
    for (auto [wanted, byte] : probes) {
        if (!wanted) continue;
        int r = ofd(fd, F_OFD_GETLK, F_WRLCK, byte);
        if (r < 0) {
            result = capture_errno();
            break;
        }
        if (r > 0) {
            result = kErrSharingViolation;
            break;
        }
    }
    if (result != 0) release_state(fd);
    return result;
}

}  // namespace

int acquire_sharing(int fd, unsigned access_mode) {
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return capture_errno();
    int acc = flags & O_ACCMODE;
    bool can_read = acc == O_RDONLY || acc == O_RDWR;
    bool can_write = acc == O_WRONLY || acc == O_RDWR;
    Wants w = decode(access_mode);

    bool gated = can_write && ofd(fd, F_OFD_SETLKW, F_WRLCK, kGateByte) == 0;
    int result = try_register(fd, w, can_read);
    if (gated) {
        ofd(fd, F_OFD_SETLK, F_UNLCK, kGateByte);
    } else {
        for (int attempt = 0; attempt < 3 && result == kErrSharingViolation; ++attempt) {
            struct timespec pause {0, 2'000'000L * (attempt + 1)};
            ::nanosleep(&pause, nullptr);
            result = try_register(fd, w, can_read);
        }
    }
    if (result != 0) set_last_system_error(result);
    return result;
}

}  // namespace sk::platform
