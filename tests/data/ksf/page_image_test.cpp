// Byte-level tests of the header, the block rule, the run-length code, the
// record area and whole page images, with the independent checker as a second
// opinion where it can read what we wrote.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "data/ksf/header.h"
#include "data/ksf/page_image.h"

using namespace sk::ksf;

namespace {

std::string run_python(const std::string& script) {
    std::string path = ::testing::TempDir() + "ksf_page_image_script.py";
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

std::string write_temp(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::string path = ::testing::TempDir() + name;
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
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

std::vector<std::uint8_t> decode_ok(const std::vector<std::uint8_t>& code, std::size_t expected) {
    std::vector<std::uint8_t> out;
    EXPECT_TRUE(rle_decode(code.data(), code.size(), expected, &out));
    return out;
}

}  // namespace

// --- header and block rule --------------------------------------------------

TEST(KsfHeader, FreshHeaderLayout) {
    Header h;
    const std::uint8_t* p = h.data();
    EXPECT_EQ(get_le32(p), 0u);
    EXPECT_EQ(get_le16(p + 4), 0x200);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 0x0E), 4), "kEsT");
    for (std::size_t i = 0x12; i < kHeaderSize; ++i) ASSERT_EQ(p[i], 0) << i;
    EXPECT_EQ(h.allocated_end(), 0x200u);
    EXPECT_TRUE(h.blocks_consistent());
}

TEST(KsfHeader, ParseAcceptsEmptyRejectsShortAndBadSignature) {
    Header h;
    h.set_change_counter(7);
    std::array<std::uint8_t, 512> raw{};
    EXPECT_EQ(h.parse(raw.data(), 0), 0);
    EXPECT_EQ(h.change_counter(), 0u);  // an empty file is a new file
    Header good;
    good.set_change_counter(5);
    std::memcpy(raw.data(), good.data(), 512);
    for (std::size_t n : {1u, 100u, 511u}) EXPECT_EQ(h.parse(raw.data(), n), 1) << n;
    EXPECT_EQ(h.parse(raw.data(), 512), 0);
    EXPECT_EQ(h.change_counter(), 5u);
    raw[0x11] = 'S';
    EXPECT_EQ(h.parse(raw.data(), 512), 1);
    EXPECT_EQ(h.change_counter(), 5u);  // unchanged by the failed parse
}

TEST(KsfHeader, FieldsAtTheirOffsetsAndIdentifierBigEndian) {
    Header h;
    h.set_journal(0x1234, 0x5678);
    h.set_root(kNoPage);
    h.set_change_counter(0x01020304);
    h.set_identifier(0x000000FF);
    std::uint8_t id[4];
    ASSERT_TRUE(h.allocate_id(id));
    const std::uint8_t* p = h.data();
    EXPECT_EQ(get_le32(p + 6), 0x1234u);
    EXPECT_EQ(get_le32(p + 0x0A), 0x5678u);
    EXPECT_EQ(p[0x18], 0x04);
    EXPECT_EQ(get_le32(p + 0x1C), 0xFFFFFFFFu);
    // The carry runs from the last byte towards the first.
    EXPECT_EQ(p[0x14], 0x00);
    EXPECT_EQ(p[0x15], 0x00);
    EXPECT_EQ(p[0x16], 0x01);
    EXPECT_EQ(p[0x17], 0x00);
    EXPECT_EQ(std::vector<std::uint8_t>(id, id + 4), (std::vector<std::uint8_t>{0, 0, 1, 0}));
}

TEST(KsfHeader, IdentifierNeverReachesTableNameRange) {
    Header h;
    h.set_identifier(0xFDFFFFFE);
    std::uint8_t id[4];
    EXPECT_TRUE(h.allocate_id(id));
    EXPECT_EQ(h.identifier(), 0xFDFFFFFFu);
    EXPECT_FALSE(h.allocate_id(id));
    EXPECT_EQ(h.identifier(), 0xFDFFFFFFu);
}

