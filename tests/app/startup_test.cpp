// Start-up and shut-down without windows: the devices opened by their stored names, the engine
// started, the profile left alone. (The command line: the main frame's batch render and the
// project commands' tempo.)
#include "app_test_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace zorvil::test {
namespace {

namespace keys = platform::settings;

class StartupTest : public AppFixture {};

// Start-up opens the stored devices in the order MIDI output, wave output, MIDI input, wave
// input; shut-down closes the MIDI input, the MIDI output, the wave input and the wave output.
TEST_F(StartupTest, StoredDevicesOpenAndCloseInTheirOrderAndAWaveNameWithoutPrefixIsUpgraded) {
    WriteSetting(keys::kWaveOut, platform::kVirtualWaveOutImmediateName);
    WriteSetting(keys::kWaveIn, std::string("mme: ") + platform::kVirtualWaveInName);
    WriteSetting(keys::kMidiIn, platform::kVirtualMidiInName);
    WriteSetting(keys::kMidiOut, platform::kVirtualMidiOutName);
    WriteSetting(keys::kMidiThru, "1");
    WriteSetting(keys::kWaveOutBufSize, "441");
    WriteSetting(keys::kRenderAdjust, "3");
    platform::VirtualDevices::ClearJournal();
    ASSERT_TRUE(App().InitInstance());
    EXPECT_EQ(platform::VirtualDevices::Journal(),
              (std::vector<std::string>{"open MIDI out", "open wave out", "open MIDI in",
                                        "open wave in"}));
    EXPECT_EQ(Setting(keys::kWaveOut), kImmediateOut);
    // The lower-case prefix counts as "MME: " and is left as it was.
    EXPECT_EQ(Setting(keys::kWaveIn), std::string("mme: ") + platform::kVirtualWaveInName);
    EXPECT_EQ(App().WaveIn().BufferFrames(), 441);
    EXPECT_TRUE(App().MidiIn().Thru());
    EXPECT_EQ(App().RenderAdjust(), 3);
    EXPECT_TRUE(App().WaveIn().IsStarted()); // the wave input is the clock

    platform::VirtualDevices::ClearJournal();
    App().ExitInstance();
    EXPECT_EQ(platform::VirtualDevices::Journal(),
              (std::vector<std::string>{"close MIDI in", "close MIDI out", "close wave in",
                                        "close wave out"}));
}

// A block that outlasts StopEngine's limit (a slow plug-in) still runs when shut-down goes on:
// the effects it runs and the block buffers must stay until it is done.
// (A fresh profile opens no device and writes nothing, not even the "Engine" value.)
TEST_F(StartupTest, ShutDownWaitsForABlockThatOutlastsTheEngineStop) {
    ASSERT_TRUE(App().InitInstance());
    EXPECT_FALSE(App().WaveOut().IsOpen() || App().WaveIn().IsOpen() || App().MidiIn().IsOpen() ||
                 App().MidiOut().IsOpen());
    EXPECT_TRUE(App().IsEngineRunning());
    EXPECT_FALSE(std::filesystem::exists(m_profile.Path()));
    const int slot = App().LoadEffect(PluginPath("zorvil-probe"));
    ASSERT_GE(slot, 0);
    struct SlowOutput : IBlockOutput {
        SlowOutput(CZorvilApp& a, int s) : app(a), slot(s) {}
        void OutputBlock(float* const*, int) noexcept override {
            if (started.exchange(true)) return;
            // Past the moment StopEngine gives up on this block, and a while longer.
            while (app.IsEngineRunning())
                std::this_thread::sleep_for(10ms);
            std::this_thread::sleep_for(300ms);
            intact = app.Host().GetEffect(slot) != nullptr && app.BlockBuffers()[0] != nullptr;
            finished = true;
        }
        CZorvilApp& app;
        const int slot;
        std::atomic<bool> started{false}, intact{false}, finished{false};
    } slow(App(), slot);
    App().SetOutputDevice(&slow);
    m_clock.Advance(100); // the timer triggers a block; the worker runs it
    ASSERT_TRUE(Eventually([&] { return slow.started.load(); }, 10s));
    EXPECT_EQ(App().ExitInstance(), 0);
    EXPECT_TRUE(slow.finished);
    EXPECT_TRUE(slow.intact) << "effects or block buffers went while the block ran";
    EXPECT_EQ(App().Host().GetEffect(slot), nullptr);
}

} // namespace
} // namespace zorvil::test
