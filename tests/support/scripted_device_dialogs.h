// ScriptedDeviceDialogs: the device dialogs as a test answers them. Each dialog calls the
// function the test set with the request (the combos as the dialog would show them) and returns
// its choice; without one the dialog is cancelled.
//
//     ScriptedDeviceDialogs dialogs;
//     dialogs.devices = [](const DevicesRequest& r) {
//         return DevicesChoice{0, Pick(r.waveOutput, "MME: JACK"), Pick(r.bufferSize, "2205"), 0};
//     };
//     app.SetDeviceDialogs(&dialogs);
//     app.OnCommand(command::kDevices);
#pragma once

#include "app/device_dialogs.h"

#include <algorithm>
#include <functional>
#include <string>

namespace zorvil::test {

// The index of the entry named `name` in `combo` (-1: none).
inline int Pick(const DeviceCombo& combo, const std::string& name) {
    const auto it = std::ranges::find(combo.entries, name, &DeviceEntry::name);
    return it == combo.entries.end() ? -1 : static_cast<int>(it - combo.entries.begin());
}

class ScriptedDeviceDialogs : public IDeviceDialogs {
public:
    std::function<std::optional<MidiDevicesChoice>(const MidiDevicesRequest&)> midi;
    std::function<std::optional<WaveDevicesChoice>(const WaveDevicesRequest&)> wave;
    std::function<std::optional<DevicesChoice>(const DevicesRequest&)> devices;

    std::optional<MidiDevicesChoice> SelectMidiDevices(const MidiDevicesRequest& r) override {
        return midi ? midi(r) : std::nullopt;
    }
    std::optional<WaveDevicesChoice> SelectWaveDevices(const WaveDevicesRequest& r) override {
        return wave ? wave(r) : std::nullopt;
    }
    std::optional<DevicesChoice> SelectDevices(const DevicesRequest& r) override {
        return devices ? devices(r) : std::nullopt;
    }
};

} // namespace zorvil::test
