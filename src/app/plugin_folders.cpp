#include "app/plugin_folders.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace zorvil {

std::vector<std::string> PluginFolders() {
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
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const auto prefix = self.parent_path().parent_path();
        dirs.push_back((prefix / "plugins").string());                    // a build tree
        dirs.push_back((prefix / "lib" / "zorvil" / "plugins").string()); // an installed program
    }
    return dirs;
}

} // namespace zorvil
