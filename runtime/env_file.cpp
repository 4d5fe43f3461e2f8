// Reading the environment file and applying its keys to the locale tables and
// the message overrides.
#include "runtime/env_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/system_error.h"
#include "runtime/error.h"
#include "runtime/oem.h"

namespace sk::rt {
namespace {

constexpr int kFirstButtonMessage = 32512;
constexpr int kLastMessageId = 65535;
constexpr std::size_t kCompleteOrderLength = 222;

bool is_line_end(unsigned char c) { return c == '\r' || c == '\n'; }

bool equals_nocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 32);
        if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 32);
        if (ca != cb) return false;
    }
    return true;
}

enum class KeyKind { kNone, kCharSet, kCollation, kCase, kMonth, kMon, kAmPm, kDigraph, kButton, kMessage };

KeyKind classify_key(std::string_view key, int* message_id) {
    static constexpr struct {
        const char* name;
        KeyKind kind;
    } kNames[] = {
        {"TESCHARSET", KeyKind::kCharSet}, {"TESCOLSEQ", KeyKind::kCollation}, {"TESCASE", KeyKind::kCase},
        {"TESMONTH", KeyKind::kMonth},     {"TESMON", KeyKind::kMon},          {"TESAMPM", KeyKind::kAmPm},
        {"TESDIGRAPH", KeyKind::kDigraph}, {"TESBUTTON", KeyKind::kButton},
    };
    for (const auto& n : kNames) {
        if (equals_nocase(key, n.name)) return n.kind;
    }
    if (key.size() > 6 && equals_nocase(key.substr(0, 6), "TESMSG")) {
        long id = 0;
        for (char ch : key.substr(6)) {
            if (ch < '0' || ch > '9') return KeyKind::kNone;
            id = id * 10 + (ch - '0');
            if (id > kLastMessageId) return KeyKind::kNone;
        }
        *message_id = static_cast<int>(id);
        return KeyKind::kMessage;
    }
    return KeyKind::kNone;
}

using Table = std::array<unsigned char, 256>;

// Repeated characters are dropped, keeping the first. A complete order of 222
// distinct characters receives the printable weights 32-126 and 128-254 in list
// order; any other list is reordered among the codes its characters occupy.
// Codes not listed keep their weight.
void apply_sequence(Table& table, std::string_view sequence) {
    bool seen[256] = {};
    unsigned char list[256];
    std::size_t count = 0;
    bool had_repeats = false;
    for (char ch : sequence) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (seen[c]) {
            had_repeats = true;
            continue;
        }
        seen[c] = true;
        list[count++] = c;
    }
    if (!had_repeats && count == kCompleteOrderLength) {
        for (std::size_t i = 0; i < count; ++i) {
            table[list[i]] = static_cast<unsigned char>(i < 95 ? 32 + i : 128 + (i - 95));
        }
        return;
    }
    std::size_t next = 0;
    for (unsigned code = 0; code < 256 && next < count; ++code) {
        if (seen[code]) table[list[next++]] = static_cast<unsigned char>(code);
    }
}

// Codes 0 and 1, then 2 to 254 in the order the ANSI set's string comparison
// gives them, each compared as a one-character string.
std::string system_collation_sequence() {
    std::string order;
    for (int c = 2; c <= 254; ++c) {
        const char one[2] = {static_cast<char>(c), 0};
        std::size_t at = order.size();
        while (at > 0) {
            const char before[2] = {order[at - 1], 0};
            if (ansi_compare_strings(before, one) <= 0) break;
            --at;
        }
        order.insert(order.begin() + static_cast<std::ptrdiff_t>(at), static_cast<char>(c));
    }
    return std::string("\0\1", 2) + order;
}

std::string convert_sequence(std::string_view sequence, unsigned char (*convert)(unsigned char)) {
    std::string out(sequence);
    for (char& ch : out) ch = static_cast<char>(convert(static_cast<unsigned char>(ch)));
    return out;
}

