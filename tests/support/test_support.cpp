#include "support/test_support.h"

#include <csignal>
#include <sys/resource.h>

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

} // namespace zorvil::test
