// Reading environment files and applying their keys.
#include "runtime/env_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "runtime/error.h"
#include "runtime/locale.h"

namespace sk::rt {
namespace {

using Lines = std::vector<std::pair<std::string, std::string>>;

Lines parse(std::string_view text, std::size_t piece = 0) {
    Lines lines;
    EnvParser parser([&](std::string_view k, std::string_view v) { lines.emplace_back(k, v); });
    if (piece == 0) piece = text.size() + 1;
    for (std::size_t i = 0; i < text.size(); i += piece) parser.feed(text.data() + i, std::min(piece, text.size() - i));
    parser.finish();
    return lines;
}

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/sk_env_XXXXXX";
        m_path = mkdtemp(tmpl);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string write(const std::string& name, std::string_view content) const {
        const std::string p = m_path + "/" + name;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

class EnvFile : public ::testing::Test {
protected:
    void SetUp() override {
        reset_locale_defaults();
        clear_message_overrides();
        clear_error();
    }
    void TearDown() override {
        reset_locale_defaults();
        clear_message_overrides();
    }
    TempDir dir;
};

TEST(EnvParser, KeysDropBlanksAndValuesLoseTrailingBlanks) {
    const Lines lines = parse("TES MON =Foo,Bar   \r\n  A B=  x \t\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], (std::pair<std::string, std::string>("TESMON", "Foo,Bar")));
    EXPECT_EQ(lines[1], (std::pair<std::string, std::string>("AB", "  x")));
}

TEST(EnvParser, LinesWithoutEqualsOrWithControlCharactersApplyNothing) {
    const Lines lines = parse("no equals here\r\nK\tEY=1\nGOOD=2\n\n\n=3");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].first, "GOOD");
    EXPECT_EQ(lines[1], (std::pair<std::string, std::string>("", "3")));
}

TEST(EnvParser, EndMarkEndsTheFileAnywhere) {
    EXPECT_EQ(parse("A=1\n\x1A" "B=2\n").size(), 1u);
    const Lines mid = parse("A=va\x1Alue\nB=2");
    ASSERT_EQ(mid.size(), 1u);
    EXPECT_EQ(mid[0].second, "va");
    EXPECT_TRUE(parse("KE\x1AY=1").empty());
}

TEST(EnvParser, KeyAndValueAreCut) {
    const std::string key(40, 'K');
    const std::string value(300, 'v');
    const Lines lines = parse(key + "=" + value + "\nNEXT=ok");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].first, std::string(31, 'K'));
    EXPECT_EQ(lines[0].second, std::string(255, 'v'));
    EXPECT_EQ(lines[1].second, "ok");
    // Trailing blanks are removed after the cut.
    const Lines blanks = parse("K=" + std::string(250, 'v') + std::string(10, ' ') + "tail");
    EXPECT_EQ(blanks[0].second, std::string(250, 'v'));
}

TEST(EnvParser, PiecesOfAnySizeGiveTheSameLines) {
    const std::string text = "TESMON=a,b\r\n\r\nTES MSG 35 = Gone \nX\n";
    const Lines whole = parse(text);
    for (std::size_t piece = 1; piece < 6; ++piece) EXPECT_EQ(parse(text, piece), whole);
}