void apply_collation(const std::vector<std::string>& items) {
    LocaleTables& t = mutable_locale_tables();
    const std::string item = items.empty() ? std::string() : items[0];
    if (item.empty()) {
        for (unsigned c = 0; c < 256; ++c) {
            t.collation[c] = static_cast<unsigned char>(c);
            t.oem_collation[c] = static_cast<unsigned char>(c);
        }
        return;
    }
    if (equals_nocase(item, "WINDOWS")) {
        // The system order is one of ANSI codes, whatever set the file is written in.
        const std::string sequence = system_collation_sequence();
        apply_sequence(t.collation, sequence);
        apply_sequence(t.oem_collation, convert_sequence(sequence, ansi_to_oem));
        return;
    }
    if (t.oem) {
        apply_sequence(t.oem_collation, item);
        apply_sequence(t.collation, convert_sequence(item, oem_to_ansi));
    } else {
        apply_sequence(t.collation, item);
        apply_sequence(t.oem_collation, convert_sequence(item, ansi_to_oem));
    }
}

void apply_case(std::string_view value, const std::vector<std::string>& items) {
    LocaleTables& t = mutable_locale_tables();
    if (value.find_first_not_of(" \t") == std::string_view::npos) {
        const LocaleTables defaults = default_locale_tables();
        t.case_map = defaults.case_map;
        t.char_class = defaults.char_class;
        return;
    }
    std::vector<std::pair<unsigned char, unsigned char>> pairs;
    const bool use_system = items.size() < 2 || items[0].empty() || items[0].size() != items[1].size() ||
                            equals_nocase(items[0], "WINDOWS");
    if (use_system) {
        for (unsigned c = 0; c < 256; ++c) {
            const auto u = static_cast<unsigned char>(c);
            if (ansi_is_alpha(u) && ansi_is_upper(u)) pairs.emplace_back(u, ansi_lower(u));
        }
    } else {
        for (std::size_t i = 0; i < items[0].size(); ++i) {
            pairs.emplace_back(static_cast<unsigned char>(items[0][i]), static_cast<unsigned char>(items[1][i]));
        }
    }
    for (unsigned c = 128; c < 256; ++c) {
        t.case_map[c] = 0;
        t.char_class[c] = 0;
    }
    for (const auto& [upper, lower] : pairs) {
        if (upper < 128 || lower < 128 || upper == lower) continue;
        t.case_map[upper] = lower;
        t.case_map[lower] = upper;
        t.char_class[upper] = kClassUpper;
        t.char_class[lower] = kClassLower;
    }
}

template <std::size_t N>
void apply_texts(std::array<ShortText<N>, 12>& texts, const std::vector<std::string>& items) {
    for (std::size_t i = 0; i < 12 && i < items.size() && !items[i].empty(); ++i) texts[i].assign(items[i]);
}

void apply_am_pm(const std::vector<std::string>& items) {
    if (items.empty() || items[0].empty()) return;
    LocaleTables& t = mutable_locale_tables();
    if (equals_nocase(items[0], "WINDOWS")) {
        t.am.assign(intl().am);
        t.pm.assign(intl().pm);
        return;
    }
    t.am.assign(items[0]);
    if (items.size() > 1 && !items[1].empty()) t.pm.assign(items[1]);
}

void apply_digraphs(const std::vector<std::string>& items) {
    LocaleTables& t = mutable_locale_tables();
    std::size_t count = 0;
    bool table_ended = false;
    for (std::size_t k = 0; k < items.size() && !items[k].empty() && !table_ended; ++k) {
        const std::string& item = items[k];
        std::size_t pos = 0;
        while (pos + 3 <= item.size() && count < kMaxDigraphs) {
            Digraph d;
            d.ch = static_cast<unsigned char>(item[pos]);
            d.first = static_cast<unsigned char>(item[pos + 1]);
            d.second = static_cast<unsigned char>(item[pos + 2]);
            pos += 3;
            if (pos < item.size() && item[pos] == ',') ++pos;
            // A zero first character marks the end of the table.
            if (d.ch == 0) {
                table_ended = true;
                break;
            }
            t.digraphs[count++] = d;
        }
        if (count == kMaxDigraphs) break;
    }
    for (std::size_t i = 0; i < kMaxDigraphs; ++i) {
        if (i >= count) t.digraphs[i] = Digraph{};
        const Digraph& d = t.digraphs[i];
        t.oem_digraphs[i] = Digraph{ansi_to_oem(d.ch), ansi_to_oem(d.first), ansi_to_oem(d.second)};
    }
    t.digraph_count = count;
}

