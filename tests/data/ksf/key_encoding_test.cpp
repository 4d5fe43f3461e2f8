// Key value encoding: byte order of encoded values must be the order of the
// values, for every type, ascending and descending; plus the key entry records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "data/control_blocks.h"
#include "data/ksf/key_encoding.h"
#include "data/ksf/record.h"
#include "runtime/locale.h"

using namespace sk::ksf;
using namespace sk::data;

namespace {

template <typename T>
std::string raw_of(T v) {
    std::string s(sizeof v, '\0');
    std::memcpy(s.data(), &v, sizeof v);
    return s;
}

std::string enc(std::uint8_t type, const std::string& raw, bool descending = false, bool nocase = false) {
    KeyComponent c{type, 0, static_cast<std::uint32_t>(raw.size()), descending};
    std::string out;
    encode_component(c, reinterpret_cast<const std::uint8_t*>(raw.data()), nocase, false, &out);
    return out;
}

int sign(int v) { return (v > 0) - (v < 0); }

// Packed decimal: digits / 2 + 1 bytes, the sign nibble first (Fh negative),
// the digits right-aligned after it.
std::string packed(long long v, int digits) {
    const int size = digits / 2 + 1;
    std::string nibbles(static_cast<std::size_t>(size * 2), '\0');
    nibbles[0] = v < 0 ? 0x0F : 0;
    unsigned long long m = static_cast<unsigned long long>(v < 0 ? -v : v);
    for (int i = size * 2 - 1; i > 0; --i) {
        nibbles[static_cast<std::size_t>(i)] = static_cast<char>(m % 10);
        m /= 10;
    }
    std::string out;
    for (int i = 0; i < size; ++i)
        out.push_back(static_cast<char>((nibbles[2 * static_cast<std::size_t>(i)] << 4) | nibbles[2 * static_cast<std::size_t>(i) + 1]));
    return out;
}

// Checks that for every pair, the encoded order equals the value order (and the
// reverse for a descending component).
template <typename T, typename Raw>
void expect_order_preserved(std::uint8_t type, const std::vector<T>& values, Raw raw) {
    for (bool desc : {false, true}) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            for (std::size_t j = 0; j < values.size(); ++j) {
                const T a = values[i], b = values[j];
                const int want = (a < b) ? -1 : (b < a) ? 1 : 0;
                const int got = sign(compare_keys(enc(type, raw(a), desc), enc(type, raw(b), desc)));
                ASSERT_EQ(got, desc ? -want : want) << "type " << int(type) << " " << a << " vs " << b
                                                     << (desc ? " descending" : "");
            }
        }
    }
}

std::string run_python(const std::string& script) {
    std::string path = ::testing::TempDir() + "ksf_key_script.py";
    std::ofstream(path) << "import sys\nsys.path.insert(0, '" SK_CONFORM_DIR "')\nimport ksf\n" << script;
    std::string out;
    FILE* p = popen(("python3 " + path + " 2>&1").c_str(), "r");
    if (!p) return "popen failed";
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

std::string hex(const std::string& s) {
    static const char* d = "0123456789abcdef";
    std::string h;
    for (unsigned char c : s) {
        h.push_back(d[c >> 4]);
        h.push_back(d[c & 15]);
    }
    return h;
}

}  // namespace

TEST(KsfKeyEncoding, NamedOrdersOfShortAndReal) {
    EXPECT_LT(compare_keys(enc(kTypeShort, raw_of<std::int16_t>(-1)), enc(kTypeShort, raw_of<std::int16_t>(0))), 0);
    EXPECT_LT(compare_keys(enc(kTypeShort, raw_of<std::int16_t>(0)), enc(kTypeShort, raw_of<std::int16_t>(1))), 0);
    EXPECT_EQ(enc(kTypeShort, raw_of<std::int16_t>(1)), std::string("\x80\x01", 2));
    const std::vector<double> reals = {-2.5, -1.0, 0.0, 3.0};
    for (std::size_t i = 0; i + 1 < reals.size(); ++i) {
        EXPECT_LT(compare_keys(enc(kTypeReal, raw_of(reals[i])), enc(kTypeReal, raw_of(reals[i + 1]))), 0);
        EXPECT_GT(compare_keys(enc(kTypeReal, raw_of(reals[i]), true), enc(kTypeReal, raw_of(reals[i + 1]), true)), 0);
    }
    // For a negative REAL the two inversions of a descending component cancel.
    std::string r = raw_of(-2.5);
    std::reverse(r.begin(), r.end());
    EXPECT_EQ(enc(kTypeReal, raw_of(-2.5), true), r);
}

