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

} // namespace

int RunDevices(std::ostream& out) {
    std::vector<std::string> midiOut = MidiOutDialogList();
    if (!MidiMapperOpens()) Remove(midiOut, platform::kMidiMapperName);
    std::vector<std::string> waveOut = WaveOutDialogList();
    if (!WaveMapperOpens()) Remove(waveOut, std::string("MME: ") + platform::kWaveMapperName);
    PrintList(out, "MIDI input", MidiInDialogList());
    PrintList(out, "MIDI output", midiOut);
    PrintList(out, "Wave input", WaveInDialogList());
    PrintList(out, "Wave output", waveOut);
    out.flush();
    return 0;
}

} // namespace zorvil::cli
