// The statically declared control blocks of the file layer: file, key and memo
// blocks, the record declaration stream with its type codes, and the descriptor
// each driver publishes.
//
// The application declares one FileControlBlock per file, with its keys, memos,
// field stream and record buffer, for the whole run; the blocks are never freed.
// The driver named by the block's entry creates its per-file state on the first
// operation and hangs it on the block (`state`); it is released again when the file
// is left closed. References are native pointers on this platform; the widths the
// original 32-bit layout gave them are kept for the scalar fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sk::data {

struct FileControlBlock;
struct KeyControlBlock;
struct MemoControlBlock;
struct OperationArgs;

// A driver is one entry function: entry(op, file, args) -> result, with the result
// 0 for success, an error number, or -1 for a failure whose error is already posted
// (or, for BOF and EOF, for "true"). See file_layer.h.
using DriverEntry = int (*)(int op, FileControlBlock* file, OperationArgs* args);

// ---------------------------------------------------------------------------
// Attribute bits of FileControlBlock::attributes (the application's files carry 14h).
inline constexpr std::uint8_t kAttrOption0 = 0x02;   // bit 1: driver state option 0
inline constexpr std::uint8_t kAttrOption1 = 0x04;   // bit 2: driver state option 1 (ASCII: allows CREATE)
inline constexpr std::uint8_t kAttrOption2 = 0x08;   // bit 3: driver state option 2
inline constexpr std::uint8_t kAttrRegister = 0x10;  // bit 4: register the blocks with the instance registry
inline constexpr std::uint8_t kAttrOemText = 0x20;   // bit 5: string fields are OEM text on disk
inline constexpr std::uint8_t kAttrCreate = kAttrOption1;

// Sizes of the blocks as the instance registry knows them.
inline constexpr std::size_t kFileBlockSize = 57;
inline constexpr std::size_t kKeyBlockSize = 33;

inline constexpr std::uint32_t kMaxRecordLength = 64000;
inline constexpr unsigned kMaxKeys = 240;
inline constexpr std::uint32_t kMaxMemoSize = 64000;

// ---------------------------------------------------------------------------
// Record declaration stream (FieldStream): a group marker 16h, then per field
//   18h, offset (4 bytes, little-endian), label (zero-terminated), type code,
//   size data: STRING/CSTRING/PSTRING (and 15h, 17h, 1Ah): 4-byte length and a
//   zero byte; DECIMAL: digits byte, places byte; other types: none;
// and a closing zero byte. Field numbers are the 1-based positions of the entries.
enum FieldType : std::uint8_t {
    kTypeByte = 0x01,
    kTypeShort = 0x02,
    kTypeUshort = 0x03,
    kTypeLong = 0x06,
    kTypeUlong = 0x07,
    kTypeSreal = 0x08,
    kTypeReal = 0x09,
    kTypeDecimal = 0x0A,
    kTypeString = 0x12,
    kTypeCstring = 0x13,
    kTypePstring = 0x14,
    kTypeBytes15 = 0x15,
    kTypeGroup = 0x16,
    kTypeBytes17 = 0x17,
    kTypeBytes1A = 0x1A,
};
inline constexpr std::uint8_t kFieldStart = 0x18;  // starts an entry; not a type
inline constexpr std::uint8_t kStreamEnd = 0x00;

// One field of a parsed stream.
struct FieldInfo {
    std::uint32_t offset = 0;
    std::string label;
    std::uint8_t type = 0;
    std::uint32_t size = 0;     // bytes in the record (0 for a group)
    std::uint8_t digits = 0;    // DECIMAL only
    std::uint8_t places = 0;    // DECIMAL only
};

// Parses a field stream. limit is the number of bytes that may be read (0: trust the
// stream to end with its zero byte; parsing still stops at 1 MiB). Returns 0, or 75
// when the stream does not begin with the group marker, an entry is malformed, a
// type code is unknown or the stream runs past limit.
int parse_field_stream(const std::uint8_t* stream, std::size_t limit, std::vector<FieldInfo>* out);