TEST(KsfKeyEncoding, IntegerTypesKeepValueOrder) {
    std::mt19937 rng(1);
    std::vector<std::int16_t> s16 = {-32768, -1, 0, 1, 32767};
    std::vector<std::int32_t> s32 = {INT32_MIN, -65536, -1, 0, 255, 256, INT32_MAX};
    std::vector<std::uint16_t> u16 = {0, 1, 255, 256, 65535};
    std::vector<std::uint32_t> u32 = {0, 1, 255, 256, 0x01000000u, 0xFFFFFFFFu};
    std::vector<std::uint8_t> u8 = {0, 1, 127, 128, 255};
    for (int i = 0; i < 30; ++i) {
        s16.push_back(static_cast<std::int16_t>(rng()));
        s32.push_back(static_cast<std::int32_t>(rng()));
        u16.push_back(static_cast<std::uint16_t>(rng()));
        u32.push_back(static_cast<std::uint32_t>(rng()));
    }
    expect_order_preserved<std::int16_t>(kTypeShort, s16, [](auto v) { return raw_of(v); });
    expect_order_preserved<std::int32_t>(kTypeLong, s32, [](auto v) { return raw_of(v); });
    expect_order_preserved<std::uint16_t>(kTypeUshort, u16, [](auto v) { return raw_of(v); });
    expect_order_preserved<std::uint32_t>(kTypeUlong, u32, [](auto v) { return raw_of(v); });
    expect_order_preserved<int>(kTypeByte, std::vector<int>(u8.begin(), u8.end()),
                                [](int v) { return std::string(1, static_cast<char>(v)); });
}

TEST(KsfKeyEncoding, RealTypesKeepValueOrder) {
    std::mt19937 rng(2);
    std::vector<double> d = {-1e300, -3.5, -1.0, -1e-300, 0.0, 1e-300, 0.5, 1.0, 2.0, 1e300};
    std::vector<float> f = {-1e30f, -2.0f, -0.25f, 0.0f, 0.25f, 7.0f, 1e30f};
    std::uniform_real_distribution<double> dist(-1e6, 1e6);
    for (int i = 0; i < 40; ++i) {
        d.push_back(dist(rng));
        f.push_back(static_cast<float>(dist(rng)));
    }
    expect_order_preserved<double>(kTypeReal, d, [](auto v) { return raw_of(v); });
    expect_order_preserved<float>(kTypeSreal, f, [](auto v) { return raw_of(v); });
}

TEST(KsfKeyEncoding, DecimalKeepsValueOrder) {
    std::mt19937 rng(3);
    std::vector<long long> v = {-99999, -10, -1, 0, 1, 9, 10, 99999};
    for (int i = 0; i < 40; ++i) v.push_back(static_cast<long long>(rng() % 199999) - 99999);
    expect_order_preserved<long long>(kTypeDecimal, v, [](long long x) { return packed(x, 5); });
    // Packed type 0Bh keeps its bytes as stored.
    EXPECT_EQ(enc(0x0B, packed(-5, 5)), packed(-5, 5));
}

