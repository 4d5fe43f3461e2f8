// Shared by the engine's tests: test definitions compiled from source text, a
// stand-in control class, and the set-up of a headless display with the engine's
// thread table. Include from exactly one test file per executable.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <thread>
#include <string>
#include <vector>

#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "runtime/error.h"
#include "ui/controls/control.h"
#include "ui/definition_source.h"
#include "ui/definition_writer.h"
#include "ui/resource_registry.h"
#include "ui/thread.h"
#include "ui/window.h"

namespace sk::ui::test {

namespace pd = sk::platform::display;

// Compiles a definition source and registers it in a module of its own.
inline void register_source(const std::string& module, const std::string& source) {
    static std::deque<std::vector<std::uint8_t>> bodies;
    ResourceDefinition resource;
    std::string error;
    ASSERT_TRUE(parse_definition_source(source, resource, error)) << error;
    bodies.push_back(write_resource_body(resource));
    register_embedded_resource(resource_name(resource.module), bodies.back().data(), bodies.back().size(), module);
}

// A control that owns one child window, posts "EVENT:Accepted" when a button is
// clicked or commanded, and records what the engine asks of it.
struct FakeControl : Control {
    FakeControl(ControlHost& host, const ControlDefinition& d, VariableRef b, const PixelRect& r)
        : Control(d), m_host(host), m_binding(b) {
        pd::WindowSpec s;
        s.kind = pd::WindowKind::kChild;
        s.parent = host.client_window();
        s.rect = pd::Rect{r.left, r.top, r.right, r.bottom};
        s.identifier = static_cast<std::uint32_t>(d.field + 0x4000);
        s.text = d.text;
        s.visible = true;
        m_window = pd::create_window(s);
        refuses = d.text == "refuse";
    }
    ~FakeControl() override { pd::destroy_window(m_window); }
    WindowId window() const override { return m_window; }
    bool handle_message(const pd::Message& m) override {
        if (m.code == pd::kMsgPaint) {
            pd::PaintSession s = pd::begin_paint(m_window);
            if (s.is_valid()) {
                s.painter().fill_rect(pd::client_rect(m_window), pd::system_color(pd::SystemColor::kButtonFace));
                s.painter().draw_edge(pd::client_rect(m_window), pd::Edge::kRaised);
            }
            return true;
        }
        if (definition().kind == kKindButton && (m.code == pd::kMsgLButtonUp || m.code == pd::kMsgCommand)) {
            m_host.post_event(field(), 1);
            return true;
        }
        if (definition().kind == kKindSheet && m.code == pd::kMsgLButtonUp) {
            // Asks the procedure first, as a tab change does.
            tab_changing_refused = m_host.deliver_now(field(), 21);
            if (!tab_changing_refused) m_host.post_event(field(), 2);
            return true;
        }
        return false;
    }
    void display() override { ++displays; }
    bool accept() override {
        ++accepts;
        return !refuses;
    }
    bool takes_focus() const override {
        return definition().kind != kKindPrompt && definition().kind != kKindString && definition().kind != kKindTab;
    }
    void focus() override { pd::set_focus(m_window); }
    void move(const PixelRect& r) override { pd::move_window(m_window, pd::Rect{r.left, r.top, r.right, r.bottom}); }
    PixelRect rect() const override {
        const pd::Rect r = pd::window_rect(m_window);
        return PixelRect{r.left, r.top, r.right, r.bottom};
    }
    void set_hidden(bool hidden) override { pd::show_window(m_window, !hidden); }
    void set_disabled(bool disabled) override { pd::enable_window(m_window, !disabled); }

    ControlHost& m_host;
    VariableRef m_binding;
    WindowId m_window = 0;
    int displays = 0;
    int accepts = 0;
    bool refuses = false;
    bool tab_changing_refused = false;
};

// The engine's display and thread table for a test; runtime errors are not fatal.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!pd::is_display_open()) {
            ASSERT_TRUE(pd::open_display(pd::Backend::kHeadless, pd::Size{800, 600}));
        }
        ASSERT_TRUE(initialise_core());
        sk::rt::set_runtime_errors_fatal(false);
        sk::rt::clear_error();
    }
    void TearDown() override { EXPECT_TRUE(wait_for_threads()); }

    // Lets the other threads run until they are idle.
    static void settle() {
        LockRelease unlocked;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        pd::headless::wait_until_idle(5000);
    }
    // Posts the command of the menu item with the given field to w, as choosing it does.
    static void command(Window& w, std::int32_t field) {
        pd::Message m;
        m.code = pd::kMsgCommand;
        m.window = w.handle();
        m.wparam = static_cast<std::uint32_t>(field) + 0x4000;
        pd::post_message(m);
    }
    // Lets the other threads run until done() holds; false after timeout_ms.
    template <typename Done>
    static bool wait_until(Done done, int timeout_ms = 5000) {
        for (int waited = 0; !done(); waited += 2) {
            if (waited >= timeout_ms) return false;
            LockRelease unlocked;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        LockRelease unlocked;
        pd::headless::wait_until_idle(5000);
        return true;
    }
};

}  // namespace sk::ui::test

#ifdef SK_TEST_FAKE_CONTROLS
namespace sk::ui {
// Stand-in for the control classes, for engine tests that count on its plain
// behaviour. Only a test that defines SK_TEST_FAKE_CONTROLS before including this
// gets it: a weak definition here would otherwise keep the linker from pulling the
// real controls out of the library, and a test would silently run on stand-ins.
__attribute__((weak)) std::unique_ptr<Control> create_control(ControlHost& host, const ControlDefinition& definition,
                                                              VariableRef binding, VariableRef,
                                                              const PixelRect& rect) {
    return std::make_unique<test::FakeControl>(host, definition, binding, rect);
}
}  // namespace sk::ui
#endif  // SK_TEST_FAKE_CONTROLS
