// Per-thread message queues: posting, delivery order, waiting and waking, and the
// clean-up of a thread's windows when the thread ends.
#include "platform/display/message_queue.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/display/window_manager.h"
#include "platform/system_error.h"

namespace sk::platform::display {

using namespace detail;

namespace detail {

ThreadQueue& queue_of(std::thread::id thread) {
    auto& st = state();
    auto it = st.queues.find(thread);
    if (it == st.queues.end()) it = st.queues.emplace(thread, std::make_shared<ThreadQueue>()).first;
    return *it->second;
}

void post_locked(std::thread::id thread, const Message& m) {
    ThreadQueue& q = queue_of(thread);
    // Mouse moves that nobody has read yet are replaced by the newest one.
    if (m.code == kMsgMouseMove && !q.posted.empty() && q.posted.back().code == kMsgMouseMove &&
        q.posted.back().window == m.window) {
        q.posted.back() = m;
    } else {
        q.posted.push_back(m);
    }
    q.ready.notify_all();
}

void notify_all_queues() {
    auto& st = state();
    for (auto& [id, q] : st.queues) q->ready.notify_all();
    st.idle_changed.notify_all();
}

std::uint64_t next_timer_due(std::thread::id thread) {
    std::uint64_t due = std::numeric_limits<std::uint64_t>::max();
    for (auto& [id, w] : state().windows) {
        if (w->thread != thread) continue;
        for (const Timer& t : w->timers) due = std::min(due, t.due);
    }
    return due;
}

bool next_message(std::thread::id thread, Message& out, bool remove) {
    auto& st = state();
    ThreadQueue& q = queue_of(thread);
    if (!q.posted.empty()) {
        out = q.posted.front();
        if (remove) q.posted.pop_front();
        return true;
    }
    // Windows in creation order, so that a parent paints before its children.
    for (auto& [id, w] : st.windows) {
        if (w->thread != thread || w->invalid.is_empty() || !shown(*w)) continue;
        if (w->is_mdi_client || w->internal) {
            // The window manager paints these itself: an MDI client is plain workspace.
            if (w->is_mdi_client) {
                Rect c = client_in_window(*w);
                w->surface.fill(w->invalid.offset(c.left, c.top), w->background);
                Rect s = screen_rect_of(*w);
                add_damage(w->invalid.offset(s.left + c.left, s.top + c.top));
            }
            w->invalid = Rect{};
            continue;
        }
        out = Message{};
        out.code = kMsgPaint;
        out.window = id;
        out.time = now_ms();
        return true;
    }
    std::uint64_t now = now_ms();
    WindowRec* best = nullptr;
    Timer* best_timer = nullptr;
    for (auto& [id, w] : st.windows) {
        if (w->thread != thread) continue;
        for (Timer& t : w->timers) {
            if (t.due <= now && (!best_timer || t.due < best_timer->due)) best = w.get(), best_timer = &t;
        }
    }
    if (best_timer) {
        out = Message{};
        out.code = kMsgTimer;
        out.window = best->handle;
        out.wparam = best_timer->id;
        out.time = now;
        // A timer that fell behind fires once and then keeps its rhythm from now.
        if (remove) {
            best_timer->due += best_timer->interval;
            if (best_timer->due <= now) best_timer->due = now + best_timer->interval;
        }
        return true;
    }
    return false;
}

namespace {

struct ThreadGuard {
    bool adopted = false;
    ~ThreadGuard() {
        if (!adopted) return;
        auto& st = state();
        Lock lock(st.mutex);
        std::thread::id me = std::this_thread::get_id();
        std::vector<WindowId> mine;
        for (auto& [id, w] : st.windows) {
            // Children go with their parents; collect only the roots of this thread.
            if (w->thread != me) continue;
            WindowRec* p = w->kind == WindowKind::kChild ? find(w->parent) : nullptr;
            if (!p || p->thread != me) mine.push_back(id);
        }
        for (WindowId w : mine) destroy_locked(w);
        st.queues.erase(me);
        notify_all_queues();
    }
};

thread_local ThreadGuard t_guard;

}  // namespace

void adopt_current_thread() {
    t_guard.adopted = true;
}

}  // namespace detail

bool post_message(const Message& message) {
    auto& st = state();
    Lock lock(st.mutex);
    WindowRec* w = find(message.window);
    if (!w) {
        set_last_system_error(kErrInvalidHandle);
        return false;
    }
    Message m = message;
    if (m.time == 0) m.time = now_ms();
    post_to_window(*w, m);
    return true;
}

bool post_thread_message(std::thread::id thread, const Message& message) {
    auto& st = state();
    Lock lock(st.mutex);
    if (!st.open) {
        set_last_system_error(kErrInvalidFunction);
        return false;
    }
    Message m = message;
    m.window = 0;
    if (m.time == 0) m.time = now_ms();
    post_locked(thread, m);
    return true;
}

void post_quit(std::thread::id thread, int exit_code) {
    Message m;
    m.code = kMsgQuit;
    m.wparam = static_cast<std::uint64_t>(static_cast<std::int64_t>(exit_code));
    post_thread_message(thread, m);
}

namespace {

// Waits on the calling thread's queue until pred() or the deadline, keeping the
// queue alive even if the display closes meanwhile. Requires the lock.
template <typename Pred>
bool wait_on_queue(Lock& lock, std::shared_ptr<ThreadQueue> q, int timeout_ms, Pred pred) {
    auto& st = state();
    std::thread::id me = std::this_thread::get_id();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
    for (;;) {
        if (pred()) return true;
        if (!st.open) return false;
        auto until = timeout_ms < 0 ? std::chrono::steady_clock::time_point::max() : deadline;
        if (timeout_ms >= 0 && std::chrono::steady_clock::now() >= deadline) return false;
        if (!st.virtual_clock) {
            // On the real clock, wake up for the next timer.
            std::uint64_t due = next_timer_due(me);
            if (due != std::numeric_limits<std::uint64_t>::max()) {
                std::uint64_t now = now_ms();
                auto at = std::chrono::steady_clock::now() + std::chrono::milliseconds(due > now ? due - now : 0);
                until = std::min(until, at);
            }
        }
        q->waiting = true;
        st.idle_changed.notify_all();
        if (until == std::chrono::steady_clock::time_point::max()) q->ready.wait(lock);
        else q->ready.wait_until(lock, until);
        q->waiting = false;
    }
}

std::shared_ptr<ThreadQueue> own_queue() {
    auto& st = state();
    adopt_current_thread();
    queue_of(std::this_thread::get_id());
    return st.queues[std::this_thread::get_id()];
}

}  // namespace

bool get_message(Message& out) {
    auto& st = state();
    Lock lock(st.mutex);
    std::shared_ptr<ThreadQueue> q = own_queue();
    std::thread::id me = std::this_thread::get_id();
    bool got = wait_on_queue(lock, q, -1, [&] { return st.open && next_message(me, out, true); });
    if (!got) {
        // The display closed under a waiting loop: end it.
        out = Message{};
        out.code = kMsgQuit;
    }
    return out.code != kMsgQuit;
}

bool peek_message(Message& out, bool remove) {
    auto& st = state();
    Lock lock(st.mutex);
    if (!st.open) return false;
    adopt_current_thread();
    return next_message(std::this_thread::get_id(), out, remove);
}

WaitResult wait_for_message(int timeout_ms) {
    auto& st = state();
    Lock lock(st.mutex);
    std::shared_ptr<ThreadQueue> q = own_queue();
    std::thread::id me = std::this_thread::get_id();
    WaitResult result = WaitResult::kTimeout;
    Message scratch;
    wait_on_queue(lock, q, timeout_ms, [&] {
        if (st.open && next_message(me, scratch, false)) {
            result = WaitResult::kMessage;
            return true;
        }
        if (q->woken) {
            q->woken = false;
            result = WaitResult::kWoken;
            return true;
        }
        return false;
    });
    return result;
}

void wake_thread(std::thread::id thread) {
    auto& st = state();
    Lock lock(st.mutex);
    ThreadQueue& q = queue_of(thread);
    q.woken = true;
    q.ready.notify_all();
}

std::size_t pending_message_count() {
    auto& st = state();
    Lock lock(st.mutex);
    return queue_of(std::this_thread::get_id()).posted.size();
}

}  // namespace sk::platform::display
