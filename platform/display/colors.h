// System colours: the classic desktop palette that windows and controls paint with.
#pragma once

#include "platform/display/geometry.h"

namespace sk::platform::display {

enum class SystemColor {
    kDesktop,
    kAppWorkspace,       // the background of a client area that holds child frames
    kWindow,             // background of edit and list windows
    kWindowText,
    kWindowFrame,
    kButtonFace,         // dialogs, buttons, bars
    kButtonText,
    kButtonShadow,
    kButtonHighlight,
    kButtonDarkShadow,
    kButtonLight,
    kHighlight,          // selected items
    kHighlightText,
    kGrayText,           // disabled text
    kActiveCaption,
    kActiveCaptionGradient,
    kInactiveCaption,
    kInactiveCaptionGradient,
    kCaptionText,
    kInactiveCaptionText,
    kActiveBorder,
    kInactiveBorder,
    kMenu,
    kMenuText,
    kScrollBar,
    kInfoBackground,     // tooltips
    kInfoText,
    kCount,
};

Color system_color(SystemColor which);

}  // namespace sk::platform::display
