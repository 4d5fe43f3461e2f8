// Random environment files: binary junk, lines without "=", unterminated quotes,
// overlong keys and values. The reader must agree with a plain model of the line
// rules whatever the buffer boundaries, and applying the lines must leave every
// table within its bounds.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "runtime/env_file.h"
#include "runtime/error.h"
#include "runtime/locale.h"

namespace sk::rt {
namespace {

using Lines = std::vector<std::pair<std::string, std::string>>;

// The line rules, written as directly as possible over the whole text.
Lines model_parse(const std::string& text) {
    Lines lines;
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    while (i < n) {
        if (at(i) == 26) break;
        if (at(i) == '\r' || at(i) == '\n') {
            ++i;
            continue;
        }
        std::string key;
        while (i < n && at(i) >= 32 && at(i) != '=') {
            if (at(i) != ' ' && key.size() < 31) key.push_back(text[i]);
            ++i;
        }
        if (i < n && at(i) == '=') {
            ++i;
            std::string value;
            while (i < n && at(i) != '\r' && at(i) != '\n' && at(i) != 26) {
                if (value.size() < 255) value.push_back(text[i]);
                ++i;
            }
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
            lines.emplace_back(key, value);
        }
        // Skip the rest of the line.
        while (i < n && at(i) != '\r' && at(i) != '\n' && at(i) != 26) ++i;
    }
    return lines;
}

const char* const kKeys[] = {"TESCHARSET", "TESCOLSEQ", "TESCASE",   "TESMONTH", "TESMON", "TESAMPM",
                             "TESDIGRAPH", "TESBUTTON", "TESMSG35",  "TESMSG",   "tesmsg0401", "TES COL SEQ",
                             "TESMSG999999999999999999", "OTHER"};

std::string random_bytes(std::mt19937& rng, std::size_t n) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(byte(rng)));
    return s;
}

std::string random_value(std::mt19937& rng) {
    std::uniform_int_distribution<int> pick(0, 9);
    std::uniform_int_distribution<int> len(0, 300);
    static const char kPieces[][8] = {"\"", ",", "\"\"", "WINDOWS", "OEM", " ", "\t", "\xC6" "AE", "\xE9", "x"};
    std::string v;
    const int target = len(rng);
    while (static_cast<int>(v.size()) < target) {
        if (pick(rng) < 2) {
            v += random_bytes(rng, 3);
        } else {
            v += kPieces[pick(rng)];
        }
    }
    return v;
}

std::string random_file(std::mt19937& rng) {
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<int> lines(0, 40);
    std::string text;
    const int count = lines(rng);
    for (int i = 0; i < count; ++i) {
        switch (kind(rng)) {
            case 0:  // binary junk
                text += random_bytes(rng, std::uniform_int_distribution<std::size_t>(0, 400)(rng));
                break;
            case 1:  // no "="
                text += "TESMON Jan,Feb";
                break;
            case 2:  // overlong key
                text += std::string(std::uniform_int_distribution<std::size_t>(25, 80)(rng), 'K') + "=v";
                break;
            default: {
                const auto& key = kKeys[std::uniform_int_distribution<std::size_t>(0, std::size(kKeys) - 1)(rng)];
                text += std::string(key) + (kind(rng) < 3 ? " = " : "=") + random_value(rng);
            }
        }
        static const char* const kEnds[] = {"\r\n", "\n", "\r", "\r\n\r\n", ""};
        text += kEnds[std::uniform_int_distribution<int>(0, 4)(rng)];
    }
    return text;
}

Lines parse_in_pieces(const std::string& text, std::mt19937& rng) {
    Lines lines;
    EnvParser parser([&](std::string_view k, std::string_view v) { lines.emplace_back(k, v); });
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t piece = std::min(text.size() - i, std::uniform_int_distribution<std::size_t>(1, 3000)(rng));
        parser.feed(text.data() + i, piece);
        i += piece;
    }
    parser.finish();
    return lines;
}

