// Engine control: Run and Restart with the profile, the engine period from the pool or the
// buffer size, the wave input as the clock, the devices' wiring, and the fault guard's hook.
#include "app_test_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace zorvil::test {
namespace {

class EngineControlTest : public AppFixture {};

// Run toggles the engine and stores "Engine"; Restart does nothing while stopped and, while
// running, stops and posts a Run. The fault guard's hook shuts every device down; then only Run
// starts the engine again.
TEST_F(EngineControlTest, RunRestartAndTheFaultGuardsHook) {
    EXPECT_TRUE(App().OnCommand(CZorvilApp::kCommandRestart));
    EXPECT_FALSE(App().ProcessPosted());
    EXPECT_FALSE(App().IsEngineRunning());
    EXPECT_FALSE(std::filesystem::exists(m_profile.Path()));

    EXPECT_TRUE(App().OnCommand(CZorvilApp::kCommandRun));
    EXPECT_TRUE(App().IsEngineRunning());
    EXPECT_EQ(Setting(platform::settings::kEngine), "1");
    App().OnCommand(CZorvilApp::kCommandRestart);
    EXPECT_FALSE(App().IsEngineRunning()); // until the posted Run arrives
    EXPECT_TRUE(App().ProcessPosted());
    EXPECT_TRUE(App().IsEngineRunning());
    EXPECT_TRUE(App().OnCommand(CZorvilApp::kCommandRun));
    EXPECT_FALSE(App().IsEngineRunning());
    EXPECT_EQ(Setting(platform::settings::kEngine), "0");
    EXPECT_EQ(App().GetTimerId(), platform::kNoTimer);

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
    App().OnCommand(CZorvilApp::kCommandRestart);
    EXPECT_FALSE(App().IsEngineRunning());
    App().OnCommand(CZorvilApp::kCommandRun);
    EXPECT_TRUE(App().IsEngineRunning());
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
        // Buffer sizes the engine cannot use fall back to 2205.
        {"0", nullptr, 20, 20},
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
    }
    App().StartEngine();
    EXPECT_EQ(App().Period(), 4u);
    EXPECT_NE(App().GetTimerId(), platform::kNoTimer);
}

// A clock whose timers take a few milliseconds to start, as a real one may.
class SlowStartingClock final : public platform::IClockService {
public:
    explicit SlowStartingClock(platform::ManualClock& clock) : m_clock(clock) {}
    uint32_t Now() const noexcept override { return m_clock.Now(); }
    bool GetCaps(platform::TimerCaps& caps) const noexcept override {
        return m_clock.GetCaps(caps);
    }
    bool BeginResolution(uint32_t ms) noexcept override { return m_clock.BeginResolution(ms); }
    bool EndResolution(uint32_t ms) noexcept override { return m_clock.EndResolution(ms); }
    platform::TimerId StartPeriodic(uint32_t period, uint32_t resolution,
                                    platform::TimerCallback callback) override {
        const platform::TimerId id = m_clock.StartPeriodic(period, resolution, std::move(callback));
        m_clock.Advance(1); // less than a tick
        return id;
    }
    bool Cancel(platform::TimerId id) noexcept override { return m_clock.Cancel(id); }

private:
    platform::ManualClock& m_clock;
};

// Block time stamps count from the engine's start, taken once the clock runs; a wave input that
// clocks the engine stamps its blocks from that same moment.
TEST_F(EngineControlTest, TheStartTimeIsTakenOnceTheClockRunsAndGivenToTheWaveInput) {
    SlowStartingClock clock(m_clock);
    {
        CZorvilApp app(clock, m_ui, &m_profile);
        app.StartEngine();
        ASSERT_NE(app.GetTimerId(), platform::kNoTimer);
        EXPECT_EQ(app.StartTime(), 1001u);
        app.StopEngine();
    }
    ASSERT_TRUE(
        App().WaveIn().OpenWaveInByName(platform::kVirtualWaveInName, 2205, &App().EngineThread()));
    App().StartEngine();
    ASSERT_TRUE(App().WaveIn().IsStarted());
    EXPECT_EQ(App().GetTimerId(), platform::kNoTimer);
    EXPECT_EQ(App().WaveIn().StartTime(), App().StartTime());
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

} // namespace
} // namespace zorvil::test
