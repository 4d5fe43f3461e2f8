// The MDI client: a child window covering a frame's client area that holds child
// frames. A child frame is a kChild window with a caption (kStyleCaption and the
// usual box styles) whose parent is the MDI client; the window manager activates it
// inside the client (kMsgActivate to the old and new active child), draws its caption
// active or inactive, maximises it to the client's area (its caption then merged into
// the frame's: the frame's text shows "Frame - [Child]" and the child's buttons sit in
// the frame's menu bar), and minimises it to an icon at the bottom of the client. A
// click on an icon opens its system menu, pressing and dragging moves it, and a
// double click restores it; the focus inside a minimised child waits on the child
// itself and goes back to its control when the child is restored. Activating a child
// (and so handing it a maximised state) gives the focus back to the control that last
// had it in that child, else to its first control that can take it.
#pragma once

#include <string>
#include <vector>

#include "platform/display/message.h"

namespace sk::platform::display {

// Creates the MDI client of a top-level frame, covering its client area and following
// its size. One per frame.
WindowId create_mdi_client(WindowId frame);
WindowId mdi_client_of(WindowId frame);  // 0 when the frame has none
bool is_mdi_client(WindowId window);

// The children of an MDI client in activation order, most recently active first.
std::vector<WindowId> mdi_children(WindowId client);
WindowId mdi_active_child(WindowId client);  // 0 when none
bool mdi_activate(WindowId child);           // brings it to the top of the client and activates it

// Arrangements of the client's children that are not minimised: cascade from the
// top-left corner; tile side by side (vertical) or one above the other (horizontal);
// and lining up the icons of minimised children along the bottom.
bool mdi_cascade(WindowId client);
bool mdi_tile(WindowId client, bool horizontal);
bool mdi_arrange_icons(WindowId client);

// The text a window's caption shows: its own text, or for a frame whose active child
// is maximised, "Frame - [Child]". The window's own text (window_text) is unchanged.
std::string displayed_caption(WindowId window);

}  // namespace sk::platform::display
