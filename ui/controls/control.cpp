// create_control: the control class behind each record kind.
#include "ui/controls/control.h"

#include "ui/controls/choice_controls.h"
#include "ui/controls/edit_variants.h"
#include "ui/controls/entry_control.h"
#include "ui/controls/list_control.h"
#include "ui/controls/static_controls.h"

namespace sk::ui {

std::unique_ptr<Control> create_control(ControlHost& host, const ControlDefinition& definition,
                                        VariableRef binding, VariableRef row_source, const PixelRect& rect) {
    // A line or a box of no width or height still gets a window a pixel across.
    PixelRect r = rect;
    if (r.right <= r.left) r.right = r.left + 1;
    if (r.bottom <= r.top) r.bottom = r.top + 1;
    switch (definition.kind) {
        case kKindStringVar:
        case kKindString:
        case kKindPrompt: return std::make_unique<LabelControl>(host, definition, binding, r);
        case kKindImage:
        case kKindRegion:
        case kKindLine:
        case kKindBox: return std::make_unique<GraphicControl>(host, definition, r);
        case kKindEntry: return std::make_unique<EntryControl>(host, definition, binding, r, definition.picture);
        case kKindButton: return std::make_unique<ButtonControl>(host, definition, r);
        case kKindOption: return std::make_unique<OptionControl>(host, definition, binding, r);
        case kKindCheck: return std::make_unique<CheckControl>(host, definition, binding, r);
        case kKindList: return std::make_unique<ListControl>(host, definition, binding, row_source, r);
        case kKindCombo: return std::make_unique<ComboControl>(host, definition, binding, row_source, r);
        case kKindSpin: return std::make_unique<SpinControl>(host, definition, binding, row_source, r);
        case kKindText: return std::make_unique<TextControl>(host, definition, binding, r);
        case kKindRadio: return std::make_unique<RadioControl>(host, definition, r);
        case kKindProgress: return std::make_unique<ProgressControl>(host, definition, binding, r);
        case kKindSheet: return std::make_unique<SheetControl>(host, definition, binding, r);
        case kKindTab: return std::make_unique<TabControl>(definition, r);
        default: return nullptr;
    }
}

}  // namespace sk::ui
