// The file layer: precondition table, generic driver dispatch, text channel,
// error posting, hooks and the statement wrappers; also the helpers for the
// control blocks (field streams, driver descriptors, file names).
#include "data/file_layer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/error.h"

namespace sk::data {

// ===========================================================================
// Control block helpers

std::string file_name_text(const FileControlBlock& file) {
    if (file.name == nullptr || file.name_length == 0) return {};
    std::string_view text(file.name, file.name_length);
    std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    std::size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

namespace {

constexpr std::size_t kTrustedStreamLimit = 1u << 20;

bool is_known_type(std::uint8_t type) {
    switch (type) {
        case kTypeByte: case kTypeShort: case kTypeUshort: case kTypeLong: case kTypeUlong:
        case kTypeSreal: case kTypeReal: case kTypeDecimal: case kTypeString: case kTypeCstring:
        case kTypePstring: case kTypeBytes15: case kTypeGroup: case kTypeBytes17: case kTypeBytes1A:
            return true;
        default:
            return false;
    }
}

bool has_length_data(std::uint8_t type) {
    return type == kTypeString || type == kTypeCstring || type == kTypePstring || type == kTypeBytes15 ||
           type == kTypeBytes17 || type == kTypeBytes1A;
}

std::uint32_t fixed_size(std::uint8_t type) {
    switch (type) {
        case kTypeByte: return 1;
        case kTypeShort: case kTypeUshort: return 2;
        case kTypeLong: case kTypeUlong: case kTypeSreal: return 4;
        case kTypeReal: return 8;
        default: return 0;
    }
}

std::uint32_t read_le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

void put_le32(std::string& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = char((v >> (8 * i)) & 0xFF);
}

}  // namespace

int parse_field_stream(const std::uint8_t* stream, std::size_t limit, std::vector<FieldInfo>* out) {
    if (out) out->clear();
    if (stream == nullptr) return rt::kInvalidFieldType;
    std::size_t end = limit == 0 ? kTrustedStreamLimit : limit;
    std::size_t at = 0;
    if (at >= end || stream[at] != kTypeGroup) return rt::kInvalidFieldType;
    ++at;
    for (;;) {
        if (at >= end) return rt::kInvalidFieldType;
        std::uint8_t marker = stream[at++];
        if (marker == kStreamEnd) return 0;
        if (marker != kFieldStart) return rt::kInvalidFieldType;
        if (end - at < 4) return rt::kInvalidFieldType;
        FieldInfo field;
        field.offset = read_le32(stream + at);
        at += 4;
        std::size_t label_start = at;
        while (at < end && stream[at] != 0) ++at;
        if (at >= end) return rt::kInvalidFieldType;
        field.label.assign(reinterpret_cast<const char*>(stream + label_start), at - label_start);
        ++at;  // the label's zero byte
        if (at >= end) return rt::kInvalidFieldType;
        field.type = stream[at++];
        if (!is_known_type(field.type)) return rt::kInvalidFieldType;
        if (has_length_data(field.type)) {
            if (end - at < 5) return rt::kInvalidFieldType;
            field.size = read_le32(stream + at);
            at += 5;
        } else if (field.type == kTypeDecimal) {
            if (end - at < 2) return rt::kInvalidFieldType;
            field.digits = stream[at];
            field.places = stream[at + 1];
            field.size = decimal_size(field.digits);
            at += 2;
        } else {
            field.size = fixed_size(field.type);
        }
        if (out) out->push_back(std::move(field));
    }
}

FieldStreamBuilder::FieldStreamBuilder() { m_bytes.push_back(kTypeGroup); }

void FieldStreamBuilder::start(std::uint32_t offset, std::string_view label, std::uint8_t type) {
    m_bytes.push_back(kFieldStart);
    for (int i = 0; i < 4; ++i) m_bytes.push_back(std::uint8_t((offset >> (8 * i)) & 0xFF));
    m_bytes.insert(m_bytes.end(), label.begin(), label.end());
    m_bytes.push_back(0);
    m_bytes.push_back(type);
}

void FieldStreamBuilder::sized(std::uint32_t length) {
    for (int i = 0; i < 4; ++i) m_bytes.push_back(std::uint8_t((length >> (8 * i)) & 0xFF));
    m_bytes.push_back(0);
}

FieldStreamBuilder& FieldStreamBuilder::string(std::uint32_t offset, std::string_view label, std::uint32_t length) {
    start(offset, label, kTypeString);
    sized(length);
    return *this;
}

FieldStreamBuilder& FieldStreamBuilder::cstring(std::uint32_t offset, std::string_view label, std::uint32_t length) {
    start(offset, label, kTypeCstring);
    sized(length);
    return *this;
}

FieldStreamBuilder& FieldStreamBuilder::pstring(std::uint32_t offset, std::string_view label, std::uint32_t length) {
    start(offset, label, kTypePstring);
    sized(length);
    return *this;
}

FieldStreamBuilder& FieldStreamBuilder::decimal(std::uint32_t offset, std::string_view label, std::uint8_t digits,
                                                std::uint8_t places) {
    start(offset, label, kTypeDecimal);
    m_bytes.push_back(digits);
    m_bytes.push_back(places);
    return *this;
}

FieldStreamBuilder& FieldStreamBuilder::plain(std::uint32_t offset, std::string_view label, std::uint8_t type) {
    start(offset, label, type);
    if (has_length_data(type)) sized(0);
    return *this;
}

std::vector<std::uint8_t> FieldStreamBuilder::bytes() const {
    std::vector<std::uint8_t> out = m_bytes;
    out.push_back(kStreamEnd);
    return out;
}

// --- driver descriptors ------------------------------------------------------

namespace {
std::mutex g_entry_mutex;
std::vector<DriverEntry> g_entries;

void put_text(std::string& out, std::size_t at, const char* text, std::size_t width) {
    std::size_t n = strnlen(text, width);
    std::memcpy(out.data() + at, text, n);
}

std::string get_text(std::string_view image, std::size_t at, std::size_t width) {
    std::string_view field = image.substr(at, width);
    std::size_t nul = field.find('\0');
    return std::string(nul == std::string_view::npos ? field : field.substr(0, nul));
}
}  // namespace

std::uint32_t driver_entry_handle(DriverEntry entry) {
    if (entry == nullptr) return 0;
    std::lock_guard<std::mutex> guard(g_entry_mutex);
    for (std::size_t i = 0; i < g_entries.size(); ++i) {
        if (g_entries[i] == entry) return std::uint32_t(i + 1);
    }
    g_entries.push_back(entry);
    return std::uint32_t(g_entries.size());
}

DriverEntry driver_entry_from_handle(std::uint32_t handle) {
    std::lock_guard<std::mutex> guard(g_entry_mutex);
    if (handle == 0 || handle > g_entries.size()) return nullptr;
    return g_entries[handle - 1];
}

std::string descriptor_bytes(const DriverDescriptor& d) {
    std::string out(kDescriptorFixedSize, '\0');
    put_text(out, 0, d.name, sizeof d.name);
    put_text(out, 21, d.library, sizeof d.library);
    put_text(out, 34, d.notice, sizeof d.notice);
    put_text(out, 75, d.description, sizeof d.description);
    put_le32(out, 106, driver_entry_handle(d.entry));
    std::memcpy(out.data() + 110, d.capabilities, sizeof d.capabilities);
    put_le32(out, 134, d.field_entry_size);
    put_le32(out, 138, d.key_entry_size);
    put_le32(out, 142, d.memo_entry_size);
    put_le32(out, 146, d.state_size);
    if (d.operations != nullptr && d.operations_size > 0) {
        put_le32(out, 162, std::uint32_t(kDescriptorFixedSize));
        out.append(reinterpret_cast<const char*>(d.operations), d.operations_size);
    }
    return out;
}

bool parse_descriptor(std::string_view image, DescriptorView* out) {
    if (image.size() < kDescriptorFixedSize || out == nullptr) return false;
    auto le = [&](std::size_t at) { return read_le32(reinterpret_cast<const std::uint8_t*>(image.data()) + at); };
    *out = DescriptorView{};
    out->name = get_text(image, 0, 21);
    out->description = get_text(image, 75, 31);
    out->entry_handle = le(106);
    out->field_entry_size = le(134);
    out->key_entry_size = le(138);
    out->memo_entry_size = le(142);
    out->state_size = le(146);
    std::uint32_t list = le(162);
    if (list == 0 || list >= image.size()) return true;
    const auto* p = reinterpret_cast<const std::uint8_t*>(image.data());
    std::size_t at = list;
    std::size_t n = std::size_t(p[at++]) + 1;
    if (image.size() - at < n) return true;
    out->operations.assign(p + at, p + at + n);
    at += n;
    if (at >= image.size()) return true;
    std::size_t m = p[at++];
    if (image.size() - at < m) return true;
    out->types.assign(p + at, p + at + m);
    return true;
}

// ===========================================================================
// Text channel

namespace {
std::vector<std::string> g_text_stack;
}

void push_text(std::string_view text) { g_text_stack.emplace_back(text); }

std::string pop_text() {
    if (g_text_stack.empty()) return {};
    std::string top = std::move(g_text_stack.back());
    g_text_stack.pop_back();
    return top;
}

std::size_t text_stack_depth() { return g_text_stack.size(); }

void clear_text_stack() { g_text_stack.clear(); }

// ===========================================================================
// Precondition table

namespace {

struct RowEntry {
    int op;
    OperationRow row;  // post, required, forbidden, set, cleared, failure
};

constexpr RowEntry kRows[] = {
    {0x01, {1, 0x41, 0, 0x02, 0, 0}},        // ADD
    {0x02, {0, 0x21, 0, 0, 0, 0}},           // BOF
    {0x03, {1, 0xC0, 0x04, 0, 0, 0}},        // BUILD (all keys)
    {0x04, {1, 0x41, 0, 0, 0, 0}},           // APPEND
    {0x05, {1, 0x01, 0x04, 0, 0, 0}},        // BUILD (index, one text)
    {0x06, {1, 0xC0, 0x04, 0, 0, 0}},        // BUILD (one key)
    {0x07, {3, 0x01, 0x04, 0, 0x01, 0}},     // CLOSE
    {0x08, {1, 0x05, 0, 0, 0x04, 0}},        // COMMIT
    {0x09, {3, 0, 0x01, 0, 0, 0}},           // COPY
    {0x0A, {3, 0, 0x01, 0, 0, 0}},           // CREATE
    {0x0B, {1, 0x43, 0, 0, 0x02, 0}},        // DELETE
    {0x0C, {1, 0x41, 0, 0, 0, 0}},           // DUPLICATE (any key)
    {0x0D, {1, 0xC1, 0x04, 0, 0, 0}},        // EMPTY
    {0x0E, {0, 0x21, 0, 0, 0, 0}},           // EOF
    {0x0F, {1, 0x01, 0, 0x02, 0, 0x02}},     // GET by key
    {0x10, {1, 0x01, 0, 0x02, 0, 0x02}},     // GET by pointer
    {0x11, {1, 0x01, 0, 0x02, 0, 0x02}},     // GET by pointer (second form)
    {0x12, {1, 0x01, 0, 0, 0, 0}},           // HOLD
    {0x13, {1, 0x01, 0, 0, 0, 0}},           // HOLD with timeout
    {0x14, {1, 0x01, 0x10, 0x90, 0, 0}},     // LOCK
    {0x15, {1, 0x01, 0x10, 0x90, 0, 0}},     // LOCK with timeout
    {0x16, {1, 0x01, 0x04, 0x04, 0, 0}},     // LOGOUT
    {0x17, {0, 0, 0, 0, 0, 0}},              // NAME
    {0x18, {5, 0x21, 0, 0x02, 0, 0x02}},     // NEXT
    {0x19, {1, 0, 0x01, 0x01, 0, 0}},        // OPEN
    {0x1A, {1, 0xC0, 0x04, 0, 0x22, 0x22}},  // PACK
    {0x1B, {0, 0x03, 0, 0, 0, 0}},           // POINTER
    {0x1C, {0, 0x03, 0, 0, 0, 0}},           // POINTER (key form)
    {0x1D, {1, 0x09, 0, 0, 0x08, 0}},        // FLUSH
    {0x1E, {1, 0x43, 0, 0, 0, 0}},           // PUT
    {0x1F, {5, 0x21, 0, 0x02, 0, 0x02}},     // PREVIOUS
    {0x20, {0, 0x01, 0, 0, 0, 0}},           // RECORDS
    {0x21, {0, 0x01, 0, 0, 0, 0}},           // RECORDS (key)
    {0x22, {1, 0x01, 0x04, 0, 0, 0}},        // BUILD (index, two texts)
    {0x24, {1, 0x01, 0, 0, 0, 0}},           // driver operation
    {0x25, {3, 0, 0x01, 0, 0, 0}},           // REMOVE
    {0x26, {3, 0, 0x01, 0, 0, 0}},           // RENAME
    {0x28, {1, 0x05, 0, 0, 0x04, 0}},        // ROLLBACK
    {0x29, {5, 0x01, 0, 0x20, 0, 0x20}},     // SET (file order)
    {0x2A, {5, 0x01, 0, 0x20, 0, 0x20}},     // SET (sequence mode 4)
    {0x2B, {5, 0x01, 0, 0x20, 0, 0x20}},     // SET (from a pointer)
    {0x2C, {5, 0x01, 0, 0x20, 0, 0x20}},     // SET (key order)
    {0x2D, {5, 0x01, 0, 0x20, 0, 0x20}},     // SET (key value)
    {0x2E, {5, 0x01, 0, 0x20, 0, 0x20}},     // SET (key value and pointer)
    {0x2F, {5, 0x01, 0, 0x20, 0, 0x20}},     // SET (stored position)
    {0x30, {1, 0, 0x01, 0x01, 0, 0}},        // SHARE
    {0x31, {5, 0x21, 0, 0, 0x02, 0x02}},     // SKIP
    {0x32, {1, 0x11, 0x04, 0, 0x10, 0}},     // UNLOCK
    {0x34, {1, 0x01, 0, 0, 0, 0}},           // BYTES
    {0x36, {1, 0x41, 0, 0, 0, 0x02}},        // PUT at a pointer
    {0x38, {1, 0x01, 0x08, 0x08, 0, 0}},     // STREAM
    {0x39, {1, 0x01, 0, 0, 0, 0}},           // DUPLICATE (key)
    {0x3A, {1, 0x01, 0, 0, 0, 0}},           // WATCH
    {0x3C, {1, 0, 0, 0, 0, 0}},              // SEND
    {0x3D, {1, 0x03, 0, 0, 0, 0}},           // POSITION (file)
    {0x3E, {1, 0x03, 0, 0, 0, 0}},           // POSITION (key)
    {0x3F, {5, 0x01, 0, 0x20, 0, 0x20}},     // RESET (file)
    {0x40, {5, 0x01, 0, 0x20, 0, 0x20}},     // RESET (key)
    {0x41, {0, 0x01, 0, 0, 0, 0}},           // driver option
    {0x42, {1, 0x01, 0, 0x02, 0, 0}},        // REGET (file)
    {0x43, {1, 0x01, 0, 0x02, 0, 0}},        // REGET (key)
    {0x47, {0, 0, 0, 0, 0, 0}},              // view property
    {0x48, {0, 0, 0, 0, 0, 0}},              // text operation
    {0x49, {0, 0x01, 0, 0, 0, 0}},           // current key
    {0x4A, {0, 0, 0, 0, 0, 0}},              // native view handler
    {0x4B, {1, 0x01, 0, 0, 0, 0}},           // memo slice read
    {0x4C, {1, 0x01, 0, 0, 0, 0}},           // memo slice write
    {0x4D, {0, 0x01, 0, 0, 0, 0}},           // memo length
    {0x4E, {1, 0x01, 0, 0, 0, 0}},           // memo property write
    {0x4F, {1, 0x01, 0, 0, 0, 0}},           // memo property read
};

struct RowTable {
    OperationRow rows[kLastOperation + 1];
    RowTable() : rows() {
        for (const RowEntry& e : kRows) rows[e.op] = e.row;
    }
};

const RowTable& row_table() {
    static const RowTable table;
    return table;
}

bool is_reset_or_reget(int op) {
    return op == kOpReset || op == kOpResetKey || op == kOpReget || op == kOpRegetKey;
}

}  // namespace

const OperationRow& operation_row(int op) {
    static const OperationRow kEmpty{};
    if (op < kFirstOperation || op > kLastOperation) return kEmpty;
    return row_table().rows[op];
}

int check_preconditions(const OperationRow& row, std::uint32_t state) {
    std::uint32_t missing = row.required & ~state;
    if (missing != 0) {
        if (missing & kStateOpen) return rt::kFileNotOpen;
        if (state & kStateOpen) {
            if (missing & (kStateCurrentRecord | kStateSequenceSet)) return rt::kRecordNotAvailable;
            if (missing & kStateExclusive) return rt::kExclusiveAccessRequired;
            if (missing & kStateWriteAccess) return rt::kAccessDenied;
            return -1;
        }
        // Closed file and the open bit not required: missing bits give no error.
    }
    std::uint32_t present = row.forbidden & state;
    if (present != 0) {
        if (present & kStateOpen) return rt::kFileAlreadyOpen;
        if (present & kStateInTransaction) return rt::kLogoutAlreadyActive;
        return -1;
    }
    return 0;
}

bool pops_text(int op) {
    switch (op) {
        case 0x05: case 0x09: case 0x22: case 0x26: case 0x3C: case 0x3F: case 0x40:
        case 0x42: case 0x43: case 0x47: case 0x48: case 0x4C: case 0x4E: case 0x4F:
            return true;
        default:
            return false;
    }
}

bool pops_second_text(int op) { return op == 0x22 || op == 0x47 || op == 0x4E; }

bool pushes_text_result(int op) {
    return op == kOpName || op == kOpPosition || op == kOpPositionKey || op == kOpSend || op == kOpText48 ||
           op == kOpMemoSliceRead || op == kOpMemoPropertyRead;
}

// ===========================================================================
// Hooks

namespace {
void no_registration(const InstanceRegistration&) {}
InstanceRegistrationHook g_registration_hook = no_registration;

void default_lock_wait() { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }
LockWaitHook g_lock_wait_hook = default_lock_wait;
}  // namespace

void set_instance_registration_hook(InstanceRegistrationHook hook) {
    g_registration_hook = hook ? hook : no_registration;
}

void register_file_instances(FileControlBlock* file) {
    if (file == nullptr) return;
    g_registration_hook({InstanceKind::kFileBlock, file, kFileBlockSize, nullptr});
    if (file->record != nullptr) {
        g_registration_hook({InstanceKind::kRecordBuffer, file->record, file->record_length, file->fields});
    }
    if (file->keys != nullptr) {
        for (unsigned i = 0; i < file->key_count; ++i) {
            if (file->keys[i] != nullptr) g_registration_hook({InstanceKind::kKeyBlock, file->keys[i], kKeyBlockSize, nullptr});
        }
    }
}

void set_lock_wait_hook(LockWaitHook hook) { g_lock_wait_hook = hook ? hook : default_lock_wait; }

void lock_wait() { g_lock_wait_hook(); }

// ===========================================================================
// Dispatch

void post_file_error(FileControlBlock* file, int code) {
    rt::post_error(code);
    rt::set_error_file(file);
}

namespace {

void release(const DriverOps& ops, FileControlBlock* file) {
    if (file->state == nullptr) return;
    if (ops.release_state) {
        ops.release_state(file);
    }
    file->state = nullptr;
}

bool is_blank(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

}  // namespace

int run_driver_operation(const DriverOps& ops, int op, FileControlBlock* file, OperationArgs* args) {
    OperationArgs scratch;
    if (args == nullptr) args = &scratch;
    if (op == kOpNativeViewHandler) {
        args->result = 0;
        return 0;
    }
    if (file == nullptr) return rt::kUnsupportedFunction;

    DriverCall call;
    call.op = op;
    call.file = file;
    call.args = args;

    // Registration and text arguments come first, so the text stack stays balanced
    // whatever happens afterwards. The second text was pushed last.
    if ((op == kOpSend || op == kOpOpen || op == kOpShare) && (file->attributes & kAttrRegister)) {
        register_file_instances(file);
    }
    if (pops_second_text(op)) call.text2 = pop_text();
    if (pops_text(op)) call.text = pop_text();

    const OperationRow* row_ptr = ops.row ? ops.row(op) : nullptr;
    const OperationRow& row = row_ptr ? *row_ptr : operation_row(op);

    int result = 0;
    bool ran = false;
    if (file->state == nullptr) {
        result = ops.create_state ? ops.create_state(file) : rt::kInsufficientMemory;
        if (result != 0) {
            release(ops, file);
        }
    }
    if (result == 0 && file->state != nullptr) {
        result = check_preconditions(row, file->state->state_word);
        if (result == 0 && is_reset_or_reget(op) && is_blank(call.text)) result = rt::kRecordNotFound;
        if (result == 0) {
            ran = true;
            result = ops.run ? ops.run(call) : rt::kUnsupportedFunction;
        }
    } else if (result == 0) {
        result = rt::kInsufficientMemory;
    }

    if (pushes_text_result(op)) push_text(result == 0 ? std::string_view(call.text_result) : std::string_view());

    DriverStateBase* state = file->state;
    bool release_now = call.release;
    std::uint32_t post = 0;
    if (state != nullptr) {
        if (result == 0) {
            state->state_word |= row.set;
            state->state_word &= ~row.cleared;
            if (op == kOpOpen || op == kOpShare) {
                unsigned mode = unsigned(args->at(0));
                if (mode & 0x03) state->state_word |= kStateWriteAccess;
                if (mode & 0x30) state->state_word |= kStateExclusive;
            }
            state->post_word |= row.post;
            post = state->post_word;
            state->post_word = 0;
        } else {
            state->state_word &= ~row.failure;
            // A closed file is released; so is a file an operation meant to leave
            // closed, unless the refusal came from the precondition's forbidden bits
            // (a file that is open, or inside a transaction, stays as it was).
            bool refused_by_state = !ran && (result == rt::kFileAlreadyOpen || result == rt::kLogoutAlreadyActive ||
                                             result == -1);
            if (result == rt::kFileNotOpen) release_now = true;
            if ((row.post & kPostReleaseState) && result != rt::kFileAlreadyOpen && !refused_by_state) {
                release_now = true;
            }
            // Never release a file that is still open: its system file and locks
            // would be lost without a CLOSE.
            if (release_now && (state->state_word & kStateOpen) && !call.release) release_now = false;
        }
    }

    if (post & kPostClearError) rt::clear_error();
    if ((post & kPostSequential) && state != nullptr) state->last_sequential_op = op;
    if (post & kPostReleaseState) release_now = true;
    if (release_now) release(ops, file);

    if (result != 0 && result != -1) post_file_error(file, result);
    return result;
}

int call_driver(int op, FileControlBlock* file, OperationArgs* args) {
    if (file == nullptr || file->entry == nullptr) {
        post_file_error(file, rt::kUnsupportedFunction);
        return rt::kUnsupportedFunction;
    }
    OperationArgs scratch;
    return file->entry(op, file, args ? args : &scratch);
}

// ===========================================================================
// Statement wrappers

namespace {

// Pushes the texts, calls the driver, and takes the text result back; the text
// stack is left as it was found even if an entry does not pop what it should.
int invoke(int op, FileControlBlock* file, OperationArgs& args, int text_count = 0, std::string_view t1 = {},
           std::string_view t2 = {}, std::string* text_result = nullptr) {
    std::size_t depth = text_stack_depth();
    if (file == nullptr || file->entry == nullptr) {
        post_file_error(file, rt::kUnsupportedFunction);
        return rt::kUnsupportedFunction;
    }
    if (text_count >= 1) push_text(t1);
    if (text_count >= 2) push_text(t2);
    int result = file->entry(op, file, &args);
    if (text_stack_depth() > depth) {
        if (text_result != nullptr && pushes_text_result(op)) *text_result = pop_text();
        while (text_stack_depth() > depth) pop_text();
    }
    return result;
}

int simple(int op, FileControlBlock* file) {
    OperationArgs args;
    return invoke(op, file, args);
}

int with_value(int op, FileControlBlock* file, std::intptr_t v) {
    OperationArgs args;
    args.push(v);
    return invoke(op, file, args);
}

int with_key(int op, FileControlBlock* file, KeyControlBlock* key) {
    OperationArgs args;
    args.push_key(key);
    return invoke(op, file, args);
}

std::int64_t function_value(int op, FileControlBlock* file, OperationArgs& args) {
    int result = invoke(op, file, args);
    return result == 0 ? args.result : 0;
}

std::string text_function(int op, FileControlBlock* file, OperationArgs& args, int text_count = 0,
                          std::string_view t1 = {}, std::string_view t2 = {}) {
    std::string out;
    int result = invoke(op, file, args, text_count, t1, t2, &out);
    return result == 0 ? out : std::string();
}

}  // namespace

int open(FileControlBlock* file, unsigned access_mode) { return with_value(kOpOpen, file, access_mode); }
int share(FileControlBlock* file, unsigned access_mode) { return with_value(kOpShare, file, access_mode); }
int create(FileControlBlock* file) { return simple(kOpCreate, file); }
int close(FileControlBlock* file) { return simple(kOpClose, file); }
int remove(FileControlBlock* file) { return simple(kOpRemove, file); }

int rename(FileControlBlock* file, std::string_view new_name) {
    OperationArgs args;
    return invoke(kOpRename, file, args, 1, new_name);
}

int copy(FileControlBlock* file, std::string_view target_name) {
    OperationArgs args;
    return invoke(kOpCopy, file, args, 1, target_name);
}

int empty(FileControlBlock* file) { return simple(kOpEmpty, file); }
int flush(FileControlBlock* file) { return simple(kOpFlush, file); }
int stream(FileControlBlock* file) { return simple(kOpStream, file); }
int pack(FileControlBlock* file) { return simple(kOpPack, file); }
int build(FileControlBlock* file) { return simple(kOpBuildAll, file); }
int build_key(FileControlBlock* file, KeyControlBlock* key) { return with_key(kOpBuildKey, file, key); }

int build_index(FileControlBlock* file, std::string_view components) {
    OperationArgs args;
    return invoke(kOpBuildIndex, file, args, 1, components);
}

int build_index(FileControlBlock* file, std::string_view components, std::string_view filter) {
    OperationArgs args;
    return invoke(kOpBuildIndex2, file, args, 2, components, filter);
}

int set(FileControlBlock* file) { return simple(kOpSet, file); }
int set_mode4(FileControlBlock* file) { return simple(kOpSetMode4, file); }
int set_from_pointer(FileControlBlock* file, std::int64_t pointer) {
    return with_value(kOpSetPointer, file, std::intptr_t(pointer));
}
int set_key(FileControlBlock* file, KeyControlBlock* key) { return with_key(kOpSetKey, file, key); }

int set_key_value(FileControlBlock* file, KeyControlBlock* key, KeyControlBlock* key2) {
    OperationArgs args;
    args.push_key(key);
    args.push_key(key2);
    return invoke(kOpSetKeyValue, file, args);
}

int set_key_value_pointer(FileControlBlock* file, KeyControlBlock* key, KeyControlBlock* key2, std::int64_t pointer) {
    OperationArgs args;
    args.push_key(key);
    args.push_key(key2);
    args.push(std::intptr_t(pointer));
    return invoke(kOpSetKeyValuePointer, file, args);
}

int set_key_position(FileControlBlock* file, KeyControlBlock* key) { return with_key(kOpSetKeyPosition, file, key); }

int reset(FileControlBlock* file, std::string_view position) {
    OperationArgs args;
    return invoke(kOpReset, file, args, 1, position);
}

int reset_key(FileControlBlock* file, KeyControlBlock* key, std::string_view position) {
    OperationArgs args;
    args.push_key(key);
    return invoke(kOpResetKey, file, args, 1, position);
}

int next(FileControlBlock* file) { return simple(kOpNext, file); }
int previous(FileControlBlock* file) { return simple(kOpPrevious, file); }
int skip(FileControlBlock* file, std::int64_t count) { return with_value(kOpSkip, file, std::intptr_t(count)); }
int get_key(FileControlBlock* file, KeyControlBlock* key) { return with_key(kOpGetKey, file, key); }
int get_pointer(FileControlBlock* file, std::int64_t pointer) {
    return with_value(kOpGetPointer, file, std::intptr_t(pointer));
}
int get_pointer2(FileControlBlock* file, std::int64_t pointer) {
    return with_value(kOpGetPointer2, file, std::intptr_t(pointer));
}

int get_pointer_length(FileControlBlock* file, std::int64_t pointer, std::int64_t length) {
    OperationArgs args;
    args.push(std::intptr_t(pointer));
    args.push(std::intptr_t(length));
    return invoke(kOpGetPointerLength, file, args);
}

int reget(FileControlBlock* file, std::string_view position) {
    OperationArgs args;
    return invoke(kOpReget, file, args, 1, position);
}

int reget_key(FileControlBlock* file, KeyControlBlock* key, std::string_view position) {
    OperationArgs args;
    args.push_key(key);
    return invoke(kOpRegetKey, file, args, 1, position);
}

int hold(FileControlBlock* file) { return simple(kOpHold, file); }
int hold_timeout(FileControlBlock* file, std::int64_t seconds) {
    return with_value(kOpHoldTimeout, file, std::intptr_t(seconds));
}
int watch(FileControlBlock* file) { return simple(kOpWatch, file); }

int add(FileControlBlock* file) { return simple(kOpAdd, file); }
int add_length(FileControlBlock* file, std::int64_t length) {
    return with_value(kOpAddLength, file, std::intptr_t(length));
}
int append(FileControlBlock* file) { return simple(kOpAppend, file); }
int append_length(FileControlBlock* file, std::int64_t length) {
    return with_value(kOpAppendLength, file, std::intptr_t(length));
}
int put(FileControlBlock* file) { return simple(kOpPut, file); }
int put_pointer(FileControlBlock* file, std::int64_t pointer) {
    return with_value(kOpPutPointer, file, std::intptr_t(pointer));
}

int put_pointer_length(FileControlBlock* file, std::int64_t pointer, std::int64_t length) {
    OperationArgs args;
    args.push(std::intptr_t(pointer));
    args.push(std::intptr_t(length));
    return invoke(kOpPutPointerLength, file, args);
}

int delete_record(FileControlBlock* file) { return simple(kOpDelete, file); }

int lock(FileControlBlock* file) { return simple(kOpLock, file); }
int lock_timeout(FileControlBlock* file, std::int64_t seconds) {
    return with_value(kOpLockTimeout, file, std::intptr_t(seconds));
}
int unlock(FileControlBlock* file) { return simple(kOpUnlock, file); }
int logout(FileControlBlock* file) { return simple(kOpLogout, file); }
int commit(FileControlBlock* file) { return simple(kOpCommit, file); }
int rollback(FileControlBlock* file) { return simple(kOpRollback, file); }

bool bof(FileControlBlock* file) { return simple(kOpBof, file) != 0; }
bool eof(FileControlBlock* file) { return simple(kOpEof, file) != 0; }

std::int64_t records(FileControlBlock* file) {
    OperationArgs args;
    return function_value(kOpRecords, file, args);
}

std::int64_t records_key(FileControlBlock* file, KeyControlBlock* key) {
    OperationArgs args;
    args.push_key(key);
    return function_value(kOpRecordsKey, file, args);
}

std::int64_t bytes(FileControlBlock* file) {
    OperationArgs args;
    return function_value(kOpBytes, file, args);
}

std::int64_t pointer(FileControlBlock* file) {
    OperationArgs args;
    return function_value(kOpPointer, file, args);
}

std::int64_t pointer_key(FileControlBlock* file, KeyControlBlock* key) {
    OperationArgs args;
    args.push_key(key);
    return function_value(kOpPointerKey, file, args);
}

bool duplicate(FileControlBlock* file) {
    OperationArgs args;
    return function_value(kOpDuplicate, file, args) != 0;
}

bool duplicate_key(FileControlBlock* file, KeyControlBlock* key) {
    OperationArgs args;
    args.push_key(key);
    return function_value(kOpDuplicateKey, file, args) != 0;
}

std::string name(FileControlBlock* file) {
    OperationArgs args;
    return text_function(kOpName, file, args);
}

std::string position(FileControlBlock* file) {
    OperationArgs args;
    return text_function(kOpPosition, file, args);
}

std::string position_key(FileControlBlock* file, KeyControlBlock* key) {
    OperationArgs args;
    args.push_key(key);
    return text_function(kOpPositionKey, file, args);
}

std::string send(FileControlBlock* file, std::string_view text) {
    OperationArgs args;
    return text_function(kOpSend, file, args, 1, text);
}

int current_key(FileControlBlock* file) {
    OperationArgs args;
    return int(function_value(kOpCurrentKey, file, args));
}

int set_driver_option(FileControlBlock* file) { return simple(kOpDriverOption, file); }

int view_property(FileControlBlock* file, std::string_view property, std::string_view value) {
    OperationArgs args;
    return invoke(kOpViewProperty, file, args, 2, property, value);
}

std::string text_operation(FileControlBlock* file, std::string_view text) {
    OperationArgs args;
    return text_function(kOpText48, file, args, 1, text);
}

std::string memo_slice_read(FileControlBlock* file, int memo, std::int64_t start, std::int64_t end) {
    OperationArgs args;
    args.push(memo);
    args.push(std::intptr_t(start));
    args.push(std::intptr_t(end));
    return text_function(kOpMemoSliceRead, file, args);
}

int memo_slice_write(FileControlBlock* file, int memo, std::int64_t start, std::int64_t end, std::string_view text) {
    OperationArgs args;
    args.push(memo);
    args.push(std::intptr_t(start));
    args.push(std::intptr_t(end));
    return invoke(kOpMemoSliceWrite, file, args, 1, text);
}

std::int64_t memo_length(FileControlBlock* file, int memo) {
    OperationArgs args;
    args.push(memo);
    return function_value(kOpMemoLength, file, args);
}

int memo_property_write(FileControlBlock* file, int memo, std::string_view property, std::string_view value) {
    OperationArgs args;
    args.push(memo);
    return invoke(kOpMemoPropertyWrite, file, args, 2, property, value);
}

std::string memo_property_read(FileControlBlock* file, int memo, std::string_view property) {
    OperationArgs args;
    args.push(memo);
    return text_function(kOpMemoPropertyRead, file, args, 1, property);
}

}  // namespace sk::data
