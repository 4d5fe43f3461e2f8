// The ASCII driver's per-file state and the routines its operations share.
// Internal to data/ascii.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/ascii/ascii_stream.h"
#include "data/control_blocks.h"
#include "data/file_layer.h"

namespace sk::ascii {

inline constexpr std::uint32_t kMaxAsciiRecord = 65535;
inline constexpr std::size_t kMaxTerminator = 255;
inline constexpr std::size_t kMaxBufferBlocks = 131072;  // FILEBUFFERS: at most 64 MiB
inline constexpr int kDefaultTab = 8;
// With quick scan on, refills read this much at a time (the reported buffer size
// stays what OPEN and FILEBUFFERS made it).
inline constexpr std::size_t kQuickScanReadAhead = 65536;

struct StringField {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

struct AsciiState : sk::data::DriverStateBase {
    sk::data::FileControlBlock* fcb = nullptr;  // the file this state belongs to
    std::string declared_name;   // the name text as declared (trimmed)
    std::string path;            // full path, from OPEN, CREATE and REMOVE on
    char* record = nullptr;
    std::uint32_t record_length = 0;
    std::uint8_t options = 0;    // attribute bits 1, 2, 3 and 5 of the declaration
    std::vector<StringField> fields;
    std::string driver_string;   // options applied at OPEN
    unsigned access_mode = 0;

    AsciiStream stream;
    std::uint64_t record_offset = 0;
    std::uint64_t record_bytes = 0;
    std::uint64_t file_size = 0;
    std::uint64_t next_position = 1;
    std::size_t buffer_size = 512;
    std::string terminator = "\r\n";
    bool default_terminator = true;  // CR LF as set by OPEN: a lone LF also ends a line
    int tab = kDefaultTab;
    bool clip = true;
    std::vector<char> scratch;   // record (converted to OEM when asked) plus terminator, for writes

    bool is_open = false;
    bool record_current = false;
    bool shared = false;
    bool read_only = false;
    bool quick_scan = false;
    int lock_count = 0;
};

inline AsciiState* ascii_state(sk::data::FileControlBlock* file) {
    return static_cast<AsciiState*>(file->state);
}

// Sets the options OPEN starts from.
void reset_options(AsciiState& s);
// The smallest buffer that holds one record and its terminator.
std::size_t minimum_buffer(const AsciiState& s);

// Reading and writing lines (ascii_lines.cpp). Each returns 0 or an error number.
int read_line(AsciiState& s, std::uint64_t offset);
// position: 1-based, 0 at the end of the file; length: bytes of the record written.
int write_line(AsciiState& s, std::uint64_t position, std::uint64_t length);
void refresh_size(AsciiState& s);
// A platform failure as a file-layer result: 2, 3, 4, 5 and 32 as they are,
// anything else posted as 300 + the system error (-1).
int system_failure(sk::data::FileControlBlock* file, int system_error);

// SEND (ascii_options.cpp): the answer, after the option was applied.
std::string send_option(AsciiState& s, std::string_view text);
// Applies the "/"-separated options of a driver string.
void apply_driver_string(AsciiState& s, std::string_view options);

}  // namespace sk::ascii
