// Every one of our plug-ins exports nothing but its entry (and, for probes, the probe's test
// functions), so the host never picks up a stray symbol.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>

namespace zorvil::test {
namespace {

// The names a shared library exports (its defined dynamic symbols).
std::set<std::string> ExportedSymbols(const std::string& path) {
    const std::string command = "nm -D --defined-only '" + path + "'";
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    std::set<std::string> symbols;
    char line[512];
    while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line); // "<address> <type> <name>"
        std::string name;
        while (fields >> name) {
        }
        symbols.insert(name);
    }
    return symbols;
}

TEST(PluginExports, OnlyOneEntryAndTheWholeProbeInterfaceLeaveALibrary) {
    const std::set<std::string> probe = {"ZorvilProbeCallHost", "ZorvilProbeClear",
                                         "ZorvilProbeLog"};
    int libraries = 0;
    for (const auto& file : std::filesystem::directory_iterator(ZORVIL_PLUGIN_DIR)) {
        if (file.path().extension() != ".so") continue;
        ++libraries;
        const std::string name = file.path().stem().string();
        std::set<std::string> symbols = ExportedSymbols(file.path().string());
        const auto entries = symbols.erase("main") + symbols.erase("VSTPluginMain");
        EXPECT_EQ(entries, name == "zorvil-broken-noentry" ? 0u : 1u) << name;
        if (!symbols.empty()) {
            EXPECT_EQ(symbols, probe) << name;
        }
    }
    EXPECT_GE(libraries, 16);
}

} // namespace
} // namespace zorvil::test