// Builds a field stream, for declarations made at run time and for tests.
class FieldStreamBuilder {
public:
    FieldStreamBuilder();
    FieldStreamBuilder& string(std::uint32_t offset, std::string_view label, std::uint32_t length);
    FieldStreamBuilder& cstring(std::uint32_t offset, std::string_view label, std::uint32_t length);
    FieldStreamBuilder& pstring(std::uint32_t offset, std::string_view label, std::uint32_t length);
    FieldStreamBuilder& decimal(std::uint32_t offset, std::string_view label, std::uint8_t digits,
                                std::uint8_t places);
    // A field of a type without size data (BYTE, SHORT, LONG, REAL, GROUP, ...).
    FieldStreamBuilder& plain(std::uint32_t offset, std::string_view label, std::uint8_t type);
    // The finished stream, closing zero byte included.
    std::vector<std::uint8_t> bytes() const;

private:
    void start(std::uint32_t offset, std::string_view label, std::uint8_t type);
    void sized(std::uint32_t length);
    std::vector<std::uint8_t> m_bytes;
};

// Record bytes a DECIMAL(digits, places) field occupies.
inline constexpr std::uint32_t decimal_size(std::uint8_t digits) { return digits / 2u + 1u; }

// ---------------------------------------------------------------------------
// Generic part of every driver's per-file state. A driver's state type derives
// from it; the file layer's dispatch reads and updates these words.
struct DriverStateBase {
    std::uint32_t state_word = 0;   // kState* bits
    std::uint32_t post_word = 0;    // post-action bits accumulated by successful operations
    int last_sequential_op = 0;     // code of the last NEXT, PREVIOUS, SKIP, SET or RESET
};

// State word bits.
inline constexpr std::uint32_t kStateOpen = 0x01;
inline constexpr std::uint32_t kStateCurrentRecord = 0x02;
inline constexpr std::uint32_t kStateInTransaction = 0x04;
inline constexpr std::uint32_t kStateStreaming = 0x08;
inline constexpr std::uint32_t kStateLocked = 0x10;
inline constexpr std::uint32_t kStateSequenceSet = 0x20;
inline constexpr std::uint32_t kStateWriteAccess = 0x40;
inline constexpr std::uint32_t kStateExclusive = 0x80;

// Post-action bits.
inline constexpr std::uint32_t kPostClearError = 0x01;
inline constexpr std::uint32_t kPostReleaseState = 0x02;
inline constexpr std::uint32_t kPostSequential = 0x04;

// ---------------------------------------------------------------------------
// File control block: one per FILE declaration, static, never freed.
struct FileControlBlock {
    DriverEntry entry = nullptr;          // chooses the driver (or the view engine)
    const char* name = nullptr;           // the file name text; blank padding is ignored
    std::uint32_t name_length = 0;        // for a variable name its declared size
    const char* driver_string = nullptr;  // second text: driver options ("/QUICKSCAN=ON ...")
    std::uint32_t driver_string_length = 0;
    const char* owner = nullptr;          // owner password (KSF enciphers when not empty)
    std::uint32_t owner_length = 0;
    std::uint8_t attributes = 0;          // kAttr* bits
    std::uint8_t key_count = 0;           // 0 to 240
    std::uint8_t memo_count = 0;
    std::uint32_t record_length = 0;      // bytes, at most 64000
    const std::uint8_t* fields = nullptr; // the record declaration (field stream)
    KeyControlBlock* const* keys = nullptr;    // key_count entries, key 1 first
    MemoControlBlock* const* memos = nullptr;  // memo_count entries
    char* record = nullptr;               // the record buffer statements read into and write from
    DriverStateBase* state = nullptr;     // the driver's per-file state; null while there is none
    std::uint16_t reserved = 0;
    // Bytes of `fields` that may be read; 0 when the stream is trusted to end with
    // its zero byte (static declarations). Lets run-time declarations be checked.
    std::uint32_t fields_size = 0;
    // For a VIEW block: the primary file. Null for ordinary files.
    FileControlBlock* primary = nullptr;
};

