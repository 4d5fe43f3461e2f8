// A million and more mutated inputs to the decoders a damaged file reaches
// first: page images (header fields, run-length code, shared prefixes, child
// references), the page as the cache builds it, table definition streams and
// the file header. Each must be refused or read without a crash, a hang or a
// sanitizer report; what is read back must be self-consistent.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "data/control_blocks.h"
#include "data/ksf/definition.h"
#include "data/ksf/format.h"
#include "data/ksf/header.h"
#include "data/ksf/page_image.h"
#include "data/ksf/page_store.h"
#include "data/ksf/record.h"

using namespace sk::ksf;

namespace {

unsigned seed_from_environment() {
    const char* env = std::getenv("KSF_SEED");
    return env ? static_cast<unsigned>(std::strtoul(env, nullptr, 10))
               : static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
}

// Small pages of every shape: leaves and index pages, keys sharing long
// prefixes (so the prefix code is used), data that compresses and data that
// does not (so both stored forms appear).
std::vector<std::vector<std::uint8_t>> page_seeds(std::mt19937& rng) {
    std::vector<std::vector<std::uint8_t>> seeds;
    for (int shape = 0; shape < 24; ++shape) {
        const int records = 1 + shape % 7;
        std::vector<Record> recs;
        for (int i = 0; i < records; ++i) {
            std::string key = std::string("\x00\x00\x00\x01", 4) + static_cast<char>(shape % 3 == 0 ? 0xF3 : shape % 5);
            key += "http://www.example" + std::to_string(shape) + ".org/" + std::to_string(100 + i * 3);
            std::string data;
            if (shape % 2 == 0) {
                data.assign(rng() % 120, ' ');  // blank padding: runs
            } else {
                for (std::size_t n = rng() % 120; n > 0; --n) data.push_back(static_cast<char>(rng()));
            }
            recs.push_back(Record::of(key, data));
        }
        PageContent p;
        p.level = shape % 4 == 3 ? 1 + shape % 3 : 0;
        for (const Record& r : recs) p.records.push_back(p.level > 0 ? Record::of(r.key()) : r);
        if (p.level > 0) p.children.assign(recs.size(), static_cast<std::uint32_t>(5 + shape));
        p.own_offset = static_cast<std::uint32_t>(2 + shape);
        p.estimated = page_estimate(p.records, p.level);
        std::vector<std::uint8_t> img;
        EXPECT_EQ(build_page_image(p, &img), 0);
        seeds.push_back(img);
    }
    return seeds;
}

std::string definition_seed() {
    TableDefinition d;
    d.record_length = 215;
    const auto field = [&](std::uint8_t type, std::uint32_t offset, const char* label, std::uint32_t size) {
        FieldDef f;
        f.type = type;
        f.offset = offset;
        f.label = label;
        f.size = size;
        f.string_length = type == sk::data::kTypeString ? size : 0;
        f.position = static_cast<std::uint32_t>(d.fields.size());
        d.fields.push_back(f);
    };
    field(sk::data::kTypeString, 0, "URL:LOCATION", 128);
    field(sk::data::kTypeString, 128, "URL:DESCRIPTION", 60);
    field(sk::data::kTypeString, 188, "URL:CATEGORY", 15);
    field(sk::data::kTypeLong, 203, "URL:COUNT", 4);
    field(sk::data::kTypeString, 207, "URL:KEYWORD", 8);
    MemoDef memo;
    memo.label = "URL:SITEINFO";
    memo.size = 500;
    d.memos = {memo};
    const auto key = [&](const char* label, std::uint8_t attributes, std::vector<KeyComponentDef> parts) {
        KeyDef k;
        k.label = label;
        k.attributes = attributes;
        k.components = std::move(parts);
        d.keys.push_back(k);
    };
    key("URL:K_LOCATION", kKeyAttrNoCase, {{0, false}});
    key("URL:K_CATEGORY", kKeyAttrNoCase, {{2, false}, {0, false}});
    key("URL:K_COUNT", 0, {{3, true}, {0, false}});
    return write_definition(d);
}

// One mutation of s: bytes changed, inserted or removed, a 16-bit field set
// to an extreme, a cut, or a splice with another input.
template <class Bytes>
void mutate(std::mt19937& rng, Bytes& s, const Bytes& other, std::size_t field_area) {
    if (s.empty()) s.resize(1);
    const auto at = [&] { return rng() % s.size(); };
    switch (rng() % 7) {
        case 0:
        case 1:
            for (int i = 0, n = 1 + static_cast<int>(rng() % 4); i < n; ++i) s[at()] = static_cast<std::uint8_t>(rng());
            break;
        case 2: {
            static const std::uint16_t extremes[] = {0, 1, 0x7F, 0x80, 0xFF, 0x100, 0x3AF6, 0x3B00, 0x7FFF, 0xFFFF};
            const std::size_t p = rng() % std::max<std::size_t>(1, std::min(field_area, s.size()));
            const std::uint16_t v = extremes[rng() % 10];
            s[p] = static_cast<std::uint8_t>(v);
            if (p + 1 < s.size()) s[p + 1] = static_cast<std::uint8_t>(v >> 8);
            break;
        }
        case 3:
            s.insert(s.begin() + static_cast<std::ptrdiff_t>(at()), static_cast<std::uint8_t>(rng()));
            break;
        case 4:
            s.erase(s.begin() + static_cast<std::ptrdiff_t>(at()));
            break;
        case 5:
            s.resize(at());
            break;
        default: {
            const std::size_t from = other.empty() ? 0 : rng() % other.size();
            const std::size_t to = at();
            for (std::size_t i = 0; i < 16 && from + i < other.size() && to + i < s.size(); ++i) s[to + i] = other[from + i];
            break;
        }
    }
}

}  // namespace

