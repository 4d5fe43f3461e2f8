// A table built entirely with our record, key, definition, memo and page
// codecs, laid out as a file and handed to the independent checker.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "data/control_blocks.h"
#include "data/ksf/definition.h"
#include "data/ksf/layout.h"
#include "data/ksf/memo.h"
#include "data/ksf/page_tree.h"
#include "data/ksf/record.h"
#include "platform/file.h"

using namespace sk::ksf;
using namespace sk::data;

namespace {

std::string run(const std::string& command, int* status) {
    std::string out;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return "popen failed";
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    *status = pclose(p);
    return out;
}

FieldDef field(std::uint8_t type, std::uint16_t offset, const char* label, std::uint16_t size, std::uint16_t pos) {
    FieldDef f;
    f.type = type;
    f.offset = offset;
    f.label = label;
    f.size = size;
    f.position = pos;
    if (has_string_size(type)) f.string_length = size;
    if (type == kTypeDecimal) f.digits = static_cast<std::uint8_t>((size - 1) * 2);
    return f;
}

KeyDef key(const char* label, std::uint8_t attributes, std::vector<KeyComponentDef> components) {
    KeyDef k;
    k.label = label;
    k.attributes = attributes;
    k.components = std::move(components);
    return k;
}

}  // namespace

TEST(KsfLayout, FileBuiltFromOurCodecsPassesTheIndependentCheck) {
    TableDefinition def;
    def.record_length = 60;
    def.fields = {field(kTypeString, 0, "SIT:LOCATION", 40, 0), field(kTypeDecimal, 40, "SIT:RATING", 2, 1),
                  field(kTypeLong, 42, "SIT:COUNT", 4, 2), field(kTypeString, 46, "SIT:KEYWORD", 10, 3),
                  field(kTypeShort, 56, "SIT:SHORT", 2, 4), field(kTypeUshort, 58, "SIT:USHORT", 2, 5)};
    MemoDef memo;
    memo.label = "SIT:NOTES";
    memo.size = 2000;
    memo.attributes = 1;
    def.memos = {memo};
    def.keys = {key("SIT:K_LOCATION", kKeyAttrNoCase, {{0, false}}),
                key("SIT:K_RATING", kKeyAttrDuplicates, {{1, true}, {0, false}}),
                key("SIT:K_KEYWORD", kKeyAttrDuplicates | kKeyAttrOptional | kKeyAttrNoCase, {{3, false}}),
                key("SIT:K_NUMBERS", kKeyAttrDuplicates, {{2, true}, {4, false}, {5, true}})};
    def.version = definition_version(def);
    ASSERT_EQ(check_definition_fits(def), 0);
    std::vector<KeyLayout> layouts(def.keys.size());
    for (std::size_t k = 0; k < layouts.size(); ++k) ASSERT_TRUE(key_layout(def, k, &layouts[k]));

    Header header;
    MemoryPageStore store;
    PageTree tree(store);
    Id table;
    ASSERT_TRUE(header.allocate_id(table.bytes));
    ASSERT_EQ(tree.insert(table_name_record("SITES", table)), 0);
    const auto chunks = definition_chunks(write_definition(def));
    for (std::size_t c = 0; c < chunks.size(); ++c)
        ASSERT_EQ(tree.insert(definition_chunk_record(table, static_cast<std::uint16_t>(c), chunks[c])), 0);

    std::mt19937 rng(2024);
    std::vector<std::uint32_t> key_counts(def.keys.size());
    const int n = 1500;
    struct Kept { Id recno; std::string img; std::size_t memo_len; };
    std::vector<Kept> kept;
    for (int i = 0; i < n; ++i) {
        Id recno;
        ASSERT_TRUE(header.allocate_id(recno.bytes));
        std::string img(def.record_length, ' ');
        std::string loc = (i % 3 ? "http://site" : "HTTP://Other") + std::to_string(i) + ".example/";
        img.replace(0, loc.size(), loc);
        const int rating = static_cast<int>(rng() % 100);
        img[40] = static_cast<char>(((rating / 10) & 0x0F));
        img[41] = static_cast<char>(((rating % 10) << 4));
        if (rng() % 2) img[40] = static_cast<char>(img[40] | 0xF0);  // negative
        const std::int32_t count = static_cast<std::int32_t>(rng() % 2000) - 1000;
        std::memcpy(&img[42], &count, 4);
        if (rng() % 3) img.replace(46, 4, rng() % 2 ? "news" : "NEWS");
        const std::int16_t s = static_cast<std::int16_t>(rng());
        const std::uint16_t u = static_cast<std::uint16_t>(rng());
        std::memcpy(&img[56], &s, 2);
        std::memcpy(&img[58], &u, 2);
        ASSERT_EQ(tree.insert(data_record(table, recno, img)), 0);
        for (std::size_t k = 0; k < layouts.size(); ++k) {
            if (layouts[k].optional() && key_is_empty(layouts[k], bytes_of(img), img.size())) continue;
            std::string value;
            ASSERT_TRUE(encode_key_value(layouts[k], bytes_of(img), img.size(), false, &value));
            ASSERT_EQ(tree.insert(key_entry(table, static_cast<std::uint8_t>(k), value, recno, layouts[k].duplicates())), 0);
            ++key_counts[k];
        }
        const std::size_t memo_len = rng() % 4 == 0 ? 0 : rng() % 3 == 0 ? 256 + rng() % 2 : rng() % 1500;
        if (memo_len) {
            for (const Record& r : memo_chunk_records(table, recno, 0, std::string(memo_len, 'm'))) {
                ASSERT_EQ(tree.insert(r), 0);
            }
        }
        kept.push_back({recno, img, memo_len});
    }
    // Delete every third record with its entries and memo, so that leaves empty
    // and separators refresh before the file is written.
    std::uint32_t data_count = n;
    for (std::size_t i = 0; i < kept.size(); i += 3) {
        const Kept& k = kept[i];
        ASSERT_EQ(tree.remove(data_record_key(table, k.recno)), 0);
        --data_count;
        for (std::size_t j = 0; j < layouts.size(); ++j) {
            if (layouts[j].optional() && key_is_empty(layouts[j], bytes_of(k.img), k.img.size())) continue;
            std::string value;
            ASSERT_TRUE(encode_key_value(layouts[j], bytes_of(k.img), k.img.size(), false, &value));
            ASSERT_EQ(tree.remove(key_entry_key(table, static_cast<std::uint8_t>(j), value, k.recno,
                                                layouts[j].duplicates())), 0);
            --key_counts[j];
        }
        if (k.memo_len) {
            for (const Record& r : memo_chunk_records(table, k.recno, 0, std::string(k.memo_len, 'm'))) {
                ASSERT_EQ(tree.remove(r.key()), 0);
            }
        }
    }
    ASSERT_EQ(tree.insert(counter_record(table, kCounterData, data_count, 0)), 0);
    for (std::size_t k = 0; k < key_counts.size(); ++k)
        ASSERT_EQ(tree.insert(counter_record(table, static_cast<std::uint8_t>(k), key_counts[k], 0)), 0);
    std::vector<Record> all;
    ASSERT_TRUE(tree.check(&all).empty());
    ASSERT_GE(tree.depth(), 3);

    std::vector<std::uint8_t> image;
    ASSERT_EQ(layout_file(store, &header, &image), 0);
    EXPECT_EQ(header.change_counter(), 1u);
    EXPECT_EQ(header.allocated_end(), image.size());
    const std::string path = ::testing::TempDir() + "ksf_layout.ksf";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                 static_cast<std::streamsize>(image.size()));
    int status = 0;
    const std::string report = run("python3 " SK_CONFORM_DIR "/ksf.py check " + path, &status);
    EXPECT_EQ(status, 0) << report;

    // And our own reader sees the same records.
    sk::platform::File f;
    ASSERT_TRUE(f.open(path, sk::platform::kAccessRead | sk::platform::kDenyNone));
    FilePageStore file_store(f);
    ASSERT_EQ(file_store.open(), 0);
    PageTree file_tree(file_store);
    std::vector<Record> back;
    auto defects = file_tree.check(&back);
    EXPECT_TRUE(defects.empty());
    EXPECT_EQ(back, all);
}
