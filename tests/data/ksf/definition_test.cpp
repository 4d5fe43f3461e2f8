// The table definition stream (write, compare, read, chunks, declarations) and
// memo chunks.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "data/control_blocks.h"
#include "data/ksf/definition.h"
#include "data/ksf/memo.h"
#include "data/ksf/record.h"

using namespace sk::ksf;
using namespace sk::data;

namespace {

TableDefinition sample_definition() {
    TableDefinition d;
    d.record_length = 140;
    FieldDef loc;
    loc.type = kTypeString;
    loc.offset = 0;
    loc.label = "URL:LOCATION";
    loc.size = 128;
    loc.position = 0;
    loc.string_length = 128;
    FieldDef rating;
    rating.type = kTypeDecimal;
    rating.offset = 128;
    rating.label = "URL:RATING";
    rating.size = 2;
    rating.position = 1;
    rating.digits = 2;
    FieldDef count;
    count.type = kTypeLong;
    count.offset = 130;
    count.label = "URL:COUNT";
    count.size = 4;
    count.position = 2;
    count.extra = 0x1234;
    FieldDef code;
    code.type = kTypeCstring;
    code.offset = 134;
    code.label = "URL:CODE";
    code.size = 6;
    code.position = 3;
    code.string_length = 6;
    code.picture = "@s5";
    d.fields = {loc, rating, count, code};
    MemoDef memo;
    memo.label = "URL:SITEINFO";
    memo.size = 500;
    memo.attributes = 1;
    d.memos = {memo};
    KeyDef k1;
    k1.label = "URL:K_LOCATION";
    k1.attributes = kKeyAttrNoCase | kKeyAttrOptional;
    k1.components = {{0, false}};
    KeyDef k2;
    k2.label = "URL:K_RATING";
    k2.external_name = "";
    k2.attributes = kKeyAttrDuplicates | 0x10;
    k2.components = {{1, true}, {0, false}};
    d.keys = {k1, k2};
    d.version = definition_version(d);
    return d;
}

std::string run_python(const std::string& script) {
    std::string path = ::testing::TempDir() + "ksf_definition_script.py";
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

TEST(KsfDefinition, StreamLayoutByteForByte) {
    TableDefinition d;
    d.record_length = 10;
    FieldDef f;
    f.type = kTypeString;
    f.offset = 2;
    f.label = "A";
    f.size = 8;
    f.string_length = 8;
    f.picture = std::string();
    FieldDef g;
    g.type = kTypeShort;
    g.offset = 0;
    g.label = std::nullopt;
    g.size = 2;
    g.position = 1;
    d.fields = {f, g};
    MemoDef m;
    m.label = "M";
    m.size = 300;
    m.attributes = 4;
    d.memos = {m};
    KeyDef k;
    k.label = "K";
    k.attributes = 5;
    k.components = {{1, true}};
    d.keys = {k};
    d.version = definition_version(d);
    EXPECT_EQ(d.version, 2);  // a memo with attribute bit 2
    const std::string want = std::string(
        "\x02\x00" "\x0A\x00" "\x02\x00" "\x01\x00" "\x01\x00"
        "\x12" "\x02\x00" "A\x00" "\x01\x00" "\x08\x00" "\x00\x00" "\x00\x00" "\x08\x00" "\x00\x00"
        "\x02" "\x00\x00" "\x00\x01" "\x01\x00" "\x02\x00" "\x00\x00" "\x01\x00"
        "\x00\x00" "M\x00" "\x2C\x01" "\x04\x00"
        "K\x00" "\x00\x01" "\x05" "\x01\x00" "\x01\x00" "\x01\x00", 59);
    EXPECT_EQ(hex(write_definition(d)), hex(want));
    TableDefinition back;
    ASSERT_EQ(read_definition(bytes_of(want), want.size(), &back), 0);
    EXPECT_EQ(back, d);
}

TEST(KsfDefinition, RoundTripAndCompareIgnoresOnlyKeyBitFour) {
    TableDefinition d = sample_definition();
    std::string s = write_definition(d);
    s.append(100, '\0');  // the rest of the last chunk
    TableDefinition back;
    ASSERT_EQ(read_definition(bytes_of(s), s.size(), &back), 0);
    EXPECT_EQ(back, d);
    TableDefinition other = d;
    other.keys[1].attributes &= ~0x10;
    EXPECT_TRUE(definitions_match(d, other));
    other.keys[1].attributes &= ~kKeyAttrDuplicates;
    EXPECT_FALSE(definitions_match(d, other));
    other = d;
    other.fields[3].picture = "@s6";
    EXPECT_FALSE(definitions_match(d, other));
    other = d;
    other.keys[1].external_name = std::nullopt;  // absent is not empty
    EXPECT_FALSE(definitions_match(d, other));
    other = d;
    other.fields[2].extra = 0;
    EXPECT_FALSE(definitions_match(d, other));
}

TEST(KsfDefinition, ChunksOf512AndMissingChunksReadAsZeros) {
    std::string s(1300, 'x');
    auto chunks = definition_chunks(s);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].size(), 512u);
    EXPECT_EQ(chunks[2].size(), 276u);
    std::map<std::uint16_t, std::string> by_number = {{0, chunks[0]}, {2, chunks[2]}};
    std::string joined = join_definition_chunks(by_number);
    ASSERT_EQ(joined.size(), 1300u);
    EXPECT_EQ(joined.substr(512, 512), std::string(512, '\0'));
    by_number[1] = chunks[1];
    EXPECT_EQ(join_definition_chunks(by_number), s);
    // The records carry the chunk number low byte first.
    Record r = definition_chunk_record(Id::of(3), 2, chunks[2]);
    EXPECT_EQ(r.key(), std::string("\0\0\0\x03\xFA\x02\x00", 7));
}