TEST(KsfKeyEncoding, StringsCollateAndFoldCase) {
    EXPECT_EQ(enc(kTypeString, "abc ", false, true), enc(kTypeString, "ABC ", false, true));
    EXPECT_NE(enc(kTypeString, "abc "), enc(kTypeString, "ABC "));
    EXPECT_LT(compare_keys(enc(kTypeString, "abc "), enc(kTypeString, "abd ")), 0);
    EXPECT_GT(compare_keys(enc(kTypeString, "abc ", true), enc(kTypeString, "abd ", true)), 0);
    // CSTRING: the bytes after the terminator are not part of the value.
    EXPECT_EQ(enc(kTypeCstring, std::string("ab\0xyz", 6)), std::string("ab\0\0\0\0", 6));
    EXPECT_LT(compare_keys(enc(kTypeCstring, std::string("ab\0zzz", 6)), enc(kTypeCstring, std::string("abc\0\0\0", 6))), 0);
    // PSTRING: the length byte is dropped and the text zero-filled to the field size.
    EXPECT_EQ(enc(kTypePstring, std::string("\x02" "abQQ", 5)), std::string("ab\0\0\0", 5));
    EXPECT_EQ(enc(kTypePstring, std::string("\x02" "ab", 3), false, true), std::string("AB\0", 3));
    // A length byte beyond the field is held to the field.
    EXPECT_EQ(enc(kTypePstring, std::string("\xFF" "abc", 4)), std::string("abc\0", 4));
}

TEST(KsfKeyEncoding, StringsFollowTheCollationTable) {
    sk::rt::reset_locale_defaults();
    EXPECT_LT(compare_keys(enc(kTypeString, "a"), enc(kTypeString, "b")), 0);
    // A collation order that puts 'b' before 'a' reverses their encoded order.
    sk::rt::apply_locale_key("TESCOLSEQ", "ba");
    EXPECT_GT(compare_keys(enc(kTypeString, "a"), enc(kTypeString, "b")), 0);
    EXPECT_GT(compare_keys(enc(kTypeCstring, std::string("a\0", 2)), enc(kTypeCstring, std::string("b\0", 2))), 0);
    sk::rt::reset_locale_defaults();
}

// Every byte, under a locale whose case pairs reach past ASCII and whose
// collation moves the NUL: each text byte is upper-cased (ignoring case) and
// weighed by the ANSI or OEM table, and the fill past a CSTRING's text weighs
// as NUL does.
TEST(KsfKeyEncoding, TextBytesFollowTheLocaleCaseAndWeights) {
    sk::rt::reset_locale_defaults();
    sk::rt::apply_locale_key("TESCASE", "WINDOWS");
    sk::rt::apply_locale_key("TESCOLSEQ", std::string("ba\0", 3));
    const auto want = [](unsigned char c, bool nocase, bool oem) {
        if (nocase) c = sk::rt::upper_char(c);
        return static_cast<char>(oem ? sk::rt::oem_collation_weight(c) : sk::rt::collation_weight(c));
    };
    // The locale must really differ from plain ASCII, or the test proves nothing.
    ASSERT_NE(sk::rt::upper_char(0xE9), 0xE9);
    ASSERT_NE(sk::rt::collation_weight(0), 0);
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<char>(i);
    const KeyComponent c{kTypeString, 0, 256, false};
    const KeyComponent z{kTypeCstring, 0, 4, false};
    for (bool nocase : {false, true}) {
        for (bool oem : {false, true}) {
            std::string out = "x";  // appended after what is already there
            encode_component(c, reinterpret_cast<const std::uint8_t*>(all.data()), nocase, oem, &out);
            ASSERT_EQ(out.size(), 257u);
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(out[static_cast<std::size_t>(i) + 1], want(static_cast<unsigned char>(i), nocase, oem))
                    << "byte " << i << (nocase ? " nocase" : "") << (oem ? " oem" : "");
            out.clear();
            encode_component(z, reinterpret_cast<const std::uint8_t*>("\xE9\0zz"), nocase, oem, &out);
            EXPECT_EQ(out, std::string({want(0xE9, nocase, oem), want(0, nocase, oem), want(0, nocase, oem),
                                        want(0, nocase, oem)}));
        }
    }
    sk::rt::reset_locale_defaults();
}

