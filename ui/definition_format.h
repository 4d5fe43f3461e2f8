// The stored byte layout of window definitions, shared by the loader and the writer.
//
// A resource body is: the module string (zero-terminated), then the definition
// image from its offset 2 on. The image's bytes 0 and 1 are zero and not stored,
// so offset 0 means "none" and reads as the empty string. All integers are
// little-endian and unaligned. Every reference is a u32 image offset.
//
// Window record (kinds 25 window, 26 report), 105 bytes:
//   0 u8 kind, 1 next window, 5 attributes, 9 reserved, 13/17/21/25 x, y, width,
//   height (i32), 29 first control, 33 label, 37 font block, 41 title, 45/49 reserved,
//   53 icon, 57 message, 61 reserved, 65 help, 69 reserved, 73 alert-key list,
//   77 frame, 81 palette, 85 timer, 89 menu bar, 93 reserved, 97 cursor,
//   101 status-zone list.
// Font block, 16 bytes: name, point size, colour, style.
// Chains of 8-byte nodes {value u32, next u32}: alert keys, status zones (i32
// widths), string lists (string offsets).
// Control common header: 0 kind, 1 next sibling, 5 flags, 9 string list, 13 field
// number (i32), 17 extra-attribute string, 21 kind-specific (binding for bound kinds).
// Attribute block (28 bytes): message, reserved, help, option word, word, string,
// string. A PROGRESS record carries only the first two words of it (message at 41,
// reserved at 45), because its low and high values sit at 49 and 57.
// Binding descriptor, 9 bytes: tag u8, two reserved u32.
// Kind-specific field offsets: the table kind_layout() below.
#pragma once

#include <cstdint>

namespace sk::ui {

inline constexpr std::uint32_t kDefaultValue = 0x80000000u;  // default position / natural size
inline constexpr std::uint32_t kWindowRecordSize = 105;
inline constexpr std::uint32_t kFontBlockSize = 16;
inline constexpr std::uint32_t kChainNodeSize = 8;
inline constexpr std::uint32_t kBindingSize = 9;
inline constexpr std::uint32_t kAttributeBlockSize = 28;
inline constexpr std::uint32_t kControlHeaderSize = 25;
inline constexpr std::uint32_t kImageLead = 2;  // image bytes before the body's first byte

// Record kinds.
enum RecordKind : std::uint8_t {
    kKindStringVar = 1,
    kKindString = 2,
    kKindImage = 3,
    kKindRegion = 4,
    kKindLine = 5,
    kKindBox = 6,
    kKindEntry = 8,
    kKindButton = 9,
    kKindPrompt = 10,
    kKindOption = 11,
    kKindCheck = 12,
    kKindList = 14,
    kKindCombo = 15,
    kKindSpin = 16,
    kKindText = 17,
    kKindMenu = 19,
    kKindItem = 20,
    kKindRadio = 21,
    kKindMenuBar = 22,
    kKindWindow = 25,
    kKindReport = 26,
    kKindProgress = 35,
    kKindSheet = 37,
    kKindTab = 38,
};

// Window record field offsets.
namespace win {
inline constexpr std::uint32_t kKind = 0, kNext = 1, kAttributes = 5, kX = 13, kY = 17, kWidth = 21,
                               kHeight = 25, kFirstControl = 29, kLabel = 33, kFont = 37, kTitle = 41,
                               kIcon = 53, kMessage = 57, kHelp = 65, kAlertKeys = 73, kFrame = 77,
                               kPalette = 81, kTimer = 85, kMenuBar = 89, kCursor = 97, kStatusZones = 101;
}

// Control header offsets.
namespace ctl {
inline constexpr std::uint32_t kKind = 0, kNext = 1, kFlags = 5, kStringList = 9, kField = 13, kExtra = 17,
                               kBinding = 21;
}

// Menu record offsets (kinds 22, 19, 20).
namespace menu {
inline constexpr std::uint32_t kFlags = 5, kField = 13, kBarFirstChild = 13, kBinding = 21, kText = 25,
                               kMessage = 29, kAction = 49, kMenuFirstChild = 53;
inline constexpr std::uint32_t kBarSize = 17, kMenuSize = 57, kItemSize = 53;
}

// Window attribute bits.
inline constexpr std::uint32_t kWinCentre = 0x10;
inline constexpr std::uint32_t kWinUnitMask = 0x300;
inline constexpr std::uint32_t kWinMoveSizeEvents = 0x800;

// Frame attribute bits (window offset 77).
inline constexpr std::uint32_t kFrameMask = 0x60, kFrameResizable = 0x20, kFrameDouble = 0x40, kFrameNone = 0x60,
                               kFrameMaximizeBox = 0x800, kFrameSystemMenu = 0x1000, kFrameGrey = 0x2000,
                               kFrameMaximized = 0x4000, kFrameMinimized = 0x8000;

inline constexpr std::uint32_t kFlagDisabled = 0x40;    // controls: created disabled; items: greyed
inline constexpr std::uint32_t kItemRightJustify = 0x08;
inline constexpr std::uint32_t kItemSeparator = 0x10;

inline constexpr std::uint8_t kBindingTagString = 18;
inline constexpr std::uint8_t kBindingTagInvalid = 23;
inline constexpr std::uint8_t kBindingTagQueue = 25;

// Where each kind keeps its fields; 0 means the kind has no such field (no field
// ever sits at offset 0, which is the kind byte).
struct KindLayout {
    std::uint8_t kind;
    std::uint32_t size;          // record length in bytes
    std::uint32_t pos;           // position block {x, y, width, height}
    std::uint32_t binding;       // variable binding descriptor
    std::uint32_t attr;          // attribute block
    std::uint32_t attr_size;     // 28, or 8 for a progress bar
    std::uint32_t format;        // list format string
    std::uint32_t text;          // text, caption
    std::uint32_t picture;       // picture without "@"
    std::uint32_t file;          // image file name
    std::uint32_t icon;          // icon file name
    std::uint32_t colors;        // two i32 colours
    std::uint32_t words;         // two u32 further attribute words
    std::uint32_t options;       // u8 options
    std::uint32_t display;       // u32 display options
    std::uint32_t drop;          // u8 drop count
    std::uint32_t row_source;    // row-source binding descriptor
    std::uint32_t strings;       // kind-specific string list
    std::uint32_t width;         // i32 entry width
    std::uint32_t action;        // u32 standard action code
    std::uint32_t low, high, step;  // 64-bit floats
    std::uint32_t children;      // first child record
};

// The layout of a control kind, or nullptr for a byte that has no control class
// (report records, kinds 7, 13, 18, 33, 34 and anything unknown).
const KindLayout* kind_layout(std::uint8_t kind);

}  // namespace sk::ui
