// Display pictures: the compiled form, formatting of every kind and reading
// typed text back.
#include "runtime/picture.h"

#include <gtest/gtest.h>

#include <cstring>

#include "runtime/date_time.h"
#include "runtime/locale.h"

namespace sk::rt {
namespace {

std::int32_t serial(int y, int m, int d) {
    std::int32_t s = 0;
    EXPECT_TRUE(date_to_serial(y, m, d, &s));
    return s;
}
double at(int h, int m, int s = 0) { return time_value(h, m, s, 0); }

class Picture : public ::testing::Test {
  protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        reset_locale_defaults();
        set_intl(IntlValues{});
    }
};

TEST_F(Picture, CompiledFormOfDatePicture) {
    CompiledPicture pic;
    ASSERT_EQ(compile_picture("@D2", &pic), 2 + 2 * 10);
    EXPECT_EQ(pic.bytes[0], kPictureDate);
    EXPECT_EQ(pic.bytes[1], 10);
    const unsigned char expected[] = {' ', kPosMonth, '0', kPosMonth, '/', kPosSeparator, '0', kPosDay,
                                      '0', kPosDay,   '/', kPosSeparator, '0', kPosYear, '0', kPosYear,
                                      '0', kPosYear,  '0', kPosYear};
    EXPECT_EQ(std::memcmp(pic.bytes + 2, expected, sizeof expected), 0);
    ASSERT_EQ(compile_picture("@d02-b", &pic), 22);
    EXPECT_EQ(pic.bytes[0], kPictureDate | kBlankWhenZero);
    EXPECT_EQ(pic.bytes[2], '0');
    EXPECT_EQ(pic.bytes[6], '-');
    ASSERT_EQ(compile_picture("@s15", &pic), 2);
    EXPECT_EQ(pic.bytes[0], kPictureString);
    EXPECT_EQ(pic.bytes[1], 15);
    ASSERT_EQ(compile_picture("@T3", &pic), 2 + 2 * 7);
    EXPECT_EQ(pic.bytes[3 + 2 * 5], kPosAmPm);
    EXPECT_EQ(pic.bytes[3 + 2 * 6], kPosAmPm);
}

TEST_F(Picture, CompiledFormOfNumericPictures) {
    CompiledPicture pic;
    ASSERT_EQ(compile_picture("@N$-7.2b", &pic), 2 + 2 * 7);
    EXPECT_EQ(pic.bytes[0], kPictureNumeric | kBlankWhenZero);
    const unsigned char money[] = {'$', kPosCurrency, '-', kPosSign, ' ', kPosDigitBlank, '0', kPosDigitZero,
                                   '.', kPosDecimalPoint, '0', kPosDigitZero, '0', kPosDigitZero};
    EXPECT_EQ(std::memcmp(pic.bytes + 2, money, sizeof money), 0);
    ASSERT_EQ(compile_picture("@n*5v1", &pic), 2 + 2 * 6);
    const unsigned char implied[] = {'*', kPosDigitBlank, '*', kPosDigitBlank, '*', kPosDigitBlank, '*', kPosDigitBlank,
                                     'v', kPosImpliedPoint, '0', kPosDigitZero};
    // Implied-decimal pictures group only when asked; the implied point takes no width.
    EXPECT_EQ(std::memcmp(pic.bytes + 2, implied, sizeof implied), 0);
    EXPECT_EQ(picture_width(pic), 5u);
    ASSERT_EQ(compile_picture("@E9.2", &pic), 2 + 2 * 9);
    EXPECT_EQ(pic.bytes[0], kPictureScientific);
    ASSERT_EQ(compile_picture("@K\\\\#^K", &pic), 2 + 2 * 3);
    EXPECT_EQ(pic.bytes[0], kPictureKeyIn);
    EXPECT_EQ(pic.bytes[2], '\\');
    EXPECT_EQ(pic.bytes[3], kPosLiteral);
    EXPECT_EQ(pic.bytes[5], kPosDigitZero);
    EXPECT_EQ(pic.bytes[7], kPosKeyCaret);
}

TEST_F(Picture, InvalidPicturesCompileToZero) {
    const char* bad[] = {"", "@", "@s", "@s0", "@s256", "@s12x", "@b", "@sb", "@D", "@D0", "@D19", "@D2x",
                         "@D2--", "@T9", "@T0", "@N", "@n0", "@n256", "@n3.2(", "@n(5", "@n-5-", "@n1.2",
                         "@n~5", "@n~~5", "@n5.2x", "@p##P", "@p", "@pp", "@kk", "@x5", "@e5", "@e20.16",
                         "@n10..2"};
    for (const char* text : bad) {
        CompiledPicture pic;
        std::memset(pic.bytes, 0xFF, sizeof pic.bytes);
        EXPECT_EQ(compile_picture(text, &pic), 0) << text;
        EXPECT_EQ(pic.bytes[0] | pic.bytes[1] | pic.bytes[2] | pic.bytes[3], 0) << text;
    }
    std::string long_picture = "@s1" + std::string(255, ' ');
    CompiledPicture pic;
    EXPECT_EQ(compile_picture(long_picture, &pic), 0);
    EXPECT_EQ(format(12.5, "@q9"), "12.5");
}

TEST_F(Picture, DatePictureTwoAtTheEdgesOfTheRange) {
    EXPECT_EQ(format(4, "@D2"), " 1/01/1801");
    EXPECT_EQ(format(36528, "@D2"), " 1/01/1901");
    EXPECT_EQ(format(109211, "@D2"), "12/31/2099");
    EXPECT_EQ(format(3, "@D2"), "  /  /    ");
    EXPECT_EQ(format(109212, "@D2"), "  /  /    ");
    EXPECT_EQ(format(0, "@D2"), "  /  /    ");
    EXPECT_EQ(format(0, "@D2b"), "          ");
    EXPECT_EQ(format(4, "@D2-"), " 1-01-1801");
    EXPECT_EQ(format(4, "@D02"), "01/01/1801");
    EXPECT_EQ(format(4, "@d2."), " 1.01.1801");
    EXPECT_EQ(format(4, "@D2`"), " 1,01,1801");
    EXPECT_EQ(format(4, "@D2_"), " 1 01 1801");
    EXPECT_EQ(format(4, "@D_6"), " 1/ 1/1801");
    EXPECT_EQ(format(4, "@D*1"), "*1/*1/*1");
}

TEST_F(Picture, EveryDateLayout) {
    const double d = serial(2024, 3, 7);
    const char* expected[] = {
        nullptr,      " 3/07/24",    " 3/07/2024", "MAR  7,2024", "March  7, 2024       ",
        " 7/03/24",   " 7/03/2024",  " 7 MAR 24",  " 7 MAR 2024", "24/03/07",
        "2024/03/07", "240307",      "20240307",   "03/24",       "03/2024",
        "24/03",      "2024/03",     "03/07/24",   "March 07, 2024       "};
    for (int n = 1; n <= 18; ++n) EXPECT_EQ(format(d, "@D" + std::to_string(n)), expected[n]) << n;
    EXPECT_EQ(format(serial(2024, 9, 30), "@D3"), "SEP 30,2024");
    EXPECT_EQ(format(3, "@D4"), std::string(15, ' ') + "," + std::string(5, ' '));
    EXPECT_EQ(format(d, "@D*3"), "MAR *7,2024");
}

TEST_F(Picture, MonthNamesComeFromTheLocaleTables) {
    apply_locale_key("TESMONTH", "janvier,f\xe9vrier,mars");
    const double d = serial(2024, 3, 7);
    EXPECT_EQ(format(d, "@D4"), "mars  7, 2024        ");
    EXPECT_EQ(format(d, "@D3"), "MAR  7,2024");
    EXPECT_EQ(format(serial(2024, 1, 9), "@D8"), " 9 JAN 2024");
    EXPECT_EQ(format(d, "@D*4"), "mars******** *7, 2024");
}

TEST_F(Picture, SystemDateLayoutsAreReducedToTheirFields) {
    IntlValues iv;
    iv.short_date = "dd.MM.yyyy";
    iv.long_date = "dddd, d. MMMM yyyy";
    set_intl(iv);
    const double d = serial(2024, 3, 7);
    EXPECT_EQ(format(d, "@D17"), "07.03.2024");
    EXPECT_EQ(format(d, "@D17-"), "07-03-2024");
    EXPECT_EQ(format(d, "@D18"), " 7. March 2024       ");
    iv.short_date = "yyyy'x'M'x'd";
    iv.long_date = "gg";  // no field at all: the long layout of picture 4
    set_intl(iv);
    EXPECT_EQ(format(d, "@D17"), "2024x 3x 7");
    EXPECT_EQ(format(d, "@D18"), "March  7, 2024       ");
}

TEST_F(Picture, TimePictures) {
    EXPECT_EQ(format(1, "@T3"), "12:00AM");
    EXPECT_EQ(format(12 * 360000 + 1, "@T3"), "12:00PM");
    EXPECT_EQ(format(at(13, 5), "@T3"), " 1:05PM");
    EXPECT_EQ(format(at(13, 5, 7), "@T1"), "13:05");
    EXPECT_EQ(format(at(13, 5, 7), "@T2"), "1305");
    EXPECT_EQ(format(at(13, 5, 7), "@T4"), "13:05:07");
    EXPECT_EQ(format(at(13, 5, 7), "@T5"), "130507");
    EXPECT_EQ(format(at(23, 59, 59), "@T6"), "11:59:59PM");
    EXPECT_EQ(format(at(9, 5), "@T01"), "09:05");
    EXPECT_EQ(format(at(9, 5), "@T1."), " 9.05");
    EXPECT_EQ(format(kLastTime, "@T4"), "23:59:59");
    EXPECT_EQ(format(kLastTime + 1, "@T4"), "  :  :  ");
    EXPECT_EQ(format(-7, "@T3"), "  :    ");
    EXPECT_EQ(format(0, "@T1"), "  :  ");
    EXPECT_EQ(format(0, "@T1b"), "     ");
    apply_locale_key("TESAMPM", "v,n");
    EXPECT_EQ(format(at(13, 5), "@T3"), " 1:05n ");
}

TEST_F(Picture, SystemTimeLayouts) {
    EXPECT_EQ(format(at(13, 5, 7), "@T7"), "01:05PM");
    EXPECT_EQ(format(at(13, 5, 7), "@T8"), "01:05:07PM");
    IntlValues iv;
    iv.time_separator = '.';
    iv.hour24 = true;
    iv.time_leading_zero = false;
    set_intl(iv);
    EXPECT_EQ(format(at(9, 5, 7), "@T7"), " 9.05");
    EXPECT_EQ(format(at(9, 5, 7), "@T8"), " 9.05.07");
    iv.hour24 = false;
    iv.am = "a";
    iv.pm = "p";
    set_intl(iv);
    apply_locale_key("TESAMPM", "xx,yy");  // the locale texts do not apply to 7 and 8
    EXPECT_EQ(format(at(9, 5, 7), "@T7"), " 9.05a ");
}

TEST_F(Picture, NumericLayouts) {
    EXPECT_EQ(format(5, "@N2"), " 5");
    EXPECT_EQ(format(1234, "@N3"), "###");
    EXPECT_EQ(format(0, "@N5"), "    0");
    EXPECT_EQ(format(0, "@N5b"), "     ");
    EXPECT_EQ(format(1234.5, "@N10.2"), "  1,234.50");
    EXPECT_EQ(format(1234567, "@N12"), "   1,234,567");
    EXPECT_EQ(format(-1234.5, "@N-10.2"), " -1,234.50");
    EXPECT_EQ(format(1234.5, "@N-10.2"), "  1,234.50");
    EXPECT_EQ(format(-5, "@N(10.2)"), "    (5.00)");
    EXPECT_EQ(format(5, "@N(10.2)"), "     5.00 ");
    EXPECT_EQ(format(-5, "@N10.2-"), "     5.00-");
    EXPECT_EQ(format(-5, "@N-010"), "-000000005");
    EXPECT_EQ(format(42, "@N010"), "0000000042");
    EXPECT_EQ(format(42, "@N*10.2"), "*****42.00");
    EXPECT_EQ(format(1234, "@N*8"), "***1,234");
    EXPECT_EQ(format(1234, "@N_8"), "    1234");
    EXPECT_EQ(format(1234.5, "@N$10.2"), "$ 1,234.50");
    EXPECT_EQ(format(5, "@N10.2~ EUR~"), "  5.00 EUR");
    EXPECT_EQ(format(1234.5, "@N10`2"), "  1.234,50");
    EXPECT_EQ(format(1234.5, "@N10_.2"), "  1 234.50");
    EXPECT_EQ(format(12.345, "@N6v2"), "  1235");
    EXPECT_EQ(format(0.5, "@N3.2"), ".50");
    EXPECT_EQ(format(1234.5, "@N6.2"), "###.##");
    EXPECT_EQ(format(999, "@N4"), " 999");
    EXPECT_EQ(format(1234, "@N4"), "####");
    EXPECT_EQ(format(1e300, "@N20"), std::string(20, '#'));
    EXPECT_EQ(format(1e18, "@N30"), "     1,000,000,000,000,000,000");
}

TEST_F(Picture, NumericSignsWithoutASignPosition) {
    EXPECT_EQ(format(-42, "@N5"), "  -42");
    EXPECT_EQ(format(-42, "@N05"), "-0042");
    EXPECT_EQ(format(-42, "@N2"), "##");
    EXPECT_EQ(format(-0.001, "@N5.2"), " 0.00");  // rounds to zero: no sign
}

TEST_F(Picture, RoundingIsHalfUp) {
    EXPECT_EQ(format(1.005, "@N4.2"), "1.01");
    EXPECT_EQ(format(2.675, "@N4.2"), "2.68");
    EXPECT_EQ(format(0.125, "@N4.2"), "0.13");
    EXPECT_EQ(format(-2.5, "@N-3"), " -3");
    EXPECT_EQ(format(2.4999, "@N3"), "  2");
    EXPECT_EQ(format(99.995, "@N5.2"), "##.##");
    EXPECT_EQ(format(99.995, "@N6.2"), "100.00");
}

TEST_F(Picture, Scientific) {
    EXPECT_EQ(format(1234.5, "@E10.3"), " 1.235e+03");
    EXPECT_EQ(format(-0.000123, "@E10.3"), "-1.230e-04");
    EXPECT_EQ(format(0, "@E10.3"), " 0.000e+00");
    EXPECT_EQ(format(0, "@E10.3b"), "          ");
    EXPECT_EQ(format(9.9996, "@E10.3"), " 1.000e+01");
    EXPECT_EQ(format(1e150, "@E10.3"), "1.000e+150");
    EXPECT_EQ(format(-1e150, "@E10.3"), "##########");
    EXPECT_EQ(format(5, "@E8"), "  5e+000");  // a wider picture reserves three exponent digits
    EXPECT_EQ(format(5, "@E12`2"), "   5,00e+000");
}

TEST_F(Picture, PatternsAndKeyIns) {
    EXPECT_EQ(format(5551234567.0, "@P(###)###-####P"), "(555)123-4567");
    EXPECT_EQ(format(123, "@p<<#-##p"), "  1-23");
    EXPECT_EQ(format(5, "@p<<#-##p"), "  0-05");
    EXPECT_EQ(format(-5, "@p<<#-##p"), " -0-05");
    EXPECT_EQ(format(-5, "@p##p"), "##");
    EXPECT_EQ(format(123456, "@p<<#-##p"), "###-##");
    EXPECT_EQ(format(0, "@p<<#-##pb"), "      ");
    EXPECT_EQ(format("5551234", "@K###-####K"), "5551234 ");
    EXPECT_EQ(deformat("5551234", "@K###-####K"), "555-1234");
    EXPECT_EQ(deformat("555-1234", "@K###-####K"), "555-1234");
    EXPECT_EQ(deformat("55x1234", "@K###-####K"), "55x1234");
    EXPECT_EQ(deformat("abc", "@K^@_K"), "Abc");
    EXPECT_EQ(deformat("ABC", "@K^@_K"), "ABc");
    EXPECT_EQ(deformat("#7", "@k\\##k"), "#7");
    EXPECT_EQ(deformat("x7", "@k\\##k"), "x7");  // rejected: the text comes back as typed
    EXPECT_EQ(deformat("a9", "@k|||k"), "a9 ");
}

TEST_F(Picture, StringPictures) {
    const std::string sixty(60, 'x');
    std::string text;
    for (int i = 0; i < 60; ++i) text += static_cast<char>('A' + i % 26);
    EXPECT_EQ(format(text, "@S15"), text.substr(0, 15));
    EXPECT_EQ(format("ab", "@s5"), "ab   ");
    EXPECT_EQ(format(12.5, "@s6"), "12.5  ");
    EXPECT_EQ(deformat(text, "@s15"), text.substr(0, 15));
    CompiledPicture pic;
    ASSERT_EQ(compile_picture("@s15", &pic), 2);
    char out[8];
    format_text(pic, text, out, sizeof out);  // cut to the output width too
    EXPECT_EQ(std::string(out, sizeof out), text.substr(0, 8));
    EXPECT_EQ(picture_width(pic), 15u);
}

TEST_F(Picture, FormatStaysInsideTheOutputArea) {
    CompiledPicture pic;
    ASSERT_GT(compile_picture("@N-12.2", &pic), 0);
    char out[6];
    std::memset(out, '?', sizeof out);
    format_number(pic, -1234.5, out, 4);
    EXPECT_EQ(std::string(out, 6), "   -??");
    char wide[16];
    format_number(pic, 1, wide, sizeof wide);
    EXPECT_EQ(std::string(wide, 16), "        1.00    ");
    ASSERT_GT(compile_picture("@N6v2", &pic), 0);
    EXPECT_EQ(picture_width(pic), 6u);
}

TEST_F(Picture, TextValuesThroughNumberPictures) {
    EXPECT_EQ(format("1234.5", "@N10.2"), "  1,234.50");
    EXPECT_EQ(format("2024/3/7", "@D10"), "2024/03/07");
    EXPECT_EQ(format("nonsense", "@N4"), "   0");
}

TEST_F(Picture, DeformatNumbers) {
    struct Case {
        const char* typed;
        const char* picture;
        double value;
    } cases[] = {
        {"5", "@N2", 5},
        {" 5", "@N2", 5},
        {"", "@N2", 0},
        {"1,234.50", "@N10.2", 1234.5},
        {" -1,234.50", "@N-10.2", -1234.5},
        {"    (5.00)", "@N(10.2)", -5},
        {"5.00-", "@N10.2-", -5},
        {"$ 1,234.50", "@N$10.2", 1234.5},
        {"  5.00 EUR", "@N10.2~ EUR~", 5},
        {"  1.234,50", "@N10`2", 1234.5},
        {"  1 234.50", "@N10_.2", 1234.5},
        {"  1235", "@N6v2", 12.35},
        {"12.3", "@N6v2", 12.3},
        {"*****42.00", "@N*10.2", 42},
        {" 1.235e+03", "@E10.3", 1235},
        {"-1.230e-04", "@E10.3", -0.000123},
        {"(555)123-4567", "@P(###)###-####P", 5551234567.0},
        {" -0-05", "@p<<#-##p", -5},
        {"12", "@p<<#-##p", 12},
        {"7", "@s5", 7},
    };
    for (const Case& c : cases) {
        double v = -999;
        ASSERT_TRUE(deformat_number(c.typed, c.picture, &v)) << c.typed << " " << c.picture;
        EXPECT_DOUBLE_EQ(v, c.value) << c.typed << " " << c.picture;
    }
    const char* rejected[][2] = {{"abc", "@N5"}, {"###", "@N3"}, {"1.2.3", "@N6.2"}, {"--5", "@N5"},
                                 {"(5", "@N(5)"}, {"1e5", "@N8"}, {"x", "@p##p"}, {"12", "@bad"}};
    for (auto& r : rejected) {
        double v = 1;
        EXPECT_FALSE(deformat_number(r[0], r[1], &v)) << r[0] << " " << r[1];
        EXPECT_EQ(v, 1);
    }
    EXPECT_EQ(deformat("1,234.50", "@N10.2"), "1234.5");
    EXPECT_EQ(deformat("-5", "@N5"), "-5");
    EXPECT_EQ(deformat("abc", "@N5"), "");
}

TEST_F(Picture, DeformatDates) {
    const double d = serial(2024, 3, 7);
    struct Case {
        const char* typed;
        const char* picture;
        double value;
    } cases[] = {
        {"3/7/2024", "@D2", d},       {" 3/07/24", "@D1", d},        {"MAR  7,2024", "@D3", d},
        {"March 7, 2024", "@D4", d},  {"7 Mar 2024", "@D2", d},       {"mar 7 2024", "@D2", d},
        {"3/7/2024", "@D3", d},        {"20240307", "@D12", d},        {"240307", "@D11", d},
        {"03072024", "@D2", d},        {"030724", "@D2", d},           {"7.3.2024", "@D6", d},
        {"03/2024", "@D14", double(serial(2024, 3, 1))}, {"", "@D2", 0},       {"  /  /    ", "@D2", 0},
        {"1/1/1801", "@D2", 4},        {"12/31/2099", "@D2", 109211},  {"3/7/49", "@D1", double(serial(2049, 3, 7))},
        {"3/7/50", "@D1", double(serial(1950, 3, 7))},
    };
    for (const Case& c : cases) {
        double v = -1;
        ASSERT_TRUE(deformat_number(c.typed, c.picture, &v)) << c.typed << " " << c.picture;
        EXPECT_EQ(v, c.value) << c.typed << " " << c.picture;
    }
    const char* rejected[] = {"2/30/2024", "3/7/1800", "hello", "3/7", "13/1/2024", "3/7/024", "1/2/3/4",
                              "Foo 7 2024", "Mar Apr 2024", "1234567"};
    for (const char* typed : rejected) {
        double v = 0;
        EXPECT_FALSE(deformat_number(typed, "@D2", &v)) << typed;
    }
}

TEST_F(Picture, DeformatTimes) {
    struct Case {
        const char* typed;
        const char* picture;
        double value;
    } cases[] = {
        {"1:05PM", "@T3", at(13, 5)},   {" 1:05PM", "@T3", at(13, 5)}, {"1:05 pm", "@T3", at(13, 5)},
        {"12:00AM", "@T3", 1},          {"12:00PM", "@T3", at(12, 0)}, {"1:05a", "@T3", at(1, 5)},
        {"13:05", "@T3", at(13, 5)},    {"13:05", "@T1", at(13, 5)},   {"1305", "@T2", at(13, 5)},
        {"105", "@T2", at(1, 5)},       {"130507", "@T5", at(13, 5, 7)}, {"13:05:07", "@T4", at(13, 5, 7)},
        {"0:00", "@T1", 1},             {"", "@T1", 0},                {"  :  ", "@T1", 0},
        {"13:05:07.25", "@T4", at(13, 5, 7) + 25},
    };
    for (const Case& c : cases) {
        double v = -1;
        ASSERT_TRUE(deformat_number(c.typed, c.picture, &v)) << c.typed << " " << c.picture;
        EXPECT_EQ(v, c.value) << c.typed << " " << c.picture;
    }
    const char* rejected[] = {"25:00", "1:60", "1:05XM", "13:05AM", "PM", "1234567", "1:2:3:4:5"};
    for (const char* typed : rejected) {
        double v = 0;
        EXPECT_FALSE(deformat_number(typed, "@T3", &v)) << typed;
    }
}

TEST_F(Picture, EveryDateReadsBackThroughFourDigitYearPictures) {
    const int pictures[] = {2, 3, 4, 6, 8, 10, 12, 17, 18};
    IntlValues iv;
    iv.short_date = "yyyy-MM-dd";
    set_intl(iv);
    for (int n : pictures) {
        CompiledPicture pic;
        ASSERT_GT(compile_picture("@D" + std::to_string(n), &pic), 0);
        const std::size_t width = picture_width(pic);
        char out[64];
        const int stride = n == 2 ? 1 : 13;
        for (std::int32_t s = kFirstDate; s <= kLastDate; s += stride) {
            format_number(pic, s, out, width);
            double back = 0;
            ASSERT_TRUE(deformat_number(std::string_view(out, width), pic, &back)) << n << " " << s;
            ASSERT_EQ(back, s) << n << " " << std::string_view(out, width);
        }
    }
}

TEST_F(Picture, TimesReadBack) {
    for (const char* picture : {"@T1", "@T3", "@T4", "@T6", "@T7", "@T8"}) {
        CompiledPicture pic;
        ASSERT_GT(compile_picture(picture, &pic), 0);
        const bool seconds = picture[2] == '4' || picture[2] == '6' || picture[2] == '8';
        const std::size_t width = picture_width(pic);
        for (int v = 1; v <= kLastTime; v += seconds ? 100 * 7 : 6000) {
            char out[32];
            format_number(pic, v, out, width);
            double back = 0;
            ASSERT_TRUE(deformat_number(std::string_view(out, width), pic, &back)) << picture << " " << v;
            ASSERT_EQ(back, v) << picture << " " << std::string_view(out, width);
        }
    }
}

TEST_F(Picture, NumbersReadBack) {
    const char* pictures[] = {"@N-12.2", "@N(14`3)", "@N$*12.2", "@N12v2-", "@N-014", "@N12_.1~ kr~", "@E14.6"};
    const double values[] = {0, 1, -1, 0.5, 12.25, -1234.56, 98765.4, 0.07, -0.05, 123456.789};
    for (const char* picture : pictures) {
        CompiledPicture pic;
        ASSERT_GT(compile_picture(picture, &pic), 0) << picture;
        for (double v : values) {
            const std::string shown = format(v, picture);
            ASSERT_EQ(shown.find('#'), std::string::npos) << picture << " " << v;
            double back = 0;
            ASSERT_TRUE(deformat_number(shown, pic, &back)) << picture << " [" << shown << "]";
            EXPECT_EQ(format(back, picture), shown) << picture << " " << v;
        }
    }
}

}  // namespace
}  // namespace sk::rt
