// The controls that show something and take no typing: BUTTON, PROMPT, STRING
// (constant or bound), CHECK, IMAGE, BOX, LINE, REGION and PROGRESS.
#pragma once

#include <functional>

#include "ui/controls/control_base.h"

namespace sk::ui {

// Button option bit (record offset 81): the window's default button, pressed by Enter.
inline constexpr std::uint8_t kButtonDefault = 0x01;

class ButtonControl : public WidgetControl {
public:
    ButtonControl(ControlHost& host, const ControlDefinition& definition, const PixelRect& rect);

    // A button with a standard action (record offset 77) hands the action to this
    // hook instead of posting "EVENT:Accepted". Without a hook it posts the window
    // the button's command (kMsgCommand, field number + 4000h), which the window
    // engine answers by carrying the action out.
    using ActionHook = std::function<void(std::uint32_t action)>;
    void set_action_hook(ActionHook hook) { m_action_hook = std::move(hook); }
    bool is_default() const { return m_default; }
    void set_default(bool is_default);
    char mnemonic() const override { return mnemonic_of(definition().text); }
    void activate() override { press(); }
    bool is_pressed() const { return m_pressed; }
    // The click: what the mouse, Space, Enter on a default button or a mnemonic do.
    void press();

protected:
    void paint(pd::Painter& painter, const pd::Rect& client) override;
    bool on_key_down(const pd::Message& m) override;
    bool on_key_up(const pd::Message& m) override;
    bool on_mouse(const pd::Message& m) override;
    void on_focus(bool gained) override;
    bool on_other(const pd::Message& m) override;

private:
    ActionHook m_action_hook;
    bool m_default = false;
    bool m_pressed = false;
    bool m_tracking = false;
};

// PROMPT and the constant STRING: a text; a PROMPT's mnemonic moves the focus to
// the control after it (the engine's dialog keys ask mnemonic()).
class LabelControl : public WidgetControl {
public:
    LabelControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding, const PixelRect& rect);
    void display() override;
    bool takes_focus() const override { return false; }
    char mnemonic() const override;
    const std::string& text() const { return m_text; }
    void set_text(std::string_view text);
    bool get_property(std::uint32_t number, std::int32_t index, std::string* value) override;

protected:
    void paint(pd::Painter& painter, const pd::Rect& client) override;

private:
    ControlPicture m_picture;
    std::string m_text;
};

class CheckControl : public WidgetControl {
public:
    CheckControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding, const PixelRect& rect);
    void display() override;
    bool is_checked() const { return m_checked; }
    void toggle();
    char mnemonic() const override { return mnemonic_of(definition().text); }
    void activate() override;

protected:
    void paint(pd::Painter& painter, const pd::Rect& client) override;
    bool on_key_down(const pd::Message& m) override;
    bool on_mouse(const pd::Message& m) override;
    void on_focus(bool) override { repaint(); }

private:
    bool m_checked = false;
};

// IMAGE, BOX, LINE and REGION: drawings without focus. A REGION posts
// "EVENT:Accepted" on a click; an immediate one also reports the mouse.
class GraphicControl : public WidgetControl {
public:
    GraphicControl(ControlHost& host, const ControlDefinition& definition, const PixelRect& rect);
    bool takes_focus() const override { return false; }

protected:
    void paint(pd::Painter& painter, const pd::Rect& client) override;
    bool on_mouse(const pd::Message& m) override;

public:
    // The picture an IMAGE shows, or nullptr (no file, or one that cannot be read:
    // the area then keeps the face colour).
    const pd::Surface* image() const { return m_image.get(); }

private:
    bool m_inside = false;
    std::unique_ptr<pd::Surface> m_image;
};

class ProgressControl : public WidgetControl {
public:
    ProgressControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding, const PixelRect& rect);
    void display() override;
    bool takes_focus() const override { return false; }
    double value() const { return m_value; }
    // The share of the bar filled, 0 to 1.
    double fraction() const;

protected:
    void paint(pd::Painter& painter, const pd::Rect& client) override;

private:
    double m_value = 0;
};

// A colour of a definition (0x00BBGGRR, -1 for none) as a display colour.
pd::Color definition_color(std::int32_t color);

}  // namespace sk::ui
