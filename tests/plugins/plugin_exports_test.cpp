// Every one of our plug-ins exports nothing but its entry (and, for probes, the probe's test
// functions), so the host never picks up a stray symbol.
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>

namespace zorvil::test {
namespace {

using ::testing::ElementsAreArray;

// The names a shared library exports (its defined dynamic symbols), sorted.
std::vector<std::string> ExportedSymbols(const std::string& path) {
    const std::string command = "nm -D --defined-only '" + path + "'";
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    std::vector<std::string> symbols;
    char line[512];
    while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line); // "<address> <type> <name>"
        std::string name;
        while (fields >> name) {
        }
        symbols.push_back(name);
    }
    std::ranges::sort(symbols);
    return symbols;
}

TEST(PluginExports, OnlyEntriesAndTheProbeInterfaceLeaveALibrary) {
    struct Expected {
        const char* library;
        std::vector<std::string> symbols;
    };
    const std::vector<std::string> probe = {"ZorvilProbeCallHost", "ZorvilProbeClear",
                                            "ZorvilProbeLog", "main"};
    const Expected expected[] = {
        {"zorvil-synth", {"main"}},
        {"zorvil-slow-sampler", {"main"}},
        {"zorvil-probe", probe},
        {"zorvil-probe-out0", probe},
        {"zorvil-probe-out1", probe},
        {"zorvil-probe-accumulate", probe},
        {"zorvil-probe-chunk", probe},
        {"zorvil-probe-chunk-sound", probe},
        {"zorvil-probe-vector", probe},
        {"zorvil-probe-vstpluginmain",
         {"VSTPluginMain", "ZorvilProbeCallHost", "ZorvilProbeClear", "ZorvilProbeLog"}},
        {"zorvil-broken-magic", {"main"}},
        {"zorvil-broken-null", {"main"}},
        {"zorvil-broken-noentry", {}},
        {"zorvil-broken-close-segv", probe},
        {"zorvil-broken-events-throw", probe},
        {"zorvil-broken-close-throw", probe},
    };
    for (const Expected& library : expected) {
        EXPECT_THAT(ExportedSymbols(PluginPath(library.library)), ElementsAreArray(library.symbols))
            << library.library;
    }
}

} // namespace
} // namespace zorvil::test
