#include "app/cli/devices_command.h"

#include "engine/wave_device.h"
#include "midi/midi_device.h"
#include "platform/audio_device.h"
#include "platform/midi_port.h"

#include <algorithm>
#include <ostream>

namespace zorvil::cli {

namespace {

void PrintList(std::ostream& out, const char* title, const std::vector<std::string>& entries) {
    out << title << ":\n";
    for (const std::string& entry : entries)
        out << "  " << entry << '\n';
}

void Remove(std::vector<std::string>& list, const std::string& entry) {
    list.erase(std::remove(list.begin(), list.end(), entry), list.end());
}

// The mappers stand for whatever the machine offers by default, and may stand for nothing (no
// sound server, no sequencer): they are listed only when they open.
bool WaveMapperOpens() {
    platform::DeviceEvent event;
    return platform::OpenWaveOutPort(-1, event) != nullptr;
}

bool MidiMapperOpens() {
    return platform::OpenMidiOutPort(-1) != nullptr;
}

// "  [48000 Hz, converted from 44100 Hz]": the rate the device runs at, and whether the program's
// 44100 Hz is converted on the way.
std::string RateNote(uint32_t rate, bool output) {
    if (rate == 0) return {};
    std::string note = "  [" + std::to_string(rate) + " Hz";
    if (rate != static_cast<uint32_t>(platform::kSampleRate))
        note += output ? ", converted from 44100 Hz" : ", converted to 44100 Hz";
    return note + "]";
}

// A wave list as the dialogs show it ("* No Wave *", then "MME: " + name), each device with
// its rate; the output mapper only when it opens.
std::vector<std::string> WaveLines(const std::vector<platform::WaveDeviceInfo>& devices,
                                   bool output) {
    std::vector<std::string> lines{kNoWaveDevice};
    if (output && WaveMapperOpens())
        lines.push_back(std::string("MME: ") + platform::kWaveMapperName +
                        RateNote(platform::WaveMapperRate(), true));
    for (const platform::WaveDeviceInfo& device : devices)
        lines.push_back("MME: " + device.name + RateNote(device.rate, output));
    return lines;
}

} // namespace

int RunDevices(std::ostream& out) {
    std::vector<std::string> midiOut = MidiOutDialogList();
    if (!MidiMapperOpens()) Remove(midiOut, platform::kMidiMapperName);
    PrintList(out, "MIDI input", MidiInDialogList());
    PrintList(out, "MIDI output", midiOut);
    PrintList(out, "Wave input", WaveLines(platform::WaveInDevices(), false));
    PrintList(out, "Wave output", WaveLines(platform::WaveOutDevices(), true));
    out.flush();
    return 0;
}

} // namespace zorvil::cli
