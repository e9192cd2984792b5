// The broken plug-ins fail exactly the way the host's tests expect them to.
#include "plugin_test_host.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <stdexcept>

namespace zorvil::test {
namespace {

TEST(BrokenPlugins, EntriesAreMissingOrHandOutBadRecords) {
    PluginLibrary noEntry("zorvil-broken-noentry");
    EXPECT_EQ(noEntry.Symbol("main"), nullptr);
    EXPECT_EQ(noEntry.Symbol("VSTPluginMain"), nullptr);

    PluginLibrary null("zorvil-broken-null");
    ASSERT_NE(null.Entry(), nullptr);
    EXPECT_EQ(null.Entry()(&TestHostCallback), nullptr);

    PluginLibrary magic("zorvil-broken-magic");
    ASSERT_NE(magic.Entry(), nullptr);
    AEffect* effect = magic.Entry()(&TestHostCallback);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->magic, 0x12345678);

    // Only "VSTPluginMain" here, and it makes a working probe.
    PluginLibrary vstPluginMain("zorvil-probe-vstpluginmain");
    EXPECT_EQ(vstPluginMain.Symbol("main"), nullptr);
    PluginInstance probe(vstPluginMain, "VSTPluginMain");
    EXPECT_NE(probe.Get(), nullptr);
}

void Render(const PluginInstance& effect, std::array<float, 4>& left, std::array<float, 4>& right) {
    std::array<float*, 2> outputs{left.data(), right.data()};
    effect->processReplacing(effect.Get(), nullptr, outputs.data(), 4);
}

TEST(BrokenPlugins, EventsThrowThrowsOutOfTheDispatcherAndKeepsWorking) {
    PluginLibrary library("zorvil-broken-events-throw");
    PluginInstance effect(library);
    effect.Dispatch(effOpen);
    EventList events;
    events.Midi(0, 0x90, 60, 100);
    EXPECT_THROW(effect.Dispatch(effProcessEvents, 0, 0, events.Get()), std::runtime_error);
    std::array<float, 4> left{};
    std::array<float, 4> right{};
    Render(effect, left, right);
    EXPECT_FLOAT_EQ(left[0], 0.5f);
    EXPECT_FLOAT_EQ(right[3], -0.5f);
}

// Opens and runs the close-segv plug-in, then closes it; never returns.
void CloseTheFaultingPlugin() {
    PluginLibrary library("zorvil-broken-close-segv");
    PluginInstance effect(library);
    effect.Dispatch(effOpen);
    std::array<float, 4> left{};
    std::array<float, 4> right{};
    Render(effect, left, right);
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
