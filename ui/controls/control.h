// Controls: the objects behind a window definition's control records. Each control
// owns its native child window (a few, such as a group's children or a RADIO set's
// members, own several) inside its window's client area, paints it, handles its
// messages, and reports what the user did as events for its field number through its
// host, the engine's open window.
//
// The window engine creates the controls of a window with create_control() once the
// window's native client exists, routes every message of a control's native windows
// to handle_message(), and calls the rest from its statements (DISPLAY, SELECT,
// properties, the accept-all pass, the standard edit actions).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display/font.h"
#include "platform/display/message.h"
#include "ui/definition.h"

namespace sk::ui {

using sk::platform::display::WindowId;

// A bound variable: the address from the procedure's binding list and the binding's
// type tag from the definition. A null address means the control is unbound.
// The address is that of a descriptor, not of the variable's bytes: an
// rt::BoundVariable (runtime/bind.h) for a value (the tag then gives the kind the
// control expects), a RowSource (ui/controls/variable.h: the queue and its record
// layout) for a list's rows (tag 25).
struct VariableRef {
    void* address = nullptr;
    std::uint8_t tag = 0;
};

// What a control needs from the window that holds it. Implemented by the engine.
class ControlHost {
public:
    virtual ~ControlHost() = default;
    // The native window the control's windows are children of (the window's client,
    // or a container control's page).
    virtual WindowId client_window() const = 0;
    virtual const UnitScale& unit_scale() const = 0;
    // The window's font (the controls' own font blocks override it).
    virtual std::shared_ptr<const sk::platform::display::Font> window_font() const = 0;
    // Appends an event for a control to the window's queue (app value, e.g. 1 for
    // "EVENT:Accepted"). Dropped for field number 0.
    virtual void post_event(std::int32_t field, std::uint16_t event) = 0;
    // The same for an event that carries a failure code ("EVENT:Rejected" of an entry
    // field: why its text could not be stored). By default the code is dropped.
    virtual void post_event_with_code(std::int32_t field, std::uint16_t event, int code) {
        (void)code;
        post_event(field, event);
    }
    // Delivers an event to the procedure at once and waits for it ("EVENT:TabChanging",
    // "EVENT:PreAlert"). Returns true when the procedure cycled (refused the default).
    virtual bool deliver_now(std::int32_t field, std::uint16_t event) = 0;
    // Shows a message text in the status bar's first zone; empty restores the zone.
    virtual void show_message(std::string_view text) = 0;
    // The control wants the focus moved to the next (or previous) control that takes it.
    virtual void focus_next(std::int32_t from_field, bool backwards) = 0;
};

enum class EditAction { kCut, kCopy, kPaste, kClear, kUndo };

class Control {
public:
    virtual ~Control() = default;

    const ControlDefinition& definition() const { return *m_definition; }
    std::int32_t field() const { return m_definition->field; }
    // The main native window, 0 for a control without one.
    virtual WindowId window() const = 0;
    // True when w is one of the control's native windows.
    virtual bool owns_window(WindowId w) const { return w != 0 && w == window(); }

    // A message for one of the control's windows. Returns true when handled.
    virtual bool handle_message(const sk::platform::display::Message& m) = 0;

    // Shows the bound variable's value again (DISPLAY).
    virtual void display() {}
    // The accept-all pass: validates and stores what the control holds. Returns false
    // when the control refuses (the engine then selects it).
    virtual bool accept() { return true; }
    virtual bool takes_focus() const { return true; }
    virtual void focus() {}
    virtual bool edit_action(EditAction) { return false; }
    // The control's keyboard mnemonic: the letter after the first single "&" of its
    // text, in lower case, or 0. A PROMPT's mnemonic moves the focus to the next
    // control that takes it; a BUTTON's, CHECK's or RADIO's activates the control.
    virtual char mnemonic() const { return 0; }
    // What the mnemonic does: press the button, toggle the check box, choose the radio.
    virtual void activate() {}

    // Properties by number (and index); false when the control has no such property.
    virtual bool get_property(std::uint32_t number, std::int32_t index, std::string* value) {
        (void)number, (void)index, (void)value;
        return false;
    }
    virtual bool set_property(std::uint32_t number, std::int32_t index, std::string_view value) {
        (void)number, (void)index, (void)value;
        return false;
    }

    // Geometry in the client's pixels, hiding, disabling: the engine's common control
    // properties.
    virtual void move(const PixelRect& rect) = 0;
    virtual PixelRect rect() const = 0;
    virtual void set_hidden(bool hidden) = 0;
    virtual void set_disabled(bool disabled) = 0;

protected:
    explicit Control(const ControlDefinition& definition) : m_definition(&definition) {}

private:
    const ControlDefinition* m_definition;  // owned by the engine's loaded definition
};

// Creates the control for a record, with its native windows at rect in the host's
// client. binding and row_source come from the window's binding list (binding_slots).
// Returns nullptr for a record kind that has no control behind it (it then posts
// nothing and the engine leaves a gap).
std::unique_ptr<Control> create_control(ControlHost& host, const ControlDefinition& definition,
                                        VariableRef binding, VariableRef row_source, const PixelRect& rect);

}  // namespace sk::ui
