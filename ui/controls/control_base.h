// The common part of the controls: one native child window, its geometry, state and
// font, message routing to a few hooks, and posting events through the host.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/display/colors.h"
#include "platform/display/font.h"
#include "platform/display/painter.h"
#include "platform/display/window.h"
#include "ui/controls/control.h"
#include "ui/controls/variable.h"

namespace sk::ui {

// Event app values the controls raise.
namespace control_events {
inline constexpr std::uint16_t kAccepted = 1, kNewSelection = 2, kScrollUp = 3, kScrollDown = 4, kPageUp = 5,
                               kPageDown = 6, kScrollTop = 7, kScrollBottom = 8, kLocate = 9, kMouseUp = 10,
                               kMouseIn = 11, kMouseOut = 12, kMouseMove = 13, kScrollDrag = 20,
                               kTabChanging = 21, kRejected = 26, kDroppingDown = 27, kDroppedDown = 28;
}

// Control attribute bits shared by several kinds.
inline constexpr std::uint32_t kControlImmediate = 0x800;

namespace pd = sk::platform::display;

class WidgetControl : public Control {
public:
    ~WidgetControl() override;

    WindowId window() const override { return m_window; }
    bool handle_message(const pd::Message& m) override;
    bool takes_focus() const override;
    void focus() override;

    void move(const PixelRect& rect) override;
    PixelRect rect() const override { return m_rect; }
    void set_hidden(bool hidden) override;
    void set_disabled(bool disabled) override;

    bool is_disabled() const { return m_disabled; }
    bool is_hidden() const { return m_hidden; }
    bool has_focus() const { return m_window != 0 && pd::focus_window() == m_window; }
    const pd::Font& font() const { return *m_font; }
    const std::shared_ptr<const pd::Font>& font_ptr() const { return m_font; }

protected:
    // style: WindowStyle bits of the native window (kStyleNoFocus for controls that
    // never take the focus).
    WidgetControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding,
                  const PixelRect& rect, std::uint32_t style);

    ControlHost& host() const { return *m_host; }
    const sk::rt::BoundVariable* variable() const { return bound_variable(m_binding); }
    const VariableRef& binding() const { return m_binding; }
    void post(std::uint16_t event) const;
    void repaint() const;
    pd::Rect client() const;  // {0, 0, width, height}
    // The background of static controls: the dialog face colour.
    pd::Color face_color() const;

    virtual void paint(pd::Painter& painter, const pd::Rect& client) = 0;
    virtual bool on_key_down(const pd::Message&) { return false; }
    virtual bool on_key_up(const pd::Message&) { return false; }
    virtual bool on_char(const pd::Message&) { return false; }
    // Button presses, releases, double clicks, moves and the wheel.
    virtual bool on_mouse(const pd::Message&) { return false; }
    virtual void on_focus(bool gained) { (void)gained; }
    virtual void on_resize() {}
    // Anything else (scroll, timer, capture lost).
    virtual bool on_other(const pd::Message&) { return false; }

private:
    ControlHost* m_host;
    VariableRef m_binding;
    WindowId m_window = 0;
    PixelRect m_rect;
    std::uint32_t m_style = 0;
    bool m_disabled = false;
    bool m_hidden = false;
    std::shared_ptr<const pd::Font> m_font;
};

// The live controls by definition record, so that members find their container
// (a RADIO its OPTION, a page control its TAB and SHEET) whatever order the engine
// keeps them in. Registered for the control's lifetime.
void register_control(const ControlDefinition& definition, Control* control);
void unregister_control(const ControlDefinition& definition, const Control* control);
Control* control_for(const ControlDefinition* definition);
// Visits every live control; stops when visit returns false.
void for_each_control(const std::function<bool(const ControlDefinition&, Control&)>& visit);
// The control whose record lists definition among its children, or nullptr.
Control* container_of(const ControlDefinition& definition);
// True when the record lies on a TAB page that its SHEET does not show.
bool on_hidden_page(const ControlDefinition& definition);

// The font the controls of a host draw with: the window's font, else the default
// dialog font. Never null while a display is open.
std::shared_ptr<const pd::Font> control_font(const ControlHost& host);

// Text with "&x" mnemonics: the character after the first single "&", lower case,
// or 0 when there is none.
char mnemonic_of(std::string_view text);

}  // namespace sk::ui