TEST(KsfHeader, BlockRuleGivesSizeClassAndAllocatedEnd) {
    Header h;
    h.set_block(1, 0, 3);     // three 1-unit pages at 0, 1, 2
    h.set_block(2, 3, 7);     // two 2-unit pages at 3, 5
    h.set_block(59, 7, 66);   // one 59-unit page
    for (unsigned i = 3; i < 59; ++i) h.set_block(i, 7, 7);
    EXPECT_TRUE(h.blocks_consistent());
    EXPECT_EQ(h.class_of(0), 1u);
    EXPECT_EQ(h.class_of(2), 1u);
    EXPECT_EQ(h.page_size(5), 512u);
    EXPECT_EQ(h.page_size(7), 59u * 256u);
    EXPECT_EQ(h.class_of(66), 0u);
    EXPECT_EQ(h.class_of(-1), 0u);
    EXPECT_EQ(h.highest_block(), 59u);
    EXPECT_EQ(h.allocated_end(), 66u * 256u + 512u);
    EXPECT_EQ(page_offset(3), 3u * 256u + 512u);

    Header bad = h;
    bad.set_block(2, 3, 6);  // not a whole number of 2-unit pages
    EXPECT_FALSE(bad.blocks_consistent());
    bad = h;
    bad.set_block(2, 2, 6);  // overlaps block 1
    EXPECT_FALSE(bad.blocks_consistent());
    bad = h;
    bad.set_block(0, 0, 1);  // block 0 is never used
    EXPECT_FALSE(bad.blocks_consistent());
}

// --- run-length code ----------------------------------------------------------

TEST(KsfRunLength, TwoHundredEqualBytesAreLiteralThenC7_01) {
    std::vector<std::uint8_t> data(200, 0x41);
    auto code = rle_encode(data.data(), data.size());
    EXPECT_EQ(code, (std::vector<std::uint8_t>{0x01, 0x41, 0xC7, 0x01}));
    EXPECT_EQ(decode_ok(code, 200), data);
}

TEST(KsfRunLength, CountsUseSevenBitGroups) {
    std::vector<std::uint8_t> out;
    append_count(&out, 0x7F);
    append_count(&out, 0x80);
    append_count(&out, 16384 + 5);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0x7F, 0x80, 0x01, 0x85, 0x80, 0x01}));
    std::size_t pos = 0;
    std::uint32_t v = 0;
    ASSERT_TRUE(read_count(out.data(), out.size(), &pos, &v));
    EXPECT_EQ(v, 0x7Fu);
    ASSERT_TRUE(read_count(out.data(), out.size(), &pos, &v));
    EXPECT_EQ(v, 0x80u);
    ASSERT_TRUE(read_count(out.data(), out.size(), &pos, &v));
    EXPECT_EQ(v, 16389u);
    EXPECT_EQ(pos, out.size());
    EXPECT_FALSE(read_count(out.data(), 1 + 1, &(pos = 1), &v));  // continuation cut off
}

TEST(KsfRunLength, DecoderRefusesMalformedCodes) {
    std::vector<std::uint8_t> out;
    const std::vector<std::vector<std::uint8_t>> bad = {
        {0x00, 0x05},              // repeat with nothing output yet
        {0x02, 0x41},              // literal runs past the input
        {0x01, 0x41, 0x09},        // repeat runs past the expected length (5)
        {0x01, 0x41, 0x03, 0x00},  // bytes left over after the output is complete
        {0x01, 0x41},              // input ends before the output is complete
    };
    for (const auto& code : bad) EXPECT_FALSE(rle_decode(code.data(), code.size(), 5, &out));
}

