#include "support/xvfb_server.h"

#include "support/test_support.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace zorvil::test {

XvfbServer::XvfbServer(std::string screen) : m_screen(std::move(screen)) {
    const char* tmp = std::getenv("TMPDIR");
    m_log = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/zorvil-xvfb-" +
            std::to_string(getpid()) + ".log";
}

XvfbServer::~XvfbServer() {
    Stop();
}

bool XvfbServer::Start() {
    if (Running()) return true;
    int pipeFds[2] = {-1, -1};
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return false;
    }
    if (pid == 0) {
        BecomeServerChild(parent, m_log); // never outlive the test
        // The write end stays open across exec (dup2 clears close-on-exec): Xvfb writes the
        // display number it chose into it.
        const int fd = dup2(pipeFds[1], 3) == 3 ? 3 : -1;
        if (fd < 0) _exit(126);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", m_screen.c_str(), "-nolisten",
               "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    m_pid = pid;
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (number.empty() || number.back() != '\n') {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fd{pipeFds[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
        char c = 0;
        if (read(pipeFds[0], &c, 1) != 1) break; // Xvfb ended (see the log)
        number += c;
    }
    close(pipeFds[0]);
    if (number.empty() || number.back() != '\n') {
        Stop();
        return false;
    }
    number.pop_back();
    m_display = ":" + number;
    return true;
}

void XvfbServer::Stop() {
    if (!Running()) return;
    TerminateChild(m_pid, std::chrono::seconds(5));
    m_pid = -1;
    m_display.clear();
}

} // namespace zorvil::test
