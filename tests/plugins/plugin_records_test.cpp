// Every one of our plug-ins hands out the record its contract promises, and exports nothing but
// its entry (and, for probes, the probe's test functions).
#include "plugin_test_host.h"

#include "common/plugin_base.h"
#include "probe/probe_api.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

namespace zorvil::test {
namespace {

using plugins::FourCharId;
using ::testing::ElementsAreArray;

struct ExpectedRecord {
    const char* library;
    const char* entry;
    int32_t uniqueId;
    int32_t inputs;
    int32_t outputs;
    int32_t flags;
    int32_t programs;
    int32_t params;

    friend std::ostream& operator<<(std::ostream& out, const ExpectedRecord& record) {
        return out << record.library;
    }
};

constexpr int32_t kReplacing = effFlagsCanReplacing;

// zorvil-broken-close-segv is left out here: closing it is its death test's business.
const ExpectedRecord kRecords[] = {
    {"zorvil-synth", "main", FourCharId("ZSyn"), 0, 2,
     effFlagsCanReplacing | effFlagsIsSynth | effFlagsHasEditor, 3, 3},
    {"zorvil-probe", "main", FourCharId("ZPrb"), 2, 2, kReplacing, 2, 3},
    {"zorvil-probe-out0", "main", FourCharId("ZPr0"), 0, 0, kReplacing, 2, 3},
    {"zorvil-probe-out1", "main", FourCharId("ZPr1"), 0, 1, kReplacing, 2, 3},
    {"zorvil-probe-accumulate", "main", FourCharId("ZPrA"), 0, 2, 0, 2, 3},
    {"zorvil-probe-chunk", "main", FourCharId("ZPrC"), 0, 2, kReplacing | effFlagsProgramChunks, 2,
     3},
    {"zorvil-probe-vstpluginmain", "VSTPluginMain", FourCharId("ZPrV"), 2, 2, kReplacing, 2, 3},
    {"zorvil-broken-events-throw", "main", FourCharId("ZBrE"), 0, 2, kReplacing, 2, 3},
};

class PluginRecordTest : public ::testing::TestWithParam<ExpectedRecord> {};

TEST_P(PluginRecordTest, EntryReturnsTheContractsRecord) {
    const ExpectedRecord& expected = GetParam();
    TestHost host;
    PluginLibrary library(expected.library);
    PluginInstance effect(library, host, expected.entry);
    ASSERT_NE(effect.Get(), nullptr);

    EXPECT_EQ(effect->magic, kEffectMagic);
    EXPECT_EQ(effect->uniqueID, expected.uniqueId);
    EXPECT_EQ(effect->version, 1000);
    EXPECT_EQ(effect->numInputs, expected.inputs);
    EXPECT_EQ(effect->numOutputs, expected.outputs);
    EXPECT_EQ(effect->flags, expected.flags);
    EXPECT_EQ(effect->numPrograms, expected.programs);
    EXPECT_EQ(effect->numParams, expected.params);
    EXPECT_EQ(effect->initialDelay, 0);
    EXPECT_NE(effect->dispatcher, nullptr);
    EXPECT_NE(effect->process, nullptr);
    // Set even without effFlagsCanReplacing, so a host that ignores the flag shows in the log.
    EXPECT_NE(effect->processReplacing, nullptr);
    EXPECT_NE(effect->setParameter, nullptr);
    EXPECT_NE(effect->getParameter, nullptr);
    EXPECT_NE(effect->object, nullptr);
    EXPECT_EQ(effect->user, nullptr);

    EXPECT_EQ(effect.Text(effGetVendorString), "Ostrelworks");
    EXPECT_FALSE(effect.Text(effGetProductString).empty());
    EXPECT_EQ(effect.Dispatch(effGetVendorVersion), 1000);
}

TEST_P(PluginRecordTest, EveryCallbackNamesTheRecordItWasMadeFor) {
    const ExpectedRecord& expected = GetParam();
    TestHost host;
    PluginLibrary library(expected.library);
    PluginInstance effect(library, host, expected.entry);
    effect.Dispatch(effOpen);
    effect.Dispatch(effMainsChanged, 0, 1);
    ASSERT_FALSE(host.AllCalls().empty());
    for (const HostCall& call : host.AllCalls())
        EXPECT_EQ(call.effect, effect.Get());
}

INSTANTIATE_TEST_SUITE_P(OurPlugins, PluginRecordTest, ::testing::ValuesIn(kRecords),
                         [](const auto& info) {
                             std::string name = info.param.library;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

struct ExpectedExports {
    const char* library;
    std::vector<std::string> symbols;
};

TEST(PluginExports, OnlyEntriesAndTheProbeInterfaceLeaveALibrary) {
    const std::vector<std::string> probe = {"ZorvilProbeCallHost", "ZorvilProbeClear",
                                            "ZorvilProbeLog", "main"};
    const ExpectedExports expected[] = {
        {"zorvil-synth", {"main"}},
        {"zorvil-probe", probe},
        {"zorvil-probe-out0", probe},
        {"zorvil-probe-out1", probe},
        {"zorvil-probe-accumulate", probe},
        {"zorvil-probe-chunk", probe},
        {"zorvil-probe-vstpluginmain",
         {"VSTPluginMain", "ZorvilProbeCallHost", "ZorvilProbeClear", "ZorvilProbeLog"}},
        {"zorvil-broken-magic", {"main"}},
        {"zorvil-broken-null", {"main"}},
        {"zorvil-broken-noentry", {}},
        {"zorvil-broken-close-segv", probe},
        {"zorvil-broken-events-throw", probe},
    };
    for (const ExpectedExports& library : expected) {
        EXPECT_THAT(ExportedSymbols(PluginPath(library.library)), ElementsAreArray(library.symbols))
            << library.library;
    }
}

} // namespace
} // namespace zorvil::test