TEST(EnvItems, QuotingAndSplitting) {
    EXPECT_EQ(quote_value("a,b", true), "\"a\",\"b\"");
    EXPECT_EQ(quote_value("a,b", false), "\"a,b\"");
    EXPECT_EQ(quote_value("  say \"hi\"", true), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(quote_value(" \"x,y\",\"z\"", true), "\"x,y\",\"z\"");
    EXPECT_EQ(split_items("\"x,y\",\"z\""), (std::vector<std::string>{"x,y", "z"}));
    EXPECT_EQ(split_items(quote_value("say \"hi\",,x", true)),
              (std::vector<std::string>{"say \"hi\"", "", "x"}));
    EXPECT_EQ(split_items("\"unterminated"), (std::vector<std::string>{"unterminated"}));
    EXPECT_TRUE(split_items("no quotes").empty());
    EXPECT_EQ(split_items("\"\""), (std::vector<std::string>{""}));
}

TEST(EnvItems, ListNeverExceeds400Characters) {
    // Every quote doubles and every comma triples: the list stays within its buffer.
    const std::string commas(395, ',');
    EXPECT_LE(quote_value(commas, true).size(), kEnvMaxQuotedLength);
    const std::string quotes(395, '"');
    EXPECT_LE(quote_value("x" + quotes, true).size(), kEnvMaxQuotedLength);
    EXPECT_EQ(quote_value(std::string(500, 'a'), true).size(), kEnvMaxConvertedLength + 2);
    EXPECT_EQ(quote_value("\"" + std::string(500, 'a'), true).size(), kEnvMaxQuotedLength);
}

TEST_F(EnvFile, BlankKeyAndCommaValueSetsOnlyTheFirstAbbreviations) {
    const std::string p = dir.write("a.env", "TES MON =Foo,Bar   \r\n");
    ASSERT_TRUE(apply_locale_file(p));
    EXPECT_EQ(month_abbrev(1), "Foo");
    EXPECT_EQ(month_abbrev(2), "Bar");
    EXPECT_EQ(month_abbrev(3), "Mar");
    EXPECT_EQ(error_code(), 0);
}

TEST_F(EnvFile, MonthNamesAreCutAndStopAtAnEmptyItem) {
    apply_locale_key("tesmonth", "Januarius Maximus,Februar,,April");
    EXPECT_EQ(month_name(1), "Januarius Ma");
    EXPECT_EQ(month_name(2), "Februar");
    EXPECT_EQ(month_name(3), "March");
    EXPECT_EQ(month_name(4), "April");
    apply_locale_key("TESMON", "Janvier");
    EXPECT_EQ(month_abbrev(1), "Jan");
}

TEST_F(EnvFile, QuotedValueKeepsCommas) {
    apply_locale_key("TESMONTH", "\"Jan,uar\",\"Feb\"");
    EXPECT_EQ(month_name(1), "Jan,uar");
    EXPECT_EQ(month_name(2), "Feb");
}

TEST_F(EnvFile, AmPmTexts) {
    apply_locale_key("TESAMPM", "vorm,nachm");
    EXPECT_EQ(am_text(), "vo");
    EXPECT_EQ(pm_text(), "na");
    apply_locale_key("TESAMPM", "a");
    EXPECT_EQ(am_text(), "a");
    EXPECT_EQ(pm_text(), "na");
    apply_locale_key("TESAMPM", ",z");  // empty first item: nothing changes
    EXPECT_EQ(am_text(), "a");
    IntlValues v;
    v.am = "am";
    v.pm = "pm";
    set_intl(v);
    apply_locale_key("TESAMPM", "windows");
    EXPECT_EQ(am_text(), "am");
    EXPECT_EQ(pm_text(), "pm");
}

TEST_F(EnvFile, CaseListsPairLettersAboveAsciiOnly) {
    // E-acute/e-acute and A-grave/a-grave, plus an ASCII pair that must be ignored.
    apply_locale_key("TESCASE", "\xC9\xC0Q,\xE9\xE0x");
    EXPECT_EQ(upper_char(0xE9), 0xC9);
    EXPECT_EQ(lower_char(0xC0), 0xE0);
    EXPECT_TRUE(is_upper(0xC9));
    EXPECT_EQ(char_class(0xE0), kClassLower);
    EXPECT_EQ(upper_char('x'), 'X');
    EXPECT_EQ(lower_char('Q'), 'q');
    EXPECT_FALSE(has_partner(0xD6));  // O-diaeresis was not listed
    EXPECT_EQ(compare_strings_nocase("caf\xE9", "CAF\xC9"), 0);
}

TEST_F(EnvFile, CaseListsOfDifferentLengthsFallBackToTheSystemRule) {
    const LocaleTables defaults = default_locale_tables();
    apply_locale_key("TESCASE", "\xC9\xC0,\xE9");
    for (int c = 128; c < 256; ++c) {
        const auto u = static_cast<unsigned char>(c);
        const bool upper = (c >= 0xC0 && c <= 0xDE && c != 0xD7) || c == 0x8A || c == 0x8C || c == 0x8E || c == 0x9F;
        EXPECT_EQ(is_upper(u), upper) << c;
    }
    EXPECT_EQ(lower_char(0xD6), 0xF6);
    EXPECT_EQ(upper_char(0xFF), 0x9F);
    EXPECT_EQ(upper_char(0x9A), 0x8A);
    EXPECT_FALSE(has_class(0xDF));  // sharp s has no upper-case partner
    EXPECT_FALSE(has_class(0xD7));
    for (int c = 0; c < 128; ++c) {
        EXPECT_EQ(locale_tables().case_map[c], defaults.case_map[c]) << c;
        EXPECT_EQ(locale_tables().char_class[c], defaults.char_class[c]) << c;
    }
    // The same for a single list and for "WINDOWS".
    const LocaleTables system = locale_tables();
    reset_locale_defaults();
    apply_locale_key("TESCASE", "\xC9\xC0");
    EXPECT_EQ(locale_tables().case_map, system.case_map);
    reset_locale_defaults();
    apply_locale_key("TESCASE", "WINDOWS");
    EXPECT_EQ(locale_tables().char_class, system.char_class);
    // An empty value restores the ASCII tables.
    apply_locale_key("TESCASE", "  ");
    EXPECT_EQ(locale_tables().case_map, defaults.case_map);
    EXPECT_EQ(locale_tables().char_class, defaults.char_class);
}

TEST_F(EnvFile, DigraphGroupsOfThree) {
    apply_locale_key("TESDIGRAPH", "\xC6" "AE,\xDFss,\xE6" "ae,xy");
    ASSERT_EQ(digraph_count(), 3u);
    EXPECT_EQ(digraph(1).ch, 0xDF);
    EXPECT_EQ(digraph(1).first, 's');
    EXPECT_EQ(digraph(3).ch, 0);
    EXPECT_EQ(oem_digraph(1).ch, 0xE1);  // sharp s in the OEM set
    EXPECT_EQ(oem_digraph(0).ch, 0x92);  // AE ligature in the OEM set
    // A quoted list: groups separated by commas inside one item.
    apply_locale_key("TESDIGRAPH", "\"\xC6" "AE,\xDFssQ\"");
    ASSERT_EQ(digraph_count(), 2u);
    EXPECT_EQ(digraph(1).second, 's');
    // At most sixteen entries.
    std::string many;
    for (int i = 0; i < 20; ++i) many += std::string{static_cast<char>('a' + i), 'x', 'y'} + ",";
    apply_locale_key("TESDIGRAPH", many);
    EXPECT_EQ(digraph_count(), kMaxDigraphs);
    apply_locale_key("TESDIGRAPH", "");
    EXPECT_EQ(digraph_count(), 0u);
}

TEST_F(EnvFile, MessageOverridesAndButtons) {
    std::string before = message_text(35);
    EXPECT_EQ(before, "Record Not Found");
    const std::string p = dir.write("m.env",
                                    "TESMSG35=Site, not there  \r\n"
                                    "tesbutton=&Ja,,&Nein\r\n"
                                    "TESMSG=ignored\r\nTESMSG3x=ignored\r\nTESMSG99999=ignored\r\n");
    ASSERT_TRUE(apply_locale_file(p));
    EXPECT_EQ(message_text(35), "Site, not there");  // commas kept in message texts
    post_error(kRecordNotFound);
    EXPECT_EQ(error_text(), "Site, not there");
    EXPECT_EQ(message_text(32512), "&Ja");
    bool found = true;
    message_text(32513, &found);
    EXPECT_FALSE(found);
    EXPECT_EQ(message_text(32514), "&Nein");
    EXPECT_EQ(message_text(3), "Path Not Found");
}

TEST_F(EnvFile, OemFlagConvertsValuesFromTheOemSet) {
    apply_locale_key("TESCHARSET", "oem");
    EXPECT_TRUE(oem_flag());
    apply_locale_key("TESMONTH", "M\x84rz");  // a-diaeresis in the OEM set
    EXPECT_EQ(month_name(1), "M\xE4rz");
    apply_locale_key("TESMSG35", "Gel\x94scht");
    EXPECT_EQ(message_text(35), "Gel\xF6scht");
    apply_locale_key("TESCHARSET", "ANSI");
    EXPECT_FALSE(oem_flag());
    apply_locale_key("TESMONTH", "M\x84rz");
    EXPECT_EQ(month_name(1), "M\x84rz");
}

TEST_F(EnvFile, UnopenablePathPostsError2AndChangesNothing) {
    const LocaleTables before = locale_tables();
    EXPECT_FALSE(apply_locale_file(dir.path() + "/missing.env"));
    EXPECT_EQ(error_code(), kFileNotFound);
    EXPECT_EQ(error_text(), "File Not Found");
    clear_error();
    EXPECT_FALSE(apply_locale_file(dir.path()));  // a directory is not a file
    EXPECT_EQ(error_code(), kFileNotFound);
    EXPECT_EQ(locale_tables().collation, before.collation);
    EXPECT_EQ(locale_tables().month_abbrevs[0].view(), "Jan");
}

TEST_F(EnvFile, WindowsPathAppliesTheSystemRules) {
    IntlValues v;
    v.am = "ma";
    v.pm = "mp";
    set_intl(v);
    ASSERT_TRUE(apply_locale_file("Windows"));
    EXPECT_EQ(am_text(), "ma");
    EXPECT_EQ(upper_char(0xE9), 0xC9);
    EXPECT_LT(collation_weight('A'), collation_weight(0xE1));
    EXPECT_LT(collation_weight(0xE1), collation_weight('b'));
}

TEST_F(EnvFile, LongFileAcrossBufferBoundaries) {
    // Lines placed so that keys, values and CR LF pairs straddle the 2048-byte buffer.
    std::string text;
    while (text.size() < 1900) text += "FILLER=" + std::string(60, 'x') + "\r\n";
    text += std::string(2047 - text.size(), ' ') + "TESMON=Abc,Def\r";
    text += "\nTESMSG35=Late";
    const std::string p = dir.write("long.env", text);
    ASSERT_TRUE(apply_locale_file(p));
    EXPECT_EQ(month_abbrev(1), "Abc");
    EXPECT_EQ(month_abbrev(2), "Def");
    EXPECT_EQ(message_text(35), "Late");  // last line without terminator
}

TEST_F(EnvFile, EnvironmentFileNameBesideTheProgram) {
    EXPECT_EQ(environment_file_path("/opt/app/LKDB32.EXE"), "/opt/app/LKDB32.ENV");
    EXPECT_EQ(environment_file_path("/usr/bin/sitekeeper"), "/usr/bin/sitekeeper.ENV");
    // A dot in a directory name is not the program's extension.
    EXPECT_EQ(environment_file_path("/home/u/sitekeeper-1.2/sitekeeper"), "/home/u/sitekeeper-1.2/sitekeeper.ENV");
    EXPECT_EQ(environment_file_path("/home/u/.local/sk"), "/home/u/.local/sk.ENV");
    EXPECT_EQ(environment_file_path("sk"), "sk.ENV");
}

TEST_F(EnvFile, StartUpReadsTheFileBesideTheProgram) {
    // In a directory whose name has a dot, with a lower-case extension.
    const std::string sub = dir.path() + "/v1.5";
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    std::ofstream(sub + "/prog.env") << "TESMON=Uno\r\nTESAMPM=am,pm\r\n";
    init_runtime_locale(sub + "/prog");
    EXPECT_EQ(month_abbrev(1), "Uno");
    EXPECT_EQ(am_text(), "am");
    // The upper-case name is taken first.
    std::ofstream(sub + "/prog.ENV") << "TESMON=Due\r\n";
    init_runtime_locale(sub + "/prog");
    EXPECT_EQ(month_abbrev(1), "Due");
    // A missing file leaves the defaults and no error.
    reset_locale_defaults();
    clear_error();
    init_runtime_locale(dir.path() + "/absent");
    EXPECT_EQ(month_abbrev(1), "Jan");
    EXPECT_EQ(error_code(), 0);
}

}  // namespace
}  // namespace sk::rt
