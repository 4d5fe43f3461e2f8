// The thread table, the global runtime lock and threaded data.
#include "ui/thread.h"

#include <pthread.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/bind.h"
#include "runtime/error.h"
#include "ui/window.h"

namespace sk::ui {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kStackFloor = 2 * 1024 * 1024;  // the sanitizers' redzones need room
#else
constexpr std::size_t kStackFloor = 512 * 1024;
#endif

struct ThreadSlot {
    std::thread::id id{};  // default id = slot free
    pthread_t handle{};
    std::function<void()> procedure;
    Window* top_window = nullptr;
    Window* second_window = nullptr;
    std::string inherited_text;
    std::uint32_t key_code = 0;
    std::uint8_t key_char = 0;
    std::size_t stack_size = 0;
    // The thread's own binding scopes; nullptr for the program's first thread,
    // which keeps the program's stack.
    sk::rt::ScopeStack* scopes = nullptr;
    bool in_use = false;
};

struct ThreadedBlock {
    void* live = nullptr;
    std::size_t size = 0;
    std::vector<std::uint8_t> initial;
    std::array<std::unique_ptr<std::vector<std::uint8_t>>, kThreadSlots> saved;
};

// The global lock: a counting semaphore with maximum count 1.
struct GlobalLock {
    std::mutex mutex;
    std::condition_variable cv;
    int count = 0;
};

struct Table {
    std::array<ThreadSlot, kThreadSlots> slots;
    bool initialised = false;
    int current = -1;       // slot whose state is live
    int data_active = -1;   // slot whose threaded data is live
    int focus = -1;         // thread number with the user's focus
    std::vector<std::unique_ptr<ThreadedBlock>> blocks;
    // Guards the slot ids against the lookups threads make before they hold the
    // global lock (taking it must find the caller's slot).
    std::mutex ids;
    std::condition_variable ended;
    // Threads that have left their slot but may not have finished exiting yet.
    // They are joined before the next start, when every thread has ended, and at
    // process exit, so that no thread is still tearing down while the process does.
    std::vector<pthread_t> finished;
};

// Never destroyed: a thread that has just ended may still be releasing
// the lock while the process runs its static destructors.
Table& table() {
    static Table* t = new Table;
    return *t;
}
GlobalLock& global_lock() {
    static GlobalLock* l = new GlobalLock;
    return *l;
}

int slot_of_this_thread() {
    Table& t = table();
    std::lock_guard<std::mutex> g(t.ids);
    const std::thread::id me = std::this_thread::get_id();
    for (int i = 0; i < kThreadSlots; ++i)
        if (t.slots[i].in_use && t.slots[i].id == me) return i;
    return -1;
}

ThreadSlot* slot_for(int thread) {
    if (thread < 1 || thread > kThreadSlots) return nullptr;
    ThreadSlot& s = table().slots[thread - 1];
    return s.in_use ? &s : nullptr;
}

// Swaps the threaded data from the active slot to slot `to`.
void activate_data(int to) {
    Table& t = table();
    if (to == t.data_active || to < 0) return;
    for (auto it = t.blocks.rbegin(); it != t.blocks.rend(); ++it) {
        ThreadedBlock& b = **it;
        if (t.data_active >= 0) {
            auto& keep = b.saved[t.data_active];
            if (!keep) keep = std::make_unique<std::vector<std::uint8_t>>(b.size);
            std::memcpy(keep->data(), b.live, b.size);
        }
        auto& load = b.saved[to];
        if (!load) {
            // Every thread gets its copy when it starts or when the block is shared;
            // a missing one means the table is inconsistent.
            sk::rt::runtime_error(kErrorNoDefinition, "WSLINST");
            load = std::make_unique<std::vector<std::uint8_t>>(b.initial);
        }
        std::memcpy(b.live, load->data(), b.size);
        load.reset();
    }
    t.data_active = to;
}

void make_current(int slot) {
    Table& t = table();
    if (slot < 0) return;  // a thread without a slot leaves the current slot alone
    t.current = slot;
    activate_data(slot);
    sk::rt::activate_scope_stack(t.slots[slot].scopes);
}

void thread_entry(int slot) {
    take_lock();
    Table& t = table();
    make_current(slot);
    std::function<void()> procedure = std::move(t.slots[slot].procedure);
    if (procedure) procedure();
    make_current(slot);
    close_thread_windows(slot + 1);
    if (t.focus == slot + 1) t.focus = -1;
    for (auto& b : t.blocks) b->saved[slot].reset();
    {
        std::lock_guard<std::mutex> g(t.ids);
        ThreadSlot& s = t.slots[slot];
        t.finished.push_back(s.handle);
        sk::rt::destroy_scope_stack(s.scopes);
        s = ThreadSlot{};
    }
    t.current = -1;
    t.data_active = -1;
    t.ended.notify_all();
    release_lock();
}

// Joins the threads that have ended. Each one has given up its slot and the
// global lock, so joining waits only for its last few instructions.
void join_finished_threads() {
    Table& t = table();
    std::vector<pthread_t> done;
    {
        std::lock_guard<std::mutex> g(t.ids);
        done.swap(t.finished);
    }
    for (pthread_t h : done) pthread_join(h, nullptr);
}

void* pthread_entry(void* arg) {
    thread_entry(static_cast<int>(reinterpret_cast<std::intptr_t>(arg)));
    return nullptr;
}

}  // namespace

