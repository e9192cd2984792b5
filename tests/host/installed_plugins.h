// The VST 2 plug-ins installed system-wide by Debian's dpf-plugins-vst (empty when it is not
// installed): real third-party material for smoke tests.
#pragma once

#include <dirent.h>
#include <string>
#include <vector>

namespace zorvil::test {

inline std::vector<std::string> InstalledPlugIns() {
    std::vector<std::string> plugins;
    if (DIR* folder = opendir("/usr/lib/vst")) {
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0)
                plugins.push_back("/usr/lib/vst/" + name);
        }
        closedir(folder);
    }
    return plugins;
}

} // namespace zorvil::test
