// The halt path and the message presenter.
#include "runtime/halt.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sk::rt {
namespace {

std::mutex& registry_mutex() {
    static std::mutex m;
    return m;
}
std::vector<std::function<void()>>& exit_handlers() {
    static std::vector<std::function<void()>> v;
    return v;
}
std::vector<std::function<void()>>& finalisers() {
    static std::vector<std::function<void()>> v;
    return v;
}

std::mutex& presenter_mutex() {
    static std::mutex m;
    return m;
}
MessagePresenter& presenter() {
    static MessagePresenter p;
    return p;
}

std::atomic<bool> g_halting{false};
std::atomic<std::thread::id> g_halting_thread{};

// Until the window engine installs message boxes, messages go to standard error.
// Nobody can answer there, so the answer is 0.
int default_presenter(const MessageRequest& request) {
    std::string line;
    line.append(request.caption);
    line.append(": ");
    line.append(request.text);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    return 0;
}

}  // namespace

void set_message_presenter(MessagePresenter p) {
    std::lock_guard<std::mutex> lock(presenter_mutex());
    presenter() = std::move(p);
}

int present_message(const MessageRequest& request) {
    MessagePresenter p;
    {
        std::lock_guard<std::mutex> lock(presenter_mutex());
        p = presenter();
    }
    return p ? p(request) : default_presenter(request);
}

void register_exit_handler(std::function<void()> handler) {
    std::lock_guard<std::mutex> lock(registry_mutex());
    exit_handlers().push_back(std::move(handler));
}

void register_module_finaliser(std::function<void()> finaliser) {
    std::lock_guard<std::mutex> lock(registry_mutex());
    finalisers().push_back(std::move(finaliser));
}

bool halting() { return g_halting.load(); }

void halt(int exit_code, std::string_view message) {
    if (!message.empty()) {
        MessageRequest request;
        request.caption = "Halt";
        request.text = message;
        request.buttons = kButtonOk;
        request.default_button = kButtonOk;
        present_message(request);
    }
    bool expected = false;
    if (!g_halting.compare_exchange_strong(expected, true)) {
        // Someone is already halting. A handler that halts again on the halting
        // thread ends the process at once; any other thread waits for the end.
        if (g_halting_thread.load() == std::this_thread::get_id()) {
            std::fflush(nullptr);
            std::_Exit(exit_code);
        }
        for (;;) pause();
    }
    g_halting_thread.store(std::this_thread::get_id());

    std::vector<std::function<void()>> handlers;
    std::vector<std::function<void()>> module_finalisers;
    {
        std::lock_guard<std::mutex> lock(registry_mutex());
        handlers = exit_handlers();
        module_finalisers = finalisers();
    }
    for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) {
        if (*it) (*it)();
    }
    for (auto& f : module_finalisers) {
        if (f) f();
    }
    std::fflush(nullptr);
    std::_Exit(exit_code);
}

void stop(std::string_view message) {
    MessageRequest request;
    request.caption = "Stop";
    request.text = message.empty() ? std::string_view("Exit?") : message;
    request.buttons = kButtonAbort | kButtonIgnore;
    request.default_button = kButtonAbort;
    int answer = present_message(request);
    if (answer == kButtonIgnore) return;
    halt(0);
}

}  // namespace sk::rt
