// The program against the test run's own JACK server: the user picks JACK in "Select devices",
// hears the synth, the server goes away (the lost devices are named, nothing hangs), and once it
// runs again Restart brings the sound back.
#include "app/zorvil_app.h"
#include "devices/device_test_support.h"
#include "devices/jack_test_client.h"
#include "files/temp_dir.h"
#include "platform/clock_real.h"
#include "platform/profile.h"
#include "support/jack_server.h"
#include "support/scripted_device_dialogs.h"
#include "support/scripted_user_interface.h"
#include "support/test_support.h"

#include <gmock/gmock.h>

#include <algorithm>

namespace zorvil::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Plays a note on the synth and waits until a client connected to Zorvil's first output hears
// it.
bool HearsTheSynth(CZorvilApp& app, int key) {
    JackTestClient client;
    if (!client.Open() || !client.Connect("Zorvil:out_1", "ZorvilTest:in_1")) return false;
    app.Host().QueueMidiEvent(CMidiMessage(0x90, key, 100));
    return client.WaitFor(
        [&] { return std::ranges::any_of(client.Audio(0), [](float s) { return s != 0.0f; }); },
        10s);
}

TEST(DeviceRestartJackTest, JackChosenLostWithItsServerAndBroughtBackByRestart) {
    ASSERT_NE(JackServer::Current(), nullptr);
    TempDir folder;
    platform::CProfile profile(folder.File("Zorvil.conf"));
    platform::RealClock clock;
    ScriptedUserInterface ui;
    ScriptedDeviceDialogs dialogs;
    CZorvilApp app(clock, ui, &profile);
    app.SetDeviceDialogs(&dialogs);
    app.InitInstance(); // nothing stored: no device opens

    // The JACK output shows the server's rate; its name stays the bare one.
    dialogs.devices = [](const DevicesRequest& r) -> std::optional<DevicesChoice> {
        const int jack = Pick(r.waveOutput, "MME: JACK");
        EXPECT_GE(jack, 0);
        if (jack < 0) return std::nullopt;
        EXPECT_EQ(r.waveOutput.entries[static_cast<size_t>(jack)].text, "MME: JACK    (44100 Hz)");
        return DevicesChoice{Pick(r.midiInput, "JACK MIDI"), jack, Pick(r.bufferSize, "2205"),
                             Pick(r.renderAdjust, "0")};
    };
    app.OnCommand(command::kDevices);
    ASSERT_EQ(profile.GetString("Settings", "WaveOut", ""), "MME: JACK");
    ASSERT_EQ(profile.GetString("Settings", "MidiIn", ""), "JACK MIDI");
    ASSERT_GE(app.LoadEffect(PluginPath("zorvil-synth")), 0);
    EXPECT_TRUE(HearsTheSynth(app, 60));
    EXPECT_THAT(app.LostDevices(), IsEmpty());

    JackServer::Current()->Stop();
    EXPECT_TRUE(Eventually([&] { return app.LostDevices().size() == 2; }, 10s));
    EXPECT_THAT(app.LostDevices(), ElementsAre("wave output \"JACK\"", "MIDI input \"JACK MIDI\""));
    // Restart while the server is still away: nothing to reopen, the engine runs on.
    app.OnCommand(CZorvilApp::kCommandRestart);
    app.ProcessPosted();
    EXPECT_TRUE(app.IsEngineRunning());
    EXPECT_EQ(app.LostDevices().size(), 2u);

    ASSERT_TRUE(JackServer::Current()->Start());
    app.OnCommand(CZorvilApp::kCommandRestart);
    app.ProcessPosted();
    EXPECT_TRUE(app.IsEngineRunning());
    EXPECT_THAT(app.LostDevices(), IsEmpty());
    EXPECT_TRUE(HearsTheSynth(app, 64));
    app.ExitInstance();
}

} // namespace
} // namespace zorvil::test
