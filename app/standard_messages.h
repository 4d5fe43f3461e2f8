// The application's numbered standard messages.
//
// Every warning and question the site-list procedures show goes through
// ShowStandardMessage: it picks the entry for a warning number, builds the text
// from the entry's literal pieces, the caller's text arguments and the current
// error state, shows it through the runtime's message presenter and returns the
// button pressed. The fatal entries end the program after the box is answered.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sk::app {

// The error text is held in a 150-character slot.
inline constexpr std::size_t kStandardErrorTextSize = 150;

// The error text the messages quote, built from the current error state:
// under code 90 (a file-system error reported by a driver in its own terms) the
// driver's message and " (" driver code ")"; otherwise the error text and
// " (" the code in decimal ")". At most 150 characters.
std::string standard_error_text();

// A message as it will be shown, without showing it. Used by ShowStandardMessage
// and useful wherever the text is wanted without a box.
struct StandardMessage {
    std::string caption;
    std::string text;
    int buttons = 0;          // sum of sk::rt::MessageButton values
    int default_button = 0;   // one sk::rt::MessageButton value
    int icon = 0;             // sk::rt::MessageIcon
    // Non-empty for the entries that end the program once answered.
    std::string halt_message;
};

// Fills *out with the entry for id and returns true; false for an id without an
// entry. Text arguments are used without their trailing blanks.
bool build_standard_message(int id, std::string_view text1, std::string_view text2,
                            std::string_view text3, StandardMessage* out);

// Shows standard message id and returns the button pressed (1 OK, 2 Yes, 4 No,
// 64 Cancel; 0 when the box was closed without an answer). An id without an entry
// shows nothing and returns 0. Entries 1, 3, 4 and 5 end the program after the
// box, and entry 2 ends it when the answer is No; otherwise entry 2 returns 2.
int ShowStandardMessage(int id, std::string_view text1 = {}, std::string_view text2 = {},
                        std::string_view text3 = {});

}  // namespace sk::app
