// The default-button look of a select's "&Select" button. Kept apart from the
// procedures: the button class lives with the controls' own headers.
#include "app/select_list.h"

#include "ui/controls/static_controls.h"

namespace sk::app {

void show_as_default_button(sk::ui::Control* button) {
    if (auto* b = dynamic_cast<sk::ui::ButtonControl*>(button)) b->set_default(true);
}

}  // namespace sk::app
