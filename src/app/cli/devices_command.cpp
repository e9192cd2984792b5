#include "app/cli/devices_command.h"

#include "engine/wave_device.h"
#include "midi/midi_device.h"

#include <ostream>

namespace zorvil::cli {

namespace {

void PrintList(std::ostream& out, const char* title, const std::vector<std::string>& entries) {
    out << title << ":\n";
    for (const std::string& entry : entries)
        out << "  " << entry << '\n';
}

} // namespace

int RunDevices(std::ostream& out) {
    PrintList(out, "MIDI input", MidiInDialogList());
    PrintList(out, "MIDI output", MidiOutDialogList());
    PrintList(out, "Wave input", WaveInDialogList());
    PrintList(out, "Wave output", WaveOutDialogList());
    out.flush();
    return 0;
}

} // namespace zorvil::cli