void apply_items(KeyKind kind, int message_id, std::string_view value, const std::vector<std::string>& items) {
    LocaleTables& t = mutable_locale_tables();
    switch (kind) {
        case KeyKind::kCharSet:
            t.oem = !items.empty() && equals_nocase(items[0], "OEM");
            break;
        case KeyKind::kCollation:
            apply_collation(items);
            break;
        case KeyKind::kCase:
            apply_case(value, items);
            break;
        case KeyKind::kMonth:
            apply_texts(t.month_names, items);
            break;
        case KeyKind::kMon:
            apply_texts(t.month_abbrevs, items);
            break;
        case KeyKind::kAmPm:
            apply_am_pm(items);
            break;
        case KeyKind::kDigraph:
            apply_digraphs(items);
            break;
        case KeyKind::kButton:
            for (std::size_t k = 0; k < items.size() && kFirstButtonMessage + k <= std::size_t(kLastMessageId);
                 ++k) {
                if (!items[k].empty()) add_message_override(kFirstButtonMessage + static_cast<int>(k), items[k]);
            }
            break;
        case KeyKind::kMessage:
            if (!items.empty() && !items[0].empty()) add_message_override(message_id, items[0]);
            break;
        case KeyKind::kNone:
            break;
    }
}

}  // namespace

void EnvParser::feed(const char* data, std::size_t n) {
    for (std::size_t i = 0; i < n && m_state != State::kEnded; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        if (c == kEnvEndOfFile) {
            // The end mark ends the file even in the middle of a line.
            if (m_state == State::kValue) emit();
            m_state = State::kEnded;
            break;
        }
        switch (m_state) {
            case State::kBetweenLines:
                if (is_line_end(c)) break;
                m_state = State::kKey;
                [[fallthrough]];
            case State::kKey:
                if (c == ' ') break;
                if (c == '=') {
                    m_state = State::kValue;
                } else if (c < 32) {
                    m_key.clear();
                    m_state = is_line_end(c) ? State::kBetweenLines : State::kSkipLine;
                } else if (m_key.size() < kEnvMaxKeyLength) {
                    m_key.push_back(static_cast<char>(c));
                }
                break;
            case State::kValue:
                if (is_line_end(c)) {
                    emit();
                    m_state = State::kBetweenLines;
                } else if (m_value.size() < kEnvMaxValueLength) {
                    m_value.push_back(static_cast<char>(c));
                }
                break;
            case State::kSkipLine:
                if (is_line_end(c)) m_state = State::kBetweenLines;
                break;
            case State::kEnded:
                break;
        }
    }
}

void EnvParser::finish() {
    if (m_state == State::kValue) emit();
    m_key.clear();
    m_value.clear();
    m_state = State::kEnded;
}

void EnvParser::emit() {
    std::size_t end = m_value.size();
    while (end > 0 && (m_value[end - 1] == ' ' || m_value[end - 1] == '\t')) --end;
    m_value.resize(end);
    if (m_handler) m_handler(m_key, m_value);
    m_key.clear();
    m_value.clear();
}

bool read_environment_file(const std::string& path, const EnvLineHandler& handler) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        sk::platform::capture_errno_for_path(path.c_str());
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        sk::platform::set_last_system_error(sk::platform::kErrAccessDenied);
        return false;
    }
    EnvParser parser(handler);
    char buffer[kEnvBufferSize];
    while (!parser.ended()) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // a read failure ends the file like its physical end
        parser.feed(buffer, static_cast<std::size_t>(got));
    }
    parser.finish();
    ::close(fd);
    return true;
}