TEST(KsfDefinition, CheckerParsesOurStream) {
    const std::string s = write_definition(sample_definition());
    const std::string script =
        "d = ksf.parse_definition(bytes.fromhex('" + hex(s) + "'))\n"
        "print(d.version, d.record_length, [(f.type, f.offset, f.label, f.size, f.extra, f.position, f.digits,"
        " f.string_length, f.picture) for f in d.fields])\n"
        "print([(m.label, m.size, m.attributes) for m in d.memos])\n"
        "print([(k.label, k.external_name, k.attributes, [(c.position, c.descending) for c in k.components])"
        " for k in d.keys])\n"
        "print(ksf.encode_definition(d).hex() == '" + hex(s) + "', ksf.definition_problems(d))\n";
    EXPECT_EQ(run_python(script),
              "1 140 [(18, 0, 'URL:LOCATION', 128, 0, 0, 0, 128, ''), (10, 128, 'URL:RATING', 2, 0, 1, 2, 0, None), "
              "(6, 130, 'URL:COUNT', 4, 4660, 2, 0, 0, None), (19, 134, 'URL:CODE', 6, 0, 3, 0, 6, '@s5')]\n"
              "[('URL:SITEINFO', 500, 1)]\n"
              "[('URL:K_LOCATION', None, 6, [(0, False)]), ('URL:K_RATING', '', 17, [(1, True), (0, False)])]\n"
              "True []\n");
}

TEST(KsfDefinition, DeclarationBecomesDefinitionAndOversizeIsRefused) {
    FieldStreamBuilder b;
    b.string(0, "URL:LOCATION", 100).decimal(100, "URL:RATING", 2, 0).plain(102, "URL:COUNT", kTypeLong);
    const std::vector<std::uint8_t> stream = b.bytes();
    static const std::int32_t loc_components[] = {1};
    static const std::int32_t rating_components[] = {~1, 1};
    KeyControlBlock k1, k2;
    k1.label = "URL:K_LOCATION";
    k1.label_length = 14;
    k1.attributes = kKeyNoCase | kKeyNotMaintained;
    k1.component_count = 1;
    k1.components = loc_components;
    k2.label = "URL:K_RATING";
    k2.label_length = 12;
    k2.attributes = kKeyDuplicates;
    k2.component_count = 2;
    k2.components = rating_components;
    KeyControlBlock* keys[] = {&k1, &k2};
    MemoControlBlock memo;
    memo.label = "URL:SITEINFO";
    memo.label_length = 12;
    memo.size = 500;
    memo.attributes = 1;
    MemoControlBlock* memos[] = {&memo};
    FileControlBlock file;
    file.record_length = 106;
    file.fields = stream.data();
    file.fields_size = static_cast<std::uint32_t>(stream.size());
    file.key_count = 2;
    file.keys = keys;
    file.memo_count = 1;
    file.memos = memos;
    TableDefinition d;
    ASSERT_EQ(definition_from_declaration(file, &d), 0);
    EXPECT_EQ(d.version, 1);
    ASSERT_EQ(d.fields.size(), 3u);
    EXPECT_EQ(d.fields[1].type, kTypeDecimal);
    EXPECT_EQ(d.fields[1].size, 2);
    EXPECT_EQ(d.fields[1].position, 1);
    EXPECT_EQ(d.keys[0].attributes, kKeyAttrNoCase);  // the not-maintained bit is not stored
    ASSERT_EQ(d.keys[1].components.size(), 2u);
    EXPECT_EQ(d.keys[1].components[0].field, 1);
    EXPECT_TRUE(d.keys[1].components[0].descending);
    EXPECT_EQ(d.keys[1].components[1].field, 0);
    EXPECT_EQ(d.memos[0].label, "URL:SITEINFO");
    KeyLayout layout;
    ASSERT_TRUE(key_layout(d, 1, &layout));
    EXPECT_EQ(key_value_length(layout), 102u);
    EXPECT_TRUE(layout.duplicates());

    // A record that could never sit in a page is refused at declaration time.
    FieldStreamBuilder big;
    big.string(0, "BIG", 15068);
    const std::vector<std::uint8_t> big_stream = big.bytes();
    FileControlBlock huge;
    huge.record_length = 15068;
    huge.fields = big_stream.data();
    EXPECT_EQ(definition_from_declaration(huge, &d), 47);
    huge.record_length = 15067;
    FieldStreamBuilder fits;
    fits.string(0, "BIG", 15067);
    const std::vector<std::uint8_t> fits_stream = fits.bytes();
    huge.fields = fits_stream.data();
    EXPECT_EQ(definition_from_declaration(huge, &d), 0);
    // A key naming a field that does not exist.
    static const std::int32_t bad_components[] = {9};
    k1.components = bad_components;
    EXPECT_EQ(definition_from_declaration(file, &d), 47);
}

