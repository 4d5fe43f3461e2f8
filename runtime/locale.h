// Locale tables: collation, case pairs, character classes, month names, AM/PM
// texts and digraphs, plus the environment file that replaces them.
//
// All string comparisons, case conversions and sort keys of the runtime go
// through the 256-entry tables declared here. Their defaults are plain ASCII
// English; init_runtime_locale() applies the international settings and then
// the environment file beside the program. The tables are written only while
// settings are applied; readers do not lock.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace sk::rt {

// Character class flags.
inline constexpr unsigned char kClassUpper = 1;
inline constexpr unsigned char kClassLower = 2;
inline constexpr unsigned char kClassDigit = 4;

unsigned char upper_char(unsigned char c);
unsigned char lower_char(unsigned char c);
unsigned char char_class(unsigned char c);  // flags 1 upper, 2 lower, 4 digit
bool is_upper(unsigned char c);
bool has_class(unsigned char c);
bool has_partner(unsigned char c);
// The other-case partner of c, 0 when it has none.
unsigned char case_partner(unsigned char c);

inline constexpr unsigned kUntilNul = 65535;
// Converts length characters in place; with kUntilNul, up to the terminating NUL.
void upper_string(char* s, unsigned length);
void lower_string(char* s, unsigned length);

unsigned char collation_weight(unsigned char c);  // the `collation` table
unsigned char oem_collation_weight(unsigned char c);

// The strings are read as character streams (a digraph head replaced by its
// two expansion characters; ignoring case, a lower-case letter by its partner)
// and compared by collation weight. Returns the difference of the weights at the
// first position where they differ, 0 when both streams end together. The end
// of a stream weighs as NUL; a stream that ends where the other has a character
// of the same weight sorts first (-1 / 1).
int compare_strings(const char* a, const char* b);  // NUL-terminated, with digraphs
int compare_strings_nocase(const char* a, const char* b);
// Exactly n characters (NULs included), ignoring case.
int compare_fixed_nocase(const char* a, const char* b, std::size_t n);

// Writes the collation weights of in[0..n) to out (at most capacity bytes): the
// digraph-expanded stream when digraphs are set, so the key may be longer than
// the input. in and out may be the same buffer. With oem the characters are
// converted to the OEM set first and weighed by the OEM collation table.
// Returns the length written.
std::size_t collation_key(const unsigned char* in, std::size_t n, unsigned char* out, std::size_t capacity,
                          bool oem);
// The length collation_key() would need for in[0..n) without truncation.
std::size_t collation_key_length(const unsigned char* in, std::size_t n, bool oem);

bool oem_flag();

std::string_view month_name(int month);    // 1..12, at most 12 characters
std::string_view month_abbrev(int month);  // 1..12, 3 characters
std::string_view am_text();                // 1 or 2 characters
std::string_view pm_text();

// Digraph table: entries of (character, first expansion, second expansion).
inline constexpr std::size_t kMaxDigraphs = 16;
struct Digraph {
    unsigned char ch = 0, first = 0, second = 0;
};

// A short text of at most N characters held inline, so the tables need no
// dynamic initialisation and are valid before any constructor runs.
template <std::size_t N>
struct ShortText {
    char text[N + 1] = {};
    unsigned char length = 0;

    constexpr ShortText() = default;
    constexpr ShortText(std::string_view s) { assign(s); }
    // Keeps at most N characters.
    constexpr void assign(std::string_view s) {
        length = static_cast<unsigned char>(s.size() < N ? s.size() : N);
        for (std::size_t i = 0; i <= N; ++i) text[i] = i < length ? s[i] : '\0';
    }
    constexpr std::string_view view() const { return std::string_view(text, length); }
};

inline constexpr std::size_t kMonthNameLength = 12;
inline constexpr std::size_t kMonthAbbrevLength = 3;
inline constexpr std::size_t kAmPmLength = 2;

// Every process-wide locale table. Written only while settings are applied.
struct LocaleTables {
    std::array<unsigned char, 256> collation;      // weight of each code
    std::array<unsigned char, 256> oem_collation;  // used for OEM keys
    std::array<unsigned char, 256> case_map;       // other-case partner, 0 if none
    std::array<unsigned char, 256> char_class;     // kClassUpper | kClassLower | kClassDigit
    std::array<ShortText<kMonthNameLength>, 12> month_names;
    std::array<ShortText<kMonthAbbrevLength>, 12> month_abbrevs;
    ShortText<kAmPmLength> am, pm;
    std::array<Digraph, kMaxDigraphs> digraphs;      // the first digraph_count entries are used
    std::array<Digraph, kMaxDigraphs> oem_digraphs;  // the same, in the OEM set
    std::size_t digraph_count;
    bool oem;
};
// The ASCII English defaults.
LocaleTables default_locale_tables();
const LocaleTables& locale_tables();

std::size_t digraph_count();
Digraph digraph(std::size_t index);      // the ANSI table; all zero past the end
Digraph oem_digraph(std::size_t index);  // its OEM copy

struct IntlValues {  // the system's international settings
    char time_separator = ':';
    std::string am = "AM", pm = "PM";  // at most 2 characters each
    bool hour24 = false;               // iTime
    bool time_leading_zero = true;     // iTLzero
    std::string short_date = "MM/dd/yy";  // sShortDate as the system writes it
    std::string long_date = "ddd', 'MMMM' 'dd', 'yyyy";
};
const IntlValues& intl();
void set_intl(const IntlValues& values);

// Reads an environment file and applies every line. "WINDOWS" (any case) applies
// the system rules of the collation, case and AM/PM keys instead. Returns false
// (and posts error 2) when the file cannot be opened; nothing changes then.
bool apply_locale_file(const std::string& path);
// Applies one key and its value as an environment-file line would. Keys, in
// any case: TESCHARSET (OEM or not), TESCOLSEQ (collation order, "WINDOWS", or
// empty for identity), TESCASE (upper-case list, lower-case list; affects codes
// 128-255 only; "WINDOWS" or unusable lists take the system's letters; an empty
// value restores ASCII), TESMONTH, TESMON, TESAMPM, TESDIGRAPH (groups of
// character, first and second expansion), TESBUTTON (message ids 32512 + k) and
// TESMSGn (message id n). Any other key is ignored.
void apply_locale_key(std::string_view key, std::string_view value);
// Start-up: international settings, then the environment file beside the program.
void init_runtime_locale(const std::string& program_path);
// The environment file name init_runtime_locale() looks for first.
std::string environment_file_path(const std::string& program_path);
void reset_locale_defaults();  // tests

unsigned char oem_to_ansi(unsigned char c);
unsigned char ansi_to_oem(unsigned char c);

}  // namespace sk::rt
