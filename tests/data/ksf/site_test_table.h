// A KSF table shaped like the program's site file: a 215-byte record
// (location STRING(128), description STRING(60), category STRING(15), rating
// DECIMAL(2,0), keyword STRING(10)), the five keys with the program's flags
// (K_LOCATION unique and optional; K_DESCRIPTION duplicates and optional;
// K_CATEGORY, K_RATING and K_KEYWORD with duplicates and the location as their
// second part; all case-insensitive) and the 500-character memo.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "data/control_blocks.h"
#include "data/file_layer.h"
#include "ksf_test_blocks.h"

namespace sk::test {

struct SiteTestTable : KsfTestBlocks {
    static constexpr std::uint32_t kLocationSize = 128, kDescriptionSize = 60, kCategorySize = 15, kKeywordSize = 10;
    static constexpr std::uint32_t kLocationAt = 0, kDescriptionAt = 128, kCategoryAt = 188, kRatingAt = 203,
                                   kKeywordAt = 205;
    static constexpr std::uint32_t kRecordLength = 215, kMemoSize = 500;

    char record[kRecordLength] = {};
    std::int32_t location_parts[1] = {1};
    std::int32_t description_parts[1] = {2};
    std::int32_t category_parts[2] = {3, 1};
    std::int32_t rating_parts[2] = {4, 1};
    std::int32_t keyword_parts[2] = {5, 1};
    sk::data::KeyControlBlock k_location, k_description, k_category, k_rating, k_keyword;
    sk::data::KeyControlBlock* keys[5] = {&k_location, &k_description, &k_category, &k_rating, &k_keyword};

    explicit SiteTestTable(const std::string& file_name) : KsfTestBlocks(file_name, "URL:SITEINFO", kMemoSize) {
        stream = sk::data::FieldStreamBuilder()
                     .string(kLocationAt, "URL:LOCATION", kLocationSize)
                     .string(kDescriptionAt, "URL:DESCRIPTION", kDescriptionSize)
                     .string(kCategoryAt, "URL:CATEGORY", kCategorySize)
                     .decimal(kRatingAt, "URL:RATING", 2, 0)
                     .string(kKeywordAt, "URL:KEYWORD", kKeywordSize)
                     .bytes();
        constexpr std::uint32_t kUnique = sk::data::kKeyOptional | sk::data::kKeyNoCase;
        constexpr std::uint32_t kOptionalDuplicates =
            sk::data::kKeyDuplicates | sk::data::kKeyOptional | sk::data::kKeyNoCase;
        constexpr std::uint32_t kDuplicates = sk::data::kKeyDuplicates | sk::data::kKeyNoCase;
        key(k_location, "URL:K_LOCATION", kUnique, location_parts, 1);
        key(k_description, "URL:K_DESCRIPTION", kOptionalDuplicates, description_parts, 1);
        key(k_category, "URL:K_CATEGORY", kDuplicates, category_parts, 2);
        key(k_rating, "URL:K_RATING", kDuplicates, rating_parts, 2);
        key(k_keyword, "URL:K_KEYWORD", kDuplicates, keyword_parts, 2);
        declare(record, kRecordLength, keys, 5);
    }

    // A string field, blank-padded, and its text without trailing blanks.
    void put_text(std::uint32_t at, std::uint32_t size, const std::string& text) {
        std::memset(record + at, ' ', size);
        std::memcpy(record + at, text.data(), std::min<std::size_t>(text.size(), size));
    }
    std::string text(std::uint32_t at, std::uint32_t size) const {
        std::string s(record + at, size);
        const std::size_t last = s.find_last_not_of(' ');
        return last == std::string::npos ? std::string() : s.substr(0, last + 1);
    }
    // The rating, 0 to 99, as a packed decimal: sign and leading digit, then two digits.
    void set_rating(int r) {
        record[kRatingAt] = 0;
        record[kRatingAt + 1] = static_cast<char>((r / 10) << 4 | r % 10);
    }
    int rating() const {
        const auto b = static_cast<unsigned char>(record[kRatingAt + 1]);
        return (b >> 4) * 10 + (b & 0x0F);
    }
    void set(const std::string& location, const std::string& description, const std::string& category, int rating,
             const std::string& keyword) {
        put_text(kLocationAt, kLocationSize, location);
        put_text(kDescriptionAt, kDescriptionSize, description);
        put_text(kCategoryAt, kCategorySize, category);
        set_rating(rating);
        put_text(kKeywordAt, kKeywordSize, keyword);
    }
    std::string location() const { return text(kLocationAt, kLocationSize); }
    std::string description() const { return text(kDescriptionAt, kDescriptionSize); }
    std::string category() const { return text(kCategoryAt, kCategorySize); }
    std::string keyword() const { return text(kKeywordAt, kKeywordSize); }
};

}  // namespace sk::test
