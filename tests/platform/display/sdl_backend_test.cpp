// The SDL backend against a real X display: the composed screen reaches the OS window,
// and SDL events come back as window messages. Runs only with SITEKEEPER_DISPLAY=sdl
// and a DISPLAY (sdl_smoke_test.sh starts it under Xvfb); skipped otherwise.
#include "platform/display/display.h"
#include "platform/system_error.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

using namespace sk::platform::display;

namespace {

bool wanted() {
    const char* backend = std::getenv("SITEKEEPER_DISPLAY");
    const char* display = std::getenv("DISPLAY");
    return backend && std::strcmp(backend, "sdl") == 0 && display && *display;
}

// Collects the messages that arrive within ms, painting what asks for it in red.
std::vector<Message> pump(int ms) {
    std::vector<Message> out;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        Message m;
        if (peek_message(m, true)) {
            if (m.code == kMsgPaint) {
                PaintSession p = begin_paint(m.window);
                p.painter().fill_rect(p.rect(), rgb(0xFF, 0, 0));
            } else {
                out.push_back(m);
            }
            continue;
        }
        wait_for_message(10);
    }
    return out;
}

bool has(const std::vector<Message>& all, MessageCode code, std::uint64_t wparam) {
    for (const Message& m : all)
        if (m.code == code && m.wparam == wparam) return true;
    return false;
}

}  // namespace

TEST(SdlBackend, ShowsTheScreenAndDeliversInput) {
    if (!wanted()) GTEST_SKIP() << "needs SITEKEEPER_DISPLAY=sdl and an X display";
    ASSERT_TRUE(open_display(Backend::kSdl, Size{320, 240})) << "error " << sk::platform::last_system_error();
    EXPECT_EQ(display_backend(), Backend::kSdl);
    WindowSpec s;
    s.rect = Rect::from_size(20, 20, 200, 150);
    s.text = "Smoke";
    s.style = kStyleSizable | kStyleCaption | kStyleSysMenu;
    s.visible = true;
    WindowId w = create_window(s);
    ASSERT_NE(w, 0u);
    ASSERT_TRUE(set_active_window(w));
    pump(200);

    // What the OS window shows: the desktop colour outside, red in the client area.
    Surface shown;
    ASSERT_TRUE(read_presented_screen(shown));
    ASSERT_EQ(shown.width(), 320);
    Point inside = client_to_screen(w, Point{20, 20});
    EXPECT_EQ(shown.pixel(inside.x, inside.y) & 0xFFFFFFu, 0xFF0000u);
    EXPECT_EQ(shown.pixel(300, 230) & 0xFFFFFFu, system_color(SystemColor::kDesktop) & 0xFFFFFFu);

    // SDL events become messages: a key, typed text, a click, and the close button.
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = SDLK_F2;
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_TEXTINPUT;
    std::strcpy(e.text.text, "\xC3\xA9");
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = inside.x;
    e.button.y = inside.y;
    SDL_PushEvent(&e);
    // A quit no window close caused is the session ending, refused while a window
    // is shown; closing the screen's window asks the window to close.
    e = SDL_Event{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
    std::vector<Message> got = pump(300);
    EXPECT_TRUE(has(got, kMsgKeyDown, kVkF1 + 1));
    EXPECT_TRUE(has(got, kMsgChar, 0xE9));
    EXPECT_TRUE(has(got, kMsgLButtonDown, kButtonLeft));
    EXPECT_TRUE(has(got, kMsgEndSessionRefused, 0));
    EXPECT_TRUE(has(got, kMsgClose, 0));

    // A key without a virtual-key code types its character once: through SDL's text
    // event when one comes, else by itself when the key goes up.
    auto key = [](Uint32 type, SDL_Keycode sym) {
        SDL_Event k{};
        k.type = type;
        k.key.keysym.sym = sym;
        SDL_PushEvent(&k);
    };
    key(SDL_KEYDOWN, 0xE4);
    e = SDL_Event{};
    e.type = SDL_TEXTINPUT;
    std::strcpy(e.text.text, "\xC3\xA4");
    SDL_PushEvent(&e);
    key(SDL_KEYUP, 0xE4);
    key(SDL_KEYDOWN, 0xF6);
    key(SDL_KEYUP, 0xF6);
    got = pump(300);
    auto count = [&](std::uint64_t c) {
        return std::count_if(got.begin(), got.end(), [&](const Message& m) { return m.code == kMsgChar && m.wparam == c; });
    };
    EXPECT_EQ(count(0xE4), 1);
    EXPECT_EQ(count(0xF6), 1);

    // The clipboard goes out through SDL and back.
    set_clipboard_text("http://example.org/");
    pump(100);
    EXPECT_EQ(clipboard_text(), "http://example.org/");
    beep();
    set_cursor(Cursor::kWait);
    pump(50);
    close_display();
    EXPECT_FALSE(is_display_open());
}
