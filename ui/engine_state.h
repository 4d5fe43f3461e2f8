// Process-wide state of the window engine, shared by the files of ui/ that
// implement windows, the dispatcher and the frame. Guarded by the global runtime
// lock, except the records in flight, which posters on any thread touch.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/display/geometry.h"
#include "platform/display/message.h"
#include "ui/event.h"
#include "ui/window.h"

namespace sk::ui {

// The MDI arrangements and printer set-up behind the standard actions, installed by
// the frame support; false when it cannot act.
using StandardActionHook = bool (*)(Window& window, std::uint32_t code);

struct EngineState {
    int modal = 0;
    Window* frame = nullptr;
    bool shutting_down = false;
    int class_counter = 0;
    int cascade = 0;
    std::uint64_t serial = 0;
    int last_event_thread = -1;  // the thread whose procedure last received an event
    int focus_seen = 0;          // the focus thread at the dispatcher's previous pass (0: never looked)
    std::map<WindowId, Window*> natives;
    sk::platform::display::Point mouse;  // screen position of the last mouse message
    ExtrasFactory extras = nullptr;
    StandardActionHook action_hook = nullptr;
    // The hidden window whose timer drives the background timer routine.
    WindowId background_window = 0;
    std::function<void()> background_routine;

    std::mutex records_mutex;
    std::map<std::uint64_t, std::unique_ptr<EventRecord>> records;
    std::uint64_t next_record = 1;
};

EngineState& engine();

// Calls the background timer routine for a tick of its timer; false for any other
// message.
bool background_tick(const sk::platform::display::Message& m);

std::uint64_t store_record(std::unique_ptr<EventRecord> record);
std::unique_ptr<EventRecord> take_record(std::uint64_t number);
void discard_records(const Window* window, std::uint64_t serial);

// The standard action of a menu item or button; false when the code has none.
bool perform_standard_action(Window& window, std::uint32_t code);

}  // namespace sk::ui
