// Every one of our plug-ins exports nothing but its entry (and, for probes, the probe's test
// functions), so the host never picks up a stray symbol.
#include "plugin_test_host.h"

#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zorvil::test {
namespace {

using ::testing::ElementsAreArray;

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
