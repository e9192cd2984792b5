#include "app/plugin_folders.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace zorvil {

namespace {

std::vector<std::string> VstPathFolders() {
    std::vector<std::string> dirs;
    if (const char* vstPath = std::getenv("VST_PATH")) {
        std::string_view rest = vstPath;
        while (!rest.empty()) {
            const size_t colon = rest.find(':');
            const std::string_view dir = rest.substr(0, colon);
            if (!dir.empty()) dirs.emplace_back(dir);
            if (colon == std::string_view::npos) break;
            rest.remove_prefix(colon + 1);
        }
    }
    return dirs;
}

} // namespace

std::vector<std::string> PluginFolders() {
    std::vector<std::string> dirs = VstPathFolders();
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const auto prefix = self.parent_path().parent_path();
        dirs.push_back((prefix / "plugins").string());                    // a build tree
        dirs.push_back((prefix / "lib" / "zorvil" / "plugins").string()); // an installed program
    }
    return dirs;
}

std::string FirstPluginFolder() {
    std::vector<std::string> candidates = VstPathFolders();
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        candidates.push_back(std::string(home) + "/.vst");
    for (const char* dir : {"/usr/local/lib/vst", "/usr/lib/vst", "/usr/lib/lxvst"})
        candidates.emplace_back(dir);
    for (const std::string& dir : candidates) {
        std::error_code ec;
        if (std::filesystem::is_directory(dir, ec)) return dir;
    }
    return {};
}

} // namespace zorvil
