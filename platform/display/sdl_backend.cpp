// The SDL backend: an OS window showing the composed screen, on a thread of its own.
// The thread turns SDL events into the window manager's input calls (keys in the
// classic virtual-key numbering, text as UTF-8, mouse and wheel, the window's close
// button as a close request of the active window), runs the window manager's own
// timers, and presents the damaged screen. Clipboard, cursor and beep go through it
// too, since SDL wants its video calls on the thread that opened the window.
#include <SDL.h>
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <future>
#include <thread>

#include "platform/display/key_text.h"
#include "platform/display/window_manager.h"
#include "platform/system_error.h"

namespace sk::platform::display::detail {

namespace {

struct Backend {
    std::thread thread;
    std::atomic<bool> stop{false};
    bool running = false;
    KeyTextFallback key_text;  // used on the backend's thread only
};

// Never destroyed: a process that exits while the backend's thread still runs
// (the display connection lost, say) must not destroy a running thread's handle.
Backend& backend() {
    static Backend* b = new Backend;
    return *b;
}

// When the connection to the X server breaks, the X client library calls its
// I/O error handler and then ends the process with exit(). Running the exit
// handlers and static destructors then, while procedure threads still use the
// state they tear down, would crash; every statement has already been committed
// to the files, so the process ends at once with a plain message instead.
[[noreturn]] int display_connection_lost(void*)
{
    static const char text[] = "Sitekeeper: the connection to the display was lost.\n";
    ssize_t ignored = ::write(STDERR_FILENO, text, sizeof text - 1);
    (void)ignored;
    ::_exit(1);
}

void end_at_once_if_the_display_goes()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || std::strcmp(driver, "x11") != 0) return;
    // SDL loads the X client library itself; its handler setter is looked up there.
    using Handler = int (*)(void*);
    using Setter = Handler (*)(Handler);
    void* library = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
    void* symbol = ::dlsym(library != nullptr ? library : RTLD_DEFAULT, "XSetIOErrorHandler");
    if (symbol != nullptr) reinterpret_cast<Setter>(symbol)(display_connection_lost);
    if (library != nullptr) ::dlclose(library);
}

std::uint32_t virtual_key(SDL_Keycode k) {
    if (k >= SDLK_a && k <= SDLK_z) return kVkA + static_cast<std::uint32_t>(k - SDLK_a);
    if (k >= SDLK_0 && k <= SDLK_9) return kVk0 + static_cast<std::uint32_t>(k - SDLK_0);
    if (k >= SDLK_F1 && k <= SDLK_F12) return kVkF1 + static_cast<std::uint32_t>(k - SDLK_F1);
    if (k >= SDLK_F13 && k <= SDLK_F24) return kVkF1 + 12 + static_cast<std::uint32_t>(k - SDLK_F13);
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9) return kVkNumpad0 + 1 + static_cast<std::uint32_t>(k - SDLK_KP_1);
    switch (k) {
    case SDLK_BACKSPACE: return kVkBack;
    case SDLK_TAB: return kVkTab;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return kVkReturn;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return kVkShift;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return kVkControl;
    case SDLK_LALT:
    case SDLK_RALT: return kVkMenu;
    case SDLK_PAUSE: return kVkPause;
    case SDLK_CAPSLOCK: return kVkCapital;
    case SDLK_ESCAPE: return kVkEscape;
    case SDLK_SPACE: return kVkSpace;
    case SDLK_PAGEUP: return kVkPrior;
    case SDLK_PAGEDOWN: return kVkNext;
    case SDLK_END: return kVkEnd;
    case SDLK_HOME: return kVkHome;
    case SDLK_LEFT: return kVkLeft;
    case SDLK_UP: return kVkUp;
    case SDLK_RIGHT: return kVkRight;
    case SDLK_DOWN: return kVkDown;
    case SDLK_INSERT: return kVkInsert;
    case SDLK_DELETE: return kVkDelete;
    case SDLK_APPLICATION: return kVkApps;
    case SDLK_KP_0: return kVkNumpad0;
    case SDLK_KP_MULTIPLY: return kVkMultiply;
    case SDLK_KP_PLUS: return kVkAdd;
    case SDLK_KP_MINUS: return kVkSubtract;
    case SDLK_KP_PERIOD: return kVkDecimal;
    case SDLK_KP_DIVIDE: return kVkDivide;
    case SDLK_NUMLOCKCLEAR: return kVkNumLock;
    case SDLK_SCROLLLOCK: return kVkScroll;
    // The punctuation keys of a US layout, in the classic numbering.
    case SDLK_SEMICOLON: return 0xBA;
    case SDLK_EQUALS: return 0xBB;
    case SDLK_COMMA: return 0xBC;
    case SDLK_MINUS: return 0xBD;
    case SDLK_PERIOD: return 0xBE;
    case SDLK_SLASH: return 0xBF;
    case SDLK_BACKQUOTE: return 0xC0;
    case SDLK_LEFTBRACKET: return 0xDB;
    case SDLK_BACKSLASH: return 0xDC;
    case SDLK_RIGHTBRACKET: return 0xDD;
    case SDLK_QUOTE: return 0xDE;
    default: return 0;
    }
}

