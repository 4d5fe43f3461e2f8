// A window for controls under test: a top-level window on the headless display as
// the client, a fake host that records events, and a pump that routes messages.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "ui/controls/control.h"

namespace sk::ui::testing {

namespace pd = sk::platform::display;

struct PostedEvent {
    std::int32_t field;
    std::uint16_t event;
    int code;
    bool operator==(const PostedEvent&) const = default;
};

class FakeHost : public ControlHost {
public:
    WindowId client = 0;
    UnitScale scale{16, 16, 8, 8, 16};  // a dialog unit of 2 pixels each way
    std::shared_ptr<const pd::Font> font;
    std::vector<PostedEvent> events;
    std::vector<std::int32_t> delivered;
    bool cycle_deliveries = false;
    std::string message;
    std::vector<std::pair<std::int32_t, bool>> focus_moves;

    WindowId client_window() const override { return client; }
    const UnitScale& unit_scale() const override { return scale; }
    std::shared_ptr<const pd::Font> window_font() const override { return font; }
    void post_event(std::int32_t field, std::uint16_t event) override {
        if (field != 0) events.push_back({field, event, 0});
    }
    void post_event_with_code(std::int32_t field, std::uint16_t event, int code) override {
        if (field != 0) events.push_back({field, event, code});
    }
    bool deliver_now(std::int32_t field, std::uint16_t event) override {
        delivered.push_back(field * 1000 + event);
        events.push_back({field, event, -1});
        return cycle_deliveries;
    }
    void show_message(std::string_view text) override { message = std::string(text); }
    void focus_next(std::int32_t from_field, bool backwards) override { focus_moves.push_back({from_field, backwards}); }

    std::vector<std::uint16_t> codes() const {
        std::vector<std::uint16_t> out;
        for (const auto& e : events) out.push_back(e.event);
        return out;
    }
};

// Opens the headless display with one window whose client holds the controls.
class ControlWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pd::open_display(pd::Backend::kHeadless, pd::Size{640, 480}));
        pd::WindowSpec s;
        s.rect = pd::Rect::from_size(0, 0, 600, 440);
        s.text = "Controls";
        s.style = pd::kStyleDialogFrame | pd::kStyleCaption;
        s.visible = true;
        top = pd::create_window(s);
        pd::set_active_window(top);
        host.client = top;
        host.font = pd::open_font(pd::FontSpec{});
        ASSERT_NE(host.font, nullptr);
    }
    void TearDown() override {
        controls.clear();
        pd::close_display();
    }

    Control& add(std::unique_ptr<Control> c) {
        controls.push_back(std::move(c));
        return *controls.back();
    }
    // Delivers every waiting message to the control that owns its window.
    void pump() {
        pd::Message m;
        for (int guard = 0; guard < 10000 && pd::peek_message(m, true); ++guard) {
            bool handled = false;
            for (auto& c : controls)
                if (c && c->owns_window(m.window)) handled = c->handle_message(m) || handled;
            if (!handled && m.code == pd::kMsgPaint) pd::begin_paint(m.window);
            else if (!handled) unrouted.push_back(m);
        }
    }
    pd::Point screen_of(const Control& c, int x, int y) {
        return pd::client_to_screen(c.window(), pd::Point{x, y});
    }
    void click(const Control& c, int x, int y, std::uint32_t button = pd::kButtonLeft) {
        pd::headless::click(screen_of(c, x, y), button);
        pump();
    }
    void key(std::uint32_t vk, std::uint32_t modifiers = 0) {
        pd::headless::press_key(vk, modifiers);
        pump();
    }
    void type(std::string_view text) {
        pd::headless::type_text(text);
        pump();
    }

    FakeHost host;
    WindowId top = 0;
    std::vector<std::unique_ptr<Control>> controls;
    std::vector<pd::Message> unrouted;  // messages for windows that are no control's
};

}  // namespace sk::ui::testing
