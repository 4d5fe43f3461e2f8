// Random picture texts, values and typed texts: the compiler, the formatter and
// the reader must never fail unsafely, write outside the output area or produce
// a compiled form that breaks its own layout.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "runtime/locale.h"
#include "runtime/picture.h"

namespace sk::rt {
namespace {

constexpr char kPictureAlphabet[] = "@@sdtnepkSDTNEPKbB0123456789012345.-_`*$~()vV<#^?|\\ x,/";

std::string random_picture(std::mt19937& rng) {
    std::uniform_int_distribution<int> length(0, 24), pick(0, sizeof kPictureAlphabet - 2), coin(0, 3);
    std::string s;
    if (coin(rng)) s += '@';
    int n = length(rng);
    // Mostly start with a kind letter so that the deeper grammar is reached.
    if (coin(rng)) s += "sdtnepkSN"[std::uniform_int_distribution<int>(0, 8)(rng)];
    for (int i = 0; i < n; ++i) s += kPictureAlphabet[pick(rng)];
    if (!s.empty() && s.size() > 2 && (s[1] == 'p' || s[1] == 'k') && coin(rng)) s += s[1];
    return s;
}

std::string random_text(std::mt19937& rng) {
    static const char typed[] = "0123456789 /:.,-()$*#AaPpMmJjNn~e+";
    std::uniform_int_distribution<int> length(0, 30), pick(0, sizeof typed - 2), byte(0, 255), coin(0, 9);
    std::string s;
    int n = length(rng);
    for (int i = 0; i < n; ++i) s += coin(rng) ? typed[pick(rng)] : static_cast<char>(byte(rng));
    return s;
}

double random_value(std::mt19937& rng) {
    std::uniform_int_distribution<int> which(0, 9);
    switch (which(rng)) {
        case 0: return std::numeric_limits<double>::quiet_NaN();
        case 1: return (which(rng) % 2 ? 1 : -1) * std::numeric_limits<double>::infinity();
        case 2: return std::uniform_int_distribution<int>(-10, 120000)(rng);
        case 3: return std::uniform_int_distribution<int>(-5, 8640005)(rng);
        case 4: return std::ldexp(std::uniform_real_distribution<double>(-1, 1)(rng),
                                  std::uniform_int_distribution<int>(-1074, 1023)(rng));
        case 5: return 0.0;
        case 6: return -0.0;
        case 7: return std::numeric_limits<double>::denorm_min();
        default: return std::uniform_real_distribution<double>(-1e7, 1e7)(rng);
    }
}

TEST(PictureRandom, CompileFormatAndDeformatStaySafe) {
    std::mt19937 rng(20240307);
    int valid = 0;
    constexpr std::size_t kGuard = 8;
    for (int round = 0; round < 60000; ++round) {
        const std::string picture = random_picture(rng);
        CompiledPicture pic;
        std::memset(pic.bytes, 0xAB, sizeof pic.bytes);
        const int length = compile_picture(picture, &pic);
        if (length == 0) {
            ASSERT_EQ(pic.bytes[0] | pic.bytes[1] | pic.bytes[2] | pic.bytes[3], 0) << picture;
        } else {
            ++valid;
            const unsigned kind = pic.bytes[0] & kPictureKindMask;
            ASSERT_LE(kind, 6u) << picture;
            ASSERT_EQ(length, kind == kPictureString ? 2 : 2 + 2 * pic.bytes[1]) << picture;
            ASSERT_LE(picture_width(pic), 255u) << picture;
        }
        const std::size_t width = length ? picture_width(pic) : 12;
        for (std::size_t out_width : {width, width / 2, width + 5}) {
            char area[300 + 2 * kGuard];
            std::memset(area, 0x5A, sizeof area);
            format_number(pic, random_value(rng), area + kGuard, out_width);
            for (std::size_t g = 0; g < kGuard; ++g) {
                ASSERT_EQ(area[g], 0x5A) << picture;
                ASSERT_EQ(area[kGuard + out_width + g], 0x5A) << picture;
            }
            format_text(pic, random_text(rng), area + kGuard, out_width);
            ASSERT_EQ(area[kGuard + out_width], 0x5A) << picture;
        }
        const std::string typed = random_text(rng);
        double v = 0;
        deformat_number(typed, pic, &v);
        std::string text = deformat(typed, pic);
        ASSERT_LE(text.size(), 400u);
        // Whatever a picture shows of a finite value it reads back without fault.
        if (length) {
            const std::string shown = format(random_value(rng), picture);
            deformat_number(shown, picture, &v);
        }
    }
    EXPECT_GT(valid, 5000);
}

TEST(PictureRandom, ValuesThroughFixedPicturesReadBack) {
    std::mt19937 rng(7);
    const char* pictures[] = {"@N-15.2", "@N$(15`2)", "@N*15.3", "@N_15v2-", "@E15.5", "@D2", "@D6", "@D4",
                              "@T4", "@T6", "@P<<<<<<<##P"};
    for (const char* picture : pictures) {
        CompiledPicture pic;
        ASSERT_GT(compile_picture(picture, &pic), 0) << picture;
        for (int i = 0; i < 3000; ++i) {
            double v = random_value(rng);
            if (!std::isfinite(v)) continue;
            std::string shown(picture_width(pic), ' ');
            format_number(pic, v, shown.data(), shown.size());
            if (shown.find('#') != std::string::npos) continue;
            double back = 0;
            ASSERT_TRUE(deformat_number(shown, pic, &back)) << picture << " [" << shown << "]";
            std::string again(shown.size(), ' ');
            format_number(pic, back, again.data(), again.size());
            ASSERT_EQ(again, shown) << picture << " " << v;
        }
    }
}

}  // namespace
}  // namespace sk::rt
