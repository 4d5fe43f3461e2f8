// A page's record store: one byte buffer and a sorted entry array with each
// key's first bytes copied into its entry. Random work is compared with an
// ordered map, over keys that agree in their first bytes and differ later,
// keys that are prefixes of others, bytes above 7Fh, and records whose new
// bytes come from the store's own buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>

#include "data/ksf/page_store.h"
#include "data/ksf/record.h"

using namespace sk::ksf;

namespace {

using Model = std::map<std::string, std::pair<std::string, PageRef>>;

// Keys from a few bytes, many sharing long prefixes: lengths 0 to 40, so that
// both sides of the 16 bytes kept in an entry and of every 8-byte step occur.
std::string random_key(std::mt19937& rng) {
    static const char alphabet[] = {'\x00', 'a', 'b', '\x7F', '\x80', '\xFF'};
    const std::size_t len = rng() % 41;
    std::string k = rng() % 2 ? std::string(std::min<std::size_t>(len, 15 + rng() % 3), 'a') : std::string();
    while (k.size() < len) k.push_back(alphabet[rng() % sizeof alphabet]);
    return k;
}

void expect_same(const PageRecords& recs, const Model& model) {
    ASSERT_EQ(recs.size(), model.size());
    auto m = model.begin();
    for (const auto& [key, slot] : recs) {
        ASSERT_EQ(key, m->first);
        EXPECT_EQ(slot.data, m->second.first);
        EXPECT_EQ(slot.child, m->second.second);
        ++m;
    }
}

}  // namespace

TEST(KsfPageRecords, RandomWorkMatchesAnOrderedMap) {
    std::mt19937 rng(2024);
    PageRecords recs;
    Model model;
    for (int step = 0; step < 30000; ++step) {
        const unsigned what = rng() % 10;
        const std::string key = random_key(rng);
        if (what < 5) {
            if (model.count(key)) continue;
            std::string data(rng() % 3 == 0 ? rng() % 400 : rng() % 20, static_cast<char>('A' + rng() % 26));
            const PageRef child = static_cast<PageRef>(rng() % 1000) - 500;
            recs.insert(recs.lower_bound(key), key, data, child);
            model[key] = {data, child};
        } else if (what < 7) {
            auto it = recs.find(key);
            ASSERT_EQ(it == recs.end(), model.count(key) == 0) << step;
            if (it == recs.end()) continue;
            recs.erase(it);
            model.erase(key);
        } else if (what < 9) {
            auto it = recs.find(key);
            if (it == recs.end()) continue;
            // Same length (written in place) or a new length.
            const std::string data = rng() % 2 ? std::string(it->second.data.size(), 'z') : std::string(rng() % 50, 'y');
            recs.set_data(it, data);
            model[key].first = data;
        } else if (!model.empty()) {
            // New records whose bytes are views of the store's own buffer: the
            // data of an existing record, the key a prefix of an existing key.
            const std::size_t i = rng() % recs.size();
            const PageRecords::Entry e = recs.entry(i);
            const std::string_view shorter = e.first.substr(0, e.first.size() / 2);
            const std::string copy_key(shorter), copy_data(e.second.data);
            if (model.count(copy_key)) continue;
            recs.insert(recs.lower_bound(shorter), shorter, e.second.data, 7);
            model[copy_key] = {copy_data, 7};
        }
        if (step % 500 == 0) {
            expect_same(recs, model);
            for (int probe = 0; probe < 50; ++probe) {
                const std::string k = random_key(rng);
                const auto lo = model.lower_bound(k), hi = model.upper_bound(k);
                EXPECT_EQ(recs.lower_bound(k).index(), static_cast<std::size_t>(std::distance(model.begin(), lo)));
                EXPECT_EQ(recs.upper_bound(k).index(), static_cast<std::size_t>(std::distance(model.begin(), hi)));
                EXPECT_EQ(recs.find(k) == recs.end(), model.count(k) == 0);
            }
        }
    }
    expect_same(recs, model);

    // Moving the upper half to another store (a page split) keeps both in order.
    PageRecords right;
    const std::size_t keep = recs.size() / 2;
    recs.move_tail(keep, &right);
    Model upper(std::next(model.begin(), static_cast<std::ptrdiff_t>(keep)), model.end());
    model.erase(std::next(model.begin(), static_cast<std::ptrdiff_t>(keep)), model.end());
    expect_same(recs, model);
    expect_same(right, upper);
}

TEST(KsfPageRecords, KeysCompareAsUnsignedBytesWithPrefixesFirst) {
    std::mt19937 rng(9);
    const auto reference = [](const std::string& a, const std::string& b) {
        const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
        if (c != 0) return c < 0 ? -1 : 1;
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    };
    for (int i = 0; i < 20000; ++i) {
        const std::string a = random_key(rng);
        std::string b = rng() % 3 ? a.substr(0, rng() % (a.size() + 1)) : random_key(rng);
        if (rng() % 2 && !b.empty()) b[rng() % b.size()] = static_cast<char>(rng());
        ASSERT_EQ(compare_keys(a, b), reference(a, b)) << i;
        ASSERT_EQ(compare_keys(b, a), reference(b, a)) << i;
    }
}