void initialise_threads() {
    Table& t = table();
    if (t.initialised) return;
    {
        std::lock_guard<std::mutex> g(t.ids);
        ThreadSlot& main = t.slots[0];
        main.id = std::this_thread::get_id();
        main.handle = pthread_self();
        main.in_use = true;
    }
    t.initialised = true;
    std::atexit(join_finished_threads);
    t.current = 0;
    t.data_active = 0;
    // The lock starts at count 0: the main thread owns it from the beginning.
    global_lock().count = 0;
}

bool threads_initialised() { return table().initialised; }

std::size_t requested_stack_size(std::size_t stack_size) {
    return stack_size < kDefaultStackSize ? kDefaultStackSize : stack_size;
}

std::size_t actual_stack_size(std::size_t stack_size) {
    std::size_t n = std::max(requested_stack_size(stack_size), kStackFloor);
    n = std::max<std::size_t>(n, PTHREAD_STACK_MIN);
    const std::size_t page = 4096;
    return (n + page - 1) / page * page;
}

int start(std::function<void()> procedure, std::size_t stack_size) {
    initialise_threads();
    if (is_modal()) return 0;
    join_finished_threads();
    Table& t = table();
    int slot = -1;
    {
        std::lock_guard<std::mutex> g(t.ids);
        for (int i = 1; i < kThreadSlots; ++i) {
            if (!t.slots[i].in_use) {
                slot = i;
                break;
            }
        }
        if (slot < 0) return 0;
        ThreadSlot& s = t.slots[slot];
        s = ThreadSlot{};
        s.in_use = true;
        s.procedure = std::move(procedure);
        s.stack_size = requested_stack_size(stack_size);
        s.scopes = sk::rt::create_scope_stack();
        const int me = t.current;
        if (me >= 0) s.inherited_text = t.slots[me].inherited_text;
    }
    for (auto& b : t.blocks) {
        if (b->saved[slot]) {
            // A slot is given its copy once; a second copy means the slot was reused
            // without being cleared.
            sk::rt::runtime_error(kErrorClassRegister, "WSLINST");
        }
        b->saved[slot] = std::make_unique<std::vector<std::uint8_t>>(b->initial);
    }
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, actual_stack_size(stack_size));
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_JOINABLE);
    pthread_t handle;
    // The slot's id is filled in before the new thread can look for it: it waits
    // for the global lock first, and for the id guard before that.
    std::unique_lock<std::mutex> g(t.ids);
    const int rc = pthread_create(&handle, &attr, pthread_entry, reinterpret_cast<void*>(static_cast<std::intptr_t>(slot)));
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        sk::rt::destroy_scope_stack(t.slots[slot].scopes);
        t.slots[slot] = ThreadSlot{};
        g.unlock();
        for (auto& b : t.blocks) b->saved[slot].reset();
        return 0;
    }
    // pthread_t and std::thread::id name the same thread here; take the id the way
    // the new thread will see itself.
    static_assert(sizeof(std::thread::id) == sizeof(pthread_t));
    std::thread::id id;
    std::memcpy(static_cast<void*>(&id), &handle, sizeof handle);
    t.slots[slot].handle = handle;
    t.slots[slot].id = id;
    g.unlock();
    return slot + 1;
}