std::uint32_t mouse_button(Uint8 b) {
    if (b == SDL_BUTTON_RIGHT) return kButtonRight;
    if (b == SDL_BUTTON_MIDDLE) return kButtonMiddle;
    if (b == SDL_BUTTON_LEFT) return kButtonLeft;
    return 0;
}

SDL_SystemCursor sdl_cursor(Cursor c) {
    switch (c) {
    case Cursor::kArrow: return SDL_SYSTEM_CURSOR_ARROW;
    case Cursor::kWait: return SDL_SYSTEM_CURSOR_WAIT;
    case Cursor::kIBeam: return SDL_SYSTEM_CURSOR_IBEAM;
    case Cursor::kCross: return SDL_SYSTEM_CURSOR_CROSSHAIR;
    case Cursor::kSizeNS: return SDL_SYSTEM_CURSOR_SIZENS;
    case Cursor::kSizeWE: return SDL_SYSTEM_CURSOR_SIZEWE;
    case Cursor::kSizeNWSE: return SDL_SYSTEM_CURSOR_SIZENWSE;
    case Cursor::kSizeNESW: return SDL_SYSTEM_CURSOR_SIZENESW;
    case Cursor::kSizeAll: return SDL_SYSTEM_CURSOR_SIZEALL;
    case Cursor::kNo: return SDL_SYSTEM_CURSOR_NO;
    case Cursor::kHand: return SDL_SYSTEM_CURSOR_HAND;
    }
    return SDL_SYSTEM_CURSOR_ARROW;
}

// The OS window's close button asks the active window (or the topmost one) to close.
void close_request() {
    auto& st = state();
    WindowRec* target = find(st.active);
    for (auto it = st.top_windows.rbegin(); !target && it != st.top_windows.rend(); ++it) {
        WindowRec* w = find(*it);
        if (w && w->kind == WindowKind::kTopLevel && shown(*w)) target = w;
    }
    if (!target) return;
    Message m;
    m.code = kMsgClose;
    m.time = now_ms();
    post_to_window(*target, m);
}

// A short square-wave tone; silently nothing when there is no audio device.
struct Beeper {
    SDL_AudioDeviceID device = 0;
    bool tried = false;
    void play() {
        if (!tried) {
            tried = true;
            if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
                SDL_AudioSpec want{}, have{};
                want.freq = 22050;
                want.format = AUDIO_S16SYS;
                want.channels = 1;
                want.samples = 512;
                device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
                if (device) SDL_PauseAudioDevice(device, 0);
            }
        }
        if (!device) return;
        std::vector<Sint16> samples(22050 / 8);
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = ((i / 15) % 2) ? 3000 : -3000;  // about 735 Hz
        SDL_QueueAudio(device, samples.data(), static_cast<Uint32>(samples.size() * sizeof(Sint16)));
    }
    ~Beeper() {
        if (device) SDL_CloseAudioDevice(device);
    }
};

