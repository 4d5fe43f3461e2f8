// Fibers over ucontext, with the stack-switch annotations AddressSanitizer needs
// to follow the switches.
#include "ui/fiber.h"

#include <ucontext.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#define SK_FIBER_ASAN 1
#endif

namespace sk::ui {

namespace {
thread_local Fiber* t_current = nullptr;
}

struct Fiber::Impl {
    std::function<void()> body;
    std::vector<unsigned char> stack;
    ucontext_t fiber_context{};
    ucontext_t caller_context{};
    bool started = false;
    bool finished = false;
    bool running = false;
    Fiber* previous = nullptr;  // the fiber that resumed this one, if any
#ifdef SK_FIBER_ASAN
    void* caller_fake = nullptr;
    void* fiber_fake = nullptr;
    const void* caller_bottom = nullptr;
    std::size_t caller_size = 0;
#endif
};

namespace {

void trampoline(unsigned int high, unsigned int low) {
    const std::uintptr_t bits = (static_cast<std::uintptr_t>(high) << 32) | low;
    Fiber::Impl* m = reinterpret_cast<Fiber::Impl*>(bits);
#ifdef SK_FIBER_ASAN
    __sanitizer_finish_switch_fiber(nullptr, &m->caller_bottom, &m->caller_size);
#endif
    m->body();
    m->finished = true;
    m->running = false;
#ifdef SK_FIBER_ASAN
    // A null fake-stack slot tells the sanitizer this stack is going away.
    __sanitizer_start_switch_fiber(nullptr, m->caller_bottom, m->caller_size);
#endif
    setcontext(&m->caller_context);
    std::abort();  // setcontext does not come back
}

}  // namespace

Fiber::Fiber(std::function<void()> body, std::size_t stack_size) : m(std::make_unique<Impl>()) {
    m->body = std::move(body);
    m->stack.resize(stack_size);
}

Fiber::~Fiber() = default;

void Fiber::resume() {
    if (m->finished || m->running) return;
    if (!m->started) {
        getcontext(&m->fiber_context);
        m->fiber_context.uc_stack.ss_sp = m->stack.data();
        m->fiber_context.uc_stack.ss_size = m->stack.size();
        m->fiber_context.uc_link = nullptr;
        const std::uintptr_t bits = reinterpret_cast<std::uintptr_t>(m.get());
        makecontext(&m->fiber_context, reinterpret_cast<void (*)()>(trampoline), 2,
                    static_cast<unsigned int>(bits >> 32), static_cast<unsigned int>(bits & 0xFFFFFFFFu));
        m->started = true;
    }
    m->previous = t_current;
    t_current = this;
    m->running = true;
#ifdef SK_FIBER_ASAN
    __sanitizer_start_switch_fiber(&m->caller_fake, m->stack.data(), m->stack.size());
#endif
    swapcontext(&m->caller_context, &m->fiber_context);
#ifdef SK_FIBER_ASAN
    __sanitizer_finish_switch_fiber(m->caller_fake, nullptr, nullptr);
#endif
    t_current = m->previous;
}

void Fiber::yield() {
    m->running = false;
#ifdef SK_FIBER_ASAN
    __sanitizer_start_switch_fiber(&m->fiber_fake, m->caller_bottom, m->caller_size);
#endif
    swapcontext(&m->fiber_context, &m->caller_context);
#ifdef SK_FIBER_ASAN
    __sanitizer_finish_switch_fiber(m->fiber_fake, &m->caller_bottom, &m->caller_size);
#endif
    m->running = true;
}

bool Fiber::finished() const { return m->finished; }
bool Fiber::running() const { return m->running; }
Fiber* Fiber::current() { return t_current; }

}  // namespace sk::ui