// Every table stays within the bounds its readers rely on.
void expect_tables_sound() {
    const LocaleTables& t = locale_tables();
    const LocaleTables defaults = default_locale_tables();
    for (int c = 0; c < 128; ++c) {
        ASSERT_EQ(t.case_map[c], defaults.case_map[c]) << c;
        ASSERT_EQ(t.char_class[c], defaults.char_class[c]) << c;
    }
    for (int c = 128; c < 256; ++c) {
        const unsigned char cls = t.char_class[c];
        ASSERT_TRUE(cls == 0 || cls == kClassUpper || cls == kClassLower) << c;
        if (cls != 0) {
            ASSERT_GE(t.case_map[c], 128) << c;
        } else {
            ASSERT_EQ(t.case_map[c], 0) << c;
        }
    }
    for (int m = 1; m <= 12; ++m) {
        ASSERT_LE(month_name(m).size(), kMonthNameLength);
        ASSERT_LE(month_abbrev(m).size(), kMonthAbbrevLength);
        ASSERT_EQ(month_name(m).size(), std::string(month_name(m).data()).size()) << "terminated";
    }
    ASSERT_LE(am_text().size(), kAmPmLength);
    ASSERT_LE(pm_text().size(), kAmPmLength);
    ASSERT_LE(t.digraph_count, kMaxDigraphs);
    for (std::size_t i = 0; i < kMaxDigraphs; ++i) {
        if (i < t.digraph_count) {
            ASSERT_NE(t.digraphs[i].ch, 0);
        } else {
            ASSERT_EQ(t.digraphs[i].ch, 0);
        }
    }
}

class EnvFileRandom : public ::testing::Test {
protected:
    void SetUp() override {
        reset_locale_defaults();
        clear_message_overrides();
        char tmpl[] = "/tmp/sk_envr_XXXXXX";
        m_dir = mkdtemp(tmpl);
    }
    void TearDown() override {
        reset_locale_defaults();
        clear_message_overrides();
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    std::string m_dir;
};

TEST_F(EnvFileRandom, ReaderAgreesWithTheLineRulesAtAnyBufferBoundary) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 400; ++round) {
        const std::string text = random_file(rng);
        const Lines expected = model_parse(text);
        const Lines got = parse_in_pieces(text, rng);
        ASSERT_EQ(got, expected) << "round " << round;
        for (const auto& [key, value] : got) {
            ASSERT_LE(key.size(), kEnvMaxKeyLength);
            ASSERT_LE(value.size(), kEnvMaxValueLength);
        }
    }
}

TEST_F(EnvFileRandom, ApplyingRandomFilesKeepsEveryTableSound) {
    std::mt19937 rng(77);
    for (int round = 0; round < 150; ++round) {
        const std::string text = random_file(rng);
        const std::string path = m_dir + "/r.env";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        // Through the file, and the same lines applied one by one give the same tables.
        reset_locale_defaults();
        ASSERT_TRUE(apply_locale_file(path));
        expect_tables_sound();
        const LocaleTables from_file = locale_tables();
        reset_locale_defaults();
        for (const auto& [key, value] : model_parse(text)) apply_locale_key(key, value);
        const LocaleTables& direct = locale_tables();
        ASSERT_EQ(direct.collation, from_file.collation);
        ASSERT_EQ(direct.oem_collation, from_file.oem_collation);
        ASSERT_EQ(direct.case_map, from_file.case_map);
        ASSERT_EQ(direct.digraph_count, from_file.digraph_count);
        ASSERT_EQ(direct.oem, from_file.oem);

        // The comparison and key functions stay well-behaved on whatever the file set.
        const std::string a = random_bytes(rng, 12), b = random_bytes(rng, 12);
        const std::string za(a.c_str()), zb(b.c_str());
        const int ab = compare_strings(za.c_str(), zb.c_str());
        const int ba = compare_strings(zb.c_str(), za.c_str());
        ASSERT_EQ(ab > 0, ba < 0);
        ASSERT_EQ(compare_strings_nocase(za.c_str(), za.c_str()), 0);
        ASSERT_EQ(compare_fixed_nocase(a.data(), a.data(), a.size()), 0);
        unsigned char key[64];
        const auto* in = reinterpret_cast<const unsigned char*>(a.data());
        for (bool oem : {false, true}) {
            ASSERT_EQ(collation_key(in, a.size(), key, sizeof key, oem), collation_key_length(in, a.size(), oem));
            ASSERT_LE(collation_key(in, a.size(), key, 5, oem), 5u);
        }
    }
}

TEST_F(EnvFileRandom, DirectKeysWithHostileValues) {
    // Values far beyond what a file can hold, handed straight to the key rules.
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        std::string value = random_bytes(rng, std::uniform_int_distribution<std::size_t>(0, 2000)(rng));
        if (round % 3 == 0) value.insert(0, "\"");
        if (round % 5 == 0) value = std::string(1200, round % 2 ? '"' : ',');
        const char* key = kKeys[round % std::size(kKeys)];
        apply_locale_key(key, value);
        ASSERT_LE(quote_value(value, true).size(), kEnvMaxQuotedLength);
        expect_tables_sound();
    }
}

}  // namespace
}  // namespace sk::rt
