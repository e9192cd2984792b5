#include "app/device_dialogs.h"

#include "app/app_settings.h"
#include "engine/wave_device.h"
#include "midi/midi_device.h"
#include "platform/audio_device.h"

#include <cctype>
#include <charconv>

namespace zorvil {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

DeviceCombo Combo(std::vector<DeviceEntry> entries, std::string_view stored) {
    DeviceCombo combo{std::move(entries), 0};
    combo.selected = FindPrefixNoCase(combo.entries, stored);
    return combo;
}

DeviceCombo MidiCombo(const std::vector<std::string>& names, std::string_view stored) {
    std::vector<DeviceEntry> entries{{kNoMidiDevice, kNoMidiDevice}};
    for (const std::string& name : names)
        entries.push_back({name, name});
    return Combo(std::move(entries), stored);
}

// "MME: " + name, showing the rate the device runs at where the system says.
DeviceEntry WaveEntry(const std::string& name, uint32_t rate) {
    DeviceEntry entry{"MME: " + name, "MME: " + name};
    if (rate != 0) entry.text += "    (" + std::to_string(rate) + " Hz)";
    return entry;
}

DeviceCombo WaveCombo(const std::vector<platform::WaveDeviceInfo>& devices, bool mapper,
                      std::string_view stored) {
    std::vector<DeviceEntry> entries{{kNoWaveDevice, kNoWaveDevice}};
    if (mapper) entries.push_back(WaveEntry(platform::kWaveMapperName, platform::WaveMapperRate()));
    for (const platform::WaveDeviceInfo& device : devices)
        entries.push_back(WaveEntry(device.name, device.rate));
    return Combo(std::move(entries), stored);
}

// The entry whose value is `stored`, else `fallback`.
DeviceCombo ValueCombo(std::vector<DeviceEntry> entries, int stored, int fallback) {
    DeviceCombo combo{std::move(entries), fallback};
    for (size_t i = 0; i < combo.entries.size(); ++i)
        if (combo.Value(static_cast<int>(i)) == stored) combo.selected = static_cast<int>(i);
    return combo;
}

} // namespace

bool IsAsioName(std::string_view name) {
    return !ParseStoredWaveName(name).usable;
}

std::string DeviceCombo::Name(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= entries.size()) return {};
    return entries[static_cast<size_t>(index)].name;
}

int DeviceCombo::Value(int index) const {
    const std::string name = Name(index);
    int value = 0;
    std::from_chars(name.data(), name.data() + name.size(), value);
    return value;
}

int FindPrefixNoCase(const std::vector<DeviceEntry>& entries, std::string_view stored) {
    const std::string prefix = Lower(stored);
    for (size_t i = 0; i < entries.size(); ++i)
        if (Lower(entries[i].name).starts_with(prefix)) return static_cast<int>(i);
    return 0;
}

DeviceCombo MidiInCombo(std::string_view stored) {
    return MidiCombo(MidiInDeviceList(), stored);
}

DeviceCombo MidiOutCombo(std::string_view stored) {
    return MidiCombo(MidiOutDeviceList(), stored); // the list starts with "MIDI Mapper"
}

DeviceCombo WaveInCombo(std::string_view stored) {
    return WaveCombo(platform::WaveInDevices(), false, stored);
}

DeviceCombo WaveOutCombo(std::string_view stored) {
    return WaveCombo(platform::WaveOutDevices(), true, stored);
}

DeviceCombo BufferSizeCombo(int stored, bool withRate) {
    std::vector<DeviceEntry> entries;
    for (const int size : kBufferSizes) {
        std::string text = std::to_string(size);
        if (withRate)
            text += " samples    (" + std::to_string(platform::kSampleRate / size) + " b/s)";
        entries.push_back({std::to_string(size), std::move(text)});
    }
    return ValueCombo(std::move(entries), stored, kDefaultBufferSizeEntry);
}

DeviceCombo RenderAdjustCombo(int stored) {
    std::vector<DeviceEntry> entries;
    for (int adjust = 0; adjust <= kMaxRenderAdjust; ++adjust)
        entries.push_back({std::to_string(adjust), std::to_string(adjust)});
    return ValueCombo(std::move(entries), stored, kDefaultRenderAdjustEntry);
}

MidiDevicesRequest MakeMidiDevicesRequest(const CSettings& settings) {
    return {MidiInCombo(settings.MidiIn()), MidiOutCombo(settings.MidiOut()), settings.MidiThru()};
}

WaveDevicesRequest MakeWaveDevicesRequest(const CSettings& settings) {
    return {WaveInCombo(settings.WaveIn()), WaveOutCombo(settings.WaveOut()),
            BufferSizeCombo(settings.StoredWaveOutBufSize(), true)};
}

DevicesRequest MakeDevicesRequest(const CSettings& settings) {
    return {MidiInCombo(settings.MidiIn()), WaveOutCombo(settings.WaveOut()),
            BufferSizeCombo(settings.StoredWaveOutBufSize(), false),
            RenderAdjustCombo(settings.RenderAdjust())};
}

} // namespace zorvil
