#include "app/cli/render_command.h"

#include "app/plugin_folders.h"
#include "app/project_render.h"
#include "platform/profile.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string_view>

namespace zorvil::cli {

namespace {

constexpr const char* kRenderUsage = "usage: zorvil-cli render PROJECT.tsn OUT.wav [--realtime]\n";
constexpr const char* kExportUsage = "usage: zorvil-cli export-midi PROJECT.tsn OUT.mid\n";

} // namespace

std::vector<std::string> DefaultPluginDirs() {
    return PluginFolders();
}

int RunRender(int count, char** arguments) {
    std::vector<std::string> paths;
    ProjectRenderOptions options;
    bool unknownOption = false;
    for (int i = 0; i < count; ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "--realtime")
            options.realtime = true;
        else if (argument.starts_with("--"))
            unknownOption = true;
        else
            paths.emplace_back(argument);
    }
    if (paths.size() != 2 || unknownOption) {
        std::cerr << kRenderUsage;
        return 2;
    }
    options.pluginDirs = DefaultPluginDirs();
    std::unique_ptr<platform::CProfile> profile;
    if (options.realtime) {
        profile = std::make_unique<platform::CProfile>(platform::CProfile::DefaultPath());
        options.profile = profile.get();
    }
    const ProjectRenderResult result = RenderProject(paths[0], paths[1], options);
    if (!result.ok) {
        std::cerr << "zorvil-cli: " << result.error << '\n';
        return 1;
    }
    std::cout << "zorvil-cli: wrote " << paths[1] << " (" << result.frames << " frames, "
              << result.audioSeconds << " s)\n";
    return 0;
}

int RunExportMidi(int count, char** arguments) {
    if (count != 2 || std::string_view(arguments[0]).starts_with("--") ||
        std::string_view(arguments[1]).starts_with("--")) {
        std::cerr << kExportUsage;
        return 2;
    }
    if (const std::string problem = ExportProjectMidi(arguments[0], arguments[1]);
        !problem.empty()) {
        std::cerr << "zorvil-cli: " << problem << '\n';
        return 1;
    }
    std::cout << "zorvil-cli: wrote " << arguments[1] << '\n';
    return 0;
}

} // namespace zorvil::cli
