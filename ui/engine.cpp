// Start-up of the window engine.
#include "ui/engine.h"

#include "ui/frame.h"
#include "ui/message_box.h"
#include "ui/window.h"

namespace sk::ui {

bool initialise_engine() {
    if (!initialise_core()) return false;
    install_frame_support();
    install_message_presenter();
    return true;
}

}  // namespace sk::ui
