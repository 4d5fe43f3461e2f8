// Bound variables read and written as text through pictures.
#include "ui/controls/variable.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace sk::ui;
namespace rt = sk::rt;

TEST(BoundVariableText, StringPictureFormatsAndStoresBlankPadded) {
    char s[10];
    std::memset(s, 'x', sizeof s);
    rt::BoundVariable v = rt::bound_string(s, sizeof s);
    ControlPicture pic("s10");
    EXPECT_EQ(store_variable(v, pic, "abc"), 0);
    EXPECT_EQ(std::string(s, 10), "abc       ");
    EXPECT_EQ(format_variable(v, pic), "abc       ");
    // A value longer than the variable is cut at a character boundary.
    EXPECT_EQ(store_variable(v, ControlPicture(), "abcdefghi\xC3\xA9"), 0);
    EXPECT_EQ(std::string(s, 10), "abcdefghi ");
}

TEST(BoundVariableText, DecimalThroughNumberPicture) {
    unsigned char d[2] = {};
    rt::BoundVariable v = rt::bound_decimal(d, 3, 0);
    ControlPicture pic("N2");
    EXPECT_EQ(store_variable(v, pic, "42"), 0);
    EXPECT_EQ(d[0], 0x00);
    EXPECT_EQ(d[1], 0x42);
    EXPECT_EQ(format_variable(v, pic), "42");
    EXPECT_EQ(store_variable(v, pic, "-7"), 0);
    EXPECT_DOUBLE_EQ(variable_number(v), -7);
    EXPECT_NE(store_variable(v, pic, "zz"), 0);
    EXPECT_DOUBLE_EQ(variable_number(v), -7);  // untouched on failure
    // A value the two bytes cannot hold is refused rather than wrapped.
    EXPECT_EQ(store_variable(v, ControlPicture(), "1234"), kStoreOutOfRange);
}

TEST(BoundVariableText, IntegersAreRangeChecked) {
    std::uint8_t b = 5;
    rt::BoundVariable v = rt::bound_byte(&b);
    EXPECT_EQ(store_variable(v, ControlPicture("n3"), "255"), 0);
    EXPECT_EQ(b, 255);
    EXPECT_EQ(store_variable(v, ControlPicture("n3"), "256"), kStoreOutOfRange);
    EXPECT_EQ(b, 255);
    std::int32_t l = 0;
    rt::BoundVariable lv = rt::bound_long(&l);
    EXPECT_EQ(store_variable(lv, ControlPicture(), "-123"), 0);
    EXPECT_EQ(l, -123);
    EXPECT_EQ(variable_text(lv), "-123");
}

TEST(BoundVariableText, CStringAndPStringKeepTheirLayout) {
    char c[6];
    rt::BoundVariable cv = rt::bound_cstring(c, sizeof c);
    set_variable_text(cv, "abcdefgh");
    EXPECT_EQ(std::string(c), "abcde");
    char p[5];
    rt::BoundVariable pv = rt::bound_pstring(p, sizeof p);
    set_variable_text(pv, "xy");
    EXPECT_EQ(p[0], 2);
    EXPECT_EQ(variable_text(pv), "xy");
}

TEST(BoundVariableText, RefsAreCheckedBeforeUse) {
    EXPECT_EQ(bound_variable(VariableRef{}), nullptr);
    rt::BoundVariable broken;  // no address
    EXPECT_EQ(bound_variable(VariableRef{&broken, 18}), nullptr);
    sk::data::Queue q(4);
    RowSource rs{&q, {}};
    EXPECT_EQ(row_source(VariableRef{&rs, 25}), &rs);
    EXPECT_EQ(row_source(VariableRef{&rs, 18}), nullptr);
    unsigned char record[4] = {};
    EXPECT_EQ(record_field(record, 4, QueueField{2, rt::kTypeString, 3, 0}).address, nullptr);
    EXPECT_NE(record_field(record, 4, QueueField{1, rt::kTypeString, 3, 0}).address, nullptr);
}

TEST(BoundVariableText, Utf8PrefixNeverSplitsASequence) {
    EXPECT_EQ(utf8_prefix("ab\xC3\xA9", 3), "ab");
    EXPECT_EQ(utf8_prefix("ab\xC3\xA9", 4), "ab\xC3\xA9");
    EXPECT_EQ(utf8_prefix("a\xE2\x82\xAC" "b", 3), "a");
    // A stray byte is a character of its own and may be cut after.
    EXPECT_EQ(utf8_prefix("a\xA9\xA9", 2), "a\xA9");
}

TEST(BoundVariableText, StringPictureNeverStoresHalfACharacter) {
    char s[3];
    rt::BoundVariable v = rt::bound_string(s, 3);
    ControlPicture pic("s3");
    EXPECT_EQ(store_variable(v, pic, "ab\xE2\x82\xAC"), 0);
    EXPECT_EQ(std::string(s, 3), "ab ");
    std::memcpy(s, "a\xC3\xA9", 3);
    EXPECT_EQ(format_variable(v, ControlPicture("s2")), "a ");
}