TEST(KsfRunLength, RandomRoundTripsAndAgreesWithChecker) {
    std::mt19937 rng(12345);
    std::string script = "import binascii\n";
    for (int t = 0; t < 200; ++t) {
        std::vector<std::uint8_t> data(rng() % 3000);
        std::uint8_t b = 0;
        for (auto& c : data) {
            if (rng() % 8 == 0) b = static_cast<std::uint8_t>(rng() % 4);
            c = (rng() % 3 == 0) ? static_cast<std::uint8_t>(rng()) : b;
        }
        auto code = rle_encode(data.data(), data.size());
        ASSERT_EQ(decode_ok(code, data.size()), data) << "case " << t;
        if (t < 20) {
            std::string c(code.begin(), code.end()), d(data.begin(), data.end());
            script += "assert ksf.rle_decode(binascii.unhexlify('" + hex(c) + "'), " + std::to_string(d.size()) +
                      ") == binascii.unhexlify('" + hex(d) + "')\n";
        }
    }
    script += "print('ok')\n";
    EXPECT_EQ(run_python(script), "ok\n");
}

// --- record area ----------------------------------------------------------------

TEST(KsfRecordArea, PrefixSharingIsCappedAt63) {
    std::string common(70, 'x');
    std::vector<Record> recs = {Record::of(common + "a", "D1"), Record::of(common + "b", "D2")};
    std::vector<std::uint8_t> area;
    encode_record_area(recs, &area);
    // First record: flag C0h (both lengths, nothing shared), 73, 71, the bytes.
    ASSERT_GE(area.size(), 5u + 73u);
    EXPECT_EQ(area[0], 0xC0);
    EXPECT_EQ(get_le16(&area[1]), 73u);
    EXPECT_EQ(get_le16(&area[3]), 71u);
    // Second record: same lengths, 63 shared, then 10 bytes.
    const std::size_t second = 5 + 73;
    EXPECT_EQ(area[second], 63);
    EXPECT_EQ(area.size(), second + 1 + 10);
    EXPECT_EQ(std::string(area.begin() + second + 1, area.end()), std::string(7, 'x') + "bD2");
    std::vector<Record> back;
    ASSERT_TRUE(decode_record_area(area.data(), area.size(), 2, &back));
    EXPECT_EQ(back, recs);
}

TEST(KsfRecordArea, LengthsWrittenOnlyWhenTheyChange) {
    std::vector<Record> recs = {Record::of("AB", "12"), Record::of("AC", "34"), Record::of("ACD", "5"),
                                Record::of("", "")};
    std::vector<std::uint8_t> area;
    encode_record_area(recs, &area);
    EXPECT_EQ(area, (std::vector<std::uint8_t>{0xC0, 4, 0, 2, 0, 'A', 'B', '1', '2',  //
                                               0x01, 'C', '3', '4',                    //
                                               0x42, 3, 0, 'D', '5',                   //
                                               0xC0, 0, 0, 0, 0}));
    std::vector<Record> back;
    ASSERT_TRUE(decode_record_area(area.data(), area.size(), recs.size(), &back));
    EXPECT_EQ(back, recs);
    EXPECT_FALSE(decode_record_area(area.data(), area.size(), recs.size() - 1, &back));  // bytes left
    EXPECT_FALSE(decode_record_area(area.data(), area.size() - 1, recs.size(), &back));
}

// --- page images ------------------------------------------------------------------

namespace {

PageContent leaf_of(std::vector<Record> recs) {
    PageContent p;
    p.level = 0;
    p.records = std::move(recs);
    p.estimated = page_estimate(p.records, 0);
    p.own_offset = 0x200;
    return p;
}

}  // namespace

TEST(KsfPageImage, RepetitiveLeafIsCompressedAndPadded) {
    std::vector<Record> recs;
    for (int i = 0; i < 10; ++i) recs.push_back(Record::of(std::string("K") + char('0' + i), std::string(100, ' ')));
    PageContent p = leaf_of(recs);
    std::vector<std::uint8_t> img;
    PageImageInfo info;
    ASSERT_EQ(build_page_image(p, &img, &info), 0);
    EXPECT_TRUE(info.compressed);
    EXPECT_LT(info.stored, info.expanded);
    EXPECT_EQ(img.size(), roundup256(info.stored));
    EXPECT_EQ(get_le16(&img[4]), info.stored);
    EXPECT_EQ(get_le16(&img[6]), info.expanded);
    EXPECT_EQ(get_le16(&img[8]), p.estimated);
    EXPECT_EQ(get_le16(&img[10]), 10u);
    EXPECT_EQ(img[12], 0);
    for (std::size_t i = info.stored; i < img.size(); ++i) ASSERT_EQ(img[i], 0xB0) << i;
    PageContent back;
    ASSERT_EQ(decode_page_image(img.data(), img.size(), &back), kPageOk);
    EXPECT_EQ(back.records, recs);
    EXPECT_EQ(back.estimated, p.estimated);
}

