// The system error number of the calling thread, in the numbering the runtime's 3xx
// messages mirror (2 missing file, 5 access denied, 32 sharing violation, ...).
//
// Every platform call that fails stores its error here; the runtime's error state
// captures it when an error is posted. Like the system's own last-error value it is
// kept per thread.
#pragma once

namespace sk::platform {

// Numbers of the system error numbering used across the program.
enum SystemError : int {
    kErrNone = 0,
    kErrInvalidFunction = 1,
    kErrFileNotFound = 2,
    kErrPathNotFound = 3,
    kErrTooManyOpenFiles = 4,
    kErrAccessDenied = 5,
    kErrInvalidHandle = 6,
    kErrNotEnoughMemory = 8,
    kErrInvalidAccess = 12,
    kErrInvalidData = 13,
    kErrWriteProtect = 19,
    kErrWriteFault = 29,
    kErrReadFault = 30,
    kErrNotSameDevice = 17,
    kErrGeneralFailure = 31,
    kErrSharingViolation = 32,
    kErrLockViolation = 33,
    kErrHandleEof = 38,
    kErrHandleDiskFull = 39,
    kErrNotSupported = 50,
    kErrFileExists = 80,
    kErrInvalidParameter = 87,
    kErrUnknown = 91,
};

int last_system_error();
void set_last_system_error(int code);

// Maps an errno value to the numbering above (documented with the table in the source).
int system_error_from_errno(int err);

// Stores system_error_from_errno(errno) as the thread's last error and returns it.
int capture_errno();

// Like system_error_from_errno, but tells a missing file (2) from a missing directory
// on the way to it (3) by looking at path's parent directory when err is ENOENT.
int system_error_for_path(int err, const char* path);

// Stores system_error_for_path(errno, path) as the thread's last error and returns it.
int capture_errno_for_path(const char* path);

}  // namespace sk::platform
