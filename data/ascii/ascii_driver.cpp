// The ASCII driver's entry, its per-file state and its operations.
#include "data/ascii/ascii_driver.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>

#include "data/ascii/ascii_state.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/system_error.h"
#include "runtime/error.h"

namespace sk::ascii {

using sk::data::DriverCall;
using sk::data::FileControlBlock;
using sk::data::OperationRow;

namespace {

// Names of this length or more are refused, as the system's path buffers hold fewer.
constexpr std::size_t kMaxNameLength = 144;
constexpr std::size_t kCopyChunk = 65536;

// Count byte n, then n+1 operation codes; count byte m, then m type codes.
constexpr std::uint8_t kOperationList[] = {
    31,
    0x01, 0x04, 0x07, 0x09, 0x0A, 0x0D, 0x0E, 0x10, 0x14, 0x15, 0x17, 0x18, 0x19, 0x1B, 0x1D, 0x1E,
    0x25, 0x26, 0x29, 0x2B, 0x30, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x3B, 0x3C, 0x3D, 0x3F, 0x42,
    2,
    sk::data::kTypeString, sk::data::kTypeGroup,
};

const sk::data::DriverDescriptor kDescriptor = {
    "ASCII",
    "TSASC16.DLL",
    "Sitekeeper line file driver",
    "Ascii File Driver 1.0",
    &ascii_entry,
    {0x01, 0x00, 0x80, 0x00, 0x00, 0xff, 0xff, 0x00, 0x00, 0xfe, 0xff, 0x00,
     0x00, 0xff, 0xff, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    37,
    25,
    24,
    121,
    kOperationList,
    sizeof kOperationList,
};

// Rows of the codes only this driver implements.
constexpr OperationRow kRowAddLength{1, 0x41, 0, 0, 0, 0};
constexpr OperationRow kRowGetPointerLength{1, 0x01, 0, 0x02, 0, 0x02};
constexpr OperationRow kRowPutPointerLength{1, 0x41, 0, 0, 0, 0x02};
constexpr OperationRow kRowAppendLength{1, 0x41, 0, 0, 0, 0};

const OperationRow* ascii_row(int op) {
    switch (op) {
        case sk::data::kOpAddLength: return &kRowAddLength;
        case sk::data::kOpGetPointerLength: return &kRowGetPointerLength;
        case sk::data::kOpPutPointerLength: return &kRowPutPointerLength;
        case sk::data::kOpAppendLength: return &kRowAppendLength;
        default: return nullptr;
    }
}

// --- state ---------------------------------------------------------------------

int create_state(FileControlBlock* file) {
    if (file->key_count != 0 || file->memo_count != 0 || file->record_length > kMaxAsciiRecord ||
        (file->record == nullptr && file->record_length > 0)) {
        return rt::kInvalidRecordDeclaration;
    }
    std::vector<sk::data::FieldInfo> parsed;
    if (sk::data::parse_field_stream(file->fields, file->fields_size, &parsed) != 0) return rt::kInvalidFieldType;
    std::vector<StringField> fields;
    for (const sk::data::FieldInfo& f : parsed) {
        if (f.type == sk::data::kTypeGroup) continue;
        if (f.type != sk::data::kTypeString) return rt::kUnsupportedDataType;
        if (std::uint64_t(f.offset) + f.size > file->record_length) return rt::kInvalidRecordDeclaration;
        fields.push_back({f.offset, f.size});
    }
    auto* s = new (std::nothrow) AsciiState;
    if (s == nullptr) return rt::kInsufficientMemory;
    s->fcb = file;
    s->declared_name = sk::data::file_name_text(*file);
    s->record = file->record;
    s->record_length = file->record_length;
    s->options = file->attributes & (sk::data::kAttrOption0 | sk::data::kAttrOption1 | sk::data::kAttrOption2 |
                                     sk::data::kAttrOemText);
    s->fields = std::move(fields);
    if (file->driver_string != nullptr && file->driver_string_length > 0) {
        std::string_view text(file->driver_string, file->driver_string_length);
        std::size_t nul = text.find('\0');
        s->driver_string = std::string(nul == std::string_view::npos ? text : text.substr(0, nul));
    }
    reset_options(*s);
    file->state = s;
    return 0;
}

void release_state(FileControlBlock* file) {
    auto* s = ascii_state(file);
    if (s == nullptr) return;
    if (s->stream.is_open()) s->stream.close();  // closing the file also drops its locks
    delete s;
    file->state = nullptr;
}

// The declared name (the variable behind it may have changed) made a full path.
int full_path(AsciiState& s, std::string* out) {
    s.declared_name = sk::data::file_name_text(*s.fcb);
    const std::string& name = s.declared_name;
    if (name.empty() || name.size() >= kMaxNameLength) return rt::kInvalidFilename;
    if (name[0] == '/') {
        *out = name;
    } else {
        std::string dir = platform::current_directory();
        if (!dir.empty() && dir.back() != '/') dir.push_back('/');
        *out = dir + name;
    }
    return 0;
}

std::string trimmed(std::string_view text) {
    std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    std::size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::uint64_t pointer_from_position(std::string_view text) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4 && i < text.size(); ++i) v |= std::uint32_t(static_cast<unsigned char>(text[i])) << (8 * i);
    return v;
}

std::string position_text(std::uint64_t pointer) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[std::size_t(i)] = char((pointer >> (8 * i)) & 0xFF);
    return out;
}

// --- operations ------------------------------------------------------------------

int do_open(DriverCall& call, AsciiState& s) {
    unsigned mode = unsigned(call.args->at(0)) & 0xFF;
    std::string path;
    int result = full_path(s, &path);
    if (result != 0) {
        call.release = true;
        return result;
    }
    reset_options(s);
    bool denies = (mode & 0x30) != 0;  // deny all, deny write, deny read
    s.buffer_size = std::max<std::size_t>({denies ? 1024u : 512u, 2u * std::size_t(s.record_length), minimum_buffer(s)});
    s.quick_scan = denies;
    if (!s.stream.open(path, mode)) {
        call.release = true;
        return system_failure(s.fcb, s.stream.last_error());
    }
    std::int64_t size = -1;
    s.stream.set_read_ahead(s.quick_scan ? kQuickScanReadAhead : 0);
    if (s.stream.set_buffer_size(s.buffer_size)) size = s.stream.size();
    if (size < 0) {
        int error = s.stream.last_error();
        s.stream.close();
        call.release = true;
        return system_failure(s.fcb, error);
    }
    s.stream.set_cached(s.quick_scan);
    s.file_size = std::uint64_t(size);
    s.path = s.stream.file().path().empty() ? path : s.stream.file().path();
    s.access_mode = mode;
    s.read_only = (mode & 0x03) == 0;
    s.shared = (mode & 0xF0) == 0x40;
    s.next_position = 1;
    s.record_offset = s.record_bytes = 0;
    s.record_current = false;
    s.lock_count = 0;
    s.is_open = true;
    apply_driver_string(s, s.driver_string);
    return 0;
}

int do_close(DriverCall& call, AsciiState& s) {
    bool ok = s.stream.close();
    s.is_open = false;
    s.lock_count = 0;
    call.release = true;
    return ok ? 0 : rt::kAccessDenied;
}

int do_create(AsciiState& s) {
    if (!(s.options & sk::data::kAttrCreate)) return rt::kNoCreateAttribute;
    std::string path;
    int result = full_path(s, &path);
    if (result != 0) return result;
    platform::File f;
    if (!f.create(path, platform::kAccessReadWrite | platform::kDenyAll)) {
        return system_failure(s.fcb, platform::last_system_error());
    }
    s.path = f.path().empty() ? path : f.path();
    f.close();
    return 0;
}

int do_remove(AsciiState& s) {
    std::string path;
    int result = full_path(s, &path);
    if (result != 0) return result;
    s.path = path;
    if (platform::delete_file(path)) return 0;
    int error = platform::last_system_error();
    if (error == platform::kErrFileNotFound || error == platform::kErrPathNotFound) return rt::kFileNotFound;
    return rt::kAccessDenied;
}

int do_rename(DriverCall& call, AsciiState& s) {
    std::string from;
    int result = full_path(s, &from);
    if (result != 0) return result;
    std::string to = trimmed(call.text);
    if (to.empty()) return rt::kInvalidFilename;
    if (!platform::rename_file(from, to)) return system_failure(s.fcb, platform::last_system_error());
    return 0;
}

int do_copy(DriverCall& call, AsciiState& s) {
    std::string from;
    int result = full_path(s, &from);
    if (result != 0) return result;
    std::string to = trimmed(call.text);
    if (to.empty()) return rt::kInvalidFilename;
    platform::File source;
    if (!source.open(from, platform::kAccessRead | platform::kDenyNone)) {
        return system_failure(s.fcb, platform::last_system_error());
    }
    // Copying a file onto itself would empty it before it is read.
    std::error_code ec;
    if (std::filesystem::equivalent(source.path().empty() ? from : source.path(), to, ec) && !ec) {
        return rt::kAccessDenied;
    }
    platform::File target;
    if (!target.create(to, platform::kAccessWrite | platform::kDenyAll)) {
        return system_failure(s.fcb, platform::last_system_error());
    }
    std::vector<char> chunk(kCopyChunk);
    std::uint64_t at = 0;
    for (;;) {
        std::int64_t got = source.read_at(at, chunk.data(), chunk.size());
        if (got < 0) return system_failure(s.fcb, platform::last_system_error());
        if (got == 0) break;
        if (target.write_at(at, chunk.data(), std::size_t(got)) != got) return rt::kAccessDenied;
        at += std::uint64_t(got);
    }
    return 0;
}

// Busy: another open holds the byte.
bool lock_is_busy(int error) {
    return error == platform::kErrLockViolation || error == platform::kErrSharingViolation;
}

// One try: 0 locked, 32 busy, or another failure.
int try_lock(AsciiState& s) {
    if (s.lock_count > 0) {
        ++s.lock_count;
        return 0;
    }
    if (s.stream.lock_byte0()) {
        ++s.lock_count;
        return 0;
    }
    int error = s.stream.last_error();
    if (lock_is_busy(error)) return rt::kFileAlreadyLocked;
    return system_failure(s.fcb, error);
}

int do_lock(AsciiState& s, bool with_timeout, std::int64_t seconds) {
    const std::uint32_t start = platform::tick_hundredths();
    const std::int64_t limit = std::max<std::int64_t>(seconds, 0) * 100;
    for (;;) {
        int result = try_lock(s);
        if (result != rt::kFileAlreadyLocked) return result;
        if (with_timeout && std::int64_t(std::uint32_t(platform::tick_hundredths() - start)) >= limit) {
            return rt::kFileAlreadyLocked;
        }
        sk::data::lock_wait();
    }
}

int do_unlock(AsciiState& s) {
    if (s.lock_count <= 0) return 0;
    --s.lock_count;
    if (s.lock_count == 0 && !s.stream.unlock_byte0()) return system_failure(s.fcb, s.stream.last_error());
    return 0;
}

int do_eof(AsciiState& s) {
    refresh_size(s);
    std::uint64_t at = s.next_position - 1;
    if (at >= s.file_size) return -1;
    std::size_t valid = 0;
    const unsigned char* p = s.stream.window(at, 1, &valid);
    if (p == nullptr || valid == 0 || p[0] == kCtrlZ) return -1;
    return 0;
}

// A length argument of a write: negative lengths are refused; longer ones are cut
// to the record.
bool write_length(std::intptr_t value, std::uint64_t* out) {
    if (value < 0) return false;
    *out = std::uint64_t(value);
    return true;
}

int run(DriverCall& call) {
    using namespace sk::data;
    AsciiState& s = *ascii_state(call.file);
    OperationArgs& args = *call.args;
    switch (call.op) {
        case kOpOpen:
        case kOpShare:
            return do_open(call, s);
        case kOpClose:
            return do_close(call, s);
        case kOpCreate:
            return do_create(s);
        case kOpRemove:
            return do_remove(s);
        case kOpRename:
            return do_rename(call, s);
        case kOpCopy:
            return do_copy(call, s);
        case kOpEmpty:
            if (!s.stream.truncate(0)) return rt::kAccessDenied;
            s.file_size = 0;
            s.record_current = false;
            return 0;
        case kOpFlush:
            if (!s.stream.flush()) return system_failure(s.fcb, s.stream.last_error());
            return 0;
        case kOpEof:
            return do_eof(s);
        case kOpSet:
            s.next_position = 1;
            return 0;
        case kOpSetPointer:
            s.next_position = args.at(0) > 0 ? std::uint64_t(args.at(0)) : 1;
            return 0;
        case kOpReset: {
            std::uint64_t p = pointer_from_position(call.text);
            s.next_position = p > 0 ? p : 1;
            return 0;
        }
        case kOpNext: {
            int result = read_line(s, s.next_position - 1);
            if (result == 0) s.next_position = s.record_offset + s.record_bytes + 1;
            return result;
        }
        case kOpGetPointer:
        case kOpGetPointerLength: {
            std::intptr_t p = args.at(0);
            if (p == 0) return 0;
            if (p < 0) return rt::kRecordNotAvailable;
            return read_line(s, std::uint64_t(p) - 1);
        }
        case kOpReget: {
            std::uint64_t p = pointer_from_position(call.text);
            if (p == 0) return rt::kRecordNotFound;
            return read_line(s, p - 1);
        }
        case kOpAdd:
        case kOpAppend:
            return write_line(s, 0, s.record_length);
        case kOpAddLength:
        case kOpAppendLength: {
            std::uint64_t n = 0;
            if (!write_length(args.at(0), &n)) return rt::kAccessDenied;
            return write_line(s, 0, n);
        }
        case kOpPut:
            if (!s.record_current) return rt::kRecordNotAvailable;
            return write_line(s, s.record_offset + 1, s.record_length);
        case kOpPutPointer:
            if (args.at(0) < 0) return rt::kAccessDenied;
            return write_line(s, std::uint64_t(args.at(0)), s.record_length);
        case kOpPutPointerLength: {
            std::uint64_t n = 0;
            if (args.at(0) < 0 || !write_length(args.at(1), &n)) return rt::kAccessDenied;
            return write_line(s, std::uint64_t(args.at(0)), n);
        }
        case kOpLock:
            return do_lock(s, false, 0);
        case kOpLockTimeout:
            return do_lock(s, true, args.at(0));
        case kOpUnlock:
            return do_unlock(s);
        case kOpName:
            if (!s.is_open) s.declared_name = sk::data::file_name_text(*call.file);
            call.text_result = s.is_open ? s.path : s.declared_name;
            return 0;
        case kOpPointer:
            args.result = s.record_current ? std::int64_t(s.record_offset + 1) : 0;
            return 0;
        case kOpPosition:
            call.text_result = position_text(s.record_current ? s.record_offset + 1 : 0);
            return 0;
        case kOpBytes:
            if (s.record_current) {
                args.result = std::int64_t(s.record_bytes);
            } else {
                refresh_size(s);
                args.result = std::int64_t(s.file_size);
            }
            return 0;
        case kOpSend:
            call.text_result = send_option(s, call.text);
            return 0;
        case kOpCurrentKey:
            args.result = 0;  // file order: the driver has no keys
            return 0;
        default:
            return rt::kUnsupportedFunction;
    }
}

const sk::data::DriverOps kOps = {&kDescriptor, &create_state, &release_state, &run, &ascii_row};

}  // namespace

void reset_options(AsciiState& s) {
    s.clip = true;
    s.tab = kDefaultTab;
    s.terminator = "\r\n";
    s.default_terminator = true;
    s.quick_scan = false;
    s.buffer_size = std::max<std::size_t>({512u, 2u * std::size_t(s.record_length), minimum_buffer(s)});
}

const sk::data::DriverDescriptor& ascii_descriptor() { return kDescriptor; }

int ascii_entry(int op, FileControlBlock* file, sk::data::OperationArgs* args) {
    return sk::data::run_driver_operation(kOps, op, file, args);
}

}  // namespace sk::ascii
