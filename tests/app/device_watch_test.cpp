// The device watch of zorvil-cli play: a device that goes away is reported once, looked for
// once a second, and reopened, engine and all, when it is listed again.
#include "app/device_watch.h"
#include "app_test_support.h"

#include <gmock/gmock.h>

namespace zorvil::test {
namespace {

using ::testing::ElementsAre;

class DeviceWatchTest : public AppFixture {
protected:
    DeviceWatchTest() {
        WriteSetting(platform::settings::kWaveOut, kImmediateOut);
        WriteSetting(platform::settings::kMidiOut, platform::kVirtualMidiOutName);
        WriteSetting(platform::settings::kMidiIn, platform::kVirtualMidiInName);
    }
    std::vector<std::string> m_lines;
};

TEST_F(DeviceWatchTest, ADeviceThatGoesAwayIsReportedOnceAndReopenedWhenItIsBack) {
    App().InitInstance();
    ASSERT_TRUE(App().WaveOut().IsOpen());
    ASSERT_TRUE(App().IsEngineRunning());
    CDeviceWatch watch(App(), [this](const std::string& line) { m_lines.push_back(line); });
    watch.Poll();
    EXPECT_TRUE(m_lines.empty());

    const std::string out = platform::kVirtualWaveOutImmediateName;
    const std::string midiOut = platform::kVirtualMidiOutName;
    platform::VirtualDevices::WaveOut()->Vanish();
    platform::VirtualDevices::MidiOut()->Vanish();
    // Gone from the lists too (a JACK server that stopped): nothing to reopen yet.
    platform::EnableVirtualDevices(false);
    for (int second = 0; second < 3; ++second) {
        watch.Poll();
        m_clock.Advance(CDeviceWatch::kRetryMs);
    }
    EXPECT_THAT(m_lines,
                ElementsAre("wave output \"" + out +
                                "\" stopped (the device went away); waiting for it to come back",
                            "MIDI output \"" + midiOut +
                                "\" stopped (the device went away); waiting for it to come back"));
    EXPECT_TRUE(watch.AnyGone());
    EXPECT_TRUE(App().IsEngineRunning());

    // Listed again: reopened under the stored name, with the engine running again.
    platform::EnableVirtualDevices(true);
    m_lines.clear();
    watch.Poll();
    EXPECT_THAT(m_lines, ElementsAre("wave output \"" + out + "\" is back",
                                     "MIDI output \"" + midiOut + "\" is back"));
    EXPECT_FALSE(watch.AnyGone());
    EXPECT_TRUE(App().WaveOut().IsOpen());
    EXPECT_TRUE(App().WaveOut().Alive());
    EXPECT_TRUE(App().MidiOut().Alive());
    EXPECT_TRUE(App().IsEngineRunning());
    // The reopened output plays: blocks reach it.
    Run(200);
    ASSERT_NE(platform::VirtualDevices::WaveOut(), nullptr);
    EXPECT_GT(platform::VirtualDevices::WaveOut()->Written(), 0u);
    m_lines.clear();
    watch.Poll();
    EXPECT_TRUE(m_lines.empty());
    App().ExitInstance();
}

} // namespace
} // namespace zorvil::test