TEST(KsfKeyEncoding, MultiComponentKeysAndOptionalEmptiness) {
    // Record: STRING(4) at 0, SHORT at 4, CSTRING(3) at 6, LONG at 9.
    KeyLayout key;
    key.attributes = kKeyAttrOptional | kKeyAttrNoCase;
    key.components = {{kTypeString, 0, 4, false}, {kTypeShort, 4, 2, true}, {kTypeCstring, 6, 3, false},
                      {kTypeLong, 9, 4, false}};
    EXPECT_EQ(key_value_length(key), 13u);
    std::string img = "abc " + raw_of<std::int16_t>(5) + std::string("x\0\0", 3) + raw_of<std::int32_t>(-2);
    std::string value;
    ASSERT_TRUE(encode_key_value(key, reinterpret_cast<const std::uint8_t*>(img.data()), img.size(), false, &value));
    EXPECT_EQ(value.size(), 13u);
    EXPECT_EQ(value.substr(0, 4), "ABC ");
    EXPECT_EQ(value.substr(4, 2), std::string("\x7F\xFA", 2));  // 0005 -> 8005 -> inverted
    EXPECT_FALSE(key_is_empty(key, reinterpret_cast<const std::uint8_t*>(img.data()), img.size()));
    std::string blank = "    " + raw_of<std::int16_t>(0) + std::string("\0zz", 3) + raw_of<std::int32_t>(0);
    EXPECT_TRUE(key_is_empty(key, reinterpret_cast<const std::uint8_t*>(blank.data()), blank.size()));
    std::string one_set = blank;
    one_set[12] = 1;
    EXPECT_FALSE(key_is_empty(key, reinterpret_cast<const std::uint8_t*>(one_set.data()), one_set.size()));
    // A component outside the image is refused.
    EXPECT_FALSE(encode_key_value(key, reinterpret_cast<const std::uint8_t*>(img.data()), 12, false, &value));
}

TEST(KsfKeyEncoding, AgreesWithChecker) {
    struct Case { std::uint8_t type; std::string raw; bool desc, nocase; std::string py_extra; };
    const std::vector<Case> cases = {
        {kTypeString, "Hello ", false, true, "string_length=6"},
        {kTypeString, "Hello ", true, false, "string_length=6"},
        {kTypeCstring, std::string("hi\0zz", 5), false, false, "string_length=5"},
        {kTypePstring, std::string("\x03" "abcde", 6), false, true, "string_length=6"},
        {kTypeShort, raw_of<std::int16_t>(-300), false, false, ""},
        {kTypeLong, raw_of<std::int32_t>(123456), true, false, ""},
        {kTypeUshort, raw_of<std::uint16_t>(513), false, false, ""},
        {kTypeUlong, raw_of<std::uint32_t>(0xA1B2C3D4), true, false, ""},
        {kTypeSreal, raw_of(-1.5f), false, false, ""},
        {kTypeReal, raw_of(2.75), false, false, ""},
        {kTypeReal, raw_of(-2.75), true, false, ""},
        {kTypeDecimal, packed(-1234, 7), false, false, "digits=7"},
        {kTypeDecimal, packed(42, 7), true, false, "digits=7"},
        {kTypeByte, "\x9C", true, false, ""},
    };
    std::string script = "import binascii\nout = []\n";
    std::string expect;
    for (const Case& c : cases) {
        script += "f = ksf.FieldDef(type=" + std::to_string(c.type) + ", offset=0, label='F', size=" +
                  std::to_string(c.raw.size()) + (c.py_extra.empty() ? "" : ", " + c.py_extra) + ")\n" +
                  "out.append(ksf.encode_component(f, binascii.unhexlify('" + hex(c.raw) +
                  "'), case_insensitive=" + (c.nocase ? "True" : "False") + ", descending=" +
                  (c.desc ? "True" : "False") + ").hex())\n";
        expect += hex(enc(c.type, c.raw, c.desc, c.nocase)) + "\n";
    }
    script += "print('\\n'.join(out))\n";
    EXPECT_EQ(run_python(script), expect);
}

