// Window messages: the codes, the record that carries them, and the virtual-key
// numbering of the keyboard messages.
#pragma once

#include <cstdint>

#include "platform/display/geometry.h"

namespace sk::platform::display {

// A window handle. 0 is "no window"; handles are never reused within a run, so a
// handle kept past its window's destruction simply stops working.
using WindowId = std::uint32_t;

enum MessageCode : std::uint32_t {
    kMsgNone = 0,
    kMsgPaint = 0x0001,         // the window has an invalid area; begin_paint() it
    kMsgClose = 0x0002,         // the user asked to close the window (close box, Alt+F4)
    kMsgDestroy = 0x0003,       // the window is gone; posted to its thread
    kMsgMove = 0x0004,          // pos: new position (relative to the parent's client area)
    kMsgSize = 0x0005,          // wparam: client width, lparam: client height, flags: SizeState
    kMsgActivate = 0x0006,      // wparam 1 activated, 0 deactivated; lparam: the other window
    kMsgSetFocus = 0x0007,      // lparam: the window that lost the focus
    kMsgKillFocus = 0x0008,     // lparam: the window that gets the focus
    kMsgShow = 0x0009,          // wparam 1 shown, 0 hidden
    kMsgEnable = 0x000A,        // wparam 1 enabled, 0 disabled
    kMsgCaptureLost = 0x000B,
    kMsgQuit = 0x000C,          // posted with post_quit(); ends a message loop
    kMsgTimer = 0x0010,         // wparam: timer identifier
    kMsgEndSessionRefused = 0x0011,  // the user's session asked to end and was refused while
                                     // this window was shown: tell the user why
    kMsgKeyDown = 0x0100,       // wparam: virtual key, lparam: repeat count, modifiers
    kMsgKeyUp = 0x0101,
    kMsgChar = 0x0102,          // text: one character in UTF-8, wparam: its code point
    kMsgMouseMove = 0x0200,     // pos: relative to the window's client area; wparam: buttons held
    kMsgLButtonDown = 0x0201,
    kMsgLButtonUp = 0x0202,
    kMsgLButtonDblClk = 0x0203,
    kMsgRButtonDown = 0x0204,
    kMsgRButtonUp = 0x0205,
    kMsgRButtonDblClk = 0x0206,
    kMsgMButtonDown = 0x0207,
    kMsgMButtonUp = 0x0208,
    kMsgMButtonDblClk = 0x0209,
    kMsgMouseWheel = 0x020A,    // lparam: distance, 120 per notch, positive away from the user
    kMsgMouseLeave = 0x020B,    // the mouse moved off the window
    kMsgCommand = 0x0300,       // wparam: command identifier of a menu item or accelerator
    kMsgMenuSelect = 0x0301,    // wparam: identifier of the highlighted menu item, 0 when the menu closes
    kMsgSysCommand = 0x0302,    // wparam: SysCommand
    kMsgScroll = 0x0303,        // standard scroll bars: wparam ScrollAction, lparam position, flags 0 horizontal, 1 vertical

    // Messages the window engine defines for its own traffic; the platform never
    // interprets them.
    kMsgPrivateFirst = 0x2400,
    kMsgPrivateLast = 0x27FF,
};

enum SizeState : std::uint32_t { kSizeRestored = 0, kSizeMinimized = 1, kSizeMaximized = 2 };

enum SysCommand : std::uint32_t {
    kSysClose = 1,
    kSysMinimize = 2,
    kSysMaximize = 3,
    kSysRestore = 4,
    kSysMove = 5,
    kSysSize = 6,
    kSysKeyMenu = 7,   // Alt or F10 pressed alone: enter the menu bar
};

enum Modifiers : std::uint32_t {
    kModShift = 0x01,
    kModControl = 0x02,
    kModAlt = 0x04,
};

enum MouseButtons : std::uint32_t {
    kButtonLeft = 0x01,
    kButtonRight = 0x02,
    kButtonMiddle = 0x04,
};

// Virtual-key codes in the classic numbering.
enum VirtualKey : std::uint32_t {
    kVkBack = 0x08,
    kVkTab = 0x09,
    kVkReturn = 0x0D,
    kVkShift = 0x10,
    kVkControl = 0x11,
    kVkMenu = 0x12,  // Alt
    kVkPause = 0x13,
    kVkCapital = 0x14,
    kVkEscape = 0x1B,
    kVkSpace = 0x20,
    kVkPrior = 0x21,  // Page Up
    kVkNext = 0x22,   // Page Down
    kVkEnd = 0x23,
    kVkHome = 0x24,
    kVkLeft = 0x25,
    kVkUp = 0x26,
    kVkRight = 0x27,
    kVkDown = 0x28,
    kVkInsert = 0x2D,
    kVkDelete = 0x2E,
    kVk0 = 0x30,  // digits 30h-39h
    kVkA = 0x41,  // letters 41h-5Ah
    kVkZ = 0x5A,
    kVkApps = 0x5D,
    kVkNumpad0 = 0x60,  // 60h-69h
    kVkMultiply = 0x6A,
    kVkAdd = 0x6B,
    kVkSubtract = 0x6D,
    kVkDecimal = 0x6E,
    kVkDivide = 0x6F,
    kVkF1 = 0x70,  // F1-F24 are 70h-87h
    kVkF10 = 0x79,
    kVkF12 = 0x7B,
    kVkF24 = 0x87,
    kVkNumLock = 0x90,
    kVkScroll = 0x91,
};

struct Message {
    MessageCode code = kMsgNone;
    WindowId window = 0;         // 0 for thread messages
    std::uint64_t wparam = 0;
    std::int64_t lparam = 0;
    Point pos;                   // mouse position relative to the window's client area
    std::uint32_t modifiers = 0; // Modifiers held when the message was made
    std::uint32_t flags = 0;     // message-specific
    std::uint64_t time = 0;      // the display clock in milliseconds when the message was made
    char text[8] = {};           // kMsgChar: the character in UTF-8, zero-terminated
};

}  // namespace sk::platform::display
