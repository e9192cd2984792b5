// The device dialogs' combos and the three device commands on the virtual devices: what each
// dialog offers and selects, and what OK opens, stores and restarts.
#include "app_test_support.h"

#include "app/device_dialogs.h"
#include "midi/midi_device.h"
#include "support/scripted_device_dialogs.h"

#include <gtest/gtest.h>

namespace zorvil::test {
namespace {

using platform::VirtualDevices;
namespace keys = platform::settings;

const std::string kWaveIn = std::string("MME: ") + platform::kVirtualWaveInName;

class DeviceCommandsTest : public AppFixture {
protected:
    DeviceCommandsTest() { App().SetDeviceDialogs(&m_dialogs); }

    void ChooseMidi(const std::string& in, const std::string& out, bool thru) {
        m_dialogs.midi = [=](const MidiDevicesRequest& r) {
            return MidiDevicesChoice{Pick(r.input, in), Pick(r.output, out), thru};
        };
        App().OnCommand(command::kMidiDevices);
    }
    void ChooseWave(const std::string& in, const std::string& out, const std::string& size) {
        m_dialogs.wave = [=](const WaveDevicesRequest& r) {
            return WaveDevicesChoice{Pick(r.input, in), Pick(r.output, out),
                                     Pick(r.bufferSize, size)};
        };
        App().OnCommand(command::kWaveDevices);
    }