std::string quote_value(std::string_view value, bool commas_separate) {
    const std::size_t start = value.find_first_not_of(" \t");
    if (start == std::string_view::npos) return "\"\"";
    value.remove_prefix(start);
    if (value[0] == '"') return std::string(value.substr(0, kEnvMaxQuotedLength));
    std::string list = "\"";
    for (std::size_t i = 0; i < value.size() && i < kEnvMaxConvertedLength; ++i) {
        std::string_view piece;
        const char c = value[i];
        if (c == '"') {
            piece = "\"\"";
        } else if (c == ',' && commas_separate) {
            piece = "\",\"";
        } else {
            piece = std::string_view(&value[i], 1);
        }
        // Room for the piece and the closing quote.
        if (list.size() + piece.size() + 1 > kEnvMaxQuotedLength) break;
        list.append(piece);
    }
    list.push_back('"');
    return list;
}

std::vector<std::string> split_items(std::string_view list) {
    std::vector<std::string> items;
    std::size_t i = 0;
    for (;;) {
        const std::size_t open = list.find('"', i);
        if (open == std::string_view::npos) break;
        std::string item;
        std::size_t j = open + 1;
        while (j < list.size()) {
            if (list[j] != '"') {
                item.push_back(list[j++]);
            } else if (j + 1 < list.size() && list[j + 1] == '"') {
                item.push_back('"');
                j += 2;
            } else {
                ++j;
                break;
            }
        }
        items.push_back(std::move(item));
        i = j;
        if (i >= list.size()) break;
    }
    return items;
}

void apply_locale_key(std::string_view key, std::string_view value) {
    int message_id = 0;
    const KeyKind kind = classify_key(key, &message_id);
    if (kind == KeyKind::kNone) return;
    const bool commas_separate = kind != KeyKind::kCollation && kind != KeyKind::kMessage;
    std::string list = quote_value(value, commas_separate);
    if (oem_flag() && kind != KeyKind::kCollation) oem_to_ansi_buffer(list.data(), list.size());
    std::vector<std::string> items = split_items(list);
    if (kind != KeyKind::kCollation && kind != KeyKind::kDigraph) {
        // Names and message texts are read as terminated strings: a NUL ends them.
        for (std::string& item : items) item.resize(std::strlen(item.c_str()));
    }
    apply_items(kind, message_id, value, items);
}

bool apply_locale_file(const std::string& path) {
    if (equals_nocase(path, "WINDOWS")) {
        apply_locale_key("TESCOLSEQ", "WINDOWS");
        apply_locale_key("TESCASE", "WINDOWS");
        apply_locale_key("TESAMPM", "WINDOWS");
        return true;
    }
    if (!read_environment_file(path, apply_locale_key)) {
        post_error(kFileNotFound);
        return false;
    }
    return true;
}

std::string environment_file_path(const std::string& program_path) {
    const std::size_t slash = program_path.rfind('/');
    const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = program_path.rfind('.');
    // Only a dot inside the file name starts an extension; a leading dot marks a
    // hidden file, not an extension.
    if (dot != std::string::npos && dot > name_start) return program_path.substr(0, dot) + ".ENV";
    return program_path + ".ENV";
}

void init_runtime_locale(const std::string& program_path) {
    set_intl(IntlValues{});
    if (program_path.empty()) return;
    // A missing file is normal: the defaults stay and no error is left behind.
    const int saved_system_error = sk::platform::last_system_error();
    const std::string path = environment_file_path(program_path);
    if (!read_environment_file(path, apply_locale_key)) {
        std::string lower = path;
        lower.replace(lower.size() - 4, 4, ".env");
        read_environment_file(lower, apply_locale_key);
    }
    sk::platform::set_last_system_error(saved_system_error);
}

}  // namespace sk::rt
