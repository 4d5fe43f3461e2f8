// The classic palette of the system colours.
#include "platform/display/colors.h"

namespace sk::platform::display {

Color system_color(SystemColor which) {
    switch (which) {
    case SystemColor::kDesktop: return rgb(0x00, 0x80, 0x80);
    case SystemColor::kAppWorkspace: return rgb(0x80, 0x80, 0x80);
    case SystemColor::kWindow: return rgb(0xFF, 0xFF, 0xFF);
    case SystemColor::kWindowText: return rgb(0x00, 0x00, 0x00);
    case SystemColor::kWindowFrame: return rgb(0x00, 0x00, 0x00);
    case SystemColor::kButtonFace: return rgb(0xC0, 0xC0, 0xC0);
    case SystemColor::kButtonText: return rgb(0x00, 0x00, 0x00);
    case SystemColor::kButtonShadow: return rgb(0x80, 0x80, 0x80);
    case SystemColor::kButtonHighlight: return rgb(0xFF, 0xFF, 0xFF);
    case SystemColor::kButtonDarkShadow: return rgb(0x00, 0x00, 0x00);
    case SystemColor::kButtonLight: return rgb(0xDF, 0xDF, 0xDF);
    case SystemColor::kHighlight: return rgb(0x00, 0x00, 0x80);
    case SystemColor::kHighlightText: return rgb(0xFF, 0xFF, 0xFF);
    case SystemColor::kGrayText: return rgb(0x80, 0x80, 0x80);
    case SystemColor::kActiveCaption: return rgb(0x00, 0x00, 0x80);
    case SystemColor::kActiveCaptionGradient: return rgb(0x10, 0x84, 0xD0);
    case SystemColor::kInactiveCaption: return rgb(0x80, 0x80, 0x80);
    case SystemColor::kInactiveCaptionGradient: return rgb(0xB5, 0xB5, 0xB5);
    case SystemColor::kCaptionText: return rgb(0xFF, 0xFF, 0xFF);
    case SystemColor::kInactiveCaptionText: return rgb(0xC0, 0xC0, 0xC0);
    case SystemColor::kActiveBorder: return rgb(0xC0, 0xC0, 0xC0);
    case SystemColor::kInactiveBorder: return rgb(0xC0, 0xC0, 0xC0);
    case SystemColor::kMenu: return rgb(0xC0, 0xC0, 0xC0);
    case SystemColor::kMenuText: return rgb(0x00, 0x00, 0x00);
    case SystemColor::kScrollBar: return rgb(0xC0, 0xC0, 0xC0);
    case SystemColor::kInfoBackground: return rgb(0xFF, 0xFF, 0xE1);
    case SystemColor::kInfoText: return rgb(0x00, 0x00, 0x00);
    case SystemColor::kCount: break;
    }
    return rgb(0, 0, 0);
}

}  // namespace sk::platform::display
