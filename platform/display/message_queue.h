// The message queue of a thread. Each thread that creates windows, or asks for
// messages, has one. Posting works from any thread and wakes the owner.
//
// Delivery order: posted messages first in the order posted, then kMsgPaint for a
// window of the thread with an invalid area, then kMsgTimer for a due timer.
#pragma once

#include <cstdint>
#include <thread>

#include "platform/display/message.h"

namespace sk::platform::display {

// Posts to the thread that owns message.window. False (6) when the window is gone.
bool post_message(const Message& message);
// Posts a message without a window to a thread's queue (created if needed).
bool post_thread_message(std::thread::id thread, const Message& message);
void post_quit(std::thread::id thread, int exit_code);

// Waits for and removes the next message. Returns false for kMsgQuit (the message is
// still stored in out).
bool get_message(Message& out);
// The next message without waiting; removed when remove is true. False when none.
bool peek_message(Message& out, bool remove);

enum class WaitResult { kMessage, kTimeout, kWoken };
// Waits until a message is ready, another thread calls wake_thread(), or timeout_ms
// passes (negative: no limit). Removes nothing.
WaitResult wait_for_message(int timeout_ms);
// Makes the thread's current or next wait return kWoken.
void wake_thread(std::thread::id thread);

// Messages waiting to be delivered to the calling thread (posted ones only).
std::size_t pending_message_count();

}  // namespace sk::platform::display
