// The locale tables and the character and string operations that read them.
#include "runtime/locale.h"

#include <cstdint>
#include <vector>

#include "runtime/env_file.h"
#include "runtime/oem.h"

namespace sk::rt {
namespace {

constexpr LocaleTables make_default_tables() {
    LocaleTables t{};
    for (unsigned c = 0; c < 256; ++c) {
        t.collation[c] = static_cast<unsigned char>(c);
        t.oem_collation[c] = static_cast<unsigned char>(c);
        t.case_map[c] = 0;
        t.char_class[c] = 0;
    }
    for (unsigned c = 'A'; c <= 'Z'; ++c) {
        t.case_map[c] = static_cast<unsigned char>(c + 32);
        t.case_map[c + 32] = static_cast<unsigned char>(c);
        t.char_class[c] = kClassUpper;
        t.char_class[c + 32] = kClassLower;
    }
    for (unsigned c = '0'; c <= '9'; ++c) t.char_class[c] = kClassDigit;
    constexpr const char* names[12] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};
    for (int m = 0; m < 12; ++m) {
        t.month_names[m].assign(names[m]);
        t.month_abbrevs[m].assign(std::string_view(names[m]).substr(0, 3));
    }
    t.am.assign("AM");
    t.pm.assign("PM");
    t.digraph_count = 0;
    t.oem = false;
    return t;
}

// Constant-initialised, so other modules' static initialisers may already use it.
constinit LocaleTables g_tables = make_default_tables();

IntlValues& intl_storage() {
    static IntlValues values;
    return values;
}

// A string read as a stream of characters, with digraph heads replaced by their
// two expansion characters and, ignoring case, lower-case letters by their
// upper-case partners.
class CharStream {
public:
    CharStream(const unsigned char* s, std::size_t n, bool nul_terminated, bool nocase)
        : m_s(s), m_n(n), m_nul_terminated(nul_terminated), m_nocase(nocase) {}

    // Returns false at the end of the stream.
    bool next(unsigned char* c) {
        if (m_pending_count > 0) {
            *c = m_pending;
            m_pending_count = 0;
            return true;
        }
        if (m_pos >= m_n) return false;
        unsigned char ch = m_s[m_pos];
        if (m_nul_terminated && ch == 0) return false;
        ++m_pos;
        const Digraph* d = find_digraph(ch);
        if (d == nullptr && m_nocase) {
            ch = fold(ch);
            d = find_digraph(ch);
        }
        if (d != nullptr) {
            *c = fold_if(d->first);
            m_pending = fold_if(d->second);
            m_pending_count = 1;
            return true;
        }
        *c = ch;
        return true;
    }

private:
    static unsigned char fold(unsigned char c) {
        return (g_tables.char_class[c] & kClassLower) ? g_tables.case_map[c] : c;
    }
    unsigned char fold_if(unsigned char c) const { return m_nocase ? fold(c) : c; }
    static const Digraph* find_digraph(unsigned char c) {
        for (std::size_t i = 0; i < g_tables.digraph_count; ++i) {
            if (g_tables.digraphs[i].ch == c) return &g_tables.digraphs[i];
        }
        return nullptr;
    }

    const unsigned char* m_s;
    std::size_t m_n;
    bool m_nul_terminated;
    bool m_nocase;
    std::size_t m_pos = 0;
    unsigned char m_pending = 0;
    int m_pending_count = 0;
};

// The end of a stream weighs as the NUL character would.
int compare_streams(CharStream& a, CharStream& b) {
    for (;;) {
        unsigned char ca = 0, cb = 0;
        const bool more_a = a.next(&ca);
        const bool more_b = b.next(&cb);
        if (!more_a && !more_b) return 0;
        const int wa = g_tables.collation[more_a ? ca : 0];
        const int wb = g_tables.collation[more_b ? cb : 0];
        if (wa != wb) return wa - wb;
        // Equal weights but one stream ended: the longer one sorts after.
        if (!more_a) return -1;
        if (!more_b) return 1;
    }
}

int compare_nul_terminated(const char* a, const char* b, bool nocase) {
    const auto* ua = reinterpret_cast<const unsigned char*>(a);
    const auto* ub = reinterpret_cast<const unsigned char*>(b);
    if (g_tables.digraph_count == 0) {
        // The common case, byte by byte.
        for (;; ++ua, ++ub) {
            unsigned char ca = *ua, cb = *ub;
            if (nocase) {
                if (g_tables.char_class[ca] & kClassLower) ca = g_tables.case_map[ca];
                if (g_tables.char_class[cb] & kClassLower) cb = g_tables.case_map[cb];
            }
            const int wa = g_tables.collation[ca], wb = g_tables.collation[cb];
            if (wa != wb) return wa - wb;
            if (*ua == 0 || *ub == 0) {
                if (*ua == *ub) return 0;
                return *ua == 0 ? -1 : 1;
            }
        }
    }
    CharStream sa(ua, SIZE_MAX, true, nocase), sb(ub, SIZE_MAX, true, nocase);
    return compare_streams(sa, sb);
}

}  // namespace

LocaleTables default_locale_tables() { return make_default_tables(); }
const LocaleTables& locale_tables() { return g_tables; }
LocaleTables& mutable_locale_tables() { return g_tables; }

