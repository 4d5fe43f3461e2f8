// Sharing modes between opens of one file, emulated with open-file-description locks.
// Used by File; see sharing.cpp for the byte range and the protocol.
#pragma once

#include <cstdint>

namespace sk::platform {

// First byte of the range reserved for the sharing protocol. Byte-range locks
// asked for through File::lock() must end below it.
inline constexpr std::uint64_t kSharingBase = 0x7FFF'FFFF'0000'0000ULL;
inline constexpr std::uint64_t kSharingBytes = 16;

// Registers an open of descriptor fd (a fresh open file description) with the given
// access and sharing (the access-mode byte) against every other open of the file.
// Returns 0, or 32 when the open conflicts with an existing one, or another system
// error. On failure the description holds no sharing locks.
int acquire_sharing(int fd, unsigned access_mode);

}  // namespace sk::platform
