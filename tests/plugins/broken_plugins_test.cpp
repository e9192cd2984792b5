// The broken plug-ins fail exactly the way the host's tests expect them to.
#include "plugin_test_host.h"

#include "probe/probe_api.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <stdexcept>

namespace zorvil::test {
namespace {

using ::testing::EndsWith;

TEST(BrokenPlugins, WrongMagicRecord) {
    PluginLibrary library("zorvil-broken-magic");
    const VstPluginEntryProc entry = library.Entry();
    ASSERT_NE(entry, nullptr);
    AEffect* effect = entry(&TestHost::Callback);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->magic, 0x12345678);
}

TEST(BrokenPlugins, NullRecord) {
    PluginLibrary library("zorvil-broken-null");
    const VstPluginEntryProc entry = library.Entry();
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry(&TestHost::Callback), nullptr);
}

TEST(BrokenPlugins, NoEntryAtAll) {
    PluginLibrary library("zorvil-broken-noentry");
    EXPECT_EQ(library.Symbol("main"), nullptr);
    EXPECT_EQ(library.Symbol("VSTPluginMain"), nullptr);
}

TEST(BrokenPlugins, VstPluginMainOnlyStillMakesAWorkingProbe) {
    TestHost host;
    PluginLibrary library("zorvil-probe-vstpluginmain");
    EXPECT_EQ(library.Symbol("main"), nullptr);
    PluginInstance probe(library, host, "VSTPluginMain");
    ASSERT_NE(probe.Get(), nullptr);
    EXPECT_EQ(probe->magic, kEffectMagic);
    probe.Dispatch(effOpen);
    const auto log = library.Lookup<ZorvilProbeLogProc>(kZorvilProbeLogSymbol);
    ASSERT_NE(log, nullptr);
    EXPECT_THAT(log(probe.Get()), EndsWith("dispatch 0 0 0 0\nhost 6 0 1 -> 1\n"));
}

TEST(BrokenPlugins, EventsThrowThrowsOutOfTheDispatcherAndKeepsWorking) {
    TestHost host;
    PluginLibrary library("zorvil-broken-events-throw");
    PluginInstance effect(library, host);
    effect.Dispatch(effOpen);
    EXPECT_EQ(host.Calls(audioMasterWantMidi), 2); // entry and effOpen

    EventList events;
    events.Midi(0, 0x90, 60, 100);
    EXPECT_THROW(effect.Dispatch(effProcessEvents, 0, 0, events.Get()), std::runtime_error);

    std::array<float, 4> left{};
    std::array<float, 4> right{};
    std::array<float*, 2> outputs{left.data(), right.data()};
    effect->processReplacing(effect.Get(), nullptr, outputs.data(), 4);
    EXPECT_FLOAT_EQ(left[0], 0.5f);
    EXPECT_FLOAT_EQ(right[3], -0.5f);
}

// Closes the close-segv plug-in; never returns.
void CloseTheFaultingPlugin() {
    TestHost host;
    PluginLibrary library("zorvil-broken-close-segv");
    PluginInstance effect(library, host);
    effect.Dispatch(effOpen);
    std::array<float, 4> left{};
    std::array<float, 4> right{};
    std::array<float*, 2> outputs{left.data(), right.data()};
    effect->processReplacing(effect.Get(), nullptr, outputs.data(), 4);
    AEffect* record = effect.Release();
    record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
}

TEST(BrokenPluginsDeathTest, CloseSegvFaultsInsideEffClose) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers report the fault themselves and exit instead of dying by the signal.
    EXPECT_DEATH(CloseTheFaultingPlugin(), "");
#else
    EXPECT_EXIT(CloseTheFaultingPlugin(), ::testing::KilledBySignal(SIGSEGV), "");
#endif
}

} // namespace
} // namespace zorvil::test