unsigned char upper_char(unsigned char c) {
    return (g_tables.char_class[c] & kClassLower) ? g_tables.case_map[c] : c;
}

unsigned char lower_char(unsigned char c) {
    return (g_tables.char_class[c] & kClassUpper) ? g_tables.case_map[c] : c;
}

unsigned char char_class(unsigned char c) { return g_tables.char_class[c]; }
bool is_upper(unsigned char c) { return (g_tables.char_class[c] & kClassUpper) != 0; }
bool has_class(unsigned char c) { return g_tables.char_class[c] != 0; }
bool has_partner(unsigned char c) { return g_tables.case_map[c] != 0; }
unsigned char case_partner(unsigned char c) { return g_tables.case_map[c]; }

void upper_string(char* s, unsigned length) {
    if (s == nullptr) return;
    for (unsigned i = 0; length == kUntilNul ? s[i] != 0 : i < length; ++i) {
        s[i] = static_cast<char>(upper_char(static_cast<unsigned char>(s[i])));
    }
}

void lower_string(char* s, unsigned length) {
    if (s == nullptr) return;
    for (unsigned i = 0; length == kUntilNul ? s[i] != 0 : i < length; ++i) {
        s[i] = static_cast<char>(lower_char(static_cast<unsigned char>(s[i])));
    }
}

unsigned char collation_weight(unsigned char c) { return g_tables.collation[c]; }
unsigned char oem_collation_weight(unsigned char c) { return g_tables.oem_collation[c]; }

int compare_strings(const char* a, const char* b) { return compare_nul_terminated(a, b, false); }
int compare_strings_nocase(const char* a, const char* b) { return compare_nul_terminated(a, b, true); }

int compare_fixed_nocase(const char* a, const char* b, std::size_t n) {
    CharStream sa(reinterpret_cast<const unsigned char*>(a), n, false, true);
    CharStream sb(reinterpret_cast<const unsigned char*>(b), n, false, true);
    return compare_streams(sa, sb);
}

std::size_t collation_key_length(const unsigned char* in, std::size_t n, bool oem) {
    std::size_t length = n;
    if (g_tables.digraph_count == 0) return length;
    const auto& table = oem ? g_tables.oem_digraphs : g_tables.digraphs;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = oem ? ansi_to_oem(in[i]) : in[i];
        for (std::size_t d = 0; d < g_tables.digraph_count; ++d) {
            if (table[d].ch == c) {
                ++length;
                break;
            }
        }
    }
    return length;
}

std::size_t collation_key(const unsigned char* in, std::size_t n, unsigned char* out, std::size_t capacity,
                          bool oem) {
    const auto& weights = oem ? g_tables.oem_collation : g_tables.collation;
    if (g_tables.digraph_count == 0) {
        // One weight per character: safe in place.
        const std::size_t length = n < capacity ? n : capacity;
        for (std::size_t i = 0; i < length; ++i) {
            const unsigned char c = oem ? ansi_to_oem(in[i]) : in[i];
            out[i] = weights[c];
        }
        return length;
    }
    // Expansions make the key grow, so read from a copy when the buffers overlap.
    std::vector<unsigned char> copy;
    if (out < in + n && in < out + capacity) {
        copy.assign(in, in + n);
        in = copy.data();
    }
    const auto& table = oem ? g_tables.oem_digraphs : g_tables.digraphs;
    std::size_t length = 0;
    auto put = [&](unsigned char c) {
        if (length < capacity) out[length++] = weights[c];
    };
    for (std::size_t i = 0; i < n && length < capacity; ++i) {
        const unsigned char c = oem ? ansi_to_oem(in[i]) : in[i];
        const Digraph* d = nullptr;
        for (std::size_t k = 0; k < g_tables.digraph_count; ++k) {
            if (table[k].ch == c) {
                d = &table[k];
                break;
            }
        }
        if (d != nullptr) {
            put(d->first);
            put(d->second);
        } else {
            put(c);
        }
    }
    return length;
}

bool oem_flag() { return g_tables.oem; }

std::string_view month_name(int month) {
    if (month < 1 || month > 12) return {};
    return g_tables.month_names[month - 1].view();
}

std::string_view month_abbrev(int month) {
    if (month < 1 || month > 12) return {};
    return g_tables.month_abbrevs[month - 1].view();
}

std::string_view am_text() { return g_tables.am.view(); }
std::string_view pm_text() { return g_tables.pm.view(); }

std::size_t digraph_count() { return g_tables.digraph_count; }

Digraph digraph(std::size_t index) {
    return index < g_tables.digraph_count ? g_tables.digraphs[index] : Digraph{};
}

Digraph oem_digraph(std::size_t index) {
    return index < g_tables.digraph_count ? g_tables.oem_digraphs[index] : Digraph{};
}

const IntlValues& intl() { return intl_storage(); }

void set_intl(const IntlValues& values) {
    IntlValues& v = intl_storage();
    v = values;
    if (v.am.size() > kAmPmLength) v.am.resize(kAmPmLength);
    if (v.pm.size() > kAmPmLength) v.pm.resize(kAmPmLength);
}

void reset_locale_defaults() {
    g_tables = make_default_tables();
    intl_storage() = IntlValues{};
}

}  // namespace sk::rt
