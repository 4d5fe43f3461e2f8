// The file layer: the one narrow interface between file statements and drivers.
//
// A statement passes an operation code (operations.h), its file control block and a
// short argument vector to the file's driver entry; text arguments and text results
// travel on the layer's text stack. The result is 0 for success, an error number,
// or -1 for a failure already posted. Drivers share the generic dispatch below
// (run_driver_operation), which checks the file's state word against the
// operation's row of the precondition table, runs the operation, updates the state
// and post-action words, clears the error state on success where the row says so,
// and posts failures with the file recorded as the error file.
//
// The statement wrappers at the end are what the application calls. Callers test
// sk::rt::error_code() after each statement.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "data/control_blocks.h"
#include "data/operations.h"

namespace sk::data {

// ---------------------------------------------------------------------------
// Argument vector: arguments in statement order (a key control block, a record
// pointer, a count, a timeout, an access mode); pointer-sized on this platform.
// Function operations (RECORDS, BYTES, POINTER, the current-key query, memo length,
// DUPLICATE) return their value in `result`.
inline constexpr int kMaxArguments = 4;
struct OperationArgs {
    std::intptr_t value[kMaxArguments] = {};
    int count = 0;
    std::int64_t result = 0;

    OperationArgs() = default;
    void push(std::intptr_t v) {
        if (count < kMaxArguments) value[count++] = v;
    }
    void push_key(KeyControlBlock* key) { push(reinterpret_cast<std::intptr_t>(key)); }
    std::intptr_t at(int i) const { return i >= 0 && i < count ? value[i] : 0; }
    KeyControlBlock* key(int i) const { return reinterpret_cast<KeyControlBlock*>(at(i)); }
};

// ---------------------------------------------------------------------------
// Text channel: the statement pushes its text arguments, the dispatch pops them;
// a text result is pushed back and the statement pops it. Process-wide (the global
// runtime lock serialises its users). Popping an empty stack gives "".
void push_text(std::string_view text);
std::string pop_text();
std::size_t text_stack_depth();
void clear_text_stack();

// ---------------------------------------------------------------------------
// Precondition table. Every bit set is a state-word bit (control_blocks.h).
struct OperationRow {
    std::uint32_t post = 0;       // post-action bits
    std::uint32_t required = 0;
    std::uint32_t forbidden = 0;
    std::uint32_t set = 0;        // set on success
    std::uint32_t cleared = 0;    // cleared on success
    std::uint32_t failure = 0;    // cleared on failure
};

// The layer's row for op (an all-zero row for codes outside 1..4Fh or with an open row).
const OperationRow& operation_row(int op);

// Checks state (the file's state word) against row. Returns 0, or the error
// (37, 33, 63, 5, 52, 56, or -1 for a bit without an error of its own).
int check_preconditions(const OperationRow& row, std::uint32_t state);

// Codes that pop one text argument (and those that pop a second), and codes whose
// text result is pushed back.
bool pops_text(int op);
bool pops_second_text(int op);
bool pushes_text_result(int op);

// ---------------------------------------------------------------------------
// The generic dispatch that driver entries run through.

// One operation as the driver sees it.
struct DriverCall {
    int op = 0;
    FileControlBlock* file = nullptr;
    OperationArgs* args = nullptr;
    std::string text;          // first text argument
    std::string text2;         // second text argument
    std::string text_result;   // pushed back for NAME, POSITION, SEND and the text operations
    bool release = false;      // the driver asks for its state to be released after this call
};

struct DriverOps {
    const DriverDescriptor* descriptor = nullptr;
    // Creates file->state (zero-filled, from the declaration). Returns 0, 47, 75, 79, 8...
    int (*create_state)(FileControlBlock* file) = nullptr;
    // Releases file->state, closing what it holds, and sets it to null.
    void (*release_state)(FileControlBlock* file) = nullptr;
    // Runs one operation; 80 for a code without an implementation.
    int (*run)(DriverCall& call) = nullptr;
    // The driver's own row for op, or null to use operation_row(op).
    const OperationRow* (*row)(int op) = nullptr;
};

// Steps of every driver entry: 4Ah answers 0; attribute-bit-4 registration for
// OPEN, SHARE and SEND; texts popped; state created; preconditions (and a blank
// position text for RESET and REGET gives 35); the operation; the text result
// pushed; state and post-action words updated; post-actions (clear the error,
// record the sequential operation, release the state); a result other than 0 and
// -1 posted with the file as the error file.
int run_driver_operation(const DriverOps& ops, int op, FileControlBlock* file, OperationArgs* args);

// Calls the file's entry. A missing file block or entry posts 80.
int call_driver(int op, FileControlBlock* file, OperationArgs* args);

// Posts code (0: 300 + the system error) and records file as the error file.
void post_file_error(FileControlBlock* file, int code);

// ---------------------------------------------------------------------------
// Hooks a higher layer installs.

// Instance registration of attribute bit 4: called before OPEN, SHARE and SEND for
// the file block (57 bytes), its record buffer (with its field stream) and each key
// block (33 bytes). The default does nothing.
enum class InstanceKind { kFileBlock, kRecordBuffer, kKeyBlock };
struct InstanceRegistration {
    InstanceKind kind = InstanceKind::kFileBlock;
    void* block = nullptr;
    std::size_t size = 0;
    const std::uint8_t* fields = nullptr;  // record buffers: the field stream
};
using InstanceRegistrationHook = void (*)(const InstanceRegistration& item);
void set_instance_registration_hook(InstanceRegistrationHook hook);  // nullptr: the no-op
void register_file_instances(FileControlBlock* file);

// Called between the tries of a waiting lock so that the window system stays
// responsive. The default sleeps 10 ms. nullptr restores the default.
using LockWaitHook = void (*)();
void set_lock_wait_hook(LockWaitHook hook);
void lock_wait();

// ---------------------------------------------------------------------------
// Statement wrappers. Each returns the driver's result (0, an error number, -1)
// unless it is a function returning a value; failures are in the error state.

int open(FileControlBlock* file, unsigned access_mode = 0x22);
int share(FileControlBlock* file, unsigned access_mode = 0x42);
int create(FileControlBlock* file);
int close(FileControlBlock* file);
int remove(FileControlBlock* file);
int rename(FileControlBlock* file, std::string_view new_name);
int copy(FileControlBlock* file, std::string_view target_name);
int empty(FileControlBlock* file);
int flush(FileControlBlock* file);
int stream(FileControlBlock* file);
int pack(FileControlBlock* file);
int build(FileControlBlock* file);
int build_key(FileControlBlock* file, KeyControlBlock* key);
int build_index(FileControlBlock* file, std::string_view components);
int build_index(FileControlBlock* file, std::string_view components, std::string_view filter);

int set(FileControlBlock* file);                                   // file order from the start
int set_mode4(FileControlBlock* file);
int set_from_pointer(FileControlBlock* file, std::int64_t pointer);
int set_key(FileControlBlock* file, KeyControlBlock* key);         // key order from the start
int set_key_value(FileControlBlock* file, KeyControlBlock* key, KeyControlBlock* key2);
int set_key_value_pointer(FileControlBlock* file, KeyControlBlock* key, KeyControlBlock* key2,
                          std::int64_t pointer);
int set_key_position(FileControlBlock* file, KeyControlBlock* key);
int reset(FileControlBlock* file, std::string_view position);
int reset_key(FileControlBlock* file, KeyControlBlock* key, std::string_view position);

int next(FileControlBlock* file);
int previous(FileControlBlock* file);
int skip(FileControlBlock* file, std::int64_t count);
int get_key(FileControlBlock* file, KeyControlBlock* key);
int get_pointer(FileControlBlock* file, std::int64_t pointer);
int get_pointer2(FileControlBlock* file, std::int64_t pointer);
int get_pointer_length(FileControlBlock* file, std::int64_t pointer, std::int64_t length);
int reget(FileControlBlock* file, std::string_view position);
int reget_key(FileControlBlock* file, KeyControlBlock* key, std::string_view position);
int hold(FileControlBlock* file);
int hold_timeout(FileControlBlock* file, std::int64_t seconds);
int watch(FileControlBlock* file);

int add(FileControlBlock* file);
int add_length(FileControlBlock* file, std::int64_t length);
int append(FileControlBlock* file);
int append_length(FileControlBlock* file, std::int64_t length);
int put(FileControlBlock* file);
int put_pointer(FileControlBlock* file, std::int64_t pointer);
int put_pointer_length(FileControlBlock* file, std::int64_t pointer, std::int64_t length);
int delete_record(FileControlBlock* file);

int lock(FileControlBlock* file);
int lock_timeout(FileControlBlock* file, std::int64_t seconds);
int unlock(FileControlBlock* file);
int logout(FileControlBlock* file);
int commit(FileControlBlock* file);
int rollback(FileControlBlock* file);

// Functions. They return their value; on a failure the value is 0 (or "") and the
// failure is in the error state. Queries whose row has post-action 0 (BOF, EOF,
// NAME, POINTER, RECORDS, the current key) leave the previous error in place.
bool bof(FileControlBlock* file);
bool eof(FileControlBlock* file);
std::int64_t records(FileControlBlock* file);
std::int64_t records_key(FileControlBlock* file, KeyControlBlock* key);
std::int64_t bytes(FileControlBlock* file);
std::int64_t pointer(FileControlBlock* file);
std::int64_t pointer_key(FileControlBlock* file, KeyControlBlock* key);
bool duplicate(FileControlBlock* file);
bool duplicate_key(FileControlBlock* file, KeyControlBlock* key);
std::string name(FileControlBlock* file);
std::string position(FileControlBlock* file);
std::string position_key(FileControlBlock* file, KeyControlBlock* key);
std::string send(FileControlBlock* file, std::string_view text);
int current_key(FileControlBlock* file);
int set_driver_option(FileControlBlock* file);

// View property assignment (two texts), the text operation 48h.
int view_property(FileControlBlock* file, std::string_view property, std::string_view value);
std::string text_operation(FileControlBlock* file, std::string_view text);

// Memo operations.
std::string memo_slice_read(FileControlBlock* file, int memo, std::int64_t start, std::int64_t end);
int memo_slice_write(FileControlBlock* file, int memo, std::int64_t start, std::int64_t end, std::string_view text);
std::int64_t memo_length(FileControlBlock* file, int memo);
int memo_property_write(FileControlBlock* file, int memo, std::string_view property, std::string_view value);
std::string memo_property_read(FileControlBlock* file, int memo, std::string_view property);

}  // namespace sk::data
