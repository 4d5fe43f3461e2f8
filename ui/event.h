// The event vocabulary of the window engine: the event codes with their trace
// names, the private window messages the engine sends itself, and the event
// record that travels from a poster to a window's queue.
//
// Codes are absolute inside the engine (0x1401 ...); procedures see and pass the
// app value, the absolute code minus 0x1400 ("EVENT:Accepted" is 1).
#pragma once

#include <cstdint>
#include <string_view>

namespace sk::ui {

class Window;

inline constexpr std::uint16_t kEventCodeBase = 0x1400;

// App values of the events.
enum Event : std::uint16_t {
    kEventNone = 0,
    // Control events.
    kEventAccepted = 1,
    kEventNewSelection = 2,
    kEventScrollUp = 3,
    kEventScrollDown = 4,
    kEventPageUp = 5,
    kEventPageDown = 6,
    kEventScrollTop = 7,
    kEventScrollBottom = 8,
    kEventLocate = 9,
    kEventMouseUp = 10,
    kEventMouseIn = 11,
    kEventMouseOut = 12,
    kEventMouseMove = 13,
    kEventVbxEvent = 14,
    kEventAlertKey = 15,
    kEventPreAlert = 16,
    kEventDragging = 17,
    kEventDrag = 18,
    kEventDrop = 19,
    kEventScrollDrag = 20,
    kEventTabChanging = 21,
    kEventExpanding = 22,
    kEventContracting = 23,
    kEventExpanded = 24,
    kEventContracted = 25,
    kEventRejected = 26,
    kEventDroppingDown = 27,
    kEventDroppedDown = 28,
    kEventSelected = 257,
    // Window events.
    kEventCloseWindow = 513,
    kEventCloseDown = 514,
    kEventOpenWindow = 515,
    kEventOpenFailed = 516,
    kEventLoseFocus = 517,
    kEventGainFocus = 518,
    kEventSuspend = 520,
    kEventResume = 521,
    kEventNotify = 522,
    kEventTimer = 523,
    kEventDdeRequest = 524,
    kEventDdeAdvise = 525,
    kEventDdeData = 526,
    kEventDdeExecute = 527,
    kEventDdePoke = 528,
    kEventDdeClosed = 529,
    kEventMove = 544,
    kEventSize = 545,
    kEventRestore = 546,
    kEventMaximize = 547,
    kEventIconize = 548,
    kEventCompleted = 549,
    kEventMoved = 560,
    kEventSized = 561,
    kEventRestored = 562,
    kEventMaximized = 563,
    kEventIconized = 564,
};

constexpr std::uint16_t absolute_code(int app_value) {
    return static_cast<std::uint16_t>(app_value + kEventCodeBase);
}
constexpr int app_value(std::uint16_t absolute) { return absolute - kEventCodeBase; }

// The trace name of an absolute event code or private message ("EVENT:Accepted",
// "QUERY_SETUSE"); empty for a code that has none.
std::string_view event_name(std::uint16_t absolute);
// True for the events that name a control (codes below 0x1600).
constexpr bool is_control_event(std::uint16_t absolute) { return absolute > 0x1400 && absolute < 0x1600; }

// Private window messages of the engine.
enum PrivateMessage : std::uint32_t {
    kMsgQuerySetUse = 0x2401,
    kMsgQuerySelected = 0x2402,
    kMsgQueryCommand = 0x2403,
    kMsgQueryHotChange = 0x2404,
    kMsgQueryHelp = 0x2405,
    kMsgQueryQuit = 0x2406,
    kMsgQueryReply = 0x2407,
    kMsgQueryLoseFocus = 0x2408,
    kMsgQueryPScreen = 0x2409,
    kMsgQueryPField = 0x240A,
    kMsgQueryColor = 0x240C,
    kMsgQueryHScroll = 0x240E,
    kMsgQueryNotify = 0x2410,
    kMsgQueryLocate = 0x2412,
    kMsgBringToTop = 0x2415,         // bring the thread's top window (or the frame) to the top
    kMsgEventRecord = 0x241B,        // wparam: the number of an event record in flight
    kMsgQueryContinueThread = 0x241C,
    kMsgQueryEditDone = 0x241D,
    // The engine's own traffic beyond the named messages.
    kMsgSyncEvent = 0x2430,          // a synchronous delivery from another thread; wparam: record number
    kMsgCloseDownCheck = 0x2431,     // a child's answer to a close-down: the frame looks again
};

// One posted event.
struct EventRecord {
    Window* window = nullptr;
    std::uint64_t window_serial = 0;  // which opening of the window it was posted to
    std::uint16_t code = 0;           // absolute
    int thread = 0;
    std::int32_t field = 0;
    std::int32_t selection_target = 0;
    std::uint32_t key_code = 0;       // low 11 bits significant
    std::uint8_t key_char = 0;
    int failure = 0;                  // why an entry's text was refused ("EVENT:Rejected")
    int mouse_x = 0;
    int mouse_y = 0;
};

}  // namespace sk::ui
