// What the tests that run procedures on their own threads share: waiting for the
// other threads with the global lock given up, the application frame run as a
// procedure of its own, and what an open popup menu offers.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "platform/display/menu.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "ui/controls/list_control.h"
#include "ui/engine.h"
#include "ui/thread.h"
#include "ui/window.h"

namespace sk::app::test {

// The headless display (800x600) and the window engine, with runtime errors
// reported instead of ending the test. False when either cannot start.
inline bool start_headless_engine() {
    namespace pd = sk::platform::display;
    if (!pd::is_display_open() && !pd::open_display(pd::Backend::kHeadless, pd::Size{800, 600})) return false;
    if (!sk::ui::initialise_engine()) return false;
    sk::rt::set_runtime_errors_fatal(false);
    return true;
}

// Message boxes shown as "caption|text" in boxes and answered from answers,
// in turn; OK once answers is empty.
inline void record_boxes(std::vector<std::string>& boxes, std::deque<int>& answers) {
    sk::rt::set_message_presenter([&boxes, &answers](const sk::rt::MessageRequest& r) {
        boxes.push_back(std::string(r.caption) + "|" + std::string(r.text));
        if (answers.empty()) return int(sk::rt::kButtonOk);
        const int a = answers.front();
        answers.pop_front();
        return a;
    });
}

// One column of a list's rows, without their padding blanks, joined by
// separator; with mark_selected the selected row's cell is in brackets. "?"
// when there is no list.
inline std::string list_column(const sk::ui::ListControl* l, std::size_t column, const std::string& separator,
                               bool mark_selected) {
    if (l == nullptr) return "?";
    std::string out;
    for (std::size_t r = 1; r <= l->row_count(); ++r) {
        std::string cell = l->rows().cell(r, column);
        cell.erase(cell.find_last_not_of(' ') + 1);
        if (r > 1) out += separator;
        out += mark_selected && r == l->selected() ? "[" + cell + "]" : cell;
    }
    return out;
}

// Sets an environment variable while it lives, and puts back what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name)) {
            m_had_old = true;
            m_old = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment()
    {
        if (m_had_old) ::setenv(m_name, m_old.c_str(), 1);
        else ::unsetenv(m_name);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* m_name;
    bool m_had_old = false;
    std::string m_old;
};

// Points the per-user configuration (where the window positions file lives) at
// a directory of the test's own while it lives, so that runs and tests never see
// each other's saved positions.
class ConfigHomeIn : public ScopedEnvironment {
public:
    explicit ConfigHomeIn(const std::string& directory) : ScopedEnvironment("XDG_CONFIG_HOME", directory) {}
};

// Lets the other threads run until the program waits for input.
inline void settle() {
    sk::ui::LockRelease unlocked;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    sk::platform::display::headless::wait_until_idle(5000);
}

// Waits, the lock given up, until done() holds, then settles. False on timeout.
template <typename Done>
bool wait_until(Done done, int timeout_ms = 8000) {
    for (int waited = 0; !done(); waited += 2) {
        if (waited >= timeout_ms) return false;
        sk::ui::LockRelease unlocked;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    settle();
    return true;
}

// Set when run_frame's frame has closed.
inline std::atomic<bool> frame_done{false};

// The application frame, for a thread of its own: opened, run until it closes.
inline void run_frame() {
    sk::ui::Window frame(sk::ui::WindowType::kApplication, "LKDB32$lkdb3004", "MAIN$APPFRAME");
    if (frame.open()) {
        while (frame.accept()) {
        }
        if (frame.is_open()) frame.close();
    }
    frame_done = true;
}

// The entries of the popup that is up now, "~" before a greyed one.
inline std::vector<std::string> popup_entries() {
    namespace pd = sk::platform::display;
    std::vector<std::string> out;
    const std::vector<pd::MenuId> menus = pd::open_menus();
    if (menus.empty()) return out;
    for (int i = 0; i < pd::menu_entry_count(menus.back()); ++i) {
        pd::MenuEntry e;
        if (!pd::menu_entry(menus.back(), i, &e)) continue;
        out.push_back(((e.flags & pd::kMenuGrayed) != 0 ? "~" : "") + std::string(e.text));
    }
    return out;
}

}  // namespace sk::app::test
