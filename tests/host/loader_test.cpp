// Loading plug-ins through the real loader: entry names, the record checks, the calls that
// follow a successful load, the slots, the guard around unloading, and the installed
// third-party plug-ins.
#include "files/temp_dir.h"
#include "host/seq_host.h"
#include "probe_access.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace zorvil {
namespace {

using test::PluginPath;

TEST(Loader, LoadCallsFollowTheEntryInOrderAfterTheSlotIsHeld) {
    CSeqHost host;
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 0);
    test::ProbeAccess probe("zorvil-probe");
    ASSERT_TRUE(probe.Valid());
    // During the entry the plug-in holds no slot: current id -1, want-MIDI refused. In effOpen
    // it holds its slot, so the same request is granted.
    EXPECT_EQ(probe.Log(*host.GetEffect(0)), "host 1 0 0 -> 2300\nhost 2 0 0 -> -1\n"
                                             "host 6 0 1 -> 0\ndispatch 10 0 0 44100\n"
                                             "dispatch 11 0 1024 0\ndispatch 0 0 0 0\n"
                                             "host 6 0 1 -> 1\ndispatch 12 0 1 0\n"
                                             "dispatch 51 0 0 0\n");
    EXPECT_TRUE(host.GetEffect(0)->m_bWantMidi.load());

    const std::string path = PluginPath("zorvil-probe-vstpluginmain"); // the other entry name
    ASSERT_EQ(host.LoadPlugin(path), 1);
    EXPECT_EQ(host.GetEffect(1)->GetAEffect()->uniqueID, 0x5A507256); // 'ZPrV'
    EXPECT_EQ(host.GetEffect(1)->GetPath(), path);
    EXPECT_STREQ(host.GetEffect(1)->GetDirectory(), ZORVIL_PLUGIN_DIR);
}

TEST(Loader, BrokenLibrariesAndWhatIsNoFileAreRefusedWithoutTakingASlotOrBlocking) {
    const test::TempDir folder;
    const std::string fifo = folder.File("pipe.so");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::tuple<std::string, LoadFailure, const char*> cases[] = {
        {PluginPath("zorvil-broken-magic"), LoadFailure::WrongMagic, ""},
        {PluginPath("zorvil-broken-null"), LoadFailure::NullRecord, ""},
        {PluginPath("zorvil-broken-noentry"), LoadFailure::NoEntry, ""},
        {PluginPath("no-such-plugin"), LoadFailure::LibraryRefused, ""},
        {test::SourcePath("README.md"), LoadFailure::LibraryRefused, ""},
        {"libc.so.6", LoadFailure::LibraryRefused, ""}, // a bare name is never a system library
        {fifo, LoadFailure::LibraryRefused, "not a regular file"}, // opening it would wait
        {folder.Path().string(), LoadFailure::LibraryRefused, "it is a folder"},
    };
    for (const auto& [path, failure, words] : cases) {
        auto loaded = std::async(std::launch::async, [&] {
            CSeqHost host;
            const int slot = host.LoadPlugin(path);
            return std::tuple(slot, host.LastLoadFailure(), host.LastLoadError(), host.SlotCount());
        });
        if (loaded.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << path << ": the loader waits on it";
            const int writer = ::open(fifo.c_str(), O_WRONLY); // lets it go on
            if (writer >= 0) ::close(writer);
        }
        const auto [slot, got, error, slots] = loaded.get();
        EXPECT_EQ(slot, -1) << path;
        EXPECT_EQ(got, failure) << path;
        EXPECT_THAT(error, ::testing::AllOf(::testing::Not(::testing::IsEmpty()),
                                            ::testing::HasSubstr(words)))
            << path;
        EXPECT_EQ(slots, 0) << path;
    }
}

TEST(Host, OneHostAtATimeAndNoAnswersWithoutOne) {
    auto version = [] {
        return CEffectHost::AudioMasterCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0);
    };
    {
        CSeqHost host;
        EXPECT_THROW(CSeqHost second, std::logic_error);
        EXPECT_EQ(version(), 2300); // the first one still answers
    }
    EXPECT_EQ(version(), 0);
    CSeqEffect effect(nullptr); // a wrapper without a host refuses to load
    EXPECT_FALSE(effect.Load(PluginPath("zorvil-probe")));
    EXPECT_EQ(effect.GetLoadFailure(), LoadFailure::NoHost);
}

// Ignores audioMasterWantMidi, as for a 2.4 plug-in that never asks.
class DeafToWantMidiHost : public CSeqHost {
public:
    intptr_t OnWantMidi(int, intptr_t) override { return 0; }
};

TEST(Loader, PlugInsAnsweringTheMidiCapabilityGetMidiWithoutAsking) {
    DeafToWantMidiHost host;
    // The probe answers effCanDo("receiveVstMidiEvent") with 1 (the last call of the load).
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 0);
    EXPECT_TRUE(host.GetEffect(0)->m_bWantMidi.load());
    const char* effect = "/usr/lib/vst/3BandEQ-vst.so"; // DPF effect without MIDI input
    if (access(effect, R_OK) != 0) GTEST_SKIP() << "dpf-plugins-vst not installed";
    ASSERT_EQ(host.LoadPlugin(effect), 1);
    EXPECT_FALSE(host.GetEffect(1)->m_bWantMidi.load());
}

// Stands in for a plug-in whose effOpen throws, passed on as a plug-in's dispatcher would.
class ThrowingOpenEffect : public CSeqEffect {
public:
    using CSeqEffect::CSeqEffect;
    intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                      float opt) override {
        if (opcode == effOpen) throw std::runtime_error("effOpen failed");
        return CSeqEffect::Dispatch(opcode, index, value, ptr, opt);
    }
};

