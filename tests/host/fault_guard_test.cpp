// The guard around unloading: a plug-in that crashes while it closes gets the devices shut down
// (the shutdown hook) before the crash takes its normal course.
#include "host/seq_host.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

namespace zorvil {
namespace {

void LoadAndRemoveCrashingPlugIn(bool withHook) {
    const rlimit noCore{0, 0}; // the crash is expected: no core file
    setrlimit(RLIMIT_CORE, &noCore);
    CSeqHost host;
    if (withHook) {
        host.SetShutdownHook([] {
            [[maybe_unused]] const auto written = write(STDERR_FILENO, "shutdown hook ran\n", 18);
        });
    }
    const int slot = host.LoadPlugin(test::PluginPath("zorvil-broken-close-segv"));
    if (slot < 0) std::_Exit(3); // not the death we are looking for
    host.RemoveEffect(slot);
    std::_Exit(4); // survived: wrong
}

TEST(UnloadFaultGuardDeathTest, CrashInCloseRunsTheShutdownHookThenCrashes) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(LoadAndRemoveCrashingPlugIn(true), ::testing::KilledBySignal(SIGSEGV),
                "shutdown hook ran");
    // Without a hook it still crashes as the plug-in made it.
    EXPECT_EXIT(LoadAndRemoveCrashingPlugIn(false), ::testing::KilledBySignal(SIGSEGV), "");
}

TEST(UnloadFaultGuard, HandlersAreOnlyInstalledAroundTheUnload) {
    const int signals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
    struct sigaction before[4]{}, after[4]{};
    for (int i = 0; i < 4; ++i)
        sigaction(signals[i], nullptr, &before[i]);
    bool hookRan = false;
    {
        CSeqHost host;
        host.SetShutdownHook([&] { hookRan = true; });
        ASSERT_EQ(host.LoadPlugin(test::PluginPath("zorvil-probe")), 0);
        EXPECT_TRUE(host.RemoveEffect(0));
    }
    EXPECT_FALSE(hookRan); // a clean close does not shut anything down
    for (int i = 0; i < 4; ++i) {
        sigaction(signals[i], nullptr, &after[i]);
        EXPECT_EQ(after[i].sa_handler, before[i].sa_handler) << signals[i];
    }
}

} // namespace
} // namespace zorvil
