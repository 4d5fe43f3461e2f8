// The process-wide error state, message lookup with overrides, and the runtime
// error box.
#include "runtime/error.h"

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "platform/system_error.h"
#include "runtime/halt.h"
#include "runtime/messages.h"

namespace sk::rt {
namespace {

struct SavedState {
    int code;
    int system_code;
    char text[kErrorTextSize];
};

struct ErrorState {
    int code = 0;
    int system_code = 0;
    char text[kErrorTextSize];
    char driver_code[kDriverTextSize];
    char driver_message[kDriverTextSize];
    sk::data::FileControlBlock* file = nullptr;
    std::vector<SavedState> saved;  // newest last

    ErrorState() {
        std::memset(text, ' ', sizeof text);
        std::memset(driver_code, ' ', sizeof driver_code);
        std::memset(driver_message, ' ', sizeof driver_message);
    }
};

ErrorState& state() {
    static ErrorState s;
    return s;
}

// Overrides are looked up before the table. They are written at start-up while
// settings are applied, and read from any thread afterwards; the mutex keeps a
// late explicit apply safe against a concurrent lookup.
std::mutex& override_mutex() {
    static std::mutex m;
    return m;
}
std::map<int, std::string>& overrides() {
    static std::map<int, std::string> m;
    return m;
}

bool g_runtime_errors_fatal = true;
bool g_had_runtime_error = false;

// The longest prefix of text no longer than limit bytes that does not end inside
// a UTF-8 sequence.
std::size_t utf8_cut(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    // A continuation byte at the cut means the sequence straddles it: cut before
    // its lead byte instead.
    std::size_t n = limit;
    int back = 0;
    while (n > 0 && back < 3 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
        --n;
        ++back;
    }
    if ((static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) return limit;  // not UTF-8 at all
    return n;
}

void fill_slot(char* slot, std::size_t size, std::string_view text) {
    std::size_t n = utf8_cut(text, size - 1);
    std::memcpy(slot, text.data(), n);
    std::memset(slot + n, ' ', size - n);
}

std::string trimmed(const char* slot, std::size_t size) {
    std::size_t n = size;
    while (n > 0 && slot[n - 1] == ' ') --n;
    return std::string(slot, n);
}

}  // namespace

void clear_error() {
    ErrorState& s = state();
    s.code = 0;
    s.file = nullptr;
    std::memset(s.text, ' ', sizeof s.text);
    std::memset(s.driver_code, ' ', sizeof s.driver_code);
    std::memset(s.driver_message, ' ', sizeof s.driver_message);
}

void set_error(int code, std::string_view text) {
    ErrorState& s = state();
    s.file = nullptr;
    s.code = code;
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ') ++start;
    fill_slot(s.text, sizeof s.text, text.substr(start));
    s.system_code = sk::platform::last_system_error();
}

void post_error(int code) {
    int system_code = sk::platform::last_system_error();
    if (code == 0) code = kSystemErrorBase + system_code;
    set_error(code, error_message(code));
}

int error_code() { return state().code; }

std::string error_text() { return trimmed(state().text, sizeof state().text); }

std::string_view error_text_slot() { return std::string_view(state().text, sizeof state().text); }

int error_system_code() { return state().system_code; }

sk::data::FileControlBlock* error_file() { return state().file; }

void set_error_file(sk::data::FileControlBlock* file) { state().file = file; }

void set_driver_texts(std::string_view driver_code, std::string_view driver_message) {
    ErrorState& s = state();
    fill_slot(s.driver_code, sizeof s.driver_code, driver_code);
    fill_slot(s.driver_message, sizeof s.driver_message, driver_message);
}

std::string driver_error_code() { return trimmed(state().driver_code, sizeof state().driver_code); }

std::string driver_error_message() {
    return trimmed(state().driver_message, sizeof state().driver_message);
}

std::string message_text(int id, bool* found) {
    {
        std::lock_guard<std::mutex> lock(override_mutex());
        auto it = overrides().find(id);
        if (it != overrides().end()) {
            if (found) *found = true;
            return it->second;
        }
    }
    const char* text = table_message(id);
    if (found) *found = text != nullptr;
    return text ? std::string(text) : std::string();
}

bool message_text(int id, char* buffer, std::size_t capacity) {
    bool found = false;
    std::string text = message_text(id, &found);
    if (capacity == 0 || buffer == nullptr) return found;
    std::size_t n = utf8_cut(text, capacity - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return found;
}

std::string error_message(int code) {
    bool found = false;
    std::string text = message_text(code == 0 ? kUnknownErrorPosted : code, &found);
    if (found) return text;
    return message_text(kUnknownErrorPosted) + " : " + std::to_string(code);
}

void add_message_override(int id, std::string_view text) {
    std::lock_guard<std::mutex> lock(override_mutex());
    overrides()[id] = std::string(text);
}

void clear_message_overrides() {
    std::lock_guard<std::mutex> lock(override_mutex());
    overrides().clear();
}

void push_error_state() {
    ErrorState& s = state();
    SavedState saved;
    saved.code = s.code;
    saved.system_code = s.system_code;
    std::memcpy(saved.text, s.text, sizeof saved.text);
    s.saved.push_back(saved);
}

void pop_error_state() {
    ErrorState& s = state();
    if (s.saved.empty()) return;
    const SavedState& saved = s.saved.back();
    s.code = saved.code;
    s.system_code = saved.system_code;
    std::memcpy(s.text, saved.text, sizeof s.text);
    s.saved.pop_back();
}

void runtime_error(int code, const char* detail) {
    std::string text;
    if (code != 0) {
        post_error(code);
        text = error_text();
        if (text.size() > 255) text.resize(utf8_cut(text, 255));
        if (detail) text += " : ";
    }
    if (detail) text += detail;
    MessageRequest request;
    request.caption = "Runtime error";
    request.text = text;
    request.buttons = kButtonOk;
    request.default_button = kButtonOk;
    request.icon = kIconError;
    present_message(request);
    g_had_runtime_error = true;
    if (g_runtime_errors_fatal) halt(2);
}

void set_runtime_errors_fatal(bool fatal) { g_runtime_errors_fatal = fatal; }

bool had_runtime_error() { return g_had_runtime_error; }

}  // namespace sk::rt
