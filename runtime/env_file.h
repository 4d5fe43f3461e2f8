// The environment file: a text file of "KEY=value" lines beside the program that
// replaces locale tables and message texts.
//
// Reading: the file goes through a 2048-byte buffer. Carriage returns and line
// feeds between lines are skipped; character 26 (the old end-of-file mark) or
// the physical end ends the file. A key is gathered with its blanks dropped and
// ends at "=" or any character below 32; at most 31 of its characters are kept.
// After "=" the value runs to the end of the line, at most 255 characters, with
// trailing blanks and tabs removed. A line without "=" applies nothing.
//
// Applying: the value becomes a list of double-quoted items (see quote_value),
// converted from the OEM set when the OEM flag is on, and the key decides what
// the items replace (see apply_locale_key in runtime/locale.h).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/locale.h"

namespace sk::rt {

inline constexpr std::size_t kEnvBufferSize = 2048;
inline constexpr std::size_t kEnvMaxKeyLength = 31;
inline constexpr std::size_t kEnvMaxValueLength = 255;
inline constexpr std::size_t kEnvMaxQuotedLength = 400;     // a list taken as written
inline constexpr std::size_t kEnvMaxConvertedLength = 395;  // value characters wrapped into a list
inline constexpr char kEnvEndOfFile = 26;

using EnvLineHandler = std::function<void(std::string_view key, std::string_view value)>;

// Splits a byte stream into key/value lines. Feed the file in pieces of any
// size; the handler is called for each line that has "=".
class EnvParser {
public:
    explicit EnvParser(EnvLineHandler handler) : m_handler(std::move(handler)) {}

    void feed(const char* data, std::size_t n);
    // The physical end of the file: completes a last line without terminator.
    void finish();
    // True once character 26 was seen; later input is ignored.
    bool ended() const { return m_state == State::kEnded; }

private:
    enum class State { kBetweenLines, kKey, kValue, kSkipLine, kEnded };
    void emit();

    EnvLineHandler m_handler;
    State m_state = State::kBetweenLines;
    std::string m_key;
    std::string m_value;
};

// Reads path through a kEnvBufferSize buffer with plain POSIX calls. Returns
// false when it cannot be opened; the system error is then set.
bool read_environment_file(const std::string& path, const EnvLineHandler& handler);

// Makes a value into a list of quoted items. Leading blanks and tabs are skipped.
// A value starting with a double quote is taken as written (up to 400
// characters); any other is wrapped in quotes with its quotes doubled and, when
// commas_separate, each comma closing one item and opening the next. At most
// 395 value characters are converted, and the list never exceeds 400 characters.
std::string quote_value(std::string_view value, bool commas_separate);

// The items of a quoted list: the text between each pair of quotes, a doubled
// quote read as one. An unterminated item runs to the end.
std::vector<std::string> split_items(std::string_view list);

// The tables for the code that applies settings; everyone else reads locale_tables().
LocaleTables& mutable_locale_tables();

}  // namespace sk::rt