struct Video {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    Size size;
    SDL_Cursor* cursors[11] = {};
    Cursor shown_cursor = Cursor::kArrow;

    bool open(Size s) {
        if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
        end_at_once_if_the_display_goes();
        window = SDL_CreateWindow("Sitekeeper", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, s.width, s.height,
                                  SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
        if (!window) return false;
        renderer = SDL_CreateRenderer(window, -1, 0);
        if (!renderer) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
        if (!renderer) return false;
        SDL_StartTextInput();
        return make_texture(s);
    }
    bool make_texture(Size s) {
        if (texture) SDL_DestroyTexture(texture);
        size = s;
        texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, s.width, s.height);
        return texture != nullptr;
    }
    void set_cursor(Cursor c) {
        if (c == shown_cursor) return;
        shown_cursor = c;
        int i = static_cast<int>(c);
        if (i < 0 || i >= 11) return;
        if (!cursors[i]) cursors[i] = SDL_CreateSystemCursor(sdl_cursor(c));
        if (cursors[i]) SDL_SetCursor(cursors[i]);
    }
    void close() {
        for (SDL_Cursor*& c : cursors) {
            if (c) SDL_FreeCursor(c);
            c = nullptr;
        }
        if (texture) SDL_DestroyTexture(texture);
        if (renderer) SDL_DestroyRenderer(renderer);
        if (window) SDL_DestroyWindow(window);
        texture = nullptr;
        renderer = nullptr;
        window = nullptr;
        // SDL stays initialised for the rest of the process: quitting would unload the
        // X client libraries it loaded, and a display opened again reuses them.
    }
};

// Set when the screen's window was asked to close: SDL follows that with a quit.
bool quit_follows_close = false;

// Hands one SDL event to the window manager. Requires the mutex.
void handle_event(const SDL_Event& e, Video& video) {
    auto& st = state();
    switch (e.type) {
    case SDL_QUIT:
        // Closing the screen's window also sends a quit; any other quit comes from
        // the session ending (or a termination signal), which the program may refuse.
        if (quit_follows_close) quit_follows_close = false;
        else end_session_locked();
        break;
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
            quit_follows_close = true;
            close_request();
        } else if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            int w = std::max(1, e.window.data1), h = std::max(1, e.window.data2);
            if (w != st.screen.width() || h != st.screen.height()) {
                st.screen.resize(w, h, system_color(SystemColor::kDesktop));
                video.make_texture(Size{w, h});
                // Maximised top-level windows keep filling the screen.
                for (WindowId id : std::vector<WindowId>(st.top_windows)) {
                    WindowRec* r = find(id);
                    if (r && r->size_state == kSizeMaximized) move_locked(*r, st.screen.bounds());
                }
            }
            add_damage(st.screen.bounds());
        } else if (e.window.event == SDL_WINDOWEVENT_EXPOSED) {
            add_damage(st.screen.bounds());
        }
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        // A key without a virtual-key code still types its character: SDL's text event
        // for the keystroke normally does, and the key's own character when none comes.
        KeyTextFallback& fallback = backend().key_text;
        std::uint32_t vk = virtual_key(e.key.keysym.sym);
        std::string owed;
        if (e.type == SDL_KEYDOWN && !vk) {
            st.alt_alone = false;
            st.swallow_key_text = false;  // a new keystroke
            owed = fallback.key_down(key_code_char(e.key.keysym.sym, (e.key.keysym.mod & KMOD_SHIFT) != 0));
        } else {
            owed = fallback.flush();
        }
        if (!owed.empty()) input_text(owed);
        if (vk) input_key(vk, e.type == SDL_KEYDOWN);
        break;
    }
    case SDL_TEXTINPUT:
        backend().key_text.text_arrived();
        input_text(e.text.text);
        break;
    case SDL_MOUSEMOTION:
        input_mouse_move(Point{e.motion.x, e.motion.y});
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (std::uint32_t b = mouse_button(e.button.button)) {
            input_mouse_button(Point{e.button.x, e.button.y}, b, e.type == SDL_MOUSEBUTTONDOWN);
        }
        break;
    case SDL_MOUSEWHEEL: {
        int notches = e.wheel.y;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
        if (notches != 0) input_mouse_wheel(st.mouse, notches * 120);
        break;
    }
    case SDL_CLIPBOARDUPDATE:
        if (SDL_HasClipboardText()) {
            if (char* text = SDL_GetClipboardText()) {
                st.clipboard = text;
                st.clipboard_set = true;
                SDL_free(text);
            }
        }
        break;
    default:
        break;
    }
}

