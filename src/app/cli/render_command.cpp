#include "app/cli/render_command.h"

#include "app/cli/interrupt.h"
#include "app/plugin_folders.h"
#include "app/project_render.h"
#include "platform/profile.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string_view>

namespace zorvil::cli {

namespace {

constexpr const char* kRenderUsage =
    "usage: zorvil-cli render PROJECT.tsn OUT.wav [--realtime] [--settle MS]\n";
// An hour: anything longer is a typing error rather than a plug-in's need.
constexpr unsigned long kMaxSettleMs = 3600000;

bool ParseSettle(const char* text, uint32_t& ms) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || value > kMaxSettleMs) return false;
    ms = static_cast<uint32_t>(value);
    return true;
}
constexpr const char* kExportUsage = "usage: zorvil-cli export-midi PROJECT.tsn OUT.mid\n";

} // namespace

int RunRender(int count, char** arguments) {
    std::vector<std::string> paths;
    ProjectRenderOptions options;
    bool badOption = false;
    for (int i = 0; i < count; ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "--realtime")
            options.realtime = true;
        else if (argument == "--settle")
            badOption |= !ParseSettle(i + 1 < count ? arguments[++i] : nullptr, options.settleMs);
        else if (argument.starts_with("--"))
            badOption = true;
        else
            paths.emplace_back(argument);
    }
    if (paths.size() != 2 || badOption) {
        std::cerr << kRenderUsage;
        return 2;
    }
    options.pluginDirs = PluginFolders();
    std::unique_ptr<platform::CProfile> profile;
    if (options.realtime) {
        profile = std::make_unique<platform::CProfile>(platform::CProfile::DefaultPath());
        options.profile = profile.get();
    }
    options.cancelled = [] { return Interrupted(); };
    // Said before the plug-ins are unloaded, so that one that crashes while it closes cannot
    // keep the user from reading it.
    options.onFinished = [&](const ProjectRenderResult& result) {
        if (result.interrupted) return;
        if (!result.ok)
            std::cerr << "zorvil-cli: " << result.error << std::endl;
        else
            std::cout << "zorvil-cli: wrote " << paths[1] << " (" << result.frames << " frames, "
                      << result.audioSeconds << " s)" << std::endl;
    };
    return RenderProject(paths[0], paths[1], options).ok ? 0 : 1;
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
