// Code page 850 and Windows-1252: conversion tables, letters and dictionary order.
//
// Both sets are described by the Unicode character of each code from 128 up;
// the conversions are derived from those descriptions at compile time. A code
// whose character the other set lacks converts to a plain look-alike.
#include "runtime/oem.h"

#include <array>
#include <cstdint>

namespace sk::rt {
namespace {

// Code page 850, codes 128 to 255.
constexpr std::uint16_t kOemHigh[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,  // B0
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,  // C8
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,  // D0
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,  // D8
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,  // E0
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,  // E8
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,  // F0
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,  // F8
};

// Windows-1252, codes 128 to 159 (0 = unassigned); 160 to 255 are Latin-1.
constexpr std::uint16_t kAnsiC1[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98
};

constexpr std::uint16_t ansi_unicode(unsigned c) {
    if (c < 128 || c >= 160) return static_cast<std::uint16_t>(c);
    return kAnsiC1[c - 128];
}

constexpr std::uint16_t oem_unicode(unsigned c) {
    return c < 128 ? static_cast<std::uint16_t>(c) : kOemHigh[c - 128];
}

// Plain stand-ins for the characters one set has and the other lacks.
constexpr unsigned char look_alike(std::uint16_t u) {
    switch (u) {
        case 0x2591: case 0x2592: case 0x2593: case 0x2588: case 0x25A0: return '#';
        case 0x2584: case 0x2017: return '_';
        case 0x2580: case 0x2500: case 0x2550: case 0x2013: case 0x2014: return '-';
        case 0x2502: case 0x2551: return '|';
        case 0x2524: case 0x2563: case 0x2557: case 0x255D: case 0x2510: case 0x2514:
        case 0x2534: case 0x252C: case 0x251C: case 0x253C: case 0x255A: case 0x2554:
        case 0x2569: case 0x2566: case 0x2560: case 0x256C: case 0x2518: case 0x250C:
        case 0x2020: case 0x2021: return '+';
        case 0x0131: return 'i';
        case 0x20AC: return 'E';
        case 0x201A: return ',';
        case 0x201E: case 0x201C: case 0x201D: return '"';
        case 0x2026: return '.';
        case 0x02C6: return '^';
        case 0x2030: return '%';
        case 0x0160: return 'S';
        case 0x0161: return 's';
        case 0x2039: return '<';
        case 0x203A: return '>';
        case 0x0152: return 'O';
        case 0x0153: return 'o';
        case 0x017D: return 'Z';
        case 0x017E: return 'z';
        case 0x0178: return 'Y';
        case 0x2018: case 0x2019: return '\'';
        case 0x02DC: return '~';
        case 0x2122: return 'T';
        default: return '?';
    }
}

using Table = std::array<unsigned char, 256>;

constexpr Table make_oem_to_ansi() {
    Table t{};
    for (unsigned c = 0; c < 256; ++c) {
        const std::uint16_t u = oem_unicode(c);
        unsigned char result = look_alike(u);
        for (unsigned a = 0; a < 256; ++a) {
            if (ansi_unicode(a) == u) {
                result = static_cast<unsigned char>(a);
                break;
            }
        }
        t[c] = result;
    }
    return t;
}

constexpr Table make_ansi_to_oem() {
    Table t{};
    for (unsigned c = 0; c < 256; ++c) {
        const std::uint16_t u = ansi_unicode(c);
        // The bullet has the OEM middle dot as its nearest neighbour.
        unsigned char result = u == 0x2022 ? 0xFA : look_alike(u);
        const bool unassigned = c >= 128 && c < 160 && u == 0;
        if (!unassigned) {
            for (unsigned o = 0; o < 256; ++o) {
                if (oem_unicode(o) == u) {
                    result = static_cast<unsigned char>(o);
                    break;
                }
            }
        }
        t[c] = result;
    }
    return t;
}

constexpr Table kOemToAnsi = make_oem_to_ansi();
constexpr Table kAnsiToOem = make_ansi_to_oem();

constexpr bool ansi_upper_letter(unsigned c) {
    return (c >= 'A' && c <= 'Z') || c == 0x8A || c == 0x8C || c == 0x8E || c == 0x9F ||
           (c >= 0xC0 && c <= 0xDE && c != 0xD7);
}

constexpr bool ansi_alpha_letter(unsigned c) {
    return ansi_upper_letter(c) || (c >= 'a' && c <= 'z') || c == 0x83 || c == 0x9A || c == 0x9C ||
           c == 0x9E || c == 0xAA || c == 0xB5 || c == 0xBA || (c >= 0xDF && c != 0xF7);
}

constexpr unsigned char ansi_lower_letter(unsigned c) {
    if (!ansi_upper_letter(c)) return static_cast<unsigned char>(c);
    switch (c) {
        case 0x8A: return 0x9A;
        case 0x8C: return 0x9C;
        case 0x8E: return 0x9E;
        case 0x9F: return 0xFF;
        default: return static_cast<unsigned char>(c + 32);
    }
}

// The dictionary order of the ANSI set, every code exactly once. Control codes
// and unassigned codes come first, then blanks, punctuation and symbols, then
// digits (with the fractions and superscripts of each digit), then letters:
// each base letter, lower case first, followed by its accented forms.
constexpr unsigned char kAnsiOrder[] = {
    // control and unassigned codes, and the soft hyphen
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26,
    27, 28, 29, 30, 31, 127, 129, 141, 143, 144, 157, 173,
    // blanks, apostrophe and dashes
    32, 160, 39, 45, 150, 151,
    // punctuation
    33, 34, 35, 36, 37, 38, 40, 41, 42, 44, 46, 47, 58, 59, 63, 64, 91, 92, 93, 94, 95, 96, 123, 124, 125,
    126, 161, 166, 168, 175, 180, 184, 191, 136, 152, 145, 146, 130, 147, 148, 132, 139, 155, 133, 134,
    135, 149, 137, 153,
    // currency
    162, 163, 164, 165, 128,
    // mathematical and other signs
    43, 177, 60, 61, 62, 171, 187, 215, 247, 167, 169, 172, 174, 176, 182, 183,
    // digits
    48, 49, 185, 188, 189, 50, 178, 51, 179, 190, 52, 53, 54, 55, 56, 57,
    // letters
    97, 65, 170, 225, 193, 224, 192, 226, 194, 228, 196, 227, 195, 229, 197, 230, 198,  // a
    98, 66,                                                                        // b
    99, 67, 231, 199,                                                              // c
    100, 68, 240, 208,                                                             // d
    101, 69, 233, 201, 232, 200, 234, 202, 235, 203,                               // e
    102, 70, 131,                                                                  // f
    103, 71, 104, 72,                                                              // g h
    105, 73, 237, 205, 236, 204, 238, 206, 239, 207,                               // i
    106, 74, 107, 75, 108, 76, 109, 77, 181,                                       // j k l m
    110, 78, 241, 209,                                                             // n
    111, 79, 186, 243, 211, 242, 210, 244, 212, 246, 214, 245, 213, 248, 216, 156, 140,  // o
    112, 80, 113, 81, 114, 82,                                                     // p q r
    115, 83, 154, 138, 223,                                                        // s
    116, 84,                                                                       // t
    117, 85, 250, 218, 249, 217, 251, 219, 252, 220,                               // u
    118, 86, 119, 87, 120, 88,                                                     // v w x
    121, 89, 253, 221, 255, 159,                                                   // y
    122, 90, 158, 142,                                                             // z
    254, 222,                                                                      // thorn
};
static_assert(sizeof(kAnsiOrder) == 256, "the dictionary order lists every code once");

constexpr Table make_ansi_rank() {
    Table rank{};
    std::array<bool, 256> seen{};
    for (unsigned i = 0; i < 256; ++i) {
        const unsigned char c = kAnsiOrder[i];
        if (seen[c]) throw "code listed twice";  // compile-time failure
        seen[c] = true;
        rank[c] = static_cast<unsigned char>(i);
    }
    return rank;
}

constexpr Table kAnsiRank = make_ansi_rank();

}  // namespace

unsigned char oem_to_ansi(unsigned char c) { return kOemToAnsi[c]; }
unsigned char ansi_to_oem(unsigned char c) { return kAnsiToOem[c]; }

void oem_to_ansi_buffer(char* s, unsigned long length) {
    for (unsigned long i = 0; i < length; ++i) s[i] = static_cast<char>(kOemToAnsi[static_cast<unsigned char>(s[i])]);
}

void ansi_to_oem_buffer(char* s, unsigned long length) {
    for (unsigned long i = 0; i < length; ++i) s[i] = static_cast<char>(kAnsiToOem[static_cast<unsigned char>(s[i])]);
}

bool ansi_is_alpha(unsigned char c) { return ansi_alpha_letter(c); }
bool ansi_is_upper(unsigned char c) { return ansi_upper_letter(c); }
unsigned char ansi_lower(unsigned char c) { return ansi_lower_letter(c); }

unsigned char ansi_sort_rank(unsigned char c) { return kAnsiRank[c]; }

int ansi_compare_strings(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
        if (ca != cb) return int(kAnsiRank[ca]) - int(kAnsiRank[cb]);
        if (ca == 0) return 0;
    }
}

}  // namespace sk::rt
