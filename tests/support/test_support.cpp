#include "support/test_support.h"

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zorvil::test {

std::string PluginPath(std::string_view name) {
    return std::string(ZORVIL_PLUGIN_DIR) + "/" + std::string(name) + ".so";
}

std::string ToolPath(std::string_view name) {
    return std::string(ZORVIL_BIN_DIR) + "/" + std::string(name);
}

std::string SourcePath(std::string_view relative) {
    return std::string(ZORVIL_SOURCE_DIR) + "/" + std::string(relative);
}

bool WithFileSizeLimit(uint64_t bytes, const std::function<void()>& run) {
    struct rlimit previous {};
    if (::getrlimit(RLIMIT_FSIZE, &previous) != 0) return false;
    struct rlimit limited = previous;
    limited.rlim_cur = bytes;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (::setrlimit(RLIMIT_FSIZE, &limited) != 0) {
        std::signal(SIGXFSZ, previousHandler);
        return false;
    }
    run();
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    return true;
}

void BecomeServerChild(pid_t parent, const std::string& logPath) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(1); // the parent is gone already
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log >= 0) {
        ::dup2(log, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
        ::close(log);
    }
}

void TerminateChild(pid_t pid, std::chrono::milliseconds grace) {
    ::kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace zorvil::test
