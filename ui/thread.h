// Procedure threads: the thread table, the global runtime lock, START, the switch
// of per-thread state when the lock changes hands, and threaded data.
//
// Procedures run on real operating-system threads, but only the thread holding
// the global lock runs runtime or application code. A thread gives the lock up
// while it waits for messages inside ACCEPT and in the standard dialogs, and when
// it ends. Thread numbers are slot index + 1; slot 0 is the program's main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace sk::ui {

class Window;

inline constexpr int kThreadSlots = 64;
inline constexpr std::size_t kDefaultStackSize = 20000;

// Registers the calling thread as the main thread (slot 0), owning the lock.
// Does nothing when the table is already set up.
void initialise_threads();
bool threads_initialised();

// START: runs procedure on a new thread. Returns its thread number (2 or more), or
// 0 when the system is modal, the table is full or the thread cannot be made. The
// new thread runs once the caller gives up the lock.
int start(std::function<void()> procedure, std::size_t stack_size = 0);

// The stack size a START asks for: 20000 bytes for 0 or anything below it.
std::size_t requested_stack_size(std::size_t stack_size);
// What the thread really gets: the requested size, raised to a floor that leaves
// room for the platform and the sanitizers.
std::size_t actual_stack_size(std::size_t stack_size);

// The global runtime lock. take_lock blocks until the caller holds it and then
// makes the caller's slot current.
void take_lock();
void release_lock();
bool holds_lock();  // the calling thread is the current one

// Gives the lock up for a scope (a wait) and takes it back at the end.
class LockRelease {
public:
    LockRelease() { release_lock(); }
    ~LockRelease() { take_lock(); }
    LockRelease(const LockRelease&) = delete;
    LockRelease& operator=(const LockRelease&) = delete;
};

// The calling thread's number, 0 when it has no slot.
int thread_number();
// The number of the thread whose slot is current, -1 when none.
int current_thread();
bool thread_exists(int thread);
int thread_count();  // slots in use, the main thread included

// Per-thread state the engine keeps in the slots.
Window* thread_top_window(int thread);
void set_thread_top_window(int thread, Window* window);
std::uint32_t thread_key_code(int thread);
std::uint8_t thread_key_char(int thread);
void set_thread_key(int thread, std::uint32_t key_code, std::uint8_t key_char);
const std::string& thread_inherited_text(int thread);
void set_thread_inherited_text(int thread, std::string text);
std::size_t thread_stack_size(int thread);  // what START asked for, 0 for the main thread

// The thread that owns the window with the user's focus (-1: none).
int focus_thread();
void set_focus_thread(int thread);

// Threaded data: a block of size bytes at live with one instance per thread. The
// live bytes belong to the thread whose data is active; the others wait in saved
// copies. A new thread starts from the initial image (zero-filled without one).
// Registering a block makes it shared at once: every existing thread other than
// the active one gets a copy of the initial image.
void register_threaded_data(void* live, std::size_t size, const void* initial = nullptr);
void unregister_threaded_data(void* live);

// Waits, with the lock given up, until every started thread has ended. False when
// that does not happen within timeout_ms.
bool wait_for_threads(int timeout_ms = 10000);

}  // namespace sk::ui
