// Ending the program, and the message presenter the runtime shows messages through.
//
// The halt path runs once even when several threads ask for it: the registered exit
// handlers, newest first, then the modules' finalisers, then the process ends with
// the exit code. Messages (the "Halt" and "Stop" boxes, runtime errors) go through a
// presenter that the window engine installs; until then the default presenter
// writes caption and text to standard error and answers as if nobody could answer.
#pragma once

#include <functional>
#include <string_view>

namespace sk::rt {

// Button values of message boxes.
enum MessageButton : int {
    kButtonOk = 1,
    kButtonYes = 2,
    kButtonNo = 4,
    kButtonAbort = 8,
    kButtonRetry = 16,
    kButtonIgnore = 32,
    kButtonCancel = 64,
    kButtonHelp = 128,
};

enum MessageIcon : int {
    kIconNone = 0,
    kIconError = 1,
    kIconQuestion = 2,
    kIconExclamation = 3,
    kIconAsterisk = 4,
};

struct MessageRequest {
    std::string_view caption;
    std::string_view text;
    int buttons = kButtonOk;       // sum of MessageButton values
    int default_button = kButtonOk;
    int icon = kIconNone;
};

// Shows a message and returns the button chosen. A presenter that cannot ask
// anybody returns 0.
using MessagePresenter = std::function<int(const MessageRequest&)>;

// Installs a presenter; an empty function restores the default one.
void set_message_presenter(MessagePresenter presenter);
int present_message(const MessageRequest& request);

// Exit handlers run newest first; module finalisers run after them, oldest first.
void register_exit_handler(std::function<void()> handler);
void register_module_finaliser(std::function<void()> finaliser);

// Shows message (if not empty) in a "Halt" box, then ends the program.
[[noreturn]] void halt(int exit_code, std::string_view message = {});

// Shows message, or "Exit?", in a "Stop" box with Abort and Ignore. Abort (or no
// answer) ends the program with exit code 0; Ignore returns.
void stop(std::string_view message = {});

bool halting();

}  // namespace sk::rt
