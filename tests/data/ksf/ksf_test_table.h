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
#include "data/ksf/driver.h"

namespace sk::test {

struct KsfTestTable {
    static constexpr std::uint32_t kLocation = 0, kLocationSize = 40;
    static constexpr std::uint32_t kCategory = 40, kCategorySize = 15;
    static constexpr std::uint32_t kRating = 55;
    static constexpr std::uint32_t kRecordLength = 59;

    char name[256] = {};
    char record[kRecordLength] = {};
    std::vector<std::uint8_t> stream;
    std::int32_t location_components[1] = {1};
    std::int32_t category_components[2] = {2, 1};
    std::int32_t rating_components[1] = {~2};
    sk::data::KeyControlBlock k_location, k_category, k_rating;
    sk::data::KeyControlBlock* keys[3] = {&k_location, &k_category, &k_rating};
    sk::data::MemoControlBlock memo;
    sk::data::MemoControlBlock* memos[1] = {&memo};
    sk::data::FileControlBlock fcb;

    explicit KsfTestTable(const std::string& file_name, std::uint8_t key_count = 3) {
        set_name(file_name);
        stream = sk::data::FieldStreamBuilder()
                     .string(kLocation, "T:LOCATION", kLocationSize)
                     .string(kCategory, "T:CATEGORY", kCategorySize)
                     .plain(kRating, "T:RATING", sk::data::kTypeLong)
                     .bytes();
        key(k_location, "T:K_LOCATION", 6, location_components, 1);
        key(k_category, "T:K_CATEGORY", 5, category_components, 2);
        key(k_rating, "T:K_RATING", 1, rating_components, 1);
        memo.label = "T:NOTE";
        memo.label_length = 6;
        memo.attributes = 1;
        memo.size = 300;
        fcb.entry = &sk::ksf::ksf_entry;
        fcb.name = name;
        fcb.name_length = sizeof name;
        fcb.attributes = 0x04;
        fcb.key_count = key_count;
        fcb.memo_count = 1;
        fcb.record_length = kRecordLength;
        fcb.fields = stream.data();
        fcb.fields_size = static_cast<std::uint32_t>(stream.size());
        fcb.keys = keys;
        fcb.memos = memos;
        fcb.record = record;
    }
    ~KsfTestTable() {
        if (fcb.state != nullptr) {
            sk::data::close(&fcb);
            if (fcb.state != nullptr) fcb.entry(sk::data::kOpClose, &fcb, nullptr);
        }
    }
    KsfTestTable(const KsfTestTable&) = delete;
    KsfTestTable& operator=(const KsfTestTable&) = delete;

    void set_name(const std::string& n) {
        std::memset(name, ' ', sizeof name);
        std::memcpy(name, n.data(), std::min(n.size(), sizeof name));
    }
    void key(sk::data::KeyControlBlock& k, const char* label, std::uint32_t attributes, const std::int32_t* components,
             std::uint8_t count) {
        k.label = label;
        k.label_length = static_cast<std::uint32_t>(std::strlen(label));
        k.attributes = attributes;
        k.component_count = count;
        k.components = components;
        k.file = &fcb;
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
    void set_note(const std::string& text) {
        std::memset(memo.buffer, ' ', memo.size);
        std::memcpy(memo.buffer, text.data(), std::min<std::size_t>(text.size(), memo.size));
    }
    std::string note() const {
        std::string s(memo.buffer, memo.size);
        const std::size_t last = s.find_last_not_of(' ');
        return last == std::string::npos ? std::string() : s.substr(0, last + 1);
    }
};

}  // namespace sk::test