// --- records built from keys --------------------------------------------------

TEST(KsfRecords, KeyEntriesOfUniqueAndDuplicateKeys) {
    const Id table = Id::of(1), r7 = Id::of(7), r9 = Id::of(9);
    Record unique = key_entry(table, 2, "VAL", r7, false);
    EXPECT_EQ(unique.key(), std::string("\0\0\0\x01\x02VAL", 8));
    EXPECT_EQ(unique.data(), std::string("\0\0\0\x07", 4));
    Record dup7 = key_entry(table, 0, "VAL", r7, true), dup9 = key_entry(table, 0, "VAL", r9, true);
    EXPECT_EQ(dup7.key(), std::string("\0\0\0\x01\x00VAL\0\0\0\x07", 12));
    EXPECT_TRUE(dup7.data().empty());
    EXPECT_LT(compare_keys(dup7.key(), dup9.key()), 0);  // equal values in record-number order
    Id got;
    ASSERT_TRUE(record_number_of(dup9, &got));
    EXPECT_EQ(got.value(), 9u);
    ASSERT_TRUE(record_number_of(unique, &got));
    EXPECT_EQ(got.value(), 7u);
    EXPECT_EQ(record_kind(dup7.key()), RecordKind::kKeyEntry);
}

TEST(KsfRecords, KindsSortAndClassify) {
    const Id table = Id::of(0x00FDFFFF);
    std::vector<Record> recs = {
        table_name_record("LINKDB", Id::of(1)),
        transaction_link_record(Id::of(0x5A5A0001), "c:\\kestrel.tcf"),
        definition_chunk_record(table, 1, "def"),
        counter_record(table, kCounterData, 3, 0),
        data_record(table, Id::of(0xFD000000), "image"),
        Record::of(memo_chunk_key(table, Id::of(5), 0, 258)),
        key_entry(table, 0xF2, "v", Id::of(2), false),
    };
    EXPECT_EQ(record_kind(recs[0].key()), RecordKind::kTableName);
    EXPECT_EQ(record_kind(recs[1].key()), RecordKind::kTransactionLink);
    EXPECT_EQ(record_kind(recs[2].key()), RecordKind::kDefinitionChunk);
    EXPECT_EQ(record_kind(recs[3].key()), RecordKind::kCounter);
    EXPECT_EQ(record_kind(recs[4].key()), RecordKind::kDataRecord);
    EXPECT_EQ(record_kind(recs[5].key()), RecordKind::kMemoChunk);
    EXPECT_EQ(record_kind(recs[6].key()), RecordKind::kKeyEntry);
    EXPECT_EQ(recs[2].key().substr(5), std::string("\x01\x00", 2));        // chunk number low byte first
    EXPECT_EQ(recs[5].key().substr(10), std::string("\x01\x02", 2));       // memo chunk big-endian
    EXPECT_EQ(recs[1].data(), std::string("\x5A\x5A\x00\x01" "c:\\kestrel.tcf", 18) + '\0');
    std::uint32_t entries = 0, mark = 1;
    ASSERT_TRUE(parse_counter(recs[3].data(), &entries, &mark));
    EXPECT_EQ(entries, 3u);
    EXPECT_EQ(mark, 0u);
    // Everything of a table sorts before every table name and the transaction link.
    for (std::size_t i = 2; i < recs.size(); ++i) {
        EXPECT_LT(compare_keys(recs[i].key(), recs[0].key()), 0);
        EXPECT_LT(compare_keys(recs[0].key(), recs[1].key()), 0);
    }
    EXPECT_EQ(record_kind(std::string("\0\0\0\1\xF4", 5)), RecordKind::kUnknown);
    EXPECT_EQ(record_kind(std::string("\xFF\x01", 2)), RecordKind::kUnknown);
}
