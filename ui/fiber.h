// A fiber: a function running on a stack of its own that can hand control back to
// whoever resumed it and be resumed later exactly where it stopped.
//
// The engine runs each ACCEPT loop's message pump on a fiber, so that an event can
// be handed to the procedure from anywhere inside message handling (a control
// asking for a synchronous delivery, say) and the handling picks up again with the
// procedure's answer when the procedure comes back to ACCEPT.
//
// A fiber is resumed and yields on the thread that created it.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace sk::ui {

class Fiber {
public:
    Fiber(std::function<void()> body, std::size_t stack_size);
    ~Fiber();  // Requires: the fiber has finished or was never resumed.
    Fiber(const Fiber&) = delete;
    Fiber& operator=(const Fiber&) = delete;

    // Runs the fiber until it yields or its body returns.
    void resume();
    // Called on the fiber: back to the resumer; returns when resumed again.
    void yield();
    bool finished() const;
    bool running() const;  // true while the fiber's code is executing

    // The fiber whose code runs on this thread now, or null.
    static Fiber* current();

    struct Impl;

private:
    std::unique_ptr<Impl> m;
};

}  // namespace sk::ui
