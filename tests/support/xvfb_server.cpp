#include "support/xvfb_server.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zorvil::test {

namespace {

constexpr int kStartTimeoutMs = 10000;

// Reads the display number Xvfb writes (digits and a newline) once it listens; -1 on time-out.
int ReadDisplayNumber(int fd) {
    std::string digits;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd readable{fd, POLLIN, 0};
        if (poll(&readable, 1, 100) <= 0) continue;
        char c = 0;
        const ssize_t got = read(fd, &c, 1);
        if (got <= 0) return -1; // the server went away
        if (c == '\n') return digits.empty() ? -1 : std::stoi(digits);
        digits += c;
    }
    return -1;
}

} // namespace

XvfbServer::XvfbServer() {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(1);
        // The write end must survive exec: move it to a descriptor without O_CLOEXEC.
        const int fd = dup(pipeFds[1]);
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0) {
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
        }
        const std::string fdText = std::to_string(fd);
        execlp("Xvfb", "Xvfb", "-displayfd", fdText.c_str(), "-screen", "0", "1280x1024x24",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    if (pid < 0) {
        close(pipeFds[0]);
        return;
    }
    m_pid = pid;
    const int number = ReadDisplayNumber(pipeFds[0]);
    close(pipeFds[0]);
    if (number < 0) {
        Stop();
        return;
    }
    m_displayName = ":" + std::to_string(number);
}

XvfbServer::~XvfbServer() {
    Stop();
}

void XvfbServer::Stop() noexcept {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

} // namespace zorvil::test