// The file's name text with blank padding (and anything after a NUL) removed.
std::string file_name_text(const FileControlBlock& file);

// Key attribute bits.
inline constexpr std::uint32_t kKeyDuplicates = 0x0001;
inline constexpr std::uint32_t kKeyOptional = 0x0002;
inline constexpr std::uint32_t kKeyNoCase = 0x0004;
inline constexpr std::uint32_t kKeyPass3 = 0x0008;
inline constexpr std::uint32_t kKeyPass4 = 0x0010;
inline constexpr std::uint32_t kKeyNotMaintained = 0x4000;

struct KeyControlBlock {
    std::uint8_t reserved[8] = {};
    const char* label = nullptr;          // "URL:K_LOCATION"
    std::uint32_t label_length = 0;
    void* driver_entry = nullptr;         // the driver's key entry, set when it creates its state
    std::uint32_t attributes = 0;         // kKey* bits
    std::uint8_t component_count = 0;
    // k > 0: field number k ascending; k < 0: field with 0-based index ~k descending.
    const std::int32_t* components = nullptr;
    FileControlBlock* file = nullptr;
};

struct MemoControlBlock {
    const char* external_name = nullptr;  // empty in this application
    std::uint32_t external_name_length = 0;
    const char* label = nullptr;          // "URL:SITEINFO"
    std::uint32_t label_length = 0;
    char* buffer = nullptr;               // allocated by the driver, blank-filled
    void* driver_entry = nullptr;         // the driver's 40-byte memo entry
    std::uint8_t reserved = 0;
    std::uint8_t attributes = 0;
    std::uint32_t size = 0;               // at most 64000, else 47
};

// ---------------------------------------------------------------------------
// Driver descriptor: static data of each driver, returned by SEND "REGISTER" as a
// byte image (descriptor_bytes) with this layout, little-endian:
//   0  21  driver name, zero padded          21  13  16-bit library name
//   34 41  maker's notice                    75  31  description
//   106 4  dispatch entry (the driver's handle, driver_entry_handle)
//   110 24 capability masks                  134 4   field entry size
//   138 4  key entry size                    142 4   memo entry size
//   146 4  per-file state size               150 12  zero
//   162 4  reference to the operation list: the byte offset of the list within the
//          image (the list follows the fixed part at offset 166)
// Operation list: count byte n, n+1 operation codes, count byte m, m type codes.
inline constexpr std::size_t kDescriptorFixedSize = 166;

struct DriverDescriptor {
    char name[21];
    char library[13];
    char notice[41];
    char description[31];
    DriverEntry entry;
    std::uint8_t capabilities[24];
    std::uint32_t field_entry_size;
    std::uint32_t key_entry_size;
    std::uint32_t memo_entry_size;
    std::uint32_t state_size;
    const std::uint8_t* operations;   // the operation list (format above)
    std::size_t operations_size;      // its length in bytes
};

// The byte image of a descriptor (fixed part followed by the operation list).
std::string descriptor_bytes(const DriverDescriptor& descriptor);

// Reading an image back (the view engine uses the key entry size). Returns false
// when the text is too short to hold the fixed part.
struct DescriptorView {
    std::string name;
    std::string description;
    std::uint32_t entry_handle = 0;
    std::uint32_t field_entry_size = 0;
    std::uint32_t key_entry_size = 0;
    std::uint32_t memo_entry_size = 0;
    std::uint32_t state_size = 0;
    std::vector<std::uint8_t> operations;  // supported operation codes
    std::vector<std::uint8_t> types;       // supported type codes
};
bool parse_descriptor(std::string_view image, DescriptorView* out);

// Small stable numbers for driver entries, so that they fit the 32-bit field of the
// descriptor image: the first call for an entry assigns the next number (from 1).
std::uint32_t driver_entry_handle(DriverEntry entry);
DriverEntry driver_entry_from_handle(std::uint32_t handle);  // nullptr when unknown

}  // namespace sk::data
