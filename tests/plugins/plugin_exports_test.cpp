// Every one of our plug-ins exports nothing but its entry (and, for probes, the probe's test
// functions), so the host never picks up a stray symbol.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace zorvil::test {
namespace {

TEST(PluginExports, OnlyOneEntryAndTheWholeProbeInterfaceLeaveALibrary) {
    // One run of nm over every library: "<library>:<address> <type> <name>" per defined symbol.
    std::string command = "nm -D --defined-only -A";
    std::map<std::string, std::set<std::string>> exported; // by library name
    for (const auto& file : std::filesystem::directory_iterator(ZORVIL_PLUGIN_DIR)) {
        if (file.path().extension() != ".so") continue;
        command += " '" + file.path().string() + "'";
        exported[file.path().stem().string()];
    }
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    char line[512];
    while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        const std::string text(line);
        std::istringstream fields(text.substr(text.find(':') + 1));
        std::string name;
        while (fields >> name) {
        }
        exported[std::filesystem::path(text.substr(0, text.find(':'))).stem().string()].insert(
            name);
    }
    const std::set<std::string> probe = {"ZorvilProbeCallHost", "ZorvilProbeClear",
                                         "ZorvilProbeLog"};
    for (auto& [name, symbols] : exported) {
        const auto entries = symbols.erase("main") + symbols.erase("VSTPluginMain");
        EXPECT_EQ(entries, name == "zorvil-broken-noentry" ? 0u : 1u) << name;
        if (!symbols.empty()) {
            EXPECT_EQ(symbols, probe) << name;
        }
    }
    EXPECT_GE(exported.size(), 16u);
}

} // namespace
} // namespace zorvil::test
