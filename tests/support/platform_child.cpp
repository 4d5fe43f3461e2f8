// A forked child process with a two-way pipe, for the multi-process platform tests.
#include "support/platform_child.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sk::test {

namespace {

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

PlatformChild::~PlatformChild() {
    if (!m_is_child && m_pid > 0) kill_and_join();
    close_fd(m_to_child[0]);
    close_fd(m_to_child[1]);
    close_fd(m_to_parent[0]);
    close_fd(m_to_parent[1]);
}

bool PlatformChild::start(const std::function<int(PlatformChild&)>& body) {
    if (::pipe2(m_to_child, O_CLOEXEC) != 0) return false;
    if (::pipe2(m_to_parent, O_CLOEXEC) != 0) return false;
    pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        m_is_child = true;
        close_fd(m_to_child[1]);
        close_fd(m_to_parent[0]);
        int code = body(*this);
        ::_exit(code);
    }
    m_pid = pid;
    close_fd(m_to_child[0]);
    close_fd(m_to_parent[1]);
    return true;
}

bool PlatformChild::signal(char c) {
    int fd = m_is_child ? m_to_parent[1] : m_to_child[1];
    for (;;) {
        ssize_t r = ::write(fd, &c, 1);
        if (r == 1) return true;
        if (r < 0 && errno == EINTR) continue;
        return false;
    }
}

bool PlatformChild::wait_signal(int timeout_ms, char* received) {
    int fd = m_is_child ? m_to_child[0] : m_to_parent[0];
    struct pollfd p {fd, POLLIN, 0};
    for (;;) {
        int r = ::poll(&p, 1, timeout_ms);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        char c = 0;
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n != 1) return false;
        if (received) *received = c;
        return true;
    }
}

int PlatformChild::kill_and_join() {
    if (m_is_child || m_pid <= 0) return -1;
    ::kill(m_pid, SIGKILL);
    return join();
}

int PlatformChild::join() {
    if (m_is_child || m_pid <= 0) return -1;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(m_pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    m_pid = -1;
    if (r < 0) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return -1;
}

}  // namespace sk::test