TEST(KsfDecoders, MillionsOfMutatedInputsAreRefusedOrReadSoundly) {
    const unsigned seed = seed_from_environment();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (rerun with KSF_SEED=" + std::to_string(seed) + ")");
    std::mt19937 rng(seed);
    long inputs = 0, refused = 0;

    // Page images, by the decoder the tools use and by the page the cache builds.
    const auto seeds = page_seeds(rng);
    for (int t = 0; t < 700000; ++t, ++inputs) {
        std::vector<std::uint8_t> img = seeds[rng() % seeds.size()];
        for (int m = 0, n = 1 + static_cast<int>(rng() % 3); m < n; ++m)
            mutate(rng, img, seeds[rng() % seeds.size()], kPageHeaderSize);
        PageContent back;
        const int rc = decode_page_image(img.data(), img.size(), &back, nullptr, true);
        if (rc != kPageOk) {
            ++refused;
        } else {
            ASSERT_TRUE(back.level == 0 || back.children.size() == back.records.size());
        }
        if (t % 4 == 0) {
            KsfPage page(0, 0);
            std::uint32_t own = 0;
            if (page.decode(img.data(), img.size(), &own) == 0) {
                for (std::size_t i = 1; i < page.count(); ++i)
                    ASSERT_LT(page.records().key(i - 1), page.records().key(i));
            }
        }
    }
    EXPECT_GT(refused, inputs / 4);

    // Table definition streams.
    const std::string def = definition_seed();
    const std::vector<std::uint8_t> def_bytes(def.begin(), def.end());
    long def_refused = 0;
    for (int t = 0; t < 250000; ++t, ++inputs) {
        std::vector<std::uint8_t> s = def_bytes;
        for (int m = 0, n = 1 + static_cast<int>(rng() % 3); m < n; ++m) mutate(rng, s, def_bytes, s.size());
        TableDefinition d;
        if (read_definition(s.data(), s.size(), &d) != 0) {
            ++def_refused;
            continue;
        }
        for (std::size_t k = 0; k < d.keys.size(); ++k) {
            KeyLayout layout;
            (void)key_layout(d, k, &layout);
        }
    }
    EXPECT_GT(def_refused, 0);

    // File headers: whatever parses answers its questions without harm.
    Header fresh;
    fresh.set_block(2, 2, 10);
    fresh.set_block(3, 10, 19);
    fresh.set_root(2);
    const std::vector<std::uint8_t> head(fresh.data(), fresh.data() + kHeaderSize);
    for (int t = 0; t < 150000; ++t, ++inputs) {
        std::vector<std::uint8_t> h = head;
        for (int m = 0, n = 1 + static_cast<int>(rng() % 4); m < n; ++m) mutate(rng, h, head, kHeaderSize);
        Header parsed;
        if (parsed.parse(h.data(), h.size()) != 0) continue;
        const bool consistent = parsed.blocks_consistent();
        (void)parsed.allocated_end();
        (void)parsed.highest_block();
        const unsigned cls = parsed.class_of(static_cast<PageRef>(rng()));
        if (consistent) {
            ASSERT_LT(cls, kClassCount);
        }
    }
    EXPECT_GE(inputs, 1000000);
}
