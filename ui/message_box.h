// Message boxes: a small modal dialog built at run time with the message text
// wrapped to a fixed width, an optional icon at its left and a centred row of
// buttons from a fixed set of eight. The answer is the pressed button's bit value,
// so that callers pass and test sets of buttons as bit masks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display/font.h"
#include "platform/display/geometry.h"

namespace sk::ui {

// Button bit values.
enum MessageBoxButton : int {
    kBoxOk = 1,
    kBoxYes = 2,
    kBoxNo = 4,
    kBoxAbort = 8,
    kBoxRetry = 16,
    kBoxIgnore = 32,
    kBoxCancel = 64,
    kBoxHelp = 128,
};

// Style: bits 4-7 choose the icon, bit 12 makes the box system-modal.
enum MessageBoxStyle : int {
    kBoxIconStop = 0x10,
    kBoxIconQuestion = 0x20,
    kBoxIconExclamation = 0x30,
    kBoxIconInformation = 0x40,
    kBoxIconNamed = 0xF0,
    kBoxIconMask = 0xF0,
    kBoxSystemModal = 0x1000,
};

// The icons a box can draw by itself.
enum class BoxIcon { kNone, kStop, kQuestion, kExclamation, kInformation };

// The icon a style and icon name ask for. A name of FFh 01h and a 16-bit
// little-endian n names system icon n - 1 (32513 stop, 32514 question, 32515
// exclamation, 32516 information); other names would be icon files, which this
// build cannot decode, so they show no icon.
BoxIcon box_icon(int style, std::string_view icon_name);

struct BoxButton {
    int value = 0;            // bit value
    int identifier = 0;       // dialog identifier (1 OK, 2 Cancel, 3 Abort, ...)
    std::string caption;
    sk::platform::display::Rect rect;  // client coordinates
};

struct MessageBoxLayout {
    sk::platform::display::Size client;
    sk::platform::display::Rect text;   // the wrapped text's box
    sk::platform::display::Rect icon;   // empty without an icon
    std::vector<BoxButton> buttons;     // in table order, left to right
    int default_index = 0;              // into buttons
    int unit_x = 0, unit_y = 0;         // average character width and height of the box's font
};

// The box's geometry for a text, a button set (0 = OK alone) and a default set.
MessageBoxLayout layout_message_box(const sk::platform::display::Font& font, std::string_view text, int buttons,
                                    int default_buttons, bool has_icon);

// The bit value of a dialog identifier; 0 for anything else.
int button_value_of(int identifier);

// Shows the box and returns the bit value of the button pressed, 0 when it was
// closed without one. The global runtime lock is given up while it waits.
int message_box(std::string_view text, std::string_view caption, std::string_view icon_name = {}, int buttons = 0,
                int default_button = 0, int style = 0);

// Makes message boxes the runtime's way of showing its messages ("Halt", "Stop",
// "Runtime error").
void install_message_presenter();

}  // namespace sk::ui
