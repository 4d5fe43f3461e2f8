// Characters beyond ASCII at the keyboard: their simple upper case (used to match
// mnemonics), and the text of keys the backend has no virtual-key code for.
#include "platform/display/key_text.h"
#include "platform/display/utf8.h"

#include <gtest/gtest.h>

#include <utility>

using namespace sk::platform::display;

TEST(UpperCase, MapsLettersOfEuropeanScriptsWhateverTheLocale) {
    // Latin-1 and Latin Extended-A (on both sides of where its pairs shift by one),
    // Greek with its final sigma, Cyrillic; and characters that keep their case.
    const std::pair<char32_t, char32_t> cases[] = {
        {U'é', U'É'}, {U'þ', U'Þ'}, {U'ÿ', U'Ÿ'}, {U'ā', U'Ā'}, {U'Ā', U'Ā'}, {U'ı', U'I'}, {U'ĺ', U'Ĺ'},
        {U'Ĺ', U'Ĺ'}, {U'ň', U'Ň'}, {U'ŋ', U'Ŋ'}, {U'ž', U'Ž'}, {U'Ž', U'Ž'}, {U'α', U'Α'}, {U'ς', U'Σ'},
        {U'ώ', U'Ώ'}, {U'ж', U'Ж'}, {U'ё', U'Ё'}, {U'q', U'Q'},
        {U'÷', U'÷'}, {U'ß', U'ß'}, {U'ĸ', U'ĸ'}, {U'7', U'7'}, {U'€', U'€'}, {0x110000, 0x110000},
    };
    for (auto [lower, upper] : cases) EXPECT_EQ(upper_case_char(lower), upper) << std::hex << static_cast<std::uint32_t>(lower);
}

TEST(KeyTextFallback, TypesAKeysCharacterOnlyWhenTheOsSentNoText) {
    KeyTextFallback f;
    // The OS sent the keystroke's text: the key's own character is dropped.
    EXPECT_EQ(f.key_down(U'é'), "");
    f.text_arrived();
    EXPECT_EQ(f.flush(), "");
    // No text came: the character goes out when the key goes up, once.
    EXPECT_EQ(f.key_down(U'ö'), "");
    EXPECT_EQ(f.flush(), "\xC3\xB6");
    EXPECT_EQ(f.flush(), "");
    // A second such key before the first went up pays the first one's debt.
    f.key_down(U'ä');
    EXPECT_EQ(f.key_down(U'ü'), "\xC3\xA4");
    EXPECT_EQ(f.flush(), "\xC3\xBC");
    // A key that types nothing owes nothing.
    f.key_down(0);
    EXPECT_EQ(f.flush(), "");
}

TEST(KeyTextFallback, KeyCodesOutsideUnicodeOrControlTypeNothing) {
    EXPECT_EQ(key_code_char(0xE9, false), U'é');
    EXPECT_EQ(key_code_char(0xE9, true), U'É');
    // Escape, Delete, a C1 control, a lone surrogate, a key named by its scan code.
    for (std::int32_t code : {0x1B, 0x7F, 0x85, 0xD800, 0x4000003A, -5}) EXPECT_EQ(key_code_char(code, false), char32_t{0}) << code;
}