    ScriptedDeviceDialogs m_dialogs;
};

TEST_F(DeviceCommandsTest, TheCombosOfferTheListsOfNowAndSelectTheStoredValues) {
    // A stored name selects the first entry it begins, ignoring case; sizes and adjustments
    // select their own entry, else 3675 and 4.
    const struct {
        const char* what;
        DeviceCombo combo;
        const char* selected; // the text of the selected entry
    } cases[] = {
        {"no MIDI input", MidiInCombo(""), "* No MIDI *"},
        {"MIDI input by prefix", MidiInCombo("virtual midi"), "Virtual MIDI In"},
        {"MIDI mapper", MidiOutCombo("midi mapper"), "MIDI Mapper"},
        {"wave mapper", WaveOutCombo("MME: Wave"), "MME: Wave Mapper"},
        {"wave name without its prefix", WaveOutCombo("Virtual Wave Out"), "* No Wave *"},
        {"stored size", BufferSizeCombo(147, true), "147 samples    (300 b/s)"},
        {"size alone", BufferSizeCombo(1000, false), "3675"},
        {"render adjust not offered", RenderAdjustCombo(11), "4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.combo.entries.at(static_cast<size_t>(c.combo.selected)).text, c.selected);
    }

    // The lists are read anew: a device gone from the system is gone from the next dialog.
    platform::EnableVirtualDevices(false);
    EXPECT_EQ(Pick(MidiInCombo(""), platform::kVirtualMidiInName), -1);
    EXPECT_EQ(Pick(WaveOutCombo(""), kImmediateOut), -1);
}

TEST_F(DeviceCommandsTest, MidiDevicesOpensStoresAndRestartsAndNoMidiClosesThePort) {
    App().InitInstance();
    ASSERT_TRUE(App().IsEngineRunning());
    ChooseMidi(platform::kVirtualMidiInName, platform::kVirtualMidiOutName, true);
    EXPECT_EQ(Setting(keys::kMidiIn), platform::kVirtualMidiInName);
    EXPECT_EQ(Setting(keys::kMidiOut), platform::kVirtualMidiOutName);
    EXPECT_EQ(Setting(keys::kMidiThru), "1");
    // The input runs again and passes through to the output.
    ASSERT_NE(VirtualDevices::MidiIn(), nullptr);
    const uint8_t note[] = {0x90, 60, 100};
    VirtualDevices::MidiIn()->Send(note);
    ASSERT_NE(VirtualDevices::MidiOut(), nullptr);
    EXPECT_EQ(VirtualDevices::MidiOut()->Messages().size(), 1u);

    // A port that vanished before OK fails to open: its name is stored empty, and the port that
    // was open stays open.
    m_dialogs.midi = [](const MidiDevicesRequest& r) {
        platform::EnableVirtualDevices(false);
        return MidiDevicesChoice{Pick(r.input, platform::kVirtualMidiInName),
                                 Pick(r.output, platform::kVirtualMidiOutName), false};
    };
    App().OnCommand(command::kMidiDevices);
    platform::EnableVirtualDevices(true);
    EXPECT_EQ(Setting(keys::kMidiIn), "");
    EXPECT_EQ(Setting(keys::kMidiOut), "");
    EXPECT_EQ(Setting(keys::kMidiThru), "0");
    EXPECT_TRUE(App().MidiIn().IsOpen());
    EXPECT_TRUE(App().MidiOut().IsOpen());

    // "* No MIDI *" closes what was open: nothing plays the plug-ins or leaves any more.
    ChooseMidi(kNoMidiDevice, kNoMidiDevice, false);
    EXPECT_FALSE(App().MidiIn().IsOpen());
    EXPECT_FALSE(App().MidiOut().IsOpen());
    EXPECT_TRUE(App().IsEngineRunning());
    App().ExitInstance();
}

TEST_F(DeviceCommandsTest, WaveDevicesOpensWithTheBufferSizeAndNoWaveClosesTheOutput) {
    App().InitInstance();
    App().OnCommand(CZorvilApp::kCommandRun); // stopped: stays stopped after the command
    ChooseWave(kWaveIn, kImmediateOut, "441");
    EXPECT_TRUE(App().WaveIn().IsOpen() && App().WaveOut().IsOpen());
    EXPECT_EQ(App().WaveOut().BufferCount(), 100);
    EXPECT_FALSE(App().IsEngineRunning());

    ChooseWave(kNoWaveDevice, kNoWaveDevice, "2205");
    EXPECT_FALSE(App().WaveIn().IsOpen() || App().WaveOut().IsOpen());
    EXPECT_EQ(Setting(keys::kWaveIn) + Setting(keys::kWaveOut), "");
    EXPECT_EQ(App().EnginePeriod(), 50u); // the pool of 20 buffers stays
    App().ExitInstance();
}

TEST_F(DeviceCommandsTest, DevicesSetsMidiInputWaveOutputSizeAndAdjustAndLeavesTheRest) {
    WriteSetting(keys::kMidiThru, "1");
    WriteSetting(keys::kMidiOut, platform::kVirtualMidiOutName);
    WriteSetting(keys::kWaveIn, kWaveIn);
    App().InitInstance();
    m_dialogs.devices = [](const DevicesRequest& r) {
        EXPECT_EQ(r.bufferSize.entries[static_cast<size_t>(r.bufferSize.selected)].text, "2205");
        return DevicesChoice{Pick(r.midiInput, platform::kVirtualMidiInName),
                             Pick(r.waveOutput, kImmediateOut), Pick(r.bufferSize, "147"),
                             Pick(r.renderAdjust, "7")};
    };
    App().OnCommand(command::kDevices);
    EXPECT_EQ(Setting(keys::kMidiIn), platform::kVirtualMidiInName);
    EXPECT_EQ(Setting(keys::kWaveOut), kImmediateOut);
    EXPECT_EQ(Setting(keys::kWaveOutBufSize), "147");
    EXPECT_EQ(Setting(keys::kRenderAdjust), "7");
    EXPECT_EQ(App().RenderAdjust(), 7);
    EXPECT_EQ(App().WaveOut().BufferCount(), 300);
    EXPECT_TRUE(App().IsEngineRunning());
    // Pass-through is off until the next start; the stored flag, the wave input and the MIDI
    // output are as they were.
    const uint8_t note[] = {0x90, 60, 100};
    VirtualDevices::MidiIn()->Send(note);
    EXPECT_TRUE(VirtualDevices::MidiOut()->Messages().empty());
    EXPECT_EQ(Setting(keys::kMidiThru), "1");
    EXPECT_TRUE(App().WaveIn().IsOpen());
    EXPECT_TRUE(App().MidiOut().IsOpen());
    App().ExitInstance();
}

} // namespace
} // namespace zorvil::test
