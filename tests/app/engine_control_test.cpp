// Engine control: Run and Restart with the profile, the engine period from the pool or the
// buffer size, the wave input as the clock, the devices' wiring, and the fault guard's hook.
#include "app_test_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace zorvil::test {
namespace {

class EngineControlTest : public AppFixture {};

TEST_F(EngineControlTest, RunToggledTwiceWritesEngineOneThenZero) {
    ASSERT_FALSE(App().IsEngineRunning());
    EXPECT_TRUE(App().GetCommandState(CZorvilApp::kCommandRun).enabled);
    EXPECT_FALSE(App().GetCommandState(CZorvilApp::kCommandRun).checked);

    EXPECT_TRUE(App().OnCommand(CZorvilApp::kCommandRun));
    EXPECT_TRUE(App().IsEngineRunning());
    EXPECT_EQ(Setting(platform::settings::kEngine), "1");
    EXPECT_TRUE(App().GetCommandState(CZorvilApp::kCommandRun).checked);

    EXPECT_TRUE(App().OnCommand(CZorvilApp::kCommandRun));
    EXPECT_FALSE(App().IsEngineRunning());
    EXPECT_EQ(Setting(platform::settings::kEngine), "0");
    EXPECT_EQ(App().GetTimerId(), platform::kNoTimer);
}

TEST_F(EngineControlTest, RestartDoesNothingWhileStoppedAndStopsAndPostsRunWhileRunning) {
    EXPECT_FALSE(App().GetCommandState(CZorvilApp::kCommandRestart).enabled);
    EXPECT_TRUE(App().OnCommand(CZorvilApp::kCommandRestart));
    EXPECT_FALSE(App().ProcessPosted());
    EXPECT_FALSE(App().IsEngineRunning());
    EXPECT_FALSE(std::filesystem::exists(m_profile.Path()));

    App().StartEngine(); // while running: stops, and the posted Run starts it again
    EXPECT_TRUE(App().GetCommandState(CZorvilApp::kCommandRestart).enabled);
    App().OnCommand(CZorvilApp::kCommandRestart);
    EXPECT_FALSE(App().IsEngineRunning()); // until the posted Run arrives
    EXPECT_TRUE(App().ProcessPosted());
    EXPECT_TRUE(App().IsEngineRunning());
    EXPECT_EQ(Setting(platform::settings::kEngine), "1");
}

TEST_F(EngineControlTest, ThePeriodFollowsThePoolOrElseTheBufferSize) {
    const struct {
        const char* bufSize;
        const char* waveOut; // nullptr: none opened
        int poolBuffers;
        uint32_t period;
    } cases[] = {
        {"441", nullptr, 20, 100},
        {"2205", kImmediateOut.c_str(), 100, 10}, // a pool of 441-frame buffers
        {"2205", "MME: No Such Device", 100, 10}, // not opened, the pool still built
        {"2205", "ASIO: Card", 0, 20},            // no pool: the buffer size decides
        // Buffer sizes the engine cannot use fall back to 2205; every block fits the mix buffers.
        {"0", nullptr, 20, 20},
        {"-441", nullptr, 20, 20},
        {"60", nullptr, 20, 20},
        {"100", nullptr, 20, 20},
        {"22050", nullptr, 20, 20},
        {"not a number", nullptr, 20, 20},
        {"147", nullptr, 20, 300},
        {"11025", nullptr, 20, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.bufSize) + " " + (c.waveOut ? c.waveOut : "-"));
        m_app.reset();
        WriteSetting(platform::settings::kWaveOutBufSize, c.bufSize);
        if (c.waveOut) {
            EXPECT_EQ(App().WaveOut().OpenWaveOutByName(c.waveOut, 441),
                      std::string(c.waveOut) == kImmediateOut);
            EXPECT_EQ(App().WaveOut().BufferCount(), c.poolBuffers);
        }
        EXPECT_EQ(App().EnginePeriod(), c.period);
        EXPECT_LE(c.period * 441 / 10, static_cast<uint32_t>(CSeqHost::kMixFrames));
    }
    App().StartEngine();
    EXPECT_EQ(App().Period(), 4u);
    EXPECT_NE(App().GetTimerId(), platform::kNoTimer);
}

TEST_F(EngineControlTest, TimerBlocksReachTheWaveOutputAndComeBackBeforeStopReturns) {
    ASSERT_TRUE(App().WaveOut().OpenWaveOutByName(kImmediateOut, 2205));
    App().StartEngine();
    ASSERT_EQ(App().Period(), 50u);
    Run(500);
    EXPECT_GE(App().BlocksTriggered(), 9u);
    EXPECT_EQ(App().BlocksRefused(), 0u);
    ASSERT_NE(platform::VirtualDevices::WaveOut(), nullptr);
    EXPECT_EQ(platform::VirtualDevices::WaveOut()->Written(), App().BlocksTriggered());
    App().StopEngine();
    EXPECT_EQ(App().WaveOut().InFlight(), 0);
    EXPECT_FALSE(App().EngineThread().IsBusy());
}

TEST_F(EngineControlTest, StopReturnsWhenTheWaveOutputWentAwayWithBuffersQueued) {
    ASSERT_TRUE(App().WaveOut().OpenWaveOutByName(
        std::string("MME: ") + platform::kVirtualWaveOutManualName, 2205));
    App().StartEngine();
    // Blocks queued, never played (no waiting for their return here).
    while (App().BlocksTriggered() < 3) {
        m_clock.AdvanceToNextTick();
        while (App().EngineThread().IsBusy())
            std::this_thread::yield();
    }
    ASSERT_EQ(App().WaveOut().InFlight(), 3);
    platform::VirtualDevices::WaveOut()->Vanish();
    App().StopEngine();
    EXPECT_FALSE(App().IsEngineRunning());
    EXPECT_EQ(App().WaveOut().InFlight(), 0);
    App().ShutdownDevices();
    EXPECT_FALSE(App().WaveOut().IsOpen());
}

TEST_F(EngineControlTest, TheFaultGuardsHookShutsEveryDeviceDown) {
    ASSERT_TRUE(App().WaveOut().OpenWaveOutByName(kImmediateOut, 2205));
    ASSERT_TRUE(App().MidiOut().OpenByName(platform::kVirtualMidiOutName));
    ASSERT_TRUE(App().MidiIn().OpenByName(platform::kVirtualMidiInName));
    App().StartEngine();
    ASSERT_TRUE(App().Host().ShutdownHook());
    App().Host().ShutdownHook()();
    EXPECT_FALSE(App().IsEngineRunning());
    EXPECT_FALSE(App().WaveOut().IsOpen());
    EXPECT_FALSE(App().MidiOut().IsOpen());
    EXPECT_FALSE(App().MidiIn().IsOpen());
    // Restart has nothing to do until the devices are reopened; Run starts the engine again.
    App().OnCommand(CZorvilApp::kCommandRestart);
    EXPECT_FALSE(App().IsEngineRunning());
    App().OnCommand(CZorvilApp::kCommandRun);
    EXPECT_TRUE(App().IsEngineRunning());
}

} // namespace
} // namespace zorvil::test