TEST(KsfPageImage, StoredPlainWhenCompressionSavesNoUnit) {
    // About 230 bytes of area of which a short run compresses: the compressed page
    // would still need one 256-byte unit, so it is stored plain.
    std::string data(150, 'q');
    std::mt19937 rng(7);
    std::string noise;
    for (int i = 0; i < 60; ++i) noise.push_back(static_cast<char>('a' + rng() % 26));
    PageContent p = leaf_of({Record::of("KEY", noise + data)});
    std::vector<std::uint8_t> img;
    PageImageInfo info;
    ASSERT_EQ(build_page_image(p, &img, &info), 0);
    EXPECT_FALSE(info.compressed);
    EXPECT_EQ(info.stored, info.expanded);
    EXPECT_EQ(img.size(), 256u);
    // Compressed it would have been smaller, only not by a unit.
    std::vector<std::uint8_t> area;
    encode_record_area(p.records, &area);
    EXPECT_LT(rle_encode(area.data(), area.size()).size(), area.size());
}

TEST(KsfPageImage, IndexPageCarriesChildReferences) {
    PageContent p;
    p.level = 2;
    p.records = {Record::of("alpha"), Record::of("beta")};
    p.children = {17, 0x01020304};
    p.estimated = page_estimate(p.records, 2);
    EXPECT_EQ(p.estimated, 13u + 8u + 10u + 9u);
    std::vector<std::uint8_t> img;
    ASSERT_EQ(build_page_image(p, &img), 0);
    EXPECT_EQ(get_le32(&img[13]), 17u);
    EXPECT_EQ(get_le32(&img[17]), 0x01020304u);
    EXPECT_EQ(img[12], 2);
    PageContent back;
    ASSERT_EQ(decode_page_image(img.data(), img.size(), &back), kPageOk);
    EXPECT_EQ(back.children, p.children);
    EXPECT_EQ(back.records, p.records);
}

TEST(KsfPageImage, RefusesEstimateBelowExpandedAndOversizePages) {
    PageContent p = leaf_of({Record::of("K", "v")});
    p.estimated = 13 + 2;
    std::vector<std::uint8_t> img;
    EXPECT_EQ(build_page_image(p, &img), 1664);
    std::mt19937 rng(3);
    std::string big;
    for (int i = 0; i < 15200; ++i) big.push_back(static_cast<char>(rng()));
    PageContent huge = leaf_of({Record::of("K", big)});
    EXPECT_EQ(build_page_image(huge, &img), 1683);
}

TEST(KsfPageImage, DecoderChecksSizeClassAndRecordEnd) {
    PageContent p = leaf_of({Record::of("K1", "a"), Record::of("K2", "b")});
    std::vector<std::uint8_t> img;
    ASSERT_EQ(build_page_image(p, &img), 0);
    PageContent back;
    std::vector<std::uint8_t> longer = img;
    longer.resize(512, 0xB0);
    EXPECT_EQ(decode_page_image(longer.data(), longer.size(), &back), kPageWrongSize);
    EXPECT_EQ(decode_page_image(longer.data(), longer.size(), &back, nullptr, true), kPageOk);
    std::vector<std::uint8_t> more = img;
    put_le16(&more[10], 3);  // claims a third record
    EXPECT_EQ(decode_page_image(more.data(), more.size(), &back), kPageWrongLength);
    std::vector<std::uint8_t> fewer = img;
    put_le16(&fewer[10], 1);  // records end before the expanded length
    EXPECT_EQ(decode_page_image(fewer.data(), fewer.size(), &back), kPageWrongLength);
}