TEST(KsfDefinition, MutatedStreamsNeverCrashTheReader) {
    const std::string base = write_definition(sample_definition());
    std::mt19937 rng(77);
    int refused = 0;
    for (int t = 0; t < 100000; ++t) {
        std::string s = base;
        for (int f = 0, n = 1 + static_cast<int>(rng() % 4); f < n; ++f) s[rng() % s.size()] = static_cast<char>(rng());
        if (rng() % 5 == 0) s.resize(rng() % s.size());
        TableDefinition d;
        if (read_definition(bytes_of(s), s.size(), &d) != 0) {
            ++refused;
        } else {
            for (std::size_t k = 0; k < d.keys.size(); ++k) {
                KeyLayout layout;
                EXPECT_TRUE(key_layout(d, k, &layout));
            }
        }
    }
    EXPECT_GT(refused, 1000);
}

// --- memos ----------------------------------------------------------------------

TEST(KsfMemo, ChunksAt256And257Characters) {
    const Id t = Id::of(1), r = Id::of(2);
    auto c256 = memo_chunk_records(t, r, 0, std::string(256, 'a'));
    ASSERT_EQ(c256.size(), 1u);
    EXPECT_EQ(c256[0].data().size(), 260u);
    EXPECT_EQ(c256[0].data().substr(0, 4), std::string("\x00\x01\x00\x00", 4));
    EXPECT_EQ(c256[0].key(), std::string("\0\0\0\x01\xFC\0\0\0\x02\x00\x00\x00", 12));
    auto c257 = memo_chunk_records(t, r, 3, std::string(256, 'a') + "z");
    ASSERT_EQ(c257.size(), 2u);
    EXPECT_EQ(c257[1].data(), "z");
    EXPECT_EQ(c257[1].key(), std::string("\0\0\0\x01\xFC\0\0\0\x02\x03\x00\x01", 12));
    std::string text;
    ASSERT_EQ(assemble_memo({c257[0].data(), c257[1].data()}, &text), 0);
    EXPECT_EQ(text, std::string(256, 'a') + "z");
    auto empty = memo_chunk_records(t, r, 0, "");
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].data(), std::string(4, '\0'));
    ASSERT_EQ(assemble_memo({empty[0].data()}, &text), 0);
    EXPECT_EQ(text, "");
    ASSERT_EQ(assemble_memo({}, &text), 0);
}

TEST(KsfMemo, InconsistentChunksAreRefused) {
    std::string text;
    const std::string head = std::string("\x05\x00\x00\x00", 4);
    EXPECT_EQ(assemble_memo({std::string_view("\x05\x00", 2)}, &text), 36);   // no length
    EXPECT_EQ(assemble_memo({head + "abcd"}, &text), 36);                      // short of the length
    EXPECT_EQ(assemble_memo({head + "abcdef"}, &text), 36);                    // beyond the length
    std::string chunk0 = std::string("\x05\x01\x00\x00", 4) + "ab";
    EXPECT_EQ(assemble_memo({chunk0, std::string(259, 'c')}, &text), 36);      // short chunk before the last
    std::string huge = std::string("\xFF\xFF\xFF\x7F", 4);
    EXPECT_EQ(assemble_memo({huge}, &text), 36);
    EXPECT_EQ(assemble_memo({head + "abcde"}, &text), 0);
    EXPECT_EQ(text, "abcde");
}