void run(std::promise<bool> started, Size screen) {
    Video video;
    if (!video.open(screen)) {
        video.close();
        started.set_value(false);
        return;
    }
    started.set_value(true);
    Beeper beeper;
    std::uint64_t beeps_played = 0;
    std::vector<SDL_Event> events;
    auto& st = state();
    {
        Lock lock(st.mutex);
        beeps_played = st.beeps;
    }
    while (!backend().stop) {
        SDL_Event e;
        events.clear();
        if (SDL_WaitEventTimeout(&e, 10)) {
            events.push_back(e);
            while (events.size() < 256 && SDL_PollEvent(&e)) events.push_back(e);
        }
        std::string clipboard;
        bool push_clipboard = false;
        bool present = false;
        bool readback = false;
        bool beep = false;
        {
            Lock lock(st.mutex);
            if (!st.open) break;
            for (const SDL_Event& ev : events) handle_event(ev, video);
            run_system_timers();
            if (st.clipboard_dirty) {
                st.clipboard_dirty = false;
                clipboard = st.clipboard;
                push_clipboard = true;
            }
            if (st.beeps != beeps_played) {
                beeps_played = st.beeps;
                beep = true;
            }
            video.set_cursor(st.cursor);
            // Upload only what changed: the damage, and where the caret blinks.
            Rect changed;
            for (const Rect& d : st.damage) changed = changed.unite(d);
            if (const WindowRec* cw = find(st.caret_owner); cw && st.caret_shown) {
                Rect s = screen_rect_of(*cw);
                Rect c = client_in_window(*cw);
                changed = changed.unite(st.caret.offset(s.left + c.left, s.top + c.top));
            }
            changed = changed.intersect(st.screen.bounds());
            if (!changed.is_empty()) {
                compose_locked();
                if (video.texture && st.screen.width() == video.size.width && st.screen.height() == video.size.height) {
                    SDL_Rect r{changed.left, changed.top, changed.width(), changed.height()};
                    SDL_UpdateTexture(video.texture, &r, st.screen.row(changed.top) + changed.left, st.screen.width() * 4);
                }
                present = true;
            }
            readback = st.readback_requested;
        }
        if (push_clipboard) SDL_SetClipboardText(clipboard.c_str());
        if (beep) beeper.play();
        if (present || readback) {
            SDL_RenderClear(video.renderer);
            SDL_RenderCopy(video.renderer, video.texture, nullptr, nullptr);
            if (readback) {
                // Read back what the renderer holds, before presenting swaps it away.
                Surface copy(video.size.width, video.size.height);
                bool ok = SDL_RenderReadPixels(video.renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, copy.row(0),
                                               video.size.width * 4) == 0;
                Lock lock(st.mutex);
                st.readback_requested = false;
                if (ok) {
                    st.readback = std::move(copy);
                    st.readback_ready = true;
                }
                st.idle_changed.notify_all();
            }
            SDL_RenderPresent(video.renderer);
        }
    }
    video.close();
}

}  // namespace

bool sdl_start(Size screen) {
    Backend& b = backend();
    if (b.running) return true;
    b.stop = false;
    std::promise<bool> started;
    std::future<bool> ok = started.get_future();
    b.thread = std::thread(run, std::move(started), screen);
    if (!ok.get()) {
        b.thread.join();
        set_last_system_error(kErrGeneralFailure);
        return false;
    }
    b.running = true;
    return true;
}

void sdl_stop() {
    Backend& b = backend();
    if (!b.running) return;
    b.stop = true;
    b.thread.join();
    b.running = false;
}

}  // namespace sk::platform::display::detail
