// A KSF table declaration for driver tests: a 59-byte record with a location,
// a category and a rating, three keys (unique case-insensitive optional
// location; category then location with duplicates; rating descending with
// duplicates) and one 300-character memo.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "data/control_blocks.h"
#include "data/file_layer.h"
#include "ksf_test_blocks.h"

namespace sk::test {

struct KsfTestTable : KsfTestBlocks {
    static constexpr std::uint32_t kLocation = 0, kLocationSize = 40;
    static constexpr std::uint32_t kCategory = 40, kCategorySize = 15;
    static constexpr std::uint32_t kRating = 55;
    static constexpr std::uint32_t kRecordLength = 59;

    char record[kRecordLength] = {};
    std::int32_t location_components[1] = {1};
    std::int32_t category_components[2] = {2, 1};
    std::int32_t rating_components[1] = {~2};
    sk::data::KeyControlBlock k_location, k_category, k_rating;
    sk::data::KeyControlBlock* keys[3] = {&k_location, &k_category, &k_rating};

    explicit KsfTestTable(const std::string& file_name, std::uint8_t key_count = 3)
        : KsfTestBlocks(file_name, "T:NOTE", 300) {
        stream = sk::data::FieldStreamBuilder()
                     .string(kLocation, "T:LOCATION", kLocationSize)
                     .string(kCategory, "T:CATEGORY", kCategorySize)
                     .plain(kRating, "T:RATING", sk::data::kTypeLong)
                     .bytes();
        key(k_location, "T:K_LOCATION", 6, location_components, 1);
        key(k_category, "T:K_CATEGORY", 5, category_components, 2);
        key(k_rating, "T:K_RATING", 1, rating_components, 1);
        declare(record, kRecordLength, keys, key_count);
    }

    void set(const std::string& location, const std::string& category, std::int32_t rating) {
        std::memset(record, ' ', kRecordLength - 4);
        std::memcpy(record + kLocation, location.data(), std::min<std::size_t>(location.size(), kLocationSize));
        std::memcpy(record + kCategory, category.data(), std::min<std::size_t>(category.size(), kCategorySize));
        std::memcpy(record + kRating, &rating, 4);
    }
    std::string location() const {
        std::string s(record + kLocation, kLocationSize);
        return s.substr(0, s.find_last_not_of(' ') + 1);
    }
    std::string category() const {
        std::string s(record + kCategory, kCategorySize);
        const std::size_t last = s.find_last_not_of(' ');
        return last == std::string::npos ? std::string() : s.substr(0, last + 1);
    }
    std::int32_t rating() const {
        std::int32_t r;
        std::memcpy(&r, record + kRating, 4);
        return r;
    }
};

}  // namespace sk::test