TEST(KsfPageImage, CheckerReadsOurPagesAlike) {
    std::mt19937 rng(99);
    std::string script = "import binascii\n";
    for (int t = 0; t < 12; ++t) {
        std::vector<Record> recs;
        std::string key = "\x00\x00\x00\x01\xF3";
        const int n = 1 + static_cast<int>(rng() % 40);
        for (int i = 0; i < n; ++i) {
            key += static_cast<char>('A' + i);
            std::string data(rng() % 300, static_cast<char>(rng() % 3 ? ' ' : 'z'));
            recs.push_back(Record::of(key, data));
        }
        PageContent p = leaf_of(recs);
        std::vector<std::uint8_t> img;
        PageImageInfo info;
        ASSERT_EQ(build_page_image(p, &img, &info), 0);
        std::string path = write_temp("ksf_page_" + std::to_string(t) + ".bin", img);
        std::string expect;
        for (const Record& r : recs) expect += hex(std::string(r.key())) + ":" + hex(std::string(r.data())) + ",";
        script += "raw = open('" + path + "', 'rb').read()\n"
                  "pg = ksf.parse_page(raw, 0, len(raw))\n"
                  "got = ''.join(r.key.hex() + ':' + r.value.hex() + ',' for r in pg.records)\n"
                  "assert not pg.problems, pg.problems\n"
                  "assert (pg.stored, pg.expanded, pg.estimated, pg.compressed) == (" +
                  std::to_string(info.stored) + ", " + std::to_string(info.expanded) + ", " +
                  std::to_string(p.estimated) + ", " + (info.compressed ? "True" : "False") +
                  "), (pg.stored, pg.expanded)\n"
                  "assert got == '" + expect + "'\n";
    }
    script += "print('ok')\n";
    EXPECT_EQ(run_python(script), "ok\n");
}

// --- hostile input -------------------------------------------------------------------

TEST(KsfPageImage, MutatedImagesNeverCrashTheDecoder) {
    std::mt19937 rng(4242);
    std::vector<std::vector<std::uint8_t>> seeds;
    for (int t = 0; t < 8; ++t) {
        std::vector<Record> recs;
        for (int i = 0; i < 30; ++i)
            recs.push_back(Record::of("key" + std::to_string(1000 + i * (t + 1)), std::string(rng() % 90, 'x')));
        PageContent p = leaf_of(recs);
        if (t % 2) {
            p.level = 1;
            p.children.assign(recs.size(), 5);
            for (auto& r : p.records) r = Record::of(r.key());
            p.estimated = page_estimate(p.records, 1);
        }
        std::vector<std::uint8_t> img;
        ASSERT_EQ(build_page_image(p, &img), 0);
        seeds.push_back(img);
    }
    int refused = 0;
    for (int t = 0; t < 60000; ++t) {
        std::vector<std::uint8_t> img = seeds[rng() % seeds.size()];
        const int flips = 1 + static_cast<int>(rng() % 6);
        for (int f = 0; f < flips; ++f) {
            std::size_t at = rng() % (rng() % 4 == 0 ? 13 : img.size());
            img[at] = static_cast<std::uint8_t>(rng());
        }
        if (rng() % 10 == 0) img.resize(rng() % img.size());
        PageContent back;
        if (decode_page_image(img.data(), img.size(), &back, nullptr, rng() % 2 == 0) != kPageOk) ++refused;
    }
    EXPECT_GT(refused, 0);
    for (int t = 0; t < 20000; ++t) {
        std::vector<std::uint8_t> junk(rng() % 600);
        for (auto& c : junk) c = static_cast<std::uint8_t>(rng());
        PageContent back;
        (void)decode_page_image(junk.data(), junk.size(), &back, nullptr, true);
        std::vector<std::uint8_t> out;
        (void)rle_decode(junk.data(), junk.size(), rng() % 2000, &out);
    }
}
