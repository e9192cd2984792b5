// `zorvil-cli devices`: the four device lists as the device dialogs offer them, each wave device
// with the rate it runs at and whether the program's 44100 Hz is converted for it.
//
//     MIDI input:
//       * No MIDI *
//       JACK MIDI
//     MIDI output:
//       * No MIDI *
//       MIDI Mapper
//       ...
//     Wave input:
//       * No Wave *
//       MME: JACK  [48000 Hz, converted to 44100 Hz]
//     Wave output:
//       * No Wave *
//       MME: Wave Mapper  [48000 Hz, converted from 44100 Hz]
//       MME: JACK  [48000 Hz, converted from 44100 Hz]
//       MME: PulseAudio: Default Device  [44100 Hz]
//
// Every name listed is one `zorvil-cli play` takes: "MIDI Mapper" and "Wave Mapper", which stand
// for the machine's defaults, are listed only when they open (with no sound server and no MIDI
// sequencer they stand for nothing). Virtual devices show only with ZORVIL_VIRTUAL_DEVICES=1.
#pragma once

#include <iosfwd>

namespace zorvil::cli {

// Prints the lists on `out`; returns the exit status (0).
int RunDevices(std::ostream& out);

} // namespace zorvil::cli