class ThrowingOpenHost : public CSeqHost {
public:
    std::unique_ptr<CEffect> CreateEffect() override {
        return std::make_unique<ThrowingOpenEffect>(this);
    }
};

TEST(Loader, APlugInThatThrowsWhileOpeningIsNotKept) {
    ThrowingOpenHost host;
    EXPECT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), -1);
    EXPECT_EQ(host.LastLoadFailure(), LoadFailure::OpenFailed);
    EXPECT_EQ(host.GetNextEffect(-1), -1);
}

// A plug-in that crashes while it closes gets the devices shut down (the shutdown hook) before
// the crash takes its normal course.
void LoadAndRemoveCrashingPlugIn() {
    const rlimit noCore{0, 0}; // the crash is expected: no core file
    setrlimit(RLIMIT_CORE, &noCore);
    CSeqHost host;
    host.SetShutdownHook([] {
        [[maybe_unused]] const auto written = write(STDERR_FILENO, "shutdown hook ran\n", 18);
    });
    const int slot = host.LoadPlugin(PluginPath("zorvil-broken-close-segv"));
    if (slot < 0) std::_Exit(3); // not the death we are looking for
    host.RemoveEffect(slot);
    std::_Exit(4); // survived: wrong
}

TEST(UnloadFaultGuardDeathTest, CrashInCloseRunsTheShutdownHookThenCrashes) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(LoadAndRemoveCrashingPlugIn(), ::testing::KilledBySignal(SIGSEGV),
                "shutdown hook ran");
}

TEST(UnloadFaultGuard, APlugInThatThrowsWhileClosingIsClosedOnceAndMetAsACrash) {
    const int signals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
    struct sigaction before[4]{}, after[4]{};
    for (int i = 0; i < 4; ++i)
        sigaction(signals[i], nullptr, &before[i]);
    int shutdowns = 0;
    {
        CSeqHost host;
        host.SetShutdownHook([&] { ++shutdowns; });
        ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 0);
        ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-broken-close-throw")), 1);
        ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-out0")), 2);
        // The plug-in frees itself and throws in effClose: a second effClose would reach freed
        // memory, a second throw would end the program.
        EXPECT_THROW(host.RemoveEffect(1), EffectCloseError);
        EXPECT_EQ(shutdowns, 1); // the devices went down first, as for a crash
        EXPECT_EQ(host.GetEffect(1), nullptr);
        ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-broken-close-throw")), 1);
        // Removing everything removes the others too, then passes the failure on.
        EXPECT_THROW(host.RemoveAll(), EffectCloseError);
        EXPECT_EQ(shutdowns, 2);
        EXPECT_EQ(host.GetNextEffect(-1), -1);
        ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-broken-close-throw")), 0);
    }                             // the host's destructor meets the throw too, and goes on
    EXPECT_EQ(shutdowns, 3);      // one for each throw: a clean close shuts nothing down
    for (int i = 0; i < 4; ++i) { // the guard's handlers are only there during an unload
        sigaction(signals[i], nullptr, &after[i]);
        EXPECT_EQ(after[i].sa_handler, before[i].sa_handler) << signals[i];
    }
}

// The plug-in libraries a Debian package installs, as dpkg lists them; none when the package is
// not installed.
std::vector<std::string> PackagePlugIns(const std::string& package) {
    std::vector<std::string> libraries;
    const std::string command = "dpkg-query -L " + package + " 2>/dev/null";
    FILE* list = popen(command.c_str(), "r");
    if (list == nullptr) return libraries;
    char line[4096];
    while (std::fgets(line, sizeof line, list) != nullptr) {
        std::string path(line);
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
            path.pop_back();
        if (path.ends_with(".so") && std::filesystem::is_regular_file(path))
            libraries.push_back(path);
    }
    pclose(list);
    return libraries;
}

// Debian's dpf-plugins-vst, when installed: each of its libraries loads, plays a few blocks with
// notes and unloads. Only the libraries of the package this test names: other plug-in packages
// bring faults of their own, which are not this host's (the sanitizer runs also keep faults
// inside plug-in libraries out of their verdict: sanitizer_suppressions.cpp).
TEST(InstalledPlugIns, EveryLibraryOfDpfPluginsVstLoadsPlaysAndUnloads) {
    const std::vector<std::string> plugins = PackagePlugIns("dpf-plugins-vst");
    if (plugins.empty()) GTEST_SKIP() << "dpf-plugins-vst is not installed";
    CSeqHost host;
    std::vector<float> left(2205), right(2205);
    float* buffers[2] = {left.data(), right.data()};
    for (const std::string& path : plugins) {
        SCOPED_TRACE(path);
        ASSERT_EQ(host.LoadPlugin(path), 0) << host.LastLoadError();
        // Mapped until the process ends, so that a leak report at exit can name the library.
        ASSERT_NE(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE), nullptr);
        EXPECT_STREQ(host.GetEffect(0)->GetDirectory(),
                     std::filesystem::path(path).parent_path().c_str());
        for (uint32_t block = 0; block < 4; ++block) {
            host.QueueMidiEvent(CMidiMessage(block % 2 == 0 ? 0x90 : 0x80, 60, 100));
            host.ProcessBlock(buffers, 2205, 2, block * 50);
        }
        const float* const* mix = host.MixBuffers(); // the last block
        for (int i = 0; i < 2205; ++i)
            ASSERT_TRUE(std::isfinite(mix[0][i]) && std::isfinite(mix[1][i])) << i;
        host.IdleAll();
        EXPECT_TRUE(host.RemoveEffect(0));
    }
}

} // namespace
} // namespace zorvil