void take_lock() {
    GlobalLock& l = global_lock();
    {
        std::unique_lock<std::mutex> g(l.mutex);
        l.cv.wait(g, [&] { return l.count > 0; });
        --l.count;
    }
    make_current(slot_of_this_thread());
}

void release_lock() {
    GlobalLock& l = global_lock();
    {
        std::lock_guard<std::mutex> g(l.mutex);
        if (l.count < 1) ++l.count;
    }
    l.cv.notify_one();
}

bool holds_lock() {
    const int s = slot_of_this_thread();
    if (s < 0 || s != table().current) return false;
    GlobalLock& l = global_lock();
    std::lock_guard<std::mutex> g(l.mutex);
    return l.count == 0;
}

int thread_number() {
    const int s = slot_of_this_thread();
    return s < 0 ? 0 : s + 1;
}

int current_thread() {
    const int c = table().current;
    return c < 0 ? -1 : c + 1;
}

bool thread_exists(int thread) { return slot_for(thread) != nullptr; }

int thread_count() {
    Table& t = table();
    std::lock_guard<std::mutex> g(t.ids);
    return static_cast<int>(std::count_if(t.slots.begin(), t.slots.end(), [](const ThreadSlot& s) { return s.in_use; }));
}

Window* thread_top_window(int thread) {
    ThreadSlot* s = slot_for(thread);
    return s ? s->top_window : nullptr;
}

void set_thread_top_window(int thread, Window* window) {
    if (ThreadSlot* s = slot_for(thread)) s->top_window = window;
}

std::uint32_t thread_key_code(int thread) {
    ThreadSlot* s = slot_for(thread);
    return s ? s->key_code : 0;
}

std::uint8_t thread_key_char(int thread) {
    ThreadSlot* s = slot_for(thread);
    return s ? s->key_char : 0;
}

void set_thread_key(int thread, std::uint32_t key_code, std::uint8_t key_char) {
    if (ThreadSlot* s = slot_for(thread)) {
        s->key_code = key_code;
        s->key_char = key_char;
    }
}

const std::string& thread_inherited_text(int thread) {
    static const std::string empty;
    ThreadSlot* s = slot_for(thread);
    return s ? s->inherited_text : empty;
}

void set_thread_inherited_text(int thread, std::string text) {
    if (ThreadSlot* s = slot_for(thread)) s->inherited_text = std::move(text);
}

std::size_t thread_stack_size(int thread) {
    ThreadSlot* s = slot_for(thread);
    return s ? s->stack_size : 0;
}

int focus_thread() { return table().focus; }
void set_focus_thread(int thread) { table().focus = thread; }

void register_threaded_data(void* live, std::size_t size, const void* initial) {
    Table& t = table();
    for (auto& b : t.blocks)
        if (b->live == live) return;
    auto b = std::make_unique<ThreadedBlock>();
    b->live = live;
    b->size = size;
    b->initial.assign(size, 0);
    if (initial) std::memcpy(b->initial.data(), initial, size);
    for (int i = 0; i < kThreadSlots; ++i)
        if (t.slots[i].in_use && i != t.data_active)
            b->saved[i] = std::make_unique<std::vector<std::uint8_t>>(b->initial);
    t.blocks.push_back(std::move(b));
}

void unregister_threaded_data(void* live) {
    auto& blocks = table().blocks;
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(), [&](const auto& b) { return b->live == live; }),
                 blocks.end());
}

bool wait_for_threads(int timeout_ms) {
    Table& t = table();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        bool any = false;
        {
            std::lock_guard<std::mutex> g(t.ids);
            for (int i = 1; i < kThreadSlots; ++i) any = any || t.slots[i].in_use;
        }
        if (!any) {
            join_finished_threads();
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        LockRelease unlocked;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace sk::ui
