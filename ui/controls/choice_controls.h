// Controls that choose one of several: OPTION with its RADIO members, and SHEET
// with its TAB pages. The members are controls of their own (the engine creates
// every record); they find their container through the control registry.
#pragma once

#include <vector>

#include "ui/controls/control_base.h"

namespace sk::ui {

class RadioControl;

// OPTION: a group box with a caption. Its variable holds the chosen RADIO: the
// RADIO's text without its "&" for a string variable, its position (from 1) for a
// number.
class OptionControl : public WidgetControl {
public:
    OptionControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding, const PixelRect& rect);
    void display() override;
    bool takes_focus() const override { return false; }

    // 0 when the variable names no member.
    std::size_t chosen() const { return m_chosen; }
    bool is_chosen(const ControlDefinition& radio) const;
    // The user chose a member: store it, redraw the members, post "EVENT:Accepted" for it.
    void choose(const ControlDefinition& radio);
    // The member after (or before) radio, wrapping; nullptr when there is none.
    RadioControl* neighbour(const ControlDefinition& radio, bool backwards) const;

protected:
    void paint(pd::Painter& painter, const pd::Rect& client) override;

private:
    std::size_t index_of(const ControlDefinition& radio) const;  // from 1; 0 when not a member
    void redraw_members() const;
    std::size_t m_chosen = 0;
};

class RadioControl : public WidgetControl {
public:
    RadioControl(ControlHost& host, const ControlDefinition& definition, const PixelRect& rect);
    bool is_checked() const;
    void choose();
    char mnemonic() const override { return mnemonic_of(definition().text); }
    void activate() override;

protected:
    void paint(pd::Painter& painter, const pd::Rect& client) override;
    bool on_key_down(const pd::Message& m) override;
    bool on_mouse(const pd::Message& m) override;
    void on_focus(bool) override { repaint(); }

private:
    OptionControl* option() const;
};

// TAB: a page of a sheet. It has no window of its own; the sheet draws its tab and
// shows or hides the page's controls.
class TabControl : public Control {
public:
    TabControl(const ControlDefinition& definition, const PixelRect& rect);
    ~TabControl() override;
    WindowId window() const override { return 0; }
    bool handle_message(const pd::Message&) override { return false; }
    bool takes_focus() const override { return false; }
    void move(const PixelRect& rect) override { m_rect = rect; }
    PixelRect rect() const override { return m_rect; }
    void set_hidden(bool hidden) override { m_hidden = hidden; }
    void set_disabled(bool disabled) override { m_disabled = disabled; }
    bool is_disabled() const { return m_disabled; }

private:
    PixelRect m_rect;
    bool m_hidden = false;
    bool m_disabled = false;
};

// SHEET: the tab strip over the pages. Changing the tab delivers
// "EVENT:TabChanging" at once (a procedure that cycles keeps the old tab), then
// shows the new page and posts "EVENT:NewSelection". The variable, when bound,
// holds the tab's position from 1.
class SheetControl : public WidgetControl {
public:
    SheetControl(ControlHost& host, const ControlDefinition& definition, VariableRef binding, const PixelRect& rect);
    void display() override;
    bool get_property(std::uint32_t number, std::int32_t index, std::string* value) override;
    bool set_property(std::uint32_t number, std::int32_t index, std::string_view value) override;

    std::size_t tab_count() const { return definition().children.size(); }
    std::size_t selected() const { return m_selected; }  // from 0
    const ControlDefinition* selected_definition() const;
    // Shows tab index (from 0) as the user's choice would.
    bool select_tab(std::size_t index);
    int strip_height() const;
    pd::Rect tab_rect(std::size_t index) const;

protected:
    void paint(pd::Painter& painter, const pd::Rect& client) override;
    bool on_key_down(const pd::Message& m) override;
    bool on_mouse(const pd::Message& m) override;
    void on_focus(bool) override { repaint(); }

private:
    void show_pages();
    bool tab_enabled(std::size_t index) const;
    std::size_t m_selected = 0;
};

}  // namespace sk::ui
