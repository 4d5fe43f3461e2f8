// The process-wide error state and the message table.
//
// Every statement that can fail reports through one error state: a code, the
// message text for it (80 characters, blank-padded), the system error number seen
// at the time, the file whose statement failed, and two texts a driver may fill for
// failures it reports in its own terms under code 90. Callers test error_code()
// after each statement. The state is shared by all threads; the global runtime
// lock serialises its users.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sk::data {
struct FileControlBlock;
}

namespace sk::rt {

inline constexpr std::size_t kErrorTextSize = 80;   // significant characters: 79
inline constexpr std::size_t kDriverTextSize = 81;  // significant characters: 80

// Error codes the runtime itself posts by name.
enum ErrorCode : int {
    kNoError = 0,
    kFileNotFound = 2,
    kPathNotFound = 3,
    kTooManyOpenFiles = 4,
    kAccessDenied = 5,
    kMemoryCorrupted = 7,
    kInsufficientMemory = 8,
    kEntryNotFound = 30,
    kFileAlreadyLocked = 32,
    kRecordNotAvailable = 33,
    kRecordNotFound = 35,
    kInvalidDataFile = 36,
    kFileNotOpen = 37,
    kInvalidKeyFile = 38,
    kCreatesDuplicateKey = 40,
    kRecordAlreadyHeld = 43,
    kInvalidFilename = 45,
    kKeyFileMustBeRebuilt = 46,
    kInvalidRecordDeclaration = 47,
    kUnableToLogTransaction = 48,
    kFileAlreadyOpen = 52,
    kInvalidTesseraFile = 53,
    kNoCreateAttribute = 54,
    kFileMustBeShared = 55,
    kLogoutAlreadyActive = 56,
    kInvalidMemoFile = 57,
    kExclusiveAccessRequired = 63,
    kSharingViolationError = 64,
    kUnableToRollback = 65,
    kMemoFileMissing = 73,
    kInvalidFieldType = 75,
    kInvalidIndexString = 76,
    kUnableToAccessIndex = 77,
    kInvalidParameterCount = 78,
    kUnsupportedDataType = 79,
    kUnsupportedFunction = 80,
    kUnknownErrorPosted = 81,
    kInvalidKeyLength = 88,
    kRecordChangedByAnother = 89,
    kFileSystemError = 90,
    kSystemErrorBase = 300,
    kInvalidExpression = 800,
    kNoBindOnVariable = 801,
    kMismatchedScope = 802,
};

// Error code = 0, error file = none, all texts blank.
void clear_error();

// Error file = none, error code = code; text (leading blanks skipped, at most 79
// characters kept) becomes the error text; the system error is captured.
void set_error(int code, std::string_view text);

// Captures the system error; code 0 becomes 300 + the system error; the code's
// message is looked up and set with set_error.
void post_error(int code);

int error_code();
// The error text without its blank padding.
std::string error_text();
// The full 80-character blank-padded slot.
std::string_view error_text_slot();
int error_system_code();

sk::data::FileControlBlock* error_file();
void set_error_file(sk::data::FileControlBlock* file);

// The driver's own code and message for failures under code 90; blank-padded to 81.
void set_driver_texts(std::string_view driver_code, std::string_view driver_message);
// Each is empty when blank.
std::string driver_error_code();
std::string driver_error_message();

// Copies the text for id into buffer (at most capacity - 1 characters, always
// terminated). Overrides first, then the table. Returns whether a text was found.
bool message_text(int id, char* buffer, std::size_t capacity);
// The text for id, or nullopt-like empty result: found tells whether there was one.
std::string message_text(int id, bool* found = nullptr);

// The message post_error uses for code: 0 reads as 81; an id without text gives
// "Unknown Error Posted : <code>".
std::string error_message(int code);

// Adds or replaces the override text of a message id (environment file keys).
void add_message_override(int id, std::string_view text);
void clear_message_overrides();

// Save and restore code, system error and text.
void push_error_state();
void pop_error_state();

// Shows a fatal fault in a "Runtime error" box and, while runtime errors are
// fatal (the default), halts with exit code 2. detail may be null.
void runtime_error(int code, const char* detail = nullptr);
void set_runtime_errors_fatal(bool fatal);
bool had_runtime_error();

}  // namespace sk::rt
