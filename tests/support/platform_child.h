// A forked child process for tests that need a second process on the same files,
// with a two-way pipe to hand the turn back and forth.
//
// Fork before any thread is started (gtest runs its tests on the main thread). The
// child runs its body and ends with _exit, so no test teardown runs twice.
#pragma once

#include <functional>
#include <sys/types.h>

namespace sk::test {

class PlatformChild {
public:
    PlatformChild() = default;
    ~PlatformChild();  // kills and reaps a child still running
    PlatformChild(const PlatformChild&) = delete;
    PlatformChild& operator=(const PlatformChild&) = delete;

    // Forks; the child runs body and exits with its result. false when fork fails.
    bool start(const std::function<int(PlatformChild&)>& body);

    // Sends one byte to the other side (from the child: to the parent, and back).
    bool signal(char c = '.');
    // Waits up to timeout_ms for one byte from the other side; false on timeout or
    // when the other side has gone.
    bool wait_signal(int timeout_ms = 10000, char* received = nullptr);

    // Waits for the child; its exit code, or -1 when it died of a signal.
    int join();
    // Kills the child with SIGKILL and waits for it; -1 once it has died of it.
    int kill_and_join();

private:
    pid_t m_pid = -1;
    bool m_is_child = false;
    int m_to_child[2] = {-1, -1};
    int m_to_parent[2] = {-1, -1};
};

}  // namespace sk::test
